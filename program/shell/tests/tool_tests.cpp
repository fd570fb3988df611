// Tests of the tool commands in the real main window: the dependent modules of chosen files (F6)
// over modules built by the cross compiler, and the replacement of paths by path variables and back
// (F7's pass), with the progress window stopped half-way through its own button.
#include <gtest/gtest.h>

#include "DaVIdevaRez.h"
#include "KvText.h"
#include "MainFrm.h"
#include "ResourceDialogs.h"
#include "dlgProperty.h"
#include "ToolDialogs.h"
#include "resource.h"
#include "toolcmds_ids.h"
#include "filecmds_ids.h"
#include "FrameTestSupport.h"
#include "ViewsTestSupport.h"

#include <kvclick.h>
#include <kvpresenter.h>

#include <algorithm>

namespace {

std::wstring BinFolder() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L'\\'));
}
std::wstring App() { return BinFolder() + L"\\linkwalk_fixtures\\app"; }
std::wstring Sys() { return BinFolder() + L"\\linkwalk_fixtures\\sys"; }
// A module whose thousands of imports all name modules that exist nowhere.
std::wstring AllMissing() { return BinFolder() + L"\\linkwalk_fixtures\\flood\\imports.dll"; }

class CToolFrame : public CMainFrame {
public:
    CToolFrame() { m_bAutoDelete = FALSE; }
};

