// Files, events, mutexes and threads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "TestPaths.h"
#include "Win32Objects.h"

using namespace KvBase;

namespace {

std::wstring Scratch(const wchar_t* pszName) { return KvBaseTest::ScratchDir() + L"w32_" + pszName; }

void MakeFile(const std::wstring& strPath, const char* pszText, DWORD dwAttributes = FILE_ATTRIBUTE_NORMAL) {
    SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    CWin32File f;
    ASSERT_TRUE(f.Open(strPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS));
    ASSERT_EQ(f.Write(pszText, static_cast<DWORD>(strlen(pszText))), 0u);
    f.Close();
    SetFileAttributesW(strPath.c_str(), dwAttributes);
}

TEST(Win32File, SeekWriteAndRead) {
    CWin32File f;
    EXPECT_FALSE(f.IsValid());
    EXPECT_EQ(f.Seek(0, FILE_BEGIN), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    std::wstring strPath = Scratch(L"seek.txt");
    MakeFile(strPath, "abc");
    ASSERT_TRUE(f.Open(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
    EXPECT_EQ(f.GetName(), strPath);
    EXPECT_EQ(f.SeekToEnd(), 0u);
    EXPECT_EQ(f.Write("de", 2), 0u);
    EXPECT_EQ(f.Seek(1, FILE_BEGIN), 0u);
    char sz[8] = {};
    DWORD cb = 0;
    EXPECT_EQ(f.Read(sz, 8, &cb), 0u);
    EXPECT_EQ(std::string(sz, cb), "bcde");

    // Attach closes the held handle; Detach gives the handle away.
    HANDLE h = f.Detach();
    EXPECT_FALSE(f.IsValid());
    f.Attach(h);
    EXPECT_EQ(f.GetHandle(), h);
    f.Close();
    EXPECT_EQ(f.GetHandle(), INVALID_HANDLE_VALUE);

    WIN32_FILE_ATTRIBUTE_DATA data = CWin32File::GetAttributes(strPath.c_str());
    EXPECT_EQ(data.nFileSizeLow, 5u);
    data = CWin32File::GetAttributes(Scratch(L"missing.txt").c_str());
    EXPECT_EQ(data.dwFileAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(data.nFileSizeLow, 0u);
}

TEST(Win32File, DeleteFileEx) {
    std::wstring strPath = Scratch(L"del.txt");
    MakeFile(strPath, "x");
    CWin32File::DeleteFile_Ex(strPath.c_str(), false);
    EXPECT_EQ(GetFileAttributesW(strPath.c_str()), INVALID_FILE_ATTRIBUTES);

    // A read-only file goes unless it is to be kept; kept, the error names line 401.
    MakeFile(strPath, "x", FILE_ATTRIBUTE_READONLY);
    try {
        CWin32File::DeleteFile_Ex(strPath.c_str(), true);
        ADD_FAILURE() << "no error";
    } catch (CVoRurod& e) {
        EXPECT_EQ(e.GetCode(), ERROR_ACCESS_DENIED);
        EXPECT_STREQ(e.GetField(L"Line"), L"401");
        EXPECT_STREQ(e.GetField(L"File"), L"Win32Objects.cpp");
        EXPECT_STREQ(e.GetField(L"Function"), L"KvBase::CWin32File::DeleteFile_Ex");
    }
    EXPECT_NE(GetFileAttributesW(strPath.c_str()), INVALID_FILE_ATTRIBUTES);
    CWin32File::DeleteFile_Ex(strPath.c_str(), false);
    EXPECT_EQ(GetFileAttributesW(strPath.c_str()), INVALID_FILE_ATTRIBUTES);

    try {
        CWin32File::DeleteFile_Ex(strPath.c_str(), false);
        ADD_FAILURE() << "no error";
    } catch (CVoRurod& e) {
        EXPECT_EQ(e.GetCode(), ERROR_FILE_NOT_FOUND);
        EXPECT_STREQ(e.GetField(L"Line"), L"401");
    }
}

TEST(Win32Event, ManualAndAutoReset) {
    CWin32Event manual(true);
    EXPECT_FALSE(manual.IsValid());
    EXPECT_EQ(manual.GetHandle(), nullptr);
    ASSERT_EQ(manual.Create(false, nullptr, nullptr), 0u);
    EXPECT_EQ(manual.Set(), 0u);
    EXPECT_EQ(WaitForSingleObject(manual.GetHandle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual.GetHandle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(manual.Release(), 0u);
    EXPECT_EQ(WaitForSingleObject(manual.GetHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    CWin32Event automatic(false);
    std::wstring strName = L"KvBaseTests_Event_" + KvBaseTest::ArchTag();
    automatic.Create_Ex(true, strName.c_str(), nullptr);
    EXPECT_EQ(automatic.GetName(), strName);
    EXPECT_EQ(WaitForSingleObject(automatic.GetHandle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic.GetHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    HANDLE h = automatic.Detach();
    EXPECT_FALSE(automatic.IsValid()); // an event holds none as null
    CloseHandle(h);
    automatic.Close();
    EXPECT_EQ(automatic.GetHandle(), nullptr);

    // A name taken by another kind of object cannot be an event.
    CWin32Mutex mutex;
    std::wstring strTaken = L"KvBaseTests_Taken_" + KvBaseTest::ArchTag();
    ASSERT_EQ(mutex.Create(false, strTaken.c_str(), nullptr), 0u);
    try {
        CWin32Event clash(true);
        clash.Create_Ex(false, strTaken.c_str(), nullptr);
        ADD_FAILURE() << "no error";
    } catch (CVoRurod& e) {
        EXPECT_EQ(e.GetCode(), ERROR_INVALID_HANDLE);
        EXPECT_STREQ(e.GetField(L"Line"), L"571");
        EXPECT_STREQ(e.GetField(L"Function"), L"KvBase::CWin32Event::Create_Ex");
    }
}

TEST(Win32Mutex, CreateAndRelease) {
    CWin32Mutex none;
    EXPECT_FALSE(none.IsValid());
    EXPECT_EQ(none.Release(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    std::wstring strName = L"KvBaseTests_Mutex_" + KvBaseTest::ArchTag();
    CWin32Mutex first, second;
    ASSERT_EQ(first.Create(false, strName.c_str(), nullptr), 0u);
    EXPECT_EQ(second.Create(false, strName.c_str(), nullptr), 0u); // exists already: still 0
    EXPECT_EQ(second.GetName(), strName);
    // Not owned: releasing fails with the system's error.
    EXPECT_EQ(first.Release(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_TRUE(second.Lock(1000));
    EXPECT_EQ(second.Release(), 0u);
    EXPECT_EQ(second.Release(), static_cast<DWORD>(ERROR_NOT_OWNER));

    try {
        CWin32Event taken(true);
        std::wstring strEvent = L"KvBaseTests_EventName_" + KvBaseTest::ArchTag();
        ASSERT_EQ(taken.Create(false, strEvent.c_str(), nullptr), 0u);
        CWin32Mutex clash;
        clash.Create_Ex(false, strEvent.c_str(), nullptr);
        ADD_FAILURE() << "no error";
    } catch (CVoRurod& e) {
        EXPECT_EQ(e.GetCode(), ERROR_INVALID_HANDLE);
        EXPECT_STREQ(e.GetField(L"Line"), L"1131");
        EXPECT_STREQ(e.GetField(L"Function"), L"KvBase::CWin32Mutex::Create_Ex");
    }
}

DWORD WINAPI TakeMutexAndEnd(void* p) {
    return WaitForSingleObject(static_cast<CWin32Mutex*>(p)->GetHandle(), INFINITE);
}

TEST(Win32Mutex, AbandonedMutexIsOwned) {
    KV_SKIP_THREADS_IF_EMULATED();
    std::wstring strName = L"KvBaseTests_Abandoned_" + KvBaseTest::ArchTag();
    CWin32Mutex first, second;
    ASSERT_EQ(first.Create(false, strName.c_str(), nullptr), 0u);
    ASSERT_EQ(second.Create(false, strName.c_str(), nullptr), 0u);
    // A thread that ends while it owns the mutex abandons it; the next wait owns it.
    HANDLE hThread = CreateThread(nullptr, 0, &TakeMutexAndEnd, &first, 0, nullptr);
    ASSERT_NE(hThread, nullptr);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    EXPECT_EQ(second.Wait(1000), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_EQ(second.Release(), 0u); // the abandoned wait made us the owner
    EXPECT_EQ(second.Release(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

// A thread whose behaviour the test chooses.
class CTestThread : public CWin32Thread {
public:
    enum Mode { EndAtOnce, UntilStopped, IgnoreStop, GatedThenUntilStopped };

    explicit CTestThread(Mode mode) : m_mode(mode), m_evGate(true) { m_evGate.Create(false, nullptr, nullptr); }
    ~CTestThread() override { StopAndWait(); }

    DWORD Run() override {
        m_pSeenParam = GetRunParameter();
        m_bStarted = true;
        switch (m_mode) {
        case EndAtOnce:
            return 0;
        case GatedThenUntilStopped:
            WaitForSingleObject(m_evGate.GetHandle(), INFINITE);
            // fall through
        case UntilStopped:
            while (!IsStopRequested())
                ++m_nPolls;
            m_bEndedByStop = true;
            return 0;
        case IgnoreStop:
            for (;;)
                Sleep(5);
        }
        return 0;
    }

    bool StillRuns() { return IsValid() && WaitForSingleObject(GetHandle(), 0) == WAIT_TIMEOUT; }

    Mode m_mode;
    CWin32Event m_evGate;
    std::atomic<bool> m_bStarted{false};
    std::atomic<bool> m_bEndedByStop{false};
    std::atomic<long> m_nPolls{0};
    void* volatile m_pSeenParam = nullptr;
};

TEST(Win32Thread, NeverStarted) {
    CTestThread t(CTestThread::UntilStopped);
    EXPECT_FALSE(t.IsValid());
    EXPECT_EQ(t.Stop(1000), 0u);
    EXPECT_EQ(t.Terminate(0), 0u);
}

TEST(Win32Thread, EndsBeforeTheLimit) {
    KV_SKIP_THREADS_IF_EMULATED();
    CTestThread t(CTestThread::EndAtOnce);
    int nParam = 0;
    ASSERT_TRUE(t.Start(&nParam, false, nullptr));
    WaitForSingleObject(t.GetHandle(), 5000);
    EXPECT_EQ(t.m_pSeenParam, &nParam);
    EXPECT_EQ(t.Stop(5000), 0u);
    DWORD dwExit = 1;
    GetExitCodeThread(t.GetHandle(), &dwExit);
    EXPECT_EQ(dwExit, 0u);
}

TEST(Win32Thread, StopsWhenAsked) {
    KV_SKIP_THREADS_IF_EMULATED();
    CTestThread t(CTestThread::UntilStopped);
    ASSERT_TRUE(t.Start(nullptr, false, nullptr));
    while (t.m_nPolls < 2)
        Sleep(1);
    EXPECT_TRUE(t.StillRuns());
    EXPECT_FALSE(t.m_bEndedByStop);
    EXPECT_EQ(t.Stop(10000), 0u);
    EXPECT_TRUE(t.m_bEndedByStop);
    EXPECT_TRUE(t.IsStopRequested());

    // A second start runs again, with the stop signal of the first run cleared.
    ASSERT_TRUE(t.Start(nullptr, false, nullptr));
    while (t.m_nPolls < 4)
        Sleep(1);
    EXPECT_FALSE(t.IsStopRequested());
    EXPECT_EQ(t.Stop(10000), 0u);
}

TEST(Win32Thread, IgnoresStopAndIsTerminated) {
    KV_SKIP_THREADS_IF_EMULATED();
    CTestThread t(CTestThread::IgnoreStop);
    ASSERT_TRUE(t.Start(nullptr, false, nullptr));
    while (!t.m_bStarted)
        Sleep(1);
    ULONGLONG tStart = GetTickCount64();
    EXPECT_EQ(t.Stop(100), 1u);
    EXPECT_GE(GetTickCount64() - tStart, 90u);
    // Terminated and gone before Stop returned.
    EXPECT_EQ(WaitForSingleObject(t.GetHandle(), 0), WAIT_OBJECT_0);
    DWORD dwExit = 1;
    GetExitCodeThread(t.GetHandle(), &dwExit);
    EXPECT_EQ(dwExit, 0u);
}

TEST(Win32Thread, SecondStartWhileRunningFails) {
    KV_SKIP_THREADS_IF_EMULATED();
    CTestThread t(CTestThread::UntilStopped);
    ASSERT_TRUE(t.Start(nullptr, false, nullptr));
    HANDLE h = t.GetHandle();
    EXPECT_FALSE(t.Start(nullptr, false, nullptr));
    EXPECT_EQ(t.GetHandle(), h);
    EXPECT_EQ(t.Stop(10000), 0u);
}

LRESULT CALLBACK CountingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_APP + 1) {
        ++*reinterpret_cast<int*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        return 0;
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

DWORD WINAPI OpenGateLater(void* p) {
    Sleep(200);
    static_cast<CTestThread*>(p)->m_evGate.Set();
    return 0;
}

TEST(Win32Thread, StopDispatchesMessagesAndGivesBackQuit) {
    KV_SKIP_THREADS_IF_EMULATED();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KvBaseTestsCounting";
    RegisterClassW(&wc);
    HWND hWnd = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hWnd, nullptr);
    int nDispatched = 0;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&nDispatched));

    {
        // Messages that wait in the queue are dispatched while Stop waits.
        CTestThread t(CTestThread::GatedThenUntilStopped);
        ASSERT_TRUE(t.Start(nullptr, false, nullptr));
        PostMessageW(hWnd, WM_APP + 1, 0, 0);
        PostMessageW(hWnd, WM_APP + 1, 0, 0);
        t.m_evGate.Set();
        EXPECT_EQ(t.Stop(10000), 0u);
        EXPECT_EQ(nDispatched, 2);
    }
    {
        // A WM_QUIT ends the wait without ending the thread, and stays for the caller's loop.
        CTestThread t(CTestThread::GatedThenUntilStopped);
        ASSERT_TRUE(t.Start(nullptr, false, nullptr));
        PostQuitMessage(7);
        EXPECT_EQ(t.Stop(INFINITE), 0u);
        EXPECT_TRUE(t.StillRuns());
        MSG msg;
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(msg.wParam, 7u);
        t.m_evGate.Set();
        EXPECT_EQ(WaitForSingleObject(t.GetHandle(), 10000), WAIT_OBJECT_0);
        EXPECT_TRUE(t.m_bEndedByStop);
    }
    {
        // Destroyed while a WM_QUIT waits: the object outlives its thread all the same.
        std::atomic<bool> bEnded{false};
        HANDLE hGateSetter = nullptr;
        {
            CTestThread t(CTestThread::GatedThenUntilStopped);
            ASSERT_TRUE(t.Start(nullptr, false, nullptr));
            hGateSetter = CreateThread(nullptr, 0, &OpenGateLater, &t, 0, nullptr);
            PostQuitMessage(3);
            t.StopAndWait();
            bEnded = !t.StillRuns() && t.m_bEndedByStop;
            WaitForSingleObject(hGateSetter, INFINITE);
        }
        CloseHandle(hGateSetter);
        EXPECT_TRUE(bEnded);
        MSG msg;
        EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    DestroyWindow(hWnd);
}

TEST(Win32Thread, SuspendedStartAndResume) {
    KV_SKIP_THREADS_IF_EMULATED();
    CTestThread t(CTestThread::UntilStopped);
    ASSERT_TRUE(t.Start(nullptr, true, nullptr));
    EXPECT_TRUE(t.IsSuspended());
    Sleep(50);
    EXPECT_FALSE(t.m_bStarted);
    EXPECT_TRUE(t.SetPriority(THREAD_PRIORITY_LOWEST));
    EXPECT_EQ(t.GetPriority(), THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(t.Resume(), 1u);
    EXPECT_FALSE(t.IsSuspended());
    while (!t.m_bStarted)
        Sleep(1);

    // Suspended by Suspend, resumed by Resume.
    EXPECT_EQ(t.Suspend(), 0u);
    EXPECT_TRUE(t.IsSuspended());
    long nPolls = t.m_nPolls;
    Sleep(50);
    EXPECT_EQ(t.m_nPolls, nPolls);
    EXPECT_EQ(t.Resume(), 1u);
    while (t.m_nPolls == nPolls)
        Sleep(1);
    EXPECT_EQ(t.Stop(10000), 0u);
}

} // namespace
