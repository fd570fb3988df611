// The report list and its header: columns with widths and display order, rows with texts of any
// length, item and sub-item images, states, selection mark, find by data, sorting (through a
// callback, or by columns with a sort mark), custom-drawn cell colours and fonts, info tips.
// In owner-data mode (LVS_OWNERDATA) the rows live in the program: the list asks a row source
// for what it shows and keeps only the display order of the rows.
#pragma once

#include "kvui/core.h"
#include "kvui/imagelist.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace KvUi {

// A header control; the header of a list is only wrapped (not bound to an object).
class CHeaderCtrl : public CWnd {
public:
    int GetItemCount() const { return Header_GetItemCount(m_hWnd); }
    // The item under a point in header coordinates (-1 none); flags get HHT_* values.
    int HitTest(POINT pt, UINT* pFlags = nullptr) const;
    BOOL GetItemRect(int i, RECT* rc) const { return Header_GetItemRect(m_hWnd, i, rc); }
    std::wstring GetItemText(int i) const;
    std::vector<int> GetOrderArray() const;
    BOOL SetOrderArray(const std::vector<int>& order);
    // The sort arrow of an item: 1 ascending, -1 descending, 0 none.
    void SetSortMark(int i, int direction);
};

// The rows of an owner-data list, kept by the program. Texts and data are read by row index of
// the source (the list maps its display order onto it).
class IListRowSource {
public:
    virtual ~IListRowSource() = default;
    virtual int GetRowCount() const = 0;
    // A cell's text; the view stays valid until the next call on this source.
    virtual std::wstring_view GetCellText(int row, int column) const = 0;
    // A cell's image (column 0: the row's image); -1 none.
    virtual int GetCellImage(int row, int column) const { return -1; }
    // The row's data (what FindItem looks for and comparisons receive).
    virtual LPARAM GetRowData(int row) const { return row; }
    // Order of two rows by a column (<0, 0, >0); by default the texts without regard to case.
    virtual int CompareRows(int row1, int row2, int column) const;
};

