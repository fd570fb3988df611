// Inner classes of the store provider: the items, the collections and the opened store.
#pragma once

#include "VCore.h"

#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Varno {
namespace Impl {

[[noreturn]] void ThrowStoreError(HRESULT hr, const std::string& text);
[[noreturn]] void ThrowStoreError(HRESULT hr, const std::wstring& text);

// What items share with the store that made them: its handle, whether it is still open, and the
// generation (Clear and Rollback start a new one; items of an older one are no longer in the store).
struct StoreCore {
    long handle = 0;
    std::atomic<bool> closed{false};
    std::atomic<unsigned> generation{0};
    std::atomic<bool> modified{false};
    std::atomic<unsigned long long> changes{0}; // every change of the store or of an item counts one
    void Changed() {
        modified = true;
        ++changes;
    }
};

// Makes a reference-counted object whose memory goes back through this module.
template <class T, class... A>
SmartPtr<T> MakeObject(A&&... args) {
    T* p = new T(std::forward<A>(args)...);
    return SmartPtr<T>(p);
}

template <class Impl>
void FreeObject(const RefCounted* p) {
    delete static_cast<const Impl*>(p);
}

// The item as interface iid, walking the interface's base chain.
template <class I>
void* QueryChain(I* p, int iid) {
    if (iid == I::IID)
        return p;
    if constexpr (std::is_same<I, StoreItem>::value)
        return nullptr;
    else
        return QueryChain<typename I::Base>(static_cast<typename I::Base*>(p), iid);
}

typedef std::vector<SmartPtr<StoreItem>> ItemVector;

// A member list in the order of adding, each item once (the set keeps adding to long lists cheap).
// A list read from a file is filled without the set, which the first later Add builds.
struct MemberList {
    ItemVector items;
    std::unordered_set<const StoreItem*> seen; // empty, or the items
    bool Add(const SmartPtr<StoreItem>& item) {
        if (seen.size() != items.size()) {
            seen.reserve(items.size() + 1);
            for (const auto& i : items)
                seen.insert(i.Get());
        }
        if (!seen.insert(item.Get()).second)
            return false;
        items.push_back(item);
        return true;
    }
    // For the reader, which has left out repeated members itself.
    void AddLoaded(const SmartPtr<StoreItem>& item) { items.push_back(item); }
};

class CCollection final : public IItemCollection {
public:
    explicit CCollection(ItemVector items);
    long GetCount() override;
    SmartPtr<StoreItem> GetAt(long index) override;
    SmartPtr<IItemEnumerator> Enumerate() override;

private:
    std::shared_ptr<const ItemVector> m_items;
};

class CEnumerator final : public IItemEnumerator {
public:
    explicit CEnumerator(std::shared_ptr<const ItemVector> items);
    SmartPtr<StoreItem> Next() override;
    void Reset() override;
    bool HasItem() override;

private:
    std::shared_ptr<const ItemVector> m_items;
    size_t m_pos; // one past the current item; 0 before the first
};

SmartPtr<IItemCollection> MakeCollection(ItemVector items);

// Fields common to every item.
struct ItemFields {
    long long id = 0;
    int kind = 0;
    std::wstring name;
    std::wstring description;
    _time_t time;
};

// Numbers that this provider's items answer in QueryItem with their inner parts, which no
// interface number takes: the provider finds its own parts of an item without a dynamic cast.
enum InnerPartId { PartItemInfo = -1, PartResourceBase = -2, PartMembers = -3 };

// What the store needs to know of any of its items, whatever the interface.
class CItemInfo {
public:
    virtual ~CItemInfo() = default;
    virtual const StoreCore* InfoCore() const = 0;
    virtual unsigned InfoGeneration() const = 0;
    virtual const ItemFields& InfoFields() const = 0;
};

// Operations shared by all items; I is the item's most derived interface.
template <class I>
class CItem : public I, public CItemInfo {
public:
    CItem(std::shared_ptr<StoreCore> core, ItemFields f, const wchar_t* kindName)
        : m_core(std::move(core)), m_f(std::move(f)), m_kindName(kindName), m_generation(m_core->generation.load()) {
        this->SetFree(&FreeObject<CItem<I>>);
    }
    virtual ~CItem() = default;

