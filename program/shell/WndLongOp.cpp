// The report window, its completion object and what it reads of requests and responses.
#include "WndLongOp.h"

#include "MainFrm.h"
#include "resource.h"

#include "ReportServices.h"
#include "ReportReaders.h"

#include <VoRurod.h>
#include <valkit.h>

#include <cwchar>
#include <memory>
#include <vector>

namespace {

const wchar_t kWindowClass[] = L"KvReportWindow";
const int kFailed = (int)0x80004005;
const int kInvalidData = (int)0x8007000D; // HRESULT_FROM_WIN32(ERROR_INVALID_DATA)

// The report kinds the program runs, with the command that asks for each and its plug-in.
struct SReportPlugin {
    int command;
    const wchar_t* kind;
    const wchar_t* module; // the data source's name in the request; the file is module + ".dll"
};
const SReportPlugin kPlugins[] = {
    {ID_REPORT_PASSPORT, L"PassportSW", L"VrnPassportRpt64"},
    {ID_REPORT_RESOURCES, L"ResourceWS", L"VrnResourceRpt64"},
};

std::wstring CodeText(int code) {
    KvBase::CVoRurod error(code);
    return error.GetMessageString();
}

std::wstring ErrorText(int code, const std::wstring& text) {
    return format_wstring(KvUi::LoadStr(IDS_REP_FAILED).c_str(), (unsigned)code, text.c_str());
}

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(32768);
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), (DWORD)path.size());
    std::wstring folder(path.data(), n);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && !b.empty() && ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

void DeleteTempFile(std::wstring& path) {
    if (!path.empty()) {
        ::DeleteFileW(path.c_str());
        path.clear();
    }
}

// The request's and the response's values the window reads.
class ReportFileRecord : public CRequestRecord {
public:
    using Extractor = CSAX2ValueExtractor;
    static constexpr const wchar_t* kReaderName = L"TSAX2DocumentReader<class ReportFileRecord>::TSAX2DocumentReader";
    ReportFileRecord()
        : CRequestRecord({L"Subsystem@name", L"Subsystem@reportTitle", L"FormatOutput/ReportFile@path"}) {}
};

class ResponseFileRecord : public CRequestRecord {
public:
    using Extractor = CSAX2ValueExtractor;
    static constexpr const wchar_t* kReaderName = L"TSAX2DocumentReader<class ResponseFileRecord>::TSAX2DocumentReader";
    ResponseFileRecord() : CRequestRecord({L"FormatOutput/ReportFile@path"}) {}
};

// COM for the readers on the window's thread (already there in the program).
struct CComOnThread {
    HRESULT hr = ::CoInitialize(nullptr);
    ~CComOnThread() {
        if (SUCCEEDED(hr))
            ::CoUninitialize();
    }
};

} // namespace

std::wstring MakeReportTempFile(const wchar_t* prefix) {
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n > MAX_PATH)
        return std::wstring();
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetTempFileNameW(folder, prefix, 0, name))
        return std::wstring();
    return name;
}

const wchar_t* ReportPluginFile(const std::wstring& kind) {
    for (const SReportPlugin& p : kPlugins)
        if (::lstrcmpiW(p.kind, kind.c_str()) == 0)
            return p.module;
    return nullptr;
}

std::wstring GetReportTitle(const wchar_t* kind) {
    static const struct {
        const wchar_t* kind;
        UINT title;
    } titles[] = {
        {L"PassportSW", IDS_REP_TITLE_PASSPORT},
        {L"ResourceWS", IDS_REP_TITLE_RESOURCES},
        {L"VarnoUserAccess", IDS_REP_TITLE_USERS},
        {L"EventLog", IDS_REP_TITLE_EVENTLOG},
    };
    for (const auto& t : titles)
        if (kind && ::lstrcmpiW(kind, t.kind) == 0)
            return KvUi::LoadStr(t.title);
    return KvUi::LoadStr(IDS_REP_TITLE_DEFAULT);
}

BOOL ReadReportRequest(const wchar_t* requestPath, ReportRequestInfo& info) {
    info = ReportRequestInfo();
    try {
        if (!requestPath || ::GetFileAttributesW(requestPath) == INVALID_FILE_ATTRIBUTES)
            return FALSE;
        CComOnThread com;
        ReportFileRecord record;
        TSAX2DocumentReader<ReportFileRecord> reader(record, requestPath);
        info.name = record[L"Subsystem@name"];
        info.reportTitle = record[L"Subsystem@reportTitle"];
        info.reportFile = record[L"FormatOutput/ReportFile@path"];
        if (info.name.empty() && info.reportTitle.empty()) {
            info = ReportRequestInfo();
            return FALSE; // not a request
        }
        info.title = GetReportTitle(info.reportTitle.c_str());
        return TRUE;
    } catch (...) {
        info = ReportRequestInfo();
        return FALSE;
    }
}

