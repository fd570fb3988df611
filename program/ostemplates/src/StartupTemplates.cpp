// The file groups of the start-up kind of the task "Операционная система MS Windows": boot files,
// drivers, and the programs, services and libraries of the logon, each module in the first group
// that collects it.
#include "KvOsTemplates.h"

#include <algorithm>
#include <iterator>

#include "IChNode.h"
#include "Internal.h"
#include "KvExchangeUtils.h"

using OsTemplates::Env;
using OsTemplates::FileExists;
using OsTemplates::Lower;

const wchar_t* const StartupGroupNames[3] = {
    L"Модули и файлы запуска MS Windows",
    L"Загрузка и инициализация системных драйверов MS Windows",
    L"Регистрация пользователя в системе и загрузка сервисов MS Windows",
};

namespace {

const wchar_t* const StartupGroupDescription = L"Системные исполняемые модули";

const wchar_t* const BootDrive5[] = {L"ntldr", L"boot.ini", L"bootsect.dos", L"ntdetect.com", L"ntbootdd.sys"};
const wchar_t* const BootRoot5[] = {L"system32\\ntoskrnl.exe",
                                    L"system32\\ntkrnlmp.exe",
                                    L"system32\\ntkrnlpa.exe",
                                    L"system32\\ntkrpamp.exe",
                                    L"system32\\hal.dll",
                                    L"system.ini",
                                    L"win.ini"};
const wchar_t* const BootDrive6[] = {L"bootmgr", L"Boot\\EFI\\bootmgr.efi"};
const wchar_t* const BootRoot6[] = {L"system32\\winload.exe",
                                    L"system32\\hal.dll",
                                    L"system32\\ntoskrnl.exe",
                                    L"system32\\ntkrnlmp.exe",
                                    L"system32\\ntkrnlpa.exe",
                                    L"system32\\ntkrpamp.exe",
                                    L"system32\\mcupdate_GenuineIntel.dll",
                                    L"system.ini",
                                    L"win.ini"};
const wchar_t* const SystemPrograms[] = {L"win32k.sys", L"psxss.exe",    L"autochk.exe", L"csrss.exe",
                                         L"smss.exe",   L"winlogon.exe", L"logonui.exe", L"svchost.exe"};
const wchar_t* const ShellPrograms[] = {L"taskmgr.exe", L"mmc.exe", L"rundll32.exe", L"cmd.exe", L"userinit.exe"};

struct SAutorunKey {
    HKEY root;
    const wchar_t* name;
};
const SAutorunKey AutorunKeys[] = {
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
};

CIChRGroup* MakeFileGroup(const wchar_t* name, CIChTask* task) {
    CIChRGroup* group = new CIChRGroup;
    group->m_SubType = GroupFiles;
    group->SetName(name);
    group->SetDescription(StartupGroupDescription);
    group->LinkTo(task);
    return group;
}

// Doubled backslashes made single, the "\\?\" at the start of a long path kept.
std::wstring SingleBackslashes(std::wstring text) {
    for (;;) {
        size_t at = text.rfind(L"\\\\");
        if (at == std::wstring::npos)
            return text;
        if (at == 0 && text.size() > 3 && text.compare(0, 4, L"\\\\?\\") == 0)
            return text;
        text.erase(at, 1);
    }
}

} // namespace

CStartupTemplates::CStartupTemplates(LocalDiskTest isLocalHardDisk)
    : m_isLocal(isLocalHardDisk ? isLocalHardDisk
                                : LocalDiskTest([](wchar_t drive) { return IsLocalHardDisk(drive); })) {}

int CStartupTemplates::Create(CIChTask* task) {
    if (!task)
        return 0;
    CIChRGroup* boot = MakeFileGroup(StartupGroupNames[0], task);
    CollectBootFiles(boot);
    CIChRGroup* drivers = MakeFileGroup(StartupGroupNames[1], task);
    CollectDriverModules(drivers);
    CIChRGroup* logon = MakeFileGroup(StartupGroupNames[2], task);
    CollectSystemModules(logon);
    CollectServiceModules(logon);
    CollectShellModules(logon);
    return 1;
}

void CStartupTemplates::AddFile(const std::wstring& folder, const std::wstring& name, CModuleSet& modules) {
    m_collector.AddModule(Lower(folder + L"\\" + name), modules);
}

std::wstring CStartupTemplates::BootDrive() const {
    std::wstring drive = Env(L"SystemDrive");
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return drive;
    std::wstring partition;
    const bool read = ReadRegText(key, L"SystemPartition", partition) && !partition.empty();
    ::RegCloseKey(key);
    if (!read || drive.size() < 2)
        return drive;
    // Windows boots from the system partition; when that is not the drive Windows lies on, the boot
    // files are taken from it (by its drive letter, or "\\?\" with its device name without one).
    wchar_t device[260] = {};
    const std::wstring letter = drive.substr(0, 2);
    if (::QueryDosDeviceW(letter.c_str(), device, 260) && partition != device) {
        std::wstring dosPath;
        if (DosPathFromDeviceName(partition.c_str(), dosPath))
            drive = dosPath;
    }
    return drive;
}

