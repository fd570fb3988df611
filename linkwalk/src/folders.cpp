// Listings of the folders that names are searched in. A name's search asks each folder of the
// search order whether it holds the name; under Wine a query whose letter case differs from the
// file's, or for a name that is not there, reads the whole folder (about 0.2 ms for the system
// folder), and the walk of one program asks hundreds of them. A listing read once per process
// answers them from memory while the folder's last-write time shows no entry came or went.
#include "internal.h"

#include <algorithm>

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

// A listing with the generation of its folder's watch at which it was last found current, and
// when that was.
struct CheckedListing {
    FolderListingPtr listing;
    uint64_t generation = CFolderWatches::kUnwatched;
    uint64_t checkedAt = 0;
};

class CListings {
public:
    CheckedListing Get(const std::wstring& key) {
        std::lock_guard<std::mutex> hold(m_lock);
        auto it = m_listings.find(key);
        return it == m_listings.end() ? CheckedListing() : it->second;
    }
    void Put(const std::wstring& key, const CheckedListing& listing) {
        std::lock_guard<std::mutex> hold(m_lock);
        // A process that searches many folders (generators walk whole disks) keeps a bounded set.
        if (m_listings.size() >= 4096 && !m_listings.count(key))
            m_listings.clear();
        m_listings[key] = listing;
    }

private:
    std::mutex m_lock;
    std::map<std::wstring, CheckedListing> m_listings;
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

FolderListingPtr CurrentListing(const std::wstring& key, const std::wstring& folder, int watch, uint64_t now) {
    // Taken before the folder is asked: a change after this is a later generation.
    const uint64_t generation = CFolderWatches::Instance().Generation(watch);
    CheckedListing checked = Listings().Get(key);
    const FolderListingPtr known = checked.listing;
    if (known && generation != CFolderWatches::kUnwatched && checked.generation == generation &&
        now < checked.checkedAt + kWatchTrustTime)
        return known;
    uint64_t lastWrite = 0, creation = 0;
    if (!FolderStamp(known ? known->realPath : folder, lastWrite, creation) &&
        (!known || known->realPath == folder || !FolderStamp(folder, lastWrite, creation)))
        return FolderListingPtr();
    if (!known || known->lastWrite != lastWrite || known->creation != creation ||
        lastWrite + kSettleTime > known->readAt) {
        if (lastWrite + kSettleTime > now)
            return FolderListingPtr();
        checked.listing = ReadListing(folder, lastWrite, creation, now);
        if (!checked.listing)
            return FolderListingPtr();
    }
    checked.generation = generation;
    checked.checkedAt = now;
    Listings().Put(key, checked);
    return checked.listing;
}

// ---------------------------------------------------------------------------------------------
// Change watches

CFolderWatches::CFolderWatches() {
    for (std::atomic<uint64_t>& g : m_generation)
        g.store(kUnwatched);
    wchar_t buffer[MAX_PATH];
    std::wstring folders[kSlots];
    UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
    if (n && n < MAX_PATH)
        folders[0].assign(buffer, n);
    // Asked directly: the library's kernel32 wrapper is made under the search lists' lock.
    n = ::GetSystemWow64DirectoryW(buffer, MAX_PATH);
    if (n && n < MAX_PATH)
        folders[1].assign(buffer, n);
    n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
    if (n && n < MAX_PATH)
        folders[2].assign(buffer, n);
    for (std::wstring& folder : folders) {
        while (!folder.empty() && folder.back() == L'\\')
            folder.pop_back();
        if (!folder.empty())
            m_systemFolders.push_back(UpperCase(folder));
    }
}

CFolderWatches& CFolderWatches::Instance() {
    // Never destroyed: a thread may still walk while the process ends.
    static CFolderWatches* watches = new CFolderWatches;
    return *watches;
}

int CFolderWatches::Watch(const std::wstring& folderKey) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_slots.find(folderKey);
    if (it != m_slots.end())
        return it->second;
    int slot = -1;
    const bool system = std::find(m_systemFolders.begin(), m_systemFolders.end(), folderKey) != m_systemFolders.end();
    if (m_count < kSlots && system) {
        const HANDLE h = ::FindFirstChangeNotificationW(
            folderKey.c_str(), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION);
        if (h != INVALID_HANDLE_VALUE && h != nullptr) {
            slot = m_count++;
            m_handles[slot] = h;
            m_generation[slot].store(0, std::memory_order_release);
        }
    }
    // A folder that cannot be watched is not tried again.
    m_slots.emplace(folderKey, slot);
    return slot;
}

void CFolderWatches::Poll() {
    std::lock_guard<std::mutex> hold(m_lock);
    // The handles still armed, in slot order.
    HANDLE handles[kSlots];
    int slots[kSlots], n = 0;
    for (int i = 0; i < m_count; ++i)
        if (m_generation[i].load(std::memory_order_relaxed) != kUnwatched) {
            handles[n] = m_handles[i];
            slots[n++] = i;
        }
    // Each round takes one signalled watch: it is armed again before its generation moves on, so a
    // change after the move signals it anew. A folder that keeps changing cannot hold the poll.
    for (int round = 0; n > 0 && round <= 2 * n; ++round) {
        const DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(n), handles, FALSE, 0);
        if (r == WAIT_TIMEOUT)
            return;
        if (r >= WAIT_OBJECT_0 + DWORD(n)) {
            break;
        }
        const int i = static_cast<int>(r - WAIT_OBJECT_0), slot = slots[i];
        if (!::FindNextChangeNotification(handles[i])) {
            // The folder went away or cannot be watched any longer: its entries are asked again.
            m_generation[slot].store(kUnwatched, std::memory_order_release);
            handles[i] = handles[n - 1];
            slots[i] = slots[n - 1];
            --n;
            continue;
        }
        m_generation[slot].fetch_add(1, std::memory_order_acq_rel);
    }
    // The poll failed or did not settle: every watched folder counts as changed.
    for (int i = 0; i < n; ++i)
        m_generation[slots[i]].fetch_add(1, std::memory_order_acq_rel);
}

} // namespace Depends
