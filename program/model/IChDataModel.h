// The integrity-check model: one owning list per node type, node IDs, link rules, the default
// subject and job, path variables, the resource path index with drive and share aliases, and the
// merge of node trees into the model.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "IChNode.h"

namespace Varno {
template <class T>
class SmartPtr;
class IDatabase;
class IResource;
} // namespace Varno

// A variable's value (a path, case kept) -> its name between percent signs ("%SystemRoot%").
typedef std::map<std::wstring, std::wstring> CPathVarMap;
// An expanded, upper-cased resource path -> the resource.
typedef std::map<std::wstring, CIChResorce*> CPathIndex;
// "X:" -> UNC path or substituted folder; "\\host\share" -> the share's local folder.
typedef std::map<std::wstring, std::wstring> CAliasMap;

class CIChDataModel {
public:
    CIChDataModel();
    virtual ~CIChDataModel();

    CIChDataModel(const CIChDataModel&) = delete;
    CIChDataModel& operator=(const CIChDataModel&) = delete;

    // A new node of the type with its initial values (ID 0), appended to its list; null for a
    // type other than 1, 3, 5, 7, 9.
    CIChNode* CreateNode(int type);
    CIChNodeList* GetNodeList(int type);
    const CIChNodeList* GetNodeList(int type) const;
    CIChNode* FindNodeById(int type, NodeId id) const;
    // Resources through the path index (upper-cased name; the SubType is not used); other types by
    // name without regard to case and, for groups, jobs and subjects, equal SubType.
    CIChNode* FindNodeByName(int type, const std::wstring& name, int subType) const;
    CIChSubject* FindSubjectBySid(PSID sid) const;
    unsigned GetNodeCount() const;
    // Deletes every node of the model (the flag is always 1).
    void Clear(int flag = 1);
    // Takes the nodes out of the model in one pass: the links between them and the other nodes go
    // (one removal per neighbour's list; the upper nodes left behind and the nodes themselves are
    // stamped), so do the links among them; each node leaves its type's list (one pass per list)
    // and the path index. The objects stay for the caller to destroy, unlinked. Nodes that are not
    // in the model are unlinked alike. Returns the number of distinct nodes taken out.
    size_t DetachNodes(const CIChNodeList& nodes);
    // The nodes below the given ones (members, a group's resources included), each once, without
    // the given nodes themselves, in the order they are first reached.
    static void CollectSubordinates(const CIChNodeList& nodes, CIChNodeList& out);
    // Sets each type's next ID to one more than the greatest sequence number of its list.
    void CalcNextIds();
    // Takes the next ID of the type; 0 for a type without a counter.
    NodeId TakeNextId(int type);

    // 1 when the lower node may be linked under the upper node, else 0.
    int CanLink(const CIChNode* lower, const CIChNode* upper) const;
    // 1 when the existing link of the lower node under the upper node may be moved or removed.
    int CanChangeLink(const CIChNode* lower, const CIChNode* upper) const;

    // This computer's subject (null SID), created when the model has none.
    CIChSubject* EnsureDefaultSubject();
    // The job "Контроль целостности" of the SubType, created (and linked to the subject) when missing.
    CIChJob* EnsureDefaultJob(CIChSubject* subject, int jobSubType);
    void NewModel(int clear, int jobSubType);
    int GetDefaultJobSubType() const;

    // Path variables, path index and aliases.
    void BuildPathVariables();
    void RebuildPathIndex();
    // Indexes one more resource as RebuildPathIndex does: of resources of one path the later wins.
    void AddToPathIndex(CIChResorce* resource);
    void RebuildDriveAliases();
    void RebuildShareAliases();
    // Takes the tree below (and including) *root into the model: merges resources of the same
    // path, merges or renames the other nodes, gives appended nodes fresh IDs. *root ends up naming
    // the node that stands for the root. Returns the number of nodes appended (0 for a bad root).
    int AddNodeTree(CIChNode** root, int merge);
    // The model's resource that a resource not in the model would be merged into (the same path,
    // path variables expanded, by the path index), or null. Normalises the resource's name.
    CIChResorce* FindIndexedResource(CIChResorce* x) const;
    // The same for many trees at once, each as AddNodeTree would take it after the ones before;
    // every root ends up naming the node that stands for it, counts (when given) receive the
    // number each tree appended. The cost grows with the nodes merged, not with their product.
    int AddNodeTrees(std::vector<CIChNode*>& roots, int merge, std::vector<int>* counts = nullptr);
    // Takes the categories of the mask (bit 0 resources, 1 groups, 2 tasks, 3 jobs) of a model read
    // from a file into this model: what was not asked for is dropped from the source first, then
    // resources, groups, tasks and jobs are merged. The source keeps nothing. The number appended.
    int TakeImported(CIChDataModel& source, int mask, int merge);

