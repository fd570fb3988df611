// The opened store, the provider and the module's exported functions.
#include "VCoreTesting.h"
#include "ResourceObjects.h"

#include <chrono>
#include <climits>
#include <unordered_map>

namespace Varno {
namespace Impl {

void ThrowStoreError(HRESULT hr, const std::string& text) {
    EGeneric e(text);
    e["HRESULT"] = static_cast<long>(hr);
    throw e;
}

void ThrowStoreError(HRESULT hr, const std::wstring& text) {
    // Kept wide: a narrowed text would need its code page agreed with every reader, and the
    // catchers read narrow texts as ANSI (the system's and COM's messages are narrowed so).
    EGeneric e;
    e["Text"] = _value_t(text);
    e["HRESULT"] = static_cast<long>(hr);
    throw e;
}

// ----- Collections -----

CCollection::CCollection(ItemVector items) : m_items(std::make_shared<const ItemVector>(std::move(items))) {
    SetFree(&FreeObject<CCollection>);
}

long CCollection::GetCount() { return static_cast<long>(m_items->size()); }

SmartPtr<StoreItem> CCollection::GetAt(long index) {
    if (index < 0 || static_cast<size_t>(index) >= m_items->size())
        return SmartPtr<StoreItem>();
    return (*m_items)[index];
}

SmartPtr<IItemEnumerator> CCollection::Enumerate() { return MakeObject<CEnumerator>(m_items); }

CEnumerator::CEnumerator(std::shared_ptr<const ItemVector> items) : m_items(std::move(items)), m_pos(0) {
    SetFree(&FreeObject<CEnumerator>);
}

SmartPtr<StoreItem> CEnumerator::Next() {
    if (m_pos == 0 || m_pos > m_items->size())
        return SmartPtr<StoreItem>();
    return (*m_items)[m_pos - 1];
}

void CEnumerator::Reset() { m_pos = 0; }

bool CEnumerator::HasItem() {
    if (m_pos <= m_items->size())
        ++m_pos;
    return m_pos <= m_items->size();
}

SmartPtr<IItemCollection> MakeCollection(ItemVector items) { return MakeObject<CCollection>(std::move(items)); }

// ----- Item helpers -----

bool ItemOfStore(StoreItem* s, const StoreCore* core, unsigned generation) {
    auto* info = static_cast<CItemInfo*>(s->QueryItem(PartItemInfo));
    return info && info->InfoCore() == core && info->InfoGeneration() == generation;
}

CResourceBase* AsResourceBase(StoreItem* item) {
    return static_cast<CResourceBase*>(item->QueryItem(PartResourceBase));
}
CMembers* AsMembers(StoreItem* item) { return static_cast<CMembers*>(item->QueryItem(PartMembers)); }

MemberList* LoadedMemberList(StoreItem* owner, int list) {
    if (auto* s = dynamic_cast<CSubject*>(owner))
        return &s->LoadedList(list);
    if (auto* j = dynamic_cast<CJob<IJobVarno>*>(owner))
        return &j->LoadedList(list);
    if (auto* j = dynamic_cast<CJob<IJobVarnoZelvane>*>(owner))
        return &j->LoadedList(list);
    if (auto* t = dynamic_cast<CTask<ITask>*>(owner))
        return &t->LoadedList(list);
    if (auto* t = dynamic_cast<CTask<ITaskEx>*>(owner))
        return &t->LoadedList(list);
    if (auto* g = dynamic_cast<CGroup<IFileGroup>*>(owner))
        return &g->LoadedList(list);
    if (auto* g = dynamic_cast<CGroup<IDirectoryFileGroup>*>(owner))
        return &g->LoadedList(list);
    if (auto* g = dynamic_cast<CGroup<IRegistryGroup>*>(owner))
        return &g->LoadedList(list);
    if (auto* g = dynamic_cast<CGroup<IDiskSectorGroup>*>(owner))
        return &g->LoadedList(list);
    if (auto* g = dynamic_cast<CGroup<IHardwareConfigurationGroup>*>(owner))
        return &g->LoadedList(list);
    return nullptr;
}

template <class T>
static SmartPtr<StoreItem> Wrap(T* p) {
    return SmartPtr<StoreItem>(static_cast<StoreItem*>(p));
}

SmartPtr<StoreItem> ItemFactory::Subject(ItemFields f, std::wstring os) const {
    return Wrap(new CSubject(core, std::move(f), std::move(os)));
}

SmartPtr<StoreItem> ItemFactory::Job(ItemFields f) const {
    if (f.kind == JobKindVarno)
        return Wrap(new CJob<IJobVarno>(core, std::move(f), L"JobVarno", hash));
    if (f.kind == JobKindVarnoZelvane)
        return Wrap(new CJob<IJobVarnoZelvane>(core, std::move(f), L"JobVarnoZelvane", hash));
    ThrowStoreError(E_INVALIDARG, "unknown job kind " + std::to_string(f.kind));
}

SmartPtr<StoreItem> ItemFactory::Task(ItemFields f) const {
    if (f.kind == TaskKindPlain)
        return Wrap(new CTask<ITask>(core, std::move(f), L"Task"));
    if (f.kind == TaskKindEx)
        return Wrap(new CTask<ITaskEx>(core, std::move(f), L"TaskEx"));
    ThrowStoreError(E_INVALIDARG, "unknown task kind " + std::to_string(f.kind));
}

SmartPtr<StoreItem> ItemFactory::Group(ItemFields f) const {
    switch (f.kind) {
    case GroupKindFile:
        return Wrap(new CGroup<IFileGroup>(core, std::move(f), L"FileGroup"));
    case GroupKindDirectoryFile:
        return Wrap(new CGroup<IDirectoryFileGroup>(core, std::move(f), L"DirectoryFileGroup"));
    case GroupKindRegistry:
        return Wrap(new CGroup<IRegistryGroup>(core, std::move(f), L"RegistryGroup"));
    case GroupKindDiskSector:
        return Wrap(new CGroup<IDiskSectorGroup>(core, std::move(f), L"DiskSectorGroup"));
    case GroupKindHardware:
        return Wrap(new CGroup<IHardwareConfigurationGroup>(core, std::move(f), L"HardwareConfigurationGroup"));
    }
    ThrowStoreError(E_INVALIDARG, "unknown group kind " + std::to_string(f.kind));
}

SmartPtr<StoreItem> ItemFactory::Resource(ItemFields f, ResourceFields r) const {
    switch (f.kind) {
    case ResourceKindFile:
        return Wrap(new CResource<IFile>(core, std::move(f), std::move(r), L"File"));
    case ResourceKindDirectory:
        return Wrap(new CResource<IDirectory>(core, std::move(f), std::move(r), L"Directory"));
    case ResourceKindRegistryKey:
        return Wrap(new CResource<IRegistryKey>(core, std::move(f), std::move(r), L"RegistryKey"));
    case ResourceKindRegistryValue:
        return Wrap(new CResource<IRegistryValue>(core, std::move(f), std::move(r), L"RegistryValue"));
    case ResourceKindDiskSector:
        return Wrap(new CResource<IDiskSector>(core, std::move(f), std::move(r), L"DiskSector"));
    case ResourceKindDevice:
        return Wrap(new CResource<IDevice>(core, std::move(f), std::move(r), L"Device"));
    case ResourceKindSMBIOSTable:
        return Wrap(new CResource<ISMBIOSTable>(core, std::move(f), std::move(r), L"SMBIOSTable"));
    case ResourceKindSMBIOSField:
        return Wrap(new CResource<ISMBIOSField>(core, std::move(f), std::move(r), L"SMBIOSField"));
    }
    ThrowStoreError(E_INVALIDARG, "unknown resource kind " + std::to_string(f.kind));
}

CComScope::CComScope() : m_uninit(false) {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_uninit = SUCCEEDED(hr); // S_FALSE too: balanced by CoUninitialize; RPC_E_CHANGED_MODE: COM is there
}

CComScope::~CComScope() {
    if (m_uninit)
        CoUninitialize();
}

// The last component of a path: what a resource created without a description shows.
static std::wstring LastComponent(const std::wstring& name) {
    size_t p = name.find_last_of(L'\\');
    return p == std::wstring::npos ? name : name.substr(p + 1);
}

// ----- Store files as this provider wrote or read them -----

// A store file as the provider last wrote or read it: its stamp and commit time, and, once the
// store that held that content has been closed without a change, its items (a closed store's
// items change no more). A store opened on the file while its stamp is the same takes its items
// from here instead of reading the file; a commit of what the file already says leaves the file.
// Only the file whose store was closed last keeps its items; the others keep their digests.
struct KnownStore {
    StoreFileStamp stamp;
    _time_t commitTime;
    std::shared_ptr<const StoreContent> content; // null until the store is closed unchanged

