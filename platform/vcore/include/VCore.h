// VCore: the board's store provider. It keeps the integrity-check model in store files (the local
// store "Localhost.vdb" and model files), all of one XML format read and written through MSXML, and
// writes the board lists that the board checks at start. Built as VCore64.dll (x86-64) and
// VCore.dll (i386).
//
// Every object is reference counted and held through SmartPtr; a copy adds a reference. Failures
// raise valkit's EGeneric with "Code" (int) or "HRESULT" (long) and "Text" (narrow string); a cast
// to an interface the item does not have raises EBadCastException.
//
// The operations of each interface keep their places (the comments give them): callers built
// against other releases rely on those places, so new operations go at the end only.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include <valkit.h>

#ifdef VCORE_BUILD
#define VCORE_API __declspec(dllexport)
#else
#define VCORE_API __declspec(dllimport)
#endif

namespace Varno {

// Reference count of every provider object. Not virtual: an interface's first operation is its
// own (an item's operation 0 is GetId). The object's owner sets the function that frees it, so
// the memory goes back to the module that allocated it.
class RefCounted {
public:
    void AddRef() const noexcept { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() const noexcept {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            m_free(this);
    }
    long RefCount() const noexcept { return m_refs.load(); }

protected:
    typedef void (*FreeFn)(const RefCounted*);
    RefCounted() noexcept : m_refs(0), m_free(nullptr) {}
    ~RefCounted() = default;
    void SetFree(FreeFn f) noexcept { m_free = f; }

private:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;
    mutable std::atomic<long> m_refs;
    FreeFn m_free;
};

// Raises EGeneric for a use of an empty SmartPtr (defined inline so that callers need no export).
[[noreturn]] inline void ThrowEmptyPointer() {
    EGeneric e("empty store object pointer");
    e["HRESULT"] = static_cast<long>(E_POINTER);
    throw e;
}

template <class T>
class SmartPtr {
public:
    SmartPtr() noexcept : m_p(nullptr) {}
    SmartPtr(std::nullptr_t) noexcept : m_p(nullptr) {}
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
    SmartPtr(const SmartPtr<U>& o) noexcept : m_p(o.Get()) {
        if (m_p)
            m_p->AddRef();
    }
    ~SmartPtr() {
        if (m_p)
            m_p->Release();
    }

