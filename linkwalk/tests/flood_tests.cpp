// Hostile modules (written by tests/fixtures/linkwalk/makeflood.py) and the process-wide store of
// module data: the maps of a flood equal those of its plain twin where they should; modules read
// once give the same maps to every later finder, also from several threads, and a module changed
// on disk is read again.
#include "fixture_util.h"
#include "kvtest.h"
#include "suffixflood.h"

#include <algorithm>
#include <thread>

using namespace lwtest;
using Depends::CDepps;
using Depends::CModules;

namespace {

std::wstring Flood(const wchar_t* name) { return Fixtures() + L"\\flood\\" + name; }

struct Maps {
    CModules found, missing, resolved;
    bool operator==(const Maps& o) const { return found == o.found && missing == o.missing && resolved == o.resolved; }
};

Maps Walk(const std::wstring& root) {
    CDepps f;
    f.AddModule(root, root, 1);
    return Maps{f.m_found, f.m_missing, f.m_resolved};
}

// The key under which a name that no file can bear is recorded missing: the first 256 characters
// of its key, then its length and the FNV-1a 64 hash of the whole key's UTF-16 units.
std::wstring ShortKey(const std::wstring& key) {
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : key)
        hash = (hash ^ uint16_t(c)) * 1099511628211ull;
    wchar_t tail[64];
    swprintf(tail, 64, L"\x2026[len=%u hash=%08x%08x]", unsigned(key.size()), unsigned(hash >> 32), unsigned(hash));
    return key.substr(0, 256) + tail;
}

std::wstring Sxs() {
    return WindowsDir() + L"\\WinSxS\\" + (kNativeMachine == 0x8664 ? L"amd64" : L"x86") +
           L"_Kv.Linkwalk.Sxs_1fc8b3b9a1e18e3b_1.0.0.0_none_floodtests";
}

class FloodTest : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        MakeDirs(Sxs());
        ASSERT_TRUE(CopyTo(Fixtures() + L"\\sxs\\sxsdep.dll", Sxs() + L"\\sxsdep.dll"));
    }
    static void TearDownTestSuite() { RemoveTree(Sxs()); }
};

TEST_F(FloodTest, ModuleReferenceFlood) {
    // 30 000 ModuleRef rows name one missing DLL, 4 000 AssemblyRef rows one missing assembly: the
    // maps are those of the twin with one row each.
    const std::wstring root = Flood(L"modref.dll"), plain = Flood(L"modref_plain.dll");
    const Maps m = Walk(root);
    EXPECT_EQ(m.missing, (CModules{{L"FLOOD_MISSING.DLL", root}}));
    EXPECT_TRUE(m.found.empty() && m.resolved.empty());
    const Maps p = Walk(plain);
    EXPECT_EQ(p.missing, (CModules{{L"FLOOD_MISSING.DLL", plain}}));
    EXPECT_TRUE(p.found.empty() && p.resolved.empty());
}

TEST_F(FloodTest, UnterminatedStringHeap) {
    // Rows pointing into the heap's unterminated tail are left out; the terminated names are read,
    // the long one as far as the finder's buffer of 1024 characters takes it.
    const std::wstring root = Flood(L"strings.dll");
    const Maps m = Walk(root);
    // The long name is longer than any file name: it is recorded by its head and fingerprint.
    const std::wstring longKey = ShortKey(std::wstring(1023, L'\x0414'));
    EXPECT_EQ(m.missing, (CModules{{L"STRINGS_MISSING.DLL", root}, {longKey, root}}));
    EXPECT_TRUE(m.found.empty() && m.resolved.empty());

    // The reader itself: the tail cannot be read, the long name is cut to the buffer with its
    // whole length told.
    ClrMeta::IMetaDataDispenser* d = nullptr;
    ASSERT_EQ(ClrMeta::CreateDispenser(&d), S_OK);
    IUnknown* unk = nullptr;
    ASSERT_EQ(d->OpenScope(root.c_str(), 0, ClrMeta::IID_IMetaDataImport, &unk), S_OK);
    auto* import = static_cast<ClrMeta::IMetaDataImport*>(unk);
    wchar_t name[1024];
    ULONG written = 0;
    EXPECT_EQ(import->GetModuleRefProps(0x1A000001, name, 1024, &written), S_OK);
    EXPECT_EQ(std::wstring(name), L"strings_missing.dll");
    EXPECT_EQ(import->GetModuleRefProps(0x1A000002, name, 1024, &written), ClrMeta::CLDB_S_TRUNCATION);
    EXPECT_EQ(std::wstring(name), std::wstring(1023, L'\x0434'));
    EXPECT_EQ(written, 1505u);
    std::vector<wchar_t> big(2000);
    EXPECT_EQ(import->GetModuleRefProps(0x1A000002, big.data(), 2000, nullptr), S_OK);
    EXPECT_EQ(std::wstring(big.data()), std::wstring(1500, L'\x0434') + L".dll");
    for (ULONG row : {3u, 4u, 5000u, 20002u})
        EXPECT_TRUE(FAILED(import->GetModuleRefProps(0x1A000000 | row, name, 1024, &written))) << row;
    EXPECT_EQ(import->GetModuleRefProps(0x1A000000 | 20003, name, 1024, &written), E_INVALIDARG);
    import->Release();
    d->Release();
}

