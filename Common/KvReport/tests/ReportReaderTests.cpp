// The request readers: what each extractor takes from a request file.
#include <gtest/gtest.h>

#include <windows.h>

#include "ReportReaders.h"
#include "ReportTestUtil.h"

using namespace KvReportTest;

namespace {

// A record with the keys a case names.
class CTestValues : public CRequestRecord {
public:
    using Extractor = CSAX2ValueExtractor;
    static constexpr const wchar_t* kReaderName = L"TSAX2DocumentReader<class CTestValues>::TSAX2DocumentReader";
    CTestValues(const wchar_t* a, const wchar_t* b) : CRequestRecord({a, b}) {}
};

class ReaderTest : public ::testing::Test {
protected:
    std::wstring Write(const wchar_t* name, const std::string& utf8) {
        std::wstring path = TmpPath(name);
        WriteBytes(path, utf8);
        return path;
    }
    CComScope m_com;
};

TEST_F(ReaderTest, ValueExtractionTable) {
    const struct {
        const char* xml;
        const wchar_t* key1;
        const wchar_t* key2;
        const wchar_t* want1;
        const wchar_t* want2;
        const char* what;
    } cases[] = {
        {"<Report><Header><Subsystem name=\"VrnPassportRpt64\" reportTitle=\"PassportSW\"/></Header>"
         "<Body><Subsystem name=\"X\" reportTitle=\"Y\"/></Body></Report>",
         L"Subsystem@name", L"Subsystem@reportTitle", L"VrnPassportRpt64", L"PassportSW",
         "both attributes found: the parse stops before the later Subsystem"},
        {"<Report><Body><IntegrityCheck>  \nA</IntegrityCheck><JobResources> \r\n </JobResources></Body></Report>",
         L"IntegrityCheck", L"JobResources", L"  \nA", L"",
         "a text keeps its leading white space; white space alone is no value"},
        {"<Report><A x=\"1\"><B><A x=\"2\"/></B></A></Report>", L"A@x", L"Never@y", L"1", L"",
         "an element part met earlier in the path does not match there"},
        {"<Report><Header><Subsystem name=\"only\"/></Header></Report>", L"Subsystem@name", L"Subsystem@reportTitle",
         L"only", L"", "a missing attribute stays empty"},
        {"<Report><Header><Subsystem", L"Subsystem@name", L"Subsystem@reportTitle", L"", L"",
         "a broken document gives empty values"},
    };
    for (const auto& c : cases) {
        std::wstring path = Write(L"values.xml", c.xml);
        CTestValues record(c.key1, c.key2);
        TSAX2DocumentReader<CTestValues> reader(record, path.c_str());
        EXPECT_EQ(record[c.key1], c.want1) << c.what;
        EXPECT_EQ(record[c.key2], c.want2) << c.what;
    }
}

TEST_F(ReaderTest, MissingFileGivesEmptyValues) {
    RequestFormat format;
    TSAX2DocumentReader<RequestFormat> reader(format, TmpPath(L"no such file.xml").c_str());
    EXPECT_EQ(format[L"FormatSettings"], L"");
    EXPECT_EQ(format[L"FormatOutput"], L"");
    XMLDocumentInfo info;
    TSAX2DocumentReader<XMLDocumentInfo> reader2(info, TmpPath(L"no such file.xml").c_str());
    EXPECT_EQ(info[L"Subsystem@name"], L"");
}

TEST_F(ReaderTest, ElementExtractorTakesWholeSections) {
    std::wstring path = Write(
        L"format.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Report><Body><PassportSW version=\"1.0\" request=\"true\">"
        "<FormatSettings><PageNumeration present=\"true\" location=\"top\" allPagesNum=\"false\"/></FormatSettings>\n"
        "<FormatOutput><ReportFile path=\"C:\\Отчёт.rtf\" show=\"true\"/></FormatOutput>"
        "</PassportSW></Body></Report>");
    RequestFormat format;
    TSAX2DocumentReader<RequestFormat> reader(format, path.c_str());
    const std::wstring& settings = format[L"FormatSettings"];
    EXPECT_EQ(settings.find(L"<?xml"), std::wstring::npos) << Utf8(settings);
    EXPECT_EQ(settings.find(L"<FormatSettings>"), 0u) << Utf8(settings);
    EXPECT_NE(settings.find(L"<PageNumeration present=\"true\" location=\"top\" allPagesNum=\"false\""),
              std::wstring::npos)
        << Utf8(settings);
    EXPECT_NE(settings.find(L"</FormatSettings>"), std::wstring::npos) << Utf8(settings);
    EXPECT_NE(format[L"FormatOutput"].find(L"path=\"C:\\Отчёт.rtf\""), std::wstring::npos)
        << Utf8(format[L"FormatOutput"]);
}

TEST_F(ReaderTest, NestedElementOfTheSameNameDoesNotEndTheCapture) {
    std::wstring path = Write(
        L"nested.xml", "<Report><FormatOutput a=\"1\"><FormatOutput b=\"2\"/><ReportFile path=\"p\"/></FormatOutput>"
                       "<FormatSettings/></Report>");
    RequestFormat format;
    TSAX2DocumentReader<RequestFormat> reader(format, path.c_str());
    const std::wstring& output = format[L"FormatOutput"];
    EXPECT_NE(output.find(L"<ReportFile path=\"p\""), std::wstring::npos) << Utf8(output);
    EXPECT_NE(output.rfind(L"</FormatOutput>"), std::wstring::npos) << Utf8(output);
}

} // namespace
