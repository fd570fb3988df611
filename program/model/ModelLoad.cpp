// Loading the model from the board's local store and importing a model file: store items become
// model nodes with the store's IDs.
#include "FileExistence.h"
#include "IChDataModel.h"
#include "ModelStore.h"

#include <KvText.h>
#include <sddl.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <unordered_map>
#include <vector>

using namespace Varno;

namespace {

FILETIME ItemFileTime(const SmartPtr<StoreItem>& item) { return item->GetTime().filetime(); }

void ForEachItem(const SmartPtr<IItemCollection>& collection,
                 const std::function<void(const SmartPtr<StoreItem>&)>& f) {
    if (!collection)
        return;
    SmartPtr<IItemEnumerator> e = collection->Enumerate();
    while (e->HasItem())
        f(e->Next());
}

SmartPtr<StoreItem> FirstItem(const SmartPtr<IItemCollection>& collection) {
    SmartPtr<StoreItem> first;
    if (collection) {
        SmartPtr<IItemEnumerator> e = collection->Enumerate();
        if (e->HasItem())
            first = e->Next();
    }
    return first;
}

void FillNode(CIChNode* node, const SmartPtr<StoreItem>& item, int removable) {
    node->m_Id = item->GetId();
    node->SetName(item->GetName());
    node->SetDescription(item->GetDescription());
    node->m_Removable = removable;
    FILETIME ft = ItemFileTime(item);
    node->SetModifyTime(&ft);
}

// The model's nodes of one type by ID, the first of the list for an ID, as FindNodeById finds
// them; built once per step, so that linking many members does not search the list each time.
// One sorted list: a load indexes a few hundred thousand nodes.
class CIdIndex {
public:
    CIdIndex(CIChDataModel& model, int type) {
        m_nodes.reserve(model.GetNodeList(type)->size());
        for (CIChNode* n : *model.GetNodeList(type))
            m_nodes.emplace_back(n->m_Id, n);
        // Stable: of nodes of one ID the first in the list stands first.
        std::stable_sort(m_nodes.begin(), m_nodes.end(),
                         [](const Entry& a, const Entry& b) { return a.first < b.first; });
    }
    CIChNode* Find(NodeId id) const {
        auto it =
            std::lower_bound(m_nodes.begin(), m_nodes.end(), id, [](const Entry& e, NodeId v) { return e.first < v; });
        return it != m_nodes.end() && it->first == id ? it->second : nullptr;
    }

private:
    using Entry = std::pair<NodeId, CIChNode*>;
    std::vector<Entry> m_nodes;
};

// Links the store members of an item, found by ID among the model's nodes of one type.
void LinkMembers(const CIdIndex& index, CIChNode* upper, const SmartPtr<IItemCollection>& members) {
    ForEachItem(members, [&](const SmartPtr<StoreItem>& m) {
        if (CIChNode* lower = index.Find(m->GetId()))
            lower->AddUpperLink(upper);
    });
}

// The validity of a stored resource (IsStoredResourceValid), a controlled file's from the listings
// when they know it; the resources come in the order they were noted.
int StoredResourceValidity(const SmartPtr<IResource>& res, CFileExistence& existence) {
    if (CFileExistence::IsListedKind(res)) {
        const int known = existence.Next();
        if (known >= 0)
            return known;
    }
    return IsStoredResourceValid(res);
}

// Step of the load and the import: the resources of the store. Edition 1 takes files and disk
// sectors only (kinds 1 and 5); the others are skipped before the validity question.
// The existence of the files is answered from the listings that `existence` made while the store was
// read, or makes now. With `index`, each node goes into the model's path index as it is made.
void ReadResources(CIChDataModel& model, const SmartPtr<IDatabase>& store, bool edition1Only, int& action,
                   long long& answer, CFileExistence& existence, bool index = false) {
    auto taken = [edition1Only](const SmartPtr<StoreItem>& item) {
        return !edition1Only || item->GetKind() == ResourceKindFile || item->GetKind() == ResourceKindDiskSector;
    };
    SmartPtr<IItemCollection> resources = store->GetResources();
    std::vector<SmartPtr<IResource>> asked;
    if (resources)
        asked.reserve(static_cast<size_t>(std::max(0L, resources->GetCount())));
    ForEachItem(resources, [&](const SmartPtr<StoreItem>& item) {
        if (taken(item)) {
            SmartPtr<IResource> res = item_cast<IResource>(item);
            if (CFileExistence::IsListedKind(res))
                asked.push_back(std::move(res));
        }
    });
    existence.Settle(asked);
    asked = std::vector<SmartPtr<IResource>>();
    ForEachItem(resources, [&](const SmartPtr<StoreItem>& item) {
        if (!taken(item))
            return;
        SmartPtr<IResource> res = checked_cast<IResource>(item);
        // The object's existence is asked once: the answer serves the question and the node.
        int valid = StoredResourceValidity(res, existence);
        if (model.ConfirmStoredResource(res, valid, action, answer)) {
            auto* node = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource))->FromStoreItem(res, valid);
            if (index)
                model.AddToPathIndex(node);
        }
    });
}

