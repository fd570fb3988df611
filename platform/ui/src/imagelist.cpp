// Image lists.
#include "kvui/imagelist.h"
#include "kvui/core.h"

namespace KvUi {

CImageList& CImageList::operator=(CImageList&& o) noexcept {
    if (this != &o) {
        DeleteImageList();
        m_hImageList = o.m_hImageList;
        m_bOwned = o.m_bOwned;
        o.m_hImageList = nullptr;
    }
    return *this;
}

BOOL CImageList::Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask) {
    DeleteImageList();
    m_hImageList = ImageList_LoadImageW(GetResourceHandle(), MAKEINTRESOURCEW(nBitmapID), cx, nGrow, crMask,
                                        IMAGE_BITMAP, LR_CREATEDIBSECTION);
    m_bOwned = TRUE;
    return m_hImageList != nullptr;
}

BOOL CImageList::Create(int cx, int cy, UINT flags, int nInitial, int nGrow) {
    DeleteImageList();
    m_hImageList = ImageList_Create(cx, cy, flags, nInitial, nGrow);
    m_bOwned = TRUE;
    return m_hImageList != nullptr;
}

BOOL CImageList::Attach(HIMAGELIST h, BOOL bOwned) {
    if (!h)
        return FALSE;
    DeleteImageList();
    m_hImageList = h;
    m_bOwned = bOwned;
    return TRUE;
}

HIMAGELIST CImageList::Detach() {
    HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    m_bOwned = TRUE;
    return h;
}

void CImageList::DeleteImageList() {
    if (m_hImageList && m_bOwned)
        ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
    m_bOwned = TRUE;
}

int CImageList::AddBitmap(UINT nBitmapID, COLORREF crMask) {
    HBITMAP hbm = (HBITMAP)::LoadImageW(GetResourceHandle(), MAKEINTRESOURCEW(nBitmapID), IMAGE_BITMAP, 0, 0,
                                        LR_CREATEDIBSECTION);
    if (!hbm)
        return -1;
    int i = ImageList_AddMasked(m_hImageList, hbm, crMask);
    ::DeleteObject(hbm);
    return i;
}

CMaskedCanvas::CMaskedCanvas(HWND hWnd, int cx, int cy, COLORREF mask) : m_mask(mask) {
    HDC screen = ::GetDC(hWnd);
    m_hdc = ::CreateCompatibleDC(screen);
    m_hbm = ::CreateCompatibleBitmap(screen, cx, cy);
    ::ReleaseDC(hWnd, screen);
    if (!IsValid())
        return;
    m_old = ::SelectObject(m_hdc, m_hbm);
    RECT all = {0, 0, cx, cy};
    HBRUSH fill = ::CreateSolidBrush(mask);
    ::FillRect(m_hdc, &all, fill);
    ::DeleteObject(fill);
}

CMaskedCanvas::~CMaskedCanvas() {
    if (m_hdc && m_old)
        ::SelectObject(m_hdc, m_old);
    if (m_hdc)
        ::DeleteDC(m_hdc);
    if (m_hbm)
        ::DeleteObject(m_hbm);
}

int CMaskedCanvas::AddTo(CImageList& list) {
    if (!IsValid() || !list.m_hImageList)
        return -1;
    // The bitmap leaves the context before the list copies it.
    ::SelectObject(m_hdc, m_old);
    m_old = nullptr;
    return list.Add(m_hbm, m_mask);
}

} // namespace KvUi
