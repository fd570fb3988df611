// Resource ids of the tool commands: the dependent-module dialog and the progress window of the
// passes over many resources.
#pragma once

#define IDD_DEPENDENS           179
#define IDC_DEPENDS_LIST        1148
#define IDC_DEPENDS_EXECUTABLE  1149
#define IDC_DEPENDS_PROGRESS    1150
#define IDC_DEPENDS_STATE       1151

#define IDD_PROCESS_INFO        7011
#define IDC_PROCESS_PROGRESS    1082
#define IDC_PROCESS_RESOURCE    1084
#define IDC_PROCESS_DETAILS     1109
