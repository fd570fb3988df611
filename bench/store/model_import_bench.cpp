// Benchmarks of reading model files into the model, each against a reference measured in the same
// run.
//
// merge: a model of N file resources (groups of 1000 under one second-edition job) is exported to
// a model file, then read back (a) into an empty model, (b) into a model that holds the same N
// resources (every resource and group merges), and (c) into a model of N other resources
// (everything is appended). Each import reads the file into a model of its own and merges it as
// the import command does. The ratio of (b) and (c) to (a) shows whether the merge grows with the
// model's size or with the product of the two sizes.
// read: the import's read of a file of N resources (the store's parse and the building of the
// nodes, each resource's existence asked once; each read by a provider of its own, which reads the
// file) against a bare SAX read of the same file; and the read less the machine's price for the
// first touch of as much fresh memory as it took.
// names: an import without the merge flag of a file of 1 000 groups of one name, and of one of
// 2 000 tasks of one name (each over a group of its own), into a model that holds that name
// already, against the import of N plain resources into an empty model.
// tasks: making 10 000 tasks while the import's machine-view scope is open, against making as many
// groups; and a few tasks outside a scope, each reading the machine itself.
//   model_import_bench.exe <folder for the model files> <count> [merge|read|names|tasks]
#include "BareSaxRead.h"
#include "BenchHost.h"

#include <KvCmdSequence.h>

#include <algorithm>
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

// ----- read: the import's read against a bare SAX read -----

int RunRead(CBenchHost& host, long count) {
    const std::wstring file = host.folder + L"\\read-bench.xml";
    DeleteFileW(file.c_str());
    {
        CIChDataModel source;
        Fill(source, 0, count);
        host.mainModel = &source;
        if (source.ExportToStore(file) != 0)
            return 1;
    }
    CIChDataModel main;
    main.NewModel(1, JobSecondEdition);
    host.mainModel = &main;
    double sax[3], read[3], open[3], attrs[3], touch[3], rest[3];
    size_t took = 0;
    long elements = 0;
    size_t resources = 0;
    for (int i = 0; i < 3; ++i) {
        sax[i] = BareSaxRead(file, elements);
        attrs[i] = BareSaxRead(file, elements, true);
        // Each open and each import by a provider of its own, which reads the file: a provider
        // that wrote or closed the store unchanged keeps its items and reads nothing.
        host.provider = Varno::Common::CreateProvider();
        auto o = std::chrono::steady_clock::now();
        Varno::SmartPtr<Varno::IDatabase> store = host.provider->OpenExisting(as_string(file, 0).c_str());
        if (!store)
            return 1;
        host.provider->Close(store->GetHandle());
        open[i] = Seconds(o);
        host.provider = Varno::Common::CreateProvider();
        const size_t before = WorkingSetBytes();
        auto t = std::chrono::steady_clock::now();
        CIChDataModel model;
        if (model.ImportFromStore(file, 15) != 0)
            return 1;
        read[i] = Seconds(t);
        touch[i] = FirstTouchOfGrowth(before, took);
        rest[i] = read[i] - touch[i];
        resources = model.m_Resources.size();
    }
    double s = Median({sax[0], sax[1], sax[2]}), r = Median({read[0], read[1], read[2]}),
           o = Median({open[0], open[1], open[2]});
    const double a = Median({attrs[0], attrs[1], attrs[2]});
    wprintf(L"bare SAX read of the file  %7.2f s  (%ld elements)\n", s, elements);
    wprintf(L"the same, every attribute fetched %5.2f s  ratio %5.2f\n", a, s > 0 ? a / s : 0.0);
    wprintf(L"the store's open alone     %7.2f s  ratio %5.2f\n", o, s > 0 ? o / s : 0.0);
    wprintf(L"import's read (parse+nodes) %6.2f s  (%u resources)  ratio %5.2f\n", r, static_cast<unsigned>(resources),
            s > 0 ? r / s : 0.0);
    const double ft = Median({touch[0], touch[1], touch[2]}), rr = Median({rest[0], rest[1], rest[2]});
    wprintf(L"first touch of the memory it took %5.2f s  (%.0f MB in the last round; the machine's price)\n", ft,
            took / 1e6);
    wprintf(L"import's read less that    %7.2f s  ratio %5.2f\n", rr, s > 0 ? rr / s : 0.0);
    return s > 0 && resources == static_cast<size_t>(count) ? 0 : 1;
}

// ----- names: many nodes of one name, merge off -----

// The import command's work on a file: read into a model of its own, then merged in.
double ImportInto(CBenchHost& host, CIChDataModel& target, const std::wstring& file, int merge, int& added) {
    host.mainModel = &target;
    auto t = std::chrono::steady_clock::now();
    CIChDataModel read;
    if (read.ImportFromStore(file, 15) != 0)
        return -1;
    target.RebuildPathIndex();
    added = target.TakeImported(read, 15, merge);
    return Seconds(t);
}

