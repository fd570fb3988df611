// The small-icon list of every list of the main window: the hardware inventory's device-class
// images first, then the 24 node icons (bitmap 158), and the question which image shows a node.
#pragma once

#include "DeviceImages.h"

#include <kvui/kvui.h>

#include <string>

class CIChNode;

class CNodeImageList : public KvUi::CImageList {
public:
    CNodeImageList();
    // Absolute image index of a node or folder; a null node gives the base.
    int GetNodeImage(const CIChNode* node);
    // Image of a device class given as text with braces; -1 for an empty text or no image.
    int GetDeviceClassImage(const std::wstring& classGuid);
    int GetSmbiosTableImage(int tableType);
    int GetNodeImageBase() const { return m_nBase; }

private:
    CDeviceImages m_devices;
    int m_nBase = 0;
};
