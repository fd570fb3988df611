// Tests of the class-library layer: routing, update handlers, the message loop's translation
// chain, the registry profile, dialogs with data exchange, the presenter and the property list.
#include <gtest/gtest.h>

#include "kvui/kvui.h"
#include "kvpresenter.h"

#include <climits>
#include <optional>
#include <string>
#include <vector>

using namespace KvUi;

namespace {

const int g_init = (::InitCommonControls(), 0);

// ---- routing -----------------------------------------------------------------------------

std::vector<std::wstring> g_calls;

class CInner : public CCmdTarget {
public:
    BOOL m_claim = TRUE;
    void OnOpen() { g_calls.push_back(L"inner.open"); }
    BOOL OnSaveEx(UINT) {
        g_calls.push_back(L"inner.save");
        return m_claim;
    }
    void OnRange(UINT id) { g_calls.push_back(L"inner.range" + std::to_wstring(id)); }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CInner, CCmdTarget)
ON_COMMAND(300, OnOpen)
ON_COMMAND_EX(301, OnSaveEx)
ON_COMMAND_RANGE(310, 314, OnRange)
KV_END_MESSAGE_MAP()

class CDerivedInner : public CInner {
public:
    void OnOpen2() { g_calls.push_back(L"derived.open"); }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CDerivedInner, CInner)
ON_COMMAND(300, OnOpen2)
KV_END_MESSAGE_MAP()

// A target that offers every command to two nested targets first, both always, and runs its own
// handler only when neither handled it (the shape of the main frame's routing).
class COuter : public CCmdTarget {
public:
    CInner a, b;
    void OnSave() { g_calls.push_back(L"outer.save"); }
    BOOL OnCmdMsg(UINT id, int code, void* extra, CmdHandlerInfo* info) override {
        BOOL ha = a.OnCmdMsg(id, code, extra, info);
        BOOL hb = b.OnCmdMsg(id, code, extra, info);
        if (ha || hb)
            return TRUE;
        return CCmdTarget::OnCmdMsg(id, code, extra, info);
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(COuter, CCmdTarget)
ON_COMMAND(301, OnSave)
KV_END_MESSAGE_MAP()

TEST(Routing, DerivedMapOverridesBaseAndRangesPassTheId) {
    g_calls.clear();
    CDerivedInner t;
    EXPECT_TRUE(t.OnCmdMsg(300, CN_COMMAND, nullptr, nullptr));
    EXPECT_TRUE(t.OnCmdMsg(312, CN_COMMAND, nullptr, nullptr));
    EXPECT_FALSE(t.OnCmdMsg(315, CN_COMMAND, nullptr, nullptr));
    EXPECT_FALSE(t.OnCmdMsg(300, CN_UPDATE_COMMAND_UI, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"derived.open", L"inner.range312"}), g_calls);
}

TEST(Routing, NestedTargetsAreBothAskedAndTheOuterRunsOnlyWhenNeitherHandled) {
    g_calls.clear();
    COuter o;
    EXPECT_TRUE(o.OnCmdMsg(301, CN_COMMAND, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"inner.save", L"inner.save"}), g_calls);

    g_calls.clear();
    o.a.m_claim = FALSE;
    o.b.m_claim = FALSE;
    EXPECT_TRUE(o.OnCmdMsg(301, CN_COMMAND, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"inner.save", L"inner.save", L"outer.save"}), g_calls);

    // A handler lookup calls nothing.
    g_calls.clear();
    CmdHandlerInfo info;
    EXPECT_TRUE(o.OnCmdMsg(300, CN_COMMAND, nullptr, &info));
    EXPECT_NE(nullptr, info.pTarget);
    EXPECT_TRUE(g_calls.empty());
}

// ---- windows, update handlers, accelerators --------------------------------------------------