int GroupSubType(const SmartPtr<StoreItem>& item, int fallback) {
    if (item_cast<IFileGroup>(item) || item_cast<IDirectoryFileGroup>(item))
        return GroupFiles;
    if (item_cast<IRegistryGroup>(item))
        return GroupRegistry;
    if (item_cast<IDiskSectorGroup>(item))
        return GroupDiskSectors;
    if (item_cast<IHardwareConfigurationGroup>(item))
        return GroupHardware;
    return fallback;
}

void ReadGroups(CIChDataModel& model, const SmartPtr<IDatabase>& store, bool edition1Only) {
    const CIdIndex resources(model, NodeTypeResource);
    ForEachItem(store->GetResourceGroups(), [&](const SmartPtr<StoreItem>& item) {
        int kind = item->GetKind();
        if (edition1Only && kind != GroupKindFile && kind != GroupKindDirectoryFile && kind != GroupKindDiskSector)
            return;
        auto* group = static_cast<CIChRGroup*>(model.CreateNode(NodeTypeGroup));
        group->m_SubType = GroupSubType(item, group->m_SubType);
        FillNode(group, item, 1);
        if (auto g = item_cast<IResourceGroup>(item))
            LinkMembers(resources, group, g->GetResources());
    });
}

void ReadTasks(CIChDataModel& model, const SmartPtr<IDatabase>& store) {
    const CIdIndex groups(model, NodeTypeGroup);
    ForEachItem(store->GetTasks(), [&](const SmartPtr<StoreItem>& item) {
        CIChNode* task = model.CreateNode(NodeTypeTask);
        FillNode(task, item, 1);
        if (auto t = item_cast<ITask>(item))
            LinkMembers(groups, task, t->GetResourceGroups());
    });
}

// The groups and tasks of a job item linked under a job node: groups through the second edition's
// or the board job's interface, tasks likewise.
void LinkJobMembers(CIChDataModel& model, CIChNode* job, const SmartPtr<StoreItem>& item) {
    const CIdIndex groups(model, NodeTypeGroup), tasks(model, NodeTypeTask);
    if (auto z = item_cast<IJobVarnoZelvane>(item)) {
        LinkMembers(groups, job, z->GetResourceGroups());
        LinkMembers(tasks, job, z->GetTasks());
    } else if (auto v = item_cast<IJobVarno>(item)) {
        LinkMembers(groups, job, v->GetResourceGroups());
        LinkMembers(tasks, job, v->GetTasks());
    }
}

