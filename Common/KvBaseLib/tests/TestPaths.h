// Scratch places of the base library's tests.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "kvtest.h"

namespace KvBaseTest {

inline std::wstring Widen(const char* psz) {
    std::string s = psz ? psz : "";
    return std::wstring(s.begin(), s.end());
}

// The test's own scratch folder (KV_TEST_TMP, or the temporary folder), with a trailing backslash.
inline std::wstring ScratchDir() { return KvTest::TestTmp() + L"\\"; }

// A name that differs between the two architectures, whose tests share one Wine prefix.
inline std::wstring ArchTag() { return sizeof(void*) == 8 ? L"x64" : L"x86"; }

} // namespace KvBaseTest