struct ToolFixture : ::testing::Test, KvFrameTest::CFrameHolder<CToolFrame> {
    CIChRGroup* group = nullptr;
    CIChRGroup* other = nullptr;
    CIChTask* task = nullptr;
    CIChJob* job = nullptr;
    KvTest::CScopedPresenter presenter;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(OpenFrame());
        CIChDataModel& m = frame->m_Model;
        group = AddNode<CIChRGroup>(m, NodeTypeGroup, L"Программа");
        other = AddNode<CIChRGroup>(m, NodeTypeGroup, L"Другая");
        task = AddNode<CIChTask>(m, NodeTypeTask, L"Задача");
        job = AddNode<CIChJob>(m, NodeTypeJob, L"Задание");
        job->m_SubType = JobSecondEdition;
        job->m_Method = 2;
        job->m_Algorithm = 4;
        CIChSubject* subject = AddNode<CIChSubject>(m, NodeTypeSubject, L"Компьютер");
        group->LinkTo(task);
        other->LinkTo(task);
        task->LinkTo(job);
        job->LinkTo(subject);
        frame->m_bShowResults = 1;
    }
    void TearDown() override {
        CResourcePass::SetStepObserver(nullptr);
        CloseFrame();
    }
    CIChResorce* AddResource(const std::wstring& path, int subType, CIChRGroup* into) {
        CIChResorce* r = AddNode<CIChResorce>(frame->m_Model, NodeTypeResource, L"");
        r->SetSubType(subType);
        r->SetName(path);
        r->m_Executable = 0;
        if (into)
            r->LinkTo(into);
        return r;
    }
    CIChResorce* Find(const std::wstring& path) {
        frame->m_Model.RebuildPathIndex();
        return static_cast<CIChResorce*>(frame->m_Model.FindNodeByName(NodeTypeResource, path, 0));
    }
    // Shows the group in the tree and selects the given rows in its focused list.
    void SelectRows(CIChRGroup* g, const std::vector<CIChNode*>& nodes) {
        frame->m_nCurrentCategory = -1; // the tree is built again with the nodes added since
        frame->SendMessage(WM_COMMAND, ID_CATEGORY_GROUPS, 0);
        ASSERT_TRUE(frame->GetTree().SelectNode(g, TVI_ROOT));
        CIChList* list = dynamic_cast<CIChList*>(frame->m_wndView.GetActiveViewer()->GetCmdTarget());
        ASSERT_NE(nullptr, list);
        ::SetFocus(list->m_hWnd);
        for (CIChNode* n : nodes) {
            int row = list->FindRow(n);
            ASSERT_GE(row, 0);
            list->SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    // Answers the dependent-module dialog once its walk has ended, with OK or Close.
    void AnswerDependens(bool add, std::vector<std::wstring>* listed = nullptr, int mark = 1) {
        presenter.OnDialog<dlgDependens>(IDD_DEPENDENS, [add, listed, mark](dlgDependens& d) {
            for (int i = 0; i < 3000 && !d.IsWalkDone(); ++i) {
                Pump();
                ::Sleep(5);
            }
            ASSERT_TRUE(d.IsWalkDone());
            if (d.IsEnded())
                return;
            if (listed) {
                for (int i = 0; i < d.m_wndList.GetCount(); ++i)
                    listed->push_back(d.m_wndList.GetText(i));
            }
            ::CheckDlgButton(d.m_hWnd, IDC_DEPENDS_EXECUTABLE, mark ? BST_CHECKED : BST_UNCHECKED);
            EXPECT_TRUE(KvTest::Click(d, add ? IDOK : IDCANCEL));
        });
    }
};

TEST_F(ToolFixture, DependentModulesAreAddedLinkedAndMarked) {
    const std::wstring app = App();
    CIChResorce* missing = AddResource(AllMissing(), ResFile, group); // listed first, needs nothing found
    CIChResorce* root = AddResource(app + L"\\root.exe", ResFile, group);
    // a.dll is in the model already, under another group: linked, not added again.
    CIChResorce* a = AddResource(app + L"\\a.dll", ResFile, other);
    const size_t before = frame->m_Model.m_Resources.size();
    theApp.m_bAddDepends = 0;
    SelectRows(group, {missing, root});

    std::vector<std::wstring> listed;
    AnswerDependens(true, &listed);
    presenter.QueueAnswer(IDOK);
    frame->SendMessage(WM_COMMAND, ID_RES_DEPENDENCIES, 0);
    Pump();

    // The dialog listed every module of every chosen file, each once: what "Добавить" adds.
    std::vector<std::wstring> expected = {app + L"\\a.dll", app + L"\\b.dll", app + L"\\c.dll", app + L"\\d.dll"};
    std::vector<std::wstring> got;
    for (const std::wstring& s : listed)
        got.push_back(KvBase::UpperCase(s));
    for (std::wstring& s : expected)
        s = KvBase::UpperCase(s);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(expected, got);

    EXPECT_EQ(before + 3, frame->m_Model.m_Resources.size()) << "b, c and d added; a was there";
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"}) {
        CIChResorce* r = Find(app + L"\\" + name);
        ASSERT_NE(nullptr, r) << name;
        EXPECT_EQ(1, r->m_Executable) << name;
        EXPECT_NE(group->m_Members.end(), std::find(group->m_Members.begin(), group->m_Members.end(), r))
            << name << " is linked into the group of the file it was found for";
    }
    EXPECT_NE(a->m_Uppers.end(), std::find(a->m_Uppers.begin(), a->m_Uppers.end(), other)) << "a keeps its group";
    EXPECT_EQ(1, root->m_Executable);
    EXPECT_EQ(1, frame->m_Model.m_bModified);

    auto boxes = presenter.Boxes();
    ASSERT_EQ(1u, boxes.size());
    // The time it took is the machine's (a second or more on a loaded one).
    EXPECT_EQ(0u, boxes[0].text.find(L"Подготовка ресурсов успешно завершена за ")) << boxes[0].text.c_str();
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"\r\nДобавлено 3 новых ресурсов"));
    EXPECT_EQ(0, theApp.m_bAddDepends) << "the setting is back as it was";
    EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
}

