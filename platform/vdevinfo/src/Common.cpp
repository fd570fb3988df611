// The inventory's common objects: attach count, sources, filters, properties and the device
// image list.
#include "Internal.h"

#include <cstdarg>
#include <cwchar>

namespace VDeviceInfo {
namespace Detail {

namespace {

class CProperty : public Counted<IProperty> {
public:
    CProperty(const std::wstring& name, const _value_t& value) : m_name(name), m_value(value) {}
    std::wstring GetName() override { return m_name; }
    _value_t GetValue() override { return m_value; }

private:
    std::wstring m_name;
    _value_t m_value;
};

class CFilterEntry : public Counted<IFilterEntry> {
public:
    explicit CFilterEntry(const _value_t& v) : m_value(v) {}
    bool Matches(const _value_t& value) override {
        if (m_value.is_number() && value.is_number()) {
            // Integer kinds differ between callers (a stored unsigned 32-bit identifier against
            // an int): compare the 32-bit patterns when both fit in 32 bits, else the values.
            long long a = m_value.as_int64(), b = value.as_int64();
            if (a == b)
                return true;
            auto fits32 = [](long long v) { return v >= -2147483648LL && v <= 4294967295LL; };
            return fits32(a) && fits32(b) && (unsigned long)a == (unsigned long)b;
        }
        if (m_value.is_number() != value.is_number())
            return false;
        return m_value.as_wstring() == value.as_wstring();
    }

private:
    _value_t m_value;
};

class CFilter : public Counted<IFilter> {
public:
    void AddEntry(const wchar_t* property, IFilterEntry* entry) override {
        if (property)
            m_entries.push_back({property, SmartPtr<IFilterEntry>(entry)});
    }
    long GetEntries() override { return (long)m_entries.size(); }
    bool Accepts(const PropertyList& properties) override {
        for (auto& e : m_entries) {
            bool found = false;
            for (auto& p : properties)
                if (p->GetName() == e.first && (!e.second || e.second->Matches(p->GetValue()))) {
                    found = true;
                    break;
                }
            if (!found)
                return false;
        }
        return true;
    }
    bool Keeps(IProperty* property) override {
        if (!property)
            return false;
        std::wstring name = property->GetName();
        for (auto& e : m_entries)
            if (e.first == name && (!e.second || e.second->Matches(property->GetValue())))
                return true;
        return false;
    }

private:
    std::vector<std::pair<std::wstring, SmartPtr<IFilterEntry>>> m_entries;
};

// ---- the device image list ------------------------------------------------------------------

struct ClassImage {
    GUID guid;
    int image;
};

// The setup classes of PCI functions that have an image of their own.
const ClassImage kClassImages[] = {
    {{0x4d36e968, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}, ImageDisplay},
    {{0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}, ImageNetwork},
    {{0x4d36e96a, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}, ImageStorageController},
    {{0x4d36e97b, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}, ImageStorageController},
    {{0x4d36e96c, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}, ImageMultimedia},
    {{0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}, ImageSystemDevice},
    {{0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}}, ImageUsb},
    {{0x50127dc3, 0x0f36, 0x415e, {0xa6, 0xcc, 0x4c, 0xb3, 0xbe, 0x91, 0x0b, 0x65}}, ImageProcessor},
    {{0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}}, ImageInputDevice},
    {{0x6bdd1fc1, 0x810f, 0x11d0, {0xbe, 0xc7, 0x08, 0x00, 0x2b, 0xe2, 0x09, 0x2f}}, ImageBridge},
};

const COLORREF kMask = RGB(255, 0, 255);

void Box(HDC dc, int l, int t, int r, int b, COLORREF fill, COLORREF edge) {
    HBRUSH br = ::CreateSolidBrush(fill);
    HPEN pen = ::CreatePen(PS_SOLID, 1, edge);
    HGDIOBJ ob = ::SelectObject(dc, br), op = ::SelectObject(dc, pen);
    ::Rectangle(dc, l, t, r, b);
    ::SelectObject(dc, ob);
    ::SelectObject(dc, op);
    ::DeleteObject(br);
    ::DeleteObject(pen);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF c) {
    HPEN pen = ::CreatePen(PS_SOLID, 1, c);
    HGDIOBJ op = ::SelectObject(dc, pen);
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
    ::SelectObject(dc, op);
    ::DeleteObject(pen);
}

// A chip with pins on two sides, in the given colour.
void Chip(HDC dc, COLORREF c) {
    for (int y = 3; y <= 12; y += 3) {
        Line(dc, 1, y, 3, y, RGB(96, 96, 96));
        Line(dc, 13, y, 15, y, RGB(96, 96, 96));
    }
    Box(dc, 3, 1, 13, 15, c, RGB(32, 32, 32));
}

void Folder(HDC dc, bool open) {
    COLORREF fill = RGB(240, 200, 80), edge = RGB(140, 100, 20);
    Box(dc, 1, 3, 7, 6, fill, edge);
    Box(dc, 1, 5, 15, 14, fill, edge);
    if (open) {
        POINT p[] = {{3, 8}, {16, 8}, {14, 14}, {1, 14}};
        HBRUSH br = ::CreateSolidBrush(RGB(255, 226, 130));
        HPEN pen = ::CreatePen(PS_SOLID, 1, edge);
        HGDIOBJ ob = ::SelectObject(dc, br), op = ::SelectObject(dc, pen);
        ::Polygon(dc, p, 4);
        ::SelectObject(dc, ob);
        ::SelectObject(dc, op);
        ::DeleteObject(br);
        ::DeleteObject(pen);
    }
}

void DrawImage(HDC dc, int image) {
    switch (image) {
    case ImagePciBus:
        Box(dc, 0, 10, 16, 14, RGB(0, 128, 0), RGB(0, 64, 0));
        for (int x = 2; x < 15; x += 3)
            Box(dc, x, 3, x + 2, 10, RGB(212, 175, 55), RGB(120, 90, 20));
        break;
    case ImageSystemDevice:
        Chip(dc, RGB(90, 110, 160));
        break;
    case ImageDisplay:
        Box(dc, 1, 2, 15, 12, RGB(40, 80, 200), RGB(20, 20, 20));
        Box(dc, 5, 12, 11, 15, RGB(160, 160, 160), RGB(60, 60, 60));
        break;
    case ImageNetwork:
        Box(dc, 1, 1, 8, 7, RGB(120, 200, 120), RGB(20, 80, 20));
        Box(dc, 8, 9, 15, 15, RGB(120, 200, 120), RGB(20, 80, 20));
        Line(dc, 4, 7, 4, 12, RGB(0, 0, 0));
        Line(dc, 4, 12, 8, 12, RGB(0, 0, 0));
        break;
    case ImageStorageController:
        Box(dc, 1, 4, 15, 13, RGB(180, 180, 190), RGB(50, 50, 60));
        Box(dc, 3, 6, 9, 11, RGB(80, 80, 90), RGB(50, 50, 60));
        break;
    case ImageMultimedia:
        Box(dc, 2, 5, 7, 11, RGB(200, 120, 40), RGB(90, 50, 10));
        Line(dc, 7, 5, 12, 1, RGB(90, 50, 10));
        Line(dc, 7, 11, 12, 15, RGB(90, 50, 10));
        Line(dc, 12, 1, 12, 15, RGB(90, 50, 10));
        break;
    case ImageUsb:
        Line(dc, 8, 1, 8, 15, RGB(0, 0, 0));
        Line(dc, 8, 9, 3, 5, RGB(0, 0, 0));
        Line(dc, 8, 11, 13, 6, RGB(0, 0, 0));
        Box(dc, 6, 12, 11, 16, RGB(0, 0, 0), RGB(0, 0, 0));
        break;
    case ImageSmbios:
        Chip(dc, RGB(30, 30, 30));
        Box(dc, 6, 5, 10, 11, RGB(220, 180, 40), RGB(220, 180, 40));
        break;
    case ImageSmbiosTable:
        Box(dc, 1, 1, 15, 15, RGB(255, 255, 255), RGB(60, 60, 120));
        for (int y = 4; y < 14; y += 3)
            Line(dc, 3, y, 13, y, RGB(60, 60, 120));
        break;
    case ImageSmbiosBios:
        Chip(dc, RGB(150, 40, 40));
        break;
    case ImageSmbiosMemory:
        Box(dc, 0, 4, 16, 12, RGB(0, 120, 60), RGB(0, 60, 30));
        for (int x = 2; x < 15; x += 4)
            Box(dc, x, 5, x + 3, 9, RGB(30, 30, 30), RGB(30, 30, 30));
        break;
    case ImageProcessor:
        Chip(dc, RGB(70, 70, 70));
        Box(dc, 5, 4, 11, 12, RGB(200, 200, 200), RGB(200, 200, 200));
        break;
    case ImageExtendedOpen:
        Folder(dc, true);
        break;
    case ImageExtendedClosed:
        Folder(dc, false);
        break;
    case ImageFixedDisk:
        Box(dc, 1, 4, 15, 13, RGB(150, 150, 160), RGB(40, 40, 50));
        Box(dc, 11, 9, 13, 11, RGB(0, 200, 0), RGB(0, 120, 0));
        break;
    case ImageRemovableDisk:
        Box(dc, 2, 2, 14, 14, RGB(60, 90, 170), RGB(20, 30, 70));
        Box(dc, 5, 2, 11, 6, RGB(200, 200, 200), RGB(90, 90, 90));
        break;
    case ImageSector:
        Box(dc, 2, 2, 14, 14, RGB(255, 255, 255), RGB(80, 80, 80));
        Box(dc, 8, 2, 14, 8, RGB(220, 60, 60), RGB(80, 80, 80));
        break;
    case ImageBridge:
        Box(dc, 1, 9, 15, 12, RGB(140, 100, 60), RGB(70, 50, 30));
        Line(dc, 3, 9, 3, 15, RGB(70, 50, 30));
        Line(dc, 12, 9, 12, 15, RGB(70, 50, 30));
        Line(dc, 1, 9, 8, 3, RGB(70, 50, 30));
        Line(dc, 8, 3, 15, 9, RGB(70, 50, 30));
        break;
    case ImageInputDevice:
        Box(dc, 0, 6, 16, 13, RGB(220, 220, 220), RGB(60, 60, 60));
        for (int x = 2; x < 14; x += 3)
            Box(dc, x, 8, x + 2, 10, RGB(60, 60, 60), RGB(60, 60, 60));
        break;
    default: // an unknown device
        Box(dc, 2, 2, 14, 14, RGB(230, 230, 230), RGB(90, 90, 90));
        Line(dc, 6, 5, 10, 5, RGB(200, 0, 0));
        Line(dc, 10, 5, 10, 8, RGB(200, 0, 0));
        Line(dc, 10, 8, 8, 9, RGB(200, 0, 0));
        Line(dc, 8, 9, 8, 10, RGB(200, 0, 0));
        Line(dc, 8, 12, 8, 13, RGB(200, 0, 0));
        break;
    }
}

class CDeviceImageList : public Counted<IDeviceImageList> {
public:
    HIMAGELIST GetImageList() override {
        HIMAGELIST list = ::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, ImageCount, 8);
        if (!list)
            return nullptr;
        HDC screen = ::GetDC(nullptr);
        HDC dc = ::CreateCompatibleDC(screen);
        for (int i = 0; i < ImageCount; ++i) {
            HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 16, 16);
            HGDIOBJ old = ::SelectObject(dc, bitmap);
            RECT all = {0, 0, 16, 16};
            HBRUSH mask = ::CreateSolidBrush(kMask);
            ::FillRect(dc, &all, mask);
            ::DeleteObject(mask);
            DrawImage(dc, i);
            ::SelectObject(dc, old);
            ::ImageList_AddMasked(list, bitmap, kMask);
            ::DeleteObject(bitmap);
        }
        ::DeleteDC(dc);
        ::ReleaseDC(nullptr, screen);
        return list;
    }
    int GetClassImage(const GUID& classGuid) override {
        for (const ClassImage& c : kClassImages)
            if (::IsEqualGUID(c.guid, classGuid))
                return c.image;
        return ImageUnknownDevice;
    }
    int GetSmbiosTableImage(int tableType) override {
        switch (tableType) {
        case 0:
            return ImageSmbiosBios;
        case 4:
            return ImageProcessor;
        case 5:
        case 6:
        case 16:
        case 17:
        case 18:
        case 19:
        case 20:
        case 33:
        case 37:
            return ImageSmbiosMemory;
        default:
            return ImageSmbiosTable;
        }
    }
};

