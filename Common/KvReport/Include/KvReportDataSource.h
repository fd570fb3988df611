// The contract between a report host and a data-source plug-in: plain tables of virtual
// operations (no reference counting, no interface query, no virtual destructor), so that the slot
// order below is exactly the binary contract on both sides.
#pragma once

#include <windows.h>

// The abort test that a running source polls.
struct IKvReportAbort {
    virtual bool IsAborted() = 0; // slot 0
protected:
    ~IKvReportAbort() = default;
};

// The host's completion interface: called once per run with its result (0 done, 1 aborted,
// otherwise a failure HRESULT), on the worker thread, or on the thread that called Abort when
// the worker had to be terminated. The plug-in never releases it.
struct IKvReportComplete {
    virtual void OnComplete(int result) = 0; // slot 0
protected:
    ~IKvReportComplete() = default;
};

// A source that builds one response synchronously. Build: 0 done, 1 aborted, else an HRESULT.
struct IKvReportDataSource {
    virtual void Release() = 0; // slot 0
    virtual int Build(const wchar_t* requestPath, const wchar_t* responsePath,
                      IKvReportAbort* abort) = 0; // slot 1
protected:
    ~IKvReportDataSource() = default;
};

// A source that runs on a worker thread of its own.
struct IKvReportDataSourceAsync {
    virtual void Release() = 0; // slot 0
    virtual int Start(const wchar_t* requestPath, const wchar_t* responsePath,
                      IKvReportComplete* complete) = 0; // slot 1
    virtual int Abort() = 0;                            // slot 2
protected:
    ~IKvReportDataSourceAsync() = default;
};

// The two exports of every data-source plug-in (ordinals 1 and 2), looked up by name.
typedef IKvReportDataSource* (*PFN_KvGetReportDataSource)();
typedef IKvReportDataSourceAsync* (*PFN_KvGetReportDataSourceAsync)();

// Result codes of the run frame.
constexpr int KV_REPORT_OK = 0;
constexpr int KV_REPORT_ABORTED = 1;
constexpr int KV_REPORT_E_BUSY = (int)0xE6210001; // Start: the previous run still goes
