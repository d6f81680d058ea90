#include "FakeScm.h"

#include <cstdint>
#include <cwchar>

#include "base/Clock.h"

namespace kvtest {

namespace {

std::wstring Hex(DWORD dw)
{
    WCHAR sz[16];
    swprintf(sz, 16, L"%lx", static_cast<unsigned long>(dw));
    return sz;
}

BOOL Fail(DWORD dwError)
{
    SetLastError(dwError);
    return FALSE;
}

}  // namespace

CFakeScm* CFakeScm::s_pThis = nullptr;

FAKE_TIMELINE Steady(DWORD dwState, DWORD dwWaitHint)
{
    return {{0, 0, dwState, 0, dwWaitHint}};
}

FAKE_TIMELINE Becomes(DWORD dwFrom, DWORD dwWaitHint, DWORD dwTo, DWORD dwAfterMs)
{
    return {{0, 0, dwFrom, 1, dwWaitHint}, {dwAfterMs, 0, dwTo, 0, 0}};
}

CFakeScm::CFakeScm()
{
    static const SCM_API s_Fake = {OpenManager, OpenSvc,        Create,        Delete, Close,  Start,     Control,
                                   Query,       EnumDependents, ChangeConfig2, Lock,   Unlock, LockStatus};
    m_pPreviousThis = s_pThis;
    s_pThis = this;
    m_pPrevious = SetScmApi(&s_Fake);
}

CFakeScm::~CFakeScm()
{
    SetScmApi(m_pPrevious);
    s_pThis = m_pPreviousThis;
}

FAKE_SERVICE& CFakeScm::Add(const std::wstring& name, const FAKE_TIMELINE& timeline)
{
    FAKE_SERVICE& service = m_services[name];
    Restart(service, timeline);
    return service;
}

std::vector<std::wstring> CFakeScm::Calls(std::initializer_list<const wchar_t*> words) const
{
    std::vector<std::wstring> calls;
    for (const std::wstring& entry : log) {
        for (const wchar_t* word : words) {
            std::wstring prefix = std::wstring(word) + L" ";
            if (entry == word || entry.compare(0, prefix.size(), prefix) == 0) {
                calls.push_back(entry);
                break;
            }
        }
    }
    return calls;
}

SC_HANDLE CFakeScm::NewHandle(const std::wstring& name)
{
    SC_HANDLE h = reinterpret_cast<SC_HANDLE>(static_cast<uintptr_t>(m_nNextHandle++));
    m_handles[h] = name;
    return h;
}

FAKE_SERVICE* CFakeScm::ServiceOf(SC_HANDLE h, std::wstring* pName)
{
    auto handle = m_handles.find(h);
    if (handle == m_handles.end() || handle->second.empty())
        return nullptr;
    auto service = m_services.find(handle->second);
    if (service == m_services.end())
        return nullptr;
    if (pName)
        *pName = handle->second;
    return &service->second;
}

void CFakeScm::Restart(FAKE_SERVICE& service, const FAKE_TIMELINE& timeline)
{
    service.timeline = timeline;
    service.dwAnchor = ClockTickCount();
    service.nQueries = 0;
}

const FAKE_STATUS& CFakeScm::Current(FAKE_SERVICE& service)
{
    DWORD dwElapsed = ClockTickCount() - service.dwAnchor;
    const FAKE_STATUS* pCurrent = &service.timeline.front();
    for (const FAKE_STATUS& status : service.timeline) {
        if (dwElapsed >= status.dwAtMs && service.nQueries >= status.nAtQuery)
            pCurrent = &status;
    }
    return *pCurrent;
}

SC_HANDLE WINAPI CFakeScm::OpenManager(LPCWSTR, LPCWSTR, DWORD dwAccess)
{
    CFakeScm& self = *s_pThis;
    self.log.push_back(L"manager " + Hex(dwAccess));
    if (++self.m_nManagerOpens == self.nFailManagerOpen || self.deniedManagerAccess.count(dwAccess)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return self.NewHandle(L"");
}

SC_HANDLE WINAPI CFakeScm::OpenSvc(SC_HANDLE hManager, LPCWSTR szName, DWORD dwAccess)
{
    CFakeScm& self = *s_pThis;
    self.log.push_back(L"open " + std::wstring(szName) + L" " + Hex(dwAccess));
    if (!self.m_handles.count(hManager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto service = self.m_services.find(szName);
    if (service == self.m_services.end()) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (service->second.dwDeniedAccess & dwAccess) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return self.NewHandle(szName);
}

SC_HANDLE WINAPI CFakeScm::Create(SC_HANDLE, LPCWSTR szName, LPCWSTR szDisplayName, DWORD dwAccess, DWORD dwType,
                                  DWORD dwStart, DWORD dwErrorControl, LPCWSTR szBinaryPath, LPCWSTR szGroup,
                                  LPDWORD pdwTag, LPCWSTR szDependencies, LPCWSTR szAccount, LPCWSTR szPassword)
{
    CFakeScm& self = *s_pThis;
    self.log.push_back(L"create " + std::wstring(szName));
    if (self.dwCreateError != ERROR_SUCCESS) {
        SetLastError(self.dwCreateError);
        return nullptr;
    }
    self.created = {szName,
                    szDisplayName,
                    szBinaryPath,
                    dwAccess,
                    dwType,
                    dwStart,
                    dwErrorControl,
                    !szAccount && !szPassword,
                    !szGroup && !pdwTag && !szDependencies};
    self.m_services[szName];
    return self.NewHandle(szName);
}

BOOL WINAPI CFakeScm::Delete(SC_HANDLE h)
{
    CFakeScm& self = *s_pThis;
    std::wstring name;
    if (!self.ServiceOf(h, &name))
        return Fail(ERROR_INVALID_HANDLE);
    self.log.push_back(L"delete " + name);
    if (self.dwDeleteError != ERROR_SUCCESS)
        return Fail(self.dwDeleteError);
    self.m_services.erase(name);
    return TRUE;
}

BOOL WINAPI CFakeScm::Close(SC_HANDLE h)
{
    CFakeScm& self = *s_pThis;
    auto handle = self.m_handles.find(h);
    if (handle == self.m_handles.end())
        return Fail(ERROR_INVALID_HANDLE);
    self.log.push_back(L"close " + (handle->second.empty() ? std::wstring(L"manager") : handle->second));
    self.m_handles.erase(handle);
    return TRUE;
}

BOOL WINAPI CFakeScm::Start(SC_HANDLE h, DWORD, LPCWSTR*)
{
    CFakeScm& self = *s_pThis;
    std::wstring name;
    FAKE_SERVICE* pService = self.ServiceOf(h, &name);
    if (!pService)
        return Fail(ERROR_INVALID_HANDLE);
    self.log.push_back(L"start " + name);
    if (pService->dwStartError != ERROR_SUCCESS)
        return Fail(pService->dwStartError);
    Restart(*pService, pService->onStart);
    return TRUE;
}

BOOL WINAPI CFakeScm::Control(SC_HANDLE h, DWORD dwControl, LPSERVICE_STATUS pStatus)
{
    CFakeScm& self = *s_pThis;
    std::wstring name;
    FAKE_SERVICE* pService = self.ServiceOf(h, &name);
    if (!pService || dwControl != SERVICE_CONTROL_STOP)
        return Fail(ERROR_INVALID_PARAMETER);
    self.log.push_back(L"stop " + name);
    if (pService->dwStopError != ERROR_SUCCESS)
        return Fail(pService->dwStopError);
    Restart(*pService, pService->onStop);
    const FAKE_STATUS& status = Current(*pService);
    *pStatus = {};
    pStatus->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    pStatus->dwCurrentState = status.dwState;
    pStatus->dwCheckPoint = status.dwCheckPoint;
    pStatus->dwWaitHint = status.dwWaitHint;
    return TRUE;
}

BOOL WINAPI CFakeScm::Query(SC_HANDLE h, SC_STATUS_TYPE level, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbNeeded)
{
    CFakeScm& self = *s_pThis;
    FAKE_SERVICE* pService = self.ServiceOf(h);
    if (!pService || level != SC_STATUS_PROCESS_INFO)
        return Fail(ERROR_INVALID_PARAMETER);
    *pcbNeeded = sizeof(SERVICE_STATUS_PROCESS);
    if (cbBuffer < sizeof(SERVICE_STATUS_PROCESS))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    ++self.m_nQueries;
    ++pService->nQueries;
    const FAKE_STATUS& status = Current(*pService);
    SERVICE_STATUS_PROCESS ssp = {};
    ssp.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    ssp.dwCurrentState = status.dwState;
    ssp.dwCheckPoint = status.dwCheckPoint;
    ssp.dwWaitHint = status.dwWaitHint;
    memcpy(pBuffer, &ssp, sizeof(ssp));
    return TRUE;
}

BOOL WINAPI CFakeScm::EnumDependents(SC_HANDLE h, DWORD, LPENUM_SERVICE_STATUSW pBuffer, DWORD cbBuffer,
                                     LPDWORD pcbNeeded, LPDWORD pnCount)
{
    CFakeScm& self = *s_pThis;
    std::wstring name;
    FAKE_SERVICE* pService = self.ServiceOf(h, &name);
    if (!pService)
        return Fail(ERROR_INVALID_HANDLE);
    self.log.push_back(L"enum " + name);
    if (self.dwEnumError != ERROR_SUCCESS)
        return Fail(self.dwEnumError);
    const std::vector<std::wstring>& dependents = pService->dependents;
    // Like the real one: the entries first, their names after them.
    DWORD cbNeeded = static_cast<DWORD>(dependents.size() * sizeof(ENUM_SERVICE_STATUSW));
    for (const std::wstring& dependent : dependents)
        cbNeeded += static_cast<DWORD>((dependent.size() + 1) * sizeof(WCHAR));
    *pnCount = 0;
    *pcbNeeded = cbNeeded;
    if (cbBuffer < cbNeeded)
        return Fail(ERROR_MORE_DATA);
    WCHAR* pNames = reinterpret_cast<WCHAR*>(pBuffer + dependents.size());
    for (size_t i = 0; i < dependents.size(); ++i) {
        wmemcpy(pNames, dependents[i].c_str(), dependents[i].size() + 1);
        pBuffer[i] = {};
        pBuffer[i].lpServiceName = pNames;
        pBuffer[i].lpDisplayName = pNames;
        pBuffer[i].ServiceStatus.dwCurrentState = SERVICE_RUNNING;
        pNames += dependents[i].size() + 1;
    }
    *pnCount = static_cast<DWORD>(dependents.size());
    return TRUE;
}

BOOL WINAPI CFakeScm::ChangeConfig2(SC_HANDLE h, DWORD dwLevel, LPVOID pInfo)
{
    CFakeScm& self = *s_pThis;
    std::wstring name;
    if (!self.ServiceOf(h, &name) || dwLevel != SERVICE_CONFIG_DESCRIPTION)
        return Fail(ERROR_INVALID_PARAMETER);
    self.log.push_back(L"describe " + name);
    if (self.dwDescribeError != ERROR_SUCCESS)
        return Fail(self.dwDescribeError);
    self.descriptions[name] = static_cast<SERVICE_DESCRIPTIONW*>(pInfo)->lpDescription;
    return TRUE;
}

SC_LOCK WINAPI CFakeScm::Lock(SC_HANDLE)
{
    CFakeScm& self = *s_pThis;
    self.log.push_back(L"lock");
    if (self.dwLockError != ERROR_SUCCESS) {
        SetLastError(self.dwLockError);
        return nullptr;
    }
    return reinterpret_cast<SC_LOCK>(static_cast<uintptr_t>(0x9000));
}

BOOL WINAPI CFakeScm::Unlock(SC_LOCK)
{
    s_pThis->log.push_back(L"unlock");
    return TRUE;
}

BOOL WINAPI CFakeScm::LockStatus(SC_HANDLE, LPQUERY_SERVICE_LOCK_STATUSW pStatus, DWORD cbBuffer, LPDWORD pcbNeeded)
{
    CFakeScm& self = *s_pThis;
    self.log.push_back(L"lockstatus");
    static const WCHAR s_szOwner[] = L".\\Installer";
    *pcbNeeded = sizeof(QUERY_SERVICE_LOCK_STATUSW) + sizeof(s_szOwner);
    if (self.dwLockStatusError != ERROR_SUCCESS)
        return Fail(self.dwLockStatusError);
    if (cbBuffer < *pcbNeeded)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    pStatus->fIsLocked = TRUE;
    pStatus->lpLockOwner = reinterpret_cast<LPWSTR>(pStatus + 1);
    pStatus->dwLockDuration = 42;
    wmemcpy(pStatus->lpLockOwner, s_szOwner, sizeof(s_szOwner) / sizeof(WCHAR));
    return TRUE;
}

}  // namespace kvtest
