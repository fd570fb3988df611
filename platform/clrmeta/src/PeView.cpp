#include "PeView.h"

#include <cstring>

namespace ClrMeta {

void CPeView::Reset(const BYTE* data, DWORD size) {
    m_data = data;
    m_size = data ? size : 0;
    m_nt = 0;
    WORD mz = 0;
    DWORD lfanew = 0, sig = 0;
    if (m_size < 64 || !ReadWord(0, mz) || mz != 0x5A4D)
        return;
    if (!ReadDword(0x3C, lfanew) || static_cast<LONG>(lfanew) < 0 || lfanew == 0)
        return;
    if (ReadDword(lfanew, sig) && sig == 0x00004550 && Within(lfanew, 4 + 20))
        m_nt = lfanew;
}

bool CPeView::ReadWord(uint64_t offset, WORD& v) const {
    if (!Within(offset, 2))
        return false;
    std::memcpy(&v, m_data + offset, 2);
    return true;
}

bool CPeView::ReadDword(uint64_t offset, DWORD& v) const {
    if (!Within(offset, 4))
        return false;
    std::memcpy(&v, m_data + offset, 4);
    return true;
}

bool CPeView::ReadQword(uint64_t offset, uint64_t& v) const {
    if (!Within(offset, 8))
        return false;
    std::memcpy(&v, m_data + offset, 8);
    return true;
}

bool CPeView::ReadAnsi(uint64_t offset, std::string& text) const {
    text.clear();
    if (offset >= m_size)
        return false;
    const void* end = std::memchr(m_data + offset, 0, m_size - offset);
    if (!end)
        return false;
    text.assign(reinterpret_cast<const char*>(m_data + offset), static_cast<const char*>(end));
    return true;
}

WORD CPeView::Machine() const {
    WORD m = 0;
    if (m_nt)
        ReadWord(m_nt + 4, m);
    return m;
}

bool CPeView::DataDirectory(bool pe32plus, unsigned index, DWORD& rva, DWORD& size) const {
    rva = size = 0;
    if (!m_nt)
        return false;
    const uint64_t opt = uint64_t(m_nt) + 24;
    DWORD count = 0;
    if (!ReadDword(opt + (pe32plus ? 108 : 92), count) || index >= count)
        return false;
    const uint64_t entry = opt + (pe32plus ? 112 : 96) + uint64_t(index) * 8;
    if (!ReadDword(entry, rva) || !ReadDword(entry + 4, size))
        return false;
    return rva != 0 && size != 0;
}

bool CPeView::ImageBase(bool pe32plus, uint64_t& base) const {
    base = 0;
    if (!m_nt)
        return false;
    const uint64_t opt = uint64_t(m_nt) + 24;
    if (pe32plus)
        return ReadQword(opt + 24, base);
    DWORD b = 0;
    if (!ReadDword(opt + 28, b))
        return false;
    base = b;
    return true;
}

bool CPeView::RvaToOffset(DWORD rva, DWORD& offset) const {
    if (!m_nt)
        return false;
    WORD sections = 0, optSize = 0;
    if (!ReadWord(m_nt + 6, sections) || !ReadWord(m_nt + 20, optSize))
        return false;
    const uint64_t table = uint64_t(m_nt) + 24 + optSize;
    for (unsigned i = 0; i < sections; ++i) {
        const uint64_t s = table + uint64_t(i) * 40;
        DWORD vsize = 0, va = 0, rawSize = 0, rawPtr = 0;
        if (!ReadDword(s + 8, vsize) || !ReadDword(s + 12, va) || !ReadDword(s + 16, rawSize) ||
            !ReadDword(s + 20, rawPtr))
            return false;
        const uint64_t span = vsize < rawSize ? vsize : rawSize;
        if (va <= rva && uint64_t(rva) < uint64_t(va) + span) {
            const uint64_t pos = uint64_t(rva) - va + rawPtr;
            if (pos > 0xFFFFFFFFull)
                return false;
            offset = static_cast<DWORD>(pos);
            return true;
        }
    }
    return false;
}

} // namespace ClrMeta
