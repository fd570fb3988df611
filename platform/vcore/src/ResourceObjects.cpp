// The objects that resources describe, as this computer has them: whether they exist and the bytes
// that the board lists hash.
#include "ResourceObjects.h"

#include <setupapi.h>

#include <algorithm>
#include <mutex>

namespace Varno {
namespace Impl {

const wchar_t kRegDefaultValueToken[] = L"{C51BADB1-F859-4c8e-B5F7-CD2223F03917}";
const wchar_t kRegBackslashToken[] = L"{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}";

std::wstring ExpandPath(const std::wstring& path) {
    if (path.find(L'%') == std::wstring::npos)
        return path;
    DWORD n = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (!n)
        return path;
    std::wstring out(n, L'\0');
    n = ExpandEnvironmentStringsW(path.c_str(), &out[0], n);
    if (!n)
        return path;
    out.resize(n - 1);
    return out;
}

// The root key and the subkey of a registry path "HKEY_LOCAL_MACHINE\SOFTWARE\...".
static bool SplitRegistryPath(std::wstring path, HKEY& root, std::wstring& subkey) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    size_t p = path.find(L'\\');
    std::wstring head = strupper(path.substr(0, p));
    subkey = p == std::wstring::npos ? std::wstring() : path.substr(p + 1);
    static const struct {
        const wchar_t* name;
        HKEY key;
    } roots[] = {
        {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKLM", HKEY_LOCAL_MACHINE},
        {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKCU", HKEY_CURRENT_USER},
        {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKCR", HKEY_CLASSES_ROOT},
        {L"HKEY_USERS", HKEY_USERS},
        {L"HKU", HKEY_USERS},
        {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {L"HKCC", HKEY_CURRENT_CONFIG},
    };
    for (const auto& r : roots)
        if (head == r.name) {
            root = r.key;
            return true;
        }
    return false;
}

std::wstring DecodeValueName(const std::wstring& name) {
    if (CompareStringOrdinal(name.c_str(), -1, kRegDefaultValueToken, -1, TRUE) == CSTR_EQUAL)
        return std::wstring();
    std::wstring out = name;
    const size_t tl = wcslen(kRegBackslashToken);
    for (size_t p = out.find(kRegBackslashToken); p != std::wstring::npos; p = out.find(kRegBackslashToken, p + 1))
        out.replace(p, tl, L"\\");
    return out;
}

class CRegKey {
public:
    CRegKey() : h(nullptr) {}
    ~CRegKey() {
        if (h)
            RegCloseKey(h);
    }
    bool Open(const std::wstring& path) {
        HKEY root;
        std::wstring sub;
        if (!SplitRegistryPath(path, root, sub))
            return false;
        return RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &h) == ERROR_SUCCESS;
    }
    HKEY h;
};

static bool ReadRegistryValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS)
            return false;
        data.resize(size);
        rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
        if (rc == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (rc != ERROR_MORE_DATA)
            return false;
    }
    return false;
}

static void FeedDword(const ByteSink& sink, DWORD v) { sink(&v, sizeof v); }

static bool ReadDiskSector(unsigned disk, long long sector, BYTE* buf) {
    wchar_t dev[64];
    swprintf(dev, 64, L"\\\\.\\PhysicalDrive%u", disk);
    HANDLE h = CreateFileW(dev, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER pos;
    pos.QuadPart = sector * 512;
    DWORD n = 0;
    bool ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && ReadFile(h, buf, 512, &n, nullptr) && n == 512;
    CloseHandle(h);
    return ok;
}

// ----- SMBIOS -----

static std::mutex g_smbiosMutex;
static std::vector<BYTE> g_smbios;
static bool g_smbiosRead = false;
static std::vector<BYTE> g_smbiosGiven; // a table given in place of the firmware's
static bool g_smbiosIsGiven = false;

void SetSmbiosTable(const BYTE* table, size_t size) {
    std::lock_guard<std::mutex> lock(g_smbiosMutex);
    g_smbiosIsGiven = table != nullptr;
    g_smbiosGiven.assign(table, table ? table + size : table);
}

static std::vector<BYTE> SmbiosData() {
    std::lock_guard<std::mutex> lock(g_smbiosMutex);
    if (g_smbiosIsGiven)
        return g_smbiosGiven;
    if (!g_smbiosRead) {
        const DWORD rsmb = 0x52534D42; // 'RSMB'
        UINT n = GetSystemFirmwareTable(rsmb, 0, nullptr, 0);
        if (n) {
            g_smbios.resize(n);
            if (GetSystemFirmwareTable(rsmb, 0, g_smbios.data(), n) != n)
                g_smbios.clear();
        }
        g_smbiosRead = true;
    }
    return g_smbios;
}

void ReleaseCaches() {
    std::lock_guard<std::mutex> lock(g_smbiosMutex);
    g_smbios.clear();
    g_smbiosRead = false;
}

// The SMBIOS structure of the given type and handle as the firmware holds it: its formatted
// length, and (when asked) its bytes, formatted area and string set. -1 when there is none.
static int FindSmbiosStructure(int type, int handle, std::vector<BYTE>* bytes = nullptr) {
    std::vector<BYTE> raw = SmbiosData();
    if (raw.size() < 8)
        return -1;
    DWORD length = *reinterpret_cast<const DWORD*>(&raw[4]);
    const BYTE* p = raw.data() + 8;
    const BYTE* end = p + std::min<size_t>(length, raw.size() - 8);
    while (p + 4 <= end) {
        int t = p[0], len = p[1], h = p[2] | (p[3] << 8);
        if (len < 4 || p + len > end)
            break;
        const BYTE* s = p + len; // the strings end with two zero bytes
        while (s + 1 < end && !(s[0] == 0 && s[1] == 0))
            ++s;
        const BYTE* next = std::min(s + 2, end);
        if (t == type && h == handle) {
            if (bytes)
                bytes->assign(p, next);
            return len;
        }
        p = next;
        if (t == 127)
            break;
    }
    return -1;
}

// The bytes of an SMBIOS field as the board finds them: a string field (a text field of one
// byte, the index of a string of the structure's string set) is the string that byte names; any
// other field, a text one too (a UUID, a run of bytes), the bytes at its offset. False when the
// structure does not hold the field.
static bool SmbiosFieldBytes(const std::vector<BYTE>& structure, int length, const ResourceFields& r,
                             std::vector<BYTE>& out) {
    if (r.fieldOffset < 0 || r.fieldLength <= 0 || r.fieldOffset + r.fieldLength > length)
        return false;
    const BYTE* p = structure.data() + r.fieldOffset;
    if (!r.fieldType || r.fieldLength != 1) {
        out.assign(p, p + r.fieldLength);
        return true;
    }
    out.clear();
    int index = *p;
    size_t at = static_cast<size_t>(length);
    for (int i = 1; index && at < structure.size() && structure[at]; ++i) {
        size_t e = at;
        while (e < structure.size() && structure[e])
            ++e;
        if (i == index) {
            out.assign(structure.begin() + at, structure.begin() + e);
            return true;
        }
        at = e + 1;
    }
    return index == 0; // index 0: no string
}

// ----- PCI devices -----

// Where a device was when it was put under control: bus number and the address the system gives
// (device << 16 | function). Known only when all three numbers were stored.
struct DeviceLocation {
    bool known = false;
    DWORD bus = 0, address = 0;
};

// Finds a present device with the given hardware or instance ID, at the given location when one
// is known (two equal cards on two buses are two devices). identity (when given) receives what
// identifies the device as the system reads it now: its hardware IDs (vendor, device, subsystem,
// revision), compatible IDs (class code), bus number and address.
static bool FindDevice(const std::wstring& hardwareId, const DeviceLocation& location,
                       std::wstring* identity = nullptr) {
    if (hardwareId.empty())
        return false;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA info;
    info.cbSize = sizeof info;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        wchar_t ids[2048] = {};
        DWORD type = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(ids),
                                              sizeof ids - 2 * sizeof(wchar_t), nullptr)) {
            for (const wchar_t* id = ids; *id && !found; id += wcslen(id) + 1)
                found = CompareStringOrdinal(id, -1, hardwareId.c_str(), -1, TRUE) == CSTR_EQUAL;
        }
        if (!found) {
            wchar_t inst[512] = {};
            if (SetupDiGetDeviceInstanceIdW(set, &info, inst, 512, nullptr))
                found = CompareStringOrdinal(inst, -1, hardwareId.c_str(), -1, TRUE) == CSTR_EQUAL;
        }
        if (found && location.known) {
            DWORD bus = 0, address = 0;
            found = SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_BUSNUMBER, &type, reinterpret_cast<BYTE*>(&bus),
                                                      sizeof bus, nullptr) &&
                    SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_ADDRESS, &type,
                                                      reinterpret_cast<BYTE*>(&address), sizeof address, nullptr) &&
                    bus == location.bus && address == location.address;
        }
        if (found && identity) {
            for (DWORD property : {SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS}) {
                wchar_t list[2048] = {};
                if (SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type, reinterpret_cast<BYTE*>(list),
                                                      sizeof list - 2 * sizeof(wchar_t), nullptr))
                    for (const wchar_t* id = list; *id; id += wcslen(id) + 1)
                        *identity += std::wstring(id) + L"\n";
            }
            for (DWORD property : {SPDRP_BUSNUMBER, SPDRP_ADDRESS}) {
                DWORD v = 0;
                if (SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type, reinterpret_cast<BYTE*>(&v),
                                                      sizeof v, nullptr))
                    *identity += std::to_wstring(v) + L"\n";
                else
                    *identity += L"-\n";
            }
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

