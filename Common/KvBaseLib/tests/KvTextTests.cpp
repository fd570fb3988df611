// Upper-casing of texts.
#include <gtest/gtest.h>

#include <string>

#include "KvText.h"

using namespace KvBase;

namespace {

TEST(UpperCase, SystemMappingKeepsEveryCharacterInItsPlace) {
    const struct {
        std::wstring text, upper;
    } cases[] = {
        {L"", L""},
        {L"c:\\windows\\system32\\kernel32.dll", L"C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL"},
        {L"Мои документы\\ёлка.txt", L"МОИ ДОКУМЕНТЫ\\ЁЛКА.TXT"},
        {L"HKLM\\Software 1.2 %path%", L"HKLM\\SOFTWARE 1.2 %PATH%"},
        {std::wstring(L"a\0b", 3), std::wstring(L"A\0B", 3)}, // a null is one more character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.upper, UpperCase(c.text)) << c.text;
        EXPECT_EQ(c.upper, UpperCaseInvariant(c.text.data(), c.text.size())) << c.text;
    }
}

TEST(UpperCase, InPlaceFromAStartAndOverACount) {
    std::wstring text = L"path\\name";
    UpperCaseInPlace(text, 5);
    EXPECT_EQ(L"path\\NAME", text);
    UpperCaseInPlace(text, text.size()); // at the end, and past it: nothing
    UpperCaseInPlace(text, text.size() + 3);
    EXPECT_EQ(L"path\\NAME", text);
    UpperCaseInPlace(text);
    EXPECT_EQ(L"PATH\\NAME", text);

    wchar_t chars[] = L"abcd";
    UpperCaseChars(chars, 2);
    EXPECT_STREQ(L"ABcd", chars);
    UpperCaseChars(chars + 2, 0);
    EXPECT_STREQ(L"ABcd", chars);
    EXPECT_EQ(L"AB", UpperCaseInvariant(L"abcd", 2));
}

TEST(UpperCase, RuntimeMappingTakesTheAsciiLetters) {
    EXPECT_EQ(L"VEN_8086&DEV_1234&SUBSYS_00000000&REV_0A", UpperCaseCrt(L"ven_8086&dev_1234&subsys_00000000&rev_0a"));
    EXPECT_EQ(L"", UpperCaseCrt(L""));
}

} // namespace
