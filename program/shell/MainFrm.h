// The main window: owns the model and every view (the structure tree in its bar, the view pane,
// the relation pane), builds the toolbar, status line, category bar and caption bar, keeps the
// current node and category, routes each command to the views first and to its own map only when
// neither handled it, and asks before closing.
#pragma once

#include "CaptionBar.h"
#include "CategoryBar.h"

#include "IChDataModel.h"
#include "IChModelViewBar.h"
#include "MainViewer.h"
#include "OutputBar.h"
#include "ViewHost.h"

#include <kvui/kvui.h>

#include <atomic>
#include <list>
#include <map>

struct SBackgroundOp;
class IModelSetupDialog;

class CMainFrame : public KvUi::CFrameWnd, public IModelViewHost {
public:
    CMainFrame();
    ~CMainFrame() override;

    // Posted when an operation has ended and a node made current meanwhile still waits to be shown.
    static const UINT WM_SHOW_OWED_VIEW = WM_APP + 20;

    // ---- what other parts of the program use ----
    void SetCurrentNode(CIChNode* node, int show) override;
    void SetStatusText(const std::wstring& text) override;
    int GetNodeMenuId(CIChNode* node) override;
    HMENU GetPopupMenu(HMENU menu, int kind) { return ::GetSubMenu(menu, 0); }
    CIChNode* GetCurrentObject(CIChNodeList* list = nullptr);
    int IsCurrentFolderEmpty();
    CIChModelView& GetTree() { return m_wndTreeBar.m_wndTree; }
    // Before an operation that frees or replaces the model's nodes: the current node, the lists, the
    // relation pane and the tree let go of them.
    void LetGoOfModelNodes();

    // IModelViewHost
    CIChDataModel* GetModel() override { return &m_Model; }
    void SetLabelEditFlag(int on) override { m_bLabelEdit = on; }
    int GetCurrentCategory() override { return m_nCurrentCategory; }
    CIChNode* GetCurrentTreeNode() override { return m_pCurrentNode; }
    void ShowRelations(const CIChNodeList* nodes) override;
    int SelectInTree(CIChNode* node) override;
    HWND GetCommandWnd() override { return m_hWnd; }
    COLORREF GetListColor(int index) override;
    int GetListGrid() override;
    // The nodes are about to be freed: the relation pane and the viewers let go of them first.
    void ForgetNodes(const CIChNodeList& nodes) override;
    // The list with the focus that searches (the active viewer's or the relation list), or null.
    CIChList* GetFindList() const;

    // A background operation runs from Begin to End; an environment change that arrives meanwhile
    // is applied when it ends (the worker reads the path variables).
    void BeginBackgroundOperation() { ++m_nBackgroundOps; }
    void EndBackgroundOperation();
    void OnEnvironmentChange();

    // ---- model file commands and background operations (FileCommands.cpp) ----
    // Each launcher runs its operation on a worker thread while the frame waits disabled (in place
    // when no thread can be created) and returns the operation's result.
    int RunSaveModel(CIChDataModel* model, long long* outValue = nullptr);
    int RunLoadModel(CIChDataModel* model);
    int RunExportModel(CIChDataModel* model, const std::wstring& path);
    int RunImportModel(CIChDataModel* model, const std::wstring& path, int mask);
    int RunOsTemplates(CIChDataModel* model, IModelSetupDialog* dialog);
    int RunInstalledComponents(CIChDataModel* model, void* products, void* shortcuts);
    // The window's side of a running operation: the wait dialog, the frame disabled, messages
    // dispatched until the worker ends; the handle is closed. A null handle returns at once.
    void WaitForOperation(HANDLE thread, const SBackgroundOp* op = nullptr);
    // Hides the wait window while the worker asks the user something (a question, an error) and
    // shows it again afterwards; any thread may call it. Nothing when no wait window is shown.
    void ShowWaitWindow(bool show);
    int IsOperationRunning() const;
    // Export through operation 2 into a file beside the target that replaces it when complete.
    int ExportModelFile(CIChDataModel* model, const std::wstring& path);
    // What the user is told of the last file operation's failure on the file at the path: the
    // file, the code and the reason, as the store provider gave them, else the result's text.
    std::wstring LastFileFailure(int result, const std::wstring& path) const;
    // Merges a model file into the model: the chosen categories, after clearing it when asked.
    // 0, E_INVALIDARG without path or category, or the read's error (the model then unchanged).
    int ImportModelFile(const wchar_t* path, int clearFirst, int merge, int jobs, int tasks, int groups, int resources);
    // Merges the objects of one node type (1, 3, 5, 7) of a file, with or without what they hold;
    // 1 when the file was read, else 0. Resources taken are appended to the output list.
    int ImportNodesFromFile(const wchar_t* path, int type, int withSubordinates, CIChNodeList* output = nullptr);
    // Rebuilds the structure tree of the current category.
    void RebuildTree();

