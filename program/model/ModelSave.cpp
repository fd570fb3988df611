// Saving the model into the board's local store with the board lists, and exporting it into a
// model file: the conversion of the model's nodes into store items.
#include "IChDataModel.h"
#include "ModelStore.h"
#include "ModelText.h"

#include <map>

using namespace Varno;

namespace {

IModelStoreHost* g_host = nullptr;

_time_t ItemTime(const CIChNode* node) { return _time_t::mktime(node->m_ModifyTime, 1); }

// The edition of the main window's model: the SubType of its first job, 0 when there is none.
int MainModelEdition(IModelStoreHost* host) {
    CIChDataModel* main = host ? host->GetMainModel() : nullptr;
    if (!main || main->m_Jobs.empty())
        return 0;
    return static_cast<CIChJob*>(main->m_Jobs.front())->m_SubType;
}

// A registry value's path split at its last backslash: the key with that backslash, and the value
// name, whose own backslashes stand as tokens in the path.
void SplitRegistryValuePath(const std::wstring& path, std::wstring& key, std::wstring& valueName) {
    size_t p = path.find_last_of(L'\\');
    if (p == std::wstring::npos) {
        key.clear();
        valueName = path;
    } else {
        key = path.substr(0, p + 1);
        valueName = path.substr(p + 1);
    }
}

SmartPtr<IResource> CreateResourceItem(const SmartPtr<IDatabase>& store, CIChResorce* r) {
    const bool controlled = r->m_Controlled != 0;
    const _time_t t = ItemTime(r);
    switch (r->m_SubType) {
    case ResFile:
        return checked_cast<IFile>(store->CreateFile(r->m_Name, t, controlled, r->m_Executable != 0));
    case ResDirectory:
        return checked_cast<IDirectory>(store->CreateDirectory(r->m_Name, t, controlled));
    case ResRegValue: {
        std::wstring key, value;
        SplitRegistryValuePath(r->m_Name, key, value);
        return checked_cast<IRegistryValue>(store->CreateRegistryValue(key, value, t, controlled));
    }
    case ResRegKey:
        return checked_cast<IRegistryKey>(store->CreateRegistryKey(r->m_Name, t, controlled));
    case ResDiskSector: {
        _value_t disk = r->GetParam(L"DISK"), sector = r->GetParam(L"SECTOR");
        if (disk.empty() || sector.empty())
            return SmartPtr<IResource>();
        return checked_cast<IDiskSector>(store->CreateDiskSector(r->m_Name, r->m_Description,
                                                                 static_cast<unsigned char>(disk.as_int() & 0xFF),
                                                                 sector.as_int64(), t, controlled));
    }
    case ResPciDevice: {
        auto device = checked_cast<IDevice>(store->CreateDevice(r->m_Name, r->m_Description, t, controlled));
        for (const auto& p : kStorePciProperties)
            device->SetProperty(p.code, r->GetParam(p.name));
        return device;
    }
    case ResSmbiosTable:
    case ResSmbiosField: {
        SmbiosTableDescriptor table = {r->GetParam(L"Table Type").as_int(), r->GetParam(L"Table Length").as_int(),
                                       r->GetParam(L"Table Handle").as_int()};
        if (r->m_SubType == ResSmbiosTable)
            return checked_cast<ISMBIOSTable>(store->CreateSMBIOSTable(r->m_Name, table, t, controlled));
        return checked_cast<ISMBIOSField>(store->CreateSMBIOSField(
            r->m_Name, r->GetParam(L"Field Type").as_int(), r->GetParam(L"Field Length").as_int(),
            r->GetParam(L"Field Offset").as_int(), table, t, controlled));
    }
    }
    return SmartPtr<IResource>();
}

SmartPtr<IResourceGroup> CreateGroupItem(const SmartPtr<IDatabase>& store, CIChRGroup* g, int edition) {
    const _time_t t = ItemTime(g);
    switch (g->m_SubType) {
    case GroupFiles:
        return edition == 2 ? store->CreateDirectoryFileGroup(g->m_Name, g->m_Description, t)
                            : store->CreateFileGroup(g->m_Name, g->m_Description, t);
    case GroupRegistry:
        return edition == 2 ? store->CreateRegistryGroup(g->m_Name, g->m_Description, t) : SmartPtr<IResourceGroup>();
    case GroupDiskSectors:
        return store->CreateDiskSectorGroup(g->m_Name, g->m_Description, t);
    case GroupHardware:
        return store->CreateHardwareConfigurationGroup(g->m_Name, g->m_Description, t);
    }
    return SmartPtr<IResourceGroup>();
}

void AddResourceToGroup(const SmartPtr<IResourceGroup>& group, const SmartPtr<IResource>& res, int subType,
                        int edition) {
    switch (subType) {
    case ResFile:
        if (edition == 2)
            checked_cast<IDirectoryFileGroup>(group)->AddFile(checked_cast<IFile>(res));
        else
            checked_cast<IFileGroup>(group)->AddFile(checked_cast<IFile>(res));
        break;
    case ResDirectory:
        if (edition == 2)
            checked_cast<IDirectoryFileGroup>(group)->AddDirectory(checked_cast<IDirectory>(res));
        break;
    case ResRegKey:
        if (edition == 2)
            checked_cast<IRegistryGroup>(group)->AddRegistryKey(checked_cast<IRegistryKey>(res));
        break;
    case ResRegValue:
        if (edition == 2)
            checked_cast<IRegistryGroup>(group)->AddRegistryValue(checked_cast<IRegistryValue>(res));
        break;
    case ResDiskSector:
        checked_cast<IDiskSectorGroup>(group)->AddDiskSector(checked_cast<IDiskSector>(res));
        break;
    case ResPciDevice:
        checked_cast<IHardwareConfigurationGroup>(group)->AddDevice(checked_cast<IDevice>(res));
        break;
    case ResSmbiosTable:
        checked_cast<IHardwareConfigurationGroup>(group)->AddSMBIOSTable(checked_cast<ISMBIOSTable>(res));
        break;
    case ResSmbiosField:
        checked_cast<IHardwareConfigurationGroup>(group)->AddSMBIOSField(checked_cast<ISMBIOSField>(res));
        break;
    }
}

void AddGroupToTask(const SmartPtr<ITask>& task, const SmartPtr<IResourceGroup>& group) {
    auto taskEx = item_cast<ITaskEx>(task);
    switch (group->GetKind()) {
    case GroupKindFile:
        task->AddFileGroup(checked_cast<IFileGroup>(group));
        break;
    case GroupKindDirectoryFile:
        if (taskEx)
            taskEx->AddDirectoryFileGroup(checked_cast<IDirectoryFileGroup>(group));
        else
            task->AddFileGroup(checked_cast<IFileGroup>(group));
        break;
    case GroupKindRegistry:
        if (taskEx)
            taskEx->AddRegistryGroup(checked_cast<IRegistryGroup>(group));
        break;
    case GroupKindDiskSector:
        task->AddDiskSectorGroup(checked_cast<IDiskSectorGroup>(group));
        break;
    case GroupKindHardware:
        if (taskEx)
            taskEx->AddHardwareConfigurationGroup(checked_cast<IHardwareConfigurationGroup>(group));
        break;
    }
}

void AddGroupToJob(const SmartPtr<IJob>& job, const SmartPtr<IResourceGroup>& group) {
    auto zelvane = item_cast<IJobVarnoZelvane>(job);
    auto varno = zelvane ? SmartPtr<IJobVarno>() : item_cast<IJobVarno>(job);
    switch (group->GetKind()) {
    case GroupKindFile:
        if (zelvane)
            zelvane->AddFileGroup(checked_cast<IFileGroup>(group));
        else if (varno)
            varno->AddFileGroup(checked_cast<IFileGroup>(group));
        break;
    case GroupKindDiskSector:
        if (zelvane)
            zelvane->AddDiskSectorGroup(checked_cast<IDiskSectorGroup>(group));
        else if (varno)
            varno->AddDiskSectorGroup(checked_cast<IDiskSectorGroup>(group));
        break;
    case GroupKindDirectoryFile:
        if (zelvane)
            zelvane->AddDirectoryFileGroup(checked_cast<IDirectoryFileGroup>(group));
        break;
    case GroupKindRegistry:
        if (zelvane)
            zelvane->AddRegistryGroup(checked_cast<IRegistryGroup>(group));
        break;
    case GroupKindHardware:
        if (zelvane)
            zelvane->AddHardwareConfigurationGroup(checked_cast<IHardwareConfigurationGroup>(group));
        break;
    }
}

} // namespace

