// valkit: values, times, strings and exceptions shared by the program, the store provider and
// the workstation-resource plug-in. Built as valkit64.dll (x86-64) and valkit.dll (i386).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <exception>
#include <map>
#include <string>
#include <typeinfo>

#ifdef VALKIT_BUILD
#define VALKIT_API __declspec(dllexport)
#else
#define VALKIT_API __declspec(dllimport)
#endif

// A shared, reference-counted value of one type. Copies share the one value; the reference count
// changes atomically, so copies may live on several threads. The value itself never changes.
class VALKIT_API _value_t {
public:
    enum vtype_t { vt_empty, vt_int, vt_long, vt_ulong, vt_int64, vt_bool, vt_string, vt_wstring };

    _value_t() noexcept;
    _value_t(int v);
    _value_t(unsigned int v); // kept as an unsigned 32-bit long
    _value_t(long v);
    _value_t(unsigned long v);
    _value_t(long long v);
    _value_t(unsigned long long v); // kept as a signed 64-bit integer
    _value_t(bool v);
    _value_t(const char* v);
    _value_t(const std::string& v);
    _value_t(const wchar_t* v);
    _value_t(const std::wstring& v);
    _value_t(const _value_t& other) noexcept;
    _value_t(_value_t&& other) noexcept;
    _value_t& operator=(const _value_t& other) noexcept;
    _value_t& operator=(_value_t&& other) noexcept;
    ~_value_t();

    vtype_t vtype() const noexcept;
    // The C++ type the value was made from: typeid(int), typeid(long), typeid(unsigned long),
    // typeid(long long), typeid(bool), typeid(std::string), typeid(std::wstring); typeid(void) when empty.
    const std::type_info& type() const noexcept;
    bool empty() const noexcept { return m_p == nullptr; }
    bool is_number() const noexcept;

    int as_int() const noexcept; // numbers truncated; strings parsed (0 when not a number)
    long long as_int64() const noexcept;
    bool as_bool() const noexcept;
    std::wstring as_wstring() const; // decimal text of numbers, "true"/"false", the string itself
    std::string as_string() const;   // the same, narrowed through the ANSI code page
    operator long long() const noexcept { return as_int64(); }

    bool operator==(const _value_t& other) const; // same type and same value
    bool operator!=(const _value_t& other) const { return !(*this == other); }

    long use_count() const noexcept; // for tests of the sharing

private:
    struct data;
    explicit _value_t(data* p) noexcept : m_p(p) {}
    void release() noexcept;
    data* m_p;
};

// A point in time, kept as a UTC FILETIME count of 100 ns since 1601. Zero is the empty time.
class VALKIT_API _time_t {
public:
    _time_t() noexcept : m_t(0) {}
    explicit _time_t(long long t) noexcept : m_t(t) {}
    // Builds a time from a FILETIME; utc 1 takes it as UTC, 0 as local time (converted to UTC).
    static _time_t mktime(const FILETIME& ft, int utc);
    static _time_t now() noexcept;
    FILETIME filetime() const noexcept;
    long long value() const noexcept { return m_t; }
    bool empty() const noexcept { return m_t == 0; }
    bool operator==(const _time_t& o) const noexcept { return m_t == o.m_t; }
    bool operator!=(const _time_t& o) const noexcept { return m_t != o.m_t; }
    bool operator<(const _time_t& o) const noexcept { return m_t < o.m_t; }

private:
    long long m_t;
};

// The exception of the value library and of the store provider: a set of named values.
// Well-known names: "Code" (int result code), "HRESULT" (long), "Text" and "Error" (strings).
class VALKIT_API EGeneric : public std::exception {
public:
    EGeneric();
    explicit EGeneric(const std::string& text);
    EGeneric(const EGeneric& other);
    EGeneric& operator=(const EGeneric& other);
    ~EGeneric() override;

    _value_t& operator[](const char* name);      // adds an empty value when missing
    _value_t operator[](const char* name) const; // empty value when missing
    bool has(const char* name) const;
    const std::map<std::string, _value_t>& values() const { return m_values; }

    // The result a catcher returns at a module boundary: "Code" when it holds an int,
    // otherwise E_FAIL (0x80004005).
    int result_code() const;
    // "Text", else "Error", else a text made of the code; wide, for messages.
    std::wstring text() const;
    const char* what() const noexcept override;

private:
    std::map<std::string, _value_t> m_values;
    mutable std::string m_what;
};

// A store item was asked for an interface it does not have.
class VALKIT_API EBadCastException : public EGeneric {
public:
    EBadCastException();
    explicit EBadCastException(const std::string& text);
};

// Handler of COM errors raised by the COM support classes: throws EGeneric with "HRESULT" and
// "Text" (the error info's description, or the system's text of the code).
VALKIT_API void __stdcall throw_EGeneric_from_com_error(HRESULT hr, IErrorInfo* info);

// Raises EGeneric for a system error code (by default the calling thread's last error):
// "HRESULT" holds HRESULT_FROM_WIN32(code), "Error" the code and "Text" the system's message.
[[noreturn]] VALKIT_API void ThrowSystemException(DWORD code = GetLastError());

// Structured exceptions (access violations and the like) cannot be caught as C++ exceptions in
// code built with GCC, which has no __try/__except. Constructing this object installs, once per
// process, an unhandled-exception filter that reports the exception (code, address, thread) to
// the reporter, the debugger and the standard error stream, and then ends the process with the
// exception's code. The program builds one at start-up and one at the start of each worker thread,
// as the Visual C++ build did; the filter is process-wide, so the later ones only check it is there.
class VALKIT_API redirect_structured_exceptions {
public:
    redirect_structured_exceptions();
    ~redirect_structured_exceptions();
    typedef void (*reporter_t)(const std::wstring& text);
    // The program's reporter (for instance its error dialog); called on the failing thread.
    static void set_reporter(reporter_t reporter);
};

// Library flags; the program sets all three to 0 at start-up. Non-zero SaveMiniDump* flags make
// the structured-exception report also write a minidump beside the program (when dbghelp exists).
extern "C" VALKIT_API int SaveMiniDumpOnCppException;
extern "C" VALKIT_API int SaveMiniDumpOnStructuredException;
extern "C" VALKIT_API int ExtendDebugInformationFromException;

// printf-style formatting into a wide string; %s takes a wide string.
VALKIT_API std::wstring format_wstring(const wchar_t* format, ...);
VALKIT_API std::wstring vformat_wstring(const wchar_t* format, va_list args);

// Conversions between wide and narrow text through a code page (0: the ANSI code page).
VALKIT_API std::string as_string(const std::wstring& s, UINT codepage = CP_ACP);
VALKIT_API std::wstring as_wstring(const std::string& s, UINT codepage = CP_ACP);

// Upper- and lower-case copies by the system's case rules (never throws for a locale).
VALKIT_API std::wstring strupper(const std::wstring& s);
VALKIT_API std::wstring strlower(const std::wstring& s);

// Copies with the given characters taken off both ends, or off the right end only.
VALKIT_API std::wstring trim(const std::wstring& s, const wchar_t* chars = L" \t\r\n");
VALKIT_API std::wstring trimr(const std::wstring& s, const wchar_t* chars = L" \t\r\n");
