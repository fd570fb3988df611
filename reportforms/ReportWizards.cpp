// The report wizards.
#include "ReportWizards.h"

#include "reportforms_ids.h"

#include <stdexcept>
#include <vector>

using namespace KvUi;

const wchar_t kEventLogSettingsKey[] = L"Software\\Meridal\\Kavrel 5\\Report\\EventLog";
const wchar_t kVarnoSettingsKey[] = L"Software\\Meridal\\Kavrel 5\\Report\\Varno";

DWORD PageNumberingToSettings(const SPageNumbering& pages) {
    return (pages.nPresent ? 0x1u : 0u) | (pages.nLocation ? 0x2u : 0u) | (pages.nAllPagesNum ? 0x4u : 0u);
}

void PageNumberingFromSettings(DWORD value, SPageNumbering& pages) {
    pages.nPresent = (value & 0x1) ? 1 : 0;
    pages.nLocation = (value & 0x2) ? 1 : 0;
    pages.nAllPagesNum = (value & 0x4) ? 1 : 0;
}

bool IsValidRecordRange(unsigned int start, unsigned int end, unsigned int recordCount) {
    return 1 <= start && start <= end && end <= recordCount;
}

namespace {

// The settings key of a two-page wizard. Every failure is ignored: a key that cannot be opened
// leaves the defaults, a value that cannot be written is skipped.
class CSettingsKey {
public:
    ~CSettingsKey() {
        if (m_hKey)
            ::RegCloseKey(m_hKey);
    }
    bool Open(const wchar_t* path) {
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ | KEY_WRITE, &m_hKey) == ERROR_SUCCESS;
    }
    bool OpenOrCreate(const wchar_t* path) {
        if (Open(path))
            return true;
        m_hKey = nullptr;
        return ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                 nullptr, &m_hKey, nullptr) == ERROR_SUCCESS;
    }
    // The value's type (REG_NONE when it is missing) and, for a REG_DWORD, its number.
    DWORD Read(const wchar_t* name, DWORD& value) const {
        DWORD type = REG_NONE, data = 0, size = sizeof(data);
        LONG r = ::RegQueryValueExW(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
        if (r == ERROR_MORE_DATA)
            return type; // a longer value: not a REG_DWORD
        if (r != ERROR_SUCCESS)
            return REG_NONE;
        if (type == REG_DWORD && size == sizeof(data))
            value = data;
        else if (type == REG_DWORD)
            return REG_BINARY; // too short to be a number
        return type;
    }
    void Write(const wchar_t* name, DWORD value) {
        ::RegSetValueExW(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }

private:
    HKEY m_hKey = nullptr;
};

void LoadPageNumbering(const CSettingsKey& key, SPageNumbering& pages) {
    DWORD value = 0;
    if (key.Read(L"FormatSettings", value) == REG_DWORD)
        PageNumberingFromSettings(value, pages);
}

} // namespace

// ---- the frame -----------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CReportWizard, CDialog)
ON_BN_CLICKED(IDC_NEXT, OnNext)
ON_BN_CLICKED(IDC_BACK, OnBack)
ON_BN_CLICKED(IDC_ADVANCED, OnAdvanced)
ON_BN_CLICKED(IDC_CANCEL_WIZARD, OnCancelWizard)
ON_MESSAGE(WM_REPORT_PATH_STATE, OnPathState)
ON_WM_CTLCOLOR()
KV_END_MESSAGE_MAP()

CReportWizard::CReportWizard(UINT templateId) : CDialog(templateId, (HWND) nullptr) {}

CReportWizard::~CReportWizard() {
    // The pages go first (their windows are children of the frame's), then the frame's window.
    m_pFilePage.reset();
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND h = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(h);
    }
    if (m_hBanner)
        ::DeleteObject(m_hBanner);
}

