// Resource ids of VICheck64.
#pragma once

#define IDR_MAINFRAME            128 // menu, accelerators, title string, large icon
#define IDI_SMALL                193 // small icon of the main window
#define IDS_OLE_INIT_FAILED      100
#define IDS_TOOLBAR_NAME         101
#define IDS_MENUBAR_NAME         102
#define IDS_JOINT_MODE           103
#define IDS_SOCKETS_FAILED       104
#define IDS_NO_BOARD             107
#define IDS_DISKS_NOT_RECOGNISED 129
// Strings that the class-library layer loads (KvUi::AFX_IDS_APP_TITLE, KvUi::AFX_IDS_IDLEMESSAGE).
#define IDS_APP_TITLE            57344 // caption of message boxes without one
#define IDS_READY                57345 // prompt of the status line

#define IDD_PROPERTY       173 // settings dialog
#define IDB_SETTINGS_TREE  191 // 16x16 images of the settings tree
#define IDR_WAIT_AVI       197 // looping animation of the wait dialog (type "AVI")
#define IDD_WAIT           198
#define IDD_ABOUTBOX       202
#define IDB_ABOUT_PICTURE  203
#define IDD_EXCEPTION      205
#define IDD_EXCEPTION_INFO 206

#define IDC_WAIT_ANIMATION    716
#define IDC_WAIT_TEXT         717
#define IDC_SETTINGS_PAGES    1073
#define IDC_SETTINGS_TREE     1074
#define IDC_ABOUT_SITE        1256
#define IDC_ABOUT_MAIL        1257
#define IDC_ABOUT_TEXT        1258
#define IDC_EXCEPTION_DETAILS 1262
#define IDC_EXCEPTION_TEXT    1263
#define IDC_ABOUT_RIGHTS      1264

#define ID_APP_ABOUT      57664
#define ID_APP_EXIT       57665
#define ID_TOOLS_SETTINGS 3605

// ---- the main window -----------------------------------------------------------------------
// Bitmaps (the toolbar's normal images share the main frame's id 128).
#define IDB_CATEGORIES        148 // 48x48 images of the category bar
#define IDB_CAPTION_ICONS     150 // 16x16 icons of the caption bar (0 program, 1-5 categories)
#define IDB_TOOLBAR_HOT       151
#define IDB_TOOLBAR_DISABLED  152
#define IDR_MENU_BARS         153 // the bars' submenu (Вид / Панели)
#define IDR_STRUCTURE_TOOLBAR 155 // toolbar of the structure bar (bitmap of the same id)
#define IDB_STATE_ICONS       157 // 16x14 state icons of the tree
#define IDB_NODE_ICONS        158 // 16x16 node icons

// Context menus of the nodes (200 + kind - 1) and of the relation list.
#define IDR_MENU_RESOURCE  200
#define IDR_MENU_RESOURCES 201
#define IDR_MENU_GROUP     202
#define IDR_MENU_GROUPS    203
#define IDR_MENU_TASK      204
#define IDR_MENU_TASKS     205
#define IDR_MENU_JOB       206
#define IDR_MENU_JOBS      207
#define IDR_MENU_SUBJECT   208
#define IDR_MENU_SUBJECTS  209
#define IDR_MENU_RELATIONS 210

#define IDS_STRUCTURE_BAR 32780 // "Структура"
#define IDS_RELATIONS_BAR 32781 // "Зависимости"
#define IDS_CATEGORY_TAB  32782 // "Категории"

// Windows of the main frame.
#define ID_VIEW_PANES      32771 // placeholder of the "Панели" popup
#define ID_VIEW_STRUCTURE  32772 // structure bar (and its pane command)
#define ID_VIEW_RELATIONS  32773 // relation pane
#define ID_VIEW_CAPTION    32774 // caption bar
#define ID_VIEW_CATEGORIES 32775 // category bar
#define IDW_CATEGORY_PANE  32776 // the category buttons inside the category bar
#define IDC_STRUCTURE_TREE 12
#define ID_OBJECT_MENU     1100 // placeholder of the "Объект" popup

// Commands.
#define ID_FILE_NEW_MODEL     3606
#define ID_EDIT_CLEAR_ALL     57600
#define ID_FILE_RESTORE       57601
#define ID_FILE_SAVE          57603
#define ID_FILE_EXPORT_XML    57604
#define ID_FILE_IMPORT_XML    7150
#define ID_EDIT_SELECT_ALL    57642
#define ID_VIEW_STATUS_BAR    59393
#define ID_VIEW_TOOLBAR       59392
#define ID_FIND               7006
#define ID_FIND_NEXT          7007
#define ID_CATEGORY_RESOURCES 7100
#define ID_CATEGORY_GROUPS    7101
#define ID_CATEGORY_TASKS     7102
#define ID_CATEGORY_JOBS      7103
#define ID_CATEGORY_SUBJECTS  7104
#define ID_HISTORY_BACK       3500
#define ID_HISTORY_FORWARD    3501
#define ID_HISTORY_HOME       3502
#define ID_FILTER_RESOURCES   3504
#define ID_FILTER_GROUPS      3505
#define ID_FILTER_TASKS       3506
#define ID_FILTER_JOBS        3507
#define ID_FILTER_SUBJECTS    3508
#define ID_TASK_GENERATOR     3600
#define ID_TOOLS_F8           3601
#define ID_RES_DEPENDENCIES   3602
#define ID_RES_PATH_VARIABLES 3603
#define ID_TOOLS_F4           3604
#define ID_HELP_TOPICS        3607
#define ID_TOOLS_CTRL_R       3608
#define ID_REPORT_PASSPORT    3610
#define ID_REPORT_RESOURCES   3612
#define ID_KEY_TAB            3700
#define ID_KEY_ENTER          3701
#define ID_KEY_DELETE         3702
#define ID_KEY_ADD            3703
#define ID_KEY_SUBTRACT       3704
#define ID_KEY_RENAME         3705
#define ID_GOTO_TREE          32836

// Object commands: blocks of five (base on the tree's node, base + 1 on the list's selection).
#define ID_OBJ_PROPERTIES   3000
#define ID_OBJ_ADD_EXISTING 3005
#define ID_OBJ_DELETE       3010
#define ID_OBJ_ADD_NEW      3015
#define ID_OBJ_EXCLUDE      3020
#define ID_OBJ_EXPORT       3025
#define ID_OBJ_IMPORT_ADD   3030
#define ID_OBJ_IMPORT_GROUP 3035
#define ID_OBJ_SEVERAL      3040
#define ID_OBJ_CONTROL      3045
#define ID_OBJ_GROUP_BY_DIR 3050
#define ID_OBJ_GROUP_BY_KEY 3055
#define ID_OBJ_EXECUTABLE   3065
#define ID_OBJ_TASK_BY_GEN  3070
#define ID_OBJ_NEW_GROUP    3080
#define ID_OBJ_NEW_TASK     3085
#define ID_OBJ_EXCLUDE_ALL  3090
#define ID_OBJ_NEW_RESOURCE 3095
#define ID_OBJ_GROUP_BY_LOG 3100
#include "lists_ids.h"
#include "objcmds_ids.h"
#include "reportwin_ids.h"
#include "msitasks_ids.h"
#include "ostemplates_ids.h"
#include "pickers_ids.h"
#include "filecmds_ids.h"
#include "texts_ids.h"
