// Command routing: a command target's map answers commands and notifications; a window passes
// a command its controls and its own map leave along its routing parents.
#include "kvui/core.h"

namespace KvUi {

// ---- command targets ----------------------------------------------------------------------

const MsgMap* CCmdTarget::GetThisMessageMap() {
    static const MsgEntry entries[] = {{0, 0, 0, 0, Sig::End, MsgFn(), nullptr}};
    static const MsgMap map = {nullptr, entries};
    return &map;
}

const MsgMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

static bool MatchesCommand(const MsgEntry& e, UINT nID, int nCode) {
    if (e.sig == Sig::End || e.pRegistered || e.nMessage >= WM_REFLECT_BASE)
        return false;
    if (HIWORD((UINT)nCode) == WM_NOTIFY && nCode != CN_UPDATE_COMMAND_UI) {
        return e.nMessage == WM_NOTIFY && e.nCode == LOWORD((UINT)nCode) && nID >= e.nID && nID <= e.nLastID;
    }
    return e.nMessage == WM_COMMAND && e.nCode == (UINT)nCode && nID >= e.nID && nID <= e.nLastID;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, CmdHandlerInfo* pInfo) {
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            if (!MatchesCommand(*e, nID, nCode))
                continue;
            if (pInfo) {
                pInfo->pTarget = this;
                pInfo->pEntry = e;
                return TRUE;
            }
            if (DispatchCmd(e, nID, nCode, pExtra))
                return TRUE;
        }
    }
    return FALSE;
}

BOOL CCmdTarget::DispatchCmd(const MsgEntry* e, UINT nID, int nCode, void* pExtra) {
    switch (e->sig) {
    case Sig::Cmd:
        (this->*e->pfn.v)();
        return TRUE;
    case Sig::CmdRange:
        (this->*e->pfn.vU)(nID);
        return TRUE;
    case Sig::CmdEx:
        return (this->*e->pfn.bU)(nID);
    case Sig::Update: {
        CCmdUI* ui = static_cast<CCmdUI*>(pExtra);
        ui->m_bContinueRouting = FALSE;
        (this->*e->pfn.vUi)(ui);
        return !ui->m_bContinueRouting;
    }
    case Sig::Notify: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        (this->*e->pfn.vNm)(ni->pHeader, ni->pResult);
        return TRUE;
    }
    case Sig::NotifyRange: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        (this->*e->pfn.vUNm)(nID, ni->pHeader, ni->pResult);
        return TRUE;
    }
    case Sig::NotifyEx: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        return (this->*e->pfn.bUNm)(nID, ni->pHeader, ni->pResult);
    }
    default:
        return FALSE;
    }
}

// ---- a window's commands and notifications ----------------------------------------------------

BOOL CWnd::OnCommand(WPARAM wp, LPARAM lp) {
    UINT nID = LOWORD(wp);
    int nCode = HIWORD(wp);
    HWND hCtl = reinterpret_cast<HWND>(lp);
    if (!hCtl) {
        // Menu (0) or accelerator (1): a command that its update handler disables does not run.
        nCode = CN_COMMAND;
        if (!IsCommandEnabled(this, nID))
            return TRUE;
    } else {
        if (nCode == BN_CLICKED && !::IsWindowEnabled(hCtl))
            return TRUE;
        // The control's own object answers its notification first.
        LRESULT r = 0;
        if (ReflectToControl(m_hWnd, WM_COMMAND, wp, lp, &r))
            return TRUE;
    }
    for (CWnd* p = this; p; p = p->GetRoutingParent()) {
        if (p->OnCmdMsg(nID, nCode, nullptr, nullptr))
            return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    if (!hdr)
        return FALSE;
    // The control's own object answers its notification first.
    if (ReflectToControl(m_hWnd, WM_NOTIFY, wp, lp, pResult))
        return TRUE;
    NotifyInfo info = {hdr, pResult};
    return OnCmdMsg((UINT)hdr->idFrom, NotifyCode(hdr->code), &info, nullptr);
}

} // namespace KvUi
