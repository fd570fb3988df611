// Module paths in normal form, command lines of rundll32, registry texts by their declared types,
// the binary of a service and the file resources of modules.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "IChNode.h"
#include "KvOsTemplates.h"
#include "ostemplates_test_util.h"

using namespace OsTest;

namespace {

// A folder with a blank in its name holding "prog.exe" and "lib.dll", below the test's own folder.
class ModulePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = Lower(Tmp() + L"\\dir with blank");
        ::CreateDirectoryW(dir.c_str(), nullptr);
        ASSERT_TRUE(Touch(dir + L"\\prog.exe"));
        ASSERT_TRUE(Touch(dir + L"\\lib.dll"));
    }
    std::wstring dir;
};

} // namespace

TEST_F(ModulePathTest, NormalFormOfCommandLines) {
    const std::wstring root = Lower(Env(L"SystemRoot"));
    const std::wstring sys = root + L"\\system32";
    struct Case {
        std::wstring raw, expected;
    } cases[] = {
        // quoted program with arguments
        {L"\"" + dir + L"\\Prog.exe\" -a \"b c\"", dir + L"\\prog.exe"},
        // quoted all through, no arguments
        {L"\"" + dir + L"\\prog.exe\"", dir + L"\\prog.exe"},
        // unquoted path with blanks and arguments: resolved blank by blank, not cut at the first
        {dir + L"\\PROG.EXE -k netsvcs", dir + L"\\prog.exe"},
        // ... also when the program is written without its extension
        {dir + L"\\prog -x", dir + L"\\prog.exe"},
        // an unquoted path that names no file is cut at its first blank
        {L"C:\\NoSuchFolder\\x.exe /a /b", L"c:\\nosuchfolder\\x.exe"},
        // environment prefixes and the kernel's forms
        {L"%SystemRoot%\\System32\\svchost.exe -k netsvcs", sys + L"\\svchost.exe"},
        {L"%windir%\\explorer.exe", root + L"\\explorer.exe"},
        {L"System32\\DRIVERS\\kvx.sys", sys + L"\\drivers\\kvx.sys"},
        {L"\\SystemRoot\\System32\\Drivers\\KVX.sys", sys + L"\\drivers\\kvx.sys"},
        {L"\\SYSTEMROOT\\system32\\kvx.sys", sys + L"\\kvx.sys"},
        {L"\\??\\C:\\Drivers\\Kvx.sys", L"c:\\drivers\\kvx.sys"},
        // other variables are expanded
        {L"%KV_OSTEST_DIR%\\lib.dll", dir + L"\\lib.dll"},
        // bare names through the search path; unknown ones stay bare
        {L"kernel32.dll", sys + L"\\kernel32.dll"},
        {L"KvNoSuchModule.dll", L"kvnosuchmodule.dll"},
        {L"", L""},
    };
    ::SetEnvironmentVariableW(L"KV_OSTEST_DIR", dir.c_str());
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, NormalizeModulePath(c.raw)) << Narrow(c.raw);
}

