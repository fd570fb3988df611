#include "dlgResource.h"

#include "ExeExtensions.h"
#include "ViewHost.h"
#include "objcmds_ids.h"
#include "Pickers.h"

#include <KvCmdSequence.h>
#include <KvExchangeUtils.h>

#include <io.h>

#include <list>

namespace {
const UINT kKindTexts[] = {IDS_RES_KIND_FILE, IDS_RES_KIND_REG_VALUE, IDS_RES_KIND_REG_KEY, IDS_RES_KIND_SECTORS,
                           IDS_RES_KIND_HARDWARE};
const size_t kMaxPath = 260;

int MaskOfSubType(int subType) {
    switch (subType) {
    case ResFile:
    case ResDirectory:
        return 1;
    case ResRegValue:
    case ResRegKey:
        return 2;
    case ResDiskSector:
        return 4;
    case ResPciDevice:
        return 8;
    default:
        return 16;
    }
}
} // namespace

const wchar_t* const dlgResource::kDefaultExeExtensions = KV_DEFAULT_EXE_EXTENSIONS;

bool FilterPathText(std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'/')
            c = L'\\';
        if (c == L'|' || c == L'<' || c == L'>' || c == L'?' || c == L'*' || (c == L':' && i != 1))
            continue;
        out += c;
    }
    if (out == text)
        return false;
    text.swap(out);
    return true;
}

KV_BEGIN_MESSAGE_MAP(dlgResource, KvUi::CDialog)
ON_CONTROL(CBN_SELCHANGE, IDC_RES_KIND, OnKindChange)
ON_CONTROL(EN_CHANGE, IDC_RES_PATH, OnPathChange)
ON_BN_CLICKED(IDC_RES_CONTROLLED, OnCheckClicked)
ON_BN_CLICKED(IDC_RES_EXECUTABLE, OnCheckClicked)
ON_BN_CLICKED(IDC_RES_BROWSE, OnBrowse)
KV_END_MESSAGE_MAP()

dlgResource::dlgResource(KvUi::CWnd* parent, CIChResorce* resource, int kindMask)
    : KvUi::CDialog(IDD_RESOURCE, parent), m_pResource(resource) {
    if (auto* host = dynamic_cast<IModelViewHost*>(parent))
        m_pModel = host->GetModel();
    m_strPath = resource ? resource->m_Name : std::wstring();
    m_bCreate = m_strPath.empty();
    m_nKind = resource ? resource->m_SubType : 0;
    m_nMask = m_bCreate ? kindMask : MaskOfSubType(m_nKind);
    SetExeByExtension(1, kDefaultExeExtensions);
}

void dlgResource::SetExeByExtension(int on, const std::wstring& extensions) {
    m_bExeByExten = on;
    m_ExeExtensions.clear();
    if (on)
        m_ExeExtensions = SplitExtensions(extensions);
}

void dlgResource::AddPendingParam(const std::wstring& key, const _value_t& value) { m_Params.emplace(key, value); }

BOOL dlgResource::OnInitDialog() {
    KvUi::CDialog::OnInitDialog();
    SetWindowText(KvUi::LoadStr(m_bCreate ? IDS_GT_CREATE : IDS_GT_PROPERTIES) + KvUi::LoadStr(IDS_RES_OF_RESOURCE));
    HWND kinds = GetDlgItem(IDC_RES_KIND);
    auto add = [&](int text, int data) {
        int i = (int)::SendMessageW(kinds, CB_ADDSTRING, 0, (LPARAM)KvUi::LoadStr(kKindTexts[text]).c_str());
        ::SendMessageW(kinds, CB_SETITEMDATA, i, data);
    };
    if (m_nMask & 1)
        add(0, ResFile);
    if (m_nMask & 2) {
        add(1, ResRegValue);
        add(2, ResRegKey);
    }
    if (m_nMask & 4)
        add(3, ResDiskSector);
    if (m_nMask & (8 | 16))
        add(4, ResPciDevice);
    ::SendMessageW(kinds, CB_SETCURSEL, 0, 0);
    CheckDlgItem(IDC_RES_CONTROLLED, m_pResource && m_pResource->m_Controlled);
    CheckDlgItem(IDC_RES_EXECUTABLE, m_pResource && m_pResource->m_Executable);
    EnableDlgItem(IDC_RES_EXECUTABLE, m_nMask & 1);
    if (!m_bCreate) {
        EnableDlgItem(IDC_RES_KIND, FALSE);
        EnableDlgItem(IDC_RES_BROWSE, FALSE);
        ::SendMessageW(GetDlgItem(IDC_RES_PATH), EM_SETREADONLY, TRUE, 0);
    }
    // The stored path is shown as it is: its extension does not overrule the resource's own mark.
    SetPathText(m_strPath);
    EnableDlgItem(IDOK, FALSE);
    OnKindChange();
    GotoDlgCtrl(GetDlgItem(m_bCreate ? IDC_RES_BROWSE : IDCANCEL));
    return FALSE;
}

