// The model container: link rules, IDs, lookups, default subject and job, accounts.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>

#include "IChDataModel.h"

namespace {

const NodeId kNeg = (NodeId)0x8000000000000000ULL;

std::unique_ptr<CIChNode> MakeNode(int type, int subType, bool negative) {
    std::unique_ptr<CIChNode> node;
    switch (type) {
    case NodeTypeResource: {
        auto r = std::make_unique<CIChResorce>();
        r->m_SubType = subType;
        node = std::move(r);
        break;
    }
    case NodeTypeGroup: {
        auto g = std::make_unique<CIChRGroup>();
        g->m_SubType = subType;
        node = std::move(g);
        break;
    }
    case NodeTypeTask:
        node = std::make_unique<CIChTask>();
        break;
    case NodeTypeJob: {
        auto j = std::make_unique<CIChJob>();
        j->m_SubType = subType;
        node = std::move(j);
        break;
    }
    case NodeTypeSubject: {
        auto s = std::make_unique<CIChSubject>();
        s->m_SubType = subType;
        node = std::move(s);
        break;
    }
    default:
        node = std::make_unique<CIChNode>();
    }
    node->m_Id = negative ? (kNeg | 5) : 5;
    return node;
}

struct LinkRuleCase {
    int lowerType, lowerSub;
    bool lowerNeg;
    int upperType, upperSub;
    bool upperNeg;
    int canLink, canChange;
};

const int R = NodeTypeResource, G = NodeTypeGroup, T = NodeTypeTask, J = NodeTypeJob, S = NodeTypeSubject;

TEST(LinkRules, ByTypeSubTypeAndSign) {
    const LinkRuleCase cases[] = {
        // resources into groups of their family
        {R, ResFile, false, G, GroupFiles, false, 1, 1},
        {R, ResDirectory, false, G, GroupFiles, false, 1, 1},
        {R, ResFile, false, G, GroupRegistry, false, 0, 1},
        {R, ResDirectory, false, G, GroupDiskSectors, false, 0, 1},
        {R, ResRegValue, false, G, GroupRegistry, false, 1, 1},
        {R, ResRegKey, false, G, GroupRegistry, false, 1, 1},
        {R, ResRegValue, false, G, GroupFiles, false, 0, 1},
        {R, ResDiskSector, false, G, GroupDiskSectors, false, 1, 1},
        {R, ResDiskSector, false, G, GroupHardware, false, 0, 1},
        {R, ResPciDevice, false, G, GroupHardware, false, 1, 1},
        {R, ResSmbiosTable, false, G, GroupHardware, false, 1, 1},
        {R, ResSmbiosField, false, G, GroupHardware, false, 1, 1},
        {R, ResSmbiosField, false, G, GroupDiskSectors, false, 0, 1},
        {R, ResFile, false, T, 0, false, 0, 1},
        {R, ResFile, false, J, 1, false, 0, 1},
        // the sign of the IDs
        {R, ResFile, true, G, GroupFiles, false, 1, 1},
        {R, ResFile, false, G, GroupFiles, true, 1, 1},
        {R, ResFile, true, G, GroupFiles, true, 0, 0},
        // groups under tasks and jobs only, with equal signs
        {G, GroupFiles, false, T, 0, false, 1, 1},
        {G, GroupFiles, false, J, 1, false, 1, 1},
        {G, GroupFiles, false, G, GroupFiles, false, 0, 1},
        {G, GroupFiles, false, S, SubjectComputer, false, 0, 1},
        {G, GroupFiles, true, T, 0, false, 0, 1},
        {G, GroupFiles, true, J, 2, false, 0, 1},
        {G, GroupFiles, false, J, 1, true, 0, 1},
        {G, GroupFiles, true, J, 1, true, 0, 0},
        // tasks under jobs only
        {T, 0, false, J, 1, false, 1, 1},
        {T, 0, false, T, 0, false, 0, 1},
        {T, 0, false, S, SubjectComputer, false, 0, 1},
        {T, 0, true, J, 1, false, 0, 1},
        {T, 0, false, J, 1, true, 0, 1},
        // jobs under computer subjects only; a negative job stays with its computer
        {J, 1, false, S, SubjectComputer, false, 1, 1},
        {J, 1, false, S, SubjectUser, false, 0, 1},
        {J, 1, false, S, SubjectGroup, false, 0, 1},
        {J, 1, true, S, SubjectComputer, false, 1, 0},
        {J, 1, true, S, SubjectUser, false, 0, 1},
        {J, 1, false, S, SubjectComputer, true, 1, 1},
        {J, 1, false, T, 0, false, 0, 1},
        // subjects under nothing; base nodes are no model nodes
        {S, SubjectComputer, false, S, SubjectComputer, false, 0, 1},
        {0, 0, false, G, GroupFiles, false, 0, 0},
        {R, ResFile, false, 0, 0, false, 0, 0},
    };
    CIChDataModel model;
    for (const LinkRuleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "lower " << c.lowerType << "/" << c.lowerSub << (c.lowerNeg ? "-" : "+")
                                        << " upper " << c.upperType << "/" << c.upperSub << (c.upperNeg ? "-" : "+"));
        auto lower = MakeNode(c.lowerType, c.lowerSub, c.lowerNeg);
        auto upper = MakeNode(c.upperType, c.upperSub, c.upperNeg);
        EXPECT_EQ(model.CanLink(lower.get(), upper.get()), c.canLink);
        EXPECT_EQ(model.CanChangeLink(lower.get(), upper.get()), c.canChange);
    }
    CIChRGroup group;
    EXPECT_EQ(model.CanLink(nullptr, &group), 0);
    EXPECT_EQ(model.CanLink(&group, nullptr), 0);
    EXPECT_EQ(model.CanChangeLink(nullptr, &group), 0);
}

