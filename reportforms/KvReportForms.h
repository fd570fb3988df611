// KvReportForms64: the report wizards. Each show-form function runs its wizard modally on the
// calling thread (a user-interface thread) and, when the user confirms it, writes the report
// request XML to the given path. Result: 0 when the request was written, 1 when the user
// cancelled the wizard (nothing is written), otherwise the HRESULT of the failure.
// Strings are null-terminated UTF-16. The exports have C linkage and these ordinals:
// 1 KvShowFormEventLog, 2 KvShowFormPassportSW, 3 KvShowFormResourceWS, 4 KvShowFormVarno.
#pragma once

#ifdef KVREPORTFORMS_BUILD
#define KVREPORTFORMS_API extern "C" __declspec(dllexport)
#else
#define KVREPORTFORMS_API extern "C" __declspec(dllimport)
#endif

// The event-log report: selectionPresent is non-zero when the caller's list has selected
// records, recordCount the number of records the caller holds (the end of the range).
KVREPORTFORMS_API int KvShowFormEventLog(int reserved, const wchar_t* taskId, const wchar_t* requestPath,
                                         const wchar_t* computerName, int selectionPresent, int recordCount);
// The software passport of the workstation.
KVREPORTFORMS_API int KvShowFormPassportSW(int reserved, const wchar_t* taskId, const wchar_t* requestPath,
                                           const wchar_t* computerName);
// The workstation resources under the board's control.
KVREPORTFORMS_API int KvShowFormResourceWS(int reserved, const wchar_t* taskId, const wchar_t* requestPath,
                                           const wchar_t* computerName);
// The users' access to the board.
KVREPORTFORMS_API int KvShowFormVarno(const wchar_t* taskId, const wchar_t* requestPath);

// The same functions as pointers, for callers that bind them at run time.
typedef int (*PFN_KvShowFormEventLog)(int, const wchar_t*, const wchar_t*, const wchar_t*, int, int);
typedef int (*PFN_KvShowFormPassportSW)(int, const wchar_t*, const wchar_t*, const wchar_t*);
typedef int (*PFN_KvShowFormResourceWS)(int, const wchar_t*, const wchar_t*, const wchar_t*);
typedef int (*PFN_KvShowFormVarno)(const wchar_t*, const wchar_t*);
