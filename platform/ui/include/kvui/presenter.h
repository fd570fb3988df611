// The presenter: every message box and modal question of the program passes through it, so that
// tests can answer them. The real presenter shows them; the scripted one answers from a script.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace KvUi {

class CDialog;
class CPropertyPage;

// A question for the file picker.
struct FilePick {
    bool save = false;     // a file to write (else files to open)
    bool multiple = false; // several files may be chosen (open only)
    std::wstring title;
    std::wstring filter;           // "Text\0*.txt\0All\0*.*\0" style, as the common dialog takes it
    std::wstring defaultExtension; // without the dot
    std::wstring initialPath;      // file name or folder to start from
    std::wstring initialFolder;    // folder the dialog opens in when set (the system's initial folder)
    bool overwritePrompt = true;   // save: the picker itself asks before an existing file is chosen
    bool showHidden = false;       // hidden and system files are listed too
    bool linksAsFiles = false;     // a shortcut is chosen as itself, not as its target
};

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
    // The folder picker rooted at a shell folder (CSIDL_DRIVES, ...); `folder` holds the folder to
    // preselect and receives the choice. True on OK.
    virtual bool PickFolder(HWND owner, const std::wstring& title, int rootCsidl, std::wstring& folder) = 0;
    // The file picker: true on OK with the chosen full paths.
    virtual bool PickFiles(HWND owner, const FilePick& request, std::vector<std::wstring>& paths) = 0;
    // A page of a modal property sheet or wizard has become the current page.
    virtual void PageShown(CPropertyPage&) {}
    // A popup menu at a screen point: the command chosen, 0 when none (TrackPopupMenu's answer
    // with TPM_RETURNCMD).
    virtual UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner);
};

// A popup menu through the presenter; without TPM_RETURNCMD the chosen command is posted to the
// owner as WM_COMMAND, as the system does.
UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner);

class CRealPresenter : public IPresenter {
public:
    int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override;
    void DialogShown(CDialog&) override {}
    bool ChooseColor(HWND owner, COLORREF& color) override;
    bool PickFolder(HWND owner, const std::wstring& title, int rootCsidl, std::wstring& folder) override;
    bool PickFiles(HWND owner, const FilePick& request, std::vector<std::wstring>& paths) override;
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
    // The same for a dialog of a known class: a dialog of another class with that template fails
    // the run (std::logic_error from DoModal).
    template <class D>
    void OnDialog(UINT templateId, std::function<void(D&)> handler) {
        OnDialog(templateId, [handler](CDialog& d) {
            D* typed = dynamic_cast<D*>(&d);
            if (!typed)
                throw std::logic_error("the scripted dialog is of another class");
            handler(*typed);
        });
    }
    // What to do each time a page of a sheet becomes current (a sheet scripted page by page: its
    // first page needs no OnDialog then).
    void OnPage(UINT pageTemplateId, std::function<void(CPropertyPage&)> handler);
    // Answers of popup menus, in order (0 or none queued: no command chosen).
    void QueueMenuCommand(UINT id);
    std::vector<UINT> Pages() const; // the pages shown, in order
    void QueueColor(COLORREF c);
    // Answers of the pickers, in order; an empty answer (or none queued) is a cancel.
    void QueueFolder(const std::wstring& folder);
    void QueueFiles(const std::vector<std::wstring>& paths);
    // The questions the file picker was asked.
    std::vector<FilePick> FileQuestions() const;

    std::vector<Box> Boxes() const;
    std::vector<UINT> Dialogs() const;
    void Clear();

    int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) override;
    void DialogShown(CDialog& dlg) override;
    bool ChooseColor(HWND owner, COLORREF& color) override;
    bool PickFolder(HWND owner, const std::wstring& title, int rootCsidl, std::wstring& folder) override;
    bool PickFiles(HWND owner, const FilePick& request, std::vector<std::wstring>& paths) override;
    void PageShown(CPropertyPage& page) override;
    UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner) override;

private:
    std::map<UINT, std::function<void(CPropertyPage&)>> m_pageHandlers;
    std::vector<UINT> m_pagesShown;
    std::deque<UINT> m_menuCommands;
    std::deque<std::wstring> m_folders;
    std::deque<std::vector<std::wstring>> m_files;
    std::vector<FilePick> m_fileQuestions;
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
