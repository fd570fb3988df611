// Message maps: every cracker hands its handler the message's own parts, range entries pass the
// id, and notifications reach the control's own object (reflection) with its answer reaching the
// control: a tree in a docked pane handles its own selection, custom draw and label editing.
#include <gtest/gtest.h>

#include "kvui/kvui.h"

#include <shellapi.h>

#include <algorithm>

#include <string>
#include <vector>

using namespace KvUi;

namespace {

const int g_init = (::InitCommonControls(), 0);

// ---- crackers ------------------------------------------------------------------------------

class CCrackerWnd : public CWnd {
public:
    std::vector<std::wstring> calls;
    HBRUSH m_brush = ::CreateSolidBrush(RGB(1, 2, 3));
    ~CCrackerWnd() override { ::DeleteObject(m_brush); }

    void Log(const std::wstring& s) { calls.push_back(s); }
    static std::wstring Pt(POINT p) { return std::to_wstring(p.x) + L"," + std::to_wstring(p.y); }

    void OnPaint() {
        PAINTSTRUCT ps;
        ::BeginPaint(m_hWnd, &ps);
        ::EndPaint(m_hWnd, &ps);
        Log(L"paint");
    }
    void OnContextMenu(HWND w, POINT pt) { Log(L"context " + std::to_wstring(w == m_hWnd) + L" " + Pt(pt)); }
    void OnSetFocus(HWND old) { Log(L"setfocus " + std::to_wstring((UINT_PTR)old)); }
    void OnKillFocus(HWND next) { Log(L"killfocus " + std::to_wstring((UINT_PTR)next)); }
    void OnKeyDown(UINT ch, UINT rep, UINT flags) {
        Log(L"keydown " + std::to_wstring(ch) + L" " + std::to_wstring(rep) + L" " + std::to_wstring(flags));
    }
    void OnKeyUp(UINT ch, UINT, UINT) { Log(L"keyup " + std::to_wstring(ch)); }
    void OnChar(UINT ch, UINT, UINT) { Log(L"char " + std::to_wstring(ch)); }
    void OnLButtonDown(UINT f, POINT pt) { Log(L"ldown " + std::to_wstring(f) + L" " + Pt(pt)); }
    void OnLButtonUp(UINT, POINT pt) { Log(L"lup " + Pt(pt)); }
    void OnLButtonDblClk(UINT, POINT pt) { Log(L"ldbl " + Pt(pt)); }
    void OnRButtonDown(UINT, POINT pt) { Log(L"rdown " + Pt(pt)); }
    void OnRButtonUp(UINT, POINT pt) { Log(L"rup " + Pt(pt)); }
    void OnRButtonDblClk(UINT, POINT pt) { Log(L"rdbl " + Pt(pt)); }
    void OnMButtonDown(UINT, POINT pt) { Log(L"mdown " + Pt(pt)); }
    void OnMButtonUp(UINT, POINT pt) { Log(L"mup " + Pt(pt)); }
    void OnMButtonDblClk(UINT, POINT pt) { Log(L"mdbl " + Pt(pt)); }
    void OnMouseMove(UINT, POINT pt) { Log(L"move " + Pt(pt)); }
    void OnGetMinMaxInfo(MINMAXINFO* mmi) {
        mmi->ptMinTrackSize.x = 321;
        Log(L"minmax");
    }
    void OnDrawItem(int id, LPDRAWITEMSTRUCT dis) {
        Log(L"draw " + std::to_wstring(id) + L" " + std::to_wstring(dis->itemID));
    }
    void OnMeasureItem(int id, LPMEASUREITEMSTRUCT mis) {
        mis->itemHeight = 33;
        Log(L"measure " + std::to_wstring(id));
    }
    HBRUSH OnCtlColor(HDC, HWND ctl, UINT kind) {
        Log(L"ctlcolor " + std::to_wstring(kind));
        return kind == CTLCOLOR_EDIT ? m_brush : nullptr;
    }
    void OnCaptureChanged(HWND w) { Log(L"capture " + std::to_wstring((UINT_PTR)w)); }
    BOOL OnSetCursor(HWND, UINT hit, UINT msg) {
        Log(L"cursor " + std::to_wstring(hit) + L" " + std::to_wstring(msg));
        return TRUE;
    }
    void OnDropFiles(HDROP drop) { Log(L"drop " + std::to_wstring((UINT_PTR)drop)); }
    void OnNotifyRange(UINT id, NMHDR* hdr, LRESULT* r) {
        Log(L"notifyrange " + std::to_wstring(id));
        *r = 77;
    }
    void OnControlRange(UINT id) { Log(L"controlrange " + std::to_wstring(id)); }
    KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CCrackerWnd, CWnd)
ON_WM_PAINT()
ON_WM_CONTEXTMENU()
ON_WM_SETFOCUS()
ON_WM_KILLFOCUS()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
ON_WM_CHAR()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_LBUTTONDBLCLK()
ON_WM_RBUTTONDOWN()
ON_WM_RBUTTONUP()
ON_WM_RBUTTONDBLCLK()
ON_WM_MBUTTONDOWN()
ON_WM_MBUTTONUP()
ON_WM_MBUTTONDBLCLK()
ON_WM_MOUSEMOVE()
ON_WM_GETMINMAXINFO()
ON_WM_DRAWITEM()
ON_WM_MEASUREITEM()
ON_WM_CTLCOLOR()
ON_WM_CAPTURECHANGED()
ON_WM_SETCURSOR()
ON_WM_DROPFILES()
ON_NOTIFY_RANGE(NM_CLICK, 500, 509, OnNotifyRange)
ON_CONTROL_RANGE(EN_CHANGE, 600, 609, OnControlRange)
KV_END_MESSAGE_MAP()

TEST(Crackers, EachHandlerGetsTheMessagesOwnParts) {
    CCrackerWnd w;
    ASSERT_TRUE(w.CreateEx(0, nullptr, L"crackers", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr));
    HWND h = w.m_hWnd;
    const LPARAM negPoint = MAKELPARAM((WORD)(short)-5, 7);
    struct Case {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        const wchar_t* expect;
    } cases[] = {
        {WM_CONTEXTMENU, (WPARAM)h, MAKELPARAM(10, 20), L"context 1 10,20"},
        {WM_SETFOCUS, 0x1234, 0, L"setfocus 4660"},
        {WM_KILLFOCUS, 0x22, 0, L"killfocus 34"},
        {WM_KEYDOWN, VK_F2, MAKELPARAM(3, 0x3C), L"keydown 113 3 60"},
        {WM_KEYUP, VK_F2, 0, L"keyup 113"},
        {WM_CHAR, L'ж', 1, L"char 1078"},
        {WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, negPoint, L"ldown 5 -5,7"},
        {WM_LBUTTONUP, 0, MAKELPARAM(1, 2), L"lup 1,2"},
        {WM_LBUTTONDBLCLK, 0, MAKELPARAM(3, 4), L"ldbl 3,4"},
        {WM_RBUTTONDOWN, 0, MAKELPARAM(5, 6), L"rdown 5,6"},
        {WM_RBUTTONUP, 0, MAKELPARAM(7, 8), L"rup 7,8"},
        {WM_RBUTTONDBLCLK, 0, MAKELPARAM(9, 10), L"rdbl 9,10"},
        {WM_MBUTTONDOWN, 0, MAKELPARAM(11, 12), L"mdown 11,12"},
        {WM_MBUTTONUP, 0, MAKELPARAM(13, 14), L"mup 13,14"},
        {WM_MBUTTONDBLCLK, 0, MAKELPARAM(15, 16), L"mdbl 15,16"},
        {WM_MOUSEMOVE, 0, negPoint, L"move -5,7"},
        {WM_CAPTURECHANGED, 0, 0x42, L"capture 66"},
        {WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), L"cursor 1 512"},
        {WM_DROPFILES, 0x99, 0, L"drop 153"},
    };
    for (const Case& c : cases) {
        w.calls.clear();
        ::SendMessageW(h, c.msg, c.wp, c.lp);
        ASSERT_EQ(1u, w.calls.size()) << c.expect;
        EXPECT_EQ(c.expect, w.calls[0]);
    }

