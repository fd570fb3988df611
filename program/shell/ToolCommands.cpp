// Tool commands of the main window: the modules that chosen executables need (F6) and the
// replacement of absolute paths by path variables and back (F7), each a pass over resources on the
// window's thread with the progress window and a way to stop it; the settings (F9).
#include "MainFrm.h"

#include "DaVIdevaRez.h"
#include "ResourceDialogs.h"
#include "ToolDialogs.h"
#include "dlgProperty.h"
#include "resource.h"

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

} // namespace

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
    INT_PTR answer = IDCANCEL;
    int mark = 1;
    if (!DependencyRoots(nodes, m_Model.m_PathVars).empty()) {
        // The dialog walks the files itself, with progress and a way to stop; it ends on its own
        // when no file needs any module.
        dlgDependens dlg(m_hWnd, &nodes, m_Model.m_PathVars);
        answer = dlg.DoModal();
        mark = dlg.m_bMarkExecutable;
        if (answer != kNoDependencies) {
            if (answer == IDOK) {
                CSettingGuard addDepends(theApp.m_bAddDepends, 1);
                PrepareResources(&nodes, L"Идет добавление зависимых модулей", mark);
            }
            return;
        }
    }
    std::wstring text;
    if (nodes.size() == 1) {
        wchar_t buffer[600];
        _snwprintf(buffer, 599, L"Для файла '%ls' не найдено ни одной зависимости.", nodes.front()->m_Name.c_str());
        buffer[599] = 0;
        text = buffer;
    } else {
        text = L"Для выбранных файлов не найдено ни одной зависимости.";
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
            text = L"Подготовка ресурсов прервана пользователем";
        } else if (seconds >= 0) {
            wchar_t count[64];
            wsprintfW(count, L"\r\nДобавлено %d новых ресурсов", added);
            text = ElapsedMessage(L"Подготовка ресурсов успешно завершена ", seconds) + count;
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
    const wchar_t* title = direction ? L"Идет поиск и замена абсолютных путей на переменные окружения"
                                     : L"Идет поиск и замена переменных окружения на абсолютные пути";
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
        text = direction ? L"Замена путей на переменные прервана пользователем"
                         : L"Замена переменных на пути прервана пользователем";
    else if (seconds >= 0)
        text = ElapsedMessage(direction ? L"Замена путей на переменные успешно завершена "
                                        : L"Замена переменных на пути успешно завершена ",
                              seconds);
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
