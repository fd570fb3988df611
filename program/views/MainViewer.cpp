#include "MainViewer.h"

BOOL CIChMainViewer::CreateViewer(KvUi::CWnd* parent) {
    return CreateEx(WS_EX_CLIENTEDGE, nullptr, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, parent->m_hWnd,
                    reinterpret_cast<HMENU>((UINT_PTR)KvUi::AFX_IDW_PANE_FIRST));
}

void CIChMainViewer::RegisterViewer(int kind, CIChViewer* viewer) { m_viewers[kind] = viewer; }

void CIChMainViewer::ShowNode(CIChNode* node) {
    m_pShown = node;
    CIChViewer* next = nullptr;
    if (node) {
        auto it = m_viewers.find(node->GetType());
        if (it != m_viewers.end())
            next = it->second;
    }
    if (m_pActive && m_pActive != next && m_pActive->GetWnd())
        ::ShowWindow(m_pActive->GetWnd(), SW_HIDE);
    m_pActive = next;
    if (m_pActive) {
        if (HWND w = m_pActive->GetWnd()) {
            RECT rc;
            GetClientRect(&rc);
            ::MoveWindow(w, 0, 0, rc.right, rc.bottom, TRUE);
            ::ShowWindow(w, SW_SHOW);
        }
        m_pActive->Refresh(node);
    }
}

BOOL CIChMainViewer::OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) {
    if (m_pActive && m_pActive->GetWnd() && m_pActive->OnCmdMsg(nID, nCode, pExtra, pInfo))
        return TRUE;
    return KvUi::CWnd::OnCmdMsg(nID, nCode, pExtra, pInfo);
}

LRESULT CIChMainViewer::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        if (m_pActive && m_pActive->GetWnd())
            ::MoveWindow(m_pActive->GetWnd(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (m_pActive && m_pActive->GetWnd())
            ::SetFocus(m_pActive->GetWnd());
        return 0;
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(&rc);
        ::FillRect(reinterpret_cast<HDC>(wp), &rc, ::GetSysColorBrush(COLOR_WINDOW));
        return 1;
    }
    }
    return KvUi::CWnd::WindowProc(msg, wp, lp);
}
