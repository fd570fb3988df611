// The application object: the message loop, idle processing, the registry profile.
#include "kvui/app.h"
#include "kvui/frame.h"
#include "kvui/presenter.h"

namespace KvUi {

static CWinApp* g_pApp = nullptr;

CWinApp* AfxGetApp() { return g_pApp; }
CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

KV_BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
KV_END_MESSAGE_MAP()

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) { return PreTranslateChain(pMsg); }

int CWinApp::Run() {
    LONG idleCount = 0;
    bool idle = true;
    MSG msg;
    for (;;) {
        while (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            // A failed idle pass is reported once and idle processing rests until the next message.
            BOOL more = FALSE;
            if (!CallReporting(L"OnIdle", [&] { more = OnIdle(idleCount++); }) || !more)
                idle = false;
        }
        do {
            BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
            if (r == 0 || r == -1) {
                m_nExitCode = r == 0 ? (int)msg.wParam : -1;
                return ExitInstance();
            }
            if (!TranslateReporting(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            // Mouse moves and timer ticks do not restart the idle processing.
            if (msg.message != WM_MOUSEMOVE && msg.message != WM_NCMOUSEMOVE && msg.message != WM_TIMER &&
                msg.message != WM_PAINT && msg.message != 0x0118 /* caret blink */) {
                idle = true;
                idleCount = 0;
            }
        } while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
}

BOOL CWinApp::OnIdle(LONG lCount) {
    // The first pass brings the command elements of the registered windows (frames, modeless
    // dialogs) up to date.
    if (lCount == 0)
        RunIdleUpdates();
    return lCount < 1;
}

int CWinApp::ExitInstance() { return m_nExitCode; }

// ---- profile -------------------------------------------------------------------------------

void CWinApp::SetRegistryKey(const wchar_t* key) {
    m_strRegistryKey = key ? key : L"";
    if (m_strProfileName.empty())
        m_strProfileName = m_strAppName;
}

std::wstring CWinApp::GetProfileKeyPath() const {
    if (m_strRegistryKey.empty())
        return std::wstring();
    std::wstring path = L"Software\\" + m_strRegistryKey;
    if (!m_strProfileName.empty())
        path += L"\\" + m_strProfileName;
    return path;
}

bool CWinApp::OpenSection(const wchar_t* section, bool create, KvBase::CRegistryKey& key) const {
    std::wstring path = GetProfileKeyPath();
    if (path.empty())
        return false;
    if (section && *section)
        path += std::wstring(L"\\") + section;
    return key.Open(path.c_str(), create, create ? KEY_READ | KEY_WRITE : KEY_READ) == ERROR_SUCCESS;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int nDefault) const {
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    int value = nDefault; // a value of another type keeps the default
    if (OpenSection(section, false, key))
        key.QueryDword(entry, &value, nDefault);
    return (UINT)value;
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int nValue) {
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    return OpenSection(section, true, key) && key.SetDword(entry, (DWORD)nValue) == ERROR_SUCCESS;
}

std::wstring CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* def) const {
    std::wstring result = def ? def : L"";
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    if (OpenSection(section, false, key))
        key.QueryString(entry, result, result);
    return result;
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
    if (!entry)
        return DeleteProfileEntry(section, nullptr);
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    if (!OpenSection(section, true, key))
        return FALSE;
    if (!value) {
        LONG r = key.DeleteValue(entry);
        return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
    }
    return key.SetString(entry, value) == ERROR_SUCCESS;
}

BOOL CWinApp::GetProfileBinary(const wchar_t* section, const wchar_t* entry, std::vector<BYTE>& data) const {
    data.clear();
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    KvBase::SRegistryValue value;
    if (!OpenSection(section, false, key) || key.QueryValue(entry, value) != ERROR_SUCCESS ||
        value.dwType != REG_BINARY)
        return FALSE;
    data = std::move(value.vecData);
    return TRUE;
}

BOOL CWinApp::WriteProfileBinary(const wchar_t* section, const wchar_t* entry, const void* data, UINT size) {
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    if (!OpenSection(section, true, key))
        return FALSE;
    // The key class writes texts and numbers; a block of bytes goes through its handle.
    return ::RegSetValueExW(key.GetHandle(), entry, 0, REG_BINARY, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

BOOL CWinApp::DeleteProfileEntry(const wchar_t* section, const wchar_t* entry) {
    if (entry)
        return WriteProfileString(section, entry, nullptr);
    if (!section || !*section)
        return FALSE; // the profile key itself is never removed this way
    KvBase::CRegistryKey key(HKEY_CURRENT_USER);
    if (!OpenSection(nullptr, false, key))
        return TRUE;
    LONG r = ::RegDeleteTreeW(key.GetHandle(), section);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// ---- message boxes -------------------------------------------------------------------------

int CWinApp::DoMessageBox(const std::wstring& text, UINT type, UINT) {
    HWND owner = ::GetActiveWindow();
    if (!owner && m_pMainWnd)
        owner = m_pMainWnd->m_hWnd;
    return GetPresenter()->MessageBox(owner, text, m_strAppName, type);
}

int AfxMessageBox(const std::wstring& text, UINT type, UINT idHelp) {
    if (CWinApp* app = AfxGetApp())
        return app->DoMessageBox(text, type, idHelp);
    return GetPresenter()->MessageBox(::GetActiveWindow(), text, LoadStr(AFX_IDS_APP_TITLE), type);
}

int AfxMessageBox(UINT idString, UINT type, UINT idHelp) { return AfxMessageBox(LoadStr(idString), type, idHelp); }

int AfxWinMain(HINSTANCE hInstance, int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    app->m_nCmdShow = nCmdShow;
    if (app->m_strAppName.empty())
        app->m_strAppName = LoadStr(AFX_IDS_APP_TITLE);
    if (!app->InitInstance()) {
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd)
            app->m_pMainWnd->DestroyWindow();
        app->m_pMainWnd = nullptr;
        return app->ExitInstance();
    }
    return app->Run();
}

} // namespace KvUi
