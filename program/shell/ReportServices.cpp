// The report services: the program's own (the report forms and the report builder) unless
// others are put in their place.
#include "ReportServices.h"

#include "KvReportBuilder.h"
#ifdef KV_HAVE_REPORTFORMS
#include "KvReportForms.h" // the report forms, imported by name
#endif

namespace {

#ifndef KV_HAVE_REPORTFORMS
// Without the report forms in this build the commands cannot ask for a request.
int NoForms(int, const wchar_t*, const wchar_t*, const wchar_t*) { return (int)0x8007007E; }
#endif

const SReportServices& ProgramServices() {
    static const SReportServices services = {
#ifdef KV_HAVE_REPORTFORMS
        &KvShowFormPassportSW, &KvShowFormResourceWS,
#else
        &NoForms, &NoForms,
#endif
        &KvReportBuild, &KvReportShow, std::wstring()};
    return services;
}

const SReportServices* g_pServices = nullptr;

} // namespace

const SReportServices& ReportServices() { return g_pServices ? *g_pServices : ProgramServices(); }

const SReportServices* SetReportServices(const SReportServices* services) {
    const SReportServices* old = g_pServices;
    g_pServices = services;
    return old;
}
