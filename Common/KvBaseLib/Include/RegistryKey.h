// A registry key that remembers its path ("HKLM\Software\...") and asks OnError after every
// failed registry call whether to repeat it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace KvBase {

// One value as a query returns it.
struct SRegistryValue {
    std::wstring strName;
    std::vector<BYTE> vecData;
    DWORD dwType = 0;
};

class CRegistryKey {
public:
    // Operation codes passed to OnError.
    enum { OpCreateKey = 3, OpOpenKey = 4, OpCloseKey = 5, OpQueryValue = 6, OpSetValue = 7, OpDeleteValue = 8 };
    // OnError results.
    enum { ErrorRetry = 1, ErrorGiveUp = 2 };

    // From a root key: HKCR, HKCU, HKLM, HKU, HKCC, HKDD, or "NONE" for a null handle; any other
    // value gives no handle and an empty path.
    explicit CRegistryKey(HKEY hRoot = nullptr);
    // Opens the other's key again (read-write, else read-only) when it is open.
    CRegistryKey(const CRegistryKey& other);
    CRegistryKey& operator=(const CRegistryKey& other);
    CRegistryKey(CRegistryKey&& other) noexcept;
    virtual ~CRegistryKey();

    // Moves down to the subkey (created when bCreate). On failure the key and path stay as they were.
    LONG Open(const wchar_t* pszSubKey, bool bCreate, REGSAM samDesired);
    // Closes the key; the handle is forgotten in any case, the path stays.
    LONG Close();

    LONG QueryValue(const wchar_t* pszName, SRegistryValue& value);
    // REG_SZ or REG_EXPAND_SZ (not expanded), read up to its first null or its end; the default
    // on a query error; another type leaves strOut unchanged.
    LONG QueryString(const wchar_t* pszName, std::wstring& strOut, const std::wstring& strDefault);
    // REG_DWORD of at least four bytes; the default on a query error; else unchanged.
    LONG QueryDword(const wchar_t* pszName, int* pnOut, int nDefault);
    LONG QueryDword(const wchar_t* pszName, DWORD* pdwOut, DWORD dwDefault);

    LONG SetString(const wchar_t* pszName, const std::wstring& strValue, DWORD dwType = REG_SZ);
    LONG SetDword(const wchar_t* pszName, DWORD dwValue);
    LONG DeleteValue(const wchar_t* pszName);

    HKEY GetHandle() const { return m_hKey; }
    bool IsOpen() const { return m_hKey != nullptr; }
    const std::wstring& GetPath() const { return m_strPath; }

    // Asked after every failed registry call: ErrorRetry repeats the call, anything else gives up
    // and the operation returns the error. The library gives up.
    virtual int OnError(LONG lError, int nOperation, const std::wstring& strPath);

private:
    std::wstring ValuePath(const wchar_t* pszName) const;

    HKEY m_hKey;
    std::wstring m_strPath;
};

} // namespace KvBase
