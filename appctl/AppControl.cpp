#include "AppControl.h"

#include "../base/Clock.h"
#include "../base/Text.h"
#include "../instance/InstanceMngr.h"
#include "InstallDir.h"
#include "Product.h"
#include "ShellLaunch.h"

namespace {

const int kCloseAttempts = 10;
const int kExitChecks = 20;
const DWORD kPauseMs = 1000;

// A handle from the table counts only while it names a window of the
// application: the table is open to every user, and a forged record must
// not keep the tool waiting on some other program.
BOOL IsApplicationGone()
{
    HWND hWnd = FindAppMainWindow(-1);
    if (!hWnd || !IsWindow(hWnd))
        return TRUE;
    return hWnd == g_InstanceMngr.GetCurrentMainWnd() && !IsApplicationWindow(hWnd);
}

}  // namespace

void CloseApplication(LPCWSTR szClass)
{
    // Looked up afresh before every request: when one instance has gone,
    // the next one with that class is asked too.
    for (int nPosted = 0; nPosted < kCloseAttempts; ++nPosted) {
        HWND hWnd = FindWindowW(szClass, nullptr);
        if (!hWnd)
            return;
        PostMessageW(hWnd, WM_CLOSE, g_nAppCloseParam, g_nAppCloseParam);
        ClockSleep(kPauseMs);
    }
}

BOOL WaitApplicationExit()
{
    for (int nWaits = 0; nWaits < kExitChecks; ++nWaits) {
        g_InstanceMngr.CloseAllSessions();
        if (IsApplicationGone())
            return TRUE;
        ClockSleep(kPauseMs);
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
