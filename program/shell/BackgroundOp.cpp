// The worker of the background operations and the places where the templates and components
// modules plug in.
#include "BackgroundOp.h"

#include "MainFrm.h"
#include "IChDataModel.h"
#include "ModelStore.h"
#include "dlgException.h"

#include <valkit.h>

namespace {
ModelSetupDialogFactory g_setupFactory = nullptr;
OsTemplatesRoutine g_osTemplates = nullptr;
InstalledComponentsRoutine g_components = nullptr;
BackgroundThreadCreator g_threadCreator = nullptr;
BackgroundWaitFunction g_waitFunction = nullptr;

// The frame for operations 4 and 5: the application's main window when it is the main frame.
CMainFrame* MainFrameOfApp() { return dynamic_cast<CMainFrame*>(KvUi::AfxGetMainWnd()); }

// Why the last open of the store failed, as the provider tells it.
std::wstring LastStoreOpenError() {
    IModelStoreHost* host = GetModelStoreHost();
    if (!host)
        return std::wstring();
    Varno::SmartPtr<Varno::IProvider> provider = host->GetProvider();
    return provider ? provider->GetLastErrorText() : std::wstring();
}

int RunOperation(SBackgroundOp& op) {
    CIChDataModel* model = op.m_pModel;
    switch (op.m_nOp) {
    case OpSave:
    case OpLoad: {
        int r = op.m_nOp == OpSave ? model->Save(static_cast<long long*>(op.m_pArg)) : model->Load();
        if (r == kStoreResultFailed)
            op.m_strError = LastStoreOpenError();
        return r;
    }
    case OpExportXml:
    case OpImportXml: {
        int r = op.m_nOp == OpExportXml ? model->ExportToStore(op.m_strPath)
                                        : model->ImportFromStore(op.m_strPath, op.m_nResult);
        // The store's reason naming the object that stopped it, else the file's own failure (its
        // path, code and cause) as the provider tells it.
        if (r != 0 && r != kStoreResultNoEdition)
            op.m_strError = !model->m_LastStoreError.empty() ? model->m_LastStoreError : LastStoreOpenError();
        return r;
    }
    case OpMergeImport: {
        SImportMerge* merge = static_cast<SImportMerge*>(op.m_pExtra);
        if (!merge || !merge->target)
            return 0;
        if (merge->clearFirst)
            merge->target->NewModel(1, merge->target->GetDefaultJobSubType());
        return merge->target->TakeImported(*model, merge->mask, merge->merge);
    }
    case OpOsTemplates: {
        CMainFrame* frame = MainFrameOfApp();
        if (!frame || !g_osTemplates)
            return op.m_nResult;
        return g_osTemplates(frame, static_cast<IModelSetupDialog*>(op.m_pExtra));
    }
    case OpInstalledComponents: {
        CMainFrame* frame = MainFrameOfApp();
        SInstalledLists* lists = static_cast<SInstalledLists*>(op.m_pExtra);
        if (!frame || !g_components || !lists)
            return op.m_nResult;
        return g_components(frame, lists->products, lists->shortcuts);
    }
    default:
        return op.m_nResult;
    }
}
} // namespace

void RegisterModelSetup(ModelSetupDialogFactory factory, OsTemplatesRoutine routine) {
    g_setupFactory = factory;
    g_osTemplates = routine;
}
void RegisterInstalledComponents(InstalledComponentsRoutine routine) { g_components = routine; }
ModelSetupDialogFactory GetModelSetupDialogFactory() { return g_osTemplates ? g_setupFactory : nullptr; }
OsTemplatesRoutine GetOsTemplatesRoutine() { return g_setupFactory ? g_osTemplates : nullptr; }
InstalledComponentsRoutine GetInstalledComponentsRoutine() { return g_components; }

int ErrorCodeOfException(const EGeneric& e) {
    _value_t code = e["Code"];
    if (code.vtype() == _value_t::vt_int && code.as_int() != 0)
        return code.as_int();
    _value_t hr = e["HRESULT"];
    if (!hr.empty()) {
        long long v = hr.as_int64();
        if (FAILED(static_cast<HRESULT>(v)))
            return static_cast<int>(v);
    }
    return E_FAIL;
}

void RunBackgroundOperation(SBackgroundOp& op) {
    if (!op.m_pModel)
        return;
    // An escaped exception is the operation's failure: its code is the result, never the value the
    // launcher stored (a mask for an import, 0 for a load).
    try {
        op.m_nResult = RunOperation(op);
    } catch (const EGeneric& e) {
        op.m_nResult = ErrorCodeOfException(e);
        op.m_bReported = 1;
        ShowErrorDialog(BuildErrorReport(e));
    } catch (...) {
        op.m_nResult = E_FAIL;
        op.m_bReported = 1;
        ShowErrorDialog(KvUi::UnknownErrorText());
    }
}

DWORD WINAPI BackgroundOperationProc(LPVOID record) {
    SBackgroundOp* op = static_cast<SBackgroundOp*>(record);
    {
        redirect_structured_exceptions redirect;
        HRESULT com = ::CoInitialize(nullptr);
        if (op)
            RunBackgroundOperation(*op);
        if (com == S_OK)
            ::CoUninitialize();
    }
    if (op)
        op->m_bDone = 1; // the last access: the launcher may return and free the record now
    return 0;
}

void SetBackgroundThreadCreator(BackgroundThreadCreator creator) { g_threadCreator = creator; }
void SetBackgroundWaitFunction(BackgroundWaitFunction wait) { g_waitFunction = wait; }

HANDLE CreateBackgroundThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    if (g_threadCreator)
        return g_threadCreator(routine, parameter);
    DWORD id = 0;
    return ::CreateThread(nullptr, 0, routine, parameter, 0, &id);
}

DWORD BackgroundWait(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask) {
    if (g_waitFunction)
        return g_waitFunction(count, handles, waitAll, ms, wakeMask);
    return ::MsgWaitForMultipleObjects(count, handles, waitAll, ms, wakeMask);
}
