// Checksum throughput of the software passport: the plug-in's own file reader and CRC-32 over
// one file, timed. Prints the CRC (to compare with other tools) and the rate.
//   crc_bench.exe <file> [repeats]
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "Crc32.h"
#include "SoftWare.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: crc_bench <file> [repeats]\n");
        return 2;
    }
    int repeats = argc > 2 ? _wtoi(argv[2]) : 3;
    if (repeats < 1)
        repeats = 1;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    double best = 1e30;
    unsigned crcValue = 0;
    DWORD length = 0;
    for (int i = 0; i < repeats; ++i) {
        CCrc32 crc;
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        if (!CSoftWare::AddFileToCrc(argv[1], crc, length)) {
            fwprintf(stderr, L"cannot read %s\n", argv[1]);
            return 1;
        }
        QueryPerformanceCounter(&t1);
        double s = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
        if (s < best)
            best = s;
        crcValue = crc.Result();
    }
    LARGE_INTEGER size;
    HANDLE h = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileSizeEx(h, &size);
    CloseHandle(h);
    double mb = double(size.QuadPart) / (1024.0 * 1024.0);
    wprintf(L"crc %08X bytes %lld best %.3f s  %.1f MB/s\n", crcValue, size.QuadPart, best, mb / best);

    // The checksum alone over 64 MB in memory, to tell computation from reading.
    const size_t kMemory = 64u << 20;
    unsigned char* block = static_cast<unsigned char*>(VirtualAlloc(nullptr, kMemory, MEM_COMMIT, PAGE_READWRITE));
    if (block) {
        for (size_t i = 0; i < kMemory; ++i)
            block[i] = (unsigned char)(i * 2654435761u >> 13);
        CCrc32 crc;
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        crc.Update(block, kMemory);
        QueryPerformanceCounter(&t1);
        double s = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
        wprintf(L"memory crc %08X  %.1f MB/s\n", crc.Result(), 64.0 / s);
        VirtualFree(block, 0, MEM_RELEASE);
    }
    return 0;
}
