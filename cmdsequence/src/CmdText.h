// Text helpers shared by the library's sources.
#pragma once

#include <string>
#include <vector>

namespace KvCmdSequence {
namespace Text {

// Cuts `text` into its maximal runs of characters that are none of `separators`: separators in a
// row, and separators at either end, produce no empty piece.
std::vector<std::wstring> SplitRuns(const std::wstring& text, const wchar_t* separators);

// Removes every trailing character that is one of `chars`.
void TrimRight(std::wstring& text, const wchar_t* chars);

// Removes every leading and trailing character that is one of `chars`.
void Trim(std::wstring& text, const wchar_t* chars);

// Replaces every occurrence of `what` in `text` by `with` (case-sensitive).
void ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with);

} // namespace Text
} // namespace KvCmdSequence
