// Command routing, update handlers and the binding of windows to their objects.
#include "kvui/app.h"
#include "kvui/core.h"
#include "kvui/presenter.h"

#include <KvErrorText.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace KvUi {

// ---- command targets ----------------------------------------------------------------------

const MsgMap* CCmdTarget::GetThisMessageMap() {
    static const MsgEntry entries[] = {{0, 0, 0, 0, Sig::End, MsgFn(), nullptr}};
    static const MsgMap map = {nullptr, entries};
    return &map;
}

const MsgMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

static bool MatchesCommand(const MsgEntry& e, UINT nID, int nCode) {
    if (e.sig == Sig::End || e.pRegistered || e.nMessage >= WM_REFLECT_BASE)
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
        (this->*e->pfn.v)();
        return TRUE;
    case Sig::CmdRange:
        (this->*e->pfn.vU)(nID);
        return TRUE;
    case Sig::CmdEx:
        return (this->*e->pfn.bU)(nID);
    case Sig::Update: {
        CCmdUI* ui = static_cast<CCmdUI*>(pExtra);
        ui->m_bContinueRouting = FALSE;
        (this->*e->pfn.vUi)(ui);
        return !ui->m_bContinueRouting;
    }
    case Sig::Notify: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        (this->*e->pfn.vNm)(ni->pHeader, ni->pResult);
        return TRUE;
    }
    case Sig::NotifyRange: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        (this->*e->pfn.vUNm)(nID, ni->pHeader, ni->pResult);
        return TRUE;
    }
    case Sig::NotifyEx: {
        NotifyInfo* ni = static_cast<NotifyInfo*>(pExtra);
        return (this->*e->pfn.bUNm)(nID, ni->pHeader, ni->pResult);
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

// ---- update handlers of a window's controls and idle updates ---------------------------------

namespace {
// The update state of one child control: its handler enables, checks or names the control.
class CControlCmdUI : public CCmdUI {
public:
    HWND m_hCtl = nullptr;
    HWND m_hParent = nullptr;
    void Enable(BOOL bOn) override {
        CCmdUI::Enable(bOn);
        if (!bOn && ::GetFocus() == m_hCtl)
            // The focus leaves a control that goes grey, as the dialog manager would move it.
            ::SendMessageW(m_hParent, WM_NEXTDLGCTL, 0, FALSE);
        if ((::IsWindowEnabled(m_hCtl) != FALSE) != (bOn != FALSE))
            ::EnableWindow(m_hCtl, bOn);
    }
    void SetCheck(int nCheck) override {
        CCmdUI::SetCheck(nCheck);
        UINT kind = (UINT)(::GetWindowLongW(m_hCtl, GWL_STYLE) & BS_TYPEMASK);
        bool checkable = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE || kind == BS_AUTO3STATE ||
                         kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
        if (checkable && (int)::SendMessageW(m_hCtl, BM_GETCHECK, 0, 0) != nCheck)
            ::SendMessageW(m_hCtl, BM_SETCHECK, (WPARAM)nCheck, 0);
    }
    void SetText(const wchar_t* text) override {
        CCmdUI::SetText(text);
        std::wstring now(::GetWindowTextLengthW(m_hCtl) + 1, L'\0');
        now.resize(::GetWindowTextW(m_hCtl, &now[0], (int)now.size()));
        if (now != (text ? text : L""))
            ::SetWindowTextW(m_hCtl, text ? text : L"");
    }
};

// Allocated on first use and never freed, so a window object destroyed late in the thread's (or
// the program's) end still finds it.
thread_local std::vector<CWnd*>* t_pIdleWindows = nullptr;
std::vector<CWnd*>& IdleWindows() {
    if (!t_pIdleWindows)
        t_pIdleWindows = new std::vector<CWnd*>;
    return *t_pIdleWindows;
}
} // namespace

void CWnd::UpdateDialogControls(CCmdTarget* pTarget, BOOL bDisableIfNoHandler) {
    if (!m_hWnd || !pTarget)
        return;
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        int id = ::GetDlgCtrlID(h);
        if (id <= 0 || id > 0xFFFF || id == 0xFFFF)
            continue; // static texts without an id
        CControlCmdUI ui;
        ui.m_nID = (UINT)id;
        ui.m_hCtl = h;
        ui.m_hParent = m_hWnd;
        ui.DoUpdate(pTarget, bDisableIfNoHandler);
    }
}

void RegisterIdleUpdate(CWnd* pWnd) {
    std::vector<CWnd*>& list = IdleWindows();
    if (pWnd && std::find(list.begin(), list.end(), pWnd) == list.end())
        list.push_back(pWnd);
}

