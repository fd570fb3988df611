// The store provider: interface layout, store file round trip, transactions, bad files, commits
// interrupted by a killed process, and the validity of the objects that resources describe.
#include "VcoreTestUtil.h"

#include <msxml2.h>

#include <cstddef>
#include <cstring>
#include <thread>
#include <vector>

using namespace Varno;
using vtest::Narrow;

namespace {

// The place of a virtual operation in its interface's table (pointer-to-member form of the
// Itanium C++ ABI: 1 + the byte offset in the table).
template <class M>
long Slot(M pm) {
    ptrdiff_t raw[2];
    static_assert(sizeof(M) == sizeof raw, "pointer to member of the Itanium ABI");
    std::memcpy(raw, &pm, sizeof raw);
    return static_cast<long>((raw[0] - 1) / static_cast<ptrdiff_t>(sizeof(void*)));
}

FILETIME Ft(unsigned long long v) {
    FILETIME f;
    f.dwLowDateTime = static_cast<DWORD>(v);
    f.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return f;
}

_time_t T(unsigned long long v) { return _time_t::mktime(Ft(v), 1); }

struct Store {
    SmartPtr<IProvider> provider = Common::CreateProvider();
    SmartPtr<IDatabase> db;
    explicit Store(const std::wstring& path) {
        db = provider->Open(Narrow(path).c_str());
        if (!db)
            ADD_FAILURE() << "open failed: " << as_string(provider->GetLastErrorText(), CP_UTF8);
    }
    void Close() {
        if (db)
            provider->Close(db->GetHandle());
        db.Reset();
    }
    ~Store() { Close(); }
};

} // namespace

// The places that other modules built against this header rely on (the workstation-resource
// plug-in calls them by place).
TEST(VCoreLayout, OperationsKeepTheirPlaces) {
    EXPECT_EQ(0, Slot(&StoreItem::GetId));
    EXPECT_EQ(5, Slot(&StoreItem::GetKind));
    EXPECT_EQ(6, Slot(&StoreItem::GetName));
    EXPECT_EQ(2, Slot(&IProvider::Close));
    EXPECT_EQ(4, Slot(&IProvider::Open));
    EXPECT_EQ(5, Slot(&IProvider::OpenExisting));
    EXPECT_EQ(6, Slot(&IProvider::SetReadWatcher));
    EXPECT_EQ(2, Slot(&IDatabase::GetHandle));
    EXPECT_EQ(38, Slot(&IDatabase::GetLocalSubject));
    EXPECT_EQ(40, Slot(&IDatabase::GetBootListRefused));
    EXPECT_EQ(12, Slot(&ISubject::GetOsDescription));
    EXPECT_EQ(14, Slot(&ISubject::GetJobs));
    EXPECT_EQ(15, Slot(&ISubject::GetJobs2));
    EXPECT_EQ(2, Slot(&IItemCollection::Enumerate));
    EXPECT_EQ(0, Slot(&IItemEnumerator::Next));
    EXPECT_EQ(2, Slot(&IItemEnumerator::HasItem));
    EXPECT_EQ(14, Slot(&IJobVarno::GetResourceGroups));
    EXPECT_EQ(14, Slot(&IJobVarnoZelvane::GetResourceGroups));
    EXPECT_EQ(13, Slot(&IJobVarno::GetTasks));
    EXPECT_EQ(12, Slot(&ITask::GetResourceGroups));
    EXPECT_EQ(12, Slot(&IResourceGroup::GetResources));
    EXPECT_EQ(12, Slot(&IDirectory::IsControlled));
    EXPECT_EQ(12, Slot(&IFile::IsControlled));
    EXPECT_EQ(12, Slot(&IRegistryKey::IsControlled));
    EXPECT_EQ(12, Slot(&IRegistryValue::IsControlled));
    EXPECT_EQ(12, Slot(&IDiskSector::IsControlled));
}

TEST(VCoreSmartPtr, CopiesShareAndReleaseTheObject) {
    SmartPtr<IProvider> p = Common::CreateProvider();
    ASSERT_TRUE(p);
    EXPECT_EQ(1, p->RefCount());
    {
        SmartPtr<IProvider> q = p;
        EXPECT_EQ(2, p->RefCount());
        SmartPtr<IProvider> r = std::move(q);
        EXPECT_TRUE(q.IsEmpty());
        EXPECT_EQ(2, p->RefCount());
    }
    EXPECT_EQ(1, p->RefCount());
    SmartPtr<IProvider> empty;
    EXPECT_THROW(empty->GetVersion(), EGeneric);
}

