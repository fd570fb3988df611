// Tool commands of the main window: the modules that chosen executables need (F6) and the
// replacement of absolute paths by path variables and back (F7), each a pass over resources on the
// window's thread with the progress window and a way to stop it; the settings (F9).
#include "MainFrm.h"

#include "DaVIdevaRez.h"
#include "ResourceDialogs.h"
#include "ToolDialogs.h"
#include "dlgProperty.h"
#include "resource.h"

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

// Restores a setting however the command ends.
class CSettingGuard {
public:
    CSettingGuard(int& setting, int value) : m_setting(setting), m_old(setting) { m_setting = value; }
    ~CSettingGuard() { m_setting = m_old; }

private:
    int& m_setting;
    int m_old;
};

bool IsReadOnly(const CIChNode* node) { return node->m_Id < 0; }

std::function<void(dlgProcessInfo&)>& CheckObserver() {
    static std::function<void(dlgProcessInfo&)> observer;
    return observer;
}

// How long the check runs before its progress window shows (a short check shows none).
const DWORD kCheckProgressDelay = 400;
DWORD g_checkProgressDelay = kCheckProgressDelay;

// Whether one of the files needs a module: 1 yes, 0 none does, -1 stopped by the user. The files are
// walked in order on a worker thread, which stops at the first file that needs one; the window's
// thread keeps dispatching messages meanwhile with the frame taking no input, and a check that lasts
// shows the progress window, whose "Прервать" stops it.
int AnyFileNeedsModules(HWND frame, const std::vector<std::wstring>& files) {
    if (files.empty())
        return 0;
    struct Shared {
        std::atomic<bool> stop{false};
        std::atomic<int> found{0};
        std::atomic<int> done{0};
    };
    auto shared = std::make_shared<Shared>();
    HANDLE ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ended)
        throw std::runtime_error("the dependency check could not be started");
    std::thread worker([shared, files, ended]() {
        for (const std::wstring& file : files) {
            if (shared->stop)
                break;
            bool needs = false;
            try {
                needs = !FindDependentModules(file).empty();
            } catch (...) {
                // A file that cannot be walked needs nothing.
            }
            if (needs) {
                shared->found = 1;
                break;
            }
            ++shared->done;
        }
        ::SetEvent(ended);
    });
    ::EnableWindow(frame, FALSE);
    int abort = 0;
    std::unique_ptr<dlgProcessInfo> progress;
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        DWORD r = ::MsgWaitForMultipleObjects(1, &ended, FALSE, 100, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            break;
        if (!progress && !abort && ::GetTickCount64() - start >= g_checkProgressDelay) {
            progress.reset(new dlgProcessInfo(frame, &abort));
            if (progress->Create()) {
                progress->SetWindowText(KvUi::LoadStr(IDS_TOOL_FINDING_DEPENDENCIES));
                progress->SetRange((int)files.size());
                progress->ShowResourceInfo(nullptr);
                progress->ShowWindow(SW_SHOW);
                ::EnableWindow(progress->m_hWnd, TRUE);
            } else {
                progress.reset();
            }
        }
        if (progress && progress->m_hWnd) {
            int done = shared->done;
            progress->SetPos(done);
            if (done < (int)files.size())
                progress->m_wndResource.SetWindowText(files[done]);
            if (CheckObserver())
                CheckObserver()(*progress);
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The program is ending: the quit message waits for the main loop, the check stops.
                ::PostQuitMessage((int)msg.wParam);
                abort = 1;
                break;
            }
            if (!progress || !progress->m_hWnd || !::IsDialogMessageW(progress->m_hWnd, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (abort)
            shared->stop = true;
    }
    worker.join();
    ::CloseHandle(ended);
    ::EnableWindow(frame, TRUE);
    if (progress) {
        if (progress->m_hWnd)
            progress->DestroyWindow();
        progress.reset();
        ::SetForegroundWindow(frame);
    }
    if (shared->found)
        return 1;
    return abort ? -1 : 0;
}

} // namespace

void SetDependencyCheckObserver(std::function<void(dlgProcessInfo&)> observer, DWORD delay) {
    CheckObserver() = std::move(observer);
    g_checkProgressDelay = CheckObserver() ? delay : kCheckProgressDelay;
}

