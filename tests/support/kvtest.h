// Helpers shared by the test executables.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

// True when this i386 test runs under qemu's user-mode emulation, as on kernels built without
// 32-bit support. Wine's 32-bit threads do not survive there (the second thread of a process loses
// its server connection), so a test that starts threads skips itself in that case; the same test
// runs in full under the x86-64 build and on machines that run i386 programs natively.
inline bool KvI386Emulated() {
#ifdef _WIN64
    return false;
#else
    return GetEnvironmentVariableW(L"KV_I386_EMULATED", nullptr, 0) != 0;
#endif
}

#define KV_SKIP_THREADS_IF_EMULATED()                                                                                  \
    do {                                                                                                               \
        if (KvI386Emulated())                                                                                          \
            GTEST_SKIP() << "threads of i386 programs do not run under the emulator";                                  \
    } while (0)

namespace KvTest {

// The value of an environment variable; empty when it is not set.
inline std::wstring Env(const wchar_t* name) {
    wchar_t buf[32768];
    DWORD n = GetEnvironmentVariableW(name, buf, 32768);
    return n && n < 32768 ? std::wstring(buf, n) : std::wstring();
}

// The text in UTF-8 (for messages of failed expectations and for files a test compares).
inline std::string Utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    if (n)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

// The whole content of a file as bytes; empty when the file cannot be opened.
inline std::string ReadBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

// Writes the bytes as the whole content of the file, replacing what it held.
inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << "cannot write the file";
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(ok && written == bytes.size()) << "the file was not written whole";
}

// The test's own scratch folder (KV_TEST_TMP, else the temporary folder), without a trailing
// backslash; created when missing.
inline std::wstring TestTmp() {
    std::wstring dir;
    DWORD n = GetEnvironmentVariableW(L"KV_TEST_TMP", nullptr, 0);
    if (n) {
        dir.resize(n);
        dir.resize(GetEnvironmentVariableW(L"KV_TEST_TMP", &dir[0], n));
    }
    if (dir.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        dir = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp));
    }
    while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/'))
        dir.pop_back();
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Removes what a folder holds (files and folders, read-only ones too), keeping the folder.
inline void EmptyFolder(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = dir + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(path);
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// A folder of the test's own below its scratch folder, empty at the start (what an earlier run
// left is removed). The name takes the architecture, as both share one Wine prefix.
inline std::wstring ScratchFolder(const std::wstring& name) {
    std::wstring dir = TestTmp() + L"\\" + name + (sizeof(void*) == 8 ? L"_x64" : L"_x86");
    CreateDirectoryW(dir.c_str(), nullptr);
    EmptyFolder(dir);
    return dir;
}

// Waits on the calling thread, dispatching nothing, until cond holds; false when it still does
// not after the timeout.
template <class Cond>
bool WaitUntil(Cond cond, DWORD timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end)
            return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Counts completions that arrive on any thread and remembers the thread of the last one; a test
// waits for the count it expects.
class CCompletionCounter {
public:
    CCompletionCounter() : m_hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CCompletionCounter() { CloseHandle(m_hEvent); }
    CCompletionCounter(const CCompletionCounter&) = delete;
    CCompletionCounter& operator=(const CCompletionCounter&) = delete;

    void Signal() {
        m_lastThread = GetCurrentThreadId();
        ++m_count;
        SetEvent(m_hEvent);
    }
    int Count() const { return m_count.load(); }
    DWORD LastThread() const { return m_lastThread.load(); }
    // True once at least n completions came within the timeout.
    bool WaitFor(int n, DWORD timeoutMs = 30000) {
        return WaitUntil([&] { return m_count.load() >= n; }, timeoutMs);
    }
    // True once a completion came since the last Rearm.
    bool Wait(DWORD timeoutMs) { return WaitForSingleObject(m_hEvent, timeoutMs) == WAIT_OBJECT_0; }
    void Rearm() { ResetEvent(m_hEvent); }

private:
    HANDLE m_hEvent;
    std::atomic<int> m_count{0};
    std::atomic<DWORD> m_lastThread{0};
};

// Runs the system's msiexec with the arguments and waits for it (five minutes at most): its exit
// code, or the error of a failed start.
inline DWORD RunMsiexec(const std::wstring& arguments) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(system) + L"\\msiexec.exe\" " + arguments;
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ::GetLastError();
    ::WaitForSingleObject(pi.hProcess, 300000);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

// Waits until another process's window has stayed enabled and answering for `quietMs` on end. A
// program's start posts the restore of its model, which runs with the window disabled; a command
// posted to the window before the restore has ended would be dropped.
inline bool WaitUntilSettled(HWND window, DWORD quietMs = 1500, DWORD timeoutMs = 60000) {
    const DWORD start = ::GetTickCount();
    DWORD since = start;
    while (::GetTickCount() - start < timeoutMs) {
        DWORD_PTR reply = 0;
        bool ready = ::IsWindow(window) && ::IsWindowEnabled(window) &&
                     ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &reply);
        if (!ready)
            since = ::GetTickCount();
        else if (::GetTickCount() - since >= quietMs)
            return true;
        ::Sleep(50);
    }
    return false;
}

// Starts this test program again as a child that runs the one test named by the filter (a test
// that does its work only in a child). The child gets the caller's environment without the
// sharding variables: under a shard it would otherwise drop the case as another shard's.
inline bool StartSelfRunning(const std::wstring& filter, PROCESS_INFORMATION& pi) {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" + filter;
    const wchar_t* const shardVars[] = {L"GTEST_TOTAL_SHARDS", L"GTEST_SHARD_INDEX"};
    std::wstring saved[2];
    bool had[2] = {};
    for (int i = 0; i < 2; ++i) {
        saved[i] = Env(shardVars[i]);
        had[i] = !saved[i].empty();
        ::SetEnvironmentVariableW(shardVars[i], nullptr);
    }
    STARTUPINFOW si = {sizeof si};
    pi = {};
    const BOOL started = ::CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    for (int i = 0; i < 2; ++i)
        if (had[i])
            ::SetEnvironmentVariableW(shardVars[i], saved[i].c_str());
    return started != FALSE;
}

} // namespace KvTest
