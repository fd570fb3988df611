// The texts a string table must give: a table of ids, each with the text the code showed when it
// still held it as a literal, character for character. A mistyped or wrongly escaped entry of a
// resource script (quotes, line breaks, tabs, leading or trailing blanks, embedded nulls) shows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

namespace KvTest {

struct StringText {
    UINT id;
    const wchar_t* text;
    size_t length; // a file filter holds nulls
};
template <size_t N>
constexpr StringText Entry(UINT id, const wchar_t (&text)[N]) {
    return StringText{id, text, N - 1};
}

// Every id of the table gives its text through `load` (a function of the id).
template <size_t N, class Load>
void ExpectTexts(const StringText (&table)[N], Load load) {
    for (const StringText& t : table)
        EXPECT_EQ(std::wstring(t.text, t.length), load(t.id)) << "string id " << t.id;
}

// No id stands twice in the table.
template <size_t N>
void ExpectDistinctIds(const StringText (&table)[N]) {
    std::set<UINT> ids;
    for (const StringText& t : table)
        EXPECT_TRUE(ids.insert(t.id).second) << "string id " << t.id << " twice";
}

// The texts of a static library's script: each id gives its text, once, and lies in the ids first
// to last, the string-table blocks (16 ids each) of the library's own. A module's script holding
// an id of those blocks would clash with the library's script, which the build links beside it.
template <size_t N, class Load>
void ExpectLibraryTexts(const StringText (&table)[N], Load load, UINT first, UINT last) {
    ExpectTexts(table, load);
    ExpectDistinctIds(table);
    EXPECT_EQ(0u, first % 16);
    EXPECT_EQ(15u, last % 16);
    for (const StringText& t : table)
        EXPECT_TRUE(t.id >= first && t.id <= last) << "string id " << t.id;
}

} // namespace KvTest
