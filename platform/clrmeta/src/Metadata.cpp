// Reading of the .NET metadata tables (ECMA-335 partition II, 22 and 24) and the COM-style
// objects over them.
#include "ClrMeta.h"
#include "PeView.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace ClrMeta {

const IID IID_IMetaDataDispenser = {0x809C652E, 0x7396, 0x11D2, {0x97, 0x71, 0x00, 0xA0, 0xC9, 0xB4, 0xD5, 0x0C}};
const IID IID_IMetaDataAssemblyImport = {0xEE62470B, 0xE94B, 0x424E, {0x9B, 0x7C, 0x2F, 0x00, 0xC9, 0x24, 0x9F, 0x93}};
const IID IID_IMetaDataImport = {0x7DAC8207, 0xD3AE, 0x4C75, {0x9B, 0x67, 0x92, 0x80, 0x1A, 0x49, 0x7D, 0x44}};

namespace {

const HRESULT kBadFormat = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);

enum : unsigned {
    tModule = 0x00,
    tTypeRef = 0x01,
    tTypeDef = 0x02,
    tField = 0x04,
    tMethodDef = 0x06,
    tParam = 0x08,
    tInterfaceImpl = 0x09,
    tMemberRef = 0x0A,
    tDeclSecurity = 0x0E,
    tStandAloneSig = 0x11,
    tEvent = 0x14,
    tProperty = 0x17,
    tModuleRef = 0x1A,
    tTypeSpec = 0x1B,
    tAssembly = 0x20,
    tAssemblyRef = 0x23,
    tFile = 0x26,
    tExportedType = 0x27,
    tManifestResource = 0x28,
    tGenericParam = 0x2A,
    tMethodSpec = 0x2B,
    tGenericParamConstraint = 0x2C
};

// Column kinds of the table schemas.
enum Col : int {
    U1 = 1,
    U2 = 2,
    U4 = 4,
    STR = 100,
    GUID_ = 101,
    BLOB = 102,
    IDX = 200,  // + table number: a simple index into that table
    CODED = 300 // + coded index kind below
};
enum Coded : int {
    cTypeDefOrRef,
    cHasConstant,
    cHasCustomAttribute,
    cHasFieldMarshal,
    cHasDeclSecurity,
    cMemberRefParent,
    cHasSemantics,
    cMethodDefOrRef,
    cMemberForwarded,
    cCustomAttributeType,
    cResolutionScope,
    cCodedCount
};

struct CodedDef {
    unsigned bits;
    std::vector<unsigned> tables;
};

const CodedDef& CodedIndex(int kind) {
    static const CodedDef defs[cCodedCount] = {
        {2, {tTypeDef, tTypeRef, tTypeSpec}},
        {2, {tField, tParam, tProperty}},
        {5, {tMethodDef,        tField,        tTypeRef,
             tTypeDef,          tParam,        tInterfaceImpl,
             tMemberRef,        tModule,       tDeclSecurity,
             tProperty,         tEvent,        tStandAloneSig,
             tModuleRef,        tTypeSpec,     tAssembly,
             tAssemblyRef,      tFile,         tExportedType,
             tManifestResource, tGenericParam, tGenericParamConstraint,
             tMethodSpec}},
        {1, {tField, tParam}},
        {2, {tTypeDef, tMethodDef, tAssembly}},
        {3, {tTypeDef, tTypeRef, tModuleRef, tMethodDef, tTypeSpec}},
        {1, {tEvent, tProperty}},
        {1, {tMethodDef, tMemberRef}},
        {1, {tField, tMethodDef}},
        {3, {tMethodDef, tMemberRef}},
        {2, {tModule, tModuleRef, tAssemblyRef, tTypeRef}},
    };
    return defs[kind];
}

