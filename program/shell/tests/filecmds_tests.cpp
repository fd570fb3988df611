// Tests of the model file commands and the background operations: the real frame from the program's
// resources on the display, the board's store folder on drive C: of the test prefix, message boxes
// and dialogs answered through the presenter, results checked in the model and the files.
#include <gtest/gtest.h>

#include "AppStoreHost.h"
#include "BackgroundOp.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "ExchangeDialogs.h"
#include "ResourceDialogs.h"
#include "dlgException.h"
#include "MainFrm.h"
#include "ModelStore.h"
#include "kvclick.h"
#include "kvpresenter.h"
#include "FrameTestSupport.h"
#include "kvtest.h"
#include "resource.h"
#include "ViewsTestSupport.h"
#include "Sha256Ref.h"

#include <KvRegTokens.h>
#include <VDevInfo.h>
#include <valkit.h>

#include <atomic>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <type_traits>

namespace {

using PresenterScope = KvTest::CScopedPresenter;
using KvFrameTest::CStoreOnC;
using KvFrameTest::Lines;
using KvFrameTest::ModelText;

const wchar_t kStoreFile[] = L"C:\\Varno\\Localhost.vdb";

// The application's host, with store calls that throw on request.
class CThrowingHost : public CAppModelStoreHost {
public:
    bool m_bThrowOpen = false, m_bThrowProvider = false;
    static EGeneric Failure() {
        EGeneric e(as_string(L"хранилище недоступно", CP_ACP));
        e["Code"] = static_cast<int>(0x80041234);
        return e;
    }
    Varno::SmartPtr<Varno::IDatabase> OpenStore() override {
        if (m_bThrowOpen)
            throw Failure();
        return CAppModelStoreHost::OpenStore();
    }
    Varno::SmartPtr<Varno::IProvider> GetProvider() override {
        if (m_bThrowProvider)
            throw Failure();
        return CAppModelStoreHost::GetProvider();
    }
};

// The program's frame as it is (no handler replaced); the posted first restore runs for real.
class CFileFrame : public CMainFrame {
public:
    CFileFrame() { m_bAutoDelete = FALSE; }
};

using KvTest::ScratchFolder;
using KvTest::WriteBytes;

// The name the export writes before it replaces the target.
std::wstring SiblingTemp(const std::wstring& path) {
    return path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
}

using KvTest::Click;

// Top-level windows of this thread (or of the frame's) owned by the frame that are the wait dialog.
HWND FindWaitDialog(HWND frame, DWORD thread = ::GetCurrentThreadId()) {
    struct Search {
        HWND frame;
        HWND found;
    } s = {frame, nullptr};
    ::EnumThreadWindows(
        thread,
        [](HWND h, LPARAM lp) -> BOOL {
            Search* s = reinterpret_cast<Search*>(lp);
            if (::GetWindow(h, GW_OWNER) == s->frame && ::GetDlgItem(h, IDC_WAIT_ANIMATION)) {
                s->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// The store folder on C:, the application's host, the frame made and shown; torn down in order.
struct FileFixture : ::testing::Test, KvFrameTest::CFrameHolder<CFileFrame> {
    CStoreOnC drives;
    CThrowingHost host;

    void SetUp() override {
        theApp.m_nConfirmation = 0;
        theApp.SetDriveAnswers(&drives);
        SetModelStoreHost(&host);
        ::CreateDirectoryW(L"C:\\Varno", nullptr);
    }
    void TearDown() override {
        CloseFrame();
        SetModelStoreHost(nullptr);
        theApp.SetDriveAnswers(nullptr);
        theApp.ResetProvider();
        SetBackgroundThreadCreator(nullptr);
        SetBackgroundWaitFunction(nullptr);
        RegisterInstalledComponents(nullptr);
        RegisterModelSetup(nullptr, nullptr);
        // The board folder is left as the other tests of the prefix expect it: without a store.
        KvFrameTest::EmptyBoardFolder();
    }
    // A frame started without a store and a scratch folder; the path of a file there, not present.
    std::wstring OpenWithoutStore(const wchar_t* folder, const wchar_t* name) {
        ::DeleteFileW(kStoreFile);
        OpenFrame();
        const std::wstring file = ScratchFolder(folder) + L"\\" + name;
        ::DeleteFileW(file.c_str());
        return file;
    }
    // A second-edition model with a controlled file, its group, task, job and subject.
    void BuildModel(const std::wstring& file) {
        CIChDataModel& m = frame->m_Model;
        m.NewModel(1, JobSecondEdition);
        CIChJob* job = static_cast<CIChJob*>(m.m_Jobs.front());
        CIChTask* task = AddNode<CIChTask>(m, NodeTypeTask, L"Задача");
        CIChRGroup* group = AddNode<CIChRGroup>(m, NodeTypeGroup, L"Группа");
        CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        r->SetSubType(ResFile);
        r->SetName(file);
        r->m_Id = m.TakeNextId(NodeTypeResource);
        r->LinkTo(group);
        group->LinkTo(task);
        task->LinkTo(job);
        m.RebuildPathIndex();
        m.m_bModified = 1;
    }
};

// ---- save, restore, first start, damaged store -------------------------------------------------------

TEST_F(FileFixture, SaveWritesTheStoreAndBoardListsAndARestartLoadsTheSameModel) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    const std::wstring dir = ScratchFolder(L"filecmds_save");
    const std::string content = "MZ file of the saved model";
    WriteBytes(dir + L"\\a.exe", content);
    OpenFrame();
    BuildModel(dir + L"\\a.exe");
    EXPECT_TRUE(Enabled(ID_FILE_SAVE));
    Send(ID_FILE_SAVE);
    EXPECT_EQ(0, frame->m_Model.m_bModified);
    EXPECT_FALSE(Enabled(ID_FILE_SAVE)) << "nothing left to save";
    EXPECT_TRUE(ps.Boxes().empty());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(kStoreFile));
    // The five board lists; the file list names the file with its SHA-256 computed here.
    for (const wchar_t* name : {L"bootfile", L"bootsect", L"bootreg", L"bootpci", L"bootsmbs"}) {
        EXPECT_NE(INVALID_FILE_ATTRIBUTES,
                  ::GetFileAttributesW((std::wstring(L"C:\\Varno\\") + name + L".nam").c_str()))
            << name;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES,
                  ::GetFileAttributesW((std::wstring(L"C:\\Varno\\") + name + L".chk").c_str()))
            << name;
    }
    EXPECT_EQ(std::vector<std::string>{as_string(dir + L"\\a.exe", CP_ACP)},
              Lines(KvTest::ReadBytes(L"C:\\Varno\\bootfile.nam")));
    EXPECT_EQ(std::vector<std::string>{testsha::Sha256Hex(content)},
              Lines(KvTest::ReadBytes(L"C:\\Varno\\bootfile.chk")));
    const std::wstring saved = ModelText(frame->m_Model);
    CloseFrame();

    // A restart: the frame's own first restore loads it.
    OpenFrame();
    EXPECT_EQ(1, frame->m_bStoreExisted);
    EXPECT_EQ(saved, ModelText(frame->m_Model));
    EXPECT_EQ(0, frame->m_Model.m_bModified);
    EXPECT_TRUE(ps.Boxes().empty());
    // Restore with changes asks first; No keeps the changes.
    frame->m_Model.m_bModified = 1;
    AddNode<CIChTask>(frame->m_Model, NodeTypeTask, L"Новая");
    ps.QueueAnswer(IDNO);
    Send(ID_FILE_RESTORE);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"Все изменения в модели данных будут потеряны. Продолжить?", ps.Boxes()[0].text);
    EXPECT_EQ(2u, frame->m_Model.m_Tasks.size());
    ps.QueueAnswer(IDYES);
    Send(ID_FILE_RESTORE);
    EXPECT_EQ(saved, ModelText(frame->m_Model));
    EXPECT_EQ(0, frame->m_Model.m_bModified);
}

TEST_F(FileFixture, FirstStartWithoutAStoreGoesOnWithANewSecondEditionModel) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    EXPECT_EQ(0, frame->m_bStoreExisted);
    CIChDataModel& m = frame->m_Model;
    ASSERT_EQ(1u, m.m_Subjects.size());
    ASSERT_EQ(1u, m.m_Jobs.size());
    EXPECT_EQ(JobSecondEdition, static_cast<CIChJob*>(m.m_Jobs.front())->m_SubType);
    EXPECT_EQ(m.m_Subjects.front(), m.m_Jobs.front()->m_Uppers.front());
    EXPECT_TRUE(m.m_Tasks.empty());
    EXPECT_TRUE(ps.Boxes().empty());
    // Without the Windows templates there is no setup to offer: the new-model command is off.
    EXPECT_FALSE(Enabled(ID_FILE_NEW_MODEL));
    EXPECT_TRUE(Enabled(ID_FILE_RESTORE));
    EXPECT_TRUE(Enabled(ID_EDIT_CLEAR_ALL));
}

TEST_F(FileFixture, DamagedStoreIsReportedWithItsReasonAndNeverOverwritten) {
    PresenterScope ps;
    const std::string damaged = "<?xml version=\"1.0\"?><VarnoStore version=\"2\"><Items><Subject";
    WriteBytes(kStoreFile, damaged);
    OpenFrame();
    EXPECT_EQ(1, frame->m_bStoreExisted);
    ASSERT_EQ(1u, ps.Boxes().size());
    const std::wstring text = ps.Boxes()[0].text;
    EXPECT_EQ(0u, text.find(L"Модель данных не загружена из хранилища \"C:\\Varno\\Localhost.vdb\".\n")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"\"C:\\Varno\\Localhost.vdb\": ")) << "the provider's reason: " << text;
    EXPECT_EQ(MB_ICONERROR, ps.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(0u, frame->m_Model.GetNodeCount()) << "no setup, no new model over a damaged store";
    // A save does not overwrite it either: it says why and keeps the model modified.
    frame->m_Model.NewModel(1, JobSecondEdition);
    frame->m_Model.m_bModified = 1;
    Send(ID_FILE_SAVE);
    ASSERT_EQ(2u, ps.Boxes().size());
    EXPECT_EQ(0u, ps.Boxes()[1].text.find(
                      L"В результате сохранения модели данных произошла ошибка.\n\"C:\\Varno\\Localhost.vdb\": "))
        << ps.Boxes()[1].text;
    EXPECT_EQ(1, frame->m_Model.m_bModified);
    EXPECT_EQ(damaged, KvTest::ReadBytes(kStoreFile));
    CloseFrame();
    ::DeleteFileW(kStoreFile);
}

TEST_F(FileFixture, SaveFailuresAreShownOnce) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    CIChDataModel& m = frame->m_Model;
    // A model without a job: the command says what is missing.
    m.Clear(1);
    m.EnsureDefaultSubject();
    m.m_bModified = 1;
    Send(ID_FILE_SAVE);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_NE(std::wstring::npos, ps.Boxes()[0].text.find(L"нет задания")) << ps.Boxes()[0].text;
    EXPECT_EQ(1, m.m_bModified);
    // A store that throws: the worker's error dialog, and no second box.
    ps.Clear();
    m.NewModel(1, JobSecondEdition);
    host.m_bThrowOpen = true;
    Send(ID_FILE_SAVE);
    host.m_bThrowOpen = false;
    EXPECT_TRUE(ps.Boxes().empty());
    EXPECT_EQ(std::vector<UINT>{IDD_EXCEPTION}, ps.Dialogs());
    EXPECT_EQ(1, m.m_bModified);
}

// ---- the operation table --------------------------------------------------------------------------------

// Operation 5 as a test module would plug it in: runs on the worker until the window's side lets it
// go, or throws.
std::atomic<int> g_componentsMode{0}; // 0 return 0, 1 throw EGeneric, 2 throw something else
std::atomic<int> g_componentsEnded{0};
std::atomic<DWORD> g_componentsThread{0};
HANDLE g_release = nullptr;
int TestComponents(CMainFrame*, void* products, void*) {
    g_componentsThread = ::GetCurrentThreadId();
    if (g_release)
        ::WaitForSingleObject(g_release, 20000);
    if (g_componentsMode == 1)
        throw CThrowingHost::Failure();
    if (g_componentsMode == 2)
        throw 42;
    *static_cast<int*>(products) += 1;
    ::Sleep(50);
    g_componentsEnded = 1;
    return 0;
}

