// The hardware picker.
#include "BrowseDevice.h"

#include "pickers_ids.h"
#include "resource.h"

#include <KvText.h>
#include <set>

using namespace KvUi;
using namespace VDeviceInfo;

namespace {

std::wstring Format(const wchar_t* fmt, const std::wstring& s, unsigned long long n) {
    wchar_t buf[64];
    swprintf(buf, 64, fmt, n);
    return s + buf;
}

// This computer's name as the tree's top item shows it.
std::wstring ComputerItemText() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameExW(ComputerNamePhysicalNetBIOS, name, &n) && n)
        return std::wstring(name, n);
    return L"Localhost";
}

// The first property of that name, empty when the device has none.
_value_t PropertyOf(IEquipment* device, const wchar_t* name, std::wstring* realName = nullptr) {
    SmartPtr<IFilter> filter = Common::CreateFilter();
    filter->AddEntry(name, nullptr);
    std::list<SmartPtr<IProperty>> props;
    device->GetProperties(props, filter.Get());
    if (props.empty())
        return _value_t();
    if (realName)
        *realName = props.front()->GetName();
    return props.front()->GetValue();
}

} // namespace

dlgBrowseDevice::dlgBrowseDevice(int mode, const std::wstring& initialPath, CWnd* pParent)
    : CPickerTreeDialog(IDD_BROWSE_DEVICE, mode, pParent), m_strInitialPath(initialPath) {}

