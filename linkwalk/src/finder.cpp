// The dependency finder: the walk of the import and delay-import tables, the name resolution in
// the system's search order and the recursion over every module found.
#include "internal.h"
#include "ClrMeta.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace Depends {

typedef CDepends<std::wstring, CModules> Finder;

namespace {
const WORD kMachineI386 = 0x14C;
const WORD kMachineAmd64 = 0x8664;
} // namespace

// What one finder remembers of its own searches. Each memo only saves repeating a search whose
// answer cannot have changed within the walk; a finder without it searches again and gets the
// same maps.
struct CWalkState {
    // Names (as spelled, shorter than MAX_PATH) not found in the root's folder nor in the search
    // list of a machine, per machine.
    std::map<WORD, std::set<std::wstring>> unfound;
    // Side-by-side folders named by each importing module's manifest, looked up once per module.
    std::map<const CModuleInfo*, std::pair<ModuleInfoPtr, std::vector<std::wstring>>> sxsFolders;
    // Assembly files found (or not: empty) per cache folders, name, version, token and origin folder.
    std::map<std::wstring, std::wstring> assemblyProbes;
    // Each folder searched or read from: its change watch, and its listing checked once per finder
    // (null: the folder's names are asked one by one).
    struct Folder {
        int watch = -1;
        FolderListingPtr listing;
    };
    std::map<std::wstring, Folder> folders;
    // Whether this walk has polled the folders' watches, and the system time of that poll.
    bool polled = false;
    uint64_t now = 0;
};

struct CWalker {
    static void AddModule(Finder& f, const std::wstring& module, const std::wstring& origin, int sameMachine);
    static ModuleInfoPtr LoadModule(Finder& f, const std::wstring& module, const std::wstring& key);
    static void ReadModule(Finder& f, const CMappedImage& image, CModuleInfo& info);
    static void ReadImports(const ClrMeta::CPeView& v, bool pe32plus, CModuleInfo& info);
    static void ReadClr(Finder& f, const ClrMeta::CPeView& v, CModuleInfo& info);
    static void ResolveName(Finder& f, const ModuleInfoPtr& importer, const std::wstring& origin,
                            const std::wstring& name, std::wstring& key);
    static bool Search(Finder& f, WORD machine, const wchar_t* directory, const std::wstring& name, std::wstring& path);
    static bool Exists(Finder& f, const std::wstring& path);
    static bool OutsideFolder(Finder& f, const std::wstring& folder, const std::wstring& name);
    static void Walk(Finder& f, const std::wstring& module, const std::wstring& origin, int sameMachine);
    static uint64_t Poll(Finder& f);
    static const CWalkState::Folder& Folder(Finder& f, const std::wstring& folder);
    static FolderListingPtr Listing(Finder& f, const std::wstring& folder) { return Folder(f, folder).listing; }
    static const std::vector<std::wstring>& SxsFolders(Finder& f, const ModuleInfoPtr& importer);
    static void WalkAssemblyReferences(Finder& f, const ModuleInfoPtr& info, const std::wstring& module,
                                       const std::wstring& origin);
    static void FindAssemblyFile(Finder& f, WORD machine, const std::wstring& origin, const AssemblyReference& ref);
    static CWalkState& State(Finder& f);
    static void CopyInit(Finder& f, const Finder& other);
};

