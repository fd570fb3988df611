// The frame, tree, property list, pick and OK of the hardware and disk-sector pickers.
#include "PickerTreeDialog.h"

#include "PickerCommon.h"
#include "pickers_ids.h"

#include <algorithm>

using namespace KvUi;
using namespace VDeviceInfo;

namespace {
// Posted to the dialog after a click on a state image has been handled by the tree.
const UINT WM_PICKER_CHECK_CHANGED = WM_APP + 0x317;
} // namespace

KV_BEGIN_MESSAGE_MAP(CPickerGrid, CPropList)
ON_WM_SIZE()
KV_END_MESSAGE_MAP()

void CPickerGrid::OnSize(UINT type, int cx, int cy) {
    CPropList::OnSize(type, cx, cy);
    FitColumns();
}

namespace {
// The text's width in the list's font.
int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &size);
    return size.cx;
}

// The ways a text can be cut in its middle to fit a width: its first h characters, "…" and as
// many of its last ones as fit, for every h; the cut that keeps 8 characters in front first.
struct Cut {
    size_t head, tail;
};
std::vector<Cut> MiddleCuts(HDC dc, const std::wstring& text, int width) {
    std::vector<Cut> cuts;
    const size_t n = text.size();
    size_t tail = n > 0 ? n - 1 : 0;
    for (size_t head = 0; head < n; ++head) {
        if (head + tail >= n)
            tail = n - head - 1;
        while (tail > 0 && TextWidth(dc, text.substr(0, head) + L"\u2026" + text.substr(n - tail)) > width)
            --tail;
        if (TextWidth(dc, text.substr(0, head) + L"\u2026" + text.substr(n - tail)) > width)
            break; // even the head alone is too wide now
        cuts.push_back({head, tail});
    }
    std::stable_sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) {
        auto off = [](size_t h) { return h > 8 ? h - 8 : 8 - h; };
        return off(a.head) < off(b.head);
    });
    return cuts;
}

// A name as its cell shows it: whole when it fits; else cut in its middle, choosing a cut that no
// other name of the list could give (so "System BIOS Major Release" and "... Minor Release" read
// apart), or the first cut when every cut is shared.
std::wstring ShownName(HDC dc, const std::vector<std::wstring>& names, size_t index, int width) {
    const std::wstring& text = names[index];
    if (TextWidth(dc, text) <= width)
        return text;
    std::vector<Cut> cuts = MiddleCuts(dc, text, width);
    if (cuts.empty())
        return std::wstring(L"\u2026");
    auto make = [&](const Cut& c) { return text.substr(0, c.head) + L"\u2026" + text.substr(text.size() - c.tail); };
    for (const Cut& c : cuts) {
        const std::wstring head = text.substr(0, c.head), tail = text.substr(text.size() - c.tail);
        bool shared = false;
        for (size_t k = 0; k < names.size() && !shared; ++k)
            shared = k != index && names[k] != text && names[k].size() >= c.head + c.tail &&
                     names[k].compare(0, c.head, head) == 0 &&
                     names[k].compare(names[k].size() - c.tail, c.tail, tail) == 0;
        if (!shared)
            return make(c);
    }
    return make(cuts.front());
}
} // namespace

void CPickerGrid::FitColumns() {
    HWND list = ::FindWindowExW(m_hWnd, nullptr, WC_LISTVIEWW, nullptr);
    if (!list)
        return;
    RECT rc;
    ::GetClientRect(list, &rc);
    const int width = rc.right - rc.left;
    const int padding = 12; // the cell's inner margins
    HDC dc = ::GetDC(list);
    HGDIOBJ font = ::SelectObject(dc, (HGDIOBJ)::SendMessageW(list, WM_GETFONT, 0, 0));
    // The names as wide as the widest needs, from half the list up to two thirds of it.
    int names = width / 2;
    for (int i = 0; i < GetPropertyCount(); ++i)
        names = std::max(names, TextWidth(dc, GetProperty(i)->GetName()) + padding + ::GetSystemMetrics(SM_CXSMICON));
    names = std::max(width / 2, std::min(names, width * 2 / 3));
    ListView_SetColumnWidth(list, 0, names);
    ListView_SetColumnWidth(list, 1, std::max(width - names, 0));
    // A name longer than its cell is cut in its middle, so rows stay apart.
    std::vector<std::wstring> all;
    for (int i = 0; i < GetPropertyCount(); ++i)
        all.push_back(GetProperty(i)->GetName());
    for (int i = 0; i < (int)all.size() && i < ListView_GetItemCount(list); ++i) {
        RECT label = {};
        ListView_GetSubItemRect(list, i, 0, LVIR_LABEL, &label);
        std::wstring text = ShownName(dc, all, i, label.right - label.left - padding);
        ListView_SetItemText(list, i, 0, const_cast<wchar_t*>(text.c_str()));
    }
    ::SelectObject(dc, font);
    ::ReleaseDC(list, dc);
}

