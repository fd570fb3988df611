// The application object: construction, start-up checks in their order, the single instance,
// the message loop wrapper, the idle hook and the shutdown in its order.
#include <winsock2.h>

#include "DaVIdevaRez.h"

#include "AboutDlg.h"
#include "AppStoreHost.h"
#include "MainFrm.h"
#include "dlgException.h"
#include "KvProcAddress.h"

#include "resource.h"

#include <valkit.h>

#include <comdef.h>
#include <objbase.h>
#include <ole2.h>

#include <clocale>

UINT g_uInstanceQueryMessage = 0;

const wchar_t* const kMsgDcomSecurity = L"DCOM Security is not initialized correctly. Error = RPC_E_TOO_LATE !\n";
static const wchar_t* const kInstanceMutexName = L"Global\\DaVIdevaRez-7F28861D-DFD4-4ebd-AE16-923A9C16B9FB";

KV_BEGIN_MESSAGE_MAP(CDaVIdevaRezApp, KvUi::CWinApp)
ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
KV_END_MESSAGE_MAP()

CDaVIdevaRezApp::CDaVIdevaRezApp() : m_store(new CStoreHolder) {
    // Every setting starts at its default (the settings table); the profile overrides them.
    ResetSettings();
    // The board's interface library is loaded as soon as the program starts.
    m_board.Load();
}

CDaVIdevaRezApp::~CDaVIdevaRezApp() {
    m_board.Free();
    m_store->Reset();
}

COutsideLibraries* CDaVIdevaRezApp::SetOutsideLibraries(COutsideLibraries* libs) {
    COutsideLibraries* old = m_pOutside;
    m_pOutside = libs ? libs : &m_defaultOutside;
    return old;
}

// ---- the exception report ----------------------------------------------------------------------

void CDaVIdevaRezApp::ReportException() { KvUi::ReportWindowException(L"application"); }

void CDaVIdevaRezApp::ReportExceptionFromWindow() { ReportException(); }

// ---- start-up ----------------------------------------------------------------------------------

BOOL CDaVIdevaRezApp::InitInstance() {
    m_bExitDone = false;
    try {
        // 1. COM errors become EGeneric; structured exceptions are reported and end the process.
        _set_com_error_handler(throw_EGeneric_from_com_error);
        static redirect_structured_exceptions redirect;
        redirect_structured_exceptions::set_reporter(ShowErrorDialog);
        ExtendDebugInformationFromException = 0;
        SaveMiniDumpOnStructuredException = 0;
        SaveMiniDumpOnCppException = 0;
        KvUi::AddExceptionTranslator(TranslateProgramException);
        KvUi::SetErrorDialogHandler(ShowErrorDialog);

        // 2. COM and its security.
        HRESULT hr = ::CoInitialize(nullptr);
        if (SUCCEEDED(hr))
            m_bComInitialized = true;
        if (SUCCEEDED(hr))
            hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        if (FAILED(hr)) {
            KvUi::AfxMessageBox(kMsgDcomSecurity, MB_OK);
            return FALSE;
        }

        // 3. The outside libraries.
        m_pOutside->AttachInventory();
        m_pOutside->AttachStore();
        m_pOutside->AttachFinder();

        // 4. Common controls; the program's own resources.
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_ANIMATE_CLASS | ICC_LINK_CLASS};
        ::InitCommonControlsEx(&icc);
        KvUi::SetResourceHandle(m_hInstance);

        // 5. Sockets.
        WSADATA wsa = {};
        if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
            KvUi::AfxMessageBox(IDS_SOCKETS_FAILED, MB_OK);
            return FALSE;
        }
        m_bSocketsInitialized = true;

        // 6. OLE.
        if (FAILED(::OleInitialize(nullptr))) {
            KvUi::AfxMessageBox(IDS_OLE_INIT_FAILED, MB_OK);
            return FALSE;
        }
        m_bOleInitialized = true;

        const std::wstring caption = KvUi::LoadStr(IDR_MAINFRAME);
        // 7. Administrator rights.
        if (!IsUserAdmin()) {
            KvUi::ShowMessage(nullptr, KvUi::LoadStr(IDS_NOT_ADMIN), caption.c_str(), MB_ICONERROR);
            return FALSE;
        }
        // 8. Joint mode of the host suite and the board.
        if (IsJointModeOn()) {
            KvUi::ShowMessage(nullptr, KvUi::LoadStr(IDS_JOINT_MODE), caption.c_str(), MB_ICONWARNING);
            return FALSE;
        }
        // 9. The board (a warning only).
        m_board.GetInterface();
        if (!m_board.IsBoardPresent())
            KvUi::ShowMessage(nullptr, KvUi::LoadStr(IDS_NO_BOARD), caption.c_str(), MB_ICONWARNING);
        // 10. The physical disks (a warning only).
        if (!CheckDisks())
            KvUi::ShowMessage(nullptr, KvUi::LoadStr(IDS_DISKS_NOT_RECOGNISED), caption.c_str(), MB_ICONWARNING);

        // 11. Locale.
        _wsetlocale(LC_ALL, L"Russian");

        // 12. The store provider.
        if (!CreateProvider())
            ResetProvider();

        // 13, 14. Registry key and profile; the application's name becomes the boxes' caption.
        SetRegistryKey(L"Meridal\\Varno\\Client");
        m_strAppName = caption;
        m_strProfileName = L"DaVIdevaRez\\LocalMode";

        // 15. Settings.
        LoadSettings();

        // 16. One instance.
        if (CheckSingleInstance())
            return FALSE;

        // 17. The main window; load and save of the model reach the application through it.
        static CAppModelStoreHost storeHost;
        SetModelStoreHost(&storeHost);
        CMainFrame* frame = new CMainFrame;
        m_pMainWnd = frame;
        if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | KvUi::FWS_ADDTOTITLE)) {
            if (!frame->m_hWnd)
                delete frame;
            m_pMainWnd = nullptr;
            return FALSE;
        }
        // 18. Icons, show.
        HICON big = (HICON)::LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED);
        HICON small = (HICON)::LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON,
                                          ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
        frame->SendMessage(WM_SETICON, ICON_BIG, (LPARAM)big);
        frame->SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)small);
        // The place and the bars of the last run, then shown with the start's show command.
        frame->ShowWindow(frame->LoadWorkspace(CMainFrame::kWorkspaceSection, m_nCmdShow));
        frame->UpdateWindow();
        return TRUE;
    } catch (...) {
        ReportException();
        return FALSE;
    }
}

