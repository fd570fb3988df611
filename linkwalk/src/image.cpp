// The module image mapped for reading, and the small text helpers of the finder.
#include "internal.h"

namespace Depends {

CAnsiNames::CAnsiNames() {
    CPINFO info;
    if (!::GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1)
        return;
    for (int b = 1; b < 256; ++b) {
        const char c = static_cast<char>(b);
        if (::MultiByteToWideChar(CP_ACP, 0, &c, 1, &m_wide[b], 1) != 1)
            return;
        m_upper[b] = m_wide[b];
        KvBase::UpperCaseChars(&m_upper[b], 1);
    }
    m_singleByte = true;
}

const CAnsiNames& CAnsiNames::Instance() {
    static const CAnsiNames names;
    return names;
}

bool CAnsiNames::Widen(const char* text, size_t length, std::wstring& out, bool key) const {
    if (m_singleByte) {
        // A single-byte code page converts byte by byte, and upper-casing goes character by
        // character: both are one table each.
        const wchar_t* table = key ? m_upper : m_wide;
        out.resize(length);
        for (size_t i = 0; i < length; ++i)
            out[i] = table[static_cast<unsigned char>(text[i])];
        return true;
    }
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) {
        out.clear();
        return false;
    }
    out.resize(size_t(n));
    ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &out[0], n);
    if (key)
        KvBase::UpperCaseChars(&out[0], size_t(n));
    return true;
}

std::wstring ApiPath(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

CMappedImage::CMappedImage(const std::wstring& path) {
    m_file = ::CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        m_mapState = 1;
        return;
    }
    m_fileSize = ::GetFileSize(m_file, nullptr);
    m_mapping = ::CreateFileMappingW(m_file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!m_mapping) {
        ::CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        m_mapState = 2;
        return;
    }
    m_address = static_cast<const BYTE*>(::MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, 0));
    if (!m_address) {
        ::CloseHandle(m_mapping);
        ::CloseHandle(m_file);
        m_mapping = nullptr;
        m_file = INVALID_HANDLE_VALUE;
        m_mapState = 3;
        return;
    }
    m_mapState = 0;
    Examine();
}

CMappedImage::CMappedImage(const CMappedImage& other) : m_fileSize(other.m_fileSize), m_mapState(other.m_mapState) {
    if (other.m_mapState != 0)
        return;
    HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, other.m_file, self, &m_file, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        m_file = INVALID_HANDLE_VALUE;
        m_mapState = 1;
        return;
    }
    if (!::DuplicateHandle(self, other.m_mapping, self, &m_mapping, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        ::CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        m_mapping = nullptr;
        m_mapState = 2;
        return;
    }
    m_address = static_cast<const BYTE*>(::MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, 0));
    if (!m_address) {
        ::CloseHandle(m_mapping);
        ::CloseHandle(m_file);
        m_mapping = nullptr;
        m_file = INVALID_HANDLE_VALUE;
        m_mapState = 3;
        return;
    }
    Examine();
}

CMappedImage::~CMappedImage() {
    if (m_address)
        ::UnmapViewOfFile(m_address);
    if (m_mapping)
        ::CloseHandle(m_mapping);
    if (m_file != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_file);
}

void CMappedImage::Examine() {
    m_view.Reset(m_address, m_fileSize);
    WORD mz = 0, lfarlc = 0;
    if (m_fileSize < 64 || !m_view.ReadWord(0, mz) || mz != 0x5A4D) {
        m_headerState = 2;
        return;
    }
    m_headerState = 0;
    m_view.ReadWord(0x18, lfarlc);
    if (lfarlc < 0x40) {
        m_kind = 1;
        return;
    }
    DWORD lfanew = 0;
    m_view.ReadDword(0x3C, lfanew);
    if (static_cast<LONG>(lfanew) < 0 || !m_view.Within(lfanew, 4))
        return;
    m_newHeader = static_cast<LONG>(lfanew);
    WORD word = 0;
    DWORD dword = 0;
    m_view.ReadWord(lfanew, word);
    m_view.ReadDword(lfanew, dword);
    if (dword == 0x00004550 && m_view.IsPe()) {
        m_kind = 5;
        m_ntHeaders = m_address + lfanew;
    } else if (word == 0x454E) {
        m_kind = 2;
    } else if (word == 0x454C) {
        m_kind = 3;
    } else if (word == 0x584C) {
        m_kind = 4;
    }
}

} // namespace Depends
