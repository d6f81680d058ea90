#include "InstanceMngr.h"

#include <cstring>
#include <cwchar>

#include "../appctl/Product.h"
#include "../base/Clock.h"
#include "../base/ScopeGuard.h"
#include "../base/Sessions.h"
#include "../base/Text.h"
#include "Security.h"

namespace {

// Any local user can hold the mutex, which has a null DACL: the start-up wait
// for it is bounded, then the tool goes on without it.
const DWORD kStartupLockWaitMs = 10000;
const DWORD kLockPollMs = 100;
const DWORD kUserNameChars = g_nSessionUserUnits - 1;

BOOL IsAcquired(DWORD dwWait)
{
    return dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
}

// An abandoned mutex is ours all the same: its holder is gone.
BOOL AcquireMutex(HANDLE hMutex, DWORD dwTimeout)
{
    if (!hMutex)
        return FALSE;
    if (dwTimeout == INFINITE)
        return IsAcquired(WaitForSingleObject(hMutex, INFINITE));
    DWORD dwStart = ClockTickCount();
    for (;;) {
        DWORD dwWait = WaitForSingleObject(hMutex, 0);
        if (dwWait != WAIT_TIMEOUT)
            return IsAcquired(dwWait);
        if (ClockTickCount() - dwStart >= dwTimeout)
            return FALSE;
        ClockSleep(kLockPollMs);
    }
}

// Other processes write the table at any time.
DWORD ReadShared(const DWORD& dwField)
{
    return *static_cast<const volatile DWORD*>(&dwField);
}

void CopyUserName(WCHAR (&szDst)[g_nSessionUserUnits], LPCWSTR szSrc)
{
    bool bEnded = false;
    for (int i = 0; i < g_nSessionUserUnits; ++i) {
        bEnded = bEnded || szSrc[i] == L'\0';
        szDst[i] = bEnded ? L'\0' : szSrc[i];
    }
    szDst[g_nSessionUserUnits - 1] = L'\0';
}

}  // namespace

auto CInstanceMngr::LockTable(DWORD dwTimeout)
{
    HANDLE hHeld = AcquireMutex(m_hMutex.Get(), dwTimeout) ? m_hMutex.Get() : nullptr;
    return MakeScopeGuard([hHeld] {
        if (hHeld)
            ReleaseMutex(hHeld);
    });
}

CInstanceMngr::CInstanceMngr() : CInstanceMngr(g_szSessionMappingName, g_szSessionMutexName) {}

CInstanceMngr::CInstanceMngr(LPCWSTR szMappingName, LPCWSTR szMutexName)
    : CCommMappingFile(szMappingName), m_szUserName(), m_pTable(nullptr), m_szMutexName()
{
    CopyText(m_szMutexName, MAX_PATH, szMutexName);
    Initialize();
}

CInstanceMngr::~CInstanceMngr()
{
    if (m_pTable)
        UnmapView();
    CloseMapping();
}

BOOL CInstanceMngr::Initialize()
{
    m_hMutex.Reset(CreateGlobalMutex(FALSE, m_szMutexName, TRUE));
    BOOL bResult = FALSE;
    {
        auto hold = LockTable(kStartupLockWaitMs);
        if (Create(sizeof(SESSION_TABLE), FALSE) != 0) {
            m_pTable = static_cast<SESSION_TABLE*>(MapView(nullptr));
            if (!m_bExisted && m_pTable)
                memset(m_pTable, 0, sizeof(SESSION_TABLE));
            bResult = TRUE;
        } else {
            m_pTable = nullptr;
        }
    }
    wmemset(m_szUserName, L'\0', g_nSessionUserUnits);
    DWORD cchUser = kUserNameChars;
    GetUserNameW(m_szUserName, &cchUser);
    m_szUserName[kUserNameChars] = L'\0';
    return bResult;
}

int CInstanceMngr::RecordsInUse() const
{
    LONG nCount = static_cast<LONG>(ReadShared(reinterpret_cast<const DWORD&>(m_pTable->nCount)));
    if (nCount < 0)
        return 0;
    return nCount > g_nMaxSessions ? g_nMaxSessions : static_cast<int>(nCount);
}

LPCWSTR CInstanceMngr::UserOrSelf(LPCWSTR szUser) const
{
    return (szUser && szUser[0]) ? szUser : m_szUserName;
}

HWND CInstanceMngr::GetCurrentMainWnd()
{
    return m_pTable ? HandleFromTable(ReadShared(m_pTable->hWndMain)) : nullptr;
}

BOOL CInstanceMngr::SetCurrentMainWnd(HWND hWnd)
{
    if (!m_pTable)
        return FALSE;
    m_pTable->hWndMain = HandleToTable(hWnd);
    return TRUE;
}

void CInstanceMngr::CloseAllSessions()
{
    if (!m_pTable)
        return;
    for (int i = 0; i < RecordsInUse(); ++i) {
        HWND hDlg = HandleFromTable(ReadShared(m_pTable->items[i].hWndDlg));
        HWND hMain = HandleFromTable(ReadShared(m_pTable->items[i].hWndMain));
        if (hDlg && IsApplicationWindow(hDlg))
            PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
        if (hMain && IsApplicationWindow(hMain))
            PostMessageW(hMain, WM_CLOSE, g_nAppCloseParam, g_nAppCloseParam);
    }
}

int CInstanceMngr::FindSessionIndex(LPCWSTR szUser)
{
    if (!m_pTable)
        return -1;
    LPCWSTR szName = UserOrSelf(szUser);
    int nRecords = RecordsInUse();
    for (int i = 0; i < nRecords; ++i) {
        if (wcsncmp(m_pTable->items[i].szUserName, szName, kUserNameChars) == 0)
            return i;
    }
    return -1;
}

