// kvui core: command targets with message maps, command routing, update handlers and windows
// bound to their objects. The program's classes derive from these and extend the maps.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace KvUi {

class CCmdTarget;
class CCmdUI;
class CWnd;

// Codes that OnCmdMsg takes besides a control's own notification codes.
const int CN_COMMAND = 0;            // a command from a menu, accelerator, toolbar or button
const int CN_UPDATE_COMMAND_UI = -1; // an update request; extra is the CCmdUI
// A WM_NOTIFY notification travels as MAKELONG(code, WM_NOTIFY); extra is a NotifyInfo.
inline int NotifyCode(UINT code) { return (int)MAKELONG(code & 0xFFFF, WM_NOTIFY); }

struct NotifyInfo {
    NMHDR* pHeader;
    LRESULT* pResult;
};

// How a map entry's handler is called. Each kind has exactly one handler signature; the
// macros below accept only a member function of that signature (anything else does not compile).
enum class Sig {
    End,
    Cmd,           // void ()                            ON_COMMAND, ON_CONTROL
    CmdRange,      // void (UINT id)                     ON_COMMAND_RANGE, ON_CONTROL_RANGE
    CmdEx,         // BOOL (UINT id)                     ON_COMMAND_EX: FALSE lets routing go on
    Update,        // void (CCmdUI*)                     ON_UPDATE_COMMAND_UI(_RANGE)
    Notify,        // void (NMHDR*, LRESULT*)            ON_NOTIFY
    NotifyRange,   // void (UINT id, NMHDR*, LRESULT*)   ON_NOTIFY_RANGE
    NotifyEx,      // BOOL (UINT id, NMHDR*, LRESULT*)   ON_NOTIFY_EX: FALSE lets routing go on
    Msg,           // LRESULT (WPARAM, LPARAM)           ON_MESSAGE, ON_REGISTERED_MESSAGE
    Void,          // void ()                            ON_MESSAGE_VOID, ON_WM_PAINT/CLOSE/DESTROY
    Create,        // int (LPCREATESTRUCTW)              ON_WM_CREATE (-1 refuses the window)
    Timer,         // void (UINT_PTR)                    ON_WM_TIMER
    Size,          // void (UINT, int, int)              ON_WM_SIZE
    ContextMenu,   // void (HWND, POINT)                 ON_WM_CONTEXTMENU (screen point)
    Focus,         // void (HWND other)                  ON_WM_SETFOCUS/KILLFOCUS, ON_WM_CAPTURECHANGED
    Key,           // void (UINT ch, UINT repeat, UINT flags)  ON_WM_KEYDOWN/KEYUP/CHAR
    Mouse,         // void (UINT flags, POINT)           ON_WM_L/R/MBUTTONDOWN/UP/DBLCLK, ON_WM_MOUSEMOVE
    MinMax,        // void (MINMAXINFO*)                 ON_WM_GETMINMAXINFO
    DrawItem,      // void (int id, LPDRAWITEMSTRUCT)    ON_WM_DRAWITEM
    MeasureItem,   // void (int id, LPMEASUREITEMSTRUCT) ON_WM_MEASUREITEM
    CtlColor,      // HBRUSH (HDC, HWND ctl, UINT kind)  ON_WM_CTLCOLOR (kind: CTLCOLOR_EDIT, ...)
    SetCursor,     // BOOL (HWND, UINT hitTest, UINT message)  ON_WM_SETCURSOR
    DropFiles,     // void (HDROP)                       ON_WM_DROPFILES
    EraseBkgnd,    // BOOL (HDC)                         ON_WM_ERASEBKGND
    InitMenuPopup, // void (HMENU, UINT index, BOOL system)  ON_WM_INITMENUPOPUP
    MenuSelect,    // void (UINT id, UINT flags, HMENU)  ON_WM_MENUSELECT
    // Reflected to the control's own object (the control's parent got the message).
    NotifyReflect,   // void (NMHDR*, LRESULT*)            ON_NOTIFY_REFLECT
    NotifyReflectEx, // BOOL (NMHDR*, LRESULT*)            ON_NOTIFY_REFLECT_EX: FALSE lets the parent see it
    CtlReflect,      // void ()                            ON_CONTROL_REFLECT
    CtlReflectEx,    // BOOL ()                            ON_CONTROL_REFLECT_EX: FALSE lets the parent see it
    ColorReflect,    // HBRUSH (HDC, UINT kind)            ON_WM_CTLCOLOR_REFLECT (null: not handled)
    DrawReflect,     // void (LPDRAWITEMSTRUCT)            ON_WM_DRAWITEM_REFLECT
    MeasureReflect,  // void (LPMEASUREITEMSTRUCT)         ON_WM_MEASUREITEM_REFLECT
};

