// The frame's right-hand view pane (the child with id AFX_IDW_PANE_FIRST) and the interface of
// the list viewers it shows, one per tree kind. Commands go to the shown viewer first, then to the
// pane's own map.
#pragma once

#include "IChNode.h"

#include <kvui/kvui.h>

#include <map>

class CIChViewer : public KvUi::CCmdTarget {
public:
    // The viewer's list window.
    virtual HWND GetWnd() = 0;
    // Fills the viewer with the node's rows (null: its current node again).
    virtual void Refresh(CIChNode* node) = 0;
    // Appends the nodes of the selected rows in row order; their count.
    virtual int GetSelectedNodes(CIChNodeList& list) = 0;
};

class CIChMainViewer : public KvUi::CWnd {
public:
    BOOL CreateViewer(KvUi::CWnd* parent);
    // A viewer for the nodes of a tree kind (1-10); not owned.
    void RegisterViewer(int kind, CIChViewer* viewer);
    // Shows the viewer of the node's kind, hiding the previous one, and fills it with the node.
    void ShowNode(CIChNode* node);
    CIChViewer* GetActiveViewer() const { return m_pActive; }
    CIChNode* GetShownNode() const { return m_pShown; }

    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    std::map<int, CIChViewer*> m_viewers;
    CIChViewer* m_pActive = nullptr;
    CIChNode* m_pShown = nullptr;
};
