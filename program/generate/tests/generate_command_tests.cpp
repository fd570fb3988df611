// The task-generator commands through the real main window made from the program's resources:
// the installed-components operation on its worker thread, the choice dialog answered through the
// presenter, the generator of the chosen source, on a job the tasks linked under it; results checked
// in the model, the tree and after a save and reload through the board's store.
#include "ObjCmdsTestSupport.h"

#include "FakeInstaller.h"
#include "GenTestSupport.h"
#include "kvclick.h"
#include "kvtest.h"
#include "msitasks_ids.h"

CDaVIdevaRezApp theApp;

namespace {

using namespace ObjCmdsTest;
using kvgen::CFakeInstaller;
using kvgen::Env;
using kvgen::Guid;
using kvgen::InstallFolder;
using kvgen::kSuiteCode;
using kvgen::kSuiteName;
using kvgen::MakeLink;
using kvgen::WindowsFile;

const wchar_t kListError[] = L"В результате формирования списка установленных компонентов произошла ошибка.\n";
const wchar_t kGenerationError[] = L"В результате генерации задач произошла ошибка.\n";

// What the script of the choice dialog saw and did.
struct SChoice {
    bool shown = false;
    int openedWith = -1;              // the source the dialog started with
    std::vector<std::wstring> listed; // the programs of the chosen source
};

class GeneratorCommands : public FrameFixture {
protected:
    // Operation 5 reaches the frame as the application's main window (the fixture's frame is).
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(FrameFixture::SetUp());
        ASSERT_EQ(frame, theApp.m_pMainWnd);
        theApp.m_bAddDepends = 0;
        theApp.m_bUpdatePresent = 1;
        theApp.m_bExeByExten = 1;
    }

    // The next choice dialog: the source, the programs of these names, OK; no names: Cancel.
    void Script(SChoice& seen, int source, std::set<std::wstring> names) {
        p.OnDialog<dlgChooseInstTask>(IDD_CHOOSE_INST_TASK, [&seen, source, names](dlgChooseInstTask& d) {
            seen.shown = true;
            HWND combo = d.GetDlgItem(IDC_INSTTASK_SOURCE);
            seen.openedWith = (int)::SendMessageW(combo, CB_GETCURSEL, 0, 0);
            const std::vector<std::wstring> sources = Entries(d, IDC_INSTTASK_SOURCE);
            EXPECT_TRUE(source < (int)sources.size() && KvTest::Choose(d.m_hWnd, IDC_INSTTASK_SOURCE, sources[source]));
            seen.listed = Entries(d, IDC_INSTTASK_PROGRAMS, true);
            if (names.empty()) {
                EXPECT_TRUE(KvTest::Click(d, IDCANCEL));
                EndIfOpen(d);
                return;
            }
            HWND list = d.GetDlgItem(IDC_INSTTASK_PROGRAMS);
            for (size_t i = 0; i < seen.listed.size(); ++i)
                if (names.count(seen.listed[i]))
                    ::SendMessageW(list, LB_SETSEL, TRUE, (LPARAM)i);
            ::SendMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_INSTTASK_PROGRAMS, LBN_SELCHANGE), (LPARAM)list);
            KvTest::Click(d, IDOK);
            EndIfOpen(d);
        });
    }
    CIChNode* Find(int type, const std::wstring& name) { return Model().FindNodeByName(type, name, 0); }
    std::wstring LastBox() { return p.Boxes().empty() ? std::wstring() : p.Boxes().back().text; }
    // After any run: the main window has its input back and no dialog of the run (the wait, the
    // choice, the progress) is left over it.
    void ExpectWindowFree() {
        EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
        struct SLeft {
            HWND owner;
            HWND found;
        } left = {frame->m_hWnd, nullptr};
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND h, LPARAM lp) {
                auto* l = reinterpret_cast<SLeft*>(lp);
                wchar_t cls[16] = {};
                ::GetClassNameW(h, cls, 16);
                if (::GetWindow(h, GW_OWNER) == l->owner && std::wstring(cls) == L"#32770") {
                    l->found = h;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&left));
        EXPECT_EQ(nullptr, left.found) << "a dialog of the run is left";
    }
};

// The scripted installer: the product to choose and one to leave out, each with a file of the
// system.
struct CTwoProducts : CFakeInstaller {
    CTwoProducts() {
        AddProduct(Guid(40, 1), L"Commanded product");
        AddProduct(Guid(40, 2), L"Left out");
        AddComponent(Guid(41, 1), Guid(40, 1), WindowsFile(L"notepad.exe"));
        AddComponent(Guid(41, 2), Guid(40, 2), WindowsFile(L"regedit.exe"));
    }
};

} // namespace

