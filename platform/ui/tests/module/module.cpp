// A DLL that links the layer as a second module would (the forms library): its windows and
// dialogs use its own window class and its own resources.
#include "kvui/kvui.h"
#include "textuser.h"

using namespace KvUi;

namespace {

class CModuleWnd : public CWnd {
public:
    LRESULT OnProbe(WPARAM, LPARAM) { return 1234; }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CModuleWnd, CWnd)
ON_MESSAGE(WM_APP + 3, OnProbe)
KV_END_MESSAGE_MAP()

} // namespace

// Opens the module's dialog 100 (modeless) and a window of the layer's class; answers the
// dialog's caption, the module the window's class belongs to, and the window's answer to a
// message its map handles.
extern "C" __declspec(dllexport) LRESULT KvUiModuleProbe(wchar_t* caption, int cch, HMODULE* classModule) {
    CDialog dlg;
    if (!dlg.Create(100, (HWND) nullptr))
        return -1;
    ::GetWindowTextW(dlg.m_hWnd, caption, cch);
    dlg.DestroyWindow();
    CModuleWnd w;
    if (!w.CreateEx(0, nullptr, L"module", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr))
        return -2;
    *classModule = reinterpret_cast<HMODULE>(::GetClassLongPtrW(w.m_hWnd, GCLP_HMODULE));
    LRESULT r = w.SendMessage(WM_APP + 3);
    w.DestroyWindow();
    return r;
}

// One of the layer's texts as the DLL's copy of the layer reads it; its length.
extern "C" __declspec(dllexport) int KvUiModuleLayerText(UINT id, wchar_t* text, int cch) {
    return TextUserLayerText(id, text, cch);
}
