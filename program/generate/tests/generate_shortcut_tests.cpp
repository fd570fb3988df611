// Shortcuts of the common Start menu made through IShellLinkW (and one advertised shortcut written
// by hand), the listing with its 64-bit retry, and the tasks generated from them.
#include "FakeInstaller.h"
#include "GenTestSupport.h"

#include "linkwalk.h"

#include <fstream>

using namespace kvgen;

namespace {

std::wstring CommonPrograms() {
    wchar_t folder[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

std::wstring Notepad() { return WindowsFile(L"notepad.exe"); }

// An advertised shortcut as the installer writes one: a header with the darwin flag and no target,
// and the block with the descriptor.
void WriteAdvertisedLink(const std::wstring& linkPath, const std::wstring& descriptor) {
    std::string bytes(0x4C, '\0');
    auto put32 = [&bytes](size_t at, DWORD v) { memcpy(&bytes[at], &v, 4); };
    put32(0, 0x4C);
    const GUID clsid = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    memcpy(&bytes[4], &clsid, 16);
    put32(0x14, 0x1000 | 0x80); // HasDarwinID | IsUnicode
    put32(0x3C, SW_SHOWNORMAL);
    std::string block(0x314, '\0');
    DWORD size = 0x314, signature = EXP_DARWIN_ID_SIG;
    memcpy(&block[0], &size, 4);
    memcpy(&block[4], &signature, 4);
    for (size_t i = 0; i < descriptor.size() && i < 259; ++i)
        block[8 + i] = (char)descriptor[i];
    memcpy(&block[8 + 260], descriptor.c_str(), std::min<size_t>(descriptor.size(), 259) * 2);
    bytes += block;
    bytes += std::string(4, '\0');
    std::ofstream out(linkPath.c_str(), std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

bool CopyTo(const std::wstring& from, const std::wstring& to) {
    std::wstring folder = to.substr(0, to.rfind(L'\\'));
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

void RemoveTree(const std::wstring& folder) {
    std::wstring from = folder + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

const std::pair<std::wstring, std::wstring>* Find(const CShortcutList& list, const std::wstring& name) {
    for (const auto& entry : list)
        if (entry.first == name)
            return &entry;
    return nullptr;
}

} // namespace

class StartMenu : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        programs = CommonPrograms();
        ASSERT_FALSE(programs.empty());
        tools = programs + L"\\Tools";
        ::SHCreateDirectoryExW(nullptr, tools.c_str(), nullptr);
        x86Tool = Env(L"ProgramFiles(x86)") + L"\\KvGenX86\\tool.exe";
        ASSERT_FALSE(Env(L"ProgramFiles(x86)").empty());
        ASSERT_TRUE(CopyTo(Notepad(), x86Tool));
        std::wstring programFiles = Env(L"ProgramW6432").empty() ? Env(L"ProgramFiles") : Env(L"ProgramW6432");
        ASSERT_HRESULT_SUCCEEDED(MakeLink(tools + L"\\Editor.lnk", Notepad()));
        ASSERT_HRESULT_SUCCEEDED(MakeLink(tools + L"\\Missing.lnk", L"C:\\KvGenNowhere\\missing.exe"));
        ASSERT_HRESULT_SUCCEEDED(MakeLink(tools + L"\\Tool32.lnk", programFiles + L"\\KvGenX86\\tool.exe"));
        WriteAdvertisedLink(tools + L"\\Advertised.lnk", L"KvGenDescriptor");
    }
    void TearDown() override {
        RemoveTree(tools);
        RemoveTree(x86Tool.substr(0, x86Tool.rfind(L'\\')));
        ::CoUninitialize();
    }
    std::wstring programs, tools, x86Tool;
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
};

TEST_F(StartMenu, ShortcutsAreListedWithExistingTargetsAndThe64BitRetry) {
    CFakeInstaller msi;
    const std::wstring product = Guid(20, 1), component = Guid(21, 1);
    msi.AddProduct(product, L"Advertised product");
    msi.AddComponent(component, product, Notepad());
    msi.descriptors[L"KvGenDescriptor"] = {product, component};
    CIChDataModel model;
    // The model names the 64-bit program folder by another variable than %ProgramFiles%.
    std::wstring programFiles = Env(L"ProgramW6432").empty() ? Env(L"ProgramFiles") : Env(L"ProgramW6432");
    model.m_PathVars.erase(programFiles);
    model.m_PathVars[programFiles] = L"%ProgramW6432%";
    SGenerateHost host = MakeHost(main.m_hWnd, model);

    CShortcutList list;
    ASSERT_EQ(S_OK, GetStartMenuShortcuts(host, list));
    const auto* editor = Find(list, L"Tools - Editor");
    ASSERT_NE(nullptr, editor);
    EXPECT_EQ(KvBase::UpperCase(Notepad()), KvBase::UpperCase(editor->second));
    EXPECT_EQ(nullptr, Find(list, L"Tools - Missing"));
    const auto* tool = Find(list, L"Tools - Tool32");
    ASSERT_NE(nullptr, tool);
    EXPECT_EQ(KvBase::UpperCase(x86Tool), KvBase::UpperCase(tool->second));
    // The advertised shortcut: its component's path, and nothing was installed or repaired.
    const auto* advertised = Find(list, L"Tools - Advertised");
    ASSERT_NE(nullptr, advertised);
    EXPECT_EQ(KvBase::UpperCase(Notepad()), KvBase::UpperCase(advertised->second));
    EXPECT_EQ(INSTALLUILEVEL_DEFAULT, msi.uiLevel); // the level is put back

    // On a 32-bit Windows there is no second attempt; an unknown descriptor is dropped.
    host.bIs64BitWindows = 0;
    msi.descriptors.clear();
    CShortcutList list32;
    ASSERT_EQ(S_OK, GetShortcutsOfFolder(host, tools, list32));
    EXPECT_NE(nullptr, Find(list32, L"Tools - Editor"));
    EXPECT_EQ(nullptr, Find(list32, L"Tools - Tool32"));
    EXPECT_EQ(nullptr, Find(list32, L"Tools - Advertised"));
}

TEST_F(StartMenu, EditorTaskHoldsTheTargetAndItsModulesAndLeavesAddDependsAsItWas) {
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    host.bAddDepends = 0;
    CShortcutList list;
    ASSERT_EQ(S_OK, GetShortcutsOfFolder(host, tools, list));
    CShortcutList chosen;
    for (const auto& entry : list)
        if (entry.first == L"Tools - Editor")
            chosen.push_back(entry);
    ASSERT_EQ(1u, chosen.size());
    CIChNodeList output;
    ASSERT_EQ(1, GenerateTasksFromShortcuts(host, &chosen, 1, 0, &output));
    ASSERT_EQ(1u, output.size());
    CIChNode* task = output.front();
    EXPECT_EQ(L"Tools - Editor", task->m_Name);
    EXPECT_EQ(L"Сгенерирована по информации об инсталированных программах", task->m_Description);
    ASSERT_EQ(1u, task->m_Members.size());
    CIChNode* files = MemberNamed(task, L"Tools - Editor Файлы");
    ASSERT_NE(nullptr, files);
    // The target and exactly the modules the dependency finder gives for it.
    Depends::CDepps finder;
    finder.AddModule(Notepad(), Notepad(), 1);
    std::vector<std::wstring> expected{KvBase::UpperCase(Notepad())};
    for (const auto& m : finder.m_found)
        expected.push_back(KvBase::UpperCase(m.second));
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> names;
    for (const std::wstring& n : MemberNames(files))
        names.push_back(KvBase::UpperCase(n));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(expected, names);
    EXPECT_GT(names.size(), 1u);
    for (CIChNode* n : files->m_Members)
        EXPECT_EQ(1, static_cast<CIChResorce*>(n)->m_Executable) << n->m_Name;
    EXPECT_EQ(0, host.bAddDepends);
    ASSERT_EQ(1u, presenter.Boxes().size());
    EXPECT_EQ(0u, presenter.Boxes()[0].text.find(L"Процесс генерации задач (LNK) успешно завершен "));
}

TEST_F(StartMenu, InstalledComponentsListFillsBothListsAndShowsAnEnumerationError) {
    CIChDataModel model;
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    {
        CFakeInstaller msi;
        msi.AddProduct(Guid(22, 1), L"Listed product");
        std::list<CInstalledProductInfo> products;
        CShortcutList shortcuts;
        EXPECT_EQ(0, GetInstalledComponentsList(host, main.m_hWnd, products, shortcuts));
        ASSERT_EQ(1u, products.size());
        EXPECT_NE(nullptr, Find(shortcuts, L"Tools - Editor"));
        EXPECT_TRUE(presenter.Boxes().empty());
    }
    CFakeInstaller msi;
    msi.AddProduct(Guid(22, 2), L"Before the failure");
    msi.productsEnd = ERROR_INSTALL_FAILURE;
    std::list<CInstalledProductInfo> products;
    CShortcutList shortcuts;
    EXPECT_EQ(1, GetInstalledComponentsList(host, main.m_hWnd, products, shortcuts));
    EXPECT_EQ(1u, products.size());
    EXPECT_TRUE(shortcuts.empty()); // not read after the error
    ASSERT_EQ(1u, presenter.Boxes().size());
    EXPECT_EQ(0u, presenter.Boxes()[0].text.find(
                      L"В результате формирования списка установленных компонентов произошла ошибка.\n"));
    EXPECT_GT(presenter.Boxes()[0].text.size(), 80u);
    EXPECT_EQ((UINT)MB_ICONEXCLAMATION, presenter.Boxes()[0].type);
}

// "Прервать" while the third of five shortcuts is treated: that task is completed and handed to the
// model, the fourth is not begun, the main window has its input back and the message says so.
TEST(GenerateShortcuts, AbortDuringTheThirdShortcutKeepsThreeTasks) {
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    CIChDataModel model;
    model.NewModel(1, JobSecondEdition);
    SGenerateHost host = MakeHost(main.m_hWnd, model);
    CShortcutList shortcuts;
    for (int i = 1; i <= 5; ++i)
        shortcuts.push_back({L"Tools - Program " + std::to_wstring(i), Notepad()});
    CIChNodeList output;
    {
        CAbortWhenTaskShown abort(L"Tools - Program 3");
        EXPECT_EQ(1, GenerateTasksFromShortcuts(host, &shortcuts, 1, 0, &output));
    }
    std::vector<std::wstring> names;
    for (CIChNode* task : output)
        names.push_back(task->m_Name);
    EXPECT_EQ((std::vector<std::wstring>{L"Tools - Program 1", L"Tools - Program 2", L"Tools - Program 3"}), names);
    ASSERT_EQ(3u, output.size());
    CIChNode* files = MemberNamed(output.back(), L"Tools - Program 3 Файлы");
    ASSERT_NE(nullptr, files) << "the task being treated is completed";
    EXPECT_FALSE(files->m_Members.empty());
    EXPECT_EQ(nullptr, model.FindNodeByName(NodeTypeTask, L"Tools - Program 4", 0));
    ASSERT_EQ(1u, presenter.Boxes().size());
    EXPECT_EQ(L"Процесс генерации задач (LNK) прерван пользователем", presenter.Boxes()[0].text);
    EXPECT_EQ((UINT)MB_ICONINFORMATION, presenter.Boxes()[0].type);
    EXPECT_TRUE(::IsWindowEnabled(main.m_hWnd));
    EXPECT_EQ(nullptr, ::FindWindowW(nullptr, kProgressCaption));
}
