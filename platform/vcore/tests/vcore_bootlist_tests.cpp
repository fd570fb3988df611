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

    void SetUp() override {
        dir = vtest::ScratchDir(std::wstring(L"bootlist_") +
                                as_wstring(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        keyPath = L"Software\\VICheckTests\\vcore_bootlist_" + std::to_wstring(GetCurrentProcessId());
        hkcu = L"HKEY_CURRENT_USER\\" + keyPath;
        provider = Common::CreateProvider();
        db = provider->Open(Narrow(dir + L"\\Localhost.vdb").c_str());
        ASSERT_TRUE(db);
    }
    void TearDown() override {
        if (db)
            provider->Close(db->GetHandle());
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
    }
    std::string Nam(const wchar_t* base) { return Narrow(dir + L"\\" + base + L".nam"); }
    std::string Chk(const wchar_t* base) { return Narrow(dir + L"\\" + base + L".chk"); }
    std::vector<std::string> Read(const wchar_t* base, const wchar_t* ext) {
        return vtest::Lines(vtest::ReadBytes(dir + L"\\" + base + ext));
    }
    SmartPtr<IFile> File(const std::wstring& name, const std::string& content, bool controlled = true) {
        vtest::WriteBytes(dir + L"\\" + name, content);
        return checked_cast<IFile>(db->CreateFile(dir + L"\\" + name, T1(), controlled, false));
    }
};

std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string Utf16(const std::wstring& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

} // namespace

TEST_F(BootListFixture, StoreListNamesControlledFilesInStoreOrderWithTheirHashes) {
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

TEST_F(BootListFixture, RegistryDiskPciAndSmbiosListsHashWhatIdentifiesThem) {
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    DWORD v = 0x01020304;
    RegSetValueExW(k, L"Zeta", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
    RegSetValueExW(k, L"alpha", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"hi"), 6);
    RegSetValueExW(k, L"back\\slash", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x01\x02"), 2);
    RegCloseKey(k);

    db->CreateRegistryKey(hkcu, T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"Zeta", T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"back{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}slash", T1(), true);
    db->CreateRegistryValue(hkcu + L"\\", L"Gone", T1(), true);
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
    } lists[] = {{L"bootreg", BootListRegistry},
                 {L"bootsect", BootListDiskSectors},
                 {L"bootpci", BootListPci},
                 {L"bootsmbs", BootListSmbios}};
    for (const auto& l : lists)
        db->WriteBootList(Nam(l.base).c_str(), Chk(l.base).c_str(), l.code);

    std::string key = Narrow(hkcu);
    EXPECT_EQ((std::vector<std::string>{key, key + "\\Zeta", key + "\\back{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}slash",
                                        key + "\\Gone"}),
              Read(L"bootreg", L".nam"));
    // A key: its values ordered by name without regard to case, each as name length, name, type,
    // data length and data. A value: its type and data.
    std::string keyBytes;
    for (auto [name, type, data] :
         {std::tuple<std::wstring, DWORD, std::string>{L"alpha", REG_SZ, Utf16(L"hi") + std::string(2, '\0')},
          {L"back\\slash", REG_BINARY, "\x01\x02"},
          {L"Zeta", REG_DWORD, Dword(0x01020304)}})
        keyBytes += Dword(static_cast<DWORD>(name.size() * 2)) + Utf16(name) + Dword(type) +
                    Dword(static_cast<DWORD>(data.size())) + data;
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex(keyBytes),
                                        testsha::Sha256Hex(Dword(REG_DWORD) + Dword(0x01020304)),
                                        testsha::Sha256Hex(Dword(REG_BINARY) + "\x01\x02"), VARNO_UNREADABLE_MARK}),
              Read(L"bootreg", L".chk"));

    EXPECT_EQ(std::vector<std::string>{"\\\\.\\PhysicalDrive0:63"}, Read(L"bootsect", L".nam"));
    EXPECT_EQ(std::vector<std::string>{VARNO_UNREADABLE_MARK}, Read(L"bootsect", L".chk")); // no disk in Wine

    EXPECT_EQ(std::vector<std::string>{"Net card"}, Read(L"bootpci", L".nam"));
    // Neither the device nor the table is present under Wine: what the board would find cannot be read.
    EXPECT_EQ(std::vector<std::string>{VARNO_UNREADABLE_MARK}, Read(L"bootpci", L".chk"));

    EXPECT_EQ((std::vector<std::string>{"CPU", "CPU\\Speed"}), Read(L"bootsmbs", L".nam"));
    EXPECT_EQ((std::vector<std::string>{VARNO_UNREADABLE_MARK, VARNO_UNREADABLE_MARK}), Read(L"bootsmbs", L".chk"));
}

