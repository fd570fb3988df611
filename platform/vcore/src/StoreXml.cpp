// The store file: one XML format for the local store and for model files, written through MSXML's
// SAX writer and read through its SAX reader.
//
//   <VarnoStore version="1" nextId="..." localSubject="..." commitTime="...">
//     <Resources> <Resource id kind name description time controlled ...> [<Property code type value/>] </Resources>
//     <RGroups>   <Group id kind name description time> <Member id/>... </RGroups>
//     <Tasks>     <Task id kind ...> <Member id/>... </Tasks>
//     <Jobs>      <Job id kind ...> <Group id/>... <Task id/>... </Jobs>
//     <Subjects>  <Subject id kind name description time os> <Job id/>... </Subjects>
//   </VarnoStore>
//
// Times are the 64-bit FILETIME count in decimal, so they come back exactly. A text that XML cannot
// carry unchanged in an attribute (control characters, tabs and line breaks, which attribute
// normalisation would turn into spaces, lone surrogates) is written as "<name>.hex": its UTF-16
// code units as four hex digits each.
#include "StoreImpl.h"

#include <KvMsxml.h>
#include <msxml2.h>
#include <oleauto.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>
#include <tuple>
#include <unordered_set>
#include <vector>

namespace Varno {
namespace Impl {

const int kStoreFormatVersion = 1;
const int kMaxStoreFormatVersion = 10;

using KvXml::TComPtr;

static void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        char buf[32];
        snprintf(buf, sizeof buf, " (0x%08lX)", static_cast<unsigned long>(hr));
        ThrowStoreError(hr, std::string("XML ") + what + " failed" + buf);
    }
}

// Creates an MSXML object by ProgID: the given version first, then the version-independent one.
static void CreateXmlObject(const wchar_t* progId, const wchar_t* fallback, const GUID& iid, void** out) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    if (FAILED(hr)) {
        hr = CLSIDFromProgID(fallback, &clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    }
    Check(hr, "object creation");
}

// A stream over a file handle, for the SAX reader's input and the writer's output.
class CFileStream : public IStream {
public:
    explicit CFileStream(HANDLE h) : m_refs(1), m_h(h) {}
    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ++m_refs; }
    ULONG WINAPI Release() override { return --m_refs; } // lives on the caller's stack
    // The parser asks for a few KB at a time: the file is read in larger pieces, so that a store
    // file of many MB takes a few hundred reads, not thousands. A failed read of the file is kept
    // (ReadFailure): the reader reports it, not what the parser makes of a stream that ends early.
    HRESULT WINAPI Read(void* pv, ULONG cb, ULONG* read) override {
        if (read)
            *read = 0;
        if (m_readFailure)
            return HRESULT_FROM_WIN32(m_readFailure);
        char* out = static_cast<char*>(pv);
        ULONG n = 0;
        while (n < cb) {
            if (m_pos == m_len) {
                if (m_eof)
                    break;
                if (!m_buffer)
                    m_buffer.reset(new char[kReadPiece]);
                DWORD got = 0;
                if (!ReadFile(m_h, m_buffer.get(), kReadPiece, &got, nullptr)) {
                    m_readFailure = GetLastError();
                    if (!m_readFailure)
                        m_readFailure = ERROR_READ_FAULT;
                    if (n)
                        break; // what was read is given now, as more to come; the next read fails
                    return HRESULT_FROM_WIN32(m_readFailure);
                }
                m_pos = 0;
                m_len = got;
                m_eof = got == 0;
                continue;
            }
            const ULONG take = std::min<ULONG>(cb - n, m_len - m_pos);
            memcpy(out + n, m_buffer.get() + m_pos, take);
            m_pos += take;
            n += take;
        }
        if (read)
            *read = n;
        return n < cb && !m_readFailure ? S_FALSE : S_OK;
    }
    HRESULT WINAPI Write(const void* pv, ULONG cb, ULONG* written) override {
        DWORD n = 0;
        if (!WriteFile(m_h, pv, cb, &n, nullptr) || n != cb) {
            m_failed = HRESULT_FROM_WIN32(GetLastError());
            if (SUCCEEDED(m_failed))
                m_failed = STG_E_MEDIUMFULL;
            return m_failed;
        }
        if (written)
            *written = n;
        return S_OK;
    }
    HRESULT WINAPI Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT WINAPI SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT WINAPI CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT WINAPI Commit(DWORD) override { return S_OK; }
    HRESULT WINAPI Revert() override { return E_NOTIMPL; }
    HRESULT WINAPI LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT WINAPI Clone(IStream**) override { return E_NOTIMPL; }
    HRESULT WriteFailure() const { return m_failed; }
    DWORD ReadFailure() const { return m_readFailure; } // the system's code; 0 when every read succeeded

private:
    static const ULONG kReadPiece = 256 * 1024;
    ULONG m_refs;
    HANDLE m_h;
    HRESULT m_failed = S_OK;
    DWORD m_readFailure = 0;
    std::unique_ptr<char[]> m_buffer; // what was read ahead: m_pos to m_len
    ULONG m_pos = 0, m_len = 0;
    bool m_eof = false;
};

class CHandle {
public:
    explicit CHandle(HANDLE h) : h(h) {}
    ~CHandle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    HANDLE h;
};

using KvXml::CBstr;

static bool XmlSafe(const std::wstring& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

static std::wstring ToHex(const std::wstring& s) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring h;
    h.reserve(s.size() * 4);
    for (wchar_t c : s)
        for (int shift = 12; shift >= 0; shift -= 4)
            h += digits[(c >> shift) & 0xF];
    return h;
}

