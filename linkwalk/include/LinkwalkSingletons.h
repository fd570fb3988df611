// The search-list singleton that linkwalk exports, for callers that look at it (tests, diagnostics).
// The main program keeps its own TSingletonHolder<Kernel32::CKernel32Wrapper>, so the library's
// instance of that one is not imported here.
#pragma once

#include "SingletonHolder.h"

class COsInfo;
#ifndef LINKWALK_BUILD
extern template class __declspec(dllimport) TSingletonHolder<COsInfo>;
#endif