// Registry names may hold any character. A name that one line of a names file cannot hold as it
// is never becomes another name in a list: "a\r\nb" and "a\n\rb" were once both written as "a??b",
// the line of a third value really named so, each with its own checksum. They are left out of
// the lists and named by the store, the store file keeps them, and the other lines stay as they were.
TEST_F(BootListFixture, NamesALineCannotHoldAreLeftOutOfTheListsAndNamed) {
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    struct Row {
        std::wstring value;
        bool listed;
    } rows[] = {
        {L"a\r\nb", false},
        {L"a??b", true},
        {L"a\n\rb", false},
        {L"tab\there", false},
        {std::wstring(L"lone") + wchar_t(0xD800) + L"surrogate", false},
        {std::wstring(L"pair") + wchar_t(0xD83D) + wchar_t(0xDE00), true},
        {L"\x01", false},
    };
    for (const auto& r : rows) {
        DWORD v = static_cast<DWORD>(r.value.size());
        RegSetValueExW(k, r.value.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
    }
    RegCloseKey(k);
    auto group = checked_cast<IRegistryGroup>(db->CreateRegistryGroup(L"G", L"", T1()));
    for (const auto& r : rows)
        group->AddRegistryValue(
            checked_cast<IRegistryValue>(db->CreateRegistryValue(hkcu + L"\\", r.value, T1(), true)));
    auto job = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"J", L""));
    job->AddRegistryGroup(group);

    // The store's list, then the job's into the same files, as a save writes them.
    db->WriteBootList(Nam(L"bootreg").c_str(), Chk(L"bootreg").c_str(), BootListRegistry);
    std::string storeNames = vtest::ReadBytes(dir + L"\\bootreg.nam");
    job->WriteBootList(Nam(L"bootreg").c_str(), Chk(L"bootreg").c_str(), BootListRegistry);
    EXPECT_EQ(storeNames, vtest::ReadBytes(dir + L"\\bootreg.nam"));

    std::vector<std::string> names, checks;
    std::vector<std::wstring> refused;
    for (const auto& r : rows) {
        if (!r.listed) {
            refused.push_back(hkcu + L"\\" + r.value);
            continue;
        }
        names.push_back(as_string(hkcu + L"\\" + r.value, CP_UTF8));
        checks.push_back(testsha::Sha256Hex(Dword(REG_DWORD) + Dword(static_cast<DWORD>(r.value.size()))));
    }
    EXPECT_EQ(names, Read(L"bootreg", L".nam"));
    EXPECT_EQ(checks, Read(L"bootreg", L".chk"));
    EXPECT_EQ(2, db->GetLastBootListCount());
    // Each left-out object named once, though both lists left it out.
    std::vector<std::wstring> named;
    for (const auto& item : vtest::Items(db->GetBootListRefused()))
        named.push_back(item->GetName());
    EXPECT_EQ(refused, named);

    // The store file keeps every value under its own name; the commit starts the account anew.
    db->Commit();
    EXPECT_EQ(0, db->GetBootListRefused()->GetCount());
    provider->Close(db->GetHandle());
    db = provider->Open(Narrow(dir + L"\\Localhost.vdb").c_str());
    ASSERT_TRUE(db);
    std::vector<std::wstring> stored;
    for (const auto& item : vtest::Items(db->GetResources()))
        stored.push_back(checked_cast<IRegistryValue>(item)->GetValueName());
    std::vector<std::wstring> want;
    for (const auto& r : rows)
        want.push_back(r.value);
    EXPECT_EQ(want, stored);
    // A list written anew names them again; Clear starts the account anew too.
    db->WriteBootList(Nam(L"again").c_str(), Chk(L"again").c_str(), BootListRegistry);
    EXPECT_EQ(static_cast<long>(refused.size()), db->GetBootListRefused()->GetCount());
    db->Clear();
    EXPECT_EQ(0, db->GetBootListRefused()->GetCount());
}

