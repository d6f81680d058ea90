#include "ShellLaunch.h"

namespace {

const SHELL_LAUNCH_HOOKS s_SystemShell = {ShellExecuteExW};
const SHELL_LAUNCH_HOOKS* s_pShell = &s_SystemShell;

}  // namespace

BOOL ShellLaunch(SHELLEXECUTEINFOW* pInfo)
{
    return s_pShell->pfnShellExecuteExW(pInfo);
}

const SHELL_LAUNCH_HOOKS* SetShellLaunchHooks(const SHELL_LAUNCH_HOOKS* pHooks)
{
    const SHELL_LAUNCH_HOOKS* pPrevious = s_pShell;
    s_pShell = pHooks ? pHooks : &s_SystemShell;
    return pPrevious;
}
