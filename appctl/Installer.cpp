// Placeholder until the installer runner lands.
#include "Installer.h"

BOOL RunInstaller(LPCWSTR, LPCWSTR, BOOL) { return FALSE; }
HANDLE ShellExecuteElevated(LPCWSTR, LPCWSTR) { return nullptr; }
BOOL IsVistaOrLater() { return TRUE; }
