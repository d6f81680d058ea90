// Where the tool loads libraries from once it has limited the search: a
// library planted beside the program or in the current folder is not found,
// a system library still is.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "base/SystemPaths.h"

namespace {

TEST(SystemPaths, APlantedLibraryIsNoLongerFoundOnceTheSearchIsLimited)
{
    WCHAR szSystemCopy[MAX_PATH] = {};
    ASSERT_TRUE(GetSystemFilePath(L"version.dll", szSystemCopy, MAX_PATH));
    const std::wstring name = L"kvplanted-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    kvtest::CScratchDir cwd(L"cwd");
    const std::wstring planted[] = {kvtest::BinDir() + name, cwd / name};
    for (const std::wstring& path : planted)
        ASSERT_TRUE(kvtest::CopyInto(szSystemCopy, path));
    WCHAR szBefore[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szBefore);
    SetCurrentDirectoryW(cwd.Path().c_str());

    // The planting itself works: before the limit, the search finds it.
    HMODULE hBefore = LoadLibraryW(name.c_str());
    EXPECT_NE(hBefore, nullptr);
    if (hBefore)
        FreeLibrary(hBefore);

    LimitDllSearch();
    HMODULE hAfter = LoadLibraryW(name.c_str());
    EXPECT_EQ(hAfter, nullptr) << "found beside the program or in the current folder";
    HMODULE hSystem = LoadLibraryW(L"version.dll");
    EXPECT_NE(hSystem, nullptr);

    if (hAfter)
        FreeLibrary(hAfter);
    if (hSystem)
        FreeLibrary(hSystem);
    SetCurrentDirectoryW(szBefore);
    for (const std::wstring& path : planted)
        DeleteFileW(path.c_str());
}

}  // namespace
