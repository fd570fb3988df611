#include "ModelText.h"

#include <KvText.h>

// The module the model is linked into (the program, or a test).
extern "C" IMAGE_DOS_HEADER __ImageBase;

std::wstring ModelText(UINT id) { return KvBase::ModuleText(reinterpret_cast<HINSTANCE>(&__ImageBase), id); }