static std::wstring PropertyText(const ResourceFields& r, int code) {
    auto it = r.properties.find(code);
    return it == r.properties.end() ? std::wstring() : it->second.as_wstring();
}

// The stored location of a device: properties 10 (bus number), 9 (device number), 11 (function).
static DeviceLocation StoredLocation(const ResourceFields& r) {
    DeviceLocation l;
    auto bus = r.properties.find(10), device = r.properties.find(9), function = r.properties.find(11);
    if (bus == r.properties.end() || device == r.properties.end() || function == r.properties.end() ||
        !bus->second.is_number() || !device->second.is_number() || !function->second.is_number())
        return l;
    l.known = true;
    l.bus = static_cast<DWORD>(bus->second.as_int64());
    l.address = (static_cast<DWORD>(device->second.as_int64()) << 16) |
                (static_cast<DWORD>(function->second.as_int64()) & 0xFFFF);
    return l;
}

// ----- The two operations -----

bool ResourceObjectValid(const ItemFields& f, const ResourceFields& r) {
    switch (f.kind) {
    case ResourceKindFile: {
        DWORD a = GetFileAttributesW(ExpandPath(f.name).c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    }
    case ResourceKindDirectory: {
        DWORD a = GetFileAttributesW(ExpandPath(f.name).c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    case ResourceKindRegistryKey: {
        CRegKey k;
        return k.Open(f.name);
    }
    case ResourceKindRegistryValue: {
        CRegKey k;
        if (!k.Open(r.key))
            return false;
        DWORD type;
        std::vector<BYTE> data;
        return ReadRegistryValue(k.h, DecodeValueName(r.valueName), type, data);
    }
    case ResourceKindDiskSector: {
        BYTE buf[512];
        return ReadDiskSector(r.disk, r.sector, buf);
    }
    case ResourceKindDevice:
        return FindDevice(PropertyText(r, 0), StoredLocation(r));
    case ResourceKindSMBIOSTable: {
        int len = FindSmbiosStructure(r.table.type, r.table.handle);
        return len >= 0 && (r.table.length <= 0 || len == r.table.length);
    }
    case ResourceKindSMBIOSField: {
        int len = FindSmbiosStructure(r.table.type, r.table.handle);
        return len >= 0 && (r.table.length <= 0 || len == r.table.length) && r.fieldOffset >= 0 && r.fieldLength > 0 &&
               r.fieldOffset + r.fieldLength <= len;
    }
    }
    return false;
}

std::wstring BootListName(const ItemFields& f, const ResourceFields& r) {
    std::wstring name;
    if (f.kind == ResourceKindFile || f.kind == ResourceKindDirectory) {
        name = ExpandPath(f.name);
    } else if (f.kind == ResourceKindDiskSector) {
        wchar_t buf[80];
        swprintf(buf, 80, L"\\\\.\\PhysicalDrive%u:%lld", static_cast<unsigned>(r.disk), r.sector);
        name = buf;
    } else {
        name = f.name;
    }
    return name;
}

bool IsOneLineText(std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c < 0x20)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool ReadFileObject(const std::wstring& path, const ByteSink& sink, ReadBuffer& buffer) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h, buffer.bytes.get(), ReadBuffer::kSize, &n, nullptr)) {
            ok = false;
            break;
        }
        if (!n)
            break;
        sink(buffer.bytes.get(), n);
    }
    CloseHandle(h);
    return ok;
}

