// The running CRC-32 of one product: the standard CRC-32 of IEEE 802.3 (as zlib computes it),
// reflected polynomial 0xEDB88320, over the product's files in the order met.
#pragma once

#include <cstddef>
#include <cstdint>

class CCrc32
{
public:
    CCrc32()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            m_table[i] = c;
        }
        Reset();
    }
    void Reset() { m_value = 0xFFFFFFFFu; }
    void Update(const void* data, size_t size)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        uint32_t v = m_value;
        for (size_t i = 0; i < size; ++i)
            v = (v >> 8) ^ m_table[(v ^ p[i]) & 0xFF];
        m_value = v;
    }
    uint32_t Result() const { return ~m_value; }

private:
    uint32_t m_table[256];
    uint32_t m_value;
};
