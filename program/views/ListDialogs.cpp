#include "ListDialogs.h"

#include "resource.h"

#include <algorithm>

namespace {
const int kMaxWidth = 32767;
const UINT kFindTextLimit = 2047;
} // namespace

// ---- columns -----------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgColumns, KvUi::CDialog)
ON_BN_CLICKED(IDC_COLUMNS_INCLUDE, OnInclude)
ON_BN_CLICKED(IDC_COLUMNS_INCLUDE_ALL, OnIncludeAll)
ON_BN_CLICKED(IDC_COLUMNS_EXCLUDE, OnExclude)
ON_BN_CLICKED(IDC_COLUMNS_EXCLUDE_ALL, OnExcludeAll)
ON_BN_CLICKED(IDC_COLUMNS_UP, OnUp)
ON_BN_CLICKED(IDC_COLUMNS_DOWN, OnDown)
ON_CONTROL(BN_DOUBLECLICKED, IDC_COLUMNS_INCLUDE, OnInclude)
ON_CONTROL(BN_DOUBLECLICKED, IDC_COLUMNS_INCLUDE_ALL, OnIncludeAll)
ON_CONTROL(BN_DOUBLECLICKED, IDC_COLUMNS_EXCLUDE, OnExclude)
ON_CONTROL(BN_DOUBLECLICKED, IDC_COLUMNS_EXCLUDE_ALL, OnExcludeAll)
ON_CONTROL(BN_DOUBLECLICKED, IDC_COLUMNS_UP, OnUp)
ON_CONTROL(BN_DOUBLECLICKED, IDC_COLUMNS_DOWN, OnDown)
ON_CONTROL(LBN_SELCHANGE, IDC_COLUMNS_VISIBLE, OnVisibleSelChange)
ON_CONTROL(EN_CHANGE, IDC_COLUMNS_WIDTH, OnWidthChange)
KV_END_MESSAGE_MAP()

dlgColumns::dlgColumns(HWND parent, std::vector<CListColumn>& records)
    : KvUi::CDialog(IDD_COLUMNS, parent), m_records(records) {}

void dlgColumns::DoDataExchange(KvUi::CDataExchange* pDX) {
    KvUi::DDX_Control(pDX, IDC_COLUMNS_HIDDEN, m_wndHidden);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_VISIBLE, m_wndVisible);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_INCLUDE, m_btnInclude);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_INCLUDE_ALL, m_btnIncludeAll);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_EXCLUDE, m_btnExclude);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_EXCLUDE_ALL, m_btnExcludeAll);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_UP, m_btnUp);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_DOWN, m_btnDown);
    KvUi::DDX_Control(pDX, IDC_COLUMNS_WIDTH_SPIN, m_wndSpin);
}

BOOL dlgColumns::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    struct Look {
        KvUi::CImageButton* button;
        UINT bitmap, hot, tip;
    } looks[] = {
        {&m_btnUp, IDB_COLUMN_UP, IDB_COLUMN_UP_HOT, IDS_COLUMNS_TIP_UP},
        {&m_btnDown, IDB_COLUMN_DOWN, IDB_COLUMN_DOWN_HOT, IDS_COLUMNS_TIP_DOWN},
        {&m_btnInclude, IDB_COLUMN_INCLUDE, 0, IDS_COLUMNS_TIP_INCLUDE},
        {&m_btnIncludeAll, IDB_COLUMN_INCLUDE_ALL, 0, IDS_COLUMNS_TIP_INCLUDE_ALL},
        {&m_btnExclude, IDB_COLUMN_EXCLUDE, 0, IDS_COLUMNS_TIP_EXCLUDE},
        {&m_btnExcludeAll, IDB_COLUMN_EXCLUDE_ALL, 0, IDS_COLUMNS_TIP_EXCLUDE_ALL},
    };
    for (const Look& l : looks) {
        l.button->SetImage(l.bitmap, l.hot);
        l.button->SetTooltip(KvUi::LoadStr(l.tip));
    }
    m_wndSpin.SetRange32(1, kMaxWidth);
    for (int i = 0; i < (int)m_records.size(); ++i)
        AddItem(m_records[i].visible ? m_wndVisible : m_wndHidden, m_records[i], i);
    if (m_wndVisible.GetCount() > 0)
        m_wndVisible.SetCurSel(0);
    if (m_wndHidden.GetCount() > 0)
        m_wndHidden.SetCurSel(0);
    ShowWidth();
    UpdateButtons();
    return TRUE;
}

void dlgColumns::AddItem(KvUi::CListBox& box, const CListColumn& record, int index) {
    int i = box.AddString(record.name);
    box.SendMessage(LB_SETITEMDATA, i, index);
}