static std::wstring FromHex(const std::wstring& h) {
    if (h.size() % 4)
        ThrowStoreError(E_FAIL, "store file: a hex text has a wrong length");
    std::wstring s;
    for (size_t i = 0; i < h.size(); i += 4) {
        unsigned v = 0;
        for (size_t k = 0; k < 4; ++k) {
            wchar_t c = h[i + k];
            v <<= 4;
            if (c >= L'0' && c <= L'9')
                v |= c - L'0';
            else if (c >= L'A' && c <= L'F')
                v |= c - L'A' + 10;
            else if (c >= L'a' && c <= L'f')
                v |= c - L'a' + 10;
            else
                ThrowStoreError(E_FAIL, "store file: a hex text holds a wrong character");
        }
        s += static_cast<wchar_t>(v);
    }
    return s;
}

// ----- Writing -----

class CXmlWriter {
public:
    explicit CXmlWriter(IStream* out) : m_empty(L""), m_cdata(L"CDATA") {
        CreateXmlObject(L"Msxml2.MXXMLWriter.3.0", L"Msxml2.MXXMLWriter", KvXml::IID_IMXWriter,
                        reinterpret_cast<void**>(&m_writer));
        CreateXmlObject(L"Msxml2.SAXAttributes.3.0", L"Msxml2.SAXAttributes", KvXml::IID_IMXAttributes,
                        reinterpret_cast<void**>(&m_attrs));
        Check(m_writer->QueryInterface(KvXml::IID_ISAXContentHandler, reinterpret_cast<void**>(&m_handler)),
              "writer handler");
        Check(m_attrs->QueryInterface(KvXml::IID_ISAXAttributes, reinterpret_cast<void**>(&m_saxAttrs)), "attributes");
        CBstr enc(L"UTF-8");
        Check(m_writer->put_encoding(enc), "encoding");
        m_writer->put_byteOrderMark(VARIANT_FALSE);
        m_writer->put_indent(VARIANT_TRUE);
        m_writer->put_standalone(VARIANT_TRUE);
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_UNKNOWN;
        v.punkVal = out;
        Check(m_writer->put_output(v), "output");
        Check(m_handler->startDocument(), "document start");
    }
    ~CXmlWriter() {
        for (auto& kv : m_names)
            SysFreeString(kv.second);
    }

    void Attr(const wchar_t* name, const std::wstring& value) {
        if (XmlSafe(value)) {
            AddAttr(name, value);
        } else {
            std::wstring hexName = std::wstring(name) + L".hex";
            AddAttr(Name(hexName.c_str()), ToHex(value));
        }
    }
    void Attr(const wchar_t* name, long long v) { AddAttr(name, std::to_wstring(v)); }
    void AttrInt(const wchar_t* name, long long v) { AddAttr(name, std::to_wstring(v)); }

    void Start(const wchar_t* element) {
        Check(m_handler->startElement(L"", 0, L"", 0, element, static_cast<int>(wcslen(element)), m_saxAttrs.Get()),
              "element start");
        Check(m_attrs->clear(), "attribute reset");
    }
    void End(const wchar_t* element) {
        Check(m_handler->endElement(L"", 0, L"", 0, element, static_cast<int>(wcslen(element))), "element end");
    }
    void Finish() {
        Check(m_handler->endDocument(), "document end");
        Check(m_writer->flush(), "flush");
    }

private:
    // Attribute names live as BSTRs for the whole write.
    const wchar_t* Name(const wchar_t* n) {
        auto it = m_names.find(n);
        if (it != m_names.end())
            return it->second;
        BSTR b = SysAllocString(n);
        m_names[n] = b;
        return b;
    }
    void AddAttr(const wchar_t* name, const std::wstring& value) {
        CBstr v(value.data(), static_cast<UINT>(value.size()));
        BSTR n = const_cast<BSTR>(Name(name));
        Check(m_attrs->addAttribute(m_empty, n, n, m_cdata, v), "attribute");
    }

    TComPtr<IMXWriter> m_writer;
    TComPtr<IMXAttributes> m_attrs;
    TComPtr<ISAXContentHandler> m_handler;
    TComPtr<ISAXAttributes> m_saxAttrs;
    CBstr m_empty, m_cdata;
    std::map<std::wstring, BSTR> m_names;
};

static const wchar_t* ValueType(const _value_t& v) {
    switch (v.vtype()) {
    case _value_t::vt_int:
        return L"int";
    case _value_t::vt_long:
        return L"long";
    case _value_t::vt_ulong:
        return L"ulong";
    case _value_t::vt_int64:
        return L"int64";
    case _value_t::vt_bool:
        return L"bool";
    case _value_t::vt_string:
        return L"string";
    case _value_t::vt_wstring:
        return L"wstring";
    default:
        return nullptr;
    }
}

// The content in the writer's walk as a run of tokens, hashed as they come: each value with its
// type and length, and each element by its first letter, which tells apart the elements that can
// stand in one place (a job's groups and tasks). Which attribute comes next follows from what came
// before (an item's kind decides its attributes), so their names are left out; so is the commit
// time, which a commit of an unchanged content keeps. Two 64-bit lanes of multiply-rotate mixing
// over 8-byte words: a digest against chance, not against a forger (the store file's stamp, not
// the digest, tells whether someone else wrote the file).
class CContentDigest {
public:
    void Attr(const wchar_t*, const std::wstring& value) {
        Put('s', value.size());
        Bytes(value.data(), value.size() * sizeof(wchar_t));
    }
    void Attr(const wchar_t* name, long long v) { AttrInt(name, v); }
    void AttrInt(const wchar_t* name, long long v) {
        if (name[0] != L'c' || wcscmp(name, L"commitTime") != 0)
            Put('i', static_cast<unsigned long long>(v));
    }
    void Start(const wchar_t* element) { Put('<', element[0]); }
    void End(const wchar_t*) { Put('>', 0); }
    void Finish() {}

