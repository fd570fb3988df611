#include "RtfText.h"

#include <windows.h>

#include <cstdio>

namespace RtfText {

namespace {
const UINT kCodePage = 1251;
}

std::string ToRussianAnsi(const wchar_t* text, size_t length) {
    std::string out;
    if (!text || length == 0)
        return out;
    out.reserve(length);
    // Runs of characters are converted at once; a character that the code page has no exact
    // byte for (the system would put its default character or a look-alike) is escaped.
    size_t i = 0;
    while (i < length) {
        size_t runEnd = i;
        while (runEnd < length && text[runEnd] < 0x80)
            ++runEnd;
        for (; i < runEnd; ++i)
            out += (char)text[i];
        if (i == length)
            break;
        wchar_t c = text[i];
        char byte = 0;
        BOOL usedDefault = FALSE;
        int n = (c >= 0xD800 && c <= 0xDFFF)
                    ? 0
                    : WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, &c, 1, &byte, 1, nullptr, &usedDefault);
        if (n == 1 && !usedDefault) {
            out += byte;
        } else {
            char escape[16];
            snprintf(escape, sizeof escape, "\\u%d?", (int)(short)c);
            out += escape;
        }
        ++i;
    }
    return out;
}

} // namespace RtfText
