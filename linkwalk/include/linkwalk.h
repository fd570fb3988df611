// linkwalk: the module dependency finder (linkwalk64.dll; i386 build linkwalk.dll).
//
// A caller builds a Depends::CDepps, calls AddModule(root, root, 1) and reads the result maps in
// place. The maps are standard-library objects shared across the module boundary: every module
// that uses this header must be built against the same shared C++ run-time (libstdc++-6.dll) with
// the same flags; the static asserts at the end pin the layout both sides rely on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>

#ifdef LINKWALK_BUILD
#define LINKWALK_API __declspec(dllexport)
#else
#define LINKWALK_API __declspec(dllimport)
#endif

namespace ClrMeta {
struct IMetaDataDispenser;
}

namespace Depends {

// Result map: upper-cased key (path or module name) to the path or origin as found.
typedef std::map<std::wstring, std::wstring> CModules;

struct CWalker;    // the walk itself, inside the library
struct CWalkState; // what one finder remembers of its searches, inside the library

template <class TString, class TModules>
class LINKWALK_API CDepends {
public:
    // Empty maps; initialises COM on this thread and opens the metadata reader.
    CDepends();
    CDepends(const CDepends& other);
    ~CDepends();
    CDepends& operator=(const CDepends& other);

    // Walks a module's imports, delay imports and .NET references recursively. The root call
    // passes the root's full path as module and origin and 1 as same-machine flag. Never throws;
    // every failure is silent (a module that cannot be read adds nothing).
    void AddModule(const TString& module, const TString& origin, int sameMachine);

    // Modules found: upper-cased full path -> full path as found (the root excluded).
    TModules m_found;
    // Names not found (and modules of another machine than the root's): upper-cased name -> origin.
    TModules m_missing;
    // Directory of the root module, without a trailing backslash.
    wchar_t m_appDirectory[MAX_PATH];
    // Machine of the root image (0x14C, 0x8664, ...); 0 until the first PE image is opened.
    unsigned short m_rootMachine;
    // Names already resolved: upper-cased name -> full path where it was found.
    TModules m_resolved;
    // The .NET metadata reader; null when it could not be made (then .NET references are skipped).
    ClrMeta::IMetaDataDispenser* m_dispenser;

private:
    unsigned long SearchPathEx(unsigned short machine, const wchar_t* directory, const wchar_t* name,
                               unsigned long length, wchar_t* buffer);
    unsigned long CopyFileName(const TString& path, wchar_t* buffer, unsigned long length);
    int IsExistFile(const wchar_t* path) const;
    TString PublicKeyTokenByteToString(const unsigned char* bytes, unsigned long count);

    // Whether this object's CoInitialize succeeded (then the destructor undoes it once).
    int m_comInitialized;
    // The root's directory in full: m_appDirectory holds at most 259 characters.
    TString m_appDirectoryFull;
    // The searches this finder has made (names not found, side-by-side folders, assembly-cache
    // probes); made on the first walk, not copied.
    CWalkState* m_walk;

    friend struct CWalker;
};

// The object callers create: exactly one finder and nothing else.
class LINKWALK_API CDepps : public CDepends<std::wstring, CModules> {
public:
    CDepps();
    CDepps(const CDepps& other);
    ~CDepps();
    CDepps& operator=(const CDepps& other);
};

namespace Common {
// Makes the process-wide search lists and the kernel32 wrapper of the library; returns 1.
LINKWALK_API int Attach();
// Destroys them (a later search makes them again); returns 1.
LINKWALK_API int Detach();
} // namespace Common

#ifdef __GNUC__
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
typedef CDepends<std::wstring, CModules> CDependsW;
#ifdef _WIN64
static_assert(sizeof(CModules) == 48, "result map layout");
static_assert(offsetof(CDependsW, m_missing) == 48, "finder layout");
static_assert(offsetof(CDependsW, m_appDirectory) == 96, "finder layout");
static_assert(offsetof(CDependsW, m_rootMachine) == 616, "finder layout");
static_assert(offsetof(CDependsW, m_resolved) == 624, "finder layout");
static_assert(offsetof(CDependsW, m_dispenser) == 672, "finder layout");
static_assert(sizeof(CDependsW) == 728, "finder layout");
#else
static_assert(sizeof(CModules) == 24, "result map layout");
static_assert(offsetof(CDependsW, m_missing) == 24, "finder layout");
static_assert(offsetof(CDependsW, m_appDirectory) == 48, "finder layout");
static_assert(offsetof(CDependsW, m_rootMachine) == 568, "finder layout");
static_assert(offsetof(CDependsW, m_resolved) == 572, "finder layout");
static_assert(offsetof(CDependsW, m_dispenser) == 596, "finder layout");
static_assert(sizeof(CDependsW) == 632, "finder layout");
#endif
static_assert(offsetof(CDependsW, m_found) == 0, "finder layout");
static_assert(sizeof(CDepps) == sizeof(CDependsW), "CDepps holds exactly one finder");
#ifdef __GNUC__
#pragma GCC diagnostic pop
#endif

} // namespace Depends
