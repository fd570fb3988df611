#include "test_fixtures.h"

#include <algorithm>
#include <stdexcept>

namespace KvTest {

std::wstring FreeDriveName() {
    const DWORD used = GetLogicalDrives();
    for (wchar_t l = L'P'; l <= L'Y'; ++l)
        if (!(used & (1u << (l - L'A'))))
            return std::wstring(1, l) + L":";
    return std::wstring();
}

static void MakeDirs(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        if (at == std::wstring::npos)
            break;
    }
}

void MakeTree(const std::wstring& root, const std::vector<std::wstring>& entries) {
    MakeDirs(root);
    for (const std::wstring& entry : entries) {
        const std::wstring path = root + L"\\" + entry;
        if (!entry.empty() && entry.back() == L'\\') {
            MakeDirs(path.substr(0, path.size() - 1));
            continue;
        }
        MakeDirs(path.substr(0, path.rfind(L'\\')));
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw std::runtime_error("cannot create " + Narrow(path));
        DWORD written = 0;
        WriteFile(h, "x", 1, &written, nullptr);
        CloseHandle(h);
    }
}

void MakeSampleTree(const std::wstring& root) {
    RemoveTree(root);
    MakeTree(root, {L"a.txt", L"b.exe", L"c.dll", L"Alpha\\x.exe", L"Alpha\\y.txt", L"Alpha\\Deep\\z.dll",
                    L"Beta\\w.exe", L"Empty\\"});
}

KvCmdSequence::SOneCmd Cmd(const std::wstring& name, int type, int excl, int rec, int deps, const std::wstring& root,
                           const std::wstring& dirs, const std::wstring& files) {
    KvCmdSequence::SOneCmd c;
    c.strName = name;
    c.nType = type;
    c.bExclude = excl;
    c.bRecursive = rec;
    c.bDependencies = deps;
    c.strRoot = root;
    c.strDirMasks = dirs;
    c.strFileMasks = files;
    return c;
}

void RemoveTree(const std::wstring& root) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((root + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = root + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(path);
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(root.c_str());
}

CRegFixture::CRegFixture(const std::wstring& name, const std::wstring& parent)
    : m_sub(parent + L"\\" + name), m_path(L"HKEY_CURRENT_USER\\" + m_sub) {
    RegDeleteTreeW(HKEY_CURRENT_USER, m_sub.c_str());
    CreateKey(L"");
}

CRegFixture::~CRegFixture() { RegDeleteTreeW(HKEY_CURRENT_USER, m_sub.c_str()); }

void CRegFixture::CreateKey(const std::wstring& subkey) const {
    HKEY key = nullptr;
    const std::wstring path = subkey.empty() ? m_sub : m_sub + L"\\" + subkey;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create key " + Narrow(path));
    RegCloseKey(key);
}

void CRegFixture::SetRaw(const std::wstring& subkey, const std::wstring& value, DWORD type, const void* data,
                         DWORD bytes) const {
    HKEY key = nullptr;
    const std::wstring path = subkey.empty() ? m_sub : m_sub + L"\\" + subkey;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create key " + Narrow(path));
    const LONG result = RegSetValueExW(key, value.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        throw std::runtime_error("cannot set value " + Narrow(value));
}

void CRegFixture::SetString(const std::wstring& subkey, const std::wstring& value, const std::wstring& text) const {
    SetRaw(subkey, value, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> Describe(const std::list<KvCmdSequence::ScsResource>& list) {
    static const wchar_t* const kinds[] = {L"?:", L"F:", L"D:", L"K:", L"V:"};
    std::vector<std::wstring> out;
    for (const auto& r : list)
        out.push_back(std::wstring(r.nType >= 1 && r.nType <= 4 ? kinds[r.nType] : kinds[0]) + r.strPath);
    return out;
}

std::vector<std::wstring> DescribeSorted(const std::list<KvCmdSequence::ScsResource>& list) {
    std::vector<std::wstring> out = Describe(list);
    std::sort(out.begin(), out.end());
    return out;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t ch : text)
        out += (ch > 0 && ch < 128) ? static_cast<char>(ch) : '?';
    return out;
}

} // namespace KvTest