    // ---- task generator (InstallTaskCommands.cpp) ----
    // Lists the installed components (operation 5), runs the choice dialog with the source given
    // (the command's last, updated on OK) and the generator of the chosen source into the output
    // list; apply shows the new tasks (also when an error ended the run after some were made).
    // The generator's result, 0 when the list failed or the dialog was cancelled.
    int RunTaskGenerator(int& source, CIChNodeList& output, const std::function<void()>& apply);
    void OnTaskGenerator();
    void OnAddGeneratedTasks(UINT id);

    // ---- frame overrides ----
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, KvUi::CmdHandlerInfo* pInfo) override;
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    std::wstring GetMessageString(UINT nID) const override;
    void RecalcLayout() override;
    // The window's place and bars (the caption bar too) in the profile's workspace section.
    BOOL SaveWorkspace(const wchar_t* section) override;
    int LoadWorkspace(const wchar_t* section, int nCmdShow) override;
    static constexpr const wchar_t* kWorkspaceSection = L"WorkSpace";
    void OnIdleUpdateCmdUI() override;
    void OnClose() override;
    BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    // Fills the placeholder popups ("Панели", "Объект") as they open; FALSE leaves a popup empty.
    BOOL OnShowPopupMenu(HMENU popup);

    // ---- state: the bars, the view pane, the model, and what the commands keep between calls ----
    KvUi::CStatusBar m_wndStatusBar;
    KvUi::CToolBar m_wndToolBar;
    CIChModelViewBar m_wndTreeBar;
    COutputBar m_wndOutput;
    CCategoryBar m_wndCategoryBar;
    CIChCaptionBar m_wndCaptionBar;
    CIChMainViewer m_wndView;
    CIChDataModel m_Model;
    int m_nCurrentCategory = -1;
    CIChNode* m_pCurrentNode = nullptr;
    int m_bLabelEdit = 0;
    int m_bShowResults = 1;
    int m_bStoreExisted = 0;
    std::map<int, KvUi::CWnd*> m_ReportWindows;

    // Handlers.
    LRESULT OnInstanceQuery(WPARAM wp, LPARAM lp);
    LRESULT OnShowOwedView(WPARAM wp, LPARAM lp);
    int OnCreate(LPCREATESTRUCTW cs);
    void OnTimer(UINT_PTR id);
    LRESULT OnSetFocus(WPARAM wp, LPARAM lp);
    LRESULT OnSettingChange(WPARAM wp, LPARAM lp);
    void OnSettings();
    void OnAppExit();
    void OnCategory(UINT id);
    void OnUpdateCategory(KvUi::CCmdUI* pCmdUI);
    void OnKeyTab();
    void OnKeyObjectCommand(UINT id);
    void OnKeyRename();
    void OnTogglePane(UINT id);
    void OnUpdatePane(KvUi::CCmdUI* pCmdUI);
    void OnHistoryBack();
    void OnHistoryForward();
    void OnHistoryHome();
    void OnUpdateHistoryBack(KvUi::CCmdUI* pCmdUI);
    void OnUpdateHistoryForward(KvUi::CCmdUI* pCmdUI);
    void OnFind();
    void OnFindNext();
    void OnUpdateFind(KvUi::CCmdUI* pCmdUI);
    void OnRelationFilter(UINT id);
    void OnUpdateRelationFilter(KvUi::CCmdUI* pCmdUI);
    void OnGotoTree();
    void OnUpdateGotoTree(KvUi::CCmdUI* pCmdUI);
    // Object commands (ObjectCommands.cpp); each takes the command id of its block.
    void OnCreateNode(UINT id);
    void OnUpdateAddNew(KvUi::CCmdUI* pCmdUI);
    void OnAddExisting(UINT id);
    void OnUpdateAddExisting(KvUi::CCmdUI* pCmdUI);
    void OnExcludeFromParent(UINT id);
    void OnUpdateExclude(KvUi::CCmdUI* pCmdUI);
    void OnExcludeFromAll(UINT id);
    void OnUpdateExcludeAll(KvUi::CCmdUI* pCmdUI);
    void OnDeleteNodes(UINT id);
    void OnUpdateDelete(KvUi::CCmdUI* pCmdUI);
    void OnNodeProperties(UINT id);
    void OnUpdateProperties(KvUi::CCmdUI* pCmdUI);
    void OnNewResourceInGroup(UINT id);
    void OnUpdateNewResource(KvUi::CCmdUI* pCmdUI);
    void OnNewTaskManually(UINT id);
    void OnUpdateJobOwn(KvUi::CCmdUI* pCmdUI);
    void OnNewGroupManually(UINT id);
    void OnUpdateNewGroup(KvUi::CCmdUI* pCmdUI);
    void OnToggleControlled(UINT id);
    void OnToggleExecutable(UINT id);
    void OnUpdateNever(KvUi::CCmdUI* pCmdUI);
    // Resources and generated groups (GroupCommands.cpp); each takes the command id of its block.
    void OnAddResources(UINT id);
    void OnGroupFromDirectory(UINT id);
    void OnGroupFromRegistryKey(UINT id);
    void OnUpdateGroupBy(KvUi::CCmdUI* pCmdUI);
    // Takes the nodes out of the model and the views and frees them; with subordinates also
    // every removable node below them that is left without an upper node, pass by pass.
    void DeleteNodesAndSubordinates(CIChNodeList& nodes, bool subordinates);
    // Reports (ReportCommands.cpp).
    void OnReportPassport();
    void OnReportResources();
    void OnReportUsers();
    void OnUpdateReport(KvUi::CCmdUI* pCmdUI);
    // Creates and shows the report window of a command for a request the form wrote; TRUE when
    // the window exists (it owns the request file from here on, also when it fails).
    BOOL OpenReportWindow(int commandId, const wchar_t* requestPath);
    // Destroys every open report window (their runs are aborted, their files deleted).
    void CloseReportWindows();

    // Tool commands (ToolCommands.cpp).
    void OnFindDependencies();
    // Adds the modules the file resources of the list need, links them into the files' groups and
    // marks them; 0 for a null or empty list, else 1.
    int PrepareResources(CIChNodeList* nodes, const std::wstring& title, int mark);
    // Paths to variables (direction 1) or back (0) in the file and directory resources of the list
    // (null: every resource of the model), with the variables given.
    void ReplacePathVariables(CIChNodeList* nodes, const CPathVarMap& vars, int direction);
    // F7: the chosen variables and direction asked for, then the pass over the focused selection.
    void OnReplacePathVariables();
    // Exchange of objects with model files and the group from the security log
    // (ExchangeCommands.cpp); each takes the command id of its block.
    void OnExportNodes(UINT id);
    void OnUpdateExport(KvUi::CCmdUI* pCmdUI);
    void OnImportNodes(UINT id);
    void OnUpdateImportAdd(KvUi::CCmdUI* pCmdUI);
    void OnImportResources(UINT id);
    void OnUpdateImportGroup(KvUi::CCmdUI* pCmdUI);
    void OnGroupFromLog(UINT id);
    // The resources the security log shows for the period (UTC) and user (empty: any): 1 when the
    // log was read (new resources appended), 0 when it cannot be read here (nothing appended).
    int ImportFromSecurityLog(const FILETIME& start, const FILETIME& end, const std::wstring& user, CIChNodeList& out);
    // The nodes of the folder's type that a tree folder lists: all of them without a filter text;
    // for a resources folder those of its family ("*:", "REGISTRY", "DISK_SECTOR", "HARDWARE") or,
    // for another text, those whose path holds it without regard to case; nothing for a filter on
    // a folder of another kind. Appended in the model's order, at most `limit` of them.
    static void CollectFolderNodes(const CIChDataModel& model, const CIChNode* folder, CIChNodeList& out,
                                   size_t limit = (size_t)-1);
    // Model file commands (FileCommands.cpp).
    void OnRecreateModel();
    void OnClearModel();
    void OnRestoreModel();
    void OnSaveModel();
    void OnImportModelXml();
    void OnExportModelXml();
    void OnUpdateModelCommand(KvUi::CCmdUI* pCmdUI);
    void OnUpdateNewModel(KvUi::CCmdUI* pCmdUI);
    void OnUpdateRestoreModel(KvUi::CCmdUI* pCmdUI);
    void OnUpdateSaveModel(KvUi::CCmdUI* pCmdUI);
    void OnUpdateClearModel(KvUi::CCmdUI* pCmdUI);
    void OnUpdateExportModelXml(KvUi::CCmdUI* pCmdUI);

