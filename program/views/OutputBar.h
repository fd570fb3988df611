// The docking pane "Зависимости" at the bottom of the main window: the objects related to the
// nodes it is given, filtered by the relation category mask (bit 0 resources ... bit 4 subjects).
#pragma once

#include "IChNode.h"

#include <kvui/kvui.h>

// The relation list: one row per related object, the node as the row's data. Activating a row
// posts the go-to-tree command to the main window; its context menu is menu 210.
class CRelationList : public KvUi::CListCtrl {
public:
    CIChNode* GetRowNode(int row) const { return reinterpret_cast<CIChNode*>(GetItemData(row)); }
    int GetSelectedCount() const { return (int)SendMessage(LVM_GETSELECTEDCOUNT); }
    int GetSelectionMark() const { return (int)SendMessage(LVM_GETSELECTIONMARK); }
};

class COutputBar : public KvUi::CDockPane {
public:
    BOOL CreateBar(KvUi::CFrameWnd* frame, UINT nID, int height);
    // Shows the objects related to the nodes (null empties the pane).
    void ShowRelations(const CIChNodeList* nodes);
    void SetCategoryFilter(int mask);
    int GetCategoryFilter() const { return m_nCategoryMask; }

    // Commands go to the relation list first, then to the pane's own map.
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) override;

    CRelationList m_wndList;
    // Where the list's commands are offered (the list itself; tests may put a target of theirs).
    KvUi::CCmdTarget* m_pListTarget = &m_wndList;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void Fill();
    int m_nCategoryMask = 31;
    CIChNodeList m_shown;   // the nodes whose relations are shown
};
