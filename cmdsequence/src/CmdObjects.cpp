// Enumerators of disk and registry objects by masks, the name mask test, and the existence tests
// of files, registry keys and registry values.
#include "KvRegTokens.h"
#include "KvProcAddress.h"
#include "CmdInternal.h"

#include "CmdText.h"
#include <KvText.h>

#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <cwchar>
#include <vector>

namespace KvCmdSequence {

namespace {

// Every key is opened for reading only.
const REGSAM kReadAccess = KEY_READ; // 0x20019
// Registry names are read through buffers of this many characters.
const DWORD kRegNameBuffer = 1024;
const LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000D);
const int kKeyFlagsInformation = 5;

using RootKey = RegRootKey;
const auto& kRootKeys = RegRootKeys;

// Exact root: the text before the first backslash (all of it without one) is a root's name,
// case-sensitively; the subkey is the text behind that backslash.
bool SplitExactRoot(const wchar_t* path, HKEY& root, std::wstring& subkey) {
    const std::wstring text = path ? path : L"";
    const std::size_t slash = text.find(L'\\');
    const std::wstring name = text.substr(0, slash);
    for (const RootKey& r : kRootKeys) {
        if (name == r.name) {
            root = r.key;
            subkey = slash == std::wstring::npos ? std::wstring() : text.substr(slash + 1);
            return true;
        }
    }
    return false;
}

// Leading root and value name: the path begins with a root's name (the first in table order);
// the rest behind the first backslash (all of the path without one) is split at its last
// backslash into the key and the value's name, whose tokens are turned back.
bool SplitValuePath(const wchar_t* path, HKEY& root, std::wstring& subkey, std::wstring& valueName) {
    const std::wstring text = path;
    const RootKey* found = nullptr;
    for (const RootKey& r : kRootKeys) {
        if (text.compare(0, wcslen(r.name), r.name) == 0) {
            found = &r;
            break;
        }
    }
    if (!found)
        return false;
    root = found->key;
    const std::size_t first = text.find(L'\\');
    const std::wstring rest = first == std::wstring::npos ? text : text.substr(first + 1);
    const std::size_t last = rest.rfind(L'\\');
    if (last == std::wstring::npos) {
        subkey = rest;
        valueName.clear();
    } else {
        subkey = rest.substr(0, last);
        valueName = rest.substr(last + 1);
    }
    if (lstrcmpiW(valueName.c_str(), RegDefaultValueToken) == 0) {
        valueName.clear();
    } else {
        Text::ReplaceAll(valueName, RegBackslashToken, L"\\");
    }
    return true;
}

// A registry key opened for reading, closed with the scope.
class CReadKey {
public:
    CReadKey(HKEY root, const std::wstring& subkey) {
        if (RegOpenKeyExW(root, subkey.c_str(), 0, kReadAccess, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~CReadKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    CReadKey(const CReadKey&) = delete;
    CReadKey& operator=(const CReadKey&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

std::atomic<Detail::NtQueryKeyProc> g_ntQueryKeyOverride{nullptr};

// The identity of a directory, to notice a link that leads back to a directory being walked.
struct FileId {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileId& o) const { return volume == o.volume && high == o.high && low == o.low; }
};

bool ReadFileId(const std::wstring& path, FileId& id) {
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
    CloseHandle(h);
    if (ok) {
        id.volume = info.dwVolumeSerialNumber;
        id.high = info.nFileIndexHigh;
        id.low = info.nFileIndexLow;
    }
    return ok;
}

// One directory on the path of the current disk walk; its identity is read only when a link
// below it has to be checked.
struct DirFrame {
    std::wstring base;
    int idState = 0; // 0 not read, 1 read, -1 unreadable
    FileId id;
};

// True when the linked directory `path` is one of the directories being walked.
bool LeadsBack(const std::wstring& path, std::vector<DirFrame>& walk) {
    FileId target;
    if (!ReadFileId(path, target))
        return false;
    for (DirFrame& frame : walk) {
        if (frame.idState == 0) {
            // The base of a root directory has lost its backslash: "C:" alone names the drive's
            // current directory, and the empty base stands for "\".
            const bool rootOnly = frame.base.empty() || (frame.base.size() == 2 && frame.base[1] == L':');
            frame.idState = ReadFileId(rootOnly ? frame.base + L"\\" : frame.base, frame.id) ? 1 : -1;
        }
        if (frame.idState == 1 && frame.id == target)
            return true;
    }
    return false;
}

// A directory search, closed with the scope (also when an allocation fails in the walk).
class CFind {
public:
    CFind(const std::wstring& pattern, WIN32_FIND_DATAW& data)
        : m_find(FindFirstFileW(pattern.c_str(), &data)), m_data(data) {}
    // A listing with the search's flags (FIND_FIRST_EX_LARGE_FETCH: fewer, larger reads).
    CFind(const std::wstring& pattern, WIN32_FIND_DATAW& data, DWORD flags)
        : m_find(FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, flags)),
          m_data(data) {}
    ~CFind() {
        if (m_find != INVALID_HANDLE_VALUE)
            FindClose(m_find);
    }
    CFind(const CFind&) = delete;
    CFind& operator=(const CFind&) = delete;
    bool Found() const { return m_find != INVALID_HANDLE_VALUE; }
    bool Next() { return FindNextFileW(m_find, &m_data) != FALSE; }

private:
    HANDLE m_find;
    WIN32_FIND_DATAW& m_data;
};

// Steps 3 to 6 of the disk walk for the directory on top of `walk`.
void WalkDirectory(std::vector<DirFrame>& walk, const std::wstring& dirPattern, const std::wstring& filePattern,
                   int addDirs, int recursive, std::list<ScsResource>& out) {
    const std::wstring base = walk.back().base;
    WIN32_FIND_DATAW data;
    {
        CFind files(base + L"\\" + filePattern, data);
        if (files.Found()) {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    out.emplace_back(base + L"\\" + data.cFileName, SCS_FILE);
            } while (files.Next());
        }
    }
    if (!addDirs && !recursive)
        return;

    CFind dirs(base + L"\\" + dirPattern, data);
    if (!dirs.Found())
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || wcscmp(data.cFileName, L".") == 0 ||
            wcscmp(data.cFileName, L"..") == 0)
            continue;
        std::wstring path = base + L"\\" + data.cFileName;
        if (addDirs)
            out.emplace_back(path, SCS_DIRECTORY);
        if (!recursive || !PathIsDirectoryW(path.c_str()))
            continue;
        // A junction or symbolic link is followed like a directory, unless it leads back to a
        // directory of this walk: that would repeat the same objects until the path overflows.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && LeadsBack(path, walk))
            continue;
        walk.push_back(DirFrame{path});
        WalkDirectory(walk, dirPattern, filePattern, addDirs, recursive, out);
        walk.pop_back();
    } while (dirs.Next());
}

// ---------------------------------------------------------------------------------------------
// One walk for all masks of a command

// True for a character that is not ASCII but that the platform's upper-casing turns into an
// ASCII character (dotless i, long s): a name with one can match an ASCII mask by a table that
// this process does not know for sure, so the directory search decides for it.
bool FoldsIntoAscii(wchar_t ch) {
    static const std::vector<bool> table = [] {
        std::vector<wchar_t> chars(0x10000);
        for (std::size_t i = 0; i < chars.size(); ++i)
            chars[i] = static_cast<wchar_t>(i);
        KvBase::UpperCaseChars(chars.data() + 0x80, chars.size() - 0x80);
        std::vector<bool> folds(0x10000, false);
        for (std::size_t i = 0x80; i < chars.size(); ++i)
            folds[i] = chars[i] < 0x80;
        folds[0x131] = folds[0x17F] = true; // whatever this table says: file systems have their own
        return folds;
    }();
    return ch >= 0x80 && table[ch];
}

wchar_t UpperAscii(wchar_t ch) { return (ch >= L'a' && ch <= L'z') ? static_cast<wchar_t>(ch - (L'a' - L'A')) : ch; }

// A mask as the directory search applies it to the names of one folder. Masks of the common
// shapes ("*", "*.*", a name, "P*", "*S", "P*S" with ASCII texts) are tested here; a name is
// decided here only where the platform's search and the plain wildcard rule cannot differ:
//   - the search also matches the short (8.3) name, and Wine its own hashed short names, so a
//     name whose long form fails while its short form passes is left to the search;
//   - Wine's matcher misses a suffix that occurs in the name more than once (it finds *aa in aa,
//     not in aaa), so such a name is left to the search;
//   - "*." and "a?" mean different things to Windows (DOS_DOT, DOS_QM) and to Wine, so every mask
//     with "?", a trailing dot or blank, more than one "*" or a non-ASCII character is left to
//     the search for every name.
// A mask that reaches into another folder (a backslash, a slash, a colon), names a device or is
// empty is not handled by the walk at all.
class CSearchMask {
public:
    enum Verdict { No, Yes, AskSearch };

