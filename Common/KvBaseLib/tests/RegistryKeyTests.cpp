// The registry key: paths, queries with defaults, and the OnError retry rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistryKey.h"
#include "TestPaths.h"

using KvBase::CRegistryKey;

namespace {

// A scratch key of this test executable under HKCU, emptied before each test.
class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strSub = L"Software\\KvBaseTests\\Registry_" + KvBaseTest::ArchTag();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strSub.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, m_strSub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey,
                                  nullptr),
                  0);
    }
    void TearDown() override {
        RegCloseKey(m_hKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strSub.c_str());
    }
    void SetRaw(const wchar_t* pszName, DWORD dwType, const void* pData, DWORD cb) {
        ASSERT_EQ(RegSetValueExW(m_hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cb), 0);
    }

    std::wstring m_strSub;
    HKEY m_hKey = nullptr;
};

TEST_F(RegistryKeyTest, RootNamesAndPaths) {
    struct Case {
        HKEY hRoot;
        const wchar_t* pszPath;
    } cases[] = {
        {nullptr, L"NONE"},           {HKEY_CLASSES_ROOT, L"HKCR"},
        {HKEY_CURRENT_USER, L"HKCU"}, {HKEY_LOCAL_MACHINE, L"HKLM"},
        {HKEY_USERS, L"HKU"},         {HKEY_CURRENT_CONFIG, L"HKCC"},
        {HKEY_DYN_DATA, L"HKDD"},     {reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000010)), L""},
    };
    for (const Case& c : cases) {
        CRegistryKey key(c.hRoot);
        EXPECT_EQ(key.GetPath(), c.pszPath);
        EXPECT_EQ(key.GetHandle(), *c.pszPath ? c.hRoot : nullptr);
    }

    CRegistryKey key(HKEY_CURRENT_USER);
    EXPECT_EQ(key.Open(L"Software\\KvBaseTests\\NoSuchKey", false, KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.GetPath(), L"HKCU");
    EXPECT_EQ(key.GetHandle(), HKEY_CURRENT_USER);
    ASSERT_EQ(key.Open(m_strSub.c_str(), false, KEY_READ), 0);
    EXPECT_EQ(key.GetPath(), L"HKCU\\" + m_strSub);
    ASSERT_EQ(key.Open(L"Child\\Grandchild", true, KEY_ALL_ACCESS), 0);
    EXPECT_EQ(key.GetPath(), L"HKCU\\" + m_strSub + L"\\Child\\Grandchild");
    EXPECT_EQ(key.Close(), 0);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.GetPath(), L"HKCU\\" + m_strSub + L"\\Child\\Grandchild");
}