// Operation 5 on the frame with its worker held until the tick (a thread timer of 30 ms, which the wait
// loop dispatches) sets g_release; the worker's runs are counted in *runs.
int RunHeldComponents(CMainFrame* frame, TIMERPROC tick, int* runs) {
    g_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UINT_PTR timer = ::SetTimer(nullptr, 0, 30, tick);
    int result = frame->RunInstalledComponents(&frame->m_Model, runs, nullptr);
    ::KillTimer(nullptr, timer);
    ::CloseHandle(g_release);
    g_release = nullptr;
    return result;
}

HANDLE NoThread(LPTHREAD_START_ROUTINE, LPVOID) { return nullptr; }
DWORD FailedWait(DWORD, const HANDLE*, BOOL, DWORD, DWORD) { return WAIT_FAILED; }

TEST_F(FileFixture, EveryOperationRunsOnAWorkerOrInPlaceAndAnEscapedErrorIsItsResult) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_ops");
    const std::wstring file = dir + L"\\model.xml";
    WriteBytes(dir + L"\\a.exe", "a");
    RegisterInstalledComponents(TestComponents);
    const int kFailure = static_cast<int>(0x80041234);

    enum Mode { Success, Throws, NoWorker };
    struct Row {
        int op;
        Mode mode;
        int result;
    };
    const Row rows[] = {
        {OpSave, Success, 0},
        {OpSave, Throws, kFailure},
        {OpSave, NoWorker, 0},
        {OpLoad, Success, 0},
        {OpLoad, Throws, kFailure},
        {OpLoad, NoWorker, 0},
        {OpExportXml, Success, 0},
        {OpExportXml, Throws, kFailure},
        {OpExportXml, NoWorker, 0},
        {OpImportXml, Success, 0},
        {OpImportXml, Throws, kFailure},
        {OpImportXml, NoWorker, 0},
        {OpInstalledComponents, Success, 0},
        {OpInstalledComponents, Throws, kFailure},
        {OpInstalledComponents, NoWorker, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "op " << row.op << " mode " << row.mode);
        ps.Clear();
        BuildModel(dir + L"\\a.exe");
        const std::wstring before = ModelText(frame->m_Model);
        host.m_bThrowOpen = host.m_bThrowProvider = row.mode == Throws;
        g_componentsMode = row.mode == Throws ? 1 : 0;
        SetBackgroundThreadCreator(row.mode == NoWorker ? NoThread : nullptr);
        g_componentsThread = 0;
        int counter = 0;
        CIChDataModel imported;
        int result = -1;
        switch (row.op) {
        case OpSave:
            result = frame->RunSaveModel(&frame->m_Model);
            break;
        case OpLoad:
            frame->m_Model.Clear(1);
            result = frame->RunLoadModel(&frame->m_Model);
            break;
        case OpExportXml:
            result = frame->RunExportModel(&frame->m_Model, file);
            break;
        case OpImportXml:
            result = frame->RunImportModel(&imported, file, ImportResources | ImportGroups | ImportTasks | ImportJobs);
            break;
        case OpInstalledComponents:
            result = frame->RunInstalledComponents(&frame->m_Model, &counter, nullptr);
            break;
        }
        host.m_bThrowOpen = host.m_bThrowProvider = false;
        EXPECT_EQ(row.result, result);
        EXPECT_EQ(row.mode == Throws ? std::vector<UINT>{IDD_EXCEPTION} : std::vector<UINT>{}, ps.Dialogs());
        EXPECT_TRUE(ps.Boxes().empty());
        EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
        EXPECT_EQ(nullptr, FindWaitDialog(frame->m_hWnd));
        EXPECT_FALSE(frame->IsOperationRunning());
        if (row.op == OpInstalledComponents && row.mode != Throws) {
            EXPECT_EQ(1, counter);
            EXPECT_EQ(row.mode == NoWorker, g_componentsThread == ::GetCurrentThreadId());
        }
        if (row.op == OpLoad && row.mode == Success)
            EXPECT_EQ(before, ModelText(frame->m_Model)) << "the store holds what the save before wrote";
        if (row.op == OpLoad && row.mode == Throws)
            EXPECT_EQ(0u, frame->m_Model.GetNodeCount()) << "a load that threw loaded nothing";
        if (row.op == OpImportXml && row.mode != Throws) {
            imported.NewModel(0, 0); // the file has no subject: this computer's, as the frame's
            EXPECT_EQ(before, ModelText(imported));
        }
        if (row.op == OpImportXml && row.mode == Throws)
            EXPECT_EQ(0u, imported.GetNodeCount());
    }
    // The error dialog's text: the store's Russian text, in the text and the source, not garbled.
    std::wstring shown;
    ps.OnDialog<dlgException>(IDD_EXCEPTION, [&](dlgException& d) {
        shown = d.GetText();
        d.EndDialog(IDOK);
    });
    g_componentsMode = 1;
    EXPECT_EQ(kFailure, frame->RunInstalledComponents(&frame->m_Model, nullptr, nullptr));
    EXPECT_EQ(L"Код: 0x80041234\r\nТекст: хранилище недоступно\r\n\r\nSource: хранилище недоступно", shown);
    // Any other exception: the unknown-error text and E_FAIL.
    g_componentsMode = 2;
    EXPECT_EQ(E_FAIL, frame->RunInstalledComponents(&frame->m_Model, nullptr, nullptr));
    EXPECT_EQ(L"Произошла неизвестная ошибка!", shown);
    g_componentsMode = 0;
}

TEST_F(FileFixture, TheFrameWaitsDisabledBehindTheWaitDialogAndIgnoresCommandsMeanwhile) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    RegisterInstalledComponents(TestComponents);
    g_componentsMode = 0;
    g_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const unsigned nodes = frame->m_Model.GetNodeCount();
    ASSERT_GT(nodes, 0u);

    // The window's side, from a timer that the wait loop dispatches: look, post a command, let go.
    struct Seen {
        int ticks = 0;
        BOOL enabled = TRUE;
        HWND wait = nullptr;
        BOOL waitVisible = FALSE;
        BOOL waitEnabled = FALSE;
        bool saveEnabled = true;
    };
    static Seen seen;
    static CFileFrame* running;
    seen = Seen();
    running = frame;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR, DWORD) {
        if (++seen.ticks == 1) {
            seen.enabled = ::IsWindowEnabled(running->m_hWnd);
            seen.wait = FindWaitDialog(running->m_hWnd);
            seen.waitVisible = seen.wait && ::IsWindowVisible(seen.wait);
            seen.waitEnabled = seen.wait && ::IsWindowEnabled(seen.wait);
            KvUi::CCmdUI ui;
            ui.m_nID = ID_EDIT_CLEAR_ALL;
            ui.DoUpdate(running, TRUE);
            seen.saveEnabled = ui.m_bEnabled != FALSE;
            running->PostMessage(WM_COMMAND, ID_EDIT_CLEAR_ALL);
            running->PostMessage(WM_CLOSE);
        } else if (seen.ticks == 3) {
            ::SetEvent(g_release);
        }
    });
    int counter = 0;
    EXPECT_EQ(0, frame->RunInstalledComponents(&frame->m_Model, &counter, nullptr));
    ::KillTimer(nullptr, timer);
    ::CloseHandle(g_release);
    g_release = nullptr;

    EXPECT_FALSE(seen.enabled) << "the frame is disabled while the worker runs";
    EXPECT_NE(nullptr, seen.wait);
    EXPECT_TRUE(seen.waitVisible);
    EXPECT_TRUE(seen.waitEnabled);
    EXPECT_FALSE(seen.saveEnabled) << "no command is offered during the run";
    EXPECT_EQ(1, counter);
    // The posted clear and close did nothing: no question, the model and the window as they were.
    EXPECT_TRUE(ps.Boxes().empty());
    EXPECT_EQ(nodes, frame->m_Model.GetNodeCount());
    EXPECT_TRUE(::IsWindow(frame->m_hWnd));
    MSG close;
    EXPECT_TRUE(::PeekMessageW(&close, frame->m_hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "the close comes again after the run";
    // Afterwards: enabled, the wait dialog gone, the frame in front.
    EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
    EXPECT_EQ(nullptr, FindWaitDialog(frame->m_hWnd));
    EXPECT_EQ(frame->m_hWnd, ::GetForegroundWindow());
    EXPECT_TRUE(Enabled(ID_EDIT_CLEAR_ALL));
}

// A key in the structure tree during an operation makes its node current but fills no list from the
// model the worker changes (the subject list would count every subject's resources); the list shows
// the node when the operation has ended.
TEST_F(FileFixture, ATreeKeyDuringAnOperationFillsNoListUntilTheOperationHasEnded) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    RegisterInstalledComponents(TestComponents);
    g_componentsMode = 0;
    CIChDataModel& m = frame->m_Model;
    ASSERT_EQ(1u, m.m_Subjects.size());
    CIChSubject* subject = static_cast<CIChSubject*>(m.m_Subjects.front());
    HWND tree = frame->GetTree().m_hWnd;
    CIChNode* root = frame->m_pCurrentNode;
    ASSERT_NE(nullptr, root);
    ASSERT_EQ(FolderSubjects, root->GetType());
    // The subject selected first, so that the key below goes back to the subject list's folder.
    ::SendMessageW(tree, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(subject, frame->m_pCurrentNode);
    // A count no fill leaves: the list's fill sets every subject's count first.
    subject->m_ResourceCount = 77;

    struct Seen {
        int ticks = 0;
        CIChNode* current = nullptr;
        int count = 0;
        CIChViewer* active = nullptr;
    };
    static Seen seen;
    static CFileFrame* running;
    static HWND runningTree;
    static CIChSubject* counted;
    seen = Seen();
    running = frame;
    runningTree = tree;
    counted = subject;
    const TIMERPROC tick = [](HWND, UINT, UINT_PTR, DWORD) {
        if (++seen.ticks == 1) {
            ::SendMessageW(runningTree, WM_KEYDOWN, VK_HOME, 0);
        } else if (seen.ticks == 3) {
            seen.current = running->m_pCurrentNode;
            seen.count = counted->m_ResourceCount;
            seen.active = running->m_wndView.GetActiveViewer();
            ::SetEvent(g_release);
        }
    };
    int counter = 0;
    EXPECT_EQ(0, RunHeldComponents(frame, tick, &counter));

    EXPECT_EQ(root, seen.current) << "the key made the folder current";
    EXPECT_EQ(77, seen.count) << "no list counted the resources while the worker ran";
    EXPECT_EQ(nullptr, seen.active) << "no list shows rows of the model meanwhile";
    // Afterwards the subject list shows the folder, filled from the model.
    Pump();
    CIChViewer* active = frame->m_wndView.GetActiveViewer();
    ASSERT_NE(nullptr, active);
    EXPECT_EQ(root, active->GetCurrentNode());
    EXPECT_TRUE(::IsWindowVisible(active->GetWnd()));
    EXPECT_EQ(1, ListView_GetItemCount(active->GetWnd()));
    EXPECT_EQ(0, subject->m_ResourceCount);
}

// The list's position timer after the focus came back to it shows the selected rows' relations; during
// an operation the relations are not collected from the model, the relation pane stays empty.
TEST_F(FileFixture, TheListTimerDuringAnOperationCollectsNoRelations) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    RegisterInstalledComponents(TestComponents);
    g_componentsMode = 0;
    CIChViewer* viewer = frame->m_wndView.GetActiveViewer();
    ASSERT_NE(nullptr, viewer);
    HWND list = viewer->GetWnd();
    ASSERT_EQ(1, ListView_GetItemCount(list));
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetSelectionMark(list, 0);
    frame->m_wndOutput.ShowRelations(nullptr);

    struct Seen {
        int ticks = 0;
        size_t shown = 1;
    };
    static Seen seen;
    static CFileFrame* running;
    static HWND runningList;
    seen = Seen();
    running = frame;
    runningList = list;
    const TIMERPROC tick = [](HWND, UINT, UINT_PTR, DWORD) {
        if (++seen.ticks == 1) {
            ::SetFocus(runningList);
        } else if (seen.ticks == 30) { // the list's timer (400 ms) has come meanwhile
            seen.shown = running->m_wndOutput.GetShownNodes().size();
            ::SetEvent(g_release);
        }
    };
    int counter = 0;
    EXPECT_EQ(0, RunHeldComponents(frame, tick, &counter));
    EXPECT_EQ(0u, seen.shown) << "no relations collected while the worker ran";

    // Without an operation the same timer shows the subject's relations.
    ::SetFocus(frame->m_hWnd);
    Pump();
    ::SetFocus(list);
    const DWORD until = ::GetTickCount() + 2000;
    while (frame->m_wndOutput.GetShownNodes().empty() && ::GetTickCount() < until) {
        Pump();
        ::Sleep(20);
    }
    EXPECT_EQ(1u, frame->m_wndOutput.GetShownNodes().size());
}

