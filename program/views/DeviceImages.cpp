// The device-class images of the hardware inventory (VDevInfo's device image list).
#include "DeviceImages.h"

#include <VDevInfo.h>

struct CDeviceImages::Impl {
    VDeviceInfo::SmartPtr<VDeviceInfo::IDeviceImageList> list;
};

CDeviceImages::CDeviceImages() : m_p(new Impl) {
    try {
        m_p->list = VDeviceInfo::Common::GetDeviceImageList();
    } catch (...) {
        m_p->list = VDeviceInfo::SmartPtr<VDeviceInfo::IDeviceImageList>(); // no inventory images: an empty list keeps
                                                                            // every lookup valid
    }
}

CDeviceImages::~CDeviceImages() { delete m_p; }

HIMAGELIST CDeviceImages::GetImageList() {
    HIMAGELIST h = m_p->list ? m_p->list->GetImageList() : nullptr;
    return h ? h : ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 0, 8);
}

int CDeviceImages::GetClassImage(const GUID& classGuid) { return m_p->list ? m_p->list->GetClassImage(classGuid) : -1; }

int CDeviceImages::GetSmbiosTableImage(int tableType) {
    return m_p->list ? m_p->list->GetSmbiosTableImage(tableType) : -1;
}
