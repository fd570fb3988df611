// The report response writer over the platform's SAX XML writer, and the SAX plumbing that the
// library's readers share (source file ReportWriters).
#pragma once

#include <windows.h>
#include <msxml2.h>

#include "KvMsxml.h"
#include "ReportHelpers.h"

// The streaming writer of a report document.
struct IReportWriter {
    virtual void StartElement(const wchar_t* name, const ReportAttributes& attributes) = 0;
    virtual void ElementValue(const CSaxValue& text) = 0;
    virtual void EndElement(const wchar_t* name) = 0;
    // Replays the elements of a ready XML fragment into the output at the current position.
    virtual void WriteElementToContent(const wchar_t* fragment) = 0;
    virtual void Element(const wchar_t* name, const CSaxValue& text, const ReportAttributes& attributes) = 0;
    // The Error element: Code (hexadecimal) and Description (message text of the code).
    virtual void Error(int code) = 0;
    // The text written so far (memory mode), else empty.
    virtual CSaxValue GetOutput() = 0;

protected:
    ~IReportWriter() = default;
};

// Writes straight into a file, or into memory when made with a null path. Every failure of the
// platform writer raises KvBase::CVoRurod with the failing HRESULT.
class CReportWriter : public IReportWriter {
public:
    explicit CReportWriter(const wchar_t* outputPath);
    CReportWriter(const CReportWriter&) = delete;
    CReportWriter& operator=(const CReportWriter&) = delete;
    ~CReportWriter();

    void StartElement(const wchar_t* name, const ReportAttributes& attributes) override;
    void ElementValue(const CSaxValue& text) override;
    void EndElement(const wchar_t* name) override;
    void WriteElementToContent(const wchar_t* fragment) override;
    void Element(const wchar_t* name, const CSaxValue& text, const ReportAttributes& attributes) override;
    void Error(int code) override;
    CSaxValue GetOutput() override;

    // Convenience for elements without attributes.
    void StartElement(const wchar_t* name) { StartElement(name, ReportAttributes()); }
    void Element(const wchar_t* name, const CSaxValue& text) { Element(name, text, ReportAttributes()); }

private:
    void StartDocument(const wchar_t* outputPath);

    IMXWriter* m_pWriter = nullptr;
    IMXAttributes* m_pAttributes = nullptr;
    ISAXAttributes* m_pSaxAttributes = nullptr;
    ISAXContentHandler* m_pHandler = nullptr;
    IStream* m_pStream = nullptr;
    bool m_bNotStarted = true;
};

// The library's internal interface behind a SAX parse; a failure result stops the parse.
struct ISAX2Extractor {
    virtual HRESULT StartElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                                 const wchar_t* qName, int qLength, ISAXAttributes* attributes) = 0;
    virtual HRESULT EndElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                               const wchar_t* qName, int qLength) = 0;
    virtual HRESULT Characters(const wchar_t* text, int length) = 0;

protected:
    ~ISAX2Extractor() = default;
};

// The SAX content handler handed to a reader: passes elements and character data to its extractor.
// Lives on the caller's stack: not reference-counted.
class CSAX2ContextHandlerImpl : public KvXml::CSaxHandlerBase {
public:
    explicit CSAX2ContextHandlerImpl(ISAX2Extractor& extractor) : m_extractor(extractor) {}

    HRESULT WINAPI startElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                                const wchar_t* qName, int qLength, ISAXAttributes* attributes) override {
        return m_extractor.StartElement(uri, uriLength, localName, localLength, qName, qLength, attributes);
    }
    HRESULT WINAPI endElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                              const wchar_t* qName, int qLength) override {
        return m_extractor.EndElement(uri, uriLength, localName, localLength, qName, qLength);
    }
    HRESULT WINAPI characters(const wchar_t* text, int length) override { return m_extractor.Characters(text, length); }

private:
    ISAX2Extractor& m_extractor;
};

// Passes elements and character data on to a writer's content handler unchanged.
class CSAX2ElementMover : public ISAX2Extractor {
public:
    explicit CSAX2ElementMover(ISAXContentHandler* target) : m_pTarget(target) {}
    virtual ~CSAX2ElementMover() = default;
    HRESULT StartElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                         const wchar_t* qName, int qLength, ISAXAttributes* attributes) override {
        return m_pTarget->startElement(uri, uriLength, localName, localLength, qName, qLength, attributes);
    }
    HRESULT EndElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                       const wchar_t* qName, int qLength) override {
        return m_pTarget->endElement(uri, uriLength, localName, localLength, qName, qLength);
    }
    HRESULT Characters(const wchar_t* text, int length) override { return m_pTarget->characters(text, length); }

private:
    ISAXContentHandler* m_pTarget;
};

class RequestFormat;

// The frame of a report response, the same for every data source: Report, Header with Source and
// Subsystem, Body, the report-kind element and the copies of the request's FormatSettings and
// FormatOutput. The source writes its own content between the two calls.
void WriteResponseHead(CReportWriter& writer, RequestFormat& format, const wchar_t* dataSource,
                       const wchar_t* reportKind);
// ICheck with the Error element when the content ended with a code other than 0 and 1; then
// the ends of the report-kind element, Body and Report.
void WriteResponseTail(CReportWriter& writer, const wchar_t* reportKind, int contentResult);
