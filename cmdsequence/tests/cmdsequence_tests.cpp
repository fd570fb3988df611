// The command list of KvCmdSequence64: buffer text, list operations, copies, and objects that
// cross the module boundary.
#include "KvCmdSequence.h"

#include "module_imports.h"
#include "test_fixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

using namespace KvCmdSequence;

namespace KvCmdSequence {
// Readable failures: a command as "name|type excl rec deps|root|dirs|files".
void PrintTo(const SOneCmd& c, std::ostream* os) {
    auto narrow = [](const std::wstring& s) {
        std::string out;
        for (wchar_t ch : s)
            out += (ch < 128) ? static_cast<char>(ch) : '?';
        return out;
    };
    *os << '"' << narrow(c.strName) << '|' << c.nType << ' ' << c.bExclude << ' ' << c.bRecursive << ' '
        << c.bDependencies << '|' << narrow(c.strRoot) << '|' << narrow(c.strDirMasks) << '|' << narrow(c.strFileMasks)
        << '"';
}
bool operator==(const SOneCmd& a, const SOneCmd& b) {
    return a.strName == b.strName && a.nType == b.nType && a.bExclude == b.bExclude && a.bRecursive == b.bRecursive &&
           a.bDependencies == b.bDependencies && a.strRoot == b.strRoot && a.strDirMasks == b.strDirMasks &&
           a.strFileMasks == b.strFileMasks;
}
} // namespace KvCmdSequence

