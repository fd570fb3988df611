// Tests of the lists of the main window: the five list viewers in a real view pane over generated
// models (rows dumped as text per kind), row colours read back as pixels, sorting, selection kept
// across a refill, the search with its question, the column dialog, the stored column state and
// the relation pane. Dialogs and questions are answered through the scripted presenter.
#include <gtest/gtest.h>

#include "IChDataModel.h"
#include "IChFolder.h"
#include "ListDialogs.h"
#include "ListViewers.h"
#include "MainViewer.h"
#include "OutputBar.h"
#include "ViewsTestSupport.h"
#include "resource.h"

#include <KvRegTokens.h>
#include <kvclick.h>
#include <kvpresenter.h>

#include <shlwapi.h>

#include <set>

namespace {

// The profile of these tests lives under a key of their own.
struct TestApp : KvUi::CWinApp {
    TestApp() {
        SetRegistryKey(L"VICheck64 list tests");
        m_strProfileName = L"lists";
    }
};
TestApp g_app;

// Receives what the lists post to the main window.
class CCommandSink : public KvUi::CFrameWnd {
public:
    CCommandSink() { m_bAutoDelete = FALSE; }
    std::vector<UINT> m_commands;
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) override {
        if (nCode == KvUi::CN_COMMAND && !pInfo) {
            m_commands.push_back(nID);
            return TRUE;
        }
        // Every object command has a handler as far as the viewers' enabling asks.
        if (nCode == KvUi::CN_COMMAND && pInfo && nID >= 3000 && nID < 3700)
            return TRUE;
        return KvUi::CFrameWnd::OnCmdMsg(nID, nCode, pExtra, pInfo);
    }
};

class CListHost : public CTestHost {
public:
    CCommandSink* m_pSink = nullptr;
    std::wstring m_status;
    std::vector<CIChNodeList> m_relations;
    CIChNode* m_pTreeNode = nullptr;
    COLORREF m_colors[9] = {0,
                            RGB(0, 0, 0),
                            RGB(255, 255, 255),
                            RGB(0, 0, 64),
                            RGB(250, 200, 200),
                            RGB(64, 64, 64),
                            RGB(200, 250, 200),
                            RGB(0, 0, 32),
                            RGB(200, 200, 250)};
    CIChNode* GetCurrentTreeNode() override { return m_pTreeNode; }
    void SetStatusText(const std::wstring& t) override { m_status = t; }
    void ShowRelations(const CIChNodeList* nodes) override { m_relations.push_back(nodes ? *nodes : CIChNodeList()); }
    HWND GetCommandWnd() override { return m_pSink ? m_pSink->m_hWnd : nullptr; }
    COLORREF GetListColor(int index) override { return index >= 1 && index <= 8 ? m_colors[index] : 0; }
};

CIChResorce* AddResource(CIChDataModel& m, int subType, const std::wstring& name, long long id = 0) {
    CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
    r->SetSubType(subType);
    r->SetName(name);
    r->m_Id = id ? id : m.TakeNextId(NodeTypeResource);
    r->m_Controlled = 1;
    r->m_Valid = 1;
    FILETIME t = {0x5A1B2C00, 0x01D9A000};
    r->SetModifyTime(&t);
    return r;
}

void Stamp(CIChNode* n) {
    FILETIME t = {0x5A1B2C00, 0x01D9A000};
    n->SetModifyTime(&t);
}

std::wstring Dump(CIChList& list) {
    std::wstring out;
    for (int i = 0; i < list.GetItemCount(); ++i) {
        for (int c = 0; c < list.GetColumnCount(); ++c)
            out += (c ? L"|" : L"") + list.GetItemText(i, c);
        out += L"\n";
    }
    return out;
}

std::vector<std::wstring> Names(CIChList& list) {
    std::vector<std::wstring> out;
    for (int i = 0; i < list.GetItemCount(); ++i)
        out.push_back(list.GetItemText(i, 0));
    return out;
}

std::vector<int> Selected(CIChList& list) {
    std::vector<int> out;
    list.GetSelectedItems(&out);
    return out;
}

struct ListFixture : ::testing::Test, CBareFrameHolder<CCommandSink> {
    CCommandSink& sink = frame;
    CIChDataModel model;
    CListHost host;
    CIChMainViewer pane;
    COutputBar bar;
    CIChFolder resources{FolderResources, 0};
    CIChFolder groups{FolderGroups, 0};
    CIChFolder tasks{FolderTasks, 0};
    CIChFolder jobs{FolderJobs, 0};
    CIChFolder subjects{FolderSubjects, 0};

    void SetUp() override {
        ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VICheck64 list tests");
        host.m_pModel = &model;
        host.m_pSink = &sink;
        ASSERT_NO_FATAL_FAILURE(OpenFrame(L"lists", 900, 600));
        ASSERT_TRUE(pane.CreateViewer(&sink, &host));
        ::MoveWindow(pane.m_hWnd, 0, 0, 880, 330, TRUE);
        ASSERT_TRUE(bar.CreateBar(&sink, ID_VIEW_RELATIONS, 200, &host));
        sink.ShowWindow(SW_SHOW);
        Pump();
    }
    void TearDown() override { CloseFrame(); }
    CIChViewNode& Viewer(int kind) { return *dynamic_cast<CIChViewNode*>(pane.GetViewer(kind)); }
    void Show(CIChNode* node) {
        host.m_pTreeNode = node;
        pane.ShowNode(node);
        Pump();
    }
    void Select(CIChList& list, std::initializer_list<int> rows) {
        list.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (int r : rows)
            list.SetItemState(r, LVIS_SELECTED, LVIS_SELECTED);
        list.SetSelectionMark(rows.size() ? *rows.begin() : -1);
    }
    // Runs a header command on the list as its menu would, on a column.
    void HeaderCommand(CIChList& list, UINT id, int column) {
        ::SetFocus(list.m_hWnd);
        list.SetMenuColumn(column);
        sink.SendMessage(WM_COMMAND, id); // the sink does not route: go to the list directly
        list.OnCmdMsg(id, KvUi::CN_COMMAND, nullptr, nullptr);
        Pump();
    }
};

// ---- rows per kind ------------------------------------------------------------------------------

// Fly-by help: the mouse on a button of the relation bar shows its prompt in the status line.
TEST_F(ListFixture, RelationBarButtonsShowTheirPromptInTheStatusLine) {
    EXPECT_EQ((std::vector<std::wstring>{L"Показывать группы ресурсов среди зависимостей",
                                         KvUi::LoadStr(KvUi::AFX_IDS_IDLEMESSAGE)}),
              FlyByPrompts(sink, bar.m_wndToolBar, 1));
}

