// KvReportForms64.dll as its callers use it: the export table by name and ordinal, and each export
// called on this test's UI thread while a driver thread finds the wizard window and its controls
// by caption and id, types, clicks through and confirms or cancels. The requests it writes are
// compared with golden files; the caller's file, the main window and the trace are checked too.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "KvReportForms.h"
#include "kvclick.h"
#include "kvtest.h"

namespace {

using KvTest::Env;

std::wstring Tmp(const std::wstring& name) { return Env(L"KV_TEST_TMP") + L"\\" + name; }

using KvTest::Utf8;

using KvTest::WriteBytes;

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The request with the report file's path (which lies in this run's folder) put as "@REPORT@".
std::string RequestText(const std::wstring& requestPath, const std::wstring& reportPath) {
    std::string text = KvTest::ReadBytes(requestPath);
    std::string report = Utf8(reportPath);
    size_t at = text.find(report);
    if (!report.empty() && at != std::string::npos)
        text.replace(at, report.size(), "@REPORT@");
    return text;
}

std::string Golden(const char* name) {
    std::wstring p = Env(L"KV_SOURCE_DIR") + L"\\reportforms\\tests\\golden\\";
    for (const char* c = name; *c; ++c)
        p += (wchar_t)*c;
    std::string golden = KvTest::ReadBytes(p);
    EXPECT_FALSE(golden.empty()) << "missing golden file " << name;
    return golden;
}

// ---- the library, loaded once with its trace written to this run's folder ---------------------

HMODULE g_dll = nullptr;

std::wstring TraceFile() { return Tmp(L"KvReportForms.log"); }

class FormsLibrary : public ::testing::Environment {
public:
    void SetUp() override {
        // The tracer reads its settings when the library loads: function scopes to a file here.
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Meridal\\Kavrel 5\\Trace\\KvReportForms", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            DWORD enable = 0x2, params = 0x1;
            ::RegSetValueExW(key, L"EnableMask", 0, REG_DWORD, (const BYTE*)&enable, sizeof(enable));
            ::RegSetValueExW(key, L"ParamsMask", 0, REG_DWORD, (const BYTE*)&params, sizeof(params));
            ::RegCloseKey(key);
        }
        HKEY common = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Meridal\\Kavrel 5\\Trace", 0, KEY_WRITE, &common) ==
            ERROR_SUCCESS) {
            std::wstring folder = Env(L"KV_TEST_TMP");
            ::RegSetValueExW(common, L"TracePath", 0, REG_SZ, (const BYTE*)folder.c_str(),
                             (DWORD)((folder.size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(common);
        }
        ::DeleteFileW(TraceFile().c_str());
        g_dll = ::LoadLibraryW(L"KvReportForms64.dll");
    }
    void TearDown() override {
        if (g_dll)
            ::FreeLibrary(g_dll);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Meridal\\Kavrel 5\\Trace\\KvReportForms");
        HKEY common = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Meridal\\Kavrel 5\\Trace", 0, KEY_WRITE, &common) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueW(common, L"TracePath");
            ::RegCloseKey(common);
        }
    }
};

const ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new FormsLibrary);

template <class Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(g_dll, name)));
}

// ---- the export table ----------------------------------------------------------------------

TEST(ExportTable, FourFunctionsByNameAndOrdinal) {
    ASSERT_NE(nullptr, g_dll);
    auto* base = reinterpret_cast<const BYTE*>(g_dll);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_STRCASEEQ("KvReportForms64.dll", reinterpret_cast<const char*>(base + exp->Name));
    EXPECT_EQ(1u, exp->Base);
    ASSERT_EQ(4u, exp->NumberOfFunctions);
    ASSERT_EQ(4u, exp->NumberOfNames);
    auto* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    auto* ordinals = reinterpret_cast<const WORD*>(base + exp->AddressOfNameOrdinals);
    struct Expected {
        const char* name;
        WORD ordinal;
    } expected[] = {
        {"KvShowFormEventLog", 1}, {"KvShowFormPassportSW", 2}, {"KvShowFormResourceWS", 3}, {"KvShowFormVarno", 4}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        bool found = false;
        for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
            if (strcmp(reinterpret_cast<const char*>(base + names[i]), e.name) == 0) {
                found = true;
                EXPECT_EQ(e.ordinal, ordinals[i] + exp->Base);
            }
        }
        EXPECT_TRUE(found);
        FARPROC byName = ::GetProcAddress(g_dll, e.name);
        FARPROC byOrdinal = ::GetProcAddress(g_dll, MAKEINTRESOURCEA(e.ordinal));
        EXPECT_NE(nullptr, byName);
        EXPECT_EQ(byName, byOrdinal);
    }
}

