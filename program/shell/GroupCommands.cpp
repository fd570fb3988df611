// The main window's commands that bring many resources in at once: "Создать ресурсы" (the
// operations of the bulk creation dialog made into resources, linked to the group they were asked
// for) and the new resource groups made from a folder's files or a registry key's keys and values.
// Like the other object commands each comes in a tree variant (the base id) and a list variant
// (base + 1); the other ids of the block do nothing.
#include "MainFrm.h"

#include "DaVIdevaRez.h"
#include "ExeExtensions.h"
#include "Pickers.h"

#include "resource.h"

#include <KvExchangeUtils.h>
#include <valkit.h>

#include <memory>

namespace {

bool CanReceiveGroup(const CIChNode* n) {
    if (!n || n->m_Id < 0)
        return false;
    const int type = n->GetType();
    return type == FolderGroups || type == NodeTypeTask || type == NodeTypeJob;
}
} // namespace

// ---- common steps ---------------------------------------------------------------------------------

int CMainFrame::SelectedResourceFamily() {
    // The family folder: the item just below the tree's first root item on the way up.
    CIChModelView& tree = GetTree();
    HTREEITEM h = tree.GetSelectedItem();
    HTREEITEM root = tree.GetRootItem();
    while (h) {
        HTREEITEM parent = tree.GetParentItem(h);
        if (!parent || parent == root)
            break;
        h = parent;
    }
    CIChNode* family = h ? tree.GetItemNode(h) : nullptr;
    for (int i = 0; family && i < 4; ++i)
        if (family->m_Description == kResourceFamilyTags[i])
            return i;
    return -1;
}

CIChResorce* CMainFrame::ReplaceByKnownResource(CIChResorce* resource) {
    // A path the model holds already stands for the new resource as it is: its marks are the
    // user's and are not overwritten by those of a resource made a moment ago.
    CIChResorce* known = m_Model.FindIndexedResource(resource);
    if (known && known != resource)
        delete resource;
    return known;
}

// ---- several resources ------------------------------------------------------------------------------

// The resources of one operation of the bulk creation dialog, in order (new nodes, not yet in the
// model).
static void MakeOperationResources(const SResourceOperation& op, CIChNodeList& out) {
    switch (op.nKind) {
    case dlgAddResources::KindFiles: {
        CIChResorce* r = new CIChResorce;
        r->SetSubType(ResFile);
        r->SetName(op.strPath);
        out.push_back(r);
        return;
    }
    case dlgAddResources::KindFolderFiles:
    case dlgAddResources::KindFoldersWithFiles:
        if (op.filters.empty())
            GetDirResources(op.strPath.c_str(), &out, 0, op.bNested, nullptr);
        for (const std::wstring& mask : op.filters)
            GetDirResources(op.strPath.c_str(), &out, 0, op.bNested, mask.c_str());
        return;
    case dlgAddResources::KindFolders:
        GetOneDirResources(op.strPath.c_str(), &out, op.bNested);
        return;
    case dlgAddResources::KindRegValues:
    case dlgAddResources::KindRegKeys:
        GetRegKeyResources(op.strPath.c_str(), &out, op.nKind == dlgAddResources::KindRegKeys, op.bNested);
        return;
    case dlgAddResources::KindSectors:
    case dlgAddResources::KindPciDevice:
    case dlgAddResources::KindSmbiosTable:
    case dlgAddResources::KindSmbiosField: {
        if (op.params.empty())
            return;
        std::unique_ptr<CIChResorce> r(new CIChResorce);
        if (FillResourceFromOperation(op, *r))
            out.push_back(r.release());
        return;
    }
    default:
        return;
    }
}

void CMainFrame::OnAddResources(UINT id) {
    if (id != ID_OBJ_SEVERAL && id != ID_OBJ_SEVERAL + 1)
        return;
    CIChNode* first = nullptr;
    HTREEITEM item = ReceivingItem(id, ID_OBJ_SEVERAL, &first);
    if (!item || !first)
        return;
    CIChRGroup* target = nullptr;
    int selector = -1;
    if (first->GetType() == NodeTypeGroup) {
        if (first->m_Id < 0)
            return; // a read-only group takes no members
        target = static_cast<CIChRGroup*>(first);
        selector = target->m_SubType;
    } else if (first->GetType() == FolderResources) {
        selector = SelectedResourceFamily();
    }

    CResourceOperationList operations;
    dlgAddResources dlg(this, &operations, selector, theApp.m_bExeByExten);
    if (dlg.DoModal() != IDOK)
        return;
    std::list<std::wstring> extensions;
    if (dlg.m_bMarkExecutable)
        extensions = SplitExtensions(theApp.m_strExeExtensions);

    KvUi::CWaitCursor wait;
    m_Model.RebuildPathIndex();
    // The new resources go to the model in one batch (one merge pass for all of them, however
    // many): a path made twice ends up as one resource.
    std::vector<CIChNode*> fresh;
    for (const SResourceOperation* op : operations) {
        CIChNodeList made;
        MakeOperationResources(*op, made);
        for (CIChNode* node : made) {
            // A path the model holds already: the model's resource is linked and marked instead.
            if (CIChResorce* known = ReplaceByKnownResource(static_cast<CIChResorce*>(node))) {
                if (target)
                    known->LinkTo(target);
                if (!extensions.empty())
                    MarkExecutableByExtension(*known, extensions);
                continue;
            }
            if (!extensions.empty())
                MarkExecutableByExtension(*static_cast<CIChResorce*>(node), extensions);
            fresh.push_back(node);
        }
    }
    m_Model.AddNodeTrees(fresh, 0);
    if (target)
        for (CIChNode* resource : fresh)
            resource->LinkTo(target);
    m_Model.m_bModified = 1;
    if (target) {
        GetTree().RefreshNodeItems(target);
        RefreshActiveViewer();
    } else {
        GetTree().BuildTree(&m_Model, m_nCurrentCategory);
    }
}