    SmartPtr& operator=(const SmartPtr& o) noexcept {
        SmartPtr(o).Swap(*this);
        return *this;
    }
    SmartPtr& operator=(SmartPtr&& o) noexcept {
        SmartPtr(std::move(o)).Swap(*this);
        return *this;
    }
    SmartPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const {
        if (!m_p)
            ThrowEmptyPointer();
        return m_p;
    }
    T& operator*() const {
        if (!m_p)
            ThrowEmptyPointer();
        return *m_p;
    }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    bool operator!() const noexcept { return m_p == nullptr; }
    bool IsEmpty() const noexcept { return m_p == nullptr; }
    void Reset() noexcept {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    void Swap(SmartPtr& o) noexcept {
        T* p = m_p;
        m_p = o.m_p;
        o.m_p = p;
    }

private:
    T* m_p;
};

template <class T, class U>
bool operator==(const SmartPtr<T>& a, const SmartPtr<U>& b) noexcept {
    return a.Get() == b.Get();
}
template <class T, class U>
bool operator!=(const SmartPtr<T>& a, const SmartPtr<U>& b) noexcept {
    return a.Get() != b.Get();
}

// Interface numbers for the item casts.
enum InterfaceId {
    IID_StoreItem = 1,
    IID_Subject,
    IID_Job,
    IID_JobVarno,
    IID_JobVarnoZelvane,
    IID_Task,
    IID_TaskEx,
    IID_ResourceGroup,
    IID_FileGroup,
    IID_DirectoryFileGroup,
    IID_RegistryGroup,
    IID_DiskSectorGroup,
    IID_HardwareConfigurationGroup,
    IID_Resource,
    IID_File,
    IID_Directory,
    IID_RegistryKey,
    IID_RegistryValue,
    IID_DiskSector,
    IID_Device,
    IID_SMBIOSTable,
    IID_SMBIOSField
};

// The five board lists.
enum BootListCode {
    BootListFiles = 0,
    BootListRegistry = 1,
    BootListDiskSectors = 2,
    BootListPci = 3,
    BootListSmbios = 4
};

// Kinds (StoreItem::GetKind).
enum JobKind { JobKindVarno = 1, JobKindVarnoZelvane = 2 };
enum TaskKind { TaskKindPlain = 1, TaskKindEx = 2 };
enum GroupKind {
    GroupKindFile = 1,
    GroupKindDirectoryFile = 2,
    GroupKindRegistry = 3,
    GroupKindDiskSector = 4,
    GroupKindHardware = 5
};
enum ResourceKind {
    ResourceKindFile = 1,
    ResourceKindDirectory = 2,
    ResourceKindRegistryKey = 3,
    ResourceKindRegistryValue = 4,
    ResourceKindDiskSector = 5,
    ResourceKindDevice = 6,
    ResourceKindSMBIOSTable = 7,
    ResourceKindSMBIOSField = 8
};
enum SubjectKind { SubjectKindComputer = 0 };

// The three numbers that identify an SMBIOS table.
struct SmbiosTableDescriptor {
    int type;
    int length;
    int handle;
};

// The line of a ".chk" file for an object that could not be read.
#define VARNO_UNREADABLE_MARK "UNREADABLE"

class StoreItem;
class IItemEnumerator;
class IItemCollection;
class ISubject;
class IJob;
class ITask;
class IResourceGroup;
class IFileGroup;
class IDirectoryFileGroup;
class IRegistryGroup;
class IDiskSectorGroup;
class IHardwareConfigurationGroup;
class IResource;
class IFile;
class IDirectory;
class IRegistryKey;
class IRegistryValue;
class IDiskSector;
class IDevice;
class ISMBIOSTable;
class ISMBIOSField;

// Enumerator of a collection: HasItem moves to the next item and tells whether there is one (it is
// called before the first item); Next gives the current item, as often as asked.
class IItemEnumerator : public RefCounted {
public:
    virtual SmartPtr<StoreItem> Next() = 0; // 0
    virtual void Reset() = 0;               // 1
    virtual bool HasItem() = 0;             // 2
};

// A collection is a snapshot of the items at the time it was asked for.
class IItemCollection : public RefCounted {
public:
    virtual long GetCount() = 0;                       // 0
    virtual SmartPtr<StoreItem> GetAt(long index) = 0; // 1
    virtual SmartPtr<IItemEnumerator> Enumerate() = 0; // 2
};

// What every store item offers.
class StoreItem : public RefCounted {
public:
    enum { IID = IID_StoreItem };
    virtual long long GetId() = 0;                          // 0
    virtual void* QueryItem(int iid) = 0;                   // 1 the item as interface iid, or null
    virtual long GetHandle() = 0;                           // 2 handle of the store it belongs to
    virtual const wchar_t* GetKindName() = 0;               // 3 "File", "FileGroup", ...
    virtual int GetInterface() = 0;                         // 4 its most derived InterfaceId
    virtual int GetKind() = 0;                              // 5
    virtual std::wstring GetName() = 0;                     // 6
    virtual std::wstring GetDescription() = 0;              // 7
    virtual _time_t GetTime() = 0;                          // 8
    virtual void SetTime(const _time_t& t) = 0;             // 9
    virtual void SetName(const std::wstring& name) = 0;     // 10
    virtual void SetDescription(const std::wstring& d) = 0; // 11
};

class ISubject : public StoreItem {
public:
    typedef StoreItem Base;
    enum { IID = IID_Subject };
    virtual std::wstring GetOsDescription() = 0;               // 12
    virtual void SetOsDescription(const std::wstring& os) = 0; // 13
    virtual SmartPtr<IItemCollection> GetJobs() = 0;           // 14 board jobs
    virtual SmartPtr<IItemCollection> GetJobs2() = 0;          // 15 jobs of the second edition
    virtual void AddJob(const SmartPtr<IJob>& job) = 0;        // 16
};

class IJob : public StoreItem {
public:
    typedef StoreItem Base;
    enum { IID = IID_Job };
    // Writes the board list of one family with the objects under this job (its groups, then the
    // groups of its tasks), each once, controlled objects only; an object whose name a line cannot
    // hold is left out and named by IDatabase::GetBootListRefused.
    virtual void WriteBootList(const char* namesPath, const char* checksPath, BootListCode code) = 0; // 12
    virtual SmartPtr<IItemCollection> GetTasks() = 0;                                                 // 13
    virtual SmartPtr<IItemCollection> GetResourceGroups() = 0;                                        // 14
};

class IJobVarno : public IJob {
public:
    typedef IJob Base;
    enum { IID = IID_JobVarno };
    virtual void AddFileGroup(const SmartPtr<IFileGroup>& g) = 0;             // 15
    virtual void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>& g) = 0; // 16
    virtual void AddTask(const SmartPtr<ITask>& t) = 0;                       // 17
};

class IJobVarnoZelvane : public IJob {
public:
    typedef IJob Base;
    enum { IID = IID_JobVarnoZelvane };
    virtual void AddFileGroup(const SmartPtr<IFileGroup>& g) = 0;                                   // 15
    virtual void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>& g) = 0;                       // 16
    virtual void AddTask(const SmartPtr<ITask>& t) = 0;                                             // 17
    virtual void AddDirectoryFileGroup(const SmartPtr<IDirectoryFileGroup>& g) = 0;                 // 18
    virtual void AddRegistryGroup(const SmartPtr<IRegistryGroup>& g) = 0;                           // 19
    virtual void AddHardwareConfigurationGroup(const SmartPtr<IHardwareConfigurationGroup>& g) = 0; // 20
};

class ITask : public StoreItem {
public:
    typedef StoreItem Base;
    enum { IID = IID_Task };
    virtual SmartPtr<IItemCollection> GetResourceGroups() = 0;                // 12
    virtual void AddFileGroup(const SmartPtr<IFileGroup>& g) = 0;             // 13
    virtual void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>& g) = 0; // 14
};