    // The store side (ModelLoad.cpp, ModelSave.cpp, ModelStore.h): load from and save to the
    // board's local store with the board lists, export to and import from model files. The
    // application is reached through IModelStoreHost.
    // Load: 0, or 1627 when the store cannot be opened or holds no subject of this computer (the
    // model is then left as it was). Exceptions of the store pass on.
    int Load();
    // Save: 0 when saved and committed; 1627 without a store or board folder; otherwise the code of
    // the failure, which the save has shown in the error dialog (none when the model has no job of
    // a known edition: nothing is written then).
    int Save(long long* outValue);
    // 1 converted, 0 when the edition is unknown. Exceptions of the store pass on.
    int ModelToStore(Varno::SmartPtr<Varno::IDatabase> store);
    // 0 exported and committed, else the code of the failure.
    int ExportToStore(const std::wstring& path);
    // Mask bits: 0 resources, 1 groups, 2 tasks, 3 jobs. 0 or the code of the failure.
    int ImportFromStore(const std::wstring& path, int mask);
    int StoreToModel(Varno::SmartPtr<Varno::IDatabase> store, int jobs, int tasks, int groups, int resources);
    // 1 load the stored resource, 0 leave it out; asks about an invalid one (answer 6, 7, 8, 9;
    // action 0 leave out, 1 take off control), remembering the answer and action of the run.
    int ConfirmInvalidResource(Varno::SmartPtr<Varno::IResource> item, int& action, long long& answer);
    // The same with the item's validity already asked: valid (in/out) becomes 1 when the answer
    // takes the resource off control, so that the node is filled without asking again.
    int ConfirmStoredResource(Varno::SmartPtr<Varno::IResource> item, int& valid, int& action, long long& answer);

    CIChNodeList m_Resources;
    CIChNodeList m_Groups;
    CIChNodeList m_Tasks;
    CIChNodeList m_Jobs;
    CIChNodeList m_Subjects;
    FILETIME m_ModifyTime;
    int m_bModified;
    CPathIndex m_PathIndex;
    CPathVarMap m_PathVars;
    CAliasMap m_DriveAliases;
    CAliasMap m_ShareAliases;
    NodeId m_NextId[5]; // types 1, 3, 5, 7, 9
    // Why the last ImportFromStore or ExportToStore failed, as the store tells it (it names the
    // item or node that stopped it); empty after a success or when the store gave no reason.
    std::wstring m_LastStoreError;

private:
    // Rewrites a file or directory name through the drive and share aliases.
    void NormaliseResourceName(CIChResorce* resource) const;
    std::wstring ResourceIndexKey(CIChResorce* resource) const;
    struct SAddBatch;
    void AddResource(CIChResorce* x, CIChNode** root, int& added, SAddBatch& batch);
    void AddSubject(CIChSubject* x, CIChNode** root, int& added, SAddBatch& batch);
    void AddOther(CIChNode* x, CIChNode** root, int merge, int& added, SAddBatch& batch);
    void Append(CIChNode* node, SAddBatch& batch);
};

// The index of a node type in the model's counters (0-4), or -1.
int NodeTypeIndex(int type);
// The SubType of a group, job or subject; 0 for other nodes.
int GetNodeSubType(const CIChNode* node);

// A leading variable value of the path becomes its %NAME% form (longest value first). 1 replaced.
int CollapsePathVariable(std::wstring& path, const CPathVarMap& vars);
// A leading %NAME% form becomes the variable's value. 1 replaced.
int ExpandPathVariable(std::wstring& path, const CPathVarMap& vars);

// 1 when the SID lies in this computer's account domain (or is null or invalid), else 0.
int IsLocalAccountSid(PSID sid);
// This computer's account-domain SID with one more sub-authority (for EqualPrefixSid), built on
// first use; null when the local policy cannot be read.
PSID GetAccountDomainPrefix();
// Whether this computer's account domain is its primary domain (a domain controller). Only
// meaningful after GetAccountDomainPrefix has returned a prefix.
bool IsAccountDomainPrimary();
