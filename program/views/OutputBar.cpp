#include "OutputBar.h"

#include "ListViewers.h"
#include "resource.h"

#include <algorithm>
#include <unordered_set>

namespace {
const UINT kRelationButtons[5] = {ID_FILTER_RESOURCES, ID_FILTER_GROUPS, ID_FILTER_TASKS, ID_FILTER_JOBS,
                                  ID_FILTER_SUBJECTS};
const UINT kRelationButtonTexts[5] = {IDS_CAT_RESOURCES, IDS_CAT_GROUPS, IDS_CAT_TASKS, IDS_CAT_JOBS, IDS_CAT_SUBJECTS};
// The kinds in the order of the rows, with their mask bits.
const int kKinds[5] = {NodeTypeResource, NodeTypeGroup, NodeTypeTask, NodeTypeJob, NodeTypeSubject};
} // namespace

// ---- the list -------------------------------------------------------------------------------------------

const wchar_t* CRelationList::KindText(int kind) {
    // Loaded once, in the order of kKinds: the list asks for the text of every row it draws.
    static const std::wstring kTexts[5] = {KvUi::LoadStr(IDS_KIND_RESOURCE), KvUi::LoadStr(IDS_KIND_GROUP),
                                           KvUi::LoadStr(IDS_KIND_TASK), KvUi::LoadStr(IDS_KIND_JOB),
                                           KvUi::LoadStr(IDS_KIND_SUBJECT)};
    for (int i = 0; i < 5; ++i)
        if (kKinds[i] == kind)
            return kTexts[i].c_str();
    return L"???";
}

void CRelationList::InsertColumns() {
    AddColumn(0, KvUi::LoadStr(IDS_COL_OBJECT).c_str(), 400);
    AddColumn(1, KvUi::LoadStr(IDS_COL_TYPE).c_str(), 55);
}

int CRelationList::FillItems(CIChNode*) {
    if (!m_pBar || m_pBar->GetShownNodes().empty())
        return 0;
    const int mask = m_pBar->GetCategoryFilter();
    CIChNodeList related;
    for (CIChNode* n : m_pBar->GetShownNodes()) {
        CIChNode::CollectLowerNodes(n, &related, nullptr, mask & 1);
        CIChNode::CollectUpperNodes(n, &related, nullptr);
    }
    // By kind; each node once however often it was collected.
    std::unordered_set<CIChNode*> listed;
    for (int k = 0; k < 5; ++k) {
        if (!(mask & (1 << k)))
            continue;
        for (auto it = related.begin(); it != related.end();) {
            if ((*it)->GetType() != kKinds[k]) {
                ++it;
                continue;
            }
            if (listed.insert(*it).second)
                AddRow(*it);
            it = related.erase(it);
        }
    }
    return 0;
}

void CRelationList::GetNodeText(CIChNode* node, int column, std::wstring& text) {
    if (column == 1) {
        text = KindText(node->GetType());
        return;
    }
    if (column != 0)
        return;
    text = node->GetType() == NodeTypeResource ? CRGroupViewer::PlainPath(static_cast<const CIChResorce*>(node))
                                               : node->m_Name;
}

void CRelationList::GetSortKey(CIChNode* node, int column, CListSortKey& key) {
    if (column == 1) {
        key.number = node->GetType();
    } else if (column == 0) {
        std::wstring text;
        GetNodeText(node, 0, text);
        TextKey(text, false, key);
    }
}

int CRelationList::OnItemActivate(int item, int byTimer) {
    if (!byTimer && GetRowNode(item))
        ::PostMessageW(CommandWnd(), WM_COMMAND, ID_GOTO_TREE, 0);
    return 0;
}

LRESULT CRelationList::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CONTEXTMENU && reinterpret_cast<HWND>(wp) == m_hWnd) {
        ::SetFocus(m_hWnd);
        if (HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDR_MENU_RELATIONS))) {
            PopupMenu(menu, lp);
            ::DestroyMenu(menu);
        }
        return 0;
    }
    return CIChList::WindowProc(msg, wp, lp);
}

// ---- the panel ------------------------------------------------------------------------------------------

LRESULT CRelationPanel::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        if (m_pBar)
            m_pBar->Layout();
        return 0;
    case WM_SETFOCUS:
        if (m_pBar && m_pBar->m_wndList.m_hWnd)
            ::SetFocus(m_pBar->m_wndList.m_hWnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        if (m_pBar && m_pBar->m_wndList.m_hWnd) {
            RECT rc;
            ::GetWindowRect(m_pBar->m_wndList.m_hWnd, &rc);
            ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
            ::InflateRect(&rc, 1, 1);
            ::FrameRect(dc, &rc, ::GetSysColorBrush(COLOR_BTNSHADOW));
        }
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    }
    return KvUi::CPassOnWnd::WindowProc(msg, wp, lp);
}

// ---- the bar ------------------------------------------------------------------------------------------------