TEST_F(FileFixture, AFailedWaitReturnsOnlyAfterTheWorkerHasEnded) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    RegisterInstalledComponents(TestComponents);
    SetBackgroundWaitFunction(FailedWait);
    g_componentsMode = 0;
    g_componentsEnded = 0;
    g_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread releaser([] {
        ::Sleep(200);
        ::SetEvent(g_release);
    });
    int counter = 0;
    EXPECT_EQ(0, frame->RunInstalledComponents(&frame->m_Model, &counter, nullptr))
        << "the worker's result, not the preset 1";
    EXPECT_EQ(1, g_componentsEnded.load()) << "the launcher returned while the worker still ran";
    EXPECT_EQ(1, counter);
    releaser.join();
    ::CloseHandle(g_release);
    g_release = nullptr;
    EXPECT_TRUE(::IsWindowEnabled(frame->m_hWnd));
    EXPECT_EQ(nullptr, FindWaitDialog(frame->m_hWnd));
}

} // namespace

namespace {

// ---- the path filter and the exchange dialogs ----------------------------------------------------------

TEST(PathFilter, SlashesTurnAndForbiddenCharactersGo) {
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
        bool changed;
    } cases[] = {
        {L"C:\\models\\a.xml", L"C:\\models\\a.xml", false},
        {L"C:/models/*a?.xml", L"C:\\models\\a.xml", true},
        {L"C:\\a:b\\c|d<e>f.xml", L"C:\\ab\\cdef.xml", true},
        {L":C", L"C", true},
        {L"\\\\server/share\\x.xml", L"\\\\server\\share\\x.xml", true},
        {L"", L"", false},
    };
    for (const Case& c : cases) {
        std::wstring buffer = c.in;
        buffer.push_back(0);
        wchar_t* r = PathEditFilter(&buffer[0]);
        EXPECT_EQ(c.changed, r != nullptr) << c.in;
        EXPECT_STREQ(c.out, buffer.c_str()) << c.in;
    }
}

struct DialogFixture : ::testing::Test {
    PresenterScope ps;
    std::wstring dir;
    void SetUp() override {
        dir = ScratchFolder(L"filecmds_dialogs");
        theApp.m_bUpdatePresent = 1;
    }
    // Runs the dialog through the presenter with the script; its DoModal result.
    template <class D>
    INT_PTR Run(D& dlg, UINT id, std::function<void(D&)> script) {
        ps.OnDialog<D>(id, script);
        return dlg.DoModal();
    }
    static bool OkEnabled(KvUi::CDialog& d) { return ::IsWindowEnabled(d.GetDlgItem(IDOK)) != FALSE; }
};

TEST_F(DialogFixture, TypedPathIsFilteredInTheFieldWithTheCaretMovedBack) {
    dlgExportModel dlg(nullptr);
    Run<dlgExportModel>(dlg, IDD_EXPORT_MODEL, [&](dlgExportModel& d) {
        HWND edit = d.GetDlgItem(IDC_EXPORT_PATH);
        EXPECT_EQ(dlgExportModel::s_folder + L"Noname.xml", d.m_strFileName);
        // A pasted path is filtered as it arrives.
        ::SetWindowTextW(edit, L"C:/tmp/mo*del.xml");
        EXPECT_EQ(L"C:\\tmp\\model.xml", d.GetDlgItemText(IDC_EXPORT_PATH));
        EXPECT_EQ(L"C:\\tmp\\model.xml", d.m_strFileName);
        // A typed "*" goes again, the caret stays where the character was typed.
        ::SendMessageW(edit, EM_SETSEL, 7, 7);
        ::SendMessageW(edit, WM_CHAR, L'*', 1);
        EXPECT_EQ(L"C:\\tmp\\model.xml", d.GetDlgItemText(IDC_EXPORT_PATH));
        DWORD start = 0, end = 0;
        ::SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        EXPECT_EQ(7u, start);
        EXPECT_EQ(7u, end);
        EXPECT_EQ(259, (int)::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
        // The change handling keeps the path without trailing backslashes; an empty one greys OK.
        ::SetWindowTextW(edit, L"C:\\tmp\\out\\\\");
        EXPECT_EQ(L"C:\\tmp\\out", d.m_strFileName);
        ::SetWindowTextW(edit, L"");
        EXPECT_FALSE(OkEnabled(d));
        d.EndDialog(IDCANCEL);
    });
}

TEST_F(DialogFixture, ExportChecksPlaceBareNamesAndReplaceOnlyOnTheUsersWord) {
    // A bare name goes below the documents folder; a drive path and a UNC path stay.
    struct Case {
        const wchar_t* typed;
        std::wstring expected;
    } cases[] = {{L"out.xml", DocumentsFolder() + L"out.xml"},
                 {L"x", DocumentsFolder() + L"x"},
                 {L"\\\\host\\share\\m.xml", L"\\\\host\\share\\m.xml"},
                 {L"sub\\m.xml", DocumentsFolder() + L"sub\\m.xml"},
                 {L"D:\\m.xml", L"D:\\m.xml"}};
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, PlaceExportPath(c.typed)) << c.typed;
    // Through the dialog (no network path: the existence test would ask the network).
    for (const Case& c : {cases[0]}) {
        dlgExportModel dlg(nullptr);
        EXPECT_EQ(IDOK, Run<dlgExportModel>(dlg, IDD_EXPORT_MODEL, [&](dlgExportModel& d) {
                      d.SetDlgItemText(IDC_EXPORT_PATH, c.typed);
                      d.OnOK();
                      if (!d.IsEnded())
                          d.EndDialog(IDCANCEL);
                  }));
        EXPECT_EQ(c.expected, dlg.m_strFileName) << c.typed;
    }
    // An existing file: No keeps the dialog open; Yes closes it and leaves the file as it is (the
    // export replaces it when its new content is complete).
    const std::wstring existing = dir + L"\\existing.xml";
    ::SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_NORMAL); // as an earlier run may have left it
    WriteBytes(existing, "old content");
    ps.Clear();
    ps.QueueAnswer(IDNO);
    ps.QueueAnswer(IDYES);
    dlgExportModel dlg(nullptr);
    int stillOpen = -1;
    EXPECT_EQ(IDOK, Run<dlgExportModel>(dlg, IDD_EXPORT_MODEL, [&](dlgExportModel& d) {
                  d.SetDlgItemText(IDC_EXPORT_PATH, existing);
                  d.OnOK();
                  stillOpen = d.IsEnded() ? 0 : 1;
                  if (!d.IsEnded())
                      d.OnOK();
                  if (!d.IsEnded())
                      d.EndDialog(IDCANCEL);
              }));
    EXPECT_EQ(1, stillOpen);
    ASSERT_EQ(2u, ps.Boxes().size());
    EXPECT_EQ(L"Файл " + existing + L" уже существует.\n\nПересоздать его и продолжить работу?", ps.Boxes()[0].text);
    EXPECT_EQ("old content", KvTest::ReadBytes(existing));
    EXPECT_EQ(dir + L"\\", dlgExportModel::s_folder);
    // A file that cannot be replaced (read-only, or held open by another program): the dialog
    // says so and stays.
    for (int way : {0, 1}) {
        HANDLE held = INVALID_HANDLE_VALUE;
        if (way == 0)
            ::SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_READONLY);
        else
            held = ::CreateFileW(existing.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ps.Clear();
        ps.QueueAnswer(IDYES);
        dlgExportModel locked(nullptr);
        EXPECT_EQ(IDCANCEL, Run<dlgExportModel>(locked, IDD_EXPORT_MODEL,
                                                [&](dlgExportModel& d) {
                                                    d.SetDlgItemText(IDC_EXPORT_PATH, existing);
                                                    d.OnOK();
                                                    if (!d.IsEnded())
                                                        d.EndDialog(IDCANCEL);
                                                }))
            << way;
        ASSERT_EQ(2u, ps.Boxes().size()) << way;
        EXPECT_EQ(0u, ps.Boxes()[1].text.find(L"Выбранный вами файл не может быть перезаписан.\n"))
            << ps.Boxes()[1].text;
        EXPECT_EQ(MB_ICONEXCLAMATION, ps.Boxes()[1].type & MB_ICONMASK);
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        ::SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ("old content", KvTest::ReadBytes(existing));
    }
}

// "Выбрать..." opens the picker on the current path in the remembered folder, every time; a file
// chosen there fills the path, and an existing export file is asked about once, by the dialog.
TEST_F(DialogFixture, PickersStartInTheRememberedFolderAndAnExistingFileIsAskedAboutOnce) {
    const std::wstring remembered = dir + L"\\";
    const std::wstring chosen = dir + L"\\picked.xml";
    WriteBytes(chosen, "<Model version=\"1\"/>");
    struct Case {
        const wchar_t* what;
        std::function<INT_PTR(DialogFixture&, std::function<void(KvUi::CDialog&)>)> run;
        int pathId, browseId;
        bool save;
        const wchar_t* title;
        std::wstring filter; // the pieces with their nulls, as the common dialog takes them
    };
    static const wchar_t kBoth[] = L"Файл модели данных (*.xml)\0*.xml\0Все файлы\0*.*\0";
    const std::wstring both(kBoth, std::size(kBoth) - 1);
    const std::wstring modelOnly(both, 0, both.find(L"Все")); // the model files' pair alone
    auto runner = [](auto make, UINT id) {
        return [make, id](DialogFixture& f, std::function<void(KvUi::CDialog&)> script) {
            auto dlg = make();
            using D = typename std::remove_reference<decltype(*dlg)>::type;
            return f.Run<D>(*dlg, id, [script](D& d) { script(d); });
        };
    };
    const Case cases[] = {
        {L"export model", runner([] { return std::make_unique<dlgExportModel>(nullptr); }, IDD_EXPORT_MODEL),
         IDC_EXPORT_PATH, IDC_EXPORT_BROWSE, true, L"Выбор файла для экспорта", both},
        {L"export nodes", runner([] { return std::make_unique<dlgExportNodes>(nullptr, 3, 0); }, IDD_EXPORT_NODES),
         IDC_EXPORT_NODES_PATH, IDC_EXPORT_NODES_BROWSE, true, L"Выбор файла для экспорта", modelOnly},
        {L"import nodes", runner([] { return std::make_unique<dlgImportNodes>(nullptr, 3); }, IDD_IMPORT_NODES),
         IDC_IMPORT_NODES_PATH, IDC_IMPORT_NODES_BROWSE, false, L"Выбор файла для импорта", both},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dlgExportModel::s_folder = dlgExportNodes::s_folder = dlgImportNodes::s_folder = remembered;
        ps.Clear();
        ps.QueueFiles({}); // the first pick is cancelled
        ps.QueueFiles({chosen});
        ps.QueueAnswer(IDYES);
        std::wstring typed = L"D:\\elsewhere\\typed.xml", shownAfterCancel, shownAfterPick;
        EXPECT_EQ(IDOK, c.run(*this, [&](KvUi::CDialog& d) {
            d.SetDlgItemText(c.pathId, typed);
            EXPECT_TRUE(Click(d, c.browseId));
            shownAfterCancel = d.GetDlgItemText(c.pathId);
            EXPECT_TRUE(Click(d, c.browseId));
            shownAfterPick = d.GetDlgItemText(c.pathId);
            EXPECT_TRUE(Click(d, IDOK));
            if (!d.IsEnded())
                d.EndDialog(IDCANCEL);
        }));
        EXPECT_EQ(typed, shownAfterCancel);
        EXPECT_EQ(chosen, shownAfterPick);
        auto questions = ps.FileQuestions();
        ASSERT_EQ(2u, questions.size());
        for (const KvUi::FilePick& q : questions) {
            EXPECT_EQ(c.save, q.save);
            EXPECT_EQ(c.title, q.title);
            EXPECT_EQ(c.filter, q.filter);
            EXPECT_EQ(remembered, q.initialFolder) << "the remembered folder whatever the path";
            EXPECT_EQ(L"xml", q.defaultExtension);
            if (c.save)
                EXPECT_FALSE(q.overwritePrompt) << "the dialog asks itself";
        }
        EXPECT_EQ(typed, questions[0].initialPath);
        auto boxes = ps.Boxes();
        ASSERT_EQ(c.save ? 1u : 0u, boxes.size()) << "the replace question comes once, from the dialog";
        if (c.save)
            EXPECT_EQ(L"Файл " + chosen + L" уже существует.\n\nПересоздать его и продолжить работу?", boxes[0].text);
    }
}

