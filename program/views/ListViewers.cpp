#include "ListViewers.h"

#include "IChDataModel.h"
#include "IChFolder.h"
#include "resource.h"

#include <KvRegTokens.h>
#include <valkit.h>

#include <unordered_set>

namespace {
std::wstring Count(size_t n) { return std::to_wstring(n); }

void ReplaceAll(std::wstring& s, const std::wstring& what, const std::wstring& with) {
    for (size_t at = s.find(what); at != std::wstring::npos; at = s.find(what, at + with.size()))
        s.replace(at, what.size(), with);
}

// The value-name tokens of a registry value in plain form: the default-value token as
// "(Default)"; only when it is absent, every backslash token as "\".
std::wstring PlainTokens(std::wstring s) {
    if (s.find(RegDefaultValueToken) != std::wstring::npos)
        ReplaceAll(s, RegDefaultValueToken, L"(Default)");
    else
        ReplaceAll(s, RegBackslashToken, L"\\");
    return s;
}

bool HasUpperOfKind(const CIChNode* n, int kind) {
    for (const CIChNode* u : n->m_Uppers)
        if (u->GetType() == kind)
            return true;
    return false;
}

// The columns that every viewer shows alike, by column of each viewer (None: the viewer's own).
const CIChViewNode::Field kTaskFields[6] = {CIChViewNode::Name, CIChViewNode::Time,   CIChViewNode::Description,
                                            CIChViewNode::None, CIChViewNode::Uppers, CIChViewNode::Members};
const CIChViewNode::Field kJobFields[5] = {CIChViewNode::Name, CIChViewNode::Time, CIChViewNode::Description,
                                           CIChViewNode::Uppers, CIChViewNode::Members};
const CIChViewNode::Field kSubjectFields[6] = {CIChViewNode::Name,    CIChViewNode::Description, CIChViewNode::None,
                                               CIChViewNode::Members, CIChViewNode::None,        CIChViewNode::None};

const UINT kListCommands[] = {3001,
                              3006,
                              3011,
                              3016,
                              3021,
                              3026,
                              3031,
                              3036,
                              3041,
                              3046,
                              3051,
                              3056,
                              3066,
                              3071,
                              3081,
                              3086,
                              3091,
                              3096,
                              3101,
                              ID_RES_DEPENDENCIES,
                              ID_RES_PATH_VARIABLES};
} // namespace

// ---- the common viewer -----------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CIChViewNode, CIChList)
ON_UPDATE_COMMAND_UI_RANGE(3001, 3101, OnUpdateListCommand)
ON_UPDATE_COMMAND_UI_RANGE(ID_RES_DEPENDENCIES, ID_RES_PATH_VARIABLES, OnUpdateListCommand)
ON_COMMAND(ID_EDIT_SELECT_ALL, OnSelectAll)
ON_UPDATE_COMMAND_UI(ID_EDIT_SELECT_ALL, OnUpdateSelectAll)
KV_END_MESSAGE_MAP()

int CIChViewNode::CreateList(KvUi::CWnd* parent, int id) {
    if (!CIChList::Create(parent, id))
        return 0;
    SetGridLines(m_pHost ? m_pHost->GetListGrid() : 0);
    return 1;
}

void CIChViewNode::AddColumns(const ColumnSpec* columns, int count) {
    for (int i = 0; i < count; ++i)
        AddColumn(i, KvUi::LoadStr(columns[i].heading).c_str(), columns[i].width, columns[i].fmt);
}

int CIChViewNode::FillAllOrMembers(CIChNode* data, int allKind, int memberKind) {
    if (!data)
        return 1;
    CIChDataModel* model = m_pHost ? m_pHost->GetModel() : nullptr;
    const CIChNodeList* rows = nullptr;
    if (data->GetType() == allKind && model)
        rows = model->GetNodeList(allKind - 1);
    else if (data->GetType() == memberKind)
        rows = &data->m_Members;
    if (!rows)
        return 1;
    for (CIChNode* n : *rows)
        AddRow(n);
    return 0;
}

