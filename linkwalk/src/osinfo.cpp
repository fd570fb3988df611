// The search lists of the process: system directory, WOW64 system directory, Windows directory
// and the entries of Path, per machine of the importing module.
#include "internal.h"

namespace Depends {

std::wstring ReadEnvironmentVariable(const wchar_t* name) {
    DWORD need = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (need == 0)
        return std::wstring();
    std::wstring value(need, L'\0');
    DWORD got = ::GetEnvironmentVariableW(name, &value[0], need);
    if (got == 0 || got >= need)
        return std::wstring();
    value.resize(got);
    return value;
}

} // namespace Depends

namespace {

void EnsureBackslash(std::wstring& dir) {
    if (dir.empty() || dir.back() != L'\\')
        dir += L'\\';
}

// A directory from one of the two-step system calls (size, then text); empty on failure.
template <class F>
std::wstring ReadSystemDirectory(F call) {
    UINT need = call(nullptr, 0);
    if (need == 0)
        return std::wstring();
    std::wstring text(need, L'\0');
    ::SetLastError(ERROR_SUCCESS);
    UINT got = call(&text[0], need);
    if (got == 0 || got >= need || ::GetLastError() == ERROR_MORE_DATA)
        return std::wstring();
    text.resize(got);
    return text;
}

} // namespace

COsInfo::COsInfo() { Build(); }

COsInfo::~COsInfo() {}

void COsInfo::Build() {
    using Depends::UpperCase;
    Kernel32::CKernel32Wrapper& k32 = TSingletonHolder<Kernel32::CKernel32Wrapper>::Instance();
    m_is64BitSystem = k32.m_processorArchitecture != PROCESSOR_ARCHITECTURE_INTEL ? 1 : 0;

    std::wstring sys = ReadSystemDirectory([](LPWSTR b, UINT n) { return ::GetSystemDirectoryW(b, n); });
    if (!sys.empty()) {
        m_systemDirectory = UpperCase(sys);
        EnsureBackslash(m_systemDirectory);
        (m_is64BitSystem ? m_searchList64 : m_searchList32).push_back(m_systemDirectory);
    }
    if (m_is64BitSystem) {
        m_wow64Directory = k32.GetSystemWow64Directory();
        if (!m_wow64Directory.empty()) {
            EnsureBackslash(m_wow64Directory);
            m_searchList32.push_back(m_wow64Directory);
        }
    }
    std::wstring win = ReadSystemDirectory([](LPWSTR b, UINT n) { return ::GetWindowsDirectoryW(b, n); });
    if (!win.empty()) {
        m_windowsDirectory = UpperCase(win);
        EnsureBackslash(m_windowsDirectory);
        m_searchList32.push_back(m_windowsDirectory);
        m_searchList64.push_back(m_windowsDirectory);
    }
    const std::wstring path = Depends::ReadEnvironmentVariable(L"Path");
    AppendPathEntries(m_searchList32, path);
    AppendPathEntries(m_searchList64, path);
}

// Each piece of the value between semicolons is upper-cased and stripped of surrounding double
// quotes; empty pieces and unexpanded variables ("%...") are skipped; a piece gets a trailing
// backslash and is appended unless the list held that text before the merge. A directory named
// twice in the value is therefore listed twice.
void COsInfo::AppendPathEntries(std::list<std::wstring>& list, const std::wstring& value) {
    const std::list<std::wstring> before(list);
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(L';', start);
        if (end == std::wstring::npos)
            end = value.size();
        std::wstring piece = Depends::UpperCase(value.substr(start, end - start));
        size_t first = piece.find_first_not_of(L'"');
        if (first == std::wstring::npos) {
            piece.clear();
        } else {
            size_t last = piece.find_last_not_of(L'"');
            piece = piece.substr(first, last - first + 1);
        }
        if (!piece.empty() && piece[0] != L'%') {
            EnsureBackslash(piece);
            bool known = false;
            for (const std::wstring& d : before)
                if (d == piece) {
                    known = true;
                    break;
                }
            if (!known)
                list.push_back(piece);
        }
        start = end + 1;
    }
}

template class TSingletonHolder<COsInfo>;
template class TSingletonHolder<Kernel32::CKernel32Wrapper>;