    explicit CSearchMask(const std::wstring& mask) : m_pattern(mask) {
        Text::Trim(m_pattern, L"\\/ ");
        m_raw = m_pattern.empty() || m_pattern.find_first_of(L"\\/:") != std::wstring::npos || NamesADevice(m_pattern);
        m_shape = Classify();
    }

    const std::wstring& Pattern() const { return m_pattern; }
    bool Raw() const { return m_raw; }

    Verdict Test(const WIN32_FIND_DATAW& entry) const {
        if (m_shape == ShapeSearch)
            return AskSearch;
        const int longName = MatchName(entry.cFileName);
        if (longName != 0)
            return longName == 1 ? Yes : AskSearch;
        if (entry.cAlternateFileName[0] && MatchName(entry.cAlternateFileName) != 0)
            return AskSearch;
        return No;
    }

private:
    enum Shape { ShapeAll, ShapeName, ShapePrefix, ShapeSuffix, ShapeBoth, ShapeSearch };

    // A name without wildcards whose stem (before the first dot, trailing blanks dropped) is a
    // device (CON, PRN, AUX, NUL, COMn, LPTn): the search answers such a pattern with an entry
    // for the device, which no listing holds.
    static bool NamesADevice(const std::wstring& pattern) {
        if (pattern.find_first_of(L"*?") != std::wstring::npos)
            return false;
        std::wstring stem = pattern.substr(0, pattern.find(L'.'));
        Text::TrimRight(stem, L" ");
        for (wchar_t& ch : stem)
            ch = UpperAscii(ch);
        if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
            return true;
        if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0))
            return false;
        const wchar_t digit = stem[3];
        return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }

    Shape Classify() {
        if (m_raw)
            return ShapeSearch;
        if (m_pattern == L"*" || m_pattern == L"*.*")
            return ShapeAll;
        for (wchar_t ch : m_pattern)
            if (ch < 0x21 || ch > 0x7E || wcschr(L"?<>\"|", ch))
                return ShapeSearch;
        const wchar_t last = m_pattern.back();
        const std::size_t star = m_pattern.find(L'*');
        if (star != m_pattern.rfind(L'*'))
            return ShapeSearch;
        std::wstring upper = m_pattern;
        for (wchar_t& ch : upper)
            ch = UpperAscii(ch);
        if (star == std::wstring::npos) {
            if (last == L'.')
                return ShapeSearch; // the platform drops trailing dots of a name
            m_prefix = upper;
            return ShapeName;
        }
        m_prefix = upper.substr(0, star);
        m_suffix = upper.substr(star + 1);
        if (m_suffix.empty()) {
            // "P*": a prefix. "name.*" also matches the name without extension, on both systems;
            // more dots before the star do not mean the same on both.
            if (m_prefix.size() >= 2 && m_prefix[m_prefix.size() - 1] == L'.' && m_prefix[m_prefix.size() - 2] == L'.')
                return ShapeSearch;
            return ShapePrefix;
        }
        if (m_suffix.back() == L'.' || (!m_prefix.empty() && m_prefix.back() == L'.'))
            return ShapeSearch;
        return m_prefix.empty() ? ShapeSuffix : ShapeBoth;
    }

    static bool EqualAt(const wchar_t* name, std::size_t at, const std::wstring& text) {
        for (std::size_t i = 0; i < text.size(); ++i)
            if (UpperAscii(name[at + i]) != text[i])
                return false;
        return true;
    }

    // How often `text` occurs in name[from..length), overlapping occurrences counted.
    static int Occurrences(const wchar_t* name, std::size_t from, std::size_t length, const std::wstring& text) {
        int count = 0;
        for (std::size_t at = from; at + text.size() <= length; ++at)
            if (EqualAt(name, at, text))
                ++count;
        return count;
    }

    // 1 the name matches, 0 it does not, 2 only the search can tell.
    int MatchName(const wchar_t* name) const {
        const std::size_t length = wcslen(name);
        for (std::size_t i = 0; i < length; ++i)
            if (FoldsIntoAscii(name[i]))
                return 2;
        switch (m_shape) {
        case ShapeAll:
            return 1;
        case ShapeName:
            return length == m_prefix.size() && EqualAt(name, 0, m_prefix) ? 1 : 0;
        case ShapePrefix:
            if (length >= m_prefix.size())
                return EqualAt(name, 0, m_prefix) ? 1 : 0;
            // "name.*" and the name itself
            return m_prefix.back() == L'.' && length + 1 == m_prefix.size() &&
                           EqualAt(name, 0, m_prefix.substr(0, length))
                       ? 1
                       : 0;
        case ShapeSuffix:
        case ShapeBoth: {
            if (length < m_prefix.size() + m_suffix.size() || !EqualAt(name, 0, m_prefix) ||
                !EqualAt(name, length - m_suffix.size(), m_suffix))
                return 0;
            return Occurrences(name, m_prefix.size(), length, m_suffix) == 1 ? 1 : 2;
        }
        default:
            return 2;
        }
    }

    std::wstring m_pattern;
    bool m_raw = false;
    Shape m_shape = ShapeSearch;
    std::wstring m_prefix, m_suffix; // upper-case ASCII
};

