// The one-walk collection of a command's disk objects against the per-mask walk it replaces
// (GetDiskObjectsList once per pair of masks, the platform's directory search per mask and
// folder), and the key-based sort against lstrcmpiW, on trees made to catch the search's odd
// rules: "?" masks, "*.*" and "*.", names without a dot, several dots, repeated suffixes, short
// (8.3) names, Cyrillic names and characters that upper-case into ASCII.
#include "CmdInternal.h"

#include "test_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace KvCmdSequence;
using KvTest::Describe;

namespace {

// Today's collection of a command: one walk per pair of masks, as the run did it.
std::list<ScsResource> PerMaskWalks(const std::wstring& root, const std::vector<std::wstring>& dirMasks,
                                    const std::vector<std::wstring>& fileMasks, int addDirs, int recursive) {
    std::list<ScsResource> out;
    for (const std::wstring& dir : dirMasks)
        for (const std::wstring& file : fileMasks)
            GetDiskObjectsList(root.c_str(), dir.c_str(), file.c_str(), addDirs, recursive, &out);
    return out;
}

std::list<ScsResource> OneWalk(const std::wstring& root, const std::vector<std::wstring>& dirMasks,
                               const std::vector<std::wstring>& fileMasks, int addDirs, int recursive) {
    std::list<ScsResource> out;
    Detail::CollectDiskObjects(root, dirMasks, fileMasks, addDirs, recursive, out);
    return out;
}

// Names that each level of the tree holds.
const std::vector<std::wstring> kNames = {
    L"aaa",
    L"aa",
    L"a",
    L"x.html",
    L"LongFileName.txt",
    L"a.txt",
    L"b.TXT",
    L"abc",
    L"abc.d",
    L"a.b.c",
    L".hidden",
    L"noext",
    L"README",
    L"a.exe.exe",
    L"B.EXE",
    L"c.exe1",
    L"tool.dll",
    L"Tool.Dll.bak",
    L"x.y.tar.gz",
    L"\x0444\x0430\x0439\x043B.exe",
    L"\x017Fystem.txt",
    L"d\x0131r.txt",
    L"name with blanks.txt",
    L"ab",
    L"ba",
    L"abab",
    L"q.htm",
    L"Z.HTML~",
};
const std::vector<std::wstring> kDirs = {L"sub1", L"Sub2.d",     L"Program Files",
                                         L"PF",   L"deep.dir.x", L"\x043F\x0430\x043F\x043A\x0430"};

class OneWalkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = KvTest::TestTmp() + L"\\onewalk";
        KvTest::RemoveTree(s_root);
        std::vector<std::wstring> entries;
        auto level = [&](const std::wstring& prefix) {
            for (const std::wstring& name : kNames)
                entries.push_back(prefix + name);
        };
        level(L"");
        for (const std::wstring& dir : kDirs) {
            level(dir + L"\\");
            level(dir + L"\\" + dir + L"\\");
            entries.push_back(dir + L"\\inner.dir\\");
            entries.push_back(dir + L"\\inner.dir\\f.txt");
        }
        KvTest::MakeTree(s_root, entries);
        // The short name of a long one, as the system reports it (Windows: the volume's 8.3 name;
        // Wine: its hashed form), for a mask that names a file by its short name.
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((s_root + L"\\LongFileName.txt").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            s_shortName = data.cAlternateFileName;
            FindClose(find);
        }
    }
    static std::wstring s_root;
    static std::wstring s_shortName;
};
std::wstring OneWalkTest::s_root;
std::wstring OneWalkTest::s_shortName;

