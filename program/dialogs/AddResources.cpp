// Bulk resource creation.
#include "AddResources.h"

#include "BrowseDevice.h"
#include "BrowseDiskSector.h"
#include "BrowseRegistry.h"
#include "ExeExtensions.h"
#include "IChNode.h"
#include "NodeImageList.h"
#include "PickerCommon.h"
#include "pickers_ids.h"

#include <KvExchangeUtils.h>

#include <algorithm>
#include <cwctype>

using namespace KvUi;

namespace {

const wchar_t* const kFiltersSection = L"Filters";
const wchar_t* const kDefaultExtensions = KV_DEFAULT_EXE_EXTENSIONS;

std::wstring FilterValueName(int i) { return L"Filter" + std::to_wstring(i); }

std::wstring Trimmed(const std::wstring& s) {
    size_t a = s.find_first_not_of(L" \t"), b = s.find_last_not_of(L" \t");
    return a == std::wstring::npos ? std::wstring() : s.substr(a, b - a + 1);
}

} // namespace

KV_BEGIN_MESSAGE_MAP(dlgAddResources, KvUi::CDialog)
ON_CONTROL(LBN_SELCHANGE, IDC_ADDRES_KINDS, OnKindChanged)
ON_BN_CLICKED(IDC_ADDRES_ALL_FILES, OnAllFiles)
ON_BN_CLICKED(IDC_ADDRES_BY_FILTER, OnByFilter)
ON_BN_CLICKED(IDC_ADDRES_ADD, OnAddOperation)
ON_BN_CLICKED(IDC_ADDRES_REMOVE, OnRemoveOperations)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_ADDRES_OPERATIONS, OnOperationChanged)
KV_END_MESSAGE_MAP()

std::wstring dlgAddResources::KindName(int kind) {
    switch (kind) {
    case KindFiles:
        return LoadStr(IDS_ADDRES_FILES);
    case KindFolderFiles:
        return LoadStr(IDS_ADDRES_FOLDER_FILES);
    case KindFoldersWithFiles:
        return LoadStr(IDS_ADDRES_FOLDERS_WITH_FILES);
    case KindFolders:
        return LoadStr(IDS_ADDRES_FOLDERS);
    case KindRegValues:
        return LoadStr(IDS_ADDRES_REG_VALUES);
    case KindRegKeys:
        return LoadStr(IDS_ADDRES_REG_KEYS);
    case KindSectors:
        return LoadStr(IDS_ADDRES_SECTORS);
    case KindPciDevice:
    case KindSmbiosTable:
    case KindSmbiosField:
        return LoadStr(IDS_ADDRES_HARDWARE);
    }
    return std::wstring();
}

dlgAddResources::dlgAddResources(CWnd* pParent, CResourceOperationList* operations, int selector, int exeByExten)
    : KvUi::CDialog(IDD_ADD_RESOURCES, pParent), m_pOperations(operations), m_nExeByExten(exeByExten) {
    switch (selector) {
    case 0:
        m_nKindBits = 1;
        break;
    case 1:
        m_nKindBits = 2;
        break;
    case 2:
        m_nKindBits = 4;
        break;
    case 3:
        m_nKindBits = 8;
        break;
    default:
        m_nKindBits = 15;
        break;
    }
    m_bMarkExecutable = (m_nKindBits & 1) ? exeByExten : 0;
}

dlgAddResources::~dlgAddResources() {
    if (m_pOperations) {
        for (SResourceOperation* op : *m_pOperations)
            delete op;
        m_pOperations->clear();
    }
}

