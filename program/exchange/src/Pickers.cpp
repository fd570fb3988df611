// The folder and file pickers, which accept only places on the computer's local hard disks.
#include "KvExchangeUtils.h"

#include <commdlg.h>
#include <shlobj.h>

#include <kvui/presenter.h>

#include <vector>

namespace {

wchar_t g_rememberedFolder[MAX_PATH];

// Caption of the application's message boxes: its title string, resource 128.
std::wstring Caption() {
    wchar_t text[256];
    int n = ::LoadStringW(::GetModuleHandleW(nullptr), 128, text, 256);
    return n > 0 ? std::wstring(text, n) : std::wstring(L"Zidezedaza rizodorar AZ");
}

// Refuses a place that is not on a local hard disk, with the message the user sees; true when local.
bool CheckLocal(HWND owner, const std::wstring& path) {
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

} // namespace

// Both pickers ask through the presenter (tests script the answers); a place that is not on a
// local hard disk is refused with its message.
int SelectLocalFolder(HWND owner, const wchar_t* title, std::wstring& path) {
    if (!owner)
        owner = ::GetActiveWindow();
    if (!g_rememberedFolder[0])
        ::GetCurrentDirectoryW(MAX_PATH, g_rememberedFolder);
    if (!path.empty())
        lstrcpynW(g_rememberedFolder, path.c_str(), MAX_PATH);
    std::wstring folder = g_rememberedFolder;
    if (!KvUi::GetPresenter()->PickFolder(owner, title ? title : L"Выбор каталога", CSIDL_DRIVES, folder))
        return 0;
    lstrcpynW(g_rememberedFolder, folder.c_str(), MAX_PATH);
    if (!CheckLocal(owner, folder))
        return 0;
    path = folder;
    return 1;
}

int SelectFiles(HWND owner, const wchar_t* title, const wchar_t* initialName, int multiple,
                std::list<std::wstring>& files) {
    files.clear();
    static const wchar_t filter[] = L"Все файлы (*.*)\0*.*\0";
    KvUi::FilePick request;
    request.multiple = multiple != 0;
    request.title = title ? title : L"Выбор файла";
    request.filter.assign(filter, sizeof(filter) / sizeof(filter[0]) - 1);
    request.initialPath = initialName ? initialName : L"";
    request.showHidden = true;   // system files are what the program controls
    request.linksAsFiles = true; // a shortcut is controlled as the file it is
    std::vector<std::wstring> paths;
    if (!KvUi::GetPresenter()->PickFiles(owner, request, paths) || paths.empty())
        return 0;
    if (!CheckLocal(owner, paths.front()))
        return 0;
    files.assign(paths.begin(), paths.end());
    return 1;
}
