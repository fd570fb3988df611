// The model file commands of the main window (new model, clear, restore, save, import and export of
// model files) and the launchers that run long model operations on a worker thread while the window
// waits.
#include "MainFrm.h"

#include "BackgroundOp.h"
#include "DaVIdevaRez.h"
#include "ExchangeDialogs.h"
#include "IChFolder.h"
#include "ModelStore.h"
#include "dlgException.h"

#include "resource.h"

#include <valkit.h>

#include <unordered_set>
#include <vector>

namespace {

std::wstring StoreFilePath() {
    std::wstring folder = theApp.GetStoreFolder();
    return folder.empty() ? std::wstring() : folder + L"\\Localhost.vdb";
}

} // namespace

// ---- background operations ------------------------------------------------------------------------

int CMainFrame::RunOperation(SBackgroundOp& op) {
    m_strLastOpError.clear();
    m_bLastOpReported = 0;
    BeginBackgroundOperation();
    HANDLE thread = CreateBackgroundThread(BackgroundOperationProc, &op);
    if (thread) {
        WaitForOperation(thread, &op);
    } else {
        // No thread: the operation runs here, with the same arguments.
        RunBackgroundOperation(op);
        op.m_bDone = 1;
    }
    EndBackgroundOperation();
    if (m_bViewOwed && !IsOperationRunning())
        PostMessage(WM_SHOW_OWED_VIEW);
    if (m_bClosePending && !IsOperationRunning()) {
        m_bClosePending = false;
        PostMessage(WM_CLOSE);
    }
    m_strLastOpError = op.m_strError;
    m_bLastOpReported = op.m_bReported;
    return op.m_nResult;
}

int CMainFrame::RunSaveModel(CIChDataModel* model, long long* outValue) {
    SBackgroundOp op;
    op.m_nOp = OpSave;
    op.m_pModel = model;
    op.m_pArg = outValue;
    return RunOperation(op);
}

int CMainFrame::RunLoadModel(CIChDataModel* model) {
    if (m_wndCaptionBar.m_hWnd) {
        m_wndCaptionBar.m_strBackgroundText.clear();
        m_wndCaptionBar.ResetBackground();
    }
    SBackgroundOp op;
    op.m_nOp = OpLoad;
    op.m_pModel = model;
    return RunOperation(op);
}

int CMainFrame::RunExportModel(CIChDataModel* model, const std::wstring& path) {
    SBackgroundOp op;
    op.m_nOp = OpExportXml;
    op.m_pModel = model;
    op.m_strPath = path;
    return RunOperation(op);
}

int CMainFrame::RunImportModel(CIChDataModel* model, const std::wstring& path, int mask) {
    SBackgroundOp op;
    op.m_nOp = OpImportXml;
    op.m_pModel = model;
    op.m_nResult = mask;
    op.m_strPath = path;
    return RunOperation(op);
}

int CMainFrame::RunOsTemplates(CIChDataModel* model, IModelSetupDialog* dialog) {
    SBackgroundOp op;
    op.m_nOp = OpOsTemplates;
    op.m_pModel = model;
    op.m_pExtra = dialog;
    return RunOperation(op);
}

int CMainFrame::RunInstalledComponents(CIChDataModel* model, void* products, void* shortcuts) {
    SInstalledLists lists;
    lists.products = products;
    lists.shortcuts = shortcuts;
    SBackgroundOp op;
    op.m_nOp = OpInstalledComponents;
    op.m_pModel = model;
    op.m_nResult = 1; // without the components module nothing is listed
    op.m_pExtra = &lists;
    return RunOperation(op);
}

