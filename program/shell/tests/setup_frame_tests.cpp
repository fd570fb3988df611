// The new-model setup and the Windows-templates operation through the program's real main window:
// the first start without a store, the new-model command on a running window, the model saved and
// loaded again. The frame is made from the program's resources on the display, the board folder is
// C:\Varno of the test prefix, dialogs and questions are answered through the presenter, and a real
// Windows Installer package (built with wixl for the generator tests) is installed for the program
// chosen in the setup.
#include <gtest/gtest.h>

#include "AppStoreHost.h"
#include "BackgroundOp.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "KvOsTemplates.h"
#include "KvText.h"
#include "MainFrm.h"
#include "ModelStore.h"
#include "OsTemplatesCommands.h"
#include "dlgPrepareControl.h"
#include "kvpresenter.h"
#include "setup_test_util.h"
#include "kvtest.h"
#include "FrameTestSupport.h"
#include "resource.h"
#include "Sha256Ref.h"

#include <valkit.h>

#include <algorithm>
#include <sstream>

CDaVIdevaRezApp theApp;

namespace {

using PresenterScope = KvTest::CScopedPresenter;
using KvFrameTest::Lines;
using KvFrameTest::ModelText;

const wchar_t kStoreFile[] = L"C:\\Varno\\Localhost.vdb";
const wchar_t kSuiteCode[] = L"{3C7A5E21-94B0-4D6B-8E11-6F0A2B9C4D01}";
const wchar_t kSuiteName[] = L"KvGen Test Suite";

class CFrame : public CMainFrame {
public:
    CFrame() { m_bAutoDelete = FALSE; }
};

std::wstring SuiteFolder() {
    std::wstring root = KvTest::Env(L"ProgramW6432");
    if (root.empty())
        root = KvTest::Env(L"ProgramFiles");
    return root + L"\\KvGenTestSuite";
}

std::wstring WindowsFolder() {
    wchar_t dir[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(dir, MAX_PATH);
    return dir;
}

CIChNode* TaskNamed(CIChDataModel& m, const std::wstring& name) {
    for (CIChNode* t : m.m_Tasks)
        if (t->m_Name == name)
            return t;
    return nullptr;
}

size_t TasksNamed(CIChDataModel& m, const std::wstring& name) {
    return std::count_if(m.m_Tasks.begin(), m.m_Tasks.end(), [&](CIChNode* t) { return t->m_Name == name; });
}

bool Below(CIChNode* node, CIChNode* upper) {
    return node && upper && std::find(node->m_Uppers.begin(), node->m_Uppers.end(), upper) != node->m_Uppers.end();
}

std::vector<std::wstring> MemberNames(const CIChNode* node) {
    std::vector<std::wstring> out;
    for (const CIChNode* m : node->m_Members)
        out.push_back(m->m_Name);
    return out;
}

using OsTest::Click;

void SetChecked(KvUi::CDialog& d, int id, bool on) {
    if ((::IsDlgButtonChecked(d.m_hWnd, id) == BST_CHECKED) != on)
        Click(d, id);
}

// The setup as a person fills it in: the task "MS Windows" on or off, its kind, the clear choice, and
// the installed programs to choose (by name) in the list of the computer's programs.
struct SSetupAnswer {
    bool windows = true;
    int kind = 1; // 1 the default kind, 2 the start of Windows
    bool clear = false;
    std::vector<std::wstring> programs;
    UINT button = IDOK;
};

void ScriptSetup(PresenterScope& ps, const SSetupAnswer& answer, std::vector<std::wstring>* offered = nullptr) {
    ps.OnDialog(IDD_ADDON_TASK, [answer, offered](KvUi::CDialog& d) {
        HWND list = d.GetDlgItem(IDC_ADDON_LIST);
        if (offered) {
            offered->clear();
            const int count = (int)::SendMessageW(list, LB_GETCOUNT, 0, 0);
            for (int i = 0; i < count; ++i) {
                wchar_t text[512] = {};
                ::SendMessageW(list, LB_GETTEXT, i, (LPARAM)text);
                offered->push_back(text);
            }
        }
        for (const std::wstring& name : answer.programs) {
            int at = (int)::SendMessageW(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name.c_str());
            ASSERT_GE(at, 0) << "not offered: " << as_string(name, CP_UTF8);
            ::SendMessageW(list, LB_SETSEL, TRUE, at);
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ADDON_LIST, LBN_SELCHANGE), (LPARAM)list);
        }
        EXPECT_TRUE(Click(d, IDOK));
    });
    ps.OnDialog(IDD_MS_WINDOWS, [answer](KvUi::CDialog& d) {
        Click(d, answer.kind == 2 ? IDC_MSWINDOWS_STARTUP : IDC_MSWINDOWS_DEFAULT);
        EXPECT_TRUE(Click(d, IDOK));
    });
    ps.OnDialog(IDD_PREPARE_CONTROL, [answer](KvUi::CDialog& d) {
        SetChecked(d, IDC_PREPARE_ADD_WINDOWS, answer.windows);
        Click(d, IDC_PREPARE_WINDOWS_SETUP);
        SetChecked(d, IDC_PREPARE_CLEAR, answer.clear);
        if (!answer.programs.empty()) {
            SetChecked(d, IDC_PREPARE_ADD_PRODUCTS, true);
            Click(d, IDC_PREPARE_CHOSEN);
            wchar_t expected[32];
            swprintf(expected, 32, L"%d выбрано", (int)answer.programs.size());
            EXPECT_EQ(expected, d.GetDlgItemText(IDC_PREPARE_CHOSEN));
        }
        EXPECT_TRUE(Click(d, answer.button));
    });
}