class CTestFrame : public CFrameWnd {
public:
    BOOL m_canSave = FALSE;
    int m_saved = 0, m_opened = 0, m_checked = 0;
    UINT m_registered = 0;
    void OnOpen() { ++m_opened; }
    void OnSave() { ++m_saved; }
    void OnUpdateSave(CCmdUI* ui) { ui->Enable(m_canSave); }
    void OnCheckCmd() {}
    void OnUpdateCheck(CCmdUI* ui) { ui->SetCheck(m_checked); }
    LRESULT OnQuery(WPARAM, LPARAM) { return m_registered; }
    KV_DECLARE_MESSAGE_MAP()
};
UINT g_testMsg = ::RegisterWindowMessageW(L"KvUiTestQuery");
KV_BEGIN_MESSAGE_MAP(CTestFrame, CFrameWnd)
ON_COMMAND(300, OnOpen)
ON_COMMAND(301, OnSave)
ON_UPDATE_COMMAND_UI(301, OnUpdateSave)
ON_COMMAND(303, OnCheckCmd)
ON_UPDATE_COMMAND_UI(303, OnUpdateCheck)
ON_REGISTERED_MESSAGE(g_testMsg, OnQuery)
KV_END_MESSAGE_MAP()

UINT MenuState(HMENU popup, int pos) { return ::GetMenuState(popup, pos, MF_BYPOSITION); }

TEST(Frame, MenuItemsFollowTheirUpdateHandlersAndCommandsWithoutHandlerAreDisabled) {
    CTestFrame* f = new CTestFrame;
    f->m_bAutoDelete = FALSE;
    ASSERT_TRUE(f->LoadFrame(200));
    EXPECT_EQ(L"Тестовое окно", f->GetWindowText());
    HMENU popup = ::GetSubMenu(f->m_hMenu, 0);
    f->SendMessage(WM_INITMENUPOPUP, (WPARAM)popup, 0);
    EXPECT_FALSE(MenuState(popup, 0) & MF_GRAYED); // handler, no update handler
    EXPECT_TRUE(MenuState(popup, 1) & MF_GRAYED);  // update handler disables
    EXPECT_TRUE(MenuState(popup, 2) & MF_GRAYED);  // no handler at all
    EXPECT_FALSE(MenuState(popup, 4) & MF_CHECKED);
    f->m_canSave = TRUE;
    f->m_checked = 1;
    f->SendMessage(WM_INITMENUPOPUP, (WPARAM)popup, 0);
    EXPECT_FALSE(MenuState(popup, 1) & MF_GRAYED);
    EXPECT_TRUE(MenuState(popup, 4) & MF_CHECKED);
    f->DestroyWindow();
    delete f;
}

TEST(Frame, DisabledCommandDoesNotRunAndAcceleratorsTranslateThroughTheChain) {
    CTestFrame* f = new CTestFrame;
    f->m_bAutoDelete = FALSE;
    ASSERT_TRUE(f->LoadFrame(200));
    f->SendMessage(WM_COMMAND, MAKEWPARAM(301, 0), 0);
    EXPECT_EQ(0, f->m_saved);
    f->SendMessage(WM_COMMAND, MAKEWPARAM(300, 0), 0);
    EXPECT_EQ(1, f->m_opened);

    f->m_canSave = TRUE;
    // Ctrl+S: the frame's accelerator table turns the key into command 301.
    MSG m = {};
    m.hwnd = f->m_hWnd;
    m.message = WM_KEYDOWN;
    m.wParam = 'S';
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    EXPECT_TRUE(PreTranslateChain(&m));
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(1, f->m_saved);

    f->m_registered = g_testMsg;
    EXPECT_EQ((LRESULT)g_testMsg, f->SendMessage(g_testMsg));
    f->DestroyWindow();
    delete f;
}

TEST(Frame, ToolbarButtonsAreUpdatedAndStatusPanesHoldText) {
    CTestFrame* f = new CTestFrame;
    f->m_bAutoDelete = FALSE;
    ASSERT_TRUE(f->LoadFrame(200));
    CToolBar bar;
    CStatusBar status;
    ASSERT_TRUE(bar.Create(f, AFX_IDW_TOOLBAR));
    const UINT ids[] = {300, 0, 301, 302};
    ASSERT_TRUE(bar.SetButtons(ids, 4, 0, 16, 16, RGB(255, 0, 255)));
    ASSERT_TRUE(status.Create(f, AFX_IDW_STATUS_BAR));
    const int widths[] = {0, 80, 60};
    ASSERT_TRUE(status.SetPanes(widths, 3));
    f->m_pToolBar = &bar;
    f->m_pStatusBar = &status;
    f->OnIdleUpdateCmdUI();
    EXPECT_TRUE(bar.IsButtonEnabled(300));
    EXPECT_FALSE(bar.IsButtonEnabled(301));
    EXPECT_FALSE(bar.IsButtonEnabled(302));
    f->m_canSave = TRUE;
    f->OnIdleUpdateCmdUI();
    EXPECT_TRUE(bar.IsButtonEnabled(301));
    status.SetPaneText(2, L"08:05:09");
    EXPECT_EQ(L"08:05:09", status.GetPaneText(2));
    EXPECT_EQ(L"Открыть файл", f->GetMessageString(300));
    f->m_pToolBar = nullptr;
    f->m_pStatusBar = nullptr;
    f->DestroyWindow();
    delete f;
}

