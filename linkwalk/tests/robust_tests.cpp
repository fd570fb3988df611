// Damaged modules and real system folders: the finder never crashes, hangs or reads past a file.
#include "fixture_util.h"

#include <random>

using namespace lwtest;
using Depends::CDepps;

namespace {

// Places in the headers whose damage reaches every reader of the walk.
std::vector<size_t> HeaderOffsets(const std::vector<BYTE>& d) {
    PeOffsets pe(d);
    std::vector<size_t> offs = {0x3C,      0x18,       pe.nt,      pe.nt + 4,
                                pe.nt + 6, pe.nt + 20, pe.nt + 24, size_t(pe.nt) + 24 + (pe.plus ? 108 : 92)};
    for (unsigned dir : {1u, 2u, 13u, 14u}) {
        offs.push_back(pe.Dir(dir));
        offs.push_back(pe.Dir(dir) + 4);
    }
    const size_t sections = size_t(pe.nt) + 24 + Get<WORD>(d, pe.nt + 20);
    for (unsigned i = 0; i < Get<WORD>(d, pe.nt + 6); ++i)
        for (unsigned f : {8u, 12u, 16u, 20u})
            offs.push_back(sections + i * 40 + f);
    // The first import and delay-import descriptors and what they point at.
    DWORD pos = 0;
    if (pe.view.RvaToOffset(Get<DWORD>(d, pe.Dir(1)), pos))
        for (unsigned f = 0; f < 40; f += 4)
            offs.push_back(pos + f);
    if (pe.view.RvaToOffset(Get<DWORD>(d, pe.Dir(13)), pos))
        for (unsigned f = 0; f < 32; f += 4)
            offs.push_back(pos + f);
    if (pe.view.RvaToOffset(Get<DWORD>(d, pe.Dir(2)), pos))
        for (unsigned f = 0; f < 80; f += 4)
            offs.push_back(pos + f);
    // .NET: the CLR header, the metadata root with its stream headers and the table stream's header.
    if (pe.view.RvaToOffset(Get<DWORD>(d, pe.Dir(14)), pos)) {
        offs.push_back(pos + 8);
        offs.push_back(pos + 12);
        DWORD root = 0;
        if (pe.view.RvaToOffset(Get<DWORD>(d, pos + 8), root)) {
            for (unsigned f = 0; f < 0x100; f += 4)
                offs.push_back(root + f);
            const std::string text(d.begin(), d.end());
            const size_t tables = text.find(std::string("#~\0", 3), root);
            if (tables != std::string::npos && tables >= 8)
                for (unsigned f = 0; f < 0x80; f += 4)
                    offs.push_back(root + Get<DWORD>(d, tables - 8) + f);
        }
    }
    return offs;
}

// Writes the damaged copy and walks it as a root (its DLLs stand beside it).
void Walk(const std::wstring& path, const std::vector<BYTE>& data, size_t length = size_t(-1)) {
    ASSERT_TRUE(WriteAll(path, data, length));
    CDepps f;
    f.AddModule(path, path, 1);
    for (const auto& m : f.m_found)
        ASSERT_FALSE(m.second.empty());
}

// Writes the damaged copy and reads all its metadata through the reader the finder uses.
void ReadMetadata(const std::wstring& path, const std::vector<BYTE>& data, size_t length = size_t(-1)) {
    ASSERT_TRUE(WriteAll(path, data, length));
    ClrMeta::IMetaDataDispenser* d = nullptr;
    ASSERT_EQ(ClrMeta::CreateDispenser(&d), S_OK);
    IUnknown* unk = nullptr;
    if (d->OpenScope(path.c_str(), ClrMeta::ofReadOnly, ClrMeta::IID_IMetaDataAssemblyImport, &unk) == S_OK) {
        auto* a = static_cast<ClrMeta::IMetaDataAssemblyImport*>(unk);
        ClrMeta::HCORENUM e = nullptr;
        ClrMeta::mdToken t[10];
        ULONG n = 0;
        while (a->EnumAssemblyRefs(&e, t, 10, &n) == S_OK && n)
            for (ULONG i = 0; i < n; ++i) {
                wchar_t name[1024];
                const void* key = nullptr;
                ULONG keyLen = 0, len = 0;
                ClrMeta::ASSEMBLYMETADATA md = {};
                if (SUCCEEDED(a->GetAssemblyRefProps(t[i], &key, &keyLen, name, 1024, &len, &md, nullptr, nullptr,
                                                     nullptr))) {
                    ASSERT_LT(wcslen(name), 1024u);
                }
            }
        a->CloseEnum(e);
        ClrMeta::IMetaDataImport* m = nullptr;
        if (a->QueryInterface(ClrMeta::IID_IMetaDataImport, reinterpret_cast<void**>(&m)) == S_OK) {
            ClrMeta::HCORENUM me = nullptr;
            while (m->EnumModuleRefs(&me, t, 10, &n) == S_OK && n)
                for (ULONG i = 0; i < n; ++i) {
                    wchar_t name[1024];
                    ULONG len = 0;
                    m->GetModuleRefProps(t[i], name, 1024, &len);
                }
            m->CloseEnum(me);
            m->Release();
        }
        a->Release();
    }
    d->Release();
}

TEST(FinderRobustness, MutatedFixturesCorpus) {
    const std::wstring dir = Tmp() + L"\\mutants";
    MakeDirs(dir);
    for (const wchar_t* n : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"})
        ASSERT_TRUE(CopyTo(App() + L"\\" + n, dir + L"\\" + n));
    std::mt19937 rng(20261210);
    int walks = 0;
    // Two native modules walked as roots, and a .NET module whose metadata is read (its walk would
    // only add the system modules behind mscoree.dll to every run).
    for (const std::wstring& source : {App() + L"\\root.exe", App() + L"\\a.dll", Fixtures() + L"\\net\\NetApp.exe"}) {
        const std::wstring name = source.substr(source.find_last_of(L'\\') + 1);
        const std::vector<BYTE> original = ReadAll(source);
        const bool metadata = name == L"NetApp.exe";
        const std::wstring path = dir + L"\\mutant_" + name;
        auto walk = [&](const std::vector<BYTE>& data, size_t length) {
            if (metadata)
                ReadMetadata(path, data, length);
            else
                Walk(path, data, length);
        };
        ASSERT_FALSE(original.empty());
        // Truncations: every 191 bytes, and every 11 bytes within the headers.
        for (size_t len = 0; len < original.size(); len += (len < 0x200 ? 11 : 191), ++walks)
            walk(original, len);
        // Header fields set to values that point nowhere or everywhere.
        for (size_t off : HeaderOffsets(original)) {
            for (DWORD value : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu, static_cast<unsigned>(original.size() - 2)}) {
                std::vector<BYTE> data = original;
                if (off + 4 > data.size())
                    continue;
                Put<DWORD>(data, off, value);
                walk(data, data.size());
                ++walks;
            }
        }
        // Random flips of one to eight bytes in the first 4 KiB (all of the .NET module).
        for (int i = 0; i < 80; ++i, ++walks) {
            std::vector<BYTE> data = original;
            const int flips = 1 + int(rng() % 8);
            for (int k = 0; k < flips; ++k)
                data[rng() % std::min<size_t>(data.size(), 4096)] ^= BYTE(1 + rng() % 255);
            walk(data, data.size());
        }
    }
    EXPECT_GT(walks, 400);
}

// Walks every module of a folder with one finder: each module is opened and walked once.
size_t WalkFolder(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::wstring n = KvBase::UpperCase(fd.cFileName);
        const size_t dot = n.find_last_of(L'.');
        const std::wstring ext = dot == std::wstring::npos ? L"" : n.substr(dot);
        if (ext == L".DLL" || ext == L".EXE" || ext == L".DRV" || ext == L".SYS" || ext == L".OCX" || ext == L".CPL" ||
            ext == L".ACM" || ext == L".TLB")
            files.push_back(folder + L"\\" + fd.cFileName);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    if (files.empty())
        return 0;
    CDepps f;
    f.AddModule(files[0], files[0], 1);
    for (const std::wstring& file : files)
        f.AddModule(file, files[0], 0);
    EXPECT_GT(f.m_found.size(), files.size() / 2);
    return files.size();
}

TEST(FinderRobustness, EverySystemModuleWalks) {
#ifdef _WIN64
    EXPECT_GT(WalkFolder(SystemDir()), 300u);
#else
    // The 32-bit system folder of WOW64 (where system32 is redirected to), then the real system32
    // with redirection off: the i386 build reads the 64-bit modules there as well.
    wchar_t wow[MAX_PATH];
    UINT n = ::GetSystemWow64DirectoryW(wow, MAX_PATH);
    ASSERT_TRUE(n && n < MAX_PATH);
    EXPECT_GT(WalkFolder(std::wstring(wow, n)), 300u);
    PVOID old = nullptr;
    ASSERT_TRUE(::Wow64DisableWow64FsRedirection(&old));
    const size_t modules = WalkFolder(SystemDir());
    ::Wow64RevertWow64FsRedirection(old);
    EXPECT_GT(modules, 300u);
#endif
}

} // namespace
