// The tree control: items with texts of any length, images, state images (check boxes and
// others), item data, hit testing, drop highlight and drag image, label editing, sorting with
// a callback, and redraw switched off during long changes.
#pragma once

#include "kvui/core.h"
#include "kvui/imagelist.h"

#include <functional>
#include <string>

namespace KvUi {

class CTreeCtrl : public CWnd {
public:
    using CWnd::Create;
    BOOL Create(DWORD style, const RECT& rc, CWnd* parent, UINT nID);

    // Items.
    HTREEITEM InsertItem(const std::wstring& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(const std::wstring& text, int image, int selImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST, LPARAM data = 0);
    HTREEITEM InsertItem(const TVINSERTSTRUCTW& is) { return (HTREEITEM)SendMessage(TVM_INSERTITEMW, 0, (LPARAM)&is); }
    BOOL DeleteItem(HTREEITEM h) { return TreeView_DeleteItem(m_hWnd, h); }
    BOOL DeleteAllItems() { return TreeView_DeleteAllItems(m_hWnd); }
    UINT GetCount() const { return TreeView_GetCount(m_hWnd); }
    BOOL GetItem(TVITEMW& it) const { return (BOOL)SendMessage(TVM_GETITEMW, 0, (LPARAM)&it); }
    BOOL SetItem(TVITEMW& it) { return (BOOL)SendMessage(TVM_SETITEMW, 0, (LPARAM)&it); }

    // The whole text, however long.
    std::wstring GetItemText(HTREEITEM h) const;
    BOOL SetItemText(HTREEITEM h, const std::wstring& text);
    LPARAM GetItemData(HTREEITEM h) const;
    BOOL SetItemData(HTREEITEM h, LPARAM data);
    BOOL SetItemImage(HTREEITEM h, int image, int selImage);
    BOOL GetItemImage(HTREEITEM h, int& image, int& selImage) const;
    UINT GetItemState(HTREEITEM h, UINT mask) const { return TreeView_GetItemState(m_hWnd, h, mask); }
    BOOL SetItemState(HTREEITEM h, UINT state, UINT mask);
    // The state image index (bits 12-15 of the state): 0 none, 1 unchecked, 2 checked, ...
    int GetStateImage(HTREEITEM h) const { return (int)(GetItemState(h, TVIS_STATEIMAGEMASK) >> 12); }
    BOOL SetStateImage(HTREEITEM h, int image) {
        return SetItemState(h, INDEXTOSTATEIMAGEMASK(image), TVIS_STATEIMAGEMASK);
    }
    // Check boxes: checked is state image 2, unchecked 1. An item without a state image is not checked.
    BOOL GetCheck(HTREEITEM h) const { return GetStateImage(h) == 2; }
    BOOL SetCheck(HTREEITEM h, BOOL bCheck = TRUE) { return SetStateImage(h, bCheck ? 2 : 1); }
    BOOL ItemHasChildren(HTREEITEM h) const;

    // Navigation.
    HTREEITEM GetNextItem(HTREEITEM h, UINT code) const { return TreeView_GetNextItem(m_hWnd, h, code); }
    HTREEITEM GetRootItem() const { return TreeView_GetRoot(m_hWnd); }
    HTREEITEM GetChildItem(HTREEITEM h) const { return TreeView_GetChild(m_hWnd, h); }
    HTREEITEM GetNextSiblingItem(HTREEITEM h) const { return TreeView_GetNextSibling(m_hWnd, h); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM h) const { return TreeView_GetPrevSibling(m_hWnd, h); }
    HTREEITEM GetParentItem(HTREEITEM h) const { return TreeView_GetParent(m_hWnd, h); }
    HTREEITEM GetFirstVisibleItem() const { return TreeView_GetFirstVisible(m_hWnd); }
    HTREEITEM GetNextVisibleItem(HTREEITEM h) const { return TreeView_GetNextVisible(m_hWnd, h); }
    HTREEITEM GetSelectedItem() const { return TreeView_GetSelection(m_hWnd); }
    HTREEITEM GetDropHilightItem() const { return TreeView_GetDropHilight(m_hWnd); }
    BOOL SelectItem(HTREEITEM h) { return TreeView_SelectItem(m_hWnd, h); }
    BOOL Select(HTREEITEM h, UINT code) { return TreeView_Select(m_hWnd, h, code); }
    // Shows an item as the target of a drop (null clears it).
    BOOL SelectDropTarget(HTREEITEM h);
    BOOL Expand(HTREEITEM h, UINT code) { return TreeView_Expand(m_hWnd, h, code); }
    BOOL EnsureVisible(HTREEITEM h) { return TreeView_EnsureVisible(m_hWnd, h); }
    UINT GetVisibleCount() const { return TreeView_GetVisibleCount(m_hWnd); }

    // Geometry.
    HTREEITEM HitTest(POINT pt, UINT* pFlags = nullptr) const;
    BOOL GetItemRect(HTREEITEM h, RECT* rc, BOOL bTextOnly) const;

    // Images.
    HIMAGELIST SetImageList(HIMAGELIST h, int type = TVSIL_NORMAL) {
        return (HIMAGELIST)SendMessage(TVM_SETIMAGELIST, type, (LPARAM)h);
    }
    HIMAGELIST GetImageList(int type = TVSIL_NORMAL) const { return (HIMAGELIST)SendMessage(TVM_GETIMAGELIST, type); }
    // The drag image of an item, owned by the given list object.
    BOOL CreateDragImage(HTREEITEM h, CImageList& image);

    // Label editing: starts the editor (its window, null when refused), the editor while it is
    // open, and the end of editing now (committed, or cancelled).
    // The editor's length limit is the control's own (260 characters on some versions).
    HWND EditLabel(HTREEITEM h);
    HWND GetEditControl() const { return (HWND)SendMessage(TVM_GETEDITCONTROL); }
    BOOL EndEditLabelNow(BOOL bCancel);

    // Sorting of an item's children: by text, or by a callback that compares item data.
    BOOL SortChildren(HTREEITEM h, BOOL bRecurse = FALSE) { return TreeView_SortChildren(m_hWnd, h, bRecurse); }
    BOOL SortChildrenCB(HTREEITEM h, PFNTVCOMPARE pfn, LPARAM lParamSort);
    BOOL SortChildren(HTREEITEM h, const std::function<int(LPARAM, LPARAM)>& compare);

    // Redraw off while many items change, on (and repainted) afterwards.
    void SetRedraw(BOOL bRedraw = TRUE);

private:
    HTREEITEM m_hEditItem = nullptr; // the item EditLabel started editing
};

} // namespace KvUi
