// Placing the user's and the service's project files, each with its ".fsn"
// companion when one lies beside it, into the product's data folders.
#pragma once

#include "../base/WinTypes.h"

// Into the user's roaming application data; also points the product at the
// project and its ".fsl" log file under the user's registry key. TRUE when the
// project file itself was copied.
BOOL SetUserProject(LPCWSTR szProject);

// Into the application data shared by all users. TRUE when the project file
// itself was copied.
BOOL SetServiceProject(LPCWSTR szProject);
