// The folder and file pickers, which accept only places on the computer's local hard disks.
#include "KvExchangeUtils.h"

#include <commdlg.h>
#include <shlobj.h>

#include <kvui/presenter.h>

#include <vector>

namespace {

wchar_t g_rememberedFolder[MAX_PATH];

// Caption of the application's message boxes: its title string, resource 128.
std::wstring Caption()
{
    wchar_t text[256];
    int n = ::LoadStringW(::GetModuleHandleW(nullptr), 128, text, 256);
    return n > 0 ? std::wstring(text, n) : std::wstring(L"Zidezedaza rizodorar AZ");
}

void CenterWindowOnScreen(HWND wnd)
{
    RECT rc;
    if (!::GetWindowRect(wnd, &rc))
        return;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left)) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top)) / 2;
    ::SetWindowPos(wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CALLBACK BrowseFolderCallback(HWND wnd, UINT msg, LPARAM, LPARAM)
{
    if (msg == BFFM_INITIALIZED) {
        CenterWindowOnScreen(wnd);
        ::SendMessageW(wnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(g_rememberedFolder));
    }
    return 0;
}

// Refuses a place that is not on a local hard disk, with the message the user sees; true when local.
bool CheckLocal(HWND owner, const std::wstring& path)
{
    const wchar_t drive = GetFinalPathDrive(path);
    if (IsLocalHardDisk(drive))
        return true;
    std::wstring text = L"Ошибка выбора каталога.";
    switch (GetDriveBusType(drive)) {
    case 0:
    case 4:
    case 7:
    case 9:
    case 15:
        text += L"\nНевозможен контроль ресурсов, расположенных не на локальных жестких дисках компьютера.";
        break;
    default:
        break;
    }
    KvUi::ShowMessage(owner, text, Caption().c_str(), MB_OK | MB_ICONEXCLAMATION);
    return false;
}

std::wstring TrimTrailingBackslashes(std::wstring s)
{
    while (!s.empty() && s.back() == L'\\')
        s.pop_back();
    return s;
}

} // namespace

int SelectLocalFolder(HWND owner, const wchar_t* title, std::wstring& path)
{
    if (!owner)
        owner = ::GetActiveWindow();
    if (!g_rememberedFolder[0])
        ::GetCurrentDirectoryW(MAX_PATH, g_rememberedFolder);
    if (!path.empty())
        lstrcpynW(g_rememberedFolder, path.c_str(), MAX_PATH);
    IMalloc* malloc = nullptr;
    if (FAILED(::SHGetMalloc(&malloc)) || !malloc)
        return 0;
    LPITEMIDLIST root = nullptr;
    ::SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root);
    BROWSEINFOW bi = {};
    bi.hwndOwner = owner;
    bi.pidlRoot = root;
    bi.pszDisplayName = g_rememberedFolder;
    bi.lpszTitle = title ? title : L"Выбор каталога";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_SHAREABLE;
    bi.lpfn = BrowseFolderCallback;
    LPITEMIDLIST chosen = ::SHBrowseForFolderW(&bi);
    int result = 0;
    if (chosen) {
        wchar_t folder[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(chosen, folder)) {
            lstrcpynW(g_rememberedFolder, folder, MAX_PATH);
            if (CheckLocal(owner, folder)) {
                path = folder;
                result = 1;
            }
        }
        malloc->Free(chosen);
    }
    if (root)
        malloc->Free(root);
    malloc->Release();
    return result;
}

int SelectFiles(HWND owner, const wchar_t* title, const wchar_t* initialName, int multiple,
                std::list<std::wstring>& files)
{
    files.clear();
    std::vector<wchar_t> buffer(multiple ? 26000 : MAX_PATH, L'\0');
    if (initialName)
        lstrcpynW(buffer.data(), initialName, static_cast<int>(buffer.size()));
    static const wchar_t filter[] = L"Все файлы (*.*)\0*.*\0";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = title ? title : L"Выбор файла";
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER |
                OFN_NODEREFERENCELINKS | OFN_FORCESHOWHIDDEN | (multiple ? OFN_ALLOWMULTISELECT : 0);
    if (!::GetOpenFileNameW(&ofn))
        return 0;
    const std::wstring first = buffer.data();
    const wchar_t* next = buffer.data() + first.size() + 1;
    if (!CheckLocal(owner, TrimTrailingBackslashes(first) + L"\\" + next))
        return 0;
    if (multiple && *next) {
        const std::wstring folder = TrimTrailingBackslashes(first);
        for (; *next; next += lstrlenW(next) + 1)
            files.push_back(folder + L"\\" + next);
    } else {
        files.push_back(first);
    }
    return files.empty() ? 0 : 1;
}