// Reflected messages carry this offset in a map entry: the control's parent received the message.
const UINT WM_REFLECT_BASE = 0xBC00;

// A map entry's handler. One member per handler signature, all of class CCmdTarget; an entry is
// written and read through the member of its own signature (never cast to another type).
union MsgFn {
    void (CCmdTarget::*v)();
    void (CCmdTarget::*vU)(UINT);
    BOOL (CCmdTarget::*bU)(UINT);
    BOOL (CCmdTarget::*b)();
    void (CCmdTarget::*vUi)(CCmdUI*);
    void (CCmdTarget::*vNm)(NMHDR*, LRESULT*);
    BOOL (CCmdTarget::*bNm)(NMHDR*, LRESULT*);
    void (CCmdTarget::*vUNm)(UINT, NMHDR*, LRESULT*);
    BOOL (CCmdTarget::*bUNm)(UINT, NMHDR*, LRESULT*);
    LRESULT (CCmdTarget::*lWL)(WPARAM, LPARAM);
    int (CCmdTarget::*iCs)(LPCREATESTRUCTW);
    void (CCmdTarget::*vUp)(UINT_PTR);
    void (CCmdTarget::*vUII)(UINT, int, int);
    void (CCmdTarget::*vHPt)(HWND, POINT);
    void (CCmdTarget::*vH)(HWND);
    void (CCmdTarget::*vUUU)(UINT, UINT, UINT);
    void (CCmdTarget::*vUPt)(UINT, POINT);
    void (CCmdTarget::*vMmi)(MINMAXINFO*);
    void (CCmdTarget::*vIDis)(int, LPDRAWITEMSTRUCT);
    void (CCmdTarget::*vIMis)(int, LPMEASUREITEMSTRUCT);
    HBRUSH (CCmdTarget::*brDcHU)(HDC, HWND, UINT);
    HBRUSH (CCmdTarget::*brDcU)(HDC, UINT);
    BOOL (CCmdTarget::*bHUU)(HWND, UINT, UINT);
    void (CCmdTarget::*vDrop)(HDROP);
    BOOL (CCmdTarget::*bDc)(HDC);
    void (CCmdTarget::*vMenuUB)(HMENU, UINT, BOOL);
    void (CCmdTarget::*vUUMenu)(UINT, UINT, HMENU);
    void (CCmdTarget::*vDis)(LPDRAWITEMSTRUCT);
    void (CCmdTarget::*vMis)(LPMEASUREITEMSTRUCT);

