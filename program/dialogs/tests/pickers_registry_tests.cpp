// The registry picker as a real window over the live registry: a fixture key under
// HKCU\Software\KvPickerTests, the dialog run modally and driven through the presenter.
#include <gtest/gtest.h>

#include "kvpresenter.h"
#include "pickers_fixtures.h"

#include "BrowseRegistry.h"
#include "Pickers.h"
#include "pickers_ids.h"

#include <KvRegTokens.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace KvUi;
using PickerFixtures::g_app;

namespace {

const int g_init = (::InitCommonControls(), 0);

const wchar_t* const kFixture = L"Software\\KvPickerTests";
const std::wstring kFixturePath = L"HKEY_CURRENT_USER\\Software\\KvPickerTests";

void SetString(HKEY key, const wchar_t* name, const wchar_t* data) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), (DWORD)(wcslen(data) + 1) * 2);
}

// The fixture: keys "Beta" (with a value) and "alpha" (empty), values of every kind of name.
struct RegistryPicker : ::testing::Test {
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kFixture);
        HKEY root = nullptr, sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kFixture, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                   &root, nullptr));
        ::RegCreateKeyExW(root, L"Beta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        SetString(sub, L"inner", L"1");
        ::RegCloseKey(sub);
        ::RegCreateKeyExW(root, L"alpha", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        ::RegCloseKey(sub);
        SetString(root, L"", L"default");
        SetString(root, L"zeta", L"z");
        SetString(root, L"a\\b", L"slash");
        // A name longer than the picker's listing buffer, listed before the names after it.
        SetString(root, std::wstring(300, L'L').c_str(), L"long");
        SetString(root, L"Mid", L"m");
        ::RegCloseKey(root);
        g_app.DeleteProfileEntry(L"", L"RegistryDefaultKey");
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kFixture); }
};

// Runs the picker; the script acts while it is up. The result of DoModal.
INT_PTR RunPicker(dlgBrowseRegistry& dlg, std::function<void(dlgBrowseRegistry&)> script) {
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [&](dlgBrowseRegistry& d) {
        script(d);
        if (!d.IsEnded())
            d.EndDialog(IDCANCEL);
    });
    return dlg.DoModal();
}

std::vector<std::wstring> ChildTexts(CTreeCtrl& tree, HTREEITEM parent) {
    std::vector<std::wstring> out;
    for (HTREEITEM c = tree.GetChildItem(parent); c; c = tree.GetNextSiblingItem(c))
        out.push_back(tree.GetItemText(c));
    return out;
}

// Expands the items of a path from the root item ("HKEY_CURRENT_USER\Software\...").
HTREEITEM ExpandPath(dlgBrowseRegistry& d, const std::wstring& path) {
    HTREEITEM cur = d.GetRootItem();
    size_t at = 0;
    while (cur && at <= path.size()) {
        size_t bs = path.find(L'\\', at);
        std::wstring part = path.substr(at, bs == std::wstring::npos ? std::wstring::npos : bs - at);
        cur = d.FindChild(cur, part);
        if (cur)
            d.GetTree().Expand(cur, TVE_EXPAND);
        if (bs == std::wstring::npos)
            break;
        at = bs + 1;
    }
    return cur;
}

