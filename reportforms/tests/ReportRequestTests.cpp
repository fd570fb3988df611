// Request documents of the four kinds against golden files, and the writers' failure paths.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "kvtest.h"

#include "ReportRequest.h"

namespace {

using KvTest::Env;

using KvTest::ReadBytes;
using KvTest::WriteBytes;

class RequestTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    std::wstring Tmp(const wchar_t* name) { return Env(L"KV_TEST_TMP") + L"\\" + name; }
    std::string Golden(const char* name) {
        std::wstring p = Env(L"KV_SOURCE_DIR") + L"\\reportforms\\tests\\golden\\";
        for (const char* c = name; *c; ++c)
            p += (wchar_t)*c;
        std::string golden = ReadBytes(p);
        EXPECT_FALSE(golden.empty()) << "missing golden file " << name;
        return golden;
    }
};

const SPageNumbering kPages = {1, 0, 1};

TEST_F(RequestTest, PassportMatchesGolden) {
    SPassportDetails d = {L"Отдел 5", L"АС \"Учёт\"", L"Кабинет <12> & склад", L"SN-0042", L"Иванов И.И.",
                          L"",        L"Сидоров С.С."};
    std::wstring path = Tmp(L"passport.xml");
    // The caller makes an empty temporary file for the name; the writer replaces it.
    WriteBytes(path, "stale content that must go");
    ASSERT_EQ(BuildPassportRequest(d, kPages, L"C:\\Отчёты\\паспорт.rtf", 1, L"task-7", path.c_str()), S_OK);
    EXPECT_EQ(ReadBytes(path), Golden("passport.xml"));
}

TEST_F(RequestTest, PassportWithEmptyDetailsKeepsCaptionAndEmptySignature) {
    SPassportDetails d = {};
    std::wstring path = Tmp(L"passport_empty.xml");
    ASSERT_EQ(BuildPassportRequest(d, SPageNumbering{0, 1, 0}, L"r.rtf", 0, L"", path.c_str()), S_OK);
    EXPECT_EQ(ReadBytes(path), Golden("passport_empty.xml"));
}

TEST_F(RequestTest, EventLogMatchesGoldenForEachChoice) {
    // The range is written whatever the choice; a choice outside 0..3 gives an empty text.
    const struct {
        int choice;
        const char* golden;
    } cases[] = {{0, "eventlog_all.xml"}, {2, "eventlog_range.xml"}, {7, "eventlog_bad_choice.xml"}};
    for (const auto& c : cases) {
        SEventLogParams p = {1, 10u, 4000000000u, c.choice};
        std::wstring path = Tmp(L"");
        for (const char* ch = c.golden; *ch; ++ch)
            path += (wchar_t)*ch;
        ASSERT_EQ(BuildEventLogRequest(p, kPages, L"C:\\log.rtf", 0, L"", path.c_str()), S_OK);
        EXPECT_EQ(ReadBytes(path), Golden(c.golden)) << c.golden;
    }
}

TEST_F(RequestTest, VarnoUserAccessMatchesGolden) {
    std::wstring path = Tmp(L"varno.xml");
    ASSERT_EQ(BuildVarnoUserAccessRequest(1, SPageNumbering{1, 1, 0}, L"C:\\v.rtf", 1, L"id", path.c_str()), S_OK);
    EXPECT_EQ(ReadBytes(path), Golden("varno.xml"));
}

TEST_F(RequestTest, ResourceMatchesGolden) {
    SResourceFilter f = {};
    for (int i = 0; i < 18; ++i)
        f.nFlags[i] = (i % 3 == 0) ? 1 : 0;
    f.nFlags[10] = 5; // any non-zero flag is true
    std::wstring path = Tmp(L"resource.xml");
    ASSERT_EQ(BuildResourceRequest(f, kPages, L"C:\\r.rtf", 1, L"", path.c_str()), S_OK);
    EXPECT_EQ(ReadBytes(path), Golden("resource.xml"));
}

TEST_F(RequestTest, MissingFolderFailsAndLeavesNoFile) {
    std::wstring path = Tmp(L"no such folder\\request.xml");
    SPassportDetails d = {};
    HRESULT hr = BuildPassportRequest(d, kPages, L"r.rtf", 0, L"", path.c_str());
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
