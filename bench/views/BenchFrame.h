// The program's main window for the benchmarks of its commands: made from the program's resources,
// shown, with the result boxes off.
#pragma once

#include "MainFrm.h"
#include "resource.h"

#include <cstdio>

class CBenchFrame : public CMainFrame {
public:
    CBenchFrame() { m_bAutoDelete = FALSE; }
};

// The shown window with its first messages dispatched, or null (said on stderr).
inline CBenchFrame* OpenBenchFrame() {
    CBenchFrame* frame = new CBenchFrame;
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW)) {
        fprintf(stderr, "the main window could not be made\n");
        delete frame;
        return nullptr;
    }
    frame->ShowWindow(SW_SHOW);
    KvUi::PumpWaitingMessages();
    frame->m_bShowResults = 0;
    return frame;
}

inline void CloseBenchFrame(CBenchFrame* frame) {
    frame->m_Model.m_bModified = 0;
    frame->DestroyWindow();
    delete frame;
}
