#include "DiskQuery.h"

#include <winioctl.h>

#include <cwchar>

DWORD CDriveAnswers::LogicalDriveStrings(DWORD size, wchar_t* buffer) { return ::GetLogicalDriveStringsW(size, buffer); }

UINT CDriveAnswers::DriveType(wchar_t letter) {
    wchar_t root[] = {letter, L':', L'\\', 0};
    return ::GetDriveTypeW(root);
}

bool CDriveAnswers::VolumeDiskNumber(wchar_t letter, DWORD& disk) {
    wchar_t path[] = {L'\\', L'\\', L'.', L'\\', letter, L':', 0};
    // No access rights are needed for the device number.
    HANDLE h = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    STORAGE_DEVICE_NUMBER number = {};
    DWORD bytes = 0;
    BOOL ok = ::DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof(number), &bytes, nullptr);
    ::CloseHandle(h);
    if (!ok)
        return false;
    disk = number.DeviceNumber;
    return true;
}

bool CDriveAnswers::DiskBusType(DWORD disk, DWORD& busType) {
    wchar_t path[64];
    swprintf(path, 64, L"\\\\.\\PhysicalDrive%i", (int)disk);
    HANDLE h = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    BYTE buffer[1024] = {};
    DWORD bytes = 0;
    BOOL ok = ::DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer, sizeof(buffer), &bytes,
                                nullptr);
    ::CloseHandle(h);
    if (!ok || bytes < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE))
        return false;
    busType = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(buffer)->BusType;
    return true;
}

CDriveAnswers& SystemDriveAnswers() {
    static CDriveAnswers answers;
    return answers;
}

int IsLocalHardDisk(wchar_t letter, CDriveAnswers& answers) {
    if (answers.DriveType(letter) != DRIVE_FIXED)
        return 0;
    DWORD disk = 0;
    if (!answers.VolumeDiskNumber(letter, disk))
        return 0;
    DWORD bus = 0;
    if (!answers.DiskBusType(disk, bus))
        return 0;
    switch (bus) {
    case 0:    // unknown
    case 4:    // IEEE 1394
    case 7:    // USB
    case 9:    // iSCSI
    case 15:   // file-backed virtual disk
        return 0;
    default:
        return 1;
    }
}

int IsLocalHardDisk(wchar_t letter) { return IsLocalHardDisk(letter, SystemDriveAnswers()); }

std::wstring FindStoreFolder(CDriveAnswers& answers) {
    wchar_t buffer[260] = {};
    DWORD length = answers.LogicalDriveStrings(260, buffer);
    if (length > 260)
        length = 0;   // the list did not fit: nothing was written
    for (DWORD i = 0; i < length && buffer[i];) {
        const wchar_t* root = buffer + i;
        size_t n = wcsnlen(root, length - i);
        if (IsLocalHardDisk(root[0], answers))
            return std::wstring(root, n) + L"Varno";
        i += (DWORD)n + 1;
    }
    return std::wstring();
}
