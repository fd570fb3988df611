// Dialogs from .rc templates: modal (with a loop of their own, on any thread), modeless and
// child; data exchange between members and controls.
#pragma once

#include "kvui/core.h"

#include <stdexcept>
#include <string>

namespace KvUi {

class CDialog;

// Thrown by a failed validation; UpdateData catches it and answers FALSE.
class CUserException : public std::exception {
public:
    const char* what() const noexcept override { return "user input rejected"; }
};

class CDataExchange {
public:
    CDataExchange(CDialog* pDlg, BOOL bSaveAndValidate) : m_pDlgWnd(pDlg), m_bSaveAndValidate(bSaveAndValidate) {}
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
    HWND m_hWndLastControl = nullptr;
    HWND PrepareCtrl(int nID); // the control's window; a missing control fails the exchange
    [[noreturn]] void Fail();  // sets the focus to the last control and throws
};

void DDX_Text(CDataExchange* pDX, int nID, std::wstring& value);
void DDX_Text(CDataExchange* pDX, int nID, int& value); // "Введите целое число." on bad text
// Unsigned decimal, 0 to 4294967295; "Введите положительное целое число." on bad text.
void DDX_Text(CDataExchange* pDX, int nID, unsigned int& value);
void DDX_Check(CDataExchange* pDX, int nID, int& value); // 0, 1 or 2 (indeterminate)
void DDX_Radio(CDataExchange* pDX, int nID, int& value); // index in the group from nID; -1 none
void DDX_Control(CDataExchange* pDX, int nID, CWnd& control);

// The owner of a modal dialog or sheet: the root of the given parent, else the program's main
// window when it is shown and belongs to the calling thread.
HWND ModalOwner(HWND hParent);

// For a module without a main window of its own (a DLL of forms that another module's program
// calls): its modal dialogs without an owner run task-modal, owned by the calling thread's active
// window with every other enabled window of the thread disabled while they run, so nothing of
// the program underneath can be used meanwhile. Off by default.
void SetTaskModalWithoutOwner(bool on);

class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}
    CDialog(UINT nIDTemplate, HWND hParent) : m_nIDTemplate(nIDTemplate), m_hParent(hParent) {}
    ~CDialog() override;

    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;
    HWND m_hParent = nullptr;

    // Runs the dialog modally: its owner is disabled meanwhile; returns the EndDialog result,
    // or -1 when the dialog could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless (or as a child when its template has WS_CHILD).
    BOOL Create(UINT nIDTemplate, CWnd* pParent = nullptr);
    BOOL Create(UINT nIDTemplate, HWND hParent);
    // Creates the dialog modeless from a template in memory (kept by the caller while the dialog
    // lives; DoModal uses it too when set).
    BOOL CreateIndirect(const DLGTEMPLATE* tpl, HWND hParent);
    void SetTemplate(const DLGTEMPLATE* tpl) { m_pTemplate = tpl; }
    virtual void EndDialog(INT_PTR nResult);
    BOOL IsModal() const { return m_bModal; }
    BOOL IsEnded() const { return m_bEnded; }

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX) {}
    // Moves data between members and controls; FALSE when validation failed.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

    // Centres the dialog over its owner (the main window when it has none; the work area when
    // the owner is hidden or minimised), kept whole on the work area. A popup template at the
    // origin (0, 0) without DS_CENTER opens so unless its OnInitDialog placed it.
    void CenterOverOwner();
    // Sets the focus to a control (as the dialog manager does, with default-button handling).
    void GotoDlgCtrl(HWND hCtl);
    // The update handlers of the dialog's own controls (ON_UPDATE_COMMAND_UI with a control's id)
    // run when its modal loop, or the thread of a modeless dialog, runs idle.
    void OnIdleUpdate() override;

protected:
    HWND ParentHandle() const;
    HWND CreateFromTemplate(HWND hParent);
    HWND CreateFromMemory(const DLGTEMPLATE* tpl, HWND hParent);
    BOOL CreateModeless(HWND hParent);
    const DLGTEMPLATE* m_pTemplate = nullptr;
    BOOL m_bModal = FALSE;
    BOOL m_bEnded = FALSE;
    INT_PTR m_nResult = -1;
    bool m_bCenterAtInit = false;

    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
