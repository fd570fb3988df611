// Tests of the control wrappers as real windows: tree, image list, list (plain and owner data),
// header, spin, image button, editable list box, splitter with host frame, wait cursor (over busy
// windows, over a progress window and a dialog opened while it is held).
#include <gtest/gtest.h>

#include "kvclick.h"
#include "kvpresenter.h"
#include "kvtest.h"

#include "kvui/kvui.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace KvUi;

namespace {

const int g_init = (::InitCommonControls(), 0);

std::wstring LongText(size_t n, wchar_t seed) {
    std::wstring s;
    for (size_t i = 0; i < n; ++i)
        s += (wchar_t)(L'А' + (seed + i) % 32); // Cyrillic letters
    return s;
}

// A top-level window for the controls; it records the notifications it gets.
class CHost : public CWnd {
public:
    std::vector<UINT> m_codes;
    BOOL m_acceptLabel = TRUE;
    BOOL Create() {
        return CreateEx(0, DefaultWndClass(), L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 10, 10, 600,
                        500, nullptr, nullptr);
    }
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override {
        // What the control answers itself is never heard here.
        if (ReflectToControl(m_hWnd, WM_NOTIFY, wp, lp, pResult))
            return TRUE;
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
        m_codes.push_back(hdr->code);
        if (hdr->code == TVN_ENDLABELEDITW) {
            *pResult = m_acceptLabel;
            return TRUE;
        }
        return CWnd::OnNotify(wp, lp, pResult);
    }
    bool Heard(UINT code) const { return std::find(m_codes.begin(), m_codes.end(), code) != m_codes.end(); }
};

class Controls : public ::testing::Test {
protected:
    CHost host;
    void SetUp() override { ASSERT_TRUE(host.Create()); }
    RECT Rect(int l, int t, int r, int b) { return RECT{l, t, r, b}; }
};

// ---- tree ----------------------------------------------------------------------------------

class TreeTest : public Controls {
protected:
    CTreeCtrl tree;
    void SetUp() override {
        Controls::SetUp();
        ASSERT_TRUE(
            tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_EDITLABELS | TVS_SHOWSELALWAYS,
                        Rect(0, 0, 500, 400), &host, 12));
    }
};

TEST_F(TreeTest, TextsOfAnyLengthComeBackWhole) {
    for (size_t n : {0u, 1u, 255u, 256u, 257u, 511u, 512u, 2000u, 5000u}) {
        std::wstring text = LongText(n, (wchar_t)n);
        HTREEITEM h = tree.InsertItem(text);
        ASSERT_NE(nullptr, h);
        EXPECT_EQ(text, tree.GetItemText(h)) << n;
        std::wstring other = LongText(n + 3, 7);
        EXPECT_TRUE(tree.SetItemText(h, other));
        EXPECT_EQ(other, tree.GetItemText(h)) << n;
    }
}

TEST_F(TreeTest, ItemsDataImagesStatesAndNavigation) {
    HTREEITEM root = tree.InsertItem(L"Корень", 0, 1, TVI_ROOT, TVI_LAST, 100);
    HTREEITEM a = tree.InsertItem(L"a", 2, 3, root, TVI_LAST, 101);
    HTREEITEM b = tree.InsertItem(L"b", root);
    EXPECT_EQ(3u, tree.GetCount());
    EXPECT_EQ(100, tree.GetItemData(root));
    EXPECT_TRUE(tree.SetItemData(b, 102));
    EXPECT_EQ(102, tree.GetItemData(b));
    int image = -1, sel = -1;
    EXPECT_TRUE(tree.GetItemImage(a, image, sel));
    EXPECT_EQ(2, image);
    EXPECT_EQ(3, sel);
    EXPECT_TRUE(tree.ItemHasChildren(root));
    EXPECT_FALSE(tree.ItemHasChildren(a));
    EXPECT_EQ(a, tree.GetChildItem(root));
    EXPECT_EQ(b, tree.GetNextSiblingItem(a));
    EXPECT_EQ(a, tree.GetPrevSiblingItem(b));
    EXPECT_EQ(root, tree.GetParentItem(b));
    EXPECT_TRUE(tree.Expand(root, TVE_EXPAND));
    EXPECT_TRUE(tree.GetItemState(root, TVIS_EXPANDED) & TVIS_EXPANDED);
    // State images: no image is not checked.
    EXPECT_EQ(0, tree.GetStateImage(a));
    EXPECT_FALSE(tree.GetCheck(a));
    EXPECT_TRUE(tree.SetCheck(a));
    EXPECT_TRUE(tree.GetCheck(a));
    EXPECT_EQ(2, tree.GetStateImage(a));
    tree.SetStateImage(a, 5);
    EXPECT_EQ(5, tree.GetStateImage(a));
    EXPECT_FALSE(tree.GetCheck(a));
    EXPECT_TRUE(tree.DeleteItem(b));
    EXPECT_EQ(2u, tree.GetCount());
}

TEST_F(TreeTest, HitTestItemRectangleDropTargetAndDragImage) {
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR24 | ILC_MASK, 0, 4));
    ASSERT_EQ(0, images.AddBitmap(302, RGB(255, 0, 255)));
    EXPECT_EQ(4, images.GetImageCount());
    tree.SetImageList(images, TVSIL_NORMAL);
    HTREEITEM a = tree.InsertItem(L"Первый", 0, 0);
    HTREEITEM b = tree.InsertItem(L"Второй", 1, 1);
    RECT ra, rb;
    ASSERT_TRUE(tree.GetItemRect(a, &ra, TRUE));
    ASSERT_TRUE(tree.GetItemRect(b, &rb, FALSE));
    EXPECT_GE(rb.top, ra.bottom);
    UINT flags = 0;
    EXPECT_EQ(a, tree.HitTest({(ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2}, &flags));
    EXPECT_TRUE(flags & TVHT_ONITEMLABEL);
    EXPECT_EQ(nullptr, tree.HitTest({5, 390}, &flags));
    EXPECT_TRUE(tree.SelectDropTarget(b));
    EXPECT_EQ(b, tree.GetDropHilightItem());
    EXPECT_TRUE(tree.GetItemState(b, TVIS_DROPHILITED) & TVIS_DROPHILITED);
    tree.SelectDropTarget(nullptr);
    EXPECT_FALSE(tree.GetItemState(b, TVIS_DROPHILITED) & TVIS_DROPHILITED);
    CImageList drag;
    ASSERT_TRUE(tree.CreateDragImage(a, drag));
    EXPECT_EQ(1, drag.GetImageCount());
    EXPECT_TRUE(drag.BeginDrag(0, {-15, -15}));
    EXPECT_TRUE(CImageList::DragEnter(tree.m_hWnd, {20, 20}));
    EXPECT_TRUE(CImageList::DragMove({30, 30}));
    EXPECT_TRUE(CImageList::DragLeave(tree.m_hWnd));
    CImageList::EndDrag();
    tree.SetImageList(nullptr, TVSIL_NORMAL);
}

