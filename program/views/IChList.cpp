#include "IChList.h"

#include "ListDialogs.h"
#include "resource.h"

#include <KvText.h>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {
int ReadInt(const std::vector<BYTE>& data, size_t offset) {
    int v;
    memcpy(&v, data.data() + offset, 4);
    return v;
}
void WriteInt(std::vector<BYTE>& data, int v) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&v);
    data.insert(data.end(), p, p + 4);
}
} // namespace

COLORREF DefaultListColor(int index) {
    switch (index) {
    case 1:
        return ::GetSysColor(COLOR_WINDOWTEXT);
    case 2:
        return ::GetSysColor(COLOR_WINDOW);
    case 3:
        return 0x000040;
    case 4:
        return 0xE6E6FF;
    case 5:
        return 0x404040;
    case 6:
        return 0xC0C0C0;
    case 7:
        return 0x200000;
    case 8:
        return 0xF0CAA6;
    default:
        return 0;
    }
}

// ---- column state ------------------------------------------------------------------------------

std::vector<BYTE> CListColumnState::Pack() const {
    std::vector<BYTE> data;
    WriteInt(data, sortColumn);
    WriteInt(data, ascending);
    WriteInt(data, (int)widths.size());
    for (int w : widths)
        WriteInt(data, w);
    for (int i : order)
        WriteInt(data, i);
    return data;
}

bool CListColumnState::Parse(const std::vector<BYTE>& data, int columnCount) {
    // Only a whole value is used: its own count is the list's, the length fits the count, the
    // order is a permutation and the sort column is one of the columns (or none).
    if (data.size() < 12 || columnCount <= 0)
        return false;
    int n = ReadInt(data, 8);
    if (n != columnCount || data.size() != 12 + 8 * (size_t)n)
        return false;
    int sort = ReadInt(data, 0);
    if (sort < -1 || sort >= n)
        return false;
    std::vector<int> w(n), o(n);
    std::vector<bool> seen(n, false);
    for (int i = 0; i < n; ++i) {
        w[i] = ReadInt(data, 12 + 4 * i);
        o[i] = ReadInt(data, 12 + 4 * n + 4 * i);
        if (o[i] < 0 || o[i] >= n || seen[o[i]])
            return false;
        seen[o[i]] = true;
    }
    sortColumn = sort;
    ascending = ReadInt(data, 4) ? 1 : 0;
    widths = std::move(w);
    order = std::move(o);
    return true;
}

// ---- the list ------------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CIChList, KvUi::CListCtrl)
ON_NOTIFY_REFLECT_EX(LVN_ITEMCHANGED, OnItemChanged)
ON_NOTIFY_REFLECT_EX(LVN_ODSTATECHANGED, OnItemChanged)
ON_NOTIFY_REFLECT_EX(LVN_ITEMACTIVATE, OnItemActivateNotify)
ON_COMMAND(ID_LIST_SORT_ASCENDING, OnSortAscending)
ON_COMMAND(ID_LIST_SORT_DESCENDING, OnSortDescending)
ON_COMMAND(ID_LIST_AUTOFIT, OnAutoFit)
ON_COMMAND(ID_LIST_HIDE_COLUMN, OnHideColumn)
ON_COMMAND(ID_LIST_COLUMNS, OnColumns)
ON_COMMAND(ID_LIST_DEFAULTS, OnDefaults)
ON_UPDATE_COMMAND_UI(ID_LIST_SORT_ASCENDING, OnUpdateSortAscending)
ON_UPDATE_COMMAND_UI(ID_LIST_SORT_DESCENDING, OnUpdateSortDescending)
ON_UPDATE_COMMAND_UI(ID_LIST_AUTOFIT, OnUpdateAutoFit)
ON_UPDATE_COMMAND_UI(ID_LIST_HIDE_COLUMN, OnUpdateHideColumn)
ON_UPDATE_COMMAND_UI(ID_LIST_COLUMNS, OnUpdateAlways)
ON_UPDATE_COMMAND_UI(ID_LIST_DEFAULTS, OnUpdateAlways)
KV_END_MESSAGE_MAP()

