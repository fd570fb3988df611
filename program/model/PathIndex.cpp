// Path variables, the resource path index with its drive and share aliases, and the merge of node
// trees into the model.
#include <winsock2.h>
#include <windows.h>
#include <lm.h>
#include <winnetwk.h>

#include <unordered_set>
#include <vector>

#include "IChDataModel.h"

namespace {

const wchar_t* const kPathVariables[] = {
    L"ALLUSERSPROFILE", L"CommonProgramFiles", L"CommonProgramW6432", L"ProgramFiles",
    L"ProgramW6432",    L"TEMP",               L"SystemRoot",         L"SystemDrive",
};

// Whether the path begins with the text, without regard to case.
bool StartsWithNoCase(const std::wstring& path, const std::wstring& text)
{
    if (text.empty() || path.size() < text.size())
        return false;
    return strupper(path.substr(0, text.size())) == strupper(text);
}

// A dotted IPv4 address of four decimal parts (inet_addr alone would also take "1234").
bool IsDottedQuad(const std::wstring& text)
{
    int dots = 0, digits = 0;
    for (wchar_t c : text) {
        if (c == L'.') {
            if (digits == 0)
                return false;
            ++dots;
            digits = 0;
        } else if (c >= L'0' && c <= L'9') {
            if (++digits > 3)
                return false;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Path variables

void CIChDataModel::BuildPathVariables()
{
    m_PathVars.clear();
    for (const wchar_t* name : kPathVariables) {
        DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        if (size == 0)
            continue;
        std::vector<wchar_t> buffer(size + 1);
        DWORD length = GetEnvironmentVariableW(name, buffer.data(), DWORD(buffer.size()));
        if (length == 0 || length >= buffer.size())
            continue;
        // A later variable with the same value replaces the earlier one.
        m_PathVars[std::wstring(buffer.data(), length)] = format_wstring(L"%%%s%%", name);
    }
}

int CollapsePathVariable(std::wstring& path, const CPathVarMap& vars)
{
    for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
        if (StartsWithNoCase(path, it->first)) {
            path = it->second + path.substr(it->first.size());
            return 1;
        }
    }
    return 0;
}

int ExpandPathVariable(std::wstring& path, const CPathVarMap& vars)
{
    for (const auto& entry : vars) {
        if (StartsWithNoCase(path, entry.second)) {
            path = entry.first + path.substr(entry.second.size());
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Path index and aliases

void CIChDataModel::RebuildPathIndex()
{
    m_PathIndex.clear();
    for (CIChNode* node : m_Resources) {
        CIChResorce* resource = static_cast<CIChResorce*>(node);
        std::wstring key = resource->m_Name;
        if (resource->m_SubType == ResFile || resource->m_SubType == ResDirectory)
            ExpandPathVariable(key, m_PathVars);
        m_PathIndex[strupper(key)] = resource;
    }
    RebuildDriveAliases();
    RebuildShareAliases();
}

void CIChDataModel::RebuildDriveAliases()
{
    m_DriveAliases.clear();
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i)))
            continue;
        wchar_t drive[3] = {wchar_t(L'A' + i), L':', 0};
        union {
            UNIVERSAL_NAME_INFOW info;
            BYTE bytes[1024];
        } buffer;
        DWORD size = sizeof(buffer);
        if (WNetGetUniversalNameW(drive, UNIVERSAL_NAME_INFO_LEVEL, &buffer, &size) == NO_ERROR &&
            buffer.info.lpUniversalName) {
            m_DriveAliases[drive] = buffer.info.lpUniversalName;
            continue;
        }
        wchar_t target[1024];
        if (QueryDosDeviceW(drive, target, 1024) && wcsncmp(target, L"\\??\\", 4) == 0)
            m_DriveAliases[drive] = target + 4;
    }
}

void CIChDataModel::RebuildShareAliases()
{
    m_ShareAliases.clear();
    wchar_t computer[16];
    DWORD size = 16;
    if (!GetComputerNameW(computer, &size))
        return;

    std::vector<std::wstring> addresses;
    if (hostent* host = gethostbyname(nullptr)) {
        if (host->h_addrtype == AF_INET) {
            for (char** a = host->h_addr_list; a && *a; ++a) {
                in_addr address;
                memcpy(&address, *a, sizeof(address));
                if (const char* text = inet_ntoa(address))
                    addresses.push_back(as_wstring(text));
            }
        }
    }

    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        BYTE* data = nullptr;
        DWORD read = 0, total = 0;
        status = NetShareEnum(nullptr, 502, &data, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if ((status == NERR_Success || status == ERROR_MORE_DATA) && data) {
            const SHARE_INFO_502* shares = reinterpret_cast<const SHARE_INFO_502*>(data);
            for (DWORD i = 0; i < read; ++i) {
                const wchar_t* name = shares[i].shi502_netname;
                const wchar_t* path = shares[i].shi502_path;
                if (!name || !path || !*path)
                    continue;
                m_ShareAliases[format_wstring(L"\\\\%s\\%s", computer, name)] = path;
                m_ShareAliases[format_wstring(L"\\\\127.0.0.1\\%s", name)] = path;
                for (const std::wstring& address : addresses)
                    m_ShareAliases[format_wstring(L"\\\\%s\\%s", address.c_str(), name)] = path;
            }
        }
        if (data)
            NetApiBufferFree(data);
    } while (status == ERROR_MORE_DATA);
}

void CIChDataModel::NormaliseResourceName(CIChResorce* resource) const
{
    if (resource->m_SubType != ResFile && resource->m_SubType != ResDirectory)
        return;
    if (resource->m_Name.size() < 2)
        return;

    // Mapped and substituted drives, one letter after the other. Aliases may lead back to each
    // other (X: -> Y:\, Y: -> X:\): the walk stops after one round per drive letter.
    for (int round = 0; round < 26; ++round) {
        const std::wstring& name = resource->m_Name;
        if (name.size() < 2 || name[1] != L':')
            break;
        std::wstring drive = strupper(name.substr(0, 2));
        auto it = m_DriveAliases.find(drive);
        if (it == m_DriveAliases.end())
            break;
        resource->SetName(it->second + name.substr(2));
    }

    const std::wstring name = resource->m_Name;
    if (name.size() < 2 || name[0] != L'\\' || name[1] != L'\\')
        return;
    // Shares of this computer: the longest share path that begins the name (the name itself, then
    // cut back at each backslash from index 4 on) is replaced by the share's local folder.
    std::wstring candidate = name;
    for (;;) {
        auto it = m_ShareAliases.find(candidate);
        if (it != m_ShareAliases.end()) {
            resource->SetName(it->second + name.substr(candidate.size()));
            return;
        }
        size_t cut = candidate.rfind(L'\\');
        if (cut == std::wstring::npos || cut < 4)
            break;
        candidate.erase(cut);
    }
    // A host given by its IPv4 address gets its name (up to the first '.').
    size_t hostEnd = name.find(L'\\', 2);
    std::wstring host = name.substr(2, hostEnd == std::wstring::npos ? std::wstring::npos : hostEnd - 2);
    if (!IsDottedQuad(host))
        return;
    unsigned long address = inet_addr(as_string(host).c_str());
    if (address == INADDR_NONE)
        return;
    hostent* entry = gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (!entry || !entry->h_name || !*entry->h_name)
        return;
    std::string hostName = entry->h_name;
    hostName = hostName.substr(0, hostName.find('.'));
    if (hostName.size() > 127)
        hostName.resize(127);
    resource->SetName(L"\\\\" + as_wstring(hostName) + name.substr(2 + host.size()));
}

// ---------------------------------------------------------------------------------------------
// Adding a tree of nodes

namespace {

// Moves the upper links of X to E: X leaves each upper node's members, E is linked there.
void MoveUppers(CIChNode* x, CIChNode* e)
{
    for (CIChNode* upper : x->m_Uppers) {
        upper->m_Members.remove(x);
        e->LinkTo(upper);
    }
    x->m_Uppers.clear();
}

// Links the members of X to E, lets the root pointer follow, and deletes X (which unlinks it).
void MergeMembersAndDelete(CIChNode* x, CIChNode* e, CIChNode** root)
{
    CIChNodeList members = x->m_Members;
    for (CIChNode* member : members)
        member->LinkTo(e);
    if (*root == x)
        *root = e;
    delete x;
}

} // namespace

void CIChDataModel::Append(CIChNode* node)
{
    node->m_Id = TakeNextId(node->GetType());
    GetNodeList(node->GetType())->push_back(node);
}

void CIChDataModel::AddResource(CIChResorce* x, CIChNode** root, int& added)
{
    NormaliseResourceName(x);
    std::wstring key = x->m_Name;
    ExpandPathVariable(key, m_PathVars);
    key = strupper(key);
    auto inserted = m_PathIndex.emplace(key, x);
    if (inserted.second) {
        Append(x);
        ++added;
        return;
    }
    CIChResorce* e = inserted.first->second;
    if (e == x)
        return;
    MoveUppers(x, e);
    if (!(e->m_Id < 0)) {
        e->m_Controlled = x->m_Controlled;
        if (e->m_SubType == ResFile)
            e->m_Executable = x->m_Executable;
    }
    if (*root == x)
        *root = e;
    delete x;
}

void CIChDataModel::AddSubject(CIChSubject* x, CIChNode** root, int& added)
{
    CIChSubject* e = FindSubjectBySid(x->m_Sid.GetPSID());
    if (!e) {
        Append(x);
        ++added;
    } else if (e != x) {
        MergeMembersAndDelete(x, e, root);
    }
}

void CIChDataModel::AddOther(CIChNode* x, CIChNode** root, int merge, int& added)
{
    const int type = x->GetType();
    const int subType = type == NodeTypeTask ? 0 : GetNodeSubType(x);
    const bool boardJob = type == NodeTypeJob && (subType == JobBoard || subType == JobSecondEdition);
    if (boardJob || merge) {
        CIChNode* e = FindNodeByName(type, x->m_Name, subType);
        if (!e || e == x) {
            if (!e) {
                Append(x);
                ++added;
            }
            return;
        }
        if (!(e->m_Id < 0)) {
            MoveUppers(x, e);
            MergeMembersAndDelete(x, e, root);
            return;
        }
        // A node with a negative ID is not merged into: X is renamed instead.
    }
    std::wstring candidate = x->m_Name;
    int n = 1;
    CIChNode* found = FindNodeByName(type, candidate, subType);
    while (found && found != x) {
        candidate = format_wstring(L"%s%d", x->m_Name.c_str(), n++);
        found = FindNodeByName(type, candidate, subType);
    }
    if (found == x)
        return;
    if (candidate != x->m_Name)
        x->SetName(candidate);
    Append(x);
    ++added;
}

int CIChDataModel::AddNodeTree(CIChNode** root, int merge)
{
    if (!root || !*root || !(*root)->m_Uppers.empty())
        return 0;
    CIChNodeList nodes;
    (*root)->GetRelatedNodes(&nodes, 1);
    if ((*root)->IsModelNode())
        nodes.push_back(*root);

    // Nodes of the tree that the model owns already stay as they are: merging or appending one
    // of them again would leave its list with a freed or doubled entry.
    std::unordered_set<const CIChNode*> owned;
    for (const CIChNodeList* list : {&m_Resources, &m_Groups, &m_Tasks, &m_Jobs, &m_Subjects})
        owned.insert(list->begin(), list->end());

    int added = 0;
    for (CIChNode* node : nodes) {
        if (owned.count(node))
            continue;
        switch (node->GetType()) {
        case NodeTypeResource:
            AddResource(static_cast<CIChResorce*>(node), root, added);
            break;
        case NodeTypeSubject:
            AddSubject(static_cast<CIChSubject*>(node), root, added);
            break;
        case NodeTypeGroup:
        case NodeTypeTask:
        case NodeTypeJob:
            AddOther(node, root, merge, added);
            break;
        default:
            break;
        }
    }
    return added;
}
