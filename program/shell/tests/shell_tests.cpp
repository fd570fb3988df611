// Tests of the shell: settings and their dialog, the error report and dialogs, the About box,
// the board folder, the services and the value classes.
#include <gtest/gtest.h>

#include "kvtest.h"

#include "AboutDlg.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "ValueClasses.h"
#include "dlgException.h"
#include "dlgProperty.h"
#include "kvclick.h"
#include "kvgallery.h"
#include "kvpresenter.h"
#include "resource.h"

#include <ViewHost.h>

#include <valkit.h>

#include <sddl.h>

#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <VoRurod.h>

CDaVIdevaRezApp theApp;

namespace {

using PresenterScope = KvTest::CScopedPresenter;

const wchar_t* kProfileKey = L"Software\\Meridal\\Varno\\Client\\DaVIdevaRez\\LocalMode";

// The application's profile as start-up sets it, on an empty key.
void UseProgramProfile() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
    theApp.SetRegistryKey(L"Meridal\\Varno\\Client");
    theApp.m_strProfileName = L"DaVIdevaRez\\LocalMode";
}

// ---- settings ------------------------------------------------------------------------------

TEST(Settings, EmptyProfileGivesTheDefaultsAndSaveReloadKeepsEveryValue) {
    UseProgramProfile();
    CDaVIdevaRezApp& a = theApp;
    // Values that are not the defaults: loading an empty profile replaces every one.
    a.m_nConfirmation = 1;
    a.m_clrNonExistentFace = 0x111111;
    a.m_strExeExtensions = L".x";
    a.m_nCEBlocked = 0;
    ASSERT_EQ(1, a.LoadSettings());
    EXPECT_EQ(6, a.m_nConfirmation);
    EXPECT_EQ(0x200000u, a.m_clrNonExistentFace);
    EXPECT_EQ(0xF0CAA6u, a.m_clrNonExistentBkg);
    EXPECT_EQ(0xE6E6FFu, a.m_clrUniqBkg);
    EXPECT_EQ(1, a.m_bGrid);
    EXPECT_EQ(3, a.m_nCEBlocked);
    EXPECT_EQ(2, a.m_nCENotFound);
    EXPECT_EQ(1, a.m_bExeByExten);
    EXPECT_EQ(L".exe; .dll; .cpl; .drv; .sys; .ocx; .vbs; .scr; .rll; .ime; .bpl; .ax; .acm; .com; .ppl; .cmd; .bat",
              a.m_strExeExtensions);
    EXPECT_EQ((COLORREF)::GetSysColor(COLOR_WINDOW), a.m_clrBkg);
    HKEY h = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kProfileKey, 0, KEY_READ, &h)); // nothing written

    a.m_nConfirmation = 7;
    a.m_clrAltBkg = 0x123456;
    a.m_nCEDouble = 5;
    a.m_strExeExtensions = L".exe; .dll";
    a.m_bUpdatePresent = 0;
    ASSERT_EQ(1, a.SaveSettings());
    a.ResetSettings();
    EXPECT_EQ(6, a.m_nConfirmation);
    a.LoadSettings();
    EXPECT_EQ(7, a.m_nConfirmation);
    EXPECT_EQ(0x123456u, a.m_clrAltBkg);
    EXPECT_EQ(5, a.m_nCEDouble);
    EXPECT_EQ(L".exe; .dll", a.m_strExeExtensions);
    EXPECT_EQ(0, a.m_bUpdatePresent);

    // The values lie directly under the profile key, colours as DWORD.
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kProfileKey, 0, KEY_READ, &h));
    DWORD v = 0, size = sizeof(v), type = 0;
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(h, L"ColorAltBkg", nullptr, &type, (BYTE*)&v, &size));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(0x123456u, v);
    DWORD count = 0;
    ::RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                       nullptr);
    EXPECT_EQ(21u, count); // every setting but IsAutoNatify
    ::RegCloseKey(h);
    a.ResetSettings();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
}