std::vector<int> dlgColumns::Items(const KvUi::CListBox& box) {
    std::vector<int> out;
    for (int i = 0; i < box.GetCount(); ++i)
        out.push_back((int)box.SendMessage(LB_GETITEMDATA, i));
    return out;
}

int dlgColumns::MoveItem(KvUi::CListBox& from, int place, KvUi::CListBox& to, const std::vector<CListColumn>& records) {
    int index = (int)from.SendMessage(LB_GETITEMDATA, place);
    from.SendMessage(LB_DELETESTRING, place);
    AddItem(to, records[index], index);
    return index;
}

void dlgColumns::ShowWidth() {
    int sel = m_wndVisible.GetCurSel();
    int width = sel >= 0 ? m_records[(int)m_wndVisible.SendMessage(LB_GETITEMDATA, sel)].width : 0;
    m_bShowingWidth = true;
    SetDlgItemNumber(IDC_COLUMNS_WIDTH, width);
    m_bShowingWidth = false;
}

void dlgColumns::UpdateButtons() {
    int visible = m_wndVisible.GetCount();
    int sel = m_wndVisible.GetCurSel();
    EnableDlgItem(IDC_COLUMNS_UP, sel > 0 && visible >= 2);
    EnableDlgItem(IDC_COLUMNS_DOWN, sel >= 0 && sel < visible - 1);
    EnableDlgItem(IDC_COLUMNS_INCLUDE, m_wndHidden.GetCount() > 0);
    EnableDlgItem(IDC_COLUMNS_INCLUDE_ALL, m_wndHidden.GetCount() > 0);
    EnableDlgItem(IDC_COLUMNS_EXCLUDE, visible > 0);
    EnableDlgItem(IDC_COLUMNS_EXCLUDE_ALL, visible > 0);
    EnableDlgItem(IDOK, visible > 0);
}

void dlgColumns::OnVisibleSelChange() {
    ShowWidth();
    UpdateButtons();
}

void dlgColumns::OnUp() { Move(-1); }
void dlgColumns::OnDown() { Move(1); }

void dlgColumns::Move(int delta) {
    int sel = m_wndVisible.GetCurSel();
    int n = m_wndVisible.GetCount();
    if (sel < 0 || sel + delta < 0 || sel + delta >= n)
        return;
    int index = (int)m_wndVisible.SendMessage(LB_GETITEMDATA, sel);
    m_wndVisible.SendMessage(LB_DELETESTRING, sel);
    int at = (int)m_wndVisible.SendMessage(LB_INSERTSTRING, sel + delta, (LPARAM)m_records[index].name.c_str());
    m_wndVisible.SendMessage(LB_SETITEMDATA, at, index);
    m_wndVisible.SetCurSel(at);
    UpdateButtons();
    // At the end of the way the focus goes to the other button.
    if (delta < 0 && at == 0)
        Focus(IDC_COLUMNS_DOWN);
    else if (delta > 0 && at == n - 1)
        Focus(IDC_COLUMNS_UP);
}

void dlgColumns::OnInclude() {
    int sel = m_wndHidden.GetCurSel();
    if (sel < 0)
        return;
    MoveItem(m_wndHidden, sel, m_wndVisible, m_records);
    m_wndVisible.SetCurSel(m_wndVisible.GetCount() - 1);
    int left = m_wndHidden.GetCount();
    if (left > 0)
        m_wndHidden.SetCurSel(std::min(sel, left - 1));
    ShowWidth();
    UpdateButtons();
    if (left == 0)
        Focus(IDC_COLUMNS_EXCLUDE);
}

void dlgColumns::OnIncludeAll() {
    while (m_wndHidden.GetCount() > 0)
        MoveItem(m_wndHidden, 0, m_wndVisible, m_records);
    m_wndVisible.SetCurSel(m_wndVisible.GetCount() - 1);
    ShowWidth();
    UpdateButtons();
    Focus(IDC_COLUMNS_EXCLUDE);
}

void dlgColumns::OnExclude() {
    int sel = m_wndVisible.GetCurSel();
    if (sel < 0)
        return;
    MoveItem(m_wndVisible, sel, m_wndHidden, m_records);
    m_wndHidden.SetCurSel(m_wndHidden.GetCount() - 1);
    int left = m_wndVisible.GetCount();
    if (left > 0)
        m_wndVisible.SetCurSel(std::min(sel, left - 1));
    ShowWidth();
    UpdateButtons();
    if (left == 0)
        Focus(IDC_COLUMNS_INCLUDE);
}

void dlgColumns::OnExcludeAll() {
    while (m_wndVisible.GetCount() > 0)
        MoveItem(m_wndVisible, 0, m_wndHidden, m_records);
    m_wndHidden.SetCurSel(m_wndHidden.GetCount() - 1);
    ShowWidth();
    UpdateButtons();
    Focus(IDC_COLUMNS_INCLUDE);
}

