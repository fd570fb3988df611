// Test doubles for the model's store side: a recording store whose items log every call made on
// them (golden call logs, job fallbacks, kinds the provider never makes), and an application host
// with a scripted invalid-resource question and a captured error dialog.
#pragma once

#include "ModelStore.h"

#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace fakes {

using namespace Varno;

typedef std::vector<std::wstring> CallLog;
typedef std::vector<SmartPtr<StoreItem>> ItemList;

inline std::wstring B(bool b) { return b ? L"1" : L"0"; }
inline std::wstring N(long long v) { return std::to_wstring(v); }

template <class I>
void* Chain(I* p, int iid) {
    if (iid == I::IID)
        return p;
    if constexpr (std::is_same<I, StoreItem>::value)
        return nullptr;
    else
        return Chain<typename I::Base>(static_cast<typename I::Base*>(p), iid);
}

class FCollection final : public IItemCollection {
    class FEnum final : public IItemEnumerator {
    public:
        explicit FEnum(ItemList items) : m_items(std::move(items)) {
            SetFree([](const RefCounted* p) { delete static_cast<const FEnum*>(p); });
        }
        SmartPtr<StoreItem> Next() override {
            return m_pos && m_pos <= m_items.size() ? m_items[m_pos - 1] : SmartPtr<StoreItem>();
        }
        void Reset() override { m_pos = 0; }
        bool HasItem() override {
            if (m_pos <= m_items.size())
                ++m_pos;
            return m_pos <= m_items.size();
        }
        ItemList m_items;
        size_t m_pos = 0;
    };

public:
    explicit FCollection(ItemList items) : m_items(std::move(items)) {
        SetFree([](const RefCounted* p) { delete static_cast<const FCollection*>(p); });
    }
    long GetCount() override { return static_cast<long>(m_items.size()); }
    SmartPtr<StoreItem> GetAt(long i) override { return i >= 0 && i < GetCount() ? m_items[i] : SmartPtr<StoreItem>(); }
    SmartPtr<IItemEnumerator> Enumerate() override { return SmartPtr<IItemEnumerator>(new FEnum(m_items)); }
    ItemList m_items;
};

inline SmartPtr<IItemCollection> Coll(const ItemList& l) { return SmartPtr<IItemCollection>(new FCollection(l)); }

// One class for every item interface: I is the item's interface; the operations of the other
// interfaces are plain members that nobody can reach.
template <class I>
class FItem final : public I {
public:
    FItem(CallLog* log, long long id, int kind, std::wstring name, std::wstring desc)
        : log(log), id(id), kind(kind), name(std::move(name)), desc(std::move(desc)) {
        this->SetFree([](const RefCounted* p) { delete static_cast<const FItem<I>*>(p); });
    }
    void Log(const std::wstring& s) {
        if (log)
            log->push_back(N(id) + L"." + s);
    }

    long long GetId() override { return id; }
    void* QueryItem(int iid) override { return Chain<I>(this, iid); }
    long GetHandle() override { return 1; }
    const wchar_t* GetKindName() override { return L"fake"; }
    int GetInterface() override { return I::IID; }
    int GetKind() override { return kind; }
    std::wstring GetName() override { return name; }
    std::wstring GetDescription() override { return desc; }
    _time_t GetTime() override { return time; }
    void SetTime(const _time_t& t) override {
        Log(L"SetTime(" + N(t.value()) + L")");
        time = t;
    }
    void SetName(const std::wstring& n) override { name = n; }
    void SetDescription(const std::wstring& d) override { desc = d; }

