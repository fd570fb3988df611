// The main window's object commands that exchange objects with model files: export of chosen
// objects (through a temporary model that only borrows the nodes), import of the objects of a
// category, import of resources into a group; and the resource group made from the security log.
// Like the other object commands each comes in a tree variant (the base id) and a list variant
// (base + 1); the other ids of the block do nothing.
#include "ExchangeCommands.h"

#include "DaVIdevaRez.h"
#include "ExchangeDialogs.h"
#include "ExeExtensions.h"
#include "MainFrm.h"

#include "resource.h"

#include <valkit.h>

#include <unordered_set>

namespace {

SecurityLogReader g_securityLogReader = nullptr;

// A model that only borrows the nodes of another: its lists are emptied before it goes, so the
// nodes are never freed with it, however the work with it ended.
class CBorrowingModel : public CIChDataModel {
public:
    ~CBorrowingModel() override {
        for (int type = NodeTypeResource; type <= NodeTypeSubject; type += 2)
            GetNodeList(type)->clear();
        m_PathIndex.clear();
    }
    // Appends the node to the list of its type unless it is there already.
    void Borrow(CIChNode* node) {
        if (node && node->IsModelNode() && m_seen.insert(node).second)
            GetNodeList(node->GetType())->push_back(node);
    }

private:
    std::unordered_set<CIChNode*> m_seen;
};

// Restores the frame's show-results flag however the call in between ends.
class CQuietResults {
public:
    explicit CQuietResults(int& flag) : m_flag(flag), m_old(flag) { m_flag = 0; }
    ~CQuietResults() { m_flag = m_old; }

private:
    int& m_flag;
    int m_old;
};
} // namespace

void SetSecurityLogReader(SecurityLogReader reader) { g_securityLogReader = reader; }

void CMainFrame::CollectFolderNodes(const CIChDataModel& model, const CIChNode* folder, CIChNodeList& out,
                                    size_t limit) {
    const CIChNodeList* list = folder ? model.GetNodeList(folder->GetType() - 1) : nullptr;
    if (!list || limit == 0)
        return;
    const std::wstring& filter = folder->m_Description;
    if (filter.empty()) {
        for (auto it = list->begin(); it != list->end() && limit > 0; ++it, --limit)
            out.push_back(*it);
        return;
    }
    // A filter text belongs to the resource folders only: a family tag, or a directory path.
    if (folder->GetType() != FolderResources)
        return;
    int family = -1;
    for (int i = 0; i < 4; ++i)
        if (filter == kResourceFamilyTags[i])
            family = i;
    const std::wstring upperFilter = strupper(filter);
    for (CIChNode* n : *list) {
        const CIChResorce* r = static_cast<const CIChResorce*>(n);
        if (family >= 0 ? GetResourceFolderIndex(r->m_SubType) == family
                        : strupper(r->m_Name).find(upperFilter) != std::wstring::npos) {
            out.push_back(n);
            if (--limit == 0)
                return;
        }
    }
}

// ---- export and import of objects ---------------------------------------------------------------------

void CMainFrame::OnExportNodes(UINT id) {
    if (id != ID_OBJ_EXPORT && id != ID_OBJ_EXPORT + 1)
        return;
    CIChNodeList objects;
    int all = 0;
    if (id == ID_OBJ_EXPORT) {
        CIChNode* n = m_pCurrentNode;
        if (!n)
            return;
        if (n->IsModelNode()) {
            objects.push_back(n);
        } else {
            all = n->m_Description.empty() ? 1 : 0;
            CollectFolderNodes(m_Model, n, objects);
        }
    } else {
        GetListSelection(objects);
    }
    if (objects.empty() || !objects.front()->IsModelNode())
        return;

    dlgExportNodes dlg(m_hWnd, objects.front()->GetType(), all);
    if (dlg.DoModal() != IDOK)
        return;
    int result;
    {
        KvUi::CWaitCursor wait;
        CBorrowingModel temp;
        temp.m_PathVars = m_Model.m_PathVars;
        for (CIChNode* n : objects)
            temp.Borrow(n);
        if (dlg.m_bWithSubordinates) {
            // Everything below the chosen objects, a group's resources included, each once.
            CIChNodeList lower;
            CIChDataModel::CollectSubordinates(objects, lower);
            for (CIChNode* n : lower)
                temp.Borrow(n);
        }
        // The file is written beside the target and replaces it only when complete.
        result = ExportModelFile(&temp, dlg.m_strFileName);
    }
    if (result == 0) {
        MessageBox(format_wstring(KvUi::LoadStr(IDS_EXCH_EXPORTED).c_str(), dlg.m_strFileName.c_str()), nullptr,
                   MB_ICONINFORMATION);
        return;
    }
    if (m_bLastOpReported)
        return; // the operation's error dialog has shown this failure
    MessageBox(KvUi::LoadStr(IDS_EXCH_EXPORT_FAILED) + L"\n" + LastFileFailure(result, dlg.m_strFileName), nullptr,
               MB_ICONERROR);
}

