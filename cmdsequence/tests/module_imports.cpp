#include "module_imports.h"

#include <algorithm>
#include <cctype>

namespace KvTest {

std::map<std::string, std::string> ImportedNames(HMODULE module) {
    std::map<std::string, std::string> names;
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return names;
    for (auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        std::string dll(reinterpret_cast<const char*>(base + desc->Name));
        std::transform(dll.begin(), dll.end(), dll.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        DWORD lookup = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
        for (auto thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup); thunk->u1.AddressOfData; ++thunk) {
            if (IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData);
            names[reinterpret_cast<const char*>(byName->Name)] = dll;
        }
    }
    return names;
}

} // namespace KvTest