namespace {

std::wstring FileNamePart(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Whole paths only: a relative path means another file when the current folder changes.
bool IsFullPath(const std::wstring& path) {
    return (path.size() > 2 && path[1] == L':' && path[2] == L'\\') || path.compare(0, 2, L"\\\\") == 0;
}

} // namespace

std::wstring MissingKeyOfNoFileName(const std::wstring& key) {
    // FNV-1a over the UTF-16 code units.
    uint64_t hash = 0xCBF29CE484222325ull;
    for (wchar_t c : key) {
        hash ^= uint16_t(c);
        hash *= 0x100000001B3ull;
    }
    wchar_t tail[64];
    std::swprintf(tail, 64, L"\x2026[len=%llu hash=%016llx]", static_cast<unsigned long long>(key.size()),
                  static_cast<unsigned long long>(hash));
    std::wstring shortKey(key, 0, std::min<size_t>(key.size(), kMissingKeyHead));
    shortKey += tail;
    return shortKey;
}

// The search lists, made on first use. Finders run on several threads (the generators' workers)
// and the command library does not call Attach: that first use is serialised.
static const COsInfo& SearchLists() {
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    return TSingletonHolder<COsInfo>::Instance();
}

CWalkState& CWalker::State(Finder& f) {
    if (!f.m_walk)
        f.m_walk = new CWalkState;
    return *f.m_walk;
}

void CWalker::AddModule(Finder& f, const std::wstring& module, const std::wstring& origin, int sameMachine) {
    const std::wstring key = UpperCase(module);
    if (f.m_found.count(key) || f.m_missing.count(key))
        return;
    const ModuleInfoPtr info = LoadModule(f, module, key);
    if (!info || !info->pe)
        return;
    const WORD machine = info->machine;
    if (f.m_rootMachine == 0)
        f.m_rootMachine = machine;
    if (sameMachine && machine != f.m_rootMachine) {
        // A module of another machine cannot be loaded by the root: the name it was found for
        // counts as missing rather than vanishing from both lists.
        f.m_missing[UpperCase(FileNamePart(module))] = origin;
        return;
    }
    if (module != origin) {
        f.m_found[key] = module;
    } else {
        if (!f.m_found.empty() || !f.m_missing.empty())
            return;
        std::wstring dir = origin;
        size_t slash = dir.find_last_of(L'\\');
        if (slash != std::wstring::npos)
            dir.erase(slash);
        f.m_appDirectoryFull = dir;
        const size_t n = dir.size() < MAX_PATH - 1 ? dir.size() : MAX_PATH - 1;
        dir.copy(f.m_appDirectory, n);
        f.m_appDirectory[n] = L'\0';
        // Names not found were looked for in the previous root's folder.
        State(f).unfound.clear();
    }
    if (machine != kMachineI386 && machine != kMachineAmd64)
        return;
    // Each name and key is made where it is needed and given to the map that keeps it.
    const CAnsiNames& ansi = CAnsiNames::Instance();
    std::wstring name, nameKey;
    for (const ImportName& n : info->imports) {
        const char* text = info->importText.data() + n.offset;
        if (!ansi.Widen(text, n.length, name, false) || !ansi.Widen(text, n.length, nameKey, true))
            continue;
        ResolveName(f, info, origin, name, nameKey);
    }
    WalkAssemblyReferences(f, info, module, origin);
}

// A walk from the caller: it sees every change made in the folders before it began.
void CWalker::Walk(Finder& f, const std::wstring& module, const std::wstring& origin, int sameMachine) {
    State(f).polled = false;
    AddModule(f, module, origin, sameMachine);
}

// The module's walk data: from the process-wide store while the file is unchanged, else read
// from its image (one mapping) and stored.
ModuleInfoPtr CWalker::LoadModule(Finder& f, const std::wstring& module, const std::wstring& key) {
    CModuleCache& cache = CModuleCache::Instance();
    const size_t slash = module.find_last_of(L'\\');
    const bool cacheable = IsFullPath(module) && slash != std::wstring::npos;
    const uint64_t now = Poll(f);
    if (cacheable)
        if (ModuleInfoPtr hit = cache.FindUnchanged(key, now))
            return hit;
    // The file's attributes, asked under its spelling on disk when the folder's listing has it (a
    // path in another letter case makes Wine search each folder on the way).
    std::wstring statPath = module;
    CModuleCache::Check check;
    if (cacheable) {
        const CWalkState::Folder& folder = Folder(f, module.substr(0, slash));
        const std::wstring name = module.substr(slash + 1);
        const CFolderListing::Entry* entry = nullptr;
        if (folder.listing && IsPlainName(name) && folder.listing->Find(name, entry) == 1)
            statPath = folder.listing->realPath + L"\\" + entry->name;
        // Taken before the file is asked: a change after this is a later generation.
        check.watch = folder.watch;
        check.generation = CFolderWatches::Instance().Generation(folder.watch);
        check.at = now;
    }
    WIN32_FILE_ATTRIBUTE_DATA attrs;
    CModuleCache::Stamp stamp;
    const bool stamped = cacheable &&
                         ::GetFileAttributesExW(ApiPath(statPath).c_str(), GetFileExInfoStandard, &attrs) &&
                         !(attrs.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (stamped) {
        stamp.size = (uint64_t(attrs.nFileSizeHigh) << 32) | attrs.nFileSizeLow;
        stamp.lastWrite = Ticks(attrs.ftLastWriteTime);
        stamp.creation = Ticks(attrs.ftCreationTime);
        if (ModuleInfoPtr hit = cache.Find(key, stamp, check))
            return hit;
    }
    // Opened under the spelling on disk too: it names the same file.
    CMappedImage image(statPath);
    if (image.m_mapState != 0)
        return ModuleInfoPtr();
    std::shared_ptr<CModuleInfo> info = std::make_shared<CModuleInfo>();
    ReadModule(f, image, *info);
    // Kept with the stamp taken before the file was opened: a change made in between leaves the
    // file with another stamp, and the next visit reads it again. (Asking the open handle instead
    // costs milliseconds under Wine, which looks up the volume as well.)
    if (stamped) {
        FILETIME read;
        ::GetSystemTimeAsFileTime(&read);
        cache.Store(key, stamp, check, Ticks(read), info);
    }
    return info;
}

// Once per walk, before anything is taken from the process-wide stores: the changes the folders'
// watches reported so far. Returns the system time of the poll.
uint64_t CWalker::Poll(Finder& f) {
    CWalkState& state = State(f);
    if (!state.polled) {
        CFolderWatches::Instance().Poll();
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        state.now = Ticks(now);
        state.polled = true;
    }
    return state.now;
}

void CWalker::ReadModule(Finder& f, const CMappedImage& image, CModuleInfo& info) {
    info.pe = image.IsPe();
    if (!info.pe)
        return;
    info.machine = image.Machine();
    if (info.machine != kMachineI386 && info.machine != kMachineAmd64)
        return;
    const bool pe32plus = info.machine == kMachineAmd64;
    const ClrMeta::CPeView& v = image.View();
    ReadImports(v, pe32plus, info);
    ReadClr(f, v, info);
    ReadManifestText(v, pe32plus, info.manifest);
}

namespace {

// Collects the names of one module's import tables; a name imported twice (in any letter case)
// is taken once. A name is remembered by its place in the file and the hash of its key: no text
// of it is copied until the names are kept (as views of the file's own bytes, see Keep).
class CImportNames {
public:
    explicit CImportNames(const ClrMeta::CPeView& v) : m_view(v), m_ansi(CAnsiNames::Instance()) {}
    void Add(DWORD pos, size_t length) {
        if (length == 0 || !m_positions.insert(pos).second)
            return;
        if (!m_ansi.Widen(Text(pos), length, m_key, true))
            return;
        const size_t hash = std::hash<std::wstring>()(m_key);
        auto same = m_byHash.equal_range(hash);
        for (auto it = same.first; it != same.second; ++it) {
            const SName& other = m_names[it->second];
            if (m_ansi.Widen(Text(other.pos), other.length, m_other, true) && m_other == m_key)
                return;
        }
        m_byHash.emplace(hash, m_names.size());
        m_names.push_back(SName{pos, static_cast<uint32_t>(length)});
    }
    // The names in the order taken. Names that end at one terminator are tails of the longest of
    // them: its bytes are kept once and the others are views into them.
    void Keep(CModuleInfo& info) const {
        std::map<uint64_t, DWORD> startOfEnd; // end of a name -> earliest start ending there
        for (const SName& n : m_names) {
            const uint64_t end = uint64_t(n.pos) + n.length;
            auto it = startOfEnd.emplace(end, n.pos).first;
            if (n.pos < it->second)
                it->second = n.pos;
        }
        std::map<uint64_t, size_t> offsetOfEnd;
        for (const auto& e : startOfEnd) {
            offsetOfEnd[e.first] = info.importText.size();
            info.importText.append(Text(e.second), size_t(e.first - e.second));
        }
        info.imports.reserve(m_names.size());
        for (const SName& n : m_names) {
            const uint64_t end = uint64_t(n.pos) + n.length;
            ImportName view;
            view.offset = static_cast<uint32_t>(offsetOfEnd[end] + (n.pos - startOfEnd.at(end)));
            view.length = n.length;
            info.imports.push_back(view);
        }
    }

private:
    struct SName {
        DWORD pos;
        uint32_t length;
    };
    const char* Text(DWORD pos) const { return reinterpret_cast<const char*>(m_view.Data() + pos); }

    const ClrMeta::CPeView& m_view;
    const CAnsiNames& m_ansi;
    std::vector<SName> m_names;
    std::unordered_set<DWORD> m_positions;
    std::unordered_multimap<size_t, size_t> m_byHash;
    std::wstring m_key, m_other;
};

// The length of the zero-terminated ANSI name at a file position (false when it runs past the
// file).
bool NameAt(const ClrMeta::CPeView& v, DWORD pos, size_t& length) {
    if (pos >= v.Size())
        return false;
    const char* start = reinterpret_cast<const char*>(v.Data() + pos);
    const void* end = std::memchr(start, 0, v.Size() - pos);
    if (!end)
        return false;
    length = static_cast<size_t>(static_cast<const char*>(end) - start);
    return true;
}

} // namespace

void CWalker::ReadImports(const ClrMeta::CPeView& v, bool pe32plus, CModuleInfo& info) {
    CImportNames names(v);
    size_t length = 0;
    DWORD rva = 0, size = 0, pos = 0;
    // Delay imports first.
    if (v.DataDirectory(pe32plus, 13, rva, size) && v.RvaToOffset(rva, pos)) {
        uint64_t imageBase = 0;
        v.ImageBase(pe32plus, imageBase);
        // The base that old-style descriptors (virtual addresses) are reduced by.
        uint64_t reduceBy = imageBase;
        if (pe32plus && (imageBase >> 32) != 0)
            reduceBy = 0;
        else
            reduceBy &= 0xFFFFFFFFull;
        // A descriptor is taken while a whole one remains in the directory: a directory whose
        // size leaves out the zero terminator still has its last descriptor read.
        uint64_t remaining = size;
        for (uint64_t d = pos; remaining >= 32 && v.Within(d, 32); d += 32, remaining -= 32) {
            DWORD attributes = 0, field = 0;
            v.ReadDword(d, attributes);
            v.ReadDword(d + 4, field);
            if (field == 0)
                break;
            // Bit 0 of the attributes marks the RVA form. Without it the field may be an
            // old-style virtual address: reduced by the image base when that gives a place in the
            // file, so that an RVA above a low image base is not corrupted.
            DWORD nameRva = field, namePos = 0;
            if (!(attributes & 1) && reduceBy != 0 && field > reduceBy &&
                v.RvaToOffset(static_cast<DWORD>(field - reduceBy), namePos))
                nameRva = static_cast<DWORD>(field - reduceBy);
            if (!v.RvaToOffset(nameRva, namePos) || !NameAt(v, namePos, length))
                break;
            names.Add(namePos, length);
        }
    }
    if (v.DataDirectory(pe32plus, 1, rva, size) && v.RvaToOffset(rva, pos)) {
        for (uint64_t d = pos; v.Within(d, 20); d += 20) {
            DWORD nameRva = 0, namePos = 0;
            v.ReadDword(d + 12, nameRva);
            if (nameRva == 0 || !v.RvaToOffset(nameRva, namePos) || !NameAt(v, namePos, length))
                break;
            names.Add(namePos, length);
        }
    }
    names.Keep(info);
}

namespace {

template <class T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p)
            p->Release();
    }
};