TEST_F(ListFixture, ResourceRowsOfEverySubTypeWithRegistryTokens) {
    CIChResorce* file = AddResource(model, ResFile, L"C:\\A\\x.dll");
    AddResource(model, ResDirectory, L"C:\\A\\B");
    AddResource(model, ResRegValue, std::wstring(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\") + RegDefaultValueToken);
    AddResource(model, ResRegValue, std::wstring(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\a") + RegBackslashToken + L"b");
    AddResource(model, ResRegKey, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\K");
    AddResource(model, ResDiskSector, L"Disk0\\Sector0");
    AddResource(model, ResPciDevice, L"PCI\\VEN_8086");
    AddResource(model, ResSmbiosTable, L"SMBIOS\\Table1");
    CIChResorce* field = AddResource(model, ResSmbiosField, L"SMBIOS\\Table1\\Field");
    file->m_Executable = 1;
    field->m_Controlled = 0;
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    file->LinkTo(g);
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    EXPECT_TRUE(::IsWindowVisible(list.m_hWnd));
    std::wstring t = CIChViewNode::TimeText(file->m_ModifyTime);
    std::wstring expected = L"x.dll|" + t +
                            L"|C:\\A\\|Файл|ДА|ДА|1\n"
                            L"B|" +
                            t +
                            L"|C:\\A\\|Каталог|ДА|нет|0\n"
                            L"(Default)|" +
                            t +
                            L"|HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\|Переменная|ДА|нет|0\n"
                            L"a\\b|" +
                            t +
                            L"|HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\|Переменная|ДА|нет|0\n"
                            L"K|" +
                            t +
                            L"|HKEY_LOCAL_MACHINE\\SOFTWARE\\|Ключ|ДА|нет|0\n"
                            L"Sector0|" +
                            t +
                            L"|Disk0\\|Сектор|ДА|нет|0\n"
                            L"VEN_8086|" +
                            t +
                            L"|PCI\\|Устройство|ДА|нет|0\n"
                            L"Table1|" +
                            t +
                            L"|SMBIOS\\|SMBIOS таблица|ДА|нет|0\n"
                            L"Field|" +
                            t + L"|SMBIOS\\Table1\\|SMBIOS переменная|нет|нет|0\n";
    EXPECT_EQ(expected, Dump(list));
    // The family folder of the registry lists its keys and values only.
    CIChFolder registry(FolderResources, 1);
    registry.m_Description = kResourceFamilyTags[1];
    Show(&registry);
    EXPECT_EQ((std::vector<std::wstring>{L"(Default)", L"a\\b", L"K"}), Names(list));
    // The group lists its member.
    Show(g);
    EXPECT_EQ((std::vector<std::wstring>{L"x.dll"}), Names(list));
    EXPECT_EQ(&list, dynamic_cast<CIChViewNode*>(pane.GetActiveViewer()));
}

TEST_F(ListFixture, PathFolderListsTheResourcesBelowItsPathOnly) {
    AddResource(model, ResFile, L"C:\\A\\x.dll");
    AddResource(model, ResFile, L"C:\\A\\B\\y.dll");
    AddResource(model, ResFile, L"\\\\?\\C:\\A\\z.dll"); // holds "C:\A" but elsewhere
    AddResource(model, ResFile, L"C:\\AB\\w.dll");
    CIChFolder folder(FolderResources, 0);
    folder.m_Description = L"c:\\a\\";
    Show(&folder);
    EXPECT_EQ((std::vector<std::wstring>{L"x.dll", L"y.dll"}), Names(Viewer(FolderResources)));
}

TEST_F(ListFixture, GroupTaskJobAndSubjectRows) {
    CIChResorce* r1 = AddResource(model, ResFile, L"C:\\r1");
    CIChResorce* r2 = AddResource(model, ResFile, L"C:\\r2");
    CIChRGroup* g1 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G1");
    CIChRGroup* g2 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G2");
    g2->m_SubType = GroupRegistry;
    g1->SetDescription(L"первая");
    CIChTask* t1 = AddNode<CIChTask>(model, NodeTypeTask, L"T1");
    CIChTask* t2 = AddNode<CIChTask>(model, NodeTypeTask, L"T2");
    CIChJob* j1 = AddNode<CIChJob>(model, NodeTypeJob, L"J1");
    CIChJob* j2 = AddNode<CIChJob>(model, NodeTypeJob, L"J2");
    CIChJob* lonely = AddNode<CIChJob>(model, NodeTypeJob, L"J3");
    CIChSubject* s = AddNode<CIChSubject>(model, NodeTypeSubject, L"S");
    CIChSubject* user = AddNode<CIChSubject>(model, NodeTypeSubject, L"U");
    user->m_SubType = SubjectUser;
    user->m_Modes = 0x20;
    r1->LinkTo(g1);
    r2->LinkTo(g1);
    r2->LinkTo(g2);
    g1->LinkTo(t1);
    g2->LinkTo(t2);
    t1->LinkTo(j1);
    t2->LinkTo(j2);
    g1->LinkTo(j2); // a group linked to a job directly
    j1->LinkTo(s);
    j2->LinkTo(s);
    j2->LinkTo(user);
    t1->LinkTo(lonely);
    for (CIChNode* n : std::initializer_list<CIChNode*>{g1, g2, t1, t2, j1, j2, lonely, s, user})
        Stamp(n);
    std::wstring t = CIChViewNode::TimeText(g1->m_ModifyTime);

    Show(&groups);
    EXPECT_EQ(L"G1|" + t +
                  L"|первая|Файлы/Каталоги|2|2\n"
                  L"G2|" +
                  t + L"||Объекты реестра|1|1\n",
              Dump(Viewer(FolderGroups)));
    Show(t1);
    EXPECT_EQ((std::vector<std::wstring>{L"G1"}), Names(Viewer(NodeTypeTask)));

    Show(&tasks);
    EXPECT_EQ(L"T1|" + t + L"||2|1\nT2|" + t + L"||1|1\n", Dump(Viewer(FolderTasks)));
    Show(j2);
    EXPECT_EQ((std::vector<std::wstring>{L"T2", L"G1"}), Names(Viewer(NodeTypeJob)));

    Show(&jobs);
    CIChViewNode& jobList = Viewer(FolderJobs);
    EXPECT_EQ(L"J1|" + t + L"||1|1\nJ2|" + t + L"||2|2\nJ3|" + t + L"||0|1\n", Dump(jobList));
    // The job in no subject is drawn as not under control.
    EXPECT_EQ(1, jobList.GetColorClass(0, 0));
    EXPECT_EQ(5, jobList.GetColorClass(2, 0));
    lonely->LinkTo(s);
    EXPECT_EQ(1, jobList.GetColorClass(2, 0)) << "linked jobs return to the normal colours";

    Show(&subjects);
    // r1 reaches S through J2 twice (T1-J1 and G1-J2) but counts once; r2 reaches S and U.
    EXPECT_EQ(L"S||Компьютер|3|2|Включены\nU||Пользователь|1|2|-\n", Dump(Viewer(FolderSubjects)));
}

// A row update answers 1 for a node of another kind and 2 for a node without a row; an updated row
// shows the node's new texts and, in a sorted list, moves to where the sort column puts it.
TEST_F(ListFixture, UpdateItemRewritesTheRowAndResortsASortedList) {
    CIChResorce* a = AddResource(model, ResFile, L"C:\\a");
    CIChResorce* b = AddResource(model, ResFile, L"C:\\b");
    AddResource(model, ResFile, L"C:\\c");
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    CIChSubject* s = AddNode<CIChSubject>(model, NodeTypeSubject, L"S");
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    HeaderCommand(list, ID_LIST_SORT_ASCENDING, 0);
    ASSERT_EQ((std::vector<std::wstring>{L"a", L"b", L"c"}), Names(list));
    CIChResorce* outside = AddResource(model, ResFile, L"C:\\0"); // added after the fill: no row
    struct Case {
        CIChNode* node;
        int result;
    } cases[] = {{nullptr, 1}, {g, 1}, {s, 1}, {outside, 2}};
    for (const Case& k : cases)
        EXPECT_EQ(k.result, list.UpdateItem(k.node)) << (k.node ? k.node->m_Name : L"none");

    a->SetName(L"C:\\d");
    a->m_Controlled = 0;
    EXPECT_EQ(0, list.UpdateItem(a));
    EXPECT_EQ((std::vector<std::wstring>{L"b", L"c", L"d"}), Names(list));
    EXPECT_EQ(L"нет", list.GetItemText(2, 4));
    EXPECT_EQ(2, list.FindRow(a));

    // The subject list: its resource count stays as counted at the fill until the next fill.
    Show(&subjects);
    CIChViewNode& subjectList = Viewer(FolderSubjects);
    EXPECT_EQ(L"0", subjectList.GetItemText(0, 4));
    CIChRGroup* g2 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G2");
    CIChTask* t = AddNode<CIChTask>(model, NodeTypeTask, L"T");
    CIChJob* j = AddNode<CIChJob>(model, NodeTypeJob, L"J");
    b->LinkTo(g2);
    g2->LinkTo(t);
    t->LinkTo(j);
    j->LinkTo(s);
    s->SetName(L"S2");
    EXPECT_EQ(0, subjectList.UpdateItem(s));
    EXPECT_EQ(L"S2|0", subjectList.GetItemText(0, 0) + L"|" + subjectList.GetItemText(0, 4));
    pane.GetActiveViewer()->Refresh(nullptr);
    EXPECT_EQ(L"1", subjectList.GetItemText(0, 4));
}

// ---- colours and fonts ------------------------------------------------------------------------------

TEST_F(ListFixture, RowColoursByClassReadAsPixels) {
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    CIChResorce* normal = AddResource(model, ResFile, L"C:\\n");
    CIChResorce* error = AddResource(model, ResFile, L"C:\\e"); // in no group
    CIChResorce* uncontrolled = AddResource(model, ResFile, L"C:\\u");
    CIChResorce* missing = AddResource(model, ResFile, L"C:\\m");
    CIChResorce* foreign = AddResource(model, ResFile, L"C:\\f", -5);
    for (CIChResorce* r : {normal, uncontrolled, missing, foreign})
        r->LinkTo(g);
    uncontrolled->m_Controlled = 0;
    missing->m_Valid = 0;
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    list.SetItemState(-1, 0, LVIS_SELECTED);
    ::UpdateWindow(list.m_hWnd);
    Pump();
    auto pixel = [&](int row) {
        RECT rc;
        list.GetSubItemRect(row, 6, LVIR_BOUNDS, rc);
        HDC dc = ::GetDC(list.m_hWnd);
        COLORREF c = ::GetPixel(dc, rc.right - 4, (rc.top + rc.bottom) / 2);
        ::ReleaseDC(list.m_hWnd, dc);
        return c;
    };
    struct Case {
        CIChResorce* node;
        int cls;
    } cases[] = {{normal, 1}, {error, 3}, {uncontrolled, 5}, {missing, 7}, {foreign, 1}};
    for (const Case& c : cases) {
        int row = list.FindRow(c.node);
        ASSERT_GE(row, 0);
        EXPECT_EQ(c.cls, list.GetColorClass(row, 0)) << c.node->m_Name;
        EXPECT_EQ(host.m_colors[c.cls + 1], pixel(row)) << c.node->m_Name;
    }
    // An error row not under control stays an error row.
    error->m_Controlled = 0;
    EXPECT_EQ(3, list.GetColorClass(list.FindRow(error), 0));
    // The sort column's background is darkened by 20 per byte (a byte below 21 becomes 0).
    ::SetFocus(list.m_hWnd);
    list.Sort(6, TRUE);
    ::UpdateWindow(list.m_hWnd);
    EXPECT_EQ(RGB(230, 180, 180), pixel(list.FindRow(error)));
    EXPECT_EQ(RGB(235, 235, 235), pixel(list.FindRow(normal)));
}

// ---- sorting, selection ------------------------------------------------------------------------------

TEST_F(ListFixture, SortTwiceReturnsToNaturalOrderAndRefillKeepsSelection) {
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    for (const wchar_t* n : {L"C:\\b", L"C:\\c", L"C:\\a"})
        AddResource(model, ResFile, n)->LinkTo(g);
    AddResource(model, ResFile, L"C:\\z", -3)->LinkTo(g);
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    const std::vector<std::wstring> natural = {L"b", L"c", L"a", L"z"};
    ASSERT_EQ(natural, Names(list));
    HeaderCommand(list, ID_LIST_SORT_ASCENDING, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"z"}), Names(list));
    HeaderCommand(list, ID_LIST_SORT_ASCENDING, 0);
    EXPECT_EQ(natural, Names(list));
    EXPECT_EQ(-1, list.GetSortColumn());
    // By type: the foreign resource after all own ones.
    HeaderCommand(list, ID_LIST_SORT_DESCENDING, 3);
    EXPECT_EQ(L"z", list.GetItemText(0, 0));
    HeaderCommand(list, ID_LIST_SORT_ASCENDING, 3);
    EXPECT_EQ(L"z", list.GetItemText(3, 0));
    // A refill after a change keeps the selected objects selected where their rows went.
    HeaderCommand(list, ID_LIST_SORT_ASCENDING, 0);
    Select(list, {0, 2}); // a, c
    AddResource(model, ResFile, L"C:\\0")->LinkTo(g);
    pane.GetActiveViewer()->Refresh(nullptr);
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"a", L"b", L"c", L"z"}), Names(list));
    EXPECT_EQ((std::vector<int>{1, 3}), Selected(list));
    // The status text follows when the timer fires.
    list.OnStatusTimer();
    EXPECT_EQ(L"000002 из 000005 [000002]", host.m_status);
    ASSERT_FALSE(host.m_relations.empty());
    EXPECT_EQ(2u, host.m_relations.back().size());
}

