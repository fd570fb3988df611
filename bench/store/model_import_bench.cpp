// Benchmark of merging a model file into the current model: a model of N file resources (groups of
// 1000 under one second-edition job) is exported to a model file, then read back (a) into an empty
// model, (b) into a model that holds the same N resources (every resource and group merges), and
// (c) into a model of N other resources (everything is appended). Each import reads the file into a
// model of its own and merges it as the import command does. The ratio of (b) and (c) to (a) shows
// whether the merge grows with the model's size or with the product of the two sizes.
//   model_import_bench.exe <folder for the model file> <count>
#include "BenchHost.h"

#include <chrono>
#include <cstdio>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// N file resources named from `first` in groups of 1000 under the default job.
void Fill(CIChDataModel& model, long first, long count) {
    CIChJob* job = model.EnsureDefaultJob(model.EnsureDefaultSubject(), JobSecondEdition);
    CIChRGroup* group = nullptr;
    for (long i = 0; i < count; ++i) {
        if (i % 1000 == 0) {
            group = static_cast<CIChRGroup*>(model.CreateNode(NodeTypeGroup));
            group->m_Id = model.TakeNextId(NodeTypeGroup);
            group->SetName(L"G" + std::to_wstring((first + i) / 1000));
            group->LinkTo(job);
        }
        auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->m_Id = model.TakeNextId(NodeTypeResource);
        r->SetSubType(ResFile);
        wchar_t name[64];
        swprintf(name, 64, L"C:\\bench-absent\\d%03ld\\f%04ld.dll", (first + i) / 1000, (first + i) % 1000);
        r->SetName(name);
        r->LinkTo(group);
    }
    model.RebuildPathIndex();
}

struct Result {
    double read = 0, merge = 0;
    int added = 0;
    size_t resources = 0;
    int status = 0;
};

Result Import(CBenchHost& host, CIChDataModel& target, const std::wstring& file) {
    Result r;
    host.mainModel = &target;
    auto t = std::chrono::steady_clock::now();
    CIChDataModel read;
    r.status = read.ImportFromStore(file, 15);
    r.read = Seconds(t);
    t = std::chrono::steady_clock::now();
    r.added = target.TakeImported(read, 15, 1);
    r.merge = Seconds(t);
    r.resources = target.m_Resources.size();
    return r;
}

void Print(const wchar_t* what, const Result& r, const Result& base) {
    double total = r.read + r.merge, baseTotal = base.read + base.merge;
    wprintf(L"%-28ls read %7.2f s  merge %7.2f s  total %7.2f s  ratio %5.2f  (added %d, %u resources)\n", what, r.read,
            r.merge, total, baseTotal > 0 ? total / baseTotal : 0.0, r.added, static_cast<unsigned>(r.resources));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: model_import_bench <folder> <count>\n");
        return 2;
    }
    CoInitialize(nullptr);
    CBenchHost host;
    host.folder = argv[1];
    SetModelStoreHost(&host);
    long count = _wtol(argv[2]);
    const std::wstring file = host.folder + L"\\import-bench.xml";
    DeleteFileW(file.c_str());

    int exported;
    {
        CIChDataModel source;
        Fill(source, 0, count);
        host.mainModel = &source;
        auto t = std::chrono::steady_clock::now();
        exported = source.ExportToStore(file);
        wprintf(L"export of %ld resources %6.2f s (result %d)\n", count, Seconds(t), exported);
    }
    CIChDataModel empty;
    empty.NewModel(1, JobSecondEdition);
    Result base = Import(host, empty, file);
    CIChDataModel same;
    Fill(same, 0, count);
    Result merged = Import(host, same, file);
    CIChDataModel other;
    Fill(other, count, count);
    Result appended = Import(host, other, file);

    Print(L"into an empty model", base, base);
    Print(L"into the same resources", merged, base);
    Print(L"into other resources", appended, base);
    SetModelStoreHost(nullptr);
    CoUninitialize();
    bool ok = exported == 0 && base.status == 0 && merged.status == 0 && appended.status == 0 &&
              base.resources == static_cast<size_t>(count) && merged.resources == static_cast<size_t>(count) &&
              appended.resources == static_cast<size_t>(2 * count);
    if (!ok)
        fwprintf(stderr, L"unexpected counts or results\n");
    return ok ? 0 : 1;
}