    // Answers travel back: min/max info, owner-draw, colours, the cursor.
    MINMAXINFO mmi = {};
    w.calls.clear();
    ::SendMessageW(h, WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
    EXPECT_EQ(321, mmi.ptMinTrackSize.x);
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_BUTTON;
    dis.itemID = 4;
    EXPECT_EQ(TRUE, ::SendMessageW(h, WM_DRAWITEM, 17, (LPARAM)&dis));
    MEASUREITEMSTRUCT mis = {};
    mis.CtlType = ODT_LISTBOX;
    mis.CtlID = 18;
    EXPECT_EQ(TRUE, ::SendMessageW(h, WM_MEASUREITEM, 18, (LPARAM)&mis));
    EXPECT_EQ(33u, mis.itemHeight);
    HDC dc = ::GetDC(h);
    EXPECT_EQ((LRESULT)w.m_brush, ::SendMessageW(h, WM_CTLCOLOREDIT, (WPARAM)dc, 0));
    // A null brush: the default processing answers.
    EXPECT_EQ(::DefWindowProcW(h, WM_CTLCOLORSTATIC, (WPARAM)dc, 0),
              ::SendMessageW(h, WM_CTLCOLORSTATIC, (WPARAM)dc, 0));
    ::ReleaseDC(h, dc);
    EXPECT_EQ(TRUE, ::SendMessageW(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ((std::vector<std::wstring>{L"minmax", L"draw 17 4", L"measure 18", L"ctlcolor 1", L"ctlcolor 6",
                                         L"cursor 1 512"}),
              w.calls);

    // Ranges pass the id; the notification's answer is the window's answer.
    w.calls.clear();
    NMHDR hdr = {nullptr, 503, (UINT)NM_CLICK};
    EXPECT_EQ(77, ::SendMessageW(h, WM_NOTIFY, 503, (LPARAM)&hdr));
    hdr.idFrom = 510;
    ::SendMessageW(h, WM_NOTIFY, 510, (LPARAM)&hdr);
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, h, (HMENU)605, nullptr, nullptr);
    ::SendMessageW(h, WM_COMMAND, MAKEWPARAM(605, EN_CHANGE), (LPARAM)edit);
    ::SendMessageW(h, WM_COMMAND, MAKEWPARAM(605, EN_UPDATE), (LPARAM)edit);
    EXPECT_EQ((std::vector<std::wstring>{L"notifyrange 503", L"controlrange 605"}), w.calls);

    // Painting goes through the paint handler.
    w.calls.clear();
    w.ShowWindow(SW_SHOW);
    w.UpdateWindow();
    EXPECT_EQ(1, std::count(w.calls.begin(), w.calls.end(), L"paint"));
    w.DestroyWindow();
}

// ---- reflection ----------------------------------------------------------------------------

// A tree that handles its own notifications: selection, custom draw (it asks for every item)
// and label editing (items whose text starts with "!" cannot be renamed; a new text is taken
// unless it is empty).
class CSelfTree : public CTreeCtrl {
public:
    std::vector<std::wstring> selections;
    int prepaints = 0, itemPrepaints = 0;
    int beginEdits = 0, endEdits = 0;
    BOOL letParentSeeExpand = TRUE;
    int expands = 0;

    std::wstring Text(HTREEITEM item) const {
        wchar_t buf[260] = {};
        TVITEMW it = {};
        it.mask = TVIF_TEXT;
        it.hItem = item;
        it.pszText = buf;
        it.cchTextMax = 260;
        SendMessage(TVM_GETITEMW, 0, (LPARAM)&it);
        return buf;
    }

    void OnSelChanged(NMHDR* hdr, LRESULT* r) {
        NMTREEVIEWW* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
        selections.push_back(Text(nm->itemNew.hItem));
        *r = 0;
    }
    void OnCustomDraw(NMHDR* hdr, LRESULT* r) {
        NMTVCUSTOMDRAW* cd = reinterpret_cast<NMTVCUSTOMDRAW*>(hdr);
        if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
            ++prepaints;
            *r = CDRF_NOTIFYITEMDRAW;
        } else if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            ++itemPrepaints;
            cd->clrText = RGB(200, 0, 0);
            *r = CDRF_DODEFAULT;
        }
    }
    void OnBeginLabelEdit(NMHDR* hdr, LRESULT* r) {
        ++beginEdits;
        NMTVDISPINFOW* di = reinterpret_cast<NMTVDISPINFOW*>(hdr);
        *r = Text(di->item.hItem).rfind(L"!", 0) == 0; // TRUE refuses the edit
    }
    void OnEndLabelEdit(NMHDR* hdr, LRESULT* r) {
        ++endEdits;
        NMTVDISPINFOW* di = reinterpret_cast<NMTVDISPINFOW*>(hdr);
        *r = di->item.pszText && *di->item.pszText; // TRUE takes the new text
    }
    BOOL OnItemExpanding(NMHDR*, LRESULT* r) {
        ++expands;
        *r = 0;
        return !letParentSeeExpand;
    }
    KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CSelfTree, CTreeCtrl)