    constexpr MsgFn() : v(nullptr) {}
    constexpr MsgFn(void (CCmdTarget::*f)()) : v(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT)) : vU(f) {}
    constexpr MsgFn(BOOL (CCmdTarget::*f)(UINT)) : bU(f) {}
    constexpr MsgFn(BOOL (CCmdTarget::*f)()) : b(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(CCmdUI*)) : vUi(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(NMHDR*, LRESULT*)) : vNm(f) {}
    constexpr MsgFn(BOOL (CCmdTarget::*f)(NMHDR*, LRESULT*)) : bNm(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT, NMHDR*, LRESULT*)) : vUNm(f) {}
    constexpr MsgFn(BOOL (CCmdTarget::*f)(UINT, NMHDR*, LRESULT*)) : bUNm(f) {}
    constexpr MsgFn(LRESULT (CCmdTarget::*f)(WPARAM, LPARAM)) : lWL(f) {}
    constexpr MsgFn(int (CCmdTarget::*f)(LPCREATESTRUCTW)) : iCs(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT_PTR)) : vUp(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT, int, int)) : vUII(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(HWND, POINT)) : vHPt(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(HWND)) : vH(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT, UINT, UINT)) : vUUU(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT, POINT)) : vUPt(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(MINMAXINFO*)) : vMmi(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(int, LPDRAWITEMSTRUCT)) : vIDis(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(int, LPMEASUREITEMSTRUCT)) : vIMis(f) {}
    constexpr MsgFn(HBRUSH (CCmdTarget::*f)(HDC, HWND, UINT)) : brDcHU(f) {}
    constexpr MsgFn(HBRUSH (CCmdTarget::*f)(HDC, UINT)) : brDcU(f) {}
    constexpr MsgFn(BOOL (CCmdTarget::*f)(HWND, UINT, UINT)) : bHUU(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(HDROP)) : vDrop(f) {}
    constexpr MsgFn(BOOL (CCmdTarget::*f)(HDC)) : bDc(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(HMENU, UINT, BOOL)) : vMenuUB(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(UINT, UINT, HMENU)) : vUUMenu(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(LPDRAWITEMSTRUCT)) : vDis(f) {}
    constexpr MsgFn(void (CCmdTarget::*f)(LPMEASUREITEMSTRUCT)) : vMis(f) {}
};

// The handler of signature R (A...) of class T (or a base of it) as a map entry's handler. The
// parameter type is exact: a member function of another signature does not convert.
template <class R, class... A>
struct HandlerOf {
    template <class T>
    static constexpr MsgFn Take(R (T::*f)(A...)) {
        return MsgFn(static_cast<R (CCmdTarget::*)(A...)>(f));
    }
};

struct MsgEntry {
    UINT nMessage;
    UINT nCode; // notification code (low word for WM_NOTIFY)
    UINT nID;
    UINT nLastID;
    Sig sig;
    MsgFn pfn;
    const UINT* pRegistered; // ON_REGISTERED_MESSAGE: the variable holding the message
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
// One of the layer's own texts (KVUI_IDS_... of kvui/ids.h). The build links the layer's script
// into every module that links the layer, so the text comes from the module itself, whichever
// resource module is set.
std::wstring LayerText(UINT id);
// The text without its leading and trailing white space (blanks, tabs, line breaks and the
// other characters the C library counts as space); empty for a text of nothing else.
std::wstring TrimSpace(const std::wstring& text);
// The module that linked the layer (the program, or a DLL of its own windows): its window class
// and, unless set otherwise, its resources belong to it.
HINSTANCE GetModuleInstance();
// The resource module: the module's own instance unless set otherwise.
HINSTANCE GetResourceHandle();
void SetResourceHandle(HINSTANCE h);

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object bound to a window; null for windows of no object.
    static CWnd* FromHandlePermanent(HWND h);

