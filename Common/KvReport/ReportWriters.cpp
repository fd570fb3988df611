// The report response writer over the platform's SAX XML writer.
#include "ReportWriters.h"

#include <cwchar>

#include "ReportReaders.h"
#include "VoRurod.h"

using KvXml::CBstr;

namespace {

[[noreturn]] void Raise(HRESULT hr, int line, const wchar_t* function) {
    throw KvBase::CVoRurod(hr, L"ReportWriters", line, function);
}

#define KV_WRITER_CHECK(expr, function)                                                                                \
    do {                                                                                                               \
        HRESULT hr_ = (expr);                                                                                          \
        if (FAILED(hr_))                                                                                               \
            Raise(hr_, __LINE__, function);                                                                            \
    } while (0)

// The response file as the platform writer's output stream. The handle is registered as an
// open output of this thread, so that the run frame can close it should it have to end the
// thread; the last Release closes the file.
class CReportFileStream : public IStream {
public:
    static HRESULT Create(const wchar_t* path, IStream** out) {
        HANDLE h =
            CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return HRESULT_FROM_WIN32(GetLastError());
        CReportOutputFiles::Register(h);
        *out = new CReportFileStream(h);
        return S_OK;
    }

    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return (ULONG)InterlockedIncrement(&m_nRef); }
    ULONG WINAPI Release() override {
        LONG n = InterlockedDecrement(&m_nRef);
        if (n == 0)
            delete this;
        return (ULONG)n;
    }

    HRESULT WINAPI Read(void*, ULONG, ULONG* read) override {
        if (read)
            *read = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT WINAPI Write(const void* data, ULONG size, ULONG* written) override {
        DWORD put = 0;
        BOOL ok = WriteFile(m_hFile, data, size, &put, nullptr);
        if (written)
            *written = put;
        if (!ok)
            return HRESULT_FROM_WIN32(GetLastError());
        return put == size ? S_OK : STG_E_MEDIUMFULL;
    }
    HRESULT WINAPI Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* pos) override {
        LARGE_INTEGER now;
        if (!SetFilePointerEx(m_hFile, move, &now, origin))
            return HRESULT_FROM_WIN32(GetLastError());
        if (pos)
            pos->QuadPart = (ULONGLONG)now.QuadPart;
        return S_OK;
    }
    HRESULT WINAPI SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT WINAPI CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT WINAPI Commit(DWORD) override { return FlushFileBuffers(m_hFile) ? S_OK : S_FALSE; }
    HRESULT WINAPI Revert() override { return E_NOTIMPL; }
    HRESULT WINAPI LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI Stat(STATSTG* stat, DWORD) override {
        ZeroMemory(stat, sizeof *stat);
        stat->type = STGTY_STREAM;
        LARGE_INTEGER size;
        if (GetFileSizeEx(m_hFile, &size))
            stat->cbSize.QuadPart = (ULONGLONG)size.QuadPart;
        return S_OK;
    }
    HRESULT WINAPI Clone(IStream**) override { return E_NOTIMPL; }

private:
    explicit CReportFileStream(HANDLE h) : m_hFile(h) {}
    virtual ~CReportFileStream() {
        CReportOutputFiles::Unregister(m_hFile);
        CloseHandle(m_hFile);
    }

    volatile LONG m_nRef = 1;
    HANDLE m_hFile;
};

// Whether the platform writer indents without touching character data. Some writers (Wine's)
// put the line break and indent of an end tag inside the element's text, which would change
// every value of the response; with such a writer the output stays unindented. Probed once.
bool IndentKeepsText() {
    static volatile LONG s_nState = 0; // 0 unknown, 1 keeps, 2 alters
    if (s_nState == 0) {
        LONG state = 2;
        KvXml::TComPtr<IMXWriter> probe;
        KvXml::TComPtr<ISAXContentHandler> handler;
        if (SUCCEEDED(KvXml::CreateFirstOf(KvXml::CLSID_MXXMLWriter40, KvXml::CLSID_MXXMLWriter, KvXml::IID_IMXWriter,
                                           &probe)) &&
            SUCCEEDED(probe->QueryInterface(KvXml::IID_ISAXContentHandler, reinterpret_cast<void**>(&handler)))) {
            VARIANT output;
            VariantInit(&output);
            probe->put_output(output);
            probe->put_indent(VARIANT_TRUE);
            handler->startElement(L"", 0, L"", 0, L"a", 1, nullptr);
            handler->startElement(L"", 0, L"", 0, L"b", 1, nullptr);
            handler->characters(L"x", 1);
            handler->endElement(L"", 0, L"", 0, L"b", 1);
            handler->endElement(L"", 0, L"", 0, L"a", 1);
            if (SUCCEEDED(probe->get_output(&output)) && output.vt == VT_BSTR && output.bstrVal &&
                wcsstr(output.bstrVal, L"<b>x</b>"))
                state = 1;
            VariantClear(&output);
        }
        InterlockedExchange(&s_nState, state);
    }
    return s_nState == 1;
}

