// Bounded text helpers for fixed buffers. Each returns FALSE when the text did
// not fit, and callers that must not act on a cut text check the result: the
// copy and the append leave what fitted, terminated; the format leaves the
// empty text.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "WinTypes.h"

// Composed paths and command lines are built in work buffers of this many
// units, the terminator included.
inline constexpr size_t g_cchWorkPath = 292;

// TRUE when a composed text fits a work buffer with its terminator.
BOOL FitsWorkPath(LPCWSTR szText);

BOOL CopyText(LPWSTR szDst, size_t cchDst, LPCWSTR szSrc);
BOOL AppendText(LPWSTR szDst, size_t cchDst, LPCWSTR szSrc);
BOOL FormatText(LPWSTR szDst, size_t cchDst, LPCWSTR szFormat, ...);

// The folder part of szPath, up to and with its last backslash; the empty
// text, and FALSE, when szPath holds no backslash or does not fit.
BOOL CopyFolderPart(LPWSTR szDst, size_t cchDst, LPCWSTR szPath);