// Everything a store holds comes back from the file exactly: every kind, every field, odd texts,
// exact FILETIMEs, device values of every type, links in order, the local subject and the IDs.
TEST(VCoreStore, EveryItemAndFieldRoundTripsThroughTheFile) {
    std::wstring dir = vtest::ScratchDir(L"roundtrip");
    std::wstring path = dir + L"\\Localhost.vdb";
    const std::wstring odd = L"  a<b>&\"c' \x0434\x0438\x0441\x043a \xD83D\xDE00 ";
    const std::wstring control = L"line1\r\nline2\tend\x01";
    const unsigned long long t0 = 0x01D9A1B2C3D4E5F7ULL;
    long long fileId, regValueId, deviceId, fieldId, subjectId;
    {
        Store s(path);
        ASSERT_TRUE(s.db);
        auto subject = s.db->CreateSubject(L"WS-01", control, L"Windows 10 Pro, 64-bit");
        subject->SetTime(T(t0));
        s.db->SetLocalSubject(subject);
        subjectId = subject->GetId();
        auto job = s.db->CreateJobVarnoZelvane(L"Задание", odd);
        job->SetTime(T(t0 + 1));
        subject->AddJob(job);
        auto file = s.db->CreateFile(L"%SystemRoot%\\system32\\a b.dll", T(t0 + 2), true, true);
        fileId = file->GetId();
        auto dir1 = s.db->CreateDirectory(L"C:\\Program Files\\X", T(t0 + 3), false);
        auto key = s.db->CreateRegistryKey(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", T(t0 + 4), true);
        auto val = s.db->CreateRegistryValue(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", control, T(t0 + 5), true);
        regValueId = val->GetId();
        auto sector = s.db->CreateDiskSector(L"MBR", L"Диск 0", 3, 0x123456789LL, T(t0 + 6), true);
        auto dev = s.db->CreateDevice(L"PCI device", odd, T(t0 + 7), true);
        deviceId = dev->GetId();
        auto d = checked_cast<IDevice>(dev);
        d->SetProperty(0, _value_t(L"PCI\\VEN_8086&DEV_1234"));
        d->SetProperty(1, _value_t(0x8086));
        d->SetProperty(2, _value_t(static_cast<unsigned long>(0xFFFFFFF0UL)));
        d->SetProperty(3, _value_t(static_cast<long>(-5)));
        d->SetProperty(4, _value_t(0x7FFFFFFFFFFFLL));
        d->SetProperty(5, _value_t(true));
        d->SetProperty(8, _value_t(std::string("narrow text")));
        d->SetProperty(9, _value_t());
        d->SetProperty(12, _value_t(control));
        SmbiosTableDescriptor tbl = {17, 40, 0x1100};
        auto table = s.db->CreateSMBIOSTable(L"Memory device", tbl, T(t0 + 8), false);
        auto field = s.db->CreateSMBIOSField(L"Size", 2, 2, 12, tbl, T(t0 + 9), true);
        fieldId = field->GetId();

        auto fg = checked_cast<IDirectoryFileGroup>(s.db->CreateDirectoryFileGroup(L"Files", L"", T(t0 + 10)));
        fg->AddFile(checked_cast<IFile>(file));
        fg->AddDirectory(checked_cast<IDirectory>(dir1));
        fg->AddFile(checked_cast<IFile>(file)); // kept once
        auto rg = checked_cast<IRegistryGroup>(s.db->CreateRegistryGroup(L"Reg", odd, T(t0 + 11)));
        rg->AddRegistryValue(checked_cast<IRegistryValue>(val));
        rg->AddRegistryKey(checked_cast<IRegistryKey>(key));
        auto sg = checked_cast<IDiskSectorGroup>(s.db->CreateDiskSectorGroup(L"Sectors", L"", T(t0 + 12)));
        sg->AddDiskSector(checked_cast<IDiskSector>(sector));
        auto hg =
            checked_cast<IHardwareConfigurationGroup>(s.db->CreateHardwareConfigurationGroup(L"HW", L"", T(t0 + 13)));
        hg->AddSMBIOSField(checked_cast<ISMBIOSField>(field));
        hg->AddDevice(d);
        hg->AddSMBIOSTable(checked_cast<ISMBIOSTable>(table));
        auto task = checked_cast<ITaskEx>(s.db->CreateTaskEx(L"Task", control, T(t0 + 14)));
        task->AddRegistryGroup(rg);
        task->AddHardwareConfigurationGroup(hg);
        auto z = checked_cast<IJobVarnoZelvane>(job);
        z->AddDirectoryFileGroup(fg);
        z->AddDiskSectorGroup(sg);
        z->AddTask(task);
        s.db->Commit();
    }

    Store s(path);
    ASSERT_TRUE(s.db);
    EXPECT_EQ(1, s.db->GetVersion());
    auto subject = s.db->GetLocalSubject();
    ASSERT_TRUE(subject);
    EXPECT_EQ(subjectId, subject->GetId());
    EXPECT_EQ(control, subject->GetDescription());
    EXPECT_EQ(L"Windows 10 Pro, 64-bit", subject->GetOsDescription());
    EXPECT_EQ(t0, static_cast<unsigned long long>(subject->GetTime().value()));
    EXPECT_EQ(0, subject->GetJobs()->GetCount());
    auto jobs = vtest::Items(subject->GetJobs2());
    ASSERT_EQ(1u, jobs.size());
    EXPECT_EQ(odd, jobs[0]->GetDescription());
    EXPECT_EQ(JobKindVarnoZelvane, jobs[0]->GetKind());
    auto z = checked_cast<IJobVarnoZelvane>(jobs[0]);
    auto groups = vtest::Items(z->GetResourceGroups());
    ASSERT_EQ(2u, groups.size());
    EXPECT_EQ(L"Files", groups[0]->GetName());
    EXPECT_EQ(GroupKindDirectoryFile, groups[0]->GetKind());
    EXPECT_EQ(GroupKindDiskSector, groups[1]->GetKind());
    auto files = vtest::Items(checked_cast<IResourceGroup>(groups[0])->GetResources());
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(fileId, files[0]->GetId());
    auto file = checked_cast<IFile>(files[0]);
    EXPECT_EQ(L"%SystemRoot%\\system32\\a b.dll", file->GetName());
    EXPECT_EQ(L"a b.dll", file->GetDescription());
    EXPECT_TRUE(file->IsExecutable());
    EXPECT_TRUE(file->IsControlled());
    EXPECT_EQ(t0 + 2, static_cast<unsigned long long>(file->GetTime().value()));
    EXPECT_FALSE(checked_cast<IDirectory>(files[1])->IsControlled());
    EXPECT_EQ(ResourceKindDirectory, files[1]->GetKind());

    auto tasks = vtest::Items(z->GetTasks());
    ASSERT_EQ(1u, tasks.size());
    EXPECT_EQ(control, tasks[0]->GetDescription());
    EXPECT_TRUE(item_cast<ITaskEx>(tasks[0]));
    auto tgroups = vtest::Items(checked_cast<ITask>(tasks[0])->GetResourceGroups());
    ASSERT_EQ(2u, tgroups.size());
    auto regs = vtest::Items(checked_cast<IResourceGroup>(tgroups[0])->GetResources());
    ASSERT_EQ(2u, regs.size());
    auto val = checked_cast<IRegistryValue>(regs[0]);
    EXPECT_EQ(regValueId, val->GetId());
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", val->GetKeyPath());
    EXPECT_EQ(control, val->GetValueName());
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\" + control, val->GetName());
    EXPECT_EQ(control, val->GetDescription());

    auto hw = vtest::Items(checked_cast<IResourceGroup>(tgroups[1])->GetResources());
    ASSERT_EQ(3u, hw.size());
    EXPECT_EQ(fieldId, hw[0]->GetId());
    auto field = checked_cast<ISMBIOSField>(hw[0]);
    EXPECT_EQ(17u, field->GetTableType());
    EXPECT_EQ(40u, field->GetTableLength());
    EXPECT_EQ(0x1100u, field->GetTableHandle());
    EXPECT_EQ(2u, field->GetFieldType());
    EXPECT_EQ(12u, field->GetFieldOffset());
    EXPECT_EQ(2u, field->GetFieldLength());
    auto dev = checked_cast<IDevice>(hw[1]);
    EXPECT_EQ(deviceId, dev->GetId());
    EXPECT_EQ(odd, dev->GetDescription());
    EXPECT_EQ(_value_t(L"PCI\\VEN_8086&DEV_1234"), dev->GetProperty(0));
    EXPECT_EQ(_value_t(0x8086), dev->GetProperty(1));
    EXPECT_EQ(_value_t(static_cast<unsigned long>(0xFFFFFFF0UL)), dev->GetProperty(2));
    EXPECT_EQ(_value_t(static_cast<long>(-5)), dev->GetProperty(3));
    EXPECT_EQ(_value_t(0x7FFFFFFFFFFFLL), dev->GetProperty(4));
    EXPECT_EQ(_value_t(true), dev->GetProperty(5));
    EXPECT_EQ(_value_t(std::string("narrow text")), dev->GetProperty(8));
    EXPECT_TRUE(dev->GetProperty(9).empty());
    EXPECT_TRUE(dev->GetProperty(10).empty());
    EXPECT_EQ(_value_t(control), dev->GetProperty(12));
    EXPECT_FALSE(checked_cast<ISMBIOSTable>(hw[2])->IsControlled());

    auto sectors = vtest::Items(checked_cast<IResourceGroup>(groups[1])->GetResources());
    ASSERT_EQ(1u, sectors.size());
    auto sector = checked_cast<IDiskSector>(sectors[0]);
    EXPECT_EQ(3, sector->GetDisk());
    EXPECT_EQ(0x123456789LL, sector->GetSector());
    EXPECT_EQ(L"Диск 0", sector->GetDescription());

    EXPECT_EQ(8, s.db->GetResources()->GetCount());
    EXPECT_EQ(4, s.db->GetResourceGroups()->GetCount());
    EXPECT_EQ(1, s.db->GetTasks()->GetCount());
    EXPECT_EQ(1, s.db->GetJobs()->GetCount());
    EXPECT_EQ(fileId, s.db->FindItem(fileId)->GetId());
    EXPECT_FALSE(s.db->FindItem(99999));
}

// The file is the model-file format that the import check reads: root "version" of at most 10 and
// the sections "Resources", "RGroups" and "Tasks".
TEST(VCoreStore, ModelFileHasVersionAndSections) {
    std::wstring path = vtest::ScratchDir(L"format") + L"\\model.xml";
    {
        Store s(path);
        ASSERT_TRUE(s.db);
        s.db->CreateFile(L"C:\\a.txt", T(1), true, false);
        s.db->Commit();
    }
    CoInitialize(nullptr);
    {
        CLSID clsid;
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid));
        IXMLDOMDocument* doc = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, (void**)&doc));
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(path.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        doc->put_async(VARIANT_FALSE);
        EXPECT_EQ(S_OK, doc->load(v, &ok));
        EXPECT_EQ(VARIANT_TRUE, ok);
        IXMLDOMElement* root = nullptr;
        ASSERT_EQ(S_OK, doc->get_documentElement(&root));
        VARIANT ver;
        VariantInit(&ver);
        BSTR name = SysAllocString(L"version");
        ASSERT_EQ(S_OK, root->getAttribute(name, &ver));
        ASSERT_EQ(VT_BSTR, ver.vt);
        int version = _wtoi(ver.bstrVal);
        EXPECT_GE(version, 1);
        EXPECT_LE(version, 10);
        for (const wchar_t* section : {L"Resources", L"RGroups", L"Tasks"}) {
            BSTR q = SysAllocString(section);
            IXMLDOMNode* node = nullptr;
            EXPECT_EQ(S_OK, root->selectSingleNode(q, &node)) << section;
            if (node)
                node->Release();
            SysFreeString(q);
        }
        SysFreeString(name);
        VariantClear(&ver);
        root->Release();
        VariantClear(&v);
        doc->Release();
    }
    CoUninitialize();
}

TEST(VCoreStore, OnlyCommittedWorkIsKept) {
    std::wstring path = vtest::ScratchDir(L"transactions") + L"\\Localhost.vdb";
    {
        Store s(path);
        ASSERT_TRUE(s.db);
        for (int i = 0; i < 3; ++i)
            s.db->CreateFile(L"C:\\old" + std::to_wstring(i), T(5), true, false);
        s.db->Commit();
        EXPECT_FALSE(s.db->IsModified());
        s.db->CreateFile(L"C:\\uncommitted", T(5), true, false);
        EXPECT_TRUE(s.db->IsModified());
    }
    {
        Store s(path);
        ASSERT_TRUE(s.db);
        EXPECT_EQ(3, s.db->GetResources()->GetCount());
        auto kept = vtest::Items(s.db->GetResources());
        s.db->Clear();
        EXPECT_EQ(0, s.db->GetItemCount());
        auto f = s.db->CreateFile(L"C:\\new", T(6), true, false);
        EXPECT_EQ(1, f->GetId()); // IDs start again after Clear
        // Items of the cleared content are no longer the store's: they cannot be linked or changed.
        auto g = checked_cast<IFileGroup>(s.db->CreateFileGroup(L"G", L"", T(6)));
        EXPECT_THROW(g->AddFile(checked_cast<IFile>(kept[0])), EGeneric);
        EXPECT_THROW(checked_cast<IFile>(kept[0])->SetControlled(false), EGeneric);
        s.db->Commit();
    }
    {
        Store s(path);
        ASSERT_TRUE(s.db);
        auto all = vtest::Items(s.db->GetResources());
        ASSERT_EQ(1u, all.size());
        EXPECT_EQ(L"C:\\new", all[0]->GetName());
        // Rollback drops what was done since the commit.
        s.db->CreateFile(L"C:\\dropped", T(7), true, false);
        checked_cast<IFile>(all[0])->SetControlled(false);
        s.db->Rollback();
        auto again = vtest::Items(s.db->GetResources());
        ASSERT_EQ(1u, again.size());
        EXPECT_TRUE(checked_cast<IFile>(again[0])->IsControlled());
        // A closed store refuses writes; its items refuse changes.
        auto item = checked_cast<IFile>(again[0]);
        SmartPtr<IDatabase> keep = s.db;
        s.Close();
        EXPECT_THROW(keep->Commit(), EGeneric);
        EXPECT_THROW(keep->CreateFile(L"C:\\late", T(1), true, false), EGeneric);
        EXPECT_THROW(item->SetControlled(false), EGeneric);
        EXPECT_EQ(L"C:\\new", item->GetName()); // reading still works
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((path + L".new").c_str()));
}

