// Anchor layout of a window's child controls.
#pragma once

#include <windows.h>

// Anchor layout: each listed control keeps the distances of its two corners from two anchor
// points of the window's client area (a corner, the middle of a side or the centre).
class CAnchorLayout {
public:
    static constexpr int kMaxControls = 255;
    struct Entry {
        int id;
        int repaint;
        int anchorTopLeft;
        int anchorBottomRight;
        int dxTopLeft, dyTopLeft;
        int dxBottomRight, dyBottomRight;
    };

    // Starts a layout of the window; a size of 0 takes the window's current size.
    void Init(HWND window, int minWidth, int minHeight);
    // Adds a child control; FALSE when the window has no such child or the layout is full.
    BOOL AddControl(int anchorTopLeft, int anchorBottomRight, int id, int repaint);
    // Moves every control for a client area of cx by cy and paints what they left uncovered.
    void Resize(int cx, int cy);
    // The point an anchor code names in a client area of cx by cy ((0, 0) for an unknown code).
    static POINT AnchorPoint(int code, int cx, int cy);

    int GetCount() const { return m_nCount; }
    int GetMinWidth() const { return m_nMinWidth; }
    int GetMinHeight() const { return m_nMinHeight; }

private:
    Entry m_entries[kMaxControls] = {};
    int m_nCount = 0;
    HWND m_hWnd = nullptr;
    int m_nMinWidth = 0;
    int m_nMinHeight = 0;
};
