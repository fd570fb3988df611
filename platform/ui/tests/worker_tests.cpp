// Long work off the window's thread and the update handlers of a dialog's own controls: the
// progress window with its cancel button, a quit during a run, the worker's exception on the
// window's thread; buttons that follow their update handlers in a modal loop and when idle.
#include <gtest/gtest.h>

#include "kvpresenter.h"
#include "kvtest.h"
#include "kvui/kvui.h"

#include <stdexcept>
#include <string>
#include <thread>

using namespace KvUi;

namespace {

const int g_init = (::InitCommonControls(), 0);

using KvTest::WaitUntil;

std::wstring TextOf(HWND h) {
    wchar_t buf[512] = {};
    ::GetWindowTextW(h, buf, 512);
    return buf;
}

// ---- the progress window -----------------------------------------------------------------------

enum class Stop { None, Button, Escape, CloseBox, Throws, ThrowsCancelled };

struct ProgressCase {
    const char* name;
    Stop stop;
    CProgressDialog::Result result;
};

class ProgressTest : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressTest, WorkRunsOffTheWindowsThreadWithItsOwnerDisabled) {
    KV_SKIP_THREADS_IF_EMULATED();
    const ProgressCase& c = GetParam();
    CWnd owner;
    ASSERT_TRUE(
        owner.CreateEx(0, nullptr, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr));
    CProgressDialog dlg(owner.m_hWnd, L"Проверка ресурсов");