int CDaVIdevaRezApp::Run() {
    try {
        return KvUi::CWinApp::Run();
    } catch (...) {
        ReportException();
    }
    // The loop ended by an exception: the shutdown steps run all the same, so the settings are
    // saved and the provider released.
    if (!m_bExitDone)
        ExitInstance();
    return -1;
}

BOOL CDaVIdevaRezApp::OnIdle(LONG lCount) {
    BOOL more = KvUi::CWinApp::OnIdle(lCount);
    if (lCount > 0) {
        // Lets an MSXML that nothing uses any more go.
        if (HMODULE msxml = ::GetModuleHandleW(L"msxml3.dll")) {
            typedef HRESULT(__stdcall * PFN_DllCanUnloadNow)();
            if (auto fn = KvGetProcAddress<PFN_DllCanUnloadNow>(msxml, "DllCanUnloadNow"))
                fn();
        }
    }
    return more;
}

int CDaVIdevaRezApp::ExitInstance() {
    m_bExitDone = true;
    try {
        if (m_hInstanceMutex)
            SaveSettings();
        ResetProvider();
        m_pOutside->DestroyProvider();
        m_pOutside->DetachStore();
        m_pOutside->DetachFinder();
        m_pOutside->DetachInventory();
        if (m_hInstanceMutex) {
            ::CloseHandle(m_hInstanceMutex);
            m_hInstanceMutex = nullptr;
        }
        if (m_bOleInitialized) {
            ::OleUninitialize();
            m_bOleInitialized = false;
        }
        if (m_bSocketsInitialized) {
            ::WSACleanup();
            m_bSocketsInitialized = false;
        }
        if (m_bComInitialized) {
            ::CoUninitialize();
            m_bComInitialized = false;
        }
    } catch (...) {
        ReportException();
    }
    return KvUi::CWinApp::ExitInstance();
}

// ---- checks --------------------------------------------------------------------------------------

int CDaVIdevaRezApp::IsUserAdmin() { return m_pOutside->IsUserAdmin(); }

int CDaVIdevaRezApp::IsJointModeOn() { return QueryJointMode(); }

int CDaVIdevaRezApp::CheckDisks() { return m_pOutside->CheckDisks(); }

int CDaVIdevaRezApp::CreateProvider() {
    if (!m_store->Empty())
        return 0;
    m_pOutside->CreateProvider(*m_store);
    return 1;
}

void CDaVIdevaRezApp::ResetProvider() { m_store->Reset(); }

namespace {
struct InstanceSearch {
    UINT message;
    HWND found;
};

BOOL CALLBACK FindInstanceWindow(HWND h, LPARAM lp) {
    InstanceSearch* s = reinterpret_cast<InstanceSearch*>(lp);
    DWORD_PTR reply = 0;
    if (::SendMessageTimeoutW(h, s->message, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 300, &reply) && reply == s->message) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}
} // namespace

int CDaVIdevaRezApp::CheckSingleInstance() {
    if (m_hInstanceMutex)
        return 0;
    g_uInstanceQueryMessage = ::RegisterWindowMessageW(L"_VrnICheck_");
    HANDLE h = ::CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    DWORD error = ::GetLastError();
    if (!h && error != ERROR_ACCESS_DENIED) {
        // Without the mutex nothing keeps a second instance out: say so rather than run unguarded.
        KvUi::AfxMessageBox(format_wstring(KvUi::LoadStr(IDS_NO_INSTANCE_MUTEX).c_str(), (unsigned)error),
                            MB_ICONERROR);
        return 1;
    }
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) {
        m_hInstanceMutex = h;
        return 0;
    }
    // Another instance runs. This start writes no settings back: the handle is not kept.
    if (h)
        ::CloseHandle(h);
    // Its main window answers the registered message with the message's own value; a window that
    // hangs is skipped after 300 ms.
    InstanceSearch search = {g_uInstanceQueryMessage, nullptr};
    ::EnumWindows(FindInstanceWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        ::SetForegroundWindow(search.found);
        if (::IsIconic(search.found))
            ::ShowWindow(search.found, SW_RESTORE);
    } else {
        KvUi::AfxMessageBox(KvUi::LoadStr(IDS_ALREADY_RUNNING), MB_ICONERROR);
    }
    return 1;
}

void CDaVIdevaRezApp::OnAppAbout() {
    CAboutDlg dlg;
    dlg.DoModal();
}