TEST_F(DialogFixture, ExportNodesCaptionsAndSubordinates) {
    struct Case {
        int kind, all;
        const wchar_t* caption;
        bool boxShown;
    } cases[] = {{1, 0, L"Экспорт выбранных объектов (Ресурсов)", false},
                 {3, 1, L"Экспорт всех объектов (Групп ресурсов)", true},
                 {5, 0, L"Экспорт выбранных объектов (Задач)", true},
                 {7, 0, L"Экспорт выбранных объектов (Заданий)", true},
                 {9, 1, L"Экспорт всех объектов (Субъектов управления)", true}};
    for (const Case& c : cases) {
        dlgExportNodes dlg(nullptr, c.kind, c.all);
        std::wstring caption;
        bool shown = false;
        EXPECT_EQ(IDOK, Run<dlgExportNodes>(dlg, IDD_EXPORT_NODES, [&](dlgExportNodes& d) {
                      caption = d.GetWindowText();
                      shown = (::GetWindowLongW(d.GetDlgItem(IDC_EXPORT_NODES_NOSUB), GWL_STYLE) & WS_VISIBLE) != 0;
                      if (shown) {
                          if (::IsDlgButtonChecked(d.m_hWnd, IDC_EXPORT_NODES_NOSUB) != BST_CHECKED)
                              EXPECT_TRUE(Click(d, IDC_EXPORT_NODES_NOSUB));
                      }
                      d.SetDlgItemText(IDC_EXPORT_NODES_PATH, dir + L"\\nodes.xml");
                      d.OnOK();
                  }));
        EXPECT_EQ(c.caption, caption);
        EXPECT_EQ(c.boxShown, shown);
        EXPECT_EQ(c.boxShown ? 0 : 1, dlg.m_bWithSubordinates) << c.kind;
    }
}

TEST_F(DialogFixture, ImportNodesOffersOkOnlyForAReadableFile) {
    const std::wstring file = dir + L"\\nodes_in.xml";
    WriteBytes(file, "<VarnoStore version=\"1\"/>");
    struct Case {
        int kind;
        const wchar_t* caption;
    } cases[] = {{3, L"Импорт объектов (Групп ресурсов)"},
                 {5, L"Импорт объектов (Задач)"},
                 {7, L"Импорт объектов (Заданий)"},
                 {1, L"Импорт объектов"}};
    for (const Case& c : cases) {
        dlgImportNodes dlg(nullptr, c.kind);
        std::wstring caption;
        bool okMissing = true, okThere = false;
        EXPECT_EQ(IDOK, Run<dlgImportNodes>(dlg, IDD_IMPORT_NODES, [&](dlgImportNodes& d) {
                      caption = d.GetWindowText();
                      d.SetDlgItemText(IDC_IMPORT_NODES_PATH, dir + L"\\missing.xml");
                      okMissing = OkEnabled(d);
                      d.SetDlgItemText(IDC_IMPORT_NODES_PATH, file);
                      okThere = OkEnabled(d);
                      d.OnOK();
                  }));
        EXPECT_EQ(c.caption, caption);
        EXPECT_FALSE(okMissing);
        EXPECT_TRUE(okThere);
        EXPECT_EQ(1, dlg.m_bWithSubordinates);
        EXPECT_EQ(file, dlg.m_strFileName);
    }
}

TEST_F(DialogFixture, ImportModelScansTheRootAfterTypingPausesAndChecksWhatTheFileHolds) {
    struct Case {
        const char* content;
        bool valid;
        bool tasks, groups, resources;
    } cases[] = {
        {"<VarnoStore version=\"1\"><Resources/><RGroups/><Tasks/></VarnoStore>", true, true, true, true},
        {"<VarnoStore version=\"11\"><Resources/></VarnoStore>", false, false, false, false},
        {"<VarnoStore><Resources/></VarnoStore>", false, false, false, false},
        {"<?xml version=\"1.0\"?><VarnoStore version=\"2\"><Tasks><Task id=\"1\" kind=\"1\"/></Tasks></VarnoStore>",
         true, true, false, false},
        {"<!DOCTYPE VarnoStore [<!ENTITY e SYSTEM \"file:///C:/windows/win.ini\">]><VarnoStore "
         "version=\"1\"><Tasks/></VarnoStore>",
         false, false, false, false},
        {"not xml at all", false, false, false, false},
        // The check is the import's reader: what the import refuses, the check refuses. A version
        // must be a whole number the store reads; the root must be the store's; the items must be
        // ones the store can hold (a task without its kind, a disk sector of a negative number).
        {"<VarnoStore version=\"abc\"><Resources/></VarnoStore>", false, false, false, false},
        {"<VarnoStore version=\"-5\"><Resources/></VarnoStore>", false, false, false, false},
        {"<VarnoStore version=\"1x\"><Resources/></VarnoStore>", false, false, false, false},
        {"<VarnoStore version=\"0\"><Resources/></VarnoStore>", false, false, false, false},
        {"<OtherRoot version=\"1\"><Resources/><RGroups/><Tasks/></OtherRoot>", false, false, false, false},
        {"<VarnoStore version=\"1\"><Tasks><Task id=\"1\"/></Tasks></VarnoStore>", false, false, false, false},
        {"<VarnoStore version=\"1\"><Resources><Resource id=\"1\" kind=\"5\" name=\"S\" disk=\"0\" "
         "sector=\"-1\"/></Resources></VarnoStore>",
         false, false, false, false},
        {"<VarnoStore version=\"10\"><RGroups/></VarnoStore>", true, false, true, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::wstring file = dir + L"\\scan" + std::to_wstring(n++) + L".xml";
        WriteBytes(file, c.content);
        dlgImportModel dlg(nullptr);
        bool ok = false, tasks = false, groups = false, resources = false;
        int scansWhileTyping = -1, scansBefore = 0;
        Run<dlgImportModel>(dlg, IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
            scansBefore = d.m_nScans;
            // Typing the path a character at a time reads nothing.
            for (size_t i = 1; i <= file.size(); ++i)
                d.SetDlgItemText(IDC_IMPORT_PATH, file.substr(0, i));
            scansWhileTyping = d.m_nScans - scansBefore;
            EXPECT_FALSE(OkEnabled(d));
            d.FlushPrescan();
            ok = OkEnabled(d);
            tasks = ::IsDlgButtonChecked(d.m_hWnd, IDC_IMPORT_TASKS) == BST_CHECKED;
            groups = ::IsDlgButtonChecked(d.m_hWnd, IDC_IMPORT_GROUPS) == BST_CHECKED;
            resources = ::IsDlgButtonChecked(d.m_hWnd, IDC_IMPORT_RESOURCES) == BST_CHECKED;
            d.OnOK();
            if (!d.IsEnded())
                d.EndDialog(IDCANCEL);
        });
        EXPECT_EQ(0, scansWhileTyping) << c.content;
        EXPECT_EQ(c.valid, ok) << c.content;
        EXPECT_EQ(c.tasks, tasks) << c.content;
        EXPECT_EQ(c.groups, groups) << c.content;
        EXPECT_EQ(c.resources, resources) << c.content;
        EXPECT_EQ(c.valid ? 1 : 0, dlg.m_bFileValid) << c.content;
    }
    // A document type declaration after a comment longer than any first block of the file, whose
    // attribute default would supply the missing version, is still refused; so it is in UTF-16.
    {
        const std::string comment = "<!--" + std::string(20000, 'x') + "-->";
        const std::string tail =
            "<!DOCTYPE VarnoStore [<!ATTLIST VarnoStore version CDATA \"1\">]><VarnoStore><Tasks/></VarnoStore>";
        std::string wide = "\xFF\xFE";
        for (char ch : comment + tail)
            wide += std::string{ch, '\0'};
        int k = 0;
        for (const std::string& content : {comment + tail, wide}) {
            const std::wstring file = dir + L"\\late-dtd" + std::to_wstring(k++) + L".xml";
            WriteBytes(file, content);
            dlgImportModel dlg(nullptr);
            bool ok = true;
            Run<dlgImportModel>(dlg, IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
                d.SetDlgItemText(IDC_IMPORT_PATH, file);
                d.FlushPrescan();
                ok = OkEnabled(d);
                d.EndDialog(IDCANCEL);
            });
            EXPECT_FALSE(ok) << k;
            EXPECT_EQ(0, dlg.m_bFileValid) << k;
        }
    }
    // The scan also runs by itself once typing pauses.
    dlgImportModel dlg(nullptr);
    bool ok = false;
    Run<dlgImportModel>(dlg, IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
        d.SetDlgItemText(IDC_IMPORT_PATH, dir + L"\\scan0.xml");
        DWORD until = ::GetTickCount() + 3000;
        while (!OkEnabled(d) && ::GetTickCount() < until) {
            Pump();
            ::Sleep(20);
        }
        ok = OkEnabled(d);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_TRUE(ok);
}

TEST_F(DialogFixture, ImportModelClearingHandsBackNoMergeFlag) {
    const std::wstring file = dir + L"\\full.xml";
    WriteBytes(file, "<VarnoStore version=\"1\"><Resources/><RGroups/><Tasks/></VarnoStore>");
    struct Case {
        int updatePresent;
        int chooseRadio; // 0: leave as it starts
        int clear, merge;
    } cases[] = {{1, 0, 0, 1}, {0, 0, 1, 0}, {1, IDC_IMPORT_CLEAR, 1, 0}, {0, IDC_IMPORT_ADD, 0, 1}};
    for (const Case& c : cases) {
        theApp.m_bUpdatePresent = c.updatePresent;
        dlgImportModel dlg(nullptr);
        bool existingEnabled = false;
        EXPECT_EQ(IDOK, Run<dlgImportModel>(dlg, IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
                      d.SetDlgItemText(IDC_IMPORT_PATH, file);
                      d.FlushPrescan();
                      ::CheckDlgButton(d.m_hWnd, IDC_IMPORT_EXISTING, BST_CHECKED);
                      if (c.chooseRadio) {
                          EXPECT_TRUE(Click(d, c.chooseRadio));
                      }
                      existingEnabled = ::IsWindowEnabled(d.GetDlgItem(IDC_IMPORT_EXISTING)) != FALSE;
                      // Groups off: the flags follow the boxes.
                      if (::IsDlgButtonChecked(d.m_hWnd, IDC_IMPORT_GROUPS) == BST_CHECKED)
                          EXPECT_TRUE(Click(d, IDC_IMPORT_GROUPS));
                      d.OnOK();
                  }));
        EXPECT_EQ(c.clear, dlg.m_bClearModel);
        EXPECT_EQ(c.merge, dlg.m_bMergeExisting);
        EXPECT_EQ(!c.clear, existingEnabled);
        EXPECT_EQ(1, dlg.m_bTasks);
        EXPECT_EQ(0, dlg.m_bGroups);
        EXPECT_EQ(1, dlg.m_bResources);
    }
    theApp.m_bUpdatePresent = 1;
}

