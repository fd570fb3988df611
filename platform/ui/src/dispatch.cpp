// Dispatch of a window's messages: the entries of its map, walked from the class to its bases,
// call the handlers with the message's parameters unpacked.
#include "kvui/core.h"

#include "msgkey.h"

namespace KvUi {

namespace {

bool IsReflectEntry(const MsgEntry& e) {
    switch (e.sig) {
    case Sig::NotifyReflect:
    case Sig::NotifyReflectEx:
    case Sig::CtlReflect:
    case Sig::CtlReflectEx:
    case Sig::ColorReflect:
    case Sig::DrawReflect:
    case Sig::MeasureReflect:
        return true;
    default:
        return false;
    }
}

} // namespace

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (msg == WM_COMMAND) {
        if (OnCommand(wp, lp)) {
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    }
    if (msg == WM_NOTIFY) {
        LRESULT r = 0;
        if (OnNotify(wp, lp, &r)) {
            *pResult = r;
            return TRUE;
        }
        return FALSE;
    }
    const UINT key = MapKey(msg);
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            bool match = e->pRegistered ? (*e->pRegistered != 0 && *e->pRegistered == msg)
                                        : (e->nMessage == key && !IsReflectEntry(*e));
            if (match && DispatchWndMsg(e, msg, wp, lp, pResult))
                return TRUE;
        }
    }
    // A message about a control that the parent's map left: the control may answer it itself.
    return ReflectToControl(m_hWnd, msg, wp, lp, pResult);
}

static POINT PointOf(LPARAM lp) { return POINT{(short)LOWORD(lp), (short)HIWORD(lp)}; }

BOOL CWnd::DispatchWndMsg(const MsgEntry* e, UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    *pResult = 0;
    switch (e->sig) {
    case Sig::Msg:
        *pResult = (this->*e->pfn.lWL)(wp, lp);
        return TRUE;
    case Sig::Void:
        (this->*e->pfn.v)();
        return TRUE;
    case Sig::Create:
        *pResult = (this->*e->pfn.iCs)(reinterpret_cast<LPCREATESTRUCTW>(lp));
        return TRUE;
    case Sig::Timer:
        (this->*e->pfn.vUp)(wp);
        return TRUE;
    case Sig::Size:
        (this->*e->pfn.vUII)((UINT)wp, (short)LOWORD(lp), (short)HIWORD(lp));
        return TRUE;
    case Sig::ContextMenu:
        (this->*e->pfn.vHPt)(reinterpret_cast<HWND>(wp), PointOf(lp));
        return TRUE;
    case Sig::Focus:
        (this->*e->pfn.vH)(msg == WM_CAPTURECHANGED ? reinterpret_cast<HWND>(lp) : reinterpret_cast<HWND>(wp));
        return TRUE;
    case Sig::Key:
        (this->*e->pfn.vUUU)((UINT)wp, LOWORD(lp), HIWORD(lp));
        return TRUE;
    case Sig::Mouse:
        (this->*e->pfn.vUPt)((UINT)wp, PointOf(lp));
        return TRUE;
    case Sig::MinMax:
        (this->*e->pfn.vMmi)(reinterpret_cast<MINMAXINFO*>(lp));
        return TRUE;
    case Sig::DrawItem:
        (this->*e->pfn.vIDis)((int)wp, reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
        *pResult = TRUE;
        return TRUE;
    case Sig::MeasureItem:
        (this->*e->pfn.vIMis)((int)wp, reinterpret_cast<LPMEASUREITEMSTRUCT>(lp));
        *pResult = TRUE;
        return TRUE;
    case Sig::CtlColor: {
        // A null brush leaves the colours to the control's parent (the dialog manager's default)
        // or to the control itself.
        HBRUSH br =
            (this->*e->pfn.brDcHU)(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), msg - WM_CTLCOLORMSGBOX);
        if (!br)
            return FALSE;
        *pResult = reinterpret_cast<LRESULT>(br);
        return TRUE;
    }
    case Sig::SetCursor:
        *pResult = (this->*e->pfn.bHUU)(reinterpret_cast<HWND>(wp), LOWORD(lp), HIWORD(lp));
        return TRUE;
    case Sig::DropFiles:
        (this->*e->pfn.vDrop)(reinterpret_cast<HDROP>(wp));
        return TRUE;
    case Sig::EraseBkgnd:
        *pResult = (this->*e->pfn.bDc)(reinterpret_cast<HDC>(wp));
        return TRUE;
    case Sig::InitMenuPopup:
        (this->*e->pfn.vMenuUB)(reinterpret_cast<HMENU>(wp), LOWORD(lp), HIWORD(lp));
        return TRUE;
    case Sig::MenuSelect:
        (this->*e->pfn.vUUMenu)(LOWORD(wp), HIWORD(wp), reinterpret_cast<HMENU>(lp));
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace KvUi
