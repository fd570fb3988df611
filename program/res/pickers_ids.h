// Resource ids of the resource pickers (hardware, disk sectors, registry) and of bulk resource
// creation. Dialog, control and string ids that callers and stored layouts rely on keep their
// fixed numbers; ids of our own come from 25000-25499.
#pragma once

// Dialogs.
#define IDD_BROWSE_REGISTRY    169
#define IDD_ADD_RESOURCES      172
#define IDD_BROWSE_DISK_SECTOR 200
#define IDD_BROWSE_DEVICE      7023

// Bitmaps.
#define IDB_REGISTRY_TREE 108 // 16x16: root, selected key, key, value

// Controls of the pickers.
#define IDC_PICKER_PROMPT 1079 // "Выберите ключ реестра" / "Выберите сектор"
#define IDC_REGISTRY_TREE 1080
#define IDC_DEVICE_PROMPT 1265 // "Выберите оборудование"
#define IDC_PICKER_FRAME  1269 // the place of the splitter

// Controls of bulk creation.
#define IDC_ADDRES_KINDS            1068
#define IDC_ADDRES_OPERATIONS       1095
#define IDC_ADDRES_ADD              1097
#define IDC_ADDRES_NESTED           1098
#define IDC_ADDRES_EXE_MARK         1099
#define IDC_ADDRES_FILTERS          1101
#define IDC_ADDRES_REMOVE           1102
#define IDC_ADDRES_ALL_FILES        1103
#define IDC_ADDRES_BY_FILTER        1104
#define IDC_ADDRES_KINDS_LABEL      25000
#define IDC_ADDRES_FILTERS_LABEL    25001
#define IDC_ADDRES_OPERATIONS_LABEL 25002

// Texts of the property grids.
#define IDS_PICK_NAME             109 // "Имя"
#define IDS_PICK_PARTITION_STYLE  111 // "Стиль раздела"
#define IDS_PICK_PARAMETER        112 // "Параметр"
#define IDS_PICK_VALUE            113 // "Значение"
#define IDS_PICK_YES              114 // "Да"
#define IDS_PICK_NO               115 // "Нет"
#define IDS_PICK_UNKNOWN          116 // "Неизвестный"
#define IDS_PICK_MBR              117 // "Основная загрузочная запись (MBR)"
#define IDS_PICK_GPT              118 // "GUID таблица разделов (GPT)"
#define IDS_PICK_CAPACITY         119 // "Eмкость"
#define IDS_PICK_DISK             120 // "Диск"
#define IDS_PICK_SECTOR           121 // "Сектор"
#define IDS_PICK_EXTENDED         122 // "Extended"
#define IDS_PICK_BIOS_DISK_NUMBER 123 // "Номер диска"
#define IDS_PICK_BIOS             124 // "BIOS"
#define IDS_PICK_MAIN             125 // "Основные"
#define IDS_PICK_SYSTEM           126 // "Системные"
#define IDS_PICK_PHYSICAL_NUMBER  127 // "Физический номер"

// Texts the code shows (string table).
#define IDS_PICK_GROUP                25100
#define IDS_PICK_VERSION              25101
#define IDS_PICK_MEGABYTES            25102
#define IDS_PICK_SECTOR_TOO_FAR       25103
#define IDS_PICK_DISK_TOO_FAR         25104
#define IDS_PICK_REGISTRY_ROOT        25105
#define IDS_ADDRES_FILES              25106
#define IDS_ADDRES_FOLDER_FILES       25107
#define IDS_ADDRES_FOLDERS_WITH_FILES 25108
#define IDS_ADDRES_FOLDERS            25109
#define IDS_ADDRES_REG_VALUES         25110
#define IDS_ADDRES_REG_KEYS           25111
#define IDS_ADDRES_SECTORS            25112
#define IDS_ADDRES_HARDWARE           25113
#define IDS_ADDRES_OPERATION          25114
#define IDS_ADDRES_PICK_FILES         25115
#define IDS_ADDRES_NO_FILTER          25116
#define IDS_ADDRES_PICK_FOLDER        25117
#define IDS_ADDRES_PICK_KEY           25118
#define IDS_ADDRES_ALL                25119
#define IDS_ADDRES_FILTERED           25120
#define IDS_PICK_FOLDER_ERROR         25121
#define IDS_PICK_NOT_LOCAL            25122
#define IDS_PICK_FOLDER_TITLE         25123
#define IDS_PICK_FILE_TITLE           25124
#define IDS_PICK_ALL_FILES_FILTER     25125
