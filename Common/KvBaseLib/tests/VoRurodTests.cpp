// The error object: fields, texts and message lookup, with the test message file standing in for
// the host suite's VoRurod.dll.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "VoRurod.h"

using KvBase::CVoRurod;

namespace {

// The system's text of a code as the lookup is specified: Russian first, then the default order,
// cut at the last carriage return.
std::wstring SystemText(DWORD dwCode) {
    wchar_t sz[1024];
    DWORD cch = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode, 1049, sz,
                               1024, nullptr);
    if (!cch)
        cch = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode, 0, sz, 1024,
                             nullptr);
    if (!cch)
        return L"";
    std::wstring s(sz, cch);
    size_t n = s.rfind(L'\r');
    if (n != std::wstring::npos)
        s.erase(n);
    return s;
}

std::wstring FieldsBlock(CVoRurod& e) {
    // The block ends at the first double NUL.
    const wchar_t* p = e.GetFields();
    const wchar_t* q = p;
    while (q[0] || q[1])
        ++q;
    return std::wstring(p, q + 2);
}

// Makes the test message file findable for the life of the object: it lies in a folder of its
// own beside the binaries, so that it is absent for everybody else, and that folder becomes the
// current directory, which the library's search for the message file includes.
class CSuiteMessages {
public:
    CSuiteMessages() {
        GetCurrentDirectoryW(MAX_PATH, m_szFormer);
        const char* pszBin = getenv("KV_BIN_DIR");
        std::wstring strDir;
        if (pszBin) {
            std::string s(pszBin);
            strDir.assign(s.begin(), s.end());
        } else {
            wchar_t sz[MAX_PATH];
            GetModuleFileNameW(nullptr, sz, MAX_PATH);
            strDir = sz;
            strDir.erase(strDir.rfind(L'\\'));
        }
        strDir += L"\\kvbase_suite";
        SetCurrentDirectoryW(strDir.c_str());
    }
    ~CSuiteMessages() { SetCurrentDirectoryW(m_szFormer); }

private:
    wchar_t m_szFormer[MAX_PATH] = {};
};

#define BLOCK(text) std::wstring(text, sizeof(text) / sizeof(wchar_t))

const int kSuitePlain = static_cast<int>(0x86000001);
const int kSuiteInsert = static_cast<int>(0x86000002);
const int kSuiteNeutral = 0x06000003;

TEST(VoRurod, TextOfARaisedError) {
    CVoRurod e(5, L"Win32Objects.cpp", 401, L"KvBase::CWin32File::DeleteFile_Ex");
    EXPECT_EQ(e.GetCode(), 5);
    std::wstring strMessage = SystemText(5);
    ASSERT_FALSE(strMessage.empty());
    EXPECT_EQ(std::wstring(e.GetMessage()), strMessage);
    EXPECT_EQ(std::wstring(e.GetText()),
              L"Code: 0x5\r\nDescription: " + strMessage +
                  L"\r\nFile: Win32Objects.cpp\r\nFunction: KvBase::CWin32File::DeleteFile_Ex\r\nLine: 401\r\n");
    EXPECT_EQ(FieldsBlock(e), BLOCK(L"File\0Win32Objects.cpp\0Function\0KvBase::CWin32File::DeleteFile_Ex\0Line\0"
                                    L"401\0"));
}

TEST(VoRurod, NullNamesAndCodeOnly) {
    CVoRurod e(static_cast<int>(0x8007000E), nullptr, -3, nullptr);
    EXPECT_EQ(std::wstring(e.GetField(L"File")), L"???");
    EXPECT_EQ(std::wstring(e.GetField(L"Function")), L"???");
    EXPECT_EQ(std::wstring(e.GetField(L"line")), L"-3");
    EXPECT_EQ(std::wstring(e.GetText()).substr(0, 18), L"Code: 0x8007000e\r\n");

    CVoRurod bare(2);
    EXPECT_EQ(FieldsBlock(bare), BLOCK(L"\0"));
    EXPECT_EQ(std::wstring(bare.GetText()), L"Code: 0x2\r\nDescription: " + SystemText(2) + L"\r\n");
    EXPECT_EQ(bare.GetMessageString(), SystemText(2));
}

TEST(VoRurod, StackFieldAndCaseOfNames) {
    CVoRurod e(5, L"f.cpp", 1, L"fn");
    e.SetField(L"Stack", L"frames");
    e.SetField(L"stack", L"lower"); // one field with "Stack": the name stays, the value changes
    e.SetField(L"FILE", L"g.cpp");
    std::wstring strText = e.GetText();
    EXPECT_EQ(strText.find(L"Stack"), std::wstring::npos);
    EXPECT_NE(strText.find(L"File: g.cpp\r\n"), std::wstring::npos);
    EXPECT_EQ(std::wstring(e.GetTextWithStack()), strText + L"Stack: lower\r\n");

    CVoRurod lower(5, L"f.cpp", 1, L"fn");
    lower.SetField(L"stack", L"kept");
    std::wstring strLower = lower.GetText();
    EXPECT_NE(strLower.find(L"stack: kept\r\n"), std::wstring::npos);
    EXPECT_EQ(std::wstring(lower.GetTextWithStack()), strLower);
}

