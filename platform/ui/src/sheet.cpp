// Property sheets and wizards.
#include "kvui/sheet.h"
#include "kvui/presenter.h"

namespace KvUi {

INT_PTR CALLBACK PageDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    // A page is bound to its object when the sheet creates it: WM_INITDIALOG carries the page's
    // PROPSHEETPAGE, whose lParam is the object.
    if (msg == WM_INITDIALOG && !CWnd::FromHandlePermanent(h)) {
        const PROPSHEETPAGEW* psp = reinterpret_cast<const PROPSHEETPAGEW*>(lp);
        CPropertyPage* page = reinterpret_cast<CPropertyPage*>(psp->lParam);
        page->BindHandle(h);
        page->m_pfnSuper = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)StdWndProc));
        page->m_bEnded = FALSE;
        return (INT_PTR)::SendMessageW(h, WM_INITDIALOG, wp, lp);
    }
    return FALSE;
}

// Posted by a page that became current: tells the presenter.
static const UINT kPageShownMsg = WM_APP + 0x3F1;

BOOL CPropertyPage::OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) {
    if (msg == kPageShownMsg) {
        if (m_pSheet && m_pSheet->m_hWnd && m_pSheet->GetActivePage() == this)
            GetPresenter()->PageShown(*this);
        *pResult = 0;
        return TRUE;
    }
    return CDialog::OnWndMsg(msg, wp, lp, pResult);
}

CPropertyPage::CPropertyPage(UINT nIDTemplate, const wchar_t* caption) : CDialog(nIDTemplate, (HWND) nullptr) {
    if (caption)
        m_strCaption = caption;
}

void CPropertyPage::SetModified(BOOL bChanged) {
    if (m_pSheet && m_pSheet->m_hWnd)
        ::SendMessageW(m_pSheet->m_hWnd, bChanged ? PSM_CHANGED : PSM_UNCHANGED, (WPARAM)m_hWnd, 0);
}

void CPropertyPage::EndDialog(INT_PTR nResult) {
    if (m_pSheet)
        m_pSheet->EndDialog(nResult);
}

BOOL CPropertyPage::PreTranslateMessage(MSG* pMsg) {
    if (m_pSheet && m_pSheet->m_hWnd && pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST &&
        (pMsg->hwnd == m_pSheet->m_hWnd || ::IsChild(m_pSheet->m_hWnd, pMsg->hwnd)))
        return (BOOL)::SendMessageW(m_pSheet->m_hWnd, PSM_ISDIALOGMESSAGE, 0, (LPARAM)pMsg);
    return FALSE;
}

BOOL CPropertyPage::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    // The sheet is the page's parent (its object is attached only once the sheet is made, after
    // the first page's first activation).
    if (!m_pSheet || !hdr || hdr->hwndFrom != ::GetParent(m_hWnd))
        return CDialog::OnNotify(wp, lp, pResult);
    LRESULT r = 0;
    switch (hdr->code) {
    case PSN_SETACTIVE:
        r = OnSetActive() ? 0 : -1;
        // The presenter hears of the page once the sheet has finished changing pages.
        if (r == 0)
            ::PostMessageW(m_hWnd, kPageShownMsg, 0, 0);
        break;
    case PSN_KILLACTIVE:
        r = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        r = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
        if (r == PSNRET_NOERROR)
            m_pSheet->m_nResult = IDOK;
        break;
    case PSN_RESET:
        OnReset();
        m_pSheet->m_nResult = IDCANCEL;
        break;
    case PSN_WIZBACK:
        r = OnWizardBack();
        break;
    case PSN_WIZNEXT:
        r = OnWizardNext();
        break;
    case PSN_WIZFINISH:
        // Finish leaves the page as OK would: its controls are taken back first.
        r = (OnKillActive() && OnWizardFinish()) ? FALSE : TRUE;
        if (!r)
            m_pSheet->m_nResult = IDOK;
        break;
    default:
        return CDialog::OnNotify(wp, lp, pResult);
    }
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, r);
    *pResult = r;
    return TRUE;
}

CPropertySheet::CPropertySheet(const std::wstring& caption, HWND hParent, UINT nStartPage)
    : m_strCaption(caption), m_hParent(hParent), m_nStartPage(nStartPage) {}

