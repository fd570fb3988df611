// Tests of the resizable dialog base and the tri-state tree, as real windows.
#include <gtest/gtest.h>

#include "kvpresenter.h"

#include "ResizeDialog.h"
#include "TreeCtrlEx.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace KvUi;

namespace {

const int g_init = (::InitCommonControls(), 0);

RECT ClientRectOf(HWND dlg, int id) {
    RECT rc = {};
    HWND h = ::GetDlgItem(dlg, id);
    ::GetWindowRect(h, &rc);
    ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

SIZE WindowSize(HWND h) {
    RECT rc;
    ::GetWindowRect(h, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

SIZE ClientSize(HWND h) {
    RECT rc;
    ::GetClientRect(h, &rc);
    return {rc.right, rc.bottom};
}

void Resize(HWND h, int cx, int cy) {
    ::SetWindowPos(h, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class CTestResizeDlg : public ResizeDialog {
public:
    CTestResizeDlg(UINT id, std::vector<ResizeLayoutEntry> defs) : ResizeDialog(id), m_defs(std::move(defs)) {}
    void DefineLayout(std::vector<ResizeLayoutEntry>& defs) override {
        for (const auto& d : m_defs)
            defs.push_back(d);
    }
    std::vector<ResizeLayoutEntry> m_defs;
};

// Runs the dialog modally; the check runs while it is up, then it ends with OK.
void RunDialog(CTestResizeDlg& dlg, std::function<void(CTestResizeDlg&)> check) {
    KvTest::CScopedPresenter presenter;
    bool ran = false;
    presenter.OnDialog(dlg.m_nIDTemplate, [&](CDialog& d) {
        ran = true;
        check(static_cast<CTestResizeDlg&>(d));
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(ran);
}

std::vector<ResizeLayoutEntry> PickerLayout() {
    return {{1269, 0x03, {}}, {IDOK, 0x0C, {}}, {IDCANCEL, 0x0C, {}}, {4711, 0x03, {}} /* no such control */};
}

TEST(ResizeDialog, BecomesResizableWithAHiddenGripThatItShowsAndMinimumOfTheTemplate) {
    CTestResizeDlg dlg(7100, PickerLayout());
    RunDialog(dlg, [](CTestResizeDlg& d) {
        HWND h = d.m_hWnd;
        LONG style = ::GetWindowLongW(h, GWL_STYLE);
        EXPECT_TRUE(style & WS_THICKFRAME);
        EXPECT_TRUE(style & WS_CLIPCHILDREN);
        EXPECT_FALSE(style & DS_MODALFRAME);
        EXPECT_FALSE(::GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
        // The grip: created by this dialog, refusing input, in the bottom-right corner.
        HWND grip = ::GetDlgItem(h, Gripper::kId);
        ASSERT_NE(nullptr, grip);
        EXPECT_TRUE(d.GetGripper().IsCreated());
        EXPECT_FALSE(::IsWindowEnabled(grip));
        RECT g = ClientRectOf(h, Gripper::kId);
        SIZE c = ClientSize(h);
        EXPECT_EQ(c.cx, g.right);
        EXPECT_EQ(c.cy, g.bottom);
        // Three entries: the missing control is left out.
        ASSERT_EQ(3u, d.GetEntries().size());
        SIZE w = WindowSize(h);
        EXPECT_EQ(w.cx, d.GetMinTrackSize().cx);
        EXPECT_EQ(w.cy, d.GetMinTrackSize().cy);
        EXPECT_EQ(c.cx, d.GetReferenceSize().cx);
        EXPECT_EQ(c.cy, d.GetReferenceSize().cy);
    });
}

TEST(ResizeDialog, GrowingStretchesTheFrameAndMovesTheButtonsAndShrinkingBelowTheTemplateIsRefused) {
    CTestResizeDlg dlg(7100, PickerLayout());
    RunDialog(dlg, [](CTestResizeDlg& d) {
        HWND h = d.m_hWnd;
        RECT frame0 = ClientRectOf(h, 1269), ok0 = ClientRectOf(h, IDOK), cancel0 = ClientRectOf(h, IDCANCEL);
        RECT label0 = ClientRectOf(h, 1265);
        SIZE w0 = WindowSize(h), c0 = ClientSize(h);

        Resize(h, w0.cx + 120, w0.cy + 70);
        SIZE c1 = ClientSize(h);
        int dx = c1.cx - c0.cx, dy = c1.cy - c0.cy;
        EXPECT_EQ(120, dx);
        EXPECT_EQ(70, dy);
        RECT frame = ClientRectOf(h, 1269), ok = ClientRectOf(h, IDOK), cancel = ClientRectOf(h, IDCANCEL);
        EXPECT_EQ(frame0.left, frame.left);
        EXPECT_EQ(frame0.top, frame.top);
        EXPECT_EQ(frame0.right + dx, frame.right);
        EXPECT_EQ(frame0.bottom + dy, frame.bottom);
        EXPECT_EQ(ok0.left + dx, ok.left);
        EXPECT_EQ(ok0.top + dy, ok.top);
        EXPECT_EQ(ok0.right - ok0.left, ok.right - ok.left);
        EXPECT_EQ(cancel0.left + dx, cancel.left);
        EXPECT_EQ(cancel0.bottom + dy, cancel.bottom);
        // A control without an entry stays.
        RECT label = ClientRectOf(h, 1265);
        EXPECT_EQ(label0.right, label.right);
        // The grip follows the corner.
        RECT g = ClientRectOf(h, Gripper::kId);
        EXPECT_EQ(c1.cx, g.right);
        EXPECT_EQ(c1.cy, g.bottom);

        // Smaller than the template: the window stops at the template's size and the controls
        // return to where the template put them.
        Resize(h, w0.cx - 100, w0.cy - 60);
        SIZE w2 = WindowSize(h);
        EXPECT_EQ(w0.cx, w2.cx);
        EXPECT_EQ(w0.cy, w2.cy);
        frame = ClientRectOf(h, 1269);
        ok = ClientRectOf(h, IDOK);
        EXPECT_TRUE(EqualRect(&frame0, &frame));
        EXPECT_TRUE(EqualRect(&ok0, &ok));
    });
}

TEST(ResizeDialog, MaximiseHidesTheGripRestoreShowsItMinimiseLeavesTheControls) {
    CTestResizeDlg dlg(7100, PickerLayout());
    RunDialog(dlg, [](CTestResizeDlg& d) {
        HWND h = d.m_hWnd;
        ::ShowWindow(h, SW_SHOW);
        HWND grip = ::GetDlgItem(h, Gripper::kId);
        RECT frame0 = ClientRectOf(h, 1269), ok0 = ClientRectOf(h, IDOK);
        SIZE c0 = ClientSize(h);
        EXPECT_TRUE(::IsWindowVisible(grip));

        ::ShowWindow(h, SW_MAXIMIZE);
        EXPECT_TRUE(::IsZoomed(h));
        EXPECT_FALSE(::IsWindowVisible(grip));
        SIZE cm = ClientSize(h);
        RECT frame = ClientRectOf(h, 1269), ok = ClientRectOf(h, IDOK);
        EXPECT_EQ(frame0.right + (cm.cx - c0.cx), frame.right);
        EXPECT_EQ(frame0.bottom + (cm.cy - c0.cy), frame.bottom);
        EXPECT_EQ(ok0.left + (cm.cx - c0.cx), ok.left);

        ::ShowWindow(h, SW_RESTORE);
        EXPECT_FALSE(::IsZoomed(h));
        EXPECT_TRUE(::IsWindowVisible(grip));
        frame = ClientRectOf(h, 1269);
        EXPECT_TRUE(EqualRect(&frame0, &frame));

        ::ShowWindow(h, SW_MINIMIZE);
        EXPECT_TRUE(::IsIconic(h));
        frame = ClientRectOf(h, 1269);
        ok = ClientRectOf(h, IDOK);
        EXPECT_TRUE(EqualRect(&frame0, &frame));
        EXPECT_TRUE(EqualRect(&ok0, &ok));
        ::ShowWindow(h, SW_RESTORE);
        frame = ClientRectOf(h, 1269);
        EXPECT_TRUE(EqualRect(&frame0, &frame));
    });
}

TEST(ResizeDialog, ProportionalGroupsCombinedAnchorsAndAGroupOfNoSize) {
    const DWORD B = ResizeLayout::GroupBegin, E = ResizeLayout::GroupEnd;
    CTestResizeDlg dlg(7101, {
                                 {-1, B, {}},
                                 {1301, 0x01, {}},
                                 {1302, 0x01, {}},
                                 {-1, E, {}},      // side by side
                                 {1303, 0x05, {}}, // stretch and move
                                 {-1, B, {}},
                                 {1304, 0x03, {}},
                                 {-1, E, {}}, // a group of no size
                                 {-1, B, {}},
                                 {-1, E, {}},      // an empty group
                                 {1305, 0x1F, {}}, // everything at once
                                 {1306, 0x0A, {}}, // stretch and move down
                             });
    RunDialog(dlg, [](CTestResizeDlg& d) {
        HWND h = d.m_hWnd;
        const auto& entries = d.GetEntries();
        ASSERT_EQ(6u, entries.size());
        EXPECT_EQ(0x1000u | (2u << 16) | 0x01u, entries[0].nAnchor);
        EXPECT_EQ(0x01u, entries[1].nAnchor);
        EXPECT_EQ(0x1000u | (1u << 16) | 0x03u, entries[3].nAnchor);

        RECT a0 = ClientRectOf(h, 1301), b0 = ClientRectOf(h, 1302), c0 = ClientRectOf(h, 1303);
        RECT z0 = ClientRectOf(h, 1304), g0 = ClientRectOf(h, 1305), e0 = ClientRectOf(h, 1306);
        SIZE s0 = ClientSize(h), w0 = WindowSize(h);
        Resize(h, w0.cx + 150, w0.cy + 40);
        SIZE s1 = ClientSize(h);
        int dx = s1.cx - s0.cx, dy = s1.cy - s0.cy;
        RECT a = ClientRectOf(h, 1301), b = ClientRectOf(h, 1302), c = ClientRectOf(h, 1303);
        RECT z = ClientRectOf(h, 1304), g = ClientRectOf(h, 1305), e = ClientRectOf(h, 1306);

        // The group spans from a's left to b's right; both widen in proportion, the gap stays.
        int gW = b0.right - a0.left, nW = gW + dx;
        EXPECT_EQ(a0.left, a.left);
        EXPECT_EQ(a0.left + MulDiv(b0.left - a0.left, nW, gW) - (b0.left - a0.right), a.right);
        EXPECT_EQ(a0.left + MulDiv(b0.left - a0.left, nW, gW), b.left);
        EXPECT_EQ(a0.left + nW, b.right);
        EXPECT_EQ(b0.left - a0.right, b.left - a.right);
        EXPECT_GT(a.right - a.left, a0.right - a0.left);
        // Stretch and move together: the control moves with the right edge, keeps its width.
        EXPECT_EQ(c0.right + dx, c.right);
        EXPECT_EQ(c0.right - c0.left, c.right - c.left);
        // A group of no size grows by the window's growth, no division, no jump.
        EXPECT_EQ(z0.left, z.left);
        EXPECT_EQ(z0.top, z.top);
        EXPECT_EQ(z0.right + dx, z.right);
        EXPECT_EQ(z0.bottom + dy, z.bottom);
        // All bits: moves and keeps its size on both axes.
        EXPECT_EQ(g0.left + dx, g.left);
        EXPECT_EQ(g0.top + dy, g.top);
        EXPECT_EQ(g0.right - g0.left, g.right - g.left);
        // Vertical stretch and move: moves down, keeps its height.
        EXPECT_EQ(e0.top + dy, e.top);
        EXPECT_EQ(e0.bottom - e0.top, e.bottom - e.top);
        EXPECT_EQ(e0.left, e.left);
    });
}

TEST(ResizeDialog, EraseLeavesOpaqueControlsAloneAndPaintsOverFramesAndGroupBoxes) {
    CTestResizeDlg dlg(7101, {{1301, 0x01, {}}, {1305, 0x01, {}}, {1304, 0x01, {}}});
    RunDialog(dlg, [](CTestResizeDlg& d) {
        HWND h = d.m_hWnd;
        ::ShowWindow(h, SW_SHOW);
        ::UpdateWindow(h);
        HDC dc = ::GetDC(h);
        ::SendMessageW(h, WM_ERASEBKGND, (WPARAM)dc, 0);
        // The clip region the erase used is gone again.
        HRGN r = ::CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(0, ::GetClipRgn(dc, r));
        ::DeleteObject(r);
        ::ReleaseDC(h, dc);
        // A context with a clip region gets it back.
        dc = ::GetDC(h);
        HRGN clip = ::CreateRectRgn(0, 0, 50, 50);
        ::SelectClipRgn(dc, clip);
        ::SendMessageW(h, WM_ERASEBKGND, (WPARAM)dc, 0);
        HRGN after = ::CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(1, ::GetClipRgn(dc, after));
        EXPECT_TRUE(::EqualRgn(clip, after));
        ::DeleteObject(after);
        ::DeleteObject(clip);
        ::ReleaseDC(h, dc);
    });
}

// What the erase paints: the client is filled with a colour of the test through a context of the
// dialog that does not leave out its children, then erased: the opaque controls (edit, list) keep
// the colour, the frame and the group box and the free client are painted over.
TEST(ResizeDialog, ErasePaintsOverFramesAndGroupBoxesButNotOverOpaqueControls) {
    CTestResizeDlg dlg(7102, {{1301, 0x03, {}}, {1302, 0x01, {}}, {1304, 0x01, {}}, {1305, 0x03, {}}});
    RunDialog(dlg, [](CTestResizeDlg& d) {
        HWND h = d.m_hWnd;
        ::SetWindowPos(h, HWND_TOPMOST, 10, 10, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        ::UpdateWindow(h);
        auto center = [&](int id) {
            RECT rc;
            ::GetWindowRect(d.GetDlgItem(id), &rc);
            ::MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&rc), 2);
            return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        };
        const COLORREF mark = RGB(250, 10, 130);
        HDC dc = ::GetDCEx(h, nullptr, DCX_CACHE); // children not left out
        ASSERT_EQ(h, ::WindowFromDC(dc));
        RECT client;
        ::GetClientRect(h, &client);
        HBRUSH brush = ::CreateSolidBrush(mark);
        ::FillRect(dc, &client, brush);
        ::DeleteObject(brush);
        ::SendMessageW(h, WM_ERASEBKGND, (WPARAM)dc, 0);
        ::GdiFlush();
        struct Case {
            int id;
            bool keeps;
        };
        for (const Case& c : {Case{1301, true}, Case{1302, true}, Case{1304, false}, Case{1305, false}}) {
            POINT p = center(c.id);
            EXPECT_EQ(c.keeps, ::GetPixel(dc, p.x, p.y) == mark) << c.id;
        }
        EXPECT_NE(mark, ::GetPixel(dc, client.right - 3, 3)); // the free client
        ::ReleaseDC(h, dc);
    });
}

// ---- tri-state tree ------------------------------------------------------------------------

// A top-level window that hands the tree its own notifications and records what it hears.
class CTreeHost : public CWnd {
public:
    CTreeCtrlEx* m_pTree = nullptr;
    std::vector<std::pair<UINT, HTREEITEM>> m_heard;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override {
        if (ReflectToControl(m_hWnd, WM_NOTIFY, wp, lp, pResult))
            return TRUE;
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->code == TVN_SELCHANGEDW)
            m_heard.push_back({hdr->code, reinterpret_cast<NMTREEVIEWW*>(hdr)->itemNew.hItem});
        if (hdr->code == NM_CLICK)
            m_heard.push_back({hdr->code, nullptr}); // the tree took it: never heard here
        return CWnd::OnNotify(wp, lp, pResult);
    }
};

class TriStateTree : public ::testing::Test {
protected:
    CTreeHost host;
    CTreeCtrlEx tree;
    std::map<std::wstring, HTREEITEM> item;

    void SetUp() override {
        ASSERT_TRUE(host.CreateEx(0, DefaultWndClass(), L"tree", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400,
                                  nullptr, nullptr));
        host.m_pTree = &tree;
        RECT rc = {0, 0, 380, 360};
        ASSERT_TRUE(
            tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_CHECKBOXES | TVS_SHOWSELALWAYS, rc,
                        &host, 59648));
        // R { A { A1, A2, A3 locked unchecked }, B { B1 locked checked, B2 }, C, E { E1 without image } }
        Add(L"R", nullptr, 0x1000);
        Add(L"A", L"R", 0x1000);
        Add(L"A1", L"A", 0x1000);
        Add(L"A2", L"A", 0x1000);
        Add(L"A3", L"A", 0x3000);
        Add(L"B", L"R", 0x5000);
        Add(L"B1", L"B", 0x4000);
        Add(L"B2", L"B", 0x1000);
        Add(L"C", L"R", 0x1000);
        Add(L"E", L"R", 0x1000);
        Add(L"E1", L"E", 0x0000);
        for (auto& i : item)
            tree.Expand(i.second, TVE_EXPAND);
        tree.SetStateImage(item[L"R"], 5);
    }
    void Add(const wchar_t* name, const wchar_t* parent, UINT state) {
        // Inserted with its state image, as the pickers insert their items.
        TVINSERTSTRUCTW is = {};
        is.hParent = parent ? item[parent] : TVI_ROOT;
        is.hInsertAfter = TVI_LAST;
        is.item.mask = TVIF_TEXT | TVIF_STATE;
        is.item.pszText = const_cast<wchar_t*>(name);
        is.item.state = state;
        is.item.stateMask = TVIS_STATEIMAGEMASK;
        HTREEITEM h = tree.InsertItem(is);
        // With check boxes the control gives a new item the unchecked image: take it off again.
        if (state == 0)
            tree.SetItemState(h, 0, TVIS_STATEIMAGEMASK);
        item[name] = h;
    }
    std::wstring States() {
        std::wstring s;
        for (const wchar_t* n : {L"R", L"A", L"A1", L"A2", L"A3", L"B", L"B1", L"B2", L"C", L"E", L"E1"}) {
            s += n;
            s += L"=" + std::to_wstring(tree.GetStateImage(item[n])) + L" ";
        }
        return s;
    }
};

TEST_F(TriStateTree, TogglesGiveTheExpectedImagesForEveryItem) {
    struct Case {
        std::vector<const wchar_t*> toggles;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {{}, L"R=5 A=1 A1=1 A2=1 A3=3 B=5 B1=4 B2=1 C=1 E=1 E1=0 "},
        // A leaf: its parent becomes partial.
        {{L"A1"}, L"R=5 A=5 A1=2 A2=1 A3=3 B=5 B1=4 B2=1 C=1 E=1 E1=0 "},
        // The last free leaf of B: B is checked with its locked checked child.
        {{L"B2"}, L"R=5 A=1 A1=1 A2=1 A3=3 B=2 B1=4 B2=2 C=1 E=1 E1=0 "},
        // A parent with free unchecked children checks them; the locked one keeps its image.
        {{L"A"}, L"R=5 A=5 A1=2 A2=2 A3=3 B=5 B1=4 B2=1 C=1 E=1 E1=0 "},
        // Again: no free unchecked child is left, so the subtree is cleared.
        {{L"A", L"A"}, L"R=5 A=1 A1=1 A2=1 A3=3 B=5 B1=4 B2=1 C=1 E=1 E1=0 "},
        // The root: everything free is checked; partial where a locked unchecked item is below.
        {{L"R"}, L"R=5 A=5 A1=2 A2=2 A3=3 B=2 B1=4 B2=2 C=2 E=2 E1=2 "},
        // Again: no free unchecked child; B stays partial over its locked checked child.
        {{L"R", L"R"}, L"R=5 A=1 A1=1 A2=1 A3=3 B=5 B1=4 B2=1 C=1 E=1 E1=1 "},
        // Locked items do not change.
        {{L"A3", L"B1"}, L"R=5 A=1 A1=1 A2=1 A3=3 B=5 B1=4 B2=1 C=1 E=1 E1=0 "},
        // A parent whose only child has no image counts it as unchecked.
        {{L"E"}, L"R=5 A=1 A1=1 A2=1 A3=3 B=5 B1=4 B2=1 C=1 E=2 E1=2 "},
    };
    std::map<std::wstring, UINT> initial;
    for (auto& i : item)
        initial[i.first] = tree.GetItemState(i.second, TVIS_STATEIMAGEMASK);
    for (const Case& c : cases) {
        for (auto& i : item)
            tree.SetItemState(i.second, initial[i.first], TVIS_STATEIMAGEMASK);
        std::wstring what;
        for (const wchar_t* t : c.toggles) {
            tree.ToggleCheck(item[t]);
            what += std::wstring(t) + L" ";
        }
        EXPECT_EQ(std::wstring(c.expected), States()) << "toggles: " << std::string(what.begin(), what.end());
    }
}

TEST_F(TriStateTree, CheckTestsCountOnlyTheCheckedImages) {
    struct Case {
        int image;
        BOOL check, checkedOrPartial, partial, locked;
    };
    const Case cases[] = {{0, FALSE, FALSE, FALSE, FALSE}, {1, FALSE, FALSE, FALSE, FALSE},
                          {2, TRUE, TRUE, FALSE, FALSE},   {3, FALSE, FALSE, FALSE, TRUE},
                          {4, TRUE, TRUE, FALSE, TRUE},    {5, FALSE, TRUE, TRUE, FALSE}};
    HTREEITEM h = item[L"C"];
    for (const Case& c : cases) {
        tree.SetStateImage(h, c.image);
        EXPECT_EQ(c.check, tree.GetCheck(h)) << c.image;
        EXPECT_EQ(c.checkedOrPartial, tree.IsCheckedOrPartial(h)) << c.image;
        EXPECT_EQ(c.partial, tree.IsPartial(h)) << c.image;
        EXPECT_EQ(c.locked, tree.IsLocked(h)) << c.image;
    }
    EXPECT_FALSE(tree.GetCheck(nullptr));
    EXPECT_FALSE(tree.IsPartial(nullptr));
    // The root item stands for TVI_ROOT.
    EXPECT_TRUE(tree.IsPartial(TVI_ROOT));
}

TEST_F(TriStateTree, SpaceTogglesTheCaretItemAndTellsTheParentAsASelection) {
    tree.SelectItem(item[L"C"]);
    host.m_heard.clear();
    MSG msg = {tree.m_hWnd, WM_KEYDOWN, VK_SPACE, 0};
    EXPECT_TRUE(PreTranslateChain(&msg));
    EXPECT_EQ(2, tree.GetStateImage(item[L"C"]));
    ASSERT_EQ(1u, host.m_heard.size());
    EXPECT_EQ(item[L"C"], host.m_heard[0].second);
    // A locked caret item: nothing changes, the parent still hears of it.
    tree.SelectItem(item[L"B1"]);
    host.m_heard.clear();
    EXPECT_TRUE(PreTranslateChain(&msg));
    EXPECT_EQ(4, tree.GetStateImage(item[L"B1"]));
    EXPECT_EQ(1u, host.m_heard.size());
    // Without check boxes Space is passed on.
    ::SetWindowLongW(tree.m_hWnd, GWL_STYLE, ::GetWindowLongW(tree.m_hWnd, GWL_STYLE) & ~TVS_CHECKBOXES);
    EXPECT_FALSE(tree.PreTranslateMessage(&msg));
}

// Clicks through the mouse: the cursor is put on the point and the button messages posted, so
// the tree sees them with that position.
void ClickAt(HWND h, POINT pt) {
    POINT screen = pt;
    ::ClientToScreen(h, &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    ::PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    PumpWaitingMessages();
}

TEST_F(TriStateTree, ClickOnTheStateImageTogglesAndOnTheLabelOnlySelects) {
    // Where the hit test puts a click: state image, indent, label, nowhere, icon, button.
    struct Case {
        const wchar_t* item;
        UINT flags;
        LRESULT result;
        const wchar_t* selected;
        int image; // of the item afterwards
    };
    const Case cases[] = {
        {L"C", TVHT_ONITEMSTATEICON, 1, L"C", 2},    {L"C", TVHT_ONITEMSTATEICON, 1, L"C", 1},
        {L"B1", TVHT_ONITEMSTATEICON, 1, L"B1", 4}, // locked: selected, not changed
        {L"A2", TVHT_ONITEMINDENT, 0 + 1, L"B1", 1}, {L"A2", TVHT_ONITEMLABEL, 1, L"A2", 1},
        {L"A1", TVHT_ONITEMICON, 0, L"A2", 1},       {L"A1", TVHT_ONITEMBUTTON, 0, L"A2", 1},
        {L"A1", TVHT_ONITEMRIGHT, 0, L"A2", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, tree.ClickHit(item[c.item], c.flags)) << c.flags;
        EXPECT_EQ(item[c.selected], tree.GetSelectedItem()) << c.flags;
        EXPECT_EQ(c.image, tree.GetStateImage(item[c.item])) << c.flags;
    }
    EXPECT_EQ(1, tree.ClickHit(nullptr, TVHT_NOWHERE));
    EXPECT_EQ(1, tree.GetStateImage(item[L"A"]));

    // A real click on a label comes to the tree from its parent and only selects.
    ::RedrawWindow(tree.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT text;
    ASSERT_TRUE(tree.GetItemRect(item[L"C"], &text, TRUE));
    host.m_heard.clear();
    ClickAt(tree.m_hWnd, {(text.left + text.right) / 2, (text.top + text.bottom) / 2});
    EXPECT_EQ(item[L"C"], tree.GetSelectedItem());
    for (auto& heard : host.m_heard)
        EXPECT_NE((UINT)NM_CLICK, heard.first);
    EXPECT_EQ(1, tree.GetStateImage(item[L"C"]));
    EXPECT_EQ(5, tree.GetStateImage(item[L"R"]));
}

TEST_F(TriStateTree, FirstPaintGivesTheTreeSixStateImages) {
    ::UpdateWindow(host.m_hWnd);
    ::RedrawWindow(tree.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_NE(nullptr, tree.GetStateImages());
    EXPECT_EQ(6, ImageList_GetImageCount(tree.GetStateImages()));
    EXPECT_EQ(tree.GetStateImages(), tree.GetImageList(TVSIL_STATE));
}

TEST(ThemeEx, LoadsTheLibraryOnceAndFreesItWithTheLastInstance) {
    EXPECT_EQ(-1, CThemeEx::GetLoadState());
    {
        CThemeEx a;
        EXPECT_EQ(1, CThemeEx::GetLoadState());
        EXPECT_EQ(1, a.CloseThemeData()); // nothing open
        {
            CThemeEx b;
            EXPECT_EQ(1, CThemeEx::GetLoadState());
        }
        EXPECT_EQ(1, CThemeEx::GetLoadState());
    }
    EXPECT_EQ(-1, CThemeEx::GetLoadState());
}

} // namespace
