// The objects that resources describe, read on this computer.
#pragma once

#include "StoreImpl.h"

#include <functional>

namespace Varno {
namespace Impl {

typedef std::function<void(const void*, size_t)> ByteSink;

// The value-name tokens of registry value paths: the unnamed value, and a backslash in a name.
extern const wchar_t kRegDefaultValueToken[];
extern const wchar_t kRegBackslashToken[];

// A path with its environment references expanded.
std::wstring ExpandPath(const std::wstring& path);
// A value name of the resource-path form as the registry names it.
std::wstring DecodeValueName(const std::wstring& name);
// The object's name as its line of a ".nam" file gives it.
std::wstring BootListName(const ItemFields& f, const ResourceFields& r);
// Whether one line of a UTF-8 list file holds the text as it is: no control characters (a line
// break would split it, the others are no text to the board's reader) and no lone surrogate
// (which has no UTF-8 form).
bool IsOneLineText(std::wstring_view text);
// A read buffer that one thread reuses for every file it reads.
struct ReadBuffer {
    enum { kSize = 1 << 20 };
    std::unique_ptr<BYTE[]> bytes{new BYTE[kSize]};
};
// Feeds the bytes that the object's check covers to sink; false when the object cannot be read.
// A file is opened, read and closed, nothing more: what the file system says of it comes from the
// listings of its folder (BootList.cpp).
bool ReadFileObject(const std::wstring& path, const ByteSink& sink, ReadBuffer& buffer);
bool ReadResourceObject(const ItemFields& f, const ResourceFields& r, const ByteSink& sink, ReadBuffer& buffer);
void ReleaseCaches();
// A table in place of the firmware's SMBIOS table (null: the firmware's again).
void SetSmbiosTable(const BYTE* table, size_t size);

} // namespace Impl
} // namespace Varno
