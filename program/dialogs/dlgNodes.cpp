#include "dlgNodes.h"

#include "ViewHost.h"
#include "dlgGroupTask.h"
#include "objcmds_ids.h"

#include <algorithm>
#include <unordered_set>

// ---- add subordinates ------------------------------------------------------------------------

namespace {
// The room a header item takes around its caption.
const int kHeaderPadding = 16;
} // namespace

int CAddNodesList::CompareNodes(const CIChNode* a, const CIChNode* b, int column) {
    switch (column) {
    case 0:
        return a->m_Name.compare(b->m_Name) < 0 ? -1 : (a->m_Name == b->m_Name ? 0 : 1);
    case 1: {
        size_t x = a->m_Uppers.size(), y = b->m_Uppers.size();
        return x < y ? -1 : (x == y ? 0 : 1);
    }
    case 2:
        if (a->GetType() != NodeTypeResource || b->GetType() != NodeTypeResource)
            return 0;
        {
            const std::wstring& x = static_cast<const CIChResorce*>(a)->m_Path;
            const std::wstring& y = static_cast<const CIChResorce*>(b)->m_Path;
            return x < y ? -1 : (x == y ? 0 : 1);
        }
    }
    return 0;
}

void CAddNodesList::SortByColumn(int column) {
    SortItems([column](LPARAM a, LPARAM b) {
        return CompareNodes(reinterpret_cast<const CIChNode*>(a), reinterpret_cast<const CIChNode*>(b), column);
    });
}

KV_BEGIN_MESSAGE_MAP(dlgAddNodes, KvUi::CDialog)
ON_BN_CLICKED(IDC_ADD_SELECT_ALL, OnSelectAll)
KV_END_MESSAGE_MAP()

dlgAddNodes::dlgAddNodes(KvUi::CWnd* parent, CIChNode* selected, CIChNodeList* output)
    : KvUi::CDialog(IDD_ADD_NODES, parent), m_pSelected(selected), m_pOutput(output), m_wndList(selected, output) {
    if (auto* host = dynamic_cast<IModelViewHost*>(parent))
        m_pModel = host->GetModel();
}

void dlgAddNodes::CollectCandidates(const CIChDataModel& model, CIChNode* selected, CIChNodeList& out) {
    if (!selected || !selected->IsModelNode())
        return;
    std::unordered_set<const CIChNode*> members(selected->m_Members.begin(), selected->m_Members.end());
    auto take = [&](int type) {
        if (const CIChNodeList* list = model.GetNodeList(type))
            for (CIChNode* n : *list)
                if (!members.count(n) && model.CanLink(n, selected))
                    out.push_back(n);
    };
    const int type = selected->GetType();
    if (type >= NodeTypeGroup && type <= NodeTypeSubject)
        take(type - 2);
    if (type == NodeTypeJob)
        take(NodeTypeGroup);
}

