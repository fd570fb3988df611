// The thin control wrappers.
#include "kvui/controls.h"

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

BOOL CImageList::Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask) {
    DeleteImageList();
    m_hImageList = ImageList_LoadImageW(GetResourceHandle(), MAKEINTRESOURCEW(nBitmapID), cx, nGrow, crMask,
                                        IMAGE_BITMAP, LR_CREATEDIBSECTION);
    return m_hImageList != nullptr;
}

BOOL CImageList::Create(int cx, int cy, UINT flags, int nInitial, int nGrow) {
    DeleteImageList();
    m_hImageList = ImageList_Create(cx, cy, flags, nInitial, nGrow);
    return m_hImageList != nullptr;
}

void CImageList::DeleteImageList() {
    if (m_hImageList)
        ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
}

HTREEITEM CTreeCtrl::InsertItem(const std::wstring& text, int image, int selImage, HTREEITEM parent,
                                HTREEITEM after, LPARAM data) {
    TVINSERTSTRUCTW is = {};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    is.item.pszText = const_cast<wchar_t*>(text.c_str());
    is.item.iImage = image;
    is.item.iSelectedImage = selImage;
    is.item.lParam = data;
    return (HTREEITEM)SendMessage(TVM_INSERTITEMW, 0, (LPARAM)&is);
}

LPARAM CTreeCtrl::GetItemData(HTREEITEM h) const {
    TVITEMW it = {};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = h;
    return SendMessage(TVM_GETITEMW, 0, (LPARAM)&it) ? it.lParam : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM h, LPARAM data) {
    TVITEMW it = {};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = h;
    it.lParam = data;
    return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)&it);
}

std::wstring CTreeCtrl::GetItemText(HTREEITEM h) const {
    wchar_t buf[512] = {};
    TVITEMW it = {};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = h;
    it.pszText = buf;
    it.cchTextMax = 512;
    return SendMessage(TVM_GETITEMW, 0, (LPARAM)&it) ? std::wstring(buf) : std::wstring();
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM h, int image, int selImage) {
    TVITEMW it = {};
    it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    it.hItem = h;
    it.iImage = image;
    it.iSelectedImage = selImage;
    return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)&it);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM h, int& image, int& selImage) const {
    TVITEMW it = {};
    it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    it.hItem = h;
    if (!SendMessage(TVM_GETITEMW, 0, (LPARAM)&it))
        return FALSE;
    image = it.iImage;
    selImage = it.iSelectedImage;
    return TRUE;
}

int CListCtrl::InsertColumn(int i, const std::wstring& heading, int fmt, int width) {
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_FMT | (width >= 0 ? LVCF_WIDTH : 0);
    c.fmt = fmt;
    c.cx = width;
    c.pszText = const_cast<wchar_t*>(heading.c_str());
    return (int)SendMessage(LVM_INSERTCOLUMNW, i, (LPARAM)&c);
}

int CListCtrl::InsertItem(int i, const std::wstring& text, LPARAM data) {
    LVITEMW it = {};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = i;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    it.lParam = data;
    return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)&it);
}

BOOL CListCtrl::SetItemText(int i, int sub, const std::wstring& text) {
    LVITEMW it = {};
    it.iSubItem = sub;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    return (BOOL)SendMessage(LVM_SETITEMTEXTW, i, (LPARAM)&it);
}

std::wstring CListCtrl::GetItemText(int i, int sub) const {
    wchar_t buf[1024] = {};
    LVITEMW it = {};
    it.iSubItem = sub;
    it.pszText = buf;
    it.cchTextMax = 1024;
    SendMessage(LVM_GETITEMTEXTW, i, (LPARAM)&it);
    return buf;
}

LPARAM CListCtrl::GetItemData(int i) const {
    LVITEMW it = {};
    it.mask = LVIF_PARAM;
    it.iItem = i;
    return SendMessage(LVM_GETITEMW, 0, (LPARAM)&it) ? it.lParam : 0;
}

BOOL CListCtrl::SetItemState(int i, UINT state, UINT mask) {
    LVITEMW it = {};
    it.state = state;
    it.stateMask = mask;
    return (BOOL)SendMessage(LVM_SETITEMSTATE, i, (LPARAM)&it);
}

BOOL CListCtrl::GetSubItemRect(int i, int sub, int code, RECT& rc) const {
    rc.top = sub;
    rc.left = code;
    return (BOOL)SendMessage(LVM_GETSUBITEMRECT, i, (LPARAM)&rc);
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
