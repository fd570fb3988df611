// The board lists of hardware resources check what the board finds, not only what the store
// says: an SMBIOS table's bytes, an SMBIOS field's bytes or string, a PCI device's identity as the
// system reads it. Wine's own SMBIOS table and its display adapter stand in for the firmware and
// the bus.
#include "Sha256Ref.h"
#include "kvsmbios.h"
#include "VcoreTestUtil.h"
#include "VCoreTesting.h"

using namespace Varno;
using vtest::Narrow;

namespace {

_time_t T1() { return _time_t(1); }

// One structure of the firmware's table, read here independently of the store.
struct Structure {
    int handle = -1, length = 0;
    std::string bytes; // formatted area and string set
    std::vector<std::string> strings;
};

Structure FirstOfType(int type) {
    Structure out;
    const DWORD rsmb = 0x52534D42;
    UINT n = GetSystemFirmwareTable(rsmb, 0, nullptr, 0);
    std::string raw(n, '\0');
    if (!n || GetSystemFirmwareTable(rsmb, 0, &raw[0], n) != n)
        return out;
    size_t p = 8, end = raw.size();
    while (p + 4 <= end) {
        int t = (BYTE)raw[p], len = (BYTE)raw[p + 1];
        size_t s = p + len;
        std::vector<std::string> strings;
        while (s < end && raw[s]) {
            size_t e = raw.find('\0', s);
            strings.push_back(raw.substr(s, e - s));
            s = e + 1;
        }
        size_t next = strings.empty() ? s + 2 : s + 1;
        if (t == type) {
            out.handle = (BYTE)raw[p + 2] | ((BYTE)raw[p + 3] << 8);
            out.length = len;
            out.bytes = raw.substr(p, next - p);
            out.strings = strings;
            return out;
        }
        p = next;
    }
    return out;
}

struct HardwareListFixture : ::testing::Test {
    std::wstring dir;
    SmartPtr<IProvider> provider;
    SmartPtr<IDatabase> db;
    void SetUp() override {
        dir = vtest::ScratchDir(std::wstring(L"hwlist_") +
                                as_wstring(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        provider = Common::CreateProvider();
        db = provider->Open(Narrow(dir + L"\\Localhost.vdb").c_str());
        ASSERT_TRUE(db);
    }
    void TearDown() override {
        if (db)
            provider->Close(db->GetHandle());
    }
    std::vector<std::string> Checks(const wchar_t* base, BootListCode code) {
        std::wstring nam = dir + L"\\" + base + L".nam", chk = dir + L"\\" + base + L".chk";
        db->WriteBootList(Narrow(nam).c_str(), Narrow(chk).c_str(), code);
        return vtest::Lines(vtest::ReadBytes(chk));
    }
};

std::string Descriptor(int type, int length, int handle) {
    return "type=" + std::to_string(type) + "\nlength=" + std::to_string(length) +
           "\nhandle=" + std::to_string(handle) + "\n";
}
std::string FieldDescriptor(int type, int offset, int length) {
    return "fieldType=" + std::to_string(type) + "\nfieldOffset=" + std::to_string(offset) +
           "\nfieldLength=" + std::to_string(length) + "\n";
}

} // namespace

TEST_F(HardwareListFixture, SmbiosChecksCoverTheBytesTheFirmwareHolds) {
    Structure sys = FirstOfType(1);
    ASSERT_GE(sys.handle, 0) << "the system gives no SMBIOS system structure";
    ASSERT_GE(sys.length, 8);
    SmbiosTableDescriptor tbl = {1, sys.length, sys.handle};
    SmbiosTableDescriptor gone = {1, sys.length, 0xFFF0};
    db->CreateSMBIOSTable(L"System", tbl, T1(), true);
    db->CreateSMBIOSField(L"System\\Manufacturer", 1, 1, 4, tbl, T1(), true); // a text field: its string
    db->CreateSMBIOSField(L"System\\Type", 0, 2, 0, tbl, T1(), true);         // bytes at the offset
    db->CreateSMBIOSField(L"System\\Beyond", 0, 4, sys.length - 2, tbl, T1(), true);
    db->CreateSMBIOSTable(L"Gone", gone, T1(), true);

    int manufacturer = (BYTE)sys.bytes[4];
    ASSERT_LE(manufacturer, (int)sys.strings.size());
    std::string maker = manufacturer ? sys.strings[manufacturer - 1] : std::string(); // index 0: no string
    std::string d = Descriptor(1, sys.length, sys.handle);
    EXPECT_EQ((std::vector<std::string>{testsha::Sha256Hex(d + sys.bytes),
                                        testsha::Sha256Hex(d + FieldDescriptor(1, 4, 1) + maker),
                                        testsha::Sha256Hex(d + FieldDescriptor(0, 0, 2) + sys.bytes.substr(0, 2)),
                                        VARNO_UNREADABLE_MARK, VARNO_UNREADABLE_MARK}),
              Checks(L"bootsmbs", BootListSmbios));
}

TEST_F(HardwareListFixture, PciChecksNeedThePresentDeviceAndFollowItsIdentity) {
    // Wine lists its display adapter as a PCI device of this hardware ID.
    const wchar_t* wineDisplay = L"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00";
    auto present = checked_cast<IDevice>(db->CreateDevice(L"Display", L"", T1(), true));
    present->SetProperty(0, _value_t(wineDisplay));
    auto renamed = checked_cast<IDevice>(db->CreateDevice(L"Display again", L"", T1(), true));
    renamed->SetProperty(0, _value_t(wineDisplay));
    renamed->SetProperty(9, _value_t(3));
    auto absent = checked_cast<IDevice>(db->CreateDevice(L"Net card", L"", T1(), true));
    absent->SetProperty(0, _value_t(L"PCI\\VEN_10EC&DEV_8168"));

    std::vector<std::string> checks = Checks(L"bootpci", BootListPci);
    ASSERT_EQ(3u, checks.size());
    EXPECT_EQ(64u, checks[0].size());
    EXPECT_NE(testsha::Sha256Hex("0=" + Narrow(wineDisplay) + "\n"), checks[0]); // more than the descriptors
    EXPECT_NE(checks[0], checks[1]);
    EXPECT_EQ(VARNO_UNREADABLE_MARK, checks[2]);
    EXPECT_EQ(checks, Checks(L"bootpci", BootListPci)); // the same device reads the same
}

namespace {

// A firmware table of one system structure (handle 0x0100): manufacturer "Kv", product "Board",
// the serial number the test chooses, and a UUID at 8 (a text value of 16 bytes, not a string).
std::vector<unsigned char> SystemTable(const std::string& serial, unsigned char uuidFirst = 0x11) {
    std::vector<BYTE> body(0x1B - 4, 0);
    body[0] = 1, body[1] = 2, body[3] = 3; // strings of the manufacturer, the product, the serial
    body[8 - 4] = uuidFirst;
    return KvSmbios::Raw(
        {KvSmbios::Structure(1, 0x0100, body, {"Kv", "Board", serial}), KvSmbios::Structure(127, 0xFFFF, {}, {})}, 0, 2,
        8);
}

struct GivenTable {
    explicit GivenTable(const std::vector<unsigned char>& t) { Common::SetSmbiosTable(t.data(), t.size()); }
    ~GivenTable() { Common::SetSmbiosTable(nullptr, 0); }
};

} // namespace

// A changed field of the table the board finds gives another check of that field and of its
// table; the other fields keep theirs. A text field of more than one byte (a UUID) is checked by
// its own bytes, not taken for the index of a string.
TEST_F(HardwareListFixture, ChangedSmbiosFieldChangesItsCheck) {
    SmbiosTableDescriptor tbl = {1, 0x1B, 0x0100};
    db->CreateSMBIOSTable(L"SMBIOS\\System Information #0100", tbl, T1(), true);
    db->CreateSMBIOSField(L"SMBIOS\\System Information #0100\\Serial Number", 1, 1, 7, tbl, T1(), true);
    db->CreateSMBIOSField(L"SMBIOS\\System Information #0100\\Manufacturer", 1, 1, 4, tbl, T1(), true);
    db->CreateSMBIOSField(L"SMBIOS\\System Information #0100\\UUID", 1, 16, 8, tbl, T1(), true);
    std::vector<std::string> before, after, otherUuid;
    {
        GivenTable given(SystemTable("SN-1"));
        before = Checks(L"bootsmbs", BootListSmbios);
    }
    {
        GivenTable given(SystemTable("SN-2"));
        after = Checks(L"bootsmbs", BootListSmbios);
    }
    {
        GivenTable given(SystemTable("SN-1", 0x22));
        otherUuid = Checks(L"bootsmbs", BootListSmbios);
    }
    ASSERT_EQ(4u, before.size());
    ASSERT_EQ(4u, after.size());
    std::string d = Descriptor(1, 0x1B, 0x0100);
    EXPECT_EQ(testsha::Sha256Hex(d + FieldDescriptor(1, 7, 1) + "SN-1"), before[1]);
    EXPECT_EQ(testsha::Sha256Hex(d + FieldDescriptor(1, 7, 1) + "SN-2"), after[1]);
    std::string uuid(16, '\0');
    uuid[0] = 0x11;
    EXPECT_EQ(testsha::Sha256Hex(d + FieldDescriptor(1, 8, 16) + uuid), before[3]);
    EXPECT_NE(before[0], after[0]);     // the table holds the field
    EXPECT_EQ(before[2], after[2]);     // the manufacturer did not change
    EXPECT_NE(before[3], otherUuid[3]); // another UUID
    EXPECT_EQ(before[1], otherUuid[1]);
}

// A device stored with its location is the device at that location: the same hardware ID on
// another bus is another device, which the board does not find there.
TEST_F(HardwareListFixture, PciDeviceWithALocationIsFoundOnlyThere) {
    const wchar_t* wineDisplay = L"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00";
    auto anywhere = checked_cast<IDevice>(db->CreateDevice(L"Display", L"", T1(), true));
    anywhere->SetProperty(0, _value_t(wineDisplay));
    auto elsewhere = checked_cast<IDevice>(db->CreateDevice(L"Display on bus 254", L"", T1(), true));
    elsewhere->SetProperty(0, _value_t(wineDisplay));
    elsewhere->SetProperty(10, _value_t(254UL));
    elsewhere->SetProperty(9, _value_t(31UL));
    elsewhere->SetProperty(11, _value_t(7UL));
    std::vector<std::string> checks = Checks(L"bootpci", BootListPci);
    ASSERT_EQ(2u, checks.size());
    EXPECT_EQ(64u, checks[0].size());
    EXPECT_EQ(VARNO_UNREADABLE_MARK, checks[1]);
    EXPECT_FALSE(elsewhere->IsValid());
    EXPECT_TRUE(anywhere->IsValid());
}