void CIChViewNode::CommonText(const CIChNode* node, Field field, std::wstring& text) {
    switch (field) {
    case Name:
        text = node->m_Name;
        break;
    case Time:
        text = TimeText(node->m_ModifyTime);
        break;
    case Description:
        text = node->m_Description;
        break;
    case Uppers:
        text = Count(node->m_Uppers.size());
        break;
    case Members:
        text = Count(node->m_Members.size());
        break;
    case None:
        break;
    }
}

void CIChViewNode::CommonKey(const CIChNode* node, Field field, CListSortKey& key) {
    switch (field) {
    case Name:
        TextKey(node->m_Name, false, key);
        break;
    case Time:
        TimeKey(node->m_ModifyTime, key);
        break;
    case Description:
        TextKey(node->m_Description, false, key);
        break;
    case Uppers:
        key.number = (long long)node->m_Uppers.size();
        break;
    case Members:
        key.number = (long long)node->m_Members.size();
        break;
    case None:
        break;
    }
}

int CIChViewNode::GetSelectedNodes(CIChNodeList& list) {
    for (int i : KvUi::CListCtrl::GetSelectedItems())
        if (CIChNode* n = GetRowNode(i))
            list.push_back(n);
    return (int)list.size();
}

CIChNode* CIChViewNode::First() const { return GetRowNode(GetNextItem(-1, LVNI_SELECTED)); }

int CIChViewNode::GetContextMenuId() {
    int n = GetSelectedCount();
    if (n > 1)
        return GetListId();
    if (n == 1)
        return m_pHost ? m_pHost->GetNodeMenuId(First()) : 0;
    CIChNode* current = m_pHost ? m_pHost->GetCurrentTreeNode() : nullptr;
    return current && !current->IsModelNode() ? GetListId() + 1 : 0;
}

namespace {
// Every command id of the menu and its submenus becomes id + 1, but 3602 and 3603.
void ShiftMenuIds(HMENU menu) {
    int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        MENUITEMINFOW mi = {sizeof mi};
        mi.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!::GetMenuItemInfoW(menu, i, TRUE, &mi))
            continue;
        if (mi.hSubMenu) {
            ShiftMenuIds(mi.hSubMenu);
            continue;
        }
        if ((mi.fType & MFT_SEPARATOR) || mi.wID == 0 || mi.wID == ID_RES_DEPENDENCIES ||
            mi.wID == ID_RES_PATH_VARIABLES)
            continue;
        mi.fMask = MIIM_ID;
        mi.wID += 1;
        ::SetMenuItemInfoW(menu, i, TRUE, &mi);
    }
}
} // namespace

HMENU CIChViewNode::MakeContextMenu() {
    int id = GetContextMenuId();
    if (id <= 0)
        return nullptr;
    HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(id));
    if (!menu)
        return nullptr;
    if (GetSelectedCount() > 0)
        ShiftMenuIds(::GetSubMenu(menu, 0));
    return menu;
}

LRESULT CIChViewNode::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CONTEXTMENU && reinterpret_cast<HWND>(wp) == m_hWnd) {
        ::SetFocus(m_hWnd);
        if (HMENU menu = MakeContextMenu()) {
            PopupMenu(menu, lp);
            ::DestroyMenu(menu);
        }
        return 0;
    }
    return CIChList::WindowProc(msg, wp, lp);
}

int CIChViewNode::OnItemActivate(int item, int byTimer) {
    CIChNode* node = GetRowNode(item);
    if (!node)
        return 1;
    if (!byTimer) {
        if (!m_pHost || !m_pHost->SelectInTree(node))
            ::PostMessageW(CommandWnd(), WM_COMMAND, ID_KEY_ENTER, 0);
        return 0;
    }
    CIChNodeList selected;
    GetSelectedNodes(selected);
    if (m_pHost)
        m_pHost->ShowRelations(&selected);
    return 0;
}

bool CIChViewNode::Handled(UINT id) {
    KvUi::CWnd* w = KvUi::CWnd::FromHandlePermanent(CommandWnd());
    if (!w)
        return false;
    KvUi::CmdHandlerInfo info;
    return w->OnCmdMsg(id, KvUi::CN_COMMAND, nullptr, &info) != FALSE;
}

