// Placeholder until the copy step lands.
#include "CopyStep.h"

#include "../base/Console.h"

void RunCopyStep(CServiceMngr&)
{
    ConsolePrintW(L"Copy files...\r\n");
}
