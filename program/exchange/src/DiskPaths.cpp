// Where a path really lies: local hard disks, bus types, final paths and DOS names of devices.
#include "KvExchangeUtils.h"

#include <io.h>

#include <algorithm>
#include <vector>

int GetVolumeDeviceNumber(const std::wstring& volumePath, STORAGE_DEVICE_NUMBER* number) {
    if (!number)
        return 0;
    ZeroMemory(number, sizeof(*number));
    std::wstring path(volumePath);
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    HANDLE h = ::CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD got = 0;
    BOOL ok = ::DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number, sizeof(*number), &got, nullptr);
    ::CloseHandle(h);
    return ok ? 1 : 0;
}

int GetPhysicalDriveBusType(unsigned disk) {
    wchar_t name[64];
    wsprintfW(name, L"\\\\.\\PhysicalDrive%i", int(disk));
    HANDLE h = ::CreateFileW(name, GENERIC_READ | FILE_READ_ATTRIBUTES | FILE_READ_EA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    BYTE buffer[40] = {};
    DWORD got = 0;
    int bus = 0;
    if (::DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer, sizeof(buffer), &got,
                          nullptr) &&
        got >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE))
        bus = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(buffer)->BusType;
    ::CloseHandle(h);
    return bus;
}

int IsPhysicalDriveLocal(unsigned disk) {
    switch (GetPhysicalDriveBusType(disk)) {
    case 0:  // unknown
    case 4:  // IEEE 1394
    case 7:  // USB
    case 9:  // iSCSI
    case 15: // file-backed virtual disk
        return 0;
    default:
        return 1;
    }
}

namespace {
std::function<int(wchar_t)>& LocalHardDiskAnswer() {
    static std::function<int(wchar_t)> answer;
    return answer;
}
} // namespace

std::function<int(wchar_t)> SetLocalHardDiskAnswer(std::function<int(wchar_t)> answer) {
    std::function<int(wchar_t)> old = std::move(LocalHardDiskAnswer());
    LocalHardDiskAnswer() = std::move(answer);
    return old;
}

int IsLocalHardDisk(wchar_t drive) {
    if (const std::function<int(wchar_t)>& answer = LocalHardDiskAnswer())
        return answer(drive);
    const wchar_t root[] = {drive, L':', L'\\', 0};
    if (::GetDriveTypeW(root) != DRIVE_FIXED)
        return 0;
    const wchar_t volume[] = {L'\\', L'\\', L'.', L'\\', drive, L':', 0};
    STORAGE_DEVICE_NUMBER number;
    if (!GetVolumeDeviceNumber(volume, &number))
        return 0;
    return IsPhysicalDriveLocal(number.DeviceNumber);
}

int GetDriveBusType(wchar_t drive) {
    const wchar_t volume[] = {L'\\', L'\\', L'.', L'\\', drive, L':', 0};
    STORAGE_DEVICE_NUMBER number;
    if (!GetVolumeDeviceNumber(volume, &number))
        return 0;
    return GetPhysicalDriveBusType(number.DeviceNumber);
}

wchar_t GetFinalPathDrive(const std::wstring& path) {
    wchar_t result = path.empty() ? 0 : path[0];
    if (path.empty() || _waccess(path.c_str(), 4) != 0)
        return result;
    HANDLE h = ::CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return result;
    Kernel32::CKernel32Wrapper& k32 = TSingletonHolder<Kernel32::CKernel32Wrapper>::Instance();
    if (k32.m_GetFinalPathNameByHandleW) {
        DWORD need = k32.m_GetFinalPathNameByHandleW(h, nullptr, 0, 0);
        if (need) {
            std::vector<wchar_t> buf(size_t(need) + 1, L'\0');
            DWORD got = k32.m_GetFinalPathNameByHandleW(h, buf.data(), need + 1, 0);
            if (got && got <= need) {
                const std::wstring fin(buf.data(), got);
                if (fin.size() > 5 && fin.compare(0, 4, L"\\\\?\\") == 0 && fin[5] == L':')
                    result = fin[4];
                else if (fin.compare(0, 8, L"\\\\?\\UNC\\") == 0)
                    result = 0;
            }
        }
    }
    ::CloseHandle(h);
    return result;
}

int DosPathFromDeviceName(const wchar_t* deviceName, std::wstring& dosPath) {
    if (!deviceName)
        return 0;
    const std::wstring device(deviceName);
    wchar_t drives[MAX_PATH + 1] = {};
    DWORD n = ::GetLogicalDriveStringsW(MAX_PATH, drives);
    std::vector<wchar_t> target(32768);
    if (n && n <= MAX_PATH) {
        for (const wchar_t* d = drives; *d; d += lstrlenW(d) + 1) {
            const wchar_t name[] = {d[0], L':', 0};
            if (::QueryDosDeviceW(name, target.data(), static_cast<DWORD>(target.size())) && device == target.data()) {
                dosPath = name;
                return 1;
            }
        }
    }
    std::vector<wchar_t> names(100000);
    if (!::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size())))
        return 0;
    std::vector<std::wstring> matches;
    for (const wchar_t* name = names.data(); *name && name < names.data() + names.size(); name += lstrlenW(name) + 1) {
        if (!::QueryDosDeviceW(name, target.data(), static_cast<DWORD>(target.size())))
            return 0;
        if (device == target.data())
            matches.push_back(name);
    }
    if (matches.empty())
        return 0;
    std::sort(matches.begin(), matches.end());
    dosPath = L"\\\\?\\" + matches.front();
    return 1;
}