bool CIChViewNode::IsCommandEnabled(UINT id, int* check) {
    const int n = GetSelectedCount();
    CIChNode* first = First();
    const int type = first ? first->GetType() : 0;
    const bool own = first && first->m_Id >= 0;
    const CIChResorce* res = type == NodeTypeResource ? static_cast<const CIChResorce*>(first) : nullptr;
    CIChDataModel* model = m_pHost ? m_pHost->GetModel() : nullptr;
    switch (id) {
    case 3001:
        return n == 1 && first;
    case 3006: {
        if (n != 1 || !first || !model || !(own || type == NodeTypeSubject))
            return false;
        switch (type) {
        case NodeTypeGroup:
            return !model->m_Resources.empty();
        case NodeTypeTask:
            return !model->m_Groups.empty();
        case NodeTypeJob:
            return !model->m_Tasks.empty() || !model->m_Groups.empty();
        case NodeTypeSubject:
            return !model->m_Jobs.empty();
        }
        return false;
    }
    case 3011:
        return first && first->m_Removable;
    case 3016:
    case 3031:
        return false;
    case 3021: {
        CIChNode* current = m_pHost ? m_pHost->GetCurrentTreeNode() : nullptr;
        return first && current && model && model->CanChangeLink(first, current);
    }
    case 3026:
        return n >= 1;
    case 3036:
    case 3041:
    case 3096:
        return n == 1 && type == NodeTypeGroup && own;
    case 3046:
        if (check && res)
            *check = res->m_Controlled ? 1 : 0;
        return n >= 1 && res && own;
    case 3051:
    case 3056:
    case 3081:
    case 3101:
        return n == 1 && (type == NodeTypeTask || type == NodeTypeJob) && own;
    case 3066:
        if (check && res)
            *check = res->m_Executable ? 1 : 0;
        return n >= 1 && res && res->m_SubType == ResFile && own;
    case 3071:
    case 3086:
        return n == 1 && type == NodeTypeJob && own;
    case 3091:
        return first && ((first->IsModelNode() && own) || res) && !first->m_Uppers.empty();
    case ID_RES_DEPENDENCIES:
        return n >= 1 && res && res->m_SubType == ResFile;
    case ID_RES_PATH_VARIABLES:
        return n >= 1 && res && (res->m_SubType == ResFile || res->m_SubType == ResDirectory) && own;
    }
    return false;
}

void CIChViewNode::OnUpdateListCommand(KvUi::CCmdUI* pCmdUI) {
    UINT id = pCmdUI->m_nID;
    bool listed = false;
    for (UINT c : kListCommands)
        listed = listed || c == id;
    if (!listed || !m_hWnd)
        return pCmdUI->ContinueRouting();
    int check = -1;
    bool on = IsCommandEnabled(id, &check) && Handled(id);
    pCmdUI->Enable(on);
    if (check >= 0)
        pCmdUI->SetCheck(check);
}

void CIChViewNode::OnSelectAll() {
    if (m_hWnd && ::IsWindowVisible(m_hWnd))
        SelectAll();
}

int CIChViewNode::UpdateRow(CIChNode* node, bool accepted) {
    if (!accepted)
        return 1;
    int row = FindRow(node);
    if (row < 0)
        return 2;
    RowChanged(row);
    return 0;
}

void CIChViewNode::OnUpdateSelectAll(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(m_hWnd && GetItemCount() > 0); }

std::wstring CIChViewNode::TimeText(const FILETIME& t) {
    SYSTEMTIME st = {};
    FileTimeToLocalSystemTime(t, st);
    wchar_t buf[64];
    _snwprintf(buf, 64, L"%0.2d.%0.2d.%0.4d   %0.2d:%0.2d:%0.2d", st.wDay, st.wMonth, st.wYear, st.wHour, st.wMinute,
               st.wSecond);
    buf[63] = 0;
    return buf;
}

void CIChViewNode::TimeKey(const FILETIME& t, CListSortKey& key) {
    key.number = (long long)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime);
}

// ---- resources ------------------------------------------------------------------------------------

int CRGroupViewer::Create(KvUi::CWnd* parent) { return CreateList(parent, 200); }