    long long GetId() override { return m_f.id; }
    void* QueryItem(int iid) override {
        return iid == PartItemInfo ? static_cast<CItemInfo*>(this) : QueryChain<I>(this, iid);
    }
    long GetHandle() override { return m_core->handle; }
    const wchar_t* GetKindName() override { return m_kindName; }
    int GetInterface() override { return I::IID; }
    int GetKind() override { return m_f.kind; }
    std::wstring GetName() override { return m_f.name; }
    std::wstring GetDescription() override { return m_f.description; }
    _time_t GetTime() override { return m_f.time; }
    void SetTime(const _time_t& t) override {
        Writable();
        m_f.time = t;
    }
    void SetName(const std::wstring& n) override {
        Writable();
        m_f.name = n;
    }
    void SetDescription(const std::wstring& d) override {
        Writable();
        m_f.description = d;
    }

    const StoreCore* InfoCore() const override { return m_core.get(); }
    unsigned InfoGeneration() const override { return m_generation; }
    const ItemFields& InfoFields() const override { return m_f; }
    const ItemFields& Fields() const { return m_f; }
    const std::shared_ptr<StoreCore>& Core() const { return m_core; }
    unsigned Generation() const { return m_generation; }

protected:
    // A change of an item of a closed store, or of one no longer in the store, is refused.
    void Writable() {
        if (m_core->closed)
            ThrowStoreError(E_ACCESSDENIED, "the store of this item is closed");
        if (m_generation != m_core->generation)
            ThrowStoreError(E_ACCESSDENIED, "this item is no longer in the store (it was cleared)");
        m_core->Changed();
    }
    // A member added to this item must be an item of the same store and generation.
    template <class M>
    void AddTo(MemberList& list, const SmartPtr<M>& member) {
        Writable();
        if (!member)
            ThrowStoreError(E_POINTER, "an empty item cannot be added");
        StoreItem* s = member.Get();
        if (s->GetHandle() != m_core->handle || !SameStore(s))
            ThrowStoreError(E_INVALIDARG, "the item added belongs to another store");
        list.Add(SmartPtr<StoreItem>(s));
    }
    bool SameStore(StoreItem* s);

    std::shared_ptr<StoreCore> m_core;
    ItemFields m_f;
    const wchar_t* m_kindName;
    unsigned m_generation;
};

// Tells whether an item is an item of the given store core and generation (defined per family).
bool ItemOfStore(StoreItem* s, const StoreCore* core, unsigned generation);

template <class I>
bool CItem<I>::SameStore(StoreItem* s) {
    return ItemOfStore(s, m_core.get(), m_generation);
}

// ----- Resources -----

struct ResourceFields {
    bool controlled = true;
    bool executable = false;
    std::wstring key, valueName; // registry value
    unsigned char disk = 0;      // disk sector
    long long sector = 0;
    std::map<int, _value_t> properties;      // device
    SmbiosTableDescriptor table = {0, 0, 0}; // SMBIOS table and field
    int fieldType = 0, fieldOffset = 0, fieldLength = 0;
};

// What the board lists and the validity test need of any resource.
class CResourceBase {
public:
    virtual ~CResourceBase() = default;
    virtual const ItemFields& RFields() const = 0;
    virtual const ResourceFields& RData() const = 0;
};

template <class I>
class CResource : public CItem<I>, public CResourceBase {
public:
    void* QueryItem(int iid) override {
        return iid == PartResourceBase ? static_cast<CResourceBase*>(this) : CItem<I>::QueryItem(iid);
    }
    CResource(std::shared_ptr<StoreCore> core, ItemFields f, ResourceFields r, const wchar_t* kindName)
        : CItem<I>(std::move(core), std::move(f), kindName), m_r(std::move(r)) {
        this->SetFree(&FreeObject<CResource<I>>);
    }
    const ItemFields& RFields() const override { return this->m_f; }
    const ResourceFields& RData() const override { return m_r; }

