// The static splitter and the host frame.
#include "kvui/splitter.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

namespace KvUi {

std::wstring RegisterWndClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::mutex lock;
    static std::map<std::tuple<UINT, HCURSOR, HBRUSH, HICON>, std::wstring> names;
    std::lock_guard<std::mutex> g(lock);
    auto key = std::make_tuple(style, cursor, background, icon);
    auto it = names.find(key);
    if (it != names.end())
        return it->second;
    wchar_t name[96];
    swprintf(name, 96, L"KvUi:%x:%p:%p:%p", style, (void*)cursor, (void*)background, (void*)icon);
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.style = style;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return std::wstring();
    return names[key] = name;
}

// The control's own object answers first (once: the parent does not reflect it again).
BOOL CPassOnWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (!ReflectToControl(m_hWnd, WM_NOTIFY, wp, lp, pResult))
        *pResult = SendAfterReflection(::GetParent(m_hWnd), WM_NOTIFY, wp, lp);
    return TRUE;
}

BOOL CPassOnWnd::OnCommand(WPARAM wp, LPARAM lp) {
    LRESULT r = 0;
    if (!ReflectToControl(m_hWnd, WM_COMMAND, wp, lp, &r))
        SendAfterReflection(::GetParent(m_hWnd), WM_COMMAND, wp, lp);
    return TRUE;
}

// ---- splitter ------------------------------------------------------------------------------

BOOL CSplitterWnd::CreateStatic(CWnd* parent, int rows, int columns, DWORD style, UINT nID) {
    if (rows < 1 || columns < 1 || rows > 16 || columns > 16)
        return FALSE;
    m_rows.assign(rows, Info());
    m_cols.assign(columns, Info());
    std::wstring cls = RegisterWndClass(CS_DBLCLKS, nullptr, (HBRUSH)(COLOR_BTNFACE + 1));
    return CreateEx(0, cls.c_str(), nullptr, style | WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent->m_hWnd,
                    reinterpret_cast<HMENU>((UINT_PTR)nID));
}

void CSplitterWnd::SetColumnInfo(int column, int ideal, int minimum) {
    if (column >= 0 && column < (int)m_cols.size())
        m_cols[column].ideal = ideal, m_cols[column].minimum = minimum;
}

void CSplitterWnd::SetRowInfo(int row, int ideal, int minimum) {
    if (row >= 0 && row < (int)m_rows.size())
        m_rows[row].ideal = ideal, m_rows[row].minimum = minimum;
}

void CSplitterWnd::GetColumnInfo(int column, int& current, int& minimum) const {
    current = m_cols.at(column).current;
    minimum = m_cols.at(column).minimum;
}

void CSplitterWnd::GetRowInfo(int row, int& current, int& minimum) const {
    current = m_rows.at(row).current;
    minimum = m_rows.at(row).minimum;
}

namespace {
// Gives each part its ideal size (at least its minimum) while there is room; the last part
// takes what remains. A part that would get less than its minimum gets nothing.
template <class Info>
void DistributeParts(std::vector<Info>& parts, int total, int bar) {
    int left = total - bar * ((int)parts.size() - 1);
    for (size_t i = 0; i < parts.size(); ++i) {
        int want = i + 1 == parts.size() ? left : std::max(parts[i].ideal, parts[i].minimum);
        int got = std::max(0, std::min(want, left));
        if (got < parts[i].minimum)
            got = i + 1 == parts.size() ? std::max(0, left) : 0;
        parts[i].current = got;
        left -= got;
    }
}
} // namespace

void CSplitterWnd::RecalcLayout() {
    if (!m_hWnd)
        return;
    RECT rc;
    GetClientRect(&rc);
    DistributeParts(m_cols, rc.right - rc.left, kBar);
    DistributeParts(m_rows, rc.bottom - rc.top, kBar);
    HDWP dwp = ::BeginDeferWindowPos((int)(m_rows.size() * m_cols.size()));
    int y = 0;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        int x = 0;
        for (size_t c = 0; c < m_cols.size(); ++c) {
            HWND pane = GetPane((int)r, (int)c);
            if (pane && dwp)
                dwp = ::DeferWindowPos(dwp, pane, nullptr, x, y, m_cols[c].current, m_rows[r].current,
                                       SWP_NOZORDER | SWP_NOACTIVATE);
            x += m_cols[c].current + kBar;
        }
        y += m_rows[r].current + kBar;
    }
    if (dwp)
        ::EndDeferWindowPos(dwp);
    Invalidate();
}

int CSplitterWnd::BarFromPoint(POINT pt) const {
    int x = 0;
    for (size_t c = 0; c + 1 < m_cols.size(); ++c) {
        x += m_cols[c].current;
        if (pt.x >= x && pt.x < x + kBar)
            return (int)c;
        x += kBar;
    }
    int y = 0;
    for (size_t r = 0; r + 1 < m_rows.size(); ++r) {
        y += m_rows[r].current;
        if (pt.y >= y && pt.y < y + kBar)
            return -2 - (int)r;
        y += kBar;
    }
    return -1;
}

LRESULT CSplitterWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        RecalcLayout();
        return 0;
    case WM_SETCURSOR:
        if ((HWND)wp == m_hWnd && LOWORD(lp) == HTCLIENT) {
            POINT pt;
            ::GetCursorPos(&pt);
            ::ScreenToClient(m_hWnd, &pt);
            int bar = m_dragBar != -1 ? m_dragBar : BarFromPoint(pt);
            if (bar != -1) {
                ::SetCursor(::LoadCursorW(nullptr, bar >= 0 ? IDC_SIZEWE : IDC_SIZENS));
                return TRUE;
            }
        }
        break;
    case WM_LBUTTONDOWN: {
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        m_dragBar = BarFromPoint(pt);
        if (m_dragBar != -1) {
            m_dragStart = pt;
            m_dragIdeal = m_dragBar >= 0 ? m_cols[m_dragBar].current : m_rows[-2 - m_dragBar].current;
            ::SetCapture(m_hWnd);
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_dragBar != -1 && ::GetCapture() == m_hWnd) {
            POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
            if (m_dragBar >= 0)
                m_cols[m_dragBar].ideal = std::max(0, (int)(m_dragIdeal + pt.x - m_dragStart.x));
            else
                m_rows[-2 - m_dragBar].ideal = std::max(0, (int)(m_dragIdeal + pt.y - m_dragStart.y));
            RecalcLayout();
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (m_dragBar != -1) {
            m_dragBar = -1;
            if (msg == WM_LBUTTONUP && ::GetCapture() == m_hWnd)
                ::ReleaseCapture();
        }
        return 0;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

// ---- host frame ----------------------------------------------------------------------------

BOOL CHostFrame::Create(const wchar_t* className, CWnd* parent, const RECT& rc, UINT nID) {
    return CreateEx(0, className ? className : DefaultWndClass(), nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                    rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent->m_hWnd,
                    reinterpret_cast<HMENU>((UINT_PTR)nID));
}

void CHostFrame::SetContent(HWND content) {
    m_hContent = content;
    RecalcLayout();
}

void CHostFrame::RecalcLayout() {
    if (!m_hWnd || !m_hContent)
        return;
    RECT rc;
    GetClientRect(&rc);
    ::SetWindowPos(m_hContent, nullptr, 0, 0, rc.right, rc.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CHostFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE) {
        RecalcLayout();
        return 0;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

} // namespace KvUi
