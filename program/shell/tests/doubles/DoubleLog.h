// Shared by the test doubles of the outside libraries: each call is appended as a line to the
// file that KV_DOUBLE_LOG names, and each behaviour is chosen by an environment variable read at
// the time of the call.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring DoubleSetting(const wchar_t* name) {
    wchar_t buf[256] = {};
    DWORD n = ::GetEnvironmentVariableW(name, buf, 256);
    return n && n < 256 ? std::wstring(buf, n) : std::wstring();
}

inline void DoubleLog(const char* line) {
    std::wstring path = DoubleSetting(L"KV_DOUBLE_LOG");
    if (path.empty())
        return;
    HANDLE h = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::string text = std::string(line) + "\n";
    DWORD written = 0;
    ::WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr);
    ::CloseHandle(h);
}
