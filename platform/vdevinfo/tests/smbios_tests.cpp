// SMBIOS tables: Wine's real table, a table built by the test, and hostile tables that must give
// what could be read and a problem instead of failing.
#include <gtest/gtest.h>

#include "kvsmbios.h"

#include "VDevInfo.h"

#include <functional>

using namespace VDeviceInfo;

namespace {

class CRawTable : public ISmbiosSource {
public:
    std::vector<BYTE> raw;
    std::vector<BYTE> ReadRawTable() override { return raw; }
};

using KvSmbios::Raw;
using KvSmbios::Structure;

std::vector<BYTE> Bios() {
    return Structure(0, 0x0000, {1, 2, 0x00, 0xE0, 3, 0x3F, 0x80, 0, 0, 0, 0, 0, 0},
                     {"Vendor Inc.", "1.02", "01/02/2025"});
}
std::vector<BYTE> System() {
    std::vector<BYTE> body = {1, 2, 0, 9}; // manufacturer, product, no version, a string index past the set
    for (int i = 0; i < 16; ++i)
        body.push_back((BYTE)(i + 1));
    body.push_back(6); // wake-up type
    return Structure(1, 0x0001, body, {"Maker", "Model"});
}
std::vector<BYTE> Memory(WORD handle) {
    std::vector<BYTE> body(0x11, 0);
    body[0x0C - 4] = 0x00;
    body[0x0D - 4] = 0x20; // size 8192
    body[0x10 - 4] = 1;    // device locator
    return Structure(17, handle, body, {"DIMM A"});
}
std::vector<BYTE> Oem() { return Structure(0xC0, 0x00C0, {0xDE, 0xAD}, {"oem text"}); }
std::vector<BYTE> End() { return Structure(127, 0xFEFF, {}, {}); }

SmartPtr<ISMBIOS> Read(const std::vector<BYTE>& raw) {
    CRawTable source;
    source.raw = raw;
    Common::SetSmbiosSource(&source);
    SmartPtr<ISMBIOS> s = Common::GetSMBIOS();
    Common::SetSmbiosSource(nullptr);
    return s;
}

std::vector<SmartPtr<ISMBIOSTable>> Tables(ISMBIOS* s, IFilter* filter = nullptr) {
    std::list<SmartPtr<ISMBIOSTable>> l;
    s->GetTables(l, filter);
    return std::vector<SmartPtr<ISMBIOSTable>>(l.begin(), l.end());
}

std::vector<SmartPtr<ISMBIOSField>> Fields(ISMBIOSTable* t) {
    std::list<SmartPtr<ISMBIOSField>> l;
    t->GetFields(l, nullptr);
    return std::vector<SmartPtr<ISMBIOSField>>(l.begin(), l.end());
}

SmartPtr<ISMBIOSField> Field(ISMBIOSTable* t, const wchar_t* name) {
    for (auto& f : Fields(t))
        if (f->GetName() == name)
            return f;
    return SmartPtr<ISMBIOSField>();
}

TEST(Smbios, BuiltTableGivesTablesGroupsAndFields) {
    SmartPtr<ISMBIOS> s = Read(Raw({Bios(), System(), Memory(0x1100), Memory(0x1101), Oem(), End(), Bios()}));
    EXPECT_EQ(L"", s->GetProblem());
    EXPECT_EQ(3, s->GetMajorVersion());
    EXPECT_EQ(4, s->GetMinorVersion());
    EXPECT_EQ(L"SMBIOS", s->GetName());
    auto tables = Tables(s.Get());
    ASSERT_EQ(5u, tables.size()); // nothing after the end structure
    std::vector<std::wstring> names, groups;
    for (auto& t : tables) {
        names.push_back(t->GetName());
        groups.push_back(t->GetGroup());
    }
    EXPECT_EQ((std::vector<std::wstring>{L"BIOS Information", L"System Information", L"Memory Device", L"Memory Device",
                                         L"OEM Type 192"}),
              names);
    EXPECT_EQ((std::vector<std::wstring>{L"", L"", L"Memory", L"Memory", L"OEM"}), groups);
    EXPECT_EQ(0x1101, tables[3]->GetHandle());
    EXPECT_EQ(ImageSmbiosMemory, tables[3]->GetImage());

    // BIOS: system fields first, then the described fields that its length holds.
    auto bios = Fields(tables[0].Get());
    ASSERT_EQ(8u, bios.size());
    EXPECT_TRUE(bios[0]->IsSystem());
    EXPECT_EQ(L"Handle", bios[2]->GetName());
    EXPECT_EQ(L"0x0000", bios[2]->GetValueText());
    EXPECT_FALSE(bios[3]->IsSystem());
    SmartPtr<ISMBIOSField> vendor = Field(tables[0].Get(), L"Vendor");
    EXPECT_EQ(L"Vendor Inc.", vendor->GetValue().as_wstring());
    EXPECT_EQ(_value_t::vt_wstring, vendor->GetValue().vtype());
    EXPECT_EQ(4u, vendor->GetOffset());
    EXPECT_EQ(1u, vendor->GetLength());
    EXPECT_EQ(std::vector<BYTE>({'V', 'e', 'n', 'd', 'o', 'r', ' ', 'I', 'n', 'c', '.'}), vendor->GetBytes());
    SmartPtr<ISMBIOSField> segment = Field(tables[0].Get(), L"BIOS Starting Address Segment");
    EXPECT_EQ(0xE000, segment->GetValue().as_int());
    EXPECT_EQ(L"0xE000", segment->GetValueText());
    EXPECT_EQ(_value_t::vt_ulong, segment->GetValue().vtype());
    EXPECT_FALSE(Field(tables[0].Get(), L"System BIOS Major Release")); // past this structure's length
    SMBIOSHeader h = segment->GetHeader();
    EXPECT_EQ(0, h.Type);
    EXPECT_EQ(17, h.Length);

    // System: UUID text, an empty string index, a bad string index.
    EXPECT_EQ(L"{04030201-0605-0807-090A-0B0C0D0E0F10}", Field(tables[1].Get(), L"UUID")->GetValueText());
    EXPECT_EQ(L"", Field(tables[1].Get(), L"Version")->GetValueText());
    SmartPtr<ISMBIOSField> serial = Field(tables[1].Get(), L"Serial Number");
    EXPECT_EQ(L"(no string 9)", serial->GetValueText());
    EXPECT_EQ(L"", serial->GetValue().as_wstring());
    EXPECT_EQ(6, Field(tables[1].Get(), L"Wake-up Type")->GetValue().as_int());

    EXPECT_EQ(8192, Field(tables[2].Get(), L"Size")->GetValue().as_int());
    EXPECT_EQ(L"DIMM A", Field(tables[2].Get(), L"Device Locator")->GetValueText());

    // A structure this inventory does not describe shows its data and strings.
    EXPECT_EQ(L"DE AD", Field(tables[4].Get(), L"Data")->GetValueText());
    EXPECT_EQ(L"oem text", Field(tables[4].Get(), L"String 1")->GetValueText());
    EXPECT_EQ(Oem(), tables[4]->GetBytes());

    // Tables filter on their type.
    SmartPtr<IFilter> f = Common::CreateFilter();
    f->AddEntry(L"Type", Common::CreateFilterEntry(_value_t(17)).Get());
    EXPECT_EQ(2u, Tables(s.Get(), f.Get()).size());
}

TEST(Smbios, HostileTablesGiveWhatWasReadAndAProblem) {
    struct Case {
        const char* name;
        std::vector<BYTE> raw;
        size_t tables;
        const wchar_t* problem;
    };
    std::vector<BYTE> shortTail = Raw({Bios(), {1, 30, 0}});
    std::vector<BYTE> tinyLength = Raw({Bios(), {1, 2, 0, 0, 0, 0}});
    std::vector<BYTE> pastEnd = Raw({Bios(), {1, 200, 0, 0, 1, 2}});
    std::vector<BYTE> oemNoEnd = Oem();
    oemNoEnd.pop_back(); // the set's second NUL
    std::vector<BYTE> noEnd = Raw({Bios(), oemNoEnd});
    std::vector<BYTE> noEndNoStrings = Raw({Bios(), {0xC1, 4, 1, 0, 0}});
    std::vector<BYTE> unterminated = Raw({Bios(), {0xC1, 4, 1, 0, 'a', 'b'}});
    const Case cases[] = {
        {"tail shorter than a header", shortTail, 1, L"The SMBIOS structure at offset 46 is shorter than its header."},
        {"length below the header", tinyLength, 1,
         L"The SMBIOS structure at offset 46 declares the length 2, shorter than its header."},
        {"structure past the end", pastEnd, 1, L"The SMBIOS structure at offset 46 runs past the end of the table."},
        {"no double NUL", noEnd, 2, L"The SMBIOS structure at offset 46 has no end of its strings."},
        {"no double NUL without strings", noEndNoStrings, 2,
         L"The SMBIOS structure at offset 46 has no end of its strings."},
        {"string without NUL", unterminated, 2, L"The SMBIOS structure at offset 46 has no end of its strings."},
        {"declared length beyond the data", Raw({Bios()}, 100), 1,
         L"The SMBIOS table declares 146 bytes but holds 46."},
        {"shorter than the table header", {0, 3, 4, 0, 9}, 0, L"The SMBIOS table is shorter than its header."},
        {"empty", {}, 0, L"The firmware gives no SMBIOS table."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmartPtr<ISMBIOS> s = Read(c.raw);
        auto tables = Tables(s.Get());
        EXPECT_EQ(c.tables, tables.size());
        EXPECT_EQ(c.problem, s->GetProblem());
        for (auto& t : tables)
            for (auto& f : Fields(t.Get()))
                f->GetValueText(); // every field reads within its table
    }
    // The kept structure without its end still names its ended strings.
    auto tables = Tables(Read(noEnd).Get());
    ASSERT_EQ(2u, tables.size());
    EXPECT_EQ(L"oem text", Field(tables[1].Get(), L"String 1")->GetValueText());
}

TEST(Smbios, WinesOwnTableParses) {
    std::vector<BYTE> raw = Common::ReadSystemSmbiosTable();
    ASSERT_GE(raw.size(), 8u) << "the system gives no SMBIOS table";
    SmartPtr<ISMBIOS> s = Common::GetSMBIOS();
    EXPECT_EQ(L"", s->GetProblem());
    EXPECT_EQ(raw[1], s->GetMajorVersion());
    auto tables = Tables(s.Get());
    ASSERT_FALSE(tables.empty());
    bool bios = false, system = false;
    for (auto& t : tables) {
        bios |= t->GetType() == 0;
        system |= t->GetType() == 1;
        for (auto& f : Fields(t.Get()))
            EXPECT_EQ(t->GetHandle(), f->GetHeader().Handle);
    }
    EXPECT_TRUE(bios);
    EXPECT_TRUE(system);
}

} // namespace
