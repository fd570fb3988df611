// Helpers shared by the store provider's tests.
#pragma once

#include <VCore.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "kvtest.h"

namespace vtest {

using KvTest::Env;

// A fresh folder of the test's own below KV_TEST_TMP (or the temp folder), emptied of what an
// earlier run of this process id left (the shared test helpers' scratch folder).
inline std::wstring ScratchDir(const std::wstring& name) {
    return KvTest::ScratchFolder(name + L"_" + std::to_wstring(GetCurrentProcessId()));
}

inline std::string Narrow(const std::wstring& s) { return as_string(s, CP_ACP); }

using KvTest::ReadBytes;
using KvTest::WriteBytes;

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find("\r\n", p);
        if (e == std::string::npos) {
            out.push_back(text.substr(p) + "<no CRLF>");
            break;
        }
        out.push_back(text.substr(p, e - p));
        p = e + 2;
    }
    return out;
}

// All items of a collection, in its order.
inline std::vector<Varno::SmartPtr<Varno::StoreItem>> Items(const Varno::SmartPtr<Varno::IItemCollection>& c) {
    std::vector<Varno::SmartPtr<Varno::StoreItem>> out;
    auto e = c->Enumerate();
    while (e->HasItem())
        out.push_back(e->Next());
    return out;
}

inline std::vector<long long> Ids(const Varno::SmartPtr<Varno::IItemCollection>& c) {
    std::vector<long long> out;
    for (const auto& i : Items(c))
        out.push_back(i->GetId());
    return out;
}

} // namespace vtest