// A public key longer than this gives a token text that no file name can hold.
const unsigned long kLongestTokenBytes = 127;

} // namespace

// The .NET references of a module, read from the mapped image through the metadata reader.
void CWalker::ReadClr(Finder& f, const ClrMeta::CPeView& v, CModuleInfo& info) {
    Released<ClrMeta::IMetaDataDispenser> own;
    ClrMeta::IMetaDataDispenser* dispenser = f.m_dispenser;
    if (!dispenser) {
        if (ClrMeta::CreateDispenser(&own.p) != S_OK)
            return;
        dispenser = own.p;
    }
    Released<ClrMeta::IMetaDataAssemblyImport> assemblies;
    if (dispenser->OpenScopeOnMemory(v.Data(), v.Size(), ClrMeta::ofReadOnly, ClrMeta::IID_IMetaDataAssemblyImport,
                                     reinterpret_cast<IUnknown**>(&assemblies.p)) != S_OK ||
        !assemblies.p)
        return;
    info.clr = true;
    // Rows that give the same name, version and key bytes are one reference: the later ones would
    // find what the first found.
    std::set<std::tuple<std::wstring, uint64_t, const void*, ULONG>> seen;
    ClrMeta::HCORENUM e = nullptr;
    ClrMeta::mdToken tokens[10];
    ULONG count = 0;
    while (assemblies.p->EnumAssemblyRefs(&e, tokens, 10, &count) == S_OK && count > 0) {
        for (ULONG i = 0; i < count; ++i) {
            const void* key = nullptr;
            ULONG keyLength = 0;
            wchar_t name[1024];
            ClrMeta::ASSEMBLYMETADATA meta = {};
            if (FAILED(assemblies.p->GetAssemblyRefProps(tokens[i], &key, &keyLength, name, 1024, nullptr, &meta,
                                                         nullptr, nullptr, nullptr)))
                continue;
            const uint64_t version = (uint64_t(meta.usMajorVersion) << 48) | (uint64_t(meta.usMinorVersion) << 32) |
                                     (uint64_t(meta.usBuildNumber) << 16) | meta.usRevisionNumber;
            if (!seen.emplace(name, version, key, keyLength).second)
                continue;
            AssemblyReference ref;
            ref.name = name;
            ref.major = meta.usMajorVersion;
            ref.minor = meta.usMinorVersion;
            ref.build = meta.usBuildNumber;
            ref.revision = meta.usRevisionNumber;
            if (key && keyLength > kLongestTokenBytes)
                ref.tokenTooLong = true;
            else
                ref.token = f.PublicKeyTokenByteToString(static_cast<const unsigned char*>(key), keyLength);
            info.assemblyRefs.push_back(std::move(ref));
        }
    }
    assemblies.p->CloseEnum(e);

    Released<ClrMeta::IMetaDataImport> imports;
    if (assemblies.p->QueryInterface(ClrMeta::IID_IMetaDataImport, reinterpret_cast<void**>(&imports.p)) != S_OK ||
        !imports.p)
        return;
    // A name referenced by many rows is resolved once: later rows would find what the first found.
    std::set<std::wstring> names;
    ClrMeta::HCORENUM me = nullptr;
    ClrMeta::mdToken mods[5];
    while (imports.p->EnumModuleRefs(&me, mods, 5, &count) == S_OK && count > 0) {
        for (ULONG i = 0; i < count; ++i) {
            wchar_t name[1024];
            if (FAILED(imports.p->GetModuleRefProps(mods[i], name, 1024, nullptr)) || !names.insert(name).second)
                continue;
            ModuleName ref;
            ref.name = name;
            ref.key = UpperCase(ref.name);
            info.moduleRefs.push_back(std::move(ref));
        }
    }
    imports.p->CloseEnum(me);
}