template <class T>
void ReleaseAndClear(T*& p) {
    if (p) {
        T* q = p;
        p = nullptr;
        q->Release();
    }
}

} // namespace

CReportWriter::CReportWriter(const wchar_t* outputPath) {
    try {
        StartDocument(outputPath);
    } catch (...) {
        ReleaseAndClear(m_pStream);
        ReleaseAndClear(m_pHandler);
        ReleaseAndClear(m_pSaxAttributes);
        ReleaseAndClear(m_pAttributes);
        ReleaseAndClear(m_pWriter);
        throw;
    }
}

CReportWriter::~CReportWriter() {
    if (!m_bNotStarted && m_pHandler)
        m_pHandler->endDocument();
    ReleaseAndClear(m_pStream);
    ReleaseAndClear(m_pHandler);
    ReleaseAndClear(m_pSaxAttributes);
    ReleaseAndClear(m_pAttributes);
    ReleaseAndClear(m_pWriter);
}

void CReportWriter::StartDocument(const wchar_t* outputPath) {
    static const wchar_t kFunction[] = L"CReportWriter::StartDocument";
    if (!m_bNotStarted)
        return;
    if (!m_pWriter) {
        KV_WRITER_CHECK(KvXml::CreateFirstOf(KvXml::CLSID_MXXMLWriter40, KvXml::CLSID_MXXMLWriter, KvXml::IID_IMXWriter,
                                             &m_pWriter),
                        kFunction);
        KV_WRITER_CHECK(m_pWriter->QueryInterface(KvXml::IID_ISAXContentHandler, reinterpret_cast<void**>(&m_pHandler)),
                        kFunction);
        KV_WRITER_CHECK(KvXml::CreateFirstOf(KvXml::CLSID_SAXAttributes40, KvXml::CLSID_SAXAttributes,
                                             KvXml::IID_IMXAttributes, &m_pAttributes),
                        kFunction);
        KV_WRITER_CHECK(
            m_pAttributes->QueryInterface(KvXml::IID_ISAXAttributes, reinterpret_cast<void**>(&m_pSaxAttributes)),
            kFunction);
    }
    VARIANT output;
    VariantInit(&output);
    if (outputPath) {
        KV_WRITER_CHECK(CReportFileStream::Create(outputPath, &m_pStream), kFunction);
        output.vt = VT_UNKNOWN;
        output.punkVal = m_pStream;
    }
    KV_WRITER_CHECK(m_pWriter->put_output(output), kFunction);
    m_pWriter->put_indent(IndentKeepsText() ? VARIANT_TRUE : VARIANT_FALSE);
    m_pWriter->put_encoding(CBstr(L"utf-8"));
    KV_WRITER_CHECK(m_pHandler->startDocument(), kFunction);
    m_bNotStarted = false;
}

// A value as the document can carry it (see XmlCarriableText); most values pass unchanged.
static CBstr CarriableBstr(const std::wstring& text) {
    if (!NeedsXmlCarriableText(text.data(), text.size()))
        return CBstr(text.c_str(), (UINT)text.size());
    const std::wstring carried = XmlCarriableText(text.data(), text.size());
    return CBstr(carried.c_str(), (UINT)carried.size());
}

void CReportWriter::StartElement(const wchar_t* name, const ReportAttributes& attributes) {
    static const wchar_t kFunction[] = L"CReportWriter::StartElement";
    CBstr empty(L"");
    for (const auto& attribute : attributes)
        KV_WRITER_CHECK(m_pAttributes->addAttribute(empty, empty, CBstr(attribute.first.c_str()), empty,
                                                    CarriableBstr(attribute.second)),
                        kFunction);
    HRESULT hr = m_pHandler->startElement(L"", 0, L"", 0, name, (int)wcslen(name), m_pSaxAttributes);
    m_pAttributes->clear();
    KV_WRITER_CHECK(hr, kFunction);
}

