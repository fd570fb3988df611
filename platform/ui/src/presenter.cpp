// The real and the scripted presenter.
#include "kvui/presenter.h"
#include "kvui/app.h"
#include "kvui/dialog.h"
#include "kvui/frame.h"

#include <atomic>
#include <commdlg.h>

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
    m_dialogs.clear();
    m_boxes.clear();
    m_shown.clear();
}

static int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return IDOK;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
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
    if (handler)
        handler(dlg);
    else
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
