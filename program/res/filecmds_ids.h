// Resource ids of the model file commands: the exchange dialogs (model and object export and
// import), the path-variable dialog and the missing-resource question. Template and control ids are
// those the program has always used; new ids come from 24500-24999.
#pragma once

#define IDD_EXPORT_NODES     162
#define IDD_IMPORT_NODES     163
#define IDD_REPL_ENV_VAR     181
#define IDD_IMPORT_MODEL     188
#define IDD_RESOURCE_INVALID 204
#define IDD_EXPORT_MODEL     7014

// dlgExportNodes
#define IDC_EXPORT_NODES_PATH   1046
#define IDC_EXPORT_NODES_BROWSE 1047
#define IDC_EXPORT_NODES_NOSUB  1049
// dlgImportNodes
#define IDC_IMPORT_NODES_PATH   1053
#define IDC_IMPORT_NODES_BROWSE 1054
#define IDC_IMPORT_NODES_NOSUB  1055
// dlgReplEnvVar
#define IDC_ENVVAR_LIST         1153
#define IDC_ENVVAR_TO_NAMES     1154
#define IDC_ENVVAR_TO_PATHS     1155
// dlgImportModel
#define IDC_IMPORT_PATH         1170
#define IDC_IMPORT_BROWSE       1171
#define IDC_IMPORT_CLEAR        1172
#define IDC_IMPORT_ADD          1173
#define IDC_IMPORT_RESOURCES    1177
#define IDC_IMPORT_TASKS        1179
#define IDC_IMPORT_GROUPS       1180
#define IDC_IMPORT_EXISTING     1182
// dlgExportModel
#define IDC_EXPORT_PATH         1182
#define IDC_EXPORT_BROWSE       1183
// dlgResourceInvalid
#define IDC_INVALID_TEXT        1259
#define IDC_INVALID_REMOVE      1260
#define IDC_INVALID_UNCONTROL   1261
#define IDC_INVALID_YES_ALL     8
#define IDC_INVALID_NO_ALL      9

#define IDC_FILECMDS_LABEL 24500 // labels that the code does not address
