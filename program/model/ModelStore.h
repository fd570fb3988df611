// The model's store side: what the load, save, export and import of the model need of the
// application, and the helpers they share.
//
// The application (its object, main window and dialogs) is reached through IModelStoreHost, which
// the application installs with SetModelStoreHost at start-up; tests install their own.
#pragma once

#include <windows.h>

#include <string>

#include "VCore.h"
#include "valkit.h"

class CIChDataModel;

// Answers of the invalid-resource question.
enum InvalidResourceAnswer {
    InvalidAnswerYes = IDYES, // 6
    InvalidAnswerNo = IDNO,   // 7
    InvalidAnswerYesForAll = 8,
    InvalidAnswerNoForAll = 9,
};
// Actions of the invalid-resource question.
enum InvalidResourceAction { InvalidActionRemove = 0, InvalidActionUncontrol = 1 };

class IModelStoreHost {
public:
    virtual ~IModelStoreHost() = default;
    // A new reference to the application's store provider (may be empty).
    virtual Varno::SmartPtr<Varno::IProvider> GetProvider() = 0;
    // The board folder ("<drive>:\Varno"), or empty when there is no internal fixed disk.
    virtual std::wstring GetStoreFolder() = 0;
    // Opens the local store "Localhost.vdb" in the board folder; empty when it cannot be had.
    virtual Varno::SmartPtr<Varno::IDatabase> OpenStore() = 0;
    // Closes the store through the provider and empties the caller's pointer.
    virtual void CloseStore(Varno::SmartPtr<Varno::IDatabase>& store) = 0;
    // This computer's operating-system text for its subject item.
    virtual std::wstring GetOsDescription() = 0;
    // The main window's model, whose first job gives the edition to a model without a job; may be null.
    virtual CIChDataModel* GetMainModel() = 0;
    // The invalid-resource question (dlgResourceInvalid over the main window): returns the answer
    // (6, 7, 8 or 9); action holds the preselected action and receives the chosen one.
    virtual INT_PTR AskInvalidResource(const Varno::SmartPtr<Varno::IResource>& item, int& action) = 0;
    // The error dialog (dlgException) with the given text.
    virtual void ShowError(const std::wstring& text) = 0;
};

void SetModelStoreHost(IModelStoreHost* host);
IModelStoreHost* GetModelStoreHost();

// The PCI property table shared by save and load: store property code and parameter name.
struct StorePciProperty {
    int code;
    const wchar_t* name;
};
extern const StorePciProperty kStorePciProperties[11];

// The board lists in the order the save writes them.
struct StoreBootList {
    const wchar_t* baseName;
    Varno::BootListCode code;
};
extern const StoreBootList kStoreBootLists[5];

// Whether the object a stored resource describes is valid on this computer: the item's IsValid
// when it is controlled, 1 when it is not and for items without a validity test (directories).
int IsStoredResourceValid(Varno::SmartPtr<Varno::IResource> item);

// The text of the save's error dialog for a store error: "Код: %s\nТекст: %s".
std::wstring FormatStoreErrorText(const EGeneric& e);

// Closes the local store through the application on every way out of a block; Close closes it
// at once and lets an error of the close reach the caller.
class CStoreCloser {
public:
    CStoreCloser(IModelStoreHost* host, Varno::SmartPtr<Varno::IDatabase>& store) : m_host(host), m_store(store) {}
    ~CStoreCloser() {
        try {
            if (m_store)
                m_host->CloseStore(m_store);
        } catch (...) {
            m_store.Reset();
        }
    }
    void Close() { m_host->CloseStore(m_store); }
    CStoreCloser(const CStoreCloser&) = delete;
    CStoreCloser& operator=(const CStoreCloser&) = delete;

private:
    IModelStoreHost* m_host;
    Varno::SmartPtr<Varno::IDatabase>& m_store;
};

// Closes a model file through the provider on every way out of a block (nothing is committed here).
class CFileCloser {
public:
    CFileCloser(const Varno::SmartPtr<Varno::IProvider>& provider, const Varno::SmartPtr<Varno::IDatabase>& store)
        : m_provider(provider), m_store(store) {}
    ~CFileCloser() {
        try {
            if (m_provider && m_store)
                m_provider->Close(m_store->GetHandle());
        } catch (...) {
        }
    }
    CFileCloser(const CFileCloser&) = delete;
    CFileCloser& operator=(const CFileCloser&) = delete;

private:
    Varno::SmartPtr<Varno::IProvider> m_provider;
    Varno::SmartPtr<Varno::IDatabase> m_store;
};

// Result codes.
const int kStoreResultFailed = 1627;                            // ERROR_FUNCTION_FAILED: no store
const int kStoreResultNoEdition = static_cast<int>(0x8007000D); // no job of a known edition: nothing written
