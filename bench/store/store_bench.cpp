// Benchmark of the store provider with a model-sized store: N file resources in groups of 1000
// under one job. Times the creation of the items, the board list (with the hashing shown apart),
// the commit (XML written through MSXML), the open (XML read back) and the walk over the items.
//   store_bench.exe <folder with files d000\f0000.dll ...> <store folder> <count> [hash threads]
#include <VCore.h>

#include <chrono>
#include <cstdio>

using namespace Varno;

namespace {
double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        fwprintf(stderr, L"usage: store_bench <files folder> <store folder> <count> [hash threads]\n");
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
        auto db = provider->Open(path.c_str());
        if (!db) {
            fwprintf(stderr, L"open failed: %s\n", provider->GetLastErrorText().c_str());
            return 1;
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
                group = checked_cast<IDirectoryFileGroup>(db->CreateDirectoryFileGroup(L"G" + std::to_wstring(i / 1000), L"", _time_t::now()));
                job->AddDirectoryFileGroup(group);
            }
            wchar_t name[64];
            swprintf(name, 64, L"\\d%03ld\\f%04ld.dll", i / 1000, i % 1000);
            group->AddFile(checked_cast<IFile>(db->CreateFile(files + name, _time_t::now(), true, false)));
        }
        double tBuild = Seconds(t);

        t = std::chrono::steady_clock::now();
        std::string nam = as_string(folder + L"\\bootfile.nam", 0), chk = as_string(folder + L"\\bootfile.chk", 0);
        job->WriteBootList(nam.c_str(), chk.c_str(), BootListFiles);
        double tList = Seconds(t);
        double tHash = db->GetLastHashSeconds();

        t = std::chrono::steady_clock::now();
        db->Commit();
        double tCommit = Seconds(t);
        provider->Close(db->GetHandle());
        db.Reset();

        t = std::chrono::steady_clock::now();
        db = provider->Open(path.c_str());
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
        wprintf(L"create items         %8.2f s\n", tBuild);
        wprintf(L"board list           %8.2f s   of which hashing %.2f s (%ld lines)\n", tList, tHash, count);
        wprintf(L"commit (XML write)   %8.2f s\n", tCommit);
        wprintf(L"open (XML read)      %8.2f s\n", tOpen);
        wprintf(L"walk groups, files   %8.2f s\n", tWalk);
        wprintf(L"save total           %8.2f s   load total %.2f s\n", tBuild + tList + tCommit, tOpen + tWalk);
    } catch (const EGeneric& e) {
        fwprintf(stderr, L"error: %s\n", e.text().c_str());
        return 1;
    }
    CoUninitialize();
    return 0;
}
