// What every benchmark of the views takes: a clock in seconds and the count from its command line.
#pragma once

#include <windows.h>

#include <cstdlib>

// The count of resources from the command line's first argument; 100 000 when it is absent or not a
// positive number.
inline int BenchCount(int argc, wchar_t** argv) {
    const int count = argc > 1 ? _wtoi(argv[1]) : 0;
    return count > 0 ? count : 100000;
}

// Seconds on the performance counter.
inline double Now() {
    LARGE_INTEGER c, f;
    ::QueryPerformanceCounter(&c);
    ::QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}