TEST_F(TreeTest, LabelEditingThroughTheEditWindowAndEndingItNow) {
    HTREEITEM a = tree.InsertItem(L"Старое имя");
    ::SetFocus(tree.m_hWnd);
    HWND edit = tree.EditLabel(a);
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(edit, tree.GetEditControl());
    std::wstring text = LongText(200, 3); // the editor's own limit is 259 characters
    ::SetWindowTextW(edit, text.c_str());
    EXPECT_TRUE(tree.EndEditLabelNow(FALSE));
    EXPECT_EQ(nullptr, tree.GetEditControl());
    EXPECT_TRUE(host.Heard(TVN_BEGINLABELEDITW));
    EXPECT_TRUE(host.Heard(TVN_ENDLABELEDITW));
    EXPECT_EQ(text, tree.GetItemText(a));
    // Cancelled: the text stays.
    edit = tree.EditLabel(a);
    ASSERT_NE(nullptr, edit);
    ::SetWindowTextW(edit, L"Не то");
    tree.EndEditLabelNow(TRUE);
    EXPECT_EQ(text, tree.GetItemText(a));
}

TEST_F(TreeTest, SortWithACallbackAndRedrawOffAndOn) {
    HTREEITEM root = tree.InsertItem(L"root");
    tree.SetRedraw(FALSE);
    for (int i = 0; i < 50; ++i)
        tree.InsertItem(std::to_wstring(i), 0, 0, root, TVI_LAST, (i * 37) % 50);
    tree.SetRedraw(TRUE);
    EXPECT_TRUE(tree.SortChildren(root, [](LPARAM a, LPARAM b) { return (int)(b - a); }));
    int expect = 49;
    for (HTREEITEM c = tree.GetChildItem(root); c; c = tree.GetNextSiblingItem(c))
        EXPECT_EQ(expect--, tree.GetItemData(c));
    EXPECT_EQ(-1, expect);
}

// ---- image list ----------------------------------------------------------------------------

TEST(ImageList, MaskedBitmapsJoinAnExistingListAndAttachDetachKeepOwnership) {
    CImageList list;
    ASSERT_TRUE(list.Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 2));
    EXPECT_EQ(0, list.GetImageCount());
    HDC screen = ::GetDC(nullptr);
    HBITMAP bm = ::CreateCompatibleBitmap(screen, 32, 16);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(0, list.Add(bm, RGB(255, 0, 255)));
    EXPECT_EQ(2, list.GetImageCount());
    EXPECT_EQ(2, list.AddBitmap(302, RGB(255, 0, 255)));
    EXPECT_EQ(6, list.GetImageCount());
    ::DeleteObject(bm);
    int cx = 0, cy = 0;
    EXPECT_TRUE(list.GetIconSize(cx, cy));
    EXPECT_EQ(16, cx);
    EXPECT_TRUE(list.Remove(0));
    EXPECT_EQ(5, list.GetImageCount());

    // A borrowed list survives its wrapper; a detached one is the caller's.
    HIMAGELIST h = list.Detach();
    EXPECT_EQ(nullptr, list.m_hImageList);
    {
        CImageList borrowed;
        borrowed.Attach(h, FALSE);
        EXPECT_EQ(5, borrowed.GetImageCount());
    }
    EXPECT_EQ(5, ImageList_GetImageCount(h));
    CImageList owner;
    owner.Attach(h);
    CImageList moved(std::move(owner));
    EXPECT_EQ(nullptr, owner.m_hImageList);
    EXPECT_EQ(h, moved.m_hImageList);
}

// ---- list ----------------------------------------------------------------------------------

// A list that sorts by its data and colours every other row.
class CNumberList : public CListCtrl {
public:
    int m_drawnCells = 0;
    int OnCompareItems(LPARAM a, LPARAM b, int column) override {
        return column == 0 ? (int)(a - b) : (int)((a % 7) - (b % 7));
    }
    COLORREF OnGetCellTextColor(int row, int column) override {
        ++m_drawnCells;
        return row % 2 ? RGB(200, 0, 0) : CLR_DEFAULT;
    }
    BOOL OnGetItemTip(int row, int column, std::wstring& text) override {
        text = L"Строка " + std::to_wstring(row) + L": " + LongText(3000, 1);
        return TRUE;
    }
    BOOL CanTrackColumn(int column) override { return GetColumnWidth(column) > 0; }
};

class ListTest : public Controls {
protected:
    CNumberList list;
    void SetUp() override {
        Controls::SetUp();
        ASSERT_TRUE(
            list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, Rect(0, 0, 560, 440), &host, 200));
        list.InsertColumn(0, L"Имя", LVCFMT_LEFT, 120);
        list.InsertColumn(1, L"Путь", LVCFMT_LEFT, 200);
        list.InsertColumn(2, L"Размер", LVCFMT_RIGHT, 80);
    }
    void Fill(int n) {
        list.SetRedraw(FALSE);
        for (int i = 0; i < n; ++i) {
            int d = (i * 13) % n;
            int row = list.InsertItem(i, L"r" + std::to_wstring(d), d);
            list.SetItemText(row, 1, LongText(10 + d, (wchar_t)d));
        }
        list.SetRedraw(TRUE);
    }
};

