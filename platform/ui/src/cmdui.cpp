// Update requests: a command element (a menu item, a toolbar button, a dialog's control) asks
// the routing whether its command is enabled, checked or named otherwise.
#include "kvui/core.h"

#include <string>

namespace KvUi {

// ---- update requests -----------------------------------------------------------------------

void CCmdUI::Enable(BOOL bOn) {
    m_bEnabled = bOn;
    if (m_hMenu)
        ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
    m_nCheck = nCheck;
    if (m_hMenu)
        ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetText(const wchar_t* text) {
    if (!m_hMenu || !text)
        return;
    MENUITEMINFOW mii = {sizeof(mii)};
    mii.fMask = MIIM_STRING;
    mii.dwTypeData = const_cast<wchar_t*>(text);
    ::SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &mii);
}

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler) {
    m_bEnableChanged = FALSE;
    BOOL handled = pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this, nullptr);
    if (!handled && bDisableIfNoHandler && !m_bEnableChanged) {
        CmdHandlerInfo info;
        Enable(pTarget->OnCmdMsg(m_nID, CN_COMMAND, nullptr, &info));
    }
    return handled;
}

BOOL IsCommandEnabled(CCmdTarget* pTarget, UINT nID) {
    CCmdUI state;
    state.m_nID = nID;
    pTarget->OnCmdMsg(nID, CN_UPDATE_COMMAND_UI, &state, nullptr);
    return state.m_bEnabled;
}

// ---- update handlers of a window's controls ---------------------------------------------------

namespace {
// The update state of one child control: its handler enables, checks or names the control.
class CControlCmdUI : public CCmdUI {
public:
    HWND m_hCtl = nullptr;
    HWND m_hParent = nullptr;
    void Enable(BOOL bOn) override {
        CCmdUI::Enable(bOn);
        if (!bOn && ::GetFocus() == m_hCtl)
            // The focus leaves a control that goes grey, as the dialog manager would move it.
            ::SendMessageW(m_hParent, WM_NEXTDLGCTL, 0, FALSE);
        if ((::IsWindowEnabled(m_hCtl) != FALSE) != (bOn != FALSE))
            ::EnableWindow(m_hCtl, bOn);
    }
    void SetCheck(int nCheck) override {
        CCmdUI::SetCheck(nCheck);
        UINT kind = (UINT)(::GetWindowLongW(m_hCtl, GWL_STYLE) & BS_TYPEMASK);
        bool checkable = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE || kind == BS_AUTO3STATE ||
                         kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
        if (checkable && (int)::SendMessageW(m_hCtl, BM_GETCHECK, 0, 0) != nCheck)
            ::SendMessageW(m_hCtl, BM_SETCHECK, (WPARAM)nCheck, 0);
    }
    void SetText(const wchar_t* text) override {
        CCmdUI::SetText(text);
        std::wstring now(::GetWindowTextLengthW(m_hCtl) + 1, L'\0');
        now.resize(::GetWindowTextW(m_hCtl, &now[0], (int)now.size()));
        if (now != (text ? text : L""))
            ::SetWindowTextW(m_hCtl, text ? text : L"");
    }
};

} // namespace

void CWnd::UpdateDialogControls(CCmdTarget* pTarget, BOOL bDisableIfNoHandler) {
    if (!m_hWnd || !pTarget)
        return;
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        int id = ::GetDlgCtrlID(h);
        if (id <= 0 || id > 0xFFFF || id == 0xFFFF)
            continue; // static texts without an id
        CControlCmdUI ui;
        ui.m_nID = (UINT)id;
        ui.m_hCtl = h;
        ui.m_hParent = m_hWnd;
        ui.DoUpdate(pTarget, bDisableIfNoHandler);
    }
}

} // namespace KvUi