// A read-only file (the board's) keeps its own mark, but "Добавить" adds every module the dialog
// listed for it and links them into its groups where the link rules allow: into the board's group
// as into the administrator's.
TEST_F(ToolFixture, ReadOnlyFileGetsTheModulesTheDialogListed) {
    const std::wstring app = App();
    CIChRGroup* boardGroup = AddNode<CIChRGroup>(frame->m_Model, NodeTypeGroup, L"Группа платы");
    boardGroup->m_Id = -6;
    CIChResorce* board = AddResource(app + L"\\root.exe", ResFile, group);
    board->LinkTo(boardGroup);
    board->m_Id = -5;
    const size_t before = frame->m_Model.m_Resources.size();
    SelectRows(group, {board});

    std::vector<std::wstring> listed;
    AnswerDependens(true, &listed);
    presenter.QueueAnswer(IDOK);
    frame->SendMessage(WM_COMMAND, ID_RES_DEPENDENCIES, 0);
    Pump();

    ASSERT_EQ(4u, listed.size());
    EXPECT_EQ(before + listed.size(), frame->m_Model.m_Resources.size());
    for (const std::wstring& path : listed) {
        CIChResorce* r = Find(path);
        ASSERT_NE(nullptr, r) << path.c_str();
        EXPECT_EQ(1, r->m_Executable) << path.c_str();
        for (CIChRGroup* g : {group, boardGroup})
            EXPECT_NE(r->m_Uppers.end(), std::find(r->m_Uppers.begin(), r->m_Uppers.end(), g))
                << path.c_str() << " under " << g->m_Name.c_str();
    }
    EXPECT_EQ(0, board->m_Executable) << "the read-only file keeps its mark";
    auto boxes = presenter.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"\r\nДобавлено 4 новых ресурсов")) << boxes[0].text.c_str();
}

// No chosen file needs a module: the message comes before any dialog (a directory is never walked).
TEST_F(ToolFixture, NothingFoundSaysSoForOneFileOrSeveralWithoutTheDialog) {
    struct Case {
        std::vector<std::wstring> paths;
        std::vector<int> kinds;
        std::wstring text;
    };
    const std::wstring dir = Sys();
    std::vector<Case> cases = {
        {{dir}, {ResDirectory}, L"Для файла '" + dir + L"' не найдено ни одной зависимости."},
        {{AllMissing()}, {ResFile}, L"Для файла '" + AllMissing() + L"' не найдено ни одной зависимости."},
        {{AllMissing(), dir}, {ResFile, ResDirectory}, L"Для выбранных файлов не найдено ни одной зависимости."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.c_str());
        CIChRGroup* g = AddNode<CIChRGroup>(frame->m_Model, NodeTypeGroup, L"G" + std::to_wstring(&c - &cases[0]));
        std::vector<CIChNode*> nodes;
        for (size_t i = 0; i < c.paths.size(); ++i)
            nodes.push_back(AddResource(c.paths[i], c.kinds[i], g));
        SelectRows(g, nodes);
        presenter.Clear();
        AnswerDependens(true);
        const size_t before = frame->m_Model.m_Resources.size();
        // The lists offer F6 only when the first chosen row is a file; the handler itself answers
        // any resource.
        if (c.kinds[0] == ResDirectory)
            frame->OnFindDependencies();
        else
            frame->SendMessage(WM_COMMAND, ID_RES_DEPENDENCIES, 0);
        auto boxes = presenter.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.text, boxes[0].text);
        EXPECT_EQ(MB_ICONINFORMATION, boxes[0].type & MB_ICONMASK);
        EXPECT_TRUE(presenter.Dialogs().empty());
        EXPECT_EQ(before, frame->m_Model.m_Resources.size());
        EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
    }
}

