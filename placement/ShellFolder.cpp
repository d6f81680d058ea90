#include "ShellFolder.h"

#include "../base/SystemPaths.h"
#include "../base/WinVersion.h"

namespace {

const SHELL_LOADER kSystemLoader = {LoadLibraryW, GetProcAddress, FreeLibrary};
const SHELL_LOADER* g_pShellLoader = &kSystemLoader;
// The loader that loaded the library frees it, even if another was installed since.
const SHELL_LOADER* g_pLoadedWith = &kSystemLoader;

// FARPROC stands for any signature; the detour through a plain function
// pointer says so to the compiler.
template <class T>
T TakeEntryPoint(HMODULE hModule, LPCSTR szName)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(g_pLoadedWith->pfnGetProcAddress(hModule, szName)));
}

BOOL IsNtPlatform()
{
    OSVERSIONINFOW osvi;
    return GetBasicVersionInfo(&osvi) && osvi.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

const SHELL_LOADER* SetShellLoader(const SHELL_LOADER* pLoader)
{
    const SHELL_LOADER* pPrevious = g_pShellLoader;
    g_pShellLoader = pLoader ? pLoader : &kSystemLoader;
    return pPrevious;
}

volatile LONG CSHGetFolder::s_nRefCount = 0;
HMODULE CSHGetFolder::s_hShell32 = nullptr;
HANDLE CSHGetFolder::s_hToken = nullptr;
CSHGetFolder::PFN_SHGETSPECIALFOLDERPATHW CSHGetFolder::s_pfnSHGetSpecialFolderPathW = nullptr;
CSHGetFolder::PFN_SHGETFOLDERPATHW CSHGetFolder::s_pfnSHGetFolderPathW = nullptr;
CSHGetFolder::PFN_SHGETFILEINFOW CSHGetFolder::s_pfnSHGetFileInfoW = nullptr;
CSHGetFolder::PFN_SHGETPATHFROMIDLISTW CSHGetFolder::s_pfnSHGetPathFromIDListW = nullptr;
CSHGetFolder::PFN_SHGETFOLDERLOCATION CSHGetFolder::s_pfnSHGetFolderLocation = nullptr;

CSHGetFolder::CSHGetFolder()
{
    if (s_nRefCount == 0)
        SetUp();
    InterlockedIncrement(&s_nRefCount);
}

CSHGetFolder::~CSHGetFolder()
{
    if (InterlockedDecrement(&s_nRefCount) > 0)
        return;
    TearDown();
}

void CSHGetFolder::SetUp()
{
    g_pLoadedWith = g_pShellLoader;
    // By its full path: a bare name would let the loader's search find a
    // planted copy first.
    WCHAR szShell32[MAX_PATH] = {};
    if (GetSystemFilePath(L"Shell32.dll", szShell32, MAX_PATH))
        s_hShell32 = g_pShellLoader->pfnLoadLibraryW(szShell32);
    if (s_hShell32) {
        s_pfnSHGetSpecialFolderPathW =
            TakeEntryPoint<PFN_SHGETSPECIALFOLDERPATHW>(s_hShell32, "SHGetSpecialFolderPathW");
        s_pfnSHGetFolderPathW = TakeEntryPoint<PFN_SHGETFOLDERPATHW>(s_hShell32, "SHGetFolderPathW");
        s_pfnSHGetFileInfoW = TakeEntryPoint<PFN_SHGETFILEINFOW>(s_hShell32, "SHGetFileInfoW");
        s_pfnSHGetPathFromIDListW = TakeEntryPoint<PFN_SHGETPATHFROMIDLISTW>(s_hShell32, "SHGetPathFromIDListW");
        s_pfnSHGetFolderLocation = TakeEntryPoint<PFN_SHGETFOLDERLOCATION>(s_hShell32, "SHGetFolderLocation");
    }
    // The folder functions take a null token as the current user, so a token
    // that cannot be opened costs nothing.
    if (IsNtPlatform() && !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &s_hToken))
        s_hToken = nullptr;
}

void CSHGetFolder::TearDown()
{
    s_pfnSHGetSpecialFolderPathW = nullptr;
    s_pfnSHGetFolderPathW = nullptr;
    s_pfnSHGetFileInfoW = nullptr;
    s_pfnSHGetPathFromIDListW = nullptr;
    s_pfnSHGetFolderLocation = nullptr;
    if (s_hToken) {
        CloseHandle(s_hToken);
        s_hToken = nullptr;
    }
    if (s_hShell32) {
        g_pLoadedWith->pfnFreeLibrary(s_hShell32);
        s_hShell32 = nullptr;
    }
    s_nRefCount = 0;
}

HRESULT CSHGetFolder::GetFolderPath(HWND hwndOwner, int nFolder, DWORD dwFlags, LPWSTR szPath)
{
    if (!s_pfnSHGetSpecialFolderPathW)
        return kNoFolderFunction;
    // The create flag travels inside the folder value, so the function's own
    // create argument stays false.
    if (s_pfnSHGetSpecialFolderPathW(hwndOwner, szPath, nFolder, FALSE))
        return 0;
    if (!s_pfnSHGetFolderPathW)
        return kNoFolderFunction;
    return s_pfnSHGetFolderPathW(hwndOwner, nFolder, s_hToken, dwFlags, szPath);
}

HRESULT CSHGetFolder::GetUserFolderPath(HANDLE hToken, int nFolder, LPWSTR szPath)
{
    if (!s_pfnSHGetFolderPathW)
        return kNoFolderFunction;
    return s_pfnSHGetFolderPathW(nullptr, nFolder, hToken, 0, szPath);
}