// ---- path variables and the missing-resource question ----------------------------------------------

TEST_F(DialogFixture, ReplEnvVarKeepsTheChosenRowsAndTheDirection) {
    CPathVarMap table = {
        {L"C:\\A", L"%A%"}, {L"C:\\B", L"%B%"}, {L"C:\\C", L"%C%"}, {L"C:\\D", L"%D%"}, {L"C:\\E", L"%E%"}};
    dlgReplEnvVar dlg(nullptr, &table);
    bool okAll = false, okNone = true;
    std::wstring firstRow;
    EXPECT_EQ(IDOK, Run<dlgReplEnvVar>(dlg, IDD_REPL_ENV_VAR, [&](dlgReplEnvVar& d) {
                  EXPECT_EQ(5, d.m_wndList.GetSelectedCount());
                  firstRow = d.m_wndList.GetItemText(0, 0) + L"=" + d.m_wndList.GetItemText(0, 1);
                  okAll = OkEnabled(d);
                  d.m_wndList.SetItemState(-1, 0, LVIS_SELECTED);
                  okNone = OkEnabled(d);
                  d.m_wndList.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
                  d.m_wndList.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
                  ::CheckRadioButton(d.m_hWnd, IDC_ENVVAR_TO_NAMES, IDC_ENVVAR_TO_PATHS, IDC_ENVVAR_TO_PATHS);
                  d.OnOK();
              }));
    EXPECT_EQ(L"%A%=C:\\A", firstRow);
    EXPECT_TRUE(okAll);
    EXPECT_FALSE(okNone);
    EXPECT_EQ((CPathVarMap{{L"C:\\B", L"%B%"}, {L"C:\\D", L"%D%"}}), dlg.m_Table);
    EXPECT_EQ(0, dlg.m_nDirection);
    EXPECT_EQ(5u, table.size()) << "the caller's table is copied";
    // An empty table greys OK out; the first direction is preselected.
    dlgReplEnvVar empty(nullptr, nullptr);
    bool ok = true;
    int direction = -1;
    Run<dlgReplEnvVar>(empty, IDD_REPL_ENV_VAR, [&](dlgReplEnvVar& d) {
        ok = OkEnabled(d);
        direction = ::IsDlgButtonChecked(d.m_hWnd, IDC_ENVVAR_TO_NAMES);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(BST_CHECKED, direction);
}

// A store of the test's own with items of each kind.
struct StoreFile {
    Varno::SmartPtr<Varno::IProvider> provider = Varno::Common::CreateProvider();
    Varno::SmartPtr<Varno::IDatabase> db;
    explicit StoreFile(const std::wstring& path) {
        ::DeleteFileW(path.c_str());
        db = provider->Open(as_string(path, CP_ACP).c_str());
    }
    ~StoreFile() {
        if (db)
            provider->Close(db->GetHandle());
    }
};

// A store resource whose kind and name cannot be read: the store's error comes out of them.
class CUnreadableResource : public Varno::IResource {
public:
    CUnreadableResource() {
        SetFree([](const Varno::RefCounted* p) { delete static_cast<const CUnreadableResource*>(p); });
    }
    long long GetId() override { return 1; }
    void* QueryItem(int iid) override {
        return iid == Varno::IID_Resource || iid == Varno::IID_StoreItem ? this : nullptr;
    }
    long GetHandle() override { return 0; }
    const wchar_t* GetKindName() override { return L"Device"; }
    int GetInterface() override { return Varno::IID_Resource; }
    int GetKind() override { throw EGeneric(as_string(L"хранилище повреждено", CP_ACP)); }
    std::wstring GetName() override { throw EGeneric(as_string(L"хранилище повреждено", CP_ACP)); }
    std::wstring GetDescription() override { return L""; }
    _time_t GetTime() override { return _time_t(); }
    void SetTime(const _time_t&) override {}
    void SetName(const std::wstring&) override {}
    void SetDescription(const std::wstring&) override {}
    bool IsControlled() override { return true; }
    void SetControlled(bool) override {}
};

// PCI devices as the inventory finds them, or an inventory that fails.
class CTablePci : public VDeviceInfo::IPciSource {
public:
    std::vector<VDeviceInfo::PciDeviceInfo> devices;
    bool fails = false;
    std::vector<VDeviceInfo::PciDeviceInfo> ListDevices() override {
        if (fails)
            throw EGeneric(as_string(L"перечень устройств недоступен", CP_ACP));
        return devices;
    }
};

TEST_F(DialogFixture, ResourceInvalidNamesTheObjectAndClosesOnlyByItsFourAnswers) {
    StoreFile store(dir + L"\\kinds.vdb");
    ASSERT_TRUE(store.db);
    const _time_t t(1);
    auto device = [&](const wchar_t* name) {
        Varno::SmartPtr<Varno::IResource> r = store.db->CreateDevice(name, L"", t, true);
        auto d = Varno::item_cast<Varno::IDevice>(r);
        d->SetProperty(1, _value_t(0x8086));
        d->SetProperty(2, _value_t(0x1234));
        d->SetProperty(3, _value_t(2));
        d->SetProperty(4, _value_t(0x020000));
        return r;
    };
    CTablePci pci;
    VDeviceInfo::PciDeviceInfo moved;
    moved.name = L"Сетевая карта";
    moved.bus = 5;
    moved.vendorId = 0x8086;
    moved.deviceId = 0x1234;
    moved.revisionId = 2;
    moved.classCode = 0x020000;
    VDeviceInfo::Common::SetPciSource(&pci);

    // A check that could not be made (an inventory that fails, a store item that cannot be read)
    // says so with the reason and preselects taking the resource off control, even when removal
    // was the action passed: nothing is deleted by pressing "Да" on a failed check.
    struct Case {
        Varno::SmartPtr<Varno::IResource> item;
        int pciState; // 0 no device, 1 the device elsewhere, 2 the inventory fails
        std::wstring text;
        std::wstring remove;
        int action; // preselected, with removal passed in
    } cases[] = {
        {store.db->CreateFile(L"C:\\Нет\\a.exe", t, true, false), 0, L"Файл \"C:\\Нет\\a.exe\" не найден.",
         L"Удалить файл из списка ресурсов", 0},
        {store.db->CreateDirectory(L"C:\\Нет", t, true), 0, L"Папка \"C:\\Нет\" не найдена.",
         L"Удалить папку из списка ресурсов", 0},
        {store.db->CreateRegistryValue(L"HKEY_CURRENT_USER\\Software\\Нет", L"", t, true), 0,
         L"Переменная реестра \"HKEY_CURRENT_USER\\Software\\Нет\\(Default)\" не найдена.",
         L"Удалить переменную реестра из списка ресурсов", 0},
        {store.db->CreateRegistryValue(L"HKEY_CURRENT_USER\\Software\\Нет",
                                       std::wstring(L"a") + RegBackslashToken + L"b", t, true),
         0, L"Переменная реестра \"HKEY_CURRENT_USER\\Software\\Нет\\a\\b\" не найдена.",
         L"Удалить переменную реестра из списка ресурсов", 0},
        {device(L"Сетевая карта"), 0, L"Устройство \"Сетевая карта\" не найдено.",
         L"Удалить устройство из списка ресурсов", 0},
        {device(L"Сетевая карта"), 1, L"Изменился адрес устройства \"Сетевая карта\".",
         L"Удалить устройство из списка ресурсов", 0},
        {device(L"Сетевая карта"), 2,
         L"Не удалось проверить наличие устройства \"Сетевая карта\".\r\nперечень устройств недоступен",
         L"Удалить устройство из списка ресурсов", 1},
        {Varno::SmartPtr<Varno::IResource>(new CUnreadableResource), 0,
         L"Не удалось прочитать ресурс из хранилища.\r\nхранилище повреждено", L"Удалить ресурс из списка ресурсов", 1},
    };
    for (const Case& c : cases) {
        pci.devices.clear();
        if (c.pciState == 1)
            pci.devices.push_back(moved);
        pci.fails = c.pciState == 2;
        std::unique_ptr<dlgResourceInvalid> dlg;
        ASSERT_NO_THROW(dlg.reset(new dlgResourceInvalid(0, c.item, nullptr)));
        EXPECT_EQ(c.text, dlg->GetText());
        std::wstring shown, remove, uncontrol;
        int preselected = -1;
        Run<dlgResourceInvalid>(*dlg, IDD_RESOURCE_INVALID, [&](dlgResourceInvalid& d) {
            shown = d.GetDlgItemText(IDC_INVALID_TEXT);
            remove = d.GetDlgItemText(IDC_INVALID_REMOVE);
            uncontrol = d.GetDlgItemText(IDC_INVALID_UNCONTROL);
            preselected = ::IsDlgButtonChecked(d.m_hWnd, IDC_INVALID_UNCONTROL) == BST_CHECKED ? 1 : 0;
            d.EndDialog(IDYES);
        });
        EXPECT_EQ(c.text, shown);
        EXPECT_EQ(c.remove, remove);
        EXPECT_EQ(0u, uncontrol.find(L"Снять ")) << uncontrol;
        EXPECT_EQ(c.action, preselected) << c.text;
        EXPECT_EQ(c.action, dlg->GetAction()) << c.text;
    }
    VDeviceInfo::Common::SetPciSource(nullptr);

    // Escape, Ctrl+Break, Cancel and the close box leave it open; the answer and the action come
    // from the buttons.
    const struct {
        int preselected;
        int choose;
        UINT button;
        int action;
    } answers[] = {{0, 0, IDYES, 0},
                   {1, 0, IDNO, 1},
                   {0, IDC_INVALID_UNCONTROL, IDC_INVALID_YES_ALL, 1},
                   {1, IDC_INVALID_REMOVE, IDC_INVALID_NO_ALL, 0}};
    for (const auto& a : answers) {
        dlgResourceInvalid dlg(a.preselected, cases[0].item, nullptr);
        bool openAfterKeys = false;
        EXPECT_EQ((INT_PTR)a.button, Run<dlgResourceInvalid>(dlg, IDD_RESOURCE_INVALID, [&](dlgResourceInvalid& d) {
                      for (WPARAM key : {(WPARAM)VK_ESCAPE, (WPARAM)VK_CANCEL}) {
                          MSG m = {d.GetDlgItem(IDYES), WM_KEYDOWN, key, 0};
                          EXPECT_TRUE(d.PreTranslateMessage(&m));
                      }
                      ::SendMessageW(d.m_hWnd, WM_COMMAND, IDCANCEL, 0);
                      ::SendMessageW(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
                      ::SendMessageW(d.m_hWnd, WM_CLOSE, 0, 0);
                      openAfterKeys = !d.IsEnded();
                      if (a.choose) {
                          EXPECT_TRUE(Click(d, a.choose));
                      } else {
                          EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(d.m_hWnd, a.preselected ? IDC_INVALID_UNCONTROL
                                                                                              : IDC_INVALID_REMOVE));
                      }
                      Click(d, a.button);
                  }));
        EXPECT_TRUE(openAfterKeys);
        EXPECT_EQ(a.action, dlg.GetAction());
    }
}

} // namespace

namespace {

// ---- export and import through the frame -------------------------------------------------------------

TEST_F(FileFixture, ExportThenImportIntoAFreshModelGivesTheSameNodes) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_xml");
    const std::wstring file = dir + L"\\model.xml";
    ::DeleteFileW(file.c_str());
    WriteBytes(dir + L"\\a.exe", "a");
    BuildModel(dir + L"\\a.exe");
    const std::wstring exported = ModelText(frame->m_Model);
    EXPECT_TRUE(Enabled(ID_FILE_EXPORT_XML));
    ps.OnDialog<dlgExportModel>(IDD_EXPORT_MODEL, [&](dlgExportModel& d) {
        d.SetDlgItemText(IDC_EXPORT_PATH, file);
        d.OnOK();
    });
    Send(ID_FILE_EXPORT_XML);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"Модель данных успешно экспортирована.\nФайл модели - " + file, ps.Boxes()[0].text);
    EXPECT_EQ(MB_ICONINFORMATION, ps.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(SiblingTemp(file).c_str())) << "no file left beside it";

    // A fresh model; the import with clearing takes every category of the file. The read and the
    // merge both run on the worker, with the wait window.
    frame->m_Model.NewModel(1, JobSecondEdition);
    frame->m_Model.m_bModified = 0;
    ps.Clear();
    static std::vector<int> ops;
    ops.clear();
    SetBackgroundThreadCreator([](LPTHREAD_START_ROUTINE routine, LPVOID parameter) -> HANDLE {
        ops.push_back(static_cast<SBackgroundOp*>(parameter)->m_nOp);
        DWORD id = 0;
        return ::CreateThread(nullptr, 0, routine, parameter, 0, &id);
    });
    ps.OnDialog<dlgImportModel>(IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
        d.SetDlgItemText(IDC_IMPORT_PATH, file);
        d.FlushPrescan();
        ::CheckRadioButton(d.m_hWnd, IDC_IMPORT_CLEAR, IDC_IMPORT_ADD, IDC_IMPORT_CLEAR);
        d.OnOK();
    });
    Send(ID_FILE_IMPORT_XML);
    SetBackgroundThreadCreator(nullptr);
    EXPECT_EQ((std::vector<int>{OpImportXml, OpMergeImport}), ops);
    EXPECT_EQ(exported, ModelText(frame->m_Model));
    EXPECT_EQ(1, frame->m_Model.m_bModified);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"В результате импорта модели было успешно добавлено 3 объектов.", ps.Boxes()[0].text);
    // The same file again, adding with merging: nothing new.
    ps.Clear();
    ps.OnDialog<dlgImportModel>(IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
        d.SetDlgItemText(IDC_IMPORT_PATH, file);
        d.FlushPrescan();
        EXPECT_TRUE(Click(d, IDC_IMPORT_ADD));
        ::CheckDlgButton(d.m_hWnd, IDC_IMPORT_EXISTING, BST_CHECKED);
        d.OnOK();
    });
    ps.QueueAnswer(IDYES); // the changes of the first import may be lost
    Send(ID_FILE_IMPORT_XML);
    EXPECT_EQ(exported, ModelText(frame->m_Model));
    ASSERT_EQ(2u, ps.Boxes().size());
    EXPECT_EQ(L"В результате импорта модели ни одного объекта добавлено не было.", ps.Boxes()[1].text);
}

