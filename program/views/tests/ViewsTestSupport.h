// Helpers of the views' tests: a frame holding the structure bar, a recording host and a dump of
// the tree as indented text.
#pragma once

#include "IChDataModel.h"
#include "IChModelViewBar.h"

#include <kvui/kvui.h>

#include <string>
#include <vector>

// Dispatches every waiting message of the thread.
inline void Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

// A node of the model with its name and a fresh ID.
template <class T>
T* AddNode(CIChDataModel& m, int type, const std::wstring& name) {
    T* n = static_cast<T*>(m.CreateNode(type));
    n->SetName(name);
    n->m_Id = m.TakeNextId(type);
    return n;
}

class CTestHost : public IModelViewHost {
public:
    CIChDataModel* m_pModel = nullptr;
    CIChNode* m_pCurrent = nullptr;
    int m_nSetCurrent = 0;
    int m_bLabelEdit = 0;
    int m_nCategory = -1;
    CIChDataModel* GetModel() override { return m_pModel; }
    void SetCurrentNode(CIChNode* node, int) override {
        m_pCurrent = node;
        ++m_nSetCurrent;
    }
    void SetLabelEditFlag(int on) override { m_bLabelEdit = on; }
    int GetNodeMenuId(CIChNode* node) override { return node ? 199 + node->GetType() : 0; }
    int GetCurrentCategory() override { return m_nCategory; }
    void ForgetNodes(const std::list<CIChNode*>& nodes) override {
        m_forgotten.insert(m_forgotten.end(), nodes.begin(), nodes.end());
    }
    std::vector<CIChNode*> m_forgotten;
};

class CTestFrame : public KvUi::CFrameWnd {
public:
    CTestFrame() { m_bAutoDelete = FALSE; }
};

// The tree as text: one line per item, two blanks of indentation per level.
inline void DumpItems(KvUi::CTreeCtrl& tree, HTREEITEM h, int depth, std::wstring& out) {
    for (; h; h = tree.GetNextSiblingItem(h)) {
        out += std::wstring(depth * 2, L' ') + tree.GetItemText(h) + L"\n";
        DumpItems(tree, tree.GetChildItem(h), depth + 1, out);
    }
}
inline std::wstring DumpTree(KvUi::CTreeCtrl& tree) {
    std::wstring out;
    DumpItems(tree, tree.GetRootItem(), 0, out);
    return out;
}
