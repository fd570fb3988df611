// The trace stream: per-thread unfinished lines, categories and formats, formatted lines and dumps.
#include "KvTrace.h"

#include <cwchar>
#include <map>
#include <vector>

namespace KvBase {

namespace {

// Per-thread state of the module, keyed by thread id. Built before the module's global objects
// (its tracer among them) and destroyed after them; used only under the module critical section.
struct CThreadStates {
    std::map<DWORD, std::wstring> lines;
    std::map<DWORD, unsigned int> formats;
    std::map<DWORD, unsigned int> categories;
};
CThreadStates g_states __attribute__((init_priority(110)));
CKvTraceNull g_nullTrace __attribute__((init_priority(110)));

const unsigned int kDefaultCategory = TraceScope;

unsigned int ThreadCategory() {
    CWin32Lock lock(GetModuleCriticalSection());
    return g_states.categories.emplace(GetCurrentThreadId(), kDefaultCategory).first->second;
}

unsigned int ThreadFormat() {
    CWin32Lock lock(GetModuleCriticalSection());
    return g_states.formats.emplace(GetCurrentThreadId(), TraceDefaultFormat).first->second;
}

std::wstring FromAnsi(const char* psz) {
    int cch = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (cch <= 1)
        return std::wstring();
    std::wstring s(cch, L'\0');
    MultiByteToWideChar(CP_ACP, 0, psz, -1, &s[0], cch);
    s.resize(cch - 1);
    return s;
}

std::wstring Hex(unsigned int nValue, int nDigits) {
    wchar_t sz[16];
    _snwprintf(sz, 16, L"%0*X", nDigits, nValue);
    sz[15] = L'\0';
    return sz;
}

} // namespace

CKvTraceNull& GetNullTrace() { return g_nullTrace; }

std::wstring CKvTrace::IntegerText(unsigned int nValue, unsigned int nFormat) {
    if (nFormat & TraceSystemMessage) {
        wchar_t sz[1024];
        DWORD cch = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, nValue, 0, sz,
                                   1024, nullptr);
        if (cch != 0)
            return std::wstring(sz, cch);
        nFormat = (nFormat & ~0x7u) | TraceHex;
    }
    int nWidthIndex = (nFormat & TraceWidthMiddle) ? 1 : (nFormat & TraceWidthLarge) ? 2 : 0;
    std::wstring s;
    if ((nFormat & TraceHex) || !(nFormat & (TraceDecimal | TraceBinary))) {
        static const int kWidths[] = {2, 4, 8};
        s = Hex(nValue, 1);
        if (s.size() < static_cast<size_t>(kWidths[nWidthIndex]))
            s.insert(0, kWidths[nWidthIndex] - s.size(), L'0');
    } else if (nFormat & TraceDecimal) {
        static const int kWidths[] = {3, 5, 10};
        s = std::to_wstring(nValue);
        if (s.size() < static_cast<size_t>(kWidths[nWidthIndex]))
            s.insert(0, kWidths[nWidthIndex] - s.size(), L' ');
    } else {
        static const int kWidths[] = {8, 16, 32};
        do {
            s.insert(s.begin(), (nValue & 1) ? L'1' : L'0');
            nValue >>= 1;
        } while (nValue);
        if (s.size() < static_cast<size_t>(kWidths[nWidthIndex]))
            s.insert(0, kWidths[nWidthIndex] - s.size(), L'0');
    }
    return s;
}

bool CKvTrace::IsThreadCategoryEnabled() { return IsActive() && IsCategoryEnabled(ThreadCategory()); }

void CKvTrace::AppendText(const std::wstring& strText) {
    if (strText.empty())
        return;
    CWin32Lock lock(GetModuleCriticalSection());
    g_states.lines[GetCurrentThreadId()] += strText;
}

void CKvTrace::AppendInteger(unsigned int nValue) {
    if (!IsThreadCategoryEnabled())
        return;
    AppendText(IntegerText(nValue, ThreadFormat()));
}

void CKvTrace::WriteLine(unsigned int nCategory, const std::wstring& strText, const SYSTEMTIME& stLocal) {
    std::wstring strLine;
    FormatLine(strLine, nCategory, stLocal, strText.c_str());
    Output(nCategory, strLine);
}

