// The disk-sector picker.
#include "BrowseDiskSector.h"

#include "pickers_ids.h"

#include <map>

using namespace KvUi;
using namespace VDeviceInfo;

namespace {

// The store keeps a sector's number in 32 bits and its disk's number in a byte.
const unsigned long long kMaxSectorNumber = 4294967295ULL;
const int kMaxDisk = 255;

struct Range {
    HTREEITEM item;
    unsigned long long start, end; // bytes, end excluded
};

bool IsExtended(const PARTITION_INFORMATION_EX& info) {
    return info.PartitionStyle == PARTITION_STYLE_MBR &&
           (info.Mbr.PartitionType == 0x05 || info.Mbr.PartitionType == 0x0F);
}

} // namespace

KV_BEGIN_MESSAGE_MAP(dlgBrowseDiskSector, CPickerTreeDialog)
ON_NOTIFY(TVN_ITEMEXPANDEDW, kTreeId, OnItemExpanded)
KV_END_MESSAGE_MAP()

dlgBrowseDiskSector::dlgBrowseDiskSector(int mode, CWnd* pParent)
    : CPickerTreeDialog(IDD_BROWSE_DISK_SECTOR, mode, pParent) {}

void dlgBrowseDiskSector::FillTree() {
    TakeDeviceImages();
    if (m_images.m_hImageList)
        m_tree.SetImageList(m_images.m_hImageList, TVSIL_NORMAL);
    SmartPtr<VDeviceInfo::IStorage> storage = Common::GetStorage();
    if (!storage)
        return;
    SmartPtr<IFilter> filter = Common::CreateFilter();
    SmartPtr<IFilterEntry> fixed = Common::CreateFilterEntry(_value_t(MediaTypeFixed));
    filter->AddEntry(L"MediaType", fixed.Get());
    std::list<SmartPtr<IPhysicalDrive>> drives;
    storage->GetDrives(drives, filter.Get());
    for (const auto& d : drives)
        if (d->GetNumber() <= (DWORD)kMaxDisk) // a disk the store cannot name is not offered
            FillDrive(d);
    ::SetFocus(m_tree.m_hWnd);
}

void dlgBrowseDiskSector::FillDrive(const SmartPtr<IPhysicalDrive>& drive) {
    HTREEITEM item = m_tree.InsertItem(drive->GetName(), drive->GetImage(), drive->GetImage(), TVI_ROOT, TVI_LAST,
                                       AddEntry(SmartPtr<IEntry>(drive)));
    // A drive that reports no geometry is read with 512-byte sectors, so its sectors keep their
    // places instead of all falling on offset 0.
    unsigned long long bytesPerSector = drive->GetGeometry();
    if (!bytesPerSector)
        bytesPerSector = DefaultBytesPerSector;

    std::map<unsigned long long, SmartPtr<ISector>> sectors;
    std::list<SmartPtr<ISector>> list;
    drive->GetSectors(list);
    for (const auto& s : list) {
        unsigned long long n = s->GetNumber();
        if (n > ~0ULL / bytesPerSector)
            continue; // beyond any disk this machine can address
        sectors[n * bytesPerSector] = s;
    }

    std::vector<Range> ranges = {{item, 0, drive->GetSize()}};
    std::list<SmartPtr<IPartition>> partitions;
    drive->GetPartitions(partitions);
    for (const auto& p : partitions) {
        PARTITION_INFORMATION_EX info = p->GetInfo();
        if (!IsExtended(info))
            continue;
        HTREEITEM ext = m_tree.InsertItem(LoadStr(IDS_PICK_EXTENDED), ImageExtendedClosed, ImageExtendedClosed,
                                          ranges.back().item, TVI_LAST, AddEntry(SmartPtr<IEntry>(p)));
        unsigned long long start = (unsigned long long)info.StartingOffset.QuadPart;
        ranges.push_back({ext, start, start + (unsigned long long)info.PartitionLength.QuadPart});
    }
    // Innermost first: each range takes the sectors still free within it.
    for (auto r = ranges.rbegin(); r != ranges.rend(); ++r) {
        for (auto it = sectors.lower_bound(r->start); it != sectors.end() && it->first < r->end;) {
            InsertSector(r->item, it->second, it->first);
            it = sectors.erase(it);
        }
        m_tree.Expand(r->item, TVE_EXPAND);
    }
}

