// Small helpers of the report library's tests: scratch paths and UTF-8 files.
#pragma once

#include <windows.h>

#include <string>

#include "kvtest.h"

namespace KvReportTest {

inline std::wstring Env(const wchar_t* name)
{
    wchar_t buf[1024] = {};
    GetEnvironmentVariableW(name, buf, 1024);
    return buf;
}

inline std::wstring TmpPath(const std::wstring& name)
{
    return Env(L"KV_TEST_TMP") + L"\\" + name;
}

using KvTest::ReadBytes;

inline std::wstring FromUtf8(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

inline std::string ToUtf8(const std::wstring& w)
{
    if (w.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

inline std::wstring ReadUtf8(const std::wstring& path)
{
    return FromUtf8(ReadBytes(path));
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
}

inline bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// COM for the life of a test.
struct CComScope
{
    CComScope() { CoInitialize(nullptr); }
    ~CComScope() { CoUninitialize(); }
};

} // namespace KvReportTest
