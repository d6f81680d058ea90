// A stand-in for MsiExec.exe behind the installer runner's hooks: cmd.exe
// ending with a chosen exit code, or one that reads a line from a pipe only
// the test can close (an installer that does not end), and a mutex probe
// that says busy as often as the test wants. Installed for the life of the
// object; one at a time.
#pragma once

#include <string>
#include <vector>

#include "appctl/Installer.h"

namespace kvtest {

struct FAKE_INSTALLER {
    std::vector<DWORD> exitCodes;  // one per start; the last one repeats
    int nBusyPolls = 0;            // polls that find another installation; -1: every one
    bool bHang = false;
    std::vector<std::wstring> arguments;
    HANDLE hHung = nullptr;       // the test's own handle of the hung process
    HANDLE hHungInput = nullptr;  // closing it ends the hung process
};

class CFakeInstaller {
public:
    CFakeInstaller();
    // Ends a hung stand-in (by closing its input) and restores the hooks.
    ~CFakeInstaller();
    CFakeInstaller(const CFakeInstaller&) = delete;
    CFakeInstaller& operator=(const CFakeInstaller&) = delete;

    static FAKE_INSTALLER& State();

private:
    const INSTALLER_HOOKS* m_pPrevious;
};

}  // namespace kvtest