const StorePciProperty kStorePciProperties[11] = {
    {0, L"Hardware ID"}, {1, L"Vendor ID"},        {2, L"Device ID"}, {3, L"Revision ID"},
    {4, L"Class Code"},  {5, L"Class GUID"},       {8, L"Enum Name"}, {9, L"Device Number"},
    {10, L"Bus Number"}, {11, L"Function Number"}, {12, L"Address"},
};

const StoreBootList kStoreBootLists[5] = {
    {L"bootfile", BootListFiles}, {L"bootsect", BootListDiskSectors}, {L"bootreg", BootListRegistry},
    {L"bootpci", BootListPci},    {L"bootsmbs", BootListSmbios},
};

void SetModelStoreHost(IModelStoreHost* host) { g_host = host; }
IModelStoreHost* GetModelStoreHost() { return g_host; }

std::wstring FormatStoreErrorText(const EGeneric& e) {
    std::wstring code, text;
    _value_t c = e["Code"], hr = e["HRESULT"];
    if (c.vtype() == _value_t::vt_int)
        code = format_wstring(L"0x%0.8X", c.as_int());
    else if (hr.vtype() == _value_t::vt_long)
        code = format_wstring(L"0x%0.8X", static_cast<unsigned>(hr.as_int64())); // hex, as the code above
    _value_t t = e["Text"], err = e["Error"];
    auto isText = [](const _value_t& v) {
        return v.vtype() == _value_t::vt_string || v.vtype() == _value_t::vt_wstring;
    };
    if (isText(t))
        text = t.as_wstring();
    else if (isText(err))
        text = err.as_wstring();
    return format_wstring(ModelText(IDS_MODEL_STORE_ERROR).c_str(), code.c_str(), text.c_str());
}

