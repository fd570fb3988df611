// The docking pane "Зависимости" at the bottom of the main window: the objects related to the
// nodes it is given (everything above and below them, each once, ordered by kind), filtered by
// the relation category mask (bit 0 resources ... bit 4 subjects), with a toolbar of the five
// categories.
#pragma once

#include "IChList.h"

#include <kvui/kvui.h>

class COutputBar;

// The relation list (id 100): one row per related object. Activating a row posts the go-to-tree
// command to the main window; its context menu is menu 210.
class CRelationList : public CIChList {
public:
    COutputBar* m_pBar = nullptr;
    // The kind text of the "Тип" column.
    static const wchar_t* KindText(int kind);

protected:
    void InsertColumns() override;
    int FillItems(CIChNode* data) override;
    void GetNodeText(CIChNode* node, int column, std::wstring& text) override;
    void GetSortKey(CIChNode* node, int column, CListSortKey& key) override;
    int OnItemActivate(int item, int byTimer) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The client of the bar: the toolbar on top, the list below in a one-pixel frame.
class CRelationPanel : public KvUi::CPassOnWnd {
public:
    COutputBar* m_pBar = nullptr;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

class COutputBar : public KvUi::CDockPane {
public:
    BOOL CreateBar(KvUi::CFrameWnd* frame, UINT nID, int height, IModelViewHost* host = nullptr);
    // Shows the objects related to the nodes (null empties the pane).
    void ShowRelations(const CIChNodeList* nodes);
    void SetCategoryFilter(int mask);
    int GetCategoryFilter() const { return m_nCategoryMask; }
    const CIChNodeList& GetShownNodes() const { return m_shown; }
    // Lays the toolbar and the list out in the panel.
    void Layout();

    // Commands go to the relation list first, then to the pane's own map.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) override;

    CRelationList m_wndList;
    KvUi::CToolBar m_wndToolBar;
    CRelationPanel m_wndPanel;
    // Where the list's commands are offered (the list itself; tests may put a target of theirs).
    KvUi::CCmdTarget* m_pListTarget = &m_wndList;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void Fill();
    int m_nCategoryMask = 31;
    CIChNodeList m_shown;   // the nodes whose relations are shown
    bool m_bFilled = false; // the rows show the kept list
};