// An export or an import whose file cannot be opened says which file and why: the path the user
// chose, the code and the system's text of the real failure, under the command's own message.
TEST_F(FileFixture, AFailedExportOrImportNamesTheFileAndTheCause) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_nofolder");
    WriteBytes(dir + L"\\a.exe", "a");
    BuildModel(dir + L"\\a.exe");
    const std::wstring file = dir + L"\\missing\\model.xml";
    ps.OnDialog<dlgExportModel>(IDD_EXPORT_MODEL, [&](dlgExportModel& d) {
        d.SetDlgItemText(IDC_EXPORT_PATH, file);
        d.OnOK();
    });
    Send(ID_FILE_EXPORT_XML);
    ASSERT_EQ(1u, ps.Boxes().size());
    const std::wstring text = ps.Boxes()[0].text;
    const std::string shown(text.begin(), text.end());
    EXPECT_EQ(MB_ICONERROR, ps.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(0u, text.find(L"В результате экспорта модели данных в XML-файл произошла ошибка.\n\"" + file + L"\": "))
        << shown;
    EXPECT_NE(std::wstring::npos, text.find(L"0x00000003")) << shown;
    EXPECT_EQ(std::wstring::npos, text.find(L".tmp")) << "the name of the file beside the target";
}

TEST_F(FileFixture, AnImportThatCannotReadItsFileChangesNothing) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_badxml");
    // The root and its children look right; an item does not pass the store's reading (no ID).
    const std::string bad = "<VarnoStore version=\"1\"><Resources><Resource kind=\"1\" "
                            "name=\"x\"/></Resources><RGroups/><Tasks/></VarnoStore>";
    const std::string good = "<VarnoStore version=\"1\"><Resources/><RGroups/><Tasks/></VarnoStore>";
    const std::wstring file = dir + L"\\bad.xml";
    WriteBytes(file, bad);
    WriteBytes(dir + L"\\a.exe", "a");
    BuildModel(dir + L"\\a.exe");
    frame->m_Model.m_bModified = 0;
    const std::wstring before = ModelText(frame->m_Model);
    // The dialog's check is the store's reader: it refuses the file, and OK stays greyed out.
    bool okEnabled = true;
    ps.OnDialog<dlgImportModel>(IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
        d.SetDlgItemText(IDC_IMPORT_PATH, file);
        d.FlushPrescan();
        okEnabled = ::IsWindowEnabled(d.GetDlgItem(IDOK)) != FALSE;
        d.OnOK();
        if (!d.IsEnded())
            d.EndDialog(IDCANCEL);
    });
    Send(ID_FILE_IMPORT_XML);
    EXPECT_FALSE(okEnabled);
    EXPECT_TRUE(ps.Boxes().empty());
    EXPECT_EQ(before, ModelText(frame->m_Model));
    // A file replaced between the check and the import: the import fails with the store's reason,
    // and the clearing waits for a complete read.
    WriteBytes(file, good);
    ps.OnDialog<dlgImportModel>(IDD_IMPORT_MODEL, [&](dlgImportModel& d) {
        d.SetDlgItemText(IDC_IMPORT_PATH, file);
        d.FlushPrescan();
        ::CheckRadioButton(d.m_hWnd, IDC_IMPORT_CLEAR, IDC_IMPORT_ADD, IDC_IMPORT_CLEAR);
        WriteBytes(file, bad);
        d.OnOK();
    });
    Send(ID_FILE_IMPORT_XML);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(0u, ps.Boxes()[0].text.find(L"В результате загрузки модели данных из XML произошла ошибка.\n"))
        << ps.Boxes()[0].text;
    EXPECT_NE(std::wstring::npos, ps.Boxes()[0].text.find(L"\"id\" is missing")) << ps.Boxes()[0].text;
    EXPECT_EQ(before, ModelText(frame->m_Model)) << "the clearing waits for a complete read";
    EXPECT_EQ(0, frame->m_Model.m_bModified);
    // No path or no category: E_INVALIDARG, nothing touched.
    EXPECT_EQ(E_INVALIDARG, frame->ImportModelFile(nullptr, 1, 0, 1, 1, 1, 1));
    EXPECT_EQ(E_INVALIDARG, frame->ImportModelFile(file.c_str(), 1, 0, 0, 0, 0, 0));
    EXPECT_EQ(before, ModelText(frame->m_Model));
}

// A model that holds a disk sector the store cannot save (made by hand): the export fails and its
// message names the resource that stops it.
TEST_F(FileFixture, AFailedExportNamesTheObjectThatStopsIt) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_sector");
    const std::wstring file = dir + L"\\sector.xml";
    ::DeleteFileW(file.c_str());
    CIChJob* job = frame->m_Model.EnsureDefaultJob(frame->m_Model.EnsureDefaultSubject(), JobSecondEdition);
    auto* group = static_cast<CIChRGroup*>(frame->m_Model.CreateNode(NodeTypeGroup));
    group->m_Id = frame->m_Model.TakeNextId(NodeTypeGroup);
    group->m_SubType = GroupDiskSectors;
    group->SetName(L"Секторы");
    group->LinkTo(job);
    auto* sector = static_cast<CIChResorce*>(frame->m_Model.CreateNode(NodeTypeResource));
    sector->m_Id = frame->m_Model.TakeNextId(NodeTypeResource);
    sector->SetSubType(ResDiskSector);
    sector->SetName(L"Загрузочный сектор");
    sector->SetParam(L"DISK", _value_t(0));
    sector->SetParam(L"SECTOR", _value_t(-1LL));
    sector->LinkTo(group);
    ps.OnDialog<dlgExportModel>(IDD_EXPORT_MODEL, [&](dlgExportModel& d) {
        d.SetDlgItemText(IDC_EXPORT_PATH, file);
        d.OnOK();
    });
    Send(ID_FILE_EXPORT_XML);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(0u, ps.Boxes()[0].text.find(L"В результате экспорта модели данных в XML-файл произошла ошибка.\n"))
        << ps.Boxes()[0].text;
    EXPECT_NE(std::wstring::npos, ps.Boxes()[0].text.find(L"\"Загрузочный сектор\"")) << ps.Boxes()[0].text;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(file.c_str()));
}

TEST_F(FileFixture, ImportOfOneKindMarksTheModelWheneverItAdds) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_nodes");
    const std::wstring file = dir + L"\\nodes.xml";
    ::DeleteFileW(file.c_str());
    WriteBytes(dir + L"\\a.exe", "a");
    BuildModel(dir + L"\\a.exe");
    ASSERT_EQ(0, frame->ExportModelFile(&frame->m_Model, file));
    frame->m_Model.NewModel(1, JobSecondEdition);

    struct Case {
        int type, withSubordinates, showResults;
        int tasks, groups, resources;
        bool modified;
    } cases[] = {
        {NodeTypeTask, 1, 0, 1, 1, 1, true},  // the task with its group and resource, no message
        {NodeTypeTask, 1, 1, 1, 1, 1, false}, // the same again: nothing new
        {NodeTypeResource, 0, 0, 1, 1, 1, false},
    };
    for (const Case& c : cases) {
        ps.Clear();
        frame->m_bShowResults = c.showResults;
        frame->m_Model.m_bModified = 0;
        CIChNodeList resources;
        EXPECT_EQ(1, frame->ImportNodesFromFile(file.c_str(), c.type, c.withSubordinates, &resources));
        EXPECT_EQ((size_t)c.tasks, frame->m_Model.m_Tasks.size());
        EXPECT_EQ((size_t)c.groups, frame->m_Model.m_Groups.size());
        EXPECT_EQ((size_t)c.resources, frame->m_Model.m_Resources.size());
        EXPECT_EQ(c.modified, frame->m_Model.m_bModified != 0);
        EXPECT_EQ(c.showResults ? 1u : 0u, ps.Boxes().size());
        if (c.type == NodeTypeResource) {
            ASSERT_EQ(1u, resources.size());
            EXPECT_EQ(frame->m_Model.m_Resources.front(), resources.front()) << "the model's own resource";
        }
    }
    frame->m_bShowResults = 1;
    // A file that cannot be read, and a file without the kind.
    ps.Clear();
    ::DeleteFileW((dir + L"\\missing.xml").c_str());
    EXPECT_EQ(0, frame->ImportNodesFromFile((dir + L"\\missing.xml").c_str(), NodeTypeTask, 1));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((dir + L"\\missing.xml").c_str()))
        << "an import creates no file";
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"Ошибка импорта.\nФайл не найден или поврежден, либо имеет некорректный формат.", ps.Boxes()[0].text);
    CIChDataModel empty;
    empty.NewModel(1, JobSecondEdition);
    const std::wstring emptyFile = dir + L"\\empty.xml";
    ::DeleteFileW(emptyFile.c_str());
    ASSERT_EQ(0, frame->ExportModelFile(&empty, emptyFile));
    ps.Clear();
    EXPECT_EQ(0, frame->ImportNodesFromFile(emptyFile.c_str(), NodeTypeGroup, 0));
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"В данном файле не найдено ни одного объекта запрошенной категории.", ps.Boxes()[0].text);
}

