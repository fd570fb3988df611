// A security identifier held by value: the account of a model subject.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Keeps its own copy of a SID. An empty object holds no SID (GetPSID gives null). Copies are deep;
// comparison is EqualSid of the two SIDs (two empty objects are equal).
class CIChSid {
public:
    CIChSid() = default;
    explicit CIChSid(PSID sid) { Assign(sid); }

    // Copies a valid SID; false (and the object unchanged) for a null or invalid one.
    bool Assign(PSID sid);
    // Parses the standard string form ("S-1-5-32-544"); false (object unchanged) when it is not one.
    bool FromString(const wchar_t* text);
    void Clear() { m_Bytes.clear(); }

    bool IsEmpty() const { return m_Bytes.empty(); }
    PSID GetPSID() const { return m_Bytes.empty() ? nullptr : PSID(const_cast<BYTE*>(m_Bytes.data())); }
    DWORD GetLength() const { return DWORD(m_Bytes.size()); }
    // The standard string form; empty for an empty object.
    std::wstring Str() const;

    bool operator==(const CIChSid& other) const;
    bool operator!=(const CIChSid& other) const { return !(*this == other); }

private:
    std::vector<BYTE> m_Bytes;
};
