// The dialogs of the tool commands: dlgDependens lists the modules that the chosen executable files
// need at run time (found on a worker thread, with progress and a way to stop), and dlgProcessInfo
// is the modeless progress window of the passes over many resources (dependent modules, path
// variables), with the related groups, tasks, jobs and methods of the resource at hand.
#pragma once

#include "IChDataModel.h"

#include <kvui/kvui.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The full paths of the files the finder is to walk: the file resources of the list (SubType 0)
// with their path variables expanded, in list order. Other nodes are left out.
std::vector<std::wstring> DependencyRoots(const CIChNodeList& nodes, const CPathVarMap& vars);

// The modules one file needs (the finder's found map, full paths in map order). A file that cannot
// be read gives nothing; the finder never throws.
std::vector<std::wstring> FindDependentModules(const std::wstring& path);

// dlgDependens ends with this when no chosen file needs any module.
const INT_PTR kNoDependencies = IDABORT;

class dlgDependens : public KvUi::CDialog {
public:
    dlgDependens(HWND parent, CIChNodeList* nodes, const CPathVarMap& vars);
    ~dlgDependens() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    // Read by the caller after OK: whether the added modules are marked executable.
    int m_bMarkExecutable = 1;

    // What the list shows: every module of every chosen file, each once, in the order found (the
    // modules "Добавить" adds).
    const std::vector<std::wstring>& GetModules() const { return m_modules; }
    // Whether the walk has ended (all files walked, or stopped).
    bool IsWalkDone() const { return m_bDone; }

    KvUi::CListBox m_wndList;

protected:
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    void OnDestroy();
    // On the dialog's thread: one file walked (its index and modules).
    void OnFileWalked(size_t index, const std::vector<std::wstring>& modules);
    void OnWalkEnded();
    void StopWalk();

    CIChNodeList* m_pNodes;
    std::vector<std::wstring> m_roots;
    std::vector<std::wstring> m_modules;
    std::vector<std::wstring> m_seen; // upper-cased, sorted: the modules already listed
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::thread m_worker;
    bool m_bDone = false;
    KV_DECLARE_MESSAGE_MAP()
};

class dlgProcessInfo : public KvUi::CDialog {
public:
    // The caller's abort flag is set to 0 here and to 1 by "Прервать".
    dlgProcessInfo(HWND frame, int* abortFlag);
    BOOL Create();
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void SetRange(int count);
    void SetPos(int pos);
    // Null: forgets the related nodes shown and empties the details. A node: its name, and the
    // lines of its related groups, tasks, jobs and job methods when they differ from the last.
    void ShowResourceInfo(CIChNode* node);

    // The lines the details list shows (tests read them).
    std::vector<std::wstring> GetDetails() const;

    int* m_pAbort;
    KvUi::CStatic m_wndResource;
    KvUi::CProgressCtrl m_wndProgress;
    KvUi::CListBox m_wndDetails;

protected:
    void DoDataExchange(KvUi::CDataExchange* pDX) override;
    HWND m_hFrame;
    CIChNodeList m_related; // the related nodes shown last
    KV_DECLARE_MESSAGE_MAP()
};

// A pass over many resources on the window's thread, as the dependent-module and path-variable
// commands run it: the frame takes no input, the progress window shows what is being done and
// can stop the pass. Progress is drawn and messages are dispatched at most a few times a second;
// the abort flag is read for every resource. The thread's processor affinity (pinned to the first
// processor while the pass times itself) is restored at the end.
class CResourcePass {
public:
    CResourcePass(HWND frame, const std::wstring& title, int count);
    ~CResourcePass();
    CResourcePass(const CResourcePass&) = delete;
    CResourcePass& operator=(const CResourcePass&) = delete;

    // Whether "Прервать" was pressed.
    bool Aborted() const { return m_abort != 0; }
    // A resource done: the position and the resource are shown when enough time has passed since
    // the last drawing (always for the last one), and waiting messages are dispatched.
    void Step(int done, CIChNode* node);
    // Ends the pass: the frame takes input again, the progress window goes, the frame comes to the
    // front. Returns the whole seconds elapsed, or -1 when the counter cannot be read.
    int Finish();

    dlgProcessInfo& Window() { return *m_dlg; }

    // Called after every step with the progress window (tests press its button from here).
    static void SetStepObserver(std::function<void(dlgProcessInfo&, int)> observer);

private:
    void Pump();

    HWND m_hFrame;
    int m_abort = 0;
    int m_count;
    std::unique_ptr<dlgProcessInfo> m_dlg;
    KvUi::CWaitCursor* m_wait = nullptr;
    DWORD_PTR m_oldAffinity = 0;
    LARGE_INTEGER m_start = {};
    ULONGLONG m_lastDraw = 0;
    bool m_finished = false;
};

// The dependent-module command's check whether a chosen file needs any module: called with its
// progress window whenever it is drawn (tests press its button from here); the window shows once the
// check has run for the given milliseconds. Null restores the usual delay.
void SetDependencyCheckObserver(std::function<void(dlgProcessInfo&)> observer, DWORD delay);

// "<lead><elapsed-time phrase>" for whole seconds, as the result messages give it.
std::wstring ElapsedMessage(const wchar_t* lead, int seconds);