TEST(VoRurod, TextsAreComputedOnceAndCopied) {
    CVoRurod e(5, L"f.cpp", 1, L"fn");
    std::wstring strFirst = e.GetText();
    std::wstring strFields = FieldsBlock(e);
    e.SetField(L"Extra", L"later");
    EXPECT_EQ(std::wstring(e.GetText()), strFirst);
    EXPECT_EQ(FieldsBlock(e), strFields);

    CVoRurod copy(e);
    EXPECT_EQ(std::wstring(copy.GetText()), strFirst);
    EXPECT_STREQ(copy.GetField(L"Extra"), L"later");
    EXPECT_NE(copy.GetText(), e.GetText()); // its own storage
}

TEST(VoRurod, UnknownCodesGiveThePlaceholder) {
    EXPECT_STREQ(CVoRurod(0x20000001).GetMessage(), L"<0x20000001>");
    // No message file on the search path: the suite's codes are never looked up elsewhere.
    EXPECT_STREQ(CVoRurod(kSuitePlain).GetMessage(), L"<0x86000001>");
    // -1 is described as E_UNEXPECTED (by the system's text, or the placeholder of 0x8000FFFF).
    std::wstring strUnexpected = SystemText(static_cast<DWORD>(E_UNEXPECTED));
    EXPECT_EQ(std::wstring(CVoRurod(-1).GetMessage()), strUnexpected.empty() ? L"<0x8000FFFF>" : strUnexpected);
}

TEST(VoRurod, MessagesFromTheSuiteFile) {
    CSuiteMessages suite;
    struct Case {
        int nCode;
        std::vector<std::wstring> inserts;
        std::wstring strExpected;
    } cases[] = {
        {kSuitePlain, {}, L"Проверочное сообщение."},
        {kSuiteNeutral, {}, L"Neutral only."}, // no Russian text: the neutral one
        {kSuiteInsert, {L"C:\\a.txt"}, L"Файл C:\\a.txt не найден."},
        {kSuiteInsert, {}, L"Файл .. не найден."},           // no insert: the mark becomes dots
        {kSuiteInsert, {L"a", L"b"}, L"Файл .. не найден."}, // too many inserts
        {static_cast<int>(0x86000009), {}, L"<0x86000009>"}, // not in the table
    };
    for (const Case& c : cases) {
        CVoRurod e(c.nCode, L"t.cpp", 1, L"f");
        for (const auto& s : c.inserts)
            e.AddInsert(s);
        EXPECT_EQ(std::wstring(e.GetMessage()), c.strExpected) << std::hex << c.nCode;
    }
}

TEST(VoRurod, FormatErrorMessageBuffers) {
    CSuiteMessages suite;
    wchar_t sz[64];
    EXPECT_EQ(KvBase::FormatErrorMessage(5, nullptr, 64), 87u);
    EXPECT_EQ(KvBase::FormatErrorMessage(5, sz, 0), 87u);

    // The raw text keeps its inserts; the final line break is gone.
    EXPECT_EQ(KvBase::FormatErrorMessage(kSuiteInsert, sz, 64), 0u);
    EXPECT_STREQ(sz, L"Файл %1 не найден.");

    // A text that does not fit: the placeholder, cut to the size given, nothing written beyond it.
    wmemset(sz, L'#', 64);
    EXPECT_NE(KvBase::FormatErrorMessage(kSuitePlain, sz, 8), 0u);
    EXPECT_EQ(std::wstring(sz), std::wstring(L"<0x8600") + L"");
    EXPECT_EQ(sz[8], L'#');
}

TEST(VoRurod, MessageModuleByRange) {
    // Each range goes to its module; where that module's table has no text, the placeholder.
    struct Case {
        DWORD dwCode;
        const wchar_t* pszModule;
    } cases[] = {
        {0x80005000, L"ActiveDS.dll"}, {0x80005FFF, L"ActiveDS.dll"}, {0x00005000, L"ActiveDS.dll"},
        {0x00005FFF, L"ActiveDS.dll"}, {0xC0020000, L"NtDll.dll"},    {0xC002FFFF, L"NtDll.dll"},
        {0x00004FFF, nullptr},         {0x80006000, nullptr},         {0xC0030001, nullptr},
        {0x00000005, nullptr},
    };
    for (const Case& c : cases) {
        wchar_t szGot[512], szWant[512];
        DWORD dwGot = KvBase::FormatErrorMessage(static_cast<int>(c.dwCode), szGot, 512);
        DWORD dwWant = KvBase::LoadMessageText(c.pszModule, c.dwCode, szWant, 512);
        EXPECT_EQ(dwGot, dwWant) << std::hex << c.dwCode;
        EXPECT_STREQ(szGot, szWant) << std::hex << c.dwCode;
    }
    wchar_t sz[64];
    EXPECT_NE(KvBase::LoadMessageText(L"NoSuchMessageFile.dll", 5, sz, 64), 0u);
    EXPECT_STREQ(sz, L"<0x00000005>");
}

} // namespace
