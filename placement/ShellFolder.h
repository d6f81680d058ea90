// Shell special folders (CSIDL values) turned into paths. The shell's folder
// functions are taken from "Shell32.dll" at run time, so a shell that lacks
// one of them still runs the tool; every object stands for one reference to
// the library and the entry points shared by the whole process.
#pragma once

#include "../base/WinTypes.h"
// The shell's own types for its entry points; it needs <windows.h> first.
#include <shlobj.h>

// What the resolver loads the shell through. Bound to the system's loader;
// tests swap in one that stands for a shell without some entry points.
struct SHELL_LOADER {
    HMODULE(WINAPI* pfnLoadLibraryW)(LPCWSTR szFileName);
    FARPROC(WINAPI* pfnGetProcAddress)(HMODULE hModule, LPCSTR szProcName);
    BOOL(WINAPI* pfnFreeLibrary)(HMODULE hModule);
};

// Installs another loader (null restores the system's); returns the previous
// one. Takes effect for the next first reference.
const SHELL_LOADER* SetShellLoader(const SHELL_LOADER* pLoader);

class CSHGetFolder {
public:
    // Failure status of GetFolderPath when the shell has no usable folder function.
    static constexpr HRESULT kNoFolderFunction = 1;

    CSHGetFolder();
    ~CSHGetFolder();
    CSHGetFolder(const CSHGetFolder&) = delete;
    CSHGetFolder& operator=(const CSHGetFolder&) = delete;

    // 0 with the folder's path in szPath (at least MAX_PATH units); any other
    // value when the folder is not available.
    HRESULT GetFolderPath(HWND hwndOwner, int nFolder, DWORD dwFlags, LPWSTR szPath);
    // The same for the user of hToken, who need not be the user the tool
    // runs as: only the function that takes a token answers for another user.
    HRESULT GetUserFolderPath(HANDLE hToken, int nFolder, LPWSTR szPath);

private:
    typedef BOOL(WINAPI* PFN_SHGETSPECIALFOLDERPATHW)(HWND, LPWSTR, int, BOOL);
    typedef HRESULT(WINAPI* PFN_SHGETFOLDERPATHW)(HWND, int, HANDLE, DWORD, LPWSTR);
    // Item identifiers and display names: taken with the others, though the
    // tool itself only asks for paths.
    typedef DWORD_PTR(WINAPI* PFN_SHGETFILEINFOW)(LPCWSTR, DWORD, SHFILEINFOW*, UINT, UINT);
    typedef BOOL(WINAPI* PFN_SHGETPATHFROMIDLISTW)(LPCITEMIDLIST, LPWSTR);
    typedef HRESULT(WINAPI* PFN_SHGETFOLDERLOCATION)(HWND, int, HANDLE, DWORD, LPITEMIDLIST*);

    static void SetUp();
    static void TearDown();

    static volatile LONG s_nRefCount;
    static HMODULE s_hShell32;
    static HANDLE s_hToken;
    static PFN_SHGETSPECIALFOLDERPATHW s_pfnSHGetSpecialFolderPathW;
    static PFN_SHGETFOLDERPATHW s_pfnSHGetFolderPathW;
    static PFN_SHGETFILEINFOW s_pfnSHGetFileInfoW;
    static PFN_SHGETPATHFROMIDLISTW s_pfnSHGetPathFromIDListW;
    static PFN_SHGETFOLDERLOCATION s_pfnSHGetFolderLocation;
};