const wchar_t* CRGroupViewer::TypeText(int subType) {
    // Loaded once: the list asks for the text of every row it draws.
    static const std::wstring kTypes[] = {KvUi::LoadStr(IDS_RES_TYPE_FILE),   KvUi::LoadStr(IDS_RES_TYPE_FOLDER),
                                          KvUi::LoadStr(IDS_RES_TYPE_VALUE),  KvUi::LoadStr(IDS_RES_TYPE_KEY),
                                          KvUi::LoadStr(IDS_RES_TYPE_SECTOR), KvUi::LoadStr(IDS_RES_TYPE_DEVICE),
                                          KvUi::LoadStr(IDS_RES_TYPE_SMBIOS), KvUi::LoadStr(IDS_RES_TYPE_SMBIOS_VALUE)};
    return subType >= 0 && subType < 8 ? kTypes[subType].c_str() : L"";
}

// The yes/no texts of the list ("ДА" or "нет"), loaded once for the same reason.
static const std::wstring& YesNoText(bool yes) {
    static const std::wstring kYes = KvUi::LoadStr(IDS_LIST_YES), kNo = KvUi::LoadStr(IDS_LIST_NO);
    return yes ? kYes : kNo;
}

std::wstring CRGroupViewer::PlainName(const CIChResorce* r) {
    return r->m_SubType == ResRegValue ? PlainTokens(r->m_Description) : r->m_Description;
}

std::wstring CRGroupViewer::PlainPath(const CIChResorce* r) {
    return r->m_SubType == ResRegValue ? PlainTokens(r->m_Name) : r->m_Name;
}

void CRGroupViewer::InsertColumns() {
    static const ColumnSpec kColumns[] = {{IDS_COL_NAME, 150},
                                          {IDS_COL_CHANGED, 121},
                                          {IDS_COL_PATH, 230},
                                          {IDS_COL_TYPE, 70},
                                          {IDS_COL_CONTROL, 60, LVCFMT_CENTER},
                                          {IDS_COL_EXECUTABLE, 82, LVCFMT_CENTER},
                                          {IDS_COL_GROUPS, 50}};
    AddColumns(kColumns, 7);
}

int CRGroupViewer::FillItems(CIChNode* data) {
    if (!data)
        return 1;
    const int kind = data->GetType();
    if (kind == NodeTypeGroup) {
        for (CIChNode* m : data->m_Members)
            AddRow(m);
        return 0;
    }
    if (kind != FolderResources)
        return 2;
    CIChDataModel* model = m_pHost ? m_pHost->GetModel() : nullptr;
    if (!model)
        return 1;
    const std::wstring& key = data->m_Description;
    int family = -1;
    for (int i = 0; i < 4; ++i)
        if (key == kResourceFamilyTags[i])
            family = i;
    if (key.empty()) {
        for (CIChNode* r : model->m_Resources)
            AddRow(r);
        return 0;
    }
    if (family >= 0) {
        for (CIChNode* r : model->m_Resources)
            if (GetResourceFolderIndex(static_cast<CIChResorce*>(r)->m_SubType) == family)
                AddRow(r);
        return 0;
    }
    // A path folder: the resources of its family whose path starts with the folder's.
    family = static_cast<CIChFolder*>(data)->m_Family;
    const std::wstring prefix = strupper(key);
    for (CIChNode* r : model->m_Resources) {
        const CIChResorce* res = static_cast<CIChResorce*>(r);
        if (GetResourceFolderIndex(res->m_SubType) != family || res->m_Name.size() < prefix.size())
            continue;
        if (strupper(res->m_Name.substr(0, prefix.size())) == prefix)
            AddRow(r);
    }
    return 0;
}

void CRGroupViewer::GetNodeText(CIChNode* node, int column, std::wstring& text) {
    const CIChResorce* r = static_cast<const CIChResorce*>(node);
    switch (column) {
    case 0:
        text = PlainName(r);
        break;
    case 1:
        text = TimeText(r->m_ModifyTime);
        break;
    case 2:
        text = r->m_SubType == ResRegValue ? PlainTokens(r->m_Path) : r->m_Path;
        break;
    case 3:
        text = TypeText(r->m_SubType);
        break;
    case 4:
        text = YesNoText(r->m_Controlled != 0);
        break;
    case 5:
        text = YesNoText(r->m_Executable != 0);
        break;
    case 6:
        text = Count(r->m_Uppers.size());
        break;
    }
}

