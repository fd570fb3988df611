// The check-box tree of the hardware and disk-sector pickers: check boxes with a third, partial
// state; checking or clearing an item carries the state to its descendants, and every ancestor
// shows the summary of its children. Locked items (images 3 and 4) never change by a click,
// Space or the carrying.
#pragma once

#include <kvui/kvui.h>

// Themed drawing through the visual style library when it is there.
class CThemeEx {
public:
    CThemeEx();
    ~CThemeEx();
    CThemeEx(const CThemeEx&) = delete;
    CThemeEx& operator=(const CThemeEx&) = delete;
    // Opens (and keeps) the theme of a window for a class list; null when there is none.
    HANDLE OpenThemeData(HWND hWnd, const wchar_t* classList);
    // E_FAIL without the library, 1 when no theme is open, else the library's result.
    HRESULT CloseThemeData();
    HRESULT DrawThemeBackground(HDC hdc, int part, int state, const RECT* rc, const RECT* clip);
    // The load state of the library: -1 not tried, 0 missing, 1 loaded.
    static int GetLoadState();

private:
    HANDLE m_hTheme = nullptr;
};

class CTreeCtrlEx : public KvUi::CTreeCtrl {
public:
    // State images (the item state's bits 12-15).
    enum : UINT {
        StateNone = 0x0000,
        StateUnchecked = 0x1000,
        StateChecked = 0x2000,
        StateLockedUnchecked = 0x3000,
        StateLockedChecked = 0x4000,
        StatePartial = 0x5000,
    };

    CTreeCtrlEx() = default;
    ~CTreeCtrlEx() override;

    BOOL IsPartial(HTREEITEM h) const;
    BOOL IsLocked(HTREEITEM h) const;
    BOOL IsCheckedOrPartial(HTREEITEM h) const;
    // Checked: the checked or the locked checked image (no state image is not checked).
    BOOL GetCheck(HTREEITEM h) const;
    // The state value (0x0000 to 0x5000) of an item.
    UINT GetCheckState(HTREEITEM h) const;

    // The toggle of a click or Space.
    void ToggleCheck(HTREEITEM h);
    // Gives the item and its subtree the state and updates the ancestors; returns 1.
    int SetCheckState(HTREEITEM h, UINT newState, UINT oldState);
    // Gives the item the summary of its children.
    void UpdateFromChildren(HTREEITEM h);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    // The reflected click: toggles on the state image, selects on the label.
    void OnClick(NMHDR* hdr, LRESULT* pResult);
    // What a click does where the hit test found it: the notification's result (1 when the
    // control's own check-box handling is to be left out).
    LRESULT ClickHit(HTREEITEM h, UINT flags);
    HIMAGELIST GetStateImages() const { return m_stateImages.m_hImageList; }

protected:
    LRESULT OnCreateMsg(WPARAM wp, LPARAM lp);
    LRESULT OnPaintMsg(WPARAM wp, LPARAM lp);
    HTREEITEM Resolve(HTREEITEM h) const;
    void SetDown(HTREEITEM h, UINT newState);
    UINT Summary(HTREEITEM h, bool* hasChildren) const;
    void SetImage(HTREEITEM h, UINT state) { SetItemState(h, state, TVIS_STATEIMAGEMASK); }
    void BuildStateImages();
    BOOL HasCheckBoxes() const { return (::GetWindowLongW(m_hWnd, GWL_STYLE) & TVS_CHECKBOXES) != 0; }

    KvUi::CImageList m_stateImages;
    KV_DECLARE_MESSAGE_MAP()
};