void CMainFrame::WaitForOperation(HANDLE thread, const SBackgroundOp* op) {
    if (!thread)
        return;
    dlgWait* wait = new dlgWait(m_hWnd);
    EnableWindow(FALSE);
    // The bars show what the window answers while the worker runs: nothing.
    OnIdleUpdateCmdUI();
    if (wait->Create()) {
        // The worker runs already: a question it asks first keeps the wait window hidden.
        m_hWaitWnd = wait->m_hWnd;
        wait->EnableWindow(TRUE);
        if (m_nWaitAsides.load() == 0)
            wait->ShowWindow(SW_SHOW);
    }
    bool quit = false;
    WPARAM quitCode = 0;
    auto pump = [&]() {
        EnableWindow(FALSE);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) { // kept for the application's loop
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            ::TranslateMessage(&msg);
            // An exception of a dispatched message is reported here: it must not unwind past the
            // worker, which still uses the record on the launcher's stack.
            try {
                ::DispatchMessageW(&msg);
            } catch (...) {
                theApp.ReportExceptionFromWindow();
            }
        }
    };
    for (;;) {
        DWORD r = BackgroundWait(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 + 1) {
            pump();
            continue;
        }
        if (r == WAIT_OBJECT_0)
            break;
        // The wait failed: the record lies on the launcher's stack and the worker may still use it,
        // so the launcher does not return before the worker has said it is done with the record.
        for (;;) {
            if (op ? op->m_bDone.load() != 0 : ::WaitForSingleObject(thread, 0) != WAIT_TIMEOUT)
                break;
            pump();
            ::Sleep(10);
        }
        break;
    }
    ::CloseHandle(thread);
    m_hWaitWnd = nullptr;
    EnableWindow(TRUE);
    if (wait->m_hWnd)
        wait->DestroyWindow();
    delete wait;
    ::SetForegroundWindow(m_hWnd);
    if (quit)
        ::PostQuitMessage((int)quitCode);
}

void CMainFrame::ShowWaitWindow(bool show) {
    // Counted, since the worker may ask before the wait window is made; asynchronous, since the
    // window's thread may itself be waiting for the caller.
    const int asides = show ? --m_nWaitAsides : ++m_nWaitAsides;
    if (HWND wait = m_hWaitWnd.load())
        if (!show || asides == 0)
            ::ShowWindowAsync(wait, show ? SW_SHOWNA : SW_HIDE);
}

// ---- helpers ------------------------------------------------------------------------------------------

void CMainFrame::LetGoOfModelNodes() {
    // The worker is about to free or replace the model's nodes: no pane may keep one meanwhile. The
    // tree's items name nodes too, and a tree taking the focus selects an item of its own accord,
    // which would make a freed node current; the tree is empty until RebuildTree after the run.
    SetCurrentNode(nullptr, 1);
    if (GetTree().m_hWnd)
        GetTree().ClearTree();
    m_bViewOwed = false;
}

void CMainFrame::RebuildTree() {
    if (m_nCurrentCategory >= 0 && GetTree().m_hWnd)
        GetTree().BuildTree(&m_Model, m_nCurrentCategory);
}

int CMainFrame::IsOperationRunning() const { return m_nBackgroundOps > 0; }

// ---- commands -----------------------------------------------------------------------------------------

void CMainFrame::OnUpdateModelCommand(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(TRUE); }

void CMainFrame::OnUpdateNewModel(KvUi::CCmdUI* pCmdUI) {
    // The setup comes with the Windows templates; without them there is nothing to set up.
    pCmdUI->Enable(GetModelSetupDialogFactory() != nullptr);
}

void CMainFrame::OnUpdateRestoreModel(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(TRUE); }

void CMainFrame::OnUpdateSaveModel(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(m_Model.m_bModified != 0); }

void CMainFrame::OnUpdateClearModel(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(m_Model.GetNodeCount() > 0); }

void CMainFrame::OnUpdateExportModelXml(KvUi::CCmdUI* pCmdUI) { pCmdUI->Enable(m_Model.GetNodeCount() > 0); }

