// VrnPassportRpt64: the software passport plug-in. Exports the two data-source factories.
#include <windows.h>

#include "ReportHelpers.h"
#include "VrnPassportSource.h"

namespace {
HMODULE g_hModule = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" IKvReportDataSource* KvGetReportDataSource() {
    try {
        return new CVrnPassportSource;
    } catch (...) {
        return nullptr;
    }
}

extern "C" IKvReportDataSourceAsync* KvGetReportDataSourceAsync() {
    try {
        return new TReportDataSourceAsync<CVrnPassportSource>;
    } catch (...) {
        return nullptr;
    }
}
