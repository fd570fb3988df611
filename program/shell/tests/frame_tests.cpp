// Tests of the main window: the real frame made from the program's resources, driven by command
// ids, with message boxes answered through the presenter.
#include <gtest/gtest.h>

#include "kvpresenter.h"
#include "FrameTestSupport.h"

#include "AppStoreHost.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "ListDialogs.h"
#include "MainFrm.h"
#include "resource.h"
#include "ViewsTestSupport.h"
#include "kvcmdui.h"

#include <valkit.h>

namespace {

// The layer's scoped presenter, reached as .p by the tests below.
struct Presenter : KvTest::CScopedPresenter {
    KvUi::CScriptedPresenter& p = *this;
};

// A command target that counts the commands it handles (a viewer or the relation list's stand-in).
class CCounter : public KvUi::CCmdTarget {
public:
    int m_nRuns = 0;
    void OnObjectList() { ++m_nRuns; }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CCounter, KvUi::CCmdTarget)
ON_COMMAND(3001, OnObjectList)
KV_END_MESSAGE_MAP()

// A list viewer with a real list window.
class CTestViewer : public CIChViewer, public KvUi::CCmdTarget {
public:
    KvUi::CListCtrl m_list;
    int m_nRuns = 0;
    CIChNodeList m_selected;
    HWND GetWnd() override { return m_list.m_hWnd; }
    KvUi::CCmdTarget* GetCmdTarget() override { return this; }
    void Fill(CIChNode*) override {}
    void Clear() override {}
    int Create(KvUi::CWnd*) override { return 1; }
    void Refresh(CIChNode*) override {}
    int GetSelectedNodes(CIChNodeList& list) override {
        list.insert(list.end(), m_selected.begin(), m_selected.end());
        return (int)m_selected.size();
    }
    void OnObjectList() { ++m_nRuns; }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CTestViewer, KvUi::CCmdTarget)
ON_COMMAND(3001, OnObjectList)
KV_END_MESSAGE_MAP()

// A frame with the save and a few object handlers of its own, enough to drive the views and routing.
class CTestMainFrame : public CMainFrame {
public:
    int m_nFrameRuns = 0, m_nDeletes = 0, m_nSaves = 0, m_nProperties = 0;
    bool m_bSaveFails = false;
    CTestMainFrame() { m_bAutoDelete = FALSE; }
    void OnObjectList() { ++m_nFrameRuns; }
    void OnDelete() { ++m_nDeletes; }
    void OnProperties() { ++m_nProperties; }
    void OnSave() {
        ++m_nSaves;
        if (!m_bSaveFails)
            m_Model.m_bModified = 0;
    }
    void OnRestore() {} // the model is the test's own
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CTestMainFrame, CMainFrame)
ON_COMMAND(ID_FILE_RESTORE, OnRestore)
ON_COMMAND(3001, OnObjectList)
ON_COMMAND(ID_OBJ_DELETE, OnDelete)
ON_COMMAND(ID_OBJ_PROPERTIES, OnProperties)
ON_COMMAND(ID_FILE_SAVE, OnSave)
KV_END_MESSAGE_MAP()

struct FrameFixture : ::testing::Test, KvFrameTest::CFrameHolder<CTestMainFrame> {
    CIChTask* task = nullptr;
    CIChJob* job = nullptr;
    CIChSubject* subject = nullptr;

