#include "Placement.h"

#include <cwchar>

#include "../appctl/Product.h"
#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/Sessions.h"
#include "../base/StartFolder.h"
#include "../base/Text.h"
#include "FolderSafety.h"
#include "PathHelpers.h"
#include "ShellFolder.h"

namespace {

const int kUserDataFolder = CSIDL_APPDATA | CSIDL_FLAG_CREATE;
const int kServiceDataFolder = CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE;

// Room for any path composed here (a shell folder, the product's folders, a
// project name, an extension), so a path too long for the product is never
// cut: its failure line shows it whole.
const size_t kComposeUnits = 2 * MAX_PATH + 64;

const WCHAR kCompanionExtension[] = L".fsn";
const WCHAR kLogExtension[] = L".fsl";

struct PLACEMENT_PATHS {
    WCHAR szDataDirUser[kComposeUnits];  // the data folder, then the project's target
    WCHAR szDataDirSrc[kComposeUnits];   // the project beside the tool
    WCHAR szCompanionSrc[kComposeUnits];
    WCHAR szDataDirUserL[kComposeUnits];  // the companion's target
    WCHAR szLogFile[kComposeUnits];       // user project only
};

// The user's own folder is made as it comes; the all-users folder, which any
// user may have made first, only when it can be trusted (a line says why
// not).
BOOL AppendDataFolder(LPWSTR szDataDir, LPCWSTR szName, BOOL bShared)
{
    if (!AppendText(szDataDir, kComposeUnits, L"\\") || !AppendText(szDataDir, kComposeUnits, szName))
        return FALSE;
    if (bShared)
        return MakeTrustedFolder(szDataDir);
    // An existing folder is fine; one that cannot be made fails the copy into it.
    CreateDirectoryW(szDataDir, nullptr);
    return TRUE;
}

// The shell's folder of the token's user when one is given, else of the
// user the tool runs as.
BOOL GetShellFolder(int nFolder, HANDLE hUserToken, LPWSTR szDataDir)
{
    CSHGetFolder shgf;
    HRESULT hr = hUserToken ? shgf.GetUserFolderPath(hUserToken, nFolder, szDataDir)
                            : shgf.GetFolderPath(nullptr, nFolder, 0, szDataDir);
    return hr == 0;
}

// In the all-users folder, the project's own subfolders and the files to be
// replaced must be no links either.
BOOL CheckSharedTargets(size_t cchDataDir, const PLACEMENT_PATHS& paths)
{
    WCHAR szFolder[kComposeUnits] = {};
    for (size_t i = cchDataDir + 1; paths.szDataDirUser[i]; ++i) {
        if (paths.szDataDirUser[i] != L'\\')
            continue;
        wmemcpy(szFolder, paths.szDataDirUser, i);
        szFolder[i] = L'\0';
        if (!CheckTrustedFolder(szFolder))
            return FALSE;
    }
    return CheckNoLink(paths.szDataDirUser) && CheckNoLink(paths.szDataDirUserL);
}

BOOL CopyWithExtension(LPWSTR szDst, LPCWSTR szSrc, LPCWSTR szExtension)
{
    return CopyText(szDst, kComposeUnits, szSrc) && ReplaceExtension(szDst, kComposeUnits, szExtension);
}

// Every path of the placement, from the data folder already in szDataDirUser.
// FALSE when one of them is too long for the product.
BOOL ComposePaths(LPCWSTR szProject, PLACEMENT_PATHS& paths)
{
    if (!AppendText(paths.szDataDirUser, kComposeUnits, L"\\") ||
        !AppendText(paths.szDataDirUser, kComposeUnits, szProject) ||
        !FormatText(paths.szDataDirSrc, kComposeUnits, L"%ls%ls", szStartFolder, szProject) ||
        !CopyWithExtension(paths.szCompanionSrc, paths.szDataDirSrc, kCompanionExtension) ||
        !CopyWithExtension(paths.szDataDirUserL, paths.szDataDirUser, kCompanionExtension) ||
        !CopyWithExtension(paths.szLogFile, paths.szDataDirUser, kLogExtension))
        return FALSE;
    return FitsWorkPath(paths.szDataDirUser) && FitsWorkPath(paths.szDataDirSrc) &&
           FitsWorkPath(paths.szCompanionSrc) && FitsWorkPath(paths.szDataDirUserL) && FitsWorkPath(paths.szLogFile);
}

// As SYSTEM, the user's folders are the user's to shape: a link planted in
// them would lead SYSTEM's writes anywhere on the machine. What is made and
// written there is made and written as that user.
class CActingAsUser {
public:
    explicit CActingAsUser(HANDLE hUserToken) : m_bActing(hUserToken && ImpersonateLoggedOnUser(hUserToken)) {}
    ~CActingAsUser()
    {
        if (m_bActing)
            RevertToSelf();
    }
    CActingAsUser(const CActingAsUser&) = delete;
    CActingAsUser& operator=(const CActingAsUser&) = delete;

