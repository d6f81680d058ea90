// The shell folder resolver against a fake shell: which entry points it has,
// what they answer, and how often the library is loaded and freed.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "placement/ShellFolder.h"

namespace {

const int kUserFolder = CSIDL_APPDATA | CSIDL_FLAG_CREATE;
const DWORD kFlags = 7;

struct FAKE_SHELL {
    // What the shell offers.
    bool bLoads = true;
    bool bHasSpecialFolderPath = true;
    bool bHasFolderPath = true;
    BOOL bSpecialResult = TRUE;
    HRESULT hrFolderPath = S_OK;
    // What the resolver did with it.
    int nLoads = 0;
    int nFrees = 0;
    HMODULE hFreed = nullptr;
    int nSpecialCalls = 0;
    int nSpecialFolder = -1;
    BOOL bSpecialCreate = -1;
    int nFolderPathCalls = 0;
    int nFolder = -1;
    HANDLE hToken = nullptr;
    DWORD dwFlags = 0;
    LPWSTR pPath = nullptr;
};

FAKE_SHELL g_shell;

HMODULE FakeModule(int nLoad)
{
    return reinterpret_cast<HMODULE>(static_cast<INT_PTR>(0x10000 * nLoad));
}

template <class F>
FARPROC AsFarProc(F pfn)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(pfn));
}

BOOL WINAPI FakeSHGetSpecialFolderPathW(HWND, LPWSTR szPath, int nFolder, BOOL bCreate)
{
    ++g_shell.nSpecialCalls;
    g_shell.nSpecialFolder = nFolder;
    g_shell.bSpecialCreate = bCreate;
    if (g_shell.bSpecialResult)
        wcscpy(szPath, L"C:\\special");
    return g_shell.bSpecialResult;
}

HRESULT WINAPI FakeSHGetFolderPathW(HWND, int nFolder, HANDLE hToken, DWORD dwFlags, LPWSTR szPath)
{
    ++g_shell.nFolderPathCalls;
    g_shell.nFolder = nFolder;
    g_shell.hToken = hToken;
    g_shell.dwFlags = dwFlags;
    g_shell.pPath = szPath;
    return g_shell.hrFolderPath;
}

// The library by its full path in the system folder, never by a name the
// loader would search for.
std::wstring SystemShell32()
{
    WCHAR szSystem[MAX_PATH] = {};
    GetSystemDirectoryW(szSystem, MAX_PATH);
    return std::wstring(szSystem) + L"\\Shell32.dll";
}

HMODULE WINAPI FakeLoadLibraryW(LPCWSTR szName)
{
    EXPECT_EQ(std::wstring(szName), SystemShell32());
    return g_shell.bLoads ? FakeModule(++g_shell.nLoads) : nullptr;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE hModule, LPCSTR szName)
{
    EXPECT_EQ(hModule, FakeModule(g_shell.nLoads));
    if (strcmp(szName, "SHGetSpecialFolderPathW") == 0 && g_shell.bHasSpecialFolderPath)
        return AsFarProc(FakeSHGetSpecialFolderPathW);
    if (strcmp(szName, "SHGetFolderPathW") == 0 && g_shell.bHasFolderPath)
        return AsFarProc(FakeSHGetFolderPathW);
    return nullptr;
}

BOOL WINAPI FakeFreeLibrary(HMODULE hModule)
{
    ++g_shell.nFrees;
    g_shell.hFreed = hModule;
    return TRUE;
}

const SHELL_LOADER kFakeLoader = {FakeLoadLibraryW, FakeGetProcAddress, FakeFreeLibrary};

class ShellFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_shell = FAKE_SHELL();
        SetShellLoader(&kFakeLoader);
    }
    void TearDown() override { SetShellLoader(nullptr); }
};

