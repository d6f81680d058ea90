// Placeholder until service control lands: every operation answers failure.
#include "ServiceMngr.h"

CServiceMngr::CServiceMngr()
{
    m_szServiceName[0] = L'\0';
    m_szDisplayName[0] = L'\0';
    m_szDescription[0] = L'\0';
}

CServiceMngr::~CServiceMngr() = default;

BOOL CServiceMngr::Init(LPCWSTR, LPCWSTR, LPCWSTR) { return FALSE; }
BOOL CServiceMngr::IsInstalled() { return FALSE; }
BOOL CServiceMngr::Install(LPCWSTR) { return FALSE; }
BOOL CServiceMngr::SetDescription(LPCWSTR) { return FALSE; }
BOOL CServiceMngr::Start() { return FALSE; }
DWORD CServiceMngr::WaitStartPending(SC_HANDLE) { return 0; }
BOOL CServiceMngr::IsRunning() { return FALSE; }
BOOL CServiceMngr::Stop(DWORD) { return FALSE; }
BOOL CServiceMngr::Remove(DWORD) { return FALSE; }

DWORD StopDependentServices(SC_HANDLE, SC_HANDLE) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD StopServiceByName(SC_HANDLE, LPCWSTR, DWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
