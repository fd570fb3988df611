// The main window.
#include "MainFrm.h"

#include "DaVIdevaRez.h"
#include "IChList.h"
#include "dlgProperty.h"

#include "resource.h"

#include <valkit.h>

#include <algorithm>

const UINT kMainToolbarButtons[12] = {
    ID_FILE_SAVE,      0, ID_HISTORY_BACK, ID_HISTORY_FORWARD, ID_HISTORY_HOME, 0, ID_FIND, 0, ID_TASK_GENERATOR,
    ID_TOOLS_SETTINGS, 0, ID_HELP_TOPICS};

namespace {
const UINT kClockTimer = 1234;
const UINT kCaptionTitles[5] = {IDS_FRAME_CAPTION_RESOURCES, IDS_FRAME_CAPTION_GROUPS, IDS_FRAME_CAPTION_TASKS,
                                IDS_FRAME_CAPTION_JOBS, IDS_FRAME_CAPTION_SUBJECTS};
} // namespace

KV_BEGIN_MESSAGE_MAP(CMainFrame, KvUi::CFrameWnd)
ON_WM_CREATE()
ON_WM_TIMER()
ON_MESSAGE(WM_SETFOCUS, OnSetFocus)
ON_MESSAGE(WM_SETTINGCHANGE, OnSettingChange)
ON_MESSAGE(WM_SHOW_OWED_VIEW, OnShowOwedView)
ON_REGISTERED_MESSAGE(g_uInstanceQueryMessage, OnInstanceQuery)
ON_COMMAND(ID_TOOLS_SETTINGS, OnSettings)
ON_COMMAND(ID_APP_EXIT, OnAppExit)
ON_COMMAND(ID_KEY_TAB, OnKeyTab)
ON_COMMAND_RANGE(ID_KEY_ENTER, ID_KEY_SUBTRACT, OnKeyObjectCommand)
ON_COMMAND(ID_KEY_RENAME, OnKeyRename)
ON_COMMAND_RANGE(ID_VIEW_STRUCTURE, ID_VIEW_CATEGORIES, OnTogglePane)
ON_UPDATE_COMMAND_UI_RANGE(ID_VIEW_STRUCTURE, ID_VIEW_CATEGORIES, OnUpdatePane)
ON_COMMAND_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, OnTogglePane)
ON_UPDATE_COMMAND_UI_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, OnUpdatePane)
ON_COMMAND_RANGE(ID_CATEGORY_RESOURCES, ID_CATEGORY_SUBJECTS, OnCategory)
ON_UPDATE_COMMAND_UI_RANGE(ID_CATEGORY_RESOURCES, ID_CATEGORY_SUBJECTS, OnUpdateCategory)
ON_COMMAND(ID_HISTORY_BACK, OnHistoryBack)
ON_COMMAND(ID_HISTORY_FORWARD, OnHistoryForward)
ON_COMMAND(ID_HISTORY_HOME, OnHistoryHome)
ON_UPDATE_COMMAND_UI(ID_HISTORY_BACK, OnUpdateHistoryBack)
ON_UPDATE_COMMAND_UI(ID_HISTORY_FORWARD, OnUpdateHistoryForward)
ON_UPDATE_COMMAND_UI(ID_HISTORY_HOME, OnUpdateHistoryBack)
ON_COMMAND(ID_FIND, OnFind)
ON_COMMAND(ID_FIND_NEXT, OnFindNext)
ON_UPDATE_COMMAND_UI_RANGE(ID_FIND, ID_FIND_NEXT, OnUpdateFind)
ON_COMMAND_RANGE(ID_FILTER_RESOURCES, ID_FILTER_SUBJECTS, OnRelationFilter)
ON_UPDATE_COMMAND_UI_RANGE(ID_FILTER_RESOURCES, ID_FILTER_SUBJECTS, OnUpdateRelationFilter)
ON_COMMAND(ID_GOTO_TREE, OnGotoTree)
ON_UPDATE_COMMAND_UI(ID_GOTO_TREE, OnUpdateGotoTree)
// ---- object commands: create, edit, link and delete (ObjectCommands.cpp) ----
ON_COMMAND_RANGE(ID_OBJ_ADD_NEW, ID_OBJ_ADD_NEW, OnCreateNode)
ON_UPDATE_COMMAND_UI(ID_OBJ_ADD_NEW, OnUpdateAddNew)
ON_COMMAND_RANGE(ID_OBJ_ADD_EXISTING, ID_OBJ_ADD_EXISTING + 1, OnAddExisting)
ON_UPDATE_COMMAND_UI(ID_OBJ_ADD_EXISTING, OnUpdateAddExisting)
ON_COMMAND_RANGE(ID_OBJ_EXCLUDE, ID_OBJ_EXCLUDE + 1, OnExcludeFromParent)
ON_UPDATE_COMMAND_UI(ID_OBJ_EXCLUDE, OnUpdateExclude)
ON_COMMAND_RANGE(ID_OBJ_EXCLUDE_ALL, ID_OBJ_EXCLUDE_ALL + 1, OnExcludeFromAll)
ON_UPDATE_COMMAND_UI(ID_OBJ_EXCLUDE_ALL, OnUpdateExcludeAll)
ON_COMMAND_RANGE(ID_OBJ_DELETE, ID_OBJ_DELETE + 1, OnDeleteNodes)
ON_UPDATE_COMMAND_UI(ID_OBJ_DELETE, OnUpdateDelete)
ON_COMMAND_RANGE(ID_OBJ_PROPERTIES, ID_OBJ_PROPERTIES + 1, OnNodeProperties)
ON_UPDATE_COMMAND_UI(ID_OBJ_PROPERTIES, OnUpdateProperties)
ON_COMMAND_RANGE(ID_OBJ_NEW_RESOURCE, ID_OBJ_NEW_RESOURCE + 1, OnNewResourceInGroup)
ON_UPDATE_COMMAND_UI(ID_OBJ_NEW_RESOURCE, OnUpdateNewResource)
ON_COMMAND_RANGE(ID_OBJ_NEW_TASK, ID_OBJ_NEW_TASK + 1, OnNewTaskManually)
ON_UPDATE_COMMAND_UI(ID_OBJ_NEW_TASK, OnUpdateJobOwn)
ON_COMMAND_RANGE(ID_OBJ_NEW_GROUP, ID_OBJ_NEW_GROUP + 1, OnNewGroupManually)
ON_UPDATE_COMMAND_UI(ID_OBJ_NEW_GROUP, OnUpdateNewGroup)
ON_COMMAND_RANGE(ID_OBJ_CONTROL + 1, ID_OBJ_CONTROL + 1, OnToggleControlled)
ON_UPDATE_COMMAND_UI(ID_OBJ_CONTROL, OnUpdateNever)
ON_COMMAND_RANGE(ID_OBJ_EXECUTABLE + 1, ID_OBJ_EXECUTABLE + 1, OnToggleExecutable)
ON_UPDATE_COMMAND_UI(ID_OBJ_EXECUTABLE, OnUpdateNever)
// ---- object commands: several resources, groups from a folder or a key (GroupCommands.cpp) ----
ON_COMMAND_RANGE(ID_OBJ_SEVERAL, ID_OBJ_SEVERAL + 4, OnAddResources)
ON_UPDATE_COMMAND_UI(ID_OBJ_SEVERAL, OnUpdateNewResource)
ON_COMMAND_RANGE(ID_OBJ_GROUP_BY_DIR, ID_OBJ_GROUP_BY_DIR + 4, OnGroupFromDirectory)
ON_UPDATE_COMMAND_UI(ID_OBJ_GROUP_BY_DIR, OnUpdateGroupBy)
ON_COMMAND_RANGE(ID_OBJ_GROUP_BY_KEY, ID_OBJ_GROUP_BY_KEY + 4, OnGroupFromRegistryKey)
ON_UPDATE_COMMAND_UI(ID_OBJ_GROUP_BY_KEY, OnUpdateGroupBy)
// Reports.
ON_COMMAND(ID_REPORT_PASSPORT, OnReportPassport)
ON_COMMAND(ID_REPORT_RESOURCES, OnReportResources)
ON_COMMAND(ID_REPORT_USERS, OnReportUsers)
ON_UPDATE_COMMAND_UI(ID_REPORT_PASSPORT, OnUpdateReport)
ON_UPDATE_COMMAND_UI(ID_REPORT_RESOURCES, OnUpdateReport)
ON_UPDATE_COMMAND_UI(ID_REPORT_USERS, OnUpdateReport)
// ---- task generator (InstallTaskCommands.cpp) ----
ON_COMMAND(ID_TASK_GENERATOR, OnTaskGenerator)
ON_UPDATE_COMMAND_UI(ID_TASK_GENERATOR, OnUpdateModelCommand)
ON_COMMAND_RANGE(ID_OBJ_TASK_BY_GEN, ID_OBJ_TASK_BY_GEN + 4, OnAddGeneratedTasks)
ON_UPDATE_COMMAND_UI(ID_OBJ_TASK_BY_GEN, OnUpdateJobOwn)
// Tool commands (ToolCommands.cpp); exchange of objects and the group from the security log
// (ExchangeCommands.cpp).
ON_COMMAND(ID_RES_DEPENDENCIES, OnFindDependencies)
ON_COMMAND(ID_RES_PATH_VARIABLES, OnReplacePathVariables)
ON_COMMAND_RANGE(ID_OBJ_EXPORT, ID_OBJ_EXPORT + 4, OnExportNodes)
ON_UPDATE_COMMAND_UI(ID_OBJ_EXPORT, OnUpdateExport)
ON_COMMAND_RANGE(ID_OBJ_IMPORT_ADD, ID_OBJ_IMPORT_ADD + 4, OnImportNodes)
ON_UPDATE_COMMAND_UI(ID_OBJ_IMPORT_ADD, OnUpdateImportAdd)
ON_COMMAND_RANGE(ID_OBJ_IMPORT_GROUP, ID_OBJ_IMPORT_GROUP + 4, OnImportResources)
ON_UPDATE_COMMAND_UI(ID_OBJ_IMPORT_GROUP, OnUpdateImportGroup)
ON_COMMAND_RANGE(ID_OBJ_GROUP_BY_LOG, ID_OBJ_GROUP_BY_LOG + 4, OnGroupFromLog)
ON_UPDATE_COMMAND_UI(ID_OBJ_GROUP_BY_LOG, OnUpdateGroupBy)
// Model file commands (FileCommands.cpp).
ON_COMMAND(ID_FILE_NEW_MODEL, OnRecreateModel)
ON_UPDATE_COMMAND_UI(ID_FILE_NEW_MODEL, OnUpdateNewModel)
ON_COMMAND(ID_EDIT_CLEAR_ALL, OnClearModel)
ON_UPDATE_COMMAND_UI(ID_EDIT_CLEAR_ALL, OnUpdateClearModel)
ON_COMMAND(ID_FILE_RESTORE, OnRestoreModel)
ON_UPDATE_COMMAND_UI(ID_FILE_RESTORE, OnUpdateRestoreModel)
ON_COMMAND(ID_FILE_SAVE, OnSaveModel)
ON_UPDATE_COMMAND_UI(ID_FILE_SAVE, OnUpdateSaveModel)
ON_COMMAND(ID_FILE_IMPORT_XML, OnImportModelXml)
ON_UPDATE_COMMAND_UI(ID_FILE_IMPORT_XML, OnUpdateModelCommand)
ON_COMMAND(ID_FILE_EXPORT_XML, OnExportModelXml)
ON_UPDATE_COMMAND_UI(ID_FILE_EXPORT_XML, OnUpdateExportModelXml)
KV_END_MESSAGE_MAP()