// The table names every setting once, each member once, and reset gives each its default; a
// value of the wrong type in the profile gives the default too.
TEST(Settings, TableNamesEveryMemberOnceAndResetAndMistypedValuesGiveTheDefaults) {
    UseProgramProfile();
    CDaVIdevaRezApp& a = theApp;
    struct Row {
        const wchar_t* name;
        AppSetting::Type type;
        DWORD def; // Int and Color
        bool stored;
    };
    const Row rows[] = {
        {L"Confirmation", AppSetting::Int, 6, true},
        {L"ColorFace", AppSetting::Color, ::GetSysColor(COLOR_WINDOWTEXT), true},
        {L"ColorBkg", AppSetting::Color, ::GetSysColor(COLOR_WINDOW), true},
        {L"ColorUniqFace", AppSetting::Color, 0x000040, true},
        {L"ColorUniqBkg", AppSetting::Color, 0xE6E6FF, true},
        {L"ColorAltFace", AppSetting::Color, 0x404040, true},
        {L"ColorAltBkg", AppSetting::Color, 0xC0C0C0, true},
        {L"ColorNonExistentFace", AppSetting::Color, 0x200000, true},
        {L"ColorNonExistentBkg", AppSetting::Color, 0xF0CAA6, true},
        {L"Grid", AppSetting::Int, 1, true},
        {L"DepDlg", AppSetting::Int, 1, true},
        {L"ClearExeDep", AppSetting::Int, 1, true},
        {L"ExeExtensions", AppSetting::Text, 0, true},
        {L"AddDepends", AppSetting::Int, 1, true},
        {L"PrecalcDlg", AppSetting::Int, 1, true},
        {L"CENotSupport", AppSetting::Int, 0, true},
        {L"CEBlocked", AppSetting::Int, 3, true},
        {L"CENotFound", AppSetting::Int, 2, true},
        {L"CEDouble", AppSetting::Int, 0, true},
        {L"UpdatePresent", AppSetting::Int, 1, true},
        {L"ExeByExten", AppSetting::Int, 1, true},
        {L"IsAutoNatify", AppSetting::Int, 1, false},
    };
    size_t n = 0;
    std::set<const void*> members;
    for (const AppSetting& s : AppSettingsTable()) {
        ASSERT_LT(n, std::size(rows));
        const Row& r = rows[n++];
        EXPECT_STREQ(r.name, s.name);
        EXPECT_EQ(r.type, s.type) << s.name;
        EXPECT_EQ(r.stored, s.stored) << s.name;
        EXPECT_EQ(&s, FindAppSetting(r.name));
        // Scribble over the member, then reset it alone.
        const void* member = s.type == AppSetting::Int     ? (const void*)&(a.*s.intMember)
                             : s.type == AppSetting::Color ? (const void*)&(a.*s.colorMember)
                                                           : (const void*)&(a.*s.textMember);
        EXPECT_TRUE(members.insert(member).second) << s.name << " shares its member";
        if (s.type == AppSetting::Text) {
            a.*s.textMember = L"?";
            s.Reset(a);
            EXPECT_EQ(s.defaultText, a.*s.textMember);
        } else {
            s.Set(a, 0xDEAD);
            EXPECT_EQ(0xDEADu, s.Get(a));
            s.Reset(a);
            EXPECT_EQ(r.def, s.Get(a)) << s.name;
        }
    }
    EXPECT_EQ(std::size(rows), n);
    EXPECT_EQ(nullptr, FindAppSetting(L"NoSuchSetting"));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rows[1 + i].def, CDaVIdevaRezApp::DefaultColor(i));
        EXPECT_EQ(DefaultListColor(i + 1), CDaVIdevaRezApp::DefaultColor(i)); // one source of the values
    }
    // The lists' colour classes 1-8 are the colour settings in their order.
    a.m_clrAltFace = 0x010203;
    a.m_clrNonExistentBkg = 0x040506;
    EXPECT_EQ(0x010203u, a.GetListColor(5));
    EXPECT_EQ(0x040506u, a.GetListColor(8));
    EXPECT_EQ(0u, a.GetListColor(0));
    EXPECT_EQ(0u, a.GetListColor(9));

    // One call puts every member back.
    a.m_nConfirmation = 0;
    a.m_clrFace = 1;
    a.m_strExeExtensions.clear();
    a.m_bIsAutoNatify = 0;
    a.ResetSettings();
    EXPECT_EQ(6, a.m_nConfirmation);
    EXPECT_EQ((COLORREF)::GetSysColor(COLOR_WINDOWTEXT), a.m_clrFace);
    EXPECT_FALSE(a.m_strExeExtensions.empty());
    EXPECT_EQ(1, a.m_bIsAutoNatify);

    // Mistyped profile values: a text where a number belongs and the other way round.
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, kProfileKey, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr));
    const wchar_t text[] = L"12";
    ::RegSetValueExW(h, L"CEBlocked", 0, REG_SZ, (const BYTE*)text, sizeof text);
    DWORD seven = 7;
    ::RegSetValueExW(h, L"ExeExtensions", 0, REG_DWORD, (const BYTE*)&seven, sizeof seven);
    ::RegSetValueExW(h, L"CENotFound", 0, REG_DWORD, (const BYTE*)&seven, sizeof seven);
    ::RegCloseKey(h);
    a.m_nCEBlocked = 9;
    a.LoadSettings();
    EXPECT_EQ(3, a.m_nCEBlocked);
    EXPECT_EQ(7, a.m_nCENotFound);
    EXPECT_EQ(FindAppSetting(L"ExeExtensions")->defaultText, a.m_strExeExtensions);
    a.ResetSettings();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Meridal\\Varno\\Client");
}

