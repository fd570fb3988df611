// The device-class images of the hardware inventory, as the node image list takes them: a new
// image list that the caller owns, and the image of a device class or SMBIOS table type.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CDeviceImages {
public:
    CDeviceImages();
    ~CDeviceImages();
    CDeviceImages(const CDeviceImages&) = delete;
    CDeviceImages& operator=(const CDeviceImages&) = delete;
    // A new 16x16 image list holding the device-class images; the caller owns it.
    HIMAGELIST GetImageList();
    // Image of a device class, of an SMBIOS table type; -1 when there is none.
    int GetClassImage(const GUID& classGuid);
    int GetSmbiosTableImage(int tableType);

private:
    struct Impl;
    Impl* m_p;
};
