// Export and import of objects through model files and the group from the security log, through
// the real main window: the exchange dialogs and the resource import dialog scripted through the
// presenter, files and a registry key of the prefix as the resources, each result checked in the
// model, in the file read back into a fresh model, and after a save and reload through the store.
#include "ObjCmdsTestSupport.h"
#include "kvtest.h"

#include "ExchangeCommands.h"
#include "ExchangeDialogs.h"
#include "toolcmds_ids.h"

#include <functional>

CDaVIdevaRezApp theApp;

namespace {

using namespace ObjCmdsTest;

// The board's store provider and drive C: for the exports and imports of one test.
struct CStoreScope {
    CDriveC drives;
    CAppModelStoreHost host;
    CStoreScope() {
        theApp.SetDriveAnswers(&drives);
        SetModelStoreHost(&host);
    }
    ~CStoreScope() {
        SetModelStoreHost(nullptr);
        theApp.SetDriveAnswers(nullptr);
        theApp.ResetProvider();
    }
};

std::wstring ScratchFile(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + name;
    ::DeleteFileW(path.c_str());
    return path;
}

// The reader of the security log the tests plug in: what it hands over and what it was asked.
struct SLogAnswer {
    int result = 1;
    std::vector<std::wstring> paths; // new file resources; a path twice gives the same node twice
    int showResults = -1;            // the frame's flag while it ran
    FILETIME start = {}, end = {};
    std::wstring user = L"?";
    int calls = 0;
} g_log;
CMainFrame* g_logFrame = nullptr;

int TestLogReader(const FILETIME& start, const FILETIME& end, const std::wstring& user, CIChNodeList& out) {
    ++g_log.calls;
    g_log.start = start;
    g_log.end = end;
    g_log.user = user;
    g_log.showResults = g_logFrame ? g_logFrame->m_bShowResults : -1;
    CIChResorce* last = nullptr;
    std::wstring lastPath;
    for (const std::wstring& p : g_log.paths) {
        if (p == lastPath) {
            out.push_back(last);
            continue;
        }
        last = new CIChResorce;
        last->SetSubType(ResFile);
        last->SetName(p);
        lastPath = p;
        out.push_back(last);
    }
    return g_log.result;
}

// How often the ASCII text stands in the file, as bytes or as UTF-16.
size_t Occurrences(const std::wstring& path, const std::string& text) {
    const std::string bytes = KvTest::ReadBytes(path);
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    size_t n = 0;
    for (const std::string& form : {text, wide})
        for (size_t at = bytes.find(form); at != std::string::npos; at = bytes.find(form, at + 1))
            ++n;
    return n;
}

ULONGLONG Units(const FILETIME& ft) { return ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }

struct Exchange : FrameFixture {
    CLocalFiles files;
    CRegistryFixture registry;
    CStoreScope store;
    CIChResorce *app = nullptr, *tool = nullptr, *shared = nullptr, *value = nullptr;
    CIChRGroup *first = nullptr, *second = nullptr, *keys = nullptr;
    CIChTask* task = nullptr;