void CReportWizard::InitFrame(CDialog* firstPage) {
    CDialog::OnInitDialog();

    // The banner, stretched to its control.
    HWND banner = GetDlgItem(IDC_BANNER);
    RECT rc = {};
    ::GetClientRect(banner, &rc);
    m_hBanner = (HBITMAP)::LoadImageW(GetResourceHandle(), MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP,
                                      rc.right - rc.left, rc.bottom - rc.top, LR_DEFAULTCOLOR);
    if (m_hBanner) {
        HGDIOBJ old = (HGDIOBJ)::SendMessageW(banner, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)m_hBanner);
        if (old && old != m_hBanner)
            ::DeleteObject(old);
    }

    // The pages, under the banner, keeping their own size.
    m_pFilePage.reset(new CDlgResourcesSecond);
    CDialog* pages[2] = {firstPage, m_pFilePage.get()};
    for (CDialog* page : pages) {
        if (!page)
            continue;
        if (!page->Create(page->m_nIDTemplate, m_hWnd))
            throw std::runtime_error("a page of the report wizard could not be created");
        RECT pr = {};
        ::GetWindowRect(page->m_hWnd, &pr);
        ::SetWindowPos(page->m_hWnd, nullptr, 0, rc.bottom - rc.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_pFilePage->SetFrame(this);
}

BOOL CReportWizard::InitOnePage() {
    InitFrame(nullptr);
    m_pFilePage->ShowWindow(SW_SHOW);
    SetDlgItemText(IDC_NEXT, LoadStr(IDS_BUILD));
    EnableDlgItem(IDC_BACK, FALSE);
    UpdateNextButton();
    GotoDlgCtrl(m_pFilePage->GetDlgItem(IDC_REPORT_PATH));
    return FALSE;
}

// The page's own visibility: the frame may not be on the screen yet.
bool CReportWizard::IsFilePageShown() const {
    return m_pFilePage && m_pFilePage->m_hWnd && (::GetWindowLongW(m_pFilePage->m_hWnd, GWL_STYLE) & WS_VISIBLE);
}

void CReportWizard::UpdateNextButton() {
    // Next is always there on the first page; Build only with a path that may be confirmed, in the
    // wizards that follow the page's state.
    BOOL enable = !IsFilePageShown() || !m_bFollowPathState || m_pFilePage->IsPathAcceptable();
    EnableDlgItem(IDC_NEXT, enable);
}

void CReportWizard::ShowFilePage() {
    if (CDialog* first = FirstPage())
        first->ShowWindow(SW_HIDE);
    m_pFilePage->ShowWindow(SW_SHOW);
    EnableDlgItem(IDC_BACK, TRUE);
    SetDlgItemText(IDC_NEXT, LoadStr(IDS_BUILD));
    UpdateNextButton();
}

void CReportWizard::ShowFirstPage() {
    m_pFilePage->ShowWindow(SW_HIDE);
    if (CDialog* first = FirstPage())
        first->ShowWindow(SW_SHOW);
    EnableDlgItem(IDC_BACK, FALSE);
    SetDlgItemText(IDC_NEXT, LoadStr(IDS_NEXT));
    UpdateNextButton();
}

void CReportWizard::OnNext() {
    HWND next = GetDlgItem(IDC_NEXT);
    if (!::IsWindowEnabled(next))
        return;
    if (FirstPage() && GetDlgItemText(IDC_NEXT) != LoadStr(IDS_BUILD)) {
        if (LeaveFirstPage())
            ShowFilePage();
        return;
    }
    if (Confirm())
        EndDialog(IDOK);
}

// Enter where no button is the default one acts as the wizard's main button.
void CReportWizard::OnOK() { OnNext(); }

void CReportWizard::OnBack() {
    if (FirstPage() && IsFilePageShown())
        ShowFirstPage();
}

void CReportWizard::OnAdvanced() {
    CDlgSettings dlg(&m_pageNumbering);
    dlg.DoModal();
}

void CReportWizard::OnCancelWizard() { EndDialog(IDCANCEL); }

LRESULT CReportWizard::OnPathState(WPARAM, LPARAM) {
    // The page's state is read again rather than taken from the message: a message posted
    // before a later change must not undo it.
    UpdateNextButton();
    return 0;
}

HBRUSH CReportWizard::OnCtlColor(HDC dc, HWND ctl, UINT) {
    if (ctl != GetDlgItem(IDC_BANNER_TEXT))
        return nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    return (HBRUSH)::GetStockObject(HOLLOW_BRUSH);
}

namespace {
// The folder part of a report file's path ("C:\\" for a file in a drive's root); empty when the
// path names no folder (a drive-relative "C:name").
std::wstring ReportFolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return std::wstring();
    std::wstring folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\';
    return folder;
}
// ERROR_SUCCESS when the folder is there (or none is named), else why it cannot take the file.
DWORD FolderError(const std::wstring& folder) {
    if (folder.empty())
        return ERROR_SUCCESS;
    DWORD attr = ::GetFileAttributesW(folder.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) {
        // The folder is a part of the report file's path: its absence is that path's.
        DWORD error = ::GetLastError();
        return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
    }
    return (attr & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_SUCCESS : ERROR_DIRECTORY;
}
// The system's text of an error code, without its line break.
std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}
// A string of the module's table filled like printf.
template <class... Args>
std::wstring FormatResource(UINT id, Args... args) {
    std::wstring format = LoadStr(id);
    std::vector<wchar_t> out(format.size() + 2048);
    int n = _snwprintf(out.data(), out.size() - 1, format.c_str(), args...);
    return n < 0 ? std::wstring(out.data()) : std::wstring(out.data(), n);
}
} // namespace

