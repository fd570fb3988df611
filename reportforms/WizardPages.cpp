// The pages of the report wizards and the page-numbering dialog.
#include "WizardPages.h"

#include "PathEdit.h"
#include "reportforms_ids.h"

#include <shlobj.h>

#include <cwchar>
#include <vector>

using namespace KvUi;

// ---- report file names ---------------------------------------------------------------------

std::wstring GetDocumentsFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::wstring();
    return folder;
}

std::wstring MakeDefaultReportPath(const std::wstring& folder) {
    if (folder.empty())
        return std::wstring();
    wchar_t temp[MAX_PATH] = {};
    if (!::GetTempFileNameW(folder.c_str(), L"rep", 0, temp))
        return std::wstring();
    std::wstring path = temp;
    ::DeleteFileW(temp);
    size_t dot = path.find_last_of(L'.');
    size_t slash = path.find_last_of(L'\\');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
        path.resize(dot);
    return path + L".rtf";
}

std::wstring CompleteReportPath(const std::wstring& path, const std::wstring& folder) {
    std::wstring out = path;
    if (out.size() < 4 || wcscoll(out.c_str() + out.size() - 4, L".rtf") != 0)
        out += L".rtf";
    bool relative = out.size() == 1 || (out.size() >= 2 && out[1] != L':' && out[0] != L'\\' && out[1] != L'\\');
    if (relative) {
        std::wstring prefix = folder;
        if (prefix.empty() || prefix.back() != L'\\')
            prefix += L'\\';
        out = prefix + out;
    }
    return out;
}

namespace {

std::wstring CurrentDirectory() {
    DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (!n)
        return std::wstring();
    std::vector<wchar_t> buf(n + 1);
    n = ::GetCurrentDirectoryW((DWORD)buf.size(), buf.data());
    return n && n < buf.size() ? std::wstring(buf.data(), n) : std::wstring();
}

// Radio buttons of the record choice, by choice.
const int kChoiceButtons[4] = {IDC_RADIO_ALL, IDC_RADIO_SELECTED, IDC_RADIO_RANGE, IDC_RADIO_VIEW};

} // namespace

// ---- the event-log records page ------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CDlgEventLogStart, CDialog)
ON_BN_CLICKED(IDC_RADIO_ALL, OnAll)
ON_BN_CLICKED(IDC_RADIO_SELECTED, OnSelected)
ON_BN_CLICKED(IDC_RADIO_RANGE, OnRange)
ON_BN_CLICKED(IDC_RADIO_VIEW, OnView)
ON_WM_PAINT()
KV_END_MESSAGE_MAP()

CDlgEventLogStart::CDlgEventLogStart() : CDialog(IDD_EVENTLOG_START, (HWND) nullptr) {}

void CDlgEventLogStart::SetParams(const SEventLogParams& params) {
    m_nShowDescription = params.nShowDescription;
    m_nRangeStart = params.nRangeStart;
    m_nRangeEnd = params.nRangeEnd;
    m_nRecordChoice = params.nRecordChoice;
}

SEventLogParams CDlgEventLogStart::GetParams() {
    if (m_hWnd)
        UpdateData(FALSE);
    SEventLogParams p = {m_nShowDescription, m_nRangeStart, m_nRangeEnd, m_nRecordChoice};
    return p;
}

