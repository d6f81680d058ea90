// Path helpers of the project placement.
#pragma once

#include <cstddef>

#include "../base/WinTypes.h"

// What FileExists found at a path.
enum {
    KV_PATH_NOTHING = 0,
    KV_PATH_FILE = 1,
    KV_PATH_FOLDER = 2,
};

// KV_PATH_NOTHING for a null or empty path, a path that names nothing, or
// when no memory could be had; one trailing backslash is ignored.
int FileExists(LPCWSTR szPath);

// Replaces the extension of the last path component by szExtension (which
// carries its dot), or appends it when that component has none; only '\\'
// separates components. FALSE, the path unchanged, when the result would not
// fit cchPath units with its terminator.
BOOL ReplaceExtension(LPWSTR szPath, size_t cchPath, LPCWSTR szExtension);
