// Report request writers: the document of one report kind, built through the DOM.
#include "ReportRequest.h"

#include <string>

#include "KvMsxml.h"

using KvXml::CBstr;
using KvXml::TComPtr;

#define KV_RETURN_IF_FAILED(expr)                                                                                      \
    do {                                                                                                               \
        HRESULT hr_ = (expr);                                                                                          \
        if (FAILED(hr_))                                                                                               \
            return hr_;                                                                                                \
    } while (0)

namespace {

const wchar_t* BoolText(int flag) { return flag ? L"true" : L"false"; }

const wchar_t* Text(const wchar_t* s) { return s ? s : L""; }

HRESULT SetAttribute(IXMLDOMElement* element, const wchar_t* name, const wchar_t* value) {
    CBstr bName(name);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(Text(value));
    HRESULT hr = v.bstrVal ? element->setAttribute(bName, v) : E_OUTOFMEMORY;
    VariantClear(&v);
    return hr;
}

HRESULT SetAttribute(IXMLDOMElement* element, const wchar_t* name, unsigned int value) {
    return SetAttribute(element, name, std::to_wstring(value).c_str());
}

HRESULT Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    TComPtr<IXMLDOMNode> added;
    return parent->appendChild(child, &added);
}

// Creates an element, lets `fill` set its attributes and children, then appends it to the
// parent: attributes are set in the order in which `fill` sets them.
template <class Fill>
HRESULT AddElement(IXMLDOMDocument* doc, IXMLDOMNode* parent, const wchar_t* name, Fill fill) {
    TComPtr<IXMLDOMElement> element;
    KV_RETURN_IF_FAILED(doc->createElement(CBstr(name), &element));
    KV_RETURN_IF_FAILED(fill(element.Get()));
    return Append(parent, element.Get());
}

HRESULT AddTextElement(IXMLDOMDocument* doc, IXMLDOMNode* parent, const wchar_t* name, const wchar_t* text) {
    return AddElement(doc, parent, name, [&](IXMLDOMElement* e) -> HRESULT {
        if (*Text(text))
            return e->put_text(CBstr(text));
        return S_OK;
    });
}

// The steps common to every kind: document, declaration, Report, Header, Body, kind element;
// `fillKind` appends the kind's sections; the document is saved at the end.
template <class Fill>
HRESULT BuildRequest(const wchar_t* kind, const wchar_t* dataSource, const wchar_t* taskId, const wchar_t* requestPath,
                     Fill fillKind) {
    TComPtr<IXMLDOMDocument> doc;
    KV_RETURN_IF_FAILED(CoCreateInstance(KvXml::CLSID_DOMDocument, nullptr, CLSCTX_ALL, KvXml::IID_IXMLDOMDocument,
                                         reinterpret_cast<void**>(&doc)));
    doc->put_async(VARIANT_FALSE);
    doc->put_preserveWhiteSpace(VARIANT_TRUE);

    TComPtr<IXMLDOMProcessingInstruction> pi;
    KV_RETURN_IF_FAILED(
        doc->createProcessingInstruction(CBstr(L"xml"), CBstr(L"version=\"1.0\" encoding=\"UTF-8\""), &pi));
    KV_RETURN_IF_FAILED(Append(doc.Get(), pi.Get()));

    TComPtr<IXMLDOMElement> report;
    KV_RETURN_IF_FAILED(doc->createElement(CBstr(L"Report"), &report));
    KV_RETURN_IF_FAILED(SetAttribute(report.Get(), L"version", L"1.0"));
    KV_RETURN_IF_FAILED(Append(doc.Get(), report.Get()));

    KV_RETURN_IF_FAILED(AppendHeader(doc.Get(), report.Get(), L"Subsystem", dataSource, kind, taskId));

    TComPtr<IXMLDOMElement> body;
    KV_RETURN_IF_FAILED(doc->createElement(CBstr(L"Body"), &body));
    TComPtr<IXMLDOMElement> kindElement;
    KV_RETURN_IF_FAILED(doc->createElement(CBstr(kind), &kindElement));
    KV_RETURN_IF_FAILED(SetAttribute(kindElement.Get(), L"version", L"1.0"));
    KV_RETURN_IF_FAILED(SetAttribute(kindElement.Get(), L"request", L"true"));
    KV_RETURN_IF_FAILED(fillKind(doc.Get(), kindElement.Get()));
    KV_RETURN_IF_FAILED(Append(body.Get(), kindElement.Get()));
    KV_RETURN_IF_FAILED(Append(report.Get(), body.Get()));

    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(Text(requestPath));
    HRESULT hr = path.bstrVal ? doc->save(path) : E_OUTOFMEMORY;
    VariantClear(&path);
    return hr;
}

} // namespace

