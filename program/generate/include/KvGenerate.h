// Tasks generated from installed programs: from Windows Installer's data (a task per product with
// its files and registry groups) and from the shortcuts of the common Start menu (a task per
// shortcut with the target and its dependent modules), the choice dialog, the progress dialog and
// the list of installed components that the task-generator commands start with.
//
// The generators run on the thread of their caller (the UI thread of a command, or the worker of
// the Windows-templates operation) against the model and main window that the host names.
#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <string>
#include <utility>

#include "ExeExtensions.h"
#include "IChDataModel.h"
#include "KvProductInfo.h"

// A shortcut of the Start menu: its name ("<folder> - <file name>") and its existing target.
typedef std::list<std::pair<std::wstring, std::wstring>> CShortcutList;

// What a generator needs of the application and its main window. The shell fills it from theApp
// and CMainFrame (MakeGenerateHost); tests fill it themselves.
struct SGenerateHost {
    HWND hMainWnd = nullptr;         // input off while a generator runs; parent of its progress dialog
    CIChDataModel* pModel = nullptr; // the model the tasks go into
    int bAddDepends = 1;             // setting AddDepends
    int bUpdatePresent = 1;          // setting UpdatePresent: merge with nodes of equal name
    std::wstring strExeExtensions = KV_DEFAULT_EXE_EXTENSIONS;
    int bShowResults = 1;    // the closing message is shown
    int bIs64BitWindows = 0; // the application's 64-bit flag
    std::wstring strUserSid; // the current user's SID text (HKEY_CURRENT_USER paths)
    // Whether a path names an existing file (not a directory); the default asks the file system.
    std::function<int(const wchar_t*)> IsFileExist;
};

// Whether a path names an existing file (not a directory); the program's one test of it.
int IsExistingFile(const wchar_t* path);

// SplitExtensions and HasListedExtension: ExeExtensions.h (the model's).

// A registry path of Windows Installer ("0n:\..." or "2n:\...", n 0-3) as a resource: the root's
// full name from the path's first three characters ("HKEY_CLASSES_ROOT" as
// "HKEY_LOCAL_MACHINE\SOFTWARE\Classes", "HKEY_CURRENT_USER" as "HKEY_USERS\<SID>"), checked in
// the registry view the code means (0: 32-bit, 2: 64-bit). A key gives SubType 3, else an
// existing value SubType 2; the path is the one the 64-bit view sees (a redirected 32-bit key
// under its real place). False when the path is of another form or nothing exists there.
bool ResolveRegistryComponent(const std::wstring& msiPath, const std::wstring& userSid, std::wstring& resourcePath,
                              int& subType);

// Generates a task per product of the list (the list's order) into the host's model. Returns 0
// when a list is missing or the product list is empty (nothing shown), else 1, also after an
// abort; the output list receives the tasks that reached the model. An exception (of the
// installer enumeration) leaves after the main window has its input back and the progress dialog
// is gone; the task being built is freed.
int GenerateTasksFromMsi(const SGenerateHost& host, std::list<CInstalledProductInfo>* products, int ignoreRegistry,
                         int markExecutable, int pathsToVariables, CIChNodeList* output);

// Lists the shortcuts of the common Programs folder (and its subfolders) with their existing
// targets, advertised Windows Installer shortcuts resolved without installing anything. 0, or
// the failing call's HRESULT when the folder or the shell link object cannot be had (the list is
// then left as it was).
HRESULT GetStartMenuShortcuts(const SGenerateHost& host, CShortcutList& shortcuts);
// Same, over a folder given (tests; the common Programs folder by the function above).
HRESULT GetShortcutsOfFolder(const SGenerateHost& host, const std::wstring& folder, CShortcutList& shortcuts);

// The target's resource (SubType 0) and one per module that the dependency finder finds for it.
void GetModuleDependResources(const std::pair<std::wstring, std::wstring>& shortcut, CIChNodeList& resources);

// Generates a task per shortcut with its files group. 0 when a list is missing or the shortcut
// list is empty, else 1. Leaves the AddDepends setting as it was.
int GenerateTasksFromShortcuts(const SGenerateHost& host, CShortcutList* shortcuts, int markExecutable,
                               int pathsToVariables, CIChNodeList* output);

// Fills the product list and the shortcut list (background operation 5). 0 on success, 1 after
// an error, which has been shown in a message box owned by the owner window.
int GetInstalledComponentsList(const SGenerateHost& host, HWND owner, std::list<CInstalledProductInfo>& products,
                               CShortcutList& shortcuts);