// A check that lasts shows its progress window; "Прервать" there ends the command with nothing
// shown and nothing changed.
TEST_F(ToolFixture, StoppedCheckOpensNoDialogAndSaysNothing) {
    std::vector<CIChNode*> nodes;
    for (int i = 0; i < 300; ++i)
        nodes.push_back(AddResource(AllMissing(), ResFile, group));
    nodes.push_back(AddResource(App() + L"\\root.exe", ResFile, group)); // would open the dialog
    SelectRows(group, nodes);
    int shown = 0;
    std::wstring title;
    SetDependencyCheckObserver(
        [&](dlgProcessInfo& d) {
            if (shown++ == 0) {
                title = d.GetWindowText();
                ::SendMessageW(::GetDlgItem(d.m_hWnd, IDCANCEL), BM_CLICK, 0, 0);
            }
        },
        0);
    presenter.Clear();
    AnswerDependens(true);
    const size_t before = frame->m_Model.m_Resources.size();
    frame->SendMessage(WM_COMMAND, ID_RES_DEPENDENCIES, 0);
    SetDependencyCheckObserver(nullptr, 0);
    EXPECT_GE(shown, 1);
    EXPECT_EQ(L"Поиск зависимостей выполнения", title);
    EXPECT_TRUE(presenter.Boxes().empty());
    EXPECT_TRUE(presenter.Dialogs().empty());
    EXPECT_EQ(before, frame->m_Model.m_Resources.size());
    EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
}

TEST_F(ToolFixture, StoppingAfterTheFirstFileKeepsWhatWasAdded) {
    CIChResorce* root = AddResource(App() + L"\\root.exe", ResFile, group);
    CIChResorce* sys = AddResource(Sys() + L"\\sys.exe", ResFile, group);
    // A read-only file (the board's) keeps its mark.
    CIChResorce* board = AddResource(AllMissing(), ResFile, nullptr);
    board->m_Id = -5;
    CIChNodeList nodes = {board, root, sys};
    // While the pass keeps the frame busy, the frame shows the wait cursor and the pass's own window
    // the arrow; its button takes the person's click.
    const HWND main = frame->m_hWnd;
    HCURSOR overWindow = nullptr, overFrame = nullptr;
    bool clicked = false;
    CResourcePass::SetStepObserver([&](dlgProcessInfo& d, int done) {
        if (done != 2)
            return;
        overWindow = KvTest::CursorOver(d.m_hWnd);
        overFrame = KvTest::CursorOver(main, (UINT)HTERROR);
        clicked = KvTest::Click(d.m_hWnd, IDCANCEL);
    });
    presenter.QueueAnswer(IDOK);
    const size_t before = frame->m_Model.m_Resources.size();
    EXPECT_EQ(1, frame->PrepareResources(&nodes, L"Идет добавление зависимых модулей", 1));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_ARROW), overWindow);
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_WAIT), overFrame);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(before + 4, frame->m_Model.m_Resources.size()) << "root.exe's four modules, none of sys.exe's";
    EXPECT_EQ(0, board->m_Executable);
    EXPECT_EQ(0, sys->m_Executable) << "not reached";
    auto boxes = presenter.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Подготовка ресурсов прервана пользователем", boxes[0].text);
    EXPECT_EQ(0, frame->PrepareResources(nullptr, L"x", 1));
}

TEST_F(ToolFixture, PathsBecomeVariablesAndBackExceptReadOnlyAndRegistry) {
    CPathVarMap vars = {{L"C:\\Soft", L"%SOFT%"}, {L"C:\\windows", L"%SystemRoot%"}};
    CIChResorce* file = AddResource(L"C:\\Soft\\app\\x.exe", ResFile, group);
    CIChResorce* folder = AddResource(L"C:\\windows\\system32", ResDirectory, group);
    CIChResorce* value = AddResource(L"HKEY_LOCAL_MACHINE\\Software\\C:\\Soft", ResRegValue, group);
    CIChResorce* board = AddResource(L"C:\\Soft\\board.exe", ResFile, group);
    board->m_Id = -1;
    CIChNodeList nodes = {file, folder, value, board};

    frame->ReplacePathVariables(&nodes, vars, 1);
    EXPECT_EQ(L"%SOFT%\\app\\x.exe", file->m_Name);
    EXPECT_EQ(L"%SystemRoot%\\system32", folder->m_Name);
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\Software\\C:\\Soft", value->m_Name);
    EXPECT_EQ(L"C:\\Soft\\board.exe", board->m_Name);
    EXPECT_EQ(1, frame->m_Model.m_bModified);
    auto boxes = presenter.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.find(L"Замена путей на переменные успешно завершена за "));

    frame->m_Model.m_bModified = 0;
    frame->ReplacePathVariables(&nodes, vars, 0);
    EXPECT_EQ(L"C:\\Soft\\app\\x.exe", file->m_Name);
    EXPECT_EQ(L"C:\\windows\\system32", folder->m_Name);
    EXPECT_EQ(1, frame->m_Model.m_bModified);

    // Nothing to replace: the model stays unmodified, the pass still reports its end.
    frame->m_Model.m_bModified = 0;
    CIChNodeList onlyValue = {value};
    frame->ReplacePathVariables(&onlyValue, vars, 1);
    EXPECT_EQ(0, frame->m_Model.m_bModified);
    EXPECT_EQ(3u, presenter.Boxes().size());

    // An empty table does nothing and shows nothing.
    frame->ReplacePathVariables(&nodes, CPathVarMap(), 1);
    EXPECT_EQ(3u, presenter.Boxes().size());
}

