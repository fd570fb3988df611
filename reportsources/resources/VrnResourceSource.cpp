// The workstation resource data source.
#include "VrnResourceSource.h"

#include <cwchar>
#include <vector>

#include "ReportReaders.h"
#include "VoRurod.h"
#include "resource.h"

using namespace Varno;

const wchar_t CVrnResourceSource::kStoreFileName[] = L"Localhost.vdb";

namespace {

#ifdef _WIN64
const wchar_t kDataSource[] = L"VrnResourceRpt64";
#else
const wchar_t kDataSource[] = L"VrnResourceRpt";
#endif
const wchar_t kReportKind[] = L"ResourceWS";

const int kFailed = (int)0x80004005;

bool Aborted(IKvReportAbort* abort) { return abort && abort->IsAborted(); }

// The store library is attached for exactly the span of one store step.
class CStoreLibraryScope {
public:
    CStoreLibraryScope() { Common::Attach(); }
    ~CStoreLibraryScope() { Common::Detach(); }
    CStoreLibraryScope(const CStoreLibraryScope&) = delete;
    CStoreLibraryScope& operator=(const CStoreLibraryScope&) = delete;
};

// Closes the opened store through its provider on every way out; nothing is committed.
class CStoreCloser {
public:
    CStoreCloser(const SmartPtr<IProvider>& provider, SmartPtr<IDatabase>& db) : m_provider(provider), m_db(db) {}
    ~CStoreCloser() {
        try {
            if (m_db && m_provider)
                m_provider->Close(m_db->GetHandle());
        } catch (...) {
        }
        m_db.Reset();
    }
    CStoreCloser(const CStoreCloser&) = delete;
    CStoreCloser& operator=(const CStoreCloser&) = delete;

private:
    const SmartPtr<IProvider>& m_provider;
    SmartPtr<IDatabase>& m_db;
};

// What the first item of a collection is, or empty.
SmartPtr<StoreItem> FirstItem(const SmartPtr<IItemCollection>& collection) {
    if (!collection)
        return SmartPtr<StoreItem>();
    SmartPtr<IItemEnumerator> items = collection->Enumerate();
    if (items && items->HasItem())
        return items->Next();
    return SmartPtr<StoreItem>();
}

// Whether the resource is under control: the flag of the first kind it is; none counts as off.
bool IsSwitchedOn(const SmartPtr<StoreItem>& item) {
    if (auto d = item_cast<IDirectory>(item))
        return d->IsControlled();
    if (auto f = item_cast<IFile>(item))
        return f->IsControlled();
    if (auto k = item_cast<IRegistryKey>(item))
        return k->IsControlled();
    if (auto v = item_cast<IRegistryValue>(item))
        return v->IsControlled();
    if (auto s = item_cast<IDiskSector>(item))
        return s->IsControlled();
    return false;
}

} // namespace

void CVrnResourceSource::Release() { delete this; }

std::wstring CVrnResourceSource::LoadText(UINT id) {
    wchar_t buffer[260] = {};
    if (LoadStringW(ResourcePluginModule(), id, buffer, 260) <= 0)
        return std::wstring();
    return buffer;
}

std::wstring CVrnResourceSource::GetStoreFolder() {
    wchar_t roots[260] = {};
    DWORD n = GetLogicalDriveStringsW(260, roots);
    if (n == 0 || n >= 260)
        return std::wstring();
    for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
        if (GetDriveTypeW(root) == DRIVE_FIXED)
            return std::wstring(root) + L"Varno";
    }
    return std::wstring();
}

std::wstring CVrnResourceSource::ExpandEnvironmentRefs(const std::wstring& text) {
    std::map<std::wstring, std::wstring> references;
    size_t pos = 0;
    for (;;) {
        size_t open = text.find(L'%', pos);
        if (open == std::wstring::npos)
            break;
        size_t close = text.find(L'%', open + 1);
        if (close == std::wstring::npos)
            break; // a '%' without its closing one: the rest stays as written
        std::wstring name = text.substr(open + 1, close - open - 1);
        if (!name.empty()) {
            SetLastError(ERROR_SUCCESS);
            DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
            if (size > 0) {
                std::vector<wchar_t> value(size + 1);
                DWORD got = GetEnvironmentVariableW(name.c_str(), value.data(), size + 1);
                if (got < size + 1)
                    references.emplace(text.substr(open, close - open + 1), std::wstring(value.data(), got));
            } else if (GetLastError() == ERROR_SUCCESS) {
                references.emplace(text.substr(open, close - open + 1), std::wstring());
            }
        }
        pos = close + 1;
    }
    if (references.empty())
        return text;
    std::wstring result = text;
    for (const auto& reference : references) {
        size_t at = result.find(reference.first);
        if (at != std::wstring::npos)
            result.replace(at, reference.first.size(), reference.second);
    }
    return result;
}

