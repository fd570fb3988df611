// Running a command sequence into resource lists, and the path conversions around it.
#include <winsock2.h>

#include "CmdInternal.h"

#include "CmdText.h"
#include "KvPathAliases.h"
#include <KvText.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace KvCmdSequence {

namespace {

const wchar_t kMaskSeparators[] = L";, ";
// Roots are cut to this many characters (a buffer of MAX_PATH with its terminating zero).
const std::size_t kMaxRoot = MAX_PATH - 1;

// Path order: the platform's case-insensitive comparison of the paths; the kind plays no part.
bool PathLess(const ScsResource& a, const ScsResource& b) {
    return lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) < 0;
}

bool SameResource(const ScsResource& a, const ScsResource& b) {
    return a.nType == b.nType && lstrcmpiW(a.strPath.c_str(), b.strPath.c_str()) == 0;
}

// Stable sort by path order, then drop each element that is the same resource as the one before.
// lstrcmpiW compares by the sort keys of the thread's locale and rebuilds both keys on every
// call; here each path's key is made once and the keys are compared as bytes. The order is then
// checked pair by pair with lstrcmpiW itself, and should the keys ever disagree with it the
// list is sorted by lstrcmpiW as before: the result is exactly lstrcmpiW's order.
void SortUnique(std::list<ScsResource>& list) {
    if (list.size() < 2)
        return;
    const LCID locale = GetThreadLocale();
    struct Keyed {
        std::string key;
        std::list<ScsResource>::iterator element;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(list.size());
    bool keysMade = true;
    std::vector<char> buffer(2048);
    for (auto it = list.begin(); it != list.end() && keysMade; ++it) {
        Keyed item{std::string(), it};
        const std::wstring& path = it->strPath;
        if (!path.empty()) {
            const int length = static_cast<int>(wcsnlen(path.c_str(), path.size()));
            int size = LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, path.c_str(), length,
                                    reinterpret_cast<LPWSTR>(buffer.data()), static_cast<int>(buffer.size()));
            if (size <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
                size = LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, path.c_str(), length, nullptr, 0);
                if (size > 0) {
                    buffer.resize(static_cast<std::size_t>(size));
                    size = LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, path.c_str(), length,
                                        reinterpret_cast<LPWSTR>(buffer.data()), size);
                }
            }
            if (size <= 0) {
                keysMade = false;
                break;
            }
            item.key.assign(buffer.data(), static_cast<std::size_t>(size));
        }
        keyed.push_back(std::move(item));
    }
    bool agrees = keysMade;
    if (agrees) {
        std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        for (std::size_t i = 1; i < keyed.size() && agrees; ++i) {
            const int order = lstrcmpiW(keyed[i - 1].element->strPath.c_str(), keyed[i].element->strPath.c_str());
            const bool sameKey = keyed[i - 1].key == keyed[i].key;
            agrees = sameKey ? order == 0 : order < 0;
        }
    }
    if (!agrees) {
        list.sort(PathLess);
        list.unique(SameResource);
        return;
    }
    // Relink the elements in key order, then drop the repeats.
    std::list<ScsResource> sorted;
    for (Keyed& item : keyed)
        sorted.splice(sorted.end(), list, item.element);
    for (std::size_t i = 1, kept = 0; i < keyed.size(); ++i) {
        if (keyed[i].key == keyed[kept].key && keyed[i].element->nType == keyed[kept].element->nType) {
            sorted.erase(keyed[i].element);
            continue;
        }
        kept = i;
    }
    list.swap(sorted);
}

// For each element of `what` in order, removes from `from` the first element that is the same
// resource. Indexed, since both lists may hold many thousands of objects.
void RemoveFirstSame(std::list<ScsResource>& from, const std::list<ScsResource>& what) {
    struct Less {
        bool operator()(const ScsResource* a, const ScsResource* b) const {
            const int order = lstrcmpiW(a->strPath.c_str(), b->strPath.c_str());
            return order != 0 ? order < 0 : a->nType < b->nType;
        }
    };
    // Equal keys keep their insertion order, so lower_bound finds the first in list order.
    std::multimap<const ScsResource*, std::list<ScsResource>::iterator, Less> index;
    for (auto it = from.begin(); it != from.end(); ++it)
        index.emplace_hint(index.end(), &*it, it);
    for (const ScsResource& item : what) {
        auto found = index.lower_bound(&item);
        if (found == index.end() || Less()(&item, found->first))
            continue;
        auto element = found->second;
        index.erase(found);
        from.erase(element);
    }
}

