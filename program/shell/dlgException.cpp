#include "dlgException.h"

#include "resource.h"

#include <ModelStore.h>
#include <valkit.h>
#include <VoRurod.h>

std::wstring BuildErrorReport(const EGeneric& e) {
    // what() is UTF-8 (the value library narrows its text so).
    // The code and text as the store's errors show them, then where the error was raised.
    std::wstring source = as_wstring(std::string(e.what() ? e.what() : ""), CP_UTF8);
    return FormatStoreErrorText(e) + L"\n\nSource: " + source;
}

bool TranslateProgramException(std::wstring& text) {
    try {
        throw;
    } catch (const EGeneric& e) {
        text = BuildErrorReport(e);
        return true;
    } catch (KvBase::CVoRurod& e) {
        text = e.GetText();
        return true;
    } catch (...) {
        return false;
    }
}

void ShowErrorDialog(const std::wstring& text) {
    dlgException dlg(nullptr, text);
    dlg.DoModal();
}

static std::wstring ToCrLf(const std::wstring& s) {
    std::wstring r;
    r.reserve(s.size() + 16);
    for (wchar_t ch : s) {
        if (ch == L'\n' && (r.empty() || r.back() != L'\r'))
            r += L"\r\n";
        else
            r += ch;
    }
    return r;
}

KV_BEGIN_MESSAGE_MAP(dlgException, KvUi::CDialog)
ON_BN_CLICKED(IDC_EXCEPTION_DETAILS, OnDetails)
KV_END_MESSAGE_MAP()

dlgException::dlgException(HWND parent, const std::wstring& text)
    : KvUi::CDialog(IDD_EXCEPTION, parent), m_strText(ToCrLf(text)) {}

BOOL dlgException::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetWindowText(KvUi::LoadStr(IDR_MAINFRAME));
    RECT rc = {16, 16, 48, 48};
    if (m_icon.CreateEx(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, rc.left, rc.top, rc.right - rc.left,
                        rc.bottom - rc.top, m_hWnd, reinterpret_cast<HMENU>((INT_PTR)-1)))
        m_icon.SetIcon(::LoadIconW(nullptr, IDI_ERROR));
    return TRUE;
}

void dlgException::OnDetails() {
    dlgExceptionInfo info(m_hWnd, m_strText);
    info.DoModal();
}

dlgExceptionInfo::dlgExceptionInfo(HWND parent, const std::wstring& text)
    : KvUi::CDialog(IDD_EXCEPTION_INFO, parent), m_strText(ToCrLf(text)) {}

BOOL dlgExceptionInfo::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetDlgItemText(IDC_EXCEPTION_TEXT, m_strText);
    return TRUE;
}

dlgWait::dlgWait(HWND parent) : KvUi::CDialog(IDD_WAIT, parent) {}

BOOL dlgWait::Create() { return KvUi::CDialog::Create(IDD_WAIT, m_hParent); }

void dlgWait::DoDataExchange(KvUi::CDataExchange* pDX) { KvUi::DDX_Control(pDX, IDC_WAIT_ANIMATION, m_animation); }

BOOL dlgWait::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    if (m_animation.Open(IDR_WAIT_AVI))
        m_animation.Play(0, (UINT)-1, (UINT)-1);
    return TRUE;
}