// The masks of one kind (directories or files) in one folder, with the names that the platform's
// search finds for a mask, asked only when a name needs it and then once per folder and mask.
class CFolderMasks {
public:
    CFolderMasks(const std::vector<CSearchMask>& masks, const std::wstring& base)
        : m_masks(masks), m_base(base), m_found(masks.size()) {}

    bool Matches(std::size_t index, const WIN32_FIND_DATAW& entry) {
        switch (m_masks[index].Test(entry)) {
        case CSearchMask::Yes:
            return true;
        case CSearchMask::No:
            return false;
        default:
            break;
        }
        if (!m_found[index]) {
            m_found[index] = std::make_unique<std::set<std::wstring>>();
            WIN32_FIND_DATAW data;
            CFind search(m_base + L"\\" + m_masks[index].Pattern(), data);
            if (search.Found()) {
                do
                    m_found[index]->insert(data.cFileName);
                while (search.Next());
            }
        }
        return m_found[index]->count(entry.cFileName) != 0;
    }

private:
    const std::vector<CSearchMask>& m_masks;
    const std::wstring& m_base;
    std::vector<std::unique_ptr<std::set<std::wstring>>> m_found;
};

// One object the walk found, with the per-mask walks that find it: bit d of `dirs` for each
// directory mask whose walk reaches it, bit f of `files` for each file mask that matches a file.
struct FoundObject {
    std::wstring path;
    int type;
    std::uint64_t dirs;
    std::uint64_t files;
};