CIChList::CIChList() = default;

CIChList::~CIChList() {
    if (m_hBoldFont)
        ::DeleteObject(m_hBoldFont);
    if (m_hNormalFont)
        ::DeleteObject(m_hNormalFont);
}

int CIChList::Create(KvUi::CWnd* parent, int id) {
    m_nListId = id;
    RECT rc = {0, 0, 0, 0};
    if (parent && parent->m_hWnd)
        ::GetClientRect(parent->m_hWnd, &rc);
    rc.left += 1;
    rc.right = std::max(rc.left, rc.right - 1);
    rc.bottom = std::max(rc.top, rc.bottom - 1);
    const DWORD style =
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA | LVS_SHAREIMAGELISTS;
    if (!CreateEx(0, WC_LISTVIEWW, L"", style, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                  parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>((UINT_PTR)id)))
        return 0;
    SetExtendedStyle(LVS_EX_INFOTIP | LVS_EX_LABELTIP | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP |
                     LVS_EX_SUBITEMIMAGES | LVS_EX_DOUBLEBUFFER | (m_bGrid ? LVS_EX_GRIDLINES : 0));
    EnableMarkSortedColumn(TRUE);
    EnableMultipleSort(TRUE);
    EnableHeaderSort(TRUE);
    m_hHeader = ListView_GetHeader(m_hWnd);
    if (m_hHeader)
        AttachHeader();
    LoadColumnState();
    ShowWindow(SW_HIDE);
    if (m_images.m_hImageList)
        SetImageList(m_images.m_hImageList, LVSIL_SMALL);
    InsertColumns();
    ApplyColumnState();
    SetRowSource(this);
    HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    LOGFONTW lf = {};
    if (!::GetObjectW(font ? (HGDIOBJ)font : ::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf))
        return 1;
    m_hNormalFont = ::CreateFontIndirectW(&lf);
    lf.lfWeight = FW_BOLD;
    m_hBoldFont = ::CreateFontIndirectW(&lf);
    return 1;
}

void CIChList::SetGridLines(int on) {
    m_bGrid = on ? 1 : 0;
    if (m_hWnd)
        SetExtendedStyle(LVS_EX_GRIDLINES, m_bGrid ? LVS_EX_GRIDLINES : 0);
}

void CIChList::AddColumn(int index, const wchar_t* heading, int width, int fmt) {
    InsertColumn(index, heading, fmt, width);
}

HWND CIChList::CommandWnd() const {
    HWND h = m_pHost ? m_pHost->GetCommandWnd() : nullptr;
    return h ? h : ::GetAncestor(m_hWnd, GA_ROOT);
}

// ---- rows ------------------------------------------------------------------------------------------

CIChNode* CIChList::GetRowNode(int item) const {
    int row = SourceRowOf(item);
    return row >= 0 && row < (int)m_rows.size() ? m_rows[row] : nullptr;
}

int CIChList::FindRow(const CIChNode* node) const {
    for (int i = 0; i < (int)m_order.size(); ++i)
        if (m_rows[m_order[i]] == node)
            return i;
    return -1;
}

int CIChList::GetSelectedItems(std::vector<int>* rows) const {
    int n = m_hWnd ? GetSelectedCount() : 0;
    if (rows && n > 0)
        *rows = KvUi::CListCtrl::GetSelectedItems();
    return n;
}

int CIChList::SelectAll() {
    if (!m_hWnd || m_rows.empty())
        return 0;
    SetRedraw(FALSE);
    m_bQuiet = true;
    SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    m_bQuiet = false;
    SetRedraw(TRUE);
    if (HasFocus())
        StartStatusTimer(400);
    return (int)m_rows.size();
}

