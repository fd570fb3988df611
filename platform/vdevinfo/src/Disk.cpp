// The storage branch: physical disks, their partitions and the sectors offered for control. The
// partition table is parsed from the disk's bytes through a reader, so the same code reads a
// device and a disk image file. Every offset is checked against the disk, the EBR chain against
// loops, the GPT against its checksums and a bounded entry array; what cannot be read is left
// out and named in the drive's layout problem.
#include "Internal.h"

#include <algorithm>
#include <set>

namespace VDeviceInfo {
namespace {

using namespace Detail;

// GPT entry arrays above this size are refused (the usual array is 16 KB).
const unsigned long long kMaxGptEntryBytes = 4ull * 1024 * 1024;
// Logical drives followed in one extended partition.
const int kMaxLogicalDrives = 1024;

DWORD U32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24); }
unsigned long long U64(const BYTE* p) { return U32(p) | ((unsigned long long)U32(p + 4) << 32); }

bool IsExtendedType(BYTE type) { return type == 0x05 || type == 0x0F || type == 0x85; }

struct MbrEntry {
    BYTE boot, type;
    DWORD lba, count;
};

MbrEntry EntryAt(const std::vector<BYTE>& sector, int i) {
    const BYTE* e = sector.data() + 446 + 16 * i;
    return {e[0], e[4], U32(e + 8), U32(e + 12)};
}

class CLayoutParser {
public:
    CLayoutParser(IDiskReader& reader, DriveInfo& drive) : m_reader(reader), m_drive(drive) {
        m_bps = drive.bytesPerSector ? drive.bytesPerSector : DefaultBytesPerSector;
        m_sectors = drive.size ? drive.size / m_bps : ~0ull / m_bps;
    }

    void Run() {
        m_drive.partitionStyle = PartitionStyleRaw;
        m_drive.partitions.clear();
        m_drive.sectors.clear();
        m_drive.layoutProblem.clear();
        std::vector<BYTE> mbr;
        if (m_bps < 512 || !ReadSectors(0, 1, mbr)) {
            Problem(L"The first sector of the disk cannot be read.");
            return;
        }
        if (mbr[510] != 0x55 || mbr[511] != 0xAA) {
            Problem(L"The disk has no partition table.");
            return;
        }
        for (int i = 0; i < 4; ++i)
            if (EntryAt(mbr, i).type == 0xEE) {
                Gpt();
                return;
            }
        Mbr(mbr);
    }

private:
    void Problem(const std::wstring& text) {
        if (!m_drive.layoutProblem.empty())
            m_drive.layoutProblem += L' ';
        m_drive.layoutProblem += text;
    }

    bool ReadSectors(unsigned long long lba, unsigned long long count, std::vector<BYTE>& out) {
        if (lba >= m_sectors || count > m_sectors - lba || count * m_bps > 0x7FFFFFFF)
            return false;
        out.assign((size_t)(count * m_bps), 0);
        return m_reader.Read(lba * m_bps, out.data(), (DWORD)out.size());
    }

    void AddSector(unsigned long long lba, const std::wstring& name) { m_drive.sectors.push_back({lba, name}); }

    PARTITION_INFORMATION_EX MbrPartition(const MbrEntry& e, unsigned long long lba, DWORD number) {
        PARTITION_INFORMATION_EX p = {};
        p.PartitionStyle = PARTITION_STYLE_MBR;
        p.StartingOffset.QuadPart = (LONGLONG)(lba * m_bps);
        p.PartitionLength.QuadPart = (LONGLONG)((unsigned long long)e.count * m_bps);
        p.PartitionNumber = number;
        p.Mbr.PartitionType = e.type;
        p.Mbr.BootIndicator = e.boot == 0x80;
        p.Mbr.RecognizedPartition = !IsExtendedType(e.type) && e.type != 0;
        p.Mbr.HiddenSectors = e.lba;
        return p;
    }

    // A data partition: listed with its boot sector.
    void AddDataPartition(const PARTITION_INFORMATION_EX& p, unsigned long long lba) {
        m_drive.partitions.push_back(p);
        AddSector(lba, Format(L"Boot sector of partition %u", (unsigned)p.PartitionNumber));
    }

