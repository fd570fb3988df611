// VDevInfo: the hardware inventory. This part lists the physical disks with their properties and
// tells whether each is recognised for work with the board (its partition layout can be read
// and is of a known style). Answers come from the system's disk queries, or from a drive source
// that tests give.
#pragma once

#include <windows.h>

#include <atomic>
#include <list>
#include <string>
#include <vector>

#include <valkit.h>

namespace VDeviceInfo {

// Reference count of every inventory object (operations 0 and 1 of each interface).
class IObject {
public:
    virtual long AddRef() = 0;    // 0
    virtual long Release() = 0;   // 1
protected:
    virtual ~IObject() = default;
};

template <class T>
class SmartPtr {
public:
    SmartPtr() noexcept : m_p(nullptr) {}
    explicit SmartPtr(T* p) noexcept : m_p(p) { if (m_p) m_p->AddRef(); }
    SmartPtr(const SmartPtr& o) noexcept : m_p(o.m_p) { if (m_p) m_p->AddRef(); }
    SmartPtr(SmartPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~SmartPtr() { if (m_p) m_p->Release(); }
    SmartPtr& operator=(SmartPtr o) noexcept { T* t = m_p; m_p = o.m_p; o.m_p = t; return *this; }
    T* operator->() const noexcept { return m_p; }
    T* Get() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
private:
    T* m_p;
};

// Property values of a physical drive ("MediaType" and friends).
const int MediaTypeUnknown = 0;
const int MediaTypeRemovable = 1;
const int MediaTypeFixed = 2;
const int PartitionStyleMbr = 0;
const int PartitionStyleGpt = 1;
const int PartitionStyleRaw = 2;
const int PartitionStyleUnknown = -1;

// What the inventory knows of one physical disk.
struct DriveInfo {
    DWORD number = 0;              // N of \\.\PhysicalDriveN
    std::wstring devicePath;
    int mediaType = MediaTypeUnknown;
    int busType = 0;               // STORAGE_BUS_TYPE
    unsigned long long size = 0;   // bytes
    int partitionStyle = PartitionStyleUnknown;   // of the layout read; unknown when unreadable
};

class IFilterEntry : public IObject {
public:
    virtual bool Matches(const _value_t& value) = 0;   // 2
};

class IPhysicalDrive : public IObject {
public:
    virtual DWORD GetNumber() = 0;                              // 2
    virtual std::wstring GetDevicePath() = 0;                   // 3
    // "Number", "DevicePath", "MediaType", "BusType", "Size", "PartitionStyle"; empty otherwise.
    virtual _value_t GetProperty(const wchar_t* name) = 0;      // 4
    virtual int GetMediaType() = 0;                             // 5
    virtual int GetBusType() = 0;                               // 6
    virtual unsigned long long GetSize() = 0;                   // 7
    virtual int GetPartitionStyle() = 0;                        // 8
    // The disk is recognised for work with the board: its layout was read, MBR or GPT.
    virtual bool IsRecognized() = 0;                            // 9
};

class IFilter : public IObject {
public:
    virtual void Add(const wchar_t* property, IFilterEntry* entry) = 0;     // 2
    virtual long GetCount() = 0;                                            // 3
    // Every entry matches the drive's property of its name.
    virtual bool Accepts(IPhysicalDrive* drive) = 0;                        // 4
};

class IStorage : public IObject {
public:
    virtual long GetDriveCount() = 0;                                       // 2
    virtual SmartPtr<IPhysicalDrive> GetDrive(long index) = 0;              // 3
    // Appends the drives that the filter accepts (all without a filter), in disk number order.
    virtual void GetPhysicalDrives(std::list<SmartPtr<IPhysicalDrive>>& drives, IFilter* filter) = 0; // 4
};

// Where the disks come from: the system (the default) or a test's list.
class IDriveSource {
public:
    virtual ~IDriveSource() = default;
    virtual std::vector<DriveInfo> ListDrives() = 0;
};

namespace Common {
int Attach();
int Detach();
SmartPtr<IStorage> GetStorage();
SmartPtr<IFilter> CreateFilter();
SmartPtr<IFilterEntry> CreateFilterEntry(const _value_t& value);
// Sets the drive source for the storage objects made from now on; null restores the system's.
void SetDriveSource(IDriveSource* source);
// The system's physical disks (\\.\PhysicalDrive0 onwards) as the disk queries answer. A device
// whose driver does not support the layout query at all is no disk of the list.
std::vector<DriveInfo> ReadSystemDrives();
} // namespace Common

} // namespace VDeviceInfo
