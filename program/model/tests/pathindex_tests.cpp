// Path variables, the path index with drive and share aliases, and AddNodeTree.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <vector>

#include "IChDataModel.h"

namespace {

NodeId kNegativeFlagForTest() { return (NodeId)0x8000000000000000ULL; }

// Windows Sockets are initialised by the process before the model looks hosts up.
class SocketsEnvironment : public testing::Environment {
public:
    void SetUp() override {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    void TearDown() override { WSACleanup(); }
};
testing::Environment* const g_Sockets = testing::AddGlobalTestEnvironment(new SocketsEnvironment);

// Sets the eight path variables for one test and restores them afterwards.
class PathVariables : public testing::Test {
protected:
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> m_Values = {
        {L"ALLUSERSPROFILE", L"C:\\ProgramData"},
        {L"CommonProgramFiles", L"C:\\Program Files\\Common Files"},
        {L"CommonProgramW6432", L"C:\\Program Files\\Common Files"},
        {L"ProgramFiles", L"C:\\Program Files"},
        {L"ProgramW6432", L"C:\\Program Files"},
        {L"TEMP", L"C:\\Users\\Admin\\AppData\\Local\\Temp"},
        {L"SystemRoot", L"C:\\Windows"},
        {L"SystemDrive", L"C:"},
    };
    std::map<std::wstring, std::wstring> m_Saved;

    void SetUp() override {
        for (const auto& v : m_Values) {
            wchar_t old[1024];
            DWORD n = GetEnvironmentVariableW(v.first, old, 1024);
            m_Saved[v.first] = n ? std::wstring(old, n) : std::wstring(1, L'\0');
            SetEnvironmentVariableW(v.first, v.second);
        }
    }
    void TearDown() override {
        for (const auto& s : m_Saved)
            SetEnvironmentVariableW(s.first.c_str(), s.second == std::wstring(1, L'\0') ? nullptr : s.second.c_str());
    }
};

TEST_F(PathVariables, TableHasTheLaterVariableForEqualValues) {
    CIChDataModel model;
    EXPECT_EQ(model.m_PathVars.size(), 6u);
    EXPECT_EQ(model.m_PathVars[L"C:\\Program Files"], L"%ProgramW6432%");
    EXPECT_EQ(model.m_PathVars[L"C:\\Program Files\\Common Files"], L"%CommonProgramW6432%");
    EXPECT_EQ(model.m_PathVars[L"C:"], L"%SystemDrive%");

    SetEnvironmentVariableW(L"TEMP", nullptr);
    model.BuildPathVariables();
    EXPECT_EQ(model.m_PathVars.size(), 5u);
}

TEST_F(PathVariables, CollapseAndExpand) {
    CIChDataModel model;
    const auto collapse = CollapsePathVariable;
    const auto expand = ExpandPathVariable;
    const struct {
        int (*convert)(std::wstring&, const CPathVarMap&);
        const wchar_t* path;
        int replaced;
        const wchar_t* result;
    } cases[] = {
        {collapse, L"C:\\Program Files\\App\\a.exe", 1, L"%ProgramW6432%\\App\\a.exe"},
        {collapse, L"C:\\Program Files (x86)\\App\\a.exe", 1, L"%ProgramW6432% (x86)\\App\\a.exe"},
        {collapse, L"c:\\windows\\system32\\drivers\\x.sys", 1, L"%SystemRoot%\\system32\\drivers\\x.sys"},
        {collapse, L"C:\\Program Files\\Common Files\\x.dll", 1, L"%CommonProgramW6432%\\x.dll"},
        {collapse, L"C:\\ProgramData\\x", 1, L"%ALLUSERSPROFILE%\\x"},
        {collapse, L"C:\\boot.ini", 1, L"%SystemDrive%\\boot.ini"},
        {collapse, L"D:\\Backup\\C:\\Windows\\x", 0, L"D:\\Backup\\C:\\Windows\\x"},
        {collapse, L"\\\\server\\C:\\Windows", 0, L"\\\\server\\C:\\Windows"},
        {collapse, L"", 0, L""},
        {expand, L"%SYSTEMROOT%\\notepad.exe", 1, L"C:\\Windows\\notepad.exe"},
        {expand, L"%systemroot%\\notepad.exe", 1, L"C:\\Windows\\notepad.exe"},
        {expand, L"%ProgramW6432%\\App", 1, L"C:\\Program Files\\App"},
        {expand, L"%ProgramFiles%\\App", 0, L"%ProgramFiles%\\App"}, // gave way to ProgramW6432
        {expand, L"C:\\x\\%SystemRoot%", 0, L"C:\\x\\%SystemRoot%"},
        {expand, L"%Unknown%\\x", 0, L"%Unknown%\\x"},
    };
    for (const auto& c : cases) {
        std::wstring path = c.path;
        EXPECT_EQ(c.convert(path, model.m_PathVars), c.replaced);
        EXPECT_EQ(path, c.result);
    }
}

TEST_F(PathVariables, IndexKeysAreExpandedForFilesOnly) {
    CIChDataModel model;
    auto* file = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    file->SetName(L"%SystemRoot%\\notepad.exe");
    auto* key = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    key->SetSubType(ResRegKey);
    key->SetName(L"%SystemRoot%\\Key");
    auto* twin = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    twin->SetName(L"c:\\windows\\NOTEPAD.exe");
    model.RebuildPathIndex();
    EXPECT_EQ(model.m_PathIndex.size(), 2u);
    EXPECT_EQ(model.m_PathIndex[L"C:\\WINDOWS\\NOTEPAD.EXE"], twin); // the later one wins
    EXPECT_EQ(model.m_PathIndex[L"%SYSTEMROOT%\\KEY"], key);
}

// ---------------------------------------------------------------------------------------------
// AddNodeTree

struct TreeFixture : testing::Test {
    CIChDataModel model;

