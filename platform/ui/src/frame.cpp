// The frame window.
#include "kvui/frame.h"
#include "kvui/app.h"

#include <algorithm>
#include <cstring>

namespace KvUi {

// Whether a bar is shown in its frame (also while the frame itself is still hidden).
static bool HasVisibleStyle(HWND h) { return (::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; }

KV_BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_INITMENUPOPUP()
ON_WM_MENUSELECT()
ON_WM_SIZE()
ON_WM_ERASEBKGND()
ON_WM_CLOSE()
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
    // A refused creation destroys the window; the object stays for the caller to delete.
    BOOL autoDelete = m_bAutoDelete;
    m_bAutoDelete = FALSE;
    BOOL created =
        CreateEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu);
    m_bAutoDelete = autoDelete;
    if (!created) {
        if (m_hMenu)
            ::DestroyMenu(m_hMenu);
        m_hMenu = nullptr;
        return FALSE;
    }
    RecalcLayout();
    RegisterIdleUpdate(this);
    return TRUE;
}

void CFrameWnd::RecalcLayout() {
    if (!m_hWnd)
        return;
    RECT rc;
    GetClientRect(&rc);
    if (m_pToolBar && m_pToolBar->m_hWnd && HasVisibleStyle(m_pToolBar->m_hWnd)) {
        m_pToolBar->SendMessage(TB_AUTOSIZE);
        RECT tb;
        m_pToolBar->GetWindowRect(&tb);
        rc.top += tb.bottom - tb.top;
    }
    if (m_pStatusBar && m_pStatusBar->m_hWnd && HasVisibleStyle(m_pStatusBar->m_hWnd)) {
        m_pStatusBar->SendMessage(WM_SIZE);
        m_pStatusBar->RecalcPanes();
        RECT sb;
        m_pStatusBar->GetWindowRect(&sb);
        rc.bottom -= sb.bottom - sb.top;
    }
    for (CDockPane* p : m_panes) {
        if (!p->IsPaneVisible())
            continue;
        int size = p->GetPaneSize();
        RECT r = rc;
        switch (p->GetSide()) {
        case CDockPane::Left:
            r.right = std::min<LONG>(rc.left + size, rc.right);
            rc.left = r.right;
            break;
        case CDockPane::Right:
            r.left = std::max<LONG>(rc.right - size, rc.left);
            rc.right = r.left;
            break;
        case CDockPane::Top:
            r.bottom = std::min<LONG>(rc.top + size, rc.bottom);
            rc.top = r.bottom;
            break;
        case CDockPane::Bottom:
            r.top = std::max<LONG>(rc.bottom - size, rc.top);
            rc.bottom = r.top;
            break;
        }
        p->MoveWindow(r);
    }
    if (HWND pane = GetDlgItem(AFX_IDW_PANE_FIRST))
        ::MoveWindow(pane, rc.left, rc.top, rc.right - rc.left, rc.bottom > rc.top ? rc.bottom - rc.top : 0, TRUE);
}

// ---- workspace -------------------------------------------------------------------------------

namespace {
const wchar_t* const kPlacementValue = L"WindowPlacement";
std::wstring IdValue(const wchar_t* prefix, HWND h) { return prefix + std::to_wstring(::GetDlgCtrlID(h)); }
} // namespace

BOOL CFrameWnd::SaveBarShown(const wchar_t* section, HWND bar) {
    CWinApp* app = AfxGetApp();
    if (!app || !bar)
        return FALSE;
    return app->WriteProfileInt(section, IdValue(L"Bar", bar).c_str(), HasVisibleStyle(bar) ? 1 : 0);
}

void CFrameWnd::LoadBarShown(const wchar_t* section, HWND bar) {
    CWinApp* app = AfxGetApp();
    if (!app || !bar)
        return;
    int shown = (int)app->GetProfileInt(section, IdValue(L"Bar", bar).c_str(), -1);
    if (shown == 0 || shown == 1)
        ::ShowWindow(bar, shown ? SW_SHOWNA : SW_HIDE);
}

