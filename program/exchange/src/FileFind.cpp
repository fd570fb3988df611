// The finder that lists the real system folder from a 32-bit process, and the redirection guard.
#include "KvExchangeUtils.h"

// The main program's own kernel32 wrapper, exported by name for the modules that look for it.
template class __declspec(dllexport) TSingletonHolder<Kernel32::CKernel32Wrapper>;

Wow64RedirectionGuard::Wow64RedirectionGuard(Kernel32::CKernel32Wrapper* wrapper)
    : m_disabled(0), m_oldValue(nullptr),
      m_wrapper(wrapper ? wrapper : &TSingletonHolder<Kernel32::CKernel32Wrapper>::Instance()) {
    if (m_wrapper->IsWow64() && m_wrapper->m_Wow64DisableWow64FsRedirection &&
        m_wrapper->m_Wow64DisableWow64FsRedirection(&m_oldValue))
        m_disabled = 1;
}

Wow64RedirectionGuard::~Wow64RedirectionGuard() {
    if (m_disabled && m_wrapper->m_Wow64RevertWow64FsRedirection)
        m_wrapper->m_Wow64RevertWow64FsRedirection(m_oldValue);
}

BOOL CFileFindEx::FindFile(const wchar_t* pattern) {
    Close();
    if (!pattern)
        pattern = L"*.*";
    std::wstring p(pattern);
    const size_t slash = p.find_last_of(L"\\/");
    m_root = slash == std::wstring::npos ? std::wstring() : p.substr(0, slash + 1);
    {
        Wow64RedirectionGuard guard;
        m_find = ::FindFirstFileW(p.c_str(), &m_next);
    }
    m_hasNext = m_find != INVALID_HANDLE_VALUE;
    return m_hasNext ? TRUE : FALSE;
}

BOOL CFileFindEx::FindNextFile() {
    if (m_find == INVALID_HANDLE_VALUE || !m_hasNext)
        return FALSE;
    m_current = m_next;
    Wow64RedirectionGuard guard;
    m_hasNext = ::FindNextFileW(m_find, &m_next) != 0;
    return m_hasNext ? TRUE : FALSE;
}

void CFileFindEx::Close() {
    if (m_find != INVALID_HANDLE_VALUE)
        ::FindClose(m_find);
    m_find = INVALID_HANDLE_VALUE;
    m_hasNext = false;
}

BOOL CFileFindEx::IsDots() const {
    const wchar_t* n = m_current.cFileName;
    return IsDirectory() && n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
}