TEST(Settings, DialogChangesWhatItShowsAndLeavesTheRest) {
    PresenterScope ps;
    CDaVIdevaRezApp& a = theApp;
    a.ResetSettings();
    a.m_nConfirmation = 6 | 8; // a bit no page shows
    a.m_clrNonExistentFace = 0x111111;
    a.m_nDepDlg = 9;
    a.m_strExeExtensions = L".exe";
    std::wstring firstDescription;
    int pagesVisible = -1;
    ps.OnDialog(IDD_PROPERTY, [&](KvUi::CDialog& d) {
        dlgProperty& dlg = static_cast<dlgProperty&>(d);
        firstDescription = dlg.m_pages[0].GetDescriptionText();
        // The tree: "Общие" expanded with its three pages, "Инструментарий" with one.
        EXPECT_EQ(6u, dlg.m_tree.GetCount());
        EXPECT_EQ(L"Общие", dlg.m_tree.GetItemText(dlg.m_roots[0]));
        EXPECT_EQ(2, dlg.PageOfItem(dlg.m_children[2]));
        EXPECT_EQ(0, dlg.PageOfItem(dlg.m_roots[0]));
        // Selecting a page shows only it; selecting its root again shows the page last seen.
        dlg.m_tree.SelectItem(dlg.m_children[2]);
        dlg.m_tree.SelectItem(dlg.m_roots[1]);
        dlg.m_tree.SelectItem(dlg.m_roots[0]);
        auto shown = [](KvUi::CWnd& w) { return (::GetWindowLongW(w.m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0; };
        pagesVisible =
            (shown(dlg.m_pages[2]) ? 4 : 0) | (shown(dlg.m_pages[0]) ? 1 : 0) | (shown(dlg.m_pages[3]) ? 8 : 0);
        // "Выход" to "Да".
        dlg.m_pages[0].EditItem(0);
        dlg.m_pages[0].SetEditorChoice(0);
        dlg.m_pages[0].EndEditItem(TRUE);
        // "Текст (несуществующие)" to "По умолчанию".
        dlg.m_pages[1].EditItem(6);
        dlg.m_pages[1].SetEditorChoice(0);
        // "Сетка в списке" to "Нет", left in its editor: OK takes the edited value.
        dlg.m_pages[2].EditItem(0);
        dlg.m_pages[2].SetEditorChoice(1);
        EXPECT_TRUE(KvTest::Click(d, IDOK));
    });
    dlgProperty dlg(nullptr);
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_NE(std::wstring::npos, firstDescription.find(L"Выводить запрос на подтверждение при выходе из программы."));
    EXPECT_EQ(4, pagesVisible);
    EXPECT_EQ(15, a.m_nConfirmation);
    EXPECT_EQ(0x200000u, a.m_clrNonExistentFace);
    EXPECT_EQ(0, a.m_bGrid);
    EXPECT_EQ(1, a.m_bUpdatePresent);
    EXPECT_EQ(9, a.m_nDepDlg);
    EXPECT_EQ(L".exe", a.m_strExeExtensions);

    // Cancel writes nothing.
    ps.OnDialog(IDD_PROPERTY, [](KvUi::CDialog& d) {
        dlgProperty& p = static_cast<dlgProperty&>(d);
        p.m_pages[3].EditItem(0);
        p.m_pages[3].SetEditorChoice(1);
        p.m_pages[3].EndEditItem(TRUE);
        EXPECT_TRUE(KvTest::Click(d, IDCANCEL));
    });
    dlgProperty dlg2(nullptr);
    EXPECT_EQ(IDCANCEL, dlg2.DoModal());
    EXPECT_EQ(1, a.m_bUpdatePresent);
    a.ResetSettings();
}

// The in-place value editor (F9's settings, any page) stands over the value cell of its row, at its
// full height from the first time it is shown; with KV_GALLERY_DIR set, the dialog with an open
// editor is saved as settings-editor.png.
TEST(Settings, ValueEditorStandsOverItsRow) {
    PresenterScope ps;
    theApp.ResetSettings();
    struct Seen {
        RECT cell, editor;
        bool visible;
    };
    std::vector<Seen> seen;
    ps.OnDialog(IDD_PROPERTY, [&](KvUi::CDialog& d) {
        dlgProperty& dlg = static_cast<dlgProperty&>(d);
        d.ShowWindow(SW_SHOW);
        for (int page : {0, 1}) {
            dlg.m_tree.SelectItem(dlg.m_children[page]);
            KvUi::CPropList& list = dlg.m_pages[page];
            HWND rows = ::GetDlgItem(list.m_hWnd, 1);
            HWND editor = ::GetDlgItem(list.m_hWnd, 2);
            for (int row : {0, 2}) {
                list.EditItem(row);
                // As it is first shown, before anything else is drawn.
                Seen s = {};
                s.cell.top = 1;
                s.cell.left = LVIR_BOUNDS;
                ::SendMessageW(rows, LVM_GETSUBITEMRECT, row, (LPARAM)&s.cell);
                ::MapWindowPoints(rows, nullptr, reinterpret_cast<POINT*>(&s.cell), 2);
                ::GetWindowRect(editor, &s.editor);
                // Shown, and left whole by the list's painting: above it, with the list clipped.
                s.visible = ::IsWindowVisible(editor) && (::GetWindowLongW(rows, GWL_STYLE) & WS_CLIPSIBLINGS) &&
                            ::GetWindow(list.m_hWnd, GW_CHILD) == editor;
                seen.push_back(s);
                KvUi::PumpWaitingMessages();
                RECT after = {};
                ::GetWindowRect(editor, &after);
                EXPECT_TRUE(::EqualRect(&after, &s.editor)) << "the editor moved after it was shown";
            }
        }
        const std::wstring folder = KvGallery::Folder();
        if (!folder.empty()) {
            // An editor open on the colours' page, drawn as it stands.
            dlg.m_pages[1].EditItem(2);
            ::RedrawWindow(d.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            for (int i = 0; i < 20; ++i) {
                KvUi::PumpWaitingMessages();
                ::Sleep(15);
            }
            ::CoInitialize(nullptr);
            EXPECT_EQ(S_OK, KvGallery::SaveWindow(d.m_hWnd, folder + L"\\settings-editor.png"));
            ::CoUninitialize();
        }
        d.EndDialog(IDCANCEL);
    });
    dlgProperty dlg(nullptr);
    dlg.DoModal();
    ASSERT_EQ(4u, seen.size());
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.visible);
        EXPECT_EQ(s.cell.left, s.editor.left);
        EXPECT_EQ(s.cell.right, s.editor.right);
        EXPECT_EQ(s.cell.top, s.editor.top) << "the editor is not on its row";
        EXPECT_GE(s.editor.bottom - s.editor.top, s.cell.bottom - s.cell.top) << "thinner than its row";
    }
}

// ---- error report and dialogs ----------------------------------------------------------------

TEST(ErrorReport, TextOfEachCombinationOfItems) {
    struct Case {
        const char* name;
        void (*fill)(EGeneric&);
        const wchar_t* code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"code and text",
         [](EGeneric& e) {
             e["Code"] = _value_t(1627);
             e["Text"] = _value_t(as_string(L"сбой"));
         },
         L"0x0000065B", L"сбой"},
        {"hresult and error",
         [](EGeneric& e) {
             e["HRESULT"] = _value_t((long)0x80004005);
             e["Error"] = _value_t(as_string(L"ошибка"));
         },
         L"0x80004005", L"ошибка"},
        {"code wins over hresult, text over error",
         [](EGeneric& e) {
             e["Code"] = _value_t(5);
             e["HRESULT"] = _value_t((long)1);
             e["Text"] = _value_t("t");
             e["Error"] = _value_t("e");
         },
         L"0x00000005", L"t"},
        {"code of another type is no code",
         [](EGeneric& e) {
             e["Code"] = _value_t((long)5);
             e["Error"] = _value_t(7);
         },
         L"", L""},
        {"nothing", [](EGeneric&) {}, L"", L""},
    };
    for (const Case& c : cases) {
        EGeneric e;
        c.fill(e);
        // The source line is what() read back as the UTF-8 it is: the same text, not garbled.
        std::wstring expected = std::wstring(L"Код: ") + c.code + L"\nТекст: " + c.text + L"\n\nSource: " + e.text();
        EXPECT_EQ(expected, BuildErrorReport(e)) << c.name;
    }
}

