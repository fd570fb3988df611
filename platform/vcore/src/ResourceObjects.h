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
// The object's line of a ".nam" file.
std::wstring BootListName(const ItemFields& f, const ResourceFields& r);
// A read buffer that one thread reuses for every file it reads.
struct ReadBuffer {
    enum { kSize = 1 << 20 };
    std::unique_ptr<BYTE[]> bytes{new BYTE[kSize]};
};
// Feeds the bytes that the object's check covers to sink; false when the object cannot be read.
// For a file, stamp (when given) receives what the file system said of the file before and after
// the read, and stable whether both were the same.
bool ReadFileObject(const std::wstring& path, const ByteSink& sink, ReadBuffer& buffer, FileStamp* stamp = nullptr,
                    bool* stable = nullptr);
bool ReadResourceObject(const ItemFields& f, const ResourceFields& r, const ByteSink& sink, ReadBuffer& buffer);
void ReleaseCaches();
// A table in place of the firmware's SMBIOS table (null: the firmware's again).
void SetSmbiosTable(const BYTE* table, size_t size);

} // namespace Impl
} // namespace Varno
