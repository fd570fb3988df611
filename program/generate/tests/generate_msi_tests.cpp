// End to end with a real package: built here with wixl from modules of the cross compiler,
// installed into the test prefix with msiexec, generated from, saved and loaded again, removed.
#include "GenTestSupport.h"
#include "kvtest.h"

#include "KvMsi.h"

#include "ModelStore.h"
#include "StoreFakes.h"
#include "VCore.h"

#include <fstream>
#include <sstream>

using namespace kvgen;

namespace {

using KvTest::RunMsiexec;

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

class RealPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_install = RunMsiexec(L"/i \"" + Env(L"KV_BIN_DIR") + L"\\fixtures\\generate\\kvgen_suite.msi\" /qn");
    }
    static void TearDownTestSuite() { RunMsiexec(std::wstring(L"/x ") + kSuiteCode + L" /qn"); }
    void SetUp() override { ASSERT_EQ(0u, s_install) << "msiexec could not install the test package"; }

    // The installed test product, as the product list gives it.
    std::list<CInstalledProductInfo> Suite() {
        std::list<CInstalledProductInfo> all, out;
        GetInstalledProducts(all);
        for (const auto& p : all)
            if (_wcsicmp(p.m_strProductCode.c_str(), kSuiteCode) == 0)
                out.push_back(p);
        return out;
    }

    static inline DWORD s_install = 1;
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
};

TEST_F(RealPackage, ProductIsListedWithItsProperties) {
    auto suite = Suite();
    ASSERT_EQ(1u, suite.size());
    EXPECT_EQ(kSuiteName, suite.front().m_strProductName);
    // The flag follows what the installer answers for "AssignmentType" (Wine's msi gives "0" for
    // this per-machine package; the mapping itself is tested over the scripted source).
    std::wstring assignment;
    KvMsi::ReadProductProperty(*KvMsi::GetInstallerSource(), kSuiteCode, INSTALLPROPERTY_ASSIGNMENTTYPE, assignment);
    EXPECT_EQ(assignment == L"1" ? 1 : 0, suite.front().m_bPerMachine);
    EXPECT_TRUE(suite.front().m_bValid);
    std::list<SProductComponent> components;
    GetInstalledProductComponentList(kSuiteCode, components);
    std::set<std::wstring> paths;
    for (const auto& c : components)
        paths.insert(KvBase::UpperCase(c.GetPath()));
    for (const wchar_t* f :
         {L"kvgen_app.exe", L"kvgen_helper.dll", L"kvgen_panel.dll", L"kvgen_panel.cpl", L"readme.txt"})
        EXPECT_EQ(1u, paths.count(KvBase::UpperCase(InstallFolder() + L"\\" + f))) << f;
}

