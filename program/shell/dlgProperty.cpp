#include "dlgProperty.h"

#include "DaVIdevaRez.h"

#include "../res/resource.h"

using KvUi::CProp;

KV_BEGIN_MESSAGE_MAP(dlgProperty, KvUi::CDialog)
ON_NOTIFY(TVN_ITEMEXPANDEDW, IDC_SETTINGS_TREE, OnItemExpanded)
ON_NOTIFY(TVN_SELCHANGEDW, IDC_SETTINGS_TREE, OnSelChanged)
KV_END_MESSAGE_MAP()

namespace {
struct ColorRow {
    const wchar_t* name;
    const wchar_t* description;
    COLORREF CDaVIdevaRezApp::*member;
};
const ColorRow kColorRows[] = {
    {L"Текст", L"Цвет текста элементов списка.", &CDaVIdevaRezApp::m_clrFace},
    {L"Фон", L"Цвет фона элементов списка.", &CDaVIdevaRezApp::m_clrBkg},
    {L"Текст ошибки", L"Цвет текста некорректных элементов списка.", &CDaVIdevaRezApp::m_clrUniqFace},
    {L"Фон ошибки", L"Цвет фона некорректных элементов списка.", &CDaVIdevaRezApp::m_clrUniqBkg},
    {L"Текст (неконтролируемые)", L"Цвет текста для ресурсов, снятых с контроля.", &CDaVIdevaRezApp::m_clrAltFace},
    {L"Фон (неконтролируемые)", L"Цвет фона для ресурсов, снятых с контроля.", &CDaVIdevaRezApp::m_clrAltBkg},
    {L"Текст (несуществующие)", L"Цвет текста для несуществующих ресурсов.", &CDaVIdevaRezApp::m_clrNonExistentFace},
    {L"Фон (несуществующие)", L"Цвет фона для несуществующих ресурсов.", &CDaVIdevaRezApp::m_clrNonExistentBkg},
};
} // namespace

dlgProperty::dlgProperty(KvUi::CWnd* parent) : KvUi::CDialog(IDD_PROPERTY, parent) {}

void dlgProperty::FillPages(const RECT& rc) {
    for (int i = 0; i < 4; ++i) {
        KvUi::CPropList& page = m_pages[i];
        if (!page.Create(0, rc, this, 2000 + i))
            continue;   // the page stays empty
        page.SetHeaders(L"Параметры", L"Значения");
        page.SetBoolLabels(L"Да", L"Нет");
    }
    const int conf = theApp.m_nConfirmation;
    m_pages[0].AddProperty(std::make_unique<CProp>(L"Выход", (conf & 1) != 0,
                                                   L"Выводить запрос на подтверждение при выходе из программы."));
    m_pages[0].AddProperty(std::make_unique<CProp>(
        L"Удаление связей", (conf & 2) != 0,
        L"Выводить запрос на подтверждение при удалении связей (в операциях исключения объектов)."));
    m_pages[0].AddProperty(std::make_unique<CProp>(L"Удаление объектов", (conf & 4) != 0,
                                                   L"Выводить запрос на подтверждение при удалении объектов."));
    for (int i = 0; i < 8; ++i)
        m_pages[1].AddProperty(std::make_unique<CProp>(kColorRows[i].name, theApp.*kColorRows[i].member,
                                                       kColorRows[i].description, CDaVIdevaRezApp::DefaultColor(i),
                                                       L"По умолчанию", L"Другой..."));
    m_pages[2].AddProperty(std::make_unique<CProp>(L"Сетка в списке", theApp.m_bGrid != 0,
                                                   L"Отображать линии сетки в таблицах со списками элементов."));
    m_pages[3].AddProperty(std::make_unique<CProp>(
        L"С учетом существующих", theApp.m_bUpdatePresent != 0,
        L"Замещать объекты текущей модели импортированными объектами при совпадении имен."));
    m_pages[3].AddProperty(std::make_unique<CProp>(
        L"Помечать выполняемые", theApp.m_bExeByExten != 0,
        L"Устанавливать признаки \"Выполняемый\" для новых выполняемых ресурсов в модель."));
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
        ::ShowWindow(placeholder, SW_HIDE);
        ::EnableWindow(placeholder, FALSE);
    }
    FillPages(rc);
    m_tree.SubclassDlgItem(IDC_SETTINGS_TREE, this);
    if (m_images.Create(IDB_SETTINGS_TREE, 16, 0, RGB(255, 0, 255))) {
        m_tree.SetImageList(m_images);
        const wchar_t* rootNames[] = {L"Общие", L"Инструментарий"};
        const wchar_t* childNames[] = {L"Подтверждения", L"Цвета элементов списка", L"Интерфейс",
                                       L"Импорт и добавление"};
        m_roots[0] = m_tree.InsertItem(rootNames[0], 2, 2);
        for (int i = 0; i < 3; ++i)
            m_children[i] = m_tree.InsertItem(childNames[i], -1, -1, m_roots[0], TVI_LAST, i);
        m_roots[1] = m_tree.InsertItem(rootNames[1], 2, 2);
        m_children[3] = m_tree.InsertItem(childNames[3], -1, -1, m_roots[1], TVI_LAST, 3);
        m_tree.SetItemData(m_roots[0], (LPARAM)m_children[0]);
        m_tree.SetItemData(m_roots[1], (LPARAM)m_children[3]);
        ::SetFocus(m_tree.m_hWnd);
        m_tree.Expand(m_roots[0], TVE_EXPAND);
    }
    return FALSE;   // the focus is set
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
        m_tree.SetItemData(parent, (LPARAM)item);   // selecting the parent again shows this page
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
    if (m_pages[0].GetPropertyCount() == 3) {
        int conf = 0;
        for (int i = 0; i < 3; ++i)
            if (m_pages[0].GetProperty(i)->GetBool())
                conf |= 1 << i;
        // Bits the page does not show are kept.
        theApp.m_nConfirmation = (theApp.m_nConfirmation & ~7) | conf;
    }
    if (m_pages[1].GetPropertyCount() == 8) {
        for (int i = 0; i < 8; ++i) {
            COLORREF c = m_pages[1].GetProperty(i)->GetColor();
            theApp.*kColorRows[i].member = c == (COLORREF)-1 ? CDaVIdevaRezApp::DefaultColor(i) : c;
        }
    }
    if (m_pages[2].GetPropertyCount() == 1)
        theApp.m_bGrid = m_pages[2].GetProperty(0)->GetBool() ? 1 : 0;
    if (m_pages[3].GetPropertyCount() == 2) {
        theApp.m_bUpdatePresent = m_pages[3].GetProperty(0)->GetBool() ? 1 : 0;
        theApp.m_bExeByExten = m_pages[3].GetProperty(1)->GetBool() ? 1 : 0;
    }
    KvUi::CDialog::OnOK();
}
