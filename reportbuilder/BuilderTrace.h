// Function scopes and failure lines of the report builder's trace.
// The base library's tracer is not yet part of the tree: until it is, the scope writes its
// failure lines to the debugger output, in the tracer's own form ("W> " for category 4).
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cwchar>

class CBuilderTraceScope
{
public:
    explicit CBuilderTraceScope(const wchar_t* function) : m_pszFunction(function) {}
    void Print(unsigned category, const wchar_t* format, ...)
    {
        wchar_t line[512];
        int n = swprintf(line, 512, L"KvReportBuilder %s: %s", m_pszFunction, category == 4 ? L"W> " : L"");
        if (n < 0)
            return;
        va_list args;
        va_start(args, format);
        vswprintf(line + n, 512 - n, format, args);
        va_end(args);
        OutputDebugStringW(line);
    }

private:
    const wchar_t* m_pszFunction;
};