TEST_F(ListTest, TextsOfAnyLengthComeBackWholeFromItemsAndSubItems) {
    for (size_t n : {0u, 255u, 256u, 1023u, 1024u, 2000u, 4097u}) {
        std::wstring text = LongText(n, (wchar_t)n), sub = LongText(n + 1, 5);
        int row = list.InsertItem(list.GetItemCount(), text);
        ASSERT_GE(row, 0);
        ASSERT_TRUE(list.SetItemText(row, 2, sub));
        EXPECT_EQ(text, list.GetItemText(row, 0)) << n;
        EXPECT_EQ(sub, list.GetItemText(row, 2)) << n;
    }
}

TEST_F(ListTest, ImagesStatesSelectionMarkAndFindByData) {
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 4));
    images.AddBitmap(302, RGB(255, 0, 255));
    list.SetImageList(images, LVSIL_SMALL);
    EXPECT_EQ(LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES,
              (list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP,
                                     LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES),
               list.GetExtendedStyle() & (LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP)));
    // A mask keeps the bits outside it.
    list.SetExtendedStyle(LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    EXPECT_TRUE(list.GetExtendedStyle() & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(list.GetExtendedStyle() & LVS_EX_GRIDLINES);
    list.SetExtendedStyle(LVS_EX_GRIDLINES, 0);
    EXPECT_FALSE(list.GetExtendedStyle() & LVS_EX_GRIDLINES);
    EXPECT_TRUE(list.GetExtendedStyle() & LVS_EX_SUBITEMIMAGES);

    Fill(20);
    list.SetItemImage(3, 0, 2);
    list.SetItemImage(3, 2, 1);
    EXPECT_EQ(2, list.GetItemImage(3, 0));
    EXPECT_EQ(1, list.GetItemImage(3, 2));
    list.SetItemState(4, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(9, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SetSelectionMark(9);
    EXPECT_EQ(9, list.GetSelectionMark());
    EXPECT_EQ(2, list.GetSelectedCount());
    EXPECT_EQ((std::vector<int>{4, 9}), list.GetSelectedItems());
    int row = list.FindItem(13 % 20);
    EXPECT_EQ(1, row);
    EXPECT_EQ(-1, list.FindItem(1000));
    EXPECT_EQ(-1, list.FindItem(list.GetItemData(1), 1)); // from after row 1
    list.SetImageList(nullptr, LVSIL_SMALL);
}

TEST_F(ListTest, SortWithACallbackAndByColumnsWithMarks) {
    Fill(30);
    list.SortItems([](LPARAM a, LPARAM b) { return (int)(b - a); });
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(29 - i, list.GetItemData(i));
    // By column through the compare override, with the header's sort arrow.
    list.EnableMarkSortedColumn();
    list.EnableMultipleSort();
    list.Sort(0, TRUE);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(i, list.GetItemData(i));
    HDITEMW hd = {};
    hd.mask = HDI_FORMAT;
    Header_GetItem(list.GetHeaderCtrl().m_hWnd, 0, &hd);
    EXPECT_TRUE(hd.fmt & HDF_SORTUP);
    // Two keys: data mod 7, then the data descending.
    list.Sort(2, TRUE);
    list.Sort(0, FALSE, TRUE);
    EXPECT_EQ(2, list.GetSortColumn());
    for (int i = 1; i < 30; ++i) {
        LPARAM p = list.GetItemData(i - 1), c = list.GetItemData(i);
        EXPECT_TRUE(p % 7 < c % 7 || (p % 7 == c % 7 && p > c)) << i;
    }
    Header_GetItem(list.GetHeaderCtrl().m_hWnd, 0, &hd);
    EXPECT_TRUE(hd.fmt & HDF_SORTDOWN);
    list.Sort(-1);
    EXPECT_EQ(-1, list.GetSortColumn());
    Header_GetItem(list.GetHeaderCtrl().m_hWnd, 0, &hd);
    EXPECT_FALSE(hd.fmt & (HDF_SORTUP | HDF_SORTDOWN));
    // An exception in a comparison comes out after the control's sort, not through it.
    EXPECT_THROW(list.SortItems([](LPARAM, LPARAM) -> int { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST_F(ListTest, ColumnOrderWidthsHeaderHitTestAndARefusedTrack) {
    EXPECT_EQ(3, list.GetColumnCount());
    EXPECT_EQ(200, list.GetColumnWidth(1));
    EXPECT_TRUE(list.SetColumnWidth(1, 0));
    EXPECT_EQ(0, list.GetColumnWidth(1));
    EXPECT_TRUE(list.SetColumnOrderArray({2, 0, 1}));
    EXPECT_EQ((std::vector<int>{2, 0, 1}), list.GetColumnOrderArray());
    EXPECT_FALSE(list.SetColumnOrderArray({0, 1}));
    CHeaderCtrl& header = list.GetHeaderCtrl();
    EXPECT_EQ(3, header.GetItemCount());
    EXPECT_EQ(L"Размер", header.GetItemText(2));
    RECT r;
    ASSERT_TRUE(header.GetItemRect(0, &r));
    UINT flags = 0;
    EXPECT_EQ(0, header.HitTest({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, &flags));
    EXPECT_TRUE(flags & HHT_ONHEADER);
    // Tracking a hidden column is refused, a visible one allowed.
    NMHEADERW nm = {};
    nm.hdr.hwndFrom = header.m_hWnd;
    nm.hdr.code = HDN_BEGINTRACKW;
    nm.iItem = 1;
    EXPECT_EQ(TRUE, list.SendMessage(WM_NOTIFY, 0, (LPARAM)&nm));
    nm.iItem = 0;
    EXPECT_EQ(FALSE, list.SendMessage(WM_NOTIFY, 0, (LPARAM)&nm));
}

// The notifications a list handles itself come back to it from its parent.
TEST(ListReflection, CustomDrawInfoTipsAndColumnClicks) {
    CHost host;
    ASSERT_TRUE(host.Create());
    CNumberList list;
    RECT rc = {0, 0, 500, 300};
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT, rc, &host, 200));
    list.InsertColumn(0, L"Имя", LVCFMT_LEFT, 100);
    list.InsertColumn(1, L"Путь", LVCFMT_LEFT, 100);
    for (int i = 0; i < 10; ++i)
        list.InsertItem(i, std::to_wstring(9 - i), 9 - i);
    ::UpdateWindow(host.m_hWnd);
    ::RedrawWindow(list.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(list.m_drawnCells, 0);
    EXPECT_FALSE(host.Heard(NM_CUSTOMDRAW)); // the list answered it

    wchar_t buf[80] = L"предложение";
    NMLVGETINFOTIPW tip = {};
    tip.hdr.hwndFrom = list.m_hWnd;
    tip.hdr.idFrom = 200;
    tip.hdr.code = LVN_GETINFOTIPW;
    tip.pszText = buf;
    tip.cchTextMax = 80;
    tip.iItem = 4;
    host.SendMessage(WM_NOTIFY, 200, (LPARAM)&tip);
    EXPECT_EQ(79u, wcslen(buf));
    EXPECT_EQ(0, wcsncmp(buf, L"Строка 4: ", 10));

    NMLISTVIEW click = {};
    click.hdr.hwndFrom = list.m_hWnd;
    click.hdr.idFrom = 200;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = 0;
    host.SendMessage(WM_NOTIFY, 200, (LPARAM)&click);
    EXPECT_EQ(-1, list.GetSortColumn()); // header sorting is off
    EXPECT_TRUE(host.Heard(LVN_COLUMNCLICK));
    list.EnableHeaderSort();
    host.SendMessage(WM_NOTIFY, 200, (LPARAM)&click);
    EXPECT_EQ(0, list.GetSortColumn());
    EXPECT_TRUE(list.IsAscending());
    EXPECT_EQ(0, list.GetItemData(0));
    host.SendMessage(WM_NOTIFY, 200, (LPARAM)&click);
    EXPECT_FALSE(list.IsAscending());
    EXPECT_EQ(9, list.GetItemData(0));
}

// ---- owner data ----------------------------------------------------------------------------

class CRows : public IListRowSource {
public:
    std::vector<std::vector<std::wstring>> rows;
    int GetRowCount() const override { return (int)rows.size(); }
    std::wstring_view GetCellText(int row, int column) const override { return rows[row][column]; }
    int GetCellImage(int row, int column) const override { return column == 0 ? row % 3 : (column == 1 ? 2 : -1); }
    LPARAM GetRowData(int row) const override { return 1000 + row; }
};

TEST(OwnerData, TheListShowsFindsAndSortsTheProgramsRows) {
    CHost host;
    ASSERT_TRUE(host.Create());
    CListCtrl list;
    RECT rc = {0, 0, 500, 300};
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, rc, &host, 201));
    list.SetExtendedStyle(LVS_EX_SUBITEMIMAGES, LVS_EX_SUBITEMIMAGES);
    list.InsertColumn(0, L"Имя", LVCFMT_LEFT, 100);
    list.InsertColumn(1, L"Путь", LVCFMT_LEFT, 300);
    CRows rows;
    const wchar_t* names[] = {L"Вторник", L"понедельник", L"Среда", L"четверг", L"Пятница"};
    for (int i = 0; i < 5; ++i)
        rows.rows.push_back({names[i], LongText(i == 2 ? 2000 : 5 + i, (wchar_t)i)});
    list.SetRowSource(&rows);
    EXPECT_EQ(5, list.GetItemCount());

    // Through the control's own message, which asks the list's parent for the text.
    std::vector<wchar_t> buf(4096);
    LVITEMW it = {};
    it.iSubItem = 1;
    it.pszText = buf.data();
    it.cchTextMax = 4096;
    int n = (int)list.SendMessage(LVM_GETITEMTEXTW, 2, (LPARAM)&it);
    EXPECT_EQ(2000, n);
    EXPECT_EQ(rows.rows[2][1], std::wstring(buf.data()));
    EXPECT_EQ(rows.rows[2][1], list.GetItemText(2, 1));
    LVITEMW img = {};
    img.mask = LVIF_IMAGE;
    img.iItem = 4;
    list.SendMessage(LVM_GETITEMW, 0, (LPARAM)&img);
    EXPECT_EQ(1, img.iImage);
    EXPECT_EQ(2, list.GetItemImage(4, 1));
    EXPECT_EQ(1003, list.GetItemData(3));
    EXPECT_EQ(3, list.FindItem(1003));

    // Type-ahead search by the control: a prefix without regard to case.
    LVFINDINFOW fi = {};
    fi.flags = LVFI_PARTIAL | LVFI_STRING;
    fi.psz = L"ЧЕТ";
    EXPECT_EQ(3, (int)list.SendMessage(LVM_FINDITEMW, (WPARAM)-1, (LPARAM)&fi));

    // Sorting keeps the selection with its row.
    list.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.Sort(0, TRUE);
    std::vector<std::wstring> shown;
    for (int i = 0; i < 5; ++i)
        shown.push_back(list.GetItemText(i, 0));
    EXPECT_EQ((std::vector<std::wstring>{L"Вторник", L"понедельник", L"Пятница", L"Среда", L"четверг"}), shown);
    EXPECT_EQ((std::vector<int>{3}), list.GetSelectedItems());
    EXPECT_EQ(1002, list.GetItemData(3));
    EXPECT_EQ(3, list.FindItem(1002));
    list.Sort(0, FALSE);
    EXPECT_EQ(L"четверг", list.GetItemText(0, 0));
    EXPECT_EQ((std::vector<int>{1}), list.GetSelectedItems());

    // The source changes: the list takes the new count.
    rows.rows.resize(2);
    list.RowSourceChanged();
    EXPECT_EQ(2, list.GetItemCount());
}

// ---- spin, image button, editable list, splitter ------------------------------------------

class CControlsDlg : public CDialog {
public:
    CControlsDlg() : CDialog(400) {}
    CImageButton m_button;
    CSpinButtonCtrl m_spin;
    CEditListBox m_filters;
    CHostFrame m_frame;
    CSplitterWnd m_splitter;
    CTreeCtrl m_tree;
    CListCtrl m_list;
    std::vector<UINT> m_treeCodes;
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_button.SubclassDlgItem(708, this);
        m_button.SetImage(300, 301);
        m_button.SetTooltip(L"Перместить к началу");
        m_spin.SubclassDlgItem(710, this);
        m_spin.SetRange32(1, 32767);
        m_spin.SetPos32(120);
        m_filters.CreateOver(this, 1101);
        m_filters.SetStandardButtons();
        m_filters.AddItem(L"*.exe; *.dll");
        m_filters.AddItem(L"*.sys");
        std::wstring cls =
            RegisterWndClass(CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_ARROW),
                             (HBRUSH)::GetStockObject(WHITE_BRUSH), ::LoadIconW(nullptr, IDI_APPLICATION));
        RECT frame;
        ::GetWindowRect(GetDlgItem(1269), &frame);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&frame), 2);
        m_frame.Create(cls.c_str(), this, frame);
        m_splitter.CreateStatic(&m_frame, 1, 2);
        RECT none = {};
        m_tree.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASLINES | TVS_SHOWSELALWAYS, none, &m_splitter,
                      CSplitterWnd::IdFromRowCol(0, 0));
        m_list.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, none, &m_splitter,
                      CSplitterWnd::IdFromRowCol(0, 1));
        int w = frame.right - frame.left;
        m_splitter.SetColumnInfo(0, std::max(2 * (w / 3), 10), 10);
        m_splitter.SetColumnInfo(1, std::max(w / 3, 10), 10);
        m_frame.SetContent(m_splitter.m_hWnd);
        return TRUE;
    }
    void OnTreeSelChanged(NMHDR*, LRESULT*) { m_treeCodes.push_back(TVN_SELCHANGEDW); }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CControlsDlg, CDialog)