TEST_F(FloodTest, ImportFloodOfMissingNames) {
    // 3 000 imports and 1 000 delay imports of distinct missing names, each repeated in two other
    // letter cases: every name is missing once, with the root as origin.
    const std::wstring root = Flood(L"imports.dll");
    const Maps m = Walk(root);
    EXPECT_TRUE(m.found.empty() && m.resolved.empty());
    ASSERT_EQ(m.missing.size(), 4000u);
    wchar_t key[64];
    for (int i = 0; i < 3000; i += 499) {
        swprintf(key, 64, L"FLOOD_IMP%05d.DLL", i);
        EXPECT_EQ(m.missing.count(key), 1u) << i;
    }
    for (int i = 0; i < 1000; i += 333) {
        swprintf(key, 64, L"FLOOD_DELAY%05d.DLL", i);
        EXPECT_EQ(m.missing.count(key), 1u) << i;
    }
    for (const auto& e : m.missing)
        ASSERT_EQ(e.second, root);
    EXPECT_EQ(Walk(Flood(L"imports_plain.dll")).missing.size(), 8u);
}

TEST_F(FloodTest, ImportsThatAreSuffixesOfOneLongString) {
    // 6 000 imports and as many delay imports of the same names, each a suffix of one string of
    // 6 012 characters: 18 million characters of names in a file of 300 KB, nearly all of them
    // longer than any file name. Every name is missing once: those of up to 255 characters under
    // their whole upper-cased names, the longer ones under their heads and fingerprints.
    const size_t count = 6000;
    const std::string text = lwflood::SuffixString(count);
    const std::wstring dir = Tmp() + L"\\suffix_flood";
    MakeDirs(dir);
    const std::wstring root = dir + L"\\suffixes.dll";
    ASSERT_TRUE(WriteAll(root, lwflood::SuffixFloodImage(kNativeMachine == 0x8664, text, count)));
    const Maps m = Walk(root);
    EXPECT_TRUE(m.found.empty() && m.resolved.empty());
    ASSERT_EQ(m.missing.size(), count);
    for (const auto& e : m.missing)
        ASSERT_EQ(e.second, root);
    auto keyOf = [&](size_t k) {
        const std::wstring key = lwflood::SuffixKey(text, k);
        return key.size() <= 255 ? key : ShortKey(key);
    };
    for (size_t k = 0; k < count; k += 7)
        ASSERT_EQ(m.missing.count(keyOf(k)), 1u) << k;
    ASSERT_EQ(m.missing.count(keyOf(count - 1)), 1u);
    // Every key is short, and the whole keys are those of the names of a file name's length.
    size_t whole = 0;
    for (const auto& e : m.missing) {
        ASSERT_LE(e.first.size(), 256u + 40u);
        whole += e.first.find(L'\x2026') == std::wstring::npos;
    }
    EXPECT_EQ(whole, 255u - 13u + 1u);
    // A second walk in the process (the module's data kept) gives the same maps.
    EXPECT_TRUE(Walk(root) == m);
    RemoveTree(dir);
}

