// cmdsequence_bench <root> <file masks> [kind] [repeats]
// Runs one recursive command of the given kind (0: files by folder, 1: folders with files; the
// default 0) over <root> and prints the objects collected and the files per second of the run
// (the walk with the final sort and de-duplication), best of the repeats.
#include "KvCmdSequence.h"

#include <cstdio>
#include <cwchar>
#include <cstdlib>
#include <algorithm>

namespace {

class CBenchSequence : public KvCmdSequence::CCmdSequence {
public:
    using CCmdSequence::PassCmdList;
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fwprintf(stderr, L"usage: cmdsequence_bench <root> <file masks> [kind 0|1] [repeats]\n");
        return 2;
    }
    const int kind = argc > 3 ? _wtoi(argv[3]) : 0;
    const int repeats = argc > 4 ? std::max(1, _wtoi(argv[4])) : 3;

    CBenchSequence seq;
    KvCmdSequence::SOneCmd cmd;
    cmd.nType = kind;
    cmd.bRecursive = 1;
    cmd.strRoot = argv[1];
    cmd.strDirMasks = L"*";
    cmd.strFileMasks = argv[2];
    seq.GetCmdList()->push_back(cmd);

    double best = 0;
    size_t files = 0, dirs = 0;
    for (int i = 0; i < repeats; ++i) {
        std::list<KvCmdSequence::ScsResource> outFiles, outRegistry, outModules;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (!seq.PassCmdList(outFiles, outRegistry, outModules)) {
            fwprintf(stderr, L"the run stopped\n");
            return 1;
        }
        QueryPerformanceCounter(&end);
        const double seconds = Seconds(start, end);
        if (i == 0 || seconds < best)
            best = seconds;
        files = dirs = 0;
        for (const auto& r : outFiles)
            (r.nType == KvCmdSequence::SCS_FILE ? files : dirs)++;
    }
    wprintf(L"files %zu directories %zu seconds %.3f files/s %.0f\n", files, dirs, best,
            best > 0 ? files / best : 0.0);
    return 0;
}
