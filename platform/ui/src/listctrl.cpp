// The report list and its header.
#include "kvui/listctrl.h"
#include "growtext.h"

#include <algorithm>
#include <exception>
#include <unordered_set>

namespace KvUi {

// ---- header --------------------------------------------------------------------------------

int CHeaderCtrl::HitTest(POINT pt, UINT* pFlags) const {
    HDHITTESTINFO hi = {};
    hi.pt = pt;
    int i = (int)SendMessage(HDM_HITTEST, 0, (LPARAM)&hi);
    if (pFlags)
        *pFlags = hi.flags;
    return i;
}

std::wstring CHeaderCtrl::GetItemText(int i) const {
    return ReadWholeText([&](wchar_t* buf, int size) {
        HDITEMW hd = {};
        hd.mask = HDI_TEXT;
        hd.pszText = buf;
        hd.cchTextMax = size;
        return SendMessage(HDM_GETITEMW, i, (LPARAM)&hd) ? 0 : -1;
    });
}

std::vector<int> CHeaderCtrl::GetOrderArray() const {
    std::vector<int> order(GetItemCount());
    if (!order.empty() && !Header_GetOrderArray(m_hWnd, (int)order.size(), order.data()))
        order.clear();
    return order;
}

BOOL CHeaderCtrl::SetOrderArray(const std::vector<int>& order) {
    return Header_SetOrderArray(m_hWnd, (int)order.size(), const_cast<int*>(order.data()));
}

void CHeaderCtrl::SetSortMark(int i, int direction) {
    HDITEMW hd = {};
    hd.mask = HDI_FORMAT;
    if (!SendMessage(HDM_GETITEMW, i, (LPARAM)&hd))
        return;
    hd.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (direction > 0)
        hd.fmt |= HDF_SORTUP;
    else if (direction < 0)
        hd.fmt |= HDF_SORTDOWN;
    SendMessage(HDM_SETITEMW, i, (LPARAM)&hd);
}

// ---- row source ----------------------------------------------------------------------------

int IListRowSource::CompareRows(int row1, int row2, int column) const {
    std::wstring a(GetCellText(row1, column)); // the second call may reuse the first one's storage
    std::wstring_view b = GetCellText(row2, column);
    int r = ::CompareStringOrdinal(a.data(), (int)a.size(), b.data(), (int)b.size(), TRUE);
    return r == 0 ? 0 : r - CSTR_EQUAL;
}

// ---- list ----------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CListCtrl, CWnd)
ON_NOTIFY_REFLECT_EX(LVN_GETDISPINFOW, OnReflectedNotify)
ON_NOTIFY_REFLECT_EX(LVN_ODFINDITEMW, OnReflectedNotify)
ON_NOTIFY_REFLECT_EX(LVN_ODCACHEHINT, OnReflectedNotify)
ON_NOTIFY_REFLECT_EX(NM_CUSTOMDRAW, OnReflectedNotify)
ON_NOTIFY_REFLECT_EX(LVN_GETINFOTIPW, OnReflectedNotify)
ON_NOTIFY_REFLECT_EX(LVN_COLUMNCLICK, OnReflectedNotify)
KV_END_MESSAGE_MAP()

BOOL CListCtrl::Create(DWORD style, const RECT& rc, CWnd* parent, UINT nID) {
    return CWnd::Create(WC_LISTVIEWW, nullptr, style, rc, parent, nID);
}

void CListCtrl::PreSubclassWindow() { m_header.m_hWnd = nullptr; }

CHeaderCtrl& CListCtrl::GetHeaderCtrl() const {
    m_header.m_hWnd = m_hWnd ? ListView_GetHeader(m_hWnd) : nullptr;
    return m_header;
}

int CListCtrl::InsertColumn(int i, const std::wstring& heading, int fmt, int width) {
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_FMT | (width >= 0 ? LVCF_WIDTH : 0);
    c.fmt = fmt;
    c.cx = width;
    c.pszText = const_cast<wchar_t*>(heading.c_str());
    return (int)SendMessage(LVM_INSERTCOLUMNW, i, (LPARAM)&c);
}

std::vector<int> CListCtrl::GetColumnOrderArray() const {
    std::vector<int> order(GetColumnCount());
    if (!order.empty() && !ListView_GetColumnOrderArray(m_hWnd, (int)order.size(), order.data()))
        order.clear();
    return order;
}

BOOL CListCtrl::SetColumnOrderArray(const std::vector<int>& order) {
    if ((int)order.size() != GetColumnCount())
        return FALSE;
    BOOL ok = ListView_SetColumnOrderArray(m_hWnd, (int)order.size(), const_cast<int*>(order.data()));
    Invalidate();
    return ok;
}

int CListCtrl::InsertItem(int i, const std::wstring& text, LPARAM data) {
    LVITEMW it = {};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = i;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    it.lParam = data;
    return InsertItem(it);
}

int CListCtrl::InsertItem(int i, const std::wstring& text, int image, LPARAM data) {
    LVITEMW it = {};
    it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    it.iItem = i;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    it.iImage = image;
    it.lParam = data;
    return InsertItem(it);
}

BOOL CListCtrl::DeleteAllItems() {
    if (m_pSource) {
        m_order.clear();
        ListView_SetItemCountEx(m_hWnd, 0, 0);
        return TRUE;
    }
    return ListView_DeleteAllItems(m_hWnd);
}

BOOL CListCtrl::SetItemText(int i, int sub, const std::wstring& text) {
    LVITEMW it = {};
    it.iSubItem = sub;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    return (BOOL)SendMessage(LVM_SETITEMTEXTW, i, (LPARAM)&it);
}

std::wstring CListCtrl::GetItemText(int i, int sub) const {
    if (m_pSource) {
        int row = SourceRowOf(i);
        return row < 0 ? std::wstring() : std::wstring(m_pSource->GetCellText(row, sub));
    }
    return ReadWholeText([&](wchar_t* buf, int size) {
        LVITEMW it = {};
        it.iSubItem = sub;
        it.pszText = buf;
        it.cchTextMax = size;
        SendMessage(LVM_GETITEMTEXTW, i, (LPARAM)&it);
        return 0;
    });
}

LPARAM CListCtrl::GetItemData(int i) const {
    if (m_pSource) {
        int row = SourceRowOf(i);
        return row < 0 ? 0 : m_pSource->GetRowData(row);
    }
    LVITEMW it = {};
    it.mask = LVIF_PARAM;
    it.iItem = i;
    return SendMessage(LVM_GETITEMW, 0, (LPARAM)&it) ? it.lParam : 0;
}

BOOL CListCtrl::SetItemData(int i, LPARAM data) {
    LVITEMW it = {};
    it.mask = LVIF_PARAM;
    it.iItem = i;
    it.lParam = data;
    return (BOOL)SendMessage(LVM_SETITEMW, 0, (LPARAM)&it);
}

BOOL CListCtrl::SetItemImage(int i, int sub, int image) {
    LVITEMW it = {};
    it.mask = LVIF_IMAGE;
    it.iItem = i;
    it.iSubItem = sub;
    it.iImage = image;
    return (BOOL)SendMessage(LVM_SETITEMW, 0, (LPARAM)&it);
}

int CListCtrl::GetItemImage(int i, int sub) const {
    if (m_pSource) {
        int row = SourceRowOf(i);
        return row < 0 ? -1 : m_pSource->GetCellImage(row, sub);
    }
    LVITEMW it = {};
    it.mask = LVIF_IMAGE;
    it.iItem = i;
    it.iSubItem = sub;
    it.iImage = -1;
    return SendMessage(LVM_GETITEMW, 0, (LPARAM)&it) ? it.iImage : -1;
}

BOOL CListCtrl::SetItemState(int i, UINT state, UINT mask) {
    LVITEMW it = {};
    it.state = state;
    it.stateMask = mask;
    return (BOOL)SendMessage(LVM_SETITEMSTATE, i, (LPARAM)&it);
}

std::vector<int> CListCtrl::GetSelectedItems() const {
    std::vector<int> rows;
    for (int i = GetNextItem(-1, LVNI_SELECTED); i >= 0; i = GetNextItem(i, LVNI_SELECTED))
        rows.push_back(i);
    return rows;
}

int CListCtrl::FindItem(LPARAM data, int start) const {
    if (m_pSource) {
        for (int i = start + 1; i < (int)m_order.size(); ++i)
            if (m_pSource->GetRowData(m_order[i]) == data)
                return i;
        return -1;
    }
    LVFINDINFOW fi = {};
    fi.flags = LVFI_PARAM;
    fi.lParam = data;
    return (int)SendMessage(LVM_FINDITEMW, start, (LPARAM)&fi);
}

BOOL CListCtrl::GetSubItemRect(int i, int sub, int code, RECT& rc) const {
    rc.top = sub;
    rc.left = code;
    return (BOOL)SendMessage(LVM_GETSUBITEMRECT, i, (LPARAM)&rc);
}

int CListCtrl::HitTest(POINT pt, UINT* pFlags) const {
    LVHITTESTINFO hi = {};
    hi.pt = pt;
    int i = (int)SendMessage(LVM_HITTEST, 0, (LPARAM)&hi);
    if (pFlags)
        *pFlags = hi.flags;
    return i;
}

void CListCtrl::SetRedraw(BOOL bRedraw) {
    SendMessage(WM_SETREDRAW, bRedraw);
    if (bRedraw)
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// ---- sorting -------------------------------------------------------------------------------

namespace {
// Comparison callbacks run inside the control: an exception is kept and raised again once the
// control's sort has returned, so it never travels through the control's code.
struct SortCall {
    const std::function<int(LPARAM, LPARAM)>* pCompare;
    std::exception_ptr error;
};
int CALLBACK CompareThrough(LPARAM a, LPARAM b, LPARAM p) {
    SortCall* call = reinterpret_cast<SortCall*>(p);
    if (call->error)
        return 0;
    try {
        return (*call->pCompare)(a, b);
    } catch (...) {
        call->error = std::current_exception();
        return 0;
    }
}
} // namespace

BOOL CListCtrl::SortItems(const std::function<int(LPARAM, LPARAM)>& compare) {
    SortCall call = {&compare, nullptr};
    BOOL ok = ListView_SortItems(m_hWnd, CompareThrough, reinterpret_cast<LPARAM>(&call));
    if (call.error)
        std::rethrow_exception(call.error);
    return ok;
}

BOOL CListCtrl::SortItemsEx(const std::function<int(int, int)>& compare) {
    std::function<int(LPARAM, LPARAM)> byIndex = [&](LPARAM a, LPARAM b) { return compare((int)a, (int)b); };
    SortCall call = {&byIndex, nullptr};
    BOOL ok = ListView_SortItemsEx(m_hWnd, CompareThrough, reinterpret_cast<LPARAM>(&call));
    if (call.error)
        std::rethrow_exception(call.error);
    return ok;
}

int CListCtrl::CompareKeys(LPARAM a, LPARAM b, bool rows) const {
    for (const SortKey& k : m_sortKeys) {
        int c = rows ? m_pSource->CompareRows((int)a, (int)b, k.column)
                     : const_cast<CListCtrl*>(this)->OnCompareItems(a, b, k.column);
        if (c != 0)
            return k.ascending ? c : -c;
    }
    return 0;
}

void CListCtrl::Sort(int column, BOOL bAscending, BOOL bAdd) {
    if (column < 0) {
        ResetSort();
        return;
    }
    if (bAdd && m_bMultipleSort && !m_sortKeys.empty()) {
        auto it =
            std::find_if(m_sortKeys.begin(), m_sortKeys.end(), [&](const SortKey& k) { return k.column == column; });
        if (it != m_sortKeys.end())
            it->ascending = bAscending;
        else
            m_sortKeys.push_back({column, bAscending});
    } else {
        m_sortKeys.assign(1, {column, bAscending});
    }
    ShowSortMarks();
    SortNow();
}

void CListCtrl::ResetSort() {
    m_sortKeys.clear();
    ShowSortMarks();
}

void CListCtrl::ShowSortMarks() {
    if (!m_hWnd)
        return;
    CHeaderCtrl& h = GetHeaderCtrl();
    int n = h.GetItemCount();
    for (int i = 0; i < n; ++i) {
        int dir = 0;
        if (m_bMarkSorted)
            for (const SortKey& k : m_sortKeys)
                if (k.column == i) {
                    dir = k.ascending ? 1 : -1;
                    break;
                }
        h.SetSortMark(i, dir);
    }
}

void CListCtrl::SortNow() {
    if (m_sortKeys.empty() || !m_hWnd)
        return;
    if (!m_pSource) {
        SortItems([this](LPARAM a, LPARAM b) { return CompareKeys(a, b, false); });
        return;
    }
    // The control keeps the selection by display index: carry it over to where the rows go.
    std::unordered_set<int> selected;
    for (int i : GetSelectedItems())
        selected.insert(m_order[i]);
    int mark = SourceRowOf(GetSelectionMark());
    int focus = SourceRowOf(GetNextItem(-1, LVNI_FOCUSED));
    std::stable_sort(m_order.begin(), m_order.end(), [this](int a, int b) { return CompareKeys(a, b, true) < 0; });
    if (!selected.empty() || mark >= 0 || focus >= 0) {
        SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (int i = 0; i < (int)m_order.size(); ++i) {
            int row = m_order[i];
            UINT state = (selected.count(row) ? LVIS_SELECTED : 0) | (row == focus ? LVIS_FOCUSED : 0);
            if (state)
                SetItemState(i, state, state);
            if (row == mark)
                SetSelectionMark(i);
        }
    }
    Invalidate(FALSE);
}

// ---- owner data ----------------------------------------------------------------------------

void CListCtrl::SetRowSource(IListRowSource* source) {
    m_pSource = source;
    RowSourceChanged();
}

void CListCtrl::RowSourceChanged() {
    int n = m_pSource ? m_pSource->GetRowCount() : 0;
    m_order.resize(n);
    for (int i = 0; i < n; ++i)
        m_order[i] = i;
    if (m_hWnd) {
        SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemCountEx(m_hWnd, n, 0);
        SortNow();
        Invalidate(FALSE);
    }
}

int CListCtrl::SourceRowOf(int item) const { return item >= 0 && item < (int)m_order.size() ? m_order[item] : -1; }

void CListCtrl::OnGetDispInfo(NMLVDISPINFOW* di) {
    LVITEMW& it = di->item;
    int row = SourceRowOf(it.iItem);
    if (row < 0 || !m_pSource)
        return;
    if ((it.mask & LVIF_TEXT) && it.pszText && it.cchTextMax > 0) {
        std::wstring_view s = m_pSource->GetCellText(row, it.iSubItem);
        size_t n = std::min<size_t>(s.size(), (size_t)it.cchTextMax - 1);
        wmemcpy(it.pszText, s.data(), n);
        it.pszText[n] = L'\0';
    }
    if (it.mask & LVIF_IMAGE)
        it.iImage = m_pSource->GetCellImage(row, it.iSubItem);
    if (it.mask & LVIF_PARAM)
        it.lParam = m_pSource->GetRowData(row);
}

int CListCtrl::OnFindItem(NMLVFINDITEMW* fi) {
    const LVFINDINFOW& f = fi->lvfi;
    int n = (int)m_order.size();
    if (n == 0 || !m_pSource)
        return -1;
    int start = fi->iStart < 0 || fi->iStart >= n ? 0 : fi->iStart;
    bool wrap = (f.flags & LVFI_WRAP) != 0;
    std::wstring_view want =
        (f.flags & (LVFI_STRING | LVFI_PARTIAL)) && f.psz ? std::wstring_view(f.psz) : std::wstring_view();
    for (int k = 0; k < n; ++k) {
        int i = start + k;
        if (i >= n) {
            if (!wrap)
                break;
            i -= n;
        }
        int row = m_order[i];
        if (f.flags & LVFI_PARAM) {
            if (m_pSource->GetRowData(row) == f.lParam)
                return i;
            continue;
        }
        std::wstring_view text = m_pSource->GetCellText(row, 0);
        bool partial = (f.flags & LVFI_PARTIAL) != 0;
        if ((partial ? text.size() >= want.size() : text.size() == want.size()) &&
            ::CompareStringOrdinal(text.data(), (int)want.size(), want.data(), (int)want.size(), TRUE) == CSTR_EQUAL)
            return i;
    }
    return -1;
}

LRESULT CListCtrl::OnCustomDraw(NMLVCUSTOMDRAW* cd) {
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        int row = (int)cd->nmcd.dwItemSpec;
        COLORREF text = OnGetCellTextColor(row, cd->iSubItem);
        COLORREF bk = OnGetCellBkColor(row, cd->iSubItem);
        if (text != CLR_DEFAULT)
            cd->clrText = text;
        if (bk != CLR_DEFAULT)
            cd->clrTextBk = bk;
        HFONT font = OnGetCellFont(row, cd->iSubItem);
        if (font) {
            ::SelectObject(cd->nmcd.hdc, font);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

BOOL CListCtrl::OnReflectedNotify(NMHDR* hdr, LRESULT* pResult) {
    switch (hdr->code) {
    case LVN_GETDISPINFOW:
        if (!m_pSource)
            return FALSE;
        OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(hdr));
        *pResult = 0;
        return TRUE;
    case LVN_ODFINDITEMW:
        if (!m_pSource)
            return FALSE;
        *pResult = OnFindItem(reinterpret_cast<NMLVFINDITEMW*>(hdr));
        return TRUE;
    case LVN_ODCACHEHINT:
        return m_pSource != nullptr;
    case NM_CUSTOMDRAW:
        if (!m_bCellDraw)
            return FALSE;
        *pResult = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(hdr));
        return TRUE;
    case LVN_GETINFOTIPW: {
        NMLVGETINFOTIPW* tip = reinterpret_cast<NMLVGETINFOTIPW*>(hdr);
        std::wstring text(tip->pszText ? tip->pszText : L"");
        if (tip->pszText && tip->cchTextMax > 0 && OnGetItemTip(tip->iItem, tip->iSubItem, text)) {
            size_t n = std::min<size_t>(text.size(), (size_t)tip->cchTextMax - 1);
            wmemcpy(tip->pszText, text.data(), n);
            tip->pszText[n] = L'\0';
        }
        *pResult = 0;
        return TRUE;
    }
    case LVN_COLUMNCLICK: {
        if (!m_bHeaderSort)
            return FALSE;
        int column = reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem;
        BOOL add = m_bMultipleSort && ::GetKeyState(VK_SHIFT) < 0;
        BOOL ascending = TRUE;
        for (size_t k = 0; k < m_sortKeys.size(); ++k)
            if (m_sortKeys[k].column == column && (add || k == 0))
                ascending = !m_sortKeys[k].ascending;
        Sort(column, ascending, add);
        *pResult = 0;
        return TRUE;
    }
    default:
        return FALSE;
    }
}

BOOL CListCtrl::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    // The header is the list's child: its notifications come here.
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr && hdr->hwndFrom == ListView_GetHeader(m_hWnd)) {
        int item = reinterpret_cast<NMHEADERW*>(hdr)->iItem;
        BOOL refuse = FALSE;
        if (hdr->code == HDN_BEGINTRACKW || hdr->code == HDN_BEGINTRACKA || hdr->code == HDN_DIVIDERDBLCLICKW ||
            hdr->code == HDN_DIVIDERDBLCLICKA)
            refuse = !CanTrackColumn(item);
        else if (hdr->code == HDN_BEGINDRAG)
            refuse = !CanDragColumn(item);
        if (refuse) {
            *pResult = TRUE;
            return TRUE;
        }
    }
    return CWnd::OnNotify(wp, lp, pResult);
}

} // namespace KvUi
