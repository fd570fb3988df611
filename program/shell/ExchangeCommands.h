// Where a reader of the security log plugs in (the group-from-log command uses it).
#pragma once

#include "IChDataModel.h"

#include <string>

// A reader of the security log: appends new resources (not in the model) for the objects the log
// shows as accessed between start and end (UTC) by the user (empty: any user); 1 when the log was
// read, 0 when it could not be. The program has none of its own; tests and extensions plug one in
// (null: none).
typedef int (*SecurityLogReader)(const FILETIME& start, const FILETIME& end, const std::wstring& user,
                                 CIChNodeList& out);
void SetSecurityLogReader(SecurityLogReader reader);
