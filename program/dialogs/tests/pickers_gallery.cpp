// Gallery pictures of the pickers and of bulk creation as they run, with content: each picker
// resized larger than its template and then smaller (which stops at the template's size),
// build/gallery/pickers-<template>-larger.png and -smaller.png; bulk creation at its fixed size,
// pickers-172.png.
#include <gtest/gtest.h>

#include "kvgallery.h"
#include "kvclick.h"
#include "kvpresenter.h"
#include "pickers_fixtures.h"

#include "Pickers.h"
#include "pickers_ids.h"

#include <fstream>

using namespace KvUi;
using namespace PickerFixtures;

namespace {

const int g_init = (::InitCommonControls(), ::CoInitialize(nullptr), 0);

using KvTest::PumpFor;

SIZE WindowSize(HWND h) {
    RECT rc;
    ::GetWindowRect(h, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

void Shoot(HWND h, const std::wstring& name) {
    ::SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    PumpFor(300);
    std::wstring folder = KvGallery::Folder();
    ASSERT_FALSE(folder.empty()) << "KV_GALLERY_DIR is not set";
    std::wstring png = folder + L"\\" + name + L".png";
    ::DeleteFileW(png.c_str());
    EXPECT_EQ(S_OK, KvGallery::SaveWindow(h, png)) << png;
}

// Larger than the template, then smaller (the window stops at the template's size).
void ShootBothSizes(CDialog& d, UINT id) {
    HWND h = d.m_hWnd;
    ::SetWindowPos(h, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SIZE s = WindowSize(h);
    ::SetWindowPos(h, nullptr, 0, 0, s.cx + 220, s.cy + 140, SWP_NOMOVE | SWP_NOZORDER);
    Shoot(h, L"pickers-" + std::to_wstring(id) + L"-larger");
    ::SetWindowPos(h, nullptr, 0, 0, s.cx - 120, s.cy - 90, SWP_NOMOVE | SWP_NOZORDER);
    SIZE small = WindowSize(h);
    EXPECT_EQ(s.cx, small.cx);
    EXPECT_EQ(s.cy, small.cy);
    Shoot(h, L"pickers-" + std::to_wstring(id) + L"-smaller");
}

TEST(PickersGallery, RegistryPicker) {
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [](dlgBrowseRegistry& d) {
        HTREEITEM hklm = d.FindChild(d.GetRootItem(), L"HKEY_LOCAL_MACHINE");
        d.GetTree().Expand(hklm, TVE_EXPAND);
        HTREEITEM software = d.FindChild(hklm, L"Software");
        d.GetTree().Expand(software, TVE_EXPAND);
        d.GetTree().SelectItem(software);
        ShootBothSizes(d, IDD_BROWSE_REGISTRY);
        d.EndDialog(IDCANCEL);
    });
    std::wstring path;
    dlgBrowseRegistry dlg(nullptr, L"Выбор переменной реестра", 1, &path);
    dlg.DoModal();
}

TEST(PickersGallery, HardwarePicker) {
    ScopedSources sources;
    sources.Pci(TwoEqualAdaptersAndANetworkCard());
    sources.Smbios(BuiltSmbiosTable());
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog<dlgBrowseDevice>(IDD_BROWSE_DEVICE, [](dlgBrowseDevice& d) {
        ::ShowWindow(d.m_hWnd, SW_SHOW);
        CTreeCtrlEx& tree = d.GetTree();
        HTREEITEM bios = Child(tree, d.GetSmbiosItem(), L"BIOS Information");
        tree.SelectItem(bios);
        PressSpace(tree); // checked as the user does it, so OK follows
        ShootBothSizes(d, IDD_BROWSE_DEVICE);
        d.EndDialog(IDCANCEL);
    });
    dlgBrowseDevice dlg(1, L"", nullptr);
    dlg.DoModal();
}

TEST(PickersGallery, DiskSectorPicker) {
    ScopedSources sources;
    std::wstring image = TempPath(L"gallery.img");
    WriteNestedMbrImage(image);
    sources.Drives({VDeviceInfo::Common::ReadDiskImage(image, 1, 512), BigDrive(2)});
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog<dlgBrowseDiskSector>(IDD_BROWSE_DISK_SECTOR, [](dlgBrowseDiskSector& d) {
        CTreeCtrlEx& tree = d.GetTree();
        HTREEITEM disk = Child(tree, nullptr, L"PhysicalDrive1");
        // The MBR checked as the user does it (Space), so OK follows.
        tree.SelectItem(Child(tree, disk, L"MBR"));
        PressSpace(tree);
        tree.SelectItem(disk);
        ShootBothSizes(d, IDD_BROWSE_DISK_SECTOR);
        d.EndDialog(IDCANCEL);
    });
    dlgBrowseDiskSector dlg(1, nullptr);
    dlg.DoModal();
}

TEST(PickersGallery, BulkCreation) {
    std::wstring file = LocalTempPath(L"gallery.exe");
    TouchFile(file);
    std::wstring folder = LocalTempPath(L"gallerydir");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    KvTest::CScopedPresenter presenter;
    presenter.QueueFiles({file});
    presenter.QueueFolder(folder);
    presenter.OnDialog<dlgAddResources>(IDD_ADD_RESOURCES, [](dlgAddResources& d) {
        ::SendMessageW(d.GetDlgItem(IDC_ADDRES_ADD), BM_CLICK, 0, 0);
        d.SelectKind(dlgAddResources::KindFolderFiles);
        ::SendMessageW(d.GetDlgItem(IDC_ADDRES_BY_FILTER), BM_CLICK, 0, 0);
        ::SendMessageW(d.GetDlgItem(IDC_ADDRES_NESTED), BM_CLICK, 0, 0);
        ::SendMessageW(d.GetDlgItem(IDC_ADDRES_ADD), BM_CLICK, 0, 0);
        // A dialog of fixed size.
        ::SetWindowPos(d.m_hWnd, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Shoot(d.m_hWnd, L"pickers-" + std::to_wstring(IDD_ADD_RESOURCES));
        d.EndDialog(IDCANCEL);
    });
    CResourceOperationList ops;
    dlgAddResources dlg(nullptr, &ops, -1);
    dlg.DoModal();
}

} // namespace
