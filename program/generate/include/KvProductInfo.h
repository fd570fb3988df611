// What Windows Installer knows of the programs installed on this computer: the installed products
// with their names, and the paths of a product's components (files, folders, registry keys and
// values). Reached through the shared installer binding (Common/KvMsi), which tests replace.
// Failures are raised as KvBase::CVoRurod with the source "KvProductInfo".
#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <map>
#include <string>

#include "ValueClasses.h"

namespace KvMsi {
class IInstallerSource;
}

// One installed product: its code (the GUID base, valid when the text parses), the code text as
// Windows Installer enumerated it, "InstalledProductName", the per-machine flag ("AssignmentType"
// "1") and "LocalPackage" (empty when it cannot be read).
class CInstalledProductInfo : public KvBase::CGuid {
public:
    // Reads the product's properties; raises KvBase::CVoRurod when the name or the assignment
    // type cannot be read.
    explicit CInstalledProductInfo(const std::wstring& productCode);
    // A record from known values (tests, lists built elsewhere); nothing is read.
    CInstalledProductInfo(const std::wstring& productCode, const std::wstring& name, BYTE perMachine,
                          const std::wstring& localPackage);

    std::wstring m_strProductCode;
    std::wstring m_strProductName;
    BYTE m_bPerMachine = 0;
    std::wstring m_strLocalPackage;
};

// Registry root codes of a component path ("00:".."03:" and the 64-bit "20:".."23:").
enum ComponentRoot { RootNone = 0, RootClassesRoot = 1, RootCurrentUser = 2, RootLocalMachine = 3, RootUsers = 4 };

// One component of one product as Windows Installer reports it for that product.
struct SProductComponent {
    // Asks Windows Installer for the component's path for the product; only an installed-locally
    // (3) or broken (0) component keeps its codes and path, any other state leaves the record empty.
    SProductComponent(const std::wstring& componentCode, const std::wstring& productCode);
    // A record from known values (the path's root code is derived from it); nothing is asked.
    static SProductComponent FromPath(const std::wstring& componentCode, const std::wstring& productCode,
                                      const std::wstring& path);

    std::wstring GetPath() const { return m_strPath; }
    // Records compare by path without regard to case.
    bool operator<(const SProductComponent& other) const {
        return _wcsicmp(m_strPath.c_str(), other.m_strPath.c_str()) < 0;
    }
    bool operator==(const SProductComponent& other) const {
        return _wcsicmp(m_strPath.c_str(), other.m_strPath.c_str()) == 0;
    }

    // The root code of a component path: 1-4 for "0n:"/"2n:" with n 0-3, else 0.
    static int RootOfPath(const std::wstring& path);
    // Whether a registry path is of the 64-bit registry ("2n:").
    bool Is64BitRegistry() const { return m_nRoot != RootNone && !m_strPath.empty() && m_strPath[0] == L'2'; }

    KvBase::CGuid m_ComponentCode;
    KvBase::CGuid m_ProductCode;
    std::wstring m_strPath;
    int m_nRoot = RootNone;

private:
    SProductComponent() = default;
    void Take(const std::wstring& componentCode, const std::wstring& productCode, const std::wstring& path);
};

// Fills the list with every installed product that has a name, in enumeration order; raises
// KvBase::CVoRurod when the enumeration fails (what was gathered stays in the list).
void GetInstalledProducts(std::list<CInstalledProductInfo>& products);

// Fills the list with the components of one product that have a path, sorted by path without
// regard to case, one record per path; raises KvBase::CVoRurod when the enumeration fails.
void GetInstalledProductComponentList(const std::wstring& productCode, std::list<SProductComponent>& components);

// The components of several products from one pass over the computer's components: each list
// keyed by the product code text as given, sorted and made unique as above. A component is asked
// for only of the products that use it (when Windows Installer can say which do), so the cost
// follows the number of components, not products times components. Raises as above.
// The progress callback, when given, is called with the count of components walked every 256
// components; false from it ends the pass early (the lists then hold what was found so far).
typedef std::map<std::wstring, std::list<SProductComponent>> CProductComponentMap;
void GetInstalledProductsComponentLists(const std::list<std::wstring>& productCodes, CProductComponentMap& lists,
                                        const std::function<bool(DWORD)>& progress = nullptr);
