// Walks every module of a folder as a root of its own (one Depends::CDepps each) and reports
// modules per second. With a second argument it writes each root's found and missing maps there
// (UTF-8, one "root<TAB>F|M<TAB>key" line per entry) for comparison with another walker.
//
// linkwalk_bench.exe --flood <folder>: walks each hostile module of the folder (made by
// tests/fixtures/linkwalk/makeflood.py) and its plain twin as roots, first and again in the same
// process, and prints the times and the ratio of the hostile module's first walk to its twin's.
#include "linkwalk.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

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
    std::wstring ext = name.substr(dot);
    ::CharUpperBuffW(&ext[0], static_cast<DWORD>(ext.size()));
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

int wmain(int argc, wchar_t** argv) {
    if (argc > 2 && std::wstring(argv[1]) == L"--flood")
        return Flood(argv[2]);
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
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    size_t found = 0, missing = 0;
    for (const std::wstring& root : roots) {
        Depends::CDepps f;
        f.AddModule(root, root, 1);
        found += f.m_found.size();
        missing += f.m_missing.size();
        if (out) {
            const std::string r = Utf8(root);
            for (const auto& e : f.m_found)
                std::fprintf(out, "%s\tF\t%s\n", r.c_str(), Utf8(e.first).c_str());
            for (const auto& e : f.m_missing)
                std::fprintf(out, "%s\tM\t%s\n", r.c_str(), Utf8(e.first).c_str());
        }
    }
    ::QueryPerformanceCounter(&t1);
    if (out)
        std::fclose(out);
    const double seconds = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
    std::printf("linkwalk: %u roots, %u found entries, %u missing entries in %.3f s: %.1f roots/s, %.1f modules/s\n",
                unsigned(roots.size()), unsigned(found), unsigned(missing), seconds, roots.size() / seconds,
                (roots.size() + found) / seconds);
    Depends::Common::Detach();
    ::CoUninitialize();
    return 0;
}
