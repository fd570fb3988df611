// The report window and the report commands on the display: the real main frame and report window
// made from the program's resources, a stand-in wizard that writes real requests, stand-in
// plug-ins (ReportDouble.cpp) loaded from folders of their own, and the real report builder.
#include <gtest/gtest.h>

#include "AnchorLayout.h"
#include "DaVIdevaRez.h"
#include "FrameTestSupport.h"
#include "KvReportBuilder.h"
#include "MainFrm.h"
#include "ReportRequest.h"
#include "ReportServices.h"
#include "WndLongOp.h"
#include "kvtest.h"
#include "kvcmdui.h"
#include "resource.h"

#include <VoRurod.h>
#include <valkit.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

CDaVIdevaRezApp theApp;

namespace {

using KvTest::Env;

std::wstring Tmp(const wchar_t* name) { return Env(L"KV_TEST_TMP") + L"\\" + name; }

bool Exists(const std::wstring& path) {
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

using KvTest::Utf8;

std::wstring Wide(const std::string& s) {
    std::wstring out(::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), nullptr, 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), &out[0], (int)out.size());
    return out;
}

// The outcome text of a failed run: the code and the error object's text for it.
std::wstring ErrorText(int code) {
    return format_wstring(L"Процесс завершен с ошибкой [0x%08X]\n%s", (unsigned)code,
                          KvBase::CVoRurod(code).GetMessageString().c_str());
}

// Waits until the thread's queue gets a message, or 5 ms at most (what another thread changes
// without a message is looked at again then).
void WaitForMessages() { ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT); }

// Keeps the windows answering for the whole interval.
void PumpFor(DWORD ms) {
    DWORD end = ::GetTickCount() + ms;
    do {
        KvUi::PumpWaitingMessages();
        WaitForMessages();
    } while ((LONG)(end - ::GetTickCount()) > 0);
}

// Dispatches what the thread's queue holds (posted messages, paints, input, and what their
// handling posts in turn) until nothing more is waiting.
void PumpIdle() {
    for (int i = 0; i < 1000 && ::GetQueueStatus(QS_ALLINPUT) != 0; ++i)
        KvUi::PumpWaitingMessages();
    KvUi::PumpWaitingMessages();
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms = 30000) {
    DWORD end = ::GetTickCount() + ms;
    while (!done()) {
        if ((LONG)(end - ::GetTickCount()) <= 0)
            return false;
        KvUi::PumpWaitingMessages();
        WaitForMessages();
    }
    KvUi::PumpWaitingMessages();
    return true;
}

// ---- the stand-in wizard ---------------------------------------------------------------------

struct SWizard {
    int result = 0;          // what the form returns; 0 writes the request
    std::wstring reportFile; // the report file the "user" chose
    std::wstring kind;       // a report kind written over the form's own (empty: keep it)
    int calls = 0;
    std::wstring lastRequest; // the request file the form was given
    std::wstring lastComputer;
} g_wizard;

int WriteRequest(bool passport, const wchar_t* requestPath) {
    HRESULT hr;
    if (passport) {
        SPassportDetails details = {L"", L"", L"", L"", L"", L"", L""};
        hr = BuildPassportRequest(details, SPageNumbering{1, 0, 1}, g_wizard.reportFile.c_str(), 1, L"", requestPath);
    } else {
        SResourceFilter filter = {};
        hr = BuildResourceRequest(filter, SPageNumbering{1, 0, 1}, g_wizard.reportFile.c_str(), 1, L"", requestPath);
    }
    if (FAILED(hr))
        return hr;
    if (!g_wizard.kind.empty()) {
        std::string text = KvTest::ReadBytes(requestPath);
        std::string from = passport ? "reportTitle=\"PassportSW\"" : "reportTitle=\"ResourceWS\"";
        size_t at = text.find(from);
        if (at != std::string::npos)
            text.replace(at, from.size(), "reportTitle=\"" + Utf8(g_wizard.kind) + "\"");
        HANDLE h = ::CreateFileW(requestPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr);
        ::CloseHandle(h);
    }
    return 0;
}

