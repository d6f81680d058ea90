// The clock and the sleep that every polling wait of the tool goes through.
// Bound to GetTickCount and Sleep; tests swap in a fake clock so that waits of
// tens of seconds run instantly.
#pragma once

#include "WinTypes.h"

struct CLOCK_HOOKS {
    DWORD (*pfnTickCount)();
    void (*pfnSleep)(DWORD dwMilliseconds);
};

DWORD ClockTickCount();
void ClockSleep(DWORD dwMilliseconds);

// Installs other hooks (null restores the system clock); returns the previous ones.
const CLOCK_HOOKS* SetClockHooks(const CLOCK_HOOKS* pHooks);
