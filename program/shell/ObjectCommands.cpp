// The main window's object commands: create a node in a folder of the tree, link existing nodes,
// exclude nodes from their upper nodes, delete nodes (with their subordinates, pass by pass),
// open a node's properties, create a resource, task or group directly under a node, and flip the
// "Контролировать" and "Выполняемый" marks of resources. Each command comes in a tree variant
// (the base id, the tree's current node) and a list variant (base + 1, the selection of the
// active viewer's list while the list has the focus).
#include "MainFrm.h"

#include "DaVIdevaRez.h"
#include "dlgGroupTask.h"
#include "dlgJobSubject.h"
#include "dlgNodes.h"
#include "dlgResource.h"

#include "resource.h"

#include <valkit.h>

#include <unordered_set>

namespace {
const int kConfirmLinks = 2;
const int kConfirmDelete = 4;
const size_t kLargeSelection = 300;

int NodeLevel(const CIChNode* n) { return (n->GetType() - 1) / 2; }
} // namespace

// ---- common steps ---------------------------------------------------------------------------------

CIChViewer* CMainFrame::ActiveViewer() const { return m_wndView.m_hWnd ? m_wndView.GetActiveViewer() : nullptr; }

void CMainFrame::RebuildOrRefresh() {
    if (m_nCurrentCategory == ID_CATEGORY_RESOURCES)
        GetTree().BuildTree(&m_Model, m_nCurrentCategory);
    else
        RefreshActiveViewer();
}

void CMainFrame::RefreshActiveViewer() {
    // Its own node again: a delete has emptied every viewer's rows before the nodes were freed.
    if (CIChViewer* v = ActiveViewer())
        v->Refresh(v->GetCurrentNode());
}

void CMainFrame::UpdateNodeRow(CIChNode* node) {
    if (CIChViewer* v = ActiveViewer())
        v->UpdateItem(node);
}

int CMainFrame::GetListSelection(CIChNodeList& nodes) {
    nodes.clear();
    GetCurrentObject(&nodes);
    return (int)nodes.size();
}

CIChNode* CMainFrame::CommandNode(UINT id, UINT base) {
    if (id == base)
        return m_pCurrentNode;
    CIChNodeList nodes;
    return GetListSelection(nodes) > 0 ? nodes.front() : nullptr;
}

HTREEITEM CMainFrame::ReceivingItem(UINT id, UINT base, CIChNode** node) {
    CIChModelView& tree = GetTree();
    *node = nullptr;
    if (!tree.m_hWnd)
        return nullptr;
    HTREEITEM selected = tree.GetSelectedItem();
    if (id == base) {
        *node = m_pCurrentNode;
        return m_pCurrentNode ? selected : nullptr;
    }
    CIChNodeList nodes;
    if (GetListSelection(nodes) == 0 || !selected)
        return nullptr;
    HTREEITEM item = tree.FindNodeItem(nodes.front(), selected);
    if (item)
        *node = nodes.front();
    return item;
}

int CMainFrame::RunResourceDialog(CIChResorce* resource, int mask) {
    dlgResource dlg(this, resource, mask);
    dlg.SetExeByExtension(theApp.m_bExeByExten, theApp.m_strExeExtensions);
    return (int)dlg.DoModal();
}

CIChNode* CMainFrame::CreateWithDialog(CIChNode* node) {
    dlgGroupTask dlg(this, node);
    if (dlg.DoModal() != IDOK) {
        delete node;
        return nullptr;
    }
    CIChNode* added = node;
    return m_Model.AddNodeTree(&added, 0) > 0 ? added : nullptr;
}

void CMainFrame::EnableIfHandled(KvUi::CCmdUI* pCmdUI, bool condition) {
    KvUi::CmdHandlerInfo info;
    bool handled = OnCmdMsg(pCmdUI->m_nID, KvUi::CN_COMMAND, nullptr, &info) != FALSE;
    pCmdUI->Enable(condition && handled);
}

// ---- create in a folder ------------------------------------------------------------------------------

