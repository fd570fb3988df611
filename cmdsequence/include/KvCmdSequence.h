// KvCmdSequence64: a task's scenario as an ordered list of commands, its text form (the command
// buffer) and the engine that runs it into lists of files, directories and registry objects.
//
// Objects of CCmdSequence and its command list cross the module boundary: the main program
// constructs the class inside its task nodes and edits the list in place. Both sides therefore use
// this one declaration and the one shared C++ run-time (libstdc++-6.dll); the static asserts at the
// end of this header check on both sides that the layout is the one the library was built with.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "KvRegTokens.h"

#ifdef KVCMDSEQUENCE_BUILD
#define KVCMDSEQUENCE_API __declspec(dllexport)
#else
#define KVCMDSEQUENCE_API __declspec(dllimport)
#endif

namespace KvCmdSequence {

// Command kinds (SOneCmd::nType).
enum ECmdType : int {
    CMD_DIR_FILES = 0,   // "Файлы по каталогу": files under the root that match the file masks
    CMD_DIRS_WITH_FILES, // "Каталоги с файлами": matching directories with their matching files
    CMD_KEY_VALUES,      // "Переменные по ключу": values under the root key that match the value masks
    CMD_KEYS_WITH_VALUES, // "Ключи с переменными": matching keys with their matching values
    CMD_MSI_PRODUCTS      // "Установленные программы (MSI)"
};

// Kinds of a collected object (ScsResource::nType).
enum EScsType : int { SCS_FILE = 1, SCS_DIRECTORY = 2, SCS_REG_KEY = 3, SCS_REG_VALUE = 4 };

// Separators of the command buffer: fields within a record, and records.
inline constexpr wchar_t CmdFieldSeparator = L'\xF71C';
inline constexpr wchar_t CmdRecordSeparator = L'\xF71D';

// One command. Callers create, read and change the fields directly. A default-constructed command
// has the values that a command read from a buffer starts with.
struct SOneCmd {
    std::wstring strName;             // may be empty; the main program keeps names unique in a sequence
    int nType = 0;                    // ECmdType
    int bExclude = 0;                 // nonzero: the command's objects are removed from the outputs
    int bRecursive = 0;               // nonzero: subdirectories or subkeys are searched too
    int bDependencies = 0;            // nonzero: dependent modules of collected executables are added
    std::wstring strRoot;             // directory, or key path beginning with a root key's name
    std::wstring strDirMasks = L"*";  // directory or key masks, separated by any of ";, "
    std::wstring strFileMasks = L"*"; // file or value masks, in the same form
};

// One object produced by running a sequence.
struct ScsResource {
    std::wstring strPath;
    int nType = 0; // EScsType

    ScsResource() = default;
    ScsResource(std::wstring path, int type) : strPath(std::move(path)), nType(type) {}
};

class KVCMDSEQUENCE_API CCmdSequence {
public:
    CCmdSequence();
    CCmdSequence(const CCmdSequence& other);
    CCmdSequence& operator=(const CCmdSequence& other);
    virtual ~CCmdSequence();

    // The command list itself: callers iterate, append, change and erase through it.
    std::list<SOneCmd>* GetCmdList();
    // 1 when the list holds no command, else 0.
    int IsEmpty() const;
    // The first command whose name equals `name` exactly (case-sensitive); null for none or null.
    SOneCmd* FindCmdByName(const wchar_t* name);
    // Empties the command list and the map of seen resources; the system maps stay.
    void ClearAll();
    // Replaces the command list by the commands of a command buffer; 0 for a null buffer, else 1.
    int LoadBuff(const wchar_t* buffer);
    // Replaces `out` by the command buffer of the command list; always 1.
    int SaveBuff(std::wstring& out) const;

protected:
    // Runs the command list into the three lists (appending to what they hold) and leaves them
    // sorted by path and unique: files and directories, registry keys and values, and the
    // executables with the modules they depend on. 1 when every command ran, 0 when a command of
    // an unknown kind stopped the run (the lists are then left unsorted).
    int PassCmdList(std::list<ScsResource>& outFiles, std::list<ScsResource>& outRegistry,
                    std::list<ScsResource>& outModules) const;
    // A path that begins with a variable's value begins with the variable's name afterwards
    // ("%TEMP%\A.TXT"); the rest is upper-cased. 1 when replaced, else 0 and the path stays.
    int Path2Var(std::wstring& path) const;
    // The reverse: a leading "%NAME%" becomes the variable's value. 1 when replaced, else 0.
    int Var2Path(std::wstring& path) const;
    // Rewrites a path on a redirected or substituted drive, or on a share of this computer, to the
    // local path, and registers it as seen. 1 when the path was seen before (its number is stored
    // through `number` when not null); 0 when new or `resource` is null.
    int FindResInMap(ScsResource* resource, std::uint64_t* number);

    // Fill the environment map, the drive and share maps and the extension list from the system.
    void InitEnvVariables();
    void InitInternalMaps();
    void InitExtensionList();
    // The three above in order, the system's part taken from the reading of the current
    // machine-view scope when there is one (CMachineViewScope).
    void InitFromMachineView();

    std::list<SOneCmd> m_lstCmd;                        // the commands in order
    std::map<std::wstring, std::uint64_t> m_mapResSeen; // upper-cased resource path -> number
    std::map<std::wstring, std::wstring> m_mapEnvVars;  // variable's value -> "%NAME%"
    std::map<std::wstring, std::wstring> m_mapDrives;   // "X:" -> network path or substituted target
    std::map<std::wstring, std::wstring> m_mapShares;   // "\\host\share" -> local path
    std::list<std::wstring> m_lstExtensions;            // ".exe", ".dll", ...