// SearchPathEx's search, with the existence of each candidate asked through the folders' listings.
bool CWalker::Search(Finder& f, WORD machine, const wchar_t* directory, const std::wstring& name, std::wstring& path) {
    if (name.empty())
        return false;
    if (directory) {
        std::wstring candidate(directory);
        if (candidate.empty() || candidate.back() != L'\\')
            candidate += L'\\';
        if (OutsideFolder(f, candidate, name))
            return false;
        candidate += name;
        if (!Exists(f, candidate))
            return false;
        path.swap(candidate);
        return true;
    }
    if (machine != kMachineI386 && machine != kMachineAmd64)
        return false;
    const COsInfo& os = SearchLists();
    for (const std::wstring& dir : os.GetSearchList(machine == kMachineAmd64)) {
        if (OutsideFolder(f, dir, name))
            continue;
        std::wstring candidate = dir + name;
        if (Exists(f, candidate)) {
            path.swap(candidate);
            return true;
        }
    }
    return false;
}

const CWalkState::Folder& CWalker::Folder(Finder& f, const std::wstring& folder) {
    auto& memo = State(f).folders;
    auto it = memo.find(folder);
    if (it == memo.end()) {
        const uint64_t now = Poll(f);
        CWalkState::Folder entry;
        if (IsListableFolder(folder)) {
            const std::wstring key = UpperCase(folder);
            entry.watch = CFolderWatches::Instance().Watch(key);
            entry.listing = CurrentListing(key, folder, entry.watch, now);
        }
        it = memo.emplace(folder, std::move(entry)).first;
    }
    return it->second;
}

