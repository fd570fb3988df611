// The model and object exchange dialogs.
#include "ExchangeDialogs.h"

#include "DaVIdevaRez.h"
#include "ModelFileScan.h"

#include "resource.h"
#include "toolcmds_ids.h"

#include <valkit.h>

#include <commctrl.h>
#include <io.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace {
const UINT_PTR kScanTimer = 1;
const UINT kScanDelayMs = 350; // the scan waits for typing to pause this long
const int kMaxPath = 260;

std::wstring KindSuffix(int kind) {
    switch (kind) {
    case 1:
        return KvUi::LoadStr(IDS_EXCH_KIND_RESOURCES);
    case 3:
        return KvUi::LoadStr(IDS_EXCH_KIND_GROUPS);
    case 5:
        return KvUi::LoadStr(IDS_EXCH_KIND_TASKS);
    case 7:
        return KvUi::LoadStr(IDS_EXCH_KIND_JOBS);
    case 9:
        return KvUi::LoadStr(IDS_EXCH_KIND_SUBJECTS);
    }
    return std::wstring();
}

std::wstring SystemErrorText(DWORD code) {
    std::wstring text;
    theApp.GetErrorText(code, text);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

} // namespace

std::wstring DocumentsFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PERSONAL, FALSE))
        ::GetCurrentDirectoryW(MAX_PATH, buffer);
    std::wstring folder = buffer;
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

// ---- the common part --------------------------------------------------------------------------------

CExchangeDialog::CExchangeDialog(UINT templateId, HWND parent, std::wstring& rememberedFolder, int pathId)
    : KvUi::CDialog(templateId, parent), m_folder(rememberedFolder), m_nPathId(pathId) {
    if (m_folder.empty())
        m_folder = DocumentsFolder();
    if (m_folder.back() != L'\\')
        m_folder += L'\\';
    m_strFileName = m_folder + L"Noname.xml";
}

void CExchangeDialog::OnPathChange() {
    std::wstring path = GetDlgItemTextFilteredString(m_hWnd, m_nPathId, kMaxPath, PathEditFilter);
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    m_strFileName = path;
    UpdateOk();
}

void CExchangeDialog::Browse(bool save, UINT titleId, UINT filterId) {
    KvUi::FilePick pick;
    pick.save = save;
    pick.title = KvUi::LoadStr(titleId);
    pick.filter = KvUi::LoadStr(filterId); // its pieces and their nulls as the table holds them
    pick.defaultExtension = L"xml";
    // The picker opens on the current path, in the remembered folder. An export asks about an
    // existing file itself when OK is pressed, so the picker does not ask too.
    pick.initialPath = m_strFileName;
    pick.initialFolder = m_folder;
    pick.overwritePrompt = false;
    std::vector<std::wstring> paths;
    if (KvUi::GetPresenter()->PickFiles(m_hWnd, pick, paths) && !paths.empty())
        SetDlgItemText(m_nPathId, paths.front());
}

void CExchangeDialog::RememberFolder() {
    size_t slash = m_strFileName.rfind(L'\\');
    m_folder = slash == std::wstring::npos ? std::wstring() : m_strFileName.substr(0, slash + 1);
}

std::wstring PlaceExportPath(const std::wstring& p) {
    bool relative = p.size() == 1 || (p.size() > 1 && p[1] != L':' && !(p[0] == L'\\' && p[1] == L'\\'));
    return relative ? DocumentsFolder() + p : p;
}

