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

// Stores the value's units as given, with no terminator added.
bool SetInstallDirValue(const std::wstring& units, DWORD dwType = REG_SZ)
{
    CRegKeyHandle hKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, g_szProductRegKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, hKey.Receive(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(hKey.Get(), g_szInstallDirValue, 0, dwType, reinterpret_cast<const BYTE*>(units.data()),
                          static_cast<DWORD>(units.size() * sizeof(WCHAR))) == ERROR_SUCCESS;
}

class InstallDirTest : public ::testing::Test {
protected:
    kvtest::CRegValueRestore restore{HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue};
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

    ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, nullptr));
    WCHAR szDir[MAX_PATH] = L"stale";
    EXPECT_EQ(0, GetInstallDir(szDir, MAX_PATH));
    EXPECT_EQ(std::wstring(), szDir);
}

}  // namespace
