// The board lists: for one family of objects a ".nam" file naming the objects one a line and a
// ".chk" file holding, line for line, the SHA-256 of each object (lower-case hex) or the marker
// "UNREADABLE". Both are UTF-8 without a byte-order mark, lines end with CR LF. The hashes are
// computed through the system's cryptography API (bcrypt), on as many threads as the machine has
// processors, and each file is written beside its old version and put in its place in one step.
#include "ResourceObjects.h"

#include <bcrypt.h>
#include <shlwapi.h>

#include <chrono>
#include <exception>
#include <set>
#include <thread>

namespace Varno {
namespace Impl {

namespace {

class CSha256 {
public:
    CSha256()
    {
        NTSTATUS st = BCryptCreateHash(Algorithm(), &m_h, nullptr, 0, nullptr, 0, 0);
        if (st < 0)
            ThrowStoreError(HRESULT_FROM_NT(st), "SHA-256 hash could not be created");
    }
    ~CSha256() { BCryptDestroyHash(m_h); }
    void Update(const void* p, size_t n)
    {
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
    std::string HexDigest()
    {
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
    static BCRYPT_ALG_HANDLE Algorithm()
    {
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

bool InFamily(int kind, BootListCode code)
{
    switch (code) {
    case BootListFiles: return kind == ResourceKindFile;
    case BootListRegistry: return kind == ResourceKindRegistryKey || kind == ResourceKindRegistryValue;
    case BootListDiskSectors: return kind == ResourceKindDiskSector;
    case BootListPci: return kind == ResourceKindDevice;
    case BootListSmbios: return kind == ResourceKindSMBIOSTable || kind == ResourceKindSMBIOSField;
    }
    return false;
}

std::string HashOf(const CResourceBase& r, ReadBuffer& buffer)
{
    CSha256 sha;
    if (!ReadResourceObject(r.RFields(), r.RData(), [&](const void* p, size_t n) { sha.Update(p, n); }, buffer))
        return VARNO_UNREADABLE_MARK;
    return sha.HexDigest();
}

std::wstring ListPath(const char* path, const char* what)
{
    std::wstring w = path ? as_wstring(path, CP_ACP) : std::wstring();
    // A bare or relative name would land in whatever folder the process happens to be in.
    if (w.empty() || PathIsRelativeW(w.c_str()))
        ThrowStoreError(E_INVALIDARG, std::string("the board list ") + what + " file needs a full path, not \"" +
                                          (path ? path : "") + "\"");
    return w;
}

void WriteFileAtomically(const std::wstring& path, const std::string& bytes)
{
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
size_t DefaultHashThreads()
{
#ifdef _WIN64
    return std::max(1u, std::thread::hardware_concurrency());
#else
    return 1;
#endif
}

} // namespace

ItemVector ResourcesOfJob(const ItemVector& groups, const ItemVector& tasks)
{
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

bool StampOf(const CResourceBase& r, FileStamp& stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(ExpandPath(r.RFields().name).c_str(), GetFileExInfoStandard, &a))
        return false;
    stamp.size = (static_cast<unsigned long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    stamp.written = (static_cast<unsigned long long>(a.ftLastWriteTime.dwHighDateTime) << 32) | a.ftLastWriteTime.dwLowDateTime;
    stamp.created = (static_cast<unsigned long long>(a.ftCreationTime.dwHighDateTime) << 32) | a.ftCreationTime.dwLowDateTime;
    return true;
}

// The hash of a resource; a file unchanged since an earlier list of the same store is not read again.
std::string CachedHashOf(const SmartPtr<StoreItem>& item, const CResourceBase& r, ReadBuffer& buffer, HashCache* cache)
{
    FileStamp stamp;
    if (!cache || r.RFields().kind != ResourceKindFile || !StampOf(r, stamp))
        return HashOf(r, buffer);
    {
        std::lock_guard<std::mutex> lock(cache->mutex);
        auto it = cache->files.find(&r);
        if (it != cache->files.end() && it->second.first == stamp)
            return it->second.second;
    }
    std::string hash = HashOf(r, buffer);
    FileStamp after;
    if (hash != VARNO_UNREADABLE_MARK && StampOf(r, after) && after == stamp) {
        std::lock_guard<std::mutex> lock(cache->mutex);
        if (cache->files.emplace(&r, std::make_pair(stamp, hash)).second)
            cache->holders.push_back(item);
        else
            cache->files[&r] = std::make_pair(stamp, hash);
    }
    return hash;
}

} // namespace

BootListStats WriteBootListFiles(const ItemVector& resources, const char* namesPath, const char* checksPath,
                                 BootListCode code, int threads, HashCache* cache)
{
    if (code < BootListFiles || code > BootListSmbios)
        ThrowStoreError(E_INVALIDARG, "unknown board list code " + std::to_string(static_cast<int>(code)));
    std::wstring names = ListPath(namesPath, "names");
    std::wstring checks = ListPath(checksPath, "checks");

    std::vector<const CResourceBase*> list;
    ItemVector items;
    for (const auto& item : resources) {
        const CResourceBase* r = AsResourceBase(item.Get());
        if (r && r->RData().controlled && InFamily(r->RFields().kind, code)) {
            list.push_back(r);
            items.push_back(item);
        }
    }

    std::vector<std::string> hashes(list.size());
    auto start = std::chrono::steady_clock::now();
    size_t workers = threads > 0 ? static_cast<size_t>(threads) : DefaultHashThreads();
    workers = std::min(workers, list.size());
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&] {
        try {
            ReadBuffer buffer;
            for (size_t i; (i = next++) < list.size();)
                hashes[i] = CachedHashOf(items[i], *list[i], buffer, cache);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
            next = list.size();
        }
    };
    if (workers <= 1) {
        work();
    } else {
        // Plain system threads: the work item is a stack object that outlives them all.
        struct Start {
            static DWORD WINAPI Run(void* p)
            {
                (*static_cast<decltype(work)*>(p))();
                return 0;
            }
        };
        std::vector<HANDLE> pool;
        for (size_t i = 1; i < workers; ++i) {
            HANDLE h = CreateThread(nullptr, 0, &Start::Run, &work, 0, nullptr);
            if (h)
                pool.push_back(h);
        }
        work();
        for (HANDLE h : pool) {
            WaitForSingleObject(h, INFINITE);
            CloseHandle(h);
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    BootListStats stats;
    stats.hashSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string nam, chk;
    for (size_t i = 0; i < list.size(); ++i) {
        nam += as_string(BootListName(list[i]->RFields(), list[i]->RData()), CP_UTF8);
        nam += "\r\n";
        chk += hashes[i];
        chk += "\r\n";
    }
    WriteFileAtomically(names, nam);
    WriteFileAtomically(checks, chk);
    stats.lines = static_cast<long>(list.size());
    return stats;
}

} // namespace Impl

std::string HashResource(const SmartPtr<IResource>& resource)
{
    const Impl::CResourceBase* r = resource ? Impl::AsResourceBase(resource.Get()) : nullptr;
    if (!r)
        Impl::ThrowStoreError(E_INVALIDARG, "not a resource of this provider");
    Impl::ReadBuffer buffer;
    return Impl::HashOf(*r, buffer);
}

} // namespace Varno
