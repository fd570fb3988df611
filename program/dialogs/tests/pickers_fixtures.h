// Fixtures of the picker tests: inventory sources (PCI devices, an SMBIOS table, drives and a disk
// image with nested extended partitions), and the ways a user reaches a tree and a property list.
#pragma once

#include <gtest/gtest.h>

#include "TreeCtrlEx.h"
#include "kvsmbios.h"

#include <VDevInfo.h>
#include <kvui/kvui.h>

#include <memory>
#include <string>
#include <vector>

namespace PickerFixtures {

using namespace VDeviceInfo;

// The application of the picker tests: its profile lives under a key of its own.
struct TestApp : KvUi::CWinApp {
    TestApp() {
        SetRegistryKey(L"VICheck64 picker tests");
        m_strProfileName = L"pickers";
    }
};
inline TestApp g_app;

// A path on the prefix's own disk (the file pickers take local hard disks only).
inline std::wstring LocalTempPath(const std::wstring& name) {
    wchar_t buf[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, buf);
    std::wstring dir = std::wstring(buf) + L"kvpickers";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\" + name;
}

inline std::wstring TempPath(const std::wstring& name) {
    wchar_t buf[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"KV_TEST_TMP", buf, MAX_PATH);
    std::wstring dir = buf[0] ? buf : L"C:\\windows\\temp";
    return dir + L"\\" + name;
}

// A small file of the test.
inline void TouchFile(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    ::WriteFile(h, "x", 1, &n, nullptr);
    ::CloseHandle(h);
}

// ---- inventory sources -------------------------------------------------------------------------

struct ListPci : IPciSource {
    std::vector<PciDeviceInfo> devices;
    std::vector<PciDeviceInfo> ListDevices() override { return devices; }
};
struct RawSmbios : ISmbiosSource {
    std::vector<BYTE> table;
    std::vector<BYTE> ReadRawTable() override { return table; }
};
struct DriveList : IDriveSource {
    std::vector<DriveInfo> drives;
    std::vector<DriveInfo> ListDrives() override { return drives; }
};

// The sources of one test; the system's come back at its end.
class ScopedSources {
public:
    ~ScopedSources() {
        Common::SetPciSource(nullptr);
        Common::SetSmbiosSource(nullptr);
        Common::SetDriveSource(nullptr);
    }
    void Pci(std::vector<PciDeviceInfo> devices) {
        m_pci.reset(new ListPci);
        m_pci->devices = std::move(devices);
        Common::SetPciSource(m_pci.get());
    }
    void Smbios(std::vector<BYTE> table) {
        m_smbios.reset(new RawSmbios);
        m_smbios->table = std::move(table);
        Common::SetSmbiosSource(m_smbios.get());
    }
    void Drives(std::vector<DriveInfo> drives) {
        m_drives.reset(new DriveList);
        m_drives->drives = std::move(drives);
        Common::SetDriveSource(m_drives.get());
    }

private:
    std::unique_ptr<ListPci> m_pci;
    std::unique_ptr<RawSmbios> m_smbios;
    std::unique_ptr<DriveList> m_drives;
};

inline PciDeviceInfo Device(const wchar_t* name, const wchar_t* group, const GUID& cls, DWORD bus, DWORD dev) {
    PciDeviceInfo d;
    d.name = name;
    d.group = group;
    d.classGuid = cls;
    d.hardwareId = L"PCI\\VEN_1234&DEV_1111&SUBSYS_00000000&REV_01";
    d.bus = bus;
    d.device = dev;
    d.vendorId = 0x1234;
    d.deviceId = 0x1111;
    d.revisionId = 1;
    return d;
}

// Two equal display adapters on buses 0 and 1, a network card, and a device of no group.
inline std::vector<PciDeviceInfo> TwoEqualAdaptersAndANetworkCard() {
    const GUID display = {0x4d36e968, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const GUID net = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const GUID none = {};
    return {Device(L"Display", L"Видеоадаптеры", display, 0, 1), Device(L"Display", L"Видеоадаптеры", display, 1, 1),
            Device(L"Ethernet", L"Сетевые адаптеры", net, 0, 3), Device(L"Host bridge", L"", none, 0, 0)};
}

// SMBIOS 2.8: the BIOS (handle 0) and two memory devices (0x11, 0x12) whose serial numbers
// differ; serialOfFirst replaces the first one's (a changed field).
inline std::vector<BYTE> BuiltSmbiosTable(const std::string& serialOfFirst = "SN-1") {
    std::vector<BYTE> bios(0x18 - 4, 0);
    bios[0] = 1, bios[1] = 2, bios[2] = 0x00, bios[3] = 0xE0, bios[4] = 3, bios[5] = 0x0F, bios[6] = 0x80;
    bios[0x14 - 4] = 1;
    std::vector<std::vector<BYTE>> s = {KvSmbios::Structure(0, 0x0000, bios, {"Kv Firmware", "1.0", "01/01/2020"})};
    for (WORD handle : {0x11, 0x12}) {
        std::vector<BYTE> mem(0x22 - 4, 0);
        mem[0x10 - 4] = 1, mem[0x11 - 4] = 2, mem[0x17 - 4] = 3, mem[0x18 - 4] = 4;
        mem[0x0D - 4] = 0x10; // 4096 MB
        s.push_back(KvSmbios::Structure(
            17, handle, mem,
            {"DIMM " + std::to_string(handle & 0xF), "BANK 0", "Kv", handle == 0x11 ? serialOfFirst : "SN-2"}));
    }
    s.push_back(KvSmbios::Structure(127, 0xFFFF, {}, {}));
    return KvSmbios::Raw(s, 0, 2, 8);
}

// ---- drives ------------------------------------------------------------------------------------

inline void PutEntry(std::vector<BYTE>& sector, int i, BYTE type, DWORD lba, DWORD count) {
    BYTE* e = &sector[0x1BE + 16 * i];
    e[4] = type;
    memcpy(e + 8, &lba, 4);
    memcpy(e + 12, &count, 4);
}

// 600 sectors: a data partition at 63, an extended partition 200-599 whose chain holds a logical
// drive at 201 and a link 300-399 with a logical drive at 301.
inline void WriteNestedMbrImage(const std::wstring& path) {
    std::vector<BYTE> disk(600 * 512, 0);
    auto sector = [&](unsigned lba) {
        return std::vector<BYTE>(disk.begin() + lba * 512, disk.begin() + lba * 512 + 512);
    };
    auto put = [&](unsigned lba, std::vector<BYTE> s) {
        s[510] = 0x55, s[511] = 0xAA;
        std::copy(s.begin(), s.end(), disk.begin() + lba * 512);
    };
    std::vector<BYTE> mbr = sector(0), ebr1 = sector(200), ebr2 = sector(300);
    PutEntry(mbr, 0, 0x07, 63, 100);
    PutEntry(mbr, 1, 0x05, 200, 400);
    PutEntry(ebr1, 0, 0x07, 1, 50);
    PutEntry(ebr1, 1, 0x05, 100, 100);
    PutEntry(ebr2, 0, 0x07, 1, 50);
    put(0, mbr);
    put(200, ebr1);
    put(300, ebr2);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(h, disk.data(), (DWORD)disk.size(), &written, nullptr);
    ::CloseHandle(h);
}

inline DriveInfo MadeDrive(DWORD number, int media, unsigned long long size, DWORD bps, int style) {
    DriveInfo d;
    d.number = number;
    d.description = L"Made drive";
    d.mediaType = media;
    d.size = size;
    d.bytesPerSector = bps;
    d.partitionStyle = style;
    return d;
}

// A 3 TB GPT disk with sectors on both sides of the 32-bit limit.
inline DriveInfo BigDrive(DWORD number) {
    DriveInfo d = MadeDrive(number, MediaTypeFixed, 3ULL << 40, 512, PartitionStyleGpt);
    d.sectors = {{0, L"Protective MBR"}, {4294967295ULL, L"Sector 4294967295"}, {4294967296ULL, L"Sector 4294967296"}};
    return d;
}

inline DriveInfo RemovableDrive(DWORD number) {
    DriveInfo d = MadeDrive(number, MediaTypeRemovable, 1 << 20, 512, PartitionStyleMbr);
    d.sectors = {{0, L"MBR"}};
    return d;
}

// No sector size reported; an extended partition from sector 200.
inline DriveInfo NoGeometryDrive(DWORD number) {
    DriveInfo d = MadeDrive(number, MediaTypeFixed, 1 << 20, 0, PartitionStyleMbr);
    PARTITION_INFORMATION_EX p = {};
    p.PartitionStyle = PARTITION_STYLE_MBR;
    p.StartingOffset.QuadPart = 200 * 512;
    p.PartitionLength.QuadPart = 400 * 512;
    p.Mbr.PartitionType = 0x05;
    d.partitions = {p};
    d.sectors = {{0, L"MBR"}, {200, L"EBR"}};
    return d;
}

// A disk the store cannot number.
inline DriveInfo FarDrive(DWORD number) {
    DriveInfo d = MadeDrive(number, MediaTypeFixed, 1 << 20, 512, PartitionStyleMbr);
    d.sectors = {{0, L"MBR"}};
    return d;
}

// ---- the tree and the property list as a user sees them -----------------------------------------

inline std::vector<HTREEITEM> ChildItems(KvUi::CTreeCtrl& tree, HTREEITEM parent) {
    std::vector<HTREEITEM> out;
    for (HTREEITEM c = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); c; c = tree.GetNextSiblingItem(c))
        out.push_back(c);
    return out;
}

inline std::vector<std::wstring> Children(KvUi::CTreeCtrl& tree, HTREEITEM parent) {
    std::vector<std::wstring> out;
    for (HTREEITEM c : ChildItems(tree, parent))
        out.push_back(tree.GetItemText(c));
    return out;
}

inline HTREEITEM Child(KvUi::CTreeCtrl& tree, HTREEITEM parent, const std::wstring& text) {
    for (HTREEITEM c : ChildItems(tree, parent))
        if (tree.GetItemText(c) == text)
            return c;
    return nullptr;
}

// Rows of the property list: "name=value", a group row as its name.
inline std::vector<std::wstring> GridRows(KvUi::CPropList& grid) {
    std::vector<std::wstring> out;
    for (int i = 0; i < grid.GetPropertyCount(); ++i) {
        KvUi::CProp* p = grid.GetProperty(i);
        out.push_back(p->GetKind() == KvUi::CProp::Group ? p->GetName() : p->GetName() + L"=" + p->ValueText(grid));
    }
    return out;
}

// A click of the mouse on an item's check box: the point is found by the tree's own hit test.
inline void ClickStateImage(CTreeCtrlEx& tree, HTREEITEM item) {
    tree.EnsureVisible(item);
    ::RedrawWindow(tree.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT text = {};
    ASSERT_TRUE(tree.GetItemRect(item, &text, TRUE));
    POINT pt = {-1, (text.top + text.bottom) / 2};
    for (int x = text.left - 1; x >= 0 && pt.x < 0; --x) {
        TVHITTESTINFO hit = {};
        hit.pt = {x, pt.y};
        if (TreeView_HitTest(tree.m_hWnd, &hit) == item && (hit.flags & TVHT_ONITEMSTATEICON))
            pt.x = x - 4; // well inside the image
    }
    ASSERT_GE(pt.x, 0) << "no check box found";
    POINT screen = pt;
    ::ClientToScreen(tree.m_hWnd, &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::PostMessageW(tree.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    ::PostMessageW(tree.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    KvUi::PumpWaitingMessages();
    KvUi::PumpWaitingMessages();
}

// A key pressed on a window, as the dialog's message loop hands it over.
inline void PressKey(HWND h, UINT key) {
    MSG msg = {h, WM_KEYDOWN, key, 0};
    if (!KvUi::PreTranslateChain(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    KvUi::PumpWaitingMessages();
}

// Space on the tree's caret item, as the dialog's message loop hands it over.
inline void PressSpace(CTreeCtrlEx& tree) { PressKey(tree.m_hWnd, VK_SPACE); }

} // namespace PickerFixtures