TEST_F(ToolFixture, StoppedReplacementKeepsWhatWasReplacedAndRestoresTheProcessor) {
    CPathVarMap vars = {{L"C:\\Soft", L"%SOFT%"}};
    CIChNodeList nodes;
    for (int i = 0; i < 2000; ++i)
        nodes.push_back(AddResource(L"C:\\Soft\\f" + std::to_wstring(i) + L".dll", ResFile, nullptr));
    int shownAt = -1;
    CResourcePass::SetStepObserver([&shownAt](dlgProcessInfo& d, int done) {
        if (done == 1000) {
            shownAt = done;
            EXPECT_TRUE(::IsWindowVisible(d.m_hWnd));
            EXPECT_TRUE(KvTest::Click(d.m_hWnd, IDCANCEL));
        }
    });
    DWORD_PTR process = 0, system = 0;
    ASSERT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system));
    frame->ReplacePathVariables(&nodes, vars, 1);
    EXPECT_EQ(1000, shownAt);
    int replaced = 0;
    for (CIChNode* n : nodes)
        replaced += n->m_Name.compare(0, 6, L"%SOFT%") == 0;
    EXPECT_EQ(1000, replaced);
    auto boxes = presenter.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Замена путей на переменные прервана пользователем", boxes[0].text);
    // The pass pinned the thread to one processor while timing itself and gave the old mask back.
    EXPECT_EQ(process, ::SetThreadAffinityMask(::GetCurrentThread(), process));
    EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
}

TEST_F(ToolFixture, ProgressWindowShowsTheRelatedNodesOfTheResource) {
    CIChResorce* r = AddResource(L"C:\\Soft\\x.exe", ResFile, group);
    r->LinkTo(other);
    int abort = 7;
    dlgProcessInfo d(frame->m_hWnd, &abort);
    EXPECT_EQ(0, abort);
    ASSERT_TRUE(d.Create());
    d.ShowResourceInfo(r);
    std::vector<std::wstring> lines = d.GetDetails();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(L"Группы (2):\tПрограмма, Другая", lines[0]);
    EXPECT_EQ(L"Задачи (1):\tЗадача", lines[1]);
    EXPECT_EQ(L"Задания (1):\tЗадание", lines[2]);
    EXPECT_EQ(L"Методы (1):\tСодержимое : Хэш", lines[3]);
    d.ShowResourceInfo(nullptr);
    EXPECT_TRUE(d.GetDetails().empty());
    d.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(1, abort);
    d.DestroyWindow();
}

