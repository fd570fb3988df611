// The installed-software inventory of the passport: every product that Windows Installer
// knows, with its publisher, size and one CRC-32 over the contents of its installed files.
#pragma once

#include <windows.h>

#include <list>
#include <string>

#include "KvReportDataSource.h"

struct SSoftWareItem {
    std::wstring strProductCode;
    std::wstring strProductName;
    std::wstring strPublisher;
    std::wstring strReserved; // stays empty
    DWORD dwCrc;              // 0: no file, or a file could not be read ("#NaN#")
    DWORD dwSize;
    bool bUnreadable = false; // a file of the product could not be read (not: it has none)
};

class CSoftWare {
public:
    // 0 done, 1 aborted, otherwise a failure HRESULT; on a non-zero result the list is empty.
    static int GetAllSoftWare(IKvReportAbort* abort, std::list<SSoftWareItem>& items);
    // Adds the file's contents to the CRC and returns its length; false when it cannot be read.
    static bool AddFileToCrc(const wchar_t* path, class CCrc32& crc, DWORD& length);
};
