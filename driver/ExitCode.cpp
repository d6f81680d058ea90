#include "ExitCode.h"

namespace {

struct EXIT_CODE_INFO {
    int nExitCode;
    LPCWSTR szMeaning;
};

// Worst first: a failure outweighs a restart, a restart outweighs the
// uninstall-only end, which outweighs plain success.
const EXIT_CODE_INFO kExitCodes[] = {
    {KV_EXIT_NOTHING_DEPLOYED, L"nothing was deployed"},
    {KV_EXIT_ACTION_FAILED, L"an action that ran failed"},
    {KV_EXIT_INSTALLER_BUSY, L"an installer could not run: another installation stayed in progress"},
    {KV_EXIT_RESTART_STARTED, L"an installer started a restart"},
    {KV_EXIT_RESTART_NEEDED, L"an installer asked for a restart"},
    {KV_EXIT_UNINSTALL_ONLY, L"uninstall only, the other actions were left out"},
    {KV_EXIT_DONE, L"every action that ran succeeded or had nothing to do"},
};
const int kExitCodeCount = sizeof(kExitCodes) / sizeof(kExitCodes[0]);

// An unknown code counts as the worst.
int Rank(int nExitCode)
{
    for (int i = 0; i < kExitCodeCount; ++i) {
        if (kExitCodes[i].nExitCode == nExitCode)
            return i;
    }
    return -1;
}

}  // namespace

int WorseExitCode(int nFirst, int nSecond)
{
    return Rank(nSecond) < Rank(nFirst) ? nSecond : nFirst;
}

LPCWSTR ExitCodeMeaning(int nExitCode)
{
    int i = Rank(nExitCode);
    return i < 0 ? L"unknown" : kExitCodes[i].szMeaning;
}
