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

#include <KvText.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <cstdint>
#include <exception>
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

// Writes the file beside its old version and puts it in place; placed receives the stamp of the
// file in place when it is the one written (its file ID, size and last-write time those the file
// had when its writing ended), else false.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes, StoreFileStamp& placed) {
    std::wstring temp = path + L".new";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        ThrowSystemException();
    DWORD n = 0;
    bool ok = (bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr)) &&
              n == bytes.size() && FlushFileBuffers(h);
    DWORD e = GetLastError();
    StoreFileStamp written;
    const bool stamped = ok && StampOfHandle(h, written);
    CloseHandle(h);
    if (!ok || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (ok)
            e = GetLastError();
        DeleteFileW(temp.c_str());
        ThrowSystemException(e ? e : ERROR_WRITE_FAULT);
    }
    return stamped && StampOfFile(path, placed) && placed.volume == written.volume &&
           placed.file.id == written.file.id && placed.file.size == written.file.size &&
           placed.file.written == written.file.written;
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
    std::vector<CMembers*> order; // the groups, each once
    std::unordered_set<StoreItem*> seenGroups;
    auto addGroup = [&](const SmartPtr<StoreItem>& g) {
        if (seenGroups.insert(g.Get()).second)
            if (CMembers* m = AsMembers(g.Get()))
                order.push_back(m);
    };
    for (const auto& g : groups)
        addGroup(g);
    for (const auto& t : tasks)
        if (CMembers* m = AsMembers(t.Get()))
            for (const auto& g : m->Members(0))
                addGroup(g);
    size_t members = 0;
    for (CMembers* m : order)
        members += m->Members(0).size();
    ItemVector out;
    out.reserve(members);
    for (CMembers* m : order)
        out.insert(out.end(), m->Members(0).begin(), m->Members(0).end());
    // A resource of two groups stands once, where it comes first. Mostly none is in two: a sorted
    // copy of the list tells, without a set of them all.
    std::vector<StoreItem*> sorted(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        sorted[i] = out[i].Get();
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
        return out;
    std::unordered_set<StoreItem*> seen;
    seen.reserve(out.size());
    ItemVector once;
    once.reserve(out.size());
    for (const auto& r : out)
        if (seen.insert(r.Get()).second)
            once.push_back(r);
    return once;
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

// ----- List files as this process last wrote or read them -----
//
// A list or record file keeps, in memory, the bytes (for a record file, the records) it had when
// this process last wrote or read it, with its stamp then, until the provider is destroyed. While
// the file's stamp is the same, they are taken from here instead of reading the file again. A file
// read is kept only when its stamp did not move during the read and its last write lies further
// back than a change still in progress could.
struct KnownListFile {
    StoreFileStamp stamp;
    std::shared_ptr<const std::string> bytes;
    std::shared_ptr<const RecordSet> records;
};

CKnownFiles<KnownListFile>& KnownListFiles() {
    static CKnownFiles<KnownListFile> files;
    return files;
}

// Reads a list or record file through what is known of it: into file (bytes, or records when
// parse is given); false when it cannot be read.
template <class Parse>
bool ReadKnownFile(const std::wstring& path, KnownListFile& file, Parse parse) {
    StoreFileStamp before, after;
    const unsigned long long begun = FileTimeNow();
    const bool stamped = StampOfFile(path, before);
    if (auto known = stamped ? KnownListFiles().Find(path, before) : nullptr) {
        file = *known;
        return true;
    }
    auto text = std::make_shared<std::string>();
    if (!ReadWholeFile(path, *text))
        return false;
    file = KnownListFile();
    if (!parse(text, file))
        return true; // read, but not of its form: nothing to keep
    file.stamp = before;
    if (stamped && StampOfFile(path, after) && after == before && Settled(before.file, begun))
        KnownListFiles().Set(path, std::make_shared<const KnownListFile>(file));
    return true;
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

// Parses the text of a record file into set.lines; false (and nothing kept) when it is not exactly
// of its form.
bool ParseRecords(RecordSet& set) {
    const std::string& text = set.text;
    const size_t headerSize = sizeof kRecordHeader - 1;
    if (text.compare(0, headerSize, kRecordHeader) != 0 || text.compare(headerSize, 2, "\r\n") != 0)
        return false;
    const char* p = text.data() + headerSize + 2;
    const char* end = text.data() + text.size();
    while (p < end) {
        const char* eol = static_cast<const char*>(memchr(p, '\r', static_cast<size_t>(end - p)));
        RecordSet::Line line;
        bool ok = eol && eol + 1 < end && eol[1] == '\n' && IsHexDigest(p, eol) && p[64] == '\t';
        if (ok) {
            line.record.hash = std::string_view(p, 64);
            p += 65;
            ok = ParseNumber(p, eol, line.record.stamp.size) && ParseNumber(p, eol, line.record.stamp.written) &&
                 ParseNumber(p, eol, line.record.stamp.changed) && ParseNumber(p, eol, line.record.stamp.id) && p < eol;
        }
        if (!ok) {
            set.lines.clear();
            return false;
        }
        line.path = std::string_view(p, static_cast<size_t>(eol - p));
        set.lines.push_back(line);
        p = eol + 2;
    }
    return true;
}

// The records of a record file; empty when it is missing, unreadable or not exactly of its form.
std::shared_ptr<const RecordSet> ReadRecords(const std::wstring& path) {
    KnownListFile file;
    ReadKnownFile(path, file, [&path](std::shared_ptr<std::string>& text, KnownListFile& out) {
        auto set = std::make_shared<RecordSet>();
        set->path = path;
        set->text = std::move(*text);
        if (!ParseRecords(*set))
            return false;
        out.records = std::move(set);
        return true;
    });
    if (file.records)
        return file.records;
    auto empty = std::make_shared<RecordSet>();
    empty->path = path;
    return empty;
}

// The bytes of a list file; null when it cannot be read.
std::shared_ptr<const std::string> ReadListFile(const std::wstring& path) {
    KnownListFile file;
    if (!ReadKnownFile(path, file, [](std::shared_ptr<std::string>& text, KnownListFile& out) {
            out.bytes = std::move(text);
            return true;
        }))
        return nullptr;
    return file.bytes;
}

} // namespace

// The files of one folder with their stamps, from one listing of the folder. The names are looked
// up as listed; only a name that is not there as it stands (another case, a short name) has the
// folder's names upper-cased, once.
struct FolderEntries {
    struct Entry {
        std::wstring name, shortName;
        FileStamp stamp;
    };
    std::once_flag listOnce;
    std::atomic<bool> listed{false}; // set once the listing stands (checked before listOnce)
    std::vector<Entry> entries;
    std::unordered_map<std::wstring_view, size_t> exact; // by name as listed (views into entries)
    std::once_flag foldOnce;
    std::unordered_map<std::wstring, FileStamp> folded; // by upper-cased long and short name
    std::unordered_set<std::wstring> ambiguous;         // upper-cased names that two files share
};

namespace {

std::wstring Fold(const wchar_t* p, size_t n) { return KvBase::UpperCaseInvariant(p, n); }

void AddFolded(FolderEntries& f, std::wstring key, const FileStamp& stamp) {
    auto r = f.folded.emplace(std::move(key), stamp);
    if (!r.second && r.first->second != stamp)
        f.ambiguous.insert(r.first->first);
}

// Lists a folder; what could not be listed is simply not there (its files are then read and their
// checksums not kept).
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
                FolderEntries::Entry entry;
                entry.stamp.size = static_cast<unsigned long long>(e->EndOfFile.QuadPart);
                entry.stamp.written = static_cast<unsigned long long>(e->LastWriteTime.QuadPart);
                entry.stamp.changed = static_cast<unsigned long long>(e->ChangeTime.QuadPart);
                entry.stamp.id = static_cast<unsigned long long>(e->FileId.QuadPart);
                entry.name.assign(e->FileName, e->FileNameLength / sizeof(wchar_t));
                size_t sn = e->ShortNameLength / sizeof(wchar_t);
                if (sn && sn <= 12)
                    entry.shortName.assign(e->ShortName, sn);
                out.entries.push_back(std::move(entry));
            }
            if (!e->NextEntryOffset)
                break;
            p += e->NextEntryOffset;
        }
    }
    CloseHandle(h);
    out.exact.reserve(out.entries.size());
    for (size_t i = 0; i < out.entries.size(); ++i)
        out.exact.emplace(out.entries[i].name, i);
}