    void Mbr(const std::vector<BYTE>& mbr) {
        m_drive.partitionStyle = PartitionStyleMbr;
        AddSector(0, L"MBR");
        std::vector<MbrEntry> extended;
        for (int i = 0; i < 4; ++i) {
            MbrEntry e = EntryAt(mbr, i);
            if (e.type == 0 || e.count == 0)
                continue;
            if (e.lba == 0 || (unsigned long long)e.lba + e.count > m_sectors) {
                Problem(Format(L"Partition table entry %d lies outside the disk.", i + 1));
                continue;
            }
            if (IsExtendedType(e.type))
                extended.push_back(e);
            else
                AddDataPartition(MbrPartition(e, e.lba, ++m_number), e.lba);
        }
        for (const MbrEntry& e : extended) {
            m_drive.partitions.push_back(MbrPartition(e, e.lba, 0));
            Logical(e);
        }
    }

    // The chain of extended boot records: each holds a logical drive (relative to itself) and
    // the link to the next record (relative to the start of the extended partition).
    void Logical(const MbrEntry& ext) {
        const unsigned long long start = ext.lba, end = start + ext.count;
        std::set<unsigned long long> seen;
        unsigned long long ebr = start, linkEnd = end;
        for (int n = 1;; ++n) {
            if (n > kMaxLogicalDrives) {
                Problem(Format(L"The extended partition holds more than %d logical drives; the rest are not read.",
                               kMaxLogicalDrives));
                return;
            }
            if (!seen.insert(ebr).second) {
                Problem(Format(L"The chain of logical drives loops back to sector %I64u.", ebr));
                return;
            }
            std::vector<BYTE> sector;
            if (!ReadSectors(ebr, 1, sector)) {
                Problem(Format(L"The extended boot record at sector %I64u cannot be read.", ebr));
                return;
            }
            if (sector[510] != 0x55 || sector[511] != 0xAA) {
                Problem(Format(L"The extended boot record at sector %I64u has no signature.", ebr));
                return;
            }
            AddSector(ebr, Format(L"EBR %d", n));
            MbrEntry data = EntryAt(sector, 0), link = EntryAt(sector, 1);
            if (data.type != 0 && data.count != 0) {
                unsigned long long lba = ebr + data.lba;
                if (data.lba == 0 || lba + data.count > linkEnd)
                    Problem(Format(L"Logical drive %d lies outside its extended partition.", n));
                else
                    AddDataPartition(MbrPartition(data, lba, ++m_number), lba);
            }
            if (link.type == 0 || link.count == 0)
                return;
            unsigned long long next = start + link.lba;
            // A link of offset 0 names the first record again: the loop test reports it.
            if (!IsExtendedType(link.type) || next + link.count > end) {
                Problem(Format(L"The link after logical drive %d lies outside the extended partition.", n));
                return;
            }
            if (seen.count(next)) {
                Problem(Format(L"The chain of logical drives loops back to sector %I64u.", next));
                return;
            }
            m_drive.partitions.push_back(MbrPartition(link, next, 0));
            ebr = next;
            linkEnd = next + link.count;
        }
    }

    struct GptHeader {
        unsigned long long alternate = 0, entryLba = 0;
        DWORD count = 0, entrySize = 0;
        std::vector<BYTE> entries;
    };

    // Reads and checks the header at lba and its entry array; the reason when it fails.
    std::wstring ReadGptHeader(unsigned long long lba, GptHeader& h) {
        std::vector<BYTE> s;
        if (!ReadSectors(lba, 1, s))
            return L"cannot be read";
        if (memcmp(s.data(), "EFI PART", 8) != 0)
            return L"has no signature";
        DWORD size = U32(&s[12]);
        if (size < 92 || size > m_bps)
            return L"has a wrong size";
        DWORD crc = U32(&s[16]);
        memset(&s[16], 0, 4);
        if (Common::Crc32(s.data(), size) != crc)
            return L"has a wrong checksum";
        if (U64(&s[24]) != lba)
            return L"names another sector as its own";
        h.alternate = U64(&s[32]);
        h.entryLba = U64(&s[72]);
        h.count = U32(&s[80]);
        h.entrySize = U32(&s[84]);
        DWORD entriesCrc = U32(&s[88]);
        if (h.entrySize < 128 || h.entrySize % 8 != 0)
            return L"has a wrong entry size";
        unsigned long long bytes = (unsigned long long)h.count * h.entrySize;
        if (bytes > kMaxGptEntryBytes)
            return Format(L"declares %u entries, too many to read", (unsigned)h.count);
        if (!ReadSectors(h.entryLba, (bytes + m_bps - 1) / m_bps, h.entries))
            return L"has its entries outside the disk";
        h.entries.resize((size_t)bytes);
        if (Common::Crc32(h.entries.data(), h.entries.size()) != entriesCrc)
            return L"has entries with a wrong checksum";
        return std::wstring();
    }

