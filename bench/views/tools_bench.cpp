// tools_bench [resources]
// The path-variable pass of the main window (F7) over a model of that many file resources, both
// ways, with its progress window, as a ratio to creating the same resources in the model without
// any window.
#include "BenchFrame.h"
#include "BenchHost.h"
#include "DaVIdevaRez.h"

#include <cstdio>
#include <string>

CDaVIdevaRezApp theApp;

namespace {

void Create(CIChDataModel& model, int count) {
    for (int i = 0; i < count; ++i) {
        CIChResorce* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->SetSubType(i % 7 == 0 ? ResDirectory : ResFile);
        wchar_t name[96];
        swprintf(name, 96, L"C:\\Program Files\\Soft%03d\\bin\\file%08d.dll", i % 500, i);
        r->SetName(name);
        r->m_Id = model.TakeNextId(NodeTypeResource);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = BenchCount(argc, argv);
    ::InitCommonControls();
    double t0 = Now();
    {
        CIChDataModel plain;
        Create(plain, count);
    }
    double create = Now() - t0;

    CBenchFrame* frame = OpenBenchFrame();
    if (!frame)
        return 1;
    Create(frame->m_Model, count);
    CPathVarMap vars = {{L"C:\\Program Files", L"%ProgramFiles%"}};
    double t1 = Now();
    frame->ReplacePathVariables(nullptr, vars, 1);
    double toVariables = Now() - t1;
    double t2 = Now();
    frame->ReplacePathVariables(nullptr, vars, 0);
    double toPaths = Now() - t2;
    printf("resources: %d\n", count);
    printf("creating them without a window: %.3f s\n", create);
    printf("paths to variables (F7):        %.3f s, ratio %.2f\n", toVariables, toVariables / create);
    printf("variables to paths (F7):        %.3f s, ratio %.2f\n", toPaths, toPaths / create);
    CloseBenchFrame(frame);
    return 0;
}
