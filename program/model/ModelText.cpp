#include "ModelText.h"

// The module the model is linked into (the program, or a test).
extern "C" IMAGE_DOS_HEADER __ImageBase;

std::wstring ModelText(UINT id) {
    const wchar_t* p = nullptr;
    int n = ::LoadStringW(reinterpret_cast<HINSTANCE>(&__ImageBase), id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 && p ? std::wstring(p, n) : std::wstring();
}