// ---- the driver ----------------------------------------------------------------------------

// Works the wizard from another thread, as a user would: windows found by caption, controls by
// id (on the page that is shown), text typed, buttons clicked. What goes wrong is collected and
// checked by the test once the export has returned; a driver that fails cancels the wizard so
// the export always returns.
class CDriver {
public:
    explicit CDriver(std::function<void(CDriver&)> script) : m_script(std::move(script)) {}

    void Start() {
        m_thread = std::thread([this] {
            try {
                m_script(*this);
            } catch (const std::exception& e) {
                Fail(e.what());
                Rescue();
            }
        });
    }
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    ~CDriver() { Join(); }

    std::vector<std::string> m_failures;
    HWND m_wizard = nullptr;

    // A dialog window of this process with the caption, shown and enabled.
    HWND WaitWindow(const std::wstring& caption, bool enabled = true) {
        for (int i = 0; i < 1000; ++i) {
            HWND found = nullptr;
            struct Find {
                const std::wstring* caption;
                HWND* found;
                bool enabled;
            } f = {&caption, &found, enabled};
            ::EnumWindows(
                [](HWND h, LPARAM lp) -> BOOL {
                    auto* f = reinterpret_cast<Find*>(lp);
                    DWORD pid = 0;
                    ::GetWindowThreadProcessId(h, &pid);
                    wchar_t text[256] = {};
                    ::GetWindowTextW(h, text, 256);
                    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(h) && *f->caption == text &&
                        (!f->enabled || ::IsWindowEnabled(h))) {
                        *f->found = h;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&f));
            if (found)
                return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        throw std::runtime_error("no window \"" + Utf8(caption) + "\"");
    }
    HWND WaitWizard(const std::wstring& caption) {
        m_wizard = WaitWindow(caption);
        return m_wizard;
    }

    // A shown control of the window (or of its shown pages) with the id.
    // Closes every dialog of this process, the innermost first, until the wizard is gone, so the
    // export returns after a failed script.
    void Rescue() {
        for (int i = 0; i < 200 && m_wizard && ::IsWindow(m_wizard); ++i) {
            ::EnumWindows(
                [](HWND h, LPARAM) -> BOOL {
                    DWORD pid = 0;
                    ::GetWindowThreadProcessId(h, &pid);
                    wchar_t cls[64] = {};
                    ::GetClassNameW(h, cls, 64);
                    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(h) && ::IsWindowEnabled(h) &&
                        std::wstring(cls) == L"#32770")
                        ::PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                    return TRUE;
                },
                0);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // The page shown in the wizard.
    HWND Page() {
        HWND page = nullptr;
        while ((page = ::FindWindowExW(m_wizard, page, L"#32770", nullptr)))
            if (::IsWindowVisible(page))
                return page;
        throw std::runtime_error("no page shown");
    }
    HWND PageControl(int id) { return Control(Page(), id); }

    HWND Control(HWND top, int id) {
        HWND found = KvTest::ShownControl(top, id);
        if (!found)
            throw std::runtime_error("no shown control " + std::to_string(id));
        return found;
    }
    HWND Control(int id) { return Control(m_wizard, id); }

    std::wstring Text(HWND h) {
        wchar_t text[1024] = {};
        ::SendMessageW(h, WM_GETTEXT, 1024, (LPARAM)text);
        return text;
    }
    void Type(int id, const std::wstring& text) { ::SendMessageW(Control(id), WM_SETTEXT, 0, (LPARAM)text.c_str()); }
    // A key pressed and released in the control that has the focus, through the wizard's loop.
    void Key(UINT vk) {
        GUITHREADINFO info = {sizeof(info)};
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(m_wizard, nullptr), &info);
        HWND focus = info.hwndFocus ? info.hwndFocus : m_wizard;
        ::PostMessageW(focus, WM_KEYDOWN, vk, 1);
        ::PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
    }
    // A click as a person's: a hidden or disabled control takes none, and the case fails.
    void Click(HWND top, int id) {
        Expect(KvTest::Click(Control(top, id)), "control " + std::to_string(id) + " refused the click");
    }
    void Click(int id) { Click(m_wizard, id); }
    // A click whose handler runs a modal dialog: posted, so the driver is not held until it ends.
    void ClickAsync(int id) {
        HWND h = Control(id);
        if (KvTest::Visible(h) && KvTest::Enabled(h))
            ::PostMessageW(h, BM_CLICK, 0, 0);
        else
            Fail("control " + std::to_string(id) + " refused the click");
    }
    bool Enabled(int id) { return KvTest::Enabled(Control(id)); }
    void Expect(bool ok, const std::string& what) {
        if (!ok)
            Fail(what);
    }
    void Fail(const std::string& what) { m_failures.push_back(what); }

    // A message box: its text, after which it is answered with OK.
    std::wstring AnswerMessage(const std::wstring& caption) {
        HWND box = WaitWindow(caption);
        std::wstring text;
        HWND item = nullptr;
        while ((item = ::FindWindowExW(box, item, L"Static", nullptr)))
            if (!Text(item).empty())
                text = Text(item);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 500 && ::IsWindow(box); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return text;
    }

private:
    std::function<void(CDriver&)> m_script;
    std::thread m_thread;
};

#define DRIVER_OK(d)                                                                                                   \
    do {                                                                                                               \
        (d).Join();                                                                                                    \
        for (const std::string& f : (d).m_failures)                                                                    \
            ADD_FAILURE() << f;                                                                                        \
    } while (0)

const wchar_t kPassportCaption[] = L"Паспорт ПО";
const wchar_t kResourcesCaption[] = L"Ресурсы рабочей станции";
const wchar_t kEventLogCaption[] = L"Отчет - \"Журнал событий\"";
const wchar_t kVarnoCaption[] = L"Отчет - \"Допуск пользователей к ПАК “Varno” \"";

const int kPath = 1026, kBrowse = 1027, kAdvanced = 1019, kBack = 1022, kNext = 1023, kCancel = 1024;

// The program's main window on this thread: the wizard must keep it disabled while it runs.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, g_dll);
        m_main = ::CreateWindowExW(0, L"Static", L"main window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                   nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_main);
        ::SetActiveWindow(m_main);
    }
    void TearDown() override {
        EXPECT_TRUE(::IsWindowEnabled(m_main)) << "the main window stays disabled";
        ::DestroyWindow(m_main);
    }
    // Checked by the driver while the wizard is up.
    void ExpectOwnedAndMainDisabled(CDriver& d) {
        d.Expect(!::IsWindowEnabled(m_main), "the main window is enabled under the wizard");
        d.Expect(::GetWindow(d.m_wizard, GW_OWNER) == m_main, "the wizard is not owned by the main window");
    }
    HWND m_main = nullptr;
};

