#include "IChDataModel.h"

#include <sddl.h>

#include <unordered_set>
#include <vector>

namespace {

const NodeId kNegativeBit = (NodeId)0x8000000000000000ULL;
const unsigned long long kSequenceMask = 0x3FFFFFFFFFFFFFFFULL;

bool IsNegative(NodeId id) { return (id & kNegativeBit) != 0; }

const wchar_t kDefaultJobName[] = L"Контроль целостности";
const wchar_t kDefaultJobDescription[] = L"Задание на контроль целостности для ПАК \"Varno\"";
const wchar_t kMyComputer[] = L"Мой компьютер";

// The null SID "S-1-0-0" that stands for this computer's subject.
CIChSid NullSid() {
    CIChSid sid;
    sid.FromString(L"S-1-0-0");
    return sid;
}

} // namespace

int NodeTypeIndex(int type) {
    switch (type) {
    case NodeTypeResource:
        return 0;
    case NodeTypeGroup:
        return 1;
    case NodeTypeTask:
        return 2;
    case NodeTypeJob:
        return 3;
    case NodeTypeSubject:
        return 4;
    default:
        return -1;
    }
}

int GetNodeSubType(const CIChNode* node) {
    if (!node)
        return 0;
    switch (node->GetType()) {
    case NodeTypeResource:
        return static_cast<const CIChResorce*>(node)->m_SubType;
    case NodeTypeGroup:
        return static_cast<const CIChRGroup*>(node)->m_SubType;
    case NodeTypeJob:
        return static_cast<const CIChJob*>(node)->m_SubType;
    case NodeTypeSubject:
        return static_cast<const CIChSubject*>(node)->m_SubType;
    default:
        return 0;
    }
}

CIChDataModel::CIChDataModel() : m_bModified(0) {
    GetSystemTimeAsFileTime(&m_ModifyTime);
    for (NodeId& id : m_NextId)
        id = 1;
    BuildPathVariables();
}

CIChDataModel::~CIChDataModel() { Clear(1); }

CIChNode* CIChDataModel::CreateNode(int type) {
    CIChNodeList* list = GetNodeList(type);
    if (!list)
        return nullptr;
    CIChNode* node = nullptr;
    switch (type) {
    case NodeTypeResource:
        node = new CIChResorce;
        break;
    case NodeTypeGroup:
        node = new CIChRGroup;
        break;
    case NodeTypeTask:
        node = new CIChTask;
        break;
    case NodeTypeJob:
        node = new CIChJob;
        break;
    case NodeTypeSubject:
        node = new CIChSubject;
        break;
    }
    try {
        list->push_back(node);
    } catch (...) {
        delete node;
        throw;
    }
    return node;
}

CIChNodeList* CIChDataModel::GetNodeList(int type) {
    return const_cast<CIChNodeList*>(static_cast<const CIChDataModel*>(this)->GetNodeList(type));
}

const CIChNodeList* CIChDataModel::GetNodeList(int type) const {
    switch (type) {
    case NodeTypeResource:
        return &m_Resources;
    case NodeTypeGroup:
        return &m_Groups;
    case NodeTypeTask:
        return &m_Tasks;
    case NodeTypeJob:
        return &m_Jobs;
    case NodeTypeSubject:
        return &m_Subjects;
    default:
        return nullptr;
    }
}

CIChNode* CIChDataModel::FindNodeById(int type, NodeId id) const {
    const CIChNodeList* list = GetNodeList(type);
    if (!list)
        return nullptr;
    for (CIChNode* node : *list) {
        if (node->m_Id == id)
            return node;
    }
    return nullptr;
}

CIChNode* CIChDataModel::FindNodeByName(int type, const std::wstring& name, int subType) const {
    if (type == NodeTypeResource) {
        auto it = m_PathIndex.find(strupper(name));
        return it == m_PathIndex.end() ? nullptr : it->second;
    }
    const CIChNodeList* list = GetNodeList(type);
    if (!list)
        return nullptr;
    for (CIChNode* node : *list) {
        if (lstrcmpiW(node->m_Name.c_str(), name.c_str()) != 0)
            continue;
        if (type != NodeTypeTask && GetNodeSubType(node) != subType)
            continue;
        return node;
    }
    return nullptr;
}

