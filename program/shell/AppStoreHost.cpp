#include "AppStoreHost.h"

#include "DaVIdevaRez.h"
#include "MainFrm.h"
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

INT_PTR CAppModelStoreHost::AskInvalidResource(const Varno::SmartPtr<Varno::IResource>&, int&) {
    // The invalid-resource dialog comes with the path-variable and missing-resource dialogs; until
    // then every such resource is kept as the store holds it, with the preselected action.
    return InvalidAnswerNoForAll;
}

void CAppModelStoreHost::ShowError(const std::wstring& text) {
    KvUi::CWnd* main = KvUi::AfxGetMainWnd();
    dlgException dlg(main ? main->m_hWnd : nullptr, text);
    dlg.DoModal();
}
