// Inside the dependency finder: the mapped module image, the search lists and the walk.
#pragma once

#include "linkwalk.h"
#include "Kernel32Wrapper.h"
#include "PeView.h"
#include "SingletonHolder.h"
#include <KvText.h>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace Depends {

// Upper-cases with the system's simple case mapping (CharUpperBuffW), character by character.
// Unlike a locale facet made from the user's locale name, it cannot throw.
using KvBase::UpperCase;

// A FILETIME as one number of 100-ns ticks.
inline uint64_t Ticks(const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// What was read from a file or folder is reused only when its last-write time lay this long
// before the reading: a change made within the file system's time resolution (2 s on FAT) may
// leave the time where it was.
const uint64_t kSettleTime = 3ull * 10000000ull;

// What a folder's change watch confirmed is taken without asking the file system for this long
// after the file system was last asked: changes that no watch reports (a folder replaced as a
// whole, a file written through a hard link in another folder) are seen after it at the latest.
const uint64_t kWatchTrustTime = 2ull * 10000000ull;

// A path that Win32 file functions accept whatever its length: drive and UNC paths of MAX_PATH
// characters or more get the "\\?\" prefix.
std::wstring ApiPath(const std::wstring& path);

// A module file mapped read-only. Map state: 0 mapped, 1 file not opened, 2 mapping not created,
// 3 view not mapped. Header state: 1 not examined, 2 not an MZ image, 0 MZ image. Kind: 0 not
// recognised, 1 DOS program, 2 NE, 3 LE, 4 LX, 5 PE.
class CMappedImage {
public:
    explicit CMappedImage(const std::wstring& path);
    CMappedImage(const CMappedImage& other);
    CMappedImage& operator=(const CMappedImage&) = delete;
    ~CMappedImage();

    bool IsPe() const { return m_mapState == 0 && m_headerState == 0 && m_kind == 5 && m_view.IsPe(); }
    const ClrMeta::CPeView& View() const { return m_view; }
    WORD Machine() const { return m_view.Machine(); }

    HANDLE m_file = INVALID_HANDLE_VALUE;
    HANDLE m_mapping = nullptr;
    const BYTE* m_address = nullptr;
    DWORD m_fileSize = 0;
    int m_mapState = 1;
    int m_headerState = 1;
    LONG m_newHeader = -1;
    int m_kind = 0;
    const BYTE* m_ntHeaders = nullptr;

private:
    void Examine();
    ClrMeta::CPeView m_view;
};

std::wstring ReadEnvironmentVariable(const wchar_t* name);

// One assembly reference of a .NET module.
struct AssemblyReference {
    std::wstring name;
    unsigned short major = 0, minor = 0, build = 0, revision = 0;
    std::wstring token; // public key token (or full key) as lower-case hexadecimal; empty when none
    // A key too long to name an assembly-cache folder (its text would exceed a file name's 255
    // characters): the cache folders are then not probed, as no such folder can exist.
    bool tokenTooLong = false;
};

// One assemblyIdentity of a manifest.
struct ManifestIdentity {
    std::wstring arch, name, version, token;
};

// The RT_MANIFEST text of an image from its first "<" (false: no manifest).
bool ReadManifestText(const ClrMeta::CPeView& view, bool pe32plus, std::string& text);
// The identities that dependency/dependentAssembly/assemblyIdentity name, through MSXML (COM must
// be initialised on the thread). A DOM call that fails ends the list.
void ParseManifestIdentities(const std::string& text, std::vector<ManifestIdentity>& identities);
// The WinSxS folder of each identity that has one (the first match of its pattern).
void FindSxsFolders(const std::vector<ManifestIdentity>& identities, std::vector<std::wstring>& folders);

// A name to resolve, with its upper-cased key.
struct ModuleName {
    std::wstring name;
    std::wstring key;
};

// A name of an import table: `length` bytes at `offset` of the module's name text.
struct ImportName {
    uint32_t offset = 0;
    uint32_t length = 0;
};

// Import names (bytes of the system ANSI code page) as the walk needs them: the name as spelled
// and its key, made on demand, so that a name's text is held once, by the map that keeps it.
// For a single-byte code page every byte has one character and one upper-case character, taken
// from tables made once per process; other code pages go through the system's conversion.
class CAnsiNames {
public:
    static const CAnsiNames& Instance();
    // The name as spelled, or with `key` its key (UpperCase of it); false when the system cannot
    // convert the bytes.
    bool Widen(const char* text, size_t length, std::wstring& out, bool key) const;

private:
    CAnsiNames();
    bool m_singleByte = false;
    wchar_t m_wide[256] = {};
    wchar_t m_upper[256] = {};
};

// What the walk of one module file needs, read once from its image and then shared, unchanged,
// by every finder of the process (see CModuleCache).
class CModuleInfo {
public:
    bool pe = false;  // mapped, an MZ image of kind PE
    WORD machine = 0; // Machine of the file header
    // Delay imports, then imports, as the walk takes them: each upper-cased name once, as views
    // into `importText`. The text holds the bytes of the names as the file does: a name that is
    // the tail of another (both end at one terminator) is no second copy, so the text is never
    // longer than the file however many names overlap.
    std::string importText;
    std::vector<ImportName> imports;
    // .NET metadata: whether a scope opened, its assembly references in enumeration order (rows
    // that give the same reference taken once) and its module references (each spelling once).
    bool clr = false;
    std::vector<AssemblyReference> assemblyRefs;
    std::vector<ModuleName> moduleRefs;
    // The RT_MANIFEST text, parsed on first need (most walks never need it).
    std::string manifest;

    // The manifest's identities, parsed once per process.
    const std::vector<ManifestIdentity>& Identities() const;
    // Rough size in memory, for the cache's budget.
    size_t Footprint() const;

private:
    mutable std::once_flag m_parseOnce;
    mutable std::vector<ManifestIdentity> m_identities;
};

typedef std::shared_ptr<const CModuleInfo> ModuleInfoPtr;

// The names in one folder, as a listing read once per process and taken again while the folder's
// last-write time (which moves whenever an entry is added, removed or renamed) is unchanged. It
// answers whether a file exists the way the file system does for plain ASCII names; any other
// name is left to the file system.
class CFolderListing {
public:
    struct Entry {
        std::wstring name; // as on disk
        DWORD attributes = 0;
    };
    // The folder as the file system spells it (a path in that spelling is found fastest).
    std::wstring realPath;
    uint64_t lastWrite = 0, creation = 0, readAt = 0;
    std::unordered_map<std::wstring, Entry> names; // upper-cased long and short names of ASCII entries
    bool otherNames = false;                       // the folder also holds names beyond ASCII

    // The entry of a plain name (any letter case): 1 found, 0 certainly absent, -1 not known (ask
    // the file system).
    int Find(const std::wstring& name, const Entry*& entry) const;
};
typedef std::shared_ptr<const CFolderListing> FolderListingPtr;

// Names that a listing may answer for: ASCII without wildcards, separators, short-name marks
// or trailing dots and blanks (which the system strips).
bool IsPlainName(const std::wstring& name);
// Whether a name could be found in a folder at all: no part of it between separators is longer
// than a file name can be (255 characters on every file system Windows writes), and the whole
// stays within the longest path the system takes. Any other name is missing without asking.
bool MayNameAFile(const std::wstring& name);
// The key under which a name that cannot name a file (MayNameAFile false) is recorded missing,
// made from its whole key: the first kMissingKeyHead characters, then
// "\u2026[len=<length> hash=<FNV-1a 64 of the key's UTF-16 units, 16 lower-case hex digits>]". Such a
// name may be thousands of characters long, and a module can name tens of thousands of them whose
// text overlaps in the file (suffixes of one string): whole keys would hold the square of the
// file's size. A short key equals no whole key (those are upper-cased; this one holds lower-case
// letters), and two names give one short key only when their lengths, heads and hashes are equal.
const size_t kMissingKeyHead = 256;
std::wstring MissingKeyOfNoFileName(const std::wstring& key);
// Whole local or UNC folder paths short enough for the listing's search pattern.
bool IsListableFolder(const std::wstring& folder);
// The process-wide listings: the listing of a folder (key: its upper-cased path), taken as it is
// while the folder's watch reported no change since it was last found current, else checked
// against the folder's times and read again when they moved; null when the folder cannot be listed
// or changed too recently to trust. `now` is the system time in ticks.
FolderListingPtr CurrentListing(const std::wstring& key, const std::wstring& folder, int watch, uint64_t now);

// Change watches of the system's own folders (system, WOW64 and Windows folders), which nearly every
// walk reads most of its modules from, process-wide. A folder's generation moves on each time a
// poll finds that an entry of the folder was added, removed, renamed, written or resized since the
// poll before: what was read or checked at one generation still holds while the generation stays.
// Each walk polls once, so it sees every change made before it began, without asking the file
// system about each system module it visits again. Other folders are not watched: a watch holds
// its folder open, and a user could not remove or rename an application's folder while this
// process runs.
class CFolderWatches {
public:
    static const uint64_t kUnwatched = ~0ull;
    static CFolderWatches& Instance();
    // The watch of a folder (upper-cased whole path without a trailing backslash), armed on first
    // ask; -1 when the folder is not a system folder or cannot be watched.
    int Watch(const std::wstring& folderKey);
    // Takes the changes reported since the last poll.
    void Poll();
    // The generation of a watch; kUnwatched for -1 or a watch that failed.
    uint64_t Generation(int slot) const {
        return slot < 0 ? kUnwatched : m_generation[slot].load(std::memory_order_acquire);
    }

private:
    CFolderWatches();
    static const int kSlots = 3;
    std::vector<std::wstring> m_systemFolders;
    std::mutex m_lock;
    std::map<std::wstring, int> m_slots;
    HANDLE m_handles[kSlots] = {};
    int m_count = 0;
    std::atomic<uint64_t> m_generation[kSlots];
};

// The process-wide store of CModuleInfo, keyed by the upper-cased full path and checked against
// the file's size, last-write and creation times; safe to use from several threads.
class CModuleCache {
public:
    struct Stamp {
        uint64_t size = 0, lastWrite = 0, creation = 0;
    };
    // Where and when a file was last found with its stamp: the watch of its folder, the watch's
    // generation taken before the file was asked, and the system time of that moment.
    struct Check {
        int watch = -1;
        uint64_t generation = CFolderWatches::kUnwatched;
        uint64_t at = 0;
    };
    static CModuleCache& Instance();
    // The entry for the key while its folder's watch has reported no change since the file was last
    // found with the entry's stamp, that finding is recent (kWatchTrustTime before `now`) and the
    // stamp shows the file settled at the time of reading; else null (then the file is asked).
    ModuleInfoPtr FindUnchanged(const std::wstring& key, uint64_t now);
    // The entry for the key when it was read from a file with this stamp, and the stamp shows the
    // file settled at the time of reading (the check is kept with it); else null.
    ModuleInfoPtr Find(const std::wstring& key, const Stamp& stamp, const Check& check);
    void Store(const std::wstring& key, const Stamp& stamp, const Check& check, uint64_t readAt,
               const ModuleInfoPtr& info);
    void Clear();
    size_t Count();

private:
    struct Entry {
        Stamp stamp;
        Check check;
        uint64_t readAt = 0;
        ModuleInfoPtr info;
        size_t bytes = 0;
        bool Settled() const { return stamp.lastWrite + kSettleTime <= readAt; }
    };
    CModuleCache();
    std::mutex m_lock;
    std::unordered_map<std::wstring, Entry> m_entries;
    size_t m_bytes = 0;
};

} // namespace Depends

// The search lists of the process, built once from the system directories and Path.
class COsInfo {
public:
    COsInfo();
    virtual ~COsInfo();

    const std::list<std::wstring>& GetSearchList(int is64) const { return is64 ? m_searchList64 : m_searchList32; }
    void Build();
    // Merges the entries of a Path value into a list (see the .cpp for the rules).
    static void AppendPathEntries(std::list<std::wstring>& list, const std::wstring& value);

    std::wstring m_systemDirectory;
    std::wstring m_wow64Directory;
    std::wstring m_windowsDirectory;
    int m_is64BitSystem = 0;
    std::list<std::wstring> m_searchList32;
    std::list<std::wstring> m_searchList64;
};

extern template class __declspec(dllexport) TSingletonHolder<COsInfo>;
extern template class __declspec(dllexport) TSingletonHolder<Kernel32::CKernel32Wrapper>;