bool CExchangeDialog::CheckExportPath() {
    std::wstring& p = m_strFileName;
    p = PlaceExportPath(p);
    if (theApp.IsFileExist(p.c_str())) {
        if (MessageBox(format_wstring(KvUi::LoadStr(IDS_EXCH_FILE_EXISTS).c_str(), p.c_str()), nullptr,
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        // The old file stays until the new one is complete; here it is only made sure that it can
        // be replaced then.
        DWORD attributes = ::GetFileAttributesW(p.c_str());
        HANDLE h = INVALID_HANDLE_VALUE;
        DWORD e = ERROR_ACCESS_DENIED;
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
            h = ::CreateFileW(p.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE)
                e = ::GetLastError();
        }
        if (h == INVALID_HANDLE_VALUE) {
            MessageBox(format_wstring(KvUi::LoadStr(IDS_EXCH_CANNOT_REPLACE).c_str(), SystemErrorText(e).c_str()),
                       nullptr, MB_ICONEXCLAMATION);
            return false;
        }
        ::CloseHandle(h);
    }
    RememberFolder();
    return true;
}

void CExchangeDialog::SetKindCaption(const std::wstring& base, int kind) { SetWindowText(base + KindSuffix(kind)); }

// ---- dlgExportModel -----------------------------------------------------------------------------------

std::wstring dlgExportModel::s_folder;

dlgExportModel::dlgExportModel(HWND parent) : CExchangeDialog(IDD_EXPORT_MODEL, parent, s_folder, IDC_EXPORT_PATH) {}

BOOL dlgExportModel::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetDlgItemText(m_nPathId, m_strFileName);
    UpdateOk();
    return TRUE;
}

KV_BEGIN_MESSAGE_MAP(dlgExportModel, CExchangeDialog)
ON_CONTROL(EN_CHANGE, IDC_EXPORT_PATH, OnPathChange)
ON_BN_CLICKED(IDC_EXPORT_BROWSE, OnBrowse)
KV_END_MESSAGE_MAP()

void dlgExportModel::OnBrowse() { Browse(true, IDS_EXCH_TITLE_EXPORT, IDS_EXCH_FILTER_BOTH); }

void dlgExportModel::UpdateOk() { EnableDlgItem(IDOK, !m_strFileName.empty()); }

void dlgExportModel::OnOK() {
    if (m_strFileName.empty() || !CheckExportPath())
        return;
    EndDialog(IDOK);
}

// ---- dlgExportNodes -----------------------------------------------------------------------------------

std::wstring dlgExportNodes::s_folder;

dlgExportNodes::dlgExportNodes(HWND parent, int kind, int all)
    : CExchangeDialog(IDD_EXPORT_NODES, parent, s_folder, IDC_EXPORT_NODES_PATH), m_nKind(kind), m_bAll(all) {}

BOOL dlgExportNodes::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetKindCaption(m_bAll ? KvUi::LoadStr(IDS_EXCH_EXPORT_ALL) : GetWindowText(), m_nKind);
    CheckDlgItem(IDC_EXPORT_NODES_NOSUB, FALSE);
    if (m_nKind == 1)
        ShowDlgItem(IDC_EXPORT_NODES_NOSUB, FALSE);
    SetDlgItemText(m_nPathId, m_strFileName);
    UpdateOk();
    return TRUE;
}

KV_BEGIN_MESSAGE_MAP(dlgExportNodes, CExchangeDialog)
ON_CONTROL(EN_CHANGE, IDC_EXPORT_NODES_PATH, OnPathChange)
ON_BN_CLICKED(IDC_EXPORT_NODES_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_EXPORT_NODES_NOSUB, OnNoSubordinates)
KV_END_MESSAGE_MAP()

void dlgExportNodes::OnBrowse() { Browse(true, IDS_EXCH_TITLE_EXPORT, IDS_EXCH_FILTER_MODEL); }

void dlgExportNodes::OnNoSubordinates() { m_bWithSubordinates = IsDlgItemChecked(IDC_EXPORT_NODES_NOSUB) ? 0 : 1; }

void dlgExportNodes::UpdateOk() { EnableDlgItem(IDOK, !m_strFileName.empty()); }

void dlgExportNodes::OnOK() {
    if (m_strFileName.empty() || !CheckExportPath())
        return;
    EndDialog(IDOK);
}

// ---- dlgImportNodes -----------------------------------------------------------------------------------

std::wstring dlgImportNodes::s_folder;

dlgImportNodes::dlgImportNodes(HWND parent, int kind)
    : CExchangeDialog(IDD_IMPORT_NODES, parent, s_folder, IDC_IMPORT_NODES_PATH), m_nKind(kind) {}

