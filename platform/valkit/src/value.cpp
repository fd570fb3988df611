// _value_t and _time_t.
#include "valkit.h"

#include <cwchar>
#include <new>

struct _value_t::data {
    std::atomic<long> refs{1};
    vtype_t type = vt_empty;
    long long n = 0; // every numeric kind and bool
    std::string s;
    std::wstring ws;
};

_value_t::_value_t() noexcept : m_p(nullptr) {}

#define KV_NUMBER_CTOR(T, VT)                                                                                          \
    _value_t::_value_t(T v) : m_p(new data) {                                                                          \
        m_p->type = VT;                                                                                                \
        m_p->n = static_cast<long long>(v);                                                                            \
    }
KV_NUMBER_CTOR(int, vt_int)
KV_NUMBER_CTOR(unsigned int, vt_ulong)
KV_NUMBER_CTOR(long, vt_long)
KV_NUMBER_CTOR(unsigned long, vt_ulong)
KV_NUMBER_CTOR(long long, vt_int64)
KV_NUMBER_CTOR(unsigned long long, vt_int64)
KV_NUMBER_CTOR(bool, vt_bool)
#undef KV_NUMBER_CTOR

_value_t::_value_t(const char* v) : _value_t(std::string(v ? v : "")) {}
_value_t::_value_t(const std::string& v) : m_p(new data) {
    m_p->type = vt_string;
    m_p->s = v;
}
_value_t::_value_t(const wchar_t* v) : _value_t(std::wstring(v ? v : L"")) {}
_value_t::_value_t(const std::wstring& v) : m_p(new data) {
    m_p->type = vt_wstring;
    m_p->ws = v;
}

_value_t::_value_t(const _value_t& other) noexcept : m_p(other.m_p) {
    if (m_p)
        m_p->refs.fetch_add(1, std::memory_order_relaxed);
}
_value_t::_value_t(_value_t&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }

_value_t& _value_t::operator=(const _value_t& other) noexcept {
    if (other.m_p)
        other.m_p->refs.fetch_add(1, std::memory_order_relaxed);
    release();
    m_p = other.m_p;
    return *this;
}
_value_t& _value_t::operator=(_value_t&& other) noexcept {
    if (this != &other) {
        release();
        m_p = other.m_p;
        other.m_p = nullptr;
    }
    return *this;
}
_value_t::~_value_t() { release(); }

void _value_t::release() noexcept {
    if (m_p && m_p->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete m_p;
    m_p = nullptr;
}

_value_t::vtype_t _value_t::vtype() const noexcept { return m_p ? m_p->type : vt_empty; }

const std::type_info& _value_t::type() const noexcept {
    switch (vtype()) {
    case vt_int:
        return typeid(int);
    case vt_long:
        return typeid(long);
    case vt_ulong:
        return typeid(unsigned long);
    case vt_int64:
        return typeid(long long);
    case vt_bool:
        return typeid(bool);
    case vt_string:
        return typeid(std::string);
    case vt_wstring:
        return typeid(std::wstring);
    default:
        return typeid(void);
    }
}

bool _value_t::is_number() const noexcept {
    vtype_t t = vtype();
    return t == vt_int || t == vt_long || t == vt_ulong || t == vt_int64 || t == vt_bool;
}

long long _value_t::as_int64() const noexcept {
    if (!m_p)
        return 0;
    switch (m_p->type) {
    case vt_string:
        return _strtoi64(m_p->s.c_str(), nullptr, 0);
    case vt_wstring:
        return _wcstoi64(m_p->ws.c_str(), nullptr, 0);
    default:
        return m_p->n;
    }
}

int _value_t::as_int() const noexcept { return static_cast<int>(as_int64()); }

bool _value_t::as_bool() const noexcept {
    if (!m_p)
        return false;
    if (m_p->type == vt_wstring)
        return _wcsicmp(m_p->ws.c_str(), L"true") == 0 || as_int64() != 0;
    if (m_p->type == vt_string)
        return _stricmp(m_p->s.c_str(), "true") == 0 || as_int64() != 0;
    return m_p->n != 0;
}

std::wstring _value_t::as_wstring() const {
    if (!m_p)
        return std::wstring();
    switch (m_p->type) {
    case vt_wstring:
        return m_p->ws;
    case vt_string:
        return ::as_wstring(m_p->s, CP_ACP);
    case vt_bool:
        return m_p->n ? L"true" : L"false";
    default:
        return std::to_wstring(m_p->n);
    }
}

std::string _value_t::as_string() const {
    if (!m_p)
        return std::string();
    if (m_p->type == vt_string)
        return m_p->s;
    return ::as_string(as_wstring(), CP_ACP);
}

bool _value_t::operator==(const _value_t& other) const {
    if (m_p == other.m_p)
        return true;
    if (vtype() != other.vtype())
        return false;
    switch (vtype()) {
    case vt_string:
        return m_p->s == other.m_p->s;
    case vt_wstring:
        return m_p->ws == other.m_p->ws;
    default:
        return m_p->n == other.m_p->n;
    }
}

long _value_t::use_count() const noexcept { return m_p ? m_p->refs.load() : 0; }

_time_t _time_t::mktime(const FILETIME& ft, int utc) {
    FILETIME u = ft;
    if (!utc)
        LocalFileTimeToFileTime(&ft, &u);
    ULARGE_INTEGER li;
    li.LowPart = u.dwLowDateTime;
    li.HighPart = u.dwHighDateTime;
    return _time_t(static_cast<long long>(li.QuadPart));
}

_time_t _time_t::now() noexcept {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER li;
    li.LowPart = ft.dwLowDateTime;
    li.HighPart = ft.dwHighDateTime;
    return _time_t(static_cast<long long>(li.QuadPart));
}

FILETIME _time_t::filetime() const noexcept {
    ULARGE_INTEGER li;
    li.QuadPart = static_cast<unsigned long long>(m_t);
    FILETIME ft;
    ft.dwLowDateTime = li.LowPart;
    ft.dwHighDateTime = li.HighPart;
    return ft;
}
