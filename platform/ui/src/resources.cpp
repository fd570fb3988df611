// The module that linked the layer, its resource module and the strings loaded from it.
#include "kvui/core.h"

#include <KvText.h>

namespace KvUi {

// The layer is a static library: every module that links it (the program, a DLL of forms) has its
// own copy of this state, so each registers its window class under its own instance and loads
// its own resources.
extern "C" IMAGE_DOS_HEADER __ImageBase;
HINSTANCE GetModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

static HINSTANCE g_hResource = nullptr;

HINSTANCE GetResourceHandle() { return g_hResource ? g_hResource : GetModuleInstance(); }
void SetResourceHandle(HINSTANCE h) { g_hResource = h; }

std::wstring LoadStr(UINT id, HINSTANCE hInst) { return KvBase::ModuleText(hInst ? hInst : GetResourceHandle(), id); }

std::wstring LayerText(UINT id) { return LoadStr(id, GetModuleInstance()); }

} // namespace KvUi
