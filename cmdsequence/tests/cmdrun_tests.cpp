// Running a command sequence, and the path conversions around it.
#include "KvCmdSequence.h"

#include "test_fixtures.h"

#include <gtest/gtest.h>

using namespace KvCmdSequence;
using KvTest::Describe;

namespace {

// Opens the protected operations for the tests.
class CRunner : public CCmdSequence {
public:
    using CCmdSequence::FindResInMap;
    using CCmdSequence::m_mapDrives;
    using CCmdSequence::m_mapEnvVars;
    using CCmdSequence::m_mapResSeen;
    using CCmdSequence::m_mapShares;
    using CCmdSequence::PassCmdList;
    using CCmdSequence::Path2Var;
    using CCmdSequence::Var2Path;

    CRunner& Add(int type, int exclude, int recursive, const std::wstring& root, const std::wstring& dirs,
                 const std::wstring& files, int deps = 0) {
        GetCmdList()->push_back(KvTest::Cmd(L"", type, exclude, recursive, deps, root, dirs, files));
        return *this;
    }
};

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// Inside a machine-view scope the objects share the first object's reading of the system: a
// variable changed after it is seen only by objects made once the last scope has ended. Nested
// scopes keep the reading until the outer one ends.
TEST(MachineView, ObjectsInsideScopeShareOneReading) {
    wchar_t saved[MAX_PATH] = {};
    const DWORD had = GetEnvironmentVariableW(L"TEMP", saved, MAX_PATH);
    ASSERT_LT(had, static_cast<DWORD>(MAX_PATH));
    struct Restore {
        DWORD had;
        const wchar_t* saved;
        ~Restore() { SetEnvironmentVariableW(L"TEMP", had ? saved : nullptr); }
    } restore{had, saved};
    const std::wstring first = L"Q:\\view-one", second = L"Q:\\view-two";

    ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", first.c_str()));
    {
        CMachineViewScope outer;
        CRunner a;
        ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", second.c_str()));
        {
            CMachineViewScope inner;
            CRunner b;
            EXPECT_EQ(b.m_mapEnvVars.count(first), 1u);
            EXPECT_EQ(b.m_mapEnvVars.count(second), 0u);
        }
        CRunner c; // the outer scope still holds the reading
        EXPECT_EQ(c.m_mapEnvVars, a.m_mapEnvVars);
        EXPECT_EQ(c.m_mapDrives, a.m_mapDrives);
        EXPECT_EQ(c.m_mapShares, a.m_mapShares);
        EXPECT_EQ(c.m_mapEnvVars.count(first), 1u);
    }
    CRunner d; // no scope: the system is read again
    EXPECT_EQ(d.m_mapEnvVars.count(second), 1u);
    EXPECT_EQ(d.m_mapEnvVars.count(first), 0u);
    {
        CMachineViewScope again; // a new scope reads anew
        CRunner e;
        EXPECT_EQ(e.m_mapEnvVars.count(second), 1u);
    }
    CRunner f;
    EXPECT_FALSE(f.m_mapEnvVars.empty());
    EXPECT_EQ(f.m_mapEnvVars.at(second), L"%TEMP%");
}

struct Outputs {
    std::list<ScsResource> files, registry, modules;
};

class PassCmdListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = KvTest::TestTmp() + L"\\run";
        KvTest::MakeSampleTree(s_root);
    }
    PassCmdListTest() : m_key(L"cmdsequence_tests_run") {
        m_key.SetString(L"", L"Root", s_root);
        m_key.SetString(L"", L"v0", L"0");
        m_key.SetString(L"Sub", L"v1", L"1");
    }
    int Run(CRunner& seq) { return seq.PassCmdList(m_out.files, m_out.registry, m_out.modules); }

    static std::wstring s_root;
    KvTest::CRegFixture m_key;
    Outputs m_out;
};
std::wstring PassCmdListTest::s_root;

