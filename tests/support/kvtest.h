// Helpers shared by the test executables.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

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