    StoreDigest Result() {
        StoreDigest d;
        d.a = Mix(m_a ^ m_length);
        d.b = Mix(m_b + m_length * kK1);
        return d;
    }

private:
    static constexpr unsigned long long kK1 = 0x9E3779B97F4A7C15ULL, kK2 = 0xC2B2AE3D27D4EB4FULL,
                                        kK3 = 0x165667B19E3779F9ULL, kK4 = 0xD6E8FEB86659FD93ULL;
    static unsigned long long Rotl(unsigned long long x, int r) { return (x << r) | (x >> (64 - r)); }
    static unsigned long long Mix(unsigned long long x) {
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDULL;
        x ^= x >> 33;
        x *= 0xC4CEB9FE1A85EC53ULL;
        x ^= x >> 33;
        return x;
    }
    void Word(unsigned long long w) {
        m_a = Rotl(m_a ^ (w * kK1), 31) * kK2;
        m_b = Rotl(m_b ^ (w * kK3), 29) * kK4 + m_a;
        ++m_length;
    }
    void Put(char tag, unsigned long long v) {
        Word(static_cast<unsigned char>(tag));
        Word(v);
    }
    void Bytes(const void* p, size_t n) {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        for (; n >= 8; b += 8, n -= 8) {
            unsigned long long w;
            memcpy(&w, b, 8);
            Word(w);
        }
        if (n) {
            unsigned long long w = 0;
            memcpy(&w, b, n);
            Word(w);
        }
    }
    unsigned long long m_a = 0x243F6A8885A308D3ULL, m_b = 0x13198A2E03707344ULL, m_length = 0;
};

template <class W>
static void WriteCommon(W& w, const ItemFields& f) {
    w.AttrInt(L"id", f.id);
    w.AttrInt(L"kind", f.kind);
    w.Attr(L"name", f.name);
    w.Attr(L"description", f.description);
    w.AttrInt(L"time", f.time.value());
}

template <class W>
static void WriteCommon(W& w, StoreItem* item) {
    auto* info = static_cast<CItemInfo*>(item->QueryItem(PartItemInfo));
    if (!info)
        ThrowStoreError(E_UNEXPECTED, "an item of another provider cannot be written");
    WriteCommon(w, info->InfoFields());
}

template <class W>
static void WriteMembers(W& w, const ItemVector& list, const wchar_t* element) {
    for (const auto& m : list) {
        w.AttrInt(L"id", m->GetId());
        w.Start(element);
        w.End(element);
    }
}

template <class W>
static void WriteContent(W& w, const StoreContent& c) {
    w.AttrInt(L"version", c.version);
    w.AttrInt(L"nextId", c.nextId);
    w.AttrInt(L"localSubject", c.localSubject ? c.localSubject->GetId() : 0);
    w.AttrInt(L"commitTime", c.commitTime.value());
    w.Start(L"VarnoStore");

    w.Start(L"Resources");
    for (const auto& item : c.resources) {
        CResourceBase* rb = AsResourceBase(item.Get());
        if (!rb)
            ThrowStoreError(E_UNEXPECTED, "a resource of another provider cannot be written");
        const ResourceFields& r = rb->RData();
        WriteCommon(w, rb->RFields());
        w.AttrInt(L"controlled", r.controlled ? 1 : 0);
        switch (item->GetKind()) {
        case ResourceKindFile:
            w.AttrInt(L"executable", r.executable ? 1 : 0);
            break;
        case ResourceKindRegistryValue:
            w.Attr(L"key", r.key);
            w.Attr(L"valueName", r.valueName);
            break;
        case ResourceKindDiskSector:
            w.AttrInt(L"disk", r.disk);
            w.AttrInt(L"sector", r.sector);
            break;
        case ResourceKindSMBIOSField:
            w.AttrInt(L"fieldType", r.fieldType);
            w.AttrInt(L"fieldOffset", r.fieldOffset);
            w.AttrInt(L"fieldLength", r.fieldLength);
            [[fallthrough]]; // a field carries its table too
        case ResourceKindSMBIOSTable:
            w.AttrInt(L"tableType", r.table.type);
            w.AttrInt(L"tableLength", r.table.length);
            w.AttrInt(L"tableHandle", r.table.handle);
            break;
        }
        w.Start(L"Resource");
        for (const auto& p : r.properties) {
            w.AttrInt(L"code", p.first);
            if (const wchar_t* type = ValueType(p.second)) {
                w.Attr(L"type", type);
                w.Attr(L"value", p.second.as_wstring());
            }
            w.Start(L"Property");
            w.End(L"Property");
        }
        w.End(L"Resource");
    }
    w.End(L"Resources");

    w.Start(L"RGroups");
    for (const auto& item : c.groups) {
        WriteCommon(w, item.Get());
        w.Start(L"Group");
        WriteMembers(w, AsMembers(item.Get())->Members(0), L"Member");
        w.End(L"Group");
    }
    w.End(L"RGroups");

    w.Start(L"Tasks");
    for (const auto& item : c.tasks) {
        WriteCommon(w, item.Get());
        w.Start(L"Task");
        WriteMembers(w, AsMembers(item.Get())->Members(0), L"Member");
        w.End(L"Task");
    }
    w.End(L"Tasks");

    w.Start(L"Jobs");
    for (const auto& item : c.jobs) {
        WriteCommon(w, item.Get());
        w.Start(L"Job");
        WriteMembers(w, AsMembers(item.Get())->Members(0), L"Group");
        WriteMembers(w, AsMembers(item.Get())->Members(1), L"Task");
        w.End(L"Job");
    }
    w.End(L"Jobs");

    w.Start(L"Subjects");
    for (const auto& item : c.subjects) {
        WriteCommon(w, item.Get());
        w.Attr(L"os", item_cast<ISubject>(item)->GetOsDescription());
        w.Start(L"Subject");
        WriteMembers(w, AsMembers(item.Get())->Members(0), L"Job");
        w.End(L"Subject");
    }
    w.End(L"Subjects");

    w.End(L"VarnoStore");
    w.Finish();
}

StoreDigest DigestOfContent(const StoreContent& content) {
    CContentDigest w;
    WriteContent(w, content);
    return w.Result();
}