// Whether a name that reaches into a subfolder (it holds a separator) certainly names nothing in a
// folder (given with its trailing backslash): the folder's listing holds no directory of the
// name's first part. Otherwise the file system is asked as for any name: a missing subfolder
// costs Wine a reading of the whole folder for every candidate.
bool CWalker::OutsideFolder(Finder& f, const std::wstring& folder, const std::wstring& name) {
    const size_t separator = name.find_first_of(L"\\/");
    if (separator == std::wstring::npos || folder.size() < 2 || folder.back() != L'\\')
        return false;
    const std::wstring first = name.substr(0, separator), where = folder.substr(0, folder.size() - 1);
    if (!IsPlainName(first) || !IsListableFolder(where))
        return false;
    const FolderListingPtr listing = Listing(f, where);
    const CFolderListing::Entry* entry = nullptr;
    const int known = listing ? listing->Find(first, entry) : -1;
    return known == 0 || (known == 1 && !(entry->attributes & FILE_ATTRIBUTE_DIRECTORY));
}

// Whether a path names a file (not a folder): IsExistFile's answer.
bool CWalker::Exists(Finder& f, const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        const std::wstring folder = path.substr(0, slash), name = path.substr(slash + 1);
        if (IsPlainName(name) && IsListableFolder(folder)) {
            if (FolderListingPtr listing = Listing(f, folder)) {
                const CFolderListing::Entry* entry = nullptr;
                const int known = listing->Find(name, entry);
                if (known >= 0)
                    return known == 1 && !(entry->attributes & FILE_ATTRIBUTE_DIRECTORY);
            }
        }
    }
    return f.IsExistFile(path.c_str()) != 0;
}