std::vector<std::wstring> SplitMasks(const std::wstring& masks) {
    std::vector<std::wstring> list = Text::SplitRuns(masks, kMaskSeparators);
    if (list.empty())
        list.emplace_back(); // an empty mask, which matches nothing
    return list;
}

// The name and extension of a path, as _wsplitpath gives them: behind the drive and the last
// slash or backslash.
std::wstring FileNamePart(const std::wstring& path) {
    std::size_t start = (path.size() >= 2 && path[1] == L':') ? 2 : 0;
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash + 1 > start)
        start = slash + 1;
    return path.substr(start);
}

} // namespace

namespace Detail {

void FilterResourcesByMasks(std::list<ScsResource>& list, const std::vector<std::wstring>& dirMasks,
                            const std::vector<std::wstring>& fileMasks) {
    auto matchesAny = [](const std::vector<std::wstring>& masks, const std::wstring& name) {
        for (const std::wstring& mask : masks)
            if (IsPassMask(mask.c_str(), name.c_str()))
                return true;
        return false;
    };
    for (auto it = list.begin(); it != list.end();) {
        const std::wstring name = FileNamePart(it->strPath);
        const bool drop = (it->nType == SCS_FILE && !matchesAny(fileMasks, name)) ||
                          (it->nType == SCS_DIRECTORY && !matchesAny(dirMasks, name));
        it = drop ? list.erase(it) : std::next(it);
    }
}

} // namespace Detail

int CCmdSequence::Var2Path(std::wstring& path) const {
    const std::wstring upper = KvBase::UpperCase(path);
    for (const auto& [value, name] : m_mapEnvVars) {
        const std::wstring variable = KvBase::UpperCase(name);
        if (upper.compare(0, variable.size(), variable) == 0) {
            path = value + upper.substr(variable.size());
            return 1;
        }
    }
    return 0;
}

int CCmdSequence::Path2Var(std::wstring& path) const {
    const std::wstring upper = KvBase::UpperCase(path);
    // From the greatest value down: of two values where one begins the other, the longer is tried
    // first. The value needs no separator behind it, as the model writes its paths too: with TEMP
    // C:\Temp, C:\TempFiles becomes %TEMP%FILES.
    for (auto it = m_mapEnvVars.rbegin(); it != m_mapEnvVars.rend(); ++it) {
        const std::wstring value = KvBase::UpperCase(it->first);
        if (upper.compare(0, value.size(), value) == 0) {
            path = it->second + upper.substr(value.size());
            return 1;
        }
    }
    return 0;
}

int FixPath(wchar_t* path) {
    if (!path)
        return 0;
    // The buffer holds at least MAX_PATH characters: nothing beyond them is read or written.
    const std::wstring text(path, wcsnlen(path, MAX_PATH));
    const std::vector<std::wstring> pieces = Text::SplitRuns(text, L"#");
    const std::size_t firstReference = (!text.empty() && text[0] == L'#') ? 0 : 1;
    std::wstring result;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i % 2 != firstReference) {
            result += pieces[i];
            continue;
        }
        wchar_t value[MAX_PATH];
        if (GetRegValueStr(pieces[i].c_str(), value, MAX_PATH))
            result += value; // terminated by GetRegValueStr; an unreadable reference is left out
    }
    Text::TrimRight(result, L"\\/");
    result.resize(std::min(result.size(), kMaxRoot));
    wmemcpy(path, result.c_str(), result.size() + 1);
    return 1;
}

int CCmdSequence::FindResInMap(ScsResource* resource, std::uint64_t* number) {
    if (!resource)
        return 0;
    std::wstring& path = resource->strPath;
    if ((resource->nType == SCS_FILE || resource->nType == SCS_DIRECTORY) && path.size() >= 2) {
        // A redirected or substituted drive becomes its target; a substituted drive may lead to
        // another one (at most one step per drive letter, so a chain back to itself ends).
        path = KvPathAliases::FollowDriveAliases(path, m_mapDrives, KvPathAliases::DriveAsWritten);
        if (path.compare(0, 2, L"\\\\") == 0) {
            std::wstring prefix = path.substr(0, kMaxRoot);
            bool shared = false;
            for (std::size_t cut = prefix.rfind(L'\\'); cut != std::wstring::npos && cut >= 4;
                 cut = prefix.rfind(L'\\')) {
                prefix.erase(cut);
                auto share = m_mapShares.find(prefix);
                if (share != m_mapShares.end()) {
                    Text::ReplaceAll(path, prefix, share->second);
                    shared = true;
                    break;
                }
            }
            // Not a share of ours: a host given by its IPv4 address is written by its name (the
            // host part only: the same digits further on belong to folder or file names).
            if (!shared)
                KvPathAliases::WriteHostByName(path);
        }
    }
    const auto [seen, inserted] = m_mapResSeen.emplace(KvBase::UpperCase(path), 0);
    if (inserted)
        return 0;
    if (number)
        *number = seen->second;
    return 1;
}

