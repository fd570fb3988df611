// The key a window message is looked up under in a message map, shared by the dispatch of a
// window's own messages and the reflection of its children's.
#pragma once

#include <windows.h>

namespace KvUi {

inline bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }

// Every WM_CTLCOLOR* message matches the one map entry kind.
inline UINT MapKey(UINT msg) { return IsCtlColor(msg) ? (UINT)WM_CTLCOLORSTATIC : msg; }

} // namespace KvUi
