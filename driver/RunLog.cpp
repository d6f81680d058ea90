#include "RunLog.h"

#include <cwchar>
#include <string>

#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/Log.h"
#include "../base/Sessions.h"
#include "../base/StartFolder.h"
#include "../base/Text.h"
#include "ExitCode.h"
#include "Version.h"

namespace {

// Where software deployments on Windows keep their logs.
const WCHAR kDefaultLog[] = L"%SystemRoot%\\Logs\\Software\\Kovalimber.log";

WCHAR s_szLogFolder[g_cchWorkPath];

// The default when the setting is empty, %VARIABLES% expanded, a relative
// name beside the tool. FALSE when it does not fit a path.
BOOL ComposeLogPath(LPCWSTR szSetting, LPWSTR szPath)
{
    WCHAR szExpanded[g_cchWorkPath] = {};
    DWORD cch = ExpandEnvironmentStringsW(szSetting[0] ? szSetting : kDefaultLog, szExpanded, g_cchWorkPath);
    if (cch == 0 || cch > g_cchWorkPath)
        return FALSE;
    if (IsFullPath(szExpanded))
        return CopyText(szPath, g_cchWorkPath, szExpanded);
    return FormatText(szPath, g_cchWorkPath, L"%ls%ls", szStartFolder, szExpanded);
}

LPCWSTR AccountKind()
{
    if (RunsAsSystem())
        return L"SYSTEM";
    return RunsElevated() ? L"elevated" : L"not elevated";
}

std::wstring Header(LPCWSTR szProject)
{
    WCHAR szUser[257] = {};
    DWORD cchUser = 257;
    if (!GetUserNameW(szUser, &cchUser))
        szUser[0] = L'\0';
    WCHAR szComputer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD cchComputer = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(szComputer, &cchComputer))
        szComputer[0] = L'\0';
    DWORD dwSession = 0;
    WCHAR szSession[16] = L"unknown";
    if (GetProcessSession(GetCurrentProcessId(), &dwSession))
        FormatText(szSession, 16, L"%lu", dwSession);
    return std::wstring(L"Kovalimber " KV_VERSION_TEXT " started. Command line: ") + GetCommandLineW() +
           L". Project: " + (szProject ? szProject : L"none") + L". User: " + szUser + L" (" + AccountKind() +
           L"). Computer: " + szComputer + L". Session: " + szSession + L".";
}

}  // namespace

void StartRunLog(LPCWSTR szProject, LPCWSTR szLogSetting)
{
    s_szLogFolder[0] = L'\0';
    if (_wcsicmp(szLogSetting, L"no") == 0) {
        LogOff();
        return;
    }
    WCHAR szPath[g_cchWorkPath] = {};
    if (!ComposeLogPath(szLogSetting, szPath)) {
        LogOff();
        ConsolePrintW(L"Warning: the log file %ls does not fit a path; the deployment goes on without a log.\r\n",
                      szLogSetting);
        return;
    }
    if (!LogOpen(szPath, Header(szProject).c_str())) {
        DWORD dwError = GetLastError();
        ConsolePrintW(L"Warning: cannot write the log file %ls (error %lu); the deployment goes on without a log.\r\n",
                      szPath, dwError);
        return;
    }
    CopyFolderPart(s_szLogFolder, g_cchWorkPath, szPath);
}

LPCWSTR RunLogFolder()
{
    return s_szLogFolder;
}

int EndRunLog(int nExitCode)
{
    int nType = KV_LOG_ERROR;
    if (nExitCode == KV_EXIT_DONE || nExitCode == KV_EXIT_UNINSTALL_ONLY)
        nType = KV_LOG_INFO;
    else if (nExitCode == KV_EXIT_RESTART_NEEDED || nExitCode == KV_EXIT_RESTART_STARTED)
        nType = KV_LOG_WARNING;
    WCHAR szClosing[256];
    FormatText(szClosing, 256, L"Kovalimber ended with exit code %d: %ls.", nExitCode, ExitCodeMeaning(nExitCode));
    LogEntry(szClosing, nType);
    LogClose();
    s_szLogFolder[0] = L'\0';
    return nExitCode;
}
