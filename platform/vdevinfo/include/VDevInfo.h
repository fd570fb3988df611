// VDevInfo: the hardware inventory of this computer. It lists the PCI devices (through SetupAPI),
// the SMBIOS tables and their fields (through the firmware table 'RSMB') and the physical disks
// with their partitions and the sectors that can be put under control (parsed from the disk's own
// bytes, so one parser reads a device or a disk image file). Every object is an interface held by
// SmartPtr; the kind of an IEntry is found by a checked cast (SmartPtr<IEquipment> eq(entry)),
// which gives an empty pointer when the entry is of another kind.
//
// The inventory never throws to its callers: damaged or hostile tables (an EBR chain that loops,
// entries outside the disk, a huge GPT entry count, SMBIOS structures cut short, bad string
// indexes) give what could be read, and the fault is named in a property ("LayoutProblem" of a
// drive, "Problem" of the SMBIOS root). PCI, SMBIOS and drive sources can be replaced by tests.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <winioctl.h>

#include <atomic>
#include <list>
#include <string>
#include <vector>

#include <valkit.h>

namespace VDeviceInfo {

// Reference count of every inventory object (operations 0 and 1 of each interface).
class IObject {
public:
    virtual long AddRef() = 0;  // 0
    virtual long Release() = 0; // 1
protected:
    virtual ~IObject() = default;
};

// Holds one reference. Made from a pointer of another interface it casts with a check: the
// pointer stays empty when the object is not of the asked kind.
template <class T>
class SmartPtr {
public:
    SmartPtr() noexcept : m_p(nullptr) {}
    explicit SmartPtr(T* p) noexcept : m_p(p) {
        if (m_p)
            m_p->AddRef();
    }
    SmartPtr(const SmartPtr& o) noexcept : m_p(o.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    SmartPtr(SmartPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    template <class U>
    SmartPtr(const SmartPtr<U>& o) noexcept : m_p(dynamic_cast<T*>(o.Get())) {
        if (m_p)
            m_p->AddRef();
    }
    ~SmartPtr() {
        if (m_p)
            m_p->Release();
    }
    SmartPtr& operator=(SmartPtr o) noexcept {
        T* t = m_p;
        m_p = o.m_p;
        o.m_p = t;
        return *this;
    }
    T* operator->() const noexcept { return m_p; }
    T* Get() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    bool operator==(const SmartPtr& o) const noexcept { return m_p == o.m_p; }
    bool operator!=(const SmartPtr& o) const noexcept { return m_p != o.m_p; }

private:
    T* m_p;
};

// The image indexes of the device image list (GetImageList) that callers may name.
const int ImageUnknownDevice = 0;
const int ImagePciBus = 1;
const int ImageSystemDevice = 2;
const int ImageDisplay = 3;
const int ImageNetwork = 4;
const int ImageStorageController = 5;
const int ImageMultimedia = 6;
const int ImageUsb = 7;
const int ImageSmbios = 8;
const int ImageSmbiosTable = 9;
const int ImageSmbiosBios = 10;
const int ImageSmbiosMemory = 11;
const int ImageProcessor = 12;
const int ImageExtendedOpen = 13;   // an expanded extended partition
const int ImageExtendedClosed = 14; // a collapsed extended partition
const int ImageFixedDisk = 15;
const int ImageRemovableDisk = 16;
const int ImageSector = 17;
const int ImageBridge = 18;
const int ImageInputDevice = 19;
const int ImageCount = 20;

// Property values of a physical drive.
const int MediaTypeUnknown = 0;
const int MediaTypeRemovable = 1;
const int MediaTypeFixed = 2;
const int PartitionStyleRaw = 0; // no partition table could be read
const int PartitionStyleMbr = 1;
const int PartitionStyleGpt = 2;

// The store keeps a sector's disk number in a byte: disks numbered above this are not listed.
const DWORD MaxDiskNumber = 255;
// Bytes per sector taken when a disk does not report its geometry.
const DWORD DefaultBytesPerSector = 512;

class IFilter;

// Every object of the inventory tree.
class IEntry : public IObject {
public:
    virtual int GetImage() = 0;         // 2: index into the device image list
    virtual std::wstring GetName() = 0; // 3
};

// One named value of an entry.
class IProperty : public IObject {
public:
    virtual std::wstring GetName() = 0; // 2
    virtual _value_t GetValue() = 0;    // 3
};

class IFilterEntry : public IObject {
public:
    virtual bool Matches(const _value_t& value) = 0; // 2: numbers compare by value, others by text
};

// Entries of a filter: each keeps the objects whose property of its name exists and, when the
// entry has a value test, passes it. In GetProperties a filter keeps the properties it names.
class IFilter : public IObject {
public:
    virtual void AddEntry(const wchar_t* property, IFilterEntry* entry) = 0; // 2: entry may be null
    virtual long GetEntries() = 0;                                           // 3
    // The object of these properties passes every entry.
    virtual bool Accepts(const std::list<SmartPtr<IProperty>>& properties) = 0; // 4
    // The property is named by an entry and passes its test.
    virtual bool Keeps(IProperty* property) = 0; // 5
};

class IDeviceImageList : public IObject {
public:
    // A new image list with ImageCount 16x16 images; the caller owns, extends and destroys it.
    virtual HIMAGELIST GetImageList() = 0;                // 2
    virtual int GetClassImage(const GUID& classGuid) = 0; // 3: ImageUnknownDevice for an unknown class
    virtual int GetSmbiosTableImage(int tableType) = 0;   // 4
};

// A PCI device. Properties: "Bus Number", "Device Number", "Function Number", "Address"
// ((bus << 16) | (device << 8) | function), "Vendor ID", "Device ID", "Revision ID",
// "Subsystem ID", "Class Code" (base class << 16 | subclass << 8 | interface), all unsigned
// 32-bit; "Class GUID" (text with braces), "Hardware ID" (text).
class IEquipment : public IEntry {
public:
    virtual std::wstring GetGroup() = 0;                                                         // 4
    virtual void GetProperties(std::list<SmartPtr<IProperty>>& properties, IFilter* filter) = 0; // 5
};

class IPCIEquipment : public IEntry {
public:
    virtual void GetDevices(std::list<SmartPtr<IEquipment>>& devices, IFilter* filter) = 0; // 4
};

#pragma pack(push, 1)
// The header of every SMBIOS structure.
struct SMBIOSHeader {
    BYTE Type;
    BYTE Length;
    WORD Handle;
};
#pragma pack(pop)

// One field of an SMBIOS structure: bytes [offset, offset + length) of its formatted area, or of
// the string that a string field names. Numbers are unsigned 32-bit (bytes, words, double words)
// or 64-bit; strings, UUIDs and longer byte runs are texts. "Type", "Length" and "Handle" are the
// system fields.
class ISMBIOSField : public IEntry {
public:
    virtual SMBIOSHeader GetHeader() = 0;    // 4
    virtual _value_t GetValue() = 0;         // 5
    virtual DWORD GetOffset() = 0;           // 6
    virtual DWORD GetLength() = 0;           // 7
    virtual bool IsSystem() = 0;             // 8
    virtual std::wstring GetValueText() = 0; // 9
    // The bytes the firmware holds for this field (a string field: the string's bytes).
    virtual std::vector<BYTE> GetBytes() = 0; // 10
};

class ISMBIOSTable : public IEntry {
public:
    virtual WORD GetHandle() = 0;                                                           // 4
    virtual BYTE GetType() = 0;                                                             // 5
    virtual BYTE GetLength() = 0;                                                           // 6
    virtual std::wstring GetGroup() = 0;                                                    // 7
    virtual void GetFields(std::list<SmartPtr<ISMBIOSField>>& fields, IFilter* filter) = 0; // 8
    // The whole structure as the firmware holds it: formatted area and string set.
    virtual std::vector<BYTE> GetBytes() = 0; // 9
};

class ISMBIOS : public IEntry {
public:
    virtual BYTE GetMajorVersion() = 0;                                                     // 4
    virtual BYTE GetMinorVersion() = 0;                                                     // 5
    virtual void GetTables(std::list<SmartPtr<ISMBIOSTable>>& tables, IFilter* filter) = 0; // 6
    // Empty when the whole table was read; else what stopped the reading.
    virtual std::wstring GetProblem() = 0; // 7
};

// A partition of a drive: for MBR drives also the extended partition and each link to the next
// logical drive (type 0x05 or 0x0F), in the order of the chain, so that each nests in the one before.
class IPartition : public IEntry {
public:
    virtual PARTITION_INFORMATION_EX GetInfo() = 0; // 4
};

class ISector : public IEntry {
public:
    virtual std::wstring GetPath() = 0;         // 4: display text, unique on the computer
    virtual int GetDiskNumber() = 0;            // 5
    virtual unsigned long long GetNumber() = 0; // 6: absolute sector number
};

// A physical disk. Properties: "Number", "DevicePath", "Description", "MediaType", "BusType",
// "Size", "BytesPerSector", "PartitionStyle", and "LayoutProblem" when the layout was damaged.
class IPhysicalDrive : public IEntry {
public:
    virtual std::wstring GetDescription() = 0; // 4
    virtual unsigned long long GetSize() = 0;  // 5: bytes
    virtual int GetPartitionStyle() = 0;       // 6: PartitionStyleMbr, PartitionStyleGpt or raw
    virtual DWORD GetGeometry() = 0;           // 7: bytes per sector, never 0
    virtual void GetProperties(std::list<SmartPtr<IProperty>>& properties, IFilter* filter) = 0; // 8
    // The disk is recognised for work with the board: its partition table was read, MBR or GPT.
    virtual bool IsRecognized() = 0;                                             // 9
    virtual bool IsBiosMapped() = 0;                                             // 10
    virtual int GetBiosNumber() = 0;                                             // 11
    virtual WORD GetPhysicalNumber() = 0;                                        // 12
    virtual void GetSectors(std::list<SmartPtr<ISector>>& sectors) = 0;          // 13
    virtual void GetPartitions(std::list<SmartPtr<IPartition>>& partitions) = 0; // 14
    virtual DWORD GetNumber() = 0;                                               // 15: N of \\.\PhysicalDriveN
};

class IStorage : public IEntry {
public:
    virtual void GetDrives(std::list<SmartPtr<IPhysicalDrive>>& drives, IFilter* filter) = 0; // 4
};

// ---- sources: what the system answers, or what a test gives ----------------------------------

// One PCI device as the system reports it.
struct PciDeviceInfo {
    std::wstring name;  // friendly name, else the device description
    std::wstring group; // the setup class's description ("Display adapters"); may be empty
    GUID classGuid = {};
    std::wstring hardwareId; // PCI\VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx&REV_xx
    DWORD bus = 0, device = 0, function = 0;
    DWORD vendorId = 0, deviceId = 0, subsystemId = 0, revisionId = 0, classCode = 0;
};

class IPciSource {
public:
    virtual ~IPciSource() = default;
    virtual std::vector<PciDeviceInfo> ListDevices() = 0;
};

// The firmware's SMBIOS table as GetSystemFirmwareTable('RSMB') gives it: the 8-byte header
// (calling method, major and minor version, DMI revision, table length) and the structures.
class ISmbiosSource {
public:
    virtual ~ISmbiosSource() = default;
    virtual std::vector<BYTE> ReadRawTable() = 0;
};

// A sector the inventory offers for control.
struct SectorInfo {
    unsigned long long number = 0;
    std::wstring name;
};

// What the inventory knows of one physical disk.
struct DriveInfo {
    DWORD number = 0; // N of \\.\PhysicalDriveN
    std::wstring devicePath;
    std::wstring description; // vendor and product of the device
    int mediaType = MediaTypeUnknown;
    int busType = 0;             // STORAGE_BUS_TYPE
    unsigned long long size = 0; // bytes
    DWORD bytesPerSector = 0;    // 0: not reported (DefaultBytesPerSector is taken)
    bool biosMapped = false;
    int biosNumber = 0;
    WORD physicalNumber = 0;
    int partitionStyle = PartitionStyleRaw;
    std::vector<PARTITION_INFORMATION_EX> partitions;
    std::vector<SectorInfo> sectors;
    std::wstring layoutProblem; // empty when the layout read whole
};

class IDriveSource {
public:
    virtual ~IDriveSource() = default;
    virtual std::vector<DriveInfo> ListDrives() = 0;
};

// Bytes of one disk: a device or an image file.
class IDiskReader {
public:
    virtual ~IDiskReader() = default;
    // Reads exactly size bytes at offset; false when they cannot all be read.
    virtual bool Read(unsigned long long offset, void* buffer, DWORD size) = 0;
};

namespace Common {
int Attach();
int Detach();
SmartPtr<IDeviceImageList> GetDeviceImageList();
SmartPtr<IPCIEquipment> GetPCI();
SmartPtr<ISMBIOS> GetSMBIOS();
SmartPtr<IStorage> GetStorage();
SmartPtr<IFilter> CreateFilter();
SmartPtr<IFilterEntry> CreateFilterEntry(const _value_t& value);

// Sources for the objects made from now on; null restores the system's.
void SetDriveSource(IDriveSource* source);
void SetPciSource(IPciSource* source);
void SetSmbiosSource(ISmbiosSource* source);

// The system's own answers.
std::vector<DriveInfo> ReadSystemDrives();
std::vector<PciDeviceInfo> ReadSystemPciDevices();
std::vector<BYTE> ReadSystemSmbiosTable();

// Reads the partition table from the disk's bytes into the drive's partitionStyle, partitions,
// sectors and layoutProblem. Uses the drive's size, number and bytesPerSector (0: 512).
void ParseDiskLayout(IDiskReader& reader, DriveInfo& drive);
// A drive read from a disk image file, with the given number and bytes per sector; media fixed.
DriveInfo ReadDiskImage(const std::wstring& path, DWORD number, DWORD bytesPerSector);
// The standard CRC-32 (the one of GPT headers and entry arrays).
DWORD Crc32(const void* data, size_t size, DWORD crc = 0);
} // namespace Common

} // namespace VDeviceInfo
