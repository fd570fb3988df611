// The model's store side: save and load through the real provider for both editions, golden logs of
// the provider calls, the board lists, the invalid-resource question, the job fallbacks of the load,
// import filtering, and the failures that must not lose work or pass for success.
#include "FileExistence.h"
#include "IChDataModel.h"
#include "StoreFakes.h"

#include "Sha256Ref.h"
#include "VcoreTestUtil.h"

#include <KvText.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <sstream>

using namespace Varno;
using fakes::FDatabase;
using fakes::FHost;
using fakes::FItem;

namespace {

const unsigned long long kTime = 130000000000000000ULL;
const wchar_t kToken[] = L"{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}";

FILETIME Ft(unsigned long long v) {
    FILETIME f;
    f.dwLowDateTime = static_cast<DWORD>(v);
    f.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return f;
}

// Builds model nodes with IDs and fixed times.
struct Builder {
    CIChDataModel& m;
    long long nextId = 1;
    unsigned long long time = kTime;
    template <class T>
    T* Node(int type, const std::wstring& name) {
        T* n = static_cast<T*>(m.CreateNode(type));
        n->m_Id = nextId++;
        n->SetName(name);
        FILETIME ft = Ft(time++);
        n->SetModifyTime(&ft);
        return n;
    }
    CIChSubject* Subject(const std::wstring& name) { return Node<CIChSubject>(NodeTypeSubject, name); }
    CIChJob* Job(const std::wstring& name, int subType) {
        auto* j = Node<CIChJob>(NodeTypeJob, name);
        j->m_SubType = subType;
        return j;
    }
    CIChRGroup* Group(const std::wstring& name, int subType) {
        auto* g = Node<CIChRGroup>(NodeTypeGroup, name);
        g->m_SubType = subType;
        return g;
    }
    CIChTask* Task(const std::wstring& name) { return Node<CIChTask>(NodeTypeTask, name); }
    CIChResorce* Res(int subType, const std::wstring& path) {
        auto* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        r->m_Id = nextId++;
        r->SetSubType(subType);
        r->SetName(path);
        FILETIME ft = Ft(time++);
        r->SetModifyTime(&ft);
        return r;
    }
    static void Link(CIChNode* lower, CIChNode* upper) { lower->AddUpperLink(upper); }
};

std::wstring ValueText(const _value_t& v) {
    if (v.empty())
        return L"<empty>";
    return std::wstring(as_wstring(v.type().name())) + L":" + v.as_wstring();
}

// A text form of a model that does not depend on IDs: every node with its fields and the names
// of its members.
std::wstring Dump(CIChDataModel& m) {
    std::wostringstream out;
    for (int type : {NodeTypeSubject, NodeTypeJob, NodeTypeTask, NodeTypeGroup, NodeTypeResource}) {
        for (CIChNode* n : *m.GetNodeList(type)) {
            out << type << L" [" << n->m_Name << L"] [" << n->m_Description << L"] t="
                << ((static_cast<unsigned long long>(n->m_ModifyTime.dwHighDateTime) << 32) |
                    n->m_ModifyTime.dwLowDateTime);
            if (type == NodeTypeJob)
                out << L" sub=" << static_cast<CIChJob*>(n)->m_SubType;
            if (type == NodeTypeGroup)
                out << L" sub=" << static_cast<CIChRGroup*>(n)->m_SubType;
            if (type == NodeTypeResource) {
                auto* r = static_cast<CIChResorce*>(n);
                out << L" sub=" << r->m_SubType << L" ctl=" << r->m_Controlled << L" exe=" << r->m_Executable;
                for (const auto& p : r->m_Params)
                    out << L" " << p.first << L"=" << ValueText(p.second);
            }
            std::vector<std::wstring> members;
            for (CIChNode* mem : n->m_Members)
                members.push_back(std::to_wstring(mem->GetType()) + L":" + mem->m_Name);
            std::sort(members.begin(), members.end());
            out << L" members{";
            for (const auto& s : members)
                out << s << L";";
            out << L"}\n";
        }
    }
    return out.str();
}

struct HostScope {
    FHost host;
    HostScope() { SetModelStoreHost(&host); }
    ~HostScope() { SetModelStoreHost(nullptr); }
};

std::wstring LogText(const fakes::CallLog& log) {
    std::wstring s;
    for (const auto& l : log)
        s += l + L"\n";
    return s;
}

// The small model of the golden logs: a file, a disk sector and a registry key in three groups, a
// task over the file and registry groups, the job over the sector group and the task.
void SmallModel(CIChDataModel& m, int edition) {
    Builder b{m};
    b.time = kTime;
    auto* s = b.Subject(L"WS");
    auto* j = b.Job(L"J", edition);
    auto* f = b.Res(ResFile, L"C:\\Windows\\a.dll");
    f->m_Executable = 1;
    auto* d = b.Res(ResDiskSector, L"MBR");
    d->SetDescription(L"Sector");
    d->SetParam(L"DISK", _value_t(0));
    d->SetParam(L"SECTOR", _value_t(63LL));
    auto* k = b.Res(ResRegKey, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\V");
    auto* g1 = b.Group(L"G1", GroupFiles);
    auto* g2 = b.Group(L"G2", GroupDiskSectors);
    auto* g3 = b.Group(L"G3", GroupRegistry);
    auto* t = b.Task(L"T");
    Builder::Link(f, g1);
    Builder::Link(d, g2);
    Builder::Link(k, g3);
    Builder::Link(g1, t);
    Builder::Link(g3, t);
    Builder::Link(g2, j);
    Builder::Link(t, j);
    Builder::Link(j, s);
    for (CIChNode* n : {static_cast<CIChNode*>(s), static_cast<CIChNode*>(j), static_cast<CIChNode*>(g1),
                        static_cast<CIChNode*>(g2), static_cast<CIChNode*>(g3), static_cast<CIChNode*>(t)}) {
        FILETIME ft = Ft(kTime);
        n->SetModifyTime(&ft);
    }
    for (CIChNode* n : *m.GetNodeList(NodeTypeResource)) {
        FILETIME ft = Ft(kTime);
        n->SetModifyTime(&ft);
    }
}

} // namespace

// ----- Golden call logs -----

TEST(ModelStoreGolden, SecondEditionWritesEveryKindInThisOrder) {
    HostScope h;
    auto* db = new FDatabase;
    h.host.fakeStore = SmartPtr<IDatabase>(db);
    h.host.folder = L"C:\\Varno";
    CIChDataModel m;
    SmallModel(m, JobSecondEdition);
    m.m_bModified = 1;
    EXPECT_EQ(0, m.Save(nullptr));
    const std::wstring t = std::to_wstring(kTime);
    std::wstring want = L"Clear\n"
                        L"CreateSubject(WS,,Test OS, 64-bit)\n100.SetTime(" +
                        t +
                        L")\nSetLocalSubject(100)\n"
                        L"CreateJobVarnoZelvane(J,)\n101.SetTime(" +
                        t +
                        L")\n100.AddJob(101)\n"
                        L"CreateFile(C:\\Windows\\a.dll," +
                        t +
                        L",1,1)\n"
                        L"CreateDiskSector(MBR,Sector,0,63," +
                        t +
                        L",1)\n"
                        L"CreateRegistryKey(HKEY_LOCAL_MACHINE\\SOFTWARE\\V," +
                        t +
                        L",1)\n"
                        L"CreateDirectoryFileGroup(G1,," +
                        t +
                        L")\n105.AddFile(102)\n"
                        L"CreateDiskSectorGroup(G2,," +
                        t +
                        L")\n106.AddDiskSector(103)\n"
                        L"CreateRegistryGroup(G3,," +
                        t +
                        L")\n107.AddRegistryKey(104)\n"
                        L"CreateTaskEx(T,," +
                        t +
                        L")\n108.AddDirectoryFileGroup(105)\n108.AddRegistryGroup(107)\n"
                        L"101.AddDiskSectorGroup(106)\n101.AddTask(108)\n"
                        L"GetLocalSubject\n100.GetJobs\n100.GetJobs2\n"
                        L"WriteBootList(bootfile.nam,0)\n101.WriteBootList(bootfile.nam,0)\n"
                        L"WriteBootList(bootsect.nam,2)\n101.WriteBootList(bootsect.nam,2)\n"
                        L"WriteBootList(bootreg.nam,1)\n101.WriteBootList(bootreg.nam,1)\n"
                        L"WriteBootList(bootpci.nam,3)\n101.WriteBootList(bootpci.nam,3)\n"
                        L"WriteBootList(bootsmbs.nam,4)\n101.WriteBootList(bootsmbs.nam,4)\n"
                        L"Commit\n";
    EXPECT_EQ(want, LogText(db->log));
    EXPECT_EQ(1, h.host.closes);
    EXPECT_EQ(0, m.m_bModified);
}

TEST(ModelStoreGolden, BoardEditionWritesFilesAndSectorsOnly) {
    HostScope h;
    auto* db = new FDatabase;
    h.host.fakeStore = SmartPtr<IDatabase>(db);
    h.host.folder = L"C:\\Varno";
    CIChDataModel m;
    SmallModel(m, JobBoard);
    EXPECT_EQ(0, m.Save(nullptr));
    const std::wstring t = std::to_wstring(kTime);
    std::wstring want = L"Clear\n"
                        L"CreateSubject(WS,,Test OS, 64-bit)\n100.SetTime(" +
                        t +
                        L")\nSetLocalSubject(100)\n"
                        L"CreateJobVarno(J,)\n101.SetTime(" +
                        t +
                        L")\n100.AddJob(101)\n"
                        L"CreateFile(C:\\Windows\\a.dll," +
                        t +
                        L",1,1)\n"
                        L"CreateDiskSector(MBR,Sector,0,63," +
                        t +
                        L",1)\n"
                        L"CreateFileGroup(G1,," +
                        t +
                        L")\n104.AddFile(102)\n"
                        L"CreateDiskSectorGroup(G2,," +
                        t +
                        L")\n105.AddDiskSector(103)\n"
                        L"CreateTask(T,," +
                        t +
                        L")\n106.AddFileGroup(104)\n"
                        L"101.AddDiskSectorGroup(105)\n101.AddTask(106)\n"
                        L"GetLocalSubject\n100.GetJobs\n"
                        L"WriteBootList(bootfile.nam,0)\n101.WriteBootList(bootfile.nam,0)\n"
                        L"WriteBootList(bootsect.nam,2)\n101.WriteBootList(bootsect.nam,2)\n"
                        L"WriteBootList(bootreg.nam,1)\n101.WriteBootList(bootreg.nam,1)\n"
                        L"WriteBootList(bootpci.nam,3)\n101.WriteBootList(bootpci.nam,3)\n"
                        L"WriteBootList(bootsmbs.nam,4)\n101.WriteBootList(bootsmbs.nam,4)\n"
                        L"Commit\n";
    EXPECT_EQ(want, LogText(db->log));
}

// A registry value is split at the last backslash of its path, whatever its description says; a
// PCI device writes all eleven properties, also the empty ones; a sector without "SECTOR" is left out.
TEST(ModelStoreGolden, RegistryValuesDevicesAndIncompleteSectors) {
    HostScope h;
    auto* db = new FDatabase;
    h.host.fakeStore = SmartPtr<IDatabase>(db);
    h.host.folder = L"C:\\Varno";
    CIChDataModel m;
    Builder b{m};
    b.Subject(L"WS");
    b.Job(L"J", JobSecondEdition);
    auto* v = b.Res(ResRegValue, std::wstring(L"HKEY_CURRENT_USER\\Software\\V\\a") + kToken + L"b");
    v->SetDescription(L"edited by the user");
    auto* dev = b.Res(ResPciDevice, L"Net");
    dev->SetParam(L"Hardware ID", _value_t(L"PCI\\VEN_1"));
    dev->SetParam(L"Bus Number", _value_t(2));
    auto* sec = b.Res(ResDiskSector, L"Half");
    sec->SetParam(L"DISK", _value_t(1));
    EXPECT_EQ(0, m.Save(nullptr));
    std::wstring log = LogText(db->log);
    EXPECT_NE(std::wstring::npos,
              log.find(std::wstring(L"CreateRegistryValue(HKEY_CURRENT_USER\\Software\\V\\,a") + kToken + L"b,"));
    EXPECT_NE(std::wstring::npos, log.find(L"SetProperty(0,PCI\\VEN_1)\n"));
    EXPECT_EQ(std::wstring::npos, log.find(L"SetProperty(6,"));
    EXPECT_EQ(std::wstring::npos, log.find(L"SetProperty(7,"));
    size_t props = 0;
    for (const auto& l : db->log)
        props += l.find(L".SetProperty(") != std::wstring::npos;
    EXPECT_EQ(11u, props);
    EXPECT_NE(std::wstring::npos, log.find(L"SetProperty(10,2)\n"));
    EXPECT_EQ(std::wstring::npos, log.find(L"CreateDiskSector"));
}

// ----- Save and load through the real provider -----

struct RealStore : ::testing::Test {
    HostScope h;
    std::wstring dir;
    void SetUp() override {
        dir = vtest::ScratchDir(std::wstring(L"model_") +
                                as_wstring(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        h.host.provider = Common::CreateProvider();
        h.host.folder = dir + L"\\Varno";
        RemoveBoardFolder();
    }
    void RemoveBoardFolder() {
        for (const wchar_t* f :
             {L"Localhost.vdb", L"bootfile.nam", L"bootfile.chk", L"bootsect.nam", L"bootsect.chk", L"bootreg.nam",
              L"bootreg.chk", L"bootpci.nam", L"bootpci.chk", L"bootsmbs.nam", L"bootsmbs.chk"})
            DeleteFileW((h.host.folder + L"\\" + f).c_str());
    }
    std::wstring File(const std::wstring& name, const std::string& content) {
        vtest::WriteBytes(dir + L"\\" + name, content);
        return dir + L"\\" + name;
    }
};

// Every kind of node with every field the store keeps, second edition.
void FullModel(CIChDataModel& m, const std::wstring& dir, int edition) {
    Builder b{m};
    auto* s = b.Subject(L"WS-01");
    s->SetDescription(L"Рабочая станция");
    auto* j = b.Job(L"Задание", edition);
    j->SetDescription(L"Контроль целостности");
    Builder::Link(j, s);
    auto* f1 = b.Res(ResFile, dir + L"\\a.exe");
    f1->m_Executable = 1;
    auto* f2 = b.Res(ResFile, dir + L"\\b.dll");
    f2->m_Controlled = 0;
    auto* sec = b.Res(ResDiskSector, L"MBR");
    sec->SetDescription(L"Загрузочный сектор");
    sec->SetParam(L"DISK", _value_t(1));
    sec->SetParam(L"SECTOR", _value_t(0x100000000LL));
    sec->m_Controlled = 0;
    auto* gf = b.Group(L"Files", GroupFiles);
    auto* gs = b.Group(L"Sectors", GroupDiskSectors);
    Builder::Link(f1, gf);
    Builder::Link(f2, gf);
    Builder::Link(sec, gs);
    auto* t = b.Task(L"Task 1");
    Builder::Link(gf, t);
    Builder::Link(gs, j);
    Builder::Link(t, j);
    if (edition == JobBoard)
        return;
    auto* dir1 = b.Res(ResDirectory, dir);
    Builder::Link(dir1, gf);
    auto* key = b.Res(ResRegKey, L"HKEY_CURRENT_USER\\Software\\VICheckTests");
    auto* val = b.Res(ResRegValue, std::wstring(L"HKEY_CURRENT_USER\\Software\\VICheckTests\\x") + kToken + L"y");
    auto* def = b.Res(ResRegValue, L"HKEY_CURRENT_USER\\Software\\VICheckTests\\");
    auto* gr = b.Group(L"Registry", GroupRegistry);
    Builder::Link(key, gr);
    Builder::Link(val, gr);
    Builder::Link(def, gr);
    auto* dev = b.Res(ResPciDevice, L"Сетевая карта");
    dev->SetDescription(L"PCI");
    for (const auto& p : kStorePciProperties)
        dev->SetParam(p.name, p.code == 0 ? _value_t(L"PCI\\VEN_8086&DEV_100E") : _value_t(p.code * 3));
    auto* tbl = b.Res(ResSmbiosTable, L"BIOS\\Type 0");
    auto* fld = b.Res(ResSmbiosField, L"BIOS\\Type 0\\Version");
    for (CIChResorce* r : {tbl, fld}) {
        r->SetParam(L"Table Type", _value_t(0UL));
        r->SetParam(L"Table Length", _value_t(24UL));
        r->SetParam(L"Table Handle", _value_t(0x10UL));
    }
    fld->SetParam(L"Field Type", _value_t(1UL));
    fld->SetParam(L"Field Offset", _value_t(5UL));
    fld->SetParam(L"Field Length", _value_t(1UL));
    auto* gh = b.Group(L"Hardware", GroupHardware);
    Builder::Link(dev, gh);
    Builder::Link(tbl, gh);
    Builder::Link(fld, gh);
    auto* t2 = b.Task(L"Task 2");
    Builder::Link(gr, t2);
    Builder::Link(gh, t2);
    Builder::Link(t2, j);
}

TEST_F(RealStore, SaveThenLoadGivesAnEqualModelInBothEditions) {
    File(L"a.exe", "MZ executable");
    File(L"b.dll", "library");
    for (int edition : {JobBoard, JobSecondEdition}) {
        SCOPED_TRACE(edition);
        RemoveBoardFolder();
        CIChDataModel saved;
        FullModel(saved, dir, edition);
        saved.m_bModified = 1;
        ASSERT_EQ(0, saved.Save(nullptr));
        EXPECT_EQ(0, saved.m_bModified);

        CIChDataModel loaded;
        h.host.answers = {InvalidAnswerNoForAll}; // whatever is missing here loads unchanged
        ASSERT_EQ(0, loaded.Load());
        EXPECT_EQ(Dump(saved), Dump(loaded));
        EXPECT_NE(std::wstring::npos,
                  Dump(loaded).find(L"a.exe] [a.exe] t=" + std::to_wstring(kTime + 2) + L" sub=0 ctl=1 exe=1"));
        EXPECT_EQ(edition == JobBoard ? 3u : 10u, loaded.GetNodeList(NodeTypeResource)->size());
        EXPECT_EQ(0, loaded.m_bModified);
        auto* job = static_cast<CIChJob*>(loaded.GetNodeList(NodeTypeJob)->front());
        EXPECT_EQ(0, job->m_Removable);
        EXPECT_EQ(1, job->m_IsHostBased);
        auto* subject = static_cast<CIChSubject*>(loaded.GetNodeList(NodeTypeSubject)->front());
        EXPECT_EQ(1, subject->m_Local);
        EXPECT_EQ(0, subject->m_Removable);
        // A second save of the loaded model gives the same store.
        std::string first = vtest::ReadBytes(h.host.folder + L"\\bootfile.chk");
        ASSERT_EQ(0, loaded.Save(nullptr));
        EXPECT_EQ(first, vtest::ReadBytes(h.host.folder + L"\\bootfile.chk"));
        CIChDataModel again;
        ASSERT_EQ(0, again.Load());
        EXPECT_EQ(Dump(saved), Dump(again));
    }
    // The board edition leaves out what it cannot keep.
    CIChDataModel full;
    FullModel(full, dir, JobSecondEdition);
    static_cast<CIChJob*>(full.GetNodeList(NodeTypeJob)->front())->m_SubType = JobBoard;
    ASSERT_EQ(0, full.Save(nullptr));
    CIChDataModel cut;
    h.host.answers = {InvalidAnswerNoForAll};
    ASSERT_EQ(0, cut.Load());
    for (CIChNode* r : *cut.GetNodeList(NodeTypeResource))
        EXPECT_TRUE(static_cast<CIChResorce*>(r)->m_SubType == ResFile ||
                    static_cast<CIChResorce*>(r)->m_SubType == ResDiskSector);
    EXPECT_EQ(3u, cut.GetNodeList(NodeTypeResource)->size());
    EXPECT_EQ(3u, cut.GetNodeList(NodeTypeGroup)->size()); // files, sectors, hardware (empty); no registry group
}

// The load indexes the paths of the resources as it makes them: the index is the one a rebuild
// gives, by the loading model's path variables, with the later of two resources of one path.
TEST_F(RealStore, LoadIndexesThePathsAsARebuildDoes) {
    CIChDataModel saved;
    Builder b{saved};
    CIChJob* job = b.Job(L"J", JobSecondEdition);
    Builder::Link(job, b.Subject(L"WS"));
    CIChRGroup* files = b.Group(L"G", GroupFiles);
    CIChRGroup* registry = b.Group(L"R", GroupRegistry);
    for (CIChRGroup* g : {files, registry})
        Builder::Link(g, job);
    for (CIChResorce* r : {b.Res(ResFile, dir + L"\\a.exe"), b.Res(ResFile, dir + L"\\A.EXE"),
                           b.Res(ResFile, L"%KVTEST%\\c.sys"), b.Res(ResDirectory, dir + L"\\sub\\")})
        Builder::Link(r, files);
    Builder::Link(b.Res(ResRegKey, L"HKEY_CURRENT_USER\\Software\\VICheckTests"), registry);
    ASSERT_EQ(0, saved.Save(nullptr)) << (h.host.errors.empty() ? "" : as_string(h.host.errors.back(), CP_UTF8));

    for (int round = 0; round < 2; ++round) { // a second load replaces the first one's index
        SCOPED_TRACE(round);
        CIChDataModel loaded;
        loaded.m_PathVars[dir] = L"%KVTEST%";
        h.host.answers = {InvalidAnswerNoForAll};
        ASSERT_EQ(0, loaded.Load());
        if (round == 1) {
            ASSERT_EQ(0, loaded.Load());
        }
        ASSERT_EQ(5u, loaded.GetNodeList(NodeTypeResource)->size());
        const CPathIndex index = loaded.m_PathIndex;
        loaded.RebuildPathIndex();
        EXPECT_EQ(loaded.m_PathIndex, index);
        EXPECT_EQ(4u, index.size());
        std::wstring upper = dir;
        KvBase::UpperCaseInPlace(upper);
        auto a = index.find(upper + L"\\A.EXE");
        ASSERT_NE(a, index.end());
        EXPECT_EQ(dir + L"\\A.EXE", a->second->m_Name);
        auto c = index.find(upper + L"\\C.SYS");
        ASSERT_NE(c, index.end());
        EXPECT_EQ(L"%KVTEST%\\c.sys", c->second->m_Name);
    }
}

// A save of a model unchanged since its last save leaves the store file as it was written, commit
// time and all. A change of any node value, a store written meanwhile by someone else, and a save
// that failed before its commit or in it are each followed by a save that writes the store, and the
// load gives the model saved.
TEST_F(RealStore, UnchangedModelLeavesTheStoreFileAndEveryChangeIsWritten) {
    File(L"a.exe", "MZ executable");
    File(L"b.dll", "library");
    const std::wstring store = h.host.folder + L"\\Localhost.vdb";
    auto resource = [](CIChDataModel& m, const std::wstring& tail) {
        for (CIChNode* n : *m.GetNodeList(NodeTypeResource))
            if (n->m_Name.size() >= tail.size() &&
                n->m_Name.compare(n->m_Name.size() - tail.size(), tail.size(), tail) == 0)
                return static_cast<CIChResorce*>(n);
        ADD_FAILURE() << "no resource " << as_string(tail, CP_UTF8);
        return static_cast<CIChResorce*>(nullptr);
    };
    // Someone else's store in the file: another provider writes it.
    auto writeOtherStore = [&] {
        auto other = Common::CreateProvider();
        auto db = other->Open(as_string(store, 0).c_str());
        ASSERT_TRUE(db);
        db->Clear();
        db->SetLocalSubject(db->CreateSubject(L"OTHER", L"", L""));
        db->Commit();
        other->Close(db->GetHandle());
    };
    // A folder where a save puts its new file beside the old one makes that write fail.
    struct Blocked {
        std::wstring path;
        explicit Blocked(std::wstring p) : path(std::move(p)) { EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr)); }
        ~Blocked() { RemoveDirectoryW(path.c_str()); }
    };
    struct Case {
        const char* what;
        std::function<void(CIChDataModel&)> change;
        bool written;
    } cases[] = {
        {"nothing", [](CIChDataModel&) {}, false},
        {"a sector's description", [&](CIChDataModel& m) { resource(m, L"MBR")->SetDescription(L"new"); }, true},
        {"a resource taken off control", [&](CIChDataModel& m) { resource(m, L"a.exe")->m_Controlled = 0; }, true},
        {"a resource made not executable", [&](CIChDataModel& m) { resource(m, L"a.exe")->m_Executable = 0; }, true},
        {"a device's property",
         [&](CIChDataModel& m) { resource(m, L"карта")->m_Params[L"VENDOR ID"] = _value_t(L"8087"); }, true},
        {"a sector's number", [&](CIChDataModel& m) { resource(m, L"MBR")->m_Params[L"SECTOR"] = _value_t(64LL); },
         true},
        {"a node's time",
         [&](CIChDataModel& m) {
             FILETIME ft = Ft(kTime + 100);
             m.GetNodeList(NodeTypeGroup)->front()->SetModifyTime(&ft);
         },
         true},
        {"a member taken out of its group",
         [&](CIChDataModel& m) { resource(m, L"b.dll")->UnlinkFrom(m.GetNodeList(NodeTypeGroup)->front()); }, true},
        {"a subject's name", [](CIChDataModel& m) { m.GetNodeList(NodeTypeSubject)->front()->SetName(L"WS-02"); },
         true},
        {"the store written by someone else", [&](CIChDataModel&) { writeOtherStore(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveBoardFolder();
        CIChDataModel m;
        FullModel(m, dir, JobSecondEdition);
        ASSERT_EQ(0, m.Save(nullptr));
        const std::string saved = vtest::ReadBytes(store);
        c.change(m);
        const std::string before = vtest::ReadBytes(store);
        ASSERT_EQ(0, m.Save(nullptr));
        const std::string after = vtest::ReadBytes(store);
        if (c.written)
            EXPECT_NE(before, after);
        else
            EXPECT_EQ(saved, after); // not written again: its commit time is the first save's
        CIChDataModel loaded;
        h.host.answers = {InvalidAnswerNoForAll};
        ASSERT_EQ(0, loaded.Load());
        EXPECT_EQ(Dump(m), Dump(loaded));
    }
    // A save that failed (in its lists, or in its commit) leaves the store as it was; the next save
    // of the changed model writes it.
    for (const wchar_t* blocked : {L"bootfile.nam.new", L"Localhost.vdb.new"}) {
        SCOPED_TRACE(as_string(blocked, CP_UTF8));
        RemoveBoardFolder();
        CIChDataModel m;
        FullModel(m, dir, JobSecondEdition);
        ASSERT_EQ(0, m.Save(nullptr));
        const std::string saved = vtest::ReadBytes(store);
        resource(m, L"a.exe")->m_Controlled = 0;
        {
            Blocked block(h.host.folder + L"\\" + blocked);
            h.host.errors.clear();
            EXPECT_NE(0, m.Save(nullptr));
            EXPECT_FALSE(h.host.errors.empty());
        }
        EXPECT_EQ(saved, vtest::ReadBytes(store));
        ASSERT_EQ(0, m.Save(nullptr));
        EXPECT_NE(saved, vtest::ReadBytes(store));
        CIChDataModel loaded;
        h.host.answers = {InvalidAnswerNoForAll};
        ASSERT_EQ(0, loaded.Load());
        EXPECT_EQ(Dump(m), Dump(loaded));
    }
}

TEST_F(RealStore, BoardListsNameTheJobsObjectsWithMatchingChecksums) {
    std::string a = "MZ executable", b = std::string(100000, 'b');
    File(L"a.exe", a);
    File(L"b.dll", b);
    CIChDataModel m;
    FullModel(m, dir, JobSecondEdition);
    ASSERT_EQ(0, m.Save(nullptr));
    // b.dll is not controlled, so only a.exe is checked.
    EXPECT_EQ(std::vector<std::string>{vtest::Narrow(dir + L"\\a.exe")},
              vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootfile.nam")));
    EXPECT_EQ(std::vector<std::string>{testsha::Sha256Hex(a)},
              vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootfile.chk")));
    auto reg = vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootreg.nam"));
    ASSERT_EQ(3u, reg.size());
    EXPECT_EQ("HKEY_CURRENT_USER\\Software\\VICheckTests", reg[0]);
    EXPECT_TRUE(vtest::ReadBytes(h.host.folder + L"\\bootsect.nam").empty()); // the sector is not controlled
    EXPECT_EQ(std::vector<std::string>{as_string(L"Сетевая карта", CP_UTF8)},
              vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootpci.nam")));
    EXPECT_EQ(2u, vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootsmbs.chk")).size());
}

// Registry names may hold any character; a line of the board lists cannot hold them all. A model
// with values whose names hold line breaks (once both written as the one line "a??b", each with its
// own checksum) is saved whole, the lists leave those values out, and the save names them, every
// character shown, once the store is committed.
TEST_F(RealStore, NamesALineCannotHoldAreSavedLeftOutOfTheListsAndNamed) {
    CIChDataModel m;
    Builder b{m};
    auto* s = b.Subject(L"WS-01");
    auto* j = b.Job(L"Задание", JobSecondEdition);
    Builder::Link(j, s);
    auto* g = b.Group(L"Registry", GroupRegistry);
    Builder::Link(g, j);
    const std::wstring key = L"HKEY_CURRENT_USER\\Software\\VICheckTests\\";
    const std::wstring names[] = {L"a\r\nb", L"a??b", L"a\n\rb", std::wstring(L"x") + wchar_t(0xDC00) + L"\x01"};
    for (const auto& name : names) {
        auto* r = b.Res(ResRegValue, key + name);
        r->SetDescription(name);
        Builder::Link(r, g);
    }
    m.m_bModified = 1;
    ASSERT_EQ(0, m.Save(nullptr));
    EXPECT_EQ(0, m.m_bModified);
    EXPECT_EQ(std::vector<std::string>{as_string(key + L"a??b", CP_UTF8)},
              vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootreg.nam")));
    EXPECT_EQ(1u, vtest::Lines(vtest::ReadBytes(h.host.folder + L"\\bootreg.chk")).size());
    ASSERT_EQ(1u, h.host.errors.size());
    EXPECT_EQ(L"Модель данных сохранена, но эти объекты не включены в списки контроля платы: их имена содержат "
              L"символы, которые строка списка не передаёт без искажения (показаны кодами в квадратных скобках).\n" +
                  key + L"a[CR][LF]b\n" + key + L"a[LF][CR]b\n" + key + L"x[0xDC00][0x01]",
              h.host.errors[0]);

    CIChDataModel loaded;
    h.host.answers = {InvalidAnswerNoForAll};
    ASSERT_EQ(0, loaded.Load());
    EXPECT_EQ(Dump(m), Dump(loaded));
}

// ----- The invalid-resource question -----

TEST_F(RealStore, InvalidResourceAnswersAndActions) {
    struct Case {
        const char* what;
        std::vector<INT_PTR> answers;
        std::vector<int> actions;
        size_t asks;
        std::vector<int> preselected;
        std::wstring loaded; // names of the loaded files, in order, '+' controlled, '-' not, '!' invalid
        int modified;
    } cases[] = {
        {"yes each time, remove", {6, 6, 6}, {}, 3, {0, 0, 0}, L"A+ E-", 1},
        {"yes for all, remove", {8}, {}, 1, {0}, L"A+ E-", 1},
        {"no each time", {7, 7, 7}, {}, 3, {0, 0, 0}, L"A+ B+! C+! D+! E-", 0},
        {"no for all", {9}, {}, 1, {0}, L"A+ B+! C+! D+! E-", 0},
        {"yes off control, then no, then no for all", {6, 7, 9}, {1}, 3, {0, 1, 1}, L"A+ B- C+! D+! E-", 1},
        {"yes for all, off control", {8}, {1}, 1, {0}, L"A+ B- C- D- E-", 1},
        {"no, then yes for all with the remembered action", {7, 8}, {1}, 2, {0, 1}, L"A+ B+! C- D- E-", 1},
    };
    File(L"A", "a");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveBoardFolder();
        {
            auto db = h.host.OpenStore();
            ASSERT_TRUE(db);
            db->SetLocalSubject(db->CreateSubject(L"WS", L"", L""));
            for (const wchar_t* n : {L"A", L"B", L"C", L"D", L"E"})
                db->CreateFile(dir + L"\\" + n, _time_t(1), std::wstring(n) != L"E", false);
            db->Commit();
            h.host.CloseStore(db);
        }
        h.host.answers = c.answers;
        h.host.chosenActions = c.actions;
        h.host.preselected.clear();
        CIChDataModel m;
        ASSERT_EQ(0, m.Load());
        EXPECT_EQ(c.asks, h.host.preselected.size());
        EXPECT_EQ(c.preselected, h.host.preselected);
        std::wstring loaded;
        for (CIChNode* n : *m.GetNodeList(NodeTypeResource)) {
            auto* r = static_cast<CIChResorce*>(n);
            if (!loaded.empty())
                loaded += L" ";
            loaded += r->m_Description + (r->m_Controlled ? L"+" : L"-") + (r->m_Valid ? L"" : L"!");
        }
        EXPECT_EQ(c.loaded, loaded);
        EXPECT_EQ(c.modified, m.m_bModified);
    }
}

// The existence of each stored object is asked once per load, whatever the answer: the question
// and the node share it. Valid, invalid (kept, left out, taken off control) and uncontrolled items.
TEST(ModelStoreLoad, EachResourceExistenceIsAskedOnce) {
    struct Case {
        const char* what;
        INT_PTR answer;
        int action;
        std::wstring loaded; // '+' controlled, '-' not, '!' invalid
    } cases[] = {
        {"no for all", InvalidAnswerNoForAll, 0, L"A+ B+! C-"},
        {"yes for all, leave out", InvalidAnswerYesForAll, 0, L"A+ C-"},
        {"yes for all, off control", InvalidAnswerYesForAll, 1, L"A+ B- C-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostScope h;
        auto* db = new FDatabase;
        h.host.fakeStore = SmartPtr<IDatabase>(db);
        db->local = SmartPtr<ISubject>(db->Make<ISubject>(0, L"WS", L"", &db->subjects));
        auto* a = db->Make<IFile>(1, L"C:\\A", L"A", &db->resources);
        auto* b = db->Make<IFile>(1, L"C:\\B", L"B", &db->resources);
        b->valid = false;
        auto* u = db->Make<IFile>(1, L"C:\\C", L"C", &db->resources);
        u->valid = false;
        u->controlled = false; // not controlled: valid without asking
        h.host.answers = {c.answer};
        h.host.chosenActions = {c.action};
        CIChDataModel m;
        ASSERT_EQ(0, m.Load());
        EXPECT_EQ(1, a->validAsks);
        EXPECT_EQ(1, b->validAsks);
        EXPECT_EQ(0, u->validAsks);
        std::wstring loaded;
        for (CIChNode* n : m.m_Resources) {
            auto* r = static_cast<CIChResorce*>(n);
            loaded += (loaded.empty() ? L"" : L" ") + r->m_Description + (r->m_Controlled ? L"+" : L"-") +
                      (r->m_Valid ? L"" : L"!");
        }
        EXPECT_EQ(c.loaded, loaded);
    }
}

// The validity of many files is answered from folder listings: it is what a request for each file
// gives, for files there, missing, in a folder that does not exist, named in another case, through
// a variable, by a short name, and for a directory stored as a file.
TEST_F(RealStore, FileValidityFromListingsIsWhatEachFileGives) {
    const std::wstring many = dir + L"\\many";
    CreateDirectoryW(many.c_str(), nullptr);
    CreateDirectoryW((many + L"\\sub").c_str(), nullptr);
    CreateDirectoryW((many + L"\\Long folder name").c_str(), nullptr);
    std::vector<std::wstring> names;
    for (int i = 0; i < 12; ++i) {
        std::wstring name = many + L"\\f" + std::to_wstring(i) + L".dll";
        if (i % 3 != 2)
            vtest::WriteBytes(name, "x");
        names.push_back(i == 4 ? strupper(name) : name);
    }
    names.push_back(many + L"\\sub");                          // a directory, stored as a file
    names.push_back(many + L"\\Long folder name\\..\\f0.dll"); // not a plain path
    names.push_back(many + L"\\f0.dll.");                      // the platform trims the dot
    SetEnvironmentVariableW(L"KV_LISTING_DIR", many.c_str());
    names.push_back(L"%KV_LISTING_DIR%\\f1.dll");
    wchar_t shortName[MAX_PATH] = {};
    vtest::WriteBytes(many + L"\\A long file name.dll", "x");
    if (GetShortPathNameW((many + L"\\A long file name.dll").c_str(), shortName, MAX_PATH))
        names.push_back(shortName);
    for (int i = 0; i < 10; ++i)
        names.push_back(dir + L"\\absent-folder\\f" + std::to_wstring(i) + L".dll");
    {
        auto db = h.host.OpenStore();
        ASSERT_TRUE(db);
        db->SetLocalSubject(db->CreateSubject(L"WS", L"", L""));
        for (const auto& n : names)
            db->CreateFile(n, _time_t(1), true, false);
        db->Commit();
        h.host.CloseStore(db);
    }
    h.host.answers = {InvalidAnswerNoForAll};
    CIChDataModel m;
    ASSERT_EQ(0, m.Load());
    ASSERT_EQ(names.size(), m.m_Resources.size());
    size_t i = 0, valid = 0;
    for (CIChNode* n : m.m_Resources) {
        wchar_t expanded[MAX_PATH] = {};
        ExpandEnvironmentStringsW(names[i].c_str(), expanded, MAX_PATH);
        const DWORD a = GetFileAttributesW(expanded);
        const int exists = a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(exists, static_cast<CIChResorce*>(n)->m_Valid) << as_string(names[i], CP_UTF8);
        valid += exists;
        ++i;
    }
    EXPECT_GE(valid, 10u);
    SetEnvironmentVariableW(L"KV_LISTING_DIR", nullptr);
}

// ----- Listings made while the store is read -----

namespace {

// The answers of the listings for the store's controlled files, in order, with the existence told
// of the resources while the store was read or not.
struct ListingRun {
    std::vector<int> answers;
    bool tookTold = false;
    size_t listed = 0;
};

ListingRun ListingAnswers(FHost& host, bool told, CFolderLister lister = ListFolder) {
    ListingRun run;
    CFileExistence existence(std::move(lister));
    host.provider->SetReadWatcher(told ? &existence : nullptr);
    auto db = host.OpenStore();
    host.provider->SetReadWatcher(nullptr);
    if (!db) {
        ADD_FAILURE() << "the store did not open";
        return run;
    }
    std::vector<SmartPtr<IResource>> asked;
    for (const auto& item : vtest::Items(db->GetResources())) {
        SmartPtr<IResource> r = item_cast<IResource>(item);
        if (CFileExistence::IsListedKind(r))
            asked.push_back(r);
    }
    existence.Settle(asked);
    for (size_t i = 0; i < asked.size(); ++i)
        run.answers.push_back(existence.Next());
    run.tookTold = existence.TookToldResources();
    run.listed = existence.ListedFolders();
    host.CloseStore(db);
    return run;
}

// A folder "many" of twelve files, every third missing, with a directory "sub" stored as a file;
// a folder "few" of three files, one missing (asked about one by one); ten files of an absent
// folder; a registry key and a file off control (not asked about). The answers expected from the
// listings, in order.
std::vector<int> ListingStore(FHost& host, const std::wstring& dir) {
    const std::wstring many = dir + L"\\many", few = dir + L"\\few";
    CreateDirectoryW(many.c_str(), nullptr);
    CreateDirectoryW((many + L"\\sub").c_str(), nullptr);
    CreateDirectoryW(few.c_str(), nullptr);
    std::vector<std::pair<std::wstring, int>> files;
    for (int i = 0; i < 12; ++i) {
        std::wstring name = many + L"\\f" + std::to_wstring(i) + L".dll";
        if (i % 3 != 2)
            vtest::WriteBytes(name, "x");
        else
            DeleteFileW(name.c_str());
        files.emplace_back(name, i % 3 != 2 ? 1 : -1); // a name the listing lacks is asked about
    }
    files.emplace_back(many + L"\\sub", 0);
    for (int i = 0; i < 3; ++i) {
        std::wstring name = few + L"\\f" + std::to_wstring(i) + L".dll";
        if (i != 1)
            vtest::WriteBytes(name, "x");
        files.emplace_back(name, -1);
    }
    for (int i = 0; i < 10; ++i)
        files.emplace_back(dir + L"\\absent-folder\\f" + std::to_wstring(i) + L".dll", 0);
    auto db = host.OpenStore();
    EXPECT_TRUE(db);
    std::vector<int> expected;
    if (!db)
        return expected;
    db->SetLocalSubject(db->CreateSubject(L"WS", L"", L""));
    for (size_t i = 0; i < files.size(); ++i) {
        db->CreateFile(files[i].first, _time_t(1), true, false);
        expected.push_back(files[i].second);
        if (i == 4) {
            db->CreateRegistryKey(L"HKEY_CURRENT_USER\\Software", _time_t(1), true);
            db->CreateFile(many + L"\\f0.dll", _time_t(1), false, false);
        }
    }
    db->Commit();
    host.CloseStore(db);
    // A provider of its own reads the file (the one that wrote it would take its items from memory
    // and read nothing).
    host.provider = Common::CreateProvider();
    return expected;
}

} // namespace

// The listings made on their own thread while the store is read answer as the listings made when
// each folder is first asked about; a store whose resources were not told of while it was read is
// listed then.
TEST_F(RealStore, ListingsWhileTheStoreIsReadAnswerAsListingsAfterIt) {
    const std::vector<int> expected = ListingStore(h.host, dir);
    for (bool told : {true, false}) {
        SCOPED_TRACE(told ? "told while read" : "not told");
        const ListingRun run = ListingAnswers(h.host, told);
        EXPECT_EQ(told, run.tookTold);
        EXPECT_EQ(expected, run.answers);
        EXPECT_EQ(2u, run.listed); // "many" and the absent folder
    }
}

// What a listing made while the store is read gives when it fails, when its folder vanishes
// before it, or when it fails after it has found some entries: the files of a folder that cannot
// be listed are left to be asked about one by one; those of a vanished folder do not exist.
TEST_F(RealStore, ListingsThatFailOrFindTheFolderGoneWhileTheStoreIsRead) {
    const std::wstring many = dir + L"\\many";
    struct Case {
        const char* what;
        CFolderLister lister;
        int manyAnswer; // -2: the answers of a listing as it should be
    } cases[] = {
        {"the listing fails",
         [](const std::wstring&, CFolderEntries&, const std::atomic<bool>&) { return FolderListing::Unknown; }, -1},
        {"the listing fails part-way",
         [](const std::wstring& folder, CFolderEntries& entries, const std::atomic<bool>& stop) {
             ListFolder(folder, entries, stop);
             return FolderListing::Unknown;
         },
         -1},
        {"the folder vanishes before its listing",
         [many](const std::wstring& folder, CFolderEntries& entries, const std::atomic<bool>& stop) {
             if (folder == strupper(many + L"\\")) {
                 for (int i = 0; i < 12; ++i)
                     DeleteFileW((many + L"\\f" + std::to_wstring(i) + L".dll").c_str());
                 RemoveDirectoryW((many + L"\\sub").c_str());
                 EXPECT_TRUE(RemoveDirectoryW(many.c_str()));
             }
             return ListFolder(folder, entries, stop);
         },
         0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveBoardFolder();
        const std::vector<int> expected = ListingStore(h.host, dir);
        const ListingRun run = ListingAnswers(h.host, true, c.lister);
        EXPECT_TRUE(run.tookTold);
        ASSERT_EQ(expected.size(), run.answers.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const bool inMany = i < 13, absent = i >= 16;
            const int want = inMany ? c.manyAnswer : absent && c.manyAnswer == -1 ? -1 : expected[i];
            EXPECT_EQ(want, run.answers[i]) << i;
        }
    }
}

// A load that ends before its listings do stops them: the existence dropped while its thread lists
// waits only for the listing under way, which gives up; a store file that fails after its
// resources were told of fails the load as before, and the store can be read again after it.
TEST_F(RealStore, ALoadEndedEarlyStopsItsListings) {
    {
        auto db = h.host.OpenStore();
        ASSERT_TRUE(db);
        db->SetLocalSubject(db->CreateSubject(L"WS", L"", L""));
        for (int i = 0; i < 400; ++i) // enough to be handed to the listing thread while the file is read
            db->CreateFile(dir + L"\\absent" + std::to_wstring(i / 8) + L"\\f" + std::to_wstring(i) + L".dll",
                           _time_t(1), true, false);
        db->Commit();
        h.host.CloseStore(db);
        h.host.provider = Common::CreateProvider(); // one that reads the file
    }
    std::atomic<int> calls{0};
    std::atomic<bool> sawStop{false};
    {
        CFileExistence existence([&](const std::wstring&, CFolderEntries&, const std::atomic<bool>& stop) {
            ++calls;
            for (int waited = 0; !stop && waited < 20000; ++waited)
                Sleep(1);
            sawStop = stop.load();
            return FolderListing::Unknown;
        });
        h.host.provider->SetReadWatcher(&existence);
        auto db = h.host.OpenStore();
        h.host.provider->SetReadWatcher(nullptr);
        ASSERT_TRUE(db);
        h.host.CloseStore(db);
        for (int waited = 0; calls == 0 && waited < 20000; ++waited)
            Sleep(1);
    }
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(sawStop);

    CIChDataModel m;
    SmallModel(m, JobSecondEdition);
    const std::wstring before = Dump(m);
    const std::wstring store = h.host.folder + L"\\Localhost.vdb";
    const std::string good = vtest::ReadBytes(store);
    std::string damaged = good;
    damaged.resize(damaged.find("</Resources>") + 12);
    vtest::WriteBytes(store, damaged);
    EXPECT_EQ(1627, m.Load());
    EXPECT_EQ(before, Dump(m));
    vtest::WriteBytes(store, good);
    h.host.answers = {InvalidAnswerNoForAll};
    ASSERT_EQ(0, m.Load());
    EXPECT_EQ(400u, m.m_Resources.size());
    EXPECT_EQ(0, static_cast<CIChResorce*>(m.m_Resources.back())->m_Valid);
}

// ----- Job fallbacks of the load (store kinds the provider never makes) -----

TEST(ModelStoreLoad, JobFallbacks) {
    struct Case {
        const char* what;
        int where; // 0 subject's board jobs, 1 subject's second-edition jobs, 2 the store's jobs only
        int kind;
        int subType;
        bool linked;
    } cases[] = {
        {"board job of the subject", 0, 1, JobBoard, true},
        {"second collection when the first is empty", 1, 2, JobSecondEdition, true},
        {"the store's job, not linked", 2, 2, JobSecondEdition, false},
        {"an unknown kind loads as the second edition", 2, 3, JobSecondEdition, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostScope h;
        auto* db = new FDatabase;
        h.host.fakeStore = SmartPtr<IDatabase>(db);
        auto* subject = db->Make<ISubject>(0, L"WS", L"", &db->subjects);
        db->local = SmartPtr<ISubject>(subject);
        auto* file = db->Make<IFile>(1, L"C:\\x.dll", L"x.dll", &db->resources);
        auto* group = db->Make<IFileGroup>(1, L"G", L"", &db->groups);
        group->m0.push_back(SmartPtr<StoreItem>(static_cast<StoreItem*>(file)));
        auto* job = db->Make<IJobVarnoZelvane>(c.kind, L"J", L"", &db->jobs);
        job->m0.push_back(SmartPtr<StoreItem>(static_cast<StoreItem*>(group)));
        if (c.where < 2)
            (c.where == 0 ? subject->m0 : subject->m1).push_back(SmartPtr<StoreItem>(static_cast<StoreItem*>(job)));
        CIChDataModel m;
        ASSERT_EQ(0, m.Load());
        ASSERT_EQ(1u, m.GetNodeList(NodeTypeJob)->size());
        auto* j = static_cast<CIChJob*>(m.GetNodeList(NodeTypeJob)->front());
        EXPECT_EQ(c.subType, j->m_SubType);
        EXPECT_EQ(c.linked, !j->m_Uppers.empty());
        ASSERT_EQ(1u, j->m_Members.size());
        EXPECT_EQ(L"G", j->m_Members.front()->m_Name);
        EXPECT_EQ(1, h.host.closes);
    }
}

// ----- Failures lose nothing and do not pass for success -----

TEST(ModelStoreFailures, FailedLoadsLeaveTheModelAsItWas) {
    HostScope h;
    CIChDataModel m;
    SmallModel(m, JobSecondEdition);
    m.m_bModified = 1;
    const std::wstring before = Dump(m);

    h.host.failOpen = true;
    EXPECT_EQ(1627, m.Load());
    EXPECT_EQ(before, Dump(m));
    EXPECT_EQ(1, m.m_bModified);

    h.host.failOpen = false;
    auto* empty = new FDatabase; // no subject of this computer
    h.host.fakeStore = SmartPtr<IDatabase>(empty);
    EXPECT_EQ(1627, m.Load());
    EXPECT_EQ(before, Dump(m));
    EXPECT_EQ(1, m.m_bModified);
    EXPECT_EQ(1, h.host.closes);

    // A store that fails half-way: a group stands among the resources.
    auto* bad = new FDatabase;
    bad->local = SmartPtr<ISubject>(bad->Make<ISubject>(0, L"WS", L"", &bad->subjects));
    bad->Make<IFile>(1, L"C:\\ok.dll", L"ok.dll", &bad->resources);
    bad->Make<IFileGroup>(1, L"not a resource", L"", &bad->resources);
    h.host.fakeStore = SmartPtr<IDatabase>(bad);
    EXPECT_THROW(m.Load(), EBadCastException);
    EXPECT_EQ(before, Dump(m));
    EXPECT_EQ(1, m.m_bModified);
    EXPECT_EQ(2, h.host.closes); // closed through the application on the error path too
}

TEST(ModelStoreFailures, SaveReportsWhatWasNotDone) {
    struct Case {
        const char* what;
        std::function<void(FDatabase&, CIChDataModel&)> arrange;
        std::wstring error; // the error dialog's text; empty: no dialog
        bool committed;
    } cases[] = {
        {"the store refuses an item", [](FDatabase& db, CIChDataModel&) { db.failOnName = L"C:\\Windows\\a.dll"; },
         L"Код: 0x80070005\nТекст: хранилище отказало", false},
        {"the store gives another kind", [](FDatabase& db, CIChDataModel&) { db.wrongKindFor = L"C:\\Windows\\a.dll"; },
         L"*", false},
        {"the commit fails", [](FDatabase& db, CIChDataModel&) { db.failCommit = true; },
         L"Код: 0x00000070\nТекст: disk full", true},
        {"no job of a known edition",
         [](FDatabase&, CIChDataModel& m) {
             static_cast<CIChJob*>(m.GetNodeList(NodeTypeJob)->front())->m_SubType = 5;
         },
         L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostScope h;
        auto* db = new FDatabase;
        h.host.fakeStore = SmartPtr<IDatabase>(db);
        h.host.folder = L"C:\\Varno";
        CIChDataModel m;
        SmallModel(m, JobSecondEdition);
        m.m_bModified = 1;
        c.arrange(*db, m);
        long long out = 5;
        EXPECT_NE(0, m.Save(&out));
        EXPECT_EQ(0, out);
        EXPECT_EQ(1, m.m_bModified);
        EXPECT_EQ(1, h.host.closes);
        EXPECT_EQ(c.committed, std::find(db->log.begin(), db->log.end(), L"Commit") != db->log.end());
        if (c.error.empty()) {
            EXPECT_TRUE(h.host.errors.empty());
        } else {
            ASSERT_EQ(1u, h.host.errors.size());
            if (c.error != L"*") {
                EXPECT_EQ(c.error, h.host.errors[0]);
            }
        }
    }
}

// A save that leaves many objects out of the board lists names the first twenty and counts the rest.
TEST(ModelStoreFailures, SaveNamesTwentyObjectsLeftOutOfTheListsAndCountsTheRest) {
    HostScope h;
    auto* db = new FDatabase;
    h.host.fakeStore = SmartPtr<IDatabase>(db);
    h.host.folder = L"C:\\Varno";
    std::wstring named;
    for (int i = 1; i <= 23; ++i) {
        std::wstring name = L"HKEY_CURRENT_USER\\Software\\v" + std::to_wstring(i) + L"\t";
        db->Make<IRegistryValue>(4, name, L"", &db->refused);
        if (i <= 20)
            named += L"\nHKEY_CURRENT_USER\\Software\\v" + std::to_wstring(i) + L"[TAB]";
    }
    CIChDataModel m;
    SmallModel(m, JobSecondEdition);
    m.m_bModified = 1;
    EXPECT_EQ(0, m.Save(nullptr));
    ASSERT_EQ(1u, h.host.errors.size());
    EXPECT_EQ(L"Модель данных сохранена, но эти объекты не включены в списки контроля платы: их имена содержат "
              L"символы, которые строка списка не передаёт без искажения (показаны кодами в квадратных скобках)." +
                  named + L"\n... и ещё 3",
              h.host.errors[0]);
}

// The text of the save's error dialog: the code from "Code" (an int) or else "HRESULT" (a long),
// both as eight hex digits; the text from "Text" or else "Error" when they hold strings.
TEST(ModelStoreFailures, SaveErrorTextTakesTheCodeAndTextItWasGiven) {
    const struct {
        const char* what;
        std::function<void(EGeneric&)> fill;
        const wchar_t* text;
    } cases[] = {
        {"code and text",
         [](EGeneric& e) {
             e["Code"] = _value_t(0x70);
             e["Text"] = _value_t("disk full");
         },
         L"Код: 0x00000070\nТекст: disk full"},
        {"a system error: the HRESULT in hex, never its decimal form",
         [](EGeneric& e) {
             e["HRESULT"] = _value_t(static_cast<long>(0x80070005));
             e["Error"] = _value_t(5);
             e["Text"] = _value_t(L"Отказано в доступе.");
         },
         L"Код: 0x80070005\nТекст: Отказано в доступе."},
        {"Code before HRESULT",
         [](EGeneric& e) {
             e["HRESULT"] = _value_t(static_cast<long>(0x80004005));
             e["Code"] = _value_t(2);
         },
         L"Код: 0x00000002\nТекст: "},
        {"Error when there is no Text", [](EGeneric& e) { e["Error"] = _value_t("store closed"); },
         L"Код: \nТекст: store closed"},
        {"a Code that is not an int and a Text that is not a string",
         [](EGeneric& e) {
             e["Code"] = _value_t("12");
             e["Text"] = _value_t(7);
         },
         L"Код: \nТекст: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EGeneric e;
        c.fill(e);
        EXPECT_EQ(c.text, FormatStoreErrorText(e));
    }
}

// With no board folder nothing is written anywhere, least of all into the current folder.
TEST(ModelStoreFailures, SaveWithoutBoardFolderSaysSoAndWritesNothing) {
    HostScope h;
    h.host.provider = Common::CreateProvider();
    CIChDataModel m;
    SmallModel(m, JobSecondEdition);
    m.m_bModified = 1;
    EXPECT_EQ(1627, m.Save(nullptr));
    ASSERT_EQ(1u, h.host.errors.size());
    EXPECT_EQ(L"Не найден локальный жесткий диск для папки платы \"Varno\".\n"
              L"Модель данных не сохранена: хранилище и списки контроля платы записать некуда.",
              h.host.errors[0]);
    EXPECT_EQ(1, m.m_bModified);
    EXPECT_EQ(0, h.host.closes);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"bootfile.nam"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"Localhost.vdb"));
}

// ----- Export and import of model files -----

TEST_F(RealStore, ImportTakesWhatTheCurrentEditionKeeps) {
    File(L"a.exe", "a");
    File(L"b.dll", "b");
    std::wstring file = dir + L"\\model.xml";
    DeleteFileW(file.c_str());
    CIChDataModel source;
    FullModel(source, dir, JobSecondEdition);
    ASSERT_EQ(0, source.ExportToStore(file));

    CIChDataModel main;
    Builder{main}.Job(L"Main job", JobBoard)->m_Id = 77;
    h.host.mainModel = &main;
    h.host.answers = {InvalidAnswerNoForAll};

    CIChDataModel all;
    ASSERT_EQ(0, all.ImportFromStore(file, 15));
    for (CIChNode* r : *all.GetNodeList(NodeTypeResource)) {
        int st = static_cast<CIChResorce*>(r)->m_SubType;
        EXPECT_TRUE(st == ResFile || st == ResDiskSector) << st;
    }
    EXPECT_EQ(3u, all.GetNodeList(NodeTypeResource)->size());
    std::vector<std::wstring> groups;
    for (CIChNode* g : *all.GetNodeList(NodeTypeGroup))
        groups.push_back(g->m_Name);
    EXPECT_EQ((std::vector<std::wstring>{L"Files", L"Sectors"}), groups);
    // The job copy is the main model's job; the file has no board job, so its last job's members
    // are linked under the copy.
    ASSERT_EQ(1u, all.GetNodeList(NodeTypeJob)->size());
    auto* job = static_cast<CIChJob*>(all.GetNodeList(NodeTypeJob)->front());
    EXPECT_EQ(L"Main job", job->m_Name);
    EXPECT_EQ(77, job->m_Id);
    EXPECT_EQ(JobBoard, job->m_SubType);
    EXPECT_EQ(3u, job->m_Members.size()); // Sectors, Task 1, Task 2

    CIChDataModel jobsAndTasks;
    ASSERT_EQ(0, jobsAndTasks.ImportFromStore(file, 8 | 4));
    EXPECT_TRUE(jobsAndTasks.GetNodeList(NodeTypeGroup)->empty());
    EXPECT_TRUE(jobsAndTasks.GetNodeList(NodeTypeResource)->empty());
    ASSERT_EQ(1u, jobsAndTasks.GetNodeList(NodeTypeJob)->size());
    EXPECT_EQ(2u, jobsAndTasks.GetNodeList(NodeTypeJob)->front()->m_Members.size());

    h.host.mainModel = nullptr; // no edition: nothing imported
    CIChDataModel none;
    EXPECT_EQ(static_cast<int>(E_FAIL), none.ImportFromStore(file, 15));
    EXPECT_EQ(static_cast<int>(E_FAIL), none.ImportFromStore(dir + L"\\missing\\x.xml", 15));
    EXPECT_EQ(0, h.host.provider->GetOpenCount());
}

// A model file holding a disk sector of a negative number is refused by the import, with the
// item named; nothing comes in, so no later save or export can fail on it. A model that holds
// such a sector anyway (made by hand) fails its export and its save naming the resource, and the
// export writes nothing.
TEST_F(RealStore, NegativeSectorIsRefusedWhenItComesInAndNamedWhenItStopsASave) {
    CIChDataModel main;
    Builder{main}.Job(L"Main job", JobSecondEdition);
    h.host.mainModel = &main;
    const std::wstring file = File(L"sector.xml", "<VarnoStore version=\"1\"><Resources>"
                                                  "<Resource id=\"1\" kind=\"5\" name=\"PhysicalDrive0 LBA\" "
                                                  "disk=\"0\" sector=\"-1\"/></Resources></VarnoStore>");
    CIChDataModel imported;
    EXPECT_EQ(static_cast<int>(E_FAIL), imported.ImportFromStore(file, 15));
    EXPECT_TRUE(imported.m_Resources.empty());
    EXPECT_NE(std::wstring::npos, imported.m_LastStoreError.find(L"\"PhysicalDrive0 LBA\""))
        << imported.m_LastStoreError;
    EXPECT_NE(std::wstring::npos, imported.m_LastStoreError.find(L"-1")) << imported.m_LastStoreError;
    EXPECT_EQ(0, h.host.provider->GetOpenCount());
    // The same file with a sector the store holds comes in.
    const std::wstring good = File(L"sector-good.xml", "<VarnoStore version=\"1\"><Resources>"
                                                       "<Resource id=\"1\" kind=\"5\" name=\"PhysicalDrive0 LBA\" "
                                                       "disk=\"0\" sector=\"7\"/></Resources></VarnoStore>");
    EXPECT_EQ(0, imported.ImportFromStore(good, 15));
    EXPECT_TRUE(imported.m_LastStoreError.empty());
    ASSERT_EQ(1u, imported.m_Resources.size());

    CIChDataModel m;
    Builder b{m};
    auto* job = b.Job(L"J", JobSecondEdition);
    Builder::Link(job, b.Subject(L"WS"));
    auto* group = b.Group(L"Sectors", GroupDiskSectors);
    Builder::Link(group, job);
    auto* sector = b.Res(ResDiskSector, L"Сектор -1");
    sector->SetParam(L"DISK", _value_t(0));
    sector->SetParam(L"SECTOR", _value_t(-1LL));
    Builder::Link(sector, group);
    const std::wstring out = dir + L"\\sector-out.xml";
    DeleteFileW(out.c_str());
    EXPECT_NE(0, m.ExportToStore(out));
    EXPECT_NE(std::wstring::npos, m.m_LastStoreError.find(L"\"Сектор -1\"")) << m.m_LastStoreError;
    EXPECT_EQ(0, h.host.provider->GetOpenCount());
    auto written = h.host.provider->Open(vtest::Narrow(out).c_str());
    ASSERT_TRUE(written);
    EXPECT_EQ(0, written->GetItemCount()); // nothing committed
    h.host.provider->Close(written->GetHandle());
    m.m_bModified = 1;
    EXPECT_NE(0, m.Save(nullptr));
    ASSERT_EQ(1u, h.host.errors.size());
    EXPECT_NE(std::wstring::npos, h.host.errors[0].find(L"\"Сектор -1\"")) << h.host.errors[0];
    EXPECT_EQ(1, m.m_bModified);
}

// An import without the merge flag of a file with 1 000 groups and 1 000 tasks of one name (made
// here): every one comes in under the first free name of Name, Name1, Name2..., around the names
// the model holds.
TEST_F(RealStore, ImportOfManyNodesOfOneNameNumbersThem) {
    const std::wstring file = dir + L"\\same-names.xml";
    DeleteFileW(file.c_str());
    {
        KvCmdSequence::CMachineViewScope view; // the tasks read the machine once
        CIChDataModel source;
        Builder b{source};
        auto* job = b.Job(L"J", JobSecondEdition);
        Builder::Link(job, b.Subject(L"WS"));
        for (int i = 0; i < 1000; ++i) {
            auto* g = b.Group(L"Группа", GroupFiles);
            Builder::Link(b.Res(ResFile, L"C:\\same\\f" + std::to_wstring(i) + L".dll"), g);
            auto* t = b.Task(L"Задача");
            Builder::Link(g, t);
            Builder::Link(t, job);
        }
        ASSERT_EQ(0, source.ExportToStore(file));
    }
    CIChDataModel main;
    main.NewModel(1, JobSecondEdition);
    Builder b{main};
    b.nextId = 100;
    Builder::Link(b.Group(L"группа", GroupFiles), main.m_Jobs.front());
    b.Task(L"Задача1");
    main.CalcNextIds();
    h.host.mainModel = &main;
    CIChDataModel read;
    ASSERT_EQ(0, read.ImportFromStore(file, 15));
    main.RebuildPathIndex();
    EXPECT_EQ(3000, main.TakeImported(read, 15, 0));
    std::set<std::wstring> groups, tasks;
    for (CIChNode* g : main.m_Groups)
        EXPECT_TRUE(groups.insert(strupper(g->m_Name)).second) << g->m_Name;
    for (CIChNode* t : main.m_Tasks)
        EXPECT_TRUE(tasks.insert(strupper(t->m_Name)).second) << t->m_Name;
    EXPECT_EQ(1001u, groups.size());
    EXPECT_EQ(1001u, tasks.size());
    EXPECT_EQ(1u, groups.count(strupper(L"Группа1000")));
    EXPECT_EQ(0u, groups.count(strupper(L"Группа1001")));
    // The model's task holds Задача1: the file's take Задача, then Задача2 to Задача1000.
    EXPECT_EQ(1u, tasks.count(strupper(L"Задача")));
    EXPECT_EQ(1u, tasks.count(strupper(L"Задача1000")));
    EXPECT_EQ(0u, tasks.count(strupper(L"Задача1001")));
}

TEST_F(RealStore, ExportWithoutEditionReportsFailure) {
    std::wstring file = dir + L"\\noedition.xml";
    DeleteFileW(file.c_str());
    CIChDataModel m;
    Builder{m}.Res(ResFile, L"C:\\x.dll");
    EXPECT_NE(0, m.ExportToStore(file));
    EXPECT_EQ(0, h.host.provider->GetOpenCount());
    auto db = h.host.provider->Open(vtest::Narrow(file).c_str());
    ASSERT_TRUE(db);
    EXPECT_EQ(0, db->GetItemCount()); // nothing committed
    h.host.provider->Close(db->GetHandle());
    EXPECT_EQ(static_cast<int>(E_FAIL), m.ExportToStore(dir + L"\\missing\\x.xml"));
}