std::wstring_view CIChList::GetCellText(int row, int column) const {
    m_cell.clear();
    if (row >= 0 && row < (int)m_rows.size())
        const_cast<CIChList*>(this)->GetNodeText(m_rows[row], column, m_cell);
    return m_cell;
}

int CIChList::GetCellImage(int row, int column) const {
    if (column != 0 || row < 0 || row >= (int)m_rows.size())
        return -1;
    return const_cast<CIChList*>(this)->m_images.GetNodeImage(m_rows[row]);
}

void CIChList::TextKey(const std::wstring& text, bool ignoreCase, CListSortKey& key) {
    DWORD flags = LCMAP_SORTKEY | (ignoreCase ? NORM_IGNORECASE : 0);
    int n = ::LCMapStringW(LOCALE_USER_DEFAULT, flags, text.c_str(), (int)text.size(), nullptr, 0);
    if (n <= 0) {
        key.bytes.clear();
        return;
    }
    key.bytes.resize(n);
    ::LCMapStringW(LOCALE_USER_DEFAULT, flags, text.c_str(), (int)text.size(), reinterpret_cast<LPWSTR>(&key.bytes[0]),
                   n);
    // The key ends with a zero byte, which must not take part in the comparison.
    while (!key.bytes.empty() && key.bytes.back() == 0)
        key.bytes.pop_back();
}

