// Driving a dialog's controls as a person does: a click, typing, a choice in a list, and the
// state a person sees. A person cannot press a hidden or disabled control, so neither can a test.
#pragma once

#include <windows.h>

#include <string>

namespace KvTest {

// Whether the control is shown: its own style, as a dialog being scripted before it is on the
// screen has its controls marked visible while the dialog itself is not yet shown.
inline bool Visible(HWND dialog, int id) {
    HWND h = ::GetDlgItem(dialog, id);
    return h && (::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
}

inline bool Enabled(HWND dialog, int id) {
    HWND h = ::GetDlgItem(dialog, id);
    return h && ::IsWindowEnabled(h) != FALSE;
}

// Clicks the control as a person does (a check box flips, a radio button takes the check, the
// dialog hears the click); false, and nothing happens, when it is missing, hidden or disabled.
inline bool Click(HWND dialog, int id) {
    if (!Visible(dialog, id) || !Enabled(dialog, id))
        return false;
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    return true;
}

// Types the text into an edit, replacing what it held (the edit tells the dialog it changed).
inline bool Type(HWND dialog, int id, const std::wstring& text) {
    if (!Visible(dialog, id) || !Enabled(dialog, id))
        return false;
    return ::SetDlgItemTextW(dialog, id, text.c_str()) != FALSE;
}

// Chooses the entry of a drop-down list with this text (the dialog hears the change); false when
// the list is hidden, disabled or has no such entry.
inline bool Choose(HWND dialog, int id, const std::wstring& text) {
    if (!Visible(dialog, id) || !Enabled(dialog, id))
        return false;
    HWND h = ::GetDlgItem(dialog, id);
    int i = (int)::SendMessageW(h, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text.c_str());
    if (i < 0)
        return false;
    ::SendMessageW(h, CB_SETCURSEL, i, 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)h);
    return true;
}

// Dispatches every message waiting for the calling thread.
inline void Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

} // namespace KvTest
