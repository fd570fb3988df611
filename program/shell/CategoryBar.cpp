#include "CategoryBar.h"

#include "resource.h"

#include <algorithm>

namespace {
struct CategoryButton {
    int image;
    UINT command;
    UINT text; // string id
};
const CategoryButton kButtons[5] = {{4, ID_CATEGORY_SUBJECTS, IDS_CAT_SUBJECTS},
                                    {3, ID_CATEGORY_JOBS, IDS_CAT_JOBS},
                                    {2, ID_CATEGORY_TASKS, IDS_CAT_TASKS},
                                    {1, ID_CATEGORY_GROUPS, IDS_CAT_GROUPS},
                                    {0, ID_CATEGORY_RESOURCES, IDS_CAT_RESOURCES}};
const int kButtonWidth = 144; // the longest label, "Субъекты управления", on one line
} // namespace

BOOL CCategoryBar::CreateBar(KvUi::CFrameWnd* frame, UINT nID, UINT paneId) {
    if (!Create(KvUi::LoadStr(IDS_CATEGORY_TAB), frame, nID, KvUi::CDockPane::Left, kButtonWidth + 12, TRUE))
        return FALSE;
    SetWindowText(L"Category");
    if (!m_wndButtons.CreateEx(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_WRAPABLE | CCS_NOPARENTALIGN |
                                   CCS_NORESIZE | CCS_NODIVIDER | CCS_VERT,
                               0, 0, 0, 0, m_hWnd, reinterpret_cast<HMENU>((UINT_PTR)paneId)))
        return FALSE;
    m_wndButtons.SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    if (!m_images.Create(IDB_CATEGORIES, 48, 0, RGB(255, 0, 255)))
        return FALSE;
    m_wndButtons.SendMessage(TB_SETIMAGELIST, 0, (LPARAM)m_images.m_hImageList);
    m_wndButtons.SendMessage(TB_SETMAXTEXTROWS, 2);
    for (const CategoryButton& c : kButtons) {
        TBBUTTON b = {};
        b.iBitmap = c.image;
        b.idCommand = (int)c.command;
        b.fsState = TBSTATE_ENABLED | TBSTATE_WRAP;
        b.fsStyle = BTNS_BUTTON;
        const std::wstring text = KvUi::LoadStr(c.text); // the toolbar keeps a copy
        b.iString = (INT_PTR)text.c_str();
        if (!m_wndButtons.SendMessage(TB_ADDBUTTONSW, 1, (LPARAM)&b))
            return FALSE;
    }
    m_wndButtons.SendMessage(TB_SETBUTTONWIDTH, 0, MAKELONG(kButtonWidth, kButtonWidth));
    LayoutButtons();
    return TRUE;
}

void CCategoryBar::LayoutButtons() {
    if (!m_wndButtons.m_hWnd)
        return;
    RECT rc;
    GetClientRect(&rc);
    rc.right -= kEdge;
    rc.top += kCaptionHeight;
    ::MoveWindow(m_wndButtons.m_hWnd, rc.left, rc.top, std::max<LONG>(0, rc.right - rc.left),
                 std::max<LONG>(0, rc.bottom - rc.top), TRUE);
}

LRESULT CCategoryBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE) {
        LRESULT r = CDockPane::WindowProc(msg, wp, lp);
        LayoutButtons();
        return r;
    }
    return CDockPane::WindowProc(msg, wp, lp);
}
