// The start-up templates over a seeded prefix: a driver service whose cross-built .sys imports two
// modules, a service of the shared service host with a ServiceDll that shares one of them, a Run
// value through rundll32, a KnownDLLs entry, a Winlogon notification package, the system partition
// value and a boot manager file. The templates run in a process of their own (ostemplates_probe)
// with the prefix's Windows version for that program set to 6.1 and to 10.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "IChDataModel.h"
#include "IChNode.h"
#include "KvExchangeUtils.h"
#include "KvOsTemplates.h"
#include "Sha256Ref.h"
#include "VcoreTestUtil.h"
#include "StoreFakes.h"
#include "kvtest.h"
#include "ostemplates_test_util.h"

using namespace OsTest;

namespace {

const wchar_t* const FixtureModules[] = {L"kvtshared.dll", L"kvtdrvdep.dll", L"kvtsvcdep.dll", L"kvtsvc.dll",
                                         L"kvtknown.dll",  L"kvtnotify.dll", L"kvtrun.dll"};

struct SProbeResult {
    std::wstring version;
    std::vector<std::wstring> groups;
    std::map<std::wstring, std::vector<std::wstring>> members; // group name -> resource paths
};

std::wstring Sys() { return Lower(Env(L"SystemRoot")) + L"\\system32"; }

bool CreateTestService(SC_HANDLE manager, const wchar_t* name, DWORD type, DWORD start, const wchar_t* binary) {
    SC_HANDLE service = ::CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_IGNORE,
                                         binary, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!service)
        return false;
    ::CloseServiceHandle(service);
    return true;
}

void DeleteTestService(SC_HANDLE manager, const wchar_t* name) {
    SC_HANDLE service = ::OpenServiceW(manager, name, DELETE);
    if (service) {
        ::DeleteService(service);
        ::CloseServiceHandle(service);
    }
}

