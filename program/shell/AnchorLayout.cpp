// The anchor layout: places the listed controls for a new client size.
#include "AnchorLayout.h"

void CAnchorLayout::Init(HWND window, int minWidth, int minHeight) {
    m_hWnd = window;
    m_nCount = 0;
    if (minWidth == 0 || minHeight == 0) {
        RECT rc = {};
        ::GetWindowRect(window, &rc);
        m_nMinWidth = rc.right - rc.left;
        m_nMinHeight = rc.bottom - rc.top;
    }
    if (minWidth)
        m_nMinWidth = minWidth;
    if (minHeight)
        m_nMinHeight = minHeight;
}

POINT CAnchorLayout::AnchorPoint(int code, int cx, int cy) {
    switch (code) {
    case 0:
        return {0, 0};
    case 1:
        return {cx / 2, 0};
    case 2:
        return {cx, 0};
    case 3:
        return {cx, cy / 2};
    case 4:
        return {cx, cy};
    case 5:
        return {cx / 2, cy};
    case 6:
        return {0, cy};
    case 7:
        return {0, cy / 2};
    case 8:
        return {cx / 2, cy / 2};
    default:
        return {0, 0};
    }
}

BOOL CAnchorLayout::AddControl(int anchorTopLeft, int anchorBottomRight, int id, int repaint) {
    try {
        HWND control = ::GetDlgItem(m_hWnd, id);
        if (!control || m_nCount >= kMaxControls)
            return FALSE;
        RECT rc = {}, client = {};
        ::GetWindowRect(control, &rc);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        ::GetClientRect(m_hWnd, &client);
        POINT a = AnchorPoint(anchorTopLeft, client.right, client.bottom);
        POINT b = AnchorPoint(anchorBottomRight, client.right, client.bottom);
        Entry& e = m_entries[m_nCount++];
        e.id = id;
        e.repaint = repaint;
        e.anchorTopLeft = anchorTopLeft;
        e.anchorBottomRight = anchorBottomRight;
        e.dxTopLeft = a.x - rc.left;
        e.dyTopLeft = a.y - rc.top;
        e.dxBottomRight = b.x - rc.right;
        e.dyBottomRight = b.y - rc.bottom;
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

void CAnchorLayout::Resize(int cx, int cy) {
    if (!m_hWnd)
        return;
    HRGN uncovered = ::CreateRectRgn(0, 0, 0, 0);
    for (int i = 0; i < m_nCount; ++i) {
        HWND control = ::GetDlgItem(m_hWnd, m_entries[i].id);
        if (!control)
            continue;
        RECT rc;
        ::GetWindowRect(control, &rc);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        HRGN r = ::CreateRectRgnIndirect(&rc);
        ::CombineRgn(uncovered, uncovered, r, RGN_OR);
        ::DeleteObject(r);
    }
    for (int i = 0; i < m_nCount; ++i) {
        const Entry& e = m_entries[i];
        HWND control = ::GetDlgItem(m_hWnd, e.id);
        if (!control)
            continue;
        POINT a = AnchorPoint(e.anchorTopLeft, cx, cy);
        POINT b = AnchorPoint(e.anchorBottomRight, cx, cy);
        RECT rc = {a.x - e.dxTopLeft, a.y - e.dyTopLeft, b.x - e.dxBottomRight, b.y - e.dyBottomRight};
        ::MoveWindow(control, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
        if (e.repaint) {
            ::InvalidateRect(control, nullptr, FALSE);
        } else {
            HRGN r = ::CreateRectRgnIndirect(&rc);
            ::CombineRgn(uncovered, uncovered, r, RGN_DIFF);
            ::DeleteObject(r);
            ::InvalidateRect(control, nullptr, TRUE);
            ::SendMessageW(control, WM_NCPAINT, 1, 0);
            ::UpdateWindow(control);
        }
    }
    HDC dc = ::GetDC(m_hWnd);
    if (dc) {
        HBRUSH brush = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
        ::FillRgn(dc, uncovered, brush);
        ::DeleteObject(brush);
        ::ReleaseDC(m_hWnd, dc);
    }
    ::DeleteObject(uncovered);
}