BOOL dlgAddResources::OnInitDialog() {
    m_filters.CreateOver(this, IDC_ADDRES_FILTERS);
    KvUi::CDialog::OnInitDialog();

    HWND kinds = GetDlgItem(IDC_ADDRES_KINDS);
    const int order[] = {KindFiles, KindFolderFiles, KindRegValues, KindRegKeys, KindSectors, KindPciDevice};
    const int bit[] = {1, 1, 2, 2, 4, 8};
    for (int i = 0; i < 6; ++i) {
        if (!(m_nKindBits & bit[i]))
            continue;
        int at = (int)::SendMessageW(kinds, LB_ADDSTRING, 0, (LPARAM)KindName(order[i]).c_str());
        ::SendMessageW(kinds, LB_SETITEMDATA, at, order[i]);
    }
    ::SendMessageW(kinds, LB_SETCURSEL, 0, 0);

    ::CheckRadioButton(m_hWnd, IDC_ADDRES_ALL_FILES, IDC_ADDRES_BY_FILTER, IDC_ADDRES_ALL_FILES);
    m_filters.SetStandardButtons();
    if (m_nKindBits & 1) {
        LoadFilters();
        CheckDlgItem(IDC_ADDRES_EXE_MARK, m_bMarkExecutable);
    } else {
        ShowDlgItem(IDC_ADDRES_EXE_MARK, FALSE);
    }

    HWND list = GetDlgItem(IDC_ADDRES_OPERATIONS);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP |
                                                LVS_EX_SUBITEMIMAGES);
    m_images.reset(new CNodeImageList());
    ListView_SetImageList(list, m_images->m_hImageList, LVSIL_SMALL);
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = 500;
    const std::wstring heading = LoadStr(IDS_ADDRES_OPERATION);
    col.pszText = const_cast<wchar_t*>(heading.c_str());
    ListView_InsertColumn(list, 0, &col);
    col.cx = 20;
    col.pszText = const_cast<wchar_t*>(L"\\");
    ListView_InsertColumn(list, 1, &col);

    OnKindChanged();
    RefillOperations();
    UpdateButtons();
    return TRUE;
}

int dlgAddResources::SelectedKind() const {
    HWND kinds = GetDlgItem(IDC_ADDRES_KINDS);
    int sel = (int)::SendMessageW(kinds, LB_GETCURSEL, 0, 0);
    return sel < 0 ? -1 : (int)::SendMessageW(kinds, LB_GETITEMDATA, sel, 0);
}

bool dlgAddResources::SelectKind(int kind) {
    HWND kinds = GetDlgItem(IDC_ADDRES_KINDS);
    int n = (int)::SendMessageW(kinds, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((int)::SendMessageW(kinds, LB_GETITEMDATA, i, 0) == kind) {
            ::SendMessageW(kinds, LB_SETCURSEL, i, 0);
            OnKindChanged();
            return true;
        }
    return false;
}

void dlgAddResources::OnKindChanged() {
    int kind = SelectedKind();
    bool folder = kind == KindFolderFiles;
    bool registry = kind == KindRegValues || kind == KindRegKeys;
    bool byFilter = IsDlgItemChecked(IDC_ADDRES_BY_FILTER);
    EnableDlgItem(IDC_ADDRES_NESTED, folder || registry);
    EnableDlgItem(IDC_ADDRES_ALL_FILES, folder);
    EnableDlgItem(IDC_ADDRES_BY_FILTER, folder);
    m_filters.EnableWindow(folder && byFilter);
    EnableDlgItem(IDC_ADDRES_EXE_MARK, kind == KindFiles || kind == KindFolderFiles);
}

void dlgAddResources::OnAllFiles() { m_filters.EnableWindow(FALSE); }

void dlgAddResources::OnByFilter() { m_filters.EnableWindow(TRUE); }

void dlgAddResources::LoadFilters() {
    m_filters.RemoveAll();
    int i = 0;
    std::wstring first = ReadProfileText(kFiltersSection, FilterValueName(0).c_str());
    if (first.empty()) {
        std::wstring line = kDefaultExtensions;
        for (size_t at = 0; (at = line.find(L'.', at)) != std::wstring::npos; at += 2)
            line.replace(at, 1, L"*.");
        m_filters.AddItem(line);
    } else {
        m_filters.AddItem(first);
    }
    for (i = 1;; ++i) {
        std::wstring line = ReadProfileText(kFiltersSection, FilterValueName(i).c_str());
        if (line.empty())
            break;
        m_filters.AddItem(line);
    }
}

void dlgAddResources::SaveFilters() {
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    // The lines first, numbered without gaps (a line left empty would end the next reading), and
    // only then the values the list no longer has: a failed write loses nothing that was there.
    int n = 0;
    for (const std::wstring& line : m_filters.GetItems()) {
        if (Trimmed(line).empty())
            continue;
        if (!app->WriteProfileString(kFiltersSection, FilterValueName(n).c_str(), line.c_str()))
            return;
        ++n;
    }
    std::wstring path = app->GetProfileKeyPath();
    if (path.empty())
        return;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, (path + L"\\" + kFiltersSection).c_str(), 0, KEY_READ | KEY_SET_VALUE,
                        &key) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> surplus;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD len = 256;
        LONG rc = ::RegEnumValueW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        std::wstring v(name, len);
        bool ours = false;
        for (int k = 0; k < n && !ours; ++k)
            ours = ::lstrcmpiW(v.c_str(), FilterValueName(k).c_str()) == 0;
        if (!ours)
            surplus.push_back(v);
    }
    for (const std::wstring& v : surplus)
        ::RegDeleteValueW(key, v.c_str());
    ::RegCloseKey(key);
}

