// Property sheets and wizards: the system's property sheet, its pages bound to CPropertyPage
// objects, run modelessly under a modal loop of the layer (so the presenter sees it).
#pragma once

#include "kvui/dialog.h"

#include <prsht.h>

#include <string>
#include <vector>

namespace KvUi {

class CPropertySheet;

class CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT nIDTemplate, const wchar_t* caption = nullptr);

    // Notifications of the sheet. OnKillActive takes the controls back (UpdateData); FALSE keeps
    // the page. The wizard's Back and Next return 0 for the neighbouring page, -1 to stay, or a
    // template id to go to; Finish returns FALSE to stay.
    virtual BOOL OnSetActive() { return TRUE; }
    virtual BOOL OnKillActive() { return UpdateData(TRUE); }
    virtual BOOL OnApply() { return TRUE; }
    virtual void OnReset() {}
    virtual LRESULT OnWizardBack() { return 0; }
    virtual LRESULT OnWizardNext() { return 0; }
    virtual BOOL OnWizardFinish() { return TRUE; }

    void SetModified(BOOL bChanged = TRUE);
    // Ends the whole sheet with the result.
    void EndDialog(INT_PTR nResult) override;
    CPropertySheet* GetSheet() const { return m_pSheet; }
    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    BOOL OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void OnOK() override {}
    void OnCancel() override {}
    friend class CPropertySheet;
    friend INT_PTR CALLBACK PageDlgProc(HWND, UINT, WPARAM, LPARAM);
    CPropertySheet* m_pSheet = nullptr;
    std::wstring m_strCaption;
};

class CPropertySheet : public CWnd {
public:
    explicit CPropertySheet(const std::wstring& caption, HWND hParent = nullptr, UINT nStartPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage* page);
    void SetWizardMode() { m_bWizard = TRUE; }
    BOOL IsWizard() const { return m_bWizard; }
    // PSWIZB_BACK | PSWIZB_NEXT | PSWIZB_FINISH | PSWIZB_DISABLEDFINISH
    void SetWizardButtons(DWORD flags);

    // Runs the sheet modally: IDOK after OK (or the wizard's Finish), IDCANCEL otherwise, -1
    // when it could not be created. The presenter sees the first page as the dialog shown.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    int GetPageCount() const { return (int)m_pages.size(); }
    CPropertyPage* GetPage(int i) const { return i >= 0 && i < GetPageCount() ? m_pages[i] : nullptr; }
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const;
    BOOL SetActivePage(int i);
    // PSBTN_BACK, PSBTN_NEXT, PSBTN_FINISH, PSBTN_OK, PSBTN_APPLYNOW, PSBTN_CANCEL
    BOOL PressButton(int button);

protected:
    friend class CPropertyPage;
    std::wstring m_strCaption;
    HWND m_hParent;
    UINT m_nStartPage;
    BOOL m_bWizard = FALSE;
    BOOL m_bEnded = FALSE;
    INT_PTR m_nResult = IDCANCEL;
    std::vector<CPropertyPage*> m_pages;
};

} // namespace KvUi