namespace {

// A small store of every link kind: the local subject, its job, a group of two files and a device
// with a property in a task of the job.
void BuildLinkedStore(const SmartPtr<IDatabase>& db, const std::wstring& fileName) {
    auto subject = db->CreateSubject(L"WS", L"", L"Windows");
    subject->SetTime(T(1));
    db->SetLocalSubject(subject);
    auto job = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"J", L""));
    job->SetTime(T(2));
    subject->AddJob(job);
    auto files = checked_cast<IDirectoryFileGroup>(db->CreateDirectoryFileGroup(L"F", L"", T(3)));
    files->AddFile(checked_cast<IFile>(db->CreateFile(L"C:\\a.dll", T(4), true, false)));
    files->AddFile(checked_cast<IFile>(db->CreateFile(fileName, T(5), false, true)));
    job->AddDirectoryFileGroup(files);
    auto device = checked_cast<IDevice>(db->CreateDevice(L"D", L"PCI", T(6), true));
    device->SetProperty(1, _value_t(L"8086"));
    auto hardware = checked_cast<IHardwareConfigurationGroup>(db->CreateHardwareConfigurationGroup(L"H", L"", T(7)));
    hardware->AddDevice(device);
    auto task = checked_cast<ITaskEx>(db->CreateTaskEx(L"T", L"", T(8)));
    task->AddHardwareConfigurationGroup(hardware);
    job->AddTask(task);
}

// Every item of a store with its values and the IDs of its members.
std::wstring Describe(const SmartPtr<IDatabase>& db) {
    std::wstring out = L"local " + std::to_wstring(db->GetLocalSubject() ? db->GetLocalSubject()->GetId() : 0) + L"\n";
    auto ids = [](const SmartPtr<IItemCollection>& c) {
        std::wstring s;
        for (const auto& m : vtest::Items(c))
            s += L" " + std::to_wstring(m->GetId());
        return s;
    };
    for (const auto& c :
         {db->GetSubjects(), db->GetJobs(), db->GetTasks(), db->GetResourceGroups(), db->GetResources()})
        for (const auto& i : vtest::Items(c)) {
            out += std::to_wstring(i->GetId()) + L" " + i->GetKindName() + L" " + i->GetName() + L" [" +
                   i->GetDescription() + L"] " + std::to_wstring(i->GetTime().value());
            if (auto r = item_cast<IResource>(i))
                out += r->IsControlled() ? L" controlled" : L"";
            if (auto f = item_cast<IFile>(i))
                out += f->IsExecutable() ? L" executable" : L"";
            if (auto d = item_cast<IDevice>(i))
                out += L" " + d->GetProperty(1).as_wstring();
            if (auto s = item_cast<ISubject>(i))
                out += L" jobs" + ids(s->GetJobs2());
            if (auto j = item_cast<IJobVarnoZelvane>(i))
                out += L" groups" + ids(j->GetResourceGroups()) + L" tasks" + ids(j->GetTasks());
            if (auto t = item_cast<ITask>(i))
                out += L" groups" + ids(t->GetResourceGroups());
            if (auto g = item_cast<IResourceGroup>(i))
                out += L" members" + ids(g->GetResources());
            out += L"\n";
        }
    return out;
}

} // namespace

// A provider that opens again the store file it last committed or read, while the file stands as
// it was, takes the items from memory: they are what a read of the file gives, with their links,
// and they are the new store's (the closed store's items stay closed). A commit of what the file
// already says leaves the file, commit time and all; a file written meanwhile by someone else is
// read, and the next commit writes it.
TEST(VCoreStore, StoreOpenedAgainIsTheFileAsItStands) {
    const std::wstring path = vtest::ScratchDir(L"known") + L"\\Localhost.vdb";
    auto provider = Common::CreateProvider();
    auto open = [&] {
        auto db = provider->Open(Narrow(path).c_str());
        EXPECT_TRUE(db);
        return db;
    };
    auto asRead = [&] { return Describe(Store(path).db); }; // a provider of its own reads the file
    SmartPtr<StoreItem> closedItem;
    {
        auto db = open();
        ASSERT_TRUE(db);
        BuildLinkedStore(db, L"C:\\b.dll");
        db->Commit();
        closedItem = vtest::Items(db->GetResources())[0];
        provider->Close(db->GetHandle());
    }
    const std::string written = vtest::ReadBytes(path);
    const std::wstring expected = asRead();
    ASSERT_NE(std::wstring::npos, expected.find(L"members 4 5")) << as_string(expected, CP_UTF8);
    {
        auto db = open();
        ASSERT_TRUE(db);
        EXPECT_EQ(expected, Describe(db));
        EXPECT_FALSE(db->IsModified());
        EXPECT_THROW(checked_cast<IFile>(closedItem)->SetControlled(false), EGeneric);
        auto group = checked_cast<IDirectoryFileGroup>(vtest::Items(db->GetResourceGroups())[0]);
        group->AddFile(checked_cast<IFile>(db->CreateFile(L"C:\\c.dll", T(9), true, false)));
        checked_cast<IFile>(vtest::Items(db->GetResources())[0])->SetControlled(false);
        provider->Close(db->GetHandle()); // not committed: the file and what is known of it stay
    }
    for (const wchar_t* second : {L"C:\\b.dll", L"C:\\B.dll"}) {
        auto db = open();
        ASSERT_TRUE(db);
        EXPECT_EQ(expected, Describe(db));
        db->Clear();
        BuildLinkedStore(db, second);
        db->Commit();
        provider->Close(db->GetHandle());
        if (second[3] == L'b')
            EXPECT_EQ(written, vtest::ReadBytes(path)); // the same content: not written again
        else
            EXPECT_NE(written, vtest::ReadBytes(path)); // one letter of one name: written
        EXPECT_EQ(asRead(), Describe(open()));
    }
    {
        Store other(path);
        ASSERT_TRUE(other.db);
        other.db->Clear();
        other.db->SetLocalSubject(other.db->CreateSubject(L"OTHER", L"", L""));
        other.db->Commit();
    }
    const std::string others = vtest::ReadBytes(path);
    auto db = open();
    ASSERT_TRUE(db);
    EXPECT_EQ(1, db->GetItemCount());
    EXPECT_EQ(L"OTHER", db->GetLocalSubject()->GetName());
    db->Clear();
    BuildLinkedStore(db, L"C:\\b.dll");
    db->Commit();
    provider->Close(db->GetHandle());
    EXPECT_NE(others, vtest::ReadBytes(path));
    EXPECT_EQ(expected.substr(expected.find(L'\n')), asRead().substr(asRead().find(L'\n')));
}

TEST(VCoreStore, ItemsOfOtherStoresAndWrongKindsAreRefused) {
    std::wstring dir = vtest::ScratchDir(L"refusals");
    Store a(dir + L"\\a.vdb"), b(dir + L"\\b.vdb");
    ASSERT_TRUE(a.db && b.db);
    auto fa = a.db->CreateFile(L"C:\\x", T(1), true, false);
    auto gb = checked_cast<IFileGroup>(b.db->CreateFileGroup(L"G", L"", T(1)));
    EXPECT_THROW(gb->AddFile(checked_cast<IFile>(fa)), EGeneric);
    EXPECT_THROW(b.db->SetLocalSubject(a.db->CreateSubject(L"S", L"", L"")), EGeneric);
    try {
        checked_cast<IRegistryKey>(fa);
        ADD_FAILURE() << "the cast did not throw";
    } catch (const EBadCastException& e) {
        EXPECT_EQ(static_cast<long>(E_NOINTERFACE), e["HRESULT"].as_int64());
    }
    EXPECT_FALSE(item_cast<IRegistryKey>(fa));
    EXPECT_TRUE(item_cast<IResource>(fa));
    EXPECT_TRUE(item_cast<StoreItem>(fa));
    EXPECT_FALSE(checked_cast<IFile>(SmartPtr<IResource>())); // an empty item stays empty
    // The unnamed registry value: the name ends with the key's backslash, the description is the token.
    auto def = a.db->CreateRegistryValue(L"HKEY_CURRENT_USER\\X\\", L"", T(1), true);
    EXPECT_EQ(L"HKEY_CURRENT_USER\\X\\", def->GetName());
    EXPECT_EQ(L"{C51BADB1-F859-4c8e-B5F7-CD2223F03917}", def->GetDescription());
    EXPECT_EQ(1, a.provider->GetOpenCount());
}