// ---- profile -----------------------------------------------------------------------------

class CProfileApp : public CWinApp {};

TEST(Profile, ValuesRoundTripAndMissingOnesGiveTheDefault) {
    CProfileApp app;
    app.m_strAppName = L"KvUiTests";
    app.SetRegistryKey(L"KvUiTests\\Profile");
    app.m_strProfileName = L"Test\\Mode";
    EXPECT_EQ(L"Software\\KvUiTests\\Profile\\Test\\Mode", app.GetProfileKeyPath());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KvUiTests");
    EXPECT_EQ(7u, app.GetProfileInt(L"", L"Missing", 7));
    EXPECT_EQ(L"def", app.GetProfileString(L"", L"Missing", L"def"));
    ASSERT_TRUE(app.WriteProfileInt(L"", L"Number", 0xF0CAA6));
    ASSERT_TRUE(app.WriteProfileString(L"", L"Text", L".exe; .dll"));
    const BYTE bin[] = {1, 2, 0, 255};
    ASSERT_TRUE(app.WriteProfileBinary(L"Sub", L"Blob", bin, 4));
    EXPECT_EQ(0xF0CAA6u, app.GetProfileInt(L"", L"Number", 0));
    EXPECT_EQ(L".exe; .dll", app.GetProfileString(L"", L"Text"));
    std::vector<BYTE> data;
    ASSERT_TRUE(app.GetProfileBinary(L"Sub", L"Blob", data));
    EXPECT_EQ(std::vector<BYTE>(bin, bin + 4), data);
    // Empty section: the values lie directly under the profile key.
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KvUiTests\\Profile\\Test\\Mode", 0, KEY_READ, &h));
    DWORD v = 0, size = sizeof(v);
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(h, L"Number", nullptr, nullptr, (BYTE*)&v, &size));
    ::RegCloseKey(h);
    // A string value read as a number gives the default, and a number read as a text too.
    EXPECT_EQ(5u, app.GetProfileInt(L"", L"Text", 5));
    EXPECT_EQ(L"def", app.GetProfileString(L"", L"Number", L"def"));
    std::vector<BYTE> notBinary;
    EXPECT_FALSE(app.GetProfileBinary(L"", L"Text", notBinary));
    // A long text (longer than any fixed buffer) comes back whole; a null value removes it.
    std::wstring longText(5000, L'ж');
    ASSERT_TRUE(app.WriteProfileString(L"Sub", L"Long", longText.c_str()));
    EXPECT_EQ(longText, app.GetProfileString(L"Sub", L"Long"));
    ASSERT_TRUE(app.WriteProfileString(L"Sub", L"Long", nullptr));
    EXPECT_EQ(L"gone", app.GetProfileString(L"Sub", L"Long", L"gone"));
    EXPECT_TRUE(app.DeleteProfileEntry(L"Sub", L"Long")); // removing what is gone succeeds
    // Without a registry key nothing is written and every read gives the default.
    CProfileApp none;
    EXPECT_FALSE(none.WriteProfileInt(L"", L"Number", 1));
    EXPECT_EQ(3u, none.GetProfileInt(L"", L"Number", 3));
    ASSERT_TRUE(app.DeleteProfileEntry(L"Sub", nullptr));
    EXPECT_FALSE(app.GetProfileBinary(L"Sub", L"Blob", data));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KvUiTests");
}

// ---- dialogs, data exchange, presenter -----------------------------------------------------

class CTestDialog : public CDialog {
public:
    CTestDialog() : CDialog(100, (HWND) nullptr) {}
    std::wstring m_text = L"начало";
    int m_number = 42;
    int m_check = 1;
    int m_radio = 1;
    int m_inits = 0;
    BOOL OnInitDialog() override {
        ++m_inits;
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, 1001, m_text);
        DDX_Text(pDX, 1006, m_number);
        DDX_Check(pDX, 1002, m_check);
        DDX_Radio(pDX, 1003, m_radio);
    }
};