// Each kind of exception has its own text in the program's error dialog.
TEST(ErrorReport, EachKindOfExceptionGetsItsOwnText) {
    KvUi::AddExceptionTranslator(TranslateProgramException);
    EGeneric generic("generic");
    generic["Code"] = _value_t(7);
    generic["Text"] = _value_t("bad value");
    KvBase::CVoRurod rurod(ERROR_ACCESS_DENIED);
    struct Case {
        std::function<void()> raise;
        std::wstring expected;
    } cases[] = {
        {[&] { throw generic; }, BuildErrorReport(generic)},
        {[&] { throw rurod; }, KvBase::CVoRurod(rurod).GetText()},
        {[] { throw std::runtime_error("disk full"); }, L"disk full"},
        {[] { throw 1; }, L"Произошла неизвестная ошибка!"},
    };
    for (Case& c : cases) {
        std::wstring text;
        try {
            c.raise();
        } catch (...) {
            text = KvUi::CurrentExceptionText();
        }
        EXPECT_EQ(c.expected, text);
        EXPECT_FALSE(text.empty());
    }
}

TEST(ErrorReport, DialogShowsTheTextWithCrLfInItsDetailsBox) {
    PresenterScope ps;
    std::wstring caption, details;
    bool icon = false;
    ps.OnDialog(IDD_EXCEPTION, [&](KvUi::CDialog& d) {
        caption = d.GetWindowText();
        HWND child = ::GetWindow(d.m_hWnd, GW_CHILD);
        for (; child; child = ::GetWindow(child, GW_HWNDNEXT))
            if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                ::SendMessageW(child, STM_GETICON, 0, 0))
                icon = true;
        EXPECT_TRUE(KvTest::Click(d, IDC_EXCEPTION_DETAILS));
        d.EndDialog(IDOK);
    });
    ps.OnDialog(IDD_EXCEPTION_INFO, [&](KvUi::CDialog& d) {
        details = d.GetDlgItemText(IDC_EXCEPTION_TEXT);
        d.EndDialog(IDOK);
    });
    dlgException dlg(nullptr, L"Код: 0x1\nТекст: a\r\nb\n\nSource: x");
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(L"Zidezedaza rizodorar AZ", caption);
    EXPECT_TRUE(icon);
    EXPECT_EQ(L"Код: 0x1\r\nТекст: a\r\nb\r\n\r\nSource: x", details);
    EXPECT_EQ(details, dlg.GetText());
}

