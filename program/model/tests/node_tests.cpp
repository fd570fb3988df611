// Nodes of the model: names, links and time stamps, usage states, walks, parameters, helpers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "IChNode.h"
#include "KvRegTokens.h"

namespace {

const FILETIME kOldTime = {0x12345678, 0x01000000};

bool IsOld(const CIChNode& n) { return CompareModifyTime(&n.m_ModifyTime, &kOldTime) == 0; }

std::vector<CIChNode*> AsVector(const CIChNodeList& list) { return std::vector<CIChNode*>(list.begin(), list.end()); }

// ---------------------------------------------------------------------------------------------
// Resource names

struct NameCase {
    int subType;
    std::wstring input;
    std::wstring name;
    std::wstring path;
    std::wstring description;
    bool stable; // setting the resulting name again gives the same three fields
};

const std::wstring kDef = RegDefaultValueToken;
const std::wstring kBs = RegBackslashToken;

TEST(ResourceName, SplitsByKind) {
    const std::wstring valueKey = L"HKEY_LOCAL_MACHINE\\Software\\X\\";
    const std::wstring tokenName = L"a" + kBs + L"b";
    const std::wstring valueKeyDef = valueKey + kDef;
    const std::wstring valueKeyToken = valueKey + tokenName;
    const NameCase cases[] = {
        {ResFile, L"C:/Windows/notepad.exe", L"C:\\Windows\\notepad.exe", L"C:\\Windows\\", L"notepad.exe", true},
        {ResFile, L"C:\\Windows\\notepad.exe\\\\", L"C:\\Windows\\notepad.exe", L"C:\\Windows\\", L"notepad.exe", true},
        {ResFile, L"notepad.exe", L"notepad.exe", L"notepad.exe", L"", true},
        {ResFile, L"\\\\server\\share\\a.txt", L"\\\\server\\share\\a.txt", L"\\\\server\\share\\", L"a.txt", true},
        {ResFile, L"%SystemRoot%\\system32\\x.sys", L"%SystemRoot%\\system32\\x.sys", L"%SystemRoot%\\system32\\",
         L"x.sys", true},
        {ResDirectory, L"C:\\Windows\\", L"C:\\Windows", L"C:\\", L"Windows", true},
        {ResDirectory, L"C:/Windows/System32", L"C:\\Windows\\System32", L"C:\\Windows\\", L"System32", true},
        {ResDirectory, L"D:", L"D:\\", L"D:\\", L"", true},
        {ResDirectory, L"D:/", L"D:\\", L"D:\\", L"", true},
        {ResDirectory, L"D:\\\\\\", L"D:\\", L"D:\\", L"", true},
        {ResRegValue, L"HKEY_LOCAL_MACHINE\\Software\\X\\Val", L"HKEY_LOCAL_MACHINE\\Software\\X\\Val", valueKey,
         L"Val", true},
        {ResRegValue, valueKey, valueKeyDef, valueKey, kDef, true},
        {ResRegValue, valueKeyDef, valueKeyDef, valueKey, kDef, true},
        {ResRegValue, valueKeyToken, valueKeyToken, valueKey, tokenName, true},
        {ResRegValue, L"HKEY_CURRENT_USER\\Software\\a/b", L"HKEY_CURRENT_USER\\Software\\a/b",
         L"HKEY_CURRENT_USER\\Software\\", L"a/b", true},
        {ResRegKey, L"HKEY_LOCAL_MACHINE", L"HKEY_LOCAL_MACHINE\\", L"HKEY_LOCAL_MACHINE\\", L"", true},
        {ResRegKey, L"HKEY_LOCAL_MACHINE\\Software\\", L"HKEY_LOCAL_MACHINE\\Software", L"HKEY_LOCAL_MACHINE\\",
         L"Software", true},
        {ResRegKey, L"HKEY_LOCAL_MACHINE\\Software/X", L"HKEY_LOCAL_MACHINE\\Software/X", L"HKEY_LOCAL_MACHINE\\",
         L"Software/X", true},
        {ResDiskSector, L"Disk 0 Sector 0", L"Disk 0 Sector 0", L"Disk 0 Sector 0", L"", true},
        {ResPciDevice, L"VEN_8086&DEV_100E", L"VEN_8086&DEV_100E", L"VEN_8086&DEV_100E", L"", true},
        {ResSmbiosField, L"Table 1/Field 4\\", L"Table 1/Field 4", L"Table 1/Field 4", L"", true},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "SubType " << c.subType << " input "
                                        << std::string(c.input.begin(), c.input.end()));
        CIChResorce r;
        r.SetSubType(c.subType);
        r.SetName(c.input);
        EXPECT_EQ(r.m_Name, c.name);
        EXPECT_EQ(r.m_Path, c.path);
        EXPECT_EQ(r.m_Description, c.description);
        // Taken with the stored description (as a load does), the name splits the same way and
        // the description is the one given.
        CIChResorce taken;
        taken.SetSubType(c.subType);
        taken.TakeName(std::wstring(c.input), L"stored description");
        EXPECT_EQ(taken.m_Name, c.name);
        EXPECT_EQ(taken.m_Path, c.path);
        EXPECT_EQ(taken.m_Description, L"stored description");
        if (c.stable) {
            std::wstring name = r.m_Name, path = r.m_Path, description = r.m_Description;
            r.SetName(std::wstring(r.m_Name));
            EXPECT_EQ(r.m_Name, name);
            EXPECT_EQ(r.m_Path, path);
            EXPECT_EQ(r.m_Description, description);
            r.SetName(r.m_Name); // the node's own text given back
            EXPECT_EQ(r.m_Name, name);
            EXPECT_EQ(r.m_Path, path);
            EXPECT_EQ(r.m_Description, description);
        }
    }
}