// F7 through its dialog: the chosen variables of the model's table only, in the chosen direction,
// over the focused selection; the board's resource and the rows not chosen keep their paths.
TEST_F(ToolFixture, F7AsksWhichVariablesAndWhichWayAndChangesTheChosenRowsOnly) {
    frame->m_Model.m_PathVars = {
        {L"C:\\Program Files", L"%ProgramFiles%"}, {L"C:\\Soft", L"%SOFT%"}, {L"C:\\windows", L"%SystemRoot%"}};
    CIChResorce* prog = AddResource(L"C:\\Program Files\\App\\app.exe", ResFile, group);
    CIChResorce* sys = AddResource(L"C:\\windows\\system32", ResDirectory, group);
    CIChResorce* soft = AddResource(L"C:\\Soft\\x.dll", ResFile, group);
    CIChResorce* board = AddResource(L"C:\\windows\\board.sys", ResFile, group);
    board->m_Id = -2;
    CIChResorce* outside = AddResource(L"C:\\windows\\notchosen.exe", ResFile, group);

    struct Step {
        int direction;            // the radio chosen: 1 to names, 0 to paths
        std::vector<int> dropped; // rows taken out of the selection (map order)
        bool cancel;
        std::vector<std::wstring> expected; // prog, sys, soft, board, outside
        std::wstring box;                   // the beginning of the result box; empty: none
    };
    const std::vector<Step> steps = {
        {1,
         {1},
         false,
         {L"%ProgramFiles%\\App\\app.exe", L"%SystemRoot%\\system32", L"C:\\Soft\\x.dll", L"C:\\windows\\board.sys",
          L"C:\\windows\\notchosen.exe"},
         L"Замена путей на переменные успешно завершена за "},
        // Cancel: nothing changes, nothing is said.
        {0,
         {},
         true,
         {L"%ProgramFiles%\\App\\app.exe", L"%SystemRoot%\\system32", L"C:\\Soft\\x.dll", L"C:\\windows\\board.sys",
          L"C:\\windows\\notchosen.exe"},
         L""},
        {0,
         {},
         false,
         {L"C:\\Program Files\\App\\app.exe", L"C:\\windows\\system32", L"C:\\Soft\\x.dll", L"C:\\windows\\board.sys",
          L"C:\\windows\\notchosen.exe"},
         L"Замена переменных на пути успешно завершена за "},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.direction);
        SelectRows(group, {prog, sys, soft, board});
        presenter.Clear();
        frame->m_Model.m_bModified = 0;
        std::vector<std::wstring> rows;
        presenter.OnDialog<dlgReplEnvVar>(IDD_REPL_ENV_VAR, [&](dlgReplEnvVar& d) {
            for (int i = 0; i < d.m_wndList.GetItemCount(); ++i)
                rows.push_back(d.m_wndList.GetItemText(i, 0));
            for (int row : step.dropped)
                d.m_wndList.SetItemState(row, 0, LVIS_SELECTED);
            ::CheckRadioButton(d.m_hWnd, IDC_ENVVAR_TO_NAMES, IDC_ENVVAR_TO_PATHS,
                               step.direction ? IDC_ENVVAR_TO_NAMES : IDC_ENVVAR_TO_PATHS);
            if (step.cancel)
                d.EndDialog(IDCANCEL);
            else
                d.OnOK();
        });
        frame->SendMessage(WM_COMMAND, ID_RES_PATH_VARIABLES, 0);
        EXPECT_EQ((std::vector<std::wstring>{L"%ProgramFiles%", L"%SOFT%", L"%SystemRoot%"}), rows)
            << "every variable of the model's table";
        std::vector<std::wstring> got = {prog->m_Name, sys->m_Name, soft->m_Name, board->m_Name, outside->m_Name};
        EXPECT_EQ(step.expected, got);
        EXPECT_EQ(step.cancel ? 0 : 1, frame->m_Model.m_bModified);
        if (step.box.empty()) {
            EXPECT_TRUE(presenter.Boxes().empty());
        } else {
            ASSERT_EQ(1u, presenter.Boxes().size());
            EXPECT_EQ(0u, presenter.Boxes()[0].text.find(step.box)) << presenter.Boxes()[0].text.c_str();
        }
        EXPECT_EQ(3u, frame->m_Model.m_PathVars.size()) << "the model's table stays whole";
    }

    // A group chosen first: F7 does nothing.
    presenter.Clear();
    frame->m_nCurrentCategory = -1;
    frame->SendMessage(WM_COMMAND, ID_CATEGORY_GROUPS, 0);
    frame->GetTree().SelectItem(frame->GetTree().GetRootItem());
    CIChList* list = dynamic_cast<CIChList*>(frame->m_wndView.GetActiveViewer()->GetCmdTarget());
    ASSERT_NE(nullptr, list);
    ::SetFocus(list->m_hWnd);
    list->SetItemState(list->FindRow(group), LVIS_SELECTED, LVIS_SELECTED);
    frame->SendMessage(WM_COMMAND, ID_RES_PATH_VARIABLES, 0);
    EXPECT_TRUE(presenter.Dialogs().empty());
}

