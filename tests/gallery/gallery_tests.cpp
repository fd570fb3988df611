// The gallery: every dialog template in the resources of the program's modules is opened on the
// display, laid out, and saved as a PNG picture in the gallery folder (build/gallery/), one per
// dialog, so a reviewer sees every window without running the program. New dialogs join it by
// being in a module's resources; a template that cannot be opened fails the test.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>

#include "kvgallery.h"

#include <kvui/progress.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using KvGallery::SaveWindow;

std::wstring Env(const wchar_t* name) {
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(name, buf, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? buf : L"";
}

// The modules whose dialogs are shown (those built in this tree).
std::vector<std::wstring> GalleryModules() {
    std::vector<std::wstring> out;
    std::wstring bin = Env(L"KV_BIN_DIR");
    for (const wchar_t* name : {L"VICheck64.exe", L"KvReportForms64.dll"}) {
        std::wstring path = bin + L"\\" + name;
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            out.push_back(path);
    }
    return out;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* names = reinterpret_cast<std::vector<std::wstring>*>(param);
    names->push_back(IS_INTRESOURCE(name) ? std::to_wstring((UINT)(UINT_PTR)name) : std::wstring(name));
    return TRUE;
}

INT_PTR CALLBACK GalleryDlgProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// The style word of a dialog template (DLGTEMPLATE or DLGTEMPLATEEX).
DWORD TemplateStyle(const void* tpl) {
    const WORD* w = static_cast<const WORD*>(tpl);
    if (w[1] == 0xFFFF)
        return *reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(tpl) + 12);
    return static_cast<const DLGTEMPLATE*>(tpl)->style;
}

void Pump(DWORD ms) {
    DWORD end = ::GetTickCount() + ms;
    MSG m;
    do {
        while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        ::Sleep(10);
    } while ((LONG)(end - ::GetTickCount()) > 0);
}

TEST(Gallery, EveryDialogOfEveryModuleIsOpenedAndSaved) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS |
                                                 ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
    ::InitCommonControlsEx(&icc);
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    const std::wstring folder = Env(L"KV_GALLERY_DIR");
    ASSERT_FALSE(folder.empty());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::vector<std::wstring> modules = GalleryModules();
    ASSERT_FALSE(modules.empty()) << "VICheck64.exe is not in the bin folder";
    int saved = 0;
    for (const std::wstring& path : modules) {
        HMODULE mod = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, mod) << path;
        std::wstring base = path.substr(path.find_last_of(L'\\') + 1);
        base = base.substr(0, base.find_last_of(L'.'));
        std::vector<std::wstring> names;
        ::EnumResourceNamesW(mod, RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&names));
        EXPECT_FALSE(names.empty()) << path;
        for (const std::wstring& name : names) {
            SCOPED_TRACE(base + L" dialog " + name);
            bool numeric = !name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos;
            LPCWSTR resName = numeric ? MAKEINTRESOURCEW(std::stoul(name)) : name.c_str();
            HRSRC res = ::FindResourceW(mod, resName, RT_DIALOG);
            ASSERT_NE(nullptr, res);
            const void* tpl = ::LockResource(::LoadResource(mod, res));
            ASSERT_NE(nullptr, tpl);
            // A child template (a property page) is shown inside a plain frame of its size.
            HWND host = nullptr;
            bool child = (TemplateStyle(tpl) & WS_CHILD) != 0;
            if (child)
                host = ::CreateWindowExW(WS_EX_DLGMODALFRAME, WC_DIALOG, name.c_str(), WS_POPUP | WS_CAPTION, 20, 20,
                                         100, 100, nullptr, nullptr, nullptr, nullptr);
            HWND dlg = ::CreateDialogIndirectParamW(mod, static_cast<const DLGTEMPLATE*>(tpl), host, GalleryDlgProc, 0);
            EXPECT_NE(nullptr, dlg) << "the template could not be opened";
            if (!dlg) {
                if (host)
                    ::DestroyWindow(host);
                continue;
            }
            HWND top = dlg;
            if (child) {
                RECT rc;
                ::GetWindowRect(dlg, &rc);
                RECT frame = {0, 0, rc.right - rc.left, rc.bottom - rc.top};
                ::AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION, FALSE, WS_EX_DLGMODALFRAME);
                ::SetWindowPos(host, HWND_TOPMOST, 20, 20, frame.right - frame.left, frame.bottom - frame.top,
                               SWP_SHOWWINDOW);
                ::SetWindowPos(dlg, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
                top = host;
            } else {
                ::SetWindowPos(dlg, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
            }
            ::SetForegroundWindow(top);
            ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Pump(300);
            std::wstring png = folder + L"\\" + base + L"-" + name + L".png";
            ::DeleteFileW(png.c_str());
            HRESULT hr = SaveWindow(top, png);
            EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
            WIN32_FILE_ATTRIBUTE_DATA fa = {};
            EXPECT_TRUE(::GetFileAttributesExW(png.c_str(), GetFileExInfoStandard, &fa) && fa.nFileSizeLow > 100)
                << "no picture";
            if (SUCCEEDED(hr))
                ++saved;
            ::DestroyWindow(top);
            Pump(20);
        }
        ::FreeLibrary(mod);
    }
    EXPECT_GT(saved, 0);
    ::CoUninitialize();
}

// The layer's progress window is built in memory, not from a template: it is shown here while a
// work reports a long path and a position, and saved as "kvui-progress.png".
TEST(Gallery, TheProgressWindowWhileItWorks) {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    const std::wstring folder = Env(L"KV_GALLERY_DIR");
    ASSERT_FALSE(folder.empty());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring png = folder + L"\\kvui-progress.png";
    ::DeleteFileW(png.c_str());
    HRESULT hr = E_FAIL;
    KvUi::CProgressDialog dlg(nullptr, L"Расчет контрольных сумм");
    dlg.Run([&](KvUi::CProgressSink& sink) {
        ::CoInitialize(nullptr); // the picture is written from the worker's thread
        sink.SetText(L"C:\\Program Files\\Meridal\\Varno\\Client\\Templates\\Рабочая станция\\"
                     L"Системные файлы\\drivers\\etc\\hosts");
        sink.SetPos(40, 100);
        HWND w = dlg.m_hWnd;
        HWND bar = ::GetDlgItem(w, KvUi::IDC_PROGRESS_BAR);
        for (int i = 0; i < 200 && ::SendMessageW(bar, PBM_GETPOS, 0, 0) != 400; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::SetWindowPos(w, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        std::this_thread::sleep_for(std::chrono::milliseconds(400)); // painted by the window's thread
        hr = SaveWindow(w, png);
        ::CoUninitialize();
    });
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    EXPECT_TRUE(::GetFileAttributesExW(png.c_str(), GetFileExInfoStandard, &fa) && fa.nFileSizeLow > 100);
    ::CoUninitialize();
}

} // namespace
