// The new-model setup dialogs.
#include "dlgPrepareControl.h"

#include "DaVIdevaRez.h"
#include "resource.h"

#include <cwchar>

// ---- dlgMsWindows -------------------------------------------------------------------------------

dlgMsWindows::dlgMsWindows(int choice, HWND parent)
    : KvUi::CDialog(IDD_MS_WINDOWS, parent), m_nChoice(choice == 2 ? 2 : 1) {}

BOOL dlgMsWindows::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    ::CheckRadioButton(m_hWnd, IDC_MSWINDOWS_DEFAULT, IDC_MSWINDOWS_STARTUP,
                       m_nChoice == 2 ? IDC_MSWINDOWS_STARTUP : IDC_MSWINDOWS_DEFAULT);
    return TRUE;
}

void dlgMsWindows::OnOK() {
    m_nChoice = IsDlgItemChecked(IDC_MSWINDOWS_STARTUP) ? 2 : 1;
    KvUi::CDialog::OnOK();
}

// ---- dlgAddonTask -------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgAddonTask, KvUi::CDialog)
ON_CONTROL(LBN_SELCHANGE, IDC_ADDON_LIST, OnSelChange)
KV_END_MESSAGE_MAP()

dlgAddonTask::dlgAddonTask(HWND parent, CInstalledProductList* products, const std::list<std::wstring>& selected)
    : KvUi::CDialog(IDD_ADDON_TASK, parent), m_pProducts(products), m_Selected(selected) {}

BOOL dlgAddonTask::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetWindowText(GetWindowText() + KvUi::LoadStr(IDS_ADDON_CAPTION_TAIL));
    m_wndList.Attach(GetDlgItem(IDC_ADDON_LIST));
    if (m_pProducts)
        for (const CInstalledProductInfo& product : *m_pProducts)
            m_wndList.AddString(product.m_strProductName);
    for (const std::wstring& name : m_Selected) {
        int at = (int)m_wndList.SendMessage(LB_FINDSTRING, (WPARAM)-1, (LPARAM)name.c_str());
        if (at != LB_ERR)
            m_wndList.SendMessage(LB_SETSEL, TRUE, at);
    }
    theApp.SetListBoxExtent(m_wndList);
    UpdateOk();
    return TRUE;
}

void dlgAddonTask::OnSelChange() { UpdateOk(); }

void dlgAddonTask::UpdateOk() { EnableDlgItem(IDOK, m_wndList.SendMessage(LB_GETSELCOUNT) > 0); }

void dlgAddonTask::OnOK() {
    if (m_wndList.SendMessage(LB_GETSELCOUNT) <= 0)
        return; // nothing chosen: OK stays greyed, Enter does nothing either
    if (m_pProducts) {
        const int count = m_wndList.GetCount();
        for (int i = 0; i < count; ++i) {
            if (m_wndList.SendMessage(LB_GETSEL, i) > 0)
                continue;
            const std::wstring text = m_wndList.GetText(i);
            for (auto it = m_pProducts->begin(); it != m_pProducts->end(); ++it) {
                if (it->m_strProductName == text) {
                    m_pProducts->erase(it);
                    break;
                }
            }
        }
    }
    KvUi::CDialog::OnOK();
}

// ---- dlgPrepareControl --------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgPrepareControl, KvUi::CDialog)
ON_BN_CLICKED(IDC_PREPARE_ADD_WINDOWS, OnAddWindows)
ON_BN_CLICKED(IDC_PREPARE_ADD_PRODUCTS, OnAddProducts)
ON_BN_CLICKED(IDC_PREPARE_CHOSEN, OnChooseProducts)
ON_BN_CLICKED(IDC_PREPARE_WINDOWS_SETUP, OnWindowsSetup)
ON_BN_CLICKED(IDC_PREPARE_CLEAR, OnClear)
ON_BN_CLICKED(IDC_PREPARE_DEFAULTS, OnDefaults)
KV_END_MESSAGE_MAP()

