#include "dlgException.h"

#include "../res/resource.h"

#include <valkit.h>
#ifdef KV_HAVE_KVBASE
#include <VoRurod.h>
#endif

std::wstring BuildErrorReport(const EGeneric& e) {
    std::wstring code;
    _value_t c = e["Code"];
    _value_t hr = e["HRESULT"];
    if (c.type() == typeid(int))
        code = format_wstring(L"0x%0.8X", (unsigned)c.as_int());
    else if (hr.type() == typeid(long))
        // The HRESULT in hexadecimal, as the code above: a decimal text behind "0x" would mislead.
        code = format_wstring(L"0x%0.8X", (unsigned)hr.as_int64());
    std::wstring text;
    _value_t t = e["Text"];
    _value_t err = e["Error"];
    if (t.type() == typeid(std::string))
        text = as_wstring(t.as_string());
    else if (err.type() == typeid(std::string))
        text = as_wstring(err.as_string());
    std::wstring source = as_wstring(std::string(e.what() ? e.what() : ""), CP_ACP);
    return format_wstring(L"Код: %s\nТекст: %s\n\nSource: %s", code.c_str(), text.c_str(), source.c_str());
}

bool TranslateProgramException(std::wstring& text) {
    try {
        throw;
    } catch (const EGeneric& e) {
        text = BuildErrorReport(e);
        return true;
#ifdef KV_HAVE_KVBASE
    } catch (KvBase::CVoRurod& e) {
        text = e.GetText();
        return true;
#endif
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
