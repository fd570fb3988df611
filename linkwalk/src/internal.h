// Inside the dependency finder: the mapped module image, the search lists and the walk.
#pragma once

#include "linkwalk.h"
#include "Kernel32Wrapper.h"
#include "PeView.h"
#include "SingletonHolder.h"

#include <list>
#include <set>
#include <string>
#include <vector>

namespace Depends {

// Upper-cases with the system's simple case mapping (CharUpperBuffW), character by character.
// Unlike a locale facet made from the user's locale name, it cannot throw.
std::wstring UpperCase(const std::wstring& text);

// A path that Win32 file functions accept whatever its length: drive and UNC paths of MAX_PATH
// characters or more get the "\\?\" prefix.
std::wstring ApiPath(const std::wstring& path);

// A module file mapped read-only. Map state: 0 mapped, 1 file not opened, 2 mapping not created,
// 3 view not mapped. Header state: 1 not examined, 2 not an MZ image, 0 MZ image. Kind: 0 not
// recognised, 1 DOS program, 2 NE, 3 LE, 4 LX, 5 PE.
class CMappedImage {
public:
    explicit CMappedImage(const std::wstring& path);
    CMappedImage(const CMappedImage& other);
    CMappedImage& operator=(const CMappedImage&) = delete;
    ~CMappedImage();

    bool IsPe() const { return m_mapState == 0 && m_headerState == 0 && m_kind == 5 && m_view.IsPe(); }
    const ClrMeta::CPeView& View() const { return m_view; }
    WORD Machine() const { return m_view.Machine(); }

    HANDLE m_file = INVALID_HANDLE_VALUE;
    HANDLE m_mapping = nullptr;
    const BYTE* m_address = nullptr;
    DWORD m_fileSize = 0;
    int m_mapState = 1;
    int m_headerState = 1;
    LONG m_newHeader = -1;
    int m_kind = 0;
    const BYTE* m_ntHeaders = nullptr;

private:
    void Examine();
    ClrMeta::CPeView m_view;
};

std::wstring ReadEnvironmentVariable(const wchar_t* name);

// One assembly reference of a .NET module.
struct AssemblyReference {
    std::wstring name;
    unsigned short major = 0, minor = 0, build = 0, revision = 0;
    std::wstring token; // public key token (or full key) as lower-case hexadecimal; empty when none
};

// The side-by-side folders that the first RT_MANIFEST resource of an image names.
bool ReadManifestDirectories(const CMappedImage& image, bool pe32plus, std::vector<std::wstring>& folders);

} // namespace Depends

// The search lists of the process, built once from the system directories and Path.
class COsInfo {
public:
    COsInfo();
    virtual ~COsInfo();

    const std::list<std::wstring>& GetSearchList(int is64) const
    {
        return is64 ? m_searchList64 : m_searchList32;
    }
    void Build();
    // Merges the entries of a Path value into a list (see the .cpp for the rules).
    static void AppendPathEntries(std::list<std::wstring>& list, const std::wstring& value);

    std::wstring m_systemDirectory;
    std::wstring m_wow64Directory;
    std::wstring m_windowsDirectory;
    int m_is64BitSystem = 0;
    std::list<std::wstring> m_searchList32;
    std::list<std::wstring> m_searchList64;
};

extern template class __declspec(dllexport) TSingletonHolder<COsInfo>;
extern template class __declspec(dllexport) TSingletonHolder<Kernel32::CKernel32Wrapper>;
