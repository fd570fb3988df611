// The inventory's disk list: filters by property and the recognition rule, from a test source.
#include <gtest/gtest.h>

#include "VDevInfo.h"

using namespace VDeviceInfo;

namespace {

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
    source.drives = {Drive(0, MediaTypeFixed, PartitionStyleGpt), Drive(1, MediaTypeRemovable, PartitionStyleRaw),
                     Drive(2, MediaTypeFixed, PartitionStyleRaw), Drive(3, MediaTypeFixed, PartitionStyleUnknown),
                     Drive(4, MediaTypeFixed, PartitionStyleMbr)};
    Common::SetDriveSource(&source);
    auto storage = Common::GetStorage();
    Common::SetDriveSource(nullptr);
    auto filter = Common::CreateFilter();
    filter->Add(L"MediaType", Common::CreateFilterEntry(_value_t(2)).Get());
    std::list<SmartPtr<IPhysicalDrive>> drives;
    storage->GetPhysicalDrives(drives, filter.Get());
    std::vector<DWORD> numbers;
    std::vector<bool> recognised;
    for (auto& d : drives) {
        numbers.push_back(d->GetNumber());
        recognised.push_back(d->IsRecognized());
    }
    EXPECT_EQ((std::vector<DWORD>{0, 2, 3, 4}), numbers);
    EXPECT_EQ((std::vector<bool>{true, false, false, true}), recognised);
    EXPECT_EQ(5, storage->GetDriveCount());
    EXPECT_EQ(L"\\\\.\\PhysicalDrive1", storage->GetDrive(1)->GetProperty(L"DevicePath").as_wstring());
    EXPECT_TRUE(storage->GetDrive(1)->GetProperty(L"NoSuchProperty").empty());
}

TEST(Storage, SystemDisksAreListedWithoutFailing) {
    // Under Wine no physical disk opens: the list is empty; on Windows each listed disk has a path.
    for (const DriveInfo& d : Common::ReadSystemDrives())
        EXPECT_FALSE(d.devicePath.empty());
    EXPECT_EQ(1, Common::Detach());   // a detach without attach is harmless
}

} // namespace
