// .NET assemblies built by mono's compiler: assembly references into the assembly cache, beside
// the origin and in its subfolder; platform-invoke DLLs resolved like imports.
#include "fixture_util.h"

using namespace lwtest;
using Depends::CDepps;
using Depends::CModules;

namespace {

const wchar_t kToken[] = L"0f96e6afd5af6d4a"; // of tests/fixtures/linkwalk/netkey.snk

class NetTest : public ::testing::Test {
public:
    // The cache folder of this machine's build, so that the tests of both machines can run at once.
    static std::wstring GacFolder() {
        return WindowsDir() + (kNativeMachine == 0x8664 ? L"\\assembly\\GAC_64" : L"\\assembly\\GAC_32") +
               L"\\NetLib1\\1.2.3.4__" + kToken;
    }
    static void SetUpTestSuite() {
        MakeDirs(GacFolder());
        ASSERT_TRUE(CopyTo(Fixtures() + L"\\gac\\NetLib1.dll", GacFolder() + L"\\NetLib1.dll"));
    }
    static void TearDownTestSuite() {
        RemoveTree(GacFolder());
        RemoveTree(WindowsDir() +
                   (kNativeMachine == 0x8664 ? L"\\assembly\\GAC_64\\NetLib1" : L"\\assembly\\GAC_32\\NetLib1"));
    }
};

TEST_F(NetTest, AssemblyAndModuleReferences) {
    const std::wstring net = Fixtures() + L"\\net", root = net + L"\\NetApp.exe";
    const std::wstring lib1 = GacFolder() + L"\\NetLib1.dll", lib2 = net + L"\\NetLib2.dll",
                       lib3 = net + L"\\NetLib3\\NetLib3.dll", pinv = net + L"\\pinvnative.dll";
    CDepps f;
    f.AddModule(root, root, 1);
    ASSERT_NE(f.m_dispenser, nullptr);
    CModules found, resolved;
    for (const std::wstring& p : {lib1, lib2, lib3, pinv}) {
        found[KvBase::UpperCase(p)] = p;
        resolved[KvBase::UpperCase(p.substr(p.find_last_of(L'\\') + 1))] = p;
    }
    // Every .NET module imports mscoree.dll natively: the system's modules come with it.
    const std::wstring sys = KvBase::UpperCase(SystemDir()) + L"\\";
    EXPECT_EQ(f.m_resolved[L"MSCOREE.DLL"].compare(0, sys.size(), sys), 0);
    auto withoutSystem = [&sys](CModules m, bool byValue) {
        for (auto it = m.begin(); it != m.end();)
            it = KvBase::UpperCase(byValue ? it->second : it->first).compare(0, sys.size(), sys) == 0 ? m.erase(it)
                                                                                                      : std::next(it);
        return m;
    };
    EXPECT_EQ(withoutSystem(f.m_found, false), found);
    EXPECT_EQ(withoutSystem(f.m_resolved, true), resolved);
    // NetMissing is found nowhere and not listed; a platform-invoke name without extension is
    // searched as it stands; NetLib2's own platform-invoke DLL is missing with NetLib2 as origin.
    EXPECT_EQ(f.m_missing, (CModules{{L"NOEXT_NATIVE", root}, {L"NOWHERE_PINV.DLL", lib2}}));
    EXPECT_EQ(f.m_rootMachine, kNativeMachine);
}

TEST_F(NetTest, DllBeforeExeAndNativeModulesAddNothing) {
    const std::wstring dir = Tmp() + L"\\net";
    MakeDirs(dir + L"\\NetLib3");
    for (const wchar_t* n : {L"NetApp.exe", L"NetLib2.dll", L"pinvnative.dll", L"NetLib3\\NetLib3.dll"})
        ASSERT_TRUE(CopyTo(Fixtures() + L"\\net\\" + n, dir + L"\\" + n));
    ASSERT_TRUE(CopyTo(Fixtures() + L"\\net\\NetLib2.dll", dir + L"\\NetLib2.exe"));
    CDepps f;
    f.AddModule(dir + L"\\NetApp.exe", dir + L"\\NetApp.exe", 1);
    EXPECT_EQ(f.m_resolved[L"NETLIB2.DLL"], dir + L"\\NetLib2.dll");
    EXPECT_EQ(f.m_resolved.count(L"NETLIB2.EXE"), 0u);

    // A native module has no metadata: the .NET walk adds nothing to the native maps.
    CDepps g;
    const std::wstring app = App() + L"\\a.dll";
    g.AddModule(app, app, 1);
    EXPECT_EQ(g.m_found.size(), 2u);
    EXPECT_TRUE(g.m_missing.empty());
}

TEST(ClrMetaReader, ReadsReferencesOfAnAssembly) {
    ClrMeta::IMetaDataDispenser* d = nullptr;
    ASSERT_EQ(ClrMeta::CreateDispenser(&d), S_OK);
    IUnknown* unk = nullptr;
    const std::wstring app = Fixtures() + L"\\net\\NetApp.exe";
    ASSERT_EQ(d->OpenScope(app.c_str(), ClrMeta::ofReadOnly, ClrMeta::IID_IMetaDataAssemblyImport, &unk), S_OK);
    auto* ai = static_cast<ClrMeta::IMetaDataAssemblyImport*>(unk);
    ClrMeta::HCORENUM e = nullptr;
    ClrMeta::mdToken t[10];
    ULONG n = 0;
    std::map<std::wstring, std::wstring> refs;
    while (ai->EnumAssemblyRefs(&e, t, 10, &n) == S_OK && n)
        for (ULONG i = 0; i < n; ++i) {
            wchar_t name[1024];
            ULONG len = 0, keyLen = 0;
            const void* key = nullptr;
            ClrMeta::ASSEMBLYMETADATA md = {};
            ASSERT_EQ(ai->GetAssemblyRefProps(t[i], &key, &keyLen, name, 1024, &len, &md, nullptr, nullptr, nullptr),
                      S_OK);
            wchar_t v[64];
            swprintf(v, 64, L"%u.%u.%u.%u/%lu", md.usMajorVersion, md.usMinorVersion, md.usBuildNumber,
                     md.usRevisionNumber, keyLen);
            refs[name] = v;
            // A short buffer gets the truncated, terminated name.
            wchar_t small[4];
            EXPECT_EQ(
                ai->GetAssemblyRefProps(t[i], nullptr, nullptr, small, 4, &len, nullptr, nullptr, nullptr, nullptr),
                ClrMeta::CLDB_S_TRUNCATION);
            EXPECT_EQ(wcslen(small), 3u);
        }
    ai->CloseEnum(e);
    ai->Release();
    EXPECT_EQ(refs[L"NetLib1"], L"1.2.3.4/8");
    EXPECT_EQ(refs[L"NetLib2"], L"0.0.0.0/0");
    EXPECT_EQ(refs.count(L"mscorlib"), 1u);
    EXPECT_EQ(refs.size(), 5u);
    // A native module is no .NET scope.
    const std::wstring native = App() + L"\\a.dll";
    EXPECT_NE(d->OpenScope(native.c_str(), 0, ClrMeta::IID_IMetaDataImport, &unk), S_OK);
    EXPECT_EQ(unk, nullptr);
    d->Release();
}

} // namespace
