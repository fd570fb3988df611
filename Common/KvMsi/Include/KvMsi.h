// Windows Installer through msi.dll bound by ordinal, behind an interface of the calls the
// program makes, so that a test or a benchmark can answer them itself.
#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

namespace KvMsi {

// The ordinals of msi.dll's entry points that the program binds.
enum MsiOrdinal : WORD {
    OrdEnumComponentsW = 41,
    OrdEnumProductsW = 45,
    OrdGetProductInfoW = 70,
    OrdSetInternalUI = 141,
    OrdGetComponentPathW = 173,
};

// What the program asks of Windows Installer. Each call answers as the msi.dll function of the
// same name does.
class IInstallerSource {
public:
    virtual ~IInstallerSource() = default;
    virtual INSTALLUILEVEL SetInternalUI(INSTALLUILEVEL level, HWND* window) = 0;
    virtual UINT EnumProducts(DWORD index, LPWSTR productCode) = 0;
    virtual UINT GetProductInfo(LPCWSTR product, LPCWSTR property, LPWSTR buffer, LPDWORD length) = 0;
    virtual UINT EnumComponents(DWORD index, LPWSTR componentCode) = 0;
    virtual INSTALLSTATE GetComponentPath(LPCWSTR product, LPCWSTR component, LPWSTR buffer, LPDWORD length) = 0;
    // The products that use a component (MsiEnumClientsW). A source that cannot say answers
    // ERROR_CALL_NOT_IMPLEMENTED; the callers then ask each product of theirs in turn.
    virtual UINT EnumClients(LPCWSTR component, DWORD index, LPWSTR productCode) = 0;
    // The product, feature and component of an advertised shortcut's descriptor
    // (MsiDecomposeDescriptorW); ERROR_CALL_NOT_IMPLEMENTED when the source cannot say.
    virtual UINT DecomposeDescriptor(LPCWSTR descriptor, LPWSTR productCode, LPWSTR featureId, LPWSTR componentCode,
                                     LPDWORD argumentOffset) = 0;
};

// msi.dll of the system, loaded by the constructor and freed by the destructor. The five entry
// points of MsiOrdinal are bound by ordinal; the two that the program added later
// (MsiEnumClientsW, MsiDecomposeDescriptorW) by name, each optional. Failing to load the DLL or to
// bind an ordinal leaves the object not ready: Error() then holds the Win32 code.
class CMsiLibrary : public IInstallerSource {
public:
    CMsiLibrary();
    ~CMsiLibrary() override;
    CMsiLibrary(const CMsiLibrary&) = delete;
    CMsiLibrary& operator=(const CMsiLibrary&) = delete;

    bool IsReady() const { return m_error == 0; }
    DWORD Error() const { return m_error; }

    INSTALLUILEVEL SetInternalUI(INSTALLUILEVEL level, HWND* window) override;
    UINT EnumProducts(DWORD index, LPWSTR productCode) override;
    UINT GetProductInfo(LPCWSTR product, LPCWSTR property, LPWSTR buffer, LPDWORD length) override;
    UINT EnumComponents(DWORD index, LPWSTR componentCode) override;
    INSTALLSTATE GetComponentPath(LPCWSTR product, LPCWSTR component, LPWSTR buffer, LPDWORD length) override;
    UINT EnumClients(LPCWSTR component, DWORD index, LPWSTR productCode) override;
    UINT DecomposeDescriptor(LPCWSTR descriptor, LPWSTR productCode, LPWSTR featureId, LPWSTR componentCode,
                             LPDWORD argumentOffset) override;

private:
    typedef INSTALLUILEVEL(WINAPI* PFN_SetInternalUI)(INSTALLUILEVEL, HWND*);
    typedef UINT(WINAPI* PFN_Enum)(DWORD, LPWSTR);
    typedef UINT(WINAPI* PFN_GetProductInfo)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
    typedef INSTALLSTATE(WINAPI* PFN_GetComponentPath)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
    typedef UINT(WINAPI* PFN_EnumClients)(LPCWSTR, DWORD, LPWSTR);
    typedef UINT(WINAPI* PFN_DecomposeDescriptor)(LPCWSTR, LPWSTR, LPWSTR, LPWSTR, LPDWORD);

    HMODULE m_hModule = nullptr;
    DWORD m_error = 0;
    PFN_SetInternalUI m_pSetInternalUI = nullptr;
    PFN_Enum m_pEnumProducts = nullptr;
    PFN_GetProductInfo m_pGetProductInfo = nullptr;
    PFN_Enum m_pEnumComponents = nullptr;
    PFN_GetComponentPath m_pGetComponentPath = nullptr;
    PFN_EnumClients m_pEnumClients = nullptr;
    PFN_DecomposeDescriptor m_pDecomposeDescriptor = nullptr;
};

// The source the program's installer code uses: the one set by SetInstallerSource, else a
// CMsiLibrary made on first use and kept for the process. Null when msi.dll cannot be bound
// (GetLastError then holds the reason).
IInstallerSource* GetInstallerSource();
// Puts a source in place of the system's (null puts the system's back); returns the earlier one
// set (null for the system's). Not for use while another thread is inside the installer code.
IInstallerSource* SetInstallerSource(IInstallerSource* source);

// Sets the installer's user interface to the level while it lives and puts the earlier level back
// at its end.
class CInternalUiLevel {
public:
    CInternalUiLevel(IInstallerSource& source, INSTALLUILEVEL level) : m_source(source) {
        m_previous = m_source.SetInternalUI(level, nullptr);
    }
    ~CInternalUiLevel() { m_source.SetInternalUI(m_previous, nullptr); }
    CInternalUiLevel(const CInternalUiLevel&) = delete;
    CInternalUiLevel& operator=(const CInternalUiLevel&) = delete;

private:
    IInstallerSource& m_source;
    INSTALLUILEVEL m_previous;
};

// A product property read in full, whatever its length: ERROR_SUCCESS and the text, or the
// failing code of MsiGetProductInfoW.
UINT ReadProductProperty(IInstallerSource& source, LPCWSTR product, LPCWSTR property, std::wstring& value);
// The component's path for the product and the install state Windows Installer gave; a path
// longer than the first buffer is asked for again in full.
INSTALLSTATE ReadComponentPath(IInstallerSource& source, LPCWSTR product, LPCWSTR component, std::wstring& path);

} // namespace KvMsi