int Form(bool passport, const wchar_t* requestPath, const wchar_t* computer) {
    ++g_wizard.calls;
    g_wizard.lastRequest = requestPath;
    g_wizard.lastComputer = computer ? computer : L"";
    if (g_wizard.result != 0)
        return g_wizard.result;
    return WriteRequest(passport, requestPath);
}

int ShowPassport(int, const wchar_t*, const wchar_t* request, const wchar_t* computer) {
    return Form(true, request, computer);
}
int ShowResources(int, const wchar_t*, const wchar_t* request, const wchar_t* computer) {
    return Form(false, request, computer);
}

std::vector<std::wstring> g_shown;
int Show(const wchar_t* path) {
    g_shown.push_back(path);
    return 0;
}

SReportServices g_services = {&ShowPassport, &ShowResources, &KvReportBuild, &Show, std::wstring()};

// ---- the frame -------------------------------------------------------------------------------

class CTestMainFrame : public CMainFrame {
public:
    CTestMainFrame() { m_bAutoDelete = FALSE; }
};

// The lines of the stand-in plug-ins' log: "<module> <request> <response>".
struct SRun {
    std::wstring module, request, response;
};
std::vector<SRun> ReadRuns() {
    std::vector<SRun> runs;
    std::wstring text = Wide(KvTest::ReadBytes(Tmp(L"double.log")));
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(at, end - at);
        size_t a = line.find(L' '), b = line.rfind(L' ');
        if (a != std::wstring::npos && b > a)
            runs.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
        at = end + 1;
    }
    return runs;
}

struct ReportWindowTest : ::testing::Test, KvFrameTest::CFrameHolder<CTestMainFrame> {
    const SReportServices* oldServices = nullptr;
    HRESULT com = E_FAIL;

    void SetUp() override {
        com = ::CoInitialize(nullptr);
        theApp.m_nConfirmation = 0;
        g_wizard = SWizard();
        g_wizard.reportFile = Tmp(L"report.rtf");
        ::DeleteFileW(g_wizard.reportFile.c_str());
        g_shown.clear();
        g_services.pluginFolder = Env(L"KV_BIN_DIR") + L"\\reportwin_doubles";
        oldServices = SetReportServices(&g_services);
        ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT", L"ok");
        ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT_LOG", Tmp(L"double.log").c_str());
        ::DeleteFileW(Tmp(L"double.log").c_str());
        ASSERT_NO_FATAL_FAILURE(OpenFrame());
        PumpIdle();
    }
    void TearDown() override {
        if (frame)
            frame->CloseReportWindows();
        CloseFrame();
        PumpIdle();
        SetReportServices(oldServices);
        if (SUCCEEDED(com))
            ::CoUninitialize();
    }

    CWndLongOp* Window(int id) {
        auto it = frame->m_ReportWindows.find(id);
        return it == frame->m_ReportWindows.end() ? nullptr : static_cast<CWndLongOp*>(it->second);
    }
    // A request as the form writes it, then the window for it.
    CWndLongOp* Open(int id) {
        std::wstring request = MakeReportTempFile(L"req");
        EXPECT_FALSE(request.empty());
        EXPECT_EQ(0, Form(id == ID_REPORT_PASSPORT, request.c_str(), L"PC"));
        EXPECT_TRUE(frame->OpenReportWindow(id, request.c_str()));
        return Window(id);
    }
    static bool Finished(CWndLongOp* w) { return w && !w->m_bRunning; }
    static std::wstring Button(CWndLongOp* w) { return w->m_dlg.GetDlgItemText(IDCANCEL); }
    static bool ButtonEnabled(CWndLongOp* w) { return ::IsWindowEnabled(w->m_dlg.GetDlgItem(IDCANCEL)) != FALSE; }
    static HWND ShowBox(CWndLongOp* w) { return w->m_dlg.GetDlgItem(IDC_LONGOP_SHOW); }
    // The window's one button, clicked as a person does.
    static void Press(CWndLongOp* w) {
        EXPECT_TRUE(KvTest::Click(w->m_dlg.m_hWnd, IDCANCEL)) << "the button is hidden or disabled";
    }
};