void Press(dlgBrowseRegistry& d, int id) { ::SendMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
bool OkEnabled(dlgBrowseRegistry& d) { return ::IsWindowEnabled(d.GetDlgItem(IDOK)) != 0; }

TEST_F(RegistryPicker, OpensKeysOnlyAsTheyAreExpandedAndListsKeysBeforeValues) {
    std::wstring path;
    dlgBrowseRegistry dlg(nullptr, L"Выбор переменной реестра", 1, &path);
    RunPicker(dlg, [&](dlgBrowseRegistry& d) {
        EXPECT_EQ(L"Выбор переменной реестра", d.GetDlgItemText(IDC_PICKER_PROMPT));
        CTreeCtrl& tree = d.GetTree();
        EXPECT_EQ((std::vector<std::wstring>{L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE",
                                             L"HKEY_USERS", L"HKEY_CURRENT_CONFIG"}),
                  ChildTexts(tree, d.GetRootItem()));
        EXPECT_EQ(0, d.GetOpenKeyCount());
        // Nothing selected, nothing remembered: OK waits for a value.
        EXPECT_FALSE(OkEnabled(d));
        HTREEITEM fixture = ExpandPath(d, kFixturePath);
        ASSERT_NE(nullptr, fixture);
        EXPECT_EQ(2, d.GetOpenKeyCount()); // Software and the fixture, not their other subkeys
        // Keys first, then values, each without regard to case; the long name is left out and the
        // listing goes on after it.
        EXPECT_EQ((std::vector<std::wstring>{L"alpha", L"Beta", L"(Default)", L"a\\b", L"Mid", L"zeta"}),
                  ChildTexts(tree, fixture));
        HTREEITEM alpha = d.FindChild(fixture, L"alpha"), beta = d.FindChild(fixture, L"Beta");
        EXPECT_EQ(nullptr, tree.GetChildItem(alpha)); // empty: no placeholder
        ASSERT_NE(nullptr, tree.GetChildItem(beta));  // a placeholder until expanded
        EXPECT_EQ(L"---", tree.GetItemText(tree.GetChildItem(beta)));
        EXPECT_EQ(dlgBrowseRegistry::MarkerDefault, d.GetItemMarker(d.FindChild(fixture, L"(Default)")));
        EXPECT_EQ(dlgBrowseRegistry::MarkerBackslash, d.GetItemMarker(d.FindChild(fixture, L"a\\b")));
        EXPECT_EQ(dlgBrowseRegistry::MarkerValue, d.GetItemMarker(d.FindChild(fixture, L"zeta")));
        tree.Expand(beta, TVE_EXPAND);
        EXPECT_EQ((std::vector<std::wstring>{L"inner"}), ChildTexts(tree, beta));
        EXPECT_EQ(3, d.GetOpenKeyCount());
    });
    EXPECT_EQ(0, dlg.GetOpenKeyCount()); // every key closed with the window
}

TEST_F(RegistryPicker, MachineKeyHidesHardwareComponentsAndSchema) {
    std::wstring path;
    dlgBrowseRegistry dlg(nullptr, nullptr, 0, &path);
    RunPicker(dlg, [&](dlgBrowseRegistry& d) {
        EXPECT_EQ(L"Выберите ключ реестра", d.GetDlgItemText(IDC_PICKER_PROMPT));
        HTREEITEM hklm = ExpandPath(d, L"HKEY_LOCAL_MACHINE");
        ASSERT_NE(nullptr, hklm);
        EXPECT_NE(nullptr, d.FindChild(hklm, L"SOFTWARE"));
        for (const wchar_t* hidden : {L"HARDWARE", L"COMPONENTS", L"SCHEMA"})
            EXPECT_EQ(nullptr, d.FindChild(hklm, hidden)) << hidden;
    });
}

// A key named "VirtualStore" is shown only where the command-sequence library confirms it: under
// the classes of the user (a virtual store of the system) it is hidden, elsewhere it is an
// ordinary key.
TEST_F(RegistryPicker, VirtualStoreIsShownOnlyWhereItIsConfirmed) {
    const wchar_t* store = L"Software\\Classes\\VirtualStore";
    bool hadStore = false;
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, store, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
        hadStore = true;
        ::RegCloseKey(probe);
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, store, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KvPickerTests\\VirtualStore", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegCloseKey(key);
    std::wstring path;
    dlgBrowseRegistry dlg(nullptr, nullptr, 0, &path);
    RunPicker(dlg, [&](dlgBrowseRegistry& d) {
        HTREEITEM classes = ExpandPath(d, L"HKEY_CURRENT_USER\\Software\\Classes");
        ASSERT_NE(nullptr, classes);
        EXPECT_EQ(nullptr, d.FindChild(classes, L"VirtualStore"));
        HTREEITEM fixture = ExpandPath(d, L"HKEY_CURRENT_USER\\Software\\KvPickerTests");
        ASSERT_NE(nullptr, fixture);
        EXPECT_NE(nullptr, d.FindChild(fixture, L"VirtualStore"));
    });
    if (!hadStore)
        ::RegDeleteTreeW(HKEY_CURRENT_USER, store);
}

// A subkey that the system reports as virtualised is never listed, in either mode; its siblings
// are. The system's report is stood in for by a value that marks the key (Wine virtualises no
// keys); the picker still opens each subkey and asks about the opened key.
class CVirtualisingPicker : public dlgBrowseRegistry {
public:
    using dlgBrowseRegistry::dlgBrowseRegistry;
    mutable std::vector<std::wstring> m_asked; // the marker value's data of each key asked about
    bool IsVirtualKey(HKEY key) const override {
        wchar_t data[32] = {};
        DWORD size = sizeof data - sizeof(wchar_t);
        bool marked = ::RegQueryValueExW(key, L"kv-virtualised", nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                         &size) == ERROR_SUCCESS;
        m_asked.push_back(marked ? data : L"-");
        return marked;
    }
};

TEST_F(RegistryPicker, VirtualisedKeysAreNeverListed) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KvPickerTests\\Shadow", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
    SetString(key, L"kv-virtualised", L"shadow");
    ::RegCloseKey(key);
    for (int mode : {0, 1}) {
        std::wstring path;
        CVirtualisingPicker dlg(nullptr, nullptr, mode, &path);
        RunPicker(dlg, [&](dlgBrowseRegistry& d) {
            HTREEITEM fixture = ExpandPath(d, kFixturePath);
            ASSERT_NE(nullptr, fixture);
            EXPECT_EQ(nullptr, d.FindChild(fixture, L"Shadow")) << mode;
            EXPECT_NE(nullptr, d.FindChild(fixture, L"Beta")) << mode;
            EXPECT_NE(nullptr, d.FindChild(fixture, L"alpha")) << mode;
        });
        ASSERT_GE(dlg.m_asked.size(), 3u);
        std::vector<std::wstring> last(dlg.m_asked.end() - 3, dlg.m_asked.end());
        std::sort(last.begin(), last.end());
        EXPECT_EQ((std::vector<std::wstring>{L"-", L"-", L"shadow"}), last)
            << "the fixture's three subkeys, each opened and asked about";
    }
}