TEST(Dialog, ModalRunShowsMembersAndOkTakesTheControlsBack) {
    KvTest::CScopedPresenter ps;
    CTestDialog dlg;
    std::wstring shownText;
    int shownRadio = -1;
    ps.OnDialog(100, [&](CDialog& d) {
        shownText = d.GetDlgItemText(1001);
        shownRadio = ::IsDlgButtonChecked(d.m_hWnd, 1004) ? 1 : -1;
        d.SetDlgItemText(1001, L"изменено");
        d.SetDlgItemText(1006, L" -7 ");
        ::CheckDlgButton(d.m_hWnd, 1002, BST_UNCHECKED);
        ::CheckRadioButton(d.m_hWnd, 1003, 1005, 1005);
        d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)d.GetDlgItem(IDOK));
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(1, dlg.m_inits);
    EXPECT_EQ(L"начало", shownText);
    EXPECT_EQ(1, shownRadio);
    EXPECT_EQ(L"изменено", dlg.m_text);
    EXPECT_EQ(-7, dlg.m_number);
    EXPECT_EQ(0, dlg.m_check);
    EXPECT_EQ(2, dlg.m_radio);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

TEST(Dialog, BadNumberIsRefusedWithAMessageAndTheDialogStaysOpen) {
    KvTest::CScopedPresenter ps;
    CTestDialog dlg;
    int endedAfterBadOk = -1;
    ps.OnDialog(100, [&](CDialog& d) {
        d.SetDlgItemText(1006, L"12x");
        d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)d.GetDlgItem(IDOK));
        endedAfterBadOk = d.IsEnded();
        d.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)d.GetDlgItem(IDCANCEL));
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(0, endedAfterBadOk);
    ASSERT_EQ(1u, ps.Boxes().size());
    EXPECT_EQ(L"Введите целое число.", ps.Boxes()[0].text);
    EXPECT_EQ(42, dlg.m_number); // Cancel kept the member
}

// An unsigned field: no sign, no number beyond 32 bits.
class CCountDialog : public CDialog {
public:
    CCountDialog() : CDialog(100, (HWND) nullptr) {}
    unsigned int m_count = 7;
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 1006, m_count); }
};

TEST(Dialog, BadUnsignedNumberIsRefusedWithItsOwnMessage) {
    for (const wchar_t* bad : {L"-1", L"+1", L"12x", L"", L"4294967296"}) {
        KvTest::CScopedPresenter ps;
        CCountDialog dlg;
        ps.OnDialog(100, [&](CDialog& d) {
            d.SetDlgItemText(1006, bad);
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)d.GetDlgItem(IDOK));
            EXPECT_FALSE(d.IsEnded()) << bad;
            d.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)d.GetDlgItem(IDCANCEL));
        });
        EXPECT_EQ(IDCANCEL, dlg.DoModal()) << bad;
        ASSERT_EQ(1u, ps.Boxes().size()) << bad;
        EXPECT_EQ(L"Введите положительное целое число.", ps.Boxes()[0].text) << bad;
        EXPECT_EQ(7u, dlg.m_count) << bad;
    }
}

TEST(Dialog, UnscriptedDialogIsCancelledAndBoxesGetQueuedAnswers) {
    KvTest::CScopedPresenter ps;
    CTestDialog dlg;
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(std::vector<UINT>{100}, ps.Dialogs());
    ps.QueueAnswer(IDNO);
    EXPECT_EQ(IDNO, ShowMessage(nullptr, L"Вопрос?", L"Заголовок", MB_YESNO));
    EXPECT_EQ(IDYES, ShowMessage(nullptr, L"Ещё?", L"Заголовок", MB_YESNO));
    ASSERT_EQ(2u, ps.Boxes().size());
    EXPECT_EQ(L"Заголовок", ps.Boxes()[0].caption);
}

TEST(Dialog, ModalDialogRunsOnAWorkerThread) {
    KvTest::CScopedPresenter ps;
    ps.OnDialog(100, [](CDialog& d) { d.EndDialog(IDOK); });
    INT_PTR result = 0;
    HANDLE t = ::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            CTestDialog dlg;
            *static_cast<INT_PTR*>(p) = dlg.DoModal();
            return 0;
        },
        &result, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(t, 30000));
    ::CloseHandle(t);
    EXPECT_EQ(IDOK, result);
}

