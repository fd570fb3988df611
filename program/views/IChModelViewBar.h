// The docking bar "Структура": a small toolbar (155) over the structure tree; the tree's context
// menus of the nodes.
#pragma once

#include "IChModelView.h"

#include <kvui/kvui.h>

class CIChModelViewBar : public KvUi::CDockPane {
public:
    // Creates the bar docked on the frame's left with the tree and its toolbar; the host answers
    // the tree's questions. The toolbar's commands and their enabling go through the frame.
    BOOL CreateBar(KvUi::CFrameWnd* frame, UINT nID, IModelViewHost* host, BOOL visible = TRUE);
    void RecalcBarLayout();
    // Shows the context menu of an item (from the keyboard when fromKeyboard).
    void ShowItemMenu(HTREEITEM item, POINT screen, bool fromKeyboard);

    CIChModelView m_wndTree;
    KvUi::CToolBar m_wndToolBar;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    IModelViewHost* m_pHost = nullptr;
};

// The buttons of the structure bar's toolbar (0 a separator).
extern const UINT kStructureToolbarButtons[7];
