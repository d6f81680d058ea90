// The table of running application instances, shared with the application:
// each instance records its main and dialog window there under its user's
// name. The tool only reads it, to ask every instance to close.
#pragma once

#include "../base/Handles.h"
#include "../base/WinTypes.h"
#include "CommMappingFile.h"
#include "SessionTable.h"

class CInstanceMngr : public CCommMappingFile {
public:
    CInstanceMngr();
    // A table and mutex of other names, sharing nothing with the application.
    CInstanceMngr(LPCWSTR szMappingName, LPCWSTR szMutexName);
    ~CInstanceMngr() override;

    // TRUE when the table was created or opened. Takes the mutex while it
    // creates and clears the table, but waits at most a bounded time for it.
    BOOL Initialize();

    // The tool's reads take no lock: they only lead to posted messages.
    HWND GetCurrentMainWnd();
    BOOL SetCurrentMainWnd(HWND hWnd);
    // Asks every recorded instance to close: its dialog to cancel, its main
    // window to close. Only windows of the application's own processes get
    // a message.
    void CloseAllSessions();

    // The records, keyed by user name (null or empty: the user running this
    // process). Find* without "Wnd" take no lock: their callers hold it.
    int FindSessionIndex(LPCWSTR szUser);
    SESSION_ITEM* FindSession(LPCWSTR szUser);
    SESSION_ITEM* AddSession(LPCWSTR szUser);
    BOOL RegisterMainWnd(HWND hWnd, LPCWSTR szUser);
    BOOL RegisterDlgWnd(HWND hWnd, LPCWSTR szUser);
    HWND FindMainWnd(LPCWSTR szUser);
    HWND FindDlgWnd(LPCWSTR szUser);
    // Records in use that name a user and a main window.
    int GetSessionCount();
    BOOL RemoveSession(LPCWSTR szUser);

private:
    // Takes the table's mutex, waiting at most dwTimeout ms; the guard that
    // comes back releases it, when it could be had, at the end of the scope.
    auto LockTable(DWORD dwTimeout = INFINITE);
    // nCount as another program may have written it, bounded to the table.
    int RecordsInUse() const;
    LPCWSTR UserOrSelf(LPCWSTR szUser) const;
    // Finds or adds the user's record, under the mutex, and sets one of its windows.
    BOOL RecordWindow(DWORD SESSION_ITEM::*pField, HWND hWnd, LPCWSTR szUser);

    WCHAR m_szUserName[g_nSessionUserUnits];
    SESSION_TABLE* m_pTable;
    CHandle m_hMutex;
    WCHAR m_szMutexName[MAX_PATH];
};

// The process-wide instance registry, built at start-up before the program's
// main runs, with the product's own table and mutex. Defined once, in the
// instance library, for every program that uses it or the free functions below.
extern CInstanceMngr g_InstanceMngr;

// The current main window of the table when it is recorded and a window of
// the application; else the main window of instance number iIndex, or with -1
// of the first of the numbers 0 to 9 that has one. Only windows of the
// application's processes are taken, so null means no instance was found.
HWND FindAppMainWindow(int iIndex);

// The first top-level window of the class that belongs to the application;
// windows of other programs that use the class are passed over.
HWND FindApplicationWindow(LPCWSTR szClass);

// g_InstanceMngr's records of the user running this process.
int GetAppSessionCount();
BOOL RegisterAppMainWnd(HWND hWnd);
BOOL RemoveAppSession();
BOOL RegisterAppDlgWnd(HWND hWnd);
HWND FindAppDlgWnd();
void CloseAppSessions();

// The main window class of instance number nInstance: the product's class
// for 0, "<class>:<n>" for the others.
BOOL GetAppMainWndClass(int nInstance, LPWSTR szClass, size_t cchClass);

// TRUE when the window belongs to a process whose executable is the
// application's, in this process's session. The table may be written by any
// user: a handle read from it is trusted only after this test.
BOOL IsApplicationWindow(HWND hWnd);
// TRUE for the application's executable file name (no folder), in any case.
BOOL IsApplicationFileName(LPCWSTR szFile);