// A file that is not a store, a store of a newer format, a folder, no path, a missing folder:
// Open gives nothing, says why, and leaves the file as it was.
TEST(VCoreStore, BadFilesDoNotOpenAndAreLeftAlone) {
    std::wstring dir = vtest::ScratchDir(L"badfiles");
    struct Case {
        const wchar_t* file;
        const char* content;
    } cases[] = {
        {L"garbage.vdb", "this is not XML"},
        {L"torn.vdb",
         "<?xml version=\"1.0\"?><VarnoStore version=\"1\" nextId=\"3\"><Resources><Resource id=\"1\" kind=\"1\""},
        {L"newer.vdb", "<?xml version=\"1.0\"?><VarnoStore version=\"11\"><Resources/><RGroups/><Tasks/></VarnoStore>"},
        {L"other.vdb", "<?xml version=\"1.0\"?><Report version=\"1\"/>"},
        {L"badnum.vdb", "<?xml version=\"1.0\"?><VarnoStore version=\"1\"><Resources><Resource id=\"x\" "
                        "kind=\"1\"/></Resources></VarnoStore>"},
        {L"twice.vdb", "<?xml version=\"1.0\"?><VarnoStore version=\"1\"><Resources><Resource id=\"1\" kind=\"1\"/>"
                       "<Resource id=\"1\" kind=\"1\"/></Resources></VarnoStore>"},
    };
    auto provider = Common::CreateProvider();
    for (const auto& c : cases) {
        std::wstring path = dir + L"\\" + c.file;
        vtest::WriteBytes(path, c.content);
        EXPECT_FALSE(provider->Open(Narrow(path).c_str())) << Narrow(c.file);
        EXPECT_FALSE(provider->GetLastErrorText().empty());
        EXPECT_EQ(c.content, vtest::ReadBytes(path)) << Narrow(c.file);
    }
    // The reason keeps the file's own characters (a narrowed text read back in another code page
    // would reach the error dialog garbled).
    std::wstring cyrillic = dir + L"\\cyrillic.vdb";
    vtest::WriteBytes(cyrillic, "<?xml version=\"1.0\"?><VarnoStore version=\"1\"><Resources>"
                                "<Resource id=\"\xD0\x96\xD1\x83\" kind=\"1\"/></Resources></VarnoStore>");
    EXPECT_FALSE(provider->Open(Narrow(cyrillic).c_str()));
    EXPECT_NE(std::wstring::npos, provider->GetLastErrorText().find(L"is not a number: \u0416\u0443"))
        << as_string(provider->GetLastErrorText(), CP_UTF8);
    EXPECT_FALSE(provider->Open(""));
    EXPECT_FALSE(provider->Open(nullptr));
    EXPECT_FALSE(provider->Open(Narrow(dir).c_str()));
    EXPECT_FALSE(provider->Open(Narrow(dir + L"\\missing\\Localhost.vdb").c_str()));
    EXPECT_EQ(0, provider->GetOpenCount());

    // OpenExisting never creates: a missing file stays missing, an existing store opens.
    std::wstring absent = dir + L"\\absent.vdb";
    EXPECT_FALSE(provider->OpenExisting(Narrow(absent).c_str()));
    EXPECT_NE(std::wstring::npos, provider->GetLastErrorText().find(L"absent.vdb"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(absent.c_str()));
    EXPECT_FALSE(provider->OpenExisting(Narrow(dir + L"\\garbage.vdb").c_str()));
    auto created = provider->Open(Narrow(absent).c_str());
    ASSERT_TRUE(created);
    provider->Close(created->GetHandle());
    std::string bytes = vtest::ReadBytes(absent);
    auto existing = provider->OpenExisting(Narrow(absent).c_str());
    ASSERT_TRUE(existing) << as_string(provider->GetLastErrorText(), CP_UTF8);
    provider->Close(existing->GetHandle());
    EXPECT_EQ(bytes, vtest::ReadBytes(absent));
    EXPECT_EQ(0, provider->GetOpenCount());

    // An older format version up to 10 is read; a link to an item that is not there is left out;
    // IDs with the top bit set (the board's own items) are read as they are.
    std::wstring v10 = dir + L"\\v10.vdb";
    vtest::WriteBytes(
        v10, "<?xml version=\"1.0\"?><VarnoStore version=\"10\"><Resources>"
             "<Resource id=\"4\" kind=\"1\" name=\"C:\\a\" time=\"7\"/>"
             "<Resource id=\"-9223372036854775807\" kind=\"1\" name=\"C:\\neg\" time=\"7\"/></Resources><RGroups>"
             "<Group id=\"9\" kind=\"1\" name=\"G\"><Member id=\"4\"/><Member id=\"77\"/>"
             "<Member id=\"-9223372036854775807\"/></Group>"
             "</RGroups><Tasks/></VarnoStore>");
    auto db = provider->Open(Narrow(v10).c_str());
    ASSERT_TRUE(db) << as_string(provider->GetLastErrorText(), CP_UTF8);
    EXPECT_EQ(10, db->GetVersion());
    auto g = vtest::Items(db->GetResourceGroups());
    ASSERT_EQ(1u, g.size());
    EXPECT_EQ((std::vector<long long>{4, -9223372036854775807LL}),
              vtest::Ids(checked_cast<IResourceGroup>(g[0])->GetResources()));
    EXPECT_EQ(10, db->CreateFile(L"C:\\b", T(1), true, false)->GetId());
    provider->Close(db->GetHandle());
}

namespace {

// Keeps the IDs of the resources it is told of.
struct RecordingWatcher final : IStoreReadWatcher {
    std::vector<long long> ids;
    void ResourceRead(const SmartPtr<IResource>& resource) override { ids.push_back(resource->GetId()); }
};

} // namespace

// The watcher of a thread is told of each resource its opens read, in the file's order, and of
// nothing else: not of the opens of another thread, not after it is taken away, not of what a new
// store holds. An open that fails half-way has told of the resources read before.
TEST(VCoreStore, ReadWatcherIsToldOfTheResourcesItsThreadReads) {
    std::wstring dir = vtest::ScratchDir(L"readwatcher");
    std::wstring path = dir + L"\\watched.vdb", fresh = dir + L"\\fresh.vdb";
    DeleteFileW(fresh.c_str());
    const std::string resources = "<?xml version=\"1.0\"?><VarnoStore version=\"1\"><Resources>"
                                  "<Resource id=\"7\" kind=\"1\" name=\"C:\\a\" time=\"7\"/>"
                                  "<Resource id=\"4\" kind=\"3\" name=\"HKEY_CURRENT_USER\\x\" time=\"7\"/>"
                                  "<Resource id=\"5\" kind=\"1\" name=\"C:\\b\" controlled=\"0\" time=\"7\"/>"
                                  "</Resources>";
    vtest::WriteBytes(path, resources + "<RGroups><Group id=\"9\" kind=\"1\" name=\"G\"><Member id=\"5\"/></Group>"
                                        "</RGroups></VarnoStore>");
    auto provider = Common::CreateProvider();
    RecordingWatcher watcher, other;
    auto open = [&](const std::wstring& file) {
        auto db = provider->Open(Narrow(file).c_str());
        if (db)
            provider->Close(db->GetHandle());
        return static_cast<bool>(db);
    };
    provider->SetReadWatcher(&watcher);
    std::thread([&] {
        provider->SetReadWatcher(&other);
        EXPECT_TRUE(open(path));
        provider->SetReadWatcher(nullptr);
    }).join();
    EXPECT_EQ((std::vector<long long>{7, 4, 5}), other.ids);
    EXPECT_TRUE(watcher.ids.empty());
    EXPECT_TRUE(open(path));
    EXPECT_EQ((std::vector<long long>{7, 4, 5}), watcher.ids);
    watcher.ids.clear();
    EXPECT_TRUE(open(fresh)); // made new: nothing read
    EXPECT_TRUE(watcher.ids.empty());
    vtest::WriteBytes(path,
                      resources + "<RGroups><Group id=\"7\" kind=\"1\" name=\"same ID\"/></RGroups></VarnoStore>");
    EXPECT_FALSE(open(path));
    EXPECT_EQ((std::vector<long long>{7, 4, 5}), watcher.ids);
    watcher.ids.clear();
    provider->SetReadWatcher(nullptr);
    vtest::WriteBytes(path, resources + "</VarnoStore>");
    EXPECT_TRUE(open(path));
    EXPECT_TRUE(watcher.ids.empty());
    DeleteFileW(fresh.c_str());
}

// A provider keeps the items of one closed store file only, the one closed last: a file closed
// before it is read again when opened, and gives what it holds, while the last one is still taken
// from memory. The file that lost its items is still known by its digest: a commit of what it
// says leaves it as it is.
TEST(VCoreStore, OnlyTheStoreClosedLastLeavesItsItems) {
    const std::wstring dir = vtest::ScratchDir(L"closedlast");
    const std::wstring first = dir + L"\\first.vdb", second = dir + L"\\second.vdb";
    auto provider = Common::CreateProvider();
    for (const auto& path : {first, second}) {
        auto db = provider->Open(Narrow(path).c_str());
        ASSERT_TRUE(db) << as_string(provider->GetLastErrorText(), CP_UTF8);
        BuildLinkedStore(db, path == first ? L"C:\\first.dll" : L"C:\\second.dll");
        db->Commit();
        provider->Close(db->GetHandle()); // unchanged since its commit: its items are left
    }
    const std::string firstBytes = vtest::ReadBytes(first);
    RecordingWatcher watcher;
    provider->SetReadWatcher(&watcher);
    {
        auto db = provider->Open(Narrow(second).c_str()); // closed last: from memory
        ASSERT_TRUE(db);
        EXPECT_TRUE(watcher.ids.empty());
        EXPECT_EQ(Describe(Store(second).db), Describe(db));
        provider->Close(db->GetHandle());
    }
    {
        auto db = provider->Open(Narrow(first).c_str()); // its items were let go: read from the file
        ASSERT_TRUE(db);
        EXPECT_FALSE(watcher.ids.empty());
        EXPECT_EQ(vtest::Ids(db->GetResources()), watcher.ids);
        const std::wstring asRead = Describe(Store(first).db);
        ASSERT_NE(std::wstring::npos, asRead.find(L"C:\\first.dll")) << as_string(asRead, CP_UTF8);
        EXPECT_EQ(asRead, Describe(db));
        db->Clear();
        BuildLinkedStore(db, L"C:\\first.dll");
        db->Commit();
        provider->Close(db->GetHandle());
    }
    provider->SetReadWatcher(nullptr);
    EXPECT_EQ(firstBytes, vtest::ReadBytes(first)); // the same content: not written again
}

// A store read too soon after its file was written, whose commit finds the file saying the same,
// is the file's from then on: closed, it leaves its items to the next open.
TEST(VCoreStore, CommitThatFindsTheFileSayingTheSameLeavesTheItems) {
    const std::wstring path = vtest::ScratchDir(L"samecommit") + L"\\same.vdb";
    auto provider = Common::CreateProvider();
    auto writer = provider->Open(Narrow(path).c_str());
    ASSERT_TRUE(writer);
    BuildLinkedStore(writer, L"C:\\b.dll");
    writer->Commit();
    {
        auto db = provider->Open(Narrow(path).c_str()); // read: the file was written just now
        ASSERT_TRUE(db);
        db->Commit(); // what the file says: left as it is
        provider->Close(db->GetHandle());
    }
    writer->CreateFile(L"C:\\later.dll", T(9), true, false);
    provider->Close(writer->GetHandle()); // changed and not committed: leaves nothing
    RecordingWatcher watcher;
    provider->SetReadWatcher(&watcher);
    auto db = provider->Open(Narrow(path).c_str());
    ASSERT_TRUE(db);
    EXPECT_TRUE(watcher.ids.empty()); // from memory
    EXPECT_EQ(Describe(Store(path).db), Describe(db));
    provider->Close(db->GetHandle());
    provider->SetReadWatcher(nullptr);
}

// An item is found by its ID whenever the store holds it: read from the file, taken from the items
// a closed store left, added before or after the first look-up; and no longer once a rollback or a
// clear has taken it away.
TEST(VCoreStore, ItemsAreFoundByIdWhateverCameBefore) {
    std::wstring path = vtest::ScratchDir(L"findbyid") + L"\\find.vdb";
    DeleteFileW(path.c_str());
    long long a = 0, b = 0;
    {
        Store s(path);
        a = s.db->CreateFile(L"C:\\a", T(1), true, true)->GetId();
        EXPECT_EQ(a, s.db->FindItem(a)->GetId());
        b = s.db->CreateFile(L"C:\\b", T(2), true, true)->GetId(); // added after a look-up
        EXPECT_EQ(b, s.db->FindItem(b)->GetId());
        s.db->Commit();
    }
    auto provider = Common::CreateProvider();
    auto db = provider->Open(Narrow(path).c_str()); // reads the file
    ASSERT_TRUE(db);
    for (long long id : {a, b})
        EXPECT_EQ(id, db->FindItem(id)->GetId());
    EXPECT_FALSE(db->FindItem(b + 1));
    provider->Close(db->GetHandle()); // unchanged: the provider keeps its items
    db = provider->Open(Narrow(path).c_str());
    ASSERT_TRUE(db);
    const long long c = db->CreateFile(L"C:\\c", T(3), true, true)->GetId(); // before any look-up
    for (long long id : {a, b, c})
        EXPECT_EQ(id, db->FindItem(id)->GetId());
    db->Rollback();
    EXPECT_FALSE(db->FindItem(c));
    EXPECT_EQ(a, db->FindItem(a)->GetId());
    db->Clear();
    EXPECT_FALSE(db->FindItem(a));
    provider->Close(db->GetHandle());
}

// A store file of many MB reaches the parser in pieces: every item comes back whole and in order,
// whatever falls on the edges of the pieces (multi-byte characters among them), and a file torn
// far from its start still fails.
TEST(VCoreStore, LargeFilesAreReadWholeAndTornOnesFail) {
    std::wstring dir = vtest::ScratchDir(L"largefile");
    std::wstring path = dir + L"\\large.vdb", torn = dir + L"\\torn.vdb";
    const int count = 20000;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VarnoStore version=\"1\"><Resources>";
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) {
        // Names of changing lengths, Cyrillic (two bytes a letter) in their middle.
        std::wstring name = L"C:\\\u043f\u0430\u043f\u043a\u0430" + std::to_wstring(i) + L"\\" +
                            std::wstring(i % 37, L'\u0436') + L"f" + std::to_wstring(i) + L".dll";
        names.push_back(name);
        text += "<Resource id=\"" + std::to_string(i + 1) + "\" kind=\"1\" name=\"" + as_string(name, CP_UTF8) +
                "\" time=\"7\"/>";
    }
    vtest::WriteBytes(path, text + "</Resources></VarnoStore>");
    vtest::WriteBytes(torn, text.substr(0, text.size() * 3 / 4));
    ASSERT_GT(text.size(), 1000000u);
    auto provider = Common::CreateProvider();
    auto db = provider->Open(Narrow(path).c_str());
    ASSERT_TRUE(db) << Narrow(provider->GetLastErrorText());
    auto resources = db->GetResources();
    ASSERT_EQ(count, resources->GetCount());
    auto e = resources->Enumerate();
    for (int i = 0; i < count && e->HasItem(); ++i) {
        auto item = e->Next();
        ASSERT_EQ(i + 1, item->GetId());
        ASSERT_EQ(names[i], item->GetName());
    }
    provider->Close(db->GetHandle());
    EXPECT_FALSE(provider->Open(Narrow(torn).c_str()));
    EXPECT_FALSE(provider->GetLastErrorText().empty());
}