CMainFrame::CMainFrame() {
    m_pStatusBar = &m_wndStatusBar;
    m_pToolBar = &m_wndToolBar;
}

CMainFrame::~CMainFrame() {
    // The report windows first; then the members in reverse order.
    CloseReportWindows();
}

// ---- creation -------------------------------------------------------------------------------------

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCTW) {
    // The view pane.
    if (!m_wndView.CreateViewer(this, this))
        return -1;
    // The toolbar with its disabled and (on screens of more than 256 colours) hot images.
    if (!m_wndToolBar.Create(this, KvUi::AFX_IDW_TOOLBAR) ||
        !m_wndToolBar.SetButtons(kMainToolbarButtons, 12, IDR_MAINFRAME, 16, 16, RGB(255, 0, 255)))
        return -1;
    m_wndToolBar.SetWindowText(KvUi::LoadStr(IDS_TOOLBAR_NAME));
    if (m_imgToolbarDisabled.Create(IDB_TOOLBAR_DISABLED, 16, 0, RGB(255, 0, 255)))
        m_wndToolBar.SendMessage(TB_SETDISABLEDIMAGELIST, 0, (LPARAM)m_imgToolbarDisabled.m_hImageList);
    HDC screen = ::GetDC(nullptr);
    int bits = ::GetDeviceCaps(screen, BITSPIXEL) * ::GetDeviceCaps(screen, PLANES);
    ::ReleaseDC(nullptr, screen);
    if (bits > 8 && m_imgToolbarHot.Create(IDB_TOOLBAR_HOT, 16, 0, RGB(255, 0, 255)))
        m_wndToolBar.SendMessage(TB_SETHOTIMAGELIST, 0, (LPARAM)m_imgToolbarHot.m_hImageList);

    // The status line: prompts, the list position text, the clock, measured from their texts.
    if (!m_wndStatusBar.Create(this, KvUi::AFX_IDW_STATUS_BAR))
        return -1;
    {
        HDC dc = ::GetDC(m_hWnd);
        HFONT font = m_wndStatusBar.GetFont();
        HGDIOBJ old = ::SelectObject(dc, font ? (HGDIOBJ)font : ::GetStockObject(DEFAULT_GUI_FONT));
        SIZE position = {}, clock = {};
        std::wstring widest = ListPositionText(0, 0, 0);
        ::GetTextExtentPoint32W(dc, widest.c_str(), (int)widest.size(), &position);
        ::GetTextExtentPoint32W(dc, L"00:00:00", 8, &clock);
        ::SelectObject(dc, old);
        ::ReleaseDC(m_hWnd, dc);
        // The status line's own borders come on top of the text's width.
        const int widths[] = {0, position.cx + 2 + 8, clock.cx + 2 + 8};
        m_wndStatusBar.SetPanes(widths, 3);
    }
    ::SetTimer(m_hWnd, kClockTimer, 1000, nullptr);
    OnTimer(kClockTimer);

    // Category bar, caption bar, structure bar, relation pane.
    if (!m_wndCategoryBar.CreateBar(this, ID_VIEW_CATEGORIES, IDW_CATEGORY_PANE))
        return -1;
    if (!m_wndCaptionBar.CreateBar(this, ID_VIEW_CAPTION, 26))
        return -1;
    m_wndCaptionBar.SetCaption(L"", LoadBitmapIcon(IDB_CAPTION_ICONS, 0));
    if (!m_wndTreeBar.CreateBar(this, ID_VIEW_STRUCTURE, this))
        return -1;
    if (!m_wndOutput.CreateBar(this, ID_VIEW_RELATIONS, ::GetSystemMetrics(SM_CYSCREEN) / 2, this))
        return -1;

    // Whether the board store exists.
    std::wstring folder = theApp.GetStoreFolder();
    m_bStoreExisted = folder.empty() ? 0 : (theApp.IsFileExist((folder + L"\\Localhost.vdb").c_str()) ? 1 : 0);

    SetCurrentNode(nullptr, 0);
    PostMessage(WM_COMMAND, ID_CATEGORY_SUBJECTS);
    PostMessage(WM_COMMAND, ID_FILE_RESTORE);
    return 0;
}