TEST_F(GeneratorCommands, ToolCommandMakesTheChosenProductsTaskUnlinkedAndShowsItInTheTree) {
    CTwoProducts msi;
    Category(ID_CATEGORY_TASKS);
    frame->SetCurrentNode(nullptr, 0);
    EXPECT_TRUE(Enabled(ID_TASK_GENERATOR)) << "always offered";
    Model().m_bModified = 0;
    SChoice seen;
    Script(seen, 0, {L"Commanded product"});
    // F10 as the keyboard gives it (a system key) through the window's accelerators.
    MSG key = {Tree().m_hWnd, WM_SYSKEYDOWN, VK_F10, 0x00440001};
    EXPECT_TRUE(frame->PreTranslateMessage(&key));

    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(0, seen.openedWith);
    EXPECT_EQ((std::vector<std::wstring>{L"Commanded product", L"Left out"}), seen.listed);
    CIChNode* task = Find(NodeTypeTask, L"Commanded product");
    ASSERT_NE(nullptr, task);
    EXPECT_EQ(nullptr, Find(NodeTypeTask, L"Left out"));
    EXPECT_TRUE(task->m_Uppers.empty()) << "the tool command links nothing";
    CIChNode* files = kvgen::MemberNamed(task, L"Commanded product Файлы");
    ASSERT_NE(nullptr, files);
    ASSERT_EQ(1u, files->m_Members.size());
    EXPECT_EQ(KvBase::UpperCase(WindowsFile(L"notepad.exe")), KvBase::UpperCase(files->m_Members.front()->m_Name));
    EXPECT_EQ(1, static_cast<CIChResorce*>(files->m_Members.front())->m_Executable);
    EXPECT_EQ(1, Model().m_bModified);
    EXPECT_EQ(0u, LastBox().find(L"Процесс генерации задач (MSI) успешно завершен ")) << LastBox();
    EXPECT_NE(std::wstring::npos, TreeText().find(L"Commanded product")) << "the tasks' tree is built again";
    EXPECT_EQ(0, theApp.m_bAddDepends) << "the dialog's unchanged choice";
    ExpectWindowFree();
}

TEST_F(GeneratorCommands, EachCommandRemembersItsOwnSourceAndTheListVariantLinksUnderTheChosenJob) {
    ::CoInitialize(nullptr);
    wchar_t programs[MAX_PATH] = {};
    ASSERT_HRESULT_SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs));
    const std::wstring tools = std::wstring(programs) + L"\\KvCmdTools";
    ::SHCreateDirectoryExW(nullptr, tools.c_str(), nullptr);
    ASSERT_HRESULT_SUCCEEDED(MakeLink(tools + L"\\Editor.lnk", WindowsFile(L"notepad.exe")));
    CTwoProducts msi;
    theApp.m_bAddDepends = 0;

    // The tool command, switched to the shortcuts: the shortcut's task with its target and modules;
    // the dialog's forced dependent-modules check becomes the setting.
    SChoice first;
    Script(first, 1, {L"KvCmdTools - Editor"});
    ASSERT_TRUE(SendEnabled(ID_TASK_GENERATOR));
    ::DeleteFileW((tools + L"\\Editor.lnk").c_str());
    ::RemoveDirectoryW(tools.c_str());
    ::CoUninitialize();
    EXPECT_EQ(0, first.openedWith);
    CIChNode* shortcutTask = Find(NodeTypeTask, L"KvCmdTools - Editor");
    ASSERT_NE(nullptr, shortcutTask);
    CIChNode* files = kvgen::MemberNamed(shortcutTask, L"KvCmdTools - Editor Файлы");
    ASSERT_NE(nullptr, files);
    EXPECT_GT(files->m_Members.size(), 1u) << "the target and its modules";
    EXPECT_EQ(0u, LastBox().find(L"Процесс генерации задач (LNK) успешно завершен ")) << LastBox();
    EXPECT_EQ(1, theApp.m_bAddDepends);

    // The tool command again opens on the shortcuts; the job's command on its own first choice.
    SChoice second;
    Script(second, 1, {});
    ASSERT_TRUE(SendEnabled(ID_TASK_GENERATOR));
    EXPECT_EQ(1, second.openedWith);

    // The job's list variant: the job's row chosen in the list of the jobs folder.
    Category(ID_CATEGORY_JOBS);
    SelectRoot();
    SelectRows({DefaultJob()});
    SChoice third;
    Script(third, 0, {L"Commanded product"});
    ASSERT_TRUE(SendEnabled(ID_OBJ_TASK_BY_GEN + 1));
    EXPECT_EQ(0, third.openedWith);
    CIChNode* task = Find(NodeTypeTask, L"Commanded product");
    ASSERT_NE(nullptr, task);
    EXPECT_EQ((CIChNodeList{DefaultJob()}), task->m_Uppers);
    EXPECT_TRUE(shortcutTask->m_Uppers.empty());
    HTREEITEM jobItem = Tree().FindNodeItem(DefaultJob(), Tree().GetRootItem());
    ASSERT_NE(nullptr, jobItem);
    EXPECT_NE(nullptr, Tree().FindNodeItem(task, jobItem)) << TreeText();

    // The ids beyond the list variant reach the handler and do nothing.
    p.Clear();
    for (UINT id = ID_OBJ_TASK_BY_GEN + 2; id <= ID_OBJ_TASK_BY_GEN + 4; ++id)
        Send(id);
    EXPECT_TRUE(p.Dialogs().empty());
    EXPECT_EQ(Stored(), SaveAndReload());
    ExpectWindowFree();
}

