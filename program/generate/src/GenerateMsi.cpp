// Tasks from Windows Installer's data: a task per product with its "Файлы" and "Реестр" groups.
#include "GenerateCommon.h"

#include "KvExchangeUtils.h"
#include "KvProcAddress.h"
#include "KvRegTokens.h"
#include "KvText.h"
#include "linkwalk.h"
#include "VoRurod.h"

#include <shlwapi.h>
#include <winternl.h>

#include <vector>

using namespace KvGenerate;

namespace {

struct SRoot {
    const wchar_t* name;
    HKEY key;
};

// The root key of a full root name at the start of a path, and where the rest begins.
bool SplitRoot(const std::wstring& path, HKEY& root, std::wstring& rest) {
    static const SRoot roots[] = {{L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                  {L"HKEY_USERS", HKEY_USERS},
                                  {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                  {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    for (const SRoot& r : roots) {
        size_t n = wcslen(r.name);
        if (path.size() >= n && _wcsnicmp(path.c_str(), r.name, n) == 0 && (path.size() == n || path[n] == L'\\')) {
            root = r.key;
            rest = path.size() > n ? path.substr(n + 1) : std::wstring();
            return true;
        }
    }
    return false;
}

typedef LONG(NTAPI* PFN_NtQueryKey)(HANDLE, int, PVOID, ULONG, PULONG);

// The key's full name as the 64-bit view sees it ("HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\...");
// empty when the system does not say.
std::wstring RealKeyName(HKEY key) {
    static PFN_NtQueryKey query = KvGetProcAddress<PFN_NtQueryKey>(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
    if (!query)
        return std::wstring();
    std::vector<BYTE> buffer(4096);
    ULONG got = 0;
    const int KeyNameInformation = 3;
    if (query(key, KeyNameInformation, buffer.data(), (ULONG)buffer.size(), &got) < 0)
        return std::wstring();
    ULONG length = *reinterpret_cast<ULONG*>(buffer.data());
    std::wstring name(reinterpret_cast<wchar_t*>(buffer.data() + sizeof(ULONG)), length / sizeof(wchar_t));
    static const SRoot natives[] = {{L"\\REGISTRY\\MACHINE", HKEY_LOCAL_MACHINE}, {L"\\REGISTRY\\USER", HKEY_USERS}};
    for (const SRoot& n : natives) {
        size_t len = wcslen(n.name);
        if (name.size() >= len && _wcsnicmp(name.c_str(), n.name, len) == 0 &&
            (name.size() == len || name[len] == L'\\'))
            return std::wstring(n.key == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : L"HKEY_USERS") + name.substr(len);
    }
    return std::wstring();
}

// The key of the path opened for reading in the view; null when it does not open.
HKEY OpenKey(const std::wstring& path, REGSAM view) {
    HKEY root;
    std::wstring rest;
    if (!SplitRoot(path, root, rest))
        return nullptr;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, rest.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

} // namespace

bool ResolveRegistryComponent(const std::wstring& msiPath, const std::wstring& userSid, std::wstring& resourcePath,
                              int& subType) {
    int root = SProductComponent::RootOfPath(msiPath);
    if (root == RootNone)
        return false;
    const bool is32 = msiPath[0] == L'0';
    std::wstring rest = msiPath.substr(3);
    while (!rest.empty() && rest.back() == L'\\')
        rest.pop_back();
    if (!rest.empty() && rest[0] != L'\\')
        rest.insert(rest.begin(), L'\\');
    std::wstring path;
    switch (root) {
    case RootClassesRoot:
        path = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes" + rest;
        break;
    case RootCurrentUser:
        if (userSid.empty())
            return false;
        path = L"HKEY_USERS\\" + userSid + rest;
        break;
    case RootLocalMachine:
        path = L"HKEY_LOCAL_MACHINE" + rest;
        break;
    default:
        path = L"HKEY_USERS" + rest;
        break;
    }
    const REGSAM view = is32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

    if (HKEY key = OpenKey(path, view)) {
        std::wstring real = is32 ? RealKeyName(key) : std::wstring();
        ::RegCloseKey(key);
        resourcePath = real.empty() ? path : real;
        subType = ResRegKey;
        return true;
    }
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        return false;
    std::wstring keyPath = path.substr(0, slash);
    std::wstring valueName = path.substr(slash + 1);
    HKEY key = OpenKey(keyPath, view);
    if (!key)
        return false;
    bool exists = ::RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    std::wstring real = exists && is32 ? RealKeyName(key) : std::wstring();
    ::RegCloseKey(key);
    if (!exists)
        return false;
    resourcePath = (real.empty() ? keyPath : real) + L"\\" + RegValueNameToToken(valueName.c_str());
    subType = ResRegValue;
    return true;
}

int GenerateTasksFromMsi(const SGenerateHost& host, std::list<CInstalledProductInfo>* products, int ignoreRegistry,
                         int markExecutable, int pathsToVariables, CIChNodeList* output) {
    if (!products || products->empty() || !output || !host.pModel)
        return 0;
    CIChDataModel& model = *host.pModel;
    CProgressRun run(host.hMainWnd, (int)products->size());
    dlgAddInstallTask* dlg = run.Dialog();
    model.RebuildPathIndex();

    std::list<std::wstring> extensions;
    if (host.bAddDepends || markExecutable)
        extensions = SplitExtensions(host.strExeExtensions);

    // The components of every product, from one pass over the computer's components.
    std::list<std::wstring> codes;
    for (const CInstalledProductInfo& p : *products)
        codes.push_back(p.m_strProductCode);
    CProductComponentMap components;
    if (dlg)
        dlg->SetTaskText(L"");
    GetInstalledProductsComponentLists(codes, components, [&run](DWORD) {
        run.Pump();
        return !run.Aborted();
    });

    // The kind of the model's first job decides whether registry objects can be controlled.
    int jobKind = 1;
    if (const CIChNodeList* jobs = model.GetNodeList(NodeTypeJob))
        if (!jobs->empty())
            jobKind = GetNodeSubType(jobs->front());

    for (const CInstalledProductInfo& product : *products) {
        if (run.Aborted())
            break;
        const std::wstring& name = product.m_strProductName;
        CIChNode* task = NewTask(name);
        try {
            const std::wstring filesName = name + L" Файлы";
            CIChRGroup* files = NewGroup(task, filesName, L"Файлы приложения", GroupFiles);
            CIChRGroup* registry = ignoreRegistry ? nullptr
                                                  : NewGroup(task, name + L" Реестр",
                                                             L"Переменные и ключи реестра приложения", GroupRegistry);
            const std::list<SProductComponent>& list = components[product.m_strProductCode];
            if (dlg) {
                dlg->SetTaskText(name.c_str());
                dlg->SetResourceRange((int)list.size());
            }
            run.Pump();

            int number = 0;
            for (const SProductComponent& component : list) {
                ++number;
                if (run.Aborted())
                    break;
                const std::wstring& path = component.m_strPath;
                if (component.m_nRoot != RootNone && (ignoreRegistry || jobKind == JobBoard))
                    continue;
                if (::PathIsDirectoryW(path.c_str()))
                    continue;
                CIChResorce* resource = nullptr;
                if (component.m_nRoot == RootNone) {
                    std::wstring file = path;
                    while (!file.empty() && (file.back() == L'\\' || file.back() == L'/'))
                        file.pop_back();
                    if (file.empty())
                        continue;
                    resource = NewFileResource(file);
                    resource->LinkTo(files);
                } else {
                    std::wstring registryPath;
                    int subType = 0;
                    if (!ResolveRegistryComponent(path, host.strUserSid, registryPath, subType))
                        continue;
                    resource = new CIChResorce();
                    resource->SetSubType(subType);
                    resource->SetName(registryPath);
                    resource->LinkTo(registry);
                }
                run.ShowResource(resource->m_Name, number);
            }

            // Executables marked by extension; their dependent modules join the files group.
            if (host.bAddDepends || markExecutable) {
                std::set<std::wstring> present;
                for (CIChNode* member : files->m_Members)
                    present.insert(KvBase::UpperCase(member->m_Name));
                std::vector<CIChResorce*> found;
                for (CIChNode* member : files->m_Members) {
                    CIChResorce* resource = static_cast<CIChResorce*>(member);
                    if (resource->m_SubType != ResFile || !HasListedExtension(resource->m_Name, extensions))
                        continue;
                    resource->m_Executable = markExecutable ? 1 : 0;
                    if (!host.bAddDepends)
                        continue;
                    Depends::CDepps finder;
                    finder.AddModule(resource->m_Name, resource->m_Name, 1);
                    for (const auto& module : finder.m_found) {
                        if (!present.insert(KvBase::UpperCase(module.second)).second)
                            continue; // already in the group
                        CIChResorce* dependency = NewFileResource(module.second);
                        dependency->m_Executable = markExecutable ? 1 : 0;
                        found.push_back(dependency);
                    }
                }
                for (CIChResorce* dependency : found)
                    dependency->LinkTo(files);
            }

            if (registry && registry->m_Members.empty()) {
                delete registry;
                registry = nullptr;
            }
            HandOverTask(host, task, files, filesName, pathsToVariables, output);
        } catch (...) {
            DeleteTree(task);
            throw;
        }
        run.NextTask();
    }

    run.Finish(host, L"MSI");
    return 1;
}
