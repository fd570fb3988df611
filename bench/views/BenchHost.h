// What the views' benchmarks share: a clock in seconds and a host over a model.
#pragma once

#include "BenchClock.h"
#include "IChDataModel.h"
#include "ViewHost.h"

#include <windows.h>
#include <commctrl.h>

class CBenchHost : public IModelViewHost {
public:
    CIChDataModel* m_pModel = nullptr;
    int m_nCategory = -1;
    CIChDataModel* GetModel() override { return m_pModel; }
    void SetCurrentNode(CIChNode*, int) override {}
    void SetLabelEditFlag(int) override {}
    int GetNodeMenuId(CIChNode*) override { return 0; }
    int GetCurrentCategory() override { return m_nCategory; }
};

// A structure tree on a top-level window of its own, editable, served by the host; false when the
// tree could not be made.
template <class Tree>
bool MakeBenchTree(Tree& tree, CBenchHost& host) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND top = ::CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 400, 600, nullptr, nullptr, nullptr,
                                 nullptr);
    if (!tree.CreateTree(top, 12, &host))
        return false;
    tree.m_bEditable = TRUE;
    return true;
}
