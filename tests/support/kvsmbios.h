// SMBIOS tables as the firmware table 'RSMB' gives them, built by tests: structures of a type,
// handle, formatted bytes and strings, and the 8-byte header in front of them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace KvSmbios {

// One structure: type, handle, the formatted bytes after the header, and its strings.
inline std::vector<BYTE> Structure(BYTE type, WORD handle, const std::vector<BYTE>& body,
                                   const std::vector<std::string>& strings) {
    std::vector<BYTE> s = {type, (BYTE)(4 + body.size()), (BYTE)handle, (BYTE)(handle >> 8)};
    s.insert(s.end(), body.begin(), body.end());
    for (const std::string& t : strings) {
        s.insert(s.end(), t.begin(), t.end());
        s.push_back(0);
    }
    if (strings.empty())
        s.push_back(0);
    s.push_back(0);
    return s;
}

inline std::vector<BYTE> Raw(const std::vector<std::vector<BYTE>>& structures, int extraDeclared = 0, BYTE major = 3,
                             BYTE minor = 4) {
    std::vector<BYTE> data;
    for (auto& s : structures)
        data.insert(data.end(), s.begin(), s.end());
    DWORD n = (DWORD)(data.size() + extraDeclared);
    data.insert(data.begin(), {0, major, minor, 0, (BYTE)n, (BYTE)(n >> 8), (BYTE)(n >> 16), (BYTE)(n >> 24)});
    return data;
}

} // namespace KvSmbios