    bool IsControlled() override { return m_r.controlled; }
    void SetControlled(bool c) override {
        this->Writable();
        m_r.controlled = c;
    }
    bool IsValid();
    bool IsExecutable() { return m_r.executable; }
    void SetExecutable(bool e) {
        this->Writable();
        m_r.executable = e;
    }
    std::wstring GetKeyPath() { return m_r.key; }
    std::wstring GetValueName() { return m_r.valueName; }
    unsigned char GetDisk() { return m_r.disk; }
    long long GetSector() { return m_r.sector; }
    _value_t GetProperty(int code) {
        auto it = m_r.properties.find(code);
        return it == m_r.properties.end() ? _value_t() : it->second;
    }
    void SetProperty(int code, const _value_t& v) {
        this->Writable();
        m_r.properties[code] = v;
    }
    unsigned long GetTableType() { return static_cast<unsigned long>(m_r.table.type); }
    unsigned long GetTableLength() { return static_cast<unsigned long>(m_r.table.length); }
    unsigned long GetTableHandle() { return static_cast<unsigned long>(m_r.table.handle); }
    unsigned long GetFieldType() { return static_cast<unsigned long>(m_r.fieldType); }
    unsigned long GetFieldOffset() { return static_cast<unsigned long>(m_r.fieldOffset); }
    unsigned long GetFieldLength() { return static_cast<unsigned long>(m_r.fieldLength); }

private:
    ResourceFields m_r;
};

// Whether the object of a resource exists on this computer (ResourceObjects.cpp).
bool ResourceObjectValid(const ItemFields& f, const ResourceFields& r);

template <class I>
bool CResource<I>::IsValid() {
    return ResourceObjectValid(this->m_f, m_r);
}

CResourceBase* AsResourceBase(StoreItem* item);

// ----- Groups, tasks, jobs, subject -----

class CMembers {
public:
    virtual ~CMembers() = default;
    // Member lists in order; for a job: groups first, then tasks.
    virtual const ItemVector& Members(int list) const = 0;
};

template <class I>
class CGroup : public CItem<I>, public CMembers {
public:
    void* QueryItem(int iid) override {
        return iid == PartMembers ? static_cast<CMembers*>(this) : CItem<I>::QueryItem(iid);
    }
    CGroup(std::shared_ptr<StoreCore> core, ItemFields f, const wchar_t* kindName)
        : CItem<I>(std::move(core), std::move(f), kindName) {
        this->SetFree(&FreeObject<CGroup<I>>);
    }
    const ItemVector& Members(int) const override { return m_members.items; }
    SmartPtr<IItemCollection> GetResources() override { return MakeCollection(m_members.items); }
    void AddFile(const SmartPtr<IFile>& f) { this->AddTo(m_members, f); }
    void AddDirectory(const SmartPtr<IDirectory>& d) { this->AddTo(m_members, d); }
    void AddRegistryKey(const SmartPtr<IRegistryKey>& k) { this->AddTo(m_members, k); }
    void AddRegistryValue(const SmartPtr<IRegistryValue>& v) { this->AddTo(m_members, v); }
    void AddDiskSector(const SmartPtr<IDiskSector>& s) { this->AddTo(m_members, s); }
    void AddDevice(const SmartPtr<IDevice>& d) { this->AddTo(m_members, d); }
    void AddSMBIOSTable(const SmartPtr<ISMBIOSTable>& t) { this->AddTo(m_members, t); }
    void AddSMBIOSField(const SmartPtr<ISMBIOSField>& f) { this->AddTo(m_members, f); }
    MemberList& LoadedList(int) { return m_members; }

private:
    MemberList m_members;
};

template <class I>
class CTask : public CItem<I>, public CMembers {
public:
    void* QueryItem(int iid) override {
        return iid == PartMembers ? static_cast<CMembers*>(this) : CItem<I>::QueryItem(iid);
    }
    CTask(std::shared_ptr<StoreCore> core, ItemFields f, const wchar_t* kindName)
        : CItem<I>(std::move(core), std::move(f), kindName) {
        this->SetFree(&FreeObject<CTask<I>>);
    }
    const ItemVector& Members(int) const override { return m_groups.items; }
    SmartPtr<IItemCollection> GetResourceGroups() override { return MakeCollection(m_groups.items); }
    void AddFileGroup(const SmartPtr<IFileGroup>& g) { this->AddTo(m_groups, g); }
    void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>& g) { this->AddTo(m_groups, g); }
    void AddDirectoryFileGroup(const SmartPtr<IDirectoryFileGroup>& g) { this->AddTo(m_groups, g); }
    void AddRegistryGroup(const SmartPtr<IRegistryGroup>& g) { this->AddTo(m_groups, g); }
    void AddHardwareConfigurationGroup(const SmartPtr<IHardwareConfigurationGroup>& g) { this->AddTo(m_groups, g); }
    MemberList& LoadedList(int) { return m_groups; }

private:
    MemberList m_groups;
};

