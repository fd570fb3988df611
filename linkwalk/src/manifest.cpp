// Side-by-side folders named by the RT_MANIFEST resource of a module: the manifest is parsed with
// the system's DOM (MSXML) and each dependent assembly is looked up in the Windows WinSxS folder.
#include "internal.h"

#include <KvMsxml.h>
#include <msxml2.h>

#include <cstring>

namespace Depends {
namespace {

using KvXml::TComPtr;

using KvXml::CBstr;

// The bytes of the first RT_MANIFEST resource (first name, first language), or false.
bool FindManifestData(const ClrMeta::CPeView& v, bool pe32plus, DWORD& position, DWORD& size) {
    DWORD rva = 0, dirSize = 0, base = 0;
    if (!v.DataDirectory(pe32plus, 2, rva, dirSize) || !v.RvaToOffset(rva, base))
        return false;
    WORD named = 0, ids = 0;
    if (!v.ReadWord(uint64_t(base) + 12, named) || !v.ReadWord(uint64_t(base) + 14, ids) || ids == 0)
        return false;
    DWORD typeDir = 0;
    bool found = false;
    for (unsigned i = 0; i < unsigned(named) + ids; ++i) {
        const uint64_t e = uint64_t(base) + 16 + uint64_t(i) * 8;
        DWORD name = 0, off = 0;
        if (!v.ReadDword(e, name) || !v.ReadDword(e + 4, off))
            return false;
        if (!(name & 0x80000000u) && (name & 0xFFFF) == 24) {
            if (!(off & 0x80000000u))
                return false;
            typeDir = off & 0x7FFFFFFFu;
            found = true;
            break;
        }
    }
    if (!found)
        return false;
    // The first entry of the type directory: a numeric name leading to a language directory.
    const uint64_t nameDir = uint64_t(base) + typeDir;
    WORD n1 = 0, n2 = 0;
    if (!v.ReadWord(nameDir + 12, n1) || !v.ReadWord(nameDir + 14, n2) || unsigned(n1) + n2 == 0)
        return false;
    DWORD name = 0, off = 0;
    if (!v.ReadDword(nameDir + 16, name) || !v.ReadDword(nameDir + 20, off))
        return false;
    if ((name & 0x80000000u) || !(off & 0x80000000u))
        return false;
    const uint64_t langDir = uint64_t(base) + (off & 0x7FFFFFFFu);
    if (!v.ReadWord(langDir + 12, n1) || !v.ReadWord(langDir + 14, n2) || unsigned(n1) + n2 == 0)
        return false;
    if (!v.ReadDword(langDir + 20, off))
        return false;
    const uint64_t dataEntry = uint64_t(base) + (off & 0x7FFFFFFFu);
    DWORD dataRva = 0;
    if (!v.ReadDword(dataEntry, dataRva) || !v.ReadDword(dataEntry + 4, size) || size == 0)
        return false;
    // The data must lie within the file whole: a size that runs past it names no manifest.
    return v.RvaToOffset(dataRva, position) && v.Within(position, size);
}

bool Attribute(IXMLDOMElement* element, const wchar_t* name, std::wstring& value) {
    VARIANT var;
    ::VariantInit(&var);
    CBstr attr(name);
    HRESULT hr = element->getAttribute(attr, &var);
    bool ok = hr == S_OK && var.vt == VT_BSTR;
    if (ok)
        value.assign(var.bstrVal ? var.bstrVal : L"", var.bstrVal ? ::SysStringLen(var.bstrVal) : 0);
    ::VariantClear(&var);
    return ok;
}

bool NodeNameIs(IXMLDOMNode* node, const wchar_t* name) {
    CBstr text;
    return node->get_nodeName(&text) == S_OK && std::wstring(text.c_str(), text.Length()) == name;
}

// Walks dependency/dependentAssembly/assemblyIdentity. Returns false when a DOM call fails: the
// identities read so far stay.
bool ReadIdentities(IXMLDOMElement* root, std::vector<ManifestIdentity>& identities) {
    TComPtr<IXMLDOMNode> dep;
    HRESULT hr = root->get_firstChild(&dep);
    while (hr == S_OK && dep.Get()) {
        if (NodeNameIs(dep.Get(), L"dependency")) {
            TComPtr<IXMLDOMNode> da;
            HRESULT hr2 = dep->get_firstChild(&da);
            while (hr2 == S_OK && da.Get()) {
                if (NodeNameIs(da.Get(), L"dependentAssembly")) {
                    TComPtr<IXMLDOMNode> id;
                    HRESULT hr3 = da->get_firstChild(&id);
                    while (hr3 == S_OK && id.Get()) {
                        if (NodeNameIs(id.Get(), L"assemblyIdentity")) {
                            TComPtr<IXMLDOMElement> el;
                            if (id->QueryInterface(KvXml::IID_IXMLDOMElement, reinterpret_cast<void**>(&el)) != S_OK)
                                return false;
                            ManifestIdentity idn;
                            if (!Attribute(el.Get(), L"processorArchitecture", idn.arch) ||
                                !Attribute(el.Get(), L"name", idn.name) ||
                                !Attribute(el.Get(), L"version", idn.version) ||
                                !Attribute(el.Get(), L"publicKeyToken", idn.token))
                                return false;
                            identities.push_back(std::move(idn));
                        }
                        TComPtr<IXMLDOMNode> next;
                        hr3 = id->get_nextSibling(&next);
                        id.Swap(next);
                    }
                }
                TComPtr<IXMLDOMNode> next;
                hr2 = da->get_nextSibling(&next);
                da.Swap(next);
            }
        }
        TComPtr<IXMLDOMNode> next;
        hr = dep->get_nextSibling(&next);
        dep.Swap(next);
    }
    return true;
}

} // namespace

bool ReadManifestText(const ClrMeta::CPeView& view, bool pe32plus, std::string& text) {
    text.clear();
    DWORD position = 0, size = 0;
    if (!FindManifestData(view, pe32plus, position, size))
        return false;
    const char* data = reinterpret_cast<const char*>(view.Data() + position);
    const char* start = static_cast<const char*>(std::memchr(data, '<', size));
    if (!start)
        return false;
    text.assign(start, data + size);
    return true;
}

void ParseManifestIdentities(const std::string& text, std::vector<ManifestIdentity>& identities) {
    identities.clear();
    if (text.empty())
        return;
    const int len = static_cast<int>(text.size());
    int wlen = ::MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
    std::wstring wide(size_t(wlen > 0 ? wlen : 0), L'\0');
    if (wlen > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), len, &wide[0], wlen);
    // The resource may hold zero bytes: the text ends at its first zero character.
    wide.resize(wcsnlen(wide.c_str(), wide.size()));