int CVrnResourceSource::CollectItems(const SmartPtr<IItemCollection>& collection, ResourceItemMap& map,
                                     IKvReportAbort* abort) {
    if (!collection)
        return 0;
    SmartPtr<IItemEnumerator> items = collection->Enumerate();
    unsigned counter = 0;
    while (items->HasItem()) {
        if (++counter % kAbortPollEvery == 0 && Aborted(abort))
            return 1;
        SmartPtr<StoreItem> item = items->Next();
        map.emplace((unsigned long long)item->GetId(), item);
    }
    return 0;
}

int CVrnResourceSource::CollectSection(IKvReportAbort* abort, const ResourceItemMap& map, SResourceSection& section) {
    section.bPresent = !map.empty();
    section.paths.clear();
    section.paths.reserve(map.size());
    unsigned counter = 0;
    for (const auto& entry : map) {
        if (++counter % kAbortPollEvery == 0 && Aborted(abort))
            return 1;
        const SmartPtr<StoreItem>& item = entry.second;
        if (!IsSwitchedOn(item))
            continue;
        std::wstring path = item->GetName();
        int kind = item->GetKind();
        if (kind == ResourceKindFile || kind == ResourceKindDirectory)
            path = ExpandEnvironmentRefs(path);
        // A name may hold any character (a registry name control characters too): the report
        // shows each one visibly instead of losing the whole response to it.
        section.paths.push_back(VisibleName(path));
    }
    return 0;
}

void CVrnResourceSource::WriteResourceSection(IReportWriter& writer, const SResourceSection& section) {
    if (!section.bPresent)
        return;
    writer.StartElement(L"VarnoCheck", ReportAttributes());
    writer.StartElement(L"Settings", ReportAttributes());
    writer.Element(L"Title", CSaxValue(LoadText(section.nTitleId)), ReportAttributes());
    writer.EndElement(L"Settings");
    writer.StartElement(L"JobResources", ReportAttributes());
    for (const std::wstring& path : section.paths) {
        writer.StartElement(L"JobResource", ReportAttributes(L"value", CSaxValue(path)));
        writer.EndElement(L"JobResource");
    }
    writer.EndElement(L"JobResources");
    writer.EndElement(L"VarnoCheck");
}

int CVrnResourceSource::CollectJobResources(const SmartPtr<ISubject>& subject, IKvReportAbort* abort,
                                            SResourceSection (&sections)[3]) {
    int r = 0;
    try {
        SmartPtr<StoreItem> job = FirstItem(subject->GetJobs());
        if (!job)
            job = FirstItem(subject->GetJobs2());

        ResourceItemMap groups;
        if (job) {
            SmartPtr<IJob> anyJob = item_cast<IJobVarnoZelvane>(job);
            if (!anyJob)
                anyJob = item_cast<IJobVarno>(job);
            if (anyJob) {
                r = CollectItems(anyJob->GetResourceGroups(), groups, abort);
                if (r == 0 && Aborted(abort))
                    r = 1;
                if (r == 0) {
                    SmartPtr<IItemCollection> tasks = anyJob->GetTasks();
                    SmartPtr<IItemEnumerator> each = tasks->Enumerate();
                    while (r == 0 && each->HasItem()) {
                        SmartPtr<ITask> task = item_cast<ITask>(each->Next());
                        if (task)
                            r = CollectItems(task->GetResourceGroups(), groups, abort);
                    }
                }
            }
        }

        ResourceItemMap maps[3];
        for (auto it = groups.begin(); r == 0 && it != groups.end(); ++it) {
            const SmartPtr<StoreItem>& group = it->second;
            ResourceItemMap* target = nullptr;
            if (item_cast<IFileGroup>(group) || item_cast<IDirectoryFileGroup>(group))
                target = &maps[0];
            else if (item_cast<IRegistryGroup>(group))
                target = &maps[1];
            else if (item_cast<IDiskSectorGroup>(group))
                target = &maps[2];
            // Hardware configuration groups are not part of this report.
            if (target)
                r = CollectItems(item_cast<IResourceGroup>(group)->GetResources(), *target, abort);
            if (r == 0 && Aborted(abort))
                r = 1;
        }
        groups.clear();

        const UINT titles[3] = {IDS_SECTION_FILES, IDS_SECTION_REGISTRY, IDS_SECTION_SECTORS};
        for (int i = 0; i < 3 && r == 0; ++i) {
            sections[i].nTitleId = titles[i];
            if (Aborted(abort))
                r = 1;
            else
                r = CollectSection(abort, maps[i], sections[i]);
        }
    } catch (const EGeneric&) {
        r = kFailed;
    }
    return r;
}

