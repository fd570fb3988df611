// Dialogs from templates and data exchange.
#include "kvui/dialog.h"
#include "kvui/app.h"
#include "kvui/ids.h"
#include "kvui/presenter.h"

#include "wndproc.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace KvUi {

// ---- data exchange -------------------------------------------------------------------------

HWND CDataExchange::PrepareCtrl(int nID) {
    HWND h = ::GetDlgItem(m_pDlgWnd->m_hWnd, nID);
    if (!h)
        throw std::logic_error("dialog control missing");
    m_hWndLastControl = h;
    return h;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_hWndLastControl) {
        m_pDlgWnd->GotoDlgCtrl(m_hWndLastControl);
        if (::SendMessageW(m_hWndLastControl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
            ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw CUserException();
}

static std::wstring WindowText(HWND h) {
    int n = ::GetWindowTextLengthW(h);
    std::wstring s(n + 1, L'\0');
    n = ::GetWindowTextW(h, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

// A field's text without leading and trailing blanks, as numbers are read.
static std::wstring TrimmedText(HWND h) { return TrimSpace(WindowText(h)); }

void DDX_Text(CDataExchange* pDX, int nID, std::wstring& value) {
    HWND h = pDX->PrepareCtrl(nID);
    if (pDX->m_bSaveAndValidate)
        value = WindowText(h);
    else
        ::SetWindowTextW(h, value.c_str());
}

// A field's text as a whole number (see CWnd::GetDlgItemNumber).
static std::optional<int> NumberText(HWND h) {
    std::wstring s = TrimmedText(h);
    wchar_t* end = nullptr;
    errno = 0;
    long v = s.empty() ? 0 : wcstol(s.c_str(), &end, 10);
    if (s.empty() || *end || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return std::nullopt;
    return (int)v;
}

std::optional<int> CWnd::GetDlgItemNumber(int id) const {
    HWND h = GetDlgItem(id);
    return h ? NumberText(h) : std::nullopt;
}

void DDX_Text(CDataExchange* pDX, int nID, int& value) {
    HWND h = pDX->PrepareCtrl(nID);
    if (pDX->m_bSaveAndValidate) {
        std::optional<int> v = NumberText(h);
        if (!v) {
            ShowMessage(pDX->m_pDlgWnd->m_hWnd, LayerText(KVUI_IDS_ENTER_INTEGER), nullptr, MB_ICONEXCLAMATION | MB_OK);
            pDX->Fail();
        }
        value = *v;
    } else {
        ::SetWindowTextW(h, std::to_wstring(value).c_str());
    }
}

void DDX_Text(CDataExchange* pDX, int nID, unsigned int& value) {
    HWND h = pDX->PrepareCtrl(nID);
    if (pDX->m_bSaveAndValidate) {
        std::wstring s = TrimmedText(h);
        // Digits only (wcstoul would take a sign and wrap a negative number round).
        bool digits = !s.empty() && s.find_first_not_of(L"0123456789") == std::wstring::npos;
        unsigned long long v = 0;
        for (size_t i = 0; digits && i < s.size(); ++i) {
            v = v * 10 + (unsigned)(s[i] - L'0');
            if (v > 0xFFFFFFFFull)
                digits = false;
        }
        if (!digits) {
            ShowMessage(pDX->m_pDlgWnd->m_hWnd, LayerText(KVUI_IDS_ENTER_UNSIGNED), nullptr,
                        MB_ICONEXCLAMATION | MB_OK);
            pDX->Fail();
        }
        value = (unsigned int)v;
    } else {
        ::SetWindowTextW(h, std::to_wstring(value).c_str());
    }
}

void DDX_Check(CDataExchange* pDX, int nID, int& value) {
    HWND h = pDX->PrepareCtrl(nID);
    if (pDX->m_bSaveAndValidate)
        value = (int)::SendMessageW(h, BM_GETCHECK, 0, 0);
    else
        ::SendMessageW(h, BM_SETCHECK, (WPARAM)(value < 0 || value > 2 ? 0 : value), 0);
}

void DDX_Radio(CDataExchange* pDX, int nID, int& value) {
    HWND h = pDX->PrepareCtrl(nID);
    if (pDX->m_bSaveAndValidate)
        value = -1;
    // The group runs from the first button to the next control with WS_GROUP.
    int index = 0;
    do {
        LONG_PTR code = ::SendMessageW(h, WM_GETDLGCODE, 0, 0);
        if (code & DLGC_RADIOBUTTON) {
            if (pDX->m_bSaveAndValidate) {
                if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    value = index;
            } else {
                ::SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        h = ::GetWindow(h, GW_HWNDNEXT);
    } while (h && !(::GetWindowLongW(h, GWL_STYLE) & WS_GROUP));
}

void DDX_Control(CDataExchange* pDX, int nID, CWnd& control) {
    if (control.m_hWnd)
        return;
    HWND h = pDX->PrepareCtrl(nID);
    control.SubclassWindow(h);
}

// ---- dialogs -------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CDialog, CWnd)
KV_END_MESSAGE_MAP()

CDialog::~CDialog() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND h = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(h);
    }
}

HWND CDialog::ParentHandle() const {
    if (m_pParentWnd && m_pParentWnd->m_hWnd)
        return m_pParentWnd->m_hWnd;
    return m_hParent;
}

HWND CDialog::CreateFromTemplate(HWND hParent) {
    if (m_pTemplate)
        return CreateFromMemory(m_pTemplate, hParent);
    HINSTANCE hInst = GetResourceHandle();
    HRSRC res = ::FindResourceW(hInst, MAKEINTRESOURCEW(m_nIDTemplate), (LPCWSTR)RT_DIALOG);
    if (!res)
        return nullptr;
    HGLOBAL g = ::LoadResource(hInst, res);
    const DLGTEMPLATE* tpl = g ? static_cast<const DLGTEMPLATE*>(::LockResource(g)) : nullptr;
    if (!tpl)
        return nullptr;
    return CreateFromMemory(tpl, hParent);
}

namespace {
// Whether a template leaves its window's place to the program: a popup at the template's origin,
// neither centred by the dialog manager nor placed in screen coordinates.
bool PlacedAtTemplateOrigin(const DLGTEMPLATE* tpl) {
    const BYTE* b = reinterpret_cast<const BYTE*>(tpl);
    DWORD style;
    short x, y;
    if (reinterpret_cast<const WORD*>(tpl)[1] == 0xFFFF) { // DLGTEMPLATEEX
        memcpy(&style, b + 12, 4);
        memcpy(&x, b + 18, 2);
        memcpy(&y, b + 20, 2);
    } else {
        style = tpl->style;
        x = tpl->x;
        y = tpl->y;
    }
    return !(style & (WS_CHILD | DS_CENTER | DS_ABSALIGN)) && x == 0 && y == 0;
}
} // namespace

void CDialog::CenterOverOwner() {
    if (!m_hWnd)
        return;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        owner = main && main->m_hWnd != m_hWnd ? main->m_hWnd : nullptr;
    }
    HMONITOR monitor = ::MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi = {sizeof(mi)};
    if (!::GetMonitorInfoW(monitor, &mi))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &mi.rcWork, 0);
    RECT area = mi.rcWork;
    // Over a shown owner that is not minimised; else in the middle of the screen's work area.
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &area);
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    int x = (area.left + area.right - cx) / 2;
    int y = (area.top + area.bottom - cy) / 2;
    // The whole dialog on the work area, its caption first.
    x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - cx));
    y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - cy));
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CDialog::CreateFromMemory(const DLGTEMPLATE* tpl, HWND hParent) {
    m_bCenterAtInit = PlacedAtTemplateOrigin(tpl);
    m_bEnded = FALSE;
    m_nResult = -1;
    m_bCreateFailed = FALSE;
    SetDialogInit(this);
    HWND h = ::CreateDialogIndirectParamW(GetResourceHandle(), tpl, hParent, StdDlgProc, 0);
    SetDialogInit(nullptr);
    if (h && m_bCreateFailed) {
        // OnInitDialog failed (and was reported): the dialog is not shown half made.
        ::DestroyWindow(h);
        h = nullptr;
    }
    if (!h) {
        UnbindHandle();
        m_pfnSuper = nullptr;
    }
    return h;
}

