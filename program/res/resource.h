// Resource ids of VICheck64.
#pragma once

#define IDR_MAINFRAME           128   // menu, accelerators, title string, large icon
#define IDI_SMALL               193   // small icon of the main window
#define IDS_OLE_INIT_FAILED     100
#define IDS_TOOLBAR_NAME        101
#define IDS_MENUBAR_NAME        102
#define IDS_JOINT_MODE          103
#define IDS_SOCKETS_FAILED      104
#define IDS_NO_BOARD            107
#define IDS_DISKS_NOT_RECOGNISED 129

#define IDD_PROPERTY            173   // settings dialog
#define IDB_SETTINGS_TREE       191   // 16x16 images of the settings tree
#define IDR_WAIT_AVI            197   // looping animation of the wait dialog (type "AVI")
#define IDD_WAIT                198
#define IDD_ABOUTBOX            202
#define IDB_ABOUT_PICTURE       203
#define IDD_EXCEPTION           205
#define IDD_EXCEPTION_INFO      206

#define IDC_WAIT_ANIMATION      716
#define IDC_WAIT_TEXT           717
#define IDC_SETTINGS_PAGES      1073
#define IDC_SETTINGS_TREE       1074
#define IDC_ABOUT_SITE          1256
#define IDC_ABOUT_MAIL          1257
#define IDC_ABOUT_TEXT          1258
#define IDC_EXCEPTION_DETAILS   1262
#define IDC_EXCEPTION_TEXT      1263
#define IDC_ABOUT_RIGHTS        1264

#define ID_APP_ABOUT            57664
#define ID_APP_EXIT             57665
#define ID_TOOLS_SETTINGS       3605
