// Several resources at once and resource groups made from a folder or a registry key, through the
// real main window: the bulk creation dialog and the registry picker scripted through the
// presenter, a real folder tree on drive C: and a key of HKEY_CURRENT_USER, each result checked in
// the model, the tree and after a save and reload through the store.
#include "ObjCmdsTestSupport.h"

#include "ExeExtensions.h"
#include "Pickers.h"
#include "pickers_ids.h"

CDaVIdevaRezApp theApp;

namespace {

using namespace ObjCmdsTest;

// A folder tree: files whose extensions are listed in upper case, a text document, a name
// without a dot, and a folder whose name has a dot while its file has none.
struct CTreeOnDisk {
    std::wstring dir;
    const std::vector<std::wstring> files = {L"APP.EXE",      L"notes.txt",           L"README",
                                             L"sub\\lib.Dll", L"sub\\deep\\tool.cmd", L"ver.2\\plain"};
    const std::vector<std::wstring> folders = {L"sub", L"sub\\deep", L"ver.2"};
    CTreeOnDisk() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"groupcmds_tree";
        Remove();
        ::CreateDirectoryW(dir.c_str(), nullptr);
        for (const std::wstring& f : folders)
            ::CreateDirectoryW(Path(f).c_str(), nullptr);
        for (const std::wstring& f : files) {
            HANDLE h = ::CreateFileW(Path(f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            ::WriteFile(h, "x", 1, &written, nullptr);
            ::CloseHandle(h);
        }
        ::CreateDirectoryW(Empty().c_str(), nullptr);
    }
    ~CTreeOnDisk() { Remove(); }
    std::wstring Path(const std::wstring& name) const { return dir + L"\\" + name; }
    std::wstring Empty() const { return dir + L"_empty"; }
    void Remove() {
        for (const std::wstring& f : files)
            ::DeleteFileW(Path(f).c_str());
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            ::RemoveDirectoryW(Path(*it).c_str());
        ::RemoveDirectoryW(dir.c_str());
        ::RemoveDirectoryW(Empty().c_str());
    }
};

struct GroupCommands : FrameFixture {
    CTreeOnDisk disk;
    CRegistryFixture registry;

