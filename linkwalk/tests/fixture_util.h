// Helpers of the finder's tests: fixture places, file copies and PE patches.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ClrMeta.h"
#include "KvText.h"
#include "PeView.h"
#include "kvtest.h"
#include "linkwalk.h"

namespace lwtest {

using KvTest::Env;

inline std::wstring Fixtures() { return Env(L"KV_BIN_DIR") + L"\\linkwalk_fixtures"; }
inline std::wstring App() { return Fixtures() + L"\\app"; }
inline std::wstring Tmp() { return Env(L"KV_TEST_TMP"); }

inline std::wstring LongApi(const std::wstring& p) {
    return p.size() >= MAX_PATH && p.compare(0, 4, L"\\\\?\\") != 0 ? L"\\\\?\\" + p : p;
}

inline std::vector<BYTE> ReadAll(const std::wstring& path) {
    std::vector<BYTE> data;
    HANDLE h = ::CreateFileW(LongApi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return data;
    DWORD size = ::GetFileSize(h, nullptr), got = 0;
    data.resize(size);
    if (size && !::ReadFile(h, data.data(), size, &got, nullptr))
        data.clear();
    ::CloseHandle(h);
    return data;
}

inline bool WriteAll(const std::wstring& path, const std::vector<BYTE>& data, size_t length = size_t(-1)) {
    if (length > data.size())
        length = data.size();
    HANDLE h = ::CreateFileW(LongApi(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = length == 0 || ::WriteFile(h, data.data(), static_cast<DWORD>(length), &put, nullptr);
    ::CloseHandle(h);
    return ok && put == length;
}

inline bool CopyTo(const std::wstring& from, const std::wstring& to) {
    return ::CopyFileW(LongApi(from).c_str(), LongApi(to).c_str(), FALSE) != 0;
}

// Creates every folder of a path (long paths too).
inline void MakeDirs(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\')
            ::CreateDirectoryW(LongApi(path.substr(0, i)).c_str(), nullptr);
}

// Deletes a folder tree (long paths too).
inline void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(LongApi(dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..")
                continue;
            std::wstring p = dir + L"\\" + n;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(p);
            else {
                ::SetFileAttributesW(LongApi(p).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(LongApi(p).c_str());
            }
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(LongApi(dir).c_str());
}

inline std::wstring WindowsDir() {
    wchar_t w[MAX_PATH];
    UINT n = ::GetWindowsDirectoryW(w, MAX_PATH);
    return std::wstring(w, n);
}

inline std::wstring SystemDir() {
    wchar_t w[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(w, MAX_PATH);
    return std::wstring(w, n);
}

// Offsets inside a PE image held in a byte vector.
struct PeOffsets {
    explicit PeOffsets(const std::vector<BYTE>& d) : view(d.data(), static_cast<DWORD>(d.size())) {
        nt = view.NtOffset();
        WORD magic = 0;
        view.ReadWord(nt + 24, magic);
        plus = magic == 0x20B;
    }
    DWORD Dir(unsigned index) const { return nt + 24 + (plus ? 112 : 96) + index * 8; }
    DWORD ImageBase() const { return nt + 24 + (plus ? 24 : 28); }
    DWORD Pos(DWORD rva) const {
        DWORD p = 0;
        EXPECT_TRUE(view.RvaToOffset(rva, p));
        return p;
    }
    ClrMeta::CPeView view;
    DWORD nt = 0;
    bool plus = false;
};

template <class T>
void Put(std::vector<BYTE>& d, size_t off, T v) {
    ASSERT_LE(off + sizeof(T), d.size());
    std::memcpy(d.data() + off, &v, sizeof(T));
}

template <class T>
T Get(const std::vector<BYTE>& d, size_t off) {
    T v{};
    if (off + sizeof(T) <= d.size())
        std::memcpy(&v, d.data() + off, sizeof(T));
    return v;
}

inline const unsigned short kNativeMachine =
#ifdef _WIN64
    0x8664;
#else
    0x14C;
#endif

} // namespace lwtest
