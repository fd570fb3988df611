// Text helpers of the layer.
#include "kvui/core.h"

#include <cwctype>

namespace KvUi {

std::wstring TrimSpace(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && iswspace(text[b]))
        ++b;
    while (e > b && iswspace(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

} // namespace KvUi
