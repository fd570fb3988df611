// Calls posted to a window's thread: run by the window's procedure in their turn, dropped with
// the window.
#include "kvui/core.h"

#include "postcall.h"

#include <map>
#include <mutex>
#include <vector>

namespace KvUi {

namespace {
struct PostedCall {
    HWND hwnd;
    std::function<void()> fn;
};
std::mutex g_callLock;
std::map<ULONG_PTR, PostedCall> g_calls;
ULONG_PTR g_nextCall = 1;
} // namespace

UINT PostedCallMessage() {
    static const UINT msg = ::RegisterWindowMessageW(L"KvUiPostedCall");
    return msg;
}

// Takes the posted call out (empty when it was dropped).
std::function<void()> TakeCall(ULONG_PTR id) {
    std::lock_guard<std::mutex> g(g_callLock);
    auto it = g_calls.find(id);
    if (it == g_calls.end())
        return nullptr;
    std::function<void()> fn = std::move(it->second.fn);
    g_calls.erase(it);
    return fn;
}

void DropCalls(HWND h) {
    std::vector<std::function<void()>> dropped; // freed outside the lock
    std::lock_guard<std::mutex> g(g_callLock);
    for (auto it = g_calls.begin(); it != g_calls.end();) {
        if (it->second.hwnd == h) {
            dropped.push_back(std::move(it->second.fn));
            it = g_calls.erase(it);
        } else {
            ++it;
        }
    }
}

bool PostCall(HWND h, std::function<void()> fn) {
    if (!fn || !CWnd::FromHandlePermanent(h))
        return false;
    ULONG_PTR id;
    {
        std::lock_guard<std::mutex> g(g_callLock);
        id = g_nextCall++;
        g_calls[id] = PostedCall{h, std::move(fn)};
    }
    if (!::PostMessageW(h, PostedCallMessage(), 0, (LPARAM)id)) {
        TakeCall(id);
        return false;
    }
    return true;
}

} // namespace KvUi
