#include "Sessions.h"

#include <sddl.h>

#include <cwchar>

#include "ScopeGuard.h"
#include "SystemPaths.h"
#include "Text.h"

namespace {

typedef BOOL(WINAPI* PFN_WTSQUERYUSERTOKEN)(ULONG ulSessionId, PHANDLE phToken);
typedef BOOL(WINAPI* PFN_CREATEENVIRONMENTBLOCK)(LPVOID* ppEnvironment, HANDLE hToken, BOOL bInherit);
typedef BOOL(WINAPI* PFN_DESTROYENVIRONMENTBLOCK)(LPVOID pEnvironment);

WCHAR s_szDesktop[] = L"winsta0\\default";
// The tool's manifest asks for administrator rights, and Windows refuses to
// start such a program with a user's unelevated token (740). Its own copy,
// which only posts close requests, is started as the user it runs for.
const WCHAR kAsInvoker[] = L"__COMPAT_LAYER=RunAsInvoker";
const WCHAR kCompatLayerName[] = L"__COMPAT_LAYER=";

// FARPROC stands for any signature; the detour through a plain function
// pointer says so to the compiler.
template <class T>
T TakeSystemProc(LPCWSTR szLibrary, LPCSTR szName)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetSystemProcAddress(szLibrary, szName)));
}

// A block of the token's information; the owner frees it.
BOOL GetTokenInfo(HANDLE hToken, TOKEN_INFORMATION_CLASS infoClass, CHeapBlock& block)
{
    DWORD cbInfo = 0;
    GetTokenInformation(hToken, infoClass, nullptr, 0, &cbInfo);
    if (cbInfo == 0)
        return FALSE;
    block.Reset(HeapAllocZero(cbInfo));
    return block.IsValid() && GetTokenInformation(hToken, infoClass, block.Get(), cbInfo, &cbInfo);
}

BOOL SystemRunsAsSystem()
{
    CHandle hToken;
    CHeapBlock user;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, hToken.Receive()) ||
        !GetTokenInfo(hToken.Get(), TokenUser, user))
        return FALSE;
    return IsWellKnownSid(static_cast<TOKEN_USER*>(user.Get())->User.Sid, WinLocalSystemSid);
}

BOOL SystemRunsElevated()
{
    CHandle hToken;
    TOKEN_ELEVATION elevation = {};
    DWORD cb = sizeof(elevation);
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, hToken.Receive()) ||
        !GetTokenInformation(hToken.Get(), TokenElevation, &elevation, cb, &cb))
        return FALSE;
    return elevation.TokenIsElevated != 0;
}

DWORD SystemActiveConsoleSession()
{
    return WTSGetActiveConsoleSessionId();
}

BOOL SystemProcessSession(DWORD dwProcessId, DWORD* pdwSession)
{
    return ProcessIdToSessionId(dwProcessId, pdwSession);
}

BOOL SystemQueryUserToken(DWORD dwSession, HANDLE* phToken)
{
    auto pfnWTSQueryUserToken = TakeSystemProc<PFN_WTSQUERYUSERTOKEN>(L"wtsapi32.dll", "WTSQueryUserToken");
    return pfnWTSQueryUserToken && pfnWTSQueryUserToken(dwSession, phToken);
}

BOOL SystemQueryShellToken(HANDLE* phToken)
{
    HWND hShell = GetShellWindow();
    DWORD dwProcessId = 0;
    if (!hShell || !GetWindowThreadProcessId(hShell, &dwProcessId) || dwProcessId == 0)
        return FALSE;
    CHandle hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
    CHandle hShellToken;
    if (!hProcess.IsValid() || !OpenProcessToken(hProcess.Get(), TOKEN_DUPLICATE, hShellToken.Receive()))
        return FALSE;
    const DWORD dwAccess =
        TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
    return DuplicateTokenEx(hShellToken.Get(), dwAccess, nullptr, SecurityImpersonation, TokenPrimary, phToken);
}

// The user's block with "__COMPAT_LAYER=RunAsInvoker" in place of any
// compatibility layer it had, in a block of the process heap.
BOOL AddAsInvoker(LPCWSTR pEnvironment, CHeapBlock& block)
{
    size_t cchBlock = 0;
    while (pEnvironment[cchBlock])
        cchBlock += wcslen(pEnvironment + cchBlock) + 1;
    const size_t cchAdded = wcslen(kAsInvoker) + 1;
    block.Reset(HeapAllocZero((cchBlock + cchAdded + 1) * sizeof(WCHAR)));
    if (!block.IsValid())
        return FALSE;
    LPWSTR pOut = static_cast<LPWSTR>(block.Get());
    const size_t cchName = wcslen(kCompatLayerName);
    for (LPCWSTR p = pEnvironment; *p; p += wcslen(p) + 1) {
        if (_wcsnicmp(p, kCompatLayerName, cchName) == 0)
            continue;
        size_t cch = wcslen(p) + 1;
        wmemcpy(pOut, p, cch);
        pOut += cch;
    }
    wmemcpy(pOut, kAsInvoker, cchAdded);
    return TRUE;
}

