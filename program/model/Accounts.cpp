// Accounts of subjects: SID to account name, and whether a SID lies in this computer's account
// domain (read from the local security policy).
#include <windows.h>
#include <ntsecapi.h>

#include <mutex>
#include <string>

#include "IChDataModel.h"

namespace {

const DWORD kNameChars = 1024;

// Another language's name of a built-in account, or null.
const wchar_t* BuiltinCounterpart(const std::wstring& name) {
    static const wchar_t* const pairs[][2] = {
        {L"Administrator", L"Администратор"},
        {L"Guest", L"Гость"},
    };
    for (const auto& pair : pairs) {
        if (lstrcmpiW(name.c_str(), pair[0]) == 0)
            return pair[1];
        if (lstrcmpiW(name.c_str(), pair[1]) == 0)
            return pair[0];
    }
    return nullptr;
}

// Looks an account up by name on this computer: its SID and domain. Error code, 0 on success.
DWORD LookupByName(const wchar_t* name, CIChSid& sid, std::wstring& domain) {
    BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sidBuffer);
    wchar_t domainBuffer[kNameChars];
    DWORD domainChars = kNameChars;
    SID_NAME_USE use;
    if (!LookupAccountNameW(nullptr, name, sidBuffer, &sidSize, domainBuffer, &domainChars, &use))
        return GetLastError();
    if (!sid.Assign(sidBuffer))
        return ERROR_INVALID_SID;
    domain = domainBuffer;
    return 0;
}

// The cached account-domain prefix of this computer.
struct DomainPrefix {
    std::mutex lock;
    BYTE sid[SECURITY_MAX_SID_SIZE] = {}; // revision byte 1 once filled
    bool primaryEqual = false;
};

DomainPrefix& Prefix() {
    static DomainPrefix prefix;
    return prefix;
}

} // namespace

int CIChSubject::ResolveAccount(PSID sid, DWORD* error) {
    auto fail = [error](DWORD code) {
        if (error)
            *error = code;
        return 0;
    };
    if (m_SubType == SubjectComputer) {
        if (!sid || !IsValidSid(sid))
            return fail(ERROR_INVALID_SID);
        if (!m_Sid.Assign(sid))
            return fail(GetLastError() ? GetLastError() : ERROR_INVALID_SID);
        return 1;
    }
    if (!sid || !IsValidSid(sid))
        return fail(ERROR_INVALID_SID);

    wchar_t name[kNameChars];
    wchar_t domain[kNameChars];
    DWORD nameChars = kNameChars, domainChars = kNameChars;
    SID_NAME_USE use;
    std::wstring accountName, accountDomain;
    CIChSid taken;
    if (LookupAccountSidW(nullptr, sid, name, &nameChars, domain, &domainChars, &use)) {
        taken.Assign(sid);
        accountName = name;
        accountDomain = domain;
    } else {
        DWORD code = GetLastError();
        if (!m_Local)
            return fail(code);
        // The SID is unknown here (a model from another computer): look the account up by the
        // name the subject carries, and by its other-language name for the built-in accounts.
        size_t slash = m_Name.rfind(L'\\');
        std::wstring part = slash == std::wstring::npos ? m_Name : m_Name.substr(slash + 1);
        code = LookupByName(part.c_str(), taken, accountDomain);
        if (code != 0) {
            const wchar_t* other = BuiltinCounterpart(part);
            if (!other)
                return fail(code);
            code = LookupByName(other, taken, accountDomain);
            if (code != 0)
                return fail(code);
            part = other;
        }
        accountName = part;
    }
    m_Sid = taken;
    m_Name = accountDomain + L"\\" + accountName;
    // Locality of the SID the subject now holds (the given one, or the one found by name).
    m_Local = IsLocalAccountSid(m_Sid.GetPSID());
    return 1;
}

PSID GetAccountDomainPrefix() {
    DomainPrefix& prefix = Prefix();
    std::lock_guard<std::mutex> guard(prefix.lock);
    if (prefix.sid[0] == SID_REVISION)
        return prefix.sid;

    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy) != 0)
        return nullptr;
    POLICY_ACCOUNT_DOMAIN_INFO* account = nullptr;
    POLICY_PRIMARY_DOMAIN_INFO* primary = nullptr;
    NTSTATUS accountStatus = LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation, (PVOID*)&account);
    if (LsaQueryInformationPolicy(policy, PolicyPrimaryDomainInformation, (PVOID*)&primary) != 0)
        primary = nullptr;
    LsaClose(policy);

    PSID result = nullptr;
    if (accountStatus == 0 && account && account->DomainSid && IsValidSid(account->DomainSid)) {
        PSID domainSid = account->DomainSid;
        UCHAR count = *GetSidSubAuthorityCount(domainSid);
        if (count < SID_MAX_SUB_AUTHORITIES && GetLengthSid(domainSid) + sizeof(DWORD) <= sizeof(prefix.sid) &&
            CopySid(sizeof(prefix.sid), prefix.sid, domainSid)) {
            // In a workgroup (and under Wine) there is no primary domain SID: then this computer
            // is no domain controller, and no null SID is handed to EqualSid.
            prefix.primaryEqual =
                primary && primary->Sid && IsValidSid(primary->Sid) && EqualSid(domainSid, primary->Sid);
            // One more sub-authority, so that EqualPrefixSid compares every sub-authority of the
            // domain and accepts exactly the domain followed by one relative ID.
            *GetSidSubAuthorityCount(prefix.sid) = UCHAR(count + 1);
            *GetSidSubAuthority(prefix.sid, count) = 1;
            result = prefix.sid;
        } else {
            prefix.sid[0] = 0;
        }
    }
    if (account)
        LsaFreeMemory(account);
    if (primary)
        LsaFreeMemory(primary);
    return result;
}

bool IsAccountDomainPrimary() {
    DomainPrefix& prefix = Prefix();
    std::lock_guard<std::mutex> guard(prefix.lock);
    return prefix.sid[0] == SID_REVISION && prefix.primaryEqual;
}

int IsLocalAccountSid(PSID sid) {
    if (!sid || !IsValidSid(sid))
        return 1;
    PSID prefix = GetAccountDomainPrefix();
    if (!prefix)
        return 0; // nothing to compare with: not taken as local
    if (IsAccountDomainPrimary())
        return 0;
    return EqualPrefixSid(prefix, sid) ? 1 : 0;
}
