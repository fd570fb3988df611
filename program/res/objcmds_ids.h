// Resource ids of the object commands and their dialogs: the resource, group/task, job, subject,
// add-subordinates and delete dialogs. Template and control ids are the ones the program has
// always used; new ids come from 25500-25999.
#pragma once

#define IDD_DELETE_NODES 159
#define IDD_ADD_NODES    160
#define IDD_GROUP_TASK   166
#define IDD_RESOURCE     167
#define IDD_JOB_CPA      7013
#define IDD_SUBJ_GENERAL 7021

// Resource dialog.
#define IDC_RES_KIND       1068
#define IDC_RES_PATH       1071
#define IDC_RES_BROWSE     1072
#define IDC_RES_CONTROLLED 1093
#define IDC_RES_EXECUTABLE 1147

// Group and task dialog.
#define IDC_GT_NAME        1066
#define IDC_GT_DESCRIPTION 1067
#define IDC_GT_KIND        1068
#define IDC_GT_KIND_LABEL  1069
#define IDC_GT_FRAME       1070

// Job dialog.
#define IDC_JOB_FRAME       1070
#define IDC_JOB_NAME        1074
#define IDC_JOB_DESCRIPTION 1075
#define IDC_JOB_HOST_BASED  1225

// Subject page.
#define IDC_SUBJ_NAME        1150
#define IDC_SUBJ_DESCRIPTION 1151
#define IDC_SUBJ_KIND        1152
#define IDC_SUBJ_SID         1153

// Add subordinates.
#define IDC_ADD_LIST       1044
#define IDC_ADD_SELECT_ALL 1045

// Delete nodes.
#define IDC_DEL_UPPERS        1043
#define IDC_DEL_MEMBERS       1045
#define IDC_DEL_SUBORDINATES  1084
#define IDC_DEL_UPPERS_LABEL  25500
#define IDC_DEL_MEMBERS_LABEL 25501
#define IDC_DEL_QUESTION      25502

// Texts the code shows (string table).
#define IDS_NODES_COL_OBJECT   25600
#define IDS_NODES_COL_BELONGS  25601
#define IDS_NODES_COL_PATH     25602
#define IDS_DEL_ONE_RESOURCE   25603
#define IDS_DEL_ONE_GROUP      25604
#define IDS_DEL_ONE_TASK       25605
#define IDS_DEL_ONE_JOB        25606
#define IDS_DEL_ONE_SUBJECT    25607
#define IDS_DEL_MANY_RESOURCES 25608
#define IDS_DEL_MANY_GROUPS    25609
#define IDS_DEL_MANY_TASKS     25610
#define IDS_DEL_MANY_JOBS      25611
#define IDS_DEL_MANY_SUBJECTS  25612
#define IDS_DEL_TITLE          25613
#define IDS_DEL_SELECTED       25614
#define IDS_DEL_NO_MEMBERS     25615
#define IDS_JOB_BOARD_CAPTION  25616
#define IDS_JOB_HOST_CAPTION   25617
#define IDS_SUBJ_KIND_COMPUTER 25618
#define IDS_SUBJ_KIND_USER     25619
#define IDS_SUBJ_KIND_GROUP    25620
#define IDS_SUBJ_PAGE_CAPTION  25621
#define IDS_DLG_CLOSE          25622
#define IDS_SUBJ_SHEET_CAPTION 25623
#define IDS_GT_KIND_FILES      25624
#define IDS_GT_KIND_REGISTRY   25625
#define IDS_GT_KIND_SECTORS    25626
#define IDS_GT_KIND_HARDWARE   25627
#define IDS_GT_CREATE          25628
#define IDS_GT_PROPERTIES      25629
#define IDS_GT_OF_GROUP        25630
#define IDS_GT_OF_TASK         25631
#define IDS_RES_KIND_FILE      25632
#define IDS_RES_KIND_REG_VALUE 25633
#define IDS_RES_KIND_REG_KEY   25634
#define IDS_RES_KIND_SECTORS   25635
#define IDS_RES_KIND_HARDWARE  25636
#define IDS_RES_DUPLICATE      25637
#define IDS_RES_OF_RESOURCE    25638
#define IDS_RES_PICK_VALUE     25639
#define IDS_RES_PICK_KEY       25640
