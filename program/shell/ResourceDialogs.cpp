// The path-variable dialog and the missing-resource question.
#include "ResourceDialogs.h"

#include "resource.h"

#include <KvRegTokens.h>
#include <VDevInfo.h>
#include <valkit.h>

#include <iterator>

// ---- dlgReplEnvVar ------------------------------------------------------------------------------------

dlgReplEnvVar::dlgReplEnvVar(HWND parent, const CPathVarMap* table) : KvUi::CDialog(IDD_REPL_ENV_VAR, parent) {
    if (table)
        m_Table = *table;
}

BOOL dlgReplEnvVar::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    m_wndList.SubclassDlgItem(IDC_ENVVAR_LIST, this);
    ListView_SetExtendedListViewStyle(m_wndList.m_hWnd, LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES |
                                                            LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT |
                                                            LVS_EX_LABELTIP);
    m_wndList.InsertColumn(0, KvUi::LoadStr(IDS_ENVVAR_COL_NAME), LVCFMT_LEFT, 130);
    m_wndList.InsertColumn(1, KvUi::LoadStr(IDS_ENVVAR_COL_VALUE), LVCFMT_LEFT, 270);
    int row = 0;
    for (const auto& entry : m_Table) {
        m_wndList.InsertItem(row, entry.second);
        m_wndList.SetItemText(row, 1, entry.first);
        ++row;
    }
    m_wndList.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    ::CheckRadioButton(m_hWnd, IDC_ENVVAR_TO_NAMES, IDC_ENVVAR_TO_PATHS, IDC_ENVVAR_TO_NAMES);
    UpdateOk();
    return TRUE;
}

void dlgReplEnvVar::UpdateOk() { EnableDlgItem(IDOK, m_wndList.m_hWnd && m_wndList.GetSelectedCount() > 0); }

BOOL dlgReplEnvVar::OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr && hdr->idFrom == IDC_ENVVAR_LIST && hdr->code == LVN_ITEMCHANGED)
        UpdateOk();
    return KvUi::CDialog::OnNotify(wp, lp, pResult);
}

void dlgReplEnvVar::OnOK() {
    m_nDirection = IsDlgItemChecked(IDC_ENVVAR_TO_NAMES) ? 1 : 0;
    // Row i is the i-th entry in the table's order.
    int row = 0;
    for (auto it = m_Table.begin(); it != m_Table.end(); ++row) {
        if (m_wndList.GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED)
            ++it;
        else
            it = m_Table.erase(it);
    }
    EndDialog(IDOK);
}

// ---- the inventory's answer --------------------------------------------------------------------------

bool CastResourceToDevice(const Varno::SmartPtr<Varno::IResource>& item, Varno::SmartPtr<Varno::IDevice>& device) {
    if (!item)
        return true;
    device = Varno::item_cast<Varno::IDevice>(item);
    return static_cast<bool>(device);
}

int IsDeviceAddressChanged(const Varno::SmartPtr<Varno::IDevice>& device) {
    if (!device)
        return 0;
    VDeviceInfo::SmartPtr<VDeviceInfo::IFilter> filter = VDeviceInfo::Common::CreateFilter();
    const struct {
        const wchar_t* name;
        int code;
    } keys[] = {{L"Vendor ID", 1}, {L"Device ID", 2}, {L"Revision ID", 3}, {L"Class Code", 4}};
    for (const auto& k : keys) {
        VDeviceInfo::SmartPtr<VDeviceInfo::IFilterEntry> entry =
            VDeviceInfo::Common::CreateFilterEntry(device->GetProperty(k.code));
        filter->AddEntry(k.name, entry.Get());
    }
    VDeviceInfo::SmartPtr<VDeviceInfo::IPCIEquipment> pci = VDeviceInfo::Common::GetPCI();
    if (!pci)
        return 0;
    std::list<VDeviceInfo::SmartPtr<VDeviceInfo::IEquipment>> devices;
    pci->GetDevices(devices, filter.Get());
    for (auto& d : devices) {
        if (!d)
            continue;
        std::list<VDeviceInfo::SmartPtr<VDeviceInfo::IProperty>> properties;
        d->GetProperties(properties, filter.Get());
        if ((long)properties.size() == filter->GetEntries())
            return 1;
    }
    return 0;
}

// ---- dlgResourceInvalid ---------------------------------------------------------------------------------

