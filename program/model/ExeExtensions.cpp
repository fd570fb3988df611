#include "ExeExtensions.h"

#include "IChNode.h"

#include <windows.h>

std::list<std::wstring> SplitExtensions(const std::wstring& setting) {
    std::list<std::wstring> out;
    std::wstring piece;
    for (wchar_t c : setting) {
        if (c == L';' || c == L',' || c == L' ') {
            if (!piece.empty())
                out.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty())
        out.push_back(piece);
    return out;
}

bool HasListedExtension(const std::wstring& path, const std::list<std::wstring>& extensions) {
    size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return false;
    std::wstring extension = path.substr(dot);
    for (const std::wstring& entry : extensions)
        if (::lstrcmpiW(extension.c_str(), entry.c_str()) == 0)
            return true;
    return false;
}

bool MarkExecutableByExtension(CIChResorce& resource, const std::list<std::wstring>& extensions) {
    if (resource.m_SubType != ResFile || !HasListedExtension(resource.m_Name, extensions))
        return false;
    resource.m_Executable = 1;
    return true;
}
