#include "dlgProperty.h"

#include "DaVIdevaRez.h"

#include "resource.h"

using KvUi::CProp;

KV_BEGIN_MESSAGE_MAP(dlgProperty, KvUi::CDialog)
ON_NOTIFY(TVN_ITEMEXPANDEDW, IDC_SETTINGS_TREE, OnItemExpanded)
ON_NOTIFY(TVN_SELCHANGEDW, IDC_SETTINGS_TREE, OnSelChanged)
KV_END_MESSAGE_MAP()

namespace {
// What the pages show, each row a setting of the application's settings table: a yes/no of one
// bit (mask) or of the whole value (mask 0), or a colour with its default.
struct SettingRow {
    int page;
    const wchar_t* setting;
    DWORD mask;
    UINT label; // string ids
    UINT description;
};
const SettingRow kRows[] = {
    {0, L"Confirmation", 1, IDS_SET_EXIT, IDS_SET_EXIT_TIP},
    {0, L"Confirmation", 2, IDS_SET_UNLINK, IDS_SET_UNLINK_TIP},
    {0, L"Confirmation", 4, IDS_SET_DELETE, IDS_SET_DELETE_TIP},
    {1, L"ColorFace", 0, IDS_SET_TEXT, IDS_SET_TEXT_TIP},
    {1, L"ColorBkg", 0, IDS_SET_BACK, IDS_SET_BACK_TIP},
    {1, L"ColorUniqFace", 0, IDS_SET_ERROR_TEXT, IDS_SET_ERROR_TEXT_TIP},
    {1, L"ColorUniqBkg", 0, IDS_SET_ERROR_BACK, IDS_SET_ERROR_BACK_TIP},
    {1, L"ColorAltFace", 0, IDS_SET_UNCONTROLLED_TEXT, IDS_SET_UNCONTROLLED_TEXT_TIP},
    {1, L"ColorAltBkg", 0, IDS_SET_UNCONTROLLED_BACK, IDS_SET_UNCONTROLLED_BACK_TIP},
    {1, L"ColorNonExistentFace", 0, IDS_SET_MISSING_TEXT, IDS_SET_MISSING_TEXT_TIP},
    {1, L"ColorNonExistentBkg", 0, IDS_SET_MISSING_BACK, IDS_SET_MISSING_BACK_TIP},
    {2, L"Grid", 0, IDS_SET_GRID, IDS_SET_GRID_TIP},
    {3, L"UpdatePresent", 0, IDS_SET_UPDATE_PRESENT, IDS_SET_UPDATE_PRESENT_TIP},
    {3, L"ExeByExten", 0, IDS_SET_EXE_BY_EXTENSION, IDS_SET_EXE_BY_EXTENSION_TIP},
};
} // namespace

dlgProperty::dlgProperty(KvUi::CWnd* parent) : KvUi::CDialog(IDD_PROPERTY, parent) {}

void dlgProperty::FillPages(const RECT& rc) {
    for (int i = 0; i < 4; ++i) {
        KvUi::CPropList& page = m_pages[i];
        if (!page.Create(0, rc, this, 2000 + i))
            continue; // the page stays empty
        page.SetHeaders(KvUi::LoadStr(IDS_SET_PARAMETERS), KvUi::LoadStr(IDS_SET_VALUES));
        page.SetBoolLabels(KvUi::LoadStr(IDS_SET_YES), KvUi::LoadStr(IDS_SET_NO));
    }
    for (const SettingRow& row : kRows) {
        const AppSetting* setting = FindAppSetting(row.setting);
        if (!setting)
            continue;
        DWORD value = setting->Get(theApp);
        const std::wstring label = KvUi::LoadStr(row.label), description = KvUi::LoadStr(row.description);
        if (setting->type == AppSetting::Color)
            m_pages[row.page].AddProperty(
                std::make_unique<CProp>(label, (COLORREF)value, description, (COLORREF)setting->Default(),
                                        KvUi::LoadStr(IDS_SET_COLOR_DEFAULT), KvUi::LoadStr(IDS_SET_COLOR_OTHER)));
        else
            m_pages[row.page].AddProperty(
                std::make_unique<CProp>(label, row.mask ? (value & row.mask) != 0 : value != 0, description));
    }
    m_pages[0].SetCurSel(0);
    m_pages[1].SetCurSel(0);
    m_pages[3].SetCurSel(0);
}

