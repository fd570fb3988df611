// The workstation resource source under Wine over a real store: the store is seeded through the
// provider into the folder the plug-in reads (Varno on the prefix's first fixed drive), the
// request is written by the request writer, the plug-in runs on its own thread, and the response
// is built into the report file with KvReportBuild and the real template (x86-64).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <VCore.h>

#include "ReportTestUtil.h"
#include "KvReportDataSource.h"
#include "ReportRequest.h"
#include "StoreFolderUtil.h"
#include "kvrtf.h"

using namespace KvReportTest;
using namespace KvResourceTest;
using namespace Varno;
using KvRtf::BracesBalance;
using KvRtf::Count;
using KvRtf::RtfText;

namespace {

#ifdef _WIN64
const wchar_t kPlugin[] = L"VrnResourceRpt64.dll";
const wchar_t kSubsystem[] = L"VrnResourceRpt64";
#else
const wchar_t kPlugin[] = L"VrnResourceRpt.dll";
const wchar_t kSubsystem[] = L"VrnResourceRpt";
#endif

const long long kTopBit = (long long)0x8000000000000000ull;

void RemoveStoreFolder() {
    std::wstring folder = StoreFolder();
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + L"\\" + fd.cFileName).c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring Var(const wchar_t* name) {
    wchar_t value[1024] = {};
    GetEnvironmentVariableW(name, value, 1024);
    return value;
}

std::string Narrow(const std::wstring& s) { return as_string(s, CP_ACP); }

// Gives the items of the committed store file new IDs (the form items of the board's own
// configuration have: the top bit set), links included.
void RewriteIds(const std::wstring& path, const std::vector<std::pair<long long, long long>>& ids) {
    std::string text = ReadBytes(path);
    for (const auto& id : ids) {
        std::string from = " id=\"" + std::to_string(id.first) + "\"";
        std::string to = " id=\"" + std::to_string(id.second) + "\"";
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }
    ASSERT_NO_FATAL_FAILURE(WriteBytes(path, text));
}

// An empty store in the plug-in's store folder, open for filling.
SmartPtr<IDatabase> OpenFreshStore(const SmartPtr<IProvider>& provider) {
    CreateDirectoryW(StoreFolder().c_str(), nullptr);
    DeleteFileW(StorePath().c_str());
    SmartPtr<IDatabase> db = provider->Open(Narrow(StorePath()).c_str());
    EXPECT_TRUE(db) << Narrow(provider->GetLastErrorText());
    return db;
}

// Ties the subject to the store as this computer's, commits and closes.
void CommitStore(const SmartPtr<IProvider>& provider, const SmartPtr<IDatabase>& db,
                 const SmartPtr<ISubject>& subject) {
    db->SetLocalSubject(subject);
    db->Commit();
    provider->Close(db->GetHandle());
}

// What the seeded store holds and what the report must show of it.
struct SSeeded {
    std::vector<std::wstring> files, registry, sectors;
};

// A subject whose board-job collection is empty; its job of the second edition has file,
// directory, registry, disk-sector and hardware groups and a task that repeats the registry group.
SSeeded SeedStore() {
    SSeeded expect;
    SmartPtr<IProvider> provider = Common::CreateProvider();
    SmartPtr<IDatabase> db = OpenFreshStore(provider);
    if (!db)
        return expect;
    _time_t t = _time_t::now();
    auto file = [&](const wchar_t* name, bool on) { return checked_cast<IFile>(db->CreateFile(name, t, on, false)); };
    auto F1 = file(L"%SystemRoot%\\neg.dll", true);                                           // 1, top bit set below
    auto F2 = file(L"%SystemRoot%\\system32\\kernel32.dll", true);                            // 2
    auto F3 = file(L"C:\\Data\\off.txt", false);                                              // 3
    auto F4 = file(L"%ProgramFiles%\\App\\%ProgramFiles%.txt", true);                         // 4
    auto F5 = file(L"%SystemRoot%\\%ProgramFiles%\\two.txt", true);                           // 5
    auto F6 = file(L"C:\\50%\\odd%name%.txt", true);                                          // 6
    auto D1 = checked_cast<IDirectory>(db->CreateDirectory(L"%SystemRoot%\\Fonts", t, true)); // 7
    auto F7 = file(L"%KVRES_NOT_DEFINED%\\x.dll", true);                                      // 8
    auto R1 =
        checked_cast<IRegistryKey>(db->CreateRegistryKey(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\%SystemRoot%", t, true)); // 9
    auto R2 = checked_cast<IRegistryValue>(
        db->CreateRegistryValue(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Kv", L"Name", t, true));                           // 10
    auto R3 = checked_cast<IRegistryKey>(db->CreateRegistryKey(L"HKEY_CURRENT_USER\\Software\\Off", t, false));    // 11
    auto S1 = checked_cast<IDiskSector>(db->CreateDiskSector(L"\\\\.\\PhysicalDrive0:0", L"MBR", 0, 0, t, true));  // 12
    auto S2 = checked_cast<IDiskSector>(db->CreateDiskSector(L"\\\\.\\PhysicalDrive0:7", L"off", 0, 7, t, false)); // 13
    auto H1 = checked_cast<IDevice>(db->CreateDevice(L"PCI\\VEN_8086&DEV_1234", L"device", t, true));              // 14
    auto F8 = file(L"%SystemRoot%\\task.dll", true);                                                               // 15
    auto R4 = checked_cast<IRegistryKey>(db->CreateRegistryKey(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Last", t, true));   // 16

    auto GF = checked_cast<IFileGroup>(db->CreateFileGroup(L"Files", L"", t));
    for (auto& f : {F1, F2, F3, F4, F6, F7})
        GF->AddFile(f);
    auto GD = checked_cast<IDirectoryFileGroup>(db->CreateDirectoryFileGroup(L"Dirs", L"", t));
    GD->AddDirectory(D1);
    GD->AddFile(F2);
    GD->AddFile(F5);
    auto GR = checked_cast<IRegistryGroup>(db->CreateRegistryGroup(L"Registry", L"", t));
    GR->AddRegistryKey(R1);
    GR->AddRegistryValue(R2);
    GR->AddRegistryKey(R3);
    GR->AddRegistryKey(R4);
    auto GS = checked_cast<IDiskSectorGroup>(db->CreateDiskSectorGroup(L"Sectors", L"", t));
    GS->AddDiskSector(S1);
    GS->AddDiskSector(S2);
    auto GH = checked_cast<IHardwareConfigurationGroup>(db->CreateHardwareConfigurationGroup(L"Hardware", L"", t));
    GH->AddDevice(H1);
    auto GT = checked_cast<IFileGroup>(db->CreateFileGroup(L"TaskFiles", L"", t));
    GT->AddFile(F8);
    GT->AddFile(F2);
    auto T = checked_cast<ITaskEx>(db->CreateTaskEx(L"Task", L"", t));
    T->AddRegistryGroup(GR);
    T->AddFileGroup(GT);
    auto Z = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"Job", L""));
    Z->AddFileGroup(GF);
    Z->AddDirectoryFileGroup(GD);
    Z->AddRegistryGroup(GR);
    Z->AddDiskSectorGroup(GS);
    Z->AddHardwareConfigurationGroup(GH);
    Z->AddTask(T);
    auto subject = db->CreateSubject(L"KV-WS {1}", L"", L"Windows \\ Test, 64-bit");
    subject->AddJob(Z);
    CommitStore(provider, db, subject);
    db.Reset();
    RewriteIds(StorePath(), {{1, kTopBit | 1}, {16, kTopBit | 2}, {GR->GetId(), kTopBit | 3}});

    const std::wstring sr = Var(L"SystemRoot"), pf = Var(L"ProgramFiles");
    expect.files = {sr + L"\\system32\\kernel32.dll",
                    pf + L"\\App\\%ProgramFiles%.txt",
                    sr + L"\\" + pf + L"\\two.txt",
                    L"C:\\50%\\odd%name%.txt",
                    sr + L"\\Fonts",
                    L"%KVRES_NOT_DEFINED%\\x.dll",
                    sr + L"\\task.dll",
                    sr + L"\\neg.dll"};
    expect.registry = {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\%SystemRoot%", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Kv\\Name",
                       L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Last"};
    expect.sectors = {L"\\\\.\\PhysicalDrive0:0"};
    return expect;
}

// A store of one file group with `count` switched-on files, for the abort polls.
void SeedLargeStore(int count) {
    SmartPtr<IProvider> provider = Common::CreateProvider();
    SmartPtr<IDatabase> db = OpenFreshStore(provider);
    ASSERT_TRUE(db);
    _time_t t = _time_t::now();
    auto group = checked_cast<IFileGroup>(db->CreateFileGroup(L"Many", L"", t));
    for (int i = 0; i < count; ++i)
        group->AddFile(
            checked_cast<IFile>(db->CreateFile(L"C:\\many\\f" + std::to_wstring(i) + L".dll", t, true, false)));
    auto job = checked_cast<IJobVarno>(db->CreateJobVarno(L"Job", L""));
    job->AddFileGroup(group);
    auto subject = db->CreateSubject(L"KV-WS", L"", L"OS");
    subject->AddJob(job);
    CommitStore(provider, db, subject);
}

std::wstring Unescape(std::wstring s) {
    const std::pair<const wchar_t*, const wchar_t*> entities[] = {
        {L"&lt;", L"<"}, {L"&gt;", L">"}, {L"&quot;", L"\""}, {L"&apos;", L"'"}, {L"&amp;", L"&"}};
    for (const auto& e : entities)
        for (size_t at = s.find(e.first); at != std::wstring::npos; at = s.find(e.first, at + 1))
            s.replace(at, wcslen(e.first), e.second);
    return s;
}

// The sections of a response: title, then the JobResource values in order.
struct SSection {
    std::wstring title;
    std::vector<std::wstring> values;
};

std::vector<SSection> Sections(const std::wstring& xml) {
    std::vector<SSection> sections;
    for (size_t at = xml.find(L"<VarnoCheck>"); at != std::wstring::npos; at = xml.find(L"<VarnoCheck>", at + 1)) {
        size_t end = xml.find(L"</VarnoCheck>", at);
        SSection s;
        size_t t = xml.find(L"<Title>", at);
        if (t < end)
            s.title = Unescape(xml.substr(t + 7, xml.find(L"</Title>", t) - t - 7));
        const std::wstring key = L"<JobResource value=\"";
        for (size_t v = xml.find(key, at); v != std::wstring::npos && v < end; v = xml.find(key, v + 1)) {
            size_t q = xml.find(L'"', v + key.size());
            s.values.push_back(Unescape(xml.substr(v + key.size(), q - v - key.size())));
        }
        sections.push_back(s);
    }
    return sections;
}

// Counts the polls; reports an abort from poll number `abortAt` on (0: never).
class CCountingAbort : public IKvReportAbort {
public:
    explicit CCountingAbort(long abortAt = 0) : m_nAbortAt(abortAt) {}
    bool IsAborted() override { return ++m_nPolls >= m_nAbortAt && m_nAbortAt > 0; }
    long m_nPolls = 0;
    long m_nAbortAt;
};

class ResourceSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hPlugin = LoadLibraryW((Env(L"KV_BIN_DIR") + L"\\" + kPlugin).c_str());
        ASSERT_TRUE(m_hPlugin);
        m_request = WriteRequest(L"resource_request.xml", TmpPath(L"resources.rtf"));
    }
    void TearDown() override {
        if (m_hPlugin)
            FreeLibrary(m_hPlugin);
        RemoveStoreFolder();
    }
    static std::wstring WriteRequest(const wchar_t* name, const std::wstring& report) {
        SResourceFilter filter = {};
        std::wstring request = TmpPath(name);
        EXPECT_EQ(BuildResourceRequest(filter, SPageNumbering{1, 0, 1}, report.c_str(), 1, L"e2e", request.c_str()),
                  S_OK);
        return request;
    }
    // One synchronous run; the response's text.
    int Run(IKvReportAbort* abort, std::wstring& xml, const wchar_t* responseName = L"resource_response.xml") {
        auto factory = KvGetProcAddress<PFN_KvGetReportDataSource>(m_hPlugin, "KvGetReportDataSource");
        EXPECT_TRUE(factory);
        if (!factory)
            return -1;
        IKvReportDataSource* source = factory();
        std::wstring response = TmpPath(responseName);
        int r = source->Build(m_request.c_str(), response.c_str(), abort);
        source->Release();
        xml = ReadUtf8(response);
        return r;
    }

    HMODULE m_hPlugin = nullptr;
    std::wstring m_request;
    CComScope m_com;
};

TEST_F(ResourceSourceTest, ReportsTheJobsResourcesOnceInOrderAndLeavesTheStoreAlone) {
    // The factories by name are the ones at ordinals 1 and 2.
    FARPROC async = GetProcAddress(m_hPlugin, "KvGetReportDataSourceAsync");
    ASSERT_TRUE(async);
    EXPECT_EQ(async, GetProcAddress(m_hPlugin, MAKEINTRESOURCEA(2)));
    EXPECT_EQ(GetProcAddress(m_hPlugin, "KvGetReportDataSource"), GetProcAddress(m_hPlugin, MAKEINTRESOURCEA(1)));

    SSeeded expect = SeedStore();
    ASSERT_FALSE(HasFailure());
    const std::string before = ReadBytes(StorePath());
    ASSERT_FALSE(before.empty());
    ASSERT_NE(before.find("id=\"-9223372036854775807\""), std::string::npos);

    std::wstring report = TmpPath(L"resources.rtf");
    std::wstring response = TmpPath(L"resource_async_response.xml");
    DeleteFileW(report.c_str());
    IKvReportDataSourceAsync* source =
        KvGetProcAddress<PFN_KvGetReportDataSourceAsync>(m_hPlugin, "KvGetReportDataSourceAsync")();
    ASSERT_TRUE(source);
    CCompletion done;
    ASSERT_EQ(source->Start(m_request.c_str(), response.c_str(), &done), 0);
    ASSERT_TRUE(done.Wait(120000));
    source->Release();
    EXPECT_EQ(done.m_nResult, 0);
    EXPECT_EQ(done.m_nCalls, 1);

    // The store is only read.
    EXPECT_EQ(before, ReadBytes(StorePath()));
    EXPECT_FALSE(FileExists(StorePath() + L".new"));

    std::wstring xml = ReadUtf8(response);
    EXPECT_NE(xml.find(L"<Source result=\"OK\" type=\"Subsystem\""), std::wstring::npos) << Utf8(xml);
    EXPECT_NE(xml.find(std::wstring(L"<Subsystem name=\"") + kSubsystem + L"\" reportTitle=\"ResourceWS\""),
              std::wstring::npos)
        << Utf8(xml);
    size_t info = xml.find(L"<WorkstationInfo><Workstation serialNumber=\"1\">KV-WS {1}</Workstation>"
                           L"<OSType>Windows \\ Test, 64-bit</OSType></WorkstationInfo>");
    EXPECT_NE(info, std::wstring::npos) << Utf8(xml);
    size_t check = xml.find(L"<ICheck><IntegrityCheck><VarnosCheck><VarnoCheck>");
    EXPECT_NE(check, std::wstring::npos) << Utf8(xml);
    EXPECT_LT(info, check);
    EXPECT_LT(xml.find(L"<FormatOutput>"), info);
    EXPECT_EQ(xml.find(L"<Error>"), std::wstring::npos);
    EXPECT_EQ(xml.find(L"PCI\\VEN"), std::wstring::npos); // hardware groups are not reported
    EXPECT_EQ(xml.find(L"off.txt"), std::wstring::npos);  // switched-off resources are left out
    EXPECT_EQ(xml.find(L"Software\\Off"), std::wstring::npos);
    EXPECT_EQ(xml.find(L"PhysicalDrive0:7"), std::wstring::npos);

    std::vector<SSection> sections = Sections(xml);
    ASSERT_EQ(sections.size(), 3u) << Utf8(xml);
    EXPECT_EQ(sections[0].title, L"Файловая система");
    EXPECT_EQ(sections[1].title, L"Реестр");
    EXPECT_EQ(sections[2].title, L"Секторы дисков");
    EXPECT_EQ(sections[0].values, expect.files);
    EXPECT_EQ(sections[1].values, expect.registry);
    EXPECT_EQ(sections[2].values, expect.sectors);

#ifdef _WIN64
    // The report file, built with the real template.
    std::wstring built;
    EXPECT_EQ(BuildReportFile(response, built), 0);
    EXPECT_EQ(built, report);
    std::string rtf = ReadBytes(report);
    ASSERT_EQ(rtf.compare(0, 6, "{\\rtf1"), 0) << rtf.substr(0, 100);
    EXPECT_NE(rtf.find("\\ansicpg1251"), std::string::npos);
    EXPECT_TRUE(BracesBalance(rtf));
    size_t files = rtf.find(Cp1251(L"Файловая система")), registry = rtf.find(Cp1251(L"Реестр")),
           sectors = rtf.find(Cp1251(L"Секторы дисков"));
    ASSERT_NE(files, std::string::npos) << rtf;
    ASSERT_NE(registry, std::string::npos);
    ASSERT_NE(sectors, std::string::npos);
    EXPECT_LT(files, registry);
    EXPECT_LT(registry, sectors);
    EXPECT_NE(rtf.find(RtfText(L"KV-WS {1}")), std::string::npos);
    for (const auto* list : {&expect.files, &expect.registry, &expect.sectors})
        for (const std::wstring& path : *list)
            EXPECT_EQ(Count(rtf, RtfText(path) + "\\f0\\par"), 1u) << Utf8(path);
    // Each resource line lies in its own section.
    EXPECT_LT(rtf.find(RtfText(expect.files.back())), registry);
    EXPECT_LT(rtf.find(RtfText(expect.registry.back())), sectors);
    EXPECT_GT(rtf.find(RtfText(expect.sectors.back())), sectors);
#endif
}

// The response of a run that failed in the store step: ICheck holds only the Error element of the
// store's general failure, after the frame's copies and before the frame's end.
void ExpectStoreFailure(const std::wstring& xml) {
    const size_t error = xml.find(L"<ICheck><Error><Code>80004005</Code><Description>");
    EXPECT_NE(error, std::wstring::npos) << Utf8(xml);
    EXPECT_NE(xml.find(L"</Description></Error></ICheck></ResourceWS></Body></Report>", error), std::wstring::npos)
        << Utf8(xml);
    EXPECT_EQ(xml.find(L"<IntegrityCheck>"), std::wstring::npos) << Utf8(xml);
}

TEST_F(ResourceSourceTest, MissingStoreFailsWithTheGeneralFailureAndCreatesNothing) {
    RemoveStoreFolder();
    ASSERT_FALSE(FileExists(StoreFolder()));
    std::wstring xml;
    EXPECT_EQ(Run(nullptr, xml), (int)0x80004005);
    EXPECT_FALSE(FileExists(StoreFolder()));
    ExpectStoreFailure(xml);
    EXPECT_EQ(xml.find(L"<WorkstationInfo>"), std::wstring::npos);

    // A folder without the store file: the same failure, and the folder stays empty.
    ASSERT_TRUE(CreateDirectoryW(StoreFolder().c_str(), nullptr));
    EXPECT_EQ(Run(nullptr, xml), (int)0x80004005);
    ExpectStoreFailure(xml);
    EXPECT_FALSE(FileExists(StorePath()));
}

TEST_F(ResourceSourceTest, UnreadableStoreOrNoSubjectFailsWithAWellFormedResponse) {
    const char* contents[] = {
        "this is not a store",
        "<?xml version=\"1.0\"?><VarnoStore version=\"1\" nextId=\"1\"><Resources/><RGroups/><Tasks/><Jobs/>"
        "<Subjects/></VarnoStore>",
    };
    for (const char* content : contents) {
        CreateDirectoryW(StoreFolder().c_str(), nullptr);
        ASSERT_NO_FATAL_FAILURE(WriteBytes(StorePath(), content));
        std::wstring xml;
        EXPECT_EQ(Run(nullptr, xml), (int)0x80004005) << content;
        ExpectStoreFailure(xml);
        EXPECT_EQ(content, ReadBytes(StorePath()));
    }
}

TEST_F(ResourceSourceTest, AbortIsPolledWithinLargeGroups) {
    // One group of 20 000 files: the polls within the group are what lets a run stop early.
    SeedLargeStore(20000);
    ASSERT_FALSE(HasFailure());
    CCountingAbort never;
    std::wstring xml;
    EXPECT_EQ(Run(&never, xml), 0);
    ASSERT_EQ(Sections(xml).size(), 1u);
    EXPECT_EQ(Sections(xml)[0].values.size(), 20000u);
    // Collecting and writing the group poll every 4096 items besides the polls between steps.
    EXPECT_GE(never.m_nPolls, 8 + 2 * (20000 / 4096)) << never.m_nPolls;

    // An abort at any poll ends the run with 1 and a response without the integrity section.
    for (long at : {1L, 2L, 4L, 6L, never.m_nPolls - 2, never.m_nPolls - 1}) {
        CCountingAbort abort(at);
        EXPECT_EQ(Run(&abort, xml), 1) << at;
        EXPECT_EQ(xml.find(L"<ICheck>"), std::wstring::npos) << at;
        EXPECT_NE(xml.find(L"</ResourceWS></Body></Report>"), std::wstring::npos) << at;
    }
    // An abort that comes only after the complete run still gives 1.
    CCountingAbort late(never.m_nPolls);
    EXPECT_EQ(Run(&late, xml), 1);
    EXPECT_NE(xml.find(L"<ICheck><IntegrityCheck>"), std::wstring::npos);
}

// Registry names may hold any character. One with U+0001 or U+001F used to make the response
// ill-formed and the whole report was lost; every control character of a name (tab and line
// breaks too, which would otherwise pass as blanks) is shown as its control picture, and names
// without any stay exactly as they are.
TEST_F(ResourceSourceTest, NamesWithControlCharactersAreShownVisibly) {
    const struct {
        std::wstring key, value; // a registry value when `value` is not empty
        std::wstring shown;
    } names[] = {
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\A\x01"
         L"B\x1F",
         L"",
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\A\x2401"
         L"B\x241F"},
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run", L"Line\r\nTwo\tThree\x7F",
         L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\Line\x240D\x240ATwo\x2409Three\x2421"},
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Plain {1} Ключ", L"", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Plain {1} Ключ"},
    };
    {
        SmartPtr<IProvider> provider = Common::CreateProvider();
        SmartPtr<IDatabase> db = OpenFreshStore(provider);
        ASSERT_TRUE(db);
        _time_t t = _time_t::now();
        auto group = checked_cast<IRegistryGroup>(db->CreateRegistryGroup(L"R", L"", t));
        for (const auto& n : names) {
            if (n.value.empty())
                group->AddRegistryKey(checked_cast<IRegistryKey>(db->CreateRegistryKey(n.key, t, true)));
            else
                group->AddRegistryValue(checked_cast<IRegistryValue>(db->CreateRegistryValue(n.key, n.value, t, true)));
        }
        auto job = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"Job", L""));
        job->AddRegistryGroup(group);
        auto subject = db->CreateSubject(L"WS\x01"
                                         L"01",
                                         L"", L"OS");
        subject->AddJob(job);
        CommitStore(provider, db, subject);
    }
    std::wstring xml;
    ASSERT_EQ(Run(nullptr, xml), 0) << Utf8(xml);
    const std::wstring response = TmpPath(L"resource_response.xml");
    EXPECT_TRUE(LoadsAsXml(response)) << Utf8(xml);
    EXPECT_NE(xml.find(L"<Workstation serialNumber=\"1\">WS\x2401"
                       L"01</Workstation>"),
              std::wstring::npos)
        << Utf8(xml);
    std::vector<SSection> sections = Sections(xml);
    ASSERT_EQ(sections.size(), 1u) << Utf8(xml);
    std::vector<std::wstring> shown;
    for (const auto& n : names)
        shown.push_back(n.shown);
    EXPECT_EQ(sections[0].values, shown);

#ifdef _WIN64
    // The report is built, and each picture is in it as an RTF Unicode escape.
    std::wstring built;
    ASSERT_EQ(BuildReportFile(response, built), 0);
    std::string rtf = ReadBytes(built);
    EXPECT_TRUE(BracesBalance(rtf));
    EXPECT_EQ(Count(rtf, "\\\\SOFTWARE\\\\A\\u9217?B\\u9247?\\f0\\par"), 1u) << rtf;
    EXPECT_EQ(Count(rtf, "\\\\Line\\u9229?\\u9226?Two\\u9225?Three\\u9249?\\f0\\par"), 1u) << rtf;
    EXPECT_EQ(Count(rtf, RtfText(names[2].shown) + "\\f0\\par"), 1u) << rtf;
    EXPECT_NE(rtf.find("WS\\u9217?01"), std::string::npos) << rtf;
#endif
}

