// Reads a text from a control that copies at most a buffer's size less one character: the
// buffer grows until the text ends short of it, so no text is cut.
#pragma once

#include <cwchar>
#include <string>

namespace KvUi {

// read(buffer, size) fills the buffer and gives the number of characters copied, or -1 when
// the control refused.
template <class Read>
std::wstring ReadWholeText(Read read) {
    std::wstring buf(256, L'\0');
    for (;;) {
        buf[0] = L'\0';
        int n = read(&buf[0], (int)buf.size());
        if (n < 0)
            return std::wstring();
        size_t len = wcsnlen(buf.c_str(), buf.size());
        if (len + 1 < buf.size() || buf.size() >= (1u << 28))
            return std::wstring(buf.c_str(), len);
        buf.assign(buf.size() * 2, L'\0');
    }
}

} // namespace KvUi
