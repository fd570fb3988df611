// Request readers: the value and element extractors behind a SAX parse of a request file.
#include "ReportReaders.h"

#include "VoRurod.h"

using KvXml::CBstr;

void RaiseReaderError(HRESULT hr, int line, const wchar_t* readerName) {
    throw KvBase::CVoRurod(hr, L"ReportReaders", line, readerName);
}

void CreateRequestReader(ISAXXMLReader** reader, const wchar_t* readerName) {
    HRESULT hr =
        KvXml::CreateFirstOf(KvXml::CLSID_SAXXMLReader40, KvXml::CLSID_SAXXMLReader, KvXml::IID_ISAXXMLReader, reader);
    if (FAILED(hr))
        RaiseReaderError(hr, __LINE__, readerName);
}

CSAX2ValueExtractor::CSAX2ValueExtractor(std::map<std::wstring, CSaxValue>& record) : m_record(record) {}

bool CSAX2ValueExtractor::PathMatches(const std::wstring& elementPath) const {
    size_t pos = m_strPath.find(elementPath);
    return pos != std::wstring::npos && pos + elementPath.size() == m_strPath.size();
}

HRESULT CSAX2ValueExtractor::StartElement(const wchar_t*, int, const wchar_t* localName, int localLength,
                                          const wchar_t*, int, ISAXAttributes* attributes) {
    if (m_nMatches == m_record.size())
        return E_FAIL;
    if (!m_strPath.empty())
        m_strPath += L'/';
    m_strPath.append(localName, (size_t)localLength);
    for (auto& entry : m_record) {
        size_t at = entry.first.rfind(L'@');
        if (at == std::wstring::npos || !PathMatches(entry.first.substr(0, at)))
            continue;
        std::wstring name = entry.first.substr(at + 1);
        const wchar_t* value = nullptr;
        int valueLength = 0;
        if (attributes &&
            SUCCEEDED(attributes->getValueFromName(L"", 0, name.c_str(), (int)name.size(), &value, &valueLength))) {
            entry.second = CSaxValue(value, (size_t)valueLength);
            ++m_nMatches;
        }
    }
    return S_OK;
}

HRESULT CSAX2ValueExtractor::EndElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) {
    size_t slash = m_strPath.rfind(L'/');
    if (slash == std::wstring::npos)
        m_strPath.clear();
    else
        m_strPath.erase(slash);
    return S_OK;
}

HRESULT CSAX2ValueExtractor::Characters(const wchar_t* text, int length) {
    int i = 0;
    while (i < length && (text[i] == L' ' || text[i] == L'\r' || text[i] == L'\n'))
        ++i;
    if (i == length)
        return S_OK;
    for (auto& entry : m_record) {
        if (entry.first.find(L'@') != std::wstring::npos || !PathMatches(entry.first))
            continue;
        entry.second = CSaxValue(text, (size_t)length);
        ++m_nMatches;
    }
    return S_OK;
}

CSAX2ElementExtractor::CSAX2ElementExtractor(std::map<std::wstring, CSaxValue>& record) : m_record(record) {
    static const wchar_t kFunction[] = L"CSAX2ElementExtractor::CSAX2ElementExtractor";
    HRESULT hr =
        KvXml::CreateFirstOf(KvXml::CLSID_MXXMLWriter40, KvXml::CLSID_MXXMLWriter, KvXml::IID_IMXWriter, &m_pWriter);
    if (SUCCEEDED(hr))
        hr = m_pWriter->QueryInterface(KvXml::IID_ISAXContentHandler, reinterpret_cast<void**>(&m_pHandler));
    if (FAILED(hr)) {
        if (m_pWriter)
            m_pWriter->Release();
        throw KvBase::CVoRurod(hr, L"ReportReaders", __LINE__, kFunction);
    }
    m_pWriter->put_encoding(CBstr(L"utf-8"));
}

CSAX2ElementExtractor::~CSAX2ElementExtractor() {
    m_pHandler->Release();
    m_pWriter->Release();
}

HRESULT CSAX2ElementExtractor::StartElement(const wchar_t* uri, int uriLength, const wchar_t* localName,
                                            int localLength, const wchar_t* qName, int qLength,
                                            ISAXAttributes* attributes) {
    if (m_nCaptures == m_record.size())
        return E_FAIL;
    if (m_strCapture.empty()) {
        std::wstring name(localName, (size_t)localLength);
        if (m_record.find(name) == m_record.end())
            return S_OK;
        m_strCapture = name;
    } else if (m_strCapture.compare(0, std::wstring::npos, localName, (size_t)localLength) == 0) {
        ++m_nDepth;
    }
    return m_pHandler->startElement(uri, uriLength, localName, localLength, qName, qLength, attributes);
}

HRESULT CSAX2ElementExtractor::EndElement(const wchar_t* uri, int uriLength, const wchar_t* localName, int localLength,
                                          const wchar_t* qName, int qLength) {
    if (m_strCapture.empty())
        return S_OK;
    HRESULT hr = m_pHandler->endElement(uri, uriLength, localName, localLength, qName, qLength);
    bool sameName = m_strCapture.compare(0, std::wstring::npos, localName, (size_t)localLength) == 0;
    if (sameName && m_nDepth > 0) {
        // The end of an element of the same name nested inside the capture, not of the capture.
        --m_nDepth;
    } else if (sameName) {
        VARIANT output;
        VariantInit(&output);
        if (SUCCEEDED(m_pWriter->get_output(&output)))
            m_record[m_strCapture] = CSaxValue(output);
        VariantClear(&output);
        VARIANT empty;
        VariantInit(&empty);
        m_pWriter->put_output(empty);
        m_strCapture.clear();
        ++m_nCaptures;
    }
    return hr;
}

HRESULT CSAX2ElementExtractor::Characters(const wchar_t* text, int length) {
    if (m_strCapture.empty())
        return S_OK;
    return m_pHandler->characters(text, length);
}
