// The registry picker over HKEY_CLASSES_ROOT: how long the dialog takes to open (to its first
// shown state) and to expand the key with the largest listing, against the plain listing of the
// same subkeys (RegEnumKeyExW alone, and with each subkey opened and asked for its subkeys as the
// picker does); and how many keys the dialog then holds open. Wine's own HKEY_CLASSES_ROOT is
// small, so the run is repeated with as many classes as a real workstation has (argument 1,
// default 10 000) put under HKLM\Software\Classes, which HKEY_CLASSES_ROOT shows (Wine's does not
// show the user's classes); they are removed afterwards.
#include "BrowseRegistry.h"

#include <kvui/kvui.h>

#include <cstdio>
#include <string>

namespace {

double Now() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// The subkeys of HKEY_CLASSES_ROOT listed; with probe, each opened and asked for its counts.
int PlainListing(bool probe) {
    int n = 0;
    for (DWORD i = 0;; ++i) {
        wchar_t name[260];
        DWORD len = 260;
        LONG rc = ::RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        ++n;
        if (probe) {
            HKEY k = nullptr;
            if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_READ, &k) == ERROR_SUCCESS) {
                DWORD subkeys = 0;
                ::RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
                ::RegCloseKey(k);
            }
        }
    }
    return n;
}

struct Figures {
    double opened = 0, expanded = 0, plain = 0, probe = 0;
    int listed = 0, shown = 0, openKeys = 0;
};

Figures Measure() {
    Figures f;
    KvUi::CScriptedPresenter presenter;
    KvUi::IPresenter* old = KvUi::SetPresenter(&presenter);
    double t0 = Now();
    std::wstring path;
    presenter.OnDialog(169, [&](KvUi::CDialog& d) {
        auto& dlg = static_cast<dlgBrowseRegistry&>(d);
        f.opened = Now() - t0;
        HTREEITEM hkcr = dlg.FindChild(dlg.GetRootItem(), L"HKEY_CLASSES_ROOT");
        double t1 = Now();
        dlg.GetTree().Expand(hkcr, TVE_EXPAND);
        ::UpdateWindow(dlg.m_hWnd);
        f.expanded = Now() - t1;
        for (HTREEITEM c = dlg.GetTree().GetChildItem(hkcr); c; c = dlg.GetTree().GetNextSiblingItem(c))
            ++f.shown;
        f.openKeys = dlg.GetOpenKeyCount();
        d.EndDialog(IDCANCEL);
    });
    {
        dlgBrowseRegistry dlg(nullptr, nullptr, 0, &path);
        dlg.DoModal();
    }
    KvUi::SetPresenter(old);
    double p0 = Now();
    f.listed = PlainListing(false);
    f.plain = Now() - p0;
    p0 = Now();
    PlainListing(true);
    f.probe = Now() - p0;
    return f;
}

void Print(const char* title, const Figures& f) {
    std::printf("%s: %d subkeys listed, %d shown\n", title, f.listed, f.shown);
    std::printf("  dialog open:                 %8.3f s\n", f.opened);
    std::printf("  HKEY_CLASSES_ROOT expanded:  %8.3f s  (%.1fx the plain listing with probes)\n", f.expanded,
                f.probe > 0 ? f.expanded / f.probe : 0.0);
    std::printf("  plain listing:               %8.3f s\n", f.plain);
    std::printf("  plain listing with probes:   %8.3f s\n", f.probe);
    std::printf("  keys held open after the expansion: %d (one key expanded, a root key, which is not opened)\n",
                f.openKeys);
    std::printf("  open + expand %s one second\n", f.opened + f.expanded < 1.0 ? "under" : "OVER");
}

const wchar_t* const kSeedRoot = L"Software\\Classes";

void Seed(int count, bool remove) {
    HKEY classes = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSeedRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L".kvbench%05d", i);
        if (remove) {
            ::RegDeleteTreeW(classes, name);
            continue;
        }
        HKEY k = nullptr;
        if (::RegCreateKeyExW(classes, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS) {
            HKEY sub = nullptr;
            ::RegCreateKeyExW(k, L"ShellNew", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
            ::RegCloseKey(sub);
            ::RegCloseKey(k);
        }
    }
    ::RegCloseKey(classes);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::InitCommonControls();
    int count = argc > 1 ? _wtoi(argv[1]) : 10000;
    Print("registry picker over Wine's HKEY_CLASSES_ROOT", Measure());
    Seed(count, false);
    char title[96];
    std::snprintf(title, sizeof title, "with %d more classes", count);
    Print(title, Measure());
    Seed(count, true);
    return 0;
}