void UnregisterIdleUpdate(CWnd* pWnd) {
    if (!t_pIdleWindows)
        return;
    std::vector<CWnd*>& list = *t_pIdleWindows;
    list.erase(std::remove(list.begin(), list.end(), pWnd), list.end());
}

void RunIdleUpdates() {
    if (!t_pIdleWindows)
        return;
    // A handler may create or destroy windows: each window of the copy still registered runs.
    std::vector<CWnd*> windows = *t_pIdleWindows;
    for (CWnd* w : windows) {
        const std::vector<CWnd*>& now = *t_pIdleWindows;
        if (std::find(now.begin(), now.end(), w) != now.end() && w->m_hWnd)
            w->OnIdleUpdate();
    }
}

// ---- resources -----------------------------------------------------------------------------

// The layer is a static library: every module that links it (the program, a DLL of forms) has its
// own copy of this state, so each registers its window class under its own instance and loads
// its own resources.
extern "C" IMAGE_DOS_HEADER __ImageBase;
HINSTANCE GetModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

static HINSTANCE g_hResource = nullptr;

HINSTANCE GetResourceHandle() { return g_hResource ? g_hResource : GetModuleInstance(); }
void SetResourceHandle(HINSTANCE h) { g_hResource = h; }

std::wstring TrimSpace(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && iswspace(text[b]))
        ++b;
    while (e > b && iswspace(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

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
    UnregisterIdleUpdate(this);
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
        wc.hInstance = GetModuleInstance();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"KvUiWnd";
        ::RegisterClassExW(&wc);
    });
    return L"KvUiWnd";
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int cx,
                    int cy, HWND parent, HMENU idOrMenu) {
    const wchar_t* cls = className ? className : DefaultWndClass();
    bool ours = !className || wcscmp(className, DefaultWndClass()) == 0;
    if (!ours) {
        WNDCLASSEXW wc = {sizeof(wc)};
        if (::GetClassInfoExW(GetModuleInstance(), cls, &wc) && wc.lpfnWndProc == StdWndProc)
            ours = true;
    }
    m_bCreateFailed = FALSE;
    if (ours)
        t_pWndInit = this;
    HWND h = ::CreateWindowExW(exStyle, cls, title ? title : L"", style, x, y, cx, cy, parent, idOrMenu,
                               GetModuleInstance(), nullptr);
    t_pWndInit = nullptr;
    if (!h) {
        // Refused (an exception or -1 in WM_NCCREATE/WM_CREATE): nothing stays bound.
        if (m_hWnd)
            UnbindHandle();
        return FALSE;
    }
    if (!ours) {
        // A control class: bind and subclass it.
        SubclassWindow(h);
    }
    return TRUE;
}

BOOL CWnd::Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rc, CWnd* parent, UINT nID) {
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
    static const MsgEntry entries[] = {{0, 0, 0, 0, Sig::End, MsgFn(), nullptr}};
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

namespace {

bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }

// Every WM_CTLCOLOR* message matches the one map entry kind.
UINT MapKey(UINT msg) { return IsCtlColor(msg) ? (UINT)WM_CTLCOLORSTATIC : msg; }

bool IsReflectEntry(const MsgEntry& e) {
    switch (e.sig) {
    case Sig::NotifyReflect:
    case Sig::NotifyReflectEx:
    case Sig::CtlReflect:
    case Sig::CtlReflectEx:
    case Sig::ColorReflect:
    case Sig::DrawReflect:
    case Sig::MeasureReflect:
        return true;
    default:
        return false;
    }
}

// The control that a message to its parent is about; null for messages about no control.
HWND ControlOf(HWND parent, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NOTIFY:
        return lp ? reinterpret_cast<const NMHDR*>(lp)->hwndFrom : nullptr;
    case WM_COMMAND:
        return reinterpret_cast<HWND>(lp); // null for menus and accelerators
    case WM_DRAWITEM: {
        auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        return d && d->CtlType != ODT_MENU ? d->hwndItem : nullptr;
    }
    case WM_MEASUREITEM: {
        auto* m = reinterpret_cast<const MEASUREITEMSTRUCT*>(lp);
        return m && m->CtlType != ODT_MENU ? ::GetDlgItem(parent, (int)m->CtlID) : nullptr;
    }
    case WM_COMPAREITEM:
        return lp ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return lp ? reinterpret_cast<const DELETEITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return reinterpret_cast<HWND>(lp);
    default:
        return IsCtlColor(msg) ? reinterpret_cast<HWND>(lp) : nullptr;
    }
}

