// The product's Windows service, handled by name through the service control
// manager. The object holds no handle between operations: each one opens what
// it needs and closes it again before it returns.
#pragma once

#include "../base/WinTypes.h"

class CServiceMngr {
public:
    CServiceMngr();
    virtual ~CServiceMngr();
    CServiceMngr(const CServiceMngr&) = delete;
    CServiceMngr& operator=(const CServiceMngr&) = delete;

    BOOL Init(LPCWSTR szServiceName, LPCWSTR szDisplayName, LPCWSTR szDescription);
    BOOL IsInstalled();
    // Creates the service (auto start, own process, LocalSystem) unless it
    // exists already, in which case it stays untouched. A path with a space
    // is put in double quotes unless it is quoted already.
    BOOL Install(LPCWSTR szCommandLine);
    BOOL SetDescription(LPCWSTR szDescription);
    // Prints its own 8-bit error line, without a line end, when it fails.
    BOOL Start();
    // The state the start ended in, or 0 on a failed query or a time-out.
    DWORD WaitStartPending(SC_HANDLE hService);
    BOOL IsRunning();
    // The service and its active dependents, within dwTimeout ms all told.
    BOOL Stop(DWORD dwTimeout);
    BOOL Remove(DWORD dwTimeout);

private:
    WCHAR m_szServiceName[256];
    WCHAR m_szDisplayName[256];
    WCHAR m_szDescription[256];
};

// Stop every active service that depends on hService; a Win32 error code.
DWORD StopDependentServices(SC_HANDLE hSCManager, SC_HANDLE hService);

// Stop one service and wait for it; 0, ERROR_TIMEOUT or a Win32 error code.
DWORD StopServiceByName(SC_HANDLE hSCManager, LPCWSTR szServiceName, DWORD dwTimeout);
