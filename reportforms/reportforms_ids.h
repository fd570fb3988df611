// Resource ids of KvReportForms64: the wizard templates, pages, banner, strings and controls.
#pragma once

// Templates
#define IDD_SETTINGS       1003 // CDlgSettings, "Дополнительно"
#define IDD_RESOURCES_WS   1005 // CDlgResourcesWS
#define IDD_REPORT_FILE    1006 // CDlgResourcesSecond, the report file page
#define IDD_PASSPORT_WS    1011 // CDlgPassportWS
#define IDD_EVENTLOG_START 1014 // CDlgEventLogStart
#define IDD_EVENTLOG       1015 // CDlgEventLog
#define IDD_VARNO_START    1016 // CDlgVarnoStart
#define IDD_VARNO          1017 // CDlgVarno

// The banner bitmap
#define IDB_BANNER 1001

// Strings
#define IDS_NEXT            1007  // "Далее>>"
#define IDS_BUILD           1008  // "Построить"
#define IDS_BAD_RANGE       26500 // the range check's message
#define IDS_MESSAGE_CAPTION 26501
#define IDS_FILE_FILTER     26503 // the Save As dialog's filter
#define IDS_PATH_NO_FOLDER  26504 // the report file's folder is not there: folder, code, reason

// Controls of the wizard frames
#define IDC_BANNER_TEXT   1006
#define IDC_BANNER        1007
#define IDC_ADVANCED      1019 // "Дополнительно..."
#define IDC_LINE          1021
#define IDC_BACK          1022
#define IDC_NEXT          1023 // "Далее >>" / "Построить"
#define IDC_CANCEL_WIZARD 1024

// Controls of the pages and of the page-numbering dialog
#define IDC_CHECK          1015 // show description / show all / numbering shown
#define IDC_RADIO_ALL      1016 // event log: all records; numbering: top
#define IDC_RADIO_SELECTED 1017 // event log: selected records; numbering: bottom
#define IDC_RADIO_VIEW     1018 // event log: records of the view; numbering: total shown
#define IDC_RADIO_RANGE    1019
#define IDC_RANGE_START    1026
#define IDC_RANGE_END      1027
#define IDC_REPORT_PATH    1026
#define IDC_BROWSE         1027

#define IDC_NUMBERING 1015
#define IDC_TOP       1016
#define IDC_BOTTOM    1017
#define IDC_TOTAL     1018

// Sent by the report file page to its frame: wParam 1 when the path may be confirmed, else 0.
#define WM_REPORT_PATH_STATE (WM_USER + 2)
