// Disk layouts read from disk image files that the tests write: a nested chain of logical drives,
// GPT with 512-byte and 4 KB sectors, and damaged tables that must give partial answers.
#include <gtest/gtest.h>

#include "VDevInfo.h"

#include <algorithm>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

using namespace VDeviceInfo;

namespace {

std::wstring TestTmp() {
    wchar_t buf[MAX_PATH] = L"";
    ::GetEnvironmentVariableW(L"KV_TEST_TMP", buf, MAX_PATH);
    return buf[0] ? buf : L".";
}

void Put32(BYTE* p, DWORD v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (BYTE)(v >> (8 * i));
}
void Put64(BYTE* p, unsigned long long v) {
    Put32(p, (DWORD)v);
    Put32(p + 4, (DWORD)(v >> 32));
}

struct GptPart {
    unsigned long long first, last;
    const wchar_t* name;
};

// A disk image built sector by sector and written as a file (unwritten sectors are zero).
class CImage {
public:
    CImage(DWORD bps, unsigned long long sectors) : m_bps(bps), m_count(sectors) {}

    BYTE* Sector(unsigned long long lba) {
        auto& s = m_data[lba];
        if (s.empty())
            s.assign(m_bps, 0);
        return s.data();
    }
    // One entry of the partition table in the sector at table (MBR or EBR), with the signature.
    void Entry(unsigned long long table, int index, BYTE type, DWORD start, DWORD count, BYTE boot = 0) {
        BYTE* s = Sector(table);
        BYTE* e = s + 446 + 16 * index;
        e[0] = boot;
        e[4] = type;
        Put32(e + 8, start);
        Put32(e + 12, count);
        s[510] = 0x55;
        s[511] = 0xAA;
    }
    // A protective MBR, both headers and both entry arrays.
    void Gpt(const std::vector<GptPart>& parts, DWORD entries = 128, DWORD entrySize = 128) {
        Entry(0, 0, 0xEE, 1, (DWORD)std::min<unsigned long long>(m_count - 1, 0xFFFFFFFF));
        std::vector<BYTE> array((size_t)entries * entrySize, 0);
        for (size_t i = 0; i < parts.size(); ++i) {
            BYTE* e = array.data() + i * entrySize;
            const BYTE type[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                   0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
            memcpy(e, type, 16);
            e[16] = (BYTE)(i + 1); // partition id
            Put64(e + 32, parts[i].first);
            Put64(e + 40, parts[i].last);
            for (int c = 0; parts[i].name[c] && c < 36; ++c)
                e[56 + 2 * c] = (BYTE)parts[i].name[c];
        }
        unsigned long long arraySectors = (array.size() + m_bps - 1) / m_bps;
        unsigned long long backupArray = m_count - 1 - arraySectors;
        WriteArray(2, array);
        WriteArray(backupArray, array);
        DWORD crc = Common::Crc32(array.data(), array.size());
        Header(1, m_count - 1, 2, entries, entrySize, crc);
        Header(m_count - 1, 1, backupArray, entries, entrySize, crc);
    }
    void Header(unsigned long long at, unsigned long long alternate, unsigned long long array, DWORD entries,
                DWORD entrySize, DWORD arrayCrc) {
        BYTE* h = Sector(at);
        memset(h, 0, m_bps);
        memcpy(h, "EFI PART", 8);
        Put32(h + 8, 0x00010000);
        Put32(h + 12, 92);
        Put64(h + 24, at);
        Put64(h + 32, alternate);
        Put64(h + 40, 34);
        Put64(h + 48, m_count - 34);
        Put64(h + 72, array);
        Put32(h + 80, entries);
        Put32(h + 84, entrySize);
        Put32(h + 88, arrayCrc);
        Put32(h + 16, Common::Crc32(h, 92));
    }
    DriveInfo Read(const wchar_t* name, DWORD number, DWORD bps) {
        std::wstring path = TestTmp() + L"\\" + name;
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        LARGE_INTEGER end;
        end.QuadPart = (LONGLONG)(m_count * m_bps);
        ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
        ::SetEndOfFile(h);
        for (auto& s : m_data) {
            LARGE_INTEGER at;
            at.QuadPart = (LONGLONG)(s.first * m_bps);
            DWORD put = 0;
            ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
            ::WriteFile(h, s.second.data(), m_bps, &put, nullptr);
        }
        ::CloseHandle(h);
        return Common::ReadDiskImage(path, number, bps);
    }

private:
    void WriteArray(unsigned long long at, const std::vector<BYTE>& array) {
        for (size_t off = 0; off < array.size(); off += m_bps)
            memcpy(Sector(at + off / m_bps), array.data() + off, std::min<size_t>(m_bps, array.size() - off));
    }
    DWORD m_bps;
    unsigned long long m_count;
    std::map<unsigned long long, std::vector<BYTE>> m_data;
};

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// The drive as the sector picker nests it: extended partitions each in the one before, every
// sector under the innermost drive or extended partition whose byte range holds it, children
// by position. One line per item, indented by depth.
std::vector<std::string> Tree(const DriveInfo& info) {
    Common::SetDriveSource(nullptr);
    struct Node {
        unsigned long long start, end, position;
        std::string text;
        std::vector<int> children;
    };
    std::vector<Node> nodes;
    class CSource : public IDriveSource {
    public:
        DriveInfo d;
        std::vector<DriveInfo> ListDrives() override { return {d}; }
    } source;
    source.d = info;
    Common::SetDriveSource(&source);
    SmartPtr<VDeviceInfo::IStorage> storage = Common::GetStorage();
    Common::SetDriveSource(nullptr);
    std::list<SmartPtr<IPhysicalDrive>> drives;
    storage->GetDrives(drives, nullptr);
    if (drives.empty())
        return {};
    SmartPtr<IPhysicalDrive> d = drives.front();
    DWORD bps = d->GetGeometry();
    nodes.push_back({0, d->GetSize(), 0, Narrow(d->GetName()), {}});
    std::vector<int> ranges = {0};
    std::list<SmartPtr<IPartition>> parts;
    d->GetPartitions(parts);
    for (auto& p : parts) {
        PARTITION_INFORMATION_EX i = p->GetInfo();
        if (i.PartitionStyle != PARTITION_STYLE_MBR || (i.Mbr.PartitionType != 0x05 && i.Mbr.PartitionType != 0x0F))
            continue;
        unsigned long long s = (unsigned long long)i.StartingOffset.QuadPart;
        nodes.push_back({s,
                         s + (unsigned long long)i.PartitionLength.QuadPart,
                         s,
                         Narrow(p->GetName()) + " [" + std::to_string(s / bps) + "]",
                         {}});
        nodes[ranges.back()].children.push_back((int)nodes.size() - 1);
        ranges.push_back((int)nodes.size() - 1);
    }
    std::list<SmartPtr<ISector>> sectors;
    d->GetSectors(sectors);
    for (auto& s : sectors) {
        unsigned long long k = s->GetNumber() * bps;
        for (auto r = ranges.rbegin(); r != ranges.rend(); ++r)
            if (nodes[*r].start <= k && k < nodes[*r].end) {
                nodes.push_back({k, k, k, Narrow(s->GetName()) + " (" + std::to_string(s->GetNumber()) + ")", {}});
                nodes[*r].children.push_back((int)nodes.size() - 1);
                break;
            }
    }
    std::vector<std::string> lines;
    std::function<void(int, int)> dump = [&](int n, int depth) {
        lines.push_back(std::string(2 * depth, ' ') + nodes[n].text);
        std::vector<int> c = nodes[n].children;
        std::stable_sort(c.begin(), c.end(), [&](int a, int b) { return nodes[a].position < nodes[b].position; });
        for (int x : c)
            dump(x, depth + 1);
    };
    dump(0, 0);
    return lines;
}

// An MBR disk of 2048 sectors: a primary partition and an extended partition with three
// logical drives, each link nested in the one before.
CImage NestedChain() {
    CImage img(512, 2048);
    img.Entry(0, 0, 0x07, 64, 256, 0x80);
    img.Entry(0, 1, 0x0F, 512, 1536);
    img.Entry(512, 0, 0x07, 64, 200);   // logical drive at 576
    img.Entry(512, 1, 0x05, 384, 512);  // next record at 896
    img.Entry(896, 0, 0x83, 32, 300);   // logical drive at 928
    img.Entry(896, 1, 0x05, 1024, 512); // next record at 1536
    img.Entry(1536, 0, 0x07, 16, 400);  // logical drive at 1552
    return img;
}

const std::vector<std::string> kNestedTree = {
    "PhysicalDrive0",
    "  MBR (0)",
    "  Boot sector of partition 1 (64)",
    "  Extended [512]",
    "    EBR 1 (512)",
    "    Boot sector of partition 2 (576)",
    "    Extended [896]",
    "      EBR 2 (896)",
    "      Boot sector of partition 3 (928)",
    "      Extended [1536]",
    "        EBR 3 (1536)",
    "        Boot sector of partition 4 (1552)",
};

TEST(DiskLayout, NestedLogicalDrivesNestInTheirLinks) {
    DriveInfo d = NestedChain().Read(L"nested.img", 0, 512);
    EXPECT_EQ(PartitionStyleMbr, d.partitionStyle);
    EXPECT_EQ(L"", d.layoutProblem);
    EXPECT_EQ(kNestedTree, Tree(d));
    // Partitions in chain order: primary, extended, then logical drive and link per record.
    std::vector<std::pair<int, long long>> parts;
    for (auto& p : d.partitions)
        parts.push_back({p.Mbr.PartitionType, p.StartingOffset.QuadPart / 512});
    EXPECT_EQ((std::vector<std::pair<int, long long>>{
                  {0x07, 64}, {0x0F, 512}, {0x07, 576}, {0x05, 896}, {0x83, 928}, {0x05, 1536}, {0x07, 1552}}),
              parts);
    EXPECT_TRUE(d.partitions[0].Mbr.BootIndicator);
    EXPECT_EQ(4u, d.partitions[6].PartitionNumber);
}

TEST(DiskLayout, DamagedChainsGivePartialAnswers) {
    struct Case {
        const char* name;
        std::function<void(CImage&)> damage;
        size_t lines; // of the nested tree that stay
        const wchar_t* problem;
    };
    const Case cases[] = {
        {"loop to the first record", [](CImage& i) { i.Entry(896, 1, 0x05, 0, 512); }, 9,
         L"The chain of logical drives loops back to sector 512."},
        {"loop to a later record", [](CImage& i) { i.Entry(1536, 1, 0x05, 384, 512); }, 12,
         L"The chain of logical drives loops back to sector 896."},
        {"link beyond the extended partition", [](CImage& i) { i.Entry(896, 1, 0x05, 1024, 4000); }, 9,
         L"The link after logical drive 2 lies outside the extended partition."},
        {"record without signature", [](CImage& i) { i.Sector(1536)[510] = 0; }, 10,
         L"The extended boot record at sector 1536 has no signature."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CImage img = NestedChain();
        c.damage(img);
        DriveInfo d = img.Read(L"damaged.img", 0, 512);
        EXPECT_EQ(PartitionStyleMbr, d.partitionStyle);
        EXPECT_EQ(c.problem, d.layoutProblem);
        std::vector<std::string> expected(kNestedTree.begin(), kNestedTree.begin() + c.lines);
        EXPECT_EQ(expected, Tree(d));
    }
}

TEST(DiskLayout, EntriesOutsideTheDiskAreLeftOut) {
    CImage img(512, 2048);
    img.Entry(0, 0, 0x07, 64, 256);
    img.Entry(0, 1, 0x07, 1900, 500);         // past the end
    img.Entry(0, 2, 0x05, 1000, 0xFFFFFFF0u); // an extended partition of 2 TB on a 1 MB disk
    DriveInfo d = img.Read(L"outside.img", 0, 512);
    EXPECT_EQ((std::vector<std::string>{"PhysicalDrive0", "  MBR (0)", "  Boot sector of partition 1 (64)"}), Tree(d));
    EXPECT_EQ(L"Partition table entry 2 lies outside the disk. Partition table entry 3 lies outside the disk.",
              d.layoutProblem);
}

TEST(DiskLayout, GptWith512And4096ByteSectors) {
    struct Case {
        DWORD bps;
        std::vector<std::string> tree;
    };
    const Case cases[] = {
        {512,
         {"PhysicalDrive0", "  Protective MBR (0)", "  GPT header (1)", "  Boot sector of partition 1 (40)",
          "  Boot sector of partition 2 (256)", "  Backup GPT header (2047)"}},
        {4096,
         {"PhysicalDrive0", "  Protective MBR (0)", "  GPT header (1)", "  Boot sector of partition 1 (40)",
          "  Boot sector of partition 2 (256)", "  Backup GPT header (2047)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bps);
        CImage img(c.bps, 2048);
        img.Gpt({{40, 239, L"EFI system"}, {256, 1999, L"Data"}});
        DriveInfo d = img.Read(L"gpt.img", 0, c.bps);
        EXPECT_EQ(PartitionStyleGpt, d.partitionStyle);
        EXPECT_EQ(L"", d.layoutProblem);
        EXPECT_EQ(c.tree, Tree(d));
        ASSERT_EQ(2u, d.partitions.size());
        EXPECT_EQ(PARTITION_STYLE_GPT, d.partitions[1].PartitionStyle);
        EXPECT_EQ(256LL * c.bps, d.partitions[1].StartingOffset.QuadPart);
        EXPECT_EQ(1744LL * c.bps, d.partitions[1].PartitionLength.QuadPart);
        EXPECT_EQ(std::wstring(L"Data"), d.partitions[1].Gpt.Name);
        EXPECT_EQ(2u, d.partitions[1].PartitionNumber);
    }
    // The 4 KB image read as 512-byte sectors has no GPT where it is looked for.
    CImage big(4096, 2048);
    big.Gpt({{40, 239, L"EFI system"}});
    DriveInfo wrong = big.Read(L"gpt4k.img", 0, 512);
    EXPECT_EQ(PartitionStyleRaw, wrong.partitionStyle);
    EXPECT_EQ(L"The GPT header has no signature. The backup GPT header has no signature; the partitions are unknown.",
              wrong.layoutProblem);
}

TEST(DiskLayout, DamagedGptUsesTheBackupOrAnswersPartially) {
    struct Case {
        const char* name;
        std::function<void(CImage&)> damage;
        int style;
        size_t partitions;
        const wchar_t* problem;
    };
    const Case cases[] = {
        {"primary header checksum", [](CImage& i) { i.Sector(1)[40] ^= 1; }, PartitionStyleGpt, 2,
         L"The GPT header has a wrong checksum. The backup header is used."},
        {"primary entry array", [](CImage& i) { i.Sector(2)[32] ^= 1; }, PartitionStyleGpt, 2,
         L"The GPT header has entries with a wrong checksum. The backup header is used."},
        {"backup header", [](CImage& i) { i.Sector(2047)[0] = 'X'; }, PartitionStyleGpt, 2,
         L"The backup GPT header has no signature."},
        {"both headers",
         [](CImage& i) {
             i.Sector(1)[40] ^= 1;
             i.Sector(2047)[40] ^= 1;
         },
         PartitionStyleRaw, 0,
         L"The GPT header has a wrong checksum. The backup GPT header has a wrong checksum; the partitions are "
         L"unknown."},
        {"huge entry count",
         [](CImage& i) {
             i.Header(1, 2047, 2, 0x10000000, 128, 0);
             i.Header(2047, 1, 2014, 0x10000000, 128, 0);
         },
         PartitionStyleRaw, 0,
         L"The GPT header declares 268435456 entries, too many to read. The backup GPT header declares 268435456 "
         L"entries, too many to read; the partitions are unknown."},
        {"entry array outside the disk",
         [](CImage& i) {
             i.Header(1, 2047, 2040, 128, 128, 0);
             i.Header(2047, 1, 2040, 128, 128, 0);
         },
         PartitionStyleRaw, 0,
         L"The GPT header has its entries outside the disk. The backup GPT header has its entries outside the disk; "
         L"the partitions are unknown."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CImage img(512, 2048);
        img.Gpt({{40, 239, L"EFI system"}, {256, 1999, L"Data"}});
        c.damage(img);
        DriveInfo d = img.Read(L"gptbad.img", 0, 512);
        EXPECT_EQ(c.style, d.partitionStyle);
        EXPECT_EQ(c.partitions, d.partitions.size());
        EXPECT_EQ(c.problem, d.layoutProblem);
    }
    // An entry past the end is left out; the others stay.
    CImage img(512, 2048);
    img.Gpt({{40, 239, L"EFI system"}, {256, 9999, L"Too big"}});
    DriveInfo d = img.Read(L"gptentry.img", 0, 512);
    EXPECT_EQ(1u, d.partitions.size());
    EXPECT_EQ(L"GPT entry 2 lies outside the disk.", d.layoutProblem);
}

TEST(DiskLayout, UnreadableOrBlankDisksAreRawAndNotRecognised) {
    CImage blank(512, 64);
    DriveInfo d = blank.Read(L"blank.img", 3, 512);
    EXPECT_EQ(PartitionStyleRaw, d.partitionStyle);
    EXPECT_EQ(L"The disk has no partition table.", d.layoutProblem);
    DriveInfo missing = Common::ReadDiskImage(TestTmp() + L"\\no-such.img", 4, 512);
    EXPECT_EQ(PartitionStyleRaw, missing.partitionStyle);
    EXPECT_EQ(L"The disk image cannot be opened.", missing.layoutProblem);
    EXPECT_EQ(0xCBF43926u, Common::Crc32("123456789", 9));
}

} // namespace
