// A DLL that reaches the layer only through another static library's PRIVATE link: it names
// neither the layer nor its script, and still holds the layer's texts itself.
#include "textuser.h"

extern "C" __declspec(dllexport) int KvUiModuleLayerText(UINT id, wchar_t* text, int cch) {
    return TextUserLayerText(id, text, cch);
}