TEST(WaitDialog, OpensModelessWithItsAnimation) {
    dlgWait wait(nullptr);
    ASSERT_TRUE(wait.Create());
    EXPECT_NE(nullptr, wait.m_animation.m_hWnd);
    EXPECT_NE(std::wstring::npos, wait.GetDlgItemText(IDC_WAIT_TEXT).find(L"ПОДОЖДИТЕ, ПОЖАЛУЙСТА."));
    wait.DestroyWindow();
    EXPECT_EQ(nullptr, wait.m_hWnd);
}

// ---- About box -------------------------------------------------------------------------------

TEST(About, BoardBiosVersionComesFromTheLibrary) {
    struct Case {
        const wchar_t* setting;
        const wchar_t* hardware;
    };
    const Case cases[] = {
        {L"1,2,42,0", L"плата ПАК \"Varno\"\r\n\r\nВерсия BIOS платы: 1.2.42"},
        {L"3,0,1,1", L"плата ПАК \"Varno\"\r\n\r\nВерсия BIOS платы: 3.0.257"},
        {L"fail", L"отсутствует"},
    };
    PresenterScope ps;
    for (const Case& c : cases) {
        ::SetEnvironmentVariableW(L"KV_DOUBLE_BIOS", c.setting);
        std::wstring text;
        ps.OnDialog(IDD_ABOUTBOX, [&](KvUi::CDialog& d) {
            text = d.GetDlgItemText(IDC_ABOUT_TEXT);
            d.EndDialog(IDOK);
        });
        CAboutDlg dlg;
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_EQ(0u, text.find(L"Версия программного обеспечения: 2.0.88\r\n\r\nАппаратное обеспечение: " +
                                std::wstring(c.hardware) + L"\r\n\r\nПуть к шаблонам контроля целостности: "))
            << text;
    }
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BIOS", nullptr);
    // Without the library the hardware is absent.
    std::wstring version;
    EXPECT_FALSE(QueryBoardBiosVersion(version, L"no-such-kvellock.dll"));
}

