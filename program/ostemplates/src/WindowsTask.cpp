// The task "Операционная система MS Windows": its file groups of the default kind (executables of
// the system folders, explorer.exe) or of the start-up kind, and its two registry groups (the
// services' own values and the places through which programs start automatically).
#include "KvOsTemplates.h"

#include <algorithm>

#include "IChDataModel.h"
#include "IChNode.h"
#include "Internal.h"
#include "KvCmdSequence.h"
#include "KvExchangeUtils.h"

using OsTemplates::Lower;

const wchar_t* const WindowsTaskName = L"Операционная система MS Windows";
const wchar_t* const ServicesGroupName = L"Службы Windows";
const wchar_t* const ImportantRegistryGroupName = L"Важные элементы системного реестра";

const std::vector<std::wstring>& HostSuiteServiceNames() {
    static const std::vector<std::wstring> names = {
        L"KvAgent",    L"KvAudit",     L"KvAuthSvc",    L"KvCrypto",    L"KvDevGuard",
        L"KvDiskCtl",  L"KvFileGuard", L"KvHwSvc",      L"KvIntegrity", L"KvLogonSvc",
        L"KvNetGuard", L"KvPolicySvc", L"KvPrintGuard", L"KvProcGuard", L"KvRegGuard",
    };
    return names;
}