bool CReportWizard::TakeReportPath() {
    m_pFilePage->ReadPath();
    m_strReportPath = m_pFilePage->GetCompletedPath();
    // The report file is written only at the end of the run: a folder that is not there is said
    // now, with its path and the system's reason, while the path can still be changed.
    const std::wstring folder = ReportFolderOf(m_strReportPath);
    const DWORD error = FolderError(folder);
    if (error != ERROR_SUCCESS) {
        if (!IsFilePageShown())
            ShowFilePage();
        ShowMessage(m_hWnd,
                    FormatResource(IDS_PATH_NO_FOLDER, folder.c_str(), (unsigned)error, SystemErrorText(error).c_str()),
                    LoadStr(IDS_MESSAGE_CAPTION).c_str(), MB_OK | MB_ICONERROR);
        GotoDlgCtrl(m_pFilePage->GetDlgItem(IDC_REPORT_PATH));
        UpdateNextButton();
        return false;
    }
    return true;
}

// ---- the event-log wizard ------------------------------------------------------------------

CDlgEventLog::CDlgEventLog() : CReportWizard(IDD_EVENTLOG) {}

void CDlgEventLog::SetRecordCount(int count) {
    m_nRecordCount = count > 0 ? count : 0;
    m_params.nRangeEnd = (unsigned int)m_nRecordCount;
}

BOOL CDlgEventLog::OnInitDialog() {
    m_pFirstPage.reset(new CDlgEventLogStart);
    InitFrame(m_pFirstPage.get());
    m_pFirstPage->SetComputerName(m_strComputerName);
    m_pFirstPage->SetSelectionPresent(m_nSelectionPresent);
    m_pFirstPage->ShowWindow(SW_SHOW);
    LoadSettings();
    if (!m_nSelectionPresent && m_params.nRecordChoice == 1)
        m_params.nRecordChoice = 0;
    m_params.nRangeStart = 1;
    m_params.nRangeEnd = (unsigned int)m_nRecordCount;
    m_pFirstPage->SetParams(m_params);
    EnableDlgItem(IDC_BACK, FALSE);
    m_pFirstPage->UpdateData(FALSE);
    // The range fields follow the choice that was loaded.
    BOOL range = m_params.nRecordChoice == 2;
    m_pFirstPage->EnableDlgItem(IDC_RANGE_START, range);
    m_pFirstPage->EnableDlgItem(IDC_RANGE_END, range);
    UpdateNextButton();
    return TRUE;
}

