// Folders and registry keys turned into resources of the model.
#include "KvExchangeUtils.h"
#include "IChNode.h"
#include "KvCmdSequence.h"
#include "KvText.h"

#include <set>
#include <vector>

namespace {

void Append(CIChNodeList* list, int subType, const std::wstring& path) {
    CIChResorce* r = new CIChResorce;
    r->SetSubType(subType);
    r->SetName(path);
    list->push_back(r);
}

std::wstring TrimSlashes(const std::wstring& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == L'\\' || s[end - 1] == L'/'))
        --end;
    return s.substr(0, end);
}

std::wstring TrimMask(const wchar_t* mask) {
    if (!mask)
        return L"*.*";
    std::wstring m(mask);
    const wchar_t* junk = L"\\/ ";
    const size_t first = m.find_first_not_of(junk);
    if (first == std::wstring::npos)
        return std::wstring();
    return m.substr(first, m.find_last_not_of(junk) - first + 1);
}

// The folder's real place, upper-cased, so that a folder reached through a junction or a link is
// recognised as one already being walked. Empty when it cannot be told.
std::wstring FinalFolder(const std::wstring& dir) {
    HANDLE h = ::CreateFileW(dir.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::wstring result;
    Kernel32::CKernel32Wrapper& k32 = TSingletonHolder<Kernel32::CKernel32Wrapper>::Instance();
    if (k32.m_GetFinalPathNameByHandleW) {
        wchar_t buf[1024];
        DWORD n = k32.m_GetFinalPathNameByHandleW(h, buf, 1024, 0);
        if (n && n < 1024) {
            result = KvBase::UpperCase(std::wstring(buf, n));
        }
    }
    ::CloseHandle(h);
    return result;
}

// The folders of the current walk, by their real place.
class WalkGuard {
public:
    // False when the folder is already on the walk (a cycle through a link).
    bool Enter(const std::wstring& dir) {
        std::wstring id = FinalFolder(dir);
        if (id.empty()) {
            id = dir;
            KvBase::UpperCaseInPlace(id);
        }
        if (!m_active.insert(id).second)
            return false;
        m_stack.push_back(id);
        return true;
    }
    void Leave() {
        m_active.erase(m_stack.back());
        m_stack.pop_back();
    }

private:
    std::set<std::wstring> m_active;
    std::vector<std::wstring> m_stack;
};

void DirFiles(const std::wstring& dir, CIChNodeList* list, int addDirs, int recursive, const std::wstring& mask,
              WalkGuard& walk) {
    if (!walk.Enter(dir))
        return;
    const std::wstring base = TrimSlashes(dir);
    CFileFindEx ff;
    BOOL more = ff.FindFile((base + L"\\" + mask).c_str());
    while (more) {
        more = ff.FindNextFile();
        if (ff.IsDots() || ff.IsDirectory())
            continue;
        Append(list, ResFile, ff.GetFilePath());
    }
    if (recursive || addDirs) {
        CFileFindEx sub;
        more = sub.FindFile((base + L"\\*.*").c_str());
        while (more) {
            more = sub.FindNextFile();
            if (!sub.IsDirectory() || sub.IsDots())
                continue;
            if (addDirs)
                Append(list, ResDirectory, sub.GetFilePath());
            if (recursive)
                DirFiles(sub.GetFilePath(), list, addDirs, recursive, mask, walk);
        }
    }
    walk.Leave();
}

void DirTree(const std::wstring& dir, CIChNodeList* list, WalkGuard& walk) {
    if (!walk.Enter(dir))
        return;
    CFileFindEx ff;
    BOOL more = ff.FindFile((TrimSlashes(dir) + L"\\*.*").c_str());
    while (more) {
        more = ff.FindNextFile();
        if (!ff.IsDirectory() || ff.IsDots())
            continue;
        Append(list, ResDirectory, ff.GetFilePath());
        DirTree(ff.GetFilePath(), list, walk);
    }
    walk.Leave();
}

const struct {
    const wchar_t* name;
    HKEY key;
} kRoots[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

// Registry keys nest at most 512 levels; a deeper walk is a cycle through a registry link.
const int kMaxKeyDepth = 512;

void RegKey(const std::wstring& keyPath, CIChNodeList* list, int addKeys, int recursive, int depth,
            const RegValueFilter* filter = nullptr) {
    if (depth > kMaxKeyDepth)
        return;
    const size_t slash = keyPath.find(L'\\');
    const std::wstring rootName = keyPath.substr(0, slash);
    HKEY root = nullptr;
    for (const auto& r : kRoots)
        if (rootName == r.name)
            root = r.key;
    if (!root)
        return;
    const std::wstring sub = slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(1024);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(name.size());
        LONG rc = ::RegEnumValueW(key, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue; // a name of 1024 characters or more: skipped, the listing goes on
        if (rc != ERROR_SUCCESS)
            break;
        if (filter && !(*filter)(keyPath, name.data()))
            continue;
        if (::RegQueryValueExW(key, name.data(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        Append(list, ResRegValue, keyPath + L"\\" + RegValueNameToToken(name.data()));
    }
    if (addKeys || recursive) {
        for (DWORD i = 0;; ++i) {
            DWORD len = static_cast<DWORD>(name.size());
            LONG rc = ::RegEnumKeyExW(key, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_MORE_DATA)
                continue;
            // Any other failure (a key deleted meanwhile, access lost) ends the listing.
            if (rc != ERROR_SUCCESS)
                break;
            const std::wstring subPath = keyPath + L"\\" + name.data();
            if (addKeys) {
                if (!KvCmdSequence::IsRegKeyExist(subPath.c_str()))
                    continue;
                Append(list, ResRegKey, subPath);
            }
            if (recursive)
                RegKey(subPath, list, addKeys, recursive, depth + 1, filter);
        }
    }
    ::RegCloseKey(key);
}

} // namespace

void GetDirResources(const wchar_t* dirPath, CIChNodeList* list, int addDirs, int recursive, const wchar_t* mask) {
    if (!dirPath || !list)
        return;
    if (addDirs && list->empty())
        Append(list, ResDirectory, dirPath);
    WalkGuard walk;
    DirFiles(dirPath, list, addDirs, recursive, TrimMask(mask), walk);
}

void GetOneDirResources(const wchar_t* dirPath, CIChNodeList* list, int recursive) {
    if (!dirPath || !list)
        return;
    if (list->empty())
        Append(list, ResDirectory, dirPath);
    if (recursive) {
        WalkGuard walk;
        DirTree(dirPath, list, walk);
    }
}

void GetRegKeyResources(const wchar_t* keyPath, CIChNodeList* list, int addKeys, int recursive) {
    if (!keyPath || !list)
        return;
    if (addKeys && list->empty() && KvCmdSequence::IsRegKeyExist(keyPath))
        Append(list, ResRegKey, keyPath);
    RegKey(keyPath, list, addKeys, recursive, 0);
}

void GetRegKeyValueResources(const wchar_t* keyPath, CIChNodeList* list, int recursive, const RegValueFilter& filter) {
    if (!keyPath || !list)
        return;
    RegKey(keyPath, list, 0, recursive, 0, filter ? &filter : nullptr);
}