int CIChList::CompareRows(int row1, int row2, int column) const {
    if (column < 0)
        return 0;
    if ((int)m_keys.size() <= column)
        m_keys.resize(column + 1);
    std::vector<CListSortKey>& keys = m_keys[column];
    if (keys.size() != m_rows.size()) {
        keys.assign(m_rows.size(), CListSortKey());
        for (size_t i = 0; i < m_rows.size(); ++i)
            const_cast<CIChList*>(this)->GetSortKey(m_rows[i], column, keys[i]);
    }
    const CListSortKey& a = keys[row1];
    const CListSortKey& b = keys[row2];
    if (a.number != b.number)
        return a.number < b.number ? -1 : 1;
    int c = a.bytes.compare(b.bytes);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void CIChList::RowChanged(int item) {
    m_keys.clear();
    if (item >= 0)
        RedrawItems(item, item);
    if (GetSortColumn() >= 0)
        Sort(-7);
}

// ---- refill ---------------------------------------------------------------------------------------

void CIChList::Clear() {
    m_pData = nullptr;
    m_rows.clear();
    m_keys.clear();
    if (m_hWnd) {
        RowSourceChanged();
        SetSelectionMark(-1);
        if (HasFocus())
            StartStatusTimer(50);
    }
}

int CIChList::Refill(CIChNode* data) {
    KvUi::CWaitCursor wait;
    if (data)
        m_pData = data;
    std::unordered_set<CIChNode*> selected;
    for (int i : KvUi::CListCtrl::GetSelectedItems())
        selected.insert(GetRowNode(i));
    CIChNode* markNode = GetRowNode(GetSelectionMark());
    SetRedraw(FALSE);
    m_bQuiet = true;
    // Emptied first, so that no old row's state has to be cleared one by one.
    m_rows.clear();
    m_keys.clear();
    ListView_SetItemCountEx(m_hWnd, 0, 0);
    int result = FillItems(m_pData);
    // The rows again in their fill order, sorted by the kept sort keys.
    RowSourceChanged();
    if (!selected.empty()) {
        size_t kept = 0;
        for (CIChNode* n : m_rows)
            kept += selected.count(n);
        if (kept == m_rows.size()) {
            SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
        } else {
            for (int i = 0; i < (int)m_order.size(); ++i)
                if (selected.count(m_rows[m_order[i]]))
                    SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
        }
        int mark = markNode ? FindRow(markNode) : -1;
        if (mark >= 0) {
            SetItemState(mark, LVIS_FOCUSED, LVIS_FOCUSED);
            SetSelectionMark(mark);
            EnsureVisible(mark, FALSE);
        }
    }
    m_bQuiet = false;
    SetRedraw(TRUE);
    StartStatusTimer(400);
    return result;
}

void CIChList::Sort(int column, BOOL bAscending, BOOL bAdd) {
    if (column == -7) {
        // The current keys again (after a row changed).
        if (GetSortColumn() < 0)
            return;
        SortNow();
    } else {
        KvUi::CListCtrl::Sort(column, bAscending, bAdd);
    }
    int mark = GetSelectionMark();
    if (mark >= 0)
        EnsureVisible(mark, FALSE);
    if (HasFocus())
        StartStatusTimer(400);
}

// ---- status timer ---------------------------------------------------------------------------------

std::wstring ListPositionText(int position, int count, int selected) {
    wchar_t text[64];
    _snwprintf(text, 64, KvUi::LoadStr(IDS_LIST_POSITION).c_str(), position, count, selected);
    text[63] = 0;
    return text;
}

void CIChList::StartStatusTimer(UINT ms) {
    if (m_hWnd)
        ::SetTimer(m_hWnd, kStatusTimer, ms, nullptr);
}

void CIChList::OnStatusTimer() {
    if (!m_hWnd)
        return;
    ::KillTimer(m_hWnd, kStatusTimer);
    int mark = GetSelectionMark();
    if (m_pHost)
        m_pHost->SetStatusText(ListPositionText(mark + 1, GetItemCount(), GetSelectedCount()));
    if (mark >= 0)
        OnItemActivate(mark, 1);
}

BOOL CIChList::OnItemChanged(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    if (!m_bQuiet && HasFocus())
        StartStatusTimer(400);
    return FALSE;
}

BOOL CIChList::OnItemActivateNotify(NMHDR* hdr, LRESULT* pResult) {
    *pResult = 0;
    int item = reinterpret_cast<NMITEMACTIVATE*>(hdr)->iItem;
    if (item < 0)
        item = GetNextItem(-1, LVNI_SELECTED);
    if (item >= 0)
        OnItemActivate(item, 0);
    return TRUE;
}

LRESULT CIChList::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        if (wp == kStatusTimer) {
            OnStatusTimer();
            return 0;
        }
        break;
    case WM_SETFOCUS: {
        LRESULT r = KvUi::CListCtrl::WindowProc(msg, wp, lp);
        StartStatusTimer(400);
        return r;
    }
    case WM_VSCROLL: {
        LRESULT r = KvUi::CListCtrl::WindowProc(msg, wp, lp);
        if (m_bGrid && LOWORD(wp) == SB_ENDSCROLL)
            Invalidate(TRUE);
        return r;
    }
    case WM_DESTROY:
        ::KillTimer(m_hWnd, kStatusTimer);
        DetachHeader();
        break;
    }
    return KvUi::CListCtrl::WindowProc(msg, wp, lp);
}

void CIChList::PostNcDestroy() {
    m_hHeader = nullptr;
    KvUi::CListCtrl::PostNcDestroy();
}

// ---- colours, fonts, tips ----------------------------------------------------------------------

COLORREF CIChList::GetListColor(int index) {
    if (index < 1 || index > 8)
        return 0;
    return m_pHost ? m_pHost->GetListColor(index) : DefaultListColor(index);
}

int CIChList::GetColorClass(int item, int column) {
    CIChNode* node = GetRowNode(item);
    if (!node)
        return 1;
    if (IsErrorItem(node, column))
        return 3;
    if (IsUncontrolledItem(node, column))
        return 5;
    return IsExistingItem(node, column) ? 1 : 7;
}

COLORREF CIChList::OnGetCellTextColor(int row, int column) {
    // Selected rows keep the system's selection colours.
    if (GetItemState(row, LVIS_SELECTED))
        return CLR_DEFAULT;
    return GetListColor(GetColorClass(row, column));
}