// The load's steps 2 to 8 on a model of its own, which indexes the paths of its resources as it
// makes them; 0, or 1627 when the store has no local subject.
int ReadStoreIntoModel(CIChDataModel& model, const SmartPtr<IDatabase>& store, CFileExistence& existence) {
    BYTE sidBuffer[68] = {};
    PSID converted = nullptr;
    if (ConvertStringSidToSidW(L"S-1-0-0", &converted)) {
        CopySid(sizeof sidBuffer, sidBuffer, converted);
        LocalFree(converted);
    }

    SmartPtr<ISubject> subjectItem = store->GetLocalSubject();
    if (!subjectItem)
        return kStoreResultFailed;
    auto* subject = static_cast<CIChSubject*>(model.CreateNode(NodeTypeSubject));
    subject->m_Id = subjectItem->GetId();
    subject->SetName(subjectItem->GetName());
    subject->SetDescription(subjectItem->GetDescription());
    subject->m_Removable = 0;
    subject->m_SubType = SubjectComputer;
    subject->ResolveAccount(reinterpret_cast<PSID>(sidBuffer), nullptr);
    subject->m_Local = 1;
    FILETIME ft = ItemFileTime(subjectItem);
    subject->SetModifyTime(&ft);

    int action = 0;
    long long answer = 0;
    ReadResources(model, store, false, action, answer, existence, true);
    ReadGroups(model, store, false);
    ReadTasks(model, store);

    bool fromSubject = true;
    SmartPtr<StoreItem> jobItem = FirstItem(subjectItem->GetJobs());
    if (!jobItem)
        jobItem = FirstItem(subjectItem->GetJobs2());
    if (!jobItem) {
        jobItem = FirstItem(store->GetJobs());
        fromSubject = false;
    }
    if (jobItem) {
        auto* job = static_cast<CIChJob*>(model.CreateNode(NodeTypeJob));
        job->m_Id = jobItem->GetId();
        job->SetName(jobItem->GetName());
        job->SetDescription(jobItem->GetDescription());
        job->m_Removable = 0;
        job->m_IsHostBased = 1;
        job->m_SubType = jobItem->GetKind() == JobKindVarno ? JobBoard : JobSecondEdition;
        FILETIME jt = ItemFileTime(jobItem);
        job->SetModifyTime(&jt);
        if (fromSubject)
            job->AddUpperLink(subject);
        LinkJobMembers(model, job, jobItem);
    }
    return 0;
}

// Lets the watcher be told of the resources that the opens of this thread read while it lives.
class CReadWatch {
public:
    CReadWatch(SmartPtr<IProvider> provider, IStoreReadWatcher* watcher) : m_provider(std::move(provider)) {
        if (m_provider)
            m_provider->SetReadWatcher(watcher);
    }
    ~CReadWatch() {
        if (m_provider)
            m_provider->SetReadWatcher(nullptr);
    }
    CReadWatch(const CReadWatch&) = delete;
    CReadWatch& operator=(const CReadWatch&) = delete;

private:
    SmartPtr<IProvider> m_provider;
};

} // namespace

int IsStoredResourceValid(SmartPtr<IResource> item) {
    if (!item)
        return 1;
    if (auto f = item_cast<IFile>(item))
        return f->IsControlled() ? (f->IsValid() ? 1 : 0) : 1;
    if (auto s = item_cast<IDiskSector>(item))
        return s->IsControlled() ? (s->IsValid() ? 1 : 0) : 1;
    if (auto k = item_cast<IRegistryKey>(item))
        return k->IsControlled() ? (k->IsValid() ? 1 : 0) : 1;
    if (auto v = item_cast<IRegistryValue>(item))
        return v->IsControlled() ? (v->IsValid() ? 1 : 0) : 1;
    if (auto d = item_cast<IDevice>(item))
        return d->IsControlled() ? (d->IsValid() ? 1 : 0) : 1;
    if (auto t = item_cast<ISMBIOSTable>(item))
        return t->IsControlled() ? (t->IsValid() ? 1 : 0) : 1;
    if (auto f = item_cast<ISMBIOSField>(item))
        return f->IsControlled() ? (f->IsValid() ? 1 : 0) : 1;
    return 1;
}

CIChResorce* CIChResorce::FromStoreItem(SmartPtr<IResource> item) {
    if (!item)
        return this;
    return FromStoreItem(item, IsStoredResourceValid(item));
}