    bool digested = false; // digest is the content's, as the commit that wrote the file made it
    StoreDigest digest;

    // The digest of what the file says: the commit's, else made from the items on first use;
    // false while neither is there.
    bool Digest(StoreDigest& out) const {
        if (!digested && !content)
            return false;
        std::call_once(m_once, [this] { m_made = digested ? digest : DigestOfContent(*content); });
        out = m_made;
        return true;
    }

private:
    mutable std::once_flag m_once;
    mutable StoreDigest m_made;
};

class CKnownStores : public CKnownFiles<KnownStore> {
public:
    // Known of this path from now on: the items of a closed store, which no other path keeps any
    // longer. Every store file imported or exported would otherwise stay in memory until the
    // process ends. The others keep their stamp and digest, so that a commit of what such a file
    // says still leaves it, and an open of it reads the file.
    void SetItems(const std::wstring& path, std::shared_ptr<const KnownStore> known) {
        std::vector<std::pair<std::wstring, std::shared_ptr<const KnownStore>>> others;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_files[path] = std::move(known);
            for (const auto& kv : m_files)
                if (kv.first != path && kv.second->content)
                    others.push_back(kv);
        }
        // The digest made from the items takes a walk over them: not while others wait for the map.
        for (const auto& [other, full] : others) {
            auto slim = std::make_shared<KnownStore>();
            slim->stamp = full->stamp;
            slim->commitTime = full->commitTime;
            slim->digested = full->Digest(slim->digest);
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_files.find(other);
            if (it != m_files.end() && it->second == full)
                it->second = std::move(slim);
        }
    }
};

// The content of a closed store as new items of another: each item anew with its values, the
// links between them as they were.
static void CopyContent(const StoreContent& from, const ItemFactory& factory, StoreContent& to) {
    to = StoreContent();
    to.version = from.version;
    to.nextId = from.nextId;
    to.idsExhausted = from.idsExhausted;
    to.commitTime = from.commitTime;
    to.resourcesSection = from.resourcesSection;
    to.groupsSection = from.groupsSection;
    to.tasksSection = from.tasksSection;
    std::unordered_map<const StoreItem*, StoreItem*> copyOf;
    copyOf.reserve(from.subjects.size() + from.jobs.size() + from.tasks.size() + from.groups.size() +
                   from.resources.size());
    auto fields = [](const SmartPtr<StoreItem>& item) -> const ItemFields& {
        return static_cast<CItemInfo*>(item->QueryItem(PartItemInfo))->InfoFields();
    };
    auto copy = [&copyOf](const SmartPtr<StoreItem>& item, SmartPtr<StoreItem> made, ItemVector& list) {
        copyOf.emplace(item.Get(), made.Get());
        list.push_back(std::move(made));
    };
    to.resources.reserve(from.resources.size());
    for (const auto& r : from.resources) {
        const CResourceBase* rb = AsResourceBase(r.Get());
        copy(r, factory.Resource(rb->RFields(), rb->RData()), to.resources);
    }
    to.groups.reserve(from.groups.size());
    for (const auto& g : from.groups)
        copy(g, factory.Group(fields(g)), to.groups);
    for (const auto& t : from.tasks)
        copy(t, factory.Task(fields(t)), to.tasks);
    for (const auto& j : from.jobs)
        copy(j, factory.Job(fields(j)), to.jobs);
    for (const auto& s : from.subjects)
        copy(s, factory.Subject(fields(s), item_cast<ISubject>(s)->GetOsDescription()), to.subjects);
    for (const auto* list : {&from.groups, &from.tasks, &from.jobs, &from.subjects})
        for (const auto& item : *list) {
            StoreItem* owner = copyOf[item.Get()];
            const CMembers* members = AsMembers(item.Get());
            const bool job = item->QueryItem(IID_Job) != nullptr;
            for (int k = 0; k < (job ? 2 : 1); ++k) {
                MemberList* into = LoadedMemberList(owner, k);
                for (const auto& m : members->Members(k)) {
                    auto it = copyOf.find(m.Get());
                    if (it != copyOf.end())
                        into->AddLoaded(SmartPtr<StoreItem>(it->second));
                }
            }
        }
    if (from.localSubject) {
        auto it = copyOf.find(from.localSubject.Get());
        if (it != copyOf.end())
            to.localSubject = item_cast<ISubject>(SmartPtr<StoreItem>(it->second));
    }
}

// ----- The opened store -----

class CDatabase final : public IDatabase {
public:
    CDatabase(long handle, std::wstring path, std::shared_ptr<CKnownStores> known)
        : m_path(std::move(path)), m_known(std::move(known)) {
        SetFree(&FreeObject<CDatabase>);
        m_core = std::make_shared<StoreCore>();
        m_core->handle = handle;
        m_hash = std::make_shared<HashSettings>();
    }