// ---- groups from a folder or a registry key -----------------------------------------------------------

void CMainFrame::AddGeneratedGroup(HTREEITEM item, CIChRGroup* group, CIChNodeList& resources,
                                   const std::list<std::wstring>& extensions) {
    m_Model.RebuildPathIndex();
    for (CIChNode* node : resources) {
        if (CIChResorce* known = ReplaceByKnownResource(static_cast<CIChResorce*>(node))) {
            known->LinkTo(group);
            continue;
        }
        CIChResorce* resource = static_cast<CIChResorce*>(node);
        resource->LinkTo(group);
        if (!extensions.empty())
            MarkExecutableByExtension(*resource, extensions);
    }
    // The model's resources are linked to a group that is not in the model yet: AddNodeTree
    // leaves them as they are and takes the group and the new resources.
    CIChNode* root = group;
    const int n = m_Model.AddNodeTree(&root, 0);
    if (n <= 0)
        return;
    CIChModelView& tree = GetTree();
    CIChNode* upper = tree.GetItemNode(item);
    CIChNodeList one(1, root);
    tree.AddChildNodes(item, one);
    RefreshActiveViewer();
    if (m_nCurrentCategory == ID_CATEGORY_GROUPS && upper && !upper->IsModelNode())
        tree.InsertNodeItem(root, item);
    // A new group is a change to save, whatever the tree shows.
    m_Model.m_bModified = 1;
    MessageBox(format_wstring(KvUi::LoadStr(IDS_GROUP_ADDED).c_str(), n).c_str(), nullptr, MB_OK | MB_ICONINFORMATION);
}

HTREEITEM CMainFrame::GroupReceivingItem(UINT id, UINT base) {
    if (id != base && id != base + 1)
        return nullptr;
    if (id != base) {
        CIChNodeList nodes;
        if (GetListSelection(nodes) != 1)
            return nullptr;
    }
    CIChNode* upper = nullptr;
    HTREEITEM item = ReceivingItem(id, base, &upper);
    return item && CanReceiveGroup(upper) ? item : nullptr;
}

void CMainFrame::OnGroupFromDirectory(UINT id) {
    HTREEITEM item = GroupReceivingItem(id, ID_OBJ_GROUP_BY_DIR);
    if (!item)
        return;
    std::wstring folder;
    if (!SelectLocalFolder(m_hWnd, KvUi::LoadStr(IDS_GROUP_PICK_FOLDER).c_str(), folder))
        return;
    KvUi::CWaitCursor wait;
    CIChNodeList resources;
    GetDirResources(folder.c_str(), &resources, 0, 1, nullptr);
    CIChRGroup* group = new CIChRGroup;
    group->m_SubType = GroupFiles;
    group->SetName(format_wstring(L"Каталог '%s'", folder.c_str()));
    group->SetDescription(format_wstring(L"Группа по каталогу '%s'", folder.c_str()));
    std::list<std::wstring> extensions;
    if (theApp.m_bExeByExten)
        extensions = SplitExtensions(theApp.m_strExeExtensions);
    AddGeneratedGroup(item, group, resources, extensions);
}

void CMainFrame::OnGroupFromRegistryKey(UINT id) {
    HTREEITEM item = GroupReceivingItem(id, ID_OBJ_GROUP_BY_KEY);
    if (!item)
        return;
    std::wstring key;
    dlgBrowseRegistry dlg(this, KvUi::LoadStr(IDS_GROUP_PICK_KEY).c_str(), 0, &key);
    if (dlg.DoModal() != IDOK || key.empty())
        return;
    KvUi::CWaitCursor wait;
    CIChNodeList resources;
    GetRegKeyResources(key.c_str(), &resources, 1, 1);
    CIChRGroup* group = new CIChRGroup;
    group->m_SubType = GroupRegistry;
    group->SetName(format_wstring(L"Ключ '%s'", key.c_str()));
    group->SetDescription(format_wstring(L"Группа по ключу реестра '%s'", key.c_str()));
    AddGeneratedGroup(item, group, resources, {});
}

// Also the update handler of the group from the security log (ID_OBJ_GROUP_BY_LOG, ExchangeCommands.cpp).
// Enabled where the command would make a group: the rule the command itself follows.
void CMainFrame::OnUpdateGroupBy(KvUi::CCmdUI* pCmdUI) { EnableIfHandled(pCmdUI, CanReceiveGroup(m_pCurrentNode)); }
