#include "InstallDir.h"

#include <cwchar>

#include "../base/Handles.h"
#include "Product.h"

namespace {

const DWORD kValueUnits = 520;

}  // namespace

int GetInstallDir(LPWSTR szDir, int nSize)
{
    WCHAR szInstallDirL[kValueUnits] = {};
    int nLength = 0;

    CRegKeyHandle hKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, g_szProductRegKey, 0, KEY_READ, hKey.Receive()) == ERROR_SUCCESS) {
        DWORD cbData = sizeof(szInstallDirL);
        LONG lResult = RegQueryValueExW(hKey.Get(), g_szInstallDirValue, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(szInstallDirL), &cbData);
        // The registry does not promise a terminator; a value that leaves no
        // room for it, or for the backslash still to come, is no folder.
        if (lResult == ERROR_SUCCESS) {
            size_t cch = wcsnlen(szInstallDirL, kValueUnits);
            bool bSeparator = cch > 0 && szInstallDirL[cch - 1] == L'\\';
            size_t cchFolder = bSeparator ? cch : cch + 1;
            if (cch > 0 && cchFolder < kValueUnits) {
                szInstallDirL[cchFolder - 1] = L'\\';
                szInstallDirL[cchFolder] = L'\0';
                nLength = static_cast<int>(cchFolder);
            }
        }
    }

    if (szDir) {
        if (nLength >= nSize) {
            if (nSize > 0)
                szDir[0] = L'\0';
            nLength = 0;
        } else {
            // Only the folder's units: a value refused above still fills the buffer.
            wmemcpy(szDir, szInstallDirL, static_cast<size_t>(nLength));
            szDir[nLength] = L'\0';
        }
    }
    return nLength;
}