    void SetUp() override {
        FrameFixture::SetUp(); // the frame is the program's main window
        // Two groups of the task share a resource; a registry group stands apart.
        app = AddFile(files.Path(L"app.exe"));
        tool = AddFile(files.Path(L"tool.DLL"));
        shared = AddFile(files.Path(L"other.exe"));
        value = Add<CIChResorce>(NodeTypeResource, L"");
        value->SetSubType(ResRegValue);
        value->SetName(registry.DefaultValue());
        first = Add<CIChRGroup>(NodeTypeGroup, L"Первая");
        second = Add<CIChRGroup>(NodeTypeGroup, L"Вторая");
        keys = Add<CIChRGroup>(NodeTypeGroup, L"Ключи");
        keys->m_SubType = GroupRegistry;
        task = Add<CIChTask>(NodeTypeTask, L"Задача");
        app->LinkTo(first);
        shared->LinkTo(first);
        tool->LinkTo(second);
        shared->LinkTo(second);
        value->LinkTo(keys);
        first->LinkTo(task);
        second->LinkTo(task);
        task->LinkTo(DefaultJob());
        Model().m_bModified = 0;
    }
    void TearDown() override {
        SetSecurityLogReader(nullptr);
        g_logFrame = nullptr;
        FrameFixture::TearDown();
    }
    // The file read back into a fresh model (every category), without the default job that the
    // read gives a model when the file holds none.
    std::wstring FileText(const std::wstring& path) {
        CIChDataModel read;
        EXPECT_EQ(0, read.ImportFromStore(path, 15));
        std::wstring text = DumpModel(read);
        const std::wstring job = L"J Контроль целостности [2]\n";
        size_t at = text.find(job);
        if (at != std::wstring::npos && read.m_Jobs.size() == 1 && read.m_Jobs.front()->m_Members.empty())
            text.erase(at, job.size());
        return text;
    }
    // The tree item of the category whose node passes the test, or null.
    HTREEITEM FindItem(const std::function<bool(CIChNode*)>& test, HTREEITEM from = nullptr) {
        for (HTREEITEM h = from ? Tree().GetChildItem(from) : Tree().GetRootItem(); h;
             h = Tree().GetNextSiblingItem(h)) {
            if (CIChNode* n = Tree().GetItemNode(h))
                if (test(n))
                    return h;
            if (HTREEITEM below = FindItem(test, h))
                return below;
        }
        return nullptr;
    }
    void SelectFolder(UINT category, const std::wstring& filter) {
        Category(category);
        if (filter.empty()) {
            SelectRoot();
        } else {
            HTREEITEM h = FindItem([&](CIChNode* n) { return !n->IsModelNode() && n->m_Description == filter; });
            ASSERT_NE(nullptr, h) << filter.c_str();
            Tree().SelectItem(h);
        }
        ASSERT_NE(nullptr, frame->m_pCurrentNode);
    }
    // What the resource import dialog showed as it opened.
    struct SImportLook {
        std::wstring caption;
        std::vector<std::wstring> methods;
        bool methodEnabled = true, pathEnabled = true, logShown = true, okEnabled = false;
    };
    // Scripts the resource import dialog: what it shows is kept, the path typed (when given), OK.
    void AnswerImportResources(SImportLook* look, const std::wstring& path = L"") {
        p.OnDialog<dlgImportResources>(IDD_IMPORT_RESOURCES, [=](dlgImportResources& d) {
            if (look) {
                look->caption = d.GetWindowText();
                look->methods = Entries(d, IDC_IMPRES_METHOD);
                look->methodEnabled = Enabled(d, IDC_IMPRES_METHOD);
                look->pathEnabled = Enabled(d, IDC_IMPRES_PATH) || Enabled(d, IDC_IMPRES_BROWSE);
                look->logShown =
                    Visible(d, IDC_IMPRES_FILTER) || Visible(d, IDC_IMPRES_USER) || Visible(d, IDC_IMPRES_FIND);
                look->okEnabled = Enabled(d, IDOK);
            }
            if (!path.empty())
                Type(d, IDC_IMPRES_PATH, path);
            Click(d, IDOK);
            EndIfOpen(d);
        });
    }
    // Scripts the export dialog: "Без подчиненных" as asked, the path typed, OK; the caption and
    // whether the box was offered are kept.
    void AnswerExport(const std::wstring& path, bool withoutSubordinates, std::wstring* caption = nullptr,
                      bool* boxShown = nullptr) {
        p.OnDialog<dlgExportNodes>(IDD_EXPORT_NODES, [=](dlgExportNodes& d) {
            if (caption)
                *caption = d.GetWindowText();
            if (boxShown)
                *boxShown = Visible(d, IDC_EXPORT_NODES_NOSUB);
            if (withoutSubordinates)
                EXPECT_TRUE(Click(d, IDC_EXPORT_NODES_NOSUB));
            Type(d, IDC_EXPORT_NODES_PATH, path);
            Click(d, IDOK);
            EndIfOpen(d);
        });
    }
};

// ---- export ----------------------------------------------------------------------------------------------

TEST_F(Exchange, ExportWritesTheChosenObjectsAndLeavesTheModelAsItWas) {
    const std::wstring before = DumpModel(Model());
    struct Case {
        const wchar_t* name;
        UINT category;
        std::function<void(Exchange&)> select; // null: the folder of the filter
        std::wstring filter;
        bool withoutSubordinates;
        std::wstring caption;
        bool boxShown;
        std::wstring expected; // the file read back
    };
    const std::wstring a = files.Path(L"app.exe"), t = files.Path(L"tool.DLL"), o = files.Path(L"other.exe");
    const std::vector<Case> cases = {
        // A task with what it holds: the shared resource once.
        {L"task", ID_CATEGORY_TASKS, [](Exchange& x) { x.Select(x.task); }, L"", false,
         L"Экспорт выбранных объектов (Задач)", true,
         L"G Вторая [0] <- Задача\nG Первая [0] <- Задача\nR " + a + L" [0] {c1 e0} <- Первая\nR " + o +
             L" [0] {c1 e0} <- Вторая Первая\nR " + t + L" [0] {c1 e0} <- Вторая\nT Задача\n"},
        // Every group, without what they hold.
        {L"groups", ID_CATEGORY_GROUPS, nullptr, L"", true, L"Экспорт всех объектов (Групп ресурсов)", true,
         L"G Вторая [0]\nG Ключи [1]\nG Первая [0]\n"},
        // The registry family: its value alone; resources offer no "Без подчиненных".
        {L"registry", ID_CATEGORY_RESOURCES, nullptr, L"REGISTRY", false, L"Экспорт выбранных объектов (Ресурсов)",
         false, L"R " + registry.DefaultValue() + L" [2] {c1 e0}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = ScratchFile((std::wstring(L"exchange_") + c.name + L".xml").c_str());
        if (c.select) {
            Category(c.category);
            c.select(*this);
        } else {
            SelectFolder(c.category, c.filter);
        }
        p.Clear();
        std::wstring caption;
        bool boxShown = false;
        AnswerExport(path, c.withoutSubordinates, &caption, &boxShown);
        Send(ID_OBJ_EXPORT);
        EXPECT_EQ(c.caption, caption);
        EXPECT_EQ(c.boxShown, boxShown);
        ASSERT_EQ(1u, p.Boxes().size());
        EXPECT_EQ(L"Выбранные объекты успешно экспортированы.\nФайл модели - " + path, p.Boxes()[0].text);
        EXPECT_EQ((UINT)MB_ICONINFORMATION, p.Boxes()[0].type & MB_ICONMASK);
        EXPECT_EQ(c.expected, FileText(path));
        if (c.select)
            EXPECT_EQ(Occurrences(path, "app.exe"), Occurrences(path, "other.exe"))
                << "the shared resource is written as often as one of one group: once";
        EXPECT_EQ(before, DumpModel(Model())) << "the model lent its nodes and has them all back";
        EXPECT_EQ(0, Model().m_bModified);
        ::DeleteFileW(path.c_str());
    }
    EXPECT_EQ(Stored(), SaveAndReload());
}

TEST_F(Exchange, AFailedExportSaysWhyAndTheModelKeepsEveryNode) {
    const std::wstring before = DumpModel(Model());
    Category(ID_CATEGORY_TASKS);
    Select(task);
    // A folder that does not exist: the file cannot be made.
    const std::wstring path = ScratchFile(L"exchange_missing_folder\\task.xml");
    AnswerExport(path, false);
    Send(ID_OBJ_EXPORT);
    ASSERT_EQ(1u, p.Boxes().size());
    EXPECT_EQ(0u, p.Boxes()[0].text.find(L"В результате экспорта в XML-файл произошла ошибка.\n")) << p.Boxes()[0].text;
    EXPECT_EQ(0u, p.Boxes()[0].text.find(L"В результате экспорта в XML-файл произошла ошибка.\n\"" + path +
                                         L"\": [0x00000003] "))
        << "the file, the code and the reason follow";
    EXPECT_EQ((UINT)MB_ICONERROR, p.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(before, DumpModel(Model()));
    EXPECT_EQ(Stored(), SaveAndReload()) << "every node is alive and saves";
}

TEST_F(Exchange, ExportWithNothingChosenOrCancelledDoesNothing) {
    // A folder with nothing in it: no dialog. The list variant with nothing chosen: no dialog.
    SelectFolder(ID_CATEGORY_RESOURCES, L"DISK_SECTOR");
    Send(ID_OBJ_EXPORT);
    FocusTree();
    Send(ID_OBJ_EXPORT + 1);
    EXPECT_TRUE(p.Dialogs().empty());
    // Cancelled: no file, no box.
    SelectFolder(ID_CATEGORY_GROUPS, L"");
    Send(ID_OBJ_EXPORT);
    EXPECT_EQ(std::vector<UINT>{IDD_EXPORT_NODES}, p.Dialogs());
    EXPECT_TRUE(p.Boxes().empty());
    // Ids +2 to +4 do nothing.
    for (UINT id = ID_OBJ_EXPORT + 2; id <= ID_OBJ_EXPORT + 4; ++id)
        Send(id);
    EXPECT_EQ(1u, p.Dialogs().size());
}

// ---- import ----------------------------------------------------------------------------------------------

TEST_F(Exchange, ExportedTaskComesBackThroughItsFolderAndTheListVariantDoesNothing) {
    const std::wstring path = ScratchFile(L"exchange_back.xml");
    Category(ID_CATEGORY_TASKS);
    Select(task);
    AnswerExport(path, false);
    Send(ID_OBJ_EXPORT);
    const std::wstring exported = FileText(path);

    // A new model; the task comes back with its groups and resources.
    Model().NewModel(1, JobSecondEdition);
    Model().m_bModified = 0;
    Category(ID_CATEGORY_TASKS);
    SelectRoot();
    p.Clear();
    std::wstring caption;
    p.OnDialog<dlgImportNodes>(IDD_IMPORT_NODES, [&](dlgImportNodes& d) {
        caption = d.GetWindowText();
        Type(d, IDC_IMPORT_NODES_PATH, path);
        Click(d, IDOK);
        EndIfOpen(d);
    });
    FocusTree();
    Send(ID_OBJ_IMPORT_ADD + 1);
    EXPECT_TRUE(p.Dialogs().empty()) << "the list variant imports nothing";
    Send(ID_OBJ_IMPORT_ADD);
    EXPECT_EQ(L"Импорт объектов (Задач)", caption);
    ASSERT_EQ(1u, p.Boxes().size());
    EXPECT_EQ(L"В результате импорта было успешно добавлено 6 объектов.", p.Boxes()[0].text);
    EXPECT_EQ(1, Model().m_bModified);
    CIChDataModel read;
    ASSERT_EQ(0, read.ImportFromStore(path, 15));
    EXPECT_EQ(exported, FileText(path));
    for (const wchar_t* line : {L"T Задача", L"G Первая [0] <- Задача", L"G Вторая [0] <- Задача"})
        EXPECT_NE(std::wstring::npos, DumpModel(Model()).find(line)) << line;
    EXPECT_EQ(3u, Model().m_Resources.size());
    EXPECT_NE(std::wstring::npos, TreeText().find(L"Задача")) << "the tree was built again";

    // The resources folder takes the file's resources through the resource import dialog; those
    // the model holds are not added again.
    SelectFolder(ID_CATEGORY_RESOURCES, L"");
    p.Clear();
    AnswerImportResources(nullptr, path);
    Send(ID_OBJ_IMPORT_ADD);
    EXPECT_EQ(std::vector<UINT>{IDD_IMPORT_RESOURCES}, p.Dialogs());
    ASSERT_EQ(1u, p.Boxes().size());
    EXPECT_EQ(L"В результате импорта ни одного нового объекта добавлено не было.", p.Boxes()[0].text);
    EXPECT_EQ(3u, Model().m_Resources.size());
    EXPECT_EQ(Stored(), SaveAndReload());
    ::DeleteFileW(path.c_str());
}

TEST_F(Exchange, ResourcesOfAFileGoIntoTheGroupOnceEach) {
    // A file with the three file resources.
    const std::wstring path = ScratchFile(L"exchange_resources.xml");
    SelectFolder(ID_CATEGORY_RESOURCES, L"*:");
    AnswerExport(path, false);
    Send(ID_OBJ_EXPORT);
    ASSERT_EQ(L"R " + files.Path(L"app.exe") + L" [0] {c1 e0}\nR " + files.Path(L"other.exe") + L" [0] {c1 e0}\nR " +
                  files.Path(L"tool.DLL") + L" [0] {c1 e0}\n",
              FileText(path));
    // app.exe leaves the model; the group "Пустая" receives the file.
    CIChNodeList gone = {app};
    frame->DeleteNodesAndSubordinates(gone, false);
    CIChRGroup* empty = Add<CIChRGroup>(NodeTypeGroup, L"Пустая");
    Model().m_bModified = 0;
    Category(ID_CATEGORY_GROUPS);
    Select(empty);
    p.Clear();
    SImportLook look;
    AnswerImportResources(&look, path);
    Send(ID_OBJ_IMPORT_GROUP);
    EXPECT_EQ(L"Импорт ресурсов", look.caption);
    EXPECT_EQ(std::vector<std::wstring>{L"Из файла"}, look.methods);
    EXPECT_FALSE(look.methodEnabled);
    EXPECT_TRUE(look.pathEnabled);
    EXPECT_FALSE(look.logShown);
    ASSERT_EQ(1u, p.Boxes().size());
    EXPECT_EQ(L"В результате импорта было успешно добавлено 1 объектов.", p.Boxes()[0].text);
    EXPECT_EQ(3u, empty->m_Members.size());
    EXPECT_EQ(4u, Model().m_Resources.size()) << "tool.DLL and other.exe were in the model: linked, not added";
    EXPECT_EQ(1, Model().m_bModified);
    EXPECT_NE(shared->m_Uppers.end(), std::find(shared->m_Uppers.begin(), shared->m_Uppers.end(), empty));
    EXPECT_EQ(3, ActiveList() ? ActiveList()->GetRowCount() : -1) << "the group's list shows them";
    EXPECT_EQ(Stored(), SaveAndReload());

    // A read-only group (the board's) takes nothing, from the tree or from the list.
    empty->m_Id = -3;
    p.Clear();
    Send(ID_OBJ_IMPORT_GROUP);
    Category(ID_CATEGORY_GROUPS);
    SelectRoot();
    SelectRows({empty});
    Send(ID_OBJ_IMPORT_GROUP + 1);
    EXPECT_TRUE(p.Dialogs().empty());
    empty->m_Id = 50;
    ::DeleteFileW(path.c_str());
}

// ---- the group from the security log ----------------------------------------------------------------------

TEST_F(Exchange, TheLogGroupSaysPlainlyThatTheLogIsNotReadHere) {
    Category(ID_CATEGORY_GROUPS);
    SelectRoot();
    const std::wstring before = DumpModel(Model());
    SImportLook look;
    AnswerImportResources(&look);
    Send(ID_OBJ_GROUP_BY_LOG);
    EXPECT_EQ(L"Создание группы по журналу", look.caption);
    EXPECT_EQ(std::vector<std::wstring>{L"Из журнала безопасности"}, look.methods);
    EXPECT_FALSE(look.pathEnabled);
    EXPECT_TRUE(look.logShown);
    EXPECT_TRUE(look.okEnabled);
    ASSERT_EQ(1u, p.Boxes().size());
    EXPECT_EQ(L"Чтение журнала безопасности в этой программе не поддерживается.\nГруппа по журналу не создана.",
              p.Boxes()[0].text);
    EXPECT_EQ((UINT)MB_ICONEXCLAMATION, p.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(before, DumpModel(Model())) << "no empty group passes for a reading";
    EXPECT_EQ(0, Model().m_bModified);
    EXPECT_EQ(1, frame->m_bShowResults);
}

TEST_F(Exchange, ALogReaderGivesAGroupOfItsResourcesEachOnce) {
    SetSecurityLogReader(TestLogReader);
    g_logFrame = frame;
    struct Case {
        const wchar_t* name;
        int result;
        std::vector<std::wstring> paths;
        std::wstring box;
        size_t members; // of the new group; 0: no group
    };
    const std::wstring a = files.Path(L"app.exe"), d = files.Path(L"data.txt"), o = files.Path(L"other.exe");
    const std::vector<Case> cases = {
        {L"nothing in the period",
         1,
         {},
         L"В журнале безопасности за выбранный период не найдено ни одного ресурса.\nГруппа по журналу не создана.",
         0},
        {L"unreadable",
         0,
         {d},
         L"Чтение журнала безопасности в этой программе не поддерживается.\nГруппа по журналу не создана.",
         0},
        // data.txt twice (the same node), app.exe already in the model: the group and data.txt
        // are new.
        {L"read", 1, {d, d, a}, L"Было успешно добавлено 2 объектов.", 2},
    };
    CIChJob* job = static_cast<CIChJob*>(DefaultJob());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Category(ID_CATEGORY_JOBS);
        Select(job);
        g_log = SLogAnswer();
        g_log.result = c.result;
        g_log.paths = c.paths;
        p.Clear();
        AnswerImportResources(nullptr);
        const size_t groups = Model().m_Groups.size();
        Send(ID_OBJ_GROUP_BY_LOG);
        ASSERT_EQ(1, g_log.calls);
        EXPECT_EQ(0, g_log.showResults) << "the reader runs without its own result boxes";
        EXPECT_EQ(1, frame->m_bShowResults);
        EXPECT_EQ(L"", g_log.user) << "\"Все\" is every user";
        EXPECT_LT(Units(g_log.start), Units(g_log.end));
        const ULONGLONG span = Units(g_log.end) - Units(g_log.start);
        EXPECT_GE(span, 864000000000ULL) << "a day back, whole minutes";
        EXPECT_LT(span, 864000000000ULL + 600000000ULL + 20000000ULL);
        ASSERT_EQ(1u, p.Boxes().size());
        EXPECT_EQ(c.box, p.Boxes()[0].text);
        ASSERT_EQ(groups + (c.members ? 1 : 0), Model().m_Groups.size());
        if (!c.members)
            continue;
        CIChRGroup* g = static_cast<CIChRGroup*>(Model().m_Groups.back());
        EXPECT_EQ(L"Журнал безопасности", g->m_Name);
        EXPECT_EQ(L"Группа импортированных ресурсов по журналу безопасности", g->m_Description);
        EXPECT_EQ(GroupFiles, g->m_SubType);
        EXPECT_EQ(c.members, g->m_Members.size());
        EXPECT_NE(job->m_Members.end(), std::find(job->m_Members.begin(), job->m_Members.end(), g));
        EXPECT_NE(app->m_Uppers.end(), std::find(app->m_Uppers.begin(), app->m_Uppers.end(), g))
            << "the model's app.exe";
        EXPECT_EQ(1, Model().m_bModified);
    }
    EXPECT_EQ(Stored(), SaveAndReload());
}

// ---- the resource import dialog ----------------------------------------------------------------------------

TEST_F(Exchange, ImportDialogChecksThePeriodTheFileAndTheUser) {
    const std::wstring readable = files.Path(L"data.txt");
    struct Case {
        const wchar_t* name;
        int file, log;
        std::function<void(dlgImportResources&)> step;
        bool ok;
    };
    auto setEnd = [](dlgImportResources& d, int minutesAfterStart) {
        SYSTEMTIME st = {};
        ::SendMessageW(d.GetDlgItem(IDC_IMPRES_FROM_DATE), DTM_GETSYSTEMTIME, 0, (LPARAM)&st);
        SYSTEMTIME tm = {};
        ::SendMessageW(d.GetDlgItem(IDC_IMPRES_FROM_TIME), DTM_GETSYSTEMTIME, 0, (LPARAM)&tm);
        st.wHour = tm.wHour;
        st.wMinute = tm.wMinute;
        st.wSecond = tm.wSecond;
        FILETIME ft;
        ::SystemTimeToFileTime(&st, &ft);
        ULONGLONG v = Units(ft) + (LONGLONG)minutesAfterStart * 600000000LL;
        ft = FILETIME{(DWORD)v, (DWORD)(v >> 32)};
        ::FileTimeToSystemTime(&ft, &st);
        for (int id : {IDC_IMPRES_TO_DATE, IDC_IMPRES_TO_TIME}) {
            ::SendMessageW(d.GetDlgItem(id), DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&st);
            NMDATETIMECHANGE change = {};
            change.nmhdr.hwndFrom = d.GetDlgItem(id);
            change.nmhdr.idFrom = id;
            change.nmhdr.code = DTN_DATETIMECHANGE;
            change.st = st;
            d.SendMessage(WM_NOTIFY, id, (LPARAM)&change);
        }
    };
    const std::vector<Case> cases = {
        {L"log as opened", 0, 1, nullptr, true},
        {L"end equal to start", 0, 1, [&](dlgImportResources& d) { setEnd(d, 0); }, false},
        {L"end before start", 0, 1, [&](dlgImportResources& d) { setEnd(d, -5); }, false},
        {L"end a minute after", 0, 1, [&](dlgImportResources& d) { setEnd(d, 1); }, true},
        {L"readable file", 1, 0, [&](dlgImportResources& d) { Type(d, IDC_IMPRES_PATH, readable); }, true},
        {L"missing file", 1, 0, [&](dlgImportResources& d) { Type(d, IDC_IMPRES_PATH, readable + L".none"); }, false},
        {L"empty path", 1, 0, [&](dlgImportResources& d) { Type(d, IDC_IMPRES_PATH, L""); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlgImportResources dlg(frame->m_hWnd, c.file, c.log);
        bool ok = false;
        p.OnDialog<dlgImportResources>(IDD_IMPORT_RESOURCES, [&](dlgImportResources& d) {
            if (c.step)
                c.step(d);
            ok = Enabled(d, IDOK);
            if (c.log) {
                // "Найти..." lists no one more; the button is there again afterwards.
                Click(d, IDC_IMPRES_FIND);
                EXPECT_TRUE(Visible(d, IDC_IMPRES_FIND));
                EXPECT_FALSE(Visible(d, IDC_IMPRES_PROGRESS));
                EXPECT_EQ(std::vector<std::wstring>{L"Все"}, Entries(d, IDC_IMPRES_USER));
            }
            Click(d, IDOK);
            EndIfOpen(d);
        });
        EXPECT_EQ(ok ? IDOK : IDCANCEL, dlg.DoModal());
        EXPECT_EQ(c.ok, ok);
        EXPECT_EQ(c.log ? 1 : 0, dlg.m_nMethod);
        if (ok && c.log)
            EXPECT_EQ(L"", dlg.m_strUser);
        if (ok && c.file)
            EXPECT_EQ(files.dir + L"\\", dlgImportResources::s_folder) << "the folder is remembered";
    }
}

TEST_F(Exchange, FileOnlyDialogEndsUnderItsButtons) {
    RECT okRect = {}, client = {}, path = {};
    bool hidden = false;
    p.OnDialog<dlgImportResources>(IDD_IMPORT_RESOURCES, [&](dlgImportResources& d) {
        auto place = [&](int id) {
            RECT r;
            ::GetWindowRect(d.GetDlgItem(id), &r);
            ::MapWindowPoints(nullptr, d.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
            return r;
        };
        okRect = place(IDOK);
        path = place(IDC_IMPRES_PATH);
        ::GetClientRect(d.m_hWnd, &client);
        hidden = true;
        for (int id : {IDC_IMPRES_FILTER, IDC_IMPRES_FROM_DATE, IDC_IMPRES_TO_TIME, IDC_IMPRES_USER, IDC_IMPRES_FIND})
            hidden = hidden && !Visible(d, id);
        d.EndDialog(IDCANCEL);
    });
    dlgImportResources dlg(frame->m_hWnd, 1, 0);
    dlg.DoModal();
    EXPECT_TRUE(hidden);
    EXPECT_GT(okRect.top, path.bottom) << "below the path";
    EXPECT_LT(okRect.top - path.bottom, 20);
    EXPECT_GT(client.bottom, okRect.bottom);
    EXPECT_LT(client.bottom - okRect.bottom, 20) << "the window ends a margin below the buttons";
}

} // namespace
