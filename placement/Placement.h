// Placing the user's and the service's project files into the product's data
// folders.
#pragma once

#include "../base/WinTypes.h"

BOOL SetUserProject(LPCWSTR szProject);
BOOL SetServiceProject(LPCWSTR szProject);