// F9: OK gives every list and the relation pane the grid setting at once (the relation rows are
// there again); cancel changes nothing.
TEST_F(ToolFixture, SettingsOkSwitchesTheGridOfEveryListAndCancelChangesNothing) {
    const int oldGrid = theApp.m_bGrid;
    theApp.m_bGrid = 1;
    frame->m_wndView.SetGridLines(1);
    frame->m_wndOutput.m_wndList.SetGridLines(1);
    CIChResorce* r = AddResource(L"C:\\Soft\\grid.exe", ResFile, group);
    SelectRows(group, {r});
    frame->m_wndOutput.ShowPane(TRUE);
    CIChNodeList shown = {r};
    frame->m_wndOutput.ShowRelations(&shown);
    Pump();
    const int relationRows = frame->m_wndOutput.m_wndList.GetRowCount();
    ASSERT_GT(relationRows, 0);

    auto grids = [&]() {
        std::vector<int> out;
        for (int kind = 1; kind <= 10; ++kind)
            if (CIChViewer* v = frame->m_wndView.GetViewer(kind))
                if (CIChList* l = dynamic_cast<CIChList*>(v->GetCmdTarget()))
                    if (l->m_hWnd)
                        out.push_back((ListView_GetExtendedListViewStyle(l->m_hWnd) & LVS_EX_GRIDLINES) ? 1 : 0);
        out.push_back((ListView_GetExtendedListViewStyle(frame->m_wndOutput.m_wndList.m_hWnd) & LVS_EX_GRIDLINES) ? 1
                                                                                                                  : 0);
        return out;
    };
    const std::vector<int> on = grids();
    ASSERT_GE(on.size(), 2u);
    EXPECT_EQ(std::vector<int>(on.size(), 1), on);

    // A relation made after the pane was filled shows only when the pane is filled again.
    r->LinkTo(other);
    struct Step {
        UINT button;
        int grid; // the setting and every list's grid afterwards
        int rows; // the relation rows afterwards
    };
    for (const Step& step :
         {Step{IDCANCEL, 1, relationRows}, Step{IDOK, 0, relationRows + 1}, Step{IDOK, 1, relationRows + 1}}) {
        SCOPED_TRACE(step.button);
        presenter.OnDialog(IDD_PROPERTY, [&](KvUi::CDialog& d) {
            dlgProperty& dlg = static_cast<dlgProperty&>(d);
            // "Сетка в списке": "Да" is the first choice, "Нет" the second.
            dlg.m_pages[2].EditItem(0);
            dlg.m_pages[2].SetEditorChoice(theApp.m_bGrid ? 1 : 0);
            dlg.m_pages[2].EndEditItem(TRUE);
            EXPECT_TRUE(KvTest::Click(d, step.button));
        });
        frame->SendMessage(WM_COMMAND, ID_TOOLS_SETTINGS, 0);
        EXPECT_EQ(step.grid, theApp.m_bGrid);
        EXPECT_EQ(std::vector<int>(on.size(), step.grid), grids());
        EXPECT_EQ(step.rows, frame->m_wndOutput.m_wndList.GetRowCount()) << "the relation rows are filled again on OK";
    }
    theApp.m_bGrid = oldGrid;
}

} // namespace
