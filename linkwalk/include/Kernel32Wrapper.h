// Optional entry points of kernel32, resolved once: each is null where the running system lacks it.
// The main program and the dependency finder each keep their own instance in a TSingletonHolder.
#pragma once

#include "KvProcAddress.h"
#include <windows.h>

#include <string>

namespace Kernel32 {

class CKernel32Wrapper {
public:
    typedef BOOL(WINAPI* PFN_IsWow64Process)(HANDLE, PBOOL);
    typedef BOOL(WINAPI* PFN_Wow64DisableWow64FsRedirection)(PVOID*);
    typedef BOOL(WINAPI* PFN_Wow64RevertWow64FsRedirection)(PVOID);
    typedef UINT(WINAPI* PFN_GetSystemWow64DirectoryW)(LPWSTR, UINT);
    typedef DWORD(WINAPI* PFN_GetFinalPathNameByHandleW)(HANDLE, LPWSTR, DWORD, DWORD);

    CKernel32Wrapper() {
        SYSTEM_INFO si = {};
        ::GetSystemInfo(&si);
        m_processorArchitecture = si.wProcessorArchitecture;
        HMODULE k32 = ::GetModuleHandleW(L"kernel32");
        if (k32) {
            m_IsWow64Process = KvGetProcAddress<PFN_IsWow64Process>(k32, "IsWow64Process");
            m_Wow64DisableWow64FsRedirection =
                KvGetProcAddress<PFN_Wow64DisableWow64FsRedirection>(k32, "Wow64DisableWow64FsRedirection");
            m_Wow64RevertWow64FsRedirection =
                KvGetProcAddress<PFN_Wow64RevertWow64FsRedirection>(k32, "Wow64RevertWow64FsRedirection");
            m_GetSystemWow64DirectoryW =
                KvGetProcAddress<PFN_GetSystemWow64DirectoryW>(k32, "GetSystemWow64DirectoryW");
            m_GetFinalPathNameByHandleW =
                KvGetProcAddress<PFN_GetFinalPathNameByHandleW>(k32, "GetFinalPathNameByHandleW");
        }
    }
    virtual ~CKernel32Wrapper() {}

    // The WOW64 system directory, or empty when the entry is missing or the call fails.
    std::wstring GetSystemWow64Directory() const {
        if (!m_GetSystemWow64DirectoryW)
            return std::wstring();
        UINT need = m_GetSystemWow64DirectoryW(nullptr, 0);
        if (need == 0)
            return std::wstring();
        std::wstring text(need, L'\0');
        ::SetLastError(ERROR_SUCCESS);
        UINT got = m_GetSystemWow64DirectoryW(&text[0], need);
        if (got == 0 || got >= need || ::GetLastError() == ERROR_MORE_DATA)
            return std::wstring();
        text.resize(got);
        return text;
    }

    // True when the current process is a 32-bit process on 64-bit Windows.
    bool IsWow64() const {
        BOOL wow = FALSE;
        return m_IsWow64Process && m_IsWow64Process(::GetCurrentProcess(), &wow) && wow;
    }

    PFN_IsWow64Process m_IsWow64Process = nullptr;
    PFN_Wow64DisableWow64FsRedirection m_Wow64DisableWow64FsRedirection = nullptr;
    PFN_Wow64RevertWow64FsRedirection m_Wow64RevertWow64FsRedirection = nullptr;
    PFN_GetSystemWow64DirectoryW m_GetSystemWow64DirectoryW = nullptr;
    PFN_GetFinalPathNameByHandleW m_GetFinalPathNameByHandleW = nullptr;
    WORD m_processorArchitecture = 0;
};

} // namespace Kernel32