// One walk of a tree for all pairs of masks of a command: one listing per folder, each name
// tested against every mask.
class CDiskCollector {
public:
    CDiskCollector(const std::vector<CSearchMask>& dirMasks, const std::vector<CSearchMask>& fileMasks, int addDirs,
                   int recursive)
        : m_dirMasks(dirMasks), m_fileMasks(fileMasks), m_addDirs(addDirs), m_recursive(recursive) {}

    // The folder on top of `walk`, reached by the walks of the directory masks in `reached`.
    void Walk(std::vector<DirFrame>& walk, std::uint64_t reached) {
        const std::wstring base = walk.back().base;
        // Files are taken as the listing gives them; subfolders are kept for after the files.
        std::vector<WIN32_FIND_DATAW> subfolders;
        {
            CFolderMasks files(m_fileMasks, base);
            WIN32_FIND_DATAW entry;
            CFind all(base + L"\\*", entry, FIND_FIRST_EX_LARGE_FETCH);
            if (all.Found()) {
                do {
                    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                        if (m_addDirs || m_recursive)
                            subfolders.push_back(entry);
                        continue;
                    }
                    std::uint64_t matched = 0;
                    for (std::size_t f = 0; f < m_fileMasks.size(); ++f)
                        if (files.Matches(f, entry))
                            matched |= std::uint64_t(1) << f;
                    if (matched)
                        m_found.push_back(FoundObject{base + L"\\" + entry.cFileName, SCS_FILE, reached, matched});
                } while (all.Next());
            }
        }
        if (!m_addDirs && !m_recursive)
            return;
        CFolderMasks dirs(m_dirMasks, base);
        for (const WIN32_FIND_DATAW& entry : subfolders) {
            if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0)
                continue;
            std::uint64_t matched = 0;
            for (std::size_t d = 0; d < m_dirMasks.size(); ++d)
                if ((reached >> d & 1) && dirs.Matches(d, entry))
                    matched |= std::uint64_t(1) << d;
            if (!matched)
                continue;
            std::wstring path = base + L"\\" + entry.cFileName;
            if (m_addDirs)
                m_found.push_back(FoundObject{path, SCS_DIRECTORY, matched, 0});
            if (!m_recursive)
                continue;
            // As in the per-mask walk: a link is followed when it leads to a directory, and not
            // when it leads back into the walk. A plain directory is one by its listing.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                (!PathIsDirectoryW(path.c_str()) || LeadsBack(path, walk)))
                continue;
            walk.push_back(DirFrame{std::move(path)});
            Walk(walk, matched);
            walk.pop_back();
        }
    }

    // Appends the objects in the order of the per-mask walks: for each directory mask, for each
    // file mask, what that walk finds, in walk order. An object's path is moved out at its last
    // appearance.
    void Emit(std::list<ScsResource>& out) {
        const std::size_t pairs = m_dirMasks.size() * m_fileMasks.size();
        auto inPair = [this](const FoundObject& object, std::size_t pair) {
            const std::size_t d = pair / m_fileMasks.size(), f = pair % m_fileMasks.size();
            return (object.dirs >> d & 1) && (object.type == SCS_DIRECTORY || (object.files >> f & 1));
        };
        std::vector<std::size_t> last(m_found.size(), 0);
        for (std::size_t i = 0; i < m_found.size(); ++i)
            for (std::size_t pair = pairs; pair-- > 0;)
                if (inPair(m_found[i], pair)) {
                    last[i] = pair;
                    break;
                }
        for (std::size_t pair = 0; pair < pairs; ++pair)
            for (std::size_t i = 0; i < m_found.size(); ++i)
                if (inPair(m_found[i], pair)) {
                    if (last[i] == pair)
                        out.emplace_back(std::move(m_found[i].path), m_found[i].type);
                    else
                        out.emplace_back(m_found[i].path, m_found[i].type);
                }
    }