BOOL dlgImportNodes::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetKindCaption(GetWindowText(), m_nKind == 1 ? 0 : m_nKind);
    CheckDlgItem(IDC_IMPORT_NODES_NOSUB, FALSE);
    SetDlgItemText(m_nPathId, m_strFileName);
    UpdateOk();
    return TRUE;
}

KV_BEGIN_MESSAGE_MAP(dlgImportNodes, CExchangeDialog)
ON_CONTROL(EN_CHANGE, IDC_IMPORT_NODES_PATH, OnPathChange)
ON_BN_CLICKED(IDC_IMPORT_NODES_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_IMPORT_NODES_NOSUB, OnNoSubordinates)
KV_END_MESSAGE_MAP()

void dlgImportNodes::OnBrowse() { Browse(false, IDS_EXCH_TITLE_IMPORT, IDS_EXCH_FILTER_BOTH); }

void dlgImportNodes::OnNoSubordinates() { m_bWithSubordinates = IsDlgItemChecked(IDC_IMPORT_NODES_NOSUB) ? 0 : 1; }

void dlgImportNodes::UpdateOk() {
    EnableDlgItem(IDOK, !m_strFileName.empty() && _waccess(m_strFileName.c_str(), 4) == 0);
}

void dlgImportNodes::OnOK() {
    if (m_strFileName.empty() || _waccess(m_strFileName.c_str(), 4) != 0)
        return;
    RememberFolder();
    EndDialog(IDOK);
}

// ---- dlgImportModel -----------------------------------------------------------------------------------

std::wstring dlgImportModel::s_folder;

dlgImportModel::dlgImportModel(HWND parent)
    : CExchangeDialog(IDD_IMPORT_MODEL, parent, s_folder, IDC_IMPORT_PATH),
      m_bClearModel(theApp.m_bUpdatePresent ? 0 : 1), m_bMergeExisting(theApp.m_bUpdatePresent) {}

BOOL dlgImportModel::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    ::CheckRadioButton(m_hWnd, IDC_IMPORT_CLEAR, IDC_IMPORT_ADD, m_bClearModel ? IDC_IMPORT_CLEAR : IDC_IMPORT_ADD);
    CheckDlgItem(IDC_IMPORT_EXISTING, m_bMergeExisting);
    EnableDlgItem(IDC_IMPORT_EXISTING, !m_bClearModel);
    SetDlgItemText(m_nPathId, m_strFileName);
    FlushPrescan(); // the starting path is not typed: it is looked at once
    return TRUE;
}

KV_BEGIN_MESSAGE_MAP(dlgImportModel, CExchangeDialog)
ON_CONTROL(EN_CHANGE, IDC_IMPORT_PATH, OnPathChange)
ON_BN_CLICKED(IDC_IMPORT_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_IMPORT_CLEAR, OnClear)
ON_BN_CLICKED(IDC_IMPORT_ADD, OnAdd)
ON_BN_CLICKED(IDC_IMPORT_TASKS, OnTasks)
ON_BN_CLICKED(IDC_IMPORT_GROUPS, OnGroups)
ON_BN_CLICKED(IDC_IMPORT_RESOURCES, OnResources)
ON_WM_TIMER()
KV_END_MESSAGE_MAP()

void dlgImportModel::OnBrowse() {
    Browse(false, IDS_EXCH_TITLE_IMPORT, IDS_EXCH_FILTER_BOTH);
    FlushPrescan();
}

void dlgImportModel::OnClear() { EnableDlgItem(IDC_IMPORT_EXISTING, FALSE); }

void dlgImportModel::OnAdd() {
    EnableDlgItem(IDC_IMPORT_EXISTING, TRUE);
    UpdateOk();
}

void dlgImportModel::OnTasks() {
    m_bTasks = IsDlgItemChecked(IDC_IMPORT_TASKS);
    UpdateOk();
}

void dlgImportModel::OnGroups() {
    m_bGroups = IsDlgItemChecked(IDC_IMPORT_GROUPS);
    UpdateOk();
}

void dlgImportModel::OnResources() {
    m_bResources = IsDlgItemChecked(IDC_IMPORT_RESOURCES);
    UpdateOk();
}

