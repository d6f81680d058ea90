#include "AppControl.h"

#include "../base/Clock.h"
#include "../base/Handles.h"
#include "../base/Text.h"
#include "../instance/InstanceMngr.h"
#include "InstallDir.h"
#include "Product.h"
#include "ShellLaunch.h"

namespace {

const int kCloseAttempts = 10;
const int kExitChecks = 20;
const DWORD kPauseMs = 1000;

// The pause after a request ends as soon as the window's process has ended:
// an instance that closes at once costs no second.
void PauseForWindowProcess(HWND hWnd)
{
    DWORD dwProcessId = 0;
    CHandle hProcess;
    if (GetWindowThreadProcessId(hWnd, &dwProcessId) && dwProcessId != 0)
        hProcess.Reset(OpenProcess(SYNCHRONIZE, FALSE, dwProcessId));
    if (hProcess.IsValid())
        ClockWaitForObject(hProcess.Get(), kPauseMs);
    else
        ClockSleep(kPauseMs);
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
// instance: only the application's own windows keep the tool waiting.
BOOL WaitApplicationExit()
{
    for (int nWaits = 0; nWaits < kExitChecks; ++nWaits) {
        g_InstanceMngr.CloseAllSessions();
        HWND hWnd = FindAppMainWindow(-1);
        if (!hWnd)
            return TRUE;
        PauseForWindowProcess(hWnd);
    }
    return FALSE;
}

BOOL StopApplication()
{
    CloseApplication(g_szAppMainWndClass);
    return WaitApplicationExit();
}

BOOL StartApplication()
{
    WCHAR szApp[g_cchWorkPath] = {};
    if (!ComposeProgramPath(g_szAppBaseName, szApp, MAX_PATH))
        return FALSE;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = szApp;
    info.nShow = SW_SHOWNORMAL;
    return ShellLaunch(&info);
}
