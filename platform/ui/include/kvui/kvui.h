// The whole class-library layer.
#pragma once
#include "kvui/app.h"
#include "kvui/controls.h"
#include "kvui/core.h"
#include "kvui/dialog.h"
#include "kvui/editlist.h"
#include "kvui/frame.h"
#include "kvui/ids.h"
#include "kvui/presenter.h"
#include "kvui/progress.h"
#include "kvui/proplist.h"
#include "kvui/sheet.h"
#include "kvui/splitter.h"
