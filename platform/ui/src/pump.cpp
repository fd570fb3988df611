// The message loop: one message at a time, translated by the window chain (or the application)
// before it is dispatched.
#include "kvui/app.h"
#include "kvui/core.h"

namespace KvUi {

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL PreTranslateChain(MSG* pMsg) {
    CWnd* pMain = AfxGetMainWnd();
    bool mainSeen = false;
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
        CWnd* p = CWnd::FromHandlePermanent(h);
        if (p) {
            if (p == pMain)
                mainSeen = true;
            if (p->PreTranslateMessage(pMsg))
                return TRUE;
        }
    }
    // The main window translates too (its accelerators) when the message is not for a window
    // of another top-level window that is enabled on its own, such as a modeless dialog.
    if (pMain && !mainSeen && pMain->m_hWnd && (!pMsg->hwnd || ::GetAncestor(pMsg->hwnd, GA_ROOT) == pMain->m_hWnd))
        return pMain->PreTranslateMessage(pMsg);
    return FALSE;
}

BOOL TranslateReporting(MSG* pMsg) {
    BOOL done = FALSE;
    // A failed translation is reported and the message goes on to its window (a message left
    // undispatched, such as WM_PAINT, would only come back).
    CallReporting(L"PreTranslateMessage", [&] {
        CWinApp* app = AfxGetApp();
        done = app ? app->PreTranslateMessage(pMsg) : PreTranslateChain(pMsg);
    });
    return done;
}

BOOL PumpMessage() {
    MSG msg;
    BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) {
        ::PostQuitMessage(r == 0 ? (int)msg.wParam : 0);
        return FALSE;
    }
    if (!TranslateReporting(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return TRUE;
}

BOOL PumpWaitingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!PumpMessage())
            return FALSE;
    }
    return TRUE;
}

} // namespace KvUi