CPropertySheet::~CPropertySheet() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND h = Detach();
        ::DestroyWindow(h);
    }
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    page->m_pSheet = this;
    m_pages.push_back(page);
}

void CPropertySheet::SetWizardButtons(DWORD flags) {
    if (m_hWnd)
        ::PostMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, flags);
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    if (!m_hWnd)
        return nullptr;
    HWND h = (HWND)::SendMessageW(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0);
    for (CPropertyPage* p : m_pages)
        if (p->m_hWnd && p->m_hWnd == h)
            return p;
    return nullptr;
}

int CPropertySheet::GetActiveIndex() const {
    CPropertyPage* p = GetActivePage();
    for (int i = 0; i < GetPageCount(); ++i)
        if (m_pages[i] == p)
            return i;
    return -1;
}

BOOL CPropertySheet::SetActivePage(int i) {
    return m_hWnd && i >= 0 && i < GetPageCount() && ::SendMessageW(m_hWnd, PSM_SETCURSEL, i, 0);
}

BOOL CPropertySheet::PressButton(int button) { return m_hWnd && ::SendMessageW(m_hWnd, PSM_PRESSBUTTON, button, 0); }

void CPropertySheet::EndDialog(INT_PTR result) {
    m_nResult = result;
    m_bEnded = TRUE;
    if (m_hWnd)
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

INT_PTR CPropertySheet::DoModal() {
    if (m_pages.empty())
        return -1;
    std::vector<HPROPSHEETPAGE> handles;
    for (CPropertyPage* p : m_pages) {
        PROPSHEETPAGEW psp = {sizeof(psp)};
        psp.dwFlags = PSP_DEFAULT | (p->m_strCaption.empty() ? 0 : PSP_USETITLE);
        psp.hInstance = GetResourceHandle();
        psp.pszTemplate = MAKEINTRESOURCEW(p->m_nIDTemplate);
        psp.pszTitle = p->m_strCaption.c_str();
        psp.pfnDlgProc = PageDlgProc;
        psp.lParam = reinterpret_cast<LPARAM>(p);
        HPROPSHEETPAGE h = ::CreatePropertySheetPageW(&psp);
        if (!h) {
            for (HPROPSHEETPAGE made : handles)
                ::DestroyPropertySheetPage(made);
            return -1;
        }
        handles.push_back(h);
    }
    HWND hParent = ModalOwner(m_hParent);
    PROPSHEETHEADERW psh = {sizeof(psh)};
    psh.dwFlags = PSH_MODELESS | (m_bWizard ? PSH_WIZARD : PSH_NOAPPLYNOW);
    psh.hwndParent = hParent;
    psh.hInstance = GetResourceHandle();
    psh.pszCaption = m_strCaption.c_str();
    psh.nPages = (UINT)handles.size();
    psh.nStartPage = m_nStartPage < psh.nPages ? m_nStartPage : 0;
    psh.phpage = handles.data();
    BOOL reEnable = hParent && ::IsWindowEnabled(hParent);
    if (reEnable)
        ::EnableWindow(hParent, FALSE);
    m_bEnded = FALSE;
    m_nResult = IDCANCEL;
    HWND h = reinterpret_cast<HWND>(::PropertySheetW(&psh));
    if (!h || h == reinterpret_cast<HWND>(-1)) {
        if (reEnable)
            ::EnableWindow(hParent, TRUE);
        return -1;
    }
    Attach(h);
    CPropertyPage* first = GetActivePage();
    if (first)
        GetPresenter()->DialogShown(*first);
    // The sheet ends when it has no current page any more (OK, Cancel, Finish) or EndDialog.
    while (!m_bEnded && ::SendMessageW(h, PSM_GETCURRENTPAGEHWND, 0, 0)) {
        if (!PumpMessage())
            break;
    }
    if (reEnable)
        ::EnableWindow(hParent, TRUE);
    if (hParent && ::GetActiveWindow() == h)
        ::SetActiveWindow(hParent);
    Detach();
    ::DestroyWindow(h);
    return m_nResult;
}

} // namespace KvUi
