// The application as the store benchmarks give it to the model: the provider, the board folder,
// no questions (a missing resource loads as stored), errors on the console.
#pragma once

#include "IChDataModel.h"
#include "ModelStore.h"

#include <cstdio>

namespace {

// The application as the bench gives it: the provider, the board folder, no questions.
class CBenchHost : public IModelStoreHost {
public:
    Varno::SmartPtr<Varno::IProvider> provider = Varno::Common::CreateProvider();
    std::wstring folder;
    double hashSeconds = 0;
    Varno::SmartPtr<Varno::IProvider> GetProvider() override { return provider; }
    std::wstring GetStoreFolder() override { return folder; }
    Varno::SmartPtr<Varno::IDatabase> OpenStore() override {
        return provider->Open(as_string(folder + L"\\Localhost.vdb", 0).c_str());
    }
    void CloseStore(Varno::SmartPtr<Varno::IDatabase>& store) override {
        if (store) {
            hashSeconds = store->GetLastHashSeconds(); // all five lists, on the store and on the job
            provider->Close(store->GetHandle());
        }
        store.Reset();
    }
    std::wstring GetOsDescription() override { return L"Windows"; }
    CIChDataModel* mainModel = nullptr;
    CIChDataModel* GetMainModel() override { return mainModel; }
    INT_PTR AskInvalidResource(const Varno::SmartPtr<Varno::IResource>&, int&) override {
        return InvalidAnswerNoForAll;
    }
    void ShowError(const std::wstring& text) override { fwprintf(stderr, L"error: %s\n", text.c_str()); }
};

} // namespace
