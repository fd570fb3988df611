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
    CMD_DIR_FILES = 0,     // "Файлы по каталогу": files under the root that match the file masks
    CMD_DIRS_WITH_FILES,   // "Каталоги с файлами": matching directories with their matching files
    CMD_KEY_VALUES,        // "Переменные по ключу": values under the root key that match the value masks
    CMD_KEYS_WITH_VALUES,  // "Ключи с переменными": matching keys with their matching values
    CMD_MSI_PRODUCTS       // "Установленные программы (MSI)"
};

// Kinds of a collected object (ScsResource::nType).
enum EScsType : int {
    SCS_FILE = 1,
    SCS_DIRECTORY = 2,
    SCS_REG_KEY = 3,
    SCS_REG_VALUE = 4
};

// Separators of the command buffer: fields within a record, and records.
inline constexpr wchar_t CmdFieldSeparator = L'\xF71C';
inline constexpr wchar_t CmdRecordSeparator = L'\xF71D';

// One command. Callers create, read and change the fields directly. A default-constructed command
// has the values that a command read from a buffer starts with.
struct SOneCmd {
    std::wstring strName;    // may be empty; the main program keeps names unique in a sequence
    int nType = 0;           // ECmdType
    int bExclude = 0;        // nonzero: the command's objects are removed from the outputs
    int bRecursive = 0;      // nonzero: subdirectories or subkeys are searched too
    int bDependencies = 0;   // nonzero: dependent modules of collected executables are added
    std::wstring strRoot;    // directory, or key path beginning with a root key's name
    std::wstring strDirMasks = L"*";   // directory or key masks, separated by any of ";, "
    std::wstring strFileMasks = L"*";  // file or value masks, in the same form
};

// One object produced by running a sequence.
struct ScsResource {
    std::wstring strPath;
    int nType = 0;           // EScsType

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
    // Fill the environment map, the drive and share maps and the extension list from the system.
    void InitEnvVariables();
    void InitInternalMaps();
    void InitExtensionList();

    std::list<SOneCmd> m_lstCmd;                          // the commands in order
    std::map<std::wstring, std::uint64_t> m_mapResSeen;   // upper-cased resource path -> number
    std::map<std::wstring, std::wstring> m_mapEnvVars;    // variable's value -> "%NAME%"
    std::map<std::wstring, std::wstring> m_mapDrives;     // "X:" -> network path or substituted target
    std::map<std::wstring, std::wstring> m_mapShares;     // "\\host\share" -> local path
    std::list<std::wstring> m_lstExtensions;              // ".exe", ".dll", ...

    friend struct CCmdSequenceLayout;
};

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
static_assert(offsetof(SOneCmd, strName) == 0 && offsetof(SOneCmd, nType) == 32 &&
              offsetof(SOneCmd, bExclude) == 36 && offsetof(SOneCmd, bRecursive) == 40 &&
              offsetof(SOneCmd, bDependencies) == 44 && offsetof(SOneCmd, strRoot) == 48 &&
              offsetof(SOneCmd, strDirMasks) == 80 && offsetof(SOneCmd, strFileMasks) == 112 &&
              sizeof(SOneCmd) == 144, "SOneCmd layout");
static_assert(offsetof(ScsResource, strPath) == 0 && offsetof(ScsResource, nType) == 32 &&
              sizeof(ScsResource) == 40, "ScsResource layout");
static_assert(CCmdSequenceLayout::cmdList == 8 && CCmdSequenceLayout::resSeen == 32 &&
              CCmdSequenceLayout::envVars == 80 && CCmdSequenceLayout::drives == 128 &&
              CCmdSequenceLayout::shares == 176 && CCmdSequenceLayout::extensions == 224 &&
              sizeof(CCmdSequence) == 248, "CCmdSequence layout");
#endif
#pragma GCC diagnostic pop

} // namespace KvCmdSequence
