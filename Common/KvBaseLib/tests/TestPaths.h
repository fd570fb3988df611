// Scratch places of the base library's tests.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "kvtest.h"

namespace KvBaseTest {

inline std::wstring Widen(const char* psz)
{
    std::string s = psz ? psz : "";
    return std::wstring(s.begin(), s.end());
}

// The test's own scratch folder (KV_TEST_TMP), or the temporary folder.
inline std::wstring ScratchDir()
{
    std::wstring s = Widen(getenv("KV_TEST_TMP"));
    if (s.empty()) {
        wchar_t sz[MAX_PATH];
        GetTempPathW(MAX_PATH, sz);
        s = sz;
    }
    if (s.back() != L'\\')
        s += L'\\';
    CreateDirectoryW(s.c_str(), nullptr);
    return s;
}

// A name that differs between the two architectures, whose tests share one Wine prefix.
inline std::wstring ArchTag()
{
    return sizeof(void*) == 8 ? L"x64" : L"x86";
}

} // namespace KvBaseTest