void CRGroupViewer::GetSortKey(CIChNode* node, int column, CListSortKey& key) {
    const CIChResorce* r = static_cast<const CIChResorce*>(node);
    switch (column) {
    case 0:
        TextKey(PlainName(r), false, key);
        break;
    case 1:
        TimeKey(r->m_ModifyTime, key);
        break;
    case 2:
        TextKey(r->m_Path, true, key);
        break;
    case 3:
        key.number = r->m_SubType + (r->m_Id < 0 ? 10 : 0);
        break;
    case 4:
        key.number = r->m_Controlled;
        break;
    case 5:
        key.number = r->m_Executable;
        break;
    case 6:
        key.number = (long long)r->m_Uppers.size();
        break;
    }
}

int CRGroupViewer::IsUncontrolledItem(CIChNode* node, int) {
    return !static_cast<const CIChResorce*>(node)->m_Controlled;
}

int CRGroupViewer::IsExistingItem(CIChNode* node, int) { return static_cast<const CIChResorce*>(node)->m_Valid != 0; }

int CRGroupViewer::GetItemTip(CIChNode* node, std::wstring& text) {
    const CIChResorce* r = static_cast<const CIChResorce*>(node);
    text = std::wstring(TypeText(r->m_SubType)) + L": " + PlainPath(r);
    return 1;
}

int CRGroupViewer::UpdateItem(CIChNode* node) { return UpdateRow(node, node && node->GetType() == NodeTypeResource); }

// ---- groups ------------------------------------------------------------------------------------------

int CTaskViewer::Create(KvUi::CWnd* parent) { return CreateList(parent, 202); }

void CTaskViewer::InsertColumns() {
    static const ColumnSpec kColumns[] = {{IDS_COL_NAME, 150}, {IDS_COL_CHANGED_F, 121}, {IDS_COL_DESCRIPTION, 250},
                                          {IDS_COL_TYPE, 100}, {IDS_COL_BELONGS, 85},    {IDS_CAT_RESOURCES, 55}};
    AddColumns(kColumns, 6);
}

int CTaskViewer::FillItems(CIChNode* data) { return FillAllOrMembers(data, FolderGroups, NodeTypeTask); }

void CTaskViewer::GetNodeText(CIChNode* node, int column, std::wstring& text) {
    static const UINT kTypes[] = {IDS_GROUP_TYPE_FILES, IDS_FAMILY_REGISTRY, IDS_FAMILY_SECTORS, IDS_FAMILY_HARDWARE};
    const CIChRGroup* g = static_cast<const CIChRGroup*>(node);
    if (column == 3)
        text = g->m_SubType >= 0 && g->m_SubType < 4 ? KvUi::LoadStr(kTypes[g->m_SubType]) : L"";
    else
        CommonText(node, kTaskFields[column], text);
}

void CTaskViewer::GetSortKey(CIChNode* node, int column, CListSortKey& key) {
    if (column == 3)
        key.number = static_cast<const CIChRGroup*>(node)->m_SubType;
    else
        CommonKey(node, kTaskFields[column], key);
}

int CTaskViewer::UpdateItem(CIChNode* node) { return UpdateRow(node, node && node->GetType() == NodeTypeGroup); }

// ---- tasks (and the groups of a job), jobs ---------------------------------------------------------

int CJobViewer::Create(KvUi::CWnd* parent) { return CreateList(parent, m_nOwnId); }

void CJobViewer::InsertColumns() {
    static const ColumnSpec kColumns[] = {{IDS_COL_NAME, 150},
                                          {IDS_COL_CHANGED_F, 121},
                                          {IDS_COL_DESCRIPTION, 250},
                                          {IDS_COL_BELONGS, 85},
                                          {IDS_COL_CONTAINS, 70}};
    AddColumns(kColumns, 5);
}

void CSubjectViewer::InsertColumns() {
    static const ColumnSpec kColumns[] = {{IDS_COL_NAME, 150},
                                          {IDS_COL_CHANGED_N, 121},
                                          {IDS_COL_DESCRIPTION, 200},
                                          {IDS_COL_SUBJECTS, 70},
                                          {IDS_COL_CONTAINS, 70}};
    AddColumns(kColumns, 5);
}

