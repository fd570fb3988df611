// The dependent-module dialog, the progress window of the resource passes and the pass frame
// around both passes.
#include "ToolDialogs.h"

#include "DaVIdevaRez.h"
#include "resource.h"
#include "toolcmds_ids.h"

#include <KvExchangeUtils.h>
#include <KvText.h>
#include <linkwalk.h>

#include <algorithm>
#include <set>

namespace {

std::function<void(dlgProcessInfo&, int)>& StepObserver() {
    static std::function<void(dlgProcessInfo&, int)> observer;
    return observer;
}

// How often a pass draws its progress and dispatches waiting messages.
const ULONGLONG kDrawInterval = 150;

} // namespace

std::vector<std::wstring> DependencyRoots(const CIChNodeList& nodes, const CPathVarMap& vars) {
    std::vector<std::wstring> roots;
    for (CIChNode* node : nodes) {
        if (!node || node->GetType() != NodeTypeResource)
            continue;
        const CIChResorce* r = static_cast<const CIChResorce*>(node);
        if (r->m_SubType != ResFile)
            continue;
        std::wstring path = r->m_Name;
        ExpandPathVariable(path, vars);
        roots.push_back(path);
    }
    return roots;
}

std::vector<std::wstring> FindDependentModules(const std::wstring& path) {
    // One finder per file: a finder follows only the first root that records anything.
    Depends::CDepps finder;
    finder.AddModule(path, path, 1);
    std::vector<std::wstring> modules;
    modules.reserve(finder.m_found.size());
    for (const auto& entry : finder.m_found)
        modules.push_back(entry.second);
    return modules;
}

// ---- dlgDependens ----------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgDependens, KvUi::CDialog)
ON_WM_DESTROY()
KV_END_MESSAGE_MAP()

dlgDependens::dlgDependens(HWND parent, CIChNodeList* nodes, const CPathVarMap& vars)
    : KvUi::CDialog(IDD_DEPENDENS, parent), m_pNodes(nodes), m_stop(std::make_shared<std::atomic<bool>>(false)) {
    if (m_pNodes)
        m_roots = DependencyRoots(*m_pNodes, vars);
}

dlgDependens::~dlgDependens() { StopWalk(); }

void dlgDependens::DoDataExchange(KvUi::CDataExchange* pDX) { KvUi::DDX_Control(pDX, IDC_DEPENDS_LIST, m_wndList); }

BOOL dlgDependens::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    CheckDlgItem(IDC_DEPENDS_EXECUTABLE);
    EnableDlgItem(IDOK, FALSE);
    ::SendDlgItemMessageW(m_hWnd, IDC_DEPENDS_PROGRESS, PBM_SETRANGE32, 0, (LPARAM)m_roots.size());
    if (m_roots.empty()) {
        OnWalkEnded();
        return FALSE;
    }
    SetDlgItemText(IDC_DEPENDS_STATE, m_roots.front());
    // The files are walked on a worker thread; each file's modules come back to this window as
    // they are found, and closing the dialog stops the walk before the next file.
    HWND self = m_hWnd;
    std::vector<std::wstring> roots = m_roots;
    std::shared_ptr<std::atomic<bool>> stop = m_stop;
    m_worker = std::thread([this, self, roots, stop]() {
        for (size_t i = 0; i < roots.size() && !*stop; ++i) {
            std::vector<std::wstring> modules = FindDependentModules(roots[i]);
            if (*stop)
                break;
            KvUi::PostCall(self, [this, i, modules]() { OnFileWalked(i, modules); });
        }
        if (!*stop)
            KvUi::PostCall(self, [this]() { OnWalkEnded(); });
    });
    ::SetFocus(GetDlgItem(IDCANCEL));
    return FALSE;
}

void dlgDependens::OnFileWalked(size_t index, const std::vector<std::wstring>& modules) {
    bool added = false;
    for (const std::wstring& path : modules) {
        std::wstring key = KvBase::UpperCase(path);
        auto at = std::lower_bound(m_seen.begin(), m_seen.end(), key);
        if (at != m_seen.end() && *at == key)
            continue;
        m_seen.insert(at, key);
        m_modules.push_back(path);
        m_wndList.AddString(path);
        added = true;
    }
    if (added)
        theApp.SetListBoxExtent(m_wndList);
    ::SendDlgItemMessageW(m_hWnd, IDC_DEPENDS_PROGRESS, PBM_SETPOS, (WPARAM)(index + 1), 0);
    if (index + 1 < m_roots.size())
        SetDlgItemText(IDC_DEPENDS_STATE, m_roots[index + 1]);
}