ON_NOTIFY(TVN_SELCHANGEDW, 0xE900, OnTreeSelChanged)
KV_END_MESSAGE_MAP()

void RunControlsDialog(std::function<void(CControlsDlg&)> check) {
    KvTest::CScopedPresenter presenter;
    CControlsDlg dlg;
    bool ran = false;
    presenter.OnDialog(400, [&](CDialog& d) {
        ran = true;
        ::ShowWindow(d.m_hWnd, SW_SHOW);
        ::UpdateWindow(d.m_hWnd);
        check(static_cast<CControlsDlg&>(d));
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(ran);
}

TEST(DialogControls, SpinAndImageButtonWithItsTooltip) {
    RunControlsDialog([](CControlsDlg& d) {
        int lo = 0, hi = 0;
        d.m_spin.GetRange32(lo, hi);
        EXPECT_EQ(1, lo);
        EXPECT_EQ(32767, hi);
        BOOL err = TRUE;
        EXPECT_EQ(120, d.m_spin.GetPos32(&err));
        EXPECT_FALSE(err);
        EXPECT_EQ(L"120", d.GetDlgItemText(709));
        EXPECT_EQ(d.GetDlgItem(709), d.m_spin.GetBuddy());

        EXPECT_TRUE(::GetWindowLongW(d.m_button.m_hWnd, GWL_STYLE) & BS_BITMAP);
        HBITMAP normal = (HBITMAP)d.m_button.SendMessage(BM_GETIMAGE, IMAGE_BITMAP);
        EXPECT_NE(nullptr, normal);
        ASSERT_NE(nullptr, d.m_button.GetTooltipWindow());
        EXPECT_EQ(1, (int)::SendMessageW(d.m_button.GetTooltipWindow(), TTM_GETTOOLCOUNT, 0, 0));
        wchar_t tip[80] = {};
        TTTOOLINFOW ti = {};
        ti.cbSize = sizeof(ti);
        ti.hwnd = d.m_hWnd;
        ti.uId = (UINT_PTR)d.m_button.m_hWnd;
        ti.lpszText = tip;
        ::SendMessageW(d.m_button.GetTooltipWindow(), TTM_GETTEXTW, 80, (LPARAM)&ti);
        EXPECT_EQ(std::wstring(L"Перместить к началу"), tip);
        // Over the button the hot image shows.
        d.m_button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
        EXPECT_TRUE(d.m_button.IsHot());
        EXPECT_NE(normal, (HBITMAP)d.m_button.SendMessage(BM_GETIMAGE, IMAGE_BITMAP));
        d.m_button.SendMessage(WM_MOUSELEAVE);
        EXPECT_EQ(normal, (HBITMAP)d.m_button.SendMessage(BM_GETIMAGE, IMAGE_BITMAP));
    });
}

TEST(DialogControls, EditableListNewDeleteUpDownAndInPlaceEdit) {
    RunControlsDialog([](CControlsDlg& d) {
        CEditListBox& f = d.m_filters;
        EXPECT_EQ(1101, ::GetDlgCtrlID(f.m_hWnd));
        EXPECT_EQ(nullptr, ::FindWindowExW(d.m_hWnd, nullptr, L"Static", L"Фильтры файлов:"));
        auto click = [&](CEditListBox::Button b) {
            HWND h = f.GetButton(b);
            f.SendMessage(WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(h), BN_CLICKED), (LPARAM)h);
        };
        EXPECT_EQ((std::vector<std::wstring>{L"*.exe; *.dll", L"*.sys"}), f.GetItems());
        // New: an empty line in its editor; the typed text stays.
        click(CEditListBox::BtnNew);
        HWND edit = f.GetEditControl();
        ASSERT_NE(nullptr, edit);
        std::wstring longFilter = LongText(2000, 9);
        ::SetWindowTextW(edit, longFilter.c_str());
        f.EndEditItem(TRUE);
        EXPECT_EQ(nullptr, f.GetEditControl());
        EXPECT_EQ((std::vector<std::wstring>{L"*.exe; *.dll", L"*.sys", longFilter}), f.GetItems());
        // New, then cancelled: the line goes again.
        click(CEditListBox::BtnNew);
        ASSERT_NE(nullptr, f.GetEditControl());
        f.EndEditItem(FALSE);
        EXPECT_EQ(3, f.GetCount());
        // Up and down move the selected line; the buttons follow the selection.
        f.SelectItem(2);
        EXPECT_FALSE(::IsWindowEnabled(f.GetButton(CEditListBox::BtnDown)));
        click(CEditListBox::BtnUp);
        EXPECT_EQ(1, f.GetSelItem());
        EXPECT_EQ(longFilter, f.GetItemText(1));
        click(CEditListBox::BtnUp);
        EXPECT_EQ(0, f.GetSelItem());
        EXPECT_FALSE(::IsWindowEnabled(f.GetButton(CEditListBox::BtnUp)));
        click(CEditListBox::BtnDown);
        EXPECT_EQ((std::vector<std::wstring>{L"*.exe; *.dll", longFilter, L"*.sys"}), f.GetItems());
        // In-place edit of an existing line.
        HWND e2 = f.EditItem(2);
        ASSERT_NE(nullptr, e2);
        ::SetWindowTextW(e2, L"*.drv");
        f.EndEditItem(TRUE);
        EXPECT_EQ(L"*.drv", f.GetItemText(2));
        // Delete.
        f.SelectItem(1);
        click(CEditListBox::BtnDelete);
        EXPECT_EQ((std::vector<std::wstring>{L"*.exe; *.dll", L"*.drv"}), f.GetItems());
        EXPECT_EQ(1, f.GetSelItem());
        // Disabled with its window.
        f.EnableWindow(FALSE);
        EXPECT_FALSE(::IsWindowEnabled(f.GetButton(CEditListBox::BtnNew)));
    });
}

// The tooltip window of this thread that has a tool for the child window `control` of `window`.
HWND TooltipOf(HWND window, HWND control) {
    struct Find {
        HWND window, control, tip;
    } find = {window, control, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND h, LPARAM lp) -> BOOL {
            Find* f = reinterpret_cast<Find*>(lp);
            wchar_t cls[64] = {};
            ::GetClassNameW(h, cls, 64);
            TTTOOLINFOW ti = {};
            ti.cbSize = sizeof(ti);
            ti.hwnd = f->window;
            ti.uId = (UINT_PTR)f->control;
            if (!lstrcmpiW(cls, TOOLTIPS_CLASSW) && ::SendMessageW(h, TTM_GETTOOLINFOW, 0, (LPARAM)&ti))
                f->tip = h;
            return f->tip == nullptr;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.tip;
}

TEST(DialogControls, EditableListButtonsNameTheirCommandsInTips) {
    RunControlsDialog([](CControlsDlg& d) {
        CEditListBox& f = d.m_filters;
        HWND tip = TooltipOf(f.m_hWnd, f.GetButton(CEditListBox::BtnNew));
        ASSERT_NE(nullptr, tip);
        const struct {
            CEditListBox::Button button;
            const wchar_t* text;
        } cases[] = {
            {CEditListBox::BtnNew, L"Создать"},
            {CEditListBox::BtnDelete, L"Удалить"},
            {CEditListBox::BtnUp, L"Вверх"},
            {CEditListBox::BtnDown, L"Вниз"},
        };
        EXPECT_EQ(4, (int)::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
        for (const auto& c : cases) {
            wchar_t text[80] = {};
            TTTOOLINFOW ti = {};
            ti.cbSize = sizeof(ti);
            ti.hwnd = f.m_hWnd;
            ti.uId = (UINT_PTR)f.GetButton(c.button);
            ti.lpszText = text;
            ::SendMessageW(tip, TTM_GETTEXTW, 80, (LPARAM)&ti);
            EXPECT_EQ(std::wstring(c.text), text);
        }
    });
}

TEST(DialogControls, SplitterInAHostFramePassesTheTreesNotificationsToTheDialog) {
    RunControlsDialog([](CControlsDlg& d) {
        RECT frame, fr;
        ::GetWindowRect(d.GetDlgItem(1269), &frame);
        d.m_frame.GetWindowRect(&fr);
        EXPECT_TRUE(::EqualRect(&frame, &fr));
        int w = frame.right - frame.left;
        int c0 = 0, c1 = 0, m = 0;
        d.m_splitter.GetColumnInfo(0, c0, m);
        d.m_splitter.GetColumnInfo(1, c1, m);
        EXPECT_EQ(2 * (w / 3), c0);
        EXPECT_EQ(w - c0 - CSplitterWnd::kBar, c1);
        RECT tr, lr;
        d.m_tree.GetWindowRect(&tr);
        d.m_list.GetWindowRect(&lr);
        EXPECT_EQ(c0, tr.right - tr.left);
        EXPECT_EQ(tr.right + CSplitterWnd::kBar, lr.left);
        EXPECT_EQ(d.m_splitter.GetPane(0, 0), d.m_tree.m_hWnd);
        // Dragging the bar.
        POINT bar = {c0 + 2, 20};
        d.m_splitter.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bar.x, bar.y));
        d.m_splitter.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(bar.x - 30, bar.y));
        d.m_splitter.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(bar.x - 30, bar.y));
        d.m_splitter.GetColumnInfo(0, c0, m);
        EXPECT_EQ(2 * (w / 3) - 30, c0);
        // A selection in the tree reaches the dialog's map.
        HTREEITEM a = d.m_tree.InsertItem(L"Устройство");
        d.m_tree.SelectItem(a);
        EXPECT_EQ(1u, d.m_treeCodes.size());
    });
}