// Cancel, a failed list of installed components and an error in the middle of the generation, for
// both commands: the model as it was and not marked modified, the window free again.
TEST_F(GeneratorCommands, CancelAndFailuresChangeNothing) {
    enum Case { Cancel, ListFails, GenerationFails };
    const struct {
        UINT command;
        Case what;
    } rows[] = {{ID_TASK_GENERATOR, Cancel},          {ID_OBJ_TASK_BY_GEN, Cancel},
                {ID_TASK_GENERATOR, ListFails},       {ID_OBJ_TASK_BY_GEN, ListFails},
                {ID_TASK_GENERATOR, GenerationFails}, {ID_OBJ_TASK_BY_GEN, GenerationFails}};
    Category(ID_CATEGORY_JOBS);
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "command " << row.command << " case " << row.what);
        Select(DefaultJob());
        CTwoProducts msi;
        if (row.what == ListFails)
            msi.productsEnd = ERROR_INSTALL_FAILURE;
        if (row.what == GenerationFails)
            msi.componentsEnd = ERROR_INSTALL_FAILURE;
        p.Clear();
        SChoice seen;
        Script(seen, 0, row.what == Cancel ? std::set<std::wstring>{} : std::set<std::wstring>{L"Commanded product"});
        const std::wstring before = DumpModel(Model());
        const std::wstring tree = TreeText();
        Model().m_bModified = 0;
        ASSERT_TRUE(SendEnabled(row.command));
        EXPECT_EQ(row.what != ListFails, seen.shown);
        EXPECT_EQ(before, DumpModel(Model()));
        EXPECT_EQ(tree, TreeText());
        EXPECT_EQ(0, Model().m_bModified);
        switch (row.what) {
        case Cancel:
            EXPECT_TRUE(p.Boxes().empty());
            break;
        case ListFails:
            ASSERT_EQ(1u, p.Boxes().size());
            EXPECT_EQ(0u, p.Boxes()[0].text.find(kListError)) << p.Boxes()[0].text;
            break;
        case GenerationFails:
            ASSERT_EQ(1u, p.Boxes().size());
            EXPECT_EQ(0u, p.Boxes()[0].text.find(kGenerationError)) << p.Boxes()[0].text;
            EXPECT_GT(p.Boxes()[0].text.size(), std::wstring(kGenerationError).size());
            break;
        }
        ExpectWindowFree();
    }
}