void dlgDependens::OnWalkEnded() {
    if (m_worker.joinable())
        m_worker.join();
    m_bDone = true;
    wchar_t text[128];
    wsprintfW(text, KvUi::LoadStr(IDS_TOOL_DEPENDS_STATE).c_str(), (int)m_roots.size(), (int)m_modules.size());
    SetDlgItemText(IDC_DEPENDS_STATE, text);
    ::SendDlgItemMessageW(m_hWnd, IDC_DEPENDS_PROGRESS, PBM_SETPOS, (WPARAM)m_roots.size(), 0);
    if (m_modules.empty()) {
        EndDialog(kNoDependencies);
        return;
    }
    EnableDlgItem(IDOK, TRUE);
    GotoDlgCtrl(GetDlgItem(IDC_DEPENDS_EXECUTABLE));
}

void dlgDependens::StopWalk() {
    *m_stop = true;
    if (m_worker.joinable())
        m_worker.join();
}

void dlgDependens::OnDestroy() { StopWalk(); }

void dlgDependens::OnOK() {
    if (!m_bDone)
        return;
    m_bMarkExecutable = IsDlgItemChecked(IDC_DEPENDS_EXECUTABLE) ? 1 : 0;
    EndDialog(IDOK);
}

void dlgDependens::OnCancel() {
    StopWalk();
    KvUi::CDialog::OnCancel();
}

// ---- dlgProcessInfo --------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(dlgProcessInfo, KvUi::CDialog)
KV_END_MESSAGE_MAP()

dlgProcessInfo::dlgProcessInfo(HWND frame, int* abortFlag)
    : KvUi::CDialog(IDD_PROCESS_INFO, frame), m_pAbort(abortFlag), m_hFrame(frame) {
    if (m_pAbort)
        *m_pAbort = 0;
}

BOOL dlgProcessInfo::Create() { return KvUi::CDialog::Create(IDD_PROCESS_INFO, m_hFrame); }

void dlgProcessInfo::DoDataExchange(KvUi::CDataExchange* pDX) {
    KvUi::DDX_Control(pDX, IDC_PROCESS_RESOURCE, m_wndResource);
    KvUi::DDX_Control(pDX, IDC_PROCESS_PROGRESS, m_wndProgress);
    KvUi::DDX_Control(pDX, IDC_PROCESS_DETAILS, m_wndDetails);
}

BOOL dlgProcessInfo::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    // The details' names start after the longest label.
    int stop = 64;
    m_wndDetails.SendMessage(LB_SETTABSTOPS, 1, (LPARAM)&stop);
    return TRUE;
}

void dlgProcessInfo::OnCancel() {
    if (m_pAbort)
        *m_pAbort = 1;
    KvUi::CDialog::OnCancel();
}

void dlgProcessInfo::SetRange(int count) {
    m_wndProgress.SetRange32(0, count);
    m_wndProgress.SetPos(0);
}

void dlgProcessInfo::SetPos(int pos) { m_wndProgress.SetPos(pos); }

void dlgProcessInfo::ShowResourceInfo(CIChNode* node) {
    if (!node) {
        m_related.clear();
        m_wndDetails.ResetContent();
        return;
    }
    m_wndResource.SetWindowText(node->m_Name);
    CIChNodeList related;
    node->GetRelatedNodes(&related, 1);
    if (related == m_related)
        return;
    m_related = related;
    std::vector<std::wstring> groups, tasks, jobs;
    std::set<std::wstring> methods;
    for (CIChNode* n : related) {
        switch (n->GetType()) {
        case NodeTypeGroup:
            groups.push_back(n->m_Name);
            break;
        case NodeTypeTask:
            tasks.push_back(n->m_Name);
            break;
        case NodeTypeJob: {
            jobs.push_back(n->m_Name);
            std::wstring text;
            GetControlMethodText(static_cast<CIChJob*>(n)->GetControlMethod(), text);
            methods.insert(text);
            break;
        }
        default:
            break;
        }
    }
    auto line = [](UINT label, const std::vector<std::wstring>& names) {
        wchar_t head[64];
        wsprintfW(head, KvUi::LoadStr(label).c_str(), (int)names.size());
        std::wstring text = head;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i)
                text += L", ";
            text += names[i];
        }
        return text;
    };
    m_wndDetails.ResetContent();
    m_wndDetails.AddString(line(IDS_TOOL_INFO_GROUPS, groups));
    m_wndDetails.AddString(line(IDS_TOOL_INFO_TASKS, tasks));
    m_wndDetails.AddString(line(IDS_TOOL_INFO_JOBS, jobs));
    m_wndDetails.AddString(line(IDS_TOOL_INFO_METHODS, std::vector<std::wstring>(methods.begin(), methods.end())));
}

