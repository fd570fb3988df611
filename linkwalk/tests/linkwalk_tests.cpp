// The dependency finder on fixture modules built by the cross compilers: the maps of a known
// graph, the search order, malformed and mutated modules, the system folder.
#include "fixture_util.h"
#include "LinkwalkSingletons.h"

#include <algorithm>
#include <map>
#include <random>

using namespace lwtest;
using Depends::CDepps;
using Depends::CModules;

namespace {

const wchar_t kSxsName[] = L"Kv.Linkwalk.Sxs";
const wchar_t kSxsToken[] = L"1fc8b3b9a1e18e3b";

std::wstring SxsArch() { return kNativeMachine == 0x8664 ? L"amd64" : L"x86"; }

// The side-by-side folder that root.exe's manifest names, made under the Windows WinSxS folder
// for the tests of this executable and removed after them.
class FinderTest : public ::testing::Test {
public:
    static std::wstring SxsFolder() {
        return WindowsDir() + L"\\WinSxS\\" + SxsArch() + L"_" + kSxsName + L"_" + kSxsToken +
               L"_1.0.0.0_none_linkwalktests";
    }
    static void SetUpTestSuite() {
        MakeDirs(SxsFolder());
        ASSERT_TRUE(CopyTo(Fixtures() + L"\\sxs\\sxsdep.dll", SxsFolder() + L"\\sxsdep.dll"));
    }
    static void TearDownTestSuite() { RemoveTree(SxsFolder()); }

protected:
    static CModules Entries(std::initializer_list<std::wstring> values, bool keyIsPath = true) {
        CModules m;
        for (const std::wstring& v : values)
            m[KvBase::UpperCase(keyIsPath ? v : v.substr(v.find_last_of(L'\\') + 1))] = v;
        return m;
    }
};

TEST_F(FinderTest, RootGraphGivesExactMaps) {
    const std::wstring app = App(), root = app + L"\\root.exe";
    CDepps f;
    f.AddModule(root, root, 1);

    const std::wstring sxs = SxsFolder() + L"\\sxsdep.dll";
    EXPECT_EQ(f.m_found, Entries({app + L"\\a.dll", app + L"\\b.dll", app + L"\\c.dll", app + L"\\d.dll", sxs}));
    // nowhere.dll exists nowhere; e.dll stands beside root.exe but is built for the other machine.
    EXPECT_EQ(f.m_missing, (CModules{{L"NOWHERE.DLL", root}, {L"E.DLL", root}}));
    // Names found through the manifest's assembly folder are not kept as resolved.
    EXPECT_EQ(
        f.m_resolved,
        Entries({app + L"\\a.dll", app + L"\\b.dll", app + L"\\c.dll", app + L"\\d.dll", app + L"\\e.dll"}, false));
    EXPECT_EQ(std::wstring(f.m_appDirectory), app);
    EXPECT_EQ(f.m_rootMachine, kNativeMachine);

    // A copy keeps the maps; a second root call on a finder with entries changes nothing.
    CDepps copy(f);
    EXPECT_EQ(copy.m_found, f.m_found);
    copy.AddModule(app + L"\\b.dll", app + L"\\b.dll", 1);
    EXPECT_EQ(copy.m_found, f.m_found);
    EXPECT_EQ(copy.m_missing, f.m_missing);
    CDepps assigned;
    assigned = f;
    EXPECT_EQ(assigned.m_resolved, f.m_resolved);
    EXPECT_EQ(std::wstring(assigned.m_appDirectory), app);
}

TEST_F(FinderTest, AppDirectoryBeforeSystemDirectory) {
    const std::wstring dir = Fixtures() + L"\\sys", root = dir + L"\\sys.exe";
    CDepps f;
    f.AddModule(root, root, 1);
    // version.dll exists in the system directory too; the copy beside the program wins.
    EXPECT_EQ(f.m_resolved[L"VERSION.DLL"], dir + L"\\version.dll");
    EXPECT_EQ(f.m_found.count(KvBase::UpperCase(dir + L"\\version.dll")), 1u);
    // kernel32 comes from the system search list, whose folders are kept upper-cased.
    const std::wstring k32 = KvBase::UpperCase(SystemDir()) + L"\\KERNEL32.dll";
    EXPECT_EQ(f.m_resolved[L"KERNEL32.DLL"], k32);
    EXPECT_EQ(f.m_found[KvBase::UpperCase(k32)], k32);
    for (const auto& m : f.m_missing)
        ADD_FAILURE() << "missing: " << std::string(m.first.begin(), m.first.end());
}

TEST_F(FinderTest, EmptyAndUnreadableRoots) {
    const std::wstring app = App();
    {
        // A root without imports: empty maps, directory and machine set.
        CDepps f;
        f.AddModule(app + L"\\d.dll", app + L"\\d.dll", 1);
        EXPECT_TRUE(f.m_found.empty() && f.m_missing.empty() && f.m_resolved.empty());
        EXPECT_EQ(std::wstring(f.m_appDirectory), app);
        EXPECT_EQ(f.m_rootMachine, kNativeMachine);
        // Its first root produced no entry: a second root is walked as a new one.
        f.AddModule(app + L"\\a.dll", app + L"\\a.dll", 1);
        EXPECT_EQ(f.m_found, Entries({app + L"\\b.dll", app + L"\\d.dll"}));
    }
    // Files that are no PE image leave everything as it was.
    const std::wstring tmp = Tmp();
    std::vector<BYTE> small(40, 'M');
    small[1] = 'Z';
    std::vector<BYTE> text(200, 'x');
    std::vector<BYTE> ne = ReadAll(app + L"\\d.dll");
    const DWORD lfanew = Get<DWORD>(ne, 0x3C);
    ne[lfanew] = 'N';
    ne[lfanew + 1] = 'E';
    struct Case {
        const wchar_t* name;
        const std::vector<BYTE>* data;
    } cases[] = {{L"short.dll", &small}, {L"text.dll", &text}, {L"ne.dll", &ne}};
    for (const Case& c : cases) {
        const std::wstring p = tmp + L"\\" + c.name;
        ASSERT_TRUE(WriteAll(p, *c.data));
        CDepps f;
        f.AddModule(p, p, 1);
        EXPECT_EQ(f.m_rootMachine, 0) << c.name;
        EXPECT_EQ(f.m_appDirectory[0], 0) << c.name;
        EXPECT_TRUE(f.m_found.empty() && f.m_missing.empty() && f.m_resolved.empty());
    }
    CDepps f;
    f.AddModule(tmp + L"\\absent.exe", tmp + L"\\absent.exe", 1);
    EXPECT_EQ(f.m_rootMachine, 0);
}

// Copies root.exe with its DLLs into a folder and returns the new root's path.
std::wstring CopyGraph(const std::wstring& dir) {
    MakeDirs(dir);
    for (const wchar_t* n : {L"root.exe", L"a.dll", L"b.dll", L"c.dll", L"d.dll", L"e.dll"})
        EXPECT_TRUE(CopyTo(App() + L"\\" + n, dir + L"\\" + n)) << std::string(dir.begin(), dir.end());
    return dir + L"\\root.exe";
}

TEST_F(FinderTest, DelayImportDescriptorForms) {
    const std::wstring dir = Tmp() + L"\\delay";
    const std::wstring root = CopyGraph(dir);
    const std::vector<BYTE> original = ReadAll(root);
    PeOffsets pe(original);
    const DWORD descRva = Get<DWORD>(original, pe.Dir(13));
    const DWORD descSize = Get<DWORD>(original, pe.Dir(13) + 4);
    // The linked table holds one descriptor and no zero descriptor after it.
    ASSERT_EQ(descSize, 32u);
    const DWORD desc = pe.Pos(descRva);
    const DWORD nameRva = Get<DWORD>(original, desc + 4);
    ASSERT_EQ(Get<DWORD>(original, desc) & 1, 1u);

    struct Case {
        const char* what;
        uint64_t imageBase;
        DWORD attributes;
        DWORD nameField;
    } cases[] = {
        {"as linked: RVA form, directory without terminator", 0, 1, nameRva},
        {"old style: virtual address", 0x10000000, 0, nameRva + 0x10000000},
        {"RVA form above a low image base", 0x1000, 1, nameRva},
        {"RVA without the RVA attribute above a low image base", 0x1000, 0, nameRva},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> data = original;
        if (c.imageBase) {
            if (pe.plus)
                Put<uint64_t>(data, pe.ImageBase(), c.imageBase);
            else
                Put<DWORD>(data, pe.ImageBase(), static_cast<DWORD>(c.imageBase));
        }
        Put<DWORD>(data, desc, c.attributes);
        Put<DWORD>(data, desc + 4, c.nameField);
        ASSERT_TRUE(WriteAll(root, data));
        CDepps f;
        f.AddModule(root, root, 1);
        EXPECT_EQ(f.m_resolved[L"C.DLL"], dir + L"\\c.dll") << c.what;
    }
}

TEST_F(FinderTest, PathsLongerThanMaxPath) {
    std::wstring dir = Tmp() + L"\\long";
    while (dir.size() < MAX_PATH + 20)
        dir += L"\\segment_of_a_long_path";
    const std::wstring root = CopyGraph(dir);
    CDepps f;
    f.AddModule(root, root, 1);
    EXPECT_EQ(f.m_resolved[L"A.DLL"], dir + L"\\a.dll");
    EXPECT_EQ(f.m_found.count(KvBase::UpperCase(dir + L"\\d.dll")), 1u);
    EXPECT_EQ(f.m_found.count(KvBase::UpperCase(dir + L"\\c.dll")), 1u);
    EXPECT_EQ(f.m_missing.count(L"NOWHERE.DLL"), 1u);
    // The fixed directory member holds what fits; the walk used the whole directory.
    EXPECT_EQ(wcslen(f.m_appDirectory), size_t(MAX_PATH - 1));
    RemoveTree(Tmp() + L"\\long");
}

TEST_F(FinderTest, MachineTest) {
    const std::wstring dir = Tmp() + L"\\machine";
    const std::wstring root = CopyGraph(dir);
    std::vector<BYTE> arm = ReadAll(dir + L"\\d.dll");
    PeOffsets pe(arm);
    Put<WORD>(arm, pe.nt + 4, 0x1C4);
    ASSERT_TRUE(WriteAll(dir + L"\\arm.dll", arm));
    CDepps f;
    f.AddModule(root, root, 1);
    // With the same-machine flag 0 a module of another machine is recorded and not walked.
    f.AddModule(dir + L"\\arm.dll", root, 0);
    EXPECT_EQ(f.m_found.count(KvBase::UpperCase(dir + L"\\arm.dll")), 1u);
    EXPECT_EQ(f.m_rootMachine, kNativeMachine);
    // With flag 1 it counts as missing under its name.
    CDepps g;
    g.AddModule(root, root, 1);
    g.AddModule(dir + L"\\arm.dll", root, 1);
    EXPECT_EQ(g.m_found.count(KvBase::UpperCase(dir + L"\\arm.dll")), 0u);
    EXPECT_EQ(g.m_missing[L"ARM.DLL"], root);
}

TEST_F(FinderTest, PathEntriesAndSearchLists) {
    const std::wstring base = Tmp() + L"\\pathcase";
    MakeDirs(base + L"\\alone");
    MakeDirs(base + L"\\lib");
    ASSERT_TRUE(CopyTo(App() + L"\\root.exe", base + L"\\alone\\root.exe"));
    for (const wchar_t* n : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"})
        ASSERT_TRUE(CopyTo(App() + L"\\" + n, base + L"\\lib\\" + n));
    const std::wstring saved = Env(L"Path");
    // A quoted entry, an unexpanded variable and an empty piece before the usual entries.
    const std::wstring path = L"\"" + base + L"\\lib\";%KV_NOT_EXPANDED%;;" + saved;
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Path", path.c_str()));
    Depends::Common::Detach(); // the lists are built again on first use, from this Path
    CDepps f;
    const std::wstring root = base + L"\\alone\\root.exe";
    f.AddModule(root, root, 1);
    ::SetEnvironmentVariableW(L"Path", saved.c_str());
    Depends::Common::Detach();
    const std::wstring lib = KvBase::UpperCase(base + L"\\lib\\");
    EXPECT_EQ(f.m_resolved[L"A.DLL"], lib + L"a.dll");
    EXPECT_EQ(f.m_resolved[L"D.DLL"], lib + L"d.dll");
    EXPECT_EQ(f.m_found.count(KvBase::UpperCase(lib + L"c.dll")), 1u);
}

// root.exe copies whose embedded manifest is patched in place (same length).
TEST_F(FinderTest, ManifestVariants) {
    const std::wstring dir = Tmp() + L"\\manifest";
    const std::wstring root = CopyGraph(dir);
    const std::vector<BYTE> original = ReadAll(root);
    const std::string text(original.begin(), original.end());
    const size_t decl = text.find("<?xml");
    ASSERT_NE(decl, std::string::npos);
    const size_t declEnd = text.find("?>", decl) + 2;
    const size_t token = text.find("publicKeyToken", decl);
    ASSERT_NE(token, std::string::npos);
    PeOffsets pe(original);
    DWORD resPos = pe.Pos(Get<DWORD>(original, pe.Dir(2)));

    // Finds the data entry of the manifest: the one whose data starts at the declaration.
    size_t dataEntry = 0;
    for (size_t off = resPos; off + 16 <= original.size() && off < resPos + 0x400; off += 4) {
        DWORD pos = 0;
        if (pe.view.RvaToOffset(Get<DWORD>(original, off), pos) && pos == decl && Get<DWORD>(original, off + 4) > 100) {
            dataEntry = off;
            break;
        }
    }
    ASSERT_NE(dataEntry, 0u);

    struct Case {
        const char* what;
        bool found;
        void (*patch)(std::vector<BYTE>&, size_t decl, size_t declEnd, size_t token, size_t entry);
    } cases[] = {
        {"byte-order mark and blanks before the first element", true,
         [](std::vector<BYTE>& d, size_t b, size_t e, size_t, size_t) {
             std::fill(d.begin() + b, d.begin() + e, BYTE(' '));
             d[b] = 0xEF, d[b + 1] = 0xBB, d[b + 2] = 0xBF;
         }},
        {"identity without publicKeyToken", false,
         [](std::vector<BYTE>& d, size_t, size_t, size_t t, size_t) { d[t + 13] = 'X'; }},
        {"resource size running past the file", false,
         [](std::vector<BYTE>& d, size_t, size_t, size_t, size_t entry) { Put<DWORD>(d, entry + 4, 0x7FFFFFF0); }},
        {"resource without its text", false,
         [](std::vector<BYTE>& d, size_t b, size_t, size_t, size_t) {
             std::fill(d.begin() + b, d.begin() + b + 400, BYTE(' '));
         }},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> data = original;
        c.patch(data, decl, declEnd, token, dataEntry);
        ASSERT_TRUE(WriteAll(root, data));
        CDepps f;
        f.AddModule(root, root, 1);
        EXPECT_EQ(f.m_found.count(KvBase::UpperCase(SxsFolder() + L"\\sxsdep.dll")), c.found ? 1u : 0u) << c.what;
        EXPECT_EQ(f.m_missing.count(L"SXSDEP.DLL"), c.found ? 0u : 1u) << c.what;
        EXPECT_EQ(f.m_resolved.count(L"A.DLL"), 1u) << c.what;
    }
}

TEST(LinkwalkCommon, AttachDetach) {
    EXPECT_EQ(Depends::Common::Attach(), 1);
    EXPECT_NE(TSingletonHolder<COsInfo>::pInstance, nullptr);
    EXPECT_EQ(Depends::Common::Detach(), 1);
    EXPECT_EQ(TSingletonHolder<COsInfo>::pInstance, nullptr);
    EXPECT_TRUE(TSingletonHolder<COsInfo>::bDestroyed);
    // The next search makes the lists again.
    CDepps f;
    const std::wstring root = Fixtures() + L"\\sys\\sys.exe";
    f.AddModule(root, root, 1);
    EXPECT_EQ(f.m_resolved.count(L"KERNEL32.DLL"), 1u);
    EXPECT_NE(TSingletonHolder<COsInfo>::pInstance, nullptr);
}

} // namespace
