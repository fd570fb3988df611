// What the hardware picker and the disk-sector picker share: a resizable dialog with a host frame
// over the template's frame control, a splitter of two panes in it, the tri-state tree of the
// inventory on the left (id 0xE900) and a read-only property list of the selected item on the
// right (id 0xE901). In check mode the tree has check boxes and the pick is every fully checked
// entry that can be picked; in single choice it is the selected item. Either way OK is enabled
// exactly when the pick would hold something.
#pragma once

#include "ResizeDialog.h"
#include "TreeCtrlEx.h"

#include <VDevInfo.h>

#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

// One picked inventory entry: its path text (the resource's name) and the entry itself.
struct PickedEntry {
    std::wstring strPath;
    VDeviceInfo::SmartPtr<VDeviceInfo::IEntry> entry;
};

// The read-only property list of a picker. The list is narrow (a third of the splitter): its name
// column is as wide as the widest name needs, from half the list up to two thirds of it, and a
// name still longer than its cell is shown cut in its middle ("BIOS Char…Byte 1"), so rows whose
// names begin alike stay apart.
class CPickerGrid : public KvUi::CPropList {
public:
    void FitColumns();

protected:
    void OnSize(UINT type, int cx, int cy);

    KV_DECLARE_MESSAGE_MAP()
};

class CPickerTreeDialog : public ResizeDialog {
public:
    static constexpr UINT kTreeId = 0xE900;
    static constexpr UINT kGridId = 0xE901;

    // mode 0: single choice; any other value: check mode.
    CPickerTreeDialog(UINT nIDTemplate, int mode, KvUi::CWnd* pParent);
    ~CPickerTreeDialog() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void DefineLayout(std::vector<ResizeLayoutEntry>& defs) override;

    // The picked entries, in tree order; filled on OK.
    const std::list<PickedEntry>& GetPicked() const { return m_picked; }
    CTreeCtrlEx& GetTree() { return m_tree; }
    KvUi::CPropList& GetGrid() { return m_grid; }
    KvUi::CSplitterWnd& GetSplitter() { return m_splitter; }
    HWND GetHostFrame() const { return m_frame.m_hWnd; }
    BOOL IsCheckMode() const { return m_nMode != 0; }
    // The inventory entry of an item (empty for the computer and group items).
    VDeviceInfo::SmartPtr<VDeviceInfo::IEntry> GetItemEntry(HTREEITEM h) const;
    // Every item of the tree, each one's descendants before it, siblings in order.
    void ForEachItem(const std::function<void(HTREEITEM)>& fn) const { WalkPostOrder(fn); }
    // What OK would pick now (the items, in tree order).
    std::vector<HTREEITEM> CollectPicks() const;

protected:
    // Fills the tree (after the frame, the tree's style and the list's headers are set).
    virtual void FillTree() = 0;
    // Whether an item can be picked at all (it carries an entry of a kind the picker returns).
    virtual bool IsPickEligible(HTREEITEM h) const = 0;
    // In check mode: an eligible, fully checked item that is picked through another one instead.
    virtual bool IsCoveredByParent(HTREEITEM) const { return false; }
    // Shows an item's rows in the property list (emptied before, redrawn after).
    virtual void ShowProperties(HTREEITEM h) = 0;
    // The path text of a picked item.
    virtual std::wstring PathOf(HTREEITEM h) const = 0;
    // Checks the pick before the dialog ends; false keeps it open.
    virtual bool AcceptPicks() { return true; }

    LRESULT OnCreateMsg(WPARAM wp, LPARAM lp);
    LRESULT OnSizeMsg(WPARAM wp, LPARAM lp);
    LRESULT OnCheckChanged(WPARAM wp, LPARAM lp);
    void OnSelChanged(NMHDR* hdr, LRESULT* pResult);
    void OnOK() override;

    // Adds an entry; its index is the item data of its item.
    LPARAM AddEntry(const VDeviceInfo::SmartPtr<VDeviceInfo::IEntry>& e);
    // Walks the tree, each item's descendants before the item, siblings in order.
    void WalkPostOrder(const std::function<void(HTREEITEM)>& fn) const;
    // Whether the item is fully checked (check mode).
    bool IsFullyChecked(HTREEITEM h) const;
    void UpdateOk();
    // Takes the inventory's device images as the tree's image list.
    void TakeDeviceImages();
    void AddRow(const std::wstring& name, const std::wstring& value);
    void PlaceFrame();

    int m_nMode;
    KvUi::CHostFrame m_frame;
    KvUi::CSplitterWnd m_splitter;
    CTreeCtrlEx m_tree;
    CPickerGrid m_grid;
    KvUi::CImageList m_images;
    VDeviceInfo::SmartPtr<VDeviceInfo::IDeviceImageList> m_deviceImages;
    std::vector<VDeviceInfo::SmartPtr<VDeviceInfo::IEntry>> m_entries;
    std::list<PickedEntry> m_picked;

    KV_DECLARE_MESSAGE_MAP()
};

// The kind of resource (its SubType: 4 disk sector, 5 PCI device, 6 SMBIOS table, 7 SMBIOS field)
// and the parameters a picked entry gives its resource: "DISK" and "SECTOR"; every property of a
// PCI device; "Table Handle", "Table Type", "Table Length" of a table, with "Field Offset",
// "Field Length" and "Field Type" (true for a text field) of a field. A key already in the map
// keeps its value. -1 (and nothing added) for an entry of another kind.
int GetPickedEntryParams(const PickedEntry& picked, std::map<std::wstring, _value_t>& params);
