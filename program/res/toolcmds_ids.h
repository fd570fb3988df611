// Resource ids of the tool commands: the dependent-module dialog and the progress window of the
// passes over many resources.
#pragma once

#define IDD_DEPENDENS          179
#define IDC_DEPENDS_LIST       1148
#define IDC_DEPENDS_EXECUTABLE 1149
#define IDC_DEPENDS_PROGRESS   1150
#define IDC_DEPENDS_STATE      1151

#define IDD_PROCESS_INFO     7011
#define IDC_PROCESS_PROGRESS 1082
#define IDC_PROCESS_RESOURCE 1084
#define IDC_PROCESS_DETAILS  1109

// dlgImportResources: where new resources come from (a model file, or the security log over a
// period and for a user).
#define IDD_IMPORT_RESOURCES 164
#define IDC_IMPRES_FROM_DATE 1008
#define IDC_IMPRES_TO_DATE   1009
#define IDC_IMPRES_FROM_TIME 1010
#define IDC_IMPRES_TO_TIME   1011
#define IDC_IMPRES_PATH      1053
#define IDC_IMPRES_BROWSE    1054
#define IDC_IMPRES_METHOD    1059
#define IDC_IMPRES_USER      1068
#define IDC_IMPRES_FIND      1077
#define IDC_IMPRES_PROGRESS  1078
#define IDC_IMPRES_FILTER    1253