int dlgResource::SelectedKindEntryData() const {
    HWND kinds = GetDlgItem(IDC_RES_KIND);
    int sel = (int)::SendMessageW(kinds, CB_GETCURSEL, 0, 0);
    if (sel < 0)
        sel = 0;
    return (int)::SendMessageW(kinds, CB_GETITEMDATA, sel, 0);
}

void dlgResource::SetPathText(const std::wstring& text) {
    m_bFilling = true;
    SetDlgItemText(IDC_RES_PATH, text);
    m_bFilling = false;
}

void dlgResource::OnKindChange() {
    if (!m_bCreate)
        return;
    m_nKind = SelectedKindEntryData();
    EnableDlgItem(IDC_RES_EXECUTABLE, m_nKind == ResFile);
    m_strPath.clear();
    SetDlgItemText(IDC_RES_PATH, L""); // runs the path change: the mark follows the empty path
    EnableDlgItem(IDOK, FALSE);
    m_Params.clear();
    const bool pickedOnly = m_nKind == ResDiskSector || m_nKind == ResPciDevice;
    ::SendMessageW(GetDlgItem(IDC_RES_PATH), EM_SETREADONLY, pickedOnly ? TRUE : FALSE, 0);
    // Every kind has its picker: files, registry values and keys, disk sectors, hardware.
    EnableDlgItem(IDC_RES_BROWSE, TRUE);
}

bool dlgResource::HasExeExtension(const std::wstring& path) const {
    return m_nKind == ResFile && m_bExeByExten && HasListedExtension(path, m_ExeExtensions);
}

