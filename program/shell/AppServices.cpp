// Services of the application object: the board folder, the local store, the system text, files,
// error texts, accounts and list-box extents.
#include "DaVIdevaRez.h"
#include "dlgNodes.h"

#include "KvGenerate.h"
#include "DiskQuery.h"

#include <valkit.h>
#include <VoRurod.h>

#include <sddl.h>

CDriveAnswers* CDaVIdevaRezApp::SetDriveAnswers(CDriveAnswers* answers) {
    CDriveAnswers* old = m_pDrives;
    m_pDrives = answers;
    return old;
}

CDriveAnswers& CDaVIdevaRezApp::Drives() { return m_pDrives ? *m_pDrives : SystemDriveAnswers(); }

std::wstring CDaVIdevaRezApp::GetStoreFolder() { return FindStoreFolder(Drives()); }

Varno::SmartPtr<Varno::IProvider> CDaVIdevaRezApp::GetProvider() { return m_store->m_provider; }

Varno::SmartPtr<Varno::IDatabase> CDaVIdevaRezApp::OpenStore() {
    if (m_store->Empty())
        m_pOutside->CreateProvider(*m_store);
    if (m_store->Empty())
        return Varno::SmartPtr<Varno::IDatabase>();
    std::wstring folder = GetStoreFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder.empty() ? std::wstring() : folder + L"\\Localhost.vdb";
    return m_store->m_provider->Open(as_string(path, 0).c_str());
}

void CDaVIdevaRezApp::CloseStore(Varno::SmartPtr<Varno::IDatabase>& store) {
    if (!m_store->Empty() && store) {
        Varno::SmartPtr<Varno::IProvider> provider = m_store->m_provider;
        Varno::SmartPtr<Varno::IDatabase> db = store;
        provider->Close(db->GetHandle());
    }
    store = nullptr;
}

std::wstring DescribeOs(HKEY currentVersionKey, WORD processorArchitecture) {
    std::wstring result;
    wchar_t buffer[260] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    if (::RegQueryValueExW(currentVersionKey, L"ProductName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        buffer[259] = 0;
        result = format_wstring(L"%s, %s-bit", buffer, processorArchitecture == 0 ? L"32" : L"64");
    }
    size = sizeof(buffer);
    std::fill(buffer, buffer + 260, L'\0');
    if (::RegQueryValueExW(currentVersionKey, L"CSDVersion", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        buffer[259] = 0;
        result += L", ";
        result += buffer;
    }
    return result;
}

std::wstring CDaVIdevaRezApp::GetOsDescription() {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &h) !=
        ERROR_SUCCESS)
        return std::wstring();
    std::wstring result = DescribeOs(h, GetProcessorArchitecture());
    ::RegCloseKey(h);
    return result;
}

int CDaVIdevaRezApp::IsFileExist(const wchar_t* path) { return IsExistingFile(path); }

void CDaVIdevaRezApp::GetErrorText(DWORD code, std::wstring& text) {
    KvBase::CVoRurod error((int)code);
    text = error.GetMessageString();
}

DWORD CDaVIdevaRezApp::GetComputerAccount(std::wstring& account, PSID sidBuffer) {
    std::vector<wchar_t> name(1024, L'\0');
    DWORD size = 1024 - 2; // room for the "$"
    if (!::GetComputerNameExW(ComputerNamePhysicalNetBIOS, name.data(), &size))
        return ::GetLastError();
    account = name.data();
    wcscat(name.data(), L"$");
    std::vector<wchar_t> domain(1024, L'\0');
    DWORD sidSize = 68, domainSize = 1024;
    SID_NAME_USE use;
    if (!::LookupAccountNameW(nullptr, name.data(), sidBuffer, &sidSize, domain.data(), &domainSize, &use))
        return ::GetLastError();
    std::wstring computer = name.data();
    computer.pop_back(); // the account name without its "$"
    account = format_wstring(L"%s\\%s", domain.data(), computer.c_str());
    return 0;
}

int CDaVIdevaRezApp::GetCurrentUserSid(PSID* sid) {
    HANDLE token = nullptr;
    HANDLE heap = ::GetProcessHeap();
    void* info = nullptr;
    int result = 0;
    try {
        if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
            if (::GetLastError() != ERROR_NO_TOKEN)
                ThrowSystemException();
            if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
                ThrowSystemException();
        }
        DWORD size = 0;
        if (::GetTokenInformation(token, TokenUser, nullptr, 0, &size) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            ThrowSystemException();
        info = ::HeapAlloc(heap, 0, size);
        if (!info)
            ThrowSystemException(ERROR_NOT_ENOUGH_MEMORY);
        if (!::GetTokenInformation(token, TokenUser, info, size, &size))
            ThrowSystemException();
        PSID user = static_cast<TOKEN_USER*>(info)->User.Sid;
        DWORD length = ::GetLengthSid(user);
        *sid = ::LocalAlloc(LPTR, length);
        if (!*sid)
            ThrowSystemException(ERROR_NOT_ENOUGH_MEMORY);
        result = ::CopySid(length, *sid, user);
    } catch (const EGeneric&) {
        if (*sid)
            ::LocalFree(*sid);
        *sid = nullptr;
        result = 0;
    }
    if (info)
        ::HeapFree(heap, 0, info);
    if (token)
        ::CloseHandle(token);
    return result;
}

std::wstring CDaVIdevaRezApp::GetCurrentUserSidString() {
    PSID sid = nullptr;
    std::wstring result;
    if (GetCurrentUserSid(&sid)) {
        wchar_t* text = nullptr;
        if (::ConvertSidToStringSidW(sid, &text)) {
            result = text;
            ::LocalFree(text);
        }
    }
    if (sid)
        ::LocalFree(sid);
    return result;
}

void CDaVIdevaRezApp::SetListBoxExtent(KvUi::CListBox& list) { dlgDeleteNodes::FitListBoxExtent(list.m_hWnd); }