TEST(About, PathTextNamesTheBoardLetterWhenItDiffers) {
    std::wstring two = CAboutDlg::BuildInfoText(L"отсутствует", L"C:\\Varno", L'd');
    EXPECT_NE(
        std::wstring::npos,
        two.find(L"Путь к шаблонам контроля целостности: \r\n   OC MS Windows: C:\\Varno\r\n   BIOS платы: d:\\Varno"));
    std::wstring one = CAboutDlg::BuildInfoText(L"отсутствует", L"C:\\Varno", L'c');
    EXPECT_EQ(one.size() - wcslen(L"C:\\Varno"), one.rfind(L"C:\\Varno"));
    std::wstring none = CAboutDlg::BuildInfoText(L"отсутствует", L"", 0);
    EXPECT_EQ(none.size(), none.rfind(L": ") + 2);
}

// ---- board folder ----------------------------------------------------------------------------

struct DriveAnswer {
    wchar_t letter;
    int local; // a fixed disk on an internal bus
};

class CTableDrives : public CDriveAnswers {
public:
    std::vector<DriveAnswer> drives;
    DWORD LogicalDriveStrings(DWORD size, wchar_t* buffer) override {
        std::wstring all;
        for (auto& d : drives) {
            all += d.letter;
            all += L":\\";
            all += L'\0';
        }
        if (all.size() + 1 > size)
            return (DWORD)all.size() + 1;
        std::copy(all.begin(), all.end(), buffer);
        buffer[all.size()] = 0;
        return (DWORD)all.size();
    }
    int IsLocalHardDisk(wchar_t l) override {
        for (auto& d : drives)
            if (d.letter == l)
                return d.local;
        return 0;
    }
};

TEST(BoardFolder, FirstLocalHardDiskInDriveOrder) {
    struct Case {
        const char* name;
        std::vector<DriveAnswer> drives;
        const wchar_t* folder;
    };
    const Case cases[] = {
        {"removable A:, internal C:", {{L'A', 0}, {L'C', 1}}, L"C:\\Varno"},
        {"external disks before the internal one", {{L'C', 0}, {L'D', 0}, {L'E', 1}, {L'F', 1}}, L"E:\\Varno"},
        {"no local hard disk", {{L'X', 0}, {L'Z', 0}}, L""},
        {"no drives", {}, L""},
    };
    CTableDrives answers;
    for (const Case& c : cases) {
        answers.drives = c.drives;
        EXPECT_EQ(std::wstring(c.folder), FindStoreFolder(answers)) << c.name;
        theApp.SetDriveAnswers(&answers);
        EXPECT_EQ(std::wstring(c.folder), theApp.GetStoreFolder()) << c.name;
        theApp.SetDriveAnswers(nullptr);
    }
    // 26 drives fill the buffer exactly; the last is the local one.
    answers.drives.clear();
    for (wchar_t l = L'A'; l <= L'Z'; ++l)
        answers.drives.push_back({l, l == L'Z'});
    EXPECT_EQ(L"Z:\\Varno", FindStoreFolder(answers));
}

