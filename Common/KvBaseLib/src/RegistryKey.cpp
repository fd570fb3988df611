// Registry key access with a retry rule.
#include "RegistryKey.h"

#include <utility>

namespace KvBase {

namespace {

const wchar_t* RootName(HKEY hRoot) {
    if (hRoot == nullptr)
        return L"NONE";
    if (hRoot == HKEY_CLASSES_ROOT)
        return L"HKCR";
    if (hRoot == HKEY_CURRENT_USER)
        return L"HKCU";
    if (hRoot == HKEY_LOCAL_MACHINE)
        return L"HKLM";
    if (hRoot == HKEY_USERS)
        return L"HKU";
    if (hRoot == HKEY_CURRENT_CONFIG)
        return L"HKCC";
    if (hRoot == HKEY_DYN_DATA)
        return L"HKDD";
    return nullptr;
}

} // namespace

CRegistryKey::CRegistryKey(HKEY hRoot) : m_hKey(nullptr) {
    if (const wchar_t* pszName = RootName(hRoot)) {
        m_hKey = hRoot;
        m_strPath = pszName;
    }
}

CRegistryKey::CRegistryKey(const CRegistryKey& other) : m_hKey(nullptr) {
    if (other.m_hKey) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(other.m_hKey, nullptr, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &hKey) ==
                ERROR_SUCCESS ||
            RegOpenKeyExW(other.m_hKey, nullptr, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
            m_hKey = hKey;
            m_strPath = other.m_strPath;
        }
    }
}

CRegistryKey& CRegistryKey::operator=(const CRegistryKey& other) {
    if (this != &other) {
        CRegistryKey copy(other);
        Close();
        std::swap(m_hKey, copy.m_hKey);
        m_strPath = copy.m_strPath;
    }
    return *this;
}

CRegistryKey::CRegistryKey(CRegistryKey&& other) noexcept
    : m_hKey(other.m_hKey), m_strPath(std::move(other.m_strPath)) {
    other.m_hKey = nullptr;
}

CRegistryKey::~CRegistryKey() { Close(); }

int CRegistryKey::OnError(LONG /*lError*/, int /*nOperation*/, const std::wstring& /*strPath*/) { return ErrorGiveUp; }

LONG CRegistryKey::Open(const wchar_t* pszSubKey, bool bCreate, REGSAM samDesired) {
    std::wstring strPath = m_strPath;
    if (pszSubKey) {
        strPath += L"\\";
        strPath += pszSubKey;
    }
    HKEY hNew = nullptr;
    LONG lErr;
    for (;;) {
        if (bCreate)
            lErr = RegCreateKeyExW(m_hKey, pszSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, samDesired, nullptr, &hNew,
                                   nullptr);
        else
            lErr = RegOpenKeyExW(m_hKey, pszSubKey, 0, samDesired, &hNew);
        if (lErr == ERROR_SUCCESS)
            break;
        if (OnError(lErr, bCreate ? OpCreateKey : OpOpenKey, strPath) != ErrorRetry)
            return lErr;
    }
    HKEY hOld = m_hKey;
    m_hKey = hNew;
    m_strPath = strPath;
    if (hOld && hOld != hNew)
        RegCloseKey(hOld);
    return ERROR_SUCCESS;
}

LONG CRegistryKey::Close() {
    if (!m_hKey)
        return ERROR_SUCCESS;
    LONG lErr;
    while ((lErr = RegCloseKey(m_hKey)) != ERROR_SUCCESS && OnError(lErr, OpCloseKey, m_strPath) == ErrorRetry) {
    }
    m_hKey = nullptr;
    return lErr;
}

std::wstring CRegistryKey::ValuePath(const wchar_t* pszName) const {
    return m_strPath + L"\"" + (pszName ? pszName : L"") + L"\"";
}