void dlgBrowseDiskSector::InsertSector(HTREEITEM parent, const SmartPtr<ISector>& sector, unsigned long long offset) {
    HTREEITEM after = TVI_FIRST;
    for (HTREEITEM c = m_tree.GetChildItem(parent); c; c = m_tree.GetNextSiblingItem(c)) {
        SmartPtr<IEntry> e = GetItemEntry(c);
        bool precedes = false;
        if (SmartPtr<ISector> s = e)
            precedes = s->GetNumber() < sector->GetNumber();
        else if (SmartPtr<IPartition> p = e)
            precedes = (unsigned long long)p->GetInfo().StartingOffset.QuadPart < offset;
        if (!precedes)
            break;
        after = c;
    }
    m_tree.InsertItem(sector->GetName(), sector->GetImage(), sector->GetImage(), parent, after,
                      AddEntry(SmartPtr<IEntry>(sector)));
}

void dlgBrowseDiskSector::OnItemExpanded(NMHDR* hdr, LRESULT* pResult) {
    auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
    *pResult = 0;
    if (SmartPtr<IPartition>(GetItemEntry(nm->itemNew.hItem))) {
        int image = (nm->action & TVE_COLLAPSE) ? ImageExtendedClosed : ImageExtendedOpen;
        m_tree.SetItemImage(nm->itemNew.hItem, image, image);
    }
}

bool dlgBrowseDiskSector::IsPickEligible(HTREEITEM h) const { return (bool)SmartPtr<ISector>(GetItemEntry(h)); }

std::wstring dlgBrowseDiskSector::PathOf(HTREEITEM h) const {
    SmartPtr<ISector> s = GetItemEntry(h);
    return s ? s->GetPath() : std::wstring();
}

void dlgBrowseDiskSector::ShowProperties(HTREEITEM h) {
    SmartPtr<IEntry> e = GetItemEntry(h);
    if (SmartPtr<IPhysicalDrive> drive = e) {
        auto main = CProp::MakeGroup(LoadStr(IDS_PICK_MAIN));
        main->AddSubItem(CProp::MakeText(LoadStr(IDS_PICK_DISK), drive->GetName()));
        main->AddSubItem(CProp::MakeText(LoadStr(IDS_PICK_NAME), drive->GetDescription()));
        int style = drive->GetPartitionStyle();
        main->AddSubItem(CProp::MakeText(LoadStr(IDS_PICK_PARTITION_STYLE),
                                         LoadStr(style == PartitionStyleMbr   ? IDS_PICK_MBR
                                                 : style == PartitionStyleGpt ? IDS_PICK_GPT
                                                                              : IDS_PICK_UNKNOWN)));
        wchar_t size[64];
        swprintf(size, 64, LoadStr(IDS_PICK_MEGABYTES).c_str(), drive->GetSize() / 1048576);
        main->AddSubItem(CProp::MakeText(LoadStr(IDS_PICK_CAPACITY), size));
        auto bios = CProp::MakeGroup(LoadStr(IDS_PICK_BIOS));
        std::wstring number = LoadStr(IDS_PICK_UNKNOWN), physical = number;
        if (drive->IsBiosMapped()) {
            wchar_t buf[32];
            swprintf(buf, 32, L"%d", drive->GetBiosNumber());
            number = buf;
            swprintf(buf, 32, L"0x%.4x", (unsigned)drive->GetPhysicalNumber());
            physical = buf;
        }
        bios->AddSubItem(CProp::MakeText(LoadStr(IDS_PICK_BIOS_DISK_NUMBER), number));
        bios->AddSubItem(CProp::MakeText(LoadStr(IDS_PICK_PHYSICAL_NUMBER), physical));
        m_grid.AddProperty(std::move(main));
        m_grid.AddProperty(std::move(bios));
        return;
    }
    if (SmartPtr<IPartition> p = e) {
        AddRow(LoadStr(IDS_PICK_NAME), p->GetName());
        return;
    }
    if (SmartPtr<ISector> s = e) {
        AddRow(LoadStr(IDS_PICK_NAME), s->GetName());
        wchar_t buf[40];
        swprintf(buf, 40, L"0x%.4llX", s->GetNumber());
        AddRow(LoadStr(IDS_PICK_SECTOR), buf);
    }
}

bool dlgBrowseDiskSector::AcceptPicks() {
    for (const PickedEntry& p : m_picked) {
        SmartPtr<ISector> s = p.entry;
        if (!s)
            continue;
        std::vector<wchar_t> text(p.strPath.size() + 512);
        if (s->GetNumber() > kMaxSectorNumber) {
            swprintf(text.data(), text.size(), LoadStr(IDS_PICK_SECTOR_TOO_FAR).c_str(), p.strPath.c_str(),
                     s->GetNumber());
        } else if (s->GetDiskNumber() < 0 || s->GetDiskNumber() > kMaxDisk) {
            swprintf(text.data(), text.size(), LoadStr(IDS_PICK_DISK_TOO_FAR).c_str(), p.strPath.c_str(),
                     s->GetDiskNumber());
        } else {
            continue;
        }
        MessageBox(text.data(), nullptr, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}
