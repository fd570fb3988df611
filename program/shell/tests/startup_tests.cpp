// Start-up and shutdown of the application object: the order of the checks and of the outside
// libraries' calls for each case, the messages, the settings written only after the instance
// lock; and two real processes for the single instance.
#include <gtest/gtest.h>

#include "kvtest.h"

#include "DaVIdevaRez.h"
#include "dlgException.h"
#include "DoubleLog.h"
#include "MainFrm.h"
#include "resource.h"

#include <VDevInfo.h>

#include <fstream>
#include <sstream>

namespace {

using KvTest::TestTmp;

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// The outside libraries, logged into the doubles' log and passed on to the real ones.
class CLoggedLibraries : public COutsideLibraries {
public:
    int admin = 1;
    void AttachInventory() override {
        DoubleLog("AttachInventory");
        COutsideLibraries::AttachInventory();
    }
    void AttachStore() override {
        DoubleLog("AttachStore");
        COutsideLibraries::AttachStore();
    }
    void AttachFinder() override {
        DoubleLog("AttachFinder");
        COutsideLibraries::AttachFinder();
    }
    void DetachStore() override {
        DoubleLog("DetachStore");
        COutsideLibraries::DetachStore();
    }
    void DetachFinder() override {
        DoubleLog("DetachFinder");
        COutsideLibraries::DetachFinder();
    }
    void DetachInventory() override {
        DoubleLog("DetachInventory");
        COutsideLibraries::DetachInventory();
    }
    int CheckDisks() override {
        DoubleLog("CheckDisks");
        return COutsideLibraries::CheckDisks();
    }
    void CreateProvider(CStoreHolder& h) override {
        DoubleLog("CreateProvider");
        COutsideLibraries::CreateProvider(h);
    }
    void DestroyProvider() override {
        DoubleLog("DestroyProvider");
        COutsideLibraries::DestroyProvider();
    }
    int IsUserAdmin() override {
        DoubleLog("IsUserAdmin");
        return admin;
    }
};

class CFixtureDrives : public VDeviceInfo::IDriveSource {
public:
    std::vector<VDeviceInfo::DriveInfo> drives;
    std::vector<VDeviceInfo::DriveInfo> ListDrives() override { return drives; }
};

std::vector<std::string> ReadLog(const std::wstring& path) {
    std::ifstream in(Narrow(path));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool ProfileExists() {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client\\DaVIdevaRez\\LocalMode", 0, KEY_READ,
                        &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

int g_windowsSeen = 0;

// Closes the main window once it is up, as a user would.
void CALLBACK CloseMainWindow(HWND, UINT, UINT_PTR id, DWORD) {
    if (KvUi::CWnd* w = KvUi::AfxGetMainWnd()) {
        if (w->m_hWnd && ::IsWindowVisible(w->m_hWnd)) {
            ++g_windowsSeen;
            ::KillTimer(nullptr, id);
            w->PostMessage(WM_CLOSE);
        }
    }
}

const std::vector<std::string> kAttach = {"AttachInventory", "AttachStore", "AttachFinder"};
const std::vector<std::string> kJointOff = {"kvhwapi.KvHwGetInterface", "kvhwapi.Notify",
                                            "kvhwapi.GetJointMode",     "kvhwapi.IsJointMode",
                                            "kvhwapi.JointRelease",     "kvhwapi.KvHwReleaseInterface"};
const std::vector<std::string> kBoard = {"VrnApi64.VrnGetInterface(0,0)", "VrnApi64.IsBoardPresent"};
const std::vector<std::string> kShutdown = {"DestroyProvider", "DetachStore", "DetachFinder", "DetachInventory"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(StartUp, CasesCallInOrderShowTheirMessageAndShutDownInOrder) {
    struct Case {
        const char* name;
        int admin;
        const wchar_t* board;
        const wchar_t* joint;
        bool badDisk;
        std::vector<std::string> log;
        const wchar_t* message; // null: no box
        UINT icon;
        bool window;
    };
    const std::wstring noBoard = KvUi::LoadStr(IDS_NO_BOARD);
    const std::wstring joint = KvUi::LoadStr(IDS_JOINT_MODE);
    const std::wstring disks = KvUi::LoadStr(IDS_DISKS_NOT_RECOGNISED);
    const std::wstring notAdmin = KvUi::LoadStr(IDS_NOT_ADMIN);
    const Case cases[] = {
        {"board present", 1, L"present", L"off", false,
         Join({kAttach, {"IsUserAdmin"}, kJointOff, kBoard, {"CheckDisks", "CreateProvider"}, kShutdown}), nullptr, 0,
         true},
        {"no board", 1, L"absent", L"off", false,
         Join({kAttach, {"IsUserAdmin"}, kJointOff, kBoard, {"CheckDisks", "CreateProvider"}, kShutdown}),
         noBoard.c_str(), MB_ICONWARNING, true},
        {"joint mode on", 1, L"present", L"flag", false, Join({kAttach, {"IsUserAdmin"}, kJointOff, kShutdown}),
         joint.c_str(), MB_ICONWARNING, false},
        {"disk not recognised", 1, L"present", L"off", true,
         Join({kAttach, {"IsUserAdmin"}, kJointOff, kBoard, {"CheckDisks", "CreateProvider"}, kShutdown}),
         disks.c_str(), MB_ICONWARNING, true},
        {"not an administrator", 0, L"present", L"off", false, Join({kAttach, {"IsUserAdmin"}, kShutdown}),
         notAdmin.c_str(), MB_ICONERROR, false},
    };
    const std::wstring log = TestTmp() + L"\\startup.log";
    ::SetEnvironmentVariableW(L"KV_DOUBLE_LOG", log.c_str());
    CLoggedLibraries libs;
    CFixtureDrives drives;
    VDeviceInfo::DriveInfo bad;
    bad.mediaType = VDeviceInfo::MediaTypeFixed;
    bad.partitionStyle = VDeviceInfo::PartitionStyleRaw;
    theApp.SetOutsideLibraries(&libs);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileW(log.c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
        ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", c.board);
        ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", c.joint);
        drives.drives.clear();
        if (c.badDisk)
            drives.drives.push_back(bad);
        VDeviceInfo::Common::SetDriveSource(&drives);
        libs.admin = c.admin;
        KvUi::CScriptedPresenter presenter;
        KvUi::IPresenter* old = KvUi::SetPresenter(&presenter);
        g_windowsSeen = 0;
        theApp.m_strAppName.clear();
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, CloseMainWindow);
        int code = KvUi::AfxWinMain(::GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE);
        ::KillTimer(nullptr, timer);
        KvUi::SetPresenter(old);
        VDeviceInfo::Common::SetDriveSource(nullptr);

        EXPECT_EQ(c.log, ReadLog(log));
        auto boxes = presenter.Boxes();
        if (c.message) {
            ASSERT_EQ(1u, boxes.size());
            EXPECT_EQ(std::wstring(c.message), boxes[0].text);
            EXPECT_EQ(L"Zidezedaza rizodorar AZ", boxes[0].caption);
            EXPECT_EQ(c.icon, boxes[0].type & MB_ICONMASK);
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        EXPECT_EQ(c.window ? 1 : 0, g_windowsSeen);
        EXPECT_EQ(0, code);
        // Settings are written back only by a start that got the instance lock.
        EXPECT_EQ(c.window, ProfileExists());
        EXPECT_EQ(nullptr, theApp.m_hInstanceMutex);
        EXPECT_EQ(nullptr, theApp.m_pMainWnd);
    }
    theApp.SetOutsideLibraries(nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_LOG", nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
}

// ---- the workspace kept from one start to the next ---------------------------------------------

// What one start saw of its main window, and what the first start changes before it closes.
struct SWorkspaceSeen {
    RECT window = {};
    int relationsSize = 0;
    bool relationsShown = false, captionShown = false, toolbarShown = false, statusShown = false;
};
SWorkspaceSeen g_seen;
bool g_changeWorkspace = false;
const RECT kMovedTo = {140, 90, 140 + 760, 90 + 540};

// Once the window is up and its model restored: records it (after the first start's changes, as
// a user makes them) and closes it.
void CALLBACK SeeAndCloseMainWindow(HWND, UINT, UINT_PTR id, DWORD) {
    CMainFrame* frame = dynamic_cast<CMainFrame*>(KvUi::AfxGetMainWnd());
    if (!frame || !frame->m_hWnd || !::IsWindowVisible(frame->m_hWnd) || !::IsWindowEnabled(frame->m_hWnd))
        return;
    ::KillTimer(nullptr, id);
    auto shown = [](HWND h) { return (::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; };
    if (g_changeWorkspace) {
        ::MoveWindow(frame->m_hWnd, kMovedTo.left, kMovedTo.top, kMovedTo.right - kMovedTo.left,
                     kMovedTo.bottom - kMovedTo.top, TRUE);
        frame->SendMessage(WM_COMMAND, ID_VIEW_RELATIONS); // shown
        frame->m_wndOutput.SetPaneSize(173);
        frame->SendMessage(WM_COMMAND, ID_VIEW_CAPTION); // hidden
        frame->SendMessage(WM_COMMAND, ID_VIEW_TOOLBAR); // hidden
    }
    frame->GetWindowRect(&g_seen.window);
    g_seen.relationsSize = frame->m_wndOutput.GetPaneSize();
    g_seen.relationsShown = frame->m_wndOutput.IsPaneVisible() != FALSE;
    g_seen.captionShown = shown(frame->m_wndCaptionBar.m_hWnd);
    g_seen.toolbarShown = shown(frame->m_wndToolBar.m_hWnd);
    g_seen.statusShown = shown(frame->m_wndStatusBar.m_hWnd);
    frame->PostMessage(WM_CLOSE);
}

TEST(StartUp, TheWindowsPlaceAndBarsAreKeptForTheNextStart) {
    CLoggedLibraries libs;
    CFixtureDrives drives;
    theApp.SetOutsideLibraries(&libs);
    VDeviceInfo::Common::SetDriveSource(&drives);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", L"present");
    ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", L"off");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
    auto start = [&](bool change) {
        KvUi::CScriptedPresenter presenter;
        KvUi::IPresenter* old = KvUi::SetPresenter(&presenter);
        g_seen = SWorkspaceSeen();
        g_changeWorkspace = change;
        theApp.m_strAppName.clear();
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, SeeAndCloseMainWindow);
        EXPECT_EQ(0, KvUi::AfxWinMain(::GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE));
        ::KillTimer(nullptr, timer);
        KvUi::SetPresenter(old);
        return g_seen;
    };
    // A first start: the relation pane hidden, the bars shown; the user moves the window, opens
    // the relation pane at a height of his own and hides the caption bar and the toolbar.
    SWorkspaceSeen first = start(true);
    EXPECT_TRUE(::EqualRect(&first.window, &kMovedTo));
    // The next start opens as the first was left.
    SWorkspaceSeen next = start(false);
    EXPECT_TRUE(::EqualRect(&next.window, &kMovedTo))
        << next.window.left << "," << next.window.top << " " << next.window.right << "," << next.window.bottom;
    EXPECT_EQ(173, next.relationsSize);
    EXPECT_TRUE(next.relationsShown);
    EXPECT_FALSE(next.captionShown);
    EXPECT_FALSE(next.toolbarShown);
    EXPECT_TRUE(next.statusShown);
    // A place off every screen (another screen layout) is not taken: the window opens where the
    // system puts it, on the screen.
    const int offScreen[5] = {-30000, -30000, -29000, -29000, 0};
    ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client\\DaVIdevaRez\\LocalMode\\WorkSpace",
                      L"WindowPlacement", REG_BINARY, offScreen, sizeof(offScreen));
    SWorkspaceSeen lost = start(false);
    EXPECT_TRUE(::MonitorFromRect(&lost.window, MONITOR_DEFAULTTONULL) != nullptr);
    theApp.SetOutsideLibraries(nullptr);
    VDeviceInfo::Common::SetDriveSource(nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
}

// ---- an exception in the message loop's translation ------------------------------------------

class CThrowingWnd : public KvUi::CWnd {
public:
    BOOL PreTranslateMessage(MSG* m) override {
        if (m->message == WM_APP + 7) {
            EGeneric e("loop failure");
            e["Code"] = _value_t(42);
            throw e;
        }
        return FALSE;
    }
};
CThrowingWnd* g_thrower = nullptr;

void CALLBACK ArmThrower(HWND, UINT, UINT_PTR id, DWORD) {
    KvUi::CWnd* w = KvUi::AfxGetMainWnd();
    // Armed once the window is up and no model operation runs (the frame is disabled while one
    // does): the message must reach the application's own loop, not an operation's wait.
    if (!w || !w->m_hWnd || !::IsWindowVisible(w->m_hWnd) || !::IsWindowEnabled(w->m_hWnd))
        return;
    ::KillTimer(nullptr, id);
    g_thrower->CreateEx(0, nullptr, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr);
    g_thrower->PostMessage(WM_APP + 7);
}

TEST(StartUp, ExceptionInTheLoopIsReportedOnceAndTheProgramGoesOnToItsShutdown) {
    const std::wstring log = TestTmp() + L"\\loop.log";
    ::DeleteFileW(log.c_str());
    ::SetEnvironmentVariableW(L"KV_DOUBLE_LOG", log.c_str());
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", L"present");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
    CLoggedLibraries libs;
    CFixtureDrives noDrives;
    VDeviceInfo::Common::SetDriveSource(&noDrives);
    theApp.SetOutsideLibraries(&libs);
    KvUi::CScriptedPresenter presenter;
    std::wstring report;
    int reports = 0;
    presenter.OnDialog(IDD_EXCEPTION, [&](KvUi::CDialog& d) {
        ++reports;
        report = static_cast<dlgException&>(d).GetText();
        d.EndDialog(IDOK);
        // The program goes on after the report: the user closes it.
        if (KvUi::CWnd* w = KvUi::AfxGetMainWnd())
            w->PostMessage(WM_CLOSE);
    });
    KvUi::IPresenter* old = KvUi::SetPresenter(&presenter);
    CThrowingWnd thrower;
    g_thrower = &thrower;
    UINT_PTR timer = ::SetTimer(nullptr, 0, 20, ArmThrower);
    int code = KvUi::AfxWinMain(::GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE);
    ::KillTimer(nullptr, timer);
    KvUi::SetPresenter(old);
    VDeviceInfo::Common::SetDriveSource(nullptr);
    theApp.SetOutsideLibraries(nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_LOG", nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", nullptr);

    EXPECT_EQ(0, code);
    EXPECT_EQ(1, reports);
    EXPECT_EQ(0u, report.find(L"Код: 0x0000002A\r\nТекст: loop failure\r\n\r\nSource: ")) << report;
    auto lines = ReadLog(log);
    ASSERT_GE(lines.size(), kShutdown.size());
    EXPECT_EQ(kShutdown, std::vector<std::string>(lines.end() - kShutdown.size(), lines.end()));
    EXPECT_TRUE(ProfileExists()) << "the settings were not saved";
    EXPECT_EQ(nullptr, theApp.m_hInstanceMutex);
    // The window that the failed loop left behind goes without ending another loop.
    if (KvUi::CWnd* w = theApp.m_pMainWnd) {
        theApp.m_pMainWnd = nullptr;
        w->DestroyWindow();
    }
    thrower.DestroyWindow();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
}

// ---- the instance lock in one process ------------------------------------------------------------

TEST(SingleInstance, LockThatCannotBeMadeOrWhoseOwnerHasNoWindowIsSaid) {
    const wchar_t* name = L"Global\\DaVIdevaRez-7F28861D-DFD4-4ebd-AE16-923A9C16B9FB";
    KvUi::CScriptedPresenter presenter;
    KvUi::IPresenter* old = KvUi::SetPresenter(&presenter);
    {
        // Another kind of object holds the name: no mutex can be made.
        HANDLE squatter = ::CreateEventW(nullptr, FALSE, FALSE, name);
        ASSERT_NE(nullptr, squatter);
        EXPECT_EQ(1, theApp.CheckSingleInstance());
        EXPECT_EQ(nullptr, theApp.m_hInstanceMutex);
        ::CloseHandle(squatter);
    }
    {
        // A running instance whose window does not answer.
        HANDLE other = ::CreateMutexW(nullptr, FALSE, name);
        ASSERT_NE(nullptr, other);
        EXPECT_EQ(1, theApp.CheckSingleInstance());
        EXPECT_EQ(nullptr, theApp.m_hInstanceMutex);
        ::CloseHandle(other);
    }
    {
        // Alone: the lock is taken, and asking again changes nothing.
        EXPECT_EQ(0, theApp.CheckSingleInstance());
        HANDLE held = theApp.m_hInstanceMutex;
        EXPECT_NE(nullptr, held);
        EXPECT_EQ(0, theApp.CheckSingleInstance());
        EXPECT_EQ(held, theApp.m_hInstanceMutex);
        ::CloseHandle(held);
        theApp.m_hInstanceMutex = nullptr;
    }
    KvUi::SetPresenter(old);
    auto boxes = presenter.Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(0u, boxes[0].text.find(L"Не удалось создать объект, защищающий от повторного запуска программы"));
    EXPECT_EQ(MB_ICONERROR, boxes[0].type & MB_ICONMASK);
    EXPECT_EQ(KvUi::LoadStr(IDS_ALREADY_RUNNING), boxes[1].text);
    EXPECT_EQ(MB_ICONERROR, boxes[1].type & MB_ICONMASK);
}

// ---- two processes ---------------------------------------------------------------------------

struct Process {
    PROCESS_INFORMATION pi = {};
    bool Start(const std::wstring& exe) {
        STARTUPINFOW si = {sizeof(si)};
        std::wstring cmd = L"\"" + exe + L"\"";
        return ::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
    }
    bool Wait(DWORD ms) { return ::WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }
    void Kill() {
        if (pi.hProcess && !Wait(0))
            ::TerminateProcess(pi.hProcess, 99);
    }
    ~Process() {
        Kill();
        if (pi.hProcess) {
            ::CloseHandle(pi.hProcess);
            ::CloseHandle(pi.hThread);
        }
    }
};

// The visible top-level window of the process with the title.
HWND WindowOf(DWORD pid, const wchar_t* title) {
    struct Args {
        DWORD pid;
        const wchar_t* title;
        HWND found;
    } args = {pid, title, nullptr};
    ::EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            Args* a = reinterpret_cast<Args*>(lp);
            DWORD p = 0;
            ::GetWindowThreadProcessId(h, &p);
            wchar_t text[64] = {};
            ::GetWindowTextW(h, text, 64);
            if (p == a->pid && ::IsWindowVisible(h) && wcscmp(text, a->title) == 0) {
                a->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&args));
    return args.found;
}

HWND MainWindowOf(DWORD pid) { return WindowOf(pid, L"Zidezedaza rizodorar AZ"); }

bool ProfileHas(const wchar_t* value) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client\\DaVIdevaRez\\LocalMode", 0, KEY_READ,
                        &h) != ERROR_SUCCESS)
        return false;
    bool has = ::RegQueryValueExW(h, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(h);
    return has;
}

TEST(SingleInstance, SecondProcessBringsTheFirstForwardAndEndsWithoutWritingSettings) {
    wchar_t bin[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"KV_BIN_DIR", bin, MAX_PATH);
    const std::wstring exe = std::wstring(bin) + L"\\VICheck64.exe";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
    // The board double answers "present" and the joint mode "off": the start shows no box.
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", L"present");
    ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", L"off");

    // No store left by other tests: its resources could be missing here, and the first instance
    // would stop its start at the question about them.
    ::DeleteFileW(L"C:\\Varno\\Localhost.vdb");

    Process first;
    ASSERT_TRUE(first.Start(exe));
    HWND main = nullptr;
    for (int i = 0; i < 600 && !main; ++i) {
        ::Sleep(50);
        main = MainWindowOf(first.pi.dwProcessId);
        ASSERT_FALSE(first.Wait(0)) << "the first instance ended";
    }
    ASSERT_NE(nullptr, main) << "the first instance opened no window";
    // Without a store the program offers the new-model setup; the user cancels it and goes on with
    // a new empty model.
    HWND setup = nullptr;
    for (int i = 0; i < 600 && !setup; ++i) {
        ::Sleep(50);
        setup = WindowOf(first.pi.dwProcessId, L"Настройка новой модели данных");
    }
    ASSERT_NE(nullptr, setup) << "a start without a store offered no new-model setup";
    ::PostMessageW(setup, WM_COMMAND, IDCANCEL, 0);
    // The first instance has finished its start (the restore of the model runs with the window
    // disabled) and answers messages.
    ASSERT_TRUE(KvTest::WaitUntilSettled(main)) << "the first instance does not answer";
    ::ShowWindow(main, SW_MINIMIZE);
    for (int i = 0; i < 100 && !::IsIconic(main); ++i)
        ::Sleep(20);

    Process second;
    ASSERT_TRUE(second.Start(exe));
    ASSERT_TRUE(second.Wait(60000)) << "the second instance did not end";
    DWORD code = 1;
    ::GetExitCodeProcess(second.pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    for (int i = 0; i < 100 && ::IsIconic(main); ++i)
        ::Sleep(20);
    EXPECT_FALSE(::IsIconic(main)) << "the first window was not restored";
    EXPECT_FALSE(ProfileExists()) << "the refused start wrote settings";
    EXPECT_FALSE(first.Wait(0));

    // Closing the first window runs its shutdown, which writes the settings.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.Wait(60000));
    ::GetExitCodeProcess(first.pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(ProfileHas(L"Confirmation"));
    EXPECT_TRUE(ProfileHas(L"ExeByExten"));
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", nullptr);
    ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
}

} // namespace
