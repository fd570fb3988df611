// The registry picker "Просмотр реестра": a lazy tree of the live registry (a key is listed when
// it is expanded, not before) from which the user picks a key, or in value mode a value. The pick
// comes back as a registry path in token form (the unnamed value and backslashes inside a value's
// name as their tokens), and the last pick is remembered in the profile ("RegistryDefaultKey").
#pragma once

#include "ResizeDialog.h"

#include <string>
#include <vector>

class dlgBrowseRegistry : public ResizeDialog {
public:
    // mode 0 picks a key, any other value a value. path: read as the start position (empty: the
    // remembered pick), written on OK only.
    dlgBrowseRegistry(KvUi::CWnd* pParent, const wchar_t* prompt, int mode, std::wstring* path);
    ~dlgBrowseRegistry() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void DefineLayout(std::vector<ResizeLayoutEntry>& defs) override;

    // What a tree item stands for.
    enum Kind { KindNone, KindRootKey, KindKey, KindValue };
    // Value markers (the item's handle field for a value).
    static constexpr LONG_PTR MarkerValue = -1;
    static constexpr LONG_PTR MarkerDefault = -2;
    static constexpr LONG_PTR MarkerBackslash = -3;

    KvUi::CTreeCtrl& GetTree() { return m_tree; }
    // The kind and the marker (values) of an item.
    Kind GetItemKind(HTREEITEM h) const;
    LONG_PTR GetItemMarker(HTREEITEM h) const;
    // Keys the dialog holds open now (root keys are not opened).
    int GetOpenKeyCount() const;
    // Lists a key item's children now (what expanding it does); false when there was nothing to do.
    bool FillItem(HTREEITEM h);
    // The root item "Реестр".
    HTREEITEM GetRootItem() const { return m_hRoot; }
    // The child of an item with that text (any case), null when none.
    HTREEITEM FindChild(HTREEITEM parent, const std::wstring& text) const;
    const std::wstring& GetRememberedKey() const { return m_strRemembered; }

protected:
    struct Entry {
        Kind kind = KindNone;
        LONG_PTR handle = 0; // root: the predefined key; key: its open handle or 0; value: marker
        std::wstring name;   // a key's or value's own name ("" for the unnamed value)
        HTREEITEM item = nullptr;
    };

    LRESULT OnSizeMsg(WPARAM wp, LPARAM lp);
    LRESULT OnDestroyMsg(WPARAM wp, LPARAM lp);
    void OnItemExpanding(NMHDR* hdr, LRESULT* pResult);
    void OnSelChanged(NMHDR* hdr, LRESULT* pResult);

    int AddEntry(Kind kind, LONG_PTR handle, const std::wstring& name);
    Entry* EntryOf(HTREEITEM h);
    const Entry* EntryOf(HTREEITEM h) const;
    // The key of an item, opened (and kept) when it is not yet open; null when it cannot be.
    HKEY KeyOf(HTREEITEM h);
    // The placeholder child of a key that is not empty.
    void FirstFill(HTREEITEM h, HKEY key);
    bool IsEmptyKey(HKEY key) const;
    bool IsHiddenSubkey(HTREEITEM parent, const std::wstring& name) const;
    // Whether an opened subkey is a virtualised one, which is never listed.
    virtual bool IsVirtualKey(HKEY key) const;
    // The item's path from its root key ("HKEY_LOCAL_MACHINE\SOFTWARE").
    std::wstring KeyPathOf(HTREEITEM h) const;
    bool IsPickable(HTREEITEM h) const;
    void SelectStart(const std::wstring& path);
    HTREEITEM FindValue(HTREEITEM key, const std::wstring& name, LONG_PTR marker);
    void CloseKeys();

    std::wstring m_strPrompt;
    int m_nMode;
    std::wstring* m_pPath;
    std::wstring m_strRemembered;
    KvUi::CTreeCtrl m_tree;
    KvUi::CImageList m_images;
    std::vector<Entry> m_entries; // entry 0: no entry (the root item and placeholders)
    HTREEITEM m_hRoot = nullptr;

    KV_DECLARE_MESSAGE_MAP()
};
