#include "CmdText.h"

#include <windows.h>

#include <cwchar>

namespace KvCmdSequence {
namespace Text {

std::vector<std::wstring> SplitRuns(const std::wstring& text, const wchar_t* separators) {
    std::vector<std::wstring> pieces;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = text.find_first_not_of(separators, pos);
        if (start == std::wstring::npos)
            break;
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::wstring::npos)
            end = text.size();
        pieces.emplace_back(text, start, end - start);
        pos = end;
    }
    return pieces;
}

void TrimRight(std::wstring& text, const wchar_t* chars) {
    std::size_t last = text.find_last_not_of(chars);
    text.erase(last == std::wstring::npos ? 0 : last + 1);
}

void Trim(std::wstring& text, const wchar_t* chars) {
    TrimRight(text, chars);
    text.erase(0, text.find_first_not_of(chars));
}

void ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with) {
    if (what.empty())
        return;
    for (std::size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

} // namespace Text
} // namespace KvCmdSequence
