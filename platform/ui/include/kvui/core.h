// kvui core: command targets with message maps, command routing, update handlers and windows
// bound to their objects. The program's classes derive from these and extend the maps.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace KvUi {

class CCmdTarget;
class CCmdUI;
class CWnd;

// Codes that OnCmdMsg takes besides a control's own notification codes.
const int CN_COMMAND = 0;              // a command from a menu, accelerator, toolbar or button
const int CN_UPDATE_COMMAND_UI = -1;   // an update request; extra is the CCmdUI
// A WM_NOTIFY notification travels as MAKELONG(code, WM_NOTIFY); extra is a NotifyInfo.
inline int NotifyCode(UINT code) { return (int)MAKELONG(code & 0xFFFF, WM_NOTIFY); }

struct NotifyInfo {
    NMHDR* pHeader;
    LRESULT* pResult;
};

// How a map entry's handler is called.
enum class Sig {
    End,
    Cmd,          // void ()                      ON_COMMAND, ON_CONTROL
    CmdRange,     // void (UINT id)               ON_COMMAND_RANGE
    CmdEx,        // BOOL (UINT id)               ON_COMMAND_EX: FALSE lets routing go on
    Update,       // void (CCmdUI*)               ON_UPDATE_COMMAND_UI(_RANGE)
    Notify,       // void (NMHDR*, LRESULT*)      ON_NOTIFY
    Msg,          // LRESULT (WPARAM, LPARAM)     ON_MESSAGE, ON_REGISTERED_MESSAGE
    Void,         // void ()                      ON_MESSAGE_VOID (WM_CLOSE, WM_DESTROY, ...)
    Create,       // int (LPCREATESTRUCT)         ON_WM_CREATE
    Timer,        // void (UINT_PTR)              ON_WM_TIMER
    Size,         // void (UINT, int, int)        ON_WM_SIZE
};

typedef void (CCmdTarget::*PMSG)();

struct MsgEntry {
    UINT nMessage;
    UINT nCode;          // notification code (low word for WM_NOTIFY)
    UINT nID;
    UINT nLastID;
    Sig sig;
    PMSG pfn;
    const UINT* pRegistered;   // ON_REGISTERED_MESSAGE: the variable holding the message
};

struct MsgMap {
    const MsgMap* (*pfnGetBase)();
    const MsgEntry* pEntries;
};

// Who would handle a command: filled by OnCmdMsg instead of calling the handler.
struct CmdHandlerInfo {
    CCmdTarget* pTarget = nullptr;
    const MsgEntry* pEntry = nullptr;
};

template <class T, class R, class... A>
PMSG ToPmsg(R (T::*f)(A...)) {
    return reinterpret_cast<PMSG>(static_cast<R (CCmdTarget::*)(A...)>(f));
}

class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Offers a command, control notification or update request to this target's map (and the
    // maps of its bases). TRUE when handled. With pInfo the handler is only looked up.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, CmdHandlerInfo* pInfo);

protected:
    static const MsgMap* GetThisMessageMap();
    virtual const MsgMap* GetMessageMap() const;
    // Calls an entry's handler for a command-like entry; the result is the "handled" answer.
    BOOL DispatchCmd(const MsgEntry* e, UINT nID, int nCode, void* pExtra);
};

// The state of one menu item, toolbar button or other command element while its update handler
// runs. With no element (a command about to run) it only records the answer.
class CCmdUI {
public:
    UINT m_nID = 0;
    UINT m_nIndex = 0;
    HMENU m_hMenu = nullptr;
    BOOL m_bEnableChanged = FALSE;
    BOOL m_bContinueRouting = FALSE;
    BOOL m_bEnabled = TRUE;
    int m_nCheck = 0;

    virtual ~CCmdUI() = default;
    virtual void Enable(BOOL bOn = TRUE);
    virtual void SetCheck(int nCheck = 1);
    virtual void SetText(const wchar_t* text);
    void ContinueRouting() { m_bContinueRouting = TRUE; }

