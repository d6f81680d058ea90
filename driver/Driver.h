#pragma once

#include "../base/WinTypes.h"
#include "ExitCode.h"

// The whole run: banner, project choice, project reading and the fixed
// sequence of actions. Returns the process exit code.
int RunDeployment(int argc, WCHAR** argv);