// ---- toolbar, wait cursor ------------------------------------------------------------------

TEST_F(Controls, ToolbarButtonsWithText) {
    CToolBar bar;
    ASSERT_TRUE(bar.Create(&host, 0xE800));
    const UINT ids[] = {300, 0, 301};
    ASSERT_TRUE(bar.SetButtons(ids, 3, 302, 16, 16, RGB(255, 0, 255)));
    RECT before;
    bar.SendMessage(TB_GETITEMRECT, 2, (LPARAM)&before);
    EXPECT_TRUE(bar.SetButtonText(301, L"Сохранить"));
    EXPECT_EQ(L"Сохранить", bar.GetButtonText(301));
    EXPECT_EQ(L"", bar.GetButtonText(300));
    RECT after;
    bar.SendMessage(TB_GETITEMRECT, 2, (LPARAM)&after);
    EXPECT_GT(after.right - after.left, before.right - before.left);
}

// A frame with a toolbar of its own and one in a pane: idle updates keep both in step.
class CBarsFrame : public CFrameWnd {
public:
    BOOL m_canSave = FALSE;
    void OnOpen() {}
    void OnSave() {}
    void OnUpdateSave(CCmdUI* ui) { ui->Enable(m_canSave); }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CBarsFrame, CFrameWnd)
