// Driving a dialog's controls as a person does: a click, typing, a choice in a list, and the
// state a person sees. A person cannot press a hidden or disabled control, so neither can a test.
#pragma once

#include <windows.h>

#include <string>

namespace KvTest {

// Whether the control is shown: its own style, as a dialog being scripted before it is on the
// screen has its controls marked visible while the dialog itself is not yet shown.
inline bool Visible(HWND control) { return control && (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0; }
inline bool Visible(HWND dialog, int id) { return Visible(::GetDlgItem(dialog, id)); }

inline bool Enabled(HWND control) { return control && ::IsWindowEnabled(control) != FALSE; }
inline bool Enabled(HWND dialog, int id) { return Enabled(::GetDlgItem(dialog, id)); }

// The shown control with this id anywhere below the window (a wizard's page, a window of another
// process); null when there is none.
inline HWND ShownControl(HWND top, int id) {
    struct Search {
        int id;
        HWND found;
    } search = {id, nullptr};
    ::EnumChildWindows(
        top,
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (::GetDlgCtrlID(h) == s->id && ::IsWindowVisible(h)) {
                s->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Clicks the control as a person does (a check box flips, a radio button takes the check, the
// dialog hears the click); false, and nothing happens, when it is missing, hidden or disabled.
inline bool Click(HWND control) {
    if (!Visible(control) || !Enabled(control))
        return false;
    ::SendMessageW(control, BM_CLICK, 0, 0);
    return true;
}
inline bool Click(HWND dialog, int id) { return Click(::GetDlgItem(dialog, id)); }

// Types the text into an edit, replacing what it held (the edit tells the dialog it changed);
// false, and nothing happens, when the edit is missing, hidden or disabled.
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

// The cursor a person sees over the window: the one it sets when the mouse moves over it (or, with
// `mouse`, is pressed on it) in the hit-test area; the "no" cursor when it sets none.
inline HCURSOR CursorOver(HWND h, UINT hit = HTCLIENT, UINT mouse = WM_MOUSEMOVE) {
    ::SetCursor(::LoadCursorW(nullptr, IDC_NO));
    ::SendMessageW(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(hit, mouse));
    return ::GetCursor();
}
// The same with the mouse moved first to the point (screen coordinates), for a window whose cursor
// depends on where the mouse is.
inline HCURSOR CursorAt(HWND h, POINT screen, UINT hit = HTCLIENT, UINT mouse = WM_MOUSEMOVE) {
    ::SetCursorPos(screen.x, screen.y);
    return CursorOver(h, hit, mouse);
}

// Dispatches every message waiting for the calling thread.
inline void Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

// Keeps the thread's windows answering for the interval (they paint, their timers fire).
inline void PumpFor(DWORD ms) {
    const DWORD end = ::GetTickCount() + ms;
    do {
        Pump();
        ::Sleep(10);
    } while ((LONG)(end - ::GetTickCount()) > 0);
}

} // namespace KvTest