class ITaskEx : public ITask {
public:
    typedef ITask Base;
    enum { IID = IID_TaskEx };
    virtual void AddDirectoryFileGroup(const SmartPtr<IDirectoryFileGroup>& g) = 0;                 // 15
    virtual void AddRegistryGroup(const SmartPtr<IRegistryGroup>& g) = 0;                           // 16
    virtual void AddHardwareConfigurationGroup(const SmartPtr<IHardwareConfigurationGroup>& g) = 0; // 17
};

class IResourceGroup : public StoreItem {
public:
    typedef StoreItem Base;
    enum { IID = IID_ResourceGroup };
    virtual SmartPtr<IItemCollection> GetResources() = 0; // 12
};

class IFileGroup : public IResourceGroup {
public:
    typedef IResourceGroup Base;
    enum { IID = IID_FileGroup };
    virtual void AddFile(const SmartPtr<IFile>& f) = 0; // 13
};

class IDirectoryFileGroup : public IResourceGroup {
public:
    typedef IResourceGroup Base;
    enum { IID = IID_DirectoryFileGroup };
    virtual void AddFile(const SmartPtr<IFile>& f) = 0;           // 13
    virtual void AddDirectory(const SmartPtr<IDirectory>& d) = 0; // 14
};

class IRegistryGroup : public IResourceGroup {
public:
    typedef IResourceGroup Base;
    enum { IID = IID_RegistryGroup };
    virtual void AddRegistryKey(const SmartPtr<IRegistryKey>& k) = 0;     // 13
    virtual void AddRegistryValue(const SmartPtr<IRegistryValue>& v) = 0; // 14
};

class IDiskSectorGroup : public IResourceGroup {
public:
    typedef IResourceGroup Base;
    enum { IID = IID_DiskSectorGroup };
    virtual void AddDiskSector(const SmartPtr<IDiskSector>& s) = 0; // 13
};

class IHardwareConfigurationGroup : public IResourceGroup {
public:
    typedef IResourceGroup Base;
    enum { IID = IID_HardwareConfigurationGroup };
    virtual void AddDevice(const SmartPtr<IDevice>& d) = 0;           // 13
    virtual void AddSMBIOSTable(const SmartPtr<ISMBIOSTable>& t) = 0; // 14
    virtual void AddSMBIOSField(const SmartPtr<ISMBIOSField>& f) = 0; // 15
};