int CCmdSequence::PassCmdList(std::list<ScsResource>& outFiles, std::list<ScsResource>& outRegistry,
                              std::list<ScsResource>& outModules) const {
    for (const SOneCmd& cmd : m_lstCmd) {
        std::list<ScsResource> files, registry, modules;
        const std::vector<std::wstring> fileMasks = SplitMasks(cmd.strFileMasks);
        const std::vector<std::wstring> dirMasks = SplitMasks(cmd.strDirMasks);

        std::wstring root;
        if (cmd.nType == CMD_DIR_FILES || cmd.nType == CMD_DIRS_WITH_FILES) {
            std::wstring expanded = cmd.strRoot;
            Var2Path(expanded);
            wchar_t buffer[MAX_PATH] = {};
            wmemcpy(buffer, expanded.c_str(), std::min(expanded.size(), kMaxRoot));
            FixPath(buffer);
            root = buffer;
        } else {
            root = cmd.strRoot.substr(0, kMaxRoot);
            Text::TrimRight(root, L"\\/");
        }

        const int recursive = cmd.bRecursive;
        switch (cmd.nType) {
        case CMD_DIR_FILES:
            // What GetDiskObjectsList(root, "*", mask, 0, ...) gives per file mask, in one walk.
            Detail::CollectDiskObjects(root, {L"*"}, fileMasks, 0, recursive, files);
            break;
        case CMD_DIRS_WITH_FILES:
            Detail::CollectDiskObjects(root, dirMasks, fileMasks, 1, recursive, files);
            break;
        case CMD_KEY_VALUES:
            for (const std::wstring& value : fileMasks)
                GetRegestryObjectsList(root.c_str(), L"*", value.c_str(), 0, recursive, &registry);
            break;
        case CMD_KEYS_WITH_VALUES:
            for (const std::wstring& key : dirMasks)
                for (const std::wstring& value : fileMasks)
                    GetRegestryObjectsList(root.c_str(), key.c_str(), value.c_str(), 1, recursive, &registry);
            break;
        case CMD_MSI_PRODUCTS:
            // No source of installed programs' objects is collected: the filter runs on nothing.
            Detail::FilterResourcesByMasks(files, dirMasks, fileMasks);
            break;
        default:
            return 0;
        }

        if (cmd.bDependencies) {
            for (const ScsResource& item : files) {
                if (item.nType != SCS_FILE)
                    continue;
                const std::size_t dot = item.strPath.rfind(L'.');
                if (dot == std::wstring::npos)
                    continue;
                const std::wstring extension = item.strPath.substr(dot);
                bool executable = false;
                for (const std::wstring& known : m_lstExtensions)
                    if (lstrcmpiW(extension.c_str(), known.c_str()) == 0) {
                        executable = true;
                        break;
                    }
                if (!executable)
                    continue;
                modules.push_back(item);
                std::wstring modulePath = item.strPath;
                Var2Path(modulePath);
                Detail::AppendDependentModules(modulePath, modules);
            }
        }

        if (!cmd.bExclude) {
            outFiles.splice(outFiles.end(), files);
            outRegistry.splice(outRegistry.end(), registry);
            outModules.splice(outModules.end(), modules);
            continue;
        }
        // A removing command removes what the commands before it added; its own objects go nowhere.
        if (!modules.empty()) {
            files.splice(files.end(), modules);
            SortUnique(files);
        }
        if (!files.empty()) {
            SortUnique(outFiles);
            RemoveFirstSame(outFiles, files);
            if (!outModules.empty()) {
                SortUnique(outModules);
                RemoveFirstSame(outModules, files);
            }
        }
        if (!registry.empty()) {
            SortUnique(outRegistry);
            RemoveFirstSame(outRegistry, registry);
        }
    }
    SortUnique(outFiles);
    SortUnique(outRegistry);
    SortUnique(outModules);
    return 1;
}

} // namespace KvCmdSequence
