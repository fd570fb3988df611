// The board lists written by the store and by a job: which objects, in which order, and checksums
// that an independent SHA-256 of the same bytes confirms.
#include "Sha256Ref.h"
#include "VcoreTestUtil.h"

using namespace Varno;
using vtest::Narrow;

namespace {

_time_t T1() { return _time_t(1); }

struct BootListFixture : ::testing::Test {
    std::wstring dir;
    std::wstring keyPath;
    std::wstring hkcu;
    SmartPtr<IProvider> provider;
    SmartPtr<IDatabase> db;

    void SetUp() override
    {
        dir = vtest::ScratchDir(std::wstring(L"bootlist_") +
                                as_wstring(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        keyPath = L"Software\\VICheckTests\\vcore_bootlist_" + std::to_wstring(GetCurrentProcessId());
        hkcu = L"HKEY_CURRENT_USER\\" + keyPath;
        provider = Common::CreateProvider();
        db = provider->Open(Narrow(dir + L"\\Localhost.vdb").c_str());
        ASSERT_TRUE(db);
    }
    void TearDown() override
    {
        if (db)
            provider->Close(db->GetHandle());
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
    }
    std::string Nam(const wchar_t* base) { return Narrow(dir + L"\\" + base + L".nam"); }
    std::string Chk(const wchar_t* base) { return Narrow(dir + L"\\" + base + L".chk"); }
    std::vector<std::string> Read(const wchar_t* base, const wchar_t* ext)
    {
        return vtest::Lines(vtest::ReadBytes(dir + L"\\" + base + ext));
    }
    SmartPtr<IFile> File(const std::wstring& name, const std::string& content, bool controlled = true)
    {
        vtest::WriteBytes(dir + L"\\" + name, content);
        return checked_cast<IFile>(db->CreateFile(dir + L"\\" + name, T1(), controlled, false));
    }
};

std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string Utf16(const std::wstring& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

} // namespace

TEST_F(BootListFixture, StoreListNamesControlledFilesInStoreOrderWithTheirHashes)
{
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + (i >> 11));
    File(L"b.dll", "second");
    File(L"a.exe", "");
    File(L"off.sys", "not checked", false);
    File(L"big.bin", big);
    db->CreateFile(dir + L"\\missing.dll", T1(), true, false);
    db->CreateDirectory(dir, T1(), true); // directories are not in the file list
    db->CreateRegistryKey(hkcu, T1(), true);

    db->WriteBootList(Nam(L"bootfile").c_str(), Chk(L"bootfile").c_str(), BootListFiles);
    std::vector<std::string> want_names = {Narrow(dir + L"\\b.dll"), Narrow(dir + L"\\a.exe"),
                                           Narrow(dir + L"\\big.bin"), Narrow(dir + L"\\missing.dll")};
    EXPECT_EQ(want_names, Read(L"bootfile", L".nam"));
    std::vector<std::string> want_checks = {testsha::Sha256Hex("second"), testsha::Sha256Hex(""),
                                            testsha::Sha256Hex(big), VARNO_UNREADABLE_MARK};
    EXPECT_EQ(want_checks, Read(L"bootfile", L".chk"));
    EXPECT_EQ(4, db->GetLastBootListCount());
    // The reference implementation agrees with the known digest of "abc".
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", testsha::Sha256Hex("abc"));
}

TEST_F(BootListFixture, RegistryDiskPciAndSmbiosListsHashWhatIdentifiesThem)
{
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    DWORD v = 0x01020304;
    RegSetValueExW(k, L"Zeta", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
    RegSetValueExW(k, L"alpha", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"hi"), 6);
    RegSetValueExW(k, L"back\\slash", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x01\x02"), 2);
    RegCloseKey(k);

    db->CreateRegistryKey(hkcu, T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"Zeta", T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"back{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}slash", T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"Gone", T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"Line\nbreak", T1(), true);
    db->CreateDiskSector(L"MBR", L"", 0, 63, T1(), true);
    auto dev = checked_cast<IDevice>(db->CreateDevice(L"Net card", L"", T1(), true));
    dev->SetProperty(0, _value_t(L"PCI\\VEN_10EC"));
    dev->SetProperty(9, _value_t(3));
    SmbiosTableDescriptor tbl = {4, 48, 0x400};
    db->CreateSMBIOSTable(L"CPU", tbl, T1(), true);
    db->CreateSMBIOSField(L"CPU\\Speed", 1, 2, 22, tbl, T1(), true);

    struct List {
        const wchar_t* base;
        BootListCode code;
    } lists[] = {{L"bootreg", BootListRegistry}, {L"bootsect", BootListDiskSectors}, {L"bootpci", BootListPci},
                 {L"bootsmbs", BootListSmbios}};
    for (const auto& l : lists)
        db->WriteBootList(Nam(l.base).c_str(), Chk(l.base).c_str(), l.code);

    std::string key = Narrow(hkcu);
    EXPECT_EQ((std::vector<std::string>{key, key + "\\Zeta", key + "\\back{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}slash",
                                        key + "\\Gone", key + "\\Line?break"}),
              Read(L"bootreg", L".nam"));
    // A key: its values ordered by name without regard to case, each as name length, name, type,
    // data length and data. A value: its type and data.
    std::string keyBytes;
    for (auto [name, type, data] : {std::tuple<std::wstring, DWORD, std::string>{L"alpha", REG_SZ, Utf16(L"hi") + std::string(2, '\0')},
                                    {L"back\\slash", REG_BINARY, "\x01\x02"},
                                    {L"Zeta", REG_DWORD, Dword(0x01020304)}})
        keyBytes += Dword(static_cast<DWORD>(name.size() * 2)) + Utf16(name) + Dword(type) +
                    Dword(static_cast<DWORD>(data.size())) + data;
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex(keyBytes), testsha::Sha256Hex(Dword(REG_DWORD) + Dword(0x01020304)),
                                        testsha::Sha256Hex(Dword(REG_BINARY) + "\x01\x02"), VARNO_UNREADABLE_MARK,
                                        VARNO_UNREADABLE_MARK}),
              Read(L"bootreg", L".chk"));