ON_COMMAND(300, OnOpen)
ON_COMMAND(301, OnSave)
ON_UPDATE_COMMAND_UI(301, OnUpdateSave)
KV_END_MESSAGE_MAP()

TEST(Frame, EveryToolbarIsKeptUpToDateWhenIdle) {
    CBarsFrame* f = new CBarsFrame;
    f->m_bAutoDelete = FALSE;
    ASSERT_TRUE(f->CreateEx(0, DefaultWndClass(), L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr));
    CToolBar main, pane;
    ASSERT_TRUE(main.Create(f, 0xE800));
    ASSERT_TRUE(pane.Create(f, 155));
    const UINT ids[] = {300, 301, 302};
    ASSERT_TRUE(main.SetButtons(ids, 3, 0, 16, 16, RGB(255, 0, 255)));
    ASSERT_TRUE(pane.SetButtons(ids, 3, 0, 16, 16, RGB(255, 0, 255)));
    f->m_pToolBar = &main;
    f->AddControlBar(&pane);
    f->AddControlBar(&pane); // once only
    f->OnIdleUpdateCmdUI();
    for (CToolBar* b : {&main, &pane}) {
        EXPECT_TRUE(b->IsButtonEnabled(300));
        EXPECT_FALSE(b->IsButtonEnabled(301));
        EXPECT_FALSE(b->IsButtonEnabled(302)); // no handler
    }
    f->m_canSave = TRUE;
    f->OnIdleUpdateCmdUI();
    EXPECT_TRUE(main.IsButtonEnabled(301));
    EXPECT_TRUE(pane.IsButtonEnabled(301));
    f->RemoveControlBar(&pane);
    f->m_canSave = FALSE;
    f->OnIdleUpdateCmdUI();
    EXPECT_FALSE(main.IsButtonEnabled(301));
    EXPECT_TRUE(pane.IsButtonEnabled(301));
    f->DestroyWindow();
    delete f;
}