void dlgResource::OnPathChange() {
    if (!m_bCreate) {
        // Edit mode: the path is fixed and so is the resource's own executable mark.
        EnableDlgItem(IDOK, FALSE);
        return;
    }
    if (m_bFilling)
        return;
    HWND edit = GetDlgItem(IDC_RES_PATH);
    const bool readOnly = (::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0;
    if (m_nKind == ResFile || m_nKind == ResDirectory) {
        ::SendMessageW(edit, EM_LIMITTEXT, kMaxPath - 1, 0);
        std::wstring text = GetDlgItemText(IDC_RES_PATH);
        if (text.size() > kMaxPath - 1)
            text.resize(kMaxPath - 1);
        if (!readOnly && FilterPathText(text)) {
            DWORD start = 0, end = 0;
            ::SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
            SetPathText(text);
            DWORD at = start > 0 ? start - 1 : 0;
            ::SendMessageW(edit, EM_SETSEL, at, at);
            ::MessageBeep(MB_ICONEXCLAMATION);
        }
        while (!text.empty() && text.back() == L'\\')
            text.pop_back();
        m_strPath = text;
    } else if (m_nKind == ResRegValue || m_nKind == ResRegKey) {
        m_strPath = GetDlgItemText(IDC_RES_PATH);
    }
    if (m_bExeByExten)
        CheckDlgItem(IDC_RES_EXECUTABLE, HasExeExtension(m_strPath));
    EnableDlgItem(IDOK, Validate());
}

bool dlgResource::Validate() const {
    if (m_strPath.empty())
        return false;
    HWND edit = GetDlgItem(IDC_RES_PATH);
    if (!m_bCreate || (edit && (::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY)))
        return true;
    switch (m_nKind) {
    case ResFile: {
        std::wstring path = m_strPath;
        if (m_pModel)
            ExpandPathVariable(path, m_pModel->m_PathVars);
        if (_waccess(path.c_str(), 4) != 0)
            return false;
        DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        return IsLocalHardDisk(GetFinalPathDrive(path)) != 0;
    }
    case ResRegValue:
        if (KvCmdSequence::IsRegKeyExist(m_strPath.c_str()))
            return false;
        return KvCmdSequence::IsRegValueExist(m_strPath.c_str()) != 0;
    case ResRegKey:
        return KvCmdSequence::IsRegKeyExist(m_strPath.c_str()) != 0;
    default:
        return true;
    }
}

void dlgResource::OnCheckClicked() { EnableDlgItem(IDOK, Validate()); }

void dlgResource::OnBrowse() {
    switch (m_nKind) {
    case ResFile: {
        std::list<std::wstring> files;
        if (SelectFiles(m_hWnd, nullptr, m_strPath.c_str(), 0, files) && !files.empty())
            SetDlgItemText(IDC_RES_PATH, files.front());
        break;
    }
    case ResRegValue:
    case ResRegKey: {
        std::wstring path = m_strPath;
        dlgBrowseRegistry dlg(this,
                              KvUi::LoadStr(m_nKind == ResRegValue ? IDS_RES_PICK_VALUE : IDS_RES_PICK_KEY).c_str(),
                              m_nKind == ResRegValue ? 1 : 0, &path);
        if (dlg.DoModal() == IDOK)
            SetDlgItemText(IDC_RES_PATH, path); // the path change takes it and validates it
        break;
    }
    case ResDiskSector: {
        dlgBrowseDiskSector dlg(0, this);
        if (dlg.DoModal() == IDOK && !dlg.GetPicked().empty()) {
            m_Params.clear();
            const PickedEntry& picked = dlg.GetPicked().front();
            GetPickedEntryParams(picked, m_Params);
            m_strPath = picked.strPath;
            SetPathText(m_strPath);
            EnableDlgItem(IDOK, Validate());
        }
        break;
    }
    default: { // hardware: a PCI device, an SMBIOS table or field
        dlgBrowseDevice dlg(0, m_strPath, this);
        if (dlg.DoModal() != IDOK)
            break;
        m_strPath.clear();
        SetPathText(m_strPath);
        if (!dlg.GetPicked().empty()) {
            m_Params.clear();
            const PickedEntry& picked = dlg.GetPicked().front();
            int kind = GetPickedEntryParams(picked, m_Params);
            if (kind >= ResPciDevice)
                m_nKind = kind;
            m_strPath = picked.strPath;
            SetPathText(m_strPath);
        }
        EnableDlgItem(IDOK, Validate());
        break;
    }
    }
    if (m_bCreate) {
        HWND ok = GetDlgItem(IDOK);
        GotoDlgCtrl(::IsWindowEnabled(ok) ? ok : GetDlgItem(IDC_RES_BROWSE));
    }
}

void dlgResource::OnOK() {
    if (!m_pResource || !Validate())
        return;
    if (m_pModel) {
        m_pModel->RebuildPathIndex();
        std::wstring expanded = m_strPath;
        ExpandPathVariable(expanded, m_pModel->m_PathVars);
        CIChNode* found = m_pModel->FindNodeByName(NodeTypeResource, expanded, m_nKind);
        if (found && found != m_pResource) {
            MessageBox(KvUi::LoadStr(IDS_RES_DUPLICATE), nullptr, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    m_pResource->SetSubType(m_nKind);
    m_pResource->SetName(m_strPath);
    const int entry = SelectedKindEntryData();
    if (m_bCreate && (entry == ResDiskSector || entry == ResPciDevice))
        for (const auto& kv : m_Params)
            m_pResource->SetParam(kv.first, kv.second);
    m_pResource->m_Controlled = IsDlgItemChecked(IDC_RES_CONTROLLED) ? 1 : 0;
    if (m_pResource->m_SubType == ResFile)
        m_pResource->m_Executable = IsDlgItemChecked(IDC_RES_EXECUTABLE) ? 1 : 0;
    EndDialog(IDOK);
}
