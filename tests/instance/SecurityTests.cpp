// Descriptors, the global mutex, privileges and the error line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstanceTestSupport.h"
#include "TestSupport.h"
#include "instance/Security.h"

namespace {

using kvtest::MakePrivateNames;

TEST(PrintError, PrintsTheSystemTextOrElseTheCode)
{
    struct {
        DWORD dwError;
        DWORD dwLastError;
        const char* szContains;
    } cases[] = {
        {ERROR_ACCESS_DENIED, 0, "denied"},
        {0, ERROR_ACCESS_DENIED, "denied"},
        {ERROR_BAD_EXE_FORMAT, 0, "%1"},  // an insert with nothing to put in it
        {0x20001234, 0, "Error:536875572.\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dwError);
        kvtest::CStdoutCapture capture;
        SetLastError(c.dwLastError);
        PrintError(c.dwError);
        std::string text = capture.Finish();
        EXPECT_EQ(text.rfind("Error:", 0), 0u) << text;
        EXPECT_NE(text.find(c.szContains), std::string::npos) << text;
        ASSERT_GE(text.size(), 3u);
        EXPECT_EQ(text.substr(text.size() - 3), ".\r\n") << text;
    }
}

bool IsPrivilegeEnabled(LPCWSTR szName)
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    PRIVILEGE_SET set = {};
    set.PrivilegeCount = 1;
    set.Control = PRIVILEGE_SET_ALL_NECESSARY;
    BOOL bEnabled = FALSE;
    bool bKnown =
        LookupPrivilegeValueW(nullptr, szName, &set.Privilege[0].Luid) && PrivilegeCheck(hToken, &set, &bEnabled);
    CloseHandle(hToken);
    return bKnown && bEnabled;
}

TEST(EnablePrivileges, EnablesTheNamesTheSystemKnowsAndSkipsTheOthers)
{
    struct {
        std::vector<LPCWSTR> names;
        BOOL bResult;
    } cases[] = {
        {{L"SeCreateGlobalPrivilege"}, TRUE},
        {{L"SeNoSuchPrivilege"}, FALSE},
        {{L"SeNoSuchPrivilege", L"SeSystemtimePrivilege"}, TRUE},
        {{}, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names.size());
        EXPECT_EQ(EnablePrivileges(c.names.data(), static_cast<int>(c.names.size()), FALSE, nullptr), c.bResult);
    }
    EXPECT_TRUE(IsPrivilegeEnabled(L"SeSystemtimePrivilege"));
}

TEST(EnablePrivileges, HandsBackThePreviousStateToPutItBack)
{
    LPCWSTR szName = L"SeUndockPrivilege";
    PTOKEN_PRIVILEGES pDisable = nullptr;
    LPCWSTR names[] = {szName};
    // Start from a known state: disabled.
    HANDLE hToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken));
    TOKEN_PRIVILEGES off = {};
    off.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, szName, &off.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(hToken, FALSE, &off, 0, nullptr, nullptr));
    ASSERT_FALSE(IsPrivilegeEnabled(szName));

    ASSERT_TRUE(EnablePrivileges(names, 1, FALSE, &pDisable));
    ASSERT_NE(pDisable, nullptr);
    EXPECT_TRUE(IsPrivilegeEnabled(szName));
    EXPECT_TRUE(AdjustTokenPrivileges(hToken, FALSE, pDisable, 0, nullptr, nullptr));
    EXPECT_FALSE(IsPrivilegeEnabled(szName));
    HeapFree(GetProcessHeap(), 0, pDisable);
    CloseHandle(hToken);
}

enum class Squatter { None, EventOnGlobalName, LockedGlobalMutex };

HANDLE MakeSquatter(Squatter kind, const std::wstring& globalName)
{
    switch (kind) {
        case Squatter::EventOnGlobalName:
            return CreateEventW(nullptr, TRUE, FALSE, globalName.c_str());
        case Squatter::LockedGlobalMutex: {
            // An empty DACL: nobody but its maker's first handle gets in.
            SECURITY_DESCRIPTOR sd;
            ACL acl;
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
            InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
            SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
            SECURITY_ATTRIBUTES sa = {sizeof(sa), &sd, FALSE};
            return CreateMutexW(&sa, FALSE, globalName.c_str());
        }
        default:
            return nullptr;
    }
}

