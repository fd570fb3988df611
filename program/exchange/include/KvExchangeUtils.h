// File-system and registry utilities of the main program: the token form of registry value paths,
// expansion of folders and registry keys into resources, the local-disk tests, final-path helpers,
// the Russian elapsed-time phrase, the folder and file pickers, and the file finder that sees the
// real system folder from a 32-bit process.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <functional>
#include <list>
#include <string>

#include "Kernel32Wrapper.h"
#include "KvRegTokens.h"
#include "SingletonHolder.h"

class CIChNode;
typedef std::list<CIChNode*> CIChNodeList;

// ---- Registry value paths ----------------------------------------------------------------------
// Token form of a value name: the unnamed value becomes RegDefaultValueToken; in any other name
// each backslash becomes RegBackslashToken.
std::wstring RegValueNameToToken(const wchar_t* name);
// Splits a value path at its last backslash. The default-value token (any case) gives an empty
// name and isDefault true; otherwise the tokens turn back into backslashes. False without a backslash.
bool SplitRegValuePath(const std::wstring& path, std::wstring& keyPath, std::wstring& valueName, bool& isDefault);
// Display form: the default token shown as "(Default)"; only without it, each backslash token as "\".
std::wstring RegValuePathForDisplay(const std::wstring& path);

// ---- Resources from folders and registry keys --------------------------------------------------
// Appends the files (and with addDirs the directories) of a folder; mask null means "*.*".
// A directory reached again through a junction or link is not entered twice.
void GetDirResources(const wchar_t* dirPath, CIChNodeList* list, int addDirs, int recursive, const wchar_t* mask);
// Appends a folder and, with recursive set, every folder below it (no files).
void GetOneDirResources(const wchar_t* dirPath, CIChNodeList* list, int recursive);
// Appends the values (and with addKeys the keys) of a registry key given by its full root name.
void GetRegKeyResources(const wchar_t* keyPath, CIChNodeList* list, int addKeys, int recursive);
// Decides whether a value becomes a resource: the path of its key and its name as stored.
typedef std::function<bool(const std::wstring& keyPath, const wchar_t* valueName)> RegValueFilter;
// Appends the values of a key (with recursive set, of every key below it too) that the filter takes;
// values it refuses are never made into resources. No keys.
void GetRegKeyValueResources(const wchar_t* keyPath, CIChNodeList* list, int recursive, const RegValueFilter& filter);

// ---- Time ---------------------------------------------------------------------------------------
// Appends "за ... час ... минут ... секунд" with Russian endings to the buffer (room for about 60
// more characters is needed).
void FormatElapsedTime(int seconds, wchar_t* text);

// ---- Disks and paths ----------------------------------------------------------------------------
// A fixed disk on an internal bus. The answer comes from the system unless a test has put its
// own answer in place (SetLocalHardDiskAnswer).
int IsLocalHardDisk(wchar_t drive);
// Puts another answer of IsLocalHardDisk in place (an empty function: the system's again) and
// returns the one that was in place. For tests, whose prefix drives the system does not count.
std::function<int(wchar_t)> SetLocalHardDiskAnswer(std::function<int(wchar_t)> answer);
int GetDriveBusType(wchar_t drive);
int GetVolumeDeviceNumber(const std::wstring& volumePath, STORAGE_DEVICE_NUMBER* number);
int GetPhysicalDriveBusType(unsigned disk);
int IsPhysicalDriveLocal(unsigned disk);
// The drive letter on which an existing file or folder really lies; 0 on a network share; the
// path's first character when it cannot be resolved.
wchar_t GetFinalPathDrive(const std::wstring& path);
// "X:" or "\\?\<DOS device name>" of an NT device name; 1 on success.
int DosPathFromDeviceName(const wchar_t* deviceName, std::wstring& dosPath);

// ---- Pickers ------------------------------------------------------------------------------------
// Folder picker limited to folders on local hard disks; 1 when the user chose one.
int SelectLocalFolder(HWND owner, const wchar_t* title, std::wstring& path);
// File picker; fills the list with full paths; 1 when it is not empty.
int SelectFiles(HWND owner, const wchar_t* title, const wchar_t* initialName, int multiple,
                std::list<std::wstring>& files);

// ---- WOW64 --------------------------------------------------------------------------------------
// Switches file-system redirection off for its lifetime in a 32-bit process on 64-bit Windows.
class Wow64RedirectionGuard {
public:
    explicit Wow64RedirectionGuard(Kernel32::CKernel32Wrapper* wrapper = nullptr);
    ~Wow64RedirectionGuard();
    Wow64RedirectionGuard(const Wow64RedirectionGuard&) = delete;
    Wow64RedirectionGuard& operator=(const Wow64RedirectionGuard&) = delete;

private:
    int m_disabled;
    PVOID m_oldValue;
    Kernel32::CKernel32Wrapper* m_wrapper;
};

// Lists a folder the way the class library's finder does: FindFile, then FindNextFile before each
// entry (it returns 0 with the last entry current). Each search step runs with redirection off.
class CFileFindEx {
public:
    CFileFindEx() = default;
    ~CFileFindEx() { Close(); }
    CFileFindEx(const CFileFindEx&) = delete;
    CFileFindEx& operator=(const CFileFindEx&) = delete;

    BOOL FindFile(const wchar_t* pattern);
    BOOL FindNextFile();
    void Close();

    std::wstring GetFileName() const { return m_current.cFileName; }
    std::wstring GetFilePath() const { return m_root + m_current.cFileName; }
    BOOL IsDirectory() const { return (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    BOOL IsDots() const;
    DWORD GetAttributes() const { return m_current.dwFileAttributes; }

private:
    HANDLE m_find = INVALID_HANDLE_VALUE;
    std::wstring m_root;
    WIN32_FIND_DATAW m_next = {};
    WIN32_FIND_DATAW m_current = {};
    bool m_hasNext = false;
};
