// The generator's choice dialog driven through the presenter from its real template, and the
// progress dialog's operations.
#include "FakeInstaller.h"
#include "GenTestSupport.h"

#include "kvclick.h"
#include "msitasks_ids.h"

#include <commctrl.h>

using namespace kvgen;

namespace {

void Command(KvUi::CDialog& d, int id, int code) {
    ::SendMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)d.GetDlgItem(id));
}

void Select(KvUi::CDialog& d, int index, bool on) {
    ::SendDlgItemMessageW(d.m_hWnd, IDC_INSTTASK_PROGRAMS, LB_SETSEL, on, index);
    Command(d, IDC_INSTTASK_PROGRAMS, LBN_SELCHANGE);
}

using KvTest::Enabled;
bool Checked(KvUi::CDialog& d, int id) { return ::IsDlgButtonChecked(d.m_hWnd, id) == BST_CHECKED; }

std::wstring ItemText(KvUi::CDialog& d, int index) {
    wchar_t text[512] = {};
    ::SendDlgItemMessageW(d.m_hWnd, IDC_INSTTASK_PROGRAMS, LB_GETTEXT, index, (LPARAM)text);
    return text;
}

} // namespace

// Two products share a name; the one chosen is the one that stays, whichever its place.
TEST(ChooseDialog, TheChosenProductStaysEvenWhenAnotherHasItsName) {
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    std::list<CInstalledProductInfo> products{CInstalledProductInfo(Guid(30, 1), L"Same", 1, L""),
                                              CInstalledProductInfo(Guid(30, 2), L"Other", 1, L""),
                                              CInstalledProductInfo(Guid(30, 3), L"Same", 1, L"")};
    CShortcutList shortcuts{{L"Tools - Editor", L"C:\\Windows\\notepad.exe"}};
    SGeneratorSettings settings;
    settings.bAddDepends = 0;
    settings.bExeByExten = 1;
    settings.strExeExtensions = L".exe; .dll";
    bool sawOkDisabled = false, sawAllChecked = false;
    presenter.OnDialog<dlgChooseInstTask>(IDD_CHOOSE_INST_TASK, [&](dlgChooseInstTask& d) {
        EXPECT_EQ(3, (int)::SendDlgItemMessageW(d.m_hWnd, IDC_INSTTASK_PROGRAMS, LB_GETCOUNT, 0, 0));
        EXPECT_EQ(L"Same", ItemText(d, 0));
        EXPECT_EQ(L"Other", ItemText(d, 1));
        EXPECT_EQ(0, (int)::SendDlgItemMessageW(d.m_hWnd, IDC_INSTTASK_SOURCE, CB_GETCURSEL, 0, 0));
        sawOkDisabled = !Enabled(d, IDOK);
        EXPECT_TRUE(Checked(d, IDC_INSTTASK_IGNORE_REG));
        EXPECT_FALSE(Checked(d, IDC_INSTTASK_ADD_DEPENDS)); // from the setting
        EXPECT_TRUE(Checked(d, IDC_INSTTASK_MARK_EXEC));
        EXPECT_TRUE(Enabled(d, IDC_INSTTASK_EXTENSIONS));
        // Everything, then everything off again, then the second "Same" alone.
        EXPECT_FALSE(Checked(d, IDC_INSTTASK_SELECT_ALL));
        EXPECT_TRUE(KvTest::Click(d, IDC_INSTTASK_SELECT_ALL));
        EXPECT_EQ(3, (int)::SendDlgItemMessageW(d.m_hWnd, IDC_INSTTASK_PROGRAMS, LB_GETSELCOUNT, 0, 0));
        EXPECT_TRUE(Enabled(d, IDOK));
        EXPECT_TRUE(KvTest::Click(d, IDC_INSTTASK_SELECT_ALL));
        EXPECT_FALSE(Checked(d, IDC_INSTTASK_SELECT_ALL));
        EXPECT_FALSE(Enabled(d, IDOK));
        for (int i : {0, 1, 2})
            Select(d, i, true);
        sawAllChecked = Checked(d, IDC_INSTTASK_SELECT_ALL);
        Select(d, 0, false);
        Select(d, 1, false);
        EXPECT_FALSE(Checked(d, IDC_INSTTASK_SELECT_ALL));
        if (Checked(d, IDC_INSTTASK_IGNORE_REG))
            EXPECT_TRUE(KvTest::Click(d, IDC_INSTTASK_IGNORE_REG));
        ::CheckDlgButton(d.m_hWnd, IDC_INSTTASK_PATHS_TO_VARS, BST_CHECKED);
        ::SetDlgItemTextW(d.m_hWnd, IDC_INSTTASK_EXTENSIONS, L".exe; .cpl");
        EXPECT_TRUE(KvTest::Click(d, IDOK));
    });
    dlgChooseInstTask dlg(main.m_hWnd, 0, &products, &shortcuts, settings);
    ASSERT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(sawOkDisabled);
    EXPECT_TRUE(sawAllChecked);
    ASSERT_EQ(1u, products.size());
    EXPECT_EQ(Guid(30, 3), products.front().m_strProductCode);
    EXPECT_EQ(1u, shortcuts.size()); // the other source's list is left alone
    EXPECT_EQ(0, dlg.m_nSource);
    EXPECT_EQ(0, dlg.m_bIgnoreRegistry);
    EXPECT_EQ(1, dlg.m_bPathsToVariables);
    EXPECT_EQ(1, dlg.m_bMarkExecutable);
    EXPECT_EQ(L".exe; .cpl", settings.strExeExtensions);
    EXPECT_EQ(0, settings.bAddDepends);
}