    CIChNode* Find(int type, const std::wstring& name) {
        for (CIChNode* n : *Model().GetNodeList(type))
            if (n->m_Name == name)
                return n;
        return nullptr;
    }
    CIChResorce* Resource(const std::wstring& name) { return static_cast<CIChResorce*>(Find(NodeTypeResource, name)); }
    // The members of a node as "name {e<executable>}" lines, sorted.
    static std::wstring Members(const CIChNode* n) {
        std::vector<std::wstring> lines;
        for (CIChNode* m : n->m_Members) {
            std::wstring line = m->m_Name;
            if (m->GetType() == NodeTypeResource)
                line += format_wstring(L" {e%d}", static_cast<CIChResorce*>(m)->m_Executable);
            lines.push_back(line);
        }
        return SortedLines(lines);
    }
    size_t CountOf(const std::wstring& path) {
        size_t n = 0;
        for (CIChNode* r : Model().m_Resources)
            n += r->m_Name == path;
        return n;
    }
    // Scripts the bulk creation dialog: the kinds it offers, then each step, then OK.
    void ScriptBulk(std::vector<std::wstring>* kinds, std::function<void(dlgAddResources&)> steps) {
        p.OnDialog<dlgAddResources>(IDD_ADD_RESOURCES, [=](dlgAddResources& d) {
            if (kinds)
                *kinds = Entries(d, IDC_ADDRES_KINDS, true);
            if (steps)
                steps(d);
            Click(d, IDOK);
            EndIfOpen(d);
        });
    }
    // The steps that add the folder's files, every one of them, with or without nested folders.
    void AddFolderFiles(dlgAddResources& d, const std::wstring& folder, bool nested) {
        ASSERT_TRUE(d.SelectKind(dlgAddResources::KindFolderFiles));
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_ALL_FILES, BST_CHECKED);
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_BY_FILTER, BST_UNCHECKED);
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_NESTED, nested ? BST_CHECKED : BST_UNCHECKED);
        p.QueueFolder(folder);
        ASSERT_TRUE(Click(d, IDC_ADDRES_ADD));
    }
    // The group of that name, checked for its description, kind and single upper node.
    CIChNode* GeneratedGroup(const std::wstring& name, const std::wstring& description, int subType, CIChNode* upper) {
        CIChNode* group = Find(NodeTypeGroup, name);
        EXPECT_NE(nullptr, group) << "no group";
        if (!group)
            return nullptr;
        EXPECT_EQ(description, group->m_Description);
        EXPECT_EQ(subType, GetNodeSubType(group));
        EXPECT_EQ((CIChNodeList{upper}), group->m_Uppers);
        return group;
    }
    // Scripts the registry picker: the fixture's key, expanded down from the root as the user does.
    void ScriptPickFixtureKey() {
        p.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [](dlgBrowseRegistry& r) {
            HTREEITEM h = r.GetRootItem();
            for (const wchar_t* part : {L"HKEY_CURRENT_USER", L"Software", L"KvObjCmdsTests"}) {
                h = r.FindChild(h, part);
                ASSERT_NE(nullptr, h) << "no key item";
                r.GetTree().Expand(h, TVE_EXPAND);
            }
            r.GetTree().SelectItem(h);
            Click(r, IDOK);
            EndIfOpen(r);
        });
    }
    std::wstring Message() {
        auto boxes = p.Boxes();
        return boxes.empty() ? std::wstring() : boxes.back().text;
    }
};

TEST(ExecutableExtensions, SplitAndMatchAsTheSettingIsRead) {
    EXPECT_EQ((std::list<std::wstring>{L".exe", L".dll", L".cpl", L"ocx"}),
              SplitExtensions(L" .exe;.dll,, .cpl ;ocx;"));
    const std::list<std::wstring> list = SplitExtensions(KV_DEFAULT_EXE_EXTENSIONS);
    EXPECT_EQ(17u, list.size());
    struct Case {
        int subType;
        const wchar_t* path;
        int marked;
    };
    const Case cases[] = {
        {ResFile, L"C:\\A\\SETUP.EXE", 1},
        {ResFile, L"C:\\A\\x.Dll", 1},
        {ResFile, L"C:\\A\\readme.txt", 0},
        {ResFile, L"C:\\A\\README", 0},
        {ResFile, L"C:\\a.exe\\README", 0},
        {ResFile, L"C:\\A\\archive.exe.bak", 0},
        {ResFile, L"C:\\A\\run.bat", 1},
        {ResDirectory, L"C:\\tools.exe", 0},
        {ResRegValue, L"HKEY_CURRENT_USER\\x.exe", 0},
    };
    for (const Case& c : cases) {
        CIChResorce r;
        r.SetSubType(c.subType);
        r.SetName(c.path);
        EXPECT_EQ(c.marked != 0, MarkExecutableByExtension(r, list)) << std::string(c.path, c.path + wcslen(c.path));
        EXPECT_EQ(c.marked, r.m_Executable);
    }
}