// ---- launch cases ----------------------------------------------------------------------------

TEST_F(ReportWindowTest, OutcomesOfTheRunAreShownAndNoTemporaryFileIsLeft) {
    const std::wstring bin = Env(L"KV_BIN_DIR");
    const std::wstring other = Tmp(L"other.rtf");
    ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT_OTHER", other.c_str());
    struct Case {
        const char* name;
        const wchar_t* mode;
        const wchar_t* folder; // below bin
        int command;
        std::wstring text; // the outcome text
        const wchar_t* button;
        bool built;
        bool responseKept; // the response file stays until the window goes (no source failure)
    } cases[] = {
        {"built", L"ok", L"\\reportwin_doubles", ID_REPORT_PASSPORT,
         L"Процесс успешно завершен.\r\n\r\nОтчет сохранен в файл:\r\n" + Tmp(L"report.rtf"), L"ОК", true, true},
        {"resources built", L"ok", L"\\reportwin_doubles", ID_REPORT_RESOURCES,
         L"Процесс успешно завершен.\r\n\r\nОтчет сохранен в файл:\r\n" + Tmp(L"report.rtf"), L"ОК", true, true},
        // A plug-in that does not run: the code and the system's text for it, nothing more.
        {"no module", L"ok", L"\\reportwin_doubles\\none", ID_REPORT_PASSPORT, ErrorText(0x7E), L"Закрыть", false,
         false},
        {"no factory", L"ok", L"\\reportwin_doubles\\noexport", ID_REPORT_PASSPORT, ErrorText(0x7F), L"Закрыть", false,
         false},
        {"no source", L"nosource", L"\\reportwin_doubles", ID_REPORT_PASSPORT, ErrorText((int)0x80004005), L"Закрыть",
         false, false},
        {"start fails", L"startfail", L"\\reportwin_doubles", ID_REPORT_RESOURCES, ErrorText((int)0x8007000E),
         L"Закрыть", false, true},
        {"source fails", L"error", L"\\reportwin_doubles", ID_REPORT_PASSPORT, ErrorText((int)0x80070005), L"Закрыть",
         false, false},
        {"other report file", L"otherpath", L"\\reportwin_doubles", ID_REPORT_PASSPORT,
         L"Процесс завершен с ошибкой [0x8007000D]\nИсточник данных назвал в ответе файл отчета \"" + other +
             L"\", а в запросе указан \"" + Tmp(L"report.rtf") + L"\"; отчет не построен.",
         L"Закрыть", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileW(g_wizard.reportFile.c_str());
        ::DeleteFileW(other.c_str());
        ::DeleteFileW(Tmp(L"double.log").c_str());
        ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT", c.mode);
        g_services.pluginFolder = bin + c.folder;
        CWndLongOp* w = Open(c.command);
        ASSERT_TRUE(w);
        std::wstring request = g_wizard.lastRequest;
        ASSERT_TRUE(PumpUntil([&] { return Finished(w); }));
        EXPECT_EQ(c.text, w->GetOutcomeText()) << Utf8(w->GetOutcomeText());
        EXPECT_EQ(c.button, Button(w));
        EXPECT_TRUE(ButtonEnabled(w));
        EXPECT_EQ(c.built, ::IsWindowVisible(ShowBox(w)) != FALSE);
        EXPECT_EQ(c.built, ::IsDlgButtonChecked(w->m_dlg.m_hWnd, IDC_LONGOP_SHOW) == BST_CHECKED);
        EXPECT_EQ(c.built, Exists(g_wizard.reportFile));
        EXPECT_FALSE(Exists(other));
        EXPECT_EQ(c.built ? g_wizard.reportFile : std::wstring(), w->m_strReportPath);
        EXPECT_EQ(c.command == ID_REPORT_PASSPORT ? L"Построение отчета: Паспорт ПО"
                                                  : L"Построение отчета: Ресурсы рабочей станции",
                  w->GetWindowText());
        // The request stays until the window goes; the response too, unless the source failed.
        EXPECT_TRUE(Exists(request));
        const std::wstring response = w->m_strResponsePath;
        EXPECT_EQ(c.responseKept, Exists(response)) << Utf8(response);
        for (const SRun& run : ReadRuns())
            EXPECT_EQ(c.responseKept, Exists(run.response)) << Utf8(run.response);
        if (c.built) {
            std::string rtf = KvTest::ReadBytes(g_wizard.reportFile);
            EXPECT_EQ(0u, rtf.find("{\\rtf1"));
        }
        // The button closes the window (the box is cleared: nothing is opened).
        ::CheckDlgButton(w->m_dlg.m_hWnd, IDC_LONGOP_SHOW, BST_UNCHECKED);
        Press(w);
        ASSERT_TRUE(PumpUntil([&] { return !Window(c.command); }));
        EXPECT_TRUE(g_shown.empty());
        EXPECT_EQ(c.built, Exists(g_wizard.reportFile)); // the report belongs to the user
        // No temporary file outlives the window.
        EXPECT_FALSE(Exists(request));
        EXPECT_FALSE(Exists(response));
        for (const SRun& run : ReadRuns())
            EXPECT_FALSE(Exists(run.response)) << Utf8(run.response);
    }
}

TEST_F(ReportWindowTest, RequestsForAnythingButTheCommandsOwnPluginAreRefused) {
    struct Case {
        const wchar_t* kind;
        int command;
        const wchar_t* title;
    } cases[] = {
        {L"EventLog", ID_REPORT_PASSPORT, L"Построение отчета: Журнал событий"},
        {L"Strange", ID_REPORT_RESOURCES, L"Построение отчета: Отчет"},
        {L"ResourceWS", ID_REPORT_PASSPORT, L"Построение отчета: Ресурсы рабочей станции"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.kind));
        ::DeleteFileW(Tmp(L"double.log").c_str());
        g_wizard.kind = c.kind;
        CWndLongOp* w = Open(c.command);
        ASSERT_TRUE(w);
        ASSERT_TRUE(PumpUntil([&] { return Finished(w); }));
        EXPECT_EQ(c.title, w->GetWindowText());
        EXPECT_EQ(0u, w->GetOutcomeText().find(L"Процесс завершен с ошибкой [0x8007000D]\nЗапрос отчета называет "
                                               L"источник данных"))
            << Utf8(w->GetOutcomeText());
        EXPECT_EQ(nullptr, w->m_hPlugin);
        EXPECT_TRUE(ReadRuns().empty());
        w->DestroyWindow();
        EXPECT_FALSE(Window(c.command));
        EXPECT_FALSE(Exists(g_wizard.lastRequest));
    }
    // A request that cannot be read: no title, refused.
    std::wstring broken = MakeReportTempFile(L"req");
    ASSERT_TRUE(frame->OpenReportWindow(ID_REPORT_PASSPORT, broken.c_str()));
    CWndLongOp* w = Window(ID_REPORT_PASSPORT);
    ASSERT_TRUE(PumpUntil([&] { return Finished(w); }));
    EXPECT_EQ(L"", w->GetWindowText());
    EXPECT_NE(std::wstring::npos, w->GetOutcomeText().find(L"Запрос отчета не прочитан"));
    w->DestroyWindow();
    EXPECT_FALSE(Exists(broken));
}