void dlgColumns::OnWidthChange() {
    if (m_bShowingWidth || !m_wndVisible.m_hWnd)
        return;
    int sel = m_wndVisible.GetCurSel();
    if (sel < 0)
        return;
    std::optional<int> typed = GetDlgItemNumber(IDC_COLUMNS_WIDTH);
    if (!typed)
        return;
    int value = *typed;
    // A shown column is at least one pixel wide and no wider than the header allows.
    value = std::clamp(value, 1, kMaxWidth);
    m_wndSpin.SetPos32(value);
    m_records[(int)m_wndVisible.SendMessage(LB_GETITEMDATA, sel)].width = value;
}

void dlgColumns::OnOK() {
    if (m_wndVisible.GetCount() == 0)
        return;
    // The records are rewritten from a copy: visible ones in list order, then the hidden ones.
    const std::vector<CListColumn> copy = m_records;
    std::vector<int> visible = Items(m_wndVisible), hidden = Items(m_wndHidden);
    int n = (int)visible.size();
    for (int p = 0; p < (int)m_records.size(); ++p) {
        int from = p < n ? visible[p] : hidden[p - n];
        m_records[p] = copy[from];
        m_records[p].index = copy[from].index;
        m_records[p].visible = p < n ? 1 : 0;
    }
    EndDialog(IDOK);
}

int RunColumnsDialog(HWND parent, std::vector<CListColumn>& records) {
    dlgColumns dlg(parent, records);
    return dlg.DoModal() == IDOK ? 1 : 0;
}

// ---- find ------------------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgFinding, KvUi::CDialog)
ON_CONTROL(EN_CHANGE, IDC_FIND_TEXT, OnTextChange)
ON_BN_CLICKED(IDC_FIND_IN_COLUMN, OnInColumn)
KV_END_MESSAGE_MAP()

dlgFinding::dlgFinding(HWND parent, CListFindState& state) : KvUi::CDialog(IDD_FINDING, parent), m_state(state) {}

void dlgFinding::DoDataExchange(KvUi::CDataExchange* pDX) { KvUi::DDX_Control(pDX, IDC_FIND_COLUMN, m_wndColumn); }

BOOL dlgFinding::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    ::SendDlgItemMessageW(m_hWnd, IDC_FIND_TEXT, EM_LIMITTEXT, kFindTextLimit, 0);
    SetDlgItemText(IDC_FIND_TEXT, m_state.text.substr(0, kFindTextLimit));
    int chosen = -1;
    for (const CListColumn& c : m_state.columns) {
        if (!c.visible)
            continue;
        int i = m_wndColumn.AddString(c.name);
        if (chosen < 0 && !m_state.column.empty() && c.name == m_state.column)
            chosen = i;
    }
    CheckDlgItem(IDC_FIND_IN_COLUMN, chosen >= 0);
    m_wndColumn.SetCurSel(chosen >= 0 ? chosen : 0);
    m_wndColumn.EnableWindow(chosen >= 0);
    CheckDlgItem(IDC_FIND_MATCH_CASE, m_state.matchCase);
    CheckDlgItem(IDC_FIND_WHOLE, m_state.wholeValue);
    OnTextChange();
    return TRUE;
}

void dlgFinding::OnTextChange() { EnableDlgItem(IDOK, !GetDlgItemText(IDC_FIND_TEXT).empty()); }

void dlgFinding::OnInColumn() { m_wndColumn.EnableWindow(IsDlgItemChecked(IDC_FIND_IN_COLUMN)); }

void dlgFinding::OnOK() {
    std::wstring text = GetDlgItemText(IDC_FIND_TEXT);
    if (text.empty())
        return;
    m_state.text = text.substr(0, kFindTextLimit);
    m_state.column.clear();
    if (IsDlgItemChecked(IDC_FIND_IN_COLUMN)) {
        int sel = m_wndColumn.GetCurSel();
        if (sel >= 0) {
            int n = (int)m_wndColumn.SendMessage(CB_GETLBTEXTLEN, sel);
            std::wstring name(n > 0 ? n : 0, L'\0');
            if (n > 0)
                m_wndColumn.SendMessage(CB_GETLBTEXT, sel, (LPARAM)&name[0]);
            m_state.column = name;
        }
    }
    m_state.matchCase = IsDlgItemChecked(IDC_FIND_MATCH_CASE);
    m_state.wholeValue = IsDlgItemChecked(IDC_FIND_WHOLE);
    EndDialog(IDOK);
}

int ShowFindDialog(HWND parent, CListFindState& state) {
    dlgFinding dlg(parent, state);
    return dlg.DoModal() == IDOK ? 1 : 0;
}