SESSION_ITEM* CInstanceMngr::FindSession(LPCWSTR szUser)
{
    int i = FindSessionIndex(szUser);
    return i < 0 ? nullptr : &m_pTable->items[i];
}

SESSION_ITEM* CInstanceMngr::AddSession(LPCWSTR szUser)
{
    if (!m_pTable)
        return nullptr;
    SESSION_ITEM* pItem = FindSession(szUser);
    if (!pItem) {
        int nRecords = RecordsInUse();
        if (nRecords >= g_nMaxSessions)
            return nullptr;
        pItem = &m_pTable->items[nRecords];
        m_pTable->nCount = nRecords + 1;
    }
    CopyUserName(pItem->szUserName, UserOrSelf(szUser));
    return pItem;
}

BOOL CInstanceMngr::RecordWindow(DWORD SESSION_ITEM::*pField, HWND hWnd, LPCWSTR szUser)
{
    if (!m_pTable)
        return FALSE;
    auto hold = LockTable();
    SESSION_ITEM* pItem = AddSession(szUser);
    if (!pItem)
        return FALSE;
    pItem->*pField = HandleToTable(hWnd);
    return TRUE;
}

BOOL CInstanceMngr::RegisterMainWnd(HWND hWnd, LPCWSTR szUser)
{
    SetCurrentMainWnd(hWnd);
    return RecordWindow(&SESSION_ITEM::hWndMain, hWnd, szUser);
}

BOOL CInstanceMngr::RegisterDlgWnd(HWND hWnd, LPCWSTR szUser)
{
    return RecordWindow(&SESSION_ITEM::hWndDlg, hWnd, szUser);
}

HWND CInstanceMngr::FindMainWnd(LPCWSTR szUser)
{
    if (!m_pTable)
        return nullptr;
    auto hold = LockTable();
    const SESSION_ITEM* pItem = FindSession(szUser);
    return HandleFromTable(pItem ? pItem->hWndMain : m_pTable->hWndMain);
}

HWND CInstanceMngr::FindDlgWnd(LPCWSTR szUser)
{
    if (!m_pTable)
        return nullptr;
    auto hold = LockTable();
    const SESSION_ITEM* pItem = FindSession(szUser);
    return pItem ? HandleFromTable(pItem->hWndDlg) : nullptr;
}

int CInstanceMngr::GetSessionCount()
{
    if (!m_pTable)
        return 0;
    auto hold = LockTable();
    int nSessions = 0;
    int nRecords = RecordsInUse();
    for (int i = 0; i < nRecords; ++i) {
        if (m_pTable->items[i].szUserName[0] != L'\0' && m_pTable->items[i].hWndMain != 0)
            ++nSessions;
    }
    return nSessions;
}

BOOL CInstanceMngr::RemoveSession(LPCWSTR szUser)
{
    if (!m_pTable)
        return FALSE;
    auto hold = LockTable();
    int iRemoved = FindSessionIndex(szUser);
    if (iRemoved < 0)
        return FALSE;
    SESSION_TABLE& table = *m_pTable;
    if (table.hWndMain == table.items[iRemoved].hWndMain)
        table.hWndMain = 0;
    if (table.hWndDlg == table.items[iRemoved].hWndDlg)
        table.hWndDlg = 0;
    // A writer that ignores the mutex may have lowered the count since the
    // record was found: never move records from outside the ones in use.
    int nRecords = RecordsInUse() - 1;
    if (iRemoved > nRecords)
        return FALSE;
    memmove(&table.items[iRemoved], &table.items[iRemoved + 1],
            static_cast<size_t>(nRecords - iRemoved) * sizeof(SESSION_ITEM));
    table.nCount = nRecords;
    if (nRecords > 0 && table.hWndMain == 0) {
        // After the last record is removed, the slot it leaves still holds
        // its windows: the new last record becomes current instead.
        const SESSION_ITEM& current = table.items[iRemoved < nRecords ? iRemoved : nRecords - 1];
        table.hWndMain = current.hWndMain;
        table.hWndDlg = current.hWndDlg;
    }
    return TRUE;
}

BOOL GetAppMainWndClass(int nInstance, LPWSTR szClass, size_t cchClass)
{
    if (nInstance == 0)
        return CopyText(szClass, cchClass, g_szAppMainWndClass);
    return FormatText(szClass, cchClass, L"%ls:%d", g_szAppMainWndClass, nInstance);
}

BOOL IsApplicationWindow(HWND hWnd)
{
    DWORD dwProcessId = 0;
    if (!GetWindowThreadProcessId(hWnd, &dwProcessId) || dwProcessId == 0)
        return FALSE;
    CHandle hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
    if (!hProcess.IsValid())
        return FALSE;
    WCHAR szImage[MAX_PATH * 4];
    DWORD cchImage = MAX_PATH * 4;
    if (!QueryFullProcessImageNameW(hProcess.Get(), 0, szImage, &cchImage))
        return FALSE;
    LPCWSTR szFile = szImage;
    for (LPCWSTR p = szImage; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            szFile = p + 1;
    }
    if (!IsApplicationFileName(szFile))
        return FALSE;
    // An instance of another session is that session's to close.
    DWORD dwSession = 0;
    return GetProcessSession(dwProcessId, &dwSession) && dwSession == GetOwnSession();
}

BOOL IsApplicationFileName(LPCWSTR szFile)
{
    WCHAR szAppFile[MAX_PATH];
    if (!FormatText(szAppFile, MAX_PATH, L"%ls%ls", g_szAppBaseName, g_szExeExtension))
        return FALSE;
    return CompareStringOrdinal(szFile, -1, szAppFile, -1, TRUE) == CSTR_EQUAL;
}