// ---- find --------------------------------------------------------------------------------------------

struct FindFixture : ListFixture {
    CIChViewNode* list = nullptr;
    void SetUp() override {
        ListFixture::SetUp();
        for (const wchar_t* n : {L"C:\\Alpha", L"C:\\box", L"C:\\Boxer"})
            AddResource(model, ResFile, n);
        Show(&resources);
        list = &Viewer(FolderResources);
        ::SetFocus(list->m_hWnd);
    }
    void Script(KvTest::CScopedPresenter& ps, const std::wstring& text, const std::wstring& column = L"") {
        ps.OnDialog<dlgFinding>(IDD_FINDING, [=](dlgFinding& d) {
            d.SetDlgItemText(IDC_FIND_TEXT, text);
            if (!column.empty()) {
                if (::IsDlgButtonChecked(d.m_hWnd, IDC_FIND_IN_COLUMN) != BST_CHECKED)
                    EXPECT_TRUE(KvTest::Click(d, IDC_FIND_IN_COLUMN));
                d.m_wndColumn.SetCurSel(
                    (int)d.m_wndColumn.SendMessage(CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)column.c_str()));
            }
            d.OnOK();
        });
    }
};

TEST_F(FindFixture, FindAndFindNextCycleWithTheRestartQuestion) {
    KvTest::CScopedPresenter ps;
    Script(ps, L"box");
    EXPECT_TRUE(list->CanFind());
    EXPECT_FALSE(list->CanFindNext());
    list->Find();
    EXPECT_EQ((std::vector<int>{1}), Selected(*list));
    EXPECT_TRUE(list->CanFindNext());
    list->FindNext();
    EXPECT_EQ((std::vector<int>{2}), Selected(*list));
    // No further match: the question; Yes starts again from the top (through command 7007).
    ps.QueueAnswer(IDYES);
    list->FindNext();
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"Элемент списка не найден.\nНачать поиск сначала?", ps.Boxes()[0].text);
    EXPECT_EQ((UINT)(MB_YESNO | MB_ICONINFORMATION), ps.Boxes()[0].type);
    Pump();
    ASSERT_EQ((std::vector<UINT>{ID_FIND_NEXT}), sink.m_commands);
    list->FindNext();
    EXPECT_EQ((std::vector<int>{1}), Selected(*list));
    EXPECT_EQ(1, list->GetSelectionMark());
    EXPECT_TRUE(list->GetItemState(1, LVIS_FOCUSED));
    // No: nothing more.
    sink.m_commands.clear();
    list->FindNext();
    ps.QueueAnswer(IDNO);
    list->FindNext();
    Pump();
    EXPECT_TRUE(sink.m_commands.empty());
}

