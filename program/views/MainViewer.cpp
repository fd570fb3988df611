#include "MainViewer.h"

#include "ListViewers.h"

#include <set>

// ---- the viewer interface ------------------------------------------------------------------------------

void CIChViewer::Show(CIChNode* node) {
    if (node) {
        KvUi::CWaitCursor wait;
        Fill(node);
        m_pCurrentNode = node;
    }
    if (HWND w = GetWnd())
        ::ShowWindow(w, SW_SHOW);
}

void CIChViewer::Hide() {
    if (HWND w = GetWnd())
        ::ShowWindow(w, SW_HIDE);
    Clear();
    m_pCurrentNode = nullptr;
}

void CIChViewer::Update(CIChNode* node) {
    if (!node) {
        Hide();
        return;
    }
    KvUi::CWaitCursor wait;
    Refresh(node);
    m_pCurrentNode = node;
}

// ---- the pane -------------------------------------------------------------------------------------------

CIChMainViewer::~CIChMainViewer() {
    // The viewers' windows go with the pane; their objects after it.
    if (m_hWnd)
        DestroyWindow();
}

BOOL CIChMainViewer::CreateViewer(KvUi::CWnd* parent, IModelViewHost* host) {
    m_pHost = host;
    const std::wstring cls =
        KvUi::RegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW), (HBRUSH)(COLOR_WINDOW + 1));
    if (!CreateEx(0, cls.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, parent->m_hWnd,
                  reinterpret_cast<HMENU>((UINT_PTR)KvUi::AFX_IDW_PANE_FIRST)))
        return FALSE;
    // A viewer that cannot be made leaves its kinds without a list; the pane itself still works.
    CreateViewers();
    return TRUE;
}

int CIChMainViewer::CreateViewers() {
    struct Entry {
        std::unique_ptr<CIChViewNode> viewer;
        int kinds[2];
    };
    Entry entries[] = {
        {std::make_unique<CRGroupViewer>(), {2, 3}}, {std::make_unique<CTaskViewer>(), {4, 5}},
        {std::make_unique<CJobViewer>(), {6, 7}},    {std::make_unique<CSubjectViewer>(), {8, 9}},
        {std::make_unique<CASubjViewer>(), {10, 0}},
    };
    for (Entry& e : entries) {
        e.viewer->SetHost(m_pHost);
        if (!e.viewer->Create(this))
            return 0;
        CIChViewer* v = e.viewer.get();
        m_owned.push_back(std::move(e.viewer));
        for (int kind : e.kinds)
            if (kind)
                AddViewer(kind, v);
    }
    return 1;
}

int CIChMainViewer::AddViewer(int kind, CIChViewer* viewer) {
    if (m_viewers.count(kind))
        return 0;
    m_viewers[kind] = viewer;
    return 1;
}

CIChViewer* CIChMainViewer::GetViewer(int kind) const {
    auto it = m_viewers.find(kind);
    return it == m_viewers.end() ? nullptr : it->second;
}

CIChViewer* CIChMainViewer::FindViewer(CIChNode* node) const { return node ? GetViewer(node->GetType()) : nullptr; }

void CIChMainViewer::ShowNode(CIChNode* node) {
    CIChViewer* v = FindViewer(node);
    if (v && v == m_pActive) {
        v->Update(node);
        return;
    }
    if (m_pActive)
        m_pActive->Hide();
    m_pActive = v;
    if (!v)
        return;
    if (HWND w = v->GetWnd()) {
        RECT rc;
        GetClientRect(&rc);
        ::MoveWindow(w, 0, 0, rc.right, rc.bottom, TRUE);
    }
    v->Show(node);
}

void CIChMainViewer::ForgetNodes(const CIChNodeList& nodes) {
    std::set<CIChNode*> doomed(nodes.begin(), nodes.end());
    std::set<CIChViewer*> seen;
    for (auto& kv : m_viewers) {
        CIChViewer* v = kv.second;
        if (!seen.insert(v).second)
            continue;
        if (doomed.count(v->GetCurrentNode())) {
            if (v == m_pActive)
                m_pActive = nullptr;
            v->Hide();
        } else {
            // No row may point at a freed node until the next refresh.
            v->Clear();
        }
    }
}

void CIChMainViewer::SetGridLines(int on) {
    for (auto& v : m_owned)
        static_cast<CIChViewNode*>(v.get())->SetGridLines(on);
}

BOOL CIChMainViewer::OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) {
    if (m_pActive && m_pActive->GetWnd()) {
        KvUi::CCmdTarget* target = m_pActive->GetCmdTarget();
        if (target && target->OnCmdMsg(nID, nCode, pExtra, pInfo))
            return TRUE;
    }
    return KvUi::CWnd::OnCmdMsg(nID, nCode, pExtra, pInfo);
}

LRESULT CIChMainViewer::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE: {
        std::set<HWND> done;
        for (auto& kv : m_viewers)
            if (HWND w = kv.second->GetWnd())
                if (done.insert(w).second)
                    ::MoveWindow(w, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    }
    case WM_SETFOCUS:
        if (m_pActive && m_pActive->GetWnd())
            ::SetFocus(m_pActive->GetWnd());
        return 0;
    case WM_NCCALCSIZE: {
        // One pixel of frame on every side.
        RECT* rc = reinterpret_cast<RECT*>(lp);
        ::InflateRect(rc, -1, -1);
        return 0;
    }
    case WM_NCPAINT: {
        HDC dc = ::GetWindowDC(m_hWnd);
        RECT rc;
        ::GetWindowRect(m_hWnd, &rc);
        ::OffsetRect(&rc, -rc.left, -rc.top);
        ::FrameRect(dc, &rc, ::GetSysColorBrush(COLOR_BTNSHADOW));
        ::ReleaseDC(m_hWnd, dc);
        return 0;
    }
    }
    return KvUi::CWnd::WindowProc(msg, wp, lp);
}
