// Reports end to end in the real program: VICheck64.exe is started with the board's stand-ins,
// its report command is sent to its main window, the real wizard of KvReportForms64 is filled in
// from here (windows found by caption, controls by id), the real plug-in reads the store seeded
// through the provider (or the packages installed with msiexec), the real builder writes the RTF,
// and the report window's OK opens it through the .rtf handler registered by the test.
#include <gtest/gtest.h>

#include <windows.h>

#include <VCore.h>
#include <valkit.h>

#include "StoreFolderUtil.h"
#include "kvrtf.h"
#include "kvclick.h"
#include "kvtest.h"

#include <set>
#include <string>
#include <vector>

using namespace Varno;
using namespace KvRtf;

namespace {

using KvTest::Env;
std::wstring Tmp(const wchar_t* name) { return Env(L"KV_TEST_TMP") + L"\\" + name; }
std::wstring Bin(const wchar_t* name) { return Env(L"KV_BIN_DIR") + L"\\" + name; }
bool Exists(const std::wstring& p) { return ::GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

using KvTest::Utf8;
// The temporary files of the report commands now in the temporary folder.
std::set<std::wstring> ReportTempFiles() {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, folder);
    std::set<std::wstring> names;
    for (const wchar_t* mask : {L"req*.tmp", L"res*.tmp"}) {
        WIN32_FIND_DATAW fd;
        HANDLE h = ::FindFirstFileW((std::wstring(folder) + mask).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        do
            names.insert(fd.cFileName);
        while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    return names;
}

using KvTest::RunMsiexec;

// ---- the program and its windows -------------------------------------------------------------

struct Program {
    PROCESS_INFORMATION pi = {};
    HWND main = nullptr;
    bool Start() {
        std::wstring exe = Bin(L"VICheck64.exe");
        std::wstring cmd = L"\"" + exe + L"\"";
        STARTUPINFOW si = {sizeof(si)};
        if (!::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, Env(L"KV_BIN_DIR").c_str(),
                              &si, &pi))
            return false;
        // The start restores the store's model with the window disabled. The fixture store names
        // resources this machine does not have, and the program asks about them: "Нет для всех"
        // keeps them as stored. The window is ready when it has stayed enabled for a while.
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 60000 && Running()) {
            if (HWND ask = Find(kCaption, L"#32770"))
                if (::GetDlgItem(ask, kInvalidText))
                    ::PostMessageW(::GetDlgItem(ask, kInvalidNoForAll), BM_CLICK, 0, 0);
            main = Find(kCaption, kFrameClass);
            if (main && KvTest::WaitUntilSettled(main, 1500, 2000))
                return true;
            ::Sleep(50);
        }
        return false;
    }
    bool Running() const { return pi.hProcess && ::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
    static constexpr const wchar_t* kCaption = L"Zidezedaza rizodorar AZ";
    static constexpr const wchar_t* kFrameClass = L"KvUiWnd";
    static constexpr int kInvalidText = 1259, kInvalidNoForAll = 9; // the missing-resource question
    // A shown, enabled top-level window of the program with the caption (and the class, when given).
    HWND Find(const std::wstring& caption, const wchar_t* windowClass = nullptr) const {
        struct F {
            DWORD pid;
            const std::wstring* caption;
            const wchar_t* windowClass;
            HWND found;
        } f = {pi.dwProcessId, &caption, windowClass, nullptr};
        ::EnumWindows(
            [](HWND h, LPARAM lp) -> BOOL {
                auto* f = reinterpret_cast<F*>(lp);
                DWORD pid = 0;
                ::GetWindowThreadProcessId(h, &pid);
                wchar_t text[256] = {};
                ::GetWindowTextW(h, text, 256);
                wchar_t cls[64] = {};
                ::GetClassNameW(h, cls, 64);
                if (pid == f->pid && ::IsWindowVisible(h) && ::IsWindowEnabled(h) && *f->caption == text &&
                    (!f->windowClass || wcscmp(cls, f->windowClass) == 0)) {
                    f->found = h;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&f));
        return f.found;
    }
    HWND Wait(const std::wstring& caption, DWORD ms = 30000) const {
        for (DWORD waited = 0; waited < ms && Running(); waited += 20) {
            if (HWND h = Find(caption))
                return h;
            ::Sleep(20);
        }
        return nullptr;
    }
    void Close() {
        if (main && Running())
            ::PostMessageW(main, WM_CLOSE, 0, 0);
        if (pi.hProcess && ::WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0)
            ::TerminateProcess(pi.hProcess, 99);
    }
    ~Program() {
        Close();
        if (pi.hProcess) {
            ::CloseHandle(pi.hProcess);
            ::CloseHandle(pi.hThread);
        }
    }
};

HWND Control(HWND top, int id) { return KvTest::ShownControl(top, id); }

std::wstring Text(HWND h) {
    wchar_t text[2048] = {};
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, 2048, (LPARAM)text, SMTO_NORMAL, 5000, &got);
    return text;
}

const int kWizardPath = 1026, kWizardBuild = 1023;
const int kOutcome = 717, kShowReport = 1241;

// ---- the test --------------------------------------------------------------------------------

class ReportEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // The report forms are built with the program: a missing DLL is a fault of the tree, not a
        // reason to pass.
        ASSERT_TRUE(Exists(Bin(L"KvReportForms64.dll"))) << "KvReportForms64.dll is missing beside the tests";
        ::CoInitialize(nullptr);
        ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", L"present");
        ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", L"off");
        // The handler of .rtf files: the probe, which writes down what it opened.
        m_opened = Tmp(L"opened.txt");
        ::DeleteFileW(m_opened.c_str());
        std::wstring command = L"\"" + Bin(L"rtf_open_probe.exe") + L"\" \"" + m_opened + L"\" \"%1\"";
        m_oldRtfClass = GetValue(L".rtf");
        SetValue(L".rtf", L"KvReportE2E.rtf");
        SetValue(L"KvReportE2E.rtf\\shell\\open\\command", command);
        m_tempBefore = ReportTempFiles();
    }
    void TearDown() override {
        if (m_oldRtfClass.empty())
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".rtf");
        else
            SetValue(L".rtf", m_oldRtfClass);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KvReportE2E.rtf");
        ::SetEnvironmentVariableW(L"KV_DOUBLE_BOARD", nullptr);
        ::SetEnvironmentVariableW(L"KV_DOUBLE_JOINT", nullptr);
    }
    // The registered file classes (Wine's shell reads them from the machine's classes).
    static std::wstring GetValue(const wchar_t* key) {
        wchar_t value[512] = {};
        LONG size = sizeof(value);
        if (::RegQueryValueW(HKEY_CLASSES_ROOT, key, value, &size) != ERROR_SUCCESS)
            return std::wstring();
        return value;
    }
    static void SetValue(const wchar_t* key, const std::wstring& value) {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr));
        ::RegSetValueExW(h, nullptr, 0, REG_SZ, (const BYTE*)value.c_str(),
                         (DWORD)((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(h);
    }

    // Runs one report command in the program: the wizard named by its caption is given the report
    // file and confirmed; the report window reaches its end. Returns the outcome text.
    std::wstring RunReport(Program& program, UINT command, const wchar_t* wizardCaption, const wchar_t* windowTitle,
                           const std::wstring& report) {
        ::PostMessageW(program.main, WM_COMMAND, command, 0);
        HWND wizard = program.Wait(wizardCaption);
        EXPECT_TRUE(wizard) << "no wizard " << Utf8(wizardCaption);
        if (!wizard)
            return L"";
        HWND path = Control(wizard, kWizardPath);
        EXPECT_TRUE(path);
        ::SendMessageW(path, WM_SETTEXT, 0, (LPARAM)report.c_str());
        ::Sleep(100);
        EXPECT_TRUE(KvTest::Click(Control(wizard, kWizardBuild)));
        m_window = program.Wait(windowTitle, 30000);
        EXPECT_TRUE(m_window) << "no report window " << Utf8(windowTitle);
        if (!m_window)
            return L"";
        HWND outcome = Control(m_window, kOutcome);
        std::wstring text;
        for (int i = 0; i < 6000; ++i) {
            text = Text(outcome);
            if (text.rfind(L"Процесс", 0) == 0)
                break;
            ::Sleep(20);
        }
        return text;
    }
    // OK with the box set: the window closes and the handler of .rtf gets the report.
    void OkOpensTheReport(const std::wstring& report) {
        HWND box = Control(m_window, kShowReport);
        ASSERT_TRUE(box);
        EXPECT_EQ(BST_CHECKED, ::SendMessageW(box, BM_GETCHECK, 0, 0));
        HWND ok = Control(m_window, IDCANCEL);
        EXPECT_EQ(L"ОК", Text(ok));
        EXPECT_TRUE(KvTest::Click(ok));
        for (int i = 0; i < 1500 && ::IsWindow(m_window); ++i)
            ::Sleep(20);
        EXPECT_FALSE(::IsWindow(m_window));
        for (int i = 0; i < 1500 && KvTest::ReadBytes(m_opened).empty(); ++i)
            ::Sleep(20);
        EXPECT_EQ(Utf8(report), KvTest::ReadBytes(m_opened));
        ::DeleteFileW(m_opened.c_str());
    }
    void ExpectNoTemporaryFilesLeft() {
        std::set<std::wstring> after = ReportTempFiles();
        for (const std::wstring& name : after)
            EXPECT_TRUE(m_tempBefore.count(name)) << "left behind: " << Utf8(name);
    }

    std::wstring m_opened;
    std::wstring m_oldRtfClass;
    std::set<std::wstring> m_tempBefore;
    HWND m_window = nullptr;
};

// A store of this computer: a subject whose board job collection is empty and whose job of the
// second edition has file, directory, registry, sector and hardware groups and a task repeating
// the file group; one switched-off file.
void SeedStore() {
    CreateDirectoryW(KvResourceTest::StoreFolder().c_str(), nullptr);
    DeleteFileW(KvResourceTest::StorePath().c_str());
    SmartPtr<IProvider> provider = Common::CreateProvider();
    SmartPtr<IDatabase> db = provider->Open(as_string(KvResourceTest::StorePath(), CP_ACP).c_str());
    ASSERT_TRUE(db);
    _time_t t = _time_t::now();
    auto files = checked_cast<IFileGroup>(db->CreateFileGroup(L"Files", L"", t));
    files->AddFile(checked_cast<IFile>(db->CreateFile(L"%SystemRoot%\\system32\\kernel32.dll", t, true, false)));
    files->AddFile(checked_cast<IFile>(db->CreateFile(L"%SystemRoot%\\e2e_switched_off.dll", t, false, false)));
    auto dirs = checked_cast<IDirectoryFileGroup>(db->CreateDirectoryFileGroup(L"Dirs", L"", t));
    dirs->AddDirectory(checked_cast<IDirectory>(db->CreateDirectory(L"%SystemRoot%\\Fonts", t, true)));
    auto registry = checked_cast<IRegistryGroup>(db->CreateRegistryGroup(L"Registry", L"", t));
    registry->AddRegistryKey(
        checked_cast<IRegistryKey>(db->CreateRegistryKey(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KvE2E", t, true)));
    auto sectors = checked_cast<IDiskSectorGroup>(db->CreateDiskSectorGroup(L"Sectors", L"", t));
    sectors->AddDiskSector(
        checked_cast<IDiskSector>(db->CreateDiskSector(L"\\\\.\\PhysicalDrive0:0", L"MBR", 0, 0, t, true)));
    auto hardware =
        checked_cast<IHardwareConfigurationGroup>(db->CreateHardwareConfigurationGroup(L"Hardware", L"", t));
    hardware->AddDevice(checked_cast<IDevice>(db->CreateDevice(L"PCI\\VEN_E2E", L"device", t, true)));
    auto task = checked_cast<ITaskEx>(db->CreateTaskEx(L"Task", L"", t));
    task->AddFileGroup(files);
    auto job = checked_cast<IJobVarnoZelvane>(db->CreateJobVarnoZelvane(L"Job", L""));
    job->AddFileGroup(files);
    job->AddDirectoryFileGroup(dirs);
    job->AddRegistryGroup(registry);
    job->AddDiskSectorGroup(sectors);
    job->AddHardwareConfigurationGroup(hardware);
    job->AddTask(task);
    auto subject = db->CreateSubject(L"KV-E2E", L"", L"Windows E2E");
    subject->AddJob(job);
    db->SetLocalSubject(subject);
    db->Commit();
    provider->Close(db->GetHandle());
}

void RemoveStore() {
    ::DeleteFileW(KvResourceTest::StorePath().c_str());
    std::wstring folder = KvResourceTest::StoreFolder();
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileW((folder + L"\\" + fd.cFileName).c_str());
        while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(ReportEndToEnd, ResourcesAndPassportFromTheMenuCommandsToTheOpenedReport) {
    Common::Attach();
    SeedStore();
    Common::Detach();
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(0u, RunMsiexec(L"/i \"" + Bin(L"fixtures\\passport\\kvpassport_alpha.msi") + L"\" /qn"));

    {
        Program program;
        ASSERT_TRUE(program.Start());

        // Workstation resources (3612).
        std::wstring report = Tmp(L"e2e_resources.rtf");
        ::DeleteFileW(report.c_str());
        std::wstring outcome =
            RunReport(program, 3612, L"Ресурсы рабочей станции", L"Построение отчета: Ресурсы рабочей станции", report);
        EXPECT_EQ(L"Процесс успешно завершен.\r\n\r\nОтчет сохранен в файл:\r\n" + report, outcome) << Utf8(outcome);
        std::string rtf = KvTest::ReadBytes(report);
        ASSERT_EQ(0u, rtf.find("{\\rtf1")) << rtf.substr(0, 80);
        EXPECT_NE(std::string::npos, rtf.find("\\ansicpg1251"));
        EXPECT_TRUE(BracesBalance(rtf));
        size_t files = rtf.find(Cp1251(L"Файловая система")), registry = rtf.find(Cp1251(L"Реестр")),
               sectors = rtf.find(Cp1251(L"Секторы дисков"));
        EXPECT_NE(std::string::npos, files);
        EXPECT_LT(files, registry);
        EXPECT_LT(registry, sectors);
        EXPECT_NE(std::string::npos, rtf.find(RtfText(L"KV-E2E")));
        const std::wstring root = Env(L"SystemRoot");
        ASSERT_FALSE(root.empty());
        for (const std::wstring& path :
             {root + L"\\system32\\kernel32.dll", root + L"\\Fonts",
              std::wstring(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\KvE2E"), std::wstring(L"\\\\.\\PhysicalDrive0:0")})
            EXPECT_EQ(1u, Count(rtf, RtfText(path) + "\\f0\\par")) << Utf8(path);
        EXPECT_EQ(std::string::npos, rtf.find("%SystemRoot%"));
        EXPECT_EQ(std::string::npos, rtf.find("e2e_switched_off"));
        EXPECT_EQ(std::string::npos, rtf.find("VEN_E2E"));
        OkOpensTheReport(report);

        // The software passport (3610) over the installed package.
        std::wstring passport = Tmp(L"e2e_passport.rtf");
        ::DeleteFileW(passport.c_str());
        outcome = RunReport(program, 3610, L"Паспорт ПО", L"Построение отчета: Паспорт ПО", passport);
        EXPECT_EQ(L"Процесс успешно завершен.\r\n\r\nОтчет сохранен в файл:\r\n" + passport, outcome) << Utf8(outcome);
        std::string text = KvTest::ReadBytes(passport);
        EXPECT_EQ(0u, text.find("{\\rtf1"));
        EXPECT_TRUE(BracesBalance(text));
        EXPECT_NE(std::string::npos, text.find("KvPassportTest Alpha"));
        OkOpensTheReport(passport);

        program.Close();
        EXPECT_FALSE(program.Running());
    }
    RunMsiexec(L"/x \"" + Bin(L"fixtures\\passport\\kvpassport_alpha.msi") + L"\" /qn");
    RemoveStore();
    ExpectNoTemporaryFilesLeft();
}

} // namespace
