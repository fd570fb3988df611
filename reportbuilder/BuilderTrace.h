// Function scopes and failure lines of the report builder, on the base library's tracer
// (module name "KvReportBuilder"). Until the tracer is part of the base library in this tree,
// a scope of the same shape writes its lines to the debugger output instead.
#pragma once

#include <windows.h>

#if __has_include("KvTrace.h")
#include "KvTrace.h"

using CBuilderTraceScope = KvBase::CTraceScope;
#define KV_BUILDER_DEFINE_TRACE() KVBASE_DEFINE_TRACE(L"KvReportBuilder")

#else
#include <cstdarg>
#include <cwchar>
#include <string>

class CBuilderTraceScope
{
public:
    CBuilderTraceScope(const std::wstring& function, const std::wstring&, int) : m_strFunction(function) {}
    void Print(unsigned int category, const wchar_t* format, ...)
    {
        wchar_t line[512];
        int n = swprintf(line, 512, L"KvReportBuilder %s %s", m_strFunction.c_str(), category == 4 ? L"W> " : L"");
        if (n < 0)
            return;
        va_list args;
        va_start(args, format);
        vswprintf(line + n, 512 - n, format, args);
        va_end(args);
        OutputDebugStringW(line);
    }

private:
    std::wstring m_strFunction;
};
#define KV_BUILDER_DEFINE_TRACE() static_assert(true, "")
#endif

// Each export and query opens a function scope named after it.
#define KV_BUILDER_SCOPE(name) CBuilderTraceScope scope(name, L"KvReportBuilder", __LINE__)
