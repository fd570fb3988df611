// Ids of the workstation resource plug-in's string table.
#pragma once

#define IDS_SECTION_FILES    101
#define IDS_SECTION_REGISTRY 102
#define IDS_SECTION_SECTORS  103
#define IDS_NO_STORE         104
#define IDS_NO_FIXED_DRIVE   105
#define IDS_STORE_UNREADABLE 106
#define IDS_NO_SUBJECT       107
#define IDS_NO_PROVIDER      108
