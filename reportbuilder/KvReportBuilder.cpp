// KvReportBuilder64: report response → report file through the XSL template of its type.
#define KVREPORTBUILDER_EXPORTS
#include "KvReportBuilder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>

#include "BuilderTrace.h"
#include "KvMsxml.h"
#include "RtfText.h"

using KvXml::CBstr;
using KvXml::TComPtr;

// Failures are printed through the function scopes at category 4.
KV_BUILDER_DEFINE_TRACE();

namespace {

// The library's one application object: the folder of the library file.
struct CKvReportBuilderApp {
    std::wstring m_strModuleFolder;

    void InitInstance(HINSTANCE instance) {
        wchar_t path[MAX_PATH] = {};
        DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            std::wstring folder(path, n);
            size_t slash = folder.rfind(L'\\');
            m_strModuleFolder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
        }
    }
} theApp;

// A report type with its template; which exports serve it.
struct SReportTemplate {
    const wchar_t* type;
    const wchar_t* file;
    bool forRequest;
};

const SReportTemplate kTemplates[] = {
    {L"PassportSW", L"\\ReportTemplate\\repPassport.xsl", true},
    {L"EventLog", L"\\ReportTemplate\\repEventLog.xsl", true},
    {L"ResourceWS", L"\\ReportTemplate\\repResourceWS.xsl", false},
    {L"VarnoUserAccess", L"\\ReportTemplate\\repVarno.xsl", false},
};

// The result for a report type that has no template: nothing was written, which is no success.
const int kNoTemplate = (int)0x80070032; // HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)

// The result when the template gave no text at all: the report would be empty.
const int kEmptyTransform = (int)0x8007000D; // HRESULT_FROM_WIN32(ERROR_INVALID_DATA)

const SReportTemplate* FindTemplate(const std::wstring& type, bool forRequest) {
    for (const auto& t : kTemplates)
        if (type == t.type)
            return (!forRequest || t.forRequest) ? &t : nullptr;
    return nullptr;
}

HRESULT CreateDocument(IXMLDOMDocument** doc) {
    return CoCreateInstance(KvXml::CLSID_DOMDocumentVI, nullptr, CLSCTX_ALL, KvXml::IID_IXMLDOMDocument,
                            reinterpret_cast<void**>(doc));
}