    BOOL IsActing() const { return m_bActing; }

private:
    BOOL m_bActing;
};

// Project files are small; anything larger is no project.
const DWORD kMaxCopyBytes = 64 * 1024 * 1024;

BOOL ReadWhole(LPCWSTR szPath, CHeapBlock& data, DWORD* pcb)
{
    CFileHandle hFile(
        CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!hFile.IsValid() || !GetFileSizeEx(hFile.Get(), &size) || size.QuadPart > kMaxCopyBytes)
        return FALSE;
    *pcb = static_cast<DWORD>(size.QuadPart);
    data.Reset(HeapAllocZero(*pcb + 1));
    DWORD cbRead = 0;
    return data.IsValid() && ReadFile(hFile.Get(), data.Get(), *pcb, &cbRead, nullptr) && cbRead == *pcb;
}

// The source is read by the tool itself (the user may not be allowed into
// the tool's folder), the target written as the user.
BOOL CopyAsUser(LPCWSTR szSrc, LPCWSTR szDst, HANDLE hUserToken)
{
    CHeapBlock data;
    DWORD cb = 0;
    if (!ReadWhole(szSrc, data, &cb))
        return FALSE;
    CActingAsUser asUser(hUserToken);
    if (!asUser.IsActing())
        return FALSE;
    CFileHandle hFile(CreateFileW(szDst, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD cbWritten = 0;
    return hFile.IsValid() && WriteFile(hFile.Get(), data.Get(), cb, &cbWritten, nullptr) && cbWritten == cb;
}

BOOL CopyReported(LPCWSTR szSrc, LPCWSTR szDst, HANDLE hUserToken)
{
    BOOL bCopied = hUserToken ? CopyAsUser(szSrc, szDst, hUserToken) : CopyFileW(szSrc, szDst, FALSE);
    if (!bCopied) {
        ConsolePrintW(L"Failed to copy %ls to %ls.\r\n", szSrc, szDst);
        return FALSE;
    }
    ConsolePrintW(L"Copy %ls to %ls successfully.\r\n", szSrc, szDst);
    return TRUE;
}

// Copies the project and, when one lies beside it, its companion into the
// data folder; *pbCopied tells whether the project itself was copied. FALSE
// when nothing was tried: no data folder (szNoFolderLine printed), an
// all-users folder or target that cannot be trusted (a line saying why), or
// a path too long for the product (the project's failure line printed).
BOOL PlaceProject(int nFolder, HANDLE hUserToken, LPCWSTR szNoFolderLine, LPCWSTR szProject, PLACEMENT_PATHS& paths,
                  BOOL* pbCopied)
{
    *pbCopied = FALSE;
    const BOOL bShared = nFolder == kServiceDataFolder;
    if (!GetShellFolder(nFolder, hUserToken, paths.szDataDirUser)) {
        ConsolePrintW(L"%ls", szNoFolderLine);
        return FALSE;
    }
    BOOL bFolder = FALSE;
    {
        CActingAsUser asUser(hUserToken);
        bFolder = (!hUserToken || asUser.IsActing()) &&
                  AppendDataFolder(paths.szDataDirUser, g_szDataFolderMaker, bShared) &&
                  AppendDataFolder(paths.szDataDirUser, g_szDataFolderProduct, bShared);
    }
    if (!bFolder) {
        if (!bShared)
            ConsolePrintW(L"%ls", szNoFolderLine);
        return FALSE;
    }
    size_t cchDataDir = wcslen(paths.szDataDirUser);
    if (!ComposePaths(szProject, paths)) {
        ConsolePrintW(L"Failed to copy %ls to %ls.\r\n", paths.szDataDirSrc, paths.szDataDirUser);
        return FALSE;
    }
    if (bShared && !CheckSharedTargets(cchDataDir, paths))
        return FALSE;
    *pbCopied = CopyReported(paths.szDataDirSrc, paths.szDataDirUser, hUserToken);
    // A project named *.fsn is its own companion and is copied twice.
    if (FileExists(paths.szCompanionSrc) != KV_PATH_NOTHING)
        CopyReported(paths.szCompanionSrc, paths.szDataDirUserL, hUserToken);
    return TRUE;
}

void SetPathValue(HKEY hKey, LPCWSTR szName, LPCWSTR szPath)
{
    DWORD cbData = static_cast<DWORD>((wcslen(szPath) + 1) * sizeof(WCHAR));
    RegSetValueExW(hKey, szName, 0, REG_SZ, reinterpret_cast<const BYTE*>(szPath), cbData);
}

// Points the product at the user's project and its log file; written whether
// or not the copy succeeded, since they name where the project belongs.
void RegisterUserProject(HKEY hUserRoot, LPCWSTR szDataFile, LPCWSTR szLogFile)
{
    CRegKeyHandle hKey;
    DWORD dwDisp = 0;
    if (RegCreateKeyExW(hUserRoot, g_szProductRegKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        hKey.Receive(), &dwDisp) != ERROR_SUCCESS)
        return;
    SetPathValue(hKey.Get(), g_szDataFileValue, szDataFile);
    SetPathValue(hKey.Get(), g_szLogFileValue, szLogFile);
}

// The token user's own hive, loaded below HKEY_USERS while the user is logged
// on. Opened, never created: a SID without a loaded hive gets nothing.
BOOL OpenUserHive(HANDLE hUserToken, CRegKeyHandle& hHive)
{
    CLocalBlock szSid;
    return GetTokenUserSid(hUserToken, szSid) &&
           RegOpenKeyExW(HKEY_USERS, static_cast<LPCWSTR>(szSid.Get()), 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                         hHive.Receive()) == ERROR_SUCCESS;
}

const WCHAR kNoUserFolderLine[] = L"Failed to get user profile folder.\r\n";

// As SYSTEM, the current user's folder and hive are SYSTEM's own, where the
// application never looks: the project is the console user's.
BOOL SetConsoleUserProject(LPCWSTR szProject)
{
    CHandle hToken;
    if (!QueryConsoleUserToken(hToken)) {
        ConsolePrintW(L"%ls", kNoUserFolderLine);
        return FALSE;
    }
    PLACEMENT_PATHS paths = {};
    BOOL bCopied = FALSE;
    CRegKeyHandle hHive;
    if (PlaceProject(kUserDataFolder, hToken.Get(), kNoUserFolderLine, szProject, paths, &bCopied) &&
        OpenUserHive(hToken.Get(), hHive))
        RegisterUserProject(hHive.Get(), paths.szDataDirUser, paths.szLogFile);
    return bCopied;
}

}  // namespace

BOOL SetUserProject(LPCWSTR szProject)
{
    if (RunsAsSystem())
        return SetConsoleUserProject(szProject);
    PLACEMENT_PATHS paths = {};
    BOOL bCopied = FALSE;
    if (PlaceProject(kUserDataFolder, nullptr, kNoUserFolderLine, szProject, paths, &bCopied))
        RegisterUserProject(HKEY_CURRENT_USER, paths.szDataDirUser, paths.szLogFile);
    return bCopied;
}

BOOL SetServiceProject(LPCWSTR szProject)
{
    PLACEMENT_PATHS paths = {};
    BOOL bCopied = FALSE;
    PlaceProject(kServiceDataFolder, nullptr, L"Failed to get service folder.\r\n", szProject, paths, &bCopied);
    return bCopied;
}
