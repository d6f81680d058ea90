#pragma once

#include "WinTypes.h"

// The tool's own folder, ending in its separator: the prefix of every relative
// name a project gives (packages, copied files, projects to place). Set once
// by the driver before anything else runs.
extern WCHAR szStartFolder[MAX_PATH];