void SetValue(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                     DWORD((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void DeleteValue(HKEY root, const wchar_t* path, const wchar_t* name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, name);
        ::RegCloseKey(key);
    }
}

const wchar_t* const RunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const KnownDllsKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";
const wchar_t* const NotifyKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\KvtNotify";
const wchar_t* const ProbeVersionKey = L"Software\\Wine\\AppDefaults\\ostemplates_probe.exe";

class SeededPrefix : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::wstring fixtures = Env(L"KV_BIN_DIR") + L"\\ostemplates_fixtures\\";
        for (const wchar_t* module : FixtureModules)
            ASSERT_TRUE(::CopyFileW((fixtures + module).c_str(), (Sys() + L"\\" + module).c_str(), FALSE))
                << Narrow(module);
        ASSERT_TRUE(::CopyFileW((fixtures + L"kvtdrv.sys").c_str(), (Sys() + L"\\drivers\\kvtdrv.sys").c_str(), FALSE));
        ASSERT_TRUE(Touch(Env(L"SystemDrive") + L"\\bootmgr"));

        SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        DeleteTestService(manager, L"KvtDrv");
        DeleteTestService(manager, L"KvtSvc");
        EXPECT_TRUE(CreateTestService(manager, L"KvtDrv", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                      L"\\SystemRoot\\System32\\drivers\\KvtDrv.sys"));
        EXPECT_TRUE(CreateTestService(manager, L"KvtSvc", SERVICE_WIN32_SHARE_PROCESS, SERVICE_DISABLED,
                                      L"%SystemRoot%\\system32\\svchost.exe -k kvtgroup"));
        ::CloseServiceHandle(manager);
        SetValue(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtSvc\\Parameters", L"ServiceDll",
                 L"%SystemRoot%\\System32\\KvtSvc.dll", REG_EXPAND_SZ);
        SetValue(HKEY_LOCAL_MACHINE, RunKey, L"KvtRun", L"rundll32.exe KvtRun.dll,KvtEntry now");
        SetValue(HKEY_LOCAL_MACHINE, KnownDllsKey, L"kvtknown", L"KvtKnown.dll");
        SetValue(HKEY_LOCAL_MACHINE, NotifyKey, L"DllName", L"KvtNotify.dll", REG_EXPAND_SZ);
        // The system partition is the device of the system drive: the boot files stay on it.
        wchar_t device[260] = {};
        ASSERT_NE(0u, ::QueryDosDeviceW(Env(L"SystemDrive").substr(0, 2).c_str(), device, 260));
        SetValue(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemPartition", device);
    }

    static void TearDownTestSuite() {
        SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager) {
            DeleteTestService(manager, L"KvtDrv");
            DeleteTestService(manager, L"KvtSvc");
            ::CloseServiceHandle(manager);
        }
        DeleteValue(HKEY_LOCAL_MACHINE, RunKey, L"KvtRun");
        DeleteValue(HKEY_LOCAL_MACHINE, KnownDllsKey, L"kvtknown");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, NotifyKey);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, NotifyKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, ProbeVersionKey);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, ProbeVersionKey);
        ::DeleteFileW((Env(L"SystemDrive") + L"\\bootmgr").c_str());
    }

    // Runs the probe with the prefix's Windows version for it ("win7", "win10"); files whose paths
    // begin with `present` (a "\\?\" path without a trailing backslash) count as present.
    static SProbeResult RunProbe(const wchar_t* wineVersion, const std::wstring& present = std::wstring()) {
        SProbeResult result;
        SetValue(HKEY_CURRENT_USER, ProbeVersionKey, L"Version", wineVersion);
        const std::wstring out = Tmp() + L"\\probe_" + wineVersion + L".txt";
        ::DeleteFileW(out.c_str());
        std::wstring command = L"\"" + Env(L"KV_BIN_DIR") + L"\\ostemplates_probe.exe\" \"" + out + L"\"";
        if (!present.empty())
            command += L" \"" + present + L"\"";
        STARTUPINFOW si = {sizeof(si)};
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return result;
        ::WaitForSingleObject(pi.hProcess, 300000);
        DWORD code = 1;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
        EXPECT_EQ(0u, code);
        HANDLE h = ::CreateFileW(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return result;
        std::string bytes;
        char buffer[65536];
        DWORD got = 0;
        while (::ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got)
            bytes.append(buffer, got);
        ::CloseHandle(h);
        std::wstring group;
        for (size_t at = 0; at < bytes.size();) {
            size_t end = bytes.find('\n', at);
            const std::wstring line = Widen(bytes.substr(at, end == std::string::npos ? std::string::npos : end - at));
            at = end == std::string::npos ? bytes.size() : end + 1;
            if (line.size() < 2)
                continue;
            const std::wstring text = line.substr(2);
            if (line[0] == L'V')
                result.version = text;
            else if (line[0] == L'G') {
                group = text;
                result.groups.push_back(group);
                result.members[group];
            } else if (line[0] == L'R')
                result.members[group].push_back(text);
        }
        return result;
    }

    static bool Holds(const std::vector<std::wstring>& paths, const std::wstring& path) {
        for (const std::wstring& p : paths)
            if (p == path)
                return true;
        return false;
    }

    // What both versions share: the driver group and the logon group, each module in one group.
    static void CheckDriversAndLogon(const SProbeResult& result) {
        ASSERT_EQ(3u, result.groups.size());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(StartupGroupNames[i], result.groups[i]);
        const std::wstring sys = Sys();
        const auto& drivers = result.members.at(StartupGroupNames[1]);
        const auto& logon = result.members.at(StartupGroupNames[2]);
        // The driver with both of its modules; the shared one only here, though the service needs it too.
        for (const wchar_t* module : {L"drivers\\kvtdrv.sys", L"kvtdrvdep.dll", L"kvtshared.dll"}) {
            EXPECT_TRUE(Holds(drivers, sys + L"\\" + module)) << Narrow(module);
            EXPECT_FALSE(Holds(logon, sys + L"\\" + module)) << Narrow(module);
        }
        // The ServiceDll (not svchost alone), its own module, and the modules named in the registry.
        for (const wchar_t* module :
             {L"kvtsvc.dll", L"kvtsvcdep.dll", L"kvtknown.dll", L"kvtnotify.dll", L"kvtrun.dll", L"svchost.exe"}) {
            EXPECT_TRUE(Holds(logon, sys + L"\\" + module)) << Narrow(module);
            EXPECT_FALSE(Holds(drivers, sys + L"\\" + module)) << Narrow(module);
        }
        // No module stands in two groups, nor twice in one.
        std::set<std::wstring> seen;
        for (const auto& group : result.members)
            for (const std::wstring& path : group.second)
                EXPECT_TRUE(seen.insert(path).second) << Narrow(path);
    }
};

} // namespace

TEST_F(SeededPrefix, Windows7TakesTheBootFiles) {
    const SProbeResult result = RunProbe(L"win7");
    EXPECT_EQ(L"6.1", result.version);
    CheckDriversAndLogon(result);
    if (HasFatalFailure())
        return;
    const auto& boot = result.members.at(StartupGroupNames[0]);
    const std::wstring drive = Lower(Env(L"SystemDrive"));
    const std::wstring root = Lower(Env(L"SystemRoot"));
    EXPECT_TRUE(Holds(boot, drive + L"\\bootmgr"));
    EXPECT_TRUE(Holds(boot, root + L"\\win.ini"));
    // The boot group's files are not repeated below.
    EXPECT_FALSE(Holds(result.members.at(StartupGroupNames[2]), drive + L"\\bootmgr"));
}