// Writes the board list of the given resources (BootList.cpp).
struct BootListStats {
    long lines = 0;
    double hashSeconds = 0;
    ItemVector refused; // resources of the family left out: a line cannot hold their names
};
// What a file's recorded checksum is valid for, as the file system describes the file: a change
// of the content moves the size or the last-write time, a file put in another's place has another
// file ID, and a change of the file's metadata (attributes, security, links, a rename) moves its
// change time.
struct FileStamp {
    unsigned long long size = 0, written = 0, changed = 0, id = 0;
    bool operator==(const FileStamp& o) const {
        return size == o.size && written == o.written && changed == o.changed && id == o.id;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The checksums of one files list with the stamps they were computed for: the bytes of its record
// file and, in the file's order, each file's full path in UTF-8 with its record, as views into the
// bytes (BootList.cpp).
struct FileRecord {
    FileStamp stamp;
    std::string_view hash;
};
struct RecordSet {
    struct Line {
        std::string_view path;
        FileRecord record;
    };
    std::wstring path; // the record file it was read from or written to
    std::string text;
    std::vector<Line> lines;

    // The record of a path. A list asks in its own order, which is mostly the file's: cursor (the
    // caller's, from 0) follows it, and only a path that is not next is looked up by name.
    const FileRecord* Find(std::string_view file, size_t& cursor) const {
        if (cursor < lines.size() && lines[cursor].path == file)
            return &lines[cursor++].record;
        std::call_once(m_indexOnce, [this] {
            m_index.reserve(lines.size());
            for (size_t k = 0; k < lines.size(); ++k)
                m_index.emplace(lines[k].path, k);
        });
        auto it = m_index.find(file);
        if (it == m_index.end())
            return nullptr;
        cursor = it->second + 1;
        return &lines[it->second].record;
    }

private:
    mutable std::once_flag m_indexOnce;
    mutable std::unordered_map<std::string_view, size_t> m_index;
};
// The record sets of the board lists of this store since it was opened, cleared or committed, the
// latest last. The lists also keep them in a file beside the checks list, for the next save.
// With them, the latest listing of each folder (by its path as the lists give it): the lists of
// one save look at each folder once (BootList.cpp).
struct FolderEntries;
// With them, the last list written: the same list of the same resources, nothing changed since,
// is that list again (the job's list after the store's, when they hold the same resources).
struct WrittenList {
    BootListCode code;
    std::wstring names, checks;
    std::vector<const StoreItem*> resources;
    unsigned long long changes = 0; // StoreCore::changes when it was written
    std::string nam, chk;
    BootListStats stats;
};
struct HashCache {
    std::mutex mutex;
    std::vector<std::shared_ptr<const RecordSet>> sets;
    std::unordered_map<std::wstring, std::shared_ptr<FolderEntries>> listings;
    std::shared_ptr<const WrittenList> last;
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        sets.clear();
        listings.clear();
        last.reset();
    }
};
// changes: StoreCore::changes of the store the resources are of.
BootListStats WriteBootListFiles(const ItemVector& resources, const char* namesPath, const char* checksPath,
                                 BootListCode code, int threads, HashCache* cache, unsigned long long changes);
// Lets go of the list and record files that the lists of this process keep in memory: the next
// list reads them again.
void ForgetListFiles();
// The resources under a job (its groups, then its tasks' groups), each once, in that order.
ItemVector ResourcesOfJob(const ItemVector& groups, const ItemVector& tasks);

// Hash threads and statistics of the store a job belongs to, kept in the core's owner.
struct HashSettings {
    HashCache cache;
    std::atomic<int> threads{0};
    std::atomic<long> lastLines{0};
    std::atomic<long long> lastHashMicros{0};
    // Resources that the lists written since the store was opened, cleared or committed left out.
    std::mutex refusedMutex;
    MemberList refused;

