// Window objects: creating, subclassing, attaching and destroying their windows, and the thin
// helpers of the class.
#include "kvui/core.h"
#include "kvui/presenter.h"

#include "wndproc.h"

#include <mutex>

namespace KvUi {

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

} // namespace KvUi
