// Two dialogs of model upkeep: which path variables to apply, and in which direction, before paths
// are replaced by variable names or back (dlgReplEnvVar); and the question about a stored resource
// whose object is missing or changed on this computer (dlgResourceInvalid), asked while the model
// loads from the board's store.
#pragma once

#include "IChDataModel.h"

#include <VCore.h>
#include <kvui/kvui.h>

#include <string>

class dlgReplEnvVar : public KvUi::CDialog {
public:
    // The table is copied; null gives an empty one.
    dlgReplEnvVar(HWND parent, const CPathVarMap* table);
    BOOL OnInitDialog() override;
    void OnOK() override;

    int m_nDirection = 0; // after OK: 1 paths to variable names, 0 names to paths
    CPathVarMap m_Table;  // after OK: the chosen variables only
    KvUi::CListCtrl m_wndList;

protected:
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void UpdateOk();
};

// The dynamic cast of a store resource to a device: true when it is one, or when the item is empty.
bool CastResourceToDevice(const Varno::SmartPtr<Varno::IResource>& item, Varno::SmartPtr<Varno::IDevice>& device);
// 1 when the hardware inventory holds a PCI device with the stored device's vendor, device,
// revision and class (a device that moved to another address), else 0. Failures of the inventory
// pass on.
int IsDeviceAddressChanged(const Varno::SmartPtr<Varno::IDevice>& device);

class dlgResourceInvalid : public KvUi::CDialog {
public:
    // action: 0 preselects "remove from the resource list", any other value "take off control".
    // The text is made here, before the window exists. A store item that cannot be read, or an
    // inventory that fails while a moved device is looked for, gives a text that names the failure
    // and its reason, and preselects "take off control" whatever the action passed.
    dlgResourceInvalid(int action, const Varno::SmartPtr<Varno::IResource>& item, HWND parent);
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnCancel() override {} // only the four answers close it
    // After DoModal: 0 when "remove" was chosen when the window closed, else 1.
    int GetAction() const { return m_nAction == 0 ? 0 : 1; }

    const std::wstring& GetText() const { return m_strText; }
    const std::wstring& GetKindAccusative() const { return m_strAccusative; }

protected:
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

    Varno::SmartPtr<Varno::IResource> m_item;
    int m_nAction;
    std::wstring m_strText;
    std::wstring m_strAccusative;
};