// Columns of tables 0x00 to 0x23, enough to find the rows of ModuleRef and AssemblyRef.
const std::vector<int>& Schema(unsigned table) {
    static const std::vector<int> schemas[] = {
        /*00 Module*/ {U2, STR, GUID_, GUID_, GUID_},
        /*01 TypeRef*/ {CODED + cResolutionScope, STR, STR},
        /*02 TypeDef*/ {U4, STR, STR, CODED + cTypeDefOrRef, IDX + tField, IDX + tMethodDef},
        /*03 FieldPtr*/ {IDX + tField},
        /*04 Field*/ {U2, STR, BLOB},
        /*05 MethodPtr*/ {IDX + tMethodDef},
        /*06 MethodDef*/ {U4, U2, U2, STR, BLOB, IDX + tParam},
        /*07 ParamPtr*/ {IDX + tParam},
        /*08 Param*/ {U2, U2, STR},
        /*09 InterfaceImpl*/ {IDX + tTypeDef, CODED + cTypeDefOrRef},
        /*0A MemberRef*/ {CODED + cMemberRefParent, STR, BLOB},
        /*0B Constant*/ {U2, CODED + cHasConstant, BLOB},
        /*0C CustomAttribute*/ {CODED + cHasCustomAttribute, CODED + cCustomAttributeType, BLOB},
        /*0D FieldMarshal*/ {CODED + cHasFieldMarshal, BLOB},
        /*0E DeclSecurity*/ {U2, CODED + cHasDeclSecurity, BLOB},
        /*0F ClassLayout*/ {U2, U4, IDX + tTypeDef},
        /*10 FieldLayout*/ {U4, IDX + tField},
        /*11 StandAloneSig*/ {BLOB},
        /*12 EventMap*/ {IDX + tTypeDef, IDX + tEvent},
        /*13 EventPtr*/ {IDX + tEvent},
        /*14 Event*/ {U2, STR, CODED + cTypeDefOrRef},
        /*15 PropertyMap*/ {IDX + tTypeDef, IDX + tProperty},
        /*16 PropertyPtr*/ {IDX + tProperty},
        /*17 Property*/ {U2, STR, BLOB},
        /*18 MethodSemantics*/ {U2, IDX + tMethodDef, CODED + cHasSemantics},
        /*19 MethodImpl*/ {IDX + tTypeDef, CODED + cMethodDefOrRef, CODED + cMethodDefOrRef},
        /*1A ModuleRef*/ {STR},
        /*1B TypeSpec*/ {BLOB},
        /*1C ImplMap*/ {U2, CODED + cMemberForwarded, STR, IDX + tModuleRef},
        /*1D FieldRVA*/ {U4, IDX + tField},
        /*1E EncLog*/ {U4, U4},
        /*1F EncMap*/ {U4},
        /*20 Assembly*/ {U4, U2, U2, U2, U2, U4, BLOB, STR, STR},
        /*21 AssemblyProcessor*/ {U4},
        /*22 AssemblyOS*/ {U4, U4, U4},
        /*23 AssemblyRef*/ {U2, U2, U2, U2, U4, BLOB, STR, STR, BLOB},
    };
    return schemas[table];
}

// One AssemblyRef row: heap indexes are resolved when the row is asked for.
struct AssemblyRefRow {
    USHORT version[4];
    DWORD flags;
    DWORD keyIndex, nameIndex, hashIndex;
};

// The parsed metadata of one module: where its heaps lie in the image and the rows that the
// scope hands out. Strings and blobs are read from the image in place when asked for.
class Metadata {
public:
    explicit Metadata(const CPeView& v) : m_v(v) {}

    HRESULT Parse() {
        if (!m_v.IsPe())
            return kBadFormat;
        WORD magic = 0;
        if (!m_v.ReadWord(uint64_t(m_v.NtOffset()) + 24, magic) || (magic != 0x10B && magic != 0x20B))
            return kBadFormat;
        DWORD corRva = 0, corSize = 0, corPos = 0;
        if (!m_v.DataDirectory(magic == 0x20B, 14, corRva, corSize) || !m_v.RvaToOffset(corRva, corPos))
            return kBadFormat;
        DWORD mdRva = 0, mdSize = 0;
        if (!m_v.ReadDword(uint64_t(corPos) + 8, mdRva) || !m_v.ReadDword(uint64_t(corPos) + 12, mdSize) ||
            !m_v.RvaToOffset(mdRva, m_root) || mdSize < 16)
            return kBadFormat;
        if (m_root >= m_v.Size())
            return kBadFormat;
        m_rootSize = m_v.Within(m_root, mdSize) ? mdSize : m_v.Size() - m_root;
        DWORD sig = 0, verLen = 0;
        if (!Read4(0, sig) || sig != 0x424A5342 || !Read4(12, verLen) || verLen > m_rootSize)
            return kBadFormat;
        uint64_t p = 16 + uint64_t((verLen + 3) & ~3u);
        WORD streams = 0;
        if (!Read2(p + 2, streams))
            return kBadFormat;
        p += 4;
        for (unsigned i = 0; i < streams; ++i) {
            DWORD off = 0, size = 0;
            if (!Read4(p, off) || !Read4(p + 4, size))
                return kBadFormat;
            p += 8;
            std::string name;
            while (true) {
                BYTE c = 0;
                if (!Read1(p + name.size(), c) || name.size() > 32)
                    return kBadFormat;
                if (!c)
                    break;
                name += char(c);
            }
            p += (name.size() + 4) & ~size_t(3);
            if (uint64_t(off) + size > m_rootSize)
                return kBadFormat;
            Stream s{off, size};
            if (name == "#~" || name == "#-")
                m_tables = s;
            else if (name == "#Strings")
                m_strings = s;
            else if (name == "#Blob")
                m_blob = s;
        }
        if (m_tables.size == 0)
            return kBadFormat;
        return ParseTables();
    }

