// Where the workstation resource plug-in looks for the local store, worked out the same way for
// its tests and its benchmark: "Varno" on the first fixed drive.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

namespace KvResourceTest {

inline std::wstring StoreFolder() {
    wchar_t roots[260] = {};
    GetLogicalDriveStringsW(260, roots);
    for (const wchar_t* root = roots; *root; root += wcslen(root) + 1)
        if (GetDriveTypeW(root) == DRIVE_FIXED)
            return std::wstring(root) + L"Varno";
    return std::wstring();
}

inline std::wstring StorePath() { return StoreFolder() + L"\\Localhost.vdb"; }

} // namespace KvResourceTest
