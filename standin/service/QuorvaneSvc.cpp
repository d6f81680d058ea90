// Stand-in for the product's service: a service program of its own process
// that starts, runs until it is asked to stop, and stops. It does no work.
//
// Its start and stop are scripted by an optional file "QuorvaneSvc.ini"
// beside the executable, read each time the service starts, so that a test
// shapes them without rebuilding the program:
//
//   [Start]
//   PendingMs=0        time spent in SERVICE_START_PENDING
//   Checkpoints=0      checkpoints reported during that time (1, 2, ...),
//                      spread evenly; 0 reports a single status
//   WaitHint=0         wait hint reported with each pending status
//   Result=running     "stopped": the start ends in SERVICE_STOPPED
//   [Stop]
//   PendingMs=0        time spent in SERVICE_STOP_PENDING
//   WaitHint=0         wait hint reported with it
//
// Without the file every value takes the default shown.
#include <windows.h>

#include <cwchar>

#include "appctl/Product.h"
#include "base/Text.h"

namespace {

struct SCRIPT {
    DWORD dwStartPendingMs;
    DWORD dwStartCheckpoints;
    DWORD dwStartWaitHint;
    BOOL bStartFails;
    DWORD dwStopPendingMs;
    DWORD dwStopWaitHint;
};

SERVICE_STATUS_HANDLE g_hStatus = nullptr;
HANDLE g_hStopEvent = nullptr;
SCRIPT g_Script = {};

void ScriptPath(WCHAR* szPath, DWORD cchPath)
{
    DWORD cch = GetModuleFileNameW(nullptr, szPath, cchPath);
    if (cch == 0 || cch >= cchPath) {
        szPath[0] = L'\0';
        return;
    }
    WCHAR* pDot = wcsrchr(szPath, L'.');
    WCHAR* pSlash = wcsrchr(szPath, L'\\');
    if (!pDot || (pSlash && pDot < pSlash) || !CopyText(pDot, cchPath - static_cast<size_t>(pDot - szPath), L".ini"))
        szPath[0] = L'\0';
}

SCRIPT ReadScript()
{
    WCHAR szPath[MAX_PATH * 2];
    ScriptPath(szPath, MAX_PATH * 2);
    SCRIPT script = {};
    if (!szPath[0])
        return script;
    script.dwStartPendingMs = GetPrivateProfileIntW(L"Start", L"PendingMs", 0, szPath);
    script.dwStartCheckpoints = GetPrivateProfileIntW(L"Start", L"Checkpoints", 0, szPath);
    script.dwStartWaitHint = GetPrivateProfileIntW(L"Start", L"WaitHint", 0, szPath);
    WCHAR szResult[32] = {};
    GetPrivateProfileStringW(L"Start", L"Result", L"running", szResult, 32, szPath);
    script.bStartFails = _wcsicmp(szResult, L"stopped") == 0;
    script.dwStopPendingMs = GetPrivateProfileIntW(L"Stop", L"PendingMs", 0, szPath);
    script.dwStopWaitHint = GetPrivateProfileIntW(L"Stop", L"WaitHint", 0, szPath);
    return script;
}

void Report(DWORD dwState, DWORD dwCheckPoint, DWORD dwWaitHint, DWORD dwExitCode = NO_ERROR)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = dwState;
    status.dwControlsAccepted = dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = dwExitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = dwExitCode;
    status.dwCheckPoint = dwCheckPoint;
    status.dwWaitHint = dwWaitHint;
    SetServiceStatus(g_hStatus, &status);
}

DWORD WINAPI ControlHandler(DWORD dwControl, DWORD, LPVOID, LPVOID)
{
    if (dwControl == SERVICE_CONTROL_STOP || dwControl == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING, 1, g_Script.dwStopWaitHint);
        SetEvent(g_hStopEvent);
        return NO_ERROR;
    }
    return dwControl == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void StartPending()
{
    const SCRIPT& s = g_Script;
    if (s.dwStartCheckpoints == 0) {
        Report(SERVICE_START_PENDING, 0, s.dwStartWaitHint);
        Sleep(s.dwStartPendingMs);
        return;
    }
    DWORD dwStep = s.dwStartPendingMs / s.dwStartCheckpoints;
    for (DWORD i = 1; i <= s.dwStartCheckpoints; ++i) {
        Report(SERVICE_START_PENDING, i, s.dwStartWaitHint);
        Sleep(dwStep);
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    g_hStatus = RegisterServiceCtrlHandlerExW(g_szServiceName, ControlHandler, nullptr);
    if (!g_hStatus)
        return;
    g_Script = ReadScript();
    StartPending();
    if (g_Script.bStartFails) {
        Report(SERVICE_STOPPED, 0, 0, 1);
        return;
    }
    g_hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_hStopEvent) {
        Report(SERVICE_STOPPED, 0, 0, 2);
        return;
    }
    Report(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(g_hStopEvent, INFINITE);
    Sleep(g_Script.dwStopPendingMs);
    Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int wmain()
{
    WCHAR szName[64];
    CopyText(szName, 64, g_szServiceName);
    SERVICE_TABLE_ENTRYW table[] = {{szName, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