TEST_F(BootListFixture, JobListHoldsItsGroupsThenItsTasksGroupsOnce) {
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
    EXPECT_EQ(
        (std::vector<std::string>{testsha::Sha256Hex("two"), testsha::Sha256Hex("one"), testsha::Sha256Hex("three")}),
        Read(L"bootfile", L".chk"));
    // A family with nothing under the job gives two empty files.
    job->WriteBootList(Nam(L"bootreg").c_str(), Chk(L"bootreg").c_str(), BootListRegistry);
    EXPECT_EQ("", vtest::ReadBytes(dir + L"\\bootreg.nam"));
    EXPECT_EQ("", vtest::ReadBytes(dir + L"\\bootreg.chk"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"\\bootreg.nam.new").c_str()));
}

TEST_F(BootListFixture, ManyFilesHashAlikeOnOneThreadAndOnAll) {
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
TEST_F(BootListFixture, ListPathsMustBeFull) {
    File(L"x.dll", "x");
    EXPECT_THROW(db->WriteBootList("bootfile.nam", "bootfile.chk", BootListFiles), EGeneric);
    EXPECT_THROW(db->WriteBootList("", Chk(L"bootfile").c_str(), BootListFiles), EGeneric);
    EXPECT_THROW(db->WriteBootList(Nam(L"b").c_str(), Chk(L"b").c_str(), static_cast<BootListCode>(7)), EGeneric);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("bootfile.nam"));
    EXPECT_EQ(testsha::Sha256Hex("x"), HashResource(item_cast<IResource>(vtest::Items(db->GetResources())[0])));
}

// The job's list after the store's list: unchanged files are not read again; files written moments
// before (their checksums not kept) are read again, and a change to them is seen.
TEST_F(BootListFixture, SecondListSeesChangedFiles) {
    auto same = File(L"same.dll", "unchanged");
    auto changed = File(L"changed.dll", "before");
    auto g = checked_cast<IFileGroup>(db->CreateFileGroup(L"G", L"", T1()));
    g->AddFile(same);
    g->AddFile(changed);
    auto job = checked_cast<IJobVarno>(db->CreateJobVarno(L"J", L""));
    job->AddFileGroup(g);
    db->WriteBootList(Nam(L"store").c_str(), Chk(L"store").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex("unchanged"), testsha::Sha256Hex("before")}),
              Read(L"store", L".chk"));
    vtest::WriteBytes(dir + L"\\changed.dll", "after, and longer");
    job->WriteBootList(Nam(L"job").c_str(), Chk(L"job").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex("unchanged"), testsha::Sha256Hex("after, and longer")}),
              Read(L"job", L".chk"));
    DeleteFileW((dir + L"\\same.dll").c_str());
    db->WriteBootList(Nam(L"gone").c_str(), Chk(L"gone").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{VARNO_UNREADABLE_MARK, testsha::Sha256Hex("after, and longer")}),
              Read(L"gone", L".chk"));
}

// ----- Checksums recorded beside the files list and used by the next list -----

namespace {

// A last-write time well in the past: a file written just before its list is always read again.
const unsigned long long kOldTime = 132223104000000000ULL; // 2020-01-01

void SetOldTime(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(kOldTime);
    ft.dwHighDateTime = static_cast<DWORD>(kOldTime >> 32);
    EXPECT_TRUE(SetFileTime(h, &ft, nullptr, &ft));
    CloseHandle(h);
}

// Holds a file open without sharing, so that nobody can read it meanwhile.
struct FileLock {
    HANDLE h;
    explicit FileLock(const std::wstring& path)
        : h(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
    }
    ~FileLock() { CloseHandle(h); }
};

// One save's files list in a store of its own (nothing kept in memory from another store).
std::string SaveFilesList(const std::wstring& dir, const std::wstring& list, const std::vector<std::wstring>& files) {
    auto provider = Common::CreateProvider();
    auto db = provider->Open(Narrow(dir + L"\\" + list + L".vdb").c_str());
    EXPECT_TRUE(db);
    if (!db)
        return std::string();
    for (const auto& f : files)
        db->CreateFile(dir + L"\\" + f, T1(), true, false);
    db->WriteBootList(Narrow(dir + L"\\" + list + L".nam").c_str(), Narrow(dir + L"\\" + list + L".chk").c_str(),
                      BootListFiles);
    provider->Close(db->GetHandle());
    return vtest::ReadBytes(dir + L"\\" + list + L".chk");
}

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> out;
    size_t p = 0;
    for (size_t e; (e = line.find(sep, p)) != std::string::npos; p = e + 1)
        out.push_back(line.substr(p, e - p));
    out.push_back(line.substr(p));
    return out;
}

} // namespace