class CSystemPci : public IPciSource {
public:
    std::vector<PciDeviceInfo> ListDevices() override { return Common::ReadSystemPciDevices(); }
};
class CSystemSmbios : public ISmbiosSource {
public:
    std::vector<BYTE> ReadRawTable() override { return Common::ReadSystemSmbiosTable(); }
};
class CSystemDrives : public IDriveSource {
public:
    std::vector<DriveInfo> ListDrives() override { return Common::ReadSystemDrives(); }
};

std::mutex g_lock;
CSystemPci g_systemPci;
CSystemSmbios g_systemSmbios;
CSystemDrives g_systemDrives;
IPciSource* g_pci = &g_systemPci;
ISmbiosSource* g_smbios = &g_systemSmbios;
IDriveSource* g_drives = &g_systemDrives;
long g_attached = 0;

} // namespace

SmartPtr<IProperty> MakeProperty(const std::wstring& name, const _value_t& value) {
    return SmartPtr<IProperty>(new CProperty(name, value));
}

void CopyProperties(const PropertyList& from, PropertyList& to, IFilter* filter) {
    for (auto& p : from)
        if (!filter || filter->Keeps(p.Get()))
            to.push_back(p);
}

_value_t FindProperty(const PropertyList& properties, const wchar_t* name) {
    for (auto& p : properties)
        if (p->GetName() == name)
            return p->GetValue();
    return _value_t();
}

