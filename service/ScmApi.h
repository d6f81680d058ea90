// The service control manager calls of the service subsystem, reached through
// one table bound to Win32. Tests bind scripted fakes in its place: Wine's
// service control manager never reports dependents, never shows a database
// lock held by another process and cannot show hours of start progress.
// The waits go through base/Clock.h, whose hooks serve the same tests.
#pragma once

#include "../base/Handles.h"
#include "../base/WinTypes.h"

struct SCM_API {
    decltype(&::OpenSCManagerW) pfnOpenSCManagerW;
    decltype(&::OpenServiceW) pfnOpenServiceW;
    decltype(&::CreateServiceW) pfnCreateServiceW;
    decltype(&::DeleteService) pfnDeleteService;
    decltype(&::CloseServiceHandle) pfnCloseServiceHandle;
    decltype(&::StartServiceW) pfnStartServiceW;
    decltype(&::ControlService) pfnControlService;
    decltype(&::QueryServiceStatusEx) pfnQueryServiceStatusEx;
    decltype(&::EnumDependentServicesW) pfnEnumDependentServicesW;
    decltype(&::ChangeServiceConfig2W) pfnChangeServiceConfig2W;
    decltype(&::LockServiceDatabase) pfnLockServiceDatabase;
    decltype(&::UnlockServiceDatabase) pfnUnlockServiceDatabase;
    decltype(&::QueryServiceLockStatusW) pfnQueryServiceLockStatusW;
};

const SCM_API& ScmApi();

// Installs another table (null restores Win32); returns the previous one.
const SCM_API* SetScmApi(const SCM_API* pApi);

// A service or manager handle, closed through the table it came from.
struct ScmHandleTraits {
    typedef SC_HANDLE Type;
    static Type Invalid() { return NULL; }
    static void Close(Type h) { ScmApi().pfnCloseServiceHandle(h); }
};

typedef CScopedT<ScmHandleTraits> CScmHandle;