BOOL dlgProperty::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    HWND placeholder = GetDlgItem(IDC_SETTINGS_PAGES);
    RECT rc = {0, 0, 0, 0};
    if (placeholder) {
        ::GetWindowRect(placeholder, &rc);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        ShowDlgItem(IDC_SETTINGS_PAGES, FALSE);
        EnableDlgItem(IDC_SETTINGS_PAGES, FALSE);
    }
    FillPages(rc);
    m_tree.SubclassDlgItem(IDC_SETTINGS_TREE, this);
    if (m_images.Create(IDB_SETTINGS_TREE, 16, 0, RGB(255, 0, 255))) {
        m_tree.SetImageList(m_images);
        const UINT rootNames[] = {IDS_SET_GENERAL, IDS_SET_TOOLS};
        const UINT childNames[] = {IDS_SET_CONFIRMATIONS, IDS_SET_LIST_COLORS, IDS_SET_INTERFACE, IDS_SET_IMPORT};
        m_roots[0] = m_tree.InsertItem(KvUi::LoadStr(rootNames[0]), 2, 2);
        for (int i = 0; i < 3; ++i)
            m_children[i] = m_tree.InsertItem(KvUi::LoadStr(childNames[i]), -1, -1, m_roots[0], TVI_LAST, i);
        m_roots[1] = m_tree.InsertItem(KvUi::LoadStr(rootNames[1]), 2, 2);
        m_children[3] = m_tree.InsertItem(KvUi::LoadStr(childNames[3]), -1, -1, m_roots[1], TVI_LAST, 3);
        m_tree.SetItemData(m_roots[0], (LPARAM)m_children[0]);
        m_tree.SetItemData(m_roots[1], (LPARAM)m_children[3]);
        ::SetFocus(m_tree.m_hWnd);
        m_tree.Expand(m_roots[0], TVE_EXPAND);
    }
    return FALSE; // the focus is set
}

int dlgProperty::PageOfItem(HTREEITEM item) const {
    if (!item)
        return -1;
    for (int i = 0; i < 2; ++i)
        if (item == m_roots[i]) {
            HTREEITEM child = (HTREEITEM)m_tree.GetItemData(item);
            for (int p = 0; p < 4; ++p)
                if (m_children[p] == child)
                    return p;
            return -1;
        }
    LPARAM page = m_tree.GetItemData(item);
    return page >= 0 && page < 4 ? (int)page : -1;
}

void dlgProperty::ShowPage(HTREEITEM item, bool show) {
    int page = PageOfItem(item);
    if (page < 0)
        return;
    if (m_pages[page].m_hWnd)
        m_pages[page].ShowWindow(show ? SW_SHOW : SW_HIDE);
    bool isRoot = item == m_roots[0] || item == m_roots[1];
    if (isRoot) {
        HTREEITEM child = (HTREEITEM)m_tree.GetItemData(item);
        m_tree.SetItemImage(child, show ? 0 : -1, show ? 0 : -1);
    }
}

void dlgProperty::OnSelChanged(NMHDR* hdr, LRESULT* result) {
    NMTREEVIEWW* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
    ShowPage(nm->itemOld.hItem, false);
    HTREEITEM item = nm->itemNew.hItem;
    HTREEITEM parent = item ? m_tree.GetParentItem(item) : nullptr;
    if (parent)
        m_tree.SetItemData(parent, (LPARAM)item); // selecting the parent again shows this page
    ShowPage(item, true);
    *result = 0;
}

void dlgProperty::OnItemExpanded(NMHDR* hdr, LRESULT* result) {
    NMTREEVIEWW* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
    HTREEITEM item = nm->itemNew.hItem;
    if (item == m_roots[0] || item == m_roots[1]) {
        HTREEITEM child = (HTREEITEM)m_tree.GetItemData(item);
        if (nm->action == TVE_EXPAND) {
            m_tree.SetItemImage(item, 1, 1);
            m_tree.SetItemImage(child, 0, 0);
        } else if (nm->action == TVE_COLLAPSE) {
            m_tree.SetItemImage(item, 2, 2);
            m_tree.SetItemImage(child, -1, -1);
        }
    }
    *result = 0;
}

void dlgProperty::OnOK() {
    for (auto& page : m_pages)
        if (page.m_hWnd)
            page.EndEditItem(TRUE);
    // Each row's property goes back to its setting; bits and settings no page shows are kept.
    int index[4] = {};
    for (const SettingRow& row : kRows) {
        const AppSetting* setting = FindAppSetting(row.setting);
        if (!setting)
            continue; // not shown either
        KvUi::CPropList& page = m_pages[row.page];
        int i = index[row.page]++;
        if (i >= page.GetPropertyCount())
            continue;
        CProp* prop = page.GetProperty(i);
        if (setting->type == AppSetting::Color) {
            COLORREF c = prop->GetColor();
            setting->Set(theApp, c == (COLORREF)-1 ? setting->Default() : c);
        } else if (row.mask) {
            DWORD v = setting->Get(theApp);
            setting->Set(theApp, prop->GetBool() ? (v | row.mask) : (v & ~row.mask));
        } else {
            setting->Set(theApp, prop->GetBool() ? 1 : 0);
        }
    }
    KvUi::CDialog::OnOK();
}