BOOL CFrameWnd::SaveWorkspace(const wchar_t* section) {
    CWinApp* app = AfxGetApp();
    if (!app || !m_hWnd)
        return FALSE;
    BOOL ok = TRUE;
    WINDOWPLACEMENT wp = {sizeof(wp)};
    if (::GetWindowPlacement(m_hWnd, &wp)) {
        // The normal rectangle, and 1 when the window is (or, minimised, was) maximised.
        const int values[5] = {
            wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right, wp.rcNormalPosition.bottom,
            wp.showCmd == SW_SHOWMAXIMIZED || (wp.showCmd == SW_SHOWMINIMIZED && (wp.flags & WPF_RESTORETOMAXIMIZED))
                ? 1
                : 0};
        ok = app->WriteProfileBinary(section, kPlacementValue, values, sizeof(values)) && ok;
    }
    for (CDockPane* p : m_panes) {
        const int values[2] = {p->GetPaneSize(), p->IsPaneVisible() ? 1 : 0};
        ok = app->WriteProfileBinary(section, IdValue(L"Pane", p->m_hWnd).c_str(), values, sizeof(values)) && ok;
    }
    if (m_pToolBar && m_pToolBar->m_hWnd)
        ok = SaveBarShown(section, m_pToolBar->m_hWnd) && ok;
    if (m_pStatusBar && m_pStatusBar->m_hWnd)
        ok = SaveBarShown(section, m_pStatusBar->m_hWnd) && ok;
    return ok;
}

int CFrameWnd::LoadWorkspace(const wchar_t* section, int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (!app || !m_hWnd)
        return nCmdShow;
    std::vector<BYTE> data;
    for (CDockPane* p : m_panes) {
        int values[2];
        if (!app->GetProfileBinary(section, IdValue(L"Pane", p->m_hWnd).c_str(), data) || data.size() != sizeof(values))
            continue;
        memcpy(values, data.data(), sizeof(values));
        if (values[0] >= CDockPane::kCaptionHeight + CDockPane::kEdge && values[0] <= 0x7FFF)
            p->SetPaneSize(values[0]);
        if (values[1] == 0 || values[1] == 1)
            p->ShowPane(values[1]);
    }
    if (m_pToolBar)
        LoadBarShown(section, m_pToolBar->m_hWnd);
    if (m_pStatusBar)
        LoadBarShown(section, m_pStatusBar->m_hWnd);
    RecalcLayout();
    int values[5];
    if (!app->GetProfileBinary(section, kPlacementValue, data) || data.size() != sizeof(values))
        return nCmdShow;
    memcpy(values, data.data(), sizeof(values));
    RECT rc = {values[0], values[1], values[2], values[3]};
    // A place of another screen layout that no screen shows any more is not taken.
    const LONG minSize = 100;
    if (rc.right - rc.left < minSize || rc.bottom - rc.top < minSize || rc.right - rc.left > 0x7FFF ||
        rc.bottom - rc.top > 0x7FFF || !::MonitorFromRect(&rc, MONITOR_DEFAULTTONULL))
        return nCmdShow;
    WINDOWPLACEMENT wp = {sizeof(wp)};
    ::GetWindowPlacement(m_hWnd, &wp);
    wp.flags = 0;
    wp.showCmd = ::IsWindowVisible(m_hWnd) ? SW_SHOWNORMAL : SW_HIDE;
    wp.rcNormalPosition = rc;
    ::SetWindowPlacement(m_hWnd, &wp);
    const bool plain = nCmdShow == SW_SHOWNORMAL || nCmdShow == SW_SHOW || nCmdShow == SW_SHOWDEFAULT;
    return values[4] == 1 && plain ? SW_SHOWMAXIMIZED : nCmdShow;
}

std::wstring CFrameWnd::GetMessageString(UINT nID) const {
    std::wstring s = LoadStr(nID);
    return s.substr(0, s.find(L'\n'));
}

