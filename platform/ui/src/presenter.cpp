// The real and the scripted presenter.
#include "kvui/presenter.h"
#include "kvui/app.h"
#include "kvui/dialog.h"
#include "kvui/frame.h"
#include "kvui/sheet.h"

#include <atomic>
#include <commdlg.h>
#include <shlobj.h>

namespace KvUi {

int CRealPresenter::MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

bool CRealPresenter::ChooseColor(HWND owner, COLORREF& color) {
    static COLORREF custom[16] = {};
    CHOOSECOLORW cc = {sizeof(cc)};
    cc.hwndOwner = owner;
    cc.rgbResult = color;
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!::ChooseColorW(&cc))
        return false;
    color = cc.rgbResult;
    return true;
}

namespace {
int CALLBACK BrowseCallback(HWND wnd, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data)
        ::SendMessageW(wnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}
} // namespace

bool CRealPresenter::PickFolder(HWND owner, const std::wstring& title, int rootCsidl, std::wstring& folder) {
    PIDLIST_ABSOLUTE root = nullptr;
    if (rootCsidl >= 0)
        ::SHGetSpecialFolderLocation(owner, rootCsidl, &root);
    BROWSEINFOW bi = {};
    wchar_t display[MAX_PATH] = {};
    bi.hwndOwner = owner;
    bi.pidlRoot = root;
    bi.pszDisplayName = display;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseCallback;
    bi.lParam = folder.empty() ? 0 : reinterpret_cast<LPARAM>(folder.c_str());
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&bi);
    bool ok = false;
    if (chosen) {
        wchar_t path[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(chosen, path)) {
            folder = path;
            ok = true;
        }
        ::CoTaskMemFree(chosen);
    }
    if (root)
        ::CoTaskMemFree(root);
    return ok;
}

bool CRealPresenter::PickFiles(HWND owner, const FilePick& request, std::vector<std::wstring>& paths) {
    std::vector<wchar_t> buffer(32768, L'\0');
    std::wstring initialDir = request.initialFolder;
    DWORD attrs =
        request.initialPath.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(request.initialPath.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        initialDir = request.initialPath;
    else
        lstrcpynW(buffer.data(), request.initialPath.c_str(), (int)buffer.size());
    OPENFILENAMEW ofn = {sizeof(ofn)};
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = request.filter.empty() ? nullptr : request.filter.c_str();
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = (DWORD)buffer.size();
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | (request.showHidden ? OFN_FORCESHOWHIDDEN : 0) |
                (request.linksAsFiles ? OFN_NODEREFERENCELINKS : 0);
    if (request.save)
        ofn.Flags |= (request.overwritePrompt ? OFN_OVERWRITEPROMPT : 0) | OFN_PATHMUSTEXIST;
    else
        ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | (request.multiple ? OFN_ALLOWMULTISELECT : 0);
    BOOL ok = request.save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
    paths.clear();
    if (!ok)
        return false;
    // Several files: the folder, then each name, each ending in a zero.
    const wchar_t* p = buffer.data();
    std::wstring first = p;
    p += first.size() + 1;
    if (!*p) {
        paths.push_back(first);
    } else {
        for (; *p; p += wcslen(p) + 1)
            paths.push_back(first + L"\\" + p);
    }
    return !paths.empty();
}

UINT IPresenter::TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner) {
    return (UINT)::TrackPopupMenu(menu, flags | TPM_RETURNCMD, x, y, 0, owner, nullptr);
}

UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner) {
    UINT id = GetPresenter()->TrackPopupMenu(menu, flags & ~TPM_RETURNCMD, x, y, owner);
    if (id && !(flags & TPM_RETURNCMD) && owner)
        ::PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return (flags & TPM_RETURNCMD) ? id : (id != 0);
}

void CScriptedPresenter::OnPage(UINT pageTemplateId, std::function<void(CPropertyPage&)> handler) {
    std::lock_guard<std::mutex> g(m_lock);
    m_pageHandlers[pageTemplateId] = std::move(handler);
}

void CScriptedPresenter::QueueMenuCommand(UINT id) {
    std::lock_guard<std::mutex> g(m_lock);
    m_menuCommands.push_back(id);
}

std::vector<UINT> CScriptedPresenter::Pages() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_pagesShown;
}

void CScriptedPresenter::PageShown(CPropertyPage& page) {
    std::function<void(CPropertyPage&)> handler;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_pagesShown.push_back(page.m_nIDTemplate);
        auto it = m_pageHandlers.find(page.m_nIDTemplate);
        if (it != m_pageHandlers.end())
            handler = it->second;
    }
    if (handler)
        handler(page);
}

