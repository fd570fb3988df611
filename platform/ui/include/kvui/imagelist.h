// An image list owned by its object (or attached to one it does not own), with the drag
// operations of the system's image lists.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace KvUi {

class CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    CImageList(CImageList&& o) noexcept : m_hImageList(o.m_hImageList), m_bOwned(o.m_bOwned) {
        o.m_hImageList = nullptr;
    }
    CImageList& operator=(CImageList&& o) noexcept;

    HIMAGELIST m_hImageList = nullptr;

    // From a bitmap resource cut into cx-wide images, with the mask colour transparent.
    BOOL Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask);
    BOOL Create(int cx, int cy, UINT flags, int nInitial, int nGrow);
    // Takes an existing list: owned (destroyed with this object) or only borrowed.
    BOOL Attach(HIMAGELIST h, BOOL bOwned = TRUE);
    // Gives the list up without destroying it.
    HIMAGELIST Detach();
    void DeleteImageList();
    BOOL IsOwned() const { return m_bOwned; }

    // Adds images cut from a bitmap (as wide as a whole number of images); with a mask bitmap,
    // or with the mask colour. The result is the index of the first new image, -1 on failure.
    int Add(HBITMAP hbm, HBITMAP hbmMask) { return ImageList_Add(m_hImageList, hbm, hbmMask); }
    int Add(HBITMAP hbm, COLORREF crMask) { return ImageList_AddMasked(m_hImageList, hbm, crMask); }
    int Add(HICON hIcon) { return ImageList_ReplaceIcon(m_hImageList, -1, hIcon); }
    // Adds the images of a bitmap resource with the mask colour.
    int AddBitmap(UINT nBitmapID, COLORREF crMask);
    BOOL Replace(int i, HBITMAP hbm, HBITMAP hbmMask) { return ImageList_Replace(m_hImageList, i, hbm, hbmMask); }
    BOOL Remove(int i) { return ImageList_Remove(m_hImageList, i); }
    int GetImageCount() const { return m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0; }
    BOOL SetImageCount(UINT n) { return ImageList_SetImageCount(m_hImageList, n); }
    BOOL GetIconSize(int& cx, int& cy) const { return ImageList_GetIconSize(m_hImageList, &cx, &cy); }
    HICON ExtractIcon(int i) const { return ImageList_GetIcon(m_hImageList, i, ILD_NORMAL); }
    BOOL Draw(HDC hdc, int i, POINT pt, UINT style) const {
        return ImageList_Draw(m_hImageList, i, hdc, pt.x, pt.y, style);
    }
    COLORREF SetBkColor(COLORREF c) { return ImageList_SetBkColor(m_hImageList, c); }

    // Dragging: the image of this list follows the cursor over a window while the user drags.
    BOOL BeginDrag(int i, POINT hotSpot) { return ImageList_BeginDrag(m_hImageList, i, hotSpot.x, hotSpot.y); }
    static BOOL DragEnter(HWND hLock, POINT pt) { return ImageList_DragEnter(hLock, pt.x, pt.y); }
    static BOOL DragMove(POINT pt) { return ImageList_DragMove(pt.x, pt.y); }
    static BOOL DragLeave(HWND hLock) { return ImageList_DragLeave(hLock); }
    static BOOL DragShowNolock(BOOL bShow) { return ImageList_DragShowNolock(bShow); }
    static void EndDrag() { ImageList_EndDrag(); }

    operator HIMAGELIST() const { return m_hImageList; }

private:
    BOOL m_bOwned = TRUE;
};

// A bitmap to draw images on, filled with a mask colour that stays transparent when the
// bitmap joins an image list.
class CMaskedCanvas {
public:
    // Compatible with the window's client area.
    CMaskedCanvas(HWND hWnd, int cx, int cy, COLORREF mask);
    ~CMaskedCanvas();
    CMaskedCanvas(const CMaskedCanvas&) = delete;
    CMaskedCanvas& operator=(const CMaskedCanvas&) = delete;
    bool IsValid() const { return m_hdc && m_hbm; }
    HDC GetDC() const { return m_hdc; }
    // Adds the drawing to a list as images of the list's width; -1 on failure.
    int AddTo(CImageList& list);

private:
    HDC m_hdc = nullptr;
    HBITMAP m_hbm = nullptr;
    HGDIOBJ m_old = nullptr;
    COLORREF m_mask;
};

} // namespace KvUi
