// The caption bar above the views: the current category's icon and title on a gradient made from
// the system's caption colour, with an optional background text drawn into it.
#pragma once

#include <kvui/kvui.h>

#include <string>

class CIChCaptionBar : public KvUi::CWnd {
public:
    ~CIChCaptionBar() override;
    BOOL CreateBar(KvUi::CWnd* parent, UINT nID, int height);
    // Text and icon (the bar owns the icon; the previous one is destroyed).
    void SetCaption(const std::wstring& text, HICON icon);
    const std::wstring& GetCaptionText() const { return m_strText; }
    // Drops the cached background and repaints at once.
    void ResetBackground();
    int GetHeight() const { return m_nHeight; }

    std::wstring m_strBackgroundText; // drawn into the background; empty in this program

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void DrawBackground(HDC dc, const RECT& rc);
    void Paint(HDC dc);
    static HFONT CaptionFont();
    std::wstring m_strText;
    HICON m_hIcon = nullptr;
    HBITMAP m_hBackground = nullptr;
    int m_nHeight = 26;
};

// An icon cut from a bitmap of 16x16 images with magenta transparent (the caller owns it).
HICON LoadBitmapIcon(UINT bitmapId, int index);
