// The install folder read from "InstallDir" under HKLM, written into the
// Wine prefix's registry and put back afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "appctl/InstallDir.h"
#include "appctl/Product.h"
#include "base/Handles.h"

namespace {

// Stores the value's units as given, with no terminator added, in one
// registry view (the one a 32-bit package writes, by default).
bool SetInstallDirValue(const std::wstring& units, DWORD dwType = REG_SZ, REGSAM samView = KEY_WOW64_32KEY)
{
    CRegKeyHandle hKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, g_szProductRegKey, 0, nullptr, 0, KEY_SET_VALUE | samView, nullptr,
                        hKey.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(hKey.Get(), g_szInstallDirValue, 0, dwType, reinterpret_cast<const BYTE*>(units.data()),
                          static_cast<DWORD>(units.size() * sizeof(WCHAR))) == ERROR_SUCCESS;
}

bool DeleteInstallDirValue(REGSAM samView)
{
    return kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, nullptr, REG_SZ, samView);
}

// Both views put back as they were; each test starts with neither holding
// the value.
class InstallDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(DeleteInstallDirValue(KEY_WOW64_32KEY));
        ASSERT_TRUE(DeleteInstallDirValue(KEY_WOW64_64KEY));
    }

    kvtest::CRegValueRestore restore32{HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, KEY_WOW64_32KEY};
    kvtest::CRegValueRestore restore64{HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, KEY_WOW64_64KEY};
};

TEST_F(InstallDirTest, FolderEndsInABackslashAndIsHandedOverOnlyWhole)
{
    const std::wstring with519 = L"C:\\" + std::wstring(515, L'd') + L"\\";
    struct CASE {
        std::wstring value;  // with its terminator unless it fills the 520 units
        DWORD dwType;
        int nSize;
        std::wstring folder;
        int nLength;
    } cases[] = {
        {std::wstring(L"C:\\Apps\\Demo") + L'\0', REG_SZ, 260, L"C:\\Apps\\Demo\\", 13},
        {std::wstring(L"C:\\Apps\\Demo\\") + L'\0', REG_SZ, 260, L"C:\\Apps\\Demo\\", 13},
        {std::wstring(L"C:\\Apps\\Demo\\") + L'\0', REG_EXPAND_SZ, 14, L"C:\\Apps\\Demo\\", 13},
        {std::wstring(L"C:\\Apps\\Demo\\") + L'\0', REG_SZ, 13, L"", 0},
        {std::wstring(L"C:\\Apps\\Demo") + L'\0', REG_BINARY, 228, L"C:\\Apps\\Demo\\", 13},
        {std::wstring(1, L'\0'), REG_SZ, 260, L"", 0},
        // 519 characters: the backslash fits, and the terminator after it.
        {with519 + L'\0', REG_SZ, 520, with519, 519},
        // No room for the backslash and the terminator, or no terminator at all.
        {std::wstring(519, L'x') + L'\0', REG_SZ, 1000, L"", 0},
        {std::wstring(520, L'x'), REG_SZ, 1000, L"", 0},
        {std::wstring(520, L'x'), REG_BINARY, 1000, L"", 0},
        {std::wstring(519, L'x') + L'\\', REG_BINARY, 1000, L"", 0},
        // Larger than the 1040 bytes asked for.
        {std::wstring(600, L'x') + L'\0', REG_SZ, 1000, L"", 0},
    };
    for (const CASE& c : cases) {
        ASSERT_TRUE(SetInstallDirValue(c.value, c.dwType));
        std::vector<WCHAR> buffer(1100, L'#');
        EXPECT_EQ(c.nLength, GetInstallDir(buffer.data(), c.nSize))
            << c.value.size() << " units ending in " << static_cast<int>(c.value.back()) << ", size " << c.nSize;
        EXPECT_EQ(c.folder, buffer.data())
            << c.value.size() << " units ending in " << static_cast<int>(c.value.back()) << ", size " << c.nSize;
        for (size_t i = static_cast<size_t>(c.nSize); i < buffer.size(); ++i)
            ASSERT_EQ(L'#', buffer[i]) << "written past the buffer at " << i;
    }
}

TEST_F(InstallDirTest, NoBufferGivesTheLengthAndNoValueGivesNothing)
{
    ASSERT_TRUE(SetInstallDirValue(std::wstring(L"C:\\Apps\\Demo") + L'\0'));
    EXPECT_EQ(13, GetInstallDir(nullptr, 0));

    ASSERT_TRUE(DeleteInstallDirValue(KEY_WOW64_32KEY));
    WCHAR szDir[MAX_PATH] = L"stale";
    EXPECT_EQ(0, GetInstallDir(szDir, MAX_PATH));
    EXPECT_EQ(std::wstring(), szDir);
}

// A 32-bit package writes the 32-bit view, a 64-bit one the 64-bit view;
// the 32-bit view is read first, and only a missing value there lets the
// 64-bit one count.
TEST_F(InstallDirTest, ThirtyTwoBitViewFirstThenSixtyFourBitView)
{
    const std::wstring x86 = L"C:\\Program Files (x86)\\Talwick\\Quorvane 2012\\";
    const std::wstring x64 = L"C:\\Program Files\\Talwick\\Quorvane 2012\\";
    struct CASE {
        const wchar_t* szCase;
        const wchar_t* sz32;  // null: no value in that view
        const wchar_t* sz64;
        std::wstring folder;
    } cases[] = {
        {L"32-bit view only", x86.c_str(), nullptr, x86},
        {L"64-bit view only", nullptr, x64.c_str(), x64},
        {L"both views", x86.c_str(), x64.c_str(), x86},
        {L"neither view", nullptr, nullptr, L""},
        // A value that is there but is no folder is not passed over.
        {L"empty 32-bit value", L"", x64.c_str(), L""},
    };
    for (const CASE& c : cases) {
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.sz32, REG_SZ,
                                         KEY_WOW64_32KEY));
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.sz64, REG_SZ,
                                         KEY_WOW64_64KEY));
        WCHAR szDir[MAX_PATH] = L"stale";
        EXPECT_EQ(static_cast<int>(c.folder.size()), GetInstallDir(szDir, MAX_PATH)) << c.szCase;
        EXPECT_EQ(c.folder, szDir) << c.szCase;
    }
}

}  // namespace