TEST_F(FindFixture, MatchCaseWholeValueAndColumn) {
    KvTest::CScopedPresenter ps;
    ps.OnDialog<dlgFinding>(IDD_FINDING, [](dlgFinding& d) {
        d.SetDlgItemText(IDC_FIND_TEXT, L"box");
        ::CheckDlgButton(d.m_hWnd, IDC_FIND_MATCH_CASE, BST_CHECKED);
        ::CheckDlgButton(d.m_hWnd, IDC_FIND_WHOLE, BST_CHECKED);
        d.OnOK();
    });
    list->Find();
    EXPECT_EQ((std::vector<int>{1}), Selected(*list));
    EXPECT_EQ(1, list->m_find.matchCase);
    EXPECT_EQ(1, list->m_find.wholeValue);
    // In the "Путь" column only "C:\" is there: nothing named "box".
    list->SetSelectionMark(-1);
    KvTest::CScopedPresenter ps2;
    Script(ps2, L"box", L"Путь");
    ps2.QueueAnswer(IDNO);
    list->Find();
    EXPECT_EQ(L"Путь", list->m_find.column);
    EXPECT_EQ(1u, ps2.Boxes().size());
}

TEST_F(FindFixture, HiddenSearchColumnOpensTheDialogAgain) {
    KvTest::CScopedPresenter ps;
    Script(ps, L"Box", L"Тип");
    ps.QueueAnswer(IDNO);
    list->Find();
    list->SetColumnWidth(3, 0);
    list->FindNext();
    Pump();
    EXPECT_EQ((std::vector<UINT>{ID_FIND}), sink.m_commands);
    // The find dialog offers visible columns only.
    std::vector<std::wstring> offered;
    KvTest::CScopedPresenter ps2;
    ps2.OnDialog<dlgFinding>(IDD_FINDING, [&](dlgFinding& d) {
        for (int i = 0; i < d.m_wndColumn.GetCount(); ++i) {
            wchar_t buf[64] = {};
            d.m_wndColumn.SendMessage(CB_GETLBTEXT, i, (LPARAM)buf);
            offered.push_back(buf);
        }
        EXPECT_FALSE(::IsWindowEnabled(d.m_wndColumn.m_hWnd));
        d.EndDialog(IDCANCEL);
    });
    list->Find();
    EXPECT_EQ((std::vector<std::wstring>{L"Имя", L"Изменен", L"Путь", L"Контроль", L"Выполняемый", L"Группы"}),
              offered);
}

// ---- columns -------------------------------------------------------------------------------------------

TEST_F(ListFixture, ColumnDialogCases) {
    AddResource(model, ResFile, L"C:\\a");
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    ::SetFocus(list.m_hWnd);
    const std::vector<int> natural = {0, 1, 2, 3, 4, 5, 6};
    // Cancel changes nothing.
    {
        KvTest::CScopedPresenter ps;
        ps.OnDialog<dlgColumns>(IDD_COLUMNS, [](dlgColumns& d) {
            d.OnExcludeAll();
            d.EndDialog(IDCANCEL);
        });
        EXPECT_EQ(0, list.RunColumnDialog());
        EXPECT_EQ(natural, list.GetColumnOrderArray());
        EXPECT_EQ(150, list.GetColumnWidth(0));
    }
    // Excluding every column switches OK off; including one switches it on again.
    {
        KvTest::CScopedPresenter ps;
        ps.OnDialog<dlgColumns>(IDD_COLUMNS, [](dlgColumns& d) {
            EXPECT_EQ(L"Перместить к началу", d.m_btnUp.GetTooltip());
            EXPECT_EQ(L"Исключить ВСЕ", d.m_btnExcludeAll.GetTooltip());
            EXPECT_FALSE(::IsWindowEnabled(d.GetDlgItem(IDC_COLUMNS_UP)));
            EXPECT_TRUE(::IsWindowEnabled(d.GetDlgItem(IDC_COLUMNS_DOWN)));
            d.OnExcludeAll();
            EXPECT_FALSE(::IsWindowEnabled(d.GetDlgItem(IDOK)));
            d.OnOK(); // refused while no column is visible
            EXPECT_FALSE(d.IsEnded());
            d.OnInclude();
            EXPECT_TRUE(::IsWindowEnabled(d.GetDlgItem(IDOK)));
            EXPECT_EQ(std::vector<int>{6}, d.GetVisible()); // the selected hidden one: the last excluded
            d.OnOK();
        });
        EXPECT_EQ(1, list.RunColumnDialog());
        EXPECT_EQ(50, list.GetColumnWidth(6));
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(0, list.GetColumnWidth(c)) << c;
    }
    // The last visible column cannot be hidden from the header.
    {
        list.SetMenuColumn(6);
        KvUi::CCmdUI ui;
        ui.m_nID = ID_LIST_HIDE_COLUMN;
        ui.DoUpdate(&list, TRUE);
        EXPECT_FALSE(ui.m_bEnabled);
    }
    HeaderCommand(list, ID_LIST_DEFAULTS, 0);
    EXPECT_EQ(121, list.GetColumnWidth(1));
    // Order [2,0,1,...] round trip; a typed width of 0 becomes 1.
    {
        KvTest::CScopedPresenter ps;
        ps.OnDialog<dlgColumns>(IDD_COLUMNS, [](dlgColumns& d) {
            d.m_wndVisible.SetCurSel(2);
            d.OnVisibleSelChange();
            d.OnUp();
            d.OnUp();
            EXPECT_FALSE(::IsWindowEnabled(d.GetDlgItem(IDC_COLUMNS_UP)));
            EXPECT_EQ(::GetDlgItem(d.m_hWnd, IDC_COLUMNS_DOWN), ::GetFocus());
            EXPECT_EQ((std::vector<int>{2, 0, 1, 3, 4, 5, 6}), d.GetVisible());
            d.SetDlgItemText(IDC_COLUMNS_WIDTH, L"0");
            d.OnOK();
        });
        EXPECT_EQ(1, list.RunColumnDialog());
        EXPECT_EQ((std::vector<int>{2, 0, 1, 3, 4, 5, 6}), list.GetColumnOrderArray());
        EXPECT_EQ(1, list.GetColumnWidth(2));
        EXPECT_EQ(150, list.GetColumnWidth(0));
    }
}