    void Note(const BootListStats& s) {
        lastLines = s.lines;
        lastHashMicros += static_cast<long long>(s.hashSeconds * 1e6);
        std::lock_guard<std::mutex> lock(refusedMutex);
        for (const auto& r : s.refused)
            refused.Add(r);
    }
    ItemVector Refused() {
        std::lock_guard<std::mutex> lock(refusedMutex);
        return refused.items;
    }
    // A new start: the store was cleared, committed or rolled back.
    void Reset() {
        cache.Clear();
        std::lock_guard<std::mutex> lock(refusedMutex);
        refused = MemberList();
    }
};

template <class I>
class CJob : public CItem<I>, public CMembers {
public:
    void* QueryItem(int iid) override {
        return iid == PartMembers ? static_cast<CMembers*>(this) : CItem<I>::QueryItem(iid);
    }
    CJob(std::shared_ptr<StoreCore> core, ItemFields f, const wchar_t* kindName, std::shared_ptr<HashSettings> hs)
        : CItem<I>(std::move(core), std::move(f), kindName), m_hash(std::move(hs)) {
        this->SetFree(&FreeObject<CJob<I>>);
    }
    const ItemVector& Members(int list) const override { return list == 0 ? m_groups.items : m_tasks.items; }
    void WriteBootList(const char* names, const char* checks, BootListCode code) override {
        if (this->m_core->closed)
            ThrowStoreError(E_ACCESSDENIED, "the store of this job is closed");
        m_hash->Note(WriteBootListFiles(ResourcesOfJob(m_groups.items, m_tasks.items), names, checks, code,
                                        m_hash->threads, &m_hash->cache, this->m_core->changes));
    }
    SmartPtr<IItemCollection> GetTasks() override { return MakeCollection(m_tasks.items); }
    SmartPtr<IItemCollection> GetResourceGroups() override { return MakeCollection(m_groups.items); }
    void AddFileGroup(const SmartPtr<IFileGroup>& g) { this->AddTo(m_groups, g); }
    void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>& g) { this->AddTo(m_groups, g); }
    void AddDirectoryFileGroup(const SmartPtr<IDirectoryFileGroup>& g) { this->AddTo(m_groups, g); }
    void AddRegistryGroup(const SmartPtr<IRegistryGroup>& g) { this->AddTo(m_groups, g); }
    void AddHardwareConfigurationGroup(const SmartPtr<IHardwareConfigurationGroup>& g) { this->AddTo(m_groups, g); }
    void AddTask(const SmartPtr<ITask>& t) { this->AddTo(m_tasks, t); }
    MemberList& LoadedList(int list) { return list == 0 ? m_groups : m_tasks; }

private:
    MemberList m_groups, m_tasks;
    std::shared_ptr<HashSettings> m_hash;
};

class CSubject : public CItem<ISubject>, public CMembers {
public:
    void* QueryItem(int iid) override {
        return iid == PartMembers ? static_cast<CMembers*>(this) : CItem<ISubject>::QueryItem(iid);
    }
    CSubject(std::shared_ptr<StoreCore> core, ItemFields f, std::wstring os)
        : CItem<ISubject>(std::move(core), std::move(f), L"Subject"), m_os(std::move(os)) {
        SetFree(&FreeObject<CSubject>);
    }
    const ItemVector& Members(int) const override { return m_jobs.items; }
    std::wstring GetOsDescription() override { return m_os; }
    void SetOsDescription(const std::wstring& os) override {
        Writable();
        m_os = os;
    }
    SmartPtr<IItemCollection> GetJobs() override { return JobsOfKind(JobKindVarno); }
    SmartPtr<IItemCollection> GetJobs2() override { return JobsOfKind(JobKindVarnoZelvane); }
    void AddJob(const SmartPtr<IJob>& job) override { AddTo(m_jobs, job); }
    MemberList& LoadedList(int) { return m_jobs; }

private:
    SmartPtr<IItemCollection> JobsOfKind(int kind) {
        ItemVector v;
        for (const auto& j : m_jobs.items)
            if (j->GetKind() == kind)
                v.push_back(j);
        return MakeCollection(std::move(v));
    }
    std::wstring m_os;
    MemberList m_jobs;
};

// Member lists of an item of this provider (null for a resource).
CMembers* AsMembers(StoreItem* item);

// ----- The opened store -----

