// Thin wrappers of the common controls. Each binds to a control (DDX_Control, SubclassDlgItem,
// Attach or Create) and sends the control's own messages.
#pragma once

#include "kvui/core.h"

#include <string>

namespace KvUi {

class CStatic : public CWnd {
public:
    HICON SetIcon(HICON h) { return (HICON)SendMessage(STM_SETICON, (WPARAM)h); }
    HICON GetIcon() const { return (HICON)SendMessage(STM_GETICON); }
};

class CButton : public CWnd {
public:
    int GetCheck() const { return (int)SendMessage(BM_GETCHECK); }
    void SetCheck(int n) { SendMessage(BM_SETCHECK, n); }
};

class CEdit : public CWnd {
public:
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, start, end); }
    void SetLimitText(UINT n) { SendMessage(EM_LIMITTEXT, n); }
    void SetReadOnly(BOOL b = TRUE) { SendMessage(EM_SETREADONLY, b); }
};

class CListBox : public CWnd {
public:
    int GetCount() const { return (int)SendMessage(LB_GETCOUNT); }
    int AddString(const std::wstring& s) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)s.c_str()); }
    std::wstring GetText(int i) const;
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCurSel() const { return (int)SendMessage(LB_GETCURSEL); }
    int SetCurSel(int i) { return (int)SendMessage(LB_SETCURSEL, i); }
    void SetHorizontalExtent(int cx) { SendMessage(LB_SETHORIZONTALEXTENT, cx); }
    int GetHorizontalExtent() const { return (int)SendMessage(LB_GETHORIZONTALEXTENT); }
};

class CComboBox : public CWnd {
public:
    int AddString(const std::wstring& s) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)s.c_str()); }
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    int SetCurSel(int i) { return (int)SendMessage(CB_SETCURSEL, i); }
    void SetItemData(int i, DWORD_PTR d) { SendMessage(CB_SETITEMDATA, i, (LPARAM)d); }
    DWORD_PTR GetItemData(int i) const { return (DWORD_PTR)SendMessage(CB_GETITEMDATA, i); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    BOOL ShowDropDown(BOOL b = TRUE) { return (BOOL)SendMessage(CB_SHOWDROPDOWN, b); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lo, int hi) { SendMessage(PBM_SETRANGE32, lo, hi); }
    int SetPos(int n) { return (int)SendMessage(PBM_SETPOS, n); }
};

class CAnimateCtrl : public CWnd {
public:
    // Opens an AVI resource of the program's resources (type "AVI").
    BOOL Open(UINT nID);
    BOOL Play(UINT from, UINT to, UINT repeat) { return (BOOL)SendMessage(ACM_PLAY, repeat, MAKELONG(from, to)); }
    BOOL Stop() { return (BOOL)SendMessage(ACM_STOP); }
    BOOL IsPlaying() const { return (BOOL)SendMessage(ACM_ISPLAYING); }
};

// An owned image list.
class CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    HIMAGELIST m_hImageList = nullptr;
    // From a bitmap resource cut into cx-wide images, with the mask colour transparent.
    BOOL Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask);
    BOOL Create(int cx, int cy, UINT flags, int nInitial, int nGrow);
    int GetImageCount() const { return m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0; }
    HICON ExtractIcon(int i) const { return ImageList_GetIcon(m_hImageList, i, ILD_NORMAL); }
    void DeleteImageList();
    operator HIMAGELIST() const { return m_hImageList; }
};