void CMainFrame::OnCreateNode(UINT id) {
    CIChNode* folder = m_pCurrentNode;
    if (id != ID_OBJ_ADD_NEW || !folder || folder->IsModelNode())
        return;
    CIChModelView& tree = GetTree();
    switch (folder->GetType()) {
    case FolderResources: {
        const int family = SelectedResourceFamily();
        const int mask = family >= 0 ? 1 << family : 15;
        CIChResorce* resource = new CIChResorce;
        if (RunResourceDialog(resource, mask) != IDOK) {
            delete resource;
            return;
        }
        m_Model.RebuildPathIndex();
        CIChNode* root_ = resource;
        if (m_Model.AddNodeTree(&root_, 0) > 0) {
            tree.BuildTree(&m_Model, m_nCurrentCategory);
            m_Model.m_bModified = 1;
        }
        return;
    }
    case FolderGroups:
    case FolderTasks: {
        CIChNode* node = folder->GetType() == FolderGroups ? static_cast<CIChNode*>(new CIChRGroup)
                                                           : static_cast<CIChNode*>(new CIChTask);
        if (CIChNode* added = CreateWithDialog(node)) {
            tree.InsertNodeItem(added, tree.GetRootItem());
            RefreshActiveViewer();
            m_Model.m_bModified = 1;
        }
        return;
    }
    default:
        // The jobs folder creates nothing; a subject comes from the model, never from here (the
        // command is disabled on the subjects folder).
        return;
    }
}

void CMainFrame::OnUpdateAddNew(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI, n && !n->IsModelNode() && n->GetType() != FolderJobs && n->GetType() != FolderSubjects);
}

// ---- add existing --------------------------------------------------------------------------------

void CMainFrame::OnAddExisting(UINT id) {
    if (!m_pCurrentNode)
        return;
    if (!IsOwn(m_pCurrentNode) && m_pCurrentNode->GetType() != NodeTypeSubject)
        return;
    CIChNode* upper = nullptr;
    HTREEITEM item = nullptr;
    if (id == ID_OBJ_ADD_EXISTING) {
        upper = m_pCurrentNode;
        item = GetTree().GetSelectedItem();
    } else {
        CIChNodeList nodes;
        if (GetListSelection(nodes) != 1)
            return;
        item = ReceivingItem(id, ID_OBJ_ADD_EXISTING, &upper);
    }
    if (!upper || !item || !upper->IsModelNode())
        return;
    bool candidates = false;
    switch (upper->GetType()) {
    case NodeTypeGroup:
        candidates = !m_Model.m_Resources.empty();
        break;
    case NodeTypeTask:
        candidates = !m_Model.m_Groups.empty();
        break;
    case NodeTypeJob:
        candidates = !m_Model.m_Tasks.empty() || !m_Model.m_Groups.empty();
        break;
    case NodeTypeSubject:
        candidates = !m_Model.m_Jobs.empty();
        break;
    }
    if (!candidates)
        return;
    CIChNodeList chosen;
    dlgAddNodes dlg(this, upper, &chosen);
    if (dlg.DoModal() != IDOK || chosen.empty())
        return;
    KvUi::CWaitCursor wait;
    GetTree().AddChildNodes(item, chosen);
    RefreshActiveViewer();
}

void CMainFrame::OnUpdateAddExisting(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    bool on = false;
    if (n && n->IsModelNode() && (IsOwn(n) || n->GetType() == NodeTypeSubject)) {
        switch (n->GetType()) {
        case NodeTypeGroup:
            on = !m_Model.m_Resources.empty();
            break;
        case NodeTypeTask:
            on = !m_Model.m_Groups.empty();
            break;
        case NodeTypeJob:
            on = !m_Model.m_Tasks.empty() || !m_Model.m_Groups.empty();
            break;
        case NodeTypeSubject:
            on = n->m_Members.size() != m_Model.m_Jobs.size();
            break;
        }
    }
    EnableIfHandled(pCmdUI, on);
}

// ---- exclude ----------------------------------------------------------------------------------------

