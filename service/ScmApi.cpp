#include "ScmApi.h"

namespace {

const SCM_API s_Win32Scm = {
    ::OpenSCManagerW,          ::OpenServiceW,          ::CreateServiceW,      ::DeleteService,
    ::CloseServiceHandle,      ::StartServiceW,         ::ControlService,      ::QueryServiceStatusEx,
    ::EnumDependentServicesW,  ::ChangeServiceConfig2W, ::LockServiceDatabase, ::UnlockServiceDatabase,
    ::QueryServiceLockStatusW,
};

const SCM_API* s_pScm = &s_Win32Scm;

}  // namespace

const SCM_API& ScmApi()
{
    return *s_pScm;
}

const SCM_API* SetScmApi(const SCM_API* pApi)
{
    const SCM_API* pPrevious = s_pScm;
    s_pScm = pApi ? pApi : &s_Win32Scm;
    return pPrevious;
}