int CVrnResourceSource::WriteJobResources(IReportWriter& writer, const SmartPtr<ISubject>& subject,
                                          IKvReportAbort* abort) {
    SResourceSection sections[3];
    int r = CollectJobResources(subject, abort, sections);
    if (r == 0 && Aborted(abort))
        r = 1;
    if (r != 0)
        return r;
    writer.StartElement(L"ICheck", ReportAttributes());
    writer.StartElement(L"IntegrityCheck", ReportAttributes());
    writer.StartElement(L"VarnosCheck", ReportAttributes());
    for (const SResourceSection& section : sections)
        WriteResourceSection(writer, section);
    writer.EndElement(L"VarnosCheck");
    writer.EndElement(L"IntegrityCheck");
    writer.EndElement(L"ICheck");
    return 0;
}

int CVrnResourceSource::WriteStoreData(IReportWriter& writer, IKvReportAbort* abort) {
    if (Aborted(abort))
        return 1;
    CStoreLibraryScope attached;
    int r = 0;
    try {
        // A missing provider, folder, store or subject has no integrity section to give: the run
        // fails with the store's general failure.
        SmartPtr<IProvider> provider = Common::CreateProvider();
        if (!provider)
            return kFailed;
        // The store is only read: a missing folder or file fails the run and is never created.
        std::wstring folder = GetStoreFolder();
        if (folder.empty())
            return kFailed;
        std::wstring path = folder + L"\\" + kStoreFileName;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return kFailed;
        SmartPtr<IDatabase> db = provider->OpenExisting(as_string(path, CP_ACP).c_str());
        CStoreCloser closer(provider, db);
        if (!db)
            return kFailed;
        SmartPtr<ISubject> subject = db->GetLocalSubject();
        if (!subject)
            return kFailed;
        // Both texts are read before the element starts, so that a failing read cannot leave a
        // half-written WorkstationInfo behind.
        std::wstring name = VisibleName(subject->GetName());
        std::wstring os = subject->GetOsDescription();
        writer.StartElement(L"WorkstationInfo", ReportAttributes());
        writer.Element(L"Workstation", CSaxValue(name), ReportAttributes(L"serialNumber", L"1"));
        writer.Element(L"OSType", CSaxValue(os), ReportAttributes());
        writer.EndElement(L"WorkstationInfo");

        // Everything of the integrity section is read (and the abort polled) before any of it is
        // written, so a failure or an abort leaves no partial section in the response.
        r = WriteJobResources(writer, subject, abort);
    } catch (const EGeneric&) {
        r = kFailed;
    } catch (const KvBase::CVoRurod&) {
        r = kFailed;
    } catch (...) {
        r = kFailed;
    }
    return r;
}

int CVrnResourceSource::Build(const wchar_t* requestPath, const wchar_t* responsePath, IKvReportAbort* abort) {
    redirect_structured_exceptions structured;
    int r = 0;
    try {
        RequestFormat format;
        TSAX2DocumentReader<RequestFormat> reader(format, requestPath);
        CReportWriter writer(responsePath);
        WriteResponseHead(writer, format, kDataSource, kReportKind);
        r = WriteStoreData(writer, abort);
        WriteResponseTail(writer, kReportKind, r);
    } catch (const KvBase::CVoRurod&) {
        r = kFailed;
    } catch (...) {
        r = kFailed;
    }
    if (Aborted(abort))
        return 1;
    return r;
}
