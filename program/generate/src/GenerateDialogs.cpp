// The task generator's choice and progress dialogs.
#include "GenerateDialogs.h"

#include "dlgNodes.h"
#include "msitasks_ids.h"

#include <commctrl.h>

// ---- dlgChooseInstTask ---------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgChooseInstTask, KvUi::CDialog)
ON_CONTROL(CBN_SELCHANGE, IDC_INSTTASK_SOURCE, OnSourceChange)
ON_BN_CLICKED(IDC_INSTTASK_SELECT_ALL, OnSelectAll)
ON_CONTROL(LBN_SELCHANGE, IDC_INSTTASK_PROGRAMS, OnProgramsChange)
ON_BN_CLICKED(IDC_INSTTASK_IGNORE_REG, OnIgnoreRegistry)
ON_BN_CLICKED(IDC_INSTTASK_ADD_DEPENDS, OnAddDepends)
ON_BN_CLICKED(IDC_INSTTASK_MARK_EXEC, OnMarkExecutable)
KV_END_MESSAGE_MAP()

dlgChooseInstTask::dlgChooseInstTask(HWND parent, int source, std::list<CInstalledProductInfo>* products,
                                     CShortcutList* shortcuts, SGeneratorSettings& settings)
    : KvUi::CDialog(IDD_CHOOSE_INST_TASK, parent), m_nSource(source ? 1 : 0), m_pProducts(products),
      m_pShortcuts(shortcuts), m_settings(settings) {
    m_bAddDepends = m_nSource == 1 ? 1 : settings.bAddDepends;
    m_bMarkExecutable = m_nSource == 1 ? 1 : settings.bExeByExten;
}

void dlgChooseInstTask::DoDataExchange(KvUi::CDataExchange* pDX) {
    KvUi::DDX_Control(pDX, IDC_INSTTASK_SOURCE, m_wndSource);
    KvUi::DDX_Control(pDX, IDC_INSTTASK_PROGRAMS, m_wndPrograms);
}

BOOL dlgChooseInstTask::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    m_wndSource.AddString(KvUi::LoadStr(IDS_GEN_SOURCE_MSI));
    m_wndSource.AddString(KvUi::LoadStr(IDS_GEN_SOURCE_SHORTCUTS));
    m_wndSource.SetCurSel(m_nSource);
    FillPrograms();
    CheckDlgItem(IDC_INSTTASK_PATHS_TO_VARS, m_bPathsToVariables);
    CheckDlgItem(IDC_INSTTASK_MARK_EXEC, m_bMarkExecutable);
    ShowOptions();
    SetDlgItemText(IDC_INSTTASK_EXTENSIONS, m_settings.strExeExtensions);
    EnableDlgItem(IDC_INSTTASK_EXTENSIONS, m_bMarkExecutable != 0);
    UpdateOk();
    return TRUE;
}

void dlgChooseInstTask::FillPrograms() {
    m_wndPrograms.ResetContent();
    m_productItems.clear();
    m_shortcutItems.clear();
    if (m_nSource == 1) {
        if (m_pShortcuts)
            for (auto it = m_pShortcuts->begin(); it != m_pShortcuts->end(); ++it) {
                int i = m_wndPrograms.AddString(it->first);
                m_wndPrograms.SendMessage(LB_SETITEMDATA, i, (LPARAM)m_shortcutItems.size());
                m_shortcutItems.push_back(it);
            }
    } else if (m_pProducts) {
        for (auto it = m_pProducts->begin(); it != m_pProducts->end(); ++it) {
            int i = m_wndPrograms.AddString(it->m_strProductName);
            m_wndPrograms.SendMessage(LB_SETITEMDATA, i, (LPARAM)m_productItems.size());
            m_productItems.push_back(it);
        }
    }
    dlgDeleteNodes::FitListBoxExtent(m_wndPrograms.m_hWnd);
}

void dlgChooseInstTask::ShowOptions() {
    bool msi = m_nSource == 0;
    CheckDlgItem(IDC_INSTTASK_IGNORE_REG, msi ? m_bIgnoreRegistry : 1);
    CheckDlgItem(IDC_INSTTASK_ADD_DEPENDS, msi ? m_bAddDepends : 1);
    EnableDlgItem(IDC_INSTTASK_IGNORE_REG, msi);
    EnableDlgItem(IDC_INSTTASK_ADD_DEPENDS, msi);
}

int dlgChooseInstTask::SelectedCount() const {
    int n = (int)m_wndPrograms.SendMessage(LB_GETSELCOUNT);
    return n < 0 ? 0 : n;
}

void dlgChooseInstTask::UpdateOk() { EnableDlgItem(IDOK, SelectedCount() > 0); }

void dlgChooseInstTask::OnSourceChange() {
    int sel = m_wndSource.GetCurSel();
    m_nSource = sel == 1 ? 1 : 0;
    FillPrograms();
    ShowOptions();
    CheckDlgItem(IDC_INSTTASK_SELECT_ALL, FALSE);
    UpdateOk();
}

