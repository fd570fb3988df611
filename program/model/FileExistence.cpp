// Whether the files of many stored resources exist, from folder listings made while the store file
// is read (FileExistence.h).
#include "FileExistence.h"

#include <KvText.h>

#include <algorithm>
#include <cwctype>

using namespace Varno;

namespace {

// How many resources the reading thread gathers before it hands them to the listing thread: the
// hand-over takes a lock and may wake the thread, once for many resources.
const size_t kHandEvery = 256;

// The expanded form of a path with variables; false when it cannot be had. `path` then points at
// `expanded`, else stays at the name.
bool Expand(const std::wstring& name, std::wstring& expanded, const std::wstring*& path) {
    path = &name;
    if (name.find(L'%') == std::wstring::npos)
        return true;
    DWORD n = ExpandEnvironmentStringsW(name.c_str(), nullptr, 0);
    if (!n)
        return false;
    expanded.assign(n, L'\0');
    n = ExpandEnvironmentStringsW(name.c_str(), &expanded[0], n);
    if (!n)
        return false;
    expanded.resize(n - 1);
    path = &expanded;
    return true;
}

// Whether the path is a plain absolute path "X:\dir\name": no stream, wildcard or device syntax,
// no "." or ".." component, no component that the platform would trim (trailing dots or spaces).
bool IsPlainPath(const std::wstring& path) {
    if (path.size() < 4 || path.size() >= MAX_PATH || !iswalpha(path[0]) || path[1] != L':' || path[2] != L'\\')
        return false;
    if (path.find_first_of(L"*?\"<>|/", 0) != std::wstring::npos || path.find(L':', 2) != std::wstring::npos)
        return false;
    size_t start = 3;
    for (;;) {
        size_t end = path.find(L'\\', start);
        size_t stop = end == std::wstring::npos ? path.size() : end;
        if (stop == start)
            return false; // an empty component
        const wchar_t last = path[stop - 1];
        if (last == L'.' || last == L' ')
            return false;
        for (size_t i = start; i < stop; ++i)
            if (path[i] < 32)
                return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}

} // namespace

void CFolderEntries::Add(const wchar_t* name, bool directory) {
    const size_t offset = m_text.size();
    m_text.append(name);
    KvBase::UpperCaseInPlace(m_text, offset);
    m_entries.push_back(SEntry{offset, m_text.size() - offset, directory});
    m_sorted = false;
}

void CFolderEntries::Sort() {
    if (m_sorted)
        return;
    std::stable_sort(m_entries.begin(), m_entries.end(), [this](const SEntry& a, const SEntry& b) {
        return m_text.compare(a.offset, a.length, m_text, b.offset, b.length) < 0;
    });
    m_sorted = true;
}

int CFolderEntries::Find(const std::wstring& upperName) {
    Sort();
    auto it =
        std::lower_bound(m_entries.begin(), m_entries.end(), upperName, [this](const SEntry& e, const std::wstring& n) {
            return m_text.compare(e.offset, e.length, n) < 0;
        });
    if (it == m_entries.end() || m_text.compare(it->offset, it->length, upperName) != 0)
        return -1;
    return it->directory ? 1 : 0;
}

void CFolderEntries::Clear() {
    m_text.clear();
    m_entries.clear();
    m_sorted = true;
}

FolderListing ListFolder(const std::wstring& folder, CFolderEntries& entries, const std::atomic<bool>& stop) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        // No such folder, or one without any entry: none of its files exists.
        return e == ERROR_PATH_NOT_FOUND || e == ERROR_FILE_NOT_FOUND ? FolderListing::Missing : FolderListing::Unknown;
    }
    bool stopped = false;
    do {
        if (stop.load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        entries.Add(data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileW(h, &data));
    const DWORD e = stopped ? ERROR_CANCELLED : GetLastError();
    FindClose(h);
    if (e != ERROR_NO_MORE_FILES)
        return FolderListing::Unknown;
    entries.Sort();
    return FolderListing::Listed;
}

CFileExistence::CFileExistence(CFolderLister lister) : m_lister(std::move(lister)) {}

CFileExistence::~CFileExistence() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool CFileExistence::IsListedKind(const SmartPtr<IResource>& resource) {
    return resource && resource->GetKind() == ResourceKindFile && resource->IsControlled();
}

void CFileExistence::ResourceRead(const SmartPtr<IResource>& resource) {
    if (m_failed || !resource)
        return;
    try {
        m_gathered.push_back(resource);
        if (m_gathered.size() >= kHandEvery)
            Hand(false);
    } catch (...) {
        m_failed = true; // Settle finds the resources told of incomplete and notes them itself
    }
}

void CFileExistence::Hand(bool last) {
    if (!m_thread.joinable()) {
        if (m_gathered.empty())
            return; // nothing was told of: no thread
        m_thread = std::thread([this] { Run(); });
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_inbox.empty())
            m_inbox.swap(m_gathered);
        else
            m_inbox.insert(m_inbox.end(), m_gathered.begin(), m_gathered.end());
        m_closed = last;
    }
    m_gathered.clear();
    m_wake.notify_one();
}

