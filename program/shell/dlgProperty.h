// The settings dialog: a tree of pages on the left, a property list per page on the right.
#pragma once

#include <kvui/kvui.h>

class dlgProperty : public KvUi::CDialog {
public:
    explicit dlgProperty(KvUi::CWnd* parent);

    BOOL OnInitDialog() override;
    void OnOK() override;

    // Pages 0 to 3: confirmations, list colours, interface, import and adding.
    KvUi::CPropList m_pages[4];
    KvUi::CTreeCtrl m_tree;
    KvUi::CImageList m_images;
    HTREEITEM m_roots[2] = {};
    HTREEITEM m_children[4] = {};

    // The page that a tree item shows: a child its own, a root the child it refers to.
    int PageOfItem(HTREEITEM item) const;

protected:
    void OnItemExpanded(NMHDR* hdr, LRESULT* result);
    void OnSelChanged(NMHDR* hdr, LRESULT* result);
    void FillPages(const RECT& rc);
    void ShowPage(HTREEITEM item, bool show);

    KV_DECLARE_MESSAGE_MAP()
};