ON_NOTIFY_REFLECT(TVN_SELCHANGEDW, OnSelChanged)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnCustomDraw)
ON_NOTIFY_REFLECT(TVN_BEGINLABELEDITW, OnBeginLabelEdit)
ON_NOTIFY_REFLECT(TVN_ENDLABELEDITW, OnEndLabelEdit)
ON_NOTIFY_REFLECT_EX(TVN_ITEMEXPANDINGW, OnItemExpanding)
KV_END_MESSAGE_MAP()

const UINT kTreeId = 700;

class CReflectFrame : public CFrameWnd {
public:
    int frameSelections = 0, frameExpands = 0;
    void OnTreeSel(NMHDR*, LRESULT*) { ++frameSelections; }
    void OnTreeExpanding(NMHDR*, LRESULT*) { ++frameExpands; }
    KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CReflectFrame, CFrameWnd)
ON_NOTIFY(TVN_SELCHANGEDW, kTreeId, OnTreeSel)
ON_NOTIFY(TVN_ITEMEXPANDINGW, kTreeId, OnTreeExpanding)
KV_END_MESSAGE_MAP()

HTREEITEM AddItem(HWND tree, HTREEITEM parent, const wchar_t* text) {
    TVINSERTSTRUCTW ins = {};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT;
    ins.item.pszText = const_cast<wchar_t*>(text);
    return (HTREEITEM)::SendMessageW(tree, TVM_INSERTITEMW, 0, (LPARAM)&ins);
}

