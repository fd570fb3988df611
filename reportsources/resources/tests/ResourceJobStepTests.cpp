// The job step of the workstation resource source over store items that fail the way the store
// library fails (its EGeneric), each at another point of the step: the step gives the store's
// general failure and writes nothing of the integrity section.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <VCore.h>
#include <valkit.h>

#include "VrnResourceSource.h"

using namespace Varno;

// The source's string table is not needed here: the titles of a failed step are never written.
HMODULE ResourcePluginModule() { return nullptr; }

namespace {

[[noreturn]] void ThrowStoreFailure() { throw EGeneric("the store file could not be read"); }

// A collection of the given items; with `failAt` >= 0 reading the item of that place fails.
class CFakeCollection final : public IItemCollection {
public:
    CFakeCollection(std::vector<SmartPtr<StoreItem>> items, int failAt) : m_items(std::move(items)), m_failAt(failAt) {
        SetFree([](const RefCounted* p) { delete static_cast<const CFakeCollection*>(p); });
    }
    long GetCount() override { return (long)m_items.size() + (m_failAt >= 0 ? 1 : 0); }
    SmartPtr<StoreItem> GetAt(long) override { ThrowStoreFailure(); }
    SmartPtr<IItemEnumerator> Enumerate() override;

    std::vector<SmartPtr<StoreItem>> m_items;
    int m_failAt;
};

class CFakeEnumerator final : public IItemEnumerator {
public:
    explicit CFakeEnumerator(SmartPtr<CFakeCollection> owner) : m_owner(owner) {
        SetFree([](const RefCounted* p) { delete static_cast<const CFakeEnumerator*>(p); });
    }
    SmartPtr<StoreItem> Next() override {
        if ((int)m_at == m_owner->m_failAt)
            ThrowStoreFailure();
        return m_owner->m_items[m_at - (m_owner->m_failAt >= 0 && (int)m_at > m_owner->m_failAt ? 1 : 0)];
    }
    void Reset() override { m_started = false; }
    bool HasItem() override {
        if (m_started)
            ++m_at;
        m_started = true;
        return m_at < (size_t)m_owner->GetCount();
    }

private:
    SmartPtr<CFakeCollection> m_owner;
    size_t m_at = 0;
    bool m_started = false;
};

SmartPtr<IItemEnumerator> CFakeCollection::Enumerate() {
    return SmartPtr<IItemEnumerator>(new CFakeEnumerator(SmartPtr<CFakeCollection>(this)));
}

SmartPtr<IItemCollection> Collection(std::vector<SmartPtr<StoreItem>> items = {}, int failAt = -1) {
    return SmartPtr<IItemCollection>(new CFakeCollection(std::move(items), failAt));
}

// The common part of every fake item: ID, kind, name; everything else unused here.
template <class Base>
class CFakeItem : public Base {
public:
    explicit CFakeItem(long long id) : m_id(id) {}
    long long GetId() override { return m_id; }
    long GetHandle() override { return 1; }
    const wchar_t* GetKindName() override { return L"Fake"; }
    int GetKind() override { return 1; }
    std::wstring GetName() override { return L"fake"; }
    std::wstring GetDescription() override { return L""; }
    _time_t GetTime() override { return _time_t(); }
    void SetTime(const _time_t&) override {}
    void SetName(const std::wstring&) override {}
    void SetDescription(const std::wstring&) override {}

private:
    long long m_id;
};

class CFakeFile final : public CFakeItem<IFile> {
public:
    explicit CFakeFile(long long id, bool failName) : CFakeItem<IFile>(id), m_failName(failName) {
        SetFree([](const RefCounted* p) { delete static_cast<const CFakeFile*>(p); });
    }
    void* QueryItem(int iid) override {
        return iid == IID_File || iid == IID_Resource || iid == IID_StoreItem ? this : nullptr;
    }
    int GetInterface() override { return IID_File; }
    std::wstring GetName() override {
        if (m_failName)
            ThrowStoreFailure();
        return L"C:\\fake.dll";
    }
    bool IsControlled() override { return true; }
    void SetControlled(bool) override {}
    bool IsValid() override { return true; }
    bool IsExecutable() override { return false; }
    void SetExecutable(bool) override {}

private:
    bool m_failName;
};

class CFakeFileGroup final : public CFakeItem<IFileGroup> {
public:
    CFakeFileGroup(long long id, SmartPtr<IItemCollection> resources)
        : CFakeItem<IFileGroup>(id), m_resources(resources) {
        SetFree([](const RefCounted* p) { delete static_cast<const CFakeFileGroup*>(p); });
    }
    void* QueryItem(int iid) override {
        return iid == IID_FileGroup || iid == IID_ResourceGroup || iid == IID_StoreItem ? this : nullptr;
    }
    int GetInterface() override { return IID_FileGroup; }
    SmartPtr<IItemCollection> GetResources() override { return m_resources; }
    void AddFile(const SmartPtr<IFile>&) override {}

private:
    SmartPtr<IItemCollection> m_resources;
};

class CFakeJob final : public CFakeItem<IJobVarno> {
public:
    CFakeJob(SmartPtr<IItemCollection> groups, SmartPtr<IItemCollection> tasks)
        : CFakeItem<IJobVarno>(100), m_groups(groups), m_tasks(tasks) {
        SetFree([](const RefCounted* p) { delete static_cast<const CFakeJob*>(p); });
    }
    void* QueryItem(int iid) override {
        return iid == IID_JobVarno || iid == IID_Job || iid == IID_StoreItem ? this : nullptr;
    }
    int GetInterface() override { return IID_JobVarno; }
    void WriteBootList(const char*, const char*, BootListCode) override {}
    SmartPtr<IItemCollection> GetTasks() override { return m_tasks; }
    SmartPtr<IItemCollection> GetResourceGroups() override { return m_groups; }
    void AddFileGroup(const SmartPtr<IFileGroup>&) override {}
    void AddDiskSectorGroup(const SmartPtr<IDiskSectorGroup>&) override {}
    void AddTask(const SmartPtr<ITask>&) override {}

private:
    SmartPtr<IItemCollection> m_groups, m_tasks;
};

class CFakeSubject final : public CFakeItem<ISubject> {
public:
    CFakeSubject(SmartPtr<IItemCollection> jobs, SmartPtr<IItemCollection> jobs2)
        : CFakeItem<ISubject>(200), m_jobs(jobs), m_jobs2(jobs2) {
        SetFree([](const RefCounted* p) { delete static_cast<const CFakeSubject*>(p); });
    }
    void* QueryItem(int iid) override { return iid == IID_Subject || iid == IID_StoreItem ? this : nullptr; }
    int GetInterface() override { return IID_Subject; }
    std::wstring GetOsDescription() override { return L"OS"; }
    void SetOsDescription(const std::wstring&) override {}
    SmartPtr<IItemCollection> GetJobs() override { return m_jobs; }
    SmartPtr<IItemCollection> GetJobs2() override { return m_jobs2; }
    void AddJob(const SmartPtr<IJob>&) override {}

private:
    SmartPtr<IItemCollection> m_jobs, m_jobs2;
};

// Counts what is written.
class CCountingWriter : public IReportWriter {
public:
    void StartElement(const wchar_t*, const ReportAttributes&) override { ++m_nWrites; }
    void ElementValue(const CSaxValue&) override { ++m_nWrites; }
    void EndElement(const wchar_t*) override { ++m_nWrites; }
    void WriteElementToContent(const wchar_t*) override { ++m_nWrites; }
    void Element(const wchar_t*, const CSaxValue&, const ReportAttributes&) override { ++m_nWrites; }
    void Error(int) override { ++m_nWrites; }
    CSaxValue GetOutput() override { return CSaxValue(); }
    int m_nWrites = 0;
};

template <class T>
SmartPtr<StoreItem> Item(T* item) {
    return SmartPtr<StoreItem>(item);
}

} // namespace

