// The handle map: which object each window of the layer is bound to (any thread may ask).
#include "kvui/core.h"

#include "wndproc.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace KvUi {

namespace {
std::mutex g_mapLock;
std::atomic<uint64_t> g_bindings{0};
std::unordered_map<HWND, CWnd*>& HandleMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}
} // namespace

CWnd* CWnd::FromHandlePermanent(HWND h) {
    if (!h)
        return nullptr;
    std::lock_guard<std::mutex> g(g_mapLock);
    auto it = HandleMap().find(h);
    return it == HandleMap().end() ? nullptr : it->second;
}

uint64_t BindingCount() { return g_bindings.load(); }

void CWnd::BindHandle(HWND h) {
    m_hWnd = h;
    m_nBinding = ++g_bindings;
    std::lock_guard<std::mutex> g(g_mapLock);
    HandleMap()[h] = this;
}

void CWnd::UnbindHandle() {
    if (!m_hWnd)
        return;
    std::lock_guard<std::mutex> g(g_mapLock);
    auto it = HandleMap().find(m_hWnd);
    if (it != HandleMap().end() && it->second == this)
        HandleMap().erase(it);
    m_hWnd = nullptr;
}

} // namespace KvUi
