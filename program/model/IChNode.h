// Nodes of the integrity-check model: resources, resource groups, tasks, jobs and subjects, with
// their links, modification times, usage states and the walks over related nodes.
//
// Links run upward (resource -> group -> task/job -> subject). A link is one entry in the lower
// node's m_Uppers and one in the upper node's m_Members; both lists hold plain pointers. Every node
// is owned by its model's list of its type (CIChDataModel); deleting a node unlinks it from all.
#pragma once

#include <windows.h>

#include <list>
#include <map>
#include <string>

#include "IChSid.h"
#include "KvCmdSequence.h"
#include "valkit.h"

class CIChNode;
namespace Varno {
template <class T>
class SmartPtr;
class IResource;
} // namespace Varno
struct IXMLDOMDocument;
struct IXMLDOMElement;
struct IXMLDOMNode;

// Signed 64-bit node ID: bits 0-61 a per-type sequence number, bit 63 (negative) marks a node that
// the local link rules treat specially.
typedef long long NodeId;

// A list of node pointers. The model's five lists own their nodes; every other list only refers.
typedef std::list<CIChNode*> CIChNodeList;

// Control methods of jobs, each method (low 32 bits) with its algorithm (high 32 bits).
typedef std::list<unsigned long long> CIChMethodList;

// Node types (GetType). Odd values are model nodes; even values are the views' tree folders.
enum NodeType {
    NodeTypeNone = 0,
    NodeTypeResource = 1,
    NodeTypeGroup = 3,
    NodeTypeTask = 5,
    NodeTypeJob = 7,
    NodeTypeSubject = 9,
};

// Usage states (GetUsageState): how well a node is tied into the graph.
enum NodeUsageState {
    UsageNotModelNode = 0,
    UsageInUse = 1,
    UsageIsolated = 2,
    UsageNoMembers = 3, // linked upward, but without members
    UsageNoUppers = 4,  // has members, but is not linked upward
};

// SubTypes of resources.
enum ResourceSubType {
    ResFile = 0,
    ResDirectory = 1,
    ResRegValue = 2,
    ResRegKey = 3,
    ResDiskSector = 4,
    ResPciDevice = 5,
    ResSmbiosTable = 6,
    ResSmbiosField = 7,
};

// SubTypes of resource groups.
enum GroupSubType {
    GroupFiles = 0,
    GroupRegistry = 1,
    GroupDiskSectors = 2,
    GroupHardware = 3,
};

// SubTypes of jobs and subjects.
enum JobSubType { JobBoard = 1, JobSecondEdition = 2 };
enum SubjectSubType { SubjectComputer = 0, SubjectUser = 1, SubjectGroup = 2 };

// The key flag of an up-link entry of a group linked directly under a job (level 2).
const long long UpLinkLevel2Flag = 0x2000000000000000LL;

class CIChNode {
public:
    CIChNode();
    // Removes every link of the node (UnlinkAll) after the derived fields are gone.
    virtual ~CIChNode();

    CIChNode(const CIChNode&) = delete;
    CIChNode& operator=(const CIChNode&) = delete;

    // Links this node under the upper node (AddUpperLink) and stamps the upper node. Null: nothing.
    // Which links are allowed is CIChDataModel::CanLink's question, asked before.
    virtual void LinkTo(CIChNode* upper);
    // Removes every link between this node and the upper node and stamps the upper node.
    virtual void UnlinkFrom(CIChNode* upper);
    virtual int GetType() const;
    virtual int GetUsageState() const;
    // Reads the node from its XML element "Element": 1 read, 0 not (fields applied before a
    // failure keep their new values). Fills m_UpLinks; makes no links.
    virtual int ReadXml(IXMLDOMNode* element);
    // Writes the node's attributes and children into the element, creating the children through
    // the document. S_OK, E_INVALIDARG for a null argument, else the first failing DOM call's result.
    virtual HRESULT WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element);
    virtual void SetName(const std::wstring& name);
    virtual void SetDescription(const std::wstring& description);

    // The link core without time stamps: appends the upper node to m_Uppers and this node to its
    // m_Members, unless the upper node already stands in m_Uppers. Null: nothing.
    void AddUpperLink(CIChNode* upper);
    // Removes all links of the node both ways, stamping the former upper nodes and this node.
    void UnlinkAll();
    // Copies the time, or takes the current system time when null.
    void SetModifyTime(const FILETIME* time);
    bool IsModelNode() const;

    // Appends the nodes below the start node in post-order (a node's lower nodes first); a node
    // reachable on two paths appears twice. A null current node means the start node, which is not
    // appended. With flag 0 the members of a group reached as the current node are not walked
    // (that is, only at the top: a group's own resources are left out).
    static void CollectLowerNodes(CIChNode* start, CIChNodeList* list, CIChNode* current, int flag);
    // Appends the nodes above the start node in pre-order; repetitions are possible.
    static void CollectUpperNodes(CIChNode* start, CIChNodeList* list, CIChNode* current);
    // Appends the nodes below (as CollectLowerNodes with the flag) and then above this node, each
    // only when it is not in the list yet. 0 when the list is null or the node has no links, else 1.
    int GetRelatedNodes(CIChNodeList* list, int flag);
    // Appends the control methods of the jobs above this node that are not host-based, each only
    // when its display text is not in the list yet; returns the size of the list (0 for null).
    int GetRelatedJobs(CIChMethodList* list);

    std::map<long long, int> m_UpLinks; // upper ID -> level; filled only by ReadXml
    CIChNodeList m_Uppers;
    CIChNodeList m_Members;
    NodeId m_Id;
    std::wstring m_Name;
    std::wstring m_Description;
    FILETIME m_ModifyTime; // UTC
    int m_Removable;
};