    std::vector<AssemblyRefRow> assemblyRefs;
    std::vector<DWORD> moduleRefs; // #Strings indexes of the names

    // The #Strings entry at `index` into the caller's buffer (as much as fits, terminated).
    // Only the bytes that can reach the buffer are converted; the whole length is counted only
    // when `written` is asked for. An entry that is empty or has no terminator within the heap
    // cannot be read.
    HRESULT CopyString(DWORD index, LPWSTR buffer, ULONG length, ULONG* written) const {
        DWORD stop = 0;
        if (!StringEnd(index, stop) || stop == index)
            return kBadFormat;
        const char* text = reinterpret_cast<const char*>(m_v.Data() + m_root + m_strings.offset + index);
        const DWORD bytes = stop - index;
        // Each UTF-16 unit comes from at most three bytes: this many bytes fill the buffer, and a
        // sequence cut at the end spoils only units beyond it.
        const uint64_t enough = uint64_t(length) * 3 + 12;
        const int take = static_cast<int>(bytes < enough ? bytes : enough);
        const int units = ::MultiByteToWideChar(CP_UTF8, 0, text, take, nullptr, 0);
        if (units <= 0)
            return kBadFormat;
        std::wstring wide(size_t(units), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, text, take, &wide[0], units);
        const bool whole = DWORD(take) == bytes;
        if (written) {
            int all = whole ? units : ::MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(bytes), nullptr, 0);
            *written = static_cast<ULONG>(all) + 1;
        }
        if (!buffer || length == 0)
            return S_OK;
        const size_t n = wide.size() < length ? wide.size() : length - 1;
        wide.copy(buffer, n);
        buffer[n] = L'\0';
        return whole && n == wide.size() ? S_OK : CLDB_S_TRUNCATION;
    }

    // The #Blob entry at `index`, in place.
    bool BlobAt(DWORD index, const BYTE*& data, DWORD& length) const {
        data = nullptr;
        length = 0;
        if (index >= m_blob.size)
            return false;
        const uint64_t start = uint64_t(m_blob.offset) + index;
        const uint64_t end = uint64_t(m_blob.offset) + m_blob.size;
        BYTE b0 = 0, b = 0;
        if (!Read1(start, b0))
            return false;
        DWORD n;
        uint64_t at;
        if ((b0 & 0x80) == 0) {
            n = b0;
            at = start + 1;
        } else if ((b0 & 0xC0) == 0x80) {
            if (!Read1(start + 1, b))
                return false;
            n = (DWORD(b0 & 0x3F) << 8) | b;
            at = start + 2;
        } else if ((b0 & 0xE0) == 0xC0) {
            n = b0 & 0x1F;
            for (int i = 1; i < 4; ++i) {
                if (!Read1(start + i, b))
                    return false;
                n = (n << 8) | b;
            }
            at = start + 4;
        } else {
            return false;
        }
        if (at + n > end || !m_v.Within(uint64_t(m_root) + at, n))
            return false;
        data = m_v.Data() + m_root + at;
        length = n;
        return true;
    }

