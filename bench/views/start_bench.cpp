// start_bench [resources]
// The start of the main window over a board store of that many file resources (groups of 1000
// under this computer's job; the files exist, so no resource is questioned): the window made and
// shown, then its posted restore run to the end and the first list shown, with every message
// dispatched. Against it, in the same run: the store's load into a model without any window. What
// the window adds to the load is the difference; the ratio is the start's time to the load's.
#include "AppStoreHost.h"
#include "BenchFrame.h"
#include "BenchHost.h"
#include "BenchTree.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "ModelStore.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

CDaVIdevaRezApp theApp;

namespace {

// Drive C: is the only drive and a local hard disk: the board folder is C:\Varno.
class CDriveOnC : public CDriveAnswers {
public:
    DWORD LogicalDriveStrings(DWORD size, wchar_t* buffer) override {
        static const wchar_t all[] = L"C:\\\0\0";
        if (size < 5)
            return 5;
        std::copy(all, all + 5, buffer);
        return 4;
    }
    int IsLocalHardDisk(wchar_t letter) override { return letter == L'C' || letter == L'c'; }
};

// Dispatches messages until the frame has restored its model and nothing more waits.
void PumpUntilSettled(CMainFrame* frame) {
    for (;;) {
        KvUi::PumpWaitingMessages();
        MSG m;
        if (!frame->IsOperationRunning() && ::IsWindowEnabled(frame->m_hWnd) &&
            !::PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE))
            return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = BenchCount(argc, argv);
    const int perFolder = (count + kFolders - 1) / kFolders;
    ::InitCommonControls();
    ::CoInitialize(nullptr);
    theApp.ResetSettings();
    const std::wstring root = BenchTreeMade(count, perFolder);
    if (root.empty())
        return 1;
    CDriveOnC drives;
    theApp.SetDriveAnswers(&drives);
    CAppModelStoreHost host;
    SetModelStoreHost(&host);
    ::CreateDirectoryW(L"C:\\Varno", nullptr);
    // "keep" as the second argument keeps the store for the next run with "keep" (which takes it
    // as it is); without it, the store is made afresh and deleted at the end.
    // A mark beside the store says which run of which count made it (a store of another program or
    // test is never taken).
    const bool keep = argc > 2 && wcscmp(argv[2], L"keep") == 0;
    const std::wstring mark = L"C:\\Varno\\start_bench." + std::to_wstring(count);
    const bool reuse = keep && ::GetFileAttributesW(L"C:\\Varno\\Localhost.vdb") != INVALID_FILE_ATTRIBUTES &&
                       ::GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES;
    ::DeleteFileW(mark.c_str());

    // The store.
    double t = Now();
    if (!reuse) {
        ::DeleteFileW(L"C:\\Varno\\Localhost.vdb");
        CIChDataModel model;
        FillBenchModel(model, root, count, perFolder);
        if (model.Save(nullptr) != 0) {
            fprintf(stderr, "the store could not be saved\n");
            return 1;
        }
    }
    const double saved = Now() - t;
    if (keep)
        ::CloseHandle(::CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    // The reference: the load alone.
    t = Now();
    size_t loaded = 0;
    {
        CIChDataModel model;
        model.Load();
        loaded = model.m_Resources.size();
    }
    const double load = Now() - t;

    // The same load on a thread of its own (with COM as the window's worker has it), no window.
    double loadOnThread = 0;
    {
        std::thread worker([&] {
            ::CoInitialize(nullptr);
            double start = Now();
            {
                CIChDataModel model;
                model.Load();
            }
            loadOnThread = Now() - start;
            ::CoUninitialize();
        });
        worker.join();
    }

    // The start: the window shown, then its posted category and restore.
    t = Now();
    CBenchFrame* frame = new CBenchFrame;
    theApp.m_pMainWnd = frame;
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW)) {
        fprintf(stderr, "the main window could not be made\n");
        return 1;
    }
    frame->ShowWindow(SW_SHOW);
    frame->UpdateWindow();
    const double shown = Now() - t;
    PumpUntilSettled(frame);
    const double started = Now() - t;
    CIChViewer* viewer = frame->m_wndView.GetActiveViewer();
    const HWND list = viewer ? viewer->GetWnd() : nullptr;
    const int rows = list ? ListView_GetItemCount(list) : 0;
    // The window's own steps of the restore again, each alone: the tree of the category built
    // again, and the current node set (the views emptied and the first list filled).
    t = Now();
    frame->RebuildTree();
    KvUi::PumpWaitingMessages();
    const double rebuild = Now() - t;
    t = Now();
    frame->SetCurrentNode(nullptr, 1);
    KvUi::PumpWaitingMessages();
    const double cleared = Now() - t;
    // The load as the window runs it (on its worker, with the wait window), into the model again.
    t = Now();
    frame->RunLoadModel(&frame->m_Model);
    const double loadByWindow = Now() - t;

    printf("resources: %d in %d groups (store saved in %.1f s)\n", count, (count + 999) / 1000, saved);
    printf("the store's load without a window:        %.3f s (%zu resources)\n", load, loaded);
    printf("the same load on a thread of its own:      %.3f s, ratio to the load %.2f\n", loadOnThread,
           loadOnThread / load);
    printf("the start: window shown                   %.3f s\n", shown);
    printf("the start: model restored, list shown     %.3f s, ratio to the load %.2f\n", started, started / load);
    printf("what the window adds to the load:         %.3f s\n", started - load);
    printf("model after the start: %zu resources; the active list shows %d rows\n", frame->m_Model.m_Resources.size(),
           rows);
    printf("  of it: the category's tree built again   %.3f s\n", rebuild);
    printf("  of it: the views emptied                 %.3f s\n", cleared);
    printf("the load again as the window runs it:      %.3f s, ratio to the load %.2f\n", loadByWindow,
           loadByWindow / load);
    theApp.m_pMainWnd = nullptr;
    CloseBenchFrame(frame);
    SetModelStoreHost(nullptr);
    theApp.SetDriveAnswers(nullptr);
    theApp.ResetProvider();
    if (!keep)
        ::DeleteFileW(L"C:\\Varno\\Localhost.vdb");
    return 0;
}
