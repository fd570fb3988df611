// The new-model setup and the Windows-templates operation (background operation 4) as the main
// window runs them: the setup dialog behind the frame's setup interface, and the routine that builds
// the templates from the confirmed dialog on the worker thread.
#include "OsTemplatesCommands.h"

#include "BackgroundOp.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "GenerateHost.h"
#include "KvGenerate.h"
#include "KvOsTemplates.h"
#include "MainFrm.h"
#include "dlgPrepareControl.h"

namespace {

class CModelSetup : public IModelSetupDialog {
public:
    CModelSetup(HWND parent, int updatePresent) : m_dlg(parent, updatePresent) {}
    INT_PTR RunModal() override { return m_dlg.DoModal(); }
    int GetClearModel() const override { return m_dlg.m_bClearModel; }
    void SetClearModel(int clear) override { m_dlg.m_bClearModel = clear; }

    dlgPrepareControl m_dlg;
};

} // namespace

std::unique_ptr<IModelSetupDialog> MakeModelSetupDialog(CMainFrame* frame) {
    return std::unique_ptr<IModelSetupDialog>(
        new CModelSetup(frame ? frame->m_hWnd : nullptr, theApp.m_bUpdatePresent));
}

dlgPrepareControl* GetPrepareControl(IModelSetupDialog* dialog) {
    CModelSetup* setup = dynamic_cast<CModelSetup*>(dialog);
    return setup ? &setup->m_dlg : nullptr;
}

int CreateOsTemplates(CMainFrame* frame, IModelSetupDialog* dialog) {
    dlgPrepareControl* setup = GetPrepareControl(dialog);
    if (!frame || !setup)
        return 1;
    const SGenerateHost appHost = MakeGenerateHost(frame);
    SOsTemplatesRun run;
    run.model = &frame->m_Model;
    run.addWindowsTask = setup->m_bAddWindowsTask;
    run.clearModel = setup->m_bClearModel;
    run.hasProducts = setup->m_Products.empty() ? 0 : 1;
    run.task.variant = setup->m_nWindowsVariant == 1 ? WindowsTaskDefault : WindowsTaskStartup;
    run.task.exeExtensions = appHost.strExeExtensions;
    run.task.is64 = appHost.bIs64BitWindows;
    run.task.isLocalHardDisk = [](wchar_t drive) { return theApp.Drives().IsLocalHardDisk(drive); };
    // The frame's closing messages and the setting AddDepends are off while the run lasts and get
    // their values back however it ends (the setting would otherwise be saved as 0 at exit).
    run.showResults = &frame->m_bShowResults;
    run.addDepends = &theApp.m_bAddDepends;
    run.storeExisted = &frame->m_bStoreExisted;
    run.generateProducts = [appHost, setup](CIChNodeList* output) {
        // The product tasks get no dependent modules and no closing message of their own.
        SGenerateHost host = appHost;
        host.bAddDepends = 0;
        host.bShowResults = 0;
        return GenerateTasksFromMsi(host, &setup->m_Products, 1, 0, 0, output);
    };
    return CreateOsTemplates(run);
}

void RegisterOsTemplates() { RegisterModelSetup(&MakeModelSetupDialog, &CreateOsTemplates); }