private:
    const std::vector<CSearchMask>& m_dirMasks;
    const std::vector<CSearchMask>& m_fileMasks;
    int m_addDirs, m_recursive;
    std::vector<FoundObject> m_found;
};

} // namespace

namespace Detail {

NtQueryKeyProc SetNtQueryKeyOverride(NtQueryKeyProc proc) { return g_ntQueryKeyOverride.exchange(proc); }

void CollectDiskObjects(const std::wstring& root, const std::vector<std::wstring>& dirMasks,
                        const std::vector<std::wstring>& fileMasks, int addDirs, int recursive,
                        std::list<ScsResource>& out) {
    std::vector<CSearchMask> dirs, files;
    bool oneWalk = !dirMasks.empty() && !fileMasks.empty() && dirMasks.size() <= 64 && fileMasks.size() <= 64;
    for (const std::wstring& mask : dirMasks) {
        dirs.emplace_back(mask);
        oneWalk = oneWalk && !dirs.back().Raw();
    }
    for (const std::wstring& mask : fileMasks) {
        files.emplace_back(mask);
        oneWalk = oneWalk && !files.back().Raw();
    }
    if (!oneWalk) {
        // A mask that names another folder (or an empty one) makes the search list what the
        // walk cannot know: walk per pair of masks.
        for (const std::wstring& dir : dirMasks)
            for (const std::wstring& file : fileMasks)
                GetDiskObjectsList(root.c_str(), dir.c_str(), file.c_str(), addDirs, recursive, &out);
        return;
    }
    if (!PathIsDirectoryW(root.c_str()))
        return;
    if (addDirs && out.empty())
        out.emplace_back(root, SCS_DIRECTORY);
    std::wstring base = root;
    Text::TrimRight(base, L"\\/");
    CDiskCollector collector(dirs, files, addDirs, recursive);
    std::vector<DirFrame> walk{DirFrame{base}};
    collector.Walk(walk, dirs.size() == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << dirs.size()) - 1);
    collector.Emit(out);
}

