#include "../appctl/AppControl.h"
#include "../base/SystemPaths.h"
#include "../instance/InstanceMngr.h"
#include "Driver.h"

// Built before the driver runs, so the shared table of the running
// application is open before the first line is printed.
CInstanceMngr g_InstanceMngr;

int wmain(int argc, wchar_t** argv)
{
    // Libraries loaded from here on (the shell's among them) come from the
    // system folder, never from the tool's folder or the current one.
    LimitDllSearch();
    // Started by the tool itself in another session: no banner, no project.
    if (argc == 2 && IsCloseOnlyArgument(argv[1]))
        return RunCloseOnlyMode();
    return RunDeployment(argc, argv);
}
