// The device-class images. Until the inventory's image list is in the tree the list is empty and
// no class or table has an image: every node icon stays valid with a base of 0.
#include "DeviceImages.h"

struct CDeviceImages::Impl {};

CDeviceImages::CDeviceImages() : m_p(nullptr) {}
CDeviceImages::~CDeviceImages() = default;

HIMAGELIST CDeviceImages::GetImageList() { return ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 0, 8); }

int CDeviceImages::GetClassImage(const GUID&) { return -1; }

int CDeviceImages::GetSmbiosTableImage(int) { return -1; }
