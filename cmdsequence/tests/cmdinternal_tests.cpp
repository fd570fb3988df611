// Internal functions of the command-sequence library: the native key query behind the virtual-key
// test (Wine answers it only with an error, so the other answers come through the seam), the
// skipped registry areas, the user's SID, and the mask filter.
#include <winsock2.h>

#include "CmdInternal.h"

#include "test_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace KvCmdSequence;

namespace {

struct QueryAnswer {
    LONG status;
    DWORD flags; // the second 32-bit word of the answer
};
QueryAnswer g_answer;
int g_calls;
int g_lastClass;
ULONG g_lastLength;
bool g_bufferWasZero;

LONG NTAPI FakeNtQueryKey(HANDLE, int infoClass, void* buffer, ULONG length, ULONG* resultLength) {
    ++g_calls;
    g_lastClass = infoClass;
    g_lastLength = length;
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    g_bufferWasZero = std::all_of(bytes, bytes + length, [](BYTE b) { return b == 0; });
    DWORD* words = static_cast<DWORD*>(buffer);
    words[0] = 0xFFFFFFFF;
    words[1] = g_answer.flags;
    if (resultLength)
        *resultLength = 12;
    return g_answer.status;
}

class NtQueryKeySeam : public ::testing::Test {
protected:
    void SetUp() override { m_previous = Detail::SetNtQueryKeyOverride(&FakeNtQueryKey); }
    void TearDown() override { Detail::SetNtQueryKeyOverride(m_previous); }
    Detail::NtQueryKeyProc m_previous = nullptr;
};

TEST(NtQueryKeyOnThisSystem, AnswersAReadableKeyAsNotVirtual) {
    // Wine answers the key-flags query with STATUS_INVALID_PARAMETER; Windows answers it.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(IsRegKeyVirtual(key), 0);
    RegCloseKey(key);
    EXPECT_EQ(IsRegKeyExist(L"HKEY_CURRENT_USER\\Software"), 1);
}

TEST_F(NtQueryKeySeam, DecidesByStatusAndFlags) {
    struct Case {
        QueryAnswer answer;
        int expected;
    } cases[] = {
        {{0, 1}, 1}, // the key is a virtual one
        {{0, 0}, 0},
        {{0, 2}, 0},
        {{static_cast<LONG>(0xC000000D), 1}, 0}, // STATUS_INVALID_PARAMETER: not known here
        {{static_cast<LONG>(0xC0000022), 0}, 1}, // access denied: taken as virtual
        {{static_cast<LONG>(0xC0000002), 0}, 1}, // not implemented: taken as virtual
        {{static_cast<LONG>(0x80000005), 0}, 1}, // buffer overflow (a warning, not success)
    };
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.answer.status << " flags " << c.answer.flags);
        g_answer = c.answer;
        g_calls = 0;
        EXPECT_EQ(IsRegKeyVirtual(key), c.expected);
        EXPECT_EQ(g_calls, 1);
        EXPECT_EQ(g_lastClass, 5); // KeyFlagsInformation
        EXPECT_EQ(g_lastLength, 24u);
        EXPECT_TRUE(g_bufferWasZero);
    }
    RegCloseKey(key);

    g_calls = 0;
    EXPECT_EQ(IsRegKeyVirtual(nullptr), 0);
    EXPECT_EQ(g_calls, 0);
}

TEST_F(NtQueryKeySeam, VirtualKeysDoNotExistAndAreNotWalked) {
    KvTest::CRegFixture fixture(L"cmdsequence_internal_tests");
    fixture.SetString(L"", L"v", L"1");
    fixture.SetString(L"Sub", L"w", L"2");
    const std::wstring k = fixture.Path();

    g_answer = {0, 1};
    EXPECT_EQ(IsRegKeyExist(k.c_str()), 0);
    EXPECT_EQ(IsRegValueExist((k + L"\\v").c_str()), 0);
    std::list<ScsResource> out;
    GetRegestryObjectsList(k.c_str(), L"*", L"*", 1, 1, &out);
    EXPECT_TRUE(out.empty());
    // Reading a value does not ask whether the key is virtual.
    wchar_t buffer[8];
    EXPECT_EQ(GetRegValueStr((k + L"\\v").c_str(), buffer, 8), 1);
    EXPECT_STREQ(buffer, L"1");

    g_answer = {static_cast<LONG>(0xC000000D), 0};
    EXPECT_EQ(IsRegKeyExist(k.c_str()), 1);
    EXPECT_EQ(IsRegValueExist((k + L"\\v").c_str()), 1);
}