bool CMainFrame::GetResourceSelection(CIChNodeList& nodes) {
    CIChNode* first = GetCurrentObject(&nodes);
    // With the focus in the tree the command acts on the tree's node.
    if (nodes.empty() && first && first->IsModelNode())
        nodes.push_back(first);
    return !nodes.empty() && nodes.front()->GetType() == NodeTypeResource;
}

void CMainFrame::RefreshAfterResourcePass(int maxKind) {
    if (m_nCurrentCategory == ID_CATEGORY_RESOURCES || (m_pCurrentNode && m_pCurrentNode->GetType() <= maxKind))
        RebuildOrRefresh();
}

void CMainFrame::OnFindDependencies() {
    CIChNodeList nodes;
    if (!GetResourceSelection(nodes))
        return;
    // The dialog opens only when one of the chosen files needs a module. The wait cursor stays with
    // the check: the dialogs that follow take input.
    int found;
    {
        KvUi::CWaitCursor wait;
        found = AnyFileNeedsModules(m_hWnd, DependencyRoots(nodes, m_Model.m_PathVars));
    }
    if (found < 0)
        return;
    if (found > 0) {
        // The dialog walks the chosen files again and lists every module it finds.
        dlgDependens dlg(m_hWnd, &nodes, m_Model.m_PathVars);
        INT_PTR answer = dlg.DoModal();
        if (answer == IDOK) {
            CSettingGuard addDepends(theApp.m_bAddDepends, 1);
            PrepareResources(&nodes, KvUi::LoadStr(IDS_TOOL_ADDING_DEPENDENCIES), dlg.m_bMarkExecutable);
        }
        // A file changed since the check may leave the dialog with nothing: then the message below.
        if (answer != kNoDependencies)
            return;
    }
    std::wstring text;
    if (nodes.size() == 1) {
        wchar_t buffer[600];
        _snwprintf(buffer, 599, KvUi::LoadStr(IDS_TOOL_NO_DEPENDENCY).c_str(), nodes.front()->m_Name.c_str());
        buffer[599] = 0;
        text = buffer;
    } else {
        text = KvUi::LoadStr(IDS_TOOL_NO_DEPENDENCIES);
    }
    KvUi::ShowMessage(m_hWnd, text, nullptr, MB_ICONINFORMATION);
}

int CMainFrame::PrepareResources(CIChNodeList* nodes, const std::wstring& title, int mark) {
    if (!nodes || nodes->empty())
        return 0;
    m_Model.RebuildPathIndex();
    int added = 0, done = 0;
    int seconds;
    bool aborted;
    {
        CResourcePass pass(m_hWnd, title, (int)nodes->size());
        for (CIChNode* node : *nodes) {
            if (pass.Aborted())
                break;
            CIChResorce* file = node->GetType() == NodeTypeResource ? static_cast<CIChResorce*>(node) : nullptr;
            if (file && file->m_SubType == ResFile) {
                try {
                    // A read-only file (the board's, negative ID) keeps its mark and time, as a
                    // read-only dependency does; its modules are added like any file's, as the
                    // dependent-module dialog listed them.
                    if (!IsReadOnly(file)) {
                        file->m_Executable = mark;
                        file->SetModifyTime(nullptr);
                    }
                    std::wstring path = file->m_Name;
                    ExpandPathVariable(path, m_Model.m_PathVars);
                    for (const std::wstring& module : FindDependentModules(path)) {
                        CIChNode* dependency = m_Model.FindNodeByName(NodeTypeResource, module, ResFile);
                        if (!dependency) {
                            CIChResorce* fresh = new CIChResorce;
                            fresh->SetSubType(ResFile);
                            fresh->SetName(module);
                            fresh->m_Executable = mark;
                            CIChNode* root = fresh;
                            added += m_Model.AddNodeTree(&root, 0);
                            dependency = root;
                        } else if (!IsReadOnly(dependency)) {
                            CIChResorce* known = static_cast<CIChResorce*>(dependency);
                            if (known->m_SubType == ResFile)
                                known->m_Executable = mark;
                            known->SetModifyTime(nullptr);
                        }
                        for (CIChNode* group : file->m_Uppers)
                            if (m_Model.CanLink(dependency, group))
                                dependency->LinkTo(group);
                    }
                } catch (...) {
                    // A file whose modules cannot be determined adds nothing; the pass goes on.
                }
            }
            pass.Step(++done, node);
        }
        aborted = pass.Aborted();
        seconds = pass.Finish();
    }
    m_Model.m_bModified = 1;
    RefreshAfterResourcePass(NodeTypeTask);
    if (m_bShowResults) {
        std::wstring text;
        if (aborted) {
            text = KvUi::LoadStr(IDS_TOOL_PREPARE_ABORTED);
        } else if (seconds >= 0) {
            wchar_t count[64];
            wsprintfW(count, KvUi::LoadStr(IDS_TOOL_PREPARE_ADDED).c_str(), added);
            text = ElapsedMessage(KvUi::LoadStr(IDS_TOOL_PREPARE_DONE).c_str(), seconds) + count;
        }
        if (!text.empty())
            KvUi::ShowMessage(m_hWnd, text, nullptr, MB_ICONINFORMATION);
    }
    return 1;
}

