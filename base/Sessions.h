// Who the tool runs as, and the sessions of the machine. Fleet tools run it as
// LocalSystem in session 0, where it sees neither the desktop nor the hive nor
// the profile of the person at the machine: what it does for that person goes
// through the session's user token.
// Bound to Win32 by default; tests swap in hooks that pretend to run as
// SYSTEM in session 0 with a user in session 1, since Wine has one session.
#pragma once

#include "Handles.h"
#include "WinTypes.h"

// No session: nobody at the console.
inline constexpr DWORD g_dwNoSession = 0xFFFFFFFF;

struct SESSION_HOOKS {
    BOOL (*pfnRunsAsSystem)();
    // The token is elevated (an administrator who confirmed the elevation).
    BOOL (*pfnRunsElevated)();
    // g_dwNoSession when nobody is at the console.
    DWORD (*pfnActiveConsoleSession)();
    BOOL (*pfnProcessSession)(DWORD dwProcessId, DWORD* pdwSession);
    // The primary token of the user logged on in the session; only SYSTEM gets one.
    BOOL (*pfnQueryUserToken)(DWORD dwSession, HANDLE* phToken);
    // A primary token duplicated from the desktop shell of this process's session.
    BOOL (*pfnQueryShellToken)(HANDLE* phToken);
    // Starts szApp (a full path) as the token's user on "winsta0\default"
    // with that user's environment block, in the program's own folder;
    // bAsInvoker: without the elevation its manifest asks for. The caller
    // closes both handles.
    BOOL (*pfnStartProcessAsUser)
    (HANDLE hToken, LPCWSTR szApp, LPWSTR szCmdLine, DWORD dwCreationFlags, BOOL bAsInvoker,
     PROCESS_INFORMATION* pInfo);
};

BOOL RunsAsSystem();
BOOL RunsElevated();
DWORD GetActiveConsoleSession();
BOOL GetProcessSession(DWORD dwProcessId, DWORD* pdwSession);
// The session of this process; 0 when it cannot be had.
DWORD GetOwnSession();
BOOL QuerySessionUserToken(DWORD dwSession, CHandle& hToken);
// The token of the user at the console: FALSE when nobody is logged on there.
BOOL QueryConsoleUserToken(CHandle& hToken);
BOOL QueryShellToken(CHandle& hToken);
BOOL StartProcessAsUser(HANDLE hToken, LPCWSTR szApp, LPWSTR szCmdLine, DWORD dwCreationFlags, BOOL bAsInvoker,
                        PROCESS_INFORMATION* pInfo);

// The token's user as "S-1-...", the name of the user's hive below
// HKEY_USERS; the block is the system's (LocalFree).
BOOL GetTokenUserSid(HANDLE hToken, CLocalBlock& szSid);

// Installs other hooks (null restores the system's); returns the previous ones.
const SESSION_HOOKS* SetSessionHooks(const SESSION_HOOKS* pHooks);
// The system's hooks, for test hooks that pass some calls on.
const SESSION_HOOKS* GetSystemSessionHooks();
