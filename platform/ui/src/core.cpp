// Command routing, update handlers and the binding of windows to their objects.
#include "kvui/app.h"
#include "kvui/core.h"
#include "kvui/presenter.h"

#include <mutex>
#include <unordered_map>

namespace KvUi {

// ---- command targets ----------------------------------------------------------------------

const MsgMap* CCmdTarget::GetThisMessageMap() {
    static const MsgEntry entries[] = {{0, 0, 0, 0, Sig::End, nullptr, nullptr}};
    static const MsgMap map = {nullptr, entries};
    return &map;
}

const MsgMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

static bool MatchesCommand(const MsgEntry& e, UINT nID, int nCode) {
    if (e.sig == Sig::End || e.pRegistered)
        return false;
    if (HIWORD((UINT)nCode) == WM_NOTIFY && nCode != CN_UPDATE_COMMAND_UI) {
        return e.nMessage == WM_NOTIFY && e.nCode == LOWORD((UINT)nCode) && nID >= e.nID && nID <= e.nLastID;
    }
    return e.nMessage == WM_COMMAND && e.nCode == (UINT)nCode && nID >= e.nID && nID <= e.nLastID;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, CmdHandlerInfo* pInfo) {
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            if (!MatchesCommand(*e, nID, nCode))
                continue;
            if (pInfo) {
                pInfo->pTarget = this;
                pInfo->pEntry = e;
                return TRUE;
            }
            if (DispatchCmd(e, nID, nCode, pExtra))
                return TRUE;
        }
    }
    return FALSE;
}

BOOL CCmdTarget::DispatchCmd(const MsgEntry* e, UINT nID, int nCode, void* pExtra) {
    switch (e->sig) {
    case Sig::Cmd:
        (this->*e->pfn)();
        return TRUE;
    case Sig::CmdRange:
        (this->*reinterpret_cast<void (CCmdTarget::*)(UINT)>(e->pfn))(nID);
        return TRUE;
    case Sig::CmdEx:
        return (this->*reinterpret_cast<BOOL (CCmdTarget::*)(UINT)>(e->pfn))(nID);
    case Sig::Update: {
        CCmdUI* ui = static_cast<CCmdUI*>(pExtra);
        ui->m_bContinueRouting = FALSE;
        (this->*reinterpret_cast<void (CCmdTarget::*)(CCmdUI*)>(e->pfn))(ui);
        return !ui->m_bContinueRouting;
    }
    case Sig::Notify: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        (this->*reinterpret_cast<void (CCmdTarget::*)(NMHDR*, LRESULT*)>(e->pfn))(ni->pHeader, ni->pResult);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// ---- update requests -----------------------------------------------------------------------

void CCmdUI::Enable(BOOL bOn) {
    m_bEnabled = bOn;
    if (m_hMenu)
        ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
    m_nCheck = nCheck;
    if (m_hMenu)
        ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetText(const wchar_t* text) {
    if (!m_hMenu || !text)
        return;
    MENUITEMINFOW mii = {sizeof(mii)};
    mii.fMask = MIIM_STRING;
    mii.dwTypeData = const_cast<wchar_t*>(text);
    ::SetMenuItemInfoW(m_hMenu, m_nIndex, TRUE, &mii);
}

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler) {
    m_bEnableChanged = FALSE;
    BOOL handled = pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this, nullptr);
    if (!handled && bDisableIfNoHandler && !m_bEnableChanged) {
        CmdHandlerInfo info;
        Enable(pTarget->OnCmdMsg(m_nID, CN_COMMAND, nullptr, &info));
    }
    return handled;
}

BOOL IsCommandEnabled(CCmdTarget* pTarget, UINT nID) {
    CCmdUI state;
    state.m_nID = nID;
    pTarget->OnCmdMsg(nID, CN_UPDATE_COMMAND_UI, &state, nullptr);
    return state.m_bEnabled;
}

// ---- resources -----------------------------------------------------------------------------

static HINSTANCE g_hResource = nullptr;

HINSTANCE GetResourceHandle() { return g_hResource ? g_hResource : ::GetModuleHandleW(nullptr); }
void SetResourceHandle(HINSTANCE h) { g_hResource = h; }

std::wstring LoadStr(UINT id, HINSTANCE hInst) {
    const wchar_t* p = nullptr;
    int n = ::LoadStringW(hInst ? hInst : GetResourceHandle(), id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 && p ? std::wstring(p, n) : std::wstring();
}

// ---- windows bound to objects ----------------------------------------------------------------

namespace {
std::mutex g_mapLock;
std::unordered_map<HWND, CWnd*>& HandleMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}
thread_local CWnd* t_pWndInit = nullptr;
struct CurrentMsg {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};
thread_local CurrentMsg t_msg = {};
} // namespace

CWnd* CWnd::FromHandlePermanent(HWND h) {
    if (!h)
        return nullptr;
    std::lock_guard<std::mutex> g(g_mapLock);
    auto it = HandleMap().find(h);
    return it == HandleMap().end() ? nullptr : it->second;
}

void CWnd::BindHandle(HWND h) {
    m_hWnd = h;
    std::lock_guard<std::mutex> g(g_mapLock);
    HandleMap()[h] = this;
}

void CWnd::UnbindHandle() {
    if (!m_hWnd)
        return;
    std::lock_guard<std::mutex> g(g_mapLock);
    auto it = HandleMap().find(m_hWnd);
    if (it != HandleMap().end() && it->second == this)
        HandleMap().erase(it);
    m_hWnd = nullptr;
}

CWnd::~CWnd() {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        if (m_pfnSuper) {
            UnsubclassWindow();
        } else {
            HWND h = m_hWnd;
            UnbindHandle();
            // A window created by this object must not outlive it.
            if (::IsWindow(h) && reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(h, GWLP_WNDPROC)) == StdWndProc)
                ::DestroyWindow(h);
        }
    }
}

