// The response writer: attribute order, the Error element, splicing of fragments, memory mode,
// and the value holder.
#include <gtest/gtest.h>

#include <windows.h>

#include "ReportHelpers.h"
#include "ReportTestUtil.h"
#include "ReportWriters.h"
#include "VoRurod.h"

using namespace KvReportTest;

namespace {

class WriterTest : public ::testing::Test {
protected:
    CComScope m_com;
};

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::wstring::npos; pos = text.find(part, pos + 1))
        ++n;
    return n;
}

TEST_F(WriterTest, AttributesAreWrittenInNameOrderAndTextIsEscaped) {
    std::wstring path = TmpPath(L"attributes.xml");
    {
        CReportWriter writer(path.c_str());
        writer.StartElement(L"Header");
        writer.Element(L"Source", CSaxValue(), ReportAttributes().Add(L"type", L"Subsystem").Add(L"result", L"OK"));
        writer.Element(L"Name", L"Продукт <1> & \"2\"");
        writer.EndElement(L"Header");
    }
    std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes.compare(0, 5, "<?xml"), 0) << "no byte-order mark, declaration first";
    std::wstring text = FromUtf8(bytes);
    EXPECT_TRUE(text.find(L"encoding=\"UTF-8\"") != std::wstring::npos ||
                text.find(L"encoding=\"utf-8\"") != std::wstring::npos)
        << Utf8(text);
    EXPECT_NE(text.find(L"<Source result=\"OK\" type=\"Subsystem\""), std::wstring::npos) << Utf8(text);
    EXPECT_NE(text.find(L"<Name>Продукт &lt;1&gt; &amp; \"2\"</Name>"), std::wstring::npos) << Utf8(text);
}

// Characters XML cannot carry (most C0 controls have no form at all in XML 1.0, not even a
// character reference) come out visible, in element text and attributes alike, so the document
// stays well-formed; tab and line breaks stay in element text; other text is written unchanged.
TEST_F(WriterTest, TextXmlCannotCarryIsWrittenVisibly) {
    const struct {
        std::wstring value;
        std::wstring shown;
        const char* what;
    } cases[] = {
        {L"HKLM\\Soft\x01ware\x1F", L"HKLM\\Soft\x2401ware\x241F", "start of heading and unit separator"},
        {std::wstring(L"a\0b", 3),
         L"a\x2400"
         L"b",
         "a null character inside the text"},
        {L"\x7F\x0B\x0C", L"\x7F\x240B\x240C", "vertical tab and form feed; DEL is carriable"},
        {L"lone \xD800 \xDC00 \xFFFE \xFFFF", L"lone \xFFFD \xFFFD \xFFFD \xFFFD",
         "unpaired surrogates, non-characters"},
        {L"pair \xD83D\xDE00 Ωμέγα Учёт", L"pair \xD83D\xDE00 Ωμέγα Учёт", "ordinary text is unchanged"},
    };
    for (const auto& c : cases) {
        std::wstring path = TmpPath(L"controls.xml");
        {
            CReportWriter writer(path.c_str());
            writer.StartElement(L"Report");
            writer.Element(L"Name", c.value, ReportAttributes(L"value", c.value));
            writer.EndElement(L"Report");
        }
        EXPECT_TRUE(LoadsAsXml(path)) << c.what;
        std::wstring text = ReadUtf8(path);
        EXPECT_NE(text.find(L"<Name value=\"" + c.shown + L"\">" + c.shown + L"</Name>"), std::wstring::npos)
            << c.what << ": " << Utf8(text);
    }
    // Tab and line breaks are XML's own: element text keeps them.
    CReportWriter memory(nullptr);
    memory.Element(L"Description", L"line\r\nnext\tcell");
    EXPECT_NE(memory.GetOutput().find(L"line\r\nnext\tcell"), std::wstring::npos) << Utf8(memory.GetOutput());
}

