#include "WinVersion.h"

BOOL GetBasicVersionInfo(OSVERSIONINFOW* pInfo)
{
    *pInfo = {};
    pInfo->dwOSVersionInfoSize = sizeof(*pInfo);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, and enough for platform and major version
#endif
    return GetVersionExW(pInfo);
}