TEST(LinkRules, NeverTheSamePairTwice) {
    CIChDataModel model;
    CIChResorce r;
    CIChRGroup g;
    ASSERT_EQ(model.CanLink(&r, &g), 1);
    r.LinkTo(&g);
    EXPECT_EQ(model.CanLink(&r, &g), 0);
    EXPECT_EQ(model.CanChangeLink(&r, &g), 1);
}

TEST(ModelIds, CalcNextIdsIgnoresTheFlagBits) {
    CIChDataModel model;
    for (NodeId id : model.m_NextId)
        EXPECT_EQ(id, 1);
    model.CreateNode(J)->m_Id = 3;
    model.CreateNode(J)->m_Id = kNeg | 7;
    model.CreateNode(G)->m_Id = (NodeId(1) << 62) | 2; // bit 62 does not count
    model.CreateNode(R)->m_Id = kNeg | 0x3FFFFFFFFFFFFFF0LL;
    model.CalcNextIds();
    EXPECT_EQ(model.m_NextId[NodeTypeIndex(J)], 8);
    EXPECT_EQ(model.m_NextId[NodeTypeIndex(G)], 3);
    EXPECT_EQ(model.m_NextId[NodeTypeIndex(R)], 0x3FFFFFFFFFFFFFF1LL);
    EXPECT_EQ(model.m_NextId[NodeTypeIndex(T)], 1);
    EXPECT_EQ(model.m_NextId[NodeTypeIndex(S)], 1);
    EXPECT_EQ(model.TakeNextId(J), 8);
    EXPECT_EQ(model.TakeNextId(J), 9);
    EXPECT_EQ(model.TakeNextId(4), 0);
}