// Loads a file into a new document. Not S_OK (S_FALSE for a missing or malformed file) fails.
HRESULT LoadDocument(const wchar_t* path, IXMLDOMDocument** doc, CBuilderTraceScope& scope, const wchar_t* createText,
                     const wchar_t* loadText) {
    HRESULT hr = CreateDocument(doc);
    if (FAILED(hr)) {
        scope.Print(4, createText, hr);
        return hr;
    }
    (*doc)->put_async(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(path ? path : L"");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = (*doc)->load(source, &loaded);
    VariantClear(&source);
    if (hr != S_OK || loaded != VARIANT_TRUE) {
        scope.Print(4, loadText, hr);
        return hr == S_OK ? S_FALSE : hr;
    }
    return S_OK;
}

// The common start of the queries: root element, its children, XPath as selection language.
HRESULT PrepareQuery(IXMLDOMDocument* doc, IXMLDOMDocument2** doc2, CBuilderTraceScope& scope) {
    TComPtr<IXMLDOMElement> root;
    HRESULT hr = doc->get_documentElement(&root);
    if (hr != S_OK)
        return FAILED(hr) ? hr : S_FALSE;
    TComPtr<IXMLDOMNodeList> children;
    hr = root->get_childNodes(&children);
    if (FAILED(hr)) {
        scope.Print(4, L"[spXMLDOMElementRoot->get_childNodes] error - 0x%0.8X", hr);
        return hr;
    }
    hr = doc->QueryInterface(KvXml::IID_IXMLDOMDocument2, reinterpret_cast<void**>(doc2));
    if (SUCCEEDED(hr)) {
        VARIANT language;
        VariantInit(&language);
        language.vt = VT_BSTR;
        language.bstrVal = SysAllocString(L"XPath");
        hr = (*doc2)->setProperty(CBstr(L"SelectionLanguage"), language);
        VariantClear(&language);
    }
    if (FAILED(hr))
        scope.Print(4, L"[setProperty] error - 0x%0.8X", hr);
    return hr;
}

// The value of a named attribute of a node. Not S_OK (S_FALSE when absent) fails.
HRESULT AttributeValue(IXMLDOMNode* node, const wchar_t* name, std::wstring& value, CBuilderTraceScope& scope) {
    TComPtr<IXMLDOMNamedNodeMap> attributes;
    HRESULT hr = node->get_attributes(&attributes);
    if (hr != S_OK) {
        scope.Print(4, L"[get_attributes] error - 0x%0.8X", hr);
        return FAILED(hr) ? hr : S_FALSE;
    }
    TComPtr<IXMLDOMNode> attribute;
    hr = attributes->getNamedItem(CBstr(name), &attribute);
    if (hr != S_OK) {
        scope.Print(4, L"[getNamedItem] error - 0x%0.8X", hr);
        return hr;
    }
    VARIANT v;
    VariantInit(&v);
    hr = attribute->get_nodeValue(&v);
    if (FAILED(hr)) {
        scope.Print(4, L"[get_nodeValue] error - 0x%0.8X", hr);
        return hr;
    }
    value = (v.vt == VT_BSTR && v.bstrVal) ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
    VariantClear(&v);
    return S_OK;
}

// An attribute of the single node an XPath selects.
HRESULT SelectAttribute(IXMLDOMDocument* doc, const wchar_t* function, const wchar_t* xpath, const wchar_t* attribute,
                        std::wstring& value) {
    CBuilderTraceScope scope(function, L"KvReportBuilder", __LINE__);
    value.clear();
    TComPtr<IXMLDOMDocument2> doc2;
    HRESULT hr = PrepareQuery(doc, &doc2, scope);
    if (FAILED(hr) || hr == S_FALSE)
        return hr;
    TComPtr<IXMLDOMNode> node;
    hr = doc2->selectSingleNode(CBstr(xpath), &node);
    if (hr != S_OK) {
        scope.Print(4, L"[selectSingleNode] error - 0x%0.8X", hr);
        return hr;
    }
    return AttributeValue(node.Get(), attribute, value, scope);
}

HRESULT GetReportType(IXMLDOMDocument* doc, std::wstring& type) {
    return SelectAttribute(doc, L"GetReportType", L"//Report/Header/Subsystem", L"reportTitle", type);
}

HRESULT GetReportPath(IXMLDOMDocument* doc, std::wstring& path) {
    return SelectAttribute(doc, L"GetReportPath", L"//FormatOutput/ReportFile", L"path", path);
}

// The error code that a failed outside source ("agent" or "tarnserver") wrote into its response.
HRESULT GetErrorCode(IXMLDOMDocument* doc, int& code) {
    KV_BUILDER_SCOPE(L"GetErrorCode");
    TComPtr<IXMLDOMDocument2> doc2;
    HRESULT hr = PrepareQuery(doc, &doc2, scope);
    if (FAILED(hr) || hr == S_FALSE)
        return hr;
    TComPtr<IXMLDOMNodeList> sources;
    hr = doc2->selectNodes(CBstr(L"//Report/Header/Source"), &sources);
    if (FAILED(hr)) {
        scope.Print(4, L"[selectSingleNode] error - 0x%0.8X", hr);
        return hr;
    }
    long count = 0;
    hr = sources->get_length(&count);
    if (FAILED(hr)) {
        scope.Print(4, L"[get_length] error - 0x%0.8X", hr);
        return hr;
    }
    for (long i = 0; i < count; ++i) {
        TComPtr<IXMLDOMNode> source;
        hr = sources->get_item(i, &source);
        if (FAILED(hr)) {
            scope.Print(4, L"[get_item] error - 0x%0.8X", hr);
            return hr;
        }
        std::wstring type, result;
        hr = AttributeValue(source.Get(), L"type", type, scope);
        if (hr != S_OK)
            return hr;
        hr = AttributeValue(source.Get(), L"result", result, scope);
        if (hr != S_OK)
            return hr;
        CharLowerBuffW(&type[0], (DWORD)type.size());
        CharLowerBuffW(&result[0], (DWORD)result.size());
        if ((type == L"agent" || type == L"tarnserver") && result == L"error") {
            TComPtr<IXMLDOMNode> codeNode;
            if (doc2->selectSingleNode(CBstr(L"//../../Body/Error/Code"), &codeNode) == S_OK) {
                CBstr text;
                if (SUCCEEDED(codeNode->get_text(&text))) {
                    code = (int)_wtol(text.c_str());
                    return S_OK;
                }
            }
        }
    }
    return S_OK;
}

// Transforms the document with the template of its row and writes the report file. The file
// is complete, or it is removed and the failure is the result.
int WriteReport(IXMLDOMDocument* doc, const SReportTemplate& row, const std::wstring& reportPath,
                CBuilderTraceScope& scope) {
    std::wstring templatePath = theApp.m_strModuleFolder + row.file;
    TComPtr<IXMLDOMDocument> xslt;
    HRESULT hr = LoadDocument(templatePath.c_str(), &xslt, scope, L"[pXSLTDoc.CoCreateInstance] error - 0x%0.8X",
                              L"[pXSLTDoc->load] error - 0x%0.8X");
    if (hr != S_OK)
        return hr;
    CBstr text;
    hr = doc->transformNode(xslt.Get(), &text);
    if (FAILED(hr)) {
        scope.Print(4, L"[transformNode] error - 0x%0.8X", hr);
        return hr;
    }
    // Every template writes at least the document's frame: an empty text means the transform
    // stopped (a processor limit reached, such as the depth of nested templates) without saying
    // so. Such a report is no report: nothing is written and the run fails.
    if (text.Length() == 0) {
        scope.Print(4, L"[transformNode] empty result - 0x%0.8X", kEmptyTransform);
        return kEmptyTransform;
    }
    std::string bytes = RtfText::ToRussianAnsi(text.c_str(), text.Length());
    HANDLE file = CreateFileW(reportPath.c_str(), 0x1F01FF, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        scope.Print(4, L"[CreateFile] error - 0x%0.8X", error);
        return (int)error;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    DWORD error = ok ? (written == bytes.size() ? 0 : ERROR_HANDLE_DISK_FULL) : GetLastError();
    CloseHandle(file);
    if (error) {
        scope.Print(4, L"[WriteFile] error - 0x%0.8X", error);
        DeleteFileW(reportPath.c_str());
        return (int)error;
    }
    return 0;
}

// Every exception is turned into a result before it leaves an export.
template <class F>
int Guarded(F body) {
    try {
        return body();
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        theApp.InitInstance(instance);
    }
    return TRUE;
}

int KvReportBuild(const wchar_t* responsePath, wchar_t* reportPathBuffer) {
    return Guarded([&]() -> int {
        KV_BUILDER_SCOPE(L"KvReportBuild");
        TComPtr<IXMLDOMDocument> doc;
        HRESULT hr = LoadDocument(responsePath, &doc, scope, L"[pXMLDoc.CoCreateInstance] error - 0x%0.8X",
                                  L"[pXMLDoc->load] error - 0x%0.8X");
        if (hr != S_OK)
            return hr;
        std::wstring type;
        hr = GetReportType(doc.Get(), type);
        if (hr != S_OK) {
            scope.Print(4, L"[GetReportType] error - 0x%0.8X", hr);
            int code = hr;
            GetErrorCode(doc.Get(), code);
            return code;
        }
        std::wstring reportPath;
        hr = GetReportPath(doc.Get(), reportPath);
        if (hr != S_OK) {
            scope.Print(4, L"[GetReportPath] error - 0x%0.8X", hr);
            return hr;
        }
        const SReportTemplate* row = FindTemplate(type, false);
        if (!row) {
            scope.Print(4, L"[FindTemplate] error - 0x%0.8X", kNoTemplate);
            return kNoTemplate;
        }
        int r = WriteReport(doc.Get(), *row, reportPath, scope);
        if (r != 0)
            return r;
        if (reportPathBuffer)
            StrCpyNW(reportPathBuffer, reportPath.c_str(), MAX_PATH);
        return 0;
    });
}

int KvReportRequest(const wchar_t* documentPath, const wchar_t* reportFile, unsigned flags) {
    return Guarded([&]() -> int {
        KV_BUILDER_SCOPE(L"KvReportRequest");
        TComPtr<IXMLDOMDocument> doc;
        HRESULT hr = LoadDocument(documentPath, &doc, scope, L"[pXMLDoc.CoCreateInstance] error - 0x%0.8X",
                                  L"[pXMLDoc->load] error - 0x%0.8X");
        if (hr != S_OK)
            return hr;
        std::wstring type;
        hr = GetReportType(doc.Get(), type);
        if (hr != S_OK) {
            scope.Print(4, L"[GetReportType] error - 0x%0.8X", hr);
            return hr;
        }
        const SReportTemplate* row = FindTemplate(type, true);
        if (!row) {
            scope.Print(4, L"[FindTemplate] error - 0x%0.8X", kNoTemplate);
            return kNoTemplate;
        }
        int r = WriteReport(doc.Get(), *row, reportFile ? reportFile : L"", scope);
        if (r != 0)
            return r;
        if ((flags & 3) == 3)
            ShellExecuteW(nullptr, L"open", reportFile, nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    });
}

int KvReportShow(const wchar_t* filePath) {
    KV_BUILDER_SCOPE(L"KvReportShow");
    ShellExecuteW(nullptr, L"open", filePath, nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}