bool Accepts(IFilter* filter, const PropertyList& properties) { return !filter || filter->Accepts(properties); }

std::wstring GuidText(const GUID& g) {
    return Format(L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

std::wstring Format(const wchar_t* format, ...) {
    wchar_t buffer[512];
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(buffer, 511, format, args);
    va_end(args);
    buffer[511] = 0;
    if (n < 0)
        n = (int)wcslen(buffer);
    return std::wstring(buffer, (size_t)n);
}

IPciSource* PciSource() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_pci;
}
ISmbiosSource* SmbiosSource() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_smbios;
}
IDriveSource* DriveSource() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_drives;
}

} // namespace Detail

namespace Common {

using namespace Detail;

int Attach() {
    std::lock_guard<std::mutex> g(g_lock);
    ++g_attached;
    return 1;
}

int Detach() {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_attached > 0)
        --g_attached;
    return 1;
}

SmartPtr<IDeviceImageList> GetDeviceImageList() { return SmartPtr<IDeviceImageList>(new CDeviceImageList); }

SmartPtr<IFilter> CreateFilter() { return SmartPtr<IFilter>(new CFilter); }

SmartPtr<IFilterEntry> CreateFilterEntry(const _value_t& value) {
    return SmartPtr<IFilterEntry>(new CFilterEntry(value));
}

void SetDriveSource(IDriveSource* source) {
    std::lock_guard<std::mutex> g(g_lock);
    g_drives = source ? source : &g_systemDrives;
}

void SetPciSource(IPciSource* source) {
    std::lock_guard<std::mutex> g(g_lock);
    g_pci = source ? source : &g_systemPci;
}

void SetSmbiosSource(ISmbiosSource* source) {
    std::lock_guard<std::mutex> g(g_lock);
    g_smbios = source ? source : &g_systemSmbios;
}

} // namespace Common
} // namespace VDeviceInfo