    CIChResorce* NewResource(const wchar_t* name, int subType = ResFile) {
        auto* r = new CIChResorce;
        r->SetSubType(subType);
        r->SetName(name);
        return r;
    }
    template <class T>
    T* NewNode(const wchar_t* name, int subType = 0) {
        auto* n = new T;
        n->SetName(name);
        if constexpr (!std::is_same<T, CIChTask>::value)
            n->m_SubType = subType;
        return n;
    }
    template <class T>
    T* ModelNode(const wchar_t* name, int subType, NodeId id) {
        T* n = NewNode<T>(name, subType);
        n->m_Id = id;
        model.GetNodeList(n->GetType())->push_back(n);
        return n;
    }
    std::vector<std::wstring> Names(int type) {
        std::vector<std::wstring> names;
        for (CIChNode* n : *model.GetNodeList(type))
            names.push_back(n->m_Name);
        return names;
    }
};

TEST_F(TreeFixture, ResourceOfAKnownPathMerges) {
    auto* group = ModelNode<CIChRGroup>(L"Files", GroupFiles, 1);
    auto* existing = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    existing->SetName(L"C:\\App\\a.exe");
    existing->m_Id = 1;
    existing->LinkTo(group);
    model.RebuildPathIndex();
    model.CalcNextIds();

    CIChNode* root = NewNode<CIChRGroup>(L"Other", GroupFiles);
    CIChResorce* twin = NewResource(L"c:/app/A.EXE");
    twin->m_Controlled = 0;
    twin->m_Executable = 1;
    twin->LinkTo(root);
    CIChResorce* fresh = NewResource(L"C:\\App\\b.dll");
    fresh->m_Id = 77;
    fresh->LinkTo(root);

    EXPECT_EQ(model.AddNodeTree(&root, 0), 2); // the group and b.dll
    EXPECT_EQ(model.m_Resources.size(), 2u);
    EXPECT_EQ(existing->m_Uppers, (CIChNodeList{group, root}));
    EXPECT_EQ(root->m_Members, (CIChNodeList{fresh, existing}));
    EXPECT_EQ(existing->m_Controlled, 0);
    EXPECT_EQ(existing->m_Executable, 1);
    EXPECT_EQ(fresh->m_Id, 2); // fresh IDs whatever the node carried
    EXPECT_EQ(root->m_Id, 2);
    EXPECT_EQ(model.FindNodeByName(NodeTypeResource, L"c:\\app\\b.DLL", 0), fresh);
}

TEST_F(TreeFixture, RootResourceMergesAndThePointerMoves) {
    auto* existing = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    existing->SetName(L"C:\\x.txt");
    existing->m_Id = kNegativeFlagForTest();
    model.RebuildPathIndex();
    CIChNode* root = NewResource(L"C:\\X.TXT");
    static_cast<CIChResorce*>(root)->m_Controlled = 0;
    EXPECT_EQ(model.AddNodeTree(&root, 0), 0);
    EXPECT_EQ(root, existing);
    EXPECT_EQ(existing->m_Controlled, 1); // a negative resource keeps its own flags
}

TEST_F(TreeFixture, NamesOfOtherKindsMergeOrGetANumber) {
    auto* files = ModelNode<CIChRGroup>(L"Files", GroupFiles, 1);
    ModelNode<CIChRGroup>(L"Files", GroupRegistry, 2);
    model.CalcNextIds();

    CIChNode* a = NewNode<CIChRGroup>(L"files", GroupFiles);
    EXPECT_EQ(model.AddNodeTree(&a, 0), 1);
    EXPECT_EQ(a->m_Name, L"files1");
    CIChNode* b = NewNode<CIChRGroup>(L"Files", GroupFiles);
    EXPECT_EQ(model.AddNodeTree(&b, 0), 1);
    EXPECT_EQ(b->m_Name, L"Files2");
    EXPECT_EQ(b->m_Id, 4);

    // With the merge flag the members and upper links go to the existing group.
    CIChNode* task = NewNode<CIChTask>(L"Task");
    CIChRGroup* c = NewNode<CIChRGroup>(L"FILES", GroupFiles);
    CIChResorce* r = NewResource(L"C:\\f.txt");
    r->LinkTo(c);
    c->LinkTo(task);
    EXPECT_EQ(model.AddNodeTree(&task, 1), 2); // the resource and the task
    EXPECT_EQ(files->m_Members, CIChNodeList{r});
    EXPECT_EQ(files->m_Uppers, CIChNodeList{task});
    EXPECT_EQ(task->m_Members, CIChNodeList{files});
    EXPECT_EQ(model.m_Groups.size(), 4u);

    // The root itself merges: the pointer names the kept group.
    CIChNode* d = NewNode<CIChRGroup>(L"Files", GroupFiles);
    EXPECT_EQ(model.AddNodeTree(&d, 1), 0);
    EXPECT_EQ(d, files);
}

TEST_F(TreeFixture, BoardJobsMergeEvenWithoutTheFlag) {
    auto* job = ModelNode<CIChJob>(L"Контроль целостности", 1, 1);
    ModelNode<CIChJob>(L"Plain", 0, 2);
    model.CalcNextIds();
    CIChNode* same = NewNode<CIChJob>(L"КОНТРОЛЬ ЦЕЛОСТНОСТИ", 1);
    CIChNode* task = NewNode<CIChTask>(L"T");
    task->LinkTo(same);
    EXPECT_EQ(model.AddNodeTree(&same, 0), 1); // the task only
    EXPECT_EQ(same, job);
    EXPECT_EQ(job->m_Members, CIChNodeList{task});

    CIChNode* plain = NewNode<CIChJob>(L"Plain", 0);
    EXPECT_EQ(model.AddNodeTree(&plain, 0), 1);
    EXPECT_EQ(plain->m_Name, L"Plain1");
}

// Many trees of one name in one batch (an import without the merge flag): each gets the first
// free name of Name, Name1, Name2... as if added one after the other, around names the model
// holds already (any case), per SubType for groups and across SubTypes for tasks; a tree whose
// own name is a numbered one counts on from that name.
TEST_F(TreeFixture, ManyTreesOfOneNameGetTheFirstFreeNumbers) {
    ModelNode<CIChRGroup>(L"Group", GroupFiles, 1);
    ModelNode<CIChRGroup>(L"GROUP2", GroupFiles, 2);
    ModelNode<CIChRGroup>(L"Group", GroupRegistry, 3);
    ModelNode<CIChTask>(L"Task", 0, 1);
    model.CalcNextIds();

    std::vector<CIChNode*> roots;
    for (int i = 0; i < 1000; ++i)
        roots.push_back(NewNode<CIChRGroup>(i % 2 ? L"group" : L"Group", GroupFiles));
    roots.push_back(NewNode<CIChRGroup>(L"Group1", GroupFiles));
    roots.push_back(NewNode<CIChRGroup>(L"Group", GroupDiskSectors));
    roots.push_back(NewNode<CIChRGroup>(L"Group", GroupDiskSectors));
    for (int i = 0; i < 3; ++i)
        roots.push_back(NewNode<CIChTask>(L"task", i));
    EXPECT_EQ(model.AddNodeTrees(roots, 0), 1006);

    // The first 1000: Group1, then Group3 on (GROUP2 is taken), each with its own spelling.
    EXPECT_EQ(roots[0]->m_Name, L"Group1");
    EXPECT_EQ(roots[1]->m_Name, L"group3");
    EXPECT_EQ(roots[2]->m_Name, L"Group4");
    EXPECT_EQ(roots[999]->m_Name, L"group1001");
    EXPECT_EQ(roots[1000]->m_Name, L"Group1100"); // Group1, Group11 to Group19, Group110 to Group199 are taken
    EXPECT_EQ(roots[1001]->m_Name, L"Group");     // another SubType: free
    EXPECT_EQ(roots[1002]->m_Name, L"Group1");
    EXPECT_EQ(roots[1003]->m_Name, L"task1"); // tasks: any SubType
    EXPECT_EQ(roots[1004]->m_Name, L"task2");
    EXPECT_EQ(roots[1005]->m_Name, L"task3");

    // Every name once per SubType, compared without regard to case.
    std::map<std::pair<int, std::wstring>, int> seen;
    for (CIChNode* g : model.m_Groups) {
        const int times = ++seen[std::make_pair(static_cast<CIChRGroup*>(g)->m_SubType, strupper(g->m_Name))];
        EXPECT_EQ(times, 1) << g->m_Name;
    }
    // The index of the batch is gone with it: the next tree sees the names added.
    CIChNode* later = NewNode<CIChRGroup>(L"GROUP", GroupFiles);
    EXPECT_EQ(model.AddNodeTree(&later, 0), 1);
    EXPECT_EQ(later->m_Name, L"GROUP1002");
    // With the merge flag the first of the list of that name is merged into.
    CIChNode* merged = NewNode<CIChRGroup>(L"group", GroupFiles);
    EXPECT_EQ(model.AddNodeTree(&merged, 1), 0);
    EXPECT_EQ(merged, model.m_Groups.front());
}

TEST_F(TreeFixture, NegativeNodesAreNotMergedInto) {
    ModelNode<CIChRGroup>(L"Files", GroupFiles, kNegativeFlagForTest() | 1);
    CIChNode* g = NewNode<CIChRGroup>(L"Files", GroupFiles);
    EXPECT_EQ(model.AddNodeTree(&g, 1), 1);
    EXPECT_EQ(g->m_Name, L"Files1");
}

TEST_F(TreeFixture, SubjectsMergeBySid) {
    auto* existing = ModelNode<CIChSubject>(L"WS", SubjectComputer, 1);
    existing->m_Sid.FromString(L"S-1-0-0");
    CIChNode* subject = NewNode<CIChSubject>(L"Other", SubjectComputer);
    static_cast<CIChSubject*>(subject)->m_Sid.FromString(L"S-1-0-0");
    CIChNode* job = NewNode<CIChJob>(L"J", 2);
    job->LinkTo(subject);
    EXPECT_EQ(model.AddNodeTree(&subject, 0), 1);
    EXPECT_EQ(subject, existing);
    EXPECT_EQ(existing->m_Members, CIChNodeList{job});
    EXPECT_EQ(job->m_Uppers, CIChNodeList{existing});
}

TEST_F(TreeFixture, BadRootsAreRefused) {
    CIChNode* null = nullptr;
    EXPECT_EQ(model.AddNodeTree(nullptr, 0), 0);
    EXPECT_EQ(model.AddNodeTree(&null, 0), 0);
    CIChRGroup group;
    CIChResorce* r = NewResource(L"C:\\a");
    r->LinkTo(&group);
    CIChNode* root = r;
    EXPECT_EQ(model.AddNodeTree(&root, 0), 0);
    EXPECT_EQ(model.GetNodeCount(), 0u);
    delete r;
}

TEST_F(TreeFixture, NodesTheModelOwnsStayAsTheyAre) {
    // Two groups of one name in the model (as a store may hold them); a new task takes the second.
    ModelNode<CIChRGroup>(L"Files", GroupFiles, 1);
    auto* second = ModelNode<CIChRGroup>(L"Files", GroupFiles, 2);
    model.CalcNextIds();
    CIChNode* task = NewNode<CIChTask>(L"T");
    second->LinkTo(task);
    EXPECT_EQ(model.AddNodeTree(&task, 1), 1);
    EXPECT_EQ(model.m_Groups.size(), 2u);
    EXPECT_EQ(second->m_Uppers, CIChNodeList{task});
    EXPECT_EQ(model.m_Tasks, CIChNodeList{task});
}

// ---------------------------------------------------------------------------------------------
// Drive and share aliases

TEST_F(TreeFixture, MappedDriveAndUncNameMerge) {
    model.m_DriveAliases[L"M:"] = L"\\\\server\\share";
    CIChNode* g = NewNode<CIChRGroup>(L"G", GroupFiles);
    CIChResorce* byDrive = NewResource(L"m:\\dir\\f.txt");
    CIChResorce* byUnc = NewResource(L"\\\\SERVER\\share\\dir\\F.TXT");
    byDrive->LinkTo(g);
    byUnc->LinkTo(g);
    EXPECT_EQ(model.AddNodeTree(&g, 0), 2);
    ASSERT_EQ(model.m_Resources.size(), 1u);
    EXPECT_EQ(byDrive->m_Name, L"\\\\server\\share\\dir\\f.txt");
    EXPECT_EQ(byDrive->m_Path, L"\\\\server\\share\\dir\\");
    EXPECT_EQ(g->m_Members, CIChNodeList{byDrive});
}

TEST_F(TreeFixture, SubstitutedDriveCycleEnds) {
    model.m_DriveAliases[L"Q:"] = L"R:\\q";
    model.m_DriveAliases[L"R:"] = L"Q:\\r";
    CIChNode* r = NewResource(L"Q:\\file.txt");
    EXPECT_EQ(model.AddNodeTree(&r, 0), 1);
    EXPECT_EQ(r->m_Name.substr(1, 1), L":");
    EXPECT_NE(r->m_Name.find(L"file.txt"), std::wstring::npos);
}

TEST_F(TreeFixture, ShareAliasesReplaceOnlyTheBeginning) {
    model.m_ShareAliases[L"\\\\WS\\docs"] = L"C:\\Docs";
    const struct {
        const wchar_t* name;
        int subType;
        const wchar_t* result;
    } cases[] = {
        {L"\\\\WS\\docs\\a.txt", ResFile, L"C:\\Docs\\a.txt"},
        {L"\\\\WS\\docs\\sub\\b.txt", ResFile, L"C:\\Docs\\sub\\b.txt"},
        {L"\\\\WS\\docs", ResDirectory, L"C:\\Docs"},
        {L"\\\\WS\\docs\\x\\\\WS\\docs\\c.txt", ResFile, L"C:\\Docs\\x\\\\WS\\docs\\c.txt"},
        {L"\\\\WS\\docsmore\\d.txt", ResFile, L"\\\\WS\\docsmore\\d.txt"},
        {L"\\\\ws\\docs\\e.txt", ResFile, L"\\\\ws\\docs\\e.txt"}, // share keys compare exactly
    };
    for (const auto& c : cases) {
        CIChNode* r = NewResource(c.name, c.subType);
        model.AddNodeTree(&r, 0);
        EXPECT_EQ(r->m_Name, c.result);
    }
}

TEST_F(TreeFixture, AddressOfAHostBecomesItsName) {
    unsigned long loopback = inet_addr("127.0.0.1");
    hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
    if (!host || !host->h_name)
        GTEST_SKIP() << "no name for 127.0.0.1 here";
    std::string name = host->h_name;
    std::wstring expected = as_wstring(name.substr(0, name.find('.')));
    CIChNode* r = NewResource(L"\\\\127.0.0.1\\share\\127.0.0.1.log");
    model.AddNodeTree(&r, 0);
    EXPECT_EQ(r->m_Name, L"\\\\" + expected + L"\\share\\127.0.0.1.log");
    CIChNode* plain = NewResource(L"\\\\1234\\share\\x");
    model.AddNodeTree(&plain, 0);
    EXPECT_EQ(plain->m_Name, L"\\\\1234\\share\\x");
}

TEST(RealAliases, SubstitutedDrivesAreFoundAndACycleEnds) {
    // Two substituted drives that point at each other, made with the system's own call.
    if (!DefineDosDeviceW(0, L"P:", L"O:\\p") || !DefineDosDeviceW(0, L"O:", L"P:\\o")) {
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"P:", nullptr);
        GTEST_SKIP() << "drives cannot be substituted here";
    }
    CIChDataModel model;
    model.RebuildDriveAliases();
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"P:", nullptr);
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"O:", nullptr);
    for (const auto& alias : model.m_DriveAliases)
        std::wcout << L"drive alias " << alias.first << L" -> " << alias.second << std::endl;
    if (!model.m_DriveAliases.count(L"P:"))
        GTEST_SKIP() << "substituted drives are not listed as logical drives here";
    EXPECT_EQ(model.m_DriveAliases[L"P:"], L"O:\\p");
    EXPECT_EQ(model.m_DriveAliases[L"O:"], L"P:\\o");
    CIChNode* r = new CIChResorce;
    r->SetName(L"P:\\x.txt");
    EXPECT_EQ(model.AddNodeTree(&r, 0), 1);
}

TEST(RealAliases, RebuildAsksTheSystem) {
    CIChDataModel model;
    model.RebuildPathIndex(); // drives, shares and host addresses as this system has them
    for (const auto& alias : model.m_ShareAliases)
        EXPECT_EQ(alias.first.substr(0, 2), L"\\\\");
    for (const auto& alias : model.m_DriveAliases) {
        EXPECT_EQ(alias.first.size(), 2u);
        EXPECT_FALSE(alias.second.empty());
    }
}

} // namespace