TEST_F(ReportWindowTest, ABuildIntoAFolderRemovedAfterTheWizardFailsWithTheBuildersCode) {
    std::wstring folder = Tmp(L"gone");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    g_wizard.reportFile = folder + L"\\report.rtf";
    std::wstring request = MakeReportTempFile(L"req");
    ASSERT_EQ(0, Form(false, request.c_str(), L"PC"));
    ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
    ASSERT_TRUE(frame->OpenReportWindow(ID_REPORT_RESOURCES, request.c_str()));
    CWndLongOp* w = Window(ID_REPORT_RESOURCES);
    ASSERT_TRUE(PumpUntil([&] { return Finished(w); }));
    EXPECT_EQ(0u, w->GetOutcomeText().find(L"Процесс завершен с ошибкой [0x"));
    EXPECT_EQ(std::wstring::npos, w->GetOutcomeText().find(L"[0x00000000]"));
    EXPECT_EQ(L"Закрыть", Button(w));
    EXPECT_FALSE(::IsWindowVisible(ShowBox(w)));
    EXPECT_TRUE(w->m_strReportPath.empty());
    EXPECT_FALSE(Exists(folder));
    std::vector<SRun> runs = ReadRuns();
    ASSERT_EQ(1u, runs.size());
    EXPECT_TRUE(Exists(runs[0].response)); // kept until the window goes
    Press(w);
    ASSERT_TRUE(PumpUntil([&] { return !Window(ID_REPORT_RESOURCES); }));
    EXPECT_TRUE(g_shown.empty());
    EXPECT_FALSE(Exists(runs[0].response));
    EXPECT_FALSE(Exists(request));
}