// The second list of unchanged files uses the recorded checksums without reading the files (a
// file held open without sharing still gets its checksum); a file written moments ago is read
// every time; changed, replaced, removed and new files are read; and the lists are, byte for
// byte, those of a full rehash.
TEST_F(BootListFixture, RecordedChecksumsServeUnchangedFilesOnly) {
    struct Row {
        const wchar_t* file;
        const char* first;  // content at the first list (nullptr: no file)
        const char* second; // content at the second list (nullptr: no file)
        enum { Kept, Rewritten, Replaced, Touched, Restored } how;
    } rows[] = {
        {L"same.dll", "unchanged", "unchanged", Row::Kept},
        {L"grown.dll", "short", "longer content", Row::Rewritten}, // size differs, old time again
        {L"replaced.dll", "original", "imposter", Row::Replaced},  // same size, same time, another file
        {L"touched.dll", "before", "after!", Row::Touched},        // same size, new time
        {L"restored.dll", "in place", "IN PLACE", Row::Restored},  // same size, same file, old time put back
        {L"gone.dll", "removed later", nullptr, Row::Kept},
        {L"new.dll", nullptr, "appeared", Row::Kept},
    };
    std::vector<std::wstring> names;
    for (const auto& r : rows) {
        names.push_back(r.file);
        if (r.first) {
            vtest::WriteBytes(dir + L"\\" + r.file, r.first);
            SetOldTime(dir + L"\\" + r.file);
        }
    }
    vtest::WriteBytes(dir + L"\\recent.dll", "written just now");
    names.push_back(L"recent.dll");

    SaveFilesList(dir, L"bootfile", names);
    std::string records = vtest::ReadBytes(dir + L"\\bootfile.chk.cache");
    EXPECT_EQ(0u, records.find("VCore file checksums 1\r\n"));
    EXPECT_NE(std::string::npos, records.find(Narrow(dir + L"\\same.dll")));
    EXPECT_EQ(std::string::npos, records.find(Narrow(dir + L"\\recent.dll"))); // too fresh to keep
    EXPECT_EQ(std::string::npos, records.find(Narrow(dir + L"\\new.dll")));    // unreadable: nothing kept

    for (const auto& r : rows) {
        std::wstring path = dir + L"\\" + r.file;
        if (!r.second) {
            DeleteFileW(path.c_str());
        } else if (r.how == Row::Replaced) {
            vtest::WriteBytes(path + L".tmp", r.second);
            SetOldTime(path + L".tmp");
            ASSERT_TRUE(MoveFileExW((path + L".tmp").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        } else if (r.how != Row::Kept || !r.first) {
            vtest::WriteBytes(path, r.second);
            if (r.how == Row::Rewritten || r.how == Row::Restored || !r.first)
                SetOldTime(path);
        }
    }
    std::string second;
    {
        FileLock same(dir + L"\\same.dll"), recent(dir + L"\\recent.dll");
        second = SaveFilesList(dir, L"bootfile", names);
    }
    std::vector<std::string> want;
    for (const auto& r : rows)
        want.push_back(r.second ? testsha::Sha256Hex(r.second) : VARNO_UNREADABLE_MARK);
    want.push_back(VARNO_UNREADABLE_MARK); // recent.dll was read, and it was held
    EXPECT_EQ(want, vtest::Lines(second));

    // Without the locks, the same files again: from the records, and as a full rehash gives them.
    std::string third = SaveFilesList(dir, L"bootfile", names);
    want.back() = testsha::Sha256Hex("written just now");
    EXPECT_EQ(want, vtest::Lines(third));
    EXPECT_EQ(third, SaveFilesList(dir, L"fullrehash", names));
    EXPECT_EQ(vtest::ReadBytes(dir + L"\\bootfile.nam"), vtest::ReadBytes(dir + L"\\fullrehash.nam"));
}

// The lists of one save (from the open or Clear to the Commit) look at each folder once: the job's
// list after the store's uses the store's listing and checksums, as one picture of the files taken
// at the store's list. The next save looks again and sees what changed meanwhile.
TEST_F(BootListFixture, ListsOfOneSaveLookAtTheFilesOnce) {
    const std::vector<std::wstring> names = {L"kept.dll", L"changed.dll"};
    for (const auto& n : names) {
        vtest::WriteBytes(dir + L"\\" + n, "first");
        SetOldTime(dir + L"\\" + n);
    }
    auto g = checked_cast<IFileGroup>(db->CreateFileGroup(L"G", L"", T1()));
    for (const auto& n : names)
        g->AddFile(checked_cast<IFile>(db->CreateFile(dir + L"\\" + n, T1(), true, false)));
    auto job = checked_cast<IJobVarno>(db->CreateJobVarno(L"J", L""));
    job->AddFileGroup(g);
    const std::vector<std::string> first = {testsha::Sha256Hex("first"), testsha::Sha256Hex("first")};
    db->WriteBootList(Nam(L"bootfile").c_str(), Chk(L"bootfile").c_str(), BootListFiles);
    EXPECT_EQ(first, Read(L"bootfile", L".chk"));
    vtest::WriteBytes(dir + L"\\changed.dll", "second, longer");
    SetOldTime(dir + L"\\changed.dll");
    job->WriteBootList(Nam(L"bootfile").c_str(), Chk(L"bootfile").c_str(), BootListFiles);
    EXPECT_EQ(first, Read(L"bootfile", L".chk"));
    db->Commit();
    job->WriteBootList(Nam(L"bootfile").c_str(), Chk(L"bootfile").c_str(), BootListFiles);
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex("first"), testsha::Sha256Hex("second, longer")}),
              Read(L"bootfile", L".chk"));
}

