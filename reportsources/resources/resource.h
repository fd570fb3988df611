// Ids of the workstation resource plug-in's string table.
#pragma once

#define IDS_SECTION_FILES    101
#define IDS_SECTION_REGISTRY 102
#define IDS_SECTION_SECTORS  103
