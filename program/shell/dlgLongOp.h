// The progress dialog of the report window.
#pragma once

#include <kvui/kvui.h>

#include "AnchorLayout.h"

// The progress dialog that fills the report window (template 7019).
class dlgLongOp : public KvUi::CDialog {
public:
    dlgLongOp() : KvUi::CDialog(7019) {}
    KvUi::CAnimateCtrl m_wndAnimate;
    CAnchorLayout m_layout;
    int m_bLayoutReady = 0;

    BOOL OnInitDialog() override;
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    // Escape and Enter do nothing by themselves: the window closes only through its button.
    void OnOK() override {}
    void OnCancel() override {}

    void OnSize(UINT type, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* info);
    void OnButtonClose();

    KV_DECLARE_MESSAGE_MAP()
};
