#include "ProfilePlatform.h"

namespace {

HANDLE AsHandle(PROFILE_FILE* pFile)
{
    return reinterpret_cast<HANDLE>(pFile);
}

}  // namespace

PROFILE_FILE* ProfileOpenFile(LPCWSTR szPath)
{
    HANDLE hFile =
        CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return nullptr;
    return reinterpret_cast<PROFILE_FILE*>(hFile);
}

BOOL ProfileIsDiskFile(PROFILE_FILE* pFile)
{
    return GetFileType(AsHandle(pFile)) == FILE_TYPE_DISK;
}

// A device answers a size query too (NUL says 0): only a disk file has a
// size worth reading.
BOOL ProfileGetFileSize(PROFILE_FILE* pFile, DWORD* pdwSize)
{
    LARGE_INTEGER size;
    if (!ProfileIsDiskFile(pFile) || !GetFileSizeEx(AsHandle(pFile), &size))
        return FALSE;
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) >= kProfileFileSizeLimit)
        return FALSE;
    *pdwSize = static_cast<DWORD>(size.QuadPart);
    return TRUE;
}

BOOL ProfileReadFile(PROFILE_FILE* pFile, void* pBuffer, DWORD cbToRead, DWORD* pcbRead)
{
    return ReadFile(AsHandle(pFile), pBuffer, cbToRead, pcbRead, nullptr);
}

void ProfileCloseFile(PROFILE_FILE* pFile)
{
    if (pFile)
        CloseHandle(AsHandle(pFile));
}

void* ProfileAlloc(size_t cb)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb);
}

void ProfileFree(void* p)
{
    if (p)
        HeapFree(GetProcessHeap(), 0, p);
}

UINT ProfileAnsiCodePage()
{
    return GetACP();
}

int ProfileMultiByteToWide(UINT uCodePage, LPCSTR szSrc, int cbSrc, LPWSTR szDst, int cchDst)
{
    DWORD dwFlags = uCodePage == CP_UTF8 ? 0 : MB_PRECOMPOSED;
    return MultiByteToWideChar(uCodePage, dwFlags, szSrc, cbSrc, szDst, cchDst);
}

int ProfileWideToMultiByte(UINT uCodePage, LPCWSTR szSrc, int cchSrc, LPSTR szDst, int cbDst)
{
    DWORD dwFlags = uCodePage == CP_UTF8 ? 0 : WC_COMPOSITECHECK;
    return WideCharToMultiByte(uCodePage, dwFlags, szSrc, cchSrc, szDst, cbDst, nullptr, nullptr);
}