// A resource node. The class name keeps the spelling the store's and the views' interfaces use.
class CIChResorce : public CIChNode {
public:
    CIChResorce();
    ~CIChResorce() override;

    int GetType() const override { return NodeTypeResource; }
    int ReadXml(IXMLDOMNode* element) override;
    HRESULT WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) override;
    // Splits the full path by the SubType (set it first): m_Name the full path, m_Path the
    // container with a trailing backslash, m_Description the last component.
    void SetName(const std::wstring& name) override;
    // SetName and then SetDescription, taking the texts: a name already split as it is kept
    // becomes m_Name without a copy.
    void TakeName(std::wstring&& name, std::wstring&& description);

    void SetSubType(int subType) { m_SubType = subType; }
    // Fills the resource from a store item: ID, kind, control, parameters, name, description and
    // time (ModelLoad.cpp). An empty item changes nothing.
    CIChResorce* FromStoreItem(Varno::SmartPtr<Varno::IResource> item);
    // The same with the validity already asked (IsStoredResourceValid), so that the object is
    // looked for once.
    CIChResorce* FromStoreItem(Varno::SmartPtr<Varno::IResource> item, int valid);
    // Stores the value under the upper-cased key; a key already present keeps its earlier value.
    void SetParam(const std::wstring& key, const _value_t& value);
    // The value under the upper-cased key (shared), or an empty value.
    _value_t GetParam(const std::wstring& key) const;

    int m_Controlled;
    int m_Executable;
    int m_Valid;
    std::wstring m_Path;
    int m_SubType;
    std::map<std::wstring, _value_t> m_Params;

private:
    // Sets m_Path from the name by the SubType; the last component, which is in the name or a
    // static text, with its length.
    const wchar_t* SplitName(const std::wstring& name, size_t& length);
};

class CIChRGroup : public CIChNode {
public:
    CIChRGroup();
    ~CIChRGroup() override;

    int GetType() const override { return NodeTypeGroup; }
    int ReadXml(IXMLDOMNode* element) override;
    HRESULT WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) override;

    int m_SubType;
};

class CIChTask : public CIChNode {
public:
    CIChTask();
    ~CIChTask() override;

    int GetType() const override { return NodeTypeTask; }
    int ReadXml(IXMLDOMNode* element) override;
    HRESULT WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) override;

    KvCmdSequence::CCmdSequence m_Sequence; // the task's scenario
};

class CIChJob : public CIChNode {
public:
    CIChJob();
    ~CIChJob() override;

    int GetType() const override { return NodeTypeJob; }
    int ReadXml(IXMLDOMNode* element) override;
    HRESULT WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) override;

    // Method in the low 32 bits, algorithm in the high 32 bits (GetControlMethodText's argument).
    unsigned long long GetControlMethod() const;

    int m_SubType;
    unsigned char m_Priority;
    int m_Method;    // 1 existence, 2 contents, 3 attributes, 4 access rights, 5 at start, 6 board
    int m_Algorithm; // 1 none, 2 CRC7, 3 signature, 4 hash, 5 imitation insert, 6 full match
    int m_OkReaction;
    int m_ErrReaction;
    int m_ScheduleParams;
    int m_ScheduleHoursMask;
    int m_ScheduleDaysMask[12];
    int m_IsHostBased;
};

class CIChSubject : public CIChNode {
public:
    CIChSubject();
    ~CIChSubject() override;

    int GetType() const override { return NodeTypeSubject; }
    int ReadXml(IXMLDOMNode* element) override;
    HRESULT WriteXml(IXMLDOMDocument* document, IXMLDOMElement* element) override;

    // Takes the SID and, for users and groups, the account's name "domain\\name" and locality.
    // 1 done; 0 failed, with the system error code stored through error (when not null).
    int ResolveAccount(PSID sid, DWORD* error);

    int m_SubType;
    CIChSid m_Sid;
    int m_Local;
    int m_Modes;
    int m_ResourceCount = 0; // written and read only by the subject list viewer
};

// A UTC file time as local SYSTEMTIME, and back.
void FileTimeToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local);
void LocalSystemTimeToFileTime(const SYSTEMTIME& local, FILETIME& utc);
// 1 when the first is later, -1 when earlier, 0 when equal or when either is null.
int CompareModifyTime(const FILETIME* first, const FILETIME* second);
// Replaces every '/' by '\' in place; returns the same pointer (null stays null).
wchar_t* SlashToBackslash(wchar_t* text);

// The display text of a job's control method: method (1-6) in the low 32 bits, algorithm (1-6) in
// the high 32 bits; "Неопределен" when either is out of range.
void GetControlMethodText(unsigned long long methodAndAlgorithm, std::wstring& text);
