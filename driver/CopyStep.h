#pragma once

#include "../base/WinTypes.h"

class CServiceMngr;

// The wait limit of every service stop of the driver's, the copy step's too.
inline constexpr DWORD g_dwServiceStopTimeout = 5000;

// Closes the application, stops the service and copies every file of the
// project's copy list into its target folder, one outcome line per file.
// TRUE when every file was copied.
BOOL RunCopyStep(CServiceMngr& svcMngr);