TEST(ColumnState, OnlyWholeValuesAreTaken) {
    CListColumnState good;
    good.sortColumn = 2;
    good.ascending = 0;
    good.widths = {10, 0, 30};
    good.order = {2, 0, 1};
    std::vector<BYTE> data = good.Pack();
    ASSERT_EQ(12u + 8 * 3, data.size());
    CListColumnState read;
    ASSERT_TRUE(read.Parse(data, 3));
    EXPECT_EQ(2, read.sortColumn);
    EXPECT_EQ(0, read.ascending);
    EXPECT_EQ(good.order, read.order);
    EXPECT_FALSE(read.Parse(data, 4)) << "another column count";
    std::vector<BYTE> shorter(data.begin(), data.end() - 4);
    EXPECT_FALSE(read.Parse(shorter, 3));
    CListColumnState twice = good;
    twice.order = {0, 0, 1};
    EXPECT_FALSE(read.Parse(twice.Pack(), 3)) << "not a permutation";
    CListColumnState beyond = good;
    beyond.sortColumn = 3;
    EXPECT_FALSE(read.Parse(beyond.Pack(), 3)) << "sort column out of range";
    EXPECT_FALSE(read.Parse({}, 3));
}

TEST(ColumnState, StoredStateAppliesAndCorruptValuesAreIgnored) {
    CBareFrameHolder<> holder;
    ASSERT_NO_FATAL_FAILURE(holder.OpenFrame(L"state", 600, 400));
    CTestFrame& frame = holder.frame;
    CIChDataModel model;
    CListHost host;
    host.m_pModel = &model;
    auto make = [&](CRGroupViewer& v) {
        v.SetHost(&host);
        return v.Create(&frame);
    };
    // A whole value: sort column 2 descending, widths and order.
    CListColumnState s;
    s.sortColumn = 2;
    s.ascending = 0;
    s.widths = {100, 0, 200, 70, 60, 82, 50};
    s.order = {2, 0, 1, 3, 4, 5, 6};
    std::vector<BYTE> data = s.Pack();
    g_app.WriteProfileBinary(L"", L"List200", data.data(), (UINT)data.size());
    {
        CRGroupViewer v;
        ASSERT_TRUE(make(v));
        EXPECT_EQ(2, v.GetSortColumn());
        EXPECT_FALSE(v.IsAscending());
        EXPECT_EQ(0, v.GetColumnWidth(1));
        EXPECT_EQ(s.order, v.GetColumnOrderArray());
        EXPECT_EQ(150, v.GetDefaultWidths()[0]);
        v.SetColumnWidth(4, 0);
        v.DestroyWindow(); // writes the state back
    }
    std::vector<BYTE> back;
    ASSERT_TRUE(g_app.GetProfileBinary(L"", L"List200", back));
    CListColumnState written;
    ASSERT_TRUE(written.Parse(back, 7));
    EXPECT_EQ(0, written.widths[4]);
    // Corrupt values leave the defaults.
    std::vector<std::vector<BYTE>> corrupt = {{1, 2, 3}, std::vector<BYTE>(data.begin(), data.end() - 1)};
    CListColumnState bad = s;
    bad.order = {0, 0, 1, 3, 4, 5, 6};
    corrupt.push_back(bad.Pack());
    bad = s;
    bad.sortColumn = 9;
    corrupt.push_back(bad.Pack());
    for (const auto& c : corrupt) {
        g_app.WriteProfileBinary(L"", L"List200", c.data(), (UINT)c.size());
        CRGroupViewer v;
        ASSERT_TRUE(make(v));
        EXPECT_EQ(-1, v.GetSortColumn());
        EXPECT_EQ(121, v.GetColumnWidth(1));
        EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6}), v.GetColumnOrderArray());
        v.DestroyWindow();
    }
    holder.CloseFrame();
}

// ---- context menus, commands ---------------------------------------------------------------------------

std::set<UINT> MenuIds(HMENU menu) {
    std::set<UINT> out;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            auto inner = MenuIds(sub);
            out.insert(inner.begin(), inner.end());
        } else if (UINT id = ::GetMenuItemID(menu, i); id && id != (UINT)-1) {
            out.insert(id);
        }
    }
    return out;
}

