// The report window: one per running report command. It reads the request that the report form
// wrote, loads the program's own data-source plug-in for the request's report kind, runs its
// asynchronous source into a temporary response file, has the report builder write the report
// file, and shows the outcome; its button aborts the run, then closes the window (opening the
// report when "Показать отчет" is set). The window owns both temporary files and deletes them.
#pragma once

#include <kvui/kvui.h>

#include "KvReportDataSource.h"
#include "dlgLongOp.h"

#include <string>

class CMainFrame;

// The window's completion object, called once by the data source on its worker thread.
class CRepComplete : public IKvReportComplete {
public:
    HWND m_hWnd = nullptr;
    void OnComplete(int result) override;
};

// What the report window reads of a request.
struct ReportRequestInfo {
    std::wstring name;        // Subsystem@name: the data source the request names
    std::wstring reportTitle; // Subsystem@reportTitle: the report kind
    std::wstring title;       // the window title text of the kind
    std::wstring reportFile;  // FormatOutput/ReportFile@path: the report file the user chose
};

// TRUE when the request file could be read; the strings are empty otherwise.
BOOL ReadReportRequest(const wchar_t* requestPath, ReportRequestInfo& info);
// The window title text of a report kind ("Отчет" for an unknown one).
std::wstring GetReportTitle(const wchar_t* kind);
// The report file that a response names in FormatOutput/ReportFile@path (empty when none).
std::wstring ReadResponseReportFile(const wchar_t* responsePath);

// The program's own data-source plug-ins: the module file of a report kind, or null when the
// program has no plug-in for it.
const wchar_t* ReportPluginFile(const std::wstring& kind);

// Makes an empty temporary file ("req" or "res" prefix) in the temporary folder; empty on failure.
std::wstring MakeReportTempFile(const wchar_t* prefix);

class CWndLongOp : public KvUi::CFrameWnd {
public:
    static constexpr UINT WM_REPORT_COMPLETE = WM_USER + 1;
    static constexpr UINT WM_REPORT_ABORT_FAILED = WM_USER + 2;

    CWndLongOp(CMainFrame* owner, int commandId, const wchar_t* requestPath);
    ~CWndLongOp() override;

    dlgLongOp m_dlg;
    CMainFrame* m_pOwner;
    int m_nCommandId;
    int m_bRunning = 0;
    std::wstring m_strRequestPath;
    std::wstring m_strResponsePath;
    std::wstring m_strReportPath;
    CRepComplete m_complete;
    HMODULE m_hPlugin = nullptr;
    IKvReportDataSourceAsync* m_pSource = nullptr;
    // What the request asked for, as read when the window was created.
    ReportRequestInfo m_request;

    // Shows the outcome of a run; code 0: the response is ready and the report is built.
    void OnReportComplete(int code, const std::wstring& text);
    void SetRunning(int running);
    // Aborts a running source without holding up the window: the abort waits on a thread of its
    // own, and its outcome arrives as messages.
    void AbortRun();
    BOOL IsAborting() const { return m_hAbortThread != nullptr; }
    // The text the window shows now.
    std::wstring GetOutcomeText() const;

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnClose() override;

protected:
    int OnCreate(LPCREATESTRUCTW cs);
    BOOL OnEraseBkgnd(HDC dc);
    void OnSetFocus(HWND old);
    void OnSize(UINT type, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* info);
    LRESULT OnCompleteMessage(WPARAM wp, LPARAM lp);
    LRESULT OnAbortFailed(WPARAM wp, LPARAM lp);

    // Loads the plug-in of the request's kind and starts its source; 0 when the run is under way,
    // -1 when no response file could be made, else the failure's code with its text.
    int StartRun(std::wstring& text);
    void WaitForAbort();
    void DeleteResponse();
    void RemoveFromOwner();

    HANDLE m_hAbortThread = nullptr;
    static DWORD WINAPI AbortProc(void* param);

    KV_DECLARE_MESSAGE_MAP()
};
