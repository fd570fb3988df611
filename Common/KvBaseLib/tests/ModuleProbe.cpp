// A module that carries the base library, loaded and unloaded by the tests to watch the life of
// its module-wide critical section.
#include "Win32Objects.h"

namespace {

typedef void(WINAPI* PFN_UNLOAD_REPORT)(BOOL bSectionDeleted);

PFN_UNLOAD_REPORT g_pfnUnloadReport = nullptr;
CRITICAL_SECTION* g_pSection = nullptr;
BOOL g_bReadyForGlobals = FALSE;

// Built before the library's module section and destroyed after it: tells the loader of this
// module whether the section was deleted when the module went away.
struct CUnloadWitness {
    ~CUnloadWitness() {
        if (g_pfnUnloadReport && g_pSection)
            g_pfnUnloadReport(g_pSection->DebugInfo == nullptr);
    }
};
CUnloadWitness g_witness __attribute__((init_priority(101)));

// An ordinary global object of the module: the section is usable when it is built.
struct CModuleGlobal {
    CModuleGlobal() {
        KvBase::CWin32CriticalSection& cs = KvBase::GetModuleCriticalSection();
        g_pSection = cs.Get();
        if (g_pSection->DebugInfo != nullptr) {
            cs.Enter();
            g_bReadyForGlobals = TRUE;
            cs.Leave();
        }
    }
};
CModuleGlobal g_global;

} // namespace

extern "C" __declspec(dllexport) CRITICAL_SECTION* KvProbeModuleSection() { return g_pSection; }

extern "C" __declspec(dllexport) BOOL KvProbeReadyForGlobals() { return g_bReadyForGlobals; }

extern "C" __declspec(dllexport) void KvProbeOnUnload(PFN_UNLOAD_REPORT pfn) { g_pfnUnloadReport = pfn; }