TEST_F(OneWalkTest, EachMaskAloneGivesWhatItsSearchGives) {
    std::vector<std::wstring> masks = {
        L"*",        L"*.*",     L"*.",     L"?",        L"??",   L"a?",          L"?.txt",     L"a?.txt",
        L"*.tx?",    L"*aa",     L"*a",     L"a*a",      L"*ab",  L"*.htm",       L"*.html",    L"*.exe",
        L"*.EXE",    L"abc.*",   L"abc",    L"ABC",      L"abc.", L"LONG*",       L"long*.txt", L"*.b",
        L"x.htm",    L"A*",      L"readme", L"\x0444*",  L"s*",   L"S*.txt",      L"*R.TXT",    L"*.gz",
        L"*.tar.gz", L"*.dll*",  L"tool.*", L"..*",      L"a..*", L"*~",          L"name*",     L"*blanks.txt",
        L"*.t*",     L"**",      L"*.*.*",  L"<.exe",    L"a\"",  L"sub1\\*.txt", L"/a.txt\\",  L"PROGRA~1",
        L"nul",      L"CON.txt", L"com1",   L"Lpt9.log", L"aux ",
    };
    if (!s_shortName.empty())
        masks.push_back(s_shortName);
    for (const std::wstring& mask : masks) {
        for (int recursive = 0; recursive < 2; ++recursive) {
            EXPECT_EQ(Describe(OneWalk(s_root, {L"*"}, {mask}, 0, recursive)),
                      Describe(PerMaskWalks(s_root, {L"*"}, {mask}, 0, recursive)))
                << "file mask " << KvTest::Narrow(mask) << ", recursive " << recursive;
            EXPECT_EQ(Describe(OneWalk(s_root, {mask}, {L"*"}, 1, recursive)),
                      Describe(PerMaskWalks(s_root, {mask}, {L"*"}, 1, recursive)))
                << "directory mask " << KvTest::Narrow(mask) << ", recursive " << recursive;
        }
    }
}

TEST_F(OneWalkTest, MaskListsGiveThePerMaskOrderAndRepeats) {
    struct Case {
        std::vector<std::wstring> dirs, files;
    };
    const Case cases[] = {
        {{L"*"}, {L"*.exe", L"*.dll"}},
        {{L"*"}, {L"*.exe", L"*.EXE", L"*.*"}},
        {{L"s*", L"*.d", L"P*"}, {L"*.txt", L"?.txt", L"abc*"}},
        {{L"*.*", L"?ub1"}, {L"*", L"*aa"}},
        {{L"Program*", L"*"}, {L"a", L"*.htm", L"noext"}},
        {{L"*"}, {L""}},
        {{L""}, {L"*"}},
        {{L"*"}, {L"sub1\\*.txt", L"*.exe"}},
    };
    for (const Case& c : cases) {
        for (int addDirs = 0; addDirs < 2; ++addDirs) {
            for (int recursive = 0; recursive < 2; ++recursive) {
                EXPECT_EQ(Describe(OneWalk(s_root, c.dirs, c.files, addDirs, recursive)),
                          Describe(PerMaskWalks(s_root, c.dirs, c.files, addDirs, recursive)))
                    << "masks " << KvTest::Narrow(c.dirs[0]) << " / " << KvTest::Narrow(c.files[0]) << ", add "
                    << addDirs << ", recursive " << recursive;
            }
        }
    }
}

TEST_F(OneWalkTest, RootsAsThePerMaskWalkTakesThem) {
    // A trailing backslash kept in the root's own entry, a file as root, a missing root, a list
    // that already holds something (no root entry then).
    for (const std::wstring& root : {s_root + L"\\", s_root + L"\\a.txt", s_root + L"\\missing"}) {
        EXPECT_EQ(Describe(OneWalk(root, {L"*"}, {L"*.txt"}, 1, 1)),
                  Describe(PerMaskWalks(root, {L"*"}, {L"*.txt"}, 1, 1)))
            << KvTest::Narrow(root);
    }
    std::list<ScsResource> one{ScsResource(L"held", SCS_FILE)}, per = one;
    Detail::CollectDiskObjects(s_root, {L"*"}, {L"*.exe"}, 1, 0, one);
    GetDiskObjectsList(s_root.c_str(), L"*", L"*.exe", 1, 0, &per);
    EXPECT_EQ(Describe(one), Describe(per));
}

