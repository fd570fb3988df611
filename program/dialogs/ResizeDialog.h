// The base of the program's resizable modal dialogs: a size grip, a minimum size of the
// template's size, and controls that move and stretch with the window by a layout table that
// each dialog gives in DefineLayout.
#pragma once

#include <kvui/kvui.h>

#include <vector>

// One laid-out control: its id, its anchor bits and its rectangle when the layout was built
// (client coordinates). As a definition only the id and the anchor count.
struct ResizeLayoutEntry {
    int nID;
    DWORD nAnchor;
    RECT rc;
};

class ResizeLayout {
public:
    // Anchor bits.
    static const DWORD StretchRight = 0x01;  // the right edge follows the window's right edge
    static const DWORD StretchBottom = 0x02; // the bottom edge follows the window's bottom edge
    static const DWORD MoveRight = 0x04;     // moves with the right edge, keeps its width
    static const DWORD MoveBottom = 0x08;    // moves with the bottom edge, keeps its height
    static const DWORD RepaintAll = 0x10;    // invalidated whole on every pass
    static const DWORD GroupHead = 0x1000;   // set by the layout: first entry of a group
    // Markers (id -1): a proportional group opens and closes.
    static const DWORD GroupBegin = 4096;
    static const DWORD GroupEnd = 8192;

    ResizeLayout() = default;
    virtual ~ResizeLayout();
    ResizeLayout(const ResizeLayout&) = delete;
    ResizeLayout& operator=(const ResizeLayout&) = delete;

    // The window whose children are laid out.
    virtual HWND GetLayoutWindow() = 0;
    // Appends the dialog's definitions.
    virtual void DefineLayout(std::vector<ResizeLayoutEntry>& defs) {}

    const std::vector<ResizeLayoutEntry>& GetEntries() const { return m_entries; }
    SIZE GetMinTrackSize() const { return {m_nMinTrackWidth, m_nMinTrackHeight}; }
    SIZE GetReferenceSize() const { return {m_nRefWidth, m_nRefHeight}; }

protected:
    // Builds the entries from the definitions and the controls as they are now.
    void BuildLayout();
    // Places every entry for a client area of cx by cy.
    void ApplyLayout(int cx, int cy);
    // Clips an erase of the window's background to what no opaque control covers; RestoreClip
    // undoes it after the erase.
    void ClipForErase(HDC hdc);
    void RestoreClip(HDC hdc);

    int m_nMinTrackWidth = -1;
    int m_nMinTrackHeight = -1;
    int m_nRefWidth = 0;
    int m_nRefHeight = 0;
    std::vector<ResizeLayoutEntry> m_entries;
    HRGN m_hSavedClip = nullptr;
    int m_nSavedClipState = -1;

private:
    void Reposition(const ResizeLayoutEntry& e, int cx, int cy, const RECT* group, int neighbour);
};

// The size grip in the dialog's bottom-right corner.
class Gripper {
public:
    static const UINT kId = 32258;
    // Creates the grip window (hidden, refusing input) unless the dialog has one already.
    void Create(HWND hDialog);
    // Puts the grip into the corner under every other control, keeping its visibility.
    void Place();
    void Show(BOOL bShow);
    BOOL IsCreated() const { return m_bCreated; }
    HWND GetSafeHwnd() const { return m_wnd.m_hWnd; }

private:
    int m_bCreated = 0;
    KvUi::CWnd m_wnd;
};

class ResizeDialog : public KvUi::CDialog, public ResizeLayout {
public:
    ResizeDialog(UINT nIDTemplate, KvUi::CWnd* pParent = nullptr);
    ~ResizeDialog() override;

    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    void DoDataExchange(KvUi::CDataExchange* pDX) override {}
    HWND GetLayoutWindow() override { return m_hWnd; }
    Gripper& GetGripper() { return m_gripper; }

protected:
    LRESULT OnCreateMsg(WPARAM wp, LPARAM lp);
    LRESULT OnNcCreateMsg(WPARAM wp, LPARAM lp);
    LRESULT OnSizeMsg(WPARAM wp, LPARAM lp);
    LRESULT OnGetMinMaxInfoMsg(WPARAM wp, LPARAM lp);
    LRESULT OnEraseBkgndMsg(WPARAM wp, LPARAM lp);

    Gripper m_gripper;

private:
    static LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp);
    KV_DECLARE_MESSAGE_MAP()
};
