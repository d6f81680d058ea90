// The all-users data folder is open to every user: before the product is
// installed anyone may make "Talwick" (and the product's folder in it) as a
// folder of their own or as a link to somewhere else, and the elevated tool
// would then write where that user chose. The service's project goes only
// into folders that are no links and that an administrator, the system or
// the installer service owns.
#pragma once

#include "../base/WinTypes.h"

// The calls through which those folders are made and checked. Bound to
// Win32; tests swap in others, since Wine shows neither owners nor links.
struct FOLDER_SAFETY_HOOKS {
    DWORD(WINAPI* pfnGetFileAttributesW)(LPCWSTR szPath);
    BOOL(WINAPI* pfnCreateDirectoryW)(LPCWSTR szPath, LPSECURITY_ATTRIBUTES pAttributes);
    // The owner's SID copied into pSid, of cbSid bytes; FALSE when it
    // cannot be had.
    BOOL (*pfnGetOwner)(LPCWSTR szPath, PSID pSid, DWORD cbSid);
};

// Installs other hooks (null restores the system's); returns the previous ones.
const FOLDER_SAFETY_HOOKS* SetFolderSafetyHooks(const FOLDER_SAFETY_HOOKS* pHooks);

// Makes the folder when it is missing, with a DACL of its own that is not
// inherited: Administrators and SYSTEM full control, Users read and execute.
// Then it must be a folder, no reparse point, and owned by Administrators,
// SYSTEM, TrustedInstaller or the account the tool runs as. FALSE, with a
// line naming the folder and why, otherwise.
BOOL MakeTrustedFolder(LPCWSTR szFolder);

// An existing folder as above (a missing one is fine: nothing can be written
// through it); FALSE with its line otherwise.
BOOL CheckTrustedFolder(LPCWSTR szFolder);

// A file to be replaced must be no link: the copy would write through it.
BOOL CheckNoLink(LPCWSTR szFile);
