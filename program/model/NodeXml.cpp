// The XML element form of model nodes ("Element"), through the MSXML DOM.
//
// Numbers go into the document as DOM variants (VT_UI4, VT_UI1, VT_I4) and come back as decimal
// text. An ID is written as its low 32 bits with bit 31 set for a negative ID, and comes back as a
// positive number; the time halves are written as unsigned 32-bit numbers. Files written in this
// form may exist, so the form stays as it is.
#include <windows.h>
#include <msxml2.h>
#include <sddl.h>

#include <functional>

#include "IChNode.h"
#include "KvRegTokens.h"
#include "NodeXml.h"

namespace {

// An owned BSTR.
class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const wchar_t* text) : m_B(SysAllocString(text)) {}
    explicit CBstr(const std::wstring& text) : m_B(SysAllocStringLen(text.data(), UINT(text.size()))) {}
    ~CBstr() { SysFreeString(m_B); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR* operator&() {
        SysFreeString(m_B);
        m_B = nullptr;
        return &m_B;
    }
    operator BSTR() const { return m_B; }
    std::wstring Str() const { return m_B ? std::wstring(m_B, SysStringLen(m_B)) : std::wstring(); }

private:
    BSTR m_B = nullptr;
};

// A released-on-scope COM pointer.
template <class T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() {
        if (m_P)
            m_P->Release();
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    T** operator&() {
        if (m_P)
            m_P->Release();
        m_P = nullptr;
        return &m_P;
    }
    T* operator->() const { return m_P; }
    operator T*() const { return m_P; }

private:
    T* m_P = nullptr;
};

VARIANT MakeUI4(unsigned long x) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = x;
    return v;
}
VARIANT MakeUI1(unsigned char x) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI1;
    v.bVal = x;
    return v;
}
VARIANT MakeI4(long x) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}

// The 32-bit form of an ID: its low half, bit 31 set when the ID is negative.
unsigned long IdForm(NodeId id) {
    unsigned long low = (unsigned long)((unsigned long long)id & 0xFFFFFFFFu);
    return id < 0 ? (low | 0x80000000u) : low;
}

// Sets an attribute; a string value is handed over as a BSTR variant, numbers as they are.
HRESULT SetAttr(IXMLDOMElement* element, const wchar_t* name, VARIANT value) {
    CBstr n(name);
    return element->setAttribute(n, value);
}

HRESULT SetAttr(IXMLDOMElement* element, const wchar_t* name, const std::wstring& text) {
    CBstr value(text);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return SetAttr(element, name, v);
}

HRESULT Append(IXMLDOMElement* parent, IXMLDOMElement* child) {
    CComRef<IXMLDOMNode> out;
    return parent->appendChild(child, &out);
}

// Creates a child element with the attribute "Value" and appends it.
template <class V>
HRESULT AppendValue(IXMLDOMDocument* document, IXMLDOMElement* parent, const wchar_t* name, const V& value) {
    CComRef<IXMLDOMElement> child;
    CBstr n(name);
    HRESULT hr = document->createElement(n, &child);
    if (FAILED(hr))
        return hr;
    if (!child)
        return E_FAIL;
    hr = SetAttr(child, L"Value", value);
    if (FAILED(hr))
        return hr;
    return Append(parent, child);
}

// The node's name; empty when the DOM cannot tell it.
std::wstring NodeName(IXMLDOMNode* node) {
    CBstr name;
    if (FAILED(node->get_nodeName(&name)))
        return std::wstring();
    return name.Str();
}

// The text of the node's attribute; false when the node has no such attribute.
bool GetAttr(IXMLDOMNode* node, const wchar_t* name, std::wstring& text) {
    CComRef<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(node->get_attributes(&attributes)) || !attributes)
        return false;
    CComRef<IXMLDOMNode> attribute;
    CBstr n(name);
    if (attributes->getNamedItem(n, &attribute) != S_OK || !attribute)
        return false;
    CBstr value;
    if (FAILED(attribute->get_text(&value)))
        return false;
    text = value.Str();
    return true;
}

// Decimal text: leading blanks skipped, a sign accepted, digits up to the first other character;
// no digits give 0.
long long ParseDecimal(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\r' || text[i] == L'\n'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    unsigned long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        value = value * 10 + unsigned(text[i] - L'0');
    return negative ? -(long long)value : (long long)value;
}