// A member linked more than once in a file is read once, at its first link, whichever element
// names it; a job keeps its groups and tasks apart. The add operations afterwards still take each
// member once.
TEST(VCoreStore, RepeatedLinksInAFileAreReadOnce) {
    std::wstring dir = vtest::ScratchDir(L"repeatlinks");
    std::wstring path = dir + L"\\repeat.vdb";
    vtest::WriteBytes(path, "<?xml version=\"1.0\"?><VarnoStore version=\"1\"><Resources>"
                            "<Resource id=\"4\" kind=\"1\" name=\"C:\\a\" time=\"7\"/>"
                            "<Resource id=\"5\" kind=\"1\" name=\"C:\\b\" time=\"7\"/>"
                            "<Resource id=\"6\" kind=\"1\" name=\"C:\\c\" time=\"7\"/></Resources><RGroups>"
                            "<Group id=\"9\" kind=\"1\" name=\"G\"><Member id=\"5\"/><Member id=\"4\"/>"
                            "<Member id=\"5\"/><Task id=\"4\"/><Member id=\"77\"/><Member id=\"4\"/></Group>"
                            "<Group id=\"10\" kind=\"1\" name=\"H\"/></RGroups><Tasks>"
                            "<Task id=\"20\" kind=\"1\" name=\"T\"><Member id=\"10\"/><Member id=\"9\"/>"
                            "<Member id=\"10\"/></Task></Tasks><Jobs>"
                            "<Job id=\"30\" kind=\"2\" name=\"J\"><Group id=\"9\"/><Task id=\"20\"/><Group id=\"9\"/>"
                            "<Task id=\"20\"/><Group id=\"10\"/></Job></Jobs></VarnoStore>");
    auto provider = Common::CreateProvider();
    auto db = provider->Open(Narrow(path).c_str());
    ASSERT_TRUE(db) << as_string(provider->GetLastErrorText(), CP_UTF8);
    auto groups = vtest::Items(db->GetResourceGroups());
    ASSERT_EQ(2u, groups.size());
    auto g = checked_cast<IFileGroup>(groups[0]);
    EXPECT_EQ((std::vector<long long>{5, 4}), vtest::Ids(g->GetResources()));
    auto tasks = vtest::Items(db->GetTasks());
    ASSERT_EQ(1u, tasks.size());
    EXPECT_EQ((std::vector<long long>{10, 9}), vtest::Ids(checked_cast<ITask>(tasks[0])->GetResourceGroups()));
    auto jobs = vtest::Items(db->GetJobs());
    ASSERT_EQ(1u, jobs.size());
    auto job = checked_cast<IJobVarnoZelvane>(jobs[0]);
    EXPECT_EQ((std::vector<long long>{9, 10}), vtest::Ids(job->GetResourceGroups()));
    EXPECT_EQ((std::vector<long long>{20}), vtest::Ids(job->GetTasks()));

    auto resources = vtest::Items(db->GetResources());
    ASSERT_EQ(3u, resources.size());
    g->AddFile(checked_cast<IFile>(resources[1])); // there already
    g->AddFile(checked_cast<IFile>(resources[2]));
    g->AddFile(checked_cast<IFile>(resources[2]));
    g->AddFile(checked_cast<IFile>(resources[0]));
    EXPECT_EQ((std::vector<long long>{5, 4, 6}), vtest::Ids(g->GetResources()));
    provider->Close(db->GetHandle());
}

