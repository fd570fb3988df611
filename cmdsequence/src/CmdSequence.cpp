// The command list of a scenario and its text form, the command buffer.
#include "KvCmdSequence.h"

#include "CmdText.h"

#include <cwchar>
#include <cwctype>

namespace KvCmdSequence {

namespace {

const wchar_t kFieldSeparators[] = {CmdFieldSeparator, 0};
const wchar_t kRecordSeparators[] = {CmdRecordSeparator, 0};
// An empty text field is stored as this text, since separators in a row collapse when read.
const wchar_t kEmptyField[] = L"/";

void AppendField(std::wstring& out, const std::wstring& field) {
    out += field.empty() ? std::wstring(kEmptyField) : field;
}

// Reads one decimal integer (optional sign) at `p` after white space. False when there is none or
// it does not fit a 32-bit int; `p` then stays where it was.
bool ReadInt(const wchar_t*& p, int& value) {
    const wchar_t* s = p;
    while (*s && std::iswspace(*s))
        ++s;
    bool negative = false;
    if (*s == L'+' || *s == L'-')
        negative = (*s++ == L'-');
    if (*s < L'0' || *s > L'9')
        return false;
    long long v = 0;
    for (; *s >= L'0' && *s <= L'9'; ++s) {
        v = v * 10 + (*s - L'0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return false;
    value = static_cast<int>(v);
    p = s;
    return true;
}

// Field 1: up to four integers separated by white space; an integer that is missing or cannot be
// read keeps its value, and reading stops there.
void ReadNumbers(const std::wstring& field, SOneCmd& cmd) {
    int* targets[] = {&cmd.nType, &cmd.bExclude, &cmd.bRecursive, &cmd.bDependencies};
    const wchar_t* p = field.c_str();
    for (int* target : targets)
        if (!ReadInt(p, *target))
            break;
}

} // namespace

CCmdSequence::CCmdSequence() { InitFromMachineView(); }

CCmdSequence::CCmdSequence(const CCmdSequence& other)
    : m_lstCmd(other.m_lstCmd), m_mapResSeen(other.m_mapResSeen), m_mapEnvVars(other.m_mapEnvVars),
      m_mapDrives(other.m_mapDrives), m_mapShares(other.m_mapShares), m_lstExtensions(other.m_lstExtensions) {}

CCmdSequence& CCmdSequence::operator=(const CCmdSequence& other) {
    if (this != &other) {
        m_lstCmd = other.m_lstCmd;
        m_mapResSeen = other.m_mapResSeen;
        m_mapEnvVars = other.m_mapEnvVars;
        m_mapDrives = other.m_mapDrives;
        m_mapShares = other.m_mapShares;
        m_lstExtensions = other.m_lstExtensions;
    }
    return *this;
}

CCmdSequence::~CCmdSequence() = default;

std::list<SOneCmd>* CCmdSequence::GetCmdList() { return &m_lstCmd; }

int CCmdSequence::IsEmpty() const { return m_lstCmd.empty() ? 1 : 0; }

SOneCmd* CCmdSequence::FindCmdByName(const wchar_t* name) {
    if (!name)
        return nullptr;
    const std::size_t length = std::wcslen(name);
    for (SOneCmd& cmd : m_lstCmd)
        if (cmd.strName.size() == length && cmd.strName.compare(0, length, name, length) == 0)
            return &cmd;
    return nullptr;
}

void CCmdSequence::ClearAll() {
    m_lstCmd.clear();
    m_mapResSeen.clear();
}

int CCmdSequence::LoadBuff(const wchar_t* buffer) {
    if (!buffer)
        return 0;
    m_lstCmd.clear();
    for (const std::wstring& record : Text::SplitRuns(buffer, kRecordSeparators)) {
        SOneCmd cmd;
        std::vector<std::wstring> fields = Text::SplitRuns(record, kFieldSeparators);
        for (std::wstring& field : fields)
            if (field == kEmptyField)
                field.clear();
        if (fields.size() > 0)
            cmd.strName = fields[0];
        if (fields.size() > 1)
            ReadNumbers(fields[1], cmd);
        if (fields.size() > 2)
            cmd.strRoot = fields[2];
        if (fields.size() > 3)
            cmd.strDirMasks = fields[3];
        if (fields.size() > 4)
            cmd.strFileMasks = fields[4];
        m_lstCmd.push_back(std::move(cmd));
    }
    return 1;
}

int CCmdSequence::SaveBuff(std::wstring& out) const {
    std::wstring text;
    for (const SOneCmd& cmd : m_lstCmd) {
        AppendField(text, cmd.strName);
        text += CmdFieldSeparator;
        text += std::to_wstring(cmd.nType) + L' ' + std::to_wstring(cmd.bExclude) + L' ' +
                std::to_wstring(cmd.bRecursive) + L' ' + std::to_wstring(cmd.bDependencies);
        text += CmdFieldSeparator;
        AppendField(text, cmd.strRoot);
        text += CmdFieldSeparator;
        AppendField(text, cmd.strDirMasks);
        text += CmdFieldSeparator;
        AppendField(text, cmd.strFileMasks);
        text += CmdRecordSeparator;
    }
    out = std::move(text);
    return 1;
}

} // namespace KvCmdSequence
