// The tri-state check-box tree.
#include "TreeCtrlEx.h"

#include <mutex>
#include <uxtheme.h>
#include <vssym32.h>

using namespace KvUi;

// ---- theme ---------------------------------------------------------------------------------

namespace {
typedef HANDLE(WINAPI* PfnOpenThemeData)(HWND, LPCWSTR);
typedef HRESULT(WINAPI* PfnCloseThemeData)(HANDLE);
typedef HRESULT(WINAPI* PfnDrawThemeBackground)(HANDLE, HDC, int, int, const RECT*, const RECT*);

std::mutex g_themeLock;
int g_themeInstances = 0;
int g_themeState = -1; // -1 not tried, 0 missing, 1 loaded
HMODULE g_hUxTheme = nullptr;
PfnOpenThemeData g_pfnOpen = nullptr;
PfnCloseThemeData g_pfnClose = nullptr;
PfnDrawThemeBackground g_pfnDraw = nullptr;

template <class F>
F Proc(HMODULE h, const char* name) {
    // The library's functions are looked up by name; their types are the documented ones.
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(h, name)));
}
} // namespace

CThemeEx::CThemeEx() {
    std::lock_guard<std::mutex> g(g_themeLock);
    ++g_themeInstances;
    if (g_themeState == -1) {
        g_hUxTheme = ::LoadLibraryW(L"uxtheme.dll");
        if (g_hUxTheme) {
            g_pfnOpen = Proc<PfnOpenThemeData>(g_hUxTheme, "OpenThemeData");
            g_pfnClose = Proc<PfnCloseThemeData>(g_hUxTheme, "CloseThemeData");
            g_pfnDraw = Proc<PfnDrawThemeBackground>(g_hUxTheme, "DrawThemeBackground");
        }
        g_themeState = g_hUxTheme ? 1 : 0;
    }
}

CThemeEx::~CThemeEx() {
    CloseThemeData();
    std::lock_guard<std::mutex> g(g_themeLock);
    if (--g_themeInstances == 0) {
        if (g_hUxTheme)
            ::FreeLibrary(g_hUxTheme);
        g_hUxTheme = nullptr;
        g_pfnOpen = nullptr;
        g_pfnClose = nullptr;
        g_pfnDraw = nullptr;
        g_themeState = -1;
    }
}

int CThemeEx::GetLoadState() {
    std::lock_guard<std::mutex> g(g_themeLock);
    return g_themeState;
}

HANDLE CThemeEx::OpenThemeData(HWND hWnd, const wchar_t* classList) {
    m_hTheme = g_pfnOpen ? g_pfnOpen(hWnd, classList) : nullptr;
    return m_hTheme;
}

HRESULT CThemeEx::CloseThemeData() {
    if (!g_pfnClose)
        return E_FAIL;
    if (!m_hTheme)
        return 1;
    HRESULT hr = g_pfnClose(m_hTheme);
    if (SUCCEEDED(hr))
        m_hTheme = nullptr;
    return hr;
}

HRESULT CThemeEx::DrawThemeBackground(HDC hdc, int part, int state, const RECT* rc, const RECT* clip) {
    if (!g_pfnDraw)
        return E_FAIL;
    return g_pfnDraw(m_hTheme, hdc, part, state, rc, clip);
}

// ---- tree ----------------------------------------------------------------------------------

KV_BEGIN_MESSAGE_MAP(CTreeCtrlEx, CTreeCtrl)
ON_MESSAGE(WM_CREATE, OnCreateMsg)
ON_MESSAGE(WM_PAINT, OnPaintMsg)
ON_NOTIFY_REFLECT(NM_CLICK, OnClick)
KV_END_MESSAGE_MAP()

CTreeCtrlEx::~CTreeCtrlEx() = default;

HTREEITEM CTreeCtrlEx::Resolve(HTREEITEM h) const { return h == TVI_ROOT ? GetRootItem() : h; }

