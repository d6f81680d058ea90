#include "../instance/InstanceMngr.h"
#include "Driver.h"

// Built before the driver runs, so the shared table of the running
// application is open before the first line is printed.
CInstanceMngr g_InstanceMngr;

int wmain(int argc, wchar_t** argv)
{
    return RunDeployment(argc, argv);
}
