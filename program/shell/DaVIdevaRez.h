// The application object of VICheck64: start-up checks, the outside libraries, the single
// instance, the settings kept in the profile and the services the rest of the program calls.
#pragma once

#include "BoardLibraries.h"
#include "OutsideLibraries.h"
#include "StoreHolder.h"

#include <Kernel32Wrapper.h>

#include <kvui/kvui.h>

#include <memory>
#include <string>

class CDriveAnswers;

class CDaVIdevaRezApp : public KvUi::CWinApp {
public:
    CDaVIdevaRezApp();
    ~CDaVIdevaRezApp() override;

    // ---- settings (loaded at start-up, saved at exit) ----
    // Each member is named by one row of the settings table (AppSettingsTable below) with its
    // type, default and profile value: load, save, reset and the settings dialog go through it.
    int m_nConfirmation;
    COLORREF m_clrFace;
    COLORREF m_clrBkg;
    COLORREF m_clrUniqFace;
    COLORREF m_clrUniqBkg;
    COLORREF m_clrAltFace;
    COLORREF m_clrAltBkg;
    COLORREF m_clrNonExistentFace;
    COLORREF m_clrNonExistentBkg;
    int m_bGrid;
    int m_nDepDlg;
    int m_nClearExeDep;
    std::wstring m_strExeExtensions;
    int m_bAddDepends;
    int m_nPrecalcDlg;
    int m_nCENotSupport;
    int m_nCEBlocked;
    int m_nCENotFound;
    int m_nCEDouble;
    int m_bUpdatePresent;
    int m_bExeByExten;
    int m_bIsAutoNatify;

    // ---- start-up and shutdown ----
    BOOL InitInstance() override;
    int Run() override;
    BOOL OnIdle(LONG lCount) override;
    int ExitInstance() override;

    int IsUserAdmin();
    int IsJointModeOn();
    int CheckDisks();
    int CreateProvider();
    void ResetProvider();
    int CheckSingleInstance();

    // Every setting from the profile; a missing or mistyped value gets the setting's default.
    int LoadSettings();
    // Every stored setting to the profile; 0 when a value could not be written.
    int SaveSettings();
    // Every setting to its default (the start-up state; tests begin from it).
    void ResetSettings();
    // The default of each colour setting (index in the settings' order, 0 to 7).
    static COLORREF DefaultColor(int index);
    // The current colour of a list colour class (1 to 8; 0 for another index).
    COLORREF GetListColor(int index) const;

    // ---- services ----
    std::wstring GetStoreFolder();
    std::wstring GetOsDescription();
    int IsFileExist(const wchar_t* path);
    void GetErrorText(DWORD code, std::wstring& text);
    DWORD GetComputerAccount(std::wstring& account, PSID sidBuffer);
    int GetCurrentUserSid(PSID* sid);
    std::wstring GetCurrentUserSidString();
    void SetListBoxExtent(KvUi::CListBox& list);
    WORD GetProcessorArchitecture() const { return m_kernel32.m_processorArchitecture; }

    CStoreHolder& Store() { return *m_store; }
    // A copy of the kept provider (empty when none).
    Varno::SmartPtr<Varno::IProvider> GetProvider();
    // Opens the local store "Localhost.vdb" in the board folder (creating the folder); empty
    // when no provider can be had. Exceptions of the provider reach the caller.
    Varno::SmartPtr<Varno::IDatabase> OpenStore();
    // Closes a store of OpenStore; the caller's pointer is empty afterwards.
    void CloseStore(Varno::SmartPtr<Varno::IDatabase>& store);

    void OnAppAbout();

    // ---- state ----
    HANDLE m_hInstanceMutex = nullptr; // null until the instance lock; the sign that start-up got that far
    CBoardApiLibrary m_board;

    // Seams: the outside libraries and the system's drive answers (tests put their own in).
    COutsideLibraries* SetOutsideLibraries(COutsideLibraries* libs);
    COutsideLibraries& Outside() { return *m_pOutside; }
    CDriveAnswers* SetDriveAnswers(CDriveAnswers* answers);
    // The drive answers in force: a test's, else the system's.
    CDriveAnswers& Drives();

    // Reports an exception that a window procedure caught (called inside its catch block).
    void ReportExceptionFromWindow();

protected:
    // Builds the report text of the exception being handled and shows it in the error dialog.
    void ReportException();

    std::unique_ptr<CStoreHolder> m_store;
    COutsideLibraries m_defaultOutside;
    COutsideLibraries* m_pOutside = &m_defaultOutside;
    CDriveAnswers* m_pDrives = nullptr;
    Kernel32::CKernel32Wrapper m_kernel32; // records the processor architecture
    bool m_bExitDone = false;
    bool m_bComInitialized = false;
    bool m_bSocketsInitialized = false;
    bool m_bOleInitialized = false;

    KV_DECLARE_MESSAGE_MAP()
};

extern CDaVIdevaRezApp theApp;

// One setting of the application object: the member it lives in, its type, its default and the
// name of its value under the profile key.
struct AppSetting {
    enum Type { Int, Color, Text };
    const wchar_t* name; // the profile value
    Type type;
    int CDaVIdevaRezApp::*intMember;           // Int
    COLORREF CDaVIdevaRezApp::*colorMember;    // Color
    std::wstring CDaVIdevaRezApp::*textMember; // Text
    DWORD defaultValue;                        // Int
    int listColor;                             // Color: the list colour class 1-8 (its default is DefaultListColor's)
    const wchar_t* defaultText;                // Text
    bool stored;                               // kept in the profile

    // The value of an Int or Color setting (a Text setting gives 0).
    DWORD Get(const CDaVIdevaRezApp& app) const;
    void Set(CDaVIdevaRezApp& app, DWORD value) const;
    DWORD Default() const;
    void Reset(CDaVIdevaRezApp& app) const;
};
// Every setting, in the profile's order.
struct AppSettingsRange {
    const AppSetting* first;
    const AppSetting* last;
    const AppSetting* begin() const { return first; }
    const AppSetting* end() const { return last; }
};
AppSettingsRange AppSettingsTable();
// The setting of a profile value name; null when there is none.
const AppSetting* FindAppSetting(const wchar_t* name);

// "%s, %s-bit[, %s]" of the product name, the bit width and the service pack in the key given.
std::wstring DescribeOs(HKEY currentVersionKey, WORD processorArchitecture);

// The registered message "_VrnICheck_" that a running instance answers with its own value.
extern UINT g_uInstanceQueryMessage;

// Texts of the start-up.
extern const wchar_t* const kMsgDcomSecurity;
