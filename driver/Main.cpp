#include "Driver.h"

int wmain(int argc, wchar_t** argv)
{
    return RunDeployment(argc, argv);
}