TEST_F(RegistryKeyTest, Queries) {
    DWORD dw = 0x12345678;
    SetRaw(L"Number", REG_DWORD, &dw, 4);
    const wchar_t szText[] = L"text";
    SetRaw(L"Text", REG_SZ, szText, sizeof(szText));
    SetRaw(L"NoZero", REG_SZ, L"abcdef", 3 * sizeof(wchar_t)); // "abc" without its terminator
    SetRaw(L"OddSize", REG_SZ, L"xy", 3);                      // one and a half characters
    SetRaw(L"Inner", REG_SZ, L"a\0b", 4 * sizeof(wchar_t));
    SetRaw(L"Expand", REG_EXPAND_SZ, L"%TEMP%\\x", 10 * sizeof(wchar_t));
    SetRaw(L"Empty", REG_SZ, L"", 0);
    SetRaw(L"Short", REG_DWORD, &dw, 2);

    CRegistryKey key(HKEY_CURRENT_USER);
    ASSERT_EQ(key.Open(m_strSub.c_str(), false, KEY_READ), 0);

    int n = -1;
    EXPECT_EQ(key.QueryDword(L"Number", &n, 7), 0);
    EXPECT_EQ(n, 0x12345678);
    EXPECT_EQ(key.QueryDword(L"Missing", &n, 7), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(key.QueryDword(L"Text", &n, 9), 0); // wrong type: unchanged
    EXPECT_EQ(n, 7);
    EXPECT_EQ(key.QueryDword(L"Short", &n, 9), 0); // too short: unchanged
    EXPECT_EQ(n, 7);
    DWORD dwOut = 0;
    EXPECT_EQ(key.QueryDword(L"Missing", &dwOut, 0xFFFFFFFF), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(dwOut, 0xFFFFFFFFu);

    struct Case {
        const wchar_t* pszName;
        LONG lResult;
        std::wstring strOut;
    } cases[] = {
        {L"Text", 0, L"text"},        {L"NoZero", 0, L"abc"},
        {L"OddSize", 0, L"x"},        {L"Inner", 0, L"a"},
        {L"Expand", 0, L"%TEMP%\\x"}, {L"Empty", 0, L""},
        {L"Number", 0, L"before"},    {L"Missing", ERROR_FILE_NOT_FOUND, L"default"},
    };
    for (const Case& c : cases) {
        std::wstring s = L"before";
        EXPECT_EQ(key.QueryString(c.pszName, s, L"default"), c.lResult) << c.pszName;
        EXPECT_EQ(s, c.strOut) << c.pszName;
    }
}

TEST_F(RegistryKeyTest, CopyOpensTheKeyAgain) {
    DWORD dw = 5;
    SetRaw(L"Number", REG_DWORD, &dw, 4);
    CRegistryKey copy(HKEY_CURRENT_USER);
    {
        CRegistryKey key(HKEY_CURRENT_USER);
        ASSERT_EQ(key.Open(m_strSub.c_str(), false, KEY_READ), 0);
        CRegistryKey other(key);
        EXPECT_NE(other.GetHandle(), key.GetHandle());
        copy = other;
    }
    EXPECT_EQ(copy.GetPath(), L"HKCU\\" + m_strSub);
    int n = 0;
    EXPECT_EQ(copy.QueryDword(L"Number", &n, 0), 0);
    EXPECT_EQ(n, 5);

    CRegistryKey closed(HKEY_CURRENT_USER);
    closed.Close();
    CRegistryKey fromClosed(closed);
    EXPECT_FALSE(fromClosed.IsOpen());
    EXPECT_EQ(fromClosed.GetPath(), L"");
}

// Counts OnError calls and answers "repeat" a given number of times, optionally repairing the
// cause on the first call.
class CCountingKey : public CRegistryKey {
public:
    explicit CCountingKey(HKEY hRoot, int nRetries) : CRegistryKey(hRoot), m_nRetries(nRetries) {}

    int OnError(LONG lError, int nOperation, const std::wstring& strPath) override {
        m_calls.push_back({lError, nOperation, strPath});
        if (m_pfnRepair && m_calls.size() == 1)
            m_pfnRepair(m_pRepairContext);
        return static_cast<int>(m_calls.size()) <= m_nRetries ? ErrorRetry : ErrorGiveUp;
    }

    struct Call {
        LONG lError;
        int nOperation;
        std::wstring strPath;
    };
    std::vector<Call> m_calls;
    int m_nRetries;
    void (*m_pfnRepair)(void*) = nullptr;
    void* m_pRepairContext = nullptr;
};

TEST_F(RegistryKeyTest, OnErrorRetries) {
    {
        // Opening a missing key: three repeats, then the library gives up with the error.
        CCountingKey key(HKEY_CURRENT_USER, 3);
        EXPECT_EQ(key.Open((m_strSub + L"\\Missing").c_str(), false, KEY_READ), ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(key.m_calls.size(), 4u);
        for (const auto& call : key.m_calls) {
            EXPECT_EQ(call.lError, ERROR_FILE_NOT_FOUND);
            EXPECT_EQ(call.nOperation, 4);
            EXPECT_EQ(call.strPath, L"HKCU\\" + m_strSub + L"\\Missing");
        }
    }
    {
        // A query that fails once and succeeds after the handler made the value.
        CCountingKey key(HKEY_CURRENT_USER, 1);
        ASSERT_EQ(key.Open(m_strSub.c_str(), false, KEY_READ), 0);
        key.m_pRepairContext = m_hKey;
        key.m_pfnRepair = [](void* p) {
            DWORD dw = 42;
            RegSetValueExW(static_cast<HKEY>(p), L"Late", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dw), 4);
        };
        int n = 0;
        EXPECT_EQ(key.QueryDword(L"Late", &n, -1), 0);
        EXPECT_EQ(n, 42);
        ASSERT_EQ(key.m_calls.size(), 1u);
        EXPECT_EQ(key.m_calls[0].nOperation, 6);
        EXPECT_EQ(key.m_calls[0].strPath, L"HKCU\\" + m_strSub + L"\"Late\"");
    }
    {
        // Creating below no key at all: refused, reported as operation 3 with the new path.
        CCountingKey key(nullptr, 0);
        LONG lErr = key.Open(L"New", true, KEY_ALL_ACCESS);
        EXPECT_EQ(lErr, ERROR_INVALID_HANDLE);
        ASSERT_EQ(key.m_calls.size(), 1u);
        EXPECT_EQ(key.m_calls[0].nOperation, 3);
        EXPECT_EQ(key.m_calls[0].strPath, L"NONE\\New");
        EXPECT_EQ(key.GetPath(), L"NONE");
    }
    {
        // The library's own rule gives up at once.
        CRegistryKey key(HKEY_CURRENT_USER);
        EXPECT_EQ(key.OnError(ERROR_FILE_NOT_FOUND, 4, L"x"), 2);
    }
}

TEST_F(RegistryKeyTest, Writes) {
    CRegistryKey key(HKEY_CURRENT_USER);
    ASSERT_EQ(key.Open(m_strSub.c_str(), false, KEY_ALL_ACCESS), 0);
    EXPECT_EQ(key.SetDword(L"D", 0x80000001), 0);
    EXPECT_EQ(key.SetString(L"S", L"значение"), 0);
    DWORD dw = 0;
    std::wstring s;
    EXPECT_EQ(key.QueryDword(L"D", &dw, 0), 0);
    EXPECT_EQ(dw, 0x80000001u);
    EXPECT_EQ(key.QueryString(L"S", s, L""), 0);
    EXPECT_EQ(s, L"значение");
    EXPECT_EQ(key.DeleteValue(L"S"), 0);
    EXPECT_EQ(key.QueryString(L"S", s, L"gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(s, L"gone");
}

} // namespace