TEST_F(RealPackage, TaskHoldsExactlyThePackagesFilesAndThenTheirDependencies) {
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    host.bAddDepends = 0;
    auto products = Suite();
    ASSERT_EQ(1u, products.size());
    CIChNodeList output;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 1, 0, &output));
    ASSERT_EQ(1u, output.size());
    CIChNode* task = output.front();
    EXPECT_EQ(kSuiteName, task->m_Name);
    EXPECT_EQ(L"Сгенерирована по информации об инсталированных программах", task->m_Description);
    ASSERT_EQ(1u, task->m_Members.size()); // the registry is ignored: no registry group
    CIChNode* files = MemberNamed(task, std::wstring(kSuiteName) + L" Файлы");
    ASSERT_NE(nullptr, files);
    EXPECT_EQ(L"Файлы приложения", files->m_Description);
    std::vector<std::wstring> expected;
    for (const wchar_t* f :
         {L"kvgen_app.exe", L"kvgen_helper.dll", L"kvgen_panel.cpl", L"kvgen_panel.dll", L"readme.txt"})
        expected.push_back(KvBase::UpperCase(InstallFolder() + L"\\" + f));
    std::vector<std::wstring> names;
    for (const std::wstring& n : MemberNames(files))
        names.push_back(KvBase::UpperCase(n));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(expected, names); // the folder-only component is not there
    for (CIChNode* n : files->m_Members) {
        auto* r = static_cast<CIChResorce*>(n);
        EXPECT_EQ(ResFile, r->m_SubType);
        EXPECT_EQ(r->m_Name.find(L".txt") == std::wstring::npos ? 1 : 0, r->m_Executable) << r->m_Name;
    }

    // With dependent modules: the helper is there once, the system's modules join.
    CIChDataModel second;
    second.NewModel(1, JobSecondEdition);
    SGenerateHost withDepends = MakeHost(main.m_hWnd, second);
    withDepends.bAddDepends = 1;
    CIChNodeList output2;
    ASSERT_EQ(1, GenerateTasksFromMsi(withDepends, &products, 1, 0, 0, &output2));
    CIChNode* files2 = MemberNamed(output2.front(), std::wstring(kSuiteName) + L" Файлы");
    ASSERT_NE(nullptr, files2);
    std::multiset<std::wstring> all;
    for (CIChNode* n : files2->m_Members) {
        all.insert(KvBase::UpperCase(n->m_Name));
        EXPECT_EQ(0, static_cast<CIChResorce*>(n)->m_Executable) << n->m_Name; // marking is off
    }
    EXPECT_EQ(1u, all.count(KvBase::UpperCase(InstallFolder() + L"\\kvgen_helper.dll")));
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(1u, all.count(KvBase::UpperCase(std::wstring(system) + L"\\kernel32.dll")));
    EXPECT_GT(all.size(), 5u);
}

// The package's HKLM value: Windows gives its component the path "22:\SOFTWARE\...\Installed",
// which becomes a value resource; where the installer gives no path (Wine) no registry group stays.
TEST_F(RealPackage, RegistryComponentBecomesAValueWhereTheInstallerNamesIt) {
    std::wstring path;
    INSTALLSTATE state = KvMsi::ReadComponentPath(*KvMsi::GetInstallerSource(), kSuiteCode,
                                                  L"{3C7A5E21-94B0-4D6B-8E11-6F0A2B9C4D09}", path);
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    auto products = Suite();
    CIChNodeList output;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 0, 1, 0, &output));
    CIChNode* registry = MemberNamed(output.front(), std::wstring(kSuiteName) + L" Реестр");
    if (state != INSTALLSTATE_LOCAL || SProductComponent::RootOfPath(path) == RootNone) {
        EXPECT_EQ(nullptr, registry) << state << " " << std::string(path.begin(), path.end());
        return;
    }
    ASSERT_NE(nullptr, registry);
    EXPECT_EQ((std::vector<std::wstring>{L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KVGENTESTSUITE\\INSTALLED"}),
              std::vector<std::wstring>{KvBase::UpperCase(MemberNames(registry).at(0))});
}

TEST_F(RealPackage, RerunMergesWithUpdatePresentAndNamesAnewWithout) {
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    auto products = Suite();
    CIChNodeList output;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 1, 0, &output));
    const unsigned nodes = model.GetNodeCount();
    const size_t tasks = Count(model, NodeTypeTask), groups = Count(model, NodeTypeGroup);

    CIChNodeList again;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 1, 0, &again));
    EXPECT_EQ(nodes, model.GetNodeCount());
    ASSERT_EQ(1u, again.size());
    EXPECT_EQ(output.front(), again.front()); // the same task, merged

    host.bUpdatePresent = 0;
    CIChNodeList renamed;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 1, 0, &renamed));
    ASSERT_EQ(1u, renamed.size());
    EXPECT_EQ(std::wstring(kSuiteName) + L"1", renamed.front()->m_Name);
    EXPECT_EQ(tasks + 1, Count(model, NodeTypeTask));
    EXPECT_EQ(groups + 1, Count(model, NodeTypeGroup));
    EXPECT_NE(nullptr, MemberNamed(renamed.front(), std::wstring(kSuiteName) + L" Файлы1"));
    EXPECT_EQ(nodes + 2, model.GetNodeCount()); // the resources are the same ones
}

