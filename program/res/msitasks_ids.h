// Resource ids of the task generator: its choice and progress dialogs with their controls and its
// texts. The dialog and control ids are the program's established ones; texts 26000 on.
#pragma once

#define IDD_ADD_INSTALL_TASK 170 // progress of the generator (modeless)
#define IDD_CHOOSE_INST_TASK 171 // choice of source, programs and options

#define IDC_INSTTASK_TASK_PROGRESS 1081
#define IDC_INSTTASK_RES_PROGRESS  1082
#define IDC_INSTTASK_TASK_TEXT     1083
#define IDC_INSTTASK_RES_TEXT      1084
#define IDC_INSTTASK_PROGRAMS      1085
#define IDC_INSTTASK_SELECT_ALL    1086
#define IDC_INSTTASK_ADD_DEPENDS   1147
#define IDC_INSTTASK_SOURCE        1157
#define IDC_INSTTASK_IGNORE_REG    1158
#define IDC_INSTTASK_PATHS_TO_VARS 1159
#define IDC_INSTTASK_MARK_EXEC     1160
#define IDC_INSTTASK_EXTENSIONS    1161

// Texts the code shows (string table).
#define IDS_GEN_SOURCE_MSI       26000
#define IDS_GEN_SOURCE_SHORTCUTS 26001
#define IDS_GEN_PROCESS          26002
#define IDS_GEN_ABORTED          26003
#define IDS_GEN_DONE             26004
#define IDS_GEN_LIST_FAILED      26005