TEST_F(ListFixture, ContextMenusOfRowsAndFolders) {
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    AddResource(model, ResFile, L"C:\\a")->LinkTo(g);
    AddResource(model, ResFile, L"C:\\b", -2)->LinkTo(g);
    Show(g);
    CIChViewNode& list = Viewer(NodeTypeGroup);
    Select(list, {});
    EXPECT_EQ(0, list.GetContextMenuId()) << "no menu in the empty space of an object's list";
    Show(&resources);
    Select(list, {});
    EXPECT_EQ(201, list.GetContextMenuId());
    HMENU folderMenu = list.MakeContextMenu();
    ASSERT_NE(nullptr, folderMenu);
    std::set<UINT> base = MenuIds(::GetSubMenu(folderMenu, 0));
    ::DestroyMenu(folderMenu);
    Select(list, {0});
    EXPECT_EQ(200, list.GetContextMenuId()); // the host's menu of the row's node
    Select(list, {0, 1});
    EXPECT_EQ(200, list.GetContextMenuId());
    HMENU menu = list.MakeContextMenu();
    ASSERT_NE(nullptr, menu);
    std::set<UINT> ids = MenuIds(::GetSubMenu(menu, 0));
    ::DestroyMenu(menu);
    EXPECT_TRUE(ids.count(ID_OBJ_PROPERTIES + 1));
    EXPECT_FALSE(ids.count(ID_OBJ_PROPERTIES));
    EXPECT_TRUE(ids.count(ID_RES_DEPENDENCIES)) << "3602 keeps its id";
    EXPECT_FALSE(base.empty());
    // Enabling of the list variants: own ID needed for "Контролировать".
    auto enabled = [&](UINT id) {
        KvUi::CCmdUI ui;
        ui.m_nID = id;
        ui.DoUpdate(&list, TRUE);
        return ui.m_bEnabled != FALSE;
    };
    Select(list, {0});
    EXPECT_TRUE(enabled(ID_OBJ_CONTROL + 1));
    EXPECT_TRUE(enabled(ID_OBJ_PROPERTIES + 1));
    Select(list, {1});
    EXPECT_FALSE(enabled(ID_OBJ_CONTROL + 1));
    EXPECT_TRUE(list.IsBoldRow(1));
    Select(list, {0, 1});
    EXPECT_FALSE(enabled(ID_OBJ_PROPERTIES + 1));
    EXPECT_TRUE(enabled(ID_EDIT_SELECT_ALL));
    list.OnCmdMsg(ID_EDIT_SELECT_ALL, KvUi::CN_COMMAND, nullptr, nullptr);
    EXPECT_EQ(2, list.GetSelectedCount());
}

// The list variants of the object commands are enabled by the kind, ID and flags of the first
// selected row's node and by how many rows are selected; two of them carry a check mark.
TEST_F(ListFixture, ListCommandsFollowTheSelectedRows) {
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    CIChRGroup* foreignGroup = AddNode<CIChRGroup>(model, NodeTypeGroup, L"FG");
    foreignGroup->m_Id = -3;
    CIChResorce* file = AddResource(model, ResFile, L"C:\\f");
    CIChResorce* foreignFile = AddResource(model, ResFile, L"C:\\ff", -2);
    CIChResorce* dir = AddResource(model, ResDirectory, L"C:\\d");
    CIChResorce* loose = AddResource(model, ResFile, L"C:\\l"); // in no group
    for (CIChResorce* r : {file, foreignFile, dir})
        r->LinkTo(g);
    file->m_Executable = 1;
    dir->m_Controlled = 0;
    loose->m_Removable = 0;
    CIChTask* t = AddNode<CIChTask>(model, NodeTypeTask, L"T");
    CIChJob* j = AddNode<CIChJob>(model, NodeTypeJob, L"J");
    CIChSubject* s = AddNode<CIChSubject>(model, NodeTypeSubject, L"S");
    s->m_Id = -4; // a subject needs no own ID to take existing jobs
    g->LinkTo(t);
    foreignGroup->LinkTo(t);
    t->LinkTo(j);
    j->LinkTo(s);

    struct Case {
        CIChNode* shown;
        std::vector<CIChNode*> rows;
        UINT id;
        bool on;
        int check; // -1: not looked at
    } cases[] = {
        {&resources, {file}, ID_OBJ_PROPERTIES + 1, true, -1},
        {&resources, {file, dir}, ID_OBJ_PROPERTIES + 1, false, -1},
        {&resources, {}, ID_OBJ_EXPORT + 1, false, -1},
        {&resources, {file, dir}, ID_OBJ_EXPORT + 1, true, -1},
        {&resources, {file}, ID_OBJ_ADD_EXISTING + 1, false, -1},
        {&resources, {file}, ID_OBJ_DELETE + 1, true, -1},
        {&resources, {loose}, ID_OBJ_DELETE + 1, false, -1},
        {&resources, {file}, ID_OBJ_ADD_NEW + 1, false, -1},
        {&resources, {file}, ID_OBJ_IMPORT_ADD + 1, false, -1},
        {&resources, {file}, ID_OBJ_CONTROL + 1, true, 1},
        {&resources, {dir}, ID_OBJ_CONTROL + 1, true, 0},
        {&resources, {foreignFile}, ID_OBJ_CONTROL + 1, false, -1},
        {&resources, {file}, ID_OBJ_EXECUTABLE + 1, true, 1},
        {&resources, {dir}, ID_OBJ_EXECUTABLE + 1, false, -1},
        {&resources, {foreignFile}, ID_OBJ_EXECUTABLE + 1, false, -1},
        {&resources, {foreignFile}, ID_OBJ_EXCLUDE_ALL + 1, true, -1},
        {&resources, {loose}, ID_OBJ_EXCLUDE_ALL + 1, false, -1},
        {&resources, {foreignFile}, ID_RES_DEPENDENCIES, true, -1},
        {&resources, {dir}, ID_RES_DEPENDENCIES, false, -1},
        {&resources, {dir}, ID_RES_PATH_VARIABLES, true, -1},
        {&resources, {foreignFile}, ID_RES_PATH_VARIABLES, false, -1},
        {&resources, {file}, ID_OBJ_EXCLUDE + 1, false, -1}, // the current node is a folder
        {g, {file}, ID_OBJ_EXCLUDE + 1, true, -1},
        {&groups, {g}, ID_OBJ_ADD_EXISTING + 1, true, -1},
        {&groups, {foreignGroup}, ID_OBJ_ADD_EXISTING + 1, false, -1},
        {&groups, {g}, ID_OBJ_IMPORT_GROUP + 1, true, -1},
        {&groups, {g}, ID_OBJ_SEVERAL + 1, true, -1},
        {&groups, {g}, ID_OBJ_NEW_RESOURCE + 1, true, -1},
        {&groups, {foreignGroup}, ID_OBJ_NEW_RESOURCE + 1, false, -1},
        {&groups, {g, foreignGroup}, ID_OBJ_IMPORT_GROUP + 1, false, -1},
        {&groups, {g}, ID_OBJ_GROUP_BY_DIR + 1, false, -1},
        {&groups, {foreignGroup}, ID_OBJ_EXCLUDE_ALL + 1, false, -1},
        {&tasks, {t}, ID_OBJ_ADD_EXISTING + 1, true, -1},
        {&tasks, {t}, ID_OBJ_GROUP_BY_DIR + 1, true, -1},
        {&tasks, {t}, ID_OBJ_GROUP_BY_KEY + 1, true, -1},
        {&tasks, {t}, ID_OBJ_NEW_GROUP + 1, true, -1},
        {&tasks, {t}, ID_OBJ_GROUP_BY_LOG + 1, true, -1},
        {&tasks, {t}, ID_OBJ_NEW_TASK + 1, false, -1},
        {&jobs, {j}, ID_OBJ_TASK_BY_GEN + 1, true, -1},
        {&jobs, {j}, ID_OBJ_NEW_TASK + 1, true, -1},
        {&jobs, {j}, ID_OBJ_NEW_GROUP + 1, true, -1},
        {&jobs, {j}, ID_OBJ_ADD_EXISTING + 1, true, -1},
        {&subjects, {s}, ID_OBJ_ADD_EXISTING + 1, true, -1},
        {&subjects, {s}, ID_OBJ_NEW_TASK + 1, false, -1},
    };
    for (const Case& c : cases) {
        Show(c.shown);
        CIChViewNode& list = *dynamic_cast<CIChViewNode*>(pane.GetActiveViewer());
        list.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (CIChNode* n : c.rows)
            list.SetItemState(list.FindRow(n), LVIS_SELECTED, LVIS_SELECTED);
        KvUi::CCmdUI ui;
        ui.m_nID = c.id;
        ui.m_nCheck = -1;
        ui.DoUpdate(&list, TRUE);
        std::wstring what = std::to_wstring(c.id) + L" on " + (c.rows.empty() ? L"nothing" : c.rows[0]->m_Name);
        EXPECT_EQ(c.on, ui.m_bEnabled != FALSE) << what;
        if (c.check >= 0) {
            EXPECT_EQ(c.check, ui.m_nCheck) << what;
        }
    }
}

