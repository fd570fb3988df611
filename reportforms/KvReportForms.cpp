// KvReportForms64: the application object of the library and the four show-form functions.
#define KVREPORTFORMS_BUILD
#include "KvReportForms.h"

#include "KvTrace.h"
#include "ReportWizards.h"

#include <objbase.h>

#include <memory>
#include <new>

KVBASE_DEFINE_TRACE(L"KvReportForms");

// The library's own application object: the wizards use its message boxes and state, never the
// caller's.
class CKvReportFormsApp : public KvUi::CWinApp {
public:
    BOOL InitInstance() override { return KvUi::CWinApp::InitInstance(); }
};

CKvReportFormsApp theApp;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        return theApp.InitInstance();
    return TRUE;
}

namespace {

// The class library works with this module for the rest of a call: its templates, strings and
// bitmap, and modal wizards that keep the caller's windows disabled while they run.
class CModuleStateScope {
public:
    CModuleStateScope() : m_hOldResource(KvUi::GetResourceHandle()) {
        KvUi::SetResourceHandle(KvUi::GetModuleInstance());
        KvUi::SetTaskModalWithoutOwner(true);
    }
    ~CModuleStateScope() { KvUi::SetResourceHandle(m_hOldResource); }

private:
    HINSTANCE m_hOldResource;
};

// COM for one request write; uninitialised only when this call initialised it (S_OK or S_FALSE),
// so a caller's own COM apartment of another kind is left as it was.
class CComScope {
public:
    CComScope() : m_hr(::CoInitialize(nullptr)) {}
    ~CComScope() {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }

private:
    HRESULT m_hr;
};

const wchar_t* Text(const wchar_t* s) { return s ? s : L""; }

// Runs a wizard and, on OK, its writer. 1 when the user cancelled; the wizard is destroyed before
// the module state is restored and the trace scope closed.
template <class Wizard, class Prepare, class Write>
int ShowForm(const wchar_t* requestPath, Prepare prepare, Write write) {
    if (!requestPath || !*requestPath)
        return E_INVALIDARG; // no file to write: nothing is shown
    CModuleStateScope state;
    std::unique_ptr<Wizard> wizard(new Wizard);
    prepare(*wizard);
    INT_PTR result = wizard->DoModal();
    if (result == -1)
        return E_FAIL; // the wizard could not be made: not a cancel
    if (result != IDOK)
        return 1;
    CComScope com;
    return (int)write(*wizard);
}

// Exceptions stay inside the library: a caller of the C interface gets an HRESULT.
template <class Body>
int Guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace

KVREPORTFORMS_API int KvShowFormEventLog(int, const wchar_t* taskId, const wchar_t* requestPath,
                                         const wchar_t* computerName, int selectionPresent, int recordCount) {
    KvBase::CTraceScope scope(L"KvShowFormEventLog", L"KvReportForms", __LINE__);
    scope.Print(KvBase::TraceScope, L"szComputerName:%s", Text(computerName));
    return Guarded([&] {
        return ShowForm<CDlgEventLog>(
            requestPath,
            [&](CDlgEventLog& w) {
                w.SetComputerName(Text(computerName));
                w.SetSelectionPresent(selectionPresent);
                w.SetRecordCount(recordCount);
            },
            [&](CDlgEventLog& w) {
                return BuildEventLogRequest(w.GetParams(), w.GetPageNumbering(), w.GetReportPath().c_str(), 1,
                                            Text(taskId), requestPath);
            });
    });
}

KVREPORTFORMS_API int KvShowFormPassportSW(int, const wchar_t* taskId, const wchar_t* requestPath,
                                           const wchar_t* computerName) {
    KvBase::CTraceScope scope(L"KvShowFormPassportSW", L"KvReportForms", __LINE__);
    scope.Print(KvBase::TraceScope, L"szComputerName:%s", Text(computerName));
    return Guarded([&] {
        return ShowForm<CDlgPassportWS>(
            requestPath, [&](CDlgPassportWS& w) { w.SetComputerName(Text(computerName)); },
            [&](CDlgPassportWS& w) {
                return BuildPassportRequest(w.GetDetails(), w.GetPageNumbering(), w.GetReportPath().c_str(), 1,
                                            Text(taskId), requestPath);
            });
    });
}

KVREPORTFORMS_API int KvShowFormResourceWS(int, const wchar_t* taskId, const wchar_t* requestPath,
                                           const wchar_t* computerName) {
    KvBase::CTraceScope scope(L"KvShowFormResourceWS", L"KvReportForms", __LINE__);
    scope.Print(KvBase::TraceScope, L"szComputerName:%s", Text(computerName));
    return Guarded([&] {
        return ShowForm<CDlgResourcesWS>(
            requestPath, [&](CDlgResourcesWS& w) { w.SetComputerName(Text(computerName)); },
            [&](CDlgResourcesWS& w) {
                return BuildResourceRequest(w.GetFilter(), w.GetPageNumbering(), w.GetReportPath().c_str(), 1,
                                            Text(taskId), requestPath);
            });
    });
}

KVREPORTFORMS_API int KvShowFormVarno(const wchar_t* taskId, const wchar_t* requestPath) {
    KvBase::CTraceScope scope(L"KvShowFormVarno", L"KvReportForms", __LINE__);
    return Guarded([&] {
        return ShowForm<CDlgVarno>(
            requestPath, [](CDlgVarno&) {},
            [&](CDlgVarno& w) {
                return BuildVarnoUserAccessRequest(w.GetShowAll(), w.GetPageNumbering(), w.GetReportPath().c_str(), 1,
                                                   Text(taskId), requestPath);
            });
    });
}