HWND ModalOwner(HWND hParent) {
    if (hParent)
        return ::GetAncestor(hParent, GA_ROOT);
    // Without an owner the program's main window owns the dialog, so it is disabled while the
    // dialog runs (a dialog of another thread leaves it alone).
    CWnd* main = AfxGetMainWnd();
    if (main && main->m_hWnd && ::IsWindowVisible(main->m_hWnd) &&
        ::GetWindowThreadProcessId(main->m_hWnd, nullptr) == ::GetCurrentThreadId())
        return main->m_hWnd;
    return nullptr;
}

namespace {

bool g_bTaskModal = false;

BOOL CALLBACK CollectEnabledTopLevel(HWND h, LPARAM lp) {
    if (::IsWindowVisible(h) && ::IsWindowEnabled(h))
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

// The windows of the calling thread that a task-modal dialog disables while it runs.
class CTaskModalScope {
public:
    ~CTaskModalScope() { End(); }
    // The owner: the thread's active window (its root), else its topmost enabled window.
    HWND Begin() {
        ::EnumThreadWindows(::GetCurrentThreadId(), CollectEnabledTopLevel, reinterpret_cast<LPARAM>(&m_windows));
        HWND active = ::GetActiveWindow();
        HWND owner = active ? ::GetAncestor(active, GA_ROOT) : nullptr;
        if (!owner && !m_windows.empty())
            owner = m_windows.front();
        for (HWND h : m_windows)
            ::EnableWindow(h, FALSE);
        return owner;
    }
    void End() {
        for (HWND h : m_windows)
            if (::IsWindow(h))
                ::EnableWindow(h, TRUE);
        m_windows.clear();
    }

private:
    std::vector<HWND> m_windows;
};

} // namespace

void SetTaskModalWithoutOwner(bool on) { g_bTaskModal = on; }

INT_PTR CDialog::DoModal() {
    HWND hParent = ModalOwner(ParentHandle());
    CTaskModalScope task;
    if (!hParent && g_bTaskModal && !AfxGetMainWnd())
        hParent = task.Begin();
    // Disable the owner first, as the system's modal dialogs do.
    BOOL reEnable = hParent && ::IsWindowEnabled(hParent);
    if (reEnable)
        ::EnableWindow(hParent, FALSE);
    m_bModal = TRUE;
    HWND h = CreateFromTemplate(hParent);
    if (!h) {
        m_bModal = FALSE;
        if (reEnable)
            ::EnableWindow(hParent, TRUE);
        task.End();
        return -1;
    }
    // The presenter sees the dialog first: a scripted one answers it without showing it.
    GetPresenter()->DialogShown(*this);
    if (!m_bEnded && m_hWnd)
        ::ShowWindow(h, SW_SHOW);
    bool idle = true;
    while (!m_bEnded) {
        MSG peek;
        if (idle && m_hWnd && !::PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            // The queue ran empty: the update handlers of the dialog's own controls run once.
            idle = false;
            CallReporting(L"dialog idle update", [this] { OnIdleUpdate(); });
            continue;
        }
        if (!PumpMessage())
            break; // WM_QUIT: reposted for the outer loop; the dialog ends with its result
        idle = true;
    }
    if (reEnable)
        ::EnableWindow(hParent, TRUE);
    task.End();
    if (hParent && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hParent);
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        ::DestroyWindow(m_hWnd);
    }
    m_bModal = FALSE;
    return m_nResult;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParent) {
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParent;
    return CreateModeless(ParentHandle());
}

