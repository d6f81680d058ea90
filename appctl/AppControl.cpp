#include "AppControl.h"

#include <cwchar>

// Toolhelp's process snapshot; it needs <windows.h> first.
#include <tlhelp32.h>

#include "../base/Clock.h"
#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/Sessions.h"
#include "../base/Text.h"
#include "../instance/InstanceMngr.h"
#include "InstallDir.h"
#include "Product.h"
#include "ShellLaunch.h"

namespace {

const int kCloseAttempts = 10;
const int kExitChecks = 20;
const DWORD kPauseMs = 1000;
// More sessions than a machine serves at once run the application only where
// something is wrong; the rest keep the step failing through the process check.
const int kMaxSessionClosers = 16;
const size_t kCommandLineUnits = g_cchWorkPath + 64;

// The pause after a request ends as soon as the process has ended: an
// instance that closes at once costs no second.
void PauseForProcess(DWORD dwProcessId)
{
    CHandle hProcess;
    if (dwProcessId != 0)
        hProcess.Reset(OpenProcess(SYNCHRONIZE, FALSE, dwProcessId));
    if (hProcess.IsValid())
        ClockWaitForObject(hProcess.Get(), kPauseMs);
    else
        ClockSleep(kPauseMs);
}

void PauseForWindowProcess(HWND hWnd)
{
    DWORD dwProcessId = 0;
    if (!GetWindowThreadProcessId(hWnd, &dwProcessId))
        dwProcessId = 0;
    PauseForProcess(dwProcessId);
}

// Calls fnVisit(process id, session) for each running process of the
// application, by its image name, in every session (g_dwNoSession when its
// session cannot be had); fnVisit returns FALSE to stop. FALSE when the processes cannot be listed.
template <class F>
BOOL ForEachApplicationProcess(F fnVisit)
{
    CFileHandle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!hSnapshot.IsValid())
        return FALSE;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Process32FirstW(hSnapshot.Get(), &entry); bMore;
         bMore = Process32NextW(hSnapshot.Get(), &entry)) {
        if (!IsApplicationFileName(entry.szExeFile))
            continue;
        DWORD dwSession = 0;
        if (!GetProcessSession(entry.th32ProcessID, &dwSession))
            dwSession = g_dwNoSession;
        if (!fnVisit(entry.th32ProcessID, dwSession))
            break;
    }
    return TRUE;
}

// A process of the application that is still there, in this session or in
// any. One that cannot be listed counts as there (id 0): files in use would
// be replaced otherwise.
BOOL FindApplicationProcess(BOOL bAllSessions, DWORD* pdwProcessId)
{
    const DWORD dwOwnSession = GetOwnSession();
    BOOL bFound = FALSE;
    *pdwProcessId = 0;
    BOOL bListed = ForEachApplicationProcess([&](DWORD dwProcessId, DWORD dwSession) -> BOOL {
        if (!bAllSessions && dwSession != dwOwnSession)
            return TRUE;
        bFound = TRUE;
        *pdwProcessId = dwProcessId;
        return FALSE;
    });
    return bFound || !bListed;
}

// The sessions other than this one in which the application runs.
int ListOtherSessions(DWORD* pdwSessions, int nMax)
{
    const DWORD dwOwnSession = GetOwnSession();
    int nSessions = 0;
    ForEachApplicationProcess([&](DWORD, DWORD dwSession) -> BOOL {
        if (dwSession == dwOwnSession || dwSession == g_dwNoSession)
            return TRUE;
        for (int i = 0; i < nSessions; ++i) {
            if (pdwSessions[i] == dwSession)
                return TRUE;
        }
        pdwSessions[nSessions++] = dwSession;
        return nSessions < nMax;
    });
    return nSessions;
}

// Only a program of that session sees its desktop and its table: the tool's
// own executable, started there as the session's user in close-only mode.
BOOL StartSessionCloser(DWORD dwSession, LPCWSTR szSelf, CHandle& hCloser)
{
    CHandle hToken;
    WCHAR szCmdLine[kCommandLineUnits] = {};
    if (!QuerySessionUserToken(dwSession, hToken) ||
        !FormatText(szCmdLine, kCommandLineUnits, L"\"%ls\" %ls", szSelf, g_szCloseOnlyArgument))
        return FALSE;
    PROCESS_INFORMATION pi = {};
    // The tool's manifest asks for elevation, which the user's token has not.
    if (!StartProcessAsUser(hToken.Get(), szSelf, szCmdLine, CREATE_NO_WINDOW, TRUE, &pi))
        return FALSE;
    CloseHandle(pi.hThread);
    hCloser.Reset(pi.hProcess);
    return TRUE;
}

