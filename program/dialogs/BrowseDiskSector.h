// The disk-sector picker "Секторы": this computer's fixed drives, the extended partitions of MBR
// drives (nested as they are on the disk) and the sectors the inventory offers, each under the
// innermost drive or extended partition that holds it. A sector whose number does not fit in 32
// bits is refused with a message and the dialog stays open.
#pragma once

#include "PickerTreeDialog.h"

class dlgBrowseDiskSector : public CPickerTreeDialog {
public:
    // mode 0: single choice, else check mode.
    dlgBrowseDiskSector(int mode, KvUi::CWnd* pParent);

protected:
    void FillTree() override;
    bool IsPickEligible(HTREEITEM h) const override;
    void ShowProperties(HTREEITEM h) override;
    std::wstring PathOf(HTREEITEM h) const override;
    bool AcceptPicks() override;

    void FillDrive(const VDeviceInfo::SmartPtr<VDeviceInfo::IPhysicalDrive>& drive);
    void InsertSector(HTREEITEM parent, const VDeviceInfo::SmartPtr<VDeviceInfo::ISector>& sector,
                      unsigned long long offset);
    void OnItemExpanded(NMHDR* hdr, LRESULT* pResult);

    KV_DECLARE_MESSAGE_MAP()
};