CIChResorce* CIChResorce::FromStoreItem(SmartPtr<IResource> item, int valid) {
    if (!item)
        return this;
    m_Id = item->GetId();
    m_Executable = 0;
    m_Valid = valid;
    m_Controlled = 1;
    if (auto d = item_cast<IDirectory>(item)) {
        SetSubType(ResDirectory);
        m_Controlled = d->IsControlled();
    } else if (auto f = item_cast<IFile>(item)) {
        SetSubType(ResFile);
        m_Controlled = f->IsControlled();
        m_Executable = f->IsExecutable();
    } else if (auto k = item_cast<IRegistryKey>(item)) {
        SetSubType(ResRegKey);
        m_Controlled = k->IsControlled();
    } else if (auto v = item_cast<IRegistryValue>(item)) {
        SetSubType(ResRegValue);
        m_Controlled = v->IsControlled();
    } else if (auto s = item_cast<IDiskSector>(item)) {
        SetSubType(ResDiskSector);
        m_Controlled = s->IsControlled();
        SetParam(L"DISK", _value_t(static_cast<int>(s->GetDisk())));
        SetParam(L"SECTOR", _value_t(s->GetSector()));
    } else if (auto dev = item_cast<IDevice>(item)) {
        SetSubType(ResPciDevice);
        m_Controlled = dev->IsControlled();
        for (const auto& p : kStorePciProperties)
            SetParam(p.name, dev->GetProperty(p.code));
    } else if (auto t = item_cast<ISMBIOSTable>(item)) {
        SetSubType(ResSmbiosTable);
        m_Controlled = t->IsControlled();
        SetParam(L"Table Type", _value_t(t->GetTableType()));
        SetParam(L"Table Length", _value_t(t->GetTableLength()));
        SetParam(L"Table Handle", _value_t(t->GetTableHandle()));
    } else if (auto fld = item_cast<ISMBIOSField>(item)) {
        SetSubType(ResSmbiosField);
        m_Controlled = fld->IsControlled();
        SetParam(L"Table Type", _value_t(fld->GetTableType()));
        SetParam(L"Table Length", _value_t(fld->GetTableLength()));
        SetParam(L"Table Handle", _value_t(fld->GetTableHandle()));
        SetParam(L"Field Type", _value_t(fld->GetFieldType()));
        SetParam(L"Field Offset", _value_t(fld->GetFieldOffset()));
        SetParam(L"Field Length", _value_t(fld->GetFieldLength()));
    }
    TakeName(item->GetName(), item->GetDescription());
    m_Removable = 1;
    FILETIME ft = ItemFileTime(item);
    SetModifyTime(&ft);
    return this;
}

int CIChDataModel::ConfirmInvalidResource(SmartPtr<IResource> item, int& action, long long& answer) {
    int valid = IsStoredResourceValid(item);
    return ConfirmStoredResource(item, valid, action, answer);
}

int CIChDataModel::ConfirmStoredResource(SmartPtr<IResource> item, int& valid, int& action, long long& answer) {
    if (valid)
        return 1;
    if (answer != InvalidAnswerYesForAll && answer != InvalidAnswerNoForAll) {
        IModelStoreHost* host = GetModelStoreHost();
        if (!host)
            return 1; // nobody to ask: the resource loads unchanged, marked invalid
        int chosen = action;
        answer = host->AskInvalidResource(item, chosen);
        action = chosen;
    }
    if (answer == InvalidAnswerYes || answer == InvalidAnswerYesForAll) {
        m_bModified = 1;
        if (action == InvalidActionRemove)
            return 0;
        if (auto d = item_cast<IDirectory>(item))
            d->SetControlled(false);
        else if (auto f = item_cast<IFile>(item))
            f->SetControlled(false);
        else if (auto k = item_cast<IRegistryKey>(item))
            k->SetControlled(false);
        else if (auto v = item_cast<IRegistryValue>(item))
            v->SetControlled(false);
        else if (auto s = item_cast<IDiskSector>(item))
            s->SetControlled(false);
        else if (auto dev = item_cast<IDevice>(item))
            dev->SetControlled(false);
        else if (auto t = item_cast<ISMBIOSTable>(item))
            t->SetControlled(false);
        else if (auto fld = item_cast<ISMBIOSField>(item))
            fld->SetControlled(false);
        valid = 1; // not controlled now, so valid
    }
    return 1;
}

int CIChDataModel::Load() {
    IModelStoreHost* host = GetModelStoreHost();
    if (!host)
        return kStoreResultFailed;
    // The files of the resources are looked for while the store file is read.
    CFileExistence existence;
    SmartPtr<IDatabase> store;
    {
        CReadWatch watch(host->GetProvider(), &existence);
        store = host->OpenStore();
    }
    if (!store)
        return kStoreResultFailed; // the model and its modified flag stay as they were

    // The store is read into a model of its own; only a complete read replaces this model's nodes,
    // so a store that fails half-way never leaves a half model (and the user's edits) behind.
    CIChDataModel loaded;
    loaded.m_PathVars = m_PathVars; // its path index is this model's
    int result;
    {
        KvCmdSequence::CMachineViewScope view; // the tasks' scenarios share one reading of the machine
        CStoreCloser closer(host, store);
        result = ReadStoreIntoModel(loaded, store, existence);
        closer.Close();
    }
    if (result != 0)
        return result;

    Clear(1);
    m_Resources.splice(m_Resources.end(), loaded.m_Resources);
    m_Groups.splice(m_Groups.end(), loaded.m_Groups);
    m_Tasks.splice(m_Tasks.end(), loaded.m_Tasks);
    m_Jobs.splice(m_Jobs.end(), loaded.m_Jobs);
    m_Subjects.splice(m_Subjects.end(), loaded.m_Subjects);
    m_PathIndex.swap(loaded.m_PathIndex);
    RebuildDriveAliases();
    RebuildShareAliases();
    CalcNextIds();
    GetSystemTimeAsFileTime(&m_ModifyTime);
    m_bModified = loaded.m_bModified;
    return 0;
}

