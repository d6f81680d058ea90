// The clock and the sleep that every polling wait of the tool goes through.
// Bound to GetTickCount, Sleep and WaitForSingleObject; tests swap in a fake clock so that waits of
// tens of seconds run instantly.
#pragma once

#include "WinTypes.h"

struct CLOCK_HOOKS {
    DWORD (*pfnTickCount)();
    void (*pfnSleep)(DWORD dwMilliseconds);
    // Waits up to dwMilliseconds for the object; TRUE when it was signalled.
    // May be null: the whole time is slept, then the object is looked at.
    BOOL (*pfnWaitForObject)(HANDLE hObject, DWORD dwMilliseconds);
};

DWORD ClockTickCount();
void ClockSleep(DWORD dwMilliseconds);
// A pause that ends early when the object is signalled (a process that ended).
BOOL ClockWaitForObject(HANDLE hObject, DWORD dwMilliseconds);

// Installs other hooks (null restores the system clock); returns the previous ones.
const CLOCK_HOOKS* SetClockHooks(const CLOCK_HOOKS* pHooks);
