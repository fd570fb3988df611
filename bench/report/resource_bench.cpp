// Benchmark of the workstation resource report over a large store: N resources (files with
// environment references, directories, registry keys and values, disk sectors) in groups of 1000
// under one job, written to the store folder the plug-in reads. Times the store's load through the
// provider, the plug-in's response and the report file built from it, and prints their ratios.
//   resource_bench.exe <work folder> <count>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <VCore.h>

#include "KvProcAddress.h"
#include "KvReportDataSource.h"
#include "ReportRequest.h"
#include "StoreFolderUtil.h"

using namespace KvResourceTest;
using namespace Varno;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

void Seed(const std::string& path, long count) {
    auto provider = Common::CreateProvider();
    auto db = provider->Open(path.c_str());
    if (!db)
        throw std::runtime_error("the store does not open");
    db->Clear();
    _time_t t = _time_t::now();
    auto subject = db->CreateSubject(L"BENCH", L"", L"Windows");
    db->SetLocalSubject(subject);
    auto job = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"Job", L""));
    subject->AddJob(job);
    for (long g = 0; g * 1000 < count; ++g) {
        long n = count - g * 1000 < 1000 ? count - g * 1000 : 1000;
        wchar_t name[96];
        switch (g % 4) {
        case 0:
        case 1: {
            auto group =
                checked_cast<IDirectoryFileGroup>(db->CreateDirectoryFileGroup(L"G" + std::to_wstring(g), L"", t));
            job->AddDirectoryFileGroup(group);
            for (long i = 0; i < n; ++i) {
                swprintf(name, 96, L"%%SystemRoot%%\\bench\\d%03ld\\f%04ld.dll", g, i);
                if (i % 10 == 0)
                    group->AddDirectory(checked_cast<IDirectory>(db->CreateDirectory(name, t, true)));
                else
                    group->AddFile(checked_cast<IFile>(db->CreateFile(name, t, i % 50 != 1, false)));
            }
            break;
        }
        case 2: {
            auto group = checked_cast<IRegistryGroup>(db->CreateRegistryGroup(L"R" + std::to_wstring(g), L"", t));
            job->AddRegistryGroup(group);
            for (long i = 0; i < n; ++i) {
                swprintf(name, 96, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\K%03ld\\S%04ld", g, i);
                if (i % 2)
                    group->AddRegistryKey(checked_cast<IRegistryKey>(db->CreateRegistryKey(name, t, true)));
                else
                    group->AddRegistryValue(
                        checked_cast<IRegistryValue>(db->CreateRegistryValue(name, L"Value", t, true)));
            }
            break;
        }
        default: {
            auto group = checked_cast<IDiskSectorGroup>(db->CreateDiskSectorGroup(L"S" + std::to_wstring(g), L"", t));
            job->AddDiskSectorGroup(group);
            for (long i = 0; i < n; ++i) {
                long long sector = g * 1000LL + i;
                swprintf(name, 96, L"\\\\.\\PhysicalDrive0:%lld", sector);
                group->AddDiskSector(checked_cast<IDiskSector>(db->CreateDiskSector(name, L"", 0, sector, t, true)));
            }
            break;
        }
        }
    }
    db->Commit();
    provider->Close(db->GetHandle());
}

template <class F>
double Best(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t = std::chrono::steady_clock::now();
        f();
        double s = Seconds(t);
        if (s < best)
            best = s;
    }
    return best;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: resource_bench <work folder> <count>\n");
        return 2;
    }
    std::wstring work = argv[1];
    long count = _wtol(argv[2]);
    CoInitialize(nullptr);
    std::wstring folder = StoreFolder();
    std::wstring store = StorePath();
    bool madeFolder = CreateDirectoryW(folder.c_str(), nullptr) != 0;
    if (!madeFolder && GetFileAttributesW(store.c_str()) != INVALID_FILE_ATTRIBUTES) {
        fwprintf(stderr, L"%s exists already: the benchmark does not replace a store it did not make\n", store.c_str());
        return 1;
    }
    int status = 0;
    try {
        auto t = std::chrono::steady_clock::now();
        Seed(as_string(store, 0), count);
        wprintf(L"store: %ld resources, %lld bytes, made in %.2f s\n", count, FileSize(store), Seconds(t));

        auto provider = Common::CreateProvider();
        long seen = 0;
        double tLoad = Best(3, [&] {
            auto db = provider->OpenExisting(as_string(store, 0).c_str());
            if (!db)
                throw std::runtime_error("the store does not open");
            seen = db->GetResources()->GetCount();
            provider->Close(db->GetHandle());
        });

        std::wstring request = work + L"\\bench_request.xml", response = work + L"\\bench_response.xml",
                     report = work + L"\\bench_report.rtf";
        SResourceFilter filter = {};
        if (FAILED(BuildResourceRequest(filter, SPageNumbering{1, 0, 1}, report.c_str(), 0, L"bench", request.c_str())))
            throw std::runtime_error("the request is not written");
        HMODULE plugin = LoadLibraryW(L"VrnResourceRpt64.dll");
        HMODULE builder = LoadLibraryW(L"KvReportBuilder64.dll");
        if (!plugin || !builder)
            throw std::runtime_error("VrnResourceRpt64.dll or KvReportBuilder64.dll does not load");
        auto factory = KvGetProcAddress<PFN_KvGetReportDataSource>(plugin, "KvGetReportDataSource");
        auto build = KvGetProcAddress<int (*)(const wchar_t*, wchar_t*)>(builder, "KvReportBuild");
        int result = -1;
        double tResponse = Best(3, [&] {
            IKvReportDataSource* source = factory();
            result = source->Build(request.c_str(), response.c_str(), nullptr);
            source->Release();
        });
        int built = -1;
        double tReport = Best(3, [&] {
            wchar_t path[MAX_PATH] = {};
            built = build(response.c_str(), path);
        });
        wprintf(L"load of the store through the provider: %8.3f s  (%ld resources)\n", tLoad, seen);
        wprintf(L"response (plug-in Build):               %8.3f s  result %d, %lld bytes  ratio %.2f\n", tResponse,
                result, FileSize(response), tResponse / tLoad);
        wprintf(L"report file (KvReportBuild):            %8.3f s  result %d, %lld bytes  ratio %.2f\n", tReport, built,
                FileSize(report), tReport / tLoad);
        wprintf(L"response and report together:           %8.3f s  ratio %.2f\n", tResponse + tReport,
                (tResponse + tReport) / tLoad);
        if (result != 0 || built != 0)
            status = 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "failed: %s\n", e.what());
        status = 1;
    }
    DeleteFileW(store.c_str());
    if (madeFolder)
        RemoveDirectoryW(folder.c_str());
    return status;
}