TEST(Dialog, ModelessDialogTranslatesItsOwnKeys) {
    CTestDialog dlg;
    ASSERT_TRUE(dlg.Create(100, (HWND) nullptr));
    EXPECT_EQ(L"начало", dlg.GetDlgItemText(1001));
    MSG m = {};
    m.hwnd = dlg.GetDlgItem(1001);
    m.message = WM_KEYDOWN;
    m.wParam = VK_TAB;
    EXPECT_TRUE(PreTranslateChain(&m)); // the dialog manager took the key
    dlg.EndDialog(IDCANCEL);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

// ---- a dialog's items by id ------------------------------------------------------------------

TEST(DialogItems, EnableShowAndCheckChangeTheNamedControlOnly) {
    CDialog dlg(100, (HWND) nullptr);
    ASSERT_TRUE(dlg.Create(100, (HWND) nullptr));
    HWND edit = dlg.GetDlgItem(1001), other = dlg.GetDlgItem(1006), box = dlg.GetDlgItem(1002);
    auto shown = [](HWND h) { return (::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; };

    dlg.EnableDlgItem(1001, FALSE);
    EXPECT_FALSE(::IsWindowEnabled(edit));
    EXPECT_TRUE(::IsWindowEnabled(other));
    dlg.EnableDlgItem(1001, 2); // any value but zero enables
    EXPECT_TRUE(::IsWindowEnabled(edit));
    dlg.EnableDlgItem(1006, FALSE);
    dlg.EnableDlgItem(1006);
    EXPECT_TRUE(::IsWindowEnabled(other));

    dlg.ShowDlgItem(1002, FALSE);
    EXPECT_FALSE(shown(box));
    EXPECT_TRUE(shown(edit));
    dlg.ShowDlgItem(1002, 7);
    EXPECT_TRUE(shown(box));

    EXPECT_FALSE(dlg.IsDlgItemChecked(1002));
    dlg.CheckDlgItem(1002);
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(dlg.m_hWnd, 1002));
    EXPECT_TRUE(dlg.IsDlgItemChecked(1002));
    dlg.CheckDlgItem(1002, FALSE);
    EXPECT_EQ(BST_UNCHECKED, ::IsDlgButtonChecked(dlg.m_hWnd, 1002));
    dlg.CheckDlgItem(1002, 5);
    EXPECT_TRUE(dlg.IsDlgItemChecked(1002));
    // Radio buttons: checking one leaves the group's others as they are (no automatic unchecking).
    dlg.CheckDlgItem(1004);
    EXPECT_TRUE(dlg.IsDlgItemChecked(1004));
    EXPECT_FALSE(dlg.IsDlgItemChecked(1003));
    EXPECT_FALSE(dlg.IsDlgItemChecked(1005));

    // A missing control changes nothing and reads as unchecked, with no number.
    dlg.EnableDlgItem(4242, FALSE);
    dlg.ShowDlgItem(4242, FALSE);
    dlg.CheckDlgItem(4242);
    EXPECT_FALSE(dlg.IsDlgItemChecked(4242));
    EXPECT_FALSE(dlg.GetDlgItemNumber(4242).has_value());
    dlg.DestroyWindow();
}

TEST(DialogItems, NumbersAreReadAsTheDataExchangeReadsThemAndWrittenBack) {
    CDialog dlg(100, (HWND) nullptr);
    ASSERT_TRUE(dlg.Create(100, (HWND) nullptr));
    const struct {
        const wchar_t* text;
        std::optional<int> number;
    } cases[] = {
        {L"42", 42},
        {L" -7 ", -7},
        {L"+5", 5},
        {L"0", 0},
        {L"007", 7},
        {L"2147483647", INT_MAX},
        {L"-2147483648", INT_MIN},
        {L"", std::nullopt},
        {L"   ", std::nullopt},
        {L"12x", std::nullopt},
        {L"x12", std::nullopt},
        {L"1 2", std::nullopt},
        {L"3.5", std::nullopt},
        {L"2147483648", std::nullopt},
        {L"-2147483649", std::nullopt},
    };
    for (const auto& c : cases) {
        dlg.SetDlgItemText(1006, c.text);
        EXPECT_EQ(c.number, dlg.GetDlgItemNumber(1006)) << c.text;
    }
    for (int n : {0, -123, INT_MAX, INT_MIN}) {
        dlg.SetDlgItemNumber(1001, n);
        EXPECT_EQ(std::to_wstring(n), dlg.GetDlgItemText(1001));
        EXPECT_EQ(n, dlg.GetDlgItemNumber(1001));
    }
    dlg.DestroyWindow();
}

// ---- property list -----------------------------------------------------------------------

TEST(PropList, EditingChangesOnlyOnCommitAndColoursUseTheAutomaticValue) {
    KvTest::CScopedPresenter ps;
    CTestDialog host;
    ASSERT_TRUE(host.Create(100, (HWND) nullptr));
    CPropList list;
    RECT rc = {0, 0, 300, 200};
    ASSERT_TRUE(list.Create(WS_VISIBLE, rc, &host, 4000));
    list.AddProperty(std::make_unique<CProp>(L"Выход", false, L"Спросить при выходе."));
    list.AddProperty(std::make_unique<CProp>(L"Текст", (COLORREF)0x123456, L"Цвет текста.", (COLORREF)0x200000,
                                             L"По умолчанию", L"Другой..."));
    list.SetCurSel(0);
    EXPECT_NE(std::wstring::npos, list.GetDescriptionText().find(L"Спросить при выходе."));
    EXPECT_EQ(L"Нет", list.GetProperty(0)->ValueText(list));
    ASSERT_TRUE(list.EditItem(0));
    ASSERT_TRUE(list.SetEditorChoice(0)); // "Да"
    EXPECT_FALSE(list.GetProperty(0)->GetBool());
    list.EndEditItem(TRUE);
    EXPECT_TRUE(list.GetProperty(0)->GetBool());
    EXPECT_EQ(L"Да", list.GetProperty(0)->ValueText(list));

    ASSERT_TRUE(list.EditItem(1));
    ASSERT_TRUE(list.SetEditorChoice(0)); // automatic
    list.EndEditItem(FALSE);
    EXPECT_EQ((COLORREF)0x123456, list.GetProperty(1)->GetColor());
    ASSERT_TRUE(list.EditItem(1));
    ASSERT_TRUE(list.SetEditorChoice(0));
    list.EndEditItem(TRUE);
    EXPECT_EQ((COLORREF)-1, list.GetProperty(1)->GetColor());
    ps.QueueColor(0x0000FF);
    ASSERT_TRUE(list.EditItem(1));
    ASSERT_TRUE(list.SetEditorChoice(1)); // "Другой..."
    list.EndEditItem(TRUE);
    EXPECT_EQ((COLORREF)0x0000FF, list.GetProperty(1)->GetColor());
    host.EndDialog(IDCANCEL);
}

} // namespace

