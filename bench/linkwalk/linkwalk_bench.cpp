// Walks every module of a folder as a root of its own (one Depends::CDepps each) and reports
// modules per second. With a second argument it writes each root's found and missing maps there
// (UTF-8, one "root<TAB>F|M<TAB>key" line per entry) for comparison with another walker.
//
// linkwalk_bench.exe --flood <folder>: walks each hostile module of the folder (made by
// tests/fixtures/linkwalk/makeflood.py) and its plain twin as roots, first and again in the same
// process, and prints the times and the ratio of the hostile module's first walk to its twin's.
#include "linkwalk.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "KvText.h"
#include "PeView.h"
#include "suffixflood.h"

namespace {

std::string Utf8(const std::wstring& w) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

bool IsModule(const std::wstring& name) {
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos)
        return false;
    const std::wstring ext = KvBase::UpperCase(name.substr(dot));
    return ext == L".DLL" || ext == L".EXE";
}

double Now() {
    LARGE_INTEGER freq, t;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(freq.QuadPart);
}

// One walk of a root with a finder of its own: its time in seconds and the size of its maps.
double WalkOnce(const std::wstring& root, size_t& entries) {
    const double t0 = Now();
    Depends::CDepps f;
    f.AddModule(root, root, 1);
    entries = f.m_found.size() + f.m_missing.size();
    return Now() - t0;
}