TEST(ModelLists, CreateFindAndCount) {
    CIChDataModel model;
    for (int bad : {0, 2, 4, 10, -1}) {
        EXPECT_EQ(model.CreateNode(bad), nullptr);
        EXPECT_EQ(model.GetNodeList(bad), nullptr);
        EXPECT_EQ(model.FindNodeById(bad, 0), nullptr);
    }
    for (int type : {R, G, T, J, S}) {
        CIChNode* node = model.CreateNode(type);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetType(), type);
        EXPECT_EQ(node->m_Id, 0);
        EXPECT_EQ(model.GetNodeList(type)->back(), node);
        node->m_Id = 42;
        EXPECT_EQ(model.FindNodeById(type, 42), node);
    }
    EXPECT_EQ(model.FindNodeById(J, 43), nullptr);
    EXPECT_EQ(model.GetNodeCount(), 5u);

    auto* files = static_cast<CIChRGroup*>(model.CreateNode(G));
    files->SetName(L"Files");
    auto* registry = static_cast<CIChRGroup*>(model.CreateNode(G));
    registry->SetName(L"Registry");
    registry->m_SubType = GroupRegistry;
    auto* task = model.CreateNode(T);
    task->SetName(L"Office");
    EXPECT_EQ(model.FindNodeByName(G, L"FILES", GroupFiles), files);
    EXPECT_EQ(model.FindNodeByName(G, L"files", GroupRegistry), nullptr);
    EXPECT_EQ(model.FindNodeByName(G, L"registry", GroupRegistry), registry);
    EXPECT_EQ(model.FindNodeByName(T, L"OFFICE", 7), task); // tasks: the name alone

    auto* r = static_cast<CIChResorce*>(model.CreateNode(R));
    r->SetName(L"C:\\Windows\\notepad.exe");
    model.RebuildPathIndex();
    EXPECT_EQ(model.FindNodeByName(R, L"c:\\windows\\NOTEPAD.EXE", 5), r);
    EXPECT_EQ(model.FindNodeByName(R, L"c:\\windows\\calc.exe", 0), nullptr);

    model.Clear(1);
    EXPECT_EQ(model.GetNodeCount(), 0u);
    EXPECT_TRUE(model.m_PathIndex.empty()); // no entry is left naming a deleted resource
}

std::wstring ComputerName() {
    wchar_t name[16];
    DWORD size = 16;
    return GetComputerNameW(name, &size) ? name : L"Мой компьютер";
}

TEST(DefaultNodes, SubjectIsMadeOnceAndRenamed) {
    CIChDataModel model;
    CIChSubject* s = model.EnsureDefaultSubject();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_Name, ComputerName());
    EXPECT_EQ(s->m_Description, L"Мой компьютер");
    EXPECT_EQ(s->m_Sid.Str(), L"S-1-0-0");
    EXPECT_EQ(s->m_Removable, 0);
    EXPECT_EQ(s->m_Local, 1);
    EXPECT_EQ(s->m_Id, 1);

    s->SetName(L"OLD-NAME");
    s->m_Local = 0;
    EXPECT_EQ(model.EnsureDefaultSubject(), s);
    EXPECT_EQ(s->m_Name, ComputerName());
    EXPECT_EQ(s->m_Local, 1);
    EXPECT_EQ(model.m_Subjects.size(), 1u);
    EXPECT_EQ(model.m_NextId[NodeTypeIndex(S)], 2); // one ID taken
}

TEST(DefaultNodes, ComputerSubjectWithAnotherSidIsTaken) {
    CIChDataModel model;
    auto* user = static_cast<CIChSubject*>(model.CreateNode(S));
    user->m_SubType = SubjectUser;
    auto* computer = static_cast<CIChSubject*>(model.CreateNode(S));
    computer->m_Sid.FromString(L"S-1-5-21-1-2-3");
    computer->m_Id = 4;
    EXPECT_EQ(model.EnsureDefaultSubject(), computer);
    EXPECT_EQ(computer->m_Sid.Str(), L"S-1-0-0");
    EXPECT_EQ(computer->m_Id, 4);
    EXPECT_EQ(model.m_Subjects.size(), 2u);
}

