// Running the product's installer package through MsiExec.exe, elevated.
#pragma once

#include "../base/Handles.h"
#include "../base/WinTypes.h"

// Runs MsiExec.exe with "/x" (uninstall) or "/i" (install) and waits for it.
// TRUE when the installer ended with success: 0, or 1641 and 3010, which ask
// for a restart. Any other exit code prints its own 8-bit error line.
BOOL RunInstaller(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage);

// The argument text of MsiExec.exe, in a block of the process heap: the
// options, the switch, then the package, with the tool's folder in front of a
// name that is neither a full path nor the product code, in double quotes
// when folder or package hold a space. FALSE when the block cannot be had.
BOOL BuildInstallerArguments(LPCWSTR szPackage, LPCWSTR szOptions, BOOL bUninstallPackage, CHeapBlock& argText);

// The process handle of the started program, owned by the caller, or null.
HANDLE ShellExecuteElevated(LPCWSTR szFile, LPCWSTR szParameters);
BOOL IsVistaOrLater();