// A record is used only when the size, the last-write time, the change time and the file ID all
// match; a record file that is not exactly of its form is not used at all.
TEST_F(BootListFixture, RecordIsUsedOnlyWhenTheWholeStampMatches) {
    vtest::WriteBytes(dir + L"\\x.dll", "content");
    SetOldTime(dir + L"\\x.dll");
    const std::vector<std::wstring> names = {L"x.dll"};
    SaveFilesList(dir, L"bootfile", names);
    auto lines = vtest::Lines(vtest::ReadBytes(dir + L"\\bootfile.chk.cache"));
    ASSERT_EQ(2u, lines.size());
    auto fields = Split(lines[1], '\t'); // hash, size, last write, change time, file ID, path
    ASSERT_EQ(6u, fields.size());
    EXPECT_EQ(testsha::Sha256Hex("content"), fields[0]);
    EXPECT_EQ("7", fields[1]);
    EXPECT_EQ(std::to_string(kOldTime), fields[2]);
    EXPECT_EQ(Narrow(dir + L"\\x.dll"), fields[5]);

    const std::string forged(64, 'a'); // a checksum the file does not have: it shows when the record is used
    auto bump = [](const std::string& n) { return std::to_string(std::stoull(n) + 1); };
    const std::string header = "VCore file checksums 1\r\n";
    struct Case {
        const char* what;
        int field; // the field changed, or -1
        enum { Good, WrongHeader, NoCrLf, UpperHex } form;
        bool used;
    } cases[] = {
        {"all match", -1, Case::Good, true},
        {"size", 1, Case::Good, false},
        {"last-write time", 2, Case::Good, false},
        {"change time", 3, Case::Good, false},
        {"file ID", 4, Case::Good, false},
        {"wrong header", -1, Case::WrongHeader, false},
        {"line without CR LF", -1, Case::NoCrLf, false},
        {"upper-case hex", -1, Case::UpperHex, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = fields;
        f[0] = c.form == Case::UpperHex ? std::string(64, 'A') : forged;
        if (c.field > 0)
            f[c.field] = bump(f[c.field]);
        std::string line = f[0];
        for (size_t i = 1; i < f.size(); ++i)
            line += "\t" + f[i];
        std::string text = (c.form == Case::WrongHeader ? std::string("VCore file checksums 2\r\n") : header) + line +
                           (c.form == Case::NoCrLf ? "" : "\r\n");
        vtest::WriteBytes(dir + L"\\bootfile.chk.cache", text);
        std::string chk = SaveFilesList(dir, L"bootfile", names);
        EXPECT_EQ(std::vector<std::string>{c.used ? forged : testsha::Sha256Hex("content")}, vtest::Lines(chk));
    }
}
