// The editable list box.
#include "kvui/editlist.h"
#include "kvui/ids.h"

namespace KvUi {

constexpr UINT CEditListBox::kButtonIds[BtnCount];

namespace {
const int kListId = 100; // the buttons are 101 to 104
const int kStrip = 22;   // height of the caption strip
} // namespace

BOOL CEditListBox::CreateOver(CWnd* parent, UINT nID) {
    HWND ph = ::GetDlgItem(parent->m_hWnd, nID);
    if (!ph)
        return FALSE;
    RECT rc;
    ::GetWindowRect(ph, &rc);
    ::MapWindowPoints(nullptr, parent->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    std::wstring caption;
    int n = ::GetWindowTextLengthW(ph);
    caption.resize(n + 1);
    caption.resize(::GetWindowTextW(ph, &caption[0], n + 1));
    DWORD style = (DWORD)::GetWindowLongW(ph, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_TABSTOP | WS_GROUP);
    HWND after = ::GetWindow(ph, GW_HWNDPREV);
    ::DestroyWindow(ph);
    if (!Create(caption, style | WS_CHILD, rc, parent, nID))
        return FALSE;
    // Keep the tab order of the placeholder.
    ::SetWindowPos(m_hWnd, after ? after : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return TRUE;
}

BOOL CEditListBox::Create(const std::wstring& caption, DWORD style, const RECT& rc, CWnd* parent, UINT nID) {
    if (!CWnd::CreateEx(WS_EX_CONTROLPARENT, DefaultWndClass(), caption.c_str(), style | WS_CHILD | WS_CLIPCHILDREN,
                        rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent->m_hWnd,
                        reinterpret_cast<HMENU>((UINT_PTR)nID)))
        return FALSE;
    HFONT font = (HFONT)::SendMessageW(parent->m_hWnd, WM_GETFONT, 0, 0);
    m_hCaption =
        ::CreateWindowExW(0, L"STATIC", caption.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, 0,
                          0, 0, 0, m_hWnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(m_hCaption, WM_SETFONT, (WPARAM)font, FALSE);
    RECT none = {0, 0, 0, 0};
    if (!m_list.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                           LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS,
                       none, this, kListId))
        return FALSE;
    m_list.SetFont(font, FALSE);
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(0, L"");
    Layout();
    return TRUE;
}

void CEditListBox::SetStandardButtons() {
    if (m_bButtons)
        return;
    m_bButtons = true;
    // Symbols of the Marlett font: the cross and the two arrows; "+" from the dialog's font.
    LOGFONTW lf = {};
    lf.lfHeight = -11;
    lf.lfCharSet = SYMBOL_CHARSET;
    wcscpy(lf.lfFaceName, L"Marlett");
    m_hSymbolFont = ::CreateFontIndirectW(&lf);
    static const wchar_t* glyphs[BtnCount] = {L"+", L"r", L"5", L"6"};
    static const UINT tips[BtnCount] = {KVUI_IDS_EDITLIST_NEW, KVUI_IDS_EDITLIST_DELETE, KVUI_IDS_EDITLIST_UP,
                                        KVUI_IDS_EDITLIST_DOWN};
    HFONT font = (HFONT)::SendMessageW(::GetParent(m_hWnd), WM_GETFONT, 0, 0);
    m_hTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                               0, 0, m_hWnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    for (int b = 0; b < BtnCount; ++b) {
        m_hButtons[b] = ::CreateWindowExW(0, L"BUTTON", glyphs[b], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_CENTER, 0,
                                          0, 0, 0, m_hWnd, reinterpret_cast<HMENU>((UINT_PTR)kButtonIds[b]),
                                          ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(m_hButtons[b], WM_SETFONT, (WPARAM)(b == BtnNew ? font : m_hSymbolFont), FALSE);
        if (m_hTip) {
            TTTOOLINFOW ti = {};
            ti.cbSize = sizeof(ti);
            ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            ti.hwnd = m_hWnd;
            ti.uId = (UINT_PTR)m_hButtons[b];
            std::wstring tip = LayerText(tips[b]); // the control keeps a copy
            ti.lpszText = &tip[0];
            ::SendMessageW(m_hTip, TTM_ADDTOOLW, 0, (LPARAM)&ti);
        }
    }
    Layout();
    UpdateButtons();
}

void CEditListBox::Layout() {
    if (!m_hWnd)
        return;
    RECT rc;
    GetClientRect(&rc);
    int right = rc.right;
    if (m_bButtons) {
        for (int b = BtnCount - 1; b >= 0; --b) {
            right -= kStrip;
            ::MoveWindow(m_hButtons[b], right, 1, kStrip - 2, kStrip - 2, TRUE);
        }
    }
    ::MoveWindow(m_hCaption, 0, 0, right - 2 > 0 ? right - 2 : 0, kStrip, TRUE);
    ::MoveWindow(m_list.m_hWnd, 0, kStrip, rc.right, rc.bottom - kStrip > 0 ? rc.bottom - kStrip : 0, TRUE);
    RECT lc;
    m_list.GetClientRect(&lc);
    m_list.SetColumnWidth(0, lc.right - lc.left);
}

void CEditListBox::UpdateButtons() {
    if (!m_bButtons)
        return;
    BOOL enabled = ::IsWindowEnabled(m_hWnd);
    int sel = GetSelItem();
    int n = GetCount();
    ::EnableWindow(m_hButtons[BtnNew], enabled);
    ::EnableWindow(m_hButtons[BtnDelete], enabled && sel >= 0);
    ::EnableWindow(m_hButtons[BtnUp], enabled && sel > 0);
    ::EnableWindow(m_hButtons[BtnDown], enabled && sel >= 0 && sel + 1 < n);
}

int CEditListBox::GetCount() const { return m_list.GetItemCount(); }

int CEditListBox::AddItem(const std::wstring& text, int at) {
    int i = m_list.InsertItem(at < 0 ? GetCount() : at, text);
    UpdateButtons();
    return i;
}

BOOL CEditListBox::RemoveItem(int i) {
    BOOL ok = m_list.DeleteItem(i);
    UpdateButtons();
    return ok;
}

void CEditListBox::RemoveAll() {
    m_list.DeleteAllItems();
    UpdateButtons();
}

std::wstring CEditListBox::GetItemText(int i) const { return m_list.GetItemText(i, 0); }

BOOL CEditListBox::SetItemText(int i, const std::wstring& text) { return m_list.SetItemText(i, 0, text); }

int CEditListBox::GetSelItem() const { return m_list.GetNextItem(-1, LVNI_SELECTED); }

BOOL CEditListBox::SelectItem(int i) {
    m_list.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    BOOL ok = i >= 0 && m_list.SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (ok) {
        m_list.SetSelectionMark(i);
        m_list.EnsureVisible(i, FALSE);
    }
    UpdateButtons();
    return ok;
}

std::vector<std::wstring> CEditListBox::GetItems() const {
    std::vector<std::wstring> items;
    for (int i = 0, n = GetCount(); i < n; ++i)
        items.push_back(GetItemText(i));
    return items;
}

void CEditListBox::CreateNewItem() {
    EndEditItem(TRUE);
    int i = AddItem(std::wstring());
    if (i < 0)
        return;
    SelectItem(i);
    m_newItem = i;
    if (!EditItem(i)) {
        RemoveItem(i);
        m_newItem = -1;
    }
}

void CEditListBox::DeleteSelected() {
    int sel = GetSelItem();
    if (sel < 0)
        return;
    RemoveItem(sel);
    int n = GetCount();
    if (n > 0)
        SelectItem(sel < n ? sel : n - 1);
}

void CEditListBox::MoveSelected(int delta) {
    int sel = GetSelItem();
    int to = sel + delta;
    if (sel < 0 || to < 0 || to >= GetCount())
        return;
    std::wstring a = GetItemText(sel), b = GetItemText(to);
    SetItemText(sel, b);
    SetItemText(to, a);
    SelectItem(to);
}

HWND CEditListBox::EditItem(int i) {
    if (i < 0 || i >= GetCount())
        return nullptr;
    ::SetFocus(m_list.m_hWnd);
    return ListView_EditLabel(m_list.m_hWnd, i);
}

HWND CEditListBox::GetEditControl() const { return ListView_GetEditControl(m_list.m_hWnd); }

void CEditListBox::EndEditItem(BOOL bCommit) {
    HWND edit = GetEditControl();
    if (!edit)
        return;
    if (bCommit)
        ::SetFocus(m_list.m_hWnd); // the list commits the editor's text when it loses the focus
    else
        ListView_CancelEditLabel(m_list.m_hWnd);
}

BOOL CEditListBox::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr && hdr->hwndFrom == m_list.m_hWnd) {
        switch (hdr->code) {
        case LVN_ENDLABELEDITW: {
            NMLVDISPINFOW* di = reinterpret_cast<NMLVDISPINFOW*>(hdr);
            int i = di->item.iItem;
            bool wasNew = i == m_newItem;
            m_newItem = -1;
            if (di->item.pszText) {
                SetItemText(i, di->item.pszText);
                if (wasNew && !*di->item.pszText)
                    RemoveItem(i);
            } else if (wasNew) {
                RemoveItem(i); // a new line whose editing was cancelled
            }
            *pResult = FALSE; // the text is set here
            UpdateButtons();
            return TRUE;
        }
        case LVN_ITEMCHANGED:
            UpdateButtons();
            break;
        case LVN_KEYDOWN: {
            WORD key = reinterpret_cast<NMLVKEYDOWN*>(hdr)->wVKey;
            bool alt = ::GetKeyState(VK_MENU) < 0;
            if (key == VK_INSERT)
                CreateNewItem();
            else if (key == VK_DELETE)
                DeleteSelected();
            else if (key == VK_F2)
                EditItem(GetSelItem());
            else if (alt && (key == VK_UP || key == VK_DOWN))
                MoveSelected(key == VK_UP ? -1 : 1);
            break;
        }
        case NM_DBLCLK:
            EditItem(GetSelItem());
            break;
        }
    }
    return CWnd::OnNotify(wp, lp, pResult);
}

LRESULT CEditListBox::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && lp) {
            switch (LOWORD(wp)) {
            case 101:
                CreateNewItem();
                return 0;
            case 102:
                DeleteSelected();
                return 0;
            case 103:
                MoveSelected(-1);
                return 0;
            case 104:
                MoveSelected(1);
                return 0;
            }
        }
        break;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_ENABLE:
        ::EnableWindow(m_list.m_hWnd, (BOOL)wp);
        UpdateButtons();
        break;
    case WM_SETFOCUS:
        ::SetFocus(m_list.m_hWnd);
        return 0;
    case WM_CTLCOLORSTATIC:
        if ((HWND)lp == m_hCaption)
            return ::SendMessageW(::GetParent(m_hWnd), msg, wp, lp);
        break;
    case WM_NCDESTROY:
        if (m_hSymbolFont)
            ::DeleteObject(m_hSymbolFont);
        m_hSymbolFont = nullptr;
        break;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

} // namespace KvUi
