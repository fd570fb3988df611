// The one error dialog of the program, its details box, the wait dialog, and the report text of
// an escaped exception.
#pragma once

#include <kvui/kvui.h>

#include <string>

class EGeneric;

// "Код: %s\nТекст: %s\n\nSource: %s" of an exception of the value library.
std::wstring BuildErrorReport(const EGeneric& e);
// The text of the exception being handled when it is one of the program's own kinds (EGeneric,
// KvBase::CVoRurod); the layer's translator (KvUi::AddExceptionTranslator).
bool TranslateProgramException(std::wstring& text);
// The program's error dialog with a text (the layer's error dialog handler).
void ShowErrorDialog(const std::wstring& text);

class dlgException : public KvUi::CDialog {
public:
    // The parent may be null (worker threads and the application object show it so).
    dlgException(HWND parent, const std::wstring& text);
    const std::wstring& GetText() const { return m_strText; }
    BOOL OnInitDialog() override;
    void OnDetails();

protected:
    KvUi::CStatic m_icon;
    std::wstring m_strText;
    KV_DECLARE_MESSAGE_MAP()
};

class dlgExceptionInfo : public KvUi::CDialog {
public:
    dlgExceptionInfo(HWND parent, const std::wstring& text);
    BOOL OnInitDialog() override;

protected:
    std::wstring m_strText;
};

// The modeless wait dialog: the caller creates it with the main frame as parent, shows it and
// later destroys it.
class dlgWait : public KvUi::CDialog {
public:
    explicit dlgWait(HWND parent);
    BOOL Create();
    BOOL OnInitDialog() override;
    KvUi::CAnimateCtrl m_animation;
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
};
