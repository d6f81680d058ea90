#pragma once

#include <cstddef>

#include "../base/WinTypes.h"

// The product's install folder from the registry, ending in a backslash.
// Returns its length; writes it into szDir (which may be null) only when it
// fits with its terminator, else the empty text and 0.
int GetInstallDir(LPWSTR szDir, int nSize);

// The full path of one of the product's programs, "<install folder><szBaseName>.exe",
// from a usable install folder: registered, a full path, an existing folder,
// and short enough for the file name to fit a path. Otherwise FALSE, the empty
// text, and a line that says why: the tool never starts a program or
// registers a service by a bare name, which Windows would resolve by a search
// that starts in folders other users may write.
BOOL ComposeProgramPath(LPCWSTR szBaseName, LPWSTR szPath, size_t cchPath);