bool StampOfHandle(HANDLE h, StoreFileStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandle(h, &info) || !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
        return false;
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.file.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.file.id = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.file.written = static_cast<unsigned long long>(basic.LastWriteTime.QuadPart);
    stamp.file.changed = static_cast<unsigned long long>(basic.ChangeTime.QuadPart);
    return true;
}

bool StampOfFile(const std::wstring& path, StoreFileStamp& stamp) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = StampOfHandle(h, stamp);
    CloseHandle(h);
    return ok;
}

namespace {

const char kStoreRoot[] = "<VarnoStore";

// Whether the bytes are the beginning of a file as this writer makes it: UTF-8 without a byte-order
// mark, the XML declaration, then the root element; or any part of that, as a file cut short holds.
bool StartsAsStoreFile(const char* p, size_t n) {
    const char* end = p + n;
    auto startsWith = [&end](const char* at, const char* want) {
        size_t len = strlen(want), have = static_cast<size_t>(end - at);
        return strncmp(at, want, std::min(len, have)) == 0;
    };
    if (p == end)
        return true;
    if (startsWith(p, "<?")) {
        if (!startsWith(p, "<?xml "))
            return false;
        const char* close = std::search(p, end, "?>", "?>" + 2);
        if (close == end)
            return true; // cut short inside the declaration
        p = close + 2;
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
            ++p;
        if (p == end)
            return true;
    }
    return startsWith(p, kStoreRoot);
}

// A file opened so that nobody else can open it, with the right to delete it; invalid when some
// process holds it (or it is gone, or not this user's to delete).
HANDLE OpenUnheld(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

} // namespace

} // namespace Impl

bool RemoveStrayStoreFile(const std::wstring& path) {
    HANDLE h = Impl::OpenUnheld(path);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char head[512];
    DWORD n = 0;
    FILE_DISPOSITION_INFO dispose = {TRUE};
    bool removed = ReadFile(h, head, sizeof head, &n, nullptr) && Impl::StartsAsStoreFile(head, n) &&
                   SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    CloseHandle(h);
    return removed;
}