    // Routes the update request to the target; when nobody handles it and the target has no
    // command handler either, the element is disabled (when bDisableIfNoHandler).
    BOOL DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHandler);
};

// Whether a command may run: its update handler, if any, left it enabled.
BOOL IsCommandEnabled(CCmdTarget* pTarget, UINT nID);

// Loads a string of the module's string table (empty when missing).
std::wstring LoadStr(UINT id, HINSTANCE hInst = nullptr);
// The resource module: the program's own instance unless set otherwise.
HINSTANCE GetResourceHandle();
void SetResourceHandle(HINSTANCE h);

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return this ? m_hWnd : nullptr; }
    operator HWND() const { return m_hWnd; }

    // The object bound to a window; null for windows of no object.
    static CWnd* FromHandlePermanent(HWND h);

    // Creates a window of this object with the layer's window class (or a given class).
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                  int x, int y, int cx, int cy, HWND parent, HMENU idOrMenu);
    BOOL Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rc,
                CWnd* parent, UINT nID);
    // Binds an existing window (a dialog's control) and routes its messages through this object.
    BOOL SubclassWindow(HWND h);
    BOOL SubclassDlgItem(UINT nID, CWnd* parent);
    HWND UnsubclassWindow();
    // Binds without subclassing (the object only wraps the handle).
    BOOL Attach(HWND h);
    HWND Detach();
    virtual BOOL DestroyWindow();

    // Message processing.
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    virtual BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wp, LPARAM lp);
    virtual BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void PreSubclassWindow() {}
    virtual void PostNcDestroy() {}
    // Where commands that this window does not handle go next (the owner chain ends here).
    virtual CWnd* GetRoutingParent() const { return nullptr; }
    // The default processing of the message being handled (for handlers that extend it).
    LRESULT Default();

    // Thin helpers.
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageW(m_hWnd, msg, wp, lp); }
    void SetWindowText(const std::wstring& s) { ::SetWindowTextW(m_hWnd, s.c_str()); }
    std::wstring GetWindowText() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::wstring& s) { ::SetDlgItemTextW(m_hWnd, id, s.c_str()); }
    std::wstring GetDlgItemText(int id) const;
    BOOL ShowWindow(int n) { return ::ShowWindow(m_hWnd, n); }
    BOOL EnableWindow(BOOL b = TRUE) { return ::EnableWindow(m_hWnd, b); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
    void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
    void MoveWindow(const RECT& r, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint); }
    HFONT GetFont() const { return (HFONT)SendMessage(WM_GETFONT); }
    void SetFont(HFONT f, BOOL redraw = TRUE) { SendMessage(WM_SETFONT, (WPARAM)f, redraw); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    CWnd* GetParentWnd() const { return FromHandlePermanent(::GetParent(m_hWnd)); }

    // Message box through the presenter, owned by this window, with the application's caption.
    int MessageBox(const std::wstring& text, const wchar_t* caption = nullptr, UINT type = MB_OK);

protected:
    static const MsgMap* GetThisMessageMap();
    const MsgMap* GetMessageMap() const override;
    BOOL DispatchWndMsg(const MsgEntry* e, WPARAM wp, LPARAM lp, LRESULT* pResult);

    WNDPROC m_pfnSuper = nullptr;   // the previous window procedure of a subclassed window
    BOOL m_bDialog = FALSE;         // the window is a dialog: defaults go to the dialog manager

    friend LRESULT CALLBACK StdWndProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK StdDlgProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK PageDlgProc(HWND, UINT, WPARAM, LPARAM);
    friend class CDialog;
    void BindHandle(HWND h);
    void UnbindHandle();
};

LRESULT CALLBACK StdWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK StdDlgProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

// The layer's window class (registered once; no background, arrow cursor, double clicks).
const wchar_t* DefaultWndClass();