void CFileExistence::Run() {
    try {
        Take();
    } catch (...) {
        m_runFailed = true; // Settle notes the resources itself
    }
}

void CFileExistence::Take() {
    std::vector<SmartPtr<IResource>> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_closed || !m_inbox.empty(); });
            if (m_stop || m_inbox.empty())
                return;
            batch.swap(m_inbox);
        }
        for (const auto& resource : batch) {
            if (m_stop)
                return;
            if (!IsListedKind(resource))
                continue;
            m_told.push_back(resource);
            SFolder* f = Note(resource->GetName());
            if (f && f->resources == kListFrom)
                List(*f);
        }
        batch.clear();
    }
}

void CFileExistence::Settle(const std::vector<SmartPtr<IResource>>& asked) {
    if (!m_failed) {
        try {
            if (m_thread.joinable()) {
                Hand(true);
            } else {
                // Too few were told of to start the thread: they are taken on this one.
                m_inbox.swap(m_gathered);
                m_closed = true;
                Run();
            }
        } catch (...) {
            m_failed = true;
        }
    }
    if (m_thread.joinable()) {
        if (m_failed) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    m_tookTold = !m_failed && !m_runFailed && !m_stop && m_told.size() == asked.size();
    for (size_t i = 0; m_tookTold && i < asked.size(); ++i)
        m_tookTold = m_told[i].Get() == asked[i].Get();
    m_told.clear();
    if (m_tookTold)
        return;
    // Not the resources told of: the listings made meanwhile may be of other folders.
    Forget();
    for (const auto& resource : asked)
        Note(resource->GetName());
}

void CFileExistence::Forget() {
    m_folders.clear();
    m_noted.clear();
    m_names.clear();
    m_lastFolderText.clear();
    m_lastFolder = nullptr;
    m_listedFolders = 0;
    m_stop = false;
}

CFileExistence::SFolder* CFileExistence::Note(const std::wstring& name) {
    SFolder* f = nullptr;
    const size_t offset = m_names.size();
    const std::wstring* path = nullptr;
    if (Expand(name, m_name, path) && IsPlainPath(*path)) {
        const size_t cut = path->rfind(L'\\');
        // Names of one folder mostly follow each other: the folder as it was written last time
        // spares its upper-casing and look-up.
        if (m_lastFolder && m_lastFolderText.size() == cut + 1 && path->compare(0, cut + 1, m_lastFolderText) == 0) {
            f = m_lastFolder;
        } else {
            m_lastFolderText.assign(*path, 0, cut + 1);
            m_folderKey = m_lastFolderText;
            KvBase::UpperCaseInPlace(m_folderKey);
            auto it = m_folders.find(m_folderKey);
            if (it == m_folders.end()) {
                it = m_folders.emplace(m_folderKey, SFolder()).first;
                it->second.path = m_folderKey;
            }
            f = m_lastFolder = &it->second;
        }
        ++f->resources;
        m_names.append(*path, cut + 1, std::wstring::npos);
        KvBase::UpperCaseInPlace(m_names, offset);
    }
    m_noted.push_back(SNoted{f, offset, m_names.size() - offset});
    return f;
}

void CFileExistence::List(SFolder& f) {
    f.listed = true;
    ++m_listedFolders;
    f.state = m_lister(f.path, f.entries, m_stop);
    if (f.state != FolderListing::Listed)
        f.entries.Clear();
}

int CFileExistence::Next() {
    if (m_next >= m_noted.size())
        return -1;
    SNoted& noted = m_noted[m_next++];
    SFolder* f = noted.folder;
    if (!f || f->resources < kListFrom)
        return -1;
    if (!f->listed)
        List(*f);
    if (f->state == FolderListing::Missing)
        return 0;
    if (f->state == FolderListing::Unknown)
        return -1;
    m_fileKey.assign(m_names, noted.offset, noted.length);
    const int entry = f->entries.Find(m_fileKey);
    if (entry < 0)
        return -1; // perhaps a short name or one the listing writes otherwise: the item asks
    return entry ? 0 : 1;
}
