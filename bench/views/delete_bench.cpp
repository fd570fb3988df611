// Deleting many resources at once through the structure tree (one pass over the model's lists and
// over each group's members) against creating them, and against taking the same resources out one
// by one (each unlink and each list removal a search of its own), which grows with the square.
#include "BenchHost.h"
#include "IChDataModel.h"
#include "IChModelView.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Creates the resources, each linked into one of the groups, and the path index; seconds.
double Create(CIChDataModel& model, int resources, int groups) {
    std::vector<CIChNode*> g;
    for (int i = 0; i < groups; ++i) {
        CIChNode* n = model.CreateNode(NodeTypeGroup);
        n->SetName(L"Group " + std::to_wstring(i));
        g.push_back(n);
    }
    double t0 = Now();
    for (int i = 0; i < resources; ++i) {
        auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->SetSubType(ResFile);
        r->SetName(L"C:\\bench\\dir" + std::to_wstring(i % 100) + L"\\file" + std::to_wstring(i) + L".dll");
        r->m_Id = model.TakeNextId(NodeTypeResource);
        r->LinkTo(g[i % groups]);
    }
    model.RebuildPathIndex();
    return Now() - t0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int resources = argc > 1 ? _wtoi(argv[1]) : 100000;
    const int oneByOne = argc > 2 ? _wtoi(argv[2]) : 20000;
    const int groups = 100;
    CBenchHost host;
    host.m_nCategory = 7100;
    CIChModelView tree;
    if (!MakeBenchTree(tree, host)) {
        std::printf("the tree could not be made\n");
        return 1;
    }

    {
        CIChDataModel model;
        host.m_pModel = &model;
        const double create = Create(model, resources, groups);
        CIChNodeList all = model.m_Resources;
        double t0 = Now();
        tree.DeleteNodes(all);
        for (CIChNode* n : all)
            delete n;
        const double remove = Now() - t0;
        const bool empty =
            model.m_Resources.empty() && model.m_PathIndex.empty() && model.m_Groups.front()->m_Members.empty();
        std::printf("%-40s %8d resources  create %8.3f s  delete %8.3f s  ratio %6.2f  %s\n",
                    "delete all at once (tree, one pass)", resources, create, remove,
                    create > 0 ? remove / create : 0.0, empty ? "model empty" : "MODEL NOT EMPTY");
        if (!empty)
            return 1;
    }
    if (oneByOne > 0) {
        CIChDataModel model;
        host.m_pModel = &model;
        const double create = Create(model, oneByOne, groups);
        CIChNodeList all = model.m_Resources;
        double t0 = Now();
        for (CIChNode* n : all) {
            n->UnlinkAll();
            model.m_Resources.remove(n);
            delete n;
        }
        const double remove = Now() - t0;
        std::printf("%-40s %8d resources  create %8.3f s  delete %8.3f s  ratio %6.2f\n", "one by one (for comparison)",
                    oneByOne, create, remove, create > 0 ? remove / create : 0.0);
        model.m_PathIndex.clear();
    }
    return 0;
}