bool ReadResourceObject(const ItemFields& f, const ResourceFields& r, const ByteSink& sink, ReadBuffer& buffer) {
    switch (f.kind) {
    case ResourceKindFile:
        return ReadFileObject(ExpandPath(f.name), sink, buffer);
    case ResourceKindRegistryValue: {
        CRegKey k;
        DWORD type;
        std::vector<BYTE> data;
        if (!k.Open(r.key) || !ReadRegistryValue(k.h, DecodeValueName(r.valueName), type, data))
            return false;
        FeedDword(sink, type);
        if (!data.empty())
            sink(data.data(), data.size());
        return true;
    }
    case ResourceKindRegistryKey: {
        CRegKey k;
        if (!k.Open(f.name))
            return false;
        std::vector<std::wstring> names;
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD len = 16384;
            LONG rc = RegEnumValueW(k.h, i, name, &len, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            if (rc != ERROR_SUCCESS)
                return false;
            names.emplace_back(name, len);
        }
        // Values in the order of their names, compared without regard to case, so that the check
        // does not depend on the order in which the registry happens to list them.
        std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
            return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                        TRUE) == CSTR_LESS_THAN;
        });
        for (const auto& n : names) {
            DWORD type;
            std::vector<BYTE> data;
            if (!ReadRegistryValue(k.h, n, type, data))
                return false;
            FeedDword(sink, static_cast<DWORD>(n.size() * sizeof(wchar_t)));
            if (!n.empty())
                sink(n.data(), n.size() * sizeof(wchar_t));
            FeedDword(sink, type);
            FeedDword(sink, static_cast<DWORD>(data.size()));
            if (!data.empty())
                sink(data.data(), data.size());
        }
        return true;
    }
    case ResourceKindDiskSector: {
        BYTE buf[512];
        if (!ReadDiskSector(r.disk, r.sector, buf))
            return false;
        sink(buf, sizeof buf);
        return true;
    }
    case ResourceKindDevice: {
        // The stored descriptors, then what identifies the device as the system reads it now: a
        // different device in its place gives a different check; an absent one cannot be read.
        std::wstring identity;
        if (!FindDevice(PropertyText(r, 0), StoredLocation(r), &identity))
            return false;
        std::wstring text;
        for (const auto& p : r.properties)
            text += std::to_wstring(p.first) + L"=" + p.second.as_wstring() + L"\n";
        std::string u = as_string(text + L"present:\n" + identity, CP_UTF8);
        sink(u.data(), u.size());
        return true;
    }
    case ResourceKindSMBIOSTable:
    case ResourceKindSMBIOSField: {
        // The stored descriptors, then the bytes the board finds: the whole structure for a
        // table, the field's bytes (or its string) for a field.
        std::vector<BYTE> structure, bytes;
        int len = FindSmbiosStructure(r.table.type, r.table.handle, &structure);
        if (len < 0)
            return false;
        std::string u = "type=" + std::to_string(r.table.type) + "\nlength=" + std::to_string(r.table.length) +
                        "\nhandle=" + std::to_string(r.table.handle) + "\n";
        if (f.kind == ResourceKindSMBIOSField) {
            u += "fieldType=" + std::to_string(r.fieldType) + "\nfieldOffset=" + std::to_string(r.fieldOffset) +
                 "\nfieldLength=" + std::to_string(r.fieldLength) + "\n";
            if (!SmbiosFieldBytes(structure, len, r, bytes))
                return false;
        } else {
            bytes = structure;
        }
        sink(u.data(), u.size());
        if (!bytes.empty())
            sink(bytes.data(), bytes.size());
        return true;
    }
    }
    return false;
}

} // namespace Impl
} // namespace Varno
