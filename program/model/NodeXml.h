// The node XML form ("Element") needs an MSXML DOM document; this creates one.
#pragma once

#include <windows.h>
#include <msxml2.h>

// MinGW's import libraries lack the MSXML interface ids; the ones the model uses are defined here.
inline constexpr IID kIID_IXMLDOMDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Creates an empty DOM document: the MSXML 3.0 class, else the version-independent one. COM must
// be initialised on the calling thread.
HRESULT CreateXmlDomDocument(IXMLDOMDocument** document);
