// Writers of the report request document: one per report kind. Each builds the whole document
// through the MSXML DOM and saves it (UTF-8) at the given path, replacing a file that is there.
// The caller's thread must have initialised COM. Result: 0 when the file was saved, otherwise the
// HRESULT of the first call that failed (nothing is saved then).
#pragma once

#include <windows.h>

struct SPageNumbering {
    int nPresent;
    int nLocation; // non-zero: top
    int nAllPagesNum;
};

struct SEventLogParams {
    int nShowDescription;
    unsigned int nRangeStart;
    unsigned int nRangeEnd;
    int nRecordChoice; // 0 All, 1 Selected, 2 Range, 3 View
};

struct SPassportDetails {
    const wchar_t* szDivision;
    const wchar_t* szSystemName;
    const wchar_t* szWorkplace;
    const wchar_t* szSerialNumber;
    const wchar_t* szChiefDivision;
    const wchar_t* szChiefDivisionTZI;
    const wchar_t* szChiefDivisionSupport;
};

struct SResourceFilter {
    int nFlags[18];
};

HRESULT BuildEventLogRequest(const SEventLogParams& params, const SPageNumbering& pages, const wchar_t* reportPath,
                             int show, const wchar_t* taskId, const wchar_t* requestPath);
HRESULT BuildVarnoUserAccessRequest(int showAllWorkstations, const SPageNumbering& pages, const wchar_t* reportPath,
                                    int show, const wchar_t* taskId, const wchar_t* requestPath);
HRESULT BuildPassportRequest(const SPassportDetails& details, const SPageNumbering& pages, const wchar_t* reportPath,
                             int show, const wchar_t* taskId, const wchar_t* requestPath);
HRESULT BuildResourceRequest(const SResourceFilter& filter, const SPageNumbering& pages, const wchar_t* reportPath,
                             int show, const wchar_t* taskId, const wchar_t* requestPath);

struct IXMLDOMDocument;
struct IXMLDOMElement;

// The three sections that every kind shares; each creates its elements in the document and
// appends them to the given parent.
HRESULT AppendHeader(IXMLDOMDocument* doc, IXMLDOMElement* root, const wchar_t* requestType, const wchar_t* dataSource,
                     const wchar_t* reportTitle, const wchar_t* taskId);
HRESULT AppendFormatOutput(IXMLDOMDocument* doc, IXMLDOMElement* kind, const wchar_t* reportPath, int show);
HRESULT AppendFormatSettings(IXMLDOMDocument* doc, IXMLDOMElement* kind, const SPageNumbering& pages);