TEST_F(ModulePathTest, Rundll32RunsTheLibraryOfItsFirstArgument) {
    const std::wstring sys = Lower(Env(L"SystemRoot")) + L"\\system32";
    struct Case {
        std::wstring raw, expected;
    } cases[] = {
        {L"rundll32 shell32.dll,Control_RunDLL", sys + L"\\shell32.dll"},
        {L"rundll32.exe shell32.dll", sys + L"\\shell32.dll"},
        {sys + L"\\RunDll32.exe  shell32.dll,Control_RunDLL desk.cpl", sys + L"\\shell32.dll"},
        {L"\"" + sys + L"\\rundll32.exe\" \"" + dir + L"\\lib.dll\",Entry x", dir + L"\\lib.dll"},
        {L"%SystemRoot%\\system32\\rundll32.exe " + dir + L"\\lib.dll,Entry", dir + L"\\lib.dll"},
        // without an argument it is rundll32 itself; other programs keep their path
        {L"rundll32.exe", sys + L"\\rundll32.exe"},
        {L"\"" + dir + L"\\prog.exe\" lib.dll,Entry", dir + L"\\prog.exe"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, CommandLineModule(c.raw)) << Narrow(c.raw);
}

TEST(RegistryTexts, ReadByDeclaredTypeAndNeverPastTheData) {
    TempKey key(HKEY_CURRENT_USER, L"Software\\KvOsTemplatesTests\\Texts");
    ASSERT_TRUE(key);
    const wchar_t noTerminator[] = {L'a', L'b', L'c'};
    const wchar_t multi[] = L"one\0\0two\0";
    const DWORD number = 42;
    const BYTE odd[] = {'x', 0, 'y', 0, 'z'};
    key.Set(L"sz", REG_SZ, L"C:\\a.dll", 18);
    key.Set(L"unterminated", REG_SZ, noTerminator, sizeof(noTerminator));
    key.Set(L"expand", REG_EXPAND_SZ, L"%SystemRoot%\\x.dll", 38);
    key.Set(L"multi", REG_MULTI_SZ, multi, sizeof(multi));
    key.Set(L"dword", REG_DWORD, &number, sizeof(number));
    key.Set(L"binary", REG_BINARY, L"bin.dll", 16);
    key.Set(L"odd", REG_SZ, odd, sizeof(odd));
    key.Set(L"empty", REG_SZ, L"", 0);
    struct Case {
        const wchar_t* name;
        bool ok;
        std::vector<std::wstring> texts;
    } cases[] = {
        {L"sz", true, {L"C:\\a.dll"}},
        {L"unterminated", true, {L"abc"}},
        {L"expand", true, {L"%SystemRoot%\\x.dll"}},
        {L"multi", true, {L"one", L"two"}},
        {L"dword", false, {}},
        {L"binary", false, {}},
        {L"odd", true, {L"xy"}},
        {L"empty", true, {L""}},
        {L"missing", false, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> texts;
        EXPECT_EQ(c.ok, ReadRegStrings(key.Get(), c.name, texts)) << Narrow(c.name);
        EXPECT_EQ(c.texts, texts) << Narrow(c.name);
    }
}

TEST(ServiceBinary, PathOfEachKindOfService) {
    const std::wstring sys = Lower(Env(L"SystemRoot")) + L"\\system32";
    TempKey parameters(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtSvcPath\\Parameters");
    ASSERT_TRUE(parameters);
    parameters.Set(L"ServiceDll", REG_EXPAND_SZ, L"%SystemRoot%\\System32\\KvtSvcPath.dll",
                   sizeof(L"%SystemRoot%\\System32\\KvtSvcPath.dll"));
    struct Case {
        const wchar_t* name;
        const wchar_t* binary;
        std::wstring expected;
    } cases[] = {
        {L"KvtDrvA", L"\\??\\C:\\Drivers\\KvtDrvA.SYS", L"c:\\drivers\\kvtdrva.sys"},
        {L"KvtDrvB", L"\\SystemRoot\\system32\\drivers\\KvtDrvB.sys", sys + L"\\drivers\\kvtdrvb.sys"},
        {L"KvtDrvC", L"", sys + L"\\drivers\\kvtdrvc.sys"},
        {L"KvtSvcPath", L"%SystemRoot%\\system32\\svchost.exe -k kvtgroup", sys + L"\\kvtsvcpath.dll"},
        // in the shared host without a ServiceDll: the host itself
        {L"KvtNoDll", L"%SystemRoot%\\system32\\svchost.exe -k kvtgroup", sys + L"\\svchost.exe"},
        {L"KvtOwn", L"%SystemRoot%\\system32\\cmd.exe /c x", sys + L"\\cmd.exe"},
    };
    for (const Case& c : cases) {
        QUERY_SERVICE_CONFIGW config = {};
        config.lpBinaryPathName = const_cast<wchar_t*>(c.binary);
        EXPECT_EQ(c.expected, GetServiceBinaryPath(c.name, &config)) << Narrow(c.name);
    }
    EXPECT_EQ(L"", GetServiceBinaryPath(L"KvtDrvA", nullptr));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KvtSvcPath");
}

namespace {

// The start-up templates with the file test answered from a list and drive C: as the only local disk.
class ListedFiles : public CStartupTemplates {
public:
    ListedFiles() : CStartupTemplates([](wchar_t drive) { return drive == L'C' || drive == L'c'; }) {}
    std::vector<std::wstring> files;

protected:
    bool ModuleFileExists(const std::wstring& path) const override {
        for (const std::wstring& f : files)
            if (f == path)
                return true;
        return false;
    }
};

} // namespace

TEST(ModuleResource, LocalFilesOnlyWithSingleBackslashes) {
    ListedFiles run;
    struct Case {
        std::wstring path;
        const wchar_t* expected; // null: no resource
    } cases[] = {
        {L"c:\\windows\\system32\\a.dll", L"c:\\windows\\system32\\a.dll"},
        {L"c:\\windows\\\\system32\\\\\\b.dll", L"c:\\windows\\system32\\b.dll"},
        {L"\\\\?\\c:\\windows\\system32\\c.dll", L"\\\\?\\c:\\windows\\system32\\c.dll"},
        {L"\\\\?\\c:\\windows\\\\d.dll", L"\\\\?\\c:\\windows\\d.dll"},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\bootmgr",
         L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\bootmgr"},
        {L"d:\\removable\\e.dll", nullptr},
        {L"\\\\?\\d:\\f.dll", nullptr},
        // network paths are refused, never collapsed into "\server\share\..." that counts as local
        {L"\\\\server\\share\\g.dll", nullptr},
        {L"\\\\?\\UNC\\server\\share\\h.dll", nullptr},
        {L"\\\\server\\\\share\\i.dll", nullptr},
    };
    for (const Case& c : cases)
        run.files.push_back(c.path);
    for (const Case& c : cases) {
        std::unique_ptr<CIChResorce> resource(run.MakeModuleResource(c.path));
        if (!c.expected) {
            EXPECT_EQ(nullptr, resource.get()) << Narrow(c.path);
            continue;
        }
        ASSERT_NE(nullptr, resource.get()) << Narrow(c.path);
        EXPECT_EQ(c.expected, resource->m_Name);
        EXPECT_EQ(ResFile, resource->m_SubType);
    }
    // A file that does not exist gives nothing.
    EXPECT_EQ(nullptr, run.MakeModuleResource(L"c:\\windows\\system32\\missing.dll"));
}

TEST(ModuleCollector, EachModuleWalkedOnce) {
    const std::wstring sys = Lower(Env(L"SystemRoot")) + L"\\system32";
    CModuleCollector collector;
    CModuleSet first, second;
    collector.AddModule(sys + L"\\shell32.dll", first);
    collector.AddModule(sys + L"\\shell32.dll", second);
    EXPECT_EQ(1u, collector.WalkCount());
    EXPECT_EQ(first, second);
    EXPECT_EQ(1u, first.count(sys + L"\\shell32.dll"));
    // The walk's result is what one finder of its own finds.
    CModuleSet alone = CollectModuleDependencies(sys + L"\\shell32.dll");
    EXPECT_FALSE(alone.empty());
    EXPECT_EQ(0u, alone.count(sys + L"\\shell32.dll"));
    alone.insert(sys + L"\\shell32.dll");
    EXPECT_EQ(alone, first);
}