// What OK gives for each kind of item, in each mode: the path in token form, the remembered
// pick, or OK not enabled at all.
TEST_F(RegistryPicker, OkGivesTheTokenFormAndRemembersThePick) {
    struct Case {
        int mode;
        const wchar_t* item; // below the fixture; null: the fixture key; "*": a root key
        bool enabled;
        std::wstring path, remembered;
    };
    const std::wstring bs = RegBackslashToken;
    const Case cases[] = {
        {0, nullptr, true, kFixturePath, kFixturePath},
        {0, L"Beta", true, kFixturePath + L"\\Beta", kFixturePath + L"\\Beta"},
        {0, L"*", false, L"unchanged", L""},
        {1, nullptr, false, L"unchanged", L""},
        {1, L"(Default)", true, kFixturePath + L"\\" + RegDefaultValueToken, kFixturePath + L"\\(Default)"},
        {1, L"a\\b", true, kFixturePath + L"\\a" + bs + L"b", kFixturePath + L"\\a\\b"},
        {1, L"zeta", true, kFixturePath + L"\\zeta", kFixturePath + L"\\"},
    };
    for (const Case& c : cases) {
        g_app.DeleteProfileEntry(L"", L"RegistryDefaultKey");
        std::wstring path = L"unchanged";
        dlgBrowseRegistry dlg(nullptr, nullptr, c.mode, &path);
        INT_PTR r = RunPicker(dlg, [&](dlgBrowseRegistry& d) {
            HTREEITEM fixture = ExpandPath(d, kFixturePath);
            HTREEITEM h = !c.item                        ? fixture
                          : std::wstring(c.item) == L"*" ? d.FindChild(d.GetRootItem(), L"HKEY_CURRENT_USER")
                                                         : d.FindChild(fixture, c.item);
            ASSERT_NE(nullptr, h);
            d.GetTree().SelectItem(h);
            EXPECT_EQ(c.enabled, OkEnabled(d));
            Press(d, IDOK);
        });
        EXPECT_EQ(c.enabled ? IDOK : IDCANCEL, r) << c.mode << " " << (c.item ? c.item : L"fixture");
        EXPECT_EQ(c.path, path);
        EXPECT_EQ(c.remembered, g_app.GetProfileString(L"", L"RegistryDefaultKey"));
    }
}

