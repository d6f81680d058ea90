#include "ServiceMngr.h"

#include <cwchar>

#include "../base/Clock.h"
#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/ScopeGuard.h"
#include "../base/Text.h"
#include "ScmApi.h"

namespace {

const size_t kNameUnits = 256;
const DWORD kDependentStopTimeout = 3000;
const DWORD kStartPollMin = 1000;
const DWORD kStartPollMax = 10000;
// However long a start says it may take, a start without progress is given
// up after this long: a hint of 0xFFFFFFFF would otherwise hold the
// deployment for 49 days.
const DWORD kStartTimeoutMax = 10 * 60 * 1000;
// The longest any wait goes without looking at the state: a service that is
// already running or stopped is noticed at once, not after a whole hint.
const DWORD kStateSliceMs = 100;
// The lock record followed by room for the lock owner's name.
const DWORD kLockStatusBytes = sizeof(QUERY_SERVICE_LOCK_STATUSW) + 256;
const DWORD kDescriptionManagerRights =
    STANDARD_RIGHTS_REQUIRED | SC_MANAGER_LOCK | SC_MANAGER_QUERY_LOCK_STATUS | SC_MANAGER_MODIFY_BOOT_CONFIG;
const DWORD kStopRights = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;

SC_HANDLE OpenManager(DWORD dwAccess)
{
    return ScmApi().pfnOpenSCManagerW(nullptr, nullptr, dwAccess);
}

// The manager and then the service; FALSE when either cannot be opened.
BOOL OpenManagerAndService(DWORD dwManagerAccess, LPCWSTR szServiceName, DWORD dwServiceAccess, CScmHandle& hManager,
                           CScmHandle& hService)
{
    hManager.Reset(OpenManager(dwManagerAccess));
    if (!hManager.IsValid())
        return FALSE;
    hService.Reset(ScmApi().pfnOpenServiceW(hManager.Get(), szServiceName, dwServiceAccess));
    return hService.IsValid();
}

BOOL QueryStatus(SC_HANDLE hService, SERVICE_STATUS_PROCESS* pStatus)
{
    DWORD dwBytesNeeded = 0;
    return ScmApi().pfnQueryServiceStatusEx(hService, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(pStatus),
                                            sizeof(SERVICE_STATUS_PROCESS), &dwBytesNeeded);
}

BOOL TimedOut(DWORD dwStartTick, DWORD dwTimeout)
{
    return ClockTickCount() - dwStartTick > dwTimeout;
}

// The longest sleep that ends no later than one millisecond past the
// time-out, so the check that follows sees it as passed: a hint of an hour
// must not hold a stop of a few seconds for an hour.
DWORD ClampToTimeout(DWORD dwSleep, DWORD dwStartTick, DWORD dwTimeout)
{
    DWORD dwElapsed = ClockTickCount() - dwStartTick;
    ULONGLONG ullLeft = dwElapsed <= dwTimeout ? static_cast<ULONGLONG>(dwTimeout) - dwElapsed + 1 : 0;
    return dwSleep < ullLeft ? dwSleep : static_cast<DWORD>(ullLeft);
}

// Sleeps dwSleep ms in slices, reading the status after each one, and ends
// early once the state is no longer dwState. A sleep of 0 is one query. The
// caller's rules see one sleep and one status, as without the slices. FALSE
// when a query fails, its error still in GetLastError().
BOOL SleepWatching(SC_HANDLE hService, DWORD dwSleep, DWORD dwState, SERVICE_STATUS_PROCESS* pStatus)
{
    DWORD dwBegin = ClockTickCount();
    for (;;) {
        DWORD dwSlept = ClockTickCount() - dwBegin;
        DWORD dwLeft = dwSlept < dwSleep ? dwSleep - dwSlept : 0;
        ClockSleep(dwLeft < kStateSliceMs ? dwLeft : kStateSliceMs);
        if (!QueryStatus(hService, pStatus))
            return FALSE;
        if (pStatus->dwCurrentState != dwState || ClockTickCount() - dwBegin >= dwSleep)
            return TRUE;
    }
}

// After a stop request: polls until the service has stopped, sleeping for the
// hint that came with the request; 0, ERROR_TIMEOUT or the failed query's error.
DWORD WaitUntilStopped(SC_HANDLE hService, const SERVICE_STATUS& ss, DWORD dwStartTick, DWORD dwTimeout)
{
    if (ss.dwCurrentState == SERVICE_STOPPED)
        return ERROR_SUCCESS;
    DWORD dwState = ss.dwCurrentState;
    for (;;) {
        SERVICE_STATUS_PROCESS ssp = {};
        if (!SleepWatching(hService, ClampToTimeout(ss.dwWaitHint, dwStartTick, dwTimeout), dwState, &ssp))
            return GetLastError();
        dwState = ssp.dwCurrentState;
        if (ssp.dwCurrentState == SERVICE_STOPPED)
            return ERROR_SUCCESS;
        if (TimedOut(dwStartTick, dwTimeout))
            return ERROR_TIMEOUT;
    }
}

// A tenth of the hint, within 1 to 10 seconds.
DWORD StartPollInterval(DWORD dwWaitHint)
{
    DWORD dwWait = dwWaitHint / 10;
    if (dwWait < kStartPollMin)
        return kStartPollMin;
    return dwWait > kStartPollMax ? kStartPollMax : dwWait;
}

// One hint without progress, but never more than kStartTimeoutMax.
DWORD StartTimeout(const SERVICE_STATUS_PROCESS& ssStatus)
{
    return ssStatus.dwWaitHint < kStartTimeoutMax ? ssStatus.dwWaitHint : kStartTimeoutMax;
}

// The service's command line with its executable's path in double quotes
// when the path holds a space: unquoted, Windows would try "C:\Program.exe"
// and the like first. FALSE when it does not fit.
BOOL QuoteCommandLine(LPCWSTR szCommandLine, LPWSTR szQuoted, size_t cchQuoted)
{
    if (szCommandLine[0] == L'"' || !wcschr(szCommandLine, L' '))
        return CopyText(szQuoted, cchQuoted, szCommandLine);
    return FormatText(szQuoted, cchQuoted, L"\"%ls\"", szCommandLine);
}

}  // namespace

