// The object commands through the real main window: resources, groups, tasks and jobs created,
// linked, edited, excluded and renamed with their dialogs scripted through the presenter, each
// step checked in the model, the tree, the list and after a save and reload through the store.
#include "ObjCmdsTestSupport.h"

#include "dlgGroupTask.h"
#include "dlgJobSubject.h"
#include "dlgNodes.h"
#include "dlgResource.h"
#include "ListDialogs.h"
#include "ListViewers.h"
#include "objcmds_ids.h"

#include <functional>

CDaVIdevaRezApp theApp;

namespace {

using namespace ObjCmdsTest;

struct ObjectCommands : FrameFixture {
    CLocalFiles files;
    CRegistryFixture registry;

    // Scripts the resource dialog of a create command: the kind, the typed path, OK.
    void ScriptCreateResource(const std::wstring& kind, const std::wstring& path,
                              std::vector<std::wstring>* kinds = nullptr) {
        p.OnDialog<dlgResource>(IDD_RESOURCE, [=](dlgResource& d) {
            EXPECT_EQ(L"Создание ресурса", d.GetWindowText());
            if (kinds)
                *kinds = Entries(d, IDC_RES_KIND);
            EXPECT_TRUE(Choose(d, IDC_RES_KIND, kind));
            Type(d, IDC_RES_PATH, path);
            EXPECT_TRUE(Click(d, IDOK)) << "OK disabled for " << std::string(path.begin(), path.end());
            EndIfOpen(d);
        });
    }
    // Scripts the group and task dialog of a create command.
    void ScriptCreateGroupTask(const std::wstring& name, const std::wstring& kind = L"") {
        p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [=](dlgGroupTask& d) {
            EXPECT_TRUE(Enabled(d, IDOK));
            if (d.IsGroup()) {
                EXPECT_EQ(L"Создание группы ресурсов", d.GetWindowText());
                EXPECT_EQ(L"Новая группа ресурсов", d.GetDlgItemText(IDC_GT_NAME));
                EXPECT_TRUE(Visible(d, IDC_GT_KIND));
            } else {
                EXPECT_EQ(L"Создание задачи", d.GetWindowText());
                EXPECT_EQ(L"Новая задача", d.GetDlgItemText(IDC_GT_NAME));
                EXPECT_FALSE(Visible(d, IDC_GT_KIND));
            }
            Type(d, IDC_GT_NAME, L"");
            EXPECT_FALSE(Enabled(d, IDOK));
            Type(d, IDC_GT_NAME, name);
            if (!kind.empty()) {
                EXPECT_TRUE(Choose(d, IDC_GT_KIND, kind));
            }
            EXPECT_TRUE(Click(d, IDOK));
            EndIfOpen(d);
        });
    }
    // Scripts the add dialog: the rows offered (names in row order) and the nodes chosen.
    void ScriptAdd(std::vector<std::wstring>* offered, std::vector<CIChNode*> chosen, int* columns = nullptr) {
        p.OnDialog<dlgAddNodes>(IDD_ADD_NODES, [=](dlgAddNodes& d) {
            CAddNodesList& list = d.GetList();
            if (columns)
                *columns = list.GetColumnCount();
            for (int i = 0; i < list.GetItemCount(); ++i) {
                offered->push_back(list.GetItemText(i, 0));
                CIChNode* n = reinterpret_cast<CIChNode*>(list.GetItemData(i));
                if (std::find(chosen.begin(), chosen.end(), n) != chosen.end())
                    list.SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
            }
            EXPECT_EQ(!chosen.empty(), Enabled(d, IDOK));
            Click(d, IDOK);
            EndIfOpen(d);
        });
    }
    CIChNode* Find(int type, const std::wstring& name) {
        for (CIChNode* n : *Model().GetNodeList(type))
            if (n->m_Name == name)
                return n;
        return nullptr;
    }
    CIChResorce* Resource(const std::wstring& name) {
        CIChNode* n = Find(NodeTypeResource, name);
        return n ? static_cast<CIChResorce*>(n) : nullptr;
    }
};