void dlgImportModel::OnPathChange() {
    CExchangeDialog::OnPathChange();
    // Until the typing pauses, the file counts as not read: categories and OK stay grey.
    m_bFileValid = 0;
    for (int id : {IDC_IMPORT_TASKS, IDC_IMPORT_GROUPS, IDC_IMPORT_RESOURCES})
        EnableDlgItem(id, FALSE);
    EnableDlgItem(IDOK, FALSE);
    m_bScanPending = true;
    ::SetTimer(m_hWnd, kScanTimer, kScanDelayMs, nullptr);
}

void dlgImportModel::OnTimer(UINT_PTR id) {
    if (id == kScanTimer)
        FlushPrescan();
    else
        Default();
}

void dlgImportModel::FlushPrescan() {
    ::KillTimer(m_hWnd, kScanTimer);
    m_bScanPending = false;
    Prescan();
}

void dlgImportModel::Prescan() {
    KvUi::CWaitCursor wait;
    for (int id : {IDC_IMPORT_TASKS, IDC_IMPORT_GROUPS, IDC_IMPORT_RESOURCES})
        EnableDlgItem(id, FALSE);
    m_bFileValid = 0;
    if (!m_strFileName.empty()) {
        ++m_nScans;
        SModelFileScan scan = ScanModelFile(m_strFileName);
        if (scan.valid) {
            m_nVersion = scan.version;
            EnableDlgItem(IDC_IMPORT_RESOURCES, scan.resources);
            EnableDlgItem(IDC_IMPORT_GROUPS, scan.groups);
            EnableDlgItem(IDC_IMPORT_TASKS, scan.tasks);
            m_bTasks = m_bGroups = m_bResources = 1;
            m_bFileValid = 1;
        }
    }
    UpdateOk();
}

void dlgImportModel::UpdateOk() {
    struct Box {
        int id;
        int* flag;
    } boxes[] = {{IDC_IMPORT_TASKS, &m_bTasks}, {IDC_IMPORT_GROUPS, &m_bGroups}, {IDC_IMPORT_RESOURCES, &m_bResources}};
    for (Box& b : boxes) {
        if (!::IsWindowEnabled(GetDlgItem(b.id)))
            *b.flag = 0;
        CheckDlgItem(b.id, *b.flag);
    }
    EnableDlgItem(IDOK, !m_bScanPending && m_bFileValid && (m_bTasks || m_bGroups || m_bResources));
}

void dlgImportModel::OnOK() {
    if (m_bScanPending)
        FlushPrescan();
    if (!m_bFileValid || !(m_bTasks || m_bGroups || m_bResources))
        return;
    m_bClearModel = IsDlgItemChecked(IDC_IMPORT_CLEAR) ? 1 : 0;
    m_bMergeExisting = m_bClearModel ? 0 : (IsDlgItemChecked(IDC_IMPORT_EXISTING) ? 1 : 0);
    RememberFolder();
    EndDialog(IDOK);
}

// ---- dlgImportResources -------------------------------------------------------------------------------

namespace {
const ULONGLONG kOneDay = 864000000000ULL; // in units of 100 ns

ULONGLONG ToUnits(const FILETIME& ft) { return ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }
FILETIME FromUnits(ULONGLONG v) { return FILETIME{(DWORD)v, (DWORD)(v >> 32)}; }

// The moment of a date picker's day and a time picker's hours, minutes and seconds (local time) as
// a UTC file time; false when a picker holds no time.
bool PickedMoment(HWND date, HWND time, FILETIME& out) {
    SYSTEMTIME d = {}, t = {};
    if (::SendMessageW(date, DTM_GETSYSTEMTIME, 0, (LPARAM)&d) != GDT_VALID ||
        ::SendMessageW(time, DTM_GETSYSTEMTIME, 0, (LPARAM)&t) != GDT_VALID)
        return false;
    d.wHour = t.wHour;
    d.wMinute = t.wMinute;
    d.wSecond = t.wSecond;
    d.wMilliseconds = 0;
    SYSTEMTIME utc;
    return ::TzSpecificLocalTimeToSystemTime(nullptr, &d, &utc) && ::SystemTimeToFileTime(&utc, &out);
}
} // namespace