void CMainFrame::RecalcLayout() {
    KvUi::CFrameWnd::RecalcLayout();
    // The caption bar takes the top of the view pane's place.
    if (!m_wndView.m_hWnd || !m_wndCaptionBar.m_hWnd)
        return;
    RECT rc;
    ::GetWindowRect(m_wndView.m_hWnd, &rc);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    if (::GetWindowLongW(m_wndCaptionBar.m_hWnd, GWL_STYLE) & WS_VISIBLE) {
        int h = std::min<LONG>(m_wndCaptionBar.GetHeight(), rc.bottom - rc.top);
        ::MoveWindow(m_wndCaptionBar.m_hWnd, rc.left, rc.top, rc.right - rc.left, h, TRUE);
        rc.top += h;
    }
    ::MoveWindow(m_wndView.m_hWnd, rc.left, rc.top, rc.right - rc.left, std::max<LONG>(0, rc.bottom - rc.top), TRUE);
}

BOOL CMainFrame::SaveWorkspace(const wchar_t* section) {
    BOOL ok = KvUi::CFrameWnd::SaveWorkspace(section);
    if (m_wndCaptionBar.m_hWnd)
        ok = SaveBarShown(section, m_wndCaptionBar.m_hWnd) && ok;
    return ok;
}

int CMainFrame::LoadWorkspace(const wchar_t* section, int nCmdShow) {
    if (m_wndCaptionBar.m_hWnd)
        LoadBarShown(section, m_wndCaptionBar.m_hWnd);
    return KvUi::CFrameWnd::LoadWorkspace(section, nCmdShow);
}

