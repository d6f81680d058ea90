#pragma once

#include "WinTypes.h"

// The tool's own folder, ending in its separator: the prefix of every relative
// name a project gives (packages, copied files, projects to place). Set once
// by the driver before anything else runs.
extern WCHAR szStartFolder[MAX_PATH];

// A name that is taken as it stands, not behind szStartFolder: one that
// starts with a backslash (a share, or the current drive's root) or names a
// drive ("C:...").
BOOL IsFullPath(LPCWSTR szName);
