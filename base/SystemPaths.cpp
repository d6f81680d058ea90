#include "SystemPaths.h"

#include "Text.h"

namespace {

typedef BOOL(WINAPI* PFN_SETDEFAULTDLLDIRECTORIES)(DWORD dwDirectoryFlags);

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
const DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;
#endif

}  // namespace

// Taken by name at run time: a direct import would keep the tool from
// starting at all on a system without the call.
void LimitDllSearch()
{
    HMODULE hKernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!hKernel32)
        return;
    auto pfnSetDefaultDllDirectories = reinterpret_cast<PFN_SETDEFAULTDLLDIRECTORIES>(
        reinterpret_cast<void (*)()>(GetProcAddress(hKernel32, "SetDefaultDllDirectories")));
    if (pfnSetDefaultDllDirectories)
        pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

BOOL GetSystemFilePath(LPCWSTR szName, LPWSTR szPath, size_t cchPath)
{
    if (!szPath || cchPath == 0)
        return FALSE;
    szPath[0] = L'\0';
    WCHAR szSystem[MAX_PATH] = {};
    UINT cch = GetSystemDirectoryW(szSystem, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return FALSE;
    BOOL bSeparator = szSystem[cch - 1] == L'\\';
    return FormatText(szPath, cchPath, bSeparator ? L"%ls%ls" : L"%ls\\%ls", szSystem, szName);
}

FARPROC GetSystemProcAddress(LPCWSTR szLibrary, LPCSTR szProcName)
{
    WCHAR szPath[MAX_PATH] = {};
    if (!GetSystemFilePath(szLibrary, szPath, MAX_PATH))
        return nullptr;
    HMODULE hModule = GetModuleHandleW(szPath);
    // The library's own dependencies from the system folder too. The altered
    // search path would look in the current folder for them; it is taken
    // only on a system that does not know the newer flag.
    if (!hModule)
        hModule = LoadLibraryExW(szPath, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!hModule && GetLastError() == ERROR_INVALID_PARAMETER)
        hModule = LoadLibraryExW(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return hModule ? GetProcAddress(hModule, szProcName) : nullptr;
}