    friend struct CCmdSequenceLayout;
};

// While at least one object of this class lives (on any thread), new sequences take the
// environment, drive and share maps and the extension list from one reading of the system, made
// by the first construction inside the scope, instead of reading the system each: a load or an
// import that makes thousands of tasks reads the machine once. Outside every scope each
// construction reads the system. Scopes nest; the reading is dropped when the last one ends.
class KVCMDSEQUENCE_API CMachineViewScope {
public:
    CMachineViewScope();
    ~CMachineViewScope();
    CMachineViewScope(const CMachineViewScope&) = delete;
    CMachineViewScope& operator=(const CMachineViewScope&) = delete;
};

// Collect the file-system objects under `root`: files matching `fileMask` and, when `addDirs` is
// nonzero, directories matching `dirMask` (the root itself first when `out` is empty); with
// `recursive` it descends into the subdirectories that match `dirMask`. Masks follow the platform's
// wildcard rules. Appends in depth-first order; a directory reached again through a link on the
// current walk is listed but not entered again.
KVCMDSEQUENCE_API void GetDiskObjectsList(const wchar_t* root, const wchar_t* dirMask, const wchar_t* fileMask,
                                          int addDirs, int recursive, std::list<ScsResource>* out);
// Collect the registry objects under the key path `root`: values matching `valueMask` and, when
// `addKeys` is nonzero, subkeys matching `keyMask` (the root itself first when `out` is empty);
// with `recursive` it descends into every subkey. Masks are matched by IsPassMask.
KVCMDSEQUENCE_API void GetRegestryObjectsList(const wchar_t* root, const wchar_t* keyMask, const wchar_t* valueMask,
                                              int addKeys, int recursive, std::list<ScsResource>* out);
// Installed programs: collects nothing.
KVCMDSEQUENCE_API void GetMSIObjectsList(const wchar_t* product, int flags, std::list<ScsResource>* files,
                                         std::list<ScsResource>* registry);
// 1 when `name` matches `mask`, where only a leading and a trailing "*" are special (a star inside
// the mask is dropped) and the comparison ignores case.
KVCMDSEQUENCE_API int IsPassMask(const wchar_t* mask, const wchar_t* name);
// 1 when a directory search for `path` finds an entry (files, directories, matching patterns).
KVCMDSEQUENCE_API int IsFileExist(const wchar_t* path);
// 1 when the key exists, opens for reading, lies in no skipped area and is not virtual.
KVCMDSEQUENCE_API int IsRegKeyExist(const wchar_t* keyPath);
// 1 when the value exists in a key that opens for reading, lies in no skipped area and is not
// virtual. The value's name is written with RegDefaultValueToken and RegBackslashToken.
KVCMDSEQUENCE_API int IsRegValueExist(const wchar_t* valuePath);
// 1 when the open key counts as virtual by the native key-flags query, else 0.
KVCMDSEQUENCE_API int IsRegKeyVirtual(HKEY key);
// Reads the value's data into `buffer` (`length` characters). 1 on success, and then the buffer
// always holds a terminated text; 0 when the value cannot be read or does not fit with its
// terminating zero (the buffer then holds an empty text).
KVCMDSEQUENCE_API int GetRegValueStr(const wchar_t* valuePath, wchar_t* buffer, DWORD length);
// Replaces the "#"-delimited registry value references in `path` (a buffer of at least 260
// characters) by the values' texts and removes trailing slashes; the result is cut to 259
// characters. 0 for a null path, else 1.
KVCMDSEQUENCE_API int FixPath(wchar_t* path);

// The layout shared by the library and its callers. A change here is a change of the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CCmdSequenceLayout {
    static constexpr std::size_t cmdList = offsetof(CCmdSequence, m_lstCmd);
    static constexpr std::size_t resSeen = offsetof(CCmdSequence, m_mapResSeen);
    static constexpr std::size_t envVars = offsetof(CCmdSequence, m_mapEnvVars);
    static constexpr std::size_t drives = offsetof(CCmdSequence, m_mapDrives);
    static constexpr std::size_t shares = offsetof(CCmdSequence, m_mapShares);
    static constexpr std::size_t extensions = offsetof(CCmdSequence, m_lstExtensions);
};
#ifdef _WIN64
static_assert(sizeof(std::wstring) == 32 && sizeof(std::list<SOneCmd>) == 24 &&
                  sizeof(std::map<std::wstring, std::wstring>) == 48,
              "the shared C++ run-time's containers changed size");
static_assert(offsetof(SOneCmd, strName) == 0 && offsetof(SOneCmd, nType) == 32 && offsetof(SOneCmd, bExclude) == 36 &&
                  offsetof(SOneCmd, bRecursive) == 40 && offsetof(SOneCmd, bDependencies) == 44 &&
                  offsetof(SOneCmd, strRoot) == 48 && offsetof(SOneCmd, strDirMasks) == 80 &&
                  offsetof(SOneCmd, strFileMasks) == 112 && sizeof(SOneCmd) == 144,
              "SOneCmd layout");
static_assert(offsetof(ScsResource, strPath) == 0 && offsetof(ScsResource, nType) == 32 && sizeof(ScsResource) == 40,
              "ScsResource layout");
static_assert(CCmdSequenceLayout::cmdList == 8 && CCmdSequenceLayout::resSeen == 32 &&
                  CCmdSequenceLayout::envVars == 80 && CCmdSequenceLayout::drives == 128 &&
                  CCmdSequenceLayout::shares == 176 && CCmdSequenceLayout::extensions == 224 &&
                  sizeof(CCmdSequence) == 248,
              "CCmdSequence layout");
#endif
#pragma GCC diagnostic pop

} // namespace KvCmdSequence
