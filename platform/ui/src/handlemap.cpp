// The handle map: which object each window of the layer is bound to (any thread may ask).
#include "kvui/core.h"

#include <mutex>
#include <unordered_map>

namespace KvUi {

namespace {
std::mutex g_mapLock;
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

void CWnd::BindHandle(HWND h) {
    m_hWnd = h;
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