COLORREF CIChList::OnGetCellBkColor(int row, int column) {
    if (GetItemState(row, LVIS_SELECTED))
        return CLR_DEFAULT;
    COLORREF c = GetListColor(GetColorClass(row, column) + 1);
    if (column != GetSortColumn())
        return c;
    COLORREF out = c & 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        int b = (c >> shift) & 0xFF;
        out |= (COLORREF)(b < 21 ? 0 : b - 20) << shift;
    }
    return out;
}

HFONT CIChList::OnGetCellFont(int row, int) {
    CIChNode* node = GetRowNode(row);
    return node && IsItemBold(node) ? m_hBoldFont : m_hNormalFont;
}

BOOL CIChList::OnGetItemTip(int row, int, std::wstring& text) {
    CIChNode* node = GetRowNode(row);
    return node && GetItemTip(node, text) ? TRUE : FALSE;
}

// ---- header ------------------------------------------------------------------------------------------

BOOL CIChList::CanTrackColumn(int column) { return column >= 0 && GetColumnWidth(column) > 0; }
BOOL CIChList::CanDragColumn(int column) { return column >= 0 && GetColumnWidth(column) > 0; }

namespace {
// The subclassed headers of the lists and their lists (UI thread only). The header's procedure is
// replaced by hand rather than through the common controls' subclassing, which looks its data up
// by a window property on every message: under Wine a request to the server, and the list control
// asks its header for every row when it changes the state of all of them (a select-all of 100 000
// rows cost seconds).
std::unordered_map<HWND, CIChList*>& HeaderMap() {
    static std::unordered_map<HWND, CIChList*> map;
    return map;
}
} // namespace

void CIChList::AttachHeader() {
    m_pfnHeaderProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(m_hHeader, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CIChList::HeaderProc)));
    HeaderMap()[m_hHeader] = this;
}

void CIChList::RestoreHeaderProc(HWND header) {
    HeaderMap().erase(header);
    // Given back only while it is still the header's procedure (nothing subclassed it after us).
    if (m_pfnHeaderProc &&
        ::GetWindowLongPtrW(header, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CIChList::HeaderProc))
        ::SetWindowLongPtrW(header, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnHeaderProc));
}

LRESULT CALLBACK CIChList::HeaderProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto it = HeaderMap().find(h);
    CIChList* list = it == HeaderMap().end() ? nullptr : it->second;
    WNDPROC next = list ? list->m_pfnHeaderProc : nullptr;
    if (!next)
        return ::DefWindowProcW(h, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        list->RestoreHeaderProc(h);
        if (list->m_hHeader == h)
            list->m_hHeader = nullptr;
        return ::CallWindowProcW(next, h, msg, wp, lp);
    }
    try {
        if (list->m_hHeader == h && list->OnHeaderMessage(msg, wp, lp))
            return 1;
    } catch (...) {
        // A failed header menu leaves the header as it was.
    }
    return ::CallWindowProcW(next, h, msg, wp, lp);
}

int CIChList::OnHeaderMessage(UINT msg, WPARAM, LPARAM lp) {
    if (msg == WM_RBUTTONUP) {
        ::SetFocus(m_hWnd);
        // The column whose item holds the point (a point near a divider belongs to its own item).
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        int n = Header_GetItemCount(m_hHeader);
        for (int i = 0; i < n; ++i) {
            RECT rc;
            if (Header_GetItemRect(m_hHeader, i, &rc) && ::PtInRect(&rc, pt)) {
                ShowHeaderMenu(i, pt);
                break;
            }
        }
        return 0;
    }
    if (msg == WM_SETCURSOR) {
        // The header is no window of the layer: while the list is busy it shows the wait cursor
        // as the list does.
        if (KvUi::CWaitCursor::OnSetCursor(m_hHeader))
            return 1;
        POINT pt;
        ::GetCursorPos(&pt);
        ::ScreenToClient(m_hHeader, &pt);
        HDHITTESTINFO hi = {};
        hi.pt = pt;
        int item = (int)::SendMessageW(m_hHeader, HDM_HITTEST, 0, (LPARAM)&hi);
        HCURSOR cursor = nullptr;
        if (item >= 0 && (hi.flags & HHT_ONDIVIDER) && GetColumnWidth(item) > 0) {
            cursor = ::LoadCursorW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDC_LIST_DIVIDER));
            if (!cursor)
                cursor = ::LoadCursorW(nullptr, IDC_SIZEWE);
        }
        ::SetCursor(cursor ? cursor : ::LoadCursorW(nullptr, IDC_ARROW));
        return 1;
    }
    return 0;
}

