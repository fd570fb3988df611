// The hardware and disk-sector pickers as real windows: the inventory's PCI list and drives come
// from sources of the test, the SMBIOS table is Wine's own or one the test builds; the dialogs run
// modally and are driven through the presenter, by clicks on state images and by Space.
#include <gtest/gtest.h>

#include "kvpresenter.h"
#include "pickers_fixtures.h"

#include "Pickers.h"
#include "pickers_ids.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace KvUi;
using namespace VDeviceInfo;
using namespace PickerFixtures;

namespace {

const int g_init = (::InitCommonControls(), 0);

// Runs a picker; the script acts while it is up (then it is cancelled unless it ended).
template <class D>
INT_PTR RunPicker(D& dlg, UINT id, std::function<void(D&)> script, KvTest::CScopedPresenter* presenter = nullptr) {
    std::unique_ptr<KvTest::CScopedPresenter> own;
    if (!presenter) {
        own.reset(new KvTest::CScopedPresenter);
        presenter = own.get();
    }
    presenter->OnDialog<D>(id, [&](D& d) {
        ::ShowWindow(d.m_hWnd, SW_SHOW);
        ::UpdateWindow(d.m_hWnd);
        script(d);
        if (!d.IsEnded())
            d.EndDialog(IDCANCEL);
    });
    return dlg.DoModal();
}

bool OkEnabled(CDialog& d) { return ::IsWindowEnabled(d.GetDlgItem(IDOK)) != 0; }
void PressOk(CDialog& d) { ::SendMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

// ---- hardware picker ---------------------------------------------------------------------------

struct HardwarePicker : ::testing::Test {
    ScopedSources sources;
    void SetUp() override {
        sources.Pci(TwoEqualAdaptersAndANetworkCard());
        sources.Smbios(BuiltSmbiosTable());
    }
};

TEST_F(HardwarePicker, TreeOfComputerPciGroupsAndSmbiosTablesWithTheirPaths) {
    dlgBrowseDevice dlg(0, L"PCI\\ignored", nullptr);
    RunPicker<dlgBrowseDevice>(dlg, IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        CTreeCtrlEx& tree = d.GetTree();
        // The initial path selects nothing (the tree's caret may stand on its top item).
        EXPECT_TRUE(tree.GetSelectedItem() == nullptr || tree.GetSelectedItem() == d.GetComputerItem());
        EXPECT_FALSE(OkEnabled(d));
        EXPECT_EQ(L"PCI", d.GetItemPath(d.GetPciItem()));
        EXPECT_EQ(L"SMBIOS", d.GetItemPath(d.GetSmbiosItem()));
        std::vector<std::wstring> groups = Children(tree, d.GetPciItem());
        EXPECT_EQ((std::vector<std::wstring>{L"Видеоадаптеры", L"Сетевые адаптеры"}), groups); // no group: left out
        HTREEITEM display = Child(tree, d.GetPciItem(), L"Видеоадаптеры");
        std::vector<HTREEITEM> adapters = ChildItems(tree, display);
        ASSERT_EQ(2u, adapters.size());
        // Two equal adapters on two buses: two paths.
        EXPECT_EQ(L"PCI\\Видеоадаптеры\\Display #00000100", d.GetItemPath(adapters[0]));
        EXPECT_EQ(L"PCI\\Видеоадаптеры\\Display #00010100", d.GetItemPath(adapters[1]));
        // Tables: BIOS with no group at the top, memory devices in their group, each by handle.
        HTREEITEM bios = Child(tree, d.GetSmbiosItem(), L"BIOS Information");
        ASSERT_NE(nullptr, bios);
        EXPECT_EQ(L"SMBIOS\\BIOS Information #0000", d.GetItemPath(bios));
        HTREEITEM vendor = Child(tree, bios, L"Vendor");
        ASSERT_NE(nullptr, vendor);
        EXPECT_EQ(L"SMBIOS\\BIOS Information #0000\\Vendor", d.GetItemPath(vendor));
        // System fields are not in the tree.
        EXPECT_EQ(nullptr, Child(tree, bios, L"Handle"));

        // Single choice: OK follows what the selection can give.
        struct Case {
            HTREEITEM item;
            bool ok;
        };
        const Case cases[] = {{d.GetComputerItem(), false},
                              {d.GetPciItem(), false},
                              {display, false},
                              {adapters[1], true},
                              {d.GetSmbiosItem(), false},
                              {bios, true},
                              {vendor, true}};
        for (const Case& c : cases) {
            tree.SelectItem(c.item);
            EXPECT_EQ(c.ok, OkEnabled(d)) << tree.GetItemText(c.item);
        }
        tree.SelectItem(adapters[1]);
        PressOk(d);
    });
    ASSERT_EQ(1u, dlg.GetPicked().size());
    EXPECT_EQ(L"PCI\\Видеоадаптеры\\Display #00010100", dlg.GetPicked().front().strPath);
    std::map<std::wstring, _value_t> params;
    EXPECT_EQ(5, GetPickedEntryParams(dlg.GetPicked().front(), params));
    EXPECT_EQ(1, params[L"Bus Number"].as_int());
    EXPECT_EQ(L"{4D36E968-E325-11CE-BFC1-08002BE10318}", params[L"Class GUID"].as_wstring());
}

TEST_F(HardwarePicker, PropertyListShowsTheSelectedItem) {
    dlgBrowseDevice dlg(0, L"", nullptr);
    RunPicker<dlgBrowseDevice>(dlg, IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        CTreeCtrlEx& tree = d.GetTree();
        HTREEITEM display = Child(tree, d.GetPciItem(), L"Видеоадаптеры");
        struct Case {
            HTREEITEM item;
            std::vector<std::wstring> rows; // name=value, groups as their name
        };
        HTREEITEM bios = Child(tree, d.GetSmbiosItem(), L"BIOS Information");
        const Case cases[] = {
            {display, {L"Группа=Видеоадаптеры"}},
            {ChildItems(tree, display)[1], {L"Bus Number=1", L"Device Number=1", L"Function Number=0"}},
            {d.GetSmbiosItem(), {L"Версия=2.8"}},
            {Child(tree, bios, L"Vendor"), {L"Vendor=Kv Firmware"}},
        };
        for (const Case& c : cases) {
            tree.SelectItem(c.item);
            EXPECT_EQ(c.rows, GridRows(d.GetGrid())) << tree.GetItemText(c.item);
        }
        tree.SelectItem(bios);
        std::vector<std::wstring> rows = GridRows(d.GetGrid());
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(L"Основные", rows.front());
        EXPECT_NE(rows.end(), std::find(rows.begin(), rows.end(), L"Системные"));
        EXPECT_NE(rows.end(), std::find(rows.begin(), rows.end(), L"Type=0"));
        // At the dialog's own size every row's name is shown whole within the list, or cut in its
        // middle, and no two rows read alike ("BIOS Characteristics" and its two extension bytes).
        HWND list = ::FindWindowExW(d.GetGrid().m_hWnd, nullptr, WC_LISTVIEWW, nullptr);
        ASSERT_NE(nullptr, list);
        RECT client;
        ::GetClientRect(list, &client);
        std::set<std::wstring> shown;
        for (int i = 0; i < ListView_GetItemCount(list); ++i) {
            wchar_t text[256] = {};
            ListView_GetItemText(list, i, 0, text, 256);
            std::wstring name = d.GetGrid().GetProperty(i)->GetName();
            RECT cell = {};
            ListView_GetSubItemRect(list, i, 0, LVIR_LABEL, &cell);
            EXPECT_LE(cell.left + ListView_GetStringWidth(list, text), std::min(cell.right, client.right)) << name;
            // Whole, or its start and its end around "…".
            std::wstring shownText = text;
            size_t cut = shownText.find(L'\u2026');
            if (cut == std::wstring::npos) {
                EXPECT_EQ(name, shownText);
            } else {
                std::wstring head = shownText.substr(0, cut), tail = shownText.substr(cut + 1);
                EXPECT_EQ(0, name.compare(0, head.size(), head)) << text;
                EXPECT_TRUE(name.size() >= tail.size() &&
                            name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
                    << text;
            }
            EXPECT_TRUE(shown.insert(text).second) << text;
        }
    });
}

// Check mode: a fully checked table is picked instead of its fields, a field alone is picked by
// itself, groups and the computer are never picked, and OK is on only when something would be.
TEST_F(HardwarePicker, CheckModePicksFullyCheckedEntriesAndOkFollowsThePick) {
    dlgBrowseDevice dlg(1, L"", nullptr);
    RunPicker<dlgBrowseDevice>(dlg, IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        CTreeCtrlEx& tree = d.GetTree();
        EXPECT_TRUE(::GetWindowLongW(tree.m_hWnd, GWL_STYLE) & TVS_CHECKBOXES);
        EXPECT_FALSE(OkEnabled(d));
        HTREEITEM bios = Child(tree, d.GetSmbiosItem(), L"BIOS Information");
        HTREEITEM memory = Child(tree, d.GetSmbiosItem(), L"Memory");
        ASSERT_NE(nullptr, memory);
        HTREEITEM firstMemory = ChildItems(tree, memory)[0];
        HTREEITEM serial = Child(tree, firstMemory, L"Serial Number");
        ASSERT_NE(nullptr, serial);

        ClickStateImage(tree, bios); // the whole table
        EXPECT_TRUE(OkEnabled(d));
        tree.SelectItem(serial);
        PressSpace(tree); // one field of another table
        EXPECT_TRUE(OkEnabled(d));
        PressOk(d);
    });
    std::vector<std::wstring> paths;
    for (const PickedEntry& p : dlg.GetPicked())
        paths.push_back(p.strPath);
    EXPECT_EQ((std::vector<std::wstring>{L"SMBIOS\\BIOS Information #0000",
                                         L"SMBIOS\\Memory\\Memory Device #0011\\Serial Number"}),
              paths);
    std::map<std::wstring, _value_t> table, field;
    EXPECT_EQ(6, GetPickedEntryParams(dlg.GetPicked().front(), table));
    EXPECT_EQ(7, GetPickedEntryParams(dlg.GetPicked().back(), field));
    EXPECT_EQ(0, table[L"Table Type"].as_int());
    EXPECT_EQ(0x11, field[L"Table Handle"].as_int());
    EXPECT_EQ(17, field[L"Table Type"].as_int());
    EXPECT_TRUE(field[L"Field Type"].as_bool()); // a string field
    EXPECT_EQ(0x18, field[L"Field Offset"].as_int());
}

