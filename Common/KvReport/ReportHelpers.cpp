// Value holders and the asynchronous run frame of the report library.
#include "ReportHelpers.h"

#include <objbase.h>

#include <algorithm>
#include <vector>

#include "VoRurod.h"
#include "Win32Objects.h"

CSaxValue::CSaxValue(const VARIANT& value) {
    if (value.vt == VT_BSTR && value.bstrVal)
        assign(value.bstrVal, SysStringLen(value.bstrVal));
}

CSaxValue::CSaxValue(int zero) {
    if (zero != 0)
        throw KvBase::CVoRurod(ERROR_INVALID_PARAMETER, L"ReportHelpers", __LINE__, L"CSaxValue::CSaxValue");
}

namespace {

const wchar_t kReplacement = 0xFFFD;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The visible form of text[i] when it cannot stand as it is (0: it can). `names` also shows tab,
// line feed, carriage return and DEL. A surrogate pair stands as it is.
wchar_t VisibleForm(const wchar_t* text, size_t length, size_t i, bool names) {
    const wchar_t c = text[i];
    if (c < 0x20) {
        if (!names && (c == L'\t' || c == L'\n' || c == L'\r'))
            return 0;
        return wchar_t(0x2400 + c);
    }
    if (c == 0x7F)
        return names ? wchar_t(0x2421) : 0;
    if (c == 0xFFFE || c == 0xFFFF)
        return kReplacement;
    if (IsHighSurrogate(c))
        return i + 1 < length && IsLowSurrogate(text[i + 1]) ? 0 : kReplacement;
    if (IsLowSurrogate(c))
        return i > 0 && IsHighSurrogate(text[i - 1]) ? 0 : kReplacement;
    return 0;
}

std::wstring Visible(const wchar_t* text, size_t length, bool names) {
    std::wstring out(text, length);
    for (size_t i = 0; i < length; ++i)
        if (wchar_t v = VisibleForm(text, length, i, names))
            out[i] = v;
    return out;
}

} // namespace

bool NeedsXmlCarriableText(const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        if ((c < 0x20 || (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE) && VisibleForm(text, length, i, false))
            return true;
    }
    return false;
}

std::wstring XmlCarriableText(const wchar_t* text, size_t length) { return Visible(text, length, false); }

std::wstring VisibleName(const std::wstring& name) { return Visible(name.data(), name.size(), true); }

void RaiseEmptySmartReportPtr() {
    throw KvBase::CVoRurod(E_POINTER, L"ReportHelpers", __LINE__,
                           L"CSmartReportPtr<class IKvReportDataSource>::operator ->");
}

namespace CReportOutputFiles {
namespace {

struct SOpenFile {
    DWORD threadId;
    HANDLE file;
};

KvBase::CWin32CriticalSection& Lock() {
    static KvBase::CWin32CriticalSection cs;
    return cs;
}

std::vector<SOpenFile>& Files() {
    static std::vector<SOpenFile> files;
    return files;
}

} // namespace

void Register(HANDLE file) {
    KvBase::CWin32Lock lock(Lock());
    Files().push_back({GetCurrentThreadId(), file});
}

void Unregister(HANDLE file) {
    KvBase::CWin32Lock lock(Lock());
    auto& files = Files();
    files.erase(std::remove_if(files.begin(), files.end(), [file](const SOpenFile& f) { return f.file == file; }),
                files.end());
}

int CloseForThread(DWORD threadId) {
    // The thread was terminated: should it have died inside Register or Unregister, the lock
    // stays taken for ever. Wait for it a while, then leave the files rather than hang.
    int tries = 0;
    while (!TryEnterCriticalSection(Lock().Get())) {
        if (++tries == 100)
            return 0;
        Sleep(10);
    }
    std::vector<HANDLE> toClose;
    {
        auto& files = Files();
        for (auto it = files.begin(); it != files.end();) {
            if (it->threadId == threadId) {
                toClose.push_back(it->file);
                it = files.erase(it);
            } else {
                ++it;
            }
        }
    }
    Lock().Leave();
    for (HANDLE h : toClose)
        CloseHandle(h);
    return (int)toClose.size();
}

} // namespace CReportOutputFiles

