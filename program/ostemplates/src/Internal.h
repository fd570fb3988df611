// Small text and file helpers shared by the sources of the Windows templates.
#pragma once

#include <windows.h>

#include <string>

namespace OsTemplates {

inline std::wstring Lower(std::wstring text) {
    if (!text.empty())
        ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The value of an environment variable; empty when it is not set.
inline std::wstring Env(const wchar_t* name) {
    wchar_t buffer[32768];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 32768);
    return n && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

// The path names an existing file (not a folder).
inline bool FileExists(const std::wstring& path) {
    if (path.empty())
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace OsTemplates