private:
    struct Stream {
        DWORD offset = 0;
        DWORD size = 0;
    };

    // Where the #Strings entry at `index` ends (heap-relative): false when no terminator follows
    // within the heap. Every run of bytes searched is remembered with its end, so that each byte
    // of the heap is searched at most once however many rows point into it.
    bool StringEnd(DWORD index, DWORD& stop) const {
        const DWORD size = m_strings.size;
        if (index >= size)
            return false;
        auto next = m_runs.upper_bound(index);
        if (next != m_runs.begin()) {
            auto prev = std::prev(next);
            if (index <= prev->second) {
                stop = prev->second;
                return stop < size;
            }
        }
        const DWORD limit = next == m_runs.end() ? size : next->first;
        const BYTE* heap = m_v.Data() + m_root + m_strings.offset;
        const void* zero = std::memchr(heap + index, 0, limit - index);
        if (zero) {
            stop = static_cast<DWORD>(static_cast<const BYTE*>(zero) - heap);
        } else if (next != m_runs.end()) {
            stop = next->second;
            m_runs.erase(next);
        } else {
            stop = size;
        }
        m_runs.emplace(index, stop);
        return stop < size;
    }

    bool Read1(uint64_t off, BYTE& v) const {
        if (off >= m_rootSize || !m_v.Within(m_root + off, 1))
            return false;
        v = m_v.Data()[m_root + off];
        return true;
    }
    bool Read2(uint64_t off, WORD& v) const { return off + 2 <= m_rootSize && m_v.ReadWord(m_root + off, v); }
    bool Read4(uint64_t off, DWORD& v) const { return off + 4 <= m_rootSize && m_v.ReadDword(m_root + off, v); }

    unsigned IndexSize(unsigned table) const { return m_rows[table] > 0xFFFF ? 4 : 2; }
    unsigned CodedSize(int kind) const {
        const CodedDef& d = CodedIndex(kind);
        DWORD most = 0;
        for (unsigned t : d.tables)
            most = m_rows[t] > most ? m_rows[t] : most;
        return most < (1u << (16 - d.bits)) ? 2 : 4;
    }
    unsigned ColumnSize(int col) const {
        if (col == U1 || col == U2 || col == U4)
            return unsigned(col);
        if (col == STR)
            return (m_heapSizes & 1) ? 4 : 2;
        if (col == GUID_)
            return (m_heapSizes & 2) ? 4 : 2;
        if (col == BLOB)
            return (m_heapSizes & 4) ? 4 : 2;
        if (col >= CODED)
            return CodedSize(col - CODED);
        return IndexSize(unsigned(col - IDX));
    }
    unsigned RowSize(unsigned table) const {
        unsigned size = 0;
        for (int c : Schema(table))
            size += ColumnSize(c);
        return size;
    }
    bool ReadColumn(uint64_t off, unsigned size, DWORD& v) const {
        if (size == 2) {
            WORD w = 0;
            if (!Read2(off, w))
                return false;
            v = w;
            return true;
        }
        return Read4(off, v);
    }

    HRESULT ParseTables() {
        const uint64_t t = m_tables.offset;
        BYTE heapSizes = 0;
        DWORD validLo = 0, validHi = 0;
        if (!Read1(t + 6, heapSizes) || !Read4(t + 8, validLo) || !Read4(t + 12, validHi))
            return kBadFormat;
        m_heapSizes = heapSizes;
        const uint64_t valid = (uint64_t(validHi) << 32) | validLo;
        uint64_t p = t + 24;
        for (unsigned i = 0; i < 64; ++i) {
            if (valid & (uint64_t(1) << i)) {
                if (!Read4(p, m_rows[i]))
                    return kBadFormat;
                p += 4;
            }
        }
        if (heapSizes & 0x40)
            p += 4; // extra data of uncompressed (#-) table streams
        // Tables lie one after the other in table order; only those up to AssemblyRef matter.
        uint64_t tableStart[tAssemblyRef + 1] = {};
        for (unsigned i = 0; i <= tAssemblyRef; ++i) {
            tableStart[i] = p;
            p += uint64_t(RowSize(i)) * m_rows[i];
        }
        const uint64_t tablesEnd = uint64_t(m_tables.offset) + m_tables.size;
        // ModuleRef: Name
        const unsigned strSize = ColumnSize(STR), blobSize = ColumnSize(BLOB);
        const unsigned moduleRefRow = RowSize(tModuleRef);
        if (tableStart[tModuleRef] + uint64_t(moduleRefRow) * m_rows[tModuleRef] > tablesEnd)
            return kBadFormat;
        moduleRefs.reserve(m_rows[tModuleRef]);
        for (DWORD r = 0; r < m_rows[tModuleRef]; ++r) {
            DWORD index = 0;
            if (!ReadColumn(tableStart[tModuleRef] + uint64_t(r) * moduleRefRow, strSize, index))
                return kBadFormat;
            moduleRefs.push_back(index);
        }
        const unsigned refRow = RowSize(tAssemblyRef);
        if (tableStart[tAssemblyRef] + uint64_t(refRow) * m_rows[tAssemblyRef] > tablesEnd)
            return kBadFormat;
        assemblyRefs.reserve(m_rows[tAssemblyRef]);
        for (DWORD r = 0; r < m_rows[tAssemblyRef]; ++r) {
            uint64_t q = tableStart[tAssemblyRef] + uint64_t(r) * refRow;
            AssemblyRefRow row = {};
            WORD w = 0;
            for (int i = 0; i < 4; ++i) {
                if (!Read2(q, w))
                    return kBadFormat;
                row.version[i] = w;
                q += 2;
            }
            DWORD cultureIndex = 0;
            if (!Read4(q, row.flags) || !ReadColumn(q + 4, blobSize, row.keyIndex) ||
                !ReadColumn(q + 4 + blobSize, strSize, row.nameIndex) ||
                !ReadColumn(q + 4 + blobSize + strSize, strSize, cultureIndex) ||
                !ReadColumn(q + 4 + blobSize + 2 * strSize, blobSize, row.hashIndex))
                return kBadFormat;
            assemblyRefs.push_back(row);
        }
        return S_OK;
    }

    CPeView m_v;
    DWORD m_root = 0;
    DWORD m_rootSize = 0;
    Stream m_tables, m_strings, m_blob;
    BYTE m_heapSizes = 0;
    DWORD m_rows[64] = {};
    mutable std::map<DWORD, DWORD> m_runs; // #Strings runs searched: start -> terminator (or heap size)
};