    void Load(bool create, IStoreReadWatcher* watcher) {
        if (create) {
            m_c = StoreContent();
            m_c.version = kStoreFormatVersion;
            m_c.commitTime = _time_t::now();
            m_known->Forget(m_path);
            m_asFile = WriteStoreFile(m_path, m_c, &m_fileStamp);
            ForgetIndex();
            m_core->modified = false;
            return;
        }
        // A file as this provider left it: its items are taken when first needed (a save clears
        // the store first and needs none).
        StoreFileStamp stamp;
        if (StampOfFile(m_path, stamp))
            if (auto known = m_known->Find(m_path, stamp))
                if (known->content) {
                    m_pending = known;
                    m_fileStamp = stamp;
                    m_asFile = true;
                    m_core->modified = false;
                    return;
                }
        ReadFile(watcher);
    }

    // A store closed unchanged since it was read or committed leaves its items to the next open of
    // the same file.
    void MarkClosed() {
        m_core->closed = true;
        if (m_asFile && !m_pending && !m_core->modified) {
            auto current = m_known->Find(m_path, m_fileStamp);
            if (current && current->content)
                return; // the items of an earlier store of the same content stay
            auto known = std::make_shared<KnownStore>();
            if (current) {
                known->digested = current->digested;
                known->digest = current->digest;
            }
            known->stamp = m_fileStamp;
            known->commitTime = m_c.commitTime;
            known->content = std::make_shared<const StoreContent>(m_c);
            m_known->SetItems(m_path, std::move(known));
        }
    }

