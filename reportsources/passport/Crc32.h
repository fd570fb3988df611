// The running CRC-32 of one product: the standard CRC-32 of IEEE 802.3 (as zlib computes it),
// reflected polynomial 0xEDB88320, over the product's files in the order met.
// Where the processor multiplies without carry (PCLMULQDQ, checked once per process), long runs
// are folded 64 bytes per step; elsewhere, and for the short head and tail of a run, eight
// tables take eight bytes per step ("slicing by 8"). Both give the same value.
#pragma once

#include <cstddef>
#include <cstdint>

class CCrc32 {
public:
    CCrc32() { Reset(); }
    void Reset() { m_value = 0xFFFFFFFFu; }
    void Update(const void* data, size_t size);
    uint32_t Result() const { return ~m_value; }

    // The two ways of taking bytes into a running register (not yet inverted), for tests and
    // benchmarks. UpdateFolding needs HasFolding(); it takes any length and leaves what is not
    // a multiple of 16 bytes to the tables.
    static uint32_t UpdateTables(uint32_t state, const unsigned char* data, size_t size);
    static uint32_t UpdateFolding(uint32_t state, const unsigned char* data, size_t size);
    static bool HasFolding();

private:
    uint32_t m_value;
};
