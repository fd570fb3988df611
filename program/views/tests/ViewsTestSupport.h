// Helpers of the views' tests: a frame holding the structure bar, a recording host and a dump of
// the tree as indented text.
#pragma once

#include <gtest/gtest.h>

#include "IChDataModel.h"
#include "IChModelViewBar.h"
#include "kvclick.h"

#include <kvui/kvui.h>

#include <string>
#include <vector>

using KvTest::Pump;

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

// A bare frame of the layer (of the test's class) for the views to stand in: made hidden with a
// title and a size, and destroyed again with what its destruction leaves in the queue. The one way
// the views' tests open and close their frames.
template <class Frame = CTestFrame>
struct CBareFrameHolder {
    Frame frame;

    void OpenFrame(const wchar_t* title, int cx, int cy) {
        ASSERT_TRUE(frame.CreateEx(0, nullptr, title, WS_OVERLAPPEDWINDOW, 0, 0, cx, cy, nullptr, nullptr));
    }
    void CloseFrame() {
        frame.DestroyWindow();
        Pump();
    }
};

// What the frame's status line shows while the mouse rests on a bar's button (index), and after
// it has left the bar: the button's prompt, then the idle prompt.
inline std::vector<std::wstring> FlyByPrompts(KvUi::CFrameWnd& frame, KvUi::CToolBar& bar, int index) {
    KvUi::CStatusBar status;
    const int panes[] = {0, 80};
    status.Create(&frame, 0xE801);
    status.SetPanes(panes, 2);
    frame.m_pStatusBar = &status;
    std::vector<std::wstring> out;
    RECT rc = {};
    bar.SendMessage(TB_GETITEMRECT, index, (LPARAM)&rc);
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    POINT screen = pt;
    ::ClientToScreen(bar.m_hWnd, &screen);
    ::SetCursorPos(screen.x, screen.y);
    bar.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    Pump();
    out.push_back(status.GetPaneText(0));
    ::SetCursorPos(0, 0);
    bar.SendMessage(WM_MOUSELEAVE);
    Pump();
    out.push_back(status.GetPaneText(0));
    frame.m_pStatusBar = nullptr;
    status.DestroyWindow();
    return out;
}

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