TEST_F(ExportTest, PassportConfirmedWritesTheRequest) {
    std::wstring request = Tmp(L"passport-request.xml");
    std::wstring report = Tmp(L"passport-report.rtf");
    WriteBytes(request, ""); // the caller's empty temporary file
    CDriver d([&](CDriver& d) {
        d.WaitWizard(kPassportCaption);
        ExpectOwnedAndMainDisabled(d);
        d.Expect(d.Text(d.Control(kNext)) == L"Построить", "the button is not Build");
        d.Expect(!d.Enabled(kBack), "Back is enabled");
        std::wstring initial = d.Text(d.Control(kPath));
        d.Expect(initial.size() > 8 && initial.substr(initial.size() - 4) == L".rtf" &&
                     initial.find(L"\\rep") != std::wstring::npos,
                 "default report name " + Utf8(initial));
        d.Expect(d.Enabled(kNext), "Build is disabled with the default name");
        d.Type(kPath, Tmp(L"passport-report")); // completed with ".rtf"
        d.Click(kNext);
    });
    d.Start();
    auto show = Export<PFN_KvShowFormPassportSW>("KvShowFormPassportSW");
    int r = show(1, L"task-7", request.c_str(), L"WS-01");
    DRIVER_OK(d);
    EXPECT_EQ(0, r);
    EXPECT_EQ(Golden("export_passport.xml"), RequestText(request, report));
}