void CMainFrame::OnIdleUpdateCmdUI() {
    KvUi::CFrameWnd::OnIdleUpdateCmdUI();
    if (m_wndTreeBar.m_wndToolBar.m_hWnd)
        m_wndTreeBar.m_wndToolBar.OnUpdateCmdUI(this, TRUE);
    if (m_wndCategoryBar.m_wndButtons.m_hWnd)
        m_wndCategoryBar.m_wndButtons.OnUpdateCmdUI(this, TRUE);
}

void CMainFrame::OnTimer(UINT_PTR id) {
    if (id == kClockTimer && m_wndStatusBar.m_hWnd) {
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        m_wndStatusBar.SetPaneText(2, format_wstring(L"%0.2d:%0.2d:%0.2d", t.wHour, t.wMinute, t.wSecond));
    }
}

LRESULT CMainFrame::OnInstanceQuery(WPARAM, LPARAM) { return g_uInstanceQueryMessage; }

void CMainFrame::OnAppExit() { PostMessage(WM_CLOSE); }

LRESULT CMainFrame::OnSetFocus(WPARAM, LPARAM) {
    if (m_wndView.m_hWnd)
        ::SetFocus(m_wndView.m_hWnd);
    return 0;
}

LRESULT CMainFrame::OnSettingChange(WPARAM, LPARAM lp) {
    LRESULT r = Default();
    const wchar_t* section = reinterpret_cast<const wchar_t*>(lp);
    if (section && wcscmp(section, L"Environment") == 0)
        OnEnvironmentChange();
    return r;
}

void CMainFrame::OnEnvironmentChange() {
    // A running operation reads the path variables: they change when it has ended.
    if (m_nBackgroundOps > 0) {
        m_bEnvironmentPending = true;
        return;
    }
    m_Model.BuildPathVariables();
}

void CMainFrame::EndBackgroundOperation() {
    if (m_nBackgroundOps > 0)
        --m_nBackgroundOps;
    if (m_nBackgroundOps == 0 && m_bEnvironmentPending) {
        m_bEnvironmentPending = false;
        m_Model.BuildPathVariables();
    }
}