// A read-only mapping of a whole file, closed on destruction.
class CFileView {
public:
    CFileView() = default;
    CFileView(const CFileView&) = delete;
    CFileView& operator=(const CFileView&) = delete;
    ~CFileView() {
        if (m_view)
            ::UnmapViewOfFile(m_view);
        if (m_mapping)
            ::CloseHandle(m_mapping);
        if (m_file != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_file);
    }
    HRESULT Open(LPCWSTR path) {
        if (!path)
            return E_INVALIDARG;
        std::wstring p(path);
        if (p.size() >= MAX_PATH && p.size() > 2 && p[1] == L':')
            p = L"\\\\?\\" + p;
        m_file = ::CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (m_file == INVALID_HANDLE_VALUE)
            return HRESULT_FROM_WIN32(::GetLastError());
        m_size = ::GetFileSize(m_file, nullptr);
        m_mapping = m_size ? ::CreateFileMappingW(m_file, nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
        if (m_mapping)
            m_view = static_cast<const BYTE*>(::MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, 0));
        return m_view ? S_OK : kBadFormat;
    }
    const BYTE* Data() const { return m_view; }
    DWORD Size() const { return m_size; }

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
    HANDLE m_mapping = nullptr;
    const BYTE* m_view = nullptr;
    DWORD m_size = 0;
};

// Enumerations hand out consecutive tokens of one table.
struct Enumeration {
    ULONG next = 0;
};

HRESULT Enumerate(HCORENUM* e, mdToken* refs, ULONG max, ULONG* count, size_t total, mdToken table) {
    if (count)
        *count = 0;
    if (!e)
        return E_INVALIDARG;
    Enumeration* en = static_cast<Enumeration*>(*e);
    if (!en) {
        en = new (std::nothrow) Enumeration;
        if (!en)
            return E_OUTOFMEMORY;
        *e = en;
    }
    ULONG n = 0;
    while (n < max && en->next < total) {
        if (refs)
            refs[n] = table | (en->next + 1);
        ++n;
        ++en->next;
    }
    if (count)
        *count = n;
    return n ? S_OK : S_FALSE;
}

// A metadata scope over an image in memory; a scope opened from a file keeps its mapping.
class Scope : public IMetaDataAssemblyImport, public IMetaDataImport {
public:
    Scope(std::unique_ptr<CFileView> file, const BYTE* data, DWORD size)
        : m_file(std::move(file)), m_md(CPeView(data, size)) {}
    virtual ~Scope() {}

