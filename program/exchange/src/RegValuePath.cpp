// The token form in which a registry value is named inside a resource path.
#include "KvExchangeUtils.h"

namespace {

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    if (from.empty())
        return;
    for (size_t pos = text.find(from); pos != std::wstring::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

} // namespace

std::wstring RegValueNameToToken(const wchar_t* name) {
    if (!name || !*name)
        return RegDefaultValueToken;
    std::wstring text(name);
    ReplaceAll(text, L"\\", RegBackslashToken);
    return text;
}

bool SplitRegValuePath(const std::wstring& path, std::wstring& keyPath, std::wstring& valueName, bool& isDefault) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return false;
    keyPath = path.substr(0, slash);
    valueName = path.substr(slash + 1);
    isDefault = ::CompareStringOrdinal(valueName.c_str(), -1, RegDefaultValueToken, -1, TRUE) == CSTR_EQUAL;
    if (isDefault)
        valueName.clear();
    else
        ReplaceAll(valueName, RegBackslashToken, L"\\");
    return true;
}

std::wstring RegValuePathForDisplay(const std::wstring& path) {
    std::wstring text(path);
    const size_t before = text.size();
    ReplaceAll(text, RegDefaultValueToken, L"(Default)");
    if (text.size() == before)
        ReplaceAll(text, RegBackslashToken, L"\\");
    return text;
}
