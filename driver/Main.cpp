#ifdef _MSC_VER
// The objects of this file are built before those of the program's other
// files (and after the C library's): the DLL search limit below comes first.
// Doing so on purpose, the compiler's warning about it is not wanted.
#pragma warning(disable : 4073)
#pragma init_seg(lib)
#endif

#include "../appctl/AppControl.h"
#include "../base/SystemPaths.h"
#include "Driver.h"

namespace {

// Libraries loaded from here on come from the system folder, never from the
// tool's folder or the current one. Built before every other object, the
// instance registry's included: its start-up already builds security
// descriptors, and system libraries load further libraries of their own.
class CDllSearchLimit {
public:
    CDllSearchLimit() { LimitDllSearch(); }
};

#ifdef __GNUC__
CDllSearchLimit s_DllSearchLimit __attribute__((init_priority(101)));
#else
CDllSearchLimit s_DllSearchLimit;
#endif

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Started by the tool itself in another session: no banner, no project.
    if (argc == 2 && IsCloseOnlyArgument(argv[1]))
        return RunCloseOnlyMode();
    return RunDeployment(argc, argv);
}
