// Asking the running application to close, waiting for it, starting it again.
// Nothing here ends a process by force: every request is a posted message.
#pragma once

#include "../base/WinTypes.h"

void CloseApplication(LPCWSTR szClass);
BOOL WaitApplicationExit();
// Both of the above, with the product's main window class: TRUE when no
// instance is left.
BOOL StopApplication();
BOOL StartApplication();