void CKvTrace::Printf(unsigned int nCategory, const wchar_t* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    VPrintf(nCategory, pszFormat, args);
    va_end(args);
}

void CKvTrace::VPrintf(unsigned int nCategory, const wchar_t* pszFormat, va_list args) {
    try {
        if (!IsActive() || !IsCategoryEnabled(nCategory) || !pszFormat || !*pszFormat)
            return;
        size_t cchFormat = wcslen(pszFormat);
        bool bHasMark = wcschr(pszFormat, L'%') != nullptr;
        SYSTEMTIME st;
        GetLocalTime(&st);
        if (!bHasMark) {
            WriteLine(nCategory, pszFormat, st);
            return;
        }
        size_t cchFirst = (cchFormat < 1000 ? 1000 : cchFormat) + 1;
        size_t cchBuffer = cchFirst;
        std::wstring strText;
        for (;;) {
            std::vector<wchar_t> buffer;
            try {
                buffer.resize(cchBuffer);
            } catch (...) {
                // No room for a larger buffer: the text of the first size, cut.
                buffer.assign(cchFirst, L'\0');
                va_list copy;
                va_copy(copy, args);
                _vsnwprintf(buffer.data(), cchFirst - 1, pszFormat, copy);
                va_end(copy);
                buffer[cchFirst - 1] = L'\0';
                strText = buffer.data();
                break;
            }
            va_list copy;
            va_copy(copy, args);
            int n = _vsnwprintf(buffer.data(), cchBuffer - 1, pszFormat, copy);
            va_end(copy);
            if (n >= 0 && static_cast<size_t>(n) < cchBuffer) {
                buffer[n] = L'\0';
                strText.assign(buffer.data(), n);
                break;
            }
            cchBuffer = cchBuffer * 10 / 6;
        }
        if (strText.empty())
            return;
        WriteLine(nCategory, strText, st);
    } catch (...) {
    }
}

void CKvTrace::Dump(unsigned int nCategory, const wchar_t* pszTitle, const void* pData, unsigned int cbData,
                    unsigned int nFlags) {
    try {
        if (!pData || cbData == 0 || !IsActive() || !IsCategoryEnabled(nCategory))
            return;
        SYSTEMTIME st;
        GetLocalTime(&st);
        std::wstring strText = pszTitle ? pszTitle : L"";
        unsigned int nItemSize = (nFlags & TraceDumpDwords) ? 4 : (nFlags & TraceDumpWords) ? 2 : 1;
        unsigned int nPerRow = nItemSize == 4 ? 8 : nItemSize == 2 ? 16 : 32;
        unsigned int nItems = cbData / nItemSize;
        int nOffsetDigits = nItems < 0x100 ? 2 : nItems < 0x10000 ? 4 : 8;
        const BYTE* pb = static_cast<const BYTE*>(pData);
        for (unsigned int i = 0; i < nItems; ++i) {
            unsigned int nColumn = i % nPerRow;
            if (nColumn == 0)
                strText += L"\r\n " + Hex(i, nOffsetDigits) + L":";
            else if (nItemSize != 4 && nColumn % 8 == 0)
                strText += L" -";
            unsigned int nValue = 0;
            memcpy(&nValue, pb + i * nItemSize, nItemSize);
            strText += L" " + Hex(nValue, nItemSize * 2);
        }
        if (nItems % nPerRow != 0)
            strText += L"\r\n";
        if (!strText.empty())
            WriteLine(nCategory, strText, st);
    } catch (...) {
    }
}

ITrace& CKvTrace::operator<<(bool bValue) {
    try {
        if (IsThreadCategoryEnabled())
            AppendText(bValue ? L"true" : L"false");
    } catch (...) {
    }
    return *this;
}

ITrace& CKvTrace::operator<<(float fValue) {
    try {
        if (IsThreadCategoryEnabled()) {
            wchar_t sz[400];
            bool bFixed = (ThreadFormat() & TraceFixedFloat) != 0;
            _snwprintf(sz, 400, bFixed ? L"%f" : L"%E", static_cast<double>(fValue));
            sz[399] = L'\0';
            std::wstring s = sz;
            if (!bFixed) {
                // Three exponent digits, whichever C library formatted the number.
                size_t nExp = s.find_last_of(L"+-");
                if (nExp != std::wstring::npos && nExp > 0 && s[nExp - 1] == L'E' && s.size() - nExp - 1 < 3)
                    s.insert(nExp + 1, 3 - (s.size() - nExp - 1), L'0');
            }
            AppendText(s);
        }
    } catch (...) {
    }
    return *this;
}