const wchar_t* DefaultWndClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {sizeof(wc)};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = StdWndProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"KvUiWnd";
        ::RegisterClassExW(&wc);
    });
    return L"KvUiWnd";
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                    int cx, int cy, HWND parent, HMENU idOrMenu) {
    const wchar_t* cls = className ? className : DefaultWndClass();
    bool ours = !className || wcscmp(className, DefaultWndClass()) == 0;
    if (!ours) {
        WNDCLASSEXW wc = {sizeof(wc)};
        if (::GetClassInfoExW(::GetModuleHandleW(nullptr), cls, &wc) && wc.lpfnWndProc == StdWndProc)
            ours = true;
    }
    if (ours)
        t_pWndInit = this;
    HWND h = ::CreateWindowExW(exStyle, cls, title ? title : L"", style, x, y, cx, cy, parent, idOrMenu,
                               ::GetModuleHandleW(nullptr), nullptr);
    t_pWndInit = nullptr;
    if (!h)
        return FALSE;
    if (!ours) {
        // A control class: bind and subclass it.
        SubclassWindow(h);
    }
    return TRUE;
}

BOOL CWnd::Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rc, CWnd* parent,
                  UINT nID) {
    return CreateEx(0, className, title, style | WS_CHILD, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                    parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>((UINT_PTR)nID));
}

BOOL CWnd::SubclassWindow(HWND h) {
    if (!h || m_hWnd)
        return FALSE;
    BindHandle(h);
    PreSubclassWindow();
    WNDPROC old = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)StdWndProc));
    if (old != StdWndProc)
        m_pfnSuper = old;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* parent) { return SubclassWindow(::GetDlgItem(parent->m_hWnd, nID)); }

HWND CWnd::UnsubclassWindow() {
    HWND h = m_hWnd;
    if (h && m_pfnSuper)
        ::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
    m_pfnSuper = nullptr;
    UnbindHandle();
    return h;
}

