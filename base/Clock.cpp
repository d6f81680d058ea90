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

BOOL SystemWaitForObject(HANDLE hObject, DWORD dwMilliseconds)
{
    return WaitForSingleObject(hObject, dwMilliseconds) == WAIT_OBJECT_0;
}

const CLOCK_HOOKS s_SystemClock = {SystemTickCount, SystemSleep, SystemWaitForObject};
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

BOOL ClockWaitForObject(HANDLE hObject, DWORD dwMilliseconds)
{
    if (s_pClock->pfnWaitForObject)
        return s_pClock->pfnWaitForObject(hObject, dwMilliseconds);
    s_pClock->pfnSleep(dwMilliseconds);
    return WaitForSingleObject(hObject, 0) == WAIT_OBJECT_0;
}

const CLOCK_HOOKS* SetClockHooks(const CLOCK_HOOKS* pHooks)
{
    const CLOCK_HOOKS* pPrevious = s_pClock;
    s_pClock = pHooks ? pHooks : &s_SystemClock;
    return pPrevious;
}