int Flood(const std::wstring& folder) {
    ::CoInitialize(nullptr);
    Depends::Common::Attach();
    // The process's one-time work (search lists, listings of the system folders) before any
    // measured walk.
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    size_t warm = 0;
    WalkOnce(std::wstring(sys) + L"\\kernel32.dll", warm);
    bool slow = false;
    for (const wchar_t* kind : {L"modref", L"strings", L"imports", L"manifest"}) {
        const std::wstring hostile = folder + L"\\" + kind + L".dll", plain = folder + L"\\" + kind + L"_plain.dll";
        size_t hostileEntries = 0, plainEntries = 0, again = 0;
        const double tp = WalkOnce(plain, plainEntries);
        const double th = WalkOnce(hostile, hostileEntries);
        const double th2 = WalkOnce(hostile, again);
        std::printf("flood %-8ls: %8.1f ms (again in this process %6.1f ms, %u entries); plain twin %6.2f ms "
                    "(%u entries); ratio %.0f\n",
                    kind, th * 1000, th2 * 1000, unsigned(hostileEntries), tp * 1000, unsigned(plainEntries), th / tp);
        slow = slow || th >= 1.0;
    }
    Depends::Common::Detach();
    ::CoUninitialize();
    if (slow)
        std::printf("flood: a hostile module took a second or more\n");
    return slow ? 2 : 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The reference: the same walk (search order, delay imports before imports, each name resolved
// once, a module of another machine than the root's missing) written plainly, with every module's
// import list and every folder's listing read once per process and never checked again. Its second
// pass over the roots is the floor the finder is measured against: no file-system request at all.
// It reads no manifests and no .NET metadata.
class CReferenceWalker {
public:
    struct Maps {
        std::map<std::wstring, std::wstring> found, missing;
    };

    CReferenceWalker() {
        wchar_t buf[MAX_PATH];
        UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
        const std::wstring sys = KvBase::UpperCase(std::wstring(buf, n)) + L"\\";
        n = ::GetSystemWow64DirectoryW(buf, MAX_PATH);
        const std::wstring wow = n ? std::wstring(buf, n) + L"\\" : std::wstring();
        n = ::GetWindowsDirectoryW(buf, MAX_PATH);
        const std::wstring win = KvBase::UpperCase(std::wstring(buf, n)) + L"\\";
        m_list64 = {sys, win};
        if (!wow.empty())
            m_list32.push_back(wow);
        m_list32.push_back(win);
        wchar_t path[32768];
        n = ::GetEnvironmentVariableW(L"Path", path, 32768);
        const std::wstring value(path, n < 32768 ? n : 0);
        for (auto* list : {&m_list32, &m_list64}) {
            const std::vector<std::wstring> before = *list;
            size_t start = 0;
            while (start <= value.size()) {
                size_t end = value.find(L';', start);
                if (end == std::wstring::npos)
                    end = value.size();
                std::wstring piece = KvBase::UpperCase(value.substr(start, end - start));
                while (!piece.empty() && piece.front() == L'"')
                    piece.erase(0, 1);
                while (!piece.empty() && piece.back() == L'"')
                    piece.pop_back();
                if (!piece.empty() && piece[0] != L'%') {
                    if (piece.back() != L'\\')
                        piece += L'\\';
                    if (std::find(before.begin(), before.end(), piece) == before.end())
                        list->push_back(piece);
                }
                start = end + 1;
            }
        }
    }

    Maps Walk(const std::wstring& root) {
        Maps m;
        m_maps = &m;
        m_resolved.clear();
        m_rootMachine = 0;
        m_appDir = root.substr(0, root.find_last_of(L'\\'));
        Add(root, root, 1);
        return m;
    }

private:
    struct Module {
        bool pe = false;
        WORD machine = 0;
        std::vector<std::wstring> names; // delay imports, then imports; each upper-cased name once
    };
    struct Folder {
        std::map<std::wstring, bool> names; // upper-cased name -> is a directory
    };

    const Folder& Listing(const std::wstring& folder) {
        const std::wstring key = KvBase::UpperCase(folder);
        auto it = m_folders.find(key);
        if (it != m_folders.end())
            return it->second;
        Folder& f = m_folders[key];
        WIN32_FIND_DATAW fd;
        HANDLE h = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                      FIND_FIRST_EX_LARGE_FETCH);
        if (h != INVALID_HANDLE_VALUE) {
            do
                f.names[KvBase::UpperCase(fd.cFileName)] = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            while (::FindNextFileW(h, &fd));
            ::FindClose(h);
        }
        return f;
    }

    bool IsFile(const std::wstring& path) {
        const size_t slash = path.find_last_of(L'\\');
        if (slash == std::wstring::npos)
            return false;
        const Folder& f = Listing(path.substr(0, slash));
        auto it = f.names.find(KvBase::UpperCase(path.substr(slash + 1)));
        return it != f.names.end() && !it->second;
    }

    const Module& Read(const std::wstring& path, const std::wstring& key) {
        auto it = m_modules.find(key);
        if (it != m_modules.end())
            return it->second;
        Module& m = m_modules[key];
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return m;
        const DWORD size = ::GetFileSize(file, nullptr);
        HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        const BYTE* data =
            mapping ? static_cast<const BYTE*>(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
        if (data) {
            ClrMeta::CPeView v(data, size);
            WORD mz = 0;
            if (size >= 64 && v.ReadWord(0, mz) && mz == 0x5A4D && v.IsPe()) {
                m.pe = true;
                m.machine = v.Machine();
                if (m.machine == 0x14C || m.machine == 0x8664)
                    ReadNames(v, m.machine == 0x8664, m.names);
            }
            ::UnmapViewOfFile(data);
        }
        if (mapping)
            ::CloseHandle(mapping);
        ::CloseHandle(file);
        return m;
    }

    static void ReadNames(const ClrMeta::CPeView& v, bool plus, std::vector<std::wstring>& names) {
        std::set<std::wstring> seen;
        auto take = [&](DWORD rva) {
            DWORD pos = 0;
            std::string text;
            if (!v.RvaToOffset(rva, pos) || !v.ReadAnsi(pos, text))
                return false;
            if (text.empty())
                return true;
            std::wstring name(text.size(), L'\0');
            name.resize(
                size_t(::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &name[0], int(name.size()))));
            if (seen.insert(KvBase::UpperCase(name)).second)
                names.push_back(name);
            return true;
        };
        DWORD rva = 0, size = 0, pos = 0;
        uint64_t base = 0;
        v.ImageBase(plus, base);
        const uint64_t reduce = plus && (base >> 32) ? 0 : (base & 0xFFFFFFFFull);
        if (v.DataDirectory(plus, 13, rva, size) && v.RvaToOffset(rva, pos)) {
            for (uint64_t d = pos, left = size; left >= 32 && v.Within(d, 32); d += 32, left -= 32) {
                DWORD attributes = 0, field = 0, at = 0;
                v.ReadDword(d, attributes);
                v.ReadDword(d + 4, field);
                if (field == 0)
                    break;
                DWORD nameRva = field;
                if (!(attributes & 1) && reduce && field > reduce && v.RvaToOffset(DWORD(field - reduce), at))
                    nameRva = DWORD(field - reduce);
                if (!take(nameRva))
                    break;
            }
        }
        if (v.DataDirectory(plus, 1, rva, size) && v.RvaToOffset(rva, pos)) {
            for (uint64_t d = pos; v.Within(d, 20); d += 20) {
                DWORD nameRva = 0;
                v.ReadDword(d + 12, nameRva);
                if (nameRva == 0 || !take(nameRva))
                    break;
            }
        }
    }

    bool Search(WORD machine, const std::wstring* dir, const std::wstring& name, std::wstring& path) {
        if (dir) {
            path = *dir + (!dir->empty() && dir->back() == L'\\' ? L"" : L"\\") + name;
            return IsFile(path);
        }
        for (const std::wstring& d : machine == 0x8664 ? m_list64 : m_list32) {
            path = d + name;
            if (IsFile(path))
                return true;
        }
        return false;
    }

    void Add(const std::wstring& module, const std::wstring& origin, int same) {
        const std::wstring key = KvBase::UpperCase(module);
        if (m_maps->found.count(key) || m_maps->missing.count(key))
            return;
        const Module& m = Read(module, key);
        if (!m.pe)
            return;
        if (m_rootMachine == 0)
            m_rootMachine = m.machine;
        if (same && m.machine != m_rootMachine) {
            m_maps->missing[KvBase::UpperCase(module.substr(module.find_last_of(L'\\') + 1))] = origin;
            return;
        }
        if (module != origin)
            m_maps->found[key] = module;
        else if (!m_maps->found.empty() || !m_maps->missing.empty())
            return;
        if (m.machine != 0x14C && m.machine != 0x8664)
            return;
        for (const std::wstring& name : m.names) {
            const std::wstring nameKey = KvBase::UpperCase(name);
            if (m_resolved.count(nameKey))
                continue;
            std::wstring path;
            if (!Search(m.machine, &m_appDir, name, path) && !Search(m.machine, nullptr, name, path)) {
                m_maps->missing[nameKey] = origin;
                continue;
            }
            m_resolved[nameKey] = path;
            if (path != origin)
                Add(path, origin, 1);
        }
    }

    std::vector<std::wstring> m_list32, m_list64;
    std::map<std::wstring, Module> m_modules;
    std::map<std::wstring, Folder> m_folders;
    Maps* m_maps = nullptr;
    std::map<std::wstring, std::wstring> m_resolved;
    WORD m_rootMachine = 0;
    std::wstring m_appDir;
};

// The private memory and peak working set of the process, in MiB.
void Memory(double& privateMiB, double& peakMiB) {
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
    privateMiB = double(pmc.WorkingSetSize) / 1048576.0;
    peakMiB = double(pmc.PeakWorkingSetSize) / 1048576.0;
}

// linkwalk_bench.exe --suffixes <folder> <count>: writes the module whose imports and delay imports
// are the `count` suffixes of one long string and walks it once in a fresh process; prints the
// time, the process's memory and the size of the text that the result map itself must hold.
int Suffixes(const std::wstring& folder, size_t count, size_t folderEvery) {
    const std::string text = lwflood::SuffixString(count, folderEvery);
    const std::vector<BYTE> image = lwflood::SuffixFloodImage(sizeof(void*) == 8, text, count);
    const std::wstring path = folder + L"\\suffixes" + std::to_wstring(count) + L".dll";
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    if (h == INVALID_HANDLE_VALUE || !::WriteFile(h, image.data(), DWORD(image.size()), &put, nullptr)) {
        std::fwprintf(stderr, L"cannot write %ls\n", path.c_str());
        return 1;
    }
    ::CloseHandle(h);
    ::CoInitialize(nullptr);
    Depends::Common::Attach();
    double before = 0, peakBefore = 0;
    Memory(before, peakBefore);
    const double t0 = Now();
    size_t missing = 0;
    double textMiB = 0, during = 0, peak = 0;
    {
        Depends::CDepps f;
        f.AddModule(path, path, 1);
        missing = f.m_missing.size();
        for (const auto& e : f.m_missing)
            textMiB += double(e.first.size() * sizeof(wchar_t)) / 1048576.0;
        Memory(during, peak);
    }
    const double seconds = Now() - t0;
    std::printf("suffixes %u%s: file %.2f MB, walk %.2f s, %u missing; memory: working set %.0f MiB with the finder's "
                "maps (%.0f MiB before), peak working set %.0f MiB; the missing map's keys alone hold %.0f MiB\n",
                unsigned(count), folderEvery ? " (reaching through folders)" : "", double(image.size()) / 1e6, seconds,
                unsigned(missing), during, before, peak, textMiB);
    Depends::Common::Detach();
    ::CoUninitialize();
    ::DeleteFileW(path.c_str());
    return missing == count ? 0 : 2;
}

int wmain(int argc, wchar_t** argv) {
    if (argc > 2 && std::wstring(argv[1]) == L"--flood")
        return Flood(argv[2]);
    if (argc > 3 && std::wstring(argv[1]) == L"--suffixes")
        return Suffixes(argv[2], size_t(_wtoi(argv[3])), argc > 4 ? size_t(_wtoi(argv[4])) : 0);
    // --first <finder|reference> <folder>: only the first walk of every root, by one walker, in a
    // process of its own (so that neither walker's first walk follows the other's).
    std::wstring firstOnly;
    if (argc > 3 && std::wstring(argv[1]) == L"--first") {
        firstOnly = argv[2];
        argv += 2;
        argc -= 2;
    }
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    const std::wstring folder = argc > 1 ? argv[1] : sys;
    FILE* out = argc > 2 ? _wfopen(argv[2], L"wb") : nullptr;

    std::vector<std::wstring> roots;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"cannot list %s\n", folder.c_str());
        return 1;
    }
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsModule(fd.cFileName))
            roots.push_back(folder + L"\\" + fd.cFileName);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);

    if (out) {
        // The comparison walker searches the same Path.
        wchar_t path[32768];
        DWORD n = ::GetEnvironmentVariableW(L"Path", path, 32768);
        std::fprintf(out, "#PATH\t%s\n", Utf8(std::wstring(path, n < 32768 ? n : 0)).c_str());
    }
    // Callers (the program, the command-sequence library) run with COM initialised; so does this.
    ::CoInitialize(nullptr);
    Depends::Common::Attach();
    if (!firstOnly.empty()) {
        const double t0 = Now();
        if (firstOnly == L"reference") {
            CReferenceWalker reference;
            for (const std::wstring& root : roots)
                reference.Walk(root);
        } else {
            for (const std::wstring& root : roots) {
                Depends::CDepps f;
                f.AddModule(root, root, 1);
            }
        }
        std::printf("first walk of %u roots by the %ls: %.3f s\n", unsigned(roots.size()), firstOnly.c_str(),
                    Now() - t0);
        Depends::Common::Detach();
        ::CoUninitialize();
        return 0;
    }
    typedef std::vector<CReferenceWalker::Maps> AllMaps;
    // One pass of the finder over every root (a finder each), its maps kept.
    auto finderPass = [&](AllMaps* maps, FILE* to) {
        const double t0 = Now();
        for (const std::wstring& root : roots) {
            Depends::CDepps f;
            f.AddModule(root, root, 1);
            if (maps)
                maps->push_back(CReferenceWalker::Maps{f.m_found, f.m_missing});
            if (to) {
                const std::string r = Utf8(root);
                for (const auto& e : f.m_found)
                    std::fprintf(to, "%s\tF\t%s\n", r.c_str(), Utf8(e.first).c_str());
                for (const auto& e : f.m_missing)
                    std::fprintf(to, "%s\tM\t%s\n", r.c_str(), Utf8(e.first).c_str());
            }
        }
        return Now() - t0;
    };
    // The reference reads every import list first (its first pass, timed), so that neither
    // walker's first pass profits from the other's: both then find the files in the system's
    // cache as the warm-up process left them.
    CReferenceWalker reference;
    const double refFirst = [&] {
        const double t0 = Now();
        for (const std::wstring& root : roots)
            reference.Walk(root);
        return Now() - t0;
    }();
    AllMaps first;
    const double seconds = finderPass(&first, out);
    if (out)
        std::fclose(out);
    size_t found = 0, missing = 0;
    for (const auto& m : first) {
        found += m.found.size();
        missing += m.missing.size();
    }
    std::printf("linkwalk: %u roots, %u found entries, %u missing entries in %.3f s: %.1f roots/s, %.1f modules/s\n",
                unsigned(roots.size()), unsigned(found), unsigned(missing), seconds, roots.size() / seconds,
                (roots.size() + found) / seconds);

    // The same roots again, three times each, with the finder (its process store of module data
    // and folder listings filled, each walk polling the system folders' change watches and asking only the files of
    // other folders) and with the reference walker (import lists and listings cached, nothing checked): medians.
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> ours, theirs;
    AllMaps again;
    for (int i = 0; i < 3; ++i) {
        again.clear();
        ours.push_back(finderPass(&again, nullptr));
    }
    AllMaps refMaps;
    for (int i = 0; i < 3; ++i) {
        refMaps.clear();
        const double t0 = Now();
        for (const std::wstring& root : roots)
            refMaps.push_back(reference.Walk(root));
        theirs.push_back(Now() - t0);
    }
    size_t same = 0, stable = 0;
    for (size_t i = 0; i < roots.size(); ++i) {
        same += again[i].found == refMaps[i].found && again[i].missing == refMaps[i].missing;
        stable += again[i].found == first[i].found && again[i].missing == first[i].missing;
    }
    const double warm = median(ours), cached = median(theirs);
    std::printf("linkwalk again (process store filled): %.3f s (median of 3); reference walk with import lists cached: "
                "%.3f s (median of 3; its first pass, reading them: %.3f s)\n",
                warm, cached, refFirst);
    std::printf("ratio to the reference: first walks (each reading every import list once) %.2fx; walks with the "
                "lists cached %.2fx\n",
                seconds / refFirst, warm / cached);
    std::printf("maps: %u of %u roots equal to the reference walker's (manifest and .NET references are the finder's "
                "alone); %u of %u equal to the finder's first walk\n",
                unsigned(same), unsigned(roots.size()), unsigned(stable), unsigned(roots.size()));
    Depends::Common::Detach();
    ::CoUninitialize();
    return 0;
}