// ---- the current node -------------------------------------------------------------------------------

void CMainFrame::SetObjectMenuText(const std::wstring& text) {
    if (!m_hMenu)
        return;
    // A long name (one read from a file, a resource's path) is cut, so the menu bar keeps one row.
    std::wstring shown =
        text.size() > kObjectMenuTextLimit ? text.substr(0, kObjectMenuTextLimit - 1) + L"\u2026" : text;
    HMENU popup = ::GetSubMenu(m_hMenu, 3);
    ::ModifyMenuW(m_hMenu, 3, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), shown.c_str());
    if (m_hWnd)
        ::DrawMenuBar(m_hWnd);
}

void CMainFrame::SetCurrentNode(CIChNode* node, int show) {
    m_pCurrentNode = node;
    SetObjectMenuText(node ? node->m_Name : std::wstring(L"???"));
    if (show && m_wndView.m_hWnd) {
        if (IsOperationRunning()) {
            // The worker changes the model and nothing locks it: a list filled now would walk it
            // meanwhile. The pane stays empty until the operation has ended (OnShowOwedView).
            m_wndView.ShowNode(nullptr);
            m_bViewOwed = true;
        } else {
            m_bViewOwed = false;
            m_wndView.ShowNode(node);
        }
    }
    m_wndOutput.ShowRelations(nullptr);
}

void CMainFrame::ShowRelations(const CIChNodeList* nodes) {
    // The relations are collected from the model: none while an operation changes it.
    m_wndOutput.ShowRelations(IsOperationRunning() ? nullptr : nodes);
}

LRESULT CMainFrame::OnShowOwedView(WPARAM, LPARAM) {
    // Posted when the operation ended, so the launching command has rebuilt the tree first where
    // the operation replaced the model (the rebuild shows its node and settles the debt itself).
    if (m_bViewOwed && !IsOperationRunning())
        SetCurrentNode(m_pCurrentNode, 1);
    return 0;
}

void CMainFrame::SetStatusText(const std::wstring& text) {
    if (m_wndStatusBar.m_hWnd)
        m_wndStatusBar.SetPaneText(1, text);
}

int CMainFrame::GetNodeMenuId(CIChNode* node) {
    if (!node)
        node = m_pCurrentNode;
    if (!node)
        return 0;
    int kind = node->GetType();
    return kind >= 1 && kind <= 10 ? 199 + kind : 0;
}

HWND CMainFrame::GetActiveListWnd() const {
    CIChViewer* v = m_wndView.m_hWnd ? m_wndView.GetActiveViewer() : nullptr;
    return v ? v->GetWnd() : nullptr;
}

CIChNode* CMainFrame::GetCurrentObject(CIChNodeList* list) {
    HWND listWnd = GetActiveListWnd();
    if (listWnd && ::GetFocus() == listWnd) {
        CIChNodeList selected;
        if (m_wndView.GetActiveViewer()->GetSelectedNodes(selected) > 0) {
            if (list)
                list->insert(list->end(), selected.begin(), selected.end());
            return selected.front();
        }
    }
    return m_pCurrentNode;
}

int CMainFrame::IsCurrentFolderEmpty() {
    CIChNode* node = m_pCurrentNode;
    if (!node || node->IsModelNode())
        return 1;
    // What the folder lists is what its export takes.
    CIChNodeList first;
    CollectFolderNodes(m_Model, node, first, 1);
    return first.empty() ? 1 : 0;
}

// ---- routing, prompts, keys ------------------------------------------------------------------------

BOOL CMainFrame::OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) {
    // While a background operation runs, the worker alone works on the model: commands that arrive
    // (posted, or from a window that is not disabled) do nothing and every element is disabled.
    if (IsOperationRunning() && !pInfo) {
        if (nCode == KvUi::CN_UPDATE_COMMAND_UI && pExtra)
            static_cast<KvUi::CCmdUI*>(pExtra)->Enable(FALSE);
        if (nCode == KvUi::CN_COMMAND || nCode == KvUi::CN_UPDATE_COMMAND_UI)
            return TRUE;
    }
    // The views first, both always asked; the frame's own map only when neither handled it.
    BOOL viewer = m_wndView.m_hWnd ? m_wndView.OnCmdMsg(nID, nCode, pExtra, pInfo) : FALSE;
    if (pInfo && viewer)
        return TRUE;
    BOOL relations = m_wndOutput.m_hWnd ? m_wndOutput.OnCmdMsg(nID, nCode, pExtra, pInfo) : FALSE;
    if (viewer || relations)
        return TRUE;
    return KvUi::CFrameWnd::OnCmdMsg(nID, nCode, pExtra, pInfo);
}