TEST_F(FloodTest, NamesAtTheLimitsOfAFileName) {
    // Each module imports two names, one character apart in length, on either side of a limit: a
    // name that may name a file is recorded whole, the other by head and fingerprint.
    struct Case {
        const char* what;
        std::string text; // import 0 is the whole text, import 1 its tail without the first character
        bool firstWhole, secondWhole;
    };
    const Case cases[] = {
        {"a file name of 256 and of 255 characters", lwflood::SuffixString(244), false, true},
        {"a path of 32 767 and of 32 766 characters in folders", lwflood::SuffixString(32755, 50), false, true},
        {"a file name of 255 characters in a folder", "sub\\" + lwflood::SuffixString(244).substr(1), true, true},
        {"a folder name of 256 characters", lwflood::SuffixString(244) + "\\x.dll", false, true},
    };
    const std::wstring dir = Tmp() + L"\\name_limits";
    MakeDirs(dir);
    const std::wstring root = dir + L"\\limits.dll";
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteAll(root, lwflood::SuffixFloodImage(kNativeMachine == 0x8664, c.text, 2))) << c.what;
        const Maps m = Walk(root);
        const std::wstring first = lwflood::SuffixKey(c.text, 0), second = lwflood::SuffixKey(c.text, 1);
        EXPECT_EQ(m.missing, (CModules{{c.firstWhole ? first : ShortKey(first), root},
                                       {c.secondWhole ? second : ShortKey(second), root}}))
            << c.what;
        EXPECT_TRUE(m.found.empty() && m.resolved.empty()) << c.what;
    }
    RemoveTree(dir);
}

TEST_F(FloodTest, NamesThatReachThroughFolders) {
    // Names with separators are looked for below the searched folders; a first part that a folder
    // does not hold as a subfolder is answered from its listing. 2 000 suffixes of a string with a
    // backslash every 50 characters are all missing; a name through a subfolder that is there is
    // found, one through a file is not.
    const std::wstring dir = Tmp() + L"\\through_folders";
    MakeDirs(dir + L"\\sub");
    ASSERT_TRUE(CopyTo(App() + L"\\d.dll", dir + L"\\sub\\leaf.dll"));
    ASSERT_TRUE(CopyTo(App() + L"\\d.dll", dir + L"\\leaf.dll"));
    const bool x64 = kNativeMachine == 0x8664;
    const size_t count = 2000;
    const std::string text = lwflood::SuffixString(count, 50);
    ASSERT_TRUE(WriteAll(dir + L"\\flood.dll", lwflood::SuffixFloodImage(x64, text, count)));
    const Maps flood = Walk(dir + L"\\flood.dll");
    EXPECT_TRUE(flood.found.empty() && flood.resolved.empty());
    ASSERT_EQ(flood.missing.size(), count);
    for (size_t k = 0; k < count; k += 97)
        EXPECT_EQ(flood.missing.count(lwflood::SuffixKey(text, k)), 1u) << k;

    ASSERT_TRUE(WriteAll(dir + L"\\present.dll", lwflood::SuffixFloodImage(x64, "sub\\leaf.dll", 1)));
    const Maps present = Walk(dir + L"\\present.dll");
    EXPECT_EQ(present.found.count(KvBase::UpperCase(dir + L"\\sub\\leaf.dll")), 1u);
    EXPECT_EQ(present.resolved.count(L"SUB\\LEAF.DLL"), 1u);
    EXPECT_TRUE(present.missing.empty());

    ASSERT_TRUE(WriteAll(dir + L"\\file.dll", lwflood::SuffixFloodImage(x64, "leaf.dll\\x.dll", 1)));
    const Maps file = Walk(dir + L"\\file.dll");
    EXPECT_TRUE(file.found.empty());
    EXPECT_EQ(file.missing.count(L"LEAF.DLL\\X.DLL"), 1u);
    RemoveTree(dir);
}

TEST_F(FloodTest, LargeManifestWithManyMissingNames) {
    // 400 assemblies absent from WinSxS before the one that holds sxsdep.dll, 300 missing names:
    // the manifest is read once, and every name still gets the whole search.
    const std::wstring root = Flood(L"manifest.dll");
    const Maps m = Walk(root);
    const std::wstring sxsdep = Sxs() + L"\\sxsdep.dll";
    EXPECT_EQ(m.found, (CModules{{KvBase::UpperCase(sxsdep), sxsdep}}));
    EXPECT_TRUE(m.resolved.empty());
    ASSERT_EQ(m.missing.size(), 300u);
    EXPECT_EQ(m.missing.count(L"MANIFEST_MISSING000.DLL"), 1u);
    EXPECT_EQ(m.missing.count(L"MANIFEST_MISSING299.DLL"), 1u);
    const Maps p = Walk(Flood(L"manifest_plain.dll"));
    EXPECT_EQ(p.found, m.found);
    EXPECT_EQ(p.missing.size(), 16u);
}