    EXPECT_EQ(std::vector<std::string>{"\\\\.\\PhysicalDrive0:63"}, Read(L"bootsect", L".nam"));
    EXPECT_EQ(std::vector<std::string>{VARNO_UNREADABLE_MARK}, Read(L"bootsect", L".chk")); // no disk in Wine

    EXPECT_EQ(std::vector<std::string>{"Net card"}, Read(L"bootpci", L".nam"));
    // Neither the device nor the table is present under Wine: what the board would find cannot be read.
    EXPECT_EQ(std::vector<std::string>{VARNO_UNREADABLE_MARK}, Read(L"bootpci", L".chk"));

    EXPECT_EQ((std::vector<std::string>{"CPU", "CPU\\Speed"}), Read(L"bootsmbs", L".nam"));
    EXPECT_EQ((std::vector<std::string>{VARNO_UNREADABLE_MARK, VARNO_UNREADABLE_MARK}), Read(L"bootsmbs", L".chk"));
}

TEST_F(BootListFixture, JobListHoldsItsGroupsThenItsTasksGroupsOnce)
{
    auto f1 = File(L"1.dll", "one");
    auto f2 = File(L"2.dll", "two");
    auto f3 = File(L"3.dll", "three");
    File(L"4.dll", "not under the job");
    auto g1 = checked_cast<IFileGroup>(db->CreateFileGroup(L"G1", L"", T1()));
    auto g2 = checked_cast<IFileGroup>(db->CreateFileGroup(L"G2", L"", T1()));
    g1->AddFile(f2);
    g1->AddFile(f1);
    g2->AddFile(f1);
    g2->AddFile(f3);
    auto task = db->CreateTask(L"T", L"", T1());
    task->AddFileGroup(g2);
    task->AddFileGroup(g1);
    auto job = checked_cast<IJobVarno>(db->CreateJobVarno(L"J", L""));
    job->AddFileGroup(g1);
    job->AddTask(task);
    job->WriteBootList(Nam(L"bootfile").c_str(), Chk(L"bootfile").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{Narrow(dir + L"\\2.dll"), Narrow(dir + L"\\1.dll"), Narrow(dir + L"\\3.dll")}),
              Read(L"bootfile", L".nam"));
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex("two"), testsha::Sha256Hex("one"), testsha::Sha256Hex("three")}),
              Read(L"bootfile", L".chk"));
    // A family with nothing under the job gives two empty files.
    job->WriteBootList(Nam(L"bootreg").c_str(), Chk(L"bootreg").c_str(), BootListRegistry);
    EXPECT_EQ("", vtest::ReadBytes(dir + L"\\bootreg.nam"));
    EXPECT_EQ("", vtest::ReadBytes(dir + L"\\bootreg.chk"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"\\bootreg.nam.new").c_str()));
}

