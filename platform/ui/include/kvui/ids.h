// The layer's own command, control, window and string ids in one place. The macros serve
// resource scripts (a program's menu names its About and Exit commands by them); C++ code uses
// the constants of namespace KvUi.
#pragma once

// Panes and bars of a frame.
#define KVUI_IDW_TOOLBAR         0xE800 // 59392
#define KVUI_IDW_STATUS_BAR      0xE801 // 59393
#define KVUI_IDW_MENUBAR         0xE806 // 59398
#define KVUI_IDW_PANE_FIRST      0xE900 // 59648 the frame's view pane; splitter panes follow it
// Commands the frame and the application know.
#define KVUI_ID_APP_ABOUT        0xE140 // 57664
#define KVUI_ID_APP_EXIT         0xE141 // 57665
// Strings of the program's string table that the layer loads.
#define KVUI_IDS_APP_TITLE       0xE000 // 57344 caption of message boxes without one
#define KVUI_IDS_IDLEMESSAGE     0xE001 // 57345 "Ready" prompt of the status line
// The layer's own texts (res/kvui.rc, which the build links into every module that links the
// layer): a string-table block of their own, 0xE020 to 0xE02F, that no other script uses.
#define KVUI_IDS_CANCEL          0xE020 // 57376 the progress window's button
#define KVUI_IDS_ENTER_INTEGER   0xE021 // 57377 a dialog's number field holds no integer
#define KVUI_IDS_ENTER_UNSIGNED  0xE022 // 57378 a dialog's number field holds no unsigned integer
#define KVUI_IDS_EDITLIST_NEW    0xE023 // 57379 tips of an edit list's buttons
#define KVUI_IDS_EDITLIST_DELETE 0xE024 // 57380
#define KVUI_IDS_EDITLIST_UP     0xE025 // 57381
#define KVUI_IDS_EDITLIST_DOWN   0xE026 // 57382
#define KVUI_IDS_YES             0xE027 // 57383 a property list's yes/no choices unless set otherwise
#define KVUI_IDS_NO              0xE028 // 57384
#define KVUI_IDS_UNKNOWN_ERROR   0xE029 // 57385 the text of an exception of no known kind
// Controls of the layer's progress window (built in memory, no resource).
#define KVUI_IDC_PROGRESS_TEXT   0xE180 // 57728
#define KVUI_IDC_PROGRESS_BAR    0xE181 // 57729

#ifndef RC_INVOKED
#include <windows.h>

namespace KvUi {
const UINT AFX_IDW_TOOLBAR = KVUI_IDW_TOOLBAR;
const UINT AFX_IDW_STATUS_BAR = KVUI_IDW_STATUS_BAR;
const UINT AFX_IDW_MENUBAR = KVUI_IDW_MENUBAR;
const UINT AFX_IDW_PANE_FIRST = KVUI_IDW_PANE_FIRST;
const UINT ID_APP_ABOUT = KVUI_ID_APP_ABOUT;
const UINT ID_APP_EXIT = KVUI_ID_APP_EXIT;
const UINT AFX_IDS_APP_TITLE = KVUI_IDS_APP_TITLE;
const UINT AFX_IDS_IDLEMESSAGE = KVUI_IDS_IDLEMESSAGE;
const UINT IDC_PROGRESS_TEXT = KVUI_IDC_PROGRESS_TEXT;
const UINT IDC_PROGRESS_BAR = KVUI_IDC_PROGRESS_BAR;
} // namespace KvUi
#endif
