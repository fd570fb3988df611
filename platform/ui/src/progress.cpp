// The progress window of long work run on a worker thread.
#include "kvui/progress.h"
#include "kvui/ids.h"

#include <stdexcept>
#include <thread>

namespace KvUi {

// ---- sink ------------------------------------------------------------------------------------

void CProgressSink::SetText(const std::wstring& text) {
    std::lock_guard<std::mutex> g(m_lock);
    if (text != m_text) {
        m_text = text;
        m_bChanged = true;
    }
}

void CProgressSink::SetPos(uint64_t done, uint64_t total) {
    int permille = 0;
    if (total) {
        if (done >= total)
            permille = 1000;
        else if (total > UINT64_MAX / 1000)
            permille = (int)(done / (total / 1000)); // huge totals: no overflow of done * 1000
        else
            permille = (int)(done * 1000 / total);
    }
    std::lock_guard<std::mutex> g(m_lock);
    if (permille != m_permille) {
        m_permille = permille;
        m_bChanged = true;
    }
}

void CProgressSink::Reset() {
    std::lock_guard<std::mutex> g(m_lock);
    m_text.clear();
    m_permille = 0;
    m_bChanged = true;
    m_bCancelled.store(false);
}

void CProgressSink::ThrowIfCancelled() const {
    if (m_bCancelled.load())
        throw CProgressCancelled();
}

bool CProgressSink::TakeState(std::wstring& text, int& permille) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_bChanged)
        return false;
    m_bChanged = false;
    text = m_text;
    permille = m_permille;
    return true;
}

// ---- the window ------------------------------------------------------------------------------

namespace {
const UINT_PTR kRefreshTimer = 1;

// A dialog template in memory: header, then items each on a four-byte boundary.
class CTemplateWriter {
public:
    std::vector<WORD> words;
    void Dword(DWORD d) {
        words.push_back(LOWORD(d));
        words.push_back(HIWORD(d));
    }
    void Word(WORD w) { words.push_back(w); }
    void Text(const wchar_t* s) {
        for (; *s; ++s)
            words.push_back((WORD)*s);
        words.push_back(0);
    }
    void Align() {
        if (words.size() % 2)
            words.push_back(0);
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const wchar_t* cls,
              const wchar_t* text) {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        for (short v : {x, y, cx, cy})
            Word((WORD)v);
        Word(id);
        if (atom) {
            Word(0xFFFF);
            Word(atom);
        } else {
            Text(cls);
        }
        Text(text);
        Word(0); // no creation data
    }
};
} // namespace

KV_BEGIN_MESSAGE_MAP(CProgressDialog, CDialog)
ON_WM_TIMER()
ON_UPDATE_COMMAND_UI(IDCANCEL, OnUpdateCancel)
KV_END_MESSAGE_MAP()

CProgressDialog::CProgressDialog(HWND owner, const std::wstring& caption)
    : CDialog(0, owner), m_hOwner(owner), m_strCaption(caption) {
    CTemplateWriter t;
    t.Dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.Dword(0);
    t.Word(3); // items
    for (short v : {0, 0, 260, 62})
        t.Word((WORD)v);
    t.Word(0); // no menu
    t.Word(0); // the dialog class
    t.Text(caption.c_str());
    t.Word(8);
    t.Text(L"MS Shell Dlg");
    // The text ends in an ellipsis where a long path does not fit.
    t.Item(SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 7, 7, 246, 10, (WORD)IDC_PROGRESS_TEXT, 0x0082, nullptr, L"");
    t.Item(PBS_SMOOTH, 7, 21, 246, 12, (WORD)IDC_PROGRESS_BAR, 0, PROGRESS_CLASSW, L"");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 203, 41, 50, 14, IDCANCEL, 0x0080, nullptr, LayerText(KVUI_IDS_CANCEL).c_str());
    m_template = std::move(t.words);
}

CProgressDialog::~CProgressDialog() = default;

BOOL CProgressDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
    Refresh();
    ::SetTimer(m_hWnd, kRefreshTimer, kRefreshMs, nullptr);
    return TRUE;
}

void CProgressDialog::Refresh() {
    std::wstring text;
    int permille = 0;
    if (!m_sink.TakeState(text, permille))
        return;
    SetDlgItemText(IDC_PROGRESS_TEXT, text);
    SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS, (WPARAM)permille, 0);
}

void CProgressDialog::OnTimer(UINT_PTR id) {
    if (id == kRefreshTimer)
        Refresh();
}

void CProgressDialog::RequestCancel() {
    m_sink.Cancel();
    // The button goes grey at once, not only at the next idle pass.
    if (m_hWnd)
        UpdateDialogControls(this, FALSE);
}

// "Отмена", Esc and the close box ask the work to stop; the window stays until it has.
void CProgressDialog::OnCancel() { RequestCancel(); }

void CProgressDialog::OnUpdateCancel(CCmdUI* pCmdUI) { pCmdUI->Enable(!m_sink.IsCancelled()); }

CProgressDialog::Result CProgressDialog::Run(const std::function<void(CProgressSink&)>& work) {
    if (m_hWnd)
        throw std::logic_error("the progress window runs already");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    HWND owner = ModalOwner(m_hOwner);
    BOOL reEnable = owner && ::IsWindowEnabled(owner);
    if (reEnable)
        ::EnableWindow(owner, FALSE);
    struct OwnerBack {
        HWND owner;
        BOOL reEnable;
        ~OwnerBack() {
            if (reEnable)
                ::EnableWindow(owner, TRUE);
        }
    } ownerBack{owner, reEnable};

    m_bDone = false;
    m_sink.Reset();
    if (!CreateIndirect(reinterpret_cast<const DLGTEMPLATE*>(m_template.data()), owner))
        throw std::runtime_error("the progress window could not be created");
    ::ShowWindow(m_hWnd, SW_SHOW);
    HWND self = m_hWnd;

    std::exception_ptr failure;
    bool cancelledByWork = false;
    std::thread worker([&] {
        try {
            work(m_sink);
        } catch (const CProgressCancelled&) {
            cancelledByWork = true;
        } catch (...) {
            failure = std::current_exception();
        }
        m_bDone = true;
        ::PostMessageW(self, WM_NULL, 0, 0); // wakes the loop below
    });

    // The window's thread goes on with its messages until the work has returned.
    bool quit = false;
    int quitCode = 0;
    bool idle = true;
    while (!m_bDone) {
        MSG msg;
        if (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            idle = false;
            CallReporting(L"progress idle update", [this] { OnIdleUpdate(); });
            continue;
        }
        if (!::GetMessageW(&msg, nullptr, 0, 0)) {
            // The program ends: the work is asked to stop; the quit is posted again afterwards.
            quit = true;
            quitCode = (int)msg.wParam;
            m_sink.Cancel();
            break;
        }
        if (!TranslateReporting(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        idle = true;
    }
    worker.join();

    Refresh();
    if (m_hWnd) {
        ::KillTimer(m_hWnd, kRefreshTimer);
        // The owner comes back before the window goes, so the activation returns to it.
        if (reEnable) {
            ::EnableWindow(owner, TRUE);
            ownerBack.reEnable = FALSE;
        }
        ::DestroyWindow(m_hWnd);
    }
    if (quit)
        ::PostQuitMessage(quitCode);
    if (failure)
        std::rethrow_exception(failure);
    return cancelledByWork || m_sink.IsCancelled() ? Cancelled : Completed;
}

} // namespace KvUi
