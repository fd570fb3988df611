// The model's way to the application: the store provider, the board folder, the local store, the
// system text, the main window's model, the invalid-resource question and the error dialog.
#pragma once

#include "ModelStore.h"

class CAppModelStoreHost : public IModelStoreHost {
public:
    Varno::SmartPtr<Varno::IProvider> GetProvider() override;
    std::wstring GetStoreFolder() override;
    Varno::SmartPtr<Varno::IDatabase> OpenStore() override;
    void CloseStore(Varno::SmartPtr<Varno::IDatabase>& store) override;
    std::wstring GetOsDescription() override;
    CIChDataModel* GetMainModel() override;
    INT_PTR AskInvalidResource(const Varno::SmartPtr<Varno::IResource>& item, int& action) override;
    void ShowError(const std::wstring& text) override;
};
