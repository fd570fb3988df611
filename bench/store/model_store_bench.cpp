// Benchmark of the model's save and load: a model of N file resources (groups of 1000 under one
// second-edition job) saved into the local store with the five board lists, saved again unchanged
// (the provider takes the store from memory and leaves the file, the lists use the checksums the
// first save kept), in three rounds, each with a provider of its own and no store, lists or
// records at its start, the ratio taken within the round and its median shown; then loaded back,
// each load by a provider of its own, which reads the file (a provider that has closed the store
// keeps its items and reads nothing), median of three against a bare SAX read of the store file in
// the same run, and less the machine's price for the first touch of the memory each load took.
// The time the provider spends hashing for the board lists is shown apart.
//   model_store_bench.exe <folder with files d000\f0000.dll ...> <board folder> <count> [load]
// With "load", only the loads are measured (median of five), of the store file an earlier full
// run left in the board folder.
#include "BareSaxRead.h"
#include "BenchHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Varno;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Loads the store file `rounds` times, each time by a provider of its own, each after a bare SAX
// read of the file; prints each round and the medians. Each load's growth of the working set is
// touched afresh once the load is done, for the machine's price of that memory in the same run.
// 0 when every load read the store.
int MeasureLoads(CBenchHost& host, int rounds) {
    std::vector<double> loads, bare, touches, rest;
    long elements = 0;
    int read = 0;
    size_t back = 0, took = 0;
    for (int i = 0; i < rounds; ++i) {
        bare.push_back(BareSaxRead(host.folder + L"\\Localhost.vdb", elements));
        host.provider = Common::CreateProvider();
        const size_t before = WorkingSetBytes();
        const auto t = std::chrono::steady_clock::now();
        CIChDataModel loaded;
        read |= loaded.Load();
        loads.push_back(Seconds(t));
        touches.push_back(FirstTouchOfGrowth(before, took));
        rest.push_back(loads.back() - touches.back());
        back = loaded.m_Resources.size();
        wprintf(L"load %d               %8.2f s   bare SAX read %.2f s, ratio %.2f; took %.0f MB, their first touch "
                L"%.2f s\n",
                i + 1, loads.back(), bare.back(), bare.back() > 0 ? loads.back() / bare.back() : 0.0, took / 1e6,
                touches.back());
    }
    const double tLoad = Median(loads), tBare = Median(bare), tTouch = Median(touches), tRest = Median(rest);
    wprintf(L"resources loaded     %8u     (loaded: %d)\n", static_cast<unsigned>(back), read);
    wprintf(L"bare SAX read        %8.2f s   of the store file (%ld elements)\n", tBare, elements);
    wprintf(L"load                 %8.2f s   ratio %.2f\n", tLoad, tBare > 0 ? tLoad / tBare : 0.0);
    wprintf(L"first touch          %8.2f s   of as much fresh memory as each load took (machine's price)\n", tTouch);
    wprintf(L"load less that       %8.2f s   ratio %.2f\n", tRest, tBare > 0 ? tRest / tBare : 0.0);
    return read;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fwprintf(stderr, L"usage: model_store_bench <files folder> <board folder> <count>\n");
        return 2;
    }
    CoInitialize(nullptr);
    CBenchHost host;
    host.folder = argv[2];
    SetModelStoreHost(&host);
    std::wstring files = argv[1];
    long count = _wtol(argv[3]);
    if (argc > 4 && wcscmp(argv[4], L"load") == 0) {
        const int read = MeasureLoads(host, 5);
        SetModelStoreHost(nullptr);
        CoUninitialize();
        return read == 0 ? 0 : 1;
    }
    auto t = std::chrono::steady_clock::now();
    CIChDataModel model;
    CIChSubject* subject = model.EnsureDefaultSubject();
    CIChJob* job = model.EnsureDefaultJob(subject, JobSecondEdition);
    CIChRGroup* group = nullptr;
    for (long i = 0; i < count; ++i) {
        if (i % 1000 == 0) {
            group = static_cast<CIChRGroup*>(model.CreateNode(NodeTypeGroup));
            group->m_Id = model.TakeNextId(NodeTypeGroup);
            group->SetName(L"G" + std::to_wstring(i / 1000));
            group->LinkTo(job);
        }
        auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->m_Id = model.TakeNextId(NodeTypeResource);
        r->SetSubType(ResFile);
        wchar_t name[64];
        swprintf(name, 64, L"\\d%03ld\\f%04ld.dll", i / 1000, i % 1000);
        r->SetName(files + name);
        r->LinkTo(group);
    }
    double tBuild = Seconds(t);

    double saves[3], saves2[3], hashes[3], hashes2[3], ratios[3];
    int saved = 0, savedAgain = 0;
    for (int round = 0; round < 3; ++round) {
        host.provider = Common::CreateProvider();
        for (const wchar_t* f : {L"Localhost.vdb", L"bootfile.chk.cache", L"bootfile.nam", L"bootfile.chk"})
            DeleteFileW((host.folder + L"\\" + f).c_str()); // the first save reads every file
        t = std::chrono::steady_clock::now();
        saved |= model.Save(nullptr);
        saves[round] = Seconds(t);
        hashes[round] = host.hashSeconds;
        // The same model saved again, its files unchanged.
        t = std::chrono::steady_clock::now();
        savedAgain |= model.Save(nullptr);
        saves2[round] = Seconds(t);
        hashes2[round] = host.hashSeconds;
        ratios[round] = saves2[round] > 0 ? saves[round] / saves2[round] : 0.0;
        wprintf(L"round %d: save %.2f s (hashing %.2f s), second save %.2f s (hashing %.2f s), %.1fx\n", round + 1,
                saves[round], hashes[round], saves2[round], hashes2[round], ratios[round]);
    }
    const double tSave = Median({saves[0], saves[1], saves[2]}), tSave2 = Median({saves2[0], saves2[1], saves2[2]});
    const double tHash = Median({hashes[0], hashes[1], hashes[2]}),
                 tHash2 = Median({hashes2[0], hashes2[1], hashes2[2]});

    wprintf(L"resources            %ld (saved: %d, second save: %d)\n", count, saved, savedAgain);
    wprintf(L"build model          %8.2f s\n", tBuild);
    wprintf(L"save                 %8.2f s   of which hashing for the board lists %.2f s (median)\n", tSave, tHash);
    wprintf(L"second save          %8.2f s   of which hashing for the board lists %.2f s (median; saved: %d)\n", tSave2,
            tHash2, savedAgain);
    wprintf(L"second save faster   %8.1fx   (median of the rounds' ratios)\n",
            Median({ratios[0], ratios[1], ratios[2]}));
    // The load against a bare SAX read of the same store file in the same run.
    const int read = MeasureLoads(host, 3);
    SetModelStoreHost(nullptr);
    CoUninitialize();
    return saved == 0 && savedAgain == 0 && read == 0 ? 0 : 1;
}
