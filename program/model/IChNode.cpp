#include "IChNode.h"
#include "ModelText.h"

#include <algorithm>
#include <cwchar>
#include <set>
#include <vector>

#include "KvRegTokens.h"

namespace {

FILETIME Now() {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return t;
}

long long FileTimeValue(const FILETIME& t) {
    return (long long)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CIChNode

CIChNode::CIChNode() : m_Id(0), m_ModifyTime(Now()), m_Removable(1) {}

CIChNode::~CIChNode() { UnlinkAll(); }

void CIChNode::LinkTo(CIChNode* upper) {
    if (!upper)
        return;
    AddUpperLink(upper);
    upper->SetModifyTime(nullptr);
}

void CIChNode::UnlinkFrom(CIChNode* upper) {
    if (!upper)
        return;
    m_Uppers.remove(upper);
    upper->m_Members.remove(this);
    upper->SetModifyTime(nullptr);
}

int CIChNode::GetType() const { return NodeTypeNone; }

int CIChNode::GetUsageState() const {
    if (!IsModelNode())
        return UsageNotModelNode;
    bool hasUppers = !m_Uppers.empty();
    bool hasMembers = !m_Members.empty();
    switch (GetType()) {
    case NodeTypeSubject:
        return hasMembers ? UsageInUse : UsageIsolated;
    case NodeTypeResource:
        return hasUppers ? UsageInUse : UsageIsolated;
    default:
        if (hasUppers && hasMembers)
            return UsageInUse;
        if (hasUppers)
            return UsageNoMembers;
        if (hasMembers)
            return UsageNoUppers;
        return UsageIsolated;
    }
}

void CIChNode::SetName(const std::wstring& name) { m_Name = name; }

void CIChNode::SetDescription(const std::wstring& description) { m_Description = description; }

void CIChNode::AddUpperLink(CIChNode* upper) {
    if (!upper)
        return;
    if (std::find(m_Uppers.begin(), m_Uppers.end(), upper) != m_Uppers.end())
        return;
    m_Uppers.push_back(upper);
    upper->m_Members.push_back(this);
}

void CIChNode::UnlinkAll() {
    while (!m_Uppers.empty()) {
        CIChNode* upper = m_Uppers.front();
        m_Uppers.pop_front();
        upper->m_Members.remove(this);
        upper->SetModifyTime(nullptr);
    }
    while (!m_Members.empty()) {
        CIChNode* member = m_Members.front();
        m_Members.pop_front();
        member->m_Uppers.remove(this);
    }
    SetModifyTime(nullptr);
}

void CIChNode::SetModifyTime(const FILETIME* time) {
    if (time)
        m_ModifyTime = *time;
    else
        GetSystemTimeAsFileTime(&m_ModifyTime);
}

bool CIChNode::IsModelNode() const {
    switch (GetType()) {
    case NodeTypeResource:
    case NodeTypeGroup:
    case NodeTypeTask:
    case NodeTypeJob:
    case NodeTypeSubject:
        return true;
    default:
        return false;
    }
}

void CIChNode::CollectLowerNodes(CIChNode* start, CIChNodeList* list, CIChNode* current, int flag) {
    if (!list || !start)
        return;
    if (!current)
        current = start;
    if (flag != 0 || current->GetType() != NodeTypeGroup) {
        for (CIChNode* member : current->m_Members)
            CollectLowerNodes(start, list, member, 1);
    }
    if (current != start)
        list->push_back(current);
}

void CIChNode::CollectUpperNodes(CIChNode* start, CIChNodeList* list, CIChNode* current) {
    if (!list || !start)
        return;
    if (current)
        list->push_back(current);
    else
        current = start;
    for (CIChNode* upper : current->m_Uppers)
        CollectUpperNodes(start, list, upper);
}

int CIChNode::GetRelatedNodes(CIChNodeList* list, int flag) {
    if (!list || (m_Members.empty() && m_Uppers.empty()))
        return 0;
    CIChNodeList related;
    CollectLowerNodes(this, &related, nullptr, flag);
    CollectUpperNodes(this, &related, nullptr);
    std::set<CIChNode*> seen(list->begin(), list->end());
    for (CIChNode* node : related) {
        if (seen.insert(node).second)
            list->push_back(node);
    }
    return 1;
}

int CIChNode::GetRelatedJobs(CIChMethodList* list) {
    if (!list)
        return 0;
    std::set<std::wstring> texts;
    std::wstring text;
    for (unsigned long long method : *list) {
        GetControlMethodText(method, text);
        texts.insert(text);
    }
    CIChNodeList uppers;
    CollectUpperNodes(this, &uppers, nullptr);
    for (CIChNode* node : uppers) {
        if (node->GetType() != NodeTypeJob)
            continue;
        const CIChJob* job = static_cast<const CIChJob*>(node);
        if (job->m_IsHostBased != 0)
            continue;
        unsigned long long method = job->GetControlMethod();
        GetControlMethodText(method, text);
        if (texts.insert(text).second)
            list->push_back(method);
    }
    return int(list->size());
}

// ---------------------------------------------------------------------------------------------
// CIChResorce

CIChResorce::CIChResorce() : m_Controlled(1), m_Executable(0), m_Valid(1), m_SubType(ResFile) {}

CIChResorce::~CIChResorce() = default;

// Works on the given text in place rather than on copies: a load sets the names of a few hundred
// thousand resources.
void CIChResorce::SetName(const std::wstring& name) {
    if (&name == &m_Name || &name == &m_Path || &name == &m_Description) {
        const std::wstring copy = name;
        SetName(copy);
        return;
    }
    size_t length = 0;
    const wchar_t* last = SplitName(name, length);
    m_Description.assign(last, length);
    m_Name.reserve(m_Path.size() + m_Description.size());
    m_Name.assign(m_Path).append(m_Description);
}

void CIChResorce::TakeName(std::wstring&& name, std::wstring&& description) {
    size_t length = 0;
    const wchar_t* last = SplitName(name, length);
    // Mostly the name is already the path and its last component as they are kept: it is taken.
    const size_t path = m_Path.size();
    if (name.size() == path + length && name.compare(0, path, m_Path) == 0) {
        m_Name = std::move(name);
    } else {
        std::wstring built;
        built.reserve(path + length);
        built.assign(m_Path).append(last, length);
        m_Name = std::move(built);
    }
    m_Description = std::move(description);
}

const wchar_t* CIChResorce::SplitName(const std::wstring& name, size_t& length) {
    // Files and directories take '/' for '\'.
    const bool slashes = m_SubType == ResFile || m_SubType == ResDirectory;
    auto separator = [slashes](wchar_t c) { return c == L'\\' || (slashes && c == L'/'); };
    size_t size = name.size();
    if (m_SubType != ResRegValue)
        while (size > 0 && separator(name[size - 1]))
            --size; // trailing backslashes go
    size_t last = std::wstring::npos;
    for (size_t i = size; i-- > 0;)
        if (separator(name[i])) {
            last = i;
            break;
        }
    const wchar_t* component;
    if (last != std::wstring::npos && last + 1 < size) {
        component = name.data() + last + 1;
        length = size - last - 1;
        m_Path.assign(name, 0, last + 1);
    } else {
        component = m_SubType == ResRegValue ? RegDefaultValueToken : L"";
        length = std::wcslen(component);
        m_Path.assign(name, 0, size);
    }
    if (slashes)
        std::replace(m_Path.begin(), m_Path.end(), L'/', L'\\');
    if ((m_SubType == ResDirectory || m_SubType == ResRegKey) && (m_Path.empty() || m_Path.back() != L'\\'))
        m_Path += L'\\';
    return component;
}

void CIChResorce::SetParam(const std::wstring& key, const _value_t& value) { m_Params.emplace(strupper(key), value); }

_value_t CIChResorce::GetParam(const std::wstring& key) const {
    auto it = m_Params.find(strupper(key));
    return it == m_Params.end() ? _value_t() : it->second;
}

// ---------------------------------------------------------------------------------------------
// CIChRGroup, CIChTask, CIChJob, CIChSubject

CIChRGroup::CIChRGroup() : m_SubType(GroupFiles) {}
CIChRGroup::~CIChRGroup() = default;

CIChTask::CIChTask() = default;
CIChTask::~CIChTask() = default;

CIChJob::CIChJob()
    : m_SubType(0), m_Priority(0), m_Method(1), m_Algorithm(1), m_OkReaction(0), m_ErrReaction(0), m_ScheduleParams(0),
      m_ScheduleHoursMask(0), m_ScheduleDaysMask(), m_IsHostBased(0) {}

CIChJob::~CIChJob() = default;

unsigned long long CIChJob::GetControlMethod() const {
    return ((unsigned long long)(unsigned)m_Algorithm << 32) | (unsigned)m_Method;
}

CIChSubject::CIChSubject() : m_SubType(SubjectComputer), m_Local(1), m_Modes(0) {}
CIChSubject::~CIChSubject() = default;

// ---------------------------------------------------------------------------------------------
// Free helpers

void FileTimeToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local) {
    FILETIME localTime;
    FileTimeToLocalFileTime(&utc, &localTime);
    FileTimeToSystemTime(&localTime, &local);
}

void LocalSystemTimeToFileTime(const SYSTEMTIME& local, FILETIME& utc) {
    FILETIME localTime;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &utc);
}