BOOL dlgAddNodes::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    KvUi::CWaitCursor wait;
    m_wndList.SubclassDlgItem(IDC_ADD_LIST, this);
    EnableDlgItem(IDOK, FALSE);
    const bool usable = m_pOutput && m_pSelected && m_pSelected->IsModelNode() && m_pModel;
    const bool group = usable && m_pSelected->GetType() == NodeTypeGroup;
    if (group) {
        RECT rc;
        GetWindowRect(&rc);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right - rc.left + kGroupGrowth, rc.bottom - rc.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShiftControl(m_hWnd, IDC_ADD_LIST, 0, 0, kGroupGrowth, 0);
        ShiftControl(m_hWnd, IDOK, kGroupGrowth, 0, 0, 0);
        ShiftControl(m_hWnd, IDCANCEL, kGroupGrowth, 0, 0, 0);
    }
    m_wndList.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP | LVS_EX_SUBITEMIMAGES);
    m_wndList.SetImageList(m_wndList.m_Images.m_hImageList, LVSIL_SMALL);
    m_wndList.InsertColumn(0, KvUi::LoadStr(IDS_NODES_COL_OBJECT).c_str(), LVCFMT_LEFT, 240);
    // The count is narrow, its caption is not: the column is at least as wide as its caption.
    const std::wstring belongs = KvUi::LoadStr(IDS_NODES_COL_BELONGS);
    m_wndList.InsertColumn(1, belongs.c_str(), LVCFMT_LEFT,
                           std::max(85, ListView_GetStringWidth(m_wndList.m_hWnd, belongs.c_str()) + kHeaderPadding));
    if (group)
        m_wndList.InsertColumn(2, KvUi::LoadStr(IDS_NODES_COL_PATH).c_str(), LVCFMT_LEFT, 300);
    if (usable) {
        CIChNodeList candidates;
        CollectCandidates(*m_pModel, m_pSelected, candidates);
        int row = 0;
        for (CIChNode* n : candidates) {
            int i =
                m_wndList.InsertItem(row++, n->m_Name, m_wndList.m_Images.GetNodeImage(n), reinterpret_cast<LPARAM>(n));
            m_wndList.SetItemText(i, 1, std::to_wstring(n->m_Uppers.size()));
            if (group && n->GetType() == NodeTypeResource)
                m_wndList.SetItemText(i, 2, static_cast<CIChResorce*>(n)->m_Path);
        }
    }
    if (m_wndList.GetItemCount() > 0)
        m_wndList.SortByColumn(1);
    else
        ShowDlgItem(IDC_ADD_SELECT_ALL, FALSE);
    return TRUE;
}

BOOL dlgAddNodes::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
    if (hdr && hdr->idFrom == IDC_ADD_LIST && hdr->code == LVN_ITEMCHANGED && !m_bSelecting) {
        const NMLISTVIEW* lv = reinterpret_cast<const NMLISTVIEW*>(lp);
        if ((lv->uChanged & LVIF_STATE) && ((lv->uNewState ^ lv->uOldState) & LVIS_SELECTED))
            UpdateSelectionState();
    }
    return KvUi::CDialog::OnNotify(wp, lp, pResult);
}

void dlgAddNodes::UpdateSelectionState() {
    const int selected = m_wndList.GetSelectedCount();
    const int rows = m_wndList.GetItemCount();
    EnableDlgItem(IDOK, selected > 0);
    CheckDlgItem(IDC_ADD_SELECT_ALL, rows > 0 && selected == rows);
}

void dlgAddNodes::OnSelectAll() {
    if (m_wndList.GetItemCount() == 0)
        return;
    const bool all = IsDlgItemChecked(IDC_ADD_SELECT_ALL);
    m_bSelecting = true;
    m_wndList.SetSelectionMark(0);
    m_wndList.SetItemState(-1, all ? LVIS_SELECTED : 0, LVIS_SELECTED);
    m_bSelecting = false;
    UpdateSelectionState();
}

void dlgAddNodes::OnOK() {
    if (m_pOutput && m_wndList.GetSelectedCount() > 0) {
        m_pOutput->clear();
        for (int i : m_wndList.GetSelectedItems())
            m_pOutput->push_back(reinterpret_cast<CIChNode*>(m_wndList.GetItemData(i)));
    }
    EndDialog(IDOK);
}

// ---- delete ------------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgDeleteNodes, KvUi::CDialog)
ON_BN_CLICKED(IDC_DEL_SUBORDINATES, OnSubordinatesClicked)
KV_END_MESSAGE_MAP()

dlgDeleteNodes::dlgDeleteNodes(KvUi::CWnd* parent, CIChNodeList* nodes)
    : KvUi::CDialog(IDD_DELETE_NODES, parent), m_pNodes(nodes) {}