// The side-by-side folders of an importing module's manifest: its identities are parsed once per
// process, their folders looked up once per finder.
const std::vector<std::wstring>& CWalker::SxsFolders(Finder& f, const ModuleInfoPtr& importer) {
    auto& memo = State(f).sxsFolders;
    auto it = memo.find(importer.get());
    if (it == memo.end()) {
        std::vector<std::wstring> folders;
        FindSxsFolders(importer->Identities(), folders);
        it = memo.emplace(importer.get(), std::make_pair(importer, std::move(folders))).first;
    }
    return it->second.second;
}

void CWalker::ResolveName(Finder& f, const ModuleInfoPtr& importer, const std::wstring& origin,
                          const std::wstring& name, std::wstring& key) {
    if (f.m_resolved.count(key))
        return;
    const WORD machine = importer->machine;
    std::wstring path;
    bool found = false;
    // A name no folder can hold is missing without a question to the file system.
    if (MayNameAFile(name)) {
        // A name of a usual length that was not found is not searched again.
        std::set<std::wstring>* unfound = name.size() < MAX_PATH ? &State(f).unfound[machine] : nullptr;
        if (!unfound || !unfound->count(name)) {
            found =
                Search(f, machine, f.m_appDirectoryFull.c_str(), name, path) || Search(f, machine, nullptr, name, path);
            if (!found && unfound)
                unfound->insert(name);
        }
        if (!found && !importer->manifest.empty()) {
            for (const std::wstring& folder : SxsFolders(f, importer)) {
                if (Search(f, machine, folder.c_str(), name, path)) {
                    if (path != origin)
                        AddModule(f, path, origin, 1);
                    return;
                }
            }
        }
    }
    if (!found) {
        // The key goes to the map, which then holds the name's only copy.
        if (!name.empty() && !MayNameAFile(name))
            key = MissingKeyOfNoFileName(key);
        f.m_missing.insert_or_assign(std::move(key), origin);
        return;
    }
    f.m_resolved.insert_or_assign(std::move(key), path);
    if (path != origin)
        AddModule(f, path, origin, 1);
}

// ---------------------------------------------------------------------------------------------
// .NET assemblies: assembly references into the assembly cache or beside the origin, module
// references (platform-invoke DLLs) through the native name resolution.

void CWalker::WalkAssemblyReferences(Finder& f, const ModuleInfoPtr& info, const std::wstring& module,
                                     const std::wstring& origin) {
    if (!f.m_dispenser || !info->clr)
        return;
    std::vector<const AssemblyReference*> refs;
    refs.reserve(info->assemblyRefs.size());
    for (const AssemblyReference& ref : info->assemblyRefs)
        refs.push_back(&ref);
    if (!f.m_resolved.count(L"MSCORLIB.DLL")) {
        for (auto it = refs.begin(); it != refs.end(); ++it)
            if ((*it)->name == L"mscorlib") {
                std::rotate(refs.begin(), it, it + 1);
                break;
            }
    }
    for (const AssemblyReference* ref : refs)
        FindAssemblyFile(f, info->machine, origin, *ref);
    std::wstring key;
    for (const ModuleName& name : info->moduleRefs) {
        key = name.key;
        ResolveName(f, info, module, name.name, key);
    }
}

