// The report wizards as real windows from the real templates, scripted through the presenter:
// pages, Next/Back/Build, the range check, the settings under HKCU, the page-numbering dialog
// and the wizards' modal ownership.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "ReportWizards.h"
#include "kvclick.h"
#include "kvpresenter.h"
#include "reportforms_ids.h"

using namespace KvUi;

namespace {

// ---- registry fixtures ---------------------------------------------------------------------

struct Seed {
    const wchar_t* name;
    DWORD type; // REG_DWORD or REG_SZ
    DWORD number;
    const wchar_t* text;
};

void ClearKey(const wchar_t* path) { ::RegDeleteKeyW(HKEY_CURRENT_USER, path); }

bool KeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void SeedKey(const wchar_t* path, const std::vector<Seed>& seeds) {
    ClearKey(path);
    if (seeds.empty())
        return;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    for (const Seed& s : seeds) {
        if (s.type == REG_DWORD)
            ::RegSetValueExW(key, s.name, 0, REG_DWORD, (const BYTE*)&s.number, sizeof(DWORD));
        else
            ::RegSetValueExW(key, s.name, 0, REG_SZ, (const BYTE*)s.text, (DWORD)((wcslen(s.text) + 1) * 2));
    }
    ::RegCloseKey(key);
}

// A REG_DWORD value, or -1 when it is missing or of another type.
long long ReadDword(const wchar_t* path, const wchar_t* name) {
    DWORD value = 0, size = sizeof(value), type = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return value;
}

// ---- driving a wizard ----------------------------------------------------------------------

HWND Item(HWND dlg, int id) {
    HWND h = ::GetDlgItem(dlg, id);
    EXPECT_NE(nullptr, h) << "no control " << id;
    return h;
}
// A click as a person's: a missing, hidden or disabled control takes none, and the case fails.
void Click(HWND dlg, int id) { EXPECT_TRUE(KvTest::Click(Item(dlg, id))) << "control " << id << " refused the click"; }
bool Checked(HWND dlg, int id) { return ::SendMessageW(Item(dlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND dlg, int id) { return KvTest::Enabled(Item(dlg, id)); }
std::wstring Text(HWND dlg, int id) {
    wchar_t buf[512] = {};
    ::GetWindowTextW(Item(dlg, id), buf, 512);
    return buf;
}
void Type(HWND dlg, int id, const std::wstring& text) {
    ::SetWindowTextW(Item(dlg, id), text.c_str());
    PumpWaitingMessages(); // the page's message to the frame
}
int ChoiceShown(HWND page) {
    const int ids[4] = {IDC_RADIO_ALL, IDC_RADIO_SELECTED, IDC_RADIO_RANGE, IDC_RADIO_VIEW};
    int found = -1;
    for (int i = 0; i < 4; ++i)
        if (Checked(page, ids[i]))
            found = found == -1 ? i : -2;
    return found;
}

std::wstring Report(const wchar_t* name) {
    wchar_t buf[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"KV_TEST_TMP", buf, MAX_PATH);
    return std::wstring(buf) + L"\\" + name;
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearKey(kEventLogSettingsKey);
        ClearKey(kVarnoSettingsKey);
    }
    void TearDown() override {
        ClearKey(kEventLogSettingsKey);
        ClearKey(kVarnoSettingsKey);
    }
    KvTest::CScopedPresenter m_ps;
};

// ---- the event-log wizard ------------------------------------------------------------------

TEST_F(WizardTest, EventLogLoadsItsSettings) {
    struct Case {
        const char* name;
        std::vector<Seed> seeds;
        int selection;
        int count;
        int choice;
        int details;
        SPageNumbering pages;
    } cases[] = {
        {"no key", {}, 0, 10, 0, 0, {0, 0, 0}},
        {"stored Selected without a selection",
         {{L"ShowDescription", REG_DWORD, 1, nullptr},
          {L"OutputRecord", REG_DWORD, 1, nullptr},
          {L"FormatSettings", REG_DWORD, 5, nullptr}},
         0,
         10,
         0,
         1,
         {1, 0, 1}},
        {"stored Selected with a selection", {{L"OutputRecord", REG_DWORD, 1, nullptr}}, 1, 10, 1, 0, {0, 0, 0}},
        {"choice 7 ignored, top kept without numbering",
         {{L"OutputRecord", REG_DWORD, 7, nullptr}, {L"FormatSettings", REG_DWORD, 2, nullptr}},
         1,
         10,
         0,
         0,
         {0, 1, 0}},
        {"Range",
         {{L"OutputRecord", REG_DWORD, 2, nullptr}, {L"FormatSettings", REG_DWORD, 7, nullptr}},
         0,
         0,
         2,
         0,
         {1, 1, 1}},
        {"View", {{L"OutputRecord", REG_DWORD, 3, nullptr}}, 0, 3, 3, 0, {0, 0, 0}},
        {"values of another type",
         {{L"ShowDescription", REG_SZ, 0, L"1"},
          {L"OutputRecord", REG_SZ, 0, L"2"},
          {L"FormatSettings", REG_SZ, 0, L"7"}},
         0,
         10,
         0,
         0,
         {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SeedKey(kEventLogSettingsKey, c.seeds);
        m_ps.OnDialog<CDlgEventLog>(IDD_EVENTLOG, [&](CDlgEventLog& w) {
            w.ShowWindow(SW_SHOWNA);
            HWND page = w.GetFirstPage()->m_hWnd;
            ::RedrawWindow(w.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            EXPECT_EQ(c.choice, ChoiceShown(page));
            EXPECT_EQ(c.details == 1, Checked(page, IDC_CHECK));
            EXPECT_EQ(L"1", Text(page, IDC_RANGE_START)); // the range is never restored
            EXPECT_EQ(std::to_wstring(c.count), Text(page, IDC_RANGE_END));
            EXPECT_EQ(c.choice == 2, Enabled(page, IDC_RANGE_START));
            EXPECT_EQ(c.choice == 2, Enabled(page, IDC_RANGE_END));
            EXPECT_EQ(c.selection != 0, ::IsWindowVisible(Item(page, IDC_RADIO_SELECTED)) != FALSE);
            EXPECT_EQ(c.pages.nPresent, w.GetPageNumbering().nPresent);
            EXPECT_EQ(c.pages.nLocation, w.GetPageNumbering().nLocation);
            EXPECT_EQ(c.pages.nAllPagesNum, w.GetPageNumbering().nAllPagesNum);
            EXPECT_EQ(L"Далее >>", Text(w.m_hWnd, IDC_NEXT));
            EXPECT_FALSE(Enabled(w.m_hWnd, IDC_BACK));
            EXPECT_TRUE(Enabled(w.m_hWnd, IDC_NEXT));
            // Other choices before cancelling: nothing of them is saved.
            Click(page, IDC_RADIO_VIEW);
            Click(page, IDC_CHECK);
            Click(w.m_hWnd, IDC_CANCEL_WIZARD);
        });
        CDlgEventLog wizard;
        wizard.SetSelectionPresent(c.selection);
        wizard.SetRecordCount(c.count);
        EXPECT_EQ(IDCANCEL, wizard.DoModal());
        // Cancel saves nothing and makes no key.
        EXPECT_EQ(!c.seeds.empty(), KeyExists(kEventLogSettingsKey));
        for (const Seed& s : c.seeds)
            EXPECT_EQ(s.type == REG_DWORD ? (long long)s.number : -1, ReadDword(kEventLogSettingsKey, s.name));
    }
}

TEST_F(WizardTest, EventLogConfirmedSavesTheChoicesAndTheNumbering) {
    SeedKey(kEventLogSettingsKey, {{L"FormatSettings", REG_DWORD, 0, nullptr}});
    std::wstring report = Report(L"eventlog.rtf");
    m_ps.OnDialog<CDlgSettings>(IDD_SETTINGS, [&](CDlgSettings& s) {
        Click(s.m_hWnd, IDC_NUMBERING);
        Click(s.m_hWnd, IDC_TOP);
        Click(s.m_hWnd, IDC_TOTAL);
        s.OnOK();
    });
    m_ps.OnDialog<CDlgEventLog>(IDD_EVENTLOG, [&](CDlgEventLog& w) {
        HWND page = w.GetFirstPage()->m_hWnd;
        Click(page, IDC_RADIO_VIEW);
        Click(page, IDC_CHECK);
        Click(w.m_hWnd, IDC_ADVANCED);
        Click(w.m_hWnd, IDC_NEXT);
        EXPECT_TRUE(w.IsFilePageShown());
        EXPECT_FALSE(::IsWindowVisible(page));
        EXPECT_EQ(L"Построить", Text(w.m_hWnd, IDC_NEXT));
        EXPECT_TRUE(Enabled(w.m_hWnd, IDC_BACK));
        // Back and forth keeps the choices.
        Click(w.m_hWnd, IDC_BACK);
        EXPECT_EQ(L"Далее>>", Text(w.m_hWnd, IDC_NEXT));
        EXPECT_EQ(3, ChoiceShown(page));
        Click(w.m_hWnd, IDC_NEXT);
        Type(w.GetFilePage()->m_hWnd, IDC_REPORT_PATH, report.substr(0, report.size() - 4));
        Click(w.m_hWnd, IDC_NEXT);
    });
    CDlgEventLog wizard;
    wizard.SetSelectionPresent(1);
    wizard.SetRecordCount(42);
    ASSERT_EQ(IDOK, wizard.DoModal());
    EXPECT_EQ(3, wizard.GetParams().nRecordChoice);
    EXPECT_EQ(1, wizard.GetParams().nShowDescription);
    EXPECT_EQ(1u, wizard.GetParams().nRangeStart);
    EXPECT_EQ(42u, wizard.GetParams().nRangeEnd);
    EXPECT_EQ(report, wizard.GetReportPath()); // ".rtf" added
    EXPECT_EQ(1, wizard.GetPageNumbering().nPresent);
    EXPECT_EQ(1, wizard.GetPageNumbering().nLocation);
    EXPECT_EQ(1, wizard.GetPageNumbering().nAllPagesNum);
    EXPECT_EQ(1, ReadDword(kEventLogSettingsKey, L"ShowDescription"));
    EXPECT_EQ(3, ReadDword(kEventLogSettingsKey, L"OutputRecord"));
    EXPECT_EQ(7, ReadDword(kEventLogSettingsKey, L"FormatSettings"));
}

TEST_F(WizardTest, RangeCheck) {
    struct Case {
        int count;
        const wchar_t* start;
        const wchar_t* end;
        const wchar_t* message; // null: the file page comes
    } cases[] = {
        {10, L"1", L"10", nullptr},
        {10, L"10", L"10", nullptr},
        {1, L"1", L"1", nullptr},
        {2147483647, L"1", L"2147483647", nullptr},
        {0, L"1", L"0", L"Неверные границы диапазона."}, // no records: Range always fails
        {0, L"0", L"0", L"Неверные границы диапазона."},
        {10, L"5", L"3", L"Неверные границы диапазона."},
        {10, L"0", L"3", L"Неверные границы диапазона."},
        {10, L"1", L"11", L"Неверные границы диапазона."},
        {10, L"1", L"4294967295", L"Неверные границы диапазона."}, // unsigned, not -1
        {-3, L"1", L"1", L"Неверные границы диапазона."},          // a negative count is none
        {10, L"1", L"4294967296", L"Введите положительное целое число."},
        {10, L"-1", L"5", L"Введите положительное целое число."},
        {10, L"x", L"5", L"Введите положительное целое число."},
        {10, L"", L"5", L"Введите положительное целое число."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " " << c.start << ".." << c.end);
        m_ps.Clear();
        bool leftPage = false;
        m_ps.OnDialog<CDlgEventLog>(IDD_EVENTLOG, [&](CDlgEventLog& w) {
            HWND page = w.GetFirstPage()->m_hWnd;
            Click(page, IDC_RADIO_RANGE);
            Type(page, IDC_RANGE_START, c.start);
            Type(page, IDC_RANGE_END, c.end);
            Click(w.m_hWnd, IDC_NEXT);
            leftPage = w.IsFilePageShown();
            Click(w.m_hWnd, IDC_CANCEL_WIZARD);
        });
        CDlgEventLog wizard;
        wizard.SetRecordCount(c.count);
        EXPECT_EQ(IDCANCEL, wizard.DoModal());
        auto boxes = m_ps.Boxes();
        if (!c.message) {
            EXPECT_TRUE(leftPage);
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_FALSE(leftPage);
            ASSERT_EQ(1u, boxes.size());
            EXPECT_EQ(c.message, boxes[0].text);
            if (boxes[0].text == L"Неверные границы диапазона.") {
                EXPECT_EQ(L"Сообщение", boxes[0].caption);
                EXPECT_EQ((UINT)MB_ICONERROR, boxes[0].type & MB_ICONMASK);
            }
        }
    }
}

// ---- the board-access wizard ---------------------------------------------------------------

TEST_F(WizardTest, VarnoLoadsAndSavesShowAll) {
    struct Case {
        std::vector<Seed> seeds;
        bool checked;
        int toggle; // click the check box first
        DWORD saved;
    } cases[] = {
        {{}, false, 0, 0},
        {{{L"ShowAll", REG_DWORD, 1, nullptr}, {L"FormatSettings", REG_DWORD, 3, nullptr}}, true, 0, 1},
        {{{L"ShowAll", REG_DWORD, 1, nullptr}}, true, 1, 0},
        {{{L"ShowAll", REG_SZ, 0, L"1"}}, false, 1, 1},
    };
    for (const Case& c : cases) {
        SeedKey(kVarnoSettingsKey, c.seeds);
        SPageNumbering pages = {};
        m_ps.OnDialog<CDlgVarno>(IDD_VARNO, [&](CDlgVarno& w) {
            HWND page = w.GetFirstPage()->m_hWnd;
            EXPECT_EQ(c.checked, Checked(page, IDC_CHECK));
            if (c.toggle)
                Click(page, IDC_CHECK);
            pages = w.GetPageNumbering();
            Click(w.m_hWnd, IDC_NEXT);
            Type(w.GetFilePage()->m_hWnd, IDC_REPORT_PATH, Report(L"varno.rtf"));
            Click(w.m_hWnd, IDC_NEXT);
        });
        CDlgVarno wizard;
        ASSERT_EQ(IDOK, wizard.DoModal());
        EXPECT_EQ((int)c.saved, wizard.GetShowAll());
        EXPECT_EQ((long long)c.saved, ReadDword(kVarnoSettingsKey, L"ShowAll"));
        EXPECT_EQ((long long)PageNumberingToSettings(pages), ReadDword(kVarnoSettingsKey, L"FormatSettings"));
    }
}

// The board-access wizard does not follow the report file page's state: with an empty path Build
// stays on and confirms the completed path, the documents folder followed by "\.rtf". The event-log
// wizard does follow it: an empty path or a folder turns Build off, and Enter does nothing.
TEST_F(WizardTest, EmptyPathTurnsBuildOffExceptInTheBoardAccessWizard) {
    wchar_t documents[MAX_PATH] = {};
    ASSERT_HRESULT_SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents));
    m_ps.OnDialog<CDlgVarno>(IDD_VARNO, [&](CDlgVarno& w) {
        Click(w.m_hWnd, IDC_NEXT);
        HWND file = w.GetFilePage()->m_hWnd;
        Type(file, IDC_REPORT_PATH, L"C:\\reports\\");
        EXPECT_TRUE(Enabled(w.m_hWnd, IDC_NEXT));
        Type(file, IDC_REPORT_PATH, L"");
        EXPECT_TRUE(Enabled(w.m_hWnd, IDC_NEXT));
        Click(w.m_hWnd, IDC_NEXT);
    });
    CDlgVarno varno;
    ASSERT_EQ(IDOK, varno.DoModal());
    EXPECT_EQ(std::wstring(documents) + L"\\.rtf", varno.GetReportPath());

    m_ps.OnDialog<CDlgEventLog>(IDD_EVENTLOG, [&](CDlgEventLog& w) {
        Click(w.m_hWnd, IDC_NEXT);
        HWND file = w.GetFilePage()->m_hWnd;
        Type(file, IDC_REPORT_PATH, L"");
        EXPECT_FALSE(Enabled(w.m_hWnd, IDC_NEXT));
        ::SendMessageW(w.m_hWnd, WM_COMMAND, IDOK, 0); // Enter
        ::SendMessageW(w.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), (LPARAM)Item(w.m_hWnd, IDC_NEXT));
        EXPECT_FALSE(w.IsEnded());
        Type(file, IDC_REPORT_PATH, L"C:\\reports\\");
        EXPECT_FALSE(Enabled(w.m_hWnd, IDC_NEXT));
        // Back gives Next again, whatever the path.
        Click(w.m_hWnd, IDC_BACK);
        EXPECT_TRUE(Enabled(w.m_hWnd, IDC_NEXT));
        Click(w.m_hWnd, IDC_NEXT);
        EXPECT_FALSE(Enabled(w.m_hWnd, IDC_NEXT));
        Click(w.m_hWnd, IDC_CANCEL_WIZARD);
    });
    CDlgEventLog eventLog;
    EXPECT_EQ(IDCANCEL, eventLog.DoModal());
    EXPECT_FALSE(KeyExists(kEventLogSettingsKey));
}

// ---- the one-page wizards ------------------------------------------------------------------

TEST_F(WizardTest, PassportAndResourcesHaveOnlyTheFilePage) {
    for (UINT id : {IDD_PASSPORT_WS, IDD_RESOURCES_WS}) {
        SCOPED_TRACE(id);
        std::wstring report = Report(id == IDD_PASSPORT_WS ? L"passport" : L"resources");
        m_ps.OnDialog(id, [&](CDialog& d) {
            auto& w = dynamic_cast<CReportWizard&>(d);
            // The frame knows the default path is good without waiting for the page.
            EXPECT_TRUE(Enabled(w.m_hWnd, IDC_NEXT));
            EXPECT_EQ(L"Построить", Text(w.m_hWnd, IDC_NEXT));
            EXPECT_FALSE(Enabled(w.m_hWnd, IDC_BACK));
            EXPECT_TRUE(w.IsFilePageShown());
            EXPECT_EQ(BS_DEFPUSHBUTTON, ::GetWindowLongW(Item(w.m_hWnd, IDC_NEXT), GWL_STYLE) & BS_TYPEMASK);
            HWND file = w.GetFilePage()->m_hWnd;
            Type(file, IDC_REPORT_PATH, L"");
            EXPECT_FALSE(Enabled(w.m_hWnd, IDC_NEXT));
            Type(file, IDC_REPORT_PATH, report);
            EXPECT_TRUE(Enabled(w.m_hWnd, IDC_NEXT));
            Click(w.m_hWnd, IDC_NEXT);
        });
        if (id == IDD_PASSPORT_WS) {
            CDlgPassportWS wizard;
            ASSERT_EQ(IDOK, wizard.DoModal());
            EXPECT_EQ(report + L".rtf", wizard.GetReportPath());
            SPassportDetails details = wizard.GetDetails();
            EXPECT_STREQ(L"", details.szDivision);
            EXPECT_STREQ(L"", details.szChiefDivisionSupport);
            EXPECT_EQ(1, wizard.GetPageNumbering().nPresent);
            EXPECT_EQ(0, wizard.GetPageNumbering().nLocation);
            EXPECT_EQ(0, wizard.GetPageNumbering().nAllPagesNum);
        } else {
            CDlgResourcesWS wizard;
            ASSERT_EQ(IDOK, wizard.DoModal());
            EXPECT_EQ(report + L".rtf", wizard.GetReportPath());
            for (int i = 0; i < 18; ++i)
                EXPECT_EQ(i == 11 || i == 12 ? 1 : 0, wizard.GetFilter().nFlags[i]) << i;
            EXPECT_EQ(1, wizard.GetPageNumbering().nPresent);
        }
    }
    // Neither touches the registry.
    EXPECT_FALSE(KeyExists(kEventLogSettingsKey));
    EXPECT_FALSE(KeyExists(kVarnoSettingsKey));
}

// A report file in a folder that is not there is refused at Build, with the folder, the code and
// the system's reason, and the wizard stays open; the same in a folder that is there is taken.
TEST_F(WizardTest, BuildRefusesAReportFileInAMissingFolder) {
    const std::wstring missing = Report(L"no such folder");
    ::RemoveDirectoryW(missing.c_str());
    struct Case {
        UINT id;
        bool twoPages;
    } cases[] = {{IDD_PASSPORT_WS, false}, {IDD_RESOURCES_WS, false}, {IDD_VARNO, true}, {IDD_EVENTLOG, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        m_ps.Clear();
        bool endedOnMissing = true;
        m_ps.OnDialog(c.id, [&](CDialog& d) {
            auto& w = dynamic_cast<CReportWizard&>(d);
            if (c.twoPages)
                Click(w.m_hWnd, IDC_NEXT);
            HWND file = w.GetFilePage()->m_hWnd;
            Type(file, IDC_REPORT_PATH, missing + L"\\report");
            Click(w.m_hWnd, IDC_NEXT);
            endedOnMissing = w.IsEnded() != FALSE;
            EXPECT_TRUE(w.IsFilePageShown());
            Type(file, IDC_REPORT_PATH, Report(L"report"));
            Click(w.m_hWnd, IDC_NEXT);
        });
        std::unique_ptr<CReportWizard> wizard;
        switch (c.id) {
        case IDD_PASSPORT_WS:
            wizard.reset(new CDlgPassportWS);
            break;
        case IDD_RESOURCES_WS:
            wizard.reset(new CDlgResourcesWS);
            break;
        case IDD_VARNO:
            wizard.reset(new CDlgVarno);
            break;
        default:
            wizard.reset(new CDlgEventLog);
            break;
        }
        ASSERT_EQ(IDOK, wizard->DoModal());
        EXPECT_FALSE(endedOnMissing);
        EXPECT_EQ(Report(L"report") + L".rtf", wizard->GetReportPath());
        auto boxes = m_ps.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ((UINT)(MB_OK | MB_ICONERROR), boxes[0].type);
        EXPECT_EQ(0u, boxes[0].text.find(L"Папка для файла отчета не найдена:\n" + missing + L"\n\n[0x00000003] "))
            << std::string(boxes[0].text.begin(), boxes[0].text.end());
    }
    ClearKey(kEventLogSettingsKey);
    ClearKey(kVarnoSettingsKey);
}

// ---- the page-numbering dialog -------------------------------------------------------------

TEST_F(WizardTest, PageNumberingDialog) {
    struct Case {
        const char* name;
        SPageNumbering in;
        bool numbering, top, bottom, total; // as shown
        std::vector<int> clicks;
        bool ok;
        SPageNumbering out;
    } cases[] = {
        {"location 2 is the bottom", {0, 2, 0}, false, false, true, false, {}, true, {0, 0, 0}},
        {"top with total", {1, 1, 1}, true, true, false, true, {}, true, {1, 1, 1}},
        {"numbering off keeps the position", {1, 1, 1}, true, true, false, true, {IDC_NUMBERING}, true, {0, 1, 0}},
        {"numbering off at the bottom", {1, 0, 1}, true, false, true, true, {IDC_NUMBERING}, true, {0, 0, 0}},
        {"everything on", {0, 0, 0}, false, false, true, false, {IDC_NUMBERING, IDC_TOP, IDC_TOTAL}, true, {1, 1, 1}},
        {"cancel leaves the record", {1, 1, 1}, true, true, false, true, {IDC_BOTTOM, IDC_NUMBERING}, false, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SPageNumbering record = c.in;
        m_ps.OnDialog<CDlgSettings>(IDD_SETTINGS, [&](CDlgSettings& s) {
            HWND h = s.m_hWnd;
            EXPECT_EQ(c.numbering, Checked(h, IDC_NUMBERING));
            EXPECT_EQ(c.top, Checked(h, IDC_TOP));
            EXPECT_EQ(c.bottom, Checked(h, IDC_BOTTOM));
            EXPECT_EQ(c.total, Checked(h, IDC_TOTAL));
            EXPECT_EQ(c.numbering, Enabled(h, IDC_TOP));
            EXPECT_EQ(c.numbering, Enabled(h, IDC_BOTTOM));
            EXPECT_EQ(c.numbering, Enabled(h, IDC_TOTAL));
            for (int id : c.clicks)
                Click(h, id);
            if (c.ok)
                s.OnOK();
            else
                s.OnCancel();
        });
        CDlgSettings dlg(&record);
        EXPECT_EQ(c.ok ? IDOK : IDCANCEL, dlg.DoModal());
        EXPECT_EQ(c.out.nPresent, record.nPresent);
        EXPECT_EQ(c.out.nLocation, record.nLocation);
        EXPECT_EQ(c.out.nAllPagesNum, record.nAllPagesNum);
    }
}

// ---- ownership -----------------------------------------------------------------------------

// In a module without a main window, a wizard with no parent is owned by the calling thread's
// active window and keeps every window of the thread disabled while it runs.
TEST_F(WizardTest, WizardWithoutParentDisablesTheCallersWindows) {
    HWND main = ::CreateWindowExW(0, L"Static", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    HWND other = ::CreateWindowExW(0, L"Static", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ::SetActiveWindow(main);
    SetTaskModalWithoutOwner(true);
    bool mainEnabled = true, otherEnabled = true, settingsOwnerIsWizard = false, wizardEnabledUnderSettings = true;
    HWND owner = nullptr;
    m_ps.OnDialog<CDlgSettings>(IDD_SETTINGS, [&](CDlgSettings& s) {
        settingsOwnerIsWizard = ::GetWindow(s.m_hWnd, GW_OWNER) != nullptr &&
                                ::GetDlgItem(::GetWindow(s.m_hWnd, GW_OWNER), IDC_BANNER) != nullptr;
        wizardEnabledUnderSettings = ::IsWindowEnabled(::GetWindow(s.m_hWnd, GW_OWNER)) != FALSE;
        s.OnCancel();
    });
    m_ps.OnDialog<CDlgPassportWS>(IDD_PASSPORT_WS, [&](CDlgPassportWS& w) {
        mainEnabled = ::IsWindowEnabled(main) != FALSE;
        otherEnabled = ::IsWindowEnabled(other) != FALSE;
        owner = ::GetWindow(w.m_hWnd, GW_OWNER);
        w.ShowWindow(SW_SHOW);
        ::SetActiveWindow(w.m_hWnd);
        Click(w.m_hWnd, IDC_ADVANCED);
        Click(w.m_hWnd, IDC_CANCEL_WIZARD);
    });
    CDlgPassportWS wizard;
    EXPECT_EQ(IDCANCEL, wizard.DoModal());
    SetTaskModalWithoutOwner(false);
    EXPECT_FALSE(mainEnabled);
    EXPECT_FALSE(otherEnabled);
    EXPECT_EQ(main, owner);
    EXPECT_TRUE(settingsOwnerIsWizard);
    EXPECT_FALSE(wizardEnabledUnderSettings);
    EXPECT_TRUE(::IsWindowEnabled(main));
    EXPECT_TRUE(::IsWindowEnabled(other));
    ::DestroyWindow(other);
    ::DestroyWindow(main);
}

} // namespace
