// The resizable dialog base.
#include "ResizeDialog.h"

#include <algorithm>

using namespace KvUi;

// ---- layout --------------------------------------------------------------------------------

ResizeLayout::~ResizeLayout() {
    if (m_hSavedClip)
        ::DeleteObject(m_hSavedClip);
}

void ResizeLayout::BuildLayout() {
    m_entries.clear();
    HWND hWnd = GetLayoutWindow();
    std::vector<ResizeLayoutEntry> defs;
    DefineLayout(defs);
    int open = -1;
    for (const ResizeLayoutEntry& d : defs) {
        if (d.nID == -1) {
            if (d.nAnchor == GroupBegin) {
                open = (int)m_entries.size();
            } else if (d.nAnchor == GroupEnd && open >= 0) {
                int count = (int)m_entries.size() - open;
                if (count > 0)
                    m_entries[open].nAnchor |= (DWORD)(std::min(count, 255)) << 16;
                open = -1;
            }
            continue;
        }
        HWND hCtl = ::GetDlgItem(hWnd, d.nID);
        if (!hCtl)
            continue;
        ResizeLayoutEntry e = d;
        ::GetWindowRect(hCtl, &e.rc);
        ::SetLastError(0);
        if (::MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&e.rc), 2) == 0 && ::GetLastError() != 0)
            continue; // a control whose rectangle cannot be mapped stays where it is
        e.nAnchor &= ~(GroupHead | 0x00FF0000u);
        if (open >= 0 && open == (int)m_entries.size())
            e.nAnchor |= GroupHead;
        m_entries.push_back(e);
    }
    // A group left open at the end of the definitions counts as closed there.
    if (open >= 0 && open < (int)m_entries.size())
        m_entries[open].nAnchor |= (DWORD)(std::min((int)m_entries.size() - open, 255)) << 16;
}

namespace {
// One axis of an entry: the new low and high edges.
//   stretch: the high edge follows the window; move: the control keeps its size and the low edge
//   follows (placed plainly, move wins over stretch, so an entry with both moves and keeps its
//   size). Proportional within a group span [g0, g1] of old size gSize and new size nSize, where
//   stretch wins: the low edge scales and the high edge scales too; a group of no size has nothing
//   to scale by and is placed plainly.
void PlaceAxis(LONG lo, LONG hi, bool stretch, bool move, int delta, const LONG* g0, int gSize, int neighbour,
               LONG& outLo, LONG& outHi) {
    if (!stretch && !move)
        return;
    if (g0 && gSize > 0) {
        int nSize = std::max(0, gSize + delta);
        outLo = *g0 + ::MulDiv(lo - *g0, nSize, gSize);
        if (!stretch)
            outHi = outLo + (hi - lo);
        else if (neighbour < 0)
            outHi = *g0 + ::MulDiv(hi - *g0, nSize, gSize);
        else
            outHi = *g0 + ::MulDiv(neighbour - *g0, nSize, gSize) - (neighbour - hi);
        return;
    }
    outHi = hi + delta;
    outLo = move ? outHi - (hi - lo) : lo;
}
} // namespace

void ResizeLayout::Reposition(const ResizeLayoutEntry& e, int cx, int cy, const RECT* group, int neighbour) {
    HWND hWnd = GetLayoutWindow();
    HWND hCtl = ::GetDlgItem(hWnd, e.nID);
    if (!hCtl)
        return;
    RECT rc;
    ::GetWindowRect(hCtl, &rc);
    ::MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&rc), 2);
    DWORD a = e.nAnchor;
    // The neighbour value applies to the axis on which the entries lie side by side or stacked:
    // encoded as x for the horizontal axis, or -2 - y for the vertical one.
    int nx = neighbour >= 0 ? neighbour : -1;
    int ny = neighbour <= -2 ? -2 - neighbour : -1;
    PlaceAxis(e.rc.left, e.rc.right, (a & StretchRight) != 0, (a & MoveRight) != 0, cx - m_nRefWidth,
              group ? &group->left : nullptr, group ? group->right - group->left : 0, nx, rc.left, rc.right);
    PlaceAxis(e.rc.top, e.rc.bottom, (a & StretchBottom) != 0, (a & MoveBottom) != 0, cy - m_nRefHeight,
              group ? &group->top : nullptr, group ? group->bottom - group->top : 0, ny, rc.top, rc.bottom);
    if (a & RepaintAll)
        ::InvalidateRect(hCtl, nullptr, TRUE);
    if (a & 0x1F)
        ::SetWindowPos(hCtl, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
}