std::wstring CMainFrame::GetMessageString(UINT nID) const {
    // The list variant of an object command shows the prompt of its tree variant.
    if (nID >= 3000 && nID <= 3499 && nID % 5 != 0)
        --nID;
    return KvUi::CFrameWnd::GetMessageString(nID);
}

BOOL CMainFrame::PreTranslateMessage(MSG* pMsg) {
    if (m_bLabelEdit) {
        if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE)) {
            m_bLabelEdit = 0;
            HWND focus = ::GetFocus();
            if (pMsg->wParam == VK_ESCAPE && focus)
                ::SetWindowTextW(focus, m_pCurrentNode ? m_pCurrentNode->m_Name.c_str() : L"");
            HWND tree = GetTree().m_hWnd;
            if (focus && tree && ::GetParent(focus) == tree)
                TreeView_EndEditLabelNow(tree, FALSE); // Escape ends with the old name
            else if (focus)
                ::PostMessageW(focus, WM_CLOSE, 0, 0);
            return TRUE;
        }
        // Accelerators stay off while a label is edited.
        return FALSE;
    }
    return KvUi::CFrameWnd::PreTranslateMessage(pMsg);
}

bool CMainFrame::HoldsFocus(HWND pane, HWND focus) {
    return pane && focus && (pane == focus || ::IsChild(pane, focus));
}

void CMainFrame::OnKeyTab() {
    std::vector<std::pair<HWND, HWND>> panes; // (pane, window that takes the focus)
    if (HWND list = GetActiveListWnd())
        panes.emplace_back(list, list);
    if (m_wndOutput.IsPaneVisible())
        panes.emplace_back(m_wndOutput.m_hWnd, m_wndOutput.m_wndList.m_hWnd);
    if (m_wndTreeBar.IsPaneVisible())
        panes.emplace_back(m_wndTreeBar.m_hWnd, GetTree().m_hWnd);
    HWND focus = ::GetFocus();
    for (size_t i = 0; i < panes.size(); ++i) {
        if (!HoldsFocus(panes[i].first, focus))
            continue;
        HWND next = panes[(i + 1) % panes.size()].second;
        if (next != focus) {
            ::SetFocus(next);
            return;
        }
        break;
    }
    ::SetFocus(m_hWnd);
}

void CMainFrame::OnKeyObjectCommand(UINT id) {
    static const UINT bases[] = {ID_OBJ_PROPERTIES, ID_OBJ_DELETE, ID_OBJ_ADD_EXISTING, ID_OBJ_EXCLUDE};
    UINT base = bases[id - ID_KEY_ENTER];
    HWND focus = ::GetFocus();
    HWND list = GetActiveListWnd();
    UINT command = 0;
    if (list && focus == list)
        command = base + 1;
    else if (!(m_wndOutput.m_wndList.m_hWnd && focus == m_wndOutput.m_wndList.m_hWnd))
        command = base;
    // The object handlers do their own checks.
    if (command)
        OnCmdMsg(command, KvUi::CN_COMMAND, nullptr, nullptr);
}

void CMainFrame::OnKeyRename() { GetTree().EditLabel(); }

// ---- panes --------------------------------------------------------------------------------------------