CIChSubject* CIChDataModel::FindSubjectBySid(PSID sid) const {
    if (!sid || !IsValidSid(sid))
        return nullptr;
    for (CIChNode* node : m_Subjects) {
        CIChSubject* subject = static_cast<CIChSubject*>(node);
        PSID own = subject->m_Sid.GetPSID();
        if (own && EqualSid(own, sid))
            return subject;
    }
    return nullptr;
}

unsigned CIChDataModel::GetNodeCount() const {
    return unsigned(m_Resources.size() + m_Groups.size() + m_Tasks.size() + m_Jobs.size() + m_Subjects.size());
}

size_t CIChDataModel::DetachNodes(const CIChNodeList& nodes) {
    std::unordered_set<CIChNode*> doomed(nodes.begin(), nodes.end());
    doomed.erase(nullptr);
    if (doomed.empty())
        return 0;
    auto gone = [&doomed](CIChNode* n) { return doomed.count(n) != 0; };
    // The neighbours that stay, each once; then one pass over each of their lists.
    std::unordered_set<CIChNode*> uppers, members;
    bool lists[5] = {};
    for (CIChNode* n : doomed) {
        for (CIChNode* u : n->m_Uppers)
            if (!gone(u))
                uppers.insert(u);
        for (CIChNode* m : n->m_Members)
            if (!gone(m))
                members.insert(m);
        int index = NodeTypeIndex(n->GetType());
        if (index >= 0)
            lists[index] = true;
    }
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    for (CIChNode* u : uppers) {
        u->m_Members.remove_if(gone);
        u->SetModifyTime(&now);
    }
    for (CIChNode* m : members)
        m->m_Uppers.remove_if(gone);
    for (CIChNode* n : doomed) {
        n->m_Uppers.clear();
        n->m_Members.clear();
        n->SetModifyTime(&now);
    }
    CIChNodeList* all[5] = {&m_Resources, &m_Groups, &m_Tasks, &m_Jobs, &m_Subjects};
    for (int i = 0; i < 5; ++i)
        if (lists[i])
            all[i]->remove_if(gone);
    // The index must not keep a resource that is about to be freed.
    if (lists[0])
        for (auto it = m_PathIndex.begin(); it != m_PathIndex.end();)
            it = gone(it->second) ? m_PathIndex.erase(it) : std::next(it);
    m_bModified = 1;
    return doomed.size();
}

void CIChDataModel::CollectSubordinates(const CIChNodeList& nodes, CIChNodeList& out) {
    std::unordered_set<const CIChNode*> seen(nodes.begin(), nodes.end());
    std::vector<CIChNode*> stack(nodes.begin(), nodes.end());
    while (!stack.empty()) {
        CIChNode* n = stack.back();
        stack.pop_back();
        if (!n)
            continue;
        for (CIChNode* m : n->m_Members)
            if (seen.insert(m).second) {
                out.push_back(m);
                stack.push_back(m);
            }
    }
}

void CIChDataModel::Clear(int) {
    // Every partner of a node is deleted in the same pass, so each node's own link lists are
    // emptied without touching the partners' lists; both lists of every kind are emptied, so a
    // link that breaks the usual direction cannot lead the destructor to a freed partner.
    for (CIChNodeList* list : {&m_Resources, &m_Groups, &m_Tasks, &m_Jobs, &m_Subjects}) {
        while (!list->empty()) {
            CIChNode* node = list->front();
            list->pop_front();
            node->m_Uppers.clear();
            node->m_Members.clear();
            delete node;
        }
    }
    m_PathIndex.clear();
}

void CIChDataModel::CalcNextIds() {
    const CIChNodeList* lists[5] = {&m_Resources, &m_Groups, &m_Tasks, &m_Jobs, &m_Subjects};
    for (int i = 0; i < 5; ++i) {
        unsigned long long greatest = 0;
        for (const CIChNode* node : *lists[i]) {
            unsigned long long seq = (unsigned long long)node->m_Id & kSequenceMask;
            if (seq > greatest)
                greatest = seq;
        }
        m_NextId[i] = NodeId(greatest + 1);
    }
}

NodeId CIChDataModel::TakeNextId(int type) {
    int i = NodeTypeIndex(type);
    return i < 0 ? 0 : m_NextId[i]++;
}