void ResizeLayout::ApplyLayout(int cx, int cy) {
    HWND hWnd = GetLayoutWindow();
    if (!hWnd || m_entries.empty())
        return;
    ::SendMessageW(hWnd, WM_SETREDRAW, FALSE, 0);
    for (size_t i = 0; i < m_entries.size();) {
        const ResizeLayoutEntry& head = m_entries[i];
        size_t n = (head.nAnchor & GroupHead) ? (head.nAnchor >> 16) & 0xFF : 0;
        if (n == 0) {
            Reposition(head, cx, cy, nullptr, -1);
            ++i;
            continue;
        }
        n = std::min(n, m_entries.size() - i);
        RECT g = head.rc;
        for (size_t k = i; k < i + n; ++k) {
            g.left = std::min(g.left, m_entries[k].rc.left);
            g.top = std::min(g.top, m_entries[k].rc.top);
            g.right = std::max(g.right, m_entries[k].rc.right);
            g.bottom = std::max(g.bottom, m_entries[k].rc.bottom);
        }
        for (size_t k = i; k < i + n; ++k) {
            const ResizeLayoutEntry& e = m_entries[k];
            int neighbour = -1;
            if (k + 1 < i + n) {
                const ResizeLayoutEntry& next = m_entries[k + 1];
                DWORD both = e.nAnchor & next.nAnchor;
                RECT cur = {}, nextCur = {};
                HWND hCur = ::GetDlgItem(hWnd, e.nID), hNext = ::GetDlgItem(hWnd, next.nID);
                if (hCur && hNext && (both & (StretchRight | StretchBottom))) {
                    ::GetWindowRect(hCur, &cur);
                    ::GetWindowRect(hNext, &nextCur);
                    if ((both & StretchRight) && nextCur.left >= cur.right)
                        neighbour = next.rc.left;
                    else if ((both & StretchBottom) && nextCur.top >= cur.bottom)
                        neighbour = -2 - next.rc.top;
                }
            }
            Reposition(e, cx, cy, &g, neighbour);
        }
        i += n;
    }
    ::SendMessageW(hWnd, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

namespace {
// Whether a control hides the background under it (the erase leaves its area alone).
bool IsOpaque(HWND h) {
    wchar_t cls[32] = {};
    ::GetClassNameW(h, cls, 32);
    LONG style = ::GetWindowLongW(h, GWL_STYLE);
    if (_wcsicmp(cls, L"Button") == 0) {
        int type = style & 0x0F;
        if (type == BS_GROUPBOX)
            return false;
        if (type == BS_OWNERDRAW) {
            RECT rc;
            ::GetWindowRect(h, &rc);
            ::SendMessageW(h, WM_NCCALCSIZE, FALSE, (LPARAM)&rc);
            return ::SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(rc.left, rc.top)) != HTTRANSPARENT;
        }
        return true;
    }
    if (_wcsicmp(cls, L"Static") == 0) {
        int type = style & 0x1F;
        if (type == SS_ICON || type == SS_ENHMETAFILE)
            return !(style & SS_CENTERIMAGE);
        if ((type >= 7 && type <= 11) || type == SS_OWNERDRAW || type > 17)
            return false;
        return true;
    }
    return true;
}
} // namespace

void ResizeLayout::ClipForErase(HDC hdc) {
    m_nSavedClipState = -1;
    HWND hWnd = GetLayoutWindow();
    if (!hWnd || ::WindowFromDC(hdc) != hWnd)
        return;
    if (!m_hSavedClip)
        m_hSavedClip = ::CreateRectRgn(0, 0, 0, 0);
    m_nSavedClipState = ::GetClipRgn(hdc, m_hSavedClip);
    RECT client;
    ::GetClientRect(hWnd, &client);
    HRGN erase = ::CreateRectRgnIndirect(&client);
    HRGN area = ::CreateRectRgn(0, 0, 0, 0);
    for (const ResizeLayoutEntry& e : m_entries) {
        HWND hCtl = ::GetDlgItem(hWnd, e.nID);
        if (!hCtl || !::IsWindowVisible(hCtl))
            continue;
        RECT rc;
        ::GetWindowRect(hCtl, &rc);
        ::MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&rc), 2);
        int kind = ::GetWindowRgn(hCtl, area);
        if (kind == SIMPLEREGION || kind == COMPLEXREGION)
            ::OffsetRgn(area, rc.left, rc.top);
        else
            ::SetRectRgn(area, rc.left, rc.top, rc.right, rc.bottom);
        ::CombineRgn(erase, erase, area, IsOpaque(hCtl) ? RGN_DIFF : RGN_OR);
    }
    ::ExtSelectClipRgn(hdc, erase, RGN_AND);
    ::DeleteObject(area);
    ::DeleteObject(erase);
}

