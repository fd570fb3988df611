// What a new scenario object reads from the system once: the environment variables that paths are
// written with, the drive and share aliases of this computer, and the extensions of executables.
#include <winsock2.h>
#include <windows.h>
#include <lm.h>
#include <winnetwk.h>

#include "CmdInternal.h"

#include "CmdText.h"

#include <cstring>
#include <vector>

namespace KvCmdSequence {

namespace {

// The variables that paths may begin with. When two have the same value the later one owns the
// value's entry (on a 64-bit system %ProgramW6432% wins over %ProgramFiles%).
const wchar_t* const kEnvVariableList[] = {
    L"ALLUSERSPROFILE", L"CommonProgramFiles", L"CommonProgramW6432", L"ProgramFiles",
    L"ProgramW6432",    L"TEMP",               L"SystemRoot",         L"SystemDrive"};

const wchar_t kExecutableExtensionList[] =
    L".exe; .dll; .cpl; .drv; .sys; .ocx; .vbs; .scr; .rll; .ime; .bpl; .ax; .acm; .com; .ppl; .cmd; .bat";

} // namespace

namespace Detail {

std::vector<std::wstring> LocalAddresses()
{
    // The host look-up costs tens of milliseconds and every new sequence object needs it, so a
    // successful answer is kept for the process. A failed one (Windows Sockets not initialised
    // yet) is not kept: a later object asks again.
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
        const char* dotted = inet_ntoa(address);
        if (dotted)
            addresses.emplace_back(dotted, dotted + strlen(dotted));
    }
    kept = addresses;
    known = true;
    return addresses;
}

} // namespace Detail

void CCmdSequence::InitEnvVariables()
{
    m_mapEnvVars.clear();
    for (const wchar_t* name : kEnvVariableList) {
        DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        if (size == 0)
            continue;
        std::vector<wchar_t> value(size + 1, L'\0');
        DWORD length = GetEnvironmentVariableW(name, value.data(), size + 1);
        if (length == 0 || length > size)
            continue; // changed between the two calls
        m_mapEnvVars[std::wstring(value.data(), length)] = L"%" + std::wstring(name) + L"%";
    }
}

void CCmdSequence::InitExtensionList()
{
    for (std::wstring& extension : Text::SplitRuns(kExecutableExtensionList, L";, "))
        m_lstExtensions.push_back(std::move(extension));
}

void CCmdSequence::InitInternalMaps()
{
    // Drives redirected to the network or substituted to a directory.
    m_mapDrives.clear();
    const DWORD drives = GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(drives & (1u << bit)))
            continue;
        const wchar_t drive[3] = {static_cast<wchar_t>(L'A' + bit), L':', 0};
        alignas(UNIVERSAL_NAME_INFOW) BYTE universal[1024] = {};
        DWORD size = sizeof(universal);
        if (WNetGetUniversalNameW(drive, UNIVERSAL_NAME_INFO_LEVEL, universal, &size) == NO_ERROR) {
            const wchar_t* name = reinterpret_cast<UNIVERSAL_NAME_INFOW*>(universal)->lpUniversalName;
            if (name)
                m_mapDrives[drive] = name;
            continue;
        }
        wchar_t target[1024] = {};
        if (QueryDosDeviceW(drive, target, 1024) && wcsncmp(target, L"\\??\\", 4) == 0)
            m_mapDrives[drive] = target + 4;
    }

    // The local shares, under every name by which a path can reach them.
    m_mapShares.clear();
    wchar_t computer[16] = {};
    DWORD computerLength = 16;
    if (!GetComputerNameW(computer, &computerLength))
        return;
    const std::vector<std::wstring> addresses = Detail::LocalAddresses();
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status =
            NetShareEnum(nullptr, 502, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer)
                NetApiBufferFree(buffer);
            break;
        }
        const SHARE_INFO_502* shares = reinterpret_cast<const SHARE_INFO_502*>(buffer);
        for (DWORD i = 0; buffer && i < read; ++i) {
            const wchar_t* share = shares[i].shi502_netname;
            const wchar_t* path = shares[i].shi502_path;
            if (!share || !path || !*path)
                continue;
            m_mapShares[L"\\\\" + std::wstring(computer) + L"\\" + share] = path;
            m_mapShares[L"\\\\127.0.0.1\\" + std::wstring(share)] = path;
            for (const std::wstring& address : addresses)
                m_mapShares[L"\\\\" + address + L"\\" + share] = path;
        }
        if (buffer)
            NetApiBufferFree(buffer);
        if (status != ERROR_MORE_DATA || read == 0)
            break; // done, or a provider that asks for more but gives nothing
    }
}

} // namespace KvCmdSequence
