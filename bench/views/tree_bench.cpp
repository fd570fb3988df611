// The structure tree's build against plain insertion: 10 000 tasks in the tasks category, and the
// folder tree of 100 000 file resources in the resources category, each as a ratio to inserting
// the same number of plain items into the same control with redraw off.
#include "BenchHost.h"
#include "IChDataModel.h"
#include "IChModelView.h"

#include <cstdio>
#include <string>

namespace {

// Inserts count plain items under one root item with redraw off (with state images: as the tree
// inserts model nodes); seconds.
double PlainInsert(HWND tree, int count, bool state = false) {
    ::SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(tree);
    double t0 = Now();
    TVINSERTSTRUCTW is = {};
    is.hParent = TVI_ROOT;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_PARAM;
    is.item.pszText = const_cast<wchar_t*>(L"root");
    HTREEITEM root = TreeView_InsertItem(tree, &is);
    is.hParent = root;
    if (state) {
        is.item.mask |= TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        is.item.state = INDEXTOSTATEIMAGEMASK(2);
        is.item.stateMask = TVIS_STATEIMAGEMASK;
    }
    wchar_t text[32];
    for (int i = 1; i < count; ++i) {
        swprintf(text, 32, L"item %d", i);
        is.item.pszText = text;
        TreeView_InsertItem(tree, &is);
    }
    // Redraw on again, as the build ends: the control then measures what it holds.
    TreeView_Expand(tree, root, TVE_EXPAND);
    ::SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    double t = Now() - t0;
    TreeView_DeleteAllItems(tree);
    return t;
}

void Report(const char* what, double build, double plain, unsigned items) {
    std::printf("%-44s %8u items  build %8.3f s  plain %8.3f s  ratio %6.2f\n", what, items, build, plain,
                plain > 0 ? build / plain : 0.0);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int nodes = argc > 1 ? _wtoi(argv[1]) : 10000;
    int resources = argc > 2 ? _wtoi(argv[2]) : 100000;
    CBenchHost host;
    CIChModelView tree;
    if (!MakeBenchTree(tree, host)) {
        std::printf("the tree could not be made\n");
        return 1;
    }

    {
        CIChDataModel model;
        host.m_pModel = &model;
        for (int i = 0; i < nodes; ++i) {
            CIChNode* t = model.CreateNode(NodeTypeTask);
            t->SetName(L"Task " + std::to_wstring(i));
        }
        double t0 = Now();
        tree.BuildTree(&model, 7102);
        double build = Now() - t0;
        unsigned items = tree.GetCount();
        tree.ClearTree();
        Report("BuildTree, tasks category", build, PlainInsert(tree.m_hWnd, (int)items), items);
        Report("  against items with images and state", build, PlainInsert(tree.m_hWnd, (int)items, true), items);
    }
    {
        CIChDataModel model;
        host.m_pModel = &model;
        // 100 folders of 10 subfolders of 100 files: one path folder per 100 resources.
        for (int i = 0; i < resources; ++i) {
            CIChResorce* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
            r->SetSubType(ResFile);
            wchar_t path[128];
            swprintf(path, 128, L"C:\\Program Files\\Vendor%03d\\Module%02d\\file%06d.dll", i / 1000, (i / 100) % 10,
                     i);
            r->SetName(path);
        }
        double t0 = Now();
        tree.BuildTree(&model, 7100);
        double build = Now() - t0;
        unsigned items = tree.GetCount();
        tree.ClearTree();
        char what[64];
        std::snprintf(what, sizeof(what), "BuildTree, folders of %d resources", resources);
        Report(what, build, PlainInsert(tree.m_hWnd, (int)items), items);
    }
    HWND top = ::GetParent(tree.m_hWnd);
    tree.DestroyWindow();
    ::DestroyWindow(top);
    return 0;
}
