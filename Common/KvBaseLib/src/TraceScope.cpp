// Function scopes of the module's tracer.
#include "KvTrace.h"

namespace KvBase {

namespace {
// The module's nesting depth, shared by all its threads.
volatile LONG g_nDepth = 0;
} // namespace

CTraceScope::CTraceScope(const std::wstring& strFunction, const std::wstring& strFile, int nLine)
    : m_pTrace(&theTrace) {
    Enter(strFunction, strFile, nLine);
}

CTraceScope::CTraceScope(ITrace& trace, const std::wstring& strFunction, const std::wstring& strFile, int nLine)
    : m_pTrace(&trace) {
    Enter(strFunction, strFile, nLine);
}

CTraceScope::~CTraceScope() {
    InterlockedDecrement(&g_nDepth);
    ComputeIndent();
    Print(TraceScope, L"}");
}

long CTraceScope::GetDepth() { return g_nDepth; }

void CTraceScope::Enter(const std::wstring& strFunction, const std::wstring& strFile, int nLine) {
    ComputeIndent();
    Print(TraceScope, L"%s(%s#%d)", strFunction.c_str(), strFile.c_str(), nLine);
    Print(TraceScope, L"{");
    InterlockedIncrement(&g_nDepth);
    ComputeIndent();
}

bool CTraceScope::IsActive(unsigned int nCategory) {
    CKvTrace* pTrace = dynamic_cast<CKvTrace*>(m_pTrace);
    return pTrace && pTrace->IsActive() && pTrace->IsCategoryEnabled(nCategory);
}

void CTraceScope::ComputeIndent() {
    try {
        CKvTrace* pTrace = dynamic_cast<CKvTrace*>(m_pTrace);
        LONG nDepth = g_nDepth;
        if (pTrace && pTrace->IsActive() && nDepth > 0)
            m_strIndent.assign(static_cast<size_t>(nDepth), L'.');
        else
            m_strIndent.clear();
    } catch (...) {
        m_strIndent.clear(); // goes on without its indent
    }
}

void CTraceScope::Print(unsigned int nCategory, const wchar_t* pszFormat, ...) {
    try {
        if (!pszFormat || !IsActive(nCategory))
            return;
        std::wstring strFormat = m_strIndent.empty() ? std::wstring(pszFormat) : m_strIndent + L" " + pszFormat;
        va_list args;
        va_start(args, pszFormat);
        m_pTrace->VPrintf(nCategory, strFormat.c_str(), args);
        va_end(args);
    } catch (...) {
    }
}

} // namespace KvBase