TEST_F(HardwarePicker, CheckedGroupsWithoutEntriesGiveNoOk) {
    sources.Pci({});
    dlgBrowseDevice dlg(1, L"", nullptr);
    RunPicker<dlgBrowseDevice>(dlg, IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        CTreeCtrlEx& tree = d.GetTree();
        // The PCI branch has no device: checked, it picks nothing.
        ClickStateImage(tree, d.GetPciItem());
        EXPECT_EQ(2, tree.GetStateImage(d.GetPciItem()));
        EXPECT_FALSE(OkEnabled(d));
        PressOk(d);
        EXPECT_FALSE(d.IsEnded());
        // The computer checked: every table under it.
        ClickStateImage(tree, d.GetComputerItem());
        EXPECT_TRUE(OkEnabled(d));
        PressOk(d);
    });
    for (const PickedEntry& p : dlg.GetPicked())
        EXPECT_TRUE(SmartPtr<ISMBIOSTable>(p.entry)) << p.strPath; // tables only, no fields, no groups
    EXPECT_EQ(3u, dlg.GetPicked().size());
}

// Two tables that read alike (a damaged firmware table that repeats a handle) get two paths: the
// second is counted, and its fields are named under the counted table.
TEST_F(HardwarePicker, EqualPathsAreToldApartByACount) {
    std::vector<BYTE> mem(0x22 - 4, 0);
    mem[0x10 - 4] = 1, mem[0x11 - 4] = 2, mem[0x17 - 4] = 3, mem[0x18 - 4] = 4;
    sources.Smbios(KvSmbios::Raw({KvSmbios::Structure(17, 0x11, mem, {"DIMM 1", "BANK 0", "Kv", "SN-1"}),
                                  KvSmbios::Structure(17, 0x11, mem, {"DIMM 2", "BANK 1", "Kv", "SN-2"}),
                                  KvSmbios::Structure(127, 0xFFFF, {}, {})},
                                 0, 2, 8));
    dlgBrowseDevice dlg(1, L"", nullptr);
    RunPicker<dlgBrowseDevice>(dlg, IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        CTreeCtrlEx& tree = d.GetTree();
        std::vector<HTREEITEM> tables = ChildItems(tree, Child(tree, d.GetSmbiosItem(), L"Memory"));
        ASSERT_EQ(2u, tables.size());
        EXPECT_EQ(L"SMBIOS\\Memory\\Memory Device #0011", d.GetItemPath(tables[0]));
        EXPECT_EQ(L"SMBIOS\\Memory\\Memory Device #0011 (2)", d.GetItemPath(tables[1]));
        EXPECT_EQ(L"SMBIOS\\Memory\\Memory Device #0011 (2)\\Serial Number",
                  d.GetItemPath(Child(tree, tables[1], L"Serial Number")));
        ClickStateImage(tree, tables[0]);
        ClickStateImage(tree, tables[1]);
        PressOk(d);
    });
    std::vector<std::wstring> paths;
    for (const PickedEntry& p : dlg.GetPicked())
        paths.push_back(p.strPath);
    EXPECT_EQ(
        (std::vector<std::wstring>{L"SMBIOS\\Memory\\Memory Device #0011", L"SMBIOS\\Memory\\Memory Device #0011 (2)"}),
        paths);
}