bool CDlgEventLog::LeaveFirstPage() {
    if (!m_pFirstPage->UpdateData(TRUE))
        return false; // a range field that is not a number: the page said so
    m_params = m_pFirstPage->GetParams();
    if (m_params.nRecordChoice == 2 &&
        !IsValidRecordRange(m_params.nRangeStart, m_params.nRangeEnd, (unsigned int)m_nRecordCount)) {
        ShowMessage(m_hWnd, LoadStr(IDS_BAD_RANGE), LoadStr(IDS_MESSAGE_CAPTION).c_str(), MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

bool CDlgEventLog::Confirm() {
    if (!m_pFirstPage->UpdateData(TRUE)) {
        ShowFirstPage();
        return false;
    }
    m_params = m_pFirstPage->GetParams();
    if (!TakeReportPath())
        return false;
    SaveSettings();
    return true;
}

void CDlgEventLog::LoadSettings() {
    CSettingsKey key;
    if (!key.Open(kEventLogSettingsKey))
        return;
    DWORD value = 0;
    DWORD type = key.Read(L"ShowDescription", value);
    if (type == REG_DWORD)
        m_params.nShowDescription = value ? 1 : 0;
    else if (type != REG_NONE)
        m_params.nShowDescription = 0;
    value = 0;
    if (key.Read(L"OutputRecord", value) == REG_DWORD && value <= 3)
        m_params.nRecordChoice = (int)value;
    m_pFirstPage->m_nShowDescription = m_params.nShowDescription;
    m_pFirstPage->m_nRecordChoice = m_params.nRecordChoice;
    LoadPageNumbering(key, m_pageNumbering);
}

void CDlgEventLog::SaveSettings() {
    CSettingsKey key;
    if (!key.OpenOrCreate(kEventLogSettingsKey))
        return;
    key.Write(L"ShowDescription", (DWORD)m_params.nShowDescription);
    key.Write(L"OutputRecord", (DWORD)m_params.nRecordChoice);
    key.Write(L"FormatSettings", PageNumberingToSettings(m_pageNumbering));
}

// ---- the board-access wizard ---------------------------------------------------------------

CDlgVarno::CDlgVarno() : CReportWizard(IDD_VARNO) { m_bFollowPathState = false; }

BOOL CDlgVarno::OnInitDialog() {
    m_pFirstPage.reset(new CDlgVarnoStart);
    InitFrame(m_pFirstPage.get());
    m_pFirstPage->ShowWindow(SW_SHOW);
    LoadSettings();
    m_pFirstPage->SetShowAll(m_nShowAll);
    EnableDlgItem(IDC_BACK, FALSE);
    m_pFirstPage->UpdateData(FALSE);
    UpdateNextButton();
    return TRUE;
}

bool CDlgVarno::Confirm() {
    m_pFirstPage->UpdateData(TRUE);
    m_nShowAll = m_pFirstPage->GetShowAll();
    if (!TakeReportPath())
        return false;
    SaveSettings();
    return true;
}

void CDlgVarno::LoadSettings() {
    CSettingsKey key;
    if (!key.Open(kVarnoSettingsKey))
        return;
    DWORD value = 0;
    if (key.Read(L"ShowAll", value) == REG_DWORD)
        m_nShowAll = value ? 1 : 0;
    LoadPageNumbering(key, m_pageNumbering);
}

void CDlgVarno::SaveSettings() {
    CSettingsKey key;
    if (!key.OpenOrCreate(kVarnoSettingsKey))
        return;
    key.Write(L"ShowAll", (DWORD)m_nShowAll);
    key.Write(L"FormatSettings", PageNumberingToSettings(m_pageNumbering));
}

// ---- the passport and resource wizards -----------------------------------------------------

CDlgPassportWS::CDlgPassportWS() : CReportWizard(IDD_PASSPORT_WS) { m_pageNumbering = {1, 0, 0}; }

SPassportDetails CDlgPassportWS::GetDetails() const {
    SPassportDetails d = {m_details[0].c_str(), m_details[1].c_str(), m_details[2].c_str(), m_details[3].c_str(),
                          m_details[4].c_str(), m_details[5].c_str(), m_details[6].c_str()};
    return d;
}

BOOL CDlgPassportWS::OnInitDialog() { return InitOnePage(); }

bool CDlgPassportWS::Confirm() { return TakeReportPath(); }

CDlgResourcesWS::CDlgResourcesWS() : CReportWizard(IDD_RESOURCES_WS) { m_pageNumbering = {1, 0, 0}; }

BOOL CDlgResourcesWS::OnInitDialog() { return InitOnePage(); }

bool CDlgResourcesWS::Confirm() {
    // The resource source reports the integrity-check jobs with their resource lists, and
    // nothing else: the request asks for exactly that.
    for (int& flag : m_filter.nFlags)
        flag = 0;
    m_filter.nFlags[11] = 1;
    m_filter.nFlags[12] = 1;
    return TakeReportPath();
}