    const DWORD uiThread = ::GetCurrentThreadId();
    DWORD workThread = 0;
    BOOL ownerEnabledDuring = TRUE;
    std::wstring caption, shownText, cancelText;
    int shownPos = -1;
    bool cancelSeen = false, buttonGrey = false;
    auto work = [&](CProgressSink& sink) {
        workThread = ::GetCurrentThreadId();
        HWND w = dlg.m_hWnd;
        ownerEnabledDuring = ::IsWindowEnabled(owner.m_hWnd);
        caption = TextOf(w);
        sink.SetText(L"C:\\Windows\\System32\\drivers");
        sink.SetPos(250, 1000);
        HWND text = ::GetDlgItem(w, IDC_PROGRESS_TEXT), bar = ::GetDlgItem(w, IDC_PROGRESS_BAR);
        // The window's thread shows the state within its refresh period.
        WaitUntil([&] { return ::SendMessageW(bar, PBM_GETPOS, 0, 0) == 250; });
        shownPos = (int)::SendMessageW(bar, PBM_GETPOS, 0, 0);
        shownText = TextOf(text);
        HWND cancel = ::GetDlgItem(w, IDCANCEL);
        cancelText = TextOf(cancel);
        switch (c.stop) {
        case Stop::None:
            return;
        case Stop::Throws:
            throw std::runtime_error("диск недоступен");
        case Stop::Button:
        case Stop::ThrowsCancelled:
            ::PostMessageW(cancel, BM_CLICK, 0, 0);
            break;
        case Stop::Escape:
            ::PostMessageW(cancel, WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        case Stop::CloseBox:
            ::PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        cancelSeen = WaitUntil([&] { return sink.IsCancelled(); });
        buttonGrey = WaitUntil([&] { return !::IsWindowEnabled(cancel); });
        if (c.stop == Stop::ThrowsCancelled)
            sink.ThrowIfCancelled();
    };

    CProgressDialog::Result result = CProgressDialog::Completed;
    std::string error;
    DWORD caughtOn = 0;
    try {
        result = dlg.Run(work);
    } catch (const std::runtime_error& e) {
        error = e.what();
        caughtOn = ::GetCurrentThreadId();
    }

    EXPECT_NE(uiThread, workThread);
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
    EXPECT_EQ(L"Проверка ресурсов", caption);
    EXPECT_EQ(250, shownPos);
    EXPECT_EQ(L"C:\\Windows\\System32\\drivers", shownText);
    EXPECT_EQ(L"Отмена", cancelText);
    EXPECT_EQ(nullptr, dlg.m_hWnd); // the window is gone after the run
    if (c.stop == Stop::Throws) {
        EXPECT_EQ("диск недоступен", error);
        EXPECT_EQ(uiThread, caughtOn); // thrown again on the window's thread
    } else {
        EXPECT_EQ("", error);
        EXPECT_EQ(c.result, result);
    }
    if (c.stop != Stop::None && c.stop != Stop::Throws) {
        EXPECT_TRUE(cancelSeen);
        EXPECT_TRUE(buttonGrey); // one cancel only: the button goes grey
    }
    owner.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgressTest,
                         ::testing::Values(ProgressCase{"Completes", Stop::None, CProgressDialog::Completed},
                                           ProgressCase{"CancelButton", Stop::Button, CProgressDialog::Cancelled},
                                           ProgressCase{"EscapeKey", Stop::Escape, CProgressDialog::Cancelled},
                                           ProgressCase{"CloseBox", Stop::CloseBox, CProgressDialog::Cancelled},
                                           ProgressCase{"WorkThrows", Stop::Throws, CProgressDialog::Completed},
                                           ProgressCase{"WorkStopsByThrowing", Stop::ThrowsCancelled,
                                                        CProgressDialog::Cancelled}),
                         [](const ::testing::TestParamInfo<ProgressCase>& i) { return std::string(i.param.name); });

TEST(Progress, QuitDuringARunStopsTheWorkAndIsPostedAgain) {
    KV_SKIP_THREADS_IF_EMULATED();
    CProgressDialog dlg(nullptr, L"Работа");
    const DWORD uiThread = ::GetCurrentThreadId();
    bool sawCancel = false;
    CProgressDialog::Result r = dlg.Run([&](CProgressSink& sink) {
        ::PostThreadMessageW(uiThread, WM_QUIT, 7, 0);
        sawCancel = WaitUntil([&] { return sink.IsCancelled(); });
    });
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(CProgressDialog::Cancelled, r);
    MSG m = {};
    ASSERT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, m.wParam);
    // The same object runs again, with its cancel forgotten.
    EXPECT_EQ(CProgressDialog::Completed, dlg.Run([](CProgressSink& sink) { sink.SetPos(1, 1); }));
}

TEST(Progress, SinkScalesAnySizeAndReportsOnlyChanges) {
    struct Row {
        uint64_t done, total;
        int permille;
    };
    const Row rows[] = {{0, 0, 0},      {5, 0, 0},    {1, 3, 333},
                        {3, 3, 1000},   {7, 3, 1000}, {UINT64_MAX / 2, UINT64_MAX, 500},
                        {1, 1000000, 0}};
    for (const Row& r : rows) {
        CProgressSink s;
        s.SetText(L"x");
        std::wstring t;
        int p = -1;
        ASSERT_TRUE(s.TakeState(t, p));
        s.SetPos(r.done, r.total);
        p = -1;
        bool changed = s.TakeState(t, p);
        EXPECT_EQ(r.permille, changed ? p : 0) << r.done << "/" << r.total;
        EXPECT_FALSE(s.TakeState(t, p)); // nothing new
    }
    CProgressSink s;
    EXPECT_NO_THROW(s.ThrowIfCancelled());
    s.Cancel();
    EXPECT_THROW(s.ThrowIfCancelled(), CProgressCancelled);
}

// ---- update handlers of a dialog's own controls ------------------------------------------------

// Template 100: edit 1001, check box 1002, OK. OK is enabled while the edit holds text; the check
// box follows a member and is greyed when m_lock is set.
class CUpdatingDialog : public CDialog {
public:
    CUpdatingDialog() : CDialog(100, (HWND) nullptr) {}
    int m_checked = 0;
    bool m_lock = false;
    int m_updates = 0;
    void OnUpdateOk(CCmdUI* ui) {
        ++m_updates;
        ui->Enable(!GetDlgItemText(1001).empty());
    }
    void OnUpdateCheck(CCmdUI* ui) {
        ui->Enable(!m_lock);
        ui->SetCheck(m_checked);
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CUpdatingDialog, CDialog)
ON_UPDATE_COMMAND_UI(IDOK, OnUpdateOk)
ON_UPDATE_COMMAND_UI(1002, OnUpdateCheck)
KV_END_MESSAGE_MAP()

TEST(DialogUpdates, ButtonsFollowTheirHandlersInTheModalLoop) {
    KV_SKIP_THREADS_IF_EMULATED();
    KvTest::CScopedPresenter ps;
    BOOL okEmpty = TRUE, okFilled = FALSE, checkGrey = TRUE, checkOn = FALSE;
    std::thread driver;
    ps.OnDialog<CUpdatingDialog>(100, [&](CUpdatingDialog& d) {
        HWND h = d.m_hWnd;
        // A worker drives the dialog through calls posted to its thread, waiting for the idle
        // updates in between, as a person's input would.
        driver = std::thread([&d, h, &okEmpty, &okFilled, &checkGrey, &checkOn] {
            HWND ok = ::GetDlgItem(h, IDOK), check = ::GetDlgItem(h, 1002);
            PostCall(h, [&d] { d.SetDlgItemText(1001, L""); });
            WaitUntil([&] { return !::IsWindowEnabled(ok); });
            okEmpty = ::IsWindowEnabled(ok);
            PostCall(h, [&d] {
                d.SetDlgItemText(1001, L"имя");
                d.m_checked = 1;
                d.m_lock = true;
            });
            WaitUntil([&] { return ::IsWindowEnabled(ok) && !::IsWindowEnabled(check); });
            okFilled = ::IsWindowEnabled(ok);
            checkGrey = ::IsWindowEnabled(check);
            checkOn = ::SendMessageW(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
            PostCall(h, [&d] { d.EndDialog(IDOK); });
        });
    });
    CUpdatingDialog dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    driver.join();
    EXPECT_FALSE(okEmpty);
    EXPECT_TRUE(okFilled);
    EXPECT_FALSE(checkGrey);
    EXPECT_TRUE(checkOn);
}

class CIdleApp : public CWinApp {};

TEST(DialogUpdates, ModelessDialogIsUpdatedWhenTheApplicationIsIdleUntilItIsGone) {
    CIdleApp app;
    CUpdatingDialog dlg;
    ASSERT_TRUE(dlg.Create(100, (HWND) nullptr));
    dlg.SetDlgItemText(1001, L"");
    app.OnIdle(0);
    EXPECT_FALSE(::IsWindowEnabled(dlg.GetDlgItem(IDOK)));
    dlg.SetDlgItemText(1001, L"x");
    dlg.m_checked = 1;
    app.OnIdle(0);
    EXPECT_TRUE(::IsWindowEnabled(dlg.GetDlgItem(IDOK)));
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(dlg.m_hWnd, 1002));
    // Later idle passes leave it alone: only the first pass after input updates.
    int updates = dlg.m_updates;
    app.OnIdle(1);
    EXPECT_EQ(updates, dlg.m_updates);
    dlg.DestroyWindow();
    app.OnIdle(0); // a destroyed dialog is no longer updated
    EXPECT_EQ(updates, dlg.m_updates);
}

// A frame that is not the main window is kept up to date too: frames register, nothing looks
// for them by type.
TEST(DialogUpdates, EveryRegisteredWindowRunsItsIdleUpdateOnItsOwnThread) {
    struct CCounting : public CWnd {
        int updates = 0;
        void OnIdleUpdate() override { ++updates; }
    };
    CCounting a, b;
    ASSERT_TRUE(a.CreateEx(0, nullptr, L"a", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    ASSERT_TRUE(b.CreateEx(0, nullptr, L"b", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    RegisterIdleUpdate(&a);
    RegisterIdleUpdate(&b);
    RegisterIdleUpdate(&a); // once only
    RunIdleUpdates();
    EXPECT_EQ(1, a.updates);
    EXPECT_EQ(1, b.updates);
    int otherThread = -1;
    std::thread([&] {
        RunIdleUpdates(); // another thread's list is its own
        otherThread = a.updates;
    }).join();
    EXPECT_EQ(1, otherThread);
    b.DestroyWindow();
    UnregisterIdleUpdate(&a);
    RunIdleUpdates();
    EXPECT_EQ(1, a.updates);
    EXPECT_EQ(1, b.updates);
    a.DestroyWindow();
}

// ---- the tests' own helpers -----------------------------------------------------------------

TEST(TestSupport, ScratchFolderStartsEmptyAndCompletionsAreCountedFromAnyThread) {
    std::wstring dir = KvTest::ScratchFolder(L"support");
    ASSERT_TRUE(::CreateDirectoryW((dir + L"\\sub").c_str(), nullptr));
    HANDLE h = ::CreateFileW((dir + L"\\sub\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ::CloseHandle(h);
    EXPECT_EQ(dir, KvTest::ScratchFolder(L"support"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((dir + L"\\sub").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(dir.c_str()));
    EXPECT_NE(L'\\', KvTest::TestTmp().back());

    KvTest::CCompletionCounter done;
    EXPECT_FALSE(done.Wait(0));
    DWORD workerId = 0;
    std::thread t([&] {
        workerId = ::GetCurrentThreadId();
        done.Signal();
        done.Signal();
    });
    EXPECT_TRUE(done.WaitFor(2));
    t.join();
    EXPECT_EQ(2, done.Count());
    EXPECT_EQ(workerId, done.LastThread());
    EXPECT_TRUE(done.Wait(0));
    done.Rearm();
    EXPECT_FALSE(done.Wait(0));
    EXPECT_FALSE(done.WaitFor(3, 50));
}

} // namespace
