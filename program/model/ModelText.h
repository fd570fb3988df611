// The texts the model shows: messages of a save and the names of control methods, read from the
// model's string table (model.rc, ids in model_ids.h) of the module that linked the model. The
// build links that script into every program and DLL that links the model, so the model needs no
// window layer to read them.
#pragma once

#include <windows.h>

#include <string>

#include "model_ids.h"

std::wstring ModelText(UINT id);
