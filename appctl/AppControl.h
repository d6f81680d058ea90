// Asking the running application to close, waiting for it, starting it again.
// Nothing here ends a process by force: every request is a posted message.
#pragma once

#include "../base/WinTypes.h"

void CloseApplication(LPCWSTR szClass);
BOOL WaitApplicationExit();
BOOL StartApplication();
