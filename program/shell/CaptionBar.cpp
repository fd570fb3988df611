#include "CaptionBar.h"

#include <shlwapi.h>

#include <algorithm>

HICON LoadBitmapIcon(UINT bitmapId, int index) {
    KvUi::CImageList images;
    if (!images.Create(bitmapId, 16, 0, RGB(255, 0, 255)) || index >= images.GetImageCount())
        return nullptr;
    return images.ExtractIcon(index);
}

CIChCaptionBar::~CIChCaptionBar() {
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
    if (m_hBackground)
        ::DeleteObject(m_hBackground);
}

HFONT CIChCaptionBar::CaptionFont() {
    // Created once and kept until the program ends.
    static HFONT font = [] {
        HDC dc = ::GetDC(nullptr);
        int height = -::MulDiv(10, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
        ::ReleaseDC(nullptr, dc);
        return ::CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Verdana");
    }();
    return font;
}

BOOL CIChCaptionBar::CreateBar(KvUi::CWnd* parent, UINT nID, int height) {
    m_nHeight = height;
    if (!CreateEx(0, nullptr, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, height, parent->m_hWnd,
                  reinterpret_cast<HMENU>((UINT_PTR)nID)))
        return FALSE;
    SetFont(CaptionFont(), FALSE);
    return TRUE;
}

void CIChCaptionBar::SetCaption(const std::wstring& text, HICON icon) {
    m_strText = text;
    if (m_hIcon && m_hIcon != icon)
        ::DestroyIcon(m_hIcon);
    m_hIcon = icon;
    if (m_hWnd)
        Invalidate(FALSE);
}

void CIChCaptionBar::ResetBackground() {
    if (m_hBackground) {
        ::DeleteObject(m_hBackground);
        m_hBackground = nullptr;
    }
    if (m_hWnd) {
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CIChCaptionBar::DrawBackground(HDC dc, const RECT& rc) {
    WORD h, l, s;
    ::ColorRGBToHLS(::GetSysColor(COLOR_ACTIVECAPTION), &h, &l, &s);
    // The HLS scale of the system runs to 240.
    double sat = std::min(s / 240.0, 0.25);
    double lum = std::max(0.5, std::min(l / 240.0, 0.67));
    auto color = [&](double lf, double sf) {
        return ::ColorHLSToRGB(h, (WORD)std::min(240.0, lum * lf * 240.0), (WORD)std::min(240.0, sat * sf * 240.0));
    };
    COLORREF from = color(0.67, 1.33), to = color(1.33, 0.67);
    int width = std::max<LONG>(1, rc.right - rc.left);
    for (int x = 0; x < width; ++x) {
        double t = width > 1 ? double(x) / (width - 1) : 0;
        COLORREF c = RGB(GetRValue(from) + (GetRValue(to) - GetRValue(from)) * t,
                         GetGValue(from) + (GetGValue(to) - GetGValue(from)) * t,
                         GetBValue(from) + (GetBValue(to) - GetBValue(from)) * t);
        RECT col = {rc.left + x, rc.top, rc.left + x + 1, rc.bottom};
        HBRUSH b = ::CreateSolidBrush(c);
        ::FillRect(dc, &col, b);
        ::DeleteObject(b);
    }
    if (!m_strBackgroundText.empty()) {
        LOGFONTW lf = {};
        HFONT own = GetFont();
        if (!own || !::GetObjectW(own, sizeof(lf), &lf))
            wcscpy(lf.lfFaceName, L"Arial");
        lf.lfWeight = 100;
        lf.lfCharSet = RUSSIAN_CHARSET;
        lf.lfHeight = (rc.bottom - rc.top) * 95 / 100;
        lf.lfWidth = 0;
        HFONT font = ::CreateFontIndirectW(&lf);
        HGDIOBJ old = ::SelectObject(dc, font);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, color(1.25, 0.67));
        RECT r = rc;
        ::DrawTextW(dc, m_strBackgroundText.c_str(), -1, &r, DT_SINGLELINE | DT_RIGHT | DT_VCENTER);
        ::SelectObject(dc, old);
        ::DeleteObject(font);
    }
}

void CIChCaptionBar::Paint(HDC dc) {
    RECT rc;
    GetClientRect(&rc);
    HDC mem = ::CreateCompatibleDC(dc);
    if (!m_hBackground) {
        m_hBackground = ::CreateCompatibleBitmap(dc, std::max<LONG>(1, rc.right), std::max<LONG>(1, rc.bottom));
        HGDIOBJ old = ::SelectObject(mem, m_hBackground);
        DrawBackground(mem, rc);
        ::SelectObject(mem, old);
    }
    HGDIOBJ old = ::SelectObject(mem, m_hBackground);
    ::BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    int x = 6;
    if (m_hIcon) {
        ::DrawIconEx(dc, x, (rc.bottom - 16) / 2, m_hIcon, 16, 16, 0, nullptr, DI_NORMAL);
        x += 20;
    }
    HGDIOBJ oldFont = ::SelectObject(dc, CaptionFont());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_CAPTIONTEXT));
    RECT text = rc;
    text.left = x;
    ::DrawTextW(dc, m_strText.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    ::SelectObject(dc, oldFont);
    // A flat border.
    ::FrameRect(dc, &rc, ::GetSysColorBrush(COLOR_BTNSHADOW));
}

LRESULT CIChCaptionBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        Paint(dc);
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    case WM_SIZE:
        if (m_hBackground) {
            ::DeleteObject(m_hBackground);
            m_hBackground = nullptr;
        }
        Invalidate(FALSE);
        return 0;
    case WM_DESTROY:
        if (m_hIcon) {
            ::DestroyIcon(m_hIcon);
            m_hIcon = nullptr;
        }
        break;
    }
    return KvUi::CWnd::WindowProc(msg, wp, lp);
}
