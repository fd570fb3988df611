// Templates of Windows' own resources: the module paths that Windows loads at start-up (boot files,
// drivers, services, logon and shell programs, modules named in the registry) with every module they
// import, the file groups of the start-up kind of the task "Операционная система MS Windows", and the
// task's registry groups.
//
// Everything here runs on the worker thread of the Windows-templates operation and shows nothing.
#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

class CIChNode;
class CIChResorce;
class CIChRGroup;
class CIChTask;
typedef std::list<CIChNode*> CIChNodeList;

// A set of modules: full paths in lower case, ordinal order.
typedef std::set<std::wstring> CModuleSet;

// ---- Registry texts -----------------------------------------------------------------------------
// The strings a registry value holds, read by its declared type and never past its data: REG_SZ and
// REG_EXPAND_SZ give one text (up to the first zero), REG_MULTI_SZ each non-empty string. Any other
// type, a value that cannot be read or one larger than 64 KB gives false and no text.
bool ReadRegStrings(HKEY key, const wchar_t* valueName, std::vector<std::wstring>& texts);
// The first text of ReadRegStrings; false when there is none.
bool ReadRegText(HKEY key, const wchar_t* valueName, std::wstring& text);

// ---- Module paths -------------------------------------------------------------------------------
// A command line or module reference in normal form: lower case, quotes and arguments removed,
// "%SystemRoot%", "%windir%", "system32\", "\SystemRoot\" and "\??\" turned into full paths, other
// environment variables expanded, a bare name looked up on the search path. An unquoted text with
// blanks is resolved as Windows starts a program: the shortest part up to a blank that names an
// existing file (also with ".exe" added when it has no extension) is the program.
std::wstring NormalizeModulePath(const std::wstring& raw);
// The module a command line runs: as NormalizeModulePath, but for rundll32 (by name or full path)
// the library named in its first argument (up to the ',' of the entry name), normalised.
std::wstring CommandLineModule(const std::wstring& raw);

// The path of the module a service runs in normal form: a "\??\" path as it stands, the ServiceDll
// of a service that runs inside svchost, the default driver path
// "%SystemRoot%\system32\drivers\<name>.sys" without a binary path. Empty for a null configuration.
std::wstring GetServiceBinaryPath(const wchar_t* serviceName, const QUERY_SERVICE_CONFIGW* config);

// ---- Module collection --------------------------------------------------------------------------
// Collects modules with what they import. Each module is walked once by a dependency finder of its
// own; a module met again takes the result of its first walk.
class CModuleCollector {
public:
    // Puts the module and everything it imports into the set (a non-empty lower-case path).
    void AddModule(const std::wstring& path, CModuleSet& set);
    // The modules the finder reaches from the module, the module itself left out.
    const CModuleSet& Dependencies(const std::wstring& path);
    size_t WalkCount() const { return m_walks; }
    // The modules walked so far, in path order.
    std::vector<std::wstring> WalkedModules() const;

private:
    std::map<std::wstring, CModuleSet> m_walked;
    size_t m_walks = 0;
};

// The modules one dependency finder reaches from the module (its own walk, no cache).
CModuleSet CollectModuleDependencies(const std::wstring& path);

// Clears the set and fills it with the binaries of the services of the type mask whose start type is
// one of the given ones, each with its dependencies.
void CollectServiceBinaries(DWORD typeMask, const std::set<DWORD>& startTypes, CModuleSet& modules,
                            CModuleCollector& collector);
// Adds the modules the values of one registry key name (Run keys, KnownDLLs, WOW\boot), each with
// its dependencies; folder entries such as "%SystemRoot%\system32" are passed over.
void CollectRegistryListedModules(HKEY root, const wchar_t* subKey, CModuleSet& modules, CModuleCollector& collector);
// Adds the "DllName" modules of the Winlogon notification packages with their dependencies.
void CollectWinlogonNotifyModules(CModuleSet& modules, CModuleCollector& collector);

// ---- Start-up file templates --------------------------------------------------------------------
// One run of the start-up templates: the modules already placed in a group, the walk cache, the
// local-disk test (a drive letter -> nonzero when it is a local hard disk).
class CStartupTemplates {
public:
    typedef std::function<int(wchar_t)> LocalDiskTest;

    explicit CStartupTemplates(LocalDiskTest isLocalHardDisk = LocalDiskTest());
    virtual ~CStartupTemplates() = default;

    // Builds the three file groups under the task; 1 done, 0 without a task.
    int Create(CIChTask* task);

    void CollectBootFiles(CIChRGroup* group);
    void CollectDriverModules(CIChRGroup* group);
    void CollectSystemModules(CIChRGroup* group);
    void CollectServiceModules(CIChRGroup* group);
    void CollectShellModules(CIChRGroup* group);
    // Makes a resource of every module of the set not placed yet and links it under the group.
    void AddNewModulesToGroup(CIChRGroup* group, const CModuleSet& modules);
    // A file resource of an existing file on a local hard disk; null otherwise (also for a UNC path).
    CIChResorce* MakeModuleResource(const std::wstring& path);

