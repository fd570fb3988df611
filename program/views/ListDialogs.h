// The two modal dialogs of the lists: which columns are shown, in which order and how wide
// (dlgColumns, template 7003), and what a search looks for (dlgFinding, template 7009). Both work
// on records the list lends them and never touch the list itself.
#pragma once

#include "IChList.h"

#include <kvui/kvui.h>

#include <vector>

class dlgColumns : public KvUi::CDialog {
public:
    // The records in display order; each record's index is its position in the array.
    dlgColumns(HWND parent, std::vector<CListColumn>& records);
    BOOL OnInitDialog() override;
    void OnOK() override;

    // What the lists hold now (tests read them): record indexes in list order.
    std::vector<int> GetVisible() const { return Items(m_wndVisible); }
    std::vector<int> GetHidden() const { return Items(m_wndHidden); }

    KvUi::CListBox m_wndHidden, m_wndVisible;
    KvUi::CImageButton m_btnInclude, m_btnIncludeAll, m_btnExclude, m_btnExcludeAll, m_btnUp, m_btnDown;
    KvUi::CSpinButtonCtrl m_wndSpin;

    void OnInclude();
    void OnIncludeAll();
    void OnExclude();
    void OnExcludeAll();
    void OnUp();
    void OnDown();
    void OnVisibleSelChange();
    void OnWidthChange();

protected:
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    static std::vector<int> Items(const KvUi::CListBox& box);
    static void AddItem(KvUi::CListBox& box, const CListColumn& record, int index);
    // Moves the item at a place of one list to the end of the other; its record index.
    static int MoveItem(KvUi::CListBox& from, int place, KvUi::CListBox& to, const std::vector<CListColumn>& records);
    void ShowWidth();
    // Moves the selected visible item one place up (-1) or down (1).
    void Move(int delta);
    // The enabling of every button from the lists' state.
    void UpdateButtons();
    void Focus(int id) { GotoDlgCtrl(GetDlgItem(id)); }

    std::vector<CListColumn>& m_records;
    bool m_bShowingWidth = false;
    KV_DECLARE_MESSAGE_MAP()
};

class dlgFinding : public KvUi::CDialog {
public:
    dlgFinding(HWND parent, CListFindState& state);
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnTextChange();
    void OnInColumn();

    KvUi::CComboBox m_wndColumn;

protected:
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    CListFindState& m_state;
    KV_DECLARE_MESSAGE_MAP()
};

// The column dialog over the records: 1 on OK (the records rewritten, visible ones first).
int RunColumnsDialog(HWND parent, std::vector<CListColumn>& records);
// The find dialog over the find state: 1 on OK (text, column name and options rewritten).
int ShowFindDialog(HWND parent, CListFindState& state);