CKvReportDataSourceAsyncImpl::CReportAbort::CReportAbort() : m_hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CKvReportDataSourceAsyncImpl::CReportAbort::~CReportAbort() {
    if (m_hEvent)
        CloseHandle(m_hEvent);
}

bool CKvReportDataSourceAsyncImpl::CReportAbort::IsAborted() {
    return m_hEvent && WaitForSingleObject(m_hEvent, 0) == WAIT_OBJECT_0;
}

void CKvReportDataSourceAsyncImpl::CReportAbort::Set() {
    if (m_hEvent)
        SetEvent(m_hEvent);
}

void CKvReportDataSourceAsyncImpl::CReportAbort::Reset() {
    if (m_hEvent)
        ResetEvent(m_hEvent);
}

CKvReportDataSourceAsyncImpl::CKvReportDataSourceAsyncImpl(IKvReportDataSource* source) : m_spSource(source) {}

CKvReportDataSourceAsyncImpl::~CKvReportDataSourceAsyncImpl() {
    if (m_hThread)
        CloseHandle(m_hThread);
}

int CKvReportDataSourceAsyncImpl::Start(const wchar_t* requestPath, const wchar_t* responsePath,
                                        IKvReportComplete* complete) {
    if (!requestPath || !responsePath || !complete)
        return E_INVALIDARG;
    if (m_hThread) {
        if (WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0)
            return KV_REPORT_E_BUSY;
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, &WorkerProc, this, CREATE_SUSPENDED, &threadId);
    if (!thread)
        return HRESULT_FROM_WIN32(GetLastError());
    m_hThread = thread;
    m_dwThreadId = threadId;
    m_strResponse = responsePath;
    m_strRequest = requestPath;
    m_pComplete = complete;
    m_nCompleted = 0;
    m_abort.Reset();
    ResumeThread(thread);
    return 0;
}

DWORD WINAPI CKvReportDataSourceAsyncImpl::WorkerProc(void* param) {
    auto* self = static_cast<CKvReportDataSourceAsyncImpl*>(param);
    CoInitialize(nullptr);
    int result;
    // Build turns its own failures into its result; anything that still escapes must not end
    // the process from a thread's start routine.
    try {
        result = self->m_spSource->Build(self->m_strRequest.c_str(), self->m_strResponse.c_str(), &self->m_abort);
    } catch (const KvBase::CVoRurod& e) {
        result = e.GetCode();
    } catch (...) {
        result = E_FAIL;
    }
    self->Complete(result);
    CoUninitialize();
    return (DWORD)result;
}

void CKvReportDataSourceAsyncImpl::Complete(int result) {
    if (InterlockedExchange(&m_nCompleted, 1) == 0 && m_pComplete)
        m_pComplete->OnComplete(result);
}

void CKvReportDataSourceAsyncImpl::TerminateWorker() {
    TerminateThread(m_hThread, 0);
    WaitForSingleObject(m_hThread, INFINITE);
    // The terminated source could not close its response file: close it here, so that the file
    // is not held open for the life of the process. What was written stays as it is; the run is
    // reported as aborted and the host does not read it (it deletes it as it would any other).
    CReportOutputFiles::CloseForThread(m_dwThreadId);
}

int CKvReportDataSourceAsyncImpl::Abort() {
    if (!m_hThread)
        return 0;
    m_abort.Set();
    if (WaitForSingleObject(m_hThread, kAbortWaitMs) != WAIT_OBJECT_0) {
        TerminateWorker();
        Complete(KV_REPORT_ABORTED);
    }
    return 0;
}

void CKvReportDataSourceAsyncImpl::Release() {
    if (m_hThread && WaitForSingleObject(m_hThread, kReleaseWaitMs) != WAIT_OBJECT_0) {
        // The caller is going away: no completion follows.
        InterlockedExchange(&m_nCompleted, 1);
        TerminateWorker();
    }
    delete this;
}