// The stamp of a file of the folder by its name as the path gives it. Safe to call from several
// threads at once.
bool LookUp(FolderEntries& f, const wchar_t* name, size_t n, FileStamp& stamp) {
    auto it = f.exact.find(std::wstring_view(name, n));
    if (it != f.exact.end()) {
        stamp = f.entries[it->second].stamp;
        return true;
    }
    std::call_once(f.foldOnce, [&f] {
        for (const auto& e : f.entries) {
            AddFolded(f, Fold(e.name.data(), e.name.size()), e.stamp);
            if (!e.shortName.empty())
                AddFolded(f, Fold(e.shortName.data(), e.shortName.size()), e.stamp);
        }
    });
    std::wstring key = Fold(name, n);
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

} // namespace

namespace {

// Writes v in decimal at out; the end of what it wrote.
char* WriteDecimal(char* out, unsigned long long v) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    while (n)
        *out++ = digits[--n];
    return out;
}

// Appends the UTF-8 form of a text that IsOneLineText accepts (no lone surrogates).
void AppendUtf8(std::string& out, std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned>(text[++i]) - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

// Writes the file unless it held exactly these bytes when it was read (old; null: it could not be
// read): the same list again, as the job's list after the store's, or a save of an unchanged model.
// The file written is known from then on: as its bytes, or as the records when they are given.
void WriteFileUnlessSame(const std::wstring& path, const std::string& bytes, const std::string* old,
                         std::shared_ptr<const RecordSet> records = nullptr) {
    if (old && *old == bytes)
        return;
    KnownListFiles().Forget(path);
    KnownListFile file;
    if (!WriteFileAtomically(path, bytes, file.stamp))
        return;
    if (records)
        file.records = std::move(records);
    else
        file.bytes = std::make_shared<const std::string>(bytes);
    KnownListFiles().Set(path, std::make_shared<const KnownListFile>(std::move(file)));
}

} // namespace