int GetCurrentUserSid(PSID* out) {
    if (!out)
        return 0;
    *out = nullptr;
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        if (GetLastError() != ERROR_NO_TOKEN || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return 0;
    }
    int result = 0;
    void* info = nullptr;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, nullptr, 0, &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        info = HeapAlloc(GetProcessHeap(), 0, size);
        if (info && GetTokenInformation(token, TokenUser, info, size, &size)) {
            PSID sid = static_cast<TOKEN_USER*>(info)->User.Sid;
            const DWORD length = GetLengthSid(sid);
            *out = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length);
            if (*out)
                result = CopySid(length, *out, sid) ? 1 : 0;
        }
    }
    if (info)
        HeapFree(GetProcessHeap(), 0, info);
    CloseHandle(token);
    if (!result && *out) {
        HeapFree(GetProcessHeap(), 0, *out);
        *out = nullptr;
    }
    return result;
}

std::wstring GetCurrentUserSidString() {
    std::wstring text;
    PSID sid = nullptr;
    if (!GetCurrentUserSid(&sid))
        return text;
    wchar_t* converted = nullptr;
    if (ConvertSidToStringSidW(sid, &converted) && converted) {
        text = converted;
        LocalFree(converted);
    }
    HeapFree(GetProcessHeap(), 0, sid);
    return text;
}