BOOL CDialog::Create(UINT nIDTemplate, HWND hParent) {
    m_nIDTemplate = nIDTemplate;
    m_hParent = hParent;
    m_pParentWnd = nullptr;
    return CreateModeless(hParent);
}

BOOL CDialog::CreateIndirect(const DLGTEMPLATE* tpl, HWND hParent) {
    m_pTemplate = tpl;
    m_nIDTemplate = 0;
    m_hParent = hParent;
    m_pParentWnd = nullptr;
    return CreateModeless(hParent);
}

BOOL CDialog::CreateModeless(HWND hParent) {
    if (!CreateFromTemplate(hParent))
        return FALSE;
    // The update handlers of its controls run when the thread is idle.
    RegisterIdleUpdate(this);
    return TRUE;
}

void CDialog::OnIdleUpdate() { UpdateDialogControls(this, FALSE); }

void CDialog::EndDialog(INT_PTR nResult) {
    m_nResult = nResult;
    m_bEnded = TRUE;
    if (!m_bModal && m_hWnd)
        ::DestroyWindow(m_hWnd);
    else if (m_hWnd)
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0); // wakes the modal loop
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::GotoDlgCtrl(HWND hCtl) { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, (WPARAM)hCtl, TRUE); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_hWnd &&
        (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd)))
        return ::IsDialogMessageW(m_hWnd, pMsg);
    return FALSE;
}

BOOL CDialog::OnCommand(WPARAM wp, LPARAM lp) {
    if (CWnd::OnCommand(wp, lp))
        return TRUE;
    UINT id = LOWORD(wp);
    UINT code = HIWORD(wp);
    if (code != BN_CLICKED && lp)
        return FALSE;
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        RECT before = {};
        ::GetWindowRect(m_hWnd, &before);
        LRESULT r = 0;
        if (!OnWndMsg(msg, wp, lp, &r))
            r = OnInitDialog();
        // A dialog at its template's origin that did not place itself opens over its owner, as
        // the centred ones do, rather than at the owner's (or the screen's) top-left corner.
        RECT after = {};
        if (m_bCenterAtInit && m_hWnd && ::GetWindowRect(m_hWnd, &after) && after.left == before.left &&
            after.top == before.top)
            CenterOverOwner();
        return r;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

} // namespace KvUi
