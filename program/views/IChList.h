// The report list under every list viewer and under the relation pane. Its rows live in the
// program (an owner-data list): each row is a node, the cells are asked of the derived list as
// they are drawn, and sorting compares keys made once per column and fill. It adds row colour
// classes (normal, error, not under control, not existing) with the sort column darkened, a bold
// font for some rows, the column state kept in the profile ("List<id>"), the header menu 7000,
// a refill that keeps the sort and the selection, the search of commands 7006/7007, and the
// list-position text of the status line.
#pragma once

#include "IChNode.h"
#include "NodeImageList.h"
#include "ViewHost.h"

#include <kvui/kvui.h>

#include <string>
#include <vector>

// A column as the column and find dialogs see it.
struct CListColumn {
    std::wstring name;
    int index = 0; // the header index, or a display position, as each user says
    int visible = 0;
    int width = 0;
};

// What a search looks for; kept per list between searches.
struct CListFindState {
    std::vector<CListColumn> columns; // made on the first search
    std::wstring column;              // the search column's name (empty: any column)
    std::wstring text;
    int matchCase = 0;
    int wholeValue = 0;
};

// A key of one row in one column: the number first, then the bytes (a sort key of the text).
struct CListSortKey {
    long long number = 0;
    std::string bytes;
};

// The column state as kept in the profile: sort column, ascending, N, N widths by column, the
// display order. Parse refuses a value that is not whole (length, order, sort column).
struct CListColumnState {
    int sortColumn = -1;
    int ascending = 1;
    std::vector<int> widths;
    std::vector<int> order;
    std::vector<BYTE> Pack() const;
    bool Parse(const std::vector<BYTE>& data, int columnCount);
};

// The list position of the status line (IDS_LIST_POSITION): the focused row's number, the number of
// rows and the number of selected rows, six digits each at least. The frame sizes the pane with the
// text of zeros, so the pane and its text come from one pattern.
std::wstring ListPositionText(int position, int count, int selected);

class CIChList : public KvUi::CListCtrl, protected KvUi::IListRowSource {
public:
    static constexpr UINT_PTR kStatusTimer = 123;
    CIChList();
    ~CIChList() override;

    // Creates the list in the parent's client area with the id (which names the profile value and
    // the context menus): 1, or 0 when the control cannot be made.
    virtual int Create(KvUi::CWnd* parent, int id);
    int GetListId() const { return m_nListId; }
    void SetHost(IModelViewHost* host) { m_pHost = host; }
    IModelViewHost* GetHost() const { return m_pHost; }
    void SetGridLines(int on);
    int GetGridLines() const { return m_bGrid; }

    // Refills the rows from the node (null: the current data again), keeping sort and selection.
    int Refill(CIChNode* data = nullptr);
    CIChNode* GetData() const { return m_pData; }
    // Forgets the node the rows were filled from (it is about to be freed) and empties the list.
    void Clear();

    // Rows.
    int GetRowCount() const override { return (int)m_rows.size(); }
    // The node shown at a display index (null outside the list).
    CIChNode* GetRowNode(int item) const;
    // The display index of the node's row, -1 when none shows it.
    int FindRow(const CIChNode* node) const;
    // The selected display indexes, ascending.
    int GetSelectedItems(std::vector<int>* rows) const;
    int SelectAll();

    // Sorting: column -7 repeats the current column and direction.
    void Sort(int column, BOOL bAscending = TRUE, BOOL bAdd = FALSE) override;

    // Search (commands 7006 and 7007 on the focused list).
    int CanFind() const;
    int CanFindNext() const;
    void Find();
    void FindNext();
    // The first row after the selection mark that matches the find state, -1 when none.
    int Search() const;
    CListFindState m_find;

    // The column state to and from the profile; the header's own state.
    int SaveColumnState();
    int LoadColumnState();
    void ApplyColumnState();
    std::vector<int> GetDefaultWidths() const { return m_defaultWidths; }

    // The header commands 7000-7005 for a column (as the header menu gives them).
    void SetMenuColumn(int column) { m_nMenuColumn = column; }
    int GetMenuColumn() const { return m_nMenuColumn; }
    // Runs the column dialog and applies its answer; 1 when it was applied.
    int RunColumnDialog();

    // The list colour of the settings, index 1-8; 0 for any other.
    virtual COLORREF GetListColor(int index);
    // The colour class of a display row: 1 normal, 3 error, 5 not under control, 7 not existing.
    int GetColorClass(int item, int column);
    // Whether a display row is drawn in the bold font.
    int IsBoldRow(int item) {
        CIChNode* node = GetRowNode(item);
        return node && IsItemBold(node);
    }