std::wstring dlgImportResources::s_folder;

dlgImportResources::dlgImportResources(HWND parent, int fileOffered, int logOffered)
    : CExchangeDialog(IDD_IMPORT_RESOURCES, parent, s_folder, IDC_IMPRES_PATH), m_bFileOffered(fileOffered),
      m_bLogOffered(logOffered) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_DATE_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
}

BOOL dlgImportResources::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    if (!m_bFileOffered && m_bLogOffered)
        SetWindowText(KvUi::LoadStr(IDS_EXCH_LOG_CAPTION));
    m_nMethod = m_bFileOffered ? 0 : 1;
    HWND methods = GetDlgItem(IDC_IMPRES_METHOD);
    if (m_bFileOffered)
        ::SendMessageW(methods, CB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(IDS_EXCH_FROM_FILE).c_str());
    if (m_bLogOffered)
        ::SendMessageW(methods, CB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(IDS_EXCH_FROM_LOG).c_str());
    ::SendMessageW(methods, CB_SETCURSEL, 0, 0);
    EnableDlgItem(IDC_IMPRES_METHOD, m_bLogOffered);
    ShowDlgItem(IDC_IMPRES_PROGRESS, FALSE);
    SetDlgItemText(m_nPathId, m_strFileName);

    // The period: from this moment a day ago (whole minutes) to this moment (whole seconds).
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    now.wMilliseconds = 0;
    FILETIME ft;
    ::SystemTimeToFileTime(&now, &ft);
    SYSTEMTIME before;
    FILETIME earlier = FromUnits(ToUnits(ft) - kOneDay);
    ::FileTimeToSystemTime(&earlier, &before);
    before.wSecond = 0;
    before.wMilliseconds = 0;
    ::SendMessageW(GetDlgItem(IDC_IMPRES_FROM_DATE), DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&before);
    ::SendMessageW(GetDlgItem(IDC_IMPRES_FROM_TIME), DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&before);
    ::SendMessageW(GetDlgItem(IDC_IMPRES_TO_DATE), DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&now);
    ::SendMessageW(GetDlgItem(IDC_IMPRES_TO_TIME), DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&now);

    if (m_nMethod == 0 && !m_bLogOffered)
        FitFileOnly();
    OnMethodChange();
    return TRUE;
}