    // subject
    std::wstring GetOsDescription() { return os; }
    void SetOsDescription(const std::wstring& o) { os = o; }
    SmartPtr<IItemCollection> GetJobs() {
        Log(L"GetJobs");
        return Coll(m0);
    }
    SmartPtr<IItemCollection> GetJobs2() {
        Log(L"GetJobs2");
        return Coll(m1);
    }
    void AddJob(const SmartPtr<IJob>& j) {
        Log(L"AddJob(" + N(j->GetId()) + L")");
        (j->GetKind() == 1 ? m0 : m1).push_back(SmartPtr<StoreItem>(j));
    }
    // jobs, tasks, groups
    void WriteBootList(const char* names, const char*, BootListCode code) {
        std::string n = names;
        Log(L"WriteBootList(" + as_wstring(n.substr(n.find_last_of('\\') + 1)) + L"," + N(code) + L")");
    }
    SmartPtr<IItemCollection> GetTasks() { return Coll(m1); }
    SmartPtr<IItemCollection> GetResourceGroups() { return Coll(m0); }
    SmartPtr<IItemCollection> GetResources() { return Coll(m0); }
    template <class M>
    void Add(const wchar_t* op, int list, const SmartPtr<M>& m) {
        Log(std::wstring(op) + L"(" + N(m->GetId()) + L")");
        (list ? m1 : m0).push_back(SmartPtr<StoreItem>(m));
    }
    void AddFileGroup(const SmartPtr<IFileGroup>& g) { Add(L"AddFileGroup", 0, g); }
    void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>& g) { Add(L"AddDiskSectorGroup", 0, g); }
    void AddDirectoryFileGroup(const SmartPtr<IDirectoryFileGroup>& g) { Add(L"AddDirectoryFileGroup", 0, g); }
    void AddRegistryGroup(const SmartPtr<IRegistryGroup>& g) { Add(L"AddRegistryGroup", 0, g); }
    void AddHardwareConfigurationGroup(const SmartPtr<IHardwareConfigurationGroup>& g) {
        Add(L"AddHardwareConfigurationGroup", 0, g);
    }
    void AddTask(const SmartPtr<ITask>& t) { Add(L"AddTask", 1, t); }
    void AddFile(const SmartPtr<IFile>& f) { Add(L"AddFile", 0, f); }
    void AddDirectory(const SmartPtr<IDirectory>& d) { Add(L"AddDirectory", 0, d); }
    void AddRegistryKey(const SmartPtr<IRegistryKey>& k) { Add(L"AddRegistryKey", 0, k); }
    void AddRegistryValue(const SmartPtr<IRegistryValue>& v) { Add(L"AddRegistryValue", 0, v); }
    void AddDiskSector(const SmartPtr<IDiskSector>& s) { Add(L"AddDiskSector", 0, s); }
    void AddDevice(const SmartPtr<IDevice>& d) { Add(L"AddDevice", 0, d); }
    void AddSMBIOSTable(const SmartPtr<ISMBIOSTable>& t) { Add(L"AddSMBIOSTable", 0, t); }
    void AddSMBIOSField(const SmartPtr<ISMBIOSField>& f) { Add(L"AddSMBIOSField", 0, f); }
    // resources
    bool IsControlled() { return controlled; }
    void SetControlled(bool c) {
        Log(L"SetControlled(" + B(c) + L")");
        controlled = c;
    }
    bool IsValid() {
        ++validAsks;
        return valid;
    }
    bool IsExecutable() { return executable; }
    void SetExecutable(bool e) { executable = e; }
    std::wstring GetKeyPath() { return key; }
    std::wstring GetValueName() { return valueName; }
    unsigned char GetDisk() { return disk; }
    long long GetSector() { return sector; }
    _value_t GetProperty(int code) { return props.count(code) ? props[code] : _value_t(); }
    void SetProperty(int code, const _value_t& v) {
        Log(L"SetProperty(" + N(code) + L"," + (v.empty() ? std::wstring(L"-") : v.as_wstring()) + L")");
        props[code] = v;
    }
    unsigned long GetTableType() { return table.type; }
    unsigned long GetTableLength() { return table.length; }
    unsigned long GetTableHandle() { return table.handle; }
    unsigned long GetFieldType() { return fieldType; }
    unsigned long GetFieldOffset() { return fieldOffset; }
    unsigned long GetFieldLength() { return fieldLength; }

    CallLog* log;
    long long id;
    int kind;
    std::wstring name, desc, os, key, valueName;
    _time_t time;
    bool controlled = true, valid = true, executable = false;
    int validAsks = 0; // how often the object's existence was asked
    unsigned char disk = 0;
    long long sector = 0;
    std::map<int, _value_t> props;
    SmbiosTableDescriptor table = {0, 0, 0};
    int fieldType = 0, fieldOffset = 0, fieldLength = 0;
    ItemList m0, m1; // subject: board jobs, second-edition jobs; job: groups, tasks; task/group: members
};

