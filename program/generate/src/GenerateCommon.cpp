// Shared parts of the task generators.
#include "GenerateCommon.h"

#include "KvExchangeUtils.h"
#include "msitasks_ids.h"

#include <kvui/kvui.h>

namespace KvGenerate {

CProgressRun::CProgressRun(HWND mainWnd, int taskCount) : m_hMainWnd(mainWnd) {
    ::SetThreadAffinityMask(::GetCurrentThread(), 1);
    ::QueryPerformanceCounter(&m_start);
    m_pDialog.reset(new dlgAddInstallTask(mainWnd, &m_nAbort));
    if (!m_pDialog->CreateModeless())
        m_pDialog.reset();
    if (m_hMainWnd && ::IsWindow(m_hMainWnd))
        m_bWasEnabled = !::EnableWindow(m_hMainWnd, FALSE);
    if (m_pDialog) {
        ::ShowWindow(m_pDialog->m_hWnd, SW_SHOW);
        ::EnableWindow(m_pDialog->m_hWnd, TRUE);
        m_pDialog->SetTaskRange(taskCount);
    }
    Pump();
}

void CProgressRun::ShowResource(const std::wstring& text, int position) {
    m_pendingText = text;
    m_nPendingPos = position;
    ULONGLONG now = ::GetTickCount64();
    if (now - m_lastShown < 40)
        return;
    m_lastShown = now;
    FlushResource();
}

void CProgressRun::FlushResource() {
    if (m_nPendingPos >= 0 && m_pDialog) {
        m_pDialog->SetResourceText(m_pendingText.c_str());
        m_pDialog->SetResourcePos(m_nPendingPos);
    }
    m_nPendingPos = -1;
    Pump();
}

void CProgressRun::NextTask() {
    FlushResource();
    if (m_pDialog)
        m_pDialog->SetTaskPos(++m_nTasksDone);
    Pump();
}

CProgressRun::~CProgressRun() { Close(); }

void CProgressRun::Finish(const SGenerateHost& host, const wchar_t* kind) {
    ::Sleep(300);
    Close();
    if (!host.bShowResults)
        return;
    const std::wstring head = KvUi::LoadStr(IDS_GEN_PROCESS) + kind + L") ";
    if (Aborted()) {
        KvUi::ShowMessage(host.hMainWnd, head + KvUi::LoadStr(IDS_GEN_ABORTED), nullptr, MB_ICONINFORMATION);
        return;
    }
    double seconds = ElapsedSeconds();
    if (seconds < 0)
        return;
    wchar_t text[512] = {};
    wcsncpy(text, (head + KvUi::LoadStr(IDS_GEN_DONE)).c_str(), 400);
    FormatElapsedTime((int)seconds, text);
    KvUi::ShowMessage(host.hMainWnd, text, nullptr, MB_ICONINFORMATION);
}

void CProgressRun::Close() {
    if (m_bClosed)
        return;
    m_bClosed = true;
    if (m_hMainWnd && ::IsWindow(m_hMainWnd) && m_bWasEnabled)
        ::EnableWindow(m_hMainWnd, TRUE);
    if (m_pDialog) {
        if (m_pDialog->m_hWnd && ::IsWindow(m_pDialog->m_hWnd))
            m_pDialog->DestroyWindow();
        m_pDialog.reset();
    }
    if (m_hMainWnd && ::IsWindow(m_hMainWnd))
        ::SetForegroundWindow(m_hMainWnd);
}

void CProgressRun::Pump() {
    MSG msg;
    while (!m_nAbort && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The quit request belongs to the thread's own loop: put it back and stop here.
            ::PostQuitMessage((int)msg.wParam);
            m_nAbort = 1;
            break;
        }
        if (m_pDialog && m_pDialog->m_hWnd && ::IsDialogMessageW(m_pDialog->m_hWnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

double CProgressRun::ElapsedSeconds() const {
    LARGE_INTEGER now, frequency;
    if (!::QueryPerformanceFrequency(&frequency) || !frequency.QuadPart)
        return -1;
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart - m_start.QuadPart) / double(frequency.QuadPart);
}

CIChTask* NewTask(const std::wstring& name) {
    CIChTask* task = new CIChTask();
    task->SetName(name);
    task->SetDescription(L"Сгенерирована по информации об инсталированных программах");
    return task;
}

CIChRGroup* NewGroup(CIChNode* task, const std::wstring& name, const wchar_t* description, int subType) {
    CIChRGroup* group = new CIChRGroup();
    group->m_SubType = subType;
    group->SetName(name);
    group->SetDescription(description);
    group->LinkTo(task);
    return group;
}

CIChResorce* NewFileResource(const std::wstring& path) {
    CIChResorce* resource = new CIChResorce();
    resource->SetSubType(ResFile);
    resource->SetName(path);
    return resource;
}

void DeleteTree(CIChNode* root) {
    if (!root)
        return;
    CIChNodeList below;
    CIChNode::CollectLowerNodes(root, &below, nullptr, 1);
    std::set<CIChNode*> done;
    for (CIChNode* node : below)
        if (done.insert(node).second)
            delete node;
    delete root;
}

CIChRGroup* FindOwnFilesGroup(CIChNode* task, const std::wstring& groupName) {
    if (!task)
        return nullptr;
    for (CIChNode* member : task->m_Members) {
        if (member->GetType() != NodeTypeGroup)
            continue;
        CIChRGroup* group = static_cast<CIChRGroup*>(member);
        if (group->m_SubType == GroupFiles && _wcsicmp(group->m_Name.c_str(), groupName.c_str()) == 0)
            return group;
    }
    return nullptr;
}

int CollapseGroupPaths(CIChRGroup* group, const CPathVarMap& vars) {
    if (!group)
        return 0;
    int changed = 0;
    for (CIChNode* member : group->m_Members) {
        if (member->GetType() != NodeTypeResource)
            continue;
        std::wstring name = member->m_Name;
        if (CollapsePathVariable(name, vars)) {
            member->SetName(name);
            ++changed;
        }
    }
    return changed;
}

CIChNode* HandOverTask(const SGenerateHost& host, CIChNode*& built, CIChRGroup* files, const std::wstring& filesName,
                       int pathsToVariables, CIChNodeList* output) {
    CIChDataModel& model = *host.pModel;
    CIChNode* task = built;
    built = nullptr; // the model owns the tree from here on
    const bool haveFiles = files && !files->m_Members.empty();
    if (files && !haveFiles) {
        delete files;
        files = nullptr;
    }
    int taken = model.AddNodeTree(&task, host.bUpdatePresent);
    model.m_bModified = 1;
    if (taken > 0 || host.bUpdatePresent)
        output->push_back(task);
    if (pathsToVariables && haveFiles) {
        // The task's own files group: merged into a group of the same name when the model had
        // one, never another group of the task.
        CIChRGroup* own = host.bUpdatePresent ? FindOwnFilesGroup(task, filesName) : files;
        CollapseGroupPaths(own, model.m_PathVars);
    }
    return task;
}

} // namespace KvGenerate

int IsExistingFile(const wchar_t* path) {
    if (!path)
        return 0;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
}
