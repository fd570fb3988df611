// Long work off the window's thread: a progress window with a text, a bar and "Отмена" stands
// over its owner (disabled meanwhile) while the work runs on a worker thread and reports to a
// progress sink; the window's thread keeps handling its messages.
#pragma once

#include "kvui/dialog.h"
#include "kvui/ids.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace KvUi {

// Thrown by CProgressSink::ThrowIfCancelled; CProgressDialog::Run takes it as the end of a
// cancelled run.
class CProgressCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

// What the work reports, from its own thread: a text, a position, and whether the user asked to
// stop. Every member may be called from any thread.
class CProgressSink {
public:
    void SetText(const std::wstring& text);
    // Position done of total (0 of 0 leaves the bar empty); any sizes, scaled for the bar.
    void SetPos(uint64_t done, uint64_t total);
    bool IsCancelled() const { return m_bCancelled.load(); }
    // Throws CProgressCancelled once the user asked to stop.
    void ThrowIfCancelled() const;
    void Cancel() { m_bCancelled.store(true); }
    // Empties text and position and forgets a cancel (before a run).
    void Reset();

    // The state to show: false when nothing changed since the last call.
    bool TakeState(std::wstring& text, int& permille);

private:
    mutable std::mutex m_lock;
    std::wstring m_text;
    int m_permille = 0;
    bool m_bChanged = true;
    std::atomic<bool> m_bCancelled{false};
};

class CProgressDialog : public CDialog {
public:
    // The owner is disabled while the work runs (a null owner: the program's main window, as for
    // a modal dialog); the caption is the window's title.
    CProgressDialog(HWND owner, const std::wstring& caption);
    ~CProgressDialog() override;

    enum Result { Completed, Cancelled };
    // Runs work on a worker thread and returns when it has returned: Completed, or Cancelled when
    // the user asked to stop (the work returned or threw CProgressCancelled after that). An
    // exception of the work is thrown again here, on the window's thread. A WM_QUIT that arrives
    // meanwhile asks the work to stop and is posted again once it has.
    Result Run(const std::function<void(CProgressSink&)>& work);

    // The sink of the running work (tests and callers that show a first text).
    CProgressSink& Sink() { return m_sink; }
    // Asks the work to stop, as the "Отмена" button does.
    void RequestCancel();
    // How often the window takes the sink's state, in milliseconds.
    static constexpr UINT kRefreshMs = 50;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override {}
    void OnTimer(UINT_PTR id);
    void OnUpdateCancel(CCmdUI* pCmdUI);
    void Refresh();

    HWND m_hOwner;
    std::wstring m_strCaption;
    std::vector<WORD> m_template;
    CProgressSink m_sink;
    std::atomic<bool> m_bDone{false};
    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