std::wstring ReadResponseReportFile(const wchar_t* responsePath) {
    try {
        CComOnThread com;
        ResponseFileRecord record;
        TSAX2DocumentReader<ResponseFileRecord> reader(record, responsePath);
        return record[L"FormatOutput/ReportFile@path"];
    } catch (...) {
        return std::wstring();
    }
}

// ---- the completion ------------------------------------------------------------------------

void CRepComplete::OnComplete(int result) {
    HWND window =
        (HWND)::InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&m_hWnd), nullptr, nullptr);
    if (window)
        ::PostMessageW(window, CWndLongOp::WM_REPORT_COMPLETE, (WPARAM)(unsigned)result, 0);
}

// ---- the report window ---------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CWndLongOp, KvUi::CFrameWnd)
ON_WM_CREATE()
ON_WM_ERASEBKGND()
ON_WM_SETFOCUS()
ON_WM_SIZE()
ON_WM_GETMINMAXINFO()
ON_MESSAGE(CWndLongOp::WM_REPORT_COMPLETE, OnCompleteMessage)
ON_MESSAGE(CWndLongOp::WM_REPORT_ABORT_FAILED, OnAbortFailed)
KV_END_MESSAGE_MAP()

CWndLongOp::CWndLongOp(CMainFrame* owner, int commandId, const wchar_t* requestPath)
    : m_pOwner(owner), m_nCommandId(commandId) {
    if (requestPath)
        m_strRequestPath = requestPath;
}

CWndLongOp::~CWndLongOp() {
    ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&m_complete.m_hWnd), nullptr);
    WaitForAbort();
    if (m_bRunning && m_pSource) {
        try {
            m_pSource->Abort();
        } catch (...) {
        }
    }
    m_bRunning = 0;
    if (m_pSource) {
        try {
            m_pSource->Release();
        } catch (...) {
        }
        m_pSource = nullptr;
    }
    if (m_hPlugin) {
        ::FreeLibrary(m_hPlugin);
        m_hPlugin = nullptr;
    }
    DeleteTempFile(m_strRequestPath);
    DeleteTempFile(m_strResponsePath);
    RemoveFromOwner();
}

void CWndLongOp::RemoveFromOwner() {
    if (!m_pOwner)
        return;
    auto it = m_pOwner->m_ReportWindows.find(m_nCommandId);
    if (it != m_pOwner->m_ReportWindows.end() && it->second == this)
        m_pOwner->m_ReportWindows.erase(it);
}

BOOL CWndLongOp::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
    HINSTANCE instance = KvUi::GetModuleInstance();
    WNDCLASSEXW wc = {sizeof(wc)};
    if (!::GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc = WNDCLASSEXW{sizeof(wc)};
        wc.style = CS_DBLCLKS | CS_NOCLOSE;
        wc.lpfnWndProc = KvUi::StdWndProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return FALSE;
    }
    cs.lpszClass = kWindowClass;
    return TRUE;
}

int CWndLongOp::OnCreate(LPCREATESTRUCTW) {
    if (!m_dlg.Create(IDD_LONGOP, this))
        return -1;
    RECT dialog = {};
    m_dlg.GetWindowRect(&dialog);
    RECT frame = {0, 0, dialog.right - dialog.left, dialog.bottom - dialog.top};
    ::AdjustWindowRectEx(&frame, (DWORD)::GetWindowLongW(m_hWnd, GWL_STYLE), FALSE,
                         (DWORD)::GetWindowLongW(m_hWnd, GWL_EXSTYLE));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetFocus(m_dlg.m_hWnd);
    HINSTANCE res = KvUi::GetResourceHandle();
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)::LoadIconW(res, MAKEINTRESOURCEW(IDR_MAINFRAME)));
    SendMessage(WM_SETICON, ICON_SMALL,
                (LPARAM)::LoadImageW(res, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                     ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));

    if (ReadReportRequest(m_strRequestPath.c_str(), m_request))
        SetWindowText(format_wstring(KvUi::LoadStr(IDS_REP_BUILDING).c_str(), m_request.title.c_str()));

    ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&m_complete.m_hWnd), m_hWnd);
    SetRunning(1);

    std::wstring text;
    int code = StartRun(text);
    if (code == -1)
        return -1;
    if (code != 0)
        OnReportComplete(code, text);
    return 0;
}

