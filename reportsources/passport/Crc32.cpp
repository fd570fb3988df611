// CRC-32 (IEEE 802.3, reflected) by slicing-by-8 tables and by carry-less multiplication.
#include "Crc32.h"

#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace {

const uint32_t kPolynomial = 0xEDB88320u;

// Table t gives the register's change for a byte that is followed by t more bytes.
struct SliceTables {
    uint32_t t[8][256];
    SliceTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const SliceTables& Tables() {
    static const SliceTables tables;
    return tables;
}

// Below this many bytes the tables are as quick as setting up the folding.
const size_t kFoldMinimum = 64;

bool DetectFolding() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
}

#define KV_CRC_FOLDING __attribute__((target("pclmul,sse4.1")))

inline __m128i load(const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// One lane moved forward over the distance that `by` stands for, plus the next 16 bytes.
KV_CRC_FOLDING inline __m128i fold(__m128i lane, __m128i by, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, by, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, by, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Folding of a run of whole 16-byte blocks, at least 64 bytes, into the register `state`.
// Four 128-bit lanes take 64 bytes per step: each lane is multiplied by x^(512+64) and x^512
// modulo the polynomial (bit-reflected constants) and the next 64 bytes are added. The lanes are
// then folded into one (x^(128+64), x^128), that one over the remaining blocks, reduced to 64
// bits (x^64) and to the 32-bit remainder by Barrett's method (the polynomial and
// floor(x^64 / P)).
KV_CRC_FOLDING uint32_t FoldBlocks(uint32_t state, const unsigned char* p, size_t size) {
    const __m128i by512 = _mm_set_epi64x(0x1C6E41596LL, 0x154442BD4LL);
    const __m128i by128 = _mm_set_epi64x(0x0CCAA009ELL, 0x1751997D0LL);
    const __m128i by64 = _mm_set_epi64x(0, 0x163CD6124LL);
    const __m128i barrett = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
    const __m128i low32 = _mm_set_epi32(0, -1, 0, -1);

    __m128i a = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i b = load(p + 16), c = load(p + 32), d = load(p + 48);
    p += 64;
    size -= 64;
    while (size >= 64) {
        a = fold(a, by512, load(p));
        b = fold(b, by512, load(p + 16));
        c = fold(c, by512, load(p + 32));
        d = fold(d, by512, load(p + 48));
        p += 64;
        size -= 64;
    }
    a = fold(a, by128, b);
    a = fold(a, by128, c);
    a = fold(a, by128, d);
    while (size >= 16) {
        a = fold(a, by128, load(p));
        p += 16;
        size -= 16;
    }

    // 128 bits to 64: the low half times x^128's constant, added to the high half.
    __m128i t = _mm_clmulepi64_si128(a, by128, 0x10);
    a = _mm_xor_si128(_mm_srli_si128(a, 8), t);
    // 64 bits to 32 + 32.
    t = _mm_srli_si128(a, 4);
    a = _mm_clmulepi64_si128(_mm_and_si128(a, low32), by64, 0x00);
    a = _mm_xor_si128(a, t);
    // Barrett reduction to the 32-bit remainder.
    t = _mm_clmulepi64_si128(_mm_and_si128(a, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    a = _mm_xor_si128(a, t);
    return static_cast<uint32_t>(_mm_extract_epi32(a, 1));
}

} // namespace

bool CCrc32::HasFolding() {
    static const bool has = DetectFolding();
    return has;
}

uint32_t CCrc32::UpdateTables(uint32_t v, const unsigned char* p, size_t size) {
    const SliceTables& tables = Tables();
    const auto& t = tables.t;
    while (size >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4); // little-endian, as on every target of this system
        std::memcpy(&hi, p + 4, 4);
        lo ^= v;
        v = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
            t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size--)
        v = (v >> 8) ^ t[0][(v ^ *p++) & 0xFF];
    return v;
}

uint32_t CCrc32::UpdateFolding(uint32_t v, const unsigned char* p, size_t size) {
    if (size >= kFoldMinimum) {
        const size_t blocks = size & ~size_t(15);
        v = FoldBlocks(v, p, blocks);
        p += blocks;
        size -= blocks;
    }
    return UpdateTables(v, p, size);
}

void CCrc32::Update(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_value = HasFolding() ? UpdateFolding(m_value, p, size) : UpdateTables(m_value, p, size);
}
