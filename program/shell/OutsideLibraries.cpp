// The outside libraries as the program calls them.
#include "OutsideLibraries.h"
#include "StoreHolder.h"

#include <sddl.h>

#include <VDevInfo.h>
#include <linkwalk.h>

void COutsideLibraries::AttachInventory() { VDeviceInfo::Common::Attach(); }

void COutsideLibraries::AttachStore() { Varno::Common::Attach(); }

void COutsideLibraries::AttachFinder() { Depends::Common::Attach(); }

void COutsideLibraries::DetachStore() { Varno::Common::Detach(); }

void COutsideLibraries::DetachFinder() { Depends::Common::Detach(); }

void COutsideLibraries::DetachInventory() { VDeviceInfo::Common::Detach(); }

int COutsideLibraries::CheckDisks() {
    // Exceptions are not caught here: they end the start through its exception report.
    VDeviceInfo::SmartPtr<VDeviceInfo::IStorage> storage = VDeviceInfo::Common::GetStorage();
    VDeviceInfo::SmartPtr<VDeviceInfo::IFilter> filter = VDeviceInfo::Common::CreateFilter();
    VDeviceInfo::SmartPtr<VDeviceInfo::IFilterEntry> entry = VDeviceInfo::Common::CreateFilterEntry(_value_t(2));
    filter->AddEntry(L"MediaType", entry.Get());
    std::list<VDeviceInfo::SmartPtr<VDeviceInfo::IPhysicalDrive>> drives;
    storage->GetDrives(drives, filter.Get());
    for (auto& d : drives)
        if (!d->IsRecognized())
            return 0;
    return 1;
}

void COutsideLibraries::CreateProvider(CStoreHolder& holder) { holder.m_provider = Varno::Common::CreateProvider(); }

void COutsideLibraries::DestroyProvider() { Varno::Common::DestroyProvider(); }

int COutsideLibraries::GetVarnoDriveLetter(wchar_t letter, wchar_t* boardLetter) {
    return Varno::Common::GetVarnoDriveLetter(letter, boardLetter);
}

int COutsideLibraries::IsUserAdmin() { return IsProcessUserAdmin(); }

int IsProcessUserAdmin() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    int result = 0;
    DWORD size = 0;
    BOOL ok = ::GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    if ((ok || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) && size > 0) {
        BYTE* block = static_cast<BYTE*>(::calloc(1, size));
        PSID admins = nullptr;
        if (block && ::GetTokenInformation(token, TokenGroups, block, size, &size) &&
            ::ConvertStringSidToSidW(L"S-1-5-32-544", &admins)) {
            auto* groups = reinterpret_cast<TOKEN_GROUPS*>(block);
            for (DWORD i = 0; i < groups->GroupCount && !result; ++i)
                if ((groups->Groups[i].Attributes & SE_GROUP_ENABLED) && ::EqualSid(groups->Groups[i].Sid, admins))
                    result = 1;
        }
        if (admins)
            ::LocalFree(admins);
        ::free(block);
    }
    ::CloseHandle(token);
    return result;
}
