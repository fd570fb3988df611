// The frame window: menu, accelerators and title from one resource id, a toolbar and status line
// laid out around the view pane (the child with id AFX_IDW_PANE_FIRST), menu items and toolbar
// buttons updated from the update handlers, tooltips and status prompts from the string table.
#pragma once

#include "kvui/controls.h"
#include "kvui/core.h"
#include "kvui/ids.h"

#include <vector>

namespace KvUi {

const DWORD FWS_ADDTOTITLE = 0x00008000; // kept for the callers' style words; no document here

class CFrameWnd;

// A pane docked to one side of a frame: a caption strip with its title, a content window under
// it, and an edge toward the frame's middle that the user drags to resize it. It can be shown and
// hidden; it never floats.
class CDockPane : public CWnd {
public:
    enum Side { Left, Top, Right, Bottom };
    BOOL Create(const std::wstring& title, CFrameWnd* frame, UINT nID, Side side, int size, BOOL visible = TRUE);
    // The window that fills the pane under its caption (a tree, a list).
    void SetContent(HWND content);
    HWND GetContent() const { return m_hContent; }
    void ShowPane(BOOL show);
    BOOL IsPaneVisible() const { return m_hWnd && (::GetWindowLongW(m_hWnd, GWL_STYLE) & WS_VISIBLE); }
    int GetPaneSize() const { return m_nSize; }
    void SetPaneSize(int size);
    Side GetSide() const { return m_side; }
    const std::wstring& GetTitle() const { return m_strTitle; }
    static constexpr int kCaptionHeight = 18;
    static constexpr int kEdge = 4;
    // The client area below the caption, less the edge toward the frame's middle (left for dragging).
    RECT ContentRect() const;

protected:
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void OnSize(UINT type, int cx, int cy);
    BOOL OnEraseBkgnd(HDC dc);
    void OnPaint();
    BOOL OnSetCursor(HWND wnd, UINT hitTest, UINT message);
    void OnLButtonDown(UINT flags, POINT pt);
    void OnMouseMove(UINT flags, POINT pt);
    void OnLButtonUp(UINT flags, POINT pt);
    void OnCaptureChanged(HWND other);
    void LayoutContent();
    bool OnEdge(POINT pt) const;
    CFrameWnd* m_pFrame = nullptr;
    std::wstring m_strTitle;
    Side m_side = Left;
    int m_nSize = 200;
    HWND m_hContent = nullptr;
    bool m_bDragging = false;
    POINT m_dragStart = {};
    int m_dragSize = 0;
    KV_DECLARE_MESSAGE_MAP()
};

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;
    ~CFrameWnd() override;

    HMENU m_hMenu = nullptr;
    HACCEL m_hAccelTable = nullptr;
    std::wstring m_strTitle;
    CToolBar* m_pToolBar = nullptr; // optional bars the frame lays out and updates
    CStatusBar* m_pStatusBar = nullptr;
    BOOL m_bAutoDelete = TRUE; // the frame deletes itself when its window is destroyed

    // Loads menu, accelerator table and title (text up to the first line break of the string) of
    // one resource id and creates the window.
    virtual BOOL LoadFrame(UINT nIDResource, DWORD style = WS_OVERLAPPEDWINDOW, CWnd* pParent = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs) { return TRUE; }
    virtual void RecalcLayout();
    // The status prompt of a command: the string of its id up to the line break.
    virtual std::wstring GetMessageString(UINT nID) const;
    // Shows the prompt of a command in the first pane of the status line; 0 shows the idle prompt.
    void ShowPrompt(UINT nID);
    // Runs the update handlers of the toolbar and of every added bar (called by the application
    // when idle), all against the frame's routing.
    virtual void OnIdleUpdateCmdUI();
    // The frame registers for idle updates once its window is made (RegisterIdleUpdate).
    void OnIdleUpdate() override { OnIdleUpdateCmdUI(); }
    // Further toolbars (in docked panes) whose buttons the frame keeps up to date.
    void AddControlBar(CToolBar* bar);
    void RemoveControlBar(CToolBar* bar);

    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, CmdHandlerInfo* pInfo) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void PostNcDestroy() override;

    // Docked panes in the order they take their space (first docked is outermost).
    void DockPane(CDockPane* pane);
    const std::vector<CDockPane*>& GetPanes() const { return m_panes; }

    // The workspace: the window's place and its bars as the user left them, kept in a section of
    // the application's profile ("WindowPlacement": the normal rectangle and whether the window
    // was maximised; "Pane<id>": a docked pane's size and whether it is shown; "Bar<id>": whether
    // the toolbar, the status line or another bar that SaveBarShown names is shown).
    virtual BOOL SaveWorkspace(const wchar_t* section);
    // Restores what SaveWorkspace kept before the window is first shown (a missing value, or a
    // place off every screen, keeps what the frame has) and returns the show command to use:
    // maximised when the window was left maximised and nCmdShow is a plain show, else nCmdShow.
    virtual int LoadWorkspace(const wchar_t* section, int nCmdShow);
    // One bar's shown state in the workspace (bars the frame does not lay out itself).
    static BOOL SaveBarShown(const wchar_t* section, HWND bar);
    static void LoadBarShown(const wchar_t* section, HWND bar);

    // WM_CLOSE: the frame's window is destroyed (a derived frame may ask first).
    virtual void OnClose() { DestroyWindow(); }
    // Updates the items of a popup menu that is about to open.
    void UpdateMenu(HMENU hMenu);

protected:
    void OnInitMenuPopup(HMENU menu, UINT index, BOOL system);
    void OnMenuSelect(UINT id, UINT flags, HMENU menu);
    void OnSize(UINT type, int cx, int cy);
    BOOL OnEraseBkgnd(HDC dc);

    std::wstring m_tipText;
    UINT m_nIDTracking = 0;
    std::vector<CDockPane*> m_panes;
    std::vector<CToolBar*> m_controlBars;
    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