void ForgetListFiles() { KnownListFiles().Clear(); }

BootListStats WriteBootListFiles(const ItemVector& resources, const char* namesPath, const char* checksPath,
                                 BootListCode code, int threads, HashCache* cache, unsigned long long changes) {
    if (code < BootListFiles || code > BootListSmbios)
        ThrowStoreError(E_INVALIDARG, "unknown board list code " + std::to_string(static_cast<int>(code)));
    std::wstring names = ListPath(namesPath, "names");
    std::wstring checks = ListPath(checksPath, "checks");

    // The list this save has just written, again: its files are put back as they were written,
    // should they have changed since, and nothing is read or hashed again.
    std::shared_ptr<const WrittenList> last;
    if (cache) {
        std::lock_guard<std::mutex> lock(cache->mutex);
        last = cache->last;
    }
    if (last && last->code == code && last->changes == changes && last->names == names && last->checks == checks &&
        last->resources.size() == resources.size() &&
        std::equal(resources.begin(), resources.end(), last->resources.begin(),
                   [](const SmartPtr<StoreItem>& a, const StoreItem* b) { return a.Get() == b; })) {
        WriteFileUnlessSame(names, last->nam, ReadListFile(names).get());
        WriteFileUnlessSame(checks, last->chk, ReadListFile(checks).get());
        BootListStats again = last->stats;
        again.hashSeconds = 0;
        return again;
    }

    // The objects of the list with their lines. A name that one line cannot hold as it is stays
    // out of the list: written otherwise it would name another object, or the same line as
    // another object's, to the board.
    // The names file's text is made here too: the lines are views into it. A line of a file or
    // folder is its name as it stands unless that holds an environment reference.
    BootListStats stats;
    std::vector<const CResourceBase*> list;
    std::vector<std::wstring_view> lines; // for a file, its full path
    std::deque<std::wstring> expanded;    // lines that are not a name as it stands
    std::string nam;
    std::vector<size_t> lineEnds; // in nam, where each line's CR LF stands
    list.reserve(resources.size());
    lines.reserve(resources.size());
    lineEnds.reserve(resources.size());
    for (const auto& item : resources) {
        // The kind first: most resources are not of the family, and it needs no cast.
        if (!item || !InFamily(item->GetKind(), code))
            continue;
        const CResourceBase* r = AsResourceBase(item.Get());
        if (!r || !r->RData().controlled || !InFamily(r->RFields().kind, code))
            continue;
        const ItemFields& f = r->RFields();
        std::wstring_view line;
        if ((f.kind == ResourceKindFile || f.kind == ResourceKindDirectory) &&
            f.name.find(L'%') == std::wstring::npos) {
            line = f.name; // its name as it stands (BootListName)
        } else {
            expanded.push_back(BootListName(f, r->RData()));
            line = expanded.back();
        }
        if (!IsOneLineText(line)) {
            stats.refused.push_back(item);
            continue;
        }
        list.push_back(r);
        lines.push_back(line);
        if (nam.capacity() - nam.size() < line.size() * 3 + 2)
            nam.reserve(std::max(nam.capacity() * 2, nam.size() + line.size() * 3 + 2));
        AppendUtf8(nam, line);
        lineEnds.push_back(nam.size());
        nam += "\r\n";
    }
    const size_t namSize = nam.size();
    std::vector<std::string_view> utf8(list.size()); // the lines as the names file holds them
    for (size_t i = 0, at = 0; i < utf8.size(); at = lineEnds[i++] + 2)
        utf8[i] = std::string_view(nam.data() + at, lineEnds[i] - at);
    const size_t count = list.size();
    const bool files = code == BootListFiles;
    auto start = std::chrono::steady_clock::now();
    const unsigned long long begun = FileTimeNow();
    size_t workers = threads > 0 ? static_cast<size_t>(threads) : DefaultHashThreads();

    // Files: the folder that holds each, and the record of each (this store's lists of this
    // session first, the latest first, then the record file's).
    const std::vector<std::wstring_view>& paths = lines;
    const std::wstring recordPath = RecordPath(checks);
    std::vector<std::shared_ptr<const RecordSet>> sets;
    // The record file as it stands: read now, or as a list of this save wrote it.
    std::shared_ptr<const RecordSet> onDisk;
    bool readNow = false;
    std::vector<const FileRecord*> prior(files ? count : 0, nullptr);
    std::vector<size_t> folderOf(files ? count : 0, SIZE_MAX), leafAt(files ? count : 0, 0);
    std::vector<std::wstring> folders;
    if (files) {
        std::unordered_map<std::wstring_view, size_t> folderIndex;
        std::wstring_view last;
        size_t lastIndex = SIZE_MAX;
        for (size_t i = 0; i < count; ++i) {
            size_t slash = paths[i].find_last_of(L"\\/");
            if (slash == std::wstring::npos || slash + 1 == paths[i].size())
                continue;
            std::wstring_view folder = std::wstring_view(paths[i]).substr(0, slash + 1);
            if (lastIndex == SIZE_MAX || folder != last) {
                auto f = folderIndex.emplace(folder, folders.size());
                if (f.second)
                    folders.emplace_back(folder);
                last = folder;
                lastIndex = f.first->second;
            }
            folderOf[i] = lastIndex;
            leafAt[i] = slash + 1;
        }
    }
    // Every folder is listed once before the files are read: the listing gives each file's stamp,
    // and a file whose stamp is that of its record is not opened at all. The folders are listed
    // while the records are read.
    // A folder that an earlier list of this save has listed is not listed again: the lists of one
    // save look at the files once.
    std::vector<std::shared_ptr<FolderEntries>> before(folders.size());
    {
        std::unique_lock<std::mutex> lock;
        if (cache)
            lock = std::unique_lock<std::mutex>(cache->mutex);
        for (size_t k = 0; k < folders.size(); ++k) {
            std::shared_ptr<FolderEntries>* known = nullptr;
            if (cache) {
                auto it = cache->listings.find(folders[k]);
                if (it != cache->listings.end())
                    known = &it->second;
            }
            before[k] = known ? *known : std::make_shared<FolderEntries>();
            if (cache && !known)
                cache->listings.emplace(folders[k], before[k]);
        }
    }
    auto listBefore = [&](size_t k, ReadBuffer& buffer) {
        if (!before[k]->listed.load(std::memory_order_acquire))
            std::call_once(before[k]->listOnce, [&] {
                ListFolder(folders[k], *before[k], buffer);
                before[k]->listed.store(true, std::memory_order_release);
            });
    };
    std::exception_ptr listFailure;
    auto listAll = [&] {
        try {
            RunParallel(folders.size(), workers, listBefore);
        } catch (...) {
            listFailure = std::current_exception();
        }
    };
    struct Start {
        static DWORD WINAPI Run(void* p) {
            (*static_cast<decltype(listAll)*>(p))();
            return 0;
        }
    };
    // The lister is joined whatever happens, for it works on this function's objects.
    struct Joined {
        HANDLE h;
        ~Joined() {
            if (h) {
                WaitForSingleObject(h, INFINITE);
                CloseHandle(h);
            }
        }
    } lister{folders.empty() ? nullptr : CreateThread(nullptr, 0, &Start::Run, &listAll, 0, nullptr)};
    if (files) {
        if (cache) {
            std::lock_guard<std::mutex> lock(cache->mutex);
            sets.assign(cache->sets.rbegin(), cache->sets.rend());
        }
        for (const auto& set : sets)
            if (!onDisk && set->path == recordPath)
                onDisk = set;
        if (!onDisk) {
            onDisk = ReadRecords(recordPath);
            sets.push_back(onDisk);
            readNow = true;
        }
        std::vector<size_t> cursors(sets.size(), 0);
        for (size_t i = 0; i < count; ++i)
            for (size_t k = 0; k < sets.size() && !prior[i]; ++k)
                prior[i] = sets[k]->Find(utf8[i], cursors[k]);
    }
    // While the folders are listed: the two list files as they are now.
    const std::shared_ptr<const std::string> oldNam = ReadListFile(names), oldChk = ReadListFile(checks);
    auto stampOf = [&](std::vector<std::shared_ptr<FolderEntries>>& listing, size_t i, FileStamp& stamp) {
        return folderOf[i] != SIZE_MAX && listing[folderOf[i]] &&
               LookUp(*listing[folderOf[i]], paths[i].data() + leafAt[i], paths[i].size() - leafAt[i], stamp);
    };

    // The checksum of each line: computed (hashes) or recorded (prior); for files, the stamp to
    // record with it and whether to record it. A checksum just computed is kept only when a second
    // listing of the folder, after the reads of its files, shows the file as the first one did: a
    // file written, replaced or renamed meanwhile is read again next time. A folder is listed the
    // second time as soon as its last file is done, while the other folders' files are read.
    enum : char { Read, Reused, Fresh };
    std::vector<std::string> hashes(count);
    std::vector<FileStamp> stamps(files ? count : 0);
    std::vector<char> how(count, Read);
    std::vector<std::shared_ptr<FolderEntries>> after(folders.size());
    std::unique_ptr<std::atomic<size_t>[]> pending(new std::atomic<size_t>[folders.size()]);
    std::unique_ptr<std::atomic<bool>[]> anyFresh(new std::atomic<bool>[folders.size()]);
    for (size_t k = 0; k < folders.size(); ++k) {
        pending[k] = 0;
        anyFresh[k] = false;
    }
    for (size_t i = 0; i < folderOf.size(); ++i)
        if (folderOf[i] != SIZE_MAX)
            ++pending[folderOf[i]];
    if (lister.h) {
        WaitForSingleObject(lister.h, INFINITE);
        CloseHandle(lister.h);
        lister.h = nullptr;
    }
    if (listFailure)
        std::rethrow_exception(listFailure);
    RunParallel(count, workers, [&](size_t i, ReadBuffer& buffer) {
        if (!files) {
            hashes[i] = HashOf(*list[i], buffer);
            return;
        }
        const size_t f = folderOf[i];
        const bool listed = stampOf(before, i, stamps[i]);
        if (listed && prior[i] && stamps[i] == prior[i]->stamp) {
            how[i] = Reused;
        } else {
            CSha256 sha;
            if (ReadFileObject(
                    std::wstring(paths[i]), [&](const void* p, size_t n) { sha.Update(p, n); }, buffer)) {
                hashes[i] = sha.HexDigest();
                if (listed && Settled(stamps[i], begun)) {
                    how[i] = Fresh;
                    anyFresh[f] = true;
                }
            } else {
                hashes[i] = VARNO_UNREADABLE_MARK;
            }
        }
        if (f != SIZE_MAX && --pending[f] == 0 && anyFresh[f]) {
            after[f] = std::make_shared<FolderEntries>();
            std::call_once(after[f]->listOnce, [&] { ListFolder(folders[f], *after[f], buffer); });
            after[f]->listed = true;
        }
    });
    // A list whose every checksum is recorded, each file as the latest listing of its folder shows
    // it, is what the same list would be again in this save (see WrittenList).
    bool same = files;
    for (size_t i = 0; files && i < count; ++i) {
        FileStamp now;
        const bool relisted = folderOf[i] != SIZE_MAX && after[folderOf[i]];
        if (relisted && !(stampOf(after, i, now) && now == stamps[i])) {
            if (how[i] == Fresh)
                how[i] = Read;
            same = false;
        }
        same = same && how[i] != Read;
    }
    if (cache) {
        std::lock_guard<std::mutex> lock(cache->mutex);
        for (size_t k = 0; k < folders.size(); ++k)
            if (after[k])
                cache->listings[folders[k]] = after[k];
    }
    stats.hashSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto hashOf = [&](size_t i) -> std::string_view { return how[i] == Reused ? prior[i]->hash : hashes[i]; };

    std::string chk;
    chk.reserve(count * 66);
    for (size_t i = 0; i < count; ++i) {
        chk += hashOf(i);
        chk += "\r\n";
    }
    WriteFileUnlessSame(names, nam, oldNam.get());
    WriteFileUnlessSame(checks, chk, oldChk.get());
    stats.lines = static_cast<long>(count);

    // Every file unchanged, its record taken in order from the record file as it stands: that file
    // stays as it is.
    bool recordsAsRead = files && onDisk && onDisk->lines.size() == count;
    for (size_t i = 0; recordsAsRead && i < count; ++i)
        recordsAsRead = how[i] == Reused && prior[i] == &onDisk->lines[i].record;
    if (recordsAsRead) {
        if (cache && readNow) {
            std::lock_guard<std::mutex> lock(cache->mutex);
            cache->sets.push_back(onDisk);
        }
    } else if (files) {
        // The new record set: its text, then views into it once the text stands.
        auto set = std::make_shared<RecordSet>();
        set->path = recordPath;
        std::string& text = set->text;
        text.reserve(sizeof kRecordHeader + namSize + count * 128);
        text += kRecordHeader;
        text += "\r\n";
        struct At {
            size_t hash, path, pathSize;
            FileStamp stamp;
        };
        std::vector<At> at;
        at.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            if (how[i] == Read)
                continue;
            At a = {text.size(), 0, utf8[i].size(), stamps[i]};
            text += hashOf(i);
            char numbers[4 * 21 + 2], *n = numbers;
            for (unsigned long long v : {stamps[i].size, stamps[i].written, stamps[i].changed, stamps[i].id}) {
                *n++ = '\t';
                n = WriteDecimal(n, v);
            }
            *n++ = '\t';
            text.append(numbers, n);
            a.path = text.size();
            text += utf8[i];
            text += "\r\n";
            at.push_back(a);
        }
        set->lines.reserve(at.size());
        for (const auto& a : at)
            set->lines.push_back(RecordSet::Line{std::string_view(text.data() + a.path, a.pathSize),
                                                 FileRecord{a.stamp, std::string_view(text.data() + a.hash, 64)}});
        // The records only spare work: a record file that cannot be written is removed, so that
        // none is kept for lists it no longer belongs to, and the lists stand as written.
        try {
            WriteFileUnlessSame(recordPath, text, onDisk ? &onDisk->text : nullptr, set);
        } catch (const EGeneric&) {
            DeleteFileW(recordPath.c_str());
        }
        if (cache) {
            std::lock_guard<std::mutex> lock(cache->mutex);
            cache->sets.push_back(std::move(set));
        }
    }
    // Last: the texts go with it.
    if (cache && same) {
        auto written = std::make_shared<WrittenList>();
        written->code = code;
        written->names = names;
        written->checks = checks;
        written->resources.reserve(resources.size());
        for (const auto& r : resources)
            written->resources.push_back(r.Get());
        written->changes = changes;
        written->nam = std::move(nam);
        written->chk = std::move(chk);
        written->stats = stats;
        std::lock_guard<std::mutex> lock(cache->mutex);
        cache->last = std::move(written);
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
