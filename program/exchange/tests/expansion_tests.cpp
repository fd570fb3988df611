// Folders and registry keys expanded into resources: a seeded HKCU key, a temporary tree and a
// tree with a symbolic link back to its parent.
#include "KvExchangeUtils.h"
#include "IChNode.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<int, std::wstring>> Entries;

Entries Take(CIChNodeList& list) {
    Entries e;
    for (CIChNode* n : list) {
        CIChResorce* r = static_cast<CIChResorce*>(n);
        e.emplace_back(r->m_SubType, r->m_Name);
        delete r;
    }
    list.clear();
    return e;
}

std::wstring Env(const wchar_t* name) {
    wchar_t buf[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(name, buf, MAX_PATH);
    return std::wstring(buf, n < MAX_PATH ? n : 0);
}

const wchar_t kKey[] = L"Software\\KvExchangeTests";
const std::wstring kKeyPath = std::wstring(L"HKEY_CURRENT_USER\\") + kKey;

class RegExpansion : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        HKEY k = nullptr, sub = nullptr, deep = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
        const wchar_t data[] = L"v";
        ::RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data));
        ::RegSetValueExW(k, L"a\\b", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data));
        ASSERT_EQ(::RegCreateKeyExW(k, L"Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), 0);
        ::RegSetValueExW(sub, L"x", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data));
        ASSERT_EQ(::RegCreateKeyExW(sub, L"Deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, nullptr), 0);
        ::RegCloseKey(deep);
        ::RegCloseKey(sub);
        ::RegCloseKey(k);
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
};

TEST_F(RegExpansion, ValuesKeysAndTokens) {
    CIChNodeList list;
    GetRegKeyResources(kKeyPath.c_str(), &list, 1, 1);
    const std::wstring sub = kKeyPath + L"\\Sub";
    Entries got = Take(list);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], std::make_pair(int(ResRegKey), kKeyPath));
    // The key's values in the registry's order, then each subkey followed by its own content.
    Entries values(got.begin() + 1, got.begin() + 3);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (Entries{{ResRegValue, kKeyPath + L"\\a" + RegBackslashToken + L"b"},
                               {ResRegValue, kKeyPath + L"\\" + RegDefaultValueToken}}));
    EXPECT_EQ(got[3], std::make_pair(int(ResRegKey), sub));
    EXPECT_EQ(got[4], std::make_pair(int(ResRegValue), sub + L"\\x"));
    EXPECT_EQ(got[5], std::make_pair(int(ResRegKey), sub + L"\\Deep"));

    // Each value path splits back into its key and name.
    for (const auto& v : values) {
        std::wstring key, name;
        bool isDefault = false;
        ASSERT_TRUE(SplitRegValuePath(v.second, key, name, isDefault));
        EXPECT_EQ(key, kKeyPath);
        EXPECT_TRUE(isDefault ? name.empty() : name == L"a\\b");
    }

    // Values only, not recursive.
    GetRegKeyResources(kKeyPath.c_str(), &list, 0, 0);
    EXPECT_EQ(Take(list).size(), 2u);
}

TEST_F(RegExpansion, RootsAreMatchedExactly) {
    CIChNodeList list;
    for (const wchar_t* p :
         {L"HKCU\\Software\\KvExchangeTests", L"hkey_current_user\\Software\\KvExchangeTests", L"HKEY_NOWHERE\\x"}) {
        GetRegKeyResources(p, &list, 0, 1);
        EXPECT_TRUE(list.empty()) << std::string(p, p + wcslen(p));
    }
    GetRegKeyResources(nullptr, &list, 1, 1);
    GetRegKeyResources(kKeyPath.c_str(), nullptr, 1, 1);
    EXPECT_TRUE(list.empty());
}

void Touch(const std::wstring& p) {
    HANDLE h = ::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::CloseHandle(h);
}

TEST(DirExpansion, TreeOrderAndFlags) {
    const std::wstring t = Env(L"KV_TEST_TMP") + L"\\tree";
    ::CreateDirectoryW(t.c_str(), nullptr);
    ::CreateDirectoryW((t + L"\\sub1").c_str(), nullptr);
    ::CreateDirectoryW((t + L"\\sub1\\sub2").c_str(), nullptr);
    Touch(t + L"\\f1.txt");
    Touch(t + L"\\f2.dll");
    Touch(t + L"\\sub1\\g.txt");
    Touch(t + L"\\sub1\\sub2\\h.dll");

    CIChNodeList list;
    GetDirResources(t.c_str(), &list, 1, 1, L" *.dll\\ ");
    EXPECT_EQ(Take(list), (Entries{{ResDirectory, t},
                                   {ResFile, t + L"\\f2.dll"},
                                   {ResDirectory, t + L"\\sub1"},
                                   {ResDirectory, t + L"\\sub1\\sub2"},
                                   {ResFile, t + L"\\sub1\\sub2\\h.dll"}}));

    GetDirResources((t + L"\\").c_str(), &list, 0, 1, nullptr);
    Entries all = Take(list);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (Entries{{ResFile, t + L"\\f1.txt"},
                            {ResFile, t + L"\\f2.dll"},
                            {ResFile, t + L"\\sub1\\g.txt"},
                            {ResFile, t + L"\\sub1\\sub2\\h.dll"}}));

    GetDirResources(t.c_str(), &list, 0, 0, nullptr);
    EXPECT_EQ(Take(list).size(), 2u);

    GetOneDirResources(t.c_str(), &list, 1);
    EXPECT_EQ(Take(list),
              (Entries{{ResDirectory, t}, {ResDirectory, t + L"\\sub1"}, {ResDirectory, t + L"\\sub1\\sub2"}}));
    GetOneDirResources(t.c_str(), &list, 0);
    EXPECT_EQ(Take(list), (Entries{{ResDirectory, t}}));
}

TEST(DirExpansion, LinkBackToParentIsNotFollowed) {
    // looptree\inner\back is a symbolic link to looptree (made by the build on the host).
    const std::wstring t = Env(L"KV_BIN_DIR") + L"\\exchange_fixtures\\looptree";
    CIChNodeList list;
    GetDirResources(t.c_str(), &list, 1, 1, nullptr);
    int files = 0;
    for (const auto& e : Take(list))
        files += e.first == ResFile;
    EXPECT_EQ(files, 1);
    GetOneDirResources(t.c_str(), &list, 1);
    EXPECT_LE(Take(list).size(), 3u);
}

} // namespace
