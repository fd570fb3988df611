// The integrity-check model: one owning list per node type, node IDs, link rules, the default
// subject and job, path variables, the resource path index with drive and share aliases, and the
// merge of node trees into the model.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "IChNode.h"

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
    void RebuildDriveAliases();
    void RebuildShareAliases();
    // Takes the tree below (and including) *root into the model: merges resources of the same
    // path, merges or renames the other nodes, gives appended nodes fresh IDs. *root ends up naming
    // the node that stands for the root. Returns the number of nodes appended (0 for a bad root).
    int AddNodeTree(CIChNode** root, int merge);

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
    NodeId m_NextId[5];  // types 1, 3, 5, 7, 9

private:
    // Rewrites a file or directory name through the drive and share aliases.
    void NormaliseResourceName(CIChResorce* resource) const;
    void AddResource(CIChResorce* x, CIChNode** root, int& added);
    void AddSubject(CIChSubject* x, CIChNode** root, int& added);
    void AddOther(CIChNode* x, CIChNode** root, int merge, int& added);
    void Append(CIChNode* node);
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
