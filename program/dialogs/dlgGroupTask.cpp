#include "dlgGroupTask.h"

#include "objcmds_ids.h"

const UINT dlgGroupTask::kGroupKinds[4] = {IDS_GT_KIND_FILES, IDS_GT_KIND_REGISTRY, IDS_GT_KIND_SECTORS,
                                           IDS_GT_KIND_HARDWARE};

void MakeDialogReadOnly(KvUi::CDialog& dlg, const int* edits, int count) {
    for (int i = 0; i < count; ++i)
        ::SendMessageW(dlg.GetDlgItem(edits[i]), EM_SETREADONLY, TRUE, 0);
    dlg.ShowDlgItem(IDOK, FALSE);
    dlg.EnableDlgItem(IDOK, FALSE);
    dlg.SetDlgItemText(IDCANCEL, KvUi::LoadStr(IDS_DLG_CLOSE));
    // The close button takes the default (Enter) from the hidden OK.
    ::SendMessageW(dlg.m_hWnd, DM_SETDEFID, IDCANCEL, 0);
}

void LimitNodeNameEdit(KvUi::CDialog& dlg, int id) {
    ::SendMessageW(dlg.GetDlgItem(id), EM_LIMITTEXT, kNodeNameLimit, 0);
}

std::wstring NodeNameOfEdit(const KvUi::CDialog& dlg, int id) { return KvUi::TrimSpace(dlg.GetDlgItemText(id)); }

void ShiftControl(HWND dialog, int id, int dx, int dy, int dw, int dh) {
    HWND h = ::GetDlgItem(dialog, id);
    if (!h)
        return;
    RECT rc;
    ::GetWindowRect(h, &rc);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
    ::MoveWindow(h, rc.left + dx, rc.top + dy, rc.right - rc.left + dw, rc.bottom - rc.top + dh, TRUE);
}

KV_BEGIN_MESSAGE_MAP(dlgGroupTask, KvUi::CDialog)
ON_CONTROL(EN_CHANGE, IDC_GT_NAME, OnNameChange)
KV_END_MESSAGE_MAP()

dlgGroupTask::dlgGroupTask(KvUi::CWnd* parent, CIChNode* node) : KvUi::CDialog(IDD_GROUP_TASK, parent), m_pNode(node) {
    m_bGroup = node && node->GetType() == NodeTypeGroup;
    m_bCreate = !node || node->m_Name.empty();
    m_bReadOnly = node && node->m_Id < 0;
}

BOOL dlgGroupTask::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    if (!m_pNode)
        return TRUE;
    SetWindowText(KvUi::LoadStr(m_bCreate ? IDS_GT_CREATE : IDS_GT_PROPERTIES) +
                  KvUi::LoadStr(m_bGroup ? IDS_GT_OF_GROUP : IDS_GT_OF_TASK));
    if (m_bGroup) {
        RECT rc;
        GetWindowRect(&rc);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top + kGroupGrowth,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShiftControl(m_hWnd, IDC_GT_FRAME, 0, 0, 0, kGroupGrowth);
        ShiftControl(m_hWnd, IDOK, 0, kGroupGrowth, 0, 0);
        ShiftControl(m_hWnd, IDCANCEL, 0, kGroupGrowth, 0, 0);
        HWND kinds = GetDlgItem(IDC_GT_KIND);
        ShowDlgItem(IDC_GT_KIND_LABEL);
        ShowDlgItem(IDC_GT_KIND);
        for (UINT text : kGroupKinds)
            ::SendMessageW(kinds, CB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(text).c_str());
        const int subType = static_cast<CIChRGroup*>(m_pNode)->m_SubType;
        if (subType >= 0 && subType <= 3)
            ::SendMessageW(kinds, CB_SETCURSEL, subType, 0);
        EnableDlgItem(IDC_GT_KIND, m_pNode->m_Members.empty() && !m_bReadOnly);
        if (m_bCreate)
            m_pNode->SetName(L"Новая группа ресурсов");
    } else if (m_bCreate) {
        m_pNode->SetName(L"Новая задача");
    }
    LimitNodeNameEdit(*this, IDC_GT_NAME);
    SetDlgItemText(IDC_GT_NAME, m_pNode->m_Name);
    SetDlgItemText(IDC_GT_DESCRIPTION, m_pNode->m_Description);
    if (m_bReadOnly) {
        const int edits[] = {IDC_GT_NAME, IDC_GT_DESCRIPTION};
        MakeDialogReadOnly(*this, edits, 2);
    }
    return TRUE;
}

void dlgGroupTask::OnNameChange() {
    if (!m_bReadOnly)
        EnableDlgItem(IDOK, !NodeNameOfEdit(*this, IDC_GT_NAME).empty());
}

void dlgGroupTask::OnOK() {
    // A node that must not change: Enter closes the dialog as Cancel does.
    if (m_bReadOnly || !m_pNode) {
        OnCancel();
        return;
    }
    std::wstring name = NodeNameOfEdit(*this, IDC_GT_NAME);
    if (name.empty())
        return;
    m_pNode->SetName(name);
    m_pNode->SetDescription(GetDlgItemText(IDC_GT_DESCRIPTION));
    if (m_bGroup && m_pNode->m_Members.empty()) {
        int sel = (int)::SendMessageW(GetDlgItem(IDC_GT_KIND), CB_GETCURSEL, 0, 0);
        if (sel >= 0)
            static_cast<CIChRGroup*>(m_pNode)->m_SubType = sel;
    }
    EndDialog(IDOK);
}
