#include "dlgJobSubject.h"

#include "dlgGroupTask.h"
#include "objcmds_ids.h"

KV_BEGIN_MESSAGE_MAP(dlgJobCPA, KvUi::CDialog)
ON_CONTROL(EN_CHANGE, IDC_JOB_NAME, OnNameChange)
KV_END_MESSAGE_MAP()

dlgJobCPA::dlgJobCPA(KvUi::CWnd* parent, CIChJob* job)
    : KvUi::CDialog(IDD_JOB_CPA, parent), m_pJob(job), m_bReadOnly(false), m_bLocked(false) {
    // A board job's name and description are the board's; a job with a negative ID is not this
    // program's to confirm at all.
    m_bLocked = job && job->m_Id < 0;
    m_bReadOnly = job && (job->m_SubType == JobBoard || m_bLocked);
}

BOOL dlgJobCPA::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    if (!m_pJob)
        return TRUE;
    LimitNodeNameEdit(*this, IDC_JOB_NAME);
    SetDlgItemText(IDC_JOB_NAME, m_pJob->m_Name);
    SetDlgItemText(IDC_JOB_DESCRIPTION, m_pJob->m_Description);
    HWND hostBased = GetDlgItem(IDC_JOB_HOST_BASED);
    if (m_pJob->m_SubType == JobBoard) {
        SetWindowText(KvUi::LoadStr(IDS_JOB_BOARD_CAPTION));
        CheckDlgItem(IDC_JOB_HOST_BASED, FALSE);
    } else {
        SetWindowText(KvUi::LoadStr(IDS_JOB_HOST_CAPTION));
        CheckDlgItem(IDC_JOB_HOST_BASED, m_pJob->m_IsHostBased);
    }
    EnableDlgItem(IDC_JOB_HOST_BASED, FALSE);
    const int edits[] = {IDC_JOB_NAME, IDC_JOB_DESCRIPTION};
    if (m_bLocked) {
        MakeDialogReadOnly(*this, edits, 2);
    } else if (m_bReadOnly) {
        for (int id : edits)
            ::SendMessageW(GetDlgItem(id), EM_SETREADONLY, TRUE, 0);
    }
    // The flag is not shown: the description takes its place down to the box's bottom edge.
    RECT box, description;
    ::GetWindowRect(hostBased, &box);
    ::GetWindowRect(GetDlgItem(IDC_JOB_DESCRIPTION), &description);
    ShowDlgItem(IDC_JOB_HOST_BASED, FALSE);
    ShiftControl(m_hWnd, IDC_JOB_DESCRIPTION, 0, 0, 0, box.bottom - description.bottom);
    return TRUE;
}

void dlgJobCPA::OnNameChange() {
    if (!m_bReadOnly)
        EnableDlgItem(IDOK, !NodeNameOfEdit(*this, IDC_JOB_NAME).empty());
}

void dlgJobCPA::OnOK() {
    // A job with a negative ID has no OK: Enter closes the dialog as "Закрыть" does.
    if (m_bLocked || !m_pJob) {
        OnCancel();
        return;
    }
    std::wstring name = NodeNameOfEdit(*this, IDC_JOB_NAME);
    if (name.empty())
        return;
    m_pJob->SetName(name);
    m_pJob->SetDescription(GetDlgItemText(IDC_JOB_DESCRIPTION));
    // The flag cannot be changed here: it keeps what it showed. A board job's flag is neither
    // loaded nor shown, so it is left as it is.
    if (m_pJob->m_SubType != JobBoard)
        m_pJob->m_IsHostBased = IsDlgItemChecked(IDC_JOB_HOST_BASED) ? 1 : 0;
    EndDialog(IDOK);
}

// ---- subject ----------------------------------------------------------------------------------

const UINT ppSubjGeneral::kSubjectKinds[3] = {IDS_SUBJ_KIND_COMPUTER, IDS_SUBJ_KIND_USER, IDS_SUBJ_KIND_GROUP};
int dlgSubject::s_nActivePage = 0;

ppSubjGeneral::ppSubjGeneral(CIChSubject* subject)
    : KvUi::CPropertyPage(IDD_SUBJ_GENERAL, KvUi::LoadStr(IDS_SUBJ_PAGE_CAPTION).c_str()), m_pSubject(subject) {}

BOOL ppSubjGeneral::OnInitDialog() {
    KvUi::CPropertyPage::OnInitDialog();
    HWND kinds = GetDlgItem(IDC_SUBJ_KIND);
    for (UINT text : kSubjectKinds)
        ::SendMessageW(kinds, CB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(text).c_str());
    if (!m_pSubject)
        return TRUE;
    SetDlgItemText(IDC_SUBJ_NAME, m_pSubject->m_Name);
    SetDlgItemText(IDC_SUBJ_DESCRIPTION, m_pSubject->m_Description);
    if (m_pSubject->m_SubType >= 0 && m_pSubject->m_SubType <= 2)
        ::SendMessageW(kinds, CB_SETCURSEL, m_pSubject->m_SubType, 0);
    SetDlgItemText(IDC_SUBJ_SID, m_pSubject->m_Sid.Str());
    // The sheet around the page: the program's icon, and only "Закрыть" for a subject that
    // cannot be confirmed.
    HWND sheet = ::GetParent(m_hWnd);
    if (HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128))) {
        ::SendMessageW(sheet, WM_SETICON, ICON_BIG, (LPARAM)icon);
        ::SendMessageW(sheet, WM_SETICON, ICON_SMALL, (LPARAM)icon);
    }
    if (!dlgSubject::CanConfirm(m_pSubject)) {
        HWND ok = ::GetDlgItem(sheet, IDOK);
        ::ShowWindow(ok, SW_HIDE);
        ::EnableWindow(ok, FALSE);
        ::SetDlgItemTextW(sheet, IDCANCEL, KvUi::LoadStr(IDS_DLG_CLOSE).c_str());
    }
    return TRUE;
}

BOOL ppSubjGeneral::OnApply() {
    if (GetSheet())
        dlgSubject::s_nActivePage = GetSheet()->GetActiveIndex();
    return TRUE;
}

dlgSubject::dlgSubject(KvUi::CWnd* parent, CIChSubject* subject)
    : KvUi::CPropertySheet(KvUi::LoadStr(IDS_SUBJ_SHEET_CAPTION), parent ? parent->m_hWnd : nullptr,
                           (UINT)s_nActivePage),
      m_pGeneral(new ppSubjGeneral(subject)) {
    AddPage(m_pGeneral);
}

dlgSubject::~dlgSubject() { delete m_pGeneral; }

bool dlgSubject::CanConfirm(const CIChSubject* subject) {
    return subject && subject->m_SubType == SubjectComputer && (subject->m_Modes & 8) == 0;
}