// Paths to variables with a merge: the task's own files group is treated, not the other group that
// the merge brought into the task.
TEST_F(RealPackage, PathsToVariablesTouchOnlyTheTasksOwnFilesGroup) {
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    // The model already has the task, with another group of files first among its members.
    CIChTask* existing = static_cast<CIChTask*>(model.CreateNode(NodeTypeTask));
    existing->SetName(kSuiteName);
    CIChRGroup* other = static_cast<CIChRGroup*>(model.CreateNode(NodeTypeGroup));
    other->m_SubType = GroupFiles;
    other->SetName(L"Other files");
    other->LinkTo(existing);
    CIChResorce* foreign = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    foreign->SetSubType(ResFile);
    foreign->SetName(InstallFolder() + L"\\..\\KvGenOther\\x.exe");
    const std::wstring foreignName = foreign->m_Name;
    foreign->LinkTo(other);
    model.RebuildPathIndex();
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    auto products = Suite();
    CIChNodeList output;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 1, 1, &output));
    ASSERT_EQ(existing, output.front());
    EXPECT_EQ(foreignName, foreign->m_Name);
    CIChNode* files = MemberNamed(existing, std::wstring(kSuiteName) + L" Файлы");
    ASSERT_NE(nullptr, files);
    ASSERT_EQ(5u, files->m_Members.size());
    for (CIChNode* n : files->m_Members)
        EXPECT_EQ(0u, n->m_Name.find(L"%Program")) << n->m_Name;
}

TEST_F(RealPackage, SavedAndLoadedAgainGiveTheSameTasksAndTheBoardListNamesTheFiles) {
    std::wstring dir = Env(L"KV_TEST_TMP") + L"\\store";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    fakes::FHost storeHost;
    storeHost.provider = Varno::Common::CreateProvider();
    storeHost.folder = dir + L"\\Varno";
    for (const wchar_t* f : {L"Localhost.vdb", L"bootfile.nam", L"bootfile.chk"})
        ::DeleteFileW((storeHost.folder + L"\\" + f).c_str());
    SetModelStoreHost(&storeHost);

    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    auto products = Suite();
    CIChNodeList output;
    ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 1, 0, &output));
    CIChNode* job = model.GetNodeList(NodeTypeJob)->front();
    for (CIChNode* task : output)
        task->LinkTo(job); // as the command on a job does
    storeHost.mainModel = &model;
    ASSERT_EQ(0, model.Save(nullptr));

    CIChDataModel loaded;
    storeHost.answers = {InvalidAnswerNoForAll};
    ASSERT_EQ(0, loaded.Load());
    auto names = [](CIChDataModel& m, int type) {
        std::vector<std::wstring> out;
        for (CIChNode* n : *m.GetNodeList(type))
            out.push_back(n->m_Name + L"|" + std::to_wstring(n->m_Members.size()));
        std::sort(out.begin(), out.end());
        return out;
    };
    for (int type : {NodeTypeTask, NodeTypeGroup, NodeTypeResource})
        EXPECT_EQ(names(model, type), names(loaded, type)) << type;
    for (CIChNode* n : *loaded.GetNodeList(NodeTypeResource)) {
        auto* r = static_cast<CIChResorce*>(n);
        EXPECT_EQ(r->m_Name.find(L".txt") == std::wstring::npos ? 1 : 0, r->m_Executable) << r->m_Name;
    }
    SetModelStoreHost(nullptr);

    std::string list = ReadAll(storeHost.folder + L"\\bootfile.nam");
    ASSERT_FALSE(list.empty());
    std::wstring wide(reinterpret_cast<const wchar_t*>(list.data()), list.size() / sizeof(wchar_t));
    std::string upperNarrow = list;
    for (char& c : upperNarrow)
        c = (char)toupper((unsigned char)c);
    for (const wchar_t* f : {L"KVGEN_APP.EXE", L"KVGEN_HELPER.DLL", L"README.TXT"}) {
        std::string narrow(f, f + wcslen(f));
        EXPECT_TRUE(KvBase::UpperCase(wide).find(f) != std::wstring::npos ||
                    upperNarrow.find(narrow) != std::string::npos)
            << narrow;
    }
}
