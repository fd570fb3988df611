// The task generators' view of the application and its main window (settings, model, window,
// result-message switch, user SID), for the generator commands and the Windows-templates operation.
#pragma once

#include "KvGenerate.h"

class CMainFrame;

// Filled from theApp's settings and the frame (its model and window); the frame may be null (then
// no window and no model).
SGenerateHost MakeGenerateHost(CMainFrame* frame);