namespace {
// String ids by resource kind: the text that the resource is missing (its name in %s) and the
// kind in the accusative.
struct KindWords {
    UINT missing;
    UINT accusative;
};
const KindWords kKinds[8] = {
    {IDS_INVALID_FILE, IDS_INVALID_FILE_ACC},       {IDS_INVALID_FOLDER, IDS_INVALID_FOLDER_ACC},
    {IDS_INVALID_REG_KEY, IDS_INVALID_REG_KEY_ACC}, {IDS_INVALID_REG_VALUE, IDS_INVALID_REG_VALUE_ACC},
    {IDS_INVALID_SECTOR, IDS_INVALID_SECTOR_ACC},   {IDS_INVALID_DEVICE, IDS_INVALID_DEVICE_ACC},
    {IDS_INVALID_SMBIOS, IDS_INVALID_SMBIOS_ACC},   {IDS_INVALID_SMBIOS_VALUE, IDS_INVALID_SMBIOS_VALUE_ACC},
};

std::wstring Lower(std::wstring s) {
    if (!s.empty())
        ::CharLowerBuffW(&s[0], (DWORD)s.size());
    return s;
}

// The name of a stored registry value as a person reads it.
std::wstring RegistryValueName(const std::wstring& stored) {
    if (!stored.empty() && stored.back() == L'\\')
        return stored + L"(Default)"; // the unnamed value: the key's path with a backslash
    size_t slash = stored.rfind(L'\\');
    std::wstring last = slash == std::wstring::npos ? stored : stored.substr(slash + 1);
    if (lstrcmpiW(last.c_str(), RegDefaultValueToken) == 0)
        return (slash == std::wstring::npos ? std::wstring() : stored.substr(0, slash + 1)) + L"(Default)";
    std::wstring out = stored;
    const std::wstring token = RegBackslashToken;
    for (size_t at = out.find(token); at != std::wstring::npos; at = out.find(token, at + 1))
        out.replace(at, token.size(), L"\\");
    return out;
}
} // namespace

dlgResourceInvalid::dlgResourceInvalid(int action, const Varno::SmartPtr<Varno::IResource>& item, HWND parent)
    : KvUi::CDialog(IDD_RESOURCE_INVALID, parent), m_item(item), m_nAction(action) {
    int kind = 0;
    std::wstring name;
    try {
        if (m_item) {
            kind = m_item->GetKind();
            name = m_item->GetName();
        }
    } catch (...) {
        // The store could not say what the resource is: say so, with the store's reason, and
        // preselect taking it off control, so that nothing is deleted on an unread item.
        m_strText = format_wstring(KvUi::LoadStr(IDS_INVALID_UNREADABLE).c_str(), KvUi::CurrentExceptionText().c_str());
        m_strAccusative = KvUi::LoadStr(IDS_INVALID_RESOURCE_ACC);
        m_nAction = 1;
        return;
    }
    const KindWords& words = kKinds[kind >= 1 && kind <= 8 ? kind - 1 : 0];
    m_strAccusative = Lower(KvUi::LoadStr(words.accusative));
    if (kind == Varno::ResourceKindFile) {
        CIChDataModel fresh;
        ExpandPathVariable(name, fresh.m_PathVars);
    } else if (kind == Varno::ResourceKindRegistryValue) {
        name = RegistryValueName(name);
    }
    m_strText = format_wstring(KvUi::LoadStr(words.missing).c_str(), name.c_str());
    if (kind == Varno::ResourceKindDevice) {
        // The inventory is asked here, before any window exists. When it fails, the device was not
        // checked at all: the text says so with the reason, and taking it off control is preselected.
        try {
            Varno::SmartPtr<Varno::IDevice> device;
            if (CastResourceToDevice(m_item, device) && device && IsDeviceAddressChanged(device))
                m_strText = format_wstring(KvUi::LoadStr(IDS_INVALID_DEVICE_MOVED).c_str(), name.c_str());
        } catch (...) {
            m_strText = format_wstring(KvUi::LoadStr(IDS_INVALID_DEVICE_UNCHECKED).c_str(), name.c_str(),
                                       KvUi::CurrentExceptionText().c_str());
            m_nAction = 1;
        }
    }
}

BOOL dlgResourceInvalid::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetDlgItemText(IDC_INVALID_TEXT, m_strText);
    for (int id : {IDC_INVALID_REMOVE, IDC_INVALID_UNCONTROL}) {
        std::wstring format = GetDlgItemText(id);
        SetDlgItemText(id, format_wstring(format.c_str(), m_strAccusative.c_str()));
    }
    ::CheckRadioButton(m_hWnd, IDC_INVALID_REMOVE, IDC_INVALID_UNCONTROL,
                       m_nAction ? IDC_INVALID_UNCONTROL : IDC_INVALID_REMOVE);
    return TRUE;
}

BOOL dlgResourceInvalid::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_CANCEL))
        return TRUE;
    return KvUi::CDialog::PreTranslateMessage(pMsg);
}

BOOL dlgResourceInvalid::OnCommand(WPARAM wp, LPARAM lp) {
    UINT id = LOWORD(wp);
    if (HIWORD(wp) == BN_CLICKED &&
        (id == IDYES || id == IDNO || id == IDC_INVALID_YES_ALL || id == IDC_INVALID_NO_ALL)) {
        EndDialog(id);
        return TRUE;
    }
    return KvUi::CDialog::OnCommand(wp, lp);
}

LRESULT dlgResourceInvalid::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY)
        m_nAction = IsDlgItemChecked(IDC_INVALID_REMOVE) ? 0 : 1;
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)
        return 0; // the close box does nothing
    return KvUi::CDialog::WindowProc(msg, wp, lp);
}