TEST(ResourceName, OtherNodesKeepTheTextAsItIs) {
    CIChRGroup g;
    g.SetName(L"C:/Files/");
    EXPECT_EQ(g.m_Name, L"C:/Files/");
    EXPECT_EQ(g.m_Description, L"");
    g.SetDescription(L"d");
    EXPECT_EQ(g.m_Description, L"d");
}

// ---------------------------------------------------------------------------------------------
// Links, unlinks and time stamps

struct LinkFixture : testing::Test {
    CIChResorce* r = new CIChResorce;
    CIChRGroup* g = new CIChRGroup;
    CIChTask* t = new CIChTask;
    void TearDown() override {
        delete r;
        delete g;
        delete t;
    }
    void Age() {
        for (CIChNode* n : {static_cast<CIChNode*>(r), static_cast<CIChNode*>(g), static_cast<CIChNode*>(t)})
            n->SetModifyTime(&kOldTime);
    }
};

struct LinkCase {
    const char* what;
    std::function<void(LinkFixture&)> prepare; // before the times are aged
    std::function<void(LinkFixture&)> act;
    size_t rUppers, gMembers, gUppers, tMembers;
    bool rStamped, gStamped, tStamped;
};

TEST_F(LinkFixture, WhichListsAndTimesChange) {
    auto none = [](LinkFixture&) {};
    auto linkRG = [](LinkFixture& f) { f.r->LinkTo(f.g); };
    auto linkAll = [](LinkFixture& f) {
        f.r->LinkTo(f.g);
        f.g->LinkTo(f.t);
    };
    const LinkCase cases[] = {
        {"link stamps only the upper node", none, linkRG, 1, 1, 0, 0, false, true, false},
        {"second link adds nothing but stamps again", linkRG, linkRG, 1, 1, 0, 0, false, true, false},
        {"the link core stamps nothing", none, [](LinkFixture& f) { f.r->AddUpperLink(f.g); }, 1, 1, 0, 0, false, false,
         false},
        {"the link core twice adds once", linkRG, [](LinkFixture& f) { f.r->AddUpperLink(f.g); }, 1, 1, 0, 0, false,
         false, false},
        {"unlink stamps the upper node", linkRG, [](LinkFixture& f) { f.r->UnlinkFrom(f.g); }, 0, 0, 0, 0, false, true,
         false},
        {"unlink when not linked still stamps", linkRG, [](LinkFixture& f) { f.r->UnlinkFrom(f.t); }, 1, 1, 0, 0, false,
         false, true},
        {"null upper does nothing", linkRG,
         [](LinkFixture& f) {
             f.r->LinkTo(nullptr);
             f.r->UnlinkFrom(nullptr);
             f.r->AddUpperLink(nullptr);
         },
         1, 1, 0, 0, false, false, false},
        {"unlink all stamps the uppers and itself, not the members", linkAll, [](LinkFixture& f) { f.g->UnlinkAll(); },
         0, 0, 0, 0, false, true, true},
        {"unlink all of a resource", linkAll, [](LinkFixture& f) { f.r->UnlinkAll(); }, 0, 0, 1, 1, true, true, false},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        r = new CIChResorce;
        g = new CIChRGroup;
        t = new CIChTask;
        c.prepare(*this);
        Age();
        c.act(*this);
        EXPECT_EQ(r->m_Uppers.size(), c.rUppers);
        EXPECT_EQ(g->m_Members.size(), c.gMembers);
        EXPECT_EQ(g->m_Uppers.size(), c.gUppers);
        EXPECT_EQ(t->m_Members.size(), c.tMembers);
        EXPECT_EQ(!IsOld(*r), c.rStamped);
        EXPECT_EQ(!IsOld(*g), c.gStamped);
        EXPECT_EQ(!IsOld(*t), c.tStamped);
        EXPECT_TRUE(r->m_Members.empty());
    }
}