BOOL CWnd::Attach(HWND h) {
    if (!h || m_hWnd)
        return FALSE;
    BindHandle(h);
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    UnbindHandle();
    return h;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

std::wstring CWnd::GetWindowText() const {
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring s(n + 1, L'\0');
    n = ::GetWindowTextW(m_hWnd, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

std::wstring CWnd::GetDlgItemText(int id) const {
    HWND h = ::GetDlgItem(m_hWnd, id);
    if (!h)
        return std::wstring();
    int n = ::GetWindowTextLengthW(h);
    std::wstring s(n + 1, L'\0');
    n = ::GetWindowTextW(h, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

int CWnd::MessageBox(const std::wstring& text, const wchar_t* caption, UINT type) {
    return ShowMessage(m_hWnd, text, caption, type);
}

const MsgMap* CWnd::GetThisMessageMap() {
    static const MsgEntry entries[] = {{0, 0, 0, 0, Sig::End, nullptr, nullptr}};
    static const MsgMap map = {&CCmdTarget::GetThisMessageMap, entries};
    return &map;
}

const MsgMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, msg, wp, lp);
    return ::DefWindowProcW(m_hWnd, msg, wp, lp);
}

LRESULT CWnd::Default() { return DefWindowProc(t_msg.msg, t_msg.wp, t_msg.lp); }

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (!OnWndMsg(msg, wp, lp, &result))
        result = DefWindowProc(msg, wp, lp);
    return result;
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (msg == WM_COMMAND) {
        if (OnCommand(wp, lp)) {
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    }
    if (msg == WM_NOTIFY) {
        LRESULT r = 0;
        if (OnNotify(wp, lp, &r)) {
            *pResult = r;
            return TRUE;
        }
        return FALSE;
    }
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            bool match = e->pRegistered ? (*e->pRegistered != 0 && *e->pRegistered == msg)
                                        : (e->nMessage == msg && msg != WM_COMMAND && msg != WM_NOTIFY);
            if (match && DispatchWndMsg(e, wp, lp, pResult))
                return TRUE;
        }
    }
    return FALSE;
}

BOOL CWnd::DispatchWndMsg(const MsgEntry* e, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    switch (e->sig) {
    case Sig::Msg:
        *pResult = (this->*reinterpret_cast<LRESULT (CCmdTarget::*)(WPARAM, LPARAM)>(e->pfn))(wp, lp);
        return TRUE;
    case Sig::Void:
        (this->*e->pfn)();
        *pResult = 0;
        return TRUE;
    case Sig::Create:
        *pResult = (this->*reinterpret_cast<int (CCmdTarget::*)(LPCREATESTRUCTW)>(e->pfn))(
            reinterpret_cast<LPCREATESTRUCTW>(lp));
        return TRUE;
    case Sig::Timer:
        (this->*reinterpret_cast<void (CCmdTarget::*)(UINT_PTR)>(e->pfn))(wp);
        *pResult = 0;
        return TRUE;
    case Sig::Size:
        (this->*reinterpret_cast<void (CCmdTarget::*)(UINT, int, int)>(e->pfn))((UINT)wp, (short)LOWORD(lp),
                                                                                 (short)HIWORD(lp));
        *pResult = 0;
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CWnd::OnCommand(WPARAM wp, LPARAM lp) {
    UINT nID = LOWORD(wp);
    int nCode = HIWORD(wp);
    HWND hCtl = reinterpret_cast<HWND>(lp);
    if (!hCtl) {
        // Menu (0) or accelerator (1): a command that its update handler disables does not run.
        nCode = CN_COMMAND;
        if (!IsCommandEnabled(this, nID))
            return TRUE;
    } else if (nCode == BN_CLICKED && !::IsWindowEnabled(hCtl)) {
        return TRUE;
    }
    for (CWnd* p = this; p; p = p->GetRoutingParent()) {
        if (p->OnCmdMsg(nID, nCode, nullptr, nullptr))
            return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    if (!hdr)
        return FALSE;
    NotifyInfo info = {hdr, pResult};
    return OnCmdMsg((UINT)hdr->idFrom, NotifyCode(hdr->code), &info, nullptr);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

static WindowExceptionHandler g_exceptionHandler = nullptr;

void SetWindowExceptionHandler(WindowExceptionHandler handler) { g_exceptionHandler = handler; }

void ReportWindowException(const wchar_t* where) {
    if (g_exceptionHandler) {
        try {
            g_exceptionHandler();
        } catch (...) {
        }
        return;
    }
    std::wstring text = L"Произошла неизвестная ошибка!";
    try {
        throw;
    } catch (const std::exception& e) {
        std::string w = e.what();
        text += L"\n\n" + std::wstring(w.begin(), w.end());
    } catch (...) {
    }
    ::OutputDebugStringW((std::wstring(where) + L": " + text).c_str());
    ShowMessage(nullptr, text, nullptr, MB_ICONERROR | MB_OK);
}

static LRESULT CallObjectProc(CWnd* p, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    CurrentMsg saved = t_msg;
    t_msg = {h, msg, wp, lp};
    LRESULT r = 0;
    try {
        r = p->WindowProc(msg, wp, lp);
    } catch (...) {
        ReportWindowException(L"window procedure");
    }
    t_msg = saved;
    if (msg == WM_NCDESTROY) {
        if (CWnd::FromHandlePermanent(h) == p) {
            p->Detach();
            p->PostNcDestroy();
        }
    }
    return r;
}

LRESULT CALLBACK StdWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    CWnd* p = CWnd::FromHandlePermanent(h);
    if (!p && t_pWndInit) {
        p = t_pWndInit;
        t_pWndInit = nullptr;
        p->BindHandle(h);
    }
    if (!p)
        return ::DefWindowProcW(h, msg, wp, lp);
    if (msg == WM_NCDESTROY && p->m_pfnSuper) {
        // Give the window its own procedure back before it is gone.
        WNDPROC super = p->m_pfnSuper;
        ::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)super);
        LRESULT r = CallObjectProc(p, h, msg, wp, lp);
        p->m_pfnSuper = nullptr;
        return r;
    }
    return CallObjectProc(p, h, msg, wp, lp);
}

void SetDialogInit(CWnd* p) { t_pWndInit = p; }

INT_PTR CALLBACK StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    // The dialog's object takes the window over with its first message: from then on its
    // messages reach StdWndProc first and the dialog manager only gets what the object leaves.
    if (!CWnd::FromHandlePermanent(h) && t_pWndInit) {
        CWnd* p = t_pWndInit;
        t_pWndInit = nullptr;
        p->BindHandle(h);
        p->m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)StdWndProc));
        if (msg == WM_INITDIALOG)
            return (INT_PTR)CallObjectProc(p, h, msg, wp, lp);
        return FALSE;
    }
    return FALSE;
}