    // Creates a window of this object with the layer's window class (or a given class).
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int cx,
                  int cy, HWND parent, HMENU idOrMenu);
    BOOL Create(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rc, CWnd* parent, UINT nID);
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
    // A message that this control's parent received about it (WM_NOTIFY, WM_COMMAND, WM_CTLCOLOR*,
    // WM_DRAWITEM, ...), offered to the control's own map (the ON_..._REFLECT entries). TRUE when
    // handled: the parent then answers with *pResult and does not handle it itself.
    virtual BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult);
    // Offers a message the parent received to the object of the control it is about (the control
    // named by the message); FALSE when that control has no object or did not handle it.
    static BOOL ReflectToControl(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult);
    // Passes a message that this window already offered to its control on to another window (a
    // pane's content notifications to the frame): the receiver does not offer it again.
    static LRESULT SendAfterReflection(HWND to, UINT msg, WPARAM wp, LPARAM lp);
    virtual void PreSubclassWindow() {}
    virtual void PostNcDestroy() {}
    // Where commands that this window does not handle go next (the owner chain ends here).
    virtual CWnd* GetRoutingParent() const { return nullptr; }
    // Brings the window's command elements up to date; called for registered windows when the
    // thread's queue runs empty (RegisterIdleUpdate).
    virtual void OnIdleUpdate() {}
    // Runs the update handlers of this window's child controls against pTarget's routing: a
    // handler enables, checks or names the control of its id. With bDisableIfNoHandler a control
    // that has neither an update nor a command handler is disabled.
    void UpdateDialogControls(CCmdTarget* pTarget, BOOL bDisableIfNoHandler);
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
    // A child control of this window (a dialog's item) by its id: enabled or disabled, shown or
    // hidden, its check box or radio button checked or not (read: true only for a full check),
    // its text as a whole number, read as DDX_Text reads one (blanks around it allowed; none when
    // the text is empty, holds anything else or is out of range).
    BOOL EnableDlgItem(int id, BOOL on = TRUE) { return ::EnableWindow(GetDlgItem(id), on); }
    BOOL ShowDlgItem(int id, BOOL show = TRUE) { return ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE); }
    void CheckDlgItem(int id, BOOL checked = TRUE) {
        ::CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsDlgItemChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }
    std::optional<int> GetDlgItemNumber(int id) const;
    void SetDlgItemNumber(int id, int value) { SetDlgItemText(id, std::to_wstring(value)); }
    BOOL ShowWindow(int n) { return ::ShowWindow(m_hWnd, n); }
    BOOL EnableWindow(BOOL b = TRUE) { return ::EnableWindow(m_hWnd, b); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
    void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
    void MoveWindow(const RECT& r, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
    }
    HFONT GetFont() const { return (HFONT)SendMessage(WM_GETFONT); }
    void SetFont(HFONT f, BOOL redraw = TRUE) { SendMessage(WM_SETFONT, (WPARAM)f, redraw); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    CWnd* GetParentWnd() const { return FromHandlePermanent(::GetParent(m_hWnd)); }

    // Message box through the presenter, owned by this window, with the application's caption.
    int MessageBox(const std::wstring& text, const wchar_t* caption = nullptr, UINT type = MB_OK);

protected:
    static const MsgMap* GetThisMessageMap();
    const MsgMap* GetMessageMap() const override;
    BOOL DispatchWndMsg(const MsgEntry* e, UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult);

    WNDPROC m_pfnSuper = nullptr; // the previous window procedure of a subclassed window
    BOOL m_bCreateFailed = FALSE; // an exception ended WM_NCCREATE, WM_CREATE or WM_INITDIALOG
    BOOL m_bDialog = FALSE;       // the window is a dialog: defaults go to the dialog manager
    uint64_t m_nBinding = 0;      // the window's place in the order the layer bound its windows

    friend LRESULT CALLBACK StdWndProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK StdDlgProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK PageDlgProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CallObjectProc(CWnd*, HWND, UINT, WPARAM, LPARAM);
    friend class CDialog;
    friend class CWaitCursor;
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
// The application's translation of a message (its PreTranslateMessage, else the window chain's),
// with an exception reported; TRUE when the message was translated and must not be dispatched.
BOOL TranslateReporting(MSG* pMsg);
// Processes one message of the calling thread's queue (FALSE on WM_QUIT, which is reposted).
BOOL PumpMessage();
// Dispatches every waiting message; FALSE when WM_QUIT came (it is reposted).
BOOL PumpWaitingMessages();

// Windows whose OnIdleUpdate runs when their thread's queue runs empty (the application's idle
// processing, a modal dialog's loop). A window leaves the list when it is destroyed.
void RegisterIdleUpdate(CWnd* pWnd);
void UnregisterIdleUpdate(CWnd* pWnd);
// Calls OnIdleUpdate of every window registered on the calling thread.
void RunIdleUpdates();

// A call run on the thread of a window of this layer, from any thread. It is dropped (never run,
// and freed) when the window is destroyed before its turn; false when the window has no object or
// the call could not be posted.
bool PostCall(HWND h, std::function<void()> fn);

// ---- exceptions at callbacks -----------------------------------------------------------------
// No exception travels through Windows' code: every window and dialog procedure, the translation
// of messages (PreTranslateMessage) and the idle processing catch it and report it here. The error
// is shown once, through the program's error dialog, with the exception's own text; while one
// error is shown, another is only written to the debug output. A failure while creating a window
// (WM_NCCREATE, WM_CREATE, a dialog's WM_INITDIALOG) makes the creation fail; a failed paint
// validates the window, so it does not come back at once.

// The text shown for an exception of no known kind (KVUI_IDS_UNKNOWN_ERROR).
std::wstring UnknownErrorText();

// A translator rethrows the exception being handled (throw;) and, when it is of a kind it knows,
// writes its text and answers true. The program adds its own error types.
typedef bool (*ExceptionTranslator)(std::wstring& text);
void AddExceptionTranslator(ExceptionTranslator translator);
// The text of the exception being handled (call inside a catch block): the translators first,
// then std::exception's text, else UnknownErrorText().
std::wstring CurrentExceptionText();

// Shows an error's text: the program installs its error dialog; without one the text goes to a
// message box through the presenter.
typedef void (*ErrorDialogHandler)(const std::wstring& text);
ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler);
// Reports the exception being handled (call inside the catch block). `where` goes to the debug
// output with the text.
void ReportWindowException(const wchar_t* where);
// Runs fn and reports an exception that leaves it; true when fn completed.
template <class Fn>
bool CallReporting(const wchar_t* where, Fn&& fn) {
    try {
        fn();
        return true;
    } catch (...) {
        ReportWindowException(where);
        return false;
    }
}

} // namespace KvUi