// The names of a node list, sorted, with the names of each node's members after a colon.
std::wstring NamesWithMembers(const CIChNodeList& list) {
    std::vector<std::wstring> names;
    for (CIChNode* n : list) {
        std::vector<std::wstring> members;
        for (CIChNode* m : n->m_Members) {
            std::wstring name = m->m_Name;
            members.push_back(name.substr(name.find_last_of(L'\\') + 1));
        }
        std::sort(members.begin(), members.end());
        std::wstring name = n->m_Name.substr(n->m_Name.find_last_of(L'\\') + 1);
        for (const std::wstring& m : members)
            name += L":" + m;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::wstring out;
    for (const std::wstring& n : names)
        out += (out.empty() ? L"" : L" ") + n;
    return out;
}

// Imports of some categories only: what was not chosen stays out, and so do its links; a group
// brings along the resources it holds, never a resource of the file that no imported group holds.
TEST_F(FileFixture, ImportsOfSomeCategoriesTakeOnlyWhatWasChosen) {
    PresenterScope ps;
    const std::wstring file = OpenWithoutStore(L"filecmds_some", L"some.xml");
    const std::wstring dir = file.substr(0, file.find_last_of(L'\\'));
    // G1 holds a.exe and goes into T under the job; G2 holds b.exe; c.exe is in no group.
    CIChDataModel source;
    source.NewModel(1, JobSecondEdition);
    CIChRGroup* g1 = AddNode<CIChRGroup>(source, NodeTypeGroup, L"G1");
    CIChRGroup* g2 = AddNode<CIChRGroup>(source, NodeTypeGroup, L"G2");
    CIChTask* t = AddNode<CIChTask>(source, NodeTypeTask, L"T");
    for (const wchar_t* name : {L"a.exe", L"b.exe", L"c.exe"}) {
        WriteBytes(dir + L"\\" + name, "x");
        CIChResorce* r = AddNode<CIChResorce>(source, NodeTypeResource, L"");
        r->SetSubType(ResFile);
        r->SetName(dir + L"\\" + name);
        if (name[0] == L'a')
            r->LinkTo(g1);
        if (name[0] == L'b')
            r->LinkTo(g2);
    }
    g1->LinkTo(t);
    t->LinkTo(source.m_Jobs.front());
    source.RebuildPathIndex();
    ASSERT_EQ(0, frame->ExportModelFile(&source, file));

    frame->m_bShowResults = 0;
    // The whole-model import with clearing, by the switches of its dialog.
    struct Whole {
        int tasks, groups, resources;
        const wchar_t *taskNames, *groupNames, *resourceNames;
    } wholes[] = {
        {0, 1, 0, L"", L"G1 G2", L""},
        {1, 1, 0, L"T:G1", L"G1 G2", L""},
        {1, 0, 0, L"T", L"", L""},
        {0, 0, 1, L"", L"", L"a.exe b.exe c.exe"},
        {0, 1, 1, L"", L"G1:a.exe G2:b.exe", L"a.exe b.exe c.exe"},
    };
    for (const Whole& w : wholes) {
        SCOPED_TRACE(w.tasks * 100 + w.groups * 10 + w.resources);
        frame->m_Model.NewModel(1, JobSecondEdition);
        ASSERT_EQ(0, frame->ImportModelFile(file.c_str(), 1, 0, w.tasks || w.groups, w.tasks, w.groups, w.resources));
        CIChDataModel& m = frame->m_Model;
        EXPECT_EQ(w.taskNames, NamesWithMembers(m.m_Tasks));
        EXPECT_EQ(w.groupNames, NamesWithMembers(m.m_Groups));
        EXPECT_EQ(w.resourceNames, NamesWithMembers(m.m_Resources));
        EXPECT_EQ(1, m.m_bModified);
    }

    // One node type, with and without subordinates.
    struct One {
        int type, withSubordinates;
        const wchar_t *taskNames, *groupNames, *resourceNames;
    } ones[] = {
        {NodeTypeGroup, 1, L"", L"G1:a.exe G2:b.exe", L"a.exe b.exe"},
        {NodeTypeGroup, 0, L"", L"G1 G2", L""},
        {NodeTypeTask, 1, L"T:G1", L"G1:a.exe", L"a.exe"},
        {NodeTypeTask, 0, L"T", L"", L""},
        {NodeTypeResource, 0, L"", L"", L"a.exe b.exe c.exe"},
    };
    for (const One& o : ones) {
        SCOPED_TRACE(o.type * 10 + o.withSubordinates);
        frame->m_Model.NewModel(1, JobSecondEdition);
        ps.Clear();
        EXPECT_EQ(1, frame->ImportNodesFromFile(file.c_str(), o.type, o.withSubordinates));
        CIChDataModel& m = frame->m_Model;
        EXPECT_EQ(o.taskNames, NamesWithMembers(m.m_Tasks));
        EXPECT_EQ(o.groupNames, NamesWithMembers(m.m_Groups));
        EXPECT_EQ(o.resourceNames, NamesWithMembers(m.m_Resources));
        EXPECT_TRUE(ps.Boxes().empty());
    }
    frame->m_bShowResults = 1;

    // The whole file again, merging: nothing new, and the model still counts as changed.
    frame->m_Model.NewModel(1, JobSecondEdition);
    ASSERT_EQ(0, frame->ImportModelFile(file.c_str(), 0, 1, 1, 1, 1, 1));
    frame->m_Model.m_bModified = 0;
    ps.Clear();
    ASSERT_EQ(0, frame->ImportModelFile(file.c_str(), 0, 1, 1, 1, 1, 1));
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"В результате импорта модели ни одного объекта добавлено не было.", ps.Boxes()[0].text);
    EXPECT_EQ(MB_ICONINFORMATION, ps.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(1, frame->m_Model.m_bModified);

    // A type other than 1, 3, 5, 7: nothing read into the model, no message, 0.
    frame->m_Model.NewModel(1, JobSecondEdition);
    frame->m_Model.m_bModified = 0;
    const std::wstring before = ModelText(frame->m_Model);
    for (int type : {0, 2, 4, 6, 8, 10, 11}) {
        SCOPED_TRACE(type);
        ps.Clear();
        EXPECT_EQ(0, frame->ImportNodesFromFile(file.c_str(), type, 1));
        EXPECT_TRUE(ps.Boxes().empty());
        EXPECT_EQ(before, ModelText(frame->m_Model));
        EXPECT_EQ(0, frame->m_Model.m_bModified);
    }
}

TEST_F(FileFixture, AFailedExportKeepsTheFileThatWasThere) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_keep");
    const std::wstring file = dir + L"\\kept.xml";
    WriteBytes(file, "the earlier export");
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    host.m_bThrowProvider = true; // the export fails half-way
    EXPECT_EQ(static_cast<int>(0x80041234), frame->ExportModelFile(&model, file));
    host.m_bThrowProvider = false;
    EXPECT_EQ(std::vector<UINT>{IDD_EXCEPTION}, ps.Dialogs());
    EXPECT_EQ("the earlier export", KvTest::ReadBytes(file));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(SiblingTemp(file).c_str()));
    // A complete export replaces it.
    EXPECT_EQ(0, frame->ExportModelFile(&model, file));
    EXPECT_NE("the earlier export", KvTest::ReadBytes(file));
}

// "Очистить всё" asks first; on Yes the model is new, with the default job's edition kept, and
// marked modified; an empty model offers nothing to clear.
TEST_F(FileFixture, ClearAsksAndKeepsTheDefaultJobsEdition) {
    PresenterScope ps;
    const std::wstring file = OpenWithoutStore(L"filecmds_clear", L"a.exe");
    WriteBytes(file, "a");
    struct Case {
        int edition;
        int answer;
        bool cleared;
    } cases[] = {{JobBoard, IDNO, false}, {JobBoard, IDYES, true}, {JobSecondEdition, IDYES, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edition * 10 + c.answer);
        BuildModel(file);
        CIChDataModel& m = frame->m_Model;
        static_cast<CIChJob*>(m.m_Jobs.front())->m_SubType = c.edition;
        m.m_bModified = 0;
        frame->SetCurrentNode(m.m_Tasks.front(), 0);
        const std::wstring before = ModelText(m);
        ps.Clear();
        ps.QueueAnswer(c.answer);
        ASSERT_TRUE(Enabled(ID_EDIT_CLEAR_ALL));
        Send(ID_EDIT_CLEAR_ALL);
        ASSERT_EQ(1u, ps.Boxes().size());
        EXPECT_EQ(L"Текущая модель данных будет разрушена. Продолжить?", ps.Boxes()[0].text);
        EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), ps.Boxes()[0].type & (MB_TYPEMASK | MB_ICONMASK));
        if (!c.cleared) {
            EXPECT_EQ(before, ModelText(m));
            EXPECT_EQ(0, m.m_bModified);
            EXPECT_EQ(m.m_Tasks.front(), frame->m_pCurrentNode);
            continue;
        }
        EXPECT_TRUE(m.m_Resources.empty());
        EXPECT_TRUE(m.m_Groups.empty());
        EXPECT_TRUE(m.m_Tasks.empty());
        ASSERT_EQ(1u, m.m_Jobs.size());
        EXPECT_EQ(c.edition, static_cast<CIChJob*>(m.m_Jobs.front())->m_SubType);
        EXPECT_EQ(1u, m.m_Subjects.size());
        EXPECT_EQ(1, m.m_bModified);
        // The deleted task is no longer current: the rebuilt tree shows its root folder.
        EXPECT_TRUE(!frame->m_pCurrentNode || !frame->m_pCurrentNode->IsModelNode());
    }
    // Nothing in the model: the command is off and asks nothing.
    frame->SetCurrentNode(nullptr, 0);
    frame->m_Model.Clear();
    ASSERT_EQ(0u, frame->m_Model.GetNodeCount());
    ps.Clear();
    EXPECT_FALSE(Enabled(ID_EDIT_CLEAR_ALL));
    Send(ID_EDIT_CLEAR_ALL);
    EXPECT_TRUE(ps.Boxes().empty());
}

// A failed export of the model says so with the code's text, and no success; an error that the
// worker has shown in the error dialog is not told twice.
TEST_F(FileFixture, AFailedModelExportShowsItsErrorBox) {
    PresenterScope ps;
    const std::wstring file = OpenWithoutStore(L"filecmds_exportfail", L"failed.xml");
    const std::wstring dir = file.substr(0, file.find_last_of(L'\\'));
    WriteBytes(dir + L"\\a.exe", "a");
    BuildModel(dir + L"\\a.exe");
    // A job of no known edition: the store gets nothing and the export answers with its code.
    static_cast<CIChJob*>(frame->m_Model.m_Jobs.front())->m_SubType = 0;
    auto answer = [&](dlgExportModel& d) {
        ::DeleteFileW(file.c_str());
        d.SetDlgItemText(IDC_EXPORT_PATH, file);
        d.OnOK();
    };
    ps.OnDialog<dlgExportModel>(IDD_EXPORT_MODEL, answer);
    Send(ID_FILE_EXPORT_XML);
    ASSERT_EQ(1u, ps.Boxes().size());
    std::wstring text;
    theApp.GetErrorText((DWORD)kStoreResultNoEdition, text);
    EXPECT_EQ(L"В результате экспорта модели данных в XML-файл произошла ошибка.\n" + text, ps.Boxes()[0].text);
    EXPECT_EQ(MB_ICONERROR, ps.Boxes()[0].type & MB_ICONMASK);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(file.c_str()));
    // The provider fails under way: the error dialog from the worker, and no box after it.
    static_cast<CIChJob*>(frame->m_Model.m_Jobs.front())->m_SubType = JobSecondEdition;
    ps.Clear();
    ps.OnDialog<dlgExportModel>(IDD_EXPORT_MODEL, answer);
    host.m_bThrowProvider = true;
    Send(ID_FILE_EXPORT_XML);
    host.m_bThrowProvider = false;
    EXPECT_EQ((std::vector<UINT>{IDD_EXPORT_MODEL, IDD_EXCEPTION}), ps.Dialogs());
    EXPECT_TRUE(ps.Boxes().empty());
}

// ---- leftovers of exports killed half-way ----------------------------------------------------------------

// A model of many files under one group, task and job: its export takes long enough to be killed in.
void BuildLargeModel(CIChDataModel& m, int files) {
    m.NewModel(1, JobSecondEdition);
    CIChJob* job = static_cast<CIChJob*>(m.m_Jobs.front());
    CIChTask* task = AddNode<CIChTask>(m, NodeTypeTask, L"Задача");
    CIChRGroup* group = AddNode<CIChRGroup>(m, NodeTypeGroup, L"Группа");
    for (int i = 0; i < files; ++i) {
        CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        r->SetSubType(ResFile);
        r->SetName(L"C:\\folder\\file" + std::to_wstring(i) + L".dll");
        r->m_Id = m.TakeNextId(NodeTypeResource);
        r->LinkTo(group);
    }
    group->LinkTo(task);
    task->LinkTo(job);
}