TEST_F(LinkFixture, UnlinkRemovesEveryEntryOfThePair) {
    // Entries made twice by hand (as a faulty caller might) all go.
    r->m_Uppers.push_back(g);
    r->m_Uppers.push_back(g);
    g->m_Members.push_back(r);
    g->m_Members.push_back(r);
    r->UnlinkFrom(g);
    EXPECT_TRUE(r->m_Uppers.empty());
    EXPECT_TRUE(g->m_Members.empty());
}

TEST(NodeLifetime, DeletingAGroupLeavesNoPointerToIt) {
    CIChJob job;
    CIChTask task;
    CIChResorce r1, r2;
    auto* group = new CIChRGroup;
    task.LinkTo(&job);
    r1.LinkTo(group);
    r2.LinkTo(group);
    group->LinkTo(&task);
    task.SetModifyTime(&kOldTime);
    r1.SetModifyTime(&kOldTime);
    delete group;
    EXPECT_TRUE(r1.m_Uppers.empty());
    EXPECT_TRUE(r2.m_Uppers.empty());
    EXPECT_TRUE(task.m_Members.empty());
    EXPECT_EQ(r1.GetUsageState(), UsageIsolated);
    EXPECT_EQ(task.GetUsageState(), UsageNoMembers);
    EXPECT_FALSE(IsOld(task)); // the former upper node is stamped
    EXPECT_TRUE(IsOld(r1));    // the former members are not
}

TEST(NodeLifetime, FreshNodesHaveTheirInitialValues) {
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    CIChResorce r;
    CIChJob j;
    CIChSubject s;
    CIChTask t;
    EXPECT_EQ(r.m_Id, 0);
    EXPECT_EQ(r.m_Removable, 1);
    EXPECT_GE(CompareModifyTime(&r.m_ModifyTime, &before), 0);
    EXPECT_EQ(r.m_Controlled, 1);
    EXPECT_EQ(r.m_Executable, 0);
    EXPECT_EQ(r.m_Valid, 1);
    EXPECT_EQ(r.m_SubType, ResFile);
    EXPECT_EQ(j.m_Method, 1);
    EXPECT_EQ(j.m_Algorithm, 1);
    EXPECT_EQ(j.m_SubType, 0);
    EXPECT_EQ(j.m_IsHostBased, 0);
    for (int d : j.m_ScheduleDaysMask)
        EXPECT_EQ(d, 0);
    EXPECT_EQ(s.m_Local, 1);
    EXPECT_TRUE(s.m_Sid.IsEmpty());
    EXPECT_EQ(t.m_Sequence.IsEmpty(), 1);
    EXPECT_FALSE(CIChNode().IsModelNode());
    EXPECT_TRUE(t.IsModelNode());
}

