// The path-alias library that the scenario library and the model share: path variables (empty
// ones left out), the drive walk with its bound, host names only for real IPv4 host parts, the
// host's addresses kept once looked up, and substituted drives read from the system.
#include <winsock2.h>

#include "KvPathAliases.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <tuple>
#include <vector>

using namespace KvPathAliases;

namespace {

// Sets environment variables for one scope and restores them.
class CScopedVariables {
public:
    CScopedVariables(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
        for (const auto& v : values) {
            wchar_t old[1024];
            const DWORD n = GetEnvironmentVariableW(v.first, old, 1024);
            m_saved.emplace_back(v.first,
                                 n || GetLastError() != ERROR_ENVVAR_NOT_FOUND ? std::wstring(old, n) : std::wstring(),
                                 n || GetLastError() != ERROR_ENVVAR_NOT_FOUND);
            SetEnvironmentVariableW(v.first, v.second);
        }
    }
    ~CScopedVariables() {
        for (const auto& s : m_saved)
            SetEnvironmentVariableW(std::get<0>(s).c_str(), std::get<2>(s) ? std::get<1>(s).c_str() : nullptr);
    }

private:
    std::vector<std::tuple<std::wstring, std::wstring, bool>> m_saved;
};

TEST(PathVariables, LaterVariableOwnsAValueAndEmptyOnesAreLeftOut) {
    CScopedVariables scope({{L"ALLUSERSPROFILE", L"C:\\ProgramData"},
                            {L"CommonProgramFiles", L"C:\\Program Files\\Common Files"},
                            {L"CommonProgramW6432", L"C:\\Program Files\\Common Files"},
                            {L"ProgramFiles", L"C:\\Program Files"},
                            {L"ProgramW6432", L"C:\\Program Files"},
                            {L"TEMP", L""}, // set but empty: it would begin every path
                            {L"SystemRoot", L"C:\\Windows"},
                            {L"SystemDrive", nullptr}});
    const CAliasMap vars = ReadPathVariables();
    const CAliasMap expected = {{L"C:\\ProgramData", L"%ALLUSERSPROFILE%"},
                                {L"C:\\Program Files\\Common Files", L"%CommonProgramW6432%"},
                                {L"C:\\Program Files", L"%ProgramW6432%"},
                                {L"C:\\Windows", L"%SystemRoot%"}};
    EXPECT_EQ(vars, expected);
}

TEST(DriveAliases, FollowedWithinABound) {
    const CAliasMap drives = {{L"N:", L"\\\\server\\data"}, {L"S:", L"N:\\sub"}, {L"X:", L"Y:\\x"}, {L"Y:", L"X:\\y"}};
    EXPECT_EQ(FollowDriveAliases(L"S:\\f", drives, DriveAsWritten), L"\\\\server\\data\\sub\\f");
    EXPECT_EQ(FollowDriveAliases(L"s:\\f", drives, DriveAsWritten), L"s:\\f");
    EXPECT_EQ(FollowDriveAliases(L"s:\\f", drives, DriveAnyCase), L"\\\\server\\data\\sub\\f");
    EXPECT_EQ(FollowDriveAliases(L"C:\\f", drives, DriveAnyCase), L"C:\\f");
    EXPECT_EQ(FollowDriveAliases(L"N", drives, DriveAnyCase), L"N");
    // A cycle: 26 steps, then the walk ends with the text it has.
    std::wstring expected = L"X:\\loop";
    for (int step = 0; step < 26; ++step)
        expected = (expected[0] == L'X' ? L"Y:\\x" : L"X:\\y") + expected.substr(2);
    EXPECT_EQ(FollowDriveAliases(L"X:\\loop", drives, DriveAsWritten), expected);
}

TEST(DriveAliases, SubstitutedDriveIsRead) {
    wchar_t letter = 0;
    for (wchar_t l = L'P'; l <= L'Y' && !letter; ++l)
        if (!(GetLogicalDrives() & (1u << (l - L'A'))))
            letter = l;
    ASSERT_NE(letter, 0);
    const std::wstring drive = std::wstring(1, letter) + L":";
    wchar_t temp[MAX_PATH];
    std::wstring target(temp, GetTempPathW(MAX_PATH, temp));
    while (target.size() > 3 && target.back() == L'\\')
        target.pop_back();
    ASSERT_TRUE(DefineDosDeviceW(0, drive.c_str(), target.c_str()));
    const CAliasMap drives = ReadDriveAliases();
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    ASSERT_EQ(drives.count(drive), 1u);
    EXPECT_EQ(drives.at(drive), target);
}

class Sockets : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &m_data), 0); }
    void TearDown() override { WSACleanup(); }
    WSADATA m_data;
};

