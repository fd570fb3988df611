// A static library of the tests that links the layer PRIVATE, as a library of the program may.
#pragma once

#include <windows.h>

// One of the layer's texts as the module's copy of the layer reads it, copied to text; its length.
int TextUserLayerText(UINT id, wchar_t* text, int cch);
