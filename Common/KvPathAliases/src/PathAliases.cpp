// The path variables, drive and share aliases of this computer, and the host look-ups behind them.
#include <winsock2.h>
#include <windows.h>
#include <lm.h>
#include <winnetwk.h>

#include "KvPathAliases.h"

#include <cstring>

namespace KvPathAliases {

const wchar_t* const PathVariableNames[8] = {L"ALLUSERSPROFILE", L"CommonProgramFiles", L"CommonProgramW6432",
                                             L"ProgramFiles",    L"ProgramW6432",       L"TEMP",
                                             L"SystemRoot",      L"SystemDrive"};

namespace {

// A dotted IPv4 address of four decimal parts of at most three digits.
bool IsDottedQuad(const std::wstring& text) {
    int dots = 0, digits = 0;
    for (wchar_t c : text) {
        if (c == L'.') {
            if (digits == 0)
                return false;
            ++dots;
            digits = 0;
        } else if (c >= L'0' && c <= L'9') {
            if (++digits > 3)
                return false;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

std::wstring Widen(const char* text) {
    return std::wstring(text, text + strlen(text)); // host names and dotted addresses are ASCII
}

} // namespace

CAliasMap ReadPathVariables() {
    CAliasMap vars;
    for (const wchar_t* name : PathVariableNames) {
        const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        if (size == 0)
            continue;
        std::vector<wchar_t> value(size + 1, L'\0');
        const DWORD length = GetEnvironmentVariableW(name, value.data(), size + 1);
        // 0: set but empty (or gone meanwhile); more than the size: changed between the calls.
        if (length == 0 || length > size)
            continue;
        vars[std::wstring(value.data(), length)] = L"%" + std::wstring(name) + L"%";
    }
    return vars;
}

CAliasMap ReadDriveAliases() {
    CAliasMap drives;
    const DWORD present = GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(present & (1u << bit)))
            continue;
        const wchar_t drive[3] = {static_cast<wchar_t>(L'A' + bit), L':', 0};
        union {
            UNIVERSAL_NAME_INFOW info;
            BYTE bytes[1024];
        } universal;
        DWORD size = sizeof(universal);
        if (WNetGetUniversalNameW(drive, UNIVERSAL_NAME_INFO_LEVEL, &universal, &size) == NO_ERROR) {
            if (universal.info.lpUniversalName)
                drives[drive] = universal.info.lpUniversalName;
            continue;
        }
        wchar_t target[1024] = {};
        if (QueryDosDeviceW(drive, target, 1024) && wcsncmp(target, L"\\??\\", 4) == 0)
            drives[drive] = target + 4;
    }
    return drives;
}

std::vector<std::wstring> LocalAddresses() {
    static SRWLOCK lock = SRWLOCK_INIT;
    static std::vector<std::wstring> kept;
    static bool known = false;
    struct Guard {
        Guard() { AcquireSRWLockExclusive(&lock); }
        ~Guard() { ReleaseSRWLockExclusive(&lock); }
    } guard;
    if (known)
        return kept;
    hostent* host = gethostbyname(nullptr);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list)
        return {};
    std::vector<std::wstring> addresses;
    for (char** entry = host->h_addr_list; *entry; ++entry) {
        in_addr address;
        memcpy(&address, *entry, sizeof(address));
        if (const char* dotted = inet_ntoa(address))
            addresses.push_back(Widen(dotted));
    }
    kept = addresses;
    known = true;
    return addresses;
}

CAliasMap ReadShareAliases() {
    CAliasMap shares;
    wchar_t computer[16] = {};
    DWORD computerLength = 16;
    if (!GetComputerNameW(computer, &computerLength))
        return shares;
    const std::vector<std::wstring> addresses = LocalAddresses();
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        const NET_API_STATUS status = NetShareEnum(nullptr, 502, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            const SHARE_INFO_502* list = reinterpret_cast<const SHARE_INFO_502*>(buffer);
            for (DWORD i = 0; buffer && i < read; ++i) {
                const wchar_t* share = list[i].shi502_netname;
                const wchar_t* path = list[i].shi502_path;
                if (!share || !path || !*path)
                    continue;
                shares[L"\\\\" + std::wstring(computer) + L"\\" + share] = path;
                shares[L"\\\\127.0.0.1\\" + std::wstring(share)] = path;
                for (const std::wstring& address : addresses)
                    shares[L"\\\\" + address + L"\\" + share] = path;
            }
        }
        if (buffer)
            NetApiBufferFree(buffer);
        if (status != ERROR_MORE_DATA || read == 0)
            break; // done, failed, or a provider that asks for more but gives nothing
    }
    return shares;
}

std::wstring FollowDriveAliases(std::wstring path, const CAliasMap& drives, EDriveCase driveCase) {
    for (int step = 0; step < 26 && path.size() >= 2 && path[1] == L':'; ++step) {
        std::wstring drive = path.substr(0, 2);
        if (driveCase == DriveAnyCase && drive[0] >= L'a' && drive[0] <= L'z')
            drive[0] = static_cast<wchar_t>(drive[0] - L'a' + L'A');
        const auto alias = drives.find(drive);
        if (alias == drives.end())
            break;
        path = alias->second + path.substr(2);
    }
    return path;
}

std::wstring HostNameOfAddress(const std::wstring& host) {
    if (!IsDottedQuad(host))
        return std::wstring();
    const std::string narrow(host.begin(), host.end());
    const unsigned long address = inet_addr(narrow.c_str());
    if (address == INADDR_NONE)
        return std::wstring();
    const hostent* entry = gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (!entry || !entry->h_name || !*entry->h_name)
        return std::wstring();
    std::string name = entry->h_name;
    name = name.substr(0, name.find('.')).substr(0, 127);
    return Widen(name.c_str());
}

int WriteHostByName(std::wstring& path) {
    if (path.compare(0, 2, L"\\\\") != 0)
        return 0;
    const std::size_t end = path.find(L'\\', 2);
    const std::wstring host = path.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
    const std::wstring name = HostNameOfAddress(host);
    if (name.empty())
        return 0;
    path = L"\\\\" + name + path.substr(2 + host.size());
    return 1;
}

} // namespace KvPathAliases