// ---- abort -----------------------------------------------------------------------------------

TEST_F(ReportWindowTest, AbortDisablesTheButtonAndTheAbortedTextArrivesThroughTheCompletion) {
    ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT", L"slow");
    CWndLongOp* w = Open(ID_REPORT_RESOURCES);
    ASSERT_TRUE(w);
    ASSERT_TRUE(PumpUntil([] { return !ReadRuns().empty(); }));
    EXPECT_EQ(1, w->m_bRunning);
    EXPECT_EQ(L"Прервать", Button(w));
    EXPECT_TRUE(::IsWindowVisible(w->m_hWnd));
    std::wstring response = ReadRuns()[0].response;
    EXPECT_TRUE(Exists(response));
    Press(w);
    EXPECT_FALSE(ButtonEnabled(w));
    ASSERT_TRUE(PumpUntil([&] { return Finished(w); }));
    EXPECT_EQ(L"Процесс прерван пользователем.", w->GetOutcomeText());
    EXPECT_EQ(L"Закрыть", Button(w));
    EXPECT_TRUE(ButtonEnabled(w));
    EXPECT_FALSE(Exists(response)); // an aborted run's response goes at once
    EXPECT_TRUE(Exists(g_wizard.lastRequest));
    Press(w);
    ASSERT_TRUE(PumpUntil([&] { return !Window(ID_REPORT_RESOURCES); }));
    EXPECT_FALSE(Exists(g_wizard.lastRequest));
}

TEST_F(ReportWindowTest, ASourceThatIgnoresTheAbortEndsAfterTheLimitWhileTheWindowGoesOn) {
    KV_SKIP_THREADS_IF_EMULATED();
    ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT", L"deaf");
    CWndLongOp* w = Open(ID_REPORT_PASSPORT);
    ASSERT_TRUE(w);
    ASSERT_TRUE(PumpUntil([] { return !ReadRuns().empty(); }));
    std::wstring response = ReadRuns()[0].response;
    ASSERT_TRUE(PumpUntil([&] { return Exists(response); }));
    auto start = std::chrono::steady_clock::now();
    Press(w);
    double pressed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The abort waits on a thread of its own: the window answers meanwhile.
    EXPECT_LT(pressed, 2.0);
    DWORD_PTR answer = 0;
    PumpFor(500);
    EXPECT_TRUE(::SendMessageTimeoutW(w->m_hWnd, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer));
    EXPECT_TRUE(w->IsAborting());
    ASSERT_TRUE(PumpUntil([&] { return Finished(w); }, 20000));
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(waited, 9.0);
    EXPECT_LT(waited, 14.5);
    EXPECT_EQ(L"Процесс прерван пользователем.", w->GetOutcomeText());
    EXPECT_EQ(L"Закрыть", Button(w));
    // The terminated source's half-written response was closed by the run frame and deleted by
    // the window.
    EXPECT_FALSE(Exists(response));
    Press(w);
    ASSERT_TRUE(PumpUntil([&] { return !Window(ID_REPORT_PASSPORT); }));
}

// ---- the report file -------------------------------------------------------------------------

