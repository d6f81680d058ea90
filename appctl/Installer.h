// Running the product's installer package through MsiExec.exe, elevated.
#pragma once

#include "../base/Handles.h"
#include "../base/WinTypes.h"

// How an installer run ended, as the driver weighs it.
enum INSTALLER_OUTCOME {
    KV_INSTALLER_DONE,             // exit code 0
    KV_INSTALLER_RESTART_NEEDED,   // 3010
    KV_INSTALLER_RESTART_STARTED,  // 1641: Windows is going down
    KV_INSTALLER_NOT_INSTALLED,    // 1605 for a removal: nothing to remove
    KV_INSTALLER_FAILED,           // any other exit code, or no installer started
    KV_INSTALLER_BUSY,             // another installation stayed in progress past the wait
    KV_INSTALLER_TIMED_OUT,        // still running at the time-out, left running
};

struct INSTALLER_LIMITS {
    DWORD dwBusyWaitMs;   // how long another installation in progress is waited for
    DWORD dwTimeoutMs;    // how long one installer run is waited for
    LPCWSTR szLogFolder;  // folder of the verbose installer log, with its separator; empty: none
};

// Runs MsiExec.exe with "/x" (uninstall) or "/i" (install) and waits for it,
// after waiting for another installation in progress to end and again when
// the installer says one is (1618), within the busy wait. An installer that
// outlives the time-out is left running. Prints one 8-bit line for each
// exit code other than 0.
INSTALLER_OUTCOME RunInstaller(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage,
                               const INSTALLER_LIMITS& limits);

// The argument text of MsiExec.exe, in a block of the process heap: the
// options, the verbose log switch with its file when there is one, the
// switch, then the package, with the tool's folder in front of a name that is
// neither a full path nor the product code, in double quotes when folder or
// package hold a space. FALSE when the block cannot be had.
BOOL BuildInstallerArguments(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage, CHeapBlock& argText,
                             LPCWSTR szLogFile = nullptr);

// TRUE when the options already hold a log switch (/L or -L, any case).
BOOL OptionsHoldLogSwitch(LPCWSTR szOptions);

// The verbose log of one run: szLogFolder, then "Kovalimber_Install_" or
// "Kovalimber_Uninstall_" and the local time as yyyyMMdd_HHmmss, ".log".
BOOL InstallerLogPath(LPCWSTR szLogFolder, BOOL bUninstallPackage, const SYSTEMTIME& now, LPWSTR szPath,
                      size_t cchPath);

// What the runner asks of the system, for tests that cannot make the real
// installer busy or hang: the start of MsiExec.exe with its argument text,
// and whether another installation holds the Windows Installer's mutex.
struct INSTALLER_HOOKS {
    HANDLE (*pfnStartInstaller)(LPCWSTR szArguments);
    BOOL (*pfnIsInstallerBusy)();
};

// Null restores the system's; returns the previous ones.
const INSTALLER_HOOKS* SetInstallerHooks(const INSTALLER_HOOKS* pHooks);

// The system's answer: "Global\_MSIExecute" is held by another process.
BOOL IsInstallerBusy();

// The process handle of the started program, owned by the caller, or null.
HANDLE ShellExecuteElevated(LPCWSTR szFile, LPCWSTR szParameters);
BOOL IsVistaOrLater();
