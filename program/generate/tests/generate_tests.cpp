// Installed-product information over a scripted installer source, the extension helpers, and the
// registry branch of the generator against the prefix's registry.
#include "FakeInstaller.h"
#include "GenTestSupport.h"

#include "VoRurod.h"

using namespace kvgen;

TEST(ProductInfo, RootCodeFollowsTheFirstThreeCharacters) {
    const struct {
        const wchar_t* path;
        int root;
    } cases[] = {
        {L"00:\\Classes\\x", RootClassesRoot},
        {L"01:\\Software\\x", RootCurrentUser},
        {L"02:\\SOFTWARE\\x", RootLocalMachine},
        {L"03:\\S-1-5-18\\x", RootUsers},
        {L"20:\\x", RootClassesRoot},
        {L"21:\\x", RootCurrentUser},
        {L"22:\\SOFTWARE\\x", RootLocalMachine},
        {L"23:\\x", RootUsers},
        {L"04:\\x", RootNone},
        {L"12:\\x", RootNone},
        {L"02\\x", RootNone},
        {L"C:\\Program Files\\a.exe", RootNone},
        {L"", RootNone},
        {L"0", RootNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.root, SProductComponent::RootOfPath(c.path)) << c.path;
}

TEST(ProductInfo, ProductsWithoutNameOrAssignmentAreLeftOut) {
    CFakeInstaller msi;
    msi.AddProduct(Guid(1, 1), L"Machine product", L"1");
    msi.AddProduct(Guid(1, 2), L"User product", L"0");
    msi.AddProduct(Guid(1, 3), L"", L"1");                 // empty name
    msi.AddProduct(Guid(1, 4), L"No assignment", nullptr); // cannot be read
    msi.products[0].properties[INSTALLPROPERTY_LOCALPACKAGE] = L"C:\\Windows\\Installer\\a.msi";
    std::list<CInstalledProductInfo> products;
    GetInstalledProducts(products);
    ASSERT_EQ(2u, products.size());
    const CInstalledProductInfo& a = products.front();
    const CInstalledProductInfo& b = products.back();
    EXPECT_EQ(L"Machine product", a.m_strProductName);
    EXPECT_EQ(1, a.m_bPerMachine);
    EXPECT_EQ(L"C:\\Windows\\Installer\\a.msi", a.m_strLocalPackage);
    EXPECT_TRUE(a.m_bValid);
    EXPECT_EQ(Guid(1, 1), a.m_strProductCode);
    EXPECT_EQ(L"User product", b.m_strProductName);
    EXPECT_EQ(0, b.m_bPerMachine);
    EXPECT_EQ(L"", b.m_strLocalPackage);
    EXPECT_EQ(INSTALLUILEVEL_NONE, msi.uiLevel);
}

TEST(ProductInfo, NoProductsGiveAnEmptyListAndAFailedEnumerationRaisesKeepingWhatWasRead) {
    {
        CFakeInstaller msi;
        std::list<CInstalledProductInfo> products;
        EXPECT_NO_THROW(GetInstalledProducts(products));
        EXPECT_TRUE(products.empty());
    }
    CFakeInstaller msi;
    msi.AddProduct(Guid(1, 1), L"First");
    msi.productsEnd = ERROR_BAD_CONFIGURATION;
    std::list<CInstalledProductInfo> products;
    try {
        GetInstalledProducts(products);
        FAIL() << "no error raised";
    } catch (KvBase::CVoRurod& e) {
        EXPECT_EQ((int)(0x80070000u | ERROR_BAD_CONFIGURATION), e.GetCode());
        EXPECT_STREQ(L"KvProductInfo", e.GetField(L"File"));
        EXPECT_STREQ(L"117", e.GetField(L"Line"));
    }
    ASSERT_EQ(1u, products.size());
    EXPECT_EQ(L"First", products.front().m_strProductName);
}

TEST(ProductInfo, ComponentsSortedByPathOneRecordPerPathTheFirstOfItsRun) {
    CFakeInstaller msi;
    const std::wstring p = Guid(2, 1);
    msi.AddProduct(p, L"P");
    msi.AddComponent(Guid(3, 1), p, L"C:\\App\\b.dll");
    msi.AddComponent(Guid(3, 2), p, L"C:\\APP\\A.EXE");
    msi.AddComponent(Guid(3, 3), p, L"c:\\app\\a.exe");            // same path, other case: dropped
    msi.AddComponent(Guid(3, 4), Guid(2, 9), L"C:\\Other\\c.dll"); // another product's
    msi.AddComponent(Guid(3, 5), p, L"22:\\SOFTWARE\\App\\");
    std::list<SProductComponent> list;
    GetInstalledProductComponentList(p, list);
    std::vector<std::wstring> paths;
    for (const auto& c : list)
        paths.push_back(c.GetPath());
    EXPECT_EQ((std::vector<std::wstring>{L"22:\\SOFTWARE\\App\\", L"C:\\APP\\A.EXE", L"C:\\App\\b.dll"}), paths);
    EXPECT_EQ(RootLocalMachine, list.front().m_nRoot);
    EXPECT_TRUE(list.front().Is64BitRegistry());
    EXPECT_TRUE(list.back().m_ComponentCode.m_bValid);
}

TEST(ProductInfo, OnePassOverTheComponentsServesEveryProduct) {
    for (bool clients : {true, false}) {
        SCOPED_TRACE(clients ? "installer names the clients" : "installer does not name the clients");
        CFakeInstaller msi;
        msi.clientsKnown = clients;
        std::list<std::wstring> codes;
        for (unsigned p = 1; p <= 5; ++p) {
            msi.AddProduct(Guid(4, p), L"P" + std::to_wstring(p));
            codes.push_back(Guid(4, p));
            for (unsigned c = 0; c < 20; ++c)
                msi.AddComponent(Guid(5, p * 100 + c), Guid(4, p),
                                 L"C:\\P" + std::to_wstring(p) + L"\\f" + std::to_wstring(c));
        }
        CProductComponentMap lists;
        GetInstalledProductsComponentLists(codes, lists);
        EXPECT_EQ(101, msi.enumComponentCalls); // 100 components and the end
        EXPECT_EQ(clients ? 100 : 500, msi.componentPathCalls);
        for (const std::wstring& code : codes)
            EXPECT_EQ(20u, lists[code].size()) << code;
    }
}

TEST(ProductInfo, FailedComponentEnumerationRaisesLine157) {
    CFakeInstaller msi;
    msi.AddProduct(Guid(6, 1), L"P");
    msi.AddComponent(Guid(7, 1), Guid(6, 1), L"C:\\x\\b");
    msi.AddComponent(Guid(7, 2), Guid(6, 1), L"C:\\x\\a");
    msi.componentsEnd = ERROR_INSTALL_FAILURE;
    std::list<SProductComponent> list;
    try {
        GetInstalledProductComponentList(Guid(6, 1), list);
        FAIL() << "no error raised";
    } catch (KvBase::CVoRurod& e) {
        EXPECT_EQ((int)(0x80070000u | ERROR_INSTALL_FAILURE), e.GetCode());
        EXPECT_STREQ(L"157", e.GetField(L"Line"));
        EXPECT_STREQ(L"GetInstalledProductComponentList", e.GetField(L"Function"));
    }
    ASSERT_EQ(2u, list.size()); // what was read, unsorted
    EXPECT_EQ(L"C:\\x\\b", list.front().GetPath());
}

TEST(GenerateHelpers, ExtensionListAndTest) {
    EXPECT_EQ((std::list<std::wstring>{L".exe", L".dll", L".cpl", L"ocx"}),
              SplitExtensions(L" .exe;.dll,, .cpl ;ocx;"));
    const auto list = SplitExtensions(L".exe; .dll; .cpl");
    const struct {
        const wchar_t* path;
        bool listed;
    } cases[] = {{L"C:\\a\\b.EXE", true},     {L"C:\\a\\b.dll", true},  {L"C:\\a\\b.cpl", true},
                 {L"C:\\a\\b.txt", false},    {L"C:\\a.dll\\b", false}, {L"C:\\a\\exe", false},
                 {L"C:\\a\\b.exe.bak", false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.listed, HasListedExtension(c.path, list)) << c.path;
}

// The prefix's registry holds a 64-bit key, a key in the 32-bit view, a user value, a class key and
// a key whose name holds a root code's text.
class RegistryBranch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Set(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KvGenReg64", L"Marker", KEY_WOW64_64KEY);
        Set(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KvGenReg32", L"Mark32", KEY_WOW64_32KEY);
        Set(HKEY_CURRENT_USER, L"Software\\KvGenUser", L"UserVal", 0);
        Set(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\KvGenClass", L"", KEY_WOW64_64KEY);
        Set(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KvGen01:Odd", L"Val", KEY_WOW64_64KEY);
    }
    static void TearDownTestSuite() {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KvGenReg64", KEY_WOW64_64KEY, 0);
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KvGenReg32", KEY_WOW64_32KEY, 0);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KvGenUser");
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\KvGenClass", KEY_WOW64_64KEY, 0);
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KvGen01:Odd", KEY_WOW64_64KEY, 0);
    }
    static void Set(HKEY root, const wchar_t* key, const wchar_t* value, REGSAM view) {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &h, nullptr));
        ::RegSetValueExW(h, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
        ::RegCloseKey(h);
    }
};

TEST_F(RegistryBranch, RecordsResolveByTheirRootCodeInTheirView) {
    const std::wstring sid = CurrentUserSid();
    ASSERT_FALSE(sid.empty());
    const struct {
        const wchar_t* record;
        bool kept;
        const wchar_t* path;
        int subType;
    } cases[] = {
        {L"22:\\SOFTWARE\\KvGenReg64\\", true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KvGenReg64", ResRegKey},
        {L"22:\\SOFTWARE\\KvGenReg64\\Marker", true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KvGenReg64\\Marker", ResRegValue},
        // The 32-bit product's value lies in the 32-bit view, and is named where it really is.
        {L"02:\\SOFTWARE\\KvGenReg32\\Mark32", true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\KVGENREG32\\Mark32",
         ResRegValue},
        {L"22:\\SOFTWARE\\KvGenReg32\\Mark32", false, L"", 0},
        {L"02:\\SOFTWARE\\KvGenReg64\\Marker", false, L"", 0},
        {L"01:\\Software\\KvGenUser\\UserVal", true, nullptr, ResRegValue},
        {L"20:\\KvGenClass\\", true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\KvGenClass", ResRegKey},
        // Only the first three characters say the root; the same text later in the path stays.
        {L"22:\\SOFTWARE\\KvGen01:Odd\\Val", true, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KvGen01:Odd\\Val", ResRegValue},
        {L"22:\\SOFTWARE\\KvGenMissing\\", false, L"", 0},
        {L"04:\\SOFTWARE\\KvGenReg64\\", false, L"", 0},
        {L"C:\\Windows\\notepad.exe", false, L"", 0},
    };
    for (const auto& c : cases) {
        std::wstring path;
        int subType = -1;
        bool kept = ResolveRegistryComponent(c.record, sid, path, subType);
        EXPECT_EQ(c.kept, kept) << c.record;
        if (!kept || !c.kept)
            continue;
        std::wstring expected = c.path ? c.path : L"HKEY_USERS\\" + sid + L"\\Software\\KvGenUser\\UserVal";
        EXPECT_EQ(KvBase::UpperCase(expected), KvBase::UpperCase(path)) << c.record;
        EXPECT_EQ(c.subType, subType) << c.record;
    }
}

// A product of the scripted source with registry records, generated into a model with a job of the
// second edition, into one whose first job is the board's (SubType 1, which holds no registry
// resources), and into one without a job.
TEST_F(RegistryBranch, GeneratorPutsKeysAndValuesIntoTheRegistryGroupOnlyWhenTheJobCanHoldThem) {
    CFakeInstaller msi;
    const std::wstring p = Guid(8, 1);
    msi.AddProduct(p, L"KvGen Registry Product");
    msi.AddComponent(Guid(9, 1), p, L"22:\\SOFTWARE\\KvGenReg64\\");
    msi.AddComponent(Guid(9, 2), p, L"02:\\SOFTWARE\\KvGenReg32\\Mark32");
    msi.AddComponent(Guid(9, 3), p, L"01:\\Software\\KvGenUser\\UserVal");
    msi.AddComponent(Guid(9, 4), p, L"22:\\SOFTWARE\\KvGenMissing\\");
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    msi.AddComponent(Guid(9, 5), p, std::wstring(windows) + L"\\notepad.exe");
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    for (int job : {(int)JobSecondEdition, (int)JobBoard, 0}) {
        SCOPED_TRACE(job);
        CIChDataModel model;
        model.NewModel(1, job);
        std::list<CInstalledProductInfo> products;
        GetInstalledProducts(products);
        CIChNodeList output;
        SGenerateHost host = MakeHost(main.m_hWnd, model);
        ASSERT_EQ(1, GenerateTasksFromMsi(host, &products, 0, 1, 0, &output));
        ASSERT_EQ(1u, output.size());
        CIChNode* task = output.front();
        EXPECT_EQ(L"KvGen Registry Product", task->m_Name);
        CIChNode* registry = MemberNamed(task, L"KvGen Registry Product Реестр");
        if (job != JobSecondEdition) {
            EXPECT_EQ(nullptr, registry); // board job or no job: the registry group ends empty and goes
            EXPECT_EQ(1u, task->m_Members.size());
            CIChNode* files = MemberNamed(task, L"KvGen Registry Product Файлы");
            ASSERT_NE(nullptr, files);
            EXPECT_EQ(1u, files->m_Members.size()) << "the file component is kept";
            for (CIChNode* node : model.m_Resources)
                EXPECT_EQ(ResFile, static_cast<CIChResorce*>(node)->m_SubType) << "no registry resource at all";
            continue;
        }
        ASSERT_NE(nullptr, registry);
        EXPECT_EQ(L"Переменные и ключи реестра приложения", registry->m_Description);
        std::vector<std::wstring> names;
        for (const std::wstring& n : MemberNames(registry))
            names.push_back(KvBase::UpperCase(n));
        EXPECT_EQ((std::vector<std::wstring>{
                      KvBase::UpperCase(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KvGenReg64"),
                      KvBase::UpperCase(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KvGenReg32\\Mark32"),
                      KvBase::UpperCase(L"HKEY_USERS\\" + CurrentUserSid() + L"\\Software\\KvGenUser\\UserVal")}),
                  names);
        CIChNode* files = MemberNamed(task, L"KvGen Registry Product Файлы");
        ASSERT_NE(nullptr, files);
        ASSERT_EQ(1u, files->m_Members.size());
        EXPECT_EQ(1, static_cast<CIChResorce*>(files->m_Members.front())->m_Executable);
    }
    // Each run closed with its message.
    ASSERT_EQ(3u, presenter.Boxes().size());
    EXPECT_EQ(0u, presenter.Boxes()[0].text.find(L"Процесс генерации задач (MSI) успешно завершен "));
    EXPECT_EQ((UINT)MB_ICONINFORMATION, presenter.Boxes()[0].type);
}

TEST(GenerateMsi, NothingToDoReturnsZeroAndShowsNothing) {
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    CIChDataModel model;
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    std::list<CInstalledProductInfo> none;
    CIChNodeList output;
    EXPECT_EQ(0, GenerateTasksFromMsi(host, nullptr, 1, 1, 0, &output));
    EXPECT_EQ(0, GenerateTasksFromMsi(host, &none, 1, 1, 0, &output));
    std::list<CInstalledProductInfo> one{CInstalledProductInfo(Guid(1, 1), L"X", 1, L"")};
    EXPECT_EQ(0, GenerateTasksFromMsi(host, &one, 1, 1, 0, nullptr));
    EXPECT_TRUE(presenter.Boxes().empty());
    EXPECT_EQ(nullptr, ::FindWindowW(nullptr, kProgressCaption));
}

// The enumeration fails in the middle of a run: the error reaches the caller, the main window has
// its input back, the progress dialog is gone and the model holds nothing new.
TEST(GenerateMsi, AnErrorOfTheInstallerLeavesNoDisabledWindowNoDialogAndNoNodes) {
    CFakeInstaller msi;
    msi.AddProduct(Guid(10, 1), L"Broken");
    msi.AddComponent(Guid(11, 1), Guid(10, 1), L"C:\\Windows\\notepad.exe");
    msi.componentsEnd = ERROR_INSTALL_FAILURE;
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    const unsigned nodes = model.GetNodeCount();
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    std::list<CInstalledProductInfo> products;
    GetInstalledProducts(products);
    CIChNodeList output;
    EXPECT_THROW(GenerateTasksFromMsi(host, &products, 0, 1, 0, &output), KvBase::CVoRurod);
    EXPECT_TRUE(::IsWindowEnabled(main.m_hWnd));
    EXPECT_EQ(nullptr, ::FindWindowW(nullptr, kProgressCaption));
    EXPECT_EQ(nodes, model.GetNodeCount());
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(presenter.Boxes().empty());
}

// "Прервать" while the second of three products is treated: that product is completed, the third
// is not begun, and the closing message says so.
TEST(GenerateMsi, AbortDuringTheSecondProductKeepsTwoTasks) {
    CFakeInstaller msi;
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    for (unsigned p = 1; p <= 3; ++p) {
        msi.AddProduct(Guid(12, p), L"Product " + std::to_wstring(p));
        msi.AddComponent(Guid(13, p), Guid(12, p), std::wstring(windows) + L"\\notepad.exe");
    }
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    std::list<CInstalledProductInfo> products;
    GetInstalledProducts(products);
    CIChNodeList output;
    {
        CAbortWhenTaskShown abort(L"Product 2");
        EXPECT_EQ(1, GenerateTasksFromMsi(host, &products, 1, 0, 0, &output));
    }
    ASSERT_EQ(2u, output.size());
    EXPECT_EQ(L"Product 1", output.front()->m_Name);
    EXPECT_EQ(L"Product 2", output.back()->m_Name);
    ASSERT_EQ(1u, presenter.Boxes().size());
    EXPECT_EQ(L"Процесс генерации задач (MSI) прерван пользователем", presenter.Boxes()[0].text);
    EXPECT_TRUE(::IsWindowEnabled(main.m_hWnd));
}
