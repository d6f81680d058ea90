// What objects shared with other users' processes need from the security
// model: descriptors that every user may use, a mutex in the global
// namespace, privileges of the process token, and the error line these
// routines print when a Windows call fails.
#pragma once

#include "../base/WinTypes.h"

// Adjusts the named privileges of the process token: enabled, or removed when
// bRemove. Names the system does not know are skipped; FALSE when none is left.
// With ppPrevious the earlier state comes back in a process-heap block that
// the caller frees with HeapFree.
BOOL EnablePrivileges(LPCWSTR const* szPrivileges, int nPrivileges, BOOL bRemove, PTOKEN_PRIVILEGES* ppPrevious);

// Prints "Error:<system text>." for the code (0: the thread's last error), or
// the code's number when the system has no text for it.
void PrintError(DWORD dwError);

// A descriptor whose DACL is null grants everyone every access. Descriptors
// from the builders here belong to the caller, who releases them with FreeSD.
PSECURITY_DESCRIPTOR CreateNullDaclSD();
PSECURITY_DESCRIPTOR CreateNullDaclSDQuiet();
// Everyone: read control, write DAC, write owner.
PSECURITY_DESCRIPTOR CreateEveryoneControlSD();
// Everyone: KEY_READ; Administrators: KEY_ALL_ACCESS.
PSECURITY_DESCRIPTOR CreateEveryoneReadAdminAllSD();
// Administrators alone: KEY_ALL_ACCESS.
PSECURITY_DESCRIPTOR CreateAdminAllSD();
void FreeSD(PSECURITY_DESCRIPTOR pSD);

// The descriptor of every named mutex made here; made on first use and kept
// for the life of the process.
extern PSECURITY_DESCRIPTOR g_pMutexSD;

// A mutex named "Global\<szName>" when bGlobal and the system allows it, else
// named szName in the caller's own namespace (unnamed for a null name). A
// name another account made with a stricter descriptor is opened instead.
// Null when nothing could be had; prints nothing.
HANDLE CreateGlobalMutex(BOOL bInitialOwner, LPCWSTR szName, BOOL bGlobal);
