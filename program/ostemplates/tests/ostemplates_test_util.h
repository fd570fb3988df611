// Helpers of the Windows templates' tests: environment, text, files and registry keys of a test.
#pragma once

#include <windows.h>

#include <string>

#include "kvtest.h"

namespace OsTest {

using KvTest::Env;
inline std::wstring Tmp() { return KvTest::TestTmp(); }

inline std::wstring Lower(std::wstring s) {
    if (!s.empty())
        ::CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

inline std::string Narrow(const std::wstring& s) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), (int)s.size(), &out[0], n, nullptr, nullptr);
    return out;
}

inline std::wstring Widen(const std::string& s) {
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), &out[0], n);
    return out;
}

// Creates an empty file (or leaves an existing one); true when it is there.
inline bool Touch(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

// A registry key created for a test and deleted with everything below it at the end.
class TempKey {
public:
    TempKey(HKEY root, const std::wstring& path) : m_root(root), m_path(path) {
        ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    }
    ~TempKey() {
        if (m_key)
            ::RegCloseKey(m_key);
        ::RegDeleteTreeW(m_root, m_path.c_str());
    }
    TempKey(const TempKey&) = delete;
    TempKey& operator=(const TempKey&) = delete;

    explicit operator bool() const { return m_key != nullptr; }
    HKEY Get() const { return m_key; }
    bool Set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return ::RegSetValueExW(m_key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    }
    bool SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        return Set(name, type, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
    }

private:
    HKEY m_root;
    std::wstring m_path;
    HKEY m_key = nullptr;
};

} // namespace OsTest