TEST_F(GeneratorCommands, TheJobsCommandIsOfferedForAJobOfTheUsersOnlyAndTheTasksFolderOffersTheGenerator) {
    CIChNode* task = Add<CIChTask>(NodeTypeTask, L"T");
    CIChNode* foreign = Add<CIChJob>(NodeTypeJob, L"Foreign");
    foreign->m_Id = -3;
    const struct {
        CIChNode* node;
        bool jobCommand;
    } rows[] = {{DefaultJob(), true}, {foreign, false}, {task, false}, {DefaultSubject(), false}, {nullptr, false}};
    for (const auto& row : rows) {
        frame->SetCurrentNode(row.node, 0);
        EXPECT_EQ(row.jobCommand, Enabled(ID_OBJ_TASK_BY_GEN)) << (row.node ? row.node->m_Name : L"(none)");
        EXPECT_TRUE(Enabled(ID_TASK_GENERATOR));
    }
    // Nor is the list variant offered on the row of another's job; sent all the same, it changes
    // nothing either.
    CTwoProducts msi;
    Category(ID_CATEGORY_JOBS);
    SelectRoot();
    SelectRows({foreign});
    EXPECT_FALSE(Enabled(ID_OBJ_TASK_BY_GEN + 1));
    p.Clear();
    Send(ID_OBJ_TASK_BY_GEN + 1);
    EXPECT_TRUE(p.Dialogs().empty());

    // The tasks folder's menu: "Создать задачу" with the manual way and the generator.
    HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDR_MENU_TASKS));
    ASSERT_NE(nullptr, menu);
    HMENU create = ::GetSubMenu(::GetSubMenu(menu, 0), 0);
    ASSERT_NE(nullptr, create);
    wchar_t text[128] = {};
    ::GetMenuStringW(::GetSubMenu(menu, 0), 0, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(L"Создать задачу", text);
    EXPECT_EQ((UINT)ID_OBJ_ADD_NEW, ::GetMenuItemID(create, 0));
    EXPECT_EQ((UINT)ID_TASK_GENERATOR, ::GetMenuItemID(create, 1));
    ::GetMenuStringW(create, 1, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(L"Через Генератор задач...\tF10", text);
    ::DestroyMenu(menu);
}

// End to end with the real package, installed into the prefix with msiexec: the job's command in
// the tree makes the product's task with exactly the package's files, links it under the job, and
// the store gives the same back.
class GeneratorCommandsOnPackage : public GeneratorCommands {
protected:
    static void SetUpTestSuite() {
        s_install = KvTest::RunMsiexec(L"/i \"" + Env(L"KV_BIN_DIR") + L"\\fixtures\\generate\\kvgen_suite.msi\" /qn");
    }
    static void TearDownTestSuite() { KvTest::RunMsiexec(std::wstring(L"/x ") + kSuiteCode + L" /qn"); }
    static inline DWORD s_install = 1;
};

TEST_F(GeneratorCommandsOnPackage, JobCommandLinksThePackagesTaskUnderTheJobAndTheStoreKeepsIt) {
    ASSERT_EQ(0u, s_install) << "msiexec could not install the test package";
    Category(ID_CATEGORY_JOBS);
    Select(DefaultJob());
    ASSERT_TRUE(Enabled(ID_OBJ_TASK_BY_GEN));
    Model().m_bModified = 0;
    SChoice seen;
    Script(seen, 0, {kSuiteName});
    ASSERT_TRUE(SendEnabled(ID_OBJ_TASK_BY_GEN));
    ASSERT_TRUE(seen.shown);
    EXPECT_NE(seen.listed.end(), std::find(seen.listed.begin(), seen.listed.end(), kSuiteName));

    CIChNode* task = Find(NodeTypeTask, kSuiteName);
    ASSERT_NE(nullptr, task);
    EXPECT_EQ((CIChNodeList{DefaultJob()}), task->m_Uppers);
    EXPECT_EQ(1, Model().m_bModified);
    CIChNode* files = kvgen::MemberNamed(task, std::wstring(kSuiteName) + L" Файлы");
    ASSERT_NE(nullptr, files);
    std::vector<std::wstring> names;
    for (CIChNode* n : files->m_Members) {
        names.push_back(KvBase::UpperCase(n->m_Name));
        EXPECT_EQ(n->m_Name.find(L".txt") == std::wstring::npos ? 1 : 0, static_cast<CIChResorce*>(n)->m_Executable)
            << n->m_Name;
    }
    std::sort(names.begin(), names.end());
    std::vector<std::wstring> expected;
    for (const wchar_t* f :
         {L"kvgen_app.exe", L"kvgen_helper.dll", L"kvgen_panel.cpl", L"kvgen_panel.dll", L"readme.txt"})
        expected.push_back(KvBase::UpperCase(InstallFolder() + L"\\" + f));
    EXPECT_EQ(expected, names);
    // The job's item shows the task with its group.
    HTREEITEM jobItem = Tree().GetSelectedItem();
    ASSERT_EQ(DefaultJob(), Tree().GetItemNode(jobItem));
    HTREEITEM taskItem = Tree().FindNodeItem(task, jobItem);
    ASSERT_NE(nullptr, taskItem) << TreeText();
    EXPECT_NE(nullptr, Tree().FindNodeItem(files, taskItem)) << TreeText();

    // Once more with the same product: merged into the same task (UpdatePresent), nothing doubled.
    const std::wstring once = DumpModel(Model());
    Script(seen, 0, {kSuiteName});
    ASSERT_TRUE(SendEnabled(ID_OBJ_TASK_BY_GEN));
    EXPECT_EQ(once, DumpModel(Model()));
    EXPECT_EQ(1u, task->m_Uppers.size());

    EXPECT_EQ(Stored(), SaveAndReload());
    ExpectWindowFree();
}
