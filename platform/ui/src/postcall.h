// What the window procedure uses of the posted calls: the message that carries one, taking a call
// out to run it, and dropping the calls of a window that is destroyed.
#pragma once

#include <windows.h>

#include <functional>

namespace KvUi {

// The registered message a posted call arrives with (its id in the LPARAM).
UINT PostedCallMessage();
// Takes the posted call out (empty when it was dropped).
std::function<void()> TakeCall(ULONG_PTR id);
// Drops every call posted to the window: none of them runs, each is freed.
void DropCalls(HWND h);

} // namespace KvUi
