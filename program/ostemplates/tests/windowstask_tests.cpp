// The task "Операционная система MS Windows" of the default kind and its registry groups, over the
// prefix's registry and system folders with a few seeded keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "IChDataModel.h"
#include "IChNode.h"
#include "KvOsTemplates.h"
#include "KvRegTokens.h"
#include "ostemplates_test_util.h"

using namespace OsTest;

namespace {

CIChNode* GroupOf(CIChTask* task, const std::wstring& name) {
    for (CIChNode* group : task->m_Members)
        if (group->m_Name == name)
            return group;
    return nullptr;
}

std::set<std::wstring> NamesOf(CIChNode* group) {
    std::set<std::wstring> names;
    if (group)
        for (CIChNode* node : group->m_Members)
            names.insert(node->m_Name);
    return names;
}

const std::wstring Hklm = L"HKEY_LOCAL_MACHINE\\";

} // namespace

TEST(ExecutableMasks, EachDotStartsAMask) {
    struct Case {
        std::wstring extensions;
        std::vector<std::wstring> masks;
    } cases[] = {
        {L".exe; .dll", {L"*.exe", L"*.dll"}},
        {L".exe,.dll;;.sys  .exe", {L"*.exe", L"*.dll", L"*.sys"}},
        {L"", {}},
        {L" ; , ", {}},
        {L".tar.gz", {L"*.tar*.gz"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.masks, ExecutableMasks(c.extensions)) << Narrow(c.extensions);
}

// A value is left out when its full path holds an excluded service's name as exact text: the
// service's own key, a longer name that contains it, a subkey of another service named after it; a
// name in other letter case is not the name.
TEST(RegistryTemplates, ServicesGroupTakesTheSixValuesOfEachService) {
    TempKey svc(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtRegSvc");
    TempKey sub(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtRegSvc\\Instance");
    TempKey host(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtHostSvc");
    TempKey longer(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtHostSvcTwo");
    TempKey other(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtLowSvc");
    TempKey named(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtLowSvc\\KvtHostSvc");
    TempKey cased(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KVTHOSTSVC3");
    ASSERT_TRUE(svc && sub && host && longer && other && named && cased);
    const DWORD start = 3;
    svc.SetText(L"ImagePath", L"C:\\kvt\\svc.exe", REG_EXPAND_SZ);
    svc.Set(L"Start", REG_DWORD, &start, sizeof(start));
    svc.Set(L"TYPE", REG_DWORD, &start, sizeof(start));
    svc.SetText(L"Description", L"not taken");
    svc.SetText(L"DisplayName", L"not taken");
    sub.SetText(L"Group", L"kvt");
    sub.SetText(L"DependOnService", L"kvtother");
    host.SetText(L"ImagePath", L"C:\\kvt\\host.exe");
    longer.SetText(L"ImagePath", L"C:\\kvt\\longer.exe");
    other.SetText(L"ImagePath", L"C:\\kvt\\low.exe");
    named.SetText(L"Group", L"kvt");
    cased.SetText(L"ImagePath", L"C:\\kvt\\cased.exe");

    CIChTask* task = new CIChTask;
    ASSERT_EQ(1, AddRegistryTemplates(task, {L"KvtHostSvc"}));
    ASSERT_EQ(2u, task->m_Members.size());
    CIChNode* services = task->m_Members.front();
    EXPECT_EQ(ServicesGroupName, services->m_Name);
    EXPECT_EQ(GroupRegistry, static_cast<CIChRGroup*>(services)->m_SubType);
    const std::wstring key = Hklm + L"SYSTEM\\CurrentControlSet\\Services";
    const std::set<std::wstring> names = NamesOf(services);
    for (const std::wstring& taken :
         {key, key + L"\\KvtRegSvc\\ImagePath", key + L"\\KvtRegSvc\\Start", key + L"\\KvtRegSvc\\TYPE",
          key + L"\\KvtRegSvc\\Instance\\Group", key + L"\\KvtRegSvc\\Instance\\DependOnService",
          key + L"\\KvtLowSvc\\ImagePath", key + L"\\KVTHOSTSVC3\\ImagePath"})
        EXPECT_EQ(1u, names.count(taken)) << Narrow(taken);
    for (const std::wstring& left :
         {key + L"\\KvtRegSvc\\Description", key + L"\\KvtRegSvc\\DisplayName", key + L"\\KvtHostSvc\\ImagePath",
          key + L"\\KvtHostSvcTwo\\ImagePath", key + L"\\KvtLowSvc\\KvtHostSvc\\Group"})
        EXPECT_EQ(0u, names.count(left)) << Narrow(left);
    // Nothing but the key and values of the six names.
    const std::vector<std::wstring> six = {L"imagepath", L"start",           L"type",
                                           L"group",     L"dependonservice", L"dependongroup"};
    for (CIChNode* node : services->m_Members) {
        CIChResorce* resource = static_cast<CIChResorce*>(node);
        if (node->m_Name == key) {
            EXPECT_EQ(ResRegKey, resource->m_SubType);
            continue;
        }
        EXPECT_EQ(ResRegValue, resource->m_SubType);
        EXPECT_NE(six.end(), std::find(six.begin(), six.end(), Lower(resource->m_Description))) << Narrow(node->m_Name);
    }
    DeleteNodeTree(task);
}

// Without a list of its own the services group leaves out the host suite's fifteen services.
TEST(RegistryTemplates, HostSuiteServicesAreLeftOutByDefault) {
    const std::vector<std::wstring>& suite = HostSuiteServiceNames();
    ASSERT_EQ(15u, suite.size());
    TempKey mine(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtPlainSvc");
    TempKey theirs(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\" + suite.back());
    ASSERT_TRUE(mine && theirs);
    mine.SetText(L"ImagePath", L"C:\\kvt\\plain.exe");
    theirs.SetText(L"ImagePath", L"C:\\kvt\\suite.exe");
    CIChTask* task = new CIChTask;
    ASSERT_EQ(1, AddRegistryTemplates(task));
    const std::wstring key = Hklm + L"SYSTEM\\CurrentControlSet\\Services\\";
    const std::set<std::wstring> names = NamesOf(task->m_Members.front());
    EXPECT_EQ(1u, names.count(key + L"KvtPlainSvc\\ImagePath"));
    EXPECT_EQ(0u, names.count(key + suite.back() + L"\\ImagePath"));
    SWindowsTaskOptions options;
    EXPECT_EQ(suite, options.excludedServices);
    DeleteNodeTree(task);
}

TEST(RegistryTemplates, ImportantElementsInTheirForms) {
    const std::wstring run = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring notify = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
    const std::wstring overlay = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
    const std::wstring ifeo = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
    TempKey runKey(HKEY_LOCAL_MACHINE, run + L"\\KvtSubkeyNotTaken");
    TempKey notifyKey(HKEY_LOCAL_MACHINE, notify + L"\\KvtPackage\\Deeper");
    TempKey overlayKey(HKEY_LOCAL_MACHINE, overlay + L"\\KvtOverlay");
    TempKey ifeoKey(HKEY_LOCAL_MACHINE, ifeo + L"\\kvt.exe\\Nested");
    TempKey winlogon(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    ASSERT_TRUE(runKey && notifyKey && overlayKey && ifeoKey && winlogon);
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, run.c_str(), 0, KEY_ALL_ACCESS, &h));
    ::RegSetValueExW(h, L"KvtRunValue", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"kvt.exe"), 16);
    ::RegCloseKey(h);
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (notify + L"\\KvtPackage").c_str(), 0, KEY_ALL_ACCESS, &h));
    ::RegSetValueExW(h, L"DllName", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"kvt.dll"), 16);
    ::RegSetValueExW(h, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    ::RegCloseKey(h);
    notifyKey.SetText(L"dllname", L"deeper.dll");
    overlayKey.SetText(nullptr, L"{00000000-0000-0000-0000-000000000001}");
    overlayKey.SetText(L"Named", L"not taken");
    ifeoKey.SetText(L"Debugger", L"kvt.exe");
    winlogon.SetText(L"Shell", L"explorer.exe");

    CIChTask* task = new CIChTask;
    ASSERT_EQ(1, AddRegistryTemplates(task));
    CIChNode* important = GroupOf(task, ImportantRegistryGroupName);
    ASSERT_NE(nullptr, important);
    EXPECT_EQ(L"Важные элементы системного реестра Windows", important->m_Description);
    const std::set<std::wstring> names = NamesOf(important);
    const std::wstring token = RegDefaultValueToken;
    for (const std::wstring& taken :
         {Hklm + run, Hklm + run + L"\\KvtRunValue", Hklm + notify, Hklm + notify + L"\\KvtPackage\\DllName",
          Hklm + notify + L"\\KvtPackage\\Deeper\\dllname", Hklm + overlay, Hklm + overlay + L"\\KvtOverlay\\" + token,
          Hklm + ifeo, Hklm + ifeo + L"\\kvt.exe", Hklm + ifeo + L"\\kvt.exe\\Nested",
          Hklm + ifeo + L"\\kvt.exe\\Nested\\Debugger",
          Hklm + L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Shell"})
        EXPECT_EQ(1u, names.count(taken)) << Narrow(taken);
    for (const std::wstring& left : {Hklm + run + L"\\KvtSubkeyNotTaken", Hklm + notify + L"\\KvtPackage\\Other",
                                     Hklm + overlay + L"\\KvtOverlay\\Named"})
        EXPECT_EQ(0u, names.count(left)) << Narrow(left);
    // A missing place is left out without a trace.
    for (const std::wstring& name : names)
        EXPECT_EQ(std::wstring::npos, name.find(L"Terminal Server\\Wds\\rdpwd")) << Narrow(name);
    HKEY k = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, run.c_str(), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
        ::RegDeleteValueW(k, L"KvtRunValue");
        ::RegCloseKey(k);
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (notify + L"\\KvtPackage").c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (notify + L"\\KvtPackage").c_str());
    DeleteNodeTree(task);
}

TEST(WindowsTask, DefaultKindListsTheSystemFoldersExecutables) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    // The files of the system folder that end in .exe or .dll, as the folder lists them.
    std::set<std::wstring> expected;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((std::wstring(system) + L"\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        const std::wstring name = Lower(data.cFileName);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if ((name.size() > 4 && name.compare(name.size() - 4, 4, L".exe") == 0) ||
            (name.size() > 4 && name.compare(name.size() - 4, 4, L".dll") == 0))
            expected.insert(Lower(std::wstring(system) + L"\\" + data.cFileName));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    ASSERT_FALSE(expected.empty());

    for (int is64 : {0, 1}) {
        SWindowsTaskOptions options;
        options.variant = WindowsTaskDefault;
        options.exeExtensions = L".exe; .dll; .exe";
        options.is64 = is64;
        CIChTask* task = BuildWindowsTask(options);
        EXPECT_EQ(WindowsTaskName, task->m_Name);
        EXPECT_EQ(L"Ресурсы операционной системы MS Windows", task->m_Description);
        std::vector<std::wstring> groups;
        for (CIChNode* group : task->m_Members)
            groups.push_back(group->m_Name);
        std::vector<std::wstring> wanted = {L"Модули в каталоге System32", L"Модули в каталоге Windows",
                                            ServicesGroupName, ImportantRegistryGroupName};
        if (is64)
            wanted.insert(wanted.begin() + 1, L"Модули в каталоге SysWOW64");
        EXPECT_EQ(wanted, groups);
        std::set<std::wstring> listed;
        CIChNode* sys32 = GroupOf(task, L"Модули в каталоге System32");
        ASSERT_NE(nullptr, sys32);
        for (CIChNode* node : sys32->m_Members)
            EXPECT_TRUE(listed.insert(Lower(node->m_Name)).second) << Narrow(node->m_Name);
        EXPECT_EQ(expected, listed);
        wchar_t windows[MAX_PATH] = {};
        ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
        EXPECT_EQ(std::set<std::wstring>{std::wstring(windows) + L"\\explorer.exe"},
                  NamesOf(GroupOf(task, L"Модули в каталоге Windows")));
        DeleteNodeTree(task);
    }
}

TEST(WindowsTask, FirstBoardJobInListOrder) {
    CIChDataModel model;
    EXPECT_EQ(nullptr, FirstBoardJob(model));
    CIChJob* other = static_cast<CIChJob*>(model.CreateNode(NodeTypeJob));
    other->m_SubType = 0;
    EXPECT_EQ(nullptr, FirstBoardJob(model));
    CIChJob* second = static_cast<CIChJob*>(model.CreateNode(NodeTypeJob));
    second->m_SubType = JobSecondEdition;
    CIChJob* board = static_cast<CIChJob*>(model.CreateNode(NodeTypeJob));
    board->m_SubType = JobBoard;
    EXPECT_EQ(second, FirstBoardJob(model));
}

namespace {

// A product generator as the installer's one behaves: its task goes into the model and the list.
std::function<int(CIChNodeList*)> ProductGenerator(CIChDataModel& model, const wchar_t* name,
                                                   std::function<void()> seen = nullptr) {
    return [&model, name, seen](CIChNodeList* output) {
        if (seen)
            seen();
        CIChNode* task = new CIChTask;
        task->SetName(name);
        model.AddNodeTree(&task, 1);
        output->push_back(task);
        return 1;
    };
}

int CountNamed(CIChDataModel& model, int type, const std::wstring& name) {
    int n = 0;
    for (CIChNode* node : *model.GetNodeList(type))
        n += node->m_Name == name ? 1 : 0;
    return n;
}

} // namespace

TEST(OsTemplatesRun, TasksGoUnderTheBoardJobAndTheSwitchesComeBack) {
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    CIChJob* job = FirstBoardJob(model);
    ASSERT_NE(nullptr, job);
    int showResults = 1, addDepends = 1, storeExisted = 0;
    int seenShow = -1, seenDepends = -1;
    SOsTemplatesRun run;
    run.model = &model;
    run.addWindowsTask = 1;
    run.hasProducts = 1;
    run.task.variant = WindowsTaskDefault;
    run.task.exeExtensions = L".exe";
    run.showResults = &showResults;
    run.addDepends = &addDepends;
    run.storeExisted = &storeExisted;
    run.generateProducts = ProductGenerator(model, L"Kvt Product", [&] {
        seenShow = showResults;
        seenDepends = addDepends;
    });
    EXPECT_EQ(1, CreateOsTemplates(run));
    EXPECT_EQ(0, seenShow);
    EXPECT_EQ(0, seenDepends);
    EXPECT_EQ(1, showResults);
    EXPECT_EQ(1, addDepends);
    EXPECT_EQ(1, storeExisted);
    EXPECT_EQ(1, model.m_bModified);
    std::set<std::wstring> underJob;
    for (CIChNode* node : job->m_Members)
        underJob.insert(node->m_Name);
    EXPECT_EQ((std::set<std::wstring>{WindowsTaskName, L"Kvt Product"}), underJob);

    // Again without clearing: the task of that name takes in the new groups, no second task.
    run.hasProducts = 0;
    EXPECT_EQ(1, CreateOsTemplates(run));
    EXPECT_EQ(1, CountNamed(model, NodeTypeTask, WindowsTaskName));
    EXPECT_EQ(1, CountNamed(model, NodeTypeGroup, L"Модули в каталоге System32"));

    // A failing generator: the switches have their values back all the same.
    run.addWindowsTask = 0;
    run.hasProducts = 1;
    run.generateProducts = [](CIChNodeList*) -> int { throw std::runtime_error("installer failed"); };
    addDepends = 1;
    showResults = 1;
    EXPECT_THROW(CreateOsTemplates(run), std::runtime_error);
    EXPECT_EQ(1, showResults);
    EXPECT_EQ(1, addDepends);
}

TEST(OsTemplatesRun, NothingChosenChangesNothing) {
    CIChDataModel model;
    model.NewModel(1, JobBoard);
    model.m_bModified = 0;
    int showResults = 1;
    SOsTemplatesRun run;
    run.model = &model;
    run.showResults = &showResults;
    EXPECT_EQ(1, CreateOsTemplates(run));
    EXPECT_EQ(0, model.m_bModified);
    EXPECT_TRUE(model.m_Tasks.empty());
    // Only products: only their tasks, no Windows task.
    run.hasProducts = 1;
    run.generateProducts = ProductGenerator(model, L"Kvt Only");
    EXPECT_EQ(1, CreateOsTemplates(run));
    EXPECT_EQ(1u, model.m_Tasks.size());
    EXPECT_EQ(0, CountNamed(model, NodeTypeTask, WindowsTaskName));
}
