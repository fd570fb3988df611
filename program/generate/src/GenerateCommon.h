// What the two generators share: the progress run (dialog up, main window without input, message
// pumping, and everything given back on every way out), the extension tests, the task skeleton
// and the freeing of a tree the model never took.
#pragma once

#include "GenerateDialogs.h"
#include "KvGenerate.h"

#include <memory>
#include <set>

namespace KvGenerate {

// The progress dialog of one generator run. The constructor switches the main window's input off
// and shows the dialog; the destructor, on every way out, gives the input back, destroys the
// dialog and brings the main window forward.
class CProgressRun {
public:
    // Pins the thread to the first processor, switches the main window's input off, shows the
    // dialog with the task bar's range and takes the waiting messages.
    CProgressRun(HWND mainWnd, int taskCount);
    ~CProgressRun();
    CProgressRun(const CProgressRun&) = delete;
    CProgressRun& operator=(const CProgressRun&) = delete;

    bool Aborted() const { return m_nAbort != 0; }
    // Takes the thread's waiting messages while no abort was asked for.
    void Pump();
    dlgAddInstallTask* Dialog() { return m_pDialog.get(); }
    // One task done: the task bar advances and messages are taken.
    void NextTask();
    // A resource done: its text and number are shown and messages taken, at most every 40 ms (a
    // window update per resource would cost more than the work itself); the last one of a task is
    // shown by Flush.
    void ShowResource(const std::wstring& text, int position);
    void FlushResource();
    // The normal end: a short pause that lets the last texts be read, Close, and the closing
    // message of the run ("(MSI)" or "(LNK)" by the kind) when the host shows results.
    void Finish(const SGenerateHost& host, const wchar_t* kind);
    // Gives the main window its input back, destroys the dialog and brings the main window
    // forward; once (the destructor calls it when nobody did).
    void Close();
    double ElapsedSeconds() const;

private:
    HWND m_hMainWnd;
    int m_nAbort = 0;
    std::unique_ptr<dlgAddInstallTask> m_pDialog;
    LARGE_INTEGER m_start = {};
    BOOL m_bWasEnabled = TRUE;
    bool m_bClosed = false;
    int m_nTasksDone = 0;
    ULONGLONG m_lastShown = 0;
    std::wstring m_pendingText;
    int m_nPendingPos = -1;
};

// The task and its files group, named after the program (not yet in the model).
CIChTask* NewTask(const std::wstring& name);
CIChRGroup* NewGroup(CIChNode* task, const std::wstring& name, const wchar_t* description, int subType);
// A file resource of the path (SubType 0), not linked.
CIChResorce* NewFileResource(const std::wstring& path);

// Frees a tree the model did not take: the root and every node below it.
void DeleteTree(CIChNode* root);

// After AddNodeTree: the group that stands for the task's own files group: the same object when
// it was appended, else (merged into an existing one) the task's member group of that name and
// SubType 0; null when there is none.
CIChRGroup* FindOwnFilesGroup(CIChNode* task, const std::wstring& groupName);

// Puts the names of the group's resources into variable form; the number changed.
int CollapseGroupPaths(CIChRGroup* group, const CPathVarMap& vars);

// Hands a built task to the model: an empty files group is deleted first; the task is merged by
// the UpdatePresent setting and appended to the output when it reached the model (or merging is
// on); with pathsToVariables the task's own files group gets variable paths. Returns the task as
// the model holds it.
// The caller's pointer is cleared as the model takes the tree over.
CIChNode* HandOverTask(const SGenerateHost& host, CIChNode*& task, CIChRGroup* files, const std::wstring& filesName,
                       int pathsToVariables, CIChNodeList* output);

} // namespace KvGenerate
