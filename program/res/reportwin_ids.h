// Resource ids of the report launch window: its dialog and controls, and the report commands
// that only this window's code adds (the passport and resources commands are in resource.h).
#pragma once

#define IDD_LONGOP 7019 // the report window's progress dialog (child, no caption)

#define IDC_LONGOP_FRAME     1243 // group box around everything
#define IDC_LONGOP_ANIMATION 716  // the wait animation (AVI 197)
#define IDC_LONGOP_TEXT      717  // what the run is doing or how it ended
#define IDC_LONGOP_SHOW      1241 // "Показать отчет": open the report file on closing
#define IDC_LONGOP_LINE      1244 // etched line above the button

#define ID_REPORT_USERS 3613 // the board user-access report: in no menu, always disabled

// Texts of the report window.
#define IDS_REP_FAILED            27200
#define IDS_REP_TITLE_PASSPORT    27201
#define IDS_REP_TITLE_RESOURCES   27202
#define IDS_REP_TITLE_USERS       27203
#define IDS_REP_TITLE_EVENTLOG    27204
#define IDS_REP_TITLE_DEFAULT     27205
#define IDS_REP_BUILDING          27206
#define IDS_REP_NO_REQUEST        27207
#define IDS_REP_NO_SOURCE         27208
#define IDS_REP_OTHER_FILE        27209
#define IDS_REP_WRITTEN_ELSEWHERE 27210
#define IDS_REP_DONE              27211
#define IDS_REP_ABORTED           27212
#define IDS_REP_OK                27213
