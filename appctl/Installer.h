// Running the product's installer package through MsiExec.exe, elevated.
#pragma once

#include "../base/WinTypes.h"

// TRUE when the installer ran and ended with success.
BOOL RunInstaller(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage);
HANDLE ShellExecuteElevated(LPCWSTR szFile, LPCWSTR szParameters);
BOOL IsVistaOrLater();