// ---- the message loop ----------------------------------------------------------------------

BOOL PreTranslateChain(MSG* pMsg) {
    CWnd* pMain = AfxGetMainWnd();
    bool mainSeen = false;
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
        CWnd* p = CWnd::FromHandlePermanent(h);
        if (p) {
            if (p == pMain)
                mainSeen = true;
            if (p->PreTranslateMessage(pMsg))
                return TRUE;
        }
    }
    // The main window translates too (its accelerators) when the message is not for a window
    // of another top-level window that is enabled on its own, such as a modeless dialog.
    if (pMain && !mainSeen && pMain->m_hWnd && (!pMsg->hwnd || ::GetAncestor(pMsg->hwnd, GA_ROOT) == pMain->m_hWnd))
        return pMain->PreTranslateMessage(pMsg);
    return FALSE;
}

BOOL PumpMessage() {
    MSG msg;
    BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) {
        ::PostQuitMessage(r == 0 ? (int)msg.wParam : 0);
        return FALSE;
    }
    CWinApp* app = AfxGetApp();
    BOOL done = app ? app->PreTranslateMessage(&msg) : PreTranslateChain(&msg);
    if (!done) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return TRUE;
}

BOOL PumpWaitingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!PumpMessage())
            return FALSE;
    }
    return TRUE;
}

} // namespace KvUi