// Walks the child nodes in document order; the visitor returns 1 to go on, 0 or -1 to stop with
// that as the walk's result. A DOM failure ends the walk with 0. Result 1 when every child was seen.
int ForEachChild(IXMLDOMNode* node, const std::function<int(const std::wstring& name, IXMLDOMNode* child)>& visit) {
    IXMLDOMNode* child = nullptr;
    if (FAILED(node->get_firstChild(&child)))
        return 0;
    while (child) {
        int r;
        try {
            r = visit(NodeName(child), child);
        } catch (...) {
            child->Release();
            throw;
        }
        IXMLDOMNode* next = nullptr;
        HRESULT hr = r == 1 ? child->get_nextSibling(&next) : S_OK;
        child->Release();
        if (r != 1)
            return r;
        if (FAILED(hr))
            return 0;
        child = next; // null after the last child
    }
    return 1;
}

// Reads the "Value" attribute of a recognised child; false when it has none.
bool ValueOf(IXMLDOMNode* child, std::wstring& text) { return GetAttr(child, L"Value", text); }

// A recognised child's "Value" as a number into the target: 1, or 0 when it has no "Value".
int TakeNumber(IXMLDOMNode* child, int& target) {
    std::wstring value;
    if (!ValueOf(child, value))
        return 0;
    target = int(ParseDecimal(value));
    return 1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CIChNode

HRESULT CIChNode::WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) {
    if (!document || !element)
        return E_INVALIDARG;
    HRESULT hr;
    if (FAILED(hr = SetAttr(element, L"name", m_Name)) || FAILED(hr = SetAttr(element, L"ID", MakeUI4(IdForm(m_Id)))) ||
        FAILED(hr = SetAttr(element, L"description", m_Description)) ||
        FAILED(hr = SetAttr(element, L"timelow", MakeUI4(m_ModifyTime.dwLowDateTime))) ||
        FAILED(hr = SetAttr(element, L"timehigh", MakeUI4(m_ModifyTime.dwHighDateTime))))
        return hr;
    for (CIChNode* upper : m_Uppers) {
        CComRef<IXMLDOMElement> child;
        CBstr name(L"UPNode");
        if (FAILED(hr = document->createElement(name, &child)))
            return hr;
        if (!child)
            return E_FAIL;
        unsigned long level = (GetType() == NodeTypeGroup && upper->GetType() == NodeTypeJob) ? 2 : 1;
        if (FAILED(hr = SetAttr(child, L"ID", MakeUI4(IdForm(upper->m_Id)))) ||
            FAILED(hr = SetAttr(child, L"level", MakeUI4(level))) || FAILED(hr = Append(element, child)))
            return hr;
    }
    return S_OK;
}

int CIChNode::ReadXml(IXMLDOMNode* element) {
    if (!element || NodeName(element) != L"Element")
        return 0;
    std::wstring text;
    if (!GetAttr(element, L"name", text))
        return 0;
    SetName(text);
    if (!GetAttr(element, L"ID", text))
        return 0;
    m_Id = ParseDecimal(text);
    if (!GetAttr(element, L"description", text))
        return 0;
    m_Description = text;
    // The halves are taken as unsigned 32-bit numbers, so the written time comes back whole.
    if (!GetAttr(element, L"timelow", text))
        return 0;
    m_ModifyTime.dwLowDateTime = DWORD(ParseDecimal(text));
    if (!GetAttr(element, L"timehigh", text))
        return 0;
    m_ModifyTime.dwHighDateTime = DWORD(ParseDecimal(text));

    m_UpLinks.clear();
    return ForEachChild(element, [this](const std::wstring& name, IXMLDOMNode* child) {
        if (name != L"UPNode")
            return 1;
        std::wstring id, level;
        if (!GetAttr(child, L"ID", id) || !GetAttr(child, L"level", level))
            return 0;
        long long key = ParseDecimal(id);
        int lvl = int(ParseDecimal(level));
        if (lvl == 2)
            key |= UpLinkLevel2Flag;
        m_UpLinks[key] = lvl;
        return 1;
    });
}

// ---------------------------------------------------------------------------------------------
// CIChResorce

HRESULT CIChResorce::WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) {
    HRESULT hr = CIChNode::WriteXml(document, element);
    if (FAILED(hr))
        return hr;
    unsigned long flags = (m_Controlled == 0 ? 1u : 0u) | (m_Executable != 0 ? 2u : 0u);
    if (FAILED(hr = AppendValue(document, element, L"SubType", MakeUI4(unsigned(m_SubType)))) ||
        FAILED(hr = AppendValue(document, element, L"Path", m_Path)) ||
        FAILED(hr = AppendValue(document, element, L"Flags", MakeUI4(flags))))
        return hr;
    return S_OK;
}

