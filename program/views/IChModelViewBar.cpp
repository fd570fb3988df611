#include "IChModelViewBar.h"

#include "resource.h"

#include <algorithm>

const UINT kStructureToolbarButtons[7] = {ID_OBJ_ADD_NEW,   ID_OBJ_ADD_EXISTING, 0, ID_OBJ_EXCLUDE, ID_OBJ_DELETE, 0,
                                          ID_OBJ_PROPERTIES};

BOOL CIChModelViewBar::CreateBar(KvUi::CFrameWnd* frame, UINT nID, IModelViewHost* host, BOOL visible) {
    m_pHost = host;
    if (!Create(KvUi::LoadStr(IDS_STRUCTURE_BAR), frame, nID, KvUi::CDockPane::Left, 250, visible))
        return FALSE;
    if (!m_wndTree.CreateTree(m_hWnd, IDC_STRUCTURE_TREE, host))
        return FALSE;
    m_wndTree.SetImageLists(IDB_NODE_ICONS, IDB_STATE_ICONS);
    m_wndTree.m_bEditable = TRUE;
    if (!m_wndToolBar.Create(this, IDR_STRUCTURE_TOOLBAR))
        return FALSE;
    // Placed by the bar, not by the control.
    LONG style = ::GetWindowLongW(m_wndToolBar.m_hWnd, GWL_STYLE);
    ::SetWindowLongW(m_wndToolBar.m_hWnd, GWL_STYLE, style | CCS_NOPARENTALIGN | CCS_NORESIZE);
    if (!m_wndToolBar.SetButtons(kStructureToolbarButtons, 7, IDR_STRUCTURE_TOOLBAR, 16, 16, RGB(255, 0, 255)))
        return FALSE;
    m_wndToolBar.SetFlyBy(TRUE);
    RecalcBarLayout();
    return TRUE;
}

void CIChModelViewBar::RecalcBarLayout() {
    if (!m_hWnd || !m_wndTree.m_hWnd || !m_wndToolBar.m_hWnd)
        return;
    RECT rc = ContentRect();
    DWORD size = (DWORD)m_wndToolBar.SendMessage(TB_GETBUTTONSIZE);
    int height = HIWORD(size) + 4;
    ::MoveWindow(m_wndToolBar.m_hWnd, rc.left, rc.top, std::max<LONG>(0, rc.right - rc.left), height, TRUE);
    rc.top += height;
    ::InflateRect(&rc, -1, -1);
    ::MoveWindow(m_wndTree.m_hWnd, rc.left, rc.top, std::max<LONG>(0, rc.right - rc.left),
                 std::max<LONG>(0, rc.bottom - rc.top), TRUE);
}

void CIChModelViewBar::ShowItemMenu(HTREEITEM item, POINT screen, bool fromKeyboard) {
    if (!item || !m_pHost)
        return;
    m_wndTree.SelectItem(item);
    if (fromKeyboard) {
        RECT rc;
        if (TreeView_GetItemRect(m_wndTree.m_hWnd, item, &rc, TRUE)) {
            POINT pt = {rc.left, rc.bottom};
            ::ClientToScreen(m_wndTree.m_hWnd, &pt);
            screen = pt;
        }
    }
    ::SetFocus(m_wndTree.m_hWnd);
    int id = m_pHost->GetNodeMenuId(m_wndTree.GetItemNode(item));
    if (!id)
        return;
    HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(id));
    if (!menu)
        return;
    HMENU popup = ::GetSubMenu(menu, 0);
    if (id == IDR_MENU_RESOURCES && item != m_wndTree.GetRootItem())
        ::ModifyMenuW(popup, ID_OBJ_EXPORT, MF_BYCOMMAND | MF_STRING, ID_OBJ_EXPORT,
                      KvUi::LoadStr(IDS_MENU_EXPORT_SELECTED).c_str());
    // Owned by the frame: its routing runs the commands and their update handlers. Through the
    // presenter, so a script can choose the command.
    HWND owner = m_pFrame ? m_pFrame->m_hWnd : ::GetParent(m_hWnd);
    KvUi::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, owner);
    ::DestroyMenu(menu);
}

LRESULT CIChModelViewBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE: {
        LRESULT r = CDockPane::WindowProc(msg, wp, lp);
        RecalcBarLayout();
        return r;
    }
    case WM_SETFOCUS:
        if (m_wndTree.m_hWnd)
            ::SetFocus(m_wndTree.m_hWnd);
        return 0;
    case WM_CONTEXTMENU: {
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        if (lp == -1) {
            ShowItemMenu(m_wndTree.GetSelectedItem(), pt, true);
        } else {
            TVHITTESTINFO ht = {};
            ht.pt = pt;
            ::ScreenToClient(m_wndTree.m_hWnd, &ht.pt);
            HTREEITEM h = TreeView_HitTest(m_wndTree.m_hWnd, &ht);
            if (h && (ht.flags & TVHT_ONITEM))
                ShowItemMenu(h, pt, false);
        }
        return 0;
    }
    case WM_PAINT: {
        LRESULT r = CDockPane::WindowProc(msg, wp, lp);
        if (m_wndTree.m_hWnd) {
            RECT rc;
            ::GetWindowRect(m_wndTree.m_hWnd, &rc);
            ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
            ::InflateRect(&rc, 1, 1);
            HDC dc = ::GetDC(m_hWnd);
            ::FrameRect(dc, &rc, ::GetSysColorBrush(COLOR_BTNSHADOW));
            ::ReleaseDC(m_hWnd, dc);
        }
        return r;
    }
    }
    return CDockPane::WindowProc(msg, wp, lp);
}
