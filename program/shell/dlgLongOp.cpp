// The report window's progress dialog: the animation, the outcome text and the button that aborts
// the run or closes the window; its controls follow the window's size.
#include "dlgLongOp.h"

#include "ReportServices.h"
#include "WndLongOp.h"
#include "resource.h"

KV_BEGIN_MESSAGE_MAP(dlgLongOp, KvUi::CDialog)
ON_WM_SIZE()
ON_WM_GETMINMAXINFO()
ON_BN_CLICKED(IDCANCEL, OnButtonClose)
KV_END_MESSAGE_MAP()

void dlgLongOp::DoDataExchange(KvUi::CDataExchange* pDX) { KvUi::DDX_Control(pDX, IDC_LONGOP_ANIMATION, m_wndAnimate); }

BOOL dlgLongOp::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    UpdateData(FALSE);
    m_wndAnimate.Open(IDR_WAIT_AVI);
    m_wndAnimate.Play(0, (UINT)-1, (UINT)-1);
    m_layout.Init(m_hWnd, 0, 0);
    m_bLayoutReady = 1;
    m_layout.AddControl(0, 4, IDC_LONGOP_FRAME, 1);
    m_layout.AddControl(0, 0, IDC_LONGOP_ANIMATION, 0);
    m_layout.AddControl(0, 4, IDC_LONGOP_TEXT, 0);
    m_layout.AddControl(6, 6, IDC_LONGOP_SHOW, 0);
    m_layout.AddControl(6, 4, IDC_LONGOP_LINE, 0);
    m_layout.AddControl(5, 5, IDCANCEL, 0);
    return TRUE;
}

void dlgLongOp::OnSize(UINT, int cx, int cy) {
    if (m_bLayoutReady)
        m_layout.Resize(cx, cy);
}

void dlgLongOp::OnGetMinMaxInfo(MINMAXINFO* info) {
    if (m_bLayoutReady) {
        info->ptMinTrackSize.x = m_layout.GetMinWidth();
        info->ptMinTrackSize.y = m_layout.GetMinHeight();
    }
}

void dlgLongOp::OnButtonClose() {
    auto* window = dynamic_cast<CWndLongOp*>(KvUi::CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
    if (!window)
        return;
    EnableDlgItem(IDCANCEL, FALSE);
    if (window->m_bRunning) {
        window->AbortRun();
        return;
    }
    if (!window->m_strReportPath.empty() && IsDlgItemChecked(IDC_LONGOP_SHOW)) {
        try {
            if (ReportServices().show)
                ReportServices().show(window->m_strReportPath.c_str());
        } catch (...) {
        }
    }
    if (::IsWindow(window->m_hWnd))
        window->PostMessage(WM_CLOSE);
}