void CMainFrame::OnUpdateExport(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI, n && (n->IsModelNode() || IsCurrentFolderEmpty() == 0));
}

void CMainFrame::OnImportNodes(UINT id) {
    // Only the tree command imports: the list of a folder is not a category.
    if (id != ID_OBJ_IMPORT_ADD)
        return;
    CIChNode* folder = m_pCurrentNode;
    if (!folder || folder->IsModelNode() || folder->GetType() == FolderSubjects)
        return;
    int result = 0;
    switch (folder->GetType()) {
    case FolderResources: {
        dlgImportResources dlg(m_hWnd, 1, 0);
        if (dlg.DoModal() != IDOK)
            return;
        result = ImportNodesFromFile(dlg.m_strFileName.c_str(), NodeTypeResource, 0, nullptr);
        break;
    }
    case FolderGroups:
    case FolderTasks:
    case FolderJobs: {
        const int type = folder->GetType() - 1;
        dlgImportNodes dlg(m_hWnd, type);
        if (dlg.DoModal() != IDOK)
            return;
        result = ImportNodesFromFile(dlg.m_strFileName.c_str(), type, dlg.m_bWithSubordinates, nullptr);
        break;
    }
    default:
        return;
    }
    if (result == 0)
        return;
    KvUi::CWaitCursor wait;
    GetTree().BuildTree(&m_Model, m_nCurrentCategory);
}

void CMainFrame::OnUpdateImportAdd(KvUi::CCmdUI* pCmdUI) {
    EnableIfHandled(pCmdUI, m_pCurrentNode && !m_pCurrentNode->IsModelNode());
}

void CMainFrame::OnImportResources(UINT id) {
    if (id != ID_OBJ_IMPORT_GROUP && id != ID_OBJ_IMPORT_GROUP + 1)
        return;
    CIChNode* group = nullptr;
    HTREEITEM item = ReceivingItem(id, ID_OBJ_IMPORT_GROUP, &group);
    // The list variant has no update handler: it checks what the tree command's handler checks.
    if (!item || !group || group->GetType() != NodeTypeGroup || group->m_Id < 0)
        return;
    dlgImportResources dlg(m_hWnd, 1, 0);
    if (dlg.DoModal() != IDOK)
        return;
    CIChNodeList resources;
    if (ImportNodesFromFile(dlg.m_strFileName.c_str(), NodeTypeResource, 0, &resources) == 0)
        return;
    KvUi::CWaitCursor wait;
    GetTree().AddChildNodes(item, resources);
    m_Model.m_bModified = 1;
    RefreshActiveViewer();
}

void CMainFrame::OnUpdateImportGroup(KvUi::CCmdUI* pCmdUI) {
    CIChNode* n = m_pCurrentNode;
    EnableIfHandled(pCmdUI, n && n->GetType() == NodeTypeGroup && IsOwn(n));
}

// ---- the group from the security log ------------------------------------------------------------------

int CMainFrame::ImportFromSecurityLog(const FILETIME& start, const FILETIME& end, const std::wstring& user,
                                      CIChNodeList& out) {
    // This program has no reader of the security log of its own; one may be plugged in.
    if (!g_securityLogReader)
        return 0;
    return g_securityLogReader(start, end, user, out);
}

void CMainFrame::OnGroupFromLog(UINT id) {
    HTREEITEM item = GroupReceivingItem(id, ID_OBJ_GROUP_BY_LOG);
    if (!item)
        return;
    dlgImportResources dlg(m_hWnd, 0, 1);
    if (dlg.DoModal() != IDOK)
        return;
    CIChNodeList found;
    int read;
    {
        CQuietResults quiet(m_bShowResults);
        read = ImportFromSecurityLog(dlg.m_ftStart, dlg.m_ftEnd, dlg.m_strUser, found);
    }
    // Each resource once; none of them is the model's yet. Anything else a reader gave is freed.
    CIChNodeList resources;
    std::unordered_set<CIChNode*> seen;
    for (CIChNode* n : found) {
        if (!n || !seen.insert(n).second)
            continue;
        if (n->GetType() == NodeTypeResource)
            resources.push_back(n);
        else
            delete n;
    }
    if (!read || resources.empty()) {
        // Nothing read is no group: an empty group would pass for a successful reading.
        for (CIChNode* n : resources)
            delete n;
        MessageBox(KvUi::LoadStr(read ? IDS_EXCH_LOG_NOTHING : IDS_EXCH_LOG_UNSUPPORTED), nullptr,
                   read ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
        return;
    }
    KvUi::CWaitCursor wait;
    CIChRGroup* group = new CIChRGroup;
    group->m_SubType = GroupFiles;
    group->SetName(format_wstring(L"Журнал %s", L"безопасности"));
    group->SetDescription(format_wstring(L"Группа импортированных ресурсов по журналу %s", L"безопасности"));
    std::list<std::wstring> extensions;
    if (theApp.m_bExeByExten)
        extensions = SplitExtensions(theApp.m_strExeExtensions);
    AddGeneratedGroup(item, group, resources, extensions);
}
