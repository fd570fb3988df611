#include "valkit.h"

#include <gtest/gtest.h>

#include "kvtest.h"

#include <cstdint>
#include <thread>
#include <vector>

TEST(ValueTest, KeepsTypeAndConvertsBack) {
    struct Case {
        _value_t v;
        const std::type_info& type;
        long long n;
        const wchar_t* text;
    } cases[] = {
        {_value_t(42), typeid(int), 42, L"42"},
        {_value_t(-7L), typeid(long), -7, L"-7"},
        {_value_t(0xFFFFFFFFUL), typeid(unsigned long), 0xFFFFFFFFLL, L"4294967295"},
        {_value_t(0x123456789ALL), typeid(long long), 0x123456789ALL, L"78187493530"},
        {_value_t(true), typeid(bool), 1, L"true"},
        {_value_t("17"), typeid(std::string), 17, L"17"},
        {_value_t(L"Привет"), typeid(std::wstring), 0, L"Привет"},
        {_value_t(), typeid(void), 0, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type.name());
        EXPECT_EQ(c.v.type(), c.type);
        EXPECT_EQ(c.v.as_int64(), c.n);
        EXPECT_EQ(static_cast<long long>(c.v), c.n);
        EXPECT_EQ(c.v.as_int(), static_cast<int>(c.n));
        EXPECT_EQ(c.v.as_wstring(), c.text);
    }
}

TEST(ValueTest, HResultIsALongNotAnInt) {
    _value_t hr(static_cast<long>(E_FAIL));
    EXPECT_NE(hr.type(), typeid(int));
    EXPECT_EQ(hr.type(), typeid(long));
    EXPECT_EQ(static_cast<unsigned>(hr.as_int()), 0x80004005u);
}

