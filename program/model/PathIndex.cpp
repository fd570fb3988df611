// Path variables, the resource path index with its drive and share aliases, and the merge of node
// trees into the model.
#include <windows.h>

#include <unordered_set>
#include <vector>

#include "IChDataModel.h"
#include "KvPathAliases.h"

namespace {

// Whether the path begins with the text, without regard to case.
bool StartsWithNoCase(const std::wstring& path, const std::wstring& text)
{
    if (text.empty() || path.size() < text.size())
        return false;
    return strupper(path.substr(0, text.size())) == strupper(text);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Path variables

void CIChDataModel::BuildPathVariables()
{
    // A later variable with the same value replaces the earlier one; an empty one has no entry.
    m_PathVars = KvPathAliases::ReadPathVariables();
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
    m_DriveAliases = KvPathAliases::ReadDriveAliases();
}

void CIChDataModel::RebuildShareAliases()
{
    // The host's own addresses are looked up once per process (KvPathAliases::LocalAddresses).
    m_ShareAliases = KvPathAliases::ReadShareAliases();
}

void CIChDataModel::NormaliseResourceName(CIChResorce* resource) const
{
    if (resource->m_SubType != ResFile && resource->m_SubType != ResDirectory)
        return;
    if (resource->m_Name.size() < 2)
        return;

    // Mapped and substituted drives, one letter after the other. Aliases may lead back to each
    // other (X: -> Y:\, Y: -> X:\): the walk stops after one round per drive letter.
    const std::wstring local =
        KvPathAliases::FollowDriveAliases(resource->m_Name, m_DriveAliases, KvPathAliases::DriveAnyCase);
    if (local != resource->m_Name)
        resource->SetName(local);

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
    std::wstring byName = name;
    if (KvPathAliases::WriteHostByName(byName))
        resource->SetName(byName);
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

std::wstring CIChDataModel::ResourceIndexKey(CIChResorce* x) const
{
    NormaliseResourceName(x);
    std::wstring key = x->m_Name;
    ExpandPathVariable(key, m_PathVars);
    return strupper(key);
}

CIChResorce* CIChDataModel::FindIndexedResource(CIChResorce* x) const
{
    auto it = m_PathIndex.find(ResourceIndexKey(x));
    return it == m_PathIndex.end() ? nullptr : it->second;
}

void CIChDataModel::AddResource(CIChResorce* x, CIChNode** root, int& added)
{
    const std::wstring key = ResourceIndexKey(x);
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