TEST_F(ObjectCommands, ResourcesGroupsTaskAndJobAreCreatedLinkedEditedAndSurviveTheStore) {
    // Files and registry objects, each created in its family folder of the resource tree.
    Category(ID_CATEGORY_RESOURCES);
    std::vector<std::wstring> kinds;
    Select(&Tree().m_Families[0]);
    ScriptCreateResource(L"Файл", files.Path(L"app.exe"), &kinds);
    Send(ID_OBJ_ADD_NEW);
    EXPECT_EQ(std::vector<std::wstring>{L"Файл"}, kinds);
    Select(&Tree().m_Families[0]);
    ScriptCreateResource(L"Файл", files.Path(L"data.txt"));
    Send(ID_OBJ_ADD_NEW);
    Select(&Tree().m_Families[1]);
    ScriptCreateResource(L"Переменная реестра", registry.DefaultValue(), &kinds);
    Send(ID_OBJ_ADD_NEW);
    EXPECT_EQ((std::vector<std::wstring>{L"Переменная реестра", L"Ключ реестра"}), kinds);
    Select(&Tree().m_Families[1]);
    ScriptCreateResource(L"Переменная реестра", registry.SlashValue());
    Send(ID_OBJ_ADD_NEW);
    Select(&Tree().m_Families[1]);
    ScriptCreateResource(L"Ключ реестра", registry.SubKey());
    Send(ID_OBJ_ADD_NEW);
    ASSERT_EQ(5u, Model().m_Resources.size());
    CIChResorce* exe = Resource(files.Path(L"app.exe"));
    CIChResorce* txt = Resource(files.Path(L"data.txt"));
    ASSERT_TRUE(exe && txt);
    EXPECT_EQ(1, exe->m_Executable); // marked by its extension
    EXPECT_EQ(0, txt->m_Executable);
    EXPECT_EQ(1, exe->m_Controlled);
    CIChResorce* def = Resource(registry.DefaultValue());
    CIChResorce* slash = Resource(registry.SlashValue());
    CIChResorce* key = Resource(registry.SubKey());
    ASSERT_TRUE(def && slash && key);
    EXPECT_EQ(ResRegValue, def->m_SubType);
    EXPECT_EQ(ResRegValue, slash->m_SubType);
    EXPECT_EQ(ResRegKey, key->m_SubType);
    EXPECT_EQ(1, Model().m_bModified);
    // The resource tree was built again with them: the folder of the files and the registry key.
    const std::wstring resourceTree = TreeText();
    EXPECT_NE(std::wstring::npos, resourceTree.find(L"Файлы и каталоги")) << resourceTree;
    EXPECT_NE(std::wstring::npos, resourceTree.find(L"objcmds_files")) << resourceTree;
    EXPECT_NE(std::wstring::npos, resourceTree.find(L"KvObjCmdsTests")) << resourceTree;

    // Two groups in the groups folder.
    Category(ID_CATEGORY_GROUPS);
    SelectRoot();
    ScriptCreateGroupTask(L"Files", L"Файлы");
    Send(ID_OBJ_ADD_NEW);
    SelectRoot();
    ScriptCreateGroupTask(L"Reg", L"Объекты реестра");
    Send(ID_OBJ_ADD_NEW);
    CIChNode* filesGroup = Find(NodeTypeGroup, L"Files");
    CIChNode* regGroup = Find(NodeTypeGroup, L"Reg");
    ASSERT_TRUE(filesGroup && regGroup);
    EXPECT_EQ(GroupRegistry, GetNodeSubType(regGroup));
    EXPECT_EQ(L"Группы ресурсов\n  Files\n  Reg\n", TreeText());

    // The resources into their groups: a group of files is offered the files with their paths.
    std::vector<std::wstring> offered;
    int columns = 0;
    Select(filesGroup);
    ScriptAdd(&offered, {exe, txt}, &columns);
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(3, columns);
    EXPECT_EQ(2u, offered.size());
    EXPECT_EQ(2u, filesGroup->m_Members.size());
    offered.clear();
    Select(regGroup);
    ScriptAdd(&offered, {def, slash, key});
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(3u, offered.size());
    EXPECT_EQ(3u, regGroup->m_Members.size());
    // The group's list shows its resources.
    Select(filesGroup);
    const std::wstring rows = ListText();
    EXPECT_NE(std::wstring::npos, rows.find(exe->m_Name + L"\n")) << rows;
    EXPECT_NE(std::wstring::npos, rows.find(txt->m_Name + L"\n")) << rows;

    // A task with both groups, the task into the default job.
    Category(ID_CATEGORY_TASKS);
    SelectRoot();
    ScriptCreateGroupTask(L"Task");
    Send(ID_OBJ_ADD_NEW);
    CIChNode* task = Find(NodeTypeTask, L"Task");
    ASSERT_TRUE(task);
    offered.clear();
    Select(task);
    ScriptAdd(&offered, {filesGroup, regGroup});
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(2u, task->m_Members.size());
    Category(ID_CATEGORY_JOBS);
    offered.clear();
    Select(DefaultJob());
    ScriptAdd(&offered, {task});
    Send(ID_OBJ_ADD_EXISTING);
    // A job is offered its tasks, then the groups.
    EXPECT_EQ((std::vector<std::wstring>{L"Task", L"Files", L"Reg"}), offered);
    Category(ID_CATEGORY_SUBJECTS);
    const std::wstring subjects = TreeText();
    EXPECT_NE(std::wstring::npos, subjects.find(L"      Task\n        Files\n        Reg\n")) << subjects;

    // Edit: a resource's marks through its dialog from the group's list. The user's own
    // executable mark of an .exe stays as it is when the dialog opens.
    exe->m_Executable = 0;
    Select(filesGroup);
    SelectRows({exe});
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        EXPECT_EQ(L"Свойства ресурса", d.GetWindowText());
        EXPECT_FALSE(d.IsCreateMode());
        EXPECT_FALSE(Enabled(d, IDC_RES_KIND));
        EXPECT_FALSE(Enabled(d, IDC_RES_BROWSE));
        EXPECT_TRUE(ReadOnly(d, IDC_RES_PATH));
        EXPECT_EQ(exe->m_Name, d.GetDlgItemText(IDC_RES_PATH));
        EXPECT_FALSE(Checked(d, IDC_RES_EXECUTABLE));
        EXPECT_FALSE(Enabled(d, IDOK));
        EXPECT_TRUE(Click(d, IDC_RES_CONTROLLED));
        EXPECT_TRUE(Enabled(d, IDOK));
        EXPECT_TRUE(Click(d, IDOK));
        EndIfOpen(d);
    });
    Model().m_bModified = 0;
    Send(ID_OBJ_PROPERTIES + 1);
    EXPECT_EQ(0, exe->m_Controlled);
    EXPECT_EQ(0, exe->m_Executable);
    EXPECT_EQ(exe->m_Name, files.Path(L"app.exe"));
    EXPECT_EQ(1, Model().m_bModified);

    // Edit: a registry value keeps its kind; the group's kind cannot change while it has members.
    Select(regGroup);
    SelectRows({slash});
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        EXPECT_EQ(ResRegValue, d.GetKind());
        EXPECT_EQ(std::vector<std::wstring>({L"Переменная реестра", L"Ключ реестра"}), Entries(d, IDC_RES_KIND));
        Click(d, IDC_RES_CONTROLLED);
        Click(d, IDC_RES_CONTROLLED);
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_PROPERTIES + 1);
    EXPECT_EQ(ResRegValue, slash->m_SubType);
    EXPECT_EQ(1, slash->m_Controlled);
    FocusTree();
    Select(regGroup);
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        EXPECT_EQ(L"Свойства группы ресурсов", d.GetWindowText());
        EXPECT_FALSE(Enabled(d, IDC_GT_KIND));
        Type(d, IDC_GT_NAME, L"Registry");
        Type(d, IDC_GT_DESCRIPTION, L"Ключ и значения");
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(L"Registry", regGroup->m_Name);
    EXPECT_EQ(L"Ключ и значения", regGroup->m_Description);
    EXPECT_EQ(GroupRegistry, GetNodeSubType(regGroup));

    // Edit: the task and the job.
    Select(task);
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        EXPECT_EQ(L"Свойства задачи", d.GetWindowText());
        Type(d, IDC_GT_DESCRIPTION, L"Описание задачи");
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(L"Описание задачи", task->m_Description);
    CIChJob* job = static_cast<CIChJob*>(DefaultJob());
    job->m_IsHostBased = 1;
    Select(job);
    p.OnDialog<dlgJobCPA>(IDD_JOB_CPA, [&](dlgJobCPA& d) {
        EXPECT_EQ(L"Свойства задания на ЗПС", d.GetWindowText());
        EXPECT_TRUE(Checked(d, IDC_JOB_HOST_BASED));
        EXPECT_FALSE(Visible(d, IDC_JOB_HOST_BASED));
        Type(d, IDC_JOB_NAME, L"");
        EXPECT_FALSE(Enabled(d, IDOK));
        Type(d, IDC_JOB_NAME, L"Контроль");
        Type(d, IDC_JOB_DESCRIPTION, L"Задание");
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(L"Контроль", job->m_Name);
    EXPECT_EQ(L"Задание", job->m_Description);
    EXPECT_EQ(1, job->m_IsHostBased);
    wchar_t menuText[64] = {};
    ::GetMenuStringW(frame->m_hMenu, 3, menuText, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"Контроль", menuText); // the current node shown again under its new name

    // The subject sheet shows this computer's subject; its OK stamps the subject and marks the model.
    Category(ID_CATEGORY_SUBJECTS);
    Select(DefaultSubject());
    const std::wstring name = DefaultSubject()->m_Name;
    DefaultSubject()->m_ModifyTime = FILETIME{};
    Model().m_bModified = 0;
    p.OnDialog<ppSubjGeneral>(IDD_SUBJ_GENERAL, [&](ppSubjGeneral& page) {
        HWND sheet = ::GetParent(page.m_hWnd);
        EXPECT_TRUE((::GetWindowLongW(::GetDlgItem(sheet, IDOK), GWL_STYLE) & WS_VISIBLE));
        EXPECT_EQ(DefaultSubject()->m_Name, page.GetDlgItemText(IDC_SUBJ_NAME));
        EXPECT_EQ(L"Компьютер", Entries(page, IDC_SUBJ_KIND)[0]);
        page.GetSheet()->PressButton(PSBTN_OK);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(name, DefaultSubject()->m_Name);
    EXPECT_NE(0u, DefaultSubject()->m_ModifyTime.dwHighDateTime);
    EXPECT_EQ(1, Model().m_bModified);

    // Everything is in the store as it is in the window.
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(ObjectCommands, RenamingKeepsNamesUniqueWithinTheGroupKindAndAmongAllTasks) {
    CIChRGroup* name = Add<CIChRGroup>(NodeTypeGroup, L"Name");
    CIChRGroup* name1 = Add<CIChRGroup>(NodeTypeGroup, L"Name1");
    CIChRGroup* other = Add<CIChRGroup>(NodeTypeGroup, L"Other");
    CIChRGroup* reg = Add<CIChRGroup>(NodeTypeGroup, L"Reg");
    reg->m_SubType = GroupRegistry;
    CIChTask* t1 = Add<CIChTask>(NodeTypeTask, L"Task");
    CIChTask* t2 = Add<CIChTask>(NodeTypeTask, L"Second");
    (void)name;
    (void)name1;
    Category(ID_CATEGORY_GROUPS);
    struct Case {
        CIChNode* node;
        const wchar_t* typed;
        const wchar_t* expected;
    } cases[] = {
        {other, L"Name", L"Name2"},  // "Name" and "Name1" are taken
        {reg, L"Name", L"Name"},     // a group of another kind does not count
        {other, L"Other", L"Other"}, // its own name is free
        {t2, L"task", L"task1"},     // tasks: compared without regard to case
    };
    for (const Case& c : cases) {
        if (c.node->GetType() == NodeTypeTask)
            Category(ID_CATEGORY_TASKS);
        Select(c.node);
        p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
            Type(d, IDC_GT_NAME, c.typed);
            Click(d, IDOK);
            EndIfOpen(d);
        });
        Send(ID_OBJ_PROPERTIES);
        EXPECT_EQ(c.expected, c.node->m_Name) << std::wstring(c.typed).size();
        // The tree shows the new name.
        EXPECT_NE(std::wstring::npos, TreeText().find(L"  " + c.node->m_Name + L"\n"));
    }
    EXPECT_EQ(L"Task", t1->m_Name);
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(ObjectCommands, ReadOnlyGroupAndBoardJobChangeNothingAndEnterCloses) {
    CIChRGroup* group = Add<CIChRGroup>(NodeTypeGroup, L"Locked");
    group->m_Id = -5;
    Category(ID_CATEGORY_GROUPS);
    Select(group);
    Model().m_bModified = 0;
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        EXPECT_TRUE(d.IsReadOnly());
        EXPECT_FALSE(Visible(d, IDOK));
        EXPECT_FALSE(Enabled(d, IDOK));
        EXPECT_FALSE(Enabled(d, IDC_GT_KIND));
        EXPECT_TRUE(ReadOnly(d, IDC_GT_NAME));
        EXPECT_EQ(L"Закрыть", d.GetDlgItemText(IDCANCEL));
        // Enter: the dialog's default command is the close button.
        EXPECT_EQ(IDCANCEL, LOWORD(::SendMessageW(d.m_hWnd, DM_GETDEFID, 0, 0)));
        d.SendMessage(WM_COMMAND, IDOK); // what Enter does in an edit of the dialog
        EndIfOpen(d);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(L"Locked", group->m_Name);
    EXPECT_EQ(0, Model().m_bModified);

    // A board job shows its name and description read-only with OK and Cancel; OK keeps them
    // and the host-based flag that the dialog neither loads nor shows.
    CIChJob* board = Add<CIChJob>(NodeTypeJob, L"Board");
    board->m_SubType = JobBoard;
    board->m_Description = L"Board job";
    board->m_IsHostBased = 1;
    board->LinkTo(DefaultSubject());
    Category(ID_CATEGORY_JOBS);
    Select(board);
    p.OnDialog<dlgJobCPA>(IDD_JOB_CPA, [&](dlgJobCPA& d) {
        EXPECT_EQ(L"Свойства задания на КЦ для ПАК \"Varno\"", d.GetWindowText());
        EXPECT_TRUE(ReadOnly(d, IDC_JOB_NAME));
        EXPECT_TRUE(ReadOnly(d, IDC_JOB_DESCRIPTION));
        EXPECT_TRUE(Visible(d, IDOK));
        EXPECT_TRUE(Enabled(d, IDOK));
        EXPECT_EQ(L"Отмена", d.GetDlgItemText(IDCANCEL));
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(L"Board", board->m_Name);
    EXPECT_EQ(L"Board job", board->m_Description);
    EXPECT_EQ(1, board->m_IsHostBased);

    // A job with a negative ID is only shown: OK hidden, Cancel "Закрыть", Enter closes.
    for (int subType : {JobBoard, JobSecondEdition}) {
        CIChJob* locked = Add<CIChJob>(NodeTypeJob, L"LockedJob" + std::to_wstring(subType));
        locked->m_SubType = subType;
        locked->m_Id = -9 - subType;
        locked->LinkTo(DefaultSubject());
        Category(ID_CATEGORY_JOBS);
        Select(locked);
        Model().m_bModified = 0;
        p.OnDialog<dlgJobCPA>(IDD_JOB_CPA, [&](dlgJobCPA& d) {
            EXPECT_TRUE(ReadOnly(d, IDC_JOB_NAME));
            EXPECT_TRUE(ReadOnly(d, IDC_JOB_DESCRIPTION));
            EXPECT_FALSE(Visible(d, IDOK));
            EXPECT_EQ(L"Закрыть", d.GetDlgItemText(IDCANCEL));
            d.SendMessage(WM_COMMAND, IDOK);
            EndIfOpen(d);
        });
        Send(ID_OBJ_PROPERTIES);
        EXPECT_EQ(L"LockedJob" + std::to_wstring(subType), locked->m_Name);
        EXPECT_EQ(0, Model().m_bModified);
    }

    // A user subject shows only "Закрыть".
    CIChSubject* user = Add<CIChSubject>(NodeTypeSubject, L"User");
    user->m_SubType = SubjectUser;
    Category(ID_CATEGORY_SUBJECTS);
    Select(user);
    bool okVisible = true;
    p.OnDialog<ppSubjGeneral>(IDD_SUBJ_GENERAL, [&](ppSubjGeneral& page) {
        HWND sheet = ::GetParent(page.m_hWnd);
        okVisible = (::GetWindowLongW(::GetDlgItem(sheet, IDOK), GWL_STYLE) & WS_VISIBLE) != FALSE;
        wchar_t text[32] = {};
        ::GetDlgItemTextW(sheet, IDCANCEL, text, 32);
        EXPECT_STREQ(L"Закрыть", text);
        page.GetSheet()->PressButton(PSBTN_CANCEL);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_FALSE(okVisible);
}

TEST_F(ObjectCommands, ResourceDialogTakesOnlyPathsItCanControl) {
    CIChResorce* present = AddFile(files.Path(L"other.exe"));
    Model().RebuildPathIndex();
    struct Case {
        const wchar_t* kind;
        std::wstring typed;
        bool ok;
        bool executable;
        std::wstring path; // the path as the dialog keeps it
    } cases[] = {
        {L"Файл", files.Path(L"app.exe"), true, true, files.Path(L"app.exe")},
        {L"Файл", files.Path(L"tool.DLL"), true, true, files.Path(L"tool.DLL")}, // extension in capitals
        {L"Файл", files.Path(L"data.txt"), true, false, files.Path(L"data.txt")},
        {L"Файл", files.Path(L"data.txt") + L"\\\\", true, false, files.Path(L"data.txt")}, // trailing backslashes
        {L"Файл", files.Path(L"sub"), false, false, files.Path(L"sub")},                    // a directory
        {L"Файл", files.Path(L"missing.exe"), false, true, files.Path(L"missing.exe")},
        {L"Файл", L"", false, false, L""},
        {L"Переменная реестра", registry.DefaultValue(), true, false, registry.DefaultValue()},
        {L"Переменная реестра", registry.SubKey(), false, false, registry.SubKey()}, // names a key
        {L"Ключ реестра", registry.SubKey(), true, false, registry.SubKey()},
        {L"Ключ реестра", registry.key + L"\\Missing", false, false, registry.key + L"\\Missing"},
    };
    Category(ID_CATEGORY_RESOURCES);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed.begin(), c.typed.end()));
        Select(&Tree().m_Families[0]);
        SelectRoot(); // the root folder offers every kind
        p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
            EXPECT_EQ(15, d.GetKindMask());
            EXPECT_TRUE(Choose(d, IDC_RES_KIND, c.kind));
            Type(d, IDC_RES_PATH, c.typed);
            EXPECT_EQ(c.path, d.GetPath());
            EXPECT_EQ(c.ok, Enabled(d, IDOK));
            EXPECT_EQ(c.executable, Checked(d, IDC_RES_EXECUTABLE));
            // A check box click validates again and changes nothing about it.
            Click(d, IDC_RES_CONTROLLED);
            EXPECT_EQ(c.ok, Enabled(d, IDOK));
            d.EndDialog(IDCANCEL);
        });
        Send(ID_OBJ_ADD_NEW);
    }
    EXPECT_EQ(1u, Model().m_Resources.size());

    // A file outside the local hard disks (the drive counts as removable now) is refused.
    SetLocalHardDiskAnswer([](wchar_t) { return 0; });
    SelectRoot();
    bool okFromRemovable = true;
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        Type(d, IDC_RES_PATH, files.Path(L"app.exe"));
        okFromRemovable = Enabled(d, IDOK);
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_NEW);
    EXPECT_FALSE(okFromRemovable);
    SetLocalHardDiskAnswer([](wchar_t d) { return d == L'C' ? 1 : 0; });

    // The path of a resource of the model in another case: refused with the message, the dialog
    // stays open; the model is unchanged.
    std::wstring upper = files.Path(L"OTHER.EXE");
    SelectRoot();
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        Type(d, IDC_RES_PATH, upper);
        EXPECT_TRUE(Click(d, IDOK));
        EXPECT_FALSE(d.IsEnded());
        EndIfOpen(d);
    });
    Send(ID_OBJ_ADD_NEW);
    ASSERT_EQ(1u, p.Boxes().size());
    EXPECT_EQ(L"Такой ресурс уже присутствует в модели, выберите другой ресурс", p.Boxes()[0].text);
    EXPECT_EQ(1u, Model().m_Resources.size());
    EXPECT_EQ(present, Model().m_Resources.front());

    // With the marking by extension off the box keeps what the user set.
    theApp.m_bExeByExten = 0;
    SelectRoot();
    bool executable = true;
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        Type(d, IDC_RES_PATH, files.Path(L"app.exe"));
        executable = Checked(d, IDC_RES_EXECUTABLE);
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_NEW);
    EXPECT_FALSE(executable);
}