// A session whose closer cannot be started keeps its instances; the process
// check then fails the step.
int StartSessionClosers(CHandle* pClosers, int nMax)
{
    DWORD adwSessions[kMaxSessionClosers] = {};
    int nSessions = ListOtherSessions(adwSessions, nMax < kMaxSessionClosers ? nMax : kMaxSessionClosers);
    if (nSessions == 0)
        return 0;
    WCHAR szSelf[MAX_PATH] = {};
    DWORD cchSelf = GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    if (cchSelf == 0 || cchSelf >= MAX_PATH)
        szSelf[0] = L'\0';
    int nStarted = 0;
    for (int i = 0; i < nSessions; ++i) {
        if (szSelf[0] && StartSessionCloser(adwSessions[i], szSelf, pClosers[nStarted]))
            ++nStarted;
        else
            ConsolePrintW(L"Error: the application in session %lu cannot be asked to close.\r\n",
                          static_cast<unsigned long>(adwSessions[i]));
    }
    return nStarted;
}

// Once the instances are gone their closers end at their next check: each
// gets at most one pause more.
void AwaitClosers(CHandle* pClosers, int nClosers)
{
    for (int i = 0; i < nClosers; ++i)
        ClockWaitForObject(pClosers[i].Get(), kPauseMs);
}

// Asks through the table, looks for a window of the application here and
// for its processes (in this session or in all), and pauses for the
// instance's process; TRUE as soon as none is left. A process can outlive
// its window, or have none that this desktop sees.
BOOL WaitForInstances(BOOL bAllSessions)
{
    for (int nWaits = 0; nWaits < kExitChecks; ++nWaits) {
        g_InstanceMngr.CloseAllSessions();
        HWND hWnd = FindAppMainWindow(-1);
        DWORD dwProcessId = 0;
        if (hWnd)
            PauseForWindowProcess(hWnd);
        else if (FindApplicationProcess(bAllSessions, &dwProcessId))
            PauseForProcess(dwProcessId);
        else
            return TRUE;
    }
    return FALSE;
}

// An empty command line's program name is the application's full path, quoted.
BOOL StartAsTokenUser(HANDLE hToken, LPCWSTR szApp)
{
    WCHAR szCmdLine[kCommandLineUnits] = {};
    if (!FormatText(szCmdLine, kCommandLineUnits, L"\"%ls\"", szApp))
        return FALSE;
    PROCESS_INFORMATION pi = {};
    if (!StartProcessAsUser(hToken, szApp, szCmdLine, 0, FALSE, &pi))
        return FALSE;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return TRUE;
}

// As SYSTEM the application belongs on the console user's desktop, as that
// user; started in session 0 nobody would see it.
BOOL StartForConsoleUser(LPCWSTR szApp)
{
    CHandle hToken;
    if (!QueryConsoleUserToken(hToken)) {
        ConsolePrintW(L"Error: no user is logged on at the console to start the application for.\r\n");
        return FALSE;
    }
    return StartAsTokenUser(hToken.Get(), szApp);
}

}  // namespace

void CloseApplication(LPCWSTR szClass)
{
    // Looked up afresh before every request: when one instance has gone,
    // the next one with that class is asked too. Only the application's own
    // windows are asked; another program's window of the class is passed.
    for (int nPosted = 0; nPosted < kCloseAttempts; ++nPosted) {
        HWND hWnd = FindApplicationWindow(szClass);
        if (!hWnd)
            return;
        PostMessageW(hWnd, WM_CLOSE, g_nAppCloseParam, g_nAppCloseParam);
        PauseForWindowProcess(hWnd);
    }
}

// A forged record in the table, or a foreign window of the class, is no
// instance: only the application's own windows and processes keep the tool
// waiting.
BOOL WaitApplicationExit()
{
    return WaitForInstances(FALSE);
}

// The other sessions' closers run while this session's instances are asked.
BOOL StopApplication()
{
    CHandle ahClosers[kMaxSessionClosers];
    int nClosers = StartSessionClosers(ahClosers, kMaxSessionClosers);
    CloseApplication(g_szAppMainWndClass);
    BOOL bStopped = WaitForInstances(TRUE);
    AwaitClosers(ahClosers, nClosers);
    return bStopped;
}

BOOL IsCloseOnlyArgument(LPCWSTR szArgument)
{
    return szArgument && wcscmp(szArgument, g_szCloseOnlyArgument) == 0;
}

int RunCloseOnlyMode()
{
    CloseApplication(g_szAppMainWndClass);
    return WaitApplicationExit() ? KV_CLOSE_ONLY_CLOSED : KV_CLOSE_ONLY_LEFT;
}

// Run elevated by an administrator, the application gets the desktop shell's
// unelevated token, as if the user had started it.
BOOL StartApplication()
{
    WCHAR szApp[g_cchWorkPath] = {};
    if (!ComposeProgramPath(g_szAppBaseName, szApp, MAX_PATH))
        return FALSE;
    if (RunsAsSystem())
        return StartForConsoleUser(szApp);
    CHandle hShellToken;
    if (RunsElevated() && QueryShellToken(hShellToken))
        return StartAsTokenUser(hShellToken.Get(), szApp);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = szApp;
    info.nShow = SW_SHOWNORMAL;
    return ShellLaunch(&info);
}