TEST_F(BootListFixture, ManyFilesHashAlikeOnOneThreadAndOnAll)
{
    for (int i = 0; i < 300; ++i)
        File(L"f" + std::to_wstring(i) + L".bin", std::string(1000 + i * 37, static_cast<char>(i)));
    db->SetHashThreads(1);
    db->WriteBootList(Nam(L"one").c_str(), Chk(L"one").c_str(), BootListFiles);
    db->SetHashThreads(0);
    db->WriteBootList(Nam(L"all").c_str(), Chk(L"all").c_str(), BootListFiles);
    EXPECT_EQ(vtest::ReadBytes(dir + L"\\one.nam"), vtest::ReadBytes(dir + L"\\all.nam"));
    auto checks = Read(L"all", L".chk");
    EXPECT_EQ(Read(L"one", L".chk"), checks);
    ASSERT_EQ(300u, checks.size());
    EXPECT_EQ(testsha::Sha256Hex(std::string(1000 + 299 * 37, static_cast<char>(299))), checks[299]);
    EXPECT_GE(db->GetLastHashSeconds(), 0.0);
}

// A bare or relative list name would land in the process's current folder: refused.
TEST_F(BootListFixture, ListPathsMustBeFull)
{
    File(L"x.dll", "x");
    EXPECT_THROW(db->WriteBootList("bootfile.nam", "bootfile.chk", BootListFiles), EGeneric);
    EXPECT_THROW(db->WriteBootList("", Chk(L"bootfile").c_str(), BootListFiles), EGeneric);
    EXPECT_THROW(db->WriteBootList(Nam(L"b").c_str(), Chk(L"b").c_str(), static_cast<BootListCode>(7)), EGeneric);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("bootfile.nam"));
    EXPECT_EQ(testsha::Sha256Hex("x"), HashResource(item_cast<IResource>(vtest::Items(db->GetResources())[0])));
}

// The job's list after the store's list: unchanged files are not read again, changed ones are.
TEST_F(BootListFixture, SecondListSeesChangedFiles)
{
    auto same = File(L"same.dll", "unchanged");
    auto changed = File(L"changed.dll", "before");
    auto g = checked_cast<IFileGroup>(db->CreateFileGroup(L"G", L"", T1()));
    g->AddFile(same);
    g->AddFile(changed);
    auto job = checked_cast<IJobVarno>(db->CreateJobVarno(L"J", L""));
    job->AddFileGroup(g);
    db->WriteBootList(Nam(L"store").c_str(), Chk(L"store").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex("unchanged"), testsha::Sha256Hex("before")}), Read(L"store", L".chk"));
    vtest::WriteBytes(dir + L"\\changed.dll", "after, and longer");
    job->WriteBootList(Nam(L"job").c_str(), Chk(L"job").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex("unchanged"), testsha::Sha256Hex("after, and longer")}), Read(L"job", L".chk"));
    DeleteFileW((dir + L"\\same.dll").c_str());
    db->WriteBootList(Nam(L"gone").c_str(), Chk(L"gone").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{VARNO_UNREADABLE_MARK, testsha::Sha256Hex("after, and longer")}), Read(L"gone", L".chk"));
}