namespace {

// ---- property sheets and wizards -------------------------------------------------------------

class CNamePage : public CPropertyPage {
public:
    CNamePage() : CPropertyPage(101) {}
    std::wstring m_name = L"имя";
    int m_activations = 0;
    bool m_refuseLeave = false;
    BOOL OnSetActive() override {
        ++m_activations;
        return TRUE;
    }
    BOOL OnKillActive() override { return !m_refuseLeave && CPropertyPage::OnKillActive(); }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 1001, m_name); }
};

class CFlagPage : public CPropertyPage {
public:
    CFlagPage() : CPropertyPage(102) {}
    int m_flag = 0;
    void DoDataExchange(CDataExchange* pDX) override { DDX_Check(pDX, 1002, m_flag); }
};

TEST(Sheet, WizardWalksItsPagesAndFinishTakesEveryPageBack) {
    KvTest::CScopedPresenter ps;
    CPropertySheet sheet(L"Мастер");
    CNamePage first;
    CFlagPage second;
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    sheet.SetWizardMode();
    int indexAfterRefusedNext = -1, indexAfterNext = -1;
    ps.OnDialog(101, [&](CDialog& d) {
        CPropertySheet* s = static_cast<CPropertyPage&>(d).GetSheet();
        d.SetDlgItemText(1001, L"новое имя");
        first.m_refuseLeave = true;
        s->PressButton(PSBTN_NEXT);
        indexAfterRefusedNext = s->GetActiveIndex();
        first.m_refuseLeave = false;
        s->PressButton(PSBTN_NEXT);
        indexAfterNext = s->GetActiveIndex();
        ::CheckDlgButton(second.m_hWnd, 1002, BST_CHECKED);
        s->PressButton(PSBTN_FINISH);
    });
    EXPECT_EQ(IDOK, sheet.DoModal());
    EXPECT_EQ(0, indexAfterRefusedNext);
    EXPECT_EQ(1, indexAfterNext);
    EXPECT_EQ(L"новое имя", first.m_name);
    EXPECT_EQ(1, second.m_flag);
    EXPECT_EQ(1, first.m_activations);
}