namespace {

// A name as a message shows it: each character that a line of text cannot show (control
// characters, a lone surrogate) as its code in square brackets.
std::wstring ShownName(const std::wstring& name) {
    std::wstring out;
    for (size_t i = 0; i < name.size(); ++i) {
        wchar_t c = name[i];
        bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
        if (pair) {
            out.append(name, i++, 2);
        } else if (c == L'\r') {
            out += L"[CR]";
        } else if (c == L'\n') {
            out += L"[LF]";
        } else if (c == L'\t') {
            out += L"[TAB]";
        } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
            out += format_wstring(c < 0x20 ? L"[0x%02X]" : L"[0x%04X]", static_cast<unsigned>(c));
        } else {
            out += c;
        }
    }
    return out;
}

// The message that names the objects the board lists of this save left out; empty when none.
std::wstring BootListRefusedText(const SmartPtr<IDatabase>& store) {
    const size_t kShown = 20;
    std::wstring names;
    size_t count = 0;
    auto e = store->GetBootListRefused()->Enumerate();
    while (e->HasItem()) {
        SmartPtr<StoreItem> item = e->Next();
        if (++count <= kShown)
            names += L"\n" + ShownName(item->GetName());
    }
    if (!count)
        return std::wstring();
    if (count > kShown)
        names += format_wstring(ModelText(IDS_MODEL_LISTS_MORE).c_str(), static_cast<unsigned>(count - kShown));
    return ModelText(IDS_MODEL_LISTS_LEFT_OUT) + names;
}

} // namespace