void CDlgEventLogStart::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_RANGE_START, m_nRangeStart);
    DDX_Text(pDX, IDC_RANGE_END, m_nRangeEnd);
    DDX_Check(pDX, IDC_CHECK, m_nShowDescription);
    if (pDX->m_bSaveAndValidate) {
        for (int choice = 0; choice < 4; ++choice)
            if (::SendMessageW(pDX->PrepareCtrl(kChoiceButtons[choice]), BM_GETCHECK, 0, 0) == BST_CHECKED)
                m_nRecordChoice = choice;
    } else if (m_nRecordChoice >= 0 && m_nRecordChoice < 4) {
        for (int choice = 0; choice < 4; ++choice)
            ::SendMessageW(pDX->PrepareCtrl(kChoiceButtons[choice]), BM_SETCHECK,
                           choice == m_nRecordChoice ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

BOOL CDlgEventLogStart::OnInitDialog() {
    CDialog::OnInitDialog();
    UpdateData(TRUE);
    EnableDlgItem(IDC_RANGE_START, FALSE);
    EnableDlgItem(IDC_RANGE_END, FALSE);
    return TRUE;
}

// Keys go to the frame, which moves the focus across the page and its own buttons.
BOOL CDlgEventLogStart::PreTranslateMessage(MSG*) { return FALSE; }

void CDlgEventLogStart::ChooseRecords(int choice) {
    m_nRecordChoice = choice;
    EnableDlgItem(IDC_RANGE_START, choice == 2);
    EnableDlgItem(IDC_RANGE_END, choice == 2);
}

void CDlgEventLogStart::OnAll() { ChooseRecords(0); }
void CDlgEventLogStart::OnSelected() { ChooseRecords(1); }
void CDlgEventLogStart::OnRange() { ChooseRecords(2); }
void CDlgEventLogStart::OnView() { ChooseRecords(3); }

void CDlgEventLogStart::UpdateControls() {
    HWND selected = GetDlgItem(IDC_RADIO_SELECTED);
    int show = m_nSelectionPresent ? SW_SHOWNA : SW_HIDE;
    if ((::IsWindowVisible(selected) != FALSE) != (show == SW_SHOWNA))
        ::ShowWindow(selected, show);
    if (IsDlgItemChecked(IDC_RADIO_RANGE)) {
        EnableDlgItem(IDC_RANGE_START, TRUE);
        EnableDlgItem(IDC_RANGE_END, TRUE);
    }
}

void CDlgEventLogStart::OnPaint() {
    UpdateControls();
    Default();
}

// ---- the board-access workstations page ----------------------------------------------------

CDlgVarnoStart::CDlgVarnoStart() : CDialog(IDD_VARNO_START, (HWND) nullptr) {}

void CDlgVarnoStart::DoDataExchange(CDataExchange* pDX) { DDX_Check(pDX, IDC_CHECK, m_nShowAll); }

BOOL CDlgVarnoStart::PreTranslateMessage(MSG*) { return FALSE; }

// ---- the report file page ------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CDlgResourcesSecond, CDialog)
ON_CONTROL(EN_CHANGE, IDC_REPORT_PATH, OnChangePath)
ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
KV_END_MESSAGE_MAP()

CDlgResourcesSecond::CDlgResourcesSecond() : CDialog(IDD_REPORT_FILE, (HWND) nullptr) {}

void CDlgResourcesSecond::DoDataExchange(CDataExchange* pDX) { DDX_Text(pDX, IDC_REPORT_PATH, m_strPath); }

BOOL CDlgResourcesSecond::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SendMessageW(GetDlgItem(IDC_REPORT_PATH), EM_SETLIMITTEXT, MAX_PATH - 1, 0);
    m_strPath = MakeDefaultReportPath(GetDocumentsFolder());
    UpdateData(FALSE); // the change this makes reads the path; the frame is told later
    ReadPath();
    return TRUE;
}

void CDlgResourcesSecond::ReadPath() {
    HWND dlg = m_hWnd;
    std::wstring typed = GetDlgItemText(IDC_REPORT_PATH);
    std::wstring path = GetDlgItemTextFilteredString(dlg, IDC_REPORT_PATH, MAX_PATH, PathEditFilter);
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    m_strPath = path;
    m_bAcceptable = !path.empty() && (typed.empty() || typed.back() != L'\\');
}

void CDlgResourcesSecond::OnChangePath() {
    ReadPath();
    if (m_pFrame && m_pFrame->m_hWnd)
        m_pFrame->PostMessage(WM_REPORT_PATH_STATE, m_bAcceptable ? 1 : 0, 0);
}

void CDlgResourcesSecond::OnBrowse() {
    FilePick pick;
    pick.save = true;
    pick.defaultExtension = L"rtf";
    // "a|b|c|d||" as the common dialog takes it: the bars become terminators.
    std::wstring filter = LoadStr(IDS_FILE_FILTER);
    for (wchar_t& c : filter)
        if (c == L'|')
            c = L'\0';
    pick.filter = filter;
    std::vector<std::wstring> paths;
    if (GetPresenter()->PickFiles(m_hWnd, pick, paths) && !paths.empty()) {
        m_strPath = paths.front();
        SetDlgItemText(IDC_REPORT_PATH, m_strPath);
    }
}

BOOL CDlgResourcesSecond::PreTranslateMessage(MSG* pMsg) {
    // Enter on the "..." button opens the Save As dialog once, when the key is released; the
    // press is kept from the dialog manager, which would click the button as well.
    if ((pMsg->message == WM_KEYDOWN || pMsg->message == WM_KEYUP || pMsg->message == WM_CHAR) &&
        pMsg->wParam == VK_RETURN && pMsg->hwnd == GetDlgItem(IDC_BROWSE)) {
        if (pMsg->message == WM_KEYUP)
            OnBrowse();
        return TRUE;
    }
    return FALSE;
}

std::wstring CDlgResourcesSecond::GetCompletedPath() {
    std::wstring folder = GetDocumentsFolder();
    if (folder.empty())
        folder = CurrentDirectory();
    m_strPath = CompleteReportPath(m_strPath, folder);
    return m_strPath;
}

// ---- the page-numbering dialog -------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CDlgSettings, CDialog)
ON_BN_CLICKED(IDC_NUMBERING, OnNumbering)
KV_END_MESSAGE_MAP()

CDlgSettings::CDlgSettings(SPageNumbering* record, HWND parent) : CDialog(IDD_SETTINGS, parent), m_pRecord(record) {
    m_nShowNumbering = record->nPresent;
    m_nShowTotal = record->nAllPagesNum;
    m_nTop = record->nLocation == 1 ? 1 : 0;
    m_nBottom = record->nLocation == 1 ? 0 : 1;
}

void CDlgSettings::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_NUMBERING, m_nShowNumbering);
    DDX_Check(pDX, IDC_TOTAL, m_nShowTotal);
    HWND top = pDX->PrepareCtrl(IDC_TOP);
    HWND bottom = pDX->PrepareCtrl(IDC_BOTTOM);
    if (pDX->m_bSaveAndValidate) {
        m_nTop = ::SendMessageW(top, BM_GETCHECK, 0, 0) == BST_CHECKED;
        m_nBottom = ::SendMessageW(bottom, BM_GETCHECK, 0, 0) == BST_CHECKED;
    } else {
        ::SendMessageW(top, BM_SETCHECK, m_nTop ? BST_CHECKED : BST_UNCHECKED, 0);
        ::SendMessageW(bottom, BM_SETCHECK, m_nBottom ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

BOOL CDlgSettings::OnInitDialog() {
    CDialog::OnInitDialog();
    UpdateControls();
    return TRUE;
}

void CDlgSettings::UpdateControls() {
    BOOL on = IsDlgItemChecked(IDC_NUMBERING);
    EnableDlgItem(IDC_TOP, on);
    EnableDlgItem(IDC_BOTTOM, on);
    EnableDlgItem(IDC_TOTAL, on);
    if (!on) {
        m_nShowTotal = 0;
        CheckDlgItem(IDC_TOTAL, FALSE);
    }
}

void CDlgSettings::OnNumbering() { UpdateControls(); }

void CDlgSettings::OnOK() {
    if (!UpdateData(TRUE))
        return;
    m_pRecord->nPresent = m_nShowNumbering;
    m_pRecord->nAllPagesNum = m_nShowTotal;
    m_pRecord->nLocation = m_nTop ? 1 : 0;
    EndDialog(IDOK);
}
