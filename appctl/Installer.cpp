#include "Installer.h"

#include <shellapi.h>

#include <cwchar>

#include "../base/Clock.h"
#include "../base/Console.h"
#include "../base/StartFolder.h"
#include "../base/SystemPaths.h"
#include "../base/Text.h"
#include "../base/WinVersion.h"
#include "Product.h"
#include "ShellLaunch.h"

namespace {

// Room for the blank after the options, the switch and its blank, two
// quotes and the terminator.
const size_t kSpareUnits = 32;

const WCHAR kLogSwitch[] = L"/L*V \"";
// The Windows Installer holds it while an installation runs.
const WCHAR kInstallerMutex[] = L"Global\\_MSIExecute";
const DWORD kBusyPollMs = 1000;
const DWORD kExitPollMs = 250;
// Between a run that found another installation in progress and the next.
const DWORD kRetryPauseMs = 5000;

HANDLE StartMsiExec(LPCWSTR szArguments)
{
    // From the system folder: the shell's own search would look in the
    // current folder first.
    WCHAR szMsiExec[MAX_PATH] = {};
    if (!GetSystemFilePath(L"MsiExec.exe", szMsiExec, MAX_PATH))
        return nullptr;
    return ShellExecuteElevated(szMsiExec, szArguments);
}

const INSTALLER_HOOKS s_SystemHooks = {StartMsiExec, IsInstallerBusy};
const INSTALLER_HOOKS* s_pHooks = &s_SystemHooks;

DWORD Seconds(DWORD dwMilliseconds)
{
    return dwMilliseconds / 1000;
}

DWORD Remaining(DWORD dwStart, DWORD dwLimit)
{
    DWORD dwElapsed = ClockTickCount() - dwStart;
    return dwElapsed >= dwLimit ? 0 : dwLimit - dwElapsed;
}

// FALSE when another installation still holds the installer at the bound.
BOOL WaitWhileBusy(DWORD dwStart, DWORD dwLimit, BOOL& bSaid)
{
    while (s_pHooks->pfnIsInstallerBusy()) {
        DWORD dwLeft = Remaining(dwStart, dwLimit);
        if (dwLeft == 0)
            return FALSE;
        if (!bSaid) {
            ConsolePrintA("Another installation is in progress: waiting up to %lu seconds for it to end...\r\n",
                          Seconds(dwLimit));
            bSaid = TRUE;
        }
        ClockSleep(dwLeft < kBusyPollMs ? dwLeft : kBusyPollMs);
    }
    return TRUE;
}

// Polls instead of blocking, so that the time-out runs on the tool's clock.
// FALSE when the wait itself failed or the installer is still running at
// the time-out (bTimedOut).
BOOL WaitForInstaller(HANDLE hProcess, DWORD dwTimeout, BOOL& bTimedOut)
{
    DWORD dwStart = ClockTickCount();
    for (;;) {
        DWORD dwWait = WaitForSingleObject(hProcess, 0);
        if (dwWait == WAIT_OBJECT_0)
            return TRUE;
        if (dwWait != WAIT_TIMEOUT)
            return FALSE;
        DWORD dwLeft = Remaining(dwStart, dwTimeout);
        if (dwLeft == 0) {
            bTimedOut = TRUE;
            return FALSE;
        }
        ClockSleep(dwLeft < kExitPollMs ? dwLeft : kExitPollMs);
    }
}

// One start of the installer and the wait for its end. The process is
// never ended by the tool: an installer killed midway leaves a machine
// half-installed, worse than one that is still working.
BOOL RunInstallerOnce(LPCWSTR szArguments, DWORD dwTimeout, DWORD& dwExitCode, BOOL& bTimedOut)
{
    CHandle hProcess(s_pHooks->pfnStartInstaller(szArguments));
    if (!hProcess.IsValid())
        return FALSE;
    return WaitForInstaller(hProcess.Get(), dwTimeout, bTimedOut) && GetExitCodeProcess(hProcess.Get(), &dwExitCode);
}

// The installer's own verdict. 1641 and 3010 are successes that leave a
// restart to do; 1605 for a removal means there is nothing to remove; the
// rest of the non-zero codes are failures.
INSTALLER_OUTCOME ReportInstallerExit(DWORD dwExitCode, BOOL bUninstallPackage)
{
    switch (dwExitCode) {
        case ERROR_SUCCESS:
            return KV_INSTALLER_DONE;
        case ERROR_SUCCESS_REBOOT_INITIATED:
        case ERROR_SUCCESS_REBOOT_REQUIRED:
            ConsolePrintA("Installer asks for a restart, exit code %lu.\r\n", dwExitCode);
            return dwExitCode == ERROR_SUCCESS_REBOOT_INITIATED ? KV_INSTALLER_RESTART_STARTED
                                                                : KV_INSTALLER_RESTART_NEEDED;
        case ERROR_UNKNOWN_PRODUCT:
            if (bUninstallPackage) {
                ConsolePrintA("The product is not installed (installer exit code %lu).\r\n", dwExitCode);
                return KV_INSTALLER_NOT_INSTALLED;
            }
            break;
        default:
            break;
    }
    ConsolePrintA("Error: Installer exit code %lu!\r\n", dwExitCode);
    return KV_INSTALLER_FAILED;
}

INSTALLER_OUTCOME ReportBusy(DWORD dwBusyWaitMs)
{
    ConsolePrintA("Error: another installation is still in progress after %lu seconds, installer exit code %lu!\r\n",
                  Seconds(dwBusyWaitMs), static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING));
    return KV_INSTALLER_BUSY;
}

