// Tests of the views: the structure tree over generated models (categories, folders, the item
// index), its history, drag-and-drop, renaming and node operations, and the node image list.
#include <gtest/gtest.h>

#include "IChDataModel.h"
#include "IChModelViewBar.h"
#include "NodeImageList.h"
#include "ViewsTestSupport.h"
#include "kvpresenter.h"
#include "resource.h"

#include <VDevInfo.h>

#include <valkit.h>

#include <functional>

namespace {

CIChResorce* AddResource(CIChDataModel& m, int subType, const std::wstring& name) {
    CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
    r->SetSubType(subType);
    r->SetName(name);
    r->m_Id = m.TakeNextId(NodeTypeResource);
    return r;
}

// A frame with the structure bar and a host over a model of its own.
struct TreeFixture : ::testing::Test, CBareFrameHolder<> {
    CIChDataModel model;
    CTestHost host;
    CIChModelViewBar bar;
    CIChModelView& tree = bar.m_wndTree;

    CIChRGroup* g1 = nullptr;
    CIChRGroup* g2 = nullptr;
    CIChTask* t1 = nullptr;
    CIChJob* job = nullptr;
    CIChSubject* subject = nullptr;

    void SetUp() override {
        host.m_pModel = &model;
        ASSERT_NO_FATAL_FAILURE(OpenFrame(L"views", 640, 480));
        ASSERT_TRUE(bar.CreateBar(&frame, ID_VIEW_STRUCTURE, &host));
        frame.ShowWindow(SW_SHOWNOACTIVATE);
    }
    void TearDown() override { CloseFrame(); }

