// A growable array of plain elements that are copied byte for byte.
#pragma once

#include <climits>
#include <cstdlib>
#include <cstring>

template <class T>
class CArrayT {
public:
    explicit CArrayT(int nGrowBy = 1)
        : m_nSize(0), m_pData(nullptr), m_nMaxSize(0), m_nGrowBy(nGrowBy < 1 ? 1 : nGrowBy)
    {
        memset(static_cast<void*>(&m_Empty), 0, sizeof(m_Empty));
    }
    virtual ~CArrayT() { RemoveAll(); }
    CArrayT(const CArrayT&) = delete;
    CArrayT& operator=(const CArrayT&) = delete;

    int GetSize() const { return m_nSize; }

    // The elements in place, for sorting them; none for an empty array.
    T* GetData() { return m_nSize ? m_pData : nullptr; }

    // An index out of range gives the all-zero element.
    const T& GetAt(int nIndex) const
    {
        if (nIndex < 0 || nIndex >= m_nSize)
            return m_Empty;
        return m_pData[nIndex];
    }

    void SetAt(int nIndex, const T& element)
    {
        if (nIndex >= 0 && nIndex < m_nSize)
            memcpy(static_cast<void*>(&m_pData[nIndex]), &element, sizeof(T));
    }

    // The index at which the element now stands; -1 when no memory could be
    // had, the array then as it was. A negative index, or one at or past the
    // end, appends.
    int InsertAt(const T& element, int nIndex)
    {
        if (m_nSize + 1 > m_nMaxSize && !Grow())
            return -1;
        ++m_nSize;
        if (nIndex >= 0 && nIndex < m_nSize - 1) {
            memmove(static_cast<void*>(&m_pData[nIndex + 1]), &m_pData[nIndex],
                    static_cast<size_t>(m_nSize - 1 - nIndex) * sizeof(T));
            memcpy(static_cast<void*>(&m_pData[nIndex]), &element, sizeof(T));
            return nIndex;
        }
        memcpy(static_cast<void*>(&m_pData[m_nSize - 1]), &element, sizeof(T));
        return m_nSize - 1;
    }

    int Add(const T& element) { return InsertAt(element, -1); }

    // Room for nCount elements in one growth, for a caller that knows how
    // many it will add: each growth copies the block and touches new memory.
    // false, the array as it was, when the memory cannot be had.
    bool Reserve(int nCount) { return nCount <= m_nMaxSize || GrowBy(nCount - m_nMaxSize); }

    void RemoveAll()
    {
        free(m_pData);
        m_pData = nullptr;
        m_nSize = 0;
        m_nMaxSize = 0;
    }

private:
    // By the growth step, or by half the block when that is more: a block
    // grown by one element per append is copied whole on every append, and
    // a list of many thousand entries takes minutes. When the larger block
    // cannot be had, the step alone is tried.
    bool Grow()
    {
        if (m_nGrowBy < 1)
            m_nGrowBy = 1;
        int nHalf = m_nMaxSize / 2;
        if (nHalf > m_nGrowBy && nHalf <= INT_MAX - m_nMaxSize && GrowBy(nHalf))
            return true;
        return GrowBy(m_nGrowBy);
    }

    bool GrowBy(int nGrow)
    {
        if (m_nMaxSize > INT_MAX - nGrow)
            return false;
        size_t nNewMax = static_cast<size_t>(m_nMaxSize) + static_cast<size_t>(nGrow);
        if (nNewMax > static_cast<size_t>(-1) / sizeof(T))
            return false;
        T* pNew = static_cast<T*>(realloc(m_pData, nNewMax * sizeof(T)));
        if (!pNew)
            return false;
        memset(static_cast<void*>(&pNew[m_nMaxSize]), 0, static_cast<size_t>(nGrow) * sizeof(T));
        m_pData = pNew;
        m_nMaxSize = static_cast<int>(nNewMax);
        return true;
    }

    T m_Empty;
    int m_nSize;
    T* m_pData;
    int m_nMaxSize;
    int m_nGrowBy;
};
