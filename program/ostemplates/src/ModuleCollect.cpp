// Collection of the modules Windows loads: dependency walks, service binaries, modules named in
// registry values and the Winlogon notification packages.
#include "KvOsTemplates.h"

#include <vector>

#include "Internal.h"
#include "linkwalk.h"

using OsTemplates::Lower;

namespace {

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Names of the values of an open key, in enumeration order (names of any length).
std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    DWORD count = 0, longest = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> name(longest + 2);
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG rc = ::RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) {
            name.resize(name.size() * 2 + 16384);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        names.push_back(std::wstring(name.data(), length));
    }
    return names;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(std::wstring(name, length));
    }
    return names;
}

} // namespace

CModuleSet CollectModuleDependencies(const std::wstring& path) {
    CModuleSet result;
    if (path.empty())
        return result;
    Depends::CDepps finder;
    finder.AddModule(path, path, 1);
    const std::wstring self = Lower(path);
    for (const auto& found : finder.m_found) {
        std::wstring module = Lower(found.first);
        if (module != self)
            result.insert(module);
    }
    return result;
}

const CModuleSet& CModuleCollector::Dependencies(const std::wstring& path) {
    auto it = m_walked.find(path);
    if (it != m_walked.end())
        return it->second;
    ++m_walks;
    return m_walked.emplace(path, CollectModuleDependencies(path)).first->second;
}

std::vector<std::wstring> CModuleCollector::WalkedModules() const {
    std::vector<std::wstring> modules;
    for (const auto& walked : m_walked)
        modules.push_back(walked.first);
    return modules;
}

void CModuleCollector::AddModule(const std::wstring& path, CModuleSet& set) {
    if (path.empty())
        return;
    set.insert(path);
    const CModuleSet& dependencies = Dependencies(path);
    set.insert(dependencies.begin(), dependencies.end());
}

void CollectServiceBinaries(DWORD typeMask, const std::set<DWORD>& startTypes, CModuleSet& modules,
                            CModuleCollector& collector) {
    modules.clear();
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager)
        return;
    // The interactive flag is no type of its own: interactive services match their process type.
    const DWORD enumTypes = typeMask & (SERVICE_DRIVER | SERVICE_WIN32);
    std::vector<std::wstring> names;
    DWORD resume = 0;
    for (;;) {
        DWORD need = 0, count = 0;
        BOOL done = ::EnumServicesStatusW(manager, enumTypes, SERVICE_STATE_ALL, nullptr, 0, &need, &count, &resume);
        if (done || ::GetLastError() != ERROR_MORE_DATA || !need)
            break;
        std::vector<BYTE> buffer(need);
        done =
            ::EnumServicesStatusW(manager, enumTypes, SERVICE_STATE_ALL,
                                  reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data()), need, &need, &count, &resume);
        const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
        const ENUM_SERVICE_STATUSW* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            if (entries[i].lpServiceName)
                names.push_back(entries[i].lpServiceName);
        if (done || error != ERROR_MORE_DATA)
            break; // all listed, or a failure other than more entries waiting
    }
    for (const std::wstring& name : names) {
        SC_HANDLE service = ::OpenServiceW(manager, name.c_str(), SERVICE_QUERY_CONFIG);
        if (!service)
            continue;
        DWORD need = 0;
        std::vector<BYTE> buffer;
        if (!::QueryServiceConfigW(service, nullptr, 0, &need) && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(need);
            auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
            if (::QueryServiceConfigW(service, config, need, &need) && startTypes.count(config->dwStartType)) {
                const std::wstring path = GetServiceBinaryPath(name.c_str(), config);
                collector.AddModule(path, modules);
            }
        }
        ::CloseServiceHandle(service);
    }
    ::CloseServiceHandle(manager);
}

void CollectRegistryListedModules(HKEY root, const wchar_t* subKey, CModuleSet& modules, CModuleCollector& collector) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (const std::wstring& name : ValueNames(key)) {
        std::vector<std::wstring> texts;
        if (!ReadRegStrings(key, name.c_str(), texts))
            continue;
        for (std::wstring text : texts) {
            text = Lower(text);
            if (!text.empty() && (text[0] == L'*' || text[0] == L'!'))
                text.erase(0, 1);
            if (text.empty() || text == L"%systemroot%\\system32" || text == L"%systemroot%\\syswow64")
                continue;
            const std::wstring path = CommandLineModule(text);
            // A folder entry written otherwise (expanded, other variable) is no module either.
            if (path.empty() || IsDirectory(path))
                continue;
            collector.AddModule(path, modules);
        }
    }
    ::RegCloseKey(key);
}

void CollectWinlogonNotifyModules(CModuleSet& modules, CModuleCollector& collector) {
    HKEY notify = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", 0,
                        KEY_READ, &notify) != ERROR_SUCCESS)
        return;
    for (const std::wstring& name : SubkeyNames(notify)) {
        HKEY package = nullptr;
        if (::RegOpenKeyExW(notify, name.c_str(), 0, KEY_READ, &package) != ERROR_SUCCESS)
            continue;
        std::wstring dll;
        if (ReadRegText(package, L"DllName", dll) && !dll.empty())
            collector.AddModule(NormalizeModulePath(dll), modules);
        ::RegCloseKey(package);
    }
    ::RegCloseKey(notify);
}