HRESULT AppendHeader(IXMLDOMDocument* doc, IXMLDOMElement* root, const wchar_t* requestType, const wchar_t* dataSource,
                     const wchar_t* reportTitle, const wchar_t* taskId) {
    return AddElement(doc, root, L"Header", [&](IXMLDOMElement* header) -> HRESULT {
        KV_RETURN_IF_FAILED(AddElement(doc, header, L"Request",
                                       [&](IXMLDOMElement* e) { return SetAttribute(e, L"type", requestType); }));
        KV_RETURN_IF_FAILED(AddElement(doc, header, L"Subsystem", [&](IXMLDOMElement* e) -> HRESULT {
            KV_RETURN_IF_FAILED(SetAttribute(e, L"name", dataSource));
            return SetAttribute(e, L"reportTitle", reportTitle);
        }));
        return AddElement(doc, header, L"CorrelationID",
                          [&](IXMLDOMElement* e) { return SetAttribute(e, L"taskID", taskId); });
    });
}

HRESULT AppendFormatOutput(IXMLDOMDocument* doc, IXMLDOMElement* kind, const wchar_t* reportPath, int show) {
    return AddElement(doc, kind, L"FormatOutput", [&](IXMLDOMElement* output) {
        return AddElement(doc, output, L"ReportFile", [&](IXMLDOMElement* e) -> HRESULT {
            KV_RETURN_IF_FAILED(SetAttribute(e, L"path", reportPath));
            return SetAttribute(e, L"show", BoolText(show));
        });
    });
}

HRESULT AppendFormatSettings(IXMLDOMDocument* doc, IXMLDOMElement* kind, const SPageNumbering& pages) {
    return AddElement(doc, kind, L"FormatSettings", [&](IXMLDOMElement* settings) {
        return AddElement(doc, settings, L"PageNumeration", [&](IXMLDOMElement* e) -> HRESULT {
            KV_RETURN_IF_FAILED(SetAttribute(e, L"present", BoolText(pages.nPresent)));
            KV_RETURN_IF_FAILED(SetAttribute(e, L"location", pages.nLocation ? L"top" : L"bottom"));
            return SetAttribute(e, L"allPagesNum", BoolText(pages.nAllPagesNum));
        });
    });
}

HRESULT BuildEventLogRequest(const SEventLogParams& params, const SPageNumbering& pages, const wchar_t* reportPath,
                             int show, const wchar_t* taskId, const wchar_t* requestPath) {
    static const wchar_t* const kChoices[] = {L"All", L"Selected", L"Range", L"View"};
    return BuildRequest(L"EventLog", L"TarnLogManager", taskId, requestPath,
                        [&](IXMLDOMDocument* doc, IXMLDOMElement* kind) -> HRESULT {
                            KV_RETURN_IF_FAILED(AppendFormatOutput(doc, kind, reportPath, show));
                            KV_RETURN_IF_FAILED(AppendFormatSettings(doc, kind, pages));
                            return AddElement(doc, kind, L"RequestParams", [&](IXMLDOMElement* e) -> HRESULT {
                                const wchar_t* choice = params.nRecordChoice >= 0 && params.nRecordChoice <= 3
                                                            ? kChoices[params.nRecordChoice]
                                                            : L"";
                                KV_RETURN_IF_FAILED(SetAttribute(e, L"outputRecord", choice));
                                KV_RETURN_IF_FAILED(SetAttribute(e, L"recordRangeStart", params.nRangeStart));
                                KV_RETURN_IF_FAILED(SetAttribute(e, L"recordRangeEnd", params.nRangeEnd));
                                return SetAttribute(e, L"showDescription", BoolText(params.nShowDescription));
                            });
                        });
}

HRESULT BuildVarnoUserAccessRequest(int showAllWorkstations, const SPageNumbering& pages, const wchar_t* reportPath,
                                    int show, const wchar_t* taskId, const wchar_t* requestPath) {
    return BuildRequest(L"VarnoUserAccess", L"KvVarnoUA", taskId, requestPath,
                        [&](IXMLDOMDocument* doc, IXMLDOMElement* kind) -> HRESULT {
                            KV_RETURN_IF_FAILED(AppendFormatOutput(doc, kind, reportPath, show));
                            KV_RETURN_IF_FAILED(AppendFormatSettings(doc, kind, pages));
                            return AddElement(doc, kind, L"Workstations", [&](IXMLDOMElement* e) {
                                return SetAttribute(e, L"showOnlyVarno", BoolText(!showAllWorkstations));
                            });
                        });
}

