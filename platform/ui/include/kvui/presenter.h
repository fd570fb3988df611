// The presenter: every message box and modal question of the program passes through it, so that
// tests can answer them. The real presenter shows them; the scripted one answers from a script.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace KvUi {

class CDialog;

class IPresenter {
public:
    virtual ~IPresenter() = default;
    // A message box: the button id of the answer (IDOK, IDYES, ...).
    virtual int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) = 0;
    // A modal dialog has been initialised and is about to run its loop. The real presenter lets
    // the user work; a scripted one may act on the dialog and end it.
    virtual void DialogShown(CDialog& dlg) = 0;
    // The colour picker: true with the chosen colour.
    virtual bool ChooseColor(HWND owner, COLORREF& color) = 0;
};

class CRealPresenter : public IPresenter {
public:
    int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override;
    void DialogShown(CDialog&) override {}
    bool ChooseColor(HWND owner, COLORREF& color) override;
};

// Answers from a script and records what was asked. Safe to use from several threads.
class CScriptedPresenter : public IPresenter {
public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT type;
    };
    // Answers for the next boxes, in order; when none is queued the box gets its first button.
    void QueueAnswer(int id);
    // What to do when the dialog of a template id appears; without a handler it is cancelled.
    void OnDialog(UINT templateId, std::function<void(CDialog&)> handler);
    void QueueColor(COLORREF c);

    std::vector<Box> Boxes() const;
    std::vector<UINT> Dialogs() const;
    void Clear();

    int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override;
    void DialogShown(CDialog& dlg) override;
    bool ChooseColor(HWND owner, COLORREF& color) override;

private:
    mutable std::mutex m_lock;
    std::deque<int> m_answers;
    std::deque<COLORREF> m_colors;
    std::map<UINT, std::function<void(CDialog&)>> m_dialogs;
    std::vector<Box> m_boxes;
    std::vector<UINT> m_shown;
};

// The process-wide presenter (the real one unless a test sets another). Returns the old one.
IPresenter* GetPresenter();
IPresenter* SetPresenter(IPresenter* p);

// The one entry point for message boxes: caption null takes the application's name.
int ShowMessage(HWND owner, const std::wstring& text, const wchar_t* caption, UINT type);

} // namespace KvUi
