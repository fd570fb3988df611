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
