#include "Installer.h"

#include <shellapi.h>

#include <cwchar>

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

BOOL IsFullPath(LPCWSTR szPackage)
{
    return szPackage[0] == L'\\' || (szPackage[0] != L'\0' && szPackage[1] == L':');
}

// The installer's own verdict. 1641 and 3010 are successes that leave a
// restart to do; the rest of the non-zero codes are failures.
BOOL ReportInstallerExit(DWORD dwExitCode)
{
    switch (dwExitCode) {
        case ERROR_SUCCESS:
            return TRUE;
        case ERROR_SUCCESS_REBOOT_INITIATED:
        case ERROR_SUCCESS_REBOOT_REQUIRED:
            ConsolePrintA("Installer asks for a restart, exit code %lu.\r\n", dwExitCode);
            return TRUE;
        default:
            ConsolePrintA("Error: Installer exit code %lu!\r\n", dwExitCode);
            return FALSE;
    }
}

}  // namespace

BOOL BuildInstallerArguments(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage, CHeapBlock& argText)
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

    size_t cchText = wcslen(szOptions) + wcslen(szFolder) + wcslen(szPackage) + kSpareUnits;
    argText.Reset(HeapAllocZero(cchText * sizeof(WCHAR)));
    if (!argText.IsValid())
        return FALSE;
    LPWSTR szText = static_cast<LPWSTR>(argText.Get());
    if (szOptions[0]) {
        AppendText(szText, cchText, szOptions);
        AppendText(szText, cchText, L" ");
    }
    AppendText(szText, cchText, bUninstallPackage ? L"/x " : L"/i ");
    LPCWSTR szQuote = bQuote ? L"\"" : L"";
    AppendText(szText, cchText, szQuote);
    AppendText(szText, cchText, szFolder);
    AppendText(szText, cchText, szPackage);
    AppendText(szText, cchText, szQuote);
    return TRUE;
}

BOOL RunInstaller(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage)
{
    if (!szPackage) {
        ConsolePrintA("Error: installer_file is absent!\r\n");
        return FALSE;
    }
    CHeapBlock argText;
    if (!BuildInstallerArguments(szPackage, szOptions, bUninstallPackage, argText)) {
        ConsolePrintA("Error: Failed to allocate memory!\r\n");
        return FALSE;
    }

    // From the system folder: the shell's own search would look in the
    // current folder first.
    WCHAR szMsiExec[MAX_PATH] = {};
    if (!GetSystemFilePath(L"MsiExec.exe", szMsiExec, MAX_PATH))
        return FALSE;
    CHandle hProcess(ShellExecuteElevated(szMsiExec, static_cast<LPCWSTR>(argText.Get())));
    if (!hProcess.IsValid())
        return FALSE;
    WaitForSingleObject(hProcess.Get(), INFINITE);
    DWORD dwExitCode = 0;
    if (!GetExitCodeProcess(hProcess.Get(), &dwExitCode))
        return FALSE;
    return ReportInstallerExit(dwExitCode);
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
