// The process exit codes, as Configuration Manager and Intune read them by
// default, and how the outcomes of one run add up to one of them.
#pragma once

#include "../base/WinTypes.h"

enum {
    KV_EXIT_DONE = 0,                // every action that ran succeeded or had nothing to do
    KV_EXIT_UNINSTALL_ONLY = 1,      // uninstall without install: the rest was left out
    KV_EXIT_NOTHING_DEPLOYED = 2,    // usage text or an unreadable project: no action ran
    KV_EXIT_ACTION_FAILED = 1603,    // an action that ran failed
    KV_EXIT_INSTALLER_BUSY = 1618,   // another installation stayed in progress past the wait
    KV_EXIT_RESTART_STARTED = 1641,  // an installer started a restart; nothing ran after it
    KV_EXIT_RESTART_NEEDED = 3010,   // an installer asked for a restart
};

// The worse of two exit codes: 2, 1603, 1618, 1641, 3010, 1, 0, worst first.
int WorseExitCode(int nFirst, int nSecond);

// What an exit code tells, for the log's closing entry.
LPCWSTR ExitCodeMeaning(int nExitCode);
