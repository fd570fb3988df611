#include "KvText.h"

#include <windows.h>

#include <cwctype>

namespace KvBase {

void UpperCaseChars(wchar_t* text, size_t count) {
    if (count)
        ::CharUpperBuffW(text, static_cast<DWORD>(count));
}

void UpperCaseInPlace(std::wstring& text, size_t start) {
    if (start < text.size())
        UpperCaseChars(&text[start], text.size() - start);
}

std::wstring UpperCase(std::wstring text) {
    UpperCaseInPlace(text);
    return text;
}

std::wstring UpperCaseCrt(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring UpperCaseInvariant(const wchar_t* text, size_t count) {
    std::wstring s(text, count);
    if (count && !::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text, static_cast<int>(count), &s[0],
                                  static_cast<int>(count), nullptr, nullptr, 0))
        s.assign(text, count);
    return s;
}

std::wstring ModuleText(HINSTANCE module, UINT id) {
    // With no buffer, LoadStringW gives the text in place in the module's resources.
    const wchar_t* p = nullptr;
    const int n = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 && p ? std::wstring(p, n) : std::wstring();
}

} // namespace KvBase
