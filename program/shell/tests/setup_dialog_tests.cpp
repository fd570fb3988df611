// The new-model setup dialogs as real windows from the program's resources, driven by their
// control ids; nested dialogs answered through the presenter.
#include <windows.h>

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "DaVIdevaRez.h"
#include "dlgPrepareControl.h"
#include "kvpresenter.h"
#include "setup_test_util.h"
#include "resource.h"

// The application object of this test program (its settings and services).
CDaVIdevaRezApp theApp;

namespace {

using PresenterScope = KvTest::CScopedPresenter;

CInstalledProductList Installed() {
    CInstalledProductList products;
    int n = 0;
    for (const wchar_t* name :
         {L"Gamma Tools", L"Kavrel 5 Клиент", L"Alpha Suite", L"Beta Viewer", L"Kavrel 5 Сервер"}) {
        wchar_t code[64];
        swprintf(code, 64, L"{00000000-0000-0000-0000-00000000000%d}", ++n);
        products.emplace_back(code, name, 1, L"");
    }
    return products;
}

using OsTest::Click;

bool Checked(KvUi::CDialog& d, int id) { return ::IsDlgButtonChecked(d.m_hWnd, id) == BST_CHECKED; }
using KvTest::Enabled;
using KvTest::Visible;

std::vector<std::wstring> ListTexts(KvUi::CDialog& d) {
    std::vector<std::wstring> texts;
    HWND list = d.GetDlgItem(IDC_ADDON_LIST);
    int count = (int)::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        ::SendMessageW(list, LB_GETTEXT, i, (LPARAM)text);
        texts.push_back(text);
    }
    return texts;
}

void Select(KvUi::CDialog& d, const std::wstring& name) {
    HWND list = d.GetDlgItem(IDC_ADDON_LIST);
    int at = (int)::SendMessageW(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name.c_str());
    ::SendMessageW(list, LB_SETSEL, TRUE, at);
    d.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ADDON_LIST, LBN_SELCHANGE), (LPARAM)list);
}

} // namespace

TEST(SetupDialog, DefaultsAndTheOkState) {
    for (int updatePresent : {1, 0}) {
        PresenterScope ps;
        bool checked = false;
        ps.OnDialog(IDD_PREPARE_CONTROL, [&](KvUi::CDialog& d) {
            EXPECT_EQ(L"Настройка новой модели данных", d.GetWindowText());
            EXPECT_TRUE(Checked(d, IDC_PREPARE_ADD_WINDOWS));
            EXPECT_FALSE(Checked(d, IDC_PREPARE_ADD_PRODUCTS));
            EXPECT_FALSE(Visible(d, IDC_PREPARE_CHOSEN));
            EXPECT_EQ(updatePresent == 0, Checked(d, IDC_PREPARE_CLEAR));
            EXPECT_TRUE(Enabled(d, IDOK));
            // Nothing chosen: OK greyed; any one choice enables it again.
            Click(d, IDC_PREPARE_ADD_WINDOWS);
            if (Checked(d, IDC_PREPARE_CLEAR))
                Click(d, IDC_PREPARE_CLEAR);
            EXPECT_FALSE(Enabled(d, IDOK));
            Click(d, IDC_PREPARE_ADD_PRODUCTS); // checked, but no program chosen yet
            EXPECT_TRUE(Visible(d, IDC_PREPARE_CHOSEN));
            EXPECT_EQ(L"0 выбрано", d.GetDlgItemText(IDC_PREPARE_CHOSEN));
            EXPECT_FALSE(Enabled(d, IDOK));
            Click(d, IDC_PREPARE_CLEAR);
            EXPECT_TRUE(Enabled(d, IDOK));
            checked = true;
            EXPECT_TRUE(Click(d, IDOK));
        });
        dlgPrepareControl dlg(nullptr, updatePresent);
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_TRUE(checked);
        EXPECT_EQ(0, dlg.m_bAddWindowsTask);
        EXPECT_EQ(1, dlg.m_bClearModel);
        EXPECT_TRUE(dlg.m_Products.empty());
    }
}