void ResizeLayout::RestoreClip(HDC hdc) {
    if (m_nSavedClipState == 1)
        ::SelectClipRgn(hdc, m_hSavedClip);
    else if (m_nSavedClipState == 0)
        ::SelectClipRgn(hdc, nullptr);
    m_nSavedClipState = -1;
}

// ---- grip ----------------------------------------------------------------------------------

void Gripper::Create(HWND hDialog) {
    if (m_wnd.m_hWnd || ::GetDlgItem(hDialog, kId))
        return;
    RECT rc;
    ::GetClientRect(hDialog, &rc);
    // SBS_SIZEGRIP | SBS_SIZEBOX | SBS_SIZEBOXBOTTOMRIGHTALIGN, not visible.
    if (!m_wnd.CreateEx(
            0, L"SCROLLBAR", L"", WS_CHILD | WS_CLIPSIBLINGS | SBS_SIZEGRIP | SBS_SIZEBOX | SBS_SIZEBOXBOTTOMRIGHTALIGN,
            rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, hDialog, reinterpret_cast<HMENU>((UINT_PTR)kId)))
        return;
    ::EnableWindow(m_wnd.m_hWnd, FALSE);
    m_bCreated = 1;
}

void Gripper::Place() {
    HWND h = m_wnd.m_hWnd;
    HWND parent = h ? ::GetParent(h) : nullptr;
    if (!h || !parent)
        return;
    RECT pc, gc;
    ::GetClientRect(parent, &pc);
    ::GetClientRect(h, &gc);
    UINT flags =
        SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | (::IsWindowVisible(h) ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    ::SetWindowPos(h, HWND_BOTTOM, pc.right - gc.right, pc.bottom - gc.bottom, 0, 0, flags);
}

void Gripper::Show(BOOL bShow) {
    if (m_wnd.m_hWnd)
        ::ShowWindow(m_wnd.m_hWnd, bShow ? SW_SHOW : SW_HIDE);
}

// ---- dialog --------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(ResizeDialog, CDialog)
ON_MESSAGE(WM_CREATE, OnCreateMsg)
ON_MESSAGE(WM_NCCREATE, OnNcCreateMsg)
ON_MESSAGE(WM_SIZE, OnSizeMsg)
ON_MESSAGE(WM_GETMINMAXINFO, OnGetMinMaxInfoMsg)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgndMsg)
KV_END_MESSAGE_MAP()

namespace {
// The dialog whose window is being created on this thread (see DoModal).
thread_local ResizeDialog* t_pCreating = nullptr;
thread_local HHOOK t_hHook = nullptr;
} // namespace

ResizeDialog::ResizeDialog(UINT nIDTemplate, CWnd* pParent) : CDialog(nIDTemplate, pParent) {}

