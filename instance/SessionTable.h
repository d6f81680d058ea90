// The table in which every running instance of the application records its
// windows, kept in named shared memory and guarded by a global mutex. The
// application and the tool must agree on every name, size and offset here.
#pragma once

#include "../base/WinTypes.h"

// The two names differ in one digit: the mapping ends in "75F2}", the mutex
// in "76F2}". The mutex is looked up in the global namespace first.
inline constexpr WCHAR g_szSessionMappingName[] = L"{283C78EE-86EC-453f-93F8-D96ED86475F2}";
inline constexpr WCHAR g_szSessionMutexName[] = L"{283C78EE-86EC-453f-93F8-D96ED86476F2}";

inline constexpr int g_nMaxSessions = 101;
// A record's user name: at most 127 characters, unit 127 always 0.
inline constexpr int g_nSessionUserUnits = 128;

// Window handles are kept as 32-bit values: the table looks the same to
// 32-bit and 64-bit instances.
struct SESSION_ITEM {
    DWORD hWndMain;
    DWORD hWndDlg;
    WCHAR szUserName[g_nSessionUserUnits];
};

struct SESSION_TABLE {
    DWORD hWndMain;  // the main window registered last
    DWORD hWndDlg;
    DWORD dwReserved;
    LONG nCount;  // records 0 to nCount - 1 are in use, without gaps
    SESSION_ITEM items[g_nMaxSessions];
};

static_assert(sizeof(SESSION_ITEM) == 264, "records are shared with other programs");
static_assert(sizeof(SESSION_TABLE) == 26680, "the table is shared with other programs");

// Handles go through LONG so that they sign-extend back the way the system
// truncates them.
inline DWORD HandleToTable(HWND hWnd)
{
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hWnd));
}

inline HWND HandleFromTable(DWORD dwWnd)
{
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(dwWnd)));
}