TEST_F(ExportTest, ResourcesConfirmedAsksForTheJobsAndTheirResources) {
    std::wstring request = Tmp(L"resources-request.xml");
    std::wstring report = Tmp(L"resources-report.rtf");
    CDriver d([&](CDriver& d) {
        d.WaitWizard(kResourcesCaption);
        ExpectOwnedAndMainDisabled(d);
        d.Type(kPath, L"");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        d.Expect(!d.Enabled(kNext), "Build is enabled with an empty path");
        d.Type(kPath, report + L"\\");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        d.Expect(!d.Enabled(kNext), "Build is enabled with a folder path");
        d.Type(kPath, report);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        d.Expect(d.Enabled(kNext), "Build is disabled with a path");
        d.Key(VK_RETURN); // Build is the default button
    });
    d.Start();
    int r = Export<PFN_KvShowFormResourceWS>("KvShowFormResourceWS")(1, L"", request.c_str(), L"WS-01");
    DRIVER_OK(d);
    EXPECT_EQ(0, r);
    EXPECT_EQ(Golden("export_resources.xml"), RequestText(request, report));
}

TEST_F(ExportTest, EventLogRangeWithPageNumbering) {
    std::wstring request = Tmp(L"eventlog-request.xml");
    std::wstring report = Tmp(L"eventlog-report.rtf");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Meridal\\Kavrel 5\\Report\\EventLog");
    CDriver d([&](CDriver& d) {
        d.WaitWizard(kEventLogCaption);
        ExpectOwnedAndMainDisabled(d);
        d.Expect(d.Text(d.Control(kNext)) == L"Далее >>", "the button is not Next");
        d.Expect(!d.Enabled(kBack), "Back is enabled on the first page");
        HWND page = d.Page();
        d.Expect(d.Text(d.Control(page, 1026)) == L"1" && d.Text(d.Control(page, 1027)) == L"100",
                 "the range is not 1 to 100");
        d.Expect(!::IsWindowEnabled(d.Control(page, 1026)), "the range fields are enabled for All");
        d.Click(page, 1019); // Range
        d.Expect(::IsWindowEnabled(d.Control(page, 1026)) && ::IsWindowEnabled(d.Control(page, 1027)),
                 "the range fields are disabled for Range");
        d.Type(1026, L"10");
        d.Type(1027, L"20");
        d.Click(page, 1015); // details
        // Page numbering: on, at the top, with the total.
        d.ClickAsync(kAdvanced);
        HWND settings = d.WaitWindow(L"Дополнительно");
        d.Expect(!::IsWindowEnabled(d.m_wizard), "the wizard is enabled under the page-numbering dialog");
        d.Click(settings, 1015);
        d.Click(settings, 1016);
        d.Click(settings, 1018);
        d.Click(settings, IDOK);
        d.WaitWizard(kEventLogCaption);
        d.Click(kNext);
        d.Expect(d.Text(d.Control(kNext)) == L"Построить", "the button is not Build on the file page");
        d.Expect(d.Enabled(kBack), "Back is disabled on the file page");
        d.Type(kPath, report);
        d.Click(kNext);
    });
    d.Start();
    int r = Export<PFN_KvShowFormEventLog>("KvShowFormEventLog")(0, L"log-3", request.c_str(), L"WS-02", 1, 100);
    DRIVER_OK(d);
    EXPECT_EQ(0, r);
    EXPECT_EQ(Golden("export_eventlog.xml"), RequestText(request, report));
}

