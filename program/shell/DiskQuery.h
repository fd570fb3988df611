// Which drive holds the board folder: the first fixed disk on an internal bus.
#pragma once

#include <windows.h>

#include <string>

// The system's answers about drives, one call each; tests give their own.
class CDriveAnswers {
public:
    virtual ~CDriveAnswers() = default;
    // GetLogicalDriveStringsW into the buffer: the length written (without the last zero).
    virtual DWORD LogicalDriveStrings(DWORD size, wchar_t* buffer);
    // GetDriveTypeW of the drive's root.
    virtual UINT DriveType(wchar_t letter);
    // IOCTL_STORAGE_GET_DEVICE_NUMBER on the volume "\\.\X:": false when it cannot be read.
    virtual bool VolumeDiskNumber(wchar_t letter, DWORD& disk);
    // The bus type of "\\.\PhysicalDrive<disk>" (IOCTL_STORAGE_QUERY_PROPERTY): false on failure.
    virtual bool DiskBusType(DWORD disk, DWORD& busType);
};

// The system's answers (the default of every caller).
CDriveAnswers& SystemDriveAnswers();

// 1 when the drive is fixed, its disk number can be read and its disk's bus is none of unknown,
// IEEE 1394, USB, iSCSI and file-backed virtual; 0 otherwise (also when a query fails).
int IsLocalHardDisk(wchar_t letter);
int IsLocalHardDisk(wchar_t letter, CDriveAnswers& answers);

// The board folder: the root of the first local hard disk in the system's drive order followed by
// "Varno" (such as C:\Varno), or the empty string when there is none.
std::wstring FindStoreFolder(CDriveAnswers& answers);
