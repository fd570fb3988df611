// Test double of the board interface library. KV_DOUBLE_BOARD: "present" (default), "absent",
// "nointerface" (the entry gives no interface), "fail" (the presence query fails).
#include "BoardLibraries.h"
#include "DoubleLog.h"

namespace {
class CBoard : public IVrnBoard {
public:
    HRESULT __stdcall GetApiVersion(DWORD* v) override {
        *v = 1;
        return S_OK;
    }
    HRESULT __stdcall GetBoardState(DWORD* s) override {
        *s = 0;
        return S_OK;
    }
    HRESULT __stdcall IsBoardPresent(BYTE* present) override {
        DoubleLog("VrnApi64.IsBoardPresent");
        std::wstring mode = DoubleSetting(L"KV_DOUBLE_BOARD");
        if (mode == L"fail") {
            *present = 1;
            return E_FAIL;
        }
        *present = mode == L"absent" ? 0 : 1;
        return S_OK;
    }
};
CBoard g_board;
} // namespace

extern "C" __declspec(dllexport) IVrnBoard* __stdcall VrnGetInterface(DWORD a, DWORD b) {
    DoubleLog(a == 0 && b == 0 ? "VrnApi64.VrnGetInterface(0,0)" : "VrnApi64.VrnGetInterface(?)");
    if (DoubleSetting(L"KV_DOUBLE_BOARD") == L"nointerface")
        return nullptr;
    return &g_board;
}