// Windows boots from a system partition of its own, without a drive letter: the boot drive's files
// come from that partition through its "\\?\" name and count as local; Windows' own files stay under
// SystemRoot. (The prefix's named-pipe device stands for the partition: it is a device whose only
// DOS name is no drive letter.)
TEST_F(SeededPrefix, BootFilesComeFromASeparateSystemPartition) {
    wchar_t own[260] = {};
    ASSERT_NE(0u, ::QueryDosDeviceW(Env(L"SystemDrive").substr(0, 2).c_str(), own, 260));
    const std::wstring partition = L"\\Device\\NamedPipe";
    std::wstring dosPath;
    ASSERT_EQ(1, DosPathFromDeviceName(partition.c_str(), dosPath));
    ASSERT_EQ(0u, dosPath.find(L"\\\\?\\")) << Narrow(dosPath);
    SetValue(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemPartition", partition);
    const SProbeResult result = RunProbe(L"win7", Lower(dosPath));
    SetValue(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemPartition", own);
    EXPECT_EQ(L"6.1", result.version);
    ASSERT_EQ(3u, result.groups.size());
    const auto& boot = result.members.at(StartupGroupNames[0]);
    const std::wstring drive = Lower(Env(L"SystemDrive"));
    EXPECT_TRUE(Holds(boot, Lower(dosPath) + L"\\bootmgr"));
    EXPECT_TRUE(Holds(boot, Lower(dosPath) + L"\\boot\\efi\\bootmgr.efi"));
    EXPECT_FALSE(Holds(boot, drive + L"\\bootmgr")) << "not the drive Windows lies on";
    EXPECT_TRUE(Holds(boot, Lower(Env(L"SystemRoot")) + L"\\win.ini"));
}

TEST_F(SeededPrefix, Windows10HasNoBootList) {
    const SProbeResult result = RunProbe(L"win10");
    EXPECT_TRUE(result.version == L"10.0" || result.version == L"6.2") << Narrow(result.version);
    CheckDriversAndLogon(result);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(result.members.at(StartupGroupNames[0]).empty());
}

TEST_F(SeededPrefix, SavedAndReloadedWithTheBoardLists) {
    fakes::FHost host;
    host.provider = Varno::Common::CreateProvider();
    host.folder = Tmp() + L"\\Varno";
    for (const wchar_t* f : {L"Localhost.vdb", L"bootfile.nam", L"bootfile.chk"})
        ::DeleteFileW((host.folder + L"\\" + f).c_str());
    SetModelStoreHost(&host);
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SOsTemplatesRun run = WindowsTaskRun(&model, WindowsTaskStartup, [](wchar_t) { return 1; });
    ASSERT_EQ(1, CreateOsTemplates(run));
    std::set<std::wstring> files;
    for (CIChNode* node : model.m_Resources)
        if (static_cast<CIChResorce*>(node)->m_SubType == ResFile)
            files.insert(Lower(node->m_Name));
    ASSERT_EQ(1u, files.count(Sys() + L"\\drivers\\kvtdrv.sys"));
    ASSERT_EQ(0, model.Save(nullptr));

    // The files list names every generated file once, each with the SHA-256 of its content.
    const auto names = vtest::Lines(KvTest::ReadBytes(host.folder + L"\\bootfile.nam"));
    const auto sums = vtest::Lines(KvTest::ReadBytes(host.folder + L"\\bootfile.chk"));
    ASSERT_EQ(names.size(), sums.size());
    std::set<std::wstring> listed;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::wstring path = Lower(Widen(names[i]));
        listed.insert(path);
        if (path == Sys() + L"\\drivers\\kvtdrv.sys" || path == Sys() + L"\\kvtsvc.dll")
            EXPECT_EQ(testsha::Sha256Hex(KvTest::ReadBytes(Widen(names[i]))), sums[i]) << names[i];
    }
    EXPECT_EQ(files, listed);

    // Read back: the same task with the same groups and files.
    CIChDataModel reloaded;
    ASSERT_EQ(0, reloaded.Load());
    std::set<std::wstring> again;
    for (CIChNode* node : reloaded.m_Resources)
        if (static_cast<CIChResorce*>(node)->m_SubType == ResFile)
            again.insert(Lower(node->m_Name));
    EXPECT_EQ(files, again);
    CIChNode* task = reloaded.FindNodeByName(NodeTypeTask, WindowsTaskName, 0);
    ASSERT_NE(nullptr, task);
    std::vector<std::wstring> groups;
    for (CIChNode* group : task->m_Members)
        groups.push_back(group->m_Name);
    EXPECT_EQ(5u, groups.size());
    SetModelStoreHost(nullptr);
}