    std::wstring GetPath() override { return m_path; }
    int GetVersion() override { return C().version; }
    long GetHandle() override { return m_core->handle; }

    void Commit() override {
        Writable();
        CComScope com;
        StoreContent c = C();
        c.version = kStoreFormatVersion;
        c.commitTime = _time_t::now();
        // A file that says what this content says, as this provider wrote or read it and as it
        // stands now, is left as it is with its commit time.
        StoreFileStamp now;
        auto known = StampOfFile(m_path, now) ? m_known->Find(m_path, now) : nullptr;
        const StoreDigest digest = DigestOfContent(c);
        StoreDigest before;
        if (known && known->Digest(before) && before == digest) {
            RemoveStrayCommitFiles(m_path);
            c.commitTime = known->commitTime;
            // The file is one this provider knows at this stamp and it says what the content says:
            // the content is the file's, as after a write, even when it was read too soon after the
            // file's last write to be taken for the file then.
            m_fileStamp = now;
            m_asFile = true;
        } else {
            m_known->Forget(m_path);
            m_asFile = false;
            m_asFile = WriteStoreFile(m_path, c, &m_fileStamp);
            if (m_asFile) {
                auto written = std::make_shared<KnownStore>();
                written->stamp = m_fileStamp;
                written->commitTime = c.commitTime;
                written->digested = true;
                written->digest = digest;
                m_known->Set(m_path, std::move(written));
            }
        }
        m_c.version = c.version;
        m_c.commitTime = c.commitTime;
        m_core->modified = false;
        m_hash->Reset();
    }

    void Clear() override {
        Writable();
        m_hash->Reset();
        NewGeneration();
        const StoreContent& old = m_pending ? *m_pending->content : m_c;
        StoreContent c;
        c.version = old.version;
        c.commitTime = old.commitTime;
        m_pending.reset();
        m_c = std::move(c);
        ForgetIndex();
        m_core->Changed();
    }

