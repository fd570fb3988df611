// Installed products and their components from Windows Installer.
#include "KvProductInfo.h"

#include "KvMsi.h"
#include "KvText.h"
#include "VoRurod.h"

#include <objbase.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

const wchar_t kSource[] = L"KvProductInfo";

int MapCode(UINT r) {
    int code = (int)r;
    return code < 0 ? code : (int)(0x80070000u | (r & 0xFFFFu));
}

[[noreturn]] void Raise(UINT r, int line, const wchar_t* function) {
    throw KvBase::CVoRurod(MapCode(r), kSource, line, function);
}

KvMsi::IInstallerSource& Source(int line, const wchar_t* function) {
    KvMsi::IInstallerSource* source = KvMsi::GetInstallerSource();
    if (!source)
        Raise(::GetLastError() ? ::GetLastError() : ERROR_MOD_NOT_FOUND, line, function);
    return *source;
}

void ParseGuid(const std::wstring& text, KvBase::CGuid& guid) {
    guid.m_guid = GUID();
    guid.m_bValid = false;
    std::vector<wchar_t> copy(text.begin(), text.end());
    copy.push_back(L'\0');
    if (SUCCEEDED(::CLSIDFromString(copy.data(), &guid.m_guid)))
        guid.m_bValid = true;
    else
        guid.m_guid = GUID();
}

// Sorted by path without regard to case (stable), then one record per path: the first of its run.
void SortUnique(std::list<SProductComponent>& list) {
    list.sort([](const SProductComponent& a, const SProductComponent& b) { return a < b; });
    list.unique([](const SProductComponent& a, const SProductComponent& b) { return a == b; });
}

} // namespace

CInstalledProductInfo::CInstalledProductInfo(const std::wstring& productCode) {
    static const wchar_t kFunction[] = L"CInstalledProductInfo::CInstalledProductInfo";
    m_strProductCode = productCode;
    ParseGuid(productCode, *this);
    KvMsi::IInstallerSource& msi = Source(__LINE__, kFunction);
    std::wstring value;
    UINT r = KvMsi::ReadProductProperty(msi, productCode.c_str(), INSTALLPROPERTY_INSTALLEDPRODUCTNAME, value);
    if (r != ERROR_SUCCESS)
        Raise(r, 31, kFunction);
    m_strProductName = value;
    r = KvMsi::ReadProductProperty(msi, productCode.c_str(), INSTALLPROPERTY_ASSIGNMENTTYPE, value);
    if (r != ERROR_SUCCESS)
        Raise(r, 36, kFunction);
    m_bPerMachine = ::lstrcmpiW(value.c_str(), L"1") == 0 ? 1 : 0;
    if (KvMsi::ReadProductProperty(msi, productCode.c_str(), INSTALLPROPERTY_LOCALPACKAGE, value) == ERROR_SUCCESS)
        m_strLocalPackage = value;
}

CInstalledProductInfo::CInstalledProductInfo(const std::wstring& productCode, const std::wstring& name, BYTE perMachine,
                                             const std::wstring& localPackage)
    : m_strProductCode(productCode), m_strProductName(name), m_bPerMachine(perMachine),
      m_strLocalPackage(localPackage) {
    ParseGuid(productCode, *this);
}

int SProductComponent::RootOfPath(const std::wstring& path) {
    if (path.size() < 3 || path[2] != L':')
        return RootNone;
    if (path[0] != L'0' && path[0] != L'2')
        return RootNone;
    if (path[1] < L'0' || path[1] > L'3')
        return RootNone;
    return path[1] - L'0' + 1;
}

void SProductComponent::Take(const std::wstring& componentCode, const std::wstring& productCode,
                             const std::wstring& path) {
    ParseGuid(componentCode, m_ComponentCode);
    ParseGuid(productCode, m_ProductCode);
    m_strPath = path;
    m_nRoot = RootOfPath(path);
}

