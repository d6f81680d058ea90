#include "FakeInstaller.h"

#include <algorithm>

namespace kvtest {

namespace {

HANDLE StartFakeInstaller(LPCWSTR szArguments)
{
    CFakeInstaller::State().arguments.push_back(szArguments);
    size_t iStart = CFakeInstaller::State().arguments.size() - 1;
    DWORD dwExitCode =
        CFakeInstaller::State().exitCodes.empty()
            ? 0
            : CFakeInstaller::State().exitCodes[std::min(iStart, CFakeInstaller::State().exitCodes.size() - 1)];
    WCHAR szCmd[MAX_PATH] = {};
    GetSystemDirectoryW(szCmd, MAX_PATH);
    std::wstring program = std::wstring(szCmd) + L"\\cmd.exe";
    // The hung one reads a line from a pipe that only the test can close.
    std::wstring commandLine =
        CFakeInstaller::State().bHang ? L"cmd.exe /c set /p x=" : L"cmd.exe /c exit " + std::to_wstring(dwExitCode);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    HANDLE hRead = nullptr;
    if (CFakeInstaller::State().bHang) {
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        if (!CreatePipe(&hRead, &CFakeInstaller::State().hHungInput, &sa, 0))
            return nullptr;
        SetHandleInformation(CFakeInstaller::State().hHungInput, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = hRead;
    }
    PROCESS_INFORMATION pi = {};
    BOOL bStarted = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, CFakeInstaller::State().bHang,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    if (hRead)
        CloseHandle(hRead);
    if (!bStarted)
        return nullptr;
    CloseHandle(pi.hThread);
    // Ended before the runner looks: its wait then takes no time on the
    // fake clock, however slowly the real process starts.
    if (!CFakeInstaller::State().bHang)
        WaitForSingleObject(pi.hProcess, INFINITE);
    else
        DuplicateHandle(GetCurrentProcess(), pi.hProcess, GetCurrentProcess(), &CFakeInstaller::State().hHung, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    return pi.hProcess;
}

BOOL FakeInstallerBusy()
{
    if (CFakeInstaller::State().nBusyPolls < 0)
        return TRUE;
    if (CFakeInstaller::State().nBusyPolls == 0)
        return FALSE;
    --CFakeInstaller::State().nBusyPolls;
    return TRUE;
}

}  // namespace

FAKE_INSTALLER& CFakeInstaller::State()
{
    static FAKE_INSTALLER s_State;
    return s_State;
}

CFakeInstaller::CFakeInstaller()
{
    State() = FAKE_INSTALLER();
    static const INSTALLER_HOOKS s_Hooks = {StartFakeInstaller, FakeInstallerBusy};
    m_pPrevious = SetInstallerHooks(&s_Hooks);
}

CFakeInstaller::~CFakeInstaller()
{
    SetInstallerHooks(m_pPrevious);
    FAKE_INSTALLER& fake = State();
    if (fake.hHungInput)
        CloseHandle(fake.hHungInput);
    if (fake.hHung) {
        if (WaitForSingleObject(fake.hHung, 10000) != WAIT_OBJECT_0)
            TerminateProcess(fake.hHung, 1);
        CloseHandle(fake.hHung);
    }
    State() = FAKE_INSTALLER();
}

}  // namespace kvtest
