// Value holders of the report library and the asynchronous run frame that every data-source
// plug-in compiles in (source file ReportHelpers).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <string>

#include "KvReportDataSource.h"

// One value of the report library: an attribute value, an element's text or a serialised subtree.
class CSaxValue : public std::wstring {
public:
    CSaxValue() = default;
    CSaxValue(const wchar_t* text) : std::wstring(text ? text : L"") {}
    CSaxValue(const std::wstring& text) : std::wstring(text) {}
    CSaxValue(const wchar_t* text, size_t length) : std::wstring(text ? text : L"", text ? length : 0) {}
    // A BSTR gives its text; any other type the empty value.
    explicit CSaxValue(const VARIANT& value);
    // Only zero may be given (the empty value); anything else raises error 87.
    CSaxValue(int zero);
};

// The attributes of one element, written in ascending ordinal order of their names.
class ReportAttributes : public std::map<std::wstring, CSaxValue> {
public:
    ReportAttributes() = default;
    ReportAttributes(const wchar_t* name, const CSaxValue& value) { Add(name, value); }
    // Adds an attribute unless one of that name is there; returns the list, so that adds chain.
    ReportAttributes& Add(const wchar_t* name, const CSaxValue& value) {
        emplace(name, value);
        return *this;
    }
};

// Text as a report can carry and show it. XML 1.0 has no form at all for most control
// characters (not even a character reference), and a response holding one is not well-formed:
// the whole report would be lost to one character.
//  - XmlCarriableText: what XML cannot carry is made visible (C0 controls other than tab, line
//    feed and carriage return as their control pictures U+2400-U+241F; unpaired surrogates and
//    U+FFFE/U+FFFF as U+FFFD); everything else stays as it is. The writer applies it to every
//    value.
//  - VisibleName: for names (paths, object names), in which no control character is meant to
//    pass unseen: every C0 control (tab and line breaks included) and DEL (U+2421) as its control
//    picture, the rest as XmlCarriableText. A name without such characters is returned unchanged.
std::wstring XmlCarriableText(const wchar_t* text, size_t length);
std::wstring VisibleName(const std::wstring& name);
// Whether a text needs XmlCarriableText (a quick scan; most texts do not).
bool NeedsXmlCarriableText(const wchar_t* text, size_t length);

// Owns one synchronous data source; releasing empties it through the source's own Release.
template <class T>
class CSmartReportPtr {
public:
    CSmartReportPtr() = default;
    explicit CSmartReportPtr(T* p) : m_p(p) {}
    CSmartReportPtr(const CSmartReportPtr&) = delete;
    CSmartReportPtr& operator=(const CSmartReportPtr&) = delete;
    ~CSmartReportPtr() { Release(); }
    void Reset(T* p) {
        Release();
        m_p = p;
    }
    void Release() {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    T* operator->() const;
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// Raises the library's error for access through an empty CSmartReportPtr.
[[noreturn]] void RaiseEmptySmartReportPtr();

template <class T>
T* CSmartReportPtr<T>::operator->() const {
    if (!m_p)
        RaiseEmptySmartReportPtr();
    return m_p;
}

// The files that data sources have open for writing, per thread. The writer registers the
// response file it opens; when the run frame has to terminate a worker, it closes what that
// worker left open, so that nothing stays locked (the unfinished response itself is left as written).
namespace CReportOutputFiles {
void Register(HANDLE file);
void Unregister(HANDLE file);
// Closes every file registered by the thread; returns how many there were.
int CloseForThread(DWORD threadId);
} // namespace CReportOutputFiles

// The asynchronous face of a synchronous data source: one worker thread per run, an abort event
// the source polls, the completion call, and the time limits after which the worker is ended.
class CKvReportDataSourceAsyncImpl : public IKvReportDataSourceAsync {
public:
    static constexpr DWORD kAbortWaitMs = 10000;
    static constexpr DWORD kReleaseWaitMs = 3000;

    // The abort object of the frame: one manual-reset event.
    class CReportAbort : public IKvReportAbort {
    public:
        CReportAbort();
        CReportAbort(const CReportAbort&) = delete;
        CReportAbort& operator=(const CReportAbort&) = delete;
        ~CReportAbort();
        bool IsAborted() override;
        void Set();
        void Reset();

    private:
        HANDLE m_hEvent;
    };

    void Release() override;
    int Start(const wchar_t* requestPath, const wchar_t* responsePath, IKvReportComplete* complete) override;
    int Abort() override;
    virtual ~CKvReportDataSourceAsyncImpl(); // slot 3

protected:
    explicit CKvReportDataSourceAsyncImpl(IKvReportDataSource* source);

private:
    static DWORD WINAPI WorkerProc(void* param);
    // Calls the completion once per run, whichever thread comes first.
    void Complete(int result);
    // Ends a worker that did not stop in time and cleans up after it.
    void TerminateWorker();

    HANDLE m_hThread = nullptr;
    IKvReportComplete* m_pComplete = nullptr;
    std::wstring m_strRequest;
    std::wstring m_strResponse;
    CReportAbort m_abort;
    CSmartReportPtr<IKvReportDataSource> m_spSource;
    DWORD m_dwThreadId = 0;
    volatile LONG m_nCompleted = 0;
};

// Binds a concrete source to the frame.
template <class Source>
class TReportDataSourceAsync : public CKvReportDataSourceAsyncImpl {
public:
    TReportDataSourceAsync() : CKvReportDataSourceAsyncImpl(new Source) {}
};