UINT CScriptedPresenter::TrackPopupMenu(HMENU, UINT, int, int, HWND) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_menuCommands.empty())
        return 0;
    UINT id = m_menuCommands.front();
    m_menuCommands.pop_front();
    return id;
}

void CScriptedPresenter::QueueFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> g(m_lock);
    m_folders.push_back(folder);
}

void CScriptedPresenter::QueueFiles(const std::vector<std::wstring>& paths) {
    std::lock_guard<std::mutex> g(m_lock);
    m_files.push_back(paths);
}

std::vector<FilePick> CScriptedPresenter::FileQuestions() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_fileQuestions;
}

bool CScriptedPresenter::PickFolder(HWND, const std::wstring&, int, std::wstring& folder) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_folders.empty())
        return false;
    std::wstring answer = m_folders.front();
    m_folders.pop_front();
    if (answer.empty())
        return false;
    folder = answer;
    return true;
}

bool CScriptedPresenter::PickFiles(HWND, const FilePick& request, std::vector<std::wstring>& paths) {
    std::lock_guard<std::mutex> g(m_lock);
    m_fileQuestions.push_back(request);
    paths.clear();
    if (m_files.empty())
        return false;
    paths = m_files.front();
    m_files.pop_front();
    return !paths.empty();
}

void CScriptedPresenter::QueueAnswer(int id) {
    std::lock_guard<std::mutex> g(m_lock);
    m_answers.push_back(id);
}

void CScriptedPresenter::OnDialog(UINT templateId, std::function<void(CDialog&)> handler) {
    std::lock_guard<std::mutex> g(m_lock);
    m_dialogs[templateId] = std::move(handler);
}

void CScriptedPresenter::QueueColor(COLORREF c) {
    std::lock_guard<std::mutex> g(m_lock);
    m_colors.push_back(c);
}

std::vector<CScriptedPresenter::Box> CScriptedPresenter::Boxes() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_boxes;
}

std::vector<UINT> CScriptedPresenter::Dialogs() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_shown;
}

void CScriptedPresenter::Clear() {
    std::lock_guard<std::mutex> g(m_lock);
    m_answers.clear();
    m_colors.clear();
    m_folders.clear();
    m_files.clear();
    m_fileQuestions.clear();
    m_dialogs.clear();
    m_boxes.clear();
    m_shown.clear();
    m_pageHandlers.clear();
    m_pagesShown.clear();
    m_menuCommands.clear();
}

static int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return IDOK;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDOK;
    }
}

int CScriptedPresenter::MessageBox(HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
    std::lock_guard<std::mutex> g(m_lock);
    m_boxes.push_back({text, caption, type});
    if (m_answers.empty())
        return FirstButton(type);
    int a = m_answers.front();
    m_answers.pop_front();
    return a;
}

void CScriptedPresenter::DialogShown(CDialog& dlg) {
    std::function<void(CDialog&)> handler;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_shown.push_back(dlg.m_nIDTemplate);
        auto it = m_dialogs.find(dlg.m_nIDTemplate);
        if (it != m_dialogs.end())
            handler = it->second;
    }
    if (handler) {
        handler(dlg);
        return;
    }
    // A sheet scripted page by page runs on; anything else unscripted is cancelled.
    if (dynamic_cast<CPropertyPage*>(&dlg)) {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_pageHandlers.empty())
            return;
    }
    dlg.EndDialog(IDCANCEL);
}

bool CScriptedPresenter::ChooseColor(HWND, COLORREF& color) {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_colors.empty())
        return false;
    color = m_colors.front();
    m_colors.pop_front();
    return true;
}

static CRealPresenter g_real;
static std::atomic<IPresenter*> g_presenter{&g_real};

IPresenter* GetPresenter() { return g_presenter.load(); }

IPresenter* SetPresenter(IPresenter* p) { return g_presenter.exchange(p ? p : &g_real); }

int ShowMessage(HWND owner, const std::wstring& text, const wchar_t* caption, UINT type) {
    std::wstring cap;
    if (caption)
        cap = caption;
    else if (CWinApp* app = AfxGetApp())
        cap = app->m_strAppName;
    if (cap.empty())
        cap = LoadStr(AFX_IDS_APP_TITLE);
    return GetPresenter()->MessageBox(owner, text, cap, type);
}

} // namespace KvUi