TEST_F(PassCmdListTest, EmptyListSortsAndDeduplicatesWhatTheListsHold) {
    CRunner seq;
    m_out.files = {ScsResource(L"C:\\b", SCS_FILE), ScsResource(L"c:\\A", SCS_FILE), ScsResource(L"C:\\a", SCS_FILE),
                   ScsResource(L"C:\\a", SCS_DIRECTORY)};
    m_out.modules = {ScsResource(L"z", SCS_FILE), ScsResource(L"Z", SCS_FILE)};
    EXPECT_EQ(Run(seq), 1);
    EXPECT_EQ(Describe(m_out.files), (std::vector<std::wstring>{L"F:c:\\A", L"D:C:\\a", L"F:C:\\b"}));
    EXPECT_EQ(Describe(m_out.modules), std::vector<std::wstring>{L"F:z"});
}

TEST_F(PassCmdListTest, DirectoriesWithFilesAcrossLevels) {
    const std::wstring r = s_root;
    CRunner seq;
    seq.Add(CMD_DIRS_WITH_FILES, 0, 1, r + L"\\", L"*", L"*.dll;*.exe");
    EXPECT_EQ(Run(seq), 1);
    // The root once (the trailing backslash is gone), every directory once, the matching files,
    // sorted by path.
    EXPECT_EQ(Describe(m_out.files),
              (std::vector<std::wstring>{L"D:" + r, L"D:" + r + L"\\Alpha", L"D:" + r + L"\\Alpha\\Deep",
                                         L"F:" + r + L"\\Alpha\\Deep\\z.dll", L"F:" + r + L"\\Alpha\\x.exe",
                                         L"F:" + r + L"\\b.exe", L"D:" + r + L"\\Beta", L"F:" + r + L"\\Beta\\w.exe",
                                         L"F:" + r + L"\\c.dll", L"D:" + r + L"\\Empty"}));
    EXPECT_TRUE(m_out.registry.empty());
    EXPECT_TRUE(m_out.modules.empty());
}

