// Stand-in for the product's desktop application. It does what the tool
// relies on and nothing more: a main window of the product's class (numbered
// for further instances), a dialog window, both recorded in the shared
// session table, closing on the tool's close message, its dialog giving way
// to a cancel command.
//
// Tests can make it stubborn without rebuilding it:
//   /closeafter:N   close on the N-th close message only (default 1)
//   /ignoreclose    never close on the close message
//   /linger:MS      stay a process MS milliseconds after the windows are gone
//   /nowindow       make no window at all; stay the linger time, else until ended
// Any other WM_CLOSE closes it. Its exit code is the number of close
// messages it received.
#include <cwchar>
#include <cwctype>

#include "appctl/Product.h"
#include "instance/InstanceMngr.h"
#include "resource.h"

namespace {

const int kClassUnits = 128;

struct APP_STATE {
    int nCloseAfter = 1;  // 0: never
    int nCloseRequests = 0;
    DWORD dwLingerMs = 0;
    BOOL bNoWindow = FALSE;
    HWND hWndMain = nullptr;
    HWND hWndDlg = nullptr;
};

APP_STATE g_State;

BOOL StartsWith(LPCWSTR szText, LPCWSTR szPrefix)
{
    return _wcsnicmp(szText, szPrefix, wcslen(szPrefix)) == 0;
}

void ReadSwitches()
{
    int nArgs = 0;
    LPWSTR* pArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (!pArgs)
        return;
    for (int i = 1; i < nArgs; ++i) {
        if (StartsWith(pArgs[i], L"/closeafter:"))
            g_State.nCloseAfter = _wtoi(pArgs[i] + wcslen(L"/closeafter:"));
        else if (_wcsicmp(pArgs[i], L"/ignoreclose") == 0)
            g_State.nCloseAfter = 0;
        else if (StartsWith(pArgs[i], L"/linger:"))
            g_State.dwLingerMs = static_cast<DWORD>(_wtoi(pArgs[i] + wcslen(L"/linger:")));
        else if (_wcsicmp(pArgs[i], L"/nowindow") == 0)
            g_State.bNoWindow = TRUE;
    }
    LocalFree(pArgs);
}

BOOL IsCloseRequest(WPARAM wParam, LPARAM lParam)
{
    return wParam == static_cast<WPARAM>(g_nAppCloseParam) && lParam == static_cast<LPARAM>(g_nAppCloseParam);
}

// Only this instance's own record goes: a later instance of the same user
// may have taken the record over.
void ForgetSession()
{
    if (g_InstanceMngr.FindMainWnd(nullptr) == g_State.hWndMain)
        RemoveAppSession();
}

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
        case WM_CLOSE:
            if (IsCloseRequest(wParam, lParam)) {
                ++g_State.nCloseRequests;
                if (g_State.nCloseAfter == 0 || g_State.nCloseRequests < g_State.nCloseAfter)
                    return 0;
            }
            DestroyWindow(hWnd);
            return 0;
        case WM_DESTROY:
            ForgetSession();
            PostQuitMessage(g_State.nCloseRequests);
            return 0;
        default:
            return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
}

INT_PTR CALLBACK SessionDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                if (FindAppDlgWnd() == hDlg)
                    RegisterAppDlgWnd(nullptr);
                g_State.hWndDlg = nullptr;
                DestroyWindow(hDlg);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

// The first instance number whose class has no window yet.
int ChooseInstanceNumber(LPWSTR szClass)
{
    for (int n = 0; n <= g_nAppMaxInstanceNumber; ++n) {
        if (GetAppMainWndClass(n, szClass, kClassUnits) && !FindWindowW(szClass, nullptr))
            return n;
    }
    return -1;
}

BOOL CreateWindows(HINSTANCE hInstance, int nShowCmd)
{
    WCHAR szClass[kClassUnits];
    if (ChooseInstanceNumber(szClass) < 0)
        return FALSE;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = szClass;
    if (!RegisterClassW(&wc))
        return FALSE;
    g_State.hWndMain = CreateWindowW(szClass, g_szAppBaseName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 480, 320, nullptr,
                                     nullptr, hInstance, nullptr);
    if (!g_State.hWndMain)
        return FALSE;
    ShowWindow(g_State.hWndMain, nShowCmd);
    g_State.hWndDlg = CreateDialogW(hInstance, MAKEINTRESOURCEW(IDD_SESSION), g_State.hWndMain, SessionDlgProc);
    RegisterAppMainWnd(g_State.hWndMain);
    if (g_State.hWndDlg)
        RegisterAppDlgWnd(g_State.hWndDlg);
    return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nShowCmd)
{
    ReadSwitches();
    if (g_State.bNoWindow) {
        Sleep(g_State.dwLingerMs ? g_State.dwLingerMs : INFINITE);
        return 0;
    }
    if (!CreateWindows(hInstance, nShowCmd))
        return -1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (g_State.hWndDlg && IsDialogMessageW(g_State.hWndDlg, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // A process that outlives its windows, as one busy writing its files does.
    if (g_State.dwLingerMs)
        Sleep(g_State.dwLingerMs);
    return static_cast<int>(msg.wParam);
}