void CFrameWnd::AddControlBar(CToolBar* bar) {
    if (bar && std::find(m_controlBars.begin(), m_controlBars.end(), bar) == m_controlBars.end())
        m_controlBars.push_back(bar);
}

void CFrameWnd::RemoveControlBar(CToolBar* bar) {
    m_controlBars.erase(std::remove(m_controlBars.begin(), m_controlBars.end(), bar), m_controlBars.end());
}

void CFrameWnd::OnIdleUpdateCmdUI() {
    if (m_pToolBar && m_pToolBar->m_hWnd)
        m_pToolBar->OnUpdateCmdUI(this, TRUE);
    for (CToolBar* bar : m_controlBars)
        if (bar->m_hWnd && HasVisibleStyle(bar->m_hWnd))
            bar->OnUpdateCmdUI(this, TRUE);
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

void CFrameWnd::OnInitMenuPopup(HMENU menu, UINT, BOOL system) {
    if (!system)
        UpdateMenu(menu);
}

void CFrameWnd::ShowPrompt(UINT nID) {
    if (m_pStatusBar && m_pStatusBar->m_hWnd)
        m_pStatusBar->SetPaneText(0, nID ? GetMessageString(nID) : LoadStr(AFX_IDS_IDLEMESSAGE));
}

void CFrameWnd::OnMenuSelect(UINT id, UINT flags, HMENU menu) {
    if (flags == 0xFFFF && !menu)
        ShowPrompt(0);
    else if (!(flags & (MF_POPUP | MF_SEPARATOR)))
        ShowPrompt(id);
}

void CFrameWnd::OnSize(UINT, int, int) { RecalcLayout(); }

BOOL CFrameWnd::OnEraseBkgnd(HDC dc) {
    // The client area that no pane covers.
    RECT rc;
    GetClientRect(&rc);
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_APPWORKSPACE));
    return TRUE;
}

void CFrameWnd::DockPane(CDockPane* pane) {
    m_panes.push_back(pane);
    RecalcLayout();
}

// ---- docked panes --------------------------------------------------------------------------

BOOL CDockPane::Create(const std::wstring& title, CFrameWnd* frame, UINT nID, Side side, int size, BOOL visible) {
    m_pFrame = frame;
    m_strTitle = title;
    m_side = side;
    m_nSize = size;
    if (!CreateEx(0, nullptr, title.c_str(), WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0),
                  0, 0, 0, 0, frame->m_hWnd, reinterpret_cast<HMENU>((UINT_PTR)nID)))
        return FALSE;
    frame->DockPane(this);
    return TRUE;
}

void CDockPane::SetContent(HWND content) {
    m_hContent = content;
    LayoutContent();
}

void CDockPane::ShowPane(BOOL show) {
    if (!m_hWnd)
        return;
    ShowWindow(show ? SW_SHOW : SW_HIDE);
    if (m_pFrame)
        m_pFrame->RecalcLayout();
}

void CDockPane::SetPaneSize(int size) {
    m_nSize = size < kCaptionHeight + kEdge ? kCaptionHeight + kEdge : size;
    if (m_pFrame)
        m_pFrame->RecalcLayout();
}

RECT CDockPane::ContentRect() const {
    RECT rc;
    GetClientRect(&rc);
    switch (m_side) {
    case Left:
        rc.right -= kEdge;
        break;
    case Right:
        rc.left += kEdge;
        break;
    case Top:
        rc.bottom -= kEdge;
        break;
    case Bottom:
        rc.top += kEdge;
        break;
    }
    rc.top += kCaptionHeight;
    return rc;
}

void CDockPane::LayoutContent() {
    if (!m_hWnd || !m_hContent)
        return;
    const RECT rc = ContentRect();
    ::MoveWindow(m_hContent, rc.left, rc.top, std::max<LONG>(0, rc.right - rc.left),
                 std::max<LONG>(0, rc.bottom - rc.top), TRUE);
}