class CTreeCtrl : public CWnd {
public:
    HTREEITEM InsertItem(const std::wstring& text, int image, int selImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST, LPARAM data = 0);
    HIMAGELIST SetImageList(HIMAGELIST h, int type = TVSIL_NORMAL) { return (HIMAGELIST)SendMessage(TVM_SETIMAGELIST, type, (LPARAM)h); }
    LPARAM GetItemData(HTREEITEM h) const;
    BOOL SetItemData(HTREEITEM h, LPARAM data);
    std::wstring GetItemText(HTREEITEM h) const;
    BOOL SetItemImage(HTREEITEM h, int image, int selImage);
    BOOL GetItemImage(HTREEITEM h, int& image, int& selImage) const;
    HTREEITEM GetRootItem() const { return TreeView_GetRoot(m_hWnd); }
    HTREEITEM GetChildItem(HTREEITEM h) const { return TreeView_GetChild(m_hWnd, h); }
    HTREEITEM GetNextSiblingItem(HTREEITEM h) const { return TreeView_GetNextSibling(m_hWnd, h); }
    HTREEITEM GetParentItem(HTREEITEM h) const { return TreeView_GetParent(m_hWnd, h); }
    HTREEITEM GetSelectedItem() const { return TreeView_GetSelection(m_hWnd); }
    BOOL SelectItem(HTREEITEM h) { return TreeView_SelectItem(m_hWnd, h); }
    BOOL Expand(HTREEITEM h, UINT code) { return TreeView_Expand(m_hWnd, h, code); }
    BOOL DeleteAllItems() { return TreeView_DeleteAllItems(m_hWnd); }
    UINT GetCount() const { return TreeView_GetCount(m_hWnd); }
};

class CListCtrl : public CWnd {
public:
    int InsertColumn(int i, const std::wstring& heading, int fmt = LVCFMT_LEFT, int width = -1);
    int InsertItem(int i, const std::wstring& text, LPARAM data = 0);
    BOOL SetItemText(int i, int sub, const std::wstring& text);
    std::wstring GetItemText(int i, int sub) const;
    LPARAM GetItemData(int i) const;
    int GetItemCount() const { return ListView_GetItemCount(m_hWnd); }
    BOOL DeleteAllItems() { return ListView_DeleteAllItems(m_hWnd); }
    DWORD SetExtendedStyle(DWORD ex) { return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, ex); }
    DWORD GetExtendedStyle() const { return (DWORD)SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE); }
    int GetNextItem(int start, UINT flags) const { return ListView_GetNextItem(m_hWnd, start, flags); }
    BOOL SetItemState(int i, UINT state, UINT mask);
    BOOL GetSubItemRect(int i, int sub, int code, RECT& rc) const;
    BOOL SetColumnWidth(int col, int cx) { return ListView_SetColumnWidth(m_hWnd, col, cx); }
};

class CStatusBar : public CWnd {
public:
    // Creates the status line at the bottom of the parent, with a size grip.
    BOOL Create(CWnd* parent, UINT nID);
    // Pane widths in pixels; -1 for the last pane stretches it to the right edge. The first
    // pane of width 0 stretches over what the others leave.
    BOOL SetPanes(const int* widths, int count);
    BOOL SetPaneText(int i, const std::wstring& text);
    std::wstring GetPaneText(int i) const;
    int GetPaneCount() const { return m_nPanes; }
    void RecalcPanes();
private:
    int m_nPanes = 0;
    int m_widths[16] = {};
};

// A flat toolbar with tooltips; buttons from an id list (0 is a separator) and a bitmap strip.
// Its buttons are enabled and checked from the update handlers of the frame when idle.
class CToolBar : public CWnd {
public:
    BOOL Create(CWnd* parent, UINT nID);
    BOOL SetButtons(const UINT* ids, int count, UINT nBitmapID, int cx, int cy, COLORREF crMask);
    int GetButtonCount() const { return (int)SendMessage(TB_BUTTONCOUNT); }
    UINT GetItemID(int i) const;
    BOOL IsButtonEnabled(UINT id) const { return (BOOL)SendMessage(TB_ISBUTTONENABLED, id); }
    BOOL IsButtonChecked(UINT id) const { return (BOOL)SendMessage(TB_ISBUTTONCHECKED, id); }
    // Runs the update handlers of every button against the target.
    void OnUpdateCmdUI(CCmdTarget* pTarget, BOOL bDisableIfNoHandler);
protected:
    CImageList m_images;
};

} // namespace KvUi