// Walks the window chain of a message (the target window, then its parents and owners) and
// lets each bound object translate it. TRUE when one of them did.
BOOL PreTranslateChain(MSG* pMsg);
// Processes one message of the calling thread's queue (FALSE on WM_QUIT, which is reposted).
BOOL PumpMessage();
// Dispatches every waiting message; FALSE when WM_QUIT came (it is reposted).
BOOL PumpWaitingMessages();

// Reports an exception that reached a window procedure; it never travels through Windows' code.
// Called inside the catch block: the application's handler (if set) may rethrow to look at it.
void ReportWindowException(const wchar_t* where);
typedef void (*WindowExceptionHandler)();
void SetWindowExceptionHandler(WindowExceptionHandler handler);

} // namespace KvUi

// Message map macros. Inside a map, ThisClass names the class whose map it is.
#define KV_DECLARE_MESSAGE_MAP()                                          \
protected:                                                                \
    static const KvUi::MsgMap* GetThisMessageMap();                       \
    const KvUi::MsgMap* GetMessageMap() const override;

#define KV_BEGIN_MESSAGE_MAP(theClass, baseClass)                         \
    const KvUi::MsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const KvUi::MsgMap* theClass::GetThisMessageMap() {                   \
        typedef theClass ThisClass; (void)sizeof(ThisClass*);             \
        typedef baseClass TheBaseClass;                                   \
        static const KvUi::MsgEntry entries[] = {

#define KV_END_MESSAGE_MAP()                                              \
            { 0, 0, 0, 0, KvUi::Sig::End, nullptr, nullptr } };           \
        static const KvUi::MsgMap map = { &TheBaseClass::GetThisMessageMap, entries }; \
        return &map; }

#define ON_COMMAND(id, fn) { WM_COMMAND, (UINT)KvUi::CN_COMMAND, (UINT)(id), (UINT)(id), KvUi::Sig::Cmd, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_COMMAND_EX(id, fn) { WM_COMMAND, (UINT)KvUi::CN_COMMAND, (UINT)(id), (UINT)(id), KvUi::Sig::CmdEx, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_COMMAND_RANGE(id, idLast, fn) { WM_COMMAND, (UINT)KvUi::CN_COMMAND, (UINT)(id), (UINT)(idLast), KvUi::Sig::CmdRange, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_UPDATE_COMMAND_UI(id, fn) { WM_COMMAND, (UINT)KvUi::CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(id), KvUi::Sig::Update, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, fn) { WM_COMMAND, (UINT)KvUi::CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(idLast), KvUi::Sig::Update, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_CONTROL(code, id, fn) { WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(id), KvUi::Sig::Cmd, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_NOTIFY(code, id, fn) { WM_NOTIFY, (UINT)((code) & 0xFFFF), (UINT)(id), (UINT)(id), KvUi::Sig::Notify, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_MESSAGE(msg, fn) { (UINT)(msg), 0, 0, 0, KvUi::Sig::Msg, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_MESSAGE_VOID(msg, fn) { (UINT)(msg), 0, 0, 0, KvUi::Sig::Void, KvUi::ToPmsg(&ThisClass::fn), nullptr },
#define ON_REGISTERED_MESSAGE(var, fn) { 0xC000, 0, 0, 0, KvUi::Sig::Msg, KvUi::ToPmsg(&ThisClass::fn), &(var) },
#define ON_WM_CREATE() { WM_CREATE, 0, 0, 0, KvUi::Sig::Create, KvUi::ToPmsg(&ThisClass::OnCreate), nullptr },
#define ON_WM_TIMER() { WM_TIMER, 0, 0, 0, KvUi::Sig::Timer, KvUi::ToPmsg(&ThisClass::OnTimer), nullptr },
#define ON_WM_SIZE() { WM_SIZE, 0, 0, 0, KvUi::Sig::Size, KvUi::ToPmsg(&ThisClass::OnSize), nullptr },
#define ON_WM_CLOSE() ON_MESSAGE_VOID(WM_CLOSE, OnClose)
#define ON_WM_DESTROY() ON_MESSAGE_VOID(WM_DESTROY, OnDestroy)