    const CModuleSet& Placed() const { return m_placed; }
    CModuleCollector& Collector() { return m_collector; }

protected:
    // The path names an existing file (not a folder).
    virtual bool ModuleFileExists(const std::wstring& path) const;

private:
    void AddFile(const std::wstring& folder, const std::wstring& name, CModuleSet& modules);
    std::wstring BootDrive() const;

    LocalDiskTest m_isLocal;
    CModuleCollector m_collector;
    CModuleSet m_placed;
};

// The three start-up groups under the task with the local-disk test (empty: the system's); 1 done,
// 0 no task.
int CreateStartupFileTemplates(CIChTask* task,
                               CStartupTemplates::LocalDiskTest isLocalHardDisk = CStartupTemplates::LocalDiskTest());

// The names of the start-up groups, in their order under the task.
extern const wchar_t* const StartupGroupNames[3];

// Frees a node tree that is not in a model: the root and every node linked below it, each once.
void DeleteNodeTree(CIChNode* root);

// ---- The task "Операционная система MS Windows" -------------------------------------------------
class CIChDataModel;
class CIChJob;

extern const wchar_t* const WindowsTaskName;            // "Операционная система MS Windows"
extern const wchar_t* const ServicesGroupName;          // "Службы Windows"
extern const wchar_t* const ImportantRegistryGroupName; // "Важные элементы системного реестра"

// The fifteen services of the Kavrel host suite: the services group never takes their values.
const std::vector<std::wstring>& HostSuiteServiceNames();

// The kinds of the task, as the setup dialog gives them.
enum { WindowsTaskStartup = 0, WindowsTaskDefault = 1 };

struct SWindowsTaskOptions {
    int variant = WindowsTaskDefault;
    std::wstring exeExtensions; // the setting ExeExtensions (".exe; .dll; ...")
    int is64 = 0;               // 64-bit Windows: the SysWOW64 folder too
    std::vector<std::wstring> excludedServices = HostSuiteServiceNames(); // whose values the services group leaves out
    CStartupTemplates::LocalDiskTest isLocalHardDisk;                     // empty: the system's test
};

// The task with its file groups of the kind and its two registry groups, outside any model.
CIChTask* BuildWindowsTask(const SWindowsTaskOptions& options);
// The two registry groups under the task; 0 without a task. A service value whose full path holds
// one of the excluded names (exact text) is left out of the services group.
int AddRegistryTemplates(CIChTask* task, const std::vector<std::wstring>& excludedServices = HostSuiteServiceNames());
// The small registry steps: a key (when it exists); a key with its own values; a key with the values
// of one name (token form, any case) at any depth; a value (when it exists). Nothing without a
// group or path.
void AddRegKeyResource(CIChRGroup* group, const wchar_t* keyPath);
void AddRegKeyWithValues(CIChRGroup* group, const wchar_t* keyPath);
void AddRegNamedValues(CIChRGroup* group, const wchar_t* keyPath, const wchar_t* valueName);
void AddRegValueResource(CIChRGroup* group, const wchar_t* valuePath);
// The search masks of the executable extensions: each "." made "*.", split at ';', ',' and ' ',
// empty and repeated masks dropped.
std::vector<std::wstring> ExecutableMasks(const std::wstring& extensions);
// The model's first job (in list order) of SubType 1 or 2; null when there is none.
CIChJob* FirstBoardJob(CIChDataModel& model);

// ---- The Windows-templates operation ------------------------------------------------------------
// What one run builds and what it works with. The generator of the chosen products' tasks is the
// caller's (Windows Installer's data); it adds its tasks to the model and appends them to the list.
struct SOsTemplatesRun {
    CIChDataModel* model = nullptr;
    int addWindowsTask = 0;
    int clearModel = 0;       // the model was cleared first: no merging with its nodes
    int hasProducts = 0;      // programs were chosen
    SWindowsTaskOptions task; // variant, extensions, 64-bit, excluded services, disks
    std::function<int(CIChNodeList* output)> generateProducts;
    // Switched off while the run lasts and given back their values however it ends (the closing
    // message of the generators, the setting AddDepends); null when there are none.
    int* showResults = nullptr;
    int* addDepends = nullptr;
    // Set to 1 when templates were made (a store will exist once the model is saved).
    int* storeExisted = nullptr;
};

// A run that builds only the Windows task of the kind into a model cleared first, with the given
// local-disk test (empty: the system's).
SOsTemplatesRun WindowsTaskRun(CIChDataModel* model, int variant,
                               CStartupTemplates::LocalDiskTest isLocalHardDisk = CStartupTemplates::LocalDiskTest());

// Builds the task "Операционная система MS Windows" into the model (merged with a task of that name
// unless the model was cleared first) and the tasks of the chosen programs, and links them under
// the model's first job of SubType 1 or 2. Always 1; an exception of the product generator leaves
// after the switches have their values back.
int CreateOsTemplates(SOsTemplatesRun& run);