// Message map macros. Inside a map, ThisClass names the class whose map it is.
#define KV_DECLARE_MESSAGE_MAP()                                                                                       \
protected:                                                                                                             \
    static const KvUi::MsgMap* GetThisMessageMap();                                                                    \
    const KvUi::MsgMap* GetMessageMap() const override;

#define KV_BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                      \
    const KvUi::MsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }                                \
    const KvUi::MsgMap* theClass::GetThisMessageMap() {                                                                \
        typedef theClass ThisClass;                                                                                    \
        (void)sizeof(ThisClass*);                                                                                      \
        typedef baseClass TheBaseClass;                                                                                \
        static const KvUi::MsgEntry entries[] = {

#define KV_END_MESSAGE_MAP()                                                                                           \
    { 0, 0, 0, 0, KvUi::Sig::End, KvUi::MsgFn(), nullptr }                                                             \
    }                                                                                                                  \
    ;                                                                                                                  \
    static const KvUi::MsgMap map = {&TheBaseClass::GetThisMessageMap, entries};                                       \
    return &map;                                                                                                       \
    }

// The handler `fn` of ThisClass (or of a base) as an entry of signature R (A...).
#define KV_MAP_FN(fn, R, ...) KvUi::HandlerOf<R, ##__VA_ARGS__>::Take<ThisClass>(&ThisClass::fn)
#define KV_MAP_ENTRY(msg, code, id, idLast, sig, fnValue)                                                              \
    {(UINT)(msg), (UINT)(code), (UINT)(id), (UINT)(idLast), KvUi::Sig::sig, fnValue, nullptr},