namespace Impl {

// Temporary files that commits into the folder of path left when they ended half-way (their process
// killed, the machine stopped): "<name>.new" files that no process holds and that hold the
// beginning of a store file. A commit holds its temporary file without sharing from its creation
// until the file has taken the store's place, so one that opens without sharing is nobody's.
void RemoveStrayCommitFiles(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileExW((folder + L"*.new").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        // The pattern also matches short names: only a long name that ends so is a commit's.
        size_t len = wcslen(fd.cFileName);
        if ((fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || len <= 4 ||
            CompareStringOrdinal(fd.cFileName + len - 4, 4, L".new", 4, TRUE) != CSTR_EQUAL)
            continue;
        RemoveStrayStoreFile(folder + fd.cFileName);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

// Puts the file of handle h in the place of path, replacing what is there, while h stays open.
static bool RenameHeld(HANDLE h, const std::wstring& path) {
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + (path.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(path.size() * sizeof(wchar_t));
    memcpy(info->FileName, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    return SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buffer.size()));
}

bool WriteStoreFile(const std::wstring& path, const StoreContent& content, StoreFileStamp* written) {
    for (const auto* list : {&content.subjects, &content.jobs, &content.tasks, &content.groups})
        for (const auto& item : *list)
            if (!AsMembers(item.Get()))
                ThrowStoreError(E_UNEXPECTED, "an item of another provider cannot be written");

    RemoveStrayCommitFiles(path);
    // The new store goes into a file beside the old one, is flushed to the disk and then takes the
    // old one's place in one rename. The file is held without sharing all along, so a second
    // writer of the same store finds it in use and no other commit takes it for a stray one.
    std::wstring temp = path + L".new";
    CHandle h(
        CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.h == INVALID_HANDLE_VALUE)
        ThrowSystemException();
    try {
        CFileStream stream(h.h);
        {
            CXmlWriter w(&stream);
            WriteContent(w, content);
        }
        if (FAILED(stream.WriteFailure()))
            ThrowStoreError(stream.WriteFailure(), L"the store file could not be written: " + temp);
        if (!FlushFileBuffers(h.h))
            ThrowSystemException();
    } catch (...) {
        FILE_DISPOSITION_INFO dispose = {TRUE};
        SetFileInformationByHandle(h.h, FileDispositionInfo, &dispose, sizeof dispose);
        throw;
    }
    // Held without sharing from its creation to here, the file in place is the one just written.
    if (RenameHeld(h.h, path))
        return written && StampOfHandle(h.h, *written);
    // A file system that cannot rename an open file: the rename by name after the close.
    CloseHandle(h.h);
    h.h = INVALID_HANDLE_VALUE;
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD e = GetLastError();
        DeleteFileW(temp.c_str());
        ThrowSystemException(e);
    }
    return false;
}

// ----- Reading -----

// Store files never carry a document type declaration. One would let the file add default
// attributes to items (an <!ATTLIST> default), define entities or name outside resources, so the
// reader refuses it on its own through the declaration callbacks, whatever the platform's parser
// does with its request to prohibit one.
static const wchar_t kDtdRefused[] =
    L"the file has a document type declaration (<!DOCTYPE>); store and model files are read only without one";

class CXmlReader : public KvXml::CSaxHandlerBase,
                   public ISAXErrorHandler,
                   public ISAXLexicalHandler,
                   public ISAXDeclHandler,
                   public ISAXDTDHandler {
public:
    CXmlReader(const ItemFactory& f, StoreContent& c, IStoreReadWatcher* watcher)
        : m_factory(f), m_c(c), m_watcher(watcher) {}

    HRESULT WINAPI QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == KvXml::IID_ISAXContentHandler)
            *ppv = static_cast<ISAXContentHandler*>(this);
        else if (riid == KvXml::IID_ISAXErrorHandler)
            *ppv = static_cast<ISAXErrorHandler*>(this);
        else if (riid == KvXml::IID_ISAXLexicalHandler)
            *ppv = static_cast<ISAXLexicalHandler*>(this);
        else if (riid == KvXml::IID_ISAXDeclHandler)
            *ppv = static_cast<ISAXDeclHandler*>(this);
        else if (riid == KvXml::IID_ISAXDTDHandler)
            *ppv = static_cast<ISAXDTDHandler*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }

    // Declarations: any of them means a document type declaration.
    HRESULT WINAPI startDTD(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override { return Dtd(); }
    HRESULT WINAPI endDTD() override { return Dtd(); }
    HRESULT WINAPI startEntity(const wchar_t*, int) override { return S_OK; } // only with a declaration
    HRESULT WINAPI endEntity(const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI startCDATA() override { return S_OK; }
    HRESULT WINAPI endCDATA() override { return S_OK; }
    HRESULT WINAPI comment(const wchar_t*, int) override { return S_OK; }
    HRESULT WINAPI elementDecl(const wchar_t*, int, const wchar_t*, int) override { return Dtd(); }
    HRESULT WINAPI attributeDecl(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, const wchar_t*, int,
                                 const wchar_t*, int) override {
        return Dtd();
    }
    HRESULT WINAPI internalEntityDecl(const wchar_t*, int, const wchar_t*, int) override { return Dtd(); }
    HRESULT WINAPI externalEntityDecl(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override {
        return Dtd();
    }
    HRESULT WINAPI notationDecl(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override {
        return Dtd();
    }
    HRESULT WINAPI unparsedEntityDecl(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, const wchar_t*,
                                      int) override {
        return Dtd();
    }

    HRESULT WINAPI error(ISAXLocator*, const wchar_t* msg, HRESULT hr) override { return Fail(msg, hr); }
    HRESULT WINAPI fatalError(ISAXLocator*, const wchar_t* msg, HRESULT hr) override { return Fail(msg, hr); }
    HRESULT WINAPI ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) override { return S_OK; }

    HRESULT WINAPI startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t* qn, int qlen,
                                ISAXAttributes* attrs) override {
        if (m_sawDtd)
            return Dtd();
        try {
            m_name.assign(qn, qlen); // one buffer for every element's name
            ReadAttrs(attrs);
            Element(m_name);
            ++m_depth;
            return S_OK;
        } catch (const EGeneric& e) {
            return Fail(e.text().c_str(), E_FAIL);
        } catch (const std::exception& e) {
            return Fail(as_wstring(e.what()).c_str(), E_FAIL);
        }
    }
    HRESULT WINAPI endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override {
        --m_depth;
        if (m_depth == 2)
            m_current.Reset();
        if (m_depth == 1)
            m_section.clear();
        return S_OK;
    }

    // Resolves the links by ID once every item is read. The IDs are looked up in one sorted list
    // (a store holds a few hundred thousand items: one allocation, not one per item).
    void Finish() {
        if (!m_sawRoot)
            ThrowStoreError(E_FAIL, "the file is not a store file (no VarnoStore element)");
        using Entry = std::pair<long long, StoreItem*>;
        std::vector<Entry> byId;
        byId.reserve(m_c.subjects.size() + m_c.jobs.size() + m_c.tasks.size() + m_c.groups.size() +
                     m_c.resources.size());
        for (auto* list : {&m_c.subjects, &m_c.jobs, &m_c.tasks, &m_c.groups, &m_c.resources})
            for (const auto& i : *list)
                byId.emplace_back(i->GetId(), i.Get());
        // The items are written in ID order within each list, so the sort finds them mostly in place.
        std::sort(byId.begin(), byId.end(), [](const Entry& a, const Entry& b) { return a.first < b.first; });
        if (std::adjacent_find(byId.begin(), byId.end(),
                               [](const Entry& a, const Entry& b) { return a.first == b.first; }) != byId.end())
            ThrowDuplicateId();
        auto find = [&byId](long long id) -> StoreItem* {
            auto it =
                std::lower_bound(byId.begin(), byId.end(), id, [](const Entry& e, long long v) { return e.first < v; });
            return it != byId.end() && it->first == id ? it->second : nullptr;
        };
        // The links of one item stand together. Each member is taken once into a list, at its first
        // link (a subject, group or task has one list whatever the link's element).
        struct Accepted {
            MemberList* list;
            StoreItem* member;
            size_t position;
            bool repeat;
        };
        std::vector<Accepted> accepted;
        std::vector<Accepted*> order;
        for (size_t first = 0, last = 0; first < m_links.size(); first = last) {
            StoreItem* owner = m_links[first].owner.Get();
            while (last < m_links.size() && m_links[last].owner.Get() == owner)
                ++last;
            MemberList* lists[2] = {nullptr, nullptr};
            bool looked[2] = {false, false};
            accepted.clear();
            for (size_t k = first; k < last; ++k) {
                const int list = m_links[k].list;
                StoreItem* member = find(m_links[k].id);
                if (!member)
                    continue; // a link to an item that is not there is left out
                if (!LinkFits(owner, list, member))
                    continue;
                const int slot = list == 1 ? 1 : 0;
                if (!looked[slot]) {
                    lists[slot] = LoadedMemberList(owner, list);
                    looked[slot] = true;
                }
                if (lists[slot])
                    accepted.push_back(Accepted{lists[slot], member, accepted.size(), false});
            }
            order.clear();
            for (auto& a : accepted)
                order.push_back(&a);
            std::sort(order.begin(), order.end(), [](const Accepted* a, const Accepted* b) {
                return std::tie(a->list, a->member, a->position) < std::tie(b->list, b->member, b->position);
            });
            for (size_t k = 1; k < order.size(); ++k)
                order[k]->repeat = order[k]->list == order[k - 1]->list && order[k]->member == order[k - 1]->member;
            for (const auto& a : accepted)
                if (!a.repeat)
                    a.list->AddLoaded(SmartPtr<StoreItem>(a.member));
        }
        if (m_localSubject) {
            if (StoreItem* subject = find(m_localSubject))
                m_c.localSubject = item_cast<ISubject>(SmartPtr<StoreItem>(subject));
        }
        const long long maxId = byId.empty() ? 0 : std::max(0LL, byId.back().first);
        if (maxId == LLONG_MAX) {
            m_c.nextId = LLONG_MAX;
            m_c.idsExhausted = true; // readable and savable, but nothing new can be added
        } else if (m_c.nextId <= maxId) {
            m_c.nextId = maxId + 1;
        }
    }

    std::wstring m_error;
    bool m_sawDtd = false;

private:
    struct Link {
        SmartPtr<StoreItem> owner;
        int list;
        long long id;
    };

    // Names the first ID, in the order of the lists, that an earlier item of the file holds.
    [[noreturn]] void ThrowDuplicateId() const {
        std::unordered_set<long long> seen;
        for (auto* list : {&m_c.subjects, &m_c.jobs, &m_c.tasks, &m_c.groups, &m_c.resources})
            for (const auto& i : *list)
                if (!seen.insert(i->GetId()).second)
                    ThrowStoreError(E_FAIL, "store file: the ID " + std::to_string(i->GetId()) + " is used twice");
        ThrowStoreError(E_FAIL, "store file: an ID is used twice");
    }

    HRESULT Dtd() {
        m_sawDtd = true;
        m_error = kDtdRefused; // this reason wins over what the parser says after the refusal
        return E_FAIL;
    }
    HRESULT Fail(const wchar_t* msg, HRESULT hr) {
        if (m_error.empty())
            m_error = msg ? msg : L"XML error";
        return FAILED(hr) ? hr : E_FAIL;
    }

    // The element's attributes, "X.hex" read as "X"; of two of one name the later holds. Kept in
    // a list whose strings are reused from element to element: a store file has a few hundred
    // thousand elements of about ten attributes each.
    void ReadAttrs(ISAXAttributes* attrs) {
        m_attrCount = 0;
        int n = 0;
        attrs->getLength(&n);
        for (int i = 0; i < n; ++i) {
            const wchar_t *qn = nullptr, *v = nullptr;
            int qlen = 0, vlen = 0;
            if (FAILED(attrs->getQName(i, &qn, &qlen)) || FAILED(attrs->getValue(i, &v, &vlen)))
                continue;
            bool hex = qlen > 4 && std::wstring::traits_type::compare(qn + qlen - 4, L".hex", 4) == 0;
            if (hex)
                qlen -= 4;
            std::pair<std::wstring, std::wstring>* slot = nullptr;
            for (size_t j = 0; j < m_attrCount && !slot; ++j)
                if (m_attrs[j].first.compare(0, std::wstring::npos, qn, qlen) == 0)
                    slot = &m_attrs[j];
            if (!slot) {
                if (m_attrCount == m_attrs.size())
                    m_attrs.emplace_back();
                slot = &m_attrs[m_attrCount++];
                slot->first.assign(qn, qlen);
            }
            slot->second.assign(v ? v : L"", v ? vlen : 0);
            if (hex)
                slot->second = FromHex(slot->second);
        }
    }
    const std::wstring* Find(const wchar_t* k) const {
        const size_t length = std::wstring::traits_type::length(k);
        for (size_t j = 0; j < m_attrCount; ++j) {
            const std::wstring& name = m_attrs[j].first;
            if (name.size() == length && name[0] == k[0] &&
                std::wstring::traits_type::compare(name.data(), k, length) == 0)
                return &m_attrs[j].second;
        }
        return nullptr;
    }
    bool Has(const wchar_t* k) const { return Find(k) != nullptr; }
    std::wstring Str(const wchar_t* k) const {
        const std::wstring* v = Find(k);
        return v ? *v : std::wstring();
    }
    long long Num(const wchar_t* k, bool required = true) const {
        const std::wstring* text = Find(k);
        if (!text) {
            if (required)
                ThrowStoreError(E_FAIL, L"store file: the attribute \"" + std::wstring(k) + L"\" is missing");
            return 0;
        }
        const wchar_t* s = text->c_str();
        // Most numbers are a few plain digits, read here; anything else (signs, spaces, long
        // numbers) goes through wcstoll, which decides what is a number.
        if (!text->empty() && text->size() <= 18) {
            long long v = 0;
            size_t i = 0;
            for (; i < text->size() && s[i] >= L'0' && s[i] <= L'9'; ++i)
                v = v * 10 + (s[i] - L'0');
            if (i == text->size())
                return v;
        }
        wchar_t* end = nullptr;
        errno = 0;
        long long v = wcstoll(s, &end, 10);
        if (end == s || *end || errno)
            ThrowStoreError(E_FAIL, L"store file: \"" + std::wstring(k) + L"\" is not a number: " + *text);
        return v;
    }
    ItemFields Common() const {
        ItemFields f;
        f.id = Num(L"id");
        f.kind = static_cast<int>(Num(L"kind"));
        f.name = Str(L"name");
        f.description = Str(L"description");
        f.time = _time_t(Num(L"time", false));
        // IDs with the top bit set (negative) are those of the board's own configuration.
        if (f.id == 0)
            ThrowStoreError(E_FAIL, "store file: an item has no valid ID");
        return f;
    }

    void Element(const std::wstring& name) {
        if (m_depth == 0) {
            if (name != L"VarnoStore")
                ThrowStoreError(E_FAIL, L"the file is not a store file (its root is \"" + name + L"\")");
            long long version = Num(L"version");
            if (version < 1 || version > kMaxStoreFormatVersion)
                ThrowStoreError(E_FAIL, "the store file has the format version " + std::to_string(version) +
                                            ", which this provider does not read");
            m_sawRoot = true;
            m_c.version = static_cast<int>(version);
            m_c.nextId = std::max(1LL, Num(L"nextId", false));
            m_c.commitTime = _time_t(Num(L"commitTime", false));
            m_localSubject = Num(L"localSubject", false);
            return;
        }
        if (m_depth == 1) {
            m_section = name;
            if (name == L"Resources")
                m_c.resourcesSection = true;
            else if (name == L"RGroups")
                m_c.groupsSection = true;
            else if (name == L"Tasks")
                m_c.tasksSection = true;
            return;
        }
        if (m_depth == 2) {
            ItemVector* list = nullptr;
            if (m_section == L"Resources" && name == L"Resource") {
                ResourceFields r;
                r.controlled = Num(L"controlled", false) != 0 || !Has(L"controlled");
                r.executable = Num(L"executable", false) != 0;
                r.key = Str(L"key");
                r.valueName = Str(L"valueName");
                long long disk = Num(L"disk", false);
                if (disk < 0 || disk > 255)
                    ThrowStoreError(E_FAIL, "store file: a disk number is out of range");
                r.disk = static_cast<unsigned char>(disk);
                r.sector = Num(L"sector", false);
                // A sector number the store cannot save is refused here, naming the item, rather
                // than taken in and left to fail every later save.
                if (r.sector < 0)
                    ThrowStoreError(E_FAIL, L"store file: the resource \"" + Str(L"name") + L"\" (ID " + Str(L"id") +
                                                L") has the sector number " + std::to_wstring(r.sector) +
                                                L"; a sector number cannot be negative");
                r.table.type = static_cast<int>(Num(L"tableType", false));
                r.table.length = static_cast<int>(Num(L"tableLength", false));
                r.table.handle = static_cast<int>(Num(L"tableHandle", false));
                r.fieldType = static_cast<int>(Num(L"fieldType", false));
                r.fieldOffset = static_cast<int>(Num(L"fieldOffset", false));
                r.fieldLength = static_cast<int>(Num(L"fieldLength", false));
                m_current = m_factory.Resource(Common(), std::move(r));
                list = &m_c.resources;
                if (m_watcher)
                    m_watcher->ResourceRead(item_cast<IResource>(m_current));
            } else if (m_section == L"RGroups" && name == L"Group") {
                m_current = m_factory.Group(Common());
                list = &m_c.groups;
            } else if (m_section == L"Tasks" && name == L"Task") {
                m_current = m_factory.Task(Common());
                list = &m_c.tasks;
            } else if (m_section == L"Jobs" && name == L"Job") {
                m_current = m_factory.Job(Common());
                list = &m_c.jobs;
            } else if (m_section == L"Subjects" && name == L"Subject") {
                m_current = m_factory.Subject(Common(), Str(L"os"));
                list = &m_c.subjects;
            }
            if (list)
                list->push_back(m_current);
            return;
        }
        if (m_depth == 3 && m_current) {
            if (name == L"Property") {
                auto* rb = AsResourceBase(m_current.Get());
                if (rb && m_current->GetKind() == ResourceKindDevice) {
                    int code = static_cast<int>(Num(L"code"));
                    auto dev = item_cast<IDevice>(m_current);
                    std::wstring type = Str(L"type"), value = Str(L"value");
                    _value_t v;
                    if (type == L"int")
                        v = _value_t(static_cast<int>(Num(L"value")));
                    else if (type == L"long")
                        v = _value_t(static_cast<long>(Num(L"value")));
                    else if (type == L"ulong")
                        v = _value_t(static_cast<unsigned long>(Num(L"value")));
                    else if (type == L"int64")
                        v = _value_t(Num(L"value"));
                    else if (type == L"bool")
                        v = _value_t(value == L"true" || value == L"1");
                    else if (type == L"string")
                        v = _value_t(as_string(value, CP_ACP));
                    else if (type == L"wstring")
                        v = _value_t(value);
                    dev->SetProperty(code, v);
                }
                return;
            }
            int list = (name == L"Task") ? 1 : 0;
            if (name == L"Member" || name == L"Group" || name == L"Task" || name == L"Job")
                m_links.push_back(Link{m_current, list, Num(L"id")});
        }
    }

    // A link read from the file must join items of the kinds the add operations allow.
    static bool LinkFits(StoreItem* owner, int list, StoreItem* member) {
        switch (owner->GetInterface()) {
        case IID_Subject:
            return member->QueryItem(IID_Job) != nullptr;
        case IID_JobVarno:
        case IID_JobVarnoZelvane:
            return list == 1 ? member->QueryItem(IID_Task) != nullptr : member->QueryItem(IID_ResourceGroup) != nullptr;
        case IID_Task:
        case IID_TaskEx:
            return member->QueryItem(IID_ResourceGroup) != nullptr;
        default:
            return member->QueryItem(IID_Resource) != nullptr;
        }
    }

    const ItemFactory& m_factory;
    StoreContent& m_c;
    IStoreReadWatcher* m_watcher;
    std::vector<std::pair<std::wstring, std::wstring>> m_attrs;
    size_t m_attrCount = 0;
    std::wstring m_name;
    int m_depth = 0;
    bool m_sawRoot = false;
    std::wstring m_section;
    SmartPtr<StoreItem> m_current;
    std::vector<Link> m_links;
    long long m_localSubject = 0;
};

// What an XML file holds before its root element, read from its first bytes: the XML declaration,
// processing instructions, comments and white space, then the root element or anything else.
// A document type declaration can stand only there. Some parsers (Wine's MSXML among them) neither
// honour the request to prohibit one nor report it through the declaration callbacks, so the
// beginning of the file is read here first.
enum class Prolog { Root, Declaration, Unknown };

class CPrologScanner {
public:
    explicit CPrologScanner(HANDLE h) : m_h(h) {}

    Prolog Scan() {
        unsigned char b[4] = {0, 0, 0, 0};
        size_t n = 0;
        for (int c; n < 4 && (c = Byte()) >= 0;)
            b[n++] = static_cast<unsigned char>(c);
        size_t skip = 0;
        if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
            skip = 3;
        } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE && !(n == 4 && b[2] == 0 && b[3] == 0)) {
            m_width = 2, skip = 2;
        } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
            m_width = 2, m_bigEndian = true, skip = 2;
        } else if (n == 4 && b[0] == '<' && b[1] == 0 && b[2] != 0 && b[3] == 0) {
            m_width = 2;
        } else if (n == 4 && b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] != 0) {
            m_width = 2, m_bigEndian = true;
        } else if (n == 0 || b[0] == 0 || b[0] >= 0x80) {
            return Prolog::Unknown; // empty, UCS-4, EBCDIC or not text at all
        }
        m_pending.assign(b + skip, b + n);
        for (;;) {
            int c = Unit();
            while (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                c = Unit();
            if (c != '<')
                return Prolog::Unknown;
            c = Unit();
            if (c == '?') {
                if (!SkipPast("?>"))
                    return Prolog::Unknown;
            } else if (c == '!') {
                // A comment, or else a declaration (<!DOCTYPE, or a malformed one that a lenient
                // parser might take for it).
                if (Unit() != '-' || Unit() != '-')
                    return Prolog::Declaration;
                if (!SkipPast("-->"))
                    return Prolog::Unknown;
            } else {
                return c < 0 ? Prolog::Unknown : Prolog::Root;
            }
        }
    }

private:
    int Byte() {
        if (!m_pending.empty()) {
            int c = m_pending.front();
            m_pending.erase(m_pending.begin());
            return c;
        }
        if (m_pos == m_len) {
            DWORD got = 0;
            if (m_eof || !ReadFile(m_h, m_buf, sizeof m_buf, &got, nullptr) || !got) {
                m_eof = true;
                return -1;
            }
            m_pos = 0;
            m_len = got;
        }
        return m_buf[m_pos++];
    }
    int Unit() {
        int a = Byte();
        if (a < 0 || m_width == 1)
            return a;
        int b = Byte();
        if (b < 0)
            return -1;
        return m_bigEndian ? (a << 8 | b) : (b << 8 | a);
    }
    bool SkipPast(const char* end) {
        size_t len = strlen(end), matched = 0;
        for (int c; (c = Unit()) >= 0;) {
            if (c == end[matched]) {
                if (++matched == len)
                    return true;
            } else {
                matched = (c == end[0]) ? 1 : 0;
            }
        }
        return false;
    }