void CWalker::FindAssemblyFile(Finder& f, WORD machine, const std::wstring& origin, const AssemblyReference& ref) {
    if (ref.name.empty())
        return;
    std::wstring folder = origin;
    size_t slash = folder.find_last_of(L'\\');
    folder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    wchar_t version[64];
    std::swprintf(version, 64, L"%i.%i.%i.%i", int(ref.major), int(ref.minor), int(ref.build), int(ref.revision));
    const bool caches = !ref.token.empty() || ref.tokenTooLong;
    const wchar_t* machineCache = !caches                    ? L""
                                  : machine == kMachineI386  ? L"GAC_32"
                                  : machine == kMachineAmd64 ? L"GAC_64"
                                                             : L"";

    // The same reference from the same place is probed once per finder.
    std::wstring probe = std::wstring(machineCache) + L"|" + (caches ? L"GAC" : L"") + L"|" + ref.name + L"|" +
                         version + L"|" + ref.token + L"|" + folder;
    auto& memo = State(f).assemblyProbes;
    auto known = memo.find(probe);
    std::wstring found;
    if (known != memo.end()) {
        found = known->second;
    } else {
        std::vector<std::wstring> bases;
        if (!ref.token.empty()) {
            wchar_t windir[MAX_PATH] = {};
            UINT n = ::GetWindowsDirectoryW(windir, MAX_PATH);
            if (n >= MAX_PATH)
                windir[0] = L'\0';
            std::vector<const wchar_t*> cacheFolders;
            if (*machineCache)
                cacheFolders.push_back(machineCache);
            cacheFolders.push_back(L"GAC_MSIL");
            cacheFolders.push_back(L"GAC");
            for (const wchar_t* cache : cacheFolders)
                bases.push_back(std::wstring(windir) + L"\\assembly\\" + cache + L"\\" + ref.name + L"\\" + version +
                                L"__" + ref.token + L"\\" + ref.name);
        }
        bases.push_back(folder + ref.name);
        bases.push_back(folder + ref.name + L"\\" + ref.name);
        for (const std::wstring& base : bases) {
            if (Exists(f, base + L".dll")) {
                found = base + L".dll";
                break;
            }
            if (Exists(f, base + L".exe")) {
                found = base + L".exe";
                break;
            }
        }
        memo[probe] = found;
    }
    if (found.empty())
        return;
    const std::wstring key = UpperCase(FileNamePart(found));
    if (f.m_resolved.count(key))
        return;
    f.m_resolved[key] = found;
    if (found != origin)
        AddModule(f, found, origin, 0);
}

void CWalker::CopyInit(Finder& f, const Finder& other) {
    f.m_found = other.m_found;
    f.m_missing = other.m_missing;
    std::wmemcpy(f.m_appDirectory, other.m_appDirectory, MAX_PATH);
    f.m_rootMachine = other.m_rootMachine;
    f.m_resolved = other.m_resolved;
    f.m_appDirectoryFull = other.m_appDirectoryFull;
}

// ---------------------------------------------------------------------------------------------
// The finder object

namespace {

int InitializeCom() {
    HRESULT hr = ::CoInitialize(nullptr);
    return hr == S_OK || hr == S_FALSE ? 1 : 0;
}

} // namespace

template <class TString, class TModules>
CDepends<TString, TModules>::CDepends()
    : m_appDirectory(), m_rootMachine(0), m_dispenser(nullptr), m_comInitialized(0), m_walk(nullptr) {
    m_comInitialized = InitializeCom();
    // The metadata reader is our own and needs no COM apartment: a thread already in another
    // apartment (CoInitialize failing with RPC_E_CHANGED_MODE) still gets the .NET walk.
    if (ClrMeta::CreateDispenser(&m_dispenser) != S_OK)
        m_dispenser = nullptr;
}

