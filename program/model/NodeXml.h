// The node XML form ("Element") needs an MSXML DOM document; this creates one.
#pragma once

#include <windows.h>
#include <msxml2.h>

// MinGW's import libraries lack the MSXML ids: they are kept once, in KvMsxml.h.
#include <KvMsxml.h>

// Creates an empty DOM document: the MSXML 3.0 class, else the version-independent one. COM must
// be initialised on the calling thread.
HRESULT CreateXmlDomDocument(IXMLDOMDocument** document);