// A message already offered to its control by the window that forwards it (a docked pane passes
// its content's notifications on to the frame): the frame does not offer it a second time.
struct ReflectedMsg {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};
thread_local ReflectedMsg t_reflected = {0, 0, 0};

} // namespace

BOOL CWnd::ReflectToControl(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    HWND ctl = ControlOf(parent, msg, wp, lp);
    if (!ctl || ctl == parent)
        return FALSE;
    if (t_reflected.msg == msg && t_reflected.wp == wp && t_reflected.lp == lp)
        return FALSE;
    CWnd* p = FromHandlePermanent(ctl);
    return p ? p->OnChildNotify(msg, wp, lp, pResult) : FALSE;
}

LRESULT CWnd::SendAfterReflection(HWND to, UINT msg, WPARAM wp, LPARAM lp) {
    ReflectedMsg saved = t_reflected;
    t_reflected = {msg, wp, lp};
    LRESULT r = ::SendMessageW(to, msg, wp, lp);
    t_reflected = saved;
    return r;
}

BOOL CWnd::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    const UINT key = WM_REFLECT_BASE + MapKey(msg);
    NMHDR* hdr = msg == WM_NOTIFY ? reinterpret_cast<NMHDR*>(lp) : nullptr;
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            if (e->pRegistered || e->nMessage != key)
                continue;
            if (hdr && e->nCode != (hdr->code & 0xFFFF))
                continue;
            if (msg == WM_COMMAND && e->nCode != HIWORD(wp))
                continue;
            LRESULT r = 0;
            switch (e->sig) {
            case Sig::NotifyReflect:
                (this->*e->pfn.vNm)(hdr, &r);
                *pResult = r;
                return TRUE;
            case Sig::NotifyReflectEx:
                if (!(this->*e->pfn.bNm)(hdr, &r))
                    return FALSE;
                *pResult = r;
                return TRUE;
            case Sig::CtlReflect:
                (this->*e->pfn.v)();
                *pResult = 0;
                return TRUE;
            case Sig::CtlReflectEx:
                if (!(this->*e->pfn.b)())
                    return FALSE;
                *pResult = 0;
                return TRUE;
            case Sig::ColorReflect: {
                HBRUSH br = (this->*e->pfn.brDcU)(reinterpret_cast<HDC>(wp), msg - WM_CTLCOLORMSGBOX);
                if (!br)
                    return FALSE;
                *pResult = reinterpret_cast<LRESULT>(br);
                return TRUE;
            }
            case Sig::DrawReflect:
                (this->*e->pfn.vDis)(reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
                *pResult = TRUE;
                return TRUE;
            case Sig::MeasureReflect:
                (this->*e->pfn.vMis)(reinterpret_cast<LPMEASUREITEMSTRUCT>(lp));
                *pResult = TRUE;
                return TRUE;
            default:
                break;
            }
        }
    }
    return FALSE;
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
    const UINT key = MapKey(msg);
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBase ? map->pfnGetBase() : nullptr) {
        for (const MsgEntry* e = map->pEntries; e->sig != Sig::End; ++e) {
            bool match = e->pRegistered ? (*e->pRegistered != 0 && *e->pRegistered == msg)
                                        : (e->nMessage == key && !IsReflectEntry(*e));
            if (match && DispatchWndMsg(e, msg, wp, lp, pResult))
                return TRUE;
        }
    }
    // A message about a control that the parent's map left: the control may answer it itself.
    return ReflectToControl(m_hWnd, msg, wp, lp, pResult);
}

static POINT PointOf(LPARAM lp) { return POINT{(short)LOWORD(lp), (short)HIWORD(lp)}; }