// Waits for the installer to be free and runs it, again after each 1618,
// all within the busy wait.
INSTALLER_OUTCOME RunWhenFree(LPCWSTR szArguments, BOOL bUninstallPackage, const INSTALLER_LIMITS& limits, BOOL& bRan)
{
    DWORD dwStart = ClockTickCount();
    BOOL bSaidBusy = FALSE;
    for (;;) {
        if (!WaitWhileBusy(dwStart, limits.dwBusyWaitMs, bSaidBusy))
            return ReportBusy(limits.dwBusyWaitMs);
        DWORD dwExitCode = 0;
        BOOL bTimedOut = FALSE;
        if (!RunInstallerOnce(szArguments, limits.dwTimeoutMs, dwExitCode, bTimedOut)) {
            if (!bTimedOut)
                return KV_INSTALLER_FAILED;
            bRan = TRUE;
            ConsolePrintA("Error: the installer has not ended within %lu seconds and is left running!\r\n",
                          Seconds(limits.dwTimeoutMs));
            return KV_INSTALLER_TIMED_OUT;
        }
        bRan = TRUE;
        if (dwExitCode != ERROR_INSTALL_ALREADY_RUNNING)
            return ReportInstallerExit(dwExitCode, bUninstallPackage);
        DWORD dwLeft = Remaining(dwStart, limits.dwBusyWaitMs);
        if (dwLeft == 0)
            return ReportBusy(limits.dwBusyWaitMs);
        ConsolePrintA("Installer exit code %lu: another installation is in progress, trying again...\r\n", dwExitCode);
        ClockSleep(dwLeft < kRetryPauseMs ? dwLeft : kRetryPauseMs);
    }
}

}  // namespace

BOOL BuildInstallerArguments(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage, CHeapBlock& argText,
                             LPCWSTR szLogFile)
{
    BOOL bFullPath = IsFullPath(szPackage) || wcscmp(szPackage, g_szDefaultProductCode) == 0;
    BOOL bQuote = wcschr(szPackage, L' ') != nullptr;
    LPCWSTR szFolder = L"";
    if (!bFullPath) {
        szFolder = szStartFolder;
        bQuote = bQuote || wcschr(szFolder, L' ') != nullptr;
    }
    if (!szOptions)
        szOptions = L"";
    if (!szLogFile)
        szLogFile = L"";

    size_t cchText = wcslen(szOptions) + wcslen(szFolder) + wcslen(szPackage) + kSpareUnits;
    if (szLogFile[0])
        cchText += wcslen(kLogSwitch) + wcslen(szLogFile) + 2;
    argText.Reset(HeapAllocZero(cchText * sizeof(WCHAR)));
    if (!argText.IsValid())
        return FALSE;
    LPWSTR szText = static_cast<LPWSTR>(argText.Get());
    if (szOptions[0]) {
        AppendText(szText, cchText, szOptions);
        AppendText(szText, cchText, L" ");
    }
    if (szLogFile[0]) {
        AppendText(szText, cchText, kLogSwitch);
        AppendText(szText, cchText, szLogFile);
        AppendText(szText, cchText, L"\" ");
    }
    AppendText(szText, cchText, bUninstallPackage ? L"/x " : L"/i ");
    LPCWSTR szQuote = bQuote ? L"\"" : L"";
    AppendText(szText, cchText, szQuote);
    AppendText(szText, cchText, szFolder);
    AppendText(szText, cchText, szPackage);
    AppendText(szText, cchText, szQuote);
    return TRUE;
}