struct SetupFrame : ::testing::Test, KvFrameTest::CFrameHolder<CFrame> {
    static void SetUpTestSuite() {
        s_install =
            KvTest::RunMsiexec(L"/i \"" + KvTest::Env(L"KV_BIN_DIR") + L"\\fixtures\\generate\\kvgen_suite.msi\" /qn");
    }
    static void TearDownTestSuite() { KvTest::RunMsiexec(std::wstring(L"/x ") + kSuiteCode + L" /qn"); }
    static inline DWORD s_install = 1;

    KvFrameTest::CStoreOnC drives;
    CAppModelStoreHost host;

    void SetUp() override {
        theApp.m_nConfirmation = 0;
        theApp.m_bUpdatePresent = 1;
        theApp.m_bAddDepends = 1;
        // The executable programs only: a model of a few hundred files, saved with their checksums.
        theApp.m_strExeExtensions = L".exe";
        theApp.SetDriveAnswers(&drives);
        SetModelStoreHost(&host);
        ::CreateDirectoryW(L"C:\\Varno", nullptr);
        KvFrameTest::EmptyBoardFolder();
        RegisterOsTemplates();
    }
    void TearDown() override {
        CloseFrame();
        RegisterModelSetup(nullptr, nullptr);
        SetModelStoreHost(nullptr);
        theApp.SetDriveAnswers(nullptr);
        theApp.ResetProvider();
        KvFrameTest::EmptyBoardFolder(); // the other tests of the prefix expect no store
    }
    CIChNode* Job() { return frame->m_Model.m_Jobs.empty() ? nullptr : frame->m_Model.m_Jobs.front(); }
    // The task "Операционная система MS Windows" of the default kind as the run leaves it.
    void ExpectDefaultWindowsTask() {
        CIChDataModel& m = frame->m_Model;
        ASSERT_EQ(1u, TasksNamed(m, WindowsTaskName));
        CIChNode* task = TaskNamed(m, WindowsTaskName);
        EXPECT_TRUE(Below(task, Job())) << "the task is under the model's job";
        const std::vector<std::wstring> groups = MemberNames(task);
        for (const wchar_t* g : {L"Модули в каталоге System32", L"Модули в каталоге Windows", ServicesGroupName,
                                 ImportantRegistryGroupName})
            EXPECT_NE(groups.end(), std::find(groups.begin(), groups.end(), g)) << as_string(g, CP_UTF8);
        CIChNode* explorer = m.FindNodeByName(NodeTypeResource, WindowsFolder() + L"\\explorer.exe", ResFile);
        ASSERT_NE(nullptr, explorer);
    }
};

// ---- the first start without a store ---------------------------------------------------------------