    HRESULT Parse() {
        try {
            return m_md.Parse();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMetaDataAssemblyImport))
            *out = static_cast<IMetaDataAssemblyImport*>(this);
        else if (IsEqualIID(riid, IID_IMetaDataImport))
            *out = static_cast<IMetaDataImport*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }

    HRESULT STDMETHODCALLTYPE EnumAssemblyRefs(HCORENUM* e, mdToken* refs, ULONG max, ULONG* count) override {
        return Enumerate(e, refs, max, count, m_md.assemblyRefs.size(), 0x23000000);
    }
    HRESULT STDMETHODCALLTYPE GetAssemblyRefProps(mdToken ref, const void** key, ULONG* keyLength, LPWSTR name,
                                                  ULONG nameLength, ULONG* nameWritten, ASSEMBLYMETADATA* meta,
                                                  const void** hash, ULONG* hashLength, DWORD* flags) override {
        const ULONG row = ref & 0x00FFFFFF;
        if ((ref & 0xFF000000) != 0x23000000 || row == 0 || row > m_md.assemblyRefs.size())
            return E_INVALIDARG;
        const AssemblyRefRow& r = m_md.assemblyRefs[row - 1];
        HRESULT hr;
        try {
            hr = m_md.CopyString(r.nameIndex, name, nameLength, nameWritten);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (FAILED(hr))
            return hr;
        const BYTE* bytes = nullptr;
        DWORD length = 0;
        m_md.BlobAt(r.keyIndex, bytes, length);
        if (key)
            *key = length ? bytes : nullptr;
        if (keyLength)
            *keyLength = length;
        m_md.BlobAt(r.hashIndex, bytes, length);
        if (hash)
            *hash = length ? bytes : nullptr;
        if (hashLength)
            *hashLength = length;
        if (flags)
            *flags = r.flags;
        if (meta) {
            meta->usMajorVersion = r.version[0];
            meta->usMinorVersion = r.version[1];
            meta->usBuildNumber = r.version[2];
            meta->usRevisionNumber = r.version[3];
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE EnumModuleRefs(HCORENUM* e, mdToken* refs, ULONG max, ULONG* count) override {
        return Enumerate(e, refs, max, count, m_md.moduleRefs.size(), 0x1A000000);
    }
    HRESULT STDMETHODCALLTYPE GetModuleRefProps(mdToken ref, LPWSTR name, ULONG nameLength, ULONG* written) override {
        const ULONG row = ref & 0x00FFFFFF;
        if ((ref & 0xFF000000) != 0x1A000000 || row == 0 || row > m_md.moduleRefs.size())
            return E_INVALIDARG;
        try {
            return m_md.CopyString(m_md.moduleRefs[row - 1], name, nameLength, written);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    void STDMETHODCALLTYPE CloseEnum(HCORENUM e) override { delete static_cast<Enumeration*>(e); }

private:
    std::atomic<ULONG> m_refs{1};
    std::unique_ptr<CFileView> m_file;
    Metadata m_md;
};

HRESULT MakeScope(std::unique_ptr<CFileView> file, const BYTE* data, DWORD size, REFIID riid, IUnknown** unk) {
    if (!unk)
        return E_POINTER;
    *unk = nullptr;
    Scope* scope = new (std::nothrow) Scope(std::move(file), data, size);
    if (!scope)
        return E_OUTOFMEMORY;
    HRESULT hr = scope->Parse();
    if (SUCCEEDED(hr))
        hr = scope->QueryInterface(riid, reinterpret_cast<void**>(unk));
    scope->Release();
    return hr;
}

class Dispenser : public IMetaDataDispenser {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMetaDataDispenser))
            return E_NOINTERFACE;
        *out = static_cast<IMetaDataDispenser*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE OpenScope(LPCWSTR path, DWORD, REFIID riid, IUnknown** unk) override {
        if (!unk)
            return E_POINTER;
        *unk = nullptr;
        std::unique_ptr<CFileView> file(new (std::nothrow) CFileView);
        if (!file)
            return E_OUTOFMEMORY;
        HRESULT hr = file->Open(path);
        if (FAILED(hr))
            return hr;
        const BYTE* data = file->Data();
        const DWORD size = file->Size();
        return MakeScope(std::move(file), data, size, riid, unk);
    }
    HRESULT STDMETHODCALLTYPE OpenScopeOnMemory(const void* data, ULONG size, DWORD, REFIID riid,
                                                IUnknown** unk) override {
        if (!data)
            return E_INVALIDARG;
        return MakeScope(nullptr, static_cast<const BYTE*>(data), size, riid, unk);
    }

private:
    virtual ~Dispenser() {}
    std::atomic<ULONG> m_refs{1};
};

} // namespace

HRESULT CreateDispenser(IMetaDataDispenser** out) {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) Dispenser;
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace ClrMeta