TEST_F(Controls, PropertyListWithReadOnlyTextsAndGroupRows) {
    CPropList list;
    ASSERT_TRUE(list.Create(WS_VISIBLE, Rect(0, 0, 400, 300), &host, 0xE901));
    list.SetHeaders(L"Параметр", L"Значение");
    list.AddProperty(CProp::MakeText(L"Группа", L"Компьютер"));
    auto basic = CProp::MakeGroup(L"Основные");
    basic->AddSubItem(CProp::MakeText(L"Type", L"1"));
    std::wstring longValue = LongText(2000, 2);
    basic->AddSubItem(CProp::MakeText(L"Manufacturer", longValue));
    auto system = CProp::MakeGroup(L"Системные");
    system->AddSubItem(CProp::MakeText(L"Handle", L"0x0001"));
    EXPECT_EQ(1, list.AddProperty(std::move(basic)));
    EXPECT_EQ(4, list.AddProperty(std::move(system)));
    ASSERT_EQ(6, list.GetPropertyCount());
    EXPECT_EQ(CProp::Group, list.GetProperty(1)->GetKind());
    EXPECT_EQ(2, list.GetProperty(1)->GetSubItemsCount());
    EXPECT_EQ(L"Manufacturer", list.GetProperty(3)->GetName());
    EXPECT_EQ(longValue, list.GetProperty(3)->ValueText(list));
    // Read-only: no editor opens, the row is only selected.
    EXPECT_FALSE(list.EditItem(3));
    EXPECT_FALSE(list.IsEditing());
    EXPECT_EQ(3, list.GetCurSel());
    EXPECT_FALSE(list.EditItem(1));
    ::UpdateWindow(host.m_hWnd);
    list.RemoveAll();
    EXPECT_EQ(0, list.GetPropertyCount());
    EXPECT_EQ(-1, list.GetCurSel());
}

TEST(WaitCursor, NestedObjectsKeepTheWaitCursorUntilTheLastEnds) {
    HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT);
    EXPECT_FALSE(CWaitCursor::IsWaiting());
    {
        CWaitCursor outer;
        EXPECT_TRUE(CWaitCursor::IsWaiting());
        EXPECT_EQ(wait, ::GetCursor());
        {
            CWaitCursor inner;
            ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            EXPECT_TRUE(CWaitCursor::OnSetCursor());
            EXPECT_EQ(wait, ::GetCursor());
        }
        EXPECT_TRUE(CWaitCursor::IsWaiting());
    }
    EXPECT_FALSE(CWaitCursor::IsWaiting());
    EXPECT_FALSE(CWaitCursor::OnSetCursor());
}

// A window of the layer with a cursor of its own.
class CHandWnd : public CWnd {
protected:
    BOOL OnSetCursor(HWND, UINT, UINT) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CHandWnd, CWnd)
ON_WM_SETCURSOR()
KV_END_MESSAGE_MAP()

class CBusyFrame : public CFrameWnd {
public:
    CBusyFrame() { m_bAutoDelete = FALSE; }
};

HCURSOR Cursor(const wchar_t* id) { return ::LoadCursorW(nullptr, id); }

