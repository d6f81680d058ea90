// The console of the host build. Lines come out as UTF-8 on standard output,
// or are collected in a sink (a test's capture, or a fuzz target discarding
// them); they are formatted either way, so a bad format is still caught.
#pragma once

#include <string>

// Null: standard output again.
void HostConsoleRedirect(std::string* pSink);