    void Gpt() {
        AddSector(0, L"Protective MBR");
        GptHeader h;
        std::wstring why = ReadGptHeader(1, h);
        unsigned long long backup = h.alternate && h.alternate < m_sectors ? h.alternate : m_sectors - 1;
        if (why.empty()) {
            AddSector(1, L"GPT header");
            GptHeader b;
            std::wstring bad = ReadGptHeader(backup, b);
            if (bad.empty())
                AddSector(backup, L"Backup GPT header");
            else
                Problem(L"The backup GPT header " + bad + L".");
        } else {
            Problem(L"The GPT header " + why + L".");
            h = GptHeader();
            why = ReadGptHeader(backup, h);
            if (!why.empty()) {
                Problem(L"The backup GPT header " + why + L"; the partitions are unknown.");
                return;
            }
            Problem(L"The backup header is used.");
            AddSector(backup, L"Backup GPT header");
        }
        m_drive.partitionStyle = PartitionStyleGpt;
        for (DWORD i = 0; i < h.count; ++i) {
            const BYTE* e = h.entries.data() + (size_t)i * h.entrySize;
            static const BYTE zero[16] = {};
            if (memcmp(e, zero, 16) == 0)
                continue;
            unsigned long long first = U64(e + 32), last = U64(e + 40);
            if (first == 0 || first > last || last >= m_sectors) {
                Problem(Format(L"GPT entry %u lies outside the disk.", (unsigned)(i + 1)));
                continue;
            }
            PARTITION_INFORMATION_EX p = {};
            p.PartitionStyle = PARTITION_STYLE_GPT;
            p.StartingOffset.QuadPart = (LONGLONG)(first * m_bps);
            p.PartitionLength.QuadPart = (LONGLONG)((last - first + 1) * m_bps);
            p.PartitionNumber = ++m_number;
            memcpy(&p.Gpt.PartitionType, e, 16);
            memcpy(&p.Gpt.PartitionId, e + 16, 16);
            p.Gpt.Attributes = U64(e + 48);
            for (int c = 0; c < 36; ++c)
                p.Gpt.Name[c] = (WCHAR)(e[56 + 2 * c] | (e[57 + 2 * c] << 8));
            AddDataPartition(p, first);
        }
    }

    IDiskReader& m_reader;
    DriveInfo& m_drive;
    DWORD m_bps;
    unsigned long long m_sectors;
    DWORD m_number = 0;
};

// Reads a file or a device through its handle, in whole sectors as devices require.
class CHandleReader : public IDiskReader {
public:
    explicit CHandleReader(HANDLE h) : m_h(h) {}
    bool Read(unsigned long long offset, void* buffer, DWORD size) override {
        LARGE_INTEGER at;
        at.QuadPart = (LONGLONG)offset;
        DWORD got = 0;
        return ::SetFilePointerEx(m_h, at, nullptr, FILE_BEGIN) && ::ReadFile(m_h, buffer, size, &got, nullptr) &&
               got == size;
    }

private:
    HANDLE m_h;
};

// ---- objects -----------------------------------------------------------------------------------

