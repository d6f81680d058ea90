// The run's log: where the project puts it, its header and its closing entry.
#pragma once

#include "../base/WinTypes.h"

// Opens the log that szLogSetting names (the project's "log_file": empty for
// the default, "no" for none) and writes the header entry. A log that cannot
// be written costs one console line and nothing else.
void StartRunLog(LPCWSTR szProject, LPCWSTR szLogSetting);

// The open log's folder with its separator; empty without a log.
LPCWSTR RunLogFolder();

// Writes the closing entry with the exit code and what it means, closes the
// log and returns the exit code.
int EndRunLog(int nExitCode);
