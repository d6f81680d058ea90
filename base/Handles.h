// Small non-copyable owners, one per kind of handle the tool holds. Each one
// closes its handle on every way out of the scope that owns it. Reset keeps
// GetLastError() intact, so an error code read after a failed call survives
// the clean-up of the handles around it.
#pragma once

#include "WinTypes.h"

template <class Traits>
class CScopedT {
public:
    typedef typename Traits::Type Type;

    CScopedT() : m_h(Traits::Invalid()) {}
    explicit CScopedT(Type h) : m_h(h) {}
    ~CScopedT() { Reset(); }
    CScopedT(const CScopedT&) = delete;
    CScopedT& operator=(const CScopedT&) = delete;

    Type Get() const { return m_h; }
    BOOL IsValid() const { return m_h != Traits::Invalid(); }

    void Reset(Type h = Traits::Invalid())
    {
        if (m_h != Traits::Invalid() && m_h != h) {
            DWORD dwError = GetLastError();
            Traits::Close(m_h);
            SetLastError(dwError);
        }
        m_h = h;
    }

    Type Detach()
    {
        Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

    // For out-parameters (RegOpenKeyExW and kin): releases the old handle first.
    Type* Receive()
    {
        Reset();
        return &m_h;
    }

private:
    Type m_h;
};

struct HandleTraits {
    typedef HANDLE Type;
    static Type Invalid() { return NULL; }
    static void Close(Type h) { CloseHandle(h); }
};

struct FileHandleTraits {
    typedef HANDLE Type;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};

struct FindHandleTraits {
    typedef HANDLE Type;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};

struct ServiceHandleTraits {
    typedef SC_HANDLE Type;
    static Type Invalid() { return NULL; }
    static void Close(Type h) { CloseServiceHandle(h); }
};

struct RegKeyTraits {
    typedef HKEY Type;
    static Type Invalid() { return NULL; }
    static void Close(Type h) { RegCloseKey(h); }
};

struct MappedViewTraits {
    typedef void* Type;
    static Type Invalid() { return NULL; }
    static void Close(Type p) { UnmapViewOfFile(p); }
};

// A block of the process heap (HeapAlloc on GetProcessHeap()).
struct HeapBlockTraits {
    typedef void* Type;
    static Type Invalid() { return NULL; }
    static void Close(Type p) { HeapFree(GetProcessHeap(), 0, p); }
};

// A block the system hands out with LocalAlloc (FormatMessageW and kin).
struct LocalBlockTraits {
    typedef HLOCAL Type;
    static Type Invalid() { return NULL; }
    static void Close(Type p) { LocalFree(p); }
};

typedef CScopedT<HandleTraits> CHandle;
typedef CScopedT<FileHandleTraits> CFileHandle;
typedef CScopedT<FindHandleTraits> CFindHandle;
typedef CScopedT<ServiceHandleTraits> CServiceHandle;
typedef CScopedT<RegKeyTraits> CRegKeyHandle;
typedef CScopedT<MappedViewTraits> CMappedView;
typedef CScopedT<HeapBlockTraits> CHeapBlock;
typedef CScopedT<LocalBlockTraits> CLocalBlock;

// Allocates from the process heap; the owner frees it.
inline void* HeapAllocZero(size_t cb)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb);
}