// A store that logs the calls the model makes and hands out FItems. Item IDs count from 100.
class FDatabase final : public IDatabase {
public:
    FDatabase() {
        SetFree([](const RefCounted* p) { delete static_cast<const FDatabase*>(p); });
    }

    template <class I>
    FItem<I>* Make(int kind, const std::wstring& name, const std::wstring& desc, ItemList* list) {
        auto* p = new FItem<I>(&log, nextId++, kind, name, desc);
        if (list)
            list->push_back(SmartPtr<StoreItem>(static_cast<StoreItem*>(p)));
        return p;
    }
    void L(const std::wstring& s) { log.push_back(s); }
    static std::wstring T(const _time_t& t) { return N(t.value()); }

    std::wstring GetPath() override { return L"fake"; }
    int GetVersion() override { return 1; }
    long GetHandle() override { return 7; }
    void Commit() override {
        L(L"Commit");
        if (failCommit) {
            EGeneric e("disk full");
            e["Code"] = 112;
            throw e;
        }
    }
    void Clear() override {
        L(L"Clear");
        subjects.clear();
        jobs.clear();
        tasks.clear();
        groups.clear();
        resources.clear();
        local.Reset();
    }
    void WriteBootList(const char* names, const char*, BootListCode code) override {
        std::string n = names;
        L(L"WriteBootList(" + as_wstring(n.substr(n.find_last_of('\\') + 1)) + L"," + N(code) + L")");
    }
    SmartPtr<IItemCollection> GetJobs() override { return Coll(jobs); }
    SmartPtr<IItemCollection> GetTasks() override { return Coll(tasks); }
    SmartPtr<IItemCollection> GetResourceGroups() override { return Coll(groups); }
    SmartPtr<IItemCollection> GetResources() override { return Coll(resources); }
    SmartPtr<IItemCollection> GetSubjects() override { return Coll(subjects); }
    SmartPtr<StoreItem> FindItem(long long) override { return SmartPtr<StoreItem>(); }
    SmartPtr<ISubject> CreateSubject(const std::wstring& n, const std::wstring& d, const std::wstring& os) override {
        L(L"CreateSubject(" + n + L"," + d + L"," + os + L")");
        auto* s = Make<ISubject>(0, n, d, &subjects);
        s->os = os;
        return SmartPtr<ISubject>(s);
    }
    SmartPtr<IJob> CreateJobVarno(const std::wstring& n, const std::wstring& d) override {
        L(L"CreateJobVarno(" + n + L"," + d + L")");
        return SmartPtr<IJob>(Make<IJobVarno>(1, n, d, &jobs));
    }
    SmartPtr<IJob> CreateJobVarnoZelvane(const std::wstring& n, const std::wstring& d) override {
        L(L"CreateJobVarnoZelvane(" + n + L"," + d + L")");
        return SmartPtr<IJob>(Make<IJobVarnoZelvane>(2, n, d, &jobs));
    }
    SmartPtr<ITask> CreateTask(const std::wstring& n, const std::wstring& d, const _time_t& t) override {
        L(L"CreateTask(" + n + L"," + d + L"," + T(t) + L")");
        return SmartPtr<ITask>(Make<ITask>(1, n, d, &tasks));
    }
    SmartPtr<ITask> CreateTaskEx(const std::wstring& n, const std::wstring& d, const _time_t& t) override {
        L(L"CreateTaskEx(" + n + L"," + d + L"," + T(t) + L")");
        return SmartPtr<ITask>(Make<ITaskEx>(2, n, d, &tasks));
    }
    template <class G>
    SmartPtr<IResourceGroup> Group(const wchar_t* op, int kind, const std::wstring& n, const std::wstring& d,
                                   const _time_t& t) {
        L(std::wstring(op) + L"(" + n + L"," + d + L"," + T(t) + L")");
        return SmartPtr<IResourceGroup>(Make<G>(kind, n, d, &groups));
    }
    SmartPtr<IResourceGroup> CreateFileGroup(const std::wstring& n, const std::wstring& d, const _time_t& t) override {
        return Group<IFileGroup>(L"CreateFileGroup", 1, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateDirectoryFileGroup(const std::wstring& n, const std::wstring& d,
                                                      const _time_t& t) override {
        return Group<IDirectoryFileGroup>(L"CreateDirectoryFileGroup", 2, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateRegistryGroup(const std::wstring& n, const std::wstring& d,
                                                 const _time_t& t) override {
        return Group<IRegistryGroup>(L"CreateRegistryGroup", 3, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateDiskSectorGroup(const std::wstring& n, const std::wstring& d,
                                                   const _time_t& t) override {
        return Group<IDiskSectorGroup>(L"CreateDiskSectorGroup", 4, n, d, t);
    }
    SmartPtr<IResourceGroup> CreateHardwareConfigurationGroup(const std::wstring& n, const std::wstring& d,
                                                              const _time_t& t) override {
        return Group<IHardwareConfigurationGroup>(L"CreateHardwareConfigurationGroup", 5, n, d, t);
    }
    SmartPtr<IResource> CreateFile(const std::wstring& n, const _time_t& t, bool c, bool e) override {
        L(L"CreateFile(" + n + L"," + T(t) + L"," + B(c) + L"," + B(e) + L")");
        if (n == failOnName) {
            EGeneric x;
            x["Text"] = _value_t(L"хранилище отказало");
            x["HRESULT"] = static_cast<long>(0x80070005);
            throw x;
        }
        if (wrongKindFor == n)
            return SmartPtr<IResource>(Make<IDirectory>(2, n, L"", &resources));
        auto* f = Make<IFile>(1, n, L"", &resources);
        f->controlled = c;
        f->executable = e;
        return SmartPtr<IResource>(f);
    }
    SmartPtr<IResource> CreateDirectory(const std::wstring& n, const _time_t& t, bool c) override {
        L(L"CreateDirectory(" + n + L"," + T(t) + L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<IDirectory>(2, n, L"", &resources));
    }
    SmartPtr<IResource> CreateRegistryKey(const std::wstring& n, const _time_t& t, bool c) override {
        L(L"CreateRegistryKey(" + n + L"," + T(t) + L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<IRegistryKey>(3, n, L"", &resources));
    }
    SmartPtr<IResource> CreateRegistryValue(const std::wstring& k, const std::wstring& v, const _time_t& t,
                                            bool c) override {
        L(L"CreateRegistryValue(" + k + L"," + v + L"," + T(t) + L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<IRegistryValue>(4, k + v, v, &resources));
    }
    SmartPtr<IResource> CreateDiskSector(const std::wstring& n, const std::wstring& d, unsigned char disk,
                                         long long sector, const _time_t& t, bool c) override {
        L(L"CreateDiskSector(" + n + L"," + d + L"," + N(disk) + L"," + N(sector) + L"," + T(t) + L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<IDiskSector>(5, n, d, &resources));
    }
    SmartPtr<IResource> CreateDevice(const std::wstring& n, const std::wstring& d, const _time_t& t, bool c) override {
        L(L"CreateDevice(" + n + L"," + d + L"," + T(t) + L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<IDevice>(6, n, d, &resources));
    }
    SmartPtr<IResource> CreateSMBIOSTable(const std::wstring& n, const SmbiosTableDescriptor& tb, const _time_t& t,
                                          bool c) override {
        L(L"CreateSMBIOSTable(" + n + L"," + N(tb.type) + L"," + N(tb.length) + L"," + N(tb.handle) + L"," + T(t) +
          L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<ISMBIOSTable>(7, n, L"", &resources));
    }
    SmartPtr<IResource> CreateSMBIOSField(const std::wstring& n, int ft, int fl, int fo,
                                          const SmbiosTableDescriptor& tb, const _time_t& t, bool c) override {
        L(L"CreateSMBIOSField(" + n + L"," + N(ft) + L"," + N(fl) + L"," + N(fo) + L"," + N(tb.type) + L"," +
          N(tb.length) + L"," + N(tb.handle) + L"," + T(t) + L"," + B(c) + L")");
        return SmartPtr<IResource>(Make<ISMBIOSField>(8, n, L"", &resources));
    }
    void Rollback() override {}
    bool IsModified() override { return false; }
    long GetItemCount() override { return 0; }
    _time_t GetCommitTime() override { return _time_t(); }
    void SetHashThreads(int) override {}
    int GetHashThreads() override { return 1; }
    double GetLastHashSeconds() override { return 0; }
    long GetLastBootListCount() override { return 0; }
    SmartPtr<IItemCollection> GetBootListRefused() override { return Coll(refused); }
    SmartPtr<ISubject> GetLocalSubject() override {
        L(L"GetLocalSubject");
        return local;
    }
    void SetLocalSubject(const SmartPtr<ISubject>& s) override {
        L(L"SetLocalSubject(" + N(s->GetId()) + L")");
        local = s;
    }

    CallLog log;
    long long nextId = 100;
    ItemList subjects, jobs, tasks, groups, resources;
    ItemList refused; // what GetBootListRefused names
    SmartPtr<ISubject> local;
    bool failCommit = false;
    std::wstring failOnName, wrongKindFor;
};

// The application as the model's store side sees it.
class FHost : public IModelStoreHost {
public:
    SmartPtr<IProvider> provider;
    std::wstring folder;
    SmartPtr<IDatabase> fakeStore; // when set, OpenStore gives it instead of the local store
    CIChDataModel* mainModel = nullptr;
    std::vector<INT_PTR> answers;   // scripted answers of the invalid-resource question
    std::vector<int> chosenActions; // the action chosen with each answer (empty: the preselected one)
    std::vector<int> preselected;   // the action the question was shown with, per question
    std::vector<std::wstring> errors;
    int closes = 0;
    bool failOpen = false;

    SmartPtr<IProvider> GetProvider() override { return provider; }
    std::wstring GetStoreFolder() override { return folder; }
    SmartPtr<IDatabase> OpenStore() override {
        if (failOpen)
            return SmartPtr<IDatabase>();
        if (fakeStore)
            return fakeStore;
        if (!provider || folder.empty())
            return SmartPtr<IDatabase>();
        CreateDirectoryW(folder.c_str(), nullptr);
        return provider->Open(as_string(folder + L"\\Localhost.vdb", 0).c_str());
    }
    void CloseStore(SmartPtr<IDatabase>& store) override {
        ++closes;
        if (store && provider && !fakeStore)
            provider->Close(store->GetHandle());
        store.Reset();
    }
    std::wstring GetOsDescription() override { return L"Test OS, 64-bit"; }
    CIChDataModel* GetMainModel() override { return mainModel; }
    INT_PTR AskInvalidResource(const SmartPtr<IResource>&, int& action) override {
        size_t i = preselected.size();
        preselected.push_back(action);
        if (i < chosenActions.size())
            action = chosenActions[i];
        return i < answers.size() ? answers[i] : static_cast<INT_PTR>(InvalidAnswerNo);
    }
    void ShowError(const std::wstring& text) override { errors.push_back(text); }
};

} // namespace fakes