TEST_F(ExportTest, EventLogRangeCheckKeepsTheFirstPage) {
    std::wstring request = Tmp(L"eventlog-range.xml");
    WriteBytes(request, "keep");
    struct Case {
        int count;
        const wchar_t* start;
        const wchar_t* end;
    } cases[] = {
        {0, L"1", L"0"},                             // no records: every range fails
        {0, L"0", L"0"},           {10, L"5", L"3"}, // start after end
        {10, L"0", L"5"},                            // records count from 1
        {10, L"1", L"11"},                           // beyond the records
        {10, L"1", L"4294967295"},                   // the largest unsigned number is a number, and too large
        {-5, L"1", L"1"},                            // a negative count is no records
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        CDriver d([&](CDriver& d) {
            d.WaitWizard(kEventLogCaption);
            d.Click(d.Page(), 1019); // Range
            d.Type(1026, c.start);
            d.Type(1027, c.end);
            d.ClickAsync(kNext);
            d.Expect(d.AnswerMessage(L"Сообщение") == L"Неверные границы диапазона.", "no range message");
            HWND w = d.WaitWizard(kEventLogCaption);
            d.Expect(d.Text(d.Control(w, kNext)) == L"Далее >>", "the first page was left");
            d.Click(kCancel);
        });
        d.Start();
        int r = Export<PFN_KvShowFormEventLog>("KvShowFormEventLog")(0, L"", request.c_str(), L"WS", 0, c.count);
        DRIVER_OK(d);
        EXPECT_EQ(1, r);
    }
    EXPECT_EQ("keep", KvTest::ReadBytes(request));
}

TEST_F(ExportTest, VarnoShowAllWorkstations) {
    std::wstring request = Tmp(L"varno-request.xml");
    std::wstring report = Tmp(L"varno-report.rtf");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Meridal\\Kavrel 5\\Report\\Varno");
    CDriver d([&](CDriver& d) {
        d.WaitWizard(kVarnoCaption);
        ExpectOwnedAndMainDisabled(d);
        d.Click(d.Page(), 1015);
        d.Click(kNext);
        // This wizard does not follow the path's state: an empty path leaves Build enabled.
        d.Type(kPath, L"");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        d.Expect(d.Enabled(kNext), "Build is disabled with an empty path");
        d.Click(kBack);
        d.Expect(d.Enabled(kNext) && d.Text(d.Control(kNext)) == L"Далее>>", "Next after Back");
        d.Click(kNext);
        d.Type(kPath, report);
        d.Click(kNext);
    });
    d.Start();
    int r = Export<PFN_KvShowFormVarno>("KvShowFormVarno")(L"varno-1", request.c_str());
    DRIVER_OK(d);
    EXPECT_EQ(0, r);
    EXPECT_EQ(Golden("export_varno.xml"), RequestText(request, report));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Meridal\\Kavrel 5\\Report\\Varno", 0, KEY_READ, &key));
    DWORD value = 0, size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(key, L"ShowAll", nullptr, nullptr, (BYTE*)&value, &size));
    EXPECT_EQ(1u, value);
    ::RegCloseKey(key);
}