int IsRegPathSkipped(const wchar_t* path) {
    // Taken once per process; the user of a process does not change.
    static const std::wstring sid = GetCurrentUserSidString();
    const std::wstring upper = KvBase::UpperCase(path ? path : L"");
    const std::wstring areas[] = {L"HKEY_LOCAL_MACHINE\\HARDWARE",
                                  L"HKEY_LOCAL_MACHINE\\COMPONENTS",
                                  L"HKEY_LOCAL_MACHINE\\SCHEMA",
                                  L"HKEY_CLASSES_ROOT\\VIRTUALSTORE",
                                  L"HKEY_CURRENT_USER\\SOFTWARE\\CLASSES\\VIRTUALSTORE",
                                  L"HKEY_USERS\\" + sid + L"\\SOFTWARE\\CLASSES\\VIRTUALSTORE",
                                  L"HKEY_USERS\\" + sid + L"_CLASSES\\VIRTUALSTORE"};
    for (const std::wstring& area : areas) {
        if (upper.compare(0, area.size(), area) == 0 && (upper.size() == area.size() || upper[area.size()] == L'\\'))
            return 1;
    }
    return 0;
}

} // namespace Detail

int IsPassMask(const wchar_t* mask, const wchar_t* name) {
    if (!mask || !name || !*mask)
        return 0;
    std::wstring rest = mask;
    const bool leading = rest.front() == L'*';
    const bool trailing = rest.back() == L'*';
    rest.erase(std::remove(rest.begin(), rest.end(), L'*'), rest.end());
    if (rest.empty())
        return 1;
    rest = KvBase::UpperCase(rest);
    const std::wstring upper = KvBase::UpperCase(name);
    if (!leading && !trailing)
        return upper == rest ? 1 : 0;
    if (leading && !trailing)
        return upper.size() >= rest.size() && upper.compare(upper.size() - rest.size(), rest.size(), rest) == 0 ? 1 : 0;
    if (!leading && trailing)
        return upper.compare(0, rest.size(), rest) == 0 ? 1 : 0;
    return upper.find(rest) != std::wstring::npos ? 1 : 0;
}

int IsFileExist(const wchar_t* path) {
    if (!path)
        return 0;
    WIN32_FIND_DATAW data;
    return CFind(path, data).Found() ? 1 : 0;
}

int IsRegKeyVirtual(HKEY key) {
    if (!key)
        return 0;
    Detail::NtQueryKeyProc query = g_ntQueryKeyOverride.load();
    if (!query) {
        HMODULE ntdll = GetModuleHandleW(L"ntdll");
        if (ntdll)
            query = KvGetProcAddress<Detail::NtQueryKeyProc>(ntdll, "NtQueryKey");
    }
    if (!query)
        return 0;
    DWORD flags[6] = {}; // KeyFlagsInformation: 24 bytes
    ULONG resultLength = 0;
    const LONG status = query(key, kKeyFlagsInformation, flags, sizeof(flags), &resultLength);
    if (status >= 0)
        return flags[1] == 1 ? 1 : 0;
    // A query that the system does not know for this key says nothing; any other failure is
    // taken as a key that must not be offered.
    return status == kStatusInvalidParameter ? 0 : 1;
}

int IsRegKeyExist(const wchar_t* keyPath) {
    HKEY root;
    std::wstring subkey;
    if (!SplitExactRoot(keyPath, root, subkey))
        return 0;
    if (Detail::IsRegPathSkipped(keyPath))
        return 0;
    CReadKey key(root, subkey);
    if (!key.get())
        return 0;
    return IsRegKeyVirtual(key.get()) ? 0 : 1;
}

int IsRegValueExist(const wchar_t* valuePath) {
    if (!valuePath)
        return 0;
    HKEY root;
    std::wstring subkey, name;
    if (!SplitValuePath(valuePath, root, subkey, name))
        return 0;
    if (Detail::IsRegPathSkipped(valuePath))
        return 0;
    CReadKey key(root, subkey);
    if (!key.get() || IsRegKeyVirtual(key.get()))
        return 0;
    BYTE probe = 0;
    DWORD size = 1;
    // Data larger than the probe answers ERROR_MORE_DATA: the value exists all the same.
    return RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, &probe, &size) == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