void RemoveHostSuiteClient(CInstalledProductList& products) {
    for (auto it = products.begin(); it != products.end(); ++it) {
        const std::wstring& name = it->m_strProductName;
        if (name.find(L"Kavrel 5") == std::wstring::npos)
            continue;
        if (name.find(L"Клиент") != std::wstring::npos || name.find(L"автоном") != std::wstring::npos ||
            name.find(L"мобиль") != std::wstring::npos) {
            products.erase(it);
            return;
        }
    }
}

dlgPrepareControl::dlgPrepareControl(HWND parent, int updatePresent)
    : KvUi::CDialog(IDD_PREPARE_CONTROL, parent), m_bUpdatePresent(updatePresent) {
    m_bClearModel = updatePresent ? 0 : 1;
    m_fnEnumerateProducts = [](CInstalledProductList& products) { GetInstalledProducts(products); };
}

BOOL dlgPrepareControl::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    OnDefaults();
    return TRUE;
}

void dlgPrepareControl::OnDefaults() {
    m_nWindowsVariant = 1;
    m_bAddWindowsTask = 1;
    m_Products.clear();
    m_bClearModel = m_bUpdatePresent ? 0 : 1;
    EnableDlgItem(IDC_PREPARE_ADD_WINDOWS, TRUE);
    EnableDlgItem(IDC_PREPARE_ADD_PRODUCTS, TRUE);
    CheckDlgItem(IDC_PREPARE_ADD_WINDOWS);
    CheckDlgItem(IDC_PREPARE_ADD_PRODUCTS, !m_Products.empty());
    CheckDlgItem(IDC_PREPARE_CLEAR, m_bClearModel);
    ShowChosenCount();
    UpdateOk();
}

void dlgPrepareControl::ShowChosenCount() {
    wchar_t text[64];
    swprintf(text, 64, KvUi::LoadStr(IDS_PREPARE_CHOSEN).c_str(), (int)m_Products.size());
    SetDlgItemText(IDC_PREPARE_CHOSEN, text);
    const bool shown = IsDlgItemChecked(IDC_PREPARE_ADD_PRODUCTS);
    ShowDlgItem(IDC_PREPARE_CHOSEN, shown);
}

void dlgPrepareControl::UpdateOk() { EnableDlgItem(IDOK, HasChoice()); }

void dlgPrepareControl::OnAddWindows() {
    m_bAddWindowsTask = IsDlgItemChecked(IDC_PREPARE_ADD_WINDOWS) ? 1 : 0;
    UpdateOk();
}

void dlgPrepareControl::OnAddProducts() {
    if (!IsDlgItemChecked(IDC_PREPARE_ADD_PRODUCTS))
        m_Products.clear();
    ShowChosenCount();
    UpdateOk();
}

void dlgPrepareControl::OnClear() {
    m_bClearModel = IsDlgItemChecked(IDC_PREPARE_CLEAR) ? 1 : 0;
    UpdateOk();
}

void dlgPrepareControl::OnWindowsSetup() {
    dlgMsWindows dlg(m_nWindowsVariant == 1 ? 1 : 2, m_hWnd);
    if (dlg.DoModal() == IDOK)
        m_nWindowsVariant = dlg.GetChoice() == 1 ? 1 : 0;
}

void dlgPrepareControl::OnChooseProducts() {
    CInstalledProductList fresh;
    {
        KvUi::CWaitCursor wait;
        if (m_fnEnumerateProducts)
            m_fnEnumerateProducts(fresh);
    }
    RemoveHostSuiteClient(fresh);
    std::list<std::wstring> chosen;
    for (const CInstalledProductInfo& product : m_Products)
        chosen.push_back(product.m_strProductName);
    dlgAddonTask dlg(m_hWnd, &fresh, chosen);
    if (dlg.DoModal() == IDOK) {
        m_Products.swap(fresh);
        ShowChosenCount();
    }
    UpdateOk();
}