// ---------------------------------------------------------------------------------------------
// Usage states

TEST(UsageState, ByKindAndLinks) {
    CIChNode base;
    CIChSubject subject, lonelySubject;
    CIChJob job, emptyJob, lonelyJob;
    CIChTask task;
    CIChRGroup group, looseGroup;
    CIChResorce inGroup, inLooseGroup, lonely;
    job.LinkTo(&subject);
    emptyJob.LinkTo(&subject);
    task.LinkTo(&job);
    group.LinkTo(&task);
    inGroup.LinkTo(&group);
    inLooseGroup.LinkTo(&looseGroup);

    const struct {
        const char* what;
        const CIChNode* node;
        int state;
    } cases[] = {
        {"base node", &base, UsageNotModelNode},
        {"subject with a job", &subject, UsageInUse},
        {"subject without jobs", &lonelySubject, UsageIsolated},
        {"job with a task under a subject", &job, UsageInUse},
        {"job under a subject without members", &emptyJob, UsageNoMembers},
        {"job alone", &lonelyJob, UsageIsolated},
        {"task in a job with a group", &task, UsageInUse},
        {"group in a task with a resource", &group, UsageInUse},
        {"group with resources in no task", &looseGroup, UsageNoUppers},
        {"resource in a group", &inGroup, UsageInUse},
        {"resource in a loose group", &inLooseGroup, UsageInUse},
        {"resource alone", &lonely, UsageIsolated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.node->GetUsageState(), c.state);
    }
}

// ---------------------------------------------------------------------------------------------
// Walks over related nodes: one small graph with a resource shared by two groups.
//
//   S <- J <- T <- G1 <- R1, R2
//        J <- G2 (directly), T <- G2 <- R2, R3

struct WalkGraph : testing::Test {
    CIChSubject S;
    CIChJob J, J2, J3;
    CIChTask T;
    CIChRGroup G1, G2;
    CIChResorce R1, R2, R3;
    void SetUp() override {
        J.LinkTo(&S);
        T.LinkTo(&J);
        G1.LinkTo(&T);
        G2.LinkTo(&T);
        G2.LinkTo(&J);
        R1.LinkTo(&G1);
        R2.LinkTo(&G1);
        R2.LinkTo(&G2);
        R3.LinkTo(&G2);
    }
};