void CMainFrame::OnExcludeFromParent(UINT id) {
    CIChNode* current = m_pCurrentNode;
    if (!current || !current->IsModelNode())
        return;
    CIChModelView& tree = GetTree();
    HTREEITEM selected = tree.m_hWnd ? tree.GetSelectedItem() : nullptr;
    if (!selected)
        return;
    CIChNodeList nodes;
    HTREEITEM item = nullptr;
    if (id == ID_OBJ_EXCLUDE) {
        // A top-level object of the category has no parent to leave.
        if (NodeLevel(current) >= m_nCurrentCategory - ID_CATEGORY_RESOURCES)
            return;
        nodes.push_back(current);
        item = tree.GetParentItem(selected);
    } else {
        if (GetListSelection(nodes) == 0)
            return;
        item = selected;
    }
    CIChNode* parent = tree.GetItemNode(item);
    if (!item || !parent || !m_Model.CanChangeLink(nodes.front(), parent))
        return;
    if ((theApp.m_nConfirmation & kConfirmLinks) &&
        MessageBox(KvUi::LoadStr(IDS_ASK_EXCLUDE), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    KvUi::CWaitCursor wait;
    tree.ExcludeChildNodes(item, nodes);
    RefreshActiveViewer();
}

void CMainFrame::OnUpdateExclude(KvUi::CCmdUI* pCmdUI) {
    CIChModelView& tree = GetTree();
    HTREEITEM sel = tree.m_hWnd ? tree.GetSelectedItem() : nullptr;
    CIChNode* parent = sel ? tree.GetItemNode(tree.GetParentItem(sel)) : nullptr;
    EnableIfHandled(pCmdUI, m_pCurrentNode && m_Model.CanChangeLink(m_pCurrentNode, parent));
}

void CMainFrame::OnExcludeFromAll(UINT id) {
    if (!m_pCurrentNode)
        return;
    CIChNodeList nodes;
    if (id == ID_OBJ_EXCLUDE_ALL)
        nodes.push_back(m_pCurrentNode);
    else if (GetListSelection(nodes) == 0)
        return;
    if (!nodes.front()->IsModelNode())
        return;
    if ((theApp.m_nConfirmation & kConfirmLinks) &&
        MessageBox(KvUi::LoadStr(IDS_ASK_EXCLUDE_ALL), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    KvUi::CWaitCursor wait;
    CIChModelView& tree = GetTree();
    tree.ExcludeFromAllParents(nodes);
    if (NodeLevel(nodes.front()) == m_nCurrentCategory - ID_CATEGORY_RESOURCES)
        for (CIChNode* n : nodes)
            tree.RefreshNodeItems(n);
    RefreshActiveViewer();
}

void CMainFrame::OnUpdateExcludeAll(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI,
                    n && n->IsModelNode() && (IsOwn(n) || n->GetType() == NodeTypeResource) && !n->m_Uppers.empty());
}

// ---- delete -----------------------------------------------------------------------------------------

void CMainFrame::OnDeleteNodes(UINT id) {
    CIChNode* current = m_pCurrentNode;
    if (!current)
        return;
    CIChNodeList nodes;
    if (id == ID_OBJ_DELETE && current->IsModelNode()) {
        if (current->m_Removable)
            nodes.push_back(current);
    } else if (id == ID_OBJ_DELETE) {
        // "Удалить все": every removable row of the folder's list, in row order.
        CIChViewer* viewer = ActiveViewer();
        CIChList* list = viewer ? dynamic_cast<CIChList*>(KvUi::CWnd::FromHandlePermanent(viewer->GetWnd())) : nullptr;
        if (!list)
            return;
        for (int i = 0, n = list->GetRowCount(); i < n; ++i)
            if (CIChNode* node = list->GetRowNode(i))
                if (node->m_Removable)
                    nodes.push_back(node);
    } else {
        GetListSelection(nodes);
        nodes.remove_if([](CIChNode* n) { return n->m_Removable == 0; });
    }
    if (nodes.empty())
        return;
    int subordinates = 1;
    if (theApp.m_nConfirmation & kConfirmDelete) {
        dlgDeleteNodes dlg(this, &nodes);
        if (dlg.DoModal() != IDOK)
            return;
        subordinates = dlg.m_bDeleteSubordinates;
    }
    KvUi::CWaitCursor wait;
    DeleteNodesAndSubordinates(nodes, subordinates != 0);
}

void CMainFrame::OnUpdateDelete(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    bool on = n && n->m_Removable && (n->IsModelNode() || IsCurrentFolderEmpty() == 0);
    if (on) {
        int kind = n->GetType();
        on = kind != 7 && kind != 8 && kind != 9 && kind != 10;
    }
    EnableIfHandled(pCmdUI, on);
}

void CMainFrame::DeleteNodesAndSubordinates(CIChNodeList& nodes, bool subordinates) {
    CIChModelView& tree = GetTree();
    // The removable model nodes below the chosen ones. A chosen node is never among them, even
    // when it also lies below another chosen node (a group under a job and under one of its
    // tasks): it is freed once, with the chosen ones.
    std::unordered_set<CIChNode*> lower;
    if (subordinates) {
        CIChNodeList below;
        CIChDataModel::CollectSubordinates(nodes, below);
        for (CIChNode* n : below)
            if (n->m_Removable && n->IsModelNode())
                lower.insert(n);
    }
    for (CIChNode* n : nodes)
        lower.erase(n);
    bool passes = false;
    if (!tree.DeleteNodes(nodes))
        return;
    RebuildOrRefresh();
    for (CIChNode* n : nodes)
        delete n;
    // Pass by pass: the subordinates left without any upper node go, which may leave their own
    // members without upper nodes for the next pass.
    while (!lower.empty()) {
        CIChNodeList pass;
        for (CIChNode* n : lower)
            if (n->m_Uppers.empty())
                pass.push_back(n);
        if (pass.empty())
            break;
        for (CIChNode* n : pass)
            lower.erase(n);
        tree.DeleteNodes(pass);
        for (CIChNode* n : pass)
            delete n;
        passes = true;
    }
    if (passes)
        RebuildOrRefresh();
    m_wndOutput.ShowRelations(nullptr);
}

// ---- properties ---------------------------------------------------------------------------------------

void CMainFrame::MakeUniqueName(CIChNode* node) {
    const std::wstring base = node->m_Name;
    const int type = node->GetType();
    const int subType = GetNodeSubType(node);
    node->SetName(L"");
    std::wstring candidate = base;
    for (int n = 1;; ++n) {
        // Tasks compare with all tasks; groups with the groups of their own SubType.
        if (!m_Model.FindNodeByName(type, candidate, subType))
            break;
        candidate = format_wstring(L"%s%d", base.c_str(), n);
    }
    node->SetName(candidate);
}

void CMainFrame::OnNodeProperties(UINT id) {
    CIChNode* node = CommandNode(id, ID_OBJ_PROPERTIES);
    if (!node || !node->IsModelNode())
        return;
    switch (node->GetType()) {
    case NodeTypeResource: {
        CIChResorce* r = static_cast<CIChResorce*>(node);
        const int controlled = r->m_Controlled, executable = r->m_Executable;
        if (RunResourceDialog(r, 1) == IDOK && (controlled != r->m_Controlled || executable != r->m_Executable)) {
            r->SetModifyTime(nullptr);
            m_Model.m_bModified = 1;
        }
        UpdateNodeRow(r);
        return;
    }
    case NodeTypeGroup:
    case NodeTypeTask: {
        dlgGroupTask dlg(this, node);
        if (dlg.DoModal() != IDOK)
            return;
        MakeUniqueName(node);
        break;
    }
    case NodeTypeJob: {
        CIChJob* job = static_cast<CIChJob*>(node);
        // A job of another SubType has no dialog and goes on as if confirmed.
        if (job->m_SubType == JobBoard || job->m_SubType == JobSecondEdition) {
            dlgJobCPA dlg(this, job);
            if (dlg.DoModal() != IDOK)
                return;
        }
        break;
    }
    case NodeTypeSubject: {
        dlgSubject dlg(this, static_cast<CIChSubject*>(node));
        if (dlg.DoModal() != IDOK)
            return;
        break;
    }
    default:
        return;
    }
    GetTree().RefreshNodeItems(node);
    if (node == m_pCurrentNode)
        SetCurrentNode(node, 0);
    else
        RefreshActiveViewer();
    node->SetModifyTime(nullptr);
    m_Model.m_bModified = 1;
}

void CMainFrame::OnUpdateProperties(KvUi::CCmdUI* pCmdUI) {
    EnableIfHandled(pCmdUI, m_pCurrentNode && m_pCurrentNode->IsModelNode());
}

// ---- new resource, task or group under a node -------------------------------------------------------------

void CMainFrame::OnNewResourceInGroup(UINT id) {
    CIChNode* node = CommandNode(id, ID_OBJ_NEW_RESOURCE);
    if (!node || node->GetType() != NodeTypeGroup)
        return;
    CIChRGroup* group = static_cast<CIChRGroup*>(node);
    CIChResorce* resource = new CIChResorce;
    int mask = 1;
    switch (group->m_SubType) {
    case GroupRegistry:
        resource->SetSubType(ResRegValue);
        mask = 2;
        break;
    case GroupDiskSectors:
        resource->SetSubType(ResDiskSector);
        mask = 4;
        break;
    case GroupHardware:
        resource->SetSubType(ResPciDevice);
        mask = 8;
        break;
    }
    if (RunResourceDialog(resource, mask) != IDOK) {
        delete resource;
        return;
    }
    KvUi::CWaitCursor wait;
    m_Model.RebuildPathIndex();
    CIChNode* root_ = resource;
    m_Model.AddNodeTree(&root_, 0); // an existing resource of the same path stands in for it
    root_->LinkTo(group);
    GetTree().RefreshNodeItems(group);
    m_Model.m_bModified = 1;
    RefreshActiveViewer();
}

// Also the update handler of "Создать ресурсы" (ID_OBJ_SEVERAL, GroupCommands.cpp).
void CMainFrame::OnUpdateNewResource(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI, n && (n->GetType() == NodeTypeGroup || n->GetType() == FolderResources) && IsOwn(n));
}

void CMainFrame::NewNodeUnder(UINT id, UINT base, CIChNode* node) {
    CIChNode* upper = nullptr;
    HTREEITEM item = ReceivingItem(id, base, &upper);
    if (!item || !upper) {
        delete node;
        return;
    }
    if (CIChNode* added = CreateWithDialog(node)) {
        CIChNodeList one(1, added);
        GetTree().AddChildNodes(item, one); // the link rule decides; a refused node stays unlinked
        RefreshActiveViewer();
        m_Model.m_bModified = 1;
    }
}

void CMainFrame::OnNewTaskManually(UINT id) { NewNodeUnder(id, ID_OBJ_NEW_TASK, new CIChTask); }

// Also the update handler of the job's task generator (ID_OBJ_TASK_BY_GEN, InstallTaskCommands.cpp).
void CMainFrame::OnUpdateJobOwn(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI, n && n->GetType() == NodeTypeJob && IsOwn(n));
}

void CMainFrame::OnNewGroupManually(UINT id) { NewNodeUnder(id, ID_OBJ_NEW_GROUP, new CIChRGroup); }

void CMainFrame::OnUpdateNewGroup(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI, n && (n->GetType() == NodeTypeJob || n->GetType() == NodeTypeTask) && IsOwn(n));
}