int CompareModifyTime(const FILETIME* first, const FILETIME* second) {
    if (!first || !second)
        return 0;
    long long a = FileTimeValue(*first);
    long long b = FileTimeValue(*second);
    return a > b ? 1 : (a < b ? -1 : 0);
}

wchar_t* SlashToBackslash(wchar_t* text) {
    if (text) {
        for (wchar_t* p = text; *p; ++p) {
            if (*p == L'/')
                *p = L'\\';
        }
    }
    return text;
}

void GetControlMethodText(unsigned long long methodAndAlgorithm, std::wstring& text) {
    static const UINT methods[] = {
        IDS_METHOD_EXISTENCE, IDS_METHOD_CONTENTS, IDS_METHOD_ATTRIBUTES,
        IDS_METHOD_ACCESS,    IDS_METHOD_AT_START, IDS_METHOD_BOARD,
    };
    static const UINT algorithms[] = {
        IDS_ALGORITHM_NONE, IDS_ALGORITHM_CRC7,      IDS_ALGORITHM_SIGNATURE,
        IDS_ALGORITHM_HASH, IDS_ALGORITHM_IMITATION, IDS_ALGORITHM_EXACT,
    };
    unsigned method = unsigned(methodAndAlgorithm & 0xFFFFFFFFu);
    unsigned algorithm = unsigned(methodAndAlgorithm >> 32);
    if (method < 1 || method > 6 || algorithm < 1 || algorithm > 6) {
        text = ModelText(IDS_METHOD_UNDEFINED);
        return;
    }
    text = ModelText(methods[method - 1]);
    if (algorithm != 1) {
        text += L" : ";
        text += ModelText(algorithms[algorithm - 1]);
    }
}