bool dlgAddResources::FolderFilters(std::list<std::wstring>& masks) {
    masks.clear();
    if (IsDlgItemChecked(IDC_ADDRES_ALL_FILES) || !::IsWindowEnabled(m_filters.m_hWnd))
        return true;
    int sel = m_filters.GetSelItem();
    if (sel < 0)
        sel = 0;
    if (sel < m_filters.GetCount())
        masks = SplitExtensions(m_filters.GetItemText(sel));
    return !masks.empty();
}

void dlgAddResources::Append(SResourceOperation* op) { m_pOperations->push_back(op); }

void dlgAddResources::OnAddOperation() {
    int kind = SelectedKind();
    if (kind < 0 || !m_pOperations)
        return;
    int nested = IsDlgItemChecked(IDC_ADDRES_NESTED) ? 1 : 0;
    size_t before = m_pOperations->size();
    switch (kind) {
    case KindFiles: {
        std::list<std::wstring> files;
        if (SelectFiles(m_hWnd, LoadStr(IDS_ADDRES_PICK_FILES).c_str(), nullptr, 1, files))
            for (const std::wstring& f : files) {
                auto* op = new SResourceOperation;
                op->nKind = KindFiles;
                op->strPath = f;
                Append(op);
            }
        break;
    }
    case KindFolderFiles: {
        std::list<std::wstring> masks;
        if (!FolderFilters(masks)) {
            MessageBox(LoadStr(IDS_ADDRES_NO_FILTER), nullptr, MB_OK | MB_ICONEXCLAMATION);
            break;
        }
        std::wstring folder;
        if (SelectLocalFolder(m_hWnd, LoadStr(IDS_ADDRES_PICK_FOLDER).c_str(), folder) == 1) {
            auto* op = new SResourceOperation;
            op->nKind = KindFolderFiles;
            op->bNested = nested;
            op->strPath = folder;
            op->filters = masks;
            Append(op);
        }
        break;
    }
    case KindRegValues:
    case KindRegKeys: {
        std::wstring key;
        dlgBrowseRegistry dlg(this, LoadStr(IDS_ADDRES_PICK_KEY).c_str(), 0, &key);
        if (dlg.DoModal() == IDOK && !key.empty()) {
            auto* op = new SResourceOperation;
            op->nKind = kind;
            op->bNested = nested;
            op->strPath = key;
            Append(op);
        }
        break;
    }
    case KindSectors:
    case KindPciDevice: {
        std::unique_ptr<CPickerTreeDialog> dlg;
        if (kind == KindSectors)
            dlg.reset(new dlgBrowseDiskSector(1, this));
        else
            dlg.reset(new dlgBrowseDevice(1, std::wstring(), this));
        if (dlg->DoModal() != IDOK)
            break;
        for (const PickedEntry& picked : dlg->GetPicked()) {
            std::unique_ptr<SResourceOperation> op(new SResourceOperation);
            int subType = GetPickedEntryParams(picked, op->params);
            if (subType < 4)
                continue;
            op->nKind = subType == 4 ? KindSectors : KindPciDevice + (subType - 5);
            op->strPath = picked.strPath;
            Append(op.release());
        }
        break;
    }
    }
    if (m_pOperations->size() == before)
        return;
    RefillOperations();
    HWND list = GetDlgItem(IDC_ADDRES_OPERATIONS);
    int last = ListView_GetItemCount(list) - 1;
    ListView_EnsureVisible(list, last, FALSE);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, last, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    UpdateButtons();
}

std::wstring dlgAddResources::OperationText(const SResourceOperation& op) {
    if (op.nKind >= KindFolderFiles && op.nKind <= KindFolders)
        return KindName(op.nKind) + L": " + op.strPath + L"\\" +
               LoadStr(op.filters.empty() ? IDS_ADDRES_ALL : IDS_ADDRES_FILTERED);
    return KindName(op.nKind) + L": " + op.strPath;
}