namespace {

const wchar_t* const ServicesKey = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
const wchar_t* const ServiceValueNames[] = {L"ImagePath", L"Start",           L"Type",
                                            L"Group",     L"DependOnService", L"DependOnGroup"};

const wchar_t* const KeysWithValues[] = {
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs",
};
const wchar_t* const KeysAlone[] = {
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Folder\\shellex\\ColumnHandlers",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar",
};
const wchar_t* const SingleValues[] = {
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\BootExecute",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\StartupPrograms",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\GinaDll",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\UIHost",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Userinit",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Shell",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\PendingFileRenameOperations",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\AppInit_DLLs",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Lsa\\Security Packages",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Lsa\\Notification Packages",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\Startup",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\Common Startup",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\System",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\VmApplet",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Taskman",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Command Processor\\AutoRun",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\AlternateShell",
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Lsa\\Authentication Packages",
};
const wchar_t* const WholeSubtrees[] = {
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions",
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
};
struct SNamedValues {
    const wchar_t* key;
    const wchar_t* value;
};
const SNamedValues KeysWithNamedValues[] = {
    {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", L"DllName"},
    {L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_"
     L"Entries",
     L"PackedCatalogItem"},
    {L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", L"Driver"},
    {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers",
     RegDefaultValueToken},
    {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\GPExtensions", L"DllName"},
    {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Filter", L"CLSID"},
    {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\PROTOCOLS\\Handler", L"CLSID"},
    {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\Utility Manager",
     L"Application path"},
};

CIChRGroup* MakeGroup(const wchar_t* name, const wchar_t* description, int subType) {
    CIChRGroup* group = new CIChRGroup;
    group->m_SubType = subType;
    group->SetName(name);
    group->SetDescription(description);
    return group;
}

CIChResorce* MakeResource(int subType, const std::wstring& path) {
    CIChResorce* resource = new CIChResorce;
    resource->SetSubType(subType);
    resource->SetName(path);
    return resource;
}

void LinkAll(const CIChNodeList& list, CIChNode* upper) {
    for (CIChNode* node : list)
        node->LinkTo(upper);
}

} // namespace

void AddRegKeyResource(CIChRGroup* group, const wchar_t* keyPath) {
    if (group && keyPath && KvCmdSequence::IsRegKeyExist(keyPath))
        MakeResource(ResRegKey, keyPath)->LinkTo(group);
}

void AddRegKeyWithValues(CIChRGroup* group, const wchar_t* keyPath) {
    if (!group || !keyPath || !KvCmdSequence::IsRegKeyExist(keyPath))
        return;
    CIChNodeList list;
    list.push_back(MakeResource(ResRegKey, keyPath));
    GetRegKeyResources(keyPath, &list, 0, 0);
    LinkAll(list, group);
}

void AddRegNamedValues(CIChRGroup* group, const wchar_t* keyPath, const wchar_t* valueName) {
    if (!group || !keyPath || !valueName || !KvCmdSequence::IsRegKeyExist(keyPath))
        return;
    CIChNodeList list;
    list.push_back(MakeResource(ResRegKey, keyPath));
    // Only the values of that name become resources (compared in token form, ignoring case).
    const std::wstring wanted(valueName);
    GetRegKeyValueResources(keyPath, &list, 1, [&wanted](const std::wstring&, const wchar_t* name) {
        return lstrcmpiW(RegValueNameToToken(name).c_str(), wanted.c_str()) == 0;
    });
    LinkAll(list, group);
}

void AddRegValueResource(CIChRGroup* group, const wchar_t* valuePath) {
    if (group && valuePath && KvCmdSequence::IsRegValueExist(valuePath))
        MakeResource(ResRegValue, valuePath)->LinkTo(group);
}

int AddRegistryTemplates(CIChTask* task, const std::vector<std::wstring>& excludedServices) {
    if (!task)
        return 0;
    CIChRGroup* services = MakeGroup(ServicesGroupName, ServicesGroupName, GroupRegistry);
    AddRegKeyResource(services, ServicesKey);
    // The six values of every service, at any depth below its key; values of other names, and every
    // value whose full path holds the name of an excluded service (exact text), are never made.
    CIChNodeList values;
    GetRegKeyValueResources(ServicesKey, &values, 1,
                            [&excludedServices](const std::wstring& keyPath, const wchar_t* name) {
                                bool wanted = false;
                                for (const wchar_t* valueName : ServiceValueNames)
                                    wanted = wanted || lstrcmpiW(name, valueName) == 0;
                                if (!wanted)
                                    return false;
                                const std::wstring path = keyPath + L"\\" + RegValueNameToToken(name);
                                for (const std::wstring& excluded : excludedServices)
                                    if (!excluded.empty() && path.find(excluded) != std::wstring::npos)
                                        return false;
                                return true;
                            });
    LinkAll(values, services);
    services->LinkTo(task);

    CIChRGroup* important =
        MakeGroup(ImportantRegistryGroupName, L"Важные элементы системного реестра Windows", GroupRegistry);
    for (const wchar_t* key : KeysWithValues)
        AddRegKeyWithValues(important, key);
    for (const wchar_t* key : KeysAlone)
        AddRegKeyResource(important, key);
    for (const wchar_t* value : SingleValues)
        AddRegValueResource(important, value);
    for (const wchar_t* key : WholeSubtrees) {
        CIChNodeList list;
        GetRegKeyResources(key, &list, 1, 1);
        LinkAll(list, important);
    }
    for (const SNamedValues& named : KeysWithNamedValues)
        AddRegNamedValues(important, named.key, named.value);
    important->LinkTo(task);
    return 1;
}

std::vector<std::wstring> ExecutableMasks(const std::wstring& extensions) {
    std::wstring text;
    for (wchar_t c : extensions) {
        if (c == L'.')
            text += L"*.";
        else
            text += c;
    }
    std::vector<std::wstring> masks;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of(L";, ", at);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring mask = text.substr(at, end - at);
        if (!mask.empty() && std::find(masks.begin(), masks.end(), mask) == masks.end())
            masks.push_back(mask);
        at = end + 1;
    }
    return masks;
}

namespace {

// The folder's files of the masks, each once, and only those whose name really ends in a mask's
// extension (a search by mask also matches the 8.3 names of longer extensions).
void AddFolderExecutables(CIChRGroup* group, const std::wstring& folder, const std::vector<std::wstring>& masks) {
    std::set<std::wstring> taken;
    for (const std::wstring& mask : masks) {
        CIChNodeList list;
        GetDirResources(folder.c_str(), &list, 0, 0, mask.c_str());
        const std::wstring suffix = Lower(mask.substr(mask.find(L'*') == 0 ? 1 : 0));
        for (CIChNode* node : list) {
            const std::wstring name = Lower(node->m_Name);
            const bool matches =
                mask.find_first_of(L"*?") != 0 || mask.find_first_of(L"*?", 1) != std::wstring::npos ||
                (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
            if (matches && taken.insert(name).second)
                node->LinkTo(group);
            else
                delete node;
        }
    }
}

} // namespace

CIChTask* BuildWindowsTask(const SWindowsTaskOptions& options) {
    CIChTask* task = new CIChTask;
    task->SetName(WindowsTaskName);
    task->SetDescription(L"Ресурсы операционной системы MS Windows");
    if (options.variant == WindowsTaskDefault) {
        wchar_t system[MAX_PATH] = {}, windows[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        ::GetWindowsDirectoryW(windows, MAX_PATH);
        const std::vector<std::wstring> masks = ExecutableMasks(options.exeExtensions);
        std::vector<std::pair<std::wstring, std::wstring>> folders = {{system, L"System32"}};
        if (options.is64)
            folders.push_back({std::wstring(windows) + L"\\SysWOW64", L"SysWOW64"});
        for (const auto& folder : folders) {
            CIChRGroup* group =
                MakeGroup((L"Модули в каталоге " + folder.second).c_str(), L"Системные исполняемые модули", GroupFiles);
            group->LinkTo(task);
            AddFolderExecutables(group, folder.first, masks);
        }
        CIChRGroup* group = MakeGroup(L"Модули в каталоге Windows", L"Исполняемые модули Windows", GroupFiles);
        group->LinkTo(task);
        wchar_t systemWindows[MAX_PATH] = {};
        UINT n = ::GetSystemWindowsDirectoryW(systemWindows, MAX_PATH);
        if (n && n < MAX_PATH)
            MakeResource(ResFile, std::wstring(systemWindows) + L"\\explorer.exe")->LinkTo(group);
    } else {
        CreateStartupFileTemplates(task, options.isLocalHardDisk);
    }
    AddRegistryTemplates(task, options.excludedServices);
    return task;
}

CIChJob* FirstBoardJob(CIChDataModel& model) {
    CIChNodeList* jobs = model.GetNodeList(NodeTypeJob);
    if (!jobs)
        return nullptr;
    for (CIChNode* node : *jobs) {
        CIChJob* job = static_cast<CIChJob*>(node);
        if (job->m_SubType == JobBoard || job->m_SubType == JobSecondEdition)
            return job;
    }
    return nullptr;
}