TEST_F(ResourceSourceTest, SectionWithOnlySwitchedOffResourcesKeepsItsTitle) {
    SmartPtr<IProvider> provider = Common::CreateProvider();
    SmartPtr<IDatabase> db = OpenFreshStore(provider);
    ASSERT_TRUE(db);
    _time_t t = _time_t::now();
    // A board job comes first when the subject has one.
    auto board = checked_cast<IJobVarno>(db->CreateJobVarno(L"Board", L""));
    auto other = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"Other", L""));
    auto sectors = checked_cast<IDiskSectorGroup>(db->CreateDiskSectorGroup(L"S", L"", t));
    sectors->AddDiskSector(
        checked_cast<IDiskSector>(db->CreateDiskSector(L"\\\\.\\PhysicalDrive1:3", L"", 1, 3, t, false)));
    board->AddDiskSectorGroup(sectors);
    auto files = checked_cast<IFileGroup>(db->CreateFileGroup(L"F", L"", t));
    files->AddFile(checked_cast<IFile>(db->CreateFile(L"C:\\other.dll", t, true, false)));
    other->AddFileGroup(files);
    auto subject = db->CreateSubject(L"KV-WS", L"", L"OS");
    subject->AddJob(other);
    subject->AddJob(board);
    CommitStore(provider, db, subject);

    std::wstring xml;
    EXPECT_EQ(Run(nullptr, xml), 0);
    std::vector<SSection> sections = Sections(xml);
    ASSERT_EQ(sections.size(), 1u) << Utf8(xml);
    EXPECT_EQ(sections[0].title, L"Секторы дисков");
    EXPECT_TRUE(sections[0].values.empty());
    EXPECT_TRUE(xml.find(L"<JobResources/>") != std::wstring::npos ||
                xml.find(L"<JobResources></JobResources>") != std::wstring::npos)
        << Utf8(xml);
}

} // namespace
