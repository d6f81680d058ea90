#include "CommMappingFile.h"

#include <cwchar>

#include "../base/ScopeGuard.h"
#include "Security.h"

namespace {

LPWSTR CopyToHeap(LPCWSTR szText)
{
    if (!szText)
        return nullptr;
    size_t cch = wcslen(szText) + 1;
    auto* szCopy = static_cast<LPWSTR>(HeapAllocZero(cch * sizeof(WCHAR)));
    if (szCopy)
        wmemcpy(szCopy, szText, cch);
    return szCopy;
}

}  // namespace

CCommMappingFile::CCommMappingFile(LPCWSTR szName)
    : m_szName(CopyToHeap(szName)),
      m_dwSize(0),
      m_dwAccess(FILE_MAP_ALL_ACCESS),
      m_bExisted(FALSE),
      m_pSD(CreateNullDaclSD())
{
}

CCommMappingFile::~CCommMappingFile()
{
    CloseMapping();
    FreeSD(m_pSD);
}

int CCommMappingFile::Create(DWORD dwSize, BOOL bReadOnly)
{
    if (m_pView.IsValid())
        return 1;
    if (!m_szName.IsValid())
        return 0;
    int nResult = 0;
    auto closeOnFailure = MakeScopeGuard([&] {
        if (nResult == 0)
            CloseMapping();
    });

    // Without it a mapping made from a service's session could not be seen
    // by other sessions; whether it is held or not, the create goes ahead.
    LPCWSTR szPrivilege = L"SeCreateGlobalPrivilege";
    EnablePrivileges(&szPrivilege, 1, FALSE, nullptr);

    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), m_pSD, TRUE};
    HANDLE hMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, bReadOnly ? PAGE_READONLY : PAGE_READWRITE,
                                         0, dwSize, Name());
    DWORD dwError = GetLastError();
    m_hMapping.Reset(hMapping);
    if (m_hMapping.IsValid()) {
        m_bExisted = dwError == ERROR_ALREADY_EXISTS;
        m_dwAccess = bReadOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS;
        m_dwSize = dwSize;
        nResult = m_bExisted ? 2 : 1;
    }
    return nResult;
}

BOOL CCommMappingFile::Open(BOOL bReadOnly)
{
    if (m_pView.IsValid())
        return TRUE;
    if (!m_szName.IsValid())
        return FALSE;
    BOOL bResult = FALSE;
    auto closeOnFailure = MakeScopeGuard([&] {
        if (!bResult)
            CloseMapping();
    });
    m_dwAccess = bReadOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS;
    m_hMapping.Reset(OpenFileMappingW(m_dwAccess, FALSE, Name()));
    if (m_hMapping.IsValid()) {
        DWORD dwSize = GetFileSize(m_hMapping.Get(), nullptr);
        m_dwSize = dwSize == INVALID_FILE_SIZE ? 0 : dwSize;
        bResult = TRUE;
    }
    return bResult;
}

void* CCommMappingFile::MapView(DWORD* pdwSize)
{
    if (!m_pView.IsValid() && m_hMapping.IsValid())
        m_pView.Reset(MapViewOfFile(m_hMapping.Get(), m_dwAccess, 0, 0, m_dwSize));
    if (pdwSize)
        *pdwSize = m_dwSize;
    return m_pView.Get();
}

void CCommMappingFile::UnmapView()
{
    m_pView.Reset();
}

void CCommMappingFile::CloseMapping()
{
    UnmapView();
    m_hMapping.Reset();
    m_dwSize = 0;
    m_bExisted = FALSE;
    m_dwAccess = FILE_MAP_ALL_ACCESS;
}
