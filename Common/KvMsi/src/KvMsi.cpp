// msi.dll bound by ordinal, and the process's installer source.
#include "KvMsi.h"

#include "KvProcAddress.h"

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace KvMsi {

CMsiLibrary::CMsiLibrary() {
    m_hModule = ::LoadLibraryW(L"msi.dll");
    if (!m_hModule) {
        m_error = ::GetLastError();
        return;
    }
    auto bind = [this](WORD ordinal, auto& slot) {
        using Fn = std::remove_reference_t<decltype(slot)>;
        slot = KvGetProcAddress<Fn>(m_hModule, MAKEINTRESOURCEA(ordinal));
        if (!slot && !m_error)
            m_error = ::GetLastError() ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
    };
    bind(OrdSetInternalUI, m_pSetInternalUI);
    bind(OrdEnumProductsW, m_pEnumProducts);
    bind(OrdGetProductInfoW, m_pGetProductInfo);
    bind(OrdEnumComponentsW, m_pEnumComponents);
    bind(OrdGetComponentPathW, m_pGetComponentPath);
    m_pEnumClients = KvGetProcAddress<PFN_EnumClients>(m_hModule, "MsiEnumClientsW");
    m_pDecomposeDescriptor = KvGetProcAddress<PFN_DecomposeDescriptor>(m_hModule, "MsiDecomposeDescriptorW");
}

CMsiLibrary::~CMsiLibrary() {
    if (m_hModule)
        ::FreeLibrary(m_hModule);
}

INSTALLUILEVEL CMsiLibrary::SetInternalUI(INSTALLUILEVEL level, HWND* window) {
    return m_pSetInternalUI ? m_pSetInternalUI(level, window) : INSTALLUILEVEL_NOCHANGE;
}

UINT CMsiLibrary::EnumProducts(DWORD index, LPWSTR productCode) {
    return m_pEnumProducts ? m_pEnumProducts(index, productCode) : ERROR_CALL_NOT_IMPLEMENTED;
}

UINT CMsiLibrary::GetProductInfo(LPCWSTR product, LPCWSTR property, LPWSTR buffer, LPDWORD length) {
    return m_pGetProductInfo ? m_pGetProductInfo(product, property, buffer, length) : ERROR_CALL_NOT_IMPLEMENTED;
}

UINT CMsiLibrary::EnumComponents(DWORD index, LPWSTR componentCode) {
    return m_pEnumComponents ? m_pEnumComponents(index, componentCode) : ERROR_CALL_NOT_IMPLEMENTED;
}

INSTALLSTATE CMsiLibrary::GetComponentPath(LPCWSTR product, LPCWSTR component, LPWSTR buffer, LPDWORD length) {
    return m_pGetComponentPath ? m_pGetComponentPath(product, component, buffer, length) : INSTALLSTATE_UNKNOWN;
}

UINT CMsiLibrary::EnumClients(LPCWSTR component, DWORD index, LPWSTR productCode) {
    return m_pEnumClients ? m_pEnumClients(component, index, productCode) : ERROR_CALL_NOT_IMPLEMENTED;
}

UINT CMsiLibrary::DecomposeDescriptor(LPCWSTR descriptor, LPWSTR productCode, LPWSTR featureId, LPWSTR componentCode,
                                      LPDWORD argumentOffset) {
    return m_pDecomposeDescriptor
               ? m_pDecomposeDescriptor(descriptor, productCode, featureId, componentCode, argumentOffset)
               : ERROR_CALL_NOT_IMPLEMENTED;
}

namespace {

std::atomic<IInstallerSource*> g_source{nullptr};

} // namespace

IInstallerSource* GetInstallerSource() {
    if (IInstallerSource* set = g_source.load())
        return set;
    // The system's source is made once and kept for the process (msi.dll stays loaded).
    static CMsiLibrary* system = nullptr;
    static DWORD error = 0;
    static std::once_flag once;
    std::call_once(once, [] {
        CMsiLibrary* made = new CMsiLibrary();
        if (made->IsReady()) {
            system = made;
        } else {
            error = made->Error();
            delete made;
        }
    });
    if (!system)
        ::SetLastError(error);
    return system;
}

IInstallerSource* SetInstallerSource(IInstallerSource* source) { return g_source.exchange(source); }

namespace {

// Calls a reader with a buffer of 512 characters and once more with one of the length it asked for
// when it answered "more data"; the text read goes into the string when the answer is one of `ok`.
template <class R, class Call>
R ReadInFull(R moreData, std::initializer_list<R> ok, std::wstring& text, Call call) {
    text.clear();
    std::vector<wchar_t> buffer(512, L'\0');
    DWORD length = (DWORD)buffer.size();
    R r = call(buffer.data(), &length);
    if (r == moreData) {
        buffer.assign(length + 1, L'\0');
        length = (DWORD)buffer.size();
        r = call(buffer.data(), &length);
    }
    for (R good : ok)
        if (r == good)
            text.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    return r;
}

} // namespace

UINT ReadProductProperty(IInstallerSource& source, LPCWSTR product, LPCWSTR property, std::wstring& value) {
    return ReadInFull<UINT>(ERROR_MORE_DATA, {ERROR_SUCCESS}, value, [&](LPWSTR buffer, LPDWORD length) {
        return source.GetProductInfo(product, property, buffer, length);
    });
}

INSTALLSTATE ReadComponentPath(IInstallerSource& source, LPCWSTR product, LPCWSTR component, std::wstring& path) {
    return ReadInFull<INSTALLSTATE>(
        INSTALLSTATE_MOREDATA, {INSTALLSTATE_LOCAL, INSTALLSTATE_BROKEN, INSTALLSTATE_SOURCE}, path,
        [&](LPWSTR buffer, LPDWORD length) { return source.GetComponentPath(product, component, buffer, length); });
}

} // namespace KvMsi
