// Helpers shared by the test executables.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

#define KV_SKIP_THREADS_IF_EMULATED()                                                  \
    do {                                                                               \
        if (KvI386Emulated())                                                          \
            GTEST_SKIP() << "threads of i386 programs do not run under the emulator";  \
    } while (0)

namespace KvTest {

// The whole content of a file as bytes; empty when the file cannot be opened.
inline std::string ReadBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

} // namespace KvTest