int CJobViewer::FillItems(CIChNode* data) { return FillAllOrMembers(data, m_nAllKind, m_nMemberKind); }

void CJobViewer::GetNodeText(CIChNode* node, int column, std::wstring& text) {
    CommonText(node, kJobFields[column], text);
}

void CJobViewer::GetSortKey(CIChNode* node, int column, CListSortKey& key) { CommonKey(node, kJobFields[column], key); }

bool CJobViewer::AcceptsRow(const CIChNode* node) const {
    return node->GetType() == NodeTypeGroup || node->GetType() == NodeTypeTask;
}

bool CSubjectViewer::AcceptsRow(const CIChNode* node) const { return node->GetType() == NodeTypeJob; }

int CSubjectViewer::IsErrorItem(CIChNode* node, int) {
    int state = node->GetUsageState();
    return state != UsageInUse && state != UsageNoUppers;
}

int CSubjectViewer::IsUncontrolledItem(CIChNode* node, int) { return !HasUpperOfKind(node, NodeTypeSubject); }

int CJobViewer::UpdateItem(CIChNode* node) { return UpdateRow(node, node && AcceptsRow(node)); }

// ---- subjects -------------------------------------------------------------------------------------

int CASubjViewer::Create(KvUi::CWnd* parent) { return CreateList(parent, 208); }

void CASubjViewer::InsertColumns() {
    static const ColumnSpec kColumns[] = {{IDS_COL_NAME, 150}, {IDS_COL_DESCRIPTION, 250}, {IDS_COL_TYPE, 85},
                                          {IDS_CAT_JOBS, 55},  {IDS_CAT_RESOURCES, 54},    {IDS_COL_LOCAL_CONTROL, 87}};
    AddColumns(kColumns, 6);
}

void CASubjViewer::CountResources(CIChDataModel& model) {
    for (CIChNode* s : model.m_Subjects)
        static_cast<CIChSubject*>(s)->m_ResourceCount = 0;
    CIChNodeList above;
    std::unordered_set<CIChNode*> counted;
    for (CIChNode* r : model.m_Resources) {
        above.clear();
        counted.clear();
        CIChNode::CollectUpperNodes(r, &above, nullptr);
        for (CIChNode* u : above)
            if (u->GetType() == NodeTypeSubject && counted.insert(u).second)
                ++static_cast<CIChSubject*>(u)->m_ResourceCount;
    }
}

int CASubjViewer::FillItems(CIChNode* data) {
    CIChDataModel* model = m_pHost ? m_pHost->GetModel() : nullptr;
    if (!data || data->GetType() != FolderSubjects || !model)
        return 1;
    CountResources(*model);
    for (CIChNode* s : model->m_Subjects)
        AddRow(s);
    return 0;
}

void CASubjViewer::GetNodeText(CIChNode* node, int column, std::wstring& text) {
    static const UINT kTypes[] = {IDS_SUBJ_COMPUTER, IDS_SUBJ_USER, IDS_SUBJ_GROUP};
    const CIChSubject* s = static_cast<const CIChSubject*>(node);
    switch (column) {
    case 2:
        text = s->m_SubType >= 0 && s->m_SubType < 3 ? KvUi::LoadStr(kTypes[s->m_SubType]) : L"";
        break;
    case 4:
        text = std::to_wstring(s->m_ResourceCount);
        break;
    case 5:
        text = (s->m_Modes & 0x20) ? L"-" : KvUi::LoadStr(IDS_LOCAL_CONTROL_ON);
        break;
    default:
        CommonText(node, kSubjectFields[column], text);
        break;
    }
}

void CASubjViewer::GetSortKey(CIChNode* node, int column, CListSortKey& key) {
    const CIChSubject* s = static_cast<const CIChSubject*>(node);
    switch (column) {
    case 2:
        key.number = s->m_SubType;
        break;
    case 4:
        key.number = s->m_ResourceCount;
        break;
    case 5:
        key.number = (s->m_Modes & 0x20) ? 0 : 1;
        break;
    default:
        CommonKey(node, kSubjectFields[column], key);
        break;
    }
}

int CASubjViewer::UpdateItem(CIChNode* node) { return UpdateRow(node, node && node->GetType() == NodeTypeSubject); }
