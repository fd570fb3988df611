// Path variables, the resource path index with its drive and share aliases, and the merge of node
// trees into the model.
#include <windows.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "IChDataModel.h"
#include "KvPathAliases.h"
#include <KvText.h>

namespace {

// Whether the path begins with the text, without regard to case (both upper-cased as strupper
// does). Compared a run at a time on the stack: the index is built and searched with this for
// every resource.
bool StartsWithNoCase(const std::wstring& path, const std::wstring& text) {
    if (text.empty() || path.size() < text.size())
        return false;
    wchar_t a[64], b[64];
    for (size_t done = 0; done < text.size();) {
        const size_t n = std::min<size_t>(64, text.size() - done);
        std::copy_n(path.data() + done, n, a);
        std::copy_n(text.data() + done, n, b);
        KvBase::UpperCaseChars(a, n);
        KvBase::UpperCaseChars(b, n);
        if (!std::equal(a, a + n, b))
            return false;
        done += n;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Path variables

void CIChDataModel::BuildPathVariables() {
    // A later variable with the same value replaces the earlier one; an empty one has no entry.
    m_PathVars = KvPathAliases::ReadPathVariables();
}

int CollapsePathVariable(std::wstring& path, const CPathVarMap& vars) {
    for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
        if (StartsWithNoCase(path, it->first)) {
            path = it->second + path.substr(it->first.size());
            return 1;
        }
    }
    return 0;
}

int ExpandPathVariable(std::wstring& path, const CPathVarMap& vars) {
    for (const auto& entry : vars) {
        if (!entry.second.empty() && entry.second[0] == L'%' && (path.empty() || path[0] != L'%'))
            continue; // the usual case: a path that does not begin with a percent sign
        if (StartsWithNoCase(path, entry.second)) {
            path = entry.first + path.substr(entry.second.size());
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Path index and aliases

void CIChDataModel::RebuildPathIndex() {
    m_PathIndex.clear();
    for (CIChNode* node : m_Resources)
        AddToPathIndex(static_cast<CIChResorce*>(node));
    RebuildDriveAliases();
    RebuildShareAliases();
}

void CIChDataModel::AddToPathIndex(CIChResorce* resource) {
    std::wstring key = resource->m_Name;
    if (resource->m_SubType == ResFile || resource->m_SubType == ResDirectory)
        ExpandPathVariable(key, m_PathVars);
    // Upper-cased in place as strupper does: one string a resource, moved into the index.
    KvBase::UpperCaseInPlace(key);
    // Resources mostly come in the order of their paths: the index then grows at its end, found
    // without a search from the root.
    if (m_PathIndex.empty() || m_PathIndex.rbegin()->first < key)
        m_PathIndex.emplace_hint(m_PathIndex.end(), std::move(key), resource);
    else
        m_PathIndex[std::move(key)] = resource;
}

void CIChDataModel::RebuildDriveAliases() { m_DriveAliases = KvPathAliases::ReadDriveAliases(); }

void CIChDataModel::RebuildShareAliases() {
    // The host's own addresses are looked up once per process (KvPathAliases::LocalAddresses).
    m_ShareAliases = KvPathAliases::ReadShareAliases();
}

void CIChDataModel::NormaliseResourceName(CIChResorce* resource) const {
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

// What one merge of node trees keeps between its nodes. Node lists are std::lists, so taking one
// node out of a large upper's member list costs a walk of that list: the merge only marks the
// node as gone and the upper as touched, and every touched list is cleaned once at the end; the
// nodes that gave way are freed then.
struct CIChDataModel::SAddBatch {
    std::unordered_set<const CIChNode*> owned; // in the model's lists
    std::unordered_set<const CIChNode*> gone;  // merged into another node, freed at the end
    std::vector<CIChNode*> goneOrder;
    std::unordered_map<const CIChNode*, CIChNode*> replacement;
    std::unordered_set<CIChNode*> touched; // uppers whose member lists still name gone nodes

    // Groups, tasks and jobs by name, as FindNodeByName finds them: the key is the type, the
    // SubType (0 for tasks, whose SubType is not compared) and the upper-cased name; the value is
    // the first node of the type's list with that key. Built for a type when the merge first
    // needs it, kept current as nodes are appended.
    struct SNameKey {
        int type;
        int subType;
        std::wstring name;
        bool operator==(const SNameKey& o) const { return type == o.type && subType == o.subType && name == o.name; }
    };
    struct SNameHash {
        size_t operator()(const SNameKey& k) const {
            return std::hash<std::wstring>()(k.name) ^
                   (size_t(k.type) * 31 + size_t(k.subType)) * 0x9E3779B97F4A7C15ULL;
        }
    };
    std::unordered_map<SNameKey, CIChNode*, SNameHash> names;
    bool namesBuilt[5] = {};
    // The next suffix to try for a name that was taken (the key of the name without a suffix):
    // Name1 to Name(n-1) are known to be taken, and names are only added while the merge runs.
    std::unordered_map<SNameKey, int, SNameHash> nextSuffix;

    static SNameKey NameKey(int type, const std::wstring& name, int subType) {
        return SNameKey{type, type == NodeTypeTask ? 0 : subType, strupper(name)};
    }
    void IndexName(CIChNode* node) {
        const int type = node->GetType();
        names.emplace(NameKey(type, node->m_Name, GetNodeSubType(node)), node);
    }
    // The node of the type, name (without regard to case) and SubType, first in list order.
    CIChNode* FindByName(const CIChDataModel& model, int type, const std::wstring& name, int subType) {
        const int index = NodeTypeIndex(type);
        if (index < 0)
            return nullptr;
        if (!namesBuilt[index]) {
            namesBuilt[index] = true;
            for (CIChNode* node : *model.GetNodeList(type))
                IndexName(node);
        }
        auto it = names.find(NameKey(type, name, subType));
        return it == names.end() ? nullptr : it->second;
    }

    // Moves the upper links of X to E: E is linked under each upper of X; X leaves them at the end.
    void MoveUppers(CIChNode* x, CIChNode* e) {
        for (CIChNode* upper : x->m_Uppers) {
            if (gone.count(upper))
                continue; // merged away itself: its replacement holds the link already
            touched.insert(upper);
            e->LinkTo(upper);
        }
        x->m_Uppers.clear();
    }
    // Links the members of X (those still there) to E and lets X go.
    void MergeMembers(CIChNode* x, CIChNode* e) {
        CIChNodeList members = x->m_Members;
        for (CIChNode* member : members)
            if (!gone.count(member))
                member->LinkTo(e);
    }
    void Retire(CIChNode* x, CIChNode* e, CIChNode** root) {
        if (*root == x)
            *root = e;
        if (gone.insert(x).second)
            goneOrder.push_back(x);
        replacement[x] = e;
    }
    // Cleans the touched member lists in one pass each and frees the nodes that gave way.
    void Finish() {
        auto isGone = [this](CIChNode* n) { return gone.count(n) != 0; };
        for (CIChNode* upper : touched)
            if (!gone.count(upper))
                upper->m_Members.remove_if(isGone);
        for (CIChNode* x : goneOrder) {
            // Its own links to nodes that stay: uppers were moved, members leave it here.
            x->m_Uppers.clear();
            for (CIChNode* member : x->m_Members)
                if (!gone.count(member))
                    member->m_Uppers.remove(x);
            x->m_Members.clear();
        }
        for (CIChNode* x : goneOrder)
            delete x;
        touched.clear();
        gone.clear();
        goneOrder.clear();
    }
};

void CIChDataModel::Append(CIChNode* node, SAddBatch& batch) {
    node->m_Id = TakeNextId(node->GetType());
    GetNodeList(node->GetType())->push_back(node);
    batch.owned.insert(node);
    const int index = NodeTypeIndex(node->GetType());
    if (index >= 0 && batch.namesBuilt[index])
        batch.IndexName(node);
}

std::wstring CIChDataModel::ResourceIndexKey(CIChResorce* x) const {
    NormaliseResourceName(x);
    std::wstring key = x->m_Name;
    ExpandPathVariable(key, m_PathVars);
    return strupper(key);
}

CIChResorce* CIChDataModel::FindIndexedResource(CIChResorce* x) const {
    auto it = m_PathIndex.find(ResourceIndexKey(x));
    return it == m_PathIndex.end() ? nullptr : it->second;
}

void CIChDataModel::AddResource(CIChResorce* x, CIChNode** root, int& added, SAddBatch& batch) {
    const std::wstring key = ResourceIndexKey(x);
    auto inserted = m_PathIndex.emplace(key, x);
    if (inserted.second) {
        Append(x, batch);
        ++added;
        return;
    }
    CIChResorce* e = inserted.first->second;
    if (e == x)
        return;
    batch.MoveUppers(x, e);
    if (!(e->m_Id < 0)) {
        e->m_Controlled = x->m_Controlled;
        if (e->m_SubType == ResFile)
            e->m_Executable = x->m_Executable;
    }
    batch.Retire(x, e, root);
}

void CIChDataModel::AddSubject(CIChSubject* x, CIChNode** root, int& added, SAddBatch& batch) {
    CIChSubject* e = FindSubjectBySid(x->m_Sid.GetPSID());
    if (!e) {
        Append(x, batch);
        ++added;
    } else if (e != x) {
        batch.MergeMembers(x, e);
        batch.Retire(x, e, root);
    }
}

void CIChDataModel::AddOther(CIChNode* x, CIChNode** root, int merge, int& added, SAddBatch& batch) {
    const int type = x->GetType();
    const int subType = type == NodeTypeTask ? 0 : GetNodeSubType(x);
    const bool boardJob = type == NodeTypeJob && (subType == JobBoard || subType == JobSecondEdition);
    if (boardJob || merge) {
        CIChNode* e = batch.FindByName(*this, type, x->m_Name, subType);
        if (!e || e == x) {
            if (!e) {
                Append(x, batch);
                ++added;
            }
            return;
        }
        if (!(e->m_Id < 0)) {
            batch.MoveUppers(x, e);
            batch.MergeMembers(x, e);
            batch.Retire(x, e, root);
            return;
        }
        // A node with a negative ID is not merged into: X is renamed instead.
    }
    // The names tried are Name, Name1, Name2...; the suffixes a former rename of the same name
    // found taken are not tried again.
    std::wstring candidate = x->m_Name;
    CIChNode* found = batch.FindByName(*this, type, candidate, subType);
    if (found && found != x) {
        int& next = batch.nextSuffix.emplace(SAddBatch::NameKey(type, x->m_Name, subType), 1).first->second;
        do {
            candidate = format_wstring(L"%s%d", x->m_Name.c_str(), next++);
            found = batch.FindByName(*this, type, candidate, subType);
        } while (found && found != x);
    }
    if (found == x)
        return;
    if (candidate != x->m_Name)
        x->SetName(candidate);
    Append(x, batch);
    ++added;
}

int CIChDataModel::AddNodeTree(CIChNode** root, int merge) {
    if (!root)
        return 0;
    std::vector<CIChNode*> roots{*root};
    int added = AddNodeTrees(roots, merge);
    *root = roots.front();
    return added;
}

int CIChDataModel::AddNodeTrees(std::vector<CIChNode*>& roots, int merge, std::vector<int>* counts) {
    SAddBatch batch;
    // Nodes of the trees that the model owns already stay as they are: merging or appending one
    // of them again would leave its list with a freed or doubled entry.
    for (const CIChNodeList* list : {&m_Resources, &m_Groups, &m_Tasks, &m_Jobs, &m_Subjects})
        batch.owned.insert(list->begin(), list->end());

    int total = 0;
    if (counts)
        counts->assign(roots.size(), 0);
    for (size_t i = 0; i < roots.size(); ++i) {
        CIChNode*& root = roots[i];
        // A root that an earlier tree merged away stands for the node it was merged into.
        while (root && batch.gone.count(root))
            root = batch.replacement[root];
        if (!root || !root->m_Uppers.empty())
            continue;
        CIChNodeList nodes;
        root->GetRelatedNodes(&nodes, 1);
        if (root->IsModelNode())
            nodes.push_back(root);

        int added = 0;
        for (CIChNode* node : nodes) {
            if (batch.owned.count(node) || batch.gone.count(node))
                continue;
            switch (node->GetType()) {
            case NodeTypeResource:
                AddResource(static_cast<CIChResorce*>(node), &root, added, batch);
                break;
            case NodeTypeSubject:
                AddSubject(static_cast<CIChSubject*>(node), &root, added, batch);
                break;
            case NodeTypeGroup:
            case NodeTypeTask:
            case NodeTypeJob:
                AddOther(node, &root, merge, added, batch);
                break;
            default:
                break;
            }
        }
        if (counts)
            (*counts)[i] = added;
        total += added;
    }
    batch.Finish();
    return total;
}

int CIChDataModel::TakeImported(CIChDataModel& source, int mask, int merge) {
    const bool resources = (mask & 1) != 0, groups = (mask & 2) != 0, tasks = (mask & 4) != 0, jobs = (mask & 8) != 0;
    // What was not asked for leaves the source, jobs first.
    const struct {
        int type;
        bool chosen;
    } categories[] = {
        {NodeTypeJob, jobs}, {NodeTypeTask, tasks}, {NodeTypeGroup, groups}, {NodeTypeResource, resources}};
    for (const auto& c : categories) {
        if (c.chosen)
            continue;
        CIChNodeList& list = *source.GetNodeList(c.type);
        if (c.type == NodeTypeResource) {
            // The groups let go of their members at once, each resource of its links.
            for (CIChNode* g : source.m_Groups) {
                for (CIChNode* member : g->m_Members)
                    member->m_Uppers.remove(g);
                g->m_Members.clear();
            }
            for (CIChNode* r : list) {
                for (CIChNode* member : r->m_Members)
                    member->m_Uppers.remove(r);
                r->m_Members.clear();
                r->m_Uppers.clear();
            }
        }
        while (!list.empty()) {
            CIChNode* n = list.front();
            list.pop_front();
            delete n;
        }
    }
    if (resources)
        RebuildPathIndex();
    int count = 0;
    for (int type : {NodeTypeResource, NodeTypeGroup, NodeTypeTask, NodeTypeJob}) {
        CIChNodeList& list = *source.GetNodeList(type);
        std::vector<CIChNode*> roots(list.begin(), list.end());
        list.clear();
        count += AddNodeTrees(roots, merge);
    }
    return count;
}
