// MSXML class and interface ids used by the program's modules (reports, model, store provider,
// dependency finder), creation of the first class of a list that is registered, and the one
// owner of a COM interface pointer. MinGW's import libraries lack most of these ids, so they are
// kept here, once, in a namespace of their own (no clash with the SDK's extern declarations).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <msxml2.h>

namespace KvXml {

// Interfaces.
inline constexpr IID IID_IXMLDOMDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_ISAXXMLReader = {0xA4F96ED0, 0xF829, 0x476E, {0x81, 0xC0, 0xCD, 0xC7, 0xBD, 0x2A, 0x08, 0x02}};
inline constexpr IID IID_ISAXContentHandler = {
    0x1545CDFA, 0x9E4E, 0x4497, {0xA8, 0xA4, 0x2B, 0xF7, 0xD0, 0x11, 0x2C, 0x44}};
inline constexpr IID IID_ISAXAttributes = {
    0xF078ABE1, 0x45D2, 0x4832, {0x91, 0xEA, 0x44, 0x66, 0xCE, 0x2F, 0x25, 0xC9}};
inline constexpr IID IID_ISAXErrorHandler = {
    0xA60511C4, 0xCCF5, 0x479E, {0x98, 0xA3, 0xDC, 0x8D, 0xC5, 0x45, 0xB7, 0xD0}};
inline constexpr IID IID_ISAXLexicalHandler = {
    0x7F85D5F5, 0x47A8, 0x4497, {0xBD, 0xA5, 0x84, 0xBA, 0x04, 0x81, 0x9E, 0xA6}};
inline constexpr IID IID_ISAXDeclHandler = {
    0x862629AC, 0x771A, 0x47B2, {0x83, 0x37, 0x4E, 0x68, 0x43, 0xC1, 0xBE, 0x90}};
inline constexpr IID IID_ISAXDTDHandler = {
    0xE15C1BAF, 0xAFB3, 0x4D60, {0x8C, 0x36, 0x19, 0xA8, 0xC4, 0x5D, 0xEF, 0xED}};
inline constexpr IID IID_IMXWriter = {0x4D7FF4BA, 0x1565, 0x4EA8, {0x94, 0xE1, 0x6E, 0x72, 0x4A, 0x46, 0xF9, 0x8D}};
inline constexpr IID IID_IMXAttributes = {0xF10D27CC, 0x3EC0, 0x415C, {0x8E, 0xD8, 0x77, 0xAB, 0x1C, 0x5E, 0x72, 0x62}};

// Classes.
// DOMDocument of the request writers and the version-independent DOMDocument of the builder.
inline constexpr CLSID CLSID_DOMDocument = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr CLSID CLSID_DOMDocumentVI = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
inline constexpr CLSID CLSID_MXXMLWriter40 = {
    0x88D969C8, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
inline constexpr CLSID CLSID_MXXMLWriter = {
    0xFC220AD8, 0xA72A, 0x4EE8, {0x92, 0x6E, 0x0B, 0x7A, 0xD1, 0x52, 0xA0, 0x20}};
inline constexpr CLSID CLSID_SAXAttributes40 = {
    0x88D969CA, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
inline constexpr CLSID CLSID_SAXAttributes = {
    0x4DD441AD, 0x526D, 0x4A77, {0x9F, 0x1B, 0x98, 0x41, 0xED, 0x80, 0x2F, 0xB0}};
inline constexpr CLSID CLSID_SAXXMLReader40 = {
    0x7C6E29BC, 0x8B8B, 0x4C3D, {0x85, 0x9E, 0xAF, 0x6C, 0xD1, 0x58, 0xBE, 0x0F}};
inline constexpr CLSID CLSID_SAXXMLReader = {
    0x079AA557, 0x4A18, 0x424A, {0x8E, 0xEE, 0xE3, 0x9F, 0x0A, 0x8D, 0x41, 0xB9}};

// Creates the first of two classes that can be made (the MSXML 4.0 class, then the
// version-independent one) with CLSCTX_ALL. The result is the failure of the second attempt
// when neither can be made.
template <class I>
HRESULT CreateFirstOf(const CLSID& first, const CLSID& second, const IID& iid, I** out) {
    *out = nullptr;
    HRESULT hr = CoCreateInstance(first, nullptr, CLSCTX_ALL, iid, reinterpret_cast<void**>(out));
    if (FAILED(hr))
        hr = CoCreateInstance(second, nullptr, CLSCTX_ALL, iid, reinterpret_cast<void**>(out));
    return hr;
}

// Owns one interface pointer; releases it when it goes.
template <class I>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    ~TComPtr() { Reset(); }
    I* operator->() const { return m_p; }
    I* Get() const { return m_p; }
    I** operator&() {
        Reset();
        return &m_p;
    }
    explicit operator bool() const { return m_p != nullptr; }
    void Swap(TComPtr& other) noexcept {
        I* p = m_p;
        m_p = other.m_p;
        other.m_p = p;
    }
    void Reset() {
        if (m_p) {
            I* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

private:
    I* m_p = nullptr;
};

// Owns one BSTR.
class CBstr {
public:
    explicit CBstr(const wchar_t* text = nullptr) : m_b(text ? SysAllocString(text) : nullptr) {}
    CBstr(const wchar_t* text, UINT len) : m_b(SysAllocStringLen(text, len)) {}
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { SysFreeString(m_b); }
    operator BSTR() const { return m_b; }
    BSTR* operator&() {
        SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }
    const wchar_t* c_str() const { return m_b ? m_b : L""; }
    UINT Length() const { return SysStringLen(m_b); }

private:
    BSTR m_b;
};

// A SAX content handler that takes every event and does nothing with it; readers derive from it and
// override the events they use. It lives on its reader's stack or inside it, so it is not counted.
class CSaxHandlerBase : public ISAXContentHandler {
public:
    virtual ~CSaxHandlerBase() = default;

    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ISAXContentHandler) {
            *ppv = static_cast<ISAXContentHandler*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }

    HRESULT WINAPI putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT WINAPI startDocument() override { return S_OK; }
    HRESULT WINAPI endDocument() override { return S_OK; }
    HRESULT WINAPI startPrefixMapping(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI endPrefixMapping(const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                ISAXAttributes*) override {
        return S_OK;
    }
    HRESULT WINAPI endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI characters(const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI ignorableWhitespace(const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI processingInstruction(const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI skippedEntity(const wchar_t*, int) override { return S_OK; }
};

} // namespace KvXml