std::vector<std::wstring> dlgProcessInfo::GetDetails() const {
    std::vector<std::wstring> lines;
    for (int i = 0; i < m_wndDetails.GetCount(); ++i)
        lines.push_back(m_wndDetails.GetText(i));
    return lines;
}

// ---- CResourcePass ---------------------------------------------------------------------------

void CResourcePass::SetStepObserver(std::function<void(dlgProcessInfo&, int)> observer) {
    StepObserver() = std::move(observer);
}

CResourcePass::CResourcePass(HWND frame, const std::wstring& title, int count) : m_hFrame(frame), m_count(count) {
    // The pass times itself with the performance counter, read on one processor.
    m_oldAffinity = ::SetThreadAffinityMask(::GetCurrentThread(), 1);
    ::QueryPerformanceCounter(&m_start);
    m_wait = new KvUi::CWaitCursor;
    m_dlg.reset(new dlgProcessInfo(frame, &m_abort));
    if (!m_dlg->Create()) {
        m_dlg.reset();
        throw std::runtime_error("the progress window could not be created");
    }
    ::EnableWindow(m_hFrame, FALSE);
    m_dlg->ShowWindow(SW_SHOW);
    ::EnableWindow(m_dlg->m_hWnd, TRUE);
    m_dlg->SetWindowText(title);
    m_dlg->SetRange(count);
    m_dlg->ShowResourceInfo(nullptr);
    m_dlg->UpdateWindow();
    Pump();
    m_lastDraw = ::GetTickCount64();
}

CResourcePass::~CResourcePass() {
    if (!m_finished)
        Finish();
}

void CResourcePass::Pump() {
    MSG msg;
    while (!m_abort && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The program is ending: the quit message waits for the main loop, the pass stops.
            ::PostQuitMessage((int)msg.wParam);
            m_abort = 1;
            break;
        }
        if (!m_dlg || !::IsDialogMessageW(m_dlg->m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void CResourcePass::Step(int done, CIChNode* node) {
    ULONGLONG now = ::GetTickCount64();
    if (now - m_lastDraw >= kDrawInterval || done >= m_count) {
        m_dlg->SetPos(done);
        m_dlg->ShowResourceInfo(node);
        m_dlg->UpdateWindow();
        Pump();
        m_lastDraw = ::GetTickCount64();
    }
    if (StepObserver())
        StepObserver()(*m_dlg, done);
}

int CResourcePass::Finish() {
    m_finished = true;
    LARGE_INTEGER end = {}, frequency = {};
    ::QueryPerformanceCounter(&end);
    BOOL haveFrequency = ::QueryPerformanceFrequency(&frequency);
    if (m_oldAffinity)
        ::SetThreadAffinityMask(::GetCurrentThread(), m_oldAffinity);
    ::EnableWindow(m_hFrame, TRUE);
    if (m_dlg) {
        m_dlg->DestroyWindow();
        m_dlg.reset();
    }
    ::SetForegroundWindow(m_hFrame);
    delete m_wait;
    m_wait = nullptr;
    if (!haveFrequency || frequency.QuadPart == 0)
        return -1;
    return (int)((end.QuadPart - m_start.QuadPart) / frequency.QuadPart);
}

std::wstring ElapsedMessage(const wchar_t* lead, int seconds) {
    wchar_t text[256];
    lstrcpynW(text, lead, 180);
    FormatElapsedTime(seconds, text);
    return text;
}
