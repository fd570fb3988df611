// The thin control wrappers.
#include "kvui/controls.h"
#include "kvui/frame.h"

#include "wndproc.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace KvUi {

std::wstring CListBox::GetText(int i) const {
    LRESULT n = SendMessage(LB_GETTEXTLEN, i);
    if (n == LB_ERR)
        return std::wstring();
    std::wstring s(n + 1, L'\0');
    n = SendMessage(LB_GETTEXT, i, (LPARAM)&s[0]);
    s.resize(n == LB_ERR ? 0 : n);
    return s;
}

BOOL CAnimateCtrl::Open(UINT nID) {
    return (BOOL)::SendMessageW(m_hWnd, ACM_OPENW, (WPARAM)GetResourceHandle(), (LPARAM)MAKEINTRESOURCEW(nID));
}

// ---- image button --------------------------------------------------------------------------

CImageButton::~CImageButton() {
    if (m_hTip)
        ::DestroyWindow(m_hTip);
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
    if (m_hHotBitmap)
        ::DeleteObject(m_hHotBitmap);
}

static HBITMAP LoadButtonBitmap(UINT id) {
    return id ? (HBITMAP)::LoadImageW(GetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                      LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS)
              : nullptr;
}

BOOL CImageButton::SetImage(UINT bitmapId, UINT hotBitmapId) {
    HBITMAP bm = LoadButtonBitmap(bitmapId);
    if (!bm)
        return FALSE;
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
    if (m_hHotBitmap)
        ::DeleteObject(m_hHotBitmap);
    m_hBitmap = bm;
    m_hHotBitmap = LoadButtonBitmap(hotBitmapId);
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~BS_ICON) | BS_BITMAP);
    ShowImage(m_bHot);
    return TRUE;
}

BOOL CImageButton::SetImage(HICON icon) {
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~BS_BITMAP) | BS_ICON);
    SendMessage(BM_SETIMAGE, IMAGE_ICON, (LPARAM)icon);
    return icon != nullptr;
}

void CImageButton::ShowImage(BOOL hot) {
    HBITMAP bm = hot && m_hHotBitmap ? m_hHotBitmap : m_hBitmap;
    if (bm)
        SendMessage(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bm);
}

void CImageButton::SetTooltip(const std::wstring& text) {
    m_tip = text;
    if (!m_hTip) {
        m_hTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ::GetParent(m_hWnd),
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (!m_hTip)
            return;
        TTTOOLINFOW ti = {};
        ti.cbSize = sizeof(ti);
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = ::GetParent(m_hWnd);
        ti.uId = (UINT_PTR)m_hWnd;
        ti.lpszText = const_cast<wchar_t*>(m_tip.c_str());
        ::SendMessageW(m_hTip, TTM_ADDTOOLW, 0, (LPARAM)&ti);
        return;
    }
    TTTOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = ::GetParent(m_hWnd);
    ti.uId = (UINT_PTR)m_hWnd;
    ti.lpszText = const_cast<wchar_t*>(m_tip.c_str());
    ::SendMessageW(m_hTip, TTM_UPDATETIPTEXTW, 0, (LPARAM)&ti);
}

LRESULT CImageButton::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_MOUSEMOVE && !m_bHot) {
        m_bHot = TRUE;
        ShowImage(TRUE);
        TRACKMOUSEEVENT tme = {sizeof(tme), TME_LEAVE, m_hWnd, 0};
        ::TrackMouseEvent(&tme);
    } else if (msg == WM_MOUSELEAVE) {
        m_bHot = FALSE;
        ShowImage(FALSE);
    } else if (msg == WM_NCDESTROY && m_hTip) {
        ::DestroyWindow(m_hTip);
        m_hTip = nullptr;
    }
    return CButton::WindowProc(msg, wp, lp);
}

// ---- wait cursor ---------------------------------------------------------------------------

namespace {
// The marks of the thread's waits that live (see CWaitCursor::m_nMark), in the order they began,
// so in the order of their marks. Allocated on first use and never freed, as the idle windows'
// list is: a wait held by an object destroyed late in the thread's end still finds it.
thread_local std::vector<uint64_t>* t_pWaits = nullptr;
std::vector<uint64_t>& Waits() {
    if (!t_pWaits)
        t_pWaits = new std::vector<uint64_t>;
    return *t_pWaits;
}
} // namespace

