// The folder and file pickers, which accept only places on the computer's local hard disks.
#include "KvExchangeUtils.h"

#include <commdlg.h>
#include <shlobj.h>

#include <kvui/core.h>
#include <kvui/presenter.h>

#include "resource.h"

#include <vector>

namespace {

wchar_t g_rememberedFolder[MAX_PATH];

// Caption of the application's message boxes: its title string.
std::wstring Caption() { return KvUi::LoadStr(IDR_MAINFRAME); }

// Refuses a place that is not on a local hard disk, with the message the user sees; true when local.
bool CheckLocal(HWND owner, const std::wstring& path) {
    const wchar_t drive = GetFinalPathDrive(path);
    if (IsLocalHardDisk(drive))
        return true;
    std::wstring text = KvUi::LoadStr(IDS_PICK_FOLDER_ERROR);
    switch (GetDriveBusType(drive)) {
    case 0:
    case 4:
    case 7:
    case 9:
    case 15:
        text += KvUi::LoadStr(IDS_PICK_NOT_LOCAL);
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
    if (!KvUi::GetPresenter()->PickFolder(owner, title ? title : KvUi::LoadStr(IDS_PICK_FOLDER_TITLE), CSIDL_DRIVES,
                                          folder))
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
    KvUi::FilePick request;
    request.multiple = multiple != 0;
    request.title = title ? title : KvUi::LoadStr(IDS_PICK_FILE_TITLE);
    request.filter = KvUi::LoadStr(IDS_PICK_ALL_FILES_FILTER);
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
