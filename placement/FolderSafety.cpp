#include "FolderSafety.h"

// Both need <windows.h> first.
#include <aclapi.h>
#include <sddl.h>

#include "../base/Console.h"
#include "../base/Handles.h"

namespace {

// Inherited by what is made inside; protected, so that the all-users
// folder's own grants (every user may add files and folders) do not reach in.
const WCHAR kDataFolderSDDL[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
const WCHAR kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const DWORD kSidBytes = SECURITY_MAX_SID_SIZE;

BOOL SystemGetOwner(LPCWSTR szPath, PSID pSid, DWORD cbSid)
{
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pSD = nullptr;
    if (GetNamedSecurityInfoW(szPath, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr, nullptr,
                              &pSD) != ERROR_SUCCESS)
        return FALSE;
    CLocalBlock sd(pSD);
    return pOwner && CopySid(cbSid, pSid, pOwner);
}

const FOLDER_SAFETY_HOOKS kSystemHooks = {GetFileAttributesW, CreateDirectoryW, SystemGetOwner};
const FOLDER_SAFETY_HOOKS* s_pHooks = &kSystemHooks;

BOOL IsWellKnown(PSID pSid, WELL_KNOWN_SID_TYPE type)
{
    alignas(DWORD) BYTE known[kSidBytes];
    DWORD cbKnown = sizeof(known);
    return CreateWellKnownSid(type, nullptr, known, &cbKnown) && EqualSid(pSid, known);
}

BOOL IsTrustedInstaller(PSID pSid)
{
    PSID pTrusted = nullptr;
    if (!ConvertStringSidToSidW(kTrustedInstallerSid, &pTrusted))
        return FALSE;
    CLocalBlock trusted(pTrusted);
    return EqualSid(pSid, pTrusted);
}

// The account the tool runs as made what it owns: SYSTEM when a fleet tool
// runs it, the admin when one runs it by hand.
BOOL IsOwnAccount(PSID pSid)
{
    CHandle hToken;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, hToken.Receive()))
        return FALSE;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + kSidBytes];
    DWORD cb = 0;
    if (!GetTokenInformation(hToken.Get(), TokenUser, buffer, sizeof(buffer), &cb))
        return FALSE;
    return EqualSid(pSid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

BOOL IsTrustedOwner(PSID pSid)
{
    return IsWellKnown(pSid, WinBuiltinAdministratorsSid) || IsWellKnown(pSid, WinLocalSystemSid) ||
           IsTrustedInstaller(pSid) || IsOwnAccount(pSid);
}

void PrintOwnerLine(LPCWSTR szFolder, PSID pOwner)
{
    LPWSTR szSid = nullptr;
    if (!ConvertSidToStringSidW(pOwner, &szSid)) {
        ConsolePrintW(
            L"Error: the folder %ls is not owned by Administrators, SYSTEM, TrustedInstaller or this "
            L"tool's account.\r\n",
            szFolder);
        return;
    }
    CLocalBlock sid(szSid);
    ConsolePrintW(
        L"Error: the folder %ls is owned by %ls, not by Administrators, SYSTEM, TrustedInstaller or this "
        L"tool's account.\r\n",
        szFolder, szSid);
}

// dwAttributes: those of an existing folder.
BOOL CheckFolder(LPCWSTR szFolder, DWORD dwAttributes)
{
    if (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        ConsolePrintW(L"Error: the folder %ls is a link to another place.\r\n", szFolder);
        return FALSE;
    }
    if (!(dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ConsolePrintW(L"Error: %ls is not a folder.\r\n", szFolder);
        return FALSE;
    }
    alignas(DWORD) BYTE owner[kSidBytes];
    if (!s_pHooks->pfnGetOwner(szFolder, owner, sizeof(owner))) {
        ConsolePrintW(L"Error: the owner of the folder %ls cannot be read.\r\n", szFolder);
        return FALSE;
    }
    if (!IsTrustedOwner(owner)) {
        PrintOwnerLine(szFolder, owner);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

const FOLDER_SAFETY_HOOKS* SetFolderSafetyHooks(const FOLDER_SAFETY_HOOKS* pHooks)
{
    const FOLDER_SAFETY_HOOKS* pPrevious = s_pHooks;
    s_pHooks = pHooks ? pHooks : &kSystemHooks;
    return pPrevious;
}

// Made first and checked after: a folder someone makes in between is found
// by the check, not taken for the one made here.
BOOL MakeTrustedFolder(LPCWSTR szFolder)
{
    PSECURITY_DESCRIPTOR pSD = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kDataFolderSDDL, SDDL_REVISION_1, &pSD, nullptr)) {
        ConsolePrintW(L"Error: no security descriptor for the folder %ls.\r\n", szFolder);
        return FALSE;
    }
    CLocalBlock sd(pSD);
    SECURITY_ATTRIBUTES sa = {sizeof(sa), pSD, FALSE};
    if (!s_pHooks->pfnCreateDirectoryW(szFolder, &sa) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ConsolePrintW(L"Error: the folder %ls cannot be made.\r\n", szFolder);
        return FALSE;
    }
    DWORD dwAttributes = s_pHooks->pfnGetFileAttributesW(szFolder);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        ConsolePrintW(L"Error: the folder %ls cannot be made.\r\n", szFolder);
        return FALSE;
    }
    return CheckFolder(szFolder, dwAttributes);
}

BOOL CheckTrustedFolder(LPCWSTR szFolder)
{
    DWORD dwAttributes = s_pHooks->pfnGetFileAttributesW(szFolder);
    return dwAttributes == INVALID_FILE_ATTRIBUTES || CheckFolder(szFolder, dwAttributes);
}

BOOL CheckNoLink(LPCWSTR szFile)
{
    DWORD dwAttributes = s_pHooks->pfnGetFileAttributesW(szFile);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return TRUE;
    ConsolePrintW(L"Error: %ls is a link to another place.\r\n", szFile);
    return FALSE;
}
