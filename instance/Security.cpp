#include "Security.h"

#include <aclapi.h>

#include <cstddef>
#include <cwchar>

#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/ScopeGuard.h"
#include "../base/Text.h"

PSECURITY_DESCRIPTOR g_pMutexSD = nullptr;

namespace {

const WCHAR kGlobalPrefix[] = L"Global\\";
const DWORD kPreviousStateBytes = 2048;

void ReportIf(BOOL bReport, DWORD dwError)
{
    if (bReport)
        PrintError(dwError);
}

// An initialised descriptor block with the given DACL (null: everyone may do
// everything). The DACL becomes the descriptor's; FreeSD releases both.
PSECURITY_DESCRIPTOR BuildSD(PACL pDacl, BOOL bReport)
{
    CHeapBlock block(HeapAllocZero(SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!block.IsValid()) {
        ReportIf(bReport, ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!InitializeSecurityDescriptor(block.Get(), SECURITY_DESCRIPTOR_REVISION)) {
        ReportIf(bReport, GetLastError());
        return nullptr;
    }
    if (!SetSecurityDescriptorDacl(block.Get(), TRUE, pDacl, FALSE)) {
        ReportIf(bReport, GetLastError());
        return nullptr;
    }
    return block.Detach();
}

struct ACCESS_GRANT {
    BOOL bAdministrators;  // else Everyone
    DWORD dwAccess;
};

BOOL AllocateGroupSid(BOOL bAdministrators, PSID* ppSid)
{
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    if (bAdministrators)
        return AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                        0, 0, 0, ppSid);
    return AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, ppSid);
}

// A descriptor whose DACL holds exactly the given grants, not inherited.
PSECURITY_DESCRIPTOR BuildGrantSD(const ACCESS_GRANT* pGrants, int nGrants)
{
    PSID pEveryoneSID = nullptr;
    PSID pAdminSID = nullptr;
    auto freeSids = MakeScopeGuard([&] {
        if (pEveryoneSID)
            FreeSid(pEveryoneSID);
        if (pAdminSID)
            FreeSid(pAdminSID);
    });
    EXPLICIT_ACCESSW entries[2] = {};
    const int kMaxGrants = static_cast<int>(sizeof(entries) / sizeof(entries[0]));
    if (nGrants < 0 || nGrants > kMaxGrants)
        return nullptr;
    for (int i = 0; i < nGrants; ++i) {
        PSID* ppSid = pGrants[i].bAdministrators ? &pAdminSID : &pEveryoneSID;
        if (!*ppSid && !AllocateGroupSid(pGrants[i].bAdministrators, ppSid)) {
            PrintError(GetLastError());
            return nullptr;
        }
        entries[i].grfAccessPermissions = pGrants[i].dwAccess;
        entries[i].grfAccessMode = SET_ACCESS;
        entries[i].grfInheritance = NO_INHERITANCE;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        entries[i].Trustee.ptstrName = static_cast<LPWSTR>(*ppSid);
    }
    PACL pAcl = nullptr;
    DWORD dwResult = SetEntriesInAclW(static_cast<ULONG>(nGrants), entries, nullptr, &pAcl);
    if (dwResult != ERROR_SUCCESS) {
        PrintError(dwResult);
        return nullptr;
    }
    CLocalBlock acl(pAcl);
    PSECURITY_DESCRIPTOR pSD = BuildSD(pAcl, TRUE);
    if (pSD)
        acl.Detach();
    return pSD;
}

BOOL AdjustRecordingPrevious(HANDLE hToken, PTOKEN_PRIVILEGES pRequest, PTOKEN_PRIVILEGES* ppPrevious)
{
    DWORD cbPrevious = kPreviousStateBytes;
    CHeapBlock previous(HeapAllocZero(cbPrevious));
    if (!previous.IsValid())
        return FALSE;
    DWORD dwReturnLength = 0;
    BOOL bResult = AdjustTokenPrivileges(hToken, FALSE, pRequest, cbPrevious,
                                         static_cast<PTOKEN_PRIVILEGES>(previous.Get()), &dwReturnLength);
    DWORD dwError = bResult ? ERROR_SUCCESS : GetLastError();
    if (!bResult && dwReturnLength > cbPrevious) {
        cbPrevious = dwReturnLength;
        previous.Reset(HeapAllocZero(cbPrevious));
        dwError = ERROR_NOT_ENOUGH_MEMORY;
        if (previous.IsValid()) {
            bResult = AdjustTokenPrivileges(hToken, FALSE, pRequest, cbPrevious,
                                            static_cast<PTOKEN_PRIVILEGES>(previous.Get()), &dwReturnLength);
            dwError = bResult ? ERROR_SUCCESS : GetLastError();
        }
    }
    if (!bResult) {
        previous.Reset();
        PrintError(dwError);
        return FALSE;
    }
    *ppPrevious = static_cast<PTOKEN_PRIVILEGES>(previous.Detach());
    return TRUE;
}

HANDLE CreateOrOpenMutex(SECURITY_ATTRIBUTES* pAttributes, BOOL bInitialOwner, LPCWSTR szName)
{
    HANDLE hMutex = CreateMutexW(pAttributes, bInitialOwner, szName);
    if (!hMutex && GetLastError() == ERROR_ACCESS_DENIED && szName)
        hMutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, szName);
    return hMutex;
}

}  // namespace