BOOL CWnd::DispatchWndMsg(const MsgEntry* e, UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    *pResult = 0;
    switch (e->sig) {
    case Sig::Msg:
        *pResult = (this->*e->pfn.lWL)(wp, lp);
        return TRUE;
    case Sig::Void:
        (this->*e->pfn.v)();
        return TRUE;
    case Sig::Create:
        *pResult = (this->*e->pfn.iCs)(reinterpret_cast<LPCREATESTRUCTW>(lp));
        return TRUE;
    case Sig::Timer:
        (this->*e->pfn.vUp)(wp);
        return TRUE;
    case Sig::Size:
        (this->*e->pfn.vUII)((UINT)wp, (short)LOWORD(lp), (short)HIWORD(lp));
        return TRUE;
    case Sig::ContextMenu:
        (this->*e->pfn.vHPt)(reinterpret_cast<HWND>(wp), PointOf(lp));
        return TRUE;
    case Sig::Focus:
        (this->*e->pfn.vH)(msg == WM_CAPTURECHANGED ? reinterpret_cast<HWND>(lp) : reinterpret_cast<HWND>(wp));
        return TRUE;
    case Sig::Key:
        (this->*e->pfn.vUUU)((UINT)wp, LOWORD(lp), HIWORD(lp));
        return TRUE;
    case Sig::Mouse:
        (this->*e->pfn.vUPt)((UINT)wp, PointOf(lp));
        return TRUE;
    case Sig::MinMax:
        (this->*e->pfn.vMmi)(reinterpret_cast<MINMAXINFO*>(lp));
        return TRUE;
    case Sig::DrawItem:
        (this->*e->pfn.vIDis)((int)wp, reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
        *pResult = TRUE;
        return TRUE;
    case Sig::MeasureItem:
        (this->*e->pfn.vIMis)((int)wp, reinterpret_cast<LPMEASUREITEMSTRUCT>(lp));
        *pResult = TRUE;
        return TRUE;
    case Sig::CtlColor: {
        // A null brush leaves the colours to the control's parent (the dialog manager's default)
        // or to the control itself.
        HBRUSH br =
            (this->*e->pfn.brDcHU)(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), msg - WM_CTLCOLORMSGBOX);
        if (!br)
            return FALSE;
        *pResult = reinterpret_cast<LRESULT>(br);
        return TRUE;
    }
    case Sig::SetCursor:
        *pResult = (this->*e->pfn.bHUU)(reinterpret_cast<HWND>(wp), LOWORD(lp), HIWORD(lp));
        return TRUE;
    case Sig::DropFiles:
        (this->*e->pfn.vDrop)(reinterpret_cast<HDROP>(wp));
        return TRUE;
    case Sig::EraseBkgnd:
        *pResult = (this->*e->pfn.bDc)(reinterpret_cast<HDC>(wp));
        return TRUE;
    case Sig::InitMenuPopup:
        (this->*e->pfn.vMenuUB)(reinterpret_cast<HMENU>(wp), LOWORD(lp), HIWORD(lp));
        return TRUE;
    case Sig::MenuSelect:
        (this->*e->pfn.vUUMenu)(LOWORD(wp), HIWORD(wp), reinterpret_cast<HMENU>(lp));
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
    } else {
        if (nCode == BN_CLICKED && !::IsWindowEnabled(hCtl))
            return TRUE;
        // The control's own object answers its notification first.
        LRESULT r = 0;
        if (ReflectToControl(m_hWnd, WM_COMMAND, wp, lp, &r))
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
    // The control's own object answers its notification first.
    if (ReflectToControl(m_hWnd, WM_NOTIFY, wp, lp, pResult))
        return TRUE;
    NotifyInfo info = {hdr, pResult};
    return OnCmdMsg((UINT)hdr->idFrom, NotifyCode(hdr->code), &info, nullptr);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

// ---- exceptions at callbacks ------------------------------------------------------------------

const wchar_t* const kUnknownErrorText = kKvUnknownErrorText;

namespace {
std::mutex g_errorLock;
std::vector<ExceptionTranslator>& Translators() {
    static std::vector<ExceptionTranslator> list;
    return list;
}
std::atomic<ErrorDialogHandler> g_errorDialog{nullptr};
std::atomic<bool> g_errorShown{false};

// Exception texts are UTF-8 where this system writes them; others are in the ANSI code page.
std::wstring NarrowText(const char* s) {
    if (!s || !*s)
        return std::wstring();
    for (UINT cp : {(UINT)CP_UTF8, (UINT)CP_ACP}) {
        int n = ::MultiByteToWideChar(cp, cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, s, -1, nullptr, 0);
        if (n > 0) {
            std::wstring w(n, L'\0');
            ::MultiByteToWideChar(cp, cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, s, -1, &w[0], n);
            w.resize(n - 1);
            return w;
        }
    }
    return std::wstring();
}
} // namespace

void AddExceptionTranslator(ExceptionTranslator translator) {
    std::lock_guard<std::mutex> g(g_errorLock);
    auto& list = Translators();
    if (std::find(list.begin(), list.end(), translator) == list.end())
        list.push_back(translator);
}

std::wstring CurrentExceptionText() {
    std::vector<ExceptionTranslator> list;
    {
        std::lock_guard<std::mutex> g(g_errorLock);
        list = Translators();
    }
    for (ExceptionTranslator t : list) {
        std::wstring text;
        try {
            if (t(text))
                return text;
        } catch (...) {
        }
    }
    try {
        throw;
    } catch (const std::exception& e) {
        std::wstring text = NarrowText(e.what());
        return text.empty() ? std::wstring(kUnknownErrorText) : text;
    } catch (...) {
    }
    return kUnknownErrorText;
}

ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler) { return g_errorDialog.exchange(handler); }

void ReportWindowException(const wchar_t* where) {
    std::wstring text = CurrentExceptionText();
    ::OutputDebugStringW((std::wstring(where ? where : L"") + L": " + text + L"\n").c_str());
    // One error dialog at a time: an error while one is shown (its own loop paints and runs
    // timers) is only written to the debug output.
    if (g_errorShown.exchange(true))
        return;
    try {
        if (ErrorDialogHandler h = g_errorDialog.load())
            h(text);
        else
            ShowMessage(nullptr, text, nullptr, MB_ICONERROR | MB_OK);
    } catch (...) {
        ::OutputDebugStringW(L"the error dialog failed\n");
    }
    g_errorShown = false;
}

// ---- calls posted to a window's thread ----------------------------------------------------------

namespace {
struct PostedCall {
    HWND hwnd;
    std::function<void()> fn;
};
std::mutex g_callLock;
std::map<ULONG_PTR, PostedCall> g_calls;
ULONG_PTR g_nextCall = 1;
UINT PostedCallMessage() {
    static const UINT msg = ::RegisterWindowMessageW(L"KvUiPostedCall");
    return msg;
}

// Takes the posted call out (empty when it was dropped).
std::function<void()> TakeCall(ULONG_PTR id) {
    std::lock_guard<std::mutex> g(g_callLock);
    auto it = g_calls.find(id);
    if (it == g_calls.end())
        return nullptr;
    std::function<void()> fn = std::move(it->second.fn);
    g_calls.erase(it);
    return fn;
}

void DropCalls(HWND h) {
    std::vector<std::function<void()>> dropped; // freed outside the lock
    std::lock_guard<std::mutex> g(g_callLock);
    for (auto it = g_calls.begin(); it != g_calls.end();) {
        if (it->second.hwnd == h) {
            dropped.push_back(std::move(it->second.fn));
            it = g_calls.erase(it);
        } else {
            ++it;
        }
    }
}
} // namespace

bool PostCall(HWND h, std::function<void()> fn) {
    if (!fn || !CWnd::FromHandlePermanent(h))
        return false;
    ULONG_PTR id;
    {
        std::lock_guard<std::mutex> g(g_callLock);
        id = g_nextCall++;
        g_calls[id] = PostedCall{h, std::move(fn)};
    }
    if (!::PostMessageW(h, PostedCallMessage(), 0, (LPARAM)id)) {
        TakeCall(id);
        return false;
    }
    return true;
}

LRESULT CallObjectProc(CWnd* p, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == PostedCallMessage() && msg) {
        if (std::function<void()> fn = TakeCall((ULONG_PTR)lp))
            CallReporting(L"posted call", fn);
        return 0;
    }
    CurrentMsg saved = t_msg;
    t_msg = {h, msg, wp, lp};
    LRESULT r = 0;
    try {
        r = p->WindowProc(msg, wp, lp);
    } catch (...) {
        ReportWindowException(L"window procedure");
        switch (msg) {
        case WM_NCCREATE:
            p->m_bCreateFailed = TRUE;
            r = FALSE;
            break;
        case WM_CREATE:
            p->m_bCreateFailed = TRUE;
            r = -1;
            break;
        case WM_INITDIALOG:
            p->m_bCreateFailed = TRUE;
            r = FALSE;
            break;
        case WM_PAINT:
            // The failed paint is not asked for again and again.
            ::ValidateRect(h, nullptr);
            break;
        default:
            break;
        }
    }
    t_msg = saved;
    if (msg == WM_NCDESTROY) {
        DropCalls(h);
        UnregisterIdleUpdate(p);
        if (CWnd::FromHandlePermanent(h) == p) {
            p->Detach();
            CallReporting(L"PostNcDestroy", [p] { p->PostNcDestroy(); });
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

BOOL TranslateReporting(MSG* pMsg) {
    BOOL done = FALSE;
    // A failed translation is reported and the message goes on to its window (a message left
    // undispatched, such as WM_PAINT, would only come back).
    CallReporting(L"PreTranslateMessage", [&] {
        CWinApp* app = AfxGetApp();
        done = app ? app->PreTranslateMessage(pMsg) : PreTranslateChain(pMsg);
    });
    return done;
}

BOOL PumpMessage() {
    MSG msg;
    BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) {
        ::PostQuitMessage(r == 0 ? (int)msg.wParam : 0);
        return FALSE;
    }
    if (!TranslateReporting(&msg)) {
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