// ---------------------------------------------------------------------------------------------
// The process-wide store

// The modules of a folder (executables and DLLs), sorted.
std::vector<std::wstring> Modules(const std::wstring& folder, size_t most) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return files;
    do {
        const std::wstring n = KvBase::UpperCase(fd.cFileName);
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && n.size() > 4 &&
            (n.compare(n.size() - 4, 4, L".DLL") == 0 || n.compare(n.size() - 4, 4, L".EXE") == 0))
            files.push_back(folder + L"\\" + fd.cFileName);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    std::sort(files.begin(), files.end());
    if (files.size() > most)
        files.resize(most);
    return files;
}

TEST(ModuleStore, ManyRootsAndThreadsGiveTheSameMaps) {
    KV_SKIP_THREADS_IF_EMULATED();
    const std::vector<std::wstring> roots = Modules(SystemDir(), 120);
    ASSERT_GT(roots.size(), 50u);
    // Each root walked twice in turn: the second walk takes what the first read.
    std::vector<Maps> first, second;
    for (const std::wstring& r : roots)
        first.push_back(Walk(r));
    for (const std::wstring& r : roots)
        second.push_back(Walk(r));
    size_t entries = 0;
    for (size_t i = 0; i < roots.size(); ++i) {
        EXPECT_TRUE(first[i] == second[i]) << std::string(roots[i].begin(), roots[i].end());
        entries += first[i].found.size();
    }
    EXPECT_GT(entries, roots.size());
    // Four threads walk all roots at once, each from another start.
    std::vector<std::vector<Maps>> byThread(4, std::vector<Maps>(roots.size()));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < byThread.size(); ++t)
        threads.emplace_back([&, t] {
            ::CoInitialize(nullptr);
            for (size_t k = 0; k < roots.size(); ++k) {
                const size_t i = (k + t * 31) % roots.size();
                byThread[t][i] = Walk(roots[i]);
            }
            ::CoUninitialize();
        });
    for (std::thread& th : threads)
        th.join();
    for (size_t t = 0; t < byThread.size(); ++t)
        for (size_t i = 0; i < roots.size(); ++i)
            EXPECT_TRUE(byThread[t][i] == first[i]) << t << " " << std::string(roots[i].begin(), roots[i].end());
}

TEST(ModuleStore, ChangedModuleIsReadAgain) {
    // A copy of the graph whose files keep their build times (old enough to be kept): after a walk,
    // a.dll is replaced by a module without imports, and the next walk no longer reaches b and d.
    // In a folder of its own, each visit asks the file; in the system folder, whose change watch
    // tells of the change, a walk asks nothing until then.
    const wchar_t* const graph[] = {L"root.exe", L"a.dll", L"b.dll", L"c.dll", L"d.dll", L"e.dll"};
    const std::wstring own = Tmp() + L"\\store_changed";
    MakeDirs(own);
    for (const std::wstring& dir : {own, SystemDir()}) {
        for (const wchar_t* n : graph)
            ASSERT_TRUE(CopyTo(App() + L"\\" + n, dir + L"\\" + n)) << std::string(dir.begin(), dir.end());
        const std::wstring root = dir + L"\\root.exe";
        const Maps before = Walk(root);
        EXPECT_EQ(before.found.count(KvBase::UpperCase(dir + L"\\b.dll")), 1u);
        EXPECT_TRUE(Walk(root) == before);
        ASSERT_TRUE(CopyTo(App() + L"\\d.dll", dir + L"\\a.dll"));
        const Maps after = Walk(root);
        EXPECT_EQ(after.found.count(KvBase::UpperCase(dir + L"\\a.dll")), 1u);
        EXPECT_EQ(after.found.count(KvBase::UpperCase(dir + L"\\b.dll")), 0u);
        EXPECT_EQ(after.found.count(KvBase::UpperCase(dir + L"\\d.dll")), 0u);
        EXPECT_EQ(after.found.count(KvBase::UpperCase(dir + L"\\c.dll")), 1u);
        EXPECT_TRUE(Walk(root) == after);
        for (const wchar_t* n : graph)
            ::DeleteFileW((dir + L"\\" + n).c_str());
    }
    RemoveTree(own);
}

} // namespace
