// A clock for tests: time moves only when the code under test sleeps or
// waits, so a wait of many seconds takes none. Installed for the life of the object; one
// at a time.
#pragma once

#include <atomic>

#include "base/Clock.h"

namespace kvtest {

class CFakeClock {
public:
    // dwRealPauseMs: real time each sleep still takes, for tests in which
    // another process must get on with its work between two polls.
    explicit CFakeClock(DWORD dwRealPauseMs = 0)
    {
        s_dwNow = 0x7FFFF000;  // close to a wrap of the 32-bit tick count
        s_nSleeps = 0;
        s_dwSlept = 0;
        s_dwRealPauseMs = dwRealPauseMs;
        static const CLOCK_HOOKS s_Hooks = {TickCount, SleepFor, WaitFor};
        m_pPrevious = SetClockHooks(&s_Hooks);
    }
    ~CFakeClock() { SetClockHooks(m_pPrevious); }
    CFakeClock(const CFakeClock&) = delete;
    CFakeClock& operator=(const CFakeClock&) = delete;

    int Sleeps() const { return s_nSleeps; }
    DWORD Slept() const { return s_dwSlept; }

private:
    static DWORD TickCount() { return s_dwNow; }
    static void SleepFor(DWORD dwMilliseconds)
    {
        s_dwNow += dwMilliseconds;
        s_dwSlept += dwMilliseconds;
        ++s_nSleeps;
        if (s_dwRealPauseMs)
            Sleep(s_dwRealPauseMs);
    }

    // Counts as a sleep. Really waits only dwRealPauseMs for the object; a
    // wait that the object ended takes no time on this clock, one that ran
    // out takes the whole time asked for.
    static BOOL WaitFor(HANDLE hObject, DWORD dwMilliseconds)
    {
        ++s_nSleeps;
        if (WaitForSingleObject(hObject, s_dwRealPauseMs) == WAIT_OBJECT_0)
            return TRUE;
        s_dwNow += dwMilliseconds;
        s_dwSlept += dwMilliseconds;
        return FALSE;
    }

    static inline std::atomic<DWORD> s_dwNow{0};
    static inline std::atomic<int> s_nSleeps{0};
    static inline std::atomic<DWORD> s_dwSlept{0};
    static inline DWORD s_dwRealPauseMs = 0;
    const CLOCK_HOOKS* m_pPrevious;
};

}  // namespace kvtest