void CIChList::ShowHeaderMenu(int column, POINT pt) {
    m_nMenuColumn = column;
    ::SetFocus(m_hWnd);
    HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDR_LIST_HEADER));
    if (!menu)
        return;
    ::ClientToScreen(m_hHeader, &pt);
    KvUi::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, CommandWnd());
    ::DestroyMenu(menu);
}

void CIChList::PopupMenu(HMENU menu, LPARAM lp) {
    POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
    if (lp == -1) {
        pt = {0, 0};
        int first = GetNextItem(-1, LVNI_SELECTED);
        RECT rc;
        if (first >= 0 && GetItemRect(first, &rc, LVIR_BOUNDS))
            pt = {rc.left + 16, rc.bottom};
        ::ClientToScreen(m_hWnd, &pt);
    }
    KvUi::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, CommandWnd());
}

void CIChList::DetachHeader() {
    if (!m_hWnd || !m_hHeader)
        return;
    RestoreHeaderProc(m_hHeader);
    SaveColumnState();
    m_hHeader = nullptr;
}

// ---- header commands -------------------------------------------------------------------------------

void CIChList::OnHeaderSort(bool ascending) {
    if (!HasFocus())
        return;
    int column = m_nMenuColumn;
    if (GetSortColumn() == column && (IsAscending() != FALSE) == ascending) {
        Sort(-1, TRUE);
        Refill(nullptr);
    } else {
        Sort(column, ascending ? TRUE : FALSE);
    }
}

void CIChList::OnSortAscending() { OnHeaderSort(true); }
void CIChList::OnSortDescending() { OnHeaderSort(false); }

void CIChList::OnAutoFit() {
    if (HasFocus() && m_nMenuColumn >= 0 && m_nMenuColumn < GetColumnCount())
        SetColumnWidth(m_nMenuColumn, LVSCW_AUTOSIZE_USEHEADER);
}

void CIChList::OnHideColumn() {
    if (HasFocus() && m_nMenuColumn >= 0 && m_nMenuColumn < GetColumnCount())
        SetColumnWidth(m_nMenuColumn, 0);
}

void CIChList::OnColumns() {
    if (HasFocus())
        RunColumnDialog();
}

void CIChList::OnDefaults() {
    if (!HasFocus())
        return;
    int n = GetColumnCount();
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) {
        order[i] = i;
        if (i < (int)m_defaultWidths.size())
            SetColumnWidth(i, m_defaultWidths[i]);
    }
    SetColumnOrderArray(order);
    Invalidate(TRUE);
}

void CIChList::OnUpdateSortAscending(KvUi::CCmdUI* pCmdUI) {
    if (!HasFocus())
        return pCmdUI->ContinueRouting();
    pCmdUI->Enable(GetItemCount() > 1);
    pCmdUI->SetCheck(GetSortColumn() == m_nMenuColumn && IsAscending());
}

void CIChList::OnUpdateSortDescending(KvUi::CCmdUI* pCmdUI) {
    if (!HasFocus())
        return pCmdUI->ContinueRouting();
    pCmdUI->Enable(GetItemCount() > 1);
    pCmdUI->SetCheck(GetSortColumn() == m_nMenuColumn && !IsAscending());
}