// The shortcut source shows registry and dependencies fixed on; OK writes the forced check into the
// AddDepends setting, which becomes 1.
TEST(ChooseDialog, ShortcutSourceForcesItsOptionsAndTheDependenciesSetting) {
    CTestMainWindow main;
    KvTest::CScopedPresenter presenter;
    std::list<CInstalledProductInfo> products{CInstalledProductInfo(Guid(31, 1), L"Product", 1, L"")};
    CShortcutList shortcuts{{L"Tools - Editor", L"C:\\Windows\\notepad.exe"},
                            {L"Tools - Viewer", L"C:\\Windows\\regedit.exe"}};
    SGeneratorSettings settings;
    settings.bAddDepends = 0;
    settings.bExeByExten = 0;
    settings.strExeExtensions = L".exe";
    presenter.OnDialog<dlgChooseInstTask>(IDD_CHOOSE_INST_TASK, [&](dlgChooseInstTask& d) {
        EXPECT_EQ(L"Product", ItemText(d, 0));
        EXPECT_FALSE(Checked(d, IDC_INSTTASK_ADD_DEPENDS));
        EXPECT_FALSE(Enabled(d, IDC_INSTTASK_EXTENSIONS)); // marking is off by the setting
        ::SendDlgItemMessageW(d.m_hWnd, IDC_INSTTASK_SOURCE, CB_SETCURSEL, 1, 0);
        Command(d, IDC_INSTTASK_SOURCE, CBN_SELCHANGE);
        EXPECT_EQ(L"Tools - Editor", ItemText(d, 0));
        EXPECT_TRUE(Checked(d, IDC_INSTTASK_IGNORE_REG));
        EXPECT_TRUE(Checked(d, IDC_INSTTASK_ADD_DEPENDS));
        EXPECT_FALSE(Enabled(d, IDC_INSTTASK_IGNORE_REG));
        EXPECT_FALSE(Enabled(d, IDC_INSTTASK_ADD_DEPENDS));
        EXPECT_FALSE(Enabled(d, IDOK));
        Select(d, 1, true);
        EXPECT_TRUE(KvTest::Click(d, IDOK));
    });
    dlgChooseInstTask dlg(main.m_hWnd, 0, &products, &shortcuts, settings);
    ASSERT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(1, dlg.m_nSource);
    ASSERT_EQ(1u, shortcuts.size());
    EXPECT_EQ(L"Tools - Viewer", shortcuts.front().first);
    EXPECT_EQ(1u, products.size());
    EXPECT_EQ(1, settings.bAddDepends);
    EXPECT_EQ(L".exe", settings.strExeExtensions);
}

TEST(ProgressDialog, OperationsSetTheBarsAndTextsAndStopSetsTheFlag) {
    CTestMainWindow main;
    int abort = 7;
    dlgAddInstallTask dlg(main.m_hWnd, &abort);
    EXPECT_EQ(0, abort);
    ASSERT_TRUE(dlg.CreateModeless());
    HWND tasks = dlg.GetDlgItem(IDC_INSTTASK_TASK_PROGRESS), resources = dlg.GetDlgItem(IDC_INSTTASK_RES_PROGRESS);
    EXPECT_EQ(10, (int)::SendMessageW(tasks, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(10, (int)::SendMessageW(resources, PBM_GETRANGE, FALSE, 0));
    dlg.SetTaskRange(5);
    dlg.SetTaskPos(3);
    dlg.SetResourceRange(400);
    dlg.SetResourcePos(250);
    dlg.SetTaskText(L"Program");
    dlg.SetTaskText(nullptr);
    dlg.SetResourceText(L"C:\\Program Files\\Program\\a.exe");
    EXPECT_EQ(5, (int)::SendMessageW(tasks, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(3, (int)::SendMessageW(tasks, PBM_GETPOS, 0, 0));
    EXPECT_EQ(400, (int)::SendMessageW(resources, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(250, (int)::SendMessageW(resources, PBM_GETPOS, 0, 0));
    wchar_t text[256] = {};
    ::GetDlgItemTextW(dlg.m_hWnd, IDC_INSTTASK_TASK_TEXT, text, 256);
    EXPECT_STREQ(L"Program", text);
    ::GetDlgItemTextW(dlg.m_hWnd, IDC_INSTTASK_RES_TEXT, text, 256);
    EXPECT_STREQ(L"C:\\Program Files\\Program\\a.exe", text);
    ::ShowWindow(dlg.m_hWnd, SW_SHOW);
    EXPECT_TRUE(KvTest::Click(dlg, IDCANCEL));
    EXPECT_EQ(1, abort);
    EXPECT_FALSE(::IsWindowVisible(dlg.m_hWnd));
    EXPECT_TRUE(::IsWindow(dlg.m_hWnd)); // hidden, not destroyed
    dlg.DestroyWindow();
}
