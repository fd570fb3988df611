#include "AppStoreHost.h"

#include "DaVIdevaRez.h"
#include "MainFrm.h"
#include "ResourceDialogs.h"
#include "dlgException.h"

Varno::SmartPtr<Varno::IProvider> CAppModelStoreHost::GetProvider() { return theApp.GetProvider(); }

std::wstring CAppModelStoreHost::GetStoreFolder() { return theApp.GetStoreFolder(); }

Varno::SmartPtr<Varno::IDatabase> CAppModelStoreHost::OpenStore() { return theApp.OpenStore(); }

void CAppModelStoreHost::CloseStore(Varno::SmartPtr<Varno::IDatabase>& store) { theApp.CloseStore(store); }

std::wstring CAppModelStoreHost::GetOsDescription() { return theApp.GetOsDescription(); }

CIChDataModel* CAppModelStoreHost::GetMainModel() {
    CMainFrame* frame = dynamic_cast<CMainFrame*>(KvUi::AfxGetMainWnd());
    return frame ? &frame->m_Model : nullptr;
}

INT_PTR CAppModelStoreHost::AskInvalidResource(const Varno::SmartPtr<Varno::IResource>& item, int& action) {
    // Asked on the thread of the load (the worker of a background operation), over the main window.
    KvUi::CWnd* main = KvUi::AfxGetMainWnd();
    CMainFrame* frame = dynamic_cast<CMainFrame*>(main);
    // The load waits for the user here, not the user for the load: the wait window steps aside.
    if (frame)
        frame->ShowWaitWindow(false);
    dlgResourceInvalid dlg(action, item, main ? main->m_hWnd : nullptr);
    INT_PTR answer = dlg.DoModal();
    if (frame)
        frame->ShowWaitWindow(true);
    if (answer != InvalidAnswerYes && answer != InvalidAnswerNo && answer != InvalidAnswerYesForAll &&
        answer != InvalidAnswerNoForAll)
        return InvalidAnswerNo; // no dialog could be shown: the resource loads as it is stored
    action = dlg.GetAction();
    return answer;
}

void CAppModelStoreHost::ShowError(const std::wstring& text) {
    KvUi::CWnd* main = KvUi::AfxGetMainWnd();
    CMainFrame* frame = dynamic_cast<CMainFrame*>(main);
    if (frame)
        frame->ShowWaitWindow(false);
    dlgException dlg(main ? main->m_hWnd : nullptr, text);
    dlg.DoModal();
    if (frame)
        frame->ShowWaitWindow(true);
}