void CIChList::OnUpdateAutoFit(KvUi::CCmdUI* pCmdUI) {
    if (!HasFocus())
        return pCmdUI->ContinueRouting();
    pCmdUI->Enable(GetItemCount() > 0);
}

void CIChList::OnUpdateHideColumn(KvUi::CCmdUI* pCmdUI) {
    if (!HasFocus())
        return pCmdUI->ContinueRouting();
    int shown = 0;
    for (int i = 0; i < GetColumnCount(); ++i)
        shown += GetColumnWidth(i) > 0;
    pCmdUI->Enable(shown > 1);
}

void CIChList::OnUpdateAlways(KvUi::CCmdUI* pCmdUI) {
    if (!HasFocus())
        return pCmdUI->ContinueRouting();
    pCmdUI->Enable(TRUE);
}

int CIChList::RunColumnDialog() {
    int n = GetColumnCount();
    std::vector<int> order = GetColumnOrderArray();
    if ((int)order.size() != n)
        return 0;
    KvUi::CHeaderCtrl& header = GetHeaderCtrl();
    std::vector<CListColumn> records(n);
    for (int p = 0; p < n; ++p) {
        int column = order[p];
        int width = GetColumnWidth(column);
        CListColumn& r = records[p];
        r.name = header.GetItemText(column).substr(0, 255);
        r.visible = width > 0;
        r.width = width > 0 ? width : (column < (int)m_defaultWidths.size() ? m_defaultWidths[column] : 100);
        r.index = p;
    }
    int ok = RunColumnsDialog(m_hWnd, records);
    ::SetFocus(m_hWnd);
    if (!ok)
        return 0;
    std::vector<int> next(n);
    for (int p = 0; p < n; ++p) {
        CListColumn& r = records[p];
        r.index = order[r.index];
        next[p] = r.index;
        SetColumnWidth(r.index, r.visible ? (r.width & 0xFFFF) : 0);
    }
    SetColumnOrderArray(next);
    Invalidate(TRUE);
    return 1;
}

// ---- column state -----------------------------------------------------------------------------------

namespace {
std::wstring StateName(int id) { return L"List" + std::to_wstring(id); }
} // namespace

int CIChList::SaveColumnState() {
    KvUi::CWinApp* app = KvUi::AfxGetApp();
    if (!m_hWnd || !app)
        return 0;
    CListColumnState state;
    int n = GetColumnCount();
    state.sortColumn = GetSortColumn();
    state.ascending = IsAscending() ? 1 : 0;
    for (int i = 0; i < n; ++i)
        state.widths.push_back(GetColumnWidth(i));
    state.order = GetColumnOrderArray();
    if ((int)state.order.size() != n)
        return 0;
    std::vector<BYTE> data = state.Pack();
    return app->WriteProfileBinary(L"", StateName(m_nListId).c_str(), data.data(), (UINT)data.size()) ? 1 : 0;
}

int CIChList::LoadColumnState() {
    m_loadedState.clear();
    if (KvUi::CWinApp* app = KvUi::AfxGetApp())
        if (!app->GetProfileBinary(L"", StateName(m_nListId).c_str(), m_loadedState))
            m_loadedState.clear();
    return 1;
}

void CIChList::ApplyColumnState() {
    int n = GetColumnCount();
    if (m_defaultWidths.empty())
        for (int i = 0; i < n; ++i)
            m_defaultWidths.push_back(GetColumnWidth(i));
    if (m_loadedState.empty())
        return;
    CListColumnState state;
    if (state.Parse(m_loadedState, n)) {
        m_sortKeys.clear();
        if (state.sortColumn >= 0)
            m_sortKeys.push_back({state.sortColumn, state.ascending ? TRUE : FALSE});
        ShowSortMarks();
        for (int i = 0; i < n; ++i)
            SetColumnWidth(i, state.widths[i] & 0xFFFF);
        SetColumnOrderArray(state.order);
    }
    m_loadedState.clear();
}

