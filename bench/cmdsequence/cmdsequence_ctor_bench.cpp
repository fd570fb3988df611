// cmdsequence_ctor_bench [count]
// Cost of constructing a command sequence object, which reads the environment, the drives, the
// host's addresses and the shares. Prints the first construction and the mean of the following
// ones, without and with Windows Sockets initialised (the host address look-up runs only with it),
// and the cost of a copy, which takes the maps over without reading the system.
#include <winsock2.h>

#include "KvCmdSequence.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

void Measure(const wchar_t* what, int count) {
    double start = Now();
    { KvCmdSequence::CCmdSequence first; }
    const double firstMs = (Now() - start) * 1000.0;
    start = Now();
    for (int i = 0; i < count; ++i) {
        KvCmdSequence::CCmdSequence seq;
    }
    const double meanMs = (Now() - start) * 1000.0 / count;
    wprintf(L"%-24ls first %8.3f ms, then %8.3f ms each (%d objects)\n", what, firstMs, meanMs, count);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = argc > 1 ? std::max(1, _wtoi(argv[1])) : 50;
    Measure(L"without sockets", count);
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        fwprintf(stderr, L"WSAStartup failed\n");
        return 1;
    }
    Measure(L"with sockets", count);

    KvCmdSequence::CCmdSequence original;
    const double start = Now();
    for (int i = 0; i < count; ++i) {
        KvCmdSequence::CCmdSequence copy(original);
    }
    wprintf(L"%-24ls %8.3f ms each\n", L"copy", (Now() - start) * 1000.0 / count);
    WSACleanup();
    return 0;
}
