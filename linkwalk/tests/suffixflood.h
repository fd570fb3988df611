// A hostile module for the dependency finder, written at run time (it is large): its import and
// delay-import tables name `count` distinct missing modules that are the suffixes of one long
// string, so the names' text grows with the square of the count while the file grows linearly
// (30 000 names: a 1.5 MB file naming 450 million characters). Shared by the finder's tests and
// its benchmark.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lwflood {

// The long string: letters from a fixed pseudo-random sequence, then ".dll". Name i is the
// suffix that starts at offset i (i < count), so every name ends in ".dll" and is at least 13
// characters long. With `folderEvery`, every such character is a backslash instead: the names
// then reach through folders whose names are short enough to exist.
inline std::string SuffixString(size_t count, size_t folderEvery = 0) {
    std::string text;
    text.reserve(count + 12);
    uint32_t seed = 0x2545F491u;
    for (size_t i = 0; i < count + 8; ++i) {
        seed = seed * 1664525u + 1013904223u;
        text += folderEvery && i % folderEvery == folderEvery - 1 ? '\\' : char('a' + (seed >> 24) % 26);
    }
    return text + ".dll";
}

// The upper-cased name of import i, as the finder keys it.
inline std::wstring SuffixKey(const std::string& text, size_t i) {
    std::wstring key(text.begin() + static_cast<std::ptrdiff_t>(i), text.end());
    for (wchar_t& c : key)
        if (c >= L'a' && c <= L'z')
            c = wchar_t(c - L'a' + L'A');
    return key;
}

// The image: one section holding the string, one thunk table shared by all descriptors, the
// import descriptors and the delay-import descriptors of every suffix.
inline std::vector<BYTE> SuffixFloodImage(bool x64, const std::string& text, size_t count) {
    const uint32_t kSectRva = 0x1000, kSectRaw = 0x400, kFileAlign = 0x200, kSectAlign = 0x1000;
    std::vector<BYTE> sect;
    auto align = [&](size_t n) {
        while (sect.size() % n)
            sect.push_back(0);
    };
    auto add = [&](const void* data, size_t size, size_t alignment) {
        align(alignment);
        const uint32_t rva = kSectRva + static_cast<uint32_t>(sect.size());
        const BYTE* p = static_cast<const BYTE*>(data);
        sect.insert(sect.end(), p, p + size);
        return rva;
    };
    auto put32 = [](std::vector<BYTE>& d, size_t at, uint32_t v) { std::memcpy(d.data() + at, &v, 4); };

    // One thunk table (import by ordinal 1, then the terminator) and the delay-load handle.
    uint64_t thunks64[2] = {(1ull << 63) | 1, 0};
    uint32_t thunks32[2] = {(1u << 31) | 1, 0};
    const uint32_t thunks = x64 ? add(thunks64, sizeof thunks64, 8) : add(thunks32, sizeof thunks32, 8);
    const uint64_t handleSlot = 0;
    const uint32_t handle = add(&handleSlot, 8, 8);
    const uint32_t textRva = add(text.c_str(), text.size() + 1, 2);

    std::vector<BYTE> imports((count + 1) * 20, 0);
    for (size_t i = 0; i < count; ++i) {
        put32(imports, i * 20, thunks);
        put32(imports, i * 20 + 12, textRva + static_cast<uint32_t>(i));
        put32(imports, i * 20 + 16, thunks);
    }
    const uint32_t importRva = add(imports.data(), imports.size(), 4);
    std::vector<BYTE> delays((count + 1) * 32, 0);
    for (size_t i = 0; i < count; ++i) {
        put32(delays, i * 32, 1); // the RVA form
        put32(delays, i * 32 + 4, textRva + static_cast<uint32_t>(i));
        put32(delays, i * 32 + 8, handle);
        put32(delays, i * 32 + 12, thunks);
        put32(delays, i * 32 + 16, thunks);
    }
    const uint32_t delayRva = add(delays.data(), delays.size(), 4);
    align(kFileAlign);
    const uint32_t rawSize = static_cast<uint32_t>(sect.size());
    const uint32_t imageSize = kSectRva + (rawSize + kSectAlign - 1) / kSectAlign * kSectAlign;

    std::vector<BYTE> image(kSectRaw, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x18] = 0x40; // e_lfarlc: a new-style header follows
    put32(image, 0x3C, 0x80);
    size_t at = 0x80;
    put32(image, at, 0x00004550);
    at += 4;
    const uint16_t optSize = x64 ? 0xF0 : 0xE0;
    auto put16 = [&](size_t where, uint16_t v) { std::memcpy(image.data() + where, &v, 2); };
    put16(at, x64 ? 0x8664 : 0x14C);       // Machine
    put16(at + 2, 1);                      // NumberOfSections
    put16(at + 16, optSize);               // SizeOfOptionalHeader
    put16(at + 18, x64 ? 0x2022 : 0x2102); // an executable DLL
    at += 20;
    const size_t opt = at;
    put16(opt, x64 ? 0x20B : 0x10B);
    put32(image, opt + 4, rawSize);   // SizeOfCode
    put32(image, opt + 20, kSectRva); // BaseOfCode
    if (x64) {
        const uint64_t base = 0x180000000ull;
        std::memcpy(image.data() + opt + 24, &base, 8);
    } else {
        put32(image, opt + 24, kSectRva); // BaseOfData
        put32(image, opt + 28, 0x10000000);
    }
    put32(image, opt + 32, kSectAlign);
    put32(image, opt + 36, kFileAlign);
    put16(opt + 40, 6); // operating system version
    put16(opt + 48, 6); // subsystem version
    put32(image, opt + 56, imageSize);
    put32(image, opt + 60, kSectRaw); // SizeOfHeaders
    put16(opt + 68, 3);               // console subsystem
    const size_t dirs = opt + (x64 ? 112 : 96);
    put32(image, dirs - 4, 16); // NumberOfRvaAndSizes
    put32(image, dirs + 1 * 8, importRva);
    put32(image, dirs + 1 * 8 + 4, static_cast<uint32_t>(imports.size()));
    put32(image, dirs + 13 * 8, delayRva);
    put32(image, dirs + 13 * 8 + 4, static_cast<uint32_t>(delays.size()));
    const size_t sh = opt + optSize;
    std::memcpy(image.data() + sh, ".rdata", 6);
    put32(image, sh + 8, rawSize);   // VirtualSize
    put32(image, sh + 12, kSectRva); // VirtualAddress
    put32(image, sh + 16, rawSize);  // SizeOfRawData
    put32(image, sh + 20, kSectRaw); // PointerToRawData
    put32(image, sh + 36, 0x40000040);
    image.insert(image.end(), sect.begin(), sect.end());
    return image;
}

} // namespace lwflood
