// Small helpers of the report library's tests: scratch paths and UTF-8 files.
#pragma once

#include <windows.h>

#include <string>

#include "KvMsxml.h"
#include "KvProcAddress.h"
#include "KvReportDataSource.h"
#include "kvtest.h"

namespace KvReportTest {

using KvTest::Env;

inline std::wstring TmpPath(const std::wstring& name) { return Env(L"KV_TEST_TMP") + L"\\" + name; }

using KvTest::ReadBytes;

inline std::wstring FromUtf8(const std::string& s) {
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

using KvTest::Utf8;

inline std::wstring ReadUtf8(const std::wstring& path) { return FromUtf8(ReadBytes(path)); }

using KvTest::WriteBytes;

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// COM for the life of a test.
struct CComScope {
    CComScope() { CoInitialize(nullptr); }
    ~CComScope() { CoUninitialize(); }
};

// Whether a file is a well-formed XML document for MSXML's DOM (as the report builder loads it).
inline bool LoadsAsXml(const std::wstring& path) {
    KvXml::TComPtr<IXMLDOMDocument> doc;
    if (FAILED(CoCreateInstance(KvXml::CLSID_DOMDocumentVI, nullptr, CLSCTX_ALL, KvXml::IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(&doc))))
        return false;
    doc->put_async(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = doc->load(source, &loaded);
    VariantClear(&source);
    return hr == S_OK && loaded == VARIANT_TRUE;
}

// Text in the Cyrillic ANSI code page, as report files carry it.
inline std::string Cp1251(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(1251, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(1251, 0, text.c_str(), (int)text.size(), &s[0], n, nullptr, nullptr);
    return s;
}

// Builds the report file of a response with KvReportBuild of KvReportBuilder64.dll (beside the
// tests); the builder's result, or -1 when the DLL or its export is missing. `built` gets the
// report file's path.
inline int BuildReportFile(const std::wstring& response, std::wstring& built) {
    HMODULE builder = LoadLibraryW((Env(L"KV_BIN_DIR") + L"\\KvReportBuilder64.dll").c_str());
    if (!builder)
        return -1;
    auto build = KvGetProcAddress<int (*)(const wchar_t*, wchar_t*)>(builder, "KvReportBuild");
    int r = -1;
    wchar_t path[MAX_PATH] = {};
    if (build)
        r = build(response.c_str(), path);
    FreeLibrary(builder);
    built = path;
    return r;
}

// Counts completions and remembers the last result and the thread it came on.
class CCompletion : public IKvReportComplete {
public:
    CCompletion() : m_hDone(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CCompletion() { CloseHandle(m_hDone); }
    void OnComplete(int result) override {
        m_nResult = result;
        m_dwThread = GetCurrentThreadId();
        InterlockedIncrement(&m_nCalls);
        SetEvent(m_hDone);
    }
    bool Wait(DWORD ms) { return WaitForSingleObject(m_hDone, ms) == WAIT_OBJECT_0; }
    void Rearm() { ResetEvent(m_hDone); }

    volatile LONG m_nCalls = 0;
    int m_nResult = -1;
    DWORD m_dwThread = 0;

private:
    HANDLE m_hDone;
};

} // namespace KvReportTest