HRESULT BuildPassportRequest(const SPassportDetails& details, const SPageNumbering& pages, const wchar_t* reportPath,
                             int show, const wchar_t* taskId, const wchar_t* requestPath) {
    return BuildRequest(
        L"PassportSW", L"VrnPassportRpt64", taskId, requestPath,
        [&](IXMLDOMDocument* doc, IXMLDOMElement* kind) -> HRESULT {
            KV_RETURN_IF_FAILED(AppendFormatSettings(doc, kind, pages));
            KV_RETURN_IF_FAILED(AppendFormatOutput(doc, kind, reportPath, show));
            KV_RETURN_IF_FAILED(AddElement(doc, kind, L"Caption", [&](IXMLDOMElement* caption) -> HRESULT {
                KV_RETURN_IF_FAILED(AddElement(doc, caption, L"Workstation", [&](IXMLDOMElement* e) {
                    return SetAttribute(e, L"serialNumber", details.szSerialNumber);
                }));
                KV_RETURN_IF_FAILED(AddTextElement(doc, caption, L"Division", details.szDivision));
                KV_RETURN_IF_FAILED(AddTextElement(doc, caption, L"SystemName", details.szSystemName));
                return AddTextElement(doc, caption, L"Workplace", details.szWorkplace);
            }));
            return AddElement(doc, kind, L"Signature", [&](IXMLDOMElement* signature) -> HRESULT {
                const struct {
                    const wchar_t* name;
                    const wchar_t* text;
                } heads[] = {
                    {L"ChiefDivision", details.szChiefDivision},
                    {L"ChiefDivisionTZI", details.szChiefDivisionTZI},
                    {L"ChiefDivisionSupport", details.szChiefDivisionSupport},
                };
                for (const auto& head : heads)
                    if (*Text(head.text))
                        KV_RETURN_IF_FAILED(AddTextElement(doc, signature, head.name, head.text));
                return S_OK;
            });
        });
}

HRESULT BuildResourceRequest(const SResourceFilter& filter, const SPageNumbering& pages, const wchar_t* reportPath,
                             int show, const wchar_t* taskId, const wchar_t* requestPath) {
    auto show_ = [&](int flag) { return BoolText(filter.nFlags[flag]); };
    // A section with a `show` flag and children that each carry one flag of their own.
    auto section = [&](IXMLDOMDocument* doc, IXMLDOMElement* parent, const wchar_t* name, int flag,
                       std::initializer_list<std::pair<const wchar_t*, int>> children) {
        return AddElement(doc, parent, name, [&](IXMLDOMElement* e) -> HRESULT {
            KV_RETURN_IF_FAILED(SetAttribute(e, L"show", show_(flag)));
            for (const auto& child : children)
                KV_RETURN_IF_FAILED(AddElement(doc, e, child.first, [&](IXMLDOMElement* c) -> HRESULT {
                    KV_RETURN_IF_FAILED(SetAttribute(c, L"show", show_(child.second)));
                    if (child.second == 9)
                        return SetAttribute(c, L"showEmptyItems", show_(10));
                    return S_OK;
                }));
            return S_OK;
        });
    };
    return BuildRequest(L"ResourceWS", L"VrnResourceRpt64", taskId, requestPath,
                        [&](IXMLDOMDocument* doc, IXMLDOMElement* kind) -> HRESULT {
                            KV_RETURN_IF_FAILED(AppendFormatOutput(doc, kind, reportPath, show));
                            KV_RETURN_IF_FAILED(AppendFormatSettings(doc, kind, pages));
                            return AddElement(doc, kind, L"FilterSettings", [&](IXMLDOMElement* f) -> HRESULT {
                                KV_RETURN_IF_FAILED(section(doc, f, L"MandatResources", 0, {{L"FilesResource", 1}}));
                                KV_RETURN_IF_FAILED(section(doc, f, L"EncryptedResources", 2, {{L"FilesResource", 3}}));
                                KV_RETURN_IF_FAILED(section(doc, f, L"LocalPolicySecuritySettings", 4,
                                                            {{L"SubsystemSettings", 5},
                                                             {L"UserCryptoKeys", 6},
                                                             {L"Privileges", 7},
                                                             {L"Audit", 8},
                                                             {L"DeviceInformation", 9}}));
                                KV_RETURN_IF_FAILED(section(doc, f, L"IntegrityCheck", 11, {{L"JobResources", 12}}));
                                KV_RETURN_IF_FAILED(section(doc, f, L"UserExecutionList", 13, {{L"JobResources", 14}}));
                                KV_RETURN_IF_FAILED(section(doc, f, L"LocalUsers", 15, {}));
                                KV_RETURN_IF_FAILED(section(doc, f, L"LocalGroups", 16, {}));
                                return section(doc, f, L"DomainUsers", 17, {});
                            });
                        });
}
