#include "Text.h"

#include <cwchar>

BOOL FitsWorkPath(LPCWSTR szText)
{
    return wcsnlen(szText, g_cchWorkPath) < g_cchWorkPath;
}

BOOL CopyText(LPWSTR szDst, size_t cchDst, LPCWSTR szSrc)
{
    if (!szDst || cchDst == 0)
        return FALSE;
    szDst[0] = L'\0';
    return AppendText(szDst, cchDst, szSrc);
}

BOOL AppendText(LPWSTR szDst, size_t cchDst, LPCWSTR szSrc)
{
    if (!szDst || cchDst == 0)
        return FALSE;
    size_t cch = wcsnlen(szDst, cchDst);
    if (cch == cchDst) {
        szDst[cchDst - 1] = L'\0';
        return FALSE;
    }
    if (!szSrc)
        return TRUE;
    for (; *szSrc; ++szSrc) {
        if (cch + 1 >= cchDst) {
            szDst[cch] = L'\0';
            return FALSE;
        }
        szDst[cch++] = *szSrc;
    }
    szDst[cch] = L'\0';
    return TRUE;
}

BOOL FormatText(LPWSTR szDst, size_t cchDst, LPCWSTR szFormat, ...)
{
    if (!szDst || cchDst == 0)
        return FALSE;
    va_list args;
    va_start(args, szFormat);
    int n = vswprintf(szDst, cchDst, szFormat, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= cchDst) {
        szDst[0] = L'\0';
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFolderPart(LPWSTR szDst, size_t cchDst, LPCWSTR szPath)
{
    if (!CopyText(szDst, cchDst, szPath)) {
        if (cchDst > 0)
            szDst[0] = L'\0';
        return FALSE;
    }
    LPWSTR pLast = wcsrchr(szDst, L'\\');
    if (!pLast) {
        szDst[0] = L'\0';
        return FALSE;
    }
    pLast[1] = L'\0';
    return TRUE;
}