    HANDLE m_h;
    unsigned char m_buf[64 * 1024];
    DWORD m_pos = 0, m_len = 0;
    bool m_eof = false;
    std::vector<unsigned char> m_pending;
    int m_width = 1;
    bool m_bigEndian = false;
};

void ReadStoreFile(const std::wstring& path, const ItemFactory& factory, StoreContent& content,
                   IStoreReadWatcher* watcher) {
    CHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (h.h == INVALID_HANDLE_VALUE)
        ThrowSystemException();
    {
        auto scanner = std::make_unique<CPrologScanner>(h.h);
        Prolog prolog = scanner->Scan();
        if (prolog == Prolog::Declaration)
            ThrowStoreError(E_FAIL, L"the store file cannot be read: " + path + L": " + kDtdRefused);
        if (prolog == Prolog::Unknown)
            ThrowStoreError(E_FAIL, L"the store file cannot be read: " + path +
                                        L": it does not begin as an XML store file does (an XML declaration, "
                                        L"comments, then the root element; UTF-8 or UTF-16)");
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        if (!SetFilePointerEx(h.h, zero, nullptr, FILE_BEGIN))
            ThrowSystemException();
    }
    // The handler and the stream outlive the reader, which may hold them until it is released.
    CXmlReader handler(factory, content, watcher);
    CFileStream stream(h.h);
    TComPtr<ISAXXMLReader> reader;
    CreateXmlObject(L"Msxml2.SAXXMLReader.3.0", L"Msxml2.SAXXMLReader", KvXml::IID_ISAXXMLReader,
                    reinterpret_cast<void**>(&reader));
    // The parser is asked to refuse a document type declaration itself. A parser that does not
    // know the request says so (E_INVALIDARG or E_NOTIMPL); any other failure is an error. Either
    // way the declaration callbacks below refuse one, also from a parser that accepts the request
    // and then ignores it.
    HRESULT hr = reader->putFeature(L"prohibit-dtd", VARIANT_TRUE);
    if (hr != E_INVALIDARG && hr != E_NOTIMPL)
        Check(hr, "request to prohibit document type declarations");
    Check(reader->putContentHandler(&handler), "reader handler");
    Check(reader->putErrorHandler(&handler), "reader error handler");
    Check(reader->putDTDHandler(&handler), "reader declaration handler");
    for (const wchar_t* property :
         {L"http://xml.org/sax/properties/lexical-handler", L"http://xml.org/sax/properties/declaration-handler"}) {
        VARIANT unk;
        VariantInit(&unk);
        unk.vt = VT_UNKNOWN;
        unk.punkVal = static_cast<ISAXContentHandler*>(&handler);
        Check(reader->putProperty(property, unk), "reader declaration handler");
    }
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = static_cast<IStream*>(&stream);
    hr = reader->parse(v);
    if (stream.ReadFailure())
        ThrowSystemException(stream.ReadFailure());
    if (FAILED(hr) || !handler.m_error.empty() || handler.m_sawDtd) {
        std::wstring text = L"the store file cannot be read: " + path;
        if (!handler.m_error.empty())
            text += L": " + handler.m_error;
        ThrowStoreError(FAILED(hr) ? hr : E_FAIL, text);
    }
    handler.Finish();
}

} // namespace Impl
} // namespace Varno