TEST_F(ObjectCommands, NewResourceTaskAndGroupUnderANode) {
    CIChRGroup* reg = Add<CIChRGroup>(NodeTypeGroup, L"Reg");
    reg->m_SubType = GroupRegistry;
    CIChRGroup* files_ = Add<CIChRGroup>(NodeTypeGroup, L"Files");
    CIChResorce* existing = AddFile(files.Path(L"app.exe"));
    Category(ID_CATEGORY_GROUPS);

    // In a registry group the resource starts as a registry value.
    Select(reg);
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        EXPECT_EQ(2, d.GetKindMask());
        EXPECT_EQ(ResRegValue, d.GetKind());
        Type(d, IDC_RES_PATH, registry.SlashValue());
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_NEW_RESOURCE);
    ASSERT_EQ(1u, reg->m_Members.size());
    EXPECT_EQ(ResRegValue, static_cast<CIChResorce*>(reg->m_Members.front())->m_SubType);
    EXPECT_EQ(registry.SlashValue() + L"\n", ListText());

    // A cancelled dialog leaves the model as it was.
    Select(files_);
    p.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) { d.EndDialog(IDCANCEL); });
    const size_t count = Model().m_Resources.size();
    Send(ID_OBJ_NEW_RESOURCE);
    EXPECT_EQ(count, Model().m_Resources.size());
    EXPECT_TRUE(files_->m_Members.empty());
    (void)existing;

    // A task and a group under the default job.
    Category(ID_CATEGORY_JOBS);
    Select(DefaultJob());
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_NEW_TASK);
    Select(DefaultJob());
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        Click(d, IDOK);
        EndIfOpen(d);
    });
    Send(ID_OBJ_NEW_GROUP);
    CIChNode* job = DefaultJob();
    std::vector<std::wstring> members;
    for (CIChNode* m : job->m_Members)
        members.push_back(m->m_Name);
    EXPECT_EQ((std::vector<std::wstring>{L"Новая задача", L"Новая группа ресурсов"}), members);
    const std::wstring tree = TreeText();
    EXPECT_NE(std::wstring::npos, tree.find(L"    Новая задача\n    Новая группа ресурсов\n")) << tree;
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(ObjectCommands, ExcludeFromTheParentAndFromAllParentsAsksFirst) {
    CIChRGroup* g = Add<CIChRGroup>(NodeTypeGroup, L"G");
    CIChTask* t = Add<CIChTask>(NodeTypeTask, L"T");
    CIChResorce* r = AddFile(files.Path(L"app.exe"));
    r->LinkTo(g);
    g->LinkTo(t);
    g->LinkTo(DefaultJob());
    t->LinkTo(DefaultJob());
    theApp.m_nConfirmation = 2;

    // A top-level object of its category has no parent to leave.
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    Send(ID_OBJ_EXCLUDE);
    EXPECT_EQ(2u, g->m_Uppers.size());
    EXPECT_TRUE(p.Boxes().empty());

    // Deeper in the tasks category it can; "No" keeps it.
    Category(ID_CATEGORY_TASKS);
    Select(g);
    p.QueueAnswer(IDNO);
    Send(ID_OBJ_EXCLUDE);
    EXPECT_EQ(2u, g->m_Uppers.size());
    p.QueueAnswer(IDYES);
    Send(ID_OBJ_EXCLUDE);
    ASSERT_EQ(1u, g->m_Uppers.size());
    EXPECT_EQ(DefaultJob(), g->m_Uppers.front());
    EXPECT_EQ(L"Задачи\n  T\n", TreeText());
    ASSERT_EQ(2u, p.Boxes().size());
    EXPECT_EQ(L"Выбранные объекты будут исключены из подчинения у старшего в иерархии. Продолжить?", p.Boxes()[1].text);

    // From all parents, from the group's list.
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    SelectRows({r});
    p.QueueAnswer(IDYES);
    Send(ID_OBJ_EXCLUDE_ALL + 1);
    EXPECT_TRUE(r->m_Uppers.empty());
    EXPECT_EQ(L"", ListText());
    EXPECT_EQ(L"Выбранные объекты будут исключены из подчинения у всех старших в иерархии объектов. Продолжить?",
              p.Boxes().back().text);
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(ObjectCommands, AddingOffersOnlyWhatTheModelHolds) {
    CIChRGroup* g = Add<CIChRGroup>(NodeTypeGroup, L"G");
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    Send(ID_OBJ_ADD_EXISTING); // no resource in the model: no dialog
    EXPECT_TRUE(p.Dialogs().empty());
    // A job without tasks is offered the groups; with no candidate left the list is empty.
    Category(ID_CATEGORY_JOBS);
    Select(DefaultJob());
    std::vector<std::wstring> offered;
    bool selectAllShown = true;
    p.OnDialog<dlgAddNodes>(IDD_ADD_NODES, [&](dlgAddNodes& d) {
        for (int i = 0; i < d.GetList().GetItemCount(); ++i)
            offered.push_back(d.GetList().GetItemText(i, 0));
        selectAllShown = Visible(d, IDC_ADD_SELECT_ALL);
        EXPECT_TRUE(Click(d, IDC_ADD_SELECT_ALL));
        EXPECT_EQ(1, d.GetList().GetSelectedCount());
        EXPECT_TRUE(Enabled(d, IDOK));
        d.GetList().SetItemState(0, 0, LVIS_SELECTED);
        EXPECT_FALSE(Checked(d, IDC_ADD_SELECT_ALL));
        EXPECT_FALSE(Enabled(d, IDOK));
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(std::vector<std::wstring>{L"G"}, offered);
    EXPECT_TRUE(selectAllShown);
    g->LinkTo(DefaultJob());
    p.OnDialog<dlgAddNodes>(IDD_ADD_NODES, [&](dlgAddNodes& d) {
        EXPECT_EQ(0, d.GetList().GetItemCount());
        EXPECT_FALSE(Visible(d, IDC_ADD_SELECT_ALL));
        EXPECT_FALSE(Enabled(d, IDOK));
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(2u, p.Dialogs().size());
}

TEST_F(ObjectCommands, AGroupOfFilesIsOfferedItsMissingFilesLeastLinkedFirstWithTheirFolders) {
    CIChRGroup* g = Add<CIChRGroup>(NodeTypeGroup, L"G");
    CIChRGroup* a = Add<CIChRGroup>(NodeTypeGroup, L"A");
    CIChRGroup* b = Add<CIChRGroup>(NodeTypeGroup, L"B");
    CIChResorce* twice = AddFile(files.Path(L"app.exe"));
    CIChResorce* none = AddFile(files.Path(L"data.txt"));
    CIChResorce* once = AddFile(files.Path(L"tool.DLL"));
    CIChResorce* member = AddFile(files.Path(L"other.exe"));
    CIChResorce* folder = Add<CIChResorce>(NodeTypeResource, L"");
    folder->SetSubType(ResDirectory);
    folder->SetName(files.Path(L"sub"));
    CIChResorce* value = Add<CIChResorce>(NodeTypeResource, L"");
    value->SetSubType(ResRegValue);
    value->SetName(registry.DefaultValue());
    twice->LinkTo(a);
    twice->LinkTo(b);
    once->LinkTo(a);
    folder->LinkTo(a);
    member->LinkTo(g);
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    std::vector<std::pair<std::wstring, std::wstring>> rows; // (uppers, path) in row order
    std::vector<std::wstring> names;
    int columns = 0;
    p.OnDialog<dlgAddNodes>(IDD_ADD_NODES, [&](dlgAddNodes& d) {
        CAddNodesList& list = d.GetList();
        columns = list.GetColumnCount();
        for (int i = 0; i < list.GetItemCount(); ++i) {
            names.push_back(list.GetItemText(i, 0));
            rows.emplace_back(list.GetItemText(i, 1), list.GetItemText(i, 2));
        }
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(3, columns);
    ASSERT_EQ(4u, rows.size()); // no registry value, not the group's own member
    EXPECT_EQ(none->m_Name, names[0]);
    EXPECT_EQ(L"0", rows[0].first);
    EXPECT_EQ(L"1", rows[1].first);
    EXPECT_EQ(L"1", rows[2].first);
    EXPECT_EQ(twice->m_Name, names[3]);
    EXPECT_EQ(L"2", rows[3].first);
    EXPECT_EQ(files.dir + L"\\", rows[0].second);
    EXPECT_TRUE(std::find(names.begin(), names.end(), folder->m_Name) != names.end());
    // Nothing chosen, nothing linked.
    EXPECT_EQ(1u, g->m_Members.size());

    // A task is offered groups only; without a path column.
    CIChTask* t = Add<CIChTask>(NodeTypeTask, L"T");
    Category(ID_CATEGORY_TASKS);
    Select(t);
    names.clear();
    p.OnDialog<dlgAddNodes>(IDD_ADD_NODES, [&](dlgAddNodes& d) {
        columns = d.GetList().GetColumnCount();
        for (int i = 0; i < d.GetList().GetItemCount(); ++i)
            names.push_back(d.GetList().GetItemText(i, 0));
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_EXISTING);
    EXPECT_EQ(2, columns);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::wstring>{L"A", L"B", L"G"}), names);
}

// A control's rectangle in its dialog's client coordinates.
RECT ControlRect(KvUi::CWnd& dlg, int id) {
    RECT rc = {};
    ::GetWindowRect(dlg.GetDlgItem(id), &rc);
    ::MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}
bool Within(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(ObjectCommands, DialogsThatGrowKeepTheirControlsInPlace) {
    CIChRGroup* g = Add<CIChRGroup>(NodeTypeGroup, L"G");
    CIChTask* t = Add<CIChTask>(NodeTypeTask, L"T");
    AddFile(files.Path(L"app.exe"));
    // A group's dialog grows for its kind list, which lies in the grown frame above the buttons.
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    RECT groupClient = {}, taskClient = {};
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        d.GetClientRect(&groupClient);
        RECT frameRc = ControlRect(d, IDC_GT_FRAME), kind = ControlRect(d, IDC_GT_KIND), ok = ControlRect(d, IDOK);
        EXPECT_TRUE(Within(kind, frameRc));
        EXPECT_TRUE(Within(ControlRect(d, IDC_GT_KIND_LABEL), frameRc));
        EXPECT_LE(frameRc.bottom, ok.top);
        EXPECT_TRUE(Within(ok, groupClient));
        EXPECT_TRUE(Within(ControlRect(d, IDCANCEL), groupClient));
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_PROPERTIES);
    Category(ID_CATEGORY_TASKS);
    Select(t);
    p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) {
        d.GetClientRect(&taskClient);
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(dlgGroupTask::kGroupGrowth,
              (groupClient.bottom - groupClient.top) - (taskClient.bottom - taskClient.top));
    EXPECT_EQ(taskClient.right, groupClient.right);

    // The add dialog of a group is wider by the path column; the buttons move with its edge.
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    p.OnDialog<dlgAddNodes>(IDD_ADD_NODES, [&](dlgAddNodes& d) {
        RECT client;
        d.GetClientRect(&client);
        RECT list = ControlRect(d, IDC_ADD_LIST), cancel = ControlRect(d, IDCANCEL);
        EXPECT_TRUE(Within(list, client));
        EXPECT_TRUE(Within(cancel, client));
        EXPECT_GE(list.right - list.left, 240 + 85 + 300);
        EXPECT_EQ(list.right, cancel.right);
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_ADD_EXISTING);

    // The job dialog: the description takes the place of the hidden flag.
    Category(ID_CATEGORY_JOBS);
    Select(DefaultJob());
    p.OnDialog<dlgJobCPA>(IDD_JOB_CPA, [&](dlgJobCPA& d) {
        EXPECT_EQ(ControlRect(d, IDC_JOB_HOST_BASED).bottom, ControlRect(d, IDC_JOB_DESCRIPTION).bottom);
        EXPECT_TRUE(Within(ControlRect(d, IDC_JOB_DESCRIPTION), ControlRect(d, IDC_JOB_FRAME)));
        d.EndDialog(IDCANCEL);
    });
    Send(ID_OBJ_PROPERTIES);
    EXPECT_EQ(4u, p.Dialogs().size());
}

// The resource viewer of the program, counting its refreshes and row updates.
class CCountingViewer : public CRGroupViewer {
public:
    int m_nRefreshes = 0, m_nUpdates = 0;
    void Refresh(CIChNode* node) override {
        ++m_nRefreshes;
        CRGroupViewer::Refresh(node);
    }
    int UpdateItem(CIChNode* node) override {
        ++m_nUpdates;
        return CRGroupViewer::UpdateItem(node);
    }
};

TEST_F(ObjectCommands, MarksFlipRowByRowUpTo300RowsAndWithOneRefreshAbove) {
    CCountingViewer viewer;
    viewer.SetHost(frame);
    ASSERT_TRUE(viewer.Create(&frame->m_wndView));
    CIChViewer* original = frame->m_wndView.GetViewer(NodeTypeGroup);
    frame->m_wndView.RegisterViewer(NodeTypeGroup, &viewer);

    CIChRGroup* g = Add<CIChRGroup>(NodeTypeGroup, L"Many");
    std::vector<CIChNode*> all;
    std::vector<std::wstring> paths;
    for (int i = 0; i < 301; ++i) {
        paths.push_back(files.dir + format_wstring(L"\\f%03d.dat", i));
        CloseHandle(::CreateFileW(paths.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        CIChResorce* r = AddFile(paths.back());
        r->LinkTo(g);
        all.push_back(r);
    }
    Category(ID_CATEGORY_GROUPS);
    Select(g);
    ASSERT_EQ(301, ActiveList()->GetRowCount());
    struct Case {
        size_t rows;
        int updates, refreshes;
    } cases[] = {{300, 300, 0}, {301, 0, 1}};
    for (const Case& c : cases) {
        std::vector<CIChNode*> chosen(all.begin(), all.begin() + c.rows);
        SelectRows(chosen);
        CIChNodeList selected;
        frame->GetCurrentObject(&selected);
        const int value = !static_cast<CIChResorce*>(selected.front())->m_Controlled;
        viewer.m_nRefreshes = viewer.m_nUpdates = 0;
        Model().m_bModified = 0;
        Send(ID_OBJ_CONTROL + 1);
        EXPECT_EQ(c.updates, viewer.m_nUpdates) << c.rows;
        EXPECT_EQ(c.refreshes, viewer.m_nRefreshes) << c.rows;
        for (CIChNode* n : chosen)
            EXPECT_EQ(value, static_cast<CIChResorce*>(n)->m_Controlled);
        EXPECT_EQ(1, Model().m_bModified);
    }

    // "Выполняемый" on a file and a directory: the file changes, both are stamped. A resource
    // with a negative ID keeps its control mark.
    auto* file = static_cast<CIChResorce*>(all[0]);
    auto* dir = static_cast<CIChResorce*>(all[1]);
    auto* locked = static_cast<CIChResorce*>(all[2]);
    dir->SetSubType(ResDirectory);
    locked->m_Id = -7;
    const FILETIME old = {1, 0};
    file->SetModifyTime(&old);
    dir->SetModifyTime(&old);
    Select(g);
    SelectRows({file, dir});
    const int fileExe = file->m_Executable, dirExe = dir->m_Executable;
    Send(ID_OBJ_EXECUTABLE + 1);
    EXPECT_EQ(!fileExe, file->m_Executable);
    EXPECT_EQ(dirExe, dir->m_Executable);
    EXPECT_NE(1u, file->m_ModifyTime.dwLowDateTime);
    EXPECT_NE(1u, dir->m_ModifyTime.dwLowDateTime);
    SelectRows({file, locked});
    const int lockedControl = locked->m_Controlled;
    Send(ID_OBJ_CONTROL + 1);
    EXPECT_EQ(lockedControl, locked->m_Controlled);

    frame->m_wndView.RegisterViewer(NodeTypeGroup, original);
    Category(ID_CATEGORY_TASKS);
    FocusTree();
    // The marks are what the store keeps (of files of this computer's own IDs).
    dir->SetSubType(ResFile);
    locked->m_Id = Model().TakeNextId(NodeTypeResource);
    g->LinkTo(Add<CIChTask>(NodeTypeTask, L"T"));
    EXPECT_EQ(Stored(), SaveAndReload());
    for (const std::wstring& path : paths)
        ::DeleteFileW(path.c_str());
}

// Names of blanks only are refused as empty ones are; typed names stop at 40 characters, as a rename
// in the tree does; a longer name that came from elsewhere is cut in the menu bar, which keeps one row.
TEST_F(ObjectCommands, BlankAndOverlongNamesOfGroupsTasksAndJobs) {
    const std::wstring longName(306, L'Ж');
    // Types as the keyboard does (the edit's limit holds), replacing what the edit held.
    auto typeKeys = [](KvUi::CWnd& d, int id, const std::wstring& text) {
        HWND edit = d.GetDlgItem(id);
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        ::SendMessageW(edit, EM_REPLACESEL, TRUE, (LPARAM)text.c_str());
    };
    struct Case {
        UINT category;
        UINT command;
        int type;
        int nameId;
    } cases[] = {
        {ID_CATEGORY_GROUPS, ID_OBJ_ADD_NEW, NodeTypeGroup, IDC_GT_NAME},
        {ID_CATEGORY_TASKS, ID_OBJ_ADD_NEW, NodeTypeTask, IDC_GT_NAME},
        {ID_CATEGORY_JOBS, ID_OBJ_PROPERTIES, NodeTypeJob, IDC_JOB_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Category(c.category);
        auto open = [&](const std::function<void(KvUi::CDialog&)>& script) {
            if (c.type == NodeTypeJob) {
                Select(DefaultJob());
                p.OnDialog<dlgJobCPA>(IDD_JOB_CPA, [&](dlgJobCPA& d) { script(d); });
            } else {
                SelectRoot();
                p.OnDialog<dlgGroupTask>(IDD_GROUP_TASK, [&](dlgGroupTask& d) { script(d); });
            }
            Send(c.command);
        };
        const size_t before = Model().GetNodeList(c.type)->size();
        // Blanks only: OK stays disabled, and Enter does nothing.
        bool okWithBlanks = true;
        open([&](KvUi::CDialog& d) {
            typeKeys(d, c.nameId, L"   \t ");
            okWithBlanks = Enabled(d, IDOK);
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)d.GetDlgItem(IDOK));
            EXPECT_FALSE(d.IsEnded());
            d.EndDialog(IDCANCEL);
        });
        EXPECT_FALSE(okWithBlanks);
        EXPECT_EQ(before, Model().GetNodeList(c.type)->size());
        // Blanks around a name are dropped; a typed name stops at 40 characters.
        open([&](KvUi::CDialog& d) {
            typeKeys(d, c.nameId, L"  Имя  ");
            EXPECT_TRUE(Click(d, IDOK));
            EndIfOpen(d);
        });
        EXPECT_TRUE(Find(c.type, L"Имя")) << "the name kept its blanks";
        CIChNode* named = nullptr;
        open([&](KvUi::CDialog& d) {
            typeKeys(d, c.nameId, longName);
            EXPECT_EQ(40u, d.GetDlgItemText(c.nameId).size());
            EXPECT_TRUE(Click(d, IDOK));
            EndIfOpen(d);
        });
        named = Find(c.type, longName.substr(0, 40));
        ASSERT_TRUE(named) << "no node of the cut name";
    }
    // A name of 306 characters from a file: the fourth menu item shows its start, on one menu row.
    CIChTask* imported = Add<CIChTask>(NodeTypeTask, longName);
    Category(ID_CATEGORY_TASKS);
    Select(imported);
    wchar_t menuText[400] = {};
    ::GetMenuStringW(frame->m_hMenu, 3, menuText, 400, MF_BYPOSITION);
    EXPECT_EQ(longName.substr(0, 39) + L"\u2026", menuText);
    RECT first = {}, last = {};
    ASSERT_TRUE(::GetMenuItemRect(frame->m_hWnd, frame->m_hMenu, 0, &first));
    ASSERT_TRUE(::GetMenuItemRect(frame->m_hWnd, frame->m_hMenu, ::GetMenuItemCount(frame->m_hMenu) - 1, &last));
    EXPECT_EQ(first.top, last.top) << "the menu bar wraps";
}

// "Найти..." moves the selection to the found row: the relation pane follows it as it follows a click,
// also when the find dialog was really shown and took the focus and the activation with it.
TEST_F(ObjectCommands, RelationPaneFollowsTheRowThatFindSelects) {
    CIChTask* task = Add<CIChTask>(NodeTypeTask, L"T");
    CIChRGroup* g1 = Add<CIChRGroup>(NodeTypeGroup, L"First");
    CIChRGroup* g2 = Add<CIChRGroup>(NodeTypeGroup, L"Second");
    AddFile(L"C:\\find\\alpha.dll")->LinkTo(g1);
    AddFile(L"C:\\find\\beta.dll")->LinkTo(g2);
    g1->LinkTo(task);
    g2->LinkTo(task);
    Category(ID_CATEGORY_TASKS);
    Select(task);
    frame->m_wndOutput.ShowPane(TRUE);
    // What the relation pane lists once the selection has settled (its timer is 400 ms).
    auto relations = [&]() {
        const DWORD end = ::GetTickCount() + 700;
        while ((LONG)(end - ::GetTickCount()) > 0) {
            Pump();
            ::Sleep(20);
        }
        std::wstring out;
        CRelationList& list = frame->m_wndOutput.m_wndList;
        for (int i = 0; i < list.GetItemCount(); ++i)
            out += list.GetItemText(i, 0) + L";";
        return out;
    };
    SelectRows({g1});
    ActiveList()->SetSelectionMark(ActiveList()->FindRow(g1)); // as a click leaves it
    EXPECT_EQ(L"C:\\find\\alpha.dll;T;", relations());
    struct Case {
        const wchar_t* text;
        bool shown; // the dialog shown and answered by a click, as a person does
        const wchar_t* expected;
    } cases[] = {{L"Second", false, L"C:\\find\\beta.dll;T;"}, {L"First", true, L"C:\\find\\alpha.dll;T;"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        CIChList* list = ActiveList();
        ASSERT_NE(nullptr, list);
        list->SetSelectionMark(-1);
        p.OnDialog<dlgFinding>(IDD_FINDING, [&](dlgFinding& d) {
            d.SetDlgItemText(IDC_FIND_TEXT, c.text);
            if (c.shown) {
                // Shown, typed into and clicked; as it closes, the focus is elsewhere (under Wine
                // the activation that gives it back to the list may come late).
                d.ShowWindow(SW_SHOW);
                ::SetActiveWindow(d.m_hWnd);
                ::SetFocus(d.GetDlgItem(IDC_FIND_TEXT));
                Pump();
                ::SendMessageW(d.GetDlgItem(IDOK), BM_CLICK, 0, 0);
                ::SetFocus(Tree().m_hWnd);
            } else {
                d.OnOK();
            }
        });
        Send(ID_FIND);
        ASSERT_EQ(1, list->GetSelectedCount());
        EXPECT_EQ(c.expected, relations());
    }
}

} // namespace