int CIChResorce::ReadXml(IXMLDOMNode* element) {
    // An element that is not a node's element is not read at all: nothing of it is applied.
    if (!element || NodeName(element) != L"Element")
        return 0;
    // The name is split by the SubType, so the element's SubType is taken before the name: read
    // with a fresh resource's file rules, a registry value's name would lose its '/' characters.
    ForEachChild(element, [this](const std::wstring& name, IXMLDOMNode* child) {
        std::wstring value;
        if (name == L"SubType" && ValueOf(child, value))
            m_SubType = int(ParseDecimal(value));
        return 1;
    });
    if (!CIChNode::ReadXml(element))
        return 0;
    int result = ForEachChild(element, [this](const std::wstring& name, IXMLDOMNode* child) {
        std::wstring value;
        if (name == L"SubType") {
            return TakeNumber(child, m_SubType);
        } else if (name == L"Path") {
            if (!ValueOf(child, value))
                return 0;
            m_Path = value;
        } else if (name == L"Flags") {
            if (!ValueOf(child, value))
                return 0;
            unsigned long flags = (unsigned long)ParseDecimal(value);
            if (flags & 1)
                m_Controlled = 0;
            if (flags & 2)
                m_Executable = 1;
        }
        return 1;
    });
    if (result != 1)
        return 0;
    if (m_SubType == ResRegValue && lstrcmpiW(m_Description.c_str(), L"(Default)") == 0)
        SetName(m_Path + RegDefaultValueToken);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// CIChRGroup

HRESULT CIChRGroup::WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) {
    HRESULT hr = CIChNode::WriteXml(document, element);
    if (FAILED(hr))
        return hr;
    return AppendValue(document, element, L"SubType", MakeUI4(unsigned(m_SubType)));
}

int CIChRGroup::ReadXml(IXMLDOMNode* element) {
    if (!CIChNode::ReadXml(element))
        return 0;
    int result = ForEachChild(element, [this](const std::wstring& name, IXMLDOMNode* child) {
        if (name != L"SubType")
            return 1;
        return TakeNumber(child, m_SubType) ? -1 : 0; // the first one decides
    });
    return result == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// CIChTask

HRESULT CIChTask::WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) {
    HRESULT hr = CIChNode::WriteXml(document, element);
    if (FAILED(hr) || m_Sequence.IsEmpty())
        return hr;
    std::wstring buffer;
    m_Sequence.SaveBuff(buffer);
    CComRef<IXMLDOMElement> child;
    CBstr name(L"Sequence");
    if (FAILED(hr = document->createElement(name, &child)))
        return hr;
    if (!child)
        return E_FAIL;
    CBstr text(buffer);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    if (FAILED(hr = child->put_nodeTypedValue(v)))
        return hr;
    return Append(element, child);
}

int CIChTask::ReadXml(IXMLDOMNode* element) {
    if (!CIChNode::ReadXml(element))
        return 0;
    int loaded = 1;
    int result = ForEachChild(element, [this, &loaded](const std::wstring& name, IXMLDOMNode* child) {
        if (name != L"Sequence")
            return 1;
        VARIANT typed;
        VariantInit(&typed);
        if (FAILED(child->get_nodeTypedValue(&typed)))
            return 0;
        HRESULT hr = VariantChangeType(&typed, &typed, 0, VT_BSTR);
        if (FAILED(hr)) {
            VariantClear(&typed);
            return 0;
        }
        std::wstring buffer(typed.bstrVal ? typed.bstrVal : L"", typed.bstrVal ? SysStringLen(typed.bstrVal) : 0);
        VariantClear(&typed);
        loaded = m_Sequence.LoadBuff(buffer.c_str());
        return -1;
    });
    if (result == 0)
        return 0;
    return loaded;
}

// ---------------------------------------------------------------------------------------------
// CIChJob

HRESULT CIChJob::WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) {
    HRESULT hr = CIChNode::WriteXml(document, element);
    if (FAILED(hr))
        return hr;
    std::wstring days;
    for (int i = 0; i < 12; ++i) {
        if (i)
            days += L',';
        days += format_wstring(L"%d", m_ScheduleDaysMask[i]);
    }
    if (FAILED(hr = AppendValue(document, element, L"SubType", MakeUI4(unsigned(m_SubType)))) ||
        FAILED(hr = AppendValue(document, element, L"Priority", MakeUI1(m_Priority))) ||
        FAILED(hr = AppendValue(document, element, L"Method", MakeUI4(unsigned(m_Method)))) ||
        FAILED(hr = AppendValue(document, element, L"Algorithm", MakeUI4(unsigned(m_Algorithm)))) ||
        FAILED(hr = AppendValue(document, element, L"OkReaction", MakeUI4(unsigned(m_OkReaction)))) ||
        FAILED(hr = AppendValue(document, element, L"ErrReaction", MakeUI4(unsigned(m_ErrReaction)))) ||
        FAILED(hr = AppendValue(document, element, L"ScheduleParams", MakeUI4(unsigned(m_ScheduleParams)))) ||
        FAILED(hr = AppendValue(document, element, L"ScheduleHoursMask", MakeUI4(unsigned(m_ScheduleHoursMask)))) ||
        FAILED(hr = AppendValue(document, element, L"ScheduleDaysMask", days)))
        return hr;
    return S_OK;
}