SProductComponent::SProductComponent(const std::wstring& componentCode, const std::wstring& productCode) {
    KvMsi::IInstallerSource& msi = Source(__LINE__, L"SProductComponent::SProductComponent");
    std::wstring path;
    INSTALLSTATE state = KvMsi::ReadComponentPath(msi, productCode.c_str(), componentCode.c_str(), path);
    if (state == INSTALLSTATE_LOCAL || state == INSTALLSTATE_BROKEN)
        Take(componentCode, productCode, path);
}

SProductComponent SProductComponent::FromPath(const std::wstring& componentCode, const std::wstring& productCode,
                                              const std::wstring& path) {
    SProductComponent record;
    record.Take(componentCode, productCode, path);
    return record;
}

void GetInstalledProducts(std::list<CInstalledProductInfo>& products) {
    static const wchar_t kFunction[] = L"GetInstalledProducts";
    products.clear();
    KvMsi::IInstallerSource& msi = Source(__LINE__, kFunction);
    msi.SetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    wchar_t code[40];
    UINT r;
    for (DWORD i = 0; (r = msi.EnumProducts(i, code)) == ERROR_SUCCESS; ++i) {
        code[39] = L'\0';
        try {
            CInstalledProductInfo info(code);
            if (!info.m_strProductName.empty())
                products.push_back(info);
        } catch (const KvBase::CVoRurod&) {
            // a product whose name or assignment cannot be read is left out
        }
    }
    if (r != ERROR_NO_MORE_ITEMS)
        Raise(r, 117, kFunction);
}

void GetInstalledProductComponentList(const std::wstring& productCode, std::list<SProductComponent>& components) {
    components.clear();
    CProductComponentMap lists;
    try {
        GetInstalledProductsComponentLists({productCode}, lists);
    } catch (const KvBase::CVoRurod& e) {
        // what was gathered before the failure stays, unsorted
        components.swap(lists[productCode]);
        KvBase::CVoRurod copy(e);
        copy.SetField(L"Function", L"GetInstalledProductComponentList");
        throw copy;
    }
    components.swap(lists[productCode]);
}

void GetInstalledProductsComponentLists(const std::list<std::wstring>& productCodes, CProductComponentMap& lists,
                                        const std::function<bool(DWORD)>& progress) {
    static const wchar_t kFunction[] = L"GetInstalledProductComponentList";
    lists.clear();
    // The wanted products by their upper-cased code, to the code as the caller gave it.
    std::map<std::wstring, std::wstring> wanted;
    for (const std::wstring& code : productCodes) {
        wanted.emplace(KvBase::UpperCase(code), code);
        lists[code];
    }
    if (wanted.empty())
        return;
    KvMsi::IInstallerSource& msi = Source(__LINE__, kFunction);
    msi.SetInternalUI(INSTALLUILEVEL_NONE, nullptr);

    auto add = [&](const wchar_t* component, const std::wstring& product) {
        try {
            SProductComponent record(component, product);
            if (!record.m_strPath.empty())
                lists[product].push_back(record);
        } catch (const KvBase::CVoRurod&) {
            // the record is dropped
        }
    };

    bool clientsKnown = true; // Windows Installer names the products of a component
    wchar_t component[40];
    wchar_t client[40];
    UINT r;
    for (DWORD i = 0; (r = msi.EnumComponents(i, component)) == ERROR_SUCCESS; ++i) {
        component[39] = L'\0';
        if (progress && (i & 0xFF) == 0 && i && !progress(i)) {
            r = ERROR_NO_MORE_ITEMS;
            break;
        }
        if (clientsKnown) {
            UINT c = ERROR_SUCCESS;
            for (DWORD j = 0; (c = msi.EnumClients(component, j, client)) == ERROR_SUCCESS; ++j) {
                client[39] = L'\0';
                auto found = wanted.find(KvBase::UpperCase(client));
                if (found != wanted.end())
                    add(component, found->second);
            }
            if (c == ERROR_CALL_NOT_IMPLEMENTED)
                clientsKnown = false; // ask every wanted product from here on
            else
                continue;
        }
        for (const auto& product : wanted)
            add(component, product.second);
    }
    if (r != ERROR_NO_MORE_ITEMS)
        Raise(r, 157, kFunction);
    for (auto& entry : lists)
        SortUnique(entry.second);
}