class CPartition : public Counted<IPartition> {
public:
    explicit CPartition(const PARTITION_INFORMATION_EX& info) : m_info(info) {}
    int GetImage() override {
        return m_info.PartitionStyle == PARTITION_STYLE_MBR && IsExtendedType(m_info.Mbr.PartitionType)
                   ? ImageExtendedClosed
                   : ImageFixedDisk;
    }
    std::wstring GetName() override {
        if (m_info.PartitionStyle == PARTITION_STYLE_MBR && IsExtendedType(m_info.Mbr.PartitionType))
            return L"Extended";
        return Format(L"Partition %u", (unsigned)m_info.PartitionNumber);
    }
    PARTITION_INFORMATION_EX GetInfo() override { return m_info; }

private:
    PARTITION_INFORMATION_EX m_info;
};

class CSector : public Counted<ISector> {
public:
    CSector(DWORD disk, const SectorInfo& s) : m_disk(disk), m_info(s) {}
    int GetImage() override { return ImageSector; }
    std::wstring GetName() override { return m_info.name; }
    std::wstring GetPath() override { return Format(L"PhysicalDrive%u\\", (unsigned)m_disk) + m_info.name; }
    int GetDiskNumber() override { return (int)m_disk; }
    unsigned long long GetNumber() override { return m_info.number; }

private:
    DWORD m_disk;
    SectorInfo m_info;
};

class CPhysicalDrive : public Counted<IPhysicalDrive> {
public:
    explicit CPhysicalDrive(const DriveInfo& info) : m_info(info) {
        if (!m_info.bytesPerSector)
            m_info.bytesPerSector = DefaultBytesPerSector;
        auto add = [this](const wchar_t* name, const _value_t& v) { m_properties.push_back(MakeProperty(name, v)); };
        add(L"Number", _value_t((int)m_info.number));
        add(L"DevicePath", _value_t(m_info.devicePath));
        add(L"Description", _value_t(m_info.description));
        add(L"MediaType", _value_t(m_info.mediaType));
        add(L"BusType", _value_t(m_info.busType));
        add(L"Size", _value_t((long long)m_info.size));
        add(L"BytesPerSector", _value_t((unsigned long)m_info.bytesPerSector));
        add(L"PartitionStyle", _value_t(m_info.partitionStyle));
        if (!m_info.layoutProblem.empty())
            add(L"LayoutProblem", _value_t(m_info.layoutProblem));
    }
    int GetImage() override { return m_info.mediaType == MediaTypeRemovable ? ImageRemovableDisk : ImageFixedDisk; }
    std::wstring GetName() override { return Format(L"PhysicalDrive%u", (unsigned)m_info.number); }
    std::wstring GetDescription() override { return m_info.description; }
    unsigned long long GetSize() override { return m_info.size; }
    int GetPartitionStyle() override { return m_info.partitionStyle; }
    DWORD GetGeometry() override { return m_info.bytesPerSector; }
    void GetProperties(PropertyList& properties, IFilter* filter) override {
        CopyProperties(m_properties, properties, filter);
    }
    bool IsRecognized() override {
        return m_info.partitionStyle == PartitionStyleMbr || m_info.partitionStyle == PartitionStyleGpt;
    }
    bool IsBiosMapped() override { return m_info.biosMapped; }
    int GetBiosNumber() override { return m_info.biosNumber; }
    WORD GetPhysicalNumber() override { return m_info.physicalNumber; }
    void GetSectors(std::list<SmartPtr<ISector>>& sectors) override {
        for (const SectorInfo& s : m_info.sectors)
            sectors.push_back(SmartPtr<ISector>(new CSector(m_info.number, s)));
    }
    void GetPartitions(std::list<SmartPtr<IPartition>>& partitions) override {
        for (const PARTITION_INFORMATION_EX& p : m_info.partitions)
            partitions.push_back(SmartPtr<IPartition>(new CPartition(p)));
    }
    DWORD GetNumber() override { return m_info.number; }
    const PropertyList& Properties() const { return m_properties; }

private:
    DriveInfo m_info;
    PropertyList m_properties;
};

