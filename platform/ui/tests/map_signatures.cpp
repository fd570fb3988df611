// Compiled by the map-signature check, once as it is (it must compile) and once for each
// KV_WRONG case (each must fail): a map entry takes only a handler of its own signature.
#include "kvui/kvui.h"

using namespace KvUi;

class CProbe : public CWnd {
public:
    void OnCmd() {}
    void OnCmdId(UINT) {}
    BOOL OnCmdEx(UINT) { return TRUE; }
    void OnUpdate(CCmdUI*) {}
    void OnNotifyOk(NMHDR*, LRESULT*) {}
    void OnNotifyShort(NMHDR*) {}
    BOOL OnNotifyBool(NMHDR*, LRESULT*) { return TRUE; }
    void OnNotifyRangeOk(UINT, NMHDR*, LRESULT*) {}
    LRESULT OnMsg(WPARAM, LPARAM) { return 0; }
    void OnMsgVoid(WPARAM, LPARAM) {}
    void OnSize(UINT, int, int) {}
    void OnPaint() {}
    void OnLButtonDown(UINT, POINT) {}
    HBRUSH OnCtlColor(HDC, HWND, UINT) { return nullptr; }
    HBRUSH CtlColor(HDC, UINT) { return nullptr; }
#if KV_WRONG == 3
    int OnCreate(CREATESTRUCTW) { return 0; }
#else
    int OnCreate(LPCREATESTRUCTW) { return 0; }
#endif
#if KV_WRONG == 9
    void OnTimer(UINT) {}
#else
    void OnTimer(UINT_PTR) {}
#endif
    KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CProbe, CWnd)
#if !defined(KV_WRONG)
ON_COMMAND(1, OnCmd)
ON_COMMAND_EX(2, OnCmdEx)
ON_COMMAND_RANGE(3, 4, OnCmdId)
ON_CONTROL_RANGE(EN_CHANGE, 5, 6, OnCmdId)
ON_UPDATE_COMMAND_UI(1, OnUpdate)
ON_NOTIFY(NM_CLICK, 7, OnNotifyOk)
ON_NOTIFY_RANGE(NM_CLICK, 8, 9, OnNotifyRangeOk)
ON_NOTIFY_REFLECT(NM_CLICK, OnNotifyOk)
ON_NOTIFY_REFLECT_EX(NM_DBLCLK, OnNotifyBool)
ON_MESSAGE(WM_USER, OnMsg)
ON_WM_CREATE()
ON_WM_TIMER()
ON_WM_SIZE()
ON_WM_PAINT()
ON_WM_LBUTTONDOWN()
ON_WM_CTLCOLOR()
ON_WM_CTLCOLOR_REFLECT()
#elif KV_WRONG == 1
ON_COMMAND(1, OnCmdId) // takes an id
#elif KV_WRONG == 2
ON_NOTIFY(NM_CLICK, 7, OnNotifyShort) // no result pointer
#elif KV_WRONG == 3
ON_WM_CREATE() // the structure by value
#elif KV_WRONG == 4
ON_MESSAGE(WM_USER, OnMsgVoid) // no result
#elif KV_WRONG == 5
ON_NOTIFY_REFLECT(NM_CLICK, OnNotifyBool) // the _EX signature
#elif KV_WRONG == 6
ON_UPDATE_COMMAND_UI(1, OnCmd) // no CCmdUI
#elif KV_WRONG == 7
ON_COMMAND_EX(2, OnCmdId) // returns nothing
#elif KV_WRONG == 8
ON_NOTIFY_RANGE(NM_CLICK, 8, 9, OnNotifyOk) // no id
#elif KV_WRONG == 9
ON_WM_TIMER() // a 32-bit timer id
#elif KV_WRONG == 10
ON_CONTROL_RANGE(EN_CHANGE, 5, 6, OnCmd) // no id
#endif
KV_END_MESSAGE_MAP()