UINT CTreeCtrlEx::GetCheckState(HTREEITEM h) const {
    h = Resolve(h);
    return h ? GetItemState(h, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK : 0;
}

BOOL CTreeCtrlEx::IsPartial(HTREEITEM h) const { return Resolve(h) && GetCheckState(h) == StatePartial; }

BOOL CTreeCtrlEx::IsLocked(HTREEITEM h) const {
    UINT s = GetCheckState(h);
    return Resolve(h) && (s == StateLockedUnchecked || s == StateLockedChecked);
}

BOOL CTreeCtrlEx::IsCheckedOrPartial(HTREEITEM h) const {
    UINT s = GetCheckState(h);
    return Resolve(h) && (s == StateChecked || s == StateLockedChecked || s == StatePartial);
}

BOOL CTreeCtrlEx::GetCheck(HTREEITEM h) const {
    UINT s = GetCheckState(h);
    return Resolve(h) && (s == StateChecked || s == StateLockedChecked);
}

// The summary of an item's direct children: unchecked when none is checked or partial, checked
// when all are and none is partial, partial otherwise.
UINT CTreeCtrlEx::Summary(HTREEITEM h, bool* hasChildren) const {
    int count = 0, checkedOrPartial = 0, partial = 0;
    for (HTREEITEM c = GetChildItem(h); c; c = GetNextSiblingItem(c)) {
        ++count;
        UINT s = GetCheckState(c);
        if (s == StateChecked || s == StateLockedChecked || s == StatePartial)
            ++checkedOrPartial;
        if (s == StatePartial)
            ++partial;
    }
    *hasChildren = count > 0;
    if (checkedOrPartial == 0)
        return StateUnchecked;
    if (checkedOrPartial == count && partial == 0)
        return StateChecked;
    return StatePartial;
}

void CTreeCtrlEx::UpdateFromChildren(HTREEITEM h) {
    h = Resolve(h);
    if (!h || IsLocked(h))
        return;
    bool hasChildren = false;
    UINT s = Summary(h, &hasChildren);
    if (hasChildren)
        SetImage(h, s);
}

void CTreeCtrlEx::ToggleCheck(HTREEITEM h) {
    h = Resolve(h);
    if (!h || IsLocked(h))
        return;
    // Unchecked when no child is left that is unchecked and not locked; else checked. A leaf
    // counts itself.
    bool uncheckedFree = false;
    HTREEITEM c = GetChildItem(h);
    if (!c) {
        uncheckedFree = !IsCheckedOrPartial(h);
    } else {
        for (; c && !uncheckedFree; c = GetNextSiblingItem(c))
            uncheckedFree = !IsCheckedOrPartial(c) && !IsLocked(c);
    }
    SetCheckState(h, uncheckedFree ? StateChecked : StateUnchecked, GetCheckState(h));
}

// Sets the subtree below and including an item, deepest items first, so every item is summarised
// once from children that are already final.
void CTreeCtrlEx::SetDown(HTREEITEM h, UINT newState) {
    HTREEITEM c = GetChildItem(h);
    if (!c) {
        SetImage(h, newState);
        return;
    }
    for (; c; c = GetNextSiblingItem(c)) {
        if (IsLocked(c) || GetCheckState(c) == newState)
            continue;
        SetDown(c, newState);
    }
    bool hasChildren = false;
    SetImage(h, Summary(h, &hasChildren));
}

int CTreeCtrlEx::SetCheckState(HTREEITEM h, UINT newState, UINT oldState) {
    h = Resolve(h);
    if (!h || newState == oldState)
        return 1;
    SetDown(h, newState);
    // Each ancestor once, from the parent up: the walk is linear in the tree's depth.
    for (HTREEITEM p = GetParentItem(h); p; p = GetParentItem(p))
        UpdateFromChildren(p);
    return 1;
}

BOOL CTreeCtrlEx::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_SPACE && pMsg->hwnd == m_hWnd && HasCheckBoxes()) {
        HTREEITEM caret = GetSelectedItem();
        if (caret && !IsLocked(caret))
            ToggleCheck(caret);
        // The parent hears of it as of a selection, so it refreshes what it shows for the item.
        NMTREEVIEWW nm = {};
        nm.hdr.hwndFrom = m_hWnd;
        nm.hdr.idFrom = (UINT_PTR)GetDlgCtrlID();
        nm.hdr.code = TVN_SELCHANGEDW;
        nm.itemNew.hItem = caret;
        ::SendMessageW(::GetParent(m_hWnd), WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
        return TRUE;
    }
    return CTreeCtrl::PreTranslateMessage(pMsg);
}