// Opens the run for the sort test.
class CRunner : public CCmdSequence {
public:
    using CCmdSequence::PassCmdList;
};

TEST(SortByKeys, SameOrderAndRepeatsAsLstrcmpi) {
    // Paths that a byte order, an ordinal case-insensitive order and a careless key would each
    // put otherwise: case, Cyrillic (with YO), punctuation that the word sort weighs apart,
    // digits, prefixes, equal paths of two kinds, and the same path in two spellings.
    const std::vector<std::wstring> names = {
        L"C:\\b",
        L"c:\\A",
        L"C:\\a",
        L"C:\\a-b",
        L"C:\\ab",
        L"C:\\a'b",
        L"C:\\a_b",
        L"C:\\a b",
        L"C:\\a.b",
        L"C:\\a~b",
        L"C:\\a10",
        L"C:\\a9",
        L"C:\\A9",
        L"C:\\\x0451\x043B\x043A\x0430",
        L"C:\\\x0415\x041B\x041A\x0410",
        L"C:\\\x0401\x041B\x041A\x0410",
        L"C:\\\x0436",
        L"C:\\Z",
        L"C:\\z\\",
        L"C:\\z\\a",
        L"C:\\",
        L"",
        L"C:\\co-op",
        L"C:\\coop",
        L"C:\\Coop",
        L"C:\\\x00E9t\x00E9",
        L"C:\\ete",
        L"C:\\\x00C9T\x00C9",
        L"C:\\[x]",
        L"C:\\{x}",
        L"C:\\x$",
        L"C:\\#x",
    };
    std::list<ScsResource> input;
    for (int round = 0; round < 3; ++round)
        for (std::size_t i = 0; i < names.size(); ++i)
            input.emplace_back(names[(i * 7 + round * 5) % names.size()],
                               (i + round) % 3 == 0 ? SCS_DIRECTORY : SCS_FILE);

    std::list<ScsResource> expected = input;
    expected.sort(
        [](const ScsResource& a, const ScsResource& b) { return lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) < 0; });
    expected.unique([](const ScsResource& a, const ScsResource& b) {
        return a.nType == b.nType && lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) == 0;
    });

    CRunner seq;
    std::list<ScsResource> files = input, registry, modules = input;
    ASSERT_EQ(seq.PassCmdList(files, registry, modules), 1);
    EXPECT_EQ(Describe(files), Describe(expected));
    EXPECT_EQ(Describe(modules), Describe(expected));
}

TEST_F(OneWalkTest, RunResultsEqualTheLstrcmpiSortOfThePerMaskWalks) {
    CRunner seq;
    seq.GetCmdList()->push_back(KvTest::Cmd(L"", CMD_DIRS_WITH_FILES, 0, 1, 0, s_root, L"*;s*", L"*.txt;*.*;a?"));
    seq.GetCmdList()->push_back(KvTest::Cmd(L"", CMD_DIR_FILES, 0, 1, 0, s_root, L"*", L"*.exe;*aa;abc.*"));
    std::list<ScsResource> files, registry, modules;
    ASSERT_EQ(seq.PassCmdList(files, registry, modules), 1);

    std::list<ScsResource> expected = PerMaskWalks(s_root, {L"*", L"s*"}, {L"*.txt", L"*.*", L"a?"}, 1, 1);
    std::list<ScsResource> second = PerMaskWalks(s_root, {L"*"}, {L"*.exe", L"*aa", L"abc.*"}, 0, 1);
    expected.splice(expected.end(), second);
    expected.sort(
        [](const ScsResource& a, const ScsResource& b) { return lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) < 0; });
    expected.unique([](const ScsResource& a, const ScsResource& b) {
        return a.nType == b.nType && lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) == 0;
    });
    EXPECT_GT(expected.size(), 100u);
    EXPECT_EQ(Describe(files), Describe(expected));
}

} // namespace