bool CDockPane::OnEdge(POINT pt) const {
    RECT rc;
    GetClientRect(&rc);
    switch (m_side) {
    case Left:
        return pt.x >= rc.right - kEdge;
    case Right:
        return pt.x < rc.left + kEdge;
    case Top:
        return pt.y >= rc.bottom - kEdge;
    case Bottom:
        return pt.y < rc.top + kEdge;
    }
    return false;
}

KV_BEGIN_MESSAGE_MAP(CDockPane, CWnd)
ON_WM_SIZE()
ON_WM_ERASEBKGND()
ON_WM_PAINT()
ON_WM_SETCURSOR()
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONUP()
ON_WM_CAPTURECHANGED()
KV_END_MESSAGE_MAP()

void CDockPane::OnSize(UINT, int, int) { LayoutContent(); }

BOOL CDockPane::OnEraseBkgnd(HDC dc) {
    RECT rc;
    GetClientRect(&rc);
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_BTNFACE));
    return TRUE;
}

void CDockPane::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT rc;
    GetClientRect(&rc);
    if (m_side == Bottom)
        rc.top += kEdge;
    rc.bottom = rc.top + kCaptionHeight;
    ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_INACTIVECAPTION));
    HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_INACTIVECAPTIONTEXT));
    rc.left += 4;
    ::DrawTextW(dc, m_strTitle.c_str(), -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    ::SelectObject(dc, old);
    ::EndPaint(m_hWnd, &ps);
}

BOOL CDockPane::OnSetCursor(HWND wnd, UINT hitTest, UINT message) {
    POINT pt;
    ::GetCursorPos(&pt);
    ::ScreenToClient(m_hWnd, &pt);
    if (wnd == m_hWnd && OnEdge(pt)) {
        ::SetCursor(::LoadCursorW(nullptr, (m_side == Left || m_side == Right) ? IDC_SIZEWE : IDC_SIZENS));
        return TRUE;
    }
    return (BOOL)Default();
}

void CDockPane::OnLButtonDown(UINT, POINT pt) {
    if (!OnEdge(pt)) {
        Default();
        return;
    }
    m_bDragging = true;
    ::GetCursorPos(&m_dragStart);
    m_dragSize = m_nSize;
    ::SetCapture(m_hWnd);
}

void CDockPane::OnMouseMove(UINT, POINT) {
    if (!m_bDragging)
        return;
    POINT pt;
    ::GetCursorPos(&pt);
    int d = 0;
    switch (m_side) {
    case Left:
        d = pt.x - m_dragStart.x;
        break;
    case Right:
        d = m_dragStart.x - pt.x;
        break;
    case Top:
        d = pt.y - m_dragStart.y;
        break;
    case Bottom:
        d = m_dragStart.y - pt.y;
        break;
    }
    SetPaneSize(m_dragSize + d);
}

void CDockPane::OnLButtonUp(UINT, POINT) {
    if (m_bDragging) {
        m_bDragging = false;
        ::ReleaseCapture();
    }
}

void CDockPane::OnCaptureChanged(HWND) { m_bDragging = false; }

// The content's notifications: its own object answers first (reflection), then the pane's map,
// then the frame, which routes them like its own controls' notifications.
BOOL CDockPane::OnCommand(WPARAM wp, LPARAM lp) {
    if (CWnd::OnCommand(wp, lp))
        return TRUE;
    if (m_pFrame && m_pFrame->m_hWnd)
        SendAfterReflection(m_pFrame->m_hWnd, WM_COMMAND, wp, lp);
    return TRUE;
}

BOOL CDockPane::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (CWnd::OnNotify(wp, lp, pResult))
        return TRUE;
    if (!m_pFrame || !m_pFrame->m_hWnd)
        return FALSE;
    *pResult = SendAfterReflection(m_pFrame->m_hWnd, WM_NOTIFY, wp, lp);
    return TRUE;
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
