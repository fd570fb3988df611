// Checks of RTF report files shared by the report tests: texts as the templates write them, counts
// and the balance of groups.
#pragma once

#include <windows.h>

#include <string>

namespace KvRtf {

// The text in the ANSI code page of the reports (1251).
inline std::string Cp1251(const std::wstring& text) {
    std::string out(::WideCharToMultiByte(1251, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr), '\0');
    ::WideCharToMultiByte(1251, 0, text.c_str(), (int)text.size(), &out[0], (int)out.size(), nullptr, nullptr);
    return out;
}

// A data value as the templates write it into RTF: '\', '{' and '}' escaped.
inline std::string RtfText(const std::wstring& text) {
    std::string out;
    for (char c : Cp1251(text)) {
        if (c == '\\' || c == '{' || c == '}')
            out += '\\';
        out += c;
    }
    return out;
}

// How often the bytes occur, without overlaps.
inline size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// Groups of the RTF balance: every unescaped '{' has its '}', and the depth never goes below 0.
inline bool BracesBalance(const std::string& rtf) {
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        if (rtf[i] == '{')
            ++depth;
        else if (rtf[i] == '}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

} // namespace KvRtf
