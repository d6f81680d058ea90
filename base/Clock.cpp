#include "Clock.h"

namespace {

DWORD SystemTickCount()
{
    return GetTickCount();
}

void SystemSleep(DWORD dwMilliseconds)
{
    Sleep(dwMilliseconds);
}

const CLOCK_HOOKS s_SystemClock = {SystemTickCount, SystemSleep};
const CLOCK_HOOKS* s_pClock = &s_SystemClock;

}  // namespace

DWORD ClockTickCount()
{
    return s_pClock->pfnTickCount();
}

void ClockSleep(DWORD dwMilliseconds)
{
    s_pClock->pfnSleep(dwMilliseconds);
}

const CLOCK_HOOKS* SetClockHooks(const CLOCK_HOOKS* pHooks)
{
    const CLOCK_HOOKS* pPrevious = s_pClock;
    s_pClock = pHooks ? pHooks : &s_SystemClock;
    return pPrevious;
}
