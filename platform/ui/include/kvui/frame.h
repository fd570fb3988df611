// The frame window: menu, accelerators and title from one resource id, a toolbar and status line
// laid out around the view pane (the child with id AFX_IDW_PANE_FIRST), menu items and toolbar
// buttons updated from the update handlers, tooltips and status prompts from the string table.
#pragma once

#include "kvui/controls.h"
#include "kvui/core.h"

namespace KvUi {

const UINT AFX_IDW_PANE_FIRST = 0xE900;    // 59648
const UINT AFX_IDW_TOOLBAR = 0xE800;       // 59392
const UINT AFX_IDW_STATUS_BAR = 0xE801;    // 59393
const UINT AFX_IDW_MENUBAR = 0xE806;       // 59398
const UINT ID_APP_ABOUT = 0xE140;          // 57664
const UINT ID_APP_EXIT = 0xE141;           // 57665
const UINT AFX_IDS_APP_TITLE = 0xE000;     // 57344
const UINT AFX_IDS_IDLEMESSAGE = 0xE001;   // 57345 "Ready" prompt

const DWORD FWS_ADDTOTITLE = 0x00008000;   // kept for the callers' style words; no document here

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;
    ~CFrameWnd() override;

    HMENU m_hMenu = nullptr;
    HACCEL m_hAccelTable = nullptr;
    std::wstring m_strTitle;
    CToolBar* m_pToolBar = nullptr;       // optional bars the frame lays out and updates
    CStatusBar* m_pStatusBar = nullptr;
    BOOL m_bAutoDelete = TRUE;            // the frame deletes itself when its window is destroyed

    // Loads menu, accelerator table and title (text up to the first line break of the string) of
    // one resource id and creates the window.
    virtual BOOL LoadFrame(UINT nIDResource, DWORD style = WS_OVERLAPPEDWINDOW, CWnd* pParent = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs) { return TRUE; }
    virtual void RecalcLayout();
    // The status prompt of a command: the string of its id up to the line break.
    virtual std::wstring GetMessageString(UINT nID) const;
    // Runs the update handlers of the toolbar (called by the application when idle).
    virtual void OnIdleUpdateCmdUI();

    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, CmdHandlerInfo* pInfo) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void PostNcDestroy() override;

    // WM_CLOSE: the frame's window is destroyed (a derived frame may ask first).
    virtual void OnClose() { DestroyWindow(); }
    // Updates the items of a popup menu that is about to open.
    void UpdateMenu(HMENU hMenu);

protected:
    std::wstring m_tipText;
    UINT m_nIDTracking = 0;
    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
