// The structure tree.
#include "IChModelView.h"

#include "IChDataModel.h"
#include "resource.h"

#include <KvText.h>
#include <valkit.h>

#include <algorithm>
#include <unordered_set>

namespace {
const UINT WM_REEDIT_LABEL = WM_APP + 0x31; // reopens the label editor on an item (wp)

// The name of a path folder: the text after the last backslash once a trailing one is removed;
// the whole text when there is none or when the only one belongs to a leading "\\?\".
std::wstring FolderNameOf(const std::wstring& path) {
    std::wstring t = path;
    if (!t.empty() && t.back() == L'\\')
        t.pop_back();
    size_t last = t.rfind(L'\\');
    if (last == std::wstring::npos)
        return t;
    if (t.compare(0, 4, L"\\\\?\\") == 0 && last == 3)
        return t;
    return t.substr(last + 1);
}

bool IsUnder(HWND tree, HTREEITEM item, HTREEITEM start) {
    for (HTREEITEM h = TreeView_GetParent(tree, item); h; h = TreeView_GetParent(tree, h))
        if (h == start)
            return true;
    return false;
}

int SiblingIndex(HWND tree, HTREEITEM h) {
    int n = 0;
    for (HTREEITEM p = TreeView_GetPrevSibling(tree, h); p; p = TreeView_GetPrevSibling(tree, p))
        ++n;
    return n;
}
} // namespace

CIChModelView::CIChModelView() {
    for (int i = 0; i < 4; ++i) {
        m_Families[i].m_Kind = FolderResources;
        m_Families[i].m_Family = i;
    }
}

CIChModelView::~CIChModelView() {
    for (auto& kv : m_PathFolders)
        delete kv.second;
    for (CIChFolder* f : m_ExtraFolders)
        delete f;
    if (m_hDragImage)
        ImageList_Destroy(m_hDragImage);
    if (m_hNormal)
        ImageList_Destroy(m_hNormal);
    if (m_hState)
        ImageList_Destroy(m_hState);
}

BOOL CIChModelView::CreateTree(HWND parent, UINT nID, IModelViewHost* host) {
    m_pHost = host;
    return CreateEx(0, WC_TREEVIEWW, L"",
                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP | TVS_HASBUTTONS |
                        TVS_HASLINES | TVS_EDITLABELS | TVS_SHOWSELALWAYS,
                    0, 0, 0, 0, parent, reinterpret_cast<HMENU>((UINT_PTR)nID));
}

CIChDataModel* CIChModelView::Model() const { return m_pHost ? m_pHost->GetModel() : nullptr; }

void CIChModelView::SetModified() {
    if (CIChDataModel* m = Model())
        m->m_bModified = 1;
}

// ---- items and the index ----------------------------------------------------------------------

HTREEITEM CIChModelView::InsertOne(CIChNode* node, HTREEITEM parent, const std::wstring& text) {
    TVINSERTSTRUCTW is = {};
    is.hParent = parent;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    std::wstring t = text.substr(0, 255);
    is.item.pszText = const_cast<wchar_t*>(t.c_str());
    is.item.iImage = is.item.iSelectedImage = GetItemImage(node);
    is.item.lParam = reinterpret_cast<LPARAM>(node);
    if (node->IsModelNode()) {
        is.item.mask |= TVIF_STATE;
        is.item.state = INDEXTOSTATEIMAGEMASK(node->GetUsageState());
        is.item.stateMask = TVIS_STATEIMAGEMASK;
    }
    HTREEITEM h = reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
    if (h)
        m_Index[node].push_back(h);
    return h;
}

void CIChModelView::Unindex(HTREEITEM h) {
    for (HTREEITEM c = GetChildItem(h); c; c = GetNextSiblingItem(c))
        Unindex(c);
    CIChNode* node = GetItemNode(h);
    auto it = m_Index.find(node);
    if (it != m_Index.end()) {
        auto& v = it->second;
        v.erase(std::remove(v.begin(), v.end(), h), v.end());
        if (v.empty())
            m_Index.erase(it);
    }
    m_deleted.insert(h);
    if (h == m_hHistoryCurrent)
        m_hHistoryCurrent = nullptr;
}

