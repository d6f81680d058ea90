// Where the tool takes the system's own programs and libraries from. It runs
// elevated, often as SYSTEM, from folders that other users may write: a name
// left to a search could be answered by a file planted in the tool's folder
// or the current folder.
#pragma once

#include <cstddef>

#include "WinTypes.h"

// Limits where libraries are loaded from to the system folder, where the
// system knows how (Windows 8 and later, and Windows 7 and Vista with
// KB2533623); on older systems it does nothing.
void LimitDllSearch();

// "<system folder>\<szName>". FALSE, with the empty text, when the system
// folder cannot be had or the path does not fit.
BOOL GetSystemFilePath(LPCWSTR szName, LPWSTR szPath, size_t cchPath);

// An entry point of a system library, loaded by its full path from the system
// folder and kept for the life of the process; null when either is missing.
// For libraries that the tool must not import: an import is looked for beside
// the tool before the system folder.
FARPROC GetSystemProcAddress(LPCWSTR szLibrary, LPCSTR szProcName);
