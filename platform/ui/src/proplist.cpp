// The property list.
#include "kvui/proplist.h"
#include "kvui/presenter.h"

#include <cwchar>

namespace KvUi {

const UINT kListId = 1;
const UINT kEditorId = 2;
const UINT kDescId = 3;

CProp::CProp(const std::wstring& name, bool value, const std::wstring& description)
    : m_kind(Bool), m_name(name), m_description(description), m_bool(value) {}

CProp::CProp(const std::wstring& name, COLORREF value, const std::wstring& description, COLORREF automatic,
             const std::wstring& autoText, const std::wstring& otherText)
    : m_kind(Color), m_name(name), m_description(description), m_color(value), m_automatic(automatic),
      m_autoText(autoText), m_otherText(otherText) {}

std::unique_ptr<CProp> CProp::MakeText(const std::wstring& name, const std::wstring& value,
                                       const std::wstring& description) {
    std::unique_ptr<CProp> p(new CProp(Text, name));
    p->m_text = value;
    p->m_description = description;
    return p;
}

std::unique_ptr<CProp> CProp::MakeGroup(const std::wstring& name) {
    return std::unique_ptr<CProp>(new CProp(Group, name));
}

CProp* CProp::AddSubItem(std::unique_ptr<CProp> prop) {
    m_children.push_back(std::move(prop));
    return m_children.back().get();
}

static std::wstring ColorText(COLORREF c) {
    wchar_t buf[64];
    swprintf(buf, 64, L"RGB(%u, %u, %u)", (unsigned)GetRValue(c), (unsigned)GetGValue(c), (unsigned)GetBValue(c));
    return buf;
}

std::wstring CProp::ValueText(const CPropList& list) const {
    if (m_kind == Text)
        return m_text;
    if (m_kind == Group)
        return std::wstring();
    if (m_kind == Bool)
        return m_bool ? list.TrueLabel() : list.FalseLabel();
    if (m_color == (COLORREF)-1)
        return m_autoText + L" (" + ColorText(m_automatic) + L")";
    return ColorText(m_color);
}

CPropList::~CPropList() {
    if (m_hFont)
        ::DeleteObject(m_hFont);
    if (m_hBold)
        ::DeleteObject(m_hBold);
}

BOOL CPropList::Create(DWORD style, const RECT& rc, CWnd* parent, UINT nID) {
    if (!CreateEx(0, nullptr, nullptr, style | WS_CHILD | WS_CLIPCHILDREN, rc.left, rc.top, rc.right - rc.left,
                  rc.bottom - rc.top, parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>((UINT_PTR)nID)))
        return FALSE;
    HFONT font = parent ? parent->GetFont() : nullptr;
    if (!font)
        font = (HFONT)::GetStockObject(DEFAULT_GUI_FONT);
    RECT r = {0, 0, 10, 10};
    if (!m_list.CreateEx(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT | LVS_SINGLESEL |
                             LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                         r.left, r.top, 10, 10, m_hWnd, reinterpret_cast<HMENU>((UINT_PTR)kListId)))
        return FALSE;
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    m_list.EnableCellDraw(FALSE); // the property list draws its group rows itself
    m_list.SetFont(font);
    LOGFONTW lf = {};
    if (::GetObjectW(font, sizeof(lf), &lf)) {
        lf.lfWeight = FW_BOLD;
        m_hBold = ::CreateFontIndirectW(&lf);
    }
    m_list.InsertColumn(0, L"", LVCFMT_LEFT, 150);
    m_list.InsertColumn(1, L"", LVCFMT_LEFT, 150);
    if (!m_desc.CreateEx(WS_EX_STATICEDGE, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 10, 10, m_hWnd,
                         reinterpret_cast<HMENU>((UINT_PTR)kDescId)))
        return FALSE;
    m_desc.SetFont(font);
    if (!m_editor.CreateEx(0, WC_COMBOBOXW, nullptr, WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0, 10, 200, m_hWnd,
                           reinterpret_cast<HMENU>((UINT_PTR)kEditorId)))
        return FALSE;
    m_editor.SetFont(font);
    Layout();
    return TRUE;
}

void CPropList::SetHeaders(const std::wstring& nameHeader, const std::wstring& valueHeader) {
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT;
    c.pszText = const_cast<wchar_t*>(nameHeader.c_str());
    m_list.SendMessage(LVM_SETCOLUMNW, 0, (LPARAM)&c);
    c.pszText = const_cast<wchar_t*>(valueHeader.c_str());
    m_list.SendMessage(LVM_SETCOLUMNW, 1, (LPARAM)&c);
}

void CPropList::SetBoolLabels(const std::wstring& yes, const std::wstring& no) {
    m_yes = yes;
    m_no = no;
    for (int i = 0; i < GetPropertyCount(); ++i)
        RefreshRow(i);
}

void CPropList::Layout() {
    if (!m_hWnd)
        return;
    RECT rc;
    GetClientRect(&rc);
    int descH = 48;
    int listH = rc.bottom - descH - 4;
    if (listH < 20)
        listH = rc.bottom;
    ::MoveWindow(m_list.m_hWnd, 0, 0, rc.right, listH, TRUE);
    ::MoveWindow(m_desc.m_hWnd, 0, listH + 4, rc.right, rc.bottom - listH - 4, TRUE);
    RECT lc;
    m_list.GetClientRect(&lc);
    int half = (lc.right - lc.left) / 2;
    m_list.SetColumnWidth(0, half);
    m_list.SetColumnWidth(1, lc.right - lc.left - half);
}

void CPropList::InsertRow(CProp* p, int indent) {
    int i = (int)m_rows.size();
    m_rows.push_back(p);
    if (m_list.m_hWnd) {
        LVITEMW it = {};
        it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_INDENT;
        it.iItem = i;
        it.pszText = const_cast<wchar_t*>(p->GetName().c_str());
        it.lParam = i;
        it.iIndent = indent;
        m_list.InsertItem(it);
        RefreshRow(i);
    }
    for (auto& c : p->m_children)
        InsertRow(c.get(), indent + 1);
}

int CPropList::AddProperty(std::unique_ptr<CProp> prop) {
    int i = (int)m_rows.size();
    m_props.push_back(std::move(prop));
    InsertRow(m_props.back().get(), 0);
    return i;
}

void CPropList::RemoveAll() {
    EndEditItem(FALSE);
    if (m_list.m_hWnd)
        m_list.DeleteAllItems();
    m_rows.clear();
    m_props.clear();
    m_cur = -1;
    ShowDescription();
}

void CPropList::RefreshRow(int i) {
    if (m_list.m_hWnd && i >= 0 && i < GetPropertyCount())
        m_list.SetItemText(i, 1, m_rows[i]->ValueText(*this));
}

void CPropList::ShowDescription() {
    if (!m_desc.m_hWnd)
        return;
    CProp* p = GetProperty(m_cur);
    m_desc.SetWindowText(p ? p->GetName() + L"\r\n" + p->GetDescription() : std::wstring());
}

std::wstring CPropList::GetDescriptionText() const { return m_desc.m_hWnd ? m_desc.GetWindowText() : std::wstring(); }

void CPropList::SetCurSel(int i) {
    if (i < 0 || i >= GetPropertyCount())
        return;
    if (m_editing >= 0 && m_editing != i)
        EndEditItem(TRUE);
    m_cur = i;
    if (m_list.m_hWnd) {
        m_list.SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        m_list.SendMessage(LVM_ENSUREVISIBLE, i, FALSE);
    }
    ShowDescription();
}

BOOL CPropList::EditItem(int i) {
    CProp* p = GetProperty(i);
    if (!p || !m_editor.m_hWnd)
        return FALSE;
    if (p->IsReadOnly()) {
        SetCurSel(i); // a read-only row is only selected
        return FALSE;
    }
    if (m_editing >= 0)
        EndEditItem(TRUE);
    SetCurSel(i);
    m_editing = i;
    m_pendBool = p->m_bool;
    m_pendColor = p->m_color;
    m_editor.ResetContent();
    if (p->m_kind == CProp::Bool) {
        m_editor.AddString(m_yes);
        m_editor.AddString(m_no);
        m_editor.SetCurSel(p->m_bool ? 0 : 1);
    } else {
        m_editor.AddString(p->m_autoText);
        m_editor.AddString(p->m_otherText);
        m_editor.SetCurSel(p->m_color == (COLORREF)-1 ? 0 : -1);
    }
    RECT rc;
    if (m_list.GetSubItemRect(i, 1, LVIR_BOUNDS, rc)) {
        ::MapWindowPoints(m_list.m_hWnd, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        // Above the list (which clips itself to its siblings) so the list's painting leaves it whole.
        ::SetWindowPos(m_editor.m_hWnd, HWND_TOP, rc.left, rc.top, rc.right - rc.left, 200, SWP_SHOWWINDOW);
    } else {
        m_editor.ShowWindow(SW_SHOW);
    }
    ::SetFocus(m_editor.m_hWnd);
    return TRUE;
}

void CPropList::ApplyChoice(CProp& p, int choice) {
    if (p.m_kind == CProp::Bool) {
        m_pendBool = choice == 0;
    } else if (choice == 0) {
        m_pendColor = (COLORREF)-1;
    } else if (choice == 1) {
        COLORREF c = m_pendColor == (COLORREF)-1 ? p.m_automatic : m_pendColor;
        if (GetPresenter()->ChooseColor(m_hWnd, c))
            m_pendColor = c;
    }
}

BOOL CPropList::SetEditorChoice(int choice) {
    CProp* p = GetProperty(m_editing);
    if (!p || choice < 0 || choice >= m_editor.GetCount())
        return FALSE;
    m_editor.SetCurSel(choice);
    ApplyChoice(*p, choice);
    return TRUE;
}

void CPropList::EndEditItem(BOOL bCommit) {
    int i = m_editing;
    if (i < 0)
        return;
    m_editing = -1;
    if (bCommit) {
        CProp* p = GetProperty(i);
        if (p->m_kind == CProp::Bool)
            p->m_bool = m_pendBool;
        else
            p->m_color = m_pendColor;
        RefreshRow(i);
    }
    if (m_editor.m_hWnd)
        m_editor.ShowWindow(SW_HIDE);
}

KV_BEGIN_MESSAGE_MAP(CPropList, CWnd)
ON_WM_SIZE()
ON_WM_SETFOCUS()
ON_NOTIFY(LVN_ITEMCHANGED, kListId, OnListItemChanged)
ON_NOTIFY(NM_CLICK, kListId, OnListClick)
ON_NOTIFY(NM_DBLCLK, kListId, OnListClick)
ON_NOTIFY(LVN_KEYDOWN, kListId, OnListKeyDown)
ON_NOTIFY(NM_CUSTOMDRAW, kListId, OnListCustomDraw)
ON_CONTROL(CBN_SELCHANGE, kEditorId, OnEditorSelChange)
ON_CONTROL(CBN_KILLFOCUS, kEditorId, OnEditorKillFocus)
KV_END_MESSAGE_MAP()

void CPropList::OnSize(UINT, int, int) { Layout(); }

void CPropList::OnSetFocus(HWND) { ::SetFocus(m_list.m_hWnd); }

void CPropList::OnListItemChanged(NMHDR* hdr, LRESULT*) {
    NMLISTVIEW* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
    if ((nm->uChanged & LVIF_STATE) && (nm->uNewState & LVIS_SELECTED) && nm->iItem != m_cur) {
        if (m_editing >= 0)
            EndEditItem(TRUE);
        m_cur = nm->iItem;
        ShowDescription();
    }
}

void CPropList::OnListClick(NMHDR* hdr, LRESULT*) {
    NMITEMACTIVATE* nm = reinterpret_cast<NMITEMACTIVATE*>(hdr);
    if (nm->iItem >= 0 && (nm->iSubItem == 1 || hdr->code == NM_DBLCLK))
        EditItem(nm->iItem);
}

void CPropList::OnListKeyDown(NMHDR* hdr, LRESULT*) {
    NMLVKEYDOWN* nm = reinterpret_cast<NMLVKEYDOWN*>(hdr);
    if ((nm->wVKey == VK_F2 || nm->wVKey == VK_SPACE) && m_cur >= 0)
        EditItem(m_cur);
}

void CPropList::OnEditorSelChange() {
    if (CProp* p = GetProperty(m_editing))
        ApplyChoice(*p, m_editor.GetCurSel());
}

void CPropList::OnEditorKillFocus() { EndEditItem(TRUE); }

// Group rows in bold.
void CPropList::OnListCustomDraw(NMHDR* hdr, LRESULT* pResult) {
    NMLVCUSTOMDRAW* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(hdr);
    *pResult = CDRF_DODEFAULT;
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
        *pResult = CDRF_NOTIFYITEMDRAW;
    } else if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        CProp* p = GetProperty((int)cd->nmcd.dwItemSpec);
        if (p && p->GetKind() == CProp::Group && m_hBold) {
            ::SelectObject(cd->nmcd.hdc, m_hBold);
            *pResult = CDRF_NEWFONT;
        }
    }
}

} // namespace KvUi
