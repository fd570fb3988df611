// The module-wide critical section lives exactly as long as the module that carries the library.
#include "KvProcAddress.h"
#include <gtest/gtest.h>

#include "Win32Objects.h"

namespace {

int g_nUnloadReports = 0;
BOOL g_bDeletedOnUnload = FALSE;

void WINAPI OnProbeUnload(BOOL bDeleted) {
    ++g_nUnloadReports;
    g_bDeletedOnUnload = bDeleted;
}

TEST(ModuleLock, CreatedOnLoadAndDeletedOnUnload) {
    HMODULE hProbe = LoadLibraryW(L"kvbase_module_probe.dll");
    ASSERT_NE(hProbe, nullptr) << GetLastError();
    auto pfnSection = KvGetProcAddress<CRITICAL_SECTION* (*)()>(hProbe, "KvProbeModuleSection");
    auto pfnReady = KvGetProcAddress<BOOL (*)()>(hProbe, "KvProbeReadyForGlobals");
    auto pfnOnUnload = KvGetProcAddress<void (*)(void(WINAPI*)(BOOL))>(hProbe, "KvProbeOnUnload");
    ASSERT_TRUE(pfnSection && pfnReady && pfnOnUnload);

    // Initialised before the module's own global objects were built, and usable now.
    EXPECT_TRUE(pfnReady());
    CRITICAL_SECTION* pSection = pfnSection();
    ASSERT_NE(pSection, nullptr);
    EXPECT_NE(pSection->DebugInfo, nullptr);
    EXPECT_TRUE(TryEnterCriticalSection(pSection));
    LeaveCriticalSection(pSection);

    // It is not this executable's section: each module has its own.
    EXPECT_NE(pSection, KvBase::GetModuleCriticalSection().Get());

    pfnOnUnload(&OnProbeUnload);
    ASSERT_TRUE(FreeLibrary(hProbe));
    EXPECT_EQ(g_nUnloadReports, 1);
    EXPECT_TRUE(g_bDeletedOnUnload);
}

} // namespace