CWaitCursor::CWaitCursor() : m_nMark(BindingCount()) {
    Waits().push_back(m_nMark);
    m_hPrev = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

CWaitCursor::~CWaitCursor() {
    std::vector<uint64_t>& waits = Waits();
    auto mine = std::find(waits.rbegin(), waits.rend(), m_nMark);
    if (mine != waits.rend())
        waits.erase(std::next(mine).base());
    if (waits.empty()) {
        // Back to what the window under the mouse wants.
        POINT pt;
        HWND h = ::GetCursorPos(&pt) ? ::WindowFromPoint(pt) : nullptr;
        if (h && ::GetWindowThreadProcessId(h, nullptr) == ::GetCurrentThreadId())
            ::SendMessageW(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        else
            ::SetCursor(m_hPrev ? m_hPrev : ::LoadCursorW(nullptr, IDC_ARROW));
    }
}

void CWaitCursor::Restore() { ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT)); }

BOOL CWaitCursor::IsWaiting() { return !Waits().empty(); }

BOOL CWaitCursor::Covers(HWND h) {
    const std::vector<uint64_t>& waits = Waits();
    if (waits.empty())
        return FALSE;
    // The latest wait covers the most windows.
    const uint64_t mark = waits.back();
    const CWnd* top = CWnd::FromHandlePermanent(::GetAncestor(h, GA_ROOT));
    return !top || top->m_nBinding <= mark;
}

BOOL CWaitCursor::OnSetCursor(HWND over) {
    if (Waits().empty() || (over && !Covers(over)))
        return FALSE;
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    return TRUE;
}

// ---- status line ---------------------------------------------------------------------------

BOOL CStatusBar::Create(CWnd* parent, UINT nID) {
    return CreateEx(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent->m_hWnd,
                    reinterpret_cast<HMENU>((UINT_PTR)nID));
}

BOOL CStatusBar::SetPanes(const int* widths, int count) {
    if (count < 1 || count > 16)
        return FALSE;
    m_nPanes = count;
    for (int i = 0; i < count; ++i)
        m_widths[i] = widths[i];
    RecalcPanes();
    return TRUE;
}

void CStatusBar::RecalcPanes() {
    if (!m_hWnd || m_nPanes == 0)
        return;
    RECT rc;
    GetClientRect(&rc);
    int right[16];
    int fixed = 0;
    for (int i = 0; i < m_nPanes; ++i)
        fixed += m_widths[i] > 0 ? m_widths[i] : 0;
    int grip = ::GetSystemMetrics(SM_CXVSCROLL);
    int stretch = (rc.right - rc.left) - fixed - grip;
    int x = 0;
    for (int i = 0; i < m_nPanes; ++i) {
        x += m_widths[i] > 0 ? m_widths[i] : (stretch > 0 ? stretch : 0);
        right[i] = x;
    }
    right[m_nPanes - 1] = -1;
    SendMessage(SB_SETPARTS, m_nPanes, (LPARAM)right);
}

BOOL CStatusBar::SetPaneText(int i, const std::wstring& text) {
    return (BOOL)SendMessage(SB_SETTEXTW, i, (LPARAM)text.c_str());
}

std::wstring CStatusBar::GetPaneText(int i) const {
    LRESULT n = LOWORD(SendMessage(SB_GETTEXTLENGTHW, i));
    std::wstring s(n + 1, L'\0');
    SendMessage(SB_GETTEXTW, i, (LPARAM)&s[0]);
    s.resize(n);
    return s;
}

// ---- toolbar -------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CToolBar, CWnd)
ON_NOTIFY_REFLECT_EX(TBN_HOTITEMCHANGE, OnHotItemChange)
KV_END_MESSAGE_MAP()

