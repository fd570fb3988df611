// The task generator of the main window: the tool command (3600, F10) and the job's command (3070,
// 3071 from the list), and the installed-components list (background operation 5) that both start
// with, plugged into the background operations.
#include "BackgroundOp.h"
#include "DaVIdevaRez.h"
#include "GenerateHost.h"
#include "MainFrm.h"

#include "GenerateDialogs.h"
#include "VoRurod.h"
#include "resource.h"

namespace {

// Operation 5 on the worker thread: the installed products and the Start-menu shortcuts into the
// launcher's lists; an error is shown over the main window and answered with 1.
int InstalledComponentsRoutine(CMainFrame* frame, void* products, void* shortcuts) {
    if (!frame || !products || !shortcuts)
        return 1;
    return GetInstalledComponentsList(MakeGenerateHost(frame), frame->m_hWnd,
                                      *static_cast<std::list<CInstalledProductInfo>*>(products),
                                      *static_cast<CShortcutList*>(shortcuts));
}

// The frame's launcher runs the routine once this file is part of the program (it is whenever the
// frame's commands are).
const struct CRegisterInstalledComponents {
    CRegisterInstalledComponents() { RegisterInstalledComponents(&InstalledComponentsRoutine); }
} g_registerInstalledComponents;

// The source each command chose last, kept for the program's run (0: Windows Installer's data,
// 1: the Start-menu shortcuts).
int g_toolSource = 0;
int g_jobSource = 0;

} // namespace

int CMainFrame::RunTaskGenerator(int& source, CIChNodeList& output, const std::function<void()>& apply) {
    std::list<CInstalledProductInfo> products;
    CShortcutList shortcuts;
    {
        KvUi::CWaitCursor wait;
        if (RunInstalledComponents(&m_Model, &products, &shortcuts) != 0)
            return 0; // the operation has shown its error
    }
    SGeneratorSettings settings;
    settings.bAddDepends = theApp.m_bAddDepends;
    settings.bExeByExten = theApp.m_bExeByExten;
    settings.strExeExtensions = theApp.m_strExeExtensions;
    dlgChooseInstTask dlg(m_hWnd, source, &products, &shortcuts, settings);
    if (dlg.DoModal() != IDOK)
        return 0;
    source = dlg.m_nSource ? 1 : 0;
    // The dialog's OK writes the dependent-modules choice (forced on for the shortcuts) and the
    // extensions; the generator reads them from the settings.
    theApp.m_bAddDepends = settings.bAddDepends;
    theApp.m_strExeExtensions = settings.strExeExtensions;

    const SGenerateHost host = MakeGenerateHost(this);
    int result = 0;
    try {
        result = source == 1 ? GenerateTasksFromShortcuts(host, &shortcuts, dlg.m_bMarkExecutable,
                                                          dlg.m_bPathsToVariables, &output)
                             : GenerateTasksFromMsi(host, &products, dlg.m_bIgnoreRegistry, dlg.m_bMarkExecutable,
                                                    dlg.m_bPathsToVariables, &output);
    } catch (KvBase::CVoRurod& e) {
        // The tasks made before the error are in the model: they are shown and linked like any
        // others, and the error is said once.
        if (!output.empty())
            apply();
        KvUi::ShowMessage(m_hWnd, KvUi::LoadStr(IDS_GENERATION_ERROR) + e.GetMessageString(), nullptr,
                          MB_ICONEXCLAMATION);
        return 0;
    } catch (...) {
        if (!output.empty())
            apply();
        throw;
    }
    if (result)
        apply();
    return result;
}

void CMainFrame::OnTaskGenerator() {
    CIChNodeList output;
    RunTaskGenerator(g_toolSource, output, [this]() {
        // The new tasks stand in the model unlinked: the jobs' and subjects' trees do not show
        // them, so there the list is refreshed; elsewhere the tree is built again.
        m_Model.m_bModified = 1;
        if (m_nCurrentCategory > ID_CATEGORY_TASKS)
            RefreshActiveViewer();
        else
            RebuildTree();
    });
}

void CMainFrame::OnAddGeneratedTasks(UINT id) {
    if (id != ID_OBJ_TASK_BY_GEN && id != ID_OBJ_TASK_BY_GEN + 1)
        return;
    CIChNode* job = nullptr;
    HTREEITEM item = ReceivingItem(id, ID_OBJ_TASK_BY_GEN, &job);
    // A job of the user's (a job with a negative ID is shown but not changed here).
    if (!item || !job || job->GetType() != NodeTypeJob || job->m_Id < 0)
        return;
    CIChNodeList output;
    // The frame is disabled from the list's pass to the generator's end, so the tree stays as it
    // is and the job's item is still the one chosen.
    RunTaskGenerator(g_jobSource, output, [this, item, &output]() {
        m_Model.m_bModified = 1;
        GetTree().AddChildNodes(item, output);
        RefreshActiveViewer();
    });
}