// ---- services --------------------------------------------------------------------------------

using KvTest::TestTmp;

TEST(Services, FileTestAndSystemTextAndSids) {
    std::wstring dir = TestTmp();
    std::wstring file = dir + L"\\exists.txt";
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ::CloseHandle(h);
    EXPECT_EQ(1, theApp.IsFileExist(file.c_str()));
    EXPECT_EQ(0, theApp.IsFileExist(dir.c_str()));
    EXPECT_EQ(0, theApp.IsFileExist(nullptr));
    EXPECT_EQ(0, theApp.IsFileExist((dir + L"\\missing.txt").c_str()));

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KvShellTests\\CurrentVersion", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const wchar_t product[] = L"Windows 7 Professional";
    ::RegSetValueExW(key, L"ProductName", 0, REG_SZ, (const BYTE*)product, sizeof(product));
    EXPECT_EQ(L"Windows 7 Professional, 32-bit", DescribeOs(key, 0));
    EXPECT_EQ(L"Windows 7 Professional, 64-bit", DescribeOs(key, 9));
    const wchar_t sp[] = L"Service Pack 1";
    ::RegSetValueExW(key, L"CSDVersion", 0, REG_SZ, (const BYTE*)sp, sizeof(sp));
    EXPECT_EQ(L"Windows 7 Professional, 64-bit, Service Pack 1", DescribeOs(key, 9));
    ::RegCloseKey(key);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KvShellTests");
    EXPECT_NE(std::wstring::npos, theApp.GetOsDescription().find(L"-bit"));

    std::wstring sid = theApp.GetCurrentUserSidString();
    EXPECT_EQ(0u, sid.find(L"S-1-5-")) << sid;

    std::wstring account = L"unchanged";
    BYTE sidBuffer[68] = {};
    DWORD r = theApp.GetComputerAccount(account, sidBuffer);
    wchar_t name[256] = {};
    DWORD size = 256;
    ::GetComputerNameExW(ComputerNamePhysicalNetBIOS, name, &size);
    if (r == 0) {
        EXPECT_EQ(account.size() - wcslen(name), account.rfind(std::wstring(L"\\") + name) + 1);
        EXPECT_TRUE(::IsValidSid(sidBuffer));
    } else {
        EXPECT_EQ(std::wstring(name), account); // the plain computer name when the lookup fails
    }

    std::wstring text;
    theApp.GetErrorText(ERROR_FILE_NOT_FOUND, text);
    EXPECT_FALSE(text.empty());
}

TEST(Services, ListBoxExtentFollowsTheWidestItem) {
    KvUi::CListBox list;
    ASSERT_TRUE(list.CreateEx(0, L"LISTBOX", nullptr, WS_POPUP | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 100, 100,
                              nullptr, nullptr));
    list.SetHorizontalExtent(77);
    theApp.SetListBoxExtent(list);
    EXPECT_EQ(0, list.GetHorizontalExtent());
    list.AddString(L"a");
    list.AddString(L"длинная строка списка, шире окна");
    theApp.SetListBoxExtent(list);
    HDC dc = ::GetDC(list.m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, list.GetFont() ? (HGDIOBJ)list.GetFont() : ::GetStockObject(SYSTEM_FONT));
    SIZE sz = {};
    std::wstring longest = L"длинная строка списка, шире окна";
    ::GetTextExtentPoint32W(dc, longest.c_str(), (int)longest.size(), &sz);
    TEXTMETRICW tm = {};
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(list.m_hWnd, dc);
    EXPECT_EQ(sz.cx + tm.tmAveCharWidth, list.GetHorizontalExtent());
    list.DestroyWindow();
}

// ---- value classes -------------------------------------------------------------------------

