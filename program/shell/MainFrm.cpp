#include "MainFrm.h"

#include "DaVIdevaRez.h"
#include "dlgProperty.h"

#include "../res/resource.h"

#include <valkit.h>

KV_BEGIN_MESSAGE_MAP(CMainFrame, KvUi::CFrameWnd)
ON_WM_CREATE()
ON_WM_TIMER()
ON_REGISTERED_MESSAGE(g_uInstanceQueryMessage, OnInstanceQuery)
ON_COMMAND(ID_TOOLS_SETTINGS, OnSettings)
ON_COMMAND(ID_APP_EXIT, OnAppExit)
KV_END_MESSAGE_MAP()

CMainFrame::CMainFrame() { m_pStatusBar = &m_wndStatusBar; }

int CMainFrame::OnCreate(LPCREATESTRUCTW) {
    if (!m_wndStatusBar.Create(this, KvUi::AFX_IDW_STATUS_BAR))
        return -1;
    const int widths[] = {0, 160, 64};
    m_wndStatusBar.SetPanes(widths, 3);
    ::SetTimer(m_hWnd, 1234, 1000, nullptr);
    OnTimer(1234);
    return 0;
}

void CMainFrame::OnTimer(UINT_PTR id) {
    if (id == 1234 && m_wndStatusBar.m_hWnd) {
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        m_wndStatusBar.SetPaneText(2, format_wstring(L"%0.2d:%0.2d:%0.2d", t.wHour, t.wMinute, t.wSecond));
    }
}

LRESULT CMainFrame::OnInstanceQuery(WPARAM, LPARAM) { return g_uInstanceQueryMessage; }

void CMainFrame::OnSettings() {
    dlgProperty dlg(this);
    dlg.DoModal();
}

void CMainFrame::OnAppExit() { PostMessage(WM_CLOSE); }