// ---- the marks --------------------------------------------------------------------------------------

void CMainFrame::ToggleMark(bool controlled) {
    CIChNodeList nodes;
    if (GetListSelection(nodes) == 0)
        return;
    nodes.remove_if([](CIChNode* n) { return n->GetType() != NodeTypeResource; });
    if (nodes.empty())
        return;
    const CIChResorce* first = static_cast<const CIChResorce*>(nodes.front());
    const int value = controlled ? !first->m_Controlled : !first->m_Executable;
    const bool large = nodes.size() > kLargeSelection;
    KvUi::CWaitCursor wait;
    for (CIChNode* n : nodes) {
        CIChResorce* r = static_cast<CIChResorce*>(n);
        if (controlled) {
            if (!IsOwn(r))
                continue;
            r->m_Controlled = value;
        } else if (r->m_SubType == ResFile) {
            r->m_Executable = value;
        }
        r->SetModifyTime(nullptr);
        if (!large)
            UpdateNodeRow(r);
    }
    if (large)
        RefreshActiveViewer();
    m_Model.m_bModified = 1;
}

void CMainFrame::OnToggleControlled(UINT) { ToggleMark(true); }

void CMainFrame::OnToggleExecutable(UINT) { ToggleMark(false); }

void CMainFrame::OnUpdateNever(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(FALSE); }
