// Helpers of the setup dialogs' tests: a button of a dialog pressed as a person presses it.
#pragma once

#include <kvui/kvui.h>

#include "resource.h"

namespace OsTest {

// Flips a check box, checks a radio button of the Windows-task kind, and sends the click.
inline void Click(KvUi::CDialog& d, int id) {
    HWND control = d.GetDlgItem(id);
    if (::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) {
        LONG style = ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        if (style == BS_AUTOCHECKBOX)
            ::CheckDlgButton(d.m_hWnd, id,
                             ::IsDlgButtonChecked(d.m_hWnd, id) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
        else if (style == BS_AUTORADIOBUTTON)
            ::CheckRadioButton(d.m_hWnd, IDC_MSWINDOWS_DEFAULT, IDC_MSWINDOWS_STARTUP, id);
    }
    d.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control);
}

} // namespace OsTest