void CStartupTemplates::CollectBootFiles(CIChRGroup* group) {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return;
#pragma GCC diagnostic pop
    const std::wstring drive = BootDrive();
    const std::wstring root = Env(L"SystemRoot");
    CModuleSet modules;
    if (version.dwMajorVersion == 5) {
        for (const wchar_t* name : BootDrive5)
            AddFile(drive, name, modules);
        for (const wchar_t* name : BootRoot5)
            AddFile(root, name, modules);
    } else if (version.dwMajorVersion == 6 && version.dwMinorVersion <= 1) {
        for (const wchar_t* name : BootDrive6)
            AddFile(drive, name, modules);
        for (const wchar_t* name : BootRoot6)
            AddFile(root, name, modules);
    }
    AddNewModulesToGroup(group, modules);
}

void CStartupTemplates::CollectDriverModules(CIChRGroup* group) {
    CModuleSet modules;
    CollectServiceBinaries(SERVICE_DRIVER, {0, 1, 2, 3, 4}, modules, m_collector);
    modules.insert(Lower(Env(L"SystemRoot") + L"\\system32\\drivers\\fs_rec.sys"));
    CollectRegistryListedModules(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WOW\\boot",
                                 modules, m_collector);
    AddNewModulesToGroup(group, modules);
}

void CStartupTemplates::CollectSystemModules(CIChRGroup* group) {
    const std::wstring root = Env(L"SystemRoot");
    CModuleSet modules;
    AddFile(root, L"explorer.exe", modules);
    for (const wchar_t* name : SystemPrograms)
        AddFile(root + L"\\system32", name, modules);
    CollectRegistryListedModules(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs",
                                 modules, m_collector);
    CollectWinlogonNotifyModules(modules, m_collector);
    AddNewModulesToGroup(group, modules);
}

void CStartupTemplates::CollectServiceModules(CIChRGroup* group) {
    CModuleSet modules;
    CollectServiceBinaries(SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                           {2, 3, 4}, modules, m_collector);
    AddNewModulesToGroup(group, modules);
}

void CStartupTemplates::CollectShellModules(CIChRGroup* group) {
    const std::wstring system = Env(L"SystemRoot") + L"\\system32";
    CModuleSet modules;
    for (const wchar_t* name : ShellPrograms)
        AddFile(system, name, modules);
    for (const SAutorunKey& key : AutorunKeys)
        CollectRegistryListedModules(key.root, key.name, modules, m_collector);
    AddNewModulesToGroup(group, modules);
}

void CStartupTemplates::AddNewModulesToGroup(CIChRGroup* group, const CModuleSet& modules) {
    std::vector<std::wstring> fresh;
    std::set_difference(modules.begin(), modules.end(), m_placed.begin(), m_placed.end(), std::back_inserter(fresh));
    for (const std::wstring& path : fresh) {
        CIChResorce* resource = MakeModuleResource(path);
        if (!resource)
            continue;
        m_placed.insert(Lower(path));
        if (group)
            resource->LinkTo(group);
    }
}

bool CStartupTemplates::ModuleFileExists(const std::wstring& path) const { return FileExists(path); }

CIChResorce* CStartupTemplates::MakeModuleResource(const std::wstring& path) {
    if (!ModuleFileExists(path))
        return nullptr;
    // A network path never counts as local, neither as "\\server\share" nor as "\\?\UNC\".
    const bool longPath = path.compare(0, 4, L"\\\\?\\") == 0;
    if ((path.compare(0, 2, L"\\\\") == 0 && !longPath) || (longPath && Lower(path.substr(0, 8)) == L"\\\\?\\unc\\"))
        return nullptr;
    const std::wstring text = SingleBackslashes(path);
    int local = 1;
    if (text.size() > 1 && text[1] == L':')
        local = m_isLocal(text[0]);
    else if (text.size() > 5 && text.compare(0, 4, L"\\\\?\\") == 0 && text[5] == L':')
        local = m_isLocal(text[4]);
    if (!local)
        return nullptr;
    CIChResorce* resource = new CIChResorce;
    resource->SetSubType(ResFile);
    resource->SetName(text);
    return resource;
}

int CreateStartupFileTemplates(CIChTask* task, CStartupTemplates::LocalDiskTest isLocalHardDisk) {
    CStartupTemplates run(isLocalHardDisk);
    return run.Create(task);
}

void DeleteNodeTree(CIChNode* root) {
    if (!root)
        return;
    CIChNodeList lower;
    CIChNode::CollectLowerNodes(root, &lower, nullptr, 1);
    std::set<CIChNode*> unique(lower.begin(), lower.end());
    unique.erase(root);
    for (CIChNode* node : unique)
        delete node;
    delete root;
}