// Everything a store file holds; what Commit writes and Open reads (StoreXml.cpp).
struct StoreContent {
    int version = 1;
    long long nextId = 1;
    // The largest positive ID has been given out (or read from the file): no item can be added
    // until the store is cleared. nextId then stays at that ID, so the file says the same.
    bool idsExhausted = false;
    _time_t commitTime;
    ItemVector subjects, jobs, tasks, groups, resources;
    SmartPtr<ISubject> localSubject;
    bool resourcesSection = false, groupsSection = false, tasksSection = false; // read from a file
};

// Item factories (shared by the store's create operations and the file reader).
struct ItemFactory {
    std::shared_ptr<StoreCore> core;
    std::shared_ptr<HashSettings> hash;
    SmartPtr<StoreItem> Subject(ItemFields f, std::wstring os) const;
    SmartPtr<StoreItem> Job(ItemFields f) const;                        // by f.kind
    SmartPtr<StoreItem> Task(ItemFields f) const;                       // by f.kind
    SmartPtr<StoreItem> Group(ItemFields f) const;                      // by f.kind
    SmartPtr<StoreItem> Resource(ItemFields f, ResourceFields r) const; // by f.kind
};
// The member list of a loaded item that the reader fills without the checks of the add operations;
// list 1 is a job's tasks. Null for an item without members.
MemberList* LoadedMemberList(StoreItem* owner, int list);

// The watcher, when given, is told of each resource as it is read.
void ReadStoreFile(const std::wstring& path, const ItemFactory& factory, StoreContent& content,
                   IStoreReadWatcher* watcher = nullptr);
// What a file of this path is as the file system describes it, its volume included: a file written
// or put in its place moves the stamp (see FileStamp).
struct StoreFileStamp {
    FileStamp file;
    unsigned long volume = 0;
    bool operator==(const StoreFileStamp& o) const { return file == o.file && volume == o.volume; }
    bool operator!=(const StoreFileStamp& o) const { return !(*this == o); }
};
bool StampOfHandle(HANDLE h, StoreFileStamp& stamp);
bool StampOfFile(const std::wstring& path, StoreFileStamp& stamp);

// A file written less than this long before a look at it was begun may still be changing within
// the resolution of its last-write time (or its folder entry may lag behind): what was read of it
// then is not taken for what the file holds afterwards.
const unsigned long long kSettleTime = 2ULL * 10000000ULL; // 2 s in FILETIME units
// The system time in FILETIME units: when a look at files begins.
inline unsigned long long FileTimeNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
// Whether a file of this stamp, looked at from begun on, was last written long enough before.
inline bool Settled(const FileStamp& stamp, unsigned long long begun) { return stamp.written + kSettleTime < begun; }

// Files known by their stamp: for each path, what is known of its file (Entry, with the .stamp
// the file had then). An entry serves only while the file's stamp is the same.
template <class Entry>
class CKnownFiles {
public:
    // What is known of the file of this path while it has this stamp; null when nothing.
    std::shared_ptr<const Entry> Find(const std::wstring& path, const StoreFileStamp& stamp) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_files.find(path);
        return it != m_files.end() && it->second->stamp == stamp ? it->second : nullptr;
    }
    void Set(const std::wstring& path, std::shared_ptr<const Entry> known) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files[path] = std::move(known);
    }
    void Forget(const std::wstring& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files.erase(path);
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files.clear();
    }

protected:
    std::mutex m_mutex;
    std::unordered_map<std::wstring, std::shared_ptr<const Entry>> m_files;
};

// Removes what commits into the folder of path left when they ended half-way (StoreXml.cpp).
void RemoveStrayCommitFiles(const std::wstring& path);
// Writes the store file (removing such strays first); written (when given) receives the stamp of the file it put in
// place, when that is known (false: not known).
bool WriteStoreFile(const std::wstring& path, const StoreContent& content, StoreFileStamp* written = nullptr);
// A digest of what the store file says of a content, but for its commit time, made in the
// writer's own walk over the content: two contents whose files say the same share it.
struct StoreDigest {
    unsigned long long a = 0, b = 0;
    bool operator==(const StoreDigest& o) const { return a == o.a && b == o.b; }
};
StoreDigest DigestOfContent(const StoreContent& content);
extern const int kStoreFormatVersion;
extern const int kMaxStoreFormatVersion;

// COM for the calling thread, for the duration of one provider call.
class CComScope {
public:
    CComScope();
    ~CComScope();

private:
    bool m_uninit;
};

} // namespace Impl
} // namespace Varno
