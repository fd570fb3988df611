// Modules and modal ownership: a DLL linking the layer has its own window class and resources,
// and a modal dialog without an owner disables the program's main window while it runs.
#include <gtest/gtest.h>

#include "kvpresenter.h"
#include "kvui/kvui.h"

#include <memory>
#include <thread>

using namespace KvUi;

namespace {

TEST(Modules, SecondModuleUsesItsOwnWindowClassAndResources) {
    // The program's own class is registered first, as in the running program.
    CWnd mine;
    ASSERT_TRUE(mine.CreateEx(0, nullptr, L"program", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    HMODULE dll = ::LoadLibraryW(L"kvui_testmodule.dll");
    ASSERT_NE(nullptr, dll);
    typedef LRESULT (*Probe)(wchar_t*, int, HMODULE*);
    auto probe = reinterpret_cast<Probe>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, "KvUiModuleProbe")));
    ASSERT_NE(nullptr, probe);
    wchar_t caption[64] = {};
    HMODULE classModule = nullptr;
    EXPECT_EQ(1234, probe(caption, 64, &classModule));
    EXPECT_STREQ(L"Диалог модуля", caption); // the DLL's template 100, not the program's
    EXPECT_EQ(dll, classModule);
    EXPECT_EQ(::GetModuleHandleW(nullptr), (HMODULE)::GetClassLongPtrW(mine.m_hWnd, GCLP_HMODULE));
    // The program's dialog 100 is still its own.
    CDialog own;
    ASSERT_TRUE(own.Create(100, (HWND) nullptr));
    EXPECT_EQ(L"Тест", own.GetWindowText());
    own.DestroyWindow();
    mine.DestroyWindow();
    ::FreeLibrary(dll);
}

class CMainTestApp : public CWinApp {};

TEST(Modal, DialogWithoutOwnerDisablesTheMainWindowWhileItRuns) {
    CMainTestApp app;
    CWnd main;
    ASSERT_TRUE(main.CreateEx(0, nullptr, L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr));
    app.m_pMainWnd = &main;
    KvTest::CScopedPresenter ps;
    BOOL enabledDuring = TRUE;
    HWND ownerDuring = nullptr;
    ps.OnDialog(100, [&](CDialog& d) {
        enabledDuring = ::IsWindowEnabled(main.m_hWnd);
        ownerDuring = ::GetWindow(d.m_hWnd, GW_OWNER);
        d.EndDialog(IDOK);
    });
    CDialog dlg(100, (HWND) nullptr);
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(main.m_hWnd, ownerDuring);
    EXPECT_TRUE(::IsWindowEnabled(main.m_hWnd));
    app.m_pMainWnd = nullptr;
    main.DestroyWindow();
}

} // namespace

namespace {

// A call posted from a worker runs on the window's thread; one whose window is gone first is
// dropped and freed.
TEST(PostedCalls, RunOnTheWindowsThreadAndAreDroppedWithTheWindow) {
    CWnd w;
    ASSERT_TRUE(w.CreateEx(0, nullptr, L"calls", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    DWORD ranOn = 0;
    HWND h = w.m_hWnd;
    std::thread worker([&] { EXPECT_TRUE(PostCall(h, [&] { ranOn = ::GetCurrentThreadId(); })); });
    worker.join();
    PumpWaitingMessages();
    EXPECT_EQ(::GetCurrentThreadId(), ranOn);

    auto token = std::make_shared<int>(0);
    bool ran = false;
    ASSERT_TRUE(PostCall(h, [token, &ran] { ran = true; }));
    EXPECT_EQ(2, token.use_count());
    w.DestroyWindow();
    PumpWaitingMessages();
    EXPECT_FALSE(ran);
    EXPECT_EQ(1, token.use_count());  // freed with the window
    EXPECT_FALSE(PostCall(h, [] {})); // no window, no call
}

} // namespace