int CIChDataModel::ModelToStore(SmartPtr<IDatabase> store) {
    store->Clear();

    SmartPtr<ISubject> subjectItem;
    if (!m_Subjects.empty()) {
        CIChNode* subject = m_Subjects.front();
        IModelStoreHost* host = GetModelStoreHost();
        subjectItem = store->CreateSubject(subject->m_Name, subject->m_Description,
                                           host ? host->GetOsDescription() : std::wstring());
        subjectItem->SetTime(ItemTime(subject));
        store->SetLocalSubject(subjectItem);
    }

    int edition = 0;
    SmartPtr<IJob> jobItem;
    CIChJob* job = m_Jobs.empty() ? nullptr : static_cast<CIChJob*>(m_Jobs.front());
    if (job) {
        if (job->m_SubType == JobBoard) {
            jobItem = store->CreateJobVarno(job->m_Name, job->m_Description);
            edition = 1;
        } else if (job->m_SubType == JobSecondEdition) {
            jobItem = store->CreateJobVarnoZelvane(job->m_Name, job->m_Description);
            edition = 2;
        }
        if (jobItem) {
            jobItem->SetTime(ItemTime(job));
            if (subjectItem)
                for (CIChNode* m : m_Subjects.front()->m_Members)
                    if (m->m_Id == job->m_Id) {
                        subjectItem->AddJob(jobItem);
                        break;
                    }
        }
    } else {
        edition = MainModelEdition(GetModelStoreHost());
    }
    if (edition != 1 && edition != 2)
        return 0;

    std::map<NodeId, SmartPtr<IResource>> resources;
    for (CIChNode* node : m_Resources) {
        auto* r = static_cast<CIChResorce*>(node);
        if (edition == 1 && r->m_SubType != ResFile && r->m_SubType != ResDiskSector)
            continue;
        SmartPtr<IResource> item = CreateResourceItem(store, r);
        if (item)
            resources[r->m_Id] = item;
    }

    std::map<NodeId, SmartPtr<IResourceGroup>> groups;
    for (CIChNode* node : m_Groups) {
        auto* g = static_cast<CIChRGroup*>(node);
        SmartPtr<IResourceGroup> item = CreateGroupItem(store, g, edition);
        if (!item)
            continue;
        groups[g->m_Id] = item;
        for (CIChNode* m : g->m_Members) {
            if (m->GetType() != NodeTypeResource)
                continue;
            auto it = resources.find(m->m_Id);
            if (it != resources.end())
                AddResourceToGroup(item, it->second, static_cast<CIChResorce*>(m)->m_SubType, edition);
        }
    }
    resources.clear();

    std::map<NodeId, SmartPtr<ITask>> tasks;
    for (CIChNode* t : m_Tasks) {
        SmartPtr<ITask> item = edition == 2 ? store->CreateTaskEx(t->m_Name, t->m_Description, ItemTime(t))
                                            : store->CreateTask(t->m_Name, t->m_Description, ItemTime(t));
        if (!item)
            continue;
        for (CIChNode* m : t->m_Members) {
            if (m->GetType() != NodeTypeGroup)
                continue;
            auto it = groups.find(m->m_Id);
            if (it != groups.end())
                AddGroupToTask(item, it->second);
        }
        tasks[t->m_Id] = item;
    }

    if (jobItem) {
        for (CIChNode* m : job->m_Members) {
            if (m->GetType() == NodeTypeGroup) {
                auto it = groups.find(m->m_Id);
                if (it != groups.end())
                    AddGroupToJob(jobItem, it->second);
            } else if (m->GetType() == NodeTypeTask) {
                auto it = tasks.find(m->m_Id);
                if (it == tasks.end())
                    continue;
                if (auto z = item_cast<IJobVarnoZelvane>(jobItem))
                    z->AddTask(it->second);
                else if (auto v = item_cast<IJobVarno>(jobItem))
                    v->AddTask(it->second);
            }
        }
    }
    return 1;
}

