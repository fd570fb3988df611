// KvReportBuilder64: turns a report response into the report file through the XSL template of
// its report type, and opens files with their registered application. The caller's thread must
// have initialised COM.
#pragma once

#ifdef KVREPORTBUILDER_EXPORTS
#define KVREPORTBUILDER_API __declspec(dllexport)
#else
#define KVREPORTBUILDER_API __declspec(dllimport)
#endif

extern "C" {

// Builds the report file named in the response's FormatOutput; on success copies its path into
// the caller's buffer of 260 characters and returns 0. Otherwise: the failing call's HRESULT,
// 1 when the response does not load or lacks the node or attribute needed, a Win32 error code
// when the report file cannot be created or written, the decimal error code an outside source
// wrote into its response, or 0x80070032 for a report type that has no template.
KVREPORTBUILDER_API int KvReportBuild(const wchar_t* responsePath, wchar_t* reportPath);

// Builds the given report file from an XML report document ("PassportSW" and "EventLog" only);
// opens it when bits 0 and 1 of the flags are both set.
KVREPORTBUILDER_API int KvReportRequest(const wchar_t* documentPath, const wchar_t* reportFile, unsigned flags);

// Opens a file with its registered application ("open"); returns 0.
KVREPORTBUILDER_API int KvReportShow(const wchar_t* filePath);
}