template <class TString, class TModules>
CDepends<TString, TModules>::CDepends(const CDepends& other)
    : m_appDirectory(), m_rootMachine(0), m_dispenser(nullptr), m_comInitialized(0), m_walk(nullptr) {
    CWalker::CopyInit(*this, other);
    m_dispenser = other.m_dispenser;
    if (m_dispenser)
        m_dispenser->AddRef();
    m_comInitialized = InitializeCom();
}

template <class TString, class TModules>
CDepends<TString, TModules>::~CDepends() {
    if (m_dispenser)
        m_dispenser->Release();
    m_dispenser = nullptr;
    delete m_walk;
    m_walk = nullptr;
    if (m_comInitialized)
        ::CoUninitialize();
}

template <class TString, class TModules>
CDepends<TString, TModules>& CDepends<TString, TModules>::operator=(const CDepends& other) {
    if (this == &other)
        return *this;
    try {
        CWalker::CopyInit(*this, other);
    } catch (...) {
    }
    // What this finder remembered was searched for its former root.
    delete m_walk;
    m_walk = nullptr;
    if (other.m_dispenser)
        other.m_dispenser->AddRef();
    if (m_dispenser)
        m_dispenser->Release();
    m_dispenser = other.m_dispenser;
    return *this;
}

template <class TString, class TModules>
void CDepends<TString, TModules>::AddModule(const TString& module, const TString& origin, int sameMachine) {
    try {
        CWalker::Walk(*this, module, origin, sameMachine);
    } catch (...) {
        // Out of memory in the middle of a walk: what was found so far stays.
    }
}

template <class TString, class TModules>
unsigned long CDepends<TString, TModules>::SearchPathEx(unsigned short machine, const wchar_t* directory,
                                                        const wchar_t* name, unsigned long length, wchar_t* buffer) {
    if (buffer && length)
        buffer[0] = L'\0';
    if (!name || !*name)
        return 0;
    if (directory) {
        std::wstring candidate(directory);
        if (candidate.empty() || candidate.back() != L'\\')
            candidate += L'\\';
        candidate += name;
        if (!IsExistFile(candidate.c_str()))
            return 0;
        return CopyFileName(candidate, buffer, length);
    }
    if (machine != kMachineI386 && machine != kMachineAmd64)
        return 0;
    const COsInfo& os = SearchLists();
    for (const std::wstring& dir : os.GetSearchList(machine == kMachineAmd64)) {
        std::wstring candidate = dir + name;
        if (IsExistFile(candidate.c_str()))
            return CopyFileName(candidate, buffer, length);
    }
    return 0;
}

template <class TString, class TModules>
unsigned long CDepends<TString, TModules>::CopyFileName(const TString& path, wchar_t* buffer, unsigned long length) {
    if (buffer && path.size() < length) {
        path.copy(buffer, path.size());
        buffer[path.size()] = L'\0';
    } else {
        ::SetLastError(ERROR_MORE_DATA);
    }
    return static_cast<unsigned long>(path.size() + 1);
}

template <class TString, class TModules>
int CDepends<TString, TModules>::IsExistFile(const wchar_t* path) const {
    if (!path)
        return 0;
    DWORD attrs = ::GetFileAttributesW(ApiPath(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

template <class TString, class TModules>
TString CDepends<TString, TModules>::PublicKeyTokenByteToString(const unsigned char* bytes, unsigned long count) {
    static const wchar_t digits[] = L"0123456789abcdef";
    TString text;
    if (!bytes)
        return text;
    text.reserve(size_t(count) * 2);
    for (unsigned long i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

template class CDepends<std::wstring, CModules>;

CDepps::CDepps() : CDepends<std::wstring, CModules>() {}
CDepps::CDepps(const CDepps& other) : CDepends<std::wstring, CModules>(other) {}
CDepps::~CDepps() {}
CDepps& CDepps::operator=(const CDepps& other) {
    CDepends<std::wstring, CModules>::operator=(other);
    return *this;
}

namespace Common {

int Attach() {
    try {
        TSingletonHolder<COsInfo>::Create();
        TSingletonHolder<Kernel32::CKernel32Wrapper>::Create();
    } catch (...) {
        // Out of memory: the lists are made on first use instead.
    }
    return 1;
}

int Detach() {
    TSingletonHolder<COsInfo>::Destroy();
    TSingletonHolder<Kernel32::CKernel32Wrapper>::Destroy();
    return 1;
}

} // namespace Common
} // namespace Depends