// Records where and for whom the lists open their popup menus, and what the menus hold.
struct CMenuRecorder : KvTest::CScopedPresenter {
    struct Shown {
        POINT at;
        HWND owner;
        std::set<UINT> ids;
    };
    std::vector<Shown> shown;
    UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner) override {
        shown.push_back({{x, y}, owner, MenuIds(menu)});
        return KvTest::CScopedPresenter::TrackPopupMenu(menu, flags, x, y, owner);
    }
};

// The context menu through its message: from the keyboard below the first selected row (16
// pixels in) or, without a selection, at the list's client origin; from the mouse at the mouse;
// always owned by the main window.
TEST_F(ListFixture, ContextMenuOpensBelowTheFirstSelectedRowFromTheKeyboard) {
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    for (const wchar_t* n : {L"C:\\a", L"C:\\b", L"C:\\c"})
        AddResource(model, ResFile, n)->LinkTo(g);
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    CMenuRecorder menus;
    auto screen = [&](POINT p) {
        ::ClientToScreen(list.m_hWnd, &p);
        return p;
    };
    Select(list, {2, 1});
    list.SendMessage(WM_CONTEXTMENU, (WPARAM)list.m_hWnd, (LPARAM)-1);
    RECT row;
    ASSERT_TRUE(list.GetItemRect(1, &row, LVIR_BOUNDS));
    Select(list, {});
    list.SendMessage(WM_CONTEXTMENU, (WPARAM)list.m_hWnd, (LPARAM)-1);
    POINT mouse = screen({40, 30});
    list.SendMessage(WM_CONTEXTMENU, (WPARAM)list.m_hWnd, MAKELPARAM(mouse.x, mouse.y));
    ASSERT_EQ(3u, menus.shown.size());
    const POINT expected[] = {screen({row.left + 16, row.bottom}), screen({0, 0}), mouse};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i].x, menus.shown[i].at.x) << i;
        EXPECT_EQ(expected[i].y, menus.shown[i].at.y) << i;
        EXPECT_EQ(sink.m_hWnd, menus.shown[i].owner) << i;
    }
    EXPECT_TRUE(menus.shown[0].ids.count(ID_OBJ_PROPERTIES + 1)) << "rows selected: the list variants";
    EXPECT_TRUE(menus.shown[1].ids.count(ID_OBJ_EXPORT)) << "the folder menu keeps the base ids";
    EXPECT_FALSE(menus.shown[1].ids.count(ID_OBJ_EXPORT + 1));
    EXPECT_EQ(::GetFocus(), list.m_hWnd);
}

TEST_F(ListFixture, DoubleClickSelectsInTheTreeOrAsksForProperties) {
    AddResource(model, ResFile, L"C:\\a");
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    NMITEMACTIVATE act = {};
    act.hdr.hwndFrom = list.m_hWnd;
    act.hdr.idFrom = 200;
    act.hdr.code = LVN_ITEMACTIVATE;
    act.iItem = 0;
    pane.SendMessage(WM_NOTIFY, 200, (LPARAM)&act);
    Pump();
    EXPECT_EQ((std::vector<UINT>{ID_KEY_ENTER}), sink.m_commands);
}

TEST_F(ListFixture, ForgottenNodesLeaveNoRows) {
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    AddResource(model, ResFile, L"C:\\a")->LinkTo(g);
    Show(g);
    CIChNodeList doomed(1, g);
    pane.ForgetNodes(doomed);
    EXPECT_EQ(nullptr, pane.GetActiveViewer());
    EXPECT_EQ(0, Viewer(NodeTypeGroup).GetItemCount());
    EXPECT_EQ(nullptr, Viewer(NodeTypeGroup).GetCurrentNode());
}

// ---- relation pane --------------------------------------------------------------------------------------

TEST_F(ListFixture, RelationPaneListsEachRelationOnceByKind) {
    CIChResorce* r1 = AddResource(model, ResFile, L"C:\\r1");
    CIChResorce* r2 = AddResource(model, ResFile, L"C:\\r2");
    CIChRGroup* g = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G");
    CIChTask* t = AddNode<CIChTask>(model, NodeTypeTask, L"T");
    CIChJob* j1 = AddNode<CIChJob>(model, NodeTypeJob, L"J1");
    CIChJob* j2 = AddNode<CIChJob>(model, NodeTypeJob, L"J2");
    CIChSubject* s = AddNode<CIChSubject>(model, NodeTypeSubject, L"S");
    r1->LinkTo(g);
    r2->LinkTo(g);
    g->LinkTo(t);
    t->LinkTo(j1);
    t->LinkTo(j2);
    g->LinkTo(j2);
    j1->LinkTo(s);
    j2->LinkTo(s);
    bar.ShowPane(TRUE);
    Pump();
    CIChNodeList shown(1, g);
    bar.ShowRelations(&shown);
    CRelationList& list = bar.m_wndList;
    EXPECT_EQ(L"C:\\r1|ресурс\nC:\\r2|ресурс\nT|задача\nJ1|задание\nJ2|задание\nS|субъект управления\n", Dump(list));
    // Mask 0 empties the pane; switching a kind back refills it with the same nodes.
    bar.SetCategoryFilter(0);
    EXPECT_EQ(0, list.GetItemCount());
    bar.SetCategoryFilter(1 | 8);
    EXPECT_EQ(L"C:\\r1|ресурс\nC:\\r2|ресурс\nJ1|задание\nJ2|задание\n", Dump(list));
    bar.SetCategoryFilter(31 & ~1);
    EXPECT_EQ(L"T|задача\nJ1|задание\nJ2|задание\nS|субъект управления\n", Dump(list));
    bar.SetCategoryFilter(31);
    // Hidden: no rows for new nodes; shown again, the kept nodes' relations.
    bar.ShowPane(FALSE);
    CIChNodeList other(1, t);
    bar.ShowRelations(&other);
    EXPECT_EQ(0, list.GetItemCount());
    bar.ShowPane(TRUE);
    Pump();
    EXPECT_EQ(L"C:\\r1|ресурс\nC:\\r2|ресурс\nG|группа ресурсов\nJ1|задание\nJ2|задание\nS|субъект управления\n",
              Dump(list));
    // The same nodes again change nothing.
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    bar.ShowRelations(&other);
    EXPECT_EQ(1, list.GetSelectedCount());
    // Double-click asks the main window to go to the tree.
    NMITEMACTIVATE act = {};
    act.hdr.hwndFrom = list.m_hWnd;
    act.hdr.idFrom = 100;
    act.hdr.code = LVN_ITEMACTIVATE;
    act.iItem = 3;
    bar.m_wndPanel.SendMessage(WM_NOTIFY, 100, (LPARAM)&act);
    Pump();
    EXPECT_EQ((std::vector<UINT>{ID_GOTO_TREE}), sink.m_commands);
    bar.ShowRelations(nullptr);
    EXPECT_EQ(0, list.GetItemCount());
}

} // namespace