// Tab goes from the tree to the property list, on to OK while it is enabled (else to Cancel),
// and from Cancel back to the tree.
TEST_F(HardwarePicker, TabWalksTreeListOkOrCancelAndBack) {
    dlgBrowseDevice dlg(0, L"", nullptr);
    RunPicker<dlgBrowseDevice>(dlg, IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        ::SetForegroundWindow(d.m_hWnd);
        ::SetActiveWindow(d.m_hWnd);
        CTreeCtrlEx& tree = d.GetTree();
        HWND grid = d.GetGrid().m_hWnd, ok = d.GetDlgItem(IDOK), cancel = d.GetDlgItem(IDCANCEL);
        auto inGrid = [&] {
            HWND f = ::GetFocus();
            return f == grid || ::IsChild(grid, f);
        };
        for (bool okOn : {false, true}) {
            SCOPED_TRACE(okOn);
            tree.SelectItem(okOn ? Child(tree, d.GetSmbiosItem(), L"BIOS Information") : d.GetPciItem());
            ASSERT_EQ(okOn, OkEnabled(d));
            ::SetFocus(tree.m_hWnd);
            ASSERT_EQ(tree.m_hWnd, ::GetFocus());
            PressKey(tree.m_hWnd, VK_TAB);
            EXPECT_TRUE(inGrid());
            PressKey(::GetFocus(), VK_TAB);
            EXPECT_EQ(okOn ? ok : cancel, ::GetFocus());
            if (okOn)
                ::SetFocus(cancel);
            PressKey(cancel, VK_TAB);
            EXPECT_EQ(tree.m_hWnd, ::GetFocus());
        }
    });
}

