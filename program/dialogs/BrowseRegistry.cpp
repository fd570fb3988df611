// The registry picker.
#include "BrowseRegistry.h"

#include "PickerCommon.h"
#include "pickers_ids.h"

#include <KvCmdSequence.h>
#include <KvExchangeUtils.h>
#include <KvText.h>
#include <KvRegTokens.h>

#include <algorithm>
#include <cwctype>

using namespace KvUi;

namespace {

const wchar_t* const kPlaceholderText = L"---";
const wchar_t* const kDefaultValueText = L"(Default)";
const wchar_t* const kProfileEntry = L"RegistryDefaultKey";

// Image indexes of the tree's list.
const int ImageRoot = 0;
const int ImageKeySelected = 1;
const int ImageKey = 2;
const int ImageValue = 3;

// A value name as long as the listing buffer takes (the platform's limit for the buffer we give).
const DWORD kNameBuffer = 260;

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), (int)a.size(), b.c_str(), (int)b.size(), TRUE) == CSTR_EQUAL;
}

std::wstring ReplaceAll(std::wstring s, const std::wstring& from, const std::wstring& to) {
    for (size_t at = 0; (at = s.find(from, at)) != std::wstring::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// Finds a token in any letter case.
size_t FindNoCase(const std::wstring& s, const std::wstring& token) {
    std::wstring us = KvBase::UpperCase(s), ut = KvBase::UpperCase(token);
    return us.find(ut);
}

} // namespace

KV_BEGIN_MESSAGE_MAP(dlgBrowseRegistry, ResizeDialog)
ON_MESSAGE(WM_SIZE, OnSizeMsg)
ON_MESSAGE(WM_DESTROY, OnDestroyMsg)
ON_NOTIFY(TVN_ITEMEXPANDINGW, IDC_REGISTRY_TREE, OnItemExpanding)
ON_NOTIFY(TVN_SELCHANGEDW, IDC_REGISTRY_TREE, OnSelChanged)
KV_END_MESSAGE_MAP()

dlgBrowseRegistry::dlgBrowseRegistry(CWnd* pParent, const wchar_t* prompt, int mode, std::wstring* path)
    : ResizeDialog(IDD_BROWSE_REGISTRY, pParent), m_strPrompt(prompt ? prompt : L""), m_nMode(mode), m_pPath(path) {
    m_entries.push_back(Entry()); // entry 0: the items without an entry
}

dlgBrowseRegistry::~dlgBrowseRegistry() { CloseKeys(); }

void dlgBrowseRegistry::DefineLayout(std::vector<ResizeLayoutEntry>& defs) {
    defs.push_back({IDC_REGISTRY_TREE, 0x03, {}});
    defs.push_back({IDOK, 0x0C, {}});
    defs.push_back({IDCANCEL, 0x0C, {}});
}

BOOL dlgBrowseRegistry::OnInitDialog() {
    ResizeDialog::OnInitDialog();
    if (!m_strPrompt.empty())
        SetDlgItemText(IDC_PICKER_PROMPT, m_strPrompt);
    m_tree.Attach(GetDlgItem(IDC_REGISTRY_TREE));
    m_images.Create(IDB_REGISTRY_TREE, 16, 0, RGB(255, 0, 255));
    m_tree.SetImageList(m_images.m_hImageList, TVSIL_NORMAL);
    m_strRemembered = ReadProfileText(L"", kProfileEntry);

    KvUi::CWaitCursor wait;
    m_hRoot = m_tree.InsertItem(KvUi::LoadStr(IDS_PICK_REGISTRY_ROOT), ImageRoot, ImageRoot, TVI_ROOT, TVI_LAST, 0);
    for (const RegRootKey& root : RegRootKeys) {
        int index = AddEntry(KindRootKey, (LONG_PTR)root.key, root.name);
        HTREEITEM h = m_tree.InsertItem(root.name, ImageKey, ImageKeySelected, m_hRoot, TVI_LAST, index);
        m_entries[index].item = h;
        FirstFill(h, root.key);
    }
    m_tree.Expand(m_hRoot, TVE_EXPAND);
    // OK only while an item that can be picked is selected.
    EnableDlgItem(IDOK, FALSE);
    SelectStart(m_pPath && !m_pPath->empty() ? *m_pPath : m_strRemembered);
    EnableDlgItem(IDOK, IsPickable(m_tree.GetSelectedItem()));
    return TRUE;
}

int dlgBrowseRegistry::AddEntry(Kind kind, LONG_PTR handle, const std::wstring& name) {
    Entry e;
    e.kind = kind;
    e.handle = handle;
    e.name = name;
    m_entries.push_back(e);
    return (int)m_entries.size() - 1;
}

dlgBrowseRegistry::Entry* dlgBrowseRegistry::EntryOf(HTREEITEM h) {
    if (!h)
        return nullptr;
    LPARAM i = m_tree.GetItemData(h);
    return i > 0 && i < (LPARAM)m_entries.size() ? &m_entries[i] : nullptr;
}

const dlgBrowseRegistry::Entry* dlgBrowseRegistry::EntryOf(HTREEITEM h) const {
    return const_cast<dlgBrowseRegistry*>(this)->EntryOf(h);
}

dlgBrowseRegistry::Kind dlgBrowseRegistry::GetItemKind(HTREEITEM h) const {
    const Entry* e = EntryOf(h);
    return e ? e->kind : KindNone;
}

LONG_PTR dlgBrowseRegistry::GetItemMarker(HTREEITEM h) const {
    const Entry* e = EntryOf(h);
    return e && e->kind == KindValue ? e->handle : 0;
}

int dlgBrowseRegistry::GetOpenKeyCount() const {
    return (int)std::count_if(m_entries.begin(), m_entries.end(),
                              [](const Entry& e) { return e.kind == KindKey && e.handle != 0; });
}

HKEY dlgBrowseRegistry::KeyOf(HTREEITEM h) {
    Entry* e = EntryOf(h);
    if (!e || (e->kind != KindRootKey && e->kind != KindKey))
        return nullptr;
    if (e->kind == KindRootKey || e->handle)
        return (HKEY)e->handle;
    HKEY parent = KeyOf(m_tree.GetParentItem(h));
    HKEY key = nullptr;
    if (!parent || ::RegOpenKeyExW(parent, e->name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    e = EntryOf(h); // the table does not move here, but stay safe against later changes
    e->handle = (LONG_PTR)key;
    return key;
}

bool dlgBrowseRegistry::IsEmptyKey(HKEY key) const {
    DWORD subkeys = 0, values = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    return m_nMode ? subkeys == 0 && values == 0 : subkeys == 0;
}

void dlgBrowseRegistry::FirstFill(HTREEITEM h, HKEY key) {
    if (!IsEmptyKey(key))
        m_tree.InsertItem(kPlaceholderText, ImageRoot, ImageRoot, h, TVI_LAST, 0);
}

bool dlgBrowseRegistry::IsHiddenSubkey(HTREEITEM parent, const std::wstring& name) const {
    const Entry* p = EntryOf(parent);
    if (SameText(name, L"VirtualStore")) {
        std::wstring full = KvBase::UpperCase(KeyPathOf(parent) + L"\\" + name);
        return !KvCmdSequence::IsRegKeyExist(full.c_str());
    }
    if (p && p->kind == KindRootKey && p->handle == (LONG_PTR)HKEY_LOCAL_MACHINE)
        return SameText(name, L"HARDWARE") || SameText(name, L"COMPONENTS") || SameText(name, L"SCHEMA");
    return false;
}

bool dlgBrowseRegistry::IsVirtualKey(HKEY key) const { return KvCmdSequence::IsRegKeyVirtual(key) != 0; }

std::wstring dlgBrowseRegistry::KeyPathOf(HTREEITEM h) const {
    std::wstring path;
    for (; h && h != m_hRoot; h = m_tree.GetParentItem(h)) {
        const Entry* e = EntryOf(h);
        std::wstring part = e ? e->name : m_tree.GetItemText(h);
        path = path.empty() ? part : part + L"\\" + path;
    }
    return path;
}

bool dlgBrowseRegistry::FillItem(HTREEITEM h) {
    const Entry* owner = EntryOf(h);
    if (!owner || (owner->kind != KindRootKey && owner->kind != KindKey))
        return false;
    HTREEITEM first = m_tree.GetChildItem(h);
    if (!first || m_tree.GetItemData(first) != 0)
        return false; // listed already, or empty
    HKEY key = KeyOf(h);
    KvUi::CWaitCursor wait;
    m_tree.SetRedraw(FALSE);
    m_tree.DeleteItem(first);
    if (key) {
        // Subkeys. A name the buffer cannot hold is skipped; any other error (a key deleted while
        // it is listed, say) ends the listing instead of asking for the same index again.
        for (DWORD i = 0;; ++i) {
            wchar_t name[kNameBuffer];
            DWORD len = kNameBuffer;
            LONG rc = ::RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_MORE_DATA)
                continue;
            if (rc != ERROR_SUCCESS)
                break;
            std::wstring sub(name, len);
            if (IsHiddenSubkey(h, sub))
                continue;
            HKEY probe = nullptr;
            if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &probe) != ERROR_SUCCESS)
                continue;
            if (IsVirtualKey(probe)) {
                ::RegCloseKey(probe);
                continue;
            }
            // The key is opened again when it is expanded: only expanded keys stay open.
            int index = AddEntry(KindKey, 0, sub);
            HTREEITEM item = m_tree.InsertItem(sub, ImageKey, ImageKeySelected, h, TVI_LAST, index);
            m_entries[index].item = item;
            FirstFill(item, probe);
            ::RegCloseKey(probe);
        }
        // Values. A name too long for the buffer is skipped and the listing goes on.
        if (m_nMode) {
            for (DWORD i = 0;; ++i) {
                wchar_t name[kNameBuffer];
                DWORD len = kNameBuffer;
                LONG rc = ::RegEnumValueW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
                if (rc == ERROR_MORE_DATA)
                    continue;
                if (rc != ERROR_SUCCESS)
                    break;
                std::wstring value(name, len);
                if (::RegQueryValueExW(key, value.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                    continue;
                LONG_PTR marker = value.empty()                             ? MarkerDefault
                                  : value.find(L'\\') != std::wstring::npos ? MarkerBackslash
                                                                            : MarkerValue;
                int index = AddEntry(KindValue, marker, value);
                HTREEITEM item = m_tree.InsertItem(value.empty() ? std::wstring(kDefaultValueText) : value, ImageValue,
                                                   ImageValue, h, TVI_LAST, index);
                m_entries[index].item = item;
            }
        }
    }
    // Keys before values, each by name without regard to case.
    m_tree.SortChildren(h, [this](LPARAM a, LPARAM b) {
        const Entry& x = m_entries[a];
        const Entry& y = m_entries[b];
        bool xv = x.kind == KindValue, yv = y.kind == KindValue;
        if (xv != yv)
            return xv ? 1 : -1;
        std::wstring tx = xv && x.handle == MarkerDefault ? kDefaultValueText : x.name;
        std::wstring ty = yv && y.handle == MarkerDefault ? kDefaultValueText : y.name;
        return ::lstrcmpiW(tx.c_str(), ty.c_str());
    });
    m_tree.SetRedraw(TRUE);
    return true;
}

void dlgBrowseRegistry::OnItemExpanding(NMHDR* hdr, LRESULT* pResult) {
    auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
    *pResult = 0;
    if (nm->action & TVE_EXPAND)
        FillItem(nm->itemNew.hItem);
}

bool dlgBrowseRegistry::IsPickable(HTREEITEM h) const {
    Kind k = GetItemKind(h);
    return m_nMode ? k == KindValue : k == KindKey;
}

void dlgBrowseRegistry::OnSelChanged(NMHDR* hdr, LRESULT* pResult) {
    auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
    EnableDlgItem(IDOK, IsPickable(nm->itemNew.hItem));
    *pResult = 0;
}

HTREEITEM dlgBrowseRegistry::FindChild(HTREEITEM parent, const std::wstring& text) const {
    for (HTREEITEM c = m_tree.GetChildItem(parent); c; c = m_tree.GetNextSiblingItem(c))
        if (m_tree.GetItemData(c) != 0 && SameText(m_tree.GetItemText(c), text))
            return c;
    return nullptr;
}

HTREEITEM dlgBrowseRegistry::FindValue(HTREEITEM key, const std::wstring& name, LONG_PTR marker) {
    for (HTREEITEM c = m_tree.GetChildItem(key); c; c = m_tree.GetNextSiblingItem(c)) {
        const Entry* e = EntryOf(c);
        if (e && e->kind == KindValue && e->handle == marker && (marker == MarkerDefault || SameText(e->name, name)))
            return c;
    }
    return nullptr;
}

void dlgBrowseRegistry::SelectStart(const std::wstring& path) {
    HTREEITEM cur = m_hRoot;
    std::wstring rest = path;
    while (!rest.empty()) {
        size_t bs = rest.find(L'\\');
        std::wstring part = rest.substr(0, bs);
        HTREEITEM child = nullptr;
        for (HTREEITEM c = m_tree.GetChildItem(cur); c && !child; c = m_tree.GetNextSiblingItem(c)) {
            Kind k = GetItemKind(c);
            if ((k == KindRootKey || k == KindKey) && SameText(EntryOf(c)->name, part))
                child = c;
        }
        if (child) {
            FillItem(child);
            m_tree.Expand(child, TVE_EXPAND);
            cur = child;
            rest = bs == std::wstring::npos ? std::wstring() : rest.substr(bs + 1);
            continue; // "key\" (an ordinary value remembered by its key) stops at the key
        }
        // A value: the rest of the path is its name, in token form or as the tree shows it.
        HTREEITEM value = nullptr;
        if (m_nMode && cur != m_hRoot) {
            if (SameText(rest, RegDefaultValueToken))
                value = FindValue(cur, L"", MarkerDefault);
            else if (FindNoCase(rest, RegBackslashToken) != std::wstring::npos)
                value = FindValue(cur, ReplaceAll(rest, RegBackslashToken, L"\\"), MarkerBackslash);
            else {
                value = FindValue(cur, rest, rest.find(L'\\') != std::wstring::npos ? MarkerBackslash : MarkerValue);
                if (!value && SameText(rest, kDefaultValueText))
                    value = FindValue(cur, L"", MarkerDefault);
            }
        }
        if (!value)
            return; // no match: what was expanded stays expanded, nothing is selected
        cur = value;
        break;
    }
    if (cur != m_hRoot) {
        m_tree.SelectItem(cur);
        m_tree.EnsureVisible(cur);
    }
}

void dlgBrowseRegistry::OnOK() {
    HTREEITEM h = m_tree.GetSelectedItem();
    if (!IsPickable(h))
        return; // OK is not enabled then; Enter on a key in value mode does nothing either
    const Entry* e = EntryOf(h);
    std::wstring path, remembered;
    if (e->kind == KindValue) {
        std::wstring key = KeyPathOf(m_tree.GetParentItem(h));
        path = key + L"\\" + RegValueNameToToken(e->name.c_str());
        remembered = key + L"\\" + (e->handle == MarkerValue ? std::wstring() : m_tree.GetItemText(h));
    } else {
        path = remembered = KeyPathOf(h);
    }
    if (m_pPath)
        *m_pPath = path;
    m_strRemembered = remembered;
    WriteProfileText(L"", kProfileEntry, m_strRemembered);
    EndDialog(IDOK);
}

LRESULT dlgBrowseRegistry::OnSizeMsg(WPARAM wp, LPARAM lp) {
    LRESULT r = ResizeDialog::OnSizeMsg(wp, lp);
    if (m_tree.m_hWnd) {
        m_tree.Invalidate();
        m_tree.UpdateWindow();
    }
    return r;
}

void dlgBrowseRegistry::CloseKeys() {
    for (Entry& e : m_entries)
        if (e.kind == KindKey && e.handle) {
            ::RegCloseKey((HKEY)e.handle);
            e.handle = 0;
        }
}

LRESULT dlgBrowseRegistry::OnDestroyMsg(WPARAM, LPARAM) {
    CloseKeys();
    m_tree.Detach();
    return Default();
}