void CMainFrame::OnTogglePane(UINT id) {
    switch (id) {
    case ID_VIEW_STRUCTURE:
        m_wndTreeBar.ShowPane(!m_wndTreeBar.IsPaneVisible());
        return;
    case ID_VIEW_RELATIONS:
        m_wndOutput.ShowPane(!m_wndOutput.IsPaneVisible());
        return;
    case ID_VIEW_CATEGORIES:
        m_wndCategoryBar.ShowPane(!m_wndCategoryBar.IsPaneVisible());
        return;
    }
    KvUi::CWnd* bar = id == ID_VIEW_CAPTION      ? static_cast<KvUi::CWnd*>(&m_wndCaptionBar)
                      : id == ID_VIEW_TOOLBAR    ? static_cast<KvUi::CWnd*>(&m_wndToolBar)
                      : id == ID_VIEW_STATUS_BAR ? static_cast<KvUi::CWnd*>(&m_wndStatusBar)
                                                 : nullptr;
    if (!bar || !bar->m_hWnd)
        return;
    bool visible = (::GetWindowLongW(bar->m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
    bar->ShowWindow(visible ? SW_HIDE : SW_SHOW);
    RecalcLayout();
}

void CMainFrame::OnUpdatePane(KvUi::CCmdUI* pCmdUI) {
    HWND h = nullptr;
    switch (pCmdUI->m_nID) {
    case ID_VIEW_STRUCTURE:
        h = m_wndTreeBar.m_hWnd;
        break;
    case ID_VIEW_RELATIONS:
        h = m_wndOutput.m_hWnd;
        break;
    case ID_VIEW_CATEGORIES:
        h = m_wndCategoryBar.m_hWnd;
        break;
    case ID_VIEW_CAPTION:
        h = m_wndCaptionBar.m_hWnd;
        break;
    case ID_VIEW_TOOLBAR:
        h = m_wndToolBar.m_hWnd;
        break;
    case ID_VIEW_STATUS_BAR:
        h = m_wndStatusBar.m_hWnd;
        break;
    }
    pCmdUI->Enable(h != nullptr);
    pCmdUI->SetCheck(h && (::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) ? 1 : 0);
}

BOOL CMainFrame::OnShowPopupMenu(HMENU popup) {
    if (!popup || !m_hMenu)
        return TRUE;
    // "Панели": the items of menu 153.
    HMENU viewMenu = ::GetSubMenu(m_hMenu, 2);
    HMENU panes = nullptr;
    for (int i = 0, n = ::GetMenuItemCount(viewMenu); i < n; ++i) {
        HMENU sub = ::GetSubMenu(viewMenu, i);
        if (sub && (::GetMenuState(sub, ID_VIEW_PANES, MF_BYCOMMAND) != (UINT)-1 ||
                    ::GetMenuState(sub, ID_VIEW_CAPTION, MF_BYCOMMAND) != (UINT)-1))
            panes = sub;
    }
    if (popup == panes) {
        while (::GetMenuItemCount(popup) > 0)
            ::DeleteMenu(popup, 0, MF_BYPOSITION);
        if (HMENU bars = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDR_MENU_BARS))) {
            HMENU src = ::GetSubMenu(bars, 0);
            for (int i = 0, n = ::GetMenuItemCount(src); i < n; ++i) {
                wchar_t text[128] = {};
                ::GetMenuStringW(src, i, text, 128, MF_BYPOSITION);
                ::AppendMenuW(popup, MF_STRING, ::GetMenuItemID(src, i), text);
            }
            ::DestroyMenu(bars);
        }
        return TRUE;
    }
    // "Объект": the node's own menu.
    if (popup == ::GetSubMenu(m_hMenu, 3)) {
        while (::GetMenuItemCount(popup) > 0)
            ::DeleteMenu(popup, 0, MF_BYPOSITION);
        int id = m_pCurrentNode ? GetNodeMenuId(m_pCurrentNode) : 0;
        if (!id)
            return FALSE;
        HMENU menu = ::LoadMenuW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(id));
        if (!menu)
            return FALSE;
        HMENU src = GetPopupMenu(menu, m_pCurrentNode->GetType());
        // The items move over (a submenu changes its owner); what is left is destroyed.
        while (::GetMenuItemCount(src) > 0) {
            wchar_t text[128] = {};
            ::GetMenuStringW(src, 0, text, 128, MF_BYPOSITION);
            MENUITEMINFOW mii = {sizeof(mii)};
            mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
            ::GetMenuItemInfoW(src, 0, TRUE, &mii);
            ::RemoveMenu(src, 0, MF_BYPOSITION);
            if (mii.fType & MFT_SEPARATOR)
                ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            else if (mii.hSubMenu)
                ::AppendMenuW(popup, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(mii.hSubMenu), text);
            else
                ::AppendMenuW(popup, MF_STRING, mii.wID, text);
        }
        ::DestroyMenu(menu);
        return TRUE;
    }
    return TRUE;
}

BOOL CMainFrame::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (msg == WM_ERASEBKGND) {
        // Behind the flat toolbar and between the bars: the face colour of the bars.
        RECT rc;
        GetClientRect(&rc);
        ::FillRect(reinterpret_cast<HDC>(wp), &rc, ::GetSysColorBrush(COLOR_BTNFACE));
        *pResult = 1;
        return TRUE;
    }
    if (msg == WM_INITMENUPOPUP && !HIWORD(lp))
        OnShowPopupMenu(reinterpret_cast<HMENU>(wp));
    return KvUi::CFrameWnd::OnWndMsg(msg, wp, lp, pResult);
}

// ---- categories ---------------------------------------------------------------------------------------

void CMainFrame::OnCategory(UINT id) {
    if ((int)id == m_nCurrentCategory)
        return;
    KvUi::CWaitCursor wait;
    m_nCurrentCategory = (int)id;
    GetTree().BuildTree(&m_Model, (int)id);
    int index = (int)id - ID_CATEGORY_RESOURCES;
    m_wndCaptionBar.SetCaption(KvUi::LoadStr(kCaptionTitles[index]), LoadBitmapIcon(IDB_CAPTION_ICONS, (int)id - 7099));
    m_wndCaptionBar.Invalidate(FALSE);
}

void CMainFrame::OnUpdateCategory(KvUi::CCmdUI* pCmdUI) {
    pCmdUI->Enable(TRUE);
    pCmdUI->SetCheck((int)pCmdUI->m_nID == m_nCurrentCategory ? 1 : 0);
}

// ---- history, find, relations --------------------------------------------------------------------------