// Cancel, Esc and the close box return 1 and leave the caller's file as it was.
TEST_F(ExportTest, CancelledWizardsWriteNothing) {
    std::wstring request = Tmp(L"cancel-request.xml");
    WriteBytes(request, "the caller's file");
    struct Case {
        const wchar_t* caption;
        std::function<int()> call;
    } cases[] = {
        {kPassportCaption,
         [&] { return Export<PFN_KvShowFormPassportSW>("KvShowFormPassportSW")(1, L"", request.c_str(), L"WS"); }},
        {kResourcesCaption,
         [&] { return Export<PFN_KvShowFormResourceWS>("KvShowFormResourceWS")(1, L"", request.c_str(), L"WS"); }},
        {kEventLogCaption,
         [&] { return Export<PFN_KvShowFormEventLog>("KvShowFormEventLog")(1, L"", request.c_str(), L"WS", 1, 5); }},
        {kVarnoCaption, [&] { return Export<PFN_KvShowFormVarno>("KvShowFormVarno")(L"", request.c_str()); }},
    };
    const char* ways[] = {"button", "escape", "close"};
    for (const Case& c : cases) {
        for (const char* way : ways) {
            SCOPED_TRACE(Utf8(c.caption) + " " + way);
            CDriver d([&](CDriver& d) {
                d.WaitWizard(c.caption);
                std::string w = way;
                if (w == "button")
                    d.Click(kCancel);
                else if (w == "escape")
                    d.Key(VK_ESCAPE);
                else
                    ::PostMessageW(d.m_wizard, WM_CLOSE, 0, 0);
            });
            d.Start();
            EXPECT_EQ(1, c.call());
            DRIVER_OK(d);
        }
    }
    EXPECT_EQ("the caller's file", KvTest::ReadBytes(request));
}

TEST_F(ExportTest, UnwritableRequestPathReturnsTheError) {
    std::wstring request = Tmp(L"no such folder\\request.xml");
    CDriver d([&](CDriver& d) {
        d.WaitWizard(kPassportCaption);
        d.Type(kPath, Tmp(L"unwritten.rtf"));
        d.Click(kNext);
    });
    d.Start();
    int r = Export<PFN_KvShowFormPassportSW>("KvShowFormPassportSW")(1, L"", request.c_str(), L"WS");
    DRIVER_OK(d);
    EXPECT_NE(0, r);
    EXPECT_NE(1, r);
    EXPECT_TRUE(FAILED((HRESULT)r)) << std::hex << r;
    EXPECT_FALSE(FileExists(request));
}

// No request path: nothing to write, nothing shown.
TEST_F(ExportTest, MissingRequestPathIsRefusedAtOnce) {
    EXPECT_EQ(E_INVALIDARG, Export<PFN_KvShowFormVarno>("KvShowFormVarno")(L"", nullptr));
    EXPECT_EQ(E_INVALIDARG, Export<PFN_KvShowFormPassportSW>("KvShowFormPassportSW")(1, L"", L"", L"WS"));
}

// The function scopes and the computer name in the trace; the board-access form has no computer
// name to trace.
TEST_F(ExportTest, TraceNamesEachCallAndTheComputer) {
    std::wstring request = Tmp(L"trace-request.xml");
    auto cancel = [](const wchar_t* caption) {
        return [caption](CDriver& d) {
            d.WaitWizard(caption);
            d.Click(kCancel);
        };
    };
    CDriver passport(cancel(kPassportCaption));
    passport.Start();
    EXPECT_EQ(1, Export<PFN_KvShowFormPassportSW>("KvShowFormPassportSW")(1, L"", request.c_str(), L"WS-TRACE"));
    DRIVER_OK(passport);
    CDriver varno(cancel(kVarnoCaption));
    varno.Start();
    EXPECT_EQ(1, Export<PFN_KvShowFormVarno>("KvShowFormVarno")(L"", request.c_str()));
    DRIVER_OK(varno);

    std::string trace = KvTest::ReadBytes(TraceFile());
    ASSERT_FALSE(trace.empty()) << "no trace file";
    size_t at = trace.rfind("KvShowFormPassportSW(KvReportForms#");
    ASSERT_NE(std::string::npos, at);
    EXPECT_NE(std::string::npos, trace.find("szComputerName:WS-TRACE", at));
    size_t varnoAt = trace.rfind("KvShowFormVarno(KvReportForms#");
    ASSERT_NE(std::string::npos, varnoAt);
    EXPECT_GT(varnoAt, at);
    // The Varno scope, up to its closing brace, names no computer.
    size_t end = trace.find("}", varnoAt);
    ASSERT_NE(std::string::npos, end);
    EXPECT_EQ(std::string::npos, trace.substr(varnoAt, end - varnoAt).find("szComputerName"));
}

} // namespace