TEST(DefaultNodes, NewModelByJobSubType) {
    {
        CIChDataModel model;
        model.NewModel(1, 0);
        EXPECT_EQ(model.m_Subjects.size(), 1u);
        EXPECT_TRUE(model.m_Jobs.empty());
        EXPECT_EQ(model.GetDefaultJobSubType(), 1);
    }
    {
        CIChDataModel model;
        model.NewModel(1, 2);
        ASSERT_EQ(model.m_Jobs.size(), 1u);
        auto* job = static_cast<CIChJob*>(model.m_Jobs.front());
        EXPECT_EQ(job->m_Name, L"Контроль целостности");
        EXPECT_EQ(job->m_Description, L"Задание на контроль целостности для ПАК \"Varno\"");
        EXPECT_EQ(job->m_SubType, 2);
        EXPECT_EQ(job->m_Removable, 0);
        EXPECT_EQ(job->m_Id, 1);
        ASSERT_EQ(job->m_Uppers.size(), 1u);
        EXPECT_EQ(job->m_Uppers.front(), model.m_Subjects.front());
        EXPECT_EQ(model.GetDefaultJobSubType(), 2);
        // Again: nothing new; with the other SubType, a second job.
        model.NewModel(0, 2);
        EXPECT_EQ(model.m_Jobs.size(), 1u);
        model.NewModel(0, 1);
        EXPECT_EQ(model.m_Jobs.size(), 2u);
        model.NewModel(1, 1);
        EXPECT_EQ(model.GetNodeCount(), 2u);
    }
    {
        CIChDataModel model;
        CIChNode* loose = model.CreateNode(J);
        model.NewModel(0, 0);
        ASSERT_EQ(loose->m_Uppers.size(), 1u);
        EXPECT_EQ(loose->m_Uppers.front(), model.m_Subjects.front());
    }
}

// ---------------------------------------------------------------------------------------------
// Accounts

CIChSid Sid(const wchar_t* text) {
    CIChSid sid;
    EXPECT_TRUE(sid.FromString(text)) << "bad SID text";
    return sid;
}

std::wstring LookupName(PSID sid) {
    wchar_t name[1024], domain[1024];
    DWORD n = 1024, d = 1024;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &n, domain, &d, &use))
        return std::wstring();
    return std::wstring(domain) + L"\\" + name;
}

TEST(Accounts, WellKnownGroupAsTheSystemNamesIt) {
    CIChSid admins = Sid(L"S-1-5-32-544");
    std::wstring expected = LookupName(admins.GetPSID());
    ASSERT_FALSE(expected.empty());
    CIChSubject group;
    group.m_SubType = SubjectGroup;
    group.SetName(L"whatever");
    DWORD error = 0;
    ASSERT_EQ(group.ResolveAccount(admins.GetPSID(), &error), 1);
    EXPECT_EQ(group.m_Name, expected);
    EXPECT_EQ(group.m_Sid, admins);
    EXPECT_EQ(group.m_Local, 0); // a built-in group is not of the account domain
}

TEST(Accounts, ComputerTakesOnlyTheSid) {
    CIChSubject computer;
    computer.SetName(L"WS12");
    CIChSid sid = Sid(L"S-1-5-32-544");
    ASSERT_EQ(computer.ResolveAccount(sid.GetPSID(), nullptr), 1);
    EXPECT_EQ(computer.m_Name, L"WS12");
    EXPECT_EQ(computer.m_Sid, sid);
    DWORD error = 0;
    EXPECT_EQ(computer.ResolveAccount(nullptr, &error), 0);
    EXPECT_NE(error, 0u);
}