// Commands, update handlers and control notifications (routed through OnCmdMsg).
#define ON_COMMAND(id, fn)    KV_MAP_ENTRY(WM_COMMAND, KvUi::CN_COMMAND, id, id, Cmd, KV_MAP_FN(fn, void))
#define ON_COMMAND_EX(id, fn) KV_MAP_ENTRY(WM_COMMAND, KvUi::CN_COMMAND, id, id, CmdEx, KV_MAP_FN(fn, BOOL, UINT))
#define ON_COMMAND_RANGE(id, idLast, fn)                                                                               \
    KV_MAP_ENTRY(WM_COMMAND, KvUi::CN_COMMAND, id, idLast, CmdRange, KV_MAP_FN(fn, void, UINT))
#define ON_UPDATE_COMMAND_UI(id, fn)                                                                                   \
    KV_MAP_ENTRY(WM_COMMAND, KvUi::CN_UPDATE_COMMAND_UI, id, id, Update, KV_MAP_FN(fn, void, KvUi::CCmdUI*))
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, fn)                                                                     \
    KV_MAP_ENTRY(WM_COMMAND, KvUi::CN_UPDATE_COMMAND_UI, id, idLast, Update, KV_MAP_FN(fn, void, KvUi::CCmdUI*))
#define ON_CONTROL(code, id, fn) KV_MAP_ENTRY(WM_COMMAND, code, id, id, Cmd, KV_MAP_FN(fn, void))
#define ON_CONTROL_RANGE(code, id, idLast, fn)                                                                         \
    KV_MAP_ENTRY(WM_COMMAND, code, id, idLast, CmdRange, KV_MAP_FN(fn, void, UINT))
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_NOTIFY(code, id, fn)                                                                                        \
    KV_MAP_ENTRY(WM_NOTIFY, (code)&0xFFFF, id, id, Notify, KV_MAP_FN(fn, void, NMHDR*, LRESULT*))
#define ON_NOTIFY_RANGE(code, id, idLast, fn)                                                                          \
    KV_MAP_ENTRY(WM_NOTIFY, (code)&0xFFFF, id, idLast, NotifyRange, KV_MAP_FN(fn, void, UINT, NMHDR*, LRESULT*))
#define ON_NOTIFY_EX(code, id, fn)                                                                                     \
    KV_MAP_ENTRY(WM_NOTIFY, (code)&0xFFFF, id, id, NotifyEx, KV_MAP_FN(fn, BOOL, UINT, NMHDR*, LRESULT*))

// Notifications and control messages reflected to the control's own object.
#define ON_NOTIFY_REFLECT(code, fn)                                                                                    \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_NOTIFY, (code)&0xFFFF, 0, 0, NotifyReflect,                                \
                 KV_MAP_FN(fn, void, NMHDR*, LRESULT*))
#define ON_NOTIFY_REFLECT_EX(code, fn)                                                                                 \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_NOTIFY, (code)&0xFFFF, 0, 0, NotifyReflectEx,                              \
                 KV_MAP_FN(fn, BOOL, NMHDR*, LRESULT*))
#define ON_CONTROL_REFLECT(code, fn)                                                                                   \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, CtlReflect, KV_MAP_FN(fn, void))
#define ON_CONTROL_REFLECT_EX(code, fn)                                                                                \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, CtlReflectEx, KV_MAP_FN(fn, BOOL))
#define ON_WM_CTLCOLOR_REFLECT()                                                                                       \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_CTLCOLORSTATIC, 0, 0, 0, ColorReflect,                                     \
                 KV_MAP_FN(CtlColor, HBRUSH, HDC, UINT))
#define ON_WM_DRAWITEM_REFLECT()                                                                                       \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_DRAWITEM, 0, 0, 0, DrawReflect, KV_MAP_FN(DrawItem, void, LPDRAWITEMSTRUCT))
#define ON_WM_MEASUREITEM_REFLECT()                                                                                    \
    KV_MAP_ENTRY(KvUi::WM_REFLECT_BASE + WM_MEASUREITEM, 0, 0, 0, MeasureReflect,                                      \
                 KV_MAP_FN(MeasureItem, void, LPMEASUREITEMSTRUCT))