void CReportWriter::ElementValue(const CSaxValue& text) {
    static const wchar_t kFunction[] = L"CReportWriter::ElementValue";
    if (NeedsXmlCarriableText(text.data(), text.size())) {
        const std::wstring carried = XmlCarriableText(text.data(), text.size());
        KV_WRITER_CHECK(m_pHandler->characters(carried.c_str(), (int)carried.size()), kFunction);
        return;
    }
    KV_WRITER_CHECK(m_pHandler->characters(text.c_str(), (int)text.size()), kFunction);
}

void CReportWriter::EndElement(const wchar_t* name) {
    KV_WRITER_CHECK(m_pHandler->endElement(L"", 0, L"", 0, name, (int)wcslen(name)), L"CReportWriter::EndElement");
}

void CReportWriter::Element(const wchar_t* name, const CSaxValue& text, const ReportAttributes& attributes) {
    StartElement(name, attributes);
    ElementValue(text);
    EndElement(name);
}

void CReportWriter::WriteElementToContent(const wchar_t* fragment) {
    static const wchar_t kFunction[] = L"WriteElementToContent";
    KvXml::TComPtr<ISAXXMLReader> reader;
    KV_WRITER_CHECK(
        KvXml::CreateFirstOf(KvXml::CLSID_SAXXMLReader40, KvXml::CLSID_SAXXMLReader, KvXml::IID_ISAXXMLReader, &reader),
        kFunction);
    CSAX2ElementMover mover(m_pHandler);
    CSAX2ContextHandlerImpl handler(mover);
    KV_WRITER_CHECK(reader->putContentHandler(&handler), kFunction);
    m_pHandler->ignorableWhitespace(L"\n", 1);
    VARIANT input;
    VariantInit(&input);
    input.vt = VT_BSTR;
    input.bstrVal = SysAllocString(fragment ? fragment : L"");
    HRESULT hr = reader->parse(input);
    VariantClear(&input);
    reader->putContentHandler(nullptr);
    KV_WRITER_CHECK(hr, kFunction);
}

void CReportWriter::Error(int code) {
    wchar_t* buffer = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1024));
    if (!buffer)
        return;
    try {
        swprintf(buffer, 512, L"%x", (unsigned int)code);
        CSaxValue digits(buffer);
        ZeroMemory(buffer, 1024);
        KvBase::FormatErrorMessage(code, buffer, 1024 / sizeof(wchar_t));
        StartElement(L"Error");
        Element(L"Code", digits);
        Element(L"Description", CSaxValue(buffer));
        EndElement(L"Error");
    } catch (...) {
        HeapFree(GetProcessHeap(), 0, buffer);
        throw;
    }
    HeapFree(GetProcessHeap(), 0, buffer);
}

CSaxValue CReportWriter::GetOutput() {
    VARIANT output;
    VariantInit(&output);
    if (FAILED(m_pWriter->get_output(&output)))
        return CSaxValue();
    CSaxValue text(output);
    VariantClear(&output);
    return text;
}

void WriteResponseHead(CReportWriter& writer, RequestFormat& format, const wchar_t* dataSource,
                       const wchar_t* reportKind) {
    writer.StartElement(L"Report", ReportAttributes(L"version", L"1.0"));
    writer.StartElement(L"Header");
    writer.Element(L"Source", CSaxValue(), ReportAttributes().Add(L"result", L"OK").Add(L"type", L"Subsystem"));
    writer.Element(L"Subsystem", CSaxValue(),
                   ReportAttributes().Add(L"name", dataSource).Add(L"reportTitle", reportKind));
    writer.EndElement(L"Header");
    writer.StartElement(L"Body");
    writer.StartElement(reportKind, ReportAttributes(L"version", L"1.0"));
    writer.WriteElementToContent(format[L"FormatSettings"].c_str());
    writer.WriteElementToContent(format[L"FormatOutput"].c_str());
}

void WriteResponseTail(CReportWriter& writer, const wchar_t* reportKind, int contentResult) {
    if (contentResult != 0 && contentResult != 1) {
        writer.StartElement(L"ICheck");
        writer.Error(contentResult);
        writer.EndElement(L"ICheck");
    }
    writer.EndElement(reportKind);
    writer.EndElement(L"Body");
    writer.EndElement(L"Report");
}
