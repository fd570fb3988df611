// A bounded view of a PE image held in memory (a read-only file mapping). Every read checks that the
// bytes lie within the file: a truncated or damaged module never makes a read go past its end.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace ClrMeta {

class CPeView {
public:
    CPeView() = default;
    CPeView(const BYTE* data, DWORD size) { Reset(data, size); }

    // Takes the bytes and finds the NT headers; IsPe() tells whether "PE\0\0" stood at e_lfanew.
    void Reset(const BYTE* data, DWORD size);

    const BYTE* Data() const { return m_data; }
    DWORD Size() const { return m_size; }
    bool IsPe() const { return m_nt != 0; }
    // Offset of the NT signature in the file; 0 when the image is not PE.
    DWORD NtOffset() const { return m_nt; }

    bool Within(uint64_t offset, uint64_t length) const { return offset <= m_size && length <= m_size - offset; }
    bool ReadWord(uint64_t offset, WORD& v) const;
    bool ReadDword(uint64_t offset, DWORD& v) const;
    bool ReadQword(uint64_t offset, uint64_t& v) const;
    // A zero-terminated ANSI string at the offset; false when its end lies outside the file.
    bool ReadAnsi(uint64_t offset, std::string& text) const;

    // Machine field of the file header (0 when not PE).
    WORD Machine() const;
    // The optional header's layout: PE32+ (true) or PE32 (false), chosen by the machine the caller
    // walks with, not by the header's magic.
    // Data directory `index` of the optional header at its PE32 or PE32+ place. False when the
    // entry lies outside the file or beyond NumberOfRvaAndSizes, or when its RVA or size is 0.
    bool DataDirectory(bool pe32plus, unsigned index, DWORD& rva, DWORD& size) const;
    // ImageBase of the optional header (PE32: 32 bits; PE32+: 64 bits).
    bool ImageBase(bool pe32plus, uint64_t& base) const;
    // File position of an RVA through the section table: the first section, in table order, with
    // VirtualAddress <= rva < VirtualAddress + min(VirtualSize, SizeOfRawData).
    bool RvaToOffset(DWORD rva, DWORD& offset) const;

private:
    const BYTE* m_data = nullptr;
    DWORD m_size = 0;
    DWORD m_nt = 0;
};

} // namespace ClrMeta