TEST(ValueTest, CopiesShareOneValueAcrossThreads) {
    KV_SKIP_THREADS_IF_EMULATED();
    _value_t v(L"shared");
    ASSERT_EQ(v.use_count(), 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([v] {
            for (int i = 0; i < 20000; ++i) {
                _value_t a(v);
                _value_t b = a;
                b = v;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(v.use_count(), 1);
    _value_t copy = v;
    EXPECT_EQ(v.use_count(), 2);
    EXPECT_EQ(copy, v);
    EXPECT_NE(_value_t(1), _value_t(1L)); // same number, other type
}

TEST(TimeTest, FileTimeRoundTripAndEmpty) {
    FILETIME ft{0x89ABCDEFu, 0x01D9F00Du};
    _time_t t = _time_t::mktime(ft, 1);
    FILETIME back = t.filetime();
    EXPECT_EQ(back.dwLowDateTime, ft.dwLowDateTime);
    EXPECT_EQ(back.dwHighDateTime, ft.dwHighDateTime);
    EXPECT_TRUE(_time_t(0LL).empty());
    EXPECT_FALSE(t.empty());
    EXPECT_LT(_time_t(5LL), _time_t(6LL));
}

TEST(EGenericTest, NamedValuesAndResultCode) {
    EGeneric e;
    EXPECT_TRUE(e["Code"].empty());
    EXPECT_EQ(static_cast<unsigned>(e.result_code()), 0x80004005u);
    e["Code"] = 1627;
    e["Text"] = "store cannot be opened";
    EXPECT_EQ(e.result_code(), 1627);
    EXPECT_EQ(e.text(), L"store cannot be opened");
    EXPECT_STREQ(e.what(), "store cannot be opened");

    EGeneric h;
    h["HRESULT"] = static_cast<long>(0x80070005L);
    EXPECT_EQ(static_cast<unsigned>(h.result_code()), 0x80004005u); // not an int "Code"
    h["Error"] = "denied";
    EXPECT_EQ(h.text(), L"denied");

    const EGeneric& c = h;
    EXPECT_TRUE(c["missing"].empty());
    EXPECT_FALSE(c.has("missing"));
}

TEST(EGenericTest, SystemAndComErrorsCarryTheirCodes) {
    try {
        ThrowSystemException(ERROR_FILE_NOT_FOUND);
        FAIL();
    } catch (const EGeneric& e) {
        EXPECT_EQ(e["HRESULT"].as_int(), static_cast<int>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
        EXPECT_EQ(e["Error"].as_int(), 2);
        EXPECT_FALSE(e.text().empty());
    }
    try {
        throw_EGeneric_from_com_error(E_OUTOFMEMORY, nullptr);
        FAIL();
    } catch (const EGeneric& e) {
        EXPECT_EQ(e["HRESULT"].type(), typeid(long));
        EXPECT_EQ(e["HRESULT"].as_int(), static_cast<int>(E_OUTOFMEMORY));
        EXPECT_FALSE(e.text().empty());
    }
    try {
        throw EBadCastException();
    } catch (const EGeneric& e) {
        EXPECT_FALSE(e.text().empty());
    }
}

TEST(StringsTest, FormatTakesWideStrings) {
    EXPECT_EQ(format_wstring(L"0x%0.8X", 0x1A2Bu), L"0x00001A2B");
    EXPECT_EQ(format_wstring(L"%s=%d", L"Ключ", 5), L"Ключ=5");
    std::wstring big(5000, L'x');
    EXPECT_EQ(format_wstring(L"[%s]", big.c_str()).size(), 5002u);
}

TEST(StringsTest, CodePagesRoundTrip) {
    std::wstring ru = L"Рабочая станция";
    EXPECT_EQ(GetACP(), 1251u) << "the test prefix runs with the Russian ANSI code page";
    std::string ansi = as_string(ru, 0);
    EXPECT_EQ(ansi.size(), ru.size());
    EXPECT_EQ(static_cast<unsigned char>(ansi[0]), 0xD0u); // 'Р' in code page 1251
    EXPECT_EQ(as_wstring(ansi, 0), ru);
    std::string utf8 = as_string(ru, CP_UTF8);
    EXPECT_EQ(utf8.size(), 29u);
    EXPECT_EQ(as_wstring(utf8, CP_UTF8), ru);
    EXPECT_EQ(as_string(L""), "");
}

TEST(StringsTest, CaseAndTrim) {
    EXPECT_EQ(strupper(L"c:\\program files\\ёжик.exe"), L"C:\\PROGRAM FILES\\ЁЖИК.EXE");
    EXPECT_EQ(strlower(L"HKEY_LOCAL_MACHINE\\SOFTWARE"), L"hkey_local_machine\\software");
    struct {
        const wchar_t *in, *chars, *both, *right;
    } cases[] = {
        {L"  a b  ", L" ", L"a b", L"  a b"},
        {L"\\\\path\\\\", L"\\", L"path", L"\\\\path"},
        {L"    ", L" ", L"", L""},
        {L"", L" ", L"", L""},
        {L"x", L"", L"x", L"x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trim(c.in, c.chars), c.both) << c.in;
        EXPECT_EQ(trimr(c.in, c.chars), c.right) << c.in;
    }
}

// The address comes from a volatile so the compiler cannot see the null and emit a trap instead.
static volatile uintptr_t g_bad_address = 0;

static void crash_with_access_violation() {
    redirect_structured_exceptions guard;
    volatile int* p = reinterpret_cast<volatile int*>(g_bad_address);
    *p = 1;
}

TEST(StructuredExceptionDeathTest, ReportsAndEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Under qemu's i386 emulation Wine receives faults without their trap number and reports
    // them as illegal instructions; the report and the exit code still have to agree.
    const bool emulated = GetEnvironmentVariableW(L"KV_I386_EMULATED", nullptr, 0) != 0;
    const DWORD code = emulated ? EXCEPTION_ILLEGAL_INSTRUCTION : EXCEPTION_ACCESS_VIOLATION;
    EXPECT_EXIT(crash_with_access_violation(), testing::ExitedWithCode(static_cast<int>(code)),
                emulated ? "illegal instruction \\(0xC000001D\\)" : "access violation \\(0xC0000005\\)");
}