BOOL CIChModelView::DeleteItemIndexed(HTREEITEM h) {
    Unindex(h);
    return TreeView_DeleteItem(m_hWnd, h);
}

size_t CIChModelView::GetItemCountOf(CIChNode* node) const {
    auto it = m_Index.find(node);
    return it == m_Index.end() ? 0 : it->second.size();
}

std::vector<HTREEITEM> CIChModelView::ItemsOf(CIChNode* node) const {
    auto it = m_Index.find(node);
    return it == m_Index.end() ? std::vector<HTREEITEM>() : it->second;
}

void CIChModelView::SetItemLook(HTREEITEM h, CIChNode* node) {
    TVITEMW item = {};
    item.hItem = h;
    item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    std::wstring t = node->m_Name.substr(0, 255);
    item.pszText = const_cast<wchar_t*>(t.c_str());
    item.iImage = item.iSelectedImage = GetItemImage(node);
    if (node->IsModelNode()) {
        item.mask |= TVIF_STATE;
        item.state = INDEXTOSTATEIMAGEMASK(node->GetUsageState());
        item.stateMask = TVIS_STATEIMAGEMASK;
    }
    SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

CIChNode* CIChModelView::GetSelectedNode() const { return GetItemNode(GetSelectedItem()); }

bool CIChModelView::IsAncestor(HTREEITEM ancestor, HTREEITEM item) const { return IsUnder(m_hWnd, item, ancestor); }

// ---- building -----------------------------------------------------------------------------------

int CIChModelView::ClearTree() {
    m_bClearing = true;
    if (GetCount() > 0) {
        ClearHistory();
        DeleteAllItems();
    }
    m_bClearing = false;
    m_Index.clear();
    m_deleted.clear();
    for (auto& kv : m_PathFolders)
        delete kv.second;
    m_PathFolders.clear();
    for (CIChFolder* f : m_ExtraFolders)
        delete f;
    m_ExtraFolders.clear();
    // The folders are gone: nobody may keep one as the current node.
    if (m_pLastSelectedNode) {
        m_pLastSelectedNode = nullptr;
        if (m_pHost)
            m_pHost->SetCurrentNode(nullptr, 1);
    }
    return 1;
}

int CIChModelView::BuildTree(CIChDataModel* model, int category) {
    if (!model)
        return 0;
    SendMessage(WM_SETREDRAW, FALSE);
    ClearTree();
    ClearHistory();
    m_Root.UnlinkAll();
    if (category < 7100 || category > 7104) {
        SendMessage(WM_SETREDRAW, TRUE);
        return 0;
    }
    int index = category - 7100;
    m_Root.m_Name = KvUi::LoadStr(kCategoryRootNames[index]);
    m_Root.m_Description.clear();
    m_Root.m_Kind = 2 * index + 2;
    HTREEITEM root = InsertOne(&m_Root, TVI_ROOT, m_Root.m_Name);
    int result = root ? 1 : 0;
    if (root) {
        if (category == 7100) {
            result = BuildResourceTree(model, root);
        } else {
            // The root opens once at the end: a control inserting under an open item recounts its
            // visible items on every insertion.
            m_bBuilding = true;
            const CIChNodeList* list = model->GetNodeList(m_Root.m_Kind - 1);
            if (list)
                for (CIChNode* node : *list)
                    if (!InsertNodeItem(node, root)) {
                        result = 0;
                        break;
                    }
            m_bBuilding = false;
            if (GetChildItem(root))
                Expand(root, TVE_EXPAND);
        }
    }
    if (result) {
        m_hHistoryCurrent = root;
        SelectItem(root);
    }
    SendMessage(WM_SETREDRAW, TRUE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return result;
}

int CIChModelView::BuildResourceTree(CIChDataModel* model, HTREEITEM root) {
    HTREEITEM families[4];
    for (int i = 0; i < 4; ++i) {
        m_Families[i].m_Name = KvUi::LoadStr(kResourceFamilyNames[i]);
        m_Families[i].m_Description = kResourceFamilyTags[i];
        families[i] = InsertOne(&m_Families[i], root, m_Families[i].m_Name);
        if (!families[i])
            return 0;
    }
    // One path folder per directory of a family, keyed by the family and the upper-cased directory,
    // so that a registry path and a file path never share a branch.
    std::map<std::wstring, CIChFolder*> folders;
    for (CIChNode* node : model->m_Resources) {
        CIChResorce* r = static_cast<CIChResorce*>(node);
        int family = GetResourceFolderIndex(r->m_SubType);
        if (family < 0)
            continue;
        std::wstring key = std::wstring(1, wchar_t(L'0' + family)) + KvBase::UpperCase(r->m_Path);
        if (folders.count(key))
            continue;
        CIChFolder* f = new CIChFolder(FolderResources, family);
        f->m_Description = r->m_Path;
        f->m_Name = FolderNameOf(r->m_Path);
        folders.emplace(std::move(key), f);
    }
    m_PathFolders = folders; // owned from here on, also when an insertion fails

    std::vector<CIChFolder*> intermediates;
    HTREEITEM last = nullptr;
    int result = 1;
    for (auto& kv : folders) {
        CIChFolder* f = kv.second;
        const std::wstring upper = kv.first.substr(1);
        HTREEITEM parent = nullptr;
        std::wstring ancestor;
        // The nearest folder inserted so far whose path begins this one's (a prefix test: "C:\A\"
        // must not match inside "\\?\C:\A\B\"); the walk stops at the family folders.
        for (HTREEITEM h = last; h; h = GetParentItem(h)) {
            CIChNode* n = GetItemNode(h);
            if (n >= &m_Families[0] && n <= &m_Families[3])
                break;
            std::wstring d = KvBase::UpperCase(n->m_Description);
            if (!d.empty() && d.size() < upper.size() && upper.compare(0, d.size(), d) == 0) {
                parent = h;
                ancestor = n->m_Description;
                break;
            }
        }
        if (!parent)
            parent = families[f->m_Family];
        std::wstring rest = f->m_Description.substr(ancestor.size());
        // The first backslash of a whole path is looked for from its third character (its sixth
        // after "\\?\"), so a UNC "\\" or a "\\?\" prefix stays with what follows; the rest after an
        // ancestor folder is split from its first character.
        size_t from = 0;
        if (ancestor.empty())
            from = (rest.size() > 4 && rest.compare(0, 4, L"\\\\?\\") == 0) ? 5 : 2;
        std::wstring acc = ancestor;
        for (;;) {
            size_t i = from < rest.size() ? rest.find(L'\\', from) : std::wstring::npos;
            if (i == std::wstring::npos || i + 1 == rest.size())
                break;
            std::wstring comp = rest.substr(0, i);
            acc += comp + L"\\";
            CIChFolder* mid = new CIChFolder(FolderResources, f->m_Family);
            mid->m_Name = comp;
            mid->m_Description = acc;
            intermediates.push_back(mid);
            parent = InsertOne(mid, parent, mid->m_Name);
            if (!parent) {
                result = 0;
                break;
            }
            rest.erase(0, i + 1);
            from = 0;
        }
        if (!result)
            break;
        last = InsertOne(f, parent, f->m_Name);
        if (!last) {
            result = 0;
            break;
        }
    }
    for (CIChFolder* mid : intermediates) {
        std::wstring key = std::wstring(1, wchar_t(L'0' + mid->m_Family)) + KvBase::UpperCase(mid->m_Description);
        if (!m_PathFolders.emplace(key, mid).second)
            m_ExtraFolders.push_back(mid);
    }
    Expand(root, TVE_EXPAND);
    return result;
}

int CIChModelView::InsertNodeItem(CIChNode* node, HTREEITEM parent) {
    if (!node)
        return 0;
    if (node->GetType() == NodeTypeResource)
        return 1;
    HTREEITEM h = InsertOne(node, parent, node->m_Name);
    if (!h)
        return 0;
    // A group's members are resources, which the tree never shows.
    if (node->GetType() != NodeTypeGroup)
        for (CIChNode* m : node->m_Members)
            if (!InsertNodeItem(m, h))
                return 0;
    if (!m_bBuilding && parent && parent != TVI_ROOT && !GetParentItem(parent) &&
        !(TreeView_GetItemState(m_hWnd, parent, TVIS_EXPANDED) & TVIS_EXPANDED))
        Expand(parent, TVE_EXPAND);
    return 1;
}

// ---- finding --------------------------------------------------------------------------------

HTREEITEM CIChModelView::FindNodeItem(CIChNode* node, HTREEITEM start, std::vector<HTREEITEM>* list) {
    std::vector<HTREEITEM> found;
    for (HTREEITEM h : ItemsOf(node))
        if (!start || start == TVI_ROOT || IsUnder(m_hWnd, h, start))
            found.push_back(h);
    if (found.size() > 1) {
        // The order of a search that checks an item's children first and then each child's
        // subtree in turn: per level, (not here, sibling index).
        HTREEITEM top = (!start || start == TVI_ROOT) ? nullptr : start;
        auto keyOf = [&](HTREEITEM h) {
            std::vector<HTREEITEM> path;
            for (HTREEITEM p = h; p && p != top; p = GetParentItem(p))
                path.push_back(p);
            std::reverse(path.begin(), path.end());
            std::vector<std::pair<int, int>> key;
            for (size_t i = 0; i < path.size(); ++i)
                key.emplace_back(i + 1 == path.size() ? 0 : 1, SiblingIndex(m_hWnd, path[i]));
            return key;
        };
        std::vector<std::pair<std::vector<std::pair<int, int>>, HTREEITEM>> keyed;
        for (HTREEITEM h : found)
            keyed.emplace_back(keyOf(h), h);
        std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < keyed.size(); ++i)
            found[i] = keyed[i].second;
    }
    if (list)
        list->insert(list->end(), found.begin(), found.end());
    return found.empty() ? nullptr : found.front();
}

int CIChModelView::SelectNode(CIChNode* node, HTREEITEM start) {
    HTREEITEM h = FindNodeItem(node, start);
    if (!h)
        return 0;
    SelectItem(h);
    return 1;
}

int CIChModelView::RefreshNodeItems(CIChNode* node) {
    std::vector<HTREEITEM> items = ItemsOf(node);
    for (HTREEITEM h : items)
        SetItemLook(h, node);
    return items.empty() ? 0 : 1;
}

// ---- link operations --------------------------------------------------------------------------

int CIChModelView::AddChildNodes(HTREEITEM item, const CIChNodeList& nodes) {
    CIChDataModel* model = Model();
    if (!m_bEditable || !item || !model)
        return 0;
    CIChNode* upper = GetItemNode(item);
    if (!upper)
        return 0;
    const bool group = upper->GetType() == NodeTypeGroup;
    std::vector<HTREEITEM> items;
    if (!group) {
        items = ItemsOf(upper);
        if (items.empty())
            return 0;
    }
    for (CIChNode* n : nodes) {
        if (!model->CanLink(n, upper))
            continue;
        n->LinkTo(upper);
        SetModified();
        for (HTREEITEM h : items)
            if (!InsertNodeItem(n, h))
                return 0;
        RefreshNodeItems(n);
    }
    return RefreshNodeItems(upper);
}

int CIChModelView::ExcludeChildNodes(HTREEITEM item, const CIChNodeList& nodes) {
    CIChDataModel* model = Model();
    if (!m_bEditable || !item || !model)
        return 0;
    CIChNode* upper = GetItemNode(item);
    std::vector<HTREEITEM> items = ItemsOf(upper);
    if (!upper || items.empty())
        return 0;
    m_deleted.clear();
    for (CIChNode* n : nodes) {
        if (n->GetType() == NodeTypeResource || !model->CanChangeLink(n, upper))
            continue;
        for (HTREEITEM u : items) {
            if (m_deleted.count(u))
                continue;
            for (HTREEITEM c : ItemsOf(n))
                if (GetParentItem(c) == u) {
                    if (!DeleteItemIndexed(c))
                        return 0;
                    break;
                }
        }
    }
    ClearHistory();
    SelectItem(GetRootItem());
    if (!m_deleted.count(item))
        SelectItem(item);
    for (CIChNode* n : nodes)
        if (n->GetType() != NodeTypeResource && model->CanChangeLink(n, upper)) {
            n->UnlinkFrom(upper);
            RefreshNodeItems(n);
        }
    SetModified();
    return RefreshNodeItems(upper);
}

int CIChModelView::ExcludeFromAllParents(const CIChNodeList& nodes) {
    CIChDataModel* model = Model();
    HTREEITEM selected = GetSelectedItem();
    CIChNode* selectedNode = GetItemNode(selected);
    if (!m_bEditable || !model || nodes.empty() || !selectedNode)
        return 0;
    HTREEITEM reselect = selectedNode->GetType() == nodes.front()->GetType() ? GetParentItem(selected) : selected;
    const bool resources = nodes.front()->GetType() == NodeTypeResource;
    std::vector<CIChNode*> uppers;
    m_deleted.clear();
    for (CIChNode* n : nodes) {
        CIChNodeList ups = n->m_Uppers;
        for (CIChNode* u : ups) {
            if (!model->CanChangeLink(n, u))
                continue;
            if (std::find(uppers.begin(), uppers.end(), u) == uppers.end())
                uppers.push_back(u);
            n->UnlinkFrom(u);
            if (resources)
                continue;
            for (HTREEITEM uh : ItemsOf(u))
                for (HTREEITEM c : ItemsOf(n))
                    if (GetParentItem(c) == uh) {
                        if (!DeleteItemIndexed(c))
                            return 0;
                        break;
                    }
        }
        RefreshNodeItems(n);
    }
    ClearHistory();
    SelectItem(GetRootItem());
    if (reselect && !m_deleted.count(reselect))
        SelectItem(reselect);
    SetModified();
    for (CIChNode* u : uppers)
        RefreshNodeItems(u);
    return 1;
}

int CIChModelView::DeleteNodes(CIChNodeList& nodes) {
    CIChDataModel* model = Model();
    if (!m_bEditable || !model || nodes.empty())
        return 0;
    HTREEITEM remembered = GetSelectedItem();
    if (!nodes.front()->IsModelNode())
        return 0;
    nodes.remove_if([](CIChNode* n) { return n->m_Removable == 0; });
    if (nodes.empty())
        return 0;
    m_deleted.clear();
    // The neighbours that stay: their items show new counts and states afterwards.
    std::unordered_set<CIChNode*> doomed(nodes.begin(), nodes.end());
    std::vector<CIChNode*> neighbours;
    std::unordered_set<CIChNode*> seen;
    for (CIChNode* n : doomed)
        for (const CIChNodeList* links : {&n->m_Uppers, &n->m_Members})
            for (CIChNode* x : *links)
                if (!doomed.count(x) && seen.insert(x).second)
                    neighbours.push_back(x);
    // Their items leave the tree (resources have none).
    for (CIChNode* n : nodes)
        for (HTREEITEM h : ItemsOf(n)) {
            if (m_deleted.count(h))
                continue;
            HTREEITEM parent = GetParentItem(h);
            DeleteItemIndexed(h);
            if (remembered && m_deleted.count(remembered))
                remembered = parent;
        }
    // Out of the model in one pass: the caller frees the nodes next.
    model->DetachNodes(nodes);
    const bool resourceTree = m_pHost && m_pHost->GetCurrentCategory() == 7100;
    for (CIChNode* x : neighbours)
        if (!(resourceTree && x->GetType() == NodeTypeResource))
            RefreshNodeItems(x);
    ClearHistory();
    // The panes let go of the nodes before the caller frees them, whoever the caller is.
    if (m_pHost)
        m_pHost->ForgetNodes(nodes);
    if (doomed.count(m_pLastSelectedNode))
        m_pLastSelectedNode = nullptr;
    SelectItem(GetRootItem());
    if (remembered && !m_deleted.count(remembered))
        SelectItem(remembered);
    SetModified();
    return 1;
}

// ---- images -----------------------------------------------------------------------------------

int CIChModelView::SetImageLists(UINT normalId, UINT stateId) {
    HINSTANCE inst = KvUi::GetResourceHandle();
    if (!m_hNormal && normalId) {
        HBITMAP bmp = (HBITMAP)::LoadImageW(inst, MAKEINTRESOURCEW(normalId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        if (!bmp)
            return 0;
        m_hNormal = ImageList_Create(16, 16, ILC_COLORDDB | ILC_MASK, 17, 4);
        if (m_hNormal)
            ImageList_AddMasked(m_hNormal, bmp, RGB(255, 0, 255));
        ::DeleteObject(bmp);
        if (!m_hNormal)
            return 0;
        TreeView_SetImageList(m_hWnd, m_hNormal, TVSIL_NORMAL);
    }
    if (!m_hState && stateId) {
        HBITMAP bmp = (HBITMAP)::LoadImageW(inst, MAKEINTRESOURCEW(stateId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        if (!bmp)
            return 0;
        m_hState = ImageList_Create(16, 14, ILC_COLORDDB | ILC_MASK, 5, 1);
        if (m_hState) {
            // A blank image first: state image n then shows usage state n.
            HDC screen = ::GetDC(nullptr);
            HBITMAP blank = ::CreateCompatibleBitmap(screen, 16, 14);
            HDC dc = ::CreateCompatibleDC(screen);
            HGDIOBJ old = ::SelectObject(dc, blank);
            HBRUSH magenta = ::CreateSolidBrush(RGB(255, 0, 255));
            RECT rc = {0, 0, 16, 14};
            ::FillRect(dc, &rc, magenta);
            ::DeleteObject(magenta);
            ::SelectObject(dc, old);
            ::DeleteDC(dc);
            ::ReleaseDC(nullptr, screen);
            ImageList_AddMasked(m_hState, blank, RGB(255, 0, 255));
            ::DeleteObject(blank);
            ImageList_AddMasked(m_hState, bmp, RGB(255, 0, 255));
        }
        ::DeleteObject(bmp);
        if (!m_hState)
            return 0;
        TreeView_SetImageList(m_hWnd, m_hState, TVSIL_STATE);
    }
    return 1;
}

// ---- history ------------------------------------------------------------------------------------

void CIChModelView::RecordHistory(HTREEITEM item) {
    if (m_bHistoryMove) {
        m_bHistoryMove = false;
        return;
    }
    if (item == m_hHistoryCurrent)
        return;
    if (m_hHistoryCurrent)
        m_back.push_back(m_hHistoryCurrent);
    m_hHistoryCurrent = item;
    m_forward.clear();
}

void CIChModelView::SelectHistoryItem(HTREEITEM h) {
    m_bHistoryMove = true;
    SelectItem(h);
    // A selection of another item of the same node records nothing: the flag goes all the same.
    m_bHistoryMove = false;
}

void CIChModelView::GoBack() {
    if (m_back.empty())
        return;
    if (m_hHistoryCurrent)
        m_forward.push_back(m_hHistoryCurrent);
    m_hHistoryCurrent = m_back.back();
    m_back.pop_back();
    SelectHistoryItem(m_hHistoryCurrent);
}

void CIChModelView::GoForward() {
    if (m_forward.empty())
        return;
    if (m_hHistoryCurrent)
        m_back.push_back(m_hHistoryCurrent);
    m_hHistoryCurrent = m_forward.back();
    m_forward.pop_back();
    SelectHistoryItem(m_hHistoryCurrent);
}

void CIChModelView::GoHome() {
    if (m_back.empty())
        return;
    while (!m_back.empty()) {
        if (m_hHistoryCurrent)
            m_forward.push_back(m_hHistoryCurrent);
        m_hHistoryCurrent = m_back.back();
        m_back.pop_back();
    }
    SelectHistoryItem(m_hHistoryCurrent);
}

void CIChModelView::ClearHistory() {
    m_back.clear();
    m_forward.clear();
    m_hHistoryCurrent = nullptr;
    m_bHistoryMove = false;
}

// ---- notifications --------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CIChModelView, KvUi::CTreeCtrl)
ON_NOTIFY_REFLECT(TVN_SELCHANGEDW, OnReflectSelChanged)
ON_NOTIFY_REFLECT(TVN_BEGINDRAGW, OnReflectBeginDrag)
ON_NOTIFY_REFLECT(TVN_BEGINLABELEDITW, OnReflectBeginLabelEdit)
ON_NOTIFY_REFLECT(TVN_ENDLABELEDITW, OnReflectEndLabelEdit)
KV_END_MESSAGE_MAP()

BOOL CIChModelView::OnParentNotify(NMHDR* hdr, LRESULT* pResult) {
    *pResult = 0;
    return OnChildNotify(WM_NOTIFY, hdr->idFrom, reinterpret_cast<LPARAM>(hdr), pResult);
}

void CIChModelView::OnReflectSelChanged(NMHDR* hdr, LRESULT* pResult) {
    *pResult = 0;
    if (!m_bClearing)
        OnSelChanged(reinterpret_cast<NMTREEVIEWW*>(hdr));
}

void CIChModelView::OnReflectBeginDrag(NMHDR* hdr, LRESULT* pResult) {
    *pResult = 0;
    OnBeginDrag(reinterpret_cast<NMTREEVIEWW*>(hdr)->itemNew.hItem);
}

void CIChModelView::OnReflectBeginLabelEdit(NMHDR* hdr, LRESULT* pResult) {
    *pResult = OnBeginLabelEdit(reinterpret_cast<NMTVDISPINFOW*>(hdr));
}

void CIChModelView::OnReflectEndLabelEdit(NMHDR* hdr, LRESULT* pResult) {
    *pResult = OnEndLabelEdit(reinterpret_cast<NMTVDISPINFOW*>(hdr));
}

void CIChModelView::OnSelChanged(NMTREEVIEWW* tv) {
    HTREEITEM h = tv->itemNew.hItem;
    CIChNode* node = GetItemNode(h);
    if (node == m_pLastSelectedNode)
        return;
    m_pLastSelectedNode = node;
    if (m_pHost)
        m_pHost->SetCurrentNode(node, 1);
    if (h)
        RecordHistory(h);
}

// ---- renaming -------------------------------------------------------------------------------------

void CIChModelView::EditLabel() {
    if (!m_bEditable || ::GetFocus() != m_hWnd)
        return;
    HTREEITEM sel = GetSelectedItem();
    if (!sel)
        return;
    // The flag is set by the begin notification only when the edit is allowed.
    HWND edit = TreeView_EditLabel(m_hWnd, sel);
    if (edit)
        ::SendMessageW(edit, EM_LIMITTEXT, 40, 0);
}

static bool MayRename(const CIChNode* node) {
    if (!node || !node->IsModelNode())
        return false;
    int type = node->GetType();
    if (type == NodeTypeResource || type == NodeTypeSubject)
        return false;
    if (type == NodeTypeJob && static_cast<const CIChJob*>(node)->m_SubType == JobBoard)
        return false;
    return node->m_Id >= 0;
}

BOOL CIChModelView::OnBeginLabelEdit(NMTVDISPINFOW* di) {
    CIChNode* node = GetItemNode(di->item.hItem);
    if (!m_bEditable || !di->item.hItem || !MayRename(node))
        return TRUE; // refused
    if (m_pHost)
        m_pHost->SetLabelEditFlag(1);
    if (HWND edit = TreeView_GetEditControl(m_hWnd))
        ::SendMessageW(edit, EM_LIMITTEXT, 40, 0);
    return FALSE;
}

BOOL CIChModelView::OnEndLabelEdit(NMTVDISPINFOW* di) {
    if (m_pHost)
        m_pHost->SetLabelEditFlag(0);
    if (!di->item.pszText)
        return FALSE; // cancelled
    CIChNode* node = GetItemNode(di->item.hItem);
    CIChDataModel* model = Model();
    if (!node || !node->IsModelNode() || node->GetType() == NodeTypeResource || node->GetType() == NodeTypeSubject ||
        !model)
        return FALSE;
    std::wstring text = KvUi::TrimSpace(di->item.pszText);
    if (text.empty()) {
        PostMessage(WM_REEDIT_LABEL, reinterpret_cast<WPARAM>(di->item.hItem));
        return FALSE;
    }
    if (text == node->m_Name)
        return FALSE;
    int type = node->GetType();
    // Groups and jobs clash only with their own SubType.
    int subType = (type == NodeTypeGroup || type == NodeTypeJob) ? GetNodeSubType(node) : 0;
    node->SetName(L"");
    std::wstring candidate = text;
    for (int n = 1; model->FindNodeByName(type, candidate, subType); ++n)
        candidate = format_wstring(L"%s%d", text.c_str(), n);
    node->SetName(candidate);
    node->SetModifyTime(nullptr);
    SetModified();
    RefreshNodeItems(node);
    if (m_pHost)
        m_pHost->SetCurrentNode(node, 0);
    // The items already show the name as stored (perhaps numbered): the control must not put the
    // typed text back over it.
    return FALSE;
}

// ---- drag and drop --------------------------------------------------------------------------------

void CIChModelView::OnBeginDrag(HTREEITEM item) {
    m_hDropTarget = nullptr;
    m_hDragItem = item;
    if (!item)
        return;
    SelectItem(item);
    if (!m_bEditable)
        return;
    if (m_hDragImage)
        ImageList_Destroy(m_hDragImage);
    m_hDragImage = TreeView_CreateDragImage(m_hWnd, item);
    if (!m_hDragImage)
        return;
    if (HWND tips = TreeView_GetToolTips(m_hWnd))
        ::SendMessageW(tips, TTM_ACTIVATE, FALSE, 0);
    ImageList_BeginDrag(m_hDragImage, 0, -15, -15);
    POINT pt;
    ::GetCursorPos(&pt);
    ImageList_DragEnter(nullptr, pt.x, pt.y);
    m_bDragging = true;
    ::SetCapture(m_hWnd);
}

void CIChModelView::EndDrag(bool drop) {
    if (!m_bDragging)
        return;
    m_bDragging = false;
    ImageList_DragLeave(nullptr);
    ImageList_EndDrag();
    if (::GetCapture() == m_hWnd)
        ::ReleaseCapture();
    if (m_hDragImage) {
        ImageList_Destroy(m_hDragImage);
        m_hDragImage = nullptr;
    }
    TreeView_SelectDropTarget(m_hWnd, nullptr);
    if (HWND tips = TreeView_GetToolTips(m_hWnd))
        ::SendMessageW(tips, TTM_ACTIVATE, TRUE, 0);
    HTREEITEM target = m_hDropTarget;
    HTREEITEM dragged = m_hDragItem;
    m_hDropTarget = nullptr;
    m_hDragItem = nullptr;
    if (!drop || !target || !dragged || target == dragged || target == GetParentItem(dragged) ||
        IsAncestor(dragged, target))
        return;
    CIChNode* node = GetItemNode(dragged);
    CIChNodeList list(1, node);
    if (!AddChildNodes(target, list))
        return;
    Expand(target, TVE_EXPAND);
    for (HTREEITEM c : ItemsOf(node))
        if (GetParentItem(c) == target) {
            SelectItem(c);
            return;
        }
    SelectItem(nullptr);
}

LRESULT CIChModelView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (m_bDragging) {
        switch (msg) {
        case WM_MOUSEMOVE: {
            POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
            POINT screen = pt;
            ::ClientToScreen(m_hWnd, &screen);
            ImageList_DragMove(screen.x, screen.y);
            TVHITTESTINFO ht = {};
            ht.pt = pt;
            HTREEITEM over = TreeView_HitTest(m_hWnd, &ht);
            if (!(ht.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON)))
                over = nullptr;
            // Over empty space there is no target: a release there links nothing.
            if (over != m_hDropTarget) {
                ImageList_DragShowNolock(FALSE);
                TreeView_SelectDropTarget(m_hWnd, over);
                ImageList_DragShowNolock(TRUE);
                m_hDropTarget = over;
            }
            return 0;
        }
        case WM_LBUTTONUP:
            EndDrag(true);
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) {
                EndDrag(false);
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            EndDrag(false);
            return 0;
        }
    }
    if (msg == WM_REEDIT_LABEL) {
        HTREEITEM h = reinterpret_cast<HTREEITEM>(wp);
        if (h && h == GetSelectedItem()) {
            ::SetFocus(m_hWnd);
            if (HWND edit = TreeView_EditLabel(m_hWnd, h))
                ::SendMessageW(edit, EM_LIMITTEXT, 40, 0);
        }
        return 0;
    }
    return CTreeCtrl::WindowProc(msg, wp, lp);
}