// ---- disk-sector picker ------------------------------------------------------------------------

struct SectorPicker : ::testing::Test {
    ScopedSources sources;
    std::wstring image;
    void SetUp() override {
        image = TempPath(L"nested.img");
        WriteNestedMbrImage(image);
        sources.Drives(
            {Common::ReadDiskImage(image, 1, 512), BigDrive(2), RemovableDrive(3), NoGeometryDrive(4), FarDrive(300)});
    }
};

TEST_F(SectorPicker, DrivesExtendedPartitionsAndSectorsWhereTheyLie) {
    dlgBrowseDiskSector dlg(0, nullptr);
    RunPicker<dlgBrowseDiskSector>(dlg, IDD_BROWSE_DISK_SECTOR, [](dlgBrowseDiskSector& d) {
        CTreeCtrlEx& tree = d.GetTree();
        // Fixed drives only, and none the store cannot number.
        EXPECT_EQ((std::vector<std::wstring>{L"PhysicalDrive1", L"PhysicalDrive2", L"PhysicalDrive4"}),
                  Children(tree, nullptr));
        HTREEITEM disk1 = Child(tree, nullptr, L"PhysicalDrive1");
        EXPECT_EQ((std::vector<std::wstring>{L"MBR", L"Boot sector of partition 1", L"Extended"}),
                  Children(tree, disk1));
        HTREEITEM outer = Child(tree, disk1, L"Extended");
        std::vector<std::wstring> inOuter = Children(tree, outer);
        ASSERT_EQ(3u, inOuter.size());
        EXPECT_EQ(L"Extended", inOuter.back()); // the next link nests in the one before
        HTREEITEM inner = Child(tree, outer, L"Extended");
        EXPECT_EQ(2u, Children(tree, inner).size());
        int image = -1, sel = -1;
        tree.GetItemImage(inner, image, sel);
        EXPECT_EQ(ImageExtendedOpen, image);
        tree.SelectItem(inner);
        ::SendMessageW(tree.m_hWnd, WM_KEYDOWN, VK_LEFT, 0); // the user collapses it
        tree.GetItemImage(inner, image, sel);
        EXPECT_EQ(ImageExtendedClosed, image);
        // Sectors of a drive without geometry keep their places (512 bytes each).
        HTREEITEM disk4 = Child(tree, nullptr, L"PhysicalDrive4");
        EXPECT_EQ((std::vector<std::wstring>{L"MBR", L"Extended"}), Children(tree, disk4));
        EXPECT_EQ((std::vector<std::wstring>{L"EBR"}), Children(tree, Child(tree, disk4, L"Extended")));

        tree.SelectItem(disk1);
        std::vector<std::wstring> rows = GridRows(d.GetGrid());
        EXPECT_NE(rows.end(), std::find(rows.begin(), rows.end(), L"Стиль раздела=Основная загрузочная запись (MBR)"));
        EXPECT_NE(rows.end(), std::find(rows.begin(), rows.end(), L"BIOS"));
        EXPECT_FALSE(OkEnabled(d));
        HTREEITEM boot = Child(tree, disk1, L"Boot sector of partition 1");
        tree.SelectItem(boot);
        EXPECT_EQ((std::vector<std::wstring>{L"Имя=Boot sector of partition 1", L"Сектор=0x003F"}),
                  GridRows(d.GetGrid()));
        EXPECT_TRUE(OkEnabled(d));
        PressOk(d);
    });
    ASSERT_EQ(1u, dlg.GetPicked().size());
    EXPECT_EQ(L"PhysicalDrive1\\Boot sector of partition 1", dlg.GetPicked().front().strPath);
    std::map<std::wstring, _value_t> params;
    EXPECT_EQ(4, GetPickedEntryParams(dlg.GetPicked().front(), params));
    EXPECT_EQ(1, params[L"DISK"].as_int());
    EXPECT_EQ(63, params[L"SECTOR"].as_int64());
    EXPECT_EQ(typeid(long long), params[L"SECTOR"].type());
}