    TComPtr<IXMLDOMDocument> doc;
    if (::CoCreateInstance(KvXml::CLSID_DOMDocument, nullptr, CLSCTX_ALL, KvXml::IID_IXMLDOMDocument,
                           reinterpret_cast<void**>(&doc)) != S_OK ||
        !doc.Get())
        return;
    CBstr xml(wide.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (doc->loadXML(xml, &loaded) != S_OK || loaded != VARIANT_TRUE)
        return;
    TComPtr<IXMLDOMElement> root;
    if (doc->get_documentElement(&root) != S_OK || !root.Get())
        return;
    ReadIdentities(root.Get(), identities);
}

void FindSxsFolders(const std::vector<ManifestIdentity>& identities, std::vector<std::wstring>& folders) {
    folders.clear();
    if (identities.empty())
        return;
    wchar_t windir[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryW(windir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::wstring sxs = std::wstring(windir) + L"\\WinSxS\\";
    for (const ManifestIdentity& idn : identities) {
        // Only the first match of an identity's pattern is taken.
        const std::wstring pattern = sxs + idn.arch + L"_" + idn.name + L"_" + idn.token + L"_" + idn.version + L"*";
        WIN32_FIND_DATAW fd;
        HANDLE h = ::FindFirstFileW(ApiPath(pattern).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        folders.push_back(sxs + fd.cFileName);
        ::FindClose(h);
    }
}

} // namespace Depends