TEST(Sheet, CancelledSheetKeepsItsMembersAndAnUnscriptedOneIsCancelled) {
    KvTest::CScopedPresenter ps;
    {
        CPropertySheet sheet(L"Свойства");
        CNamePage first;
        CFlagPage second;
        sheet.AddPage(&first);
        sheet.AddPage(&second);
        ps.OnDialog(101, [&](CDialog& d) {
            d.SetDlgItemText(1001, L"не сохранится");
            static_cast<CPropertyPage&>(d).GetSheet()->PressButton(PSBTN_CANCEL);
        });
        EXPECT_EQ(IDCANCEL, sheet.DoModal());
        EXPECT_EQ(L"имя", first.m_name);
    }
    {
        CPropertySheet sheet(L"Свойства");
        CNamePage first;
        sheet.AddPage(&first);
        ps.Clear();
        EXPECT_EQ(IDCANCEL, sheet.DoModal());
        EXPECT_EQ(std::vector<UINT>{101}, ps.Dialogs());
    }
    {
        // OK applies every page.
        CPropertySheet sheet(L"Свойства");
        CNamePage first;
        sheet.AddPage(&first);
        ps.OnDialog(101, [&](CDialog& d) {
            d.SetDlgItemText(1001, L"сохранится");
            static_cast<CPropertyPage&>(d).GetSheet()->PressButton(PSBTN_OK);
        });
        EXPECT_EQ(IDOK, sheet.DoModal());
        EXPECT_EQ(L"сохранится", first.m_name);
    }
}

// ---- docked panes --------------------------------------------------------------------------

RECT ChildRect(CWnd& frame, HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, frame.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST(Frame, DockedPanesTakeTheirSidesAndGiveTheSpaceBackWhenHidden) {
    CTestFrame* f = new CTestFrame;
    f->m_bAutoDelete = FALSE;
    ASSERT_TRUE(f->LoadFrame(200));
    ::SetWindowPos(f->m_hWnd, nullptr, 0, 0, 800, 600, SWP_NOZORDER | SWP_NOMOVE);
    CWnd view;
    ASSERT_TRUE(view.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, f->m_hWnd,
                              reinterpret_cast<HMENU>((UINT_PTR)AFX_IDW_PANE_FIRST)));
    CDockPane left, bottom;
    ASSERT_TRUE(left.Create(L"Структура", f, 32772, CDockPane::Left, 250));
    ASSERT_TRUE(bottom.Create(L"Зависимости", f, 32773, CDockPane::Bottom, 150, FALSE));
    CListBox content;
    ASSERT_TRUE(content.CreateEx(0, L"LISTBOX", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, left.m_hWnd, nullptr));
    left.SetContent(content.m_hWnd);
    RECT client;
    f->GetClientRect(&client);

    RECT l = ChildRect(*f, left.m_hWnd), v = ChildRect(*f, view.m_hWnd);
    EXPECT_EQ(0, l.left);
    EXPECT_EQ(250, l.right);
    EXPECT_EQ(250, v.left);
    EXPECT_EQ(client.bottom, v.bottom);
    RECT c = ChildRect(left, content.m_hWnd);
    EXPECT_EQ(CDockPane::kCaptionHeight, c.top);
    EXPECT_EQ(250 - CDockPane::kEdge, c.right);

    bottom.ShowPane(TRUE);
    v = ChildRect(*f, view.m_hWnd);
    RECT b = ChildRect(*f, bottom.m_hWnd);
    EXPECT_EQ(client.bottom - 150, v.bottom);
    EXPECT_EQ(250, b.left); // the left pane, docked first, keeps the full height
    left.ShowPane(FALSE);
    v = ChildRect(*f, view.m_hWnd);
    EXPECT_EQ(0, v.left);
    EXPECT_FALSE(left.IsPaneVisible());
    left.ShowPane(TRUE);
    left.SetPaneSize(300);
    EXPECT_EQ(300, ChildRect(*f, view.m_hWnd).left);
    f->DestroyWindow();
    delete f;
}

} // namespace

