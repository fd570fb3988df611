// Resource ids of the lists: the header menu and its commands, the column and find dialogs with
// their bitmaps, the divider cursor, the relation pane's toolbar and the lists' texts.
#pragma once

#define IDR_LIST_HEADER         7000 // menu
#define ID_LIST_SORT_ASCENDING  7000
#define ID_LIST_SORT_DESCENDING 7001
#define ID_LIST_AUTOFIT         7002
#define ID_LIST_HIDE_COLUMN     7003
#define ID_LIST_COLUMNS         7004
#define ID_LIST_DEFAULTS        7005

#define IDC_LIST_DIVIDER      700 // cursor over a header divider
#define IDR_RELATIONS_TOOLBAR 154 // toolbar of the relation pane (bitmap of the same id)

#define IDD_COLUMNS            7003
#define IDD_FINDING            7009
#define IDB_COLUMN_INCLUDE     7001
#define IDB_COLUMN_EXCLUDE     7002
#define IDB_COLUMN_INCLUDE_ALL 7003
#define IDB_COLUMN_EXCLUDE_ALL 7004
#define IDB_COLUMN_UP_HOT      7005
#define IDB_COLUMN_DOWN_HOT    7006
#define IDB_COLUMN_DOWN        7007
#define IDB_COLUMN_UP          7008

#define IDC_COLUMNS_HIDDEN      701
#define IDC_COLUMNS_VISIBLE     702
#define IDC_COLUMNS_INCLUDE     703
#define IDC_COLUMNS_INCLUDE_ALL 704
#define IDC_COLUMNS_EXCLUDE     705
#define IDC_COLUMNS_EXCLUDE_ALL 706
#define IDC_COLUMNS_DOWN        707
#define IDC_COLUMNS_UP          708
#define IDC_COLUMNS_WIDTH       709
#define IDC_COLUMNS_WIDTH_SPIN  710
#define IDC_FIND_COLUMN         711
#define IDC_FIND_MATCH_CASE     712
#define IDC_FIND_WHOLE          713
#define IDC_FIND_IN_COLUMN      714
#define IDC_FIND_TEXT           715

#define IDS_LIST_NOT_FOUND          24000
#define IDS_LIST_POSITION           24001
#define IDS_COLUMNS_TIP_UP          24002
#define IDS_COLUMNS_TIP_DOWN        24003
#define IDS_COLUMNS_TIP_INCLUDE     24004
#define IDS_COLUMNS_TIP_INCLUDE_ALL 24005
#define IDS_COLUMNS_TIP_EXCLUDE     24006
#define IDS_COLUMNS_TIP_EXCLUDE_ALL 24007
