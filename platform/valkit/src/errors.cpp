// EGeneric, the COM error handler, system errors and the structured-exception report.
#include "valkit.h"

#include <cstdio>
#include <mutex>

int SaveMiniDumpOnCppException = 0;
int SaveMiniDumpOnStructuredException = 0;
int ExtendDebugInformationFromException = 0;

EGeneric::EGeneric() = default;
EGeneric::EGeneric(const std::string& text) { m_values["Text"] = _value_t(text); }
EGeneric::EGeneric(const EGeneric& other) : std::exception(other), m_values(other.m_values) {}
EGeneric& EGeneric::operator=(const EGeneric& other) {
    m_values = other.m_values;
    m_what.clear();
    return *this;
}
EGeneric::~EGeneric() = default;

_value_t& EGeneric::operator[](const char* name) {
    m_what.clear();
    return m_values[name ? name : ""];
}

_value_t EGeneric::operator[](const char* name) const {
    auto it = m_values.find(name ? name : "");
    return it == m_values.end() ? _value_t() : it->second;
}

bool EGeneric::has(const char* name) const { return m_values.count(name ? name : "") != 0; }

int EGeneric::result_code() const {
    _value_t code = (*this)["Code"];
    if (code.type() == typeid(int))
        return code.as_int();
    return static_cast<int>(0x80004005L);
}

std::wstring EGeneric::text() const {
    for (const char* key : {"Text", "Error"}) {
        _value_t v = (*this)[key];
        if (!v.empty() && (v.vtype() == _value_t::vt_string || v.vtype() == _value_t::vt_wstring))
            return v.as_wstring();
    }
    _value_t hr = (*this)["HRESULT"];
    if (!hr.empty())
        return format_wstring(L"HRESULT 0x%08X", static_cast<unsigned>(hr.as_int64()));
    _value_t code = (*this)["Code"];
    if (!code.empty())
        return format_wstring(L"Code %d", code.as_int());
    return L"EGeneric";
}

const char* EGeneric::what() const noexcept {
    try {
        if (m_what.empty())
            m_what = as_string(text(), CP_UTF8);
        return m_what.c_str();
    } catch (...) {
        return "EGeneric";
    }
}

EBadCastException::EBadCastException() : EGeneric("bad cast of a store item") {}
EBadCastException::EBadCastException(const std::string& text) : EGeneric(text) {}

static std::wstring system_message(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring text;
    if (n && buf)
        text.assign(buf, n);
    if (buf)
        LocalFree(buf);
    text = trimr(text);
    if (text.empty())
        text = format_wstring(L"0x%08X", static_cast<unsigned>(code));
    return text;
}

void __stdcall throw_EGeneric_from_com_error(HRESULT hr, IErrorInfo* info) {
    std::wstring text;
    if (info) {
        BSTR desc = nullptr;
        if (SUCCEEDED(info->GetDescription(&desc)) && desc) {
            text.assign(desc, SysStringLen(desc));
            SysFreeString(desc);
        }
        info->Release();
    }
    if (text.empty())
        text = system_message(static_cast<DWORD>(hr));
    EGeneric e;
    e["HRESULT"] = _value_t(static_cast<long>(hr));
    e["Text"] = _value_t(as_string(text, CP_ACP));
    throw e;
}

void ThrowSystemException(DWORD code) {
    EGeneric e;
    e["HRESULT"] = _value_t(static_cast<long>(HRESULT_FROM_WIN32(code)));
    e["Error"] = _value_t(static_cast<unsigned long>(code));
    e["Text"] = _value_t(as_string(system_message(code), CP_ACP));
    throw e;
}

namespace {
std::atomic<redirect_structured_exceptions::reporter_t> g_reporter{nullptr};
std::once_flag g_filter_once;

const wchar_t* exception_name(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return L"access violation";
    case EXCEPTION_STACK_OVERFLOW:
        return L"stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return L"integer division by zero";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return L"illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:
        return L"privileged instruction";
    case EXCEPTION_IN_PAGE_ERROR:
        return L"in-page error";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        return L"array bounds exceeded";
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return L"datatype misalignment";
    default:
        return L"structured exception";
    }
}

LONG WINAPI report_and_end(EXCEPTION_POINTERS* info) {
    DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    void* addr = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionAddress : nullptr;
    wchar_t text[256];
    _snwprintf(text, 255, L"Unhandled %s (0x%08X) at address %p in thread %lu; the program ends.", exception_name(code),
               static_cast<unsigned>(code), addr, GetCurrentThreadId());
    text[255] = 0;
    OutputDebugStringW(text);
    char narrow[512];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    if (n > 0) {
        fprintf(stderr, "%s\n", narrow);
        fflush(stderr);
    }
    if (auto r = g_reporter.load()) {
        try {
            r(text);
        } catch (...) {
        }
    }
    TerminateProcess(GetCurrentProcess(), code ? code : 1);
    return EXCEPTION_EXECUTE_HANDLER;
}
} // namespace

redirect_structured_exceptions::redirect_structured_exceptions() {
    std::call_once(g_filter_once, [] { SetUnhandledExceptionFilter(report_and_end); });
}
redirect_structured_exceptions::~redirect_structured_exceptions() = default;
void redirect_structured_exceptions::set_reporter(reporter_t reporter) { g_reporter = reporter; }
