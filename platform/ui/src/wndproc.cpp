// The window procedures of the layer: a window's messages reach its object (the posted calls
// run, an exception is reported, a busy window shows the wait cursor), and a new window or dialog
// binds to the object that creates it.
#include "kvui/controls.h"
#include "kvui/core.h"

#include "postcall.h"
#include "wndproc.h"

namespace KvUi {

thread_local CWnd* t_pWndInit = nullptr;

namespace {
struct CurrentMsg {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};
thread_local CurrentMsg t_msg = {};
} // namespace

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, msg, wp, lp);
    return ::DefWindowProcW(m_hWnd, msg, wp, lp);
}

LRESULT CWnd::Default() { return DefWindowProc(t_msg.msg, t_msg.wp, t_msg.lp); }

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (!OnWndMsg(msg, wp, lp, &result))
        result = DefWindowProc(msg, wp, lp);
    return result;
}

LRESULT CallObjectProc(CWnd* p, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == PostedCallMessage() && msg) {
        if (std::function<void()> fn = TakeCall((ULONG_PTR)lp))
            CallReporting(L"posted call", fn);
        return 0;
    }
    CurrentMsg saved = t_msg;
    t_msg = {h, msg, wp, lp};
    LRESULT r = 0;
    try {
        // While the thread waits, a window its wait covers shows the wait cursor, whatever its own
        // handling would show (see CWaitCursor); a click on it while it is disabled still gets its
        // usual answer (the beep) first.
        const bool busy = msg == WM_SETCURSOR && CWaitCursor::Covers(h);
        if (!busy || (LOWORD(lp) == (WORD)HTERROR && HIWORD(lp) != WM_MOUSEMOVE))
            r = p->WindowProc(msg, wp, lp);
        if (busy)
            r = CWaitCursor::OnSetCursor();
    } catch (...) {
        ReportWindowException(L"window procedure");
        switch (msg) {
        case WM_NCCREATE:
            p->m_bCreateFailed = TRUE;
            r = FALSE;
            break;
        case WM_CREATE:
            p->m_bCreateFailed = TRUE;
            r = -1;
            break;
        case WM_INITDIALOG:
            p->m_bCreateFailed = TRUE;
            r = FALSE;
            break;
        case WM_PAINT:
            // The failed paint is not asked for again and again.
            ::ValidateRect(h, nullptr);
            break;
        default:
            break;
        }
    }
    t_msg = saved;
    if (msg == WM_NCDESTROY) {
        DropCalls(h);
        UnregisterIdleUpdate(p);
        if (CWnd::FromHandlePermanent(h) == p) {
            p->Detach();
            CallReporting(L"PostNcDestroy", [p] { p->PostNcDestroy(); });
        }
    }
    return r;
}

LRESULT CALLBACK StdWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    CWnd* p = CWnd::FromHandlePermanent(h);
    if (!p && t_pWndInit) {
        p = t_pWndInit;
        t_pWndInit = nullptr;
        p->BindHandle(h);
    }
    if (!p)
        return ::DefWindowProcW(h, msg, wp, lp);
    if (msg == WM_NCDESTROY && p->m_pfnSuper) {
        // Give the window its own procedure back before it is gone.
        WNDPROC super = p->m_pfnSuper;
        ::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)super);
        LRESULT r = CallObjectProc(p, h, msg, wp, lp);
        p->m_pfnSuper = nullptr;
        return r;
    }
    return CallObjectProc(p, h, msg, wp, lp);
}

void SetDialogInit(CWnd* p) { t_pWndInit = p; }

INT_PTR CALLBACK StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    // The dialog's object takes the window over with its first message: from then on its
    // messages reach StdWndProc first and the dialog manager only gets what the object leaves.
    if (!CWnd::FromHandlePermanent(h) && t_pWndInit) {
        CWnd* p = t_pWndInit;
        t_pWndInit = nullptr;
        p->BindHandle(h);
        p->m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)StdWndProc));
        if (msg == WM_INITDIALOG)
            return (INT_PTR)CallObjectProc(p, h, msg, wp, lp);
        return FALSE;
    }
    return FALSE;
}

} // namespace KvUi
