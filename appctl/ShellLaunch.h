// Every program the tool starts through the shell goes through here. Bound
// to ShellExecuteExW; tests swap in a hook that records what would have been
// started, since Wine's own search for a program differs from Windows'.
#pragma once

#include "../base/WinTypes.h"
// The shell's record type; it needs <windows.h> first.
#include <shellapi.h>

struct SHELL_LAUNCH_HOOKS {
    BOOL(WINAPI* pfnShellExecuteExW)(SHELLEXECUTEINFOW* pInfo);
};

BOOL ShellLaunch(SHELLEXECUTEINFOW* pInfo);

// Installs other hooks (null restores the shell's); returns the previous ones.
const SHELL_LAUNCH_HOOKS* SetShellLaunchHooks(const SHELL_LAUNCH_HOOKS* pHooks);