// CreateProcessAsUserW needs a privilege that SYSTEM holds and administrators
// do not; for them the same start goes through CreateProcessWithTokenW.
BOOL SystemStartProcessAsUser(HANDLE hToken, LPCWSTR szApp, LPWSTR szCmdLine, DWORD dwCreationFlags, BOOL bAsInvoker,
                              PROCESS_INFORMATION* pInfo)
{
    auto pfnCreate = TakeSystemProc<PFN_CREATEENVIRONMENTBLOCK>(L"userenv.dll", "CreateEnvironmentBlock");
    auto pfnDestroy = TakeSystemProc<PFN_DESTROYENVIRONMENTBLOCK>(L"userenv.dll", "DestroyEnvironmentBlock");
    LPVOID pEnvironment = nullptr;
    // Without the user's own block the program would get SYSTEM's variables.
    if (!pfnCreate || !pfnDestroy || !pfnCreate(&pEnvironment, hToken, FALSE))
        return FALSE;
    auto destroy = MakeScopeGuard([&] {
        DWORD dwError = GetLastError();
        pfnDestroy(pEnvironment);
        SetLastError(dwError);
    });
    CHeapBlock asInvoker;
    if (bAsInvoker && !AddAsInvoker(static_cast<LPCWSTR>(pEnvironment), asInvoker))
        return FALSE;
    LPVOID pBlock = bAsInvoker ? asInvoker.Get() : pEnvironment;
    // The program's own folder as its current one: the tool's may be a fleet
    // tool's cache that the user cannot open.
    WCHAR szFolder[MAX_PATH] = {};
    CopyFolderPart(szFolder, MAX_PATH, szApp);
    LPCWSTR szCurrent = szFolder[0] ? szFolder : nullptr;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.lpDesktop = s_szDesktop;
    // No standard handles: a fleet agent that reads the tool's output through
    // a pipe would otherwise wait for the started program to end.
    si.dwFlags = STARTF_USESTDHANDLES;
    dwCreationFlags |= CREATE_UNICODE_ENVIRONMENT;
    if (CreateProcessAsUserW(hToken, szApp, szCmdLine, nullptr, nullptr, FALSE, dwCreationFlags, pBlock, szCurrent, &si,
                             pInfo))
        return TRUE;
    if (GetLastError() != ERROR_PRIVILEGE_NOT_HELD)
        return FALSE;
    return CreateProcessWithTokenW(hToken, 0, szApp, szCmdLine, dwCreationFlags, pBlock, szCurrent, &si, pInfo);
}

const SESSION_HOOKS s_SystemSessions = {SystemRunsAsSystem,      SystemRunsElevated,   SystemActiveConsoleSession,
                                        SystemProcessSession,    SystemQueryUserToken, SystemQueryShellToken,
                                        SystemStartProcessAsUser};
const SESSION_HOOKS* s_pSessions = &s_SystemSessions;

}  // namespace

BOOL RunsAsSystem()
{
    return s_pSessions->pfnRunsAsSystem();
}

BOOL RunsElevated()
{
    return s_pSessions->pfnRunsElevated();
}

DWORD GetActiveConsoleSession()
{
    return s_pSessions->pfnActiveConsoleSession();
}

BOOL GetProcessSession(DWORD dwProcessId, DWORD* pdwSession)
{
    return s_pSessions->pfnProcessSession(dwProcessId, pdwSession);
}

DWORD GetOwnSession()
{
    DWORD dwSession = 0;
    if (!GetProcessSession(GetCurrentProcessId(), &dwSession))
        return 0;
    return dwSession;
}

BOOL QuerySessionUserToken(DWORD dwSession, CHandle& hToken)
{
    return s_pSessions->pfnQueryUserToken(dwSession, hToken.Receive());
}

BOOL QueryConsoleUserToken(CHandle& hToken)
{
    DWORD dwSession = GetActiveConsoleSession();
    return dwSession != g_dwNoSession && QuerySessionUserToken(dwSession, hToken);
}

BOOL QueryShellToken(CHandle& hToken)
{
    return s_pSessions->pfnQueryShellToken(hToken.Receive());
}

BOOL StartProcessAsUser(HANDLE hToken, LPCWSTR szApp, LPWSTR szCmdLine, DWORD dwCreationFlags, BOOL bAsInvoker,
                        PROCESS_INFORMATION* pInfo)
{
    return s_pSessions->pfnStartProcessAsUser(hToken, szApp, szCmdLine, dwCreationFlags, bAsInvoker, pInfo);
}

BOOL GetTokenUserSid(HANDLE hToken, CLocalBlock& szSid)
{
    CHeapBlock user;
    if (!GetTokenInfo(hToken, TokenUser, user))
        return FALSE;
    LPWSTR szText = nullptr;
    if (!ConvertSidToStringSidW(static_cast<TOKEN_USER*>(user.Get())->User.Sid, &szText))
        return FALSE;
    szSid.Reset(szText);
    return TRUE;
}

const SESSION_HOOKS* SetSessionHooks(const SESSION_HOOKS* pHooks)
{
    const SESSION_HOOKS* pPrevious = s_pSessions;
    s_pSessions = pHooks ? pHooks : &s_SystemSessions;
    return pPrevious;
}

const SESSION_HOOKS* GetSystemSessionHooks()
{
    return &s_SystemSessions;
}