void CMainFrame::OnRecreateModel() {
    ModelSetupDialogFactory factory = GetModelSetupDialogFactory();
    if (!factory)
        return;
    std::unique_ptr<IModelSetupDialog> dlg = factory(this);
    if (!dlg || dlg->RunModal() != IDOK)
        return;
    UINT question = 0;
    if (dlg->GetClearModel()) {
        if (m_Model.GetNodeCount() > 0)
            question = IDS_FILE_MODEL_DESTROYED;
    } else if (!m_Model.m_Jobs.empty() && static_cast<CIChJob*>(m_Model.m_Jobs.front())->m_SubType == JobBoard) {
        question = IDS_FILE_MODEL_INCOMPATIBLE;
        dlg->SetClearModel(1);
    }
    if (question) {
        if (MessageBox(KvUi::LoadStr(question), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        KvUi::CWaitCursor wait;
        SetCurrentNode(nullptr, 1);
        m_Model.NewModel(1, JobSecondEdition);
        RebuildTree();
        m_Model.m_bModified = 1;
    }
    RunOsTemplates(&m_Model, dlg.get());
    RebuildTree();
}

void CMainFrame::OnClearModel() {
    if (m_Model.GetNodeCount() == 0)
        return;
    if (MessageBox(KvUi::LoadStr(IDS_FILE_MODEL_DESTROYED), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    KvUi::CWaitCursor wait;
    SetCurrentNode(nullptr, 1);
    m_Model.NewModel(1, m_Model.GetDefaultJobSubType());
    RebuildTree();
    m_Model.m_bModified = 1;
}

void CMainFrame::OnRestoreModel() {
    if (m_Model.m_bModified &&
        MessageBox(KvUi::LoadStr(IDS_FILE_CHANGES_LOST), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    LetGoOfModelNodes();
    int result = RunLoadModel(&m_Model);
    {
        KvUi::CWaitCursor wait;
        RebuildTree();
    }
    if (result == 0)
        return;
    if (!m_bStoreExisted) {
        // No store at start: the new-model setup, or, without it, a new empty model as after a
        // cancelled setup.
        std::unique_ptr<IModelSetupDialog> dlg;
        if (ModelSetupDialogFactory factory = GetModelSetupDialogFactory())
            dlg = factory(this);
        INT_PTR answer = dlg ? dlg->RunModal() : IDCANCEL;
        m_Model.NewModel(1, JobSecondEdition);
        // The empty new model is what every start without a store begins with: nothing to save yet.
        if (answer != IDOK)
            m_Model.m_bModified = 0;
        if (answer == IDOK)
            RunOsTemplates(&m_Model, dlg.get());
        KvUi::CWaitCursor wait;
        RebuildTree();
        return;
    }
    // The store file was there and the provider could not open it (a damaged file): say why, and
    // leave the file as it is. Other failures (no provider, no subject of this computer) stay quiet.
    if (m_bLastOpReported || m_strLastOpError.empty())
        return;
    MessageBox(format_wstring(KvUi::LoadStr(IDS_FILE_STORE_NOT_LOADED).c_str(), StoreFilePath().c_str(),
                              m_strLastOpError.c_str()),
               nullptr, MB_ICONERROR);
}

void CMainFrame::OnSaveModel() {
    if (!m_Model.m_bModified)
        return;
    int result = RunSaveModel(&m_Model, nullptr);
    if (result == 0 || m_bLastOpReported)
        return;
    std::wstring text;
    if (result == kStoreResultNoEdition) {
        text = KvUi::LoadStr(IDS_FILE_NO_EDITION);
    } else if (result == kStoreResultFailed) {
        // The save has shown the missing board folder itself; a store that cannot be opened is told
        // here, with the provider's reason.
        if (theApp.GetStoreFolder().empty())
            return;
        text = m_strLastOpError;
        if (text.empty())
            theApp.GetErrorText((DWORD)result, text);
        text = KvUi::LoadStr(IDS_FILE_SAVE_FAILED) + text;
    } else {
        return; // the save's own error dialog has shown this failure
    }
    MessageBox(text, nullptr, MB_ICONERROR);
}

// ---- export and import of model files ----------------------------------------------------------------

namespace {

std::wstring ErrorText(int code) {
    std::wstring text;
    theApp.GetErrorText((DWORD)code, text);
    return text;
}

// A name beside the target for the file being written: "<target>.<process id>.tmp".
std::wstring SiblingTempName(const std::wstring& path) {
    return path + format_wstring(L".%lu.tmp", ::GetCurrentProcessId());
}

// Whether a process of this id runs (one that cannot be asked about is taken to run).
bool ProcessRuns(DWORD pid) {
    HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h)
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    bool runs = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    ::CloseHandle(h);
    return runs;
}

// The process id in a name of the form "<target>.<process id>.tmp"; 0 when the name is not one.
DWORD ExportTempOwner(const wchar_t* name) {
    size_t len = wcslen(name);
    if (len <= 4 || ::CompareStringOrdinal(name + len - 4, 4, L".tmp", 4, TRUE) != CSTR_EQUAL)
        return 0;
    size_t end = len - 4, start = end;
    while (start > 0 && name[start - 1] >= L'0' && name[start - 1] <= L'9')
        --start;
    // Digits, a dot before them and a name before the dot.
    if (start == end || end - start > 10 || start < 2 || name[start - 1] != L'.')
        return 0;
    unsigned long long pid = wcstoull(std::wstring(name + start, end - start).c_str(), nullptr, 10);
    return pid && pid <= 0xFFFFFFFFull ? static_cast<DWORD>(pid) : 0;
}

// Removes what exports into the folder of target left when their process ended half-way (killed,
// or the machine stopped): the model files "<name>.<process id>.tmp" of processes that no longer
// run, held by nobody. Their store's own temporary files ("....tmp.new") go with the next commit
// into the folder, which the export makes.
void RemoveStrayExports(const std::wstring& target) {
    size_t slash = target.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileExW((folder + L"*.tmp").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return;
    const DWORD self = ::GetCurrentProcessId();
    do {
        if (fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        DWORD owner = ExportTempOwner(fd.cFileName);
        if (owner && owner != self && !ProcessRuns(owner))
            Varno::RemoveStrayStoreFile(folder + fd.cFileName);
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
}

} // namespace

std::wstring CMainFrame::LastFileFailure(int result, const std::wstring& path) const {
    // The file's own failure as the store provider gave it (the file's path, the code and its
    // text), else the text of the result code.
    if (m_strLastOpError.empty())
        return ErrorText(result);
    // An export writes under a name beside the target: the user knows the target's.
    std::wstring cause = m_strLastOpError;
    const std::wstring temp = SiblingTempName(path);
    for (size_t at = cause.find(temp); at != std::wstring::npos; at = cause.find(temp, at + path.size()))
        cause.replace(at, temp.size(), path);
    return cause;
}

int CMainFrame::ExportModelFile(CIChDataModel* model, const std::wstring& path) {
    // The file is written beside the target and replaces it only when complete, so a failed
    // export never costs the file that was there.
    const std::wstring temp = SiblingTempName(path);
    ::DeleteFileW(temp.c_str());
    RemoveStrayExports(path);
    int result = RunExportModel(model, temp);
    if (result == 0 && !::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        result = HRESULT_FROM_WIN32(::GetLastError());
    if (result != 0)
        ::DeleteFileW(temp.c_str());
    return result;
}

int CMainFrame::ImportModelFile(const wchar_t* path, int clearFirst, int merge, int jobs, int tasks, int groups,
                                int resources) {
    if (!path || !(jobs || tasks || groups || resources))
        return E_INVALIDARG;
    const int mask = (resources ? ImportResources : 0) | (groups ? ImportGroups : 0) | (tasks ? ImportTasks : 0) |
                     (jobs ? ImportJobs : 0);
    // The file is read whole first: one that cannot be read leaves the model as it was.
    CIChDataModel temp;
    int result = RunImportModel(&temp, path, mask);
    if (result != 0)
        return result;

    // The views let go of the nodes; the clearing and the merge run on the worker as the read did,
    // with the wait window (a merge into a large model takes seconds).
    LetGoOfModelNodes();
    SImportMerge request;
    request.target = &m_Model;
    request.mask = mask;
    request.clearFirst = clearFirst;
    request.merge = merge;
    SBackgroundOp op;
    op.m_nOp = OpMergeImport;
    op.m_pModel = &temp;
    op.m_pExtra = &request;
    int count = RunOperation(op);
    m_Model.m_bModified = 1;
    if (m_bLastOpReported)
        return count; // the operation's error dialog has shown the failure
    if (m_bShowResults)
        MessageBox(count > 0 ? format_wstring(KvUi::LoadStr(IDS_FILE_IMPORT_ADDED).c_str(), count)
                             : KvUi::LoadStr(IDS_FILE_IMPORT_NONE),
                   nullptr, MB_ICONINFORMATION);
    return 0;
}

int CMainFrame::ImportNodesFromFile(const wchar_t* path, int type, int withSubordinates, CIChNodeList* output) {
    if (!path)
        return 0;
    int mask = 0;
    switch (type) {
    case NodeTypeResource:
        mask = ImportResources;
        break;
    case NodeTypeGroup:
        mask = withSubordinates ? ImportGroups | ImportResources : ImportGroups;
        break;
    case NodeTypeTask:
        mask = withSubordinates ? ImportTasks | ImportGroups | ImportResources : ImportTasks;
        break;
    case NodeTypeJob:
        mask = withSubordinates ? 15 : ImportJobs;
        break;
    }
    CIChDataModel temp;
    if (RunImportModel(&temp, path, mask) != 0) {
        MessageBox(KvUi::LoadStr(IDS_FILE_NODES_UNREADABLE), nullptr, MB_ICONERROR);
        return 0;
    }
    KvUi::CWaitCursor wait;
    temp.NewModel(0, 0);
    CIChNodeList* list = temp.GetNodeList(type);
    if (!list || type == NodeTypeSubject)
        return 0;
    if (list->empty()) {
        MessageBox(KvUi::LoadStr(IDS_FILE_NODES_NONE_OF_KIND), nullptr, MB_ICONINFORMATION);
        return 0;
    }
    const int updatePresent = theApp.m_bUpdatePresent;
    int count = 0;
    if (withSubordinates && type != NodeTypeResource) {
        m_Model.RebuildPathIndex();
        CIChFolder folder(FolderSubjects);
        for (CIChNode* n : *list) {
            CIChNodeList uppers = n->m_Uppers;
            for (CIChNode* u : uppers)
                n->UnlinkFrom(u);
            n->LinkTo(&folder);
        }
        CIChNodeList related;
        folder.GetRelatedNodes(&related, 1);
        std::unordered_set<CIChNode*> own(list->begin(), list->end());
        std::unordered_set<CIChNode*> subordinates;
        for (CIChNode* n : related)
            if (!own.count(n))
                subordinates.insert(n);
        list->clear();
        for (int lower = NodeTypeResource; lower < type; lower += 2) {
            CIChNodeList& lowers = *temp.GetNodeList(lower);
            for (auto it = lowers.begin(); it != lowers.end();) {
                CIChNode* n = *it;
                if (subordinates.count(n)) {
                    it = lowers.erase(it); // travels with the folder
                } else if (lower != NodeTypeResource) {
                    it = lowers.erase(it);
                    delete n;
                } else {
                    ++it; // freed with the file's model
                }
            }
        }
        CIChNode* root = &folder;
        count = m_Model.AddNodeTree(&root, updatePresent);
    } else if (type == NodeTypeResource) {
        m_Model.RebuildPathIndex();
        for (CIChNode* g : temp.m_Groups) {
            for (CIChNode* member : g->m_Members)
                member->m_Uppers.remove(g);
            g->m_Members.clear();
        }
        std::vector<CIChNode*> roots(list->begin(), list->end());
        list->clear();
        for (CIChNode* r : roots)
            r->m_Uppers.clear();
        count = m_Model.AddNodeTrees(roots, 0);
        if (output)
            output->insert(output->end(), roots.begin(), roots.end());
    } else {
        std::vector<CIChNode*> roots(list->begin(), list->end());
        list->clear();
        for (CIChNode* n : roots)
            n->UnlinkAll();
        std::vector<int> added;
        count = m_Model.AddNodeTrees(roots, updatePresent, &added);
        CIChModelView& tree = GetTree();
        for (size_t i = 0; i < roots.size(); ++i)
            if (added[i] > 0 && tree.m_hWnd)
                tree.InsertNodeItem(roots[i], tree.GetRootItem() ? tree.GetRootItem() : TVI_ROOT);
    }
    // Anything added changes the model, whether or not the counts are shown.
    if (count > 0)
        m_Model.m_bModified = 1;
    if (m_bShowResults)
        MessageBox(count > 0 ? format_wstring(KvUi::LoadStr(IDS_FILE_NODES_ADDED).c_str(), count)
                             : KvUi::LoadStr(IDS_FILE_NODES_NONE),
                   nullptr, MB_ICONINFORMATION);
    return 1;
}

void CMainFrame::OnImportModelXml() {
    if (m_Model.m_bModified &&
        MessageBox(KvUi::LoadStr(IDS_FILE_CHANGES_LOST), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    dlgImportModel dlg(m_hWnd);
    if (dlg.DoModal() != IDOK)
        return;
    int result = ImportModelFile(dlg.m_strFileName.c_str(), dlg.m_bClearModel, dlg.m_bMergeExisting,
                                 dlg.m_bTasks || dlg.m_bGroups, dlg.m_bTasks, dlg.m_bGroups, dlg.m_bResources);
    {
        KvUi::CWaitCursor wait;
        RebuildTree();
    }
    if (result != 0 && !m_bLastOpReported)
        MessageBox(KvUi::LoadStr(IDS_FILE_IMPORT_FAILED) + L"\n" + LastFileFailure(result, dlg.m_strFileName), nullptr,
                   MB_ICONERROR);
}

void CMainFrame::OnExportModelXml() {
    dlgExportModel dlg(m_hWnd);
    if (dlg.DoModal() != IDOK)
        return;
    int result = ExportModelFile(&m_Model, dlg.m_strFileName);
    if (result != 0) {
        if (!m_bLastOpReported)
            MessageBox(KvUi::LoadStr(IDS_FILE_EXPORT_FAILED) + L"\n" + LastFileFailure(result, dlg.m_strFileName),
                       nullptr, MB_ICONERROR);
        return;
    }
    MessageBox(format_wstring(KvUi::LoadStr(IDS_FILE_EXPORTED).c_str(), dlg.m_strFileName.c_str()), nullptr,
               MB_ICONINFORMATION);
}