// Where the picker opens: from the caller's path, else from the remembered pick; a path that
// leads nowhere selects nothing.
TEST_F(RegistryPicker, StartsAtTheCallersPathOrTheRememberedPick) {
    struct Case {
        int mode;
        std::wstring path, remembered;
        const wchar_t* selected; // its text, null for nothing
        LONG_PTR marker;
    };
    const Case cases[] = {
        {1, kFixturePath + L"\\" + RegDefaultValueToken, L"", L"(Default)", dlgBrowseRegistry::MarkerDefault},
        {1, kFixturePath + L"\\a" + RegBackslashToken + L"b", L"", L"a\\b", dlgBrowseRegistry::MarkerBackslash},
        {1, L"", kFixturePath + L"\\(Default)", L"(Default)", dlgBrowseRegistry::MarkerDefault},
        {1, L"", kFixturePath + L"\\a\\b", L"a\\b", dlgBrowseRegistry::MarkerBackslash},
        {1, kFixturePath + L"\\zeta", kFixturePath + L"\\Mid", L"zeta", dlgBrowseRegistry::MarkerValue},
        {0, L"", L"hkey_current_user\\software\\kvpickertests\\beta", L"Beta", 0},
        {0, kFixturePath + L"\\Missing\\Deeper", L"", nullptr, 0},
    };
    for (const Case& c : cases) {
        g_app.WriteProfileString(L"", L"RegistryDefaultKey", c.remembered.c_str());
        std::wstring path = c.path;
        dlgBrowseRegistry dlg(nullptr, nullptr, c.mode, &path);
        RunPicker(dlg, [&](dlgBrowseRegistry& d) {
            HTREEITEM h = d.GetTree().GetSelectedItem();
            if (!c.selected) {
                // Nothing the walk found (the tree itself may put its caret on the top item).
                EXPECT_TRUE(h == nullptr || h == d.GetRootItem());
                EXPECT_FALSE(OkEnabled(d));
                // What was found stays expanded.
                HTREEITEM fixture = d.FindChild(
                    d.FindChild(d.FindChild(d.GetRootItem(), L"HKEY_CURRENT_USER"), L"Software"), L"KvPickerTests");
                EXPECT_NE(nullptr, fixture);
                return;
            }
            ASSERT_NE(nullptr, h) << c.path << c.remembered;
            EXPECT_EQ(c.selected, d.GetTree().GetItemText(h));
            EXPECT_EQ(c.marker, d.GetItemMarker(h));
            EXPECT_TRUE(OkEnabled(d));
        });
        EXPECT_EQ(c.path, path); // Cancel leaves the caller's path alone
    }
}

TEST_F(RegistryPicker, AKeyDeletedBeforeItIsExpandedShowsNothingAndTheDialogGoesOn) {
    std::wstring path;
    dlgBrowseRegistry dlg(nullptr, nullptr, 1, &path);
    RunPicker(dlg, [&](dlgBrowseRegistry& d) {
        HTREEITEM fixture = ExpandPath(d, kFixturePath);
        HTREEITEM beta = d.FindChild(fixture, L"Beta");
        ASSERT_NE(nullptr, beta);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kFixture) + L"\\Beta").c_str());
        d.GetTree().Expand(beta, TVE_EXPAND);
        EXPECT_TRUE(ChildTexts(d.GetTree(), beta).empty());
        d.GetTree().SelectItem(d.FindChild(fixture, L"Mid"));
        Press(d, IDOK);
    });
    EXPECT_EQ(kFixturePath + L"\\Mid", path);
}

} // namespace