// The model's host with a provider of its own (no application start-up in the child).
class CChildHost : public CAppModelStoreHost {
public:
    Varno::SmartPtr<Varno::IProvider> GetProvider() override { return m_provider; }
    Varno::SmartPtr<Varno::IProvider> m_provider = Varno::Common::CreateProvider();
};

// Runs only as the child process of the test below: exports a large model over and over into the
// temporary file that an export of this process writes beside the target.
TEST(ExportKill, ChildExportsForever) {
    wchar_t target[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"FILECMDS_EXPORT_CHILD_TARGET", target, MAX_PATH))
        GTEST_SKIP() << "runs only as the child process of AnExportRemovesWhatKilledExportsLeftAndNothingElse";
    CChildHost host;
    SetModelStoreHost(&host);
    CIChDataModel model;
    BuildLargeModel(model, 3000);
    for (;;)
        if (model.ExportToStore(SiblingTemp(target)) != 0)
            ::ExitProcess(3);
}

struct ExportChild {
    PROCESS_INFORMATION pi = {};
    std::wstring temp; // the export's temporary file of the child
    explicit ExportChild(const std::wstring& target) {
        ::SetEnvironmentVariableW(L"FILECMDS_EXPORT_CHILD_TARGET", target.c_str());
        EXPECT_TRUE(KvTest::StartSelfRunning(L"ExportKill.ChildExportsForever", pi));
        ::SetEnvironmentVariableW(L"FILECMDS_EXPORT_CHILD_TARGET", nullptr);
        temp = target + L"." + std::to_wstring(pi.dwProcessId) + L".tmp";
        for (int waited = 0; ::GetFileAttributesW(temp.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 20000;
             waited += 20)
            ::Sleep(20);
    }
    bool Runs() const { return ::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
    void Kill() {
        ::TerminateProcess(pi.hProcess, 9);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        pi = {};
    }
    ~ExportChild() {
        if (pi.hProcess)
            Kill();
    }
};

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Exports killed half-way leave "<target>.<pid>.tmp" and its ".new" beside the target. The next
// export into the folder removes those of processes that no longer run; it leaves the files of an
// export that is still going on and files that are not model files, and its own file is whole.
TEST_F(FileFixture, AnExportRemovesWhatKilledExportsLeftAndNothingElse) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    OpenFrame();
    const std::wstring dir = ScratchFolder(L"filecmds_strays");
    const std::wstring file = dir + L"\\model.xml";
    std::vector<std::wstring> left;
    DWORD dead = 0;
    for (int run = 0; run < 4; ++run) {
        ExportChild child(file);
        dead = child.pi.dwProcessId;
        ::Sleep(100 + run * 150);
        ASSERT_TRUE(child.Runs()) << "the child ended by itself";
        child.Kill();
        for (const std::wstring& f : {child.temp, child.temp + L".new"})
            if (Exists(f))
                left.push_back(f);
    }
    ASSERT_GE(left.size(), 4u) << "every killed export left its file";
    // Named like a leftover of a process that no longer runs, but not a model file; a folder.
    const std::wstring notes = dir + L"\\notes.xml." + std::to_wstring(dead) + L".tmp",
                       folder = dir + L"\\folder.xml." + std::to_wstring(dead) + L".tmp";
    WriteBytes(notes, "someone else's notes");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    // An export going on in another process.
    ExportChild running(file);

    CIChDataModel model;
    BuildLargeModel(model, 10);
    EXPECT_EQ(0, frame->ExportModelFile(&model, file));
    for (const auto& f : left)
        EXPECT_FALSE(Exists(f)) << as_string(f, CP_UTF8);
    EXPECT_EQ("someone else's notes", KvTest::ReadBytes(notes));
    EXPECT_TRUE(Exists(folder));
    EXPECT_TRUE(running.Runs()) << "the export going on was not disturbed";
    EXPECT_TRUE(Exists(running.temp));
    CIChDataModel back;
    EXPECT_EQ(0, back.ImportFromStore(file, 15)) << "the export's own file is whole";
    EXPECT_EQ(10u, back.m_Resources.size());

    // Once it is killed too, the next export removes what it left.
    const std::wstring runningTemp = running.temp;
    running.Kill();
    EXPECT_EQ(0, frame->ExportModelFile(&model, file));
    EXPECT_FALSE(Exists(runningTemp));
    EXPECT_FALSE(Exists(runningTemp + L".new"));
    ::DeleteFileW(notes.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// ---- the missing-resource question from the worker --------------------------------------------------------

TEST_F(FileFixture, AMissingFileAsksFromTheWorkerAndEachAnswerGivesItsModel) {
    PresenterScope ps;
    ::DeleteFileW(kStoreFile);
    const std::wstring dir = ScratchFolder(L"filecmds_missing");
    OpenFrame();
    struct Case {
        UINT button;
        int choose;           // radio to choose, 0 keeps the preselection
        int questions;        // dialogs shown for the two missing files
        size_t resourcesLeft; // of three
        int controlledLeft;
        bool modified;
    } cases[] = {
        {IDYES, 0, 2, 1, 1, true},                     // removed, one by one
        {IDYES, IDC_INVALID_UNCONTROL, 2, 3, 1, true}, // taken off control
        {IDNO, 0, 2, 3, 3, false},                     // loaded as stored
        {IDC_INVALID_YES_ALL, 0, 1, 1, 1, true},       // one answer for both
        {IDC_INVALID_NO_ALL, 0, 1, 3, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "button " << c.button);
        // Three controlled files saved; two of them then go missing.
        for (const wchar_t* n : {L"\\a.exe", L"\\b.exe", L"\\c.exe"})
            WriteBytes(dir + n, "x");
        BuildModel(dir + L"\\a.exe");
        CIChDataModel& m = frame->m_Model;
        CIChNode* group = m.m_Groups.front();
        for (const wchar_t* n : {L"\\b.exe", L"\\c.exe"}) {
            CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
            r->SetSubType(ResFile);
            r->SetName(dir + n);
            r->m_Id = m.TakeNextId(NodeTypeResource);
            r->LinkTo(group);
        }
        Send(ID_FILE_SAVE);
        ASSERT_EQ(0, m.m_bModified);
        ::DeleteFileW((dir + L"\\b.exe").c_str());
        ::DeleteFileW((dir + L"\\c.exe").c_str());

        ps.Clear();
        std::vector<std::wstring> texts;
        std::vector<DWORD> threads;
        const DWORD uiThread = ::GetCurrentThreadId();
        bool waitHidden = false, buttonsOff = false;
        UINT treeItems = 1;
        ps.OnDialog<dlgResourceInvalid>(IDD_RESOURCE_INVALID, [&](dlgResourceInvalid& d) {
            texts.push_back(d.GetDlgItemText(IDC_INVALID_TEXT));
            threads.push_back(::GetCurrentThreadId());
            // While the question waits for the user, the wait window is not shown and the toolbar
            // offers nothing (no command is answered meanwhile).
            // (The worker may ask before the window has made its wait window: it is made hidden then.)
            HWND wait = nullptr;
            KvTest::WaitUntil([&] { return (wait = FindWaitDialog(frame->m_hWnd, uiThread)) != nullptr; }, 2000);
            waitHidden = wait && KvTest::WaitUntil([&] { return !::IsWindowVisible(wait); }, 2000);
            ::Sleep(200);
            waitHidden = waitHidden && !::IsWindowVisible(wait);
            // The tree holds no item of the nodes the worker frees: one it selected meanwhile (taking
            // the focus back from this question) would make a freed node current.
            treeItems = (UINT)::SendMessageW(frame->GetTree().m_hWnd, TVM_GETCOUNT, 0, 0);
            buttonsOff = true;
            for (UINT id : {ID_FILE_SAVE, ID_HISTORY_FORWARD, ID_HELP_TOPICS, ID_FIND})
                buttonsOff = buttonsOff && !frame->m_wndToolBar.SendMessage(TB_ISBUTTONENABLED, id, 0);
            if (c.choose)
                ::CheckRadioButton(d.m_hWnd, IDC_INVALID_REMOVE, IDC_INVALID_UNCONTROL, c.choose);
            d.EndDialog(c.button);
        });
        Send(ID_FILE_RESTORE);
        EXPECT_TRUE(waitHidden);
        EXPECT_TRUE(buttonsOff);
        EXPECT_EQ(0u, treeItems) << "the tree let go of the model's nodes while the worker ran";
        EXPECT_GT(::SendMessageW(frame->GetTree().m_hWnd, TVM_GETCOUNT, 0, 0), 0) << "and was rebuilt after";
        EXPECT_EQ((size_t)c.questions, texts.size());
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(L"Файл \"" + dir + L"\\b.exe\" не найден.", texts[0]);
        EXPECT_NE(::GetCurrentThreadId(), threads[0]) << "asked by the worker";
        EXPECT_EQ(c.resourcesLeft, m.m_Resources.size());
        int controlled = 0;
        for (CIChNode* n : m.m_Resources)
            controlled += static_cast<CIChResorce*>(n)->m_Controlled;
        EXPECT_EQ(c.controlledLeft, controlled);
        EXPECT_EQ(c.modified, m.m_bModified != 0);
        m.m_bModified = 0;
    }
}

// ---- the merge of many trees ----------------------------------------------------------------------------

// A model of groups of file resources under one task and job, named by the numbers given.
// A source is as a model file reads: its job under no subject.
void FillModel(CIChDataModel& m, int first, int count, int perGroup, bool source = false) {
    CIChJob* job = nullptr;
    if (source) {
        job = AddNode<CIChJob>(m, NodeTypeJob, L"Контроль целостности");
        job->m_SubType = JobSecondEdition;
    } else {
        job = m.EnsureDefaultJob(m.EnsureDefaultSubject(), JobSecondEdition);
    }
    CIChTask* task = AddNode<CIChTask>(m, NodeTypeTask, L"T");
    task->LinkTo(job);
    CIChRGroup* g = nullptr;
    for (int i = first; i < first + count; ++i) {
        if ((i - first) % perGroup == 0) {
            g = AddNode<CIChRGroup>(m, NodeTypeGroup, L"G" + std::to_wstring(i / perGroup));
            g->LinkTo(task);
        }
        CIChResorce* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        r->SetSubType(ResFile);
        r->SetName(L"C:\\merge\\f" + std::to_wstring(i) + L".dll");
        r->m_Id = m.TakeNextId(NodeTypeResource);
        r->LinkTo(g);
    }
    m.RebuildPathIndex();
}

TEST(MergeTrees, ManyTreesAtOnceGiveWhatOneAfterAnotherGives) {
    for (int merge : {0, 1}) {
        CIChDataModel one, batch, src1, src2;
        FillModel(one, 0, 300, 50);
        FillModel(batch, 0, 300, 50);
        // The sources overlap the targets in half their resources and share the group names.
        FillModel(src1, 150, 300, 50, true);
        FillModel(src2, 150, 300, 50, true);
        // A resource of no group, a second task.
        for (CIChDataModel* s : {&src1, &src2}) {
            CIChResorce* loose = static_cast<CIChResorce*>(s->CreateNode(NodeTypeResource));
            loose->SetSubType(ResFile);
            loose->SetName(L"C:\\merge\\loose.dll");
            AddNode<CIChTask>(*s, NodeTypeTask, L"T2");
        }
        int sequential = 0;
        for (int type : {NodeTypeResource, NodeTypeGroup, NodeTypeTask, NodeTypeJob}) {
            CIChNodeList& list = *src1.GetNodeList(type);
            std::vector<CIChNode*> roots(list.begin(), list.end());
            list.clear();
            for (CIChNode*& r : roots)
                sequential += one.AddNodeTree(&r, merge);
        }
        int batched = batch.TakeImported(src2, 15, merge);
        EXPECT_EQ(sequential, batched) << merge;
        EXPECT_EQ(ModelText(one), ModelText(batch)) << merge;
        // Every resource has its links both ways and appears once.
        for (CIChNode* r : batch.m_Resources)
            for (CIChNode* u : r->m_Uppers)
                EXPECT_EQ(1, std::count(u->m_Members.begin(), u->m_Members.end(), r));
        EXPECT_EQ(451u, batch.m_Resources.size());
    }
}

} // namespace
