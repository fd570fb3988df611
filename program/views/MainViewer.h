// The frame's right-hand view pane (the child with id AFX_IDW_PANE_FIRST) and the interface of
// the list viewers it shows, one per tree kind. Commands go to the shown viewer first, then to the
// pane's own map.
#pragma once

#include "IChNode.h"
#include "ViewHost.h"

#include <kvui/kvui.h>

#include <map>
#include <memory>
#include <vector>

class CIChViewer {
public:
    virtual ~CIChViewer() = default;
    // Fills the viewer with the node's rows; Refresh does it again (null: its current data).
    virtual void Fill(CIChNode* node) = 0;
    virtual void Clear() = 0;
    virtual void Refresh(CIChNode* node) = 0;
    // Creates the viewer's window in the pane: non-zero on success.
    virtual int Create(KvUi::CWnd* parent) = 0;
    // The viewer's list window.
    virtual HWND GetWnd() = 0;
    // Where commands for the viewer go (its list).
    virtual KvUi::CCmdTarget* GetCmdTarget() = 0;
    // Appends the nodes of the selected rows in row order; the size of the list.
    virtual int GetSelectedNodes(CIChNodeList& list) = 0;
    // Rewrites or redraws the node's row after a command changed the node: 0 when updated.
    virtual int UpdateItem(CIChNode*) { return 1; }

    // With a node: fill under a wait cursor and remember the node; then show the window.
    void Show(CIChNode* node);
    // Hide the window, clear the rows, forget the node.
    void Hide();
    // No node: Hide; else refresh with the node and remember it.
    void Update(CIChNode* node);
    CIChNode* GetCurrentNode() const { return m_pCurrentNode; }

protected:
    CIChNode* m_pCurrentNode = nullptr;
};

class CIChMainViewer : public KvUi::CWnd {
public:
    ~CIChMainViewer() override;
    // Creates the pane and its five list viewers (the host serves the lists).
    BOOL CreateViewer(KvUi::CWnd* parent, IModelViewHost* host = nullptr);
    int CreateViewers();
    // Registers a viewer under a kind: 0 when the kind has one already.
    int AddViewer(int kind, CIChViewer* viewer);
    // Puts a viewer (not owned) under a kind, replacing any other.
    void RegisterViewer(int kind, CIChViewer* viewer) { m_viewers[kind] = viewer; }
    CIChViewer* FindViewer(CIChNode* node) const;
    // Shows the viewer of the node's kind, hiding the previous one, and fills it with the node.
    void ShowNode(CIChNode* node);
    // The nodes are about to be freed: no viewer keeps a row or a current node among them.
    void ForgetNodes(const CIChNodeList& nodes);
    // Applies the grid-lines setting to every viewer.
    void SetGridLines(int on);
    CIChViewer* GetActiveViewer() const { return m_pActive; }
    CIChNode* GetShownNode() const { return m_pActive ? m_pActive->GetCurrentNode() : nullptr; }
    // The viewer registered under a kind (null: none).
    CIChViewer* GetViewer(int kind) const;

    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    std::map<int, CIChViewer*> m_viewers;
    std::vector<std::unique_ptr<CIChViewer>> m_owned;
    CIChViewer* m_pActive = nullptr;
    IModelViewHost* m_pHost = nullptr;
};
