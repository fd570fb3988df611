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