namespace {

TEST(Presenter, PickersAnswerFromTheScriptAndCancelWithoutOne) {
    KvTest::CScopedPresenter ps;
    FilePick q;
    q.save = true;
    q.title = L"Экспорт модели данных";
    q.initialPath = L"C:\\Noname.xml";
    ps.QueueFiles({L"C:\\out.xml"});
    std::vector<std::wstring> paths;
    EXPECT_TRUE(GetPresenter()->PickFiles(nullptr, q, paths));
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\out.xml"}, paths);
    EXPECT_FALSE(GetPresenter()->PickFiles(nullptr, q, paths));
    EXPECT_TRUE(paths.empty());
    ASSERT_EQ(2u, ps.FileQuestions().size());
    EXPECT_EQ(L"Экспорт модели данных", ps.FileQuestions()[0].title);
    std::wstring folder = L"C:\\start";
    ps.QueueFolder(L"D:\\chosen");
    ps.QueueFolder(L"");
    EXPECT_TRUE(GetPresenter()->PickFolder(nullptr, L"Каталог", 0x11, folder));
    EXPECT_EQ(L"D:\\chosen", folder);
    EXPECT_FALSE(GetPresenter()->PickFolder(nullptr, L"Каталог", 0x11, folder));
    EXPECT_EQ(L"D:\\chosen", folder);
}

// ---- the presenter carries every modal choice ------------------------------------------------

TEST(Presenter, SheetScriptedPageByPage) {
    KvTest::CScopedPresenter ps;
    CPropertySheet sheet(L"Мастер");
    CNamePage first;
    CFlagPage second;
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    sheet.SetWizardMode();
    ps.OnPage(101, [](CPropertyPage& page) {
        page.SetDlgItemText(1001, L"по страницам");
        page.GetSheet()->PressButton(PSBTN_NEXT);
    });
    ps.OnPage(102, [](CPropertyPage& page) {
        ::CheckDlgButton(page.m_hWnd, 1002, BST_CHECKED);
        page.GetSheet()->PressButton(PSBTN_FINISH);
    });
    EXPECT_EQ(IDOK, sheet.DoModal());
    EXPECT_EQ((std::vector<UINT>{101, 102}), ps.Pages());
    EXPECT_EQ(L"по страницам", first.m_name);
    EXPECT_EQ(1, second.m_flag);
}

TEST(Presenter, DialogScriptedByItsClass) {
    KvTest::CScopedPresenter ps;
    ps.OnDialog<CTestDialog>(100, [](CTestDialog& d) {
        d.m_number = 7; // the object itself, typed
        d.UpdateData(FALSE);
        d.EndDialog(IDOK);
    });
    CTestDialog dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(7, dlg.m_number);
    // A dialog of another class with that template is a fault of the script, not a silent cancel.
    CDialog other(100, (HWND) nullptr);
    EXPECT_THROW(other.DoModal(), std::logic_error);
}

TEST(Presenter, PopupMenusAnswerFromTheScript) {
    KvTest::CScopedPresenter ps;
    CTestFrame* f = new CTestFrame;
    f->m_bAutoDelete = FALSE;
    ASSERT_TRUE(f->LoadFrame(200));
    HMENU popup = ::GetSubMenu(f->m_hMenu, 0);
    ps.QueueMenuCommand(301);
    EXPECT_EQ(301u, KvUi::TrackPopupMenu(popup, TPM_RETURNCMD, 10, 10, f->m_hWnd));
    EXPECT_EQ(0u, KvUi::TrackPopupMenu(popup, TPM_RETURNCMD, 10, 10, f->m_hWnd)); // nothing queued: none chosen
    // Without TPM_RETURNCMD the command goes to the owner, as the system's menu sends it.
    ps.QueueMenuCommand(300);
    EXPECT_NE(0u, KvUi::TrackPopupMenu(popup, 0, 10, 10, f->m_hWnd));
    PumpWaitingMessages();
    EXPECT_EQ(1, f->m_opened);
    f->DestroyWindow();
    delete f;
}

} // namespace
