#include "InstallDir.h"

#include <cwchar>

#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/Text.h"
#include "Product.h"

namespace {

const DWORD kValueUnits = 520;
const int kNoValue = -1;

// "InstallDir" of one registry view, with its backslash, into szFolder: its
// length; 0 when the value is there but is no usable folder; kNoValue when
// the view has no such key or value.
int ReadInstallDir(REGSAM samView, WCHAR (&szFolder)[kValueUnits])
{
    CRegKeyHandle hKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, g_szProductRegKey, 0, KEY_READ | samView, hKey.Receive()) != ERROR_SUCCESS)
        return kNoValue;
    DWORD cbData = sizeof(szFolder);
    LONG lResult =
        RegQueryValueExW(hKey.Get(), g_szInstallDirValue, nullptr, nullptr, reinterpret_cast<BYTE*>(szFolder), &cbData);
    if (lResult == ERROR_FILE_NOT_FOUND)
        return kNoValue;
    if (lResult != ERROR_SUCCESS)
        return 0;
    // The registry does not promise a terminator; a value that leaves no
    // room for it, or for the backslash still to come, is no folder.
    size_t cch = wcsnlen(szFolder, kValueUnits);
    bool bSeparator = cch > 0 && szFolder[cch - 1] == L'\\';
    size_t cchFolder = bSeparator ? cch : cch + 1;
    if (cch == 0 || cchFolder >= kValueUnits)
        return 0;
    szFolder[cchFolder - 1] = L'\\';
    szFolder[cchFolder] = L'\0';
    return static_cast<int>(cchFolder);
}

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
    // The product's package is a 32-bit one and writes its value into the
    // 32-bit view, where a 32-bit program looks by default; a 64-bit package
    // of it writes the 64-bit view. The views are named so that a build of
    // either bitness reads the same values in the same order (on 32-bit
    // Windows both flags are ignored and the one registry is read).
    WCHAR szInstallDirL[kValueUnits] = {};
    int nLength = ReadInstallDir(KEY_WOW64_32KEY, szInstallDirL);
    if (nLength == kNoValue)
        nLength = ReadInstallDir(KEY_WOW64_64KEY, szInstallDirL);
    if (nLength == kNoValue)
        nLength = 0;

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
