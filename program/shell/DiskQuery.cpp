#include "DiskQuery.h"

#include <KvExchangeUtils.h>

#include <cwchar>

DWORD CDriveAnswers::LogicalDriveStrings(DWORD size, wchar_t* buffer) {
    return ::GetLogicalDriveStringsW(size, buffer);
}

int CDriveAnswers::IsLocalHardDisk(wchar_t letter) { return ::IsLocalHardDisk(letter); }

CDriveAnswers& SystemDriveAnswers() {
    static CDriveAnswers answers;
    return answers;
}

std::wstring FindStoreFolder(CDriveAnswers& answers) {
    wchar_t buffer[260] = {};
    DWORD length = answers.LogicalDriveStrings(260, buffer);
    if (length > 260)
        length = 0; // the list did not fit: nothing was written
    for (DWORD i = 0; i < length && buffer[i];) {
        const wchar_t* root = buffer + i;
        size_t n = wcsnlen(root, length - i);
        if (answers.IsLocalHardDisk(root[0]))
            return std::wstring(root, n) + L"Varno";
        i += (DWORD)n + 1;
    }
    return std::wstring();
}