namespace {

TEST_F(ListFixture, SameViewerRefreshesAnotherKindSwitchesViewers) {
    CIChRGroup* g1 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G1");
    CIChRGroup* g2 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G2");
    CIChTask* t = AddNode<CIChTask>(model, NodeTypeTask, L"T");
    AddResource(model, ResFile, L"C:\\a")->LinkTo(g1);
    AddResource(model, ResFile, L"C:\\b")->LinkTo(g2);
    g1->LinkTo(t);
    Show(g1);
    CIChViewer* groupViewer = pane.GetActiveViewer();
    HWND groupList = groupViewer->GetWnd();
    Show(g2);
    EXPECT_EQ(groupViewer, pane.GetActiveViewer());
    EXPECT_EQ(g2, groupViewer->GetCurrentNode());
    EXPECT_EQ((std::vector<std::wstring>{L"b"}), Names(Viewer(NodeTypeGroup)));
    Show(t);
    EXPECT_NE(groupViewer, pane.GetActiveViewer());
    EXPECT_FALSE(::IsWindowVisible(groupList));
    EXPECT_EQ(0, Viewer(NodeTypeGroup).GetItemCount()) << "a hidden viewer holds no rows";
    EXPECT_EQ(nullptr, groupViewer->GetCurrentNode());
    EXPECT_TRUE(::IsWindowVisible(pane.GetActiveViewer()->GetWnd()));
    // No viewer for resources: none is shown.
    Show(g1->m_Members.front());
    EXPECT_EQ(nullptr, pane.GetActiveViewer());
}

TEST_F(ListFixture, InfoTipsAndHiddenColumnsStayClosed) {
    AddResource(model, ResFile, L"C:\\A\\x.dll");
    AddResource(model, ResRegValue, std::wstring(L"HKEY_CURRENT_USER\\K\\") + RegDefaultValueToken);
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    auto tip = [&](int row) {
        wchar_t buf[80] = L"proposal";
        NMLVGETINFOTIPW info = {};
        info.hdr.hwndFrom = list.m_hWnd;
        info.hdr.idFrom = 200;
        info.hdr.code = LVN_GETINFOTIPW;
        info.pszText = buf;
        info.cchTextMax = 80;
        info.iItem = row;
        pane.SendMessage(WM_NOTIFY, 200, (LPARAM)&info);
        return std::wstring(buf);
    };
    EXPECT_EQ(L"Файл: C:\\A\\x.dll", tip(0));
    EXPECT_EQ(L"Переменная: HKEY_CURRENT_USER\\K\\(Default)", tip(1));
    // A zero-width column can be neither pulled open nor dragged.
    list.SetColumnWidth(2, 0);
    for (UINT code : {HDN_BEGINTRACKW, HDN_BEGINDRAG}) {
        NMHEADERW h = {};
        h.hdr.hwndFrom = ListView_GetHeader(list.m_hWnd);
        h.hdr.code = code;
        h.iItem = 2;
        EXPECT_TRUE(list.SendMessage(WM_NOTIFY, 0, (LPARAM)&h)) << code;
        h.iItem = 1;
        EXPECT_FALSE(list.SendMessage(WM_NOTIFY, 0, (LPARAM)&h)) << code;
    }
}

} // namespace

namespace {

TEST_F(ListFixture, HeaderRightClickOpensTheColumnMenuForThatColumn) {
    AddResource(model, ResFile, L"C:\\a");
    AddResource(model, ResFile, L"C:\\b");
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    HWND header = ListView_GetHeader(list.m_hWnd);
    RECT rc;
    Header_GetItemRect(header, 2, &rc);
    KvTest::CScopedPresenter ps;
    ps.QueueMenuCommand(ID_LIST_SORT_DESCENDING);
    ::SendMessageW(header, WM_RBUTTONUP, 0, MAKELPARAM(rc.left + 5, (rc.top + rc.bottom) / 2));
    Pump();
    EXPECT_EQ(2, list.GetMenuColumn());
    EXPECT_EQ(list.m_hWnd, ::GetFocus());
    EXPECT_EQ((std::vector<UINT>{ID_LIST_SORT_DESCENDING}), sink.m_commands);
}

TEST_F(ListFixture, BusyListShowsTheWaitCursorOverItsHeaderDividersAndTheirOwnCursorAfterwards) {
    AddResource(model, ResFile, L"C:\\a");
    Show(&resources);
    CIChViewNode& list = Viewer(FolderResources);
    HWND header = ListView_GetHeader(list.m_hWnd);
    RECT rc;
    ASSERT_TRUE(Header_GetItemRect(header, 0, &rc));
    const HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT), arrow = ::LoadCursorW(nullptr, IDC_ARROW),
                  none = ::LoadCursorW(nullptr, IDC_NO);
    // The cursor the header sets when the mouse moves to the point of it.
    auto cursorAt = [&](int x) {
        POINT pt = {x, (rc.top + rc.bottom) / 2};
        ::ClientToScreen(header, &pt);
        return KvTest::CursorAt(header, pt);
    };
    {
        KvUi::CWaitCursor busy;
        EXPECT_EQ(wait, cursorAt(rc.right)) << "on the divider";
        EXPECT_EQ(wait, cursorAt(rc.left + 5));
    }
    HCURSOR divider = cursorAt(rc.right);
    EXPECT_NE(wait, divider);
    EXPECT_NE(arrow, divider);
    EXPECT_NE(none, divider);
    EXPECT_EQ(arrow, cursorAt(rc.left + 5));
    ::SetCursorPos(0, 0);
}

} // namespace