KV_BEGIN_MESSAGE_MAP(CPickerTreeDialog, ResizeDialog)
ON_MESSAGE(WM_CREATE, OnCreateMsg)
ON_MESSAGE(WM_SIZE, OnSizeMsg)
ON_MESSAGE(WM_PICKER_CHECK_CHANGED, OnCheckChanged)
ON_NOTIFY(TVN_SELCHANGEDW, kTreeId, OnSelChanged)
KV_END_MESSAGE_MAP()

CPickerTreeDialog::CPickerTreeDialog(UINT nIDTemplate, int mode, CWnd* pParent)
    : ResizeDialog(nIDTemplate, pParent), m_nMode(mode) {}

CPickerTreeDialog::~CPickerTreeDialog() = default;

void CPickerTreeDialog::DefineLayout(std::vector<ResizeLayoutEntry>& defs) {
    defs.push_back({IDC_PICKER_FRAME, 0x03, {}});
    defs.push_back({IDOK, 0x0C, {}});
    defs.push_back({IDCANCEL, 0x0C, {}});
}

LRESULT CPickerTreeDialog::OnCreateMsg(WPARAM wp, LPARAM lp) {
    LRESULT r = ResizeDialog::OnCreateMsg(wp, lp);
    if (r == -1)
        return r;
    std::wstring cls = RegisterWndClass(CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_ARROW),
                                        (HBRUSH)::GetStockObject(WHITE_BRUSH), ::LoadIconW(nullptr, IDI_APPLICATION));
    RECT none = {};
    if (!m_frame.Create(cls.c_str(), this, none) ||
        !m_splitter.CreateStatic(&m_frame, 1, 2, WS_CHILD | WS_VISIBLE, kTreeId) ||
        !m_tree.Create(WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                           TVS_SHOWSELALWAYS,
                       none, &m_splitter, CSplitterWnd::IdFromRowCol(0, 0)) ||
        !m_grid.Create(WS_CHILD | WS_VISIBLE | WS_TABSTOP, none, &m_splitter, CSplitterWnd::IdFromRowCol(0, 1)))
        return -1;
    return r;
}

