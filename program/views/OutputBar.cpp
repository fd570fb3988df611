#include "OutputBar.h"

#include "resource.h"

#include <algorithm>

BOOL COutputBar::CreateBar(KvUi::CFrameWnd* frame, UINT nID, int height) {
    if (!Create(KvUi::LoadStr(IDS_RELATIONS_BAR), frame, nID, KvUi::CDockPane::Bottom, height, FALSE))
        return FALSE;
    if (!m_wndList.CreateEx(0, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 0, 0, m_hWnd,
                            reinterpret_cast<HMENU>((UINT_PTR)1)))
        return FALSE;
    m_wndList.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    m_wndList.InsertColumn(0, L"Объект", LVCFMT_LEFT, 400);
    SetContent(m_wndList.m_hWnd);
    return TRUE;
}

void COutputBar::SetCategoryFilter(int mask) {
    m_nCategoryMask = mask;
    Fill();
}

void COutputBar::ShowRelations(const CIChNodeList* nodes) {
    m_shown.clear();
    if (nodes)
        m_shown = *nodes;
    Fill();
}

void COutputBar::Fill() {
    if (!m_wndList.m_hWnd)
        return;
    m_wndList.DeleteAllItems();
    CIChNodeList related;
    for (CIChNode* n : m_shown)
        n->GetRelatedNodes(&related, 1);
    int row = 0;
    for (CIChNode* r : related) {
        if (std::find(m_shown.begin(), m_shown.end(), r) != m_shown.end() || !r->IsModelNode())
            continue;
        int bit = (r->GetType() - 1) / 2;
        if (!(m_nCategoryMask & (1 << bit)))
            continue;
        m_wndList.InsertItem(row++, r->m_Name, reinterpret_cast<LPARAM>(r));
    }
}

BOOL COutputBar::OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) {
    if (m_pListTarget && m_pListTarget->OnCmdMsg(nID, nCode, pExtra, pInfo))
        return TRUE;
    return KvUi::CDockPane::OnCmdMsg(nID, nCode, pExtra, pInfo);
}

LRESULT COutputBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY) {
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr && hdr->hwndFrom == m_wndList.m_hWnd && hdr->code == LVN_ITEMACTIVATE) {
            if (m_pFrame)
                m_pFrame->PostMessage(WM_COMMAND, ID_GOTO_TREE);
            return 0;
        }
    }
    if (msg == WM_CONTEXTMENU && reinterpret_cast<HWND>(wp) == m_wndList.m_hWnd) {
        HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDR_MENU_RELATIONS));
        if (menu) {
            POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
            if (lp == -1)
                ::GetCursorPos(&pt);
            ::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0,
                             m_pFrame ? m_pFrame->m_hWnd : ::GetParent(m_hWnd), nullptr);
            ::DestroyMenu(menu);
        }
        return 0;
    }
    return KvUi::CDockPane::WindowProc(msg, wp, lp);
}