LONG CRegistryKey::QueryValue(const wchar_t* pszName, SRegistryValue& value) {
    for (;;) {
        value.vecData.clear();
        value.strName = pszName ? pszName : L"";
        value.dwType = 0;
        DWORD dwType = 0;
        DWORD cbData = 0;
        LONG lErr = RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, nullptr, &cbData);
        if (lErr == ERROR_SUCCESS) {
            value.dwType = dwType;
            if (cbData != 0) {
                value.vecData.resize(cbData);
                lErr = RegQueryValueExW(m_hKey, pszName, nullptr, &dwType, value.vecData.data(), &cbData);
                if (lErr == ERROR_SUCCESS) {
                    // The value may have shrunk between the two calls.
                    value.vecData.resize(cbData);
                    value.dwType = dwType;
                }
            }
        }
        if (lErr == ERROR_SUCCESS)
            return lErr;
        if (OnError(lErr, OpQueryValue, ValuePath(pszName)) != ErrorRetry)
            return lErr;
    }
}

LONG CRegistryKey::QueryString(const wchar_t* pszName, std::wstring& strOut, const std::wstring& strDefault) {
    SRegistryValue value;
    LONG lErr = QueryValue(pszName, value);
    if (lErr != ERROR_SUCCESS) {
        strOut = strDefault;
        return lErr;
    }
    if (value.dwType == REG_SZ || value.dwType == REG_EXPAND_SZ) {
        // The data need not end with a null character, nor hold a whole number of characters:
        // read only the whole characters that lie inside it.
        size_t cch = value.vecData.size() / sizeof(wchar_t);
        std::wstring s(cch, L'\0');
        if (cch)
            memcpy(&s[0], value.vecData.data(), cch * sizeof(wchar_t));
        size_t nNull = s.find(L'\0');
        if (nNull != std::wstring::npos)
            s.erase(nNull);
        strOut = s;
    }
    return lErr;
}

LONG CRegistryKey::QueryDword(const wchar_t* pszName, int* pnOut, int nDefault) {
    SRegistryValue value;
    LONG lErr = QueryValue(pszName, value);
    if (lErr != ERROR_SUCCESS) {
        if (pnOut)
            *pnOut = nDefault;
        return lErr;
    }
    if (value.dwType == REG_DWORD && value.vecData.size() >= 4 && pnOut)
        memcpy(pnOut, value.vecData.data(), 4);
    return lErr;
}

LONG CRegistryKey::QueryDword(const wchar_t* pszName, DWORD* pdwOut, DWORD dwDefault) {
    static_assert(sizeof(DWORD) == sizeof(int), "32-bit values");
    return QueryDword(pszName, reinterpret_cast<int*>(pdwOut), static_cast<int>(dwDefault));
}

LONG CRegistryKey::SetString(const wchar_t* pszName, const std::wstring& strValue, DWORD dwType) {
    LONG lErr;
    while ((lErr = RegSetValueExW(m_hKey, pszName, 0, dwType, reinterpret_cast<const BYTE*>(strValue.c_str()),
                                  static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)))) != ERROR_SUCCESS &&
           OnError(lErr, OpSetValue, ValuePath(pszName)) == ErrorRetry) {
    }
    return lErr;
}

LONG CRegistryKey::SetDword(const wchar_t* pszName, DWORD dwValue) {
    LONG lErr;
    while ((lErr = RegSetValueExW(m_hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                                  sizeof(dwValue))) != ERROR_SUCCESS &&
           OnError(lErr, OpSetValue, ValuePath(pszName)) == ErrorRetry) {
    }
    return lErr;
}

LONG CRegistryKey::DeleteValue(const wchar_t* pszName) {
    LONG lErr;
    while ((lErr = RegDeleteValueW(m_hKey, pszName)) != ERROR_SUCCESS &&
           OnError(lErr, OpDeleteValue, ValuePath(pszName)) == ErrorRetry) {
    }
    return lErr;
}

} // namespace KvBase
