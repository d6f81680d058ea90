#pragma once

#include "WinTypes.h"

// The system's version in the basic record (platform and major version are
// all the tool asks of it). FALSE when the system does not say.
BOOL GetBasicVersionInfo(OSVERSIONINFOW* pInfo);