TEST_F(SetupFrame, FirstStartOffersTheSetupAndTheModelHoldsWindowsAndTheChosenProgramSavedAndLoadedAgain) {
    ASSERT_EQ(0u, s_install) << "msiexec could not install the test package";
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    SSetupAnswer answer;
    answer.programs = {kSuiteName};
    std::vector<std::wstring> offered;
    ScriptSetup(ps, answer, &offered);
    OpenFrame();

    // The setup was offered once, the program was in the list of the computer's programs.
    const std::vector<UINT> dialogs = ps.Dialogs();
    EXPECT_EQ(1, std::count(dialogs.begin(), dialogs.end(), (UINT)IDD_PREPARE_CONTROL));
    EXPECT_NE(offered.end(), std::find(offered.begin(), offered.end(), kSuiteName));
    EXPECT_TRUE(ps.Boxes().empty()) << "no closing message of the program generator";
    CIChDataModel& m = frame->m_Model;
    ASSERT_EQ(1u, m.m_Jobs.size());
    EXPECT_EQ(JobSecondEdition, static_cast<CIChJob*>(Job())->m_SubType);
    ExpectDefaultWindowsTask();
    CIChNode* suite = TaskNamed(m, kSuiteName);
    ASSERT_NE(nullptr, suite);
    EXPECT_TRUE(Below(suite, Job()));
    const std::wstring app = SuiteFolder() + L"\\kvgen_app.exe";
    CIChNode* appResource = m.FindNodeByName(NodeTypeResource, app, ResFile);
    ASSERT_NE(nullptr, appResource);
    // The switches the run cleared have their values back; templates were made, so the next
    // failed load offers no setup.
    EXPECT_EQ(1, frame->m_bShowResults);
    EXPECT_EQ(1, theApp.m_bAddDepends);
    EXPECT_EQ(1, frame->m_bStoreExisted);
    EXPECT_EQ(1, m.m_bModified);
    EXPECT_TRUE(Enabled(ID_FILE_SAVE));

    // Saved: the store and the board's file lists, every generated file with its checksum.
    Send(ID_FILE_SAVE);
    EXPECT_EQ(0, m.m_bModified);
    EXPECT_TRUE(ps.Boxes().empty());
    const std::vector<std::string> names = Lines(KvTest::ReadBytes(L"C:\\Varno\\bootfile.nam"));
    const std::vector<std::string> sums = Lines(KvTest::ReadBytes(L"C:\\Varno\\bootfile.chk"));
    ASSERT_EQ(names.size(), sums.size());
    size_t files = 0;
    for (CIChNode* r : m.m_Resources)
        if (static_cast<CIChResorce*>(r)->m_SubType == ResFile)
            ++files;
    EXPECT_EQ(files, names.size()) << "every file resource is on the board's list";
    for (const std::wstring& path : {app, WindowsFolder() + L"\\explorer.exe"}) {
        SCOPED_TRACE(as_string(path, CP_UTF8));
        auto at = std::find_if(names.begin(), names.end(), [&](const std::string& line) {
            return KvBase::UpperCase(as_wstring(line, CP_ACP)) == KvBase::UpperCase(path);
        });
        ASSERT_NE(names.end(), at);
        EXPECT_EQ(testsha::Sha256Hex(KvTest::ReadBytes(path)), sums[at - names.begin()]);
    }
    const std::wstring saved = ModelText(m);
    CloseFrame();

    // A restart loads the same model from the store and offers no setup.
    ps.Clear();
    OpenFrame();
    EXPECT_EQ(1, frame->m_bStoreExisted);
    EXPECT_EQ(saved, ModelText(frame->m_Model));
    EXPECT_EQ(0, frame->m_Model.m_bModified);
    EXPECT_TRUE(ps.Dialogs().empty());
    EXPECT_TRUE(ps.Boxes().empty());
}

TEST_F(SetupFrame, CancelledSetupGoesOnWithANewModelAndTheCommandOffersItAgain) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    SSetupAnswer answer;
    answer.button = IDCANCEL;
    ScriptSetup(ps, answer);
    OpenFrame();
    const std::vector<UINT> dialogs = ps.Dialogs();
    EXPECT_EQ(1, std::count(dialogs.begin(), dialogs.end(), (UINT)IDD_PREPARE_CONTROL));
    CIChDataModel& m = frame->m_Model;
    ASSERT_EQ(1u, m.m_Subjects.size());
    ASSERT_EQ(1u, m.m_Jobs.size());
    EXPECT_EQ(JobSecondEdition, static_cast<CIChJob*>(Job())->m_SubType);
    EXPECT_TRUE(m.m_Tasks.empty());
    EXPECT_EQ(0, frame->m_bStoreExisted);
    EXPECT_EQ(1, frame->m_bShowResults);

    // The new-model command is on with the templates; a confirmed setup builds them into this model
    // (nothing to clear, no question).
    EXPECT_TRUE(Enabled(ID_FILE_NEW_MODEL));
    ps.Clear();
    ScriptSetup(ps, SSetupAnswer());
    Send(ID_FILE_NEW_MODEL);
    Pump();
    EXPECT_TRUE(ps.Boxes().empty());
    ExpectDefaultWindowsTask();
    EXPECT_EQ(1, frame->m_bStoreExisted);
    EXPECT_EQ(1, theApp.m_bAddDepends);
    EXPECT_EQ(1, frame->m_bShowResults);
}

