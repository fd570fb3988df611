// The report services: the calls outside the program that the report commands and window make.
#pragma once

#include <string>

// The outside calls of the report commands and window. The program binds them to the report
// forms and the report builder; tests may put others in their place.
struct SReportServices {
    int (*showPassport)(int reserved, const wchar_t* taskId, const wchar_t* requestPath, const wchar_t* computer);
    int (*showResources)(int reserved, const wchar_t* taskId, const wchar_t* requestPath, const wchar_t* computer);
    int (*build)(const wchar_t* responsePath, wchar_t* reportPath);
    int (*show)(const wchar_t* filePath);
    // The folder the plug-ins are loaded from; empty: the program's own folder.
    std::wstring pluginFolder;
};
const SReportServices& ReportServices();
// Replaces the services (null restores the program's own); returns the previous ones.
const SReportServices* SetReportServices(const SReportServices* services);