TEST(Reflection, TreeInDockedPaneHandlesItsOwnNotificationsAndItsAnswersReachTheControl) {
    CReflectFrame* frame = new CReflectFrame;
    frame->m_bAutoDelete = FALSE;
    ASSERT_TRUE(frame->CreateEx(0, nullptr, L"reflect", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr, nullptr));
    CDockPane pane;
    ASSERT_TRUE(pane.Create(L"Дерево", frame, 701, CDockPane::Left, 250));
    CSelfTree tree;
    RECT rc = {0, 0, 100, 100};
    ASSERT_TRUE(tree.Create(WC_TREEVIEWW, L"",
                            WS_VISIBLE | WS_BORDER | TVS_EDITLABELS | TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS,
                            rc, &pane, kTreeId));
    pane.SetContent(tree.m_hWnd);
    HTREEITEM root = AddItem(tree.m_hWnd, TVI_ROOT, L"Корень");
    HTREEITEM open = AddItem(tree.m_hWnd, root, L"Открытый");
    HTREEITEM locked = AddItem(tree.m_hWnd, root, L"!Закрытый");
    tree.SendMessage(TVM_EXPAND, TVE_EXPAND, (LPARAM)root);
    frame->ShowWindow(SW_SHOW);
    frame->UpdateWindow();
    tree.UpdateWindow();

    // Custom draw: the tree's CDRF_NOTIFYITEMDRAW made the control ask for each item.
    EXPECT_GT(tree.prepaints, 0);
    EXPECT_GT(tree.itemPrepaints, 0);

    // Selection: the tree sees it; the frame's entry for the same notification does not run.
    tree.SendMessage(TVM_SELECTITEM, TVGN_CARET, (LPARAM)open);
    EXPECT_EQ(std::vector<std::wstring>{L"Открытый"}, tree.selections);
    EXPECT_EQ(0, frame->frameSelections);

    // Label editing: the refusal reaches the control (no edit window), the acceptance too.
    EXPECT_EQ(0, tree.SendMessage(TVM_EDITLABELW, 0, (LPARAM)locked));
    EXPECT_EQ(1, tree.beginEdits);
    HWND edit = (HWND)tree.SendMessage(TVM_EDITLABELW, 0, (LPARAM)open);
    ASSERT_NE(nullptr, edit);
    ::SetWindowTextW(edit, L"Переименованный");
    tree.SendMessage(TVM_ENDEDITLABELNOW, FALSE, 0);
    EXPECT_GE(tree.endEdits, 1);
    EXPECT_EQ(L"Переименованный", tree.Text(open));
    // An empty new text is refused by the tree: the old text stays.
    edit = (HWND)tree.SendMessage(TVM_EDITLABELW, 0, (LPARAM)open);
    ASSERT_NE(nullptr, edit);
    ::SetWindowTextW(edit, L"");
    tree.SendMessage(TVM_ENDEDITLABELNOW, FALSE, 0);
    EXPECT_EQ(L"Переименованный", tree.Text(open));

    // The _EX form: FALSE lets the frame see the notification too, TRUE keeps it.
    tree.expands = frame->frameExpands = 0;
    AddItem(tree.m_hWnd, open, L"Внутри");
    AddItem(tree.m_hWnd, locked, L"Внутри");
    tree.SendMessage(TVM_EXPAND, TVE_EXPAND, (LPARAM)open);
    EXPECT_EQ(1, tree.expands);
    EXPECT_EQ(1, frame->frameExpands);
    tree.letParentSeeExpand = FALSE;
    tree.SendMessage(TVM_EXPAND, TVE_EXPAND, (LPARAM)locked);
    EXPECT_EQ(2, tree.expands);
    EXPECT_EQ(1, frame->frameExpands);

    frame->DestroyWindow();
    delete frame;
}

