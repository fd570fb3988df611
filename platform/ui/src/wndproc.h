// What window and dialog creation share with the window procedures: the object that the next
// window created on the thread binds to, and the order in which windows were bound.
#pragma once

#include "kvui/core.h"

namespace KvUi {

// Set while a window of the layer's procedure is created; its first message binds the window to
// this object and clears it.
extern thread_local CWnd* t_pWndInit;
// How many windows the layer has bound so far, on any thread (each bound window keeps its number
// in that order).
uint64_t BindingCount();
// Binds the next dialog window created on this thread to its object (null clears it).
void SetDialogInit(CWnd* p);

} // namespace KvUi
