// The new-model setup: what a new model starts with (dlgPrepareControl, template 7015), the kind of
// the task "MS Windows" (dlgMsWindows, 199) and the installed programs to generate tasks for
// (dlgAddonTask, 192). The confirmed setup dialog is handed to the Windows-templates operation,
// which reads its result members.
#pragma once

#include <kvui/kvui.h>

#include <functional>
#include <list>
#include <string>

#include "KvProductInfo.h"

typedef std::list<CInstalledProductInfo> CInstalledProductList;

class dlgMsWindows : public KvUi::CDialog {
public:
    // choice: 1 the default set, 2 the start of Windows.
    dlgMsWindows(int choice, HWND parent);
    BOOL OnInitDialog() override;
    void OnOK() override;
    int GetChoice() const { return m_nChoice; }

    int m_nChoice;
};

class dlgAddonTask : public KvUi::CDialog {
public:
    // The dialog cuts the caller's list down to the chosen programs on OK; the names are selected
    // at start (each the first entry beginning with it, any case).
    dlgAddonTask(HWND parent, CInstalledProductList* products, const std::list<std::wstring>& selected);
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnSelChange();

    CInstalledProductList* m_pProducts;
    std::list<std::wstring> m_Selected;
    KvUi::CListBox m_wndList;

protected:
    void UpdateOk();
    KV_DECLARE_MESSAGE_MAP()
};

class dlgPrepareControl : public KvUi::CDialog {
public:
    // updatePresent: the setting UpdatePresent (the model is cleared first by default when it is 0).
    dlgPrepareControl(HWND parent, int updatePresent);
    BOOL OnInitDialog() override;

    // Results, read after OK.
    int m_bAddWindowsTask = 1;        // 1199
    CInstalledProductList m_Products; // 1195 with the choice of 1203
    int m_bClearModel = 0;            // 1193
    int m_nWindowsVariant = 1;        // 1 the default kind, 0 the start of Windows (1204)

    // Lists the installed programs (GetInstalledProducts unless a test sets its own).
    std::function<void(CInstalledProductList&)> m_fnEnumerateProducts;

    void OnAddWindows();
    void OnAddProducts();
    void OnChooseProducts();
    void OnWindowsSetup();
    void OnClear();
    void OnDefaults();
    // OK is enabled while something is chosen.
    void UpdateOk();
    bool HasChoice() const { return m_bAddWindowsTask || !m_Products.empty() || m_bClearModel; }

protected:
    void ShowChosenCount();
    int m_bUpdatePresent;
    KV_DECLARE_MESSAGE_MAP()
};

// Removes the first program of the list, in its order, whose name holds "Kavrel 5" together with one
// of "Клиент", "автоном" and "мобиль" (the host suite's own client is offered nowhere); at most one.
void RemoveHostSuiteClient(CInstalledProductList& products);
