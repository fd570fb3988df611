// Test double of the board BIOS version library. KV_DOUBLE_BIOS: four bytes "b0,b1,b2,b3" of the
// version block (default "1,2,42,0"), or "fail" (a non-zero result).
#include "BoardLibraries.h"
#include "DoubleLog.h"

#include <cstdio>

extern "C" __declspec(dllexport) int __stdcall vrGetVersion(BYTE* block) {
    DoubleLog("kvellock64.vrGetVersion");
    std::wstring mode = DoubleSetting(L"KV_DOUBLE_BIOS");
    if (mode == L"fail")
        return 5;
    unsigned b[4] = {1, 2, 42, 0};
    if (!mode.empty())
        swscanf(mode.c_str(), L"%u,%u,%u,%u", &b[0], &b[1], &b[2], &b[3]);
    for (int i = 0; i < 4; ++i)
        block[i] = (BYTE)b[i];
    return 0;
}
