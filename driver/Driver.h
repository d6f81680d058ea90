#pragma once

#include "../base/WinTypes.h"

// Process exit codes.
enum {
    KV_EXIT_DONE = 0,              // the sequence ran to its end, whatever its actions' outcomes
    KV_EXIT_UNINSTALL_ONLY = 1,    // uninstall without install: the rest was left out
    KV_EXIT_NOTHING_DEPLOYED = 2,  // usage text or an unreadable project: no action ran
};

// The whole run: banner, project choice, project reading and the fixed
// sequence of actions. Returns the process exit code.
int RunDeployment(int argc, WCHAR** argv);
