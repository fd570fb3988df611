// The hardware picker "Конфигурация оборудования": this computer's PCI devices (by group) and
// SMBIOS tables and fields as the inventory reports them, with a read-only property list of the
// selected item. Single choice returns the selected device, table or field; check mode every
// fully checked one (a fully checked table instead of its fields).
#pragma once

#include "PickerTreeDialog.h"

#include <map>
#include <string>

class dlgBrowseDevice : public CPickerTreeDialog {
public:
    // mode 0: single choice, else check mode. The initial path is kept; nothing is preselected.
    dlgBrowseDevice(int mode, const std::wstring& initialPath, KvUi::CWnd* pParent);

    const std::wstring& GetInitialPath() const { return m_strInitialPath; }
    HTREEITEM GetComputerItem() const { return m_hComputer; }
    HTREEITEM GetPciItem() const { return m_hPci; }
    HTREEITEM GetSmbiosItem() const { return m_hSmbios; }
    // The path text of any item (empty for the computer item).
    std::wstring GetItemPath(HTREEITEM h) const { return PathOf(h); }

protected:
    void FillTree() override;
    bool IsPickEligible(HTREEITEM h) const override;
    bool IsCoveredByParent(HTREEITEM h) const override;
    void ShowProperties(HTREEITEM h) override;
    std::wstring PathOf(HTREEITEM h) const override;

    void FillPci();
    void FillSmbios();
    // The item's own segment of its path.
    std::wstring SegmentOf(HTREEITEM h) const;

    std::wstring m_strInitialPath;
    HTREEITEM m_hComputer = nullptr;
    HTREEITEM m_hPci = nullptr;
    HTREEITEM m_hSmbios = nullptr;
    // Segments that differ from the plain rule: a field whose name repeats in its table, an entry
    // whose path would repeat another's (by item).
    std::map<HTREEITEM, std::wstring> m_segments;
};