TEST(ValueClasses, GuidFromTextAndOwnedBuffer) {
    VRBase::CGuid zero(L"{00000000-0000-0000-0000-000000000000}");
    EXPECT_TRUE(zero.IsValid());
    GUID g = zero.GetGuid();
    EXPECT_EQ(0, memcmp(&g, &GUID_NULL, sizeof(GUID)));
    VRBase::CGuid cls(L"{4d36e967-e325-11ce-bfc1-08002be10318}");
    EXPECT_TRUE(cls.IsValid());
    EXPECT_EQ(0x4d36e967u, cls.GetGuid().Data1);
    VRBase::CGuid bare(L"4d36e967-e325-11ce-bfc1-08002be10318");
    EXPECT_FALSE(bare.IsValid());
    EXPECT_FALSE(VRBase::CGuid(nullptr).IsValid());
    KvBase::CGuid empty;
    EXPECT_FALSE(empty.m_bValid);
    EXPECT_EQ(0, memcmp(&empty.m_guid, &GUID_NULL, sizeof(GUID)));

    VRBase::CBuffer<wchar_t> buffer;
    buffer.Allocate(512);
    ASSERT_NE(nullptr, buffer.GetData());
    EXPECT_EQ(512u, buffer.GetCount());
    buffer.GetData()[0] = L'x';
    buffer.Allocate(8);
    EXPECT_EQ(8u, buffer.GetCount());
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(L'\0', buffer.GetData()[i]);
    buffer.Allocate(0);
    EXPECT_EQ(nullptr, buffer.GetData());
    EXPECT_EQ(0u, buffer.GetCount());
}

// ---- the board's and the host suite's libraries ------------------------------------------

TEST(OutsideLibraries, BoardAndJointModeAnswers) {
    CBoardApiLibrary missing;
    missing.Load(L"no-such-vrnapi.dll");
    EXPECT_FALSE(missing.GetInterface());
    EXPECT_FALSE(missing.IsBoardPresent());

    struct BoardCase {
        const wchar_t* mode;
        bool iface;
        bool present;
    };
    for (const BoardCase& c : {BoardCase{L"present", true, true}, BoardCase{L"absent", true, false},
                               BoardCase{L"fail", true, false}, BoardCase{L"nointerface", false, false}}) {
        ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", c.mode);
        CBoardApiLibrary board;
        board.Load();
        EXPECT_EQ(c.iface, board.GetInterface()) << c.mode;
        EXPECT_EQ(c.present, board.IsBoardPresent()) << c.mode;
        board.Free();
    }
    ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", nullptr);

    struct JointCase {
        const wchar_t* mode;
        int on;
    };
    for (const JointCase& c : {JointCase{L"off", 0}, JointCase{L"flag", 1}, JointCase{L"result", 1},
                               JointCase{L"nointerface", 0}, JointCase{L"throw", 0}}) {
        ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", c.mode);
        EXPECT_EQ(c.on, QueryJointMode()) << c.mode;
    }
    ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", nullptr);
    EXPECT_EQ(0, QueryJointMode(L"no-such-kvhwapi.dll"));
}

} // namespace

namespace {

// ---- the local store through the provider ------------------------------------------------------

TEST(Store, OpensTheLocalStoreInTheBoardFolderAndClosesIt) {
    CTableDrives answers;
    answers.drives = {{L'A', 0}, {L'C', 1}};
    theApp.SetDriveAnswers(&answers);
    ::DeleteFileW(L"C:\\Varno\\Localhost.vdb");
    Varno::SmartPtr<Varno::IDatabase> store = theApp.OpenStore();
    ASSERT_TRUE(store) << "no store";
    EXPECT_EQ(L"C:\\Varno\\Localhost.vdb", store->GetPath());
    Varno::SmartPtr<Varno::IProvider> provider = theApp.GetProvider();
    ASSERT_TRUE(provider);
    EXPECT_EQ(1, provider->GetOpenCount());
    theApp.CloseStore(store);
    EXPECT_FALSE(store);
    EXPECT_EQ(0, provider->GetOpenCount());
    // Closing an empty pointer calls nothing and leaves it empty.
    theApp.CloseStore(store);
    EXPECT_FALSE(store);
    DWORD attributes = ::GetFileAttributesW(L"C:\\Varno");
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    theApp.SetDriveAnswers(nullptr);
    theApp.ResetProvider();
}

} // namespace