TEST(SkippedRegistryAreas, ByUpperCasedPrefixWithBackslash) {
    const std::wstring sid = Detail::GetCurrentUserSidString();
    ASSERT_EQ(sid.compare(0, 4, L"S-1-"), 0) << KvTest::Narrow(sid);
    struct Case {
        std::wstring path;
        int expected;
    } cases[] = {
        {L"HKEY_LOCAL_MACHINE\\HARDWARE", 1},
        {L"HKEY_LOCAL_MACHINE\\Hardware\\x", 1},
        {L"hkey_local_machine\\hardware", 1},
        {L"HKEY_LOCAL_MACHINE\\HARDWAREX", 0},
        {L"HKEY_LOCAL_MACHINE\\COMPONENTS\\a", 1},
        {L"HKEY_LOCAL_MACHINE\\Schema", 1},
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE", 0},
        {L"HKEY_CLASSES_ROOT\\VirtualStore", 1},
        {L"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE", 1},
        {L"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStores", 0},
        {L"HKEY_USERS\\" + sid + L"\\Software\\Classes\\VirtualStore", 1},
        {L"HKEY_USERS\\" + sid + L"_Classes\\VirtualStore\\x", 1},
        {L"HKEY_USERS\\" + sid + L"\\Software", 0},
        {L"HKEY_USERS\\\\SOFTWARE\\CLASSES\\VIRTUALSTORE", 0},
        {L"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Detail::IsRegPathSkipped(c.path.c_str()), c.expected) << KvTest::Narrow(c.path);
    EXPECT_EQ(Detail::IsRegPathSkipped(nullptr), 0);
}

TEST(CurrentUserSid, CopyIsAValidSid) {
    PSID sid = nullptr;
    ASSERT_EQ(Detail::GetCurrentUserSid(&sid), 1);
    ASSERT_NE(sid, nullptr);
    EXPECT_TRUE(IsValidSid(sid));
    HeapFree(GetProcessHeap(), 0, sid);
    EXPECT_EQ(Detail::GetCurrentUserSid(nullptr), 0);
}

TEST(FilterResourcesByMasks, KeepsWhatMatchesByName) {
    std::list<ScsResource> list = {
        ScsResource(L"C:\\App\\a.exe", SCS_FILE),    ScsResource(L"C:\\App\\b.txt", SCS_FILE),
        ScsResource(L"C:\\App\\Bin", SCS_DIRECTORY), ScsResource(L"C:\\App\\Data", SCS_DIRECTORY),
        ScsResource(L"D:noslash.exe", SCS_FILE),     ScsResource(L"HKEY_CURRENT_USER\\X", SCS_REG_KEY),
        ScsResource(L"C:/App/c.EXE", SCS_FILE)};
    Detail::FilterResourcesByMasks(list, {L"B*"}, {L"*.exe", L""});
    EXPECT_EQ(KvTest::Describe(list),
              (std::vector<std::wstring>{L"F:C:\\App\\a.exe", L"D:C:\\App\\Bin", L"F:D:noslash.exe",
                                         L"K:HKEY_CURRENT_USER\\X", L"F:C:/App/c.EXE"}));
}

// The address step of FindResInMap needs Windows Sockets, which this test program initialises.
class CWithSockets : public CCmdSequence {
public:
    using CCmdSequence::FindResInMap;
    using CCmdSequence::m_mapShares;
};

TEST(FindResInMapAddresses, HostGivenByAddressIsWrittenByName) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    {
        CWithSockets seq;
        const unsigned long loopback = inet_addr("127.0.0.1");
        hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
        if (!host || !host->h_name) {
            WSACleanup();
            GTEST_SKIP() << "no name for 127.0.0.1 on this system";
        }
        std::string name = host->h_name;
        name = name.substr(0, name.find('.'));
        ScsResource r(L"\\\\127.0.0.1\\share\\f.txt", SCS_FILE);
        EXPECT_EQ(seq.FindResInMap(&r, nullptr), 0);
        EXPECT_EQ(r.strPath, L"\\\\" + std::wstring(name.begin(), name.end()) + L"\\share\\f.txt");

        ScsResource notAddress(L"\\\\255.255.255.255\\s\\f", SCS_FILE);
        seq.FindResInMap(&notAddress, nullptr);
        EXPECT_EQ(notAddress.strPath, L"\\\\255.255.255.255\\s\\f");
    }
    WSACleanup();
}

} // namespace
