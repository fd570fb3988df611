// The category bar on the left of the main window: five large buttons, one per start category
// (commands 7104 ... 7100), under the tab "Категории".
#pragma once

#include <kvui/kvui.h>

class CCategoryBar : public KvUi::CDockPane {
public:
    BOOL CreateBar(KvUi::CFrameWnd* frame, UINT nID, UINT paneId);
    KvUi::CToolBar m_wndButtons; // the category pane (id 32776)

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void LayoutButtons();
    KvUi::CImageList m_images;
};
