// The tracer: settings read from the registry, the trace file, line layout, value formatting,
// dumps, function scopes on several threads, the debugger output and break requests.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "KvTrace.h"
#include "RegistryKey.h"
#include "TestPaths.h"
#include "kvtest.h"

using namespace KvBase;
using KvTest::ReadBytes;
using KvTest::WriteBytes;

// The tracer of this test executable; its settings (under the real Trace key, module
// "KvBaseTests") are normally absent, so it stays silent.
KVBASE_DEFINE_TRACE(L"KvBaseTests");

namespace {

// The settings of these tests lie in a key of their own below the real Trace key; the tracers
// under test are pointed at it in place of the Trace key itself.
std::wstring TestSettingsKey() {
    return std::wstring(CKvTrace::kSettingsKey) + L"\\KvBaseTests_" + KvBaseTest::ArchTag();
}

// A tracer whose break output and account test the test decides.
class CTestTrace : public CKvTrace {
public:
    CTestTrace(const wchar_t* pszModule, const std::wstring& strKey) : CKvTrace(pszModule, strKey.c_str()) {}

    bool m_bLocalSystem = false;
    std::vector<std::wstring> m_vecBreaks;

    // A thread that takes the file lock and ends without releasing it.
    void AbandonFileLock() {
        HANDLE h = CreateThread(nullptr, 0, &TakeAndEnd, &FileLock(), 0, nullptr);
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    }

protected:
    bool IsLocalSystem() override { return m_bLocalSystem; }
    void ShowBreakMessage(const std::wstring& strLine) override { m_vecBreaks.push_back(strLine); }

private:
    static DWORD WINAPI TakeAndEnd(void* p) {
        return WaitForSingleObject(static_cast<CWin32Mutex*>(p)->GetHandle(), INFINITE);
    }
};

std::string Ansi(const std::wstring& s) {
    std::string out(s.size() * 2 + 1, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, s.c_str(), static_cast<int>(s.size()), &out[0], static_cast<int>(out.size()),
                                nullptr, nullptr);
    out.resize(n);
    return out;
}

std::string Utf16(const std::wstring& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

std::wstring Wide(const std::string& s) {
    std::wstring out(s.size(), L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &out[0], static_cast<int>(out.size()));
    out.resize(n);
    return out;
}

// The lines of an ANSI trace file, without their CR LF.
std::vector<std::wstring> FileLines(const std::wstring& strPath) {
    std::wstring s = Wide(ReadBytes(strPath));
    std::vector<std::wstring> lines;
    size_t nStart = 0;
    for (size_t n; (n = s.find(L"\r\n", nStart)) != std::wstring::npos; nStart = n + 2)
        lines.push_back(s.substr(nStart, n - nStart));
    if (nStart < s.size())
        lines.push_back(s.substr(nStart));
    return lines;
}

std::wstring Tid(const wchar_t* pszFormat, DWORD dwThread) {
    wchar_t sz[32];
    swprintf(sz, 32, pszFormat, static_cast<unsigned int>(dwThread));
    return sz;
}

// Writes the settings and owns the scratch folder of one test.
class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strKey = TestSettingsKey();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_strKey.c_str());
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string strName = std::string(info->name());
        m_strDir = KvBaseTest::ScratchDir() + L"trace_" + std::wstring(strName.begin(), strName.end());
        CreateDirectoryW(m_strDir.c_str(), nullptr);
        m_strDir += L"\\";
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_strKey.c_str()); }

    void Set(const wchar_t* pszSub, const wchar_t* pszName, DWORD dwValue) {
        CRegistryKey key(HKEY_LOCAL_MACHINE);
        std::wstring strPath = m_strKey + (pszSub ? std::wstring(L"\\") + pszSub : L"");
        ASSERT_EQ(key.Open(strPath.c_str(), true, KEY_ALL_ACCESS), 0);
        ASSERT_EQ(key.SetDword(pszName, dwValue), 0);
    }
    void Set(const wchar_t* pszSub, const wchar_t* pszName, const std::wstring& strValue) {
        CRegistryKey key(HKEY_LOCAL_MACHINE);
        std::wstring strPath = m_strKey + (pszSub ? std::wstring(L"\\") + pszSub : L"");
        ASSERT_EQ(key.Open(strPath.c_str(), true, KEY_ALL_ACCESS), 0);
        ASSERT_EQ(key.SetString(pszName, strValue), 0);
    }
    // Common settings for a tracer that writes plain lines to its own file in the scratch folder.
    void FileSettings(DWORD dwParams, DWORD dwEnable = 0x1F) {
        Set(nullptr, L"EnableMask", dwEnable);
        Set(nullptr, L"ParamsMask", dwParams);
        Set(nullptr, L"TracePath", m_strDir);
    }

    std::wstring m_strKey;
    std::wstring m_strDir;
};

// ---- settings ----

