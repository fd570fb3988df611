// Which drive holds the board folder: the first local hard disk in the system's drive order.
#pragma once

#include <windows.h>

#include <string>

// The system's answers about drives; tests give their own.
class CDriveAnswers {
public:
    virtual ~CDriveAnswers() = default;
    // GetLogicalDriveStringsW into the buffer: the length written (without the last zero).
    virtual DWORD LogicalDriveStrings(DWORD size, wchar_t* buffer);
    // The drive is a fixed disk on an internal bus (IsLocalHardDisk of the exchange utilities).
    virtual int IsLocalHardDisk(wchar_t letter);
};

// The system's answers (the default of every caller).
CDriveAnswers& SystemDriveAnswers();

// The board folder: the root of the first local hard disk in the system's drive order followed by
// "Varno" (such as C:\Varno), or the empty string when there is none.
std::wstring FindStoreFolder(CDriveAnswers& answers);