TEST_F(PassCmdListTest, ScenariosOfAddingAndRemoving) {
    const std::wstring r = s_root;
    struct Case {
        const char* what;
        std::vector<SOneCmd> commands;
        std::vector<std::wstring> files;
    };
    auto cmd = [](int type, int excl, int rec, const std::wstring& root, const std::wstring& dirs,
                  const std::wstring& files) { return KvTest::Cmd(L"", type, excl, rec, 0, root, dirs, files); };
    const Case cases[] = {
        {"empty file masks yield nothing", {cmd(0, 0, 1, r, L"*", L"")}, {}},
        {"kind 0 walks every level whatever its directory masks",
         {cmd(0, 0, 1, r, L"", L"*.exe")},
         {L"F:" + r + L"\\Alpha\\x.exe", L"F:" + r + L"\\b.exe", L"F:" + r + L"\\Beta\\w.exe"}},
        {"blanks separate masks",
         {cmd(0, 0, 0, r, L"*", L"a.* c.*")},
         {L"F:" + r + L"\\a.txt", L"F:" + r + L"\\c.dll"}},
        {"add, then remove the same", {cmd(0, 0, 1, r, L"*", L"*.exe"), cmd(0, 1, 1, r, L"*", L"*.exe")}, {}},
        {"remove, then add the same",
         {cmd(0, 1, 1, r, L"*", L"*.exe"), cmd(0, 0, 1, r, L"*", L"*.exe")},
         {L"F:" + r + L"\\Alpha\\x.exe", L"F:" + r + L"\\b.exe", L"F:" + r + L"\\Beta\\w.exe"}},
        {"removing takes only what came before",
         {cmd(0, 0, 1, r, L"*", L"*.exe"), cmd(0, 1, 0, r + L"\\Alpha", L"*", L"*"),
          cmd(0, 0, 0, r + L"\\Alpha", L"*", L"*.txt")},
         {L"F:" + r + L"\\Alpha\\y.txt", L"F:" + r + L"\\b.exe", L"F:" + r + L"\\Beta\\w.exe"}},
        {"removing a directory entry leaves its files",
         {cmd(1, 0, 1, r, L"*", L"*.dll"), cmd(1, 1, 0, r + L"\\Alpha", L"Deep", L"none")},
         {L"D:" + r, L"F:" + r + L"\\Alpha\\Deep\\z.dll", L"D:" + r + L"\\Beta", L"F:" + r + L"\\c.dll",
          L"D:" + r + L"\\Empty"}},
        {"a missing root collects nothing", {cmd(1, 0, 1, r + L"\\missing", L"*", L"*")}, {}},
        {"installed programs yield nothing and the run goes on",
         {cmd(4, 0, 0, L"", L"*", L"*"), cmd(0, 0, 0, r, L"*", L"a.txt")},
         {L"F:" + r + L"\\a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRunner seq;
        *seq.GetCmdList() = std::list<SOneCmd>(c.commands.begin(), c.commands.end());
        Outputs out;
        EXPECT_EQ(seq.PassCmdList(out.files, out.registry, out.modules), 1);
        EXPECT_EQ(Describe(out.files), c.files);
        EXPECT_TRUE(out.registry.empty());
    }
}

TEST_F(PassCmdListTest, UnknownKindStopsTheRunUnsorted) {
    CRunner seq;
    seq.Add(0, 0, 0, s_root, L"*", L"*.exe").Add(7, 0, 0, s_root, L"*", L"*").Add(0, 0, 0, s_root, L"*", L"*.txt");
    m_out.files = {ScsResource(L"Z:\\z", SCS_FILE)};
    EXPECT_EQ(Run(seq), 0);
    EXPECT_EQ(Describe(m_out.files), (std::vector<std::wstring>{L"F:Z:\\z", L"F:" + s_root + L"\\b.exe"}));
}

TEST_F(PassCmdListTest, RegistryCommands) {
    const std::wstring k = m_key.Path();
    const std::wstring rootRef = L"#" + k + L"\\Root#";
    CRunner values;
    values.Add(CMD_KEY_VALUES, 0, 1, k + L"\\", L"", L"*");
    EXPECT_EQ(values.PassCmdList(m_out.files, m_out.registry, m_out.modules), 1);
    EXPECT_EQ(Describe(m_out.registry),
              (std::vector<std::wstring>{L"V:" + k + L"\\Root", L"V:" + k + L"\\Sub\\v1", L"V:" + k + L"\\v0"}));

    Outputs keys;
    CRunner withKeys;
    withKeys.Add(CMD_KEYS_WITH_VALUES, 0, 0, k, L"S*", L"v*").Add(CMD_KEY_VALUES, 1, 0, k, L"*", L"v0");
    EXPECT_EQ(withKeys.PassCmdList(keys.files, keys.registry, keys.modules), 1);
    EXPECT_EQ(Describe(keys.registry), (std::vector<std::wstring>{L"K:" + k, L"K:" + k + L"\\Sub"}));

    // A registry reference in a disk root is resolved; registry roots are taken as written.
    Outputs byRef;
    CRunner ref;
    ref.Add(CMD_DIR_FILES, 0, 0, rootRef + L"\\Alpha", L"*", L"*.exe").Add(CMD_KEY_VALUES, 0, 0, rootRef, L"*", L"*");
    EXPECT_EQ(ref.PassCmdList(byRef.files, byRef.registry, byRef.modules), 1);
    EXPECT_EQ(Describe(byRef.files), std::vector<std::wstring>{L"F:" + s_root + L"\\Alpha\\x.exe"});
    EXPECT_TRUE(byRef.registry.empty());
}

TEST_F(PassCmdListTest, EnvironmentVariablesInRoots) {
    // TEMP is one of the variables the object reads at construction.
    const std::wstring savedTemp = Env(L"TEMP");
    ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", s_root.c_str()));
    CRunner seq;
    SetEnvironmentVariableW(L"TEMP", savedTemp.c_str());
    seq.Add(CMD_DIR_FILES, 0, 0, L"%temp%\\Alpha", L"*", L"*.exe")
        .Add(CMD_DIR_FILES, 0, 0, s_root + L"\\%TEMP%", L"*", L"*");
    EXPECT_EQ(Run(seq), 1);
    EXPECT_EQ(Describe(m_out.files), std::vector<std::wstring>{L"F:" + s_root + L"\\ALPHA\\x.exe"});
}

// Dependent modules: a program of ours that imports a library of ours, copied into a folder of
// their own, so that the finder finds the library in the program's folder.
TEST_F(PassCmdListTest, DependentModulesOfCollectedExecutables) {
    const std::wstring deps = KvTest::TestTmp() + L"\\deps";
    KvTest::RemoveTree(deps);
    KvTest::MakeTree(deps, {L"notes.txt"});
    wchar_t bin[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"KV_BIN_DIR", bin, MAX_PATH), 0u) << "run by ctest";
    ASSERT_TRUE(
        CopyFileW((std::wstring(bin) + L"\\kvcmdfixapp.exe").c_str(), (deps + L"\\kvcmdfixapp.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW((std::wstring(bin) + L"\\kvcmdfixlib.dll").c_str(), (deps + L"\\kvcmdfixlib.dll").c_str(), FALSE));

    CRunner seq;
    seq.Add(CMD_DIR_FILES, 0, 0, deps, L"*", L"*.exe;*.txt", 1);
    EXPECT_EQ(Run(seq), 1);
    EXPECT_EQ(Describe(m_out.files),
              (std::vector<std::wstring>{L"F:" + deps + L"\\kvcmdfixapp.exe", L"F:" + deps + L"\\notes.txt"}));
    std::vector<std::wstring> modules = Describe(m_out.modules);
    auto has = [&](const std::wstring& path) {
        for (const std::wstring& m : modules)
            if (lstrcmpiW(m.c_str(), (L"F:" + path).c_str()) == 0)
                return true;
        return false;
    };
    EXPECT_TRUE(has(deps + L"\\kvcmdfixapp.exe"));
    EXPECT_TRUE(has(deps + L"\\kvcmdfixlib.dll"));
    const std::wstring system = Env(L"SystemRoot") + L"\\system32\\kernel32.dll";
    EXPECT_TRUE(has(system)) << KvTest::Narrow(system);
    EXPECT_FALSE(has(deps + L"\\notes.txt"));

    // Removing the program with its dependencies takes it and its modules out of both lists.
    CRunner remove;
    remove.Add(CMD_DIR_FILES, 1, 0, deps, L"*", L"*.exe", 1);
    EXPECT_EQ(remove.PassCmdList(m_out.files, m_out.registry, m_out.modules), 1);
    EXPECT_EQ(Describe(m_out.files), std::vector<std::wstring>{L"F:" + deps + L"\\notes.txt"});
    EXPECT_TRUE(m_out.modules.empty()) << KvTest::Narrow(Describe(m_out.modules).front());
}

TEST(PathVariables, Var2PathAndPath2Var) {
    CRunner seq;
    const std::wstring systemRoot = Env(L"SystemRoot"), temp = Env(L"TEMP");
    const std::wstring programs = Env(L"ProgramW6432"), common = Env(L"CommonProgramW6432");
    ASSERT_FALSE(systemRoot.empty());
    ASSERT_FALSE(temp.empty());

    struct Case {
        std::wstring path;
        int result;
        std::wstring expected;
    };
    std::vector<Case> var2path = {
        {L"%SystemRoot%\\System32", 1, systemRoot + L"\\SYSTEM32"},
        {L"%systemroot%\\x", 1, systemRoot + L"\\X"},
        {L"C:\\x\\%TEMP%", 0, L"C:\\x\\%TEMP%"},
        {L"%NOSUCHVARIABLE%\\x", 0, L"%NOSUCHVARIABLE%\\x"},
        {L"", 0, L""},
    };
    std::vector<Case> path2var = {
        {temp + L"\\a.txt", 1, L"%TEMP%\\A.TXT"},
        {L"Q:\\nowhere\\x", 0, L"Q:\\nowhere\\x"},
        {systemRoot + L"\\system32\\x.dll", 1, L"%SystemRoot%\\SYSTEM32\\X.DLL"},
    };
    // On a 64-bit system both program folders have the same value, and the later names own it.
    if (!programs.empty() && programs == Env(L"ProgramFiles")) {
        var2path.push_back({L"%ProgramFiles%\\App", 0, L"%ProgramFiles%\\App"});
        var2path.push_back({L"%ProgramW6432%\\App", 1, programs + L"\\APP"});
        path2var.push_back({programs + L"\\App\\a.exe", 1, L"%ProgramW6432%\\APP\\A.EXE"});
    }
    if (!common.empty() && common.compare(0, programs.size(), programs) == 0 && !programs.empty())
        path2var.push_back({common + L"\\x", 1, L"%CommonProgramW6432%\\X"}); // the longer value first
    for (const Case& c : var2path) {
        SCOPED_TRACE(KvTest::Narrow(c.path));
        std::wstring path = c.path;
        EXPECT_EQ(seq.Var2Path(path), c.result);
        EXPECT_EQ(path, c.expected);
    }
    for (const Case& c : path2var) {
        SCOPED_TRACE(KvTest::Narrow(c.path));
        std::wstring path = c.path;
        EXPECT_EQ(seq.Path2Var(path), c.result);
        EXPECT_EQ(path, c.expected);
    }
}

// A variable that is set but empty owns no entry: an empty value would begin every path, and
// every path would then be written as that variable.
TEST(PathVariables, EmptyVariableOwnsNoValue) {
    wchar_t saved[MAX_PATH] = {};
    const DWORD had = GetEnvironmentVariableW(L"ALLUSERSPROFILE", saved, MAX_PATH);
    ASSERT_LT(had, static_cast<DWORD>(MAX_PATH));
    ASSERT_TRUE(SetEnvironmentVariableW(L"ALLUSERSPROFILE", L""));
    ASSERT_EQ(GetEnvironmentVariableW(L"ALLUSERSPROFILE", nullptr, 0), 1u); // set, and empty
    CRunner seq;
    SetEnvironmentVariableW(L"ALLUSERSPROFILE", had ? saved : nullptr);

    EXPECT_EQ(seq.m_mapEnvVars.count(L""), 0u);
    std::wstring path = L"Q:\\nowhere\\x";
    EXPECT_EQ(seq.Path2Var(path), 0);
    EXPECT_EQ(path, L"Q:\\nowhere\\x");
    path = L"%ALLUSERSPROFILE%\\x";
    EXPECT_EQ(seq.Var2Path(path), 0);
    EXPECT_EQ(path, L"%ALLUSERSPROFILE%\\x");
}

TEST(PathVariables, SystemDriveComesAfterLongerValues) {
    CRunner seq;
    seq.m_mapEnvVars = {
        {L"C:", L"%SystemDrive%"}, {L"C:\\Windows", L"%SystemRoot%"}, {L"C:\\Program Files", L"%ProgramW6432%"}};
    std::wstring a = L"c:\\windows\\x", b = L"C:\\Data";
    EXPECT_EQ(seq.Path2Var(a), 1);
    EXPECT_EQ(a, L"%SystemRoot%\\X");
    EXPECT_EQ(seq.Path2Var(b), 1);
    EXPECT_EQ(b, L"%SystemDrive%\\DATA");
}

// The path begins with a value, separator or not; the longer value is tried first. The model
// collapses its paths by the same rule.
TEST(PathVariables, ValueMatchesWhereverThePathBeginsWithIt) {
    CRunner seq;
    seq.m_mapEnvVars = {{L"C:", L"%SystemDrive%"},
                        {L"C:\\Temp", L"%TEMP%"},
                        {L"C:\\Program Files", L"%ProgramW6432%"},
                        {L"D:\\", L"%DATA%"}};
    struct {
        const wchar_t* in;
        int result;
        const wchar_t* out;
    } cases[] = {
        {L"C:\\TempFiles\\a.txt", 1, L"%TEMP%FILES\\A.TXT"},
        {L"C:\\Program Files (x86)\\App\\a.exe", 1, L"%ProgramW6432% (X86)\\APP\\A.EXE"},
        {L"C:\\Temp\\a.txt", 1, L"%TEMP%\\A.TXT"},
        {L"C:\\Temp", 1, L"%TEMP%"},
        {L"C:x", 1, L"%SystemDrive%X"},
        {L"D:\\x", 1, L"%DATA%X"},
        {L"E:\\C:\\Temp\\x", 0, L"E:\\C:\\Temp\\x"}, // only at the beginning
        {L"", 0, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(KvTest::Narrow(c.in));
        std::wstring path = c.in;
        EXPECT_EQ(seq.Path2Var(path), c.result);
        EXPECT_EQ(path, c.out);
    }
}

// X: and Y: substituted to folders of each other: one step per drive letter, then it ends.
std::wstring LoopExpected() {
    std::wstring path = L"X:\\loop";
    for (int step = 0; step < 26; ++step)
        path = (path[0] == L'X' ? L"Y:\\x" : L"X:\\y") + path.substr(2);
    return path;
}

TEST(FindResInMap, RewritesAliasesAndRemembersPaths) {
    CRunner seq;
    seq.m_mapDrives = {{L"N:", L"\\\\server\\data"}, {L"S:", L"N:\\sub"}, {L"X:", L"Y:\\x"}, {L"Y:", L"X:\\y"}};
    seq.m_mapShares = {{L"\\\\127.0.0.1\\Share", L"D:\\S"}, {L"\\\\PC\\Docs", L"E:\\Docs"}};
    struct Case {
        std::wstring path;
        int type;
        std::wstring rewritten;
    } cases[] = {
        {L"N:\\tools\\x.exe", SCS_FILE, L"\\\\server\\data\\tools\\x.exe"},
        {L"S:\\y", SCS_DIRECTORY, L"\\\\server\\data\\sub\\y"}, // substitution to a redirected drive
        {L"n:\\tools", SCS_FILE, L"n:\\tools"},                 // drive names are case-sensitive
        {L"X:\\loop", SCS_FILE, LoopExpected()},
        {L"\\\\127.0.0.1\\Share\\f.txt", SCS_FILE, L"D:\\S\\f.txt"},
        {L"\\\\PC\\Docs\\a\\b.doc", SCS_FILE, L"E:\\Docs\\a\\b.doc"},
        {L"\\\\PC\\docs\\a", SCS_FILE, L"\\\\PC\\docs\\a"}, // share prefixes are case-sensitive
        {L"\\\\127.0.0.1\\Share\\f.txt", SCS_REG_KEY, L"\\\\127.0.0.1\\Share\\f.txt"}, // registry: kept
        {L"C", SCS_FILE, L"C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KvTest::Narrow(c.path));
        ScsResource r(c.path, c.type);
        EXPECT_EQ(seq.FindResInMap(&r, nullptr), 0);
        EXPECT_EQ(r.strPath, c.rewritten);
    }

    seq.m_mapResSeen.clear();
    std::uint64_t number = 77;
    ScsResource first(L"c:\\x", SCS_FILE), second(L"C:\\X", SCS_DIRECTORY);
    EXPECT_EQ(seq.FindResInMap(&first, &number), 0);
    EXPECT_EQ(number, 77u);
    EXPECT_EQ(seq.FindResInMap(&second, &number), 1);
    EXPECT_EQ(number, 0u);
    EXPECT_EQ(seq.FindResInMap(&second, nullptr), 1);
    EXPECT_EQ(seq.FindResInMap(nullptr, &number), 0);
    EXPECT_EQ(seq.m_mapResSeen.count(L"C:\\X"), 1u);
}

TEST(FindResInMap, SubstitutedDriveOfTheSystem) {
    // A drive substituted to a folder is read at construction.
    const std::wstring drive = KvTest::FreeDriveName();
    ASSERT_FALSE(drive.empty());
    const std::wstring target = KvTest::TestTmp();
    ASSERT_TRUE(DefineDosDeviceW(0, drive.c_str(), target.c_str()));
    CRunner seq;
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    EXPECT_EQ(seq.m_mapDrives[drive], target);
    ScsResource r(drive + L"\\f.txt", SCS_FILE);
    seq.FindResInMap(&r, nullptr);
    EXPECT_EQ(r.strPath, target + L"\\f.txt");
}

} // namespace