// A resource. Its name is its path; for a file or directory the path may hold environment
// references ("%SystemRoot%\..."), which the provider expands when it reads the object. The
// description of a resource created without one is the last component of its name.
class IResource : public StoreItem {
public:
    typedef StoreItem Base;
    enum { IID = IID_Resource };
    virtual bool IsControlled() = 0;                 // 12
    virtual void SetControlled(bool controlled) = 0; // 13
};

// IsValid: whether the object exists on this computer (and, for a disk sector, can be read).
class IFile : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_File };
    virtual bool IsValid() = 0;                      // 14
    virtual bool IsExecutable() = 0;                 // 15
    virtual void SetExecutable(bool executable) = 0; // 16
};

class IDirectory : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_Directory };
};

class IRegistryKey : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_RegistryKey };
    virtual bool IsValid() = 0; // 14
};

// A registry value; the value name is in the resource-path form: "{C51BADB1-...}" stands for the
// unnamed value and "{E688BBB6-...}" for a backslash inside the name.
class IRegistryValue : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_RegistryValue };
    virtual bool IsValid() = 0;              // 14
    virtual std::wstring GetKeyPath() = 0;   // 15 as created (with its trailing backslash when given so)
    virtual std::wstring GetValueName() = 0; // 16
};

class IDiskSector : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_DiskSector };
    virtual bool IsValid() = 0;          // 14
    virtual unsigned char GetDisk() = 0; // 15
    virtual long long GetSector() = 0;   // 16
};

// A PCI device; its properties are numbered (0 "Hardware ID" ... 12 "Address").
class IDevice : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_Device };
    virtual bool IsValid() = 0;                                    // 14
    virtual _value_t GetProperty(int code) = 0;                    // 15 empty when not set
    virtual void SetProperty(int code, const _value_t& value) = 0; // 16
};

class ISMBIOSTable : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_SMBIOSTable };
    virtual bool IsValid() = 0;                 // 14
    virtual unsigned long GetTableType() = 0;   // 15
    virtual unsigned long GetTableLength() = 0; // 16
    virtual unsigned long GetTableHandle() = 0; // 17
};

class ISMBIOSField : public IResource {
public:
    typedef IResource Base;
    enum { IID = IID_SMBIOSField };
    virtual bool IsValid() = 0;                 // 14
    virtual unsigned long GetTableType() = 0;   // 15
    virtual unsigned long GetTableLength() = 0; // 16
    virtual unsigned long GetTableHandle() = 0; // 17
    virtual unsigned long GetFieldType() = 0;   // 18
    virtual unsigned long GetFieldOffset() = 0; // 19
    virtual unsigned long GetFieldLength() = 0; // 20
};

