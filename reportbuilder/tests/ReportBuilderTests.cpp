// The report builder: results for good and broken responses, the report file's bytes (Russian
// ANSI code page, Unicode escapes, no RTF injection, page numbering), a missing template.
#include "KvProcAddress.h"
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "ReportTestUtil.h"
#include "kvrtf.h"

using namespace KvReportTest;

namespace {

typedef int (*PFN_Build)(const wchar_t*, wchar_t*);
typedef int (*PFN_Request)(const wchar_t*, const wchar_t*, unsigned);

// The builder loaded from a folder, as the main program finds it.
class CBuilder {
public:
    explicit CBuilder(const std::wstring& dll) : m_h(LoadLibraryW(dll.c_str())) {
        if (m_h) {
            Build = KvGetProcAddress<PFN_Build>(m_h, "KvReportBuild");
            Request = KvGetProcAddress<PFN_Request>(m_h, "KvReportRequest");
        }
    }
    ~CBuilder() {
        if (m_h)
            FreeLibrary(m_h);
    }
    HMODULE m_h;
    PFN_Build Build = nullptr;
    PFN_Request Request = nullptr;
};

std::string Utf8Response(
    const std::wstring& kind, const std::wstring& reportPath, const std::wstring& content,
    const std::wstring& pages = L"<PageNumeration present=\"true\" location=\"bottom\" allPagesNum=\"true\"/>") {
    return Utf8(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Report version=\"1.0\"><Header>"
                L"<Source result=\"OK\" type=\"Subsystem\"/><Subsystem name=\"X\" reportTitle=\"" +
                kind + L"\"/></Header><Body><" + kind + L" version=\"1.0\"><FormatSettings>" + pages +
                L"</FormatSettings><FormatOutput><ReportFile path=\"" + reportPath +
                L"\" show=\"true\"/>"
                L"</FormatOutput>" +
                content + L"</" + kind + L"></Body></Report>");
}

class BuilderTest : public ::testing::Test {
protected:
    BuilderTest() : m_builder(Env(L"KV_BIN_DIR") + L"\\KvReportBuilder64.dll") {}
    void SetUp() override { ASSERT_TRUE(m_builder.Build && m_builder.Request); }

