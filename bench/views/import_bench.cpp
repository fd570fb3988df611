// import_bench [resources]
// "Импорт модели из XML" of the main window, adding with merging (the dialog's default), of a model
// file that holds the model's own resources (groups of 1000 existing files under this computer's
// job), once from each category the window can show, with the first item of its tree selected. The
// reading of the file (the operation with the wait window) is timed apart from the whole command;
// against them, in the same run, the same file read into a model without any window.
#include "AppStoreHost.h"
#include "BenchFrame.h"
#include "BenchHost.h"
#include "BenchTree.h"
#include "DaVIdevaRez.h"
#include "ModelStore.h"

#include <cstdio>
#include <string>

CDaVIdevaRezApp theApp;

int wmain(int argc, wchar_t** argv) {
    const int count = BenchCount(argc, argv);
    const int perFolder = (count + kFolders - 1) / kFolders;
    ::InitCommonControls();
    ::CoInitialize(nullptr);
    theApp.ResetSettings();
    const std::wstring root = BenchTreeMade(count, perFolder);
    if (root.empty())
        return 1;
    CAppModelStoreHost host;
    SetModelStoreHost(&host);
    CBenchFrame* frame = OpenBenchFrame();
    if (!frame)
        return 1;
    theApp.m_pMainWnd = frame;
    CIChDataModel& model = frame->m_Model;
    FillBenchModel(model, root, count, perFolder);
    model.RebuildPathIndex();
    const std::wstring file = root + L".xml";
    ::DeleteFileW(file.c_str());
    double t = Now();
    if (frame->ExportModelFile(&model, file) != 0) {
        fprintf(stderr, "the model file could not be written\n");
        return 1;
    }
    const double exported = Now() - t;

    // The reference: the file read into a model of its own, without a window.
    t = Now();
    size_t read = 0;
    {
        CIChDataModel alone;
        alone.ImportFromStore(file, 15);
        read = alone.m_Resources.size();
    }
    const double readAlone = Now() - t;

    printf("resources: %d in %d groups; model file written in %.1f s\n", count, (count + 999) / 1000, exported);
    printf("the file read without a window:       %.3f s (%zu resources)\n", readAlone, read);
    const wchar_t* names[5] = {L"resources", L"groups", L"tasks", L"jobs", L"subjects"};
    for (UINT category = ID_CATEGORY_RESOURCES; category <= ID_CATEGORY_SUBJECTS; ++category) {
        frame->m_nCurrentCategory = -1;
        frame->SendMessage(WM_COMMAND, category, 0);
        CIChModelView& tree = frame->GetTree();
        if (HTREEITEM first = tree.GetRootItem())
            tree.SelectItem(first);
        KvUi::PumpWaitingMessages();
        // The command's own steps, as OnImportModelXml runs them after its dialog.
        t = Now();
        int result = frame->ImportModelFile(file.c_str(), 0, 1, 1, 1, 1, 1);
        const double imported = Now() - t;
        frame->RebuildTree();
        KvUi::PumpWaitingMessages();
        const double whole = Now() - t;
        printf("import from the %-9ls result %d: the command %.3f s (ratio %.2f), with the tree built again %.3f s "
               "(ratio %.2f); resources %zu\n",
               names[category - ID_CATEGORY_RESOURCES], result, imported, imported / readAlone, whole,
               whole / readAlone, model.m_Resources.size());
        fflush(stdout);
    }
    theApp.m_pMainWnd = nullptr;
    CloseBenchFrame(frame);
    SetModelStoreHost(nullptr);
    ::DeleteFileW(file.c_str());
    return 0;
}