int CIChJob::ReadXml(IXMLDOMNode* element) {
    if (!CIChNode::ReadXml(element))
        return 0;
    struct Field {
        const wchar_t* name;
        int* target;
    } const fields[] = {
        {L"SubType", &m_SubType},
        {L"Method", &m_Method},
        {L"Algorithm", &m_Algorithm},
        {L"OkReaction", &m_OkReaction},
        {L"ErrReaction", &m_ErrReaction},
        {L"ScheduleParams", &m_ScheduleParams},
        {L"ScheduleHoursMask", &m_ScheduleHoursMask},
    };
    int result = ForEachChild(element, [&](const std::wstring& name, IXMLDOMNode* child) {
        if (name == L"UPNode")
            return 1;
        std::wstring value;
        for (const Field& f : fields) {
            if (name == f.name)
                return TakeNumber(child, *f.target);
        }
        if (name == L"Priority") {
            if (!ValueOf(child, value))
                return 0;
            m_Priority = (unsigned char)(ParseDecimal(value) & 0xFF);
        } else if (name == L"ScheduleDaysMask") {
            if (!ValueOf(child, value))
                return 0;
            int index = 0;
            size_t start = 0;
            while (start <= value.size() && index < 12) {
                size_t comma = value.find(L',', start);
                std::wstring piece =
                    value.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
                if (!piece.empty())
                    m_ScheduleDaysMask[index++] = int(ParseDecimal(piece));
                if (comma == std::wstring::npos)
                    break;
                start = comma + 1;
            }
        } else if (name == L"IsHostBased") {
            // Recognised, but the flag comes from the store and the job dialog.
            if (!ValueOf(child, value))
                return 0;
        }
        return 1;
    });
    if (result != 1)
        return 0;
    if (m_Method == 2 && m_Algorithm == 1)
        m_Algorithm = 6;
    if (m_Method == 5 && m_Algorithm != 1 && m_Algorithm != 5)
        m_Method = 2;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// CIChSubject

HRESULT CIChSubject::WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) {
    HRESULT hr = CIChNode::WriteXml(document, element);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = AppendValue(document, element, L"SubType", MakeUI4(unsigned(m_SubType)))) ||
        FAILED(hr = AppendValue(document, element, L"Local", MakeI4(m_Local))) ||
        FAILED(hr = AppendValue(document, element, L"SID", m_Sid.Str())))
        return hr;
    return S_OK;
}

int CIChSubject::ReadXml(IXMLDOMNode* element) {
    if (!CIChNode::ReadXml(element))
        return 0;
    int result = ForEachChild(element, [this](const std::wstring& name, IXMLDOMNode* child) {
        std::wstring value;
        if (name == L"SubType") {
            return TakeNumber(child, m_SubType);
        } else if (name == L"Local") {
            return TakeNumber(child, m_Local);
        } else if (name == L"SID") {
            if (!ValueOf(child, value))
                return 0;
            // The null SID stands for no account here; an empty value cannot be resolved.
            if (value.empty() || value == L"S-1-0-0")
                return 0;
            PSID sid = nullptr;
            if (!ConvertStringSidToSidW(value.c_str(), &sid))
                return 0;
            int ok = ResolveAccount(sid, nullptr);
            LocalFree(sid);
            if (!ok)
                return 0;
        }
        return 1;
    });
    return result == 1 ? 1 : 0;
}

HRESULT CreateXmlDomDocument(IXMLDOMDocument** document) {
    if (!document)
        return E_POINTER;
    *document = nullptr;
    HRESULT hr = E_FAIL;
    for (const wchar_t* progId : {L"Msxml2.DOMDocument.3.0", L"Msxml2.DOMDocument"}) {
        CLSID clsid;
        hr = CLSIDFromProgID(progId, &clsid);
        if (FAILED(hr))
            continue;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, KvXml::IID_IXMLDOMDocument,
                              reinterpret_cast<void**>(document));
        if (SUCCEEDED(hr))
            return hr;
    }
    return hr;
}