namespace {

const std::wstring F(1, CmdFieldSeparator);
const std::wstring R(1, CmdRecordSeparator);

using KvTest::Cmd;

std::vector<SOneCmd> Commands(CCmdSequence& seq) {
    return std::vector<SOneCmd>(seq.GetCmdList()->begin(), seq.GetCmdList()->end());
}

// Opens the protected members for the tests.
class CTestSequence : public CCmdSequence {
public:
    using CCmdSequence::m_lstExtensions;
    using CCmdSequence::m_mapDrives;
    using CCmdSequence::m_mapEnvVars;
    using CCmdSequence::m_mapResSeen;
    using CCmdSequence::m_mapShares;
};

TEST(CmdBuffer, SaveWritesTheRecordFormat) {
    struct Case {
        SOneCmd cmd;
        std::wstring text;
    } cases[] = {
        {Cmd(L"Prog", 1, 0, 1, 1, L"C:\\App", L"*", L"*.exe;*.dll"),
         L"Prog" + F + L"1 0 1 1" + F + L"C:\\App" + F + L"*" + F + L"*.exe;*.dll" + R},
        {Cmd(L""), L"/" + F + L"0 0 0 0" + F + L"/" + F + L"*" + F + L"*" + R},
        {Cmd(L"n", -5, 2147483647, -2147483647 - 1, 7, L"r", L"", L""),
         L"n" + F + L"-5 2147483647 -2147483648 7" + F + L"r" + F + L"/" + F + L"/" + R},
        {Cmd(L"Задача 1", 3, 1, 0, 0, L"HKEY_CURRENT_USER\\Software", L"A*, B*", L"; *"),
         L"Задача 1" + F + L"3 1 0 0" + F + L"HKEY_CURRENT_USER\\Software" + F + L"A*, B*" + F + L"; *" + R},
    };
    for (const Case& c : cases) {
        CCmdSequence seq;
        seq.GetCmdList()->push_back(c.cmd);
        std::wstring out = L"old content";
        EXPECT_EQ(seq.SaveBuff(out), 1);
        EXPECT_EQ(out, c.text);
    }

    CCmdSequence empty;
    std::wstring out = L"old content";
    EXPECT_EQ(empty.SaveBuff(out), 1);
    EXPECT_EQ(out, L"");
}

TEST(CmdBuffer, RoundTripKeepsCommandsAndOrder) {
    const std::vector<SOneCmd> commands = {
        Cmd(L"Prog", 1, 0, 1, 1, L"C:\\App", L"*", L"*.exe;*.dll"),
        Cmd(L""),
        Cmd(L"", 2, 1, 1, 0, L"", L"", L""),
        Cmd(L"Prog", 4, 0, 0, 0, L"%ProgramW6432%\\#HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\Dir#", L"a b;c,d", L"*.dll"),
        Cmd(L"Ключи", -1, -2, 2147483647, -2147483647 - 1, L"HKEY_LOCAL_MACHINE", L"Soft*", L"(Default)"),
        Cmd(L"  blanks  ", 0, 0, 0, 0, L" ", L" ", L"\t"),
    };
    CCmdSequence source;
    for (const SOneCmd& c : commands)
        source.GetCmdList()->push_back(c);
    std::wstring text;
    ASSERT_EQ(source.SaveBuff(text), 1);

    CCmdSequence target;
    target.GetCmdList()->push_back(Cmd(L"replaced"));
    ASSERT_EQ(target.LoadBuff(text.c_str()), 1);
    EXPECT_EQ(Commands(target), commands);

    // A field that is exactly "/" reads back as empty: the format has no escape.
    CCmdSequence slash;
    slash.GetCmdList()->push_back(Cmd(L"/", 0, 0, 0, 0, L"/", L"/", L"*"));
    ASSERT_EQ(slash.SaveBuff(text), 1);
    ASSERT_EQ(target.LoadBuff(text.c_str()), 1);
    EXPECT_EQ(Commands(target), std::vector<SOneCmd>{Cmd(L"", 0, 0, 0, 0, L"", L"", L"*")});
}

TEST(CmdBuffer, LoadReadsMalformedBuffersByTheRules) {
    const SOneCmd def = Cmd(L"");
    struct Case {
        const char* what;
        std::wstring buffer;
        std::vector<SOneCmd> expected;
    } cases[] = {
        {"empty text", L"", {}},
        {"separators only", R + R + R, {}},
        {"name only", L"A", {Cmd(L"A")}},
        {"empty field without slash shifts the numbers", L"A" + F + F + L"2 1 0 0", {Cmd(L"A", 2, 1)}},
        {"one number", L"A" + F + L"3", {Cmd(L"A", 3)}},
        {"unreadable first number", L"A" + F + L"x 1", {Cmd(L"A")}},
        {"reading stops at a bad number", L"A" + F + L"1 2 y 4", {Cmd(L"A", 1, 2)}},
        {"number out of range", L"A" + F + L"1 2 99999999999 4", {Cmd(L"A", 1, 2)}},
        {"signs and white space", L"A" + F + L" +4 \t-1  1 1 9", {Cmd(L"A", 4, -1, 1, 1)}},
        {"seven fields",
         L"A" + F + L"1 0 0 0" + F + L"r" + F + L"d" + F + L"f" + F + L"x" + F + L"y",
         {Cmd(L"A", 1, 0, 0, 0, L"r", L"d", L"f")}},
        {"last record without separator", L"A" + F + L"0 0 0 0" + R + L"B", {Cmd(L"A"), Cmd(L"B")}},
        {"separator runs and a leading one", R + R + L"A" + R + R + R + L"B" + R, {Cmd(L"A"), Cmd(L"B")}},
        {"record of field separators only", F + F + F + R, {def}},
        {"field separators at the ends", F + L"A" + F + L"1" + F + R, {Cmd(L"A", 1)}},
        {"slashes become empty",
         L"/" + F + L"0 0 0 0" + F + L"/" + F + L"/" + F + L"/" + R,
         {Cmd(L"", 0, 0, 0, 0, L"", L"", L"")}},
        {"a slash inside a text stays", L"a/b" + F + L"0" + F + L"//" + R, {Cmd(L"a/b", 0, 0, 0, 0, L"//")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCmdSequence seq;
        seq.GetCmdList()->push_back(Cmd(L"previous"));
        EXPECT_EQ(seq.LoadBuff(c.buffer.c_str()), 1);
        EXPECT_EQ(Commands(seq), c.expected);
        EXPECT_EQ(seq.IsEmpty(), c.expected.empty() ? 1 : 0);
    }
}

TEST(CmdBuffer, NullBufferChangesNothing) {
    CCmdSequence seq;
    seq.GetCmdList()->push_back(Cmd(L"A", 1));
    EXPECT_EQ(seq.LoadBuff(nullptr), 0);
    EXPECT_EQ(Commands(seq), std::vector<SOneCmd>{Cmd(L"A", 1)});
}

TEST(CmdList, FindCmdByNameIsExactAndTakesTheFirst) {
    CCmdSequence seq;
    std::list<SOneCmd>* list = seq.GetCmdList();
    list->push_back(Cmd(L"Prog", 1));
    list->push_back(Cmd(L"", 2));
    list->push_back(Cmd(L"Prog", 3));
    list->push_back(Cmd(L"Prog2", 4));

    EXPECT_EQ(seq.FindCmdByName(L"Prog"), &list->front());
    EXPECT_EQ(seq.FindCmdByName(L"prog"), nullptr);
    EXPECT_EQ(seq.FindCmdByName(L"Pro"), nullptr);
    EXPECT_EQ(seq.FindCmdByName(L"Prog2")->nType, 4);
    EXPECT_EQ(seq.FindCmdByName(L"")->nType, 2);
    EXPECT_EQ(seq.FindCmdByName(nullptr), nullptr);

    // The result is the element itself: a change through it is a change of the list.
    seq.FindCmdByName(L"Prog2")->strRoot = L"C:\\X";
    EXPECT_EQ(list->back().strRoot, L"C:\\X");
}

TEST(CmdList, ConstructionReadsTheEnvironmentAndExtensions) {
    CTestSequence seq;
    EXPECT_EQ(seq.IsEmpty(), 1);
    EXPECT_TRUE(seq.m_mapResSeen.empty());

    wchar_t root[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH), 0u);
    EXPECT_EQ(seq.m_mapEnvVars[root], L"%SystemRoot%");
    wchar_t programs[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ProgramW6432", programs, MAX_PATH)) {
        EXPECT_EQ(seq.m_mapEnvVars[programs], L"%ProgramW6432%"); // the later name owns the value
    }

    const std::list<std::wstring> extensions = {L".exe", L".dll", L".cpl", L".drv", L".sys", L".ocx",
                                                L".vbs", L".scr", L".rll", L".ime", L".bpl", L".ax",
                                                L".acm", L".com", L".ppl", L".cmd", L".bat"};
    EXPECT_EQ(seq.m_lstExtensions, extensions);
}

TEST(CmdList, ClearAllEmptiesOnlyCommandsAndSeenPaths) {
    CTestSequence seq;
    seq.GetCmdList()->push_back(Cmd(L"A"));
    seq.m_mapResSeen[L"C:\\X"] = 0;
    seq.m_mapDrives[L"N:"] = L"\\\\server\\data";
    const auto env = seq.m_mapEnvVars;
    ASSERT_FALSE(env.empty());

    seq.ClearAll();
    EXPECT_EQ(seq.IsEmpty(), 1);
    EXPECT_TRUE(seq.m_mapResSeen.empty());
    EXPECT_EQ(seq.m_mapEnvVars, env);
    EXPECT_EQ(seq.m_mapDrives[L"N:"], L"\\\\server\\data");
    EXPECT_EQ(seq.m_lstExtensions.size(), 17u);
}

TEST(CmdList, CopiesAreIndependentAndTakeTheMapsOver) {
    CTestSequence original;
    original.GetCmdList()->push_back(Cmd(L"A", 1));
    original.m_mapShares[L"\\\\127.0.0.1\\S"] = L"D:\\S";
    original.m_mapResSeen[L"C:\\SEEN"] = 0;

    CTestSequence copy(original);
    EXPECT_EQ(Commands(copy), Commands(original));
    EXPECT_EQ(copy.m_mapShares, original.m_mapShares);
    EXPECT_EQ(copy.m_mapResSeen, original.m_mapResSeen);
    EXPECT_EQ(copy.m_mapEnvVars, original.m_mapEnvVars);
    copy.GetCmdList()->front().strName = L"changed";
    copy.GetCmdList()->push_back(Cmd(L"B"));
    EXPECT_EQ(Commands(original), std::vector<SOneCmd>{Cmd(L"A", 1)});

    CTestSequence assigned;
    assigned.GetCmdList()->push_back(Cmd(L"old"));
    assigned.m_mapDrives[L"Q:"] = L"C:\\Q";
    assigned = original;
    EXPECT_EQ(Commands(assigned), Commands(original));
    EXPECT_EQ(assigned.m_mapDrives, original.m_mapDrives);
    EXPECT_EQ(assigned.m_mapShares, original.m_mapShares);

    CCmdSequence& base = original;
    const CCmdSequence& self = original;
    base = self;
    EXPECT_EQ(Commands(original), std::vector<SOneCmd>{Cmd(L"A", 1)});
    EXPECT_EQ(original.m_mapShares.size(), 1u);
}

// Commands allocated by this program are freed by the library, and the other way round. Both sides
// must use the one shared C++ run-time for that to be sound.
TEST(CmdModuleBoundary, CommandsAreFreedOnTheOtherSide) {
    const std::wstring text = L"A" + F + L"1 0 1 1" + F + L"C:\\App" + F + L"*" + F + L"*.exe" + R;

    // Allocated here, freed in the library by LoadBuff, ClearAll and the virtual destructor.
    std::unique_ptr<CCmdSequence> seq(new CCmdSequence);
    for (int i = 0; i < 100; ++i)
        seq->GetCmdList()->push_back(Cmd(std::wstring(40, L'x') + std::to_wstring(i)));
    ASSERT_EQ(seq->LoadBuff(text.c_str()), 1);
    for (int i = 0; i < 100; ++i)
        seq->GetCmdList()->push_back(Cmd(std::wstring(40, L'y')));
    seq->ClearAll();
    EXPECT_EQ(seq->IsEmpty(), 1);
    seq->GetCmdList()->push_back(Cmd(std::wstring(40, L'z')));
    seq.reset();

    // Allocated in the library, freed here: erase, splice into a list of ours, the buffer text.
    CCmdSequence loaded;
    std::wstring many;
    for (int i = 0; i < 100; ++i)
        many += std::wstring(40, L'n') + std::to_wstring(i) + F + L"0 0 0 0" + R;
    ASSERT_EQ(loaded.LoadBuff(many.c_str()), 1);
    ASSERT_EQ(loaded.GetCmdList()->size(), 100u);
    loaded.GetCmdList()->erase(loaded.GetCmdList()->begin());
    std::list<SOneCmd> ours;
    ours.splice(ours.end(), *loaded.GetCmdList(), loaded.GetCmdList()->begin(),
                std::next(loaded.GetCmdList()->begin(), 50));
    EXPECT_EQ(ours.front().strName, std::wstring(40, L'n') + L"1");
    ours.clear();
    std::wstring saved(1000, L's');
    loaded.SaveBuff(saved);
    EXPECT_EQ(saved.size(), 49u * (42 + 1 + 7 + 1 + 1 + 1 + 1 + 1 + 1 + 1));
    saved = std::wstring();
    EXPECT_EQ(HeapValidate(GetProcessHeap(), 0, nullptr), TRUE);
}

TEST(CmdModuleBoundary, BothSidesTakeNewAndDeleteFromTheSharedRuntime) {
    HMODULE library = GetModuleHandleW(L"KvCmdSequence64.dll");
    ASSERT_NE(library, nullptr);
    for (HMODULE module : {library, GetModuleHandleW(nullptr)}) {
        int news = 0, deletes = 0;
        for (const auto& [name, dll] : KvTest::ImportedNames(module)) {
            const bool isNew = name.rfind("_Znw", 0) == 0 || name.rfind("_Zna", 0) == 0;
            const bool isDelete = name.rfind("_Zdl", 0) == 0 || name.rfind("_Zda", 0) == 0;
            if (isNew || isDelete) {
                EXPECT_EQ(dll, "libstdc++-6.dll") << name;
            }
            news += isNew;
            deletes += isDelete;
        }
        EXPECT_GT(news, 0);
        EXPECT_GT(deletes, 0);
    }
}

} // namespace
