// The tool's log file: every console line, time-stamped, one entry per line
// in the format that Configuration Manager's log viewers read. Run as SYSTEM
// no one sees the console, so the log is what is left of a run.
//
// The console feeds every line it prints here. Lines printed before the log
// can be opened (the project names it) are kept and written right after the
// header entry. Nothing here ever changes the run: a log that cannot be
// written is the caller's one line, and later write failures are dropped.
#pragma once

#include <cstddef>
#include <string>

#include "WinTypes.h"

enum {
    KV_LOG_INFO = 1,
    KV_LOG_WARNING = 2,  // restart lines
    KV_LOG_ERROR = 3,    // failure and error lines
};

// A log of this size or more is renamed to its ".lo_" name before a run writes.
inline constexpr DWORD g_cbLogRotateSize = 10 * 1024 * 1024;

// From now on console lines are kept for the log, until it opens or is off.
void LogCollect();

// Opens szPath for appending, renaming a large one first and creating its
// missing folders. The header is the first entry, the kept lines follow.
// FALSE, with GetLastError() set, when the file cannot be written; the kept
// lines are dropped then.
BOOL LogOpen(LPCWSTR szPath, LPCWSTR szHeader);

// Drops the kept lines; nothing more is logged.
void LogOff();

// Writes what is left of a line without its end and closes the file.
void LogClose();

BOOL LogIsOpen();

// An entry of the log alone, not printed.
void LogEntry(LPCWSTR szText, int nType);

// What the console prints: split into entries at each line end; text after
// the last line end waits for the rest of its line.
void LogConsoleText(LPCWSTR szText, size_t cch);

// The entry type of a console line: errors and failures, restart lines, the rest.
int LogLineType(LPCWSTR szLine, size_t cch);

// The name a rotated log gets: the extension replaced by ".lo_" (added when
// there is none). FALSE when it does not fit.
BOOL LogRotatedName(LPCWSTR szPath, LPWSTR szRotated, size_t cchRotated);

// One entry as it stands in the file, without its line end.
struct LOG_STAMP {
    SYSTEMTIME time;  // local time
    LONG lBias;       // minutes to add to local time for UTC
};
std::wstring LogFormatEntry(const std::wstring& text, int nType, const LOG_STAMP& stamp, LPCWSTR szContext,
                            DWORD dwThread);
