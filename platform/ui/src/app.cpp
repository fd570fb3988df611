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

HKEY CWinApp::OpenSectionKey(const wchar_t* section, bool create) const {
    std::wstring path = GetProfileKeyPath();
    if (path.empty())
        return nullptr;
    if (section && *section)
        path += std::wstring(L"\\") + section;
    HKEY h = nullptr;
    LONG r = create ? ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                        &h, nullptr)
                    : ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &h);
    return r == ERROR_SUCCESS ? h : nullptr;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int nDefault) const {
    HKEY h = OpenSectionKey(section, false);
    if (!h)
        return (UINT)nDefault;
    DWORD value = 0, type = 0, size = sizeof(value);
    LONG r = ::RegQueryValueExW(h, entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(h);
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value))
        return (UINT)nDefault;
    return value;
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int nValue) {
    HKEY h = OpenSectionKey(section, true);
    if (!h)
        return FALSE;
    DWORD value = (DWORD)nValue;
    LONG r = ::RegSetValueExW(h, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    ::RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

std::wstring CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* def) const {
    std::wstring result = def ? def : L"";
    HKEY h = OpenSectionKey(section, false);
    if (!h)
        return result;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(h, entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
        size = (DWORD)(buf.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(h, entry, nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &size) == ERROR_SUCCESS) {
            buf.resize(size / sizeof(wchar_t));
            while (!buf.empty() && buf.back() == L'\0')
                buf.pop_back();
            result = buf;
        }
    }
    ::RegCloseKey(h);
    return result;
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
    if (!entry)
        return DeleteProfileEntry(section, nullptr);
    HKEY h = OpenSectionKey(section, true);
    if (!h)
        return FALSE;
    LONG r;
    if (!value) {
        r = ::RegDeleteValueW(h, entry);
        if (r == ERROR_FILE_NOT_FOUND)
            r = ERROR_SUCCESS;
    } else {
        r = ::RegSetValueExW(h, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    ::RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

BOOL CWinApp::GetProfileBinary(const wchar_t* section, const wchar_t* entry, std::vector<BYTE>& data) const {
    data.clear();
    HKEY h = OpenSectionKey(section, false);
    if (!h)
        return FALSE;
    DWORD type = 0, size = 0;
    BOOL ok = FALSE;
    if (::RegQueryValueExW(h, entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        data.resize(size);
        ok = ::RegQueryValueExW(h, entry, nullptr, &type, data.empty() ? nullptr : data.data(), &size) == ERROR_SUCCESS;
        data.resize(ok ? size : 0);
    }
    ::RegCloseKey(h);
    return ok;
}

BOOL CWinApp::WriteProfileBinary(const wchar_t* section, const wchar_t* entry, const void* data, UINT size) {
    HKEY h = OpenSectionKey(section, true);
    if (!h)
        return FALSE;
    LONG r = ::RegSetValueExW(h, entry, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

BOOL CWinApp::DeleteProfileEntry(const wchar_t* section, const wchar_t* entry) {
    if (entry)
        return WriteProfileString(section, entry, nullptr);
    if (!section || !*section)
        return FALSE;   // the profile key itself is never removed this way
    HKEY h = OpenSectionKey(nullptr, false);
    if (!h)
        return TRUE;
    LONG r = ::RegDeleteTreeW(h, section);
    ::RegCloseKey(h);
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