namespace {

// StoreToModel with the existence of the files from `existence`.
int ReadModelFile(CIChDataModel& model, const SmartPtr<IDatabase>& store, int jobs, int tasks, int groups,
                  int resources, CFileExistence& existence) {
    IModelStoreHost* host = GetModelStoreHost();
    CIChDataModel* main = host ? host->GetMainModel() : nullptr;
    CIChJob* mainJob = main && !main->m_Jobs.empty() ? static_cast<CIChJob*>(main->m_Jobs.front()) : nullptr;
    const int edition = mainJob ? mainJob->m_SubType : 0;

    CIChJob* job = nullptr;
    if (jobs && mainJob) {
        job = static_cast<CIChJob*>(model.CreateNode(NodeTypeJob));
        job->m_Id = mainJob->m_Id;
        job->SetName(mainJob->m_Name);
        job->SetDescription(mainJob->m_Description);
        job->m_SubType = mainJob->m_SubType;
        job->m_Removable = 0;
        job->m_IsHostBased = 1;
        job->SetModifyTime(&mainJob->m_ModifyTime);
    }
    if (edition == 0)
        return 0;

    KvCmdSequence::CMachineViewScope view; // the tasks' scenarios share one reading of the machine
    int action = 0;
    long long answer = 0;
    if (resources)
        ReadResources(model, store, edition == 1, action, answer, existence);
    if (groups)
        ReadGroups(model, store, edition == 1);
    if (tasks)
        ReadTasks(model, store);
    if (jobs) {
        SmartPtr<StoreItem> chosen, last;
        ForEachItem(store->GetJobs(), [&](const SmartPtr<StoreItem>& item) {
            if (!chosen && item->GetKind() == edition)
                chosen = item;
            last = item;
        });
        if (!chosen)
            chosen = last;
        if (chosen && job)
            LinkJobMembers(model, job, chosen);
    }
    return 1;
}

} // namespace

int CIChDataModel::StoreToModel(SmartPtr<IDatabase> store, int jobs, int tasks, int groups, int resources) {
    CFileExistence existence;
    return ReadModelFile(*this, store, jobs, tasks, groups, resources, existence);
}

int CIChDataModel::ImportFromStore(const std::wstring& path, int mask) {
    m_LastStoreError.clear();
    IModelStoreHost* host = GetModelStoreHost();
    SmartPtr<IProvider> provider = host ? host->GetProvider() : SmartPtr<IProvider>();
    if (!provider)
        return E_FAIL;
    try {
        // An import reads an existing file only: a missing one is an error, never a new empty store.
        // The reader refuses what the store could not save later, naming the item.
        // The files of the resources are looked for while the file is read, when resources are taken.
        CFileExistence existence;
        SmartPtr<IDatabase> store;
        {
            CReadWatch watch(mask & 1 ? provider : SmartPtr<IProvider>(), &existence);
            store = provider->OpenExisting(as_string(path, 0).c_str());
        }
        if (!store) {
            m_LastStoreError = provider->GetLastErrorText();
            return E_FAIL;
        }
        CFileCloser closer(provider, store); // nothing is committed
        return ReadModelFile(*this, store, (mask >> 3) & 1, (mask >> 2) & 1, (mask >> 1) & 1, mask & 1, existence)
                   ? 0
                   : E_FAIL;
    } catch (const EGeneric& e) {
        m_LastStoreError = e.text();
        return e.result_code();
    } catch (...) {
        return E_FAIL;
    }
}
