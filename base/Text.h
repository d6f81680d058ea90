// Bounded text helpers for fixed buffers. Each returns FALSE when the text did
// not fit, and callers that must not act on a cut text check the result: the
// copy and the append leave what fitted, terminated; the format leaves the
// empty text.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "WinTypes.h"

BOOL CopyText(LPWSTR szDst, size_t cchDst, LPCWSTR szSrc);
BOOL AppendText(LPWSTR szDst, size_t cchDst, LPCWSTR szSrc);
BOOL FormatText(LPWSTR szDst, size_t cchDst, LPCWSTR szFormat, ...);
