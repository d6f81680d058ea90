#pragma once

#include "../base/WinTypes.h"

// The product's install folder from the registry, ending in a backslash.
// Returns its length; writes it into szDir (which may be null) only when it
// fits with its terminator, else the empty text and 0.
int GetInstallDir(LPWSTR szDir, int nSize);
