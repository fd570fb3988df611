// Deleting through the real main window: chosen objects with and without their subordinates,
// pass by pass, a shared resource kept, "Удалить все" on folders, a group chosen together with a
// task that holds it, the delete dialog. This file also runs in the executable with the poisoned
// heap, where touching a freed node crashes.
#include "ObjCmdsTestSupport.h"

#include "dlgNodes.h"
#include "objcmds_ids.h"

namespace {

using namespace ObjCmdsTest;

// A job J2 under the subject with a task T holding the groups G1 and G2; G1 holds r1 and r2,
// G2 holds r3; r2 is also in the group Keep of the default job.
struct DeleteCommands : FrameFixture {
    CLocalFiles files;
    CIChJob* j2 = nullptr;
    CIChTask* t = nullptr;
    CIChRGroup *g1 = nullptr, *g2 = nullptr, *keep = nullptr;
    CIChResorce *r1 = nullptr, *r2 = nullptr, *r3 = nullptr;

    void SetUp() override {
        FrameFixture::SetUp();
        j2 = Add<CIChJob>(NodeTypeJob, L"J2");
        j2->m_SubType = JobSecondEdition;
        t = Add<CIChTask>(NodeTypeTask, L"T");
        g1 = Add<CIChRGroup>(NodeTypeGroup, L"G1");
        g2 = Add<CIChRGroup>(NodeTypeGroup, L"G2");
        keep = Add<CIChRGroup>(NodeTypeGroup, L"Keep");
        r1 = AddFile(files.Path(L"app.exe"));
        r2 = AddFile(files.Path(L"data.txt"));
        r3 = AddFile(files.Path(L"tool.DLL"));
        j2->LinkTo(DefaultSubject());
        t->LinkTo(j2);
        g1->LinkTo(t);
        g2->LinkTo(t);
        keep->LinkTo(DefaultJob());
        r1->LinkTo(g1);
        r2->LinkTo(g1);
        r2->LinkTo(keep);
        r3->LinkTo(g2);
        Model().RebuildPathIndex();
        Category(ID_CATEGORY_RESOURCES);
        Category(ID_CATEGORY_SUBJECTS);
    }
    static std::wstring Names(const CIChNodeList& list) {
        std::wstring out;
        for (CIChNode* n : list)
            out += n->m_Name + L";";
        return out;
    }
};

TEST_F(DeleteCommands, WithoutQuestionsTheSubordinatesLeftWithoutUppersGoPassByPass) {
    // Jobs are deleted with the Delete key (their menus offer no delete).
    Select(j2);
    FocusTree();
    Send(ID_KEY_DELETE);
    EXPECT_EQ(L"Контроль целостности;", Names(Model().m_Jobs));
    EXPECT_EQ(L"", Names(Model().m_Tasks));
    EXPECT_EQ(L"Keep;", Names(Model().m_Groups));
    ASSERT_EQ(1u, Model().m_Resources.size());
    EXPECT_EQ(r2, Model().m_Resources.front()); // the shared resource stays
    ASSERT_EQ(1u, r2->m_Uppers.size());
    EXPECT_EQ(keep, r2->m_Uppers.front());
    EXPECT_EQ(1, Model().m_bModified);
    // The index keeps no freed resource: the other paths are free for new resources.
    EXPECT_EQ(nullptr, Model().FindNodeByName(NodeTypeResource, files.Path(L"app.exe"), 0));
    const std::wstring tree = TreeText();
    EXPECT_EQ(std::wstring::npos, tree.find(L"J2"));
    EXPECT_NE(std::wstring::npos, tree.find(L"      Keep\n")) << tree;
    EXPECT_EQ(std::wstring::npos, ListText().find(L"J2"));
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(DeleteCommands, TheDialogAsksAndWithoutTheBoxOnlyTheChosenGo) {
    theApp.m_nConfirmation = 4;
    Category(ID_CATEGORY_TASKS);
    Select(t);
    p.OnDialog<dlgDeleteNodes>(IDD_DELETE_NODES, [&](dlgDeleteNodes& d) {
        EXPECT_EQ(L"Удаление задачи (T)", d.GetWindowText());
        EXPECT_EQ(std::vector<std::wstring>{L"J2"}, Entries(d, IDC_DEL_UPPERS, true));
        EXPECT_EQ((std::vector<std::wstring>{L"G1", L"G2"}), Entries(d, IDC_DEL_MEMBERS, true));
        EXPECT_TRUE(Visible(d, IDC_DEL_SUBORDINATES));
        EXPECT_FALSE(Checked(d, IDC_DEL_SUBORDINATES));
        EXPECT_EQ(0, d.m_bDeleteSubordinates);
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_DELETE);
    EXPECT_EQ(L"", Names(Model().m_Tasks));
    EXPECT_EQ(L"G1;G2;Keep;", Names(Model().m_Groups));
    EXPECT_TRUE(g1->m_Uppers.empty());
    EXPECT_EQ(3u, Model().m_Resources.size());
    EXPECT_EQ(L"Задачи\n", TreeText());

    // "Нет" deletes nothing.
    Category(ID_CATEGORY_GROUPS);
    Select(g1);
    p.OnDialog<dlgDeleteNodes>(IDD_DELETE_NODES, [&](dlgDeleteNodes& d) {
        Click(d, IDCANCEL);
        EndIfOpen(d);
    });
    Send(ID_OBJ_DELETE);
    EXPECT_EQ(L"G1;G2;Keep;", Names(Model().m_Groups));

    // With the box checked the group's own resources go, the shared one stays.
    Select(g1);
    p.OnDialog<dlgDeleteNodes>(IDD_DELETE_NODES, [&](dlgDeleteNodes& d) {
        EXPECT_TRUE(Click(d, IDC_DEL_SUBORDINATES));
        EXPECT_EQ(1, d.m_bDeleteSubordinates);
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_DELETE);
    EXPECT_EQ(L"G2;Keep;", Names(Model().m_Groups));
    EXPECT_EQ(2u, Model().m_Resources.size());
    EXPECT_EQ(nullptr, Model().FindNodeByName(NodeTypeResource, files.Path(L"app.exe"), 0));
    EXPECT_EQ(L"Группы ресурсов\n  G2\n  Keep\n", TreeText());
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(DeleteCommands, AGroupChosenWithATaskThatHoldsItIsFreedOnce) {
    // G1 lies directly under J2 too: chosen from J2's list together with T, it is also one of
    // T's subordinates.
    g1->LinkTo(j2);
    Category(ID_CATEGORY_JOBS);
    Select(j2);
    SelectRows({t, g1});
    Send(ID_OBJ_DELETE + 1);
    EXPECT_EQ(L"", Names(Model().m_Tasks));
    EXPECT_EQ(L"Keep;", Names(Model().m_Groups));
    EXPECT_EQ(1u, Model().m_Resources.size());
    EXPECT_TRUE(j2->m_Members.empty());
    EXPECT_EQ(L"", ListText());
    FocusTree();
    Pump();
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(DeleteCommands, DeleteAllOnAFolderLeavesTheDefaultJob) {
    CIChJob* j3 = Add<CIChJob>(NodeTypeJob, L"J3");
    j3->m_SubType = JobSecondEdition;
    Category(ID_CATEGORY_JOBS);
    SelectRoot();
    EXPECT_EQ(3, ActiveList() ? ActiveList()->GetRowCount() : 0);
    FocusTree();
    Send(ID_KEY_DELETE);
    EXPECT_EQ(L"Контроль целостности;", Names(Model().m_Jobs));
    EXPECT_EQ(L"Keep;", Names(Model().m_Groups)); // its job stays, so does the group
    EXPECT_EQ(1u, Model().m_Resources.size());
    EXPECT_EQ(L"Контроль целостности\n", ListText());

    // The files folder of the resource tree: every file resource goes.
    Category(ID_CATEGORY_RESOURCES);
    Select(&Tree().m_Families[0]);
    Send(ID_OBJ_DELETE);
    EXPECT_TRUE(Model().m_Resources.empty());
    EXPECT_TRUE(keep->m_Members.empty());
    EXPECT_EQ(std::wstring::npos, TreeText().find(L"objcmds_files"));
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST(DeleteDialog, TitlesNameTheKindInNumber) {
    CIChTask task;
    task.SetName(L"T");
    CIChResorce a, b, c;
    CIChRGroup g;
    g.SetName(L"G");
    struct Case {
        CIChNodeList nodes;
        const wchar_t* title;
    } cases[] = {
        {{&task}, L"Удаление задачи (T)"},
        {{&a, &b, &c}, L"Удаление выбранных ресурсов"},
        {{&g}, L"Удаление группы (G)"},
        {{&g, &task}, L"Удаление выбранных групп"},
    };
    for (const Case& c_ : cases)
        EXPECT_EQ(c_.title, dlgDeleteNodes::MakeTitle(c_.nodes));
}

TEST_F(DeleteCommands, AGroupWithoutMembersShowsNoSubordinatesAndResourcesNoBox) {
    theApp.m_nConfirmation = 4;
    CIChRGroup* empty = Add<CIChRGroup>(NodeTypeGroup, L"Empty");
    Category(ID_CATEGORY_GROUPS);
    Select(empty);
    p.OnDialog<dlgDeleteNodes>(IDD_DELETE_NODES, [&](dlgDeleteNodes& d) {
        EXPECT_EQ(std::vector<std::wstring>{L"нет объектов нижнего подчинения"}, Entries(d, IDC_DEL_MEMBERS, true));
        EXPECT_FALSE(Enabled(d, IDC_DEL_MEMBERS));
        EXPECT_FALSE(Enabled(d, IDC_DEL_SUBORDINATES));
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_DELETE);
    Select(g1);
    SelectRows({r1, r2});
    p.OnDialog<dlgDeleteNodes>(IDD_DELETE_NODES, [&](dlgDeleteNodes& d) {
        EXPECT_EQ(L"Удаление выбранных ресурсов", d.GetWindowText());
        EXPECT_FALSE(Visible(d, IDC_DEL_SUBORDINATES));
        EXPECT_EQ((std::vector<std::wstring>{L"G1", L"Keep"}), Entries(d, IDC_DEL_UPPERS, true));
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_DELETE + 1);
    EXPECT_EQ(1u, Model().m_Resources.size());
    EXPECT_TRUE(g1->m_Members.empty());
    EXPECT_TRUE(keep->m_Members.empty());
    EXPECT_EQ(L"", ListText());
}

} // namespace