TEST(ResourceJobStep, StoreFailureAnywhereInTheStepGivesTheGeneralFailureAndWritesNothing) {
    auto file = [](bool failName) { return Item(new CFakeFile(1, failName)); };
    auto group = [](SmartPtr<IItemCollection> resources) { return Item(new CFakeFileGroup(10, resources)); };
    auto job = [](SmartPtr<IItemCollection> groups, SmartPtr<IItemCollection> tasks) {
        return Item(new CFakeJob(groups, tasks));
    };
    struct Case {
        const char* where;
        std::function<SmartPtr<ISubject>()> subject;
        int result;
    } cases[] = {
        {"a readable job",
         [&] {
             return SmartPtr<ISubject>(new CFakeSubject(
                 Collection({job(Collection({group(Collection({file(false)}))}), Collection())}), Collection()));
         },
         0},
        {"the job list", [&] { return SmartPtr<ISubject>(new CFakeSubject(Collection({}, 0), Collection())); },
         (int)0x80004005},
        {"the job's groups",
         [&] {
             return SmartPtr<ISubject>(
                 new CFakeSubject(Collection({job(Collection({}, 0), Collection())}), Collection()));
         },
         (int)0x80004005},
        {"the job's tasks",
         [&] {
             return SmartPtr<ISubject>(new CFakeSubject(
                 Collection({job(Collection({group(Collection({file(false)}))}), Collection({}, 0))}), Collection()));
         },
         (int)0x80004005},
        {"a group's resources",
         [&] {
             return SmartPtr<ISubject>(new CFakeSubject(
                 Collection({job(Collection({group(Collection({file(false)}, 1))}), Collection())}), Collection()));
         },
         (int)0x80004005},
        {"a resource's path",
         [&] {
             return SmartPtr<ISubject>(new CFakeSubject(
                 Collection({job(Collection({group(Collection({file(true)}))}), Collection())}), Collection()));
         },
         (int)0x80004005},
    };
    for (const Case& c : cases) {
        CCountingWriter writer;
        int r = -1;
        EXPECT_NO_THROW(r = CVrnResourceSource::WriteJobResources(writer, c.subject(), nullptr)) << c.where;
        EXPECT_EQ(c.result, r) << c.where;
        if (c.result == 0)
            EXPECT_GT(writer.m_nWrites, 0) << c.where;
        else
            EXPECT_EQ(0, writer.m_nWrites) << c.where;
    }
}
