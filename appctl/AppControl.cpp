// Placeholder until application control lands.
#include "AppControl.h"

void CloseApplication(LPCWSTR) {}
BOOL WaitApplicationExit() { return FALSE; }
BOOL StartApplication() { return FALSE; }