TEST(Accounts, UnknownSidFallsBackToTheNameWhenLocal) {
    CIChSid unknown = Sid(L"S-1-5-21-111-222-333-500");
    ASSERT_TRUE(LookupName(unknown.GetPSID()).empty());

    CIChSubject remote;
    remote.m_SubType = SubjectUser;
    remote.m_Local = 0;
    remote.SetName(L"OTHER\\Administrator");
    DWORD error = 0;
    EXPECT_EQ(remote.ResolveAccount(unknown.GetPSID(), &error), 0);
    EXPECT_EQ(error, DWORD(ERROR_NONE_MAPPED));
    EXPECT_EQ(remote.m_Name, L"OTHER\\Administrator");

    // A local subject is looked up by the name it carries.
    CIChSubject group;
    group.m_SubType = SubjectGroup;
    group.SetName(L"OTHER\\Administrators");
    ASSERT_EQ(group.ResolveAccount(unknown.GetPSID(), &error), 1);
    EXPECT_EQ(group.m_Sid.Str(), L"S-1-5-32-544");
    EXPECT_EQ(group.m_Name,
              LookupName(group.m_Sid.GetPSID()).substr(0, group.m_Name.find(L'\\')) + L"\\Administrators");
    EXPECT_EQ(group.m_Local, 0);

    // A built-in account under its other-language name.
    CIChSid found;
    std::wstring domainName;
    {
        BYTE buffer[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(buffer);
        wchar_t domain[1024];
        DWORD chars = 1024;
        SID_NAME_USE use;
        if (!LookupAccountNameW(nullptr, L"Administrator", buffer, &size, domain, &chars, &use))
            GTEST_SKIP() << "this system does not know the account Administrator";
        found.Assign(buffer);
        domainName = domain;
    }
    CIChSubject local;
    local.m_SubType = SubjectUser;
    local.SetName(L"OTHER\\Администратор");
    ASSERT_EQ(local.ResolveAccount(unknown.GetPSID(), &error), 1);
    EXPECT_EQ(local.m_Sid, found);
    EXPECT_EQ(local.m_Name, domainName + L"\\Administrator");
}

TEST(Accounts, LocalityAgainstTheAccountDomain) {
    EXPECT_EQ(IsLocalAccountSid(nullptr), 1);
    BYTE invalid[8] = {9, 9};
    EXPECT_EQ(IsLocalAccountSid(invalid), 1);

    PSID prefix = GetAccountDomainPrefix();
    ASSERT_NE(prefix, nullptr) << "the local policy gives no account domain";
    EXPECT_EQ(GetAccountDomainPrefix(), prefix); // built once

    // In a workgroup (and here) the primary domain has no SID: the computer is no controller.
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy;
    ASSERT_EQ(LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy), 0);
    POLICY_PRIMARY_DOMAIN_INFO* primary = nullptr;
    POLICY_ACCOUNT_DOMAIN_INFO* account = nullptr;
    ASSERT_EQ(LsaQueryInformationPolicy(policy, PolicyPrimaryDomainInformation, (PVOID*)&primary), 0);
    ASSERT_EQ(LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation, (PVOID*)&account), 0);
    LsaClose(policy);
    bool primaryHasSid = primary->Sid != nullptr;
    CIChSid domain;
    ASSERT_TRUE(domain.Assign(account->DomainSid));
    LsaFreeMemory(primary);
    LsaFreeMemory(account);
    if (!primaryHasSid) {
        EXPECT_FALSE(IsAccountDomainPrimary());
    }

    // The domain followed by exactly one relative ID is local.
    std::wstring base = domain.Str();
    EXPECT_EQ(IsLocalAccountSid(Sid((base + L"-500").c_str()).GetPSID()), IsAccountDomainPrimary() ? 0 : 1);
    EXPECT_EQ(IsLocalAccountSid(Sid((base + L"-500-1").c_str()).GetPSID()), 0);
    EXPECT_EQ(IsLocalAccountSid(domain.GetPSID()), 0);
    EXPECT_EQ(IsLocalAccountSid(Sid(L"S-1-5-32-544").GetPSID()), 0);
    EXPECT_EQ(IsLocalAccountSid(Sid(L"S-1-5-21-111-222-333-500").GetPSID()), 0);
}

} // namespace