BOOL COutputBar::CreateBar(KvUi::CFrameWnd* frame, UINT nID, int height, IModelViewHost* host) {
    if (!Create(KvUi::LoadStr(IDS_RELATIONS_BAR), frame, nID, KvUi::CDockPane::Bottom, height, FALSE))
        return FALSE;
    m_wndPanel.m_pBar = this;
    const std::wstring cls =
        KvUi::RegisterWndClass(0, ::LoadCursorW(nullptr, IDC_ARROW), ::GetSysColorBrush(COLOR_BTNFACE));
    if (!m_wndPanel.CreateEx(0, cls.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, m_hWnd, nullptr))
        return FALSE;
    m_wndList.m_pBar = this;
    m_wndList.SetHost(host);
    if (!m_wndList.Create(&m_wndPanel, 100))
        return FALSE;
    m_wndList.SetGridLines(host ? host->GetListGrid() : 0);
    m_wndList.ShowWindow(SW_SHOW);
    if (!m_wndToolBar.Create(&m_wndPanel, IDR_RELATIONS_TOOLBAR) ||
        !m_wndToolBar.SetButtons(kRelationButtons, 5, IDR_RELATIONS_TOOLBAR, 16, 16, RGB(255, 0, 255)))
        return FALSE;
    LONG style = ::GetWindowLongW(m_wndToolBar.m_hWnd, GWL_STYLE);
    ::SetWindowLongW(m_wndToolBar.m_hWnd, GWL_STYLE, style | CCS_NOPARENTALIGN | CCS_NORESIZE);
    for (int i = 0; i < 5; ++i)
        m_wndToolBar.SetButtonText(kRelationButtons[i], KvUi::LoadStr(kRelationButtonTexts[i]));
    m_wndToolBar.SendMessage(TB_AUTOSIZE);
    m_wndToolBar.SetFlyBy(TRUE);
    frame->AddControlBar(&m_wndToolBar);
    SetContent(m_wndPanel.m_hWnd);
    Layout();
    return TRUE;
}

void COutputBar::Layout() {
    if (!m_wndPanel.m_hWnd || !m_wndList.m_hWnd || !m_wndToolBar.m_hWnd)
        return;
    RECT rc;
    ::GetClientRect(m_wndPanel.m_hWnd, &rc);
    int height = HIWORD((DWORD)m_wndToolBar.SendMessage(TB_GETBUTTONSIZE)) + 4;
    ::MoveWindow(m_wndToolBar.m_hWnd, 0, 0, rc.right, height, TRUE);
    ::MoveWindow(m_wndList.m_hWnd, 1, height + 1, std::max<LONG>(0, rc.right - 2),
                 std::max<LONG>(0, rc.bottom - height - 2), TRUE);
    ::InvalidateRect(m_wndPanel.m_hWnd, nullptr, TRUE);
}

void COutputBar::SetCategoryFilter(int mask) {
    if (mask == m_nCategoryMask)
        return;
    m_nCategoryMask = mask;
    CIChNodeList copy = m_shown;
    m_shown.clear();
    m_bFilled = false;
    ShowRelations(&copy);
}

void COutputBar::ShowRelations(const CIChNodeList* nodes) {
    if (nodes) {
        // The same nodes again change nothing, unless the rows do not show them yet.
        if (*nodes == m_shown && m_bFilled)
            return;
        m_shown = *nodes;
    } else {
        m_shown.clear();
    }
    Fill();
}

void COutputBar::Fill() {
    if (!m_wndList.m_hWnd)
        return;
    KvUi::CWaitCursor wait;
    m_wndList.Clear();
    m_bFilled = false;
    if (!m_shown.empty() && m_nCategoryMask != 0 && IsPaneVisible()) {
        m_wndList.Refill(nullptr);
        m_bFilled = true;
    }
}

BOOL COutputBar::OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) {
    if (m_pListTarget && m_pListTarget->OnCmdMsg(nID, nCode, pExtra, pInfo))
        return TRUE;
    return KvUi::CDockPane::OnCmdMsg(nID, nCode, pExtra, pInfo);
}

LRESULT COutputBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SHOWWINDOW && wp && !m_bFilled && !m_shown.empty()) {
        // Shown again: the kept nodes' relations, which a hidden bar did not list.
        LRESULT r = KvUi::CDockPane::WindowProc(msg, wp, lp);
        ::PostMessageW(m_hWnd, WM_APP + 1, 0, 0);
        return r;
    }
    if (msg == WM_APP + 1) {
        if (!m_bFilled)
            Fill();
        return 0;
    }
    if (msg == WM_SETFOCUS) {
        LRESULT r = KvUi::CDockPane::WindowProc(msg, wp, lp);
        if (m_wndList.m_hWnd)
            ::SetFocus(m_wndList.m_hWnd);
        return r;
    }
    return KvUi::CDockPane::WindowProc(msg, wp, lp);
}
