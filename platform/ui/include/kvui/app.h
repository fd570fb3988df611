// The application object: start-up and shutdown hooks, the message loop with idle processing,
// the registry profile (through the base library's registry key) and the caption of its
// message boxes.
#pragma once

#include "kvui/core.h"

#include <RegistryKey.h>

#include <string>
#include <vector>

namespace KvUi {

class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;

    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CWnd* m_pMainWnd = nullptr;
    std::wstring m_strAppName;     // caption of the application's message boxes
    std::wstring m_strRegistryKey; // under HKCU\Software
    std::wstring m_strProfileName; // below the registry key

    virtual BOOL InitInstance() { return TRUE; }
    // The message loop of the UI thread; ends with ExitInstance's result on WM_QUIT.
    virtual int Run();
    virtual BOOL OnIdle(LONG lCount);
    virtual int ExitInstance();
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // The registry profile: HKCU\Software\<registry key>\<profile name>\<section>; an empty
    // section is the profile key itself.
    void SetRegistryKey(const wchar_t* key);
    UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int nDefault) const;
    BOOL WriteProfileInt(const wchar_t* section, const wchar_t* entry, int nValue);
    std::wstring GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* def = L"") const;
    BOOL WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value);
    BOOL GetProfileBinary(const wchar_t* section, const wchar_t* entry, std::vector<BYTE>& data) const;
    BOOL WriteProfileBinary(const wchar_t* section, const wchar_t* entry, const void* data, UINT size);
    // Removes a section with its subkeys (an entry null removes the section, else that value).
    BOOL DeleteProfileEntry(const wchar_t* section, const wchar_t* entry);
    // The profile key's path below HKCU, empty without a registry key.
    std::wstring GetProfileKeyPath() const;

    // A message box with the application's caption, through the presenter.
    virtual int DoMessageBox(const std::wstring& text, UINT type, UINT idHelp = 0);

    int GetExitCode() const { return m_nExitCode; }

protected:
    int m_nExitCode = 0;
    // Opens the key of a profile section (created when asked) below HKCU; false without a
    // registry key or when it cannot be opened.
    bool OpenSection(const wchar_t* section, bool create, KvBase::CRegistryKey& key) const;

    KV_DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK, UINT idHelp = 0);
int AfxMessageBox(UINT idString, UINT type = MB_OK, UINT idHelp = 0);

// The body of WinMain: InitInstance, then the loop; a refused start still runs ExitInstance
// (after the main window, if any, is destroyed).
int AfxWinMain(HINSTANCE hInstance, int nCmdShow);

} // namespace KvUi