    std::wstring Response(const wchar_t* name, const std::string& utf8) {
        std::wstring path = TmpPath(name);
        WriteBytes(path, utf8);
        return path;
    }
    CComScope m_com;
    CBuilder m_builder;
};

TEST_F(BuilderTest, ResultsForResponses) {
    std::wstring report = TmpPath(L"table.rtf");
    const struct {
        std::string xml;
        int result;
        bool file;
        const char* what;
    } cases[] = {
        {Utf8Response(L"ResourceWS", report,
                      L"<WorkstationInfo><Workstation serialNumber=\"1\">WS</Workstation></WorkstationInfo>"),
         0, true, "a resource report is written"},
        {Utf8Response(L"EventLog", report, L"<Events><Event id=\"4\">x</Event></Events>"), 0, true, "event log"},
        {Utf8Response(L"VarnoUserAccess", report, L"<Users/>"), 0, true, "board access"},
        {"<Report><Header><Source type=\"AGENT\" "
         "result=\"Error\"/></Header><Body><Error><Code>5</Code></Error></Body></Report>",
         5, false, "an outside source's error code"},
        {"<Report><Header><Source type=\"Subsystem\" result=\"Error\"/><Source type=\"TarnServer\" "
         "result=\"ERROR\"/></Header><Body><Error><Code>7</Code></Error></Body></Report>",
         7, false, "the first failed outside source among several, a server's"},
        {"<Report><Header><Source type=\"Subsystem\" result=\"OK\"/></Header><Body/></Report>", 1, false,
         "no Subsystem and no failed source"},
        {"<Report><Header><Subsystem reportTitle=\"PassportSW\"/></Header><Body/></Report>", 1, false,
         "no FormatOutput"},
        {"<Report><Header", 1, false, "not well-formed"},
        {Utf8Response(L"Inventory", report, L""), (int)0x80070032, false, "a type without a template is no success"},
        {Utf8Response(L"ResourceWS", TmpPath(L"no such folder\\r.rtf"), L""), 3, false, "folder missing"},
    };
    for (const auto& c : cases) {
        DeleteFileW(report.c_str());
        std::wstring response = Response(L"response.xml", c.xml);
        wchar_t path[MAX_PATH] = L"untouched";
        int r = m_builder.Build(response.c_str(), path);
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(FileExists(report), c.file) << c.what;
        if (c.result == 0) {
            EXPECT_EQ(std::wstring(path), report) << c.what;
        }
    }
    wchar_t path[MAX_PATH];
    EXPECT_EQ(m_builder.Build(TmpPath(L"missing response.xml").c_str(), path), 1);
}

TEST_F(BuilderTest, ReportTextIsRussianAnsiWithEscapes) {
    std::wstring report = TmpPath(L"passport.rtf");
    std::wstring response = Response(
        L"passport.xml",
        Utf8Response(
            L"PassportSW", report,
            L"<Caption><Workstation serialNumber=\"1\">WS-01</Workstation><OSType>Windows 7, 64-bit</OSType></Caption>"
            L"<Software><SoftwareItem><ProductName>Учёт {\\b1 жирный}\\par Ωμέγα</ProductName><Company>ООО "
            L"«Ромашка»</Company>"
            L"<Size>1024</Size><CRC>0A1B2C3D</CRC></SoftwareItem></Software>",
            L"<PageNumeration present=\"true\" location=\"top\" allPagesNum=\"true\"/>"));
    wchar_t path[MAX_PATH];
    ASSERT_EQ(m_builder.Build(response.c_str(), path), 0);
    std::string rtf = ReadBytes(report);
    ASSERT_EQ(rtf.compare(0, 6, "{\\rtf1"), 0) << rtf;
    // Cyrillic as bytes of code page 1251; Greek as Unicode escapes; braces and backslashes of
    // the data escaped, so the data opens no group and names no control word.
    EXPECT_NE(
        rtf.find("\xD3\xF7\xB8\xF2 \\{\\\\b1 \xE6\xE8\xF0\xED\xFB\xE9\\}\\\\par \\u937?\\u956?\\u941?\\u947?\\u945?"),
        std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find("\xCE\xCE\xCE \xAB\xD0\xEE\xEC\xE0\xF8\xEA\xE0\xBB"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("0A1B2C3D"), std::string::npos);
    // A number right after a control word would become its parameter: cells start with a blank.
    EXPECT_NE(rtf.find("\\ql 1\\cell "), std::string::npos) << rtf;
    EXPECT_EQ(rtf.find('?' + std::string("\xCC")), std::string::npos);
    EXPECT_NE(rtf.find("{\\header "), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("NUMPAGES"), std::string::npos) << rtf;
    // Braces of the whole file balance once escaped ones are left out.
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}

// Names made of thousands of RTF specials: each is escaped, none limits the transform (a
// template recursing once per special used to stop the transform at 1 500 of them and leave
// an empty report).
TEST_F(BuilderTest, NamesOfThousandsOfRtfSpecialsAreEscapedWhole) {
    std::string specials, backslashes(1500, '\\'), braces(4000, '{');
    for (int i = 0; i < 6000; ++i)
        specials += "\\{}"[i % 3];
    const std::string names[] = {
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + backslashes + "end",
        specials,
        braces + std::string(4000, '}'),
        "C:\\plain\\name.dll",
        std::string(20000, 'x') + "\\" + std::string(20000, 'y'),
    };
    std::wstring report = TmpPath(L"specials.rtf");
    std::wstring content = L"<ICheck><IntegrityCheck><VarnosCheck><VarnoCheck><Settings><Title>T</Title></Settings>"
                           L"<JobResources>";
    for (const std::string& name : names)
        content += L"<JobResource value=\"" + FromUtf8(name) + L"\"/>";
    content += L"</JobResources></VarnoCheck></VarnosCheck></IntegrityCheck></ICheck>";
    std::wstring response = Response(L"specials.xml", Utf8Response(L"ResourceWS", report, content));
    wchar_t path[MAX_PATH];
    ASSERT_EQ(m_builder.Build(response.c_str(), path), 0);
    std::string rtf = ReadBytes(report);
    ASSERT_EQ(rtf.compare(0, 6, "{\\rtf1"), 0) << rtf.substr(0, 200);
    for (const std::string& name : names)
        EXPECT_EQ(KvRtf::Count(rtf, "\\f1 " + KvRtf::RtfText(FromUtf8(name)) + "\\f0\\par"), 1u) << name.substr(0, 80);
    EXPECT_TRUE(KvRtf::BracesBalance(rtf));
}

// A copy of the library beside templates of the test's own.
class CBuilderWithTemplates {
public:
    CBuilderWithTemplates(const wchar_t* folderName, const std::string& resourceTemplate) {
        folder = TmpPath(folderName);
        CreateDirectoryW(folder.c_str(), nullptr);
        CreateDirectoryW((folder + L"\\ReportTemplate").c_str(), nullptr);
        WriteBytes(folder + L"\\ReportTemplate\\repResourceWS.xsl", resourceTemplate);
        std::wstring dll = folder + L"\\KvReportBuilder64.dll";
        CopyFileW((Env(L"KV_BIN_DIR") + L"\\KvReportBuilder64.dll").c_str(), dll.c_str(), FALSE);
        builder.reset(new CBuilder(dll));
    }
    std::wstring folder;
    std::unique_ptr<CBuilder> builder;
};

// A transform that gives no text is no report: the build fails and writes no file, whether the
// template writes nothing or the processor stops it (here at its depth of nested templates).
TEST(BuilderWithTemplates, EmptyTransformResultFails) {
    CComScope com;
    const std::string head = "<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" "
                             "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output method=\"text\"/>";
    const struct {
        const wchar_t* folder;
        std::string xsl;
        const char* what;
    } cases[] = {
        {L"empty_template", head + "<xsl:template match=\"/\"/></xsl:stylesheet>", "a template that writes nothing"},
        {L"endless_template",
         head + "<xsl:template match=\"/\"><xsl:call-template name=\"down\"/></xsl:template>"
                "<xsl:template name=\"down\"><xsl:param name=\"n\" select=\"0\"/><xsl:text>x</xsl:text>"
                "<xsl:call-template name=\"down\"><xsl:with-param name=\"n\" select=\"$n + 1\"/>"
                "</xsl:call-template></xsl:template></xsl:stylesheet>",
         "a template nested past the processor's depth"},
    };
    for (const auto& c : cases) {
        CBuilderWithTemplates copy(c.folder, c.xsl);
        ASSERT_TRUE(copy.builder->Build) << c.what;
        std::wstring report = TmpPath(L"empty.rtf");
        DeleteFileW(report.c_str());
        std::wstring response = copy.folder + L"\\response.xml";
        WriteBytes(response, Utf8Response(L"ResourceWS", report, L""));
        wchar_t path[MAX_PATH] = L"untouched";
        int r = copy.builder->Build(response.c_str(), path);
        EXPECT_NE(r, 0) << c.what;
        if (c.folder == std::wstring(L"empty_template"))
            EXPECT_EQ(r, (int)0x8007000D) << c.what;
        EXPECT_FALSE(FileExists(report)) << c.what;
        EXPECT_STREQ(path, L"untouched") << c.what;
    }
}

TEST_F(BuilderTest, PageNumberingFollowsTheRequest) {
    const struct {
        const wchar_t* pages;
        const char* want;
        const char* absent;
    } cases[] = {
        {L"<PageNumeration present=\"false\" location=\"top\" allPagesNum=\"true\"/>", "", "\\fldinst"},
        {L"<PageNumeration present=\"true\" location=\"bottom\" allPagesNum=\"false\"/>", "{\\footer ", "NUMPAGES"},
        {L"<PageNumeration present=\"true\" location=\"top\" allPagesNum=\"true\"/>", "{\\header ", "{\\footer"},
    };
    std::wstring report = TmpPath(L"pages.rtf");
    for (const auto& c : cases) {
        std::wstring response = Response(L"pages.xml", Utf8Response(L"ResourceWS", report, L"", c.pages));
        wchar_t path[MAX_PATH];
        ASSERT_EQ(m_builder.Build(response.c_str(), path), 0);
        std::string rtf = ReadBytes(report);
        EXPECT_NE(rtf.find(c.want), std::string::npos) << rtf;
        EXPECT_EQ(rtf.find(c.absent), std::string::npos) << rtf;
    }
}

TEST_F(BuilderTest, RequestServesPassportAndEventLogOnly) {
    std::wstring report = TmpPath(L"request.rtf");
    DeleteFileW(report.c_str());
    std::wstring doc = Response(L"request_res.xml", Utf8Response(L"ResourceWS", L"ignored", L""));
    EXPECT_EQ(m_builder.Request(doc.c_str(), report.c_str(), 0), (int)0x80070032);
    EXPECT_FALSE(FileExists(report));
    doc = Response(L"request_log.xml", Utf8Response(L"EventLog", L"ignored", L""));
    EXPECT_EQ(m_builder.Request(doc.c_str(), report.c_str(), 1), 0);
    EXPECT_TRUE(FileExists(report));
}

// The caller's buffer holds 260 characters: a longer report path is written whole and handed
// back cut to its first 259 characters and a terminating zero.
TEST_F(BuilderTest, LongReportPathIsCutInTheCallersBuffer) {
    std::wstring report = L"\\\\?\\" + TmpPath(std::wstring(240, L'r') + L".rtf");
    ASSERT_GE(report.size(), 260u);
    DeleteFileW(report.c_str());
    std::wstring response = Response(L"long.xml", Utf8Response(L"ResourceWS", report, L""));
    wchar_t path[MAX_PATH + 8];
    wmemset(path, L'#', MAX_PATH + 8);
    ASSERT_EQ(m_builder.Build(response.c_str(), path), 0);
    EXPECT_EQ(std::wstring(path), report.substr(0, MAX_PATH - 1));
    EXPECT_EQ(path[MAX_PATH], L'#') << "nothing written beyond the buffer";
    EXPECT_EQ(ReadBytes(report).compare(0, 6, "{\\rtf1"), 0);
    EXPECT_TRUE(DeleteFileW(report.c_str()));
}

TEST(BuilderWithoutTemplates, MissingTemplateWritesNothing) {
    CComScope com;
    // A copy of the library in a folder without ReportTemplate.
    std::wstring folder = TmpPath(L"bare");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring dll = folder + L"\\KvReportBuilder64.dll";
    ASSERT_TRUE(CopyFileW((Env(L"KV_BIN_DIR") + L"\\KvReportBuilder64.dll").c_str(), dll.c_str(), FALSE));
    CBuilder builder(dll);
    ASSERT_TRUE(builder.Build);
    std::wstring report = TmpPath(L"bare.rtf");
    std::wstring response = TmpPath(L"bare.xml");
    WriteBytes(response, Utf8Response(L"PassportSW", report, L""));
    wchar_t path[MAX_PATH];
    EXPECT_EQ(builder.Build(response.c_str(), path), 1);
    EXPECT_FALSE(FileExists(report));
}

} // namespace