TEST_F(ReportWindowTest, OkOpensTheReportOnlyWhenTheBoxIsSet) {
    for (bool checked : {true, false}) {
        g_shown.clear();
        ::DeleteFileW(g_wizard.reportFile.c_str());
        CWndLongOp* w = Open(ID_REPORT_PASSPORT);
        ASSERT_TRUE(PumpUntil([&] { return Finished(w); }));
        ASSERT_EQ(L"ОК", Button(w));
        EXPECT_TRUE(::IsWindowEnabled(ShowBox(w)));
        ::CheckDlgButton(w->m_dlg.m_hWnd, IDC_LONGOP_SHOW, checked ? BST_CHECKED : BST_UNCHECKED);
        Press(w);
        ASSERT_TRUE(PumpUntil([&] { return !Window(ID_REPORT_PASSPORT); }));
        EXPECT_EQ(checked ? std::vector<std::wstring>{g_wizard.reportFile} : std::vector<std::wstring>{}, g_shown);
        EXPECT_TRUE(Exists(g_wizard.reportFile));
    }
}

// ---- commands --------------------------------------------------------------------------------

TEST_F(ReportWindowTest, OneWindowPerCommandAndBothReportsRunAtOnce) {
    ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT", L"slow");
    EXPECT_TRUE(Enabled(ID_REPORT_PASSPORT));
    EXPECT_TRUE(Enabled(ID_REPORT_RESOURCES));
    EXPECT_FALSE(Enabled(ID_REPORT_USERS));
    ASSERT_TRUE(SendEnabled(ID_REPORT_PASSPORT));
    ASSERT_TRUE(Window(ID_REPORT_PASSPORT));
    EXPECT_EQ(1, g_wizard.calls);
    EXPECT_FALSE(g_wizard.lastComputer.empty());
    CWndLongOp* passport = Window(ID_REPORT_PASSPORT);
    // The same command again brings the window forward and asks no second request.
    EXPECT_TRUE(SendEnabled(ID_REPORT_PASSPORT));
    EXPECT_EQ(1, g_wizard.calls);
    EXPECT_EQ(passport, Window(ID_REPORT_PASSPORT));
    EXPECT_TRUE(SendEnabled(ID_REPORT_RESOURCES));
    EXPECT_EQ(2, g_wizard.calls);
    CWndLongOp* resources = Window(ID_REPORT_RESOURCES);
    ASSERT_TRUE(resources);
    EXPECT_NE(passport->m_hWnd, resources->m_hWnd);
    // Two top-level windows of their own, each with its own plug-in, both running.
    EXPECT_EQ(nullptr, ::GetWindow(passport->m_hWnd, GW_OWNER));
    EXPECT_TRUE(::GetClassLongW(passport->m_hWnd, GCL_STYLE) & CS_NOCLOSE); // no close in the caption
    ASSERT_TRUE(PumpUntil([] { return ReadRuns().size() == 2; }));
    std::vector<SRun> runs = ReadRuns();
    EXPECT_NE(runs[0].module, runs[1].module);
    EXPECT_NE(passport->m_hPlugin, resources->m_hPlugin);
    EXPECT_EQ(1, passport->m_bRunning);
    EXPECT_EQ(1, resources->m_bRunning);
    // The command that is offered nowhere does nothing.
    int calls = g_wizard.calls;
    Send(ID_REPORT_USERS);
    EXPECT_EQ(calls, g_wizard.calls);
    EXPECT_FALSE(Window(ID_REPORT_USERS));

    // Closing the program during the runs aborts them and leaves no temporary file.
    std::vector<std::wstring> files;
    for (const SRun& r : runs) {
        files.push_back(r.request);
        files.push_back(r.response);
        EXPECT_TRUE(Exists(r.response));
    }
    frame->SendMessage(WM_CLOSE);
    EXPECT_TRUE(frame->m_ReportWindows.empty());
    for (const std::wstring& f : files)
        EXPECT_FALSE(Exists(f)) << Utf8(f);
}

