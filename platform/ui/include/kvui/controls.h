// Thin wrappers of the common controls. Each binds to a control (DDX_Control, SubclassDlgItem,
// Attach or Create) and sends the control's own messages.
#pragma once

#include "kvui/core.h"
#include "kvui/imagelist.h"
#include "kvui/listctrl.h"
#include "kvui/treectrl.h"

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

// An up-down control with 32-bit range and position, usually bound to an edit (its buddy).
class CSpinButtonCtrl : public CWnd {
public:
    void SetRange32(int lo, int hi) { SendMessage(UDM_SETRANGE32, lo, hi); }
    void GetRange32(int& lo, int& hi) const { SendMessage(UDM_GETRANGE32, (WPARAM)&lo, (LPARAM)&hi); }
    int SetPos32(int n) { return (int)SendMessage(UDM_SETPOS32, 0, n); }
    // The position; bError (when given) tells whether the buddy's text was no valid position.
    int GetPos32(BOOL* bError = nullptr) const { return (int)SendMessage(UDM_GETPOS32, 0, (LPARAM)bError); }
    HWND SetBuddy(HWND h) { return (HWND)SendMessage(UDM_SETBUDDY, (WPARAM)h); }
    HWND GetBuddy() const { return (HWND)SendMessage(UDM_GETBUDDY); }
    int SetBase(int base) { return (int)SendMessage(UDM_SETBASE, base); }
    BOOL SetAccel(int count, const UDACCEL* accel) { return (BOOL)SendMessage(UDM_SETACCEL, count, (LPARAM)accel); }
};

// A push button that shows a bitmap (and another one while the mouse is over it) instead of a
// caption, with a tooltip. Bind it to a template button, then set its images and tooltip.
class CImageButton : public CButton {
public:
    ~CImageButton() override;
    // Bitmaps of the program's resources; the grey of the bitmap's corner turns into the button
    // face. hotBitmapId 0: the same image while the mouse is over the button.
    BOOL SetImage(UINT bitmapId, UINT hotBitmapId = 0);
    BOOL SetImage(HICON icon);
    void SetTooltip(const std::wstring& text);
    const std::wstring& GetTooltip() const { return m_tip; }
    HWND GetTooltipWindow() const { return m_hTip; }
    BOOL IsHot() const { return m_bHot; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void ShowImage(BOOL hot);
    HBITMAP m_hBitmap = nullptr;
    HBITMAP m_hHotBitmap = nullptr;
    HWND m_hTip = nullptr;
    std::wstring m_tip;
    BOOL m_bHot = FALSE;
};

// The wait cursor while an object of this class lives on the calling thread (nested objects
// count). Meanwhile the layer's windows answer WM_SETCURSOR with it, before any cursor of their
// own, wherever the wait covers them. A wait covers the windows that were there when it began:
// the busy ones. A window opened while it is held (the progress window of the work, a dialog that
// asks the person) is the one to use and keeps its own cursor, so its "Отмена" is reached with the
// arrow; a wait begun after it covers it too. Restore() shows the cursor again after a message box
// replaced it.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore();
    // Whether a wait cursor is shown by this thread.
    static BOOL IsWaiting();
    // Whether a wait of this thread covers the window: its top-level window was bound before the
    // wait began (a top-level window of no object of the layer counts as covered).
    static BOOL Covers(HWND h);
    // Call from WM_SETCURSOR of a window that is no window of the layer (the layer's windows do it
    // themselves): TRUE when the wait cursor was set, that is when the thread waits and the wait
    // covers the window (null: any window).
    static BOOL OnSetCursor(HWND over = nullptr);

private:
    HCURSOR m_hPrev = nullptr;
    uint64_t m_nMark = 0; // how many windows the layer had bound when this wait began
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
    // A caption beside a button's image (the bar shows texts to the right of the images).
    BOOL SetButtonText(UINT id, const std::wstring& text);
    std::wstring GetButtonText(UINT id) const;
    // Runs the update handlers of every button against the target.
    void OnUpdateCmdUI(CCmdTarget* pTarget, BOOL bDisableIfNoHandler);
    // Fly-by help: while the mouse is over a button, the status line of the frame around the bar
    // shows the button's prompt; when the mouse leaves the bar, the idle prompt again.
    void SetFlyBy(BOOL on) { m_bFlyBy = on; }
    BOOL IsFlyBy() const { return m_bFlyBy; }

protected:
    BOOL OnHotItemChange(NMHDR* hdr, LRESULT* pResult);
    CImageList m_images;
    BOOL m_bFlyBy = FALSE;
    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