class CListCtrl : public CWnd {
public:
    CListCtrl() = default;

    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rc, CWnd* parent, UINT nID);
    void PreSubclassWindow() override;

    // Columns.
    int InsertColumn(int i, const std::wstring& heading, int fmt = LVCFMT_LEFT, int width = -1);
    BOOL DeleteColumn(int i) { return ListView_DeleteColumn(m_hWnd, i); }
    int GetColumnCount() const { return GetHeaderCtrl().GetItemCount(); }
    int GetColumnWidth(int col) const { return ListView_GetColumnWidth(m_hWnd, col); }
    BOOL SetColumnWidth(int col, int cx) { return ListView_SetColumnWidth(m_hWnd, col, cx); }
    std::vector<int> GetColumnOrderArray() const;
    BOOL SetColumnOrderArray(const std::vector<int>& order);
    CHeaderCtrl& GetHeaderCtrl() const;

    // Rows of a plain list.
    int InsertItem(int i, const std::wstring& text, LPARAM data = 0);
    int InsertItem(int i, const std::wstring& text, int image, LPARAM data);
    int InsertItem(const LVITEMW& it) { return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)&it); }
    BOOL DeleteItem(int i) { return ListView_DeleteItem(m_hWnd, i); }
    BOOL DeleteAllItems();
    BOOL SetItemText(int i, int sub, const std::wstring& text);
    // The whole text of a cell, however long.
    std::wstring GetItemText(int i, int sub) const;
    LPARAM GetItemData(int i) const;
    BOOL SetItemData(int i, LPARAM data);
    // Images of a row (sub 0) or of a cell (needs LVS_EX_SUBITEMIMAGES); -1 when there is none.
    BOOL SetItemImage(int i, int sub, int image);
    int GetItemImage(int i, int sub) const;
    int GetItemCount() const { return ListView_GetItemCount(m_hWnd); }

    // States and selection.
    UINT GetItemState(int i, UINT mask) const { return ListView_GetItemState(m_hWnd, i, mask); }
    BOOL SetItemState(int i, UINT state, UINT mask); // i = -1: every row
    int GetNextItem(int start, UINT flags) const { return ListView_GetNextItem(m_hWnd, start, flags); }
    int GetSelectedCount() const { return (int)SendMessage(LVM_GETSELECTEDCOUNT); }
    std::vector<int> GetSelectedItems() const; // ascending
    int GetSelectionMark() const { return (int)SendMessage(LVM_GETSELECTIONMARK); }
    int SetSelectionMark(int i) { return (int)SendMessage(LVM_SETSELECTIONMARK, 0, i); }
    BOOL EnsureVisible(int i, BOOL bPartialOK) { return ListView_EnsureVisible(m_hWnd, i, bPartialOK); }
    // The row that holds the data (first from start + 1), -1 when none.
    int FindItem(LPARAM data, int start = -1) const;

    // Geometry.
    BOOL GetItemRect(int i, RECT* rc, UINT code) const { return ListView_GetItemRect(m_hWnd, i, rc, code); }
    BOOL GetSubItemRect(int i, int sub, int code, RECT& rc) const;
    int HitTest(POINT pt, UINT* pFlags = nullptr) const;
    int SubItemHitTest(LVHITTESTINFO& hi) const { return (int)SendMessage(LVM_SUBITEMHITTEST, 0, (LPARAM)&hi); }
    int GetTopIndex() const { return ListView_GetTopIndex(m_hWnd); }
    int GetCountPerPage() const { return ListView_GetCountPerPage(m_hWnd); }

    // Styles and images.
    DWORD SetExtendedStyle(DWORD ex) { return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, ex); }
    // Changes only the bits of the mask.
    DWORD SetExtendedStyle(DWORD mask, DWORD ex) { return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, ex); }
    DWORD GetExtendedStyle() const { return (DWORD)SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE); }
    HIMAGELIST SetImageList(HIMAGELIST h, int type) { return ListView_SetImageList(m_hWnd, h, type); }
    HIMAGELIST GetImageList(int type) const { return ListView_GetImageList(m_hWnd, type); }

    // Redraw off while many rows change, on (and repainted) afterwards.
    void SetRedraw(BOOL bRedraw = TRUE);
    BOOL RedrawItems(int first, int last) { return ListView_RedrawItems(m_hWnd, first, last); }

    // Sorting through a callback on row data (plain lists) or on row indexes.
    BOOL SortItems(PFNLVCOMPARE pfn, LPARAM lParamSort) { return ListView_SortItems(m_hWnd, pfn, lParamSort); }
    BOOL SortItems(const std::function<int(LPARAM, LPARAM)>& compare);
    BOOL SortItemsEx(const std::function<int(int, int)>& compare);

    // Sorting by columns: Sort orders the rows by the column (with add and multiple sort on, the
    // column joins the earlier ones as a further key) and marks it in the header when asked to.
    // A click on a column header sorts by it (again: the other direction; with Shift: added).
    virtual void Sort(int column, BOOL bAscending = TRUE, BOOL bAdd = FALSE);
    // Compares two rows of a plain list by their data; owner-data lists ask the row source.
    virtual int OnCompareItems(LPARAM data1, LPARAM data2, int column) { return 0; }
    int GetSortColumn() const { return m_sortKeys.empty() ? -1 : m_sortKeys[0].column; }
    BOOL IsAscending() const { return m_sortKeys.empty() || m_sortKeys[0].ascending; }
    void EnableMarkSortedColumn(BOOL b = TRUE) { m_bMarkSorted = b; }
    void EnableMultipleSort(BOOL b = TRUE) { m_bMultipleSort = b; }
    // Forgets the sort keys (natural order at the next fill) and clears the marks.
    void ResetSort();

    // Owner data: the list shows the source's rows (LVS_OWNERDATA); after the source changes,
    // RowSourceChanged takes its new row count (the display order starts natural again).
    void SetRowSource(IListRowSource* source);
    IListRowSource* GetRowSource() const { return m_pSource; }
    void RowSourceChanged();
    // The source row shown at a display index (-1 outside the list).
    int SourceRowOf(int item) const;

    // Custom drawing of cells: colours (CLR_DEFAULT leaves the control's) and a font (null: the
    // control's).
    virtual COLORREF OnGetCellTextColor(int row, int column) { return CLR_DEFAULT; }
    virtual COLORREF OnGetCellBkColor(int row, int column) { return CLR_DEFAULT; }
    virtual HFONT OnGetCellFont(int row, int column) { return nullptr; }
    // Info tip of a row (needs LVS_EX_INFOTIP): TRUE with the text to show.
    virtual BOOL OnGetItemTip(int row, int column, std::wstring& text) { return FALSE; }
    // Whether the user may resize (track) or move (drag) a column of the header.
    virtual BOOL CanTrackColumn(int column) { return TRUE; }
    virtual BOOL CanDragColumn(int column) { return TRUE; }

    // Header clicks sort (off by default: a plain list needs an OnCompareItems to sort by).
    void EnableHeaderSort(BOOL b = TRUE) { m_bHeaderSort = b; }
    // Cell colours and fonts through custom draw (on by default); off leaves custom draw to the
    // list's parent.
    void EnableCellDraw(BOOL b = TRUE) { m_bCellDraw = b; }

    // Notifications the list handles itself (reflected from its parent): owner data, custom
    // draw, info tips, header clicks. FALSE lets the parent have them.
    BOOL OnReflectedNotify(NMHDR* hdr, LRESULT* pResult);

protected:
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void OnGetDispInfo(NMLVDISPINFOW* di);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* cd);
    int OnFindItem(NMLVFINDITEMW* fi);
    void SortNow();
    void ShowSortMarks();
    int CompareKeys(LPARAM a, LPARAM b, bool rows) const;

    struct SortKey {
        int column;
        BOOL ascending;
    };
    std::vector<SortKey> m_sortKeys;
    BOOL m_bMarkSorted = FALSE;
    BOOL m_bMultipleSort = FALSE;
    BOOL m_bHeaderSort = FALSE;
    BOOL m_bCellDraw = TRUE;
    IListRowSource* m_pSource = nullptr;
    std::vector<int> m_order;     // owner data: display index -> source row
    mutable CHeaderCtrl m_header; // wraps the list's header window
    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
