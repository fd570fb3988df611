// The references of the load and import benchmarks: a bare SAX read of a store file through the
// platform's MSXML, its handler taking every event and keeping nothing; and the machine's price for
// the first touch of as much fresh memory as a load takes.
#pragma once

#include <KvMsxml.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <msxml2.h>
#include <shlwapi.h>
#include <string>
#include <vector>

namespace {

// A SAX handler that takes every event and keeps nothing.
class CNullHandler : public KvXml::CSaxHandlerBase {
public:
    long elements = 0;
    bool attributes = false; // also fetch every attribute's name and value, as any reader must
    HRESULT WINAPI startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                ISAXAttributes* attrs) override {
        ++elements;
        int n = 0;
        if (attributes && attrs && SUCCEEDED(attrs->getLength(&n)))
            for (int i = 0; i < n; ++i) {
                const wchar_t *q = nullptr, *v = nullptr;
                int ql = 0, vl = 0;
                attrs->getQName(i, &q, &ql);
                attrs->getValue(i, &v, &vl);
            }
        return S_OK;
    }
};

// Seconds of one bare SAX read of the file; negative when it fails.
double BareSaxRead(const std::wstring& file, long& elements, bool attributes = false) {
    CLSID clsid;
    ISAXXMLReader* reader = nullptr;
    if (FAILED(CLSIDFromProgID(L"Msxml2.SAXXMLReader.3.0", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, KvXml::IID_ISAXXMLReader,
                                reinterpret_cast<void**>(&reader))))
        return -1;
    CNullHandler handler;
    handler.attributes = attributes;
    reader->putContentHandler(&handler);
    auto t = std::chrono::steady_clock::now();
    // Read from a file stream, as the store's reader reads.
    IStream* stream = nullptr;
    HRESULT hr = SHCreateStreamOnFileEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE, nullptr, &stream);
    if (SUCCEEDED(hr)) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_UNKNOWN;
        v.punkVal = stream;
        hr = reader->parse(v);
        stream->Release();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    reader->putContentHandler(nullptr);
    reader->Release();
    elements = handler.elements;
    return SUCCEEDED(hr) ? seconds : -1;
}

// The working set of this process in bytes; 0 when it cannot be read.
size_t WorkingSetBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

// The machine's price for the memory a piece of work took: its growth of the working set since
// `before` (WorkingSetBytes) goes into `took`, and as many fresh bytes are committed and written
// once in each page; the seconds that takes, whoever touches the memory and whatever is written.
// A load that builds a large model pays it for every page its heap takes; on a virtual machine that
// backs its memory page by page it outweighs the work done in those pages. 0 when the set did not
// grow or the memory cannot be had.
double FirstTouchOfGrowth(size_t before, size_t& took) {
    const size_t after = WorkingSetBytes();
    took = after > before ? after - before : 0;
    if (took == 0)
        return 0;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const auto t = std::chrono::steady_clock::now();
    auto* p = static_cast<volatile char*>(VirtualAlloc(nullptr, took, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!p)
        return 0;
    for (size_t i = 0; i < took; i += info.dwPageSize)
        p[i] = 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    VirtualFree(const_cast<char*>(p), 0, MEM_RELEASE);
    return seconds;
}

// The median of a benchmark's rounds (the upper one of an even count); 0 when there are none.
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace
