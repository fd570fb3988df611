// The report commands of the main window: the software passport (3610), the workstation
// resources (3612) and the board user-access report (3613, offered nowhere and always disabled).
// A command asks the report form for a request and opens the report window that runs it.
#include "DaVIdevaRez.h"
#include "MainFrm.h"
#include "ReportServices.h"
#include "WndLongOp.h"
#include "resource.h"

void CMainFrame::RunReportCommand(int commandId) {
    // One window per report: the same command brings it forward.
    auto open = m_ReportWindows.find(commandId);
    if (open != m_ReportWindows.end() && open->second && open->second->m_hWnd) {
        ::SetForegroundWindow(open->second->m_hWnd);
        return;
    }
    std::wstring account;
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    theApp.GetComputerAccount(account, reinterpret_cast<PSID>(sid));
    std::wstring request = MakeReportTempFile(L"req");
    if (request.empty())
        return;
    const SReportServices& services = ReportServices();
    auto form = commandId == ID_REPORT_PASSPORT ? services.showPassport : services.showResources;
    int result;
    try {
        result = form ? form(1, L"", request.c_str(), account.c_str()) : (int)0x80004005;
    } catch (...) {
        result = (int)0x80004005;
    }
    if (result != 0) {
        ::DeleteFileW(request.c_str());
        return;
    }
    OpenReportWindow(commandId, request.c_str());
}

void CMainFrame::OnReportPassport() { RunReportCommand(ID_REPORT_PASSPORT); }

void CMainFrame::OnReportResources() { RunReportCommand(ID_REPORT_RESOURCES); }

void CMainFrame::OnReportUsers() {
    // The board user-access report has no form in this program: only a window of its own (there
    // never is one) is brought forward; no request file is made.
    auto open = m_ReportWindows.find(ID_REPORT_USERS);
    if (open != m_ReportWindows.end() && open->second && open->second->m_hWnd)
        ::SetForegroundWindow(open->second->m_hWnd);
}

void CMainFrame::OnUpdateReport(KvUi::CCmdUI* pCmdUI) {
    if (pCmdUI->m_nID == ID_REPORT_USERS)
        pCmdUI->Enable(FALSE);
}

BOOL CMainFrame::OpenReportWindow(int commandId, const wchar_t* requestPath) {
    if (!requestPath)
        return FALSE;
    auto* window = new CWndLongOp(this, commandId, requestPath);
    CREATESTRUCTW cs = {};
    cs.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
    if (!window->PreCreateWindow(cs)) {
        delete window; // deletes the request file with it
        return FALSE;
    }
    // A refused creation leaves the object to be deleted here (it owns the request file).
    window->m_bAutoDelete = FALSE;
    BOOL created =
        window->CreateEx(cs.dwExStyle, cs.lpszClass, L"", cs.style, cs.x, cs.y, cs.cx, cs.cy, nullptr, nullptr);
    if (!created || !window->m_hWnd) {
        if (window->m_hWnd)
            window->DestroyWindow();
        delete window;
        return FALSE;
    }
    window->m_bAutoDelete = TRUE;
    m_ReportWindows[commandId] = window;
    return TRUE;
}

void CMainFrame::CloseReportWindows() {
    // Each window's end aborts its run, frees its plug-in and deletes its temporary files.
    while (!m_ReportWindows.empty()) {
        auto it = m_ReportWindows.begin();
        KvUi::CWnd* window = it->second;
        m_ReportWindows.erase(it);
        if (window && window->m_hWnd)
            window->DestroyWindow();
    }
}