void dlgImportResources::FitFileOnly() {
    HWND box = GetDlgItem(IDC_IMPRES_FILTER);
    HWND ok = GetDlgItem(IDOK);
    for (HWND h = box; h && h != ok; h = ::GetWindow(h, GW_HWNDNEXT))
        ::ShowWindow(h, SW_HIDE);
    // The buttons keep their horizontal places and stand where the group box stood, its left
    // margin below the path.
    RECT boxRect;
    ::GetWindowRect(box, &boxRect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&boxRect), 2);
    RECT margin = {0, 0, 7, 7};
    ::MapDialogRect(m_hWnd, &margin);
    int bottom = 0;
    for (int id : {IDOK, IDCANCEL}) {
        HWND b = GetDlgItem(id);
        RECT r;
        ::GetWindowRect(b, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        ::SetWindowPos(b, nullptr, r.left, boxRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        bottom = boxRect.top + (r.bottom - r.top);
    }
    // The window ends a margin below the buttons.
    RECT client, window;
    ::GetClientRect(m_hWnd, &client);
    ::GetWindowRect(m_hWnd, &window);
    const int cut = client.bottom - (bottom + margin.bottom);
    if (cut > 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - cut,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void dlgImportResources::OnMethodChange() {
    int selected = (int)::SendMessageW(GetDlgItem(IDC_IMPRES_METHOD), CB_GETCURSEL, 0, 0);
    if (selected < 0)
        selected = 0;
    m_nMethod = selected + (m_bFileOffered ? 0 : 1);
    const BOOL file = m_nMethod == 0, log = m_nMethod == 1;
    EnableDlgItem(IDC_IMPRES_PATH, file);
    EnableDlgItem(IDC_IMPRES_BROWSE, file);
    for (int id : {IDC_IMPRES_FROM_DATE, IDC_IMPRES_FROM_TIME, IDC_IMPRES_TO_DATE, IDC_IMPRES_TO_TIME, IDC_IMPRES_USER,
                   IDC_IMPRES_FIND})
        EnableDlgItem(id, log);
    HWND users = GetDlgItem(IDC_IMPRES_USER);
    ::SendMessageW(users, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(users, CB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(IDS_EXCH_ALL_USERS).c_str());
    ::SendMessageW(users, CB_SETCURSEL, 0, 0);
    if (m_bLogOffered)
        ShowDlgItem(IDC_IMPRES_FIND);
    UpdateOk();
}

void dlgImportResources::OnFindUsers() {
    // No list of the log's users is read here: the progress bar stands in the button's place for
    // the moment of the search, then the button is back ("Все" stays the only entry).
    ShowDlgItem(IDC_IMPRES_FIND, FALSE);
    {
        KvUi::CWaitCursor wait;
        ShowDlgItem(IDC_IMPRES_PROGRESS);
        ::UpdateWindow(GetDlgItem(IDC_IMPRES_PROGRESS));
        ShowDlgItem(IDC_IMPRES_PROGRESS, FALSE);
    }
    ShowDlgItem(IDC_IMPRES_FIND);
}

KV_BEGIN_MESSAGE_MAP(dlgImportResources, CExchangeDialog)
ON_CONTROL(EN_CHANGE, IDC_IMPRES_PATH, OnPathChange)
ON_CONTROL(CBN_SELCHANGE, IDC_IMPRES_METHOD, OnMethodChange)
ON_BN_CLICKED(IDC_IMPRES_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_IMPRES_FIND, OnFindUsers)
ON_NOTIFY(DTN_DATETIMECHANGE, IDC_IMPRES_FROM_DATE, OnPeriodChange)
ON_NOTIFY(DTN_DATETIMECHANGE, IDC_IMPRES_FROM_TIME, OnPeriodChange)
ON_NOTIFY(DTN_DATETIMECHANGE, IDC_IMPRES_TO_DATE, OnPeriodChange)
ON_NOTIFY(DTN_DATETIMECHANGE, IDC_IMPRES_TO_TIME, OnPeriodChange)
KV_END_MESSAGE_MAP()

void dlgImportResources::OnBrowse() { Browse(false, IDS_EXCH_TITLE_IMPORT, IDS_EXCH_FILTER_BOTH); }

void dlgImportResources::OnPeriodChange(NMHDR*, LRESULT* pResult) {
    UpdateOk();
    *pResult = 0;
}

bool dlgImportResources::IsValid() {
    if (m_nMethod == 1) {
        FILETIME start, end;
        if (!PickedMoment(GetDlgItem(IDC_IMPRES_FROM_DATE), GetDlgItem(IDC_IMPRES_FROM_TIME), start) ||
            !PickedMoment(GetDlgItem(IDC_IMPRES_TO_DATE), GetDlgItem(IDC_IMPRES_TO_TIME), end))
            return false;
        m_ftStart = start;
        m_ftEnd = end;
        return ToUnits(start) < ToUnits(end);
    }
    return !m_strFileName.empty() && _waccess(m_strFileName.c_str(), 4) == 0;
}

void dlgImportResources::UpdateOk() { EnableDlgItem(IDOK, IsValid()); }

void dlgImportResources::OnOK() {
    if (!IsValid())
        return;
    RememberFolder();
    wchar_t user[256] = {};
    HWND users = GetDlgItem(IDC_IMPRES_USER);
    int selected = (int)::SendMessageW(users, CB_GETCURSEL, 0, 0);
    if (selected >= 0 && ::SendMessageW(users, CB_GETLBTEXTLEN, selected, 0) < 256)
        ::SendMessageW(users, CB_GETLBTEXT, selected, (LPARAM)user);
    m_strUser = KvUi::LoadStr(IDS_EXCH_ALL_USERS) == user ? L"" : user;
    EndDialog(IDOK);
}
