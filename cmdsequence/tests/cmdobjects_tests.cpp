// Enumerators of disk and registry objects, the mask test and the existence tests.
#include "KvCmdSequence.h"

#include "test_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace KvCmdSequence;
using KvTest::Describe;
using KvTest::DescribeSorted;

namespace {

TEST(IsPassMask, MatchesByLeadingAndTrailingStars) {
    struct Case {
        const wchar_t* mask;
        const wchar_t* name;
        int expected;
    } cases[] = {
        {L"*.exe", L"NOTEPAD.EXE", 1},
        {L"win*", L"Windows", 1},
        {L"*ini*", L"desktop.ini", 1},
        {L"*.exe", L"exe", 0},
        {L"*.exe", L".exe", 1},
        {L"*", L"", 1},
        {L"**", L"anything", 1},
        {L"", L"name", 0},
        {L"*", nullptr, 0},
        {nullptr, L"name", 0},
        {L"a*b", L"AB", 1},
        {L"a*b", L"axb", 0},
        {L"?.txt", L"a.txt", 0},
        {L"?.txt", L"?.TXT", 1},
        {L"Plain", L"pLAIN", 1},
        {L"Plain", L"Plainer", 0},
        {L"Pla*", L"plainer", 1},
        {L"*ner", L"PLAINER", 1},
        {L"*ainer", L"ner", 0},
        {L"(Default)", L"(Default)", 1},
        {L"(Def*", L"(Default)", 1},
        {L"*\u043a\u043b\u044e\u0447*", L"\u041a\u041b\u042e\u0427\u0418", 1}, // Cyrillic, any case
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPassMask(c.mask, c.name), c.expected)
            << KvTest::Narrow(c.mask ? c.mask : L"(null)") << " / " << KvTest::Narrow(c.name ? c.name : L"(null)");
}

class DiskWalk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = KvTest::TestTmp() + L"\\disk";
        KvTest::MakeSampleTree(s_root);
    }
    static std::wstring s_root;
};
std::wstring DiskWalk::s_root;