protected:
    // Enables the element when the condition holds and a handler of its command is in the routing
    // (commands whose handlers are not in the program stay disabled).
    void EnableIfHandled(KvUi::CCmdUI* pCmdUI, bool condition);
    // Whether the keyboard focus is in the window or one of its children.
    static bool HoldsFocus(HWND pane, HWND focus);
    HWND GetActiveListWnd() const;
    // The fourth item of the menu bar shows the node's name, at most this many characters of it.
    static constexpr size_t kObjectMenuTextLimit = 40;
    void SetObjectMenuText(const std::wstring& text);
    // Whether the node is the user's own (its id is not negative).
    static bool IsOwn(const CIChNode* n) { return n->m_Id >= 0; }
    // Steps of the object commands.
    CIChViewer* ActiveViewer() const;
    void RefreshActiveViewer();
    void RebuildOrRefresh();
    void UpdateNodeRow(CIChNode* node);
    int GetListSelection(CIChNodeList& nodes);
    CIChNode* CommandNode(UINT id, UINT base);
    HTREEITEM ReceivingItem(UINT id, UINT base, CIChNode** node);
    int RunResourceDialog(CIChResorce* resource, int mask);
    void MakeUniqueName(CIChNode* node);
    void NewNodeUnder(UINT id, UINT base, CIChNode* node);
    // Runs the group and task dialog for a new group or task and hands it to the model: the node
    // added, or null (a cancelled node is freed).
    CIChNode* CreateWithDialog(CIChNode* node);
    void ToggleMark(bool controlled);
    // The resource family (0 files, 1 registry, 2 disk sectors, 3 hardware) of the top resource
    // folder that holds the tree's selected item; -1 for none.
    int SelectedResourceFamily();
    // The model's resource of a new resource's path (the path index must be current), untouched,
    // with the new one freed; null (the new one kept) when the path is new to the model.
    CIChResorce* ReplaceByKnownResource(CIChResorce* resource);
    // The tree item that receives a generated group: one node (the current one, or the single
    // selected row) that is the groups folder, a task or a job of the user's; null otherwise.
    HTREEITEM GroupReceivingItem(UINT id, UINT base);
    // Links the resources (those of paths the model holds replaced by the model's) to the new
    // group, marks the new ones by the extensions, hands the group to the model, links it under
    // the item and reports the count.
    void AddGeneratedGroup(HTREEITEM item, CIChRGroup* group, CIChNodeList& resources,
                           const std::list<std::wstring>& extensions);
    void RunReportCommand(int commandId);
    // The nodes of the focused list, or the tree's node; true when the first is a resource.
    bool GetResourceSelection(CIChNodeList& nodes);
    // After a pass changed resources: the resource tree rebuilt, or the active list refreshed when
    // the current node's kind is at most maxKind.
    void RefreshAfterResourcePass(int maxKind);

    KvUi::CImageList m_imgToolbarHot;
    KvUi::CImageList m_imgToolbarDisabled;
    int m_nBackgroundOps = 0;
    bool m_bEnvironmentPending = false;
    // What the last background operation left besides its result.
    std::wstring m_strLastOpError;
    int m_bLastOpReported = 0;
    bool m_bClosePending = false;          // a close that came during an operation
    bool m_bViewOwed = false;              // a node made current during an operation, not shown yet
    std::atomic<HWND> m_hWaitWnd{nullptr}; // the wait window of the running operation
    std::atomic<int> m_nWaitAsides{0};     // questions of the worker that keep it hidden
    int RunOperation(SBackgroundOp& op);

    KV_DECLARE_MESSAGE_MAP()
};

// Main toolbar buttons (toolbar 128; 0 a separator).
extern const UINT kMainToolbarButtons[12];