ResizeDialog::~ResizeDialog() = default;

// The dialog manager gives a dialog procedure no WM_NCCREATE or WM_CREATE; this dialog handles
// both, so its object takes the window over as the window is created, from a hook that sees
// the creation before the first message.
LRESULT CALLBACK ResizeDialog::CreationHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && t_pCreating) {
        ResizeDialog* p = t_pCreating;
        t_pCreating = nullptr;
        HWND h = reinterpret_cast<HWND>(wp);
        p->BindHandle(h);
        p->m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)StdWndProc));
    }
    return ::CallNextHookEx(t_hHook, code, wp, lp);
}

INT_PTR ResizeDialog::DoModal() {
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
    HHOOK outer = t_hHook;
    t_hHook = hook;
    t_pCreating = this;
    struct Unhook {
        HHOOK hook, outer;
        ~Unhook() {
            t_pCreating = nullptr;
            if (hook)
                ::UnhookWindowsHookEx(hook);
            t_hHook = outer;
        }
    } unhook{hook, outer};
    // The hook is only needed until the window exists; the modal loop runs after the creation.
    return CDialog::DoModal();
}

LRESULT ResizeDialog::OnNcCreateMsg(WPARAM, LPARAM) {
    LRESULT r = Default();
    if (r)
        m_gripper.Create(m_hWnd);
    return r;
}

LRESULT ResizeDialog::OnCreateMsg(WPARAM, LPARAM) {
    LRESULT r = Default();
    if (r == -1)
        return r;
    const LONG_PTR both = WS_THICKFRAME | WS_CLIPCHILDREN;
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    if ((style & both) != both) {
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~(LONG_PTR)DS_MODALFRAME) | both);
        LONG_PTR ex = ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
        ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ex & ~(LONG_PTR)WS_EX_DLGMODALFRAME);
        // The frame changed: the window computes its non-client area again.
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return r;
}

BOOL ResizeDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    RECT wr, cr;
    ::GetWindowRect(m_hWnd, &wr);
    ::GetClientRect(m_hWnd, &cr);
    m_nMinTrackWidth = wr.right - wr.left;
    m_nMinTrackHeight = wr.bottom - wr.top;
    m_nRefWidth = cr.right - cr.left;
    m_nRefHeight = cr.bottom - cr.top;
    if (m_gripper.GetSafeHwnd()) {
        m_gripper.Place();
        m_gripper.Show(TRUE);
    }
    BuildLayout();
    return TRUE;
}

LRESULT ResizeDialog::OnSizeMsg(WPARAM wp, LPARAM lp) {
    Default();
    if (m_gripper.IsCreated()) {
        if (wp == SIZE_MAXIMIZED)
            m_gripper.Show(FALSE);
        else if (wp == SIZE_RESTORED)
            m_gripper.Show(TRUE);
    }
    // A minimised window has no client area to lay out: the controls stay where they are.
    if (wp != SIZE_MINIMIZED && m_nRefWidth > 0 && m_nRefHeight > 0)
        ApplyLayout((short)LOWORD(lp), (short)HIWORD(lp));
    if (wp != SIZE_MAXSHOW && wp != SIZE_MAXHIDE)
        m_gripper.Place();
    return 0;
}

LRESULT ResizeDialog::OnGetMinMaxInfoMsg(WPARAM wp, LPARAM lp) {
    MINMAXINFO* mmi = reinterpret_cast<MINMAXINFO*>(lp);
    if (mmi && m_nMinTrackWidth != -1 && m_nMinTrackHeight != -1) {
        mmi->ptMinTrackSize.x = m_nMinTrackWidth;
        mmi->ptMinTrackSize.y = m_nMinTrackHeight;
    }
    return Default();
}

LRESULT ResizeDialog::OnEraseBkgndMsg(WPARAM wp, LPARAM) {
    HDC hdc = reinterpret_cast<HDC>(wp);
    ClipForErase(hdc);
    LRESULT r = Default();
    RestoreClip(hdc);
    return r;
}
