// Small value classes of the base library: a GUID made from its text, an owned zero-filled buffer,
// and a GUID that starts empty. The buffer is header-only so that the report libraries can
// compile it in as well.
#pragma once

#include <windows.h>

#include <cstring>
#include <new>

namespace VRBase {

class CGuid {
public:
    explicit CGuid(const wchar_t* text) { FromString(text); }
    virtual ~CGuid() = default;
    // The text in braces form; true exactly when it converts.
    bool FromString(const wchar_t* text);
    GUID GetGuid() const { return m_guid; }
    bool IsValid() const { return m_bValid; }

private:
    GUID m_guid = {};
    bool m_bValid = false;
};

template <class T>
class CBuffer {
public:
    CBuffer() = default;
    virtual ~CBuffer() { Free(); }
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    // Replaces the array by a zero-filled one of the count; a count of 0 leaves none, and an
    // allocation failure leaves none too (no exception leaves).
    void Allocate(unsigned int count) {
        Free();
        if (count == 0)
            return;
        T* p = new (std::nothrow) T[count];
        if (!p)
            return;
        std::memset(p, 0, sizeof(T) * count);
        m_pData = p;
        m_nCount = count;
    }
    unsigned int GetCount() const { return m_nCount; }
    T* GetData() const { return m_pData; }

private:
    void Free() {
        delete[] m_pData;
        m_pData = nullptr;
        m_nCount = 0;
    }
    unsigned int m_nCount = 0;
    T* m_pData = nullptr;
};

} // namespace VRBase

namespace KvBase {

class CGuid {
public:
    CGuid() = default;
    virtual ~CGuid() = default;
    GUID m_guid = {};
    bool m_bValid = false;
};

} // namespace KvBase