class CStorage : public Counted<IStorage> {
public:
    CStorage() {
        for (const DriveInfo& d : DriveSource()->ListDrives())
            if (d.number <= MaxDiskNumber) // the store keeps the disk number in a byte
                m_drives.push_back(SmartPtr<CPhysicalDrive>(new CPhysicalDrive(d)));
        std::stable_sort(m_drives.begin(), m_drives.end(),
                         [](const SmartPtr<CPhysicalDrive>& a, const SmartPtr<CPhysicalDrive>& b) {
                             return a->GetNumber() < b->GetNumber();
                         });
    }
    int GetImage() override { return ImageFixedDisk; }
    std::wstring GetName() override { return L"Storage"; }
    void GetDrives(std::list<SmartPtr<IPhysicalDrive>>& drives, IFilter* filter) override {
        for (auto& d : m_drives)
            if (Accepts(filter, d->Properties()))
                drives.push_back(SmartPtr<IPhysicalDrive>(d.Get()));
    }

private:
    std::vector<SmartPtr<CPhysicalDrive>> m_drives;
};

// ---- the system's disks --------------------------------------------------------------------------

std::wstring DeviceText(const BYTE* buffer, DWORD size, DWORD offset) {
    if (!offset || offset >= size)
        return std::wstring();
    std::string s;
    for (DWORD i = offset; i < size && buffer[i]; ++i)
        s += (char)buffer[i];
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    size_t b = s.find_first_not_of(' ');
    s = b == std::string::npos ? std::string() : s.substr(b);
    return std::wstring(s.begin(), s.end());
}

// The firmware's disk numbers: the boot loader records each BIOS disk's MBR signature under
// HARDWARE\DESCRIPTION\System\MultifunctionAdapter\*\DiskController\*\DiskPeripheral\N as
// "checksum-signature-A"; disk N there is BIOS disk 0x80 + N.
bool BiosNumberOf(DWORD signature, int& number) {
    const wchar_t* root = L"HARDWARE\\DESCRIPTION\\System\\MultifunctionAdapter";
    HKEY adapters;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, root, 0, KEY_READ, &adapters) != ERROR_SUCCESS)
        return false;
    bool found = false;
    wchar_t adapter[64];
    for (DWORD a = 0; !found && a < 64; ++a) {
        DWORD n = 64;
        if (::RegEnumKeyExW(adapters, a, adapter, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::wstring peripherals = std::wstring(adapter) + L"\\DiskController\\0\\DiskPeripheral";
        HKEY disks;
        if (::RegOpenKeyExW(adapters, peripherals.c_str(), 0, KEY_READ, &disks) != ERROR_SUCCESS)
            continue;
        wchar_t disk[64];
        for (DWORD d = 0; !found && d < 128; ++d) {
            DWORD m = 64;
            if (::RegEnumKeyExW(disks, d, disk, &m, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            wchar_t id[64] = L"";
            DWORD bytes = sizeof(id) - sizeof(wchar_t);
            if (::RegGetValueW(disks, disk, L"Identifier", RRF_RT_REG_SZ, nullptr, id, &bytes) != ERROR_SUCCESS)
                continue;
            const wchar_t* dash = wcschr(id, L'-');
            if (dash && wcstoul(dash + 1, nullptr, 16) == signature) {
                number = 0x80 + (int)wcstoul(disk, nullptr, 10);
                found = true;
            }
        }
        ::RegCloseKey(disks);
    }
    ::RegCloseKey(adapters);
    return found;
}

// The layout as the disk driver reports it, for a disk whose bytes cannot be read.
void LayoutFromDriver(const DRIVE_LAYOUT_INFORMATION_EX& l, DriveInfo& info) {
    info.partitionStyle = l.PartitionStyle == PARTITION_STYLE_MBR   ? PartitionStyleMbr
                          : l.PartitionStyle == PARTITION_STYLE_GPT ? PartitionStyleGpt
                                                                    : PartitionStyleRaw;
    for (DWORD i = 0; i < l.PartitionCount && i < 128; ++i) {
        const PARTITION_INFORMATION_EX& p = l.PartitionEntry[i];
        bool empty =
            p.PartitionStyle == PARTITION_STYLE_MBR ? p.Mbr.PartitionType == 0 : p.PartitionLength.QuadPart == 0;
        if (!empty)
            info.partitions.push_back(p);
    }
    info.layoutProblem = L"The disk cannot be read; the layout is the driver's.";
}

bool ReadDrive(DWORD number, DriveInfo& info) {
    wchar_t path[64];
    swprintf(path, 64, L"\\\\.\\PhysicalDrive%u", (unsigned)number);
    bool readable = true;
    HANDLE h =
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Without read access the disk is still listed, with what a query without rights gives.
        readable = false;
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
    if (::DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer, sizeof(buffer), &bytes,
                          nullptr) &&
        bytes >= offsetof(STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength)) {
        auto* desc = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(buffer);
        info.busType = desc->BusType;
        removable = desc->RemovableMedia != 0;
        std::wstring vendor = DeviceText(buffer, bytes, desc->VendorIdOffset);
        std::wstring product = DeviceText(buffer, bytes, desc->ProductIdOffset);
        info.description = vendor.empty() ? product : product.empty() ? vendor : vendor + L" " + product;
    }
    DISK_GEOMETRY_EX geometry = {};
    if (::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof(geometry), &bytes,
                          nullptr)) {
        info.size = (unsigned long long)geometry.DiskSize.QuadPart;
        info.bytesPerSector = geometry.Geometry.BytesPerSector;
        info.mediaType = geometry.Geometry.MediaType == FixedMedia       ? MediaTypeFixed
                         : geometry.Geometry.MediaType == RemovableMedia ? MediaTypeRemovable
                                                                         : MediaTypeUnknown;
    } else {
        info.mediaType = removable ? MediaTypeRemovable : MediaTypeUnknown;
    }
    std::vector<BYTE> layout(sizeof(DRIVE_LAYOUT_INFORMATION_EX) + 127 * sizeof(PARTITION_INFORMATION_EX));
    bool haveLayout = ::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout.data(),
                                        (DWORD)layout.size(), &bytes, nullptr) != FALSE;
    if (!haveLayout) {
        DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) {
            // The device's driver keeps no partition layout at all (a pseudo disk, such as Wine's
            // view of the host's disk): not a disk the board works with, so it is not listed.
            ::CloseHandle(h);
            return false;
        }
    }
    if (readable) {
        CHandleReader reader(h);
        Common::ParseDiskLayout(reader, info);
        if (info.partitionStyle == PartitionStyleMbr) {
            BYTE sector[4096];
            DWORD bps = info.bytesPerSector ? info.bytesPerSector : DefaultBytesPerSector;
            if (bps <= sizeof(sector) && reader.Read(0, sector, bps))
                info.biosMapped = BiosNumberOf(U32(sector + 440), info.biosNumber);
            info.physicalNumber = (WORD)info.biosNumber;
        }
    } else if (haveLayout) {
        LayoutFromDriver(*reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(layout.data()), info);
    }
    ::CloseHandle(h);
    return true;
}

} // namespace

