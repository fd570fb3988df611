// The inventory's objects: filters, checked casts, the device image list, PCI devices from an
// injected list and the storage of physical drives that start-up and the sector picker use.
#include <gtest/gtest.h>

#include "VDevInfo.h"

using namespace VDeviceInfo;

namespace {

const GUID kDisplay = {0x4d36e968, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kNet = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kOdd = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class CPciList : public IPciSource {
public:
    std::vector<PciDeviceInfo> devices;
    std::vector<PciDeviceInfo> ListDevices() override { return devices; }
};

PciDeviceInfo Pci(const wchar_t* name, const wchar_t* group, GUID cls, DWORD bus, DWORD dev, DWORD fn, DWORD ven,
                  DWORD id, DWORD rev, DWORD code) {
    PciDeviceInfo d;
    d.name = name;
    d.group = group;
    d.classGuid = cls;
    d.bus = bus;
    d.device = dev;
    d.function = fn;
    d.vendorId = ven;
    d.deviceId = id;
    d.revisionId = rev;
    d.classCode = code;
    return d;
}

// Two identical network cards on different buses, a display adapter and a device of an
// unknown class without a group.
CPciList Machine() {
    CPciList l;
    l.devices = {Pci(L"Display", L"Display adapters", kDisplay, 0, 2, 0, 0x8086, 0x3E92, 2, 0x030000),
                 Pci(L"Ethernet", L"Network adapters", kNet, 1, 0, 0, 0x8086, 0x10D3, 0, 0x020000),
                 Pci(L"Ethernet", L"Network adapters", kNet, 2, 0, 0, 0x8086, 0x10D3, 0, 0x020000),
                 Pci(L"Odd", L"", kOdd, 0, 31, 7, 0x1AF4, 0x1000, 1, 0xFF0000)};
    return l;
}

std::list<SmartPtr<IEquipment>> Devices(CPciList& source, IFilter* filter) {
    Common::SetPciSource(&source);
    SmartPtr<IPCIEquipment> pci = Common::GetPCI();
    Common::SetPciSource(nullptr);
    std::list<SmartPtr<IEquipment>> devices;
    pci->GetDevices(devices, filter);
    return devices;
}

_value_t Property(IEquipment* d, const wchar_t* name) {
    std::list<SmartPtr<IProperty>> props;
    SmartPtr<IFilter> f = Common::CreateFilter();
    f->AddEntry(name, nullptr);
    d->GetProperties(props, f.Get());
    return props.empty() ? _value_t() : props.front()->GetValue();
}

TEST(Pci, InjectedDevicesGiveTheirEntriesImagesAndAddresses) {
    CPciList source = Machine();
    auto devices = Devices(source, nullptr);
    struct Row {
        std::wstring name, group;
        int image;
        long long address;
        std::wstring guid;
    };
    std::vector<Row> rows;
    for (auto& d : devices)
        rows.push_back({d->GetName(), d->GetGroup(), d->GetImage(), Property(d.Get(), L"Address").as_int64(),
                        Property(d.Get(), L"Class GUID").as_wstring()});
    ASSERT_EQ(4u, rows.size());
    const Row expected[] = {
        {L"Display", L"Display adapters", ImageDisplay, 0x000200, L"{4D36E968-E325-11CE-BFC1-08002BE10318}"},
        {L"Ethernet", L"Network adapters", ImageNetwork, 0x010000, L"{4D36E972-E325-11CE-BFC1-08002BE10318}"},
        {L"Ethernet", L"Network adapters", ImageNetwork, 0x020000, L"{4D36E972-E325-11CE-BFC1-08002BE10318}"},
        {L"Odd", L"", ImageUnknownDevice, 0x001F07, L"{12345678-1234-1234-0102-030405060708}"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].name, rows[i].name);
        EXPECT_EQ(expected[i].group, rows[i].group);
        EXPECT_EQ(expected[i].image, rows[i].image);
        EXPECT_EQ(expected[i].address, rows[i].address);
        EXPECT_EQ(expected[i].guid, rows[i].guid);
    }
    // The class GUID text leads back to the device's image, as the node image list asks.
    SmartPtr<IDeviceImageList> images = Common::GetDeviceImageList();
    EXPECT_EQ(ImageNetwork, images->GetClassImage(kNet));
    EXPECT_EQ(ImageUnknownDevice, images->GetClassImage(kOdd));
    // Every property of a device comes without a filter, in a fixed order.
    std::list<SmartPtr<IProperty>> all;
    devices.front()->GetProperties(all, nullptr);
    std::vector<std::wstring> names;
    for (auto& p : all)
        names.push_back(p->GetName());
    EXPECT_EQ((std::vector<std::wstring>{L"Bus Number", L"Device Number", L"Function Number", L"Address", L"Vendor ID",
                                         L"Device ID", L"Subsystem ID", L"Revision ID", L"Class Code", L"Class GUID",
                                         L"Hardware ID"}),
              names);
}

// The question of the missing-resource dialog: is a device with these four identifiers present?
long FindByIdentifiers(CPciList& source, const _value_t& ven, const _value_t& dev, const _value_t& rev,
                       const _value_t& code) {
    SmartPtr<IFilter> f = Common::CreateFilter();
    f->AddEntry(L"Vendor ID", Common::CreateFilterEntry(ven).Get());
    f->AddEntry(L"Device ID", Common::CreateFilterEntry(dev).Get());
    f->AddEntry(L"Revision ID", Common::CreateFilterEntry(rev).Get());
    f->AddEntry(L"Class Code", Common::CreateFilterEntry(code).Get());
    long found = 0;
    for (auto& d : Devices(source, f.Get())) {
        std::list<SmartPtr<IProperty>> props;
        d->GetProperties(props, f.Get());
        if ((long)props.size() == f->GetEntries())
            ++found;
    }
    return found;
}

TEST(Pci, FiltersSelectDevicesByIdentifiersOfAnyIntegerKind) {
    CPciList source = Machine();
    EXPECT_EQ(2, FindByIdentifiers(source, _value_t(0x8086), _value_t(0x10D3), _value_t(0), _value_t(0x020000)));
    EXPECT_EQ(2, FindByIdentifiers(source, _value_t((unsigned long)0x8086), _value_t(0x10D3LL), _value_t(0u),
                                   _value_t((long)0x020000)));
    EXPECT_EQ(0, FindByIdentifiers(source, _value_t(0x8086), _value_t(0x10D3), _value_t(1), _value_t(0x020000)));
    EXPECT_EQ(0, FindByIdentifiers(source, _value_t(L"32902"), _value_t(0x10D3), _value_t(0), _value_t(0x020000)));
    // A name-only entry keeps that one property.
    SmartPtr<IFilter> f = Common::CreateFilter();
    f->AddEntry(L"Bus Number", nullptr);
    std::list<SmartPtr<IProperty>> props;
    Devices(source, nullptr).back()->GetProperties(props, f.Get());
    ASSERT_EQ(1u, props.size());
    EXPECT_EQ(L"Bus Number", props.front()->GetName());
    EXPECT_EQ(0, props.front()->GetValue().as_int());
}

TEST(Pci, TheSystemsDisplayAdapterIsListedThroughSetupApi) {
    // Wine lists its display adapter on the PCI bus, under the display class.
    std::list<SmartPtr<IEquipment>> devices;
    Common::GetPCI()->GetDevices(devices, nullptr);
    SmartPtr<IEquipment> display;
    for (auto& d : devices)
        if (Property(d.Get(), L"Class GUID").as_wstring() == L"{4D36E968-E325-11CE-BFC1-08002BE10318}")
            display = d;
    ASSERT_TRUE(display) << "no display adapter among " << devices.size() << " PCI devices";
    EXPECT_EQ(ImageDisplay, display->GetImage());
    EXPECT_FALSE(display->GetName().empty());
    EXPECT_EQ(0, Property(display.Get(), L"Hardware ID").as_wstring().find(L"PCI\\VEN_"));
}

TEST(Entries, CheckedCastsGiveEmptyPointersForOtherKinds) {
    CPciList source = Machine();
    SmartPtr<IEntry> entry(Devices(source, nullptr).front());
    EXPECT_TRUE(entry);
    EXPECT_TRUE(SmartPtr<IEquipment>(entry));
    EXPECT_FALSE(SmartPtr<ISMBIOSTable>(entry));
    EXPECT_FALSE(SmartPtr<ISMBIOSField>(entry));
    EXPECT_FALSE(SmartPtr<IPCIEquipment>(entry));
    EXPECT_FALSE(SmartPtr<IEquipment>(SmartPtr<IEntry>()));
    Common::SetPciSource(&source);
    SmartPtr<IEntry> root(Common::GetPCI());
    Common::SetPciSource(nullptr);
    EXPECT_TRUE(SmartPtr<IPCIEquipment>(root));
    EXPECT_EQ(L"PCI", root->GetName());
    EXPECT_EQ(ImagePciBus, root->GetImage());
}

TEST(Images, TheListHoldsEveryImageAndTheCallerOwnsIt) {
    SmartPtr<IDeviceImageList> images = Common::GetDeviceImageList();
    HIMAGELIST a = images->GetImageList();
    HIMAGELIST b = images->GetImageList();
    ASSERT_NE(nullptr, a);
    EXPECT_NE(a, b);
    EXPECT_EQ(ImageCount, ::ImageList_GetImageCount(a));
    int cx = 0, cy = 0;
    ::ImageList_GetIconSize(a, &cx, &cy);
    EXPECT_EQ(16, cx);
    EXPECT_EQ(16, cy);
    // The caller extends its own copy without touching the other.
    HBITMAP extra = ::CreateBitmap(16, 16, 1, 32, nullptr);
    EXPECT_EQ(ImageCount, ::ImageList_Add(a, extra, nullptr));
    ::DeleteObject(extra);
    EXPECT_EQ(ImageCount, ::ImageList_GetImageCount(b));
    ::ImageList_Destroy(a);
    ::ImageList_Destroy(b);
    EXPECT_EQ(ImageSmbiosBios, images->GetSmbiosTableImage(0));
    EXPECT_EQ(ImageProcessor, images->GetSmbiosTableImage(4));
    EXPECT_EQ(ImageSmbiosMemory, images->GetSmbiosTableImage(17));
    EXPECT_EQ(ImageSmbiosTable, images->GetSmbiosTableImage(1));
    EXPECT_EQ(ImageSmbiosTable, images->GetSmbiosTableImage(200));
}

// ---- the storage -------------------------------------------------------------------------------

class CListSource : public IDriveSource {
public:
    std::vector<DriveInfo> drives;
    std::vector<DriveInfo> ListDrives() override { return drives; }
};

DriveInfo Drive(DWORD n, int media, int style) {
    DriveInfo d;
    d.number = n;
    d.devicePath = L"\\\\.\\PhysicalDrive" + std::to_wstring(n);
    d.mediaType = media;
    d.partitionStyle = style;
    return d;
}

TEST(Storage, FilterOnMediaTypeKeepsFixedDisksInOrderWithTheirRecognition) {
    CListSource source;
    source.drives = {Drive(4, MediaTypeFixed, PartitionStyleMbr), Drive(0, MediaTypeFixed, PartitionStyleGpt),
                     Drive(1, MediaTypeRemovable, PartitionStyleRaw), Drive(2, MediaTypeFixed, PartitionStyleRaw),
                     Drive(300, MediaTypeFixed, PartitionStyleMbr)};
    Common::SetDriveSource(&source);
    auto storage = Common::GetStorage();
    Common::SetDriveSource(nullptr);
    auto filter = Common::CreateFilter();
    filter->AddEntry(L"MediaType", Common::CreateFilterEntry(_value_t(2)).Get());
    EXPECT_EQ(1, filter->GetEntries());
    std::list<SmartPtr<IPhysicalDrive>> drives;
    storage->GetDrives(drives, filter.Get());
    std::vector<DWORD> numbers;
    std::vector<bool> recognised;
    for (auto& d : drives) {
        numbers.push_back(d->GetNumber());
        recognised.push_back(d->IsRecognized());
    }
    // Disk 300 cannot be kept by the store (its disk number is a byte): it is not listed.
    EXPECT_EQ((std::vector<DWORD>{0, 2, 4}), numbers);
    EXPECT_EQ((std::vector<bool>{true, false, true}), recognised);
    std::list<SmartPtr<IPhysicalDrive>> all;
    storage->GetDrives(all, nullptr);
    EXPECT_EQ(4u, all.size());
    EXPECT_EQ(ImageRemovableDisk, (*std::next(all.begin()))->GetImage());
}

TEST(Storage, SectorsOfADiskWithoutGeometryAreOf512Bytes) {
    CListSource source;
    DriveInfo d = Drive(7, MediaTypeFixed, PartitionStyleMbr);
    d.size = 1 << 20;
    d.sectors = {{0, L"MBR"}, {4294967296ull, L"Far"}};
    source.drives = {d};
    Common::SetDriveSource(&source);
    auto storage = Common::GetStorage();
    Common::SetDriveSource(nullptr);
    std::list<SmartPtr<IPhysicalDrive>> drives;
    storage->GetDrives(drives, nullptr);
    ASSERT_EQ(1u, drives.size());
    EXPECT_EQ(512u, drives.front()->GetGeometry());
    std::list<SmartPtr<ISector>> sectors;
    drives.front()->GetSectors(sectors);
    ASSERT_EQ(2u, sectors.size());
    EXPECT_EQ(L"PhysicalDrive7\\MBR", sectors.front()->GetPath());
    EXPECT_EQ(7, sectors.front()->GetDiskNumber());
    EXPECT_EQ(4294967296ull, sectors.back()->GetNumber());
    EXPECT_TRUE(SmartPtr<ISector>(SmartPtr<IEntry>(sectors.back())));
}

TEST(Storage, SystemDisksAreListedWithoutFailing) {
    // Under Wine no physical disk with a layout opens: the list is empty; on Windows each listed
    // disk has a path and a sector size.
    for (const DriveInfo& d : Common::ReadSystemDrives()) {
        EXPECT_FALSE(d.devicePath.empty());
        EXPECT_LE(d.number, MaxDiskNumber);
    }
    // Under Wine SetupAPI lists no PCI device; each one listed elsewhere has a name.
    for (const PciDeviceInfo& p : Common::ReadSystemPciDevices())
        EXPECT_FALSE(p.name.empty() && p.hardwareId.empty());
    EXPECT_EQ(1, Common::Detach()); // a detach without attach is harmless
    EXPECT_EQ(1, Common::Attach());
    EXPECT_EQ(1, Common::Detach());
}

} // namespace