    // Fires the status timer's work now (tests and the timer).
    void OnStatusTimer();

protected:
    // ---- what the derived lists supply ----
    virtual void InsertColumns() {}
    // Fills the rows (AddRow) from the data; the result is the caller's.
    virtual int FillItems(CIChNode* data) { return 0; }
    virtual int UpdateItem(CIChNode* node) { return 0; }
    virtual int GetItemTip(CIChNode* node, std::wstring& text) { return 0; }
    virtual int IsItemBold(CIChNode* node) { return 0; }
    virtual int IsErrorItem(CIChNode* node, int column) { return 0; }
    virtual int IsUncontrolledItem(CIChNode* node, int column) { return 0; }
    virtual int IsExistingItem(CIChNode* node, int column) { return 1; }
    virtual int GetContextMenuId() { return m_nListId; }
    virtual int OnItemActivate(int item, int byTimer) { return 0; }
    // A cell's text (column 0: the row's name).
    virtual void GetNodeText(CIChNode* node, int column, std::wstring& text) = 0;
    // A row's sort key in a column; untouched keys compare equal.
    virtual void GetSortKey(CIChNode* node, int column, CListSortKey& key) {}
    virtual void ShowHeaderMenu(int column, POINT pt);
    virtual int OnHeaderMessage(UINT msg, WPARAM wp, LPARAM lp);

    // Helpers of the derived lists.
    void AddRow(CIChNode* node) { m_rows.push_back(node); }
    void AddColumn(int index, const wchar_t* heading, int width, int fmt = LVCFMT_LEFT);
    // A text key in the user's locale order (ignoreCase: without regard to case).
    static void TextKey(const std::wstring& text, bool ignoreCase, CListSortKey& key);
    // Shows the menu's first submenu, owned by the main window, at the point of a WM_CONTEXTMENU
    // (from the keyboard: below the first selected row, else at the client origin).
    void PopupMenu(HMENU menu, LPARAM lp);
    // After a row's cells changed: redraw it, and re-sort when the list is sorted.
    void RowChanged(int item);
    std::vector<CIChNode*> m_rows; // the source rows in fill order
    CIChNode* m_pData = nullptr;
    IModelViewHost* m_pHost = nullptr;

    // ---- row source ----
    std::wstring_view GetCellText(int row, int column) const override;
    int GetCellImage(int row, int column) const override;
    LPARAM GetRowData(int row) const override { return reinterpret_cast<LPARAM>(m_rows[row]); }
    int CompareRows(int row1, int row2, int column) const override;

    // ---- control hooks ----
    COLORREF OnGetCellTextColor(int row, int column) override;
    COLORREF OnGetCellBkColor(int row, int column) override;
    HFONT OnGetCellFont(int row, int column) override;
    BOOL OnGetItemTip(int row, int column, std::wstring& text) override;
    BOOL CanTrackColumn(int column) override;
    BOOL CanDragColumn(int column) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PostNcDestroy() override;

    void StartStatusTimer(UINT ms);
    void DetachHeader();
    HWND CommandWnd() const;
    // Asks whether to search again from the top; on Yes, posts 7007.
    void AskRestart();
    // After a search selected its row: the status timer, whatever holds the focus.
    void FoundRowSelected();

    // Handlers.
    void OnSortAscending();
    void OnSortDescending();
    void OnAutoFit();
    void OnHideColumn();
    void OnColumns();
    void OnDefaults();
    void OnUpdateSortAscending(KvUi::CCmdUI* pCmdUI);
    void OnUpdateSortDescending(KvUi::CCmdUI* pCmdUI);
    void OnUpdateAutoFit(KvUi::CCmdUI* pCmdUI);
    void OnUpdateHideColumn(KvUi::CCmdUI* pCmdUI);
    void OnUpdateAlways(KvUi::CCmdUI* pCmdUI);
    BOOL OnItemChanged(NMHDR* hdr, LRESULT* pResult);
    BOOL OnItemActivateNotify(NMHDR* hdr, LRESULT* pResult);
    void OnHeaderSort(bool ascending);
    bool HasFocus() const { return m_hWnd && ::GetFocus() == m_hWnd; }
    static LRESULT CALLBACK HeaderProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    // The header's procedure replaced by HeaderProc (the list entered in the header map), and back.
    void AttachHeader();
    void RestoreHeaderProc(HWND header);
    WNDPROC m_pfnHeaderProc = nullptr;

    int m_nListId = 0;
    int m_bGrid = 0;
    int m_nMenuColumn = 0;
    HWND m_hHeader = nullptr; // subclassed while set
    HFONT m_hNormalFont = nullptr;
    HFONT m_hBoldFont = nullptr;
    CNodeImageList m_images;
    std::vector<int> m_defaultWidths;
    std::vector<BYTE> m_loadedState;
    mutable std::wstring m_cell;                           // the text GetCellText lends
    mutable std::vector<std::vector<CListSortKey>> m_keys; // per column, made on first use
    bool m_bQuiet = false;                                 // a bulk change runs: row notifications wait for its end

    KV_DECLARE_MESSAGE_MAP()
};