TEST_F(TraceTest, SettingsToMasksAndPath) {
    struct Value {
        const wchar_t* pszSub; // null: the common key, else the module's subkey
        const wchar_t* pszName;
        DWORD dwValue;
        const wchar_t* pszText; // a string value when not null
    };
    struct Case {
        const wchar_t* pszTitle;
        std::vector<Value> values;
        unsigned int nEnable, nParams, nContext, nCommon;
        const wchar_t* pszFile;
    };
    const wchar_t* M = L"Mod";
    const Case cases[] = {
        {L"common values",
         {{nullptr, L"EnableMask", 0x1F}, {nullptr, L"ParamsMask", 0x1}},
         0x1F,
         0x1,
         0xFFFFFFFF,
         0,
         L"Mod.log"},
        {L"module overrides",
         {{nullptr, L"EnableMask", 0x1},
          {nullptr, L"ParamsMask", 0x1},
          {M, L"EnableMask", 0x4},
          {M, L"ParamsMask", 0x4009},
          {M, L"ContextMask", 7}},
         0x4,
         0x4009,
         7,
         0,
         L"Mod.log"},
        {L"force overrides both",
         {{nullptr, L"EnableMask", 0x1},
          {M, L"EnableMask", 0x4},
          {nullptr, L"ForceEnableMask", 0x8},
          {M, L"ParamsMask", 0x1},
          {nullptr, L"ForceParamsMask", 0x9}},
         0x8,
         0x9,
         0xFFFFFFFF,
         0,
         L"Mod.log"},
        {L"context switched off",
         {{M, L"ContextMask", 7}, {nullptr, L"DisableContextFlag", 1}},
         0,
         0,
         0xFFFFFFFF,
         0,
         L"Mod.log"},
        {L"common file named by the module",
         {{M, L"CommonFileFlag", 1}, {M, L"CommonFileName", 0, L"trace."}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"trace.log"},
        {L"one-letter extension",
         {{M, L"CommonFileFlag", 1}, {M, L"CommonFileName", 0, L"a.b"}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"a.b"},
        {L"three-letter extension",
         {{M, L"CommonFileFlag", 1}, {M, L"CommonFileName", 0, L"x.txt"}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"x.txt"},
        {L"four-letter extension",
         {{M, L"CommonFileFlag", 1}, {M, L"CommonFileName", 0, L"x.json"}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"x.json.log"},
        {L"flag in the common key, name in the module's",
         {{nullptr, L"CommonFileFlag", 1}, {M, L"CommonFileName", 0, L"shared.txt"}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"shared.txt"},
        {L"name in the common key is not read",
         {{nullptr, L"CommonFileFlag", 1}, {nullptr, L"CommonFileName", 0, L"zzz.txt"}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"KvTrace.log"},
        {L"common file switched on by force only",
         {{nullptr, L"ForceCommonFileFlag", 1}, {M, L"CommonFileName", 0, L"ignored.txt"}},
         0,
         0,
         0xFFFFFFFF,
         1,
         L"KvTrace.log"},
        {L"wrong types keep the defaults",
         {{nullptr, L"EnableMask", 0, L"0x1F"}, {M, L"ParamsMask", 0, L"1"}},
         0,
         0,
         0xFFFFFFFF,
         0,
         L"Mod.log"},
    };
    std::wstring strFolder = m_strDir.substr(0, m_strDir.size() - 1); // no trailing backslash
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszTitle);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_strKey.c_str());
        Set(nullptr, L"TracePath", strFolder);
        for (const Value& v : c.values) {
            if (v.pszText)
                Set(v.pszSub, v.pszName, std::wstring(v.pszText));
            else
                Set(v.pszSub, v.pszName, v.dwValue);
        }
        CTestTrace trace(M, m_strKey);
        EXPECT_EQ(trace.GetEnableMask(), c.nEnable);
        EXPECT_EQ(trace.GetParamsMask(), c.nParams);
        EXPECT_EQ(trace.GetContextMask(), c.nContext);
        EXPECT_EQ(trace.GetCommonFileFlag(), c.nCommon);
        EXPECT_EQ(trace.GetFilePath(), m_strDir + c.pszFile);
        EXPECT_EQ(trace.IsActive(), c.nEnable != 0 && (c.nParams & 0xFF) != 0);
    }
}

TEST_F(TraceTest, ActivityAndDefaultFolder) {
    {
        // No settings key: nothing is read, tracing is off.
        CTestTrace trace(L"Mod", m_strKey + L"\\Missing");
        EXPECT_EQ(trace.ReadSettings(), 0);
        EXPECT_FALSE(trace.IsActive());
        EXPECT_EQ(trace.GetEnableMask(), 0u);
        EXPECT_EQ(trace.GetFilePath(), L"");
    }
    {
        // Categories on, but no output in the low byte of the parameters: off.
        Set(nullptr, L"EnableMask", 0x1F);
        Set(nullptr, L"ParamsMask", 0x100);
        CTestTrace trace(L"Mod", m_strKey);
        EXPECT_FALSE(trace.IsActive());
        EXPECT_TRUE(trace.IsCategoryEnabled(TraceWarning));
        EXPECT_FALSE(trace.IsCategoryEnabled(0x20));
        EXPECT_TRUE(trace.IsContext(0xFFFFFFFF));
        // Without TracePath the file lies in the folder of TEMP.
        wchar_t szTemp[MAX_PATH];
        DWORD cch = GetEnvironmentVariableW(L"Temp", szTemp, MAX_PATH);
        ASSERT_GT(cch, 0u);
        std::wstring strTemp(szTemp, cch);
        if (strTemp.back() != L'\\')
            strTemp += L'\\';
        EXPECT_EQ(trace.GetFilePath(), strTemp + L"Mod.log");
    }
}

TEST_F(TraceTest, ModuleSubkeyUnderTheRealTraceKey) {
    // The real key: only a module subkey of this test is written there.
    std::wstring strModule = L"KvBaseTests_Real_" + KvBaseTest::ArchTag();
    std::wstring strSub = std::wstring(CKvTrace::kSettingsKey) + L"\\" + strModule;
    CRegistryKey key(HKEY_LOCAL_MACHINE);
    ASSERT_EQ(key.Open(strSub.c_str(), true, KEY_ALL_ACCESS), 0);
    key.SetDword(L"EnableMask", 0x6);
    key.SetDword(L"ParamsMask", 0x8);
    key.SetDword(L"ContextMask", 3);
    {
        CKvTrace trace(strModule.c_str());
        EXPECT_EQ(trace.GetEnableMask(), 0x6u);
        EXPECT_EQ(trace.GetParamsMask(), 0x8u);
        EXPECT_EQ(trace.GetContextMask(), 3u);
        EXPECT_TRUE(trace.IsActive());
    }
    key.Close();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, strSub.c_str());
}

// ---- the trace file ----

TEST_F(TraceTest, FileBytesPerParameters) {
    const std::wstring strText = L"Привет 5";
    DWORD dwThread = GetCurrentThreadId();
    struct Case {
        DWORD dwParams;
        unsigned int nCategory;
        std::wstring strLine;
    } cases[] = {
        {0x1, TraceGeneral, strText + L"\r\n"},
        {0x4001, TraceGeneral, strText + L"\r\n"},
        {0x8001, TraceGeneral, L"[Mod] " + strText + L"\r\n"},
        {0xC001, TraceGeneral, L"[Mod] " + strText + L"\r\n"},
        {0x0801, TraceWarning, Tid(L"[%08X] W> ", dwThread) + strText + L"\r\n"},
        {0x4001, TraceError, L"E> " + strText + L"\r\n"},
        {0x1, TraceScope, strText + L"\r\n"},
    };
    int nCase = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(nCase++);
        FileSettings(c.dwParams);
        SetFileAttributesW((m_strDir + L"Mod.log").c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteBytes(m_strDir + L"Mod.log", "old");
        CTestTrace trace(L"Mod", m_strKey);
        EXPECT_EQ(ReadBytes(trace.GetFilePath()), ""); // the old file went at the start
        trace.Printf(c.nCategory, L"Привет %d", 5);
        std::string strExpected = (c.dwParams & 0x4000) ? Utf16(c.strLine) : Ansi(c.strLine);
        EXPECT_EQ(ReadBytes(trace.GetFilePath()), strExpected);
        trace.Printf(c.nCategory, L"Привет %d", 5);
        EXPECT_EQ(ReadBytes(trace.GetFilePath()), strExpected + strExpected);
    }
}

TEST_F(TraceTest, FileDateAndTime) {
    FileSettings(0x3001);
    // Retried when the clock passes into another second (or minute) between the two readings.
    for (int nTry = 0; nTry < 5; ++nTry) {
        CTestTrace trace(L"Mod", m_strKey);
        SYSTEMTIME st1, st2;
        GetLocalTime(&st1);
        trace.Printf(TraceGeneral, L"when");
        GetLocalTime(&st2);
        if (st1.wSecond != st2.wSecond)
            continue;
        wchar_t szDate[400], szTime[400];
        GetDateFormatW(GetThreadLocale(), 0, &st1, nullptr, szDate, 400);
        GetTimeFormatW(GetThreadLocale(), 0, &st1, nullptr, szTime, 400);
        EXPECT_EQ(ReadBytes(trace.GetFilePath()), Ansi(std::wstring(szDate) + L" " + szTime + L" when\r\n"));
        return;
    }
    FAIL() << "the clock never stood still for a line";
}

TEST_F(TraceTest, LineLayout) {
    FileSettings(0x1 | 0x2000 | 0x1000 | 0x400 | 0x800 | 0x8000);
    CTestTrace trace(L"Mod", m_strKey);
    SYSTEMTIME st = {2026, 12, 2, 8, 22, 41, 23, 45};
    wchar_t szDate[400], szTime[400], szSep[8];
    LCID lcid = GetThreadLocale();
    GetDateFormatW(lcid, 0, &st, nullptr, szDate, 400);
    GetTimeFormatW(lcid, 0, &st, nullptr, szTime, 400);
    GetLocaleInfoW(lcid, LOCALE_SDECIMAL, szSep, 8);
    std::wstring strLine;
    trace.FormatLine(strLine, TraceWarning, st, L"text");
    EXPECT_EQ(strLine, std::wstring(szDate) + L" " + szTime + szSep + L"045 [Mod] " +
                           Tid(L"[%08X] ", GetCurrentThreadId()) + L"W> text\r\n");
    trace.FormatLine(strLine, TraceBreak, st, nullptr);
    EXPECT_EQ(strLine.substr(strLine.size() - 2), L"\r\n");
    EXPECT_EQ(strLine.find(L"> "), std::wstring::npos);
}

TEST_F(TraceTest, StartOfRun) {
    const std::string strSeparatorA = "\r\n" + std::string(68, '*') + "\r\n\r\n";
    std::wstring strSeparatorW = L"\r\n" + std::wstring(68, L'*') + L"\r\n\r\n";
    std::wstring strFile = m_strDir + L"Mod.log";
    struct Case {
        DWORD dwParams;
        DWORD dwCommonFlag;
        DWORD dwAttributes;
        std::string strAfter;
    } cases[] = {
        {0x1, 0, FILE_ATTRIBUTE_NORMAL, ""},                      // deleted (read back as nothing)
        {0x1, 0, FILE_ATTRIBUTE_READONLY, "old"},                 // a read-only file stays
        {0x101, 0, FILE_ATTRIBUTE_NORMAL, "old" + strSeparatorA}, // kept and marked, 74 bytes
        {0x4101, 0, FILE_ATTRIBUTE_NORMAL, "old" + Utf16(strSeparatorW)},
        {0x1, 1, FILE_ATTRIBUTE_NORMAL, "old"}, // a common file is left alone
        {0x101, 1, FILE_ATTRIBUTE_NORMAL, "old"},
        {0x8, 0, FILE_ATTRIBUTE_NORMAL, "old"}, // no file output
    };
    EXPECT_EQ(strSeparatorA.size(), 74u);
    int nCase = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(nCase++);
        FileSettings(c.dwParams);
        Set(L"Mod", L"CommonFileFlag", c.dwCommonFlag);
        Set(L"Mod", L"CommonFileName", std::wstring(L"Mod.log"));
        SetFileAttributesW(strFile.c_str(), FILE_ATTRIBUTE_NORMAL); // an earlier case left it read-only
        WriteBytes(strFile, "old");
        SetFileAttributesW(strFile.c_str(), c.dwAttributes);
        {
            CTestTrace trace(L"Mod", m_strKey);
            EXPECT_EQ(trace.GetFilePath(), strFile);
        }
        EXPECT_EQ(ReadBytes(strFile), c.strAfter);
        SetFileAttributesW(strFile.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(TraceTest, FoldersOfTheFileAreCreated) {
    std::wstring strFolder = m_strDir + L"deep\\er/est";
    Set(nullptr, L"EnableMask", 1);
    Set(nullptr, L"ParamsMask", 1);
    Set(nullptr, L"TracePath", strFolder);
    CTestTrace trace(L"Mod", m_strKey);
    trace.Printf(TraceGeneral, L"line");
    EXPECT_EQ(ReadBytes(m_strDir + L"deep\\er\\est\\Mod.log"), "line\r\n");

    EXPECT_FALSE(CKvTrace::CreatePathFolders(L"nofolder"));
    EXPECT_FALSE(CKvTrace::CreatePathFolders(L"C:\\"));
    EXPECT_TRUE(CKvTrace::CreatePathFolders((m_strDir + L"one\\two\\f.log").c_str()));
    EXPECT_NE(GetFileAttributesW((m_strDir + L"one\\two").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((m_strDir + L"one\\two\\f.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TraceTest, AbandonedFileLockStillWrites) {
    KV_SKIP_THREADS_IF_EMULATED();
    FileSettings(0x1);
    CTestTrace trace(L"Mod", m_strKey);
    trace.AbandonFileLock();
    trace.Printf(TraceGeneral, L"after abandon");
    trace.Printf(TraceGeneral, L"and again");
    EXPECT_EQ(ReadBytes(trace.GetFilePath()), "after abandon\r\nand again\r\n");
}

// ---- the stream ----

TEST_F(TraceTest, ValueFormatting) {
    FileSettings(0x1);
    CTestTrace trace(L"Mod", m_strKey);
    ITrace& t = trace;
    struct Case {
        std::function<void(ITrace&)> write;
        std::wstring strLine;
    };
    DWORD dwThread = GetCurrentThreadId();
    wchar_t szError[1024];
    DWORD cchError = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5, 0, szError,
                                    1024, nullptr);
    const Case cases[] = {
        {[](ITrace& t) { t << 10; }, L"0A"},
        {[](ITrace& t) { t << 4096; }, L"1000"},
        {[](ITrace& t) {
             t.SetIntegerFormat(TraceDecimal);
             t << 5;
         },
         L"  5"},
        {[](ITrace& t) { t << 5; }, L"05"}, // the format of the last line is gone
        {[](ITrace& t) {
             t.SetIntegerFormat(TraceDecimal);
             t << -1;
         },
         L"4294967295"},
        {[](ITrace& t) {
             t.SetIntegerFormat(TraceBinary);
             t << 5u;
         },
         L"00000101"},
        {[](ITrace& t) {
             t.SetIntegerFormat(TraceHex | TraceWidthLarge);
             t << 10;
         },
         L"0A"}, // width not settable
        {[](ITrace& t) { t << 1.5f; }, L"1.500000E+000"},
        {[](ITrace& t) { t << -2.5e-7; }, L"-2.500000E-007"},
        {[](ITrace& t) {
             t.SetFloatFormat(TraceFixedFloat);
             t << 1.5f;
         },
         L"1.500000"},
        {[](ITrace& t) {
             t.SetFloatFormat(TraceFixedFloat);
             t.SetIntegerFormat(TraceDecimal);
             t.SetFloatFormat(0);
             t << 1.5f << 7;
         },
         L"1.500000E+000  7"},
        {[](ITrace& t) { t << true << L" " << false; }, L"true false"},
        {[](ITrace& t) { t << static_cast<char>(-1); }, L"FFFFFFFF"},
        {[](ITrace& t) { t << static_cast<unsigned char>(255); }, L"FF"},
        {[](ITrace& t) { t << static_cast<short>(-2); }, L"FFFFFFFE"},
        {[](ITrace& t) { t << static_cast<unsigned short>(65535); }, L"FFFF"},
        {[](ITrace& t) { t << 7L << 8UL; }, L"0708"},
        {[](ITrace& t) { t << Ansi(L"Привет").c_str(); }, L"Привет"}, // ANSI text, code page 1251
        {[](ITrace& t) {
             t << L"a" << static_cast<const wchar_t*>(nullptr) << static_cast<const char*>(nullptr) << L"b";
         },
         L"ab"},
        {[](ITrace& t) { t << L"x" << TraceTid << L"y"; }, L"x" + Tid(L" [TID:%02X] ", dwThread) + L"y"},
        {[](ITrace& t) {
             t.SetCategory(TraceError);
             t << std::wstring(L"bad");
         },
         L"E> bad"},
        {[](ITrace& t) { t << L"category back to scopes"; }, L"category back to scopes"},
        {[](ITrace& t) {
             t.SetCategory(TraceWarning);
             t << TraceEndl;
             t << L"kept";
         },
         L"W> kept"}, // empty end keeps the state
    };
    for (const Case& c : cases) {
        c.write(t);
        t << TraceEndl;
    }
    // The last error's text, with the message table's line break.
    SetLastError(5);
    t << TraceLastErrorText << TraceEndl;

    std::vector<std::wstring> lines = FileLines(trace.GetFilePath());
    ASSERT_EQ(lines.size(), sizeof(cases) / sizeof(cases[0]) + 2);
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(lines[i], cases[i].strLine) << i;
    ASSERT_GT(cchError, 2u);
    EXPECT_EQ(lines[lines.size() - 2] + L"\r\n", std::wstring(szError, cchError));
    EXPECT_EQ(lines.back(), L"");
}

TEST(TraceIntegerText, RadixAndWidth) {
    struct Case {
        unsigned int nValue, nFormat;
        const wchar_t* pszText;
    } cases[] = {
        {0xA, 0x1, L"0A"},
        {0xA, 0x41, L"000A"},
        {0xA, 0x81, L"0000000A"},
        {0x123, 0x1, L"123"},
        {0xA, 0x0, L"0A"},
        {0xA, 0x3, L"0A"},
        {5, 0x2, L"  5"},
        {5, 0x42, L"    5"},
        {5, 0x82, L"         5"},
        {123456, 0x2, L"123456"},
        {5, 0x6, L"  5"},
        {5, 0x4, L"00000101"},
        {5, 0x44, L"0000000000000101"},
        {5, 0x84, L"00000000000000000000000000000101"},
        {0x20000001, 0x402, L"20000001"}, // no system text: hexadecimal
    };
    for (const Case& c : cases)
        EXPECT_EQ(CKvTrace::IntegerText(c.nValue, c.nFormat), c.pszText) << std::hex << c.nValue << " " << c.nFormat;
}

TEST_F(TraceTest, DisabledCategoryDropsTheStream) {
    FileSettings(0x1, 0x1D); // everything but function scopes, the default category of a thread
    CTestTrace trace(L"Mod", m_strKey);
    EXPECT_FALSE(trace.IsLinePending());
    trace << L"dropped" << TraceEndl;
    trace.SetIntegerFormat(TraceDecimal); // no effect: the thread's category is off
    EXPECT_FALSE(trace.IsLinePending());
    trace.SetCategory(TraceGeneral);
    trace << 5;
    EXPECT_TRUE(trace.IsLinePending());
    trace << TraceEndl;
    EXPECT_FALSE(trace.IsLinePending());
    EXPECT_EQ(ReadBytes(trace.GetFilePath()), "05\r\n");
}

TEST_F(TraceTest, PrintfAndDestruction) {
    FileSettings(0x1);
    std::wstring strPath;
    std::wstring strLong(3000, L'x');
    std::wstring strLongFormat = std::wstring(1200, L'y') + L"%d";
    {
        CTestTrace trace(L"Mod", m_strKey);
        strPath = trace.GetFilePath();
        trace.Printf(TraceGeneral, L"100%% plain"); // no '%' in the format: as it is
        trace.Printf(TraceGeneral, L"no marks");
        trace.Printf(TraceGeneral, L"%s", strLong.c_str()); // longer than the first buffer
        trace.Printf(TraceGeneral, strLongFormat.c_str(), 42);
        trace.Printf(TraceGeneral, nullptr);
        trace.Printf(TraceGeneral, L"");
        trace.Printf(0x20, L"unknown category");
        trace << L"pending at the end"; // ended by the destructor
    }
    std::vector<std::wstring> lines = FileLines(strPath);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], L"100% plain");
    EXPECT_EQ(lines[1], L"no marks");
    EXPECT_EQ(lines[2], strLong);
    EXPECT_EQ(lines[3], std::wstring(1200, L'y') + L"42");
    EXPECT_EQ(lines[4], L"pending at the end");
}

TEST_F(TraceTest, Dump) {
    FileSettings(0x1);
    CTestTrace trace(L"Mod", m_strKey);
    std::vector<BYTE> bytes(256);
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<BYTE>(i);
    const BYTE five[] = {1, 2, 3, 4, 5};

    struct Case {
        const wchar_t* pszTitle;
        const void* pData;
        unsigned int cb, nFlags;
        std::string strExpected;
    } cases[] = {
        {L"T", five, 5, 0, "T\r\n 00: 01 02 03 04 05\r\n\r\n"},
        {L"W", bytes.data() + 1, 7, TraceDumpWords, "W\r\n 00: 0201 0403 0605\r\n\r\n"},
        {L"D", bytes.data() + 1, 9, TraceDumpDwords, "D\r\n 00: 04030201 08070605\r\n\r\n"},
        {L"N", nullptr, 5, 0, ""},
        {L"Z", five, 0, 0, ""},
        {L"S", bytes.data(), 35, TraceDumpWords,
         "S\r\n 00: 0100 0302 0504 0706 0908 0B0A 0D0C 0F0E - 1110 1312 1514 1716 1918 1B1A 1D1C 1F1E\r\n"
         " 10: 2120\r\n\r\n"},
    };
    for (const Case& c : cases) {
        std::wstring strPath = trace.GetFilePath();
        DeleteFileW(strPath.c_str());
        trace.Dump(TraceGeneral, c.pszTitle, c.pData, c.cb, c.nFlags);
        EXPECT_EQ(ReadBytes(strPath), c.strExpected) << c.pszTitle;
    }

    DeleteFileW(trace.GetFilePath().c_str());
    trace.Dump(TraceGeneral, L"B", bytes.data(), 256, 0);
    std::vector<std::wstring> lines = FileLines(trace.GetFilePath());
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], L"B");
    EXPECT_EQ(lines[1], L" 0000: 00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F - 10 11 12 13 14 15 16 17 - 18 19 "
                        L"1A 1B 1C 1D 1E 1F");
    for (int nRow = 0; nRow < 8; ++nRow)
        EXPECT_EQ(lines[1 + nRow].substr(0, 7), Tid(L" %04X: ", nRow * 32)) << nRow;
    EXPECT_EQ(lines[8].substr(lines[8].size() - 2), L"FF");
}

// ---- function scopes and threads ----

struct SScopeRun {
    CKvTrace* pTrace;
    HANDLE hMyTurn[4]; // set by the conductor: step n of this thread may run
    HANDLE hDone;      // set by this thread after each step
};

DWORD WINAPI ScopeThread(void* p) {
    SScopeRun* run = static_cast<SScopeRun*>(p);
    auto step = [run](int n) { WaitForSingleObject(run->hMyTurn[n], INFINITE); };
    auto done = [run]() { SetEvent(run->hDone); };
    step(0);
    {
        CTraceScope outer(*run->pTrace, L"Outer", L"file", 10);
        done();
        step(1);
        {
            CTraceScope inner(*run->pTrace, L"Inner", L"file", 20);
            inner.Print(TraceGeneral, L"inner %d", 1);
            done();
            step(2);
        }
        done();
        step(3);
        outer.Print(TraceWarning, L"outer");
    }
    done();
    return 0;
}

TEST_F(TraceTest, NestedScopesOnTwoThreads) {
    KV_SKIP_THREADS_IF_EMULATED();
    FileSettings(0x801);
    CTestTrace trace(L"Mod", m_strKey);
    SScopeRun runs[2];
    HANDLE hThreads[2];
    DWORD dwIds[2];
    for (int i = 0; i < 2; ++i) {
        runs[i].pTrace = &trace;
        for (HANDLE& h : runs[i].hMyTurn)
            h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        runs[i].hDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        hThreads[i] = CreateThread(nullptr, 0, &ScopeThread, &runs[i], 0, &dwIds[i]);
    }
    // A enters, B enters, A's inner, B's inner, B leaves inner, A leaves inner, B ends, A ends.
    const int order[][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {1, 2}, {0, 2}, {1, 3}, {0, 3}};
    for (const auto& o : order) {
        SetEvent(runs[o[0]].hMyTurn[o[1]]);
        WaitForSingleObject(runs[o[0]].hDone, INFINITE);
    }
    WaitForMultipleObjects(2, hThreads, TRUE, INFINITE);
    EXPECT_EQ(CTraceScope::GetDepth(), 0);

    std::wstring A = Tid(L"[%08X] ", dwIds[0]), B = Tid(L"[%08X] ", dwIds[1]);
    std::vector<std::wstring> expected = {
        A + L"Outer(file#10)",
        A + L"{",
        B + L". Outer(file#10)",
        B + L". {",
        A + L".. Inner(file#20)",
        A + L".. {",
        A + L"... inner 1",
        B + L"... Inner(file#20)",
        B + L"... {",
        B + L".... inner 1",
        B + L"... }",
        A + L".. }",
        B + L"W> .. outer",
        B + L". }",
        A + L"W> . outer",
        A + L"}",
    };
    EXPECT_EQ(FileLines(trace.GetFilePath()), expected);
    for (int i = 0; i < 2; ++i) {
        CloseHandle(hThreads[i]);
        for (HANDLE h : runs[i].hMyTurn)
            CloseHandle(h);
        CloseHandle(runs[i].hDone);
    }
}

TEST_F(TraceTest, ScopesOfAnInactiveTracer) {
    CTestTrace trace(L"Mod", m_strKey + L"\\Missing");
    {
        CTraceScope scope(trace, L"F", L"file", 1);
        EXPECT_EQ(CTraceScope::GetDepth(), 1);
        scope.Print(TraceGeneral, L"nothing");
        CTraceScope onTheModule(L"G", L"file", 2); // the module's own tracer, off as well
        EXPECT_EQ(CTraceScope::GetDepth(), 2);
        CTraceScope onNull(GetNullTrace(), L"H", L"file", 3);
    }
    EXPECT_EQ(CTraceScope::GetDepth(), 0);
    EXPECT_FALSE(theTrace.IsLinePending());
}

struct SStreamRun {
    ITrace* pTrace;
    const wchar_t* pszName;
    HANDLE hBarrier; // both threads have streamed their first part
    LONG* pnArrived;
};

DWORD WINAPI StreamThread(void* p) {
    SStreamRun* run = static_cast<SStreamRun*>(p);
    *run->pTrace << run->pszName << L"-first";
    if (InterlockedIncrement(run->pnArrived) == 2)
        SetEvent(run->hBarrier);
    WaitForSingleObject(run->hBarrier, INFINITE);
    *run->pTrace << L"-second" << TraceEndl;
    return 0;
}

TEST_F(TraceTest, ThreadsKeepSeparateLines) {
    KV_SKIP_THREADS_IF_EMULATED();
    FileSettings(0x1);
    CTestTrace trace(L"Mod", m_strKey);
    LONG nArrived = 0;
    HANDLE hBarrier = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SStreamRun runs[2] = {{&trace, L"A", hBarrier, &nArrived}, {&trace, L"B", hBarrier, &nArrived}};
    HANDLE h[2];
    for (int i = 0; i < 2; ++i)
        h[i] = CreateThread(nullptr, 0, &StreamThread, &runs[i], 0, nullptr);
    WaitForMultipleObjects(2, h, TRUE, INFINITE);
    CloseHandle(h[0]);
    CloseHandle(h[1]);
    CloseHandle(hBarrier);
    std::vector<std::wstring> lines = FileLines(trace.GetFilePath());
    ASSERT_EQ(lines.size(), 2u);
    if (lines[0][0] == L'B')
        std::swap(lines[0], lines[1]);
    EXPECT_EQ(lines[0], L"A-first-second");
    EXPECT_EQ(lines[1], L"B-first-second");
}

// ---- debugger and break requests ----

// Collects what OutputDebugString hands to a debugger (the print exceptions it raises).
class CDebuggerCapture {
public:
    CDebuggerCapture() : m_hHandler(AddVectoredExceptionHandler(1, &Handler)) { s_pActive = this; }
    ~CDebuggerCapture() {
        RemoveVectoredExceptionHandler(m_hHandler);
        s_pActive = nullptr;
    }
    // Texts as received; a text raised both as UTF-16 and as ANSI counts once.
    std::vector<std::wstring> m_vecTexts;

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* p) {
        const EXCEPTION_RECORD* r = p->ExceptionRecord;
        if (!s_pActive)
            return EXCEPTION_CONTINUE_SEARCH;
        if (r->ExceptionCode == 0x4001000A && r->NumberParameters >= 2) { // DBG_PRINTEXCEPTION_WIDE_C
            s_pActive->m_vecTexts.push_back(reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]));
            s_pActive->m_bLastWide = true;
        } else if (r->ExceptionCode == 0x40010006 && r->NumberParameters >= 2) { // DBG_PRINTEXCEPTION_C
            if (!s_pActive->m_bLastWide)
                s_pActive->m_vecTexts.push_back(Wide(reinterpret_cast<const char*>(r->ExceptionInformation[1])));
            s_pActive->m_bLastWide = false;
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static CDebuggerCapture* s_pActive;
    PVOID m_hHandler;
    bool m_bLastWide = false;
};
CDebuggerCapture* CDebuggerCapture::s_pActive = nullptr;

TEST_F(TraceTest, DebuggerOutput) {
    KV_SKIP_THREADS_IF_EMULATED();
    for (DWORD dwParams : {0x8u, 0x4008u}) {
        SCOPED_TRACE(dwParams);
        FileSettings(dwParams);
        CTestTrace trace(L"Mod", m_strKey);
        CDebuggerCapture capture;
        trace.Printf(TraceError, L"line\r\nтекст");
        ASSERT_EQ(capture.m_vecTexts.size(), 1u);
        EXPECT_EQ(capture.m_vecTexts[0], L"E> line\nтекст\n"); // no carriage returns
        EXPECT_EQ(GetFileAttributesW(trace.GetFilePath().c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(TraceTest, BreakRequests) {
    KV_SKIP_THREADS_IF_EMULATED();
    FileSettings(0x1);
    {
        // An interactive process: a message box (here the seam) with the line; the file has it too.
        CTestTrace trace(L"Mod", m_strKey);
        CDebuggerCapture capture;
        trace.Printf(TraceBreak, L"stop here");
        ASSERT_EQ(trace.m_vecBreaks.size(), 1u);
        EXPECT_EQ(trace.m_vecBreaks[0], L"stop here\r\n");
        EXPECT_TRUE(capture.m_vecTexts.empty());
        EXPECT_EQ(ReadBytes(trace.GetFilePath()), "stop here\r\n");
        trace.Printf(TraceGeneral, L"no break");
        EXPECT_EQ(trace.m_vecBreaks.size(), 1u);
    }
    {
        // The local system account: the debugger gets the line and the notice instead.
        CTestTrace trace(L"Mod", m_strKey);
        trace.m_bLocalSystem = true;
        CDebuggerCapture capture;
        trace.Printf(TraceBreak, L"stop here");
        EXPECT_TRUE(trace.m_vecBreaks.empty());
        std::vector<std::wstring> expected = {L"stop here\r\n",
                                              L"W> A break is requested after last output, but ommitted in release.\n"};
        EXPECT_EQ(capture.m_vecTexts, expected);
    }
    {
        // Break requests that are not enabled show nothing.
        FileSettings(0x1, 0xF);
        CTestTrace trace(L"Mod", m_strKey);
        trace.Printf(TraceBreak, L"stop here");
        EXPECT_TRUE(trace.m_vecBreaks.empty());
    }
}

// ---- the registry watcher ----

TEST_F(TraceTest, WatcherReadsChangedSettings) {
    KV_SKIP_THREADS_IF_EMULATED();
    FileSettings(0x1, 0x1);
    CTestTrace trace(L"Mod", m_strKey);
    EXPECT_EQ(trace.GetEnableMask(), 0x1u);
    EXPECT_EQ(trace.StartListen(), 0);
    Sleep(100);
    Set(L"Mod", L"EnableMask", 0x8);
    for (int i = 0; i < 100 && trace.GetEnableMask() != 0x8; ++i)
        Sleep(50);
    EXPECT_EQ(trace.GetEnableMask(), 0x8u);
    Set(nullptr, L"ForceParamsMask", 0x9);
    for (int i = 0; i < 100 && trace.GetParamsMask() != 0x9; ++i)
        Sleep(50);
    EXPECT_EQ(trace.GetParamsMask(), 0x9u);
    trace.StopListen();
    Set(L"Mod", L"EnableMask", 0x4);
    Sleep(200);
    EXPECT_EQ(trace.GetEnableMask(), 0x8u); // no longer watched
}

} // namespace