namespace Common {

SmartPtr<IStorage> GetStorage() { return SmartPtr<IStorage>(new CStorage); }

std::vector<DriveInfo> ReadSystemDrives() {
    std::vector<DriveInfo> drives;
    // Disk numbers may have gaps (a removed disk): look a little beyond the last one found.
    int misses = 0;
    for (DWORD n = 0; n <= MaxDiskNumber && misses < 16; ++n) {
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

void ParseDiskLayout(IDiskReader& reader, DriveInfo& drive) { CLayoutParser(reader, drive).Run(); }

DriveInfo ReadDiskImage(const std::wstring& path, DWORD number, DWORD bytesPerSector) {
    DriveInfo info;
    info.number = number;
    info.devicePath = path;
    info.description = L"Disk image";
    info.mediaType = MediaTypeFixed;
    info.bytesPerSector = bytesPerSector;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        info.layoutProblem = L"The disk image cannot be opened.";
        return info;
    }
    LARGE_INTEGER size = {};
    if (::GetFileSizeEx(h, &size))
        info.size = (unsigned long long)size.QuadPart;
    CHandleReader reader(h);
    ParseDiskLayout(reader, info);
    ::CloseHandle(h);
    return info;
}

DWORD Crc32(const void* data, size_t size, DWORD crc) {
    static DWORD table[256];
    static const bool made = [] {
        for (DWORD i = 0; i < 256; ++i) {
            DWORD c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return true;
    }();
    (void)made;
    const BYTE* p = static_cast<const BYTE*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace Common
} // namespace VDeviceInfo