POINT Centre(HWND h) {
    RECT r;
    ::GetWindowRect(h, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

POINT ScreenPoint(HWND h, int x, int y) {
    POINT pt = {x, y};
    ::ClientToScreen(h, &pt);
    return pt;
}

using KvTest::CursorAt;

TEST(WaitCursor, BusyWindowsShowItOverTheirOwnCursorsAndTheirOwnAgainAfterwards) {
    CBusyFrame frame;
    ASSERT_TRUE(
        frame.CreateEx(0, nullptr, L"занят", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr));
    // A dock pane with an edit of the layer, a splitter as the view with an edit of no object and a
    // window of its own cursor in its panes.
    CDockPane pane;
    ASSERT_TRUE(pane.Create(L"Структура", &frame, 32772, CDockPane::Left, 250));
    CEdit content;
    ASSERT_TRUE(content.SubclassWindow(
        ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, pane.m_hWnd, nullptr, nullptr, nullptr)));
    pane.SetContent(content.m_hWnd);
    CSplitterWnd splitter;
    ASSERT_TRUE(splitter.CreateStatic(&frame, 1, 2));
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, splitter.m_hWnd,
                                  (HMENU)(UINT_PTR)CSplitterWnd::IdFromRowCol(0, 0), nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    CHandWnd hand;
    ASSERT_TRUE(hand.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, splitter.m_hWnd,
                              (HMENU)(UINT_PTR)CSplitterWnd::IdFromRowCol(0, 1)));
    splitter.SetColumnInfo(0, 200, 10);
    splitter.SetColumnInfo(1, 200, 10);
    frame.RecalcLayout();
    splitter.RecalcLayout();
    int column = 0, minimum = 0;
    splitter.GetColumnInfo(0, column, minimum);
    RECT split, side;
    splitter.GetClientRect(&split);
    pane.GetClientRect(&side);
    const struct {
        const char* name;
        HWND window;
        POINT at;
        UINT hit;
        HCURSOR own;
    } rows[] = {
        {"the frame's client area", frame.m_hWnd, Centre(frame.m_hWnd), HTCLIENT, Cursor(IDC_ARROW)},
        {"the frame's left border", frame.m_hWnd, Centre(frame.m_hWnd), HTLEFT, Cursor(IDC_SIZEWE)},
        {"an edit of no object (its parent answers)", edit, Centre(edit), HTCLIENT, Cursor(IDC_IBEAM)},
        {"an edit of the layer", content.m_hWnd, Centre(content.m_hWnd), HTCLIENT, Cursor(IDC_IBEAM)},
        {"a window with its own cursor", hand.m_hWnd, Centre(hand.m_hWnd), HTCLIENT, Cursor(IDC_HAND)},
        {"the splitter's bar", splitter.m_hWnd,
         ScreenPoint(splitter.m_hWnd, column + CSplitterWnd::kBar / 2, split.bottom / 2), HTCLIENT, Cursor(IDC_SIZEWE)},
        {"the dock pane's edge", pane.m_hWnd, ScreenPoint(pane.m_hWnd, side.right - 1, side.bottom / 2), HTCLIENT,
         Cursor(IDC_SIZEWE)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        {
            CWaitCursor wait;
            EXPECT_EQ(Cursor(IDC_WAIT), CursorAt(row.window, row.at, row.hit));
            {
                CWaitCursor nested;
                EXPECT_EQ(Cursor(IDC_WAIT), CursorAt(row.window, row.at, row.hit));
            }
            EXPECT_EQ(Cursor(IDC_WAIT), CursorAt(row.window, row.at, row.hit)) << "the outer wait still holds";
        }
        EXPECT_EQ(row.own, CursorAt(row.window, row.at, row.hit));
    }
    ::SetCursorPos(0, 0);
    frame.DestroyWindow();
}

TEST(WaitCursor, ProgressWindowOpenedDuringTheWaitShowsTheArrowAndItsCancelTakesAClick) {
    KV_SKIP_THREADS_IF_EMULATED();
    CWnd owner;
    ASSERT_TRUE(
        owner.CreateEx(0, nullptr, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 400, nullptr, nullptr));
    CWaitCursor wait; // the owner's command is busy while its work runs
    CProgressDialog dlg(owner.m_hWnd, L"Проверка ресурсов");
    HCURSOR overWindow = nullptr, overCancel = nullptr, overOwner = nullptr, clickOnOwner = nullptr;
    HCURSOR overWindowNested = nullptr, overWindowAfterNested = nullptr;
    bool clicked = false;
    auto person = [&] {
        HWND w = dlg.m_hWnd, cancel = ::GetDlgItem(w, IDCANCEL);
        overWindow = CursorAt(w, Centre(w));
        overCancel = CursorAt(cancel, Centre(cancel));
        overOwner = CursorAt(owner.m_hWnd, Centre(owner.m_hWnd), (UINT)HTERROR);
        clickOnOwner = CursorAt(owner.m_hWnd, Centre(owner.m_hWnd), (UINT)HTERROR, WM_LBUTTONDOWN);
        {
            // A wait begun while the progress window shows covers it as well.
            CWaitCursor nested;
            overWindowNested = CursorAt(w, Centre(w));
        }
        overWindowAfterNested = CursorAt(w, Centre(w));
        clicked = KvTest::Click(cancel);
    };
    bool cancelled = false;
    CProgressDialog::Result result = dlg.Run([&](CProgressSink& sink) {
        PostCall(dlg.m_hWnd, person);
        cancelled = KvTest::WaitUntil([&] { return sink.IsCancelled(); });
    });
    EXPECT_EQ(Cursor(IDC_ARROW), overWindow);
    EXPECT_EQ(Cursor(IDC_ARROW), overCancel);
    EXPECT_EQ(Cursor(IDC_WAIT), overOwner) << "the busy owner, disabled under the progress window";
    EXPECT_EQ(Cursor(IDC_WAIT), clickOnOwner);
    EXPECT_EQ(Cursor(IDC_WAIT), overWindowNested);
    EXPECT_EQ(Cursor(IDC_ARROW), overWindowAfterNested);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(CProgressDialog::Cancelled, result);
    EXPECT_EQ(Cursor(IDC_WAIT), CursorAt(owner.m_hWnd, Centre(owner.m_hWnd))) << "still busy after the run";
    ::SetCursorPos(0, 0);
    owner.DestroyWindow();
}

TEST(WaitCursor, DialogOpenedDuringTheWaitKeepsItsOwnCursors) {
    CWaitCursor wait;
    RunControlsDialog([](CControlsDlg& d) {
        EXPECT_EQ(Cursor(IDC_ARROW), CursorAt(d.m_hWnd, Centre(d.m_hWnd)));
        HWND edit = d.GetDlgItem(709);
        EXPECT_EQ(Cursor(IDC_IBEAM), CursorAt(edit, Centre(edit)));
        int column = 0, minimum = 0;
        d.m_splitter.GetColumnInfo(0, column, minimum);
        RECT split;
        d.m_splitter.GetClientRect(&split);
        POINT bar = ScreenPoint(d.m_splitter.m_hWnd, column + CSplitterWnd::kBar / 2, split.bottom / 2);
        EXPECT_EQ(Cursor(IDC_SIZEWE), CursorAt(d.m_splitter.m_hWnd, bar));
    });
    ::SetCursorPos(0, 0);
}

} // namespace