CServiceMngr::CServiceMngr()
{
    m_szServiceName[0] = L'\0';
    m_szDisplayName[0] = L'\0';
    m_szDescription[0] = L'\0';
}

CServiceMngr::~CServiceMngr() = default;

BOOL CServiceMngr::Init(LPCWSTR szServiceName, LPCWSTR szDisplayName, LPCWSTR szDescription)
{
    m_szServiceName[0] = L'\0';
    m_szDisplayName[0] = L'\0';
    m_szDescription[0] = L'\0';
    // The service control manager takes names of up to 256 characters; a
    // longer text is cut to the field.
    if (szServiceName)
        CopyText(m_szServiceName, kNameUnits, szServiceName);
    if (szDisplayName)
        CopyText(m_szDisplayName, kNameUnits, szDisplayName);
    if (szDescription)
        CopyText(m_szDescription, kNameUnits, szDescription);
    return szServiceName && szDisplayName;
}

BOOL CServiceMngr::IsInstalled()
{
    CScmHandle hManager, hService;
    return OpenManagerAndService(SC_MANAGER_ALL_ACCESS, m_szServiceName, SERVICE_QUERY_CONFIG, hManager, hService);
}

BOOL CServiceMngr::Install(LPCWSTR szCommandLine)
{
    if (IsInstalled())
        return TRUE;
    WCHAR szQuoted[g_cchWorkPath];
    if (!szCommandLine || !QuoteCommandLine(szCommandLine, szQuoted, g_cchWorkPath))
        return FALSE;

    CScmHandle hManager(OpenManager(SC_MANAGER_CREATE_SERVICE));
    if (!hManager.IsValid())
        return FALSE;
    CScmHandle hService(ScmApi().pfnCreateServiceW(
        hManager.Get(), m_szServiceName, m_szDisplayName, SERVICE_CHANGE_CONFIG, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, szQuoted, nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!hService.IsValid())
        return FALSE;
    hService.Reset();
    hManager.Reset();
    // The service exists and runs without its description.
    SetDescription(m_szDescription);
    return TRUE;
}

BOOL CServiceMngr::SetDescription(LPCWSTR szDescription)
{
    const SCM_API& scm = ScmApi();
    CScmHandle hManager(OpenManager(kDescriptionManagerRights));
    if (!hManager.IsValid())
        return FALSE;

    // Released in reverse order: the lock, the lock status, the service.
    CScmHandle hService;
    CLocalBlock lpqslsBuf;
    SC_LOCK sclLock = scm.pfnLockServiceDatabase(hManager.Get());
    DWORD dwLockError = sclLock ? ERROR_SUCCESS : GetLastError();
    auto unlock = MakeScopeGuard([&scm, sclLock] {
        if (sclLock)
            scm.pfnUnlockServiceDatabase(sclLock);
    });

    // Another process holds the lock: its status is read, and the description
    // is changed without the lock rather than waited for.
    if (!sclLock) {
        if (dwLockError != ERROR_SERVICE_DATABASE_LOCKED)
            return FALSE;
        lpqslsBuf.Reset(LocalAlloc(LPTR, kLockStatusBytes));
        if (!lpqslsBuf.IsValid())
            return FALSE;
        DWORD dwBytesNeeded = 0;
        if (!scm.pfnQueryServiceLockStatusW(hManager.Get(), static_cast<LPQUERY_SERVICE_LOCK_STATUSW>(lpqslsBuf.Get()),
                                            kLockStatusBytes, &dwBytesNeeded))
            return FALSE;
    }

    hService.Reset(scm.pfnOpenServiceW(hManager.Get(), m_szServiceName, SERVICE_CHANGE_CONFIG));
    if (!hService.IsValid())
        return FALSE;
    SERVICE_DESCRIPTIONW sdBuf = {const_cast<LPWSTR>(szDescription)};
    return scm.pfnChangeServiceConfig2W(hService.Get(), SERVICE_CONFIG_DESCRIPTION, &sdBuf) ? TRUE : FALSE;
}

BOOL CServiceMngr::Start()
{
    if (!IsInstalled())
        return FALSE;
    // The lines carry no line end: the driver's outcome follows on the same line.
    CScmHandle hManager, hService;
    if (!OpenManagerAndService(SC_MANAGER_ALL_ACCESS, m_szServiceName, SERVICE_START | SERVICE_QUERY_STATUS, hManager,
                               hService)) {
        ConsolePrintA(hManager.IsValid() ? "Error:Unable to open the service."
                                         : "Error:Unable to open the service manager.");
        return FALSE;
    }

    if (!ScmApi().pfnStartServiceW(hService.Get(), 0, nullptr)) {
        if (GetLastError() == ERROR_SERVICE_ALREADY_RUNNING)
            return TRUE;
    } else if (WaitStartPending(hService.Get()) == SERVICE_RUNNING) {
        return TRUE;
    }
    ConsolePrintA("Error:Unable to start the service.");
    return FALSE;
}

DWORD CServiceMngr::WaitStartPending(SC_HANDLE hService)
{
    SERVICE_STATUS_PROCESS ssStatus = {};
    if (!QueryStatus(hService, &ssStatus))
        return 0;
    DWORD dwStartTick = ClockTickCount();
    DWORD dwOldCheckPoint = ssStatus.dwCheckPoint;

    // No overall limit: a service that keeps making progress is waited for.
    // Progress and the time-out are judged once per poll interval, as the
    // hint asks; within it the state is watched so that the end of the start
    // is seen at once.
    while (ssStatus.dwCurrentState == SERVICE_START_PENDING) {
        DWORD dwSleep = ClampToTimeout(StartPollInterval(ssStatus.dwWaitHint), dwStartTick, kStartTimeoutMax);
        if (!SleepWatching(hService, dwSleep, SERVICE_START_PENDING, &ssStatus))
            return 0;
        if (ssStatus.dwCheckPoint > dwOldCheckPoint) {
            dwStartTick = ClockTickCount();
            dwOldCheckPoint = ssStatus.dwCheckPoint;
        } else if (ssStatus.dwCurrentState == SERVICE_START_PENDING && TimedOut(dwStartTick, StartTimeout(ssStatus))) {
            // Only a start still pending can time out: a service that now
            // runs reports a hint of 0, and it runs all the same.
            return 0;
        }
    }
    return ssStatus.dwCurrentState;
}

BOOL CServiceMngr::IsRunning()
{
    CScmHandle hManager, hService;
    if (!OpenManagerAndService(SC_MANAGER_CONNECT, m_szServiceName, SERVICE_QUERY_STATUS, hManager, hService))
        return FALSE;
    return WaitStartPending(hService.Get()) == SERVICE_RUNNING;
}

BOOL CServiceMngr::Stop(DWORD dwTimeout)
{
    if (!IsInstalled())
        return FALSE;
    CScmHandle hManager, hService;
    if (!OpenManagerAndService(SC_MANAGER_CONNECT, m_szServiceName, kStopRights, hManager, hService))
        return FALSE;

    // The time-out covers the whole stop, the dependents' included.
    DWORD dwStartTick = ClockTickCount();
    SERVICE_STATUS_PROCESS ssp = {};
    if (!QueryStatus(hService.Get(), &ssp))
        return FALSE;
    if (ssp.dwCurrentState == SERVICE_STOPPED)
        return TRUE;

    // A stop already under way is waited for, not requested again.
    while (ssp.dwCurrentState == SERVICE_STOP_PENDING) {
        if (!SleepWatching(hService.Get(), ClampToTimeout(ssp.dwWaitHint, dwStartTick, dwTimeout), SERVICE_STOP_PENDING,
                           &ssp))
            return FALSE;
        if (ssp.dwCurrentState == SERVICE_STOPPED)
            return TRUE;
        if (TimedOut(dwStartTick, dwTimeout))
            return FALSE;
    }

    // A dependent left running makes the service control manager refuse the
    // stop below; that refusal is the failure reported.
    StopDependentServices(hManager.Get(), hService.Get());

    SERVICE_STATUS ss = {};
    if (!ScmApi().pfnControlService(hService.Get(), SERVICE_CONTROL_STOP, &ss))
        return FALSE;
    return WaitUntilStopped(hService.Get(), ss, dwStartTick, dwTimeout) == ERROR_SUCCESS;
}

BOOL CServiceMngr::Remove(DWORD dwTimeout)
{
    if (!IsInstalled())
        return TRUE;
    Stop(dwTimeout);
    CScmHandle hManager, hService;
    if (!OpenManagerAndService(SC_MANAGER_CONNECT, m_szServiceName, DELETE, hManager, hService))
        return FALSE;
    return ScmApi().pfnDeleteService(hService.Get()) ? TRUE : FALSE;
}

DWORD StopDependentServices(SC_HANDLE hSCManager, SC_HANDLE hService)
{
    const SCM_API& scm = ScmApi();
    DWORD dwBytesNeeded = 0;
    DWORD dwCount = 0;
    if (scm.pfnEnumDependentServicesW(hService, SERVICE_ACTIVE, nullptr, 0, &dwBytesNeeded, &dwCount))
        return ERROR_SUCCESS;
    DWORD hr = GetLastError();
    if (hr != ERROR_MORE_DATA)
        return hr;

    CHeapBlock lpDependencies(HeapAllocZero(dwBytesNeeded));
    if (!lpDependencies.IsValid())
        return ERROR_NOT_ENOUGH_MEMORY;
    if (!scm.pfnEnumDependentServicesW(hService, SERVICE_ACTIVE,
                                       static_cast<LPENUM_SERVICE_STATUSW>(lpDependencies.Get()), dwBytesNeeded,
                                       &dwBytesNeeded, &dwCount))
        return GetLastError();

    // In the order returned: the reverse of their start order. One dependent
    // that does not stop does not keep the others running.
    const ENUM_SERVICE_STATUSW* pEntries = static_cast<const ENUM_SERVICE_STATUSW*>(lpDependencies.Get());
    for (DWORD i = 0; i < dwCount; ++i) {
        ENUM_SERVICE_STATUSW ess = pEntries[i];
        StopServiceByName(hSCManager, ess.lpServiceName, kDependentStopTimeout);
    }
    return ERROR_SUCCESS;
}

DWORD StopServiceByName(SC_HANDLE hSCManager, LPCWSTR szServiceName, DWORD dwTimeout)
{
    const SCM_API& scm = ScmApi();
    DWORD dwStartTick = ClockTickCount();
    CScmHandle hService(scm.pfnOpenServiceW(hSCManager, szServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!hService.IsValid())
        return GetLastError();

    SERVICE_STATUS ss = {};
    if (!scm.pfnControlService(hService.Get(), SERVICE_CONTROL_STOP, &ss))
        return GetLastError();
    return WaitUntilStopped(hService.Get(), ss, dwStartTick, dwTimeout);
}
