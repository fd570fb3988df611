// The inventory's disk part: the system's physical disks through the disk queries.
#include "VDevInfo.h"

#include <winioctl.h>

#include <cwchar>
#include <memory>
#include <mutex>

namespace VDeviceInfo {

namespace {

template <class Base>
class Counted : public Base {
public:
    long AddRef() override { return ++m_refs; }
    long Release() override {
        long n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }
private:
    std::atomic<long> m_refs{0};
};

class CFilterEntry : public Counted<IFilterEntry> {
public:
    explicit CFilterEntry(const _value_t& v) : m_value(v) {}
    bool Matches(const _value_t& value) override {
        if (m_value.is_number() && value.is_number())
            return m_value.as_int64() == value.as_int64();
        return m_value.as_wstring() == value.as_wstring();
    }
private:
    _value_t m_value;
};

class CFilter : public Counted<IFilter> {
public:
    void Add(const wchar_t* property, IFilterEntry* entry) override {
        if (property && entry)
            m_entries.push_back({property, SmartPtr<IFilterEntry>(entry)});
    }
    long GetCount() override { return (long)m_entries.size(); }
    bool Accepts(IPhysicalDrive* drive) override {
        for (auto& e : m_entries) {
            _value_t v = drive->GetProperty(e.first.c_str());
            if (v.empty() || !e.second->Matches(v))
                return false;
        }
        return true;
    }
private:
    std::vector<std::pair<std::wstring, SmartPtr<IFilterEntry>>> m_entries;
};

class CPhysicalDrive : public Counted<IPhysicalDrive> {
public:
    explicit CPhysicalDrive(const DriveInfo& info) : m_info(info) {}
    DWORD GetNumber() override { return m_info.number; }
    std::wstring GetDevicePath() override { return m_info.devicePath; }
    _value_t GetProperty(const wchar_t* name) override {
        std::wstring n = name ? name : L"";
        if (n == L"Number") return _value_t((int)m_info.number);
        if (n == L"DevicePath") return _value_t(m_info.devicePath);
        if (n == L"MediaType") return _value_t(m_info.mediaType);
        if (n == L"BusType") return _value_t(m_info.busType);
        if (n == L"Size") return _value_t((long long)m_info.size);
        if (n == L"PartitionStyle") return _value_t(m_info.partitionStyle);
        return _value_t();
    }
    int GetMediaType() override { return m_info.mediaType; }
    int GetBusType() override { return m_info.busType; }
    unsigned long long GetSize() override { return m_info.size; }
    int GetPartitionStyle() override { return m_info.partitionStyle; }
    bool IsRecognized() override {
        return m_info.partitionStyle == PartitionStyleMbr || m_info.partitionStyle == PartitionStyleGpt;
    }
private:
    DriveInfo m_info;
};

class CSystemSource : public IDriveSource {
public:
    std::vector<DriveInfo> ListDrives() override { return Common::ReadSystemDrives(); }
};

std::mutex g_lock;
CSystemSource g_system;
IDriveSource* g_source = &g_system;
long g_attached = 0;

class CStorage : public Counted<IStorage> {
public:
    explicit CStorage(IDriveSource* source) {
        for (const DriveInfo& d : source->ListDrives())
            m_drives.push_back(SmartPtr<IPhysicalDrive>(new CPhysicalDrive(d)));
    }
    long GetDriveCount() override { return (long)m_drives.size(); }
    SmartPtr<IPhysicalDrive> GetDrive(long index) override {
        return index >= 0 && index < (long)m_drives.size() ? m_drives[index] : SmartPtr<IPhysicalDrive>();
    }
    void GetPhysicalDrives(std::list<SmartPtr<IPhysicalDrive>>& drives, IFilter* filter) override {
        for (auto& d : m_drives)
            if (!filter || filter->Accepts(d.Get()))
                drives.push_back(d);
    }
private:
    std::vector<SmartPtr<IPhysicalDrive>> m_drives;
};

bool ReadDrive(DWORD number, DriveInfo& info) {
    wchar_t path[64];
    swprintf(path, 64, L"\\\\.\\PhysicalDrive%u", (unsigned)number);
    HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Without read access the disk is still listed, with what a query without rights gives.
        h = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
    }
    info = DriveInfo();
    info.number = number;
    info.devicePath = path;
    DWORD bytes = 0;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    BYTE buffer[4096] = {};
    bool removable = false;
    if (::DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer, sizeof(buffer), &bytes, nullptr) &&
        bytes >= sizeof(STORAGE_DEVICE_DESCRIPTOR) - 1) {
        auto* desc = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(buffer);
        info.busType = desc->BusType;
        removable = desc->RemovableMedia != 0;
    }
    DISK_GEOMETRY_EX geometry = {};
    if (::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof(geometry), &bytes, nullptr)) {
        info.size = (unsigned long long)geometry.DiskSize.QuadPart;
        info.mediaType = geometry.Geometry.MediaType == FixedMedia       ? MediaTypeFixed
                         : geometry.Geometry.MediaType == RemovableMedia ? MediaTypeRemovable
                                                                         : MediaTypeUnknown;
    } else {
        info.mediaType = removable ? MediaTypeRemovable : MediaTypeUnknown;
    }
    std::vector<BYTE> layout(sizeof(DRIVE_LAYOUT_INFORMATION_EX) + 127 * sizeof(PARTITION_INFORMATION_EX));
    if (::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout.data(), (DWORD)layout.size(), &bytes,
                          nullptr)) {
        auto* l = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(layout.data());
        info.partitionStyle = l->PartitionStyle == PARTITION_STYLE_MBR   ? PartitionStyleMbr
                              : l->PartitionStyle == PARTITION_STYLE_GPT ? PartitionStyleGpt
                                                                         : PartitionStyleRaw;
    } else {
        DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) {
            // The device's driver keeps no partition layout at all (a pseudo disk, such as Wine's
            // view of the host's disk): not a disk the board works with, so it is not listed.
            ::CloseHandle(h);
            return false;
        }
    }
    ::CloseHandle(h);
    return true;
}

} // namespace

namespace Common {

int Attach() {
    std::lock_guard<std::mutex> g(g_lock);
    ++g_attached;
    return 1;
}

int Detach() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_attached > 0)
        --g_attached;
    return 1;
}

SmartPtr<IStorage> GetStorage() {
    IDriveSource* source;
    {
        std::lock_guard<std::mutex> g(g_lock);
        source = g_source;
    }
    return SmartPtr<IStorage>(new CStorage(source));
}

SmartPtr<IFilter> CreateFilter() { return SmartPtr<IFilter>(new CFilter); }

SmartPtr<IFilterEntry> CreateFilterEntry(const _value_t& value) { return SmartPtr<IFilterEntry>(new CFilterEntry(value)); }

void SetDriveSource(IDriveSource* source) {
    std::lock_guard<std::mutex> g(g_lock);
    g_source = source ? source : &g_system;
}

std::vector<DriveInfo> ReadSystemDrives() {
    std::vector<DriveInfo> drives;
    // Disk numbers may have gaps (a removed disk): look a little beyond the first missing one.
    int misses = 0;
    for (DWORD n = 0; n < 64 && misses < 8; ++n) {
        DriveInfo info;
        if (ReadDrive(n, info)) {
            drives.push_back(info);
            misses = 0;
        } else {
            ++misses;
        }
    }
    return drives;
}

} // namespace Common
} // namespace VDeviceInfo
