// cmdsequence_bench <root> <file masks> [kind] [repeats] [compare]
// Runs one recursive command of the given kind (0: files by folder, 1: folders with files; the
// default 0) over <root> and prints the objects collected and the files per second of the run
// (the walk with the final sort and de-duplication), best of the repeats. With "compare" it also
// collects the same objects the way the run did before its single walk (GetDiskObjectsList per
// pair of masks, sorted and made unique with lstrcmpiW), times that once and says whether the two
// lists are identical.
#include "KvCmdSequence.h"

#include <cstdio>
#include <cwchar>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

namespace {

class CBenchSequence : public KvCmdSequence::CCmdSequence {
public:
    using CCmdSequence::PassCmdList;
};

// The run's collection before the single walk: one walk per pair of masks, then a list sort
// whose every comparison is lstrcmpiW.
std::list<KvCmdSequence::ScsResource> PerMaskRun(const KvCmdSequence::SOneCmd& cmd) {
    auto split = [](const std::wstring& text) {
        std::vector<std::wstring> pieces;
        std::wstring piece;
        for (wchar_t ch : text + L";") {
            if (ch == L';' || ch == L',' || ch == L' ') {
                if (!piece.empty())
                    pieces.push_back(piece);
                piece.clear();
            } else {
                piece += ch;
            }
        }
        if (pieces.empty())
            pieces.emplace_back();
        return pieces;
    };
    std::list<KvCmdSequence::ScsResource> out;
    const std::vector<std::wstring> dirs = cmd.nType == 0 ? std::vector<std::wstring>{L"*"} : split(cmd.strDirMasks);
    for (const std::wstring& dir : dirs)
        for (const std::wstring& file : split(cmd.strFileMasks))
            KvCmdSequence::GetDiskObjectsList(cmd.strRoot.c_str(), dir.c_str(), file.c_str(), cmd.nType == 1,
                                              cmd.bRecursive, &out);
    out.sort([](const KvCmdSequence::ScsResource& a, const KvCmdSequence::ScsResource& b) {
        return lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) < 0;
    });
    out.unique([](const KvCmdSequence::ScsResource& a, const KvCmdSequence::ScsResource& b) {
        return a.nType == b.nType && lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) == 0;
    });
    return out;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: cmdsequence_bench <root> <file masks> [kind 0|1] [repeats]\n");
        return 2;
    }
    const int kind = argc > 3 ? _wtoi(argv[3]) : 0;
    const int repeats = argc > 4 ? std::max(1, _wtoi(argv[4])) : 3;
    const bool compare = argc > 5 && wcscmp(argv[5], L"compare") == 0;

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
    std::list<KvCmdSequence::ScsResource> lastFiles;
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
        lastFiles.swap(outFiles);
    }
    wprintf(L"files %zu directories %zu seconds %.3f files/s %.0f\n", files, dirs, best, best > 0 ? files / best : 0.0);
    if (compare) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const std::list<KvCmdSequence::ScsResource> reference = PerMaskRun(cmd);
        QueryPerformanceCounter(&end);
        const bool same = std::equal(lastFiles.begin(), lastFiles.end(), reference.begin(), reference.end(),
                                     [](const KvCmdSequence::ScsResource& a, const KvCmdSequence::ScsResource& b) {
                                         return a.nType == b.nType && a.strPath == b.strPath;
                                     });
        wprintf(L"per-mask walks with lstrcmpiW sort: objects %zu seconds %.3f; lists identical: %ls\n",
                reference.size(), Seconds(start, end), same ? L"yes" : L"NO");
        if (!same)
            return 1;
    }
    return 0;
}