TEST_F(WalkGraph, CollectOrders) {
    const struct {
        const char* what;
        std::function<void(CIChNodeList*)> walk;
        std::vector<CIChNode*> expected;
    } cases[] = {
        {"below the job, flag 0: post-order, repetitions kept",
         [&](CIChNodeList* l) { CIChNode::CollectLowerNodes(&J, l, nullptr, 0); },
         {&R1, &R2, &G1, &R2, &R3, &G2, &T, &R2, &R3, &G2}},
        {"below a group, flag 0: nothing",
         [&](CIChNodeList* l) { CIChNode::CollectLowerNodes(&G1, l, nullptr, 0); },
         {}},
        {"below a group, flag 1: its resources",
         [&](CIChNodeList* l) { CIChNode::CollectLowerNodes(&G1, l, nullptr, 1); },
         {&R1, &R2}},
        {"below the task, flag 0",
         [&](CIChNodeList* l) { CIChNode::CollectLowerNodes(&T, l, nullptr, 0); },
         {&R1, &R2, &G1, &R2, &R3, &G2}},
        {"below a resource", [&](CIChNodeList* l) { CIChNode::CollectLowerNodes(&R2, l, nullptr, 1); }, {}},
        {"above the shared resource: pre-order",
         [&](CIChNodeList* l) { CIChNode::CollectUpperNodes(&R2, l, nullptr); },
         {&G1, &T, &J, &S, &G2, &T, &J, &S, &J, &S}},
        {"above the subject", [&](CIChNodeList* l) { CIChNode::CollectUpperNodes(&S, l, nullptr); }, {}},
        {"related of the shared resource, once each",
         [&](CIChNodeList* l) { R2.GetRelatedNodes(l, 1); },
         {&G1, &T, &J, &S, &G2}},
        {"related of a group with resources",
         [&](CIChNodeList* l) { G2.GetRelatedNodes(l, 1); },
         {&R2, &R3, &T, &J, &S}},
        {"related of a group without resources", [&](CIChNodeList* l) { G2.GetRelatedNodes(l, 0); }, {&T, &J, &S}},
        {"related of the job", [&](CIChNodeList* l) { J.GetRelatedNodes(l, 0); }, {&R1, &R2, &G1, &R3, &G2, &T, &S}},
        {"related appends only what the list lacks",
         [&](CIChNodeList* l) {
             l->push_back(&T);
             R3.GetRelatedNodes(l, 1);
         },
         {&T, &G2, &J, &S}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CIChNodeList list;
        c.walk(&list);
        EXPECT_EQ(AsVector(list), c.expected);
    }
}

TEST_F(WalkGraph, NullArgumentsAndIsolatedNodes) {
    CIChResorce lonely;
    CIChNodeList list;
    EXPECT_EQ(lonely.GetRelatedNodes(&list, 1), 0);
    EXPECT_EQ(R2.GetRelatedNodes(nullptr, 1), 0);
    EXPECT_EQ(R2.GetRelatedNodes(&list, 1), 1);
    CIChNode::CollectLowerNodes(&J, nullptr, nullptr, 1);
    CIChNode::CollectUpperNodes(&R2, nullptr, nullptr);
    CIChNode::CollectLowerNodes(nullptr, &list, nullptr, 1);
    EXPECT_EQ(list.size(), 5u);
    EXPECT_EQ(R2.GetRelatedJobs(nullptr), 0);
}

TEST_F(WalkGraph, RelatedJobsCountEachMethodOnce) {
    J.m_Method = 2; // contents, no algorithm
    J2.m_Method = 2;
    J3.m_Method = 3;
    J3.m_Algorithm = 4;
    G1.LinkTo(&J2); // a second job with the same method
    CIChMethodList methods;
    EXPECT_EQ(R2.GetRelatedJobs(&methods), 1);
    const unsigned long long contents = (1ull << 32) | 2; // method 2, algorithm 1
    EXPECT_EQ(methods, CIChMethodList{contents});

    J3.m_IsHostBased = 1;
    G2.LinkTo(&J3);
    methods.clear();
    EXPECT_EQ(R2.GetRelatedJobs(&methods), 1); // the host-based job does not count

    J3.m_IsHostBased = 0;
    methods.clear();
    EXPECT_EQ(R3.GetRelatedJobs(&methods), 2);
    EXPECT_EQ(methods, (CIChMethodList{contents, (4ull << 32) | 3}));
    EXPECT_EQ(R3.GetRelatedJobs(&methods), 2); // a second call adds nothing new
    CIChResorce lonely;
    methods.clear();
    EXPECT_EQ(lonely.GetRelatedJobs(&methods), 0);
}

// ---------------------------------------------------------------------------------------------
// Parameters, SID, helpers

TEST(ResourceParams, FirstValueStaysAndKeysIgnoreCase) {
    CIChResorce r;
    r.SetParam(L"Disk", _value_t(1));
    r.SetParam(L"DISK", _value_t(2));
    r.SetParam(L"Table Handle", _value_t(L"0x0004"));
    EXPECT_EQ(r.GetParam(L"disk").as_int(), 1);
    EXPECT_EQ(r.m_Params.size(), 2u);
    EXPECT_EQ(r.m_Params.count(L"TABLE HANDLE"), 1u);
    EXPECT_TRUE(r.GetParam(L"Sector").empty());
    _value_t shared = r.GetParam(L"Table handle");
    EXPECT_EQ(shared.as_wstring(), L"0x0004");
    EXPECT_EQ(shared.use_count(), 2); // the map's value and this copy
}

TEST(SubjectSid, HoldsACopyAndCompares) {
    CIChSid a, b, empty;
    EXPECT_TRUE(a.FromString(L"S-1-5-32-544"));
    EXPECT_EQ(a.Str(), L"S-1-5-32-544");
    EXPECT_FALSE(b.FromString(L"not a sid"));
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_NE(a, b);
    EXPECT_EQ(b, empty);
    b = a;
    EXPECT_EQ(a, b);
    EXPECT_NE(a.GetPSID(), b.GetPSID());
    EXPECT_TRUE(b.FromString(L"S-1-5-32-545"));
    EXPECT_NE(a, b);
    EXPECT_FALSE(a.Assign(nullptr));
    EXPECT_EQ(a.Str(), L"S-1-5-32-544");
    EXPECT_EQ(empty.Str(), L"");
}

TEST(Helpers, CompareModifyTime) {
    const FILETIME early = {5, 1}, late = {4, 2}, negative = {0, 0x80000000u};
    const struct {
        const FILETIME* a;
        const FILETIME* b;
        int result;
    } cases[] = {
        {&early, &late, -1},  {&late, &early, 1},    {&early, &early, 0},     {nullptr, &early, 0},
        {&early, nullptr, 0}, {nullptr, nullptr, 0}, {&negative, &early, -1}, // compared as signed numbers
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompareModifyTime(c.a, c.b), c.result);
}

TEST(Helpers, SlashToBackslashAndLocalTime) {
    wchar_t text[] = L"C:/a/b\\c";
    EXPECT_EQ(SlashToBackslash(text), text);
    EXPECT_STREQ(text, L"C:\\a\\b\\c");
    EXPECT_EQ(SlashToBackslash(nullptr), nullptr);

    const SYSTEMTIME fixed = {2026, 3, 0, 15, 10, 20, 30, 400};
    FILETIME utc, back;
    SystemTimeToFileTime(&fixed, &utc);
    SYSTEMTIME local;
    FileTimeToLocalSystemTime(utc, local);
    LocalSystemTimeToFileTime(local, back);
    EXPECT_EQ(CompareModifyTime(&utc, &back), 0);
}

TEST(Helpers, ControlMethodText) {
    auto pack = [](unsigned method, unsigned algorithm) { return ((unsigned long long)algorithm << 32) | method; };
    const struct {
        unsigned long long value;
        const wchar_t* text;
    } cases[] = {
        {pack(1, 1), L"C\u0443\u0449\u0435\u0441\u0442\u0432\u043e\u0432\u0430\u043d\u0438\u0435"},
        {pack(2, 1), L"Содержимое"},
        {pack(2, 6), L"Содержимое : Полное совпадение"},
        {pack(3, 2), L"Атрибуты : CRC7"},
        {pack(4, 4), L"Права доступа : Хэш"},
        {pack(5, 5), L"Контроль при запуске : Имитовставка"},
        {pack(6, 3), L"ПАК \"Varno\" : ЭЦП"},
        {pack(7, 1), L"Неопределен"},
        {pack(0, 1), L"Неопределен"},
        {pack(2, 0), L"Неопределен"},
        {pack(2, 7), L"Неопределен"},
    };
    for (const auto& c : cases) {
        std::wstring text = L"old";
        GetControlMethodText(c.value, text);
        EXPECT_EQ(text, c.text);
    }
    std::wstring existence;
    GetControlMethodText(pack(1, 1), existence);
    EXPECT_EQ(existence[0], L'C'); // Latin, as the board's texts have it
}

} // namespace
