// The main window. Here the frame opens with its title, menu and accelerators, answers the
// single-instance query of a second start and opens the settings; its bars and views come with
// the views.
#pragma once

#include <kvui/kvui.h>

class CMainFrame : public KvUi::CFrameWnd {
public:
    CMainFrame();
    LRESULT OnInstanceQuery(WPARAM wp, LPARAM lp);
    void OnSettings();
    void OnAppExit();

protected:
    KvUi::CStatusBar m_wndStatusBar;
    int OnCreate(LPCREATESTRUCTW cs);
    void OnTimer(UINT_PTR id);
    KV_DECLARE_MESSAGE_MAP()
};
