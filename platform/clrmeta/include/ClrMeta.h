// clrmeta: a reader of .NET metadata with the small COM-style interface that the dependency finder
// calls: a dispenser that opens a module's metadata scope, the assembly references of the scope
// and its module references (the native DLLs of platform-invoke declarations). It reads the
// tables itself (CLR header, metadata root, the #~ stream, #Strings and #Blob), so it needs no
// CLR on the machine. Every read is bounded by the file.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace ClrMeta {

typedef ULONG mdToken;
typedef void* HCORENUM;

// Open flag of a read-only scope.
const DWORD ofReadOnly = 0x10;
// Result of a name that did not fit its buffer (the buffer holds the truncated, terminated text).
const HRESULT CLDB_S_TRUNCATION = 0x00131106;

struct ASSEMBLYMETADATA {
    USHORT usMajorVersion;
    USHORT usMinorVersion;
    USHORT usBuildNumber;
    USHORT usRevisionNumber;
};

extern const IID IID_IMetaDataDispenser;      // {809C652E-7396-11D2-9771-00A0C9B4D50C}
extern const IID IID_IMetaDataAssemblyImport; // {EE62470B-E94B-424E-9B7C-2F00C9249F93}
extern const IID IID_IMetaDataImport;         // {7DAC8207-D3AE-4C75-9B67-92801A497D44}

struct IMetaDataDispenser : public IUnknown {
    // Opens the metadata of a module file; fails (CLDB_E_BADUPDATEMODE-like HRESULTs) for a file
    // that is not a .NET module. riid: IID_IMetaDataAssemblyImport or IID_IMetaDataImport.
    virtual HRESULT STDMETHODCALLTYPE OpenScope(LPCWSTR scope, DWORD openFlags, REFIID riid, IUnknown** unk) = 0;
    // Opens the metadata of a module image already in memory (a mapped view of the file). The
    // scope reads the memory in place: it must stay valid until the scope is released.
    virtual HRESULT STDMETHODCALLTYPE OpenScopeOnMemory(const void* data, ULONG size, DWORD openFlags, REFIID riid,
                                                        IUnknown** unk) = 0;
};

struct IMetaDataAssemblyImport : public IUnknown {
    // Up to `max` AssemblyRef tokens per call; S_OK while tokens come, S_FALSE at the end.
    virtual HRESULT STDMETHODCALLTYPE EnumAssemblyRefs(HCORENUM* e, mdToken* refs, ULONG max, ULONG* count) = 0;
    // Any pointer but the token may be null. The key bytes stay valid while the scope lives. The
    // name is read only as far as the buffer takes it; its full length is counted only when
    // nameWritten is asked for.
    virtual HRESULT STDMETHODCALLTYPE GetAssemblyRefProps(mdToken ref, const void** publicKeyOrToken, ULONG* keyLength,
                                                          LPWSTR name, ULONG nameLength, ULONG* nameWritten,
                                                          ASSEMBLYMETADATA* metadata, const void** hash,
                                                          ULONG* hashLength, DWORD* flags) = 0;
    virtual void STDMETHODCALLTYPE CloseEnum(HCORENUM e) = 0;
};

struct IMetaDataImport : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumModuleRefs(HCORENUM* e, mdToken* refs, ULONG max, ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleRefProps(mdToken ref, LPWSTR name, ULONG nameLength,
                                                        ULONG* nameWritten) = 0;
    virtual void STDMETHODCALLTYPE CloseEnum(HCORENUM e) = 0;
};

// Makes a dispenser (reference count 1).
HRESULT CreateDispenser(IMetaDataDispenser** out);

} // namespace ClrMeta