bool MutexExists(const std::wstring& name)
{
    HANDLE hMutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (hMutex)
        CloseHandle(hMutex);
    return hMutex != nullptr;
}

TEST(CreateGlobalMutex, TakesTheGlobalNameWhenItCanAndTheLocalNameOtherwise)
{
    struct {
        const char* szWhat;
        bool bNamed;
        BOOL bGlobal;
        Squatter squatter;
        bool bGlobalMade;
        bool bLocalMade;
    } cases[] = {
        {"global", true, TRUE, Squatter::None, true, false},
        {"local only", true, FALSE, Squatter::None, false, true},
        {"global name is an event", true, TRUE, Squatter::EventOnGlobalName, false, true},
        {"global mutex refuses us", true, TRUE, Squatter::LockedGlobalMutex, false, true},
        {"unnamed", false, TRUE, Squatter::None, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        std::wstring name = MakePrivateNames().mutex;
        HANDLE hSquatter = MakeSquatter(c.squatter, L"Global\\" + name);
        HANDLE hMutex = CreateGlobalMutex(FALSE, c.bNamed ? name.c_str() : nullptr, c.bGlobal);
        EXPECT_NE(hMutex, nullptr);
        if (c.squatter == Squatter::None) {
            EXPECT_EQ(MutexExists(L"Global\\" + name), c.bGlobalMade);
        }
        EXPECT_EQ(MutexExists(name), c.bLocalMade);
        if (hMutex)
            CloseHandle(hMutex);
        if (hSquatter)
            CloseHandle(hSquatter);
    }
    EXPECT_NE(g_pMutexSD, nullptr) << "made once and kept";
}

struct EXPECTED_ACE {
    WELL_KNOWN_SID_TYPE sid;
    ACCESS_MASK mask;
};

TEST(SecurityDescriptors, GrantWhatTheyPromise)
{
    struct {
        const char* szWhat;
        PSECURITY_DESCRIPTOR (*pfnBuild)();
        bool bNullDacl;
        std::vector<EXPECTED_ACE> aces;
    } cases[] = {
        {"null DACL", CreateNullDaclSD, true, {}},
        {"null DACL, quiet", CreateNullDaclSDQuiet, true, {}},
        {"everyone: control", CreateEveryoneControlSD, false, {{WinWorldSid, READ_CONTROL | WRITE_DAC | WRITE_OWNER}}},
        {"everyone reads, administrators all",
         CreateEveryoneReadAdminAllSD,
         false,
         {{WinWorldSid, KEY_READ}, {WinBuiltinAdministratorsSid, KEY_ALL_ACCESS}}},
        {"administrators all", CreateAdminAllSD, false, {{WinBuiltinAdministratorsSid, KEY_ALL_ACCESS}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        kvtest::CStdoutCapture capture;
        PSECURITY_DESCRIPTOR pSD = c.pfnBuild();
        ASSERT_NE(pSD, nullptr);
        EXPECT_TRUE(IsValidSecurityDescriptor(pSD));
        BOOL bPresent = FALSE;
        BOOL bDefaulted = TRUE;
        PACL pDacl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(pSD, &bPresent, &pDacl, &bDefaulted));
        EXPECT_TRUE(bPresent);
        EXPECT_FALSE(bDefaulted);
        EXPECT_EQ(pDacl == nullptr, c.bNullDacl);
        for (size_t i = 0; pDacl && i < c.aces.size(); ++i) {
            ACCESS_ALLOWED_ACE* pAce = nullptr;
            ASSERT_TRUE(GetAce(pDacl, static_cast<DWORD>(i), reinterpret_cast<void**>(&pAce)));
            EXPECT_EQ(pAce->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(pAce->Mask, c.aces[i].mask);
            EXPECT_TRUE(IsWellKnownSid(&pAce->SidStart, c.aces[i].sid)) << i;
        }
        if (pDacl) {
            EXPECT_EQ(pDacl->AceCount, c.aces.size());
        }
        FreeSD(pSD);
        EXPECT_EQ(capture.Finish(), "");
    }
    FreeSD(nullptr);
}

}  // namespace
