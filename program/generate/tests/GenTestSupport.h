// What the generator tests share: a main window of their own, a host over a model, finding the
// progress dialog, and the names of what a model holds.
#pragma once

#include <gtest/gtest.h>

#include "GenerateDialogs.h"
#include "KvGenerate.h"
#include "KvText.h"
#include "kvpresenter.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace kvgen {

const wchar_t kProgressCaption[] = L"Идет поиск установленных программ и добавление задач ";

// The package of the end-to-end tests (fixtures/kvgen.wxs): its product code, name and folder.
const wchar_t kSuiteCode[] = L"{3C7A5E21-94B0-4D6B-8E11-6F0A2B9C4D01}";
const wchar_t kSuiteName[] = L"KvGen Test Suite";

inline std::wstring Env(const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? buffer : L"";
}

inline std::wstring InstallFolder() {
    return Env(L"ProgramW6432").empty() ? Env(L"ProgramFiles") + L"\\KvGenTestSuite"
                                        : Env(L"ProgramW6432") + L"\\KvGenTestSuite";
}

// A file of the Windows folder.
inline std::wstring WindowsFile(const wchar_t* name) {
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\" + name;
}

// A shortcut made as the shell makes one (COM initialised by the caller).
inline HRESULT MakeLink(const std::wstring& linkPath, const std::wstring& target) {
    IShellLinkW* link = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link));
    if (FAILED(hr))
        return hr;
    IPersistFile* file = nullptr;
    hr = link->SetPath(target.c_str());
    if (SUCCEEDED(hr))
        hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr))
        hr = file->Save(linkPath.c_str(), TRUE);
    if (file)
        file->Release();
    link->Release();
    return hr;
}

// A plain top-level window standing for the main window.
class CTestMainWindow {
public:
    CTestMainWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KvGenTestMain";
        ::RegisterClassW(&wc);
        m_hWnd = ::CreateWindowExW(0, L"KvGenTestMain", L"main", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        ::ShowWindow(m_hWnd, SW_SHOW);
    }
    ~CTestMainWindow() { ::DestroyWindow(m_hWnd); }
    HWND m_hWnd;
};

inline std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    std::wstring out;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return out;
    BYTE buffer[256];
    DWORD size = 0;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        wchar_t* text = nullptr;
        if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
            out = text;
            ::LocalFree(text);
        }
    }
    ::CloseHandle(token);
    return out;
}

inline SGenerateHost MakeHost(HWND main, CIChDataModel& model) {
    SGenerateHost host;
    host.hMainWnd = main;
    host.pModel = &model;
    host.bAddDepends = 0;
    host.bUpdatePresent = 1;
    host.bShowResults = 1;
    host.bIs64BitWindows = 1;
    host.strUserSid = CurrentUserSid();
    return host;
}

// The names of a node's members of a type, sorted.
inline std::vector<std::wstring> MemberNames(const CIChNode* node, int type = 0) {
    std::vector<std::wstring> out;
    if (!node)
        return out;
    for (const CIChNode* m : node->m_Members)
        if (!type || m->GetType() == type)
            out.push_back(m->m_Name);
    std::sort(out.begin(), out.end());
    return out;
}

inline CIChNode* MemberNamed(const CIChNode* node, const std::wstring& name) {
    for (CIChNode* m : node->m_Members)
        if (m->m_Name == name)
            return m;
    return nullptr;
}

inline size_t Count(CIChDataModel& model, int type) { return model.GetNodeList(type)->size(); }

// Posts "Прервать" to the progress dialog when its task text becomes the given one.
class CAbortWhenTaskShown {
public:
    explicit CAbortWhenTaskShown(const std::wstring& text) {
        s_text = text;
        m_hook = ::SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~CAbortWhenTaskShown() { ::UnhookWindowsHookEx(m_hook); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
        const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (code == HC_ACTION && msg->message == WM_SETTEXT && ::GetDlgCtrlID(msg->hwnd) == 1083 && msg->lParam &&
            s_text == reinterpret_cast<const wchar_t*>(msg->lParam))
            ::PostMessageW(::GetParent(msg->hwnd), WM_COMMAND, IDCANCEL, 0);
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }
    static inline std::wstring s_text;
    HHOOK m_hook;
};

} // namespace kvgen
