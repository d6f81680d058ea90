// A scripted service control manager bound in place of Win32 for the life of
// the object: services whose states follow timelines on the fake clock,
// active dependents, a database lock held by another process, refusals.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/WinTypes.h"
#include "service/ScmApi.h"

namespace kvtest {

// A state a service shows from dwAtMs after the timeline began and from its
// nAtQuery-th status query on, whichever comes later.
struct FAKE_STATUS {
    DWORD dwAtMs;
    int nAtQuery;
    DWORD dwState;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef std::vector<FAKE_STATUS> FAKE_TIMELINE;

FAKE_TIMELINE Steady(DWORD dwState, DWORD dwWaitHint = 0);
// dwFrom (a pending state with its hint), then dwTo from dwAfterMs on.
FAKE_TIMELINE Becomes(DWORD dwFrom, DWORD dwWaitHint, DWORD dwTo, DWORD dwAfterMs);

struct FAKE_SERVICE {
    FAKE_TIMELINE timeline = Steady(SERVICE_STOPPED);
    FAKE_TIMELINE onStart = Steady(SERVICE_RUNNING);
    FAKE_TIMELINE onStop = Steady(SERVICE_STOPPED);
    DWORD dwStartError = ERROR_SUCCESS;    // StartServiceW fails with it
    DWORD dwStopError = ERROR_SUCCESS;     // ControlService fails with it
    DWORD dwDeniedAccess = 0;              // OpenServiceW with any of these rights fails
    std::vector<std::wstring> dependents;  // active ones, in the order enumerated

    // Kept by the fake.
    DWORD dwAnchor = 0;
    int nQueries = 0;
};

struct FAKE_CREATE {
    std::wstring name, displayName, binaryPath;
    DWORD dwAccess, dwType, dwStart, dwErrorControl;
    bool bNullAccount, bNullDependencies;
};

class CFakeScm {
public:
    CFakeScm();
    ~CFakeScm();
    CFakeScm(const CFakeScm&) = delete;
    CFakeScm& operator=(const CFakeScm&) = delete;

    // A service (again) whose timeline begins now.
    FAKE_SERVICE& Add(const std::wstring& name, const FAKE_TIMELINE& timeline = Steady(SERVICE_STOPPED));
    bool Exists(const std::wstring& name) const { return m_services.count(name) != 0; }

    // What the code under test did, one entry per call: "manager f003f",
    // "open QuorvaneSvc 2c", "start X", "stop X", "enum X", "describe X",
    // "lock", "lockstatus", "unlock", "create X", "delete X", "close X"
    // ("close manager"). Status queries are only counted.
    std::vector<std::wstring> log;
    // The entries that begin with one of the words given, in order.
    std::vector<std::wstring> Calls(std::initializer_list<const wchar_t*> words) const;
    int Queries() const { return m_nQueries; }
    int OpenHandles() const { return static_cast<int>(m_handles.size()); }

    std::set<DWORD> deniedManagerAccess;  // OpenSCManagerW with this access fails
    int nFailManagerOpen = 0;             // the n-th OpenSCManagerW fails (from 1)
    DWORD dwCreateError = ERROR_SUCCESS;
    DWORD dwDescribeError = ERROR_SUCCESS;
    DWORD dwDeleteError = ERROR_SUCCESS;
    DWORD dwEnumError = ERROR_SUCCESS;
    DWORD dwLockError = ERROR_SUCCESS;  // ERROR_SERVICE_DATABASE_LOCKED: another process holds it
    DWORD dwLockStatusError = ERROR_SUCCESS;
    FAKE_CREATE created = {};
    std::map<std::wstring, std::wstring> descriptions;

private:
    static CFakeScm* s_pThis;
    CFakeScm* m_pPreviousThis;
    std::map<std::wstring, FAKE_SERVICE> m_services;
    std::map<SC_HANDLE, std::wstring> m_handles;  // open handles; L"" is the manager
    int m_nNextHandle = 0x100;
    int m_nManagerOpens = 0;
    int m_nQueries = 0;
    const SCM_API* m_pPrevious;

    SC_HANDLE NewHandle(const std::wstring& name);
    FAKE_SERVICE* ServiceOf(SC_HANDLE h, std::wstring* pName = nullptr);
    static void Restart(FAKE_SERVICE& service, const FAKE_TIMELINE& timeline);
    static const FAKE_STATUS& Current(FAKE_SERVICE& service);

    static SC_HANDLE WINAPI OpenManager(LPCWSTR, LPCWSTR, DWORD dwAccess);
    static SC_HANDLE WINAPI OpenSvc(SC_HANDLE, LPCWSTR szName, DWORD dwAccess);
    static SC_HANDLE WINAPI Create(SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD, DWORD, LPCWSTR, LPCWSTR, LPDWORD,
                                   LPCWSTR, LPCWSTR, LPCWSTR);
    static BOOL WINAPI Delete(SC_HANDLE h);
    static BOOL WINAPI Close(SC_HANDLE h);
    static BOOL WINAPI Start(SC_HANDLE h, DWORD, LPCWSTR*);
    static BOOL WINAPI Control(SC_HANDLE h, DWORD dwControl, LPSERVICE_STATUS pStatus);
    static BOOL WINAPI Query(SC_HANDLE h, SC_STATUS_TYPE level, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbNeeded);
    static BOOL WINAPI EnumDependents(SC_HANDLE h, DWORD, LPENUM_SERVICE_STATUSW pBuffer, DWORD cbBuffer,
                                      LPDWORD pcbNeeded, LPDWORD pnCount);
    static BOOL WINAPI ChangeConfig2(SC_HANDLE h, DWORD dwLevel, LPVOID pInfo);
    static SC_LOCK WINAPI Lock(SC_HANDLE h);
    static BOOL WINAPI Unlock(SC_LOCK lock);
    static BOOL WINAPI LockStatus(SC_HANDLE h, LPQUERY_SERVICE_LOCK_STATUSW pStatus, DWORD cbBuffer, LPDWORD pcbNeeded);
};

}  // namespace kvtest