void CTreeCtrlEx::OnClick(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    if (!HasCheckBoxes())
        return;
    DWORD pos = ::GetMessagePos();
    POINT pt = {(short)LOWORD(pos), (short)HIWORD(pos)};
    ::ScreenToClient(m_hWnd, &pt);
    UINT flags = 0;
    HTREEITEM h = HitTest(pt, &flags);
    *pResult = ClickHit(h, flags);
}

LRESULT CTreeCtrlEx::ClickHit(HTREEITEM h, UINT flags) {
    if (h && (flags & TVHT_ONITEMSTATEICON)) {
        Select(h, TVGN_CARET);
        if (!IsLocked(h))
            ToggleCheck(h);
        return 1;
    }
    if (h && (flags & TVHT_ONITEMINDENT))
        return 1;
    if (!h || (flags & TVHT_ONITEMLABEL)) {
        if (h)
            Select(h, TVGN_CARET);
        return 1;
    }
    return 0; // icon, expand button, right of the item: the control's own handling
}

LRESULT CTreeCtrlEx::OnCreateMsg(WPARAM, LPARAM) { return Default(); }

LRESULT CTreeCtrlEx::OnPaintMsg(WPARAM, LPARAM) {
    if (!m_stateImages.m_hImageList)
        BuildStateImages();
    return Default();
}

void CTreeCtrlEx::BuildStateImages() {
    const int cell = 16;
    CMaskedCanvas canvas(m_hWnd, cell * 6, cell, RGB(255, 0, 255));
    if (!canvas.IsValid())
        return;
    HDC dc = canvas.GetDC();
    {
        CThemeEx theme;
        if (theme.OpenThemeData(m_hWnd, L"Button")) {
            // Unchecked, checked, unchecked inactive, checked inactive, mixed.
            static const int states[5] = {CBS_UNCHECKEDNORMAL, CBS_CHECKEDNORMAL, CBS_UNCHECKEDDISABLED,
                                          CBS_CHECKEDDISABLED, CBS_MIXEDNORMAL};
            for (int i = 0; i < 5; ++i) {
                RECT rc = {cell * (i + 1), 0, cell * (i + 2), cell};
                theme.DrawThemeBackground(dc, BP_CHECKBOX, states[i], &rc, nullptr);
            }
            theme.CloseThemeData();
        } else {
            static const UINT states[5] = {DFCS_FLAT, DFCS_FLAT | DFCS_CHECKED,
                                           DFCS_FLAT | DFCS_INACTIVE | DFCS_BUTTON3STATE,
                                           DFCS_FLAT | DFCS_INACTIVE | DFCS_CHECKED | DFCS_BUTTON3STATE,
                                           DFCS_FLAT | DFCS_INACTIVE | DFCS_CHECKED | DFCS_BUTTON3STATE};
            for (int i = 0; i < 5; ++i) {
                RECT rc = {cell * (i + 1) + 1, 1, cell * (i + 2) - 1, cell - 1};
                ::DrawFrameControl(dc, &rc, DFC_BUTTON, states[i]);
            }
        }
    }
    if (m_stateImages.Create(cell, cell, ILC_COLORDDB | ILC_MASK, 6, 0) && canvas.AddTo(m_stateImages) >= 0)
        SetImageList(m_stateImages.m_hImageList, TVSIL_STATE);
}
