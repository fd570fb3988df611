// Registry value path tokens, the elapsed-time phrase, the finder and the path helpers.
#include "KvExchangeUtils.h"
#include "kvpresenter.h"

#include <gtest/gtest.h>

#include "kvtest.h"

#include <cstring>
#include <set>

namespace {

TEST(RegValuePath, TokenRoundTrip) {
    struct Case {
        const wchar_t* name;
        const wchar_t* token;
    } cases[] = {
        {L"", RegDefaultValueToken},
        {nullptr, RegDefaultValueToken},
        {L"a\\b", L"a{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}b"},
        {L"\\\\x\\", L"{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}x"
                     L"{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}"},
        {L"plain", L"plain"},
    };
    for (const Case& c : cases) {
        const std::wstring token = RegValueNameToToken(c.name);
        EXPECT_EQ(token, c.token);
        const std::wstring path = L"HKEY_CURRENT_USER\\Software\\K" + std::wstring(L"\\") + token;
        std::wstring key, name;
        bool isDefault = false;
        ASSERT_TRUE(SplitRegValuePath(path, key, name, isDefault));
        EXPECT_EQ(key, L"HKEY_CURRENT_USER\\Software\\K");
        EXPECT_EQ(name, c.name ? c.name : L"");
        EXPECT_EQ(isDefault, !c.name || !*c.name);
    }
    // The default token is recognised in any letter case.
    std::wstring key, name;
    bool isDefault = false;
    ASSERT_TRUE(SplitRegValuePath(L"HKEY_USERS\\x\\{c51badb1-f859-4C8E-b5f7-cd2223f03917}", key, name, isDefault));
    EXPECT_TRUE(isDefault);
    EXPECT_FALSE(SplitRegValuePath(L"no backslash", key, name, isDefault));
}

TEST(RegValuePath, DisplayForm) {
    EXPECT_EQ(RegValuePathForDisplay(L"HKEY_USERS\\k\\" + RegValueNameToToken(L"a\\b")), L"HKEY_USERS\\k\\a\\b");
    EXPECT_EQ(RegValuePathForDisplay(std::wstring(L"HKEY_USERS\\k\\") + RegDefaultValueToken),
              L"HKEY_USERS\\k\\(Default)");
}

TEST(ElapsedTime, RussianEndings) {
    struct Case {
        int seconds;
        const wchar_t* text;
    } cases[] = {
        {0, L"за 0 секунд"},
        {1, L"за 1 секунду"},
        {11, L"за 11 секунд"},
        {21, L"за 21 секунду"},
        {22, L"за 22 секунды"},
        {65, L"за 1 минуту 5 секунд"},
        {3600, L"за 1 час 0 минут 0 секунд"},
        {3725, L"за 1 час 2 минуты 5 секунд"},
        {7322, L"за 2 часа 2 минуты 2 секунды"},
        {5 * 3600 + 23 * 60 + 44, L"за 5 часов 23 минуты 44 секунды"},
        {21 * 3600, L"за 21 час 0 минут 0 секунд"},
    };
    for (const Case& c : cases) {
        wchar_t text[128] = L">";
        FormatElapsedTime(c.seconds, text);
        EXPECT_EQ(std::wstring(text), std::wstring(L">") + c.text) << c.seconds;
    }
}

using KvTest::TestTmp;

TEST(FileFindEx, ListsLikeTheClassLibrary) {
    const std::wstring dir = TestTmp() + L"\\find";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::CreateDirectoryW((dir + L"\\sub").c_str(), nullptr);
    for (const wchar_t* n : {L"\\one.txt", L"\\two.dat"}) {
        HANDLE h = ::CreateFileW((dir + n).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::CloseHandle(h);
    }
    CFileFindEx ff;
    std::set<std::wstring> files, dirs;
    BOOL more = ff.FindFile((dir + L"\\*.*").c_str());
    ASSERT_TRUE(more);
    while (more) {
        more = ff.FindNextFile();
        if (ff.IsDots())
            continue;
        (ff.IsDirectory() ? dirs : files).insert(ff.GetFilePath());
    }
    EXPECT_EQ(files, (std::set<std::wstring>{dir + L"\\one.txt", dir + L"\\two.dat"}));
    EXPECT_EQ(dirs, (std::set<std::wstring>{dir + L"\\sub"}));
    CFileFindEx none;
    EXPECT_FALSE(none.FindFile((dir + L"\\*.none").c_str()));
}

TEST(DiskPaths, FinalDriveAndDeviceNames) {
    // The test folder lies on drive Z: (the host's root under Wine).
    const std::wstring tmp = TestTmp();
    EXPECT_EQ(towupper(GetFinalPathDrive(tmp)), towupper(tmp[0]));
    // A path that does not exist keeps its first character.
    EXPECT_EQ(GetFinalPathDrive(L"Q:\\does\\not\\exist"), L'Q');
    EXPECT_EQ(GetFinalPathDrive(L""), 0);

    wchar_t target[1024];
    ASSERT_NE(::QueryDosDeviceW(L"C:", target, 1024), 0u);
    std::wstring dos;
    EXPECT_EQ(DosPathFromDeviceName(target, dos), 1);
    EXPECT_EQ(dos, L"C:");
    EXPECT_EQ(DosPathFromDeviceName(L"\\Device\\NoSuchDevice", dos), 0);
    EXPECT_EQ(DosPathFromDeviceName(nullptr, dos), 0);

    // No physical drive opens in the test prefix: unknown bus, not local, refused.
    EXPECT_EQ(GetPhysicalDriveBusType(99), 0);
    EXPECT_EQ(IsPhysicalDriveLocal(99), 0);
    EXPECT_EQ(GetVolumeDeviceNumber(L"\\\\.\\Q:", nullptr), 0);
    STORAGE_DEVICE_NUMBER n;
    std::memset(&n, 0xCD, sizeof(n));
    EXPECT_EQ(GetVolumeDeviceNumber(L"\\\\.\\Q:\\", &n), 0);
    EXPECT_EQ(n.DeviceNumber, 0u);
}

TEST(Wow64, GuardAndWrapper) {
    Kernel32::CKernel32Wrapper& k32 = TSingletonHolder<Kernel32::CKernel32Wrapper>::Instance();
    EXPECT_EQ(&k32, TSingletonHolder<Kernel32::CKernel32Wrapper>::pInstance);
    EXPECT_NE(k32.m_IsWow64Process, nullptr);
    EXPECT_FALSE(k32.IsWow64()); // this test is a 64-bit process
    Wow64RedirectionGuard guard; // does nothing here, and must not fail
}

} // namespace

// Both pickers ask through the presenter: a script answers them, a cancel gives 0.
TEST(Pickers, FolderAndFilesAreAskedThroughThePresenter) {
    KvTest::CScopedPresenter ps;
    wchar_t windir[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windir, MAX_PATH);
    std::wstring path;
    ps.QueueFolder(windir);
    EXPECT_EQ(1, SelectLocalFolder(nullptr, L"Каталог ресурсов", path));
    EXPECT_EQ(windir, path);
    std::wstring untouched = path;
    EXPECT_EQ(0, SelectLocalFolder(nullptr, nullptr, path)); // nothing queued: cancelled
    EXPECT_EQ(untouched, path);

    const std::wstring a = std::wstring(windir) + L"\\win.ini", b = std::wstring(windir) + L"\\system.ini";
    ps.QueueFiles({a, b});
    std::list<std::wstring> files;
    EXPECT_EQ(1, SelectFiles(nullptr, L"Файлы", nullptr, 1, files));
    EXPECT_EQ((std::list<std::wstring>{a, b}), files);
    ASSERT_EQ(1u, ps.FileQuestions().size());
    const KvUi::FilePick q = ps.FileQuestions()[0];
    EXPECT_EQ(L"Файлы", q.title);
    EXPECT_TRUE(q.multiple);
    EXPECT_TRUE(q.showHidden);
    EXPECT_TRUE(q.linksAsFiles);
    EXPECT_FALSE(q.save);
    EXPECT_EQ(0, SelectFiles(nullptr, nullptr, nullptr, 0, files));
    EXPECT_TRUE(files.empty());
}
