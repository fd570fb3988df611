// An installer source of the tests: products with their properties and components with their
// paths per product, answered as msi.dll answers, with call counts. Installed for a scope.
#pragma once

#include "KvMsi.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvgen {

class CFakeInstaller : public KvMsi::IInstallerSource {
public:
    struct Product {
        std::wstring code;
        std::map<std::wstring, std::wstring> properties; // name -> value; absent: unknown property
    };
    struct Component {
        std::wstring code;
        std::map<std::wstring, std::wstring> paths; // product code -> path (installed locally)
    };

    std::vector<Product> products;
    std::vector<Component> components;
    UINT productsEnd = ERROR_NO_MORE_ITEMS;   // the result after the last product
    UINT componentsEnd = ERROR_NO_MORE_ITEMS; // the result after the last component
    bool clientsKnown = true;                 // EnumClients answers (else not implemented)
    // Called with the product and component of each GetComponentPath (tests act in the middle of a run).
    std::function<void(const std::wstring&, const std::wstring&)> onComponentPath;

    int enumComponentCalls = 0;
    int componentPathCalls = 0;
    int uiLevel = INSTALLUILEVEL_DEFAULT;

    CFakeInstaller() : m_previous(KvMsi::SetInstallerSource(this)) {}
    ~CFakeInstaller() override { KvMsi::SetInstallerSource(m_previous); }

    void AddProduct(const std::wstring& code, const std::wstring& name, const wchar_t* assignment = L"1") {
        Product p;
        p.code = code;
        p.properties[INSTALLPROPERTY_INSTALLEDPRODUCTNAME] = name;
        if (assignment)
            p.properties[INSTALLPROPERTY_ASSIGNMENTTYPE] = assignment;
        products.push_back(p);
    }
    void AddComponent(const std::wstring& code, const std::wstring& product, const std::wstring& path) {
        auto found = m_componentIndex.find(Key(code));
        if (found != m_componentIndex.end()) {
            components[found->second].paths[product] = path;
            return;
        }
        Component c;
        c.code = code;
        c.paths[product] = path;
        m_componentIndex[Key(code)] = components.size();
        components.push_back(c);
    }

    INSTALLUILEVEL SetInternalUI(INSTALLUILEVEL level, HWND*) override {
        INSTALLUILEVEL old = (INSTALLUILEVEL)uiLevel;
        if (level != INSTALLUILEVEL_NOCHANGE)
            uiLevel = level;
        return old;
    }
    UINT EnumProducts(DWORD index, LPWSTR code) override {
        if (index >= products.size())
            return productsEnd;
        wcscpy(code, products[index].code.c_str());
        return ERROR_SUCCESS;
    }
    UINT GetProductInfo(LPCWSTR product, LPCWSTR property, LPWSTR buffer, LPDWORD length) override {
        for (const Product& p : products) {
            if (_wcsicmp(p.code.c_str(), product))
                continue;
            auto it = p.properties.find(property);
            if (it == p.properties.end())
                return ERROR_UNKNOWN_PROPERTY;
            if (*length <= it->second.size()) {
                *length = (DWORD)it->second.size();
                return ERROR_MORE_DATA;
            }
            wcscpy(buffer, it->second.c_str());
            *length = (DWORD)it->second.size();
            return ERROR_SUCCESS;
        }
        return ERROR_UNKNOWN_PRODUCT;
    }
    UINT EnumComponents(DWORD index, LPWSTR code) override {
        ++enumComponentCalls;
        if (index >= components.size())
            return componentsEnd;
        wcscpy(code, components[index].code.c_str());
        return ERROR_SUCCESS;
    }
    INSTALLSTATE GetComponentPath(LPCWSTR product, LPCWSTR component, LPWSTR buffer, LPDWORD length) override {
        ++componentPathCalls;
        if (onComponentPath)
            onComponentPath(product, component);
        if (const Component* found = FindComponent(component)) {
            const Component& c = *found;
            for (const auto& p : c.paths)
                if (!_wcsicmp(p.first.c_str(), product)) {
                    if (*length <= p.second.size()) {
                        *length = (DWORD)p.second.size();
                        return INSTALLSTATE_MOREDATA;
                    }
                    wcscpy(buffer, p.second.c_str());
                    *length = (DWORD)p.second.size();
                    return INSTALLSTATE_LOCAL;
                }
            return INSTALLSTATE_UNKNOWN;
        }
        return INSTALLSTATE_UNKNOWN;
    }
    UINT EnumClients(LPCWSTR component, DWORD index, LPWSTR product) override {
        if (!clientsKnown)
            return ERROR_CALL_NOT_IMPLEMENTED;
        if (const Component* found = FindComponent(component)) {
            const Component& c = *found;
            if (index >= c.paths.size())
                return ERROR_NO_MORE_ITEMS;
            auto it = c.paths.begin();
            std::advance(it, index);
            wcscpy(product, it->first.c_str());
            return ERROR_SUCCESS;
        }
        return ERROR_UNKNOWN_COMPONENT;
    }
    // Descriptors this source knows: descriptor text -> (product, component).
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> descriptors;
    UINT DecomposeDescriptor(LPCWSTR descriptor, LPWSTR product, LPWSTR feature, LPWSTR component,
                             LPDWORD offset) override {
        auto it = descriptors.find(descriptor);
        if (it == descriptors.end())
            return ERROR_INVALID_PARAMETER;
        wcscpy(product, it->second.first.c_str());
        wcscpy(feature, L"Main");
        wcscpy(component, it->second.second.c_str());
        if (offset)
            *offset = (DWORD)wcslen(descriptor);
        return ERROR_SUCCESS;
    }

private:
    static std::wstring Key(const std::wstring& code) {
        std::wstring k(code);
        for (wchar_t& ch : k)
            ch = towupper(ch);
        return k;
    }
    const Component* FindComponent(const wchar_t* code) const {
        auto found = m_componentIndex.find(Key(code));
        return found == m_componentIndex.end() ? nullptr : &components[found->second];
    }
    std::map<std::wstring, size_t> m_componentIndex;
    KvMsi::IInstallerSource* m_previous;
};

// A GUID text of the tests: "{00000000-0000-0000-0000-0000000000nn}" style with a tag.
inline std::wstring Guid(unsigned tag, unsigned n) {
    wchar_t text[40];
    swprintf(text, 40, L"{%08X-0000-4000-8000-%012X}", tag, n);
    return text;
}

} // namespace kvgen