// A button that handles its own click, and a static that chooses its own colours.
class CSelfButton : public CButton {
public:
    int clicks = 0;
    BOOL keep = TRUE;
    BOOL OnClicked() {
        ++clicks;
        return keep;
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CSelfButton, CButton)
ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
KV_END_MESSAGE_MAP()

class CSelfStatic : public CStatic {
public:
    HBRUSH m_brush = ::CreateSolidBrush(RGB(10, 20, 30));
    ~CSelfStatic() override { ::DeleteObject(m_brush); }
    HBRUSH CtlColor(HDC dc, UINT kind) {
        ::SetTextColor(dc, RGB(255, 0, 0));
        return kind == CTLCOLOR_STATIC ? m_brush : nullptr;
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CSelfStatic, CStatic)
ON_WM_CTLCOLOR_REFLECT()
KV_END_MESSAGE_MAP()

class CHostWnd : public CWnd {
public:
    int parentClicks = 0;
    HBRUSH parentBrush = nullptr;
    void OnButton() { ++parentClicks; }
    HBRUSH OnCtlColor(HDC, HWND, UINT) { return parentBrush; }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CHostWnd, CWnd)
ON_BN_CLICKED(801, OnButton)
ON_WM_CTLCOLOR()
KV_END_MESSAGE_MAP()

TEST(Reflection, ControlCommandsAndColoursGoToTheControlFirstUnlessTheParentAnswersColours) {
    CHostWnd host;
    ASSERT_TRUE(host.CreateEx(0, nullptr, L"host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr));
    CSelfButton button;
    RECT rc = {10, 10, 100, 40};
    ASSERT_TRUE(button.Create(L"BUTTON", L"Кнопка", WS_VISIBLE | BS_PUSHBUTTON, rc, &host, 801));
    CSelfStatic label;
    RECT rc2 = {10, 50, 100, 70};
    ASSERT_TRUE(label.Create(L"STATIC", L"Метка", WS_VISIBLE, rc2, &host, 802));

    button.SendMessage(BM_CLICK);
    EXPECT_EQ(1, button.clicks);
    EXPECT_EQ(0, host.parentClicks);
    button.keep = FALSE;
    button.SendMessage(BM_CLICK);
    EXPECT_EQ(2, button.clicks);
    EXPECT_EQ(1, host.parentClicks);

    HDC dc = ::GetDC(label.m_hWnd);
    EXPECT_EQ((LRESULT)label.m_brush, host.SendMessage(WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)label.m_hWnd));
    EXPECT_EQ(RGB(255, 0, 0), ::GetTextColor(dc));
    // The parent's own colour handler answers first when it gives a brush.
    host.parentBrush = (HBRUSH)::GetStockObject(WHITE_BRUSH);
    EXPECT_EQ((LRESULT)host.parentBrush, host.SendMessage(WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)label.m_hWnd));
    ::ReleaseDC(label.m_hWnd, dc);
    host.DestroyWindow();
}

} // namespace
