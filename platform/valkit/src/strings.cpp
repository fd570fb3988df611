// Formatting, code-page conversion, case and trimming of wide strings.
#include "valkit.h"

#include <KvText.h>

#include <cstdarg>
#include <cwchar>
#include <vector>

std::wstring vformat_wstring(const wchar_t* format, va_list args) {
    if (!format)
        return std::wstring();
    va_list probe;
    va_copy(probe, args);
    int n = _vscwprintf(format, probe);
    va_end(probe);
    if (n <= 0)
        return std::wstring();
    std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
    _vsnwprintf(buf.data(), buf.size(), format, args);
    buf[n] = 0;
    return std::wstring(buf.data(), static_cast<size_t>(n));
}

std::wstring format_wstring(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring s = vformat_wstring(format, args);
    va_end(args);
    return s;
}

std::string as_string(const std::wstring& s, UINT codepage) {
    if (s.empty())
        return std::string();
    int n = WideCharToMultiByte(codepage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codepage, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring as_wstring(const std::string& s, UINT codepage) {
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(codepage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codepage, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

std::wstring strupper(const std::wstring& s) { return KvBase::UpperCase(s); }

std::wstring strlower(const std::wstring& s) {
    std::wstring out(s);
    if (!out.empty())
        CharLowerBuffW(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

std::wstring trimr(const std::wstring& s, const wchar_t* chars) {
    if (!chars)
        return s;
    size_t end = s.find_last_not_of(chars);
    return end == std::wstring::npos ? std::wstring() : s.substr(0, end + 1);
}

std::wstring trim(const std::wstring& s, const wchar_t* chars) {
    if (!chars)
        return s;
    size_t begin = s.find_first_not_of(chars);
    if (begin == std::wstring::npos)
        return std::wstring();
    size_t end = s.find_last_not_of(chars);
    return s.substr(begin, end - begin + 1);
}
