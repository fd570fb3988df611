// The dependency finder: the walk of the import and delay-import tables, the name resolution in
// the system's search order and the recursion over every module found.
#include "internal.h"
#include "ClrMeta.h"

#include <cstdio>
#include <cwchar>

namespace Depends {

typedef CDepends<std::wstring, CModules> Finder;

namespace {
const WORD kMachineI386 = 0x14C;
const WORD kMachineAmd64 = 0x8664;
} // namespace

struct CWalker {
    static void AddModule(Finder& f, const std::wstring& module, const std::wstring& origin, int sameMachine);
    static void WalkImports(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                            std::set<std::wstring>& seen);
    static void WalkDelayImports(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                                 std::set<std::wstring>& seen);
    static void ResolveAnsi(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                            const std::string& name, std::set<std::wstring>& seen);
    static void ResolveName(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                            const std::wstring& name);
    static bool Search(Finder& f, WORD machine, const wchar_t* directory, const std::wstring& name,
                       std::wstring& path);
    static void WalkAssemblyReferences(Finder& f, const CMappedImage& image, bool pe32plus,
                                       const std::wstring& module, const std::wstring& origin);
    static void FindAssemblyFile(Finder& f, const CMappedImage& image, const std::wstring& origin,
                                 const AssemblyReference& ref);
    static void CopyInit(Finder& f, const Finder& other);
};

namespace {

std::wstring FileNamePart(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

void CWalker::AddModule(Finder& f, const std::wstring& module, const std::wstring& origin, int sameMachine)
{
    const std::wstring key = UpperCase(module);
    if (f.m_found.count(key) || f.m_missing.count(key))
        return;
    CMappedImage image(module);
    if (!image.IsPe())
        return;
    const WORD machine = image.Machine();
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
    }
    bool pe32plus;
    if (machine == kMachineI386)
        pe32plus = false;
    else if (machine == kMachineAmd64)
        pe32plus = true;
    else
        return;
    std::set<std::wstring> seen;
    WalkDelayImports(f, image, pe32plus, origin, seen);
    WalkImports(f, image, pe32plus, origin, seen);
    WalkAssemblyReferences(f, image, pe32plus, module, origin);
}

void CWalker::ResolveAnsi(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                          const std::string& name, std::set<std::wstring>& seen)
{
    if (name.empty())
        return;
    int n = ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (n <= 0)
        return;
    std::wstring wide(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &wide[0], n);
    // A name imported twice by one module resolves the same way twice: take it once.
    if (!seen.insert(UpperCase(wide)).second)
        return;
    ResolveName(f, image, pe32plus, origin, wide);
}

void CWalker::WalkImports(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                          std::set<std::wstring>& seen)
{
    const ClrMeta::CPeView& v = image.View();
    DWORD rva = 0, size = 0, pos = 0;
    if (!v.DataDirectory(pe32plus, 1, rva, size) || !v.RvaToOffset(rva, pos))
        return;
    for (uint64_t d = pos; v.Within(d, 20); d += 20) {
        DWORD nameRva = 0, namePos = 0;
        v.ReadDword(d + 12, nameRva);
        if (nameRva == 0 || !v.RvaToOffset(nameRva, namePos))
            return;
        std::string name;
        if (!v.ReadAnsi(namePos, name))
            return;
        ResolveAnsi(f, image, pe32plus, origin, name, seen);
    }
}

void CWalker::WalkDelayImports(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                               std::set<std::wstring>& seen)
{
    const ClrMeta::CPeView& v = image.View();
    DWORD rva = 0, size = 0, pos = 0;
    uint64_t imageBase = 0;
    if (!v.DataDirectory(pe32plus, 13, rva, size) || !v.RvaToOffset(rva, pos))
        return;
    v.ImageBase(pe32plus, imageBase);
    // The base that old-style descriptors (virtual addresses) are reduced by.
    uint64_t reduceBy = imageBase;
    if (pe32plus && (imageBase >> 32) != 0)
        reduceBy = 0;
    else
        reduceBy &= 0xFFFFFFFFull;
    // A descriptor is taken while a whole one remains in the directory: a directory whose size
    // leaves out the zero terminator still has its last descriptor read.
    uint64_t remaining = size;
    for (uint64_t d = pos; remaining >= 32 && v.Within(d, 32); d += 32, remaining -= 32) {
        DWORD attributes = 0, field = 0;
        v.ReadDword(d, attributes);
        v.ReadDword(d + 4, field);
        if (field == 0)
            return;
        // Bit 0 of the attributes marks the RVA form. Without it the field may be an old-style
        // virtual address: reduced by the image base when that gives a place in the file, so that
        // an RVA above a low image base is not corrupted.
        DWORD nameRva = field, namePos = 0;
        if (!(attributes & 1) && reduceBy != 0 && field > reduceBy &&
            v.RvaToOffset(static_cast<DWORD>(field - reduceBy), namePos))
            nameRva = static_cast<DWORD>(field - reduceBy);
        if (!v.RvaToOffset(nameRva, namePos))
            return;
        std::string name;
        if (!v.ReadAnsi(namePos, name))
            return;
        ResolveAnsi(f, image, pe32plus, origin, name, seen);
    }
}

bool CWalker::Search(Finder& f, WORD machine, const wchar_t* directory, const std::wstring& name, std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    unsigned long n = f.SearchPathEx(machine, directory, name.c_str(), static_cast<unsigned long>(buffer.size()),
                                     buffer.data());
    if (n == 0)
        return false;
    if (n > buffer.size()) {
        // A path of MAX_PATH characters or more: ask again with room for it.
        buffer.assign(n, L'\0');
        n = f.SearchPathEx(machine, directory, name.c_str(), static_cast<unsigned long>(buffer.size()),
                           buffer.data());
        if (n == 0 || n > buffer.size())
            return false;
    }
    path.assign(buffer.data());
    return true;
}

void CWalker::ResolveName(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& origin,
                          const std::wstring& name)
{
    const std::wstring key = UpperCase(name);
    if (f.m_resolved.count(key))
        return;
    const WORD machine = image.Machine();
    std::wstring path;
    bool found = Search(f, machine, f.m_appDirectoryFull.c_str(), name, path);
    if (!found)
        found = Search(f, machine, nullptr, name, path);
    if (!found) {
        std::vector<std::wstring> folders;
        if (ReadManifestDirectories(image, pe32plus, folders)) {
            for (const std::wstring& folder : folders) {
                if (Search(f, machine, folder.c_str(), name, path)) {
                    if (path != origin)
                        AddModule(f, path, origin, 1);
                    return;
                }
            }
        }
        f.m_missing[key] = origin;
        return;
    }
    f.m_resolved[key] = path;
    if (path != origin)
        AddModule(f, path, origin, 1);
}

// ---------------------------------------------------------------------------------------------
// .NET assemblies: assembly references into the assembly cache or beside the origin, module
// references (platform-invoke DLLs) through the native name resolution.

namespace {

template <class T>
struct Released {
    T* p = nullptr;
    ~Released()
    {
        if (p)
            p->Release();
    }
};

} // namespace

void CWalker::WalkAssemblyReferences(Finder& f, const CMappedImage& image, bool pe32plus, const std::wstring& module,
                                     const std::wstring& origin)
{
    if (!f.m_dispenser)
        return;
    Released<ClrMeta::IMetaDataAssemblyImport> assemblies;
    if (f.m_dispenser->OpenScope(module.c_str(), ClrMeta::ofReadOnly, ClrMeta::IID_IMetaDataAssemblyImport,
                                 reinterpret_cast<IUnknown**>(&assemblies.p)) != S_OK ||
        !assemblies.p)
        return;
    std::list<AssemblyReference> refs;
    ClrMeta::HCORENUM e = nullptr;
    ClrMeta::mdToken tokens[10];
    ULONG count = 0;
    while (assemblies.p->EnumAssemblyRefs(&e, tokens, 10, &count) == S_OK && count > 0) {
        for (ULONG i = 0; i < count; ++i) {
            const void* key = nullptr;
            ULONG keyLength = 0, nameLength = 0;
            wchar_t name[1024];
            ClrMeta::ASSEMBLYMETADATA meta = {};
            if (FAILED(assemblies.p->GetAssemblyRefProps(tokens[i], &key, &keyLength, name, 1024, &nameLength,
                                                         &meta, nullptr, nullptr, nullptr)))
                continue;
            AssemblyReference ref;
            ref.name = name;
            ref.major = meta.usMajorVersion;
            ref.minor = meta.usMinorVersion;
            ref.build = meta.usBuildNumber;
            ref.revision = meta.usRevisionNumber;
            ref.token = f.PublicKeyTokenByteToString(static_cast<const unsigned char*>(key), keyLength);
            refs.push_back(ref);
        }
    }
    assemblies.p->CloseEnum(e);
    if (!f.m_resolved.count(L"MSCORLIB.DLL")) {
        for (auto it = refs.begin(); it != refs.end(); ++it)
            if (it->name == L"mscorlib") {
                refs.splice(refs.begin(), refs, it);
                break;
            }
    }
    for (const AssemblyReference& ref : refs)
        FindAssemblyFile(f, image, origin, ref);

    Released<ClrMeta::IMetaDataImport> imports;
    if (f.m_dispenser->OpenScope(module.c_str(), 0, ClrMeta::IID_IMetaDataImport,
                                 reinterpret_cast<IUnknown**>(&imports.p)) == S_OK &&
        imports.p) {
        ClrMeta::HCORENUM me = nullptr;
        ClrMeta::mdToken mods[5];
        std::vector<std::wstring> names;
        while (imports.p->EnumModuleRefs(&me, mods, 5, &count) == S_OK && count > 0) {
            for (ULONG i = 0; i < count; ++i) {
                wchar_t name[1024];
                ULONG written = 0;
                if (SUCCEEDED(imports.p->GetModuleRefProps(mods[i], name, 1024, &written)))
                    names.push_back(name);
            }
        }
        imports.p->CloseEnum(me);
        for (const std::wstring& name : names)
            ResolveName(f, image, pe32plus, module, name);
    }
}

void CWalker::FindAssemblyFile(Finder& f, const CMappedImage& image, const std::wstring& origin,
                               const AssemblyReference& ref)
{
    if (ref.name.empty())
        return;
    std::wstring folder = origin;
    size_t slash = folder.find_last_of(L'\\');
    folder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    wchar_t windir[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryW(windir, MAX_PATH);
    if (n >= MAX_PATH)
        windir[0] = L'\0';
    wchar_t version[64];
    std::swprintf(version, 64, L"%i.%i.%i.%i", int(ref.major), int(ref.minor), int(ref.build), int(ref.revision));

    std::vector<std::wstring> bases;
    if (!ref.token.empty()) {
        std::vector<const wchar_t*> caches;
        const WORD machine = image.Machine();
        if (machine == kMachineI386)
            caches.push_back(L"GAC_32");
        else if (machine == kMachineAmd64)
            caches.push_back(L"GAC_64");
        caches.push_back(L"GAC_MSIL");
        caches.push_back(L"GAC");
        for (const wchar_t* cache : caches)
            bases.push_back(std::wstring(windir) + L"\\assembly\\" + cache + L"\\" + ref.name + L"\\" + version +
                            L"__" + ref.token + L"\\" + ref.name);
    }
    bases.push_back(folder + ref.name);
    bases.push_back(folder + ref.name + L"\\" + ref.name);

    std::wstring found;
    for (const std::wstring& base : bases) {
        if (f.IsExistFile((base + L".dll").c_str())) {
            found = base + L".dll";
            break;
        }
        if (f.IsExistFile((base + L".exe").c_str())) {
            found = base + L".exe";
            break;
        }
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

void CWalker::CopyInit(Finder& f, const Finder& other)
{
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

int InitializeCom()
{
    HRESULT hr = ::CoInitialize(nullptr);
    return hr == S_OK || hr == S_FALSE ? 1 : 0;
}

} // namespace

template <class TString, class TModules>
CDepends<TString, TModules>::CDepends()
    : m_appDirectory(), m_rootMachine(0), m_dispenser(nullptr), m_comInitialized(0)
{
    m_comInitialized = InitializeCom();
    // The metadata reader is our own and needs no COM apartment: a thread already in another
    // apartment (CoInitialize failing with RPC_E_CHANGED_MODE) still gets the .NET walk.
    if (ClrMeta::CreateDispenser(&m_dispenser) != S_OK)
        m_dispenser = nullptr;
}

template <class TString, class TModules>
CDepends<TString, TModules>::CDepends(const CDepends& other)
    : m_appDirectory(), m_rootMachine(0), m_dispenser(nullptr), m_comInitialized(0)
{
    CWalker::CopyInit(*this, other);
    m_dispenser = other.m_dispenser;
    if (m_dispenser)
        m_dispenser->AddRef();
    m_comInitialized = InitializeCom();
}

template <class TString, class TModules>
CDepends<TString, TModules>::~CDepends()
{
    if (m_dispenser)
        m_dispenser->Release();
    m_dispenser = nullptr;
    if (m_comInitialized)
        ::CoUninitialize();
}

template <class TString, class TModules>
CDepends<TString, TModules>& CDepends<TString, TModules>::operator=(const CDepends& other)
{
    if (this == &other)
        return *this;
    try {
        CWalker::CopyInit(*this, other);
    } catch (...) {
    }
    if (other.m_dispenser)
        other.m_dispenser->AddRef();
    if (m_dispenser)
        m_dispenser->Release();
    m_dispenser = other.m_dispenser;
    return *this;
}

template <class TString, class TModules>
void CDepends<TString, TModules>::AddModule(const TString& module, const TString& origin, int sameMachine)
{
    try {
        CWalker::AddModule(*this, module, origin, sameMachine);
    } catch (...) {
        // Out of memory in the middle of a walk: what was found so far stays.
    }
}

template <class TString, class TModules>
unsigned long CDepends<TString, TModules>::SearchPathEx(unsigned short machine, const wchar_t* directory,
                                                         const wchar_t* name, unsigned long length,
                                                         wchar_t* buffer)
{
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
    const COsInfo& os = TSingletonHolder<COsInfo>::Instance();
    for (const std::wstring& dir : os.GetSearchList(machine == kMachineAmd64)) {
        std::wstring candidate = dir + name;
        if (IsExistFile(candidate.c_str()))
            return CopyFileName(candidate, buffer, length);
    }
    return 0;
}

template <class TString, class TModules>
unsigned long CDepends<TString, TModules>::CopyFileName(const TString& path, wchar_t* buffer, unsigned long length)
{
    if (buffer && path.size() < length) {
        path.copy(buffer, path.size());
        buffer[path.size()] = L'\0';
    } else {
        ::SetLastError(ERROR_MORE_DATA);
    }
    return static_cast<unsigned long>(path.size() + 1);
}

template <class TString, class TModules>
int CDepends<TString, TModules>::IsExistFile(const wchar_t* path) const
{
    if (!path)
        return 0;
    DWORD attrs = ::GetFileAttributesW(ApiPath(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

template <class TString, class TModules>
TString CDepends<TString, TModules>::PublicKeyTokenByteToString(const unsigned char* bytes, unsigned long count)
{
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
CDepps& CDepps::operator=(const CDepps& other)
{
    CDepends<std::wstring, CModules>::operator=(other);
    return *this;
}

namespace Common {

int Attach()
{
    try {
        TSingletonHolder<COsInfo>::Create();
        TSingletonHolder<Kernel32::CKernel32Wrapper>::Create();
    } catch (...) {
        // Out of memory: the lists are made on first use instead.
    }
    return 1;
}

int Detach()
{
    TSingletonHolder<COsInfo>::Destroy();
    TSingletonHolder<Kernel32::CKernel32Wrapper>::Destroy();
    return 1;
}

} // namespace Common
} // namespace Depends