TEST_F(ReportWindowTest, ACancelledOrFailedFormLeavesNoRequestFile) {
    for (int result : {1, (int)0x80070005}) {
        g_wizard.result = result;
        ASSERT_TRUE(SendEnabled(ID_REPORT_RESOURCES));
        EXPECT_FALSE(Window(ID_REPORT_RESOURCES));
        ASSERT_FALSE(g_wizard.lastRequest.empty());
        EXPECT_FALSE(Exists(g_wizard.lastRequest));
    }
    EXPECT_EQ(2, g_wizard.calls);
}

// ---- layout ----------------------------------------------------------------------------------

TEST_F(ReportWindowTest, ControlsFollowTheirAnchorsAndTheWindowKeepsItsDesignedSize) {
    struct {
        int code;
        POINT point;
    } anchors[] = {{0, {0, 0}},  {1, {50, 0}}, {2, {101, 0}}, {3, {101, 25}}, {4, {101, 51}}, {5, {50, 51}},
                   {6, {0, 51}}, {7, {0, 25}}, {8, {50, 25}}, {9, {0, 0}},    {-1, {0, 0}}};
    for (const auto& a : anchors) {
        POINT p = CAnchorLayout::AnchorPoint(a.code, 101, 51);
        EXPECT_EQ(a.point.x, p.x) << a.code;
        EXPECT_EQ(a.point.y, p.y) << a.code;
    }

    ::SetEnvironmentVariableW(L"KV_DOUBLE_REPORT", L"slow");
    CWndLongOp* w = Open(ID_REPORT_PASSPORT);
    ASSERT_TRUE(w);
    HWND dlg = w->m_dlg.m_hWnd;
    EXPECT_EQ(6, w->m_dlg.m_layout.GetCount());
    auto rectOf = [&](int id) {
        RECT r;
        ::GetWindowRect(::GetDlgItem(dlg, id), &r);
        ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    RECT client, before = rectOf(IDC_LONGOP_TEXT), buttonBefore = rectOf(IDCANCEL),
                 boxBefore = rectOf(IDC_LONGOP_FRAME);
    ::GetClientRect(dlg, &client);
    RECT window;
    w->GetWindowRect(&window);
    // The dialog fills the window's client area.
    RECT frameClient;
    w->GetClientRect(&frameClient);
    EXPECT_EQ(frameClient.right, client.right);
    EXPECT_EQ(frameClient.bottom, client.bottom);

    ::SetWindowPos(w->m_hWnd, nullptr, 0, 0, window.right - window.left + 200, window.bottom - window.top + 100,
                   SWP_NOMOVE | SWP_NOZORDER);
    PumpIdle();
    RECT grown, after = rectOf(IDC_LONGOP_TEXT), button = rectOf(IDCANCEL), box = rectOf(IDC_LONGOP_FRAME);
    ::GetClientRect(dlg, &grown);
    EXPECT_EQ(client.right + 200, grown.right);
    EXPECT_EQ(client.bottom + 100, grown.bottom);
    EXPECT_EQ(before.right - before.left + 200, after.right - after.left); // the text stretches
    EXPECT_EQ(before.bottom - before.top + 100, after.bottom - after.top);
    EXPECT_EQ(client.right - boxBefore.right, grown.right - box.right); // the group box too
    EXPECT_EQ(client.bottom - boxBefore.bottom, grown.bottom - box.bottom);
    EXPECT_EQ(buttonBefore.right - buttonBefore.left, button.right - button.left); // the button keeps its size,
    EXPECT_LE(std::abs((button.left + button.right) / 2 - grown.right / 2), 2);    // centred,
    EXPECT_EQ(client.bottom - buttonBefore.bottom, grown.bottom - button.bottom);  // at the bottom

    // Not below the designed size.
    MINMAXINFO info = {};
    w->SendMessage(WM_GETMINMAXINFO, 0, (LPARAM)&info);
    EXPECT_EQ(window.right - window.left, info.ptMinTrackSize.x);
    EXPECT_EQ(window.bottom - window.top, info.ptMinTrackSize.y);
    w->DestroyWindow();
}

} // namespace
