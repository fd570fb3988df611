// Benchmark of the store provider with a model-sized store: N file resources in groups of 1000
// under one job. Times two saves (the creation of the items, the board list with the hashing shown
// apart, the commit: XML written through MSXML), the second with the files unchanged, so that its
// list uses the checksums the first kept; then the open (XML read back) and the walk over the items.
// The reference of the same run: opening, reading and closing the same files on as many threads
// as the list hashes on, nothing else, measured in each round just before that round's saves.
//   store_bench.exe <folder with files d000\f0000.dll ...> <store folder> <count> [hash threads] [rounds]
#include <VCore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace Varno;

namespace {
double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::wstring FileName(const std::wstring& files, long i) {
    wchar_t name[64];
    swprintf(name, 64, L"\\d%03ld\\f%04ld.dll", i / 1000, i % 1000);
    return files + name;
}

// Opens, reads and closes every file on the given number of threads; the seconds it took.
double BareRead(const std::wstring& files, long count, int threads) {
    std::atomic<long> next{0};
    auto t = std::chrono::steady_clock::now();
    auto run = [&] {
        std::unique_ptr<BYTE[]> buffer(new BYTE[1 << 20]);
        for (long i; (i = next++) < count;) {
            HANDLE h = CreateFileW(FileName(files, i).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            if (h == INVALID_HANDLE_VALUE)
                continue;
            DWORD n = 0;
            while (ReadFile(h, buffer.get(), 1 << 20, &n, nullptr) && n) {
            }
            CloseHandle(h);
        }
    };
    std::vector<std::thread> pool;
    for (int k = 1; k < threads; ++k)
        pool.emplace_back(run);
    run();
    for (auto& p : pool)
        p.join();
    return Seconds(t);
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fwprintf(stderr, L"usage: store_bench <files folder> <store folder> <count> [hash threads] [rounds]\n");
        return 2;
    }
    std::wstring files = argv[1], folder = argv[2];
    long count = _wtol(argv[3]);
    int threads = argc > 4 ? _wtoi(argv[4]) : 0;
    CoInitialize(nullptr);
    try {
        auto provider = Common::CreateProvider();
        std::string path = as_string(folder + L"\\Localhost.vdb", 0);
        DeleteFileW((folder + L"\\Localhost.vdb").c_str());
        DeleteFileW((folder + L"\\bootfile.chk.cache").c_str()); // the first save reads every file
        std::string nam = as_string(folder + L"\\bootfile.nam", 0), chk = as_string(folder + L"\\bootfile.chk", 0);

        // One save: open, clear, create the items, the job's files list, commit, close.
        struct SaveTimes {
            double build = 0, list = 0, hash = 0, commit = 0;
            double Total() const { return build + list + commit; }
        };
        auto save = [&](SaveTimes& s) -> bool {
            auto db = provider->Open(path.c_str());
            if (!db) {
                fwprintf(stderr, L"open failed: %s\n", provider->GetLastErrorText().c_str());
                return false;
            }
            db->SetHashThreads(threads);
            auto t = std::chrono::steady_clock::now();
            db->Clear();
            auto subject = db->CreateSubject(L"BENCH", L"", L"Windows");
            db->SetLocalSubject(subject);
            auto job = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"Job", L""));
            subject->AddJob(job);
            SmartPtr<IDirectoryFileGroup> group;
            for (long i = 0; i < count; ++i) {
                if (i % 1000 == 0) {
                    group = checked_cast<IDirectoryFileGroup>(
                        db->CreateDirectoryFileGroup(L"G" + std::to_wstring(i / 1000), L"", _time_t::now()));
                    job->AddDirectoryFileGroup(group);
                }
                group->AddFile(checked_cast<IFile>(db->CreateFile(FileName(files, i), _time_t::now(), true, false)));
            }
            s.build = Seconds(t);
            t = std::chrono::steady_clock::now();
            job->WriteBootList(nam.c_str(), chk.c_str(), BootListFiles);
            s.list = Seconds(t);
            s.hash = db->GetLastHashSeconds();
            t = std::chrono::steady_clock::now();
            db->Commit();
            s.commit = Seconds(t);
            provider->Close(db->GetHandle());
            return true;
        };
        // Rounds of: the bare read, a first save (no records kept), a second save (files unchanged).
        // The machine is shared: each ratio is taken within its round, and the median is shown.
        const int readers = threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        const int rounds = argc > 5 ? std::max(1, _wtoi(argv[5])) : 3;
        std::vector<double> firstToBare, hashToBare, listSpeedup, hashSpeedup;
        SaveTimes first, second;
        double bare = 0;
        for (int round = 0; round < rounds; ++round) {
            DeleteFileW((folder + L"\\bootfile.chk.cache").c_str());
            bare = BareRead(files, count, readers);
            if (!save(first) || !save(second))
                return 1;
            wprintf(L"round %d: bare %.2f s, first list %.2f s (hashing %.2f s), second list %.2f s (hashing %.2f s)\n",
                    round + 1, bare, first.list, first.hash, second.list, second.hash);
            firstToBare.push_back(first.list / bare);
            hashToBare.push_back(first.hash / bare);
            listSpeedup.push_back(first.list / second.list);
            hashSpeedup.push_back(first.hash / second.hash);
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        };

        auto t = std::chrono::steady_clock::now();
        auto db = provider->Open(path.c_str());
        if (!db) {
            fwprintf(stderr, L"reopen failed: %s\n", provider->GetLastErrorText().c_str());
            return 1;
        }
        double tOpen = Seconds(t);
        t = std::chrono::steady_clock::now();
        long seen = 0;
        auto groups = db->GetResourceGroups()->Enumerate();
        while (groups->HasItem()) {
            auto members = checked_cast<IResourceGroup>(groups->Next())->GetResources()->Enumerate();
            while (members->HasItem()) {
                auto r = checked_cast<IFile>(members->Next());
                seen += r->IsControlled() && !r->GetName().empty();
            }
        }
        double tWalk = Seconds(t);
        provider->Close(db->GetHandle());

        wprintf(L"resources            %ld (walked %ld)\n", count, seen);
        for (const SaveTimes* s : {&first, &second}) {
            wprintf(L"%ls\n", s == &first ? L"-- first save" : L"-- second save, files unchanged");
            wprintf(L"create items         %8.2f s\n", s->build);
            wprintf(L"board list           %8.2f s   of which hashing %.2f s (%ld lines)\n", s->list, s->hash, count);
            wprintf(L"commit (XML write)   %8.2f s\n", s->commit);
            wprintf(L"save total           %8.2f s\n", s->Total());
        }
        wprintf(L"(the last round's saves above)\n");
        wprintf(L"bare open-read-close on %d threads; medians of %d rounds, each ratio within its round:\n", readers,
                rounds);
        wprintf(L"first list / bare    %8.2fx   (hashing alone %.2fx)\n", median(firstToBare), median(hashToBare));
        wprintf(L"second list faster   %8.1fx   (hashing alone %.1fx)\n", median(listSpeedup), median(hashSpeedup));
        wprintf(L"open (XML read)      %8.2f s\n", tOpen);
        wprintf(L"walk groups, files   %8.2f s\n", tWalk);
        wprintf(L"load total           %8.2f s\n", tOpen + tWalk);
    } catch (const EGeneric& e) {
        fwprintf(stderr, L"error: %s\n", e.text().c_str());
        return 1;
    }
    CoUninitialize();
    return 0;
}
