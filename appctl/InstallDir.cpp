#include "InstallDir.h"

#include <cwchar>

#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/Text.h"
#include "Product.h"

namespace {

const DWORD kValueUnits = 520;

// A folder on a drive ("C:\...") or a share ("\\server\share\..."); one
// that starts with a single backslash hangs on the current drive.
BOOL IsFullFolderPath(LPCWSTR szDir)
{
    BOOL bDrive = ((szDir[0] >= L'A' && szDir[0] <= L'Z') || (szDir[0] >= L'a' && szDir[0] <= L'z')) &&
                  szDir[1] == L':' && szDir[2] == L'\\';
    return bDrive || (szDir[0] == L'\\' && szDir[1] == L'\\');
}

BOOL IsExistingFolder(LPCWSTR szDir)
{
    DWORD dwAttributes = GetFileAttributesW(szDir);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

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

BOOL ComposeProgramPath(LPCWSTR szBaseName, LPWSTR szPath, size_t cchPath)
{
    WCHAR szDir[kValueUnits] = {};
    CopyText(szPath, cchPath, L"");
    if (GetInstallDir(szDir, kValueUnits) == 0) {
        ConsolePrintW(L"Error: no install folder of the product is registered.\r\n");
        return FALSE;
    }
    if (!IsFullFolderPath(szDir)) {
        ConsolePrintW(L"Error: the install folder %ls is not a full path.\r\n", szDir);
        return FALSE;
    }
    if (!IsExistingFolder(szDir)) {
        ConsolePrintW(L"Error: the install folder %ls is not an existing folder.\r\n", szDir);
        return FALSE;
    }
    // A cut path would name another file, maybe one that someone put there.
    if (!FormatText(szPath, cchPath, L"%ls%ls%ls", szDir, szBaseName, g_szExeExtension)) {
        ConsolePrintW(L"Error: the install folder %ls is too long for %ls%ls.\r\n", szDir, szBaseName,
                      g_szExeExtension);
        return FALSE;
    }
    return TRUE;
}