void dlgChooseInstTask::OnSelectAll() {
    int on = IsDlgItemChecked(IDC_INSTTASK_SELECT_ALL);
    int count = m_wndPrograms.GetCount();
    if (count > 0)
        m_wndPrograms.SendMessage(LB_SELITEMRANGEEX, on ? 0 : count - 1, on ? count - 1 : 0);
    if (!on)
        m_wndPrograms.SendMessage(LB_SETSEL, FALSE, -1);
    UpdateOk();
}

void dlgChooseInstTask::OnProgramsChange() {
    int count = m_wndPrograms.GetCount();
    CheckDlgItem(IDC_INSTTASK_SELECT_ALL, count > 0 && SelectedCount() == count);
    UpdateOk();
}

void dlgChooseInstTask::OnIgnoreRegistry() { m_bIgnoreRegistry = IsDlgItemChecked(IDC_INSTTASK_IGNORE_REG); }

void dlgChooseInstTask::OnAddDepends() { m_bAddDepends = IsDlgItemChecked(IDC_INSTTASK_ADD_DEPENDS); }

void dlgChooseInstTask::OnMarkExecutable() {
    m_bMarkExecutable = IsDlgItemChecked(IDC_INSTTASK_MARK_EXEC);
    EnableDlgItem(IDC_INSTTASK_EXTENSIONS, m_bMarkExecutable != 0);
}

void dlgChooseInstTask::OnOK() {
    if (SelectedCount() == 0)
        return;
    // The programs not selected leave the list of the current source. Each item knows its own
    // entry, so two programs of one name are told apart.
    for (int i = 0, n = m_wndPrograms.GetCount(); i < n; ++i) {
        if (m_wndPrograms.SendMessage(LB_GETSEL, i) > 0)
            continue;
        size_t index = (size_t)m_wndPrograms.SendMessage(LB_GETITEMDATA, i);
        if (m_nSource == 1) {
            if (m_pShortcuts && index < m_shortcutItems.size())
                m_pShortcuts->erase(m_shortcutItems[index]);
        } else if (m_pProducts && index < m_productItems.size()) {
            m_pProducts->erase(m_productItems[index]);
        }
    }
    m_productItems.clear();
    m_shortcutItems.clear();
    m_bIgnoreRegistry = IsDlgItemChecked(IDC_INSTTASK_IGNORE_REG);
    m_bPathsToVariables = IsDlgItemChecked(IDC_INSTTASK_PATHS_TO_VARS);
    // The setting takes the box as shown: for the shortcut source that is the forced check, so it
    // becomes 1.
    m_settings.bAddDepends = IsDlgItemChecked(IDC_INSTTASK_ADD_DEPENDS);
    if (m_bMarkExecutable) {
        std::wstring text = GetDlgItemText(IDC_INSTTASK_EXTENSIONS);
        if (!text.empty())
            m_settings.strExeExtensions = text;
    }
    EndDialog(IDOK);
}

// ---- dlgAddInstallTask ---------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgAddInstallTask, KvUi::CDialog)
KV_END_MESSAGE_MAP()

dlgAddInstallTask::dlgAddInstallTask(HWND parent, int* abortFlag)
    : KvUi::CDialog(IDD_ADD_INSTALL_TASK, parent), m_pAbort(abortFlag), m_hParentWnd(parent) {
    if (m_pAbort)
        *m_pAbort = 0;
}

BOOL dlgAddInstallTask::CreateModeless() { return Create(IDD_ADD_INSTALL_TASK, m_hParentWnd); }

void dlgAddInstallTask::DoDataExchange(KvUi::CDataExchange* pDX) {
    KvUi::DDX_Control(pDX, IDC_INSTTASK_TASK_PROGRESS, m_wndTasks);
    KvUi::DDX_Control(pDX, IDC_INSTTASK_RES_PROGRESS, m_wndResources);
}

BOOL dlgAddInstallTask::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    m_wndTasks.SetRange32(0, 10);
    m_wndResources.SetRange32(0, 10);
    return TRUE;
}

void dlgAddInstallTask::OnCancel() {
    if (m_pAbort)
        *m_pAbort = 1;
    // A modeless window is only hidden here; the generator destroys it at its end.
    ::ShowWindow(m_hWnd, SW_HIDE);
}

void dlgAddInstallTask::SetTaskRange(int count) {
    m_wndTasks.SetRange32(0, count);
    m_wndTasks.SetPos(0);
}

void dlgAddInstallTask::SetTaskPos(int position) { m_wndTasks.SetPos(position); }

void dlgAddInstallTask::SetTaskText(const wchar_t* text) {
    if (text)
        SetDlgItemText(IDC_INSTTASK_TASK_TEXT, text);
}

void dlgAddInstallTask::SetResourceRange(int count) {
    m_wndResources.SetRange32(0, count);
    m_wndResources.SetPos(0);
}

void dlgAddInstallTask::SetResourcePos(int position) { m_wndResources.SetPos(position); }

void dlgAddInstallTask::SetResourceText(const wchar_t* text) {
    if (text)
        SetDlgItemText(IDC_INSTTASK_RES_TEXT, text);
}