// An opened store file. Writes change only this object; Commit writes the whole store into a new
// file beside the old one, flushes it and puts it in the old one's place in one step, so the file
// on disk is always either the old store or the new one. What is not committed is gone after
// IProvider::Close. IDs are given by the store (1, 2, ... again after Clear).
class IDatabase : public RefCounted {
public:
    virtual std::wstring GetPath() = 0; // 0
    virtual int GetVersion() = 0;       // 1 format version of the file
    virtual long GetHandle() = 0;       // 2
    virtual void Commit() = 0;          // 3
    virtual void Clear() = 0;           // 4
    // Writes one board list with every controlled object of the family in the store, in store order;
    // an object whose name a line cannot hold is left out and named by GetBootListRefused.
    virtual void WriteBootList(const char* namesPath, const char* checksPath, BootListCode code) = 0; // 5
    virtual SmartPtr<IItemCollection> GetJobs() = 0;                                                  // 6
    virtual SmartPtr<IItemCollection> GetTasks() = 0;                                                 // 7
    virtual SmartPtr<IItemCollection> GetResourceGroups() = 0;                                        // 8
    virtual SmartPtr<IItemCollection> GetResources() = 0;                                             // 9
    virtual SmartPtr<IItemCollection> GetSubjects() = 0;                                              // 10
    virtual SmartPtr<StoreItem> FindItem(long long id) = 0; // 11 empty when unknown
    virtual SmartPtr<ISubject> CreateSubject(const std::wstring& name, const std::wstring& description,
                                             const std::wstring& osDescription) = 0;                             // 12
    virtual SmartPtr<IJob> CreateJobVarno(const std::wstring& name, const std::wstring& description) = 0;        // 13
    virtual SmartPtr<IJob> CreateJobVarnoZelvane(const std::wstring& name, const std::wstring& description) = 0; // 14
    virtual SmartPtr<ITask> CreateTask(const std::wstring& name, const std::wstring& description,
                                       const _time_t& t) = 0; // 15
    virtual SmartPtr<ITask> CreateTaskEx(const std::wstring& name, const std::wstring& description,
                                         const _time_t& t) = 0; // 16
    virtual SmartPtr<IResourceGroup> CreateFileGroup(const std::wstring& name, const std::wstring& description,
                                                     const _time_t& t) = 0; // 17
    virtual SmartPtr<IResourceGroup> CreateDirectoryFileGroup(const std::wstring& name, const std::wstring& description,
                                                              const _time_t& t) = 0; // 18
    virtual SmartPtr<IResourceGroup> CreateRegistryGroup(const std::wstring& name, const std::wstring& description,
                                                         const _time_t& t) = 0; // 19
    virtual SmartPtr<IResourceGroup> CreateDiskSectorGroup(const std::wstring& name, const std::wstring& description,
                                                           const _time_t& t) = 0; // 20
    virtual SmartPtr<IResourceGroup> CreateHardwareConfigurationGroup(const std::wstring& name,
                                                                      const std::wstring& description,
                                                                      const _time_t& t) = 0; // 21
    virtual SmartPtr<IResource> CreateFile(const std::wstring& name, const _time_t& t, bool controlled,
                                           bool executable) = 0;                                                  // 22
    virtual SmartPtr<IResource> CreateDirectory(const std::wstring& name, const _time_t& t, bool controlled) = 0; // 23
    virtual SmartPtr<IResource> CreateRegistryKey(const std::wstring& name, const _time_t& t,
                                                  bool controlled) = 0; // 24
    virtual SmartPtr<IResource> CreateRegistryValue(const std::wstring& key, const std::wstring& valueName,
                                                    const _time_t& t, bool controlled) = 0; // 25
    virtual SmartPtr<IResource> CreateDiskSector(const std::wstring& name, const std::wstring& description,
                                                 unsigned char disk, long long sector, const _time_t& t,
                                                 bool controlled) = 0; // 26
    virtual SmartPtr<IResource> CreateDevice(const std::wstring& name, const std::wstring& description,
                                             const _time_t& t, bool controlled) = 0; // 27
    virtual SmartPtr<IResource> CreateSMBIOSTable(const std::wstring& name, const SmbiosTableDescriptor& table,
                                                  const _time_t& t, bool controlled) = 0; // 28
    virtual SmartPtr<IResource> CreateSMBIOSField(const std::wstring& name, int fieldType, int fieldLength,
                                                  int fieldOffset, const SmbiosTableDescriptor& table, const _time_t& t,
                                                  bool controlled) = 0; // 29
    virtual void Rollback() = 0;                                        // 30 back to the last committed state
    virtual bool IsModified() = 0;                                      // 31 changed since open, commit or rollback
    virtual long GetItemCount() = 0;                                    // 32
    virtual _time_t GetCommitTime() = 0;                                // 33 time of the last commit of the file
    virtual void SetHashThreads(int count) = 0;       // 34 threads for the board lists; 0: one per processor
    virtual int GetHashThreads() = 0;                 // 35
    virtual double GetLastHashSeconds() = 0;          // 36 time spent hashing by the board lists since the open
    virtual long GetLastBootListCount() = 0;          // 37 lines written by the last WriteBootList
    virtual SmartPtr<ISubject> GetLocalSubject() = 0; // 38 empty when none
    virtual void SetLocalSubject(const SmartPtr<ISubject>& subject) = 0; // 39
    // 40 The resources that the board lists written since the open, the last Clear, Commit or
    // Rollback left out, each once: their names hold what one line of a names file cannot hold as
    // it is (control characters such as a line break, a lone surrogate). Read it before Commit.
    virtual SmartPtr<IItemCollection> GetBootListRefused() = 0;
};

