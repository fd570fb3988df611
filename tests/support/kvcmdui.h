// Whether a command's element would be enabled: its update request routed through a command
// target, as the frame's idle pass and menus do.
#pragma once

#include <kvui/kvui.h>

namespace KvTest {

inline bool CommandEnabled(KvUi::CCmdTarget* target, UINT id) {
    KvUi::CCmdUI ui;
    ui.m_nID = id;
    ui.DoUpdate(target, TRUE);
    return ui.m_bEnabled != FALSE;
}

} // namespace KvTest