// ---- the new-model command on a running window -----------------------------------------------------

TEST_F(SetupFrame, NewModelCommandAsksWhereTheModelIsLostAndBuildsTheChosenKind) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    ScriptSetup(ps, SSetupAnswer{false, 1, true, {}, IDCANCEL});
    OpenFrame();

    const wchar_t* const kLost = L"Текущая модель данных будет разрушена. Продолжить?";
    const wchar_t* const kIncompatible =
        L"Текущая модель данных не совместима с новой моделью.\nТекущая модель данных будет разрушена. Продолжить?";
    struct Row {
        const char* what;
        int jobSubType;          // of the model before the command
        bool windowsTaskBefore;  // the model already has a task "Операционная система MS Windows"
        bool clear;              // the setup's clear choice
        int kind;                // 1 default, 2 start of Windows
        const wchar_t* question; // null: none
        int answer;
        bool cleared; // the old task is gone
        bool built;   // the templates were built
    };
    const Row rows[] = {
        {"clear chosen, declined", JobSecondEdition, false, true, 1, kLost, IDNO, false, false},
        {"clear chosen, accepted", JobSecondEdition, false, true, 1, kLost, IDYES, true, true},
        {"first-edition job, declined", JobBoard, false, false, 1, kIncompatible, IDNO, false, false},
        {"first-edition job, accepted", JobBoard, false, false, 1, kIncompatible, IDYES, true, true},
        {"second edition, merged, start-up kind", JobSecondEdition, true, false, 2, nullptr, 0, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CIChDataModel& m = frame->m_Model;
        frame->SetCurrentNode(nullptr, 1);
        m.NewModel(1, row.jobSubType);
        CIChTask* old = AddNode<CIChTask>(m, NodeTypeTask, L"Прежняя задача");
        old->LinkTo(Job());
        if (row.windowsTaskBefore)
            AddNode<CIChTask>(m, NodeTypeTask, WindowsTaskName)->LinkTo(Job());
        m.RebuildPathIndex();
        frame->RebuildTree();
        m.m_bModified = 0;
        const std::wstring before = ModelText(m);
        ps.Clear();
        SSetupAnswer answer;
        answer.clear = row.clear;
        answer.kind = row.kind;
        ScriptSetup(ps, answer);
        if (row.question)
            ps.QueueAnswer(row.answer);
        Send(ID_FILE_NEW_MODEL);
        Pump();

        if (row.question) {
            ASSERT_EQ(1u, ps.Boxes().size());
            EXPECT_EQ(row.question, ps.Boxes()[0].text);
            EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), ps.Boxes()[0].type & (MB_TYPEMASK | MB_ICONMASK));
        } else {
            EXPECT_TRUE(ps.Boxes().empty());
        }
        if (!row.built) {
            EXPECT_EQ(before, ModelText(m)) << "declined: the model is untouched";
            EXPECT_EQ(0, m.m_bModified);
            continue;
        }
        EXPECT_EQ(row.cleared ? 0u : 1u, TasksNamed(m, L"Прежняя задача"));
        ASSERT_EQ(1u, TasksNamed(m, WindowsTaskName)) << "a task of that name takes the new groups in";
        ASSERT_EQ(1u, m.m_Jobs.size());
        EXPECT_EQ(row.cleared ? JobSecondEdition : row.jobSubType, static_cast<CIChJob*>(Job())->m_SubType);
        CIChNode* task = TaskNamed(m, WindowsTaskName);
        EXPECT_TRUE(Below(task, Job()));
        const std::vector<std::wstring> groups = MemberNames(task);
        auto has = [&](const std::wstring& g) { return std::find(groups.begin(), groups.end(), g) != groups.end(); };
        EXPECT_EQ(row.kind == 1, has(L"Модули в каталоге System32"));
        for (const wchar_t* g : StartupGroupNames)
            EXPECT_EQ(row.kind == 2, has(g)) << as_string(g, CP_UTF8);
        EXPECT_TRUE(has(ServicesGroupName));
        EXPECT_TRUE(has(ImportantRegistryGroupName));
        EXPECT_EQ(1, m.m_bModified);
        EXPECT_EQ(1, frame->m_bShowResults);
        EXPECT_EQ(1, theApp.m_bAddDepends);
    }
}

} // namespace