void CPickerTreeDialog::PlaceFrame() {
    RECT rc;
    ::GetWindowRect(GetDlgItem(IDC_PICKER_FRAME), &rc);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    ::SetWindowPos(m_frame.m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

BOOL CPickerTreeDialog::OnInitDialog() {
    KvUi::CWaitCursor wait;
    ResizeDialog::OnInitDialog();
    PlaceFrame();
    RECT rc;
    m_frame.GetClientRect(&rc);
    int w = rc.right;
    m_splitter.SetColumnInfo(0, std::max(2 * (w / 3), 10), 10);
    m_splitter.SetColumnInfo(1, std::max(w / 3, 10), 10);
    m_frame.SetContent(m_splitter.m_hWnd);
    m_splitter.RecalcLayout();
    if (m_nMode)
        ::SetWindowLongW(m_tree.m_hWnd, GWL_STYLE, ::GetWindowLongW(m_tree.m_hWnd, GWL_STYLE) | TVS_CHECKBOXES);
    m_grid.SetHeaders(LoadStr(IDS_PICK_PARAMETER), LoadStr(IDS_PICK_VALUE));
    m_grid.SetBoolLabels(LoadStr(IDS_PICK_YES), LoadStr(IDS_PICK_NO));
    FillTree();
    UpdateOk();
    ::SetFocus(m_tree.m_hWnd);
    return FALSE;
}

void CPickerTreeDialog::TakeDeviceImages() {
    m_deviceImages = Common::GetDeviceImageList();
    if (m_deviceImages)
        m_images.Attach(m_deviceImages->GetImageList(), TRUE);
}

LPARAM CPickerTreeDialog::AddEntry(const SmartPtr<IEntry>& e) {
    m_entries.push_back(e);
    return (LPARAM)m_entries.size() - 1;
}

SmartPtr<IEntry> CPickerTreeDialog::GetItemEntry(HTREEITEM h) const {
    if (!h)
        return SmartPtr<IEntry>();
    LPARAM i = m_tree.GetItemData(h);
    return i >= 0 && i < (LPARAM)m_entries.size() ? m_entries[i] : SmartPtr<IEntry>();
}

void CPickerTreeDialog::WalkPostOrder(const std::function<void(HTREEITEM)>& fn) const {
    // Iterative: deep inventories (long EBR chains) must not exhaust the stack.
    std::vector<std::pair<HTREEITEM, bool>> stack;
    std::vector<HTREEITEM> roots;
    for (HTREEITEM h = m_tree.GetRootItem(); h; h = m_tree.GetNextSiblingItem(h))
        roots.push_back(h);
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        stack.push_back({*it, false});
    while (!stack.empty()) {
        auto [h, visited] = stack.back();
        stack.pop_back();
        if (visited) {
            fn(h);
            continue;
        }
        stack.push_back({h, true});
        std::vector<HTREEITEM> children;
        for (HTREEITEM c = m_tree.GetChildItem(h); c; c = m_tree.GetNextSiblingItem(c))
            children.push_back(c);
        for (auto c = children.rbegin(); c != children.rend(); ++c)
            stack.push_back({*c, false});
    }
}

bool CPickerTreeDialog::IsFullyChecked(HTREEITEM h) const { return m_tree.GetCheck(h) && !m_tree.IsPartial(h); }

std::vector<HTREEITEM> CPickerTreeDialog::CollectPicks() const {
    std::vector<HTREEITEM> out;
    if (m_nMode) {
        WalkPostOrder([&](HTREEITEM h) {
            if (IsFullyChecked(h) && IsPickEligible(h) && !IsCoveredByParent(h))
                out.push_back(h);
        });
    } else {
        HTREEITEM h = m_tree.GetSelectedItem();
        if (h && IsPickEligible(h))
            out.push_back(h);
    }
    return out;
}

void CPickerTreeDialog::UpdateOk() { EnableDlgItem(IDOK, !CollectPicks().empty()); }

void CPickerTreeDialog::AddRow(const std::wstring& name, const std::wstring& value) {
    m_grid.AddProperty(CProp::MakeText(name, value));
}

void CPickerTreeDialog::OnSelChanged(NMHDR* hdr, LRESULT* pResult) {
    auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
    *pResult = 0;
    HTREEITEM h = nm->itemNew.hItem;
    if (!h || h == nm->itemOld.hItem)
        return;
    UpdateOk();
    m_grid.RemoveAll();
    ShowProperties(h);
    m_grid.FitColumns();
    m_grid.Invalidate();
}

LRESULT CPickerTreeDialog::OnCheckChanged(WPARAM wp, LPARAM) {
    NMTREEVIEWW nm = {};
    nm.hdr.hwndFrom = m_tree.m_hWnd;
    nm.hdr.idFrom = kTreeId;
    nm.hdr.code = TVN_SELCHANGEDW;
    nm.itemNew.hItem = reinterpret_cast<HTREEITEM>(wp);
    LRESULT r = 0;
    OnSelChanged(&nm.hdr, &r);
    return 0;
}

BOOL CPickerTreeDialog::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_TAB) {
        HWND focus = ::GetFocus();
        HWND ok = GetDlgItem(IDOK), cancel = GetDlgItem(IDCANCEL);
        if (focus == m_tree.m_hWnd) {
            ::SetFocus(m_grid.m_hWnd);
            return TRUE;
        }
        if (focus && (focus == m_grid.m_hWnd || ::IsChild(m_grid.m_hWnd, focus))) {
            SendMessage(WM_NEXTDLGCTL, (WPARAM)(::IsWindowEnabled(ok) ? ok : cancel), TRUE);
            return TRUE;
        }
        if (focus == cancel) {
            ::SetFocus(m_tree.m_hWnd);
            return TRUE;
        }
    }
    if (m_nMode && pMsg->message == WM_LBUTTONDOWN && pMsg->hwnd == m_tree.m_hWnd &&
        (pMsg->wParam & (MK_LBUTTON | MK_SHIFT | MK_CONTROL | MK_RBUTTON | MK_MBUTTON)) == MK_LBUTTON) {
        TVHITTESTINFO hit = {};
        hit.pt = {(short)LOWORD(pMsg->lParam), (short)HIWORD(pMsg->lParam)};
        HTREEITEM h = TreeView_HitTest(m_tree.m_hWnd, &hit);
        // The tree toggles the item while it handles the click; OK follows once it has.
        if (h && (hit.flags & TVHT_ONITEMSTATEICON))
            PostMessage(WM_PICKER_CHECK_CHANGED, (WPARAM)h);
    }
    return ResizeDialog::PreTranslateMessage(pMsg);
}

