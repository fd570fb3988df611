// Background operations of the main window: the record a launcher hands to the worker thread, the
// worker's routine, and the places where the Windows-templates and installed-components modules
// plug their operations in.
//
// A launcher (CMainFrame::RunSaveModel and the others, FileCommands.cpp) fills an SBackgroundOp on
// its own stack, starts BackgroundOperationProc on a new thread and waits for it with the frame
// disabled (CMainFrame::WaitForOperation); the record lives until the worker has ended.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

class CIChDataModel;
class CMainFrame;
class EGeneric;

// Operation codes.
enum BackgroundOpCode {
    OpSave = 0,                // CIChDataModel::Save with the out-value pointer
    OpLoad = 1,                // CIChDataModel::Load
    OpExportXml = 2,           // CIChDataModel::ExportToStore with the path
    OpImportXml = 3,           // CIChDataModel::ImportFromStore with the path and the category mask
    OpOsTemplates = 4,         // the Windows templates (plugged in, below)
    OpInstalledComponents = 5, // the installed products and shortcuts (plugged in, below)
    OpMergeImport = 6,         // a model file read by operation 3 taken into a model (SImportMerge)
};

// Operation 6: the categories (mask) of the operation's model (a file read whole by operation 3)
// taken into the target, made new first when asked, merging what it holds when asked; the result
// is the count of objects added. It runs on the worker as the read does, so the window shows its
// wait window for the whole import.
struct SImportMerge {
    CIChDataModel* target = nullptr;
    int mask = 0;
    int clearFirst = 0;
    int merge = 0;
};

// Category mask of a model file read: resources, groups, tasks, jobs.
enum ImportCategoryBits { ImportResources = 1, ImportGroups = 2, ImportTasks = 4, ImportJobs = 8 };

struct SBackgroundOp {
    int m_nOp = 0;
    CIChDataModel* m_pModel = nullptr;
    // The result written by the worker; operation 3 reads the category mask from here first.
    int m_nResult = 0;
    void* m_pArg = nullptr;   // operation 0: long long* out-value, or null
    std::wstring m_strPath;   // operations 2 and 3
    void* m_pExtra = nullptr; // operation 4: the setup dialog; 5: SInstalledLists*; 6: SImportMerge*
    // Set by the worker when it has shown an error dialog for this operation (the caller then
    // shows no second box for the same failure).
    int m_bReported = 0;
    // Why the store could not be opened when a load or save answered that (the provider's text,
    // read on the thread that opened it).
    std::wstring m_strError;
    // Set by the worker as its very last access of the record: the launcher may free it then.
    std::atomic<int> m_bDone{0};
};

// The two lists of operation 5 (the installed products and the Start-menu shortcuts); their types
// belong to the installed-components module.
struct SInstalledLists {
    void* products = nullptr;
    void* shortcuts = nullptr;
};

// ---- plug-in points -------------------------------------------------------------------------------
//
// The new-model setup dialog, provided by the Windows-templates module. The recreate command runs it
// modally over the frame, reads and may set its clear choice, and hands the object to operation 4.
class IModelSetupDialog {
public:
    virtual ~IModelSetupDialog() = default;
    virtual INT_PTR RunModal() = 0;
    virtual int GetClearModel() const = 0;
    virtual void SetClearModel(int clear) = 0;
};
typedef std::unique_ptr<IModelSetupDialog> (*ModelSetupDialogFactory)(CMainFrame* frame);
// Operation 4: builds the Windows templates into the frame's model (runs on the worker thread); its
// result is 1.
typedef int (*OsTemplatesRoutine)(CMainFrame* frame, IModelSetupDialog* dialog);
// Operation 5: fills the two lists (runs on the worker thread); 0, or 1 after an error it reported.
typedef int (*InstalledComponentsRoutine)(CMainFrame* frame, void* products, void* shortcuts);

// The modules register themselves (for instance from a static object in a file of theirs that the
// program links for their commands). Until the templates are registered, the new-model command stays
// disabled and a first start without a store goes on with a new empty model; until the components
// routine is registered, RunInstalledComponents does nothing and answers 1.
void RegisterModelSetup(ModelSetupDialogFactory factory, OsTemplatesRoutine routine);
void RegisterInstalledComponents(InstalledComponentsRoutine routine);
ModelSetupDialogFactory GetModelSetupDialogFactory();
OsTemplatesRoutine GetOsTemplatesRoutine();
InstalledComponentsRoutine GetInstalledComponentsRoutine();

// ---- the worker -------------------------------------------------------------------------------------

// The worker thread's routine: runs the record's operation (structured exceptions redirected, COM
// initialised for the thread), reports an escaping exception in the error dialog and stores its code
// as the result. The exit code is 0.
DWORD WINAPI BackgroundOperationProc(LPVOID record);
// Runs the record's operation on the calling thread with the same error handling (the launchers'
// way when no thread can be created).
void RunBackgroundOperation(SBackgroundOp& op);
// The result code of an escaped exception: its "Code", else a failing "HRESULT", else E_FAIL.
int ErrorCodeOfException(const EGeneric& e);

// Test seams: how the launchers create the worker thread and how the wait waits (the system's
// CreateThread and MsgWaitForMultipleObjects when null).
typedef HANDLE (*BackgroundThreadCreator)(LPTHREAD_START_ROUTINE routine, LPVOID parameter);
typedef DWORD (*BackgroundWaitFunction)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask);
void SetBackgroundThreadCreator(BackgroundThreadCreator creator);
void SetBackgroundWaitFunction(BackgroundWaitFunction wait);
HANDLE CreateBackgroundThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter);
DWORD BackgroundWait(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask);
