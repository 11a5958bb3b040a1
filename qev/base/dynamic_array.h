#pragma once

#include <cstdlib>
#include <cstring>

// A growable byte buffer. The storage is null while the array is empty; its
// capacity is never below MinCapacity once allocated, doubles when it grows and
// halves (when m_bShrink is set) when less than half of it is in use. The array
// owns m_pucData.
template <typename T, int MinCapacity> class DynamicArray
{
public:
    T* m_pucData = nullptr;
    int m_iSize = 0;
    int m_iCapacity = 0;
    bool m_bShrink = true;

    DynamicArray() = default;
    DynamicArray(const DynamicArray&) = delete;
    DynamicArray& operator=(const DynamicArray&) = delete;
    ~DynamicArray() { free(m_pucData); }

    // Sets the number of elements in use. Elements already in use keep their
    // values up to the new size. A negative size counts as 0. When the storage
    // cannot grow (allocation failure, or a size beyond what an int capacity
    // can hold) the array keeps its old size and contents.
    void vSetSize(int iSize)
    {
        if (iSize < 0) iSize = 0;
        if (iSize == 0)
        {
            if (m_bShrink)
            {
                free(m_pucData);
                m_pucData = nullptr;
                m_iCapacity = 0;
            }
            m_iSize = 0;
            return;
        }
        if (iSize > m_iCapacity)
        {
            long long lCapacity = m_iCapacity < MinCapacity ? MinCapacity : m_iCapacity;
            while (lCapacity < iSize)
                lCapacity *= 2;
            if (lCapacity > 0x7FFFFFFF) lCapacity = 0x7FFFFFFF;
            T* pNew = static_cast<T*>(realloc(m_pucData, static_cast<size_t>(lCapacity) * sizeof(T)));
            if (!pNew) return;
            m_pucData = pNew;
            m_iCapacity = static_cast<int>(lCapacity);
        }
        else if (m_bShrink && m_iCapacity > MinCapacity && m_iCapacity / 2 >= iSize)
        {
            T* pNew = static_cast<T*>(realloc(m_pucData, static_cast<size_t>(m_iCapacity / 2) * sizeof(T)));
            if (pNew)
            {
                m_pucData = pNew;
                m_iCapacity /= 2;
            }
        }
        m_iSize = iSize;
    }

    void vAppend(T c)
    {
        int iOld = m_iSize;
        if (iOld == 0x7FFFFFFF) return;
        vSetSize(iOld + 1);
        if (m_iSize == iOld + 1) m_pucData[iOld] = c;
    }

    void vAppend(const T* pData, int iCount)
    {
        if (iCount <= 0 || !pData) return;
        int iOld = m_iSize;
        if (iCount > 0x7FFFFFFF - iOld) return;
        // Data from this array's own buffer moves when the buffer grows.
        const bool bOwn = m_pucData && pData >= m_pucData && pData < m_pucData + iOld;
        const size_t uiFrom = bOwn ? static_cast<size_t>(pData - m_pucData) : 0;
        vSetSize(iOld + iCount);
        if (m_iSize == iOld + iCount)
            memmove(m_pucData + iOld, bOwn ? m_pucData + uiFrom : pData,
                    static_cast<size_t>(iCount) * sizeof(T));
    }
};

// The byte buffer in which encoders collect video memory (one screen page each).
typedef DynamicArray<unsigned char, 128> tdByteArray;
