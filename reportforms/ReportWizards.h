// The report wizards: a modal frame with a banner on top, one page at a time below it and a row of
// buttons. The event-log and board-access wizards have their own page first and keep the user's
// last choices per user in the registry; the passport and resource wizards have only the report
// file page.
#pragma once

#include "WizardPages.h"

#include <memory>
#include <string>

// Keys of the two-page wizards' settings under HKEY_CURRENT_USER.
extern const wchar_t kEventLogSettingsKey[]; // Software\Meridal\Kavrel 5\Report\EventLog
extern const wchar_t kVarnoSettingsKey[];    // Software\Meridal\Kavrel 5\Report\Varno

// The page-numbering word of the settings: 0x1 numbers shown, 0x2 at the top, 0x4 total shown.
DWORD PageNumberingToSettings(const SPageNumbering& pages);
void PageNumberingFromSettings(DWORD value, SPageNumbering& pages);

// Whether a range of records may be reported: 1 <= start <= end <= record count.
bool IsValidRecordRange(unsigned int start, unsigned int end, unsigned int recordCount);

class CReportWizard : public KvUi::CDialog {
public:
    explicit CReportWizard(UINT templateId);
    ~CReportWizard() override;

    void SetComputerName(const std::wstring& name) { m_strComputerName = name; }
    const std::wstring& GetComputerName() const { return m_strComputerName; }
    const SPageNumbering& GetPageNumbering() const { return m_pageNumbering; }
    // The completed report file path, after IDOK.
    const std::wstring& GetReportPath() const { return m_strReportPath; }

    CDlgResourcesSecond* GetFilePage() const { return m_pFilePage.get(); }
    bool IsFilePageShown() const;

    void OnOK() override;

protected:
    // Base initialisation, the banner, the pages (the first one, when there is one, and the report
    // file page) created under the banner; the frame then knows whether the path may be
    // confirmed without waiting for the page.
    void InitFrame(KvUi::CDialog* firstPage);
    // The one-page wizards: the report file page is shown, Build is the button, Back is off and
    // the path field has the focus. FALSE for OnInitDialog (the focus is set).
    BOOL InitOnePage();

    // The first page, or null in a one-page wizard.
    virtual KvUi::CDialog* FirstPage() const { return nullptr; }
    // Leaving the first page with Next: false keeps it.
    virtual bool LeaveFirstPage() { return true; }
    // Confirming: takes the results; false keeps the wizard open.
    virtual bool Confirm() = 0;
    // Takes the completed path of the report file page; refuses (with a message naming the folder
    // and the system's reason) a path whose folder is not there, so the run cannot fail on it later.
    bool TakeReportPath();

    void ShowFilePage();
    void ShowFirstPage();
    void UpdateNextButton();

    void OnNext();
    void OnBack();
    void OnAdvanced();
    void OnCancelWizard();
    LRESULT OnPathState(WPARAM acceptable, LPARAM);
    HBRUSH OnCtlColor(HDC dc, HWND ctl, UINT kind);

    std::wstring m_strComputerName;
    SPageNumbering m_pageNumbering = {0, 0, 0};
    std::wstring m_strReportPath;
    // Build follows the report file page's state (the board-access wizard leaves it enabled).
    bool m_bFollowPathState = true;
    std::unique_ptr<CDlgResourcesSecond> m_pFilePage;
    HBITMAP m_hBanner = nullptr;

    KV_DECLARE_MESSAGE_MAP()
};

class CDlgEventLog : public CReportWizard {
public:
    CDlgEventLog();

    void SetSelectionPresent(int present) { m_nSelectionPresent = present; }
    // The caller's number of records; it is also the end of the range (a negative count is none).
    void SetRecordCount(int count);
    const SEventLogParams& GetParams() const { return m_params; }
    CDlgEventLogStart* GetFirstPage() const { return m_pFirstPage.get(); }

    BOOL OnInitDialog() override;

protected:
    KvUi::CDialog* FirstPage() const override { return m_pFirstPage.get(); }
    bool LeaveFirstPage() override;
    bool Confirm() override;
    void LoadSettings();
    void SaveSettings();

    SEventLogParams m_params = {0, 0, 0, 0};
    int m_nSelectionPresent = 0;
    int m_nRecordCount = 0;
    std::unique_ptr<CDlgEventLogStart> m_pFirstPage;
};

class CDlgVarno : public CReportWizard {
public:
    CDlgVarno();

    int GetShowAll() const { return m_nShowAll; }
    CDlgVarnoStart* GetFirstPage() const { return m_pFirstPage.get(); }

    BOOL OnInitDialog() override;

protected:
    KvUi::CDialog* FirstPage() const override { return m_pFirstPage.get(); }
    bool Confirm() override;
    void LoadSettings();
    void SaveSettings();

    int m_nShowAll = 0;
    std::unique_ptr<CDlgVarnoStart> m_pFirstPage;
};

class CDlgPassportWS : public CReportWizard {
public:
    CDlgPassportWS();

    // Nothing fills them: every string stays empty.
    SPassportDetails GetDetails() const;

    BOOL OnInitDialog() override;

protected:
    bool Confirm() override;

    std::wstring m_details[7];
};

class CDlgResourcesWS : public CReportWizard {
public:
    CDlgResourcesWS();

    const SResourceFilter& GetFilter() const { return m_filter; }

    BOOL OnInitDialog() override;

protected:
    bool Confirm() override;

    SResourceFilter m_filter = {};
};