// What the store could not save is refused by the reader, with the item named: a disk sector of
// a negative number. The store's own create operation names the sector it refuses.
TEST(VCoreStore, NegativeSectorIsRefusedByTheReaderNamingTheItem) {
    std::wstring dir = vtest::ScratchDir(L"negsector");
    auto provider = Common::CreateProvider();
    for (const char* sector : {"-1", "-9223372036854775808"}) {
        SCOPED_TRACE(sector);
        std::wstring path = dir + L"\\sector.vdb";
        const std::string content = std::string("<VarnoStore version=\"1\"><Resources><Resource id=\"3\" kind=\"5\" "
                                                "name=\"Диск 0, сектор\" disk=\"0\" sector=\"") +
                                    sector + "\"/></Resources></VarnoStore>";
        vtest::WriteBytes(path, content);
        EXPECT_FALSE(provider->OpenExisting(Narrow(path).c_str()));
        const std::wstring reason = provider->GetLastErrorText();
        EXPECT_NE(std::wstring::npos, reason.find(L"\"Диск 0, сектор\" (ID 3)")) << as_string(reason, CP_UTF8);
        EXPECT_NE(std::wstring::npos, reason.find(as_wstring(sector))) << as_string(reason, CP_UTF8);
        Common::StoreFileOutline outline;
        std::wstring inspected;
        EXPECT_FALSE(Common::InspectStoreFile(path.c_str(), outline, inspected));
        EXPECT_NE(std::wstring::npos, inspected.find(L"\"Диск 0, сектор\"")) << as_string(inspected, CP_UTF8);
        EXPECT_EQ(content, vtest::ReadBytes(path));
    }
    Store s(dir + L"\\create.vdb");
    ASSERT_TRUE(s.db);
    try {
        s.db->CreateDiskSector(L"Сектор X", L"", 0, -5, T(1), true);
        ADD_FAILURE() << "a negative sector was created";
    } catch (const EGeneric& e) {
        EXPECT_NE(std::wstring::npos, e.text().find(L"\"Сектор X\"")) << as_string(e.text(), CP_UTF8);
    }
    EXPECT_EQ(0, s.db->GetItemCount());
}

