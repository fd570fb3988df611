// The structure tree: the model from one start category, each object with the objects linked
// under it; history, drag-and-drop that links, renaming in place. Every item's data is a node: a
// model node or a CIChFolder. An index from node to its items is kept on every insert and delete.
#pragma once

#include "IChFolder.h"
#include "ViewHost.h"

#include <kvui/kvui.h>

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CIChDataModel;

class CIChModelView : public KvUi::CTreeCtrl {
public:
    CIChModelView();
    ~CIChModelView() override;

    // Creates the tree control (id 12) as a child of the parent.
    BOOL CreateTree(HWND parent, UINT nID, IModelViewHost* host);
    void SetHost(IModelViewHost* host) { m_pHost = host; }

    int BuildTree(CIChDataModel* model, int category);
    int ClearTree();
    int InsertNodeItem(CIChNode* node, HTREEITEM parent);
    // The first item at or below the start (TVI_ROOT: the whole tree) showing the node; with a
    // list every such item is appended and the first returned.
    HTREEITEM FindNodeItem(CIChNode* node, HTREEITEM start, std::vector<HTREEITEM>* list = nullptr);
    int SelectNode(CIChNode* node, HTREEITEM start);
    int RefreshNodeItems(CIChNode* node);
    int AddChildNodes(HTREEITEM item, const CIChNodeList& nodes);
    int ExcludeChildNodes(HTREEITEM item, const CIChNodeList& nodes);
    int ExcludeFromAllParents(const CIChNodeList& nodes);
    int DeleteNodes(CIChNodeList& nodes);
    CIChNode* GetSelectedNode() const;
    CIChNode* GetItemNode(HTREEITEM h) const { return h ? reinterpret_cast<CIChNode*>(GetItemData(h)) : nullptr; }
    int SetImageLists(UINT normalId, UINT stateId);
    // Icon number of a node in the tree's own list (no device-class images).
    static int GetItemImage(const CIChNode* node) { return GetNodeIconNumber(node); }
    // How many items show the node (from the index).
    size_t GetItemCountOf(CIChNode* node) const;

    // History.
    void RecordHistory(HTREEITEM item);
    void GoBack();
    void GoForward();
    void GoHome();
    void ClearHistory();
    bool CanGoBack() const { return !m_back.empty(); }
    bool CanGoForward() const { return !m_forward.empty(); }

    // Renaming: starts the edit of the selected item when the tree is editable and focused.
    void EditLabel();
    // A notification of this tree that its parent received, offered to the tree's reflected
    // entries (the parent's own reflection does this by itself).
    BOOL OnParentNotify(NMHDR* hdr, LRESULT* pResult);

    // Drag and drop (begin drag is the notification's; the rest are the tree's mouse messages).
    void OnBeginDrag(HTREEITEM item);
    bool IsDragging() const { return m_bDragging; }
    HTREEITEM GetDropTarget() const { return m_hDropTarget; }

    BOOL m_bEditable = FALSE;
    CIChFolder m_Root;
    CIChFolder m_Families[4];

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    HTREEITEM InsertOne(CIChNode* node, HTREEITEM parent, const std::wstring& text);
    BOOL DeleteItemIndexed(HTREEITEM h);
    void Unindex(HTREEITEM h);
    void SetItemLook(HTREEITEM h, CIChNode* node);
    void SelectHistoryItem(HTREEITEM h);
    void EndDrag(bool drop);
    void OnSelChanged(NMTREEVIEWW* tv);
    BOOL OnBeginLabelEdit(NMTVDISPINFOW* di);
    // The tree's own notifications, reflected from its parent; the result goes to the control.
    void OnReflectSelChanged(NMHDR* hdr, LRESULT* pResult);
    void OnReflectBeginDrag(NMHDR* hdr, LRESULT* pResult);
    void OnReflectBeginLabelEdit(NMHDR* hdr, LRESULT* pResult);
    void OnReflectEndLabelEdit(NMHDR* hdr, LRESULT* pResult);
    BOOL OnEndLabelEdit(NMTVDISPINFOW* di);
    bool IsAncestor(HTREEITEM ancestor, HTREEITEM item) const;
    CIChDataModel* Model() const;
    void SetModified();
    int BuildResourceTree(CIChDataModel* model, HTREEITEM root);

    std::vector<HTREEITEM> ItemsOf(CIChNode* node) const;

    IModelViewHost* m_pHost = nullptr;
    std::map<std::wstring, CIChFolder*> m_PathFolders; // (family digit + upper-cased path) -> owned folder
    std::vector<CIChFolder*> m_ExtraFolders;           // owned folders whose key was taken
    std::unordered_set<HTREEITEM> m_deleted;           // items deleted by the running operation
    bool m_bClearing = false;
    bool m_bBuilding = false;
    std::unordered_map<CIChNode*, std::vector<HTREEITEM>> m_Index;
    HIMAGELIST m_hNormal = nullptr;
    HIMAGELIST m_hState = nullptr;
    // History.
    std::vector<HTREEITEM> m_back, m_forward;
    HTREEITEM m_hHistoryCurrent = nullptr;
    bool m_bHistoryMove = false;
    // Drag.
    HIMAGELIST m_hDragImage = nullptr;
    HTREEITEM m_hDragItem = nullptr;
    HTREEITEM m_hDropTarget = nullptr;
    bool m_bDragging = false;
    CIChNode* m_pLastSelectedNode = nullptr;

    KV_DECLARE_MESSAGE_MAP()
};