// A file of `groups` groups named "Группа", each with one resource, and `tasks` tasks named
// "Задача", each over a group of its own, all under the job.
bool WriteSameNames(CBenchHost& host, const std::wstring& file, int groups, int tasks) {
    DeleteFileW(file.c_str());
    CIChDataModel source;
    CIChJob* job = source.EnsureDefaultJob(source.EnsureDefaultSubject(), JobSecondEdition);
    for (int i = 0; i < std::max(groups, tasks); ++i) {
        auto* g = static_cast<CIChRGroup*>(source.CreateNode(NodeTypeGroup));
        g->m_Id = source.TakeNextId(NodeTypeGroup);
        g->SetName(i < groups ? L"Группа" : L"Группа задачи " + std::to_wstring(i));
        auto* r = static_cast<CIChResorce*>(source.CreateNode(NodeTypeResource));
        r->m_Id = source.TakeNextId(NodeTypeResource);
        r->SetSubType(ResFile);
        r->SetName(L"C:\\bench-absent\\same\\f" + std::to_wstring(i) + L".dll");
        r->LinkTo(g);
        if (i < tasks) {
            auto* t = static_cast<CIChTask*>(source.CreateNode(NodeTypeTask));
            t->m_Id = source.TakeNextId(NodeTypeTask);
            t->SetName(L"Задача");
            g->LinkTo(t);
            t->LinkTo(job);
        } else {
            g->LinkTo(job);
        }
    }
    host.mainModel = &source;
    return source.ExportToStore(file) == 0;
}

int RunNames(CBenchHost& host, long count) {
    const std::wstring plain = host.folder + L"\\names-plain.xml", groups = host.folder + L"\\names-groups.xml",
                       tasks = host.folder + L"\\names-tasks.xml";
    DeleteFileW(plain.c_str());
    {
        CIChDataModel source;
        Fill(source, 0, count);
        host.mainModel = &source;
        if (source.ExportToStore(plain) != 0)
            return 1;
    }
    if (!WriteSameNames(host, groups, 1000, 0) || !WriteSameNames(host, tasks, 0, 2000))
        return 1;
    int added = 0;
    CIChDataModel empty;
    empty.NewModel(1, JobSecondEdition);
    double base = ImportInto(host, empty, plain, 0, added);
    wprintf(L"%ld plain resources into an empty model %7.2f s (added %d)\n", count, base, added);
    struct {
        const wchar_t* what;
        const std::wstring& file;
        int expected;
    } runs[] = {{L"1 000 groups of one name", groups, 2000}, {L"2 000 tasks of one name", tasks, 6000}};
    bool ok = base > 0 && added >= count;
    for (const auto& run : runs) {
        CIChDataModel target;
        target.NewModel(1, JobSecondEdition);
        // The model holds the name already: every node of the file is renamed.
        auto* g = static_cast<CIChRGroup*>(target.CreateNode(NodeTypeGroup));
        g->m_Id = target.TakeNextId(NodeTypeGroup);
        g->SetName(L"Группа");
        auto* t = static_cast<CIChTask*>(target.CreateNode(NodeTypeTask));
        t->m_Id = target.TakeNextId(NodeTypeTask);
        t->SetName(L"Задача");
        double seconds = ImportInto(host, target, run.file, 0, added);
        wprintf(L"%-32ls %7.3f s  ratio %6.4f to the plain import (added %d)\n", run.what, seconds,
                base > 0 ? seconds / base : 0.0, added);
        ok = ok && seconds > 0 && added == run.expected;
    }
    return ok ? 0 : 1;
}

// ----- tasks: making many tasks -----

int RunTasks() {
    const int count = 10000;
    double groups, tasks, unscoped;
    {
        CIChDataModel model;
        auto t = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i)
            model.CreateNode(NodeTypeGroup);
        groups = Seconds(t);
    }
    {
        CIChDataModel model;
        auto t = std::chrono::steady_clock::now();
        KvCmdSequence::CMachineViewScope view;
        for (int i = 0; i < count; ++i)
            model.CreateNode(NodeTypeTask);
        tasks = Seconds(t);
    }
    const int few = 50;
    {
        CIChDataModel model;
        auto t = std::chrono::steady_clock::now();
        for (int i = 0; i < few; ++i)
            model.CreateNode(NodeTypeTask);
        unscoped = Seconds(t);
    }
    wprintf(L"%d groups                      %8.3f s  %8.2f us each\n", count, groups, groups * 1e6 / count);
    wprintf(L"%d tasks, one machine reading  %8.3f s  %8.2f us each  ratio %5.2f to the groups\n", count, tasks,
            tasks * 1e6 / count, groups > 0 ? tasks / groups : 0.0);
    wprintf(L"%d tasks, each reading the machine %5.3f s  %8.2f us each\n", few, unscoped, unscoped * 1e6 / few);
    return 0;
}

int RunMerge(CBenchHost& host, long count) {
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
    bool ok = exported == 0 && base.status == 0 && merged.status == 0 && appended.status == 0 &&
              base.resources == static_cast<size_t>(count) && merged.resources == static_cast<size_t>(count) &&
              appended.resources == static_cast<size_t>(2 * count);
    if (!ok)
        fwprintf(stderr, L"unexpected counts or results\n");
    return ok ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: model_import_bench <folder> <count> [merge|read|names|tasks]\n");
        return 2;
    }
    CoInitialize(nullptr);
    CBenchHost host;
    host.folder = argv[1];
    SetModelStoreHost(&host);
    long count = _wtol(argv[2]);
    const std::wstring mode = argc > 3 ? argv[3] : L"merge";
    int result = 2;
    if (mode == L"merge")
        result = RunMerge(host, count);
    else if (mode == L"read")
        result = RunRead(host, count);
    else if (mode == L"names")
        result = RunNames(host, count);
    else if (mode == L"tasks")
        result = RunTasks();
    else
        fwprintf(stderr, L"unknown mode %ls\n", mode.c_str());
    SetModelStoreHost(nullptr);
    CoUninitialize();
    return result;
}