// The check before an import reads a file exactly as the provider's open does: what one refuses
// the other refuses, and of a file it takes it tells the version and the sections under the root.
TEST(VCoreStore, InspectionAgreesWithTheOpen) {
    std::wstring dir = vtest::ScratchDir(L"inspect");
    const std::string late = "<!--" + std::string(20000, ' ') + "-->";
    struct Case {
        const char* what;
        std::string content;
        bool opens;
        int version;
        bool resources, groups, tasks;
    } cases[] = {
        {"all sections", "<VarnoStore version=\"1\"><Resources/><RGroups/><Tasks/></VarnoStore>", true, 1, true, true,
         true},
        {"groups only, version 10", "<?xml version=\"1.0\"?><VarnoStore version=\"10\"><RGroups/></VarnoStore>", true,
         10, false, true, false},
        {"version -5", "<VarnoStore version=\"-5\"><Resources/></VarnoStore>", false},
        {"version 1x", "<VarnoStore version=\"1x\"><Resources/></VarnoStore>", false},
        {"version abc", "<VarnoStore version=\"abc\"><Resources/></VarnoStore>", false},
        {"version 11", "<VarnoStore version=\"11\"><Resources/></VarnoStore>", false},
        {"no version", "<VarnoStore><Resources/></VarnoStore>", false},
        {"other root", "<Model version=\"1\"><Resources/><RGroups/><Tasks/></Model>", false},
        {"declaration after a long comment",
         late + "<!DOCTYPE VarnoStore [<!ATTLIST VarnoStore version CDATA \"1\">]>"
                "<VarnoStore><Tasks/></VarnoStore>",
         false},
        {"long comment without declaration", late + "<VarnoStore version=\"2\"><Tasks/></VarnoStore>", true, 2, false,
         false, true},
        {"task without kind", "<VarnoStore version=\"1\"><Tasks><Task id=\"1\"/></Tasks></VarnoStore>", false},
        {"torn", "<VarnoStore version=\"1\"><Tasks>", false},
    };
    auto provider = Common::CreateProvider();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = dir + L"\\f" + std::to_wstring(n++) + L".xml";
        vtest::WriteBytes(path, c.content);
        auto db = provider->OpenExisting(Narrow(path).c_str());
        EXPECT_EQ(c.opens, static_cast<bool>(db));
        if (db)
            provider->Close(db->GetHandle());
        Common::StoreFileOutline outline;
        std::wstring reason;
        EXPECT_EQ(c.opens, Common::InspectStoreFile(path.c_str(), outline, reason)) << as_string(reason, CP_UTF8);
        if (c.opens) {
            EXPECT_TRUE(reason.empty());
            EXPECT_EQ(c.version, outline.version);
            EXPECT_EQ(c.resources, outline.resources);
            EXPECT_EQ(c.groups, outline.groups);
            EXPECT_EQ(c.tasks, outline.tasks);
        } else {
            EXPECT_EQ(provider->GetLastErrorText().find(reason) != std::wstring::npos, true)
                << as_string(reason, CP_UTF8);
        }
        EXPECT_EQ(c.content, vtest::ReadBytes(path));
    }
    Common::StoreFileOutline outline;
    std::wstring reason;
    EXPECT_FALSE(Common::InspectStoreFile((dir + L"\\missing.xml").c_str(), outline, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(Common::InspectStoreFile(L"", outline, reason));
    EXPECT_EQ(0, provider->GetOpenCount());
}

// A store whose IDs reached the largest positive one (an item holds it, or the next ID is it):
// it opens, reads, commits unchanged and opens again; a new item is refused with a clear message
// before anything changes, instead of wrapping to a negative ID that would make the store unloadable.
TEST(VCoreStore, StoreAtTheIdLimitOpensAndRefusesNewItems) {
    const long long kMax = 9223372036854775807LL;
    std::wstring dir = vtest::ScratchDir(L"idlimit");
    struct Case {
        const wchar_t* file;
        const char* content;
        std::vector<long long> ids; // resource IDs as read
        int addsLeft;               // items that still get an ID
    } cases[] = {
        {L"maxitem.vdb",
         "<?xml version=\"1.0\"?><VarnoStore version=\"1\" nextId=\"3\"><Resources>"
         "<Resource id=\"9223372036854775807\" kind=\"1\" name=\"C:\\a\" time=\"7\"/>"
         "<Resource id=\"2\" kind=\"1\" name=\"C:\\b\" time=\"7\"/></Resources><RGroups>"
         "<Group id=\"5\" kind=\"1\" name=\"G\"><Member id=\"9223372036854775807\"/></Group></RGroups>"
         "<Tasks/></VarnoStore>",
         {kMax, 2},
         0},
        {L"nextid.vdb",
         "<?xml version=\"1.0\"?><VarnoStore version=\"1\" nextId=\"9223372036854775807\"><Resources>"
         "<Resource id=\"1\" kind=\"1\" name=\"C:\\a\" time=\"7\"/></Resources><RGroups/><Tasks/></VarnoStore>",
         {1},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        std::wstring path = dir + L"\\" + c.file;
        vtest::WriteBytes(path, c.content);
        std::vector<long long> ids = c.ids;
        {
            Store s(path);
            ASSERT_TRUE(s.db);
            EXPECT_EQ(ids, vtest::Ids(s.db->GetResources()));
            for (int i = 0; i < c.addsLeft; ++i) {
                auto f = s.db->CreateFile(L"C:\\last", T(1), true, false);
                EXPECT_EQ(kMax, f->GetId());
                ids.push_back(f->GetId());
            }
            if (!c.addsLeft) { // nothing was changed so far
                EXPECT_FALSE(s.db->IsModified());
            }
            long count = s.db->GetItemCount();
            bool modified = s.db->IsModified();
            for (int kind = 0; kind < 3; ++kind) {
                try {
                    if (kind == 0)
                        s.db->CreateFile(L"C:\\one too many", T(1), true, false);
                    else if (kind == 1)
                        s.db->CreateFileGroup(L"G2", L"", T(1));
                    else
                        s.db->CreateSubject(L"S", L"", L"");
                    ADD_FAILURE() << "a new item got an ID past the limit";
                } catch (const EGeneric& e) {
                    EXPECT_NE(std::wstring::npos, e.text().find(L"no free identifiers"))
                        << as_string(e.text(), CP_UTF8);
                }
            }
            EXPECT_EQ(count, s.db->GetItemCount());
            EXPECT_EQ(modified, s.db->IsModified());
            EXPECT_EQ(c.content, vtest::ReadBytes(path)); // nothing written
            s.db->Commit();
        }
        {
            Store s(path);
            ASSERT_TRUE(s.db);
            EXPECT_EQ(ids, vtest::Ids(s.db->GetResources()));
            auto groups = vtest::Items(s.db->GetResourceGroups());
            if (!groups.empty()) {
                EXPECT_EQ(std::vector<long long>{kMax},
                          vtest::Ids(checked_cast<IResourceGroup>(groups[0])->GetResources()));
            }
            EXPECT_THROW(s.db->CreateTask(L"T", L"", T(1)), EGeneric);
            s.db->Commit(); // still unchanged
        }
        {
            Store s(path);
            ASSERT_TRUE(s.db);
            EXPECT_EQ(ids, vtest::Ids(s.db->GetResources()));
            s.db->Clear(); // a cleared store gives IDs from 1 again
            EXPECT_EQ(1, s.db->CreateFile(L"C:\\again", T(1), true, false)->GetId());
        }
    }
}

// ASCII text as UTF-16LE, with or without its byte-order mark.
static std::string Utf16Le(const std::string& ascii, bool bom) {
    std::string out = bom ? "\xFF\xFE" : "";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// A store or model file with a document type declaration is refused by the provider itself and
// left as it was: an <!ATTLIST> default would otherwise reach the items, an entity their texts.
TEST(VCoreStore, DocumentTypeDeclarationsAreRefused) {
    std::wstring dir = vtest::ScratchDir(L"dtd");
    const std::string body = "<VarnoStore version=\"1\" nextId=\"2\"><Resources>"
                             "<Resource id=\"1\" kind=\"1\" name=\"C:\\a\" time=\"7\"/></Resources>"
                             "<RGroups/><Tasks/></VarnoStore>";
    struct Case {
        const wchar_t* file;
        std::string content;
    } cases[] = {
        {L"attlist.vdb", "<?xml version=\"1.0\"?>\n<!DOCTYPE VarnoStore [\n"
                         "  <!ATTLIST Resource controlled CDATA \"0\">\n]>\n" +
                             body},
        {L"entity.vdb", "<?xml version=\"1.0\"?><!DOCTYPE VarnoStore [<!ENTITY n \"C:\\evil\">]>"
                        "<VarnoStore version=\"1\"><Resources><Resource id=\"1\" kind=\"1\" name=\"&n;\"/></Resources>"
                        "<RGroups/><Tasks/></VarnoStore>"},
        {L"bare.vdb", "<?xml version=\"1.0\"?><!DOCTYPE VarnoStore>" + body},
        {L"external.vdb", "<?xml version=\"1.0\"?><!DOCTYPE VarnoStore SYSTEM \"store.dtd\">" + body},
        {L"model.xml", "<!DOCTYPE VarnoStore [<!ELEMENT VarnoStore ANY>]>" + body},
        {L"aftercomment.vdb", "<?xml version=\"1.0\"?><!-- -> --><?pi ?"
                              "?>\r\n<!DOCTYPE VarnoStore>" +
                                  body},
        {L"utf16.vdb", Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><!DOCTYPE VarnoStore [<!ATTLIST Resource "
                               "controlled CDATA \"0\">]>" +
                                   body,
                               true)},
        {L"utf16nobom.vdb", Utf16Le("<!DOCTYPE VarnoStore>" + body, false)},
    };
    // The external declaration names a file that exists: it is refused all the same.
    vtest::WriteBytes(dir + L"\\store.dtd", "<!ATTLIST Resource controlled CDATA \"0\">");
    auto provider = Common::CreateProvider();
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        std::wstring path = dir + L"\\" + c.file;
        vtest::WriteBytes(path, c.content);
        auto db = provider->Open(Narrow(path).c_str());
        EXPECT_FALSE(db);
        if (db)
            provider->Close(db->GetHandle());
        EXPECT_NE(std::wstring::npos, provider->GetLastErrorText().find(L"document type declaration"))
            << as_string(provider->GetLastErrorText(), CP_UTF8);
        EXPECT_EQ(c.content, vtest::ReadBytes(path));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((path + L".new").c_str()));
    }
    EXPECT_EQ(0, provider->GetOpenCount());
    // The same content without the declaration opens, after comments and processing instructions
    // too and in UTF-16, and its resource is controlled.
    const std::string plains[] = {
        "<?xml version=\"1.0\"?>" + body,
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- a comment --><?pi data?>\n" + body,
        Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><!-- x -->" + body, true),
    };
    for (const auto& content : plains) {
        std::wstring plain = dir + L"\\plain.vdb";
        vtest::WriteBytes(plain, content);
        Store s(plain);
        ASSERT_TRUE(s.db);
        auto items = vtest::Items(s.db->GetResources());
        ASSERT_EQ(1u, items.size());
        EXPECT_TRUE(checked_cast<IFile>(items[0])->IsControlled());
    }
}

// ----- A process killed while it commits never leaves a store that fails to load -----
// Child processes are left to the x86-64 run: i386 processes start slowly under the emulation here.
#ifdef _WIN64

// Runs only as the child of the test below: commits forever, each time a store whose subject names
// how many resources it holds.
TEST(VCoreKill, ChildCommitsForever) {
    std::wstring path = vtest::Env(L"VCORE_KILL_CHILD_STORE");
    if (path.empty())
        GTEST_SKIP() << "runs only as the child process of VCoreKill.KilledWhileCommitting";
    auto provider = Common::CreateProvider();
    auto db = provider->Open(Narrow(path).c_str());
    if (!db)
        ExitProcess(3);
    for (int round = 1;; ++round) {
        db->Clear();
        int count = 200 + (round * 37) % 800;
        db->SetLocalSubject(db->CreateSubject(L"count", std::to_wstring(count), L""));
        for (int i = 0; i < count; ++i)
            db->CreateFile(L"C:\\folder\\file" + std::to_wstring(i) + L".dll", T(round), true, false);
        db->Commit();
    }
}

TEST(VCoreKill, KilledWhileCommitting) {
    std::wstring path = vtest::ScratchDir(L"kill") + L"\\Localhost.vdb";
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=VCoreKill.ChildCommitsForever";
    SetEnvironmentVariableW(L"VCORE_KILL_CHILD_STORE", path.c_str());
    int killedAfterCommit = 0;
    for (int run = 0; run < 12; ++run) {
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi;
        std::vector<wchar_t> line(cmd.begin(), cmd.end());
        line.push_back(0);
        ASSERT_TRUE(CreateProcessW(exe, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        // Let it commit a few times, then kill it at a different moment each run.
        DWORD waited = 0;
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 20000) {
            Sleep(20);
            waited += 20;
        }
        Sleep(150 + (run * 53) % 400);
        ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi.hProcess, 0)) << "the child ended by itself";
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);

        Store s(path);
        ASSERT_TRUE(s.db) << "run " << run;
        auto subject = s.db->GetLocalSubject();
        if (!subject) {
            EXPECT_EQ(0, s.db->GetItemCount()); // killed before the first commit: the empty store
            continue;
        }
        ++killedAfterCommit;
        EXPECT_EQ(std::stol(subject->GetDescription()), s.db->GetResources()->GetCount()) << "run " << run;
    }
    SetEnvironmentVariableW(L"VCORE_KILL_CHILD_STORE", nullptr);
    EXPECT_GT(killedAfterCommit, 0);
}