    void WriteBootList(const char* names, const char* checks, BootListCode code) override {
        Open();
        const StoreContent& c = C();
        m_hash->Note(
            WriteBootListFiles(c.resources, names, checks, code, m_hash->threads, &m_hash->cache, m_core->changes));
    }

    SmartPtr<IItemCollection> GetJobs() override { return MakeCollection(C().jobs); }
    SmartPtr<IItemCollection> GetTasks() override { return MakeCollection(C().tasks); }
    SmartPtr<IItemCollection> GetResourceGroups() override { return MakeCollection(C().groups); }
    SmartPtr<IItemCollection> GetResources() override { return MakeCollection(C().resources); }
    SmartPtr<IItemCollection> GetSubjects() override { return MakeCollection(C().subjects); }

    SmartPtr<StoreItem> FindItem(long long id) override {
        const auto& byId = ById();
        auto it = byId.find(id);
        return it == byId.end() ? SmartPtr<StoreItem>() : SmartPtr<StoreItem>(it->second);
    }

    SmartPtr<ISubject> CreateSubject(const std::wstring& name, const std::wstring& description,
                                     const std::wstring& os) override {
        auto item = Add(C().subjects, Factory().Subject(Fields(0, name, description, _time_t::now()), os));
        return item_cast<ISubject>(item);
    }
    SmartPtr<IJob> CreateJobVarno(const std::wstring& name, const std::wstring& description) override {
        return item_cast<IJob>(Add(C().jobs, Factory().Job(Fields(JobKindVarno, name, description, _time_t::now()))));
    }
    SmartPtr<IJob> CreateJobVarnoZelvane(const std::wstring& name, const std::wstring& description) override {
        return item_cast<IJob>(
            Add(C().jobs, Factory().Job(Fields(JobKindVarnoZelvane, name, description, _time_t::now()))));
    }
    SmartPtr<ITask> CreateTask(const std::wstring& name, const std::wstring& d, const _time_t& t) override {
        return item_cast<ITask>(Add(C().tasks, Factory().Task(Fields(TaskKindPlain, name, d, t))));
    }
    SmartPtr<ITask> CreateTaskEx(const std::wstring& name, const std::wstring& d, const _time_t& t) override {
        return item_cast<ITask>(Add(C().tasks, Factory().Task(Fields(TaskKindEx, name, d, t))));
    }
    SmartPtr<IResourceGroup> CreateFileGroup(const std::wstring& n, const std::wstring& d, const _time_t& t) override {
        return Group(GroupKindFile, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateDirectoryFileGroup(const std::wstring& n, const std::wstring& d,
                                                      const _time_t& t) override {
        return Group(GroupKindDirectoryFile, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateRegistryGroup(const std::wstring& n, const std::wstring& d,
                                                 const _time_t& t) override {
        return Group(GroupKindRegistry, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateDiskSectorGroup(const std::wstring& n, const std::wstring& d,
                                                   const _time_t& t) override {
        return Group(GroupKindDiskSector, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateHardwareConfigurationGroup(const std::wstring& n, const std::wstring& d,
                                                              const _time_t& t) override {
        return Group(GroupKindHardware, n, d, t);
    }

    SmartPtr<IResource> CreateFile(const std::wstring& name, const _time_t& t, bool controlled,
                                   bool executable) override {
        ResourceFields r;
        r.controlled = controlled;
        r.executable = executable;
        return Resource(Fields(ResourceKindFile, name, LastComponent(name), t), std::move(r));
    }
    SmartPtr<IResource> CreateDirectory(const std::wstring& name, const _time_t& t, bool controlled) override {
        ResourceFields r;
        r.controlled = controlled;
        return Resource(Fields(ResourceKindDirectory, name, LastComponent(name), t), std::move(r));
    }
    SmartPtr<IResource> CreateRegistryKey(const std::wstring& name, const _time_t& t, bool controlled) override {
        ResourceFields r;
        r.controlled = controlled;
        return Resource(Fields(ResourceKindRegistryKey, name, LastComponent(name), t), std::move(r));
    }
    SmartPtr<IResource> CreateRegistryValue(const std::wstring& key, const std::wstring& valueName, const _time_t& t,
                                            bool controlled) override {
        ResourceFields r;
        r.controlled = controlled;
        r.key = key;
        r.valueName = valueName;
        std::wstring name = key;
        if (name.empty() || name.back() != L'\\')
            name += L'\\';
        name += valueName;
        // The unnamed value has the description that a registry value's path without a name gets.
        std::wstring description = valueName.empty() ? std::wstring(kRegDefaultValueToken) : valueName;
        return Resource(Fields(ResourceKindRegistryValue, name, description, t), std::move(r));
    }
    SmartPtr<IResource> CreateDiskSector(const std::wstring& name, const std::wstring& description, unsigned char disk,
                                         long long sector, const _time_t& t, bool controlled) override {
        if (sector < 0)
            ThrowStoreError(E_INVALIDARG, L"the disk sector \"" + name + L"\" cannot be written: its sector number " +
                                              std::to_wstring(sector) + L" is negative");
        ResourceFields r;
        r.controlled = controlled;
        r.disk = disk;
        r.sector = sector;
        return Resource(Fields(ResourceKindDiskSector, name, description, t), std::move(r));
    }
    SmartPtr<IResource> CreateDevice(const std::wstring& name, const std::wstring& description, const _time_t& t,
                                     bool controlled) override {
        ResourceFields r;
        r.controlled = controlled;
        return Resource(Fields(ResourceKindDevice, name, description, t), std::move(r));
    }
    SmartPtr<IResource> CreateSMBIOSTable(const std::wstring& name, const SmbiosTableDescriptor& table,
                                          const _time_t& t, bool controlled) override {
        ResourceFields r;
        r.controlled = controlled;
        r.table = table;
        return Resource(Fields(ResourceKindSMBIOSTable, name, LastComponent(name), t), std::move(r));
    }
    SmartPtr<IResource> CreateSMBIOSField(const std::wstring& name, int fieldType, int fieldLength, int fieldOffset,
                                          const SmbiosTableDescriptor& table, const _time_t& t,
                                          bool controlled) override {
        ResourceFields r;
        r.controlled = controlled;
        r.table = table;
        r.fieldType = fieldType;
        r.fieldLength = fieldLength;
        r.fieldOffset = fieldOffset;
        return Resource(Fields(ResourceKindSMBIOSField, name, LastComponent(name), t), std::move(r));
    }

    void Rollback() override {
        Open();
        CComScope com;
        NewGeneration();
        m_hash->Reset();
        m_pending.reset();
        ReadFile();
    }

    bool IsModified() override { return m_core->modified; }
    long GetItemCount() override {
        const StoreContent& c = C();
        return static_cast<long>(c.subjects.size() + c.jobs.size() + c.tasks.size() + c.groups.size() +
                                 c.resources.size());
    }
    _time_t GetCommitTime() override { return C().commitTime; }
    void SetHashThreads(int count) override { m_hash->threads = count < 0 ? 0 : count; }
    int GetHashThreads() override { return m_hash->threads; }
    double GetLastHashSeconds() override { return m_hash->lastHashMicros / 1e6; }
    long GetLastBootListCount() override { return m_hash->lastLines; }
    SmartPtr<IItemCollection> GetBootListRefused() override { return MakeCollection(m_hash->Refused()); }

    SmartPtr<ISubject> GetLocalSubject() override { return C().localSubject; }
    void SetLocalSubject(const SmartPtr<ISubject>& subject) override {
        Writable();
        if (subject && !ItemOfStore(subject.Get(), m_core.get(), m_core->generation))
            ThrowStoreError(E_INVALIDARG, "the subject belongs to another store");
        C().localSubject = subject;
        m_core->Changed();
    }

private:
    // The content, its items made from those of the file's last closed store on first need.
    StoreContent& C() {
        if (m_pending) {
            CopyContent(*m_pending->content, Factory(), m_c);
            m_pending.reset();
            ForgetIndex();
        }
        return m_c;
    }
    // Reads the store file. Its stamp, the same before and after the read and older than a change
    // still in progress could be, says which file the content is.
    // The watcher, when given, is told of each resource as it is read.
    void ReadFile(IStoreReadWatcher* watcher = nullptr) {
        const unsigned long long begun = FileTimeNow();
        StoreFileStamp before, after;
        bool stamped = StampOfFile(m_path, before);
        StoreContent c;
        ReadStoreFile(m_path, Factory(), c, watcher);
        m_c = std::move(c);
        m_asFile = stamped && StampOfFile(m_path, after) && after == before && Settled(before.file, begun);
        m_fileStamp = before;
        ForgetIndex();
        m_core->modified = false;
    }
    void Open() {
        if (m_core->closed)
            ThrowStoreError(E_ACCESSDENIED, "the store is closed");
    }
    void Writable() { Open(); }
    // Items of the old generation stay valid objects for whoever holds them, but cannot be changed
    // or linked any more. The core is replaced, so they no longer count as items of this store.
    void NewGeneration() {
        auto core = std::make_shared<StoreCore>();
        core->handle = m_core->handle;
        core->generation = m_core->generation + 1;
        m_core->generation = core->generation.load();
        m_core = core;
    }
    ItemFactory Factory() const { return ItemFactory{m_core, m_hash}; }
    ItemFields Fields(int kind, const std::wstring& name, const std::wstring& d, const _time_t& t) {
        Writable();
        // Past the largest positive ID the count would wrap to negative IDs, which the store file
        // cannot hold and which callers take for read-only objects: refused before anything changes.
        if (C().idsExhausted)
            ThrowStoreError(HRESULT_FROM_WIN32(ERROR_DATABASE_FULL),
                            "no free identifiers: the store has given out its largest item ID (" +
                                std::to_string(LLONG_MAX) + "); clear it to start again");
        ItemFields f;
        f.id = C().nextId;
        f.kind = kind;
        f.name = name;
        f.description = d;
        f.time = t;
        return f;
    }
    SmartPtr<StoreItem> Add(ItemVector& list, SmartPtr<StoreItem> item) {
        list.push_back(item);
        if (m_indexed)
            m_byId[item->GetId()] = item.Get();
        if (m_c.nextId == LLONG_MAX)
            m_c.idsExhausted = true;
        else
            ++m_c.nextId;
        m_core->Changed();
        return item;
    }
    SmartPtr<IResourceGroup> Group(int kind, const std::wstring& n, const std::wstring& d, const _time_t& t) {
        return item_cast<IResourceGroup>(Add(C().groups, Factory().Group(Fields(kind, n, d, t))));
    }
    SmartPtr<IResource> Resource(ItemFields f, ResourceFields r) {
        return item_cast<IResource>(Add(C().resources, Factory().Resource(std::move(f), std::move(r))));
    }
    // Drops the index of the items by ID when the content is replaced. ById makes it again at the
    // first look-up after that: a load that only walks the lists (a few hundred thousand items)
    // makes none.
    void ForgetIndex() {
        m_byId.clear();
        m_indexed = false;
    }
    const std::map<long long, StoreItem*>& ById() {
        C();
        if (!m_indexed) {
            for (auto* list : {&m_c.subjects, &m_c.jobs, &m_c.tasks, &m_c.groups, &m_c.resources})
                for (const auto& i : *list)
                    m_byId[i->GetId()] = i.Get();
            m_indexed = true;
        }
        return m_byId;
    }

    std::shared_ptr<StoreCore> m_core;
    std::shared_ptr<HashSettings> m_hash;
    std::wstring m_path;
    std::shared_ptr<CKnownStores> m_known;
    StoreContent m_c;
    std::shared_ptr<const KnownStore> m_pending; // the file's items not yet taken (C)
    StoreFileStamp m_fileStamp;                  // the file the content was read from or committed to
    bool m_asFile = false;                       // that file is known and holds the content as read or committed
    std::map<long long, StoreItem*> m_byId;      // complete while m_indexed
    bool m_indexed = false;
};

// ----- The provider -----

static std::atomic<long> g_nextHandle{1};

class CProvider final : public IProvider {
public:
    CProvider() { SetFree(&FreeObject<CProvider>); }
    ~CProvider() {
        for (auto& kv : m_open)
            static_cast<CDatabase*>(kv.second.Get())->MarkClosed();
    }

    int GetVersion() override { return kStoreFormatVersion; }
    std::wstring GetLastErrorText() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastError;
    }
    void Close(long handle) override {
        SmartPtr<IDatabase> db;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_open.find(handle);
            if (it == m_open.end())
                return;
            db = it->second;
            m_open.erase(it);
        }
        static_cast<CDatabase*>(db.Get())->MarkClosed();
    }
    long GetOpenCount() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<long>(m_open.size());
    }

    SmartPtr<IDatabase> Open(const char* path) override { return OpenFile(path, true); }
    SmartPtr<IDatabase> OpenExisting(const char* path) override { return OpenFile(path, false); }
    void SetReadWatcher(IStoreReadWatcher* watcher) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (watcher)
            m_watchers[GetCurrentThreadId()] = watcher;
        else
            m_watchers.erase(GetCurrentThreadId());
    }

private:
    SmartPtr<IDatabase> OpenFile(const char* path, bool mayCreate) {
        std::wstring wpath = path ? as_wstring(path, CP_ACP) : std::wstring();
        try {
            if (wpath.empty())
                ThrowStoreError(E_INVALIDARG, L"no store file was named");
            CComScope com;
            DWORD attr = GetFileAttributesW(wpath.c_str());
            bool create = false;
            if (attr == INVALID_FILE_ATTRIBUTES) {
                DWORD e = GetLastError();
                if (e != ERROR_FILE_NOT_FOUND || !mayCreate)
                    ThrowSystemException(e);
                create = true;
            } else if (attr & FILE_ATTRIBUTE_DIRECTORY) {
                ThrowStoreError(E_INVALIDARG, L"the store path names a folder: " + wpath);
            }
            long handle = g_nextHandle++;
            auto* raw = new CDatabase(handle, wpath, m_known);
            SmartPtr<IDatabase> db(raw);
            raw->Load(create, Watcher());
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open[handle] = db;
            m_lastError.clear();
            return db;
        } catch (const EGeneric& e) {
            SetError(wpath, CodeOf(e) + e.text());
        } catch (const std::exception& e) {
            SetError(wpath, as_wstring(e.what()));
        }
        return SmartPtr<IDatabase>();
    }

    // "[0x%08X] " with the failure's system code (else its HRESULT), as the reader is told it.
    static std::wstring CodeOf(const EGeneric& e) {
        _value_t code = e["Error"];
        if (code.empty())
            code = e["HRESULT"];
        return code.empty() ? std::wstring() : format_wstring(L"[0x%08X] ", static_cast<unsigned>(code.as_int64()));
    }
    IStoreReadWatcher* Watcher() {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_watchers.find(GetCurrentThreadId());
        return it == m_watchers.end() ? nullptr : it->second;
    }
    void SetError(const std::wstring& path, const std::wstring& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = L"\"" + path + L"\": " + text;
    }
    std::mutex m_mutex;
    std::map<long, SmartPtr<IDatabase>> m_open;
    std::wstring m_lastError;
    std::shared_ptr<CKnownStores> m_known = std::make_shared<CKnownStores>();
    std::map<DWORD, IStoreReadWatcher*> m_watchers; // by thread
};

} // namespace Impl

namespace Common {

static std::atomic<int> g_attached{0};

int Attach() {
    ++g_attached;
    return 0;
}

int Detach() {
    if (g_attached > 0)
        --g_attached;
    return 0;
}

SmartPtr<IProvider> CreateProvider() {
    try {
        return Impl::MakeObject<Impl::CProvider>();
    } catch (...) {
        return SmartPtr<IProvider>();
    }
}

void DestroyProvider() {
    Impl::ReleaseCaches();
    Impl::ForgetListFiles();
}

int GetVarnoDriveLetter(wchar_t, wchar_t*) { return 0; }

void SetSmbiosTable(const unsigned char* table, size_t size) { Impl::SetSmbiosTable(table, size); }

bool InspectStoreFile(const wchar_t* path, StoreFileOutline& outline, std::wstring& reason) {
    outline = StoreFileOutline();
    reason.clear();
    try {
        if (!path || !*path)
            Impl::ThrowStoreError(E_INVALIDARG, L"no store file was named");
        Impl::CComScope com;
        auto core = std::make_shared<Impl::StoreCore>();
        Impl::ItemFactory factory{core, std::make_shared<Impl::HashSettings>()};
        Impl::StoreContent content;
        Impl::ReadStoreFile(path, factory, content);
        outline.version = content.version;
        outline.resources = content.resourcesSection;
        outline.groups = content.groupsSection;
        outline.tasks = content.tasksSection;
        return true;
    } catch (const EGeneric& e) {
        reason = e.text();
    } catch (const std::exception& e) {
        reason = as_wstring(e.what());
    }
    return false;
}

} // namespace Common
} // namespace Varno