    // Resources in folders of every kind, groups, a task, a job and a subject, linked upward.
    void MakeModel() {
        CIChResorce* x = AddResource(model, ResFile, L"C:\\A\\x.dll");
        AddResource(model, ResFile, L"C:\\A\\B\\y.dll");
        AddResource(model, ResFile, L"\\\\srv\\share\\d\\f.txt");
        AddResource(model, ResFile, L"\\\\?\\C:\\Long\\p.txt");
        CIChResorce* v = AddResource(model, ResRegValue, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\val");
        g1 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G1");
        g2 = AddNode<CIChRGroup>(model, NodeTypeGroup, L"G2");
        g2->m_SubType = GroupRegistry;
        t1 = AddNode<CIChTask>(model, NodeTypeTask, L"T1");
        job = AddNode<CIChJob>(model, NodeTypeJob, L"J");
        job->m_SubType = JobSecondEdition;
        subject = AddNode<CIChSubject>(model, NodeTypeSubject, L"S");
        x->LinkTo(g1);
        v->LinkTo(g2);
        g1->LinkTo(t1);
        t1->LinkTo(job);
        g2->LinkTo(job);
        job->LinkTo(subject);
    }

    HTREEITEM Find(CIChNode* n) { return tree.FindNodeItem(n, TVI_ROOT); }
};

TEST_F(TreeFixture, FiveCategoriesShowTheirTrees) {
    MakeModel();
    struct Case {
        int category;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {7100, L"Ресурсы\n"
               L"  Файлы и каталоги\n"
               L"    C:\n"
               L"      A\n"
               L"        B\n"
               L"    \\\\?\\C:\n"
               L"      Long\n"
               L"    \\\\srv\n"
               L"      share\n"
               L"        d\n"
               L"  Объекты реестра\n"
               L"    HKEY_LOCAL_MACHINE\n"
               L"      SOFTWARE\n"
               L"        K\n"
               L"  Секторы жестких дисков\n"
               L"  Конфигурация оборудования\n"},
        {7101, L"Группы ресурсов\n  G1\n  G2\n"},
        {7102, L"Задачи\n  T1\n    G1\n"},
        {7103, L"Задания\n  J\n    T1\n      G1\n    G2\n"},
        {7104, L"Субъекты управления\n  S\n    J\n      T1\n        G1\n      G2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.category);
        ASSERT_EQ(1, tree.BuildTree(&model, c.category));
        EXPECT_EQ(std::wstring(c.expected), DumpTree(tree));
        // The root is selected and current.
        EXPECT_EQ(tree.GetRootItem(), tree.GetSelectedItem());
        EXPECT_EQ(&tree.m_Root, host.m_pCurrent);
    }
    EXPECT_EQ(0, tree.BuildTree(&model, 7105));
    EXPECT_EQ(0, tree.BuildTree(nullptr, 7100));
}

TEST_F(TreeFixture, RestAfterAnAncestorFolderIsSplitFromItsFirstCharacter) {
    AddResource(model, ResFile, L"C:\\A\\x.dll");
    AddResource(model, ResFile, L"C:\\A\\B\\C\\y.dll");
    AddResource(model, ResFile, L"C:\\A\\B\\C\\z.dll");
    ASSERT_EQ(1, tree.BuildTree(&model, 7100));
    std::wstring dump = DumpTree(tree);
    EXPECT_NE(std::wstring::npos, dump.find(L"    C:\n      A\n        B\n          C\n")) << dump;
    // The path folder C is the one of both resources.
    EXPECT_EQ(std::wstring::npos, dump.find(L"B\\C"));
}

// A resource whose kind belongs to no family gets no folder (there is no family folder to hang
// it under); one path in two families gives a folder in each family, never one shared branch.
// InsertNodeItem takes a resource as done without showing it.
TEST_F(TreeFixture, ResourcesOfNoFamilyGetNoFolderAndFamiliesShareNoPath) {
    AddResource(model, ResFile, L"X\\f.dat");
    AddResource(model, ResRegKey, L"X\\Key");
    CIChResorce* odd = AddResource(model, ResFile, L"Q\\odd");
    odd->SetSubType(42);
    ASSERT_EQ(1, tree.BuildTree(&model, 7100));
    EXPECT_EQ(std::wstring(L"Ресурсы\n"
                           L"  Файлы и каталоги\n"
                           L"    X\n"
                           L"  Объекты реестра\n"
                           L"    X\n"
                           L"  Секторы жестких дисков\n"
                           L"  Конфигурация оборудования\n"),
              DumpTree(tree));
    EXPECT_EQ(1, tree.InsertNodeItem(odd, tree.GetRootItem()));
    EXPECT_EQ(0u, tree.GetItemCountOf(odd));
}

TEST_F(TreeFixture, IndexFindsEveryItemOfANodeAndFollowsDeletes) {
    MakeModel();
    g1->LinkTo(job); // G1 now also directly under the job
    ASSERT_EQ(1, tree.BuildTree(&model, 7104));
    std::vector<HTREEITEM> items;
    HTREEITEM first = tree.FindNodeItem(g1, TVI_ROOT, &items);
    ASSERT_EQ(2u, items.size());
    // The direct child of the job comes before the one under the task.
    EXPECT_EQ(tree.GetItemNode(tree.GetParentItem(first)), job);
    EXPECT_EQ(2u, tree.GetItemCountOf(g1));
    // Under the task only the task's item.
    HTREEITEM task = Find(t1);
    HTREEITEM under = tree.FindNodeItem(g1, task);
    ASSERT_NE(nullptr, under);
    EXPECT_EQ(task, tree.GetParentItem(under));

    CIChNodeList list(1, t1);
    ASSERT_EQ(1, tree.DeleteNodes(list));
    EXPECT_EQ(0u, tree.GetItemCountOf(t1));
    EXPECT_EQ(1u, tree.GetItemCountOf(g1));
    EXPECT_EQ(0, std::count(model.m_Tasks.begin(), model.m_Tasks.end(), t1));
    delete t1;
    EXPECT_EQ(L"Субъекты управления\n  S\n    J\n      G2\n      G1\n", DumpTree(tree));
}

// Home may land on another item of the node shown now: that selection records nothing, and the
// next selection of the user is recorded as usual.
TEST_F(TreeFixture, HistoryMoveToAnotherItemOfTheSameNodeLosesNoLaterSelection) {
    MakeModel();
    g1->LinkTo(job); // two items of G1: under the job and under its task
    ASSERT_EQ(1, tree.BuildTree(&model, 7103));
    std::vector<HTREEITEM> items;
    tree.FindNodeItem(g1, TVI_ROOT, &items);
    ASSERT_EQ(2u, items.size());
    HTREEITEM y = Find(t1);
    tree.SelectItem(y);
    tree.ClearHistory();
    tree.SelectItem(items[0]);
    tree.SelectItem(y);
    tree.SelectItem(items[1]);
    const int calls = host.m_nSetCurrent;
    tree.GoHome();
    EXPECT_EQ(items[0], tree.GetSelectedItem());
    EXPECT_EQ(calls, host.m_nSetCurrent) << "the same node: nothing changes";
    tree.SelectItem(y);
    EXPECT_EQ(t1, host.m_pCurrent);
    ASSERT_TRUE(tree.CanGoBack());
    tree.GoBack();
    EXPECT_EQ(items[0], tree.GetSelectedItem());
    tree.GoForward();
    EXPECT_EQ(y, tree.GetSelectedItem());
}

TEST_F(TreeFixture, HistoryBackForwardHome) {
    MakeModel();
    CIChTask* t2 = AddNode<CIChTask>(model, NodeTypeTask, L"T2");
    CIChTask* t3 = AddNode<CIChTask>(model, NodeTypeTask, L"T3");
    CIChTask* t4 = AddNode<CIChTask>(model, NodeTypeTask, L"T4");
    ASSERT_EQ(1, tree.BuildTree(&model, 7102));
    HTREEITEM a = Find(t1), b = Find(t2), c = Find(t3), d = Find(t4);
    tree.SelectItem(a);
    tree.SelectItem(b);
    tree.SelectItem(c);
    tree.GoBack();
    EXPECT_EQ(b, tree.GetSelectedItem());
    tree.GoBack();
    EXPECT_EQ(a, tree.GetSelectedItem());
    tree.GoForward();
    EXPECT_EQ(b, tree.GetSelectedItem());
    EXPECT_EQ(t2, host.m_pCurrent);
    tree.GoHome();
    // Home is the first item remembered: the root of the build.
    EXPECT_EQ(tree.GetRootItem(), tree.GetSelectedItem());
    EXPECT_FALSE(tree.CanGoBack());
    tree.GoForward();
    EXPECT_EQ(a, tree.GetSelectedItem());
    tree.GoForward();
    EXPECT_EQ(b, tree.GetSelectedItem());
    tree.GoForward();
    EXPECT_EQ(c, tree.GetSelectedItem());
    tree.GoBack();
    tree.SelectItem(d); // a new item empties the forward stack
    EXPECT_FALSE(tree.CanGoForward());
    EXPECT_TRUE(tree.CanGoBack());
}

struct DragFixture : TreeFixture {
    // Drags the item and releases it over the target (null: over empty space below the items).
    void ExpandAll(HTREEITEM h) {
        for (; h; h = tree.GetNextSiblingItem(h)) {
            tree.Expand(h, TVE_EXPAND);
            ExpandAll(tree.GetChildItem(h));
        }
    }
    void Drag(HTREEITEM item, HTREEITEM target, bool escape = false) {
        ExpandAll(tree.GetRootItem());
        // Painted, as a user sees it: the control measures the labels when it paints them.
        ::RedrawWindow(tree.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        SCOPED_TRACE(tree.GetItemText(item) + L" onto " + (target ? tree.GetItemText(target) : L"nothing"));
        tree.OnBeginDrag(item);
        ASSERT_TRUE(tree.IsDragging());
        POINT pt = {5, 400};
        if (target) {
            RECT rc;
            ASSERT_TRUE(TreeView_GetItemRect(tree.m_hWnd, target, &rc, TRUE));
            pt = {rc.left - 8, (rc.top + rc.bottom) / 2}; // on the icon left of the label
        }
        tree.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
        TVHITTESTINFO ht = {};
        ht.pt = pt;
        HTREEITEM hit = TreeView_HitTest(tree.m_hWnd, &ht);
        EXPECT_EQ(target, tree.GetDropTarget()) << pt.x << "," << pt.y << " flags " << ht.flags << " hit " << hit;
        if (escape)
            tree.SendMessage(WM_KEYDOWN, VK_ESCAPE, 0);
        else
            tree.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
        EXPECT_FALSE(tree.IsDragging());
    }
};

TEST_F(DragFixture, DroppingLinksButNeverOntoSelfParentDescendantOrEmptySpace) {
    MakeModel();
    CIChJob* j2 = AddNode<CIChJob>(model, NodeTypeJob, L"J2");
    j2->m_SubType = JobSecondEdition;
    j2->LinkTo(subject);
    ASSERT_EQ(1, tree.BuildTree(&model, 7104));
    HTREEITEM jItem = Find(job);
    HTREEITEM tItem = Find(t1);
    size_t links = t1->m_Uppers.size();
    Drag(tItem, tItem);    // self
    Drag(tItem, jItem);    // its parent
    Drag(jItem, Find(g1)); // a descendant
    Drag(tItem, nullptr);  // empty space
    EXPECT_EQ(links, t1->m_Uppers.size());
    EXPECT_EQ(0u, j2->m_Members.size());
    Drag(tItem, Find(j2), true); // Escape
    EXPECT_EQ(0u, j2->m_Members.size());

    // A task dropped on another job is linked there and keeps its first job.
    model.m_bModified = 0;
    Drag(tItem, Find(j2));
    EXPECT_EQ(2u, t1->m_Uppers.size());
    EXPECT_EQ(1, model.m_bModified);
    HTREEITEM sel = tree.GetSelectedItem();
    EXPECT_EQ(t1, tree.GetItemNode(sel));
    EXPECT_EQ(j2, tree.GetItemNode(tree.GetParentItem(sel)));
    EXPECT_EQ(2u, tree.GetItemCountOf(t1));

    // A job dropped on a task links nothing and leaves no item selected.
    Drag(Find(j2), tItem = Find(t1));
    EXPECT_EQ(1u, j2->m_Uppers.size());
    EXPECT_EQ(nullptr, tree.GetSelectedItem());
}

struct RenameFixture : TreeFixture {
    // Edits the item's label through the control, types the text and commits it.
    void Rename(HTREEITEM item, const std::wstring& text) {
        ::SetFocus(tree.m_hWnd);
        tree.SelectItem(item);
        HWND edit = TreeView_EditLabel(tree.m_hWnd, item);
        ASSERT_NE(nullptr, edit);
        EXPECT_EQ(1, host.m_bLabelEdit);
        ::SetWindowTextW(edit, text.c_str());
        TreeView_EndEditLabelNow(tree.m_hWnd, FALSE);
        EXPECT_EQ(0, host.m_bLabelEdit);
        Pump();
    }
};

TEST_F(RenameFixture, ClashesAreNumberedAndShownEverywhere) {
    MakeModel();
    CIChRGroup* x = AddNode<CIChRGroup>(model, NodeTypeGroup, L"X");
    CIChRGroup* other = AddNode<CIChRGroup>(model, NodeTypeGroup, L"X");
    other->m_SubType = GroupRegistry;
    g1->LinkTo(job);
    ASSERT_EQ(1, tree.BuildTree(&model, 7104));
    model.m_bModified = 0;
    Rename(Find(g1), L"  X \t");
    EXPECT_EQ(L"X1", g1->m_Name);
    EXPECT_EQ(1, model.m_bModified);
    std::vector<HTREEITEM> items;
    tree.FindNodeItem(g1, TVI_ROOT, &items);
    ASSERT_EQ(2u, items.size());
    for (HTREEITEM h : items)
        EXPECT_EQ(L"X1", tree.GetItemText(h));
    // X and X1 both taken: X2.
    Rename(Find(g2), L"X"); // G2 is a registry group: "X" of that SubType exists too
    EXPECT_EQ(L"X1", g2->m_Name);
    CIChRGroup* third = AddNode<CIChRGroup>(model, NodeTypeGroup, L"Z");
    third->LinkTo(t1);
    ASSERT_EQ(1, tree.BuildTree(&model, 7101));
    Rename(Find(third), L"X");
    EXPECT_EQ(L"X2", third->m_Name);
    EXPECT_EQ(L"X2", tree.GetItemText(Find(third)));
    (void)x;
}

TEST_F(RenameFixture, RefusedEditsSetNoFlagAndSpacesReopenTheEditor) {
    MakeModel();
    CIChJob* board = AddNode<CIChJob>(model, NodeTypeJob, L"Board");
    board->m_SubType = JobBoard;
    board->LinkTo(subject);
    ASSERT_EQ(1, tree.BuildTree(&model, 7104));
    for (CIChNode* n : {static_cast<CIChNode*>(subject), static_cast<CIChNode*>(board)}) {
        ::SetFocus(tree.m_hWnd);
        tree.SelectItem(Find(n));
        tree.EditLabel();
        EXPECT_EQ(0, host.m_bLabelEdit) << n->m_Name;
        EXPECT_EQ(nullptr, TreeView_GetEditControl(tree.m_hWnd));
    }
    // The root folder is not a model node.
    ::SetFocus(tree.m_hWnd);
    tree.SelectItem(tree.GetRootItem());
    tree.EditLabel();
    EXPECT_EQ(0, host.m_bLabelEdit);

    // Blanks only: the name stays and the editor opens again.
    HTREEITEM j = Find(job);
    Rename(j, L"   ");
    EXPECT_EQ(L"J", job->m_Name);
    EXPECT_NE(nullptr, TreeView_GetEditControl(tree.m_hWnd));
    TreeView_EndEditLabelNow(tree.m_hWnd, TRUE);
}

// The tree's notifications reach it by reflection from the bar (the host hears of the
// selection), and an item's menu goes through the presenter: the command chosen is posted to the
// frame, none chosen posts nothing.
TEST_F(TreeFixture, ItemMenusGoThroughThePresenterAndTheirCommandsToTheFrame) {
    MakeModel();
    ASSERT_EQ(1, tree.BuildTree(&model, 7104));
    KvTest::CScopedPresenter ps;
    HTREEITEM j = Find(job);
    ASSERT_NE(nullptr, j);
    tree.SelectItem(j);
    EXPECT_EQ(job, host.m_pCurrent);
    ps.QueueMenuCommand(ID_OBJ_PROPERTIES);
    bar.SendMessage(WM_CONTEXTMENU, (WPARAM)tree.m_hWnd, (LPARAM)-1); // from the keyboard
    MSG m = {};
    ASSERT_TRUE(::PeekMessageW(&m, frame.m_hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ((UINT)ID_OBJ_PROPERTIES, (UINT)LOWORD(m.wParam));
    EXPECT_EQ(job, tree.GetSelectedNode());
    bar.SendMessage(WM_CONTEXTMENU, (WPARAM)tree.m_hWnd, (LPARAM)-1);
    EXPECT_FALSE(::PeekMessageW(&m, frame.m_hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE));
}

TEST_F(TreeFixture, ExcludeAndAddChildNodesKeepTheTreeInStep) {
    MakeModel();
    ASSERT_EQ(1, tree.BuildTree(&model, 7103));
    HTREEITEM jItem = Find(job);
    CIChNodeList tasks(1, t1);
    ASSERT_EQ(1, tree.ExcludeChildNodes(jItem, tasks));
    EXPECT_TRUE(t1->m_Uppers.empty());
    EXPECT_EQ(L"Задания\n  J\n    G2\n", DumpTree(tree));
    ASSERT_EQ(1, tree.AddChildNodes(Find(job), tasks));
    EXPECT_EQ(L"Задания\n  J\n    G2\n    T1\n      G1\n", DumpTree(tree));
    // The rule refuses a job under a task: nothing linked, the target still refreshed.
    CIChNodeList jobs(1, job);
    EXPECT_EQ(1, tree.AddChildNodes(Find(t1), jobs));
    EXPECT_EQ(1u, job->m_Uppers.size());
    // Out of every upper node.
    tree.SelectItem(Find(t1));
    ASSERT_EQ(1, tree.ExcludeFromAllParents(tasks));
    EXPECT_TRUE(t1->m_Uppers.empty());
    EXPECT_EQ(0u, tree.GetItemCountOf(t1));
    EXPECT_EQ(job, tree.GetSelectedNode());
}

TEST_F(TreeFixture, DeleteNodesRefusesTheFixedAndTakesResourcesOutOfTheModel) {
    MakeModel();
    job->m_Removable = 0;
    ASSERT_EQ(1, tree.BuildTree(&model, 7103));
    CIChNodeList fixed(1, job);
    EXPECT_EQ(0, tree.DeleteNodes(fixed));
    EXPECT_EQ(1u, model.m_Jobs.size());

    // A group selected under the deleted task: the selection moves up, no item keeps the task.
    tree.SelectItem(tree.FindNodeItem(g1, Find(t1)));
    CIChNodeList list(1, t1);
    ASSERT_EQ(1, tree.DeleteNodes(list));
    EXPECT_EQ(job, tree.GetSelectedNode());
    EXPECT_EQ(job, host.m_pCurrent);
    // The panes were told before the caller frees the node.
    EXPECT_EQ(std::vector<CIChNode*>{t1}, host.m_forgotten);
    delete t1;

    CIChResorce* r = static_cast<CIChResorce*>(model.m_Resources.front());
    CIChNodeList res(1, r);
    ASSERT_EQ(1, tree.DeleteNodes(res));
    EXPECT_EQ(0, std::count(model.m_Resources.begin(), model.m_Resources.end(), r));
    EXPECT_EQ(r, host.m_forgotten.back());
    EXPECT_TRUE(g1->m_Members.empty());
    delete r;
}

// ---- node image list ----------------------------------------------------------------------------

// Fly-by help: the mouse on a button of the structure bar shows its prompt in the status line.
TEST_F(TreeFixture, ToolbarButtonsShowTheirPromptInTheStatusLine) {
    EXPECT_EQ((std::vector<std::wstring>{L"Добавить новый", KvUi::LoadStr(KvUi::AFX_IDS_IDLEMESSAGE)}),
              FlyByPrompts(frame, bar.m_wndToolBar, 0));
}

TEST(NodeImageList, IconsByKind) {
    CNodeImageList a, b;
    const int base = a.GetNodeImageBase();
    EXPECT_EQ(base, b.GetNodeImageBase());
    EXPECT_EQ(base + 24, a.GetImageCount());

    CIChDataModel m;
    CIChTask* empty = AddNode<CIChTask>(m, NodeTypeTask, L"t");
    CIChTask* full = AddNode<CIChTask>(m, NodeTypeTask, L"u");
    KvCmdSequence::SOneCmd cmd;
    full->m_Sequence.GetCmdList()->push_back(cmd);
    CIChResorce* exe = AddResource(m, ResRegKey, L"HKEY_CURRENT_USER\\X");
    exe->m_Executable = 1;
    CIChResorce* pci = AddResource(m, ResPciDevice, L"PCI\\A");
    CIChResorce* pciEmpty = AddResource(m, ResPciDevice, L"PCI\\B");
    pciEmpty->SetParam(L"Class GUID", _value_t(L""));
    CIChResorce* smbios = AddResource(m, ResSmbiosTable, L"SMBIOS\\T");
    smbios->SetParam(L"Table Type", _value_t(L"text"));
    CIChResorce* sector = AddResource(m, ResDiskSector, L"Disk 0\\Sector 0");
    CIChRGroup* g = AddNode<CIChRGroup>(m, NodeTypeGroup, L"g");
    g->m_SubType = GroupHardware;
    CIChJob* j = AddNode<CIChJob>(m, NodeTypeJob, L"j");
    CIChSubject* s = AddNode<CIChSubject>(m, NodeTypeSubject, L"s");
    s->m_SubType = SubjectGroup;
    CIChFolder registry(FolderResources, 1), path(FolderResources, 0), tasks(FolderTasks);
    registry.m_Description = L"REGISTRY";
    path.m_Description = L"C:\\A\\";

    struct Case {
        const CIChNode* node;
        int icon; // relative to the base; -1000 for "no image"
    } cases[] = {
        {empty, 1}, {full, 23}, {exe, 18}, {pci, 9},        {pciEmpty, -1000}, {smbios, 9}, {sector, 8},
        {g, 13},    {j, 20},    {s, 16},   {&registry, 11}, {&path, 3},        {&tasks, 3}, {nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.icon);
        EXPECT_EQ(c.icon == -1000 ? -1 : base + c.icon, a.GetNodeImage(c.node));
    }
    EXPECT_EQ(-1, a.GetDeviceClassImage(L""));

    // The device-class images come first: a display adapter shows the inventory's display image.
    EXPECT_GT(base, VDeviceInfo::ImageDisplay);
    CIChResorce* display = AddResource(m, ResPciDevice, L"PCI\\VEN_1234");
    display->SetParam(L"Class GUID", _value_t(L"{4d36e968-e325-11ce-bfc1-08002be10318}"));
    EXPECT_EQ(VDeviceInfo::ImageDisplay, a.GetNodeImage(display));
    CIChResorce* table = AddResource(m, ResSmbiosTable, L"SMBIOS\\Table 0");
    table->SetParam(L"Table Type", _value_t(0));
    EXPECT_EQ(a.GetSmbiosTableImage(0), a.GetNodeImage(table));
    EXPECT_LT(a.GetNodeImage(table), base);
}

} // namespace
