// Benchmark of the Windows-templates operation of the start-up kind over this computer (the test
// prefix): the whole operation into a model, against walking the same modules with the dependency
// finder alone (one finder per module, as the operation walks each module once).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "IChDataModel.h"
#include "IChNode.h"
#include "KvOsTemplates.h"
#include "linkwalk.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int rounds = argc > 1 ? _wtoi(argv[1]) : 3;
    if (rounds < 1)
        rounds = 1;
    // The modules one run walks (and a warm file cache).
    std::vector<std::wstring> roots;
    {
        CIChTask* task = new CIChTask;
        CStartupTemplates run([](wchar_t) { return 1; });
        run.Create(task);
        roots = run.Collector().WalkedModules();
        DeleteNodeTree(task);
    }
    double best = 1e30, bestWalk = 1e30, bestFiles = 1e30;
    size_t resources = 0, found = 0;
    for (int i = 0; i < rounds; ++i) {
        CIChDataModel model;
        model.NewModel(1, JobSecondEdition);
        SOsTemplatesRun run = WindowsTaskRun(&model, WindowsTaskStartup, [](wchar_t) { return 1; });
        auto start = std::chrono::steady_clock::now();
        CreateOsTemplates(run);
        best = std::min(best, Seconds(start));
        resources = model.m_Resources.size();

        start = std::chrono::steady_clock::now();
        {
            CIChTask* task = new CIChTask;
            CStartupTemplates files([](wchar_t) { return 1; });
            files.Create(task);
            DeleteNodeTree(task);
        }
        bestFiles = std::min(bestFiles, Seconds(start));

        start = std::chrono::steady_clock::now();
        found = 0;
        for (const std::wstring& root : roots) {
            Depends::CDepps finder;
            finder.AddModule(root, root, 1);
            found += finder.m_found.size();
        }
        bestWalk = std::min(bestWalk, Seconds(start));
    }
    printf("operation 4 (start-up kind): %zu resources in %.3f s (best of %d)\n", resources, best, rounds);
    printf("of which the three file groups alone: %.3f s\n", bestFiles);
    printf("finder alone: %zu modules walked, %zu found in %.3f s\n", roots.size(), found, bestWalk);
    printf("ratio: operation / finder alone = %.2f; file groups / finder alone = %.2f\n",
           bestWalk > 0 ? best / bestWalk : 0.0, bestWalk > 0 ? bestFiles / bestWalk : 0.0);
    return 0;
}
