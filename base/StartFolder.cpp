#include "StartFolder.h"

WCHAR szStartFolder[MAX_PATH];

BOOL IsFullPath(LPCWSTR szName)
{
    return szName[0] == L'\\' || (szName[0] != L'\0' && szName[1] == L':');
}