namespace {

// Starts this test program as the committing child on the given store file.
PROCESS_INFORMATION StartCommittingChild(const std::wstring& store) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=VCoreKill.ChildCommitsForever";
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    SetEnvironmentVariableW(L"VCORE_KILL_CHILD_STORE", store.c_str());
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessW(exe, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableW(L"VCORE_KILL_CHILD_STORE", nullptr);
    DWORD waited = 0;
    while (GetFileAttributesW(store.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 20000) {
        Sleep(20);
        waited += 20;
    }
    return pi;
}

void Kill(PROCESS_INFORMATION& pi) {
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

// Commits killed half-way leave "<store>.new" beside their store. The next commit into the folder
// removes those that nobody holds and that hold the beginning of a store file, whatever store they
// were for; it leaves a commit that is still going on, and files that are not a store's.
TEST(VCoreKill, NextCommitRemovesWhatKilledCommitsLeft) {
    std::wstring dir = vtest::ScratchDir(L"strays");
    // Commits killed at different moments, each in a store of its own.
    std::vector<std::wstring> killed;
    for (int run = 0; run < 6; ++run) {
        std::wstring store = dir + L"\\killed" + std::to_wstring(run) + L".vdb";
        PROCESS_INFORMATION pi = StartCommittingChild(store);
        Sleep(120 + run * 90);
        ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi.hProcess, 0)) << "the child ended by itself";
        Kill(pi);
        killed.push_back(store + L".new");
    }
    // Cut short at chosen places: empty, inside the declaration, inside the root element.
    Store sample(dir + L"\\sample.vdb");
    sample.db->SetLocalSubject(sample.db->CreateSubject(L"s", L"", L""));
    sample.db->Commit();
    sample.Close();
    const std::string whole = vtest::ReadBytes(dir + L"\\sample.vdb");
    ASSERT_EQ(0u, whole.find("<?xml "));
    const size_t root = whole.find("<VarnoStore");
    ASSERT_NE(std::string::npos, root);
    struct Cut {
        const wchar_t* name;
        size_t bytes;
    } cuts[] = {{L"empty.vdb.new", 0},
                {L"declaration.vdb.new", 10},
                {L"root.vdb.new", root + 5},
                {L"whole.vdb.new", whole.size()}};
    for (const auto& c : cuts) {
        vtest::WriteBytes(dir + L"\\" + c.name, whole.substr(0, c.bytes));
        killed.push_back(dir + L"\\" + c.name);
    }
    // Not to be touched: a commit going on (its file held), files of others, a folder.
    vtest::WriteBytes(dir + L"\\held.vdb.new", whole.substr(0, root + 20));
    HANDLE held =
        CreateFileW((dir + L"\\held.vdb.new").c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const std::string notes = "<?xml version=\"1.0\"?><notes/>";
    vtest::WriteBytes(dir + L"\\notes.xml.new", notes);
    vtest::WriteBytes(dir + L"\\plain.new", "plain text");
    vtest::WriteBytes(dir + L"\\store.newer", whole);
    CreateDirectoryW((dir + L"\\folder.new").c_str(), nullptr);

    // A commit of another store into the folder. A store opened anew commits at once.
    Store next(dir + L"\\Localhost.vdb");
    ASSERT_TRUE(next.db);
    next.db->CreateSubject(L"next", L"", L"");
    next.db->Commit();
    for (const auto& k : killed)
        EXPECT_FALSE(Exists(k)) << as_string(k, CP_UTF8);
    EXPECT_TRUE(Exists(dir + L"\\held.vdb.new"));
    EXPECT_EQ(notes, vtest::ReadBytes(dir + L"\\notes.xml.new"));
    EXPECT_EQ("plain text", vtest::ReadBytes(dir + L"\\plain.new"));
    EXPECT_EQ(whole, vtest::ReadBytes(dir + L"\\store.newer"));
    EXPECT_TRUE(Exists(dir + L"\\folder.new"));
    // The killed stores themselves stand whole: each opens.
    for (int run = 0; run < 6; ++run) {
        Store s(dir + L"\\killed" + std::to_wstring(run) + L".vdb");
        EXPECT_TRUE(s.db) << run;
    }
    // Once it is let go, the file of the commit that was going on is a stray too.
    CloseHandle(held);
    next.db->Commit();
    EXPECT_FALSE(Exists(dir + L"\\held.vdb.new"));
    next.Close();
}

// A commit going on in another process is never taken for a stray: a second process commits into
// the same folder all along while the first one keeps committing whole stores.
TEST(VCoreKill, CommitsOfTwoProcessesIntoOneFolderLeaveEachOtherAlone) {
    std::wstring dir = vtest::ScratchDir(L"twowriters");
    std::wstring theirs = dir + L"\\theirs.vdb";
    PROCESS_INFORMATION pi = StartCommittingChild(theirs);
    Store mine(dir + L"\\mine.vdb");
    ASSERT_TRUE(mine.db);
    for (int i = 0; i < 40; ++i) {
        mine.db->Clear();
        mine.db->SetLocalSubject(mine.db->CreateSubject(L"round", std::to_wstring(i), L""));
        mine.db->Commit();
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi.hProcess, 0)) << "their commits never failed";
    Kill(pi);
    Store s(theirs);
    ASSERT_TRUE(s.db);
    auto subject = s.db->GetLocalSubject();
    if (subject)
        EXPECT_EQ(std::stol(subject->GetDescription()), s.db->GetResources()->GetCount());
}
#endif

// ----- Validity of the described objects -----

TEST(VCoreValidity, ObjectsThatExistAreValid) {
    std::wstring dir = vtest::ScratchDir(L"validity");
    vtest::WriteBytes(dir + L"\\present.bin", "x");
    std::wstring keyPath = L"Software\\VICheckTests\\vcore_tests_" + std::to_wstring(GetCurrentProcessId());
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    DWORD one = 1;
    RegSetValueExW(k, L"Named", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
    RegSetValueExW(k, L"a\\b", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
    RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"d"), 4);
    RegCloseKey(k);
    SetEnvironmentVariableW(L"VCORE_TEST_DIR", dir.c_str());

    Store s(dir + L"\\Localhost.vdb");
    ASSERT_TRUE(s.db);
    std::wstring hkcu = L"HKEY_CURRENT_USER\\" + keyPath;
    struct Case {
        SmartPtr<IResource> item;
        bool valid;
    } cases[] = {
        {s.db->CreateFile(dir + L"\\present.bin", T(1), true, false), true},
        {s.db->CreateFile(L"%VCORE_TEST_DIR%\\present.bin", T(1), true, false), true},
        {s.db->CreateFile(dir + L"\\absent.bin", T(1), true, false), false},
        {s.db->CreateFile(dir, T(1), true, false), false}, // a folder is not a file
        {s.db->CreateRegistryKey(hkcu, T(1), true), true},
        {s.db->CreateRegistryKey(L"HKCU\\" + keyPath, T(1), true), true},
        {s.db->CreateRegistryKey(hkcu + L"\\Missing", T(1), true), false},
        {s.db->CreateRegistryKey(L"HKEY_NOWHERE\\Software", T(1), true), false},
        {s.db->CreateRegistryValue(hkcu + L"\\", L"Named", T(1), true), true},
        {s.db->CreateRegistryValue(hkcu, L"Absent", T(1), true), false},
        {s.db->CreateRegistryValue(hkcu + L"\\", L"{C51BADB1-F859-4c8e-B5F7-CD2223F03917}", T(1), true), true},
        {s.db->CreateRegistryValue(hkcu + L"\\", L"a{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}b", T(1), true), true},
        {s.db->CreateDiskSector(L"Sector", L"", 250, 0, T(1), true), false}, // no such disk
        {s.db->CreateDevice(L"Device", L"", T(1), true), false},             // no hardware ID to find
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        auto& c = cases[i];
        bool valid = false;
        if (auto f = item_cast<IFile>(c.item))
            valid = f->IsValid();
        else if (auto rk = item_cast<IRegistryKey>(c.item))
            valid = rk->IsValid();
        else if (auto rv = item_cast<IRegistryValue>(c.item))
            valid = rv->IsValid();
        else if (auto ds = item_cast<IDiskSector>(c.item))
            valid = ds->IsValid();
        else if (auto dv = item_cast<IDevice>(c.item))
            valid = dv->IsValid();
        EXPECT_EQ(c.valid, valid) << "case " << i << ": " << as_string(c.item->GetName(), CP_UTF8);
    }
    auto dev = checked_cast<IDevice>(cases[13].item);
    dev->SetProperty(0, _value_t(L"PCI\\VEN_FFFF&DEV_FFFF&NOSUCH"));
    EXPECT_FALSE(dev->IsValid());

    // SMBIOS: a structure the firmware table has is valid, a handle it lacks is not.
    UINT n = GetSystemFirmwareTable(0x52534D42, 0, nullptr, 0);
    if (n >= 12) {
        std::vector<BYTE> raw(n);
        GetSystemFirmwareTable(0x52534D42, 0, raw.data(), n);
        const BYTE* p = raw.data() + 8;
        SmbiosTableDescriptor present = {p[0], p[1], p[2] | (p[3] << 8)};
        EXPECT_TRUE(checked_cast<ISMBIOSTable>(s.db->CreateSMBIOSTable(L"T", present, T(1), true))->IsValid());
        EXPECT_TRUE(checked_cast<ISMBIOSField>(s.db->CreateSMBIOSField(L"F", 1, 1, 1, present, T(1), true))->IsValid());
        EXPECT_FALSE(
            checked_cast<ISMBIOSField>(s.db->CreateSMBIOSField(L"F", 1, 1, 255, present, T(1), true))->IsValid());
    }
    SmbiosTableDescriptor absent = {200, 4, 0xFEED};
    EXPECT_FALSE(checked_cast<ISMBIOSTable>(s.db->CreateSMBIOSTable(L"T", absent, T(1), true))->IsValid());
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
}