// ---- find ----------------------------------------------------------------------------------------------

int CIChList::CanFind() const { return m_hWnd && ::IsWindowVisible(m_hWnd) && HasFocus() && GetItemCount() > 0; }

int CIChList::CanFindNext() const { return CanFind() && !m_find.text.empty(); }

namespace {
void RefreshColumns(CIChList& list, CListFindState& find) {
    int n = list.GetColumnCount();
    find.columns.resize(n);
    KvUi::CHeaderCtrl& header = list.GetHeaderCtrl();
    for (int i = 0; i < n; ++i) {
        find.columns[i].name = header.GetItemText(i).substr(0, 255);
        find.columns[i].index = i;
        find.columns[i].visible = list.GetColumnWidth(i) >= 1;
        find.columns[i].width = list.GetColumnWidth(i);
    }
}
} // namespace

void CIChList::AskRestart() {
    if (KvUi::ShowMessage(m_hWnd, KvUi::LoadStr(IDS_LIST_NOT_FOUND), nullptr, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return;
    SetSelectionMark(-1);
    ::PostMessageW(CommandWnd(), WM_COMMAND, ID_FIND_NEXT, 0);
}

void CIChList::Find() {
    if (!m_hWnd)
        return;
    RefreshColumns(*this, m_find);
    int ok = ShowFindDialog(m_hWnd, m_find);
    // The search goes on in this list, wherever the closed dialog left the focus.
    ::SetFocus(m_hWnd);
    if (!ok)
        return;
    int r = Search();
    if (r < 0) {
        AskRestart();
        return;
    }
    SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetItemState(r, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EnsureVisible(r, FALSE);
    SetSelectionMark(r);
    FoundRowSelected();
}

void CIChList::FoundRowSelected() {
    // The status line and the relation pane follow the found row as they follow a click, also when
    // the closing dialog has not given the focus back to the list yet (its row changes then start
    // no timer).
    StartStatusTimer(400);
}

void CIChList::FindNext() {
    if (!m_hWnd || m_find.text.empty() || m_find.columns.empty())
        return;
    RefreshColumns(*this, m_find);
    for (const CListColumn& c : m_find.columns)
        if (!c.visible && !m_find.column.empty() && c.name == m_find.column) {
            // The search column has been hidden: ask again.
            ::PostMessageW(CommandWnd(), WM_COMMAND, ID_FIND, 0);
            return;
        }
    int previous = GetSelectionMark();
    int r = Search();
    if (r < 0) {
        AskRestart();
        return;
    }
    // From the top again (no mark), the search starts over as a new one: no old match stays selected.
    SetItemState(previous, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetItemState(r, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EnsureVisible(r, FALSE);
    SetSelectionMark(r);
    FoundRowSelected();
}

int CIChList::Search() const {
    if (!m_hWnd || m_find.text.empty())
        return -1;
    int column = -1;
    if (!m_find.column.empty())
        for (const CListColumn& c : m_find.columns)
            if (c.name == m_find.column) {
                column = c.index;
                break;
            }
    const std::wstring want = m_find.matchCase ? m_find.text : KvBase::UpperCase(m_find.text);
    auto matches = [&](int item, int col) {
        std::wstring cell(GetCellText(SourceRowOf(item), col));
        if (!m_find.matchCase)
            cell = KvBase::UpperCase(std::move(cell));
        return m_find.wholeValue ? cell == want : cell.find(want) != std::wstring::npos;
    };
    int mark = GetSelectionMark();
    int n = (int)m_order.size();
    for (int i = mark < 0 ? 0 : mark + 1; i < n; ++i) {
        if (column >= 0) {
            if (matches(i, column))
                return i;
            continue;
        }
        for (const CListColumn& c : m_find.columns)
            if (c.visible && matches(i, c.index))
                return i;
    }
    return -1;
}
