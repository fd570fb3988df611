// What the views' benchmarks share: a clock in seconds and a host over a model.
#pragma once

#include "IChDataModel.h"
#include "ViewHost.h"

#include <windows.h>

inline double Now() {
    LARGE_INTEGER c, f;
    ::QueryPerformanceCounter(&c);
    ::QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}

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