void dlgBrowseDevice::FillTree() {
    TakeDeviceImages();
    // The computer's icon after the device images.
    int computerImage = ImageUnknownDevice;
    if (m_images.m_hImageList) {
        HIMAGELIST nodes = ::ImageList_LoadImageW(GetResourceHandle(), MAKEINTRESOURCEW(IDB_NODE_ICONS), 16, 0,
                                                  RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
        if (nodes) {
            HICON icon = ::ImageList_GetIcon(nodes, 14, ILD_TRANSPARENT);
            if (icon) {
                int i = ::ImageList_ReplaceIcon(m_images.m_hImageList, -1, icon);
                if (i >= 0)
                    computerImage = i;
                ::DestroyIcon(icon);
            }
            ::ImageList_Destroy(nodes);
        }
        m_tree.SetImageList(m_images.m_hImageList, TVSIL_NORMAL);
    }
    m_hComputer = m_tree.InsertItem(ComputerItemText(), computerImage, computerImage, TVI_ROOT, TVI_LAST, -1);
    FillPci();
    FillSmbios();

    // Every picked entry gets a path of its own: two that would read alike (the same name and
    // number twice in a damaged table, a device without an address) are told apart by a count.
    // Parents are named before their children, so a child's path holds its parent's count.
    std::set<std::wstring> used;
    std::vector<HTREEITEM> stack = {m_hComputer};
    while (!stack.empty()) {
        HTREEITEM h = stack.back();
        stack.pop_back();
        std::vector<HTREEITEM> children;
        for (HTREEITEM c = m_tree.GetChildItem(h); c; c = m_tree.GetNextSiblingItem(c))
            children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
        if (!IsPickEligible(h))
            continue;
        std::wstring base = SegmentOf(h), path = PathOf(h);
        for (int n = 2; used.count(KvBase::UpperCase(path)); ++n) {
            m_segments[h] = base + L" (" + std::to_wstring(n) + L")";
            path = PathOf(h);
        }
        used.insert(KvBase::UpperCase(path));
    }

    m_tree.Expand(m_hComputer, TVE_EXPAND);
    ::SetFocus(m_tree.m_hWnd);
}

void dlgBrowseDevice::FillPci() {
    SmartPtr<IPCIEquipment> pci = Common::GetPCI();
    if (!pci)
        return;
    m_hPci = m_tree.InsertItem(pci->GetName(), pci->GetImage(), pci->GetImage(), m_hComputer, TVI_LAST,
                               AddEntry(SmartPtr<IEntry>(pci)));
    std::list<SmartPtr<IEquipment>> devices;
    pci->GetDevices(devices, nullptr);
    std::map<std::wstring, HTREEITEM> groups;
    for (const auto& d : devices) {
        std::wstring group = d->GetGroup();
        if (group.empty())
            continue;
        HTREEITEM& g = groups[group];
        if (!g)
            g = m_tree.InsertItem(group, d->GetImage(), d->GetImage(), m_hPci, TVI_LAST, -1);
        m_tree.InsertItem(d->GetName(), d->GetImage(), d->GetImage(), g, TVI_LAST, AddEntry(SmartPtr<IEntry>(d)));
    }
    m_tree.Expand(m_hPci, TVE_EXPAND);
}

void dlgBrowseDevice::FillSmbios() {
    SmartPtr<ISMBIOS> smbios = Common::GetSMBIOS();
    if (!smbios)
        return;
    m_hSmbios = m_tree.InsertItem(smbios->GetName(), smbios->GetImage(), smbios->GetImage(), m_hComputer, TVI_LAST,
                                  AddEntry(SmartPtr<IEntry>(smbios)));
    std::list<SmartPtr<ISMBIOSTable>> tables;
    smbios->GetTables(tables, nullptr);
    std::map<std::wstring, HTREEITEM> groups;
    for (const auto& t : tables) {
        int image = t->GetImage();
        std::wstring group = t->GetGroup();
        HTREEITEM parent = m_hSmbios;
        if (!group.empty()) {
            HTREEITEM& g = groups[group];
            if (!g)
                g = m_tree.InsertItem(group, image, image, m_hSmbios, TVI_LAST, -1);
            parent = g;
        }
        HTREEITEM table =
            m_tree.InsertItem(t->GetName(), image, image, parent, TVI_LAST, AddEntry(SmartPtr<IEntry>(t)));
        std::list<SmartPtr<ISMBIOSField>> fields;
        t->GetFields(fields, nullptr);
        for (const auto& f : fields)
            if (!f->IsSystem())
                m_tree.InsertItem(f->GetName(), image, image, table, TVI_LAST, AddEntry(SmartPtr<IEntry>(f)));
    }
    m_tree.Expand(m_hSmbios, TVE_EXPAND);
}

bool dlgBrowseDevice::IsPickEligible(HTREEITEM h) const {
    SmartPtr<IEntry> e = GetItemEntry(h);
    return SmartPtr<IEquipment>(e) || SmartPtr<ISMBIOSTable>(e) || SmartPtr<ISMBIOSField>(e);
}

bool dlgBrowseDevice::IsCoveredByParent(HTREEITEM h) const {
    // A fully checked table is picked instead of its fields.
    return SmartPtr<ISMBIOSField>(GetItemEntry(h)) && IsFullyChecked(m_tree.GetParentItem(h));
}

std::wstring dlgBrowseDevice::SegmentOf(HTREEITEM h) const {
    auto own = m_segments.find(h);
    if (own != m_segments.end())
        return own->second;
    SmartPtr<IEntry> e = GetItemEntry(h);
    if (SmartPtr<ISMBIOSTable> table = e)
        return Format(L" #%.4llX", table->GetName(), table->GetHandle());
    if (SmartPtr<IEquipment> device = e) {
        _value_t address = PropertyOf(device.Get(), L"Address");
        if (!address.empty())
            return Format(L" #%.8llX", device->GetName(), (unsigned long long)(unsigned)address.as_int64());
    }
    return m_tree.GetItemText(h);
}

std::wstring dlgBrowseDevice::PathOf(HTREEITEM h) const {
    if (!h)
        return std::wstring();
    if (h == m_hPci)
        return L"PCI";
    if (h == m_hSmbios)
        return L"SMBIOS";
    HTREEITEM parent = m_tree.GetParentItem(h);
    if (!parent)
        return std::wstring();
    return PathOf(parent) + L"\\" + SegmentOf(h);
}

void dlgBrowseDevice::ShowProperties(HTREEITEM h) {
    SmartPtr<IEntry> e = GetItemEntry(h);
    if (h == m_hComputer || h == m_hPci || !e) {
        AddRow(LoadStr(IDS_PICK_GROUP), m_tree.GetItemText(h));
        return;
    }
    if (SmartPtr<IEquipment> device = e) {
        for (const wchar_t* name : {L"Bus Number", L"Device Number", L"Function Number"}) {
            std::wstring real;
            _value_t v = PropertyOf(device.Get(), name, &real);
            if (!v.empty())
                AddRow(real, v.as_wstring());
        }
        return;
    }
    if (SmartPtr<ISMBIOS> smbios = e) {
        wchar_t version[32];
        swprintf(version, 32, L"%i.%i", (int)smbios->GetMajorVersion(), (int)smbios->GetMinorVersion());
        AddRow(LoadStr(IDS_PICK_VERSION), version);
        return;
    }
    if (SmartPtr<ISMBIOSTable> table = e) {
        auto main = CProp::MakeGroup(LoadStr(IDS_PICK_MAIN));
        auto system = CProp::MakeGroup(LoadStr(IDS_PICK_SYSTEM));
        std::list<SmartPtr<ISMBIOSField>> fields;
        table->GetFields(fields, nullptr);
        for (const auto& f : fields)
            (f->IsSystem() ? system : main)->AddSubItem(CProp::MakeText(f->GetName(), f->GetValueText()));
        if (main->GetSubItemsCount())
            m_grid.AddProperty(std::move(main));
        if (system->GetSubItemsCount())
            m_grid.AddProperty(std::move(system));
        return;
    }
    if (SmartPtr<ISMBIOSField> field = e)
        AddRow(field->GetName(), field->GetValueText());
}
