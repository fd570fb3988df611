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

// Texts the code shows (string table).
#define IDS_FILE_MODEL_DESTROYED     24600
#define IDS_FILE_MODEL_INCOMPATIBLE  24601
#define IDS_FILE_CHANGES_LOST        24602
#define IDS_FILE_SAVE_FAILED         24603
#define IDS_FILE_NO_EDITION          24604
#define IDS_FILE_STORE_NOT_LOADED    24605
#define IDS_FILE_IMPORT_FAILED       24606
#define IDS_FILE_EXPORT_FAILED       24607
#define IDS_FILE_EXPORTED            24608
#define IDS_FILE_IMPORT_ADDED        24609
#define IDS_FILE_IMPORT_NONE         24610
#define IDS_FILE_NODES_UNREADABLE    24611
#define IDS_FILE_NODES_NONE_OF_KIND  24612
#define IDS_FILE_NODES_ADDED         24613
#define IDS_FILE_NODES_NONE          24614
#define IDS_ENVVAR_COL_NAME          24615
#define IDS_ENVVAR_COL_VALUE         24616
#define IDS_INVALID_FILE             24617
#define IDS_INVALID_FILE_ACC         24618
#define IDS_INVALID_FOLDER           24619
#define IDS_INVALID_FOLDER_ACC       24620
#define IDS_INVALID_REG_KEY          24621
#define IDS_INVALID_REG_KEY_ACC      24622
#define IDS_INVALID_REG_VALUE        24623
#define IDS_INVALID_REG_VALUE_ACC    24624
#define IDS_INVALID_SECTOR           24625
#define IDS_INVALID_SECTOR_ACC       24626
#define IDS_INVALID_DEVICE           24627
#define IDS_INVALID_DEVICE_ACC       24628
#define IDS_INVALID_SMBIOS           24629
#define IDS_INVALID_SMBIOS_ACC       24630
#define IDS_INVALID_SMBIOS_VALUE     24631
#define IDS_INVALID_SMBIOS_VALUE_ACC 24632
#define IDS_INVALID_UNREADABLE       24633
#define IDS_INVALID_RESOURCE_ACC     24634
#define IDS_INVALID_DEVICE_MOVED     24635
#define IDS_INVALID_DEVICE_UNCHECKED 24636
#define IDS_EXCH_LOG_UNSUPPORTED     24637
#define IDS_EXCH_LOG_NOTHING         24638
#define IDS_EXCH_EXPORTED            24639
#define IDS_EXCH_EXPORT_FAILED       24640
