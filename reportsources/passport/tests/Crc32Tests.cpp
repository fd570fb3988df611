// The passport's CRC-32 against zlib's values: both update paths (tables and carry-less folding,
// the latter where the processor has it), every length class around the folding's block sizes,
// sixteen alignments of the data, and updates split at arbitrary points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "Crc32.h"

namespace {

// Byte i of every message; the same pattern generated the expected values below with
//   python3 -c 'import zlib; d=lambda n: bytes(((i*2654435761)>>13)&255 for i in range(n));
//               print([hex(zlib.crc32(d(n))) for n in (0,1,15,16,17,63,64,65,127,128,129,
//                      4095,4096,65535,1048579)])'
unsigned char PatternByte(uint64_t i) { return static_cast<unsigned char>((i * 2654435761u) >> 13); }

struct Expected {
    size_t length;
    uint32_t crc;
};
const Expected kZlib[] = {
    {0, 0x00000000u},   {1, 0xD202EF8Du},    {15, 0x0856E294u},   {16, 0x526FDEA4u},    {17, 0xC13C1805u},
    {63, 0x07621D4Du},  {64, 0x62D515B2u},   {65, 0xD3BB4B9Eu},   {127, 0x2547062Eu},   {128, 0xD54A6C92u},
    {129, 0x85BF10C4u}, {4095, 0x02405137u}, {4096, 0x7EBC569Cu}, {65535, 0xD63BA53Du}, {1048579, 0x9ABEBC60u},
};

const size_t kLongest = 1048579;

enum class Path { Default, Tables, Folding };

uint32_t Checksum(Path path, const unsigned char* data, size_t size) {
    switch (path) {
    case Path::Tables:
        return ~CCrc32::UpdateTables(0xFFFFFFFFu, data, size);
    case Path::Folding:
        return ~CCrc32::UpdateFolding(0xFFFFFFFFu, data, size);
    default: {
        CCrc32 crc;
        crc.Update(data, size);
        return crc.Result();
    }
    }
}

class Crc32Paths : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override {
        if (GetParam() == Path::Folding && !CCrc32::HasFolding())
            GTEST_SKIP() << "this processor has no carry-less multiplication";
        // 16 extra bytes in front, so the message can start at every alignment.
        m_buffer.resize(kLongest + 32);
    }
    // The first `length` pattern bytes, placed `offset` bytes past a 16-byte boundary.
    const unsigned char* Place(size_t offset, size_t length) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(m_buffer.data());
        unsigned char* start = m_buffer.data() + ((16 - base % 16) % 16) + offset;
        for (size_t i = 0; i < length; ++i)
            start[i] = PatternByte(i);
        return start;
    }
    std::vector<unsigned char> m_buffer;
};

TEST_P(Crc32Paths, EqualsZlibForEveryLengthAndAlignment) {
    for (const Expected& e : kZlib) {
        for (size_t offset = 0; offset < 16; ++offset) {
            // The longest message at a few alignments only: it is the same code as the shorter
            // ones, and a megabyte sixteen times adds nothing.
            if (e.length == kLongest && offset % 5 != 0)
                continue;
            const unsigned char* data = Place(offset, e.length);
            EXPECT_EQ(Checksum(GetParam(), data, e.length), e.crc) << "length " << e.length << ", offset " << offset;
        }
    }
}

TEST_P(Crc32Paths, SplitUpdatesGiveTheWholeValue) {
    // The plug-in reads files in 0xFFFF-byte blocks and runs one CRC over all files of a product:
    // every split of the data must give the value of one update.
    const unsigned char* data = Place(3, kLongest);
    const size_t pieces[] = {1, 7, 15, 16, 17, 63, 64, 65, 1000, 0xFFFF, 100000};
    for (size_t piece : pieces) {
        CCrc32 crc;
        uint32_t state = 0xFFFFFFFFu;
        for (size_t at = 0; at < kLongest; at += piece) {
            const size_t n = std::min(piece, kLongest - at);
            if (GetParam() == Path::Default)
                crc.Update(data + at, n);
            else if (GetParam() == Path::Tables)
                state = CCrc32::UpdateTables(state, data + at, n);
            else
                state = CCrc32::UpdateFolding(state, data + at, n);
        }
        const uint32_t result = GetParam() == Path::Default ? crc.Result() : ~state;
        EXPECT_EQ(result, kZlib[std::size(kZlib) - 1].crc) << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(All, Crc32Paths, ::testing::Values(Path::Default, Path::Tables, Path::Folding),
                         [](const ::testing::TestParamInfo<Path>& info) {
                             switch (info.param) {
                             case Path::Tables:
                                 return "Tables";
                             case Path::Folding:
                                 return "Folding";
                             default:
                                 return "Default";
                             }
                         });

TEST(Crc32, ResetStartsAgain) {
    CCrc32 crc;
    crc.Update("garbage", 7);
    crc.Reset();
    crc.Update("123456789", 9);
    EXPECT_EQ(crc.Result(), 0xCBF43926u); // the check value of CRC-32/ISO-HDLC
}

} // namespace