int CIChDataModel::CanLink(const CIChNode* lower, const CIChNode* upper) const {
    if (!lower || !upper || !lower->IsModelNode() || !upper->IsModelNode())
        return 0;
    if (IsNegative(lower->m_Id) && IsNegative(upper->m_Id))
        return 0;
    for (const CIChNode* u : lower->m_Uppers) {
        if (u == upper)
            return 0;
    }
    const int upperType = upper->GetType();
    const bool sameSign = IsNegative(lower->m_Id) == IsNegative(upper->m_Id);
    switch (lower->GetType()) {
    case NodeTypeResource: {
        if (upperType != NodeTypeGroup)
            return 0;
        int res = static_cast<const CIChResorce*>(lower)->m_SubType;
        switch (static_cast<const CIChRGroup*>(upper)->m_SubType) {
        case GroupFiles:
            return res == ResFile || res == ResDirectory;
        case GroupRegistry:
            return res == ResRegValue || res == ResRegKey;
        case GroupDiskSectors:
            return res == ResDiskSector;
        case GroupHardware:
            return res == ResPciDevice || res == ResSmbiosTable || res == ResSmbiosField;
        default:
            return 0;
        }
    }
    case NodeTypeGroup:
        return (upperType == NodeTypeTask || upperType == NodeTypeJob) && sameSign;
    case NodeTypeTask:
        return upperType == NodeTypeJob && sameSign;
    case NodeTypeJob:
        return upperType == NodeTypeSubject && static_cast<const CIChSubject*>(upper)->m_SubType == SubjectComputer;
    default:
        return 0;
    }
}

int CIChDataModel::CanChangeLink(const CIChNode* lower, const CIChNode* upper) const {
    if (!lower || !upper || !lower->IsModelNode() || !upper->IsModelNode())
        return 0;
    if (IsNegative(lower->m_Id)) {
        if (IsNegative(upper->m_Id))
            return 0;
        if (upper->GetType() == NodeTypeSubject && static_cast<const CIChSubject*>(upper)->m_SubType == SubjectComputer)
            return 0;
    }
    return 1;
}

CIChSubject* CIChDataModel::EnsureDefaultSubject() {
    wchar_t buffer[16];
    DWORD size = 16;
    std::wstring computer = GetComputerNameW(buffer, &size) ? std::wstring(buffer) : kMyComputer;
    CIChSid nullSid = NullSid();

    CIChSubject* subject = FindSubjectBySid(nullSid.GetPSID());
    bool created = false;
    if (!subject) {
        for (CIChNode* node : m_Subjects) {
            CIChSubject* s = static_cast<CIChSubject*>(node);
            if (s->m_SubType == SubjectComputer) {
                subject = s;
                subject->ResolveAccount(nullSid.GetPSID(), nullptr);
                break;
            }
        }
    }
    if (!subject) {
        subject = static_cast<CIChSubject*>(CreateNode(NodeTypeSubject));
        created = true;
    }
    subject->SetName(computer);
    subject->m_Local = 1;
    subject->m_Removable = 0;
    if (created) {
        subject->SetDescription(kMyComputer);
        subject->m_SubType = SubjectComputer;
        subject->ResolveAccount(nullSid.GetPSID(), nullptr);
        subject->m_Id = TakeNextId(NodeTypeSubject);
    }
    return subject;
}

CIChJob* CIChDataModel::EnsureDefaultJob(CIChSubject* subject, int jobSubType) {
    CIChJob* job = static_cast<CIChJob*>(FindNodeByName(NodeTypeJob, kDefaultJobName, jobSubType));
    bool created = false;
    if (!job) {
        job = static_cast<CIChJob*>(CreateNode(NodeTypeJob));
        created = true;
    }
    job->SetName(kDefaultJobName);
    job->m_Removable = 0;
    job->m_SubType = jobSubType;
    if (created) {
        job->SetDescription(kDefaultJobDescription);
        job->m_Id = TakeNextId(NodeTypeJob);
        if (subject)
            job->LinkTo(subject);
    }
    return job;
}

void CIChDataModel::NewModel(int clear, int jobSubType) {
    if (clear)
        Clear(1);
    CIChSubject* subject = EnsureDefaultSubject();
    if (jobSubType != 0) {
        EnsureDefaultJob(subject, jobSubType);
    } else if (!m_Jobs.empty()) {
        CIChNode* job = m_Jobs.front();
        if (job->m_Uppers.empty())
            job->LinkTo(subject);
    }
}

int CIChDataModel::GetDefaultJobSubType() const {
    return m_Jobs.empty() ? 1 : static_cast<const CIChJob*>(m_Jobs.front())->m_SubType;
}
