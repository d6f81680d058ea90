// One named file mapping backed by the paging file, made with a descriptor
// that lets every user open it: the way processes of different users share a
// block of memory.
#pragma once

#include "../base/Handles.h"
#include "../base/WinTypes.h"

class CCommMappingFile {
public:
    explicit CCommMappingFile(LPCWSTR szName);
    virtual ~CCommMappingFile();
    CCommMappingFile(const CCommMappingFile&) = delete;
    CCommMappingFile& operator=(const CCommMappingFile&) = delete;

    // 0 failure, 1 created, 2 opened one that already existed (whose size is
    // its creator's; the view still asks for dwSize bytes).
    int Create(DWORD dwSize, BOOL bReadOnly);
    BOOL Open(BOOL bReadOnly);
    // An existing view is handed out again, not mapped twice.
    void* MapView(DWORD* pdwSize);
    void UnmapView();
    void CloseMapping();

protected:
    LPCWSTR Name() const { return static_cast<LPCWSTR>(m_szName.Get()); }

    CHeapBlock m_szName;
    DWORD m_dwSize;
    DWORD m_dwAccess;
    CHandle m_hMapping;
    CMappedView m_pView;
    BOOL m_bExisted;
    PSECURITY_DESCRIPTOR m_pSD;
};
