// The few platform calls of the profile engine and the project reader: reading
// a file whole, the heap, and code-page conversion. The Win32 binding is the
// product's; a host binding lets the same sources run on Linux under the
// sanitizers and the fuzzer.
#pragma once

#include <cstddef>

#include "../base/WinTypes.h"

struct PROFILE_FILE;

// Opens an existing file for reading, others may read it too; null when it
// cannot be opened for whatever reason.
PROFILE_FILE* ProfileOpenFile(LPCWSTR szPath);

// TRUE for a file on a disk; FALSE for a device (NUL, COM1, CON) or a pipe.
BOOL ProfileIsDiskFile(PROFILE_FILE* pFile);

// The first file size refused: no text of 2 GiB is a project, and below it
// the buffer arithmetic stays within 32 bits.
const unsigned long long kProfileFileSizeLimit = 0x80000000ULL;

// FALSE when the size cannot be had, for what is not a file on a disk, and
// when it is kProfileFileSizeLimit or more.
BOOL ProfileGetFileSize(PROFILE_FILE* pFile, DWORD* pdwSize);

BOOL ProfileReadFile(PROFILE_FILE* pFile, void* pBuffer, DWORD cbToRead, DWORD* pcbRead);
void ProfileCloseFile(PROFILE_FILE* pFile);

// Zero-filled; null when no memory could be had.
void* ProfileAlloc(size_t cb);
void ProfileFree(void* p);

UINT ProfileAnsiCodePage();

// MultiByteToWideChar and WideCharToMultiByte as the engine uses them: the
// ANSI code page with MB_PRECOMPOSED / WC_COMPOSITECHECK and no default
// character, UTF-8 without flags. Same results: the count written (with the
// terminator when cchSrc is -1), 0 when the destination is too small.
int ProfileMultiByteToWide(UINT uCodePage, LPCSTR szSrc, int cbSrc, LPWSTR szDst, int cchDst);
int ProfileWideToMultiByte(UINT uCodePage, LPCWSTR szSrc, int cchSrc, LPSTR szDst, int cbDst);