BOOL CToolBar::OnHotItemChange(NMHDR* hdr, LRESULT*) {
    if (!m_bFlyBy)
        return FALSE;
    const NMTBHOTITEM* hot = reinterpret_cast<const NMTBHOTITEM*>(hdr);
    // The frame around the bar (the bar may stand in a docked pane, or in a panel of one).
    for (HWND h = ::GetParent(m_hWnd); h; h = ::GetParent(h))
        if (CFrameWnd* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandlePermanent(h))) {
            frame->ShowPrompt((hot->dwFlags & HICF_LEAVING) ? 0 : (UINT)hot->idNew);
            break;
        }
    return FALSE; // the parent sees it too
}

BOOL CToolBar::Create(CWnd* parent, UINT nID) {
    if (!CreateEx(0, TOOLBARCLASSNAMEW, nullptr,
                  WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NODIVIDER, 0, 0, 0, 0,
                  parent->m_hWnd, reinterpret_cast<HMENU>((UINT_PTR)nID)))
        return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* ids, int count, UINT nBitmapID, int cx, int cy, COLORREF crMask) {
    if (nBitmapID && m_images.Create(nBitmapID, cx, 0, crMask))
        SendMessage(TB_SETIMAGELIST, 0, (LPARAM)m_images.m_hImageList);
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELONG(cx, cy));
    int image = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON b = {};
        if (ids[i] == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = image++;
            b.idCommand = (int)ids[i];
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
        }
        if (!SendMessage(TB_ADDBUTTONSW, 1, (LPARAM)&b))
            return FALSE;
    }
    SendMessage(TB_AUTOSIZE);
    return TRUE;
}

BOOL CToolBar::SetButtonText(UINT id, const std::wstring& text) {
    // Text beside the image, only on the buttons that have one.
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    if (!(style & TBSTYLE_LIST)) {
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | TBSTYLE_LIST);
        SendMessage(TB_SETEXTENDEDSTYLE, TBSTYLE_EX_MIXEDBUTTONS, TBSTYLE_EX_MIXEDBUTTONS);
    }
    TBBUTTONINFOW bi = {};
    bi.cbSize = sizeof(bi);
    bi.dwMask = TBIF_STYLE;
    if (SendMessage(TB_GETBUTTONINFOW, id, (LPARAM)&bi) < 0)
        return FALSE;
    bi.dwMask = TBIF_TEXT | TBIF_STYLE;
    bi.fsStyle |= BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    bi.pszText = const_cast<wchar_t*>(text.c_str());
    if (!SendMessage(TB_SETBUTTONINFOW, id, (LPARAM)&bi))
        return FALSE;
    SendMessage(TB_AUTOSIZE);
    return TRUE;
}

std::wstring CToolBar::GetButtonText(UINT id) const {
    LRESULT n = SendMessage(TB_GETBUTTONTEXTW, id, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring s(n + 1, L'\0');
    n = SendMessage(TB_GETBUTTONTEXTW, id, (LPARAM)&s[0]);
    s.resize(n > 0 ? n : 0);
    return s;
}

UINT CToolBar::GetItemID(int i) const {
    TBBUTTON b = {};
    return SendMessage(TB_GETBUTTON, i, (LPARAM)&b) ? (UINT)b.idCommand : 0;
}

namespace {
class CToolCmdUI : public CCmdUI {
public:
    HWND m_hBar = nullptr;
    void Enable(BOOL bOn) override {
        CCmdUI::Enable(bOn);
        ::SendMessageW(m_hBar, TB_ENABLEBUTTON, m_nID, MAKELONG(bOn ? TRUE : FALSE, 0));
    }
    void SetCheck(int n) override {
        CCmdUI::SetCheck(n);
        ::SendMessageW(m_hBar, TB_CHECKBUTTON, m_nID, MAKELONG(n ? TRUE : FALSE, 0));
    }
};
} // namespace

void CToolBar::OnUpdateCmdUI(CCmdTarget* pTarget, BOOL bDisableIfNoHandler) {
    int n = GetButtonCount();
    for (int i = 0; i < n; ++i) {
        UINT id = GetItemID(i);
        if (!id)
            continue;
        CToolCmdUI ui;
        ui.m_hBar = m_hWnd;
        ui.m_nID = id;
        ui.m_nIndex = i;
        ui.DoUpdate(pTarget, bDisableIfNoHandler);
    }
}

} // namespace KvUi
