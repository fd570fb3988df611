// Reflection: a message that a control's parent receives about the control is offered to the
// control's own object first (the ON_..._REFLECT entries of its map).
#include "kvui/core.h"

#include "msgkey.h"

namespace KvUi {

namespace {

// The control that a message to its parent is about; null for messages about no control.
HWND ControlOf(HWND parent, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NOTIFY:
        return lp ? reinterpret_cast<const NMHDR*>(lp)->hwndFrom : nullptr;
    case WM_COMMAND:
        return reinterpret_cast<HWND>(lp); // null for menus and accelerators
    case WM_DRAWITEM: {
        auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        return d && d->CtlType != ODT_MENU ? d->hwndItem : nullptr;
    }
    case WM_MEASUREITEM: {
        auto* m = reinterpret_cast<const MEASUREITEMSTRUCT*>(lp);
        return m && m->CtlType != ODT_MENU ? ::GetDlgItem(parent, (int)m->CtlID) : nullptr;
    }
    case WM_COMPAREITEM:
        return lp ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return lp ? reinterpret_cast<const DELETEITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return reinterpret_cast<HWND>(lp);
    default:
        return IsCtlColor(msg) ? reinterpret_cast<HWND>(lp) : nullptr;
    }
}

// A message already offered to its control by the window that forwards it (a docked pane passes
// its content's notifications on to the frame): the frame does not offer it a second time.
struct ReflectedMsg {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};
thread_local ReflectedMsg t_reflected = {0, 0, 0};

} // namespace

BOOL CWnd::ReflectToControl(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    HWND ctl = ControlOf(parent, msg, wp, lp);
    if (!ctl || ctl == parent)
        return FALSE;
    if (t_reflected.msg == msg && t_reflected.wp == wp && t_reflected.lp == lp)
        return FALSE;
    CWnd* p = FromHandlePermanent(ctl);
    return p ? p->OnChildNotify(msg, wp, lp, pResult) : FALSE;
}

LRESULT CWnd::SendAfterReflection(HWND to, UINT msg, WPARAM wp, LPARAM lp) {
    ReflectedMsg saved = t_reflected;
    t_reflected = {msg, wp, lp};
    LRESULT r = ::SendMessageW(to, msg, wp, lp);
    t_reflected = saved;
    return r;
}

BOOL CWnd::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    const UINT key = WM_REFLECT_BASE + MapKey(msg);
    NMHDR* hdr = msg == WM_NOTIFY ? reinterpret_cast<NMHDR*>(lp) : nullptr;
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            if (e->pRegistered || e->nMessage != key)
                continue;
            if (hdr && e->nCode != (hdr->code & 0xFFFF))
                continue;
            if (msg == WM_COMMAND && e->nCode != HIWORD(wp))
                continue;
            LRESULT r = 0;
            switch (e->sig) {
            case Sig::NotifyReflect:
                (this->*e->pfn.vNm)(hdr, &r);
                *pResult = r;
                return TRUE;
            case Sig::NotifyReflectEx:
                if (!(this->*e->pfn.bNm)(hdr, &r))
                    return FALSE;
                *pResult = r;
                return TRUE;
            case Sig::CtlReflect:
                (this->*e->pfn.v)();
                *pResult = 0;
                return TRUE;
            case Sig::CtlReflectEx:
                if (!(this->*e->pfn.b)())
                    return FALSE;
                *pResult = 0;
                return TRUE;
            case Sig::ColorReflect: {
                HBRUSH br = (this->*e->pfn.brDcU)(reinterpret_cast<HDC>(wp), msg - WM_CTLCOLORMSGBOX);
                if (!br)
                    return FALSE;
                *pResult = reinterpret_cast<LRESULT>(br);
                return TRUE;
            }
            case Sig::DrawReflect:
                (this->*e->pfn.vDis)(reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
                *pResult = TRUE;
                return TRUE;
            case Sig::MeasureReflect:
                (this->*e->pfn.vMis)(reinterpret_cast<LPMEASUREITEMSTRUCT>(lp));
                *pResult = TRUE;
                return TRUE;
            default:
                break;
            }
        }
    }
    return FALSE;
}

} // namespace KvUi