BOOL OptionsHoldLogSwitch(LPCWSTR szOptions)
{
    if (!szOptions)
        return FALSE;
    for (LPCWSTR p = szOptions; *p; ++p) {
        BOOL bWordStart = p == szOptions || p[-1] == L' ' || p[-1] == L'\t';
        if (bWordStart && (p[0] == L'/' || p[0] == L'-') && (p[1] == L'l' || p[1] == L'L'))
            return TRUE;
    }
    return FALSE;
}

BOOL InstallerLogPath(LPCWSTR szLogFolder, BOOL bUninstallPackage, const SYSTEMTIME& now, LPWSTR szPath, size_t cchPath)
{
    return FormatText(szPath, cchPath, L"%lsKovalimber_%ls_%04u%02u%02u_%02u%02u%02u.log", szLogFolder,
                      bUninstallPackage ? L"Uninstall" : L"Install", now.wYear, now.wMonth, now.wDay, now.wHour,
                      now.wMinute, now.wSecond);
}

INSTALLER_OUTCOME RunInstaller(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage,
                               const INSTALLER_LIMITS& limits)
{
    if (!szPackage) {
        ConsolePrintA("Error: installer_file is absent!\r\n");
        return KV_INSTALLER_FAILED;
    }
    WCHAR szLogFile[g_cchWorkPath] = {};
    if (limits.szLogFolder && limits.szLogFolder[0] && !OptionsHoldLogSwitch(szOptions)) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        if (!InstallerLogPath(limits.szLogFolder, bUninstallPackage, now, szLogFile, g_cchWorkPath))
            szLogFile[0] = L'\0';
    }
    CHeapBlock argText;
    if (!BuildInstallerArguments(szPackage, szOptions, bUninstallPackage, argText, szLogFile)) {
        ConsolePrintA("Error: Failed to allocate memory!\r\n");
        return KV_INSTALLER_FAILED;
    }

    BOOL bRan = FALSE;
    INSTALLER_OUTCOME outcome = RunWhenFree(static_cast<LPCWSTR>(argText.Get()), bUninstallPackage, limits, bRan);
    BOOL bFailed = outcome == KV_INSTALLER_FAILED || outcome == KV_INSTALLER_BUSY || outcome == KV_INSTALLER_TIMED_OUT;
    if (bFailed && bRan && szLogFile[0])
        ConsolePrintW(L"Installer log: %ls\r\n", szLogFile);
    return outcome;
}

const INSTALLER_HOOKS* SetInstallerHooks(const INSTALLER_HOOKS* pHooks)
{
    const INSTALLER_HOOKS* pPrevious = s_pHooks;
    s_pHooks = pHooks ? pHooks : &s_SystemHooks;
    return pPrevious;
}

// A mutex this process can take is free: taken and given back at once.
// One that cannot be opened is no proof of a busy installer; MsiExec.exe's
// own 1618 still tells.
BOOL IsInstallerBusy()
{
    CHandle hMutex(OpenMutexW(SYNCHRONIZE, FALSE, kInstallerMutex));
    if (!hMutex.IsValid())
        return FALSE;
    DWORD dwWait = WaitForSingleObject(hMutex.Get(), 0);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED) {
        ReleaseMutex(hMutex.Get());
        return FALSE;
    }
    return dwWait == WAIT_TIMEOUT;
}

HANDLE ShellExecuteElevated(LPCWSTR szFile, LPCWSTR szParameters)
{
    SHELLEXECUTEINFOW shex = {};
    shex.cbSize = sizeof(shex);
    shex.fMask = SEE_MASK_NOCLOSEPROCESS;
    shex.hwnd = nullptr;
    shex.lpVerb = IsVistaOrLater() ? L"runas" : nullptr;
    shex.lpFile = szFile;
    shex.lpParameters = szParameters;
    shex.lpDirectory = nullptr;
    shex.nShow = SW_SHOWNORMAL;
    if (!ShellLaunch(&shex))
        return nullptr;
    return shex.hProcess;
}

BOOL IsVistaOrLater()
{
    OSVERSIONINFOW osver;
    return GetBasicVersionInfo(&osver) && osver.dwPlatformId == VER_PLATFORM_WIN32_NT && osver.dwMajorVersion >= 6;
}