    void SetUp() override {
        theApp.m_nConfirmation = 6;
        // The posted category 7104 runs (and the restore command, which the test frame skips).
        ASSERT_NO_FATAL_FAILURE(OpenFrame());
        CIChDataModel& m = frame->m_Model;
        CIChRGroup* g = AddNode<CIChRGroup>(m, NodeTypeGroup, L"G");
        task = AddNode<CIChTask>(m, NodeTypeTask, L"T");
        job = AddNode<CIChJob>(m, NodeTypeJob, L"J");
        job->m_SubType = JobSecondEdition;
        subject = AddNode<CIChSubject>(m, NodeTypeSubject, L"S");
        g->LinkTo(task);
        task->LinkTo(job);
        job->LinkTo(subject);
        frame->m_nCurrentCategory = -1;
        Send(ID_CATEGORY_SUBJECTS);
    }
    void TearDown() override {
        theApp.m_nConfirmation = 0;
        CloseFrame();
    }
    void Select(CIChNode* n) { ASSERT_TRUE(frame->GetTree().SelectNode(n, TVI_ROOT)); }
};

TEST_F(FrameFixture, StartShowsTheSubjectsAndTheNodeNameOnTheFourthMenuItem) {
    EXPECT_EQ(ID_CATEGORY_SUBJECTS, frame->m_nCurrentCategory);
    EXPECT_EQ(L" Субъекты управления", frame->m_wndCaptionBar.GetCaptionText());
    Select(job);
    EXPECT_EQ(job, frame->m_pCurrentNode);
    wchar_t text[64] = {};
    ::GetMenuStringW(frame->m_hMenu, 3, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"J", text);
    frame->SetCurrentNode(nullptr, 1);
    ::GetMenuStringW(frame->m_hMenu, 3, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"???", text);
    EXPECT_EQ(0, frame->GetNodeMenuId(nullptr));
    EXPECT_EQ(IDR_MENU_JOB, frame->GetNodeMenuId(job));
    // Choosing the shown category again builds nothing.
    HTREEITEM root = frame->GetTree().GetRootItem();
    Send(ID_CATEGORY_SUBJECTS);
    EXPECT_EQ(root, frame->GetTree().GetRootItem());
    Send(ID_CATEGORY_TASKS);
    EXPECT_EQ(L" Задачи", frame->m_wndCaptionBar.GetCaptionText());
    EXPECT_TRUE(Enabled(ID_CATEGORY_TASKS));
}

// The status line's position pane is as wide as the position text of six-digit numbers, whatever
// the string table's pattern says around the numbers.
TEST_F(FrameFixture, PositionPaneHoldsTheWidestPositionText) {
    KvUi::CStatusBar& bar = frame->m_wndStatusBar;
    ASSERT_EQ(3, bar.GetPaneCount());
    EXPECT_EQ(L"000000 из 000000 [000000]", ListPositionText(0, 0, 0));
    std::wstring widest = ListPositionText(999999, 999999, 999999);
    HDC dc = ::GetDC(bar.m_hWnd);
    HFONT font = bar.GetFont();
    HGDIOBJ old = ::SelectObject(dc, font ? (HGDIOBJ)font : ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, widest.c_str(), (int)widest.size(), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(bar.m_hWnd, dc);
    RECT pane = {};
    ASSERT_TRUE(bar.SendMessage(SB_GETRECT, 1, (LPARAM)&pane));
    EXPECT_GE(pane.right - pane.left, size.cx);
    EXPECT_LE(pane.right - pane.left, size.cx + 16); // the text's width and the borders, no more
}

TEST_F(FrameFixture, CommandsWithoutHandlersAreDisabled) {
    Select(job);
    // No handler anywhere: the new model without its setup, the keys without handlers.
    for (UINT id : std::initializer_list<UINT>{ID_FILE_NEW_MODEL, ID_TOOLS_F8, ID_HELP_TOPICS})
        EXPECT_FALSE(Enabled(id)) << id;
    // The update handler's condition holds and a handler is there.
    for (UINT id : {ID_OBJ_PROPERTIES, ID_OBJ_NEW_TASK, ID_OBJ_ADD_EXISTING})
        EXPECT_TRUE(Enabled(id)) << id;
    // A job is never deleted in the tree.
    EXPECT_FALSE(Enabled(ID_OBJ_DELETE));
    Select(task);
    EXPECT_TRUE(Enabled(ID_OBJ_DELETE));
    // Never: the list viewers handle these.
    EXPECT_FALSE(Enabled(ID_OBJ_CONTROL));
    // Without a current node everything object-like is off.
    frame->SetCurrentNode(nullptr, 0);
    EXPECT_FALSE(Enabled(ID_OBJ_PROPERTIES));
    EXPECT_FALSE(Enabled(ID_OBJ_DELETE));
}

TEST_F(FrameFixture, CommandHandledByBothViewsRunsTwiceAndNotInTheFrame) {
    CTestViewer viewer;
    ASSERT_TRUE(viewer.m_list.CreateEx(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 10, 10,
                                       frame->m_wndView.m_hWnd, nullptr));
    frame->m_wndView.RegisterViewer(NodeTypeJob, &viewer);
    frame->m_wndView.ShowNode(job);
    CCounter relations;
    frame->m_wndOutput.m_pListTarget = &relations;
    Send(3001);
    EXPECT_EQ(1, viewer.m_nRuns);
    EXPECT_EQ(1, relations.m_nRuns);
    EXPECT_EQ(0, frame->m_nFrameRuns);
    // Neither view: the frame's own handler.
    frame->m_wndView.ShowNode(nullptr);
    frame->m_wndOutput.m_pListTarget = &frame->m_wndOutput.m_wndList;
    Send(3001);
    EXPECT_EQ(1, frame->m_nFrameRuns);
}

TEST_F(FrameFixture, ListVariantsShowTheTreeVariantsPrompt) {
    struct Case {
        UINT id;
        UINT promptOf;
    } cases[] = {{3001, 3000}, {3005, 3005}, {3011, 3010}, {3499, 3498}, {3500, 3500}, {7006, 7006}};
    for (const Case& c : cases)
        EXPECT_EQ(frame->KvUi::CFrameWnd::GetMessageString(c.promptOf), frame->GetMessageString(c.id)) << c.id;
    EXPECT_EQ(L"Свойства (Enter)", frame->GetMessageString(3001));
}

TEST_F(FrameFixture, KeysOfALabelEditStayWithTheEditor) {
    Select(task);
    ::SetFocus(frame->GetTree().m_hWnd);
    Send(ID_KEY_RENAME);
    HWND edit = TreeView_GetEditControl(frame->GetTree().m_hWnd);
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(1, frame->m_bLabelEdit);
    MSG del = {edit, WM_KEYDOWN, VK_DELETE, 0};
    EXPECT_FALSE(KvUi::PreTranslateChain(&del));
    EXPECT_EQ(0, frame->m_nDeletes);
    // Escape restores the name.
    ::SetWindowTextW(edit, L"Другое");
    MSG esc = {edit, WM_KEYDOWN, VK_ESCAPE, 0};
    EXPECT_TRUE(KvUi::PreTranslateChain(&esc));
    Pump();
    EXPECT_EQ(0, frame->m_bLabelEdit);
    EXPECT_EQ(L"T", task->m_Name);
    // Enter keeps the typed text.
    ::SetFocus(frame->GetTree().m_hWnd);
    Send(ID_KEY_RENAME);
    edit = TreeView_GetEditControl(frame->GetTree().m_hWnd);
    ASSERT_NE(nullptr, edit);
    ::SetWindowTextW(edit, L"T2");
    MSG enter = {edit, WM_KEYDOWN, VK_RETURN, 0};
    EXPECT_TRUE(KvUi::PreTranslateChain(&enter));
    Pump();
    EXPECT_EQ(L"T2", task->m_Name);
    // Without an edit the keys are accelerators: Del runs the delete of the tree's node.
    ::SetFocus(frame->GetTree().m_hWnd);
    MSG del2 = {frame->GetTree().m_hWnd, WM_KEYDOWN, VK_DELETE, 0};
    EXPECT_TRUE(KvUi::PreTranslateChain(&del2));
    Pump();
    EXPECT_EQ(1, frame->m_nDeletes);
    // F2 on a subject (refused) sets no flag and leaves the accelerators on.
    Select(subject);
    ::SetFocus(frame->GetTree().m_hWnd);
    Send(ID_KEY_RENAME);
    EXPECT_EQ(0, frame->m_bLabelEdit);
    EXPECT_EQ(nullptr, TreeView_GetEditControl(frame->GetTree().m_hWnd));
}

TEST_F(FrameFixture, TabWalksTheShownPanes) {
    CTestViewer viewer;
    ASSERT_TRUE(viewer.m_list.CreateEx(0, WC_LISTVIEWW, L"", WS_CHILD | WS_TABSTOP | LVS_REPORT, 0, 0, 10, 10,
                                       frame->m_wndView.m_hWnd, nullptr));
    frame->m_wndView.RegisterViewer(NodeTypeJob, &viewer);
    Select(job);
    HWND list = viewer.m_list.m_hWnd;
    HWND tree = frame->GetTree().m_hWnd;
    // Tree bar shown, relation pane hidden: list -> tree -> list.
    ::SetFocus(list);
    Send(ID_KEY_TAB);
    EXPECT_EQ(tree, ::GetFocus());
    Send(ID_KEY_TAB);
    EXPECT_EQ(list, ::GetFocus());
    // Both bars hidden: the focus goes to the frame, which gives it to the view pane.
    Send(ID_VIEW_STRUCTURE);
    EXPECT_FALSE(frame->m_wndTreeBar.IsPaneVisible());
    ::SetFocus(list);
    Send(ID_KEY_TAB);
    EXPECT_EQ(list, ::GetFocus()); // the view pane passes it on to the shown viewer
    // Relation pane shown: list -> relation list -> list.
    Send(ID_VIEW_RELATIONS);
    ::SetFocus(list);
    Send(ID_KEY_TAB);
    EXPECT_EQ(frame->m_wndOutput.m_wndList.m_hWnd, ::GetFocus());
    // Enter on the relation list runs nothing; on the list, the list variant.
    Send(ID_KEY_ENTER);
    EXPECT_EQ(0, frame->m_nProperties);
    ::SetFocus(list);
    Send(ID_KEY_ENTER);
    EXPECT_EQ(1, viewer.m_nRuns);
    ::SetFocus(tree);
    Send(ID_KEY_ENTER);
    EXPECT_EQ(1, frame->m_nProperties);
}

TEST_F(FrameFixture, PanesToggleWithCheckMarks) {
    for (UINT id : {ID_VIEW_STRUCTURE, ID_VIEW_CAPTION, ID_VIEW_CATEGORIES, ID_VIEW_RELATIONS}) {
        KvUi::CCmdUI before;
        before.m_nID = id;
        before.DoUpdate(frame, TRUE);
        Send(id);
        KvUi::CCmdUI after;
        after.m_nID = id;
        after.DoUpdate(frame, TRUE);
        EXPECT_NE(before.m_nCheck, after.m_nCheck) << id;
        Send(id);
    }
}

TEST_F(FrameFixture, HistoryCommandsFollowTheTree) {
    EXPECT_FALSE(Enabled(ID_HISTORY_BACK));
    Select(job);
    Select(task);
    EXPECT_TRUE(Enabled(ID_HISTORY_BACK));
    EXPECT_FALSE(Enabled(ID_HISTORY_FORWARD));
    Send(ID_HISTORY_BACK);
    EXPECT_EQ(job, frame->m_pCurrentNode);
    EXPECT_TRUE(Enabled(ID_HISTORY_FORWARD));
    Send(ID_HISTORY_HOME);
    EXPECT_EQ(&frame->GetTree().m_Root, frame->m_pCurrentNode);
}

TEST_F(FrameFixture, GoToTreeSwitchesToTheObjectsCategory) {
    Send(ID_CATEGORY_RESOURCES);
    Send(ID_VIEW_RELATIONS); // a hidden relation pane lists nothing
    CIChNodeList shown(1, job);
    frame->m_wndOutput.ShowRelations(&shown);
    CRelationList& list = frame->m_wndOutput.m_wndList;
    int row = -1;
    for (int i = 0; i < list.GetItemCount(); ++i)
        if (list.GetRowNode(i) == task)
            row = i;
    ASSERT_GE(row, 0);
    list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SendMessage(LVM_SETSELECTIONMARK, 0, row);
    EXPECT_TRUE(Enabled(ID_GOTO_TREE));
    Send(ID_GOTO_TREE);
    EXPECT_EQ(ID_CATEGORY_TASKS, frame->m_nCurrentCategory);
    EXPECT_EQ(task, frame->GetTree().GetSelectedNode());
    // The filter hides the tasks.
    Send(ID_FILTER_TASKS);
    EXPECT_EQ(31 & ~4, frame->m_wndOutput.GetCategoryFilter());
}

// Go to tree keeps the current category when the object stands in its tree, and goes down a
// category at a time to the object's own when it does not.
TEST_F(FrameFixture, GoToTreeStaysInTheCategoryThatShowsTheObjectElseGoesDown) {
    CIChTask* loose = AddNode<CIChTask>(frame->m_Model, NodeTypeTask, L"T3"); // in no job
    CIChRGroup* g2 = AddNode<CIChRGroup>(frame->m_Model, NodeTypeGroup, L"G2");
    g2->LinkTo(loose);
    g2->LinkTo(task);
    Send(ID_CATEGORY_SUBJECTS);
    Send(ID_VIEW_RELATIONS);
    CRelationList& list = frame->m_wndOutput.m_wndList;
    auto goTo = [&](CIChNode* node) {
        CIChNodeList shown(1, g2);
        frame->m_wndOutput.ShowRelations(&shown);
        int row = list.FindRow(node);
        ASSERT_GE(row, 0);
        list.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        list.SendMessage(LVM_SETSELECTIONMARK, 0, row);
        ASSERT_TRUE(Enabled(ID_GOTO_TREE));
        Send(ID_GOTO_TREE);
    };
    goTo(task);
    EXPECT_EQ(ID_CATEGORY_SUBJECTS, frame->m_nCurrentCategory);
    EXPECT_EQ(task, frame->GetTree().GetSelectedNode());
    goTo(loose);
    EXPECT_EQ(ID_CATEGORY_TASKS, frame->m_nCurrentCategory);
    EXPECT_EQ(loose, frame->GetTree().GetSelectedNode());
}

// A double click on a row of a job's list selects that task below the job's item in the tree,
// which makes it the current node.
TEST_F(FrameFixture, DoubleClickOnARowSelectsItsObjectBelowTheSelectedItem) {
    Select(job);
    CIChList* list = dynamic_cast<CIChList*>(frame->m_wndView.GetActiveViewer()->GetCmdTarget());
    ASSERT_NE(nullptr, list);
    HTREEITEM jobItem = frame->GetTree().GetSelectedItem();
    int row = list->FindRow(task);
    ASSERT_GE(row, 0);
    NMITEMACTIVATE act = {};
    act.hdr.hwndFrom = list->m_hWnd;
    act.hdr.idFrom = ::GetDlgCtrlID(list->m_hWnd);
    act.hdr.code = LVN_ITEMACTIVATE;
    act.iItem = row;
    ::SendMessageW(::GetParent(list->m_hWnd), WM_NOTIFY, act.hdr.idFrom, (LPARAM)&act);
    Pump();
    HTREEITEM selected = frame->GetTree().GetSelectedItem();
    EXPECT_EQ(task, frame->GetTree().GetItemNode(selected));
    EXPECT_EQ(jobItem, frame->GetTree().GetParentItem(selected));
    EXPECT_EQ(task, frame->m_pCurrentNode);
}

TEST_F(FrameFixture, ObjectMenuTakesTheNodesMenu) {
    HMENU object = ::GetSubMenu(frame->m_hMenu, 3);
    Select(job);
    frame->SendMessage(WM_INITMENUPOPUP, (WPARAM)object, 3);
    EXPECT_NE((UINT)-1, ::GetMenuState(object, ID_OBJ_NEW_TASK, MF_BYCOMMAND));
    frame->SetCurrentNode(nullptr, 0);
    frame->SendMessage(WM_INITMENUPOPUP, (WPARAM)object, 3);
    EXPECT_EQ(0, ::GetMenuItemCount(object));
}

// A menu as text: "text=id" per item, "-" per separator, "text[...]" per submenu, joined by "|".
std::wstring MenuText(HMENU menu) {
    std::wstring out;
    for (int i = 0, n = ::GetMenuItemCount(menu); i < n; ++i) {
        if (i)
            out += L"|";
        wchar_t text[128] = {};
        MENUITEMINFOW mii = {sizeof(mii)};
        mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        ::GetMenuItemInfoW(menu, i, TRUE, &mii);
        if (mii.fType & MFT_SEPARATOR) {
            out += L"-";
            continue;
        }
        ::GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        out += text;
        out += mii.hSubMenu ? L"[" + MenuText(mii.hSubMenu) + L"]" : L"=" + std::to_wstring(mii.wID);
    }
    return out;
}

// Every context menu of a node kind and of the relation list, item by item, submenus included: the
// subjects folder offers only the computer chooser, the subjects neither export nor import.
TEST(FrameMenus, ContextMenusHoldTheObjectCommandsInTheirSubmenus) {
    struct Case {
        UINT menu;
        const wchar_t* items;
    } cases[] = {
        {IDR_MENU_RESOURCE, L"Свойства...\tEnter=3000|Контролировать=3045|Выполняемый=3065|-|"
                            L"Исключить из[Группы\tNum -=3020|Всех групп=3090]|Удалить\tDel=3010|-|"
                            L"Зависимости...\tF6=3602|Переменные окружения...\tF7=3603|-|Экспорт выбранных...=3025"},
        {IDR_MENU_RESOURCES, L"Создать ресурс(ы)[Одиночный...\tIns=3015|Несколько...=3040]|-|"
                             L"Импорт и добавление...=3030|Экспорт всех...=3025|-|Удалить все\tDel=3010"},
        {IDR_MENU_GROUP, L"Свойства...\tEnter=3000|-|Добавить ресурсы[Новый одиночный...=3095|Несколько новых...=3040|"
                         L"Существующие...\tNum +=3005|Импортировать...=3035]|-|"
                         L"Исключить из[Задачи/Задания\tNum -=3020|Всех задач/заданий=3090]|Удалить\tDel=3010|-|"
                         L"Экспорт выбранных...=3025"},
        {IDR_MENU_GROUPS, L"Создать группу[Вручную...\tIns=3015|По каталогу...=3050|По ключу реестра...=3055]|-|"
                          L"Импорт и добавление...=3030|Экспорт всех...=3025|-|Удалить все\tDel=3010"},
        {IDR_MENU_TASK, L"Свойства...\tEnter=3000|-|Добавить группы[Новую группу вручную...=3080|"
                        L"Новую группу по каталогу...=3050|Новую группу по ключу реестра...=3055|"
                        L"Существующие...\tNum +=3005]|-|Исключить из[Задания\tNum -=3020|Всех заданий=3090]|"
                        L"Удалить\tDel=3010|-|Экспорт выбранных...=3025"},
        {IDR_MENU_TASKS, L"Создать задачу[Вручную...\tIns=3015|Через Генератор задач...\tF10=3600]|-|"
                         L"Импорт и добавление...=3030|Экспорт всех...=3025|-|Удалить все\tDel=3010"},
        {IDR_MENU_JOB, L"Свойства...\tEnter=3000|-|Добавить задачи/группы[Новую задачу вручную...=3085|"
                       L"Новую задачу через ГЗ...=3070|Новую группу вручную...=3080|Новую группу по каталогу...=3050|"
                       L"Новую группу по ключу реестра...=3055|Существующие...\tNum +=3005]|-|"
                       L"Исключить из[Субъекта\tNum -=3020|Всех субъектов=3090]|-|Экспорт выбранных...=3025"},
        {IDR_MENU_JOBS, L"Импорт и добавление...=3030|Экспорт всех...=3025"},
        {IDR_MENU_SUBJECT, L"Свойства...\tEnter=3000|-|Добавить задания[Существующие...\tNum +=3005]"},
        {IDR_MENU_SUBJECTS, L"Добавить в список...\tIns=3015"},
        {IDR_MENU_RELATIONS, L"Перейти в дереве=32836"},
    };
    for (const Case& c : cases) {
        HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(c.menu));
        ASSERT_NE(nullptr, menu) << c.menu;
        EXPECT_EQ(c.items, MenuText(::GetSubMenu(menu, 0))) << c.menu;
        ::DestroyMenu(menu);
    }
}

// The status prompts of the tool and report commands are their names in the string table.
TEST_F(FrameFixture, ToolAndReportCommandsShowTheirNamesAsPrompts) {
    struct Case {
        UINT id;
        const wchar_t* prompt;
    } cases[] = {{ID_RES_DEPENDENCIES, L"Зависимые модули"}, {ID_RES_PATH_VARIABLES, L"Переменные и пути"},
                 {ID_REPORT_PASSPORT, L"Паспорт ПО"},        {ID_REPORT_RESOURCES, L"Ресурсы РС"},
                 {ID_TASK_GENERATOR, L"Генератор задач"},    {ID_TOOLS_SETTINGS, L"Изменить настройки"},
                 {ID_EDIT_CLEAR_ALL, L"Очистить модель"},    {ID_FILE_IMPORT_XML, L"Загрузка XML"},
                 {ID_FILE_EXPORT_XML, L"Сохранение в XML"}};
    for (const Case& c : cases)
        EXPECT_EQ(c.prompt, frame->GetMessageString(c.id)) << c.id;
}

// The "Объект" menu takes the node's menu with its submenus; the subjects folder's holds the
// computer chooser, which stays disabled there.
TEST_F(FrameFixture, ObjectMenuKeepsTheSubmenusOfTheNodesMenu) {
    HMENU object = ::GetSubMenu(frame->m_hMenu, 3);
    Select(job);
    frame->SendMessage(WM_INITMENUPOPUP, (WPARAM)object, 3);
    wchar_t text[128] = {};
    ::GetMenuStringW(object, 2, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(L"Добавить задачи/группы", text);
    EXPECT_NE(nullptr, ::GetSubMenu(object, 2));
    CIChFolder subjects(FolderSubjects);
    frame->SetCurrentNode(&subjects, 0);
    frame->SendMessage(WM_INITMENUPOPUP, (WPARAM)object, 3);
    ASSERT_EQ(1, ::GetMenuItemCount(object));
    EXPECT_EQ((UINT)ID_OBJ_ADD_NEW, ::GetMenuItemID(object, 0));
    EXPECT_FALSE(Enabled(ID_OBJ_ADD_NEW));
    EXPECT_EQ((UINT)-1, ::GetMenuState(object, ID_OBJ_IMPORT_ADD, MF_BYCOMMAND));
    EXPECT_EQ((UINT)-1, ::GetMenuState(object, ID_OBJ_EXPORT, MF_BYCOMMAND));
    frame->SetCurrentNode(nullptr, 0);
}

TEST_F(FrameFixture, CloseAsksAndKeepsUnsavedWork) {
    Presenter pr;
    // Confirmation bit 0: "No" keeps the window.
    theApp.m_nConfirmation = 1;
    pr.p.QueueAnswer(IDNO);
    frame->SendMessage(WM_CLOSE);
    EXPECT_TRUE(::IsWindow(frame->m_hWnd));
    theApp.m_nConfirmation = 0;
    frame->m_Model.m_bModified = 1;
    pr.p.QueueAnswer(IDCANCEL);
    frame->SendMessage(WM_CLOSE);
    EXPECT_TRUE(::IsWindow(frame->m_hWnd));
    // "Yes" with a failing save: the window stays and the work is kept.
    frame->m_bSaveFails = true;
    pr.p.QueueAnswer(IDYES);
    frame->SendMessage(WM_CLOSE);
    EXPECT_TRUE(::IsWindow(frame->m_hWnd));
    EXPECT_EQ(1, frame->m_nSaves);
    EXPECT_EQ(1, frame->m_Model.m_bModified);
    // "Yes" with a save that gets through closes.
    frame->m_bSaveFails = false;
    pr.p.QueueAnswer(IDYES);
    frame->SendMessage(WM_CLOSE);
    EXPECT_FALSE(::IsWindow(frame->m_hWnd));
    EXPECT_EQ(2, frame->m_nSaves);
    EXPECT_EQ(3u + 1u, pr.p.Boxes().size());
}

TEST_F(FrameFixture, CloseWithoutChangesAndConfirmationAsksNothing) {
    Presenter pr;
    theApp.m_nConfirmation = 6;
    frame->SendMessage(WM_CLOSE);
    EXPECT_FALSE(::IsWindow(frame->m_hWnd));
    EXPECT_TRUE(pr.p.Boxes().empty());
}

TEST_F(FrameFixture, EnvironmentChangeDuringAnOperationWaitsForItsEnd) {
    wchar_t old[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TEMP", old, MAX_PATH);
    const std::wstring value = L"C:\\FrameTestFolder";
    frame->m_Model.BuildPathVariables();
    ::SetEnvironmentVariableW(L"TEMP", value.c_str());
    auto has = [&] { return frame->m_Model.m_PathVars.count(value) != 0; };
    frame->BeginBackgroundOperation();
    frame->SendMessage(WM_SETTINGCHANGE, 0, (LPARAM)L"Environment");
    EXPECT_FALSE(has());
    frame->EndBackgroundOperation();
    EXPECT_TRUE(has());
    ::SetEnvironmentVariableW(L"TEMP", old);
    frame->SendMessage(WM_SETTINGCHANGE, 0, (LPARAM)L"Policy");
    EXPECT_TRUE(has());
    frame->SendMessage(WM_SETTINGCHANGE, 0, (LPARAM)L"Environment");
    EXPECT_FALSE(has());
}

// The program's frame with a handler for every object command, as the object commands bring them:
// what is enabled then follows the update handlers alone.
class CAllObjectsFrame : public CMainFrame {
public:
    CAllObjectsFrame() { m_bAutoDelete = FALSE; }
    void OnObject(UINT) {}
    void OnRestore() {} // the model is the test's own
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CAllObjectsFrame, CMainFrame)
ON_COMMAND_RANGE(3000, 3104, OnObject)
ON_COMMAND(ID_FILE_RESTORE, OnRestore)
KV_END_MESSAGE_MAP()

TEST(FrameUpdates, ObjectCommandsFollowTheCurrentNode) {
    KvFrameTest::CFrameHolder<CAllObjectsFrame> holder;
    ASSERT_NO_FATAL_FAILURE(holder.OpenFrame());
    CAllObjectsFrame* frame = holder.frame;
    CIChDataModel& m = frame->m_Model;
    CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
    r->SetSubType(ResFile);
    r->SetName(L"C:\\A\\x.dll");
    CIChRGroup* g = AddNode<CIChRGroup>(m, NodeTypeGroup, L"G");
    CIChRGroup* foreign = AddNode<CIChRGroup>(m, NodeTypeGroup, L"F");
    foreign->m_Id = -5;
    CIChTask* t = AddNode<CIChTask>(m, NodeTypeTask, L"T");
    CIChJob* j = AddNode<CIChJob>(m, NodeTypeJob, L"J");
    CIChSubject* s = AddNode<CIChSubject>(m, NodeTypeSubject, L"S");
    r->LinkTo(g);
    g->LinkTo(t);
    t->LinkTo(j);
    j->LinkTo(s);
    CIChFolder resources(FolderResources), registry(FolderResources, 1), path(FolderResources), other(FolderResources),
        groups(FolderGroups), jobs(FolderJobs), subjects(FolderSubjects);
    registry.m_Description = L"REGISTRY";
    path.m_Description = L"C:\\A\\";
    other.m_Description = L"C:\\ZZZ\\";

    struct Row {
        CIChNode* node;
        UINT id;
        bool enabled;
    };
    const Row rows[] = {
        {r, 3000, true},          {r, 3015, false},         {r, 3090, true},           {r, 3010, true},
        {r, 3025, true},          {r, 3030, false},         {r, 3005, false},          {r, 3045, false},
        {r, 3065, false},         {g, 3005, true},          {g, 3035, true},           {g, 3095, true},
        {g, 3040, true},          {g, 3080, false},         {g, 3050, false},          {foreign, 3035, false},
        {foreign, 3095, false},   {foreign, 3005, false},   {foreign, 3000, true},     {t, 3005, true},
        {t, 3050, true},          {t, 3080, true},          {t, 3085, false},          {t, 3070, false},
        {j, 3085, true},          {j, 3070, true},          {j, 3080, true},           {j, 3010, false},
        {j, 3050, true},          {j, 3100, true},          {s, 3005, false},          {s, 3010, false},
        {s, 3000, true},          {&resources, 3015, true}, {&resources, 3010, true},  {&resources, 3025, true},
        {&resources, 3030, true}, {&resources, 3095, true}, {&resources, 3000, false}, {&registry, 3010, false},
        {&registry, 3025, false}, {&path, 3010, true},      {&other, 3010, false},     {&groups, 3050, true},
        {&groups, 3015, true},    {&jobs, 3015, false},     {&jobs, 3030, true},       {&subjects, 3015, false},
        {nullptr, 3000, false},   {nullptr, 3015, false},
    };
    for (const Row& row : rows) {
        frame->SetCurrentNode(row.node, 0);
        KvUi::CCmdUI ui;
        ui.m_nID = row.id;
        ui.DoUpdate(frame, TRUE);
        EXPECT_EQ(row.enabled, ui.m_bEnabled != FALSE) << (row.node ? row.node->m_Name : L"(none)") << " "
                                                       << (row.node ? row.node->GetType() : 0) << " " << row.id;
    }
    // A subject whose member count differs from the number of jobs may take more.
    AddNode<CIChJob>(m, NodeTypeJob, L"J2");
    frame->SetCurrentNode(s, 0);
    KvUi::CCmdUI ui;
    ui.m_nID = 3005;
    ui.DoUpdate(frame, TRUE);
    EXPECT_TRUE(ui.m_bEnabled);
    frame->SetCurrentNode(nullptr, 0);
    holder.CloseFrame();
}

TEST(FrameStore, SavedFromTheWindowAndLoadedAfterARestart) {
    KvFrameTest::CStoreOnC drives;
    theApp.SetDriveAnswers(&drives);
    CAppModelStoreHost host;
    SetModelStoreHost(&host);
    ::DeleteFileW(L"C:\\Varno\\Localhost.vdb");
    {
        KvFrameTest::CFrameHolder<CTestMainFrame> holder;
        ASSERT_NO_FATAL_FAILURE(holder.OpenFrame());
        CTestMainFrame* frame = holder.frame;
        EXPECT_EQ(0, frame->m_bStoreExisted);
        CIChDataModel& m = frame->m_Model;
        m.NewModel(1, JobSecondEdition);
        CIChJob* job = static_cast<CIChJob*>(m.m_Jobs.front());
        CIChTask* task = AddNode<CIChTask>(m, NodeTypeTask, L"Задача");
        CIChRGroup* group = AddNode<CIChRGroup>(m, NodeTypeGroup, L"Группа");
        group->LinkTo(task);
        task->LinkTo(job);
        EXPECT_EQ(0, m.Save(nullptr));
        holder.CloseFrame();
    }
    {
        KvFrameTest::CFrameHolder<CTestMainFrame> holder;
        ASSERT_NO_FATAL_FAILURE(holder.OpenFrame());
        CTestMainFrame* frame = holder.frame;
        EXPECT_EQ(1, frame->m_bStoreExisted);
        CIChDataModel& m = frame->m_Model;
        EXPECT_EQ(0, m.Load());
        ASSERT_EQ(1u, m.m_Tasks.size());
        EXPECT_EQ(L"Задача", m.m_Tasks.front()->m_Name);
        ASSERT_EQ(1u, m.m_Groups.size());
        EXPECT_EQ(m.m_Tasks.front(), m.m_Groups.front()->m_Uppers.front());
        frame->SendMessage(WM_COMMAND, ID_CATEGORY_TASKS);
        EXPECT_EQ(L"Задачи\n  Задача\n    Группа\n", DumpTree(frame->GetTree()));
        holder.CloseFrame();
    }
    SetModelStoreHost(nullptr);
    theApp.SetDriveAnswers(nullptr);
    theApp.ResetProvider();
}

} // namespace

namespace {

TEST_F(FrameFixture, ViewersFollowTheTreeAndFindRunsOnTheFocusedList) {
    CIChTask* t2 = AddNode<CIChTask>(frame->m_Model, NodeTypeTask, L"T2");
    t2->LinkTo(job);
    Select(job);
    CIChViewer* viewer = frame->m_wndView.GetActiveViewer();
    ASSERT_NE(nullptr, viewer);
    CIChList* list = dynamic_cast<CIChList*>(viewer->GetCmdTarget());
    ASSERT_NE(nullptr, list);
    ASSERT_EQ(2, list->GetItemCount());
    EXPECT_EQ(L"T", list->GetItemText(0, 0));
    EXPECT_TRUE(::IsWindowVisible(list->m_hWnd));
    ::SetFocus(frame->GetTree().m_hWnd);
    EXPECT_FALSE(Enabled(ID_FIND)) << "the tree does not search";
    ::SetFocus(list->m_hWnd);
    EXPECT_TRUE(Enabled(ID_FIND));
    EXPECT_FALSE(Enabled(ID_FIND_NEXT));
    Presenter ps;
    ps.p.OnDialog<dlgFinding>(IDD_FINDING, [](dlgFinding& d) {
        d.SetDlgItemText(IDC_FIND_TEXT, L"t");
        d.OnOK();
    });
    Send(ID_FIND);
    EXPECT_EQ(0, list->GetSelectionMark());
    EXPECT_TRUE(Enabled(ID_FIND_NEXT));
    Send(ID_FIND_NEXT);
    EXPECT_EQ(1, list->GetSelectionMark());
    ps.p.QueueAnswer(IDYES);
    Send(ID_FIND_NEXT); // nothing further: the question, and Yes searches again from the top
    Pump();
    EXPECT_EQ(1u, ps.p.Boxes().size());
    EXPECT_EQ(0, list->GetSelectionMark());
    EXPECT_EQ(1, list->GetSelectedCount());

    // The settled selection fills the relation pane; a double-click on the subject goes to the tree.
    Send(ID_VIEW_RELATIONS);
    list->OnStatusTimer();
    CRelationList& relations = frame->m_wndOutput.m_wndList;
    int subjectRow = relations.FindRow(subject);
    ASSERT_GE(subjectRow, 0);
    EXPECT_GE(relations.FindRow(job), 0);
    relations.SetItemState(subjectRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    relations.SetSelectionMark(subjectRow);
    NMITEMACTIVATE act = {};
    act.hdr.hwndFrom = relations.m_hWnd;
    act.hdr.idFrom = 100;
    act.hdr.code = LVN_ITEMACTIVATE;
    act.iItem = subjectRow;
    ::SendMessageW(::GetParent(relations.m_hWnd), WM_NOTIFY, 100, (LPARAM)&act);
    Pump();
    EXPECT_EQ(ID_CATEGORY_SUBJECTS, frame->m_nCurrentCategory);
    EXPECT_EQ(subject, frame->GetTree().GetSelectedNode());
    EXPECT_TRUE(frame->m_wndOutput.m_wndList.GetItemCount() == 0) << "a new current node clears the pane";
}

} // namespace