int CWndLongOp::StartRun(std::wstring& text) {
    const SReportPlugin* plugin = nullptr;
    for (const SReportPlugin& p : kPlugins)
        if (p.command == m_nCommandId && ::lstrcmpiW(p.kind, m_request.reportTitle.c_str()) == 0 &&
            ::lstrcmpiW(p.module, m_request.name.c_str()) == 0)
            plugin = &p;
    if (!plugin) {
        // Only the program's own plug-ins run, each for its own report: a request that names
        // anything else is refused, whatever module it names.
        if (m_request.reportTitle.empty() && m_request.name.empty())
            text = KvUi::LoadStr(IDS_REP_NO_REQUEST);
        else
            text = format_wstring(KvUi::LoadStr(IDS_REP_NO_SOURCE).c_str(), m_request.name.c_str(),
                                  m_request.reportTitle.c_str());
        return kInvalidData;
    }
    std::wstring folder = ReportServices().pluginFolder.empty() ? ProgramFolder() : ReportServices().pluginFolder;
    std::wstring path = folder + L"\\" + plugin->module + L".dll";
    m_hPlugin = ::LoadLibraryW(path.c_str());
    if (!m_hPlugin) {
        DWORD error = ::GetLastError();
        int code = error ? (int)error : ERROR_MOD_NOT_FOUND;
        text = CodeText(code);
        return code;
    }
    auto factory = reinterpret_cast<PFN_KvGetReportDataSourceAsync>(
        reinterpret_cast<void*>(::GetProcAddress(m_hPlugin, "KvGetReportDataSourceAsync")));
    if (!factory) {
        text = CodeText(ERROR_PROC_NOT_FOUND);
        return ERROR_PROC_NOT_FOUND;
    }
    try {
        m_pSource = factory();
    } catch (...) {
        m_pSource = nullptr;
    }
    if (!m_pSource) {
        // The thread's last error says nothing of a factory that gave no source (and may be 0,
        // which would read as a finished run): the failure is reported as such.
        text = CodeText(kFailed);
        return kFailed;
    }
    m_strResponsePath = MakeReportTempFile(L"res");
    if (m_strResponsePath.empty())
        return -1;
    int started;
    try {
        started = m_pSource->Start(m_strRequestPath.c_str(), m_strResponsePath.c_str(), &m_complete);
    } catch (...) {
        started = kFailed;
    }
    if (started != 0)
        text = CodeText(started);
    return started;
}

void CWndLongOp::SetRunning(int running) {
    int was = m_bRunning;
    m_bRunning = running;
    if (running != 1 || was == 1)
        return;
    RECT window = {}, around = {};
    GetWindowRect(&window);
    if (m_pOwner && m_pOwner->m_hWnd && ::IsWindowVisible(m_pOwner->m_hWnd) && !::IsIconic(m_pOwner->m_hWnd))
        m_pOwner->GetWindowRect(&around);
    else
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    int cx = window.right - window.left, cy = window.bottom - window.top;
    int x = around.left + ((around.right - around.left) - cx) / 2;
    int y = around.top + ((around.bottom - around.top) - cy) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(SW_SHOW);
    UpdateWindow();
}

std::wstring CWndLongOp::GetOutcomeText() const { return m_dlg.GetDlgItemText(IDC_LONGOP_TEXT); }