TEST_F(ShellFolder, LibrarySharedByLiveObjectsAndLoadedAfreshAfterTheLastOne)
{
    WCHAR szPath[MAX_PATH] = {};
    {
        CSHGetFolder first;
        {
            CSHGetFolder second;
            EXPECT_EQ(g_shell.nLoads, 1);
        }
        EXPECT_EQ(g_shell.nFrees, 0);
        EXPECT_EQ(first.GetFolderPath(nullptr, kUserFolder, 0, szPath), 0);
        EXPECT_STREQ(szPath, L"C:\\special");
    }
    EXPECT_EQ(g_shell.nFrees, 1);
    EXPECT_EQ(g_shell.hFreed, FakeModule(1));

    // Nothing of a load outlives it: with the library gone, no entry point is left...
    g_shell.bLoads = false;
    {
        CSHGetFolder unloaded;
        EXPECT_EQ(unloaded.GetFolderPath(nullptr, kUserFolder, 0, szPath), CSHGetFolder::kNoFolderFunction);
    }
    EXPECT_EQ(g_shell.nSpecialCalls, 1);
    EXPECT_EQ(g_shell.nFrees, 1);

    // ...and a new load takes them afresh.
    g_shell.bLoads = true;
    g_shell.bHasSpecialFolderPath = false;
    {
        CSHGetFolder again;
        EXPECT_EQ(g_shell.nLoads, 2);
        EXPECT_EQ(again.GetFolderPath(nullptr, kUserFolder, 0, szPath), CSHGetFolder::kNoFolderFunction);
    }
    EXPECT_EQ(g_shell.nSpecialCalls, 1);
    EXPECT_EQ(g_shell.nFrees, 2);
    EXPECT_EQ(g_shell.hFreed, FakeModule(2));
}

TEST_F(ShellFolder, StatusFromTheEntryPointsTheShellHas)
{
    struct CASE {
        const char* szName;
        bool bLoads;
        bool bHasSpecialFolderPath;
        bool bHasFolderPath;
        BOOL bSpecialResult;
        HRESULT hrFolderPath;
        HRESULT hrExpected;
        int nSpecialCalls;
        int nFolderPathCalls;
    };
    const CASE cases[] = {
        {"no library", false, true, true, TRUE, S_OK, CSHGetFolder::kNoFolderFunction, 0, 0},
        {"no SHGetSpecialFolderPathW", true, false, true, TRUE, S_OK, CSHGetFolder::kNoFolderFunction, 0, 0},
        {"special folder found", true, true, true, TRUE, E_FAIL, S_OK, 1, 0},
        {"fallback finds it", true, true, true, FALSE, S_OK, S_OK, 1, 1},
        {"fallback fails", true, true, true, FALSE, E_ACCESSDENIED, E_ACCESSDENIED, 1, 1},
        {"no fallback", true, true, false, FALSE, S_OK, CSHGetFolder::kNoFolderFunction, 1, 0},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.szName);
        g_shell = FAKE_SHELL();
        g_shell.bLoads = c.bLoads;
        g_shell.bHasSpecialFolderPath = c.bHasSpecialFolderPath;
        g_shell.bHasFolderPath = c.bHasFolderPath;
        g_shell.bSpecialResult = c.bSpecialResult;
        g_shell.hrFolderPath = c.hrFolderPath;

        WCHAR szPath[MAX_PATH] = L"untouched";
        CSHGetFolder shgf;
        EXPECT_EQ(shgf.GetFolderPath(nullptr, kUserFolder, kFlags, szPath), c.hrExpected);
        EXPECT_EQ(g_shell.nSpecialCalls, c.nSpecialCalls);
        EXPECT_EQ(g_shell.nFolderPathCalls, c.nFolderPathCalls);
        if (c.nSpecialCalls == 0) {
            EXPECT_STREQ(szPath, L"untouched");
        }
        if (c.nSpecialCalls > 0) {
            // The create flag stays in the folder value.
            EXPECT_EQ(g_shell.nSpecialFolder, kUserFolder);
            EXPECT_EQ(g_shell.bSpecialCreate, FALSE);
        }
        if (c.nFolderPathCalls > 0) {
            EXPECT_EQ(g_shell.nFolder, kUserFolder);
            EXPECT_EQ(g_shell.dwFlags, kFlags);
            EXPECT_EQ(g_shell.pPath, szPath);
            EXPECT_NE(g_shell.hToken, nullptr);  // the process's own token on NT
        }
    }
}

}  // namespace