int GetRegValueStr(const wchar_t* valuePath, wchar_t* buffer, DWORD length) {
    if (!valuePath || !buffer || length == 0)
        return 0;
    buffer[0] = L'\0';
    HKEY root;
    std::wstring subkey, name;
    if (!SplitValuePath(valuePath, root, subkey, name))
        return 0;
    CReadKey key(root, subkey);
    if (!key.get())
        return 0;
    // Read at most length * 2 bytes; the data may lack its terminating zero, so the text is ended
    // here, and data that leaves no room for the zero counts as not read.
    DWORD size = length * sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        buffer[0] = L'\0';
        return 0;
    }
    const DWORD chars = (size + 1) / sizeof(wchar_t);
    if (chars < length) {
        if (size % sizeof(wchar_t))
            reinterpret_cast<BYTE*>(buffer)[size] = 0;
        buffer[chars] = L'\0';
        return 1;
    }
    if (buffer[length - 1] == L'\0')
        return 1; // the stored text fills the buffer with its own terminating zero
    buffer[0] = L'\0';
    return 0;
}

void GetDiskObjectsList(const wchar_t* root, const wchar_t* dirMask, const wchar_t* fileMask, int addDirs,
                        int recursive, std::list<ScsResource>* out) {
    if (!root || !dirMask || !fileMask || !out || !PathIsDirectoryW(root))
        return;
    if (addDirs && out->empty())
        out->emplace_back(root, SCS_DIRECTORY);
    std::wstring base = root;
    Text::TrimRight(base, L"\\/");
    std::wstring filePattern = fileMask, dirPattern = dirMask;
    Text::Trim(filePattern, L"\\/ ");
    Text::Trim(dirPattern, L"\\/ ");
    std::vector<DirFrame> walk{DirFrame{base}};
    WalkDirectory(walk, dirPattern, filePattern, addDirs, recursive, *out);
}

void GetRegestryObjectsList(const wchar_t* root, const wchar_t* keyMask, const wchar_t* valueMask, int addKeys,
                            int recursive, std::list<ScsResource>* out) {
    if (!root || !keyMask || !valueMask || !out || !IsRegKeyExist(root))
        return;
    if (addKeys && out->empty())
        out->emplace_back(root, SCS_REG_KEY);
    HKEY rootKey;
    std::wstring subkey;
    if (!SplitExactRoot(root, rootKey, subkey))
        return;
    CReadKey key(rootKey, subkey);
    if (!key.get())
        return;
    const std::wstring prefix = std::wstring(root) + L"\\";

    wchar_t name[kRegNameBuffer];
    for (DWORD index = 0;; ++index) {
        DWORD length = kRegNameBuffer;
        const LONG result = RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA)
            continue; // a name of 1024 characters or more: skipped, the listing goes on
        if (result != ERROR_SUCCESS)
            break;
        const std::wstring valueName(name, length);
        if (!IsPassMask(valueMask, valueName.empty() ? L"(Default)" : valueName.c_str()))
            continue;
        std::wstring written;
        if (valueName.empty()) {
            written = RegDefaultValueToken;
        } else {
            for (wchar_t ch : valueName) {
                if (ch == L'\\')
                    written += RegBackslashToken;
                else
                    written += ch;
            }
        }
        out->emplace_back(prefix + written, SCS_REG_VALUE);
    }
    if (!addKeys && !recursive)
        return;

    for (DWORD index = 0;; ++index) {
        DWORD length = kRegNameBuffer;
        const LONG result = RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break; // ERROR_NO_MORE_ITEMS, or a key that cannot be listed further
        const std::wstring path = prefix + std::wstring(name, length);
        if (addKeys && IsPassMask(keyMask, name))
            out->emplace_back(path, SCS_REG_KEY);
        if (recursive)
            GetRegestryObjectsList(path.c_str(), keyMask, valueMask, addKeys, recursive, out);
    }
}

void GetMSIObjectsList(const wchar_t*, int, std::list<ScsResource>*, std::list<ScsResource>*) {
    // Installed programs are not collected by the library (see PassCmdList, kind 4).
}

} // namespace KvCmdSequence
