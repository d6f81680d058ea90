// Asking the running application to close, waiting for it, starting it again.
// Nothing here ends a process by force: every request is a posted message.
#pragma once

#include "../base/WinTypes.h"

void CloseApplication(LPCWSTR szClass);
BOOL WaitApplicationExit();
// Both of the above, with the product's main window class: TRUE when no
// instance is left.
// Also ends the instances of the other sessions, through the close-only mode
// started there, and succeeds only when no process of the application is
// left in any session.
BOOL StopApplication();
// As SYSTEM: in the console session, as its user, with that user's
// environment; elevated: with the desktop shell's unelevated token.
BOOL StartApplication();

// The close-only mode: the tool's own executable, started by StopApplication
// in another session, closes that session's instances and answers by its
// exit code. Its argument is internal; no file name can hold the '|'.
inline constexpr WCHAR g_szCloseOnlyArgument[] = L"|close-application";
enum {
    KV_CLOSE_ONLY_CLOSED = 0,  // no instance is left in the session
    KV_CLOSE_ONLY_LEFT = 1,    // one still runs after the last check
};
BOOL IsCloseOnlyArgument(LPCWSTR szArgument);
int RunCloseOnlyMode();
