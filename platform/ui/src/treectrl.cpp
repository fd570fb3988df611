// The tree control.
#include "kvui/treectrl.h"
#include "growtext.h"

#include <algorithm>

namespace KvUi {

BOOL CTreeCtrl::Create(DWORD style, const RECT& rc, CWnd* parent, UINT nID) {
    return CWnd::Create(WC_TREEVIEWW, nullptr, style, rc, parent, nID);
}

HTREEITEM CTreeCtrl::InsertItem(const std::wstring& text, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW is = {};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT;
    is.item.pszText = const_cast<wchar_t*>(text.c_str());
    return InsertItem(is);
}

HTREEITEM CTreeCtrl::InsertItem(const std::wstring& text, int image, int selImage, HTREEITEM parent, HTREEITEM after,
                                LPARAM data) {
    TVINSERTSTRUCTW is = {};
    is.hParent = parent;
    is.hInsertAfter = after;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    is.item.pszText = const_cast<wchar_t*>(text.c_str());
    is.item.iImage = image;
    is.item.iSelectedImage = selImage;
    is.item.lParam = data;
    return InsertItem(is);
}

std::wstring CTreeCtrl::GetItemText(HTREEITEM h) const {
    return ReadWholeText([&](wchar_t* buf, int size) {
        TVITEMW it = {};
        it.mask = TVIF_TEXT | TVIF_HANDLE;
        it.hItem = h;
        it.pszText = buf;
        it.cchTextMax = size;
        if (!GetItem(it))
            return -1;
        // A text given through a callback may come back in a buffer of the owner's.
        if (it.pszText && it.pszText != buf)
            wcsncpy(buf, it.pszText, size - 1), buf[size - 1] = L'\0';
        return 0;
    });
}

BOOL CTreeCtrl::SetItemText(HTREEITEM h, const std::wstring& text) {
    TVITEMW it = {};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = h;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    return SetItem(it);
}

LPARAM CTreeCtrl::GetItemData(HTREEITEM h) const {
    TVITEMW it = {};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = h;
    return GetItem(it) ? it.lParam : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM h, LPARAM data) {
    TVITEMW it = {};
    it.mask = TVIF_PARAM | TVIF_HANDLE;
    it.hItem = h;
    it.lParam = data;
    return SetItem(it);
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM h, int image, int selImage) {
    TVITEMW it = {};
    it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    it.hItem = h;
    it.iImage = image;
    it.iSelectedImage = selImage;
    return SetItem(it);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM h, int& image, int& selImage) const {
    TVITEMW it = {};
    it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    it.hItem = h;
    if (!GetItem(it))
        return FALSE;
    image = it.iImage;
    selImage = it.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemState(HTREEITEM h, UINT state, UINT mask) {
    TVITEMW it = {};
    it.mask = TVIF_STATE | TVIF_HANDLE;
    it.hItem = h;
    it.state = state;
    it.stateMask = mask;
    return SetItem(it);
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM h) const {
    TVITEMW it = {};
    it.mask = TVIF_CHILDREN | TVIF_HANDLE;
    it.hItem = h;
    return GetItem(it) && it.cChildren != 0;
}

BOOL CTreeCtrl::SelectDropTarget(HTREEITEM h) {
    HTREEITEM old = GetDropHilightItem();
    BOOL ok = TreeView_SelectDropTarget(m_hWnd, h);
    // Some versions of the control keep the old item highlighted when the target is cleared.
    if (old && old != h && (GetItemState(old, TVIS_DROPHILITED) & TVIS_DROPHILITED))
        SetItemState(old, 0, TVIS_DROPHILITED);
    return ok;
}

HTREEITEM CTreeCtrl::HitTest(POINT pt, UINT* pFlags) const {
    TVHITTESTINFO hi = {};
    hi.pt = pt;
    HTREEITEM h = (HTREEITEM)SendMessage(TVM_HITTEST, 0, (LPARAM)&hi);
    if (pFlags)
        *pFlags = hi.flags;
    return h;
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM h, RECT* rc, BOOL bTextOnly) const {
    // The message takes the item's handle in the rectangle it fills.
    *reinterpret_cast<HTREEITEM*>(rc) = h;
    return (BOOL)SendMessage(TVM_GETITEMRECT, bTextOnly, (LPARAM)rc);
}

BOOL CTreeCtrl::CreateDragImage(HTREEITEM h, CImageList& dragImage) {
    HIMAGELIST il = TreeView_CreateDragImage(m_hWnd, h);
    if (il && ImageList_GetImageCount(il) > 0)
        return dragImage.Attach(il, TRUE);
    if (il)
        ImageList_Destroy(il);
    // The control made no picture (some versions of it draw none): the item's icon and text are
    // drawn here, on a mask colour that stays transparent.
    RECT text;
    if (!h || !GetItemRect(h, &text, TRUE))
        return FALSE;
    HIMAGELIST normal = GetImageList(TVSIL_NORMAL);
    int icx = 0, icy = 0, image = -1, selImage = -1;
    if (!normal || !ImageList_GetIconSize(normal, &icx, &icy) || !GetItemImage(h, image, selImage))
        icx = icy = 0, image = -1;
    int cx = icx + (int)(text.right - text.left), cy = std::max<int>(icy, text.bottom - text.top);
    if (cx <= 0 || cy <= 0)
        return FALSE;
    CMaskedCanvas canvas(m_hWnd, cx, cy, RGB(255, 0, 255));
    if (!canvas.IsValid())
        return FALSE;
    HDC dc = canvas.GetDC();
    if (image >= 0)
        ImageList_Draw(normal, image, dc, 0, (cy - icy) / 2, ILD_NORMAL);
    HFONT font = GetFont();
    HGDIOBJ oldFont = ::SelectObject(dc, font ? (HGDIOBJ)font : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    std::wstring s = GetItemText(h);
    RECT tr = {icx, 0, cx, cy};
    ::DrawTextW(dc, s.c_str(), (int)s.size(), &tr, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    ::SelectObject(dc, oldFont);
    CImageList made;
    BOOL ok = made.Create(cx, cy, ILC_COLOR24 | ILC_MASK, 1, 0) && canvas.AddTo(made) == 0;
    if (ok)
        dragImage = std::move(made);
    return ok;
}

BOOL CTreeCtrl::SortChildrenCB(HTREEITEM h, PFNTVCOMPARE pfn, LPARAM lParamSort) {
    TVSORTCB sort = {};
    sort.hParent = h;
    sort.lpfnCompare = pfn;
    sort.lParam = lParamSort;
    return (BOOL)SendMessage(TVM_SORTCHILDRENCB, 0, (LPARAM)&sort);
}

namespace {
int CALLBACK CompareThrough(LPARAM a, LPARAM b, LPARAM fn) {
    return (*reinterpret_cast<const std::function<int(LPARAM, LPARAM)>*>(fn))(a, b);
}
} // namespace

BOOL CTreeCtrl::SortChildren(HTREEITEM h, const std::function<int(LPARAM, LPARAM)>& compare) {
    return SortChildrenCB(h, CompareThrough, reinterpret_cast<LPARAM>(&compare));
}

HWND CTreeCtrl::EditLabel(HTREEITEM h) {
    m_hEditItem = h;
    return (HWND)SendMessage(TVM_EDITLABELW, 0, (LPARAM)h);
}

BOOL CTreeCtrl::EndEditLabelNow(BOOL bCancel) {
    HWND edit = GetEditControl();
    if (bCancel && edit) {
        // The editor gets the item's own text back first, so a control that commits anyway
        // changes nothing.
        HTREEITEM h = m_hEditItem ? m_hEditItem : GetSelectedItem();
        if (h)
            ::SetWindowTextW(edit, GetItemText(h).c_str());
    }
    m_hEditItem = nullptr;
    return (BOOL)SendMessage(TVM_ENDEDITLABELNOW, bCancel);
}

void CTreeCtrl::SetRedraw(BOOL bRedraw) {
    SendMessage(WM_SETREDRAW, bRedraw);
    if (bRedraw)
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

} // namespace KvUi