TEST_F(DiskWalk, CollectsByMasksAndFlags) {
    const std::wstring r = s_root;
    struct Case {
        const char* what;
        const wchar_t* dirMask;
        const wchar_t* fileMask;
        int addDirs, recursive;
        std::vector<std::wstring> expected;
    } cases[] = {
        {"files of the root", L"*", L"*.exe", 0, 0, {L"F:" + r + L"\\b.exe"}},
        {"files of every level",
         L"*",
         L"*.exe",
         0,
         1,
         {L"F:" + r + L"\\Alpha\\x.exe", L"F:" + r + L"\\Beta\\w.exe", L"F:" + r + L"\\b.exe"}},
        {"directories without recursion",
         L"*",
         L"*",
         1,
         0,
         {L"D:" + r, L"D:" + r + L"\\Alpha", L"D:" + r + L"\\Beta", L"D:" + r + L"\\Empty", L"F:" + r + L"\\a.txt",
          L"F:" + r + L"\\b.exe", L"F:" + r + L"\\c.dll"}},
        {"recursion only into matching directories",
         L"A*",
         L"*.dll",
         1,
         1,
         {L"D:" + r, L"D:" + r + L"\\Alpha", L"F:" + r + L"\\c.dll"}},
        {"walked but not listed", L"A*", L"*.dll", 0, 1, {L"F:" + r + L"\\c.dll"}},
        {"mask trimmed of blanks and slashes",
         L"*",
         L" \\*.txt/",
         0,
         1,
         {L"F:" + r + L"\\Alpha\\y.txt", L"F:" + r + L"\\a.txt"}},
        {"empty file mask finds nothing", L"*", L"", 0, 1, {}},
        {"question mark is a wildcard on disk",
         L"*",
         L"?.exe",
         0,
         1,
         {L"F:" + r + L"\\Alpha\\x.exe", L"F:" + r + L"\\Beta\\w.exe", L"F:" + r + L"\\b.exe"}},
        {"every level with directories",
         L"*",
         L"*.dll",
         1,
         1,
         {L"D:" + r, L"D:" + r + L"\\Alpha", L"D:" + r + L"\\Alpha\\Deep", L"D:" + r + L"\\Beta",
          L"D:" + r + L"\\Empty", L"F:" + r + L"\\Alpha\\Deep\\z.dll", L"F:" + r + L"\\c.dll"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::list<ScsResource> out;
        GetDiskObjectsList(r.c_str(), c.dirMask, c.fileMask, c.addDirs, c.recursive, &out);
        EXPECT_EQ(DescribeSorted(out), c.expected);
    }
}

TEST_F(DiskWalk, OrderIsDepthFirstAndTheRootKeepsItsSpelling) {
    std::list<ScsResource> out;
    const std::wstring given = s_root + L"\\";
    GetDiskObjectsList(given.c_str(), L"*", L"*", 1, 1, &out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front().strPath, given);
    // Everything below a directory follows it directly, before the next directory of its level.
    std::vector<std::wstring> paths;
    for (const ScsResource& r : out)
        paths.push_back(r.strPath);
    auto at = [&](const std::wstring& p) { return std::find(paths.begin(), paths.end(), s_root + p) - paths.begin(); };
    EXPECT_EQ(at(L"\\Alpha\\Deep"), at(L"\\Alpha") + 3); // Alpha, its two files, Deep
    EXPECT_EQ(at(L"\\Alpha\\Deep\\z.dll"), at(L"\\Alpha\\Deep") + 1);
    EXPECT_LT(at(L"\\c.dll"), at(L"\\Alpha")); // files of a level before its directories

    // A list that is not empty gets no root entry.
    std::list<ScsResource> more = {ScsResource(L"X", SCS_FILE)};
    GetDiskObjectsList(s_root.c_str(), L"*", L"*.exe", 1, 0, &more);
    EXPECT_EQ(more.size(), 5u); // X, b.exe, Alpha, Beta, Empty
}

TEST_F(DiskWalk, RefusesRootsThatAreNoDirectory) {
    std::list<ScsResource> out;
    GetDiskObjectsList((s_root + L"\\a.txt").c_str(), L"*", L"*", 1, 1, &out);
    GetDiskObjectsList((s_root + L"\\missing").c_str(), L"*", L"*", 1, 1, &out);
    GetDiskObjectsList(nullptr, L"*", L"*", 1, 1, &out);
    GetDiskObjectsList(s_root.c_str(), nullptr, L"*", 1, 1, &out);
    GetDiskObjectsList(s_root.c_str(), L"*", L"*", 1, 1, nullptr);
    EXPECT_TRUE(out.empty());
}

TEST_F(DiskWalk, FileExistenceFollowsTheDirectorySearch) {
    EXPECT_EQ(IsFileExist((s_root + L"\\a.txt").c_str()), 1);
    EXPECT_EQ(IsFileExist((s_root + L"\\Alpha").c_str()), 1);
    EXPECT_EQ(IsFileExist((s_root + L"\\Alpha\\*.exe").c_str()), 1);
    EXPECT_EQ(IsFileExist((s_root + L"\\Alpha\\*.bat").c_str()), 0);
    EXPECT_EQ(IsFileExist((s_root + L"\\nothing.txt").c_str()), 0);
    EXPECT_EQ(IsFileExist(nullptr), 0);
}

// Links that lead back into the walk (host symbolic links, made by the ctest fixture
// cmdsequence_links) are listed but not entered again.
TEST(DiskWalkLinks, DoesNotFollowALinkBackIntoTheWalk) {
    const std::wstring top = KvTest::TestTmp() + L"\\links";
    if (!IsFileExist((top + L"\\loop\\a\\back").c_str()))
        GTEST_SKIP() << "the link fixture is made by ctest (cmdsequence_links)";

    std::list<ScsResource> out;
    GetDiskObjectsList((top + L"\\loop").c_str(), L"*", L"*", 1, 1, &out);
    const std::wstring l = top + L"\\loop";
    EXPECT_EQ(DescribeSorted(out), (std::vector<std::wstring>{
                                       L"D:" + l, L"D:" + l + L"\\a", L"D:" + l + L"\\a\\back", L"D:" + l + L"\\other",
                                       L"D:" + l + L"\\other\\toA", L"D:" + l + L"\\other\\toA\\back",
                                       L"F:" + l + L"\\a\\file.txt", L"F:" + l + L"\\other\\toA\\file.txt"}));

    // Two links that lead to each other: the first is followed, the one back is not.
    out.clear();
    const std::wstring a = top + L"\\cross\\A";
    GetDiskObjectsList(a.c_str(), L"*", L"*.txt", 0, 1, &out);
    EXPECT_EQ(DescribeSorted(out), (std::vector<std::wstring>{L"F:" + a + L"\\fa.txt", L"F:" + a + L"\\j1\\fb.txt"}));
}

// A walk from a drive's root: the root's base "P:" alone names the drive's current directory, so
// the guard has to take the identity of "P:\\" to stop at a link that leads back to the root.
TEST(DiskWalkLinks, DoesNotFollowALinkBackToTheDrivesRoot) {
    const std::wstring top = KvTest::TestTmp() + L"\\links";
    if (!IsFileExist((top + L"\\loop\\a\\back").c_str()))
        GTEST_SKIP() << "the link fixture is made by ctest (cmdsequence_links)";
    const std::wstring drive = KvTest::FreeDriveName();
    ASSERT_FALSE(drive.empty());
    ASSERT_TRUE(DefineDosDeviceW(0, drive.c_str(), (top + L"\\loop").c_str()));
    if (!IsFileExist((drive + L"\\a\\file.txt").c_str()) || !SetCurrentDirectoryW((drive + L"\\other").c_str())) {
        // Wine keeps such a definition in its object namespace, where file paths do not look.
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
        GTEST_SKIP() << "no file access through a drive defined by this process";
    }
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    const bool moved = SetCurrentDirectoryW((drive + L"\\other").c_str()) != FALSE;

    std::list<ScsResource> out;
    GetDiskObjectsList((drive + L"\\").c_str(), L"*", L"*", 1, 1, &out);
    SetCurrentDirectoryW(saved);
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    ASSERT_TRUE(moved);

    const std::wstring d = drive;
    EXPECT_EQ(DescribeSorted(out),
              (std::vector<std::wstring>{L"D:" + d + L"\\", L"D:" + d + L"\\a", L"D:" + d + L"\\a\\back",
                                         L"D:" + d + L"\\other", L"D:" + d + L"\\other\\toA",
                                         L"D:" + d + L"\\other\\toA\\back", L"F:" + d + L"\\a\\file.txt",
                                         L"F:" + d + L"\\other\\toA\\file.txt"}));
}

class RegistryWalk : public ::testing::Test {
protected:
    RegistryWalk() : m_key(L"cmdsequence_tests_walk") {
        m_key.SetString(L"", L"", L"def");
        m_key.SetString(L"", std::wstring(1100, L'A'), L"long name"); // enumerated before the rest
        m_key.SetString(L"", L"a\\b", L"x");
        m_key.SetString(L"", L"Plain", L"C:\\Data");
        m_key.SetString(L"", L"Zeta", std::wstring(300, L'z'));
        m_key.SetString(L"Sub1", L"v1", L"1");
        m_key.SetString(L"Sub1\\Inner", L"v2", L"2");
        m_key.SetString(L"Other", L"o", L"3");
    }
    KvTest::CRegFixture m_key;
};

TEST_F(RegistryWalk, CollectsByMasksAndFlags) {
    const std::wstring k = m_key.Path();
    const std::wstring def = std::wstring(L"\\") + RegDefaultValueToken;
    const std::wstring ab = std::wstring(L"\\a") + RegBackslashToken + L"b";
    struct Case {
        const char* what;
        const wchar_t* keyMask;
        const wchar_t* valueMask;
        int addKeys, recursive;
        std::vector<std::wstring> expected; // in enumeration order
    } cases[] = {
        {"values of the key; a long name is skipped, not the end",
         L"*",
         L"*",
         0,
         0,
         {L"V:" + k + def, L"V:" + k + ab, L"V:" + k + L"\\Plain", L"V:" + k + L"\\Zeta"}},
        {"default value by its shown name", L"*", L"(Default)", 0, 0, {L"V:" + k + def}},
        {"default value by a leading part", L"*", L"(Def*", 0, 0, {L"V:" + k + def}},
        {"empty mask", L"*", L"", 0, 0, {}},
        {"star inside a mask is dropped", L"*", L"Pl*n", 0, 0, {}},
        {"every key and value",
         L"*",
         L"*",
         1,
         1,
         {L"K:" + k, L"V:" + k + def, L"V:" + k + ab, L"V:" + k + L"\\Plain", L"V:" + k + L"\\Zeta",
          L"K:" + k + L"\\Other", L"V:" + k + L"\\Other\\o", L"K:" + k + L"\\Sub1", L"V:" + k + L"\\Sub1\\v1",
          L"K:" + k + L"\\Sub1\\Inner", L"V:" + k + L"\\Sub1\\Inner\\v2"}},
        {"recursion enters keys that do not match",
         L"S*",
         L"v*",
         1,
         1,
         {L"K:" + k, L"K:" + k + L"\\Sub1", L"V:" + k + L"\\Sub1\\v1", L"V:" + k + L"\\Sub1\\Inner\\v2"}},
        {"values of every level, no keys",
         L"*",
         L"v*",
         0,
         1,
         {L"V:" + k + L"\\Sub1\\v1", L"V:" + k + L"\\Sub1\\Inner\\v2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::list<ScsResource> out;
        GetRegestryObjectsList(k.c_str(), c.keyMask, c.valueMask, c.addKeys, c.recursive, &out);
        EXPECT_EQ(Describe(out), c.expected);
    }

    std::list<ScsResource> out;
    std::wstring lower = L"hkey_current_user" + k.substr(17);
    GetRegestryObjectsList(lower.c_str(), L"*", L"*", 1, 1, &out);
    GetRegestryObjectsList((k + L"\\Missing").c_str(), L"*", L"*", 1, 1, &out);
    EXPECT_TRUE(out.empty());
}

TEST_F(RegistryWalk, ExistenceTests) {
    const std::wstring k = m_key.Path();
    struct Case {
        std::wstring path;
        int key, value;
    } cases[] = {
        {k, 1, 0},
        {k + L"\\Sub1\\Inner", 1, 0},
        {k + L"\\Missing", 0, 0},
        {L"HKEY_CURRENT_USER", 1, 0},
        {L"hkey_current_user\\Software", 0, 0},
        {L"HKEY_CURRENT_USERX\\Software", 0, 0},
        {L"HKEY_LOCAL_MACHINE\\HARDWARE", 0, 0},
        {L"HKEY_LOCAL_MACHINE\\Hardware\\DESCRIPTION", 0, 0},
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE", 1, 0},
        {k + L"\\" + RegDefaultValueToken, 0, 1},
        {k + L"\\{c51badb1-f859-4C8E-b5f7-cd2223f03917}", 0, 1}, // the default token in any case
        {k + L"\\a" + RegBackslashToken + L"b", 0, 1},
        {k + L"\\a\\b", 0, 0},     // the key a does not exist
        {k + L"\\Zeta", 1 - 1, 1}, // 600 bytes of data: exists all the same
        {k + L"\\Nope", 0, 0},
        {k + L"\\Sub1\\" + RegDefaultValueToken, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KvTest::Narrow(c.path));
        EXPECT_EQ(IsRegKeyExist(c.path.c_str()), c.key);
        EXPECT_EQ(IsRegValueExist(c.path.c_str()), c.value);
    }
    EXPECT_EQ(IsRegKeyExist(nullptr), 0);
    EXPECT_EQ(IsRegValueExist(nullptr), 0);
    EXPECT_EQ(IsRegKeyVirtual(nullptr), 0);
}

TEST(RegistrySkipped, VirtualStoresAreAbsentButReadable) {
    // A key in the per-user virtual store exists, yet the tests treat it as absent; a sibling whose
    // name only begins like it is not in the area.
    KvTest::CRegFixture store(L"KvCmdSequenceTests", L"Software\\Classes\\VirtualStore");
    KvTest::CRegFixture sibling(L"VirtualStoreKvCmdSequenceTests", L"Software\\Classes");
    store.SetString(L"", L"Dir", L"C:\\Stored");
    const std::wstring storeKey = L"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\KvCmdSequenceTests";
    const std::wstring siblingKey = L"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStoreKvCmdSequenceTests";
    EXPECT_EQ(IsRegKeyExist(storeKey.c_str()), 0);
    EXPECT_EQ(IsRegValueExist((storeKey + L"\\Dir").c_str()), 0);
    EXPECT_EQ(IsRegKeyExist(siblingKey.c_str()), 1);
    std::list<ScsResource> out;
    GetRegestryObjectsList(storeKey.c_str(), L"*", L"*", 1, 1, &out);
    EXPECT_TRUE(out.empty());

    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(GetRegValueStr((storeKey + L"\\Dir").c_str(), buffer, MAX_PATH), 1);
    EXPECT_STREQ(buffer, L"C:\\Stored");
}

TEST_F(RegistryWalk, ValueTextsAreAlwaysTerminated) {
    const std::wstring k = m_key.Path();
    // Texts stored without their terminating zero, or that fill the buffer exactly.
    const std::wstring bare = L"C:\\Bare";
    m_key.SetRaw(L"", L"Bare", REG_SZ, bare.data(), static_cast<DWORD>(bare.size() * 2));
    const std::wstring fits(259, L'f'), full(260, L'g');
    m_key.SetString(L"", L"Fits", fits);
    m_key.SetRaw(L"", L"Full", REG_SZ, full.data(), static_cast<DWORD>(full.size() * 2));
    const BYTE odd[] = {'A', 0, 'B'};
    m_key.SetRaw(L"", L"Odd", REG_BINARY, odd, sizeof(odd));

    struct Case {
        std::wstring value;
        int result;
        std::wstring text;
    } cases[] = {
        {L"Plain", 1, L"C:\\Data"},
        {L"Bare", 1, L"C:\\Bare"},
        {L"Fits", 1, fits},
        {L"Full", 0, L""}, // no room for the terminating zero
        {L"Zeta", 0, L""}, // 300 characters do not fit
        {L"Odd", 1, L"AB"},
        {L"Missing", 0, L""},
        {RegDefaultValueToken, 1, L"def"},
        {std::wstring(L"a") + RegBackslashToken + L"b", 1, L"x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KvTest::Narrow(c.value));
        wchar_t buffer[MAX_PATH + 8];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        EXPECT_EQ(GetRegValueStr((k + L"\\" + c.value).c_str(), buffer, MAX_PATH), c.result);
        EXPECT_EQ(std::wstring(buffer), c.text);
        EXPECT_EQ(buffer[MAX_PATH], L'#'); // nothing written past the given length
    }
    wchar_t untouched[4] = {L'u', 0};
    EXPECT_EQ(GetRegValueStr((k + L"\\Plain").c_str(), untouched, 0), 0);
    EXPECT_EQ(untouched[0], L'u');
    EXPECT_EQ(GetRegValueStr(nullptr, untouched, 4), 0);
    EXPECT_EQ(GetRegValueStr((k + L"\\Plain").c_str(), nullptr, 4), 0);
}

TEST_F(RegistryWalk, FixPathResolvesReferencesWithinItsBuffer) {
    const std::wstring k = m_key.Path();
    m_key.SetString(L"", L"Dir", L"C:\\Vendor\\");
    const std::wstring ref = L"#" + k + L"\\Dir#";
    struct Case {
        std::wstring path, expected;
    } cases[] = {
        {ref + L"\\bin", L"C:\\Vendor\\\\bin"},
        {ref, L"C:\\Vendor"},
        {L"D:\\x\\" + ref + L"sub", L"D:\\x\\C:\\Vendor\\sub"},
        {L"#HKEY_LOCAL_MACHINE\\Missing\\Value#\\bin\\", L"\\bin"},
        {L"#" + k + L"\\Zeta#\\bin", L"\\bin"}, // too long for a path: left out
        {L"C:\\Data\\", L"C:\\Data"},
        {L"C:\\Data\\\\//", L"C:\\Data"},
        {L"plain", L"plain"},
        {L"##" + k + L"\\Dir##x", L"C:\\Vendor\\x"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KvTest::Narrow(c.path));
        wchar_t buffer[MAX_PATH] = {};
        ASSERT_LT(c.path.size(), MAX_PATH);
        std::copy(c.path.begin(), c.path.end(), buffer);
        EXPECT_EQ(FixPath(buffer), 1);
        EXPECT_EQ(std::wstring(buffer), c.expected);
    }

    // A result longer than a path is cut to 259 characters; nothing past the buffer changes.
    wchar_t buffer[MAX_PATH + 16];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    const std::wstring longPath = std::wstring(150, L'p') + L"#" + k + L"\\Fits2#";
    m_key.SetString(L"", L"Fits2", std::wstring(200, L'v'));
    ASSERT_LT(longPath.size(), MAX_PATH);
    std::copy(longPath.begin(), longPath.end(), buffer);
    buffer[longPath.size()] = 0;
    EXPECT_EQ(FixPath(buffer), 1);
    EXPECT_EQ(std::wstring(buffer), std::wstring(150, L'p') + std::wstring(109, L'v'));
    for (int i = MAX_PATH; i < MAX_PATH + 16; ++i)
        EXPECT_EQ(buffer[i], L'#');
    EXPECT_EQ(FixPath(nullptr), 0);
}

TEST(InstalledPrograms, EnumeratorChangesNothing) {
    std::list<ScsResource> files = {ScsResource(L"a", SCS_FILE)}, registry;
    GetMSIObjectsList(L"{00000000-0000-0000-0000-000000000000}", 1, &files, &registry);
    EXPECT_EQ(Describe(files), std::vector<std::wstring>{L"F:a"});
    EXPECT_TRUE(registry.empty());
}

} // namespace