void CMainFrame::OnHistoryBack() { GetTree().GoBack(); }
void CMainFrame::OnHistoryForward() { GetTree().GoForward(); }
void CMainFrame::OnHistoryHome() { GetTree().GoHome(); }
void CMainFrame::OnUpdateHistoryBack(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(GetTree().CanGoBack()); }
void CMainFrame::OnUpdateHistoryForward(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(GetTree().CanGoForward()); }

CIChList* CMainFrame::GetFindList() const {
    HWND focus = ::GetFocus();
    HWND list = GetActiveListWnd();
    if (!focus || !(focus == list || (m_wndOutput.m_wndList.m_hWnd && focus == m_wndOutput.m_wndList.m_hWnd)))
        return nullptr;
    return dynamic_cast<CIChList*>(KvUi::CWnd::FromHandlePermanent(focus));
}

void CMainFrame::OnUpdateFind(KvUi::CCmdUI* pCmdUI) {
    CIChList* list = GetFindList();
    pCmdUI->Enable(list && (pCmdUI->m_nID == ID_FIND ? list->CanFind() : list->CanFindNext()));
}

void CMainFrame::OnFind() {
    if (CIChList* list = GetFindList())
        if (list->CanFind())
            list->Find();
}

void CMainFrame::OnFindNext() {
    if (CIChList* list = GetFindList())
        if (list->CanFindNext())
            list->FindNext();
}

int CMainFrame::SelectInTree(CIChNode* node) {
    CIChModelView& tree = GetTree();
    return tree.m_hWnd ? tree.SelectNode(node, tree.GetSelectedItem()) : 0;
}

COLORREF CMainFrame::GetListColor(int index) { return theApp.GetListColor(index); }

int CMainFrame::GetListGrid() { return theApp.m_bGrid; }

void CMainFrame::ForgetNodes(const CIChNodeList& nodes) {
    m_wndOutput.ShowRelations(nullptr);
    if (m_wndView.m_hWnd)
        m_wndView.ForgetNodes(nodes);
}

void CMainFrame::OnRelationFilter(UINT id) {
    int mask = m_wndOutput.GetCategoryFilter() ^ (1 << (id - ID_FILTER_RESOURCES));
    m_wndOutput.SetCategoryFilter(mask);
}

void CMainFrame::OnUpdateRelationFilter(KvUi::CCmdUI* pCmdUI) {
    pCmdUI->Enable(TRUE);
    pCmdUI->SetCheck((m_wndOutput.GetCategoryFilter() >> (pCmdUI->m_nID - ID_FILTER_RESOURCES)) & 1);
}

void CMainFrame::OnUpdateGotoTree(KvUi::CCmdUI* pCmdUI) {
    bool on = false;
    CRelationList& list = m_wndOutput.m_wndList;
    if (m_wndOutput.m_hWnd && list.m_hWnd && list.GetSelectedCount() > 0) {
        int mark = list.GetSelectionMark();
        CIChNode* node = mark >= 0 ? list.GetRowNode(mark) : nullptr;
        on = node && node->IsModelNode() && node->GetType() != NodeTypeResource;
    }
    pCmdUI->Enable(on);
}

void CMainFrame::OnGotoTree() {
    CRelationList& list = m_wndOutput.m_wndList;
    if (!list.m_hWnd)
        return;
    int mark = list.GetSelectionMark();
    CIChNode* node = mark >= 0 ? list.GetRowNode(mark) : nullptr;
    if (!node || !node->IsModelNode())
        return;
    const int own = ID_CATEGORY_RESOURCES + node->GetType() / 2;
    int category = m_nCurrentCategory >= own ? m_nCurrentCategory : own;
    for (; category >= own; --category) {
        if (category != m_nCurrentCategory)
            OnCategory((UINT)category);
        CIChModelView& tree = GetTree();
        if (tree.SelectNode(node, tree.GetSelectedItem()) || tree.SelectNode(node, TVI_ROOT))
            return;
    }
}

// ---- closing --------------------------------------------------------------------------------------------

void CMainFrame::OnClose() {
    // The worker still uses the model and the window: the close comes again when it has ended.
    if (IsOperationRunning()) {
        m_bClosePending = true;
        return;
    }
    if (theApp.m_nConfirmation & 1) {
        if (MessageBox(KvUi::LoadStr(IDS_FRAME_CLOSE_CONFIRM), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }
    if (m_Model.m_bModified) {
        int answer = MessageBox(KvUi::LoadStr(IDS_FRAME_SAVE_BEFORE_EXIT), nullptr, MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDCANCEL)
            return;
        if (answer == IDYES) {
            OnCmdMsg(ID_FILE_SAVE, KvUi::CN_COMMAND, nullptr, nullptr);
            // The save reported its own failure; the window stays so that nothing is lost.
            if (m_Model.m_bModified)
                return;
        }
    }
    CloseReportWindows();
    // The place and the bars as the user leaves them: the next start opens so.
    SaveWorkspace(kWorkspaceSection);
    KvUi::CFrameWnd::OnClose();
}
