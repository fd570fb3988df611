// Idle updates: the windows whose command elements are brought up to date when their thread's
// queue runs empty.
#include "kvui/core.h"

#include <algorithm>
#include <vector>

namespace KvUi {

namespace {
// Allocated on first use and never freed, so a window object destroyed late in the thread's (or
// the program's) end still finds it.
thread_local std::vector<CWnd*>* t_pIdleWindows = nullptr;
std::vector<CWnd*>& IdleWindows() {
    if (!t_pIdleWindows)
        t_pIdleWindows = new std::vector<CWnd*>;
    return *t_pIdleWindows;
}
} // namespace

void RegisterIdleUpdate(CWnd* pWnd) {
    std::vector<CWnd*>& list = IdleWindows();
    if (pWnd && std::find(list.begin(), list.end(), pWnd) == list.end())
        list.push_back(pWnd);
}

void UnregisterIdleUpdate(CWnd* pWnd) {
    if (!t_pIdleWindows)
        return;
    std::vector<CWnd*>& list = *t_pIdleWindows;
    list.erase(std::remove(list.begin(), list.end(), pWnd), list.end());
}

void RunIdleUpdates() {
    if (!t_pIdleWindows)
        return;
    // A handler may create or destroy windows: each window of the copy still registered runs.
    std::vector<CWnd*> windows = *t_pIdleWindows;
    for (CWnd* w : windows) {
        const std::vector<CWnd*>& now = *t_pIdleWindows;
        if (std::find(now.begin(), now.end(), w) != now.end() && w->m_hWnd)
            w->OnIdleUpdate();
    }
}

} // namespace KvUi
