// Ids of the texts that the model of VICheck64 shows (model.rc): the messages of a save and the
// names of the control methods and algorithms. Texts 28000 to 28031, two string-table blocks of
// their own (the build links model.rc into every module that links the model, beside the module's
// own script).
#pragma once

#define IDS_MODEL_STORE_ERROR    28000 // "Код: %s\nТекст: %s" (code, text)
#define IDS_MODEL_LISTS_LEFT_OUT 28001 // the objects a save left out of the board lists
#define IDS_MODEL_LISTS_MORE     28002 // "\n... и ещё %u" (the number not named)
#define IDS_MODEL_NO_LOCAL_DISK  28003
#define IDS_MODEL_UNKNOWN_ERROR  28004
#define IDS_METHOD_UNDEFINED     28009 // a control method or algorithm out of range
#define IDS_METHOD_EXISTENCE     28010 // control methods 1 to 6
#define IDS_METHOD_CONTENTS      28011
#define IDS_METHOD_ATTRIBUTES    28012
#define IDS_METHOD_ACCESS        28013
#define IDS_METHOD_AT_START      28014
#define IDS_METHOD_BOARD         28015
#define IDS_ALGORITHM_NONE       28016 // algorithms 1 to 6
#define IDS_ALGORITHM_CRC7       28017
#define IDS_ALGORITHM_SIGNATURE  28018
#define IDS_ALGORITHM_HASH       28019
#define IDS_ALGORITHM_IMITATION  28020
#define IDS_ALGORITHM_EXACT      28021