void CMainFrame::ReplacePathVariables(CIChNodeList* nodes, const CPathVarMap& vars, int direction) {
    if (vars.empty())
        return;
    CIChNodeList all;
    if (!nodes) {
        all = m_Model.m_Resources;
        nodes = &all;
    }
    const std::wstring title = KvUi::LoadStr(direction ? IDS_TOOL_PATHS_TO_VARS : IDS_TOOL_VARS_TO_PATHS);
    bool changed = false, aborted;
    int seconds, done = 0;
    {
        CResourcePass pass(m_hWnd, title, (int)nodes->size());
        for (CIChNode* node : *nodes) {
            if (pass.Aborted())
                break;
            ++done;
            if (node->GetType() == NodeTypeResource && !IsReadOnly(node)) {
                CIChResorce* r = static_cast<CIChResorce*>(node);
                if (r->m_SubType == ResFile || r->m_SubType == ResDirectory) {
                    std::wstring path = r->m_Name;
                    int replaced = direction ? CollapsePathVariable(path, vars) : ExpandPathVariable(path, vars);
                    if (replaced) {
                        if (!direction)
                            while (!path.empty() && path.back() == L'\\')
                                path.pop_back();
                        r->SetName(path);
                        r->SetModifyTime(nullptr);
                        changed = true;
                    }
                }
            }
            pass.Step(done, node);
        }
        aborted = pass.Aborted();
        seconds = pass.Finish();
    }
    if (changed) {
        m_Model.m_bModified = 1;
        m_Model.RebuildPathIndex();
        RefreshAfterResourcePass(NodeTypeGroup);
    }
    if (!m_bShowResults)
        return;
    std::wstring text;
    if (aborted)
        text = KvUi::LoadStr(direction ? IDS_TOOL_PATHS_TO_VARS_ABORTED : IDS_TOOL_VARS_TO_PATHS_ABORTED);
    else if (seconds >= 0)
        text = ElapsedMessage(
            KvUi::LoadStr(direction ? IDS_TOOL_PATHS_TO_VARS_DONE : IDS_TOOL_VARS_TO_PATHS_DONE).c_str(), seconds);
    if (!text.empty())
        KvUi::ShowMessage(m_hWnd, text, nullptr, MB_ICONINFORMATION);
}

void CMainFrame::OnReplacePathVariables() {
    CIChNodeList nodes;
    if (!GetResourceSelection(nodes))
        return;
    dlgReplEnvVar dlg(m_hWnd, &m_Model.m_PathVars);
    if (dlg.DoModal() != IDOK)
        return;
    ReplacePathVariables(&nodes, dlg.m_Table, dlg.m_nDirection);
}

void CMainFrame::OnSettings() {
    dlgProperty dlg(this);
    if (dlg.DoModal() != IDOK)
        return;
    // Every list takes the grid setting and the colours as they are now: the viewers' lists, the
    // active one filled again, and the relation pane's list emptied and filled again.
    if (m_wndView.m_hWnd)
        m_wndView.SetGridLines(theApp.m_bGrid);
    RefreshActiveViewer();
    if (m_wndOutput.m_wndList.m_hWnd) {
        m_wndOutput.m_wndList.SetGridLines(theApp.m_bGrid);
        CIChNodeList shown = m_wndOutput.GetShownNodes();
        m_wndOutput.ShowRelations(nullptr);
        if (!shown.empty())
            m_wndOutput.ShowRelations(&shown);
    }
}
