#include "IChSid.h"

#include <sddl.h>

bool CIChSid::Assign(PSID sid) {
    if (!sid || !IsValidSid(sid))
        return false;
    DWORD length = GetLengthSid(sid);
    std::vector<BYTE> bytes(length);
    if (!CopySid(length, bytes.data(), sid))
        return false;
    m_Bytes.swap(bytes);
    return true;
}

bool CIChSid::FromString(const wchar_t* text) {
    if (!text)
        return false;
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text, &sid))
        return false;
    bool ok = Assign(sid);
    LocalFree(sid);
    return ok;
}

std::wstring CIChSid::Str() const {
    std::wstring result;
    wchar_t* text = nullptr;
    if (!m_Bytes.empty() && ConvertSidToStringSidW(GetPSID(), &text)) {
        result = text;
        LocalFree(text);
    }
    return result;
}

bool CIChSid::operator==(const CIChSid& other) const {
    if (IsEmpty() || other.IsEmpty())
        return IsEmpty() == other.IsEmpty();
    return EqualSid(GetPSID(), other.GetPSID()) != FALSE;
}
