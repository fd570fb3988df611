// The SMBIOS branch: the firmware's structure table, read with every bound checked. A structure
// cut short or without the end of its strings ends the reading with what was read before it and
// a problem text; a string index beyond the structure's strings gives a named empty value.
#include "Internal.h"

namespace VDeviceInfo {
namespace {

using namespace Detail;

enum FieldKind { FkByte, FkWord, FkDword, FkQword, FkString, FkUuid, FkBytes };

struct FieldDef {
    BYTE type;
    BYTE offset;
    FieldKind kind;
    bool hex;
    const wchar_t* name;
};

// The fields of the structures this inventory describes by name; other structures show their
// header and their data as bytes.
const FieldDef kFields[] = {
    {0, 0x04, FkString, false, L"Vendor"},
    {0, 0x05, FkString, false, L"BIOS Version"},
    {0, 0x06, FkWord, true, L"BIOS Starting Address Segment"},
    {0, 0x08, FkString, false, L"BIOS Release Date"},
    {0, 0x09, FkByte, false, L"BIOS ROM Size"},
    {0, 0x0A, FkQword, true, L"BIOS Characteristics"},
    {0, 0x12, FkByte, true, L"BIOS Characteristics Extension Byte 1"},
    {0, 0x13, FkByte, true, L"BIOS Characteristics Extension Byte 2"},
    {0, 0x14, FkByte, false, L"System BIOS Major Release"},
    {0, 0x15, FkByte, false, L"System BIOS Minor Release"},
    {0, 0x16, FkByte, false, L"Embedded Controller Firmware Major Release"},
    {0, 0x17, FkByte, false, L"Embedded Controller Firmware Minor Release"},
    {1, 0x04, FkString, false, L"Manufacturer"},
    {1, 0x05, FkString, false, L"Product Name"},
    {1, 0x06, FkString, false, L"Version"},
    {1, 0x07, FkString, false, L"Serial Number"},
    {1, 0x08, FkUuid, false, L"UUID"},
    {1, 0x18, FkByte, false, L"Wake-up Type"},
    {1, 0x19, FkString, false, L"SKU Number"},
    {1, 0x1A, FkString, false, L"Family"},
    {2, 0x04, FkString, false, L"Manufacturer"},
    {2, 0x05, FkString, false, L"Product"},
    {2, 0x06, FkString, false, L"Version"},
    {2, 0x07, FkString, false, L"Serial Number"},
    {2, 0x08, FkString, false, L"Asset Tag"},
    {2, 0x09, FkByte, true, L"Feature Flags"},
    {2, 0x0A, FkString, false, L"Location in Chassis"},
    {2, 0x0B, FkWord, true, L"Chassis Handle"},
    {2, 0x0D, FkByte, false, L"Board Type"},
    {3, 0x04, FkString, false, L"Manufacturer"},
    {3, 0x05, FkByte, false, L"Type"},
    {3, 0x06, FkString, false, L"Version"},
    {3, 0x07, FkString, false, L"Serial Number"},
    {3, 0x08, FkString, false, L"Asset Tag Number"},
    {3, 0x09, FkByte, false, L"Boot-up State"},
    {3, 0x0A, FkByte, false, L"Power Supply State"},
    {3, 0x0B, FkByte, false, L"Thermal State"},
    {3, 0x0C, FkByte, false, L"Security Status"},
    {3, 0x0D, FkDword, true, L"OEM-defined"},
    {4, 0x04, FkString, false, L"Socket Designation"},
    {4, 0x05, FkByte, false, L"Processor Type"},
    {4, 0x06, FkByte, false, L"Processor Family"},
    {4, 0x07, FkString, false, L"Processor Manufacturer"},
    {4, 0x08, FkQword, true, L"Processor ID"},
    {4, 0x10, FkString, false, L"Processor Version"},
    {4, 0x11, FkByte, true, L"Voltage"},
    {4, 0x12, FkWord, false, L"External Clock"},
    {4, 0x14, FkWord, false, L"Max Speed"},
    {4, 0x16, FkWord, false, L"Current Speed"},
    {4, 0x18, FkByte, true, L"Status"},
    {4, 0x19, FkByte, false, L"Processor Upgrade"},
    {4, 0x1A, FkWord, true, L"L1 Cache Handle"},
    {4, 0x1C, FkWord, true, L"L2 Cache Handle"},
    {4, 0x1E, FkWord, true, L"L3 Cache Handle"},
    {4, 0x20, FkString, false, L"Serial Number"},
    {4, 0x21, FkString, false, L"Asset Tag"},
    {4, 0x22, FkString, false, L"Part Number"},
    {4, 0x23, FkByte, false, L"Core Count"},
    {4, 0x24, FkByte, false, L"Core Enabled"},
    {4, 0x25, FkByte, false, L"Thread Count"},
    {4, 0x26, FkWord, true, L"Processor Characteristics"},
    {7, 0x04, FkString, false, L"Socket Designation"},
    {7, 0x05, FkWord, true, L"Cache Configuration"},
    {7, 0x07, FkWord, false, L"Maximum Cache Size"},
    {7, 0x09, FkWord, false, L"Installed Size"},
    {7, 0x0B, FkWord, true, L"Supported SRAM Type"},
    {7, 0x0D, FkWord, true, L"Current SRAM Type"},
    {7, 0x0F, FkByte, false, L"Cache Speed"},
    {7, 0x10, FkByte, false, L"Error Correction Type"},
    {7, 0x11, FkByte, false, L"System Cache Type"},
    {7, 0x12, FkByte, false, L"Associativity"},
    {8, 0x04, FkString, false, L"Internal Reference Designator"},
    {8, 0x05, FkByte, false, L"Internal Connector Type"},
    {8, 0x06, FkString, false, L"External Reference Designator"},
    {8, 0x07, FkByte, false, L"External Connector Type"},
    {8, 0x08, FkByte, false, L"Port Type"},
    {9, 0x04, FkString, false, L"Slot Designation"},
    {9, 0x05, FkByte, false, L"Slot Type"},
    {9, 0x06, FkByte, false, L"Slot Data Bus Width"},
    {9, 0x07, FkByte, false, L"Current Usage"},
    {9, 0x08, FkByte, false, L"Slot Length"},
    {9, 0x09, FkWord, false, L"Slot ID"},
    {9, 0x0B, FkByte, true, L"Slot Characteristics 1"},
    {9, 0x0C, FkByte, true, L"Slot Characteristics 2"},
    {9, 0x0D, FkWord, false, L"Segment Group Number"},
    {9, 0x0F, FkByte, false, L"Bus Number"},
    {9, 0x10, FkByte, true, L"Device/Function Number"},
    {16, 0x04, FkByte, false, L"Location"},
    {16, 0x05, FkByte, false, L"Use"},
    {16, 0x06, FkByte, false, L"Memory Error Correction"},
    {16, 0x07, FkDword, false, L"Maximum Capacity"},
    {16, 0x0B, FkWord, true, L"Memory Error Information Handle"},
    {16, 0x0D, FkWord, false, L"Number of Memory Devices"},
    {17, 0x04, FkWord, true, L"Physical Memory Array Handle"},
    {17, 0x06, FkWord, true, L"Memory Error Information Handle"},
    {17, 0x08, FkWord, false, L"Total Width"},
    {17, 0x0A, FkWord, false, L"Data Width"},
    {17, 0x0C, FkWord, false, L"Size"},
    {17, 0x0E, FkByte, false, L"Form Factor"},
    {17, 0x0F, FkByte, false, L"Device Set"},
    {17, 0x10, FkString, false, L"Device Locator"},
    {17, 0x11, FkString, false, L"Bank Locator"},
    {17, 0x12, FkByte, false, L"Memory Type"},
    {17, 0x13, FkWord, true, L"Type Detail"},
    {17, 0x15, FkWord, false, L"Speed"},
    {17, 0x17, FkString, false, L"Manufacturer"},
    {17, 0x18, FkString, false, L"Serial Number"},
    {17, 0x19, FkString, false, L"Asset Tag"},
    {17, 0x1A, FkString, false, L"Part Number"},
    {17, 0x1B, FkByte, true, L"Attributes"},
    {17, 0x1C, FkDword, false, L"Extended Size"},
    {17, 0x20, FkWord, false, L"Configured Memory Speed"},
    {19, 0x04, FkDword, true, L"Starting Address"},
    {19, 0x08, FkDword, true, L"Ending Address"},
    {19, 0x0C, FkWord, true, L"Memory Array Handle"},
    {19, 0x0E, FkByte, false, L"Partition Width"},
};

const wchar_t* const kTypeNames[] = {L"BIOS Information",
                                     L"System Information",
                                     L"Baseboard Information",
                                     L"System Enclosure",
                                     L"Processor Information",
                                     L"Memory Controller Information",
                                     L"Memory Module Information",
                                     L"Cache Information",
                                     L"Port Connector Information",
                                     L"System Slots",
                                     L"On Board Devices Information",
                                     L"OEM Strings",
                                     L"System Configuration Options",
                                     L"BIOS Language Information",
                                     L"Group Associations",
                                     L"System Event Log",
                                     L"Physical Memory Array",
                                     L"Memory Device",
                                     L"32-Bit Memory Error Information",
                                     L"Memory Array Mapped Address",
                                     L"Memory Device Mapped Address",
                                     L"Built-in Pointing Device",
                                     L"Portable Battery",
                                     L"System Reset",
                                     L"Hardware Security",
                                     L"System Power Controls",
                                     L"Voltage Probe",
                                     L"Cooling Device",
                                     L"Temperature Probe",
                                     L"Electrical Current Probe",
                                     L"Out-of-Band Remote Access",
                                     L"Boot Integrity Services Entry Point",
                                     L"System Boot Information",
                                     L"64-Bit Memory Error Information",
                                     L"Management Device",
                                     L"Management Device Component",
                                     L"Management Device Threshold Data",
                                     L"Memory Channel",
                                     L"IPMI Device Information",
                                     L"System Power Supply",
                                     L"Additional Information",
                                     L"Onboard Devices Extended Information",
                                     L"Management Controller Host Interface",
                                     L"TPM Device",
                                     L"Processor Additional Information",
                                     L"Firmware Inventory Information",
                                     L"String Property"};

std::wstring TypeName(BYTE type) {
    if (type < sizeof(kTypeNames) / sizeof(kTypeNames[0]))
        return kTypeNames[type];
    if (type == 126)
        return L"Inactive";
    if (type == 127)
        return L"End-of-Table";
    if (type >= 128)
        return Format(L"OEM Type %u", (unsigned)type);
    return Format(L"Type %u", (unsigned)type);
}

std::wstring TypeGroup(BYTE type) {
    switch (type) {
    case 7:
        return L"Cache";
    case 8:
        return L"Port Connectors";
    case 9:
        return L"System Slots";
    case 5:
    case 6:
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 33:
    case 37:
        return L"Memory";
    case 10:
    case 41:
        return L"Onboard Devices";
    case 26:
    case 27:
    case 28:
    case 29:
    case 36:
        return L"Probes and Cooling";
    default:
        return type >= 128 ? L"OEM" : L"";
    }
}

std::wstring HexBytes(const BYTE* p, size_t n) {
    std::wstring s;
    for (size_t i = 0; i < n; ++i) {
        if (i)
            s += L' ';
        s += Format(L"%02X", (unsigned)p[i]);
    }
    return s;
}

std::wstring Ansi(const std::string& s) {
    if (s.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w((size_t)n, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

// One structure as read: its bytes (formatted area and string set) and the strings.
struct Structure {
    std::vector<BYTE> bytes;
    BYTE length = 0;
    std::vector<std::string> strings;
    SMBIOSHeader header() const {
        SMBIOSHeader h;
        h.Type = bytes[0];
        h.Length = bytes[1];
        h.Handle = (WORD)(bytes[2] | (bytes[3] << 8));
        return h;
    }
};

class CField : public Counted<ISMBIOSField> {
public:
    CField(const SMBIOSHeader& header, int image, const std::wstring& name, DWORD offset, DWORD length, bool system,
           const _value_t& value, const std::wstring& text, const std::vector<BYTE>& bytes)
        : m_header(header), m_image(image), m_name(name), m_offset(offset), m_length(length), m_system(system),
          m_value(value), m_text(text), m_bytes(bytes) {}
    int GetImage() override { return m_image; }
    std::wstring GetName() override { return m_name; }
    SMBIOSHeader GetHeader() override { return m_header; }
    _value_t GetValue() override { return m_value; }
    DWORD GetOffset() override { return m_offset; }
    DWORD GetLength() override { return m_length; }
    bool IsSystem() override { return m_system; }
    std::wstring GetValueText() override { return m_text; }
    std::vector<BYTE> GetBytes() override { return m_bytes; }

private:
    SMBIOSHeader m_header;
    int m_image;
    std::wstring m_name;
    DWORD m_offset, m_length;
    bool m_system;
    _value_t m_value;
    std::wstring m_text;
    std::vector<BYTE> m_bytes;
};

class CTable : public Counted<ISMBIOSTable> {
public:
    CTable(const Structure& s, int image) : m_bytes(s.bytes), m_header(s.header()), m_image(image) {
        const BYTE* p = s.bytes.data();
        auto number = [&](const wchar_t* name, DWORD offset, DWORD size, bool hex, bool system) {
            unsigned long long v = 0;
            for (DWORD i = 0; i < size; ++i)
                v |= (unsigned long long)p[offset + i] << (8 * i);
            _value_t value = size == 8 ? _value_t((long long)v) : _value_t((unsigned long)v);
            std::wstring text = hex ? Format(L"0x%0*I64X", (int)(size * 2), v) : Format(L"%I64u", v);
            Add(name, offset, size, system, value, text, std::vector<BYTE>(p + offset, p + offset + size));
        };
        number(L"Type", 0, 1, false, true);
        number(L"Length", 1, 1, false, true);
        number(L"Handle", 2, 2, true, true);
        bool described = false;
        for (const FieldDef& f : kFields) {
            if (f.type != m_header.Type)
                continue;
            described = true;
            DWORD size = f.kind == FkByte || f.kind == FkString ? 1
                         : f.kind == FkWord                     ? 2
                         : f.kind == FkDword                    ? 4
                         : f.kind == FkQword                    ? 8
                                                                : 16;
            if (f.offset + size > s.length)
                continue; // a field of a later version than this structure's
            if (f.kind == FkString) {
                BYTE index = p[f.offset];
                std::wstring text;
                std::vector<BYTE> bytes;
                if (index == 0) {
                    text = L"";
                } else if (index > s.strings.size()) {
                    text = Format(L"(no string %u)", (unsigned)index);
                } else {
                    const std::string& str = s.strings[index - 1];
                    bytes.assign(str.begin(), str.end());
                    text = Ansi(str);
                }
                Add(f.name, f.offset, 1, false,
                    _value_t(index == 0 || index > s.strings.size() ? std::wstring() : text), text, bytes);
            } else if (f.kind == FkUuid) {
                GUID g;
                memcpy(&g, p + f.offset, 16); // stored with its first three fields little-endian
                std::wstring text = GuidText(g);
                Add(f.name, f.offset, 16, false, _value_t(text), text,
                    std::vector<BYTE>(p + f.offset, p + f.offset + 16));
            } else {
                number(f.name, f.offset, size, f.hex, false);
            }
        }
        if (!described && s.length > 4) {
            std::wstring text = HexBytes(p + 4, s.length - 4u);
            Add(L"Data", 4, s.length - 4u, false, _value_t(text), text, std::vector<BYTE>(p + 4, p + s.length));
        }
        if (!described)
            for (size_t i = 0; i < s.strings.size() && i < 255; ++i) {
                std::wstring text = Ansi(s.strings[i]);
                Add(Format(L"String %u", (unsigned)(i + 1)), s.length, 0, false, _value_t(text), text,
                    std::vector<BYTE>(s.strings[i].begin(), s.strings[i].end()));
            }
    }
    int GetImage() override { return m_image; }
    std::wstring GetName() override { return TypeName(m_header.Type); }
    WORD GetHandle() override { return m_header.Handle; }
    BYTE GetType() override { return m_header.Type; }
    BYTE GetLength() override { return m_header.Length; }
    std::wstring GetGroup() override { return TypeGroup(m_header.Type); }
    void GetFields(std::list<SmartPtr<ISMBIOSField>>& fields, IFilter* filter) override {
        for (auto& f : m_fields)
            if (Accepts(filter, f.second))
                fields.push_back(f.first);
    }
    std::vector<BYTE> GetBytes() override { return m_bytes; }
    PropertyList Properties() const {
        PropertyList l;
        l.push_back(MakeProperty(L"Type", _value_t((unsigned long)m_header.Type)));
        l.push_back(MakeProperty(L"Length", _value_t((unsigned long)m_header.Length)));
        l.push_back(MakeProperty(L"Handle", _value_t((unsigned long)m_header.Handle)));
        return l;
    }

private:
    void Add(const std::wstring& name, DWORD offset, DWORD length, bool system, const _value_t& value,
             const std::wstring& text, const std::vector<BYTE>& bytes) {
        SmartPtr<ISMBIOSField> f(new CField(m_header, m_image, name, offset, length, system, value, text, bytes));
        PropertyList props;
        props.push_back(MakeProperty(L"Name", _value_t(name)));
        props.push_back(MakeProperty(L"Offset", _value_t((unsigned long)offset)));
        props.push_back(MakeProperty(L"Length", _value_t((unsigned long)length)));
        props.push_back(MakeProperty(L"Value", value));
        m_fields.push_back({f, props});
    }
    std::vector<BYTE> m_bytes;
    SMBIOSHeader m_header;
    int m_image;
    std::vector<std::pair<SmartPtr<ISMBIOSField>, PropertyList>> m_fields;
};

class CSMBIOS : public Counted<ISMBIOS> {
public:
    CSMBIOS() {
        std::vector<BYTE> raw = SmbiosSource()->ReadRawTable();
        if (raw.empty()) {
            m_problem = L"The firmware gives no SMBIOS table.";
            return;
        }
        if (raw.size() < 8) {
            m_problem = L"The SMBIOS table is shorter than its header.";
            return;
        }
        m_major = raw[1];
        m_minor = raw[2];
        size_t declared = raw[4] | (raw[5] << 8) | (raw[6] << 16) | ((size_t)raw[7] << 24);
        size_t n = raw.size() - 8;
        if (declared > n)
            m_problem = Format(L"The SMBIOS table declares %u bytes but holds %u.", (unsigned)declared, (unsigned)n);
        else
            n = declared;
        Parse(raw.data() + 8, n);
    }
    int GetImage() override { return ImageSmbios; }
    std::wstring GetName() override { return L"SMBIOS"; }
    BYTE GetMajorVersion() override { return m_major; }
    BYTE GetMinorVersion() override { return m_minor; }
    void GetTables(std::list<SmartPtr<ISMBIOSTable>>& tables, IFilter* filter) override {
        for (auto& t : m_tables)
            if (Accepts(filter, t->Properties()))
                tables.push_back(SmartPtr<ISMBIOSTable>(t.Get()));
    }
    std::wstring GetProblem() override { return m_problem; }

private:
    void Stop(const std::wstring& text) {
        if (m_problem.empty())
            m_problem = text;
    }
    void Parse(const BYTE* d, size_t n) {
        SmartPtr<IDeviceImageList> images = Common::GetDeviceImageList();
        size_t p = 0;
        while (p < n) {
            if (n - p < 4) {
                Stop(Format(L"The SMBIOS structure at offset %u is shorter than its header.", (unsigned)p));
                return;
            }
            BYTE length = d[p + 1];
            if (length < 4) {
                Stop(Format(L"The SMBIOS structure at offset %u declares the length %u, shorter than its header.",
                            (unsigned)p, (unsigned)length));
                return;
            }
            if (p + length > n) {
                Stop(Format(L"The SMBIOS structure at offset %u runs past the end of the table.", (unsigned)p));
                return;
            }
            Structure s;
            s.length = length;
            // The string set: strings ended by NUL, the set ended by a second NUL (two NULs when empty).
            size_t q = p + length;
            bool ended = false;
            if (q + 1 < n && d[q] == 0 && d[q + 1] == 0) {
                q += 2;
                ended = true;
            } else {
                while (q < n && d[q] != 0) {
                    size_t e = q;
                    while (e < n && d[e] != 0)
                        ++e;
                    if (e >= n)
                        break;
                    s.strings.emplace_back(reinterpret_cast<const char*>(d + q), e - q);
                    q = e + 1;
                    if (q < n && d[q] == 0) {
                        ++q;
                        ended = true;
                        break;
                    }
                }
            }
            if (!ended) {
                // Keep the structure with the strings that ended; nothing after it can be placed.
                s.bytes.assign(d + p, d + n);
                m_tables.push_back(SmartPtr<CTable>(new CTable(s, images->GetSmbiosTableImage(d[p]))));
                Stop(Format(L"The SMBIOS structure at offset %u has no end of its strings.", (unsigned)p));
                return;
            }
            s.bytes.assign(d + p, d + q);
            if (d[p] == 127)
                return; // end of table
            m_tables.push_back(SmartPtr<CTable>(new CTable(s, images->GetSmbiosTableImage(d[p]))));
            p = q;
        }
    }

    BYTE m_major = 0, m_minor = 0;
    std::wstring m_problem;
    std::vector<SmartPtr<CTable>> m_tables;
};

} // namespace

namespace Common {

SmartPtr<ISMBIOS> GetSMBIOS() { return SmartPtr<ISMBIOS>(new CSMBIOS); }

std::vector<BYTE> ReadSystemSmbiosTable() {
    const DWORD rsmb = 0x52534D42; // 'RSMB'
    UINT size = ::GetSystemFirmwareTable(rsmb, 0, nullptr, 0);
    if (size == 0 || size > 16 * 1024 * 1024)
        return std::vector<BYTE>();
    std::vector<BYTE> table(size);
    UINT got = ::GetSystemFirmwareTable(rsmb, 0, table.data(), size);
    if (got == 0 || got > size)
        return std::vector<BYTE>();
    table.resize(got);
    return table;
}

} // namespace Common
} // namespace VDeviceInfo
