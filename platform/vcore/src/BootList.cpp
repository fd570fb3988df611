// The board lists: for one family of objects a ".nam" file naming the objects one a line and a
// ".chk" file holding, line for line, the SHA-256 of each object (lower-case hex) or the marker
// "UNREADABLE". Both are UTF-8 without a byte-order mark, lines end with CR LF. The hashes are
// computed through the system's cryptography API (bcrypt), on as many threads as the machine has
// processors, and each file is written beside its old version and put in its place in one step.
// A files list keeps the checksums it computed beside it, so that the next one reads only the
// files that changed (see "Recorded checksums of files" below).
#include "ResourceObjects.h"

#include <bcrypt.h>
#include <shlwapi.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <set>
#include <thread>
#include <unordered_set>

namespace Varno {
namespace Impl {

namespace {

class CSha256 {
public:
    CSha256() {
        NTSTATUS st = BCryptCreateHash(Algorithm(), &m_h, nullptr, 0, nullptr, 0, 0);
        if (st < 0)
            ThrowStoreError(HRESULT_FROM_NT(st), "SHA-256 hash could not be created");
    }
    ~CSha256() { BCryptDestroyHash(m_h); }
    void Update(const void* p, size_t n) {
        const BYTE* b = static_cast<const BYTE*>(p);
        while (n) {
            ULONG part = static_cast<ULONG>(std::min<size_t>(n, 1u << 30));
            NTSTATUS st = BCryptHashData(m_h, const_cast<BYTE*>(b), part, 0);
            if (st < 0)
                ThrowStoreError(HRESULT_FROM_NT(st), "SHA-256 hashing failed");
            b += part;
            n -= part;
        }
    }
    std::string HexDigest() {
        BYTE d[32];
        NTSTATUS st = BCryptFinishHash(m_h, d, sizeof d, 0);
        if (st < 0)
            ThrowStoreError(HRESULT_FROM_NT(st), "SHA-256 hashing failed");
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (BYTE x : d) {
            hex += digits[x >> 4];
            hex += digits[x & 15];
        }
        return hex;
    }

private:
    // The algorithm provider is opened once per process and shared by all threads.
    static BCRYPT_ALG_HANDLE Algorithm() {
        static BCRYPT_ALG_HANDLE alg = [] {
            BCRYPT_ALG_HANDLE a = nullptr;
            if (BCryptOpenAlgorithmProvider(&a, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
                a = nullptr;
            return a;
        }();
        if (!alg)
            ThrowStoreError(E_FAIL, "the system offers no SHA-256 provider");
        return alg;
    }
    BCRYPT_HASH_HANDLE m_h = nullptr;
};

bool InFamily(int kind, BootListCode code) {
    switch (code) {
    case BootListFiles:
        return kind == ResourceKindFile;
    case BootListRegistry:
        return kind == ResourceKindRegistryKey || kind == ResourceKindRegistryValue;
    case BootListDiskSectors:
        return kind == ResourceKindDiskSector;
    case BootListPci:
        return kind == ResourceKindDevice;
    case BootListSmbios:
        return kind == ResourceKindSMBIOSTable || kind == ResourceKindSMBIOSField;
    }
    return false;
}

std::string HashOf(const CResourceBase& r, ReadBuffer& buffer) {
    CSha256 sha;
    if (!ReadResourceObject(
            r.RFields(), r.RData(), [&](const void* p, size_t n) { sha.Update(p, n); }, buffer))
        return VARNO_UNREADABLE_MARK;
    return sha.HexDigest();
}

std::wstring ListPath(const char* path, const char* what) {
    std::wstring w = path ? as_wstring(path, CP_ACP) : std::wstring();
    // A bare or relative name would land in whatever folder the process happens to be in.
    if (w.empty() || PathIsRelativeW(w.c_str()))
        ThrowStoreError(E_INVALIDARG, std::string("the board list ") + what + " file needs a full path, not \"" +
                                          (path ? path : "") + "\"");
    return w;
}

void WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
    std::wstring temp = path + L".new";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        ThrowSystemException();
    DWORD n = 0;
    bool ok = (bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr)) &&
              n == bytes.size() && FlushFileBuffers(h);
    DWORD e = GetLastError();
    CloseHandle(h);
    if (!ok || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (ok)
            e = GetLastError();
        DeleteFileW(temp.c_str());
        ThrowSystemException(e ? e : ERROR_WRITE_FAULT);
    }
}

// One thread per processor. The i386 build serves the workstation-resource plug-in, which reads
// the store and writes no lists; it hashes on the calling thread unless asked otherwise (Wine's
// i386 threads under the user-mode emulator of the test machines do not survive parallel hashing).
size_t DefaultHashThreads() {
#ifdef _WIN64
    return std::max(1u, std::thread::hardware_concurrency());
#else
    return 1;
#endif
}

} // namespace

ItemVector ResourcesOfJob(const ItemVector& groups, const ItemVector& tasks) {
    ItemVector out;
    std::set<StoreItem*> seenGroups, seenResources;
    auto addGroup = [&](const SmartPtr<StoreItem>& g) {
        if (!seenGroups.insert(g.Get()).second)
            return;
        if (CMembers* m = AsMembers(g.Get()))
            for (const auto& r : m->Members(0))
                if (seenResources.insert(r.Get()).second)
                    out.push_back(r);
    };
    for (const auto& g : groups)
        addGroup(g);
    for (const auto& t : tasks)
        if (CMembers* m = AsMembers(t.Get()))
            for (const auto& g : m->Members(0))
                addGroup(g);
    return out;
}

namespace {

// ----- Recorded checksums of files -----
//
// A files list keeps, in a file beside its checks list ("<checks>.cache"), each file's checksum
// with the stamp (size, last-write time, change time, file ID) it was computed for. The next list
// reads a file again only when its stamp differs, it has no record, or the folder of the file
// cannot be listed; otherwise the recorded checksum goes into the list unread. The stamps of a
// folder's files come from one listing of the folder: no file is opened to be found unchanged.
// The record file is UTF-8, CR LF, written like the lists:
//   VCore file checksums 1
//   <sha-256 hex> TAB <size> TAB <last-write> TAB <change time> TAB <file ID> TAB <full path>
// A record file that is not exactly of this form is not used at all.

const char kRecordHeader[] = "VCore file checksums 1";
const size_t kMaxRecordFileBytes = 1u << 30;
// A file written less than this long before its list was begun may still be changing within the
// resolution of its last-write time (or its folder entry may lag behind): its checksum is not kept.
const unsigned long long kSettleTime = 2ULL * 10000000ULL; // 2 s in FILETIME units

std::wstring RecordPath(const std::wstring& checks) { return checks + L".cache"; }

bool ReadWholeFile(const std::wstring& path, std::string& out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart >= 0 &&
              static_cast<unsigned long long>(size.QuadPart) <= kMaxRecordFileBytes;
    if (ok) {
        out.resize(static_cast<size_t>(size.QuadPart));
        DWORD n = 0;
        ok = out.empty() || (ReadFile(h, &out[0], static_cast<DWORD>(out.size()), &n, nullptr) && n == out.size());
    }
    CloseHandle(h);
    return ok;
}

bool ParseNumber(const char*& p, const char* end, unsigned long long& v) {
    const char* start = p;
    v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (v > (~0ULL - digit) / 10)
            return false;
        v = v * 10 + digit;
        ++p;
    }
    return p != start && p < end && *p++ == '\t';
}

bool IsHexDigest(const char* p, const char* end) {
    if (end - p < 64)
        return false;
    for (int i = 0; i < 64; ++i)
        if (!((p[i] >= '0' && p[i] <= '9') || (p[i] >= 'a' && p[i] <= 'f')))
            return false;
    return true;
}

// The records of a record file; none when it is missing, unreadable or not exactly of its form.
std::unordered_map<std::wstring, FileRecord> ReadRecords(const std::wstring& path) {
    std::unordered_map<std::wstring, FileRecord> records;
    std::string text;
    if (!ReadWholeFile(path, text))
        return records;
    const std::string header = std::string(kRecordHeader) + "\r\n";
    if (text.compare(0, header.size(), header) != 0)
        return records;
    const char* p = text.data() + header.size();
    const char* end = text.data() + text.size();
    while (p < end) {
        const char* eol = p;
        while (eol + 1 < end && !(eol[0] == '\r' && eol[1] == '\n'))
            ++eol;
        if (eol + 1 >= end || !IsHexDigest(p, eol) || p[64] != '\t') {
            records.clear();
            return records;
        }
        FileRecord r;
        r.hash.assign(p, 64);
        p += 65;
        if (!ParseNumber(p, eol, r.stamp.size) || !ParseNumber(p, eol, r.stamp.written) ||
            !ParseNumber(p, eol, r.stamp.changed) || !ParseNumber(p, eol, r.stamp.id) || p >= eol) {
            records.clear();
            return records;
        }
        std::wstring file = as_wstring(std::string(p, eol), CP_UTF8);
        if (file.empty()) {
            records.clear();
            return records;
        }
        records[std::move(file)] = std::move(r);
        p = eol + 2;
    }
    return records;
}

// Paths that a record line cannot carry, or that would not read back as the same text.
bool Recordable(const std::wstring& path) {
    for (wchar_t c : path)
        if (c < 0x20)
            return false;
    return !path.empty() && as_wstring(as_string(path, CP_UTF8), CP_UTF8) == path;
}

// The files of one folder with their stamps, from one listing of the folder.
struct FolderEntries {
    std::unordered_map<std::wstring, FileStamp> exact;  // by name as listed
    std::unordered_map<std::wstring, FileStamp> folded; // by upper-cased long and short name
    std::unordered_set<std::wstring> ambiguous;         // upper-cased names that two files share
};

std::wstring Fold(const wchar_t* p, size_t n) {
    std::wstring s(p, n);
    if (n && !LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, p, static_cast<int>(n), &s[0], static_cast<int>(n),
                            nullptr, nullptr, 0))
        s.assign(p, n);
    return s;
}

void AddFolded(FolderEntries& f, std::wstring key, const FileStamp& stamp) {
    auto r = f.folded.emplace(std::move(key), stamp);
    if (!r.second && r.first->second != stamp)
        f.ambiguous.insert(r.first->first);
}

// Lists a folder; what could not be listed is simply not there (its files are then read).
void ListFolder(const std::wstring& folder, FolderEntries& out, ReadBuffer& buffer) {
    HANDLE h = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FILE_INFO_BY_HANDLE_CLASS cls = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(h, cls, buffer.bytes.get(), ReadBuffer::kSize)) {
        cls = FileIdBothDirectoryInfo;
        const BYTE* p = buffer.bytes.get();
        for (;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(p);
            if (!(e->FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                FileStamp s;
                s.size = static_cast<unsigned long long>(e->EndOfFile.QuadPart);
                s.written = static_cast<unsigned long long>(e->LastWriteTime.QuadPart);
                s.changed = static_cast<unsigned long long>(e->ChangeTime.QuadPart);
                s.id = static_cast<unsigned long long>(e->FileId.QuadPart);
                size_t n = e->FileNameLength / sizeof(wchar_t);
                out.exact.emplace(std::wstring(e->FileName, n), s);
                AddFolded(out, Fold(e->FileName, n), s);
                size_t sn = e->ShortNameLength / sizeof(wchar_t);
                if (sn && sn <= 12)
                    AddFolded(out, Fold(e->ShortName, sn), s);
            }
            if (!e->NextEntryOffset)
                break;
            p += e->NextEntryOffset;
        }
    }
    CloseHandle(h);
}

bool LookUp(const FolderEntries& f, const std::wstring& name, FileStamp& stamp) {
    auto it = f.exact.find(name);
    if (it != f.exact.end()) {
        stamp = it->second;
        return true;
    }
    std::wstring key = Fold(name.data(), name.size());
    if (f.ambiguous.count(key))
        return false;
    auto jt = f.folded.find(key);
    if (jt == f.folded.end())
        return false;
    stamp = jt->second;
    return true;
}

// Runs work(i, buffer) for i below count on up to `workers` threads, each with its own buffer.
// The first exception stops the rest and is raised again on the calling thread.
template <class F>
void RunParallel(size_t count, size_t workers, F&& work) {
    workers = std::min(workers, count);
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto run = [&] {
        try {
            ReadBuffer buffer;
            for (size_t i; (i = next++) < count;)
                work(i, buffer);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
            next = count;
        }
    };
    if (workers <= 1) {
        run();
    } else {
        // Plain system threads: the work item is a stack object that outlives them all.
        struct Start {
            static DWORD WINAPI Run(void* p) {
                (*static_cast<decltype(run)*>(p))();
                return 0;
            }
        };
        std::vector<HANDLE> pool;
        for (size_t i = 1; i < workers; ++i) {
            HANDLE h = CreateThread(nullptr, 0, &Start::Run, &run, 0, nullptr);
            if (h)
                pool.push_back(h);
        }
        run();
        for (HANDLE h : pool) {
            WaitForSingleObject(h, INFINITE);
            CloseHandle(h);
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

unsigned long long Now() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

} // namespace

BootListStats WriteBootListFiles(const ItemVector& resources, const char* namesPath, const char* checksPath,
                                 BootListCode code, int threads, HashCache* cache) {
    if (code < BootListFiles || code > BootListSmbios)
        ThrowStoreError(E_INVALIDARG, "unknown board list code " + std::to_string(static_cast<int>(code)));
    std::wstring names = ListPath(namesPath, "names");
    std::wstring checks = ListPath(checksPath, "checks");

    std::vector<const CResourceBase*> list;
    for (const auto& item : resources) {
        const CResourceBase* r = AsResourceBase(item.Get());
        if (r && r->RData().controlled && InFamily(r->RFields().kind, code))
            list.push_back(r);
    }
    const size_t count = list.size();
    const bool files = code == BootListFiles;
    auto start = std::chrono::steady_clock::now();
    const unsigned long long begun = Now();
    size_t workers = threads > 0 ? static_cast<size_t>(threads) : DefaultHashThreads();

    // Files: their full paths, the record of each (this store's of this session first, then the
    // record file's), and the folders to list for the files that have one.
    std::vector<std::wstring> paths;
    std::vector<FileRecord> prior;
    std::vector<size_t> folderOf;
    std::vector<std::wstring> folders;
    if (files) {
        paths.resize(count);
        prior.resize(count);
        folderOf.assign(count, SIZE_MAX);
        std::unordered_map<std::wstring, FileRecord> kept = ReadRecords(RecordPath(checks));
        std::unordered_map<std::wstring, size_t> folderIndex;
        std::unique_lock<std::mutex> lock;
        if (cache)
            lock = std::unique_lock<std::mutex>(cache->mutex);
        for (size_t i = 0; i < count; ++i) {
            paths[i] = ExpandPath(list[i]->RFields().name);
            const FileRecord* r = nullptr;
            if (cache) {
                auto it = cache->files.find(paths[i]);
                if (it != cache->files.end())
                    r = &it->second;
            }
            if (!r) {
                auto it = kept.find(paths[i]);
                if (it != kept.end())
                    r = &it->second;
            }
            size_t slash = paths[i].find_last_of(L"\\/");
            if (!r || slash == std::wstring::npos || slash + 1 == paths[i].size())
                continue;
            prior[i] = *r;
            auto f = folderIndex.emplace(paths[i].substr(0, slash + 1), folders.size());
            if (f.second)
                folders.push_back(f.first->first);
            folderOf[i] = f.first->second;
        }
    }
    std::vector<FolderEntries> listed(folders.size());
    RunParallel(folders.size(), workers,
                [&](size_t k, ReadBuffer& buffer) { ListFolder(folders[k], listed[k], buffer); });

    std::vector<std::string> hashes(count);
    std::vector<FileRecord> records(files ? count : 0);
    RunParallel(count, workers, [&](size_t i, ReadBuffer& buffer) {
        if (!files) {
            hashes[i] = HashOf(*list[i], buffer);
            return;
        }
        FileStamp now;
        if (folderOf[i] != SIZE_MAX &&
            LookUp(listed[folderOf[i]], paths[i].substr(paths[i].find_last_of(L"\\/") + 1), now) &&
            now == prior[i].stamp) {
            hashes[i] = prior[i].hash;
            records[i] = std::move(prior[i]);
            return;
        }
        CSha256 sha;
        FileStamp stamp;
        bool stable = false;
        if (!ReadFileObject(
                paths[i], [&](const void* p, size_t n) { sha.Update(p, n); }, buffer, &stamp, &stable)) {
            hashes[i] = VARNO_UNREADABLE_MARK;
            return;
        }
        hashes[i] = sha.HexDigest();
        if (stable && stamp.written + kSettleTime <= begun && Recordable(paths[i])) {
            records[i].stamp = stamp;
            records[i].hash = hashes[i];
        }
    });
    BootListStats stats;
    stats.hashSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string nam, chk;
    for (size_t i = 0; i < count; ++i) {
        nam += as_string(BootListName(list[i]->RFields(), list[i]->RData()), CP_UTF8);
        nam += "\r\n";
        chk += hashes[i];
        chk += "\r\n";
    }
    WriteFileAtomically(names, nam);
    WriteFileAtomically(checks, chk);
    stats.lines = static_cast<long>(count);

    if (files) {
        std::string text = std::string(kRecordHeader) + "\r\n";
        for (size_t i = 0; i < count; ++i) {
            const FileRecord& r = records[i];
            if (r.hash.empty())
                continue;
            char numbers[128];
            snprintf(numbers, sizeof numbers, "\t%llu\t%llu\t%llu\t%llu\t", r.stamp.size, r.stamp.written,
                     r.stamp.changed, r.stamp.id);
            text += r.hash;
            text += numbers;
            text += as_string(paths[i], CP_UTF8);
            text += "\r\n";
        }
        // The records only spare work: a record file that cannot be written is removed, so that
        // none is kept for lists it no longer belongs to, and the lists stand as written.
        std::wstring recordPath = RecordPath(checks);
        try {
            WriteFileAtomically(recordPath, text);
        } catch (const EGeneric&) {
            DeleteFileW(recordPath.c_str());
        }
        if (cache) {
            std::lock_guard<std::mutex> lock(cache->mutex);
            for (size_t i = 0; i < count; ++i)
                if (!records[i].hash.empty())
                    cache->files[paths[i]] = std::move(records[i]);
        }
    }
    return stats;
}

} // namespace Impl

std::string HashResource(const SmartPtr<IResource>& resource) {
    const Impl::CResourceBase* r = resource ? Impl::AsResourceBase(resource.Get()) : nullptr;
    if (!r)
        Impl::ThrowStoreError(E_INVALIDARG, "not a resource of this provider");
    Impl::ReadBuffer buffer;
    return Impl::HashOf(*r, buffer);
}

} // namespace Varno