TEST(VisibleName, EveryControlCharacterOfANameIsShown) {
    EXPECT_EQ(VisibleName(L"C:\\Windows\\system32\\kernel32.dll"), L"C:\\Windows\\system32\\kernel32.dll");
    EXPECT_EQ(VisibleName(L"Run\r\nName\tx\x7F\x01"), L"Run\x240D\x240AName\x2409x\x2421\x2401");
    EXPECT_EQ(VisibleName(std::wstring(L"\0", 1)), L"\x2400");
    EXPECT_EQ(VisibleName(L"\xDC00\xD800"), L"\xFFFD\xFFFD");
}

TEST_F(WriterTest, ErrorElementCarriesHexCodeAndDescription) {
    const struct {
        int code;
        const wchar_t* digits;
    } cases[] = {{(int)0x80004005, L"<Code>80004005</Code>"}, {1, L"<Code>1</Code>"}, {5, L"<Code>5</Code>"}};
    for (const auto& c : cases) {
        CReportWriter writer(nullptr);
        writer.Error(c.code);
        std::wstring text = writer.GetOutput();
        EXPECT_NE(text.find(c.digits), std::wstring::npos) << Utf8(text);
        size_t d = text.find(L"<Description>");
        ASSERT_NE(d, std::wstring::npos) << Utf8(text);
        EXPECT_NE(text[d + 13], L'<') << "the description has a text";
    }
}

TEST_F(WriterTest, SplicingFragments) {
    std::wstring path = TmpPath(L"splice.xml");
    {
        CSaxValue section;
        {
            CReportWriter memory(nullptr);
            memory.StartElement(L"ICheck");
            memory.Element(L"Title", L"Файловая система");
            memory.EndElement(L"ICheck");
            section = memory.GetOutput();
        }
        EXPECT_NE(section.find(L"<?xml"), std::wstring::npos) << "the memory writer has its declaration";

        CReportWriter writer(path.c_str());
        writer.StartElement(L"Report");
        writer.WriteElementToContent(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- note "
                                     L"--><FormatSettings><PageNumeration present=\"true\"/></FormatSettings>");
        writer.WriteElementToContent(section.c_str());
        // An empty fragment has no root element: the parser's error comes out.
        try {
            writer.WriteElementToContent(L"");
            ADD_FAILURE() << "no error for an empty fragment";
        } catch (KvBase::CVoRurod& e) {
            EXPECT_LT(e.GetCode(), 0);
            EXPECT_STREQ(e.GetField(L"File"), L"ReportWriters");
            EXPECT_STREQ(e.GetField(L"Function"), L"WriteElementToContent");
        }
        writer.EndElement(L"Report");
    }
    std::wstring text = ReadUtf8(path);
    EXPECT_EQ(Count(text, L"<?xml"), 1u) << Utf8(text);
    EXPECT_EQ(text.find(L"note"), std::wstring::npos) << "comments are not copied";
    EXPECT_NE(text.find(L"<PageNumeration present=\"true\""), std::wstring::npos) << Utf8(text);
    EXPECT_NE(text.find(L"<Title>Файловая система</Title>"), std::wstring::npos) << Utf8(text);
    EXPECT_NE(text.find(L"</Report>"), std::wstring::npos) << Utf8(text);
}

TEST_F(WriterTest, UnwritableOutputRaisesStartDocumentError) {
    std::wstring path = TmpPath(L"missing folder\\out.xml");
    try {
        CReportWriter writer(path.c_str());
        FAIL() << "no error raised";
    } catch (KvBase::CVoRurod& e) {
        EXPECT_EQ((unsigned)e.GetCode(), 0x80070003u);
        EXPECT_STREQ(e.GetField(L"Function"), L"CReportWriter::StartDocument");
    }
}

TEST(SaxValue, MadeFromNullZeroVariantAndIllegalInteger) {
    EXPECT_EQ(CSaxValue((const wchar_t*)nullptr), L"");
    EXPECT_EQ(CSaxValue(0), L"");
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 7;
    EXPECT_EQ(CSaxValue(v), L"");
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"abc");
    EXPECT_EQ(CSaxValue(v), L"abc");
    VariantClear(&v);
    try {
        CSaxValue bad(5);
        FAIL() << "no error raised";
    } catch (KvBase::CVoRurod& e) {
        EXPECT_EQ(e.GetCode(), 87);
        EXPECT_STREQ(e.GetField(L"Function"), L"CSaxValue::CSaxValue");
    }
}

} // namespace