TEST_F(GroupCommands, SeveralResourcesIntoAGroupMarkedByExtensionAndLinkedWhenKnown) {
    CIChRGroup* group = Add<CIChRGroup>(NodeTypeGroup, L"Files");
    // Already in the model, marked by the user although its extension is not listed.
    CIChResorce* known = AddFile(disk.Path(L"notes.txt"));
    known->m_Executable = 1;
    known->m_Controlled = 0;
    // Already in the model and not marked, with a listed extension: the bulk creation marks it.
    CIChResorce* knownLib = AddFile(disk.Path(L"sub\\lib.Dll"));
    knownLib->m_Executable = 0;
    Category(ID_CATEGORY_GROUPS);
    Select(group);
    std::vector<std::wstring> kinds;
    ScriptBulk(&kinds, [&](dlgAddResources& d) {
        EXPECT_TRUE(Checked(d, IDC_ADDRES_EXE_MARK));
        AddFolderFiles(d, disk.dir, true);
        // The same file once more, picked on its own.
        ASSERT_TRUE(d.SelectKind(dlgAddResources::KindFiles));
        p.QueueFiles({disk.Path(L"APP.EXE")});
        ASSERT_TRUE(Click(d, IDC_ADDRES_ADD));
    });
    Send(ID_OBJ_SEVERAL);
    EXPECT_EQ((std::vector<std::wstring>{L"Выбранные файлы", L"Файлы по каталогу"}), kinds);
    const std::wstring expected = disk.Path(L"APP.EXE") + L" {e1}\n" + disk.Path(L"README") + L" {e0}\n" +
                                  disk.Path(L"notes.txt") + L" {e1}\n" + disk.Path(L"sub\\deep\\tool.cmd") +
                                  L" {e1}\n" + disk.Path(L"sub\\lib.Dll") + L" {e1}\n" + disk.Path(L"ver.2\\plain") +
                                  L" {e0}\n";
    EXPECT_EQ(expected, Members(group));
    EXPECT_EQ(6u, Model().m_Resources.size());
    EXPECT_EQ(1u, CountOf(disk.Path(L"APP.EXE")));
    EXPECT_EQ(1u, CountOf(disk.Path(L"notes.txt")));
    EXPECT_EQ(known, Resource(disk.Path(L"notes.txt")));
    EXPECT_EQ(0, known->m_Controlled); // the known resource is linked as it was
    EXPECT_EQ(knownLib, Resource(disk.Path(L"sub\\lib.Dll")));
    EXPECT_EQ(1, knownLib->m_Executable);
    EXPECT_EQ(1, Model().m_bModified);
    // The group's list shows its new members.
    EXPECT_NE(std::wstring::npos, ListText().find(disk.Path(L"sub\\lib.Dll"))) << ListText();
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(GroupCommands, SeveralResourcesWithoutMarksOrAGroupAndTheKindsOfEachFolder) {
    // Each family folder of the resource tree offers its own kinds.
    struct Case {
        int family;
        std::vector<std::wstring> kinds;
    };
    const Case cases[] = {
        {0, {L"Выбранные файлы", L"Файлы по каталогу"}},
        {1, {L"Переменные по ключу", L"Ключи с переменными"}},
    };
    Category(ID_CATEGORY_RESOURCES);
    for (const Case& c : cases) {
        std::vector<std::wstring> kinds;
        Select(&Tree().m_Families[c.family]);
        p.OnDialog<dlgAddResources>(IDD_ADD_RESOURCES, [&](dlgAddResources& d) {
            kinds = Entries(d, IDC_ADDRES_KINDS, true);
            d.EndDialog(IDCANCEL);
        });
        Send(ID_OBJ_SEVERAL);
        EXPECT_EQ(c.kinds, kinds) << c.family;
        EXPECT_TRUE(Model().m_Resources.empty());
        EXPECT_EQ(0, Model().m_bModified);
    }
    // The files of the top folder only, marking switched off in the dialog: the resource tree is
    // built again with them.
    Select(&Tree().m_Families[0]);
    ScriptBulk(nullptr, [&](dlgAddResources& d) {
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_EXE_MARK, BST_UNCHECKED);
        AddFolderFiles(d, disk.dir, false);
    });
    Send(ID_OBJ_SEVERAL);
    ASSERT_EQ(3u, Model().m_Resources.size());
    for (CIChNode* n : Model().m_Resources) {
        EXPECT_EQ(0, static_cast<CIChResorce*>(n)->m_Executable) << std::string(n->m_Name.begin(), n->m_Name.end());
        EXPECT_TRUE(n->m_Uppers.empty());
    }
    EXPECT_NE(std::wstring::npos, TreeText().find(L"groupcmds_tree")) << TreeText();
    // Registry keys with their values through the picker in the dialog.
    Select(&Tree().m_Families[1]);
    ScriptBulk(nullptr, [&](dlgAddResources& d) {
        ASSERT_TRUE(d.SelectKind(dlgAddResources::KindRegKeys));
        ScriptPickFixtureKey();
        ASSERT_TRUE(Click(d, IDC_ADDRES_ADD));
    });
    Send(ID_OBJ_SEVERAL);
    EXPECT_EQ(ResRegKey, Resource(registry.key)->m_SubType);
    EXPECT_EQ(ResRegKey, Resource(registry.SubKey())->m_SubType);
    EXPECT_EQ(ResRegValue, Resource(registry.DefaultValue())->m_SubType);
    EXPECT_EQ(ResRegValue, Resource(registry.SlashValue())->m_SubType);
    EXPECT_EQ(7u, Model().m_Resources.size());
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(GroupCommands, GroupFromAFolderUnderATaskAndInTheGroupsFolder) {
    CIChTask* task = Add<CIChTask>(NodeTypeTask, L"T");
    CIChResorce* known = AddFile(disk.Path(L"README"));
    known->m_Executable = 1;
    Category(ID_CATEGORY_TASKS);
    Select(task);
    p.QueueFolder(disk.dir);
    Send(ID_OBJ_GROUP_BY_DIR);
    CIChNode* group =
        GeneratedGroup(L"Каталог '" + disk.dir + L"'", L"Группа по каталогу '" + disk.dir + L"'", GroupFiles, task);
    ASSERT_NE(nullptr, group);
    // Six files, one of them the model's already: the group and five resources are new.
    EXPECT_EQ(L"Было успешно добавлено 6 объектов.", Message());
    EXPECT_EQ(MB_ICONINFORMATION, p.Boxes().back().type & MB_ICONMASK);
    const std::wstring expected = disk.Path(L"APP.EXE") + L" {e1}\n" + disk.Path(L"README") + L" {e1}\n" +
                                  disk.Path(L"notes.txt") + L" {e0}\n" + disk.Path(L"sub\\deep\\tool.cmd") +
                                  L" {e1}\n" + disk.Path(L"sub\\lib.Dll") + L" {e1}\n" + disk.Path(L"ver.2\\plain") +
                                  L" {e0}\n";
    EXPECT_EQ(expected, Members(group));
    EXPECT_EQ(1u, CountOf(disk.Path(L"README")));
    EXPECT_NE(std::wstring::npos, TreeText().find(group->m_Name)) << TreeText();
    EXPECT_EQ(1, Model().m_bModified);

    // A cancelled folder picker changes nothing; an empty folder still gives its group.
    const size_t groups = Model().m_Groups.size();
    Select(task);
    Send(ID_OBJ_GROUP_BY_DIR);
    EXPECT_EQ(groups, Model().m_Groups.size());
    Category(ID_CATEGORY_GROUPS);
    SelectRoot();
    p.QueueFolder(disk.Empty());
    Send(ID_OBJ_GROUP_BY_DIR);
    EXPECT_EQ(L"Было успешно добавлено 1 объектов.", Message());
    CIChNode* empty = Find(NodeTypeGroup, L"Каталог '" + disk.Empty() + L"'");
    ASSERT_NE(nullptr, empty);
    EXPECT_TRUE(empty->m_Members.empty());
    EXPECT_NE(std::wstring::npos, TreeText().find(empty->m_Name)) << TreeText();
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(GroupCommands, GroupFromARegistryKeyTakesTheKeySubkeysAndEveryValue) {
    CIChTask* task = Add<CIChTask>(NodeTypeTask, L"T");
    Category(ID_CATEGORY_TASKS);
    Select(task);
    ScriptPickFixtureKey();
    Send(ID_OBJ_GROUP_BY_KEY);
    CIChNode* group = GeneratedGroup(L"Ключ '" + registry.key + L"'",
                                     L"Группа по ключу реестра '" + registry.key + L"'", GroupRegistry, task);
    ASSERT_NE(nullptr, group);
    std::vector<std::wstring> want = {registry.key, registry.SubKey(), registry.DefaultValue(), registry.SlashValue()};
    std::vector<std::wstring> got;
    for (CIChNode* m : group->m_Members)
        got.push_back(m->m_Name);
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(want, got);
    EXPECT_EQ(L"Было успешно добавлено 5 объектов.", Message());
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(GroupCommands, FromTheListOnlyOneSelectedTaskReceivesAGroup) {
    CIChTask* t1 = Add<CIChTask>(NodeTypeTask, L"T1");
    CIChTask* t2 = Add<CIChTask>(NodeTypeTask, L"T2");
    t1->LinkTo(DefaultJob());
    t2->LinkTo(DefaultJob());
    Category(ID_CATEGORY_JOBS);
    Select(DefaultJob());
    SelectRows({t1, t2});
    p.QueueFolder(disk.dir);
    Send(ID_OBJ_GROUP_BY_DIR + 1);
    Send(ID_OBJ_GROUP_BY_KEY + 1);
    EXPECT_TRUE(Model().m_Groups.empty());
    EXPECT_TRUE(Model().m_Resources.empty());
    EXPECT_TRUE(p.Boxes().empty());
    EXPECT_TRUE(p.Dialogs().empty());
    // The ids beyond the list variant reach the handler and do nothing.
    for (UINT extra = 2; extra <= 4; ++extra) {
        Send(ID_OBJ_GROUP_BY_DIR + extra);
        Send(ID_OBJ_SEVERAL + extra);
    }
    EXPECT_TRUE(Model().m_Groups.empty());
    EXPECT_TRUE(p.Dialogs().empty());

    // One selected task: its group comes from the queued folder.
    SelectRows({t2});
    Send(ID_OBJ_GROUP_BY_DIR + 1);
    ASSERT_EQ(1u, Model().m_Groups.size());
    EXPECT_EQ((CIChNodeList{t2}), Model().m_Groups.front()->m_Uppers);
    EXPECT_EQ(6u, Model().m_Resources.size());
}

// "Создание ресурсов" and "О программе" open over the main window, as the centred dialogs do,
// wherever the window stands (here away from the screen's corner).
TEST_F(GroupCommands, BulkCreationAndAboutOpenCentredOverTheMainWindow) {
    ASSERT_EQ(frame, theApp.m_pMainWnd);
    ::SetWindowPos(frame->m_hWnd, nullptr, 180, 120, 820, 600, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT main = {};
    frame->GetWindowRect(&main);
    auto centre = [](const RECT& rc) { return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; };
    CIChRGroup* group = Add<CIChRGroup>(NodeTypeGroup, L"Files");
    Category(ID_CATEGORY_GROUPS);
    Select(group);
    struct Case {
        UINT command;
        UINT dialog;
    } cases[] = {{ID_OBJ_SEVERAL, IDD_ADD_RESOURCES}, {ID_APP_ABOUT, IDD_ABOUTBOX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialog);
        RECT shown = {};
        bool opened = false;
        p.OnDialog(c.dialog, [&](KvUi::CDialog& d) {
            opened = true;
            d.GetWindowRect(&shown);
            d.EndDialog(IDCANCEL);
        });
        Send(c.command);
        ASSERT_TRUE(opened);
        const POINT a = centre(shown), b = centre(main);
        EXPECT_LE(std::abs(a.x - b.x), 1) << shown.left;
        EXPECT_LE(std::abs(a.y - b.y), 1) << shown.top;
    }
}

} // namespace