LRESULT CPickerTreeDialog::OnSizeMsg(WPARAM wp, LPARAM lp) {
    LRESULT r = ResizeDialog::OnSizeMsg(wp, lp);
    if (m_frame.m_hWnd && wp != SIZE_MINIMIZED) {
        RECT rc;
        ::GetWindowRect(GetDlgItem(IDC_PICKER_FRAME), &rc);
        ::SetWindowPos(m_frame.m_hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    return r;
}

void CPickerTreeDialog::OnOK() {
    std::vector<HTREEITEM> picks = CollectPicks();
    if (picks.empty())
        return; // nothing would be returned: OK is not enabled then
    m_picked.clear();
    for (HTREEITEM h : picks)
        m_picked.push_back({PathOf(h), GetItemEntry(h)});
    if (AcceptPicks())
        EndDialog(IDOK);
}

// ---- parameters of a picked entry --------------------------------------------------------------

int GetPickedEntryParams(const PickedEntry& picked, std::map<std::wstring, _value_t>& params) {
    if (SmartPtr<ISector> sector = picked.entry) {
        params.emplace(L"DISK", _value_t(sector->GetDiskNumber()));
        params.emplace(L"SECTOR", _value_t((long long)sector->GetNumber()));
        return 4;
    }
    if (SmartPtr<IEquipment> device = picked.entry) {
        std::list<SmartPtr<IProperty>> props;
        device->GetProperties(props, nullptr);
        for (const auto& p : props)
            params.emplace(p->GetName(), p->GetValue());
        return 5;
    }
    if (SmartPtr<ISMBIOSTable> table = picked.entry) {
        params.emplace(L"Table Handle", _value_t((unsigned long)table->GetHandle()));
        params.emplace(L"Table Type", _value_t((unsigned long)table->GetType()));
        params.emplace(L"Table Length", _value_t((unsigned long)table->GetLength()));
        return 6;
    }
    if (SmartPtr<ISMBIOSField> field = picked.entry) {
        SMBIOSHeader header = field->GetHeader();
        params.emplace(L"Table Handle", _value_t((int)header.Handle));
        params.emplace(L"Table Type", _value_t((int)header.Type));
        params.emplace(L"Table Length", _value_t((int)header.Length));
        params.emplace(L"Field Offset", _value_t((unsigned long)field->GetOffset()));
        params.emplace(L"Field Length", _value_t((unsigned long)field->GetLength()));
        _value_t v = field->GetValue();
        bool text = v.vtype() == _value_t::vt_wstring || v.vtype() == _value_t::vt_string;
        params.emplace(L"Field Type", _value_t(text));
        return 7;
    }
    return -1;
}
