// Every line the tool prints goes through here, wide and 8-bit alike, so that
// the lines come out in the order they were printed. A line ends in the
// "\r\n" it carries, once: nothing is translated on the way out.
//
// On a console the text is written through the console's wide API, so no
// character is lost. Redirected to a file or a pipe, it is written in the
// console's output code page (the ANSI code page where there is no console);
// a character that code page cannot hold is replaced, the rest of the line
// still printed.
#pragma once

#include <cstddef>

#include "WinTypes.h"

// Formats with the C library's wide rules: use %ls for wide strings.
void ConsolePrintW(LPCWSTR szFormat, ...);

// Formats 8-bit text taken to be in the ANSI code page; %s for 8-bit strings.
void ConsolePrintA(LPCSTR szFormat, ...);

void ConsoleWriteW(LPCWSTR szText, size_t cch);
