// Small helpers the pickers and bulk creation share: the application profile (nothing is read or
// written when there is no application object).
#pragma once

#include <kvui/kvui.h>

#include <string>

inline std::wstring ReadProfileText(const wchar_t* section, const wchar_t* entry, const wchar_t* def = L"") {
    KvUi::CWinApp* app = KvUi::AfxGetApp();
    return app ? app->GetProfileString(section, entry, def) : std::wstring(def);
}

inline BOOL WriteProfileText(const wchar_t* section, const wchar_t* entry, const std::wstring& value) {
    KvUi::CWinApp* app = KvUi::AfxGetApp();
    return app ? app->WriteProfileString(section, entry, value.c_str()) : FALSE;
}
