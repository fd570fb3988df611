// Request readers: a streaming SAX parse of a request file that pulls out only the values a
// data source needs and stops as soon as it has them (source file ReportReaders).
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <initializer_list>
#include <map>
#include <string>

#include "ReportHelpers.h"
#include "ReportWriters.h"

// A record of wanted keys and their values, ordered by ordinal key comparison. Every wanted key
// is there from the start with an empty value; looking up another key adds it empty.
class CRequestRecord : public std::map<std::wstring, CSaxValue> {
protected:
    CRequestRecord(std::initializer_list<const wchar_t*> keys) {
        for (const wchar_t* key : keys)
            emplace(key, CSaxValue());
    }
};

// Takes attribute values and element texts by path. A key is "path@attribute" or a path alone
// (the element's character data); a path matches where its first occurrence in the current
// element path ends exactly at the end of that path.
class CSAX2ValueExtractor : public ISAX2Extractor {
public:
    explicit CSAX2ValueExtractor(std::map<std::wstring, CSaxValue>& record);
    virtual ~CSAX2ValueExtractor() = default;
    HRESULT StartElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                         const wchar_t* qName, int qLength, ISAXAttributes* attributes) override;
    HRESULT EndElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                       const wchar_t* qName, int qLength) override;
    HRESULT Characters(const wchar_t* text, int length) override;

private:
    bool PathMatches(const std::wstring& elementPath) const;

    std::map<std::wstring, CSaxValue>& m_record;
    std::wstring m_strPath;
    size_t m_nMatches = 0;
};

// Takes whole elements, named by their local name, as XML text (without declaration).
class CSAX2ElementExtractor : public ISAX2Extractor {
public:
    explicit CSAX2ElementExtractor(std::map<std::wstring, CSaxValue>& record);
    virtual ~CSAX2ElementExtractor();
    HRESULT StartElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                         const wchar_t* qName, int qLength, ISAXAttributes* attributes) override;
    HRESULT EndElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                       const wchar_t* qName, int qLength) override;
    HRESULT Characters(const wchar_t* text, int length) override;

private:
    std::map<std::wstring, CSaxValue>& m_record;
    IMXWriter* m_pWriter = nullptr;
    ISAXContentHandler* m_pHandler = nullptr;
    std::wstring m_strCapture;
    int m_nDepth = 0; // elements of the captured name open inside the capture
    size_t m_nCaptures = 0;
};

// The two shared sections of a request, copied into the response.
class RequestFormat : public CRequestRecord {
public:
    using Extractor = CSAX2ElementExtractor;
    static constexpr const wchar_t* kReaderName = L"TSAX2DocumentReader<class RequestFormat>::TSAX2DocumentReader";
    RequestFormat() : CRequestRecord({L"FormatSettings", L"FormatOutput"}) {}
};

// The texts of the IntegrityCheck and JobResources elements.
class RequestAttributes : public CRequestRecord {
public:
    using Extractor = CSAX2ValueExtractor;
    static constexpr const wchar_t* kReaderName = L"TSAX2DocumentReader<class RequestAttributes>::TSAX2DocumentReader";
    RequestAttributes() : CRequestRecord({L"IntegrityCheck", L"JobResources"}) {}
};

// What the report window reads of a request: the plug-in's name and the report title.
class XMLDocumentInfo : public CRequestRecord {
public:
    using Extractor = CSAX2ValueExtractor;
    static constexpr const wchar_t* kReaderName = L"TSAX2DocumentReader<class XMLDocumentInfo>::TSAX2DocumentReader";
    XMLDocumentInfo() : CRequestRecord({L"Subsystem@name", L"Subsystem@reportTitle"}) {}
};

// Creates the SAX reader for a document reader; raises the reader's error when it cannot.
void CreateRequestReader(ISAXXMLReader** reader, const wchar_t* readerName);
// Raises the reader's error for a failed set-up step.
[[noreturn]] void RaiseReaderError(HRESULT hr, int line, const wchar_t* readerName);

// Reads a request file into a record. Only the parser's set-up raises errors; a missing,
// unreadable or malformed file leaves the values found so far (empty for the rest).
template <class Record>
class TSAX2DocumentReader {
public:
    TSAX2DocumentReader(Record& record, const wchar_t* path) {
        KvXml::TComPtr<ISAXXMLReader> reader;
        CreateRequestReader(&reader, Record::kReaderName);
        typename Record::Extractor extractor(record);
        CSAX2ContextHandlerImpl handler(extractor);
        HRESULT hr = reader->putContentHandler(&handler);
        if (FAILED(hr))
            RaiseReaderError(hr, __LINE__, Record::kReaderName);
        reader->parseURL(path ? path : L"");
        reader->putContentHandler(nullptr);
    }
};