TEST_F(SectorPicker, SectorAbove32BitsIsRefusedAndTheDialogStaysOpen) {
    struct Case {
        const wchar_t* sector;
        bool accepted;
    };
    const Case cases[] = {{L"Sector 4294967295", true}, {L"Sector 4294967296", false}};
    for (const Case& c : cases) {
        KvTest::CScopedPresenter presenter;
        dlgBrowseDiskSector dlg(0, nullptr);
        bool stayed = false;
        INT_PTR r = RunPicker<dlgBrowseDiskSector>(
            dlg, IDD_BROWSE_DISK_SECTOR,
            [&](dlgBrowseDiskSector& d) {
                HTREEITEM disk2 = Child(d.GetTree(), nullptr, L"PhysicalDrive2");
                d.GetTree().SelectItem(Child(d.GetTree(), disk2, c.sector));
                PressOk(d);
                stayed = !d.IsEnded();
            },
            &presenter);
        EXPECT_EQ(c.accepted ? IDOK : IDCANCEL, r) << c.sector;
        EXPECT_EQ(!c.accepted, stayed);
        auto boxes = presenter.Boxes();
        if (c.accepted) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(1u, boxes.size());
            EXPECT_EQ(L"Невозможно установить на контроль сектор.\n\t\t\t\t\t\t\tНазвание сектора: "
                      L"PhysicalDrive2\\Sector 4294967296\nАбсолютный номер сектора: 4294967296\n\t\t\t\t\t\t\t"
                      L"Сектора с номерами более 4294967295 не контролируются ПАК “Varno”.",
                      boxes[0].text);
            EXPECT_TRUE(boxes[0].type & MB_ICONEXCLAMATION);
        }
    }
}

TEST_F(SectorPicker, CheckModeNeedsACheckedSector) {
    dlgBrowseDiskSector dlg(1, nullptr);
    RunPicker<dlgBrowseDiskSector>(dlg, IDD_BROWSE_DISK_SECTOR, [](dlgBrowseDiskSector& d) {
        CTreeCtrlEx& tree = d.GetTree();
        HTREEITEM disk1 = Child(tree, nullptr, L"PhysicalDrive1");
        HTREEITEM inner = Child(tree, Child(tree, disk1, L"Extended"), L"Extended");
        // A checked drive without sectors gives nothing.
        HTREEITEM empty = Child(tree, nullptr, L"PhysicalDrive4");
        for (HTREEITEM c : ChildItems(tree, empty))
            tree.DeleteItem(c);
        ClickStateImage(tree, empty);
        EXPECT_EQ(2, tree.GetStateImage(empty));
        EXPECT_FALSE(OkEnabled(d));
        // The inner extended partition checked: its two sectors.
        ClickStateImage(tree, inner);
        EXPECT_TRUE(OkEnabled(d));
        PressOk(d);
    });
    ASSERT_EQ(2u, dlg.GetPicked().size());
    for (const PickedEntry& p : dlg.GetPicked())
        EXPECT_TRUE(SmartPtr<ISector>(p.entry)) << p.strPath;
}

} // namespace