int dlgAddResources::RecordImage(const SResourceOperation& op) {
    int base = m_images ? m_images->GetNodeImageBase() : 0;
    if (op.nKind == KindPciDevice) {
        auto it = op.params.find(L"Class GUID");
        if (it != op.params.end() &&
            (it->second.vtype() == _value_t::vt_wstring || it->second.vtype() == _value_t::vt_string) && m_images) {
            int image = m_images->GetDeviceClassImage(it->second.as_wstring());
            if (image >= 0)
                return image;
        }
    }
    if ((op.nKind == KindSmbiosTable || op.nKind == KindSmbiosField) && m_images) {
        auto it = op.params.find(L"Table Type");
        if (it != op.params.end() && it->second.is_number())
            return m_images->GetSmbiosTableImage(it->second.as_int());
    }
    switch (op.nKind) {
    case KindFiles:
    case KindFolderFiles:
        return base + 4;
    case KindFoldersWithFiles:
    case KindFolders:
        return base + 5;
    case KindRegValues:
        return base + 6;
    case KindRegKeys:
        return base + 7;
    case KindSectors:
        return base + 8;
    default:
        return base + 9;
    }
}

void dlgAddResources::RefillOperations() {
    HWND list = GetDlgItem(IDC_ADDRES_OPERATIONS);
    ListView_DeleteAllItems(list);
    if (!m_pOperations)
        return;
    int row = 0;
    for (SResourceOperation* op : *m_pOperations) {
        std::wstring text = OperationText(*op);
        LVITEMW it = {};
        it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        it.iItem = row;
        it.pszText = const_cast<wchar_t*>(text.c_str());
        it.iImage = RecordImage(*op);
        it.lParam = (LPARAM)op;
        ListView_InsertItem(list, &it);
        if (op->bNested) {
            wchar_t plus[] = L"+";
            ListView_SetItemText(list, row, 1, plus);
        }
        ++row;
    }
}

void dlgAddResources::UpdateButtons() {
    HWND list = GetDlgItem(IDC_ADDRES_OPERATIONS);
    EnableDlgItem(IDC_ADDRES_REMOVE, ListView_GetSelectedCount(list) > 0);
    EnableDlgItem(IDOK, m_pOperations && !m_pOperations->empty());
}

void dlgAddResources::OnOperationChanged(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    UpdateButtons();
}

void dlgAddResources::OnRemoveOperations() {
    HWND list = GetDlgItem(IDC_ADDRES_OPERATIONS);
    if (!m_pOperations || ListView_GetSelectedCount(list) == 0)
        return;
    for (int i = -1; (i = ListView_GetNextItem(list, i, LVNI_SELECTED)) >= 0;) {
        LVITEMW it = {};
        it.mask = LVIF_PARAM;
        it.iItem = i;
        ListView_GetItem(list, &it);
        auto* op = reinterpret_cast<SResourceOperation*>(it.lParam);
        m_pOperations->remove(op);
        delete op;
    }
    RefillOperations();
    if (ListView_GetItemCount(list) > 0) {
        ListView_EnsureVisible(list, 0, FALSE);
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        GotoDlgCtrl(GetDlgItem(IDC_ADDRES_REMOVE));
    } else {
        EnableDlgItem(IDC_ADDRES_REMOVE, FALSE);
        GotoDlgCtrl(GetDlgItem(IDCANCEL));
    }
    UpdateButtons();
}

void dlgAddResources::OnOK() {
    if (!m_pOperations || m_pOperations->empty())
        return; // OK is not enabled then
    // The filter lines are shown, and read from the profile, only where files are offered; only
    // then are they written back (else the empty list would wipe the user's lines).
    if (m_nKindBits & 1) {
        SaveFilters();
        m_bMarkExecutable = IsDlgItemChecked(IDC_ADDRES_EXE_MARK) ? 1 : 0;
    }
    EndDialog(IDOK);
}

int FillResourceFromOperation(const SResourceOperation& op, CIChResorce& resource) {
    int subType;
    switch (op.nKind) {
    case dlgAddResources::KindSectors:
        subType = ResDiskSector;
        break;
    case dlgAddResources::KindPciDevice:
        subType = ResPciDevice;
        break;
    case dlgAddResources::KindSmbiosTable:
        subType = ResSmbiosTable;
        break;
    case dlgAddResources::KindSmbiosField:
        subType = ResSmbiosField;
        break;
    default:
        return 0;
    }
    resource.SetSubType(subType);
    resource.SetName(op.strPath);
    for (const auto& p : op.params)
        resource.SetParam(p.first, p.second);
    resource.m_Controlled = 1;
    return 1;
}