std::wstring dlgDeleteNodes::MakeTitle(const CIChNodeList& nodes) {
    static const UINT one[] = {IDS_DEL_ONE_RESOURCE, IDS_DEL_ONE_GROUP, IDS_DEL_ONE_TASK, IDS_DEL_ONE_JOB,
                               IDS_DEL_ONE_SUBJECT};
    static const UINT many[] = {IDS_DEL_MANY_RESOURCES, IDS_DEL_MANY_GROUPS, IDS_DEL_MANY_TASKS, IDS_DEL_MANY_JOBS,
                                IDS_DEL_MANY_SUBJECTS};
    if (nodes.empty())
        return std::wstring();
    const bool several = nodes.size() > 1;
    std::wstring title = KvUi::LoadStr(IDS_DEL_TITLE);
    if (several)
        title += KvUi::LoadStr(IDS_DEL_SELECTED);
    const int index = NodeTypeIndex(nodes.front()->GetType());
    if (index >= 0)
        title += KvUi::LoadStr(several ? many[index] : one[index]);
    if (!several)
        title += L" (" + nodes.front()->m_Name + L")";
    return title;
}

void dlgDeleteNodes::FitListBoxExtent(HWND listBox) {
    HDC dc = ::GetDC(listBox);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(listBox, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font ? (HGDIOBJ)font : ::GetStockObject(SYSTEM_FONT));
    TEXTMETRICW tm = {};
    ::GetTextMetricsW(dc, &tm);
    int extent = 0;
    const int count = (int)::SendMessageW(listBox, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        const int length = (int)::SendMessageW(listBox, LB_GETTEXTLEN, i, 0);
        if (length <= 0)
            continue;
        std::wstring text(length + 1, L'\0');
        ::SendMessageW(listBox, LB_GETTEXT, i, (LPARAM)&text[0]);
        SIZE sz = {};
        ::GetTextExtentPoint32W(dc, text.c_str(), length, &sz);
        extent = std::max<int>(extent, sz.cx + tm.tmAveCharWidth);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(listBox, dc);
    ::SendMessageW(listBox, LB_SETHORIZONTALEXTENT, extent, 0);
}

BOOL dlgDeleteNodes::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    if (!m_pNodes || m_pNodes->empty())
        return TRUE;
    SetWindowText(MakeTitle(*m_pNodes));
    HWND uppers = GetDlgItem(IDC_DEL_UPPERS), members = GetDlgItem(IDC_DEL_MEMBERS);
    bool anyMember = false;
    {
        KvUi::CWaitCursor wait;
        std::unordered_set<const CIChNode*> shownUppers, shownMembers;
        for (CIChNode* n : *m_pNodes) {
            for (CIChNode* u : n->m_Uppers)
                if (shownUppers.insert(u).second)
                    ::SendMessageW(uppers, LB_ADDSTRING, 0, (LPARAM)u->m_Name.c_str());
            for (CIChNode* m : n->m_Members)
                if (shownMembers.insert(m).second)
                    ::SendMessageW(members, LB_ADDSTRING, 0, (LPARAM)m->m_Name.c_str());
        }
        anyMember = !shownMembers.empty();
    }
    if (!anyMember) {
        ::SendMessageW(members, LB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(IDS_DEL_NO_MEMBERS).c_str());
        EnableDlgItem(IDC_DEL_MEMBERS, FALSE);
        EnableDlgItem(IDC_DEL_SUBORDINATES, FALSE);
    }
    if (m_pNodes->front()->GetType() != NodeTypeResource) {
        ShowDlgItem(IDC_DEL_SUBORDINATES);
        CheckDlgItem(IDC_DEL_SUBORDINATES, m_bDeleteSubordinates);
    }
    FitListBoxExtent(uppers);
    FitListBoxExtent(members);
    return TRUE;
}

void dlgDeleteNodes::OnSubordinatesClicked() { m_bDeleteSubordinates = IsDlgItemChecked(IDC_DEL_SUBORDINATES) ? 1 : 0; }
