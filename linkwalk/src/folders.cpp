// Listings of the folders that names are searched in. A name's search asks each folder of the
// search order whether it holds the name; under Wine a query whose letter case differs from the
// file's, or for a name that is not there, reads the whole folder (about 0.2 ms for the system
// folder), and the walk of one program asks hundreds of them. A listing read once per process
// answers them from memory while the folder's last-write time shows no entry came or went.
#include "internal.h"

namespace Depends {

namespace {

bool IsAscii(const wchar_t* s) {
    for (; *s; ++s)
        if (*s >= 0x80)
            return false;
    return true;
}

std::wstring UpperAscii(const wchar_t* s) {
    std::wstring up(s);
    for (wchar_t& c : up)
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - L'a' + L'A');
    return up;
}

class CListings {
public:
    FolderListingPtr Get(const std::wstring& key) {
        std::lock_guard<std::mutex> hold(m_lock);
        auto it = m_listings.find(key);
        return it == m_listings.end() ? FolderListingPtr() : it->second;
    }
    void Put(const std::wstring& key, const FolderListingPtr& listing) {
        std::lock_guard<std::mutex> hold(m_lock);
        // A process that searches many folders (generators walk whole disks) keeps a bounded set.
        if (m_listings.size() >= 4096 && !m_listings.count(key))
            m_listings.clear();
        m_listings[key] = listing;
    }

private:
    std::mutex m_lock;
    std::map<std::wstring, FolderListingPtr> m_listings;
};

CListings& Listings() {
    // Never destroyed: a thread may still walk while the process ends.
    static CListings* listings = new CListings;
    return *listings;
}

bool FolderStamp(const std::wstring& path, uint64_t& lastWrite, uint64_t& creation) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!::GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &a) ||
        !(a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    lastWrite = Ticks(a.ftLastWriteTime);
    creation = Ticks(a.ftCreationTime);
    return true;
}

FolderListingPtr ReadListing(const std::wstring& folder, uint64_t lastWrite, uint64_t creation, uint64_t now) {
    std::shared_ptr<CFolderListing> listing = std::make_shared<CFolderListing>();
    listing->lastWrite = lastWrite;
    listing->creation = creation;
    listing->readAt = now;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileExW(ApiPath(folder + L"\\*").c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch,
                                  nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        if (::GetLastError() != ERROR_FILE_NOT_FOUND)
            return FolderListingPtr();
    } else {
        do {
            for (const wchar_t* name : {fd.cFileName, fd.cAlternateFileName}) {
                if (!*name)
                    continue;
                if (!IsAscii(name)) {
                    listing->otherNames = true;
                    continue;
                }
                CFolderListing::Entry& e = listing->names[UpperAscii(name)];
                e.name = fd.cFileName;
                e.attributes = fd.dwFileAttributes;
            }
        } while (::FindNextFileW(h, &fd));
        const DWORD error = ::GetLastError();
        ::FindClose(h);
        if (error != ERROR_NO_MORE_FILES)
            return FolderListingPtr();
    }
    // The spelling on disk: paths in it are found without a search of each folder on the way.
    std::vector<wchar_t> real(folder.size() + 1 + MAX_PATH);
    DWORD n = ::GetLongPathNameW(folder.c_str(), real.data(), static_cast<DWORD>(real.size()));
    listing->realPath = n && n < real.size() && UpperCase(std::wstring(real.data(), n)) == UpperCase(folder)
                            ? std::wstring(real.data(), n)
                            : folder;
    return listing;
}

} // namespace

int CFolderListing::Find(const std::wstring& name, const Entry*& entry) const {
    auto it = names.find(UpperAscii(name.c_str()));
    if (it != names.end()) {
        entry = &it->second;
        return 1;
    }
    entry = nullptr;
    return otherNames ? -1 : 0;
}

bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name.size() > 255 || name == L"." || name == L".." || name.back() == L'.' ||
        name.back() == L' ')
        return false;
    for (wchar_t c : name)
        if (c < 0x20 || c >= 0x7F || std::wcschr(L"\\/:*?\"<>|~", c))
            return false;
    return true;
}

bool MayNameAFile(const std::wstring& name) {
    if (name.empty() || name.size() >= 32767)
        return false;
    size_t part = 0;
    for (wchar_t c : name) {
        if (c == L'\\' || c == L'/')
            part = 0;
        else if (++part > 255)
            return false;
    }
    return true;
}

bool IsListableFolder(const std::wstring& folder) {
    if (folder.size() < 3 || folder.size() >= MAX_PATH - 2 || folder.back() == L'\\')
        return false;
    const bool drive = folder[1] == L':' && folder[2] == L'\\';
    const bool unc = folder.compare(0, 2, L"\\\\") == 0 && folder[2] != L'?' && folder[2] != L'.';
    if (!drive && !unc)
        return false;
    for (size_t i = 0; i < folder.size(); ++i) {
        const wchar_t c = folder[i];
        if (c < 0x20 || std::wcschr(L"*?\"<>|/", c) || (c == L':' && i != 1))
            return false;
    }
    return true;
}

FolderListingPtr CurrentListing(const std::wstring& folder) {
    const std::wstring key = UpperCase(folder);
    FolderListingPtr known = Listings().Get(key);
    uint64_t lastWrite = 0, creation = 0;
    if (!FolderStamp(known ? known->realPath : folder, lastWrite, creation) &&
        (!known || known->realPath == folder || !FolderStamp(folder, lastWrite, creation)))
        return FolderListingPtr();
    if (known && known->lastWrite == lastWrite && known->creation == creation &&
        lastWrite + kSettleTime <= known->readAt)
        return known;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    if (lastWrite + kSettleTime > Ticks(now))
        return FolderListingPtr();
    FolderListingPtr listing = ReadListing(folder, lastWrite, creation, Ticks(now));
    if (listing)
        Listings().Put(key, listing);
    return listing;
}

} // namespace Depends