TEST(SetupDialog, ProgramsChosenWithoutTheHostSuitesClientAndForgottenByDefaults) {
    PresenterScope ps;
    std::vector<std::wstring> offered;
    std::wstring caption;
    int addonRuns = 0;
    ps.OnDialog(IDD_PREPARE_CONTROL, [&](KvUi::CDialog& d) {
        auto& dlg = static_cast<dlgPrepareControl&>(d);
        Click(d, IDC_PREPARE_ADD_PRODUCTS);
        Click(d, IDC_PREPARE_CHOSEN);
        EXPECT_EQ(L"2 выбрано", d.GetDlgItemText(IDC_PREPARE_CHOSEN));
        ASSERT_EQ(2u, dlg.m_Products.size());
        Click(d, IDC_PREPARE_CHOSEN);
        EXPECT_EQ(2u, dlg.m_Products.size());
        // Defaults forget the programs.
        Click(d, IDC_PREPARE_DEFAULTS);
        EXPECT_TRUE(dlg.m_Products.empty());
        EXPECT_FALSE(Checked(d, IDC_PREPARE_ADD_PRODUCTS));
        EXPECT_FALSE(Visible(d, IDC_PREPARE_CHOSEN));
        EXPECT_TRUE(Checked(d, IDC_PREPARE_ADD_WINDOWS));
        // Chosen again and confirmed.
        Click(d, IDC_PREPARE_ADD_PRODUCTS);
        Click(d, IDC_PREPARE_CHOSEN);
        EXPECT_TRUE(Click(d, IDOK));
    });
    addonRuns = 0;
    dlgPrepareControl dlg(nullptr, 1);
    dlg.m_fnEnumerateProducts = [](CInstalledProductList& products) { products = Installed(); };
    ps.OnDialog(IDD_ADDON_TASK, [&](KvUi::CDialog& d) {
        ++addonRuns;
        caption = d.GetWindowText();
        offered = ListTexts(d);
        if (addonRuns == 2) {
            EXPECT_EQ(2, (int)::SendMessageW(d.GetDlgItem(IDC_ADDON_LIST), LB_GETSELCOUNT, 0, 0));
            EXPECT_TRUE(Click(d, IDCANCEL));
            return;
        }
        // Nothing selected (the first time, and after the defaults): OK greyed, Enter does not close.
        EXPECT_FALSE(Enabled(d, IDOK));
        d.SendMessage(WM_COMMAND, IDOK, 0);
        EXPECT_FALSE(d.IsEnded());
        Select(d, L"Beta Viewer");
        Select(d, L"Kavrel 5 Сервер");
        EXPECT_TRUE(Enabled(d, IDOK));
        EXPECT_TRUE(Click(d, IDOK));
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(3, addonRuns);
    EXPECT_EQ(L"Выбор дополнительных задач для КЦ", caption);
    // Sorted, and the host suite's client is offered nowhere.
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha Suite", L"Beta Viewer", L"Gamma Tools", L"Kavrel 5 Сервер"}), offered);
    std::vector<std::wstring> chosen;
    for (const CInstalledProductInfo& p : dlg.m_Products)
        chosen.push_back(p.m_strProductName);
    EXPECT_EQ((std::vector<std::wstring>{L"Beta Viewer", L"Kavrel 5 Сервер"}), chosen);
}

TEST(SetupDialog, AddonDialogCannotBeConfirmedEmpty) {
    PresenterScope ps;
    ps.OnDialog(IDD_ADDON_TASK, [&](KvUi::CDialog& d) {
        EXPECT_FALSE(Enabled(d, IDOK));
        d.SendMessage(WM_COMMAND, IDOK, 0);
        EXPECT_FALSE(d.IsEnded());
        EXPECT_TRUE(Click(d, IDCANCEL));
    });
    CInstalledProductList products = Installed();
    dlgAddonTask dlg(nullptr, &products, {});
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(5u, products.size());
}

TEST(SetupDialog, WindowsTaskKindChosenAndKeptOnCancel) {
    PresenterScope ps;
    std::vector<int> initial;
    int step = 0;
    ps.OnDialog(IDD_MS_WINDOWS, [&](KvUi::CDialog& d) {
        initial.push_back(Checked(d, IDC_MSWINDOWS_STARTUP) ? 2 : 1);
        if (step++ == 0) {
            Click(d, IDC_MSWINDOWS_STARTUP);
            EXPECT_TRUE(Click(d, IDOK));
        } else {
            Click(d, IDC_MSWINDOWS_DEFAULT);
            EXPECT_TRUE(Click(d, IDCANCEL));
        }
    });
    ps.OnDialog(IDD_PREPARE_CONTROL, [&](KvUi::CDialog& d) {
        auto& dlg = static_cast<dlgPrepareControl&>(d);
        EXPECT_EQ(1, dlg.m_nWindowsVariant);
        Click(d, IDC_PREPARE_WINDOWS_SETUP);
        EXPECT_EQ(0, dlg.m_nWindowsVariant);
        Click(d, IDC_PREPARE_WINDOWS_SETUP);
        EXPECT_EQ(0, dlg.m_nWindowsVariant);
        EXPECT_TRUE(Click(d, IDOK));
    });
    dlgPrepareControl dlg(nullptr, 1);
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ((std::vector<int>{1, 2}), initial);
    EXPECT_EQ(0, dlg.m_nWindowsVariant);
}