ITrace& CKvTrace::operator<<(int nValue) {
    try {
        AppendInteger(static_cast<unsigned int>(nValue));
    } catch (...) {
    }
    return *this;
}

ITrace& CKvTrace::operator<<(unsigned int nValue) { return *this << static_cast<int>(nValue); }

ITrace& CKvTrace::operator<<(long nValue) { return *this << static_cast<int>(nValue); }

ITrace& CKvTrace::operator<<(unsigned long nValue) { return *this << static_cast<int>(nValue); }

ITrace& CKvTrace::operator<<(unsigned short nValue) { return *this << static_cast<int>(nValue); }

ITrace& CKvTrace::operator<<(short nValue) { return *this << static_cast<int>(nValue); }

ITrace& CKvTrace::operator<<(unsigned char nValue) { return *this << static_cast<int>(nValue); }

ITrace& CKvTrace::operator<<(char nValue) { return *this << static_cast<int>(static_cast<signed char>(nValue)); }

ITrace& CKvTrace::operator<<(const wchar_t* pszText) {
    try {
        if (pszText && IsThreadCategoryEnabled())
            AppendText(pszText);
    } catch (...) {
    }
    return *this;
}

ITrace& CKvTrace::operator<<(const char* pszText) {
    try {
        if (pszText && IsThreadCategoryEnabled())
            AppendText(FromAnsi(pszText));
    } catch (...) {
    }
    return *this;
}

void CKvTrace::SetCategory(unsigned int nCategory) {
    try {
        if (!IsActive())
            return;
        CWin32Lock lock(GetModuleCriticalSection());
        g_states.categories[GetCurrentThreadId()] = nCategory;
    } catch (...) {
    }
}

void CKvTrace::SetIntegerFormat(unsigned int nBits) {
    try {
        if (!IsThreadCategoryEnabled())
            return;
        CWin32Lock lock(GetModuleCriticalSection());
        auto it = g_states.formats.emplace(GetCurrentThreadId(), TraceDefaultFormat).first;
        it->second = (it->second & ~0x407u) | (nBits & 0x407u);
    } catch (...) {
    }
}

void CKvTrace::SetFloatFormat(unsigned int nBits) {
    try {
        if (!IsThreadCategoryEnabled())
            return;
        CWin32Lock lock(GetModuleCriticalSection());
        auto it = g_states.formats.emplace(GetCurrentThreadId(), TraceDefaultFormat).first;
        it->second = (it->second & ~0x300u) | (nBits & 0x300u);
    } catch (...) {
    }
}

void CKvTrace::Manipulator(unsigned int nCode) {
    DWORD dwLastError = GetLastError(); // before anything here can change it
    try {
        if (!IsActive())
            return;
        unsigned int nCategory = ThreadCategory();
        if (!IsCategoryEnabled(nCategory))
            return;
        DWORD dwThread = GetCurrentThreadId();
        switch (nCode) {
        case TraceEndLine: {
            std::wstring strLine;
            {
                CWin32Lock lock(GetModuleCriticalSection());
                auto it = g_states.lines.find(dwThread);
                if (it == g_states.lines.end() || it->second.empty())
                    return;
                strLine.swap(it->second);
                g_states.lines.erase(it);
                g_states.formats.erase(dwThread);
                g_states.categories.erase(dwThread);
            }
            SYSTEMTIME st;
            GetLocalTime(&st);
            WriteLine(nCategory, strLine, st);
            break;
        }
        case TraceLastError:
            AppendText(IntegerText(dwLastError, ThreadFormat() | TraceSystemMessage));
            break;
        case TraceThreadId:
            AppendText(L" [TID:" + Hex(dwThread, 2) + L"] ");
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

bool CKvTrace::IsLinePending() {
    try {
        CWin32Lock lock(GetModuleCriticalSection());
        auto it = g_states.lines.find(GetCurrentThreadId());
        return it != g_states.lines.end() && !it->second.empty();
    } catch (...) {
        return false;
    }
}

} // namespace KvBase
