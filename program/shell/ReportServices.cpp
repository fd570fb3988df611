// The report services: the program's own (the report forms and the report builder) unless
// others are put in their place.
#include "ReportServices.h"

#include "KvReportBuilder.h"
#include "KvReportForms.h" // the report forms, imported by name

namespace {

const SReportServices& ProgramServices() {
    static const SReportServices services = {&KvShowFormPassportSW, &KvShowFormResourceWS, &KvReportBuild,
                                             &KvReportShow, std::wstring()};
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