BOOL EnablePrivileges(LPCWSTR const* szPrivileges, int nPrivileges, BOOL bRemove, PTOKEN_PRIVILEGES* ppPrevious)
{
    DWORD dwAccess = TOKEN_ADJUST_PRIVILEGES;
    if (ppPrevious) {
        *ppPrevious = nullptr;
        dwAccess |= TOKEN_QUERY;
    }
    if (!szPrivileges || nPrivileges <= 0)
        return FALSE;
    CHandle hToken;
    if (!OpenProcessToken(GetCurrentProcess(), dwAccess, hToken.Receive()))
        return FALSE;
    CHeapBlock request(HeapAllocZero(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                     static_cast<size_t>(nPrivileges) * sizeof(LUID_AND_ATTRIBUTES)));
    if (!request.IsValid())
        return FALSE;
    auto* pRequest = static_cast<PTOKEN_PRIVILEGES>(request.Get());
    // An entry left without an identifier would name some other privilege.
    for (int i = 0; i < nPrivileges; ++i) {
        LUID_AND_ATTRIBUTES& entry = pRequest->Privileges[pRequest->PrivilegeCount];
        if (szPrivileges[i] && LookupPrivilegeValueW(nullptr, szPrivileges[i], &entry.Luid)) {
            entry.Attributes = bRemove ? SE_PRIVILEGE_REMOVED : SE_PRIVILEGE_ENABLED;
            ++pRequest->PrivilegeCount;
        }
    }
    if (pRequest->PrivilegeCount == 0)
        return FALSE;
    if (!ppPrevious)
        return AdjustTokenPrivileges(hToken.Get(), FALSE, pRequest, 0, nullptr, nullptr);
    return AdjustRecordingPrevious(hToken.Get(), pRequest, ppPrevious);
}

void PrintError(DWORD dwError)
{
    if (dwError == 0)
        dwError = GetLastError();
    // Inserts are left as they stand: there are no arguments to put in them.
    LPWSTR szText = nullptr;
    DWORD cch = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&szText), 0, nullptr);
    CLocalBlock errMsg(szText);
    if (cch == 0 || !szText) {
        ConsolePrintW(L"Error:%lu.\r\n", static_cast<unsigned long>(dwError));
        return;
    }
    ConsolePrintW(L"Error:%ls.\r\n", szText);
}

PSECURITY_DESCRIPTOR CreateNullDaclSD()
{
    return BuildSD(nullptr, TRUE);
}

PSECURITY_DESCRIPTOR CreateNullDaclSDQuiet()
{
    return BuildSD(nullptr, FALSE);
}

PSECURITY_DESCRIPTOR CreateEveryoneControlSD()
{
    const ACCESS_GRANT grants[] = {{FALSE, READ_CONTROL | WRITE_DAC | WRITE_OWNER}};
    return BuildGrantSD(grants, 1);
}

PSECURITY_DESCRIPTOR CreateEveryoneReadAdminAllSD()
{
    const ACCESS_GRANT grants[] = {{FALSE, KEY_READ}, {TRUE, KEY_ALL_ACCESS}};
    return BuildGrantSD(grants, 2);
}

PSECURITY_DESCRIPTOR CreateAdminAllSD()
{
    const ACCESS_GRANT grants[] = {{TRUE, KEY_ALL_ACCESS}};
    return BuildGrantSD(grants, 1);
}

void FreeSD(PSECURITY_DESCRIPTOR pSD)
{
    if (!pSD)
        return;
    BOOL bDaclPresent = FALSE;
    PACL pDacl = nullptr;
    BOOL bDaclDefaulted = FALSE;
    if (GetSecurityDescriptorDacl(pSD, &bDaclPresent, &pDacl, &bDaclDefaulted) && bDaclPresent && pDacl)
        LocalFree(pDacl);
    HeapFree(GetProcessHeap(), 0, pSD);
}

HANDLE CreateGlobalMutex(BOOL bInitialOwner, LPCWSTR szName, BOOL bGlobal)
{
    if (!g_pMutexSD)
        g_pMutexSD = CreateNullDaclSDQuiet();
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), g_pMutexSD, FALSE};
    HANDLE hMutex = nullptr;
    if (bGlobal && szName) {
        size_t cchGlobal = wcslen(kGlobalPrefix) + wcslen(szName) + 1;
        CHeapBlock globalName(HeapAllocZero(cchGlobal * sizeof(WCHAR)));
        if (globalName.IsValid()) {
            auto* szGlobal = static_cast<LPWSTR>(globalName.Get());
            CopyText(szGlobal, cchGlobal, kGlobalPrefix);
            AppendText(szGlobal, cchGlobal, szName);
            hMutex = CreateOrOpenMutex(&attributes, bInitialOwner, szGlobal);
        }
    }
    if (!hMutex)
        hMutex = CreateOrOpenMutex(&attributes, bInitialOwner, szName);
    return hMutex;
}