void CWndLongOp::OnReportComplete(int code, const std::wstring& text) {
    std::wstring message;
    if (code == 0) {
        auto wait = std::make_unique<KvUi::CWaitCursor>();
        std::wstring described;
        // The report goes where the user asked in the wizard, and nowhere else.
        std::wstring answered = ReadResponseReportFile(m_strResponsePath.c_str());
        if (!SamePath(answered, m_request.reportFile)) {
            code = kInvalidData;
            described = format_wstring(KvUi::LoadStr(IDS_REP_OTHER_FILE).c_str(), answered.c_str(),
                                       m_request.reportFile.c_str());
        } else {
            wchar_t report[MAX_PATH] = {};
            try {
                code = ReportServices().build(m_strResponsePath.c_str(), report);
            } catch (...) {
                code = kFailed;
            }
            report[MAX_PATH - 1] = 0;
            if (code == 0 && !SamePath(report, m_request.reportFile)) {
                code = kInvalidData;
                described = format_wstring(KvUi::LoadStr(IDS_REP_WRITTEN_ELSEWHERE).c_str(), report,
                                           m_request.reportFile.c_str());
            } else if (code == 0) {
                m_strReportPath = report;
            }
        }
        wait.reset();
        if (code == 0) {
            message = format_wstring(KvUi::LoadStr(IDS_REP_DONE).c_str(), m_strReportPath.c_str());
            m_dlg.ShowDlgItem(IDC_LONGOP_SHOW);
            m_dlg.EnableDlgItem(IDC_LONGOP_SHOW);
            m_dlg.CheckDlgItem(IDC_LONGOP_SHOW);
        } else {
            message = ErrorText(code, described.empty() ? CodeText(code) : described);
        }
    } else if (code == 1) {
        message = KvUi::LoadStr(IDS_REP_ABORTED);
    } else {
        message = ErrorText(code, text);
    }
    m_dlg.SetDlgItemText(IDC_LONGOP_TEXT, message);
    m_dlg.SetDlgItemText(IDCANCEL, KvUi::LoadStr(code == 0 ? IDS_REP_OK : IDS_DLG_CLOSE));
    m_dlg.EnableDlgItem(IDCANCEL);
    if (m_bRunning == 1) {
        SetRunning(0);
        FLASHWINFO flash = {sizeof(flash), m_hWnd, FLASHW_ALL, 3, 200};
        ::FlashWindowEx(&flash);
    }
}

void CWndLongOp::DeleteResponse() { DeleteTempFile(m_strResponsePath); }

LRESULT CWndLongOp::OnCompleteMessage(WPARAM wp, LPARAM) {
    int code = (int)(unsigned)wp;
    if (!m_bRunning)
        return wp; // the outcome is already shown
    if (code != 0)
        DeleteResponse();
    OnReportComplete(code, CodeText(code));
    return wp;
}

void CWndLongOp::AbortRun() {
    if (!m_bRunning || !m_pSource || m_hAbortThread)
        return;
    m_hAbortThread = ::CreateThread(nullptr, 0, &AbortProc, this, 0, nullptr);
    if (!m_hAbortThread) {
        int r = m_pSource->Abort();
        if (r != 0)
            OnReportComplete(r, CodeText(r));
    }
}

DWORD WINAPI CWndLongOp::AbortProc(void* param) {
    auto* self = static_cast<CWndLongOp*>(param);
    HWND window = self->m_hWnd;
    int r;
    try {
        r = self->m_pSource->Abort();
    } catch (...) {
        r = kFailed;
    }
    if (r != 0)
        ::PostMessageW(window, WM_REPORT_ABORT_FAILED, (WPARAM)(unsigned)r, 0);
    return 0;
}

LRESULT CWndLongOp::OnAbortFailed(WPARAM wp, LPARAM) {
    int code = (int)(unsigned)wp;
    if (m_bRunning)
        OnReportComplete(code, CodeText(code));
    return 0;
}

void CWndLongOp::WaitForAbort() {
    if (m_hAbortThread) {
        ::WaitForSingleObject(m_hAbortThread, INFINITE);
        ::CloseHandle(m_hAbortThread);
        m_hAbortThread = nullptr;
    }
}

void CWndLongOp::OnClose() {
    RemoveFromOwner();
    KvUi::CFrameWnd::OnClose();
}

BOOL CWndLongOp::OnEraseBkgnd(HDC) { return TRUE; }

void CWndLongOp::OnSetFocus(HWND) {
    if (m_dlg.m_hWnd)
        ::SetFocus(m_dlg.GetDlgItem(IDCANCEL));
}

void CWndLongOp::OnSize(UINT type, int cx, int cy) {
    KvUi::CFrameWnd::OnSize(type, cx, cy);
    if (m_dlg.m_hWnd)
        ::SetWindowPos(m_dlg.m_hWnd, nullptr, 0, 0, cx, cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CWndLongOp::OnGetMinMaxInfo(MINMAXINFO* info) {
    if (!m_dlg.m_hWnd)
        return;
    m_dlg.SendMessage(WM_GETMINMAXINFO, 0, (LPARAM)info);
    RECT frame = {0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, (DWORD)::GetWindowLongW(m_hWnd, GWL_STYLE), FALSE,
                         (DWORD)::GetWindowLongW(m_hWnd, GWL_EXSTYLE));
    info->ptMinTrackSize.x += frame.right - frame.left;
    info->ptMinTrackSize.y += frame.bottom - frame.top;
}
