// VrnResourceRpt64 (i386: VrnResourceRpt): the workstation resource plug-in. Exports the two
// data-source factories.
#include <windows.h>
#include <comdef.h>

#include <valkit.h>

#include "ReportHelpers.h"
#include "VrnResourceSource.h"

namespace {
HMODULE g_hModule = nullptr;
}

HMODULE ResourcePluginModule() { return g_hModule; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hModule = instance;
        DisableThreadLibraryCalls(instance);
        // COM errors raised by the COM support classes arrive as the value library's EGeneric.
        _set_com_error_handler(throw_EGeneric_from_com_error);
    }
    return TRUE;
}

extern "C" IKvReportDataSource* KvGetReportDataSource() {
    try {
        return new CVrnResourceSource;
    } catch (...) {
        return nullptr;
    }
}

extern "C" IKvReportDataSourceAsync* KvGetReportDataSourceAsync() {
    try {
        return new TReportDataSourceAsync<CVrnResourceSource>;
    } catch (...) {
        return nullptr;
    }
}
