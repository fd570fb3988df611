// Small helpers the pickers and bulk creation share: the wait cursor while a tree is filled and
// the application profile (nothing is read or written when there is no application object).
#pragma once

#include <kvui/kvui.h>

#include <string>

// Shows the wait cursor for its lifetime.
class CWaitCursorScope {
public:
    CWaitCursorScope() : m_old(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursorScope() { ::SetCursor(m_old); }
    CWaitCursorScope(const CWaitCursorScope&) = delete;
    CWaitCursorScope& operator=(const CWaitCursorScope&) = delete;

private:
    HCURSOR m_old;
};

inline std::wstring ReadProfileText(const wchar_t* section, const wchar_t* entry, const wchar_t* def = L"") {
    KvUi::CWinApp* app = KvUi::AfxGetApp();
    return app ? app->GetProfileString(section, entry, def) : std::wstring(def);
}

inline BOOL WriteProfileText(const wchar_t* section, const wchar_t* entry, const std::wstring& value) {
    KvUi::CWinApp* app = KvUi::AfxGetApp();
    return app ? app->WriteProfileString(section, entry, value.c_str()) : FALSE;
}
