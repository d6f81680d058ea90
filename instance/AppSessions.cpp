// The process-wide registry's records of the user running this process.
#include "../appctl/Product.h"
#include "InstanceMngr.h"

namespace {

const int kClassUnits = 128;

HWND FindInstanceMainWindow(int nInstance)
{
    WCHAR szClass[kClassUnits];
    if (!GetAppMainWndClass(nInstance, szClass, kClassUnits))
        return nullptr;
    return FindApplicationWindow(szClass);
}

}  // namespace

HWND FindApplicationWindow(LPCWSTR szClass)
{
    for (HWND hWnd = FindWindowExW(nullptr, nullptr, szClass, nullptr); hWnd;
         hWnd = FindWindowExW(nullptr, hWnd, szClass, nullptr)) {
        if (IsApplicationWindow(hWnd))
            return hWnd;
    }
    return nullptr;
}

// A recorded window that is gone, or that belongs to another program (any
// user may write the table), says nothing about the instances still running:
// the class search looks for them instead.
HWND FindAppMainWindow(int iIndex)
{
    HWND hWnd = g_InstanceMngr.GetCurrentMainWnd();
    if (hWnd && IsApplicationWindow(hWnd))
        return hWnd;
    if (iIndex != -1)
        return FindInstanceMainWindow(iIndex);
    for (int n = 0; n <= g_nAppMaxInstanceNumber; ++n) {
        hWnd = FindInstanceMainWindow(n);
        if (hWnd)
            return hWnd;
    }
    return nullptr;
}

int GetAppSessionCount()
{
    return g_InstanceMngr.GetSessionCount();
}

BOOL RegisterAppMainWnd(HWND hWnd)
{
    return g_InstanceMngr.RegisterMainWnd(hWnd, nullptr);
}

BOOL RemoveAppSession()
{
    return g_InstanceMngr.RemoveSession(nullptr);
}

BOOL RegisterAppDlgWnd(HWND hWnd)
{
    return g_InstanceMngr.RegisterDlgWnd(hWnd, nullptr);
}

HWND FindAppDlgWnd()
{
    return g_InstanceMngr.FindDlgWnd(nullptr);
}

void CloseAppSessions()
{
    g_InstanceMngr.CloseAllSessions();
}