int CIChDataModel::Save(long long* outValue) {
    IModelStoreHost* host = GetModelStoreHost();
    if (!host)
        return kStoreResultFailed;
    // Without a board folder the store and the board lists would land in whatever folder the
    // process happens to be in: the save stops with a message instead.
    if (host->GetStoreFolder().empty()) {
        host->ShowError(ModelText(IDS_MODEL_NO_LOCAL_DISK));
        if (outValue)
            *outValue = 0;
        return kStoreResultFailed;
    }
    SmartPtr<IDatabase> store = host->OpenStore();
    if (!store)
        return kStoreResultFailed;

    int result = 0;
    {
        CStoreCloser closer(host, store);
        try {
            if (ModelToStore(store)) {
                SmartPtr<IJob> jobItem;
                if (SmartPtr<ISubject> subject = store->GetLocalSubject()) {
                    auto jobs = subject->GetJobs();
                    if (jobs->GetCount() == 0)
                        jobs = subject->GetJobs2();
                    auto e = jobs->Enumerate();
                    if (e->HasItem())
                        jobItem = item_cast<IJob>(e->Next());
                }
                std::wstring folder = host->GetStoreFolder();
                if (folder.empty())
                    throw EGeneric("the board folder is gone");
                CreateDirectoryW(folder.c_str(), nullptr);
                folder += L"\\";
                for (const auto& list : kStoreBootLists) {
                    std::string names = as_string(folder + list.baseName + L".nam", 0);
                    std::string checks = as_string(folder + list.baseName + L".chk", 0);
                    store->WriteBootList(names.c_str(), checks.c_str(), list.code);
                    if (jobItem)
                        jobItem->WriteBootList(names.c_str(), checks.c_str(), list.code);
                }
                // Objects whose names a list line cannot hold are kept in the store and left out of
                // the lists; the save goes on and names them once it is committed.
                std::wstring leftOut = BootListRefusedText(store);
                store->Commit();
                if (!leftOut.empty())
                    host->ShowError(leftOut);
            } else {
                result = kStoreResultNoEdition; // nothing written: the model has no job of a known edition
            }
        } catch (const EGeneric& e) {
            host->ShowError(FormatStoreErrorText(e));
            result = e.result_code();
        } catch (...) {
            host->ShowError(ModelText(IDS_MODEL_UNKNOWN_ERROR));
            result = E_FAIL;
        }
        closer.Close();
    }

    if (result == 0) {
        CalcNextIds();
        GetSystemTimeAsFileTime(&m_ModifyTime);
        m_bModified = 0;
    } else if (outValue) {
        *outValue = 0;
    }
    return result;
}

int CIChDataModel::ExportToStore(const std::wstring& path) {
    m_LastStoreError.clear();
    IModelStoreHost* host = GetModelStoreHost();
    SmartPtr<IProvider> provider = host ? host->GetProvider() : SmartPtr<IProvider>();
    if (!provider)
        return E_FAIL;
    try {
        SmartPtr<IDatabase> store = provider->Open(as_string(path, 0).c_str());
        if (!store) {
            m_LastStoreError = provider->GetLastErrorText();
            return E_FAIL;
        }
        CFileCloser closer(provider, store);
        if (!ModelToStore(store))
            return kStoreResultNoEdition; // nothing committed: the model has no job of a known edition
        store->Commit();
        return 0;
    } catch (const EGeneric& e) {
        m_LastStoreError = e.text(); // the store's reason names the object that stops the export
        return e.result_code();
    } catch (...) {
        return E_FAIL;
    }
}
