#include "PathHelpers.h"

#include <cwchar>

#include "../base/Handles.h"

int FileExists(LPCWSTR szPath)
{
    if (!szPath || !szPath[0])
        return KV_PATH_NOTHING;
    size_t cch = wcslen(szPath);
    CHeapBlock copy(HeapAllocZero((cch + 1) * sizeof(WCHAR)));
    if (!copy.IsValid())
        return KV_PATH_NOTHING;
    LPWSTR szCopy = static_cast<LPWSTR>(copy.Get());
    wmemcpy(szCopy, szPath, cch);
    if (szCopy[cch - 1] == L'\\')
        szCopy[cch - 1] = L'\0';

    DWORD dwAttributes = GetFileAttributesW(szCopy);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return KV_PATH_NOTHING;
    return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ? KV_PATH_FOLDER : KV_PATH_FILE;
}

BOOL ReplaceExtension(LPWSTR szPath, size_t cchPath, LPCWSTR szExtension)
{
    size_t cch = wcslen(szPath);
    size_t cchStem = cch;
    for (size_t i = cch; i > 0; --i) {
        if (szPath[i - 1] == L'\\')
            break;
        if (szPath[i - 1] == L'.') {
            cchStem = i - 1;
            break;
        }
    }
    size_t cchExtension = wcslen(szExtension);
    if (cchStem + cchExtension >= cchPath)
        return FALSE;
    wmemcpy(szPath + cchStem, szExtension, cchExtension + 1);
    return TRUE;
}
