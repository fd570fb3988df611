// The frame window.
#include "kvui/frame.h"
#include "kvui/app.h"

namespace KvUi {

KV_BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
KV_END_MESSAGE_MAP()

CFrameWnd::~CFrameWnd() {
    if (m_hAccelTable)
        ::DestroyAcceleratorTable(m_hAccelTable);
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD style, CWnd* pParent) {
    HINSTANCE hInst = GetResourceHandle();
    std::wstring title = LoadStr(nIDResource);
    m_strTitle = title.substr(0, title.find(L'\n'));
    m_hMenu = ::LoadMenuW(hInst, MAKEINTRESOURCEW(nIDResource));
    m_hAccelTable = ::LoadAcceleratorsW(hInst, MAKEINTRESOURCEW(nIDResource));
    CREATESTRUCTW cs = {};
    cs.style = style & ~FWS_ADDTOTITLE;
    cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
    cs.hMenu = m_hMenu;
    cs.hwndParent = pParent ? pParent->m_hWnd : nullptr;
    cs.lpszName = m_strTitle.c_str();
    if (!PreCreateWindow(cs))
        return FALSE;
    if (!CreateEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent,
                  cs.hMenu)) {
        if (m_hMenu)
            ::DestroyMenu(m_hMenu);
        m_hMenu = nullptr;
        return FALSE;
    }
    RecalcLayout();
    return TRUE;
}

void CFrameWnd::RecalcLayout() {
    if (!m_hWnd)
        return;
    RECT rc;
    GetClientRect(&rc);
    if (m_pToolBar && m_pToolBar->m_hWnd && m_pToolBar->IsWindowVisible()) {
        m_pToolBar->SendMessage(TB_AUTOSIZE);
        RECT tb;
        m_pToolBar->GetWindowRect(&tb);
        rc.top += tb.bottom - tb.top;
    }
    if (m_pStatusBar && m_pStatusBar->m_hWnd && m_pStatusBar->IsWindowVisible()) {
        m_pStatusBar->SendMessage(WM_SIZE);
        m_pStatusBar->RecalcPanes();
        RECT sb;
        m_pStatusBar->GetWindowRect(&sb);
        rc.bottom -= sb.bottom - sb.top;
    }
    if (HWND pane = GetDlgItem(AFX_IDW_PANE_FIRST))
        ::MoveWindow(pane, rc.left, rc.top, rc.right - rc.left, rc.bottom > rc.top ? rc.bottom - rc.top : 0, TRUE);
}

std::wstring CFrameWnd::GetMessageString(UINT nID) const {
    std::wstring s = LoadStr(nID);
    return s.substr(0, s.find(L'\n'));
}

void CFrameWnd::OnIdleUpdateCmdUI() {
    if (m_pToolBar && m_pToolBar->m_hWnd)
        m_pToolBar->OnUpdateCmdUI(this, TRUE);
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, CmdHandlerInfo* pInfo) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra, pInfo))
        return TRUE;
    // Then the application object.
    if (CWinApp* app = AfxGetApp())
        if (app->m_pMainWnd == this && app->OnCmdMsg(nID, nCode, pExtra, pInfo))
            return TRUE;
    return FALSE;
}

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg) {
    if (m_hAccelTable && pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
        return ::TranslateAcceleratorW(m_hWnd, m_hAccelTable, pMsg);
    return FALSE;
}

void CFrameWnd::UpdateMenu(HMENU hMenu) {
    int n = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i) {
        MENUITEMINFOW mii = {sizeof(mii)};
        mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!::GetMenuItemInfoW(hMenu, i, TRUE, &mii))
            continue;
        if (mii.hSubMenu || (mii.fType & MFT_SEPARATOR) || mii.wID == 0)
            continue;
        CCmdUI ui;
        ui.m_hMenu = hMenu;
        ui.m_nIndex = i;
        ui.m_nID = mii.wID;
        ui.DoUpdate(this, TRUE);
    }
}

BOOL CFrameWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr && hdr->code == TTN_GETDISPINFOW) {
        // Tooltip of a toolbar button: the text after the line break of its string.
        NMTTDISPINFOW* di = reinterpret_cast<NMTTDISPINFOW*>(lp);
        std::wstring s = LoadStr((UINT)hdr->idFrom);
        size_t nl = s.find(L'\n');
        m_tipText = nl == std::wstring::npos ? std::wstring() : s.substr(nl + 1);
        di->lpszText = const_cast<wchar_t*>(m_tipText.c_str());
        *pResult = 0;
        return TRUE;
    }
    return CWnd::OnNotify(wp, lp, pResult);
}

BOOL CFrameWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (CWnd::OnWndMsg(msg, wp, lp, pResult))
        return TRUE;
    switch (msg) {
    case WM_INITMENUPOPUP:
        if (!HIWORD(lp))
            UpdateMenu(reinterpret_cast<HMENU>(wp));
        *pResult = 0;
        return TRUE;
    case WM_MENUSELECT: {
        UINT id = LOWORD(wp);
        UINT flags = HIWORD(wp);
        if (m_pStatusBar && m_pStatusBar->m_hWnd) {
            if (flags == 0xFFFF && !lp)
                m_pStatusBar->SetPaneText(0, LoadStr(AFX_IDS_IDLEMESSAGE));
            else if (!(flags & (MF_POPUP | MF_SEPARATOR)))
                m_pStatusBar->SetPaneText(0, GetMessageString(id));
        }
        *pResult = 0;
        return TRUE;
    }
    case WM_SIZE:
        RecalcLayout();
        *pResult = 0;
        return TRUE;
    case WM_ERASEBKGND: {
        // The client area that no pane covers.
        RECT rc;
        GetClientRect(&rc);
        ::FillRect(reinterpret_cast<HDC>(wp), &rc, ::GetSysColorBrush(COLOR_APPWORKSPACE));
        *pResult = 1;
        return TRUE;
    }
    case WM_CLOSE:
        OnClose();
        *pResult = 0;
        return TRUE;
    }
    return FALSE;
}

void CFrameWnd::PostNcDestroy() {
    // The main window's end ends the message loop.
    if (CWinApp* app = AfxGetApp())
        if (app->m_pMainWnd == this) {
            app->m_pMainWnd = nullptr;
            ::PostQuitMessage(0);
        }
    if (m_bAutoDelete)
        delete this;
}

} // namespace KvUi
