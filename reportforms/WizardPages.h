// The pages of the report wizards (child dialogs that a wizard frame places under its banner) and
// the rules of the report file's name.
#pragma once

#include "kvui/kvui.h"

#include "ReportRequest.h"

#include <string>

// The user's documents folder (not created when missing); empty when it cannot be had.
std::wstring GetDocumentsFolder();

// The default report file in a folder: "rep", the unique part of a temporary name that the system
// makes there, and ".rtf"; the temporary file is deleted again. Empty when the folder or the
// temporary name cannot be had.
std::wstring MakeDefaultReportPath(const std::wstring& folder);

// Completes a report file path: ".rtf" is appended unless the path ends with it (case-sensitive);
// a path that is neither on a drive ("X:") nor starting with '\' goes into `folder` (a '\' is
// put between them when the folder does not end with one).
std::wstring CompleteReportPath(const std::wstring& path, const std::wstring& folder);

// The event-log records page: which records go into the report and whether with details.
class CDlgEventLogStart : public KvUi::CDialog {
public:
    CDlgEventLogStart();

    void SetComputerName(const std::wstring& name) { m_strComputerName = name; }
    void SetSelectionPresent(int present) { m_nSelectionPresent = present; }
    void SetParams(const SEventLogParams& params);
    // Refreshes the controls from the members and returns them.
    SEventLogParams GetParams();

    std::wstring m_strComputerName;
    int m_nShowDescription = 0;
    unsigned int m_nRangeStart = 0;
    unsigned int m_nRangeEnd = 0;
    int m_nRecordChoice = 0; // 0 All, 1 Selected, 2 Range, 3 View
    int m_nSelectionPresent = 0;

    BOOL OnInitDialog() override;
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    void OnAll();
    void OnSelected();
    void OnRange();
    void OnView();
    void OnPaint();
    void ChooseRecords(int choice);
    // Shows "Selected" only with a selection; the range fields are enabled for "Range" alone.
    void UpdateControls();

    KV_DECLARE_MESSAGE_MAP()
};

// The board-access workstations page: one flag.
class CDlgVarnoStart : public KvUi::CDialog {
public:
    CDlgVarnoStart();
    void SetShowAll(int showAll) { m_nShowAll = showAll; }
    int GetShowAll() const { return m_nShowAll; }

    int m_nShowAll = 0;

    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
};

// The report file page that ends every wizard.
class CDlgResourcesSecond : public KvUi::CDialog {
public:
    CDlgResourcesSecond();

    // The frame that the page tells whether its path may be confirmed (WM_USER+2); not owned.
    // Nothing is posted before the frame is set.
    void SetFrame(KvUi::CWnd* frame) { m_pFrame = frame; }
    KvUi::CWnd* GetFrame() const { return m_pFrame; }

    // Reads the field into the path as a change of its text does, without telling the frame.
    void ReadPath();
    // Whether the path read last may be confirmed: not empty, and the typed text does not end
    // with '\'.
    bool IsPathAcceptable() const { return m_bAcceptable; }
    // Completes the path (CompleteReportPath in the documents folder, else in the current
    // directory), keeps the result as the page's path and returns it.
    std::wstring GetCompletedPath();

    std::wstring m_strPath;

    BOOL OnInitDialog() override;
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    void OnChangePath();
    void OnBrowse();

    KvUi::CWnd* m_pFrame = nullptr;
    bool m_bAcceptable = false;

    KV_DECLARE_MESSAGE_MAP()
};

// The page-numbering dialog: edits the caller's record, which it changes only on OK.
class CDlgSettings : public KvUi::CDialog {
public:
    CDlgSettings(SPageNumbering* record, HWND parent = nullptr);

    int m_nShowNumbering = 0;
    int m_nShowTotal = 0;
    int m_nTop = 0;
    int m_nBottom = 1;
    SPageNumbering* m_pRecord;

    BOOL OnInitDialog() override;
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    void OnOK() override;

protected:
    void OnNumbering();
    // The position and total are available only with numbering; without it no total is shown.
    void UpdateControls();

    KV_DECLARE_MESSAGE_MAP()
};
