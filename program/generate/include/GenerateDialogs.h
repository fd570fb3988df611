// The task generator's dialogs: dlgChooseInstTask (template 171), in which the administrator
// chooses the source, the programs and the options, and dlgAddInstallTask (template 170), the
// modeless progress of a run with "Прервать".
#pragma once

#include <kvui/kvui.h>

#include <list>
#include <string>
#include <vector>

#include "KvGenerate.h"

// The settings the choice dialog starts from and writes back on OK.
struct SGeneratorSettings {
    int bAddDepends = 1; // AddDepends
    int bExeByExten = 1; // ExeByExten
    std::wstring strExeExtensions;
};

class dlgChooseInstTask : public KvUi::CDialog {
public:
    // source: 0 Windows Installer, any other value the Start-menu shortcuts. The lists are the
    // caller's; OK removes from the list of the chosen source every program not selected.
    dlgChooseInstTask(HWND parent, int source, std::list<CInstalledProductInfo>* products, CShortcutList* shortcuts,
                      SGeneratorSettings& settings);

    BOOL OnInitDialog() override;
    void OnOK() override;

    int m_nSource;
    int m_bIgnoreRegistry = 1;
    int m_bPathsToVariables = 0;
    int m_bAddDepends;
    int m_bMarkExecutable;

    KvUi::CComboBox m_wndSource;
    KvUi::CListBox m_wndPrograms;

    void OnSourceChange();
    void OnSelectAll();
    void OnProgramsChange();
    void OnIgnoreRegistry();
    void OnAddDepends();
    void OnMarkExecutable();

protected:
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    // Refills the list box from the current source's list; each item's data is its place in it.
    void FillPrograms();
    // The option boxes as the source allows them (1158 and 1147 checked and fixed for shortcuts).
    void ShowOptions();
    void UpdateOk();
    int SelectedCount() const;

    std::list<CInstalledProductInfo>* m_pProducts;
    CShortcutList* m_pShortcuts;
    SGeneratorSettings& m_settings;
    // The entries of the shown list, by item data.
    std::vector<std::list<CInstalledProductInfo>::iterator> m_productItems;
    std::vector<CShortcutList::iterator> m_shortcutItems;
    KV_DECLARE_MESSAGE_MAP()
};

class dlgAddInstallTask : public KvUi::CDialog {
public:
    // The abort flag is the caller's; the constructor sets it to 0 and "Прервать" to 1.
    dlgAddInstallTask(HWND parent, int* abortFlag);

    // Creates the modeless window (hidden until the caller shows it); FALSE when it cannot be made.
    BOOL CreateModeless();
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void SetTaskRange(int count);
    void SetTaskPos(int position);
    void SetTaskText(const wchar_t* text);
    void SetResourceRange(int count);
    void SetResourcePos(int position);
    void SetResourceText(const wchar_t* text);

    KvUi::CProgressCtrl m_wndTasks;
    KvUi::CProgressCtrl m_wndResources;

protected:
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    int* m_pAbort;
    HWND m_hParentWnd;
    KV_DECLARE_MESSAGE_MAP()
};
