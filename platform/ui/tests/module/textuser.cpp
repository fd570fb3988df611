// The layer reached through a static library's PRIVATE link: the module that links this library
// gets the layer's code without naming the layer, and must get the layer's string table with it.
#include "textuser.h"

#include "kvui/kvui.h"

int TextUserLayerText(UINT id, wchar_t* text, int cch) {
    std::wstring s = KvUi::LayerText(id);
    lstrcpynW(text, s.c_str(), cch);
    return int(s.size());
}