// Window messages.
#define ON_MESSAGE(msg, fn)      KV_MAP_ENTRY(msg, 0, 0, 0, Msg, KV_MAP_FN(fn, LRESULT, WPARAM, LPARAM))
#define ON_MESSAGE_VOID(msg, fn) KV_MAP_ENTRY(msg, 0, 0, 0, Void, KV_MAP_FN(fn, void))
#define ON_REGISTERED_MESSAGE(var, fn)                                                                                 \
    {0xC000, 0, 0, 0, KvUi::Sig::Msg, KV_MAP_FN(fn, LRESULT, WPARAM, LPARAM), &(var)},
#define ON_WM_CREATE()  KV_MAP_ENTRY(WM_CREATE, 0, 0, 0, Create, KV_MAP_FN(OnCreate, int, LPCREATESTRUCTW))
#define ON_WM_TIMER()   KV_MAP_ENTRY(WM_TIMER, 0, 0, 0, Timer, KV_MAP_FN(OnTimer, void, UINT_PTR))
#define ON_WM_SIZE()    KV_MAP_ENTRY(WM_SIZE, 0, 0, 0, Size, KV_MAP_FN(OnSize, void, UINT, int, int))
#define ON_WM_CLOSE()   ON_MESSAGE_VOID(WM_CLOSE, OnClose)
#define ON_WM_DESTROY() ON_MESSAGE_VOID(WM_DESTROY, OnDestroy)
#define ON_WM_PAINT()   ON_MESSAGE_VOID(WM_PAINT, OnPaint)
#define ON_WM_CONTEXTMENU()                                                                                            \
    KV_MAP_ENTRY(WM_CONTEXTMENU, 0, 0, 0, ContextMenu, KV_MAP_FN(OnContextMenu, void, HWND, POINT))
#define ON_WM_SETFOCUS()       KV_MAP_ENTRY(WM_SETFOCUS, 0, 0, 0, Focus, KV_MAP_FN(OnSetFocus, void, HWND))
#define ON_WM_KILLFOCUS()      KV_MAP_ENTRY(WM_KILLFOCUS, 0, 0, 0, Focus, KV_MAP_FN(OnKillFocus, void, HWND))
#define ON_WM_CAPTURECHANGED() KV_MAP_ENTRY(WM_CAPTURECHANGED, 0, 0, 0, Focus, KV_MAP_FN(OnCaptureChanged, void, HWND))
#define ON_WM_KEYDOWN()        KV_MAP_ENTRY(WM_KEYDOWN, 0, 0, 0, Key, KV_MAP_FN(OnKeyDown, void, UINT, UINT, UINT))
#define ON_WM_KEYUP()          KV_MAP_ENTRY(WM_KEYUP, 0, 0, 0, Key, KV_MAP_FN(OnKeyUp, void, UINT, UINT, UINT))
#define ON_WM_CHAR()           KV_MAP_ENTRY(WM_CHAR, 0, 0, 0, Key, KV_MAP_FN(OnChar, void, UINT, UINT, UINT))
#define ON_WM_LBUTTONDOWN()    KV_MAP_ENTRY(WM_LBUTTONDOWN, 0, 0, 0, Mouse, KV_MAP_FN(OnLButtonDown, void, UINT, POINT))
#define ON_WM_LBUTTONUP()      KV_MAP_ENTRY(WM_LBUTTONUP, 0, 0, 0, Mouse, KV_MAP_FN(OnLButtonUp, void, UINT, POINT))
#define ON_WM_LBUTTONDBLCLK()                                                                                          \
    KV_MAP_ENTRY(WM_LBUTTONDBLCLK, 0, 0, 0, Mouse, KV_MAP_FN(OnLButtonDblClk, void, UINT, POINT))