TEST_F(Sockets, OnlyDottedIPv4HostPartsAreLookedUp) {
    // The platform's parser reads all of these as 127.0.0.1; none of them is a host written by
    // its address.
    for (const wchar_t* host :
         {L"2130706433", L"0x7f.0.0.1", L"127.1", L"127.0.0.1.", L"127.0.0.1x", L"255.255.255.255", L"1234.0.0.1", L""})
        EXPECT_EQ(HostNameOfAddress(host), L"") << host;

    const unsigned long loopback = inet_addr("127.0.0.1");
    const hostent* entry = gethostbyaddr(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
    if (!entry || !entry->h_name || !*entry->h_name)
        GTEST_SKIP() << "no name for 127.0.0.1 on this system";
    std::string cut = entry->h_name;
    cut = cut.substr(0, cut.find('.'));
    const std::wstring name(cut.begin(), cut.end());
    EXPECT_EQ(HostNameOfAddress(L"127.0.0.1"), name);

    // Only the host part changes: the same digits in a file name stay.
    std::wstring path = L"\\\\127.0.0.1\\backup\\127.0.0.1.zip";
    EXPECT_EQ(WriteHostByName(path), 1);
    EXPECT_EQ(path, L"\\\\" + name + L"\\backup\\127.0.0.1.zip");
    std::wstring host = L"\\\\127.0.0.1";
    EXPECT_EQ(WriteHostByName(host), 1);
    EXPECT_EQ(host, L"\\\\" + name);
    for (std::wstring other : {L"C:\\127.0.0.1\\x", L"\\\\127.1\\s", L"\\\\server\\127.0.0.1"}) {
        const std::wstring before = other;
        EXPECT_EQ(WriteHostByName(other), 0);
        EXPECT_EQ(other, before);
    }
}

// The host's addresses are kept once a look-up succeeds. (One made before Windows Sockets is
// initialised fails on Windows and is not kept; Wine answers it all the same.)
TEST(LocalAddresses, KeptOnceTheLookUpSucceeds) {
    LocalAddresses(); // without Windows Sockets
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const std::vector<std::wstring> first = LocalAddresses();
    hostent* host = gethostbyname(nullptr);
    std::vector<std::wstring> expected;
    for (char** entry = host ? host->h_addr_list : nullptr; entry && *entry; ++entry) {
        in_addr address;
        memcpy(&address, *entry, sizeof(address));
        const char* dotted = inet_ntoa(address);
        expected.emplace_back(dotted, dotted + strlen(dotted));
    }
    WSACleanup();
    EXPECT_EQ(first, expected);
    EXPECT_FALSE(first.empty()) << "this host has an IPv4 address";
    EXPECT_EQ(LocalAddresses(), first); // kept, also after the sockets are gone
}

TEST_F(Sockets, ShareAliasesNameEveryShareThreeWays) {
    const CAliasMap shares = ReadShareAliases();
    wchar_t computer[16] = {};
    DWORD length = 16;
    ASSERT_TRUE(GetComputerNameW(computer, &length));
    // Every key is one of the three forms and every share has all of them.
    std::map<std::wstring, int> forms;
    const std::vector<std::wstring> addresses = LocalAddresses();
    for (const auto& alias : shares) {
        ASSERT_EQ(alias.first.compare(0, 2, L"\\\\"), 0);
        const std::size_t slash = alias.first.find(L'\\', 2);
        ASSERT_NE(slash, std::wstring::npos);
        EXPECT_FALSE(alias.second.empty());
        ++forms[alias.first.substr(slash + 1)];
    }
    std::set<std::wstring> hosts(addresses.begin(), addresses.end());
    hosts.insert(computer);
    hosts.insert(L"127.0.0.1");
    for (const auto& share : forms)
        EXPECT_EQ(share.second, static_cast<int>(hosts.size())) << std::string(share.first.begin(), share.first.end());
}

} // namespace