// Told of each resource of a store file as soon as the provider's reader has made it (a device's
// properties follow), on the thread that opens the file and before the open returns, in the order
// of the file: a reader of the store can begin its own work on the resources (looking for their
// files, say) while the rest of the file is read. An open that fails may have told of some
// resources first. ResourceRead must not throw.
class IStoreReadWatcher {
public:
    virtual void ResourceRead(const SmartPtr<IResource>& resource) = 0;

protected:
    ~IStoreReadWatcher() = default;
};

class IProvider : public RefCounted {
public:
    virtual int GetVersion() = 0;                // 0 the store format version it writes
    virtual std::wstring GetLastErrorText() = 0; // 1 why the last Open of this thread gave nothing
    virtual void Close(long handle) = 0;         // 2 drops what was not committed
    virtual long GetOpenCount() = 0;             // 3
    // Opens the store file (the path in the ANSI code page), creating an empty store when the file
    // does not exist; empty when it cannot be opened or is not a store.
    virtual SmartPtr<IDatabase> Open(const char* path) = 0; // 4
    // Opens an existing store file only: a missing file gives an empty pointer (the last error
    // text says so) and nothing is created. For readers that must leave the disk as it is.
    virtual SmartPtr<IDatabase> OpenExisting(const char* path) = 0; // 5
    // The watcher told of the resources that the opens of the calling thread read from their files
    // from now on (null: none). The caller keeps it alive until it sets another or null.
    virtual void SetReadWatcher(IStoreReadWatcher* watcher) = 0; // 6
};

namespace Common {
VCORE_API int Attach();
VCORE_API int Detach();
VCORE_API SmartPtr<IProvider> CreateProvider();
VCORE_API void DestroyProvider();
// The letter under which the board sees the volume that Windows names `letter`. Without the board's
// own volume table the provider cannot tell: it then answers 0 and leaves *boardLetter alone.
VCORE_API int GetVarnoDriveLetter(wchar_t letter, wchar_t* boardLetter);

// What a store or model file holds at its top: its format version and which of the sections
// "Resources", "RGroups" and "Tasks" stand under its root.
struct StoreFileOutline {
    int version = 0;
    bool resources = false, groups = false, tasks = false;
};
// Reads the file with the reader and the rules of the provider's open (no document type
// declaration before the root, the root "VarnoStore", a format version this provider reads, items
// it can hold), without opening it as a store: true when the open would take it, else false with
// the reader's reason. Checks before an import ask this, so that they and the import agree.
VCORE_API bool InspectStoreFile(const wchar_t* path, StoreFileOutline& outline, std::wstring& reason);
} // namespace Common

// Removes the file at path when no process holds it open and it holds a store or model file as
// this provider writes it, or the beginning of one (a temporary file of a write that ended
// half-way); true when it was removed. Lets the writers of temporary store files clear away those
// of processes that were killed. A commit does so itself for the "<store>.new" files of its folder.
VCORE_API bool RemoveStrayStoreFile(const std::wstring& path);

// Hex SHA-256 (lower case) of one controlled resource, as its line of a ".chk" file, or
// VARNO_UNREADABLE_MARK. For tests and tools.
VCORE_API std::string HashResource(const SmartPtr<IResource>& resource);

// ----- Casts between item interfaces -----

// The item as interface T, or an empty pointer when it is not one.
template <class T, class U>
SmartPtr<T> item_cast(const SmartPtr<U>& item) {
    if (!item)
        return SmartPtr<T>();
    return SmartPtr<T>(static_cast<T*>(item.Get()->QueryItem(T::IID)));
}

// The item as interface T; raises EBadCastException when it is not one. An empty item stays empty.
template <class T, class U>
SmartPtr<T> checked_cast(const SmartPtr<U>& item) {
    if (!item)
        return SmartPtr<T>();
    void* p = item.Get()->QueryItem(T::IID);
    if (!p) {
        std::string text = "store item ";
        text += std::to_string(item.Get()->GetId());
        text += " (";
        const wchar_t* k = item.Get()->GetKindName();
        while (k && *k)
            text += static_cast<char>(*k++);
        text += ") is not of the interface asked for";
        EBadCastException e(text);
        e["HRESULT"] = static_cast<long>(E_NOINTERFACE);
        throw e;
    }
    return SmartPtr<T>(static_cast<T*>(p));
}

} // namespace Varno