#define ON_WM_RBUTTONDOWN() KV_MAP_ENTRY(WM_RBUTTONDOWN, 0, 0, 0, Mouse, KV_MAP_FN(OnRButtonDown, void, UINT, POINT))
#define ON_WM_RBUTTONUP()   KV_MAP_ENTRY(WM_RBUTTONUP, 0, 0, 0, Mouse, KV_MAP_FN(OnRButtonUp, void, UINT, POINT))
#define ON_WM_RBUTTONDBLCLK()                                                                                          \
    KV_MAP_ENTRY(WM_RBUTTONDBLCLK, 0, 0, 0, Mouse, KV_MAP_FN(OnRButtonDblClk, void, UINT, POINT))
#define ON_WM_MBUTTONDOWN() KV_MAP_ENTRY(WM_MBUTTONDOWN, 0, 0, 0, Mouse, KV_MAP_FN(OnMButtonDown, void, UINT, POINT))
#define ON_WM_MBUTTONUP()   KV_MAP_ENTRY(WM_MBUTTONUP, 0, 0, 0, Mouse, KV_MAP_FN(OnMButtonUp, void, UINT, POINT))
#define ON_WM_MBUTTONDBLCLK()                                                                                          \
    KV_MAP_ENTRY(WM_MBUTTONDBLCLK, 0, 0, 0, Mouse, KV_MAP_FN(OnMButtonDblClk, void, UINT, POINT))
#define ON_WM_MOUSEMOVE() KV_MAP_ENTRY(WM_MOUSEMOVE, 0, 0, 0, Mouse, KV_MAP_FN(OnMouseMove, void, UINT, POINT))
#define ON_WM_GETMINMAXINFO()                                                                                          \
    KV_MAP_ENTRY(WM_GETMINMAXINFO, 0, 0, 0, MinMax, KV_MAP_FN(OnGetMinMaxInfo, void, MINMAXINFO*))
#define ON_WM_DRAWITEM()                                                                                               \
    KV_MAP_ENTRY(WM_DRAWITEM, 0, 0, 0, DrawItem, KV_MAP_FN(OnDrawItem, void, int, LPDRAWITEMSTRUCT))
#define ON_WM_MEASUREITEM()                                                                                            \
    KV_MAP_ENTRY(WM_MEASUREITEM, 0, 0, 0, MeasureItem, KV_MAP_FN(OnMeasureItem, void, int, LPMEASUREITEMSTRUCT))
// Every WM_CTLCOLOR* message (the kind tells which).
#define ON_WM_CTLCOLOR()                                                                                               \
    KV_MAP_ENTRY(WM_CTLCOLORSTATIC, 0, 0, 0, CtlColor, KV_MAP_FN(OnCtlColor, HBRUSH, HDC, HWND, UINT))
#define ON_WM_SETCURSOR()  KV_MAP_ENTRY(WM_SETCURSOR, 0, 0, 0, SetCursor, KV_MAP_FN(OnSetCursor, BOOL, HWND, UINT, UINT))
#define ON_WM_DROPFILES()  KV_MAP_ENTRY(WM_DROPFILES, 0, 0, 0, DropFiles, KV_MAP_FN(OnDropFiles, void, HDROP))
#define ON_WM_ERASEBKGND() KV_MAP_ENTRY(WM_ERASEBKGND, 0, 0, 0, EraseBkgnd, KV_MAP_FN(OnEraseBkgnd, BOOL, HDC))
#define ON_WM_INITMENUPOPUP()                                                                                          \
    KV_MAP_ENTRY(WM_INITMENUPOPUP, 0, 0, 0, InitMenuPopup, KV_MAP_FN(OnInitMenuPopup, void, HMENU, UINT, BOOL))
#define ON_WM_MENUSELECT()                                                                                             \
    KV_MAP_ENTRY(WM_MENUSELECT, 0, 0, 0, MenuSelect, KV_MAP_FN(OnMenuSelect, void, UINT, UINT, HMENU))
